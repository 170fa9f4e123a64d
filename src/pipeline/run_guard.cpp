#include "pipeline/run_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "io/file_io.h"
#include "pipeline/pipeline.h"
#include "stages/stages.h"

namespace codonspace {

namespace {

// What the signal handler removes, fixed before the handlers are armed: the
// names point to string constants, so the handler only reads them.
constexpr int kMaxWorkingFiles = 32;
constexpr int kResultFiles = 7;
const char* g_working[kMaxWorkingFiles];
volatile sig_atomic_t g_working_count = 0;
const char* g_results[kResultFiles];
volatile sig_atomic_t g_results_partial = 0;
volatile sig_atomic_t g_armed = 0;

// Async-signal-safe: unlink, the signal-mask calls, raise and _exit only.
extern "C" void remove_files_and_die(int sig) {
  if (g_armed != 0) {
    for (sig_atomic_t i = 0; i < g_working_count; ++i) unlink(g_working[i]);
    if (g_results_partial != 0)
      for (const char* name : g_results) unlink(name);
  }
  // A core dump (SIGQUIT's default action) would land in the user's
  // directory: end with the status instead.
  if (sig == SIGQUIT) _exit(128 + sig);
  // SA_RESETHAND has restored the default action; the signal, blocked while
  // the handler runs, is delivered as soon as it is unblocked, so the parent
  // sees the process end by that signal.
  raise(sig);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  _exit(128 + sig);
}

std::string current_directory() {
  char buf[4096];
  return getcwd(buf, sizeof buf) != nullptr ? std::string(buf) : std::string(".");
}

std::vector<const char*> result_files() {
  std::vector<const char*> names = {GENE_SEQUENCES};
  for (const char* f : FRAME_FILES) names.push_back(f);
  return names;
}

std::string joined(const std::vector<std::string>& names, const char* separator) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : separator) + n;
  return s;
}
}  // namespace

std::vector<std::string> existing_working_files(int option) {
  std::vector<std::string> found;
  for (const char* name : working_files(option)) {
    struct stat st;
    if (lstat(name, &st) == 0) found.emplace_back(name);
  }
  return found;
}

std::vector<std::string> result_file_problems() {
  std::vector<std::string> problems;
  for (const char* name : result_files()) {
    struct stat st;
    if (lstat(name, &st) != 0) continue;
    const std::string quoted = std::string("'") + name + "'";
    if (S_ISLNK(st.st_mode)) {
      problems.push_back("the result name " + quoted +
                         " is a symbolic link; a run does not write through links: remove or rename it");
    } else if (!S_ISREG(st.st_mode)) {
      problems.push_back("the result name " + quoted + " is not a regular file: remove or rename it");
    } else {
      // Opening for writing without truncation tells whether the file can
      // be replaced, and changes nothing.
      const int fd = open(name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0)
        problems.push_back("cannot replace the result file " + file_reason(name, errno) +
                           " of an earlier run: make it writable, or move it");
      else
        close(fd);
    }
  }
  return problems;
}

bool RunGuard::start(int option) {
  const std::string dir = current_directory();
  lock_fd_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock_fd_ >= 0 && flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    if (err == EWOULDBLOCK) {
      std::fprintf(stderr,
                   "codonspace: another codonspace run is working in the directory '%s'; wait until it "
                   "ends or run in another directory\n",
                   dir.c_str());
      return false;
    }
    std::fprintf(stderr, "codonspace: warning: cannot lock the directory %s; make sure no other run uses it\n",
                 file_reason(dir, err).c_str());
  } else if (lock_fd_ < 0) {
    std::fprintf(stderr, "codonspace: warning: cannot lock the directory %s; make sure no other run uses it\n",
                 file_reason(dir, errno).c_str());
  }

  bool ok = true;
  const std::vector<std::string> clashes = existing_working_files(option);
  if (!clashes.empty()) {
    ok = false;
    std::fprintf(stderr,
                 "codonspace: the directory '%s' already holds files with the names of working files of "
                 "method %d, which a run would overwrite and then delete: %s\n",
                 dir.c_str(), option, joined(clashes, ", ").c_str());
    bool interrupted = false;
    for (const std::string& name : clashes) interrupted = interrupted || name == PROCESSED_GENOME;
    if (interrupted)
      std::fprintf(stderr,
                   "codonspace: they look like the working files of an interrupted run; if they are, "
                   "remove them (rm -- %s) and run again\n",
                   joined(clashes, " ").c_str());
    else
      std::fprintf(stderr, "codonspace: move or rename them, or run in another directory\n");
  }
  for (const std::string& problem : result_file_problems()) {
    ok = false;
    std::fprintf(stderr, "codonspace: %s\n", problem.c_str());
  }
  if (!ok) return false;

  const std::vector<const char*> names = working_files(option);
  int count = 0;
  for (const char* name : names)
    if (count < kMaxWorkingFiles) g_working[count++] = name;
  g_working_count = count;
  const std::vector<const char*> results = result_files();
  for (int i = 0; i < kResultFiles; ++i) g_results[i] = results[static_cast<size_t>(i)];
  g_results_partial = 0;
  g_armed = 1;
  armed_ = true;
  struct sigaction action = {};
  action.sa_handler = remove_files_and_die;
  action.sa_flags = SA_RESETHAND;
  sigfillset(&action.sa_mask);
  // A signal ignored when the program started (nohup, a background job)
  // stays ignored.
  for (size_t i = 0; i < std::size(GUARDED_SIGNALS); ++i) {
    sigaction(GUARDED_SIGNALS[i], nullptr, &old_actions_[i]);
    if (old_actions_[i].sa_handler != SIG_IGN) sigaction(GUARDED_SIGNALS[i], &action, nullptr);
  }
  return true;
}

RunGuard::~RunGuard() {
  if (armed_) {
    g_armed = 0;
    for (size_t i = 0; i < std::size(GUARDED_SIGNALS); ++i) sigaction(GUARDED_SIGNALS[i], &old_actions_[i], nullptr);
  }
  if (lock_fd_ >= 0) close(lock_fd_);
}

void set_results_being_written(bool on) { g_results_partial = on ? 1 : 0; }

}  // namespace codonspace
