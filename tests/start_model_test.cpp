// The start model on a synthetic genome: genes whose true start (behind a
// planted ribosome-binding motif) lies downstream of an earlier in-frame
// start codon that opens a non-coding stretch.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "annotate/start_model.h"
#include "io/file_io.h"
#include "test_util.h"

using codonspace::Gene;
using codonspace::annotate::StartChoice;
using codonspace::annotate::StartModel;
using codonspace::annotate::StartModelOptions;

namespace {

constexpr const char* kMotif = "AGGAGG";
constexpr int kSpacer = 7;

bool is_start(const std::string& c) { return c == "ATG" || c == "GTG" || c == "TTG"; }
bool is_stop(const std::string& c) { return c == "TAA" || c == "TAG" || c == "TGA"; }

// A planted gene: where the called gene (the longest ORF) and the true gene
// begin, and where it ends, in genome coordinates.
struct Planted {
  Gene called, truth;
};

// Genes of a codon usage unlike the AT-rich background (a few codons of each
// kind favoured), each behind the motif; a third of them called from a
// decoy: an in-frame start codon some codons before, opening a non-coding
// stretch. Strands alternate.
class SyntheticGenome {
 public:
  SyntheticGenome(unsigned seed, int genes) : rng_(seed) {
    for (int i = 0; i < 64; ++i) weight_[i] = is_stop(codon(i)) ? 0.0 : (i % 7 == 0 || i % 5 == 1) ? 12.0 : 1.0;
    for (double w : weight_) total_ += w;
    for (int i = 0; i < genes; ++i) add_gene(i % 3 == 0, i % 2 == 0 ? '+' : '-');
  }
  std::vector<Gene> called() const {
    std::vector<Gene> out;
    for (const Planted& p : planted) out.push_back(p.called);
    return out;
  }
  std::string seq;
  std::vector<Planted> planted;

 private:
  static std::string codon(int i) { return {"ACGT"[i / 16], "ACGT"[(i / 4) % 4], "ACGT"[i % 4]}; }
  int pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
  std::string bases(size_t n, const char* alphabet) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(alphabet[rng_() % std::char_traits<char>::length(alphabet)]);
    return s;
  }
  std::string coding_codon() {
    double x = static_cast<double>(rng_()) / static_cast<double>(std::mt19937::max()) * total_;
    for (int i = 0; i < 64; ++i)
      if ((x -= weight_[i]) <= 0 && weight_[i] > 0) return codon(i);
    return "GCC";
  }
  std::string noncoding_codon() {
    for (;;) {
      std::string c = bases(3, "AATTTCG");
      if (!is_stop(c) && !is_start(c)) return c;
    }
  }
  // No stop codon in frame before the true start, and no start codon but the decoy.
  static bool clean_before(const std::string& g, size_t start, bool decoy) {
    for (size_t i = decoy ? 3 : 0; i < start; i += 3)
      if (is_stop(g.substr(i, 3)) || is_start(g.substr(i, 3))) return false;
    return true;
  }
  // An intergenic stretch closed by a stop, the gene (motif, spacer, start
  // codon in frame, body, stop), another stretch.
  void add_gene(bool decoy, char strand) {
    std::string unit = bases(40, "AATTTACG") + "TAA", g;
    size_t start = 0;
    do {
      g = decoy ? "ATG" : "";
      if (decoy)
        for (int k = 0, n = 12 + pick(10); k < n; ++k) g += noncoding_codon();
      const size_t motif_at = g.size() + 3 * static_cast<size_t>(pick(2)) + 2;
      g += bases(motif_at - g.size(), "AATTCG");
      g += kMotif;
      g += bases(kSpacer, "AATTTCG");
      start = g.size();
      g += "ATG";
      for (int k = 0, n = 100 + pick(100); k < n; ++k) g += coding_codon();
      g += "TAA";
    } while (start % 3 != 0 || !clean_before(g, start, decoy));
    unit += g;
    const long c1 = 44 + (decoy ? 0 : static_cast<long>(start)), t1 = 44 + static_cast<long>(start);
    const long e = static_cast<long>(unit.size());  // the stop codon's last base
    unit += bases(30, "AATTTACG");
    const long off = static_cast<long>(seq.size()), len = static_cast<long>(unit.size());
    if (strand == '+') {
      seq += unit;
      planted.push_back({{off + c1, off + e, '+'}, {off + t1, off + e, '+'}});
    } else {
      seq += testutil::reverse_complement(unit);
      planted.push_back({{off + len + 1 - e, off + len + 1 - c1, '-'}, {off + len + 1 - e, off + len + 1 - t1, '-'}});
    }
  }

  std::mt19937 rng_;
  double weight_[64] = {}, total_ = 0;
};

StartModel train(const SyntheticGenome& g, const StartModelOptions& options = {}) {
  return StartModel::train({&g.seq}, {g.called()}, options);
}

}  // namespace

// Two genomes where a third of the genes is called from a decoy (about the
// share of wrong longest-ORF starts in real genomes): the planted starts are
// chosen on both strands, with their motif.
TEST(StartModelTest, ChoosesThePlantedStartsBehindTheMotif) {
  for (unsigned seed : {1U, 2U}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const SyntheticGenome g = SyntheticGenome(seed, 150);
    const StartModel model = train(g);
    ASSERT_TRUE(model.trained());
    EXPECT_NE(model.motif_consensus().find("GGAG"), std::string::npos) << model.motif_consensus();
    // The motif may be learnt a base or two off the planted one's frame: it
    // must overlap it by four bases at least.
    EXPECT_NEAR(model.typical_spacer(), kSpacer, 2);
    int right = 0, decoys = 0, decoys_right = 0;
    for (const Planted& p : g.planted) {
      const StartChoice c = model.choose(g.seq, p.called);
      EXPECT_EQ(c.gene.strand, p.truth.strand);
      EXPECT_EQ(p.truth.strand == '+' ? c.gene.end : c.gene.start, p.truth.strand == '+' ? p.truth.end : p.truth.start)
          << "the stop never moves";
      const bool ok = c.gene == p.truth;
      right += ok;
      if (!(p.called == p.truth)) {
        ++decoys;
        decoys_right += ok;
      }
      if (ok) {
        EXPECT_EQ(c.start_codon, "ATG");
        EXPECT_NE(c.rbs_motif.find("GGAG"), std::string::npos) << c.rbs_motif;
        EXPECT_NEAR(c.rbs_spacer, kSpacer, 2);
        EXPECT_GT(c.confidence, 0.5);
      }
    }
    EXPECT_EQ(decoys, 50);
    EXPECT_GE(decoys_right, 48) << "planted starts behind a decoy";
    EXPECT_GE(right, 145) << "all planted starts";
    // choose_all gives the same genes in the same order.
    const std::vector<Gene> all = model.choose_all(g.seq, g.called());
    ASSERT_EQ(all.size(), g.planted.size());
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i], model.choose(g.seq, g.called()[i]).gene);
  }
}

// Where the model must keep the called start: the minimum length forbids the
// later start, too few genes to train on, a gene that is no gene of the
// sequence, a start codon outside the list.
TEST(StartModelTest, KeepsTheCalledStartWhenItMust) {
  const SyntheticGenome g = SyntheticGenome(3, 90);
  const std::vector<Gene> called = g.called();

  StartModelOptions long_min;
  long_min.min_length = 2000;  // no gene reaches it from a later start
  const StartModel strict = train(g, long_min);
  ASSERT_TRUE(strict.trained());
  for (const Gene& c : called) EXPECT_EQ(strict.choose(g.seq, c).gene, c);

  const StartModel few = StartModel::train({&g.seq}, {std::vector<Gene>(called.begin(), called.begin() + 5)}, {});
  EXPECT_FALSE(few.trained());
  for (const Gene& c : called) EXPECT_EQ(few.choose(g.seq, c).gene, c);

  StartModelOptions gtg_only;
  gtg_only.start_codons = {"GTG"};
  EXPECT_FALSE(train(g, gtg_only).trained()) << "no called gene begins with GTG";
  // Beyond the sequence, not whole codons, no start codon at its start.
  const StartModel model = train(g);
  const long n = static_cast<long>(g.seq.size());
  for (const Gene& c : {Gene{n - 299, n + 3, '+'}, Gene{called[0].start, called[0].end + 1, '+'},
                        Gene{called[0].start + 1, called[0].end + 1, '+'}})
    EXPECT_EQ(model.choose(g.seq, c).gene, c) << c.start;

  EXPECT_THROW(StartModel::train({&g.seq}, {}, {}), codonspace::Error);
}

// The model and the chosen starts are the same for any number of threads, on
// a genome of two records long enough for several blocks of genes and bases.
TEST(StartModelTest, SameChoicesForAnyNumberOfThreads) {
  const SyntheticGenome a = SyntheticGenome(5, 600), b = SyntheticGenome(6, 300);
  auto run = [&](int threads) {
    StartModelOptions o;
    o.threads = threads;
    const StartModel m = StartModel::train({&a.seq, &b.seq}, {a.called(), b.called()}, o);
    EXPECT_TRUE(m.trained());
    std::vector<std::string> out = {m.motif_consensus() + " " + std::to_string(m.typical_spacer())};
    char share[40];
    std::snprintf(share, sizeof share, "%.17g", m.motif_share());
    out.emplace_back(share);
    for (const SyntheticGenome* g : {&a, &b}) {
      for (const Gene& chosen : m.choose_all(g->seq, g->called()))
        out.push_back(std::to_string(chosen.start) + " " + std::to_string(chosen.end));
      for (const Gene& called : g->called()) {
        const StartChoice c = m.choose(g->seq, called);
        char line[200];
        std::snprintf(line, sizeof line, "%.17g %.17g %.17g", c.start_score, c.coding_score, c.confidence);
        out.emplace_back(line);
      }
    }
    return out;
  };
  const std::vector<std::string> one = run(1);
  ASSERT_GT(one.size(), 1800u);
  for (int threads : {2, 3, 8}) EXPECT_EQ(run(threads), one) << threads << " threads";
}
