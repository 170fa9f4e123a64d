#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "io/file_io.h"
#include "io/fixed_format.h"
#include "stages/stages.h"

namespace codonspace {

namespace {

// Reads one whitespace-delimited word as a vector component. False at the
// end of input.
bool next_vector_component(const File& file, float& value) {
  FILE* fp = file.get();
  int c;
  do c = getc_unlocked(fp);
  while (c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f');
  if (c == EOF) {
    file.check_read();
    return false;
  }
  std::string word;
  while (c != EOF && c != ' ' && c != '\n' && c != '\t' && c != '\r' && c != '\v' && c != '\f') {
    word.push_back(static_cast<char>(c));
    c = getc_unlocked(fp);
  }
  if (c == EOF) file.check_read();
  if (!parse_component(word.data(), word.size(), value))
    throw Error("'" + file.name() + "': malformed number '" + word + "'");
  return true;
}

}  // namespace

Plane read_plane(const std::string& path) {
  File fp1(path, "r");
  if (!fp1.is_open()) throw Error("cannot open reference table " + file_reason(path, fp1.open_error()));
  Scanner in(fp1);
  Plane plane;
  int count = 0;
  float v;
  while (in.next_float(v)) {
    switch (count % 4) {
      case 0: plane.a = v; break;
      case 1: plane.b = v; break;
      case 2: plane.c = v; break;
      default: plane.d = v; break;
    }
    ++count;
  }
  if (count == 0 || count % 4 != 0)
    throw Error("'" + path + "': holds " + std::to_string(count) +
                " numbers; the plane needs whole groups of four (a b c d)");
  return plane;
}

int final_output_prediction() {
  // The plane is read and checked in every run, also when no ORF reaches it.
  const Plane plane = read_plane(PLANE_FILE);

  File fp(UNIT_GENE_VECTORS, "r", 1 << 20);
  File fp_signal(SIGNAL, "w+", 1 << 20);
  require_open({&fp, &fp_signal});
  Scanner in(fp);
  FILE* out = fp_signal.get();
  long m, n, j, k;
  float x, y, z;
  unsigned long lines = 0;
  while (in.next_long(m)) {
    ++lines;
    if (!in.next_long(n) || !in.next_long(j) || !in.next_long(k) || !next_vector_component(fp, x) ||
        !next_vector_component(fp, y) || !next_vector_component(fp, z))
      throw Error("'" + std::string(UNIT_GENE_VECTORS) + "': line " + std::to_string(lines) + " is cut short");
    if (plane_value(plane, x, y, z) > 0.0f) {
      char line[64];  // "%ld %ld \n"
      size_t len = format_long(j, line);
      line[len++] = ' ';
      len += format_long(k, line + len);
      line[len++] = ' ';
      line[len++] = '\n';
      std::fwrite(line, 1, len, out);
    }
    if (lines % 4096 == 0) fp_signal.check_write();
  }
  fp_signal.close_output();
  return 0;
}

}  // namespace codonspace
