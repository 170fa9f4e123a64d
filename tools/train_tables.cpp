// train_tables: fits the Z axis table (data/z.dat) and the decision plane
// (data/best_plane_fixed.dat) of method 1 from annotated genomes.
//
//   train_tables [--min-length N] [--starts ATG[,GTG,...]] [--out DIR]
//                GENOME.fna REFERENCE.cds.tsv [GENOME.fna REFERENCE.cds.tsv ...]
//
// Defaults: --min-length 300 --starts ATG --out data. Run from a directory
// whose data/ holds the X and Y tables (the repo root).
// Every record of every genome is scanned for ORFs by the library's own scan
// stage (in a temporary directory), so the ORF list is exactly the one the
// program sees. An ORF is labelled a gene when its strand and stop coordinate
// match a reference CDS. Then:
//   1. Z[n] is the log-odds of codon n between gene ORFs (annotated start
//      where the scan has it, else the longest ORF of the stop) and the
//      longest ORF of every other stop, with one pseudocount per codon.
//   2. Every ORF's unit vector is computed exactly as the vector stage does
//      it, including the "%f" round trip of the printed components.
//   3. (a, b, c) come from a class-balanced logistic regression on the unit
//      vectors of the longest ORF of each stop, scaled so that the largest
//      coefficient is 100, and rounded as they will be written.
//   4. d is the threshold that maximises the pooled F1 of the final
//      prediction: a stop is predicted when any of its ORFs passes the plane.
// Everything is deterministic; rerunning with the same inputs rewrites both
// files byte for byte. Training figures go to standard error.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "codon.h"
#include "file_io.h"
#include "scoring.h"
#include "stages.h"

using codonspace::Error;
using codonspace::File;
using codonspace::NUMBER_OF_CODONS;

namespace {

struct Record {
  std::string seqid;
  std::string seq;  // processed as the genome intake does it
};

struct Group {          // the ORFs of one stop, longest first
  size_t first = 0;     // index of the first ORF in Genome::orfs
  size_t count = 0;
  long references = 0;  // reference CDS ending at this stop
  long labelled = -1;   // index (within the group) of the ORF with the annotated start, or -1
};

struct Orf {
  long b1, b2;
};

struct Genome {
  std::string name;
  std::vector<Record> records;
  std::map<std::string, std::vector<codonspace::scoring::Gene>> reference;
  long reference_count = 0;
  // Per record: the ORFs and their stop groups.
  std::vector<std::vector<Orf>> orfs;
  std::vector<std::vector<Group>> groups;
};

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: train_tables [--min-length N] [--starts ATG[,GTG,...]] [--out DIR]\n"
               "                    GENOME.fna REFERENCE.cds.tsv [GENOME.fna REFERENCE.cds.tsv ...]\n");
  std::exit(2);
}

std::string base_name(const std::string& path) {
  size_t s = path.find_last_of('/');
  std::string b = s == std::string::npos ? path : path.substr(s + 1);
  size_t d = b.find('.');
  return d == std::string::npos ? b : b.substr(0, d);
}

// FASTA records; the sequence is upper-cased with line ends, carriage
// returns, blanks and tabs removed, as the program's intake does it.
std::vector<Record> read_fasta(const std::string& path) {
  File f(path, "r");
  if (!f.is_open()) throw Error("cannot open " + codonspace::file_reason(path, f.open_error()));
  std::vector<Record> out;
  int c;
  bool line_start = true;
  while ((c = std::getc(f.get())) != EOF) {
    if (line_start && c == '>') {
      std::string header;
      while ((c = std::getc(f.get())) != EOF && c != '\n') header.push_back(static_cast<char>(c));
      size_t e = header.find_first_of(" \t\r");
      out.push_back(Record{header.substr(0, e), std::string()});
      line_start = true;
      continue;
    }
    line_start = c == '\n';
    if (c == '\n' || c == '\r' || c == ' ' || c == '\t') continue;
    if (out.empty()) throw Error("'" + path + "' does not begin with a '>' header line");
    out.back().seq.push_back(static_cast<char>(std::toupper(c)));
  }
  f.check_read();
  if (out.empty()) throw Error("'" + path + "' holds no record");
  return out;
}

std::map<std::string, std::vector<codonspace::scoring::Gene>> read_reference(const std::string& path,
                                                                            long& count) {
  File f(path, "r");
  if (!f.is_open()) throw Error("cannot open " + codonspace::file_reason(path, f.open_error()));
  std::map<std::string, std::vector<codonspace::scoring::Gene>> out;
  std::string line;
  long lineno = 0;
  count = 0;
  auto flush_line = [&]() {
    ++lineno;
    std::string seqid;
    codonspace::scoring::Gene g;
    try {
      if (codonspace::scoring::parse_reference_line(line, seqid, g)) {
        out[seqid].push_back(g);
        ++count;
      }
    } catch (const std::runtime_error& e) {
      throw Error("'" + path + "' line " + std::to_string(lineno) + ": " + e.what());
    }
    line.clear();
  };
  int c;
  while ((c = std::getc(f.get())) != EOF) {
    if (c == '\n')
      flush_line();
    else
      line.push_back(static_cast<char>(c));
  }
  f.check_read();
  if (!line.empty()) flush_line();
  return out;
}

// Runs the library's ORF scan on one record in the current directory and
// returns the pairs of "prediction_orfs" in file order.
std::vector<Orf> scan_record(const std::string& seq, int min_length, const std::vector<std::string>& starts) {
  {
    File g(codonspace::PROCESSED_GENOME, "w");
    if (!g.is_open())
      throw Error("cannot create " + codonspace::file_reason(codonspace::PROCESSED_GENOME, g.open_error()));
    std::fwrite(seq.data(), 1, seq.size(), g.get());
    g.close_output();
  }
  if (codonspace::generate_orf(min_length, starts) != 0) throw Error("the ORF scan failed");
  File p(codonspace::PREDICTION_ORFS, "r");
  if (!p.is_open())
    throw Error("cannot open " + codonspace::file_reason(codonspace::PREDICTION_ORFS, p.open_error()));
  codonspace::Scanner in(p);
  std::vector<Orf> out;
  long b1, b2;
  while (in.next_pair(b1, b2)) out.push_back(Orf{b1, b2});
  p.close();
  std::remove(codonspace::PREDICTION_ORFS);
  std::remove(codonspace::PROCESSED_GENOME);
  return out;
}

// Adds the codons of bases [from, to) of the ORF (counted in its own
// direction from its start) to counts.
void add_codons(const std::string& seq, const Orf& o, long from, long to, int* counts) {
  char codon[3];
  for (long k = from; k + 3 <= to; k += 3) {
    for (int j = 0; j < 3; ++j) {
      if (o.b1 < o.b2) {
        codon[j] = seq[static_cast<size_t>(o.b1 - 1 + k + j)];
      } else {
        codon[j] = codonspace::comp_base(seq[static_cast<size_t>(o.b1 - 1 - k - j)]);
      }
    }
    ++counts[codonspace::codon_srno(codon)];
  }
}

long orf_bases(const Orf& o) { return std::labs(o.b1 - o.b2) + 1; }

// Calls fn(index_in_group, counts) for every ORF of a group, shortest first,
// with the codon counts of the ORF's whole sequence (stop included). The
// ORFs of one stop share their 3' end, so counts grow from the stop upwards.
template <typename Fn>
void for_each_orf_counts(const std::string& seq, const std::vector<Orf>& orfs, const Group& g, Fn fn) {
  int counts[NUMBER_OF_CODONS] = {};
  long done = 0;  // bases counted, from the 3' end
  for (size_t r = g.count; r-- > 0;) {
    const Orf& o = orfs[g.first + r];
    const long n = orf_bases(o);
    // The last `done` bases are those of the previous, shorter ORF; only
    // the new 5' part is counted.
    add_codons(seq, o, 0, n - done, counts);
    done = n;
    fn(r, counts);
  }
}

// The vector stage's arithmetic, then the "%f" round trip of its output.
bool unit_vector(const int* c, const float* X, const float* Y, const float* Z, float out[3]) {
  float tx = 0, ty = 0, tz = 0;
  for (int n = 0; n < NUMBER_OF_CODONS; ++n) {
    tx = static_cast<float>(tx + static_cast<double>(c[n]) * X[n]);
    ty = static_cast<float>(ty + static_cast<double>(c[n]) * Y[n]);
    tz = static_cast<float>(tz + static_cast<double>(c[n]) * Z[n]);
  }
  const double sum_sq = static_cast<double>(tx) * tx + static_cast<double>(ty) * ty + static_cast<double>(tz) * tz;
  const float mod = std::sqrt(static_cast<float>(sum_sq));
  if (mod == 0.0f) return false;
  const double m = mod;
  const float t[3] = {tx, ty, tz};
  char buf[64];
  for (int k = 0; k < 3; ++k) {
    std::snprintf(buf, sizeof buf, "%f", static_cast<double>(t[k]) / m);
    out[k] = std::strtof(buf, nullptr);
  }
  return true;
}

// A value as it will be written with "%.6f" and read back as float.
float rounded(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return std::strtof(buf, nullptr);
}

// Solves A x = b (n x n, row-major) by Gaussian elimination with partial
// pivoting; A and b are overwritten.
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

struct Sample {
  float v[3];
  bool gene;
};

// Class-balanced logistic regression by Newton's method with a tiny ridge
// term; features standardised. Returns w[0..2] for x, y, z and w[3] bias in
// the original units.
void logistic_fit(const std::vector<Sample>& s, double w_out[4]) {
  double mean[3] = {0, 0, 0}, sd[3] = {0, 0, 0};
  for (const Sample& e : s)
    for (int k = 0; k < 3; ++k) mean[k] += e.v[k];
  for (double& m : mean) m /= static_cast<double>(s.size());
  for (const Sample& e : s)
    for (int k = 0; k < 3; ++k) sd[k] += (e.v[k] - mean[k]) * (e.v[k] - mean[k]);
  for (double& d : sd) d = std::sqrt(d / static_cast<double>(s.size()));
  for (double& d : sd)
    if (d == 0) d = 1;
  double npos = 0, nneg = 0;
  for (const Sample& e : s) (e.gene ? npos : nneg) += 1;
  const double wpos = npos > 0 ? 0.5 / npos : 0, wneg = nneg > 0 ? 0.5 / nneg : 0;

  double w[4] = {0, 0, 0, 0};
  for (int it = 0; it < 100; ++it) {
    std::vector<double> H(16, 0.0), g(4, 0.0);
    for (const Sample& e : s) {
      const double f[4] = {(e.v[0] - mean[0]) / sd[0], (e.v[1] - mean[1]) / sd[1], (e.v[2] - mean[2]) / sd[2], 1};
      double t = 0;
      for (int k = 0; k < 4; ++k) t += w[k] * f[k];
      const double p = 1 / (1 + std::exp(-t));
      const double wt = e.gene ? wpos : wneg;
      const double r = (e.gene ? 1.0 : 0.0) - p;
      const double q = wt * p * (1 - p);
      for (int i = 0; i < 4; ++i) {
        g[i] += wt * r * f[i];
        for (int j = 0; j < 4; ++j) H[i * 4 + j] += q * f[i] * f[j];
      }
    }
    const double ridge = 1e-8;
    for (int i = 0; i < 3; ++i) {
      g[i] -= ridge * w[i];
      H[i * 4 + i] += ridge;
    }
    if (!solve(H, g, 4)) throw Error("logistic regression: singular system");
    double step = 0;
    for (int k = 0; k < 4; ++k) {
      w[k] += g[k];
      step = std::max(step, std::fabs(g[k]));
    }
    if (step < 1e-10) break;
  }
  double bias = w[3];
  for (int k = 0; k < 3; ++k) {
    w_out[k] = w[k] / sd[k];
    bias -= w[k] * mean[k] / sd[k];
  }
  w_out[3] = bias;
}

void write_outputs(const std::string& dir, const float* Z, const float plane[4]) {
  {
    const std::string path = dir + "/z.dat";
    File f(path, "w");
    if (!f.is_open()) throw Error("cannot create " + codonspace::file_reason(path, f.open_error()));
    for (int n = 0; n < NUMBER_OF_CODONS; ++n) std::fprintf(f.get(), "%.6f\n", static_cast<double>(Z[n]));
    f.close_output();
  }
  {
    const std::string path = dir + "/best_plane_fixed.dat";
    File f(path, "w");
    if (!f.is_open()) throw Error("cannot create " + codonspace::file_reason(path, f.open_error()));
    std::fprintf(f.get(), "%.6f %.6f %.6f %.6f\n", static_cast<double>(plane[0]), static_cast<double>(plane[1]),
                 static_cast<double>(plane[2]), static_cast<double>(plane[3]));
    f.close_output();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const auto t0 = std::chrono::steady_clock::now();
  int min_length = 300;
  std::vector<std::string> starts = {"ATG"};
  std::string out_dir = "data";
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--min-length" && i + 1 < argc) {
      min_length = std::atoi(argv[++i]);
    } else if (a == "--starts" && i + 1 < argc) {
      starts.clear();
      std::string list = argv[++i];
      size_t p = 0;
      while (p <= list.size()) {
        size_t q = list.find(',', p);
        if (q == std::string::npos) q = list.size();
        if (q > p) starts.push_back(list.substr(p, q - p));
        p = q + 1;
      }
    } else if (a == "--out" && i + 1 < argc) {
      out_dir = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      usage();
    } else {
      files.push_back(a);
    }
  }
  if (files.empty() || files.size() % 2 != 0 || starts.empty() || starts.size() > 4 || min_length < 0) usage();
  for (const std::string& s : starts) {
    bool ok = s.size() == 3;
    for (char ch : s) ok = ok && (ch == 'A' || ch == 'C' || ch == 'G' || ch == 'T');
    if (!ok) usage();
  }

  try {
    float X[NUMBER_OF_CODONS], Y[NUMBER_OF_CODONS], Z[NUMBER_OF_CODONS];
    codonspace::intHBEnergy(X);
    codonspace::intSEnergy(Y);

    std::vector<Genome> genomes;
    for (size_t i = 0; i < files.size(); i += 2) {
      Genome g;
      g.name = base_name(files[i]);
      g.records = read_fasta(files[i]);
      g.reference = read_reference(files[i + 1], g.reference_count);
      genomes.push_back(std::move(g));
    }

    // Scan in a private temporary directory: the stages use fixed names.
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) throw Error("cannot get the working directory");
    char tmpl[] = "/tmp/train_tables.XXXXXX";
    if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0) throw Error("cannot make a temporary directory");
    long total_orfs = 0, total_groups = 0, gene_groups = 0;
    for (Genome& g : genomes) {
      for (const Record& r : g.records) {
        g.orfs.push_back(scan_record(r.seq, min_length, starts));
        const std::vector<Orf>& orfs = g.orfs.back();
        // Reference CDS of this record by stop key, with their start keys.
        std::multimap<long, long> ref;
        auto it = g.reference.find(g.records.size() == 1 && g.reference.count("") ? std::string() : r.seqid);
        if (it != g.reference.end())
          for (const auto& cds : it->second)
            ref.insert({codonspace::scoring::stop_key(cds), codonspace::scoring::start_key(cds)});
        std::vector<Group> groups;
        for (size_t k = 0; k < orfs.size(); ++k) {
          if (k == 0 || orfs[k].b2 != orfs[k - 1].b2) groups.push_back(Group{k, 0, 0, -1});
          ++groups.back().count;
        }
        for (Group& gr : groups) {
          codonspace::scoring::Gene gene;
          codonspace::scoring::gene_from_pair(orfs[gr.first].b1, orfs[gr.first].b2, gene);
          const long key = codonspace::scoring::stop_key(gene);
          auto range = ref.equal_range(key);
          for (auto e = range.first; e != range.second; ++e) {
            ++gr.references;
            for (size_t k = 0; k < gr.count; ++k) {
              codonspace::scoring::Gene o;
              codonspace::scoring::gene_from_pair(orfs[gr.first + k].b1, orfs[gr.first + k].b2, o);
              if (codonspace::scoring::start_key(o) == e->second) gr.labelled = static_cast<long>(k);
            }
          }
          if (gr.references > 0) ++gene_groups;
        }
        total_orfs += static_cast<long>(orfs.size());
        total_groups += static_cast<long>(groups.size());
        g.groups.push_back(std::move(groups));
      }
    }
    if (chdir(cwd) != 0 || rmdir(tmpl) != 0) throw Error("cannot remove the temporary directory");
    std::fprintf(stderr, "train_tables: min length %d, starts", min_length);
    for (const std::string& s : starts) std::fprintf(stderr, " %s", s.c_str());
    std::fprintf(stderr, "; %ld ORFs at %ld stops, %ld stops of reference CDS\n", total_orfs, total_groups,
                 gene_groups);

    // 1. Codon log-odds, genes against non-genes.
    std::vector<double> cg(NUMBER_OF_CODONS, 0.0), cn(NUMBER_OF_CODONS, 0.0);
    for (Genome& g : genomes)
      for (size_t r = 0; r < g.records.size(); ++r)
        for (const Group& gr : g.groups[r]) {
          const size_t want = gr.references > 0 && gr.labelled >= 0 ? static_cast<size_t>(gr.labelled) : 0;
          for_each_orf_counts(g.records[r].seq, g.orfs[r], gr, [&](size_t k, const int* c) {
            if (k != want) return;
            for (int n = 0; n < NUMBER_OF_CODONS; ++n) (gr.references > 0 ? cg : cn)[n] += c[n];
          });
        }
    double sg = 0, sn = 0;
    for (int n = 0; n < NUMBER_OF_CODONS; ++n) {
      sg += cg[n];
      sn += cn[n];
    }
    for (int n = 0; n < NUMBER_OF_CODONS; ++n)
      Z[n] = rounded(std::log((cg[n] + 1) / (sg + 64)) - std::log((cn[n] + 1) / (sn + 64)));

    // 2. Unit vectors of every ORF, as the program computes them.
    struct Vec {
      float v[3];
      bool ok;
    };
    std::vector<std::vector<std::vector<Vec>>> vecs(genomes.size());
    std::vector<Sample> samples;
    for (size_t gi = 0; gi < genomes.size(); ++gi) {
      Genome& g = genomes[gi];
      for (size_t r = 0; r < g.records.size(); ++r) {
        std::vector<Vec> vv(g.orfs[r].size());
        for (const Group& gr : g.groups[r])
          for_each_orf_counts(g.records[r].seq, g.orfs[r], gr, [&](size_t k, const int* c) {
            Vec& v = vv[gr.first + k];
            v.ok = unit_vector(c, X, Y, Z, v.v);
          });
        for (const Group& gr : g.groups[r])
          if (vv[gr.first].ok)
            samples.push_back(Sample{{vv[gr.first].v[0], vv[gr.first].v[1], vv[gr.first].v[2]}, gr.references > 0});
        vecs[gi].push_back(std::move(vv));
      }
    }

    // 3. The plane's direction.
    double w[4];
    logistic_fit(samples, w);
    const double scale = 100.0 / std::max({std::fabs(w[0]), std::fabs(w[1]), std::fabs(w[2])});
    float plane[4] = {rounded(w[0] * scale), rounded(w[1] * scale), rounded(w[2] * scale), 0.0f};

    // 4. The threshold: per stop the largest plane value without d; a stop
    // is predicted when that value plus d is positive.
    struct StopScore {
      double m;
      long refs;
    };
    std::vector<StopScore> stops;
    long all_refs = 0;
    auto lin = [&](const float* v) {
      return static_cast<double>(v[0]) * plane[0] + static_cast<double>(v[1]) * plane[1] +
             static_cast<double>(v[2]) * plane[2];
    };
    for (size_t gi = 0; gi < genomes.size(); ++gi) {
      all_refs += genomes[gi].reference_count;
      for (size_t r = 0; r < genomes[gi].records.size(); ++r)
        for (const Group& gr : genomes[gi].groups[r]) {
          double m = -HUGE_VAL;
          for (size_t k = 0; k < gr.count; ++k) {
            const Vec& v = vecs[gi][r][gr.first + k];
            if (v.ok) m = std::max(m, lin(v.v));
          }
          if (m > -HUGE_VAL) stops.push_back(StopScore{m, gr.references});
        }
    }
    std::stable_sort(stops.begin(), stops.end(), [](const StopScore& a, const StopScore& b) { return a.m > b.m; });
    // Reference CDS sharing one stop are rare; each counts as matched, the
    // stop as one matched prediction.
    double best_f1 = -1, best_d = 0;
    {
      long matched_ref = 0, matched_pred = 0;
      for (size_t k = 0; k < stops.size(); ++k) {
        matched_ref += stops[k].refs;
        matched_pred += stops[k].refs > 0 ? 1 : 0;
        if (k + 1 < stops.size() && stops[k + 1].m == stops[k].m) continue;
        const double sens = double(matched_ref) / double(all_refs);
        const double prec = double(matched_pred) / double(k + 1);
        const double f = sens + prec > 0 ? 2 * sens * prec / (sens + prec) : 0;
        if (f > best_f1) {
          best_f1 = f;
          best_d = k + 1 < stops.size() ? -(stops[k].m + stops[k + 1].m) / 2 : -stops[k].m + 1e-3;
        }
      }
    }
    plane[3] = rounded(best_d);

    // Training figures of the written tables, per genome, replaying the
    // plane test and the longest-per-stop choice.
    const codonspace::Plane P{plane[0], plane[1], plane[2], plane[3]};
    codonspace::scoring::Score pooled;
    for (size_t gi = 0; gi < genomes.size(); ++gi) {
      Genome& g = genomes[gi];
      codonspace::scoring::Score sc;
      for (size_t r = 0; r < g.records.size(); ++r) {
        std::vector<codonspace::scoring::Gene> pred;
        for (const Group& gr : g.groups[r])
          for (size_t k = 0; k < gr.count; ++k) {
            const Vec& v = vecs[gi][r][gr.first + k];
            if (v.ok && codonspace::plane_value(P, v.v[0], v.v[1], v.v[2]) > 0.0f) {
              codonspace::scoring::Gene gene;
              codonspace::scoring::gene_from_pair(g.orfs[r][gr.first + k].b1, g.orfs[r][gr.first + k].b2, gene);
              pred.push_back(gene);
              break;
            }
          }
        const std::string id = g.records.size() == 1 && g.reference.count("") ? std::string() : g.records[r].seqid;
        auto it = g.reference.find(id);
        sc += codonspace::scoring::score(it == g.reference.end() ? std::vector<codonspace::scoring::Gene>{}
                                                                  : it->second,
                                         pred);
      }
      // Reference CDS on seqids absent from the FASTA still count.
      for (const auto& [id, genes] : g.reference) {
        bool present = id.empty() && g.records.size() == 1;
        for (const Record& rec : g.records) present = present || rec.seqid == id;
        if (!present) sc += codonspace::scoring::score(genes, {});
      }
      pooled += sc;
      std::fprintf(stderr,
                   "  %-22s reference %5ld predicted %5ld sensitivity %.4f precision %.4f F1 %.4f start %.4f\n",
                   g.name.c_str(), sc.reference, sc.predicted, sc.sensitivity(), sc.precision(), sc.f1(),
                   sc.start_accuracy());
    }
    std::fprintf(stderr,
                 "  %-22s reference %5ld predicted %5ld sensitivity %.4f precision %.4f F1 %.4f start %.4f\n",
                 "pooled", pooled.reference, pooled.predicted, pooled.sensitivity(), pooled.precision(), pooled.f1(),
                 pooled.start_accuracy());
    std::fprintf(stderr, "  plane %.6f %.6f %.6f %.6f (pooled F1 at threshold search %.4f)\n",
                 static_cast<double>(plane[0]), static_cast<double>(plane[1]), static_cast<double>(plane[2]),
                 static_cast<double>(plane[3]), best_f1);

    write_outputs(out_dir, Z, plane);
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::fprintf(stderr, "train_tables: wrote %s/z.dat and %s/best_plane_fixed.dat in %.1f s\n", out_dir.c_str(),
                 out_dir.c_str(), secs);
  } catch (const Error& e) {
    std::fprintf(stderr, "train_tables: %s\n", e.what());
    return 1;
  }
  return 0;
}
