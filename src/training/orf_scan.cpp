#include "training/orf_scan.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "core/options.h"
#include "core/parallel_blocks.h"
#include "io/file_io.h"
#include "stages/generate_orfs.h"

namespace codonspace::training {

namespace {
// Keeps the ORFs of a scan in memory per stop.
class ListSink : public OrfSink {
 public:
  OrfScan out;
  void orf(long b1, long b2) override { out.orfs.push_back(Orf{b1, b2}); }
  void end_stop() override {
    const size_t first = out.groups.empty() ? 0 : out.groups.back().first + out.groups.back().count;
    out.groups.push_back(StopGroup{first, out.orfs.size() - first});
  }
};

// The scan stage's own scanner over one block of the sequence.
OrfScan scan_block(const std::string& seq, const CodonTables& tables, int min_length, size_t b) {
  ListSink sink;
  OrfScanner scanner(tables, min_length, PREDICTION_ORF_MAX_LENGTH, sink);
  scanner.scan_block(seq.data(), static_cast<long>(seq.size()), b);
  return std::move(sink.out);
}

// The blocks' lists joined in block order: the list of the whole scan.
OrfScan joined(std::vector<OrfScan>& parts) {
  if (parts.size() == 1) return std::move(parts[0]);
  OrfScan out;
  size_t orfs = 0, groups = 0;
  for (const OrfScan& p : parts) orfs += p.orfs.size(), groups += p.groups.size();
  out.orfs.reserve(orfs);
  out.groups.reserve(groups);
  for (OrfScan& p : parts) {
    const size_t offset = out.orfs.size();
    out.orfs.insert(out.orfs.end(), p.orfs.begin(), p.orfs.end());
    for (const StopGroup& g : p.groups) out.groups.push_back(StopGroup{g.first + offset, g.count});
    p = OrfScan();
  }
  return out;
}
}  // namespace

OrfScan scan_orfs(const std::string& seq, int min_length, const std::vector<std::string>& starts,
                  const std::vector<std::string>& stops, int threads) {
  const CodonTables tables = initiate_start_stop_codons(false, starts, stops);
  std::vector<OrfScan> parts(orf_scan_blocks(static_cast<long>(seq.size())));
  run_blocks(threads, parts.size(), [&](size_t b) { parts[b] = scan_block(seq, tables, min_length, b); });
  return joined(parts);
}

namespace {
// Bases per block of the codon index.
constexpr size_t INDEX_BLOCK = size_t{1} << 18;

// The codon indices of positions [first, last).
void index_codons(const std::string& seq, size_t first, size_t last, CodonIndex& ci) {
  const size_t n = seq.size();
  for (size_t p = first; p < last && p + 3 <= n; ++p) ci.forward[p] = static_cast<uint8_t>(codon_srno(seq.data() + p));
  for (size_t p = std::max<size_t>(first, 2); p < last; ++p) {
    const char c[3] = {comp_base(seq[p]), comp_base(seq[p - 1]), comp_base(seq[p - 2])};
    ci.reverse[p] = static_cast<uint8_t>(codon_srno(c));
  }
}
}  // namespace

CodonIndex::CodonIndex(const std::string& seq, int threads) : forward(seq.size(), 0), reverse(seq.size(), 0) {
  run_blocks(threads, block_count(seq.size(), INDEX_BLOCK), [&](size_t b) {
    index_codons(seq, b * INDEX_BLOCK, std::min(seq.size(), (b + 1) * INDEX_BLOCK), *this);
  });
}

ScannedRecord::ScannedRecord(const std::string& s, int min_length, const std::vector<std::string>& starts,
                             const std::vector<std::string>& stops, int threads)
    : seq(&s), codons(std::string(), 1) {
  const CodonTables tables = initiate_start_stop_codons(false, starts, stops);
  std::vector<OrfScan> parts(orf_scan_blocks(static_cast<long>(s.size())));
  // The codon index's arrays (faulting in megabytes of fresh memory) beside
  // the scan's blocks; then the blocks' lists joined beside the index's blocks.
  run_blocks(threads, 2 + parts.size(), [&](size_t b) {
    if (b == 0)
      codons.forward.assign(s.size(), 0);
    else if (b == 1)
      codons.reverse.assign(s.size(), 0);
    else
      parts[b - 2] = scan_block(s, tables, min_length, b - 2);
  });
  run_blocks(threads, 1 + block_count(s.size(), INDEX_BLOCK), [&](size_t b) {
    if (b == 0)
      scan = joined(parts);
    else
      index_codons(s, (b - 1) * INDEX_BLOCK, std::min(s.size(), b * INDEX_BLOCK), codons);
  });
}

void best_per_group(const ScannedRecord& r, const double* w, size_t first, size_t last, GroupBest* out) {
  for (size_t gi = first; gi < last; ++gi) {
    GroupBest b{-HUGE_VAL, 0};
    for_each_orf_score(r.codons, r.scan, r.scan.groups[gi], w, [&](size_t k, double s) {
      if (s >= b.score) b = GroupBest{s, k};  // shortest first: >= prefers the longer
    });
    out[gi - first] = b;
  }
}

std::vector<GroupBest> best_per_group(const ScannedRecord& r, const double* w) {
  std::vector<GroupBest> out(r.scan.groups.size());
  best_per_group(r, w, 0, out.size(), out.data());
  return out;
}

void orf_counts(const ScannedRecord& r, const Orf& o, float* counts) {
  for (int n = 0; n < NUMBER_OF_CODONS; ++n) counts[n] = 0;
  const long codons = orf_bases(o) / 3;
  for (long k = 0; k < codons; ++k) counts[r.codons.codon(o, k)] += 1;
}

std::array<int, 3> stop_codon_indices() { return {codon_srno("TAA"), codon_srno("TAG"), codon_srno("TGA")}; }

std::vector<int> codon_indices(const std::vector<std::string>& codons) {
  std::vector<int> out;
  for (const std::string& c : codons) out.push_back(codon_srno(c.c_str()));
  return out;
}

std::vector<std::string> parse_start_list(const std::string& list) {
  std::vector<std::string> out;
  for (std::string c : split_commas(list)) {
    for (char& ch : c) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    bool ok = c.size() == 3;
    for (char ch : c) ok = ok && (ch == 'A' || ch == 'C' || ch == 'G' || ch == 'T');
    if (!ok) throw Error("start codon list '" + list + "': '" + c + "' is not a codon of three letters A, C, G, T");
    out.push_back(c);
  }
  if (out.empty() || out.size() > 4)
    throw Error("start codon list '" + list + "': give one to four start codons");
  return out;
}

}  // namespace codonspace::training
