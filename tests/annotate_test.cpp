// codonspace-annotate: FASTA reading, the output formats, and end-to-end
// runs of the executable (parallel runs, clean-up after failures and
// signals, agreement with one-record codonspace runs, installation).
#include <signal.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <tuple>

#include "annotate/fasta.h"
#include "annotate/gene_output.h"
#include "codon.h"
#include "file_io.h"
#include "self_training.h"
#include "stages.h"
#include "test_util.h"

namespace fs = std::filesystem;
namespace ann = codonspace::annotate;
using ann::Gene;
using testutil::exists;
using testutil::list_dir;
using testutil::read_file;
using testutil::write_file;

namespace {

const std::string SOURCE_DIR = CODONSPACE_SOURCE_DIR, ANNOTATE = CODONSPACE_ANNOTATE_BINARY;

std::string random_bases(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, 'A');
  for (char& c : s) c = "ACGT"[rng() % 4];
  return s;
}

void write_gzip(const std::string& path, const std::string& content) {
  gzFile gz = gzopen(path.c_str(), "wb");
  ASSERT_NE(gz, nullptr);
  ASSERT_EQ(gzwrite(gz, content.data(), static_cast<unsigned>(content.size())), static_cast<int>(content.size()));
  ASSERT_EQ(gzclose(gz), Z_OK);
}

std::vector<ann::FastaRecord> parse(const std::string& text, size_t chunk) {
  ann::FastaParser p("'test.fna'");
  for (size_t i = 0; i < text.size(); i += chunk) p.feed(text.data() + i, std::min(chunk, text.size() - i));
  return p.finish();
}

TEST(FastaParserTest, ReadsRecordsWhateverTheChunking) {
  using Records = std::vector<std::pair<std::string, std::string>>;  // id, sequence
  const std::vector<std::pair<std::string, Records>> cases = {
      {">chr1\nACGT\nTTGA", {{"chr1", "ACGTTTGA"}}},  // no final line end
      {">a first contig\nACG\n>b\tsecond\nTT\nGG\n>c\nN\n", {{"a", "ACG"}, {"b", "TTGG"}, {"c", "N"}}},
      // CR LF line ends, lower case, blanks and tabs within sequence lines
      {">x desc\r\nacg t\r\nA\tC\r\n>y\r\nggg\r\n", {{"x", "ACGTAC"}, {"y", "GGG"}}},
      // blank lines before and within records, blanks after the '>'
      {"\n\n>  spaced name\nAC\n \t \nCA\n\n>z\nGT\n\n", {{"spaced", "ACCA"}, {"z", "GT"}}},
  };
  for (const auto& [text, want] : cases) {
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{7}, text.size()}) {
      Records got;
      for (const auto& r : parse(text, chunk)) got.emplace_back(r.id, r.sequence);
      EXPECT_EQ(got, want) << text << "in chunks of " << chunk;
    }
  }
}

TEST(FastaParserTest, RefusesWhatIsNotAUsableGenome) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "'test.fna' is empty"},
      {"\n  \n", "'test.fna' holds no FASTA record"},
      {"ACGT\n>a\nAC\n", "line 1 comes before the first '>' header line"},
      {">a\nAC\n\n>b\nAC1T\n", "line 5 of the record 'b' holds '1'"},
      {">a\nAC\x01\n", "holds byte 0x01"},
      {">a\nAC>GT\n", "line 2 of the record 'a' holds '>'"},
      {">\nACGT\n", "the header on line 1 has no sequence name"},
      {">a\n>b\nAC\n", "the record 'a' (line 1) has no bases"},
      {">a\nAC\n>b\n", "the record 'b' (line 3) has no bases"},
      {">a x\nAC\n>b\nGG\n>a y\nTT\n", "holds the sequence name 'a' twice (headers on lines 1 and 5)"},
  };
  for (const auto& [text, message] : cases)
    testutil::expect_error([&] { parse(text, 3); }, {"'test.fna'", message}, text);
}

class FastaFileTest : public testutil::TempDirTest {};

// Content that is gzip-compressed is read whatever the file name (see the
// runs below); a damaged stream and an unreadable file are errors.
TEST_F(FastaFileTest, DamagedOrUnreadableFilesAreErrors) {
  write_gzip("packed.fna.gz", ">r\n" + random_bases(60000, 1) + "\n");
  const std::string gz = read_file("packed.fna.gz");
  write_file("truncated.gz", gz.substr(0, gz.size() / 2));
  std::string corrupt = gz;
  for (size_t i = 20; i < 60; ++i) corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
  write_file("corrupt.gz", corrupt);
  fs::create_directory("adir");
  const std::vector<std::pair<std::string, std::string>> failures = {
      {"truncated.gz", "'truncated.gz' is a damaged gzip stream"},
      {"corrupt.gz", "'corrupt.gz' is a damaged gzip stream"},
      {"missing.fna", "cannot open 'missing.fna': No such file or directory"},
      {"adir", "cannot read 'adir': Is a directory"},
  };
  for (const auto& [name, message] : failures) testutil::expect_error([&] { ann::read_fasta(name); }, {message}, name);
}

TEST(GeneOutputTest, PairsBasesAndTable11Translation) {
  EXPECT_EQ(ann::gene_from_pair(4, 12, 20), (Gene{4, 12, '+'}));
  EXPECT_EQ(ann::gene_from_pair(20, 9, 20), (Gene{9, 20, '-'}));
  for (auto [b1, b2] : std::vector<std::pair<long, long>>{{0, 8}, {13, 21}, {5, 5}, {1, 5}, {9, 2}})
    EXPECT_THROW(ann::gene_from_pair(b1, b2, 20), codonspace::Error) << b1 << " " << b2;
  EXPECT_EQ(ann::gene_bases("AATTACGNRYCATG", Gene{3, 8, '+'}), "TTACGN");
  EXPECT_EQ(ann::gene_bases("AATTACGNRYCATG", Gene{6, 14, '-'}), "CATGRYNCG");  // IUPAC complemented
  const std::vector<std::pair<std::string, std::string>> translations = {
      {"ATGAAATAA", "MK"},          // final stop not written
      {"GTGTGGATAAGATGA", "MWIR"},  // GTG start as M; ATA is I and AGA is R in table 11
      {"TTGCCC", "MP"},             // no final stop: nothing dropped
      {"CTGTGAGGGTAG", "M*G"},      // an internal stop stays visible
      {"ATGANGCCNTAA", "MXX"},      // ambiguity codes give X
      {"ATGTTTTTAC", "MFL"},        // a trailing partial codon is ignored
  };
  for (const auto& [bases, protein] : translations) EXPECT_EQ(ann::translate_table11(bases), protein) << bases;
}

// Lines of at most 60 characters.
std::string wrapped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); i += 60) out += text.substr(i, 60) + "\n";
  return out;
}

// Each test has synthetic tables in data/ (some ORFs pass the plane, some do
// not) and genome.fna: four records of different lengths, the second in
// lower case with CR LF line ends and a name that GFF escapes.
class AnnotateRunTest : public testutil::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    testutil::Tables t;
    for (int i = 0; i < 64; ++i) {
      t.x[codonspace::str_rep(i)] = 1.0f;
      t.z[static_cast<size_t>(i)] = i % 3 == 0 ? 1.0f : -0.4f;
    }
    t.plane = "0 0 1 -0.05\n";
    testutil::write_tables(t);
    tmp_ = dir_ + "/tmp";
    fs::create_directory(tmp_);
    const size_t lengths[] = {30000, 12000, 45000, 7000};
    for (unsigned r = 0; r < 4; ++r) {
      records_.emplace_back(r == 1 ? "contig;2" : "contig_" + std::to_string(r + 1), random_bases(lengths[r], r + 3));
      const std::string eol = r == 1 ? "\r\n" : "\n";
      fasta_ += ">" + records_[r].first + " synthetic contig" + eol;
      for (size_t i = 0; i < lengths[r]; i += 70) {
        std::string line = records_[r].second.substr(i, 70);
        if (r == 1)
          for (char& c : line) c = static_cast<char>(c | 0x20);  // lower case
        fasta_ += line + eol;
      }
    }
    write_file("genome.fna", fasta_);
  }
  // Arguments of a run on input with the synthetic tables, outputs in outdir.
  static std::vector<std::string> args(const std::string& input, const std::string& outdir,
                                       std::vector<std::string> extra = {}) {
    std::vector<std::string> a = {"-q", "-d", "data", "-l", "150", "-s", "ATG,GTG", "-o", outdir, "-p", "g"};
    a.insert(a.end(), extra.begin(), extra.end());
    a.push_back(input);
    return a;
  }
  static void copy_tables_but_z(const std::string& dir) {
    fs::create_directory(dir);
    for (const char* t : {"HBondEnergies_MDmapped3.dat", "StackingEnergies_MD.dat", "best_plane_fixed.dat"})
      fs::copy_file(std::string("data/") + t, dir + "/" + t);
  }
  static std::string outputs(const std::string& outdir) {
    return read_file(outdir + "/g.gff") + read_file(outdir + "/g.faa") + read_file(outdir + "/g.fna");
  }
  // Runs codonspace-annotate with its temporary directories under tmp_,
  // which every run must leave empty.
  testutil::RunResult run(const std::vector<std::string>& args, const std::string& stdin_file = "/dev/null") const {
    testutil::RunResult r;
    r.status = testutil::wait_status(testutil::spawn(ANNOTATE, args, {stdin_file, "/dev/null", "err.txt", tmp_}));
    r.err = read_file("err.txt");
    EXPECT_TRUE(list_dir(tmp_).empty()) << "temporary directories left behind";
    return r;
  }
  std::string tmp_, fasta_;
  std::vector<std::pair<std::string, std::string>> records_;  // id, bases
};

// The expected outputs are computed from one-record codonspace runs of each
// contig; every worker count and input form (plain, gzip content under a
// plain name, gzip on standard input) gives them.
TEST_F(AnnotateRunTest, SameGenesAsOneRecordRunsForEveryMethodWorkerCountAndInput) {
  write_gzip("gzip_content.fna", fasta_);
  for (const char* method : {"1", "2"}) {
    auto gff_id = [](std::string id) {
      if (const size_t semicolon = id.find(';'); semicolon != std::string::npos) id.replace(semicolon, 1, "%3B");
      return id;
    };
    std::string gff = "##gff-version 3\n", faa, fna;
    for (const auto& [id, bases] : records_)
      gff += "##sequence-region " + gff_id(id) + " 1 " + std::to_string(bases.size()) + "\n";
    for (const auto& [id, bases] : records_) {
      write_file("contig.fna", ">" + id + "\n" + bases + "\n");
      const auto r = testutil::run_binary({"contig.fna", "150", method, "ATG", "GTG"});
      ASSERT_EQ(r.status, 0) << r.err;
      std::vector<std::tuple<long, long, char>> genes;
      for (const char* f : codonspace::FRAME_FILES) {
        std::istringstream in(read_file(f));
        std::string frame;
        long b1, b2;
        while (in >> frame >> b1 >> b2) genes.emplace_back(std::min(b1, b2), std::max(b1, b2), b1 < b2 ? '+' : '-');
      }
      std::sort(genes.begin(), genes.end());
      int n = 0;
      for (const auto& [s, e, strand] : genes) {
        const std::string name = id + "_" + std::to_string(++n), from = std::to_string(s), to = std::to_string(e);
        const std::string forward = bases.substr(s - 1, e - s + 1);
        const std::string gene = strand == '+' ? forward : testutil::reverse_complement(forward);
        gff += gff_id(id) + "\tcodonspace\tCDS\t" + from + "\t" + to + "\t.\t" + strand + "\t0\tID=" + gff_id(name) +
               ";start_codon=" + gene.substr(0, 3) + ";method=" + method + "\n";
        const std::string header = ">" + name + " # " + from + " # " + to + " # " + (strand == '+' ? "1" : "-1") + "\n";
        faa += header + wrapped(ann::translate_table11(gene));
        fna += header + wrapped(gene);
      }
    }
    ASSERT_GT(std::count(gff.begin(), gff.end(), '\n'), 25) << "the synthetic tables should let genes through";

    const std::vector<std::tuple<std::string, std::string, std::string>> variants = {
        {"genome.fna", "1", "/dev/null"}, {"genome.fna", "2", "/dev/null"},
        {"gzip_content.fna", "1", "/dev/null"}, {"-", "2", "gzip_content.fna"}};
    for (size_t v = 0; v < variants.size(); ++v) {
      const auto& [input, threads, in] = variants[v];
      SCOPED_TRACE(std::string("method ") + method + ", " + input + " on standard input " + in + ", -t " + threads);
      const std::string out = "out_m" + std::string(method) + "_" + std::to_string(v);
      const testutil::RunResult r = run(args(input, out, {"-m", method, "-t", threads}), in);
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(read_file(out + "/g.gff"), gff);
      EXPECT_EQ(read_file(out + "/g.faa"), faa);
      EXPECT_EQ(read_file(out + "/g.fna"), fna);
    }
  }
}

TEST_F(AnnotateRunTest, FailuresLeaveNoOutputsAndNoTemporaryDirectories) {
  write_file("dup.fna", ">a\nACGT\n>b\nACGT\n>a\nACGT\n");
  write_file("text.fna", "this is not a genome\n");
  fs::create_directory("old");
  write_file("old/g.gff", "earlier results\n");  // written by a previous run: must survive
  fs::create_directories("blocked/g.faa");         // an output name taken: the last step fails
  copy_tables_but_z("bad_tables");
  write_file("bad_tables/z.dat", "1 2 3 not-a-number\n");  // found by a worker's stage
  // Arguments, message, lines of standard error (usage errors add a hint).
  const std::vector<std::tuple<std::vector<std::string>, std::string, long>> cases = {
      {args("dup.fna", "old"), "'dup.fna' holds the sequence name 'a' twice", 1},
      {args("text.fna", "old"), "'text.fna' is not a usable FASTA file", 1},
      {args("genome.fna", "old", {"-d", "bad_tables", "-t", "2"}), "z.dat", 1},
      {args("genome.fna", "new_dir", {"-d", "bad_tables"}), "z.dat", 1},
      {args("genome.fna", "blocked"), "'blocked/g.faa'", 1},
      {{"-q", "-d", "data", "-o", ".", "-p", "genome", "genome.fna"},
       "the output file './genome.fna' is the input genome 'genome.fna'", 1},
      {{"-m", "4", "genome.fna"}, "the method (-m) must be 1, 2 or 3", 2},
      {{"-q"}, "no genome file given", 2},
  };
  for (const auto& [arguments, message, lines] : cases) {
    const testutil::RunResult r = run(arguments);
    EXPECT_EQ(r.status, 1) << message;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), lines) << r.err;
    EXPECT_EQ(list_dir("old"), std::vector<std::string>{"g.gff"}) << message;
    EXPECT_EQ(read_file("old/g.gff"), "earlier results\n") << message;
    EXPECT_FALSE(exists("new_dir")) << "an output directory made by a failed run stays";
  }
  EXPECT_EQ(list_dir("blocked"), std::vector<std::string>{"g.faa"});
  EXPECT_TRUE(read_file("genome.fna") == fasta_);
}

TEST_F(AnnotateRunTest, SignalsStopTheWorkersAndCleanUp) {
  // A z table that is a FIFO holds every worker in its first stage.
  copy_tables_but_z("slow_tables");
  ASSERT_EQ(mkfifo("slow_tables/z.dat", 0600), 0);
  for (auto [sig, expected] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
    const pid_t pid = testutil::spawn(ANNOTATE, args("genome.fna", "sig", {"-d", "slow_tables", "-t", "2"}),
                                      {"/dev/null", "/dev/null", "err.txt", tmp_});
    bool started = false;  // once both workers have their directories
    for (int i = 0; i < 500 && !started; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      for (const auto& name : list_dir(tmp_)) started = started || exists(tmp_ + "/" + name + "/worker1/data");
    }
    ASSERT_TRUE(started);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, sig);
    EXPECT_EQ(testutil::wait_status(pid), expected) << read_file("err.txt");
    EXPECT_NE(read_file("err.txt").find("interrupted by signal"), std::string::npos) << sig;
    EXPECT_TRUE(list_dir(tmp_).empty()) << "temporary directories left behind";
    EXPECT_FALSE(exists("sig")) << "output directory left behind";
  }
}

// With the synthetic tables installed under the prefix, the installed copy
// predicts without -d what the build predicts with -d data.
TEST_F(AnnotateRunTest, InstalledProgramFindsItsTables) {
  const std::string build = fs::path(CODONSPACE_BINARY).parent_path().string(), prefix = dir_ + "/prefix";
  const std::string cmd = "cmake --install '" + build + "' --prefix '" + prefix + "' >install.log 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << read_file("install.log");
  const std::string installed = prefix + "/bin/codonspace-annotate", tables = prefix + "/share/codonspace/data";
  ASSERT_TRUE(exists(prefix + "/bin/codonspace"));
  for (const auto& t : fs::directory_iterator("data"))
    fs::copy_file(t.path(), tables + "/" + t.path().filename().string(), fs::copy_options::overwrite_existing);
  std::vector<std::string> without_d = args("genome.fna", "installed");
  without_d.erase(without_d.begin() + 1, without_d.begin() + 3);
  ASSERT_EQ(testutil::wait_status(testutil::spawn(installed, without_d)), 0);
  ASSERT_EQ(run(args("genome.fna", "built")).status, 0);
  EXPECT_EQ(outputs("installed"), outputs("built"));
}

// The Snakemake workflow on a plain genome, a gzip-compressed two-record one
// and one under a .fa name, beside a file that is not a genome: the outputs
// of direct runs, and a summary of records, bases, G+C percent and genes.
TEST_F(AnnotateRunTest, WorkflowAnnotatesEveryGenomeOfADirectory) {
  if (std::system("command -v snakemake >/dev/null 2>&1") != 0) GTEST_SKIP() << "snakemake is not installed";
  const std::map<std::string, std::pair<std::string, std::vector<size_t>>> genomes = {
      {"first", {"first.fna", {0}}}, {"second", {"second.fna.gz", {1, 2}}}, {"third", {"third.fa", {3}}}};
  fs::create_directory("genomes");
  for (const auto& [name, file] : genomes) {
    std::string text;
    for (size_t r : file.second) text += ">" + records_[r].first + "\n" + records_[r].second + "\n";
    (file.first.ends_with(".gz") ? write_gzip : write_file)("genomes/" + file.first, text);
  }
  write_file("genomes/notes.txt", "not a genome\n");
  const std::string cmd = "snakemake -s '" + SOURCE_DIR + "/workflow/Snakefile' --cores 2 --quiet --config " +
                          "input_dir=genomes tables=data min_length=150 start_codons=ATG,GTG annotate='" +
                          ANNOTATE + "' >snakemake.log 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << read_file("snakemake.log");
  std::string want = "genome\trecords\tbases\tGC\tgenes\n";
  for (const auto& [name, file] : genomes) {
    ASSERT_EQ(run(args("genomes/" + file.first, "direct_" + name)).status, 0);
    for (const char* ext : {".gff", ".faa", ".fna"})
      EXPECT_EQ(read_file("results/" + name + "/" + name + ext), read_file("direct_" + name + "/g" + ext)) << name;
    const std::string fna = read_file("direct_" + name + "/g.fna");
    std::string all;
    for (size_t r : file.second) all += records_[r].second;
    const auto gc = std::count(all.begin(), all.end(), 'G') + std::count(all.begin(), all.end(), 'C');
    char row[128];
    std::snprintf(row, sizeof row, "%s\t%zu\t%zu\t%.2f\t%zu\n", name.c_str(), file.second.size(), all.size(),
                  100.0 * static_cast<double>(gc) / static_cast<double>(all.size()),
                  static_cast<size_t>(std::count(fna.begin(), fna.end(), '>')));
    want += row;
  }
  // The summary without its last column, the seconds taken.
  std::istringstream summary(read_file("results/summary.tsv"));
  std::string got, line;
  while (std::getline(summary, line)) got += line.substr(0, line.rfind('\t')) + "\n";
  EXPECT_EQ(got, want);
}

// -T predicts with tables trained on the input itself: the same outputs as
// a run with tables trained on those records beforehand.
TEST_F(AnnotateRunTest, SelfTrainingUsesTablesTrainedOnTheInput) {
  const std::string seq = ann::read_fasta(SOURCE_DIR + "/example/ctrachomatis.fna").at(0).sequence;
  write_file("two.fna", ">a\n" + seq.substr(0, 150000) + "\n>b\n" + seq.substr(150000, 100000) + "\n");
  codonspace::self_train({seq.substr(0, 150000), seq.substr(150000, 100000)}, SOURCE_DIR + "/data", "trained",
                         {240, {"ATG", "GTG"}});
  const std::vector<std::string> common = {"-q", "-l", "240", "-s", "ATG,GTG", "-t", "2", "-p", "g"};
  std::vector<std::string> self = common, given = common;
  for (const char* a : {"-T", "-o", "self", "two.fna"}) self.push_back(a);
  for (const char* a : {"-d", "trained", "-o", "given", "two.fna"}) given.push_back(a);
  ASSERT_EQ(run(self).status, 0);
  ASSERT_EQ(run(given).status, 0);
  EXPECT_TRUE(outputs("self") == outputs("given"));
  EXPECT_GT(read_file("self/g.gff").size(), 5000u);
}

}  // namespace
