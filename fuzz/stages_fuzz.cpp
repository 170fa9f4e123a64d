// Every stage after the ORF scan on arbitrary working files. The first byte
// chooses the stage; the rest of the input, cut at NUL bytes, gives the
// stage's input files in the order listed below (the tables are the shipped
// ones). A stage may refuse its input with Error; anything else that escapes,
// and every sanitizer report, is a fault. The evaluator has a target of its
// own.
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "io/file_io.h"
#include "fuzz_util.h"
#include "pipeline/pipeline.h"
#include "stages/protein_stages.h"
#include "stages/stages.h"

namespace {
using namespace codonspace;

struct StageCase {
  int (*run)();
  std::vector<const char*> inputs;
};

const std::vector<StageCase>& stage_cases() {
  static const std::vector<StageCase> cases = {
      {generate_longest_orf_input, {PROCESSED_GENOME, PREDICTION_ORFS}},
      {calculate_vectors_prediction, {LONGEST_ORF_SEQUENCES}},
      {final_output_prediction, {UNIT_GENE_VECTORS}},
      {generate_talvisca_Seq, {PROCESSED_GENOME, SIGNAL}},
      {binary_talvisca_mod_newtalvisca, {EVALUATOR_REPORT}},
      {helixtrove_talvisca, {SIGNAL, SIGNAL_TALVISCA66}},
      {generate_stddev_Seq, {PROCESSED_GENOME, SIGNAL66GENES}},
      {orfs_to_protein_seq, {STDDEV_SEQ}},
      {stddev, {TEST1}},
      {check_stddev_gene, {SEQ_STD_DEV}},
      {longest_orf_dna, {SIGNAL}},
      {longest_orf_protein, {SIGNAL66GENES}},
      {longest_orf, {STD_CHECK}},
      {orf_sequence_final, {PROCESSED_GENOME, LONGEST_ORFS}},
      {reading_frame, {LONGEST_ORFS}},
  };
  return cases;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const StageCase& stage = stage_cases()[data[0] % stage_cases().size()];
  // Nothing of an earlier input may be seen by this one.
  for (const char* f : working_files(3)) std::remove(f);
  for (const char* f : FRAME_FILES) std::remove(f);
  std::remove(GENE_SEQUENCES);

  const auto parts = fuzz::split_input(data + 1, size - 1, stage.inputs.size());
  for (size_t k = 0; k < stage.inputs.size(); ++k) fuzz::write_file(stage.inputs[k], parts[k]);
  try {
    stage.run();
  } catch (const Error&) {
  }
  return 0;
}
