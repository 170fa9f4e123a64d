#include "io/fixed_format.h"

#include <cmath>
#include <cstdio>
#include <cstdint>

namespace codonspace {

namespace {
__extension__ typedef unsigned __int128 uint128;
}  // namespace

size_t format_long(long v, char* out) {
  char tmp[24];
  size_t n = 0;
  unsigned long u = v < 0 ? 0UL - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
  do {
    tmp[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  size_t k = 0;
  if (v < 0) out[k++] = '-';
  while (n > 0) out[k++] = tmp[--n];
  return k;
}

size_t format_fixed6(double v, char* out) {
  // v = mant * 2^exp exactly; v * 10^6 is then formed in 128-bit integers
  // and rounded half to even, which is what printf does.
  int exp = 0;
  const double frac = std::frexp(std::fabs(v), &exp);
  if (!std::isfinite(v) || exp > 40) return static_cast<size_t>(std::snprintf(out, 340, "%f", v));
  const auto mant = static_cast<uint64_t>(std::ldexp(frac, 53));  // exact: 53-bit integer
  const int shift = 53 - exp;                                      // v = mant / 2^shift
  const uint128 scaled = static_cast<uint128>(mant) * 1000000U;
  uint64_t q = 0;
  if (shift <= 0) {
    q = static_cast<uint64_t>(scaled << -shift);
  } else if (shift < 120) {
    q = static_cast<uint64_t>(scaled >> shift);
    const uint128 rest = scaled - (static_cast<uint128>(q) << shift);
    const uint128 half = static_cast<uint128>(1) << (shift - 1);
    if (rest > half || (rest == half && (q & 1U) != 0)) ++q;
  }
  size_t k = 0;
  if (std::signbit(v)) out[k++] = '-';
  k += format_long(static_cast<long>(q / 1000000U), out + k);
  out[k++] = '.';
  uint64_t f = q % 1000000U;
  for (int i = 5; i >= 0; --i) {
    out[k + static_cast<size_t>(i)] = static_cast<char>('0' + f % 10);
    f /= 10;
  }
  return k + 6;
}

}  // namespace codonspace
