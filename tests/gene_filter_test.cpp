// The decision rules applied to a record's calls: the overlap rule, and the
// rescue (short genes called, random ORFs not; only whole, weaker calls
// replaced; the length score; the same candidates on any number of threads).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "annotate/gene_calls.h"
#include "annotate/gene_filter.h"
#include "annotate/start_model.h"
#include "test_util.h"

using namespace codonspace;
using namespace codonspace::annotate;

namespace {

GeneCall call(long start, long end, char strand, double coding, bool partial = false) {
  GeneCall c;
  c.gene = Gene{start, end, strand};
  c.gene.open_left = partial;
  c.coding_score = coding;
  c.start_type = partial ? "Edge" : "ATG";
  return c;
}

// The calls' places, without their partial flags.
std::vector<Gene> genes_of(const std::vector<GeneCall>& calls) {
  std::vector<Gene> out;
  for (const GeneCall& c : calls) out.push_back(Gene{c.gene.start, c.gene.end, c.gene.strand});
  return out;
}

}  // namespace

TEST(GeneFilterTest, OverlapRuleKeepsTheBetterScoredCall) {
  struct Case {
    const char* what;
    std::vector<GeneCall> calls;
    std::vector<Gene> kept;  // in the calls' order
  } cases[] = {
      {"heavy overlap on the other strand: the lower coding score goes",
       {call(1000, 1299, '+', 5), call(1030, 1329, '-', 9)},
       {{1030, 1329, '-'}}},
      {"the same, the better one first",
       {call(1030, 1329, '-', 9), call(1000, 1299, '+', 5)},
       {{1030, 1329, '-'}}},
      {"a short gene inside a long one: the long one wins by score",
       {call(1000, 2199, '+', 40), call(1201, 1500, '-', 3)},
       {{1000, 2199, '+'}}},
      {"the short one inside wins when it scores higher",
       {call(1000, 2199, '+', 2), call(1201, 1500, '-', 3)},
       {{1201, 1500, '-'}}},
      {"200 of 300 bases shared: less than three quarters, both kept",
       {call(1000, 1299, '+', 5), call(1100, 1399, '-', 9)},
       {{1000, 1299, '+'}, {1100, 1399, '-'}}},
      {"60 bases shared by short genes: not more than 60, both kept",
       {call(1, 75, '+', 5), call(16, 90, '-', 9)},
       {{1, 75, '+'}, {16, 90, '-'}}},
      {"a partial call is neither removed nor removes",
       {call(1, 300, '+', -5, true), call(10, 300, '-', 9), call(2000, 2299, '+', 1)},
       {{1, 300, '+'}, {10, 300, '-'}, {2000, 2299, '+'}}},
      {"head to head, 200 of 300 bases shared: more than 0.6 of the shorter, the lower coding score goes",
       {call(1100, 1399, '+', 5), call(1000, 1299, '-', 9)},
       {{1000, 1299, '-'}}},
      {"head to head, 170 of 300 bases shared: both kept",
       {call(1130, 1429, '+', 5), call(1000, 1299, '-', 9)},
       {{1130, 1429, '+'}, {1000, 1299, '-'}}},
      {"a chain: the middle call goes, so the third stays",
       {call(1000, 1299, '+', 10), call(1040, 1339, '-', 5), call(1100, 1399, '+', 1)},
       {{1000, 1299, '+'}, {1100, 1399, '+'}}},
  };
  for (Case& c : cases) {
    resolve_overlaps(c.calls);
    EXPECT_EQ(genes_of(c.calls), c.kept) << c.what;
    // The kept calls keep what the start model said of them.
    for (const GeneCall& k : c.calls) EXPECT_EQ(k.start_type, k.gene.open_left ? "Edge" : "ATG") << c.what;
  }
}

TEST(GeneFilterTest, RescuesAPlantedShortGeneButNotARandomOrf) {
  testutil::PlantedGenome genome(7, 160000);
  std::vector<Gene> called;
  // Sixty genes of 600 to 900 bases, both strands, 2 kb apart.
  for (int i = 0; i < 60; ++i) {
    const long at = 1000 + 2000L * i;
    called.push_back(genome.plant(i % 2 == 0 ? at : at + 900, 200 + 50 * (i % 3), i % 2 == 0 ? '+' : '-', true));
  }
  // Between them: a short gene (180 bases) of the genes' codon usage and a
  // random ORF of the same length, neither called by the method.
  const Gene short_gene = genome.plant(124000, 60, '+', true);
  const Gene short_reverse = genome.plant(128800, 60, '-', true);
  const Gene random_orf = genome.plant(132000, 60, '+', false);
  const std::string& seq = genome.seq;

  StartModelOptions o;
  o.start_codons = {"ATG", "GTG", "TTG"};
  o.min_length = 152;
  const StartModel model = StartModel::train({&seq}, {called}, o);
  ASSERT_TRUE(model.trained());
  auto call_of = [&](const Gene& g) { return choose_call(model, o, seq, g); };
  std::vector<GeneCall> calls;
  for (const Gene& g : called) calls.push_back(call_of(g));
  PredictOptions predict;
  predict.min_length = 152;
  predict.start_codons = o.start_codons;
  filter_calls(seq, calls, predict, call_of);

  auto called_at_stop = [&calls](const Gene& g) {
    return std::any_of(calls.begin(), calls.end(), [&g](const GeneCall& c) {
      return c.gene.strand == g.strand && (g.strand == '+' ? c.gene.end == g.end : c.gene.start == g.start);
    });
  };
  EXPECT_TRUE(called_at_stop(short_gene));
  EXPECT_TRUE(called_at_stop(short_reverse));
  EXPECT_FALSE(called_at_stop(random_orf));
  // Every called gene stays; nothing else from the random background is
  // rescued: the shadows of the genes overlap them, the background ORFs do
  // not look like genes.
  for (const Gene& g : called) EXPECT_TRUE(called_at_stop(g)) << g.start;
  EXPECT_EQ(calls.size(), called.size() + 2);
}

// A candidate overlapping a call by more than 60 bases is taken in its place
// only when it scores above the replacement limit (5) and above the call, and
// the call is a whole gene; one overlapping by 60 bases or less is taken beside it.
TEST(GeneFilterTest, RescueReplacesOnlyWholeWeakerCalls) {
  struct Case {
    const char* what;
    GeneCall called, candidate;
    std::vector<Gene> kept;  // in the calls' order
  } cases[] = {
      {"a whole, weaker call is replaced", call(1000, 1299, '+', 2), call(1100, 1699, '-', 8), {{1100, 1699, '-'}}},
      {"a partial call is never replaced", call(1000, 1299, '+', 2, true), call(1100, 1699, '-', 8),
       {{1000, 1299, '+'}}},
      {"a call scoring more stays", call(1000, 1299, '+', 9), call(1100, 1699, '-', 8), {{1000, 1299, '+'}}},
      {"a candidate below the limit is not taken", call(1000, 1299, '+', 2), call(1100, 1699, '-', 4),
       {{1000, 1299, '+'}}},
      {"60 bases shared: taken beside it", call(1000, 1299, '+', 9), call(1240, 1699, '-', 1),
       {{1000, 1299, '+'}, {1240, 1699, '-'}}},
  };
  for (const Case& c : cases) {
    std::vector<GeneCall> calls = {c.called};
    take_rescued(calls, {c.candidate}, LengthScore());
    EXPECT_EQ(genes_of(calls), c.kept) << c.what;
  }
}

// Fitted where the called genes are long and the candidates short, the
// length score favours long lengths; unfitted or fitted on nothing it is 0.
// Partial calls are no data for it.
TEST(GeneFilterTest, LengthScoreFavoursTheLengthsOfTheCalledGenes) {
  std::vector<GeneCall> called, candidates;
  for (long k = 0; k < 200; ++k) {
    called.push_back(call(1, 900 + 3 * k, '+', 5));
    candidates.push_back(call(1, 150 + 3 * (k % 50), '+', 0));
  }
  called.push_back(call(1, 60, '+', 5, true));
  std::vector<long> gene_lengths, candidate_lengths;
  add_lengths(called, candidates, gene_lengths, candidate_lengths);
  EXPECT_EQ(gene_lengths.size(), 200u);
  const LengthScore fitted(gene_lengths, candidate_lengths);
  EXPECT_GT(fitted(1200), 0);
  EXPECT_LT(fitted(200), 0);
  EXPECT_GT(fitted(5000), fitted(200));
  for (long length : {60L, 200L, 1200L, 100000L}) {
    EXPECT_EQ(LengthScore()(length), 0) << length;
    EXPECT_EQ(LengthScore({}, {})(length), 0) << length;
  }
}

// The rescue's candidates, scored on one thread and on two, are the same
// calls in the same order (many blocks of them), and so is what it takes.
TEST(GeneFilterTest, RescueCandidatesAreTheSameOnAnyNumberOfThreads) {
  const std::string seq = testutil::random_bases(300000, 9);
  PredictOptions predict;
  predict.min_length = 90;
  predict.start_codons = {"ATG", "GTG", "TTG"};
  const std::vector<Gene> orfs = longest_orfs(seq, predict);
  std::vector<Gene> called;
  for (size_t i = 0; i < orfs.size(); i += 7) called.push_back(orfs[i]);
  // A score of the place alone, spread around the thresholds.
  auto call_of = [](const Gene& g) {
    return call(g.start, g.end, g.strand, static_cast<double>((g.start * 7 + g.end) % 23) - 8);
  };
  const std::vector<GeneCall> one = rescue_candidates(orfs, called, call_of, 1);
  ASSERT_EQ(one.size(), orfs.size() - called.size());
  ASSERT_GT(one.size(), 2000u);
  std::vector<GeneCall> taken_one, taken_two;
  take_rescued(taken_one, one, LengthScore());
  const std::vector<GeneCall> two = rescue_candidates(orfs, called, call_of, 2);
  EXPECT_EQ(genes_of(two), genes_of(one));
  take_rescued(taken_two, two, LengthScore());
  EXPECT_EQ(genes_of(taken_two), genes_of(taken_one));
  EXPECT_GT(taken_one.size(), 100u);
}

TEST(GeneFilterTest, ExtendStartsMovesAStartUpstreamOnlyWhenTheModelDoes) {
  // call_of stands for the start model: given an ORF it keeps the stop and
  // puts the start `offset` bases downstream of the ORF's start.
  struct Case {
    const char* what;
    GeneCall call;   // the call as made on the method's gene
    Gene method;     // the method's gene (the same stop)
    Gene orf;        // the stop's longest ORF
    long offset;     // where the model puts the start within the ORF
    Gene expected;   // the call's gene afterwards
    int asked;       // how often the model is asked
  } cases[] = {
      {"+ strand, the model chooses upstream of the method's start", call(1300, 1599, '+', 1), {1300, 1599, '+'},
       {1000, 1599, '+'}, 90, {1090, 1599, '+'}, 1},
      {"+ strand, the model's choice on the ORF lies downstream of the call: kept", call(1300, 1599, '+', 1),
       {1210, 1599, '+'}, {1000, 1599, '+'}, 330, {1300, 1599, '+'}, 1},
      {"+ strand, the same start: kept", call(1300, 1599, '+', 1), {1210, 1599, '+'}, {1000, 1599, '+'}, 300,
       {1300, 1599, '+'}, 1},
      {"- strand, the model chooses upstream (to the right)", call(1000, 1299, '-', 1), {1000, 1299, '-'},
       {1000, 1599, '-'}, 90, {1000, 1509, '-'}, 1},
      {"the method's gene is the longest ORF: the model is not asked", call(1300, 1599, '+', 1), {1000, 1599, '+'},
       {1000, 1599, '+'}, 0, {1300, 1599, '+'}, 0},
      {"a partial call is left alone", call(1300, 1599, '+', 1, true), {1300, 1599, '+'}, {1000, 1599, '+'}, 0,
       {1300, 1599, '+'}, 0},
      {"no ORF of that stop: left alone", call(1300, 1599, '+', 1), {1300, 1599, '+'}, {1000, 1602, '+'}, 0,
       {1300, 1599, '+'}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int asked = 0;
    auto call_of = [&](const Gene& orf) {
      ++asked;
      GeneCall out = call(orf.start, orf.end, orf.strand, 2);
      if (orf.strand == '+')
        out.gene.start += c.offset;
      else
        out.gene.end -= c.offset;
      return out;
    };
    std::vector<GeneCall> calls = {c.call, call(3000, 3299, '-', 4)};
    const std::vector<Gene> method = {c.method, Gene{3000, 3299, '-'}};
    const std::vector<Gene> orfs = {c.orf, Gene{3000, 3599, '-'}};
    extend_starts(calls, method, orfs, call_of);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(genes_of(calls)[0], c.expected);
    // The other call's ORF reaches upstream too, but the model's choice
    // (offset bases into it) is kept only when upstream of the call.
    EXPECT_EQ(genes_of(calls)[1], (c.offset < 300 ? Gene{3000, 3599 - c.offset, '-'} : Gene{3000, 3299, '-'}));
    EXPECT_EQ(asked, c.asked + 1);
  }
}

// A candidate sharing more than 30 bases with a call head to head (opposite
// strands, each start inside the other gene) is not rescued; the same
// overlap at the genes' 3' ends, or on the same strand, is allowed up to 60.
TEST(GeneFilterTest, RescueKeepsOutHeadToHeadOverlaps) {
  struct Case {
    const char* what;
    GeneCall candidate;
    bool taken;
  } cases[] = {
      {"head to head by 45 bases", call(1645, 2044, '-', 1), false},
      {"head to head by 30 bases", call(1630, 2029, '-', 1), true},
      {"3' ends overlapping by 45 bases", call(2555, 2954, '-', 1), true},
      {"same strand, 45 bases", call(1645, 2044, '+', 1), true},
      {"no overlap", call(1000, 1299, '-', 1), true},
  };
  for (const Case& c : cases) {
    std::vector<GeneCall> calls = {call(2000, 2599, '+', 9)};
    take_rescued(calls, {c.candidate}, LengthScore());
    EXPECT_EQ(calls.size(), c.taken ? 2u : 1u) << c.what;
  }
}

// The frame margin: the gene's coding score less the best of the five other
// frames over its bases, the spans that would run off the record's end
// moved three bases back.
TEST(GeneFilterTest, FrameMarginComparesTheOtherFiveFrames) {
  struct Case {
    const char* what;
    Gene gene;
    long length;                // the record's
    std::vector<Gene> scored;   // the frames the coding score sees
    double expected;
  } cases[] = {
      {"+ gene; the best other frame is on the other strand, shifted by 2", {101, 400, '+'}, 1000,
       {{102, 401, '+'}, {103, 402, '+'}, {101, 400, '-'}, {102, 401, '-'}, {103, 402, '-'}}, 10 - 5},
      {"- gene at the record's end: the spans shifted back", {701, 1000, '-'}, 1000,
       {{699, 998, '-'}, {700, 999, '-'}, {701, 1000, '+'}, {699, 998, '+'}, {700, 999, '+'}}, 10 - 5},
  };
  for (const Case& c : cases) {
    std::vector<Gene> seen;
    auto coding = [&](const Gene& g) {
      if (g.start == c.gene.start && g.end == c.gene.end && g.strand == c.gene.strand) return 10.0;
      seen.push_back(g);
      // The other frames score 1, 2, 3, 4, 5 in the order the list gives them.
      for (size_t k = 0; k < c.scored.size(); ++k)
        if (g.start == c.scored[k].start && g.end == c.scored[k].end && g.strand == c.scored[k].strand)
          return static_cast<double>(k + 1);
      return 100.0;  // a frame that should not have been scored
    };
    EXPECT_DOUBLE_EQ(frame_margin(c.gene, c.length, coding), c.expected) << c.what;
    std::vector<Gene> expected_seen = c.scored;
    auto key = [](const Gene& g) { return std::make_tuple(g.strand, g.start, g.end); };
    std::sort(seen.begin(), seen.end(), [&](const Gene& a, const Gene& b) { return key(a) < key(b); });
    std::sort(expected_seen.begin(), expected_seen.end(), [&](const Gene& a, const Gene& b) { return key(a) < key(b); });
    EXPECT_EQ(seen, expected_seen) << c.what;
  }
}

// A whole call scoring far below the drop limit is removed unless its frame
// beats the other five by more than the keep margin; partial calls and
// well-scored calls stay.
TEST(GeneFilterTest, DropsWeakCallsThatDoNotWinTheirFrame) {
  const std::string seq = testutil::random_bases(20000, 5);
  const GeneCall weak = call(1000, 1299, '+', -100), weak_framed = call(5000, 5299, '-', -100),
                 weak_partial = call(1, 300, '+', -100, true), strong = call(9000, 9299, '+', 100);
  const std::vector<GeneCall> made = {weak, weak_framed, weak_partial, strong};
  std::vector<GeneCall> calls = made;
  // Over weak_framed's bases the other frames score -200, elsewhere 0.
  auto coding_of = [&](const Gene& g) {
    for (const GeneCall& c : made)
      if (c.gene.start == g.start && c.gene.end == g.end && c.gene.strand == g.strand) return c.coding_score;
    return overlap_bases(g, weak_framed.gene) > 0 ? -200.0 : 0.0;
  };
  // Nothing is rescued: every candidate scores -100.
  auto call_of = [](const Gene& g) { return call(g.start, g.end, g.strand, -100); };
  PredictOptions predict;
  predict.min_length = 152;
  predict.start_codons = {"ATG", "GTG", "TTG"};
  GeneFilterRules rules;
  rules.longest_starts = false;
  filter_calls(seq, calls, predict, call_of, rules, coding_of);
  EXPECT_EQ(genes_of(calls), genes_of({weak_framed, weak_partial, strong}));
  // Without the coding score no call is dropped.
  std::vector<GeneCall> kept = made;
  filter_calls(seq, kept, predict, call_of, rules);
  EXPECT_EQ(kept.size(), 4u);
}

// A call whose 5' end lies more than 48 bases inside the call before it on
// its strand is called again from the first start codon that clears the
// limit (the model then chooses from there down); otherwise it is kept.
TEST(GeneFilterTest, StartsDeepInsideTheUpstreamNeighbourMoveDown) {
  // No start codon but those placed: on '+' an ATG at 1246 (54 bases inside
  // the neighbour ending at 1299), a GTG at 1258 and an ATG at 1270; on '-'
  // (read leftwards) an ATG ending at 1757 and a TTG ending at 1745, 58 and
  // 46 bases inside a neighbour beginning at 1700.
  std::string seq(3000, 'C');
  auto place = [&seq](long first, const char* bases) { seq.replace(static_cast<size_t>(first - 1), 3, bases); };
  place(1246, "ATG");
  place(1258, "GTG");
  place(1270, "ATG");
  place(1755, "CAT");
  place(1743, "CAA");
  struct Case {
    const char* what;
    Gene neighbour, gene;
    int min_length;
    Gene expected;
  } cases[] = {
      {"+, 99 bases inside: the first start clearing 48", {100, 1299, '+'}, {1201, 1800, '+'}, 150, {1258, 1800, '+'}},
      {"+, 48 bases inside: kept", {100, 1299, '+'}, {1252, 1800, '+'}, 150, {1252, 1800, '+'}},
      {"+, no start clearing the limit within the minimum length: kept", {100, 1299, '+'}, {1201, 1800, '+'}, 600,
       {1201, 1800, '+'}},
      {"+, the neighbour on the other strand: kept", {100, 1299, '-'}, {1201, 1800, '+'}, 150, {1201, 1800, '+'}},
      {"+, the other call begins inside the gene: kept", {1210, 1299, '+'}, {1201, 1800, '+'}, 150, {1201, 1800, '+'}},
      {"-, 100 bases inside: the first start clearing 48", {1700, 2900, '-'}, {1200, 1799, '-'}, 150,
       {1200, 1745, '-'}},
      {"-, the neighbour on the other strand: kept", {1700, 2900, '+'}, {1200, 1799, '-'}, 150, {1200, 1799, '-'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PredictOptions predict;
    predict.start_codons = {"ATG", "GTG", "TTG"};
    predict.min_length = c.min_length;
    int asked = 0;
    auto call_of = [&](const Gene& g) {
      ++asked;
      return call(g.start, g.end, g.strand, 7);
    };
    std::vector<GeneCall> calls = {call(c.neighbour.start, c.neighbour.end, c.neighbour.strand, 5),
                                   call(c.gene.start, c.gene.end, c.gene.strand, 3)};
    clear_upstream_overlaps(calls, seq, predict, call_of, 48);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(genes_of(calls)[0], c.neighbour);
    EXPECT_EQ(genes_of(calls)[1], c.expected);
    EXPECT_EQ(asked, c.expected == c.gene ? 0 : 1);
  }
  // A partial call is left alone.
  std::vector<GeneCall> calls = {call(100, 1299, '+', 5), call(1201, 1800, '+', 3, true)};
  clear_upstream_overlaps(calls, seq, PredictOptions{1, 150, {"ATG"}}, [](const Gene&) -> GeneCall {
    ADD_FAILURE() << "a partial call is not called again";
    return {};
  }, 48);
  EXPECT_EQ(genes_of(calls)[1], (Gene{1201, 1800, '+'}));
}
