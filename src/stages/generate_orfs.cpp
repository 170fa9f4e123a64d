#include "stages/generate_orfs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/codon.h"
#include "io/file_io.h"
#include "stages/stages.h"

namespace codonspace {

namespace {
int reverse_complement_index(const char* codon) {
  const char codon_read_back[3] = {comp_base(codon[2]), comp_base(codon[1]), comp_base(codon[0])};
  return codon_srno(codon_read_back);
}

int checked_index(const std::string& codon) {
  const int i = codon.size() == 3 ? strict_codon_index(codon.c_str()) : -1;
  if (i < 0) throw Error("'" + codon + "' is not a codon of three letters A, C, G, T");
  return i;
}

// Writes the ORFs as "prediction_orfs" lines.
class FileSink : public OrfSink {
 public:
  explicit FileSink(FILE* fp) : fp_(fp) {}
  void orf(long b1, long b2) override { std::fprintf(fp_, "%ld %ld\n", b1, b2); }

 private:
  FILE* fp_;
};
}  // namespace

CodonTables initiate_start_stop_codons(bool is_universal, const std::vector<std::string>& arr,
                                       const std::vector<std::string>& stops) {
  CodonTables t;
  const std::vector<std::string> starts = is_universal ? std::vector<std::string>{"ATG"} : arr;
  t.number_of_start_codons = static_cast<int>(starts.size());
  for (const std::string& codon : starts) {
    checked_index(codon);
    t.start_codons_f.push_back(codon_srno(codon.c_str()));
    t.start_codons_b.push_back(reverse_complement_index(codon.c_str()));
  }
  t.number_of_stop_codons = static_cast<int>(stops.size());
  for (const std::string& codon : stops) {
    checked_index(codon);
    t.stop_codons_f.push_back(codon_srno(codon.c_str()));
    t.stop_codons_b.push_back(reverse_complement_index(codon.c_str()));
  }
  return t;
}

bool filesize(const char* file_name, unsigned long& size) {
  struct stat st;
  if (stat(file_name, &st) != 0) return false;
  size = static_cast<unsigned long>(st.st_size);
  return true;
}

OrfScanner::OrfScanner(const CodonTables& t, long min_length, long max_length, OrfSink& sink)
    : min_length_(min_length), max_length_(max_length), sink_(sink) {
  for (int k = 0; k < t.number_of_start_codons; ++k) {
    kind_[t.start_codons_f[static_cast<size_t>(k)]] |= START_F;
    kind_[t.start_codons_b[static_cast<size_t>(k)]] |= START_B;
  }
  for (int k = 0; k < t.number_of_stop_codons; ++k) {
    kind_[t.stop_codons_f[static_cast<size_t>(k)]] |= STOP_F;
    kind_[t.stop_codons_b[static_cast<size_t>(k)]] |= STOP_B;
  }
}

void OrfScanner::report(const std::vector<long>& starts, bool newest_first, long stop_index) {
  if (silent_) return;
  bool any = false;
  auto emit = [&](long s) {
    const long length = std::labs(s - stop_index) + 3;
    if (min_length_ <= length && length <= max_length_) {
      sink_.orf(s, stop_index);
      any = true;
    }
  };
  if (newest_first) {
    for (auto it = starts.rbegin(); it != starts.rend(); ++it) emit(*it);
  } else {
    for (long s : starts) emit(s);
  }
  if (any) sink_.end_stop();
}

// Four passes over the frames, in this order: direct starts, direct stops
// (which report), complementary stops (which report the starts collected
// since the previous one), complementary starts.
void OrfScanner::window(long x, const char* w, int frames) {
  uint8_t kind[3] = {0, 0, 0};
  for (int i = 0; i < frames; ++i) {
    const int idx = strict_codon_index(w + i);
    if (idx >= 0) kind[i] = kind_[idx];
  }
  for (int i = 0; i < frames; ++i) {
    if (kind[i] & START_F) {
      found_start_f[i] = true;
      L_start_f[i].push_back(x + i);
    }
  }
  for (int i = 0; i < frames; ++i) {
    if (found_start_f[i] && (kind[i] & STOP_F)) {
      found_start_f[i] = false;
      report(L_start_f[i], false, x + i + 2);
      L_start_f[i].clear();
    }
  }
  for (int i = 0; i < frames; ++i) {
    if (kind[i] & STOP_B) {
      if (found_stop_b[i]) {
        report(L_start_b[i], true, index_stop_b[i]);
        L_start_b[i].clear();
      } else {
        found_stop_b[i] = true;
      }
      index_stop_b[i] = x + i;
    }
  }
  for (int i = 0; i < frames; ++i) {
    if (found_stop_b[i] && (kind[i] & START_B)) L_start_b[i].push_back(x + i + 2);
  }
}

void OrfScanner::finish() {
  for (int i = 0; i < 3; ++i) {
    if (found_stop_b[i]) report(L_start_b[i], true, index_stop_b[i]);
    L_start_b[i].clear();
    L_start_f[i].clear();
    found_start_f[i] = found_stop_b[i] = false;
  }
}

void OrfScanner::scan(const char* seq, long n) {
  for (long x = 1; x <= n - 2; x += 3) {
    const long room = n - 2 - x + 1;  // codon positions x .. n-2 remain
    window(x, seq + x - 1, room >= 3 ? 3 : static_cast<int>(room));
  }
  finish();
}

long OrfScanner::resume_window(const char* seq, long x) const {
  // The frame of position p is (p - x) mod 3; a direct stop resets the
  // frame's direct starts, a complementary stop its complementary ones.
  bool found[2][3] = {};
  int missing = 6;
  long earliest = x;
  for (long p = x - 1; p >= 1 && missing > 0; --p) {
    const int idx = strict_codon_index(seq + p - 1);
    if (idx < 0) continue;
    const size_t frame = static_cast<size_t>((x - p) % 3);
    for (int strand = 0; strand < 2; ++strand)
      if (!found[strand][frame] && (kind_[idx] & (strand == 0 ? STOP_F : STOP_B)) != 0) {
        found[strand][frame] = true;
        --missing;
        earliest = p;
      }
  }
  if (missing > 0) return 1;
  return earliest - (earliest - 1) % 3;
}

void OrfScanner::scan_block(const char* seq, long n, size_t b) {
  const long first = 1 + static_cast<long>(b) * ORF_SCAN_BLOCK;
  const long end = std::min(n - 2, first + ORF_SCAN_BLOCK - 1);  // the block's last window at most
  const bool last = b + 1 >= orf_scan_blocks(n);
  const long from = b == 0 ? 1 : resume_window(seq, first);
  for (long x = from; x <= end; x += 3) {
    silent_ = x < first;
    const long room = n - 2 - x + 1;  // codon positions x .. n-2 remain
    window(x, seq + x - 1, room >= 3 ? 3 : static_cast<int>(room));
  }
  silent_ = false;
  if (last) finish();
}

generate_orfs::generate_orfs(int minL, long maxL, std::string f_name)
    : min_length(minL), max_length(maxL), file_output(std::move(f_name)) {}

int generate_orfs::extract_orfs(bool use_universal, const std::vector<std::string>& arr,
                                const std::vector<std::string>& stops) {
  const CodonTables tables = initiate_start_stop_codons(use_universal, arr, stops);

  File fp_input(PROCESSED_GENOME, "r");
  File fp_result(file_output, "w+");
  require_open({&fp_input, &fp_result}, "unable to open processed genome file");
  unsigned long genome_size = 0;
  if (!filesize(PROCESSED_GENOME, genome_size)) {
    int err = errno;
    std::printf("couldn't get file size\n");
    std::fflush(stdout);
    throw Error("cannot get the size of " + file_reason(PROCESSED_GENOME, err));
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

  FileSink sink(fp_result.get());
  OrfScanner scanner(tables, min_length, max_length, sink);
  for (long x = 1; x <= n - 2; x += 3) {
    const long room = n - 2 - x + 1;  // codon positions x .. n-2 remain
    scanner.window(x, str_input, room >= 3 ? 3 : static_cast<int>(room));
    str_input[0] = str_input[3];
    str_input[1] = str_input[4];
    for (int j = 2; j < 5; ++j) str_input[j] = next_char();
  }
  scanner.finish();
  fp_input.check_read();
  fp_result.close_output();
  return 0;
}

int generate_orf(int min_length, const std::vector<std::string>& start_codons,
                 const std::vector<std::string>& stop_codons) {
  generate_orfs scan(min_length, PREDICTION_ORF_MAX_LENGTH, PREDICTION_ORFS);
  return scan.extract_orfs(false, start_codons, stop_codons);
}

}  // namespace codonspace
