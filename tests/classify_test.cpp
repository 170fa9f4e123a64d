// The vector and plane stages refuse damaged records and plane files, naming
// them (what they compute is checked by the training's replay, codon_vector_test).
#include <gtest/gtest.h>

#include "io/file_io.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::write_file;

class ClassifyTest : public testutil::TempDirTest {};

TEST_F(ClassifyTest, DamagedRecordsAndPlaneFilesAreRefused) {
  testutil::write_tables({});
  // A record cut short, and one with a number that is none.
  for (const char* records : {"6 1 6 ATG\n", "6 1 x ATGTAA\n"}) {
    write_file(LONGEST_ORF_SEQUENCES, records);
    testutil::expect_error(calculate_vectors_prediction, {LONGEST_ORF_SEQUENCES}, records);
  }
  // A bad plane file is an error even without vectors.
  write_file(UNIT_GENE_VECTORS, "");
  for (const char* plane : {"1 0 0 -0.5\n1\n", static_cast<const char*>(nullptr)}) {
    testutil::put_file(PLANE_FILE, plane);
    testutil::expect_error(final_output_prediction, {PLANE_FILE}, plane ? plane : "missing");
  }
}
