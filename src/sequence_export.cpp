#include "sequence_export.h"

#include <sys/stat.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "codon.h"
#include "file_io.h"
#include "stages.h"

namespace codonspace {

namespace {
constexpr size_t kBigBuffer = 1 << 20;
}  // namespace

GenomeReader::GenomeReader(const File& genome) : genome_(genome) {
  struct stat st;
  if (fstat(fileno(genome.get()), &st) != 0)
    throw Error("cannot get the size of " + file_reason(genome.name(), errno));
  length_ = static_cast<long>(st.st_size);
}

void GenomeReader::read_orf(long b1, long b2, const std::string& pair_source, std::vector<char>& seq) {
  const long low = b1 < b2 ? b1 : b2;
  const long high = b1 < b2 ? b2 : b1;
  if (low < 1 || high > length_)
    throw Error("'" + pair_source + "': the pair " + std::to_string(b1) + " " + std::to_string(b2) +
                " lies outside '" + genome_.name() + "' (" + std::to_string(length_) + " bases)");
  if (low < window_low_ || high > window_high_) {
    constexpr long kBehind = 1L << 16;  // room for longer ORFs of later stops
    constexpr long kAhead = 1L << 20;
    const long from = low > kBehind ? low - kBehind : 1;
    const long to = std::min(length_, std::max(high, low + kAhead));
    const size_t n = static_cast<size_t>(to - from + 1);
    window_.resize(n);
    FILE* fp = genome_.get();
    if (std::fseek(fp, from - 1, SEEK_SET) != 0 || std::fread(window_.data(), 1, n, fp) != n) {
      genome_.check_read();
      window_high_ = window_low_ - 1;
      throw Error("'" + genome_.name() + "' ended before position " + std::to_string(to));
    }
    window_low_ = from;
    window_high_ = to;
  }
  const char* first = window_.data() + (low - window_low_);
  const size_t n = static_cast<size_t>(high - low + 1);
  seq.resize(n);
  if (b1 < b2) {
    std::memcpy(seq.data(), first, n);
  } else {
    // Complementary strand: the complement of the base at b1 comes first.
    for (size_t i = 0; i < n; ++i) seq[i] = comp_base(first[n - 1 - i]);
  }
}

int export_sequences(const ExportFormat& format) {
  File genome(PROCESSED_GENOME, "r");
  File pairs(format.pair_list, "r", kBigBuffer);
  File out(format.output, "w+", kBigBuffer);
  if (!genome.is_open() || !pairs.is_open() || !out.is_open()) {
    std::printf("files:generate_input\n");
    std::fflush(stdout);
    all_open({&genome, &pairs, &out});
    return -1;
  }
  GenomeReader reader(genome);
  Scanner in(pairs);
  std::vector<char> seq;
  FILE* fp = out.get();
  long b1, b2;
  unsigned long records = 0;
  while (in.next_pair(b1, b2)) {
    reader.read_orf(b1, b2, format.pair_list, seq);
    const long n = static_cast<long>(seq.size());
    switch (format.header) {
      case RecordHeader::LengthBoundsInline: std::fprintf(fp, "%ld %ld %ld ", n, b1, b2); break;
      case RecordHeader::LengthOnly: std::fprintf(fp, "%ld\n", n); break;
      case RecordHeader::LengthBoundsLine: std::fprintf(fp, "%ld %ld %ld\n", n, b1, b2); break;
    }
    std::fwrite(seq.data(), 1, seq.size(), fp);
    putc_unlocked('\n', fp);
    if (++records % 4096 == 0) out.check_write();
  }
  if (format.trailer != nullptr) std::fputs(format.trailer, fp);
  out.close_output();
  return 0;
}

}  // namespace codonspace
