// The called genes on their way to the outputs: genes that run off a
// record's end, the gene list between the workers and the start model, the
// scores, and the attribute strings the GFF, protein and gene files share.
#include <algorithm>
#include <filesystem>
#include <cstdlib>
#include <map>
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
