// Codon index, complement rule and the loaders of the codon property tables.
#include <gtest/gtest.h>

#include "codon.h"
#include "file_io.h"
#include "stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::write_file;

TEST(CodonIndex, KnownCodonsAndUnknownCharacters) {
  const struct {
    const char* codon;
    int index;
  } cases[] = {{"CCC", 0},  {"CCG", 1},  {"CCT", 2},  {"CCA", 3},  {"CGC", 4},  {"AAA", 63},
               {"ATG", 57}, {"GTG", 25}, {"TTG", 41}, {"CTG", 9},  {"TAA", 47}, {"TAG", 45},
               {"TGA", 39}, {"TTA", 43}, {"CAT", 14}, {"CTA", 11}, {"TCA", 35}, {"GGG", 21},
               // Anything but upper-case A, G, T counts as C.
               {"NNN", 0},  {"ccc", 0},  {"atg", 0},  {"ANG", 49}, {"ACG", 49}, {"A\rG", 49}};
  for (const auto& c : cases) EXPECT_EQ(codon_srno(c.codon), c.index) << c.codon;
}

TEST(CodonIndex, StrRepIsTheInverseOfTheIndex) {
  EXPECT_EQ(str_rep(0), "CCC");
  EXPECT_EQ(str_rep(57), "ATG");
  EXPECT_EQ(str_rep(63), "AAA");
  for (int i = 0; i < 64; ++i) {
    const std::string s = str_rep(i);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(codon_srno(s.c_str()), i);
  }
}

TEST(CodonIndex, ComplementRule) {
  const std::pair<char, char> cases[] = {{'A', 'T'}, {'T', 'A'}, {'G', 'C'}, {'C', 'G'}, {'N', 'G'},
                                         {'a', 'G'}, {'t', 'G'}, {' ', 'G'}, {'\r', 'G'}};
  for (auto [in, out] : cases) {
    EXPECT_EQ(comp_base(in), out) << int(in);
    EXPECT_EQ(comp(in), out) << int(in);
  }
}

class TableLoaderTest : public testutil::TempDirTest {
 protected:
  // Every codon gets a distinct value: its index plus a half.
  static std::string pair_line(int i) { return str_rep(i) + " " + std::to_string(i + 0.5) + "\n"; }
};

TEST_F(TableLoaderTest, CodonValueListInAnyOrderAndLayout) {
  std::string forward, scattered;
  for (int i = 0; i < 64; ++i) forward += pair_line(i);
  // Odd indices first, every pair split over two lines with tabs and blanks.
  for (int start : {1, 0})
    for (int i = start; i < 64; i += 2) scattered += str_rep(i) + "\t\n  " + std::to_string(i + 0.5) + " \r\n";
  write_file("forward", forward);
  write_file("scattered", scattered);
  float a[64], b[64];
  load_codon_value_list("forward", a);
  load_codon_value_list("scattered", b);
  for (int i = 0; i < 64; ++i) {
    EXPECT_FLOAT_EQ(a[i], i + 0.5f) << str_rep(i);
    EXPECT_FLOAT_EQ(b[i], i + 0.5f) << str_rep(i);
  }
}

TEST_F(TableLoaderTest, RepeatedCodonKeepsItsLastValueAndExtraPairsAreIgnored) {
  // 64 pairs name 63 codons: CCG twice, ATG never; then a 65th pair.
  std::string text;
  for (int i = 0; i < 64; ++i) text += i == 57 ? "CCG -7.25\n" : pair_line(i);
  text += "CCC 99\n";
  write_file("list", text);
  float arr[64];
  for (float& v : arr) v = -1.0f;
  load_codon_value_list("list", arr);
  EXPECT_FLOAT_EQ(arr[1], -7.25f);   // the later value of CCG
  EXPECT_FLOAT_EQ(arr[57], -1.0f);   // ATG not named: entry untouched
  EXPECT_FLOAT_EQ(arr[0], 0.5f);     // pair 65 is not read
  EXPECT_FLOAT_EQ(arr[63], 63.5f);
}

TEST_F(TableLoaderTest, DamagedCodonValueListsAreRefusedNamingFileAndEntry) {
  std::string good;
  for (int i = 0; i < 64; ++i) good += pair_line(i);
  auto with_pair = [&](int k, const std::string& line) {
    std::string text;
    for (int i = 0; i < 64; ++i) text += i == k ? line + "\n" : pair_line(i);
    return text;
  };
  const struct {
    const char* name;
    std::string text;
    const char* must_mention;
  } cases[] = {
      {"63 pairs", good.substr(0, good.rfind("AAA")), "63"},
      {"empty", "", "0"},
      {"lower-case token", with_pair(5, "cgg 1.0"), "cgg"},
      {"four-letter token", with_pair(5, "CGGA 1.0"), "CGGA"},
      {"unknown letter", with_pair(5, "CNG 1.0"), "CNG"},
      {"malformed number", with_pair(5, "CGG 1.2.3"), "1.2.3"},
      {"number missing at the end", good.substr(0, good.rfind(' ')), "AAA"},
      {"missing file", "", "missing"},
  };
  for (const auto& c : cases) {
    const std::string file = std::string(c.name) == "missing file" ? "missing.dat" : "table.dat";
    if (file == "table.dat") write_file(file, c.text);
    float arr[64] = {};
    try {
      load_codon_value_list(file, arr);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const Error& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(file), std::string::npos) << c.name << ": " << what;
      EXPECT_NE(what.find(c.must_mention), std::string::npos) << c.name << ": " << what;
    }
  }
}

TEST_F(TableLoaderTest, IndexOrderedListNeedsSixtyFourNumbers) {
  std::string z63;
  for (int i = 0; i < 63; ++i) z63 += "1.5\n";
  const std::pair<std::string, const char*> cases[] = {{z63, "63"}, {z63 + "x1\n", "x1"}, {"", "0"}};
  for (const auto& [text, mention] : cases) {
    write_file("z.txt", text);
    float arr[64];
    try {
      load_index_ordered_list("z.txt", arr);
      ADD_FAILURE() << "accepted: " << mention;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("z.txt"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(mention), std::string::npos) << e.what();
    }
  }
}
