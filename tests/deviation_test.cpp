// Method-3 screening: deviation candidate export, ORF translation, the
// composition deviation from the reference and the deviation filter.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "codon.h"
#include "file_io.h"
#include "protein_stages.h"
#include "stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::read_file;
using testutil::write_file;

namespace {

std::string fixed6(float v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%f", static_cast<double>(v));
  return buf;
}

std::string what_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

// Reference percentages with more than six decimals, so that the values
// read back from "codon1_codonvalue" differ from the table's own.
const std::array<const char*, 20> REFERENCE = {"6.1234567", "5.5", "9.87654321", "2.2", "4.0", "8.25", "7.1",
                                               "6.9",       "5.3", "6.2",        "6.6", "1.1", "1.3",  "3.9",
                                               "2.9",       "5.4", "5.9",        "2.4", "4.1", "5.8"};

void write_reference(const std::string& text) {
  std::filesystem::create_directories("data");
  write_file(REFERENCE_COMPOSITION, text);
}
std::string reference_text() {
  std::string s;
  for (const char* r : REFERENCE) s += std::string(r) + "\n";
  return s;
}

// The deviation of observed percentages from REFERENCE as the stage defines
// it: both sides as printed with "%f" and read back, differences, squares
// and the running sum in single precision, sqrtf of the sum over 19.
float expected_deviation(const std::array<float, 20>& observed) {
  float sum = 0.0f;
  for (int k = 0; k < 20; ++k) {
    const float e = std::strtof(fixed6(observed[k]).c_str(), nullptr);
    const float g = std::strtof(fixed6(std::strtof(REFERENCE[k], nullptr)).c_str(), nullptr);
    const float d = g - e;
    const float sq = d * d;
    sum = sum + sq;
  }
  return std::sqrt(sum / 19.0f);
}

std::string codon_file(const std::array<float, 20>& observed) {
  std::string s;
  for (int k = 0; k < 20; ++k) s += fixed6(observed[k]) + (k < 19 ? "\n" : "");
  return s;
}

std::string codonvalue_file(const std::array<float, 20>& observed) {
  std::string s;
  for (int k = 0; k < 20; ++k)
    s += fixed6(observed[k]) + "\t" + fixed6(std::strtof(REFERENCE[k], nullptr)) + "\n";
  return s;
}

float nan_of_empty_protein() {
  volatile float zero = 0.0f;
  const float scaled = zero * 100.0f;
  return scaled / zero;
}

std::string reverse_complement(const std::string& s) {
  std::string r(s.rbegin(), s.rend());
  for (char& c : r) c = comp_base(c);
  return r;
}

}  // namespace

class DeviationExportTest : public testutil::TempDirTest {};

TEST_F(DeviationExportTest, RecordsCarryTheirPair) {
  std::string genome(99, 'A');
  genome += "CGT";  // positions 100..102
  const struct {
    const char* name;
    std::string pairs, expected;
  } cases[] = {
      {"empty list", "", "90"},
      {"direct", "100 102\n", "3 100 102\nCGT\n90"},
      {"complementary", "102 100\n", "3 102 100\nACG\n90"},
      {"both", "100 102\n102 100\n", "3 100 102\nCGT\n3 102 100\nACG\n90"},
  };
  for (const auto& c : cases) {
    write_file(PROCESSED_GENOME, genome);
    write_file(SIGNAL66GENES, c.pairs);
    EXPECT_EQ(generate_stddev_Seq(), 0) << c.name;
    EXPECT_EQ(read_file(STDDEV_SEQ), c.expected) << c.name;
  }
  std::remove(SIGNAL66GENES);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(generate_stddev_Seq(), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("'signal66genes'"), std::string::npos);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "files:generate_input\n");
}

class TranslationTest : public testutil::TempDirTest {};

TEST_F(TranslationTest, GeneticCodeWithoutStops) {
  const std::map<char, std::string> code = {{'F', "TTT TTC"},
                                            {'L', "TTA TTG CTT CTC CTA CTG"},
                                            {'I', "ATT ATC ATA"},
                                            {'V', "GTT GTC GTA GTG"},
                                            {'S', "TCT TCC TCA TCG AGT AGC"},
                                            {'P', "CCT CCC CCA CCG"},
                                            {'T', "ACT ACC ACA ACG"},
                                            {'A', "GCT GCC GCA GCG"},
                                            {'G', "GGT GGC GGA GGG"},
                                            {'R', "CGT CGC CGA CGG AGA AGG"},
                                            {'D', "GAT GAC"},
                                            {'E', "GAA GAG"},
                                            {'N', "AAT AAC"},
                                            {'K', "AAA AAG"},
                                            {'H', "CAT CAC"},
                                            {'Q', "CAA CAG"},
                                            {'Y', "TAT TAC"},
                                            {'C', "TGT TGC"},
                                            {'M', "ATG"},
                                            {'W', "TGG"},
                                            {'\0', "TGA TAG TAA"}};
  int codons = 0;
  for (const auto& [letter, list] : code)
    for (size_t i = 0; i < list.size(); i += 4, ++codons)
      EXPECT_EQ(translate_codon(list[i], list[i + 1], list[i + 2]), letter) << list.substr(i, 3);
  EXPECT_EQ(codons, 64);
  for (const char* other : {"ANG", "atg", "AT\n", "NNN", "UUU"})
    EXPECT_EQ(translate_codon(other[0], other[1], other[2]), '\0') << other;
}

TEST_F(TranslationTest, RecordsOfStddevSeq) {
  const struct {
    const char* name;
    std::string input, test1, nongene;
  } cases[] = {
      {"MA", "9 10 18\nATGGCCTAA\n90", "10 18\nMA\n0 0\n\n", "ATGGCCTAA\n\n"},
      {"no M for the start codon", "6 30 25\nTTGAAA\n90", "30 25\nLK\n0 0\n\n", "TTGAAA\n\n"},
      {"3 bases are dropped", "3 1 3\nATG\n90", "0 0\n\n", "\n"},
      {"4 bases are kept", "4 1 4\nATGA\n90", "1 4\nM\n0 0\n\n", "ATGA\n\n\n"},
      {"N and lower case echoed only", "9 1 9\nANGaaaAAA\n90", "1 9\nK\n0 0\n\n", "ANGaaaAAA\n\n"},
      {"7 bases echo the line end", "7 1 7\nATGGCCA\n90", "1 7\nMA\n0 0\n\n", "ATGGCCA\n\n\n"},
      {"only the trailer", "90", "0 0\n\n", "\n"},
      {"record cut short at the end", "6 1 6\n", "1 6\n\n", "\n"},
      {"records in order", "6 1 6\nTTTGGG\n6 20 15\nTGGTGA\n90", "1 6\nFG\n20 15\nW\n0 0\n\n",
       "TTTGGG\nTGGTGA\n\n"},
  };
  for (const auto& c : cases) {
    write_file(STDDEV_SEQ, c.input);
    EXPECT_EQ(orfs_to_protein_seq(), 0) << c.name;
    EXPECT_EQ(read_file(TEST1), c.test1) << c.name;
    EXPECT_EQ(read_file(NONGENEFILE), c.nongene) << c.name;
  }
}

TEST_F(TranslationTest, RecordsLongerThanTwentyThousandBases) {
  std::string seq, protein;
  for (int i = 0; i < 7000; ++i) {
    seq += "GCTTGG";
    protein += "AW";
  }
  seq += "TAA";
  write_file(STDDEV_SEQ, std::to_string(seq.size()) + " 5 42007\n" + seq + "\n90");
  ASSERT_EQ(orfs_to_protein_seq(), 0);
  EXPECT_EQ(read_file(TEST1), "5 42007\n" + protein + "\n0 0\n\n");
  EXPECT_EQ(read_file(NONGENEFILE), seq + "\n\n");
}

TEST_F(TranslationTest, MissingInputFailsTheStage) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(orfs_to_protein_seq(), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("'stddev_seq'"), std::string::npos);
}

class DeviationTest : public testutil::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    write_reference(reference_text());
  }
};

TEST_F(DeviationTest, CompositionDeviationFromTheReference) {
  std::array<float, 20> ma{};
  ma[5] = 50.0f;   // A
  ma[17] = 50.0f;  // M
  const struct {
    const char* name;
    std::string protein;
    std::array<float, 20> observed;
  } cases[] = {
      {"MA", "MA", ma},
      {"letters outside the 20 are ignored", "XMBZAU*ma", ma},
      {"one of each", "KNMITYFWCSEDVGAQHLRP", {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5}},
      {"thirds round in float", "PPR", {200.0f / 3.0f, 100.0f / 3.0f}},
  };
  for (const auto& c : cases) {
    write_file(TEST1, "10 18\n" + c.protein + "\n");
    ASSERT_EQ(stddev(), 0) << c.name;
    EXPECT_EQ(read_file(CODON_PERCENTAGES), codon_file(c.observed)) << c.name;
    EXPECT_EQ(read_file(CODON1_CODONVALUE), codonvalue_file(c.observed)) << c.name;
    EXPECT_EQ(read_file(SEQ_STD_DEV), "10 18 " + fixed6(expected_deviation(c.observed)) + "\n") << c.name;
  }
  // Worked by hand: sum of (ref - obs)^2 over the 20 slots, over 19.
  write_file(TEST1, "10 18\nMA\n");
  ASSERT_EQ(stddev(), 0);
  double sum = 0;
  for (int k = 0; k < 20; ++k) {
    const double d = std::strtod(fixed6(std::strtof(REFERENCE[k], nullptr)).c_str(), nullptr) -
                     (k == 5 || k == 17 ? 50.0 : 0.0);
    sum += d * d;
  }
  EXPECT_NEAR(std::strtod(read_file(SEQ_STD_DEV).substr(6).c_str(), nullptr), std::sqrt(sum / 19), 1e-4);
}

TEST_F(DeviationTest, ProteinWithTheReferenceCompositionHasNoDeviation) {
  // 50 letters: each percentage is twice the count, exact in float.
  const char letters[] = "PRLHQAGVDESCWFYTIMNK";
  const int counts[20] = {4, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3};
  std::string protein, reference;
  for (int k = 0; k < 20; ++k) {
    protein += std::string(counts[k], letters[k]);
    reference += std::to_string(2 * counts[k]) + " ";
  }
  ASSERT_EQ(protein.size(), 50u);
  write_reference(reference + "\n99 extra values are ignored");
  write_file(TEST1, "7 3\n" + protein + "\n");
  ASSERT_EQ(stddev(), 0);
  EXPECT_EQ(read_file(SEQ_STD_DEV), "7 3 0.000000\n");
}

TEST_F(DeviationTest, RecordsWithoutAminoAcidsGiveNotANumber) {
  const std::string nan_text = fixed6(nan_of_empty_protein());
  ASSERT_TRUE(nan_text == "nan" || nan_text == "-nan") << nan_text;
  std::array<float, 20> nans;
  nans.fill(nan_of_empty_protein());
  const std::string deviation = fixed6(expected_deviation(nans));
  ASSERT_TRUE(deviation == "nan" || deviation == "-nan") << deviation;

  write_file(TEST1, "10 18\nMA\n0 0\n\n5 6\n");  // the last record has no protein line
  ASSERT_EQ(stddev(), 0);
  std::array<float, 20> ma{};
  ma[5] = ma[17] = 50.0f;
  EXPECT_EQ(read_file(SEQ_STD_DEV),
            "10 18 " + fixed6(expected_deviation(ma)) + "\n0 0 " + deviation + "\n5 6 " + deviation + "\n");
  // The per-record files hold the last record.
  std::string codon;
  for (int k = 0; k < 20; ++k) codon += nan_text + (k < 19 ? "\n" : "");
  EXPECT_EQ(read_file(CODON_PERCENTAGES), codon);
  EXPECT_EQ(read_file(CODON1_CODONVALUE), codonvalue_file(nans));
}

TEST_F(DeviationTest, UnusableReferenceOrInputs) {
  const struct {
    const char* name;
    const char* reference;  // nullptr: no file
  } cases[] = {
      {"missing", nullptr},
      {"19 numbers", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19\n"},
      {"malformed among the first 20", "1 2 3 4 5 6 7 8 9 ten 11 12 13 14 15 16 17 18 19 20\n"},
      {"empty", ""},
  };
  write_file(TEST1, "10 18\nMA\n");
  for (const auto& c : cases) {
    std::filesystem::remove(REFERENCE_COMPOSITION);
    if (c.reference != nullptr) write_reference(c.reference);
    const std::string what = what_of([] { stddev(); });
    EXPECT_NE(what.find("'data/codon1'"), std::string::npos) << c.name << ": " << what;
  }

  write_reference(reference_text());
  write_file(TEST1, "MA\n10 18\n");
  EXPECT_NE(what_of([] { stddev(); }).find("'test1'"), std::string::npos);

  std::filesystem::remove(TEST1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(stddev(), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("'test1'"), std::string::npos);
}

class FilterTest : public testutil::TempDirTest {};

TEST_F(FilterTest, DeviationsBelowThreePointFivePass) {
  const struct {
    const char* name;
    std::string deviations, kept;
  } cases[] = {
      {"threshold is strict", "10 300 2.000000\n400 900 3.500000\n905 1200 3.499999\n", "10 300\n905 1200\n"},
      {"not a number never passes", "0 0 nan\n0 0 -nan\n1 2 0.000000\n", "1 2\n"},
      {"empty", "", ""},
      {"last record without a line end is written once", "900 601 1.5", "900 601\n"},
  };
  for (const auto& c : cases) {
    write_file(SEQ_STD_DEV, c.deviations);
    EXPECT_EQ(check_stddev_gene(), 0) << c.name;
    EXPECT_EQ(read_file(STD_CHECK), c.kept) << c.name;
  }
  write_file(SEQ_STD_DEV, "10 300 2.0\n400 900\n");
  EXPECT_NE(what_of([] { check_stddev_gene(); }).find("'seq_std_dev'"), std::string::npos);
  std::remove(SEQ_STD_DEV);
  testing::internal::CaptureStderr();
  EXPECT_EQ(check_stddev_gene(), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("'seq_std_dev'"), std::string::npos);
}

TEST_F(DeviationTest, MethodThreeScreenFromPairsToSurvivors) {
  // Twenty sense codons, one per amino acid, and a stop: 5 % of each.
  const std::string all20 = "CCTCGTCTTCATCAAGCTGGTGTTGATGAATCTTGTTGGTTTTATACTATTATGAATAAATAA";
  const std::string ma = "ATGGCCTAA";
  const std::string genome = all20 + "CC" + ma + "CC" + reverse_complement(all20);
  write_reference("5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5\n");
  write_file(PROCESSED_GENOME, genome);
  write_file(SIGNAL66GENES, "1 63\n66 74\n139 77\n");
  ASSERT_EQ(generate_stddev_Seq(), 0);
  ASSERT_EQ(orfs_to_protein_seq(), 0);
  EXPECT_EQ(read_file(TEST1), "1 63\nPRLHQAGVDESCWFYTIMNK\n66 74\nMA\n139 77\nPRLHQAGVDESCWFYTIMNK\n0 0\n\n");
  ASSERT_EQ(stddev(), 0);
  ASSERT_EQ(check_stddev_gene(), 0);
  EXPECT_EQ(read_file(STD_CHECK), "1 63\n139 77\n");
}
