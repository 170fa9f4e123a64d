// The screening of methods 2 and 3, whose results the byte-identity runs
// check: here the refusals of their stages (the file named, a record cut
// short an error) and the rules no genome there reaches. Method 2: the
// evaluator's worked example, window choice and unknown letters; its report
// reduced to one verdict per candidate and merged with the candidate list.
// Method 3: unknown letters in the translation, the deviation's six-decimal
// round trip and the filter's strict threshold.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
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

class DeviationTest : public testutil::TempDirTest {};

TEST_F(DeviationTest, RoundTripStrictFilterAndUnreadableInputs) {
  // Unknown letters, as drafts hold them, give no residue; TTG gives L.
  write_file(STDDEV_SEQ, "6 30 25\nTTGAAA\n9 1 9\nANGTGGTGA\n90");
  EXPECT_EQ(orfs_to_protein_seq(), 0);
  EXPECT_EQ(testutil::read_file(TEST1), "30 25\nLK\n1 9\nW\n0 0\n\n");
  std::remove(STDDEV_SEQ);
  testutil::expect_missing_input(orfs_to_protein_seq, STDDEV_SEQ);

  // The reference is a table of the tables directory: a damaged one, then
  // damaged and missing records.
  std::filesystem::create_directories("data");
  write_file(REFERENCE_COMPOSITION, "1 2 3 4 5 6 7 8 9 ten 11 12 13 14 15 16 17 18 19 20\n");
  write_file(TEST1, "10 18\nMA\n");
  testutil::expect_error([] { stddev(); }, {"'data/codon1'"}, "damaged reference");
  // Reference percentages of more than six decimals: the deviation is
  // 20.086479 only when both sides are read back as "%f" printed them
  // (20.086481 without the round trip), which the byte-identity runs do not reach.
  write_file(REFERENCE_COMPOSITION, "6.1234567 5.5 9.87654321 2.2 4.0 8.25 7.1 6.9 5.3 6.2\n"
                                    "6.6 1.1 1.3 3.9 2.9 5.4 5.9 2.4 4.1 5.8\n");
  write_file(TEST1, "10 18\nLQ" + std::string(22, 'V') + "\n");
  ASSERT_EQ(stddev(), 0);
  EXPECT_EQ(testutil::read_file(SEQ_STD_DEV), "10 18 20.086479\n");
  write_file(TEST1, "MA\n10 18\n");
  testutil::expect_error([] { stddev(); }, {"'test1'"}, "protein line first");
  std::remove(TEST1);
  testutil::expect_missing_input(stddev, TEST1);

  // The filter's threshold is strict; not a number never passes.
  write_file(SEQ_STD_DEV, "10 300 2.000000\n400 900 3.500000\n905 1200 3.499999\n0 0 -nan\n");
  EXPECT_EQ(check_stddev_gene(), 0);
  EXPECT_EQ(testutil::read_file(STD_CHECK), "10 300\n905 1200\n");
  write_file(SEQ_STD_DEV, "10 300 2.0\n400 900\n");
  testutil::expect_error([] { check_stddev_gene(); }, {"'seq_std_dev'"}, "cut short");
}
