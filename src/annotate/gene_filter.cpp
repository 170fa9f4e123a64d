#include "annotate/gene_filter.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <set>
#include <tuple>

#include "core/parallel_blocks.h"
#include "stages/generate_orfs.h"

namespace codonspace::annotate {

namespace {

bool is_partial(const Gene& g) { return g.open_left || g.open_right; }

// The stop codon's outer end, signed by strand so that the strands never
// share a key; genes open at their 3' end have none.
bool stop_key(const Gene& g, long& key) {
  if (!has_stop(g)) return false;
  key = g.strand == '+' ? stop_base(g) : -stop_base(g);
  return true;
}

// Genes placed so far, by start; finds the largest overlap of a gene with them.
class Placed {
 public:
  void add(const Gene& g) {
    by_start_.emplace(g.start, g);
    longest_ = std::max(longest_, g.end - g.start + 1);
  }
  // The largest overlap with a placed gene, and that gene.
  long largest_overlap(const Gene& g, const Gene** with = nullptr) const {
    long best = 0;
    for (auto it = by_start_.lower_bound(g.start - longest_); it != by_start_.end() && it->first <= g.end; ++it) {
      const long o = overlap_bases(g, it->second);
      if (o > best) {
        best = o;
        if (with != nullptr) *with = &it->second;
      }
    }
    return best;
  }
  // Whether g overlaps a placed gene heavily: by more than overlap_bases
  // bases and more than overlap_share of the shorter of the two.
  bool heavy_overlap(const Gene& g, const GeneFilterRules& rules) const {
    for (auto it = by_start_.lower_bound(g.start - longest_); it != by_start_.end() && it->first <= g.end; ++it) {
      const Gene& h = it->second;
      const long o = overlap_bases(g, h);
      const long shorter = std::min(g.end - g.start + 1, h.end - h.start + 1);
      if (o > rules.overlap_bases && static_cast<double>(o) > rules.overlap_share * static_cast<double>(shorter))
        return true;
    }
    return false;
  }

 private:
  std::multimap<long, Gene> by_start_;
  long longest_ = 0;
};

// Keeps the longest ORF of each stop: the scan hands a stop's ORFs over
// longest first.
class LongestSink : public OrfSink {
 public:
  std::vector<Gene> genes;
  void orf(long b1, long b2) override {
    if (first_) genes.push_back(gene_of_pair(b1, b2));
    first_ = false;
  }
  void end_stop() override { first_ = true; }

 private:
  bool first_ = true;
};

}  // namespace

long overlap_bases(const Gene& a, const Gene& b) {
  return std::max(0L, std::min(a.end, b.end) - std::max(a.start, b.start) + 1);
}

void resolve_overlaps(std::vector<GeneCall>& calls, const GeneFilterRules& rules) {
  std::vector<size_t> order(calls.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&calls](size_t a, size_t b) {
    if (calls[a].coding_score != calls[b].coding_score) return calls[a].coding_score > calls[b].coding_score;
    return gene_before(calls[a].gene, calls[b].gene);
  });
  Placed kept;
  std::vector<char> removed(calls.size(), 0);
  for (size_t i : order) {
    const Gene& g = calls[i].gene;
    if (is_partial(g)) continue;
    if (kept.heavy_overlap(g, rules))
      removed[i] = 1;
    else
      kept.add(g);
  }
  size_t out = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (removed[i]) continue;
    if (out != i) calls[out] = std::move(calls[i]);  // a self-move would empty the strings
    ++out;
  }
  calls.resize(out);
}

std::vector<Gene> longest_orfs(const std::string& sequence, const PredictOptions& predict) {
  std::vector<Gene> genes;
  for (const LongestSink& block :
       scan_in_blocks<LongestSink>(initiate_start_stop_codons(false, predict.start_codons, predict.stop_codons),
                                   predict.min_length, PREDICTION_ORF_MAX_LENGTH, sequence.data(),
                                   static_cast<long>(sequence.size()), predict.threads))
    genes.insert(genes.end(), block.genes.begin(), block.genes.end());
  return genes;
}

void rescue_genes(const std::vector<Gene>& candidates, const std::vector<Gene>& called, std::vector<GeneCall>& calls,
                  const std::function<GeneCall(const Gene&)>& call_of, const GeneFilterRules& rules, int threads) {
  std::set<long> stops;
  for (const Gene& g : called)
    if (long key; stop_key(g, key)) stops.insert(key);
  Placed placed;
  for (const GeneCall& c : calls) placed.add(c.gene);
  std::vector<const Gene*> open;
  for (const Gene& g : candidates) {
    long key;
    if (stop_key(g, key) && stops.count(key) == 0) open.push_back(&g);
  }
  // Each candidate's call depends on the candidate alone: blocks of them on
  // the threads, each written to its own place, then taken in order.
  std::vector<GeneCall> scored(open.size());
  constexpr size_t CANDIDATES_PER_BLOCK = 256;
  run_blocks(threads, block_count(open.size(), CANDIDATES_PER_BLOCK), [&](size_t b) {
    const size_t end = std::min(open.size(), (b + 1) * CANDIDATES_PER_BLOCK);
    for (size_t j = b * CANDIDATES_PER_BLOCK; j < end; ++j) scored[j] = call_of(*open[j]);
  });
  std::vector<GeneCall> found;
  for (GeneCall& c : scored)
    if (c.score() > rules.rescue_score && placed.largest_overlap(c.gene) <= rules.rescue_overlap) found.push_back(std::move(c));
  std::sort(found.begin(), found.end(), [](const GeneCall& a, const GeneCall& b) {
    if (a.score() != b.score()) return a.score() > b.score();
    return gene_before(a.gene, b.gene);
  });
  for (GeneCall& c : found) {
    if (placed.largest_overlap(c.gene) > rules.rescue_overlap) continue;
    placed.add(c.gene);
    calls.push_back(std::move(c));
  }
}

void filter_calls(const std::string& sequence, std::vector<GeneCall>& calls, const PredictOptions& predict,
                  const std::function<GeneCall(const Gene&)>& call_of, const GeneFilterRules& rules) {
  std::vector<Gene> called;
  called.reserve(calls.size());
  for (const GeneCall& c : calls) called.push_back(c.gene);
  if (rules.overlaps) resolve_overlaps(calls, rules);
  if (rules.rescue) rescue_genes(longest_orfs(sequence, predict), called, calls, call_of, rules, predict.threads);
}

}  // namespace codonspace::annotate
