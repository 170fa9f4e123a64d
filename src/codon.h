// Codon index, complement rule and the per-codon property tables.
//
// Codon index: C = 0, G = 1, T = 2, A = 3, first base most significant, so
// CCC = 0, ATG = 57, AAA = 63. Any character other than upper-case A, G or
// T counts as C.
#pragma once

#include <string>

namespace codonspace {

constexpr int NUMBER_OF_CODONS = 64;

namespace detail {
// Base values and complements for every byte, so the hot loops over ORF
// sequences do one table look-up per character.
struct BaseTables {
  unsigned char value[256];
  char complement[256];
  constexpr BaseTables() : value(), complement() {
    for (int c = 0; c < 256; ++c) {
      value[c] = c == 'G' ? 1 : c == 'T' ? 2 : c == 'A' ? 3 : 0;
      complement[c] = c == 'A' ? 'T' : c == 'T' ? 'A' : c == 'G' ? 'C' : 'G';
    }
  }
};
inline constexpr BaseTables kBaseTables{};
}  // namespace detail

// 1 for power 0, 4 for power 1, 16 otherwise.
int p(int power);
// Codon index of the three characters at str (no terminator needed).
inline int codon_srno(const char* str) {
  const auto* s = reinterpret_cast<const unsigned char*>(str);
  return 16 * detail::kBaseTables.value[s[0]] + 4 * detail::kBaseTables.value[s[1]] +
         detail::kBaseTables.value[s[2]];
}
// The three letters of codon index i (0..63).
std::string str_rep(int i);
// A -> T, T -> A, G -> C, anything else -> G.
inline char comp_base(char ch) { return detail::kBaseTables.complement[static_cast<unsigned char>(ch)]; }

// Reference table files, relative to the working directory.
extern const char* const HBOND_ENERGY_FILE;         // X axis
extern const char* const STACKING_ENERGY_FILE;      // Y axis
extern const char* const Z_VALUES_FILE;             // Z axis
extern const char* const HBOND_NUMBERS_FILE;        // alternative X
extern const char* const STACKING_ORIGINAL_FILE;    // alternative Y

// Codon-value list: 64 pairs "CODON number", any white space between them,
// the last value of a repeated codon wins, anything after the 64th pair is
// ignored. Throws Error naming the file and the entry when the file cannot
// be opened, holds fewer than 64 pairs, a token is not three of A/C/G/T, or
// a number is malformed.
void load_codon_value_list(const std::string& path, float* arr);
// Index-ordered list: the first 64 numbers go to entries 0..63; more are
// ignored; fewer, or a malformed one, is an Error.
void load_index_ordered_list(const std::string& path, float* arr);

void intHBEnergy(float* arr);
void intSEnergy(float* arr);
void load_optimized_zvalues(float* arr);
void intHBEnergy_original(float* arr);
void intSEnergy_original(float* arr);
// Prints the table to standard output, one "CODON\tvalue" line per index.
void decypher(const float* arr);

}  // namespace codonspace
