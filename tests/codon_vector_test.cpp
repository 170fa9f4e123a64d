// The codon index and complement rule, the loaders of the codon property
// tables, and the training replay, which decides every ORF as the vector and
// plane stages do, down to the six-decimal text between them.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <utility>

#include "core/codon.h"
#include "core/codon_vector.h"
#include "io/file_io.h"
#include "stages/stages.h"
#include "test_util.h"
#include "training/model_tables.h"

using namespace codonspace;
using testutil::read_file;
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

class ReplayTest : public testutil::TempDirTest {};

TEST_F(ReplayTest, AgreesWithTheStagesAtThePlane) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> value(-3.0f, 3.0f);
  testutil::Tables tables;
  for (int n = 0; n < NUMBER_OF_CODONS; ++n) {
    tables.x[str_rep(n)] = value(rng);
    tables.y[str_rep(n)] = value(rng);
    tables.z[static_cast<size_t>(n)] = value(rng);
  }
  testutil::write_tables(tables);
  training::ModelTables t;
  load_codon_value_list("data/HBondEnergies_MDmapped3.dat", t.x.data());
  load_codon_value_list("data/StackingEnergies_MD.dat", t.y.data());
  load_index_ordered_list("data/z.dat", t.z.data());

  // Random ORFs; their counts as the vector stage takes them.
  struct Orf {
    long start, stop;
    int counts[NUMBER_OF_CODONS];
  };
  std::vector<Orf> orfs(400);
  std::string records;
  for (size_t i = 0; i < orfs.size(); ++i) {
    std::string bases(3 * std::uniform_int_distribution<size_t>(20, 200)(rng), 'A');
    for (char& b : bases) b = "ACGT"[rng() % 4];
    Orf& o = orfs[i];
    o.start = static_cast<long>(1000 * i + 1);
    o.stop = o.start + static_cast<long>(bases.size()) - 1;
    cal_freq_codons(bases.data(), static_cast<int>(bases.size()), o.counts, true);
    records += std::to_string(bases.size()) + " " + std::to_string(o.start) + " " + std::to_string(o.stop) + " " +
               bases + "\n";
  }

  // The plane x = r, with r the printed x of an ORF whose unrounded x lies
  // above r: the ORF sits exactly on the plane and does not pass; a replay
  // that skipped the six-decimal text would pass it.
  const Orf* edge = nullptr;
  float r = 0;
  for (const Orf& o : orfs) {
    const CodonVector v = codon_vector(o.counts, t.x.data(), t.y.data(), t.z.data());
    char text[400];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(v.x) / v.modulus);
    const float printed = std::strtof(text, nullptr);
    if (static_cast<float>(static_cast<double>(v.x) / v.modulus) > printed) {
      edge = &o;
      r = printed;
      break;
    }
  }
  ASSERT_NE(edge, nullptr);
  char plane[128];
  std::snprintf(plane, sizeof plane, "1 0 0 %.9g\n", -static_cast<double>(r));
  t.plane = {1, 0, 0, -r};
  write_file("data/best_plane_fixed.dat", plane);

  write_file(LONGEST_ORF_SEQUENCES, records);
  ASSERT_EQ(calculate_vectors_prediction(), 0);
  ASSERT_EQ(final_output_prediction(), 0);

  // Each printed unit vector is the replay's, value for value.
  std::istringstream vectors(read_file(UNIT_GENE_VECTORS));
  long pair, bases, start, stop;
  float x, y, z;
  size_t lines = 0;
  while (vectors >> pair >> bases >> start >> stop >> x >> y >> z) {
    const Orf& o = orfs[static_cast<size_t>(pair - 1)];
    float v[3];
    ASSERT_TRUE(training::unit_vector(o.counts, t, v));
    EXPECT_EQ(v[0], x) << start;
    EXPECT_EQ(v[1], y) << start;
    EXPECT_EQ(v[2], z) << start;
    ++lines;
  }
  EXPECT_EQ(lines, orfs.size());

  std::set<std::pair<long, long>> signal, replayed;
  std::istringstream in(read_file(SIGNAL));
  while (in >> start >> stop) signal.insert({start, stop});
  for (const Orf& o : orfs)
    if (training::passes_plane(o.counts, t)) replayed.insert({o.start, o.stop});
  EXPECT_EQ(replayed, signal);
  EXPECT_FALSE(signal.count({edge->start, edge->stop}));
  EXPECT_GT(signal.size(), orfs.size() / 10);
}
