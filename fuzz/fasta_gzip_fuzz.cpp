// The FASTA reader on gzip input. The input is plain FASTA text; the target
// compresses it and read_fasta() must return what the parser returns for the
// plain text (the same records, or the same refusal). The first byte chooses
// the layout of the compressed file and the compression level:
//   0  one member
//   1  two members, the text cut where the second byte says
//   2  one member followed by raw bytes (the part of the input after the
//      first NUL byte): either the plain text's result or a refusal
//   3  an empty member, the text, an empty member (as block-compressed
//      files end)
#include <zlib.h>

#include <cstdint>
#include <string>

#include "annotate/fasta.h"
#include "fuzz_util.h"

namespace {
using codonspace::fuzz::fasta_outcome;

// One gzip member holding the bytes.
std::string gzip_member(std::string_view bytes, int level) {
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    codonspace::fuzz::fail("deflateInit2 failed");
  std::string out(deflateBound(&zs, bytes.size()) + 32, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  zs.avail_in = static_cast<uInt>(bytes.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  if (deflate(&zs, Z_FINISH) != Z_STREAM_END) codonspace::fuzz::fail("deflate did not finish");
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

std::string parse_text(const std::string& name, std::string_view text) {
  return fasta_outcome([&] {
    codonspace::annotate::FastaParser parser(name);
    parser.feed(text.data(), text.size());
    return parser.finish();
  });
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int layout = data[0] % 4;
  const int level = (data[0] / 4) % 10;
  std::string_view text, tail;
  if (layout == 2) {
    const auto parts = codonspace::fuzz::split_input(data + 2, size - 2, 2);
    text = parts[0];
    tail = parts[1];
  } else {
    text = std::string_view(reinterpret_cast<const char*>(data + 2), size - 2);
  }

  std::string file;
  switch (layout) {
    case 0:
      file = gzip_member(text, level);
      break;
    case 1: {
      const size_t cut = text.size() * data[1] / 255;
      file = gzip_member(text.substr(0, cut), level) + gzip_member(text.substr(cut), level);
      break;
    }
    case 2:
      file = gzip_member(text, level).append(tail);
      break;
    default:
      file = gzip_member("", level) + gzip_member(text, level) + gzip_member("", level);
      break;
  }
  codonspace::fuzz::write_file("input.fa.gz", file);

  const std::string name = codonspace::annotate::input_display_name("input.fa.gz");
  const std::string expected = parse_text(name, text);
  const std::string got = fasta_outcome([] { return codonspace::annotate::read_fasta("input.fa.gz"); });
  if (got == expected) return 0;
  // Raw bytes after the member: refusing the file is right too, unless the
  // bytes themselves begin a gzip member (then they are data).
  const bool tail_is_member = tail.size() >= 2 && static_cast<unsigned char>(tail[0]) == 0x1f &&
                              static_cast<unsigned char>(tail[1]) == 0x8b;
  if (layout == 2 && !tail.empty() && !tail_is_member && got.rfind("error: ", 0) == 0) return 0;
  codonspace::fuzz::fail("layout " + std::to_string(layout) + ": read_fasta gave\n" + got + "\nthe plain text gives\n" +
                         expected);
}
