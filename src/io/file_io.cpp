#include "io/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "io/decimal_parse.h"

namespace codonspace {

std::string file_reason(const std::string& name, int err) {
  return "'" + name + "': " + std::strerror(err);
}

namespace detail {
struct OutputState {
  int fd = -1;
  int first_error = 0;  // errno of the first failed write or close
};
}  // namespace detail

namespace {
using detail::OutputState;

// The stream functions of an output: plain descriptor calls that keep the
// errno of the first failure, since later library calls may reset errno
// before the stream's error is reported.
ssize_t output_read(void* cookie, char* buf, size_t size) {
  return ::read(static_cast<OutputState*>(cookie)->fd, buf, size);
}

// The largest single write: a large stream buffer is flushed in pieces of
// this size. Writing a new file in 1 MB writes took about ten times the
// system time of the same bytes in writes of 512 kB or less (Linux 6.18,
// ext4; the kernel gives a large write large page-cache folios, which cost
// more to allocate), and the working files run to hundreds of megabytes.
constexpr size_t kMaxWrite = 256 * 1024;

ssize_t output_write(void* cookie, const char* buf, size_t size) {
  auto* out = static_cast<OutputState*>(cookie);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(out->fd, buf + done, std::min(size - done, kMaxWrite));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (out->first_error == 0) out->first_error = n < 0 ? errno : EIO;
      errno = out->first_error;
      // A short count (never a negative one) marks the stream's error.
      return static_cast<ssize_t>(done);
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

int output_seek(void* cookie, off64_t* offset, int whence) {
  const off64_t at = ::lseek64(static_cast<OutputState*>(cookie)->fd, *offset, whence);
  if (at < 0) return -1;
  *offset = at;
  return 0;
}

int output_close(void* cookie) {
  auto* out = static_cast<OutputState*>(cookie);
  if (::close(out->fd) != 0) {
    if (out->first_error == 0) out->first_error = errno;
    return -1;
  }
  return 0;
}
}  // namespace

bool File::open_output(const char* mode) {
  const std::string m = mode;
  if (m != "w" && m != "wb" && m != "w+" && m != "wb+" && m != "w+b") return false;
  const bool update = m.find('+') != std::string::npos;
  errno = 0;
  const int fd =
      ::open(name_.c_str(), (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    open_errno_ = errno != 0 ? errno : EINVAL;
    return true;
  }
  output_ = std::make_unique<OutputState>();
  output_->fd = fd;
  const cookie_io_functions_t functions = {output_read, output_write, output_seek, output_close};
  fp_ = fopencookie(output_.get(), update ? "w+" : "w", functions);
  if (fp_ == nullptr) {
    open_errno_ = errno != 0 ? errno : ENOMEM;
    ::close(fd);
    output_.reset();
  }
  return true;
}

File::File(std::string name, const char* mode) : name_(std::move(name)) {
  if (open_output(mode)) return;
  errno = 0;
  fp_ = std::fopen(name_.c_str(), mode);
  if (fp_ == nullptr) open_errno_ = errno != 0 ? errno : EINVAL;
}

int File::write_error() const { return output_ != nullptr ? output_->first_error : 0; }

int File::reported_error(int fallback) const {
  if (write_error() != 0) return write_error();
  return fallback != 0 ? fallback : EIO;
}

File::File(std::string name, const char* mode, size_t buffer_size) : File(std::move(name), mode) {
  if (fp_ != nullptr && buffer_size > 0) {
    buffer_ = std::make_unique<char[]>(buffer_size);
    std::setvbuf(fp_, buffer_.get(), _IOFBF, buffer_size);
  }
}

File::~File() { close(); }

File::File(File&& other) noexcept
    : fp_(std::exchange(other.fp_, nullptr)),
      name_(std::move(other.name_)),
      open_errno_(other.open_errno_),
      output_(std::move(other.output_)),
      buffer_(std::move(other.buffer_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    fp_ = std::exchange(other.fp_, nullptr);
    name_ = std::move(other.name_);
    open_errno_ = other.open_errno_;
    output_ = std::move(other.output_);
    buffer_ = std::move(other.buffer_);
  }
  return *this;
}

void File::close() noexcept {
  if (fp_ != nullptr) {
    std::fclose(fp_);
    fp_ = nullptr;
  }
}

void File::check_read() const {
  if (fp_ != nullptr && std::ferror(fp_)) {
    int err = errno != 0 ? errno : EIO;
    throw Error("cannot read " + file_reason(name_, err));
  }
}

void File::check_write() const {
  if (fp_ != nullptr && std::ferror(fp_)) throw Error("cannot write " + file_reason(name_, reported_error(errno)));
}

void File::close_output() {
  if (fp_ == nullptr) return;
  bool failed = std::ferror(fp_) != 0;
  int err = 0;
  if (std::fflush(fp_) != 0) {
    failed = true;
    err = errno;
  }
  if (std::fclose(fp_) != 0 && !failed) {
    failed = true;
    err = errno;
  }
  fp_ = nullptr;
  if (failed) throw Error("cannot write " + file_reason(name_, reported_error(err)));
}

void require_open(std::initializer_list<const File*> files, const char* stage_message) {
  std::string failed;
  for (const File* f : files)
    if (!f->is_open()) failed += (failed.empty() ? "cannot open " : "; cannot open ") + file_reason(f->name(), f->open_error());
  if (failed.empty()) return;
  if (stage_message != nullptr) {
    std::printf("%s\n", stage_message);
    std::fflush(stdout);
  }
  throw Error(failed);
}

namespace {
bool is_space(int c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
}  // namespace

int Scanner::skip_space() {
  FILE* fp = file_.get();
  int c;
  do c = getc_unlocked(fp);
  while (c != EOF && is_space(c));
  if (c == EOF) file_.check_read();
  return c;
}

bool Scanner::next_word(std::string& word) {
  FILE* fp = file_.get();
  int c = skip_space();
  if (c == EOF) return false;
  word.clear();
  while (c != EOF && !is_space(c)) {
    word.push_back(static_cast<char>(c));
    c = getc_unlocked(fp);
  }
  if (c == EOF) file_.check_read();
  return true;
}

bool Scanner::next_long(long& value) {
  FILE* fp = file_.get();
  int c = skip_space();
  if (c == EOF) return false;
  bool negative = false;
  if (c == '-' || c == '+') {
    negative = c == '-';
    c = getc_unlocked(fp);
  }
  if (c < '0' || c > '9') throw Error("'" + file_.name() + "': malformed number (expected an integer)");
  long v = 0;
  while (c >= '0' && c <= '9') {
    if (v > (__LONG_MAX__ - (c - '0')) / 10)
      throw Error("'" + file_.name() + "': integer out of range");
    v = v * 10 + (c - '0');
    c = getc_unlocked(fp);
  }
  if (c != EOF && !is_space(c)) throw Error("'" + file_.name() + "': malformed number (expected an integer)");
  if (c == EOF) file_.check_read();
  value = negative ? -v : v;
  return true;
}

bool Scanner::next_pair(long& b1, long& b2) {
  if (!next_long(b1)) return false;
  if (!next_long(b2)) throw Error("'" + file_.name() + "': a boundary pair is cut short at the end of the file");
  return true;
}

bool Scanner::next_float(float& value, bool allow_non_finite) {
  std::string word;
  if (!next_word(word)) return false;
  // A plain decimal ("%f" output) is read exactly without strtof.
  if (plain_decimal(word.data(), word.size(), value)) return true;
  errno = 0;
  char* end = nullptr;
  float v = std::strtof(word.c_str(), &end);
  if (end == word.c_str() || *end != '\0' || (!allow_non_finite && !std::isfinite(v)))
    throw Error("'" + file_.name() + "': malformed number '" + word + "'");
  value = v;
  return true;
}

void copy_file(const std::string& from, const std::string& to) {
  File in(from, "rb");
  if (!in.is_open()) throw Error("cannot open " + file_reason(from, in.open_error()));
  File out(to, "wb");
  if (!out.is_open()) throw Error("cannot create " + file_reason(to, out.open_error()));
  char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, in.get())) > 0) std::fwrite(buf, 1, n, out.get());
  in.check_read();
  out.close_output();
}

bool read_line(const File& file, std::string& line) {
  line.clear();
  FILE* fp = file.get();
  int c;
  while ((c = getc_unlocked(fp)) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') return true;
  }
  file.check_read();
  return !line.empty();
}

}  // namespace codonspace
