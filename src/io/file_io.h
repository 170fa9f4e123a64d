// Small RAII wrapper over C stdio streams and the error type of the library.
//
// Stages write their text formats with fprintf/putc on the FILE* of a File.
// Every output is closed through close_output(), which turns a write error
// (full disk, quota, file-size limit) into an Error naming the file, so a
// short file can never pass for a complete one.
//
// Every output ("w", "w+", "wb" modes) is opened by one helper: never through
// a symbolic link (O_NOFOLLOW), and through a stream that keeps the errno of
// its first failed write, so the error is reported as it was (ENOSPC, EFBIG)
// whatever ran in between.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace codonspace {

// A failure that stops the run; what() is a complete, user-facing sentence
// that names the file involved.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "'name': reason" with the system's text for errno value err.
std::string file_reason(const std::string& name, int err);

namespace detail {
struct OutputState;  // the descriptor and first errno of an output stream
}  // namespace detail

class File {
 public:
  File() = default;
  // Opens name with the given stdio mode; on failure is_open() is false and
  // open_error() holds the errno of the failed open. An output mode creates
  // or empties the file and fails with ELOOP when name is a symbolic link.
  File(std::string name, const char* mode);
  // The same with a stream buffer of buffer_size bytes, for large files.
  File(std::string name, const char* mode, size_t buffer_size);
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool is_open() const { return fp_ != nullptr; }
  FILE* get() const { return fp_; }
  const std::string& name() const { return name_; }
  int open_error() const { return open_errno_; }

  // The errno of the stream's first failed write or close, or 0.
  int write_error() const;

  // Throws Error if the stream has seen a read error.
  void check_read() const;
  // Throws Error if the stream has seen a write error (cheap; for loops).
  void check_write() const;
  // Flushes and closes an output stream; throws Error on any write error.
  void close_output();
  // Closes without checking (inputs, or outputs being abandoned).
  void close() noexcept;

 private:
  // Opens an output through the descriptor helper; false for other modes.
  bool open_output(const char* mode);
  // The errno to report for a failed write: the saved one, else fallback.
  int reported_error(int fallback) const;

  FILE* fp_ = nullptr;
  std::string name_;
  int open_errno_ = 0;
  std::unique_ptr<detail::OutputState> output_;  // outlives fp_: close() runs first
  std::unique_ptr<char[]> buffer_;  // outlives fp_: close() runs first
};

// The check of a stage's files, which the stage opens all first (outputs
// are created even when an input is missing). When one did not open:
// prints the stage's own message, if any, on standard output and throws
// Error "cannot open 'name': reason" for every file that did not open.
void require_open(std::initializer_list<const File*> files, const char* stage_message = nullptr);

// Reads whitespace-separated integers the way "%ld" does, but tells a clean
// end of input from damaged data.
class Scanner {
 public:
  explicit Scanner(const File& file) : file_(file) {}
  // Skips white space and reads one integer into value. Returns false at the
  // end of input; throws Error on text that is not an integer.
  bool next_long(long& value);
  // Reads a pair b1 b2; false at a clean end of input, Error on a lone value.
  bool next_pair(long& b1, long& b2);
  // Skips white space and reads one whitespace-delimited word; false at end.
  bool next_word(std::string& word);
  // Reads one word and converts it like "%f"; false at end of input, Error
  // on a malformed number. Infinities and not-a-number ("nan", "-nan", as
  // printf writes them) are malformed unless allow_non_finite is set.
  bool next_float(float& value, bool allow_non_finite = false);

 private:
  // Skips white space; returns the first other character, or EOF.
  int skip_space();
  const File& file_;
};

// Copies a file byte for byte; throws Error naming the file that cannot be
// read or written.
void copy_file(const std::string& from, const std::string& to);

// Reads one whole line, its line end included when there is one, into line.
// Returns false (line empty) at the end of input; throws Error on a read
// error.
bool read_line(const File& file, std::string& line);

}  // namespace codonspace
