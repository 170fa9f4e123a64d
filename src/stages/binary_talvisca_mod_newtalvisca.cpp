#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "io/file_io.h"
#include "stages/protein_stages.h"

namespace codonspace {

namespace {

// The report writes "  Analyzing file # k", k being the candidate's place in
// "talvisca_seq"; "Ana" in columns 3-5 is what marks a header line.
constexpr const char* HEADER_TEXT = "Analyzing file #";
constexpr size_t HEADER_COLUMN = 2;  // 0-based column of the "A"

bool is_header(const std::string& line) {
  return line.size() >= HEADER_COLUMN + 3 && line.compare(HEADER_COLUMN, 3, "Ana") == 0;
}

// "The Query Sequence is likely to code for a Protein": "The" in columns 1-3
// and the "P" of "Protein" in column 44. The other two verdicts begin with a
// blank and never match.
bool is_protein_verdict(const std::string& line) {
  return line.size() >= 44 && line.compare(0, 3, "The") == 0 && line[43] == 'P';
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The candidate number of a header line, or -1 when the line does not carry
// one: the header text, blanks, decimal digits, and nothing but blanks after.
long candidate_number(const std::string& line) {
  const size_t text_length = std::strlen(HEADER_TEXT);
  if (line.compare(HEADER_COLUMN, text_length, HEADER_TEXT) != 0) return -1;
  size_t pos = HEADER_COLUMN + text_length;
  while (pos < line.size() && is_blank(line[pos])) ++pos;
  if (pos == line.size() || line[pos] < '0' || line[pos] > '9') return -1;
  long value = 0;
  for (; pos < line.size() && line[pos] >= '0' && line[pos] <= '9'; ++pos) {
    const int digit = line[pos] - '0';
    if (value > (LONG_MAX - digit) / 10) return -1;
    value = value * 10 + digit;
  }
  for (; pos < line.size(); ++pos)
    if (!is_blank(line[pos])) return -1;
  return value;
}

}  // namespace

// Verdicts are written as the report is read: a header closes the previous
// candidate's line and fills the numbers it skipped with 0, so memory does not
// grow with the number of candidates and no candidate count is built in.
int binary_talvisca_mod_newtalvisca() {
  File fp(EVALUATOR_REPORT, "r", 1 << 16);
  File fp_write(SIGNAL_TALVISCA66, "w", 1 << 16);
  require_open({&fp, &fp_write});
  FILE* out = fp_write.get();
  std::string line;
  unsigned long line_no = 0;
  long current = 0;  // number of the most recent header; 0 before the first
  bool protein = false;
  auto damaged = [&](const std::string& what) {
    return Error("'" + std::string(EVALUATOR_REPORT) + "': line " + std::to_string(line_no) + " " + what);
  };

  while (read_line(fp, line)) {
    ++line_no;
    if (is_header(line)) {
      const long k = candidate_number(line);
      if (k < 0) throw damaged("is a header without a readable candidate number");
      if (k <= current)
        throw damaged("names candidate " + std::to_string(k) + " after candidate " + std::to_string(current) +
                      "; the numbers must increase");
      if (current > 0) std::fprintf(out, "%d\n", protein ? 1 : 0);
      for (long skipped = current + 1; skipped < k; ++skipped) std::fputs("0\n", out);
      current = k;
      protein = false;
      fp_write.check_write();
    } else if (is_protein_verdict(line)) {
      if (current == 0) throw damaged("holds a verdict before any \"Analyzing file #\" header");
      protein = true;
    }
  }
  if (current > 0) std::fprintf(out, "%d\n", protein ? 1 : 0);
  fp_write.close_output();
  return 0;
}

}  // namespace codonspace
