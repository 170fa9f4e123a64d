// Self-training: fits the trained tables of method 1 (z.dat and
// best_plane_fixed.dat) to one genome without any annotation.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/defaults.h"
#include "core/genetic_code.h"

namespace codonspace {

struct SelfTrainOptions {
  int min_length = DEFAULT_MIN_LENGTH;    // from src/core/defaults.h
  std::vector<std::string> start_codons;  // empty = the defaults of src/core/defaults.h
  // The stop codons of the genetic code (TAA TAG for code 4, where TGA codes
  // tryptophan): they end the ORFs and carry the per-ORF intercept.
  std::vector<std::string> stop_codons = standard_stop_codons();
  // Threads of the fit (1 or more); the tables are the same for any number.
  int threads = 1;
};

// Fewest seed ORFs (stop groups whose longest ORF reaches 900 bases) for a
// fit (a genome of some 40 kb): below it the fitted tables found fewer
// genes than the shipped ones on parts of the reference genomes.
inline constexpr long MIN_SEED_ORFS = 20;

struct SelfTrainResult {
  // false: the genome was too small for a reliable fit and tables_out holds
  // the z.dat and best_plane_fixed.dat of tables_in instead; note says so.
  bool fitted = false;
  long seed_orfs = 0;       // stop groups whose longest ORF reaches 900 bases
  long genes_labelled = 0;  // genes of the last labelling round (0 unless fitted)
  std::string note;         // the warning to show when not fitted, else empty
};

// Fits z.dat and best_plane_fixed.dat to the given genome (one string per
// record: upper-case bases as the genome intake leaves them) without any
// annotation, and writes a complete tables directory to tables_out: the
// physico-chemical tables and codon1 copied from tables_in, z.dat and
// best_plane_fixed.dat fitted (or copied, see SelfTrainResult). The tables
// are written into a temporary directory beside tables_out and renamed into
// place only when all are written; an existing tables_out that holds
// nothing but table files is replaced, anything else is refused, as are a
// tables_out that is tables_in (through links too) or a symbolic link.
// Deterministic. Throws Error (naming the file) on any failure, before
// tables_out is touched.
SelfTrainResult self_train(const std::vector<std::string>& records, const std::string& tables_in,
                           const std::string& tables_out, const SelfTrainOptions& options = {});
// The same on records held elsewhere (none may be null), without a copy.
SelfTrainResult self_train(const std::vector<const std::string*>& records, const std::string& tables_in,
                           const std::string& tables_out, const SelfTrainOptions& options = {});

namespace training {

// A stop group whose best ORF scores above zero: a candidate gene of the
// labelling, with the ORF's lowest and highest base.
struct GeneCandidate {
  double score;
  size_t record, group;
  long low, high;
};
// The labelling of a self-training round: candidates are taken as genes in
// order of decreasing score (then record, then group) unless they overlap a
// gene already taken in their record by more than 60 bases and more than a
// quarter of their own length. groups[r] is the number of stop groups of
// record r; the result holds 1 for the groups taken as genes, per record.
std::vector<std::vector<unsigned char>> label_genes(std::vector<GeneCandidate> candidates,
                                                    const std::vector<size_t>& groups);

}  // namespace training

}  // namespace codonspace
