// The start model on a synthetic genome (genes whose true start, behind a
// planted ribosome-binding motif, lies downstream of an earlier in-frame
// start codon that opens a non-coding stretch), and the called genes on
// their way to the outputs: genes that run off a record's end, the gene
// list between the workers and the start model, and the attribute strings
// the GFF, protein and gene files share.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>

#include "annotate/edge_genes.h"
#include "annotate/fasta.h"
#include "annotate/gene_calls.h"
#include "annotate/gene_output.h"
#include "annotate/start_model.h"
#include "core/codon.h"
#include "io/file_io.h"
#include "test_util.h"

namespace ann = codonspace::annotate;
using ann::Gene;
using ann::StartChoice;
using ann::StartModel;
using ann::StartModelOptions;
using testutil::read_file;
using testutil::write_file;

namespace {

// Background that holds a stop codon in every frame of both strands every
// twelve bases: no ORF of it reaches the minimum length.
std::string stops_everywhere(size_t n) {
  std::string s;
  while (s.size() < n) s += "TTAA";
  return s.substr(0, n);
}

std::string repeat(const std::string& codon, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += codon;
  return s;
}

// Tables under which only GCC codes: the Z sum of an ORF is its GCC codons
// less every other codon, less 5 for a stop.
codonspace::training::ModelTables gcc_tables() {
  codonspace::training::ModelTables t;
  for (int i = 0; i < 64; ++i) {
    t.x[static_cast<size_t>(i)] = 1;
    t.y[static_cast<size_t>(i)] = 1;
    t.z[static_cast<size_t>(i)] = -1;
  }
  t.z[static_cast<size_t>(codonspace::codon_srno("GCC"))] = 1;
  for (const char* stop : {"TAA", "TAG", "TGA"}) t.z[static_cast<size_t>(codonspace::codon_srno(stop))] = -5;
  t.plane = {0, 0, 1, 0};
  return t;
}

ann::EdgeGeneOptions edge_options() { return {150, {"ATG", "GTG", "TTG"}, {"TAA", "TAG", "TGA"}}; }

std::vector<Gene> edges(const std::string& seq, const std::vector<Gene>& called = {}) {
  const codonspace::training::ModelTables t = gcc_tables();
  return ann::edge_genes(seq, called, edge_options(), [&](const Gene& g) {
    return ann::method_calls(seq, g, t, codonspace::codon_srno("TAA"));
  });
}

// The same record read from the other strand: a gene's place mirrored, its open ends swapped.
Gene mirrored(const Gene& g, long n) {
  return Gene{n - g.end + 1, n - g.start + 1, g.strand == '+' ? '-' : '+', g.open_right, g.open_left};
}

TEST(EdgeGenesTest, GeneCutByEitherEndOnEitherStrand) {
  const std::string bg = stops_everywhere(400);
  struct Case {
    const char* name;
    std::string seq;  // the gene on '+'; the '-' case is its reverse complement
    Gene expected;
  };
  const std::vector<Case> cases = {
      // Starts before the record: from the first whole codon of its frame to its stop.
      {"open 5' end", "C" + repeat("GCC", 100) + "TAA" + bg, Gene{2, 304, '+', true, false}},
      // Runs past the record's end: from its start codon to the last whole codon.
      {"open 3' end", bg + "ATG" + repeat("GCC", 100) + "GC", Gene{401, 703, '+', false, true}},
      // No stop in its frame at all: every whole codon of the frame.
      {"open both ends", "GG" + repeat("GCC", 100), Gene{3, 302, '+', true, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(edges(c.seq), std::vector<Gene>{c.expected});
    const std::string rc = testutil::reverse_complement(c.seq);
    EXPECT_EQ(edges(rc), std::vector<Gene>{mirrored(c.expected, static_cast<long>(c.seq.size()))});
  }
}

// A candidate needs the minimum length (150 bases: 49 codons and a stop),
// the method's verdict (GCA is not GCC), and no called gene on its stop.
TEST(EdgeGenesTest, CandidatesNeedTheMinimumLengthTheVerdictAndNoCalledGene) {
  const std::string bg = stops_everywhere(400);
  EXPECT_EQ(edges(repeat("GCC", 49) + "TAA" + bg), (std::vector<Gene>{Gene{1, 150, '+', true, false}}));
  EXPECT_TRUE(edges(repeat("GCC", 48) + "TAA" + bg).empty());
  EXPECT_TRUE(edges(repeat("GCA", 100) + "TAA" + bg).empty());
  const std::string seq = "C" + repeat("GCC", 60) + "ATG" + repeat("GCC", 40) + "TAA" + bg;
  EXPECT_TRUE(edges(seq, {Gene{182, 307, '+'}}).empty());
  EXPECT_EQ(edges(seq, {Gene{182, 307, '-'}}).size(), 1u);
}

TEST(EdgeGenesTest, MissingStopIsTheCommonestOfTheCalledGenes) {
  const std::string seq = "ATGGCCTAG" "ATGGCCTAG" "ATGGCCTAA" "ATGGCCTGA";
  const std::vector<const std::string*> seqs = {&seq};
  const std::vector<Gene> genes = {{1, 9, '+'}, {10, 18, '+'}, {19, 27, '+'}, {28, 36, '+'}, {1, 12, '+', true, false}};
  EXPECT_EQ(ann::likely_stop_codon(seqs, {genes}, {"TAA", "TAG", "TGA"}), codonspace::codon_srno("TAG"));
  // Genes on '-' read their stop on that strand; without genes the code's first stop.
  const std::string rc = testutil::reverse_complement(seq);
  const std::vector<const std::string*> rcs = {&rc};
  std::vector<Gene> rc_genes;
  for (const Gene& g : genes) rc_genes.push_back(mirrored(g, static_cast<long>(seq.size())));
  EXPECT_EQ(ann::likely_stop_codon(rcs, {rc_genes}, {"TAA", "TAG", "TGA"}), codonspace::codon_srno("TAG"));
  EXPECT_EQ(ann::likely_stop_codon(seqs, {{}}, {"TAA", "TAG"}), codonspace::codon_srno("TAA"));
}

class GeneListTest : public testutil::TempDirTest {};

TEST_F(GeneListTest, PartialFlagsSurviveTheList) {
  const std::vector<Gene> genes = {{1, 300, '+', true, false},   {10, 99, '-'},
                                   {400, 702, '-', true, true}, {500, 800, '+', false, true}};
  ann::write_gene_list("g.genes", genes);
  EXPECT_EQ(read_file("g.genes"), "1 300 + 10\n10 99 - 00\n400 702 - 11\n500 800 + 01\n");
  EXPECT_EQ(ann::read_gene_list("g.genes"), genes);
  write_file("bad.genes", "1 300 +\n");
  testutil::expect_error([] { ann::read_gene_list("bad.genes"); }, {"bad.genes"});
}

TEST(GeneAttributesTest, ProdigalSpellings) {
  ann::GeneCall call;
  call.gene = Gene{1, 9, '+'};
  call.start_type = "ATG";
  call.rbs_motif = "AGGAGG";
  call.rbs_spacer = 7;
  call.coding_score = 2.5;
  call.rbs_score = 1;
  call.upstream_score = -0.25;
  call.type_score = 0.5;
  EXPECT_EQ(ann::gene_attributes("r_1", "ATGGCCTAA", call),
            "ID=r_1;partial=00;start_type=ATG;rbs_motif=AGGAGG;rbs_spacer=5-10bp;gc_cont=0.444;conf=97.70;"
            "score=3.75;cscore=2.50;sscore=1.25;rscore=1.00;uscore=-0.25;tscore=0.50");
  // Confidence: 50 at 0, 0 and 100 without overflow at the extremes.
  EXPECT_DOUBLE_EQ(ann::confidence_percent(0), 50);
  EXPECT_GT(ann::confidence_percent(9.3), 99.99);
  EXPECT_EQ(ann::confidence_percent(-1e6) + ann::confidence_percent(1e6), 100);
}

// Sixty planted genes on '+', 40 to 80 bases apart.
struct Genome {
  std::string seq;
  std::vector<Gene> genes;
};

Genome planted_genome(unsigned seed) {
  testutil::PlantedGenome p(seed, 48000);
  Genome g;
  for (long at = 54; g.genes.size() < 60; at = g.genes.back().end + 54 + p.pick(40))
    g.genes.push_back(p.plant(at, 122 + p.pick(100), '+'));
  g.seq = p.seq;
  return g;
}

// A line's fields split at sep.
std::vector<std::string> split(const std::string& s, const std::string& sep) {
  std::vector<std::string> out;
  size_t p = 0;
  for (size_t q; (q = s.find(sep, p)) != std::string::npos; p = q + sep.size()) out.push_back(s.substr(p, q - p));
  out.push_back(s.substr(p));
  return out;
}

// The value of key in an attribute string.
std::string attribute(const std::string& attributes, const std::string& key) {
  for (const std::string& kv : split(attributes, ";"))
    if (kv.rfind(key + "=", 0) == 0) return kv.substr(key.size() + 1);
  return "(none)";
}

class ChooseStartsTest : public testutil::TempDirTest {
 protected:
  // A record whose planted genes the "workers" called, cut so that one gene
  // runs off each end; choose_starts writes its pieces into results/.
  void SetUp() override {
    TempDirTest::SetUp();
    const Genome g = planted_genome(11);
    // Cut inside the first gene (5' end lost) and inside the last (3' end lost).
    const long from = g.genes.front().start + 31, to = g.genes.back().end - 40;
    record_.id = "rec";
    record_.sequence = g.seq.substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from + 1));
    first_end_ = g.genes.front().end - from + 1;
    last_start_ = g.genes.back().start - from + 1;
    last_end_ = last_start_ + (g.genes.back().end - g.genes.back().start + 1 - 40) / 3 * 3 - 1;
    for (size_t i = 1; i + 1 < g.genes.size(); ++i)
      called_.push_back(Gene{g.genes[i].start - from + 1, g.genes[i].end - from + 1, '+'});
    testutil::Tables t;
    std::vector<std::string> coding = testutil::PlantedGenome::CODING_CODONS;
    coding.push_back("ATG");
    for (int i = 0; i < 64; ++i) {
      const std::string c = codonspace::str_rep(i);
      t.x[c] = 1;
      t.z[static_cast<size_t>(i)] = std::find(coding.begin(), coding.end(), c) != coding.end() ? 1.0f : -1.0f;
    }
    t.plane = "0 0 1 0\n";
    testutil::write_tables(t);
    std::filesystem::create_directory("results");
  }
  // The calls written by choose_starts: GFF CDS lines, FAA and FFN headers.
  struct Pieces {
    std::vector<std::string> gff, faa, ffn;
  };
  Pieces run(bool closed_ends) {
    ann::write_gene_list(ann::genes_path("results", 0), called_);
    ann::PredictOptions p;
    p.min_length = 152;
    p.start_codons = {"ATG", "GTG", "TTG"};
    ann::choose_starts({record_}, "results", p, ann::AnnotationSettings{}, {false, closed_ends, "data"},
                       [](const std::string&) {});
    Pieces out;
    std::istringstream gff(read_file(ann::fragment_path("results", 0, 0)));
    for (std::string line; std::getline(gff, line);)
      if (!line.empty() && line[0] != '#') out.gff.push_back(line);
    for (size_t k = 1; k < 3; ++k) {
      std::istringstream in(read_file(ann::fragment_path("results", 0, k)));
      for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] == '>') (k == 1 ? out.faa : out.ffn).push_back(line);
    }
    return out;
  }
  ann::FastaRecord record_;
  std::vector<Gene> called_;
  long first_end_ = 0, last_start_ = 0, last_end_ = 0;
};

// Partial genes at the cuts, none with closed ends; the GFF and the FASTA
// headers agree, and the GFF passes gt gff3validator when it is installed.
TEST_F(ChooseStartsTest, PartialGenesAtTheCutsNoneWithClosedEndsAndAgreeingHeaders) {
  const Pieces open = run(false);
  if (std::system("command -v gt >/dev/null 2>&1") == 0) {
    codonspace::File out("all.gff", "w");
    ann::write_gff_header(out.get(), {"Program: test"}, {record_});
    out.close_output();
    write_file("all.gff", read_file("all.gff") + read_file(ann::fragment_path("results", 0, 0)));
    EXPECT_EQ(std::system("gt gff3validator all.gff >validator.txt 2>&1"), 0) << read_file("validator.txt");
  }
  const Pieces closed = run(true);
  EXPECT_EQ(open.gff.size(), called_.size() + 2);
  EXPECT_EQ(closed.gff.size(), called_.size());
  std::map<std::string, std::string> partial;  // start..end -> flags
  for (const std::string& line : open.gff) {
    const std::vector<std::string> f = split(line, "\t");
    ASSERT_EQ(f.size(), 9u) << line;
    const std::string flags = attribute(f[8], "partial");
    const std::string type = attribute(f[8], "start_type");
    if (flags != "00")
      partial[f[3] + ".." + f[4]] = flags + " " + type + (type == "Edge" ? " sscore=" + attribute(f[8], "sscore") : "");
  }
  // The first gene lost 31 bases of its 5' end: from the next whole codon
  // (base 3) to its stop, with no start to score; the last runs to the last
  // whole codon of its frame.
  const std::map<std::string, std::string> expected = {
      {"3.." + std::to_string(first_end_), "10 Edge sscore=0.00"},
      {std::to_string(last_start_) + ".." + std::to_string(last_end_), "01 ATG"}};
  EXPECT_EQ(partial, expected);
  for (const std::string& line : closed.gff) EXPECT_NE(line.find(";partial=00;"), std::string::npos) << line;

  // The GFF and the FASTA headers agree on every gene's ID, place and attributes.
  const Pieces& p = open;
  ASSERT_EQ(p.faa.size(), p.gff.size());
  ASSERT_EQ(p.ffn, p.faa);
  for (size_t i = 0; i < p.gff.size(); ++i) {
    const std::vector<std::string> f = split(p.gff[i], "\t");
    const std::vector<std::string> h = split(p.faa[i].substr(1), " # ");
    ASSERT_EQ(h.size(), 5u) << p.faa[i];
    const std::string id = "rec_" + std::to_string(i + 1);
    EXPECT_EQ(h[0], id);
    EXPECT_EQ(h[1], f[3]);
    EXPECT_EQ(h[2], f[4]);
    EXPECT_EQ(h[3], f[6] == "+" ? "1" : "-1");
    EXPECT_EQ(h[4], f[8]);
    EXPECT_EQ(f[8].rfind("ID=" + id + ";partial=", 0), 0u) << f[8];
    EXPECT_NEAR(std::stod(attribute(f[8], "score")),
                std::stod(attribute(f[8], "cscore")) + std::stod(attribute(f[8], "sscore")), 0.011);
    // Column 6 is the score attribute, rounded.
    const double score = std::stod(attribute(f[8], "score"));
    EXPECT_NEAR(std::stod(f[5]), score, 0.051) << p.gff[i];
  }
}

}  // namespace

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

// Passing over an ATG costs atg_skip_penalty, any other start codon
// skip_penalty: the decoys of the synthetic genome are ATGs with no other
// start codon before the planted start, so a prohibitive penalty for ATGs
// keeps every decoy, one for the other codons keeps none.
TEST(StartModelTest, SkipPenaltyOfAnAtgPassedOverIsItsOwn) {
  const SyntheticGenome g = SyntheticGenome(1, 150);
  struct Case {
    const char* what;
    double skip, atg_skip;
    bool planted;  // whether the planted starts behind the decoys are chosen
  } cases[] = {
      {"passing an ATG prohibitive", 0.8, 100, false},
      {"passing a GTG or TTG prohibitive", 100, 0.8, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StartModelOptions o;
    o.skip_penalty = c.skip;
    o.atg_skip_penalty = c.atg_skip;
    const StartModel model = train(g, o);
    ASSERT_TRUE(model.trained());
    int decoys = 0, planted = 0;
    for (const Planted& p : g.planted) {
      if (p.called == p.truth) continue;
      ++decoys;
      planted += model.choose(g.seq, p.called).gene == p.truth;
    }
    ASSERT_EQ(decoys, 50);
    if (c.planted)
      EXPECT_GE(planted, 48);
    else
      EXPECT_EQ(planted, 0);
  }
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
