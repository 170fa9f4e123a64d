// Reads a text file line by line into a growable buffer (getline: one
// buffer scan per line, no per-character calls): no length limit, and a last
// line without a line end is still a line.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string_view>
#include <sys/types.h>

#include "io/file_io.h"

namespace codonspace {

class LineReader {
 public:
  explicit LineReader(const File& file) : file_(file) {}
  ~LineReader() { std::free(buffer_); }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Reads the next line (without its line end) into line and counts it.
  // Returns false at the end of the file; throws Error on a read error.
  bool next(std::string_view& line) {
    const ssize_t n = ::getline(&buffer_, &capacity_, file_.get());
    if (n < 0) {
      file_.check_read();
      if (!std::feof(file_.get())) throw std::bad_alloc();  // getline could not grow its buffer
      return false;
    }
    size_t len = static_cast<size_t>(n);
    if (len > 0 && buffer_[len - 1] == '\n') --len;
    line = std::string_view(buffer_, len);
    ++number_;
    return true;
  }
  // Reads the next line with its line end, when it has one, into line. The
  // text is followed by a '\0' (at line.data()[line.size()]), so C parsers
  // stop where the line ends. Returns false at the end of the file; throws
  // Error on a read error.
  bool next_with_end(std::string_view& line) {
    const ssize_t n = ::getline(&buffer_, &capacity_, file_.get());
    if (n < 0) {
      file_.check_read();
      if (!std::feof(file_.get())) throw std::bad_alloc();
      return false;
    }
    line = std::string_view(buffer_, static_cast<size_t>(n));
    ++number_;
    return true;
  }
  // 1-based number of the line last read.
  long line_number() const { return number_; }

 private:
  const File& file_;
  char* buffer_ = nullptr;
  size_t capacity_ = 0;
  long number_ = 0;
};

}  // namespace codonspace
