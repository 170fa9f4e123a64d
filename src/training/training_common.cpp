#include "training/training_common.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/codon_vector.h"
#include "io/file_io.h"
#include "stages/generate_orfs.h"

namespace codonspace::training {

std::array<int, 3> stop_codon_indices() { return {codon_srno("TAA"), codon_srno("TAG"), codon_srno("TGA")}; }

OrfScan scan_orfs(const std::string& seq, int min_length, const std::vector<std::string>& starts,
                  const std::vector<std::string>& stops) {
  // The scan stage's own scanner, with the ORFs kept in memory per stop.
  class ListSink : public OrfSink {
   public:
    OrfScan out;
    void orf(long b1, long b2) override { out.orfs.push_back(Orf{b1, b2}); }
    void end_stop() override {
      const size_t first = out.groups.empty() ? 0 : out.groups.back().first + out.groups.back().count;
      out.groups.push_back(StopGroup{first, out.orfs.size() - first});
    }
  } sink;
  OrfScanner scanner(initiate_start_stop_codons(false, starts, stops), min_length, PREDICTION_ORF_MAX_LENGTH,
                     sink);
  scanner.scan(seq.data(), static_cast<long>(seq.size()));
  return std::move(sink.out);
}

CodonIndex::CodonIndex(const std::string& seq) : forward(seq.size(), 0), reverse(seq.size(), 0) {
  const size_t n = seq.size();
  for (size_t p = 0; p + 3 <= n; ++p) forward[p] = static_cast<uint8_t>(codon_srno(seq.data() + p));
  for (size_t p = 2; p < n; ++p) {
    const char c[3] = {comp_base(seq[p]), comp_base(seq[p - 1]), comp_base(seq[p - 2])};
    reverse[p] = static_cast<uint8_t>(codon_srno(c));
  }
}

bool unit_vector(const int* counts, const ModelTables& t, float out[3]) {
  return printed_unit_vector(codon_vector(counts, t.x.data(), t.y.data(), t.z.data()), out);
}

bool passes_plane(const int* counts, const ModelTables& t) {
  float v[3];
  if (!unit_vector(counts, t, v)) return false;
  const Plane plane{t.plane[0], t.plane[1], t.plane[2], t.plane[3]};
  return plane_value(plane, v[0], v[1], v[2]) > 0.0f;
}

float rounded6(double v) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return std::strtof(buf, nullptr);
}

void write_trained_tables(const std::string& dir, const ModelTables& t) {
  {
    const std::string path = dir + "/z.dat";
    File f(path, "w");
    if (!f.is_open()) throw Error("cannot create " + file_reason(path, f.open_error()));
    for (int n = 0; n < NUMBER_OF_CODONS; ++n) std::fprintf(f.get(), "%.6f\n", static_cast<double>(t.z[n]));
    f.close_output();
  }
  {
    const std::string path = dir + "/best_plane_fixed.dat";
    File f(path, "w");
    if (!f.is_open()) throw Error("cannot create " + file_reason(path, f.open_error()));
    std::fprintf(f.get(), "%.6f %.6f %.6f %.6f\n", static_cast<double>(t.plane[0]),
                 static_cast<double>(t.plane[1]), static_cast<double>(t.plane[2]),
                 static_cast<double>(t.plane[3]));
    f.close_output();
  }
}

std::vector<std::string> parse_start_list(const std::string& list) {
  std::vector<std::string> out;
  size_t p = 0;
  while (p <= list.size()) {
    size_t q = list.find(',', p);
    if (q == std::string::npos) q = list.size();
    std::string c = list.substr(p, q - p);
    for (char& ch : c) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    bool ok = c.size() == 3;
    for (char ch : c) ok = ok && (ch == 'A' || ch == 'C' || ch == 'G' || ch == 'T');
    if (!ok) throw Error("start codon list '" + list + "': '" + c + "' is not a codon of three letters A, C, G, T");
    out.push_back(c);
    p = q + 1;
  }
  if (out.empty() || out.size() > 4)
    throw Error("start codon list '" + list + "': give one to four start codons");
  return out;
}

}  // namespace codonspace::training

namespace codonspace::training {

std::vector<GroupBest> best_per_group(const ScannedRecord& r, const double* w) {
  std::vector<GroupBest> out;
  out.reserve(r.scan.groups.size());
  for (const StopGroup& g : r.scan.groups) {
    GroupBest b{-HUGE_VAL, 0};
    for_each_orf_score(r.codons, r.scan, g, w, [&](size_t k, double s) {
      if (s >= b.score) b = GroupBest{s, k};  // shortest first: >= prefers the longer
    });
    out.push_back(b);
  }
  return out;
}

void orf_counts(const ScannedRecord& r, const Orf& o, float* counts) {
  for (int n = 0; n < NUMBER_OF_CODONS; ++n) counts[n] = 0;
  const long codons = orf_bases(o) / 3;
  for (long k = 0; k < codons; ++k) counts[r.codons.codon(o, k)] += 1;
}

namespace {
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
}  // namespace

void fit_logistic(const Samples& s, double lambda, int nuisance_blocks, int iterations, double* w_io) {
  const int C = NUMBER_OF_CODONS;
  const int D = C + 3 * nuisance_blocks;
  std::vector<double> w(static_cast<size_t>(D), 0.0);
  for (int n = 0; n < C; ++n) w[n] = w_io[n];
  bool is_stop[NUMBER_OF_CODONS] = {};
  for (int st : stop_codon_indices()) is_stop[st] = true;
  std::vector<double> f(static_cast<size_t>(D));
  std::vector<int> nz;
  // Features of sample i into f, their indices into nz.
  auto features = [&](size_t i) {
    const float* c = &s.counts[i * C];
    nz.clear();
    for (int n = 0; n < C; ++n)
      if (c[n] != 0) {
        f[n] = c[n];
        nz.push_back(n);
      }
    if (nuisance_blocks > 0) {
      const int base = C + 3 * s.block[i];
      for (int p = 0; p < 3; ++p) {
        double v = 0;
        for (int n = 0; n < C; ++n)
          if (c[n] != 0 && gc_at(n, p)) v += c[n];
        f[base + p] = v;
        nz.push_back(base + p);
      }
    }
  };
  auto penalty = [&](int a) { return a < C && !is_stop[a] ? lambda : 1e-6; };
  // The penalised negative log-likelihood of weights v.
  auto objective = [&](const std::vector<double>& v) {
    double o = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      features(i);
      double t = 0;
      for (int k : nz) t += v[k] * f[k];
      const double m = s.gene[i] ? -t : t;  // loss log(1 + e^m)
      o += m > 0 ? m + std::log1p(std::exp(-m)) : std::log1p(std::exp(m));
    }
    for (int a = 0; a < D; ++a) o += 0.5 * penalty(a) * v[a] * v[a];
    return o;
  };
  double current = objective(w);
  for (int it = 0; it < iterations; ++it) {
    std::vector<double> H(static_cast<size_t>(D) * D, 0.0), g(static_cast<size_t>(D), 0.0);
    for (size_t i = 0; i < s.size(); ++i) {
      features(i);
      double t = 0;
      for (int k : nz) t += w[k] * f[k];
      const double p = 1 / (1 + std::exp(-t));
      const double r = (s.gene[i] ? 1.0 : 0.0) - p;
      const double q = p * (1 - p);
      for (int a : nz) {
        g[a] += r * f[a];
        const double qa = q * f[a];
        for (int b : nz)
          if (b >= a) H[static_cast<size_t>(a) * D + b] += qa * f[b];
      }
    }
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
  for (int n = 0; n < C; ++n) w_io[n] = w[n];
}

}  // namespace codonspace::training

namespace codonspace::training {

void set_model(ModelTables& t, const double* w) {
  double m = 0;
  for (int n = 0; n < NUMBER_OF_CODONS; ++n) m = std::max(m, std::fabs(w[n]));
  const double scale = m > 0 ? 100.0 / m : 1.0;
  for (int n = 0; n < NUMBER_OF_CODONS; ++n) t.z[n] = rounded6(w[n] * scale);
  t.plane = {0.0f, 0.0f, 1.0f, 0.0f};
}

std::vector<Orf> exact_predictions(const ScannedRecord& r, const ModelTables& t) {
  std::vector<Orf> out;
  for (const StopGroup& g : r.scan.groups) {
    size_t best = g.count;
    for_each_orf_counts(r.codons, r.scan, g, [&](size_t k, const int* c) {
      if (passes_plane(c, t)) best = k;  // shortest first: the last one found is the longest
    });
    if (best < g.count) out.push_back(r.scan.orfs[g.first + best]);
  }
  return out;
}

}  // namespace codonspace::training
