// The training replay decides every ORF as the vector and plane stages do,
// down to the six-decimal text between them.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <sstream>
#include <utility>

#include "core/codon.h"
#include "core/codon_vector.h"
#include "stages/stages.h"
#include "test_util.h"
#include "training/model_tables.h"

using namespace codonspace;
using testutil::read_file;
using testutil::write_file;

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
