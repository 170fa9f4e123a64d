// The genes a record's worker calls, on their way to the outputs: kept as a
// "start end strand" list between the workers and the start model, then
// written as the record's pieces of the three outputs (GFF3, proteins, gene
// sequences), which the parent joins in record order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "annotate/fasta.h"
#include "annotate/gene_output.h"
#include "annotate/record_pipeline.h"

namespace codonspace::annotate {

// The piece of output k (0 GFF, 1 proteins, 2 gene sequences) of a record.
std::string fragment_path(const std::string& dir, size_t record, size_t output);
// Writes the record's three pieces into dir.
void write_fragments(const std::string& dir, size_t index, const FastaRecord& record, const std::vector<Gene>& genes,
                     const AnnotationSettings& settings);

// The called-gene list of a record in dir.
std::string genes_path(const std::string& dir, size_t record);
void write_gene_list(const std::string& path, const std::vector<Gene>& genes);
std::vector<Gene> read_gene_list(const std::string& path);

// The start model, trained on the called genes of every record in record
// order (the number of workers cannot change it); then each gene's start is
// chosen and the record's pieces are written into results. say receives the
// progress line.
void choose_starts(const std::vector<FastaRecord>& records, const std::string& results, const PredictOptions& predict,
                   const AnnotationSettings& settings, const std::function<void(const std::string&)>& say);

}  // namespace codonspace::annotate
