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

// The worked example, (1, 2, 2) / 3, and ATG AAA, (1, 2, 6) / sqrt(41); a
// short record and a zero vector give no line but keep their numbers.
TEST_F(VectorTest, UnitVectorLinesAndDamagedRecords) {
  write_file(LONGEST_ORF_SEQUENCES, "2 5 4 AT\n6 9 4 CCCTAA\n6 1 6 ATGTAA\n8 1 8 ATGAAATA\n");
  EXPECT_EQ(calculate_vectors_prediction(), 0);
  EXPECT_EQ(read_file(UNIT_GENE_VECTORS), "3 6 1 6 0.333333 0.666667 0.666667\n4 8 1 8 0.156174 0.312348 0.937043\n");
  write_file(LONGEST_ORF_SEQUENCES, "6 1 x ATGTAA\n");
  testutil::expect_error(calculate_vectors_prediction, {LONGEST_ORF_SEQUENCES}, "damaged record");
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

// The plane's last four numbers, across lines; strictly positive side, order and duplicates kept.
TEST_F(PlaneTest, GenesLieStrictlyOnThePositiveSide) {
  EXPECT_EQ(classify("-5 -5 -5 -5\n0 0\n1 -0.5\n",
                     "1 3 1 3 0.6 0 0.5\n2 3 7 9 0.6 0 0.500001\n3 9 30 22 0 0 0.9\n4 9 30 22 0 0 0.9\n"),
            "7 9 \n30 22 \n30 22 \n");
}

TEST_F(PlaneTest, BadPlaneFileIsAnErrorEvenWithoutVectors) {
  write_file(UNIT_GENE_VECTORS, "");
  testutil::write_tables({});
  for (const char* plane : {"1 0 0 -0.5\n1\n", static_cast<const char*>(nullptr)}) {
    testutil::put_file(PLANE_FILE, plane);
    testutil::expect_error(final_output_prediction, {PLANE_FILE}, plane ? plane : "missing");
  }
}
