#include "annotate/gene_calls.h"

#include <cstdio>

#include "annotate/outputs.h"
#include "annotate/processes.h"
#include "annotate/start_model.h"
#include "io/file_io.h"

namespace codonspace::annotate {

std::string fragment_path(const std::string& dir, size_t record, size_t output) {
  return dir + "/" + std::to_string(record) + OUTPUT_EXTENSIONS[output];
}

void write_fragments(const std::string& dir, size_t index, const FastaRecord& record, const std::vector<Gene>& genes,
                     const AnnotationSettings& settings) {
  for (size_t k = 0; k < 3; ++k) {
    const std::string path = fragment_path(dir, index, k);
    File out(path, "w", 1 << 16);
    if (!out.is_open()) throw Error("cannot create " + file_reason(path, out.open_error()));
    if (k == 0) write_gff_genes(out.get(), index + 1, record, genes, settings);
    if (k == 1) write_faa_genes(out.get(), record, genes, settings.genetic_code);
    if (k == 2) write_ffn_genes(out.get(), record, genes);
    out.close_output();
  }
}

std::string genes_path(const std::string& dir, size_t record) { return dir + "/" + std::to_string(record) + ".genes"; }

void write_gene_list(const std::string& path, const std::vector<Gene>& genes) {
  File out(path, "w", 1 << 16);
  if (!out.is_open()) throw Error("cannot create " + file_reason(path, out.open_error()));
  for (const Gene& g : genes) std::fprintf(out.get(), "%ld %ld %c\n", g.start, g.end, g.strand);
  out.close_output();
}

std::vector<Gene> read_gene_list(const std::string& path) {
  File in(path, "r");
  if (!in.is_open()) throw Error("cannot open the worker result " + file_reason(path, in.open_error()));
  std::vector<Gene> genes;
  Gene g;
  while (std::fscanf(in.get(), "%ld %ld %c", &g.start, &g.end, &g.strand) == 3) genes.push_back(g);
  in.check_read();
  if (!std::feof(in.get())) throw Error("the worker result '" + path + "' is malformed");
  return genes;
}

void choose_starts(const std::vector<FastaRecord>& records, const std::string& results, const PredictOptions& predict,
                   const AnnotationSettings& settings, const std::function<void(const std::string&)>& say) {
  std::vector<const std::string*> sequences;
  std::vector<std::vector<Gene>> genes;
  for (size_t i = 0; i < records.size(); ++i) {
    sequences.push_back(&records[i].sequence);
    genes.push_back(read_gene_list(genes_path(results, i)));
    SignalGuard::check();
  }
  StartModelOptions o;
  o.start_codons = predict.start_codons;
  o.min_length = predict.min_length;
  o.threads = predict.threads;
  const StartModel model = StartModel::train(sequences, genes, o);
  say(model.trained() ? "start model trained: RBS motif " + model.motif_consensus() + ", spacer " +
                                     std::to_string(model.typical_spacer())
                               : "too few genes to train the start model; the longest ORFs' starts are kept");
  for (size_t i = 0; i < records.size(); ++i) {
    std::vector<Gene> chosen = model.choose_all(records[i].sequence, genes[i]);
    sort_genes(chosen);
    write_fragments(results, i, records[i], chosen, settings);
    SignalGuard::check();
  }
}

}  // namespace codonspace::annotate
