// Method-3 screening: ORF translation, the composition deviation from the
// reference and the deviation filter refuse what they cannot read, naming
// the file; the filter's threshold (no genome reaches it exactly, so the
// byte-identity runs that check the rest do not).
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

TEST_F(DeviationTest, StrictFilterAndUnreadableInputsRefusedNamingTheFile) {
  std::remove(STDDEV_SEQ);
  testutil::expect_missing_input(orfs_to_protein_seq, STDDEV_SEQ);

  // The reference is a table of the tables directory: a damaged one, then
  // damaged and missing records.
  std::filesystem::create_directories("data");
  write_file(REFERENCE_COMPOSITION, "1 2 3 4 5 6 7 8 9 ten 11 12 13 14 15 16 17 18 19 20\n");
  write_file(TEST1, "10 18\nMA\n");
  testutil::expect_error([] { stddev(); }, {"'data/codon1'"}, "damaged reference");
  write_file(REFERENCE_COMPOSITION, "6.1 5.5 9.8 2.2 4.0 8.2 7.1 6.9 5.3 6.2 6.6 1.1 1.3 3.9 2.9 5.4 5.9 2.4 4.1 5.8\n");
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
