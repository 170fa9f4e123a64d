// The screening stages of methods 2 and 3.
//
// Method 2 exports the plane-test survivors for the protein-likeness
// evaluator, reduces its report to one verdict per candidate and keeps the
// accepted candidates. Method 3 translates those survivors once more, measures
// how far each protein's amino-acid composition lies from a reference
// composition and keeps the close ones. Every stage reads and writes working
// files with fixed names in the current directory; see stages.h for the
// conventions on results and errors.
#pragma once

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "io/file_io.h"
#include "stages/stages.h"

namespace codonspace {

// "processed_genome" + "signal" -> "talvisca_seq": "%ld\n" then the bases on
// the next line, the trailer "90" after the last record.
int generate_talvisca_Seq();

// "webtalvisca.out" -> "signal_talvisca66". Line k holds the verdict of
// candidate k (the number on the report's " Analyzing file #" lines): 1 when
// the report judges it likely to code for a protein, 0 otherwise and for
// every number the report skips, up to the highest number seen. Throws Error
// naming the report on a header without a readable number, numbers that do
// not increase, or a verdict line before any header.
int binary_talvisca_mod_newtalvisca();

// "signal" + "signal_talvisca66" -> "signal66genes": the k-th pair is kept
// when the k-th verdict is 1; pairs without a verdict are dropped.
int helixtrove_talvisca();

// "processed_genome" + "signal66genes" -> "stddev_seq": "%ld %ld %ld\n"
// (length, b1, b2) then the bases on the next line, the trailer "90".
int generate_stddev_Seq();

// "stddev_seq" -> "test1" (pair line, protein line) and "nongenefile" (the
// codons translated). Records of fewer than 4 bases are dropped.
int orfs_to_protein_seq();

// "test1" + "data/codon1" -> "seq_std_dev" ("%ld %ld %f\n" per record), with
// the per-record files "codon" and "codon1_codonvalue" left holding the last
// record. Throws Error when "data/codon1" is missing or does not begin with
// 20 numbers.
int stddev();

// "seq_std_dev" -> "std_check": the pairs whose deviation is below 3.5.
int check_stddev_gene();

// One-letter code of a codon of the standard genetic code (exact, upper case
// A/C/G/T only); 0 for the three stop codons and anything else.
char translate_codon(char b1, char b2, char b3);

// The first 20 numbers of the reference composition file. Throws Error
// naming the file when it cannot be opened, holds fewer than 20 numbers or a
// malformed one among them.
std::array<float, 20> read_reference_composition(const std::string& path);

}  // namespace codonspace
