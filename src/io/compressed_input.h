// Reading an input that may be compressed: the format is told by the first
// bytes of the content, never by the file name. Plain text and gzip (one or
// more members, as bgzip writes them) are read; xz, bzip2 and zstd are
// named and refused with the command that decompresses them.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace codonspace {

enum class Compression { none, gzip, bzip2, xz, zstd };

// The format whose magic bytes begin head (size bytes, fewer at a short input).
Compression detect_compression(const unsigned char* head, size_t size);

class DecompressingReader {
 public:
  // Reads fp (not closed here). display_name names the input in messages,
  // quoted as the user should see it ("'genome.fna'", "standard input").
  DecompressingReader(FILE* fp, std::string display_name);
  ~DecompressingReader();
  DecompressingReader(const DecompressingReader&) = delete;
  DecompressingReader& operator=(const DecompressingReader&) = delete;

  // Up to size bytes of content into buf; 0 at the end of the content.
  // Throws Error naming the input on a read error, a damaged or truncated
  // gzip stream, data after a gzip member that is not another member, or a
  // compression format that is not read.
  size_t read(char* buf, size_t size);
  // Known after the first read().
  Compression compression() const { return compression_; }

 private:
  bool fill();  // more raw input into in_; false at its end
  size_t read_gzip(char* buf, size_t size);
  [[noreturn]] void damaged(const std::string& reason) const;

  FILE* fp_;
  std::string name_;
  std::vector<unsigned char> in_;
  size_t in_pos_ = 0, in_end_ = 0;
  unsigned long long consumed_ = 0;  // raw bytes before in_[0]
  bool started_ = false, at_eof_ = false, member_open_ = false;
  Compression compression_ = Compression::none;
  std::unique_ptr<z_stream> zs_;
};

}  // namespace codonspace
