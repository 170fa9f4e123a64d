// Shared helpers of the test suite: a fresh working directory per test,
// file helpers, synthetic reference tables and a runner for the executable.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <array>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
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

// Expects f to throw an Error whose message holds every one of parts.
void expect_error(const std::function<void()>& f, std::initializer_list<std::string> parts,
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

// The evaluator report's opening banner and its closing counts.
extern const std::string REPORT_BANNER;
std::string report_counts(long files, long shorts, long stops, long skipped, long analyzed, long proteins);

// Reference tables of a test: codon -> value for the two codon-value lists
// (codons not named get 0), the 64 z values in index order, the plane file.
struct Tables {
  std::map<std::string, float> x, y;
  std::array<float, 64> z{};
  std::string plane = "0 0 1 -0.5\n";
};
// All 64 codons, one "CODON value" pair per line, in decreasing index order.
std::string codon_value_list(const std::map<std::string, float>& values);
// Writes the four tables read by a run into ./data.
void write_tables(const Tables& t);

// The working files of a method-1 run, and its seven result files.
extern const std::vector<std::string> WORKING_FILES;
extern const std::vector<std::string> RESULT_FILES;

struct RunResult {
  int status = -1;  // exit status, or 128 + signal number
  std::string out, err;
};
// Runs the built executable with args in the current directory, capturing
// standard output and error; fsize_limit >= 0 sets RLIMIT_FSIZE in the child;
// stdout_file, when given, receives standard output instead of the capture.
RunResult run_binary(const std::vector<std::string>& args, long fsize_limit = -1,
                     const char* stdout_file = nullptr);

// Where the standard streams of a spawned program go, and its TMPDIR when
// not empty.
struct SpawnIo {
  SpawnIo(std::string in_ = "/dev/null", std::string out_ = "/dev/null", std::string err_ = "/dev/null",
          std::string tmpdir_ = "")
      : in(std::move(in_)), out(std::move(out_)), err(std::move(err_)), tmpdir(std::move(tmpdir_)) {}
  std::string in, out, err, tmpdir;
};
// Starts binary with args without waiting for it; returns its process id.
pid_t spawn(const std::string& binary, std::vector<std::string> args, const SpawnIo& io = {});
// Waits for the process: its exit status, or 128 + signal number.
int wait_status(pid_t pid);

}  // namespace testutil
