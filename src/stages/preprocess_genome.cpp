#include <cctype>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "io/compressed_input.h"
#include "io/file_io.h"
#include "io/sequence_text.h"
#include "stages/stages.h"

namespace codonspace {

namespace {
// Closes the genome stream however the stage ends.
struct InputCloser {
  FILE* fp;
  ~InputCloser() {
    if (fp != nullptr) std::fclose(fp);
  }
};
}  // namespace

int preprocess_genome(FILE* fp_genome, const std::string& genome_name) {
  InputCloser closer{fp_genome};
  File fp_write(PROCESSED_GENOME, "w+");
  if (fp_genome == nullptr) throw Error("no genome file '" + genome_name + "' to read");
  require_open({&fp_write});
  const std::string name = "'" + genome_name + "'";
  DecompressingReader reader(fp_genome, name);
  std::vector<char> buf(1 << 17);
  FILE* out = fp_write.get();

  enum { FIRST_BYTE, HEADER, SEQUENCE } state = FIRST_BYTE;
  long line = 1;
  long bases = 0;
  bool line_start = true;
  for (;;) {
    const size_t n = reader.read(buf.data(), buf.size());
    if (n == 0) break;
    for (size_t i = 0; i < n; ++i) {
      const auto ch = static_cast<unsigned char>(buf[i]);
      if (state == FIRST_BYTE) {
        if (ch != '>')
          throw Error(name + " does not begin with a '>' header line; a genome file holds one FASTA record: "
                      "a header line, then the sequence");
        state = HEADER;
        continue;
      }
      if (ch == '\n') {
        ++line;
        line_start = true;
        state = SEQUENCE;
        continue;
      }
      if (state == HEADER) continue;
      if (line_start && ch == '>')
        throw Error(name + " holds more than one record (a second header begins on line " + std::to_string(line) +
                    "); give one sequence per file");
      line_start = false;
      const char u = kSequenceChar.upper[ch];
      if (u > 1) {
        putc_unlocked(u, out);
        ++bases;
      } else if (u == 0) {
        throw Error(name + ": line " + std::to_string(line) + " holds " + printable(ch) +
                    ", which is not a base letter");
      }
    }
  }
  if (state == FIRST_BYTE) throw Error(name + " is empty");
  if (bases == 0) throw Error(name + " holds no bases: its record has a header but no sequence");
  fp_write.close_output();
  return 0;
}

}  // namespace codonspace
