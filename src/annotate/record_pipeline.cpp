#include "annotate/record_pipeline.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_io.h"
#include "generate_orfs.h"
#include "pipeline.h"
#include "stages.h"

namespace codonspace::annotate {

namespace {
// Removes the files a run leaves in the directory, however it ends.
struct RunFiles {
  int method;
  ~RunFiles() {
    remove_working_files(method);
    remove_result_files();
  }
};

// The scan's codon index, base codes C 0, G 1, T 2, A 3; any other letter
// is 64 (a triplet holding one is neither a start nor a stop).
int base_code(char c) {
  switch (c) {
    case 'C': return 0;
    case 'G': return 1;
    case 'T': return 2;
    case 'A': return 3;
    default: return 64;
  }
}

int codon_code(const std::string& codon) {
  return 16 * base_code(codon[0]) + 4 * base_code(codon[1]) + base_code(codon[2]);
}

unsigned long long codon_mask(const std::vector<std::string>& codons, bool reverse_complement) {
  unsigned long long mask = 0;
  for (const std::string& c : codons) {
    if (c.size() < 3) continue;
    std::string r = c.substr(0, 3);
    if (reverse_complement) {
      r = {c[2], c[1], c[0]};
      for (char& b : r) b = b == 'A' ? 'T' : b == 'T' ? 'A' : b == 'G' ? 'C' : 'G';
    }
    mask |= 1ULL << codon_code(r);
  }
  return mask;
}

int digits(unsigned long long v) {
  int d = 1;
  while (v >= 10) {
    v /= 10;
    ++d;
  }
  return d;
}

std::vector<Gene> read_frame_files(const FastaRecord& record) {
  std::vector<Gene> genes;
  const long length = static_cast<long>(record.sequence.size());
  for (const char* name : FRAME_FILES) {
    File in(name, "r");
    if (!in.is_open()) throw Error("cannot open the result file " + file_reason(name, in.open_error()));
    Scanner scan(in);
    long frame = 0, b1 = 0, b2 = 0;
    while (scan.next_long(frame)) {
      if (!scan.next_pair(b1, b2)) throw Error("the result file '" + std::string(name) + "' ends within a line");
      genes.push_back(gene_from_pair(b1, b2, length));
    }
    in.check_read();
  }
  sort_genes(genes);
  return genes;
}
}  // namespace

WorkSpace working_space(const std::string& sequence, const PredictOptions& options) {
  const long n = static_cast<long>(sequence.size());
  const unsigned long long start_f = codon_mask(options.start_codons, false);
  const unsigned long long stop_f = codon_mask(options.stop_codons, false);
  const unsigned long long start_b = codon_mask(options.start_codons, true);
  const unsigned long long stop_b = codon_mask(options.stop_codons, true);
  std::vector<unsigned char> code(sequence.size());
  for (size_t i = 0; i < sequence.size(); ++i) code[i] = static_cast<unsigned char>(base_code(sequence[i]));
  // The codon index at 0-based position p, or 64 and more when a letter is not a base.
  auto codon_at = [&code](long p) {
    const int a = code[static_cast<size_t>(p)], b = code[static_cast<size_t>(p + 1)], c = code[static_cast<size_t>(p + 2)];
    return (a | b | c) >= 64 ? 64 : 16 * a + 4 * b + c;
  };
  unsigned long long bases = 0, orfs = 0;
  std::vector<long> pending;
  // Pairs each pending start with the stop; `bases` of an ORF from its
  // start s to the far end of its stop triplet.
  auto flush = [&](auto orf_bases) {
    for (long s : pending) {
      const long b = orf_bases(s);
      const long measure = b + 2;
      if (measure < options.min_length || measure > PREDICTION_ORF_MAX_LENGTH) continue;
      bases += static_cast<unsigned long long>(b);
      ++orfs;
    }
    pending.clear();
  };
  for (long frame = 0; frame < 3; ++frame) {
    // Direct strand: upwards, a start pairs with the next stop above it.
    pending.clear();
    for (long p = frame; p + 3 <= n; p += 3) {
      const int c = codon_at(p);
      if (c >= 64) continue;
      if ((start_f >> c) & 1U) pending.push_back(p);
      if ((stop_f >> c) & 1U) flush([p](long s) { return p + 3 - s; });
    }
    // Complementary strand: downwards, a start pairs with the next stop below it.
    pending.clear();
    long top = frame;
    while (top + 3 <= n) top += 3;
    for (long p = top - 3; p >= 0; p -= 3) {
      const int c = codon_at(p);
      if (c >= 64) continue;
      if ((start_b >> c) & 1U) pending.push_back(p);
      if ((stop_b >> c) & 1U) flush([p](long s) { return s + 3 - p; });
    }
  }
  // Per ORF: the export line's numbers and blanks, its boundary pair in the
  // scan's list, its vector line and its pair in the plane test's list.
  const unsigned long long per_orf = 5ULL * static_cast<unsigned long long>(digits(static_cast<unsigned long long>(n))) + 50;
  WorkSpace w;
  w.orfs = orfs;
  w.largest_file = bases + orfs * per_orf;
  // The genome intake's copy of the record, the export and the small lists;
  // methods 2 and 3 export and translate the survivors again (at most all).
  unsigned long long total = static_cast<unsigned long long>(n) + w.largest_file;
  if (options.method >= 2) total += 2 * bases + orfs * 300;
  if (options.method == 3) total += 2 * bases + orfs * 200;
  w.bytes = total;
  return w;
}

std::vector<Gene> predict_record(const FastaRecord& record, const PredictOptions& options) {
  RunFiles cleanup{options.method};
  try {
    // The record as a one-record FASTA text, read by the genome intake from memory.
    std::string text;
    text.reserve(record.id.size() + record.sequence.size() + 3);
    text.append(">").append(record.id).append("\n").append(record.sequence).append("\n");
    errno = 0;
    FILE* fp = fmemopen(text.data(), text.size(), "r");
    if (fp == nullptr) throw Error("cannot read the record from memory: " + std::string(std::strerror(errno)));
    if (preprocess_genome(fp, record.id) != 0 || generate_orf(options.min_length, options.start_codons, options.stop_codons) != 0 ||
        run_method(options.method) != 0)
      throw Error("a stage of method " + std::to_string(options.method) + " failed (see the message above)");
    return read_frame_files(record);
  } catch (const Error& e) {
    throw Error("record '" + record.id + "': " + e.what());
  }
}

}  // namespace codonspace::annotate
