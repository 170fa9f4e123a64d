#include "stages/sequence_export.h"

#include <sys/stat.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstddef>
#include <cstring>

#include "core/codon.h"
#include "io/file_io.h"
#include "io/fixed_format.h"
#include "stages/stages.h"

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

std::string_view GenomeReader::orf(long b1, long b2, const std::string& pair_source) {
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
    FILE* fp = genome_.get();
    // Pairs come in scan order, so the new window nearly always starts
    // inside the old one and the file is read on from where the last read
    // ended: the overlap is kept in memory, and no seek is needed.
    size_t kept = 0;
    if (from >= window_low_ && from <= window_high_ + 1 && file_offset_ == window_high_) {
      kept = static_cast<size_t>(window_high_ - from + 1);
      // The first window starts empty (no data pointer): nothing to move.
      if (kept > 0) std::memmove(window_.data(), window_.data() + (from - window_low_), kept);
    } else if (std::fseek(fp, from - 1, SEEK_SET) != 0) {
      genome_.check_read();
      throw Error("cannot read " + file_reason(genome_.name(), errno != 0 ? errno : EIO));
    }
    window_.resize(n);
    const size_t wanted = n - kept;
    const size_t got = std::fread(window_.data() + kept, 1, wanted, fp);
    file_offset_ = from - 1 + static_cast<long>(kept + got);
    if (got != wanted) {
      genome_.check_read();
      window_high_ = window_low_ - 1;
      throw Error("'" + genome_.name() + "' ended before position " + std::to_string(to));
    }
    window_low_ = from;
    window_high_ = to;
  }
  const char* first = window_.data() + (low - window_low_);
  const size_t n = static_cast<size_t>(high - low + 1);
  if (b1 < b2) return std::string_view(first, n);
  // Complementary strand: the complement of the base at b1 comes first.
  if (reversed_.size() < n) reversed_.resize(n);
  char* out = reversed_.data();
  const char* last = first + n - 1;
  for (size_t i = 0; i < n; ++i) out[i] = comp_base(last[-static_cast<std::ptrdiff_t>(i)]);
  return std::string_view(out, n);
}

void GenomeReader::read_orf(long b1, long b2, const std::string& pair_source, std::vector<char>& seq) {
  const std::string_view bases = orf(b1, b2, pair_source);
  seq.assign(bases.begin(), bases.end());
}

int export_sequences(const ExportFormat& format) {
  File genome(PROCESSED_GENOME, "r", kBigBuffer);
  File pairs(format.pair_list, "r", kBigBuffer);
  File out(format.output, "w+", kBigBuffer);
  require_open({&genome, &pairs, &out}, "files:generate_input");
  GenomeReader reader(genome);
  Scanner in(pairs);
  FILE* fp = out.get();
  long b1, b2;
  unsigned long records = 0;
  while (in.next_pair(b1, b2)) {
    const std::string_view seq = reader.orf(b1, b2, format.pair_list);
    const long n = static_cast<long>(seq.size());
    // The headers "%ld %ld %ld ", "%ld\n" and "%ld %ld %ld\n".
    char header[80];
    size_t k = format_long(n, header);
    if (format.header != RecordHeader::LengthOnly) {
      header[k++] = ' ';
      k += format_long(b1, header + k);
      header[k++] = ' ';
      k += format_long(b2, header + k);
    }
    header[k++] = format.header == RecordHeader::LengthBoundsInline ? ' ' : '\n';
    std::fwrite(header, 1, k, fp);
    std::fwrite(seq.data(), 1, seq.size(), fp);
    putc_unlocked('\n', fp);
    if (++records % 4096 == 0) out.check_write();
  }
  if (format.trailer != nullptr) std::fputs(format.trailer, fp);
  out.close_output();
  return 0;
}

}  // namespace codonspace
