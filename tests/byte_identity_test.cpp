// Every result file of methods 1-3 on the bundled example genome and on a
// random genome, compared with digests of the files an earlier, file-by-file
// implementation of the stages wrote. Any change of rounding, order or
// filtering anywhere in a method shows up here as a changed digest.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

const std::string SOURCE_DIR = CODONSPACE_SOURCE_DIR;

// 64-bit FNV-1a of a file's bytes, as 16 hex digits.
std::string digest(const std::string& path) {
  const std::string bytes = testutil::read_file(path);
  uint64_t h = 14695981039346656037ULL;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

// A random single-record genome of about 150 kb: random spacers, and random
// ORFs (a start codon, random sense codons, a stop codon), half of them on
// the complementary strand, so that every method has candidates to
// keep and to drop. The seed is fixed and the standard fully specifies the
// Mersenne twister's output.
std::string random_genome() {
  std::mt19937 rng(20240601u);
  const auto pick = [&rng](const char* letters, uint32_t n) { return letters[rng() % n]; };
  std::string seq;
  while (seq.size() < 150000) {
    for (uint32_t n = 30 + rng() % 300; n > 0; --n) seq += pick("ACGT", 4);
    std::string orf = std::vector<std::string>{"ATG", "GTG", "TTG", "CTG"}[rng() % 4];
    // One ORF in three is drawn from only a few codons: a skewed composition.
    std::vector<std::string> codons;
    for (uint32_t n = rng() % 3 == 0 ? 2 + rng() % 6 : 64; codons.size() < n;) {
      std::string codon = {pick("ACGT", 4), pick("ACGT", 4), pick("ACGT", 4)};
      if (codon != "TAA" && codon != "TAG" && codon != "TGA") codons.push_back(codon);
    }
    for (uint32_t n = 20 + rng() % 400; n > 0; --n) orf += codons[rng() % codons.size()];
    orf += std::vector<std::string>{"TAA", "TAG", "TGA"}[rng() % 3];
    seq += rng() % 2 == 0 ? orf : testutil::reverse_complement(orf);
  }
  std::string fasta = ">random test genome\n";
  for (size_t i = 0; i < seq.size(); i += 70) fasta += seq.substr(i, 70) + "\n";
  return fasta;
}

struct Expected {
  const char* genome;  // "example" or "random"
  const char* method;
  std::vector<std::string> args;  // minimum length and start codons
  // gene_sequences, then the frame files +1 +2 +3 -1 -2 -3.
  std::array<const char*, 7> digests;
};

const char* const RESULT_NAMES[7] = {"gene_sequences",      "1main_orfs",          "2main_orfs",
                                     "3main_orfs",          "1complementary_orfs", "2complementary_orfs",
                                     "3complementary_orfs"};

}  // namespace

class ByteIdentityTest : public testutil::TempDirTest {};

TEST_F(ByteIdentityTest, ResultFilesOfEveryMethod) {
  std::filesystem::create_directory_symlink(SOURCE_DIR + "/data", "data");
  testutil::write_file("random.fna", random_genome());
  const std::vector<std::string> recommended = {"150", "ATG", "GTG", "TTG"};
  const std::vector<std::string> heaviest = {"60", "ATG", "GTG", "TTG", "CTG"};
  const Expected cases[] = {
      {"example", "1", recommended, {"89d58be4b09cc6ee", "ad364a36503ca1fb", "a7a99d37e5dae7c4", "167c0668991913b6",
        "be1bab2c8721c412", "1721161c39061dce", "453bc84088e988c8"}},
      {"example", "2", recommended, {"ccff87068fd2017a", "395c52a3fb2bad29", "67f7d204f8410484", "502b12372f04357c",
        "df13e9c41ab4832d", "232e9b9d3cac47f3", "aecff7925a244f99"}},
      {"example", "3", recommended, {"3922f9bf745ec00a", "22890019d562c393", "dfa9f3e4f659e4b6", "ea6efded465c6686",
        "22c7be7d532b2aa7", "0073d90af2f2e651", "6ef7092254d961fa"}},
      {"random", "1", heaviest, {"6998314ad8782165", "3ba67f90dd663328", "3ee945d9cd2208b7", "235ecdf6e610e794",
        "beed27178aea4737", "9c55f7f23b2077a0", "958f94db1a4cfd5f"}},
      {"random", "2", heaviest, {"84a440620e4d1fb2", "7ec62b07a49c3c61", "58fd5607c405f31f", "3d3b2e200aa0da28",
        "fb2b1057c7e906af", "2eaec33941d0b985", "aebf4b02b233d7c4"}},
      {"random", "3", heaviest, {"2f3357e35d42ba3b", "9dd9bb2b9ada9c63", "eaa0e8990f3c6256", "3ce2caf6c80f752c",
        "b8c6429d76cfd170", "3627344f43660787", "169d50f6b46cce70"}},
  };
  for (const Expected& c : cases) {
    SCOPED_TRACE(std::string(c.genome) + " genome, method " + c.method);
    const std::string genome = std::string(c.genome) == "example" ? SOURCE_DIR + "/example/ctrachomatis.fna"
                                                                   : std::string("random.fna");
    std::vector<std::string> args = {genome, c.args[0], c.method};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    const testutil::RunResult run = testutil::run_binary(args);
    ASSERT_EQ(run.status, 0) << run.err;
    for (size_t f = 0; f < 7; ++f) EXPECT_EQ(digest(RESULT_NAMES[f]), c.digests[f]) << RESULT_NAMES[f];
  }
}
