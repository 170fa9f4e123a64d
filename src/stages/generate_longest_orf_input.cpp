#include "stages/sequence_export.h"
#include "stages/stages.h"

namespace codonspace {

// Every ORF of "prediction_orfs" with its length and boundaries, the bases
// following on the same line: "n b1 b2 SEQUENCE".
int generate_longest_orf_input() {
  return export_sequences(
      {PREDICTION_ORFS, LONGEST_ORF_SEQUENCES, RecordHeader::LengthBoundsInline, nullptr});
}

}  // namespace codonspace
