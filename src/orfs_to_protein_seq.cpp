#include <cstdio>
#include <cstdlib>
#include <string>

#include "file_io.h"
#include "protein_stages.h"

namespace codonspace {

namespace {

// The standard genetic code with the bases in the order T C A G, first base
// most significant; '-' marks the three stop codons, which translate to
// nothing.
constexpr const char* GENETIC_CODE = "FFLLSSSSYY--CC-WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG";

constexpr int base_value(char c) { return c == 'T' ? 0 : c == 'C' ? 1 : c == 'A' ? 2 : c == 'G' ? 3 : -1; }

// Parses up to three integers the way sscanf's "%ld %ld %ld" does: each
// after optional white space, stopping at the first one that does not parse;
// the numbers not reached stay 0.
void parse_header(const std::string& line, long (&values)[3]) {
  values[0] = values[1] = values[2] = 0;
  const char* p = line.c_str();
  for (long& v : values) {
    char* end = nullptr;
    const long parsed = std::strtol(p, &end, 10);
    if (end == p) return;
    v = parsed;
    p = end;
  }
}

// The smallest record translated: a header below 4 bases (or a sequence
// line, which parses as 0) is skipped together with its sequence line.
constexpr long MIN_BASES = 4;

}  // namespace

char translate_codon(char b1, char b2, char b3) {
  const int v1 = base_value(b1), v2 = base_value(b2), v3 = base_value(b3);
  if (v1 < 0 || v2 < 0 || v3 < 0) return 0;
  const char letter = GENETIC_CODE[16 * v1 + 4 * v2 + v3];
  return letter == '-' ? 0 : letter;
}

// Reads "stddev_seq" line by line. A line whose first number is at least 4
// is a record header: its pair goes to "test1", and the next line is
// translated codon by codon (codons starting at offsets 0, 3, ... up to the
// length minus one). Each codon group is echoed to "nongenefile" as far as
// the line reaches, its line end included, and adds its letter to the
// protein when it is a complete sense codon. The trailer "90" reads as a
// header of 90 bases without a sequence line and gives the closing record
// "0 0" with an empty protein.
int orfs_to_protein_seq() {
  File fp(STDDEV_SEQ, "r", 1 << 16);
  File fp_test(TEST1, "w", 1 << 16);
  File fp_write(NONGENEFILE, "w", 1 << 16);
  if (!fp.is_open() || !fp_test.is_open() || !fp_write.is_open()) {
    all_open({&fp, &fp_test, &fp_write});
    return -1;
  }
  FILE* test = fp_test.get();
  FILE* echo = fp_write.get();
  std::string c;
  long b[3];
  unsigned long records = 0;
  while (read_line(fp, c)) {
    parse_header(c, b);
    const long noofbases = b[0];
    if (noofbases < MIN_BASES) continue;
    std::fprintf(test, "%ld %ld\n", b[1], b[2]);
    if (read_line(fp, c)) {
      const long length = static_cast<long>(c.size());
      for (long i = 0; i <= noofbases - 1 && i < length; i += 3) {
        const long end = i + 3 < length ? i + 3 : length;
        long k = i;
        for (; k < end && c[k] != '\0'; ++k) putc_unlocked(c[k], echo);
        if (k == i + 3) {
          const char letter = translate_codon(c[i], c[i + 1], c[i + 2]);
          if (letter != 0) putc_unlocked(letter, test);
        }
      }
    }
    putc_unlocked('\n', test);
    putc_unlocked('\n', echo);
    if (++records % 1024 == 0) {
      fp_test.check_write();
      fp_write.check_write();
    }
  }
  fp_test.close_output();
  fp_write.close_output();
  return 0;
}

}  // namespace codonspace
