// Genome intake, the ORF scan and the export of ORF sequences.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "file_io.h"
#include "stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::read_file;
using testutil::write_file;

namespace {
// The 30-base genome of the scan examples: a direct ORF 1..9 and a
// complementary one whose start is at 18 and whose stop ends at 10.
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
      {"upper-cased, line ends dropped", ">h\nACGT\nacgt\n", "ACGTACGT"},
      {"header only", ">h\n", ""},
      {"last line without line end", ">h\nACGT\nAC", "ACGTAC"},
      {"carriage returns, blanks, tabs dropped", ">h\r\nAC GT\r\nac\tgt\r\n", "ACGTACGT"},
      {"ambiguity letters kept", ">h\nACNNRY\nn\n", "ACNNRYN"},
      {"no line feed at all", ">only a header", ""},
      {"sequence without header loses its first line", "ACGT\nTTTT\n", "TTTT"},
      {"empty file", "", ""},
      {"'>' inside a line is not a header", ">h\nAC>G\n", "AC>G"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(preprocess(c.input), 0) << c.name;
    EXPECT_EQ(read_file(PROCESSED_GENOME), c.processed) << c.name;
  }
}

TEST_F(PreprocessTest, SecondRecordIsRefused) {
  for (const std::string input : {">a\nACGT\n>b\nTTTT\n", ">a\r\nACGT\r\n>b\r\nTTTT\r\n", ">a\nACGT\n\n>b\n"}) {
    try {
      preprocess(input);
      ADD_FAILURE() << "accepted: " << input;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("genome.fna"), std::string::npos) << e.what();
    }
  }
}

class OrfScanTest : public testutil::TempDirTest {
 protected:
  std::string scan(const std::string& genome, const std::vector<std::string>& starts, int min_length = 0) {
    write_file(PROCESSED_GENOME, genome);
    EXPECT_EQ(generate_orf(min_length, starts), 0);
    return read_file(PREDICTION_ORFS);
  }
};

TEST_F(OrfScanTest, BoundaryPairsOfBothStrands) {
  const std::vector<std::string> atg = {"ATG"};
  const struct {
    const char* name;
    std::string genome;
    std::vector<std::string> starts;
    const char* orfs;
  } cases[] = {
      {"direct then complementary", EXAMPLE_GENOME, atg, "1 9\n18 10\n"},
      {"two starts share a stop, longest first", "ATGATGCCCTAG" + std::string(10, 'C'), atg, "1 12\n4 12\n"},
      {"complementary starts in decreasing order", "TTACATCCCCATCCCTTA" + std::string(8, 'C'), atg,
       "12 1\n6 1\n"},
      {"unknown character counts as C: TNA is a complementary stop", "TNACATCCCTTACCC", atg, "6 1\n"},
      {"starts of two codons in one frame", "GTGATGCCCTAACCC", {"ATG", "GTG"}, "1 12\n4 12\n"},
      {"stop without start, complementary start before any stop", "TAACATCCCTTACCCCCC", atg, ""},
      {"start without a later stop", "CCCATGCCCCCCCCC", atg, ""},
      {"stops of the other frames do not end an ORF", "ATGCTAACTGACCC", atg, ""},
      {"empty genome", "", atg, ""},
      {"shorter than a codon", "AT", atg, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(scan(c.genome, c.starts), c.orfs) << c.name;
}

TEST_F(OrfScanTest, StopsInTheLastCodonsOfTheGenomeAreFound) {
  const std::pair<const char*, const char*> cases[] = {
      {"ATGAAATAA", "1 9\n"},         {"CATGAAATAA", "2 10\n"},      {"CCATGAAATAA", "3 11\n"},
      {"TTACATCCCTTA", "6 1\n"},      {"CTTACATCCCTTA", "7 2\n"},    {"CCTTACATCCCTTA", "8 3\n"},
      {"ATGTAA", "1 6\n"},            {"ATGAAATA", ""},              {"CCCCATGAAATAAC", "5 13\n"},
      {"TTACATTTA", "6 1\n"},
  };
  for (const auto& [genome, orfs] : cases) EXPECT_EQ(scan(genome, {"ATG"}), orfs) << genome;
}

TEST_F(OrfScanTest, LengthMeasureIsTheSameOnBothStrands) {
  // Both ORFs of the example have 9 bases and the measure 9 + 2 = 11.
  const std::pair<int, const char*> cases[] = {{0, "1 9\n18 10\n"}, {11, "1 9\n18 10\n"}, {12, ""}};
  for (const auto& [min_length, orfs] : cases) EXPECT_EQ(scan(EXAMPLE_GENOME, {"ATG"}, min_length), orfs) << min_length;
}

class ExportTest : public testutil::TempDirTest {};

TEST_F(ExportTest, OrfSequencesInReadingDirection) {
  const struct {
    const char* name;
    const char* genome;
    const char* pairs;
    const char* lines;
  } cases[] = {
      {"both strands", EXAMPLE_GENOME, "1 9\n18 10\n", "9 1 9 ATGAAATAA\n9 18 10 ATGCCCTAA\n"},
      {"unknown characters", "ANGRCCCCC", "1 4\n4 1\n", "4 1 4 ANGR\n4 4 1 GCGT\n"},
      {"whole genome", "ACG", "1 3\n3 1\n", "3 1 3 ACG\n3 3 1 CGT\n"},
      {"no pairs", EXAMPLE_GENOME, "", ""},
  };
  for (const auto& c : cases) {
    write_file(PROCESSED_GENOME, c.genome);
    write_file(PREDICTION_ORFS, c.pairs);
    EXPECT_EQ(generate_longest_orf_input(), 0) << c.name;
    EXPECT_EQ(read_file(LONGEST_ORF_SEQUENCES), c.lines) << c.name;
  }
}

TEST_F(ExportTest, PairOutsideTheGenomeOrCutShortIsAnError) {
  write_file(PROCESSED_GENOME, "ATGAAATAAC");
  for (const char* pairs : {"1 9\n2 11\n", "11 2\n", "0 5\n", "1 9\n5\n"}) {
    write_file(PREDICTION_ORFS, pairs);
    EXPECT_THROW(generate_longest_orf_input(), Error) << pairs;
  }
  write_file(PREDICTION_ORFS, "2 11\n");
  try {
    generate_longest_orf_input();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(PROCESSED_GENOME), std::string::npos) << e.what();
  }
}

TEST_F(ExportTest, LongGenomeWithFarApartPairs) {
  // Pairs far beyond each other, behind each other and longer than any
  // buffer the exporter may keep must all give the bases of their positions.
  std::string genome(1300000, 'C');
  std::mt19937 gen(7);
  for (char& c : genome) c = "ACGT"[gen() % 4];
  const std::pair<long, long> pairs[] = {{1, 9},          {1199990, 1200002}, {70000, 69990}, {2, 4},
                                         {1300000, 1299000}, {5, 1300000},     {1300000, 1},   {65540, 65530},
                                         {1250000, 1250300}, {1100000, 3}};
  std::string list, expected;
  for (const auto& [b1, b2] : pairs) {
    list += std::to_string(b1) + " " + std::to_string(b2) + "\n";
    const long low = std::min(b1, b2), n = std::labs(b1 - b2) + 1;
    std::string seq = genome.substr(static_cast<size_t>(low - 1), static_cast<size_t>(n));
    if (b1 > b2) {
      std::reverse(seq.begin(), seq.end());
      for (char& c : seq) c = comp(c);
    }
    expected += std::to_string(n) + " " + std::to_string(b1) + " " + std::to_string(b2) + " " + seq + "\n";
  }
  write_file(PROCESSED_GENOME, genome);
  write_file(PREDICTION_ORFS, list);
  ASSERT_EQ(generate_longest_orf_input(), 0);
  EXPECT_TRUE(read_file(LONGEST_ORF_SEQUENCES) == expected) << "exported sequences differ";
}
