// gene_filter_study: the features the decision rules of gene_filter.h look
// at, for every stop of a genome, as a table to study them against a
// reference annotation.
//
//   gene_filter_study [options] GENOME.fna GENES.gff REFERENCE.cds.tsv
//
// GENES.gff holds the genes the method called with their longest-ORF starts
// (codonspace-annotate --longest-orf --closed-ends, or any GFF3 of CDS). The
// start model is trained on them as codonspace-annotate trains it, their
// starts are chosen, and the rules of gene_filter.h are applied with the
// settings given. Prints the score against the reference (3' match F1 and
// start accuracy) before and after the rules.
//
// Options: --min-length N (bases, stop included; default 150), --starts
// LIST (default ATG,GTG,TTG), --no-longest-starts, --no-overlaps,
// --no-rescue, --no-length-score,
// --overlap-bases N, --overlap-share X, --rescue-score X, --rescue-overlap N,
// --replace-score X, --drop-score X, --keep-margin X, --head-overlap N,
// --head-share X, --no-neighbour-starts, --neighbour-overlap N (the rules' settings, defaults as shipped; the rescue's length score is
// fitted on all records at once, as codonspace-annotate fits it), --overlap-by coding|z|length (the score
// the overlap rule compares; z needs --z), --z Z.DAT (the tables' Z values),
// --table FILE: every stop group of the ORF scan, one tab-separated line
// each: record, start, end, strand (the start the model chooses), whether
// the method called it, whether a reference CDS ends at its stop, whether
// its start agrees too, its length, the model's coding score and start score
// of the chosen start, the sum of the Z values of its codons and the best
// coding score of the five other reading frames over its bases; --calls
// FILE: the calls after the rules, one line each: record, start, end,
// strand, coding score, start score.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "annotate/fasta.h"
#include "annotate/gene_calls.h"
#include "annotate/gene_filter.h"
#include "annotate/start_model.h"
#include "core/codon.h"
#include "core/options.h"
#include "io/file_io.h"
#include "scoring.h"
#include "training/orf_scan.h"

using namespace codonspace;
using namespace codonspace::annotate;

namespace {

std::vector<double> read_z(const std::string& path) {
  File f(path, "r");
  if (!f.is_open()) throw Error("cannot open " + file_reason(path, f.open_error()));
  std::vector<double> z;
  double v;
  while (std::fscanf(f.get(), "%lf", &v) == 1) z.push_back(v);
  if (z.size() != 64) throw Error("'" + path + "' does not hold 64 values");
  return z;
}

// Sum of the Z values of the gene's codons, stop included.
double z_sum(const training::CodonIndex& ci, const Gene& g, const std::vector<double>& z) {
  const training::Orf o = g.strand == '+' ? training::Orf{g.start, g.end} : training::Orf{g.end, g.start};
  double s = 0;
  for (long k = 0; k < (g.end - g.start + 1) / 3; ++k) s += z[static_cast<size_t>(ci.codon(o, k))];
  return s;
}

int usage() {
  std::fprintf(stderr, "usage: gene_filter_study [--min-length N] [--starts LIST] [--no-overlaps] [--no-rescue]\n"
                       "       [--no-length-score] [--no-longest-starts] [--calls FILE]\n"
                       "       [--overlap-bases N] [--overlap-share X] [--rescue-score X] [--rescue-overlap N]\n"
                       "       [--replace-score X] [--drop-score X] [--keep-margin X] [--head-overlap N]\n"
                       "       [--head-share X] [--no-neighbour-starts] [--neighbour-overlap N]\n"
                       "       [--overlap-by coding|z|length] [--z Z.DAT] [--table FILE] GENOME.fna GENES.gff "
                       "REFERENCE.cds.tsv\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int min_length = 150;
  std::vector<std::string> starts = {"ATG", "GTG", "TTG"};
  std::string z_path, table_path, calls_path, overlap_by = "coding";
  GeneFilterRules rules;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--no-overlaps") {
      rules.overlaps = false;
    } else if (a == "--no-length-score") {
      rules.length_score = false;
    } else if (a == "--no-longest-starts") {
      rules.longest_starts = false;
    } else if (a == "--no-rescue") {
      rules.rescue = false;
    } else if (a == "--no-neighbour-starts") {
      rules.neighbour_starts = false;
    } else if (a.rfind("--", 0) == 0 && i + 1 < argc) {
      const std::string v = argv[++i];
      if (a == "--min-length") min_length = std::atoi(v.c_str());
      else if (a == "--starts") starts = split_commas(v);
      else if (a == "--z") z_path = v;
      else if (a == "--table") table_path = v;
      else if (a == "--calls") calls_path = v;
      else if (a == "--overlap-by") overlap_by = v;
      else if (a == "--overlap-bases") rules.overlap_bases = std::atol(v.c_str());
      else if (a == "--overlap-share") rules.overlap_share = std::atof(v.c_str());
      else if (a == "--rescue-score") rules.rescue_score = std::atof(v.c_str());
      else if (a == "--rescue-overlap") rules.rescue_overlap = std::atol(v.c_str());
      else if (a == "--replace-score") rules.replace_score = std::atof(v.c_str());
      else if (a == "--drop-score") rules.drop_score = std::atof(v.c_str());
      else if (a == "--keep-margin") rules.keep_margin = std::atof(v.c_str());
      else if (a == "--head-overlap") rules.head_overlap = std::atol(v.c_str());
      else if (a == "--head-share") rules.head_share = std::atof(v.c_str());
      else if (a == "--neighbour-overlap") rules.neighbour_overlap = std::atol(v.c_str());
      else return usage();
    } else if (a.rfind("--", 0) == 0) {
      return usage();
    } else {
      args.push_back(a);
    }
  }
  if (overlap_by != "coding" && overlap_by != "length" && !(overlap_by == "z" && !z_path.empty())) return usage();
  if (args.size() != 3) return usage();
  try {
    const std::vector<FastaRecord> records = read_fasta(args[0]);
    scoring::RecordGenes called = scoring::read_gff_genes(args[1]);
    const scoring::RecordGenes ref = scoring::read_reference(args[2]);
    const bool unnamed = ref.size() == 1 && ref.begin()->first.empty();
    const std::vector<double> z = z_path.empty() ? std::vector<double>(64, 0.0) : read_z(z_path);

    std::vector<const std::string*> seqs;
    std::vector<std::vector<Gene>> genes;
    for (const FastaRecord& r : records) {
      seqs.push_back(&r.sequence);
      genes.push_back(called[r.id]);
    }
    StartModelOptions options;
    options.min_length = min_length + 2;
    options.start_codons = starts;
    const StartModel model = StartModel::train(seqs, genes, options);
    PredictOptions predict;
    predict.min_length = min_length + 2;
    predict.start_codons = starts;

    std::unique_ptr<File> table;
    if (!table_path.empty()) {
      table = std::make_unique<File>(table_path, "w");
      if (!table->is_open()) throw Error("cannot create " + file_reason(table_path, table->open_error()));
      std::fprintf(table->get(), "record\tstart\tend\tstrand\tcalled\tlabel\tstart_ok\tlength\tcoding\tstart_score\tz\tother\n");
    }
    scoring::RecordGenes before, after;
    std::vector<std::vector<GeneCall>> made(records.size());
    std::vector<std::vector<Gene>> chosen(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      const std::string& seq = records[i].sequence;
      const std::string key = unnamed ? std::string() : records[i].id;
      const training::CodonIndex ci(seq);
      // The calls as codonspace-annotate makes them: the chosen start, its
      // coding score and start score.
      auto call_of = [&model, &options, &seq](const Gene& g) { return choose_call(model, options, seq, g); };
      if (table) {
        std::set<long> ref_stops;
        std::set<std::pair<long, long>> ref_full;
        if (const auto it = ref.find(key); it != ref.end())
          for (const Gene& g : it->second) {
            ref_stops.insert(scoring::stop_key(g));
            ref_full.insert({scoring::stop_key(g), scoring::start_key(g)});
          }
        std::set<long> called_stops;
        for (const Gene& g : genes[i]) called_stops.insert(scoring::stop_key(g));
        for (const Gene& longest : longest_orfs(seq, predict)) {
          const StartChoice c = model.choose(seq, longest);
          const long sk = scoring::stop_key(c.gene);
          std::fprintf(table->get(), "%zu\t%ld\t%ld\t%c\t%d\t%d\t%d\t%ld\t%.3f\t%.3f\t%.3f\t%.3f\n", i, c.gene.start,
                       c.gene.end, c.gene.strand, called_stops.count(sk) ? 1 : 0, ref_stops.count(sk) ? 1 : 0,
                       ref_full.count({sk, scoring::start_key(c.gene)}) ? 1 : 0, c.gene.end - c.gene.start + 1,
                       c.coding_score, c.start_score, z_sum(ci, c.gene, z),
                       c.coding_score - frame_margin(c.gene, static_cast<long>(seq.size()), [&](const Gene& g) {
                         return model.coding_score(seq, g);
                       }));
        }
      }
      std::vector<GeneCall> calls;
      for (const Gene& g : genes[i]) calls.push_back(call_of(g));
      for (const GeneCall& c : calls) chosen[i].push_back(c.gene);
      before[key] = chosen[i];
      // The starts moved upstream first, as filter_calls moves them.
      if (model.trained() && rules.longest_starts) extend_starts(calls, chosen[i], longest_orfs(seq, predict), call_of);
      if (model.trained() && rules.overlaps) {
        // The overlap rule on the score asked for; the calls it keeps.
        std::vector<GeneCall> ranked = calls;
        for (GeneCall& c : ranked) {
          if (overlap_by == "z") c.coding_score = z_sum(ci, c.gene, z);
          if (overlap_by == "length") c.coding_score = static_cast<double>(c.gene.end - c.gene.start + 1);
        }
        resolve_overlaps(ranked, rules);
        std::set<std::tuple<long, long, char>> kept;
        for (const GeneCall& c : ranked) kept.insert({c.gene.start, c.gene.end, c.gene.strand});
        std::erase_if(calls, [&kept](const GeneCall& c) { return !kept.count({c.gene.start, c.gene.end, c.gene.strand}); });
      }
      made[i] = std::move(calls);
    }
    if (model.trained() && rules.rescue) {
      // The rescue as codonspace-annotate applies it; the overlap rule above
      // already ranked the calls by the score asked for.
      GeneFilterRules rescue_only = rules;
      rescue_only.overlaps = false;
      rescue_only.longest_starts = false;
      filter_calls(seqs, chosen, made, predict,
                   [&](size_t r, const Gene& g) { return choose_call(model, options, *seqs[r], g); }, rescue_only,
                   [&](size_t r, const Gene& g) { return model.coding_score(*seqs[r], g); });
    }
    for (size_t i = 0; i < records.size(); ++i) {
      for (const GeneCall& c : made[i]) after[unnamed ? std::string() : records[i].id].push_back(c.gene);
    }
    if (table) table->close_output();
    if (!calls_path.empty()) {
      File out(calls_path, "w");
      if (!out.is_open()) throw Error("cannot create " + file_reason(calls_path, out.open_error()));
      for (size_t i = 0; i < records.size(); ++i)
        for (const GeneCall& c : made[i])
          std::fprintf(out.get(), "%zu\t%ld\t%ld\t%c\t%.3f\t%.3f\n", i, c.gene.start, c.gene.end, c.gene.strand,
                       c.coding_score, c.start_score());
      out.close_output();
    }
    const scoring::Score b = scoring::score_records(ref, before), a = scoring::score_records(ref, after);
    std::printf("called\tsensitivity %.4f\tprecision %.4f\tF1 %.4f\tstart_accuracy %.4f\tgenes %ld\n",
                b.sensitivity(), b.precision(), b.f1(), b.start_accuracy(), b.predicted);
    std::printf("filtered\tsensitivity %.4f\tprecision %.4f\tF1 %.4f\tstart_accuracy %.4f\tgenes %ld\n",
                a.sensitivity(), a.precision(), a.f1(), a.start_accuracy(), a.predicted);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gene_filter_study: %s\n", e.what());
    return 1;
  }
  return 0;
}
