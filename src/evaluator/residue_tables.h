// Constant tables of the protein-likeness score: the residue alphabet, four
// small integer coordinates per residue, the disfavoured tripeptides, the
// expected share of windows per octant and the reference mean coordinate.
#pragma once

#include <array>
#include <cstddef>

namespace codonspace {

// The 20 amino-acid letters and "Z" (a stop codon). A residue's index is its
// 1-based place in this string; 0 stands for a letter outside the alphabet.
inline constexpr char RESIDUE_ALPHABET[] = "ACDEFGHIKLMNPQRSTVWYZ";
inline constexpr int RESIDUE_COUNT = 21;

// Index 1..21 of letter c in RESIDUE_ALPHABET, 0 if it is not there.
int residue_index(char c);

// The coordinates g, d, s, l of the residue with the given index (1..21);
// index 0 (unknown letter) gives the origin, like the stop letter. Every
// amino acid's coordinates add up to 3 and no two amino acids share them.
const std::array<int, 4>& residue_coordinates(int index);

// The 81 tripeptides that a protein tolerates at most 3 times.
inline constexpr int DISFAVOURED_COUNT = 81;
extern const char* const DISFAVOURED_TRIPEPTIDES[DISFAVOURED_COUNT];
inline constexpr int DISFAVOURED_LIMIT = 3;

// 21 x 21 x 21 table indexed by the residue indices of three consecutive
// residues: DISFAVOURED_LIMIT for the listed tripeptides, 0 elsewhere.
inline constexpr size_t TRIPEPTIDE_SLOTS = 21 * 21 * 21;
using TripeptideTable = std::array<int, TRIPEPTIDE_SLOTS>;
// Slot of the tripeptide with residue indices i, j, k (each 1..21).
inline constexpr size_t tripeptide_slot(int i, int j, int k) {
  return static_cast<size_t>(((i - 1) * 21 + (j - 1)) * 21 + (k - 1));
}
TripeptideTable build_tripeptide_table();

// Expected windows per octant 1..8 (element 0 is octant 1), in parts per
// thousand, for windows of 11 and of 3 residues.
inline constexpr std::array<int, 8> OCTANT_EXPECT_11 = {168, 82, 82, 168, 82, 168, 168, 82};
inline constexpr std::array<int, 8> OCTANT_EXPECT_3 = {197, 53, 53, 197, 53, 197, 197, 53};

// The reference mean coordinate, 0.33784866 in single precision.
float reference_mean();

}  // namespace codonspace
