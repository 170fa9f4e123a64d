// Unit gene vectors and the plane test.
#include <gtest/gtest.h>

#include "core/codon.h"
#include "io/file_io.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::read_file;
using testutil::write_file;

class VectorTest : public testutil::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    // ATG = (1, 2, 2), AAA = (0, 0, 4), every other codon (0, 0, 0) but
    // AAC and TAC, which a partial last codon followed by the line end
    // would read: (0, 0, 5).
    testutil::Tables t;
    t.x = {{"ATG", 1}};
    t.y = {{"ATG", 2}};
    t.z[57] = 2;
    t.z[63] = 4;
    t.z[60] = t.z[44] = 5;
    testutil::write_tables(t);
  }
};

TEST_F(VectorTest, UnitVectorLinesAndDamagedRecords) {
  const char* const atg_line = " 0.333333 0.666667 0.666667\n";      // (1, 2, 2) / 3
  const char* const atg_aaa_line = " 0.156174 0.312348 0.937043\n";  // (1, 2, 6) / sqrt(41)
  const struct {
    const char* name;
    std::string records, vectors;
  } cases[] = {
      {"worked example", "6 1 6 ATGTAA\n", std::string("1 6 1 6") + atg_line},
      {"short record keeps its number", "2 5 4 AT\n6 1 6 ATGTAA\n", std::string("2 6 1 6") + atg_line},
      {"zero vector keeps its number, counts start afresh", "6 9 4 CCCTAA\n6 1 6 AAAAAA\n6 12 7 ATGTAA\n",
       std::string("2 6 1 6 0.000000 0.000000 1.000000\n3 6 12 7") + atg_line},
      {"8 bases: two codons", "8 1 8 ATGAAATA\n", std::string("1 8 1 8") + atg_aaa_line},
      {"only the direction counts", "12 1 12 AAAATGATGAAA\n", std::string("1 12 1 12") + atg_aaa_line},
  };
  for (const auto& c : cases) {
    write_file(LONGEST_ORF_SEQUENCES, c.records);
    EXPECT_EQ(calculate_vectors_prediction(), 0) << c.name;
    EXPECT_EQ(read_file(UNIT_GENE_VECTORS), c.vectors) << c.name;
  }
  for (const char* records : {"6 1 6 ATG\n", "6 1 x ATGTAA\n"}) {
    write_file(LONGEST_ORF_SEQUENCES, records);
    EXPECT_THROW(calculate_vectors_prediction(), Error) << records;
  }
}

class PlaneTest : public testutil::TempDirTest {
 protected:
  std::string classify(const std::string& plane, const std::string& vectors) {
    testutil::Tables t;
    t.plane = plane;
    testutil::write_tables(t);
    write_file(UNIT_GENE_VECTORS, vectors);
    EXPECT_EQ(final_output_prediction(), 0);
    return read_file(SIGNAL);
  }
};

TEST_F(PlaneTest, GenesLieStrictlyOnThePositiveSide) {
  const std::string example = "1 6 1 6 0.333333 0.666667 0.666667\n";
  const struct {
    const char* name;
    std::string plane, vectors, signal;
  } cases[] = {
      {"positive side", "0 0 1 -0.5\n", example, "1 6 \n"},
      {"only the last line of the plane file counts", "-5 -5 -5 -5\n0 0 1 -0.5\n", example, "1 6 \n"},
      {"groups of four across lines", "0 0\n1 -0.5", example, "1 6 \n"},
      {"exactly on the plane", "0 0 1 -0.5\n", "1 3 1 3 0.600000 0.000000 0.500000\n", ""},
      {"just above the plane", "0 0 1 -0.5\n", "1 3 1 3 0.600000 0.000000 0.500001\n", "1 3 \n"},
      {"order and duplicates kept", "1 0 0 0\n",
       "1 9 30 22 0.5 0 0.866025\n2 9 1 9 -0.5 0 0.866025\n4 9 1 9 0.5 0 0.866025\n"
       "7 9 1 9 0.5 0 0.866025\n",
       "30 22 \n1 9 \n1 9 \n"},
  };
  for (const auto& c : cases) EXPECT_EQ(classify(c.plane, c.vectors), c.signal) << c.name;
}

TEST_F(PlaneTest, BadPlaneFileIsAnErrorEvenWithoutVectors) {
  write_file(UNIT_GENE_VECTORS, "");
  testutil::write_tables({});
  const char* const planes[] = {"", "1 0 0 -0.5\n1\n", "1 0 0 -0.5x\n", nullptr};
  for (const char* plane : planes) {
    testutil::put_file(PLANE_FILE, plane);
    testutil::expect_error(final_output_prediction, {PLANE_FILE}, plane ? plane : "missing");
  }
}
