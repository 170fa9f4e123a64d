#include "annotate/start_model.h"

#include <algorithm>
#include <cmath>

#include "core/parallel_blocks.h"
#include "io/file_io.h"

namespace codonspace::annotate {

namespace {
// Base values of this module: A C G T, anything else -1.
int base4(char c) {
  switch (c) {
    case 'A': return 0;
    case 'C': return 1;
    case 'G': return 2;
    case 'T': return 3;
    default: return -1;
  }
}
constexpr const char* kBases = "ACGT";

char complement(char c) {
  switch (c) {
    case 'A': return 'T';
    case 'C': return 'G';
    case 'G': return 'C';
    case 'T': return 'A';
    default: return 'N';
  }
}

// Codon index 0..63 (first base most significant), -1 with a base other than A/C/G/T.
int codon_at(const std::string& s, size_t i) {
  const int a = base4(s[i]), b = base4(s[i + 1]), c = base4(s[i + 2]);
  if (a < 0 || b < 0 || c < 0) return -1;
  return a * 16 + b * 4 + c;
}

bool is_stop(int codon) {
  // TAA, TAG, TGA
  return codon == 3 * 16 + 0 * 4 + 0 || codon == 3 * 16 + 0 * 4 + 2 || codon == 3 * 16 + 2 * 4 + 0;
}

constexpr int kCodingMinGenes = 30;  // fewer genes than this: the model is not fitted
// Genes per block of the per-gene work, and bases per block of the hexamer
// background. Fixed, so that every sum over blocks is the same for any
// number of threads.
constexpr size_t GENE_BLOCK = 512;
constexpr size_t BASE_BLOCK = size_t{1} << 16;
constexpr int kEmIterations = 25;
constexpr double kMinMotifShare = 0.02;
// Bases kept before a gene: the motif's and the context's reach.
constexpr size_t REGION_UPSTREAM = std::max<size_t>(RBS_UPSTREAM, CONTEXT_BEFORE);
}  // namespace

// A gene read on its own strand: REGION_UPSTREAM bases before its (longest
// ORF) start, padded with N beyond the record, then the gene to its stop codon.
struct StartModel::Region {
  std::string bases;
  size_t gene_bases = 0;  // bases from the start to the end of the stop codon
  Gene gene;

  Region() = default;
  Region(const std::string& seq, const Gene& g) : gene(g) {
    const long n = static_cast<long>(seq.size());
    gene_bases = static_cast<size_t>(g.end - g.start + 1);
    bases.reserve(REGION_UPSTREAM + gene_bases);
    if (g.strand == '+') {
      for (long p = g.start - 1 - static_cast<long>(REGION_UPSTREAM); p < g.end; ++p) bases.push_back(p >= 0 && p < n ? seq[static_cast<size_t>(p)] : 'N');
    } else {
      for (long p = g.end - 1 + static_cast<long>(REGION_UPSTREAM); p >= g.start - 1; --p)
        bases.push_back(p >= 0 && p < n ? complement(seq[static_cast<size_t>(p)]) : 'N');
    }
  }
  // Index in bases of the first base of codon k of the gene.
  size_t codon_pos(size_t k) const { return REGION_UPSTREAM + 3 * k; }
  size_t codons() const { return gene_bases / 3; }
};

struct StartModel::Candidate {
  size_t codon = 0;  // codon number within the gene (0: the longest ORF's start)
  int codon_index = -1;
  double rbs = 0, start_codon = 0, context = 0, coding = 0, total = 0;
  int motif_spacer = -1;  // spacer of the most likely motif place
  int rbs_bin = 0;
  double motif_posterior = 0;
};

namespace {
bool gene_fits(const std::string& seq, const Gene& g) {
  return g.start >= 1 && g.end <= static_cast<long>(seq.size()) && g.end - g.start + 1 >= 6 &&
         (g.end - g.start + 1) % 3 == 0 && (g.strand == '+' || g.strand == '-');
}
}  // namespace

std::vector<StartModel::Candidate> StartModel::candidates(const Region& r) const {
  std::vector<Candidate> out;
  const size_t n = r.codons();
  for (size_t k = 0; k + 1 < n; ++k) {
    const long bases = static_cast<long>(r.gene_bases - 3 * k);
    if (bases + 2 < options_.min_length) break;
    const int c = codon_at(r.bases, r.codon_pos(k));
    if (c < 0 || !((start_mask_ >> c) & 1ULL)) continue;
    Candidate cand;
    cand.codon = k;
    cand.codon_index = c;
    out.push_back(cand);
  }
  return out;
}

namespace {
int rbs_bin(double likelihood_ratio) {
  const double v = likelihood_ratio > 0 ? std::log(likelihood_ratio) : -1e9;
  const double b = std::floor(v - RBS_BIN_LOW);
  return static_cast<int>(std::clamp(b, 0.0, static_cast<double>(RBS_BINS - 1)));
}
}  // namespace

// Fills every signal and the total of each candidate.
void StartModel::score(const Region& r, std::vector<Candidate>& cands) const {
  if (cands.empty()) return;
  // Coding evidence: suffix sums of the codon-pair ratio; suffix[k] adds
  // the pairs of codon j with j + 1 from k to the pair before the stop codon.
  const size_t n = r.codons();
  thread_local std::vector<double> suffix;  // kept: the training scores every gene several times
  suffix.assign(n, 0.0);
  for (size_t j = n - 2; j-- > 0;) {
    const int c = codon_at(r.bases, r.codon_pos(j)), d = codon_at(r.bases, r.codon_pos(j + 1));
    suffix[j] = suffix[j + 1] + (c >= 0 && d >= 0 ? coding_llr_[static_cast<size_t>(c * 64 + d)] : 0.0);
  }
  static const int atg = codon_at("ATG", 0);
  double passed = 0;  // the skip penalties of the candidates upstream of this one
  for (size_t rank = 0; rank < cands.size(); ++rank) {
    Candidate& cand = cands[rank];
    if (rank > 0) passed += cands[rank - 1].codon_index == atg ? options_.atg_skip_penalty : options_.skip_penalty;
    cand.coding = suffix[cand.codon];
    cand.start_codon = codon_llr_[static_cast<size_t>(cand.codon_index)];
    // Motif: zero or one occurrence, its place weighted by the spacer prior.
    const size_t start = r.codon_pos(cand.codon);
    double motif_sum = 0, best = 0;
    int best_spacer = -1;
    for (int s = RBS_MIN_SPACER; s <= RBS_MAX_SPACER; ++s) {
      const size_t first = start - static_cast<size_t>(s) - RBS_WIDTH;
      double lr = spacer_prior_[static_cast<size_t>(s)];
      for (int c = 0; c < RBS_WIDTH; ++c) {
        const int b = base4(r.bases[first + static_cast<size_t>(c)]);
        if (b >= 0) lr *= motif_ratio_[static_cast<size_t>(c)][static_cast<size_t>(b)];
      }
      motif_sum += lr;
      if (lr > best) {
        best = lr;
        best_spacer = s;
      }
    }
    const double with_motif = lambda_ * motif_sum;
    cand.motif_posterior = with_motif / ((1 - lambda_) + with_motif);
    cand.rbs_bin = rbs_bin(motif_sum);
    cand.rbs = rbs_bin_llr_[static_cast<size_t>(cand.rbs_bin)];
    cand.motif_spacer = best_spacer;
    cand.context = 0;
    for (size_t j = 0; j < CONTEXT_BEFORE + CONTEXT_AFTER; ++j) {
      const size_t p = j < CONTEXT_BEFORE ? start - CONTEXT_BEFORE + j : start + 3 + (j - CONTEXT_BEFORE);
      const int b = p < r.bases.size() ? base4(r.bases[p]) : -1;
      if (b >= 0) cand.context += context_llr_[j][static_cast<size_t>(b)];
    }
    cand.total = options_.rbs_weight * cand.rbs + cand.start_codon + options_.context_weight * cand.context +
                 options_.coding_weight * cand.coding - passed;
  }
}

size_t StartModel::pick(const std::vector<Candidate>& cands) const {
  size_t best = 0;
  for (size_t i = 1; i < cands.size(); ++i)
    if (cands[i].total > cands[best].total) best = i;
  return best;
}

// The training steps, kept out of the public class.
class StartModelTrainer {
 public:
  using Region = StartModel::Region;
  using Candidate = StartModel::Candidate;

  StartModelTrainer(StartModel& m, const std::vector<const std::string*>& sequences,
                    const std::vector<std::vector<Gene>>& genes)
      : m_(m) {
    // The genes that fit their record, read on their strand in blocks; those
    // that begin with a start codon of the list are kept, in order.
    std::vector<std::pair<const std::string*, const Gene*>> fitting;
    for (size_t i = 0; i < sequences.size(); ++i)
      for (const Gene& g : genes[i])
        if (gene_fits(*sequences[i], g)) fitting.emplace_back(sequences[i], &g);
    std::vector<Region> read(fitting.size());
    run_blocks(m_.options_.threads, block_count(fitting.size(), GENE_BLOCK), [&](size_t b) {
      for (size_t i = b * GENE_BLOCK; i < std::min(fitting.size(), (b + 1) * GENE_BLOCK); ++i)
        read[i] = Region(*fitting[i].first, *fitting[i].second);
    });
    for (Region& r : read) {
      const int c = codon_at(r.bases, r.codon_pos(0));
      if (c >= 0 && ((m_.start_mask_ >> c) & 1ULL)) regions_.push_back(std::move(r));
    }
    background(sequences);
  }

  // Runs fn(i, part) for every region, in blocks of GENE_BLOCK regions, each
  // block adding into a part of its own (a copy of zero); returns the parts.
  // The parts hold counts, which add up exactly in any order. A block counts
  // into a part on its own thread's stack and stores it when done: parts
  // side by side in one array would share cache lines between the threads.
  template <typename Part, typename Fn>
  std::vector<Part> count_regions(const Part& zero, Fn fn) const {
    std::vector<Part> parts(block_count(regions_.size(), GENE_BLOCK), zero);
    run_blocks(m_.options_.threads, parts.size(), [&](size_t b) {
      Part part = zero;
      const size_t end = std::min(regions_.size(), (b + 1) * GENE_BLOCK);
      for (size_t i = b * GENE_BLOCK; i < end; ++i) fn(i, part);
      parts[b] = std::move(part);
    });
    return parts;
  }
  template <typename Fn>
  void for_regions_blocks(Fn fn) const {
    run_blocks(m_.options_.threads, block_count(regions_.size(), GENE_BLOCK), [&](size_t b) {
      const size_t end = std::min(regions_.size(), (b + 1) * GENE_BLOCK);
      for (size_t i = b * GENE_BLOCK; i < end; ++i) fn(b, i);
    });
  }

  bool enough() const { return regions_.size() >= static_cast<size_t>(kCodingMinGenes); }

  void run(int rounds) {
    // Seed: the longest ORFs' starts, which are right for most genes.
    chosen_.assign(regions_.size(), 0);
    cands_.resize(regions_.size());
    for_regions([&](size_t i) { cands_[i] = m_.candidates(regions_[i]); });
    for (int round = 0; round < rounds; ++round) {
      fit_coding();
      fit_codons();
      fit_context();
      fit_motif(round == 0);
      fit_bins();
      choose_all();
    }
  }

 private:
  // Runs fn(i) for every region, in blocks of GENE_BLOCK regions.
  template <typename Fn>
  void for_regions(Fn fn) const {
    for_regions_blocks([&](size_t, size_t i) { fn(i); });
  }

  // Hexamer counts of both strands at every offset: the background of the
  // coding ratio. A hexamer of the complementary strand is the reverse
  // complement of one of the direct strand, so the direct strand's counts,
  // taken in blocks of bases, give both.
  void background(const std::vector<const std::string*>& sequences) {
    struct Block {
      const std::string* seq;
      size_t first, last;  // hexamers ending at [first, last)
    };
    std::vector<Block> blocks;
    for (const std::string* s : sequences)
      for (size_t p = 0; p < s->size(); p += BASE_BLOCK) blocks.push_back(Block{s, p, std::min(s->size(), p + BASE_BLOCK)});
    std::vector<std::vector<double>> counts(blocks.size());
    run_blocks(m_.options_.threads, blocks.size(), [&](size_t b) {
      const Block& k = blocks[b];
      std::vector<double>& c = counts[b];
      c.assign(4096, 0.0);
      int h = 0, valid = 0;
      for (size_t p = k.first >= 5 ? k.first - 5 : 0; p < k.last; ++p) {
        const int v = base4((*k.seq)[p]);
        if (v < 0) {
          valid = 0;
          continue;
        }
        h = ((h << 2) | v) & 4095;
        if (++valid >= 6 && p >= k.first) c[static_cast<size_t>(h)] += 1;
      }
    });
    std::vector<double> direct(64 * 64, 0.0);
    for (const std::vector<double>& c : counts)
      for (size_t h = 0; h < direct.size(); ++h) direct[h] += c[h];
    bg_.assign(64 * 64, 0.0);
    for (int h = 0; h < 4096; ++h) {
      int rc = 0;
      for (int k = 0, x = h; k < 6; ++k, x >>= 2) rc = (rc << 2) | (3 - (x & 3));
      bg_[static_cast<size_t>(h)] = direct[static_cast<size_t>(h)] + direct[static_cast<size_t>(rc)];
    }
  }

  void fit_coding() {
    const std::vector<std::vector<double>> parts =
        count_regions(std::vector<double>(64 * 64, 0.0), [&](size_t i, std::vector<double>& cod) {
          const Region& r = regions_[i];
          const size_t n = r.codons();
          int prev = codon_at(r.bases, r.codon_pos(chosen_[i]));
          for (size_t k = chosen_[i] + 1; k + 1 < n; ++k) {
            const int c = codon_at(r.bases, r.codon_pos(k));
            if (prev >= 0 && c >= 0) cod[static_cast<size_t>(prev * 64 + c)] += 1;
            prev = c;
          }
        });
    std::vector<double> cod(64 * 64, 0.0);
    for (const std::vector<double>& part : parts)
      for (size_t h = 0; h < cod.size(); ++h) cod[h] += part[h];
    m_.coding_llr_.assign(64 * 64, 0.0F);
    for (int p = 0; p < 64; ++p) {
      double cod_total = 0, bg_total = 0;
      for (int c = 0; c < 64; ++c)
        if (!is_stop(c)) {
          cod_total += cod[static_cast<size_t>(p * 64 + c)] + 1;
          bg_total += bg_[static_cast<size_t>(p * 64 + c)] + 1;
        }
      for (int c = 0; c < 64; ++c) {
        if (is_stop(c)) continue;
        const size_t i = static_cast<size_t>(p * 64 + c);
        m_.coding_llr_[i] = static_cast<float>(std::log((cod[i] + 1) / cod_total) - std::log((bg_[i] + 1) / bg_total));
      }
    }
  }

  // Start codons chosen against start codons passed over.
  void fit_codons() {
    std::array<double, 64> chosen{}, passed{};
    double n_chosen = 0, n_passed = 0;
    for (size_t i = 0; i < regions_.size(); ++i) {
      for (const Candidate& c : cands_[i]) {
        const double w = c.codon == chosen_[i] ? 1 : 0;
        chosen[static_cast<size_t>(c.codon_index)] += w;
        n_chosen += w;
        passed[static_cast<size_t>(c.codon_index)] += 1 - w;
        n_passed += 1 - w;
      }
    }
    const double k = static_cast<double>(m_.options_.start_codons.size());
    for (int c = 0; c < 64; ++c) {
      if (!((m_.start_mask_ >> c) & 1ULL)) continue;
      const size_t i = static_cast<size_t>(c);
      m_.codon_llr_[i] = std::log((chosen[i] + 1) / (n_chosen + k)) - std::log((passed[i] + 1) / (n_passed + k));
    }
  }

  // Base composition around chosen starts against passed-over ones, per position.
  void fit_context() {
    using Table = std::array<std::array<double, 4>, CONTEXT_BEFORE + CONTEXT_AFTER>;
    struct InOut {
      Table in{}, out{};
    };
    const std::vector<InOut> parts = count_regions(InOut{}, [&](size_t i, InOut& part) {
      for (const Candidate& c : cands_[i]) {
        const size_t start = regions_[i].codon_pos(c.codon);
        const double w = c.codon == chosen_[i] ? 1 : 0;
        for (size_t j = 0; j < CONTEXT_BEFORE + CONTEXT_AFTER; ++j) {
          const size_t p = j < CONTEXT_BEFORE ? start - CONTEXT_BEFORE + j : start + 3 + (j - CONTEXT_BEFORE);
          const int b = p < regions_[i].bases.size() ? base4(regions_[i].bases[p]) : -1;
          if (b < 0) continue;
          part.in[j][static_cast<size_t>(b)] += w;
          part.out[j][static_cast<size_t>(b)] += 1 - w;
        }
      }
    });
    Table in{}, out{};
    for (const InOut& part : parts)
      for (size_t j = 0; j < in.size(); ++j)
        for (size_t b = 0; b < 4; ++b) {
          in[j][b] += part.in[j][b];
          out[j][b] += part.out[j][b];
        }
    for (size_t j = 0; j < CONTEXT_BEFORE + CONTEXT_AFTER; ++j) {
      const double ni = in[j][0] + in[j][1] + in[j][2] + in[j][3] + 4;
      const double no = out[j][0] + out[j][1] + out[j][2] + out[j][3] + 4;
      for (size_t b = 0; b < 4; ++b) m_.context_llr_[j][b] = std::log((in[j][b] + 1) / ni) - std::log((out[j][b] + 1) / no);
    }
  }

  // The RBS score per bin: chosen starts against passed-over ones.
  void fit_bins() {
    for_regions([&](size_t i) { m_.score(regions_[i], cands_[i]); });
    auto fit = [this](auto& table, auto bin_of) {
      std::vector<double> in(table.size(), 0), out(table.size(), 0);
      double ni = 0, no = 0;
      for (size_t i = 0; i < regions_.size(); ++i)
        for (const Candidate& c : cands_[i]) {
          const double w = c.codon == chosen_[i] ? 1 : 0;
          in[static_cast<size_t>(bin_of(c))] += w;
          ni += w;
          out[static_cast<size_t>(bin_of(c))] += 1 - w;
          no += 1 - w;
        }
      const double n = static_cast<double>(table.size());
      for (size_t b = 0; b < table.size(); ++b)
        table[b] = std::log((in[b] + 1) / (ni + n)) - std::log((out[b] + 1) / (no + n));
    };
    fit(m_.rbs_bin_llr_, [](const Candidate& c) { return c.rbs_bin; });
  }

  // The upstream regions of the chosen starts, one row of RBS_UPSTREAM bases each.
  std::vector<std::string> windows() const {
    std::vector<std::string> w;
    w.reserve(regions_.size());
    for (size_t i = 0; i < regions_.size(); ++i) {
      const size_t start = regions_[i].codon_pos(chosen_[i]);
      w.push_back(regions_[i].bases.substr(start - RBS_UPSTREAM, RBS_UPSTREAM));
    }
    return w;
  }

  // The 4-mer most enriched upstream of the chosen starts against the
  // upstream regions of the passed-over candidates: the seed of the motif.
  std::string enriched_kmer() const {
    std::vector<double> in(256, 0), out(256, 0);
    double n_in = 0, n_out = 0;
    const size_t last = RBS_UPSTREAM - RBS_MIN_SPACER - 4;  // first base of the last allowed 4-mer
    auto count = [&](const std::string& b, size_t start, std::vector<double>& into) {
      std::vector<char> seen(256, 0);
      for (size_t j = 0; j <= last; ++j) {
        int h = 0;
        bool ok = true;
        for (size_t c = 0; c < 4; ++c) {
          const int v = base4(b[start - RBS_UPSTREAM + j + c]);
          if (v < 0) ok = false;
          h = h * 4 + (v < 0 ? 0 : v);
        }
        if (ok && !seen[static_cast<size_t>(h)]) {
          seen[static_cast<size_t>(h)] = 1;
          into[static_cast<size_t>(h)] += 1;
        }
      }
    };
    for (size_t i = 0; i < regions_.size(); ++i)
      for (const Candidate& c : cands_[i]) {
        const size_t start = regions_[i].codon_pos(c.codon);
        if (c.codon == chosen_[i]) {
          count(regions_[i].bases, start, in);
          n_in += 1;
        } else {
          count(regions_[i].bases, start, out);
          n_out += 1;
        }
      }
    int best = -1;
    double best_score = 0;
    for (int h = 0; h < 256; ++h) {
      const double a = in[static_cast<size_t>(h)] / std::max(n_in, 1.0);
      const double b = (out[static_cast<size_t>(h)] + 1) / (n_out + 1);
      const double s = a * std::log((a + 1e-9) / b);
      if (s > best_score) {
        best_score = s;
        best = h;
      }
    }
    if (best < 0) return "";
    std::string k(4, 'A');
    for (int c = 3, h = best; c >= 0; --c, h /= 4) k[static_cast<size_t>(c)] = kBases[h % 4];
    return k;
  }

  // The E step for one upstream window s: adds its motif posteriors per
  // spacer, in total and per column and base.
  void expect(const std::string& s, std::array<std::array<double, 4>, RBS_WIDTH>& counts,
              std::array<double, RBS_MAX_SPACER + 1>& spacer, double& with_motif) const {
    std::array<double, RBS_MAX_SPACER + 1> lr{};
    double sum = 0;
    for (int sp = RBS_MIN_SPACER; sp <= RBS_MAX_SPACER; ++sp) {
      const size_t first = RBS_UPSTREAM - static_cast<size_t>(sp) - RBS_WIDTH;
      double v = m_.lambda_ * m_.spacer_prior_[static_cast<size_t>(sp)];
      for (size_t c = 0; c < RBS_WIDTH; ++c) {
        const int b = base4(s[first + c]);
        if (b >= 0) v *= m_.motif_ratio_[c][static_cast<size_t>(b)];
      }
      lr[static_cast<size_t>(sp)] = v;
      sum += v;
    }
    const double total = (1 - m_.lambda_) + sum;
    for (int sp = RBS_MIN_SPACER; sp <= RBS_MAX_SPACER; ++sp) {
      const double post = lr[static_cast<size_t>(sp)] / total;
      if (post <= 0) continue;
      spacer[static_cast<size_t>(sp)] += post;
      with_motif += post;
      const size_t first = RBS_UPSTREAM - static_cast<size_t>(sp) - RBS_WIDTH;
      for (size_t c = 0; c < RBS_WIDTH; ++c) {
        const int b = base4(s[first + c]);
        if (b >= 0) counts[c][static_cast<size_t>(b)] += post;
      }
    }
  }

  // Zero-or-one-occurrence motif by expectation maximisation over the
  // upstream regions of the chosen starts; seeded from the enriched 4-mer
  // in the first round, from the previous motif afterwards.
  void fit_motif(bool seed) {
    const std::vector<std::string> w = windows();
    std::array<double, 4> bg{1, 1, 1, 1};
    for (const std::string& s : w)
      for (char ch : s)
        if (base4(ch) >= 0) bg[static_cast<size_t>(base4(ch))] += 1;
    const double bg_sum = bg[0] + bg[1] + bg[2] + bg[3];
    for (double& b : bg) b /= bg_sum;

    std::array<std::array<double, 4>, RBS_WIDTH> prob{};
    if (seed) {
      const std::string k = enriched_kmer();
      if (k.empty()) {
        m_.lambda_ = 0;
        return;
      }
      for (size_t c = 0; c < RBS_WIDTH; ++c)
        for (size_t b = 0; b < 4; ++b) prob[c][b] = bg[b];
      for (size_t c = 0; c < 4; ++c)
        for (size_t b = 0; b < 4; ++b) prob[c + 1][b] = kBases[b] == k[c] ? 0.7 : 0.1;
      m_.spacer_prior_.fill(0);
      for (int s = RBS_MIN_SPACER; s <= RBS_MAX_SPACER; ++s)
        m_.spacer_prior_[static_cast<size_t>(s)] = 1.0 / (RBS_MAX_SPACER - RBS_MIN_SPACER + 1);
      m_.lambda_ = 0.5;
    } else {
      for (size_t c = 0; c < RBS_WIDTH; ++c)
        for (size_t b = 0; b < 4; ++b) prob[c][b] = m_.motif_ratio_[c][b] * bg[b];
    }
    for (size_t c = 0; c < RBS_WIDTH; ++c)
      for (size_t b = 0; b < 4; ++b) m_.motif_ratio_[c][b] = prob[c][b] / bg[b];

    // The expected counts of an E step, per block of windows.
    struct Expected {
      std::array<std::array<double, 4>, RBS_WIDTH> counts{};
      std::array<double, RBS_MAX_SPACER + 1> spacer{};
      double with_motif = 0;
    };
    std::vector<Expected> parts(block_count(w.size(), GENE_BLOCK));
    for (int it = 0; it < kEmIterations; ++it) {
      run_blocks(m_.options_.threads, parts.size(), [&](size_t blk) {
        Expected e;  // on the thread's stack, as in count_regions
        const size_t end = std::min(w.size(), (blk + 1) * GENE_BLOCK);
        for (size_t wi = blk * GENE_BLOCK; wi < end; ++wi) expect(w[wi], e.counts, e.spacer, e.with_motif);
        parts[blk] = e;
      });
      // The blocks' counts added in block order.
      std::array<std::array<double, 4>, RBS_WIDTH> counts{};
      std::array<double, RBS_MAX_SPACER + 1> spacer{};
      double with_motif = 0;
      for (const Expected& e : parts) {
        for (size_t c = 0; c < RBS_WIDTH; ++c)
          for (size_t b = 0; b < 4; ++b) counts[c][b] += e.counts[c][b];
        for (size_t sp = 0; sp < spacer.size(); ++sp) spacer[sp] += e.spacer[sp];
        with_motif += e.with_motif;
      }
      const double n = static_cast<double>(w.size());
      m_.lambda_ = std::clamp(with_motif / std::max(n, 1.0), kMinMotifShare, 0.95);
      double sp_total = 0;
      for (int sp = RBS_MIN_SPACER; sp <= RBS_MAX_SPACER; ++sp) sp_total += spacer[static_cast<size_t>(sp)] + 1;
      for (int sp = RBS_MIN_SPACER; sp <= RBS_MAX_SPACER; ++sp)
        m_.spacer_prior_[static_cast<size_t>(sp)] = (spacer[static_cast<size_t>(sp)] + 1) / sp_total;
      for (size_t c = 0; c < RBS_WIDTH; ++c) {
        const double col = counts[c][0] + counts[c][1] + counts[c][2] + counts[c][3];
        for (size_t b = 0; b < 4; ++b) m_.motif_ratio_[c][b] = (counts[c][b] + 2 * bg[b]) / (col + 2) / bg[b];
      }
    }
  }

  // A region's candidates depend on the region alone, listed once in run();
  // each round scores them again.
  void choose_all() {
    for_regions([&](size_t i) {
      m_.score(regions_[i], cands_[i]);
      chosen_[i] = cands_[i].empty() ? 0 : cands_[i][m_.pick(cands_[i])].codon;
    });
  }

  StartModel& m_;
  std::vector<Region> regions_;
  std::vector<size_t> chosen_;  // chosen start codon number per region
  std::vector<std::vector<Candidate>> cands_;
  std::vector<double> bg_;
};

StartModel StartModel::train(const std::vector<const std::string*>& sequences, const std::vector<std::vector<Gene>>& genes,
                             const StartModelOptions& options) {
  if (sequences.size() != genes.size()) throw Error("start model: the records and their gene lists differ in number");
  StartModel m;
  m.options_ = options;
  for (const std::string& c : options.start_codons) {
    if (c.size() != 3) continue;
    const int i = codon_at(c, 0);
    if (i >= 0) m.start_mask_ |= 1ULL << i;
  }
  StartModelTrainer t(m, sequences, genes);
  if (!t.enough()) return m;
  t.run(options.rounds);
  m.trained_ = true;
  return m;
}

StartChoice StartModel::choose(const std::string& sequence, const Gene& gene) const {
  StartChoice out;
  out.gene = gene;
  if (!gene_fits(sequence, gene)) return out;
  const Region r(sequence, gene);
  out.start_codon = r.bases.substr(REGION_UPSTREAM, 3);
  if (!trained_) return out;
  std::vector<Candidate> cands = candidates(r);
  if (cands.empty() || cands[0].codon != 0) return out;
  score(r, cands);
  const size_t best = pick(cands);
  const Candidate& c = cands[best];
  double z = 0;
  for (const Candidate& o : cands) z += std::exp(o.total - c.total);
  const long shift = static_cast<long>(3 * c.codon);
  if (gene.strand == '+')
    out.gene.start += shift;
  else
    out.gene.end -= shift;
  const size_t start = r.codon_pos(c.codon);
  out.start_codon = r.bases.substr(start, 3);
  out.rbs_score = c.rbs;
  out.codon_score = c.start_codon;
  out.context_score = c.context;
  out.start_score = options_.rbs_weight * c.rbs + c.start_codon + options_.context_weight * c.context;
  out.coding_score = c.coding;
  out.confidence = 1 / z;
  out.candidates = static_cast<int>(cands.size());
  if (c.motif_posterior >= 0.5 && c.motif_spacer >= 0) {
    out.rbs_motif = r.bases.substr(start - static_cast<size_t>(c.motif_spacer) - RBS_WIDTH, RBS_WIDTH);
    out.rbs_spacer = c.motif_spacer;
  }
  return out;
}

double StartModel::coding_score(const std::string& sequence, const Gene& gene) const {
  if (!trained_ || !gene_fits(sequence, gene)) return 0;
  const Region r(sequence, gene);
  double sum = 0;
  int prev = codon_at(r.bases, r.codon_pos(0));
  for (size_t k = 1; k + 1 < r.codons(); ++k) {
    const int c = codon_at(r.bases, r.codon_pos(k));
    if (prev >= 0 && c >= 0) sum += coding_llr_[static_cast<size_t>(prev * 64 + c)];
    prev = c;
  }
  return sum;
}

std::vector<Gene> StartModel::choose_all(const std::string& sequence, const std::vector<Gene>& genes) const {
  std::vector<Gene> out(genes.size());
  run_blocks(options_.threads, block_count(genes.size(), GENE_BLOCK), [&](size_t b) {
    const size_t end = std::min(genes.size(), (b + 1) * GENE_BLOCK);
    for (size_t i = b * GENE_BLOCK; i < end; ++i) out[i] = choose(sequence, genes[i]).gene;
  });
  return out;
}

std::string StartModel::motif_consensus() const {
  std::string s;
  for (size_t c = 0; c < RBS_WIDTH; ++c) {
    size_t best = 0;
    for (size_t b = 1; b < 4; ++b)
      if (motif_ratio_[c][b] > motif_ratio_[c][best]) best = b;
    // The ratio of the top base exceeds 2 when the column carries about a bit or more.
    s.push_back(motif_ratio_[c][best] >= 2 ? kBases[best] : static_cast<char>(kBases[best] + 32));
  }
  return s;
}

int StartModel::typical_spacer() const {
  int best = RBS_MIN_SPACER;
  for (int s = RBS_MIN_SPACER; s <= RBS_MAX_SPACER; ++s)
    if (spacer_prior_[static_cast<size_t>(s)] > spacer_prior_[static_cast<size_t>(best)]) best = s;
  return best;
}

}  // namespace codonspace::annotate
