// The recommended settings, measured on the reference genomes (see
// data/README.md); tools that offer defaults take them from here.
#pragma once

namespace codonspace {

inline constexpr int DEFAULT_MIN_LENGTH = 150;
inline constexpr const char* DEFAULT_START_CODONS[] = {"ATG", "GTG", "TTG"};

}  // namespace codonspace
