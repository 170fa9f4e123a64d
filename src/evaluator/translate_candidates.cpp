#include "evaluator/translate_candidates.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "evaluator/line_reader.h"
#include "evaluator/webtalvisca9mod.h"
#include "io/file_io.h"
#include "core/genetic_code.h"

namespace codonspace {

namespace {

constexpr size_t kBigBuffer = 1 << 20;

// The standard genetic code in codon-index order, stops as "Z".
std::array<char, 64> make_residues() {
  std::array<char, 64> r = standard_genetic_code().amino;
  for (char& a : r) a = a == '*' ? 'Z' : a;
  return r;
}
const std::array<char, 64> kGeneticCode = make_residues();

// Base value (genetic_code.h) of a character after the candidate's rewrite
// rules (lower case as upper case, R as A, Y and N as T); -1 for anything
// else.
std::array<int8_t, 256> make_base_numbers() {
  std::array<int8_t, 256> t{};
  for (int8_t& v : t) v = -1;
  const auto set = [&t](const char* chars, char base) {
    for (const char* c = chars; *c != '\0'; ++c) t[static_cast<unsigned char>(*c)] = static_cast<int8_t>(base_code(base));
  };
  set("TtYyNn", 'T');
  set("Cc", 'C');
  set("AaRr", 'A');
  set("Gg", 'G');
  return t;
}
const std::array<int8_t, 256> kBaseNumber = make_base_numbers();

std::string shown(std::string_view line) {
  constexpr size_t kMax = 60;
  if (line.size() <= kMax) return std::string(line);
  return std::string(line.substr(0, kMax)) + "...";
}

}  // namespace

void translate_candidate(std::string_view bases, long nlen, Translation& out) {
  out.nbase3 = 3 * (nlen / 3);
  out.nunk = 0;
  out.residues.clear();
  const long codons = out.nbase3 / 3;
  // First the codons that lie wholly inside the line, without bounds
  // checks; a codon that begins with a blank ends the translation here too.
  const long whole = std::max(0L, std::min(codons, static_cast<long>(bases.size() / 3)));
  out.residues.resize(static_cast<size_t>(whole));
  char* residue = out.residues.data();
  long c = 0;
  for (; c < whole; ++c) {
    const char* p = bases.data() + 3 * c;
    if (p[0] == ' ') break;
    const int b1 = kBaseNumber[static_cast<unsigned char>(p[0])];
    const int b2 = kBaseNumber[static_cast<unsigned char>(p[1])];
    const int b3 = kBaseNumber[static_cast<unsigned char>(p[2])];
    if ((b1 | b2 | b3) < 0) {
      ++out.nunk;
      continue;
    }
    *residue++ = kGeneticCode[16 * b1 + 4 * b2 + b3];
  }
  out.residues.resize(static_cast<size_t>(residue - out.residues.data()));
  if (c < whole) return;  // stopped at a blank
  const auto at = [bases](size_t p) { return p < bases.size() ? bases[p] : ' '; };
  for (; c < codons; ++c) {
    const size_t p = 3 * static_cast<size_t>(c);
    if (at(p) == ' ') break;  // the line is shorter than its length says
    const int b1 = kBaseNumber[static_cast<unsigned char>(at(p))];
    const int b2 = kBaseNumber[static_cast<unsigned char>(at(p + 1))];
    const int b3 = kBaseNumber[static_cast<unsigned char>(at(p + 2))];
    if (b1 < 0 || b2 < 0 || b3 < 0) {
      ++out.nunk;
      continue;
    }
    out.residues.push_back(kGeneticCode[16 * b1 + 4 * b2 + b3]);
  }
}

bool parse_length_line(std::string_view line, long& value) {
  const auto is_blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t i = 0;
  while (i < line.size() && is_blank(line[i])) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  const size_t first_digit = i;
  long v = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    const int digit = line[i] - '0';
    if (v > (__LONG_MAX__ - digit) / 10) return false;
    v = v * 10 + digit;
  }
  if (i == first_digit) return false;
  // The item ends at a blank, a comma or the line end (a carriage return of
  // a CR LF line end included).
  if (i < line.size() && !is_blank(line[i]) && line[i] != ',' && line[i] != '\r') return false;
  value = negative ? -v : v;
  return true;
}

void write_protein_record(FILE* fp, const Translation& t, long nord) {
  const long nres = static_cast<long>(t.residues.size());
  std::fprintf(fp, ">%10ld%10ld%10ld%10ld\n", nres, t.nunk, t.nbase3, nord);
  if (nres == 0) {
    std::putc('\n', fp);
    return;
  }
  for (size_t p = 0; p < t.residues.size(); p += PROTEIN_LINE_RESIDUES) {
    const size_t n = std::min(PROTEIN_LINE_RESIDUES, t.residues.size() - p);
    std::fwrite(t.residues.data() + p, 1, n, fp);
    std::putc('\n', fp);
  }
}

void translate_candidates() {
  File in(TALVISCA_SEQ, "r", kBigBuffer);
  if (!in.is_open()) throw Error("cannot open " + file_reason(in.name(), in.open_error()));
  File out(PROS, "w", kBigBuffer);
  if (!out.is_open()) throw Error("cannot open " + file_reason(out.name(), out.open_error()));

  LineReader reader(in);
  std::string_view line;
  std::string last_length_line;
  bool length_line_seen = false;
  Translation t;
  for (long nord = 1;; ++nord) {
    if (!reader.next(line)) break;
    if (!line.empty() && (line[0] == 'A' || line[0] == 'G' || line[0] == 'T' || line[0] == 'C'))
      continue;  // a stray sequence line
    last_length_line.assign(line);
    length_line_seen = true;
    long nlen = 0;
    if (!parse_length_line(line, nlen))
      throw Error("'" + in.name() + "' line " + std::to_string(reader.line_number()) +
                  " should hold a candidate length but holds \"" + shown(line) + "\"");
    if (nlen == 0) continue;  // no sequence line follows
    if (!reader.next(line)) break;
    if (nlen < MIN_CANDIDATE_BASES) continue;  // too short: dropped without a trace
    translate_candidate(line, nlen, t);
    write_protein_record(out.get(), t, nord);
    if (nord % 4096 == 0) out.check_write();
  }
  std::fputs(">TER\n", out.get());
  out.close_output();
  in.close();

  // "temp" keeps the last length line, padded with blanks to 30000 columns
  // (a longer line is kept whole). Without any length line it is untouched.
  if (length_line_seen) {
    File temp(TEMP_FILE, "w");
    if (!temp.is_open()) throw Error("cannot open " + file_reason(temp.name(), temp.open_error()));
    if (last_length_line.size() < LENGTH_SCRATCH_COLUMNS)
      last_length_line.resize(LENGTH_SCRATCH_COLUMNS, ' ');
    last_length_line.push_back('\n');
    std::fwrite(last_length_line.data(), 1, last_length_line.size(), temp.get());
    temp.close_output();
  }
}

}  // namespace codonspace
