#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

#include "core/codon.h"
#include "core/codon_vector.h"
#include "io/file_io.h"
#include "io/fixed_format.h"
#include "stages/stages.h"

namespace codonspace {

namespace {
// A table value so large that an ORF's vector leaves single precision (an
// infinite total or modulus) would turn into "nan" components. Names the
// table and the codon whose weighted count is the largest.
[[noreturn]] void report_overflow(const float* XValues, const float* YValues, const float* ZValues,
                                  const int* fCodonsG, long start, long stop) {
  const float* const tables[3] = {XValues, YValues, ZValues};
  const char* const files[3] = {HBOND_ENERGY_FILE, STACKING_ENERGY_FILE, Z_VALUES_FILE};
  int axis = 0, codon = 0;
  double largest = -1;
  for (int a = 0; a < 3; ++a)
    for (int n = 0; n < NUMBER_OF_CODONS; ++n) {
      const double weight = std::fabs(static_cast<double>(fCodonsG[n]) * tables[a][n]);
      if (weight > largest) {
        largest = weight;
        axis = a;
        codon = n;
      }
    }
  char value[64];
  std::snprintf(value, sizeof value, "%g", static_cast<double>(tables[axis][codon]));
  throw Error("'" + std::string(files[axis]) + "': the value " + value + " of codon " + str_rep(codon) +
              " is too large: the vector of the ORF " + std::to_string(start) + " " + std::to_string(stop) +
              " (" + std::to_string(fCodonsG[codon]) + " such codons) overflows single precision");
}
}  // namespace

void cal_freq_codons(const char* str, int noofbases, int* result, bool /*is_gene*/) {
  const int to_truncate = noofbases % 3;
  const int end = noofbases - to_truncate - 1;
  std::fill(result, result + NUMBER_OF_CODONS, 0);
  for (int i = 0; i < end; i += 3) ++result[codon_srno(str + i)];
}

void print_unitvector(FILE* fp, int current_pair, int noofbases, long start, long stop, const CodonVector& v) {
  // Same bytes as "%d %d %d %d %f %f %f\n", formatted without printf.
  char line[1200];
  size_t k = format_long(current_pair, line);
  line[k++] = ' ';
  k += format_long(noofbases, line + k);
  line[k++] = ' ';
  k += format_long(start, line + k);
  line[k++] = ' ';
  k += format_long(stop, line + k);
  k += format_unit_vector(v, line + k);
  line[k++] = '\n';
  std::fwrite(line, 1, k, fp);
}

int calculate_vectors_prediction() {
  float XValues[NUMBER_OF_CODONS], YValues[NUMBER_OF_CODONS], ZValues[NUMBER_OF_CODONS];
  int fCodonsG[NUMBER_OF_CODONS];
  intHBEnergy(XValues);
  intSEnergy(YValues);
  load_optimized_zvalues(ZValues);

  File fp_input(LONGEST_ORF_SEQUENCES, "r", 1 << 20);
  File fp_results_geneunit(UNIT_GENE_VECTORS, "w+", 1 << 20);
  require_open({&fp_input, &fp_results_geneunit}, "calVect:Files not available");

  Scanner in(fp_input);
  FILE* fin = fp_input.get();
  FILE* out = fp_results_geneunit.get();
  std::vector<char> gene;
  int current_pair = 1;
  long noofbases_gene, start, stop;
  while (in.next_long(noofbases_gene)) {
    if (!in.next_long(start) || !in.next_long(stop) || noofbases_gene < 0 || noofbases_gene > INT32_MAX)
      throw Error("'" + std::string(LONGEST_ORF_SEQUENCES) + "': record " + std::to_string(current_pair) +
                  " has a damaged header");
    try {
      gene.resize(static_cast<size_t>(noofbases_gene));
    } catch (const std::bad_alloc&) {
      std::printf("calVect:gene:Malloc failed\n");
      std::fflush(stdout);
      throw;
    }
    // The scanner consumed the blank after b2; the bases follow at once.
    if (std::fread(gene.data(), 1, gene.size(), fin) != gene.size()) {
      fp_input.check_read();
      throw Error("'" + std::string(LONGEST_ORF_SEQUENCES) + "' ends inside record " +
                  std::to_string(current_pair));
    }
    cal_freq_codons(gene.data(), static_cast<int>(noofbases_gene), fCodonsG, true);

    const CodonVector v = codon_vector(fCodonsG, XValues, YValues, ZValues);
    if (!std::isfinite(v.modulus)) report_overflow(XValues, YValues, ZValues, fCodonsG, start, stop);
    if (v.modulus != 0.0f) print_unitvector(out, current_pair, static_cast<int>(noofbases_gene), start, stop, v);
    ++current_pair;
    if (current_pair % 4096 == 0) fp_results_geneunit.check_write();
  }
  fp_results_geneunit.close_output();
  return 0;
}

}  // namespace codonspace
