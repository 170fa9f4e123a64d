// Method-2 screening: the evaluator's report reduced to one verdict per
// candidate, and the merge with the candidate list.
#include <gtest/gtest.h>

#include <string>

#include "io/file_io.h"
#include "stages/protein_stages.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::read_file;
using testutil::write_file;

namespace {

// Report lines as the evaluator writes them.
std::string header(long k, long residues = 40) {
  return "  Analyzing file # " + std::to_string(k) + "\n  Total Number of Amino acids  " + std::to_string(residues) +
         "\n";
}
const std::string PROTEIN = "The Query Sequence is likely to code for a Protein\n";
const std::string NOT_PROTEIN = " The Query Sequence is not a Protein \n";
const std::string STOPS = " The Query Sequence contains stop codons \n";
// The text around the entries.
const std::string BANNER = "\n\n   ***\n    Welcome  \n   ***\n\n";
std::string closing(int files, int found) {
  return "\n\n  Total Number of Files = " + std::to_string(files) + "\n  Number of Proteins Found =  " +
         std::to_string(found) + "\n";
}

}  // namespace

class VerdictTest : public testutil::TempDirTest {};

TEST_F(VerdictTest, OneLinePerCandidateNumber) {
  const std::string long_tail(120, ' ');
  const struct {
    const char* name;
    std::string report, verdicts;
  } cases[] = {
      {"no header", BANNER + closing(0, 0), ""},
      {"other verdicts give 0", BANNER + header(1) + NOT_PROTEIN + header(2) + STOPS + closing(2, 0), "0\n0\n"},
      {"protein under the first and third", header(1) + PROTEIN + header(2) + NOT_PROTEIN + header(3) + PROTEIN,
       "1\n0\n1\n"},
      {"skipped candidate in the middle", header(1) + NOT_PROTEIN + header(3) + PROTEIN, "0\n0\n1\n"},
      {"skipped candidates at the start and between", header(2) + PROTEIN + header(5) + PROTEIN, "0\n1\n0\n0\n1\n"},
      {"no P in column 44, short line",
       header(1) + "The Query Sequence is likely to code for a protein\n" + header(2) + "The end\n" + header(3) + "The",
       "0\n0\n0\n"},
      {"verdict in another column", header(1) + " " + PROTEIN, "0\n"},
      {"second verdict under one header", header(1) + PROTEIN + PROTEIN + header(2), "1\n0\n"},
      {"no line end at the end of the report", header(1) + PROTEIN.substr(0, PROTEIN.size() - 1), "1\n"},
      {"verdict line longer than 99 characters", header(1) + PROTEIN.substr(0, 50) + long_tail + "\n", "1\n"},
      {"header text beyond column 99 is not a header",
       header(1) + std::string(99, '-') + "  Analyzing file # 7\n" + PROTEIN, "1\n"},
      {"verdict text beyond column 99 marks nothing", header(1) + std::string(99, '-') + PROTEIN, "0\n"},
      {"header with blanks after its number", "  Analyzing file #   12  \r\n" + PROTEIN,
       "0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n1\n"},
  };
  for (const auto& c : cases) {
    write_file(EVALUATOR_REPORT, c.report);
    EXPECT_EQ(binary_talvisca_mod_newtalvisca(), 0) << c.name;
    EXPECT_EQ(read_file(SIGNAL_TALVISCA66), c.verdicts) << c.name;
  }
}

TEST_F(VerdictTest, DamagedReportsAreErrorsNamingTheReport) {
  const struct {
    const char* name;
    std::string report;
  } cases[] = {
      {"header without a number", "  Analyzing file #\n"},
      {"number followed by text", "  Analyzing file # 4a\n"},
      {"Ana in columns 3-5 but another text", "  Anatomy 3\n"},
      {"negative number", "  Analyzing file # -2\n"},
      {"number out of range", "  Analyzing file # 99999999999999999999999\n"},
      {"numbers going back", header(3) + header(2)},
      {"number repeated", header(1) + PROTEIN + header(1)},
      {"verdict before any header", BANNER + PROTEIN + header(1)},
  };
  for (const auto& c : cases) {
    write_file(EVALUATOR_REPORT, c.report);
    testutil::expect_error(binary_talvisca_mod_newtalvisca, {"'webtalvisca.out'"}, c.name);
  }
  std::remove(EVALUATOR_REPORT);
  testutil::expect_missing_input(binary_talvisca_mod_newtalvisca, EVALUATOR_REPORT);
}

class MergeTest : public testutil::TempDirTest {};

TEST_F(MergeTest, PairsKeptByPosition) {
  const struct {
    const char* name;
    std::string signal, verdicts, kept;
  } cases[] = {
      {"one kept", "12 300 \n900 601 \n", "1\n0\n", "12 300\n"},
      {"complementary pair copied unchanged", "12 300 \n900 601 \n", "0\n1\n", "900 601\n"},
      {"all rejected", "12 300 \n900 601 \n", "0\n0\n", ""},
      {"no verdicts", "12 300 \n900 601 \n", "", ""},
      {"fewer verdicts than pairs", "1 9 \n2 9 \n3 9 \n", "1\n", "1 9\n"},
      {"more verdicts than pairs", "1 9 \n", "1\n1\n1\n", "1 9\n"},
      {"only 1 keeps a pair", "1 9 \n2 9 \n3 9 \n", "2\n1\n-1\n", "2 9\n"},
      {"no final line ends", "1 9 2 9", "1\n1", "1 9\n2 9\n"},
  };
  for (const auto& c : cases) {
    write_file(SIGNAL, c.signal);
    write_file(SIGNAL_TALVISCA66, c.verdicts);
    EXPECT_EQ(helixtrove_talvisca(), 0) << c.name;
    EXPECT_EQ(read_file(SIGNAL66GENES), c.kept) << c.name;
  }
}

TEST_F(MergeTest, VerdictsStayWithTheirCandidatesWhenTheEvaluatorSkipsOne) {
  // Candidate 2 is too short for the evaluator and has no report entry.
  write_file(SIGNAL, "10 60 \n100 106 \n300 250 \n400 460 \n");
  write_file(EVALUATOR_REPORT,
             BANNER + header(1) + PROTEIN + header(3) + NOT_PROTEIN + header(4) + PROTEIN + closing(4, 2));
  ASSERT_EQ(binary_talvisca_mod_newtalvisca(), 0);
  EXPECT_EQ(read_file(SIGNAL_TALVISCA66), "1\n0\n0\n1\n");
  ASSERT_EQ(helixtrove_talvisca(), 0);
  EXPECT_EQ(read_file(SIGNAL66GENES), "10 60\n400 460\n");
}

TEST_F(MergeTest, MissingInputsAndDamagedLists) {
  write_file(SIGNAL, "1 9 \n2 9 \n");
  testutil::expect_missing_input(helixtrove_talvisca, SIGNAL_TALVISCA66);
  write_file(SIGNAL_TALVISCA66, "1\nyes\n");
  testutil::expect_error(helixtrove_talvisca, {"'signal_talvisca66'"}, "damaged verdicts");
}
