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

#include "annotate/fasta.h"
#include "defaults.h"
#include "file_io.h"
#include "self_training.h"

namespace {

void usage(FILE* to) {
  std::fprintf(to,
               "usage: codonspace-train GENOME OUTDIR [--min-length N] [--starts ATG,GTG,...] [--tables DIR]\n"
               "  Fits the method-1 tables to GENOME (FASTA, one or more records, plain or gzip) without annotation\n"
               "  and writes OUTDIR/data. Defaults: --min-length %d, --starts",
               codonspace::DEFAULT_MIN_LENGTH);
  const char* sep = " ";
  for (const char* s : codonspace::DEFAULT_START_CODONS) {
    std::fprintf(to, "%s%s", sep, s);
    sep = ",";
  }
  std::fprintf(to, ", --tables: the installed tables.\n");
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
    if (tables.empty()) tables = codonspace::default_tables_dir();
    std::vector<std::string> records;
    for (auto& r : codonspace::annotate::read_fasta(positional[0])) records.push_back(std::move(r.sequence));
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
