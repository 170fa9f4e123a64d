// start_model_eval: trains the start model on a genome and the genes called
// on it, chooses the starts, and reports the model and (with a reference)
// how many starts agree with it before and after.
//
//   start_model_eval [options] GENOME.fna GENES.gff [REFERENCE.cds.tsv]
//
// Options: --out FILE (the genes with their chosen starts as GFF3 CDS
// lines), --min-length N, --starts ATG,GTG,TTG, --rounds N,
// --rbs-weight X, --context-weight X, --coding-weight X, --skip-penalty X,
// --atg-skip-penalty X
// (the model's settings). The reference's start accuracy is
// counted over the genes whose stop it shares; "reachable" is the share of
// those whose reference start is one of the model's candidates.
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "annotate/fasta.h"
#include "annotate/start_model.h"
#include "core/options.h"
#include "io/file_io.h"
#include "scoring.h"

using namespace codonspace;
using namespace codonspace::annotate;

namespace {
int usage() {
  std::fprintf(stderr, "usage: start_model_eval [--out FILE] [--min-length N] [--starts LIST] [--rounds N]\n"
                       "       [--rbs-weight X] [--context-weight X] [--coding-weight X] [--skip-penalty X]\n"
                       "       [--atg-skip-penalty X] GENOME.fna GENES.gff [REFERENCE.cds.tsv]\n");
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  StartModelOptions options;
  std::string out_path;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw Error("option " + a + " needs a value");
      return argv[++i];
    };
    try {
      if (a == "--out") out_path = value();
      else if (a == "--min-length") options.min_length = std::atoi(value().c_str());
      else if (a == "--starts") options.start_codons = split_commas(value());
      else if (a == "--rounds") options.rounds = std::atoi(value().c_str());
      else if (a == "--rbs-weight") options.rbs_weight = std::atof(value().c_str());
      else if (a == "--coding-weight") options.coding_weight = std::atof(value().c_str());
      else if (a == "--context-weight") options.context_weight = std::atof(value().c_str());
      else if (a == "--skip-penalty") options.skip_penalty = std::atof(value().c_str());
      else if (a == "--atg-skip-penalty") options.atg_skip_penalty = std::atof(value().c_str());
      else if (a.rfind("--", 0) == 0) return usage();
      else args.push_back(a);
    } catch (const Error& e) {
      std::fprintf(stderr, "start_model_eval: %s\n", e.what());
      return 1;
    }
  }
  if (args.size() < 2 || args.size() > 3) return usage();
  try {
    const std::vector<FastaRecord> records = read_fasta(args[0]);
    scoring::RecordGenes called = scoring::read_gff_genes(args[1]);
    std::vector<const std::string*> seqs;
    std::vector<std::vector<Gene>> genes;
    for (const FastaRecord& r : records) {
      seqs.push_back(&r.sequence);
      genes.push_back(called[r.id]);
    }
    const StartModel model = StartModel::train(seqs, genes, options);
    std::printf("trained %d motif %s typical spacer %d motif share %.3f\n", model.trained() ? 1 : 0,
                model.motif_consensus().c_str(), model.typical_spacer(), model.motif_share());

    scoring::RecordGenes chosen;
    std::map<std::string, std::vector<StartChoice>> choices;
    for (size_t i = 0; i < records.size(); ++i) {
      for (const Gene& g : genes[i]) {
        const StartChoice c = model.choose(records[i].sequence, g);
        chosen[records[i].id].push_back(c.gene);
        choices[records[i].id].push_back(c);
      }
    }
    if (!out_path.empty()) {
      File out(out_path, "w");
      if (!out.is_open()) throw Error("cannot create " + file_reason(out_path, out.open_error()));
      std::fprintf(out.get(), "##gff-version 3\n");
      for (const FastaRecord& r : records)
        for (const StartChoice& c : choices[r.id])
          std::fprintf(out.get(), "%s\tcodonspace\tCDS\t%ld\t%ld\t.\t%c\t0\trbs_motif=%s;rbs_spacer=%d;start_score=%.2f;conf=%.3f\n",
                       r.id.c_str(), c.gene.start, c.gene.end, c.gene.strand, c.rbs_motif.c_str(), c.rbs_spacer,
                       c.start_score, c.confidence);
      out.close_output();
    }
    if (args.size() == 3) {
      const scoring::RecordGenes ref = scoring::read_reference(args[2]);
      const bool unnamed = ref.size() == 1 && ref.begin()->first.empty();
      scoring::RecordGenes before = called, after = chosen;
      if (unnamed && records.size() == 1) {
        before = {{"", called[records[0].id]}};
        after = {{"", chosen[records[0].id]}};
      }
      const scoring::Score b = scoring::score_records(ref, before), a = scoring::score_records(ref, after);
      if (std::getenv("SME_DEBUG") != nullptr) {
        // Coding ratio per codon: skipped segments of wrong longest-ORF starts, and true genes.
        double seg = 0, seg_n = 0, gene = 0, gene_n = 0;
        for (size_t i = 0; i < records.size(); ++i) {
          const auto it = ref.find(unnamed ? std::string() : records[i].id);
          if (it == ref.end()) continue;
          std::map<long, Gene> by_stop;
          for (const Gene& g : it->second) by_stop[scoring::stop_key(g)] = g;
          for (const Gene& g : genes[i]) {
            const auto m = by_stop.find(scoring::stop_key(g));
            if (m == by_stop.end()) continue;
            const Gene& t = m->second;
            const double whole = model.coding_score(records[i].sequence, g);
            const double tail = model.coding_score(records[i].sequence, t);
            gene += tail;
            gene_n += double(t.end - t.start + 1) / 3;
            if (t.end - t.start < g.end - g.start) {
              seg += whole - tail;
              seg_n += double((g.end - g.start) - (t.end - t.start)) / 3;
            }
          }
        }
        // Where the wrong choices lie, and how many reference starts are candidates at all.
        long up = 0, down = 0, unreachable = 0, matched = 0;
        for (size_t i = 0; i < records.size(); ++i) {
          const auto it = ref.find(unnamed ? std::string() : records[i].id);
          if (it == ref.end()) continue;
          std::map<long, Gene> by_stop;
          for (const Gene& g : it->second) by_stop[scoring::stop_key(g)] = g;
          const std::vector<StartChoice>& cs = choices[records[i].id];
          for (size_t k = 0; k < genes[i].size(); ++k) {
            const Gene& g = genes[i][k];
            const auto m = by_stop.find(scoring::stop_key(g));
            if (m == by_stop.end()) continue;
            ++matched;
            const Gene& t = m->second;
            const long tl = t.end - t.start, gl = g.end - g.start, cl = cs[k].gene.end - cs[k].gene.start;
            const std::string codon = records[i].sequence.substr(static_cast<size_t>(t.strand == '+' ? t.start - 1 : t.end - 3), 3);
            const bool is_start = t.strand == '+' ? (codon == "ATG" || codon == "GTG" || codon == "TTG")
                                                  : (codon == "CAT" || codon == "CAC" || codon == "CAA");
            if (tl > gl || !is_start || tl + 3 < options.min_length) ++unreachable;
            else if (cl > tl) ++up;
            else if (cl < tl) ++down;
          }
        }
        std::printf("matched %ld: unreachable %ld, chosen upstream of the reference %ld, downstream %ld\n", matched,
                    unreachable, up, down);
        std::printf("coding ratio per codon: true genes %.4f, skipped segments %.4f (%.0f codons)\n", gene / gene_n,
                    seg / std::max(seg_n, 1.0), seg_n);
      }
      std::printf("matched %ld longest-ORF start accuracy %.4f model start accuracy %.4f\n", a.matched_predicted,
                  b.start_accuracy(), a.start_accuracy());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "start_model_eval: %s\n", e.what());
    return 1;
  }
  return 0;
}
