// Method-3 screening: ORF translation, the composition deviation from the
// reference and the deviation filter refuse what they cannot read, naming
// the file. Their results are checked by the byte-identity runs, but for
// two rules no genome there reaches: the deviation's six-decimal round trip
// and the filter's strict threshold.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "io/file_io.h"
#include "stages/protein_stages.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::write_file;

class DeviationTest : public testutil::TempDirTest {};

TEST_F(DeviationTest, RoundTripStrictFilterAndUnreadableInputs) {
  // Unknown letters, as drafts hold them, give no residue; TTG gives L.
  write_file(STDDEV_SEQ, "6 30 25\nTTGAAA\n9 1 9\nANGTGGTGA\n90");
  EXPECT_EQ(orfs_to_protein_seq(), 0);
  EXPECT_EQ(testutil::read_file(TEST1), "30 25\nLK\n1 9\nW\n0 0\n\n");
  std::remove(STDDEV_SEQ);
  testutil::expect_missing_input(orfs_to_protein_seq, STDDEV_SEQ);

  // The reference is a table of the tables directory: a damaged one, then
  // damaged and missing records.
  std::filesystem::create_directories("data");
  write_file(REFERENCE_COMPOSITION, "1 2 3 4 5 6 7 8 9 ten 11 12 13 14 15 16 17 18 19 20\n");
  write_file(TEST1, "10 18\nMA\n");
  testutil::expect_error([] { stddev(); }, {"'data/codon1'"}, "damaged reference");
  // Reference percentages of more than six decimals: the deviation is
  // 20.086479 only when both sides are read back as "%f" printed them
  // (20.086481 without the round trip), which the byte-identity runs do not reach.
  write_file(REFERENCE_COMPOSITION, "6.1234567 5.5 9.87654321 2.2 4.0 8.25 7.1 6.9 5.3 6.2\n"
                                    "6.6 1.1 1.3 3.9 2.9 5.4 5.9 2.4 4.1 5.8\n");
  write_file(TEST1, "10 18\nLQ" + std::string(22, 'V') + "\n");
  ASSERT_EQ(stddev(), 0);
  EXPECT_EQ(testutil::read_file(SEQ_STD_DEV), "10 18 20.086479\n");
  write_file(TEST1, "MA\n10 18\n");
  testutil::expect_error([] { stddev(); }, {"'test1'"}, "protein line first");
  std::remove(TEST1);
  testutil::expect_missing_input(stddev, TEST1);

  // The filter's threshold is strict; not a number never passes.
  write_file(SEQ_STD_DEV, "10 300 2.000000\n400 900 3.500000\n905 1200 3.499999\n0 0 -nan\n");
  EXPECT_EQ(check_stddev_gene(), 0);
  EXPECT_EQ(testutil::read_file(STD_CHECK), "10 300\n905 1200\n");
  write_file(SEQ_STD_DEV, "10 300 2.0\n400 900\n");
  testutil::expect_error([] { check_stddev_gene(); }, {"'seq_std_dev'"}, "cut short");
}
