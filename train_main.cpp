// codonspace-train: fits the trained tables of method 1 to one genome
// without annotation and writes a complete tables directory, OUTDIR/data,
// with which codonspace runs (cd OUTDIR && codonspace GENOME ...).
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "defaults.h"
#include "file_io.h"
#include "self_training.h"

namespace {

void usage(FILE* to) {
  std::fprintf(to,
               "usage: codonspace-train GENOME OUTDIR [--min-length N] [--starts ATG,GTG,...] [--tables DIR]\n"
               "  Fits the method-1 tables to GENOME (FASTA, one or more records) without annotation\n"
               "  and writes OUTDIR/data. Defaults: --min-length %d, --starts",
               codonspace::DEFAULT_MIN_LENGTH);
  const char* sep = " ";
  for (const char* s : codonspace::DEFAULT_START_CODONS) {
    std::fprintf(to, "%s%s", sep, s);
    sep = ",";
  }
  std::fprintf(to, ", --tables: the installed tables.\n");
}

// The shipped tables: <exe dir>/../share/codonspace/data when it exists,
// else the data directory of the source tree.
std::string default_tables() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path installed = exe.parent_path() / ".." / "share" / "codonspace" / "data";
    if (std::filesystem::is_directory(installed, ec)) return installed.lexically_normal().string();
  }
  return CODONSPACE_SOURCE_DATA_DIR;
}

// Records of a FASTA file as the genome intake reads them: '>' lines start a
// record, the sequence is upper-cased with line ends, carriage returns,
// blanks and tabs dropped. A first line that is not a header is skipped with
// a warning, as codonspace does.
std::vector<std::string> read_genome(const std::string& path) {
  codonspace::File f(path, "r");
  if (!f.is_open()) throw codonspace::Error("cannot open " + codonspace::file_reason(path, f.open_error()));
  std::vector<std::string> records;
  int c = std::getc(f.get());
  if (c != EOF && c != '>') {
    std::fprintf(stderr,
                 "codonspace-train: warning: '%s' does not begin with a '>' header line; its first line is "
                 "skipped as the header\n",
                 path.c_str());
    while (c != EOF && c != '\n') c = std::getc(f.get());
    records.emplace_back();
    if (c != EOF) c = std::getc(f.get());
  }
  bool line_start = true;
  for (; c != EOF; c = std::getc(f.get())) {
    if (line_start && c == '>') {
      while (c != EOF && c != '\n') c = std::getc(f.get());
      records.emplace_back();
      if (c == EOF) break;
      continue;  // c is the header's line end
    }
    line_start = c == '\n';
    if (c == '\n' || c == '\r' || c == ' ' || c == '\t') continue;
    records.back().push_back(static_cast<char>(std::toupper(c)));
  }
  f.check_read();
  size_t bases = 0;
  for (const std::string& r : records) bases += r.size();
  if (bases == 0) throw codonspace::Error("'" + path + "' holds no sequence");
  return records;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  codonspace::SelfTrainOptions options;
  std::string tables;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      usage(stdout);
      return 0;
    }
    if ((a == "--min-length" || a == "--starts" || a == "--tables") && i + 1 >= argc) {
      std::fprintf(stderr, "codonspace-train: %s needs a value\n", a.c_str());
      usage(stderr);
      return 1;
    }
    if (a == "--min-length") {
      char* end = nullptr;
      errno = 0;
      const long v = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || end == argv[i] || errno != 0 || v < 1 || v > 10000000) {
        std::fprintf(stderr, "codonspace-train: --min-length '%s' is not a length from 1 to 10000000\n", argv[i]);
        return 1;
      }
      options.min_length = static_cast<int>(v);
    } else if (a == "--starts") {
      const std::string list = argv[++i];
      size_t p = 0;
      while (p <= list.size()) {
        size_t q = list.find(',', p);
        if (q == std::string::npos) q = list.size();
        options.start_codons.push_back(list.substr(p, q - p));
        p = q + 1;
      }
    } else if (a == "--tables") {
      tables = argv[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "codonspace-train: unknown option '%s'\n", a.c_str());
      usage(stderr);
      return 1;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) {
    usage(stderr);
    return 1;
  }
  try {
    if (tables.empty()) tables = default_tables();
    const std::vector<std::string> records = read_genome(positional[0]);
    const std::string out = positional[1] + "/data";
    codonspace::self_train(records, tables, out, options);
    std::fprintf(stderr, "codonspace-train: wrote %s\n", out.c_str());
  } catch (const codonspace::Error& e) {
    std::fprintf(stderr, "codonspace-train: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "codonspace-train: %s\n", e.what());
    return 1;
  }
  return 0;
}
