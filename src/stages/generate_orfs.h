// The ORF scan: one pass over the sequence with a five-character window
// that offers one codon to each of the three frames, both strands at once.
// Every start that precedes an in-frame stop gives its own ORF; the ORFs of
// one stop are handed over together, longest first. One scan serves the
// "prediction_orfs" stage and the in-memory lists of the training code.
//
// Boundary pairs ("%ld %ld\n" in "prediction_orfs"):
//   direct strand         b1 < b2: first base of the start .. last base of the stop
//   complementary strand  b1 > b2: highest position of the start triplet ..
//                                  lowest position of the stop triplet
// The length measure compared with the bounds is |b1 - b2| + 3 on both strands.
//
// Rules that keep the two strands mirror images of each other:
// - a triplet holding a character other than A, C, G, T is neither a start
//   nor a stop, on either strand;
// - after the last window, the complementary starts still waiting in each
//   frame (those above the last complementary stop of the frame) are
//   reported with that stop, frames 0, 1, 2, each frame's starts highest
//   first, as the direct starts before the first direct stop would be on the
//   reverse complement. Starts without a stop on their own side run off the
//   sequence and are not reported.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/genetic_code.h"
#include "core/parallel_blocks.h"

namespace codonspace {

constexpr long PREDICTION_ORF_MAX_LENGTH = 10000000;

// Codon tables in use by the scan.
struct CodonTables {
  int number_of_start_codons = 0;
  std::vector<int> start_codons_f;  // codon index of each start codon
  std::vector<int> start_codons_b;  // codon index of its reverse complement
  int number_of_stop_codons = 0;
  std::vector<int> stop_codons_f;  // TAA, TAG, TGA with the standard code
  std::vector<int> stop_codons_b;  // TTA, CTA, TCA
};

// Fills the tables; with is_universal the only start codon is ATG. Codons
// must be three upper-case letters A, C, G, T.
CodonTables initiate_start_stop_codons(bool is_universal, const std::vector<std::string>& arr,
                                       const std::vector<std::string>& stops = standard_stop_codons());

// Receives the ORFs of a scan: orf() for each ORF within the length bounds,
// then end_stop() once after the ORFs of one stop when there was any.
class OrfSink {
 public:
  virtual ~OrfSink() = default;
  virtual void orf(long b1, long b2) = 0;
  virtual void end_stop() {}
};

// The scan state of all six frames; windows are fed in increasing order.
class OrfScanner {
 public:
  OrfScanner(const CodonTables& tables, long min_length, long max_length, OrfSink& sink);
  // Window at position x: w[i..i+2] is the codon of frame i (position x + i)
  // for the first `frames` frames (fewer than three only at the sequence's end).
  void window(long x, const char* w, int frames);
  // Reports the complementary starts still waiting (see above).
  void finish();
  // Scans a whole sequence held in memory (position 1 is seq[0]) and finishes.
  void scan(const char* seq, long n);
  // Block b of the scan of a whole sequence (b < orf_scan_blocks(n)): the
  // ORFs that scan() reports from the windows of the block's bases (and, for
  // the last block, finish()), in the same order, each stop's ORFs within
  // one block. A fresh scanner per block: it first runs silently over the
  // bases before the block back to the last stop codon of each frame and
  // strand, where the state of a frame is known without the bases before.
  void scan_block(const char* seq, long n, size_t b);

 private:
  enum : uint8_t { START_F = 1, STOP_F = 2, START_B = 4, STOP_B = 8 };
  void report(const std::vector<long>& starts, bool newest_first, long stop_index);
  // The first window from which block scanning must run to know the state
  // at window x: at or before the last stop codon of each frame and strand
  // lying before x, window 1 when one has none.
  long resume_window(const char* seq, long x) const;

  uint8_t kind_[64] = {};  // START_F | STOP_F | START_B | STOP_B per codon index
  long min_length_, max_length_;
  OrfSink& sink_;
  std::vector<long> L_start_f[3];  // direct starts waiting for a stop, increasing
  std::vector<long> L_start_b[3];  // complementary starts, kept increasing, reported newest first
  long index_stop_b[3] = {0, 0, 0};
  bool found_start_f[3] = {false, false, false};
  bool found_stop_b[3] = {false, false, false};
  bool silent_ = false;  // reports nothing (the run-up of a block)
};

// Bases per block of OrfScanner::scan_block (a multiple of three).
inline constexpr long ORF_SCAN_BLOCK = 3L << 17;
// The blocks of a sequence of n bases: those holding its windows 1, 4, ..
// n - 2, at least one.
inline size_t orf_scan_blocks(long n) { return n < 3 ? 1 : static_cast<size_t>((n - 3) / ORF_SCAN_BLOCK + 1); }

// The scan of a whole sequence in blocks on up to `threads` threads, a Sink
// (an OrfSink, default-constructed) per block: what the sinks receive, taken
// in block order, is what scan() hands one sink. The blocks are fixed by n
// alone, so the result is the same for any number of threads. A block's
// sink lives on its thread's stack while it scans and is stored when done:
// small sinks side by side in one array would share cache lines between
// the threads.
template <typename Sink>
std::vector<Sink> scan_in_blocks(const CodonTables& tables, long min_length, long max_length, const char* seq, long n,
                                 int threads) {
  std::vector<Sink> sinks(orf_scan_blocks(n));
  run_blocks(threads, sinks.size(), [&](size_t b) {
    Sink sink;
    OrfScanner scanner(tables, min_length, max_length, sink);
    scanner.scan_block(seq, n, b);
    sinks[b] = std::move(sink);
  });
  return sinks;
}

class generate_orfs {
 public:
  generate_orfs(int minL, long maxL, std::string f_name);

  // Scans "processed_genome" into file_output. Returns 0, or -1 when a file
  // cannot be opened or the genome's size cannot be read (message printed).
  int extract_orfs(bool use_universal, const std::vector<std::string>& arr,
                   const std::vector<std::string>& stops = standard_stop_codons());

 private:
  int min_length;
  long max_length;
  std::string file_output;
};

// Size of a file in bytes; false when the system cannot tell.
bool filesize(const char* file_name, unsigned long& size);

}  // namespace codonspace
