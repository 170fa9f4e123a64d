// The number formatting of the vector stage must give the bytes of "%ld"
// and "%f", rounding included.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "io/fixed_format.h"

using namespace codonspace;

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
