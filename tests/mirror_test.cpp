// Strand symmetry: the genes found on the reverse complement of a sequence
// are the mirror images of the genes found on it, for the scan, codonspace
// and codonspace-annotate; unknown letters neither start nor stop a gene.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "annotate/fasta.h"
#include "test_util.h"
#include "training/orf_scan.h"

using testutil::fasta;
using testutil::read_file;
using testutil::reverse_complement;
using testutil::write_file;

namespace {
using Pair = std::pair<long, long>;

// A pair of a sequence of n bases as seen on its reverse complement.
Pair mirror(const Pair& p, long n) { return {n + 1 - p.first, n + 1 - p.second}; }

// The CDS lines of a GFF text: seqid, start, end, strand.
using Cds = std::tuple<std::string, long, long, char>;
std::vector<Cds> gff_cds(const std::string& gff) {
  std::vector<Cds> cds;
  std::istringstream in(gff);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string w; std::getline(fields, w, '\t');) f.push_back(w);
    if (f.size() == 9 && f[2] == "CDS") cds.emplace_back(f[0], std::stol(f[3]), std::stol(f[4]), f[6][0]);
  }
  return cds;
}

// The genes of a codonspace run: pair -> bases in reading direction.
std::map<Pair, std::string> genes_of_run() {
  std::map<Pair, std::string> genes;
  std::istringstream in(read_file("gene_sequences"));
  Pair current{0, 0};
  for (std::string line; std::getline(in, line);) {
    if (line[0] == '>') {
      std::istringstream h(line);
      std::string w;
      h >> w >> w >> w >> w >> current.first >> w >> w >> current.second;
    }
    genes[current] += line[0] == '>' ? "" : line;
  }
  return genes;
}
}  // namespace

// Every ORF of the scan, of any length, on random drafts of every length
// modulo 3, with both start lists.
TEST(MirrorTest, ScanListsMirrorImagesOnTheReverseComplement) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    const std::string seq = testutil::draft_bases(30000 + seed, seed);
    const std::string rc = reverse_complement(seq);
    const long n = static_cast<long>(seq.size());
    for (const auto& starts : {std::vector<std::string>{"ATG"}, std::vector<std::string>{"ATG", "GTG", "TTG"}}) {
      std::set<Pair> forward, mirrored;
      for (const auto& o : codonspace::training::scan_orfs(seq, 0, starts).orfs) forward.insert({o.b1, o.b2});
      for (const auto& o : codonspace::training::scan_orfs(rc, 0, starts).orfs)
        mirrored.insert(mirror({o.b1, o.b2}, n));
      EXPECT_GT(forward.size(), 500U);
      EXPECT_TRUE(forward == mirrored) << "seed " << seed << ": " << forward.size() << " against "
                                       << mirrored.size() << " ORFs";
      // No ORF starts or stops on a triplet with an unknown letter.
      for (const auto& [b1, b2] : forward) {
        const long low = std::min(b1, b2);
        const std::string first = seq.substr(static_cast<size_t>(low - 1), 3);
        const std::string last = seq.substr(static_cast<size_t>(std::max(b1, b2) - 3), 3);
        EXPECT_EQ(first.find_first_not_of("ACGT"), std::string::npos) << b1 << " " << b2;
        EXPECT_EQ(last.find_first_not_of("ACGT"), std::string::npos) << b1 << " " << b2;
      }
    }
  }
}

class MirrorRunTest : public testutil::TempDirTest {};

// Method 1 with the repository's tables on the example genome and on a gene
// holding unknown letters: the same genes, mirrored, with the same bases.
TEST_F(MirrorRunTest, CodonspaceCallsMirrorImages) {
  // The first gene of the example (154..1176) with two N inside, at the top
  // end of the complementary strand: no complementary stop lies beyond its
  // start. The genome holds R there, whose complement is written N.
  std::string gene = testutil::example_genome().substr(153, 1023);
  gene[30] = 'N';
  gene[34] = 'N';
  std::string with_r = "CC" + reverse_complement(gene);
  with_r[2 + 1022 - 34] = 'R';
  const std::string cases[] = {testutil::example_genome(), with_r};
  for (const std::string& seq : cases) {
    const long n = static_cast<long>(seq.size());
    write_file("forward.fna", fasta("f", seq));
    write_file("reverse.fna", fasta("r", reverse_complement(seq)));
    ASSERT_EQ(testutil::run_binary({"forward.fna", "150", "1", "ATG", "GTG", "TTG"}).status, 0);
    const auto forward = genes_of_run();
    ASSERT_EQ(testutil::run_binary({"reverse.fna", "150", "1", "ATG", "GTG", "TTG"}).status, 0);
    std::map<Pair, std::string> mirrored;
    for (const auto& [p, bases] : genes_of_run()) mirrored[mirror(p, n)] = bases;
    EXPECT_GT(forward.size(), 0U);
    EXPECT_TRUE(forward == mirrored) << forward.size() << " genes against " << mirrored.size();
    // The gene on the complementary strand shows its unknown letters as they are.
    if (seq.size() < 2000) {
      EXPECT_EQ(forward, (std::map<Pair, std::string>{{{1025, 3}, gene}}));
    }
  }
}

// codonspace-annotate on a multi-record draft and on its reverse complement.
TEST_F(MirrorRunTest, AnnotateCallsMirrorImages) {
  const std::string example = testutil::example_genome();
  const std::vector<std::pair<std::string, std::string>> records = {
      {"one", example.substr(0, 150000)},
      {"two", example.substr(150000, 100000) + std::string(300, 'N') + example.substr(250000, 100001)},
      {"three", testutil::draft_bases(40000, 9) + example.substr(400000, 50002)}};
  std::string forward_text, reverse_text;
  for (const auto& [id, seq] : records) {
    forward_text += fasta(id, seq);
    reverse_text += fasta(id, reverse_complement(seq));
  }
  write_file("forward.fa", forward_text);
  write_file("reverse.fa", reverse_text);
  std::map<std::string, long> lengths;
  for (const auto& [id, seq] : records) lengths[id] = static_cast<long>(seq.size());
  // The calls on input, mirrored when asked.
  auto calls = [&](const std::string& input, bool mirrored) {
    EXPECT_EQ(testutil::run(CODONSPACE_ANNOTATE_BINARY, {"-q", "-o", "out", "-p", input, input + ".fa"}).status, 0);
    std::set<Cds> out;
    for (auto [id, start, end, strand] : gff_cds(read_file("out/" + input + ".gff"))) {
      const long n = lengths[id];
      out.insert(mirrored ? Cds{id, n + 1 - end, n + 1 - start, strand == '+' ? '-' : '+'}
                          : Cds{id, start, end, strand});
    }
    return out;
  };
  const auto forward = calls("forward", false);
  const auto reverse = calls("reverse", true);
  EXPECT_GT(forward.size(), 100U);
  EXPECT_TRUE(forward == reverse) << forward.size() << " calls against " << reverse.size();
}
