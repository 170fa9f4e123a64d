// codonspace-annotate: every record of a genome through the method
// pipeline, in parallel worker processes, written as GFF3, protein FASTA
// and gene FASTA.
#pragma once

#include <string>
#include <vector>

#include "core/defaults.h"

namespace codonspace::annotate {

inline constexpr const char* PROGRAM = "codonspace-annotate";
inline constexpr int MAX_START_CODONS = 4;
// Inputs of at least this many bases (all records together) are
// self-trained unless tables are chosen: from about this size the tables
// fitted to the input find more of its genes than the shipped ones (windows
// of annotated genomes, docs/self_training.md); below it the fit is too
// often worse.
inline constexpr long SELF_TRAIN_MIN_BASES = 200000;

// The default start codons (src/core/defaults.h) as a list.
std::vector<std::string> default_starts();
// The texts with sep between them.
std::string join(const std::vector<std::string>& texts, const char* sep);

struct AnnotateOptions {
  std::string input;  // path, or "-" for standard input
  int method = 1;
  // Genes of at least this many bases, stop codon included (the pipeline's
  // measure is two more; at the default both keep genes of 150 bases up).
  int min_length = DEFAULT_MIN_LENGTH;
  int genetic_code = 11;                    // 11 or 4
  std::vector<std::string> start_codons;  // upper case; empty = DEFAULT_START_CODONS
  std::string tables_dir;  // empty = default_tables_dir(); a directory holding
                           // the tables, or one whose data/ holds them
  // Which tables predict: with neither field set and no tables_dir, the
  // input is self-trained when it holds SELF_TRAIN_MIN_BASES or more, else
  // the shipped tables are used; a tables_dir alone is used as it is.
  bool self_train = false;      // always self-train (from tables_dir's tables when given)
  bool shipped_tables = false;  // the shipped tables, never self-trained
  bool longest_orf = false;  // keep each gene's longest-ORF start instead of the start model's choice
  bool closed_ends = false;  // no genes that run off a record's end (partial genes)
  std::string outdir = ".";
  std::string prefix;  // empty = default_prefix(input)
  int threads = 1;
  bool quiet = false;
};

// The input's base name without .gz and then .fna/.fa/.fasta/.fas, in any
// case; "stdin" for "-".
std::string default_prefix(const std::string& input);

// The output paths OUTDIR/PREFIX.gff, .faa, .ffn.
std::vector<std::string> output_paths(const AnnotateOptions& options);

// The tables directory a run reads: dir itself when it holds the tables of
// the method, else dir/data when that does (the layout codonspace-train
// writes). Throws Error naming dir when neither does.
std::string resolve_tables_dir(const std::string& dir, int method);

// Runs the whole annotation. Throws Error on any failure and Interrupted
// (processes.h) on a signal; either way no temporary directory and no
// output file of this run is left behind, and outputs of an earlier run
// stay as they were.
void annotate(const AnnotateOptions& options);

// The program: arguments as given to main; returns the exit status (0 done,
// 1 refused or failed, 128 + signal when interrupted).
int run_annotate(int argc, char** argv);

}  // namespace codonspace::annotate
