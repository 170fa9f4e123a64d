// The files of a tables directory, and which of them each method reads.
#pragma once

#include <vector>

namespace codonspace::table_files {

inline constexpr const char* X_VALUES = "HBondEnergies_MDmapped3.dat";  // X axis: codon -> value
inline constexpr const char* Y_VALUES = "StackingEnergies_MD.dat";      // Y axis: codon -> value
inline constexpr const char* Z_VALUES = "z.dat";                        // Z axis: 64 values, trained
inline constexpr const char* PLANE = "best_plane_fixed.dat";            // the separating plane, trained
inline constexpr const char* REFERENCE_COMPOSITION = "codon1";          // method 3's reference composition

// The tables a run of the method reads (method 1, 2 or 3).
inline std::vector<const char*> required_tables(int method) {
  std::vector<const char*> t = {X_VALUES, Y_VALUES, Z_VALUES, PLANE};
  if (method == 3) t.push_back(REFERENCE_COMPOSITION);
  return t;
}

// The tables training leaves as they are: a trained tables directory copies
// them from the directory it was trained from.
inline constexpr const char* UNTRAINED[] = {X_VALUES, Y_VALUES, REFERENCE_COMPOSITION};

}  // namespace codonspace::table_files
