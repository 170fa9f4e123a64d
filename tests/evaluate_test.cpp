// Scoring rules of tools/evaluate and tools/train_tables.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "../tools/scoring.h"

namespace {

namespace sc = codonspace::scoring;
using sc::Gene;
using sc::GffLine;
using sc::Score;

// "seqid start end strand" of a parsed line.
std::string text(const std::string& seqid, const Gene& g) {
  return seqid + " " + std::to_string(g.start) + " " + std::to_string(g.end) + " " + g.strand;
}

// reference, predicted, matched reference, matched predicted, correct starts
std::vector<long> counts(const Score& s) {
  return {s.reference, s.predicted, s.matched_reference, s.matched_predicted, s.start_correct};
}

TEST(Scoring, PairsReferenceLinesAndGffLines) {
  Gene g;
  ASSERT_TRUE(sc::gene_from_pair(10, 99, g));
  EXPECT_EQ(text("", g), " 10 99 +");
  ASSERT_TRUE(sc::gene_from_pair(99, 10, g));  // complementary: b1 is the start, the higher position
  EXPECT_EQ(text("", g), " 10 99 -");
  EXPECT_FALSE(sc::gene_from_pair(7, 7, g));

  std::string seqid;
  const std::vector<std::pair<std::string, std::string>> lines = {
      {"1321\t1593\t-", " 1321 1593 -"}, {"NZ_1.1 50 259 +\r", "NZ_1.1 50 259 +"}, {"", ""}, {"# comment", ""}};
  for (const auto& [line, want] : lines) {
    ASSERT_EQ(sc::parse_reference_line(line, seqid, g), !want.empty()) << line;
    if (!want.empty()) { EXPECT_EQ(text(seqid, g), want); }
  }
  for (const char* bad : {"1 2", "a 2 +", "9 2 +", "s 1 2 3 +"})
    EXPECT_THROW(sc::parse_reference_line(bad, seqid, g), std::runtime_error) << bad;

  const std::vector<std::tuple<std::string, GffLine, std::string>> cases = {
      {"NC_1.1\tsrc_v2.6.3\tCDS\t337\t2799\t12.5\t+\t0\tID=1_1;partial=00\n", GffLine::Cds, "NC_1.1 337 2799 +"},
      {"contig 7\tother\tCDS\t10\t309\t.\t-\t0\t.\r\n", GffLine::Cds, "contig 7 10 309 -"},
      {"c\tsrc\tgene\t10\t309\t.\t+\t.\tID=g1", GffLine::Skip, ""},
      {"# Sequence Data: seqnum=1;seqlen=5386", GffLine::Skip, ""},
      {"##FASTA\n", GffLine::FastaStart, ""},
  };
  for (const auto& [line, kind, want] : cases) {
    std::string seqid;
    ASSERT_EQ(sc::parse_gff_line(line, seqid, g), kind) << line;
    if (kind == GffLine::Cds) { EXPECT_EQ(text(seqid, g), want); }
  }
  for (const char* bad : {
           "c src CDS 1 300 . + 0 .",          // blanks, not tabs
           "c\tsrc\tCDS\t0\t300\t.\t+\t0\t.",  // coordinates are 1-based
           "c\tsrc\tCDS\t400\t300\t.\t+\t0\t.",
           "c\tsrc\tCDS\t1\t300\t.\t.\t0\t.",  // a CDS needs a strand
       }) {
    std::string seqid;
    EXPECT_THROW(sc::parse_gff_line(bad, seqid, g), std::runtime_error) << bad;
  }
}

TEST(Scoring, ThreePrimeMatchesAndStarts) {
  const Score s = sc::score({{100, 399, '+'}, {500, 799, '-'}, {900, 1199, '+'}, {1300, 1599, '-'}},
                            {
                                {100, 399, '+'},    // exact
                                {130, 399, '+'},    // same stop, other start: 3' match, wrong start
                                {500, 820, '-'},    // '-' stop is the start coordinate: match, wrong start
                                {1300, 1599, '+'},  // right coordinates, wrong strand: no match
                                {2000, 2299, '+'},  // nothing there
                            });
  EXPECT_EQ(counts(s), (std::vector<long>{4, 5, 2, 3, 1}));
  EXPECT_DOUBLE_EQ(s.sensitivity(), 0.5);
  EXPECT_DOUBLE_EQ(s.precision(), 0.6);
  EXPECT_DOUBLE_EQ(s.f1(), 2 * 0.5 * 0.6 / 1.1);
  EXPECT_DOUBLE_EQ(s.start_accuracy(), 1.0 / 3.0);
  EXPECT_EQ(sc::score({}, {}).f1(), 0.0);
}

// A prediction matches only within its own record; an unnamed record pairs
// with the other side's record when that is the only one.
TEST(Scoring, RecordsAreScoredSeparatelyAndSummed) {
  const std::vector<Gene> genes = {{100, 399, '+'}, {500, 799, '-'}}, found = {{100, 399, '+'}};
  const sc::RecordGenes ref = {{"a", genes}, {"b", {{100, 399, '+'}}}, {"c", {{1, 300, '+'}}}};
  const sc::RecordGenes pred = {
      {"a", {{100, 399, '+'}, {500, 820, '-'}}},  // two 3' matches, one start right
      {"b", {{500, 799, '-'}}},                   // a's stop key, but on record b: no match
      {"d", {{1, 300, '+'}}},                     // c's coordinates on a record without reference
  };
  struct Case {
    sc::RecordGenes ref, pred;
    std::vector<long> counts;  // empty: the pairing is ambiguous and throws
  };
  const std::vector<Case> cases = {
      {ref, pred, {4, 4, 2, 2, 1}},
      {{{"", genes}}, {{"NC_1.1", found}}, {2, 1, 1, 1, 1}},  // three-column reference, GFF predictions
      {{{"NC_1.1", genes}}, {{"", found}}, {2, 1, 1, 1, 1}},  // one run's result files
      {{{"x", genes}}, {{"y", found}}, {2, 1, 0, 0, 0}},  // two named records never pair
      {{{"", genes}}, {{"x", found}, {"y", found}}, {}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    if (cases[i].counts.empty())
      EXPECT_THROW(sc::score_records(cases[i].ref, cases[i].pred), std::runtime_error) << "case " << i;
    else
      EXPECT_EQ(counts(sc::score_records(cases[i].ref, cases[i].pred)), cases[i].counts) << "case " << i;
  }
}

// --seqid: the reference's record alone against the predictions of that
// record, named or unnamed; no other record's genes count on either side.
TEST(Scoring, OneRecordOfSeveral) {
  const std::vector<Gene> a = {{100, 399, '+'}, {500, 799, '-'}}, b = {{1, 300, '+'}};
  struct Case {
    sc::RecordGenes pred;
    std::vector<long> counts;
  };
  const std::vector<Case> cases = {
      {{{"a", a}, {"b", b}}, {2, 2, 2, 2, 2}},
      {{{"", a}}, {2, 2, 2, 2, 2}},                             // one run's result files
      {{{"", {a[0]}}, {"a", {a[1]}}, {"b", a}}, {2, 2, 2, 2, 2}},  // both kinds at once
      {{{"b", a}}, {2, 0, 0, 0, 0}},
      {{}, {2, 0, 0, 0, 0}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    sc::RecordGenes ref = {{"a", a}, {"b", b}}, pred = cases[i].pred;
    sc::keep_record(ref, pred, "a");
    EXPECT_EQ(counts(sc::score_records(ref, pred)), cases[i].counts) << "case " << i;
  }
  sc::RecordGenes ref = {{"b", b}}, pred = {{"", b}};
  sc::keep_record(ref, pred, "a");  // a record the reference does not hold: its predictions all count
  EXPECT_EQ(counts(sc::score_records(ref, pred)), (std::vector<long>{0, 1, 0, 0, 0}));
}

// The trainer's intercept: the smallest grid shift that predicts exactly
// the stops of reference CDS, added to the stop codons' weights (one per ORF)
// so that those stops' ORFs then score above zero and the others below.
TEST(Scoring, InterceptSeparatesTheStopsOfGenes) {
  struct Case {
    std::vector<sc::StopScore> stops;
    double shift;
  };
  const std::vector<Case> cases = {
      {{{-0.52, 1}, {-0.31, 2}, {-2.0, 0}, {-1.0, 0}, {-0.9, 0}}, 0.55},
      {{{3.0, 1}, {2.5, 1}, {1.0, 0}, {0.5, 0}}, -2.45},
  };
  const std::vector<int> stop_codons = {3, 7};
  for (const Case& c : cases) {
    std::vector<double> w(10, 0.25);
    long refs = 0;
    for (const sc::StopScore& s : c.stops) refs += s.refs;
    const sc::Intercept got = sc::add_best_intercept(c.stops, refs, stop_codons, w);
    EXPECT_NEAR(got.shift, c.shift, 1e-9);
    EXPECT_EQ(got.f1, 1.0);
    for (size_t i = 0; i < w.size(); ++i) {
      const bool stop = i == 3 || i == 7;
      EXPECT_NEAR(w[i], stop ? 0.25 + c.shift : 0.25, 1e-9) << i;
    }
    // An ORF's score with the new weights: its other codons' share plus one stop codon.
    for (const sc::StopScore& s : c.stops) EXPECT_EQ(s.best - 0.25 + w[7] > 0, s.refs > 0) << s.best;
  }
}

}  // namespace
