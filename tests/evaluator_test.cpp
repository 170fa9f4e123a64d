// The protein-likeness evaluator: candidate translation, stop rule, score,
// and the report of the whole stage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "evaluator/protein_score.h"
#include "evaluator/translate_candidates.h"
#include "evaluator/webtalvisca9mod.h"
#include "io/file_io.h"
#include "test_util.h"

using namespace codonspace;
using testutil::read_file;
using testutil::write_file;

namespace {

// One codon per residue letter, "Z" as TAA.
std::string back_translate(const std::string& protein) {
  static const std::map<char, const char*> codon = {
      {'A', "GCT"}, {'C', "TGT"}, {'D', "GAT"}, {'E', "GAA"}, {'F', "TTT"}, {'G', "GGT"}, {'H', "CAT"},
      {'I', "ATT"}, {'K', "AAA"}, {'L', "CTG"}, {'M', "ATG"}, {'N', "AAT"}, {'P', "CCG"}, {'Q', "CAG"},
      {'R', "CGT"}, {'S', "TCT"}, {'T', "ACT"}, {'V', "GTT"}, {'W', "TGG"}, {'Y', "TAT"}, {'Z', "TAA"}};
  std::string dna;
  for (char c : protein) dna += codon.at(c);
  return dna;
}

const std::string WORKED_EXAMPLE = "MAVYYLALSWSILRITRVGVQHVTHLGGHEKRIGVGFGAZ";

}  // namespace

TEST(TranslateCandidate, TranslatesTheFirstFrame) {
  const struct {
    const char* name;
    std::string bases;
    long nlen;
    std::string residues;
    long nunk, nbase3;
  } cases[] = {
      {"16-base example", "ATGAAAGGGTTTCCCA", 16, "MKGFP", 0, 15},
      {"N reads as T, R as A, Y as T", "ATGNNNRAAYAAGGGnnnryy", 21, "MFKZGFI", 0, 21},
      {"unknown characters", "ATGXAA1TTAA\rGGG", 16, "MG", 3, 15},
      {"blank at a codon start stops", "ATGAAA GGTTTCCCA", 16, "MK", 0, 15},
  };
  Translation t;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    translate_candidate(c.bases, c.nlen, t);
    EXPECT_EQ(t.residues, c.residues);
    EXPECT_EQ(t.nunk, c.nunk);
    EXPECT_EQ(t.nbase3, c.nbase3);
  }
}

class TranslationPhaseTest : public testutil::TempDirTest {};

TEST_F(TranslationPhaseTest, WritesRecordsInCandidateOrder) {
  // 30003 bases: M and 10000 P, in 166 lines of 60 and one of 41.
  const std::string long_candidate = "ATG" + std::string(30000, 'C');
  std::string long_record = ">     10001         0     30003         5\nM" + std::string(59, 'P') + "\n";
  for (int i = 0; i < 165; ++i) long_record += std::string(60, 'P') + "\n";
  long_record += std::string(41, 'P') + "\n";
  // Candidates 2 (too short), 3 (no sequence line follows), 4 (a stray
  // sequence line) and 7 (negative length) give no record; 6 fills two lines.
  write_file(PROS, std::string(50000, '#'));  // an old, longer file is cut
  write_file(TALVISCA_SEQ, "16\nATGAAAGGGTTTCCCA\n9\nATGAAATAG\n0\nCCCAAA\n30003\n" + long_candidate + "\n360\n" +
                               back_translate(std::string(120, 'A')) + "\n-2\nGGG\n  21 junk\nATGAAAGGG\n90");
  translate_candidates();
  EXPECT_EQ(read_file(PROS), ">         5         0        15         1\nMKGFP\n" + long_record +
                                 ">       120         0       360         6\n" + std::string(60, 'A') + "\n" +
                                 std::string(60, 'A') + "\n>         3         0        21         8\nMKG\n>TER\n");
  // "temp" keeps the last length line, padded to 30000 columns.
  EXPECT_EQ(read_file(TEMP_FILE), "90" + std::string(29998, ' ') + "\n");
  const std::pair<const char*, std::string> damaged[] = {
      {"16\nATGAAAGGGTTTCCCA\nsixteen\nATG\n90", "'talvisca_seq' line 3"},
      {nullptr, "'talvisca_seq'"},
  };
  for (const auto& [content, message] : damaged) {
    testutil::put_file(TALVISCA_SEQ, content);
    testutil::expect_error(translate_candidates, {message}, message);
  }
}

TEST(StopRule, CountsUntoleratedStops) {
  const std::string x23(23, 'A'), x30(30, 'A');
  const std::tuple<std::string, long, long> cases[] = {  // residues, minimum, stops counted
      {"M" + x23 + "Z", 25, 1},           {"MA" + x23 + "Z", 25, 0},        {"AAAAAZ", 4, 1},
      {"M" + x30 + "ZAAAAAZ", 25, 0},  // both stops measured from the same M
      {"MZ" + x30 + "Z", 25, 2},          // a counted stop forgets the M
      {"MZM" + x30 + "Z", 25, 1},         {"MAAZ", 4, 1},
  };
  for (const auto& [residues, nmin, nstop] : cases) EXPECT_EQ(count_stops(residues, nmin), nstop) << residues;
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
}

TEST(ProteinScore, WindowsOctantsExpectationsAndDisfavouredTriplets) {
  ProteinScorer scorer;
  // Windows of 3: two windows centred on residues 2 and 3, octants by tests A, B and C.
  const std::pair<std::string, std::array<long, 8>> octants[] = {
      {"LLLL", {2, 0, 0, 0, 0, 0, 0, 0}},
      {"LGFS", {0, 0, 1, 0, 0, 0, 0, 1}},
      {"LWZZ", {0, 0, 0, 0, 0, 1, 0, 0}},  // LWZ ties in test A
  };
  for (const auto& [residues, noct] : octants) {
    const ScoreDetails d = scorer.score(residues, window_params(4).lword);
    EXPECT_EQ(d.nwin, 2) << residues;
    EXPECT_EQ(d.noct, noct) << residues;
  }
  // 250 windows of 11: 82 x 250 / 1000 = 20.5 gives 21, 168 x 250 / 1000 = 42.
  EXPECT_EQ(scorer.score(std::string(260, 'A'), 11).nexp, (std::array<long, 8>{42, 21, 21, 42, 21, 42, 42, 21}));
  // A fourth occurrence of a disfavoured triplet removes row 13.
  const std::pair<const char*, long> triplets[] = {
      {"RRPRRPRRPAAA", 0},              // RRP three times
      {"RRPRRPRRPRRP", 1},              // RRP four times (PRR and RPR three times each)
      {"RRPRRPRRPRRPSSRSSRSSRSSR", 2},  // RRP and SSR four times each
  };
  for (const auto& [residues, nbad] : triplets) {
    const ScoreDetails d = scorer.score(residues, 3);
    EXPECT_EQ(d.nbad, nbad) << residues;
    EXPECT_EQ(d.rows[12], nbad == 0) << residues;
  }
}

class EvaluatorStageTest : public testutil::TempDirTest {};

// The worked example, then a candidate too short to translate, one of one
// residue, one with a stop and one rejected.
TEST_F(EvaluatorStageTest, ReportCarriesTheCandidatesPlaces) {
  const auto analyzing = [](int k, int residues, const std::string& verdict) {
    return "  Analyzing file # " + std::to_string(k) + "\n  Total Number of Amino acids  " + std::to_string(residues) +
           "\n" + verdict + "\n";
  };
  std::remove(TALVISCA_SEQ);
  EXPECT_EQ(testutil::expect_missing_input(webtalvisca9mod, TALVISCA_SEQ), "");
  EXPECT_FALSE(testutil::exists(EVALUATOR_REPORT));
  write_file(EVALUATOR_REPORT, std::string(10000, '#'));  // an old, longer report
  write_file(TALVISCA_SEQ, "120\n" + back_translate(WORKED_EXAMPLE) + "\n9\nATGAAATAG\n18\nATGXXXXXXXXXXXXXXX\n" +
                               "18\nATGTAAAAAAAAAAAAAA\n16\nATGAAAGGGTTTCCCA\n90");
  testing::internal::CaptureStdout();
  EXPECT_EQ(webtalvisca9mod(), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  // The report is standard output, its banner and closing counts, with the
  // candidates' entries in between.
  const std::string report = read_file(EVALUATOR_REPORT);
  const auto at = std::mismatch(out.begin(), out.end(), report.begin(), report.end()).first;
  EXPECT_EQ(report, std::string(out.begin(), at) + analyzing(1, 40, "The Query Sequence is likely to code for a Protein") +
                        analyzing(4, 6, " The Query Sequence contains stop codons ") +
                        analyzing(5, 5, " The Query Sequence is not a Protein ") + "\n" + std::string(at, out.end()));
  // files, short proteins, skipped for stops, skipped, analyzed, proteins
  std::vector<long> counts;
  for (size_t at = out.find('='); at != std::string::npos; at = out.find('=', at + 1))
    counts.push_back(std::strtol(out.c_str() + at + 1, nullptr, 10));
  EXPECT_EQ(counts, (std::vector<long>{4, 1, 1, 2, 2, 1}));
  EXPECT_EQ(read_file(PROS), ">        40         0       120         1\n" + WORKED_EXAMPLE +
                                 "\n>         1         5        18         3\nM\n>         6         0        18         4\n"
                                 "MZKKKK\n>         5         0        15         5\nMKGFP\n>TER\n");
}
