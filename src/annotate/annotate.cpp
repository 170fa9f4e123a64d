#include "annotate/annotate.h"

#include <getopt.h>
#include <malloc.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

#include "annotate/fasta.h"
#include "annotate/gene_output.h"
#include "annotate/processes.h"
#include "annotate/record_pipeline.h"
#include "file_io.h"
#include "generate_orfs.h"

#include "self_training.h"

namespace fs = std::filesystem;

namespace codonspace::annotate {

namespace {
constexpr const char* PROGRAM = "codonspace-annotate";
constexpr int MAX_THREADS = 256;
constexpr int MAX_START_CODONS = 4;

// The tables a run of the method reads from data/.
std::vector<const char*> required_tables(int method) {
  std::vector<const char*> t = {"HBondEnergies_MDmapped3.dat", "StackingEnergies_MD.dat", "z.dat",
                                "best_plane_fixed.dat"};
  if (method == 3) t.push_back("codon1");
  return t;
}

void check_tables(const std::string& dir, int method) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw Error("the tables directory '" + dir + "' is not a directory");
  for (const char* t : required_tables(method)) {
    const std::string path = dir + "/" + t;
    if (access(path.c_str(), R_OK) != 0)
      throw Error("the tables directory '" + dir + "' lacks a readable table: " + file_reason(path, errno));
  }
}

std::string join(const std::vector<std::string>& v, const char* sep) {
  std::string s;
  for (size_t i = 0; i < v.size(); ++i) {
    if (i > 0) s.append(sep);
    s.append(v[i]);
  }
  return s;
}

std::vector<std::string> default_starts() {
  return std::vector<std::string>(std::begin(DEFAULT_START_CODONS), std::end(DEFAULT_START_CODONS));
}

// The default prefix turns genome.fna into the outputs genome.gff,
// genome.faa and genome.fna: run in the genome's own directory, the gene
// sequences would replace the genome.
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

// Counters the workers share with the parent, in shared anonymous memory.
struct SharedProgress {
  std::atomic<long> next_record{0};
  std::atomic<long> records_done{0};
  std::atomic<long> bases_done{0};
};
static_assert(std::atomic<long>::is_always_lock_free, "counters shared across processes must be lock-free");

class SharedMemory {
 public:
  SharedMemory() {
    void* p = mmap(nullptr, sizeof(SharedProgress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw Error("cannot map memory shared with the workers: " + std::string(std::strerror(errno)));
    progress_ = new (p) SharedProgress;
  }
  ~SharedMemory() {
    progress_->~SharedProgress();
    munmap(progress_, sizeof(SharedProgress));
  }
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;
  SharedProgress& get() { return *progress_; }

 private:
  SharedProgress* progress_;
};

void make_dir(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0) throw Error("cannot create the directory " + file_reason(path, errno));
}

void make_link(const std::string& target, const std::string& link) {
  if (symlink(target.c_str(), link.c_str()) != 0)
    throw Error("cannot create the link " + file_reason(link, errno));
}

// The stages allocate and free buffers of megabytes for every record. By
// default glibc maps such blocks freshly and unmaps them when freed, so
// every record would fault in (and zero) its memory anew, a cost that grows
// when workers run side by side; a worker keeps freed memory for reuse.
void keep_freed_memory() {
  mallopt(M_MMAP_THRESHOLD, 512 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

// A stage names a table as 'data/NAME', relative to the worker's directory;
// the user knows it as TABLES/NAME.
std::string with_tables_path(std::string message, const std::string& tables) {
  const std::string from = "'data/";
  const std::string to = "'" + tables + "/";
  for (size_t p = message.find(from); p != std::string::npos; p = message.find(from, p + to.size()))
    message.replace(p, from.size(), to);
  return message;
}

// The per-record pieces of the three outputs, written by the workers
// (formatting runs in parallel) and joined in record order by the parent.
const char* const OUTPUT_EXTENSIONS[] = {".gff", ".faa", ".fna"};

std::string fragment_path(const std::string& dir, size_t record, size_t output) {
  return dir + "/" + std::to_string(record) + OUTPUT_EXTENSIONS[output];
}

void write_fragments(const std::string& dir, size_t index, const FastaRecord& record, const std::vector<Gene>& genes,
                     const AnnotationSettings& settings) {
  for (size_t k = 0; k < 3; ++k) {
    const std::string path = fragment_path(dir, index, k);
    File out(path, "w", 1 << 16);
    if (!out.is_open()) throw Error("cannot create " + file_reason(path, out.open_error()));
    if (k == 0) write_gff_genes(out.get(), record, genes, settings);
    if (k == 1) write_faa_genes(out.get(), record, genes);
    if (k == 2) write_fna_genes(out.get(), record, genes);
    out.close_output();
  }
}

// Appends the file to out; returns its number of lines.
size_t append_file(FILE* out, const std::string& path) {
  File in(path, "r");
  if (!in.is_open()) throw Error("cannot open the worker result " + file_reason(path, in.open_error()));
  std::vector<char> buf(1 << 16);
  size_t lines = 0, n;
  while ((n = std::fread(buf.data(), 1, buf.size(), in.get())) > 0) {
    lines += static_cast<size_t>(std::count(buf.begin(), buf.begin() + static_cast<long>(n), '\n'));
    std::fwrite(buf.data(), 1, n, out);
  }
  in.check_read();
  return lines;
}

// The three outputs, written under temporary names in the output directory
// and renamed together at the end; whatever is not committed is removed.
class Outputs {
 public:
  explicit Outputs(std::vector<std::string> finals) : finals_(std::move(finals)) {}
  ~Outputs() {
    for (const std::string& t : temps_) std::remove(t.c_str());
  }
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;

  // Creates the temporary file for output i and returns it open for writing.
  File create(size_t i) {
    const fs::path final_path(finals_[i]);
    std::string name = ".";
    name.append(final_path.filename().string()).append(".XXXXXX");
    std::string templ = (final_path.parent_path() / name).string();
    const int fd = mkstemp(templ.data());
    if (fd < 0) throw Error("cannot create an output file next to " + file_reason(finals_[i], errno));
    close(fd);
    temps_.push_back(templ);
    File f(templ, "w", 1 << 16);
    if (!f.is_open()) throw Error("cannot write " + file_reason(templ, f.open_error()));
    return f;
  }

  // Gives the files their final names and the usual permissions. Signals
  // are held back meanwhile: the outputs appear together or not at all.
  void commit() {
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &old);
    struct Restore {
      sigset_t* old;
      ~Restore() { sigprocmask(SIG_SETMASK, old, nullptr); }
    } restore{&old};
    SignalGuard::check();
    const mode_t mask = umask(0);
    umask(mask);
    for (const std::string& t : temps_) chmod(t.c_str(), 0666 & ~mask);
    for (size_t i = 0; i < temps_.size(); ++i) {
      if (std::rename(temps_[i].c_str(), finals_[i].c_str()) != 0) {
        const int err = errno;
        for (size_t k = 0; k < i; ++k) std::remove(finals_[k].c_str());
        throw Error("cannot rename '" + temps_[i] + "' to " + file_reason(finals_[i], err));
      }
    }
    temps_.clear();
  }

 private:
  std::vector<std::string> finals_;
  std::vector<std::string> temps_;
};

class Progress {
 public:
  explicit Progress(bool quiet) : quiet_(quiet), begin_(Clock::now()), last_(begin_) {}
  double seconds() const { return std::chrono::duration<double>(Clock::now() - begin_).count(); }
  // At most one line every two seconds.
  void report(long records, long records_total, long bases, long bases_total) {
    if (quiet_) return;
    const auto now = Clock::now();
    if (now - last_ < std::chrono::seconds(2)) return;
    last_ = now;
    std::fprintf(stderr, "%s: %ld of %ld records, %.2f of %.2f Mb done (%.1f s)\n", PROGRAM, records, records_total,
                 static_cast<double>(bases) / 1e6, static_cast<double>(bases_total) / 1e6, seconds());
  }
  void say(const std::string& text) const {
    if (!quiet_) std::fprintf(stderr, "%s: %s\n", PROGRAM, text.c_str());
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool quiet_;
  Clock::time_point begin_, last_;
};

// Trains the tables on the records in a worker process (interruptible like
// the prediction) and returns the directory of the complete trained tables.
std::string train_tables(const std::vector<FastaRecord>& records, const std::string& tables_in,
                         const AnnotateOptions& options, const std::string& root, const std::vector<std::string>& starts) {
  const std::string out = root + "/tables";
  const std::string work = root + "/train";
  make_dir(out);
  make_dir(work);
  Workers workers(root);
  workers.spawn(work, [&] {
    std::vector<std::string> sequences;
    sequences.reserve(records.size());
    for (const FastaRecord& r : records) sequences.push_back(r.sequence);
    SelfTrainOptions o;
    o.min_length = options.min_length;
    o.start_codons = starts;
    self_train(sequences, tables_in, out, o);
  });
  workers.wait_all();
  return out;
}

bool parse_int(const char* text, long lo, long hi, int& value) {
  if (text == nullptr || *text == 0) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != 0 || v < lo || v > hi) return false;
  value = static_cast<int>(v);
  return true;
}

bool parse_starts(const char* text, std::vector<std::string>& starts) {
  starts.clear();
  std::string s = text;
  size_t pos = 0;
  for (;;) {
    const size_t comma = s.find(',', pos);
    std::string codon = s.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    if (codon.size() != 3) return false;
    for (char& c : codon) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (std::strchr("ACGT", c) == nullptr || c == 0) return false;
    }
    if (std::find(starts.begin(), starts.end(), codon) == starts.end()) starts.push_back(codon);
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return !starts.empty() && starts.size() <= MAX_START_CODONS;
}

void print_help() {
  const AnnotateOptions d;
  std::printf(
      "Usage: %s [options] GENOME\n"
      "\n"
      "Predicts the protein-coding genes of every record of a prokaryotic genome and\n"
      "writes PREFIX.gff (GFF3), PREFIX.faa (proteins) and PREFIX.fna (gene sequences).\n"
      "GENOME is a FASTA file of one or more records, plain or gzip-compressed, or -\n"
      "for standard input.\n"
      "\n"
      "Options:\n"
      "  -m METHOD     1 DNA Space, 2 Protein Space, 3 Swissprot Space (default %d)\n"
      "  -l LENGTH     minimum ORF length in bases (default %d)\n"
      "  -s START,...  one to %d start codons, comma-separated (default %s)\n"
      "  -d DIR        reference tables directory\n"
      "                (default %s)\n"
      "  -T            train the tables on the input genome before predicting\n"
      "  -o DIR        output directory, created if missing (default %s)\n"
      "  -p PREFIX     output file name prefix (default: the input file's name without\n"
      "                .gz and .fna/.fa/.fasta/.fas; %s for standard input)\n"
      "  -t N          worker processes, records run in parallel (default %d)\n"
      "  -q            quiet: no progress messages on standard error\n"
      "  -h, --help    print this help\n"
      "      --version print the version\n",
      PROGRAM, d.method, d.min_length, MAX_START_CODONS, join(default_starts(), ",").c_str(),
      default_tables_dir().c_str(), d.outdir.c_str(), default_prefix("-").c_str(), d.threads);
}

int usage_error(const std::string& text) {
  std::fprintf(stderr, "%s: %s\nTry '%s -h' for help.\n", PROGRAM, text.c_str(), PROGRAM);
  return 1;
}
}  // namespace

std::string default_prefix(const std::string& input) {
  if (input == "-") return "stdin";
  std::string name = fs::path(input).filename().string();
  auto strip = [&name](const char* ext) {
    const size_t n = std::strlen(ext);
    if (name.size() > n && name.compare(name.size() - n, n, ext) == 0) {
      name.resize(name.size() - n);
      return true;
    }
    return false;
  };
  strip(".gz");
  for (const char* ext : {".fna", ".fasta", ".fas", ".fa"})
    if (strip(ext)) break;
  return name;
}

std::vector<std::string> output_paths(const AnnotateOptions& options) {
  const std::string prefix = options.prefix.empty() ? default_prefix(options.input) : options.prefix;
  std::vector<std::string> paths;
  for (const char* ext : {".gff", ".faa", ".fna"}) paths.push_back((fs::path(options.outdir) / (prefix + ext)).string());
  return paths;
}

void annotate(const AnnotateOptions& options) {
  SignalGuard signals;
  Progress progress(options.quiet);
  const std::vector<std::string> starts = options.start_codons.empty() ? default_starts() : options.start_codons;
  const std::string tables_given = options.tables_dir.empty() ? default_tables_dir() : options.tables_dir;
  check_tables(tables_given, options.method);
  // The workers reach the tables through a link from their own directories.
  const std::string tables_in = fs::absolute(tables_given).lexically_normal().string();

  const std::vector<std::string> finals = output_paths(options);
  refuse_input_as_output(options.input, finals);

  const std::vector<FastaRecord> records = read_fasta(options.input, SignalGuard::check);
  long total_bases = 0;
  for (const FastaRecord& r : records) total_bases += static_cast<long>(r.sequence.size());
  progress.say("read " + std::to_string(records.size()) + " record" + (records.size() == 1 ? "" : "s") + ", " +
               std::to_string(total_bases) + " bases from " + input_display_name(options.input));

  // The output directory, and whether this run made it (removed again on failure).
  std::error_code ec;
  bool made_outdir = false;
  if (!fs::exists(options.outdir, ec)) {
    made_outdir = fs::create_directories(options.outdir, ec);
    if (ec) throw Error("cannot create the output directory '" + options.outdir + "': " + ec.message());
  } else if (!fs::is_directory(options.outdir, ec)) {
    throw Error("the output directory '" + options.outdir + "' is not a directory");
  }
  struct OutdirCleanup {
    const std::string& dir;
    bool made;
    bool keep = false;
    ~OutdirCleanup() {
      if (made && !keep) rmdir(dir.c_str());
    }
  } outdir_cleanup{options.outdir, made_outdir};

  // A worker's working files take up to some 25 times its record at a time.
  size_t largest = 0;
  for (const FastaRecord& r : records) largest = std::max(largest, r.sequence.size());
  const int n_workers = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(options.threads, 1)), records.size()));
  const unsigned long long needed = 32ULL * largest * static_cast<unsigned long long>(n_workers) + (64ULL << 20);
  TempDir root(work_base_dir(needed), "codonspace-annotate.");
  std::string tables = tables_in;
  if (options.self_train) {
    progress.say("training the tables on the input genome");
    tables = train_tables(records, tables_in, options, root.path(), starts);
    check_tables(tables, options.method);
  }

  // Longest records first, so that the workers finish close together.
  std::vector<size_t> order(records.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&records](size_t a, size_t b) {
    return records[a].sequence.size() > records[b].sequence.size();
  });

  const std::string results = root.path() + "/results";
  make_dir(results);
  SharedMemory shared;
  SharedProgress& counters = shared.get();
  PredictOptions predict;
  predict.method = options.method;
  predict.min_length = options.min_length;
  predict.start_codons = starts;
  AnnotationSettings settings;
  settings.method = options.method;
  {
    Workers workers(root.path());
    for (int k = 0; k < n_workers; ++k) {
      const std::string dir = root.path() + "/worker" + std::to_string(k);
      make_dir(dir);
      make_link(tables, dir + "/data");
      workers.spawn(dir, [&] {
        keep_freed_memory();
        for (;;) {
          const long i = counters.next_record.fetch_add(1);
          if (i >= static_cast<long>(order.size())) break;
          const size_t index = order[static_cast<size_t>(i)];
          const FastaRecord& record = records[index];
          std::vector<Gene> genes;
          try {
            genes = predict_record(record, predict);
          } catch (const Error& e) {
            throw Error(with_tables_path(e.what(), tables));
          }
          write_fragments(results, index, record, genes, settings);
          counters.bases_done.fetch_add(static_cast<long>(record.sequence.size()));
          counters.records_done.fetch_add(1);
        }
      });
    }
    workers.wait_all([&] {
      progress.report(counters.records_done.load(), static_cast<long>(records.size()), counters.bases_done.load(),
                      total_bases);
    });
  }
  SignalGuard::check();

  Outputs outputs(finals);
  size_t total_genes = 0;
  for (size_t k = 0; k < 3; ++k) {
    File out = outputs.create(k);
    if (k == 0) write_gff_header(out.get(), records);
    for (size_t i = 0; i < records.size(); ++i) {
      const size_t lines = append_file(out.get(), fragment_path(results, i, k));
      if (k == 0) total_genes += lines;
      if (i % 64 == 0) {
        out.check_write();
        SignalGuard::check();
      }
    }
    out.close_output();
  }
  outputs.commit();
  outdir_cleanup.keep = true;
  char summary[128];
  std::snprintf(summary, sizeof summary, "%zu record%s, %ld bases, %zu genes in %.1f s; wrote ", records.size(),
                records.size() == 1 ? "" : "s", total_bases, total_genes, progress.seconds());
  progress.say(summary + finals[0] + ", .faa, .fna");
}

int run_annotate(int argc, char** argv) {
  AnnotateOptions o;
  static const struct option long_options[] = {
      {"help", no_argument, nullptr, 'h'}, {"version", no_argument, nullptr, 'V'}, {nullptr, 0, nullptr, 0}};
  optind = 0;  // full re-initialisation: the function may run more than once in a process
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, "+m:l:s:d:To:p:t:qh", long_options, nullptr)) != -1) {
    switch (c) {
      case 'm':
        if (!parse_int(optarg, 1, 3, o.method)) return usage_error("the method (-m) must be 1, 2 or 3");
        break;
      case 'l':
        if (!parse_int(optarg, 1, PREDICTION_ORF_MAX_LENGTH, o.min_length))
          return usage_error("the minimum length (-l) must be a whole number from 1 to " +
                             std::to_string(PREDICTION_ORF_MAX_LENGTH));
        break;
      case 's':
        if (!parse_starts(optarg, o.start_codons))
          return usage_error("the start codons (-s) must be one to " + std::to_string(MAX_START_CODONS) +
                             " codons of A, C, G, T separated by commas, such as ATG,GTG,TTG");
        break;
      case 'd':
        o.tables_dir = optarg;
        break;
      case 'T':
        o.self_train = true;
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
        if (optopt != 0 && std::strchr("mlsdopt", optopt) != nullptr)
          return usage_error(std::string("the option -") + static_cast<char>(optopt) + " needs a value");
        if (optopt != 0) return usage_error(std::string("unknown option -") + static_cast<char>(optopt));
        return usage_error(std::string("unknown option ") + argv[optind - 1]);
    }
  }
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
  } catch (const fs::filesystem_error& e) {
    std::fprintf(stderr, "%s: %s\n", PROGRAM, e.what());
    return 1;
  }
  return 0;
}

}  // namespace codonspace::annotate
