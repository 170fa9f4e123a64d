// End-to-end runs of codonspace in fresh directories: the command line, the
// genomes it refuses, its results, failures, and a run never touching files
// it did not create.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <thread>

#include "io/file_io.h"
#include "test_util.h"

namespace fs = std::filesystem;
using testutil::exists;
using testutil::expect_contains;
using testutil::list_dir;
using testutil::read_file;
using testutil::run_binary;
using testutil::write_file;

namespace {
// 86 bases; with ATG and a minimum of 10 the scan finds 1 15, 7 15, 16 27,
// 39 28, 44 52, 56 36, 71 63 and 78 86 (55 60 is too short), and after the
// last window 79 68, whose start has no complementary stop above it. The
// last stop ends in the last base.
const std::string GENOME =
    "ATGAAAATGAAATAAATGCCCCCCTGATTATTTTTTCATTTACATGAAATAGCCATGTAACCTTATTTCATTTACCCATGAAATGA";

// The genome as a user might hand it in: CR LF line ends, mixed case, a tab.
const std::string GENOME_FILE = ">test genome\r\natgaaaatgaaataaatgcccccctgatta\r\n" + GENOME.substr(30, 15) +
                                "\t" + GENOME.substr(45, 15) + "\r\n" + GENOME.substr(60);

// Every name of the directory tree with what it is: a link's target, a
// directory, or a file's permission bits, size and a hash of its content.
std::map<std::string, std::string> snapshot() {
  std::map<std::string, std::string> s;
  for (const auto& e : fs::recursive_directory_iterator(".")) {
    const std::string name = e.path().string();
    if (e.is_symlink()) {
      s[name] = "link to " + fs::read_symlink(e.path()).string();
    } else if (e.is_directory()) {
      s[name] = "directory";
    } else {
      const std::string content = read_file(name);
      s[name] = "mode " + std::to_string(static_cast<int>(fs::status(e.path()).permissions())) + ", " +
                std::to_string(content.size()) + " bytes, hash " + std::to_string(std::hash<std::string>{}(content));
    }
  }
  return s;
}
}  // namespace

class CliTest : public testutil::TempDirTest {
 protected:
  // The genome, and tables under which X counts AAA, Y counts CCC, Z counts
  // ATG; genes have more AAA than CCC.
  void SetUp() override {
    TempDirTest::SetUp();
    write_file("genome.fna", GENOME_FILE);
    testutil::Tables t;
    t.x = {{"AAA", 1}};
    t.y = {{"CCC", 1}};
    t.z[57] = 1;
    t.plane = "1 -1 0 0\n";
    testutil::write_tables(t);
    write_file("data/codon1", "4.7 5.53 9.66 2.27 3.93 8.25 7.07 6.87 5.45 6.75\n"
                              "6.56 1.37 1.08 3.86 2.92 5.34 5.96 2.42 4.06 5.84\n");
  }
  static std::map<std::string, std::string> results() {
    std::map<std::string, std::string> r;
    for (const auto& f : testutil::result_files())
      if (exists(f)) r[f] = read_file(f);
    return r;
  }
  // The sorted names of a directory holding names and, when asked, the results.
  static std::vector<std::string> names(std::vector<std::string> extra, bool with_results) {
    if (with_results)
      for (const auto& f : testutil::result_files()) extra.push_back(f);
    std::sort(extra.begin(), extra.end());
    return extra;
  }
};

// A refused command line: the message and the usage line on standard
// output, exit status 1, nothing written.
TEST_F(CliTest, RefusedCommandLinesWriteNothing) {
  const auto usage = run_binary({});
  EXPECT_EQ(usage.status, 1);
  EXPECT_NE(usage.out.find("USAGE"), std::string::npos) << usage.out;
  const std::string method = "Please specify Method", length = "Invalid minimum sequence length: ",
                    start = "Invalid start codon: ";
  // Checked in order: count, method, length, start codons, genome. The
  // method is 1, 2 or 3 in decimal digits, the length decimal digits of at
  // most 10000000; stop codons are no starts.
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"genome.fna"}, "Please specify minimum sequence length"},
      {{"genome.fna", "100", "1"}, "Please specify start codon"},
      {{"missing.fna", "100", "0", "ATG"}, method},
      {{"genome.fna", "abc", "9", "TAA"}, method},
      {{"genome.fna", "100", "18446744073709551617", "ATG"}, method},
      {{"genome.fna", "abc", "1", "TAA"}, length + "abc\n"},
      {{"genome.fna", "10000001", "1", "ATG"}, length + "10000001\n"},
      {{"missing.fna", "100", "1", "TAA"}, start + "TAA\n"},
      {{"missing.fna", "0", "1", "atg", "aNg", "QQ"}, start + "aNg\n"},
  };
  for (const auto& [args, message] : cases) {
    std::string name;
    for (const auto& a : args) name += "'" + a + "' ";
    const auto r = run_binary(args);
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.out.find(message), std::string::npos) << name << r.out;
    EXPECT_TRUE(r.out.ends_with(usage.out)) << name << r.out;
    EXPECT_EQ(r.err, "") << name;
    EXPECT_EQ(list_dir(), (std::vector<std::string>{"data", "genome.fna"})) << name;
  }
  const auto version = run_binary({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "codonspace " CODONSPACE_VERSION "\n");
  // -h follows the usage line with the rules of every argument.
  const auto help = run_binary({"--help", "genome.fna", "0"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with(usage.out) && help.out.size() > 2 * usage.out.size()) << help.out;
}

// Method 1 writes the seven results; methods 2 and 3 screen its candidates:
// of the plane's survivors only 56 36 (21 bases) reaches the 16 bases the
// evaluator translates, and its 7 residues are rejected. No run leaves a
// working file.
TEST_F(CliTest, ResultsOfEveryMethod) {
  // Spelled otherwise, and gzip content under a plain name.
  write_file("packed.fna", testutil::gzip(GENOME_FILE));
  const auto r = run_binary({"packed.fna", "010", "01", "aTg", "atg"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  const std::map<std::string, std::string> expected = {
      {"gene_sequences",
       "> +strand gene; start: 1 , end: 15\nATGAAAATGAAATAA\n"
       "> -strand gene; start: 39 , end: 28\nATGAAAAAATAA\n"
       "> +strand gene; start: 44 , end: 52\nATGAAATAG\n"
       "> -strand gene; start: 56 , end: 36\nATGGCTATTTCATGTAAATGA\n"
       "> -strand gene; start: 71 , end: 63\nATGAAATAA\n"
       "> +strand gene; start: 78 , end: 86\nATGAAATGA\n"
       // No complementary stop lies above its start: reported after the scan.
       "> -strand gene; start: 79 , end: 68\nATGGGTAAATGA\n"},
      {"1main_orfs", "+1 1 15\n"},
      {"2main_orfs", "+2 44 52\n"},
      {"3main_orfs", "+3 78 86\n"},
      {"1complementary_orfs", "-1 39 28\n"},
      {"2complementary_orfs", "-2 56 36\n-2 71 63\n"},
      {"3complementary_orfs", "-3 79 68\n"},
  };
  EXPECT_EQ(results(), expected);
  EXPECT_EQ(list_dir(), names({"data", "genome.fna", "packed.fna"}, true));
  for (const char* method : {"2", "3"}) {
    const auto screened = run_binary({"genome.fna", "10", method, "ATG"});
    EXPECT_EQ(screened.status, 0) << method << screened.err;
    expect_contains(screened.out, {" Number of files analyzed =  1\n", " Number of Proteins Found =  0\n"}, method);
    EXPECT_EQ(read_file("gene_sequences"), "") << method;
    EXPECT_EQ(list_dir(), names({"data", "genome.fna", "packed.fna"}, true)) << method;
  }
}

// A genome that cannot be read whole, or a failed stage: one line on
// standard error naming the file and the cause (the stage; the codon of
// table values whose vector overflows single precision, never nan), exit
// status 1, and the directory as it was, the earlier results included.
TEST_F(CliTest, RefusedGenomesAndFailedStagesLeaveTheDirectoryAsItWas) {
  const std::string packed = testutil::gzip(GENOME_FILE);
  std::string z63, z_huge, x_huge = read_file("data/HBondEnergies_MDmapped3.dat");
  for (int i = 0; i < 64; ++i) z_huge += i == 57 ? "3e38\n" : "0\n";
  for (int i = 0; i < 63; ++i) z63 += "0\n";
  x_huge.replace(x_huge.find("AAA 1\n"), 6, "AAA 1e20\n");
  const struct {
    const char* file;
    std::optional<std::string> content;  // none: the file is removed
    const char* genome;
    const char* named;  // beside the file
  } cases[] = {
      {"missing.fna", std::nullopt, "missing.fna", std::strerror(ENOENT)},
      {"header_only.fna", ">header only\n", "header_only.fna", "holds no bases"},
      {"truncated.gz", packed.substr(0, packed.size() - 12), "truncated.gz", "damaged gzip stream"},
      {"genome.fna", ">a\nATGAAATAA\n>b\nATGAAATAA\n", "genome.fna", "preprocess_genome: "},  // two records
      {"data/HBondEnergies_MDmapped3.dat", std::nullopt, "genome.fna", "calculate_vectors_prediction: "},
      {"data/z.dat", z63, "genome.fna", "calculate_vectors_prediction: "},
      {"data/best_plane_fixed.dat", "1 -1 0\n", "genome.fna", "final_output_prediction: "},
      {"data/z.dat", z_huge, "genome.fna", "ATG"},
      {"data/HBondEnergies_MDmapped3.dat", x_huge, "genome.fna", "AAA"},
  };
  ASSERT_EQ(run_binary({"genome.fna", "10", "1", "ATG"}).status, 0);
  const auto before = results();
  for (const auto& c : cases) {
    const std::optional<std::string> kept = exists(c.file) ? std::optional(read_file(c.file)) : std::nullopt;
    c.content ? write_file(c.file, *c.content) : static_cast<void>(std::remove(c.file));
    const auto dir = list_dir();
    const auto r = run_binary({c.genome, "10", "1", "ATG"});
    EXPECT_EQ(r.status, 1) << c.file;
    EXPECT_EQ(r.out, "") << c.file;
    expect_contains(r.err, {c.file, c.named}, c.file);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.find("nan"), std::string::npos) << r.err;
    EXPECT_EQ(list_dir(), dir) << c.file;
    EXPECT_EQ(results(), before) << c.file;
    kept ? write_file(c.file, *kept) : static_cast<void>(std::remove(c.file));
  }
}

TEST_F(CliTest, WriteErrorsFailTheRunAndKeepTheirCause) {
  // The file size limit stops a write: the processed genome has 86 bytes and
  // the ORF list 59, the sequence records are longer. A single ORF of 906
  // bases makes the gene file (954 bytes) the longest output, cut short
  // while the results are written; results are never left half written.
  write_file("one_orf.fna", ">one\nATG" + std::string(900, 'A') + "TAA\n");
  const struct {
    const char* genome;
    const char* name;
    long limit;
  } cases[] = {{"genome.fna", "'processed_genome'", 40}, {"one_orf.fna", "'gene_sequences'", 930}};
  for (const auto& c : cases) {
    const auto r = run_binary({c.genome, "10", "1", "ATG"}, testutil::in_child(testutil::file_size_limit(c.limit)));
    EXPECT_EQ(r.status, 1) << c.name;
    expect_contains(r.err, {c.name, std::strerror(EFBIG)}, c.name);
    EXPECT_EQ(list_dir(), names({"data", "genome.fna", "one_orf.fna"}, false)) << c.name;
  }
  // Standard output on a full device.
  const auto full = run_binary({"genome.fna", "10", "2", "ATG"}, {"/dev/null", "/dev/full"});
  EXPECT_EQ(full.status, 1);
  expect_contains(full.err, {"standard output"});
}

TEST_F(CliTest, FilesUnderTheRunsNamesAreRefusedUntouched) {
  const auto file = [](const char* name) { return [name] { write_file(name, std::string("mine: ") + name); }; };
  const auto link = [](const char* name) {
    return [name] {
      write_file("victim", "the link's target\n");
      ASSERT_EQ(symlink("victim", name), 0);
    };
  };
  const auto directory = [](const char* name) { return [name] { fs::create_directory(name); }; };
  const struct {
    const char* what;
    const char* method;
    std::vector<std::function<void()>> setup;
    std::vector<std::string> mentions;
  } cases[] = {
      {"a user file 'signal'", "1", {file("signal")}, {"signal", "move or rename"}},
      {"leftovers of an interrupted run",
       "1",
       {file("processed_genome"), file("prediction_orfs")},
       {"interrupted", "rm -- prediction_orfs processed_genome"}},
      {"a link under the gene file's name", "1", {link("gene_sequences")}, {"'gene_sequences'", "symbolic link"}},
      {"a directory under a frame file's name", "1", {directory("2main_orfs")}, {"'2main_orfs'", "regular file"}},
  };
  for (const auto& c : cases) {
    for (const auto& make : c.setup) make();
    const auto before = snapshot();
    const auto r = run_binary({"genome.fna", "10", c.method, "ATG"});
    EXPECT_EQ(r.status, 1) << c.what;
    expect_contains(r.err, c.mentions, c.what);
    EXPECT_EQ(snapshot(), before) << c.what;
    for (const auto& e : list_dir())
      if (e != "data" && e != "genome.fna") fs::remove_all(e);
  }
}

TEST_F(CliTest, SignalsRemoveTheWorkingFilesAndEndTheRun) {
  write_file("genome.fna", testutil::fasta("random", testutil::random_bases(6000000, 1)));
  const auto before = snapshot();
  // The run inherits this process's dispositions: an ignored signal would
  // stay ignored.
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, SIG_DFL);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    const pid_t pid = testutil::spawn(CODONSPACE_BINARY, {"genome.fna", "0", "1", "ATG", "GTG", "TTG", "CTG"});
    // Mid-run: the ORF list is being written.
    int status = 0;
    while (!exists("prediction_orfs") && waitpid(pid, &status, WNOHANG) == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(exists("prediction_orfs")) << "the run ended before it could be interrupted, status " << status;
    if (sig == SIGTERM) {
      // A second run meanwhile is refused at once and leaves the first one alone.
      const auto second = run_binary({"genome.fna", "0", "1", "ATG"});
      EXPECT_EQ(second.status, 1);
      expect_contains(second.err, {"another codonspace run", "'" + fs::current_path().string() + "'"}, "second");
    }
    ASSERT_EQ(kill(pid, sig), 0);
    EXPECT_EQ(testutil::wait_status(pid), 128 + sig) << strsignal(sig);
    EXPECT_EQ(snapshot(), before) << strsignal(sig);
  }
}
