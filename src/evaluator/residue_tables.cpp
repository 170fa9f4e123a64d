#include "evaluator/residue_tables.h"

#include <bit>
#include <cstdint>

namespace codonspace {

namespace {

// Rows in alphabet order A C D E F G H I K L M N P Q R S T V W Y Z; row 0
// is the origin for letters outside the alphabet.
constexpr std::array<std::array<int, 4>, RESIDUE_COUNT + 1> kCoordinates = {{
    {0, 0, 0, 0},                                                      // unknown
    {0, 0, 2, 1}, {0, 1, 2, 0}, {0, 0, 1, 2}, {1, 0, 0, 2}, {0, 0, 0, 3},  // A C D E F
    {0, 0, 3, 0}, {0, 2, 0, 1}, {2, 0, 1, 0}, {1, 1, 0, 1}, {3, 0, 0, 0},  // G H I K L
    {1, 0, 1, 1}, {0, 2, 1, 0}, {2, 0, 0, 1}, {1, 2, 0, 0}, {2, 1, 0, 0},  // M N P Q R
    {0, 1, 1, 1}, {1, 1, 1, 0}, {1, 0, 2, 0}, {0, 3, 0, 0}, {0, 1, 0, 2},  // S T V W Y
    {0, 0, 0, 0},                                                      // Z
}};

constexpr std::array<int8_t, 256> make_index_table() {
  std::array<int8_t, 256> t{};
  for (int i = 0; i < RESIDUE_COUNT; ++i)
    t[static_cast<unsigned char>(RESIDUE_ALPHABET[i])] = static_cast<int8_t>(i + 1);
  return t;
}
constexpr std::array<int8_t, 256> kIndex = make_index_table();

}  // namespace

const char* const DISFAVOURED_TRIPEPTIDES[DISFAVOURED_COUNT] = {
    "AGP", "APG", "APP", "APR", "APS", "ARG", "ARP", "ARS", "ASP", "ASR", "CRR", "FLF", "FLS", "FSL",
    "FSS", "GAR", "GPA", "GRA", "GRP", "GRR", "GRS", "GSR", "LFS", "LSF", "PAG", "PAR", "PAS", "PGA",
    "PGR", "PGS", "PPA", "PPR", "PRP", "PRR", "PRS", "PSA", "PSR", "RAG", "RAP", "RAR", "RAS", "RCR",
    "RCS", "RGA", "RGR", "RHR", "RLP", "RPA", "RPG", "RPP", "RPR", "RPS", "RRC", "RRG", "RRP", "RRS",
    "RRT", "RSA", "RSG", "RSP", "RSR", "RSS", "RTA", "RTR", "SAP", "SAR", "SFL", "SFS", "SGR", "SIS",
    "SLS", "SPA", "SPR", "SRA", "SRP", "SRR", "SRS", "SSA", "SSR", "TRR", "VRR",
};

int residue_index(char c) { return kIndex[static_cast<unsigned char>(c)]; }

const std::array<int, 4>& residue_coordinates(int index) {
  return kCoordinates[index >= 0 && index <= RESIDUE_COUNT ? index : 0];
}

TripeptideTable build_tripeptide_table() {
  TripeptideTable table{};
  for (const char* t : DISFAVOURED_TRIPEPTIDES)
    table[tripeptide_slot(residue_index(t[0]), residue_index(t[1]), residue_index(t[2]))] =
        DISFAVOURED_LIMIT;
  return table;
}

float reference_mean() { return std::bit_cast<float>(std::uint32_t{0x3EACFA80u}); }

}  // namespace codonspace
