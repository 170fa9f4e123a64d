// The result stages refuse pair lists they cannot use, naming them (their
// results are checked by codonspace's runs and the byte-identity runs).
#include <gtest/gtest.h>

#include "io/file_io.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::write_file;

class ResultsTest : public testutil::TempDirTest {};

TEST_F(ResultsTest, PairListsCutShortOrBeyondTheGenomeAreRefused) {
  write_file(SIGNAL, "101 400 \n221\n");
  testutil::expect_error([] { longest_orf_dna(); }, {SIGNAL}, "cut short");
  write_file(PROCESSED_GENOME, std::string(200, 'A'));
  write_file(LONGEST_ORFS, "1 9\n201 1\n");
  testutil::expect_error(orf_sequence_final, {LONGEST_ORFS}, "pair beyond the genome");
}
