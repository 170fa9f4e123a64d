#include "annotate/record_pipeline.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "io/file_io.h"
#include "stages/generate_orfs.h"
#include "pipeline/pipeline.h"
#include "stages/stages.h"

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

int digits(unsigned long long v) {
  int d = 1;
  while (v >= 10) {
    v /= 10;
    ++d;
  }
  return d;
}

// Adds up the ORFs of the scan instead of writing them.
class OrfTally : public OrfSink {
 public:
  void orf(long b1, long b2) override {
    bases += static_cast<unsigned long long>(b1 < b2 ? b2 - b1 + 1 : b1 - b2 + 1);
    ++count;
  }
  unsigned long long bases = 0, count = 0;
};

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
  unsigned long long bases = 0, orfs = 0;
  for (const OrfTally& tally :
       scan_in_blocks<OrfTally>(initiate_start_stop_codons(false, options.start_codons, options.stop_codons),
                                options.min_length, PREDICTION_ORF_MAX_LENGTH, sequence.data(), n, options.threads)) {
    bases += tally.bases;
    orfs += tally.count;
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
    run_pipeline(fp, record.id, options.method, options.min_length, options.start_codons, options.stop_codons);
    return read_frame_files(record);
  } catch (const Error& e) {
    throw Error("record '" + record.id + "': " + e.what());
  }
}

}  // namespace codonspace::annotate
