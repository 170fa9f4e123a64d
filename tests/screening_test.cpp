// Method-2 screening: the evaluator's report reduced to one verdict per
// candidate and merged with the candidate list; the refusals of both steps.
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

// A report out of order and damaged verdicts are refused naming the file.
TEST_F(ScreeningTest, DamagedReportsAndVerdictsAreRefused) {
  write_file(EVALUATOR_REPORT, header(3) + header(2));
  testutil::expect_error(binary_talvisca_mod_newtalvisca, {"'webtalvisca.out'"}, "out of order");
  write_file(SIGNAL, "1 9 \n2 9 \n");
  write_file(SIGNAL_TALVISCA66, "1\nyes\n");
  testutil::expect_error(helixtrove_talvisca, {"'signal_talvisca66'"}, "damaged verdicts");
  std::remove(SIGNAL_TALVISCA66);
  testutil::expect_missing_input(helixtrove_talvisca, SIGNAL_TALVISCA66);
}

// Candidate 2 is too short for the evaluator and has no report entry: the
// verdicts stay with their candidates.
TEST_F(ScreeningTest, VerdictsStayWithTheirCandidatesWhenTheEvaluatorSkipsOne) {
  write_file(SIGNAL, "10 60 \n100 106 \n300 250 \n400 460 \n");
  write_file(EVALUATOR_REPORT, BANNER + header(1) + PROTEIN + header(3) + NOT_PROTEIN + header(4) + PROTEIN);
  ASSERT_EQ(binary_talvisca_mod_newtalvisca(), 0);
  ASSERT_EQ(helixtrove_talvisca(), 0);
  EXPECT_EQ(read_file(SIGNAL66GENES), "10 60\n400 460\n");
}
