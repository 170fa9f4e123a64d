// The start model of codonspace-annotate: for a gene whose stop codon the
// method has chosen, picks its start among the in-frame start codons from the
// longest ORF's start down to the last one that keeps the minimum length.
//
// The model is trained on the genome it annotates, without any annotation,
// by self-training: the longest ORFs' starts seed it; for a few rounds it is
// then re-estimated from the starts it chose and chooses again. A candidate
// start is scored by:
//
//   - a ribosome-binding-site motif upstream of it: a position weight matrix
//     of RBS_WIDTH bases and a distribution of its spacer (the bases between
//     the motif and the start codon), fitted by expectation maximisation
//     with zero or one motif per upstream region; the motif's likelihood
//     ratio is binned and each bin scored by how often it comes with chosen
//     starts rather than with passed-over candidates;
//   - the start codon's own preference: how much more often the codon is a
//     chosen start than a passed-over candidate;
//   - the context: the bases around the start codon, position by position,
//     chosen starts against passed-over candidates;
//   - coding evidence: the in-frame codon-pair (hexamer) log-likelihood
//     ratio, coding against the genome's background, summed from the
//     candidate to the stop. Choosing a later start drops the segment in
//     between, so a segment that looks coding keeps the start upstream and a
//     segment that looks non-coding moves it downstream;
//   - a penalty per candidate passed over upstream of it (a prior for the
//     earlier start, without which some downstream candidate of a long gene
//     wins by chance), a little less for an ATG passed over.
//
// See docs/start_model.md for the design and the measurements behind it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/defaults.h"
#include "core/gene.h"

namespace codonspace::annotate {

using codonspace::Gene;

struct StartModelOptions {
  std::vector<std::string> start_codons = {"ATG", "GTG", "TTG"};  // upper case
  // The scan's rule: a start is allowed when the gene's bases plus 2 reach it.
  int min_length = DEFAULT_MIN_LENGTH;
  int rounds = 4;  // self-training rounds after the longest-ORF seed
  // Weights of the signals in a candidate's total (the start codon's weighs
  // 1) and the penalty per candidate passed over upstream of it; measured on
  // the shared genomes (docs/start_model.md).
  double rbs_weight = 0.7;
  double context_weight = 0.3;
  double coding_weight = 0.3;
  double skip_penalty = 0.8;
  // The penalty for passing over an ATG candidate (skip_penalty is that for
  // a GTG or TTG): a little less, fitted with the gene filter's rules on
  // the shared genomes' annotation (docs/accuracy.md).
  double atg_skip_penalty = 0.72;
  // Threads of the training and of choose_all (1 or more); the model and the
  // chosen starts are the same for any number.
  int threads = 1;
};

// Bases of the RBS motif, and the range of spacers it is searched over.
inline constexpr int RBS_WIDTH = 6;
inline constexpr int RBS_MIN_SPACER = 3;
inline constexpr int RBS_MAX_SPACER = 15;
// Bases upstream of a start codon the motif may occupy.
inline constexpr int RBS_UPSTREAM = RBS_WIDTH + RBS_MAX_SPACER;
// The RBS score of a candidate compares how often its motif log-likelihood
// ratio (in RBS_BINS bins of one unit from RBS_BIN_LOW) comes with chosen
// starts and with passed-over ones.
inline constexpr int RBS_BINS = 16;
inline constexpr double RBS_BIN_LOW = -4;
// Bases around a start codon whose composition is compared between chosen
// and passed-over starts: this many before it and after it.
inline constexpr int CONTEXT_BEFORE = RBS_UPSTREAM;
inline constexpr int CONTEXT_AFTER = 24;

// The chosen start of one gene and what the model says of it.
struct StartChoice {
  Gene gene;                // the gene with its chosen start; its stop is unchanged
  std::string start_codon;  // the chosen start codon as read on the gene's strand
  double start_score = 0;   // RBS score plus start-codon score of the chosen start
  double rbs_score = 0;     // log-likelihood ratio of the upstream region: motif against none
  double codon_score = 0;   // log-likelihood ratio of the start codon
  double context_score = 0; // log-likelihood ratio of the bases around the start codon
  double coding_score = 0;  // in-frame coding log-likelihood ratio from the start to the stop
  // The motif's bases at its most likely place upstream of the start and the
  // bases between it and the start codon; "None" and -1 when the upstream
  // region more likely holds no motif.
  std::string rbs_motif = "None";
  int rbs_spacer = -1;
  double confidence = 1;  // posterior probability of the chosen start among the candidates
  int candidates = 1;     // number of candidate starts considered
};

class StartModel {
 public:
  // Trains the model on records (sequences[i], upper case) and their called
  // genes (genes[i]; each gene's start is taken as the longest ORF's start).
  // Genes that do not lie within their record or do not begin with a start
  // codon of the list are left out of the training. Throws Error when
  // sequences and genes differ in size.
  static StartModel train(const std::vector<const std::string*>& sequences,
                          const std::vector<std::vector<Gene>>& genes, const StartModelOptions& options);

  // The start chosen for a gene of this sequence. A gene with a single
  // candidate (or none: its start is not a start codon of the list) keeps
  // its start.
  StartChoice choose(const std::string& sequence, const Gene& gene) const;

  // The in-frame coding log-likelihood ratio of the gene from its start to
  // its stop (codon pairs against the genome's background); 0 when the
  // model is not fitted or the gene does not lie within the sequence.
  double coding_score(const std::string& sequence, const Gene& gene) const;

  // The genes with their chosen starts, in the same order.
  std::vector<Gene> choose_all(const std::string& sequence, const std::vector<Gene>& genes) const;

  // Whether the model was fitted (false when there were too few genes to
  // train on; choose() then keeps every start).
  bool trained() const { return trained_; }

  // The motif's consensus (most likely base per column, lower case where the
  // column carries less than one bit), the most likely spacer and the share
  // of chosen starts with a motif; for logs and documentation.
  std::string motif_consensus() const;
  int typical_spacer() const;
  double motif_share() const { return lambda_; }

 private:
  struct Candidate;
  struct Region;
  StartModel() = default;
  std::vector<Candidate> candidates(const Region& region) const;
  void score(const Region& region, std::vector<Candidate>& cands) const;
  size_t pick(const std::vector<Candidate>& cands) const;

  StartModelOptions options_;
  bool trained_ = false;
  unsigned long long start_mask_ = 0;       // bit per codon index of the start codons
  std::vector<float> coding_llr_;           // 64 * 64: previous codon, codon
  std::array<double, 64> codon_llr_{};      // start codon preference
  std::array<std::array<double, 4>, CONTEXT_BEFORE + CONTEXT_AFTER> context_llr_{};
  std::array<std::array<double, 4>, RBS_WIDTH> motif_ratio_{};  // motif / background per column and base
  std::array<double, RBS_MAX_SPACER + 1> spacer_prior_{};
  double lambda_ = 0;  // share of starts with a motif
  // RBS score per bin of the motif's log-likelihood ratio.
  std::array<double, RBS_BINS> rbs_bin_llr_{};

  friend class StartModelTrainer;
};

}  // namespace codonspace::annotate
