// codonspace-annotate's run: records to workers, the start model, and the
// outputs joined from the workers' pieces.
#include "annotate/annotate.h"

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
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
#include <functional>
#include <memory>
#include <new>
#include <numeric>

#include "annotate/fasta.h"
#include "annotate/gene_calls.h"
#include "annotate/gene_output.h"
#include "annotate/outputs.h"
#include "annotate/processes.h"
#include "annotate/record_pipeline.h"
#include "annotate/record_split.h"
#include "annotate/start_model.h"
#include "core/parallel_blocks.h"
#include "io/file_io.h"
#include "stages/generate_orfs.h"

#include "training/self_training.h"
#include "core/table_files.h"

namespace fs = std::filesystem;

namespace codonspace::annotate {

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

namespace {

using table_files::required_tables;

// Empty when dir holds every table of the method, else the reason, which
// names every table missing or unreadable.
std::string tables_problem(const std::string& dir, int method) {
  std::error_code ec;
  if (!fs::exists(dir, ec)) return "the tables directory '" + dir + "' does not exist";
  if (!fs::is_directory(dir, ec)) return "the tables directory '" + dir + "' is not a directory";
  const std::vector<const char*> required = required_tables(method);
  std::vector<std::string> lacking;
  for (const char* t : required) {
    const std::string path = dir + "/" + t;
    if (access(path.c_str(), R_OK) != 0) lacking.push_back(std::string(t) + " (" + std::strerror(errno) + ")");
  }
  if (lacking.empty()) return "";
  return "the tables directory '" + dir + "' lacks " + std::to_string(lacking.size()) + " of the " +
         std::to_string(required.size()) + " tables of method " + std::to_string(method) + ": " + join(lacking, ", ");
}

void check_tables(const std::string& dir, int method) {
  if (std::string problem = tables_problem(dir, method); !problem.empty()) throw Error(problem);
}

// Counters the workers share with the parent, in shared anonymous memory.
struct SharedProgress {
  std::atomic<long> next_job{0};
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

// A counter per record (its pieces done), shared like SharedProgress.
class SharedCounts {
 public:
  explicit SharedCounts(size_t n) : n_(std::max<size_t>(n, 1)) {
    void* p = mmap(nullptr, n_ * sizeof(std::atomic<long>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw Error("cannot map memory shared with the workers: " + std::string(std::strerror(errno)));
    counts_ = static_cast<std::atomic<long>*>(p);
    for (size_t i = 0; i < n_; ++i) new (counts_ + i) std::atomic<long>(0);
  }
  ~SharedCounts() { munmap(counts_, n_ * sizeof(std::atomic<long>)); }
  SharedCounts(const SharedCounts&) = delete;
  SharedCounts& operator=(const SharedCounts&) = delete;
  std::atomic<long>& operator[](size_t i) { return counts_[i]; }

 private:
  size_t n_;
  std::atomic<long>* counts_;
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

// A message never names a file of the private temporary directory: such a
// quoted path becomes "a working file in 'BASE'" (the directory the user
// can free up or change with TMPDIR).
std::string without_work_paths(std::string message, const std::string& root, const std::string& base) {
  const std::string to = "a working file in '" + base + "'";
  for (size_t p = message.find(root); p != std::string::npos; p = message.find(root, p)) {
    size_t begin = p, end = p + root.size();
    if (begin > 0 && message[begin - 1] == '\'') {
      --begin;
      const size_t close = message.find('\'', end);
      end = close == std::string::npos ? message.size() : close + 1;
    } else {
      while (end < message.size() && message[end] != ' ' && message[end] != ':' && message[end] != ',') ++end;
    }
    message.replace(begin, end - begin, to);
    p = begin + to.size();
  }
  return message;
}

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
    checked(std::fprintf(stderr, "%s: %ld of %ld records, %.2f of %.2f Mb done (%.1f s)\n", PROGRAM, records,
                         records_total, static_cast<double>(bases) / 1e6, static_cast<double>(bases_total) / 1e6,
                         seconds()));
  }
  void say(const std::string& text) const {
    if (!quiet_) checked(std::fprintf(stderr, "%s: %s\n", PROGRAM, text.c_str()));
  }

 private:
  using Clock = std::chrono::steady_clock;
  // A message that cannot be written (standard error a closed pipe, a full
  // disk) fails the run like any other write error.
  static void checked(int printed) {
    if (printed < 0) throw Error("cannot write to standard error: " + std::string(std::strerror(errno)));
  }
  bool quiet_;
  Clock::time_point begin_, last_;
};

// Where the tables of a run come from.
enum class TableSource {
  Shipped,      // --shipped-tables, or an input too small to self-train
  Given,        // -d
  SelfTrained,  // -T, or an input of SELF_TRAIN_MIN_BASES or more
};

// The tables source of a run of the options on total_bases bases.
TableSource table_source(const AnnotateOptions& o, long total_bases) {
  if (o.self_train) return TableSource::SelfTrained;
  if (!o.tables_dir.empty()) return TableSource::Given;
  if (o.shipped_tables || total_bases < SELF_TRAIN_MIN_BASES) return TableSource::Shipped;
  return TableSource::SelfTrained;
}

// The outcome of the self-training of a run.
struct Training {
  std::string dir;  // the complete tables directory to predict with
  bool fitted = false;
  long seed_orfs = 0;
};

// Trains the tables on the records in a worker process (interruptible like
// the prediction). When the input holds too few seed ORFs for a fit, the
// directory holds the input tables' z.dat and plane instead (fitted false).
Training train_tables(const std::vector<FastaRecord>& records, const std::string& tables_in,
                      const AnnotateOptions& options, const std::string& root, const std::vector<std::string>& starts) {
  Training t;
  t.dir = root + "/tables";
  const std::string work = root + "/train";
  const std::string outcome = work + "/outcome";  // "fitted seed_orfs", from the worker
  make_dir(t.dir);
  make_dir(work);
  Workers workers(root);
  workers.spawn(work, [&] {
    keep_freed_memory();
    std::vector<const std::string*> sequences;
    sequences.reserve(records.size());
    for (const FastaRecord& r : records) sequences.push_back(&r.sequence);
    SelfTrainOptions o;
    o.min_length = options.min_length + 2;  // the scan's measure
    o.start_codons = starts;
    o.stop_codons = stop_codons(options.genetic_code);
    o.threads = std::max(options.threads, 1);
    const SelfTrainResult r = self_train(sequences, tables_in, t.dir, o);
    File out(outcome, "w");
    if (!out.is_open()) throw Error("cannot write " + file_reason(outcome, out.open_error()));
    std::fprintf(out.get(), "%d %ld\n", r.fitted ? 1 : 0, r.seed_orfs);
    out.close_output();
  });
  workers.wait_all();
  File in(outcome, "r");
  int fitted = 0;
  if (!in.is_open() || std::fscanf(in.get(), "%d %ld", &fitted, &t.seed_orfs) != 2)
    throw Error("cannot read the outcome of the self-training in " + file_reason(outcome, in.open_error()));
  t.fitted = fitted == 1;
  return t;
}

// An argument as a shell reads it back: quoted when it holds anything but
// letters, digits and -_./,:=+
std::string shell_word(const std::string& arg) {
  bool plain = !arg.empty();
  for (unsigned char c : arg) plain = plain && (std::isalnum(c) != 0 || std::strchr("-_./,:=+", c) != nullptr);
  if (plain) return arg;
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The run's settings as a command line, every setting that changes the
// results spelled out (-t and -q, which do not, left out); the tables as
// the run chose them, so that the command chooses the same whatever the
// default.
std::string settings_command(const AnnotateOptions& o, const std::vector<std::string>& starts, TableSource source) {
  std::string c = PROGRAM;
  c += " -m " + std::to_string(o.method) + " -l " + std::to_string(o.min_length) + " -s " + join(starts, ",") +
       " -g " + std::to_string(o.genetic_code);
  if (!o.tables_dir.empty()) c += " -d " + shell_word(o.tables_dir);
  if (source == TableSource::Shipped) c += " --shipped-tables";
  if (source == TableSource::SelfTrained) c += " -T";
  if (o.longest_orf) c += " --longest-orf";
  if (o.closed_ends) c += " -c";
  c += " -o " + shell_word(o.outdir);
  if (!o.prefix.empty()) c += " -p " + shell_word(o.prefix);
  return c + " " + shell_word(o.input);
}

// Room for working files: a record whose files would take more than this
// many times its length (and more than the floor) is refused before it
// runs. The records of genomes need some 5 to 50 times their length at the
// recommended settings; a long run of start codons before one stop needs
// the square of it (the export lists every start's ORF).
constexpr unsigned long long WORK_SPACE_FACTOR = 1000;
constexpr unsigned long long WORK_SPACE_FLOOR = 1ULL << 30;

std::string megabytes(unsigned long long bytes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return buf;
}

// Chooses the directory for the working files from the needs of the
// records: every record must fit on its own, and the workers that run side
// by side (the largest records, at worst) together. Returns the directory
// and lowers the number of workers when only fewer fit. Throws Error naming
// the record that cannot run.
std::string choose_work_dir(const std::vector<FastaRecord>& records, const std::vector<WorkSpace>& needs,
                            int& n_workers, const Progress& progress) {
  constexpr unsigned long long slack = 64ULL << 20;  // outputs' fragments, trained tables
  struct rlimit fsize;
  const bool limited = getrlimit(RLIMIT_FSIZE, &fsize) == 0 && fsize.rlim_cur != RLIM_INFINITY;
  for (size_t i = 0; i < records.size(); ++i) {
    const unsigned long long ceiling =
        std::max(WORK_SPACE_FLOOR, WORK_SPACE_FACTOR * static_cast<unsigned long long>(records[i].sequence.size()));
    const std::string what = "record '" + records[i].id + "' (" + std::to_string(records[i].sequence.size()) +
                             " bases) would need " + megabytes(needs[i].bytes) + " of working files for its " +
                             std::to_string(needs[i].orfs) + " ORFs";
    if (needs[i].bytes > ceiling)
      throw Error(what + ", more than " + std::to_string(WORK_SPACE_FACTOR) +
                  " times its length: refused (long runs of start codons without a stop make the ORF list grow "
                  "with the square of their length)");
    if (limited && needs[i].largest_file > fsize.rlim_cur)
      throw Error(what + ", one file of " + megabytes(needs[i].largest_file) + ", more than the file-size limit (" +
                  megabytes(fsize.rlim_cur) + ")");
  }
  std::vector<unsigned long long> sorted;
  for (const WorkSpace& w : needs) sorted.push_back(w.bytes);
  std::sort(sorted.begin(), sorted.end(), std::greater<>());
  const std::vector<std::string> candidates = work_dir_candidates();
  std::string rooms;
  unsigned long long best_room = 0;
  std::string best_dir;
  for (const std::string& dir : candidates) {
    if (access(dir.c_str(), W_OK | X_OK) != 0) {
      rooms += (rooms.empty() ? "" : ", ") + file_reason(dir, errno);
      continue;
    }
    const unsigned long long room = work_dir_room(dir);
    const unsigned long long together =
        std::accumulate(sorted.begin(), sorted.begin() + n_workers, 0ULL) + slack * static_cast<unsigned long long>(n_workers);
    if (room >= together) return dir;
    rooms += (rooms.empty() ? "" : ", ") + ("'" + dir + "' " + megabytes(room));
    if (room > best_room) best_room = room, best_dir = dir;
  }
  // No directory holds the workers together: as many as fit in the roomiest.
  int fit = 0;
  unsigned long long used = 0;
  while (fit < n_workers && used + sorted[static_cast<size_t>(fit)] + slack <= best_room)
    used += sorted[static_cast<size_t>(fit++)] + slack;
  if (fit == 0) {
    const size_t largest = static_cast<size_t>(
        std::max_element(needs.begin(), needs.end(), [](const WorkSpace& a, const WorkSpace& b) { return a.bytes < b.bytes; }) -
        needs.begin());
    throw Error("record '" + records[largest].id + "' needs about " + megabytes(needs[largest].bytes + slack) +
                " of working files, more than any temporary directory offers (" + rooms +
                "); free some space or point TMPDIR at a directory with more");
  }
  progress.say("working files for " + std::to_string(fit) + " worker" + (fit == 1 ? "" : "s") +
               " at a time only (room in '" + best_dir + "': " + megabytes(best_room) + ")");
  n_workers = fit;
  return best_dir;
}
}  // namespace

std::string resolve_tables_dir(const std::string& dir, int method) {
  const std::string problem = tables_problem(dir, method);
  if (problem.empty()) return dir;
  const std::string inside = (fs::path(dir) / "data").string();
  if (tables_problem(inside, method).empty()) return inside;
  throw Error(problem);
}


void annotate(const AnnotateOptions& options) {
  SignalGuard signals;
  Progress progress(options.quiet);
  if (!is_supported_genetic_code(options.genetic_code))
    throw Error("the genetic code " + std::to_string(options.genetic_code) + " is not supported (11 or 4)");
  if (options.genetic_code != 11 && options.method != 1)
    throw Error("the genetic code " + std::to_string(options.genetic_code) +
                " works with method 1 only: the protein screens of methods 2 and 3 read TGA as a stop");
  const std::vector<std::string> starts = options.start_codons.empty() ? default_starts() : options.start_codons;
  const std::string tables_given = resolve_tables_dir(
      options.tables_dir.empty() ? default_tables_dir() : options.tables_dir, options.method);
  // The workers reach the tables through a link from their own directories.
  const std::string tables_in = fs::absolute(tables_given).lexically_normal().string();

  const std::vector<std::string> finals = output_paths(options);
  refuse_input_as_output(options.input, finals);

  const std::vector<FastaRecord> records = read_fasta(options.input, SignalGuard::check);
  long total_bases = 0;
  for (const FastaRecord& r : records) total_bases += static_cast<long>(r.sequence.size());
  progress.say("read " + std::to_string(records.size()) + " record" + (records.size() == 1 ? "" : "s") + ", " +
               std::to_string(total_bases) + " bases from " + input_display_name(options.input));
  const TableSource source = table_source(options, total_bases);
  const bool too_small = source == TableSource::Shipped && !options.shipped_tables;
  if (too_small)
    progress.say("the input holds " + std::to_string(total_bases) + " bases, fewer than the " +
                 std::to_string(SELF_TRAIN_MIN_BASES) +
                 " from which the tables are trained on it: predicting with the shipped tables (-T trains anyway)");

  PredictOptions predict;
  predict.method = options.method;
  predict.min_length = options.min_length + 2;  // the scan's measure: bases + 2
  predict.start_codons = starts;
  predict.stop_codons = stop_codons(options.genetic_code);
  predict.threads = std::max(options.threads, 1);
  AnnotationSettings settings;
  settings.method = options.method;
  settings.genetic_code = options.genetic_code;

  // The working space of every record, known before any runs.
  std::vector<WorkSpace> needs;
  needs.reserve(records.size());
  for (const FastaRecord& r : records) {
    needs.push_back(working_space(r.sequence, predict));
    SignalGuard::check();
  }
  // The workers' jobs: the records, long ones cut into pieces when several
  // workers would otherwise wait for a few long records (record_split.h).
  // The room for working files is reckoned per record: the pieces of a
  // record running side by side need about what the whole record needs.
  const std::vector<Job> jobs = plan_jobs(records, options.threads, min_piece_bases(), predict);
  const int record_workers =
      static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(options.threads, 1)), records.size()));
  int n_workers = record_workers;
  const std::string base = choose_work_dir(records, needs, n_workers, progress);
  if (n_workers == record_workers)
    n_workers = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(options.threads, 1)), jobs.size()));
  if (jobs.size() > records.size()) {
    size_t cut = 0;
    for (const Job& job : jobs) cut += job.piece == 0 && job.pieces > 1;
    progress.say("cutting " + std::to_string(cut) + " record" + (cut == 1 ? "" : "s") + " into " +
                 std::to_string(jobs.size() - (records.size() - cut)) + " pieces for " + std::to_string(n_workers) +
                 " workers");
  }

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

  TempDir root(base, "codonspace-annotate.");
  try {
    // The header's account of the tables: shipped, given:DIR or
    // self-trained, and why when it is not what the options asked for.
    std::string tables = tables_in;
    std::string tables_display = tables_given;
    const std::string input_tables = options.tables_dir.empty() ? "shipped" : "given:" + tables_in;
    std::string tables_note = input_tables;
    if (too_small)
      tables_note += " (" + std::to_string(total_bases) + " bases, fewer than the " +
                     std::to_string(SELF_TRAIN_MIN_BASES) + " of self-training)";
    if (source == TableSource::SelfTrained) {
      progress.say("training the tables on the input genome");
      const Training trained = train_tables(records, tables_in, options, root.path(), starts);
      check_tables(trained.dir, options.method);
      tables = trained.dir;
      if (trained.fitted) {
        tables_display = "<tables trained on the input>";
        tables_note = options.tables_dir.empty() ? "self-trained" : "self-trained from " + input_tables;
      } else {
        const std::string why = "too few long ORFs for a reliable fit (" + std::to_string(trained.seed_orfs) +
                                " of the " + std::to_string(MIN_SEED_ORFS) + " needed)";
        progress.say("self-training fell back to the " +
                     (options.tables_dir.empty() ? std::string("shipped tables") : "tables of '" + tables_given + "'") +
                     ": " + why);
        tables_note += " (self-training fell back: " + why + ")";
      }
    }

    const std::string results = root.path() + "/results";
    make_dir(results);
    SharedMemory shared;
    SharedProgress& counters = shared.get();
    SharedCounts pieces_done(records.size());
    {
      Workers workers(root.path());
      for (int k = 0; k < n_workers; ++k) {
        const std::string dir = root.path() + "/worker" + std::to_string(k);
        make_dir(dir);
        make_link(tables, dir + "/data");
        workers.spawn(dir, [&] {
          keep_freed_memory();
          // The jobs in order, longest first, so that the workers finish close together.
          for (;;) {
            const long i = counters.next_job.fetch_add(1);
            if (i >= static_cast<long>(jobs.size())) break;
            const Job& job = jobs[static_cast<size_t>(i)];
            const FastaRecord& record = records[job.record];
            try {
              if (job.pieces == 1)
                write_gene_list(genes_path(results, job.record), predict_record(record, predict));
              else
                write_gene_list(piece_genes_path(results, job.record, job.piece),
                                owned_genes(predict_record(piece_record(record, job.range), predict), job.range));
            } catch (const Error& e) {
              throw Error(with_tables_path(e.what(), tables_display));
            }
            counters.bases_done.fetch_add(job.range.own_end - job.range.own_begin);
            if (pieces_done[job.record].fetch_add(1) + 1 == static_cast<long>(job.pieces))
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
    // A record cut into pieces: its genes are those its pieces own.
    std::vector<size_t> pieces(records.size(), 1);
    for (const Job& job : jobs) pieces[job.record] = job.pieces;
    for (size_t r = 0; r < records.size(); ++r) {
      if (pieces[r] == 1) continue;
      std::vector<std::vector<Gene>> owned;
      for (size_t k = 0; k < pieces[r]; ++k) owned.push_back(read_gene_list(piece_genes_path(results, r, k)));
      write_gene_list(genes_path(results, r), merge_pieces(owned));
    }
    choose_starts(records, results, predict, settings, {options.longest_orf, options.closed_ends, tables}, [&progress](const std::string& text) { progress.say(text); });

    const std::vector<std::string> provenance = {
        std::string("Program: ") + PROGRAM + " " + CODONSPACE_VERSION,
        "Command: " + settings_command(options, starts, source),
        "Model Data: version=" + gff_source() + ";method=" + std::to_string(options.method) +
            ";min_length=" + std::to_string(options.min_length) + ";start_codons=" + join(starts, ",") +
            ";transl_table=" + std::to_string(options.genetic_code) + ";tables=" + tables_note};
    Outputs outputs(finals);
    std::vector<std::unique_ptr<OutputStream>> streams;
    for (size_t k = 0; k < 3; ++k) streams.push_back(outputs.create(k));
    // The three outputs joined side by side.
    size_t total_genes = 0;
    run_blocks(predict.threads, streams.size(), [&](size_t k) {
      OutputStream& out = *streams[k];
      if (k == 0) write_gff_header(out.get(), provenance, records);
      for (size_t i = 0; i < records.size(); ++i) {
        const size_t lines = append_file(out.get(), finals[k], fragment_path(results, i, k));
        if (k == 0) total_genes += lines - 1;  // less the record's comment line
        if (i % 64 == 0) {
          out.check_write();
          SignalGuard::check();
        }
      }
      out.close_output();
    });
    outputs.commit();
    outdir_cleanup.keep = true;
    char summary[128];
    std::snprintf(summary, sizeof summary, "%zu record%s, %ld bases, %zu genes in %.1f s; wrote ", records.size(),
                  records.size() == 1 ? "" : "s", total_bases, total_genes, progress.seconds());
    progress.say(summary + finals[0] + ", .faa, .ffn");
  } catch (const Error& e) {
    throw Error(without_work_paths(e.what(), root.path(), base));
  }
}

}  // namespace codonspace::annotate
