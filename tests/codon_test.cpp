// Codon index, complement rule and the loaders of the codon property tables.
#include <gtest/gtest.h>

#include <optional>

#include "core/codon.h"
#include "io/file_io.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::write_file;

TEST(CodonIndex, KnownCodonsAndUnknownCharacters) {
  // The order of the index-ordered tables; anything but upper-case A, G, T
  // counts as C, and unknown letters complement to N: alike on both strands.
  const std::pair<const char*, int> cases[] = {{"CCG", 1}, {"ATG", 57}, {"ANG", 49}};
  for (const auto& [codon, index] : cases) EXPECT_EQ(codon_srno(codon), index) << codon;
  for (int i = 0; i < 64; ++i) EXPECT_EQ(codon_srno(str_rep(i).c_str()), i) << str_rep(i);
  EXPECT_EQ(std::string() + comp_base('A') + comp_base('G') + comp_base('R') + comp('a'), "TCNN");
  EXPECT_EQ(strict_codon_index("ATG"), 57);
  EXPECT_EQ(strict_codon_index("ANG"), -1);
}

class TableLoaderTest : public testutil::TempDirTest {
 protected:
  // Every codon gets a distinct value: its index plus a half.
  static std::string pair_line(int i) { return str_rep(i) + " " + std::to_string(i + 0.5) + "\n"; }
  // The 64 pairs, pair k replaced by line (when k >= 0).
  static std::string pairs_with(int k = -1, const std::string& line = "") {
    std::string text;
    for (int i = 0; i < 64; ++i) text += i == k ? line + "\n" : pair_line(i);
    return text;
  }
};

TEST_F(TableLoaderTest, CodonValueListInAnyOrderAndLayout) {
  // Odd indices first, every pair split over two lines with tabs and blanks.
  std::string scattered;
  for (int start : {1, 0})
    for (int i = start; i < 64; i += 2) scattered += str_rep(i) + "\t\n  " + std::to_string(i + 0.5) + " \r\n";
  write_file("scattered", scattered + "CCC 99\n");  // a 65th pair is not read
  float b[64];
  load_codon_value_list("scattered", b);
  for (int i = 0; i < 64; ++i) EXPECT_FLOAT_EQ(b[i], i + 0.5f) << str_rep(i);
}

TEST_F(TableLoaderTest, DamagedListsAreRefusedNamingFileAndEntry) {
  const std::string good = pairs_with();
  std::string z63;
  for (int i = 0; i < 63; ++i) z63 += "1.5\n";
  const struct {
    const char* name;
    std::optional<std::string> text;  // none: no file
    const char* must_mention;
    bool index_ordered = false;
  } cases[] = {
      {"63 pairs", good.substr(0, good.rfind("AAA")), "63"},
      {"unknown letter", pairs_with(5, "CNG 1.0"), "CNG"},
      {"malformed number", pairs_with(5, "CGG 1.2.3"), "1.2.3"},
      {"64 pairs, ATG missing, CCG twice", pairs_with(57, "CCG -7.25"), "ATG"},
      {"missing file", std::nullopt, "table.dat"},
      {"63 numbers", z63, "63", true},
  };
  for (const auto& c : cases) {
    testutil::put_file("table.dat", c.text ? c.text->c_str() : nullptr);
    float arr[64] = {};
    testutil::expect_error(
        [&] { c.index_ordered ? load_index_ordered_list("table.dat", arr) : load_codon_value_list("table.dat", arr); },
        {"table.dat", c.must_mention}, c.name);
  }
}
