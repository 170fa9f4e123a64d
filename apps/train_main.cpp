// codonspace-train: fits the trained tables of method 1 to one genome
// without annotation and writes a complete tables directory, OUTDIR/data,
// with which codonspace runs (cd OUTDIR && codonspace GENOME ...) and which
// codonspace-annotate -d OUTDIR reads.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "annotate/fasta.h"
#include "core/defaults.h"
#include "io/file_io.h"
#include "stages/generate_orfs.h"
#include "core/options.h"
#include "training/self_training.h"
#include "core/table_files.h"

namespace {

constexpr const char* PROGRAM = "codonspace-train";
constexpr int MAX_THREADS = 256;

// A whole number from 1 to MAX_THREADS, or 0.
int parse_threads(const char* text) {
  if (*text < '0' || *text > '9') return 0;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  return errno == 0 && *end == '\0' && v >= 1 && v <= MAX_THREADS ? static_cast<int>(v) : 0;
}

std::string default_starts() {
  std::string list;
  for (const char* s : codonspace::DEFAULT_START_CODONS) list += (list.empty() ? "" : ",") + std::string(s);
  return list;
}

void print_help() {
  std::printf(
      "Usage: %s [options] GENOME OUTDIR\n"
      "\n"
      "Fits the method-1 tables (z.dat and the plane) to GENOME without any annotation\n"
      "and writes a complete tables directory, OUTDIR/data. GENOME is a FASTA file of\n"
      "one or more records, plain or gzip-compressed. Then run\n"
      "  cd OUTDIR && codonspace GENOME ...   or   codonspace-annotate -d OUTDIR GENOME\n"
      "A genome too small for a reliable fit gets the input tables' z.dat and plane,\n"
      "with a warning.\n"
      "\n"
      "Options:\n"
      "  -l, --min-length LENGTH  minimum gene length in bases, stop codon included\n"
      "                           (default %d)\n"
      "  -s, --starts START,...   one to four start codons, comma-separated\n"
      "                           (default %s)\n"
      "  -d, --tables DIR         tables to start from, DIR or DIR/data: the\n"
      "                           physico-chemical tables and codon1 are copied from\n"
      "                           it (default %s)\n"
      "  -t, --threads N          threads of the fit, 1 to %d; the tables are the same\n"
      "                           for any number (default 1)\n"
      "  -h, --help               print this help\n"
      "      --version            print the version\n",
      PROGRAM, codonspace::DEFAULT_MIN_LENGTH, default_starts().c_str(), codonspace::default_tables_dir().c_str(),
      MAX_THREADS);
}

int usage_error(const std::string& text) {
  std::fprintf(stderr, "%s: %s\nTry '%s -h' for help.\n", PROGRAM, text.c_str(), PROGRAM);
  return 1;
}

// Genes of at least this many bases, stop codon included, in the scan's
// length measure (|b1 - b2| + 3, two more than the bases).
int length_measure(int bases) { return bases + 2; }

// The tables to start from: dir itself, or dir/data when dir holds no
// tables but dir/data does (the layout this program writes).
std::string tables_dir(const std::string& dir) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const std::string probe = codonspace::table_files::X_VALUES;
  if (!fs::exists(fs::path(dir) / probe, ec) && fs::exists(fs::path(dir) / "data" / probe, ec)) return dir + "/data";
  return dir;
}

int flush_stdout() { return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1; }

}  // namespace

int main(int argc, char** argv) {
  static const struct option long_options[] = {{"min-length", required_argument, nullptr, 'l'},
                                                {"starts", required_argument, nullptr, 's'},
                                                {"tables", required_argument, nullptr, 'd'},
                                                {"threads", required_argument, nullptr, 't'},
                                                {"help", no_argument, nullptr, 'h'},
                                                {"version", no_argument, nullptr, 'V'},
                                                {nullptr, 0, nullptr, 0}};
  codonspace::SelfTrainOptions options;
  options.min_length = length_measure(codonspace::DEFAULT_MIN_LENGTH);
  std::string tables;
  opterr = 0;
  int c;
  // Options may come before or after GENOME OUTDIR.
  while ((c = getopt_long(argc, argv, "l:s:d:t:h", long_options, nullptr)) != -1) {
    switch (c) {
      case 'l': {
        const auto bases = codonspace::parse_length(optarg);
        if (!bases || *bases < 1)
          return usage_error(std::string("the minimum length (-l) must be a whole number of bases from 1 to ") +
                             std::to_string(codonspace::PREDICTION_ORF_MAX_LENGTH) + ", not '" + optarg + "'");
        options.min_length = length_measure(static_cast<int>(*bases));
        break;
      }
      case 's': {
        const std::vector<std::string> texts = codonspace::split_commas(optarg);
        const codonspace::StartCodons starts = codonspace::parse_start_codons(texts);
        if (starts.invalid || texts.size() > 4)
          return usage_error(std::string("the start codons (-s) must be one to four codons of A, C, G, T ") +
                             "separated by commas, such as ATG,GTG,TTG, not '" + optarg + "'");
        options.start_codons = starts.codons;
        break;
      }
      case 'd':
        if (*optarg == 0) return usage_error("the tables directory (-d) is empty");
        tables = optarg;
        break;
      case 't':
        options.threads = parse_threads(optarg);
        if (options.threads == 0)
          return usage_error("the number of threads (-t) must be a whole number from 1 to " +
                             std::to_string(MAX_THREADS) + ", not '" + optarg + "'");
        break;
      case 'h':
        print_help();
        return flush_stdout();
      case 'V':
        std::printf("%s %s\n", PROGRAM, CODONSPACE_VERSION);
        return flush_stdout();
      default:
        if (optopt != 0 && std::strchr("lsdt", optopt) != nullptr)
          return usage_error(std::string("the option -") + static_cast<char>(optopt) + " needs a value");
        if (optopt != 0) return usage_error(std::string("unknown option -") + static_cast<char>(optopt));
        return usage_error(std::string("unknown option or missing value: ") + argv[optind - 1]);
    }
  }
  if (argc - optind != 2)
    return usage_error("give a genome file and an output directory (found " + std::to_string(argc - optind) +
                       " argument" + (argc - optind == 1 ? "" : "s") + ")");
  const std::string genome = argv[optind], out = std::string(argv[optind + 1]) + "/data";
  try {
    tables = tables.empty() ? codonspace::default_tables_dir() : tables_dir(tables);
    std::vector<std::string> records;
    for (auto& r : codonspace::annotate::read_fasta(genome)) records.push_back(std::move(r.sequence));
    const codonspace::SelfTrainResult result = codonspace::self_train(records, tables, out, options);
    if (!result.fitted) std::fprintf(stderr, "%s: warning: %s\n", PROGRAM, result.note.c_str());
    std::fprintf(stderr, "%s: wrote %s (%s)\n", PROGRAM, out.c_str(),
                 result.fitted ? ("fitted to " + std::to_string(result.genes_labelled) + " genes of " + genome).c_str()
                               : "tables not fitted");
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: out of memory\n", PROGRAM);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", PROGRAM, e.what());
    return 1;
  }
  return 0;
}
