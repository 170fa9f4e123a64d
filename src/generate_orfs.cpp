#include "generate_orfs.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "codon.h"
#include "file_io.h"
#include "stages.h"

namespace codonspace {

namespace {
const char* const stop_codons[3] = {"TAA", "TAG", "TGA"};

int reverse_complement_index(const char* codon) {
  char codon_read_back[3];
  for (int j = 0; j < 3; ++j) codon_read_back[j] = comp_base(codon[2 - j]);
  return codon_srno(codon_read_back);
}
}  // namespace

CodonTables initiate_start_stop_codons(bool is_universal, const std::vector<std::string>& arr) {
  CodonTables t;
  std::vector<std::string> starts = is_universal ? std::vector<std::string>{"ATG"} : arr;
  t.number_of_start_codons = static_cast<int>(starts.size());
  for (const std::string& s : starts) {
    std::string codon = s;
    codon.resize(3, '\0');  // only the first three characters count
    t.start_codons_f.push_back(codon_srno(codon.c_str()));
    t.start_codons_b.push_back(reverse_complement_index(codon.c_str()));
  }
  for (int k = 0; k < 3; ++k) {
    t.stop_codons_f[k] = codon_srno(stop_codons[k]);
    t.stop_codons_b[k] = reverse_complement_index(stop_codons[k]);
  }
  return t;
}

bool filesize(const char* file_name, unsigned long& size) {
  struct stat st;
  if (stat(file_name, &st) != 0) return false;
  size = static_cast<unsigned long>(st.st_size);
  return true;
}

generate_orfs::generate_orfs(int minL, long maxL, std::string f_name)
    : min_length(minL), max_length(maxL), file_output(std::move(f_name)) {}

bool generate_orfs::is_start_codon_f(const char* s) const { return (start_f_mask_ >> codon_srno(s)) & 1U; }
bool generate_orfs::is_stop_codon_f(const char* s) const { return (stop_f_mask_ >> codon_srno(s)) & 1U; }
bool generate_orfs::is_start_codon_b(const char* s) const { return (start_b_mask_ >> codon_srno(s)) & 1U; }
bool generate_orfs::is_stop_codon_b(const char* s) const { return (stop_b_mask_ >> codon_srno(s)) & 1U; }

void generate_orfs::print_orfs(FILE* fp, const std::vector<long>& l_start_codons, bool newest_first,
                               long stop_index) const {
  auto emit = [&](long s) {
    long length = std::labs(s - stop_index) + 3;
    if (min_length <= length && length <= max_length) std::fprintf(fp, "%ld %ld\n", s, stop_index);
  };
  if (newest_first) {
    for (auto it = l_start_codons.rbegin(); it != l_start_codons.rend(); ++it) emit(*it);
  } else {
    for (long s : l_start_codons) emit(s);
  }
}

// One window: the codon of frame i starts at window character i, genome
// position x + i. Only the first `frames` frames hold a whole codon (fewer
// than three only in the last windows of the genome).
void generate_orfs::check_for_start_stop(FILE* fp_result, long x, const char* str_input, int frames) {
  for (int i = 0; i < frames; ++i) {
    if (is_start_codon_f(str_input + i)) {
      found_start_f[i] = true;
      L_start_f[i].push_back(x + i);
    }
  }
  for (int i = 0; i < frames; ++i) {
    if (found_start_f[i] && is_stop_codon_f(str_input + i)) {
      found_start_f[i] = false;
      print_orfs(fp_result, L_start_f[i], false, x + i + 2);
      L_start_f[i].clear();
    }
  }
  for (int i = 0; i < frames; ++i) {
    if (is_stop_codon_b(str_input + i)) {
      if (found_stop_b[i]) {
        print_orfs(fp_result, L_start_b[i], true, index_stop_b[i]);
        L_start_b[i].clear();
      } else {
        found_stop_b[i] = true;
      }
      index_stop_b[i] = x + i;
    }
  }
  for (int i = 0; i < frames; ++i) {
    if (found_stop_b[i] && is_start_codon_b(str_input + i)) L_start_b[i].push_back(x + i + 2);
  }
}

int generate_orfs::extract_orfs(bool use_universal, const std::vector<std::string>& arr) {
  for (int i = 0; i < 3; ++i) {
    found_start_f[i] = false;
    found_stop_b[i] = false;
    L_start_f[i].clear();
    L_start_b[i].clear();
  }
  tables_ = initiate_start_stop_codons(use_universal, arr);
  start_f_mask_ = stop_f_mask_ = start_b_mask_ = stop_b_mask_ = 0;
  for (int k = 0; k < tables_.number_of_start_codons; ++k) {
    start_f_mask_ |= 1ULL << tables_.start_codons_f[k];
    start_b_mask_ |= 1ULL << tables_.start_codons_b[k];
  }
  for (int k = 0; k < tables_.number_of_stop_codons; ++k) {
    stop_f_mask_ |= 1ULL << tables_.stop_codons_f[k];
    stop_b_mask_ |= 1ULL << tables_.stop_codons_b[k];
  }

  File fp_input(PROCESSED_GENOME, "r");
  File fp_result(file_output, "w+");
  if (!fp_input.is_open() || !fp_result.is_open()) {
    std::printf("unable to open processed genome file\n");
    std::fflush(stdout);
    all_open({&fp_input, &fp_result});
    return -1;
  }
  unsigned long genome_size = 0;
  if (!filesize(PROCESSED_GENOME, genome_size)) {
    int err = errno;
    std::printf("couldn't get file size\n");
    std::fflush(stdout);
    std::fprintf(stderr, "codonspace: cannot get the size of %s\n",
                 file_reason(PROCESSED_GENOME, err).c_str());
    return -1;
  }
  const long n = static_cast<long>(genome_size);

  // Window k holds positions 3k+1 .. 3k+5; characters past the end of the
  // genome are padded with 'N' and their frames take no part in the tests.
  FILE* in = fp_input.get();
  long read_so_far = 0;
  auto next_char = [&]() -> char {
    if (read_so_far >= n) return 'N';
    int c = getc_unlocked(in);
    if (c == EOF) {
      fp_input.check_read();
      throw Error("'" + std::string(PROCESSED_GENOME) + "' is shorter than its size says");
    }
    ++read_so_far;
    return static_cast<char>(c);
  };
  char str_input[6] = {0, 0, 0, 0, 0, 0};
  for (int j = 0; j < 5; ++j) str_input[j] = next_char();

  FILE* out = fp_result.get();
  for (long x = 1; x <= n - 2; x += 3) {
    long room = n - 2 - x + 1;  // codon positions x .. n-2 remain
    int frames = room >= 3 ? 3 : static_cast<int>(room);
    check_for_start_stop(out, x, str_input, frames);
    str_input[0] = str_input[3];
    str_input[1] = str_input[4];
    for (int j = 2; j < 5; ++j) str_input[j] = next_char();
  }
  fp_input.check_read();
  fp_result.close_output();
  return 0;
}

int generate_orf(int min_length, const std::vector<std::string>& start_codons) {
  generate_orfs scan(min_length, PREDICTION_ORF_MAX_LENGTH, PREDICTION_ORFS);
  return scan.extract_orfs(false, start_codons);
}

}  // namespace codonspace
