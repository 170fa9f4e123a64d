#include "annotate/gene_filter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <set>
#include <tuple>

#include "annotate/strand_view.h"
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

// Whether two genes on opposite strands overlap at their 5' ends, each
// one's start codon inside the other.
bool head_to_head(const Gene& g, const Gene& h) {
  if (g.strand == h.strand) return false;
  const Gene& plus = g.strand == '+' ? g : h;
  const Gene& minus = g.strand == '+' ? h : g;
  return minus.start < plus.start && plus.start <= minus.end && minus.end < plus.end;
}

// Genes placed so far, by start; finds the largest overlap of a gene with them.
class Placed {
 public:
  void add(const Gene& g) {
    by_start_.emplace(g.start, g);
    longest_ = std::max(longest_, g.end - g.start + 1);
  }
  // Removes one placed gene equal to g.
  void remove(const Gene& g) {
    for (auto it = by_start_.lower_bound(g.start); it != by_start_.end() && it->first == g.start; ++it)
      if (it->second.end == g.end && it->second.strand == g.strand) {
        by_start_.erase(it);
        return;
      }
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
  // The largest head-to-head overlap with a placed gene: genes on opposite
  // strands whose 5' ends overlap, each one's start codon inside the other.
  long largest_head_overlap(const Gene& g) const {
    long best = 0;
    for (auto it = by_start_.lower_bound(g.start - longest_); it != by_start_.end() && it->first <= g.end; ++it) {
      if (head_to_head(g, it->second)) best = std::max(best, overlap_bases(g, it->second));
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
      const double share = head_to_head(g, h) ? rules.head_share : rules.overlap_share;
      if (o > rules.overlap_bases && static_cast<double>(o) > share * static_cast<double>(shorter)) return true;
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

// Removes the calls flagged in removed, keeping the others in order.
void drop_removed(std::vector<GeneCall>& calls, const std::vector<char>& removed) {
  size_t out = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (removed[i]) continue;
    if (out != i) calls[out] = std::move(calls[i]);  // a self-move would empty the strings
    ++out;
  }
  calls.resize(out);
}

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
  drop_removed(calls, removed);
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

LengthScore::LengthScore(const std::vector<long>& gene_lengths, const std::vector<long>& candidate_lengths) {
  if (gene_lengths.empty() && candidate_lengths.empty()) return;
  shortest_ = std::numeric_limits<long>::max();
  for (const std::vector<long>* v : {&gene_lengths, &candidate_lengths})
    if (!v->empty()) shortest_ = std::min(shortest_, *std::min_element(v->begin(), v->end()));
  std::vector<double> genes(BINS, 0), candidates(BINS, 0);
  for (long l : gene_lengths) genes[static_cast<size_t>(bin(l))] += 1;
  for (long l : candidate_lengths) candidates[static_cast<size_t>(bin(l))] += 1;
  const double n_genes = static_cast<double>(gene_lengths.size()) + BINS;
  const double n_candidates = static_cast<double>(candidate_lengths.size()) + BINS;
  llr_.resize(BINS);
  for (size_t b = 0; b < llr_.size(); ++b)
    llr_[b] = std::log((genes[b] + 1) / n_genes) - std::log((candidates[b] + 1) / n_candidates);
}

int LengthScore::bin(long length) const {
  if (length <= shortest_) return 0;
  const double b = std::floor(BINS_PER_OCTAVE * std::log2(static_cast<double>(length) / static_cast<double>(shortest_)));
  return static_cast<int>(std::min(b, static_cast<double>(BINS - 1)));
}

double LengthScore::operator()(long length) const { return llr_.empty() ? 0 : llr_[static_cast<size_t>(bin(length))]; }

void add_lengths(const std::vector<GeneCall>& calls, const std::vector<GeneCall>& candidates,
                 std::vector<long>& gene_lengths, std::vector<long>& candidate_lengths) {
  for (const GeneCall& c : calls)
    if (!is_partial(c.gene)) gene_lengths.push_back(c.gene.end - c.gene.start + 1);
  for (const GeneCall& c : candidates) candidate_lengths.push_back(c.gene.end - c.gene.start + 1);
}

std::vector<GeneCall> rescue_candidates(const std::vector<Gene>& orfs, const std::vector<Gene>& called,
                                        const std::function<GeneCall(const Gene&)>& call_of, int threads) {
  std::set<long> stops;
  for (const Gene& g : called)
    if (long key; stop_key(g, key)) stops.insert(key);
  std::vector<const Gene*> open;
  for (const Gene& g : orfs) {
    long key;
    if (stop_key(g, key) && stops.count(key) == 0) open.push_back(&g);
  }
  // Each candidate's call depends on the candidate alone: blocks of them on
  // the threads, each written to its own place.
  std::vector<GeneCall> scored(open.size());
  constexpr size_t CANDIDATES_PER_BLOCK = 256;
  run_blocks(threads, block_count(open.size(), CANDIDATES_PER_BLOCK), [&](size_t b) {
    const size_t end = std::min(open.size(), (b + 1) * CANDIDATES_PER_BLOCK);
    for (size_t j = b * CANDIDATES_PER_BLOCK; j < end; ++j) scored[j] = call_of(*open[j]);
  });
  return scored;
}

void extend_starts(std::vector<GeneCall>& calls, const std::vector<Gene>& called, const std::vector<Gene>& orfs,
                   const std::function<GeneCall(const Gene&)>& call_of, int threads) {
  std::map<long, const Gene*> longest;  // stop key -> the stop's longest ORF
  for (const Gene& g : orfs)
    if (long key; stop_key(g, key)) longest.emplace(key, &g);
  std::map<long, const Gene*> method;  // stop key -> the called gene
  for (const Gene& g : called)
    if (long key; stop_key(g, key)) method.emplace(key, &g);
  auto reaches_upstream = [](const Gene& orf, const Gene& g) {
    return orf.strand == '+' ? orf.start < g.start : orf.end > g.end;
  };
  std::vector<std::pair<size_t, const Gene*>> redo;  // call, longest ORF
  for (size_t i = 0; i < calls.size(); ++i) {
    const Gene& g = calls[i].gene;
    long key;
    if (is_partial(g) || !stop_key(g, key)) continue;
    const auto o = longest.find(key);
    const auto m = method.find(key);
    if (o == longest.end() || m == method.end() || !reaches_upstream(*o->second, *m->second)) continue;
    redo.emplace_back(i, o->second);
  }
  std::vector<GeneCall> again(redo.size());
  constexpr size_t CALLS_PER_BLOCK = 64;
  run_blocks(threads, block_count(redo.size(), CALLS_PER_BLOCK), [&](size_t b) {
    const size_t end = std::min(redo.size(), (b + 1) * CALLS_PER_BLOCK);
    for (size_t j = b * CALLS_PER_BLOCK; j < end; ++j) again[j] = call_of(*redo[j].second);
  });
  for (size_t j = 0; j < redo.size(); ++j) {
    GeneCall& c = calls[redo[j].first];
    if (reaches_upstream(again[j].gene, c.gene)) c = std::move(again[j]);
  }
}

void clear_upstream_overlaps(std::vector<GeneCall>& calls, const std::string& sequence, const PredictOptions& predict,
                             const std::function<GeneCall(const Gene&)>& call_of, long limit) {
  const long n = static_cast<long>(sequence.size());
  const StrandView forward(sequence, false), reverse(sequence, true);
  const CodonSet starts(predict.start_codons);
  // Whether a start codon of the list begins at base q (1-based) on the strand.
  auto is_start = [&](char strand, long q) {
    const long p = strand == '+' ? q - 1 : n - q;  // q's place in the strand's reading
    if (p < 0 || p + 3 > n) return false;
    return starts.contains((strand == '+' ? forward : reverse).codon(p).data());
  };
  // Per strand, the calls' 3' ends in order with their 5' ends: those lying
  // inside a call are found by a binary search.
  std::vector<std::pair<long, long>> plus, minus;  // 3' end, 5' end
  for (const GeneCall& c : calls)
    if (c.gene.strand == '+')
      plus.emplace_back(c.gene.end, c.gene.start);
    else
      minus.emplace_back(c.gene.start, c.gene.end);
  std::sort(plus.begin(), plus.end());
  std::sort(minus.begin(), minus.end());
  for (GeneCall& call : calls) {
    const Gene g = call.gene;
    if (is_partial(g)) continue;
    // The most bases of g's 5' end inside a call on its strand that begins
    // upstream of g and ends within it.
    long over = 0;
    if (g.strand == '+') {
      auto it = std::lower_bound(plus.begin(), plus.end(), std::pair<long, long>{g.end, LONG_MIN});
      while (it != plus.begin() && (--it)->first >= g.start)
        if (it->second < g.start) {
          over = it->first - g.start + 1;
          break;
        }
    } else {
      for (auto it = std::upper_bound(minus.begin(), minus.end(), std::pair<long, long>{g.start, LONG_MAX});
           it != minus.end() && it->first <= g.end; ++it)
        if (it->second > g.end) {
          over = g.end - it->first + 1;
          break;
        }
    }
    if (over <= limit) continue;
    // The first start codon from which g shares at most limit bases, while
    // the gene keeps the minimum length; the model chooses from there down.
    for (long shift = (over - limit + 2) / 3 * 3;; shift += 3) {
      Gene cut = g;
      (g.strand == '+' ? cut.start : cut.end) += g.strand == '+' ? shift : -shift;
      if (cut.end - cut.start + 1 + 2 < predict.min_length) break;
      if (!is_start(g.strand, g.strand == '+' ? cut.start : cut.end)) continue;
      call = call_of(cut);
      break;
    }
  }
}

void take_rescued(std::vector<GeneCall>& calls, std::vector<GeneCall> candidates, const LengthScore& lengths,
                  const GeneFilterRules& rules) {
  auto total = [&](const GeneCall& c) {
    return c.score() + (rules.length_score ? lengths(c.gene.end - c.gene.start + 1) : 0);
  };
  Placed placed;
  for (const GeneCall& c : calls) placed.add(c.gene);
  std::vector<std::pair<double, size_t>> found;  // score, candidate
  for (size_t j = 0; j < candidates.size(); ++j) {
    const double score = total(candidates[j]);
    if (score > rules.rescue_score &&
        (score > rules.replace_score || placed.largest_overlap(candidates[j].gene) <= rules.rescue_overlap))
      found.emplace_back(score, j);
  }
  std::sort(found.begin(), found.end(), [&candidates](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first > b.first;
    return gene_before(candidates[a.second].gene, candidates[b.second].gene);
  });
  std::vector<char> removed(calls.size(), 0);
  for (const auto& [score, j] : found) {
    const Gene& g = candidates[j].gene;
    if (placed.largest_overlap(g) <= rules.rescue_overlap && placed.largest_head_overlap(g) > rules.head_overlap)
      continue;
    if (placed.largest_overlap(g) > rules.rescue_overlap) {
      // Taken only in place of the calls it overlaps that much, when it
      // scores above replace_score and above each of them (so never in place
      // of a call rescued before it) and none is a partial gene.
      if (score <= rules.replace_score) continue;
      std::vector<size_t> weaker;
      bool replace = true;
      for (size_t k = 0; k < calls.size() && replace; ++k) {
        if (removed[k] || overlap_bases(g, calls[k].gene) <= rules.rescue_overlap) continue;
        if (is_partial(calls[k].gene) || total(calls[k]) >= score)
          replace = false;
        else
          weaker.push_back(k);
      }
      if (!replace) continue;
      for (size_t k : weaker) {
        removed[k] = 1;
        placed.remove(calls[k].gene);
      }
    }
    placed.add(g);
    calls.push_back(std::move(candidates[j]));
    removed.push_back(0);
  }
  drop_removed(calls, removed);
}

double frame_margin(const Gene& gene, long sequence_length, const std::function<double(const Gene&)>& coding) {
  double best = -std::numeric_limits<double>::infinity();
  for (char strand : {'+', '-'})
    for (long shift = 0; shift < 3; ++shift) {
      if (strand == gene.strand && shift == 0) continue;
      Gene other{gene.start + shift, gene.end + shift, strand};
      if (other.end > sequence_length) {
        other.start -= 3;
        other.end -= 3;
      }
      if (other.start < 1 || other.end > sequence_length) continue;
      best = std::max(best, coding(other));
    }
  return coding(gene) - best;
}

void filter_calls(const std::vector<const std::string*>& sequences, const std::vector<std::vector<Gene>>& called,
                  std::vector<std::vector<GeneCall>>& calls, const PredictOptions& predict,
                  const std::function<GeneCall(size_t, const Gene&)>& call_of, const GeneFilterRules& rules,
                  const std::function<double(size_t, const Gene&)>& coding_of) {
  std::vector<std::vector<GeneCall>> candidates(calls.size());
  std::vector<long> gene_lengths, candidate_lengths;
  for (size_t r = 0; r < calls.size(); ++r) {
    std::vector<Gene> orfs;
    if (rules.longest_starts || rules.rescue) orfs = longest_orfs(*sequences[r], predict);
    if (rules.longest_starts)
      extend_starts(calls[r], called[r], orfs, [&](const Gene& g) { return call_of(r, g); }, predict.threads);
    if (rules.overlaps) resolve_overlaps(calls[r], rules);
    if (!rules.rescue) continue;
    candidates[r] = rescue_candidates(orfs, called[r], [&](const Gene& g) { return call_of(r, g); }, predict.threads);
    add_lengths(calls[r], candidates[r], gene_lengths, candidate_lengths);
  }
  if (rules.rescue) {
    const LengthScore lengths(gene_lengths, candidate_lengths);
    for (size_t r = 0; r < calls.size(); ++r) {
      if (coding_of) {
        const long n = static_cast<long>(sequences[r]->size());
        auto coding = [&](const Gene& g) { return coding_of(r, g); };
        std::erase_if(calls[r], [&](const GeneCall& c) {
          return !is_partial(c.gene) && c.score() + lengths(c.gene.end - c.gene.start + 1) < rules.drop_score &&
                 frame_margin(c.gene, n, coding) <= rules.keep_margin;
        });
      }
      take_rescued(calls[r], std::move(candidates[r]), lengths, rules);
    }
  }
  // Each record's calls on their own: the rule only moves starts.
  if (rules.neighbour_starts)
    for (size_t r = 0; r < calls.size(); ++r)
      clear_upstream_overlaps(calls[r], *sequences[r], predict, [&](const Gene& g) { return call_of(r, g); },
                              rules.neighbour_overlap);
}

void filter_calls(const std::string& sequence, std::vector<GeneCall>& calls, const PredictOptions& predict,
                  const std::function<GeneCall(const Gene&)>& call_of, const GeneFilterRules& rules,
                  const std::function<double(const Gene&)>& coding_of) {
  std::vector<std::vector<Gene>> called(1);
  called[0].reserve(calls.size());
  for (const GeneCall& c : calls) called[0].push_back(c.gene);
  std::vector<std::vector<GeneCall>> one(1);
  one[0] = std::move(calls);
  std::function<double(size_t, const Gene&)> coding;
  if (coding_of) coding = [&](size_t, const Gene& g) { return coding_of(g); };
  filter_calls({&sequence}, called, one, predict, [&](size_t, const Gene& g) { return call_of(g); }, rules, coding);
  calls = std::move(one[0]);
}

}  // namespace codonspace::annotate
