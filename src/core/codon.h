// Codon index, complement rule and the per-codon property tables.
//
// Codon index: C = 0, G = 1, T = 2, A = 3, first base most significant, so
// CCC = 0, ATG = 57, AAA = 63. Any character other than upper-case A, G or
// T counts as C (on both strands: the complement of an unknown letter is N).
#pragma once

#include <string>

#include "core/genetic_code.h"

namespace codonspace {

constexpr int NUMBER_OF_CODONS = 64;

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
// A -> T, T -> A, G -> C, C -> G, anything else -> N.
inline char comp_base(char ch) { return complement_base(ch); }

// Reference table files: "data/NAME", relative to the working directory,
// unless use_tables_dir() (defaults.h) points them elsewhere.
extern const char* HBOND_ENERGY_FILE;         // X axis
extern const char* STACKING_ENERGY_FILE;      // Y axis
extern const char* Z_VALUES_FILE;             // Z axis
extern const char* HBOND_NUMBERS_FILE;        // alternative X
extern const char* STACKING_ORIGINAL_FILE;    // alternative Y

// Codon-value list: 64 pairs "CODON number", any white space between them,
// each codon named once, anything after the 64th pair ignored. Throws Error
// naming the file and the entry when the file cannot be opened, holds fewer
// than 64 pairs, a token is not three of A/C/G/T, or a number is malformed,
// and naming the codons when one is missing (another is then named twice);
// arr is left as it was.
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
