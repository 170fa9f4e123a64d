#include <cstdio>

#include "io/file_io.h"
#include "stages/protein_stages.h"
#include "stages/stages.h"

namespace codonspace {

// Positional merge: the k-th pair of "signal" goes with the k-th verdict of
// "signal_talvisca66". The verdict stage writes one line per candidate number,
// so the two lists stay aligned even where the evaluator skipped a candidate.
// A pair without a verdict ends the merge; surplus verdicts are ignored.
int helixtrove_talvisca() {
  File fp(SIGNAL, "r", 1 << 16);
  File fp_signal(SIGNAL_TALVISCA66, "r", 1 << 16);
  File fp_signal_genes(SIGNAL66GENES, "w", 1 << 16);
  require_open({&fp, &fp_signal, &fp_signal_genes});
  Scanner pairs(fp);
  Scanner verdicts(fp_signal);
  FILE* out = fp_signal_genes.get();
  long m, n, decider;
  unsigned long kept = 0;
  while (pairs.next_pair(m, n) && verdicts.next_long(decider)) {
    if (decider == 1) {
      std::fprintf(out, "%ld %ld\n", m, n);
      if (++kept % 4096 == 0) fp_signal_genes.check_write();
    }
  }
  fp_signal_genes.close_output();
  return 0;
}

}  // namespace codonspace
