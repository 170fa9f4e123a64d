#include "annotate/record_pipeline.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_io.h"
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
    if (preprocess_genome(fp, record.id) != 0 || generate_orf(options.min_length, options.start_codons) != 0 ||
        run_method(options.method) != 0)
      throw Error("a stage of method " + std::to_string(options.method) + " failed (see the message above)");
    return read_frame_files(record);
  } catch (const Error& e) {
    throw Error("record '" + record.id + "': " + e.what());
  }
}

}  // namespace codonspace::annotate
