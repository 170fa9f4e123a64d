// Decision rules applied to a record's calls once the start model has chosen
// and scored them, before the outputs are written:
//
//   - longest starts: a call whose stop's longest ORF reaches upstream of the
//     method's gene is called again on that ORF, and takes the new start
//     when the start model puts it upstream of the old one. The method cuts
//     an ORF short where its 5' part looks non-coding to the plane; the
//     start model, which weighs the RBS and the start codon too, may see
//     the gene's start there.
//   - overlap: of two calls that overlap by more than overlap_bases bases
//     and by more than overlap_share of the shorter one (head_share when
//     they overlap head to head: opposite strands, each start inside the
//     other gene), only the one with the higher coding score is kept. Two
//     genes rarely share most of their bases; when the method passes both,
//     one is usually the shadow of the other on another frame or strand.
//   - drop: a whole call scoring (coding score plus start score plus length
//     score) below drop_score is removed, unless its coding score beats
//     every other reading frame over its bases by more than keep_margin: a
//     real gene of unusual composition still carries more coding evidence
//     in its own frame than in the others.
//   - neighbour: a call whose start lies more than neighbour_overlap bases
//     inside the gene before it on its strand is called again from the
//     first start codon that clears that limit (see clear_upstream_overlaps).
//   - rescue: a stop whose ORFs the method rejected is called after all when
//     the start model sees a gene in it: its longest ORF, with the start the
//     model chooses, scores (coding score plus start score plus length
//     score, all log-likelihood ratios) above rescue_score and overlaps no
//     call by more than rescue_overlap bases (head to head, by more than
//     head_overlap bases: divergent genes need room between their starts
//     for their promoters). The method's plane judges an
//     ORF by its codon composition alone and misses short genes; the start
//     model adds the codon pairs of the genome's own genes and the start's
//     signals, the length score how much likelier the candidate's length is
//     among the genes called than among the candidates.
//     A candidate that overlaps calls more is taken in their place when it
//     scores above replace_score and above each of them: of two genes
//     sharing that many bases, one is usually the shadow of the other.
//
// codonspace-annotate applies both unless --longest-orf keeps the method's
// calls as they are. The settings were measured on three annotated genomes
// (docs/accuracy.md, tools/gene_filter_study.cpp) and kept where they raise
// F1 on all three; the scores they compare are fitted on the genome being
// annotated, without its annotation.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "annotate/gene_output.h"
#include "annotate/record_pipeline.h"

namespace codonspace::annotate {

// The rules' settings; the defaults are codonspace-annotate's.
struct GeneFilterRules {
  bool overlaps = true;  // apply the overlap rule
  long overlap_bases = 60;
  double overlap_share = 0.75;
  bool rescue = true;  // apply the rescue rule
  double rescue_score = -2.0;
  long rescue_overlap = 60;
  bool length_score = true;  // add the length score to a candidate's score
  // A candidate overlapping calls by more than rescue_overlap bases replaces
  // them when it scores above this and above each of them.
  double replace_score = 5.0;
  // Let a call's start move upstream of the method's start, to where the
  // start model puts it given the stop's longest ORF.
  bool longest_starts = true;
  // Whole calls scoring (score plus length score) below drop_score are
  // removed before the rescue, unless their coding score exceeds the best
  // of the five other reading frames over their bases (frame_margin) by
  // more than keep_margin.
  double drop_score = -6;
  double keep_margin = 10;
  // The most bases a rescued candidate may share with a call head to head
  // (opposite strands, each start inside the other gene).
  long head_overlap = 30;
  // The overlap rule's share for two calls overlapping head to head.
  double head_share = 0.6;
  // Apply the neighbour rule: a whole call whose 5' end lies inside a call
  // on its strand by more than neighbour_overlap bases takes the start model's
  // choice among the starts from which it shares at most that many.
  bool neighbour_starts = true;
  long neighbour_overlap = 48;
};

// How much the gene's coding score (coding of the gene) exceeds the best of
// the five other reading frames over the same bases: the gene's bases
// shifted by one or two on its strand, and by none, one or two on the other
// strand, a span running off the record's end (of sequence_length bases)
// moved three bases back. A gene's own frame carries more coding evidence
// than the others even where its composition is unusual; a shadow of a gene
// on another frame, or a random ORF, usually does not.
double frame_margin(const Gene& gene, long sequence_length, const std::function<double(const Gene&)>& coding);

// The length score of a gene: the log-likelihood ratio of its length, the
// called genes against the rescue's candidates (the ORFs of the stops the
// method did not call, with the starts the model chooses), in bins of a
// quarter octave from the shortest of them (the last bin open-ended),
// counts plus one. Self-trained: it needs the method's calls, no
// annotation. Random ORFs get rarer the longer they are while genes'
// lengths spread widely, so of two candidates with the same coding and
// start evidence the longer is the likelier gene.
class LengthScore {
 public:
  LengthScore() = default;  // scores every length 0
  LengthScore(const std::vector<long>& gene_lengths, const std::vector<long>& candidate_lengths);
  double operator()(long length) const;

  static constexpr int BINS_PER_OCTAVE = 4;
  static constexpr int BINS = 5 * BINS_PER_OCTAVE + 1;

 private:
  int bin(long length) const;
  long shortest_ = 0;
  std::vector<double> llr_;
};

// Appends the lengths of the calls that are whole genes to gene_lengths and
// those of the candidates to candidate_lengths: a LengthScore's data.
void add_lengths(const std::vector<GeneCall>& calls, const std::vector<GeneCall>& candidates,
                 std::vector<long>& gene_lengths, std::vector<long>& candidate_lengths);

// Bases two genes share (0 when they do not overlap).
long overlap_bases(const Gene& a, const Gene& b);

// Removes, of every two calls that overlap heavily (see above), the one with
// the lower coding score; calls are taken in decreasing coding score (ties:
// by position) and one is removed when it overlaps a kept call heavily.
// Calls open at an end of the record (partial genes) are neither removed
// nor cause a removal: their scores see only part of a gene. The order of
// the remaining calls is kept.
void resolve_overlaps(std::vector<GeneCall>& calls, const GeneFilterRules& rules = {});

// The longest ORF (minimum length and codons as in predict) of every stop
// of the sequence, in scan order.
std::vector<Gene> longest_orfs(const std::string& sequence, const PredictOptions& predict);

// The rescue's candidates: the call, by call_of (the start model's choice
// and scores), of every ORF of orfs whose stop no gene of called ends at, in
// the order of orfs. call_of runs on up to threads threads at once; the
// result is the same for any number.
std::vector<GeneCall> rescue_candidates(const std::vector<Gene>& orfs, const std::vector<Gene>& called,
                                        const std::function<GeneCall(const Gene&)>& call_of, int threads = 1);

// Appends to calls the candidates scoring (their score plus, with
// rules.length_score, the length score of lengths) above rescue_score,
// taken in decreasing score (ties: by position) when they overlap no call
// of calls, nor one taken before them, by more than rescue_overlap bases
// (head to head, by more than head_overlap bases).
// A candidate that does, scoring above replace_score, is taken all the same
// when every call it overlaps by that much is a whole gene scoring less
// (score plus length score); those calls are removed.
void take_rescued(std::vector<GeneCall>& calls, std::vector<GeneCall> candidates, const LengthScore& lengths,
                  const GeneFilterRules& rules = {});

// The calls of whole genes whose stop's longest ORF (of orfs) reaches
// upstream of their gene in called[...] (the same stop), called again by
// call_of on that ORF; the new call replaces the old one when its start lies
// upstream of the old call's start. The method's start bounds the start
// model's choice from upstream, yet the method only passes an ORF whose
// codons look coding as a whole: a gene whose 5' part looks non-coding is
// cut short and its start is lost. call_of runs on up to threads threads
// at once; the result is the same for any number.
void extend_starts(std::vector<GeneCall>& calls, const std::vector<Gene>& called, const std::vector<Gene>& orfs,
                   const std::function<GeneCall(const Gene&)>& call_of, int threads = 1);

// For every whole call whose 5' end lies inside another call on its strand
// (one beginning upstream of it and ending within it) by more than limit
// bases: the call of call_of on the gene cut to the first start codon (of
// predict's) from which it shares at most limit bases, when the gene still
// has the minimum length from there; the call is kept otherwise. Genes on a
// strand overlap by a few bases where they are coupled, rarely by more than
// about 45: a start deep inside the upstream gene is more likely a start
// codon that the start model chose too far upstream. The calls' stops, and
// so the overlaps, do not depend on the order.
void clear_upstream_overlaps(std::vector<GeneCall>& calls, const std::string& sequence, const PredictOptions& predict,
                             const std::function<GeneCall(const Gene&)>& call_of, long limit);

// The rules on the calls of every record: the starts extended, the
// overlaps resolved, the length score fitted on the calls and candidates of
// all records at once, the weak calls dropped, then the stops that no gene
// of called[r] ends at rescued (a stop whose call the overlap rule or the
// drop removed is not a candidate), last the starts deep inside an upstream
// neighbour moved (clear_upstream_overlaps). call_of(r, orf) makes the call of an
// ORF of record r as the calls themselves were made; coding_of(r, gene) is
// the start model's coding score of a gene of record r (without it no call
// is dropped).
void filter_calls(const std::vector<const std::string*>& sequences, const std::vector<std::vector<Gene>>& called,
                  std::vector<std::vector<GeneCall>>& calls, const PredictOptions& predict,
                  const std::function<GeneCall(size_t, const Gene&)>& call_of, const GeneFilterRules& rules = {},
                  const std::function<double(size_t, const Gene&)>& coding_of = {});
// The same on one record whose called genes are those of its calls.
void filter_calls(const std::string& sequence, std::vector<GeneCall>& calls, const PredictOptions& predict,
                  const std::function<GeneCall(const Gene&)>& call_of, const GeneFilterRules& rules = {},
                  const std::function<double(const Gene&)>& coding_of = {});

}  // namespace codonspace::annotate
