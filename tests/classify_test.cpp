// The method-1 stages after the scan (vectors, plane, longest ORFs, gene
// records) refuse damaged working files and plane files, naming them. What
// they compute is checked by the training's replay (codon_vector_test) and
// by codonspace's and the byte-identity runs.
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

TEST_F(ClassifyTest, PairListsCutShortOrBeyondTheGenomeAreRefused) {
  write_file(SIGNAL, "101 400 \n221\n");
  testutil::expect_error([] { longest_orf_dna(); }, {SIGNAL}, "cut short");
  write_file(PROCESSED_GENOME, std::string(200, 'A'));
  write_file(LONGEST_ORFS, "1 9\n201 1\n");
  testutil::expect_error(orf_sequence_final, {LONGEST_ORFS}, "pair beyond the genome");
}
