// Method-3 screening: ORF translation, the composition deviation from the
// reference and the deviation filter (the candidate export is in
// genome_test.cpp with the other exporters).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "io/file_io.h"
#include "stages/protein_stages.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::read_file;
using testutil::write_file;

namespace {

// Reference percentages with more than six decimals, so that the values
// read back from "codon1_codonvalue" differ from the table's own.
const char* const REFERENCE = "6.1234567 5.5 9.87654321 2.2 4.0 8.25 7.1 6.9 5.3 6.2\n"
                              "6.6 1.1 1.3 3.9 2.9 5.4 5.9 2.4 4.1 5.8\n";

void write_reference(const std::string& text) {
  std::filesystem::create_directories("data");
  write_file(REFERENCE_COMPOSITION, text);
}

// The per-record percentages file: the 20 slots as "%f" prints them, fill
// where not given.
std::string percentages_file(const std::map<int, std::string>& slots, const std::string& fill = "0.000000") {
  std::string s;
  for (int k = 0; k < 20; ++k) s += (k > 0 ? "\n" : "") + (slots.count(k) != 0 ? slots.at(k) : fill);
  return s;
}

}  // namespace

class TranslationTest : public testutil::TempDirTest {};

TEST_F(TranslationTest, RecordsOfStddevSeq) {
  std::string long_seq, long_protein;  // 42003 bases, beyond any line buffer
  for (int i = 0; i < 7000; ++i) {
    long_seq += "GCTTGG";
    long_protein += "AW";
  }
  long_seq += "TAA";
  const struct {
    const char* name;
    std::string input, test1, nongene;
  } cases[] = {
      // No M for the start codon; N echoed, not translated; a stop ends the protein.
      {"records in order", "6 30 25\nTTGAAA\n9 1 9\nANGTGGTGA\n90", "30 25\nLK\n1 9\nW\n0 0\n\n",
       "TTGAAA\nANGTGGTGA\n\n"},
      {"longer than twenty thousand bases", "42003 5 42007\n" + long_seq + "\n90",
       "5 42007\n" + long_protein + "\n0 0\n\n", long_seq + "\n\n"},
  };
  for (const auto& c : cases) {
    write_file(STDDEV_SEQ, c.input);
    EXPECT_EQ(orfs_to_protein_seq(), 0) << c.name;
    EXPECT_EQ(read_file(TEST1), c.test1) << c.name;
    EXPECT_EQ(read_file(NONGENEFILE), c.nongene) << c.name;
  }
  std::remove(STDDEV_SEQ);
  testutil::expect_missing_input(orfs_to_protein_seq, STDDEV_SEQ);
}

class DeviationTest : public testutil::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    write_reference(REFERENCE);
  }
};

TEST_F(DeviationTest, CompositionDeviationFromTheReference) {
  const struct {
    const char* name;
    std::string protein;
    const char* deviation;  // sqrtf of the sum of squared differences over 19
  } cases[] = {
      {"one of each", "KNMITYFWCSEDVGAQHLRP", "2.299947"},
      // Without the six-decimal round trip of either side the last digit
      // comes out 1 instead of 9.
      {"both sides read back as printed", "LQ" + std::string(22, 'V'), "20.086479"},
  };
  for (const auto& c : cases) {
    write_file(TEST1, "10 18\n" + c.protein + "\n");
    ASSERT_EQ(stddev(), 0) << c.name;
    EXPECT_EQ(read_file(SEQ_STD_DEV), "10 18 " + std::string(c.deviation) + "\n") << c.name;
  }
  // The percentages of the last record, in the slot order P R L H Q A G V ...
  EXPECT_EQ(read_file(CODON_PERCENTAGES), percentages_file({{2, "4.166667"}, {4, "4.166667"}, {7, "91.666664"}}));
}

TEST_F(DeviationTest, RecordsWithoutAminoAcidsGiveNotANumber) {
  volatile float zero = 0.0f;
  char nan_text[16];  // 0 x 100 / 0, as the stage computes it
  std::snprintf(nan_text, sizeof nan_text, "%f", static_cast<double>(zero * 100.0f / zero));
  write_file(TEST1, "10 18\nMA\n0 0\n\n5 6\n");  // the last record has no protein line
  ASSERT_EQ(stddev(), 0);
  EXPECT_EQ(read_file(SEQ_STD_DEV), "10 18 15.464739\n0 0 " + std::string(nan_text) + "\n5 6 " + nan_text + "\n");
  // The per-record percentages hold the last record.
  EXPECT_EQ(read_file(CODON_PERCENTAGES), percentages_file({}, nan_text));
}

TEST_F(DeviationTest, UnusableReferenceOrInputs) {
  write_file(TEST1, "10 18\nMA\n");
  write_file(REFERENCE_COMPOSITION, "1 2 3 4 5 6 7 8 9 ten 11 12 13 14 15 16 17 18 19 20\n");
  testutil::expect_error([] { stddev(); }, {"'data/codon1'"}, "damaged reference");
  write_reference(REFERENCE);
  std::remove(TEST1);
  testutil::expect_missing_input(stddev, TEST1);
}

class FilterTest : public testutil::TempDirTest {};

TEST_F(FilterTest, DeviationsBelowThreePointFivePass) {
  const struct {
    const char* name;
    std::string deviations, kept;
  } cases[] = {
      {"threshold is strict", "10 300 2.000000\n400 900 3.500000\n905 1200 3.499999\n", "10 300\n905 1200\n"},
      {"not a number never passes", "0 0 nan\n0 0 -nan\n1 2 0.000000\n", "1 2\n"},
  };
  for (const auto& c : cases) {
    write_file(SEQ_STD_DEV, c.deviations);
    EXPECT_EQ(check_stddev_gene(), 0) << c.name;
    EXPECT_EQ(read_file(STD_CHECK), c.kept) << c.name;
  }
  write_file(SEQ_STD_DEV, "10 300 2.0\n400 900\n");
  testutil::expect_error([] { check_stddev_gene(); }, {"'seq_std_dev'"}, "cut short");
}
