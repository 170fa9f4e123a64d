#include "evaluator/webtalvisca9mod.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

#include "evaluator/line_reader.h"
#include "evaluator/protein_score.h"
#include "evaluator/translate_candidates.h"
#include "io/file_io.h"

namespace codonspace {

namespace {

constexpr size_t kBigBuffer = 1 << 20;
constexpr const char* kStars = "         ***************************      ";

void write_banner(FILE* fp) {
  std::fputs("\n\n\n\n\n\n", fp);
  std::fprintf(fp, "%s\n", kStars);
  std::fputs("       Welcome to Orvelle  \n", fp);
  std::fprintf(fp, "%s\n\n\n", kStars);
}

// A free-format record of a text and an integer: one blank, the text, one
// blank and the digits.
void write_count(FILE* fp, const char* text, long value) { std::fprintf(fp, " %s %ld\n", text, value); }

struct Counts {
  long nfile = 0;      // records read from "proS", the closing sentinel included
  long nshort = 0;     // sequences shorter than their minimum
  long nstopskip = 0;  // sequences rejected by the stop rule
  long nskip = 0;      // nshort + nstopskip
  long nprot = 0;      // sequences judged likely to code for a protein
};

void write_counts(FILE* fp, const Counts& c) {
  write_count(fp, " Total Number of Files =", c.nfile);
  write_count(fp, " Number of short proteins =", c.nshort);
  write_count(fp, " Number of Files Skipped due to stops=", c.nstopskip);
  write_count(fp, " Total Number of Files Skipped =", c.nskip);
  write_count(fp, " Number of files analyzed = ", c.nfile - c.nskip);
  write_count(fp, " Number of Proteins Found = ", c.nprot);
  std::fprintf(fp, "%s\n", kStars);
}

// The candidate's place in "talvisca_seq": the fourth number of a "proS"
// record header.
long candidate_place(const std::string& header, const File& proteins) {
  const char* p = header.c_str() + 1;
  long value = 0;
  for (int item = 0; item < 4; ++item) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(p, &end, 10);
    if (end == p || errno != 0)
      throw Error("'" + proteins.name() + "' holds the damaged record header \"" + header + "\"");
    p = end;
  }
  return value;
}

}  // namespace

void evaluate_proteins(FILE* out) {
  File in(PROS, "r", kBigBuffer);
  if (!in.is_open()) throw Error("cannot open " + file_reason(in.name(), in.open_error()));
  File report(EVALUATOR_REPORT, "w", kBigBuffer);
  if (!report.is_open()) throw Error("cannot open " + file_reason(report.name(), report.open_error()));
  FILE* fp = report.get();
  write_banner(out);
  write_banner(fp);

  Counts c;
  ProteinScorer scorer;
  LineReader reader(in);
  std::string_view line;
  std::string header;  // header of the record being read
  std::string residues;
  if (reader.next(line)) {
    header.assign(line);
    for (;;) {
      ++c.nfile;
      // The record's residues: columns 1 to 60 of every line up to the next
      // header, blanks left out. A record that the file ends in (the
      // sentinel ">TER") is dropped.
      residues.clear();
      bool complete = false;
      while (reader.next(line)) {
        if (!line.empty() && line[0] == '>') {
          complete = true;
          break;
        }
        const size_t n = std::min(line.size(), PROTEIN_LINE_RESIDUES);
        for (size_t i = 0; i < n; ++i)
          if (line[i] != ' ') residues.push_back(line[i]);
      }
      if (!complete) break;

      const long nres = static_cast<long>(residues.size());
      const WindowParams w = window_params(nres);
      if (nres < w.nmin) {
        ++c.nshort;
        ++c.nskip;
      } else {
        write_count(fp, " Analyzing file #", candidate_place(header, in));
        write_count(fp, " Total Number of Amino acids ", nres);
        if (count_stops(residues, w.nmin) > 0) {
          ++c.nstopskip;
          ++c.nskip;
          std::fputs(" The Query Sequence contains stop codons \n", fp);
        } else if (scorer.score(residues, w.lword).iscore >= PROTEIN_THRESHOLD) {
          ++c.nprot;
          std::fputs("The Query Sequence is likely to code for a Protein\n", fp);
        } else {
          std::fputs(" The Query Sequence is not a Protein \n", fp);
        }
        if (c.nfile % 4096 == 0) report.check_write();
      }
      header.assign(line);  // the line that ended the record heads the next
    }
  }
  if (c.nfile > 0) --c.nfile;  // the sentinel

  std::fputs("\n\n", fp);
  write_counts(fp, c);
  std::fputc('\n', out);
  write_counts(out, c);
  std::fflush(out);
  report.close_output();
  in.close();
}

int webtalvisca9mod() {
  translate_candidates();
  evaluate_proteins(stdout);
  return 0;
}

}  // namespace codonspace
