// Bases, their complements and the genetic codes the programs translate
// with.
//
// Base values: C = 0, G = 1, T = 2, A = 3 (the codon index of codon.h is
// 16 * first + 4 * second + third). Any other character is not a base: the
// codon index counts it as C, and a triplet holding one is never a start or
// a stop codon.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace codonspace {

namespace detail {
// Base values, base flags and complements for every byte, so the hot loops
// over sequences do one table look-up per character.
struct BaseTables {
  unsigned char value[256];   // 0..3 for C, G, T, A; 0 for anything else
  unsigned char code[256];    // 0..3 for C, G, T, A; 4 for anything else
  char complement[256];       // A <-> T, C <-> G, N for anything else
  constexpr BaseTables() : value(), code(), complement() {
    for (int c = 0; c < 256; ++c) {
      code[c] = c == 'C' ? 0 : c == 'G' ? 1 : c == 'T' ? 2 : c == 'A' ? 3 : 4;
      value[c] = code[c] == 4 ? 0 : code[c];
      complement[c] = c == 'A' ? 'T' : c == 'T' ? 'A' : c == 'G' ? 'C' : c == 'C' ? 'G' : 'N';
    }
  }
};
inline constexpr BaseTables kBaseTables{};
}  // namespace detail

// The base value 0..3 of an upper-case C, G, T or A; 4 for any other
// character.
inline unsigned base_code(char ch) { return detail::kBaseTables.code[static_cast<unsigned char>(ch)]; }

// The codon index of the three characters at s, or -1 when one of them is
// not an upper-case A, C, G or T.
inline int strict_codon_index(const char* s) {
  const auto* u = reinterpret_cast<const unsigned char*>(s);
  const unsigned a = detail::kBaseTables.code[u[0]], b = detail::kBaseTables.code[u[1]],
                 c = detail::kBaseTables.code[u[2]];
  if (((a | b | c) & 4U) != 0) return -1;
  return static_cast<int>(16 * a + 4 * b + c);
}

// A -> T, T -> A, G -> C, C -> G, anything else -> N.
inline char complement_base(char ch) { return detail::kBaseTables.complement[static_cast<unsigned char>(ch)]; }

// The stop codons of translation table 11, in the scan's order.
inline const std::vector<std::string>& standard_stop_codons() {
  static const std::vector<std::string> stops = {"TAA", "TAG", "TGA"};
  return stops;
}

// A translation table: the amino acid (one-letter code) of every codon
// index, '*' for a stop codon.
struct GeneticCode {
  int id = 11;
  std::array<char, 64> amino{};

  bool is_stop(int codon_index) const { return amino[static_cast<size_t>(codon_index)] == '*'; }
  // The stop codons in the scan's order (TAA, TAG, TGA, those of them that
  // are stops here).
  std::vector<std::string> stop_codons() const;
  // The residue of the codon at s; stop_symbol for a stop codon (the callers
  // write stops differently), 'X' when the triplet holds an unknown letter.
  char translate(const char* s, char stop_symbol = '*') const {
    const int i = strict_codon_index(s);
    if (i < 0) return 'X';
    const char a = amino[static_cast<size_t>(i)];
    return a == '*' ? stop_symbol : a;
  }
};

// Table 11 (bacteria, archaea) or table 4 (Mycoplasma, Spiroplasma: TGA codes
// tryptophan); nullptr for any other number.
const GeneticCode* find_genetic_code(int id);
// Table 11, the code of the method stages.
inline const GeneticCode& standard_genetic_code() { return *find_genetic_code(11); }

}  // namespace codonspace
