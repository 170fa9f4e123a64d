// One record through the method pipeline of a single-genome run.
#pragma once

#include <string>
#include <vector>

#include "annotate/fasta.h"
#include "annotate/gene_output.h"
#include "core/defaults.h"

namespace codonspace::annotate {

struct PredictOptions {
  int method = 1;
  int min_length = DEFAULT_MIN_LENGTH;    // the scan's length measure: bases + 2
  std::vector<std::string> start_codons;  // upper case
  std::vector<std::string> stop_codons = {"TAA", "TAG", "TGA"};  // of the genetic code
  int threads = 1;  // threads of the start model's training and choice; the result is the same for any number
};

// What the stages of a record write at most: the ORF export lists every
// start with its stop, so a stretch of starts without a stop makes the
// working files grow with the square of its length.
struct WorkSpace {
  unsigned long long bytes = 0;         // all working files of the record together
  unsigned long long largest_file = 0;  // the ORF export, the largest of them
  unsigned long long orfs = 0;          // ORFs the scan lists
};

// An upper bound of the working space of the record, from the ORFs the
// scan lists for it (counted, not written).
WorkSpace working_space(const std::string& sequence, const PredictOptions& options);

// Runs the method on the record in the current directory, which must hold
// the tables as data/ and is used for the fixed-name working files: hands
// the record as a one-record FASTA text to the genome intake, runs the ORF
// scan and the method's stages, and reads the genes from the six per-frame
// result files, sorted. Every file it wrote is removed again, also when a
// stage fails. Throws Error naming the record when a stage fails.
//
// Removing the files after each record (rather than letting the next
// record's stages truncate them) keeps them from ever reaching a disk: on
// ext4, truncating a file and writing it again makes the close start
// write-back, which slowed a 75-contig genome threefold.
std::vector<Gene> predict_record(const FastaRecord& record, const PredictOptions& options);

}  // namespace codonspace::annotate
