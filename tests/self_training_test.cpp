// Self-training and the shared training pieces: the labelling, the in-memory
// scan, the fitted tables and what the program predicts with them, the
// refusals, and codonspace-train.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/codon.h"
#include "io/file_io.h"
#include "training/self_training.h"
#include "stages/stages.h"
#include "test_util.h"
#include "training/model_tables.h"
#include "training/orf_scan.h"

namespace fs = std::filesystem;
namespace tr = codonspace::training;
using testutil::read_file;
using testutil::write_file;

namespace {

const std::string SOURCE_TABLES = std::string(CODONSPACE_SOURCE_DIR) + "/data";

// Planted genes (testutil::PlantedGenome), alternately on either strand, 60
// to 200 bases apart; with tga_sense, one codon in ten of the genes is TGA,
// as in genetic code 4. Returns the sequence and the planted genes as
// "b1 b2" pairs in the program's format.
std::pair<std::string, std::set<std::pair<long, long>>> planted_genome(unsigned seed, int genes,
                                                                       bool tga_sense = false) {
  testutil::PlantedGenome p(seed, static_cast<size_t>(genes) * 1500 + 300);
  std::set<std::pair<long, long>> planted;
  long end = 0;
  for (int k = 0; k < genes; ++k) {
    const int codons = 152 + p.pick(250);
    const char strand = k % 2 == 0 ? '+' : '-';
    const codonspace::Gene g = p.plant(end + 60 + p.pick(140) + (strand == '+' ? 14 : 3L * codons), codons, strand);
    for (long c = 10; tga_sense && c < codons - 1; c += 10)
      p.seq.replace(static_cast<size_t>(strand == '+' ? g.start - 1 + 3 * c : g.end - 3 * c - 3), 3,
                    strand == '+' ? "TGA" : "TCA");
    planted.insert(strand == '+' ? std::pair{g.start, g.end} : std::pair{g.end, g.start});
    end = strand == '+' ? g.end : g.end + 13;
  }
  p.seq.resize(static_cast<size_t>(end) + 200);
  return {p.seq, planted};
}

}  // namespace

// The labelling's overlap rule: a candidate is refused when it overlaps a
// stronger gene of its record by more than 60 bases and more than a quarter
// of its own length; a long gene far below is still found.
TEST(SelfTrainingLabels, OverlapRule) {
  using codonspace::training::GeneCandidate;
  const GeneCandidate first{9, 0, 0, 1000, 1999};
  struct Case {
    GeneCandidate second;
    std::vector<std::vector<unsigned char>> genes;  // record 0: groups 0, 1; record 1: group 0
  };
  const std::vector<Case> cases = {
      {{5, 0, 1, 1900, 2299}, {{1, 1}, {0}}},  // 100 of 400 bases: a quarter exactly
      {{5, 0, 1, 1900, 2298}, {{1, 0}, {0}}},  // 100 of 399
      {{5, 0, 1, 1940, 2099}, {{1, 1}, {0}}},  // 60 bases
      {{5, 0, 1, 1939, 2099}, {{1, 0}, {0}}},  // 61 of 161
      {{5, 0, 1, 1200, 1499}, {{1, 0}, {0}}},  // inside
      {{5, 1, 0, 1200, 1499}, {{1, 0}, {1}}},  // the same bases in another record
      {{10, 0, 1, 1500, 2499}, {{0, 1}, {0}}},  // stronger: taken first
      {{5, 0, 1, 1, 3000}, {{1, 0}, {0}}},     // around it: 1000 of 3000
      {{5, 0, 1, 1, 4000}, {{1, 1}, {0}}},     // 1000 of 4000
  };
  for (const Case& c : cases)
    EXPECT_EQ(codonspace::training::label_genes({first, c.second}, {2, 1}), c.genes)
        << c.second.low << ".." << c.second.high;
  // A gene of 6000 bases taken first; the later candidate starts 5000 bases above its start.
  EXPECT_EQ(codonspace::training::label_genes({{9, 0, 0, 1, 6000}, {5, 0, 1, 5001, 5400}}, {2, 1}),
            (std::vector<std::vector<unsigned char>>{{1, 0}, {0}}));
}

class SelfTrainingTest : public testutil::TempDirTest {};

// The in-memory scan lists the scan stage's ORFs, in its order, across
// length bounds, start sets, sequence ends in every frame and non-ACGT
// characters (which the codon index reads as C); its groups cover the ORFs
// in order, one stop codon each, longest ORF first.
TEST_F(SelfTrainingTest, ScanMatchesTheScanStage) {
  std::mt19937 rng(7);
  const std::vector<std::tuple<size_t, int, std::vector<std::string>>> cases = {
      {5001, 90, {"ATG", "GTG", "TTG"}}, {5002, 9, {"ATG", "CTG"}}, {4, 3, {"ATG"}}};
  for (const auto& [length, min_length, starts] : cases) {
    std::string seq;
    for (size_t i = 0; i < length; ++i) seq.push_back("ACGTACGTACGTACGTNRY"[rng() % 19]);
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
  const auto [seq, planted] = planted_genome(11, 80);
  codonspace::SelfTrainOptions options;
  options.min_length = 150;
  options.start_codons = {"ATG"};
  ASSERT_TRUE(codonspace::self_train({seq}, SOURCE_TABLES, "data", options).fitted);
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

// The tables are the same for any number of threads, on a genome of three
// records with enough stop groups for several blocks of groups and samples.
TEST_F(SelfTrainingTest, SameTablesForAnyNumberOfThreads) {
  const std::vector<std::string> genome = {planted_genome(21, 600).first, planted_genome(22, 200).first,
                                           planted_genome(23, 500).first};
  size_t groups = 0;
  for (const std::string& r : genome) groups += tr::scan_orfs(r, 150, {"ATG", "GTG", "TTG"}).groups.size();
  ASSERT_GT(groups, 4096u);  // more than one block of samples
  std::string one;
  for (int threads : {1, 2, 3, 8}) {
    codonspace::SelfTrainOptions options;
    options.min_length = 150;
    options.threads = threads;
    std::string out = "t";
    out += std::to_string(threads);
    out += "/data";
    ASSERT_TRUE(codonspace::self_train(genome, SOURCE_TABLES, out, options).fitted);
    const std::string tables = read_file(out + "/z.dat") + read_file(out + "/best_plane_fixed.dat");
    if (threads == 1) one = tables;
    EXPECT_EQ(tables, one) << threads << " threads";
  }
}

// With the stop codons of genetic code 4 (TAA, TAG) the genes that carry
// TGA as a sense codon are whole ORFs: they train the tables, are labelled,
// and the tables find them.
TEST_F(SelfTrainingTest, StopCodonsOfTheGeneticCode) {
  const auto [seq, planted] = planted_genome(31, 120, true);
  codonspace::SelfTrainOptions options;
  options.min_length = 150;
  options.start_codons = {"ATG"};
  options.stop_codons = {"TAA", "TAG"};
  const codonspace::SelfTrainResult r = codonspace::self_train({seq}, SOURCE_TABLES, "code4/data", options);
  ASSERT_TRUE(r.fitted);
  EXPECT_GE(r.genes_labelled, 100);
  EXPECT_LE(r.genes_labelled, 140);
  tr::ModelTables t;
  codonspace::load_codon_value_list(SOURCE_TABLES + "/HBondEnergies_MDmapped3.dat", t.x.data());
  codonspace::load_codon_value_list(SOURCE_TABLES + "/StackingEnergies_MD.dat", t.y.data());
  codonspace::load_index_ordered_list("code4/data/z.dat", t.z.data());
  t.plane = {0, 0, 1, 0};
  // 3' ends (stop codon and strand) of planted genes and of ORFs.
  std::set<long> planted_stops, found;
  for (const auto& [b1, b2] : planted) planted_stops.insert(b1 < b2 ? b2 : -b2);
  for (const auto& o : tr::exact_predictions(tr::ScannedRecord(seq, 150, {"ATG"}, {"TAA", "TAG"}), t))
    if (planted_stops.count(o.b1 < o.b2 ? o.b2 : -o.b2)) found.insert(o.b2);
  EXPECT_GE(found.size(), planted.size() * 9 / 10) << "of " << planted.size() << " planted genes";
}

// Failures are Errors naming the path at fault. The output directory is
// never the input one, however it is spelled, and is never written through
// a link or over files that are not tables: refused before anything is
// written, every file stays as it was.
TEST_F(SelfTrainingTest, RefusalsNameThePathAndWriteNothing) {
  const std::string seq = planted_genome(6, 80).first;
  fs::copy(SOURCE_TABLES, "in");
  fs::create_directories("p");
  fs::create_directories("other");
  write_file("other/keep", "mine");
  fs::create_directory_symlink("../in", "p/data");
  fs::create_directory_symlink("../other", "p/elsewhere");
  fs::create_directories("mixed");
  write_file("mixed/z.dat", "old");
  write_file("mixed/notes.txt", "mine");
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {  // out, in, named
      {"other/keep/data", SOURCE_TABLES, "other/keep/data"},  // below a regular file
      {".", SOURCE_TABLES, "must name a directory"},
      {"./in/", "in", "./in/"},                // the input, spelled otherwise
      {"p/data", "in", "p/data"},              // a link to the input, as a run directory has it
      {"p/elsewhere", SOURCE_TABLES, "p/elsewhere"},  // a link to another directory
      {"mixed", SOURCE_TABLES, "mixed"},              // holding a file that is not a table
  };
  for (const auto& [out, in, named] : cases)
    testutil::expect_error([&, &in = in, &out = out] { codonspace::self_train({seq}, in, out); }, {named}, out);
  for (const auto& entry : fs::directory_iterator(SOURCE_TABLES)) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(read_file("in/" + name), read_file(entry.path().string())) << name;
  }
  EXPECT_EQ(read_file("other/keep") + read_file("mixed/z.dat"), "mineold");
  EXPECT_EQ(testutil::list_dir("mixed"), (std::vector<std::string>{"notes.txt", "z.dat"}));
  EXPECT_EQ(testutil::list_dir("."), (std::vector<std::string>{"in", "mixed", "other", "p"}));
}

// Training again into an output directory of tables replaces it whole with
// the new tables (the same as a fresh one), leaves no staging directory
// beside it, and gives the directory the mode of the umask. A genome with
// fewer seed ORFs than a fit needs gets the input tables and a note.
TEST_F(SelfTrainingTest, ReplacesAnEarlierOutputWholeAndKeepsTheInputTablesOfASmallGenome) {
  const std::string first = planted_genome(12, 80).first, second = planted_genome(13, 80).first;
  ASSERT_TRUE(codonspace::self_train({first}, SOURCE_TABLES, "run/data").fitted);
  const std::string old_z = read_file("run/data/z.dat");
  fs::remove("run/data/HBondNos.dat");  // an incomplete earlier directory is replaced too
  ASSERT_TRUE(codonspace::self_train({second}, SOURCE_TABLES, "run/data/").fitted);
  codonspace::self_train({second}, SOURCE_TABLES, "fresh/data");
  EXPECT_NE(read_file("run/data/z.dat"), old_z);
  EXPECT_EQ(testutil::list_dir("run"), std::vector<std::string>{"data"});
  EXPECT_EQ(testutil::list_dir("run/data"), testutil::list_dir("fresh/data"));
  for (const std::string& name : testutil::list_dir("fresh/data"))
    EXPECT_EQ(read_file("run/data/" + name), read_file("fresh/data/" + name)) << name;
  const mode_t mask = umask(0);
  umask(mask);
  struct stat st {};
  ASSERT_EQ(stat("run/data", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0777 & ~mask);

  const codonspace::SelfTrainResult r = codonspace::self_train({planted_genome(5, 8).first}, "run/data", "small/data");
  EXPECT_FALSE(r.fitted);
  EXPECT_LT(r.seed_orfs, codonspace::MIN_SEED_ORFS);
  EXPECT_NE(r.note.find("too small"), std::string::npos) << r.note;
  for (const char* name : {"z.dat", "best_plane_fixed.dat", "codon1"})
    EXPECT_EQ(read_file(std::string("small/data/") + name), read_file(std::string("run/data/") + name)) << name;
}

// The executable: GENOME OUTDIR with the options of codonspace-annotate,
// short or long, before or after the operands; --version; refusals that
// make no output directory; the small-genome warning.
TEST_F(SelfTrainingTest, Executable) {
  const std::string trainer = (fs::path(CODONSPACE_BINARY).parent_path() / "codonspace-train").string();
  write_file("genome.fna", ">a\n" + planted_genome(8, 50).first + "\n>b\n" + planted_genome(9, 50).first + "\n");
  write_file("small.fna", ">s\n" + planted_genome(10, 10).first + "\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;  // expected in standard output / error
  };
  const std::string version = std::string("codonspace-train ") + CODONSPACE_VERSION + "\n";
  const std::vector<Case> cases = {
      {{"genome.fna", "o1", "--min-length", "150", "--starts", "atg", "--tables", SOURCE_TABLES}, 0, "", "o1/data"},
      // An earlier OUTDIR as the tables, too small a genome to fit.
      {{"-d", "o1", "small.fna", "o3b"}, 0, "", "warning: the genome is too small"},
      // The same settings spelled short, on three threads.
      {{"-l", "150", "-s", "ATG", "-d", SOURCE_TABLES, "genome.fna", "o11", "-t", "3"}, 0, "", ""},
      {{"genome.fna", "o1", "-d", "o1"}, 1, "", "is the input tables directory"},
      {{"--version"}, 0, version, ""},
      {{"genome.fna", "o9", "-l"}, 1, "", "needs a value"},
  };
  for (const auto& c : cases) {
    const int status = testutil::wait_status(testutil::spawn(trainer, c.args, {"/dev/null", "out", "err"}));
    const std::string context = c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : "") + ": " + read_file("err");
    EXPECT_EQ(status, c.status) << context;
    EXPECT_NE(read_file("out").find(c.out), std::string::npos) << context;
    EXPECT_NE(read_file("err").find(c.err), std::string::npos) << context;
    if (c.args.size() > 1 && c.args[1][0] == 'o' && c.args[1] != "o1") {
      EXPECT_EQ(fs::exists(c.args[1]), c.status == 0) << context;
    }
  }
  EXPECT_EQ(read_file("o3b/data/z.dat"), read_file("o1/data/z.dat"));  // not fitted: copied from o1
  EXPECT_EQ(read_file("o11/data/z.dat"), read_file("o1/data/z.dat"));
}
