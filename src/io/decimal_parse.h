// Exact, fast reading of the plain decimals the stages print with "%f".
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace codonspace {

// The float strtof gives for a plain decimal word ("-"? digits, at most one
// ".", at most 6 decimals, at most 15 digits), or false for any other word.
// N / 10^k is formed exactly rounded in double and then rounded to float;
// the two roundings give strtof's correctly rounded float unless the double
// lies exactly halfway between two floats (any other float boundary is at
// least one double step away, farther than the exact value can be), and
// that case is left to strtof.
inline bool plain_decimal(const char* w, size_t n, float& value) {
  static constexpr double kPowers[7] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  size_t i = 0;
  const bool negative = n > 0 && w[0] == '-';
  if (negative) i = 1;
  uint64_t number = 0;
  int digits = 0, decimals = 0;
  bool dot = false;
  for (; i < n; ++i) {
    const char c = w[i];
    if (c == '.' && !dot) {
      dot = true;
      continue;
    }
    if (c < '0' || c > '9' || ++digits > 15) return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
    if (dot) ++decimals;
  }
  if (digits == 0 || decimals > 6) return false;
  const double d = static_cast<double>(number) / kPowers[decimals];
  // The 29 bits of a double's significand below a float's: exactly
  // halfway when only their top bit is set (every value here is a normal
  // float or zero).
  constexpr uint64_t kLow = (uint64_t{1} << 29) - 1;
  if ((std::bit_cast<uint64_t>(d) & kLow) == (uint64_t{1} << 28)) return false;
  const float f = static_cast<float>(d);
  value = negative ? -f : f;
  return true;
}

}  // namespace codonspace
