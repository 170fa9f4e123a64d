#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "io/decimal_parse.h"
#include "evaluator/line_reader.h"
#include "io/file_io.h"
#include "io/fixed_format.h"
#include "stages/protein_stages.h"

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

// The value a float takes after being printed with "%f" and read back: the
// text comes from the formatter that is byte-identical to printf, and
// plain_decimal or strtof reads it as the stage's number reader does ("nan" and "-nan"
// included, with their sign).
float through_text(float v) {
  char text[352];
  const size_t n = format_fixed6(static_cast<double>(v), text);
  float value;
  if (plain_decimal(text, n, value)) return value;
  text[n] = '\0';
  return std::strtof(text, nullptr);
}

// through_text applied once and twice, remembered per value: a genome's
// proteins share few distinct percentages (count x 100 / length), so most
// records need no formatting or parsing at all. An open-addressing table
// keyed by the float's bits (20 look-ups per record).
class RoundTrips {
 public:
  struct Values {
    float once, twice;
  };
  RoundTrips() : slots_(kInitialSlots) {}
  const Values& of(float v) {
    const uint32_t key = std::bit_cast<uint32_t>(v);
    size_t i = index(key);
    while (slots_[i].used) {
      if (slots_[i].key == key) return slots_[i].values;
      i = (i + 1) & (slots_.size() - 1);
    }
    if (2 * (used_ + 1) > slots_.size()) {
      grow();
      i = index(key);
      while (slots_[i].used) i = (i + 1) & (slots_.size() - 1);
    }
    ++used_;
    Slot& s = slots_[i];
    s.used = true;
    s.key = key;
    s.values.once = through_text(v);
    s.values.twice = through_text(s.values.once);
    return s.values;
  }

 private:
  struct Slot {
    uint32_t key = 0;
    bool used = false;
    Values values{};
  };
  static constexpr size_t kInitialSlots = 1 << 12;
  size_t index(uint32_t key) const {
    return static_cast<size_t>((key * 0x9E3779B1U) >> 8) & (slots_.size() - 1);
  }
  void grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& s : old) {
      if (!s.used) continue;
      size_t i = index(s.key);
      while (slots_[i].used) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = s;
    }
  }
  std::vector<Slot> slots_;  // a power of two, at most half used
  size_t used_ = 0;
};

// The pair line of a "test1" record: two integers as "%ld %ld" reads them.
void parse_pair_line(const char* line, unsigned long record, long& b1, long& b3) {
  const char* p = line;
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
// the 20 letters gives 0 x 100 / 0, not-a-number, in every slot. The counts
// are those of a float counter that adds 1 per letter: exact integers up to
// 2^24, where adding 1 no longer changes it, so they are counted as
// integers and capped there.
std::array<float, AMINO_ACIDS> percentages(std::string_view protein) {
  std::array<uint64_t, AMINO_ACIDS> n{};
  for (char ch : protein) {
    const int k = kSlots.slot[static_cast<unsigned char>(ch)];
    if (k >= 0) ++n[static_cast<size_t>(k)];
  }
  constexpr uint64_t kFloatCountLimit = uint64_t{1} << 24;
  std::array<float, AMINO_ACIDS> count;
  for (int k = 0; k < AMINO_ACIDS; ++k) count[k] = static_cast<float>(std::min(n[k], kFloatCountLimit));
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

// For every record of "test1" (a pair line, then a protein line) the
// deviation is computed from the values a file-by-file computation reads:
// the 20 observed percentages printed with "%f" to "codon" and read back,
// then printed beside the reference to "codon1_codonvalue" and read back
// again (two round trips), and the reference through that file (one):
//   sqrtf( sum over k of (ref_k - obs_k)^2 / 19 ),
// the differences, squares and running sum in single precision. The work is
// done in memory; "codon" (the observed percentages) and "codon1_codonvalue"
// (observed and reference side by side, as read back) are written once at
// the end, holding the last record, as the per-record files of a
// file-by-file computation would be left.
int stddev() {
  const std::array<float, AMINO_ACIDS> reference = read_reference_composition(REFERENCE_COMPOSITION);
  std::array<float, AMINO_ACIDS> reference_read{};
  for (int k = 0; k < AMINO_ACIDS; ++k) reference_read[k] = through_text(reference[k]);

  File fp(TEST1, "r", 1 << 20);
  File fp_result(SEQ_STD_DEV, "w", 1 << 20);
  require_open({&fp, &fp_result});
  FILE* result = fp_result.get();
  LineReader reader(fp);
  std::string_view line;
  std::string pair_line;
  unsigned long record = 0;
  RoundTrips round_trips;
  // The percentages of the record, and as read back from "codon".
  std::array<float, AMINO_ACIDS> observed{}, observed_once{};
  char text[400];
  while (reader.next_with_end(line)) {
    ++record;
    long b1, b3;
    parse_pair_line(line.data(), record, b1, b3);
    pair_line.assign(line);
    // A record cut short at the end of the file counts its pair line, which
    // holds no amino-acid letter.
    observed = percentages(reader.next_with_end(line) ? line : std::string_view(pair_line));
    float stack1 = 0.0f;
    for (int k = 0; k < AMINO_ACIDS; ++k) {
      const RoundTrips::Values& read = round_trips.of(observed[k]);
      observed_once[k] = read.once;
      const float difference = reference_read[k] - read.twice;
      const float square = difference * difference;
      stack1 = stack1 + square;
    }
    const float deviation = std::sqrt(stack1 / 19.0f);  // the float overload: sqrtf
    // "%ld %ld %f\n"
    size_t n = format_long(b1, text);
    text[n++] = ' ';
    n += format_long(b3, text + n);
    text[n++] = ' ';
    n += format_fixed6(static_cast<double>(deviation), text + n);
    text[n++] = '\n';
    std::fwrite(text, 1, n, result);
    if (record % 4096 == 0) fp_result.check_write();
  }
  fp_result.close_output();

  if (record > 0) {
    File codon = open_or_throw(CODON_PERCENTAGES, "w");
    for (int k = 0; k < AMINO_ACIDS; ++k)
      std::fprintf(codon.get(), k + 1 < AMINO_ACIDS ? "%f\n" : "%f", static_cast<double>(observed[k]));
    codon.close_output();
    File concat = open_or_throw(CODON1_CODONVALUE, "w");
    for (int k = 0; k < AMINO_ACIDS; ++k)
      std::fprintf(concat.get(), "%f\t%f\n", static_cast<double>(observed_once[k]),
                   static_cast<double>(reference[k]));
    concat.close_output();
  }
  return 0;
}

}  // namespace codonspace
