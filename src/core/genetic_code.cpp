#include "core/genetic_code.h"

namespace codonspace {

namespace {
// The standard table with the bases in the order T, C, A, G for each codon
// position, first base slowest: TTT F, TTC F, TTA L, ..., GGG G.
constexpr const char* kStandardTCAG = "FFLLSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG";

// Codon index of three letters known to be bases.
size_t index_of(const char* s) {
  const auto* u = reinterpret_cast<const unsigned char*>(s);
  return 16U * detail::kBaseTables.value[u[0]] + 4U * detail::kBaseTables.value[u[1]] + detail::kBaseTables.value[u[2]];
}

GeneticCode make_code(int id) {
  GeneticCode g;
  g.id = id;
  const char tcag[4] = {'T', 'C', 'A', 'G'};
  for (int a = 0; a < 4; ++a)
    for (int b = 0; b < 4; ++b)
      for (int c = 0; c < 4; ++c) {
        const char codon[3] = {tcag[a], tcag[b], tcag[c]};
        g.amino[index_of(codon)] = kStandardTCAG[16 * a + 4 * b + c];
      }
  if (id == 4) g.amino[index_of("TGA")] = 'W';
  return g;
}
}  // namespace

std::vector<std::string> GeneticCode::stop_codons() const {
  std::vector<std::string> stops;
  for (const std::string& s : standard_stop_codons())
    if (amino[index_of(s.c_str())] == '*') stops.push_back(s);
  return stops;
}

const GeneticCode* find_genetic_code(int id) {
  static const GeneticCode table11 = make_code(11);
  static const GeneticCode table4 = make_code(4);
  if (id == 11) return &table11;
  if (id == 4) return &table4;
  return nullptr;
}

}  // namespace codonspace
