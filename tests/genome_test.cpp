// Genome intake (plain and gzip-compressed input read in chunks of every
// size, what the reader refuses, the sequence normalised) and the
// exporters' refusals (the ORF scan is checked by self_training_test
// against the in-memory scan, and by the mirror tests).
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "io/compressed_input.h"
#include "io/file_io.h"
#include "stages/protein_stages.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::gzip;
using testutil::read_file;
using testutil::write_file;

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

// 30 bases: a direct ORF 1..9 and a complementary one 18..10.
const char* const EXAMPLE_GENOME = "ATGAAATAATTAGGGCATCCCTTACCCCCC";
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

class PreprocessTest : public testutil::TempDirTest {
 protected:
  int preprocess(const std::string& input) {
    write_file("genome.fna", input);
    return preprocess_genome(std::fopen("genome.fna", "r"), "genome.fna");
  }
};

TEST_F(PreprocessTest, NormalisesTheSequence) {
  const struct {
    const char* name;
    std::string input, processed;
  } cases[] = {
      {"upper-cased; carriage returns, blanks, tabs dropped", ">h\r\nAC GT\r\nac\tgt\r\n", "ACGTACGT"},
      {"ambiguity letters and X kept", ">h\nACNNRY\nnx\n", "ACNNRYNX"},
      {"header without line end before the end of a line", ">h\r\nA", "A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(preprocess(c.input), 0) << c.name;
    EXPECT_EQ(read_file(PROCESSED_GENOME), c.processed) << c.name;
  }
  const std::pair<std::string, const char*> refused[] = {
      {">a\r\nACGT\r\n\r\n>b\r\n", "second header begins on line 4"},
      {">h\nAC>G\n", "line 2 holds '>'"},
      {"ACGT\nTTTT\n", "does not begin with a '>'"},
      {">h\nAC\xC3\xA9\n", "line 2 holds byte 0xC3"},
  };
  for (const auto& [input, reason] : refused)
    testutil::expect_error([&, &input = input] { preprocess(input); }, {"'genome.fna'", reason}, input);
}

class ExportTest : public testutil::TempDirTest {};

// Each exporter (their records are checked by the byte-identity runs):
// pairs outside the genome name the list and the genome; a missing list
// is named and still creates the output.
TEST_F(ExportTest, PairsOutsideTheGenomeAndMissingListsAreRefused) {
  const struct {
    int (*run)();
    const char* pairs;
    const char* output;
  } exporters[] = {{generate_longest_orf_input, PREDICTION_ORFS, LONGEST_ORF_SEQUENCES},
                   {generate_talvisca_Seq, SIGNAL, TALVISCA_SEQ},
                   {generate_stddev_Seq, SIGNAL66GENES, STDDEV_SEQ}};
  write_file(PROCESSED_GENOME, EXAMPLE_GENOME);
  for (const auto& x : exporters) {
    write_file(x.pairs, "1 9\n2 31\n");
    testutil::expect_error(x.run, {x.pairs, PROCESSED_GENOME}, x.pairs);
    std::remove(x.pairs);
    EXPECT_EQ(testutil::expect_missing_input(x.run, x.pairs), "files:generate_input\n") << x.pairs;
    EXPECT_EQ(read_file(x.output), "") << x.pairs;
  }
  write_file(PREDICTION_ORFS, "1 9\n5\n");
  testutil::expect_error(generate_longest_orf_input, {PREDICTION_ORFS}, "cut short");
}
