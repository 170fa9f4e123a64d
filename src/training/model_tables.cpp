#include "training/model_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/codon_vector.h"
#include "core/table_files.h"
#include "stages/stages.h"
#include "io/file_io.h"

namespace codonspace::training {

bool unit_vector(const int* counts, const ModelTables& t, float out[3]) {
  return printed_unit_vector(codon_vector(counts, t.x.data(), t.y.data(), t.z.data()), out);
}

bool passes_plane(const int* counts, const ModelTables& t) {
  float v[3];
  if (!unit_vector(counts, t, v)) return false;
  const Plane plane{t.plane[0], t.plane[1], t.plane[2], t.plane[3]};
  return plane_value(plane, v[0], v[1], v[2]) > 0.0f;
}

ModelTables load_model_tables(const std::string& dir) {
  ModelTables t;
  load_codon_value_list(dir + "/" + table_files::X_VALUES, t.x.data());
  load_codon_value_list(dir + "/" + table_files::Y_VALUES, t.y.data());
  load_index_ordered_list(dir + "/" + table_files::Z_VALUES, t.z.data());
  const Plane p = read_plane(dir + "/" + table_files::PLANE);
  t.plane = {p.a, p.b, p.c, p.d};
  return t;
}

float rounded6(double v) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return std::strtof(buf, nullptr);
}

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

}  // namespace codonspace::training
