#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "file_io.h"
#include "protein_stages.h"

namespace codonspace {

namespace {

constexpr int AMINO_ACIDS = 20;
// The composition order of every 20-value list: slot k holds SLOT_LETTERS[k].
constexpr const char* SLOT_LETTERS = "PRLHQAGVDESCWFYTIMNK";

struct SlotTable {
  signed char slot[256];
  constexpr SlotTable() : slot() {
    for (int c = 0; c < 256; ++c) slot[c] = -1;
    for (int k = 0; k < AMINO_ACIDS; ++k)
      slot[static_cast<unsigned char>(SLOT_LETTERS[k])] = static_cast<signed char>(k);
  }
};
constexpr SlotTable kSlots{};

File open_or_throw(const char* name, const char* mode) {
  File f(name, mode);
  if (!f.is_open()) throw Error("cannot open " + file_reason(name, f.open_error()));
  return f;
}

// Creates a per-record file afresh. The old one is removed first rather than
// truncated: some file systems (ext4 among them) start writing a file back to
// disk when it is closed after having been truncated and rewritten, which
// made every record cost a disk write; a new file stays in the page cache.
File create_fresh(const char* name) {
  std::remove(name);
  return open_or_throw(name, "w");
}

// The pair line of a "test1" record: two integers as "%ld %ld" reads them.
void parse_pair_line(const std::string& line, unsigned long record, long& b1, long& b3) {
  const char* p = line.c_str();
  char* end = nullptr;
  b1 = std::strtol(p, &end, 10);
  if (end != p) {
    p = end;
    b3 = std::strtol(p, &end, 10);
    if (end != p) return;
  }
  throw Error("'" + std::string(TEST1) + "': record " + std::to_string(record) +
              " does not begin with a line holding a boundary pair");
}

// Observed percentages of one protein line, in slot order: count x 100 /
// total, each operation rounded to single precision. A line without any of
// the 20 letters gives 0 x 100 / 0, not-a-number, in every slot.
std::array<float, AMINO_ACIDS> percentages(const std::string& protein) {
  std::array<float, AMINO_ACIDS> count{};
  for (char ch : protein) {
    const int k = kSlots.slot[static_cast<unsigned char>(ch)];
    if (k >= 0) count[k] += 1.0f;
  }
  float total = 0.0f;
  for (float v : count) total += v;
  for (float& v : count) {
    const float scaled = v * 100.0f;
    v = scaled / total;
  }
  return count;
}

}  // namespace

std::array<float, 20> read_reference_composition(const std::string& path) {
  File fp_up(path, "r");
  if (!fp_up.is_open())
    throw Error("cannot open the reference composition " + file_reason(path, fp_up.open_error()));
  Scanner in(fp_up);
  std::array<float, AMINO_ACIDS> reference{};
  for (int k = 0; k < AMINO_ACIDS; ++k)
    if (!in.next_float(reference[k]))
      throw Error("'" + path + "': holds " + std::to_string(k) +
                  " numbers; the reference composition needs 20 (one per amino acid)");
  return reference;
}

// For every record of "test1" (a pair line, then a protein line): the 20
// observed percentages go to "codon", observed and reference side by side to
// "codon1_codonvalue", and the deviation is computed from the six-decimal
// values read back from that file:
//   sqrtf( sum over k of (ref_k - obs_k)^2 / 19 ),
// the differences, squares and running sum in single precision.
int stddev() {
  const std::array<float, AMINO_ACIDS> reference = read_reference_composition(REFERENCE_COMPOSITION);

  File fp(TEST1, "r", 1 << 16);
  File fp_result(SEQ_STD_DEV, "w", 1 << 16);
  if (!fp.is_open() || !fp_result.is_open()) {
    all_open({&fp, &fp_result});
    return -1;
  }
  FILE* result = fp_result.get();
  std::string pair_line, protein;
  unsigned long record = 0;
  while (read_line(fp, pair_line)) {
    ++record;
    File fp_write = create_fresh(CODON_PERCENTAGES);
    long b1, b3;
    parse_pair_line(pair_line, record, b1, b3);
    // A record cut short at the end of the file counts its pair line, which
    // holds no amino-acid letter.
    if (!read_line(fp, protein)) protein = pair_line;
    const std::array<float, AMINO_ACIDS> observed = percentages(protein);
    for (int k = 0; k < AMINO_ACIDS; ++k)
      std::fprintf(fp_write.get(), k + 1 < AMINO_ACIDS ? "%f\n" : "%f", static_cast<double>(observed[k]));
    fp_write.close_output();

    File fp_concat = create_fresh(CODON1_CODONVALUE);
    {
      File fp_down = open_or_throw(CODON_PERCENTAGES, "r");
      Scanner down(fp_down);
      for (int k = 0; k < AMINO_ACIDS; ++k) {
        float e;
        if (!down.next_float(e, true))
          throw Error("'" + std::string(CODON_PERCENTAGES) +
                      "' holds fewer than 20 percentages after writing");
        std::fprintf(fp_concat.get(), "%f\t%f\n", static_cast<double>(e), static_cast<double>(reference[k]));
      }
    }
    fp_concat.close_output();

    File fp1 = open_or_throw(CODON1_CODONVALUE, "r");
    Scanner pairs(fp1);
    float stack1 = 0.0f;
    float e, g;
    while (pairs.next_float(e, true)) {
      if (!pairs.next_float(g, true))
        throw Error("'" + std::string(CODON1_CODONVALUE) + "': the last line is cut short");
      const float difference = g - e;
      const float square = difference * difference;
      stack1 = stack1 + square;
    }
    const float deviation = std::sqrt(stack1 / 19.0f);  // the float overload: sqrtf
    std::fprintf(result, "%ld %ld %f\n", b1, b3, static_cast<double>(deviation));
    fp_result.check_write();
  }
  fp_result.close_output();
  return 0;
}

}  // namespace codonspace
