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
std::string header(long k) { return "  Analyzing file # " + std::to_string(k) + "\n  Total Number of Amino acids  40\n"; }
const std::string PROTEIN = "The Query Sequence is likely to code for a Protein\n";
const std::string NOT_PROTEIN = " The Query Sequence is not a Protein \n";
const std::string BANNER = "\n\n   ***\n    Welcome  \n   ***\n\n";
}  // namespace

class ScreeningTest : public testutil::TempDirTest {};

TEST_F(ScreeningTest, OneVerdictPerCandidateNumber) {
  const std::pair<std::string, std::string> cases[] = {  // report, verdicts
      {BANNER + "\n\n  Total Number of Files = 0\n", ""},
      {header(1) + PROTEIN + header(2) + NOT_PROTEIN + header(3) + PROTEIN, "1\n0\n1\n"},
      {header(2) + PROTEIN + header(5) + PROTEIN, "0\n1\n0\n0\n1\n"},  // skipped candidates
      // No P in column 44, a short line.
      {header(1) + "The Query Sequence is likely to code for a protein\n" + header(2) + "The", "0\n0\n"},
      {header(1) + PROTEIN + PROTEIN + header(2), "1\n0\n"},
      {header(1) + std::string(99, '-') + "  Analyzing file # 7\n" + PROTEIN, "1\n"},  // beyond column 99
      {"  Analyzing file #   3  \r\n" + PROTEIN, "0\n0\n1\n"},
  };
  for (const auto& [report, verdicts] : cases) {
    write_file(EVALUATOR_REPORT, report);
    EXPECT_EQ(binary_talvisca_mod_newtalvisca(), 0) << report;
    EXPECT_EQ(read_file(SIGNAL_TALVISCA66), verdicts) << report;
  }
  for (const std::string& damaged : {std::string("  Analyzing file #\n"), std::string("  Anatomy 3\n"),
                                     header(3) + header(2), BANNER + PROTEIN + header(1)}) {
    write_file(EVALUATOR_REPORT, damaged);
    testutil::expect_error(binary_talvisca_mod_newtalvisca, {"'webtalvisca.out'"}, damaged);
  }
  std::remove(EVALUATOR_REPORT);
  testutil::expect_missing_input(binary_talvisca_mod_newtalvisca, EVALUATOR_REPORT);
}

TEST_F(ScreeningTest, PairsKeptByPosition) {
  const std::tuple<std::string, std::string, std::string> cases[] = {  // pairs, verdicts, kept
      {"12 300 \n900 601 \n", "0\n1\n", "900 601\n"},
      {"1 9 \n2 9 \n3 9 \n", "1\n", "1 9\n"},
      {"1 9 \n2 9 \n3 9 \n", "2\n1\n-1\n", "2 9\n"},  // only 1 keeps a pair
      {"1 9 2 9", "1\n1", "1 9\n2 9\n"},
  };
  for (const auto& [pairs, verdicts, kept] : cases) {
    write_file(SIGNAL, pairs);
    write_file(SIGNAL_TALVISCA66, verdicts);
    EXPECT_EQ(helixtrove_talvisca(), 0) << pairs;
    EXPECT_EQ(read_file(SIGNAL66GENES), kept) << pairs;
  }
  write_file(SIGNAL_TALVISCA66, "1\nyes\n");
  testutil::expect_error(helixtrove_talvisca, {"'signal_talvisca66'"}, "damaged verdicts");
  std::remove(SIGNAL_TALVISCA66);
  testutil::expect_missing_input(helixtrove_talvisca, SIGNAL_TALVISCA66);
}

TEST_F(ScreeningTest, VerdictsStayWithTheirCandidatesWhenTheEvaluatorSkipsOne) {
  // Candidate 2 is too short for the evaluator and has no report entry.
  write_file(SIGNAL, "10 60 \n100 106 \n300 250 \n400 460 \n");
  write_file(EVALUATOR_REPORT, BANNER + header(1) + PROTEIN + header(3) + NOT_PROTEIN + header(4) + PROTEIN);
  ASSERT_EQ(binary_talvisca_mod_newtalvisca(), 0);
  ASSERT_EQ(helixtrove_talvisca(), 0);
  EXPECT_EQ(read_file(SIGNAL66GENES), "10 60\n400 460\n");
}
