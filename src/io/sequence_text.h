// How the genome readers treat the bytes of a sequence line, and how their
// error messages show a byte.
#pragma once

#include <cctype>
#include <cstdio>
#include <string>

namespace codonspace {

namespace detail {
// Per byte of a sequence line: the upper-case letter for a letter, 1 for
// layout (carriage return, blank, tab), 0 for anything else.
struct SequenceChars {
  char upper[256];
  constexpr SequenceChars() : upper() {
    for (int c = 0; c < 256; ++c) {
      if (c >= 'a' && c <= 'z')
        upper[c] = static_cast<char>(c - 'a' + 'A');
      else if (c >= 'A' && c <= 'Z')
        upper[c] = static_cast<char>(c);
      else
        upper[c] = c == '\r' || c == ' ' || c == '\t' ? 1 : 0;
    }
  }
};
}  // namespace detail
inline constexpr detail::SequenceChars kSequenceChar{};

// A printable character in quotes ('x'), anything else as "byte 0xNN".
inline std::string printable(unsigned char c) {
  if (std::isprint(c)) return std::string("'") + static_cast<char>(c) + "'";
  char buf[16];
  std::snprintf(buf, sizeof buf, "byte 0x%02X", c);
  return buf;
}

}  // namespace codonspace
