// train_tables: fits the Z axis table (z.dat) and the decision plane
// (best_plane_fixed.dat) of method 1 from annotated genomes.
//
//   train_tables [--min-length N] [--starts ATG[,GTG,...]] [--tables DIR] [--out DIR]
//                GENOME.fna REFERENCE.cds.tsv [GENOME.fna REFERENCE.cds.tsv ...]
//
// Defaults: the recommended settings of src/core/defaults.h, --tables data,
// --out data. The X and Y tables are read from the --tables directory; when
// --out is another directory, the physico-chemical tables and codon1 are
// copied there too, so that it is a complete tables directory (this is how
// leave-one-genome-out tables are made: train on a subset into a scratch
// directory and run the program with it).
//
// Model (see src/training/model_tables.h): the plane is 0 0 1 0 and Z holds codon
// weights, so an ORF passes when the sum of its codons' weights is
// positive; the stop codons' weights are the per-ORF intercept.
//   1. Every record is scanned with the scan stage's rules; a stop group is
//      a gene when strand and stop coordinate match a reference CDS.
//   2. A logistic regression of gene against the codon counts of one ORF per
//      group (the annotated start where the scan has it, else the longest;
//      in later rounds the group's best-scoring ORF, since a group is
//      predicted when any of its ORFs passes). Each genome gets its own
//      unpenalised weights for the G+C counts at the three codon positions;
//      they absorb what is peculiar to each genome's composition and are
//      dropped, so the shared weights carry what tells genes from non-genes
//      within every genome rather than one genome's G+C content from
//      another's.
//   3. The intercept (added to the three stop codons' weights) is chosen by
//      a grid search for the best pooled F1 of the final prediction (a stop
//      is predicted when any of its ORFs passes; the longest passing one is
//      kept).
//   4. The weights are scaled (largest magnitude 100) and rounded as
//      written; the figures printed are those of the written tables,
//      replayed with the vector and plane stages' exact arithmetic, and agree
//      with scoring the program's output.
// Deterministic: rerunning with the same inputs rewrites both files byte for
// byte. Training figures go to standard error.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "annotate/fasta.h"
#include "core/codon.h"
#include "core/defaults.h"
#include "io/file_io.h"
#include "scoring.h"
#include "core/table_files.h"
#include "training/logistic_fit.h"
#include "training/model_tables.h"
#include "training/orf_scan.h"

using codonspace::Error;
using codonspace::File;
using codonspace::NUMBER_OF_CODONS;
namespace tr = codonspace::training;
namespace sc = codonspace::scoring;
namespace tf = codonspace::table_files;

namespace {

constexpr double RIDGE = 1.0;
constexpr int ROUNDS = 3;

struct Genome {
  std::string name;
  std::vector<codonspace::annotate::FastaRecord> records;
  std::map<std::string, std::vector<sc::Gene>> reference;
  long reference_count = 0;
  std::vector<tr::ScannedRecord> scanned;
  std::vector<std::vector<long>> refs;       // per record, per group: reference CDS ending at the stop
  std::vector<std::vector<long>> annotated;  // per record, per group: ORF with the annotated start, or -1
};

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: train_tables [--min-length N] [--starts ATG[,GTG,...]] [--tables DIR] [--out DIR]\n"
               "                    GENOME.fna REFERENCE.cds.tsv [GENOME.fna REFERENCE.cds.tsv ...]\n");
  std::exit(1);
}

std::string base_name(const std::string& path) {
  size_t s = path.find_last_of('/');
  std::string b = s == std::string::npos ? path : path.substr(s + 1);
  size_t d = b.find('.');
  return d == std::string::npos ? b : b.substr(0, d);
}



// The reference seqid of a record: its own, or "" for a one-record genome
// with a three-column reference.
std::string reference_id(const Genome& g, size_t r) {
  return g.records.size() == 1 && g.reference.count("") ? std::string() : g.records[r].id;
}

void label(Genome& g) {
  for (size_t r = 0; r < g.records.size(); ++r) {
    std::multimap<long, long> ref;  // stop key -> start key
    auto it = g.reference.find(reference_id(g, r));
    if (it != g.reference.end())
      for (const sc::Gene& cds : it->second) ref.insert({sc::stop_key(cds), sc::start_key(cds)});
    const tr::ScannedRecord& s = g.scanned[r];
    std::vector<long> refs, annotated;
    for (const tr::StopGroup& gr : s.scan.groups) {
      sc::Gene gene;
      sc::gene_from_pair(s.scan.orfs[gr.first].b1, s.scan.orfs[gr.first].b2, gene);
      auto range = ref.equal_range(sc::stop_key(gene));
      long n = 0, at = -1;
      for (auto e = range.first; e != range.second; ++e) {
        ++n;
        for (size_t k = 0; k < gr.count; ++k) {
          sc::Gene o;
          sc::gene_from_pair(s.scan.orfs[gr.first + k].b1, s.scan.orfs[gr.first + k].b2, o);
          if (sc::start_key(o) == e->second) at = static_cast<long>(k);
        }
      }
      refs.push_back(n);
      annotated.push_back(at);
    }
    g.refs.push_back(std::move(refs));
    g.annotated.push_back(std::move(annotated));
  }
}

// Scores the exact predictions of the tables for one genome.
sc::Score exact_score(const Genome& g, const tr::ModelTables& t) {
  sc::Score total;
  for (size_t r = 0; r < g.records.size(); ++r) {
    std::vector<sc::Gene> pred;
    for (const tr::Orf& o : tr::exact_predictions(g.scanned[r], t)) {
      sc::Gene gene;
      sc::gene_from_pair(o.b1, o.b2, gene);
      pred.push_back(gene);
    }
    auto it = g.reference.find(reference_id(g, r));
    total += sc::score(it == g.reference.end() ? std::vector<sc::Gene>{} : it->second, pred);
  }
  // Reference CDS on seqids absent from the FASTA still count.
  for (const auto& [id, genes] : g.reference) {
    bool present = id.empty() && g.records.size() == 1;
    for (const auto& rec : g.records) present = present || rec.id == id;
    if (!present) total += sc::score(genes, {});
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const auto t0 = std::chrono::steady_clock::now();
  int min_length = codonspace::DEFAULT_MIN_LENGTH;
  std::string start_list;
  for (const char* s : codonspace::DEFAULT_START_CODONS) start_list += (start_list.empty() ? "" : ",") + std::string(s);
  std::string tables_dir = "data", out_dir = "data";
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--min-length" && i + 1 < argc) {
      char* end = nullptr;
      const long v = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || v < 1 || v > 10000000) usage();
      min_length = static_cast<int>(v);
    } else if (a == "--starts" && i + 1 < argc) {
      start_list = argv[++i];
    } else if (a == "--tables" && i + 1 < argc) {
      tables_dir = argv[++i];
    } else if (a == "--out" && i + 1 < argc) {
      out_dir = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      usage();
    } else {
      files.push_back(a);
    }
  }
  if (files.empty() || files.size() % 2 != 0) usage();

  try {
    const std::vector<std::string> starts = tr::parse_start_list(start_list);
    tr::ModelTables t;
    codonspace::load_codon_value_list(tables_dir + "/" + tf::X_VALUES, t.x.data());
    codonspace::load_codon_value_list(tables_dir + "/" + tf::Y_VALUES, t.y.data());

    std::vector<Genome> genomes(files.size() / 2);
    long total_orfs = 0, total_groups = 0, gene_groups = 0;
    for (size_t i = 0; i < genomes.size(); ++i) {
      Genome& g = genomes[i];
      g.name = base_name(files[2 * i]);
      g.records = codonspace::annotate::read_fasta(files[2 * i]);
      g.reference = sc::read_reference(files[2 * i + 1]);
      g.reference_count = 0;
      for (const auto& [id, genes] : g.reference) g.reference_count += static_cast<long>(genes.size());
      g.scanned.reserve(g.records.size());
      for (const auto& r : g.records) g.scanned.emplace_back(r.sequence, min_length, starts);
      label(g);
      for (size_t r = 0; r < g.records.size(); ++r) {
        total_orfs += static_cast<long>(g.scanned[r].scan.orfs.size());
        total_groups += static_cast<long>(g.scanned[r].scan.groups.size());
        for (long n : g.refs[r]) gene_groups += n > 0 ? 1 : 0;
      }
    }
    std::fprintf(stderr, "train_tables: min length %d, starts %s; %ld ORFs at %ld stops, %ld stops of reference CDS\n",
                 min_length, start_list.c_str(), total_orfs, total_groups, gene_groups);

    // Logistic regression rounds; the first uses the annotated (else the
    // longest) ORF of each group, later ones each group's best ORF.
    std::vector<double> w(NUMBER_OF_CODONS, 0.0);
    const std::vector<int> stop_codons = tr::codon_indices(codonspace::standard_stop_codons());
    for (int round = 0; round < ROUNDS; ++round) {
      tr::Samples s;
      float counts[NUMBER_OF_CODONS];
      for (size_t gi = 0; gi < genomes.size(); ++gi) {
        const Genome& g = genomes[gi];
        for (size_t r = 0; r < g.records.size(); ++r) {
          const tr::ScannedRecord& sr = g.scanned[r];
          std::vector<tr::GroupBest> best;
          if (round > 0) best = tr::best_per_group(sr, w.data());
          for (size_t k = 0; k < sr.scan.groups.size(); ++k) {
            const tr::StopGroup& gr = sr.scan.groups[k];
            size_t pick = 0;
            if (round > 0)
              pick = best[k].orf;
            else if (g.annotated[r][k] >= 0)
              pick = static_cast<size_t>(g.annotated[r][k]);
            tr::orf_counts(sr, sr.scan.orfs[gr.first + pick], counts);
            s.add(counts, g.refs[r][k] > 0, static_cast<int>(gi));
          }
        }
      }
      tr::fit_logistic(s, stop_codons, RIDGE, static_cast<int>(genomes.size()), round == 0 ? 40 : 15, w.data());
    }

    // The intercept: best pooled F1 of the final prediction over a grid.
    std::vector<sc::StopScore> stops;
    long all_refs = 0;
    for (const Genome& g : genomes) {
      all_refs += g.reference_count;
      for (size_t r = 0; r < g.records.size(); ++r) {
        const std::vector<tr::GroupBest> best = tr::best_per_group(g.scanned[r], w.data());
        for (size_t k = 0; k < best.size(); ++k) stops.push_back(sc::StopScore{best[k].score, g.refs[r][k]});
      }
    }
    const sc::Intercept intercept = sc::add_best_intercept(stops, all_refs, tr::stop_codon_indices(), w);
    tr::set_model(t, w.data());

    sc::Score pooled;
    for (const Genome& g : genomes) {
      const sc::Score s = exact_score(g, t);
      pooled += s;
      std::fprintf(stderr,
                   "  %-22s reference %5ld predicted %5ld sensitivity %.4f precision %.4f F1 %.4f start %.4f\n",
                   g.name.c_str(), s.reference, s.predicted, s.sensitivity(), s.precision(), s.f1(),
                   s.start_accuracy());
    }
    std::fprintf(stderr,
                 "  %-22s reference %5ld predicted %5ld sensitivity %.4f precision %.4f F1 %.4f start %.4f\n",
                 "pooled", pooled.reference, pooled.predicted, pooled.sensitivity(), pooled.precision(), pooled.f1(),
                 pooled.start_accuracy());
    std::fprintf(stderr, "  intercept shift %.2f (pooled F1 of the search %.4f)\n", intercept.shift, intercept.f1);

    std::error_code ec;
    std::filesystem::create_directories(out_dir, ec);
    if (ec) throw Error("cannot create the output directory '" + out_dir + "': " + ec.message());
    if (!std::filesystem::equivalent(tables_dir, out_dir, ec)) {
      for (const char* name : tf::UNTRAINED)
        codonspace::copy_file(tables_dir + "/" + name, out_dir + "/" + name);
    }
    tr::write_trained_tables(out_dir, t);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::fprintf(stderr, "train_tables: wrote %s/z.dat and %s/best_plane_fixed.dat in %.1f s\n", out_dir.c_str(),
                 out_dir.c_str(), secs);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "train_tables: %s\n", e.what());
    return 1;
  }
  return 0;
}
