// The number formatting of the vector stage must give the bytes of "%ld"
// and "%f", rounding included.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <random>

#include "fixed_format.h"

using namespace codonspace;

namespace {
std::string fixed6(double v) {
  char buf[400];
  return std::string(buf, format_fixed6(v, buf));
}
std::string printf_f(double v) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%f", v);
  return buf;
}
}  // namespace

TEST(FixedFormat, MatchesPrintfOnEdgeValues) {
  const double cases[] = {0.0,        -0.0,        1.0,       -1.0,      0.333333f,  0.666667f,
                          1.0 / 128,  3.0 / 128,   -1.0 / 128, 5.0 / 128, 0.0000005,  -0.0000005,
                          0.0000015,  1e-7,        -1e-9,     1e-300,    0.9999995,  0.99999949999,
                          999999.5,   123456.25,   1e12,      -1e12,     1099511627776.0 * 4,
                          1e20,       DBL_MAX,     DBL_MIN,   std::ldexp(1.0, -70), 2.5e-7};
  for (double v : cases) EXPECT_EQ(fixed6(v), printf_f(v)) << v;
  EXPECT_EQ(fixed6(1.0 / 128), "0.007812");  // a tie rounds to even
  EXPECT_EQ(fixed6(3.0 / 128), "0.023438");
  EXPECT_EQ(fixed6(-0.0), "-0.000000");
}

TEST(FixedFormat, MatchesPrintfOnUnitVectorQuotients) {
  // The stage prints float / float quotients in double, mostly in [-1, 1].
  std::mt19937 gen(12345);
  std::uniform_real_distribution<float> comp(-50.0f, 50.0f);
  for (int i = 0; i < 200000; ++i) {
    const float x = comp(gen), y = comp(gen), z = comp(gen);
    const float mod = std::sqrt(static_cast<float>(double(x) * x + double(y) * y + double(z) * z));
    for (float c : {x, y, z}) {
      const double q = static_cast<double>(c) / mod;
      ASSERT_EQ(fixed6(q), printf_f(q)) << c << " / " << mod;
    }
  }
  std::uniform_int_distribution<int> expo(-30, 45);
  for (int i = 0; i < 100000; ++i) {
    const double v = std::ldexp(std::uniform_real_distribution<double>(-1, 1)(gen), expo(gen));
    ASSERT_EQ(fixed6(v), printf_f(v)) << v;
  }
}

TEST(FixedFormat, LongMatchesPrintf) {
  for (long v : {0L, 1L, -1L, 9L, 10L, -10L, 1234567890L, LONG_MAX, LONG_MIN}) {
    char buf[32], ref[32];
    const size_t n = format_long(v, buf);
    std::snprintf(ref, sizeof ref, "%ld", v);
    EXPECT_EQ(std::string(buf, n), ref) << v;
  }
}
