#include "stages/protein_stages.h"
#include "stages/sequence_export.h"
#include "stages/stages.h"

namespace codonspace {

// Every candidate of "signal66genes" with its length and boundary pair on a
// line of its own, the bases on the next, and the trailer "90".
int generate_stddev_Seq() {
  return export_sequences({SIGNAL66GENES, STDDEV_SEQ, RecordHeader::LengthBoundsLine, "90"});
}

}  // namespace codonspace
