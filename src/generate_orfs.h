// The ORF scan: one pass over "processed_genome" with a five-character
// window that offers one codon to each of the three frames, both strands
// at once. Every start that precedes an in-frame stop gives its own ORF;
// the ORFs of one stop are written together, longest first.
//
// Boundary pairs in "prediction_orfs" ("%ld %ld\n"):
//   direct strand         b1 < b2: first base of the start .. last base of the stop
//   complementary strand  b1 > b2: highest position of the start triplet ..
//                                  lowest position of the stop triplet
// The length measure compared with the bounds is |b1 - b2| + 3 on both strands.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace codonspace {

constexpr long PREDICTION_ORF_MAX_LENGTH = 10000000;

// Codon tables in use by the scan.
struct CodonTables {
  int number_of_start_codons = 0;
  std::vector<int> start_codons_f;  // codon index of each start codon
  std::vector<int> start_codons_b;  // codon index of its reverse complement
  int number_of_stop_codons = 3;
  int stop_codons_f[3] = {0, 0, 0};  // TAA, TAG, TGA
  int stop_codons_b[3] = {0, 0, 0};  // TTA, CTA, TCA
};

// Fills the tables; with is_universal the only start codon is ATG.
CodonTables initiate_start_stop_codons(bool is_universal, const std::vector<std::string>& arr);

class generate_orfs {
 public:
  generate_orfs(int minL, long maxL, std::string f_name);

  // Scans "processed_genome" into file_output. Returns 0, or -1 when a file
  // cannot be opened or the genome's size cannot be read (message printed).
  int extract_orfs(bool use_universal, const std::vector<std::string>& arr);

 private:
  void check_for_start_stop(FILE* fp_result, long char_index, const char* str_input, int frames);
  bool is_start_codon_f(const char* s) const;
  bool is_stop_codon_f(const char* s) const;
  bool is_start_codon_b(const char* s) const;
  bool is_stop_codon_b(const char* s) const;
  // Writes the ORFs of one stop; starts are listed in list order, or newest
  // first when newest_first is set (complementary starts).
  void print_orfs(FILE* fp, const std::vector<long>& l_start_codons, bool newest_first,
                  long stop_index) const;

  std::vector<long> L_start_f[3];  // direct starts waiting for a stop, increasing
  std::vector<long> L_start_b[3];  // complementary starts, kept increasing, reported newest first
  long index_stop_b[3] = {0, 0, 0};
  bool found_start_f[3] = {false, false, false};
  bool found_stop_b[3] = {false, false, false};
  int min_length;
  long max_length;
  std::string file_output;
  CodonTables tables_;
  unsigned long long start_f_mask_ = 0, stop_f_mask_ = 0, start_b_mask_ = 0, stop_b_mask_ = 0;
};

// Size of a file in bytes; false when the system cannot tell.
bool filesize(const char* file_name, unsigned long& size);

}  // namespace codonspace
