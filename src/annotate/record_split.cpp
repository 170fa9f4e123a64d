#include "annotate/record_split.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "annotate/gene_output.h"
#include "core/genetic_code.h"
#include "core/options.h"
#include "io/file_io.h"
#include "stages/generate_orfs.h"

namespace codonspace::annotate {

namespace {

// Which codon indices are stops on the direct strand and which are their
// reverse complements (stops of the complementary strand), as the scan sees
// them.
struct StopTables {
  bool direct[64] = {};
  bool complementary[64] = {};
};

StopTables stop_tables(const PredictOptions& options) {
  const CodonTables t = initiate_start_stop_codons(false, options.start_codons, options.stop_codons);
  StopTables s;
  for (int i : t.stop_codons_f) s.direct[i] = true;
  for (int i : t.stop_codons_b) s.complementary[i] = true;
  return s;
}

bool stop_at(const std::string& seq, long p, const bool (&table)[64]) {
  if (p < 0 || p + 3 > static_cast<long>(seq.size())) return false;
  const int i = strict_codon_index(seq.data() + p);
  return i >= 0 && table[i];
}

// The piece's first base for owned stops from `from` on: at or before a
// direct stop codon lying before `from` in each frame, 0 when a frame has
// none, rounded down to a multiple of three.
long piece_begin(const std::string& seq, long from, const StopTables& stops) {
  long begin = from;
  bool found[3] = {false, false, false};
  int missing = 3;
  for (long p = from - 1; p >= 0 && missing > 0; --p) {
    const size_t frame = static_cast<size_t>(p % 3);
    if (!found[frame] && stop_at(seq, p, stops.direct)) {
      found[frame] = true;
      --missing;
      begin = p;
    }
  }
  if (missing > 0) return 0;
  return begin - begin % 3;
}

// The piece's end for owned stops before `to`: past a complementary stop
// codon at or after `to` in each frame, the record's end when a frame has
// none.
long piece_end(const std::string& seq, long to, const StopTables& stops) {
  const long n = static_cast<long>(seq.size());
  long end = to;
  bool found[3] = {false, false, false};
  int missing = 3;
  for (long p = to; p + 3 <= n && missing > 0; ++p) {
    const size_t frame = static_cast<size_t>(p % 3);
    if (!found[frame] && stop_at(seq, p, stops.complementary)) {
      found[frame] = true;
      --missing;
      end = p + 3;
    }
  }
  return missing > 0 ? n : end;
}

// The lowest base (0-based) of a gene's stop codon.
long stop_key(const Gene& g) { return g.strand == '+' ? g.end - 3 : g.start - 1; }

}  // namespace

std::vector<Piece> plan_pieces(const std::string& sequence, const std::vector<long>& cuts,
                               const PredictOptions& options) {
  const long n = static_cast<long>(sequence.size());
  for (size_t i = 0; i < cuts.size(); ++i)
    if (cuts[i] <= 0 || cuts[i] >= n || (i > 0 && cuts[i] <= cuts[i - 1]))
      throw Error("the cuts of a record of " + std::to_string(n) + " bases must increase within 1.." +
                  std::to_string(n - 1));
  const StopTables stops = stop_tables(options);
  std::vector<Piece> pieces;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    Piece p;
    p.own_begin = i == 0 ? 0 : cuts[i - 1];
    p.own_end = i == cuts.size() ? n : cuts[i];
    p.begin = i == 0 ? 0 : piece_begin(sequence, p.own_begin, stops);
    p.end = i == cuts.size() ? n : piece_end(sequence, p.own_end, stops);
    pieces.push_back(p);
  }
  return pieces;
}

std::vector<long> even_cuts(long length, size_t count) {
  std::vector<long> cuts;
  for (size_t i = 1; i < count; ++i) {
    long c = static_cast<long>(static_cast<unsigned long long>(length) * i / count);
    c -= c % 3;
    if (c > 0 && c < length && (cuts.empty() || c > cuts.back())) cuts.push_back(c);
  }
  return cuts;
}

long min_piece_bases() {
  const char* text = std::getenv("CODONSPACE_MIN_PIECE_BASES");
  if (text == nullptr) return DEFAULT_MIN_PIECE_BASES;
  const std::optional<long> v = parse_decimal(text, 1L << 40);
  if (!v || *v < 1)
    throw Error("CODONSPACE_MIN_PIECE_BASES must be a positive number of bases, not '" + std::string(text) + "'");
  return *v;
}

size_t piece_count(long length, long total, int workers, long min_piece) {
  if (workers <= 1 || length <= 0) return 1;
  const long per_piece = std::max({min_piece, total / (3L * workers), 1L});
  return static_cast<size_t>(std::max(1L, length / per_piece));
}

std::vector<Job> plan_jobs(const std::vector<FastaRecord>& records, int workers, long min_piece,
                           const PredictOptions& options) {
  long total = 0;
  for (const FastaRecord& r : records) total += static_cast<long>(r.sequence.size());
  std::vector<Job> jobs;
  for (size_t i = 0; i < records.size(); ++i) {
    const std::string& seq = records[i].sequence;
    const long n = static_cast<long>(seq.size());
    const size_t count = piece_count(n, total, workers, min_piece);
    const std::vector<Piece> pieces =
        count > 1 ? plan_pieces(seq, even_cuts(n, count), options) : std::vector<Piece>{{0, n, 0, n}};
    for (size_t k = 0; k < pieces.size(); ++k) jobs.push_back({i, k, pieces.size(), pieces[k]});
  }
  std::stable_sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) {
    return a.range.end - a.range.begin > b.range.end - b.range.begin;
  });
  return jobs;
}

FastaRecord piece_record(const FastaRecord& record, const Piece& piece) {
  FastaRecord r;
  r.id = record.id;
  r.line = record.line;
  r.sequence = record.sequence.substr(static_cast<size_t>(piece.begin), static_cast<size_t>(piece.end - piece.begin));
  return r;
}

std::vector<Gene> owned_genes(const std::vector<Gene>& piece_genes, const Piece& piece) {
  std::vector<Gene> owned;
  for (Gene g : piece_genes) {
    g.start += piece.begin;
    g.end += piece.begin;
    const long key = stop_key(g);
    if (piece.own_begin <= key && key < piece.own_end) owned.push_back(g);
  }
  return owned;
}

std::vector<Gene> merge_pieces(const std::vector<std::vector<Gene>>& owned) {
  std::vector<Gene> genes;
  for (const std::vector<Gene>& part : owned) genes.insert(genes.end(), part.begin(), part.end());
  sort_genes(genes);
  return genes;
}

std::string piece_genes_path(const std::string& dir, size_t record, size_t piece) {
  return dir + "/" + std::to_string(record) + "." + std::to_string(piece) + ".piece";
}

}  // namespace codonspace::annotate
