// Genes that run off the ends of a record: an open reading frame with no
// stop codon between a record's first whole codon and its stop (its start
// lies before the record: open at the 5' end), one from a start codon to the
// record's end without a stop (open at the 3' end), or a frame without any
// stop codon (open at both ends). The method's scan lists only ORFs with a
// start and a stop codon inside the record, so these are found per whole
// record, after the records' genes are called.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "training/model_tables.h"
#include "core/gene.h"

namespace codonspace::annotate {

using codonspace::Gene;

struct EdgeGeneOptions {
  // Bases within the record at least (stop codon included when there is one).
  long min_length = 0;
  std::vector<std::string> start_codons;  // upper case
  std::vector<std::string> stop_codons;   // of the genetic code
};

// Every gene that may run off one of the record's ends, sorted: per strand
// and frame, the ORF from the first whole codon to the first stop (open at
// its 5' end), the ORF from the first start codon after the last stop to the
// last whole codon (open at its 3' end), or, in a frame without a stop, the
// frame's whole codons (open at both ends). Only those of min_length bases
// or more.
std::vector<Gene> edge_candidates(const std::string& sequence, const EdgeGeneOptions& options);

// The method's decision on a gene's codons (read on its strand). A gene
// open at its 3' end lacks the stop codon every ORF of the scan carries;
// the codon missing_stop (an index as codon_srno gives) stands in for it.
bool method_calls(const std::string& sequence, const Gene& gene, const training::ModelTables& tables, int missing_stop);

// The stop codon that most often ends the given genes (complete ones; ties
// and no genes: the first of stop_codons), as a codon index: the stand-in
// for the unseen stop of a gene open at its 3' end. The stop's term is the
// prior odds of an ORF, which the unseen stop would have brought in
// whichever it is; the commonest one is its likeliest value.
int likely_stop_codon(const std::vector<const std::string*>& sequences, const std::vector<std::vector<Gene>>& genes,
                      const std::vector<std::string>& stop_codons);

// The edge candidates that accept() takes, leaving out any whose stop codon
// ends one of the called genes (the called gene is kept: one gene per stop).
std::vector<Gene> edge_genes(const std::string& sequence, const std::vector<Gene>& called,
                             const EdgeGeneOptions& options, const std::function<bool(const Gene&)>& accept);

}  // namespace codonspace::annotate
