#include "annotate/edge_genes.h"

#include <algorithm>
#include <array>

#include "annotate/gene_output.h"
#include "annotate/strand_view.h"
#include "core/codon.h"
#include "io/file_io.h"
#include "stages/stages.h"

namespace codonspace::annotate {

namespace {

// A candidate on one strand, 0-based half-open in that strand's reading.
struct StrandOrf {
  long begin, end;
  bool open5, open3;
};

// The candidates of one strand read 5' to 3'. Only the ends of each frame
// matter: its first stop, its last stop and the first start after that, so
// each frame is searched from both ends inwards.
std::vector<StrandOrf> strand_candidates(const StrandView& s, const CodonSet& starts, const CodonSet& stops,
                                         long min_length) {
  std::vector<StrandOrf> out;
  const long n = s.size();
  auto holds = [&](const CodonSet& set, long p) { return set.contains(s.codon(p).data()); };
  for (long f = 0; f < 3; ++f) {
    if (n - f < 3) continue;
    const long last = f + 3 * ((n - f) / 3);  // end of the frame's last whole codon
    long first_stop = -1, last_stop = -1;
    for (long p = f; p < last; p += 3)
      if (holds(stops, p)) {
        first_stop = p;
        break;
      }
    if (first_stop < 0) {
      out.push_back({f, last, true, true});
      continue;
    }
    for (long p = last - 3; p >= first_stop; p -= 3)
      if (holds(stops, p)) {
        last_stop = p;
        break;
      }
    out.push_back({f, first_stop + 3, true, false});
    for (long p = last_stop + 3; p < last; p += 3)
      if (holds(starts, p)) {
        out.push_back({p, last, false, true});
        break;
      }
  }
  std::vector<StrandOrf> kept;
  for (const StrandOrf& o : out)
    if (o.end - o.begin >= std::max(min_length, 6L)) kept.push_back(o);
  return kept;
}

}  // namespace

std::vector<Gene> edge_candidates(const std::string& sequence, const EdgeGeneOptions& options) {
  const CodonSet starts(options.start_codons), stops(options.stop_codons);
  const long n = static_cast<long>(sequence.size());
  std::vector<Gene> out;
  for (const StrandOrf& o : strand_candidates(StrandView(sequence, false), starts, stops, options.min_length))
    out.push_back(Gene{o.begin + 1, o.end, '+', o.open5, o.open3});
  for (const StrandOrf& o : strand_candidates(StrandView(sequence, true), starts, stops, options.min_length))
    out.push_back(Gene{n - o.end + 1, n - o.begin, '-', o.open3, o.open5});
  sort_genes(out);
  return out;
}

bool method_calls(const std::string& sequence, const Gene& gene, const training::ModelTables& tables, int missing_stop) {
  const std::string bases = gene_bases(sequence, gene);
  int counts[NUMBER_OF_CODONS] = {};
  for (size_t i = 0; i + 3 <= bases.size(); i += 3) ++counts[codon_srno(bases.data() + i)];
  const bool open3 = gene.strand == '+' ? gene.open_right : gene.open_left;
  if (open3 && missing_stop >= 0 && missing_stop < NUMBER_OF_CODONS) ++counts[missing_stop];
  return training::passes_plane(counts, tables);
}

int likely_stop_codon(const std::vector<const std::string*>& sequences, const std::vector<std::vector<Gene>>& genes,
                      const std::vector<std::string>& stop_codons) {
  std::vector<std::string> stops;
  for (const std::string& c : stop_codons)
    if (c.size() == 3) stops.push_back(c);
  if (stops.empty()) return codon_srno("TAA");
  std::vector<long> seen(stops.size(), 0);
  for (size_t i = 0; i < sequences.size() && i < genes.size(); ++i)
    for (const Gene& g : genes[i]) {
      if (!has_stop(g) || g.start < 1 || g.end > static_cast<long>(sequences[i]->size()) || g.end - g.start < 2)
        continue;
      const Gene stop = g.strand == '+' ? Gene{g.end - 2, g.end, '+'} : Gene{g.start, g.start + 2, '-'};
      const std::string codon = gene_bases(*sequences[i], stop);
      for (size_t k = 0; k < stops.size(); ++k) seen[k] += codon == stops[k] ? 1 : 0;
    }
  const size_t best = static_cast<size_t>(std::max_element(seen.begin(), seen.end()) - seen.begin());
  return codon_srno(stops[best].c_str());
}

std::vector<Gene> edge_genes(const std::string& sequence, const std::vector<Gene>& called,
                             const EdgeGeneOptions& options, const std::function<bool(const Gene&)>& accept) {
  std::vector<std::pair<long, char>> called_stops;
  for (const Gene& g : called)
    if (has_stop(g)) called_stops.emplace_back(stop_base(g), g.strand);
  std::sort(called_stops.begin(), called_stops.end());
  std::vector<Gene> out;
  for (const Gene& g : edge_candidates(sequence, options)) {
    if (has_stop(g) && std::binary_search(called_stops.begin(), called_stops.end(), std::make_pair(stop_base(g), g.strand)))
      continue;
    if (accept(g)) out.push_back(g);
  }
  return out;
}

}  // namespace codonspace::annotate
