#include "annotate/fasta.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "io/compressed_input.h"
#include "io/file_io.h"
#include "io/sequence_text.h"

namespace codonspace::annotate {

std::string input_display_name(const std::string& path) {
  return path == "-" ? "standard input" : "'" + path + "'";
}

void FastaParser::fail(const std::string& reason) const {
  throw Error(name_ + " is not a usable FASTA file: " + reason);
}

void FastaParser::end_header() {
  size_t b = 0;
  while (b < header_.size() && (header_[b] == ' ' || header_[b] == '\t')) ++b;
  size_t e = b;
  while (e < header_.size() && !std::isspace(static_cast<unsigned char>(header_[e]))) ++e;
  if (e == b) fail("the header on line " + std::to_string(line_) + " has no sequence name");
  FastaRecord r;
  r.id = header_.substr(b, e - b);
  r.line = line_;
  auto [it, inserted] = seen_.emplace(r.id, line_);
  if (!inserted)
    throw Error(name_ + " holds the sequence name '" + r.id + "' twice (headers on lines " +
                std::to_string(it->second) + " and " + std::to_string(line_) + "); names must be unique");
  if (expected_ > consumed_) {
    try {
      r.sequence.reserve(expected_ - consumed_);
    } catch (const std::bad_alloc&) {
      // no room at once: the sequence grows as its lines come
    }
  }
  records_.push_back(std::move(r));
  header_.clear();
  in_header_ = false;
}

void FastaParser::end_record() {
  if (records_.empty()) return;
  std::string& seq = records_.back().sequence;
  if (seq.empty())
    fail("the record '" + records_.back().id + "' (line " + std::to_string(records_.back().line) + ") has no bases");
  // The room for the rest of the input that the record did not take.
  if (seq.capacity() - seq.size() > seq.size() / 8 + 4096) seq.shrink_to_fit();
}

void FastaParser::feed(const char* data, size_t size) {
  if (size > 0) any_byte_ = true;
  size_t i = 0;
  while (i < size) {
    if (in_header_) {
      const char* nl = static_cast<const char*>(std::memchr(data + i, '\n', size - i));
      const size_t end = nl != nullptr ? static_cast<size_t>(nl - data) : size;
      header_.append(data + i, end - i);
      i = end;
      if (nl == nullptr) break;
      if (!header_.empty() && header_.back() == '\r') header_.pop_back();
      consumed_ = fed_ + i;
      end_header();
      ++line_;
      line_start_ = true;
      ++i;
      continue;
    }
    if (line_start_ && data[i] == '>') {
      end_record();
      in_header_ = true;
      line_start_ = false;
      ++i;
      continue;
    }
    // Sequence text up to the end of the line: letters kept (upper case),
    // layout dropped, anything else refused.
    const char* nl = static_cast<const char*>(std::memchr(data + i, '\n', size - i));
    const size_t begin = i;
    const size_t end = nl != nullptr ? static_cast<size_t>(nl - data) : size;
    if (records_.empty()) {
      for (; i < end; ++i)
        if (kSequenceChar.upper[static_cast<unsigned char>(data[i])] != 1)
          fail("line " + std::to_string(line_) + " comes before the first '>' header line");
    } else {
      std::string& seq = records_.back().sequence;
      const size_t old_size = seq.size();
      seq.resize(old_size + (end - i));
      char* out = seq.data() + old_size;
      for (; i < end; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        const char u = kSequenceChar.upper[c];
        if (u > 1) {
          *out++ = u;
        } else if (u == 0) {
          seq.resize(static_cast<size_t>(out - seq.data()));
          fail("line " + std::to_string(line_) + " of the record '" + records_.back().id + "' holds " +
               printable(c) + ", which is not a base letter");
        }
      }
      seq.resize(static_cast<size_t>(out - seq.data()));
    }
    if (end > begin) line_start_ = false;
    if (nl != nullptr) {
      ++line_;
      line_start_ = true;
      i = end + 1;
    }
  }
  fed_ += size;
}

std::vector<FastaRecord> FastaParser::finish() {
  if (in_header_) {
    if (!header_.empty() && header_.back() == '\r') header_.pop_back();
    end_header();
  }
  if (records_.empty()) throw Error(name_ + (any_byte_ ? " holds no FASTA record" : " is empty"));
  end_record();
  return std::move(records_);
}

std::vector<FastaRecord> read_fasta(const std::string& path, const std::function<void()>& poll) {
  const std::string name = input_display_name(path);
  FILE* fp = stdin;
  std::unique_ptr<FILE, int (*)(FILE*)> closer(nullptr, std::fclose);
  if (path != "-") {
    errno = 0;
    fp = std::fopen(path.c_str(), "rb");
    if (fp == nullptr) throw Error("cannot open " + file_reason(path, errno != 0 ? errno : ENOMEM));
    closer.reset(fp);
  }
  // Plain or gzip content, told by its first bytes.
  DecompressingReader reader(fp, name);
  FastaParser parser(name);
  struct stat st;
  const bool sized = fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode);
  bool hinted = false;
  std::vector<char> buf(1 << 18);
  for (;;) {
    if (poll) poll();
    size_t n = 0;
    try {
      n = reader.read(buf.data(), buf.size());
    } catch (const Error&) {
      if (poll) poll();
      throw;
    }
    if (n == 0) break;
    // The content's size is the file's when it is a plain file.
    if (!hinted && sized && reader.compression() == Compression::none)
      parser.expect_bytes(static_cast<size_t>(st.st_size));
    hinted = true;
    parser.feed(buf.data(), n);
  }
  return parser.finish();
}

}  // namespace codonspace::annotate
