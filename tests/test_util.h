// Shared helpers of the test suite: a fresh working directory per test,
// file and sequence helpers, synthetic tables and genomes, and a runner for
// the built programs.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <array>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/gene.h"

namespace testutil {

// A test in its own empty directory (the stages use fixed file names in
// the current directory): SetUp enters it, TearDown removes it.
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

std::string reverse_complement(const std::string& s);
// n random bases; the same for the same seed.
std::string random_bases(size_t n, unsigned seed);
// n random bases with runs of N and single other letters, as in drafts.
std::string draft_bases(size_t n, unsigned seed);
// The bases of the bundled example genome (about 1 Mb, one record).
std::string example_genome();
// One FASTA record, in lines of 70.
std::string fasta(const std::string& id, const std::string& seq);

// Expects text to hold every one of parts.
void expect_contains(const std::string& text, const std::vector<std::string>& parts,
                     const std::string& context = "");
// Expects f to throw an Error whose message holds every one of parts.
void expect_error(const std::function<void()>& f, const std::vector<std::string>& parts,
                  const std::string& context = "");
// Runs a stage whose input is missing: expects an Error naming the quoted
// file; returns what the stage wrote on standard output.
std::string expect_missing_input(const std::function<int()>& stage, const std::string& file);

// Tables of a test: codon -> value for the two codon-value lists (0 for the
// codons not named), the 64 z values in index order, the plane file.
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

// Random bases with genes planted in them: ATG, codons of CODING_CODONS
// (none of them the reverse complement of another, so the other strand
// reads no gene), TAA, each behind the ribosome-binding site AGGAGG and a
// 7-base spacer.
class PlantedGenome {
 public:
  static const std::vector<std::string> CODING_CODONS;
  PlantedGenome(unsigned seed, size_t length);
  // Plants a gene of codons codons (start and stop included), of
  // CODING_CODONS or of random sense codons without a site, on '+' from
  // start (1-based) or on '-' ending at start; returns it.
  codonspace::Gene plant(long start, int codons, char strand, bool coding = true);
  int pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
  std::string seq;

 private:
  std::string random(size_t n);
  std::mt19937 rng_;
};

// A started program's standard streams (an empty out or err is captured by
// run() and thrown away by spawn()), its TMPDIR when not empty, and what
// its process does last before it runs the program.
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

// A before_exec step: a file-size limit (RLIMIT_FSIZE) of bytes.
std::function<void()> file_size_limit(long bytes);

}  // namespace testutil
