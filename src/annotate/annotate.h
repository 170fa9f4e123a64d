// codonspace-annotate: every record of a genome through the method
// pipeline, in parallel worker processes, written as GFF3, protein FASTA
// and gene FASTA.
#pragma once

#include <string>
#include <vector>

#include "defaults.h"

namespace codonspace::annotate {

struct AnnotateOptions {
  std::string input;  // path, or "-" for standard input
  int method = 1;
  int min_length = DEFAULT_MIN_LENGTH;
  std::vector<std::string> start_codons;  // upper case; empty = DEFAULT_START_CODONS
  std::string tables_dir;                 // empty = default_tables_dir()
  bool self_train = false;
  std::string outdir = ".";
  std::string prefix;  // empty = default_prefix(input)
  int threads = 1;
  bool quiet = false;
};

// The input's base name without .gz and then .fna/.fa/.fasta/.fas; "stdin"
// for "-".
std::string default_prefix(const std::string& input);

// The output paths OUTDIR/PREFIX.gff, .faa, .fna.
std::vector<std::string> output_paths(const AnnotateOptions& options);

// Runs the whole annotation. Throws Error on any failure and Interrupted
// (processes.h) on SIGINT/SIGTERM/SIGHUP; either way no temporary
// directory and no output file of this run is left behind.
void annotate(const AnnotateOptions& options);

// The program: arguments as given to main; returns the exit status (0 done,
// 1 refused or failed, 128 + signal when interrupted).
int run_annotate(int argc, char** argv);

}  // namespace codonspace::annotate
