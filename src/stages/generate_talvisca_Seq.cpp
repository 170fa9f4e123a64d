#include "stages/protein_stages.h"
#include "stages/sequence_export.h"
#include "stages/stages.h"

namespace codonspace {

// Every candidate of "signal" as the evaluator reads it: the length on a
// line of its own, the bases on the next, and "90" (read by the evaluator as
// a last header) after the last record.
int generate_talvisca_Seq() {
  return export_sequences({SIGNAL, TALVISCA_SEQ, RecordHeader::LengthOnly, "90"});
}

}  // namespace codonspace
