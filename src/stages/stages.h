// The pipeline stages. Each stage reads and writes working files with fixed
// names in the current directory and returns 0. Every failure throws Error:
// a file that does not open (after the stage's short message, if it has
// one, on standard output: require_open in file_io.h), damaged input, a
// write error or a reference table that cannot be used.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/codon_vector.h"
#include "core/genetic_code.h"

namespace codonspace {

// Working and result file names.
inline constexpr const char* PROCESSED_GENOME = "processed_genome";
inline constexpr const char* PREDICTION_ORFS = "prediction_orfs";
inline constexpr const char* LONGEST_ORF_SEQUENCES = "longest_orf_sequences";
inline constexpr const char* UNIT_GENE_VECTORS = "unit_gene_vectors.dat";
inline constexpr const char* SIGNAL = "signal";
inline constexpr const char* LONGEST_ORFS = "longest_orfs";
inline constexpr const char* GENE_SEQUENCES = "gene_sequences";
inline constexpr const char* MAIN_STRAND = "main_strand";
inline constexpr const char* COMPLEMENTARY_STRAND = "complementary_strand";
// Tables: relative to the working directory unless use_tables_dir() (defaults.h)
// points them elsewhere.
inline const char* PLANE_FILE = "data/best_plane_fixed.dat";
// Methods 2 and 3.
inline constexpr const char* TALVISCA_SEQ = "talvisca_seq";
inline constexpr const char* PROS = "proS";
inline constexpr const char* TEMP_FILE = "temp";
inline constexpr const char* EVALUATOR_REPORT = "webtalvisca.out";
inline constexpr const char* SIGNAL_TALVISCA66 = "signal_talvisca66";
inline constexpr const char* SIGNAL66GENES = "signal66genes";
// Method 3.
inline constexpr const char* STDDEV_SEQ = "stddev_seq";
inline constexpr const char* TEST1 = "test1";
inline constexpr const char* NONGENEFILE = "nongenefile";
inline constexpr const char* CODON_PERCENTAGES = "codon";
inline constexpr const char* CODON1_CODONVALUE = "codon1_codonvalue";
inline constexpr const char* SEQ_STD_DEV = "seq_std_dev";
inline constexpr const char* STD_CHECK = "std_check";
inline const char* REFERENCE_COMPOSITION = "data/codon1";

// The six per-frame result files, in the order +1 +2 +3 -1 -2 -3.
extern const char* const FRAME_FILES[6];

// Genome intake: plain or gzip-compressed content (told by its first
// bytes); header line dropped, sequence upper-cased with line ends, carriage
// returns, blanks and tabs removed, written to "processed_genome". fp_genome
// is closed. Throws Error naming the genome on a read error, a damaged gzip
// stream or another compression, an empty file, a first byte that is not
// '>', a character that is not a letter in the sequence (with its line), a
// second record, or a record without bases. Letters other than A, C, G, T
// are kept.
int preprocess_genome(FILE* fp_genome, const std::string& genome_name = "genome file");

// ORF scan of "processed_genome" into "prediction_orfs" (see generate_orfs.h);
// the stop codons are those of the translation table in use.
int generate_orf(int min_length, const std::vector<std::string>& start_codons,
                 const std::vector<std::string>& stop_codons = standard_stop_codons());

// "prediction_orfs" -> "longest_orf_sequences": "%ld %ld %ld " then the bases.
int generate_longest_orf_input();

// "longest_orf_sequences" + tables -> "unit_gene_vectors.dat".
int calculate_vectors_prediction();
// Codon counts of the complete codons of the first noofbases characters.
void cal_freq_codons(const char* str, int noofbases, int* result, bool is_gene);
void print_unitvector(FILE* fp, int current_pair, int noofbases, long start, long stop, const CodonVector& v);

// Reads the plane file: whole groups of four numbers, the last group wins.
Plane read_plane(const std::string& path);
// "unit_gene_vectors.dat" + plane -> "signal" ("%ld %ld \n" per gene).
int final_output_prediction();

// One pair per stop: the first of each run of pairs with the same b2.
int longest_orf_dna();      // reads "signal"
int longest_orf_protein();  // reads "signal66genes"
int longest_orf();          // reads "std_check"
int select_longest_orfs(const char* input);

// "longest_orfs" -> "gene_sequences", "main_strand", "complementary_strand".
int orf_sequence_final();
char comp(char ch);

// "longest_orfs" -> the six per-frame result files.
int reading_frame();

}  // namespace codonspace
