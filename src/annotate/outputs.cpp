#include "annotate/outputs.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace codonspace::annotate {

namespace fs = std::filesystem;

namespace {

bool iends_with(const std::string& s, const char* ext) {
  const size_t n = std::strlen(ext);
  if (s.size() <= n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != ext[i]) return false;
  return true;
}

}  // namespace

void refuse_input_as_output(const std::string& input, const std::vector<std::string>& outputs) {
  struct stat in;
  if (input == "-" || stat(input.c_str(), &in) != 0) return;
  for (const std::string& out : outputs) {
    struct stat o;
    if (stat(out.c_str(), &o) == 0 && o.st_dev == in.st_dev && o.st_ino == in.st_ino)
      throw Error("the output file '" + out + "' is the input genome '" + input +
                  "'; choose another output directory (-o) or prefix (-p)");
  }
}

size_t append_file(FILE* out, const std::string& out_name, const std::string& path) {
  File in(path, "r");
  if (!in.is_open()) throw Error("cannot open the worker result " + file_reason(path, in.open_error()));
  std::vector<char> buf(1 << 16);
  size_t lines = 0, n;
  while ((n = std::fread(buf.data(), 1, buf.size(), in.get())) > 0) {
    lines += static_cast<size_t>(std::count(buf.begin(), buf.begin() + static_cast<long>(n), '\n'));
    errno = 0;
    if (std::fwrite(buf.data(), 1, n, out) != n) throw Error("cannot write " + file_reason(out_name, errno != 0 ? errno : EIO));
  }
  in.check_read();
  return lines;
}

std::string default_prefix(const std::string& input) {
  if (input == "-") return "stdin";
  std::string name = fs::path(input).filename().string();
  auto strip = [&name](const char* ext) {
    if (!iends_with(name, ext)) return false;
    name = name.substr(0, name.size() - std::strlen(ext));
    return true;
  };
  strip(".gz");
  for (const char* ext : {".fna", ".fasta", ".fas", ".fa"})
    if (strip(ext)) break;
  return name;
}

std::vector<std::string> output_paths(const AnnotateOptions& options) {
  const std::string prefix = options.prefix.empty() ? default_prefix(options.input) : options.prefix;
  std::vector<std::string> paths;
  for (const char* ext : OUTPUT_EXTENSIONS) paths.push_back((fs::path(options.outdir) / (prefix + ext)).string());
  return paths;
}

}  // namespace codonspace::annotate
