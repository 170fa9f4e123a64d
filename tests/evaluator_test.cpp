// Method-2 screening: the protein-likeness evaluator (the score of a worked
// example, the window choice, unknown letters), its report reduced to one
// verdict per candidate and merged with the candidate list, and the
// refusals of these stages. Their results are checked by the byte-identity runs.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>

#include "evaluator/protein_score.h"
#include "evaluator/translate_candidates.h"
#include "evaluator/webtalvisca9mod.h"
#include "io/file_io.h"
#include "stages/protein_stages.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::write_file;

namespace {
const std::string WORKED_EXAMPLE = "MAVYYLALSWSILRITRVGVQHVTHLGGHEKRIGVGFGAZ";
// Report lines as the evaluator writes them.
std::string header(long k) { return "  Analyzing file # " + std::to_string(k) + "\n  Total Number of Amino acids  40\n"; }
const std::string PROTEIN = "The Query Sequence is likely to code for a Protein\n";
const std::string NOT_PROTEIN = " The Query Sequence is not a Protein \n";
}  // namespace

class EvaluatorStageTest : public testutil::TempDirTest {};

// A damaged candidate list is refused naming the file and line; the
// evaluator run without one writes no report.
TEST_F(EvaluatorStageTest, UnreadableCandidatesAreRefused) {
  const std::pair<const char*, std::string> damaged[] = {
      {"16\nATGAAAGGGTTTCCCA\nsixteen\nATG\n90", "'talvisca_seq' line 3"},
      {nullptr, "'talvisca_seq'"},
  };
  for (const auto& [content, message] : damaged) {
    testutil::put_file(TALVISCA_SEQ, content);
    testutil::expect_error(translate_candidates, {message}, message);
  }
  EXPECT_EQ(testutil::expect_missing_input(webtalvisca9mod, TALVISCA_SEQ), "");
  EXPECT_FALSE(testutil::exists(EVALUATOR_REPORT));
}

// Unknown letters of drafts: N reads as T, R as A, Y as T; others are
// counted and skipped.
TEST(TranslateCandidate, UnknownLetters) {
  Translation t;
  translate_candidate("ATGNNNRAAYAAGGGnnnryy", 21, t);
  EXPECT_EQ(t.residues, "MFKZGFI");
  translate_candidate("ATGXAA1TTAA\rGGG", 16, t);
  EXPECT_EQ(t.residues, "MG");
  EXPECT_EQ(t.nunk, 3);
}

TEST(ProteinScore, WorkedExample) {
  ProteinScorer scorer;
  ASSERT_EQ(count_stops(WORKED_EXAMPLE, 25), 0);
  const ScoreDetails d = scorer.score(WORKED_EXAMPLE, window_params(40).lword);
  EXPECT_EQ(d.nwin, 30);
  EXPECT_EQ(d.noct, (std::array<long, 8>{11, 0, 2, 0, 7, 0, 10, 0}));
  EXPECT_EQ(d.nbad, 0);
  EXPECT_EQ(d.nbal, 15);
  // The figures behind the rows show in the rows that pass and the score.
  std::array<bool, SCORE_ROWS> rows{};
  for (int r : {2, 3, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 20, 22}) rows[static_cast<size_t>(r - 1)] = true;
  EXPECT_EQ(d.rows, rows);
  EXPECT_EQ(d.iscore, 38);
  // Prefixes ending in a stop, scored as the stage scores them: up to 24
  // residues windows of 3 and a minimum of 4 (the stop 23 after the M is
  // tolerated, score 37); from 25 windows of 11 and a minimum of 25 (with 25
  // residues the stop counts; with 26 it does not, score 27).
  const std::tuple<long, long, long> prefixes[] = {{24, 0, 37}, {25, 1, 0}, {26, 0, 27}};  // residues, stops, score
  for (const auto& [n, stops, score] : prefixes) {
    const std::string p = WORKED_EXAMPLE.substr(0, static_cast<size_t>(n - 1)) + "Z";
    const WindowParams w = window_params(n);
    EXPECT_EQ(count_stops(p, w.nmin), stops) << n;
    if (stops == 0) {
      EXPECT_EQ(scorer.score(p, w.lword).iscore, score) << n;
    }
  }
}

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
  write_file(EVALUATOR_REPORT, header(1) + PROTEIN + header(3) + NOT_PROTEIN + header(4) + PROTEIN);
  ASSERT_EQ(binary_talvisca_mod_newtalvisca(), 0);
  ASSERT_EQ(helixtrove_talvisca(), 0);
  EXPECT_EQ(testutil::read_file(SIGNAL66GENES), "10 60\n400 460\n");
}
