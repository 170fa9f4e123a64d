// Longest-ORF selection, the gene sequence file and the per-frame lists.
#include <gtest/gtest.h>

#include "io/file_io.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::read_file;
using testutil::write_file;

class ResultsTest : public testutil::TempDirTest {};

// The first pair of each run of pairs with the same stop; the first number
// plays no part.
TEST_F(ResultsTest, LongestOrfOfEachRunWithTheSameStop) {
  write_file(SIGNAL, "101 400 \n221 400 \n601 900 \n161 400 \n7 30 \n7 30 \n900 601 \n870 601");
  EXPECT_EQ(longest_orf_dna(), 0);
  EXPECT_EQ(read_file(LONGEST_ORFS), "101 400\n601 900\n161 400\n7 30\n900 601\n");
  write_file(SIGNAL, "101 400 \n221\n");
  EXPECT_THROW(longest_orf_dna(), Error);
}

TEST_F(ResultsTest, GeneRecordsOfBothStrandsInLinesOfEightyAndFrameLists) {
  std::string g200;
  for (int i = 0; i < 200; ++i) g200 += "ACGT"[i % 4];
  const std::string rc81 = testutil::reverse_complement(g200.substr(0, 81));
  write_file(PROCESSED_GENOME, g200);
  write_file(LONGEST_ORFS, "3 163\n81 1\n");
  EXPECT_EQ(orf_sequence_final(), 0);
  EXPECT_EQ(read_file(GENE_SEQUENCES), "> +strand gene; start: 3 , end: 163\n" + g200.substr(2, 80) + "\n" +
                                           g200.substr(82, 80) + "\n" + g200.substr(162, 1) + "\n" +
                                           "> -strand gene; start: 81 , end: 1\n" + rc81.substr(0, 80) + "\n" +
                                           rc81.substr(80) + "\n");
  EXPECT_EQ(read_file(MAIN_STRAND) + read_file(COMPLEMENTARY_STRAND), "3 163\n81 1\n");
  write_file(LONGEST_ORFS, "1 9\n201 1\n");
  testutil::expect_error(orf_sequence_final, {LONGEST_ORFS}, "pair beyond the genome");

  // The frame: the start's remainder and the strand.
  write_file(LONGEST_ORFS, "1 300\n2 301\n3 302\n4 303\n901 602\n902 603\n903 604\n7 7\n1000 4\n1002 999\n1003 2\n");
  const std::string frames[] = {"+1 1 300\n+1 4 303\n", "+2 2 301\n", "+3 3 302\n", "-1 903 604\n-1 1002 999\n",
                                "-2 902 603\n", "-3 901 602\n-3 1000 4\n-3 1003 2\n"};
  EXPECT_EQ(reading_frame(), 0);
  for (size_t f = 0; f < 6; ++f) EXPECT_EQ(read_file(testutil::result_files()[f + 1]), frames[f]) << f;
}
