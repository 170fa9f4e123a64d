// The whole program, as the command line runs it, on a tiny genome: the
// first byte sets the minimum length (negative values included), the second
// the method, the third one to four start codons; the rest is the genome
// file. Checks after every run:
// - no working file is left in the directory;
// - a run that succeeds leaves the seven result files, and "gene_sequences"
//   holds one record per line of the six frame files.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "pipeline/pipeline.h"
#include "stages/stages.h"

namespace {
using namespace codonspace;

const char* const kStartPool[8] = {"ATG", "GTG", "TTG", "CTG", "ata", "TAA", "CCC", "AAA"};

size_t count_lines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

size_t count_headers(const std::string& text) {
  size_t n = 0;
  bool line_start = true;
  for (char c : text) {
    if (line_start && c == '>') ++n;
    line_start = c == '\n';
  }
  return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  std::vector<std::string> args = {"codonspace", "genome.fa", std::to_string(static_cast<int8_t>(data[0]) * 4),
                                   std::to_string(data[1] % 3 + 1)};
  for (int k = 0; k < 8 && args.size() < 8; ++k)
    if ((data[2] >> k) & 1U) args.emplace_back(kStartPool[k]);
  if (args.size() == 4) args.emplace_back("ATG");
  fuzz::write_file("genome.fa", std::string_view(reinterpret_cast<const char*>(data + 3), size - 3));
  std::remove(GENE_SEQUENCES);
  for (const char* f : FRAME_FILES) std::remove(f);

  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int status = run_codonspace(static_cast<int>(args.size()), argv.data());

  for (const char* f : working_files(3)) {
    bool found = false;
    fuzz::read_file(f, &found);
    if (found) fuzz::fail(std::string("the run left the working file ") + f);
  }
  if (status != 0) return 0;
  bool found = false;
  const std::string genes = fuzz::read_file(GENE_SEQUENCES, &found);
  if (!found) fuzz::fail("a successful run left no \"gene_sequences\"");
  size_t listed = 0;
  for (const char* f : FRAME_FILES) {
    const std::string frame = fuzz::read_file(f, &found);
    if (!found) fuzz::fail(std::string("a successful run left no ") + f);
    listed += count_lines(frame);
  }
  if (count_headers(genes) != listed)
    fuzz::fail("\"gene_sequences\" holds " + std::to_string(count_headers(genes)) + " genes, the frame files " +
               std::to_string(listed));
  return 0;
}
