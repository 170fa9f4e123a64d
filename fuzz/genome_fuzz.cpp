// The genome intake and the ORF scan on an arbitrary genome file. The first
// byte sets the minimum length (negative values included, as the command
// line allows them), the second chooses one to four start codons; the rest
// is the genome file. Checks:
// - when the FASTA parser accepts the file as exactly one record, the intake
//   writes that record's sequence to "processed_genome";
// - "prediction_orfs" lists exactly the ORFs of the in-memory scan that the
//   training uses, in the same order.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "annotate/fasta.h"
#include "io/file_io.h"
#include "fuzz_util.h"
#include "stages/stages.h"
#include "training/orf_scan.h"

namespace {
using codonspace::Error;

const char* const kStartPool[8] = {"ATG", "GTG", "TTG", "CTG", "ATA", "TAA", "CCC", "AAA"};

std::vector<std::string> choose_starts(uint8_t bits) {
  std::vector<std::string> starts;
  for (int k = 0; k < 8 && starts.size() < 4; ++k)
    if ((bits >> k) & 1U) starts.emplace_back(kStartPool[k]);
  if (starts.empty()) starts.emplace_back("ATG");
  return starts;
}

// The single record's sequence when the parser accepts the text as one record.
bool single_record(std::string_view text, std::string& sequence) {
  try {
    codonspace::annotate::FastaParser parser("genome");
    parser.feed(text.data(), text.size());
    auto records = parser.finish();
    if (records.size() != 1) return false;
    sequence = std::move(records[0].sequence);
    return true;
  } catch (const Error&) {
    return false;
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int min_length = static_cast<int8_t>(data[0]) * 4;
  const std::vector<std::string> starts = choose_starts(data[1]);
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  codonspace::fuzz::write_file("genome.fa", text);
  std::remove(codonspace::PROCESSED_GENOME);
  std::remove(codonspace::PREDICTION_ORFS);

  FILE* fp = std::fopen("genome.fa", "r");
  if (fp == nullptr) codonspace::fuzz::fail("cannot reopen genome.fa");
  try {
    if (codonspace::preprocess_genome(fp, "genome.fa") != 0) return 0;
  } catch (const Error&) {
    return 0;
  }
  const std::string processed = codonspace::fuzz::read_file(codonspace::PROCESSED_GENOME);
  std::string sequence;
  if (single_record(text, sequence) && sequence != processed)
    codonspace::fuzz::fail("the intake's sequence differs from the FASTA parser's");

  try {
    if (codonspace::generate_orf(min_length, starts) != 0) codonspace::fuzz::fail("the scan failed");
  } catch (const Error& e) {
    codonspace::fuzz::fail(std::string("the scan threw: ") + e.what());
  }
  const auto expected = codonspace::training::scan_orfs(processed, min_length, starts);
  std::string listed;
  for (const auto& o : expected.orfs) listed += std::to_string(o.b1) + " " + std::to_string(o.b2) + "\n";
  if (codonspace::fuzz::read_file(codonspace::PREDICTION_ORFS) != listed)
    codonspace::fuzz::fail("\"prediction_orfs\" differs from the in-memory scan");
  return 0;
}
