// The protein-likeness evaluator: translates the candidates of
// "talvisca_seq" into "proS", then judges every translation and writes one
// verdict per candidate into the report "webtalvisca.out" (banner and
// closing counts also on standard output).
#pragma once

#include <cstdio>

#include "stages/stages.h"

namespace codonspace {

// Runs both phases in the current directory. Returns 0; throws Error when a
// file cannot be opened ("talvisca_seq" missing), on a length line without a
// readable integer, or on a read or write error.
int webtalvisca9mod();

// The evaluation phase alone: "proS" -> "webtalvisca.out" and the banner and
// counts on out (standard output in the stage).
void evaluate_proteins(FILE* out);

}  // namespace codonspace
