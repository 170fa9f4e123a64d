#include "annotate/gene_calls.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "annotate/edge_genes.h"
#include "annotate/gene_filter.h"
#include "annotate/outputs.h"
#include "annotate/processes.h"
#include "annotate/start_model.h"
#include "core/parallel_blocks.h"
#include "io/file_io.h"

namespace codonspace::annotate {

std::string fragment_path(const std::string& dir, size_t record, size_t output) {
  return dir + "/" + std::to_string(record) + OUTPUT_EXTENSIONS[output];
}

namespace {
// What fill writes into a FILE, as text in memory.
template <typename Fill>
std::string rendered(Fill fill) {
  char* data = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&data, &size);
  if (out == nullptr) throw Error("cannot format the outputs in memory: " + std::string(std::strerror(errno)));
  try {
    fill(out);
  } catch (...) {
    std::fclose(out);
    std::free(data);
    throw;
  }
  const bool failed = std::ferror(out) != 0;
  const bool closed = std::fclose(out) == 0;
  std::string text;
  if (closed && !failed) text.assign(data, size);
  std::free(data);
  if (failed || !closed) throw Error("cannot format the outputs in memory: out of memory");
  return text;
}
}  // namespace

void write_fragments(const std::string& dir, size_t index, const FastaRecord& record,
                     const std::vector<GeneCall>& calls, const AnnotationSettings& settings, int threads) {
  // The three files' texts in blocks of calls, formatted side by side on the
  // threads, then each file's blocks written in order, the files side by side.
  constexpr size_t CALLS_PER_TEXT = 256;
  const size_t blocks = block_count(calls.size(), CALLS_PER_TEXT);
  std::vector<std::string> texts(3 * blocks);
  run_blocks(threads, texts.size(), [&](size_t t) {
    const size_t k = t / blocks, first = t % blocks * CALLS_PER_TEXT;
    const size_t last = std::min(calls.size(), first + CALLS_PER_TEXT);
    texts[t] = rendered([&](FILE* out) {
      if (k == 0) write_gff_lines(out, record, calls, first, last);
      if (k == 1) write_faa_genes(out, record, calls, settings.genetic_code, first, last);
      if (k == 2) write_ffn_genes(out, record, calls, first, last);
    });
  });
  run_blocks(threads, 3, [&](size_t k) {
    const std::string path = fragment_path(dir, index, k);
    File out(path, "w", 1 << 16);
    if (!out.is_open()) throw Error("cannot create " + file_reason(path, out.open_error()));
    if (k == 0) write_gff_record_line(out.get(), index + 1, record);
    for (size_t b = 0; b < blocks; ++b) {
      const std::string& text = texts[k * blocks + b];
      std::fwrite(text.data(), 1, text.size(), out.get());
    }
    out.close_output();
  });
}

std::string genes_path(const std::string& dir, size_t record) { return dir + "/" + std::to_string(record) + ".genes"; }

void write_gene_list(const std::string& path, const std::vector<Gene>& genes) {
  File out(path, "w", 1 << 16);
  if (!out.is_open()) throw Error("cannot create " + file_reason(path, out.open_error()));
  for (const Gene& g : genes)
    std::fprintf(out.get(), "%ld %ld %c %s\n", g.start, g.end, g.strand, partial_flags(g).c_str());
  out.close_output();
}

std::vector<Gene> read_gene_list(const std::string& path) {
  File in(path, "r");
  if (!in.is_open()) throw Error("cannot open the worker result " + file_reason(path, in.open_error()));
  std::vector<Gene> genes;
  Gene g;
  char left[2], right[2];
  int fields;
  while ((fields = std::fscanf(in.get(), "%ld %ld %c %1[01]%1[01]", &g.start, &g.end, &g.strand, left, right)) == 5) {
    g.open_left = left[0] == '1';
    g.open_right = right[0] == '1';
    genes.push_back(g);
  }
  in.check_read();
  if (fields != EOF || !std::feof(in.get())) throw Error("the worker result '" + path + "' is malformed");
  return genes;
}

namespace {
bool open_5prime(const Gene& g) { return g.strand == '+' ? g.open_left : g.open_right; }

// The model's signals of a start as a call's scores: the RBS and context
// parts weighted as the start choice weighs them, so the parts add up to
// the start score the choice compared.
void take_start(GeneCall& call, const StartChoice& c, const StartModelOptions& options) {
  call.start_type = c.start_codon;
  call.rbs_motif = c.rbs_motif;
  call.rbs_spacer = c.rbs_spacer;
  call.rbs_score = options.rbs_weight * c.rbs_score;
  call.upstream_score = options.context_weight * c.context_score;
  call.type_score = c.codon_score;
}
}  // namespace

GeneCall score_call(const StartModel& model, const StartModelOptions& options, const std::string& sequence,
                    const Gene& gene) {
  GeneCall call;
  call.gene = gene;
  call.coding_score = model.coding_score(sequence, gene);
  if (open_5prime(gene)) return call;
  // The model scores the start it chooses. Cut to the shortest length the
  // minimum allows, the gene has no other candidate start, so the choice is
  // this start and its signals are those of the whole gene's start (the
  // bases after the start codon that the context reads lie within the cut
  // at any minimum length of 27 bases or more).
  const long length = gene.end - gene.start + 1;
  long cut = std::max(6L, static_cast<long>(options.min_length) - 2);
  cut = std::min(length, (cut + 2) / 3 * 3);
  const Gene first = gene.strand == '+' ? Gene{gene.start, gene.start + cut - 1, '+'} : Gene{gene.end - cut + 1, gene.end, '-'};
  take_start(call, model.choose(sequence, first), options);
  return call;
}

GeneCall choose_call(const StartModel& model, const StartModelOptions& options, const std::string& sequence,
                     const Gene& gene) {
  const StartChoice c = model.choose(sequence, gene);
  GeneCall call;
  call.gene = c.gene;
  call.coding_score = model.coding_score(sequence, c.gene);
  take_start(call, c, options);
  return call;
}

void choose_starts(const std::vector<FastaRecord>& records, const std::string& results, const PredictOptions& predict,
                   const AnnotationSettings& settings, const CallOptions& calls,
                   const std::function<void(const std::string&)>& say) {
  std::vector<const std::string*> sequences;
  std::vector<std::vector<Gene>> genes, whole;
  for (size_t i = 0; i < records.size(); ++i) {
    sequences.push_back(&records[i].sequence);
    genes.push_back(read_gene_list(genes_path(results, i)));
    whole.emplace_back();
    for (const Gene& g : genes.back())
      if (!g.open_left && !g.open_right) whole.back().push_back(g);
    SignalGuard::check();
  }
  StartModelOptions o;
  o.start_codons = predict.start_codons;
  o.min_length = predict.min_length;
  o.threads = predict.threads;
  const StartModel model = StartModel::train(sequences, whole, o);
  if (!model.trained())
    say("too few genes to train the start model; the longest ORFs' starts are kept");
  else if (calls.longest_orf)
    say("start model trained (it scores the genes; the longest ORFs' starts are kept): RBS motif " +
        model.motif_consensus() + ", spacer " + std::to_string(model.typical_spacer()));
  else
    say("start model trained: RBS motif " + model.motif_consensus() + ", spacer " +
        std::to_string(model.typical_spacer()));

  // Genes that run off a record's end are called when the method would call
  // their codons: method 1's plane test on their codon counts (with the
  // shipped tables: the sum of the codons' Z values, stop included, is
  // positive). One without its stop codon counts the commonest stop of the
  // called genes in its place. Measured on a genome cut into pieces, this
  // adds partial genes with few false calls; the start model's coding score
  // adds a few more true and more false ones.
  const EdgeGeneOptions edge{predict.min_length - 2, predict.start_codons, predict.stop_codons};
  training::ModelTables tables;
  int missing_stop = 0;
  if (!calls.closed_ends) {
    tables = training::load_model_tables(calls.tables_dir);
    missing_stop = likely_stop_codon(sequences, whole, predict.stop_codons);
  }
  std::vector<std::vector<GeneCall>> made(records.size());
  std::vector<std::vector<Gene>> called(records.size());
  size_t partial = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    const std::string& sequence = records[i].sequence;
    std::vector<Gene>& all = called[i];
    all = genes[i];
    if (!calls.closed_ends) {
      const std::vector<Gene> edges = edge_genes(sequence, genes[i], edge, [&](const Gene& g) {
        return method_calls(sequence, g, tables, missing_stop);
      });
      all.insert(all.end(), edges.begin(), edges.end());
    }
    // Each gene's start and scores depend on the gene alone: blocks of genes
    // on the run's threads, each call written to its own place.
    std::vector<GeneCall>& out = made[i];
    out.resize(all.size());
    constexpr size_t CALLS_PER_BLOCK = 256;
    run_blocks(o.threads, block_count(all.size(), CALLS_PER_BLOCK), [&](size_t b) {
      const size_t end = std::min(all.size(), (b + 1) * CALLS_PER_BLOCK);
      for (size_t j = b * CALLS_PER_BLOCK; j < end; ++j)
        out[j] = calls.longest_orf || open_5prime(all[j]) ? score_call(model, o, sequence, all[j])
                                                           : choose_call(model, o, sequence, all[j]);
    });
    for (const Gene& g : all) partial += g.open_left || g.open_right ? 1 : 0;
    SignalGuard::check();
  }
  if (model.trained() && !calls.longest_orf)
    filter_calls(sequences, called, made, predict,
                 [&](size_t r, const Gene& g) { return choose_call(model, o, *sequences[r], g); }, {},
                 [&](size_t r, const Gene& g) { return model.coding_score(*sequences[r], g); });
  for (size_t i = 0; i < records.size(); ++i) {
    sort_calls(made[i]);
    write_fragments(results, i, records[i], made[i], settings, o.threads);
    SignalGuard::check();
  }
  if (!calls.closed_ends)
    say(std::to_string(partial) + " partial gene" + (partial == 1 ? "" : "s") + " (running off a record's end) called");
}

}  // namespace codonspace::annotate
