// Longest-ORF selection and the gene sequence file (the per-frame lists are
// checked by codonspace's runs).
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

TEST_F(ResultsTest, GeneRecordsOfBothStrandsInLinesOfEighty) {
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

}
