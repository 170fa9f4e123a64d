#include <cctype>
#include <cerrno>
#include <cstdio>

#include "file_io.h"
#include "stages.h"

namespace codonspace {

namespace {
// Closes the genome stream however the stage ends.
struct InputCloser {
  FILE* fp;
  ~InputCloser() {
    if (fp != nullptr) std::fclose(fp);
  }
};

bool is_layout_char(int c) { return c == '\n' || c == '\r' || c == ' ' || c == '\t'; }
}  // namespace

int preprocess_genome(FILE* fp_genome, const std::string& genome_name) {
  InputCloser closer{fp_genome};
  File fp_write(PROCESSED_GENOME, "w+");
  if (fp_genome == nullptr || !fp_write.is_open()) {
    if (!fp_write.is_open()) all_open({&fp_write});
    return -1;
  }

  // The first line is the header; its text is not used. A file whose first
  // line is not a '>' header loses that line all the same, so say so.
  int ch = getc_unlocked(fp_genome);
  if (ch != EOF && ch != '>')
    std::fprintf(stderr,
                 "codonspace: warning: '%s' does not begin with a '>' header line; its first "
                 "line is skipped as the header\n",
                 genome_name.c_str());
  while (ch != EOF && ch != '\n') ch = getc_unlocked(fp_genome);

  long line = 2;
  bool line_start = true;
  FILE* out = fp_write.get();
  if (ch != EOF) {
    while ((ch = getc_unlocked(fp_genome)) != EOF) {
      if (ch == '\n') {
        ++line;
        line_start = true;
        continue;
      }
      if (line_start && ch == '>')
        throw Error("'" + genome_name + "' holds more than one record (a second header begins on line " +
                    std::to_string(line) + "); give one sequence per file");
      line_start = false;
      if (is_layout_char(ch)) continue;
      putc_unlocked(std::toupper(ch), out);
    }
  }
  if (std::ferror(fp_genome)) {
    int err = errno;
    throw Error("cannot read " + file_reason(genome_name, err != 0 ? err : EIO));
  }
  fp_write.close_output();
  return 0;
}

}  // namespace codonspace
