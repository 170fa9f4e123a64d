// The reader of plain and gzip-compressed input, read in chunks of every
// size, and what it refuses.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
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
  EXPECT_TRUE(f.is_open());
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
      {"empty", "", "", Compression::none},
      {"one byte", ">", ">", Compression::none},
      {"gzip", gzip(text), text, Compression::gzip},
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
// the formats that are not read are errors naming the input.
TEST_F(CompressedInputTest, RefusedInputsAreNamed) {
  const std::string member = gzip(">r\nACGTACGTAC\n");
  std::string flipped = member;
  flipped[12] = static_cast<char>(flipped[12] ^ 0xFF);
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"garbage after the member", member + "garbage", "not a gzip member (at byte"},
      {"a plain record after it", member + ">s\nACGT\n", "not a gzip member"},
      {"zeros after it", member + std::string(4096, '\0'), "not a gzip member"},
      {"one stray byte", member + "\x1f", "not a gzip member"},
      {"truncated member", member.substr(0, member.size() - 3), "damaged gzip stream (unexpected end of file)"},
      {"second member truncated", member + member.substr(0, 15), "damaged gzip stream"},
      {"damaged data", flipped, "damaged gzip stream"},
      {"xz", std::string("\xFD" "7zXZ\0rest", 10), "xz-compressed, which is not read; decompress it first (xz -d"},
      {"bzip2", "BZh91AY&SY", "bzip2-compressed"},
      {"zstd", "\x28\xB5\x2F\xFD rest", "zstd-compressed"},
  };
  for (const auto& c : cases)
    testutil::expect_error([&] { read_all(c.bytes, 4096); }, {"'input'", c.reason}, c.name);
  // Text that merely begins like a magic number is plain.
  EXPECT_EQ(read_all("BZh", 10), "BZh");
  EXPECT_EQ(read_all("\x1f", 10), "\x1f");
}
