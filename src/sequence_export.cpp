#include "sequence_export.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "codon.h"
#include "file_io.h"
#include "stages.h"

namespace codonspace {

GenomeReader::GenomeReader(const File& genome) : genome_(genome) {
  struct stat st;
  if (fstat(fileno(genome.get()), &st) != 0)
    throw Error("cannot get the size of " + file_reason(genome.name(), errno));
  length_ = static_cast<long>(st.st_size);
}

void GenomeReader::read_orf(long b1, long b2, const std::string& pair_source, std::vector<char>& seq) {
  long low = b1 < b2 ? b1 : b2;
  long high = b1 < b2 ? b2 : b1;
  if (low < 1 || high > length_)
    throw Error("'" + pair_source + "': the pair " + std::to_string(b1) + " " + std::to_string(b2) +
                " lies outside '" + genome_.name() + "' (" + std::to_string(length_) + " bases)");
  const size_t n = static_cast<size_t>(high - low + 1);
  seq.resize(n);
  FILE* fp = genome_.get();
  if (std::fseek(fp, low - 1, SEEK_SET) != 0 || std::fread(seq.data(), 1, n, fp) != n) {
    genome_.check_read();
    throw Error("'" + genome_.name() + "' ended before position " + std::to_string(high));
  }
  if (b1 >= b2) {
    // Complementary strand: the complement of the base at b1 comes first.
    for (size_t i = 0, j = n - 1; i < j; ++i, --j) {
      char t = seq[i];
      seq[i] = seq[j];
      seq[j] = t;
    }
    for (char& c : seq) c = comp_base(c);
  }
}

int export_sequences(const ExportFormat& format) {
  File genome(PROCESSED_GENOME, "r");
  File pairs(format.pair_list, "r");
  File out(format.output, "w+");
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
