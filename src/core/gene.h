// A predicted or annotated gene, and the gene of a boundary pair.
#pragma once

namespace codonspace {

// 1-based inclusive coordinates, start <= end, stop codon included; strand
// '+' or '-'. A gene that runs off its sequence is open at that end: its
// coordinates stop at the last whole codon within the sequence, and it has
// no start codon (open at its 5' end: the left on '+', the right on '-') or
// no stop codon (open at its 3' end).
struct Gene {
  long start = 0;
  long end = 0;
  char strand = '+';
  bool open_left = false;
  bool open_right = false;
  bool operator==(const Gene&) const = default;
};

// Whether the gene ends in its stop codon (it is not open at its 3' end),
// and that codon's outer base: the gene's last on '+', its first on '-'.
inline bool has_stop(const Gene& g) { return g.strand == '+' ? !g.open_right : !g.open_left; }
inline long stop_base(const Gene& g) { return g.strand == '+' ? g.end : g.start; }

// Output order: by start, then end, then strand ('+' first).
inline bool gene_before(const Gene& a, const Gene& b) {
  if (a.start != b.start) return a.start < b.start;
  if (a.end != b.end) return a.end < b.end;
  return a.strand < b.strand;
}

// A boundary pair of the result files: b1 < b2 is a direct-strand gene
// b1..b2, otherwise a complementary-strand gene b2..b1 (its start at b1).
inline Gene gene_of_pair(long b1, long b2) { return b1 < b2 ? Gene{b1, b2, '+'} : Gene{b2, b1, '-'}; }

}  // namespace codonspace
