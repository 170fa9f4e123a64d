#include <cstdio>

#include "io/file_io.h"
#include "stages/stages.h"

namespace codonspace {

// Keeps the first pair of every run of consecutive pairs with the same b2.
// The lists arrive in scan order, where the ORFs of one stop stand together
// longest first, so the pair kept is the longest surviving ORF of its stop.
int select_longest_orfs(const char* input) {
  File fp(input, "r", 1 << 20);
  File fp_write(LONGEST_ORFS, "w+", 1 << 16);
  require_open({&fp, &fp_write});
  Scanner in(fp);
  FILE* out = fp_write.get();
  long b1, b2, tb2 = 0;
  long i = 0;
  while (in.next_pair(b1, b2)) {
    ++i;
    if (i == 1 || b2 != tb2) std::fprintf(out, "%ld %ld\n", b1, b2);
    tb2 = b2;
  }
  fp_write.close_output();
  return 0;
}

int longest_orf_dna() { return select_longest_orfs(SIGNAL); }
int longest_orf_protein() { return select_longest_orfs(SIGNAL66GENES); }
int longest_orf() { return select_longest_orfs(STD_CHECK); }

}  // namespace codonspace
