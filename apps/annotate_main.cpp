// codonspace-annotate: annotates every record of a genome (plain or gzip
// FASTA) and writes GFF3, protein and gene FASTA files.
#include "annotate/annotate.h"

int main(int argc, char** argv) { return codonspace::annotate::run_annotate(argc, argv); }
