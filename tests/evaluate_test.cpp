// Scoring rules of tools/evaluate and tools/train_tables.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "../tools/scoring.h"

namespace {

using codonspace::scoring::Gene;
using codonspace::scoring::GffLine;
using codonspace::scoring::RecordGenes;
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

TEST(Scoring, GffLines) {
  struct Case {
    const char* line;
    GffLine kind;
    const char* seqid;
    Gene gene;
  };
  const Case cases[] = {
      // Prodigal's layout: the stop of a '-' gene is its start column.
      {"NC_1.1\tProdigal_v2.6.3\tCDS\t337\t2799\t12.5\t+\t0\tID=1_1;partial=00\n", GffLine::Cds, "NC_1.1",
       {337, 2799, '+'}},
      {"contig 7\tglimmer\tCDS\t10\t309\t.\t-\t0\t.\r\n", GffLine::Cds, "contig 7", {10, 309, '-'}},
      {"c\tsrc\tCDS\t1\t3\t.\t+\t0", GffLine::Cds, "c", {1, 3, '+'}},  // eight columns are enough
      {"c\tsrc\tgene\t10\t309\t.\t+\t.\tID=g1", GffLine::Skip, "", {}},
      {"c\tsrc\ttRNA\t10\t9\t.\t?\t.\t.", GffLine::Skip, "", {}},  // not a CDS: not checked further
      {"##gff-version 3", GffLine::Skip, "", {}},
      {"# Sequence Data: seqnum=1;seqlen=5386", GffLine::Skip, "", {}},
      {"", GffLine::Skip, "", {}},
      {" \t\n", GffLine::Skip, "", {}},
      {"##FASTA\n", GffLine::FastaStart, "", {}},
  };
  for (const Case& c : cases) {
    std::string seqid;
    Gene g;
    ASSERT_EQ(codonspace::scoring::parse_gff_line(c.line, seqid, g), c.kind) << c.line;
    if (c.kind != GffLine::Cds) continue;
    EXPECT_EQ(seqid, c.seqid);
    EXPECT_EQ(g.start, c.gene.start) << c.line;
    EXPECT_EQ(g.end, c.gene.end) << c.line;
    EXPECT_EQ(g.strand, c.gene.strand) << c.line;
  }
  for (const char* bad : {
           "c src CDS 1 300 . + 0 .",                // blanks, not tabs
           "c\tsrc\tCDS\t1\t300\t.\t+",             // seven columns
           "c\tsrc\tCDS\t0\t300\t.\t+\t0\t.",       // coordinates are 1-based
           "c\tsrc\tCDS\t1\t3x0\t.\t+\t0\t.",
           "c\tsrc\tCDS\t\t300\t.\t+\t0\t.",
           "c\tsrc\tCDS\t400\t300\t.\t+\t0\t.",     // start after end
           "c\tsrc\tCDS\t1\t300\t.\t.\t0\t.",       // a CDS needs a strand
           "\tsrc\tCDS\t1\t300\t.\t+\t0\t.",        // and a seqid
       }) {
    std::string seqid;
    Gene g;
    EXPECT_THROW(codonspace::scoring::parse_gff_line(bad, seqid, g), std::runtime_error) << bad;
  }
}

TEST(Scoring, RecordsAreScoredSeparatelyAndSummed) {
  const RecordGenes ref = {
      {"a", {{100, 399, '+'}, {500, 799, '-'}}},
      {"b", {{100, 399, '+'}}},
      {"c", {{1, 300, '+'}}},  // no predictions on this record
  };
  const RecordGenes pred = {
      {"a", {{100, 399, '+'}, {500, 820, '-'}}},  // two 3' matches, one start right
      {"b", {{500, 799, '-'}}},                   // a's stop key, but on record b: no match
      {"d", {{1, 300, '+'}}},                     // c's coordinates on a record without reference
  };
  const Score s = codonspace::scoring::score_records(ref, pred);
  EXPECT_EQ(s.reference, 4);
  EXPECT_EQ(s.predicted, 4);
  EXPECT_EQ(s.matched_reference, 2);
  EXPECT_EQ(s.matched_predicted, 2);
  EXPECT_EQ(s.start_correct, 1);
  EXPECT_EQ(codonspace::scoring::score_records(ref, {}).reference, 4);
  EXPECT_EQ(codonspace::scoring::score_records({}, pred).predicted, 4);
}

TEST(Scoring, UnnamedRecordPairsWithTheOnlyRecord) {
  const std::vector<Gene> genes = {{100, 399, '+'}, {500, 799, '-'}};
  const std::vector<Gene> found = {{100, 399, '+'}};
  struct Case {
    RecordGenes ref, pred;
    long matched;  // -1: the pairing is ambiguous and throws
  };
  const Case cases[] = {
      {{{"", genes}}, {{"NC_1.1", found}}, 1},              // three-column reference, GFF predictions
      {{{"NC_1.1", genes}}, {{"", found}}, 1},              // --seqid style: one run's result files
      {{{"", genes}}, {{"", found}}, 1},
      {{{"", genes}}, {{"x", found}, {"y", found}}, -1},
      {{{"x", genes}, {"y", genes}}, {{"", found}}, -1},
      {{{"x", genes}}, {{"y", found}}, 0},                  // two named records never pair
  };
  for (const Case& c : cases) {
    if (c.matched < 0) {
      EXPECT_THROW(codonspace::scoring::score_records(c.ref, c.pred), std::runtime_error);
      continue;
    }
    const Score s = codonspace::scoring::score_records(c.ref, c.pred);
    EXPECT_EQ(s.matched_reference, c.matched);
    EXPECT_EQ(s.reference, 2);
    EXPECT_EQ(s.predicted, 1);
  }
}

}  // namespace
