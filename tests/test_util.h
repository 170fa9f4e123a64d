// Shared helpers of the test suite: a fresh working directory per test,
// file and sequence helpers, synthetic reference tables and a runner for the
// built programs.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <array>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace testutil {

// Every test runs in its own empty directory (the stages use fixed file
// names in the current directory); SetUp enters it, TearDown leaves and
// removes it.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string dir_;

 private:
  std::string old_cwd_;
};

void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);
// content as one gzip member, compressed at the given level.
std::string gzip(const std::string& content, int level = 6);
bool exists(const std::string& path);
// Names in the directory, sorted, without "." and "..".
std::vector<std::string> list_dir(const std::string& path = ".");
// Writes content to path; removes path when content is nullptr.
void put_file(const std::string& path, const char* content);

// The bases of s in the other strand's reading direction.
std::string reverse_complement(const std::string& s);
// n random bases; the same for the same seed.
std::string random_bases(size_t n, unsigned seed);
// text in lines of at most width characters, each ending in a line feed.
std::string wrapped(const std::string& text, size_t width = 60);
// One FASTA record.
std::string fasta(const std::string& id, const std::string& seq);
// The CDS lines of a GFF text: seqid, start, end, strand.
using Cds = std::tuple<std::string, long, long, char>;
std::vector<Cds> gff_cds(const std::string& gff);

// Expects text to hold every one of parts.
void expect_contains(const std::string& text, const std::vector<std::string>& parts,
                     const std::string& context = "");
// Expects f to throw an Error whose message holds every one of parts.
void expect_error(const std::function<void()>& f, const std::vector<std::string>& parts,
                  const std::string& context = "");

// A stage run in-process with standard output and error captured.
struct StageRun {
  int status = 0;
  std::string out, err;
};
StageRun run_captured(const std::function<int()>& stage);
// Runs a stage whose input is missing: expects an Error naming the quoted
// file; returns the run (its standard output) for further checks.
StageRun expect_missing_input(const std::function<int()>& stage, const std::string& file);

// Reference tables of a test: codon -> value for the two codon-value lists
// (codons not named get 0), the 64 z values in index order, the plane file.
struct Tables {
  std::map<std::string, float> x, y;
  std::array<float, 64> z{};
  std::string plane = "0 0 1 -0.5\n";
};
// Writes the four tables read by a run into ./data.
void write_tables(const Tables& t);

// The names of a run's seven result files: the gene file, then the frame
// files +1 +2 +3 -1 -2 -3.
std::vector<std::string> result_files();

// Where a started program's standard streams go, its TMPDIR when not empty,
// and what its process does last before it runs the program (a limit,
// another user, other streams). An empty out or err is captured by run()
// and thrown away by spawn().
struct SpawnIo {
  SpawnIo(std::string in_ = "/dev/null", std::string out_ = "", std::string err_ = "", std::string tmpdir_ = "")
      : in(std::move(in_)), out(std::move(out_)), err(std::move(err_)), tmpdir(std::move(tmpdir_)) {}
  std::string in, out, err, tmpdir;
  std::function<void()> before_exec;
};
// io with before_exec added.
SpawnIo in_child(std::function<void()> before_exec, SpawnIo io = {});
// Starts binary with args without waiting for it; returns its process id.
pid_t spawn(const std::string& binary, std::vector<std::string> args, const SpawnIo& io = {});
// Waits for the process: its exit status, or 128 + signal number.
int wait_status(pid_t pid);

struct RunResult {
  int status = -1;  // exit status, or 128 + signal number
  std::string out, err;
};
// Runs binary with args in the current directory to its end.
RunResult run(const std::string& binary, const std::vector<std::string>& args, const SpawnIo& io = {});
// The same for codonspace.
RunResult run_binary(const std::vector<std::string>& args, const SpawnIo& io = {});

// before_exec steps: a file-size limit (RLIMIT_FSIZE) of bytes; the
// program run as an unprivileged user when the tests run as root (root
// writes through write protection), exit status 126 when root cannot
// become one.
std::function<void()> file_size_limit(long bytes);
void drop_root();

}  // namespace testutil
