// The genes a record's worker calls, on their way to the outputs: kept as a
// "start end strand partial" list between the workers and the start model,
// then, with the genes that run off the record's ends, their starts and
// scores, written as the record's pieces of the three outputs (GFF3,
// proteins, gene sequences), which the parent joins in record order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "annotate/fasta.h"
#include "annotate/gene_output.h"
#include "annotate/record_pipeline.h"
#include "annotate/start_model.h"

namespace codonspace::annotate {

// The piece of output k (0 GFF, 1 proteins, 2 gene sequences) of a record.
std::string fragment_path(const std::string& dir, size_t record, size_t output);
// Writes the record's three pieces into dir, formatted on up to `threads`
// threads (the same files for any number).
void write_fragments(const std::string& dir, size_t index, const FastaRecord& record,
                     const std::vector<GeneCall>& calls, const AnnotationSettings& settings, int threads = 1);

// The called-gene list of a record in dir: a line "start end strand partial"
// per gene, partial as partial_flags() writes it ("00" for a whole gene).
std::string genes_path(const std::string& dir, size_t record);
void write_gene_list(const std::string& path, const std::vector<Gene>& genes);
std::vector<Gene> read_gene_list(const std::string& path);

struct CallOptions {
  bool longest_orf = false;  // keep each gene's longest-ORF start (the start model still scores it)
  bool closed_ends = false;  // no genes that run off a record's end
  // The run's tables directory: its per-codon weights decide the genes that
  // run off a record's end as the method decides an ORF.
  std::string tables_dir;
};

// The scores and start of a gene whose start is known (a start codon, or
// the gene open at its 5' end: start_type "Edge", no start score), without
// moving it.
GeneCall score_call(const StartModel& model, const StartModelOptions& options, const std::string& sequence,
                    const Gene& gene);
// The call of a gene whose start the model chooses (a whole gene, or one
// open at its 3' end): its chosen start and that start's scores.
GeneCall choose_call(const StartModel& model, const StartModelOptions& options, const std::string& sequence,
                     const Gene& gene);

// The start model, trained on the called genes of every record in record
// order (the number of workers cannot change it); then each gene's start is
// chosen (kept with longest_orf), the genes that run off the record's ends
// are added (unless closed_ends), every gene is scored, and the record's
// pieces are written into results. say receives the progress lines.
void choose_starts(const std::vector<FastaRecord>& records, const std::string& results, const PredictOptions& predict,
                   const AnnotationSettings& settings, const CallOptions& calls,
                   const std::function<void(const std::string&)>& say);

}  // namespace codonspace::annotate
