#include "io/compressed_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/file_io.h"

namespace codonspace {

namespace {
constexpr size_t kInputChunk = 1 << 17;

struct Refused {
  const char* name;
  const char* tool;  // decompresses in place: "xz -d FILE"
};

Refused refused_format(Compression c) {
  switch (c) {
    case Compression::bzip2: return {"bzip2", "bzip2 -d"};
    case Compression::xz: return {"xz", "xz -d"};
    case Compression::zstd: return {"zstd", "zstd -d"};
    default: return {"", ""};
  }
}
}  // namespace

Compression detect_compression(const unsigned char* h, size_t n) {
  if (n >= 2 && h[0] == 0x1f && h[1] == 0x8b) return Compression::gzip;
  if (n >= 6 && std::memcmp(h, "\xFD" "7zXZ\0", 6) == 0) return Compression::xz;
  if (n >= 4 && h[0] == 'B' && h[1] == 'Z' && h[2] == 'h' && h[3] >= '1' && h[3] <= '9') return Compression::bzip2;
  if (n >= 4 && h[0] == 0x28 && h[1] == 0xb5 && h[2] == 0x2f && h[3] == 0xfd) return Compression::zstd;
  return Compression::none;
}

DecompressingReader::DecompressingReader(FILE* fp, std::string display_name)
    : fp_(fp), name_(std::move(display_name)), in_(kInputChunk) {}

DecompressingReader::~DecompressingReader() {
  if (zs_) inflateEnd(zs_.get());
}

void DecompressingReader::damaged(const std::string& reason) const {
  throw Error(name_ + " is a damaged gzip stream (" + reason + ")");
}

bool DecompressingReader::fill() {
  if (in_pos_ < in_end_) {
    // Keep the unread bytes at the front.
    std::memmove(in_.data(), in_.data() + in_pos_, in_end_ - in_pos_);
  }
  consumed_ += in_pos_;
  in_end_ -= in_pos_;
  in_pos_ = 0;
  if (at_eof_ || in_end_ == in_.size()) return in_end_ > 0;
  errno = 0;
  const size_t want = in_.size() - in_end_;
  const size_t got = std::fread(in_.data() + in_end_, 1, want, fp_);
  in_end_ += got;
  if (got < want) {
    if (std::ferror(fp_)) {
      const int err = errno != 0 ? errno : EIO;
      throw Error("cannot read " + name_ + ": " + std::strerror(err));
    }
    at_eof_ = true;
  }
  return in_end_ > 0;
}

size_t DecompressingReader::read(char* buf, size_t size) {
  if (!started_) {
    started_ = true;
    // Enough bytes to tell every format apart (a short input has fewer).
    while (in_end_ < 6 && !at_eof_) {
      const size_t before = in_end_;
      fill();
      if (in_end_ == before) break;
    }
    compression_ = detect_compression(in_.data(), in_end_);
    const Refused r = refused_format(compression_);
    if (*r.name != '\0')
      throw Error(name_ + " is " + r.name + "-compressed, which is not read; decompress it first (" + r.tool +
                  " FILE) or give it gzip-compressed or plain");
    if (compression_ == Compression::gzip) {
      zs_ = std::make_unique<z_stream>();
      std::memset(zs_.get(), 0, sizeof(z_stream));
      if (inflateInit2(zs_.get(), 16 + MAX_WBITS) != Z_OK) throw Error("out of memory while reading " + name_);
      member_open_ = true;
    }
  }
  if (compression_ == Compression::gzip) return read_gzip(buf, size);
  if (in_pos_ == in_end_ && !fill()) return 0;
  const size_t n = std::min(size, in_end_ - in_pos_);
  std::memcpy(buf, in_.data() + in_pos_, n);
  in_pos_ += n;
  return n;
}

size_t DecompressingReader::read_gzip(char* buf, size_t size) {
  z_stream& zs = *zs_;
  size = std::min<size_t>(size, 1U << 30);
  for (;;) {
    if (!member_open_) {
      // A member has ended: the input ends here or another member follows.
      if (in_end_ - in_pos_ < 2) fill();
      if (in_pos_ == in_end_) return 0;
      const unsigned char* p = in_.data() + in_pos_;
      if (in_end_ - in_pos_ < 2 || p[0] != 0x1f || p[1] != 0x8b)
        throw Error(name_ + " holds data after the end of its gzip stream that is not a gzip member (at byte " +
                    std::to_string(consumed_ + in_pos_) + " of the compressed file); the file is damaged "
                    "or was joined from unlike parts");
      if (inflateReset(&zs) != Z_OK) damaged("cannot start the next member");
      member_open_ = true;
    }
    if (in_pos_ == in_end_ && !fill()) damaged("unexpected end of file");
    zs.next_in = in_.data() + in_pos_;
    zs.avail_in = static_cast<uInt>(in_end_ - in_pos_);
    zs.next_out = reinterpret_cast<Bytef*>(buf);
    zs.avail_out = static_cast<uInt>(size);
    const int rc = inflate(&zs, Z_NO_FLUSH);
    in_pos_ = in_end_ - zs.avail_in;
    const size_t produced = size - zs.avail_out;
    if (rc == Z_STREAM_END) {
      member_open_ = false;
    } else if (rc == Z_MEM_ERROR) {
      throw Error("out of memory while reading " + name_);
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
      damaged(zs.msg != nullptr ? zs.msg : "invalid data");
    } else if (rc == Z_BUF_ERROR && produced == 0 && zs.avail_in > 0) {
      damaged("no progress");
    }
    if (produced > 0) return produced;
  }
}

}  // namespace codonspace
