// The FASTA reader on arbitrary bytes. Three readings must agree: the
// parser fed the whole input at once, the parser fed it in chunks whose
// sizes the first byte chooses, and read_fasta() on a file holding it
// (skipped when the input starts like a compressed stream, which read_fasta
// decompresses first). Agreement covers the records and, for refused input,
// the error message.
#include <cstdint>
#include <string>

#include "annotate/fasta.h"
#include "fuzz_util.h"

namespace {
using codonspace::fuzz::fasta_outcome;

// The parse of data fed in chunks of chunk bytes.
std::string parse_chunked(const std::string& name, const char* data, size_t size, size_t chunk) {
  return fasta_outcome([&] {
    codonspace::annotate::FastaParser parser(name);
    for (size_t at = 0; at < size; at += chunk) parser.feed(data + at, std::min(chunk, size - at));
    if (size == 0) parser.feed(data, 0);
    return parser.finish();
  });
}

bool looks_compressed(const uint8_t* data, size_t size) {
  if (size == 0) return false;
  switch (data[0]) {
    case 0x1f:  // gzip
    case 0xfd:  // xz
    case 0x28:  // zstd
    case 'B':   // bzip2
      return true;
    default:
      return false;
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const std::string name = codonspace::annotate::input_display_name("input.fa");
  const std::string whole = parse_chunked(name, text, size, size == 0 ? 1 : size);
  const size_t chunk = size == 0 ? 1 : 1 + data[0] % 17;
  if (parse_chunked(name, text, size, chunk) != whole)
    codonspace::fuzz::fail("the parse depends on the chunking (chunks of " + std::to_string(chunk) + ")");

  codonspace::fuzz::write_file("input.fa", std::string_view(text, size));
  const std::string from_file = fasta_outcome([] { return codonspace::annotate::read_fasta("input.fa"); });
  if (!looks_compressed(data, size) && from_file != whole)
    codonspace::fuzz::fail("read_fasta disagrees with the parser:\n" + from_file + "\n---\n" + whole);
  return 0;
}
