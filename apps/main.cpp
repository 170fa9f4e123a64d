// codonspace: finds the genes of a prokaryotic genome from the
// physico-chemical properties of the codons of its open reading frames.
#include <cstdio>
#include <exception>

#include "pipeline/pipeline.h"

int main(int argc, char** argv) {
  try {
    return codonspace::run_codonspace(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "codonspace: %s\n", e.what());
    return 1;
  }
}
