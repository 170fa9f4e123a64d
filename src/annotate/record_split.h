// One long record on several workers: the record is cut into overlapping
// pieces that run through the method pipeline separately, and the genes of
// the pieces are merged into the record's genes.
//
// Why the merge is exact: the methods decide per stop codon. For each stop,
// among the ORFs of that stop (its in-frame starts since the previous
// in-frame stop on its strand), the kept gene is the longest ORF that passes
// the method's tests, and every test (the plane of the codon vectors, the
// protein screen, the amino-acid deviation) looks at that ORF's bases alone.
// So a piece gives a stop the record's answer as long as the piece holds the
// stop with all of its ORFs, and the scan's rules at the piece's ends (starts
// before a frame's first direct stop, complementary starts after a frame's
// last complementary stop) touch no stop the piece answers for.
//
// Each piece owns a range of stops, [own_begin, own_end) (by the lowest base
// of the stop codon), the owned ranges tiling the record. The piece reaches
// - to the left, past an in-frame direct stop codon before own_begin in each
//   of the three frames (or to the record's start), so that the first owned
//   direct stop of every frame sees its previous stop;
// - to the right, past an in-frame complementary stop codon at or after
//   own_end in each frame, the codon included (or to the record's end), so
//   that the last owned complementary stop of every frame sees the next one;
// and begins at a multiple of three bases, so the scan meets every codon in
// the frame (and window) it has in the record. A gene is taken from the
// piece that owns its stop; the cuts therefore never change the genes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "annotate/fasta.h"
#include "annotate/record_pipeline.h"
#include "core/gene.h"

namespace codonspace::annotate {

// 0-based, half-open ranges of the record's bases.
struct Piece {
  long begin = 0, end = 0;            // the bases handed to the pipeline
  long own_begin = 0, own_end = 0;    // the stops it answers for
  bool operator==(const Piece&) const = default;
};

// The pieces of a record whose owned ranges are cut at the given positions
// (strictly increasing, each within 1 .. length - 1; none: one piece of the
// whole record). The stop codons are those of options (their reverse
// complements on the complementary strand); a triplet with a letter other
// than A, C, G, T is no stop.
std::vector<Piece> plan_pieces(const std::string& sequence, const std::vector<long>& cuts,
                               const PredictOptions& options);

// Cuts of a record into `count` owned ranges of nearly equal length, each cut
// at a multiple of three bases (fewer when the record is too short).
std::vector<long> even_cuts(long length, size_t count);

// The smallest piece planned by default, in bases; the environment variable
// CODONSPACE_MIN_PIECE_BASES (a positive decimal) replaces it, so tests can
// split short records.
inline constexpr long DEFAULT_MIN_PIECE_BASES = 300000;
// The smallest piece of this run: CODONSPACE_MIN_PIECE_BASES when set, else
// the default. Throws Error when the variable holds anything but a positive
// decimal.
long min_piece_bases();

// Into how many pieces a record of `length` bases is cut when `workers`
// workers annotate a genome of `total` bases: none (1) for a single worker;
// else about three pieces per worker over the genome, no piece below
// min_piece bases, so that a few long records keep every worker busy until
// close to the end.
size_t piece_count(long length, long total, int workers, long min_piece);

// A piece of the run's work: a record, or one piece of a record cut into
// `pieces` pieces.
struct Job {
  size_t record = 0;
  size_t piece = 0;
  size_t pieces = 1;
  Piece range;
  bool operator==(const Job&) const = default;
};

// The jobs of the run, longest first (ties in record and piece order); a
// record cut into pieces gives one job per piece.
std::vector<Job> plan_jobs(const std::vector<FastaRecord>& records, int workers, long min_piece,
                           const PredictOptions& options);

// The bases of the piece as a record of the same name.
FastaRecord piece_record(const FastaRecord& record, const Piece& piece);

// The genes the piece owns, from its genes in piece coordinates, in record
// coordinates (every other field of Gene carried over).
std::vector<Gene> owned_genes(const std::vector<Gene>& piece_genes, const Piece& piece);

// The record's genes from its pieces' owned genes (see owned_genes), in
// output order (sort_genes).
std::vector<Gene> merge_pieces(const std::vector<std::vector<Gene>>& owned);

// The file of a piece's owned genes in dir (a gene list, gene_calls.h).
std::string piece_genes_path(const std::string& dir, size_t record, size_t piece);

}  // namespace codonspace::annotate
