// The protein-likeness evaluator: the score of a worked example, and the
// refusals of the stage (its verdicts are checked by the byte-identity runs).
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>

#include "evaluator/protein_score.h"
#include "evaluator/translate_candidates.h"
#include "evaluator/webtalvisca9mod.h"
#include "io/file_io.h"
#include "test_util.h"

using namespace codonspace;

const std::string WORKED_EXAMPLE = "MAVYYLALSWSILRITRVGVQHVTHLGGHEKRIGVGFGAZ";

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

