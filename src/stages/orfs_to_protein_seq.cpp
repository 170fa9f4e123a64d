#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "evaluator/line_reader.h"
#include "io/file_io.h"
#include "io/fixed_format.h"
#include "stages/protein_stages.h"

namespace codonspace {

namespace {

// Parses up to three integers the way sscanf's "%ld %ld %ld" does: each
// after optional white space, stopping at the first one that does not parse;
// the numbers not reached stay 0. line ends with a '\0'.
void parse_header(const char* line, long (&values)[3]) {
  values[0] = values[1] = values[2] = 0;
  const char* p = line;
  for (long& v : values) {
    char* end = nullptr;
    const long parsed = std::strtol(p, &end, 10);
    if (end == p) return;
    v = parsed;
    p = end;
  }
}

// Letter of every codon: the genetic code's base values 0..3 for the four
// bases and 64 for anything else, so 16 v1 + 4 v2 + v3 stays below 64
// exactly for a codon of three bases; the letter is 0 for stops (which
// translate to nothing) and for all other codes.
struct CodonLetters {
  unsigned short base[256];
  char letter[21 * 64 + 1];  // codes up to 16 x 64 + 4 x 64 + 64
  CodonLetters() : base(), letter() {
    for (int c = 0; c < 256; ++c) {
      const unsigned v = base_code(static_cast<char>(c));
      base[c] = static_cast<unsigned short>(v > 3 ? 64 : v);
    }
    const GeneticCode& code = standard_genetic_code();
    for (int k = 0; k < 64; ++k) letter[k] = code.is_stop(k) ? 0 : code.amino[static_cast<size_t>(k)];
  }
};
const CodonLetters kCodons;

// Appends the letters of the complete sense codons among the first `groups`
// codon groups of a sequence line free of '\0' characters.
void translate_groups(const char* seq, size_t length, size_t groups, std::string& protein) {
  const size_t whole = std::min(groups, length / 3);
  const size_t start = protein.size();
  protein.resize(start + whole);
  char* out = protein.data() + start;
  for (size_t g = 0; g < whole; ++g) {
    const unsigned char* c = reinterpret_cast<const unsigned char*>(seq + 3 * g);
    const char letter = kCodons.letter[16 * kCodons.base[c[0]] + 4 * kCodons.base[c[1]] + kCodons.base[c[2]]];
    *out = letter;
    out += letter != 0;
  }
  protein.resize(static_cast<size_t>(out - protein.data()));
}

// The smallest record translated: a header below 4 bases (or a sequence
// line, which parses as 0) is skipped together with its sequence line.
constexpr long MIN_BASES = 4;

}  // namespace

char translate_codon(char b1, char b2, char b3) {
  const char codon[3] = {b1, b2, b3};
  const int i = strict_codon_index(codon);
  return i < 0 ? 0 : kCodons.letter[i];
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
  File fp(STDDEV_SEQ, "r", 1 << 20);
  File fp_test(TEST1, "w", 1 << 20);
  File fp_write(NONGENEFILE, "w", 1 << 20);
  require_open({&fp, &fp_test, &fp_write});
  FILE* test = fp_test.get();
  FILE* echo = fp_write.get();
  LineReader reader(fp);
  std::string_view c;
  std::string record;  // the "test1" record being built
  long b[3];
  unsigned long records = 0;
  while (reader.next_with_end(c)) {
    parse_header(c.data(), b);
    const long noofbases = b[0];
    if (noofbases < MIN_BASES) continue;
    char number[24];
    record.assign(number, format_long(b[1], number));
    record.push_back(' ');
    record.append(number, format_long(b[2], number));
    record.push_back('\n');
    if (reader.next_with_end(c)) {
      const long length = static_cast<long>(c.size());
      if (std::memchr(c.data(), '\0', c.size()) == nullptr) {
        // Groups start at 0, 3, ... up to min(noofbases, length) - 1; each is
        // echoed as far as the line reaches.
        const long last = (noofbases < length ? noofbases : length) - 1;
        const size_t groups = static_cast<size_t>(last / 3 + 1);
        const size_t echoed = std::min(c.size(), 3 * groups);
        std::fwrite(c.data(), 1, echoed, echo);
        translate_groups(c.data(), c.size(), groups, record);
      } else {
        // A '\0' ends the echo of its group, and a group holding one
        // translates to nothing.
        for (long i = 0; i <= noofbases - 1 && i < length; i += 3) {
          const long end = i + 3 < length ? i + 3 : length;
          long k = i;
          for (; k < end && c[k] != '\0'; ++k) putc_unlocked(c[k], echo);
          if (k == i + 3) {
            const char letter = translate_codon(c[i], c[i + 1], c[i + 2]);
            if (letter != 0) record.push_back(letter);
          }
        }
      }
    }
    record.push_back('\n');
    std::fwrite(record.data(), 1, record.size(), test);
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
