#include "pipeline/pipeline.h"

#include <signal.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include "evaluator/webtalvisca9mod.h"
#include "core/defaults.h"
#include "io/file_io.h"
#include "core/options.h"
#include "stages/protein_stages.h"
#include "pipeline/run_guard.h"
#include "stages/stages.h"

namespace codonspace {

namespace {
const char* const USAGE_LINE =
    "\nUSAGE : ./executable  arg1(input file)  arg2(Minimum ORF sequence length) arg3(Method) "
    "[START CODON NAME(S) ](ATG TTG GTG CTG )";

// The rules behind the usage line, printed by -h after it.
const char* const HELP_TEXT =
    "codonspace GENOME MIN_LENGTH METHOD START_CODON [START_CODON ...]\n"
    "\n"
    "  GENOME       one FASTA record: a '>' header line, then the sequence on any\n"
    "               number of lines; plain or gzip-compressed. Line ends, carriage\n"
    "               returns, blanks and tabs are dropped, letters upper-cased.\n"
    "               Letters other than A, C, G, T (N, IUPAC codes) are kept: no\n"
    "               start or stop codon holds one, and their complement is N.\n"
    "               Refused: a first byte that is not '>', any other character\n"
    "               (digits, '-', '.', '*'), a second record, no bases, a damaged\n"
    "               gzip stream, xz, bzip2 or zstd compression.\n"
    "  MIN_LENGTH   decimal digits, at most 10000000: an ORF is kept when its\n"
    "               number of bases plus 2 reaches this value\n"
    "  METHOD       1 DNA Space, 2 Protein Space, 3 Swissprot Space\n"
    "  START_CODON  one to four codons such as ATG GTG TTG, in any case; a stop\n"
    "               codon (TAA, TAG, TGA) is refused\n"
    "\n"
    "Runs in the working directory: reads the tables of data/ there, else the\n"
    "tables installed with the program; writes seven result files (gene_sequences\n"
    "and six per-frame lists). Exit status 0 after a run, 1 on any refusal or\n"
    "failure.\n";

void message(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

void print_method_block() {
  message("\nPlease specify Method");
  std::printf("\n1 : DNA Space");
  std::printf("\n2 : Protein Space");
  std::printf("\n3 : Swissprot Space");
}

// A method is decimal digits of value 1, 2 or 3.
std::optional<int> parse_method(const char* text) {
  const std::optional<long> v = parse_decimal(text, 3);
  if (!v || *v < 1) return std::nullopt;
  return static_cast<int>(*v);
}

// Tables come from data/ in the working directory when there is one, else
// from those installed with the program.
void choose_tables() {
  struct stat st;
  if (stat("data", &st) == 0 && S_ISDIR(st.st_mode)) return;
  use_tables_dir(default_tables_dir());
}

// The name of the working or result file in the current directory that is
// the same file as the open genome, or nullptr.
const char* clashing_file(FILE* genome, int option) {
  struct stat g;
  if (fstat(fileno(genome), &g) != 0) return nullptr;
  std::vector<const char*> names = working_files(option);
  names.push_back(GENE_SEQUENCES);
  for (const char* f : FRAME_FILES) names.push_back(f);
  for (const char* name : names) {
    struct stat s;
    if (stat(name, &s) == 0 && s.st_dev == g.st_dev && s.st_ino == g.st_ino) return name;
  }
  return nullptr;
}
}  // namespace

void printUsage() {
  std::printf("%s\n", USAGE_LINE);
  std::fflush(stdout);
  std::printf("\n");
  std::fflush(stdout);
}

bool FileExists(const char* FileName) {
  FILE* f = std::fopen(FileName, "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

int rmvFile(const char* fileName) {
  if (FileExists(fileName) && std::remove(fileName) != 0) std::perror("Error deleting file");
  return 0;
}

std::vector<const char*> working_files(int option) {
  static const char* const screening[] = {TALVISCA_SEQ, PROS,      SIGNAL66GENES,
                                          SIGNAL_TALVISCA66, TEMP_FILE, EVALUATOR_REPORT};
  static const char* const deviation[] = {CODON_PERCENTAGES, CODON1_CODONVALUE, NONGENEFILE, SEQ_STD_DEV,
                                          STD_CHECK,         STDDEV_SEQ,        TEST1};
  static const char* const always[] = {MAIN_STRAND,          SIGNAL,         UNIT_GENE_VECTORS,
                                       LONGEST_ORFS,         PREDICTION_ORFS, COMPLEMENTARY_STRAND,
                                       LONGEST_ORF_SEQUENCES, PROCESSED_GENOME};
  std::vector<const char*> files;
  if (option == 2 || option == 3)
    for (const char* f : screening) files.push_back(f);
  if (option == 3)
    for (const char* f : deviation) files.push_back(f);
  for (const char* f : always) files.push_back(f);
  return files;
}

void remove_working_files(int option) {
  for (const char* f : working_files(option)) rmvFile(f);
}

void remove_result_files() {
  rmvFile(GENE_SEQUENCES);
  for (const char* f : FRAME_FILES) rmvFile(f);
}

namespace {
// Runs fn as the named stage: any failure becomes an Error that names it;
// a stage that writes the results leaves none behind when it fails.
template <typename Fn>
void run_stage(const char* name, bool writes_results, Fn fn) {
  set_results_being_written(writes_results);
  try {
    fn();
  } catch (const std::exception& e) {
    if (writes_results) remove_result_files();
    set_results_being_written(false);
    const std::string reason = dynamic_cast<const std::bad_alloc*>(&e) != nullptr ? "out of memory" : e.what();
    throw Error(std::string(name) + ": " + reason);
  }
  set_results_being_written(false);
}
}  // namespace

std::vector<Stage> method_stages(int method) {
  // Every stage after the ORF scan in run order, with the methods that run
  // it (bit m for method m).
  constexpr unsigned M1 = 1U << 1, M2 = 1U << 2, M3 = 1U << 3, ALL = M1 | M2 | M3;
  static constexpr struct {
    Stage stage;
    unsigned methods;
  } stages[] = {
      {{"generate_longest_orf_input", generate_longest_orf_input, false}, ALL},
      {{"calculate_vectors_prediction", calculate_vectors_prediction, false}, ALL},
      {{"final_output_prediction", final_output_prediction, false}, ALL},
      {{"longest_orf_dna", longest_orf_dna, false}, M1},
      {{"generate_talvisca_Seq", generate_talvisca_Seq, false}, M2 | M3},
      {{"webtalvisca9mod", webtalvisca9mod, false}, M2 | M3},
      {{"binary_talvisca_mod_newtalvisca", binary_talvisca_mod_newtalvisca, false}, M2 | M3},
      {{"helixtrove_talvisca", helixtrove_talvisca, false}, M2 | M3},
      {{"longest_orf_protein", longest_orf_protein, false}, M2},
      {{"generate_stddev_Seq", generate_stddev_Seq, false}, M3},
      {{"orfs_to_protein_seq", orfs_to_protein_seq, false}, M3},
      {{"stddev", stddev, false}, M3},
      {{"check_stddev_gene", check_stddev_gene, false}, M3},
      {{"longest_orf", longest_orf, false}, M3},
      {{"orf_sequence_final", orf_sequence_final, true}, ALL},
      {{"reading_frame", reading_frame, true}, ALL},
  };
  if (method < 1 || method > 3) throw Error("there is no method " + std::to_string(method));
  std::vector<Stage> chosen;
  for (const auto& s : stages)
    if ((s.methods >> method & 1U) != 0) chosen.push_back(s.stage);
  return chosen;
}

void run_pipeline(FILE* genome, const std::string& genome_name, int method, int min_length,
                  const std::vector<std::string>& start_codons, const std::vector<std::string>& stop_codons) {
  run_stage("preprocess_genome", false, [&] { preprocess_genome(genome, genome_name); });
  run_stage("generate_orf", false, [&] { generate_orf(min_length, start_codons, stop_codons); });
  for (const Stage& stage : method_stages(method)) run_stage(stage.name, stage.writes_results, stage.run);
}

int run_codonspace(int argc, char** argv) {
  const int nargs = argc - 1;
  if (nargs >= 1 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    printUsage();
    std::fputs(HELP_TEXT, stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  if (nargs >= 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("codonspace %s\n", CODONSPACE_VERSION);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }

  // In this order: the number of arguments, the method, the minimum length,
  // the start codons, then the genome; nothing is written on a refusal.
  if (nargs == 1) message("\nPlease specify minimum sequence length");
  if (nargs == 2) print_method_block();
  if (nargs == 3) {
    if (parse_method(argv[3]))
      message("\nPlease specify start codon");
    else
      print_method_block();
  }
  if (nargs >= 8) message("\nPlease specify at most four start codons");
  if (nargs < 4 || nargs >= 8) {
    printUsage();
    return 1;
  }

  const std::optional<int> option_value = parse_method(argv[3]);
  if (!option_value) {
    print_method_block();
    printUsage();
    return 1;
  }
  const int option = *option_value;
  const std::optional<long> min_length_value = parse_length(argv[2]);
  if (!min_length_value) {
    message(("\nInvalid minimum sequence length: " + std::string(argv[2])).c_str());
    printUsage();
    return 1;
  }
  const int min_length = static_cast<int>(*min_length_value);
  const StartCodons starts = parse_start_codons(std::vector<std::string>(argv + 4, argv + argc));
  if (starts.invalid) {
    message(("\nInvalid start codon: " + *starts.invalid).c_str());
    printUsage();
    return 1;
  }
  const std::vector<std::string>& start_codons = starts.codons;

  const char* genome_name = argv[1];
  errno = 0;
  FILE* fp_genome = std::fopen(genome_name, "r");
  if (fp_genome == nullptr) {
    std::fprintf(stderr, "codonspace: cannot open genome file %s\n",
                 file_reason(genome_name, errno != 0 ? errno : EINVAL).c_str());
    return 1;
  }
  // A directory opens but cannot be read: find out before anything is written.
  int first = getc(fp_genome);
  if (first == EOF && std::ferror(fp_genome)) {
    const int err = errno != 0 ? errno : EIO;
    std::fclose(fp_genome);
    std::fprintf(stderr, "codonspace: cannot read genome file %s\n", file_reason(genome_name, err).c_str());
    return 1;
  }
  if (first != EOF) ungetc(first, fp_genome);
  // The working and result files have fixed names in this directory; a
  // genome stored under one of them would be overwritten or deleted.
  if (const char* clash = clashing_file(fp_genome, option)) {
    std::fclose(fp_genome);
    std::fprintf(stderr,
                 "codonspace: the genome file '%s' is the file '%s' that a run writes in this "
                 "directory; copy or rename it first\n",
                 genome_name, clash);
    return 1;
  }
  // Lock the directory, refuse to touch files the run did not create, and
  // remove the working files when a signal ends the run.
  RunGuard guard;
  if (!guard.start(option)) {
    std::fclose(fp_genome);
    return 1;
  }

  // A file-size limit must turn into a write error we can report, not a
  // signal that kills the run with its working files in place.
  signal(SIGXFSZ, SIG_IGN);
  choose_tables();

  int status = 0;
  try {
    run_pipeline(fp_genome, genome_name, option, min_length, start_codons);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "codonspace: %s\n", e.what());
    status = 1;
  }
  remove_working_files(option);
  // Messages lost on standard output (a full device, a closed pipe) fail
  // the run like any other write error.
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int err = errno;
    std::fprintf(stderr, "codonspace: cannot write standard output%s%s\n", err != 0 ? ": " : "",
                 err != 0 ? std::strerror(err) : "");
    status = 1;
  }
  return status;
}

}  // namespace codonspace
