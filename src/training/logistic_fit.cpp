// Newton's method for the penalised logistic regression. The work of an
// iteration is the Hessian, a sum over the samples of q * f f' (f the
// sample's features, q = p(1 - p)): some 2000 products per sample. The
// threads share its rows, each element summed over the samples in sample
// order, and the per-sample terms are computed apart and added in sample
// order: the result is the same, bit for bit, for any number of threads.
#include "training/logistic_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "core/parallel_blocks.h"
#include "io/file_io.h"

namespace codonspace::training {

namespace {

constexpr int C = NUMBER_OF_CODONS;
// Samples per block of the per-sample work.
constexpr size_t SAMPLE_BLOCK = 4096;
// Samples a thread keeps in cache while its Hessian rows run over them.
constexpr size_t HESSIAN_CHUNK = 256;
// Samples whose linear predictors are summed side by side (a multiple of
// which SAMPLE_BLOCK is).
constexpr size_t LANES = 8;

// Solves A x = b (n x n, row-major) by Gaussian elimination with partial
// pivoting; the solution replaces b.
bool solve(std::vector<double>& A, std::vector<double>& b, int n) {
  for (int col = 0; col < n; ++col) {
    int piv = col;
    for (int r = col + 1; r < n; ++r)
      if (std::fabs(A[r * n + col]) > std::fabs(A[piv * n + col])) piv = r;
    if (std::fabs(A[piv * n + col]) < 1e-300) return false;
    if (piv != col) {
      for (int k = 0; k < n; ++k) std::swap(A[col * n + k], A[piv * n + k]);
      std::swap(b[col], b[piv]);
    }
    for (int r = col + 1; r < n; ++r) {
      const double f = A[r * n + col] / A[col * n + col];
      if (f == 0) continue;
      for (int k = col; k < n; ++k) A[r * n + k] -= f * A[col * n + k];
      b[r] -= f * b[col];
    }
  }
  for (int r = n - 1; r >= 0; --r) {
    double s = b[r];
    for (int k = r + 1; k < n; ++k) s -= A[r * n + k] * b[k];
    b[r] = s / A[r * n + r];
  }
  return true;
}

bool gc_at(int codon, int position) {  // C = 0, G = 1
  return ((codon >> (2 * (2 - position))) & 3) <= 1;
}

// Runs fn(first, last) for the samples in blocks of SAMPLE_BLOCK.
template <typename Fn>
void for_sample_blocks(int threads, size_t n, Fn fn) {
  run_blocks(threads, block_count(n, SAMPLE_BLOCK),
             [&](size_t b) { fn(b * SAMPLE_BLOCK, std::min(n, (b + 1) * SAMPLE_BLOCK)); });
}

// The codon counts of LANES samples at a time, codon by codon: the layout in
// which their linear predictors are summed side by side. Samples beyond the
// last have zero counts. Also counts the samples holding each codon, into
// holding[64].
// Every entry is written by the threads (none zeroed before).
std::unique_ptr<float[]> interleaved(const Samples& s, int threads, double* holding) {
  const size_t blocks = block_count(s.size(), SAMPLE_BLOCK), padded = block_count(s.size(), LANES) * LANES;
  std::unique_ptr<float[]> out(new float[padded * C]);
  std::vector<std::array<double, C>> held(blocks);
  run_blocks(threads, blocks, [&](size_t b) {
    std::array<double, C> h{};  // on the thread's stack: neighbouring blocks' counts share cache lines
    const size_t first = b * SAMPLE_BLOCK, last = std::min(padded, first + SAMPLE_BLOCK);
    for (size_t i = first; i < last; ++i)
      for (int k = 0; k < C; ++k) {
        const float c = i < s.size() ? s.counts[i * C + k] : 0.0f;
        out[(i / LANES * C + k) * LANES + i % LANES] = c;
        h[k] += c != 0 ? 1 : 0;
      }
    held[b] = h;
  });
  for (int k = 0; k < C; ++k) holding[k] = 0;
  for (const auto& h : held)
    for (int k = 0; k < C; ++k) holding[k] += h[k];
  return out;
}

// The codon rows of the Hessian in `groups` groups of about equal work,
// largest first onto the least loaded group. Row a looks at every sample
// and, for each holding codon a, adds 64 - a products, two at a time.
std::vector<std::vector<int>> row_groups(const double* holding, size_t samples, size_t groups) {
  std::vector<double> cost(C);
  std::vector<int> rows(C);
  for (int a = 0; a < C; ++a) {
    rows[a] = a;
    cost[a] = static_cast<double>(samples) + holding[a] * (8 + (C - a) / 2);
  }
  std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) { return cost[a] > cost[b]; });
  std::vector<std::vector<int>> out(std::clamp<size_t>(groups, 1, C));
  std::vector<double> load(out.size(), 0.0);
  for (int a : rows) {
    const size_t g = static_cast<size_t>(std::min_element(load.begin(), load.end()) - load.begin());
    out[g].push_back(a);
    load[g] += cost[a];
  }
  for (auto& g : out) std::sort(g.begin(), g.end());
  return out;
}

}  // namespace

void fit_logistic(const Samples& s, const std::vector<int>& stops, double lambda, int nuisance_blocks, int iterations,
                  double* w_io, int threads) {
  const int D = C + 3 * nuisance_blocks;
  const size_t n = s.size();
  std::vector<double> w(static_cast<size_t>(D), 0.0);
  for (int k = 0; k < C; ++k) w[k] = w_io[k];
  bool is_stop[C] = {};
  for (int st : stops) is_stop[st] = true;
  auto penalty = [&](int a) { return a < C && !is_stop[a] ? lambda : 1e-6; };

  // The G+C counts at the three codon positions: the block's nuisance features.
  std::vector<double> gc(nuisance_blocks > 0 ? 3 * n : 0);
  if (nuisance_blocks > 0)
    for_sample_blocks(threads, n, [&](size_t first, size_t last) {
      for (size_t i = first; i < last; ++i) {
        const float* c = &s.counts[i * C];
        for (int p = 0; p < 3; ++p) {
          double v = 0;
          for (int k = 0; k < C; ++k)
            if (c[k] != 0 && gc_at(k, p)) v += c[k];
          gc[3 * i + p] = v;
        }
      }
    });
  auto nuisance = [&](size_t i) { return C + 3 * s.block[i]; };
  // The linear predictors of the samples [first, last) under weights v, into
  // t[first .. last): per sample the sum over its codons in codon order,
  // then its nuisance features. The zero counts add zero products, which
  // leave every sum as it is.
  double holding[C];
  const std::unique_ptr<float[]> lanes = interleaved(s, threads, holding);
  auto linear = [&](const std::vector<double>& v, size_t first, size_t last, double* t) {
    for (size_t b = first; b < last; b += LANES) {
      double sum[LANES] = {};
      const float* c = &lanes[b * C];
      for (int k = 0; k < C; ++k)
        for (size_t j = 0; j < LANES; ++j) sum[j] += v[k] * c[k * LANES + j];
      for (size_t i = b; i < std::min(last, b + LANES); ++i) {
        t[i] = sum[i - b];
        if (nuisance_blocks > 0)
          for (int p = 0; p < 3; ++p) t[i] += v[nuisance(i) + p] * gc[3 * i + p];
      }
    }
  };
  // The penalised negative log-likelihood of weights v.
  std::vector<double> loss(n);
  auto objective = [&](const std::vector<double>& v) {
    for_sample_blocks(threads, n, [&](size_t first, size_t last) {
      linear(v, first, last, loss.data());
      for (size_t i = first; i < last; ++i) {
        const double t = loss[i];
        const double m = s.gene[i] ? -t : t;  // loss log(1 + e^m)
        loss[i] = m > 0 ? m + std::log1p(std::exp(-m)) : std::log1p(std::exp(m));
      }
    });
    double o = 0;
    for (size_t i = 0; i < n; ++i) o += loss[i];
    for (int a = 0; a < D; ++a) o += 0.5 * penalty(a) * v[a] * v[a];
    return o;
  };

  // One group per thread: each group reads every sample once per iteration,
  // and the reads, not the products, bound this loop (measured: four groups
  // per thread cost one thread 10% more time, two threads none less).
  const std::vector<std::vector<int>> groups = row_groups(holding, n, static_cast<size_t>(std::max(threads, 1)));
  std::vector<double> residual(n), weight(n);  // per sample: gene - p and p (1 - p)
  double current = objective(w);
  for (int it = 0; it < iterations; ++it) {
    std::vector<double> H(static_cast<size_t>(D) * D, 0.0), g(static_cast<size_t>(D), 0.0);
    for_sample_blocks(threads, n, [&](size_t first, size_t last) {
      linear(w, first, last, residual.data());
      for (size_t i = first; i < last; ++i) {
        const double p = 1 / (1 + std::exp(-residual[i]));
        residual[i] = (s.gene[i] ? 1.0 : 0.0) - p;
        weight[i] = p * (1 - p);
      }
    });
    // Tasks: the groups of codon rows, then the nuisance rows. Row a holds
    // the columns b >= a; a sample adds to it when it holds codon a (the
    // zero counts it multiplies add nothing).
    run_blocks(threads, groups.size() + (nuisance_blocks > 0 ? 1 : 0), [&](size_t task) {
      if (task == groups.size()) {
        for (size_t i = 0; i < n; ++i) {
          const int base = nuisance(i);
          for (int p = 0; p < 3; ++p) {
            const double f = gc[3 * i + p];
            g[base + p] += residual[i] * f;
            const double qa = weight[i] * f;
            for (int p2 = p; p2 < 3; ++p2) H[static_cast<size_t>(base + p) * D + base + p2] += qa * gc[3 * i + p2];
          }
        }
        return;
      }
      const std::vector<int>& rows = groups[task];
      std::vector<double> rows_h(rows.size() * D, 0.0), rows_g(rows.size(), 0.0);
      for (size_t first = 0; first < n; first += HESSIAN_CHUNK) {
        const size_t last = std::min(n, first + HESSIAN_CHUNK);
        for (size_t r = 0; r < rows.size(); ++r) {
          const int a = rows[r];
          double* h = &rows_h[r * D];
          double ga = rows_g[r];
          for (size_t i = first; i < last; ++i) {
            const float* c = &s.counts[i * C];
            if (c[a] == 0) continue;
            const double fa = c[a];
            ga += residual[i] * fa;
            const double qa = weight[i] * fa;
            for (int b = a; b < C; ++b) h[b] += qa * c[b];
            if (nuisance_blocks > 0) {
              const int base = nuisance(i);
              for (int p = 0; p < 3; ++p) h[base + p] += qa * gc[3 * i + p];
            }
          }
          rows_g[r] = ga;
        }
      }
      for (size_t r = 0; r < rows.size(); ++r) {
        const int a = rows[r];
        g[a] = rows_g[r];
        std::copy(&rows_h[r * D + a], &rows_h[r * D] + D, &H[static_cast<size_t>(a) * D + a]);
      }
    });
    for (int a = 0; a < D; ++a)
      for (int b = 0; b < a; ++b) H[static_cast<size_t>(a) * D + b] = H[static_cast<size_t>(b) * D + a];
    for (int a = 0; a < D; ++a) {
      g[a] -= penalty(a) * w[a];
      H[static_cast<size_t>(a) * D + a] += penalty(a);
    }
    if (!solve(H, g, D)) throw Error("the logistic regression of the training has a singular system");
    // Damped Newton: halve the step until the objective improves.
    double step = 1;
    std::vector<double> next(w.size());
    bool improved = false;
    for (int half = 0; half < 30 && !improved; ++half, step /= 2) {
      for (int a = 0; a < D; ++a) next[a] = w[a] + step * g[a];
      const double o = objective(next);
      if (o <= current) {
        improved = true;
        double change = 0;
        for (int a = 0; a < D; ++a) change = std::max(change, std::fabs(next[a] - w[a]));
        w.swap(next);
        const bool done = change < 1e-7 || current - o < 1e-9 * (1 + std::fabs(o));
        current = o;
        if (done) it = iterations;
      }
    }
    if (!improved) break;
  }
  for (int k = 0; k < C; ++k) w_io[k] = w[k];
}

}  // namespace codonspace::training
