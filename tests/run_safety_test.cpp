// A run never touches files it did not create: user files under the run's
// names, links, write-protected results, a second run in the directory,
// signals. Write errors and unusable table values are reported as they are.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "core/codon.h"
#include "io/file_io.h"
#include "test_util.h"

namespace fs = std::filesystem;
using testutil::exists;
using testutil::list_dir;
using testutil::read_file;
using testutil::run_binary;
using testutil::write_file;

namespace {
// With ATG and a minimum of 10 the scan finds, among others, 1 15
// (ATG AAA ATG AAA TAA) and 16 27 (ATG CCC CCC TGA).
const std::string GENOME =
    ">g\nATGAAAATGAAATAAATGCCCCCCTGATTATTTTTTCATTTACATGAAATAGCCATGTAACCTTATTTCATTTACCCATGAAATGA\n";

// Every name of the directory tree with what it is: a link's target, a
// directory, or a file's permission bits, size and a hash of its content.
std::map<std::string, std::string> snapshot() {
  std::map<std::string, std::string> s;
  for (const auto& e : fs::recursive_directory_iterator(".")) {
    const std::string name = e.path().string();
    if (e.is_symlink())
      s[name] = "link to " + fs::read_symlink(e.path()).string();
    else if (e.is_directory())
      s[name] = "directory";
    else
    {
      const std::string content = read_file(name);
      s[name] = "mode " + std::to_string(static_cast<int>(fs::status(e.path()).permissions())) + ", " +
                std::to_string(content.size()) + " bytes, hash " + std::to_string(std::hash<std::string>{}(content));
    }
  }
  return s;
}

void expect_mentions(const std::string& text, const std::vector<std::string>& parts, const std::string& context) {
  for (const auto& part : parts) EXPECT_NE(text.find(part), std::string::npos) << context << ": " << text;
}

// A genome of n random bases (fixed seed) in lines of 60.
std::string random_genome(size_t n) {
  std::string g = ">random\n";
  g.reserve(n + n / 60 + 16);
  unsigned long x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 6364136223846793005UL + 1442695040888963407UL;
    g += "ACGT"[(x >> 33) & 3];
    if (i % 60 == 59) g += '\n';
  }
  return g + "\n";
}

// Runs the executable with standard error captured, as an unprivileged user
// when the tests run as root (root writes through write protection).
testutil::RunResult run_unprivileged(const std::vector<std::string>& args) {
  testutil::RunResult r;
  int err_pipe[2];
  if (pipe(err_pipe) != 0) return r;
  std::vector<std::string> argv_s = {CODONSPACE_BINARY};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
    dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    close(err_pipe[0]);
    close(err_pipe[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(err_pipe[1]);
  char buf[4096];
  ssize_t n;
  while ((n = read(err_pipe[0], buf, sizeof buf)) > 0) r.err.append(buf, static_cast<size_t>(n));
  close(err_pipe[0]);
  r.status = testutil::wait_status(pid);
  return r;
}
}  // namespace

class RunSafetyTest : public testutil::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    // X counts AAA, Y counts CCC, Z counts ATG.
    testutil::Tables t;
    t.x = {{"AAA", 1}};
    t.y = {{"CCC", 1}};
    t.z[57] = 1;
    t.plane = "1 -1 0 0\n";
    testutil::write_tables(t);
    write_file("data/codon1", "4.7 5.53 9.66 2.27 3.93 8.25 7.07 6.87 5.45 6.75\n"
                              "6.56 1.37 1.08 3.86 2.92 5.34 5.96 2.42 4.06 5.84\n");
    write_file("genome.fna", GENOME);
  }
};

TEST_F(RunSafetyTest, FilesUnderTheRunsNamesAreRefusedUntouched) {
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
      {"'temp' and 'proS' under method 2", "2", {file("temp"), file("proS")}, {"temp", "proS"}},
      {"'codon' and 'test1' under method 3", "3", {file("codon"), file("test1")}, {"codon, test1"}},
      {"a link under a working name", "1", {link("longest_orfs")}, {"longest_orfs"}},
      {"a directory under a working name", "1", {directory("main_strand")}, {"main_strand"}},
      {"leftovers of an interrupted run",
       "1",
       {file("processed_genome"), file("prediction_orfs")},
       {"interrupted", "rm -- prediction_orfs processed_genome"}},
      {"a link under the gene file's name", "1", {link("gene_sequences")}, {"'gene_sequences'", "symbolic link"}},
      {"a link under a frame file's name", "2", {link("3complementary_orfs")}, {"'3complementary_orfs'", "link"}},
      {"a directory under a frame file's name", "1", {directory("2main_orfs")}, {"'2main_orfs'", "regular file"}},
  };
  for (const auto& c : cases) {
    for (const auto& make : c.setup) make();
    const auto before = snapshot();
    const auto r = run_binary({"genome.fna", "10", c.method, "ATG"});
    EXPECT_EQ(r.status, 1) << c.what;
    expect_mentions(r.err, c.mentions, c.what);
    EXPECT_EQ(snapshot(), before) << c.what;
    for (const auto& e : list_dir())
      if (e != "data" && e != "genome.fna") fs::remove_all(e);
  }
  // 'temp' is a working file of methods 2 and 3 only: method 1 runs beside it.
  write_file("temp", "mine");
  EXPECT_EQ(run_binary({"genome.fna", "10", "1", "ATG"}).status, 0);
  EXPECT_EQ(read_file("temp"), "mine");
  EXPECT_TRUE(exists("gene_sequences"));
}

TEST_F(RunSafetyTest, WriteProtectedResultIsRefusedBeforeAnyResultIsReplaced) {
  if (geteuid() == 0) {
    ASSERT_EQ(chmod(".", 0777), 0);
  }
  const int first = run_unprivileged({"genome.fna", "10", "1", "ATG"}).status;
  if (first == 126) GTEST_SKIP() << "root here cannot become an unprivileged user";
  ASSERT_EQ(first, 0);
  ASSERT_EQ(chmod("gene_sequences", 0444), 0);
  const auto before = snapshot();
  ASSERT_EQ(before.count("./3main_orfs"), 1u);
  const auto r = run_unprivileged({"genome.fna", "10", "1", "ATG"});
  EXPECT_EQ(r.status, 1);
  expect_mentions(r.err, {"'gene_sequences'", std::strerror(EACCES)}, "write-protected");
  EXPECT_EQ(snapshot(), before);
}

TEST_F(RunSafetyTest, SecondRunInTheDirectoryIsRefusedAtOnce) {
  // This process holds the lock a running codonspace would hold.
  const int fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  const auto before = snapshot();
  const auto r = run_binary({"genome.fna", "10", "1", "ATG"});
  EXPECT_EQ(r.status, 1);
  expect_mentions(r.err, {"another codonspace run", "'" + fs::current_path().string() + "'"}, "locked");
  EXPECT_EQ(snapshot(), before);
  close(fd);
  EXPECT_EQ(run_binary({"genome.fna", "10", "1", "ATG"}).status, 0);
}

TEST_F(RunSafetyTest, SignalsRemoveTheWorkingFilesAndEndTheRun) {
  write_file("genome.fna", random_genome(6000000));
  const auto before = snapshot();
  // The run inherits this process's dispositions: an ignored signal would
  // stay ignored.
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) signal(sig, SIG_DFL);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    const pid_t pid = testutil::spawn(CODONSPACE_BINARY, {"genome.fna", "0", "1", "ATG", "GTG", "TTG", "CTG"});
    // Mid-run: the ORF list is being written.
    bool running = true;
    int early_status = -1;
    while (running && !exists("prediction_orfs")) {
      int status;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        running = false;
        early_status = status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(running) << "the run ended before it could be interrupted, status " << early_status;
    if (sig == SIGTERM) {
      // A second run meanwhile is refused and leaves the first one alone.
      const auto second = run_binary({"genome.fna", "0", "1", "ATG"});
      EXPECT_EQ(second.status, 1);
      expect_mentions(second.err, {"another codonspace run"}, "second run");
    }
    ASSERT_EQ(kill(pid, sig), 0);
    EXPECT_EQ(testutil::wait_status(pid), 128 + sig) << strsignal(sig);
    EXPECT_EQ(snapshot(), before) << strsignal(sig);
  }
}

TEST_F(RunSafetyTest, StandardOutputOnAFullDeviceFailsMethodsTwoAndThree) {
  for (const char* method : {"2", "3"}) {
    const auto r = run_binary({"genome.fna", "10", method, "ATG"}, -1, "/dev/full");
    EXPECT_EQ(r.status, 1) << method;
    expect_mentions(r.err, {"standard output"}, method);
  }
}

TEST_F(RunSafetyTest, WriteErrorsKeepTheirCause) {
  // The stream fails while it is being filled; later calls reset errno
  // before the error is reported.
  for (bool at_close : {false, true}) {
    codonspace::File f("/dev/full", "w");
    ASSERT_TRUE(f.is_open());
    for (int i = 0; i < 20000; ++i) std::fputs("ACGT", f.get());
    errno = 0;
    testutil::expect_error([&] { at_close ? f.close_output() : f.check_write(); },
                           {"'/dev/full'", std::strerror(ENOSPC)}, at_close ? "close_output" : "check_write");
  }
  // A file-size limit met in the middle of the processed genome.
  write_file("genome.fna", random_genome(30000));
  const auto r = run_binary({"genome.fna", "10", "1", "ATG"}, 12000);
  EXPECT_EQ(r.status, 1);
  expect_mentions(r.err, {"'processed_genome'", std::strerror(EFBIG)}, "file-size limit");
  EXPECT_EQ(list_dir(), (std::vector<std::string>{"data", "genome.fna"}));
}

TEST_F(RunSafetyTest, TableValuesThatOverflowTheVectorAreNamed) {
  const struct {
    const char* what;
    const char* file;
    std::map<std::string, float> x, y;
    int z_codon;  // index given z_value, or -1
    float z_value;
    const char* codon;
  } cases[] = {
      {"Z total beyond single precision", "data/z.dat", {}, {}, 57, 3e38f, "ATG"},
      {"negative Y total", "data/StackingEnergies_MD.dat", {}, {{"CCC", -3e38f}}, -1, 0, "CCC"},
      {"modulus beyond single precision", "data/HBondEnergies_MDmapped3.dat", {{"AAA", 1e20f}}, {}, -1, 0, "AAA"},
  };
  for (const auto& c : cases) {
    testutil::Tables t;
    t.x = c.x;
    t.y = c.y;
    if (c.z_codon >= 0) t.z[static_cast<size_t>(c.z_codon)] = c.z_value;
    testutil::write_tables(t);
    const auto r = run_binary({"genome.fna", "10", "1", "ATG"});
    EXPECT_EQ(r.status, 1) << c.what;
    expect_mentions(r.err, {c.file, c.codon}, c.what);
    EXPECT_EQ(r.err.find("nan"), std::string::npos) << c.what << ": " << r.err;
    EXPECT_EQ(list_dir(), (std::vector<std::string>{"data", "genome.fna"})) << c.what;
  }
}
