// Genome intake and the exporters' refusals (the ORF scan is checked by
// self_training_test against the in-memory scan, and by the mirror tests).
#include <gtest/gtest.h>

#include <cstdio>

#include "io/file_io.h"
#include "stages/protein_stages.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::read_file;
using testutil::write_file;

namespace {
// 30 bases: a direct ORF 1..9 and a complementary one 18..10.
const char* const EXAMPLE_GENOME = "ATGAAATAATTAGGGCATCCCTTACCCCCC";
}  // namespace

class PreprocessTest : public testutil::TempDirTest {
 protected:
  int preprocess(const std::string& input) {
    write_file("genome.fna", input);
    return preprocess_genome(std::fopen("genome.fna", "r"), "genome.fna");
  }
};

TEST_F(PreprocessTest, NormalisesTheSequence) {
  const struct {
    const char* name;
    std::string input, processed;
  } cases[] = {
      {"upper-cased; carriage returns, blanks, tabs dropped", ">h\r\nAC GT\r\nac\tgt\r\n", "ACGTACGT"},
      {"ambiguity letters and X kept", ">h\nACNNRY\nnx\n", "ACNNRYNX"},
      {"header without line end before the end of a line", ">h\r\nA", "A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(preprocess(c.input), 0) << c.name;
    EXPECT_EQ(read_file(PROCESSED_GENOME), c.processed) << c.name;
  }
  const std::pair<std::string, const char*> refused[] = {
      {">a\r\nACGT\r\n\r\n>b\r\n", "second header begins on line 4"},
      {">h\nAC>G\n", "line 2 holds '>'"},
      {"ACGT\nTTTT\n", "does not begin with a '>'"},
      {">h\nAC\xC3\xA9\n", "line 2 holds byte 0xC3"},
  };
  for (const auto& [input, reason] : refused)
    testutil::expect_error([&, &input = input] { preprocess(input); }, {"'genome.fna'", reason}, input);
}

class ExportTest : public testutil::TempDirTest {};

// Each exporter (their records are checked by the byte-identity runs):
// pairs outside the genome name the list and the genome; a missing list
// is named and still creates the output.
TEST_F(ExportTest, PairsOutsideTheGenomeAndMissingListsAreRefused) {
  const struct {
    int (*run)();
    const char* pairs;
    const char* output;
  } exporters[] = {{generate_longest_orf_input, PREDICTION_ORFS, LONGEST_ORF_SEQUENCES},
                   {generate_talvisca_Seq, SIGNAL, TALVISCA_SEQ},
                   {generate_stddev_Seq, SIGNAL66GENES, STDDEV_SEQ}};
  write_file(PROCESSED_GENOME, EXAMPLE_GENOME);
  for (const auto& x : exporters) {
    write_file(x.pairs, "1 9\n2 31\n");
    testutil::expect_error(x.run, {x.pairs, PROCESSED_GENOME}, x.pairs);
    std::remove(x.pairs);
    EXPECT_EQ(testutil::expect_missing_input(x.run, x.pairs), "files:generate_input\n") << x.pairs;
    EXPECT_EQ(read_file(x.output), "") << x.pairs;
  }
  write_file(PREDICTION_ORFS, "1 9\n5\n");
  testutil::expect_error(generate_longest_orf_input, {PREDICTION_ORFS}, "cut short");
}
