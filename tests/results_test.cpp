// Longest-ORF selection, the gene sequence file and the per-frame lists.
#include <gtest/gtest.h>

#include "file_io.h"
#include "stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::read_file;
using testutil::write_file;

class LongestOrfTest : public testutil::TempDirTest {};

TEST_F(LongestOrfTest, FirstPairOfEachRunWithTheSameStop) {
  const struct {
    const char* name;
    const char* signal;
    const char* longest;
  } cases[] = {
      {"run of three, then one", "101 400 \n221 400 \n311 400 \n601 900 \n", "101 400\n601 900\n"},
      {"equal stops not adjacent", "101 400 \n601 900 \n161 400 \n", "101 400\n601 900\n161 400\n"},
      {"complementary run", "900 601 \n870 601 \n", "900 601\n"},
      {"single pair, no final line end", "5 10", "5 10\n"},
      {"empty", "", ""},
      {"first number plays no part", "7 30 \n7 30 \n9 31 \n", "7 30\n9 31\n"},
  };
  for (const auto& c : cases) {
    write_file(SIGNAL, c.signal);
    EXPECT_EQ(longest_orf_dna(), 0) << c.name;
    EXPECT_EQ(read_file(LONGEST_ORFS), c.longest) << c.name;
  }
}

TEST_F(LongestOrfTest, CutShortListIsAnError) {
  write_file(SIGNAL, "101 400 \n221\n");
  EXPECT_THROW(longest_orf_dna(), Error);
}

class GeneSequenceTest : public testutil::TempDirTest {
 protected:
  void run(const std::string& genome, const std::string& pairs) {
    write_file(PROCESSED_GENOME, genome);
    write_file(LONGEST_ORFS, pairs);
    EXPECT_EQ(orf_sequence_final(), 0);
  }
};

TEST_F(GeneSequenceTest, RecordsOfBothStrands) {
  const std::string plus = "> +strand gene; start: ";
  const std::string minus = "> -strand gene; start: ";
  const struct {
    const char* name;
    std::string genome, pairs, genes, main_strand, comp_strand;
  } cases[] = {
      {"direct", "ATGAAATAGCC", "1 9\n", plus + "1 , end: 9\nATGAAATAG\n", "1 9\n", ""},
      {"complementary", "CTATTTCATGG", "9 1\n", minus + "9 , end: 1\nATGAAATAG\n", "", "9 1\n"},
      {"unknown characters become G on the complementary strand", "ANGR", "4 1\n", minus + "4 , end: 1\nGCGT\n",
       "", "4 1\n"},
      {"both, in list order", "CTATTTCATGG", "9 1\n2 4\n",
       minus + "9 , end: 1\nATGAAATAG\n" + plus + "2 , end: 4\nTAT\n", "2 4\n", "9 1\n"},
      {"empty list", "ACGT", "", "", "", ""},
  };
  for (const auto& c : cases) {
    run(c.genome, c.pairs);
    EXPECT_EQ(read_file(GENE_SEQUENCES), c.genes) << c.name;
    EXPECT_EQ(read_file(MAIN_STRAND), c.main_strand) << c.name;
    EXPECT_EQ(read_file(COMPLEMENTARY_STRAND), c.comp_strand) << c.name;
  }
}

TEST_F(GeneSequenceTest, EightyBasesPerLine) {
  std::string genome;
  for (int i = 0; i < 200; ++i) genome += "ACGT"[i % 4];
  auto rc = [](std::string s) {
    std::string r(s.rbegin(), s.rend());
    for (char& ch : r) ch = comp(ch);
    return r;
  };
  const struct {
    long b1, b2;
    std::vector<std::string> lines;
  } cases[] = {
      {1, 80, {genome.substr(0, 80)}},
      {1, 81, {genome.substr(0, 80), genome.substr(80, 1)}},
      {3, 163, {genome.substr(2, 80), genome.substr(82, 80), genome.substr(162, 1)}},
      {81, 1, {rc(genome.substr(0, 81)).substr(0, 80), rc(genome.substr(0, 81)).substr(80)}},
      {200, 121, {rc(genome.substr(120, 80))}},
  };
  for (const auto& c : cases) {
    run(genome, std::to_string(c.b1) + " " + std::to_string(c.b2) + "\n");
    std::string expected = std::string(c.b1 < c.b2 ? "> +" : "> -") + "strand gene; start: " +
                           std::to_string(c.b1) + " , end: " + std::to_string(c.b2);
    for (const auto& line : c.lines) expected += "\n" + line;
    expected += "\n";
    EXPECT_EQ(read_file(GENE_SEQUENCES), expected) << c.b1 << " " << c.b2;
  }
}

TEST_F(GeneSequenceTest, PairBeyondTheGenomeIsAnError) {
  for (const char* pairs : {"1 12\n", "1 9\n12 1\n", "0 4\n"}) {
    write_file(PROCESSED_GENOME, "ATGAAATAGCC");
    write_file(LONGEST_ORFS, pairs);
    EXPECT_THROW(orf_sequence_final(), Error) << pairs;
  }
}

class ReadingFrameTest : public testutil::TempDirTest {};

TEST_F(ReadingFrameTest, FrameFromStartRemainderAndStrand) {
  write_file(LONGEST_ORFS,
             "1 300\n2 301\n3 302\n4 303\n901 602\n902 603\n903 604\n7 7\n1000 4\n1002 999\n1003 2\n");
  const std::pair<const char*, const char*> expected[] = {
      {"1main_orfs", "+1 1 300\n+1 4 303\n"},
      {"2main_orfs", "+2 2 301\n"},
      {"3main_orfs", "+3 3 302\n"},
      {"1complementary_orfs", "-1 903 604\n-1 1002 999\n"},
      {"2complementary_orfs", "-2 902 603\n"},
      {"3complementary_orfs", "-3 901 602\n-3 1000 4\n-3 1003 2\n"},
  };
  EXPECT_EQ(reading_frame(), 0);
  for (const auto& [file, lines] : expected) EXPECT_EQ(read_file(file), lines) << file;
}

TEST_F(ReadingFrameTest, EmptyListGivesSixEmptyFiles) {
  write_file(LONGEST_ORFS, "");
  EXPECT_EQ(reading_frame(), 0);
  for (const char* file : FRAME_FILES) {
    ASSERT_TRUE(testutil::exists(file)) << file;
    EXPECT_EQ(read_file(file), "") << file;
  }
}
