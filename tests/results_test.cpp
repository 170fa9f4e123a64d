// Longest-ORF selection, the gene sequence file and the per-frame lists.
#include <gtest/gtest.h>

#include "io/file_io.h"
#include "stages/stages.h"
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
      {"complementary run, no final line end", "900 601 \n870 601", "900 601\n"},
      {"first number plays no part", "7 30 \n7 30 \n9 31 \n", "7 30\n9 31\n"},
  };
  for (const auto& c : cases) {
    write_file(SIGNAL, c.signal);
    EXPECT_EQ(longest_orf_dna(), 0) << c.name;
    EXPECT_EQ(read_file(LONGEST_ORFS), c.longest) << c.name;
  }
  write_file(SIGNAL, "101 400 \n221\n");
  EXPECT_THROW(longest_orf_dna(), Error);
}

class GeneSequenceTest : public testutil::TempDirTest {};

TEST_F(GeneSequenceTest, RecordsOfBothStrandsInLinesOfEighty) {
  std::string g200;
  for (int i = 0; i < 200; ++i) g200 += "ACGT"[i % 4];
  const std::string rc81 = testutil::reverse_complement(g200.substr(0, 81));
  const std::string plus = "> +strand gene; start: ", minus = "> -strand gene; start: ";
  const struct {
    const char* name;
    std::string genome, pairs, genes, main_strand, comp_strand;
  } cases[] = {
      {"both, in list order", "CTATTTCATGG", "9 1\n2 4\n",
       minus + "9 , end: 1\nATGAAATAG\n" + plus + "2 , end: 4\nTAT\n", "2 4\n", "9 1\n"},
      {"80 bases: one line", g200, "1 80\n", plus + "1 , end: 80\n" + g200.substr(0, 80) + "\n", "1 80\n", ""},
      {"163 bases: three lines", g200, "3 163\n",
       plus + "3 , end: 163\n" + g200.substr(2, 80) + "\n" + g200.substr(82, 80) + "\n" + g200.substr(162, 1) + "\n",
       "3 163\n", ""},
      {"81 bases, complementary", g200, "81 1\n",
       minus + "81 , end: 1\n" + rc81.substr(0, 80) + "\n" + rc81.substr(80) + "\n", "", "81 1\n"},
  };
  for (const auto& c : cases) {
    write_file(PROCESSED_GENOME, c.genome);
    write_file(LONGEST_ORFS, c.pairs);
    EXPECT_EQ(orf_sequence_final(), 0) << c.name;
    EXPECT_EQ(read_file(GENE_SEQUENCES), c.genes) << c.name;
    EXPECT_EQ(read_file(MAIN_STRAND), c.main_strand) << c.name;
    EXPECT_EQ(read_file(COMPLEMENTARY_STRAND), c.comp_strand) << c.name;
  }
  write_file(PROCESSED_GENOME, "ATGAAATAGCC");
  write_file(LONGEST_ORFS, "1 9\n12 1\n");
  testutil::expect_error(orf_sequence_final, {LONGEST_ORFS}, "pair beyond the genome");
}

class ReadingFrameTest : public testutil::TempDirTest {};

TEST_F(ReadingFrameTest, FrameFromStartRemainderAndStrand) {
  write_file(LONGEST_ORFS, "1 300\n2 301\n3 302\n4 303\n901 602\n902 603\n903 604\n7 7\n1000 4\n1002 999\n1003 2\n");
  const std::string frames[] = {"+1 1 300\n+1 4 303\n", "+2 2 301\n", "+3 3 302\n", "-1 903 604\n-1 1002 999\n",
                                "-2 902 603\n", "-3 901 602\n-3 1000 4\n-3 1003 2\n"};
  EXPECT_EQ(reading_frame(), 0);
  for (size_t f = 0; f < 6; ++f) EXPECT_EQ(read_file(testutil::result_files()[f + 1]), frames[f]) << f;
}
