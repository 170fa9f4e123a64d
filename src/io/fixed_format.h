// Fast, exact replacements for printf's "%ld" and "%f" in the stages that
// write hundreds of thousands of lines. The result is byte-identical to
// printf in the C locale (round half to even on the exact binary value).
#pragma once

#include <cstddef>

namespace codonspace {

// Appends the decimal text of v at out; returns the number of characters.
size_t format_long(long v, char* out);
// Appends v as "%f" would print it (six decimals); returns the number of
// characters written (at most 340).
size_t format_fixed6(double v, char* out);

}  // namespace codonspace
