// Self-training and the shared training pieces: the in-memory ORF scan
// agrees with the scan stage, the fitted tables form a complete directory
// the program runs with and that finds planted genes, the program makes
// exactly the predictions the training replays, the output is
// deterministic, and failures are Errors naming the path.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "codon.h"
#include "file_io.h"
#include "self_training.h"
#include "stages.h"
#include "test_util.h"
#include "training_common.h"

namespace fs = std::filesystem;
namespace tr = codonspace::training;
using testutil::read_file;
using testutil::write_file;

namespace {

const std::string SOURCE_TABLES = std::string(CODONSPACE_SOURCE_DIR) + "/data";

// A synthetic genome: genes with a strong codon preference (ATG, then sense
// codons drawn mostly from a preferred third of them, then TAA), half of
// them on the complementary strand, between random spacers. Returns the
// sequence and the planted genes as "b1 b2" pairs in the program's format.
std::pair<std::string, std::set<std::pair<long, long>>> planted_genome(unsigned seed, int genes) {
  std::mt19937 rng(seed);
  auto codon = [&rng](bool preferred) {
    for (;;) {
      const unsigned n = rng() % 64;
      const std::string c = codonspace::str_rep(static_cast<int>(n));
      if (c != "TAA" && c != "TAG" && c != "TGA" && (!preferred || n % 3 == 0)) return c;
    }
  };
  std::string seq;
  std::set<std::pair<long, long>> planted;
  auto spacer = [&] {
    for (unsigned i = 60 + rng() % 140; i > 0; --i) seq += "ACGT"[rng() % 4];
  };
  spacer();
  for (int g = 0; g < genes; ++g) {
    std::string gene = "ATG";
    for (unsigned i = 150 + rng() % 250; i > 0; --i) gene += codon(rng() % 10 < 9);
    gene += "TAA";
    const long first = static_cast<long>(seq.size()) + 1, last = first + static_cast<long>(gene.size()) - 1;
    seq += g % 2 == 0 ? gene : testutil::reverse_complement(gene);
    planted.insert(g % 2 == 0 ? std::pair{first, last} : std::pair{last, first});
    spacer();
  }
  return {seq, planted};
}

}  // namespace

class SelfTrainingTest : public testutil::TempDirTest {};

// The in-memory scan lists the scan stage's ORFs, in its order, across
// length bounds, start sets, sequence ends in every frame and non-ACGT
// characters (which the codon index reads as C); its groups cover the ORFs
// in order, one stop codon each, longest ORF first.
TEST_F(SelfTrainingTest, ScanMatchesTheScanStage) {
  std::mt19937 rng(7);
  const std::vector<std::tuple<size_t, int, std::vector<std::string>>> cases = {
      {5000, 30, {"ATG"}}, {5001, 90, {"ATG", "GTG", "TTG"}}, {5002, 9, {"ATG", "CTG"}},
      {4, 3, {"ATG"}},     {0, 3, {"ATG"}},
  };
  for (const auto& [length, min_length, starts] : cases) {
    std::string seq;
    for (size_t i = 0; i < length; ++i) seq.push_back("ACGTACGTACGTN"[rng() % 13]);
    write_file(codonspace::PROCESSED_GENOME, seq);
    ASSERT_EQ(codonspace::generate_orf(min_length, starts), 0);
    const tr::OrfScan scan = tr::scan_orfs(seq, min_length, starts);
    std::string got;
    for (const auto& o : scan.orfs) got += std::to_string(o.b1) + " " + std::to_string(o.b2) + "\n";
    EXPECT_EQ(got, read_file(codonspace::PREDICTION_ORFS)) << "length " << length << ", min length " << min_length;
    size_t next = 0;
    for (const auto& g : scan.groups) {
      for (size_t k = g.first; k < g.first + g.count; ++k, ++next) {
        const bool shorter = k == g.first || tr::orf_bases(scan.orfs[k - 1]) > tr::orf_bases(scan.orfs[k]);
        EXPECT_TRUE(k == next && scan.orfs[k].b2 == scan.orfs[g.first].b2 && shorter) << "ORF " << k;
      }
    }
    EXPECT_EQ(next, scan.orfs.size());
  }
}

// Self-training on a genome of planted genes: the output directory is
// complete, the real program runs with it, finds the planted genes, and
// predicts exactly what the training's replay of the tables predicts.
TEST_F(SelfTrainingTest, TablesRunAndFindPlantedGenes) {
  const auto [seq, planted] = planted_genome(11, 60);
  codonspace::SelfTrainOptions options;
  options.min_length = 150;
  options.start_codons = {"ATG"};
  codonspace::self_train({seq}, SOURCE_TABLES, "data", options);
  EXPECT_EQ(testutil::list_dir("data"),
            (std::vector<std::string>{"HBondEnergies_MDmapped3.dat", "HBondNos.dat", "StackingEnergies_MD.dat",
                                      "StackingEnergies_Original.dat", "best_plane_fixed.dat", "codon1", "z.dat"}));
  for (const char* copied : {"HBondEnergies_MDmapped3.dat", "StackingEnergies_MD.dat", "codon1"})
    EXPECT_EQ(read_file(std::string("data/") + copied), read_file(SOURCE_TABLES + "/" + copied)) << copied;

  write_file("genome.fna", ">planted\n" + seq + "\n");
  const testutil::RunResult run = testutil::run_binary({"genome.fna", "150", "1", "ATG"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::set<std::pair<long, long>> predicted;  // the "b1 b2" pairs of the per-frame result files
  for (const char* name : codonspace::FRAME_FILES) {
    std::istringstream in(read_file(name));
    std::string label;
    long b1, b2;
    while (in >> label >> b1 >> b2) predicted.insert({b1, b2});
  }
  // 3' matches: predictions that end at a planted stop, on its strand.
  auto stop = [](const std::pair<long, long>& p) { return p.first < p.second ? p.second : -p.second; };
  size_t found = 0;
  for (const auto& p : predicted)
    for (const auto& q : planted) found += stop(p) == stop(q);
  EXPECT_GE(found, planted.size() * 9 / 10) << "of " << planted.size() << " planted genes";
  EXPECT_GE(found, predicted.size() * 9 / 10) << "of " << predicted.size() << " predictions";

  tr::ModelTables t;
  codonspace::load_codon_value_list("data/HBondEnergies_MDmapped3.dat", t.x.data());
  codonspace::load_codon_value_list("data/StackingEnergies_MD.dat", t.y.data());
  codonspace::load_index_ordered_list("data/z.dat", t.z.data());
  const codonspace::Plane plane = codonspace::read_plane("data/best_plane_fixed.dat");
  t.plane = {plane.a, plane.b, plane.c, plane.d};
  std::set<std::pair<long, long>> replayed;
  for (const auto& o : tr::exact_predictions(tr::ScannedRecord(seq, 150, {"ATG"}), t)) replayed.insert({o.b1, o.b2});
  EXPECT_EQ(replayed, predicted);
}

// The same two-record genome and the default options give byte-identical
// tables.
TEST_F(SelfTrainingTest, Deterministic) {
  const std::vector<std::string> genome = {planted_genome(3, 30).first, planted_genome(4, 30).first};
  for (const char* out : {"one/data", "two/data"}) codonspace::self_train(genome, SOURCE_TABLES, out);
  for (const std::string name : {"z.dat", "best_plane_fixed.dat"}) {
    EXPECT_GT(read_file("one/data/" + name).size(), 10u) << name;
    EXPECT_EQ(read_file("one/data/" + name), read_file("two/data/" + name)) << name;
  }
}

// Failures are Errors whose message names the path at fault.
TEST_F(SelfTrainingTest, ErrorsNameThePath) {
  const std::string seq = planted_genome(5, 10).first;
  write_file("plain_file", "x");
  const std::vector<std::tuple<std::string, std::string, std::string, std::string>> cases = {
      {seq, SOURCE_TABLES, "plain_file/data", "plain_file/data"},  // output below a regular file
      {seq, "no_such_dir", "out", "no_such_dir/HBondEnergies_MDmapped3.dat"},
      {"ACGTACGT", SOURCE_TABLES, "tiny", "tiny"},  // no ORF to learn from
  };
  for (const auto& [record, tables_in, tables_out, named] : cases)
    testutil::expect_error([&] { codonspace::self_train({record}, tables_in, tables_out); }, {named}, tables_out);
  EXPECT_FALSE(fs::exists("out"));
}

// The executable writes OUTDIR/data from a FASTA file, and refuses bad input
// without making the output directory.
TEST_F(SelfTrainingTest, Executable) {
  const std::string trainer = (fs::path(CODONSPACE_BINARY).parent_path() / "codonspace-train").string();
  write_file("genome.fna", ">a\n" + planted_genome(8, 20).first + "\n>b\n" + planted_genome(9, 20).first + "\n");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"genome.fna", "out", "--min-length", "150", "--starts", "atg", "--tables", SOURCE_TABLES}, ""},
      {{"missing.fna", "out2"}, "missing.fna"},
      {{"genome.fna", "out3", "--starts", "ATGX"}, "ATGX"},
  };
  for (const auto& [args, named] : cases) {
    const int status = testutil::wait_status(testutil::spawn(trainer, args, {"/dev/null", "/dev/null", "err"}));
    EXPECT_EQ(status == 0, named.empty()) << read_file("err");
    EXPECT_NE(read_file("err").find(named), std::string::npos) << read_file("err");
    EXPECT_EQ(fs::exists(args[1]), named.empty()) << args[1];
  }
  EXPECT_TRUE(fs::exists("out/data/z.dat") && fs::exists("out/data/codon1"));
}
