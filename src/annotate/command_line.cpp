// The command line of codonspace-annotate: options, help and usage errors,
// and the exit status of a run.
#include <getopt.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "annotate/annotate.h"
#include "annotate/gene_output.h"
#include "annotate/processes.h"
#include "io/file_io.h"
#include "stages/generate_orfs.h"
#include "core/options.h"

namespace codonspace::annotate {

namespace {

constexpr int LONGEST_ORF_OPTION = 1000;  // long options without a short form
constexpr int SHIPPED_TABLES_OPTION = 1001;
constexpr int MAX_THREADS = 256;

bool parse_int(const char* text, long lo, long hi, int& value) {
  if (text == nullptr || *text == 0) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != 0 || v < lo || v > hi) return false;
  value = static_cast<int>(v);
  return true;
}

// The start codons of -s: one to MAX_START_CODONS comma-separated codons
// read by parse_start_codons, none a stop codon of the genetic code; a codon
// given twice counts once. Empty when the text is refused.
std::vector<std::string> parse_starts(const std::string& text, int genetic_code) {
  const std::vector<std::string> texts = split_commas(text);
  const StartCodons parsed = parse_start_codons(texts, stop_codons(genetic_code));
  if (parsed.invalid || texts.size() > MAX_START_CODONS) return {};
  std::vector<std::string> starts;
  for (const std::string& c : parsed.codons)
    if (std::find(starts.begin(), starts.end(), c) == starts.end()) starts.push_back(c);
  return starts;
}

void print_help() {
  const AnnotateOptions d;
  std::printf(
      "Usage: %s [options] GENOME\n"
      "\n"
      "Predicts the protein-coding genes of every record of a prokaryotic genome and\n"
      "writes PREFIX.gff (GFF3), PREFIX.faa (proteins) and PREFIX.ffn (gene sequences).\n"
      "GENOME is a FASTA file of one or more records, plain or gzip-compressed, or -\n"
      "for standard input.\n"
      "\n"
      "By default the tables are trained on the input first when it holds %ld bases\n"
      "or more (all records together); a smaller input is predicted with the shipped\n"
      "tables. -d, --shipped-tables and -T choose otherwise.\n"
      "\n"
      "Options:\n"
      "  -m, --method METHOD       1 DNA Space, 2 Protein Space, 3 Swissprot Space\n"
      "                            (default %d)\n"
      "  -l, --min-length LENGTH   keep genes of at least LENGTH bases, stop codon\n"
      "                            included (default %d)\n"
      "  -s, --starts START,...    one to %d start codons, comma-separated\n"
      "                            (default %s)\n"
      "  -g, --genetic-code CODE   11 (bacteria, archaea) or 4 (Mycoplasma,\n"
      "                            Spiroplasma: TGA codes W, method 1 only) (default %d)\n"
      "  -d, --tables DIR          predict with these tables: a tables directory, or\n"
      "                            one that codonspace-train wrote (its data/ is used)\n"
      "      --shipped-tables      predict with the shipped tables (%s)\n"
      "  -T, --train               train the tables on the input first, whatever its\n"
      "                            size (from the tables of -d when given)\n"
      "      --longest-orf         keep the longest ORF's start codon (the start model,\n"
      "                            trained on the input, chooses the start by default)\n"
      "  -c, --closed-ends         no partial genes: call no gene that runs off a\n"
      "                            record's end (they are called by default)\n"
      "  -o, --outdir DIR          output directory, created if missing (default %s)\n"
      "  -p, --prefix PREFIX       output file name prefix (default: the input file's\n"
      "                            name without .gz and .fna/.fa/.fasta/.fas, in any\n"
      "                            case; %s for standard input)\n"
      "  -t, --threads N           parallel workers: records and pieces of long\n"
      "                            records, the training and the start model\n"
      "                            (default %d; the outputs do not depend on it)\n"
      "  -q, --quiet               no progress messages or notes on standard error\n"
      "  -h, --help                print this help\n"
      "      --version             print the version\n",
      PROGRAM, SELF_TRAIN_MIN_BASES, d.method, d.min_length, MAX_START_CODONS, join(default_starts(), ",").c_str(), d.genetic_code,
      default_tables_dir().c_str(), d.outdir.c_str(), default_prefix("-").c_str(), d.threads);
}

int usage_error(const std::string& text) {
  std::fprintf(stderr, "%s: %s\nTry '%s -h' for help.\n", PROGRAM, text.c_str(), PROGRAM);
  return 1;
}

}  // namespace

int run_annotate(int argc, char** argv) {
  // Standard error or output a closed pipe: every write, the last error
  // message too, fails with EPIPE instead of ending the program unseen.
  signal(SIGPIPE, SIG_IGN);
  AnnotateOptions o;
  static const struct option long_options[] = {{"method", required_argument, nullptr, 'm'},
                                               {"min-length", required_argument, nullptr, 'l'},
                                               {"starts", required_argument, nullptr, 's'},
                                               {"genetic-code", required_argument, nullptr, 'g'},
                                               {"tables", required_argument, nullptr, 'd'},
                                               {"train", no_argument, nullptr, 'T'},
                                               {"outdir", required_argument, nullptr, 'o'},
                                               {"prefix", required_argument, nullptr, 'p'},
                                               {"threads", required_argument, nullptr, 't'},
                                               {"quiet", no_argument, nullptr, 'q'},
                                               {"longest-orf", no_argument, nullptr, LONGEST_ORF_OPTION},
                                               {"shipped-tables", no_argument, nullptr, SHIPPED_TABLES_OPTION},
                                               {"closed-ends", no_argument, nullptr, 'c'},
                                               {"help", no_argument, nullptr, 'h'},
                                               {"version", no_argument, nullptr, 'V'},
                                               {nullptr, 0, nullptr, 0}};
  optind = 0;  // full re-initialisation: the function may run more than once in a process
  opterr = 0;
  int c;
  const char* starts_text = nullptr;
  while ((c = getopt_long(argc, argv, "+m:l:s:g:d:Tco:p:t:qh", long_options, nullptr)) != -1) {
    switch (c) {
      case 'm':
        if (!parse_int(optarg, 1, 3, o.method)) return usage_error("the method (-m) must be 1, 2 or 3");
        break;
      case 'l': {
        const std::optional<long> bases = parse_length(optarg);
        if (!bases || *bases < 1 || *bases > PREDICTION_ORF_MAX_LENGTH - 2)
          return usage_error("the minimum length (-l) must be a whole number of bases from 1 to " +
                             std::to_string(PREDICTION_ORF_MAX_LENGTH - 2));
        o.min_length = static_cast<int>(*bases);
        break;
      }
      case 's':
        starts_text = optarg;  // read once the genetic code is known
        break;
      case 'g':
        if (!parse_int(optarg, 1, 99, o.genetic_code) || !is_supported_genetic_code(o.genetic_code))
          return usage_error("the genetic code (-g) must be 11 (bacteria, archaea) or 4 (Mycoplasma, Spiroplasma)");
        break;
      case 'd':
        if (*optarg == 0) return usage_error("the tables directory (-d) is empty");
        o.tables_dir = optarg;
        break;
      case 'T':
        o.self_train = true;
        break;
      case SHIPPED_TABLES_OPTION:
        o.shipped_tables = true;
        break;
      case LONGEST_ORF_OPTION:
        o.longest_orf = true;
        break;
      case 'c':
        o.closed_ends = true;
        break;
      case 'o':
        if (*optarg == 0) return usage_error("the output directory (-o) is empty");
        o.outdir = optarg;
        break;
      case 'p':
        if (*optarg == 0 || std::strchr(optarg, '/') != nullptr)
          return usage_error("the prefix (-p) must be a non-empty file name without '/'");
        o.prefix = optarg;
        break;
      case 't':
        if (!parse_int(optarg, 1, MAX_THREADS, o.threads))
          return usage_error("the number of workers (-t) must be a whole number from 1 to " +
                             std::to_string(MAX_THREADS));
        break;
      case 'q':
        o.quiet = true;
        break;
      case 'h':
        print_help();
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
      case 'V':
        std::printf("%s %s\n", PROGRAM, CODONSPACE_VERSION);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
      default:
        if (optopt != 0 && std::strchr("mlsgdopt", optopt) != nullptr)
          return usage_error(std::string("the option -") + static_cast<char>(optopt) + " needs a value");
        if (optopt != 0) return usage_error(std::string("unknown option -") + static_cast<char>(optopt));
        return usage_error(std::string("unknown option ") + argv[optind - 1]);
    }
  }
  if (starts_text != nullptr && (o.start_codons = parse_starts(starts_text, o.genetic_code)).empty())
    return usage_error("the start codons (-s) must be one to " + std::to_string(MAX_START_CODONS) +
                       " codons of A, C, G, T separated by commas, none a stop codon, such as ATG,GTG,TTG");
  if (o.shipped_tables && !o.tables_dir.empty())
    return usage_error("--shipped-tables and -d choose different tables; give one of them");
  if (o.shipped_tables && o.self_train)
    return usage_error("--shipped-tables predicts with the shipped tables, -T trains new ones; give one of them");
  if (optind == argc) return usage_error("no genome file given");
  if (argc - optind > 1) return usage_error("give one genome file (found " + std::to_string(argc - optind) + ")");
  o.input = argv[optind];
  if (o.prefix.empty() && default_prefix(o.input).empty())
    return usage_error("cannot derive an output prefix from '" + o.input + "'; give one with -p");

  try {
    annotate(o);
  } catch (const Interrupted& i) {
    std::fprintf(stderr, "%s: interrupted by signal %d (%s); no output written\n", PROGRAM, i.signal,
                 strsignal(i.signal));
    return 128 + i.signal;
  } catch (const Error& e) {
    std::fprintf(stderr, "%s: %s\n", PROGRAM, e.what());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: out of memory\n", PROGRAM);
    return 1;
  } catch (const std::exception& e) {  // filesystem errors and any other
    std::fprintf(stderr, "%s: %s\n", PROGRAM, e.what());
    return 1;
  }
  return 0;
}

}  // namespace codonspace::annotate
