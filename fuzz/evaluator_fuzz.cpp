// The protein-likeness evaluator on arbitrary input. An even first byte
// gives the rest of the input as its input file "talvisca_seq" (both phases
// run); an odd one gives it as the translations "proS" to the evaluation
// phase alone. Refusals are Error; anything else that escapes, and every
// sanitizer report, is a fault.
#include <cstdint>
#include <cstdio>

#include "evaluator/webtalvisca9mod.h"
#include "io/file_io.h"
#include "fuzz_util.h"
#include "stages/stages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::remove(codonspace::PROS);
  std::remove(codonspace::TEMP_FILE);
  std::remove(codonspace::EVALUATOR_REPORT);
  try {
    if (data[0] % 2 == 0) {
      codonspace::fuzz::write_file(codonspace::TALVISCA_SEQ, rest);
      codonspace::webtalvisca9mod();
    } else {
      codonspace::fuzz::write_file(codonspace::PROS, rest);
      codonspace::evaluate_proteins(stdout);  // /dev/null
    }
  } catch (const codonspace::Error&) {
  }
  return 0;
}
