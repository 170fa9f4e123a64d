// The reference-table loaders on an arbitrary table file. The first byte
// chooses the loader: the codon-value list, the index-ordered list, the
// plane or the reference composition. A table that loads must give a finite
// number for every entry; the entries start as not-a-number, so an entry the
// file never set (a codon missing from the list) also fails the check.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "core/codon.h"
#include "io/file_io.h"
#include "fuzz_util.h"
#include "stages/protein_stages.h"
#include "stages/stages.h"

namespace {
using codonspace::Error;

void check_finite(const float* values, int count, const char* table) {
  for (int k = 0; k < count; ++k)
    if (!std::isfinite(values[k]))
      codonspace::fuzz::fail(std::string(table) + " loaded with entry " + std::to_string(k) + " not finite");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const char* path = "table.dat";
  codonspace::fuzz::write_file(path, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  try {
    switch (data[0] % 4) {
      case 0: {
        float values[codonspace::NUMBER_OF_CODONS];
        std::fill(values, values + codonspace::NUMBER_OF_CODONS, nan);
        codonspace::load_codon_value_list(path, values);
        check_finite(values, codonspace::NUMBER_OF_CODONS, "the codon-value list");
        break;
      }
      case 1: {
        float values[codonspace::NUMBER_OF_CODONS];
        std::fill(values, values + codonspace::NUMBER_OF_CODONS, nan);
        codonspace::load_index_ordered_list(path, values);
        check_finite(values, codonspace::NUMBER_OF_CODONS, "the index-ordered list");
        break;
      }
      case 2: {
        const codonspace::Plane plane = codonspace::read_plane(path);
        const float values[4] = {plane.a, plane.b, plane.c, plane.d};
        check_finite(values, 4, "the plane");
        break;
      }
      default: {
        const auto reference = codonspace::read_reference_composition(path);
        check_finite(reference.data(), static_cast<int>(reference.size()), "the reference composition");
        break;
      }
    }
  } catch (const Error&) {
  }
  return 0;
}
