#include "core/codon_vector.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/codon.h"
#include "io/decimal_parse.h"
#include "io/fixed_format.h"

namespace codonspace {

CodonVector codon_vector(const int* counts, const float* x_table, const float* y_table, const float* z_table) {
  // Each product is exact in double; each running total is rounded to
  // single precision after every addition.
  CodonVector v;
  for (int n = 0; n < NUMBER_OF_CODONS; ++n) {
    v.x = static_cast<float>(v.x + static_cast<double>(counts[n]) * x_table[n]);
    v.y = static_cast<float>(v.y + static_cast<double>(counts[n]) * y_table[n]);
    v.z = static_cast<float>(v.z + static_cast<double>(counts[n]) * z_table[n]);
  }
  const double sum_sq =
      static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y + static_cast<double>(v.z) * v.z;
  v.modulus = std::sqrt(static_cast<float>(sum_sq));
  return v;
}

size_t format_unit_vector(const CodonVector& v, char* out) {
  const double m = v.modulus;
  size_t k = 0;
  for (float component : {v.x, v.y, v.z}) {
    out[k++] = ' ';
    k += format_fixed6(static_cast<double>(component) / m, out + k);
  }
  return k;
}

bool parse_component(const char* word, size_t n, float& value) {
  if (plain_decimal(word, n, value)) return true;
  const std::string text(word, n);
  char* end = nullptr;
  const float v = std::strtof(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool printed_unit_vector(const CodonVector& v, float out[3]) {
  if (v.modulus == 0.0f) return false;
  char line[1024];
  const size_t n = format_unit_vector(v, line);
  // Words start after each blank.
  size_t begin = 1;
  for (int k = 0; k < 3; ++k) {
    size_t end = begin;
    while (end < n && line[end] != ' ') ++end;
    if (!parse_component(line + begin, end - begin, out[k])) return false;
    begin = end + 1;
  }
  return true;
}

float plane_value(const Plane& plane, float x, float y, float z) {
  const double decide = static_cast<double>(x) * plane.a + static_cast<double>(y) * plane.b +
                        static_cast<double>(z) * plane.c + plane.d;
  return static_cast<float>(decide);
}

}  // namespace codonspace
