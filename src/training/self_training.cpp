// Self-training without annotation.
//
// 1. Seed. Long ORFs (the longest ORF of stops whose ORF reaches 900 bases)
//    are nearly all genes, and the five other frames over the same bases
//    (shifted frames and the opposite strand, their "shadows") nearly never
//    are. Z starts as the codon log-odds of the seeds against their shadows.
// 2. Labelling. Every stop group gets the best score of its ORFs. Groups
//    with a positive score are taken as genes in order of decreasing score,
//    unless they overlap a gene already taken by more than a quarter of
//    their length (and more than 60 bases): the genes of a prokaryote
//    rarely overlap, so the weaker of two overlapping ORFs is a shadow.
//    Everything else is labelled a non-gene.
// 3. Fit. A logistic regression of the labels on the codon counts of each
//    group's best ORF gives new weights: 61 codon weights (log-likelihood
//    ratios in effect) and, in the three stop codons, the per-ORF intercept.
//    Steps 2 and 3 repeat a few times.
// The weights become Z (scaled, rounded as written) with the plane 0 0 1 0:
// an ORF passes when its summed weights are positive.
#include "training/self_training.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <cstring>
#include <filesystem>
#include <map>
#include <tuple>

#include "core/parallel_blocks.h"
#include "core/table_files.h"
#include "io/file_io.h"
#include "training/logistic_fit.h"
#include "training/model_tables.h"
#include "training/orf_scan.h"

namespace codonspace {

namespace {
constexpr long SEED_LENGTH = 900;
}  // namespace

namespace training {

namespace {

constexpr int ROUNDS = 5;
constexpr double RIDGE = 1.0;

// Codon log-odds of the seeds' own frame against their five shadow frames.
std::vector<double> seed_weights(const std::vector<ScannedRecord>& records, const std::vector<int>& stops,
                                 long seed_length, long& seeds) {
  std::vector<double> gene(NUMBER_OF_CODONS, 0.0), shadow(NUMBER_OF_CODONS, 0.0);
  seeds = 0;
  for (const ScannedRecord& r : records)
    for (const StopGroup& g : r.scan.groups) {
      const Orf& o = r.scan.orfs[g.first];
      if (orf_bases(o) < seed_length) continue;
      ++seeds;
      const long codons = orf_bases(o) / 3;
      for (long k = 0; k < codons; ++k) gene[static_cast<size_t>(r.codons.codon(o, k))] += 1;
      const long lo = orf_low(o) - 1, hi = orf_high(o) - 1;  // 0-based, inclusive
      for (long p = lo; p + 2 <= hi; ++p)
        if (!(o.b1 < o.b2 && (p - lo) % 3 == 0)) shadow[r.codons.forward[static_cast<size_t>(p)]] += 1;
      for (long p = lo + 2; p <= hi; ++p)
        if (!(o.b1 > o.b2 && (hi - p) % 3 == 0)) shadow[r.codons.reverse[static_cast<size_t>(p)]] += 1;
    }
  bool is_stop[NUMBER_OF_CODONS] = {};
  for (int s : stops) is_stop[s] = true;
  double sense = 0;
  for (int n = 0; n < NUMBER_OF_CODONS; ++n) sense += is_stop[n] ? 0 : 1;
  double sg = 0, ss = 0;
  for (int n = 0; n < NUMBER_OF_CODONS; ++n)
    if (!is_stop[n]) {
      sg += gene[n];
      ss += shadow[n];
    }
  std::vector<double> w(NUMBER_OF_CODONS, 0.0);
  for (int n = 0; n < NUMBER_OF_CODONS; ++n)
    if (!is_stop[n]) w[n] = std::log((gene[n] + 1) / (sg + sense)) - std::log((shadow[n] + 1) / (ss + sense));
  return w;
}

}  // namespace

std::vector<std::vector<unsigned char>> label_genes(std::vector<GeneCandidate> cand,
                                                    const std::vector<size_t>& groups) {
  std::sort(cand.begin(), cand.end(), [](const GeneCandidate& a, const GeneCandidate& b) {
    return std::tie(b.score, a.record, a.group) < std::tie(a.score, b.record, b.group);
  });
  std::vector<std::vector<unsigned char>> gene(groups.size());
  for (size_t ri = 0; ri < groups.size(); ++ri) gene[ri].assign(groups[ri], 0);
  std::vector<std::map<long, long>> taken(groups.size());  // low -> high of accepted genes
  std::vector<long> widest(groups.size(), 0);
  for (const GeneCandidate& c : cand) {
    const long length = c.high - c.low + 1;
    bool clash = false;
    auto& t = taken[c.record];
    for (auto it = t.lower_bound(c.low - widest[c.record]); it != t.end() && it->first <= c.high; ++it) {
      const long overlap = std::min(c.high, it->second) - std::max(c.low, it->first) + 1;
      if (overlap > 60 && 4 * overlap > length) {
        clash = true;
        break;
      }
    }
    if (clash) continue;
    t.emplace(c.low, c.high);
    widest[c.record] = std::max(widest[c.record], length);
    gene[c.record][c.group] = 1;
  }
  return gene;
}

namespace {

// Stop groups per block of the per-group work.
constexpr size_t GROUP_BLOCK = 2048;

// A stop group of a record: the unit of the labelling and of the samples.
struct GroupRef {
  size_t record, group;
};

// The codon weights fitted by self-training, the stop codons given by index;
// genes_labelled receives the number of genes of the last labelling.
std::vector<double> self_trained_weights(const std::vector<ScannedRecord>& records, const std::vector<int>& stops,
                                         int threads, long& genes_labelled) {
  long longest = 0;
  std::vector<GroupRef> all;  // every group, record by record
  for (size_t ri = 0; ri < records.size(); ++ri) {
    const OrfScan& scan = records[ri].scan;
    for (size_t gi = 0; gi < scan.groups.size(); ++gi) {
      all.push_back(GroupRef{ri, gi});
      longest = std::max(longest, orf_bases(scan.orfs[scan.groups[gi].first]));
    }
  }
  if (all.empty()) throw Error("the genome has no ORF of the minimum length to learn from");
  // Short genomes may have no ORF of the seed length; the longest ORFs seed
  // the model then.
  long seeds = 0;
  std::vector<double> w = seed_weights(records, stops, std::min(SEED_LENGTH, longest), seeds);
  genes_labelled = 0;

  std::vector<size_t> groups_of(records.size());
  for (size_t ri = 0; ri < records.size(); ++ri) groups_of[ri] = records[ri].scan.groups.size();
  const size_t blocks = block_count(all.size(), GROUP_BLOCK);
  std::vector<GroupBest> best(all.size());
  Samples s;
  s.resize(all.size());
  for (int round = 1; round <= ROUNDS; ++round) {
    // Every group's best ORF under the current weights, in blocks of groups.
    run_blocks(threads, blocks, [&](size_t b) {
      const size_t end = std::min(all.size(), (b + 1) * GROUP_BLOCK);
      for (size_t i = b * GROUP_BLOCK; i < end;) {  // runs of one record's groups
        const size_t ri = all[i].record, first = all[i].group;
        const size_t last = std::min(groups_of[ri], first + (end - i));
        best_per_group(records[ri], w.data(), first, last, &best[i]);
        i += last - first;
      }
    });
    std::vector<GeneCandidate> cand;
    for (size_t i = 0; i < all.size(); ++i)
      if (best[i].score > 0) {
        const OrfScan& scan = records[all[i].record].scan;
        const Orf& o = scan.orfs[scan.groups[all[i].group].first + best[i].orf];
        cand.push_back(GeneCandidate{best[i].score, all[i].record, all[i].group, orf_low(o), orf_high(o)});
      }
    const std::vector<std::vector<unsigned char>> gene = label_genes(std::move(cand), groups_of);
    long labelled = 0;
    for (const auto& g : gene) labelled += std::count(g.begin(), g.end(), 1);
    // The samples: the codon counts of every group's best ORF and its label.
    run_blocks(threads, blocks, [&](size_t b) {
      const size_t end = std::min(all.size(), (b + 1) * GROUP_BLOCK);
      for (size_t i = b * GROUP_BLOCK; i < end; ++i) {
        const ScannedRecord& r = records[all[i].record];
        orf_counts(r, r.scan.orfs[r.scan.groups[all[i].group].first + best[i].orf], &s.counts[i * NUMBER_OF_CODONS]);
        s.gene[i] = gene[all[i].record][all[i].group];
      }
    });
    fit_logistic(s, stops, RIDGE, 0, round == 1 ? 30 : 10, w.data(), threads);
    genes_labelled = labelled;
  }
  return w;
}

}  // namespace

}  // namespace training

namespace {

namespace fs = std::filesystem;

// The files a tables directory holds; an existing output directory with
// anything else in it is not replaced.
constexpr const char* TABLE_FILES[] = {table_files::X_VALUES,  table_files::Y_VALUES,
                                       table_files::REFERENCE_COMPOSITION,
                                       "HBondNos.dat", "StackingEnergies_Original.dat", table_files::Z_VALUES,
                                       table_files::PLANE};

// Stop groups whose longest ORF is long enough to seed the model.
long seed_orfs(const std::vector<training::ScannedRecord>& records) {
  long n = 0;
  for (const training::ScannedRecord& r : records)
    for (const training::StopGroup& g : r.scan.groups) n += training::orf_bases(r.scan.orfs[g.first]) >= SEED_LENGTH;
  return n;
}

bool is_table_file(const std::string& name) {
  for (const char* t : TABLE_FILES)
    if (name == t) return true;
  return false;
}

// Checks that tables_out may be replaced by a new directory: not tables_in
// (same device and inode, links followed), not a symbolic link, and either
// missing or a directory of table files only. Throws Error otherwise.
void check_output(const fs::path& out, const std::string& shown, const std::string& tables_in) {
  const std::string where = "the output tables directory '" + shown + "'";
  struct stat in_st {}, out_st {};
  if (::stat(tables_in.c_str(), &in_st) == 0 && ::stat(out.c_str(), &out_st) == 0 && in_st.st_dev == out_st.st_dev &&
      in_st.st_ino == out_st.st_ino)
    throw Error(where + " is the input tables directory '" + tables_in +
                "': training would overwrite the tables it reads; give another output directory");
  struct stat link_st {};
  if (::lstat(out.c_str(), &link_st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return;  // created later (ENOTDIR: reported then)
    throw Error("cannot read " + file_reason(shown, errno));
  }
  if (S_ISLNK(link_st.st_mode))
    throw Error(where + " is a symbolic link; training writes a new directory and never writes through a " +
                "link: remove the link or give another output directory");
  if (!S_ISDIR(link_st.st_mode)) throw Error(where + " exists and is not a directory");
  std::error_code ec;
  for (fs::directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!is_table_file(name) || !it->is_regular_file())
      throw Error(where + " holds '" + name + "', which is not a table; it is left alone: remove it or give " +
                  "another output directory");
  }
  if (ec) throw Error("cannot list " + file_reason(shown, ec.value()));
}

// Holds back the termination signals while it lives, so that an interrupt
// cannot leave a staging directory behind; they arrive when it ends.
class TerminationSignalsHeld {
 public:
  TerminationSignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&set, sig);
    held_ = pthread_sigmask(SIG_BLOCK, &set, &old_) == 0;
  }
  ~TerminationSignalsHeld() {
    if (held_) pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
  TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

 private:
  sigset_t old_;
  bool held_ = false;
};

// A temporary directory beside the output, removed unless released.
struct StagingDir {
  std::string path;
  ~StagingDir() {
    if (path.empty()) return;
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

// Moves the complete directory staged into out's place. An existing out
// (checked by check_output) is exchanged atomically where the file system
// can, else moved aside first; the old tables are then removed.
void move_into_place(StagingDir& staged, const fs::path& out, const std::string& shown) {
  if (::rename(staged.path.c_str(), out.c_str()) == 0) {
    staged.path.clear();
    return;
  }
  if (errno != ENOTEMPTY && errno != EEXIST) throw Error("cannot create " + file_reason(shown, errno));
  if (::renameat2(AT_FDCWD, staged.path.c_str(), AT_FDCWD, out.c_str(), RENAME_EXCHANGE) == 0) return;
  // No atomic exchange on this file system: out -> aside, staged -> out.
  const std::string aside = staged.path + ".old";
  if (::rename(out.c_str(), aside.c_str()) != 0) throw Error("cannot replace " + file_reason(shown, errno));
  if (::rename(staged.path.c_str(), out.c_str()) != 0) {
    const int err = errno;
    ::rename(aside.c_str(), out.c_str());
    throw Error("cannot replace " + file_reason(shown, err));
  }
  staged.path = aside;  // the old tables, removed by the guard
}

}  // namespace

SelfTrainResult self_train(const std::vector<std::string>& records, const std::string& tables_in,
                           const std::string& tables_out, const SelfTrainOptions& options) {
  std::vector<const std::string*> held;
  held.reserve(records.size());
  for (const std::string& r : records) held.push_back(&r);
  return self_train(held, tables_in, tables_out, options);
}

SelfTrainResult self_train(const std::vector<const std::string*>& records, const std::string& tables_in,
                           const std::string& tables_out, const SelfTrainOptions& options) {
  fs::path out = fs::path(tables_out).lexically_normal();
  if (!out.has_filename()) out = out.parent_path();  // "dir/"
  if (out.empty() || out.filename() == "." || out.filename() == "..")
    throw Error("the output tables directory '" + tables_out + "' must name a directory to create");
  check_output(out, tables_out, tables_in);

  std::vector<std::string> starts = options.start_codons;
  if (starts.empty())
    for (const char* s : DEFAULT_START_CODONS) starts.emplace_back(s);
  std::string list;
  for (const std::string& s : starts) list += (list.empty() ? "" : ",") + s;
  starts = training::parse_start_list(list);
  if (options.min_length < 1)
    throw Error("self-training for '" + tables_out + "': the minimum length must be positive");
  if (options.stop_codons.empty()) throw Error("self-training for '" + tables_out + "': no stop codon given");
  for (const std::string& c : options.stop_codons)
    if (c.size() != 3 || strict_codon_index(c.c_str()) < 0)
      throw Error("self-training for '" + tables_out + "': the stop codon '" + c +
                  "' is not three letters A, C, G, T in upper case");
  if (options.threads < 1)
    throw Error("self-training for '" + tables_out + "': the number of threads must be positive");

  training::ModelTables t;
  load_codon_value_list(tables_in + "/" + table_files::X_VALUES, t.x.data());
  load_codon_value_list(tables_in + "/" + table_files::Y_VALUES, t.y.data());

  std::vector<training::ScannedRecord> scanned;
  scanned.reserve(records.size());
  for (const std::string* r : records)
    scanned.emplace_back(*r, options.min_length, starts, options.stop_codons, options.threads);
  SelfTrainResult result;
  result.seed_orfs = seed_orfs(scanned);
  std::vector<double> w;
  if (result.seed_orfs >= MIN_SEED_ORFS) {
    try {
      w = training::self_trained_weights(scanned, training::codon_indices(options.stop_codons), options.threads,
                                         result.genes_labelled);
    } catch (const Error& e) {
      throw Error("cannot self-train the tables of '" + tables_out + "': " + e.what());
    }
    training::set_model(t, w.data());
    result.fitted = true;
  } else {
    result.note = "the genome is too small for a reliable fit (" + std::to_string(result.seed_orfs) +
                  " ORFs of 900 bases or more, at least " + std::to_string(MIN_SEED_ORFS) +
                  " needed): '" + tables_out + "' holds the z.dat and plane of '" + tables_in + "' instead";
  }

  const fs::path parent = out.has_parent_path() ? out.parent_path() : fs::path(".");
  std::error_code ec;
  fs::create_directories(parent, ec);
  if (ec) throw Error("cannot create the tables directory '" + tables_out + "': " + ec.message());
  // Writing the tables takes milliseconds; the fit before it may be
  // interrupted at any time.
  const TerminationSignalsHeld held;
  StagingDir staged;
  std::string templ = (parent / ("." + out.filename().string() + ".new-XXXXXX")).string();
  if (::mkdtemp(templ.data()) == nullptr)
    throw Error("cannot create the tables directory '" + tables_out + "': " + std::strerror(errno));
  staged.path = templ;
  // mkdtemp makes it private; a tables directory gets the usual mode.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::chmod(staged.path.c_str(), 0777 & ~mask) != 0)
    throw Error("cannot create the tables directory '" + tables_out + "': " + std::strerror(errno));
  try {
    std::vector<std::string> copied(std::begin(table_files::UNTRAINED), std::end(table_files::UNTRAINED));
    if (!result.fitted) copied.insert(copied.end(), {table_files::Z_VALUES, table_files::PLANE});
    // The alternative axes are not read by a run; they travel along when present.
    for (const char* name : {"HBondNos.dat", "StackingEnergies_Original.dat"})
      if (fs::exists(tables_in + "/" + name, ec)) copied.emplace_back(name);
    for (const std::string& name : copied) copy_file(tables_in + "/" + name, staged.path + "/" + name);
    if (result.fitted) training::write_trained_tables(staged.path, t);
  } catch (const Error& e) {
    // Name the user's directory, not the staging one.
    std::string text = e.what();
    for (size_t p; (p = text.find(staged.path)) != std::string::npos;) text.replace(p, staged.path.size(), tables_out);
    throw Error(text);
  }
  // The output may have appeared or changed while training ran.
  check_output(out, tables_out, tables_in);
  move_into_place(staged, out, tables_out);
  return result;
}

}  // namespace codonspace
