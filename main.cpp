// codonspace: finds the genes of a prokaryotic genome from the
// physico-chemical properties of the codons of its open reading frames.
#include "pipeline.h"

int main(int argc, char** argv) { return codonspace::run_codonspace(argc, argv); }
