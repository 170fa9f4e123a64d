// What the training walks: the ORFs of a sequence as the scan stage lists
// them, kept in memory per stop codon, and the codon indices to count and
// score them with. Shared by self-training (self_training.cpp) and the table
// training tool (tools/train_tables.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/codon.h"
#include "core/genetic_code.h"

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
// Its lowest and highest base, 1-based inclusive.
inline long orf_low(const Orf& o) { return o.b1 < o.b2 ? o.b1 : o.b2; }
inline long orf_high(const Orf& o) { return o.b1 < o.b2 ? o.b2 : o.b1; }

// The ORFs the scan stage writes for this sequence (processed as the genome
// intake does it), in the same order and with the same length rule: the
// same scanner (generate_orfs.h) with an in-memory list, run in blocks on
// up to `threads` threads (the same list for any number).
OrfScan scan_orfs(const std::string& seq, int min_length, const std::vector<std::string>& starts,
                  const std::vector<std::string>& stops = standard_stop_codons(), int threads = 1);

// Codon indices of a sequence in both directions: forward[p] is the index of
// the codon whose first base is at 0-based position p, reverse[p] that of the
// complementary-strand codon read downwards from position p (p-2 .. p).
// Entries that do not hold a whole codon are 0.
struct CodonIndex {
  std::vector<uint8_t> forward, reverse;
  // Built on up to `threads` threads, in blocks of bases.
  explicit CodonIndex(const std::string& seq, int threads = 1);
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

// One record ready for training: its sequence, codon indices and ORFs, the
// scan's blocks and the codon index's run on up to `threads` threads.
struct ScannedRecord {
  const std::string* seq = nullptr;
  CodonIndex codons;
  OrfScan scan;
  ScannedRecord(const std::string& s, int min_length, const std::vector<std::string>& starts,
                const std::vector<std::string>& stops = standard_stop_codons(), int threads = 1);
};

// Per stop group: the largest linear score of its ORFs and the ORF (index
// within the group) that has it; ties go to the longer ORF.
struct GroupBest {
  double score;
  size_t orf;
};
std::vector<GroupBest> best_per_group(const ScannedRecord& r, const double* w);
// The same for the groups [first, last) of the record, into out[0 .. last - first).
void best_per_group(const ScannedRecord& r, const double* w, size_t first, size_t last, GroupBest* out);

// Codon counts (stop included) of one ORF.
void orf_counts(const ScannedRecord& r, const Orf& o, float* counts);

// Codon indices of the three stop codons (TAA, TAG, TGA).
std::array<int, 3> stop_codon_indices();
// Codon indices of a list of codons (upper-case A, C, G, T).
std::vector<int> codon_indices(const std::vector<std::string>& codons);

// Splits "ATG,GTG" into codons, upper-cased; throws Error unless there are
// one to four codons of three letters A, C, G, T.
std::vector<std::string> parse_start_list(const std::string& list);

}  // namespace codonspace::training
