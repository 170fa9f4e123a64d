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

#include "file_io.h"

namespace codonspace {

// Working files of the screening stages and the reference composition.
inline constexpr const char* TALVISCA_SEQ = "talvisca_seq";
inline constexpr const char* EVALUATOR_REPORT = "webtalvisca.out";
inline constexpr const char* SIGNAL_TALVISCA66 = "signal_talvisca66";
inline constexpr const char* SIGNAL66GENES = "signal66genes";
inline constexpr const char* STDDEV_SEQ = "stddev_seq";
inline constexpr const char* TEST1 = "test1";
inline constexpr const char* NONGENEFILE = "nongenefile";
inline constexpr const char* CODON_PERCENTAGES = "codon";
inline constexpr const char* CODON1_CODONVALUE = "codon1_codonvalue";
inline constexpr const char* SEQ_STD_DEV = "seq_std_dev";
inline constexpr const char* STD_CHECK = "std_check";
inline constexpr const char* REFERENCE_COMPOSITION = "data/codon1";

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

// Reads one whole line, its line end included when there is one, into line.
// Returns false (line empty) at the end of input; throws Error on a read
// error.
inline bool read_line(const File& file, std::string& line) {
  line.clear();
  FILE* fp = file.get();
  int c;
  while ((c = getc_unlocked(fp)) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') return true;
  }
  file.check_read();
  return !line.empty();
}

// Reads one whitespace-delimited word as "%f" does, accepting "nan", "-nan"
// and "inf" as printf writes them. Returns false at the end of input; throws
// Error naming the file on a word that is not a number.
inline bool next_real(Scanner& in, const std::string& name, float& value) {
  std::string word;
  if (!in.next_word(word)) return false;
  char* end = nullptr;
  errno = 0;
  const float v = std::strtof(word.c_str(), &end);
  if (end == word.c_str() || *end != '\0') throw Error("'" + name + "': malformed number '" + word + "'");
  value = v;
  return true;
}

}  // namespace codonspace
