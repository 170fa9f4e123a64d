// The reader of plain and gzip-compressed input, read in chunks of every
// size, and what it refuses.
#include <gtest/gtest.h>

#include <random>

#include "io/compressed_input.h"
#include "io/file_io.h"
#include "test_util.h"

using namespace codonspace;
using testutil::gzip;

namespace {
// Everything the reader gives for bytes, read chunk bytes at a time.
std::string read_all(const std::string& bytes, size_t chunk, Compression* seen = nullptr) {
  testutil::write_file("input", bytes);
  File f("input", "rb");
  DecompressingReader reader(f.get(), "'input'");
  std::string out, buf(chunk, '\0');
  while (size_t n = reader.read(buf.data(), chunk)) out.append(buf.data(), n);
  if (seen != nullptr) *seen = reader.compression();
  return out;
}
}  // namespace

class CompressedInputTest : public testutil::TempDirTest {};

TEST_F(CompressedInputTest, PlainAndGzipGiveTheSameContent) {
  std::mt19937 gen(3);
  std::string text(400000, 'A');
  for (char& c : text) c = "ACGT\n"[gen() % 5];
  const struct {
    const char* name;
    std::string bytes, content;
    Compression compression;
  } cases[] = {
      {"plain", text, text, Compression::none},
      {"gzip of nothing", gzip(""), "", Compression::gzip},
      {"stored blocks", gzip(text, 0), text, Compression::gzip},
      // Members as bgzip writes them, one of them empty.
      {"three members", gzip(text.substr(0, 70000)) + gzip("") + gzip(text.substr(70000)), text, Compression::gzip},
  };
  for (const auto& c : cases) {
    for (size_t chunk : {size_t{1}, size_t{4093}, size_t{1} << 20}) {
      if (chunk == 1 && c.content.size() > 100000) continue;
      Compression seen = Compression::none;
      EXPECT_TRUE(read_all(c.bytes, chunk, &seen) == c.content) << c.name << ", chunks of " << chunk;
      EXPECT_EQ(seen, c.compression) << c.name;
    }
  }
}

// Anything but further members after a gzip member, a damaged stream and
// the formats that are not read are errors naming the input; text that
// merely begins like a magic number is plain.
TEST_F(CompressedInputTest, RefusedInputsAreNamed) {
  const std::string member = gzip(">r\nACGTACGTAC\n");
  std::string flipped = member;
  flipped[12] = static_cast<char>(flipped[12] ^ 0xFF);
  const std::pair<std::string, const char*> cases[] = {
      {member + "garbage", "not a gzip member (at byte"},
      {member.substr(0, member.size() - 3), "damaged gzip stream (unexpected end of file)"},
      {flipped, "damaged gzip stream"},
      {std::string("\xFD" "7zXZ\0rest", 10), "xz-compressed, which is not read; decompress it first (xz -d"},
      {"BZh91AY&SY", "bzip2-compressed"},
  };
  for (const auto& [bytes, reason] : cases)
    testutil::expect_error([&, &bytes = bytes] { read_all(bytes, 4096); }, {"'input'", reason}, reason);
  EXPECT_EQ(read_all("BZh", 10), "BZh");
  EXPECT_EQ(read_all("\x1f", 10), "\x1f");
}
