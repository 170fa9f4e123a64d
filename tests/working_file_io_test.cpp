// The I/O under the working files: numbers written with the bytes of "%ld"
// and "%f" (rounding included) and read back by the Scanner, and ORFs cut
// out of a genome larger than the exporters' window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "io/file_io.h"
#include "io/fixed_format.h"
#include "stages/sequence_export.h"
#include "stages/stages.h"
#include "test_util.h"

using namespace codonspace;
using testutil::read_file;
using testutil::write_file;

TEST(FixedFormat, MatchesPrintf) {
  // Ties (which round to even), signed zeros, tiny and huge values, and a
  // sweep of binary fractions and float quotients.
  std::vector<double> values = {0.0,   -0.0,    1.0 / 128, 3.0 / 128, -1.0 / 128, 0.0000005, -0.0000005, 0.0000015,
                                -1e-9, 1e-300, 0.9999995, 0.99999949999, 999999.5, 1e20, DBL_MAX, DBL_MIN,
                                std::ldexp(1.0, -70), 0.156174f, -0.937043f, 1.0f / 3.0f};
  for (int i = -5000; i <= 5000; ++i) {
    values.push_back(i / 4096.0);
    values.push_back(static_cast<double>(static_cast<float>(i)) / 7.3f);
  }
  char buf[400], ref[400];
  for (double v : values) {
    std::snprintf(ref, sizeof ref, "%f", v);
    ASSERT_EQ(std::string(buf, format_fixed6(v, buf)), ref) << v;
  }
  for (long v : {0L, -1L, 9L, 10L, -10L, LONG_MAX, LONG_MIN}) {
    std::snprintf(ref, sizeof ref, "%ld", v);
    EXPECT_EQ(std::string(buf, format_long(v, buf)), ref) << v;
  }
}

class WorkingFileIoTest : public testutil::TempDirTest {};

// Every word next_float accepts gives strtof's float bit for bit, also
// where a plain decimal is read without strtof: ties that only strtof
// resolves, "%f" texts of a run of six-decimal values and of random floats.
TEST_F(WorkingFileIoTest, ScannerFloatsAreStrtofs) {
  std::vector<std::string> words = {"-0.000000", "3.499999", "91.666664", "100", "-2.25", ".5", "5.", "1e3",
                                    "2.5E-2", "0.1234567", "123456789012345", "1234567890123456", "16777217",
                                    "16777219", "16777217.000001", "3.4028235e38", "+4.5", "0.33333334"};
  char text[64];
  for (long n = 0; n < 300000; ++n) {
    std::snprintf(text, sizeof text, "%ld.%06ld", n * 7919 / 1000000, n * 7919 % 1000000);
    words.emplace_back(text);
  }
  std::mt19937 rng(5);
  for (int i = 0; i < 300000; ++i) {
    const uint32_t bits = rng();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v) || std::fabs(v) > 1e8f) continue;
    std::snprintf(text, sizeof text, "%f", static_cast<double>(v));
    words.emplace_back(text);
  }
  std::string all;
  for (const auto& w : words) all += w + (all.size() % 3 == 0 ? "\n" : " \t");
  write_file("numbers", all + "nan -nan 1..5");
  File in("numbers", "r");
  Scanner scanner(in);
  float v = 0.0f;
  for (const auto& w : words) {
    ASSERT_TRUE(scanner.next_float(v)) << w;
    const float expected = std::strtof(w.c_str(), nullptr);
    ASSERT_EQ(std::memcmp(&v, &expected, sizeof v), 0) << w << ": " << v << " != " << expected;
  }
  // Not-a-number keeps its sign where allowed and is refused elsewhere.
  ASSERT_TRUE(scanner.next_float(v, true));
  EXPECT_TRUE(std::isnan(v) && !std::signbit(v));
  ASSERT_TRUE(scanner.next_float(v, true));
  EXPECT_TRUE(std::isnan(v) && std::signbit(v));
  testutil::expect_error([&] { scanner.next_float(v); }, {"'numbers'", "1..5"});
}

// ORFs of a genome several times the reader's window, in scan order (the
// window moves on) and out of it (the reader seeks back), on both strands,
// with long and short complementary ORFs alternating in the reader's
// reverse-complement buffer.
TEST_F(WorkingFileIoTest, OrfsOfAGenomeLargerThanTheWindow) {
  std::string genome = testutil::random_bases(3500000, 11);
  genome.replace(1000, 6, "NRYacg");  // copied as they are, complemented to N
  write_file(PROCESSED_GENOME, genome);
  std::vector<std::pair<long, long>> pairs;
  for (long stop = 200; stop < static_cast<long>(genome.size()); stop += 9973) {
    const long length = stop % 3 == 0 ? 150000 : 30 + stop % 500;
    const long start = std::max(1L, stop - length);
    pairs.emplace_back(start, stop);      // direct strand
    pairs.emplace_back(stop, start);      // complementary strand
    pairs.emplace_back(stop - 5, stop - 7);  // a short complementary one after a long one
  }
  pairs.emplace_back(1, 3);  // back to the start
  pairs.emplace_back(static_cast<long>(genome.size()), static_cast<long>(genome.size()) - 100000);
  pairs.emplace_back(998, 1010);
  pairs.emplace_back(1010, 998);

  File in(PROCESSED_GENOME, "r");
  GenomeReader reader(in);
  EXPECT_EQ(reader.length(), static_cast<long>(genome.size()));
  std::vector<char> copy;
  for (const auto& [b1, b2] : pairs) {
    const long low = std::min(b1, b2), high = std::max(b1, b2);
    const std::string bases = genome.substr(static_cast<size_t>(low - 1), static_cast<size_t>(high - low + 1));
    const std::string expected = b1 < b2 ? bases : testutil::reverse_complement(bases);
    ASSERT_TRUE(reader.orf(b1, b2, "pairs") == expected) << b1 << " " << b2;
    reader.read_orf(b1, b2, "pairs", copy);
    ASSERT_TRUE(std::string(copy.begin(), copy.end()) == expected) << b1 << " " << b2;
  }
  testutil::expect_error([&] { reader.orf(0, 10, "pairs"); }, {"'pairs'", "0 10", "outside"});
  testutil::expect_error([&] { reader.orf(3499990, 3500001, "pairs"); }, {"'pairs'", "3500001", "outside"});
}
