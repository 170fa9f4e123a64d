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

 private:
  enum : uint8_t { START_F = 1, STOP_F = 2, START_B = 4, STOP_B = 8 };
  void report(const std::vector<long>& starts, bool newest_first, long stop_index);

  uint8_t kind_[64] = {};  // START_F | STOP_F | START_B | STOP_B per codon index
  long min_length_, max_length_;
  OrfSink& sink_;
  std::vector<long> L_start_f[3];  // direct starts waiting for a stop, increasing
  std::vector<long> L_start_b[3];  // complementary starts, kept increasing, reported newest first
  long index_stop_b[3] = {0, 0, 0};
  bool found_start_f[3] = {false, false, false};
  bool found_stop_b[3] = {false, false, false};
};

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
