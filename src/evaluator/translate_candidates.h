// Translation phase of the protein-likeness evaluator: every candidate of
// "talvisca_seq" with at least 16 bases is translated from its first base in
// its first reading frame and written to "proS".
//
// "talvisca_seq" holds, per candidate, a line with its length in bases and a
// line with the bases; after the last record the trailer "90" (read as one
// more length line, with no sequence after it). A line that begins with
// A, G, T or C and does not follow a length line is ignored.
//
// "proS" holds per translated candidate a header line ">" + nres, nunk,
// nbase3, nord (each right-aligned in 10 columns; nord is the number of the
// pass that read the length line, the candidate's place in "talvisca_seq"),
// then the residues 60 to a line ("Z" for a stop codon, one empty line for
// no residues), and after the last record the line ">TER".
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace codonspace {

inline constexpr long MIN_CANDIDATE_BASES = 16;
// "temp" keeps the last length line, padded with blanks to this many columns.
inline constexpr size_t LENGTH_SCRATCH_COLUMNS = 30000;
inline constexpr size_t PROTEIN_LINE_RESIDUES = 60;

struct Translation {
  std::string residues;
  long nunk = 0;    // codons that are no codon of the genetic code
  long nbase3 = 0;  // nlen rounded down to whole codons
};

// Translates the first nlen / 3 codons of bases (positions beyond its end
// read as blanks) with the standard genetic code, stops as "Z". Lower-case
// bases read as upper-case ones, R as A, Y and N as T. Translation stops at
// a codon that begins with a blank; a codon holding any other character
// counts in nunk and adds no residue.
void translate_candidate(std::string_view bases, long nlen, Translation& out);

// Reads the length of a length line as a free-format integer: leading blanks
// skipped, the first item ends at a blank, a comma or the line end. False
// when the line holds no such integer.
bool parse_length_line(std::string_view line, long& value);

// Writes one "proS" record.
void write_protein_record(FILE* fp, const Translation& t, long nord);

// The phase: "talvisca_seq" -> "proS", leaving the last length line in
// "temp". Throws Error when "talvisca_seq" or "proS" cannot be opened, on a
// length line without a readable integer and on read or write errors.
void translate_candidates();

}  // namespace codonspace
