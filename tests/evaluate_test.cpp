// Scoring rules of tools/evaluate and tools/train_tables.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "../tools/scoring.h"

namespace {

using codonspace::scoring::Gene;
using codonspace::scoring::Score;

TEST(Scoring, PairsBecomeGenesByDirection) {
  struct Case {
    long b1, b2;
    bool ok;
    Gene want;
  };
  const Case cases[] = {
      {10, 99, true, {10, 99, '+'}},
      {99, 10, true, {10, 99, '-'}},  // complementary: b1 is the start, the higher position
      {7, 7, false, {}},
  };
  for (const Case& c : cases) {
    Gene g;
    ASSERT_EQ(codonspace::scoring::gene_from_pair(c.b1, c.b2, g), c.ok) << c.b1 << " " << c.b2;
    if (!c.ok) continue;
    EXPECT_EQ(g.start, c.want.start);
    EXPECT_EQ(g.end, c.want.end);
    EXPECT_EQ(g.strand, c.want.strand);
  }
}

TEST(Scoring, ReferenceLines) {
  std::string seqid;
  Gene g;
  ASSERT_TRUE(codonspace::scoring::parse_reference_line("1321\t1593\t-", seqid, g));
  EXPECT_EQ(seqid, "");
  EXPECT_EQ(g.start, 1321);
  EXPECT_EQ(g.end, 1593);
  EXPECT_EQ(g.strand, '-');
  ASSERT_TRUE(codonspace::scoring::parse_reference_line("NZ_1.1 50 259 +\r", seqid, g));
  EXPECT_EQ(seqid, "NZ_1.1");
  EXPECT_EQ(g.start, 50);
  EXPECT_EQ(g.strand, '+');
  EXPECT_FALSE(codonspace::scoring::parse_reference_line("", seqid, g));
  EXPECT_FALSE(codonspace::scoring::parse_reference_line("# comment", seqid, g));
  for (const char* bad : {"1 2", "1 2 x", "a 2 +", "9 2 +", "0 2 +", "s 1 2 3 +"})
    EXPECT_THROW(codonspace::scoring::parse_reference_line(bad, seqid, g), std::runtime_error) << bad;
}

TEST(Scoring, ThreePrimeMatchesAndStarts) {
  const std::vector<Gene> ref = {{100, 399, '+'}, {500, 799, '-'}, {900, 1199, '+'}, {1300, 1599, '-'}};
  const std::vector<Gene> pred = {
      {100, 399, '+'},   // exact
      {130, 399, '+'},   // same stop, other start: 3' match, wrong start
      {500, 820, '-'},   // '-' stop is the start coordinate: match, wrong start
      {1300, 1599, '+'}, // right coordinates, wrong strand: no match
      {2000, 2299, '+'}, // nothing there
  };
  const Score s = codonspace::scoring::score(ref, pred);
  EXPECT_EQ(s.reference, 4);
  EXPECT_EQ(s.predicted, 5);
  EXPECT_EQ(s.matched_reference, 2);
  EXPECT_EQ(s.matched_predicted, 3);
  EXPECT_EQ(s.start_correct, 1);
  EXPECT_DOUBLE_EQ(s.sensitivity(), 0.5);
  EXPECT_DOUBLE_EQ(s.precision(), 0.6);
  EXPECT_DOUBLE_EQ(s.f1(), 2 * 0.5 * 0.6 / 1.1);
  EXPECT_DOUBLE_EQ(s.start_accuracy(), 1.0 / 3.0);
}

TEST(Scoring, EmptySetsScoreZeroAndSumsAdd) {
  Score none = codonspace::scoring::score({}, {});
  EXPECT_EQ(none.f1(), 0.0);
  EXPECT_EQ(none.precision(), 0.0);
  Score a = codonspace::scoring::score({{1, 300, '+'}}, {});
  const Score b = codonspace::scoring::score({}, {{1, 300, '+'}});
  a += b;  // records are scored separately: no cross-record match
  EXPECT_EQ(a.reference, 1);
  EXPECT_EQ(a.predicted, 1);
  EXPECT_EQ(a.matched_reference, 0);
  EXPECT_EQ(a.f1(), 0.0);
}

}  // namespace
