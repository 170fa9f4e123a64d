// The number formatting of the vector stage must give the bytes of "%ld"
// and "%f", rounding included.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <vector>

#include "io/fixed_format.h"

using namespace codonspace;

TEST(FixedFormat, MatchesPrintfOnEdgeValues) {
  const double cases[] = {0.0,       -0.0,       1.0,        -1.0,      0.333333f,  0.666667f, 1.0 / 128,
                          3.0 / 128, -1.0 / 128, 5.0 / 128,  0.0000005, -0.0000005, 0.0000015, 1e-7,
                          -1e-9,     1e-300,     0.9999995,  0.99999949999, 999999.5, 123456.25, 1e12,
                          -1e12,     1099511627776.0 * 4,    1e20,      DBL_MAX,    DBL_MIN,   std::ldexp(1.0, -70),
                          2.5e-7,    0.156174f,  -0.937043f, 1.0f / 3.0f};
  std::vector<double> values(std::begin(cases), std::end(cases));
  // A sweep of binary fractions (many exact ties) and float quotients.
  for (int i = -5000; i <= 5000; ++i) {
    values.push_back(i / 4096.0);
    values.push_back(static_cast<double>(static_cast<float>(i)) / 7.3f);
  }
  for (double v : values) {
    char buf[400], ref[400];
    std::snprintf(ref, sizeof ref, "%f", v);
    ASSERT_EQ(std::string(buf, format_fixed6(v, buf)), ref) << v;
  }
  // Ties round to even; the sign of zero is kept.
  const std::pair<double, const char*> exact[] = {
      {1.0 / 128, "0.007812"}, {3.0 / 128, "0.023438"}, {-0.0, "-0.000000"}, {-1e-9, "-0.000000"}};
  for (const auto& [v, text] : exact) {
    char buf[400];
    EXPECT_EQ(std::string(buf, format_fixed6(v, buf)), text) << v;
  }
}

TEST(FixedFormat, LongMatchesPrintf) {
  for (long v : {0L, 1L, -1L, 9L, 10L, -10L, 1234567890L, LONG_MAX, LONG_MIN}) {
    char buf[32], ref[32];
    std::snprintf(ref, sizeof ref, "%ld", v);
    EXPECT_EQ(std::string(buf, format_long(v, buf)), ref) << v;
  }
}
