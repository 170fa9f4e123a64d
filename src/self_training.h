// Self-training: fits the trained tables of method 1 (z.dat and
// best_plane_fixed.dat) to one genome without any annotation.
#pragma once

#include <string>
#include <vector>

#include "defaults.h"

namespace codonspace {

struct SelfTrainOptions {
  int min_length = DEFAULT_MIN_LENGTH;    // from src/defaults.h
  std::vector<std::string> start_codons;  // empty = the defaults of src/defaults.h
};

// Fits z.dat and best_plane_fixed.dat to the given genome (one string per
// record: upper-case bases as the genome intake leaves them) without any
// annotation, and writes a complete tables directory to tables_out
// (created if missing): the physico-chemical tables and codon1 copied from
// tables_in, z.dat and best_plane_fixed.dat fitted. Deterministic.
// Throws Error (naming the file) on any failure.
void self_train(const std::vector<std::string>& records, const std::string& tables_in,
                const std::string& tables_out, const SelfTrainOptions& options = {});

}  // namespace codonspace
