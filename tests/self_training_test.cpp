// Self-training and the shared training pieces: the in-memory ORF scan
// agrees with the scan stage, the fitted tables form a complete directory
// the program runs with and that finds planted genes, the program makes
// exactly the predictions the training replays, the output is
// deterministic, and failures are Errors naming the path.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "codon.h"
#include "file_io.h"
#include "self_training.h"
#include "stages.h"
#include "test_util.h"
#include "training_common.h"

namespace fs = std::filesystem;
using testutil::read_file;
using testutil::write_file;

namespace {

const std::string SOURCE_TABLES = std::string(CODONSPACE_SOURCE_DIR) + "/data";

std::string reverse_complement(const std::string& s) {
  std::string r(s.rbegin(), s.rend());
  for (char& c : r) c = codonspace::comp_base(c);
  return r;
}

// A synthetic genome: genes with a strong codon preference (ATG, then sense
// codons drawn mostly from a preferred third of them, then TAA), half of
// them on the complementary strand, between random spacers. Returns the
// sequence and the planted genes as "b1 b2" pairs in the program's format.
std::pair<std::string, std::set<std::pair<long, long>>> planted_genome(unsigned seed, int genes) {
  std::mt19937 rng(seed);
  const char bases[4] = {'A', 'C', 'G', 'T'};
  std::vector<std::string> sense, preferred;
  for (int n = 0; n < 64; ++n) {
    const std::string c = codonspace::str_rep(n);
    if (c == "TAA" || c == "TAG" || c == "TGA") continue;
    sense.push_back(c);
    if (n % 3 == 0) preferred.push_back(c);
  }
  std::string seq;
  std::set<std::pair<long, long>> planted;
  auto spacer = [&]() {
    const int len = 60 + static_cast<int>(rng() % 140);
    for (int i = 0; i < len; ++i) seq.push_back(bases[rng() % 4]);
  };
  spacer();
  for (int g = 0; g < genes; ++g) {
    std::string gene = "ATG";
    const int codons = 150 + static_cast<int>(rng() % 250);
    for (int i = 0; i < codons; ++i)
      gene += rng() % 10 < 9 ? preferred[rng() % preferred.size()] : sense[rng() % sense.size()];
    gene += "TAA";
    const long first = static_cast<long>(seq.size()) + 1, last = first + static_cast<long>(gene.size()) - 1;
    if (g % 2 == 0) {
      seq += gene;
      planted.insert({first, last});
    } else {
      seq += reverse_complement(gene);
      planted.insert({last, first});
    }
    spacer();
  }
  return {seq, planted};
}

std::set<std::pair<long, long>> result_pairs() {
  std::set<std::pair<long, long>> out;
  for (const char* name : codonspace::FRAME_FILES) {
    const std::string text = read_file(name);
    char label[8];
    long b1, b2;
    int used = 0;
    const char* p = text.c_str();
    while (std::sscanf(p, "%7s %ld %ld%n", label, &b1, &b2, &used) == 3) {
      out.insert({b1, b2});
      p += used;
    }
  }
  return out;
}

}  // namespace

class SelfTrainingTest : public testutil::TempDirTest {};

// The in-memory scan lists the scan stage's ORFs, in its order, across
// length bounds, start sets, sequence ends in every frame and non-ACGT
// characters (which the codon index reads as C).
TEST_F(SelfTrainingTest, ScanMatchesTheScanStage) {
  std::mt19937 rng(7);
  const char alphabet[] = "ACGTACGTACGTN";
  struct Case {
    size_t length;
    int min_length;
    std::vector<std::string> starts;
  } cases[] = {
      {5000, 30, {"ATG"}}, {5001, 90, {"ATG", "GTG", "TTG"}}, {5002, 9, {"ATG", "CTG"}}, {4, 3, {"ATG"}}, {0, 3, {"ATG"}},
  };
  for (const Case& c : cases) {
    std::string seq;
    for (size_t i = 0; i < c.length; ++i) seq.push_back(alphabet[rng() % 13]);
    write_file(codonspace::PROCESSED_GENOME, seq);
    ASSERT_EQ(codonspace::generate_orf(c.min_length, c.starts), 0);
    const std::string expected = read_file(codonspace::PREDICTION_ORFS);
    const codonspace::training::OrfScan scan = codonspace::training::scan_orfs(seq, c.min_length, c.starts);
    std::string got;
    size_t in_groups = 0;
    for (const auto& g : scan.groups) {
      in_groups += g.count;
      for (size_t k = 0; k < g.count; ++k) {
        const auto& o = scan.orfs[g.first + k];
        EXPECT_EQ(o.b2, scan.orfs[g.first].b2);
        if (k > 0) {
          EXPECT_GT(codonspace::training::orf_bases(scan.orfs[g.first + k - 1]), codonspace::training::orf_bases(o));
        }
      }
    }
    for (const auto& o : scan.orfs) got += std::to_string(o.b1) + " " + std::to_string(o.b2) + "\n";
    EXPECT_EQ(got, expected) << "length " << c.length << ", min length " << c.min_length;
    EXPECT_EQ(in_groups, scan.orfs.size());
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
  const std::set<std::pair<long, long>> predicted = result_pairs();

  // 3' matches: the planted stops that the program reports.
  std::set<long> planted_stops, predicted_stops;
  for (const auto& p : planted) planted_stops.insert(p.first < p.second ? p.second : -p.second);
  for (const auto& p : predicted) predicted_stops.insert(p.first < p.second ? p.second : -p.second);
  size_t found = 0;
  for (long s : predicted_stops) found += planted_stops.count(s);
  EXPECT_GE(found, planted.size() * 9 / 10) << "of " << planted.size() << " planted genes";
  EXPECT_GE(found, predicted.size() * 9 / 10) << "of " << predicted.size() << " predictions";

  codonspace::training::ModelTables t;
  codonspace::load_codon_value_list("data/HBondEnergies_MDmapped3.dat", t.x.data());
  codonspace::load_codon_value_list("data/StackingEnergies_MD.dat", t.y.data());
  codonspace::load_index_ordered_list("data/z.dat", t.z.data());
  const codonspace::Plane plane = codonspace::read_plane("data/best_plane_fixed.dat");
  t.plane = {plane.a, plane.b, plane.c, plane.d};
  const codonspace::training::ScannedRecord record(seq, 150, {"ATG"});
  std::set<std::pair<long, long>> replayed;
  for (const auto& o : codonspace::training::exact_predictions(record, t)) replayed.insert({o.b1, o.b2});
  EXPECT_EQ(replayed, predicted);
}

// The same genome and options give byte-identical tables; the default
// options are those of src/defaults.h and work on a two-record genome.
TEST_F(SelfTrainingTest, Deterministic) {
  const auto a = planted_genome(3, 30), b = planted_genome(4, 30);
  codonspace::self_train({a.first, b.first}, SOURCE_TABLES, "one/data");
  codonspace::self_train({a.first, b.first}, SOURCE_TABLES, "two/data");
  for (const char* name : {"z.dat", "best_plane_fixed.dat"}) {
    const std::string one = read_file(std::string("one/data/") + name);
    EXPECT_FALSE(one.empty()) << name;
    EXPECT_EQ(one, read_file(std::string("two/data/") + name)) << name;
  }
}

// Failures are Errors whose message names the path at fault.
TEST_F(SelfTrainingTest, ErrorsNameThePath) {
  const std::string seq = planted_genome(5, 10).first;
  write_file("plain_file", "x");
  struct Case {
    std::vector<std::string> records;
    std::string tables_in, tables_out, named;
  } cases[] = {
      {{seq}, SOURCE_TABLES, "plain_file/data", "plain_file/data"},  // output below a regular file
      {{seq}, "no_such_dir", "out", "no_such_dir/HBondEnergies_MDmapped3.dat"},
      {{"ACGTACGT"}, SOURCE_TABLES, "tiny", "tiny"},  // no ORF to learn from
  };
  for (const Case& c : cases) {
    try {
      codonspace::self_train(c.records, c.tables_in, c.tables_out);
      ADD_FAILURE() << "no error for " << c.named;
    } catch (const codonspace::Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
    }
  }
  EXPECT_FALSE(fs::exists("out"));
}

// The executable: writes OUTDIR/data from a FASTA file, refuses bad input.
TEST_F(SelfTrainingTest, Executable) {
  const std::string trainer = (fs::path(CODONSPACE_BINARY).parent_path() / "codonspace-train").string();
  write_file("genome.fna", ">a\n" + planted_genome(8, 20).first + "\n>b\n" + planted_genome(9, 20).first + "\n");
  EXPECT_EQ(std::system((trainer + " genome.fna out --min-length 150 --starts atg --tables " + SOURCE_TABLES +
                         " 2>err").c_str()),
            0)
      << read_file("err");
  EXPECT_TRUE(fs::exists("out/data/z.dat"));
  EXPECT_TRUE(fs::exists("out/data/codon1"));
  EXPECT_NE(std::system((trainer + " missing.fna out2 2>err").c_str()), 0);
  EXPECT_NE(read_file("err").find("missing.fna"), std::string::npos) << read_file("err");
  EXPECT_NE(std::system((trainer + " genome.fna out3 --starts ATGX 2>err").c_str()), 0);
  EXPECT_NE(read_file("err").find("ATGX"), std::string::npos) << read_file("err");
  EXPECT_FALSE(fs::exists("out2"));
}
