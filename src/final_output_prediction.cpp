#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "decimal_parse.h"
#include "file_io.h"
#include "fixed_format.h"
#include "stages.h"

namespace codonspace {

namespace {

// Reads one whitespace-delimited word and converts it as Scanner::next_float
// does (strtof on the whole word, finite values only), through
// plain_decimal when it can. False at the end of input.
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
  char buf[32];
  size_t n = 0;
  while (c != EOF && c != ' ' && c != '\n' && c != '\t' && c != '\r' && c != '\v' && c != '\f') {
    if (n < sizeof buf) buf[n] = static_cast<char>(c);
    ++n;
    if (n > sizeof buf) word.push_back(static_cast<char>(c));
    c = getc_unlocked(fp);
  }
  if (c == EOF) file.check_read();
  if (n <= sizeof buf && plain_decimal(buf, n, value)) return true;
  word.insert(0, buf, n <= sizeof buf ? n : sizeof buf);
  char* end = nullptr;
  const float v = std::strtof(word.c_str(), &end);
  if (end == word.c_str() || *end != '\0' || !std::isfinite(v))
    throw Error("'" + file.name() + "': malformed number '" + word + "'");
  value = v;
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

float plane_value(const Plane& plane, float x, float y, float z) {
  const double decide = static_cast<double>(x) * plane.a + static_cast<double>(y) * plane.b +
                        static_cast<double>(z) * plane.c + plane.d;
  return static_cast<float>(decide);
}

int final_output_prediction() {
  // The plane is read and checked in every run, also when no ORF reaches it.
  const Plane plane = read_plane(PLANE_FILE);

  File fp(UNIT_GENE_VECTORS, "r", 1 << 20);
  File fp_signal(SIGNAL, "w+", 1 << 20);
  if (!fp.is_open() || !fp_signal.is_open()) {
    all_open({&fp, &fp_signal});
    return -1;
  }
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
