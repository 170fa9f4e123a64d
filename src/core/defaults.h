// The recommended settings, measured on the reference genomes (see
// data/README.md); tools that offer defaults take them from here.
#pragma once

#include <string>

namespace codonspace {

inline constexpr int DEFAULT_MIN_LENGTH = 150;
inline constexpr const char* DEFAULT_START_CODONS[] = {"ATG", "GTG", "TTG"};

// The shipped tables: <directory of the executable>/../share/codonspace/data
// when it exists (an installed program), else the data/ directory of the
// source tree the program was built from.
std::string default_tables_dir();

// Points the stages' table file names (data/NAME by default, relative to
// the working directory) at dir/NAME.
void use_tables_dir(const std::string& dir);

}  // namespace codonspace
