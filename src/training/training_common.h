// Pieces shared by the table training tools (tools/train_tables.cpp) and the
// self-training of src/training/self_training.cpp: an in-memory ORF scan that lists
// exactly the ORFs of the scan stage, codon counting per ORF, the vector
// and plane stages' arithmetic, and the writing of a tables directory.
//
// The trained model. For an ORF with codon counts c[n], the vector stage
// forms X = sum c[n]*X[n], Y = sum c[n]*Y[n], Z = sum c[n]*Z[n], and the
// plane test is a*x + b*y + c*z + d > 0 on the unit vector. With d = 0 the
// test is the sign of a*X + b*Y + c*Z, a sum over the ORF's codons of the
// per-codon weight w[n] = a*X[n] + b*Y[n] + c*Z[n]. Every ORF holds exactly
// one stop codon (its last), so the Z values of TAA, TAG and TGA add a
// constant per ORF: the prior log-odds. The training fits Z so that w[n] is
// a codon log-likelihood ratio, gene against non-gene, and the test becomes
// "log-likelihood ratio of the ORF plus prior > 0", which favours long ORFs
// of a given composition as it should.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/codon.h"

namespace codonspace::training {

struct Orf {
  long b1 = 0, b2 = 0;  // as in "prediction_orfs": direct b1 < b2, complementary b1 > b2
};

// The ORFs of one stop codon: orfs[first .. first+count), longest first.
struct StopGroup {
  size_t first = 0;
  size_t count = 0;
};

struct OrfScan {
  std::vector<Orf> orfs;
  std::vector<StopGroup> groups;
};

// Bases of an ORF, stop included.
inline long orf_bases(const Orf& o) { return o.b1 < o.b2 ? o.b2 - o.b1 + 1 : o.b1 - o.b2 + 1; }

// The ORFs the scan stage writes for this sequence (processed as the genome
// intake does it), in the same order and with the same length rule: the
// same scanner (generate_orfs.h) with an in-memory list.
OrfScan scan_orfs(const std::string& seq, int min_length, const std::vector<std::string>& starts,
                  const std::vector<std::string>& stops = standard_stop_codons());

// Codon indices of a sequence in both directions: forward[p] is the index of
// the codon whose first base is at 0-based position p, reverse[p] that of the
// complementary-strand codon read downwards from position p (p-2 .. p).
// Entries that do not hold a whole codon are 0.
struct CodonIndex {
  std::vector<uint8_t> forward, reverse;
  explicit CodonIndex(const std::string& seq);
  // Index of codon k (0 = the start codon) of the ORF.
  int codon(const Orf& o, long k) const {
    return o.b1 < o.b2 ? forward[static_cast<size_t>(o.b1 - 1 + 3 * k)]
                       : reverse[static_cast<size_t>(o.b1 - 1 - 3 * k)];
  }
};

// Calls fn(index_in_group, counts) for every ORF of the group, shortest
// first, with the codon counts (int[64]) of the ORF's complete codons as the
// vector stage counts them (stop codon included).
template <typename Fn>
void for_each_orf_counts(const CodonIndex& ci, const OrfScan& scan, const StopGroup& g, Fn fn) {
  int counts[NUMBER_OF_CODONS] = {};
  long done = 0;  // codons counted, from the 3' end
  for (size_t r = g.count; r-- > 0;) {
    const Orf& o = scan.orfs[g.first + r];
    const long codons = orf_bases(o) / 3;
    for (long k = codons - done; k-- > 0;) ++counts[ci.codon(o, k)];
    done = codons;
    fn(r, counts);
  }
}

// Calls fn(index_in_group, score) for every ORF of the group, shortest
// first, with the sum of w over its codons (the linear score).
template <typename Fn>
void for_each_orf_score(const CodonIndex& ci, const OrfScan& scan, const StopGroup& g, const double* w, Fn fn) {
  double s = 0;
  long done = 0;
  for (size_t r = g.count; r-- > 0;) {
    const Orf& o = scan.orfs[g.first + r];
    const long codons = orf_bases(o) / 3;
    for (long k = codons - done; k-- > 0;) s += w[ci.codon(o, k)];
    done = codons;
    fn(r, s);
  }
}

// The three tables and the plane as the program reads them.
struct ModelTables {
  std::array<float, NUMBER_OF_CODONS> x{}, y{}, z{};
  std::array<float, 4> plane{};  // a b c d
};

// The vector stage's unit vector of the counts as the plane stage reads it
// back (codon_vector.h); false when the stage writes no line for it.
bool unit_vector(const int* counts, const ModelTables& t, float out[3]);
// The plane stage's decision for an ORF with these codon counts.
bool passes_plane(const int* counts, const ModelTables& t);

// A value as it is written with "%.6f" and read back as float.
float rounded6(double v);

// Codon indices of the three stop codons (TAA, TAG, TGA).
std::array<int, 3> stop_codon_indices();

// Writes dir/z.dat (64 lines "%.6f") and dir/best_plane_fixed.dat
// ("%.6f %.6f %.6f %.6f"); throws Error naming the file on failure.
void write_trained_tables(const std::string& dir, const ModelTables& t);

// Splits "ATG,GTG" into codons, upper-cased; throws Error unless there are
// one to four codons of three letters A, C, G, T.
std::vector<std::string> parse_start_list(const std::string& list);

}  // namespace codonspace::training

namespace codonspace::training {

// One record ready for training: its sequence, codon indices and ORFs.
struct ScannedRecord {
  const std::string* seq = nullptr;
  CodonIndex codons;
  OrfScan scan;
  ScannedRecord(const std::string& s, int min_length, const std::vector<std::string>& starts)
      : seq(&s), codons(s), scan(scan_orfs(s, min_length, starts)) {}
};

// Per stop group: the largest linear score of its ORFs and the ORF (index
// within the group) that has it; ties go to the longer ORF.
struct GroupBest {
  double score;
  size_t orf;
};
std::vector<GroupBest> best_per_group(const ScannedRecord& r, const double* w);

// Codon counts (stop included) of one ORF.
void orf_counts(const ScannedRecord& r, const Orf& o, float* counts);

// Training samples for the logistic regression: one codon-count vector per
// stop group. Each sample belongs to a block (a genome); with
// nuisance_blocks > 0 the fit gives every block its own unpenalised weights
// for the G+C counts at codon positions 1, 2 and 3, which absorb what is
// peculiar to that genome's composition and are dropped afterwards.
struct Samples {
  std::vector<float> counts;  // 64 per sample
  std::vector<unsigned char> gene;
  std::vector<int> block;
  size_t size() const { return gene.size(); }
  void add(const float* c, bool is_gene, int blk) {
    counts.insert(counts.end(), c, c + NUMBER_OF_CODONS);
    gene.push_back(is_gene ? 1 : 0);
    block.push_back(blk);
  }
};

// Logistic regression of gene against the counts by Newton's method, ridge
// penalty lambda on the 61 sense codons (the stop codons carry the
// intercept), starting from w. w holds the 64 codon weights on return.
void fit_logistic(const Samples& s, double lambda, int nuisance_blocks, int iterations, double* w);

}  // namespace codonspace::training

namespace codonspace::training {

// The tables of a weight vector: plane 0 0 1 0, so that the plane test is
// the sign of the ORF's Z sum, and Z = w scaled so that its largest value
// is 100 in magnitude (the scale does not change the sign; it keeps the
// printed unit-vector components well resolved), rounded as written. x and
// y must already hold the X and Y tables.
void set_model(ModelTables& t, const double* w);

// The predictions of the written tables for one record, exactly as the
// program makes them: per stop group the longest ORF that passes the plane.
std::vector<Orf> exact_predictions(const ScannedRecord& r, const ModelTables& t);

// Reading: intervals of an ORF, 1-based inclusive.
inline long orf_low(const Orf& o) { return o.b1 < o.b2 ? o.b1 : o.b2; }
inline long orf_high(const Orf& o) { return o.b1 < o.b2 ? o.b2 : o.b1; }

// The codon weights fitted by self-training (see self_training.cpp);
// genes_labelled receives the number of genes of the last labelling.
std::vector<double> self_trained_weights(const std::vector<ScannedRecord>& records, long& genes_labelled);

}  // namespace codonspace::training
