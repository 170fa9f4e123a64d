#include "annotate/processes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>

#include "io/file_io.h"

namespace codonspace::annotate {

namespace {
volatile sig_atomic_t g_signal = 0;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU};
constexpr size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction g_old[kSignalCount];
// Turned into write errors: a file-size limit, a closed pipe.
constexpr int kIgnored[] = {SIGXFSZ, SIGPIPE};
struct sigaction g_old_ignored[2];

extern "C" void on_signal(int sig) {
  if (g_signal == 0) g_signal = sig;
}

void write_all(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

// The child side of spawn(): never returns.
[[noreturn]] void run_child(pid_t parent, const std::string& dir, const std::string& message_file,
                            const std::function<void()>& fn) {
  for (int s : kSignals) signal(s, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(1);
  std::string message;
  try {
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0)
      throw Error("cannot send the standard output of a worker to '/dev/null': " + std::string(std::strerror(errno)));
    close(null_fd);
    if (chdir(dir.c_str()) != 0) throw Error("cannot enter the working directory " + file_reason(dir, errno));
    fn();
    std::fflush(stdout);
    _exit(0);
  } catch (const std::bad_alloc&) {
    message = "out of memory";
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "a worker process failed with an unexpected error";
  }
  const int fd = open(message_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd >= 0) {
    write_all(fd, message);
    close(fd);
  } else {
    write_all(STDERR_FILENO, "codonspace-annotate: " + message + "\n");
  }
  _exit(1);
}

std::string read_message(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}
}  // namespace

SignalGuard::SignalGuard() {
  g_signal = 0;
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a blocked read returns so the signal is seen
  for (size_t i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &sa, &g_old[i]);
  // A file-size limit or a closed pipe (standard error read by a program
  // that has quit) must become a write error that is reported and cleaned
  // up after, not a signal that ends a process without a word.
  struct sigaction ignore;
  std::memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (size_t i = 0; i < 2; ++i) sigaction(kIgnored[i], &ignore, &g_old_ignored[i]);
}

SignalGuard::~SignalGuard() {
  for (size_t i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_old[i], nullptr);
  for (size_t i = 0; i < 2; ++i) sigaction(kIgnored[i], &g_old_ignored[i], nullptr);
}

const std::vector<int>& SignalGuard::signals() {
  static const std::vector<int> all(std::begin(kSignals), std::end(kSignals));
  return all;
}

void SignalGuard::check() {
  if (g_signal != 0) throw Interrupted{g_signal};
}

std::vector<std::string> work_dir_candidates() {
  const char* tmp = std::getenv("TMPDIR");
  if (tmp != nullptr && *tmp != 0) {
    std::error_code ec;
    const std::filesystem::path abs = std::filesystem::absolute(tmp, ec);
    return {ec ? std::string(tmp) : abs.lexically_normal().string()};
  }
  return {"/dev/shm", "/tmp"};
}

namespace {
// Memory the system can still give to programs, in bytes.
unsigned long long available_memory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  unsigned long long kb = 0;
  while (meminfo >> key >> kb) {
    if (key == "MemAvailable:") return kb * 1024ULL;
    meminfo.ignore(1 << 10, '\n');
  }
  const long pages = sysconf(_SC_AVPHYS_PAGES), page = sysconf(_SC_PAGESIZE);
  return pages > 0 && page > 0 ? static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(page) : 0;
}
constexpr long kTmpfsMagic = 0x01021994;
}  // namespace

unsigned long long work_dir_room(const std::string& dir) {
  struct statvfs st;
  if (access(dir.c_str(), W_OK | X_OK) != 0 || statvfs(dir.c_str(), &st) != 0) return 0;
  const unsigned long long block = st.f_frsize != 0 ? st.f_frsize : st.f_bsize;
  const unsigned long long free_bytes = static_cast<unsigned long long>(st.f_bavail) * block;
  const unsigned long long reserve = static_cast<unsigned long long>(st.f_blocks) * block / 20;
  unsigned long long room = free_bytes > reserve ? free_bytes - reserve : 0;
  struct statfs fs;
  if (statfs(dir.c_str(), &fs) == 0 && static_cast<long>(fs.f_type) == kTmpfsMagic)
    room = std::min(room, available_memory() / 4 * 3);
  return room;
}

TempDir::TempDir(const std::string& base_dir, const std::string& name_prefix) {
  std::string templ = base_dir + "/" + name_prefix + "XXXXXX";
  if (mkdtemp(templ.data()) == nullptr)
    throw Error("cannot create a temporary directory in " + file_reason(base_dir, errno));
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

Workers::Workers(std::string message_dir) : message_dir_(std::move(message_dir)) {}

Workers::~Workers() { stop_all(); }

void Workers::stop_all() noexcept {
  for (pid_t pid : running_) kill(pid, SIGKILL);
  for (pid_t pid : running_) {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  running_.clear();
  slots_.clear();
}

void Workers::spawn(const std::string& dir, const std::function<void()>& fn) {
  const int slot = spawned_++;
  const std::string message_file = message_dir_ + "/worker" + std::to_string(slot) + ".message";
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) throw Error("cannot start a worker process: " + std::string(std::strerror(errno)));
  if (pid == 0) run_child(parent, dir, message_file, fn);
  running_.push_back(pid);
  slots_.push_back(slot);
}

void Workers::wait_all(const std::function<void()>& tick) {
  // SIGCHLD held back, so that sigtimedwait below wakes as soon as a worker
  // ends (a SIGCHLD sent while the workers are reaped stays pending).
  sigset_t chld, old;
  sigemptyset(&chld);
  sigaddset(&chld, SIGCHLD);
  sigprocmask(SIG_BLOCK, &chld, &old);
  struct Restore {
    sigset_t* old;
    ~Restore() { sigprocmask(SIG_SETMASK, old, nullptr); }
  } restore{&old};
  while (!running_.empty()) {
    SignalGuard::check();
    for (size_t i = 0; i < running_.size();) {
      int status = 0;
      const pid_t r = waitpid(running_[i], &status, WNOHANG);
      if (r == 0 || (r < 0 && errno == EINTR)) {
        ++i;
        continue;
      }
      const int slot = slots_[i];
      running_.erase(running_.begin() + static_cast<long>(i));
      slots_.erase(slots_.begin() + static_cast<long>(i));
      if (r > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) continue;
      stop_all();
      SignalGuard::check();  // a worker killed by the user's Ctrl-C
      std::string message = read_message(message_dir_ + "/worker" + std::to_string(slot) + ".message");
      if (message.empty()) {
        if (r < 0)
          message = "lost track of a worker process: " + std::string(std::strerror(errno));
        else if (WIFSIGNALED(status))
          message = "a worker process was ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
                    strsignal(WTERMSIG(status)) + ")";
        else
          message = "a worker process failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
      }
      throw Error(message);
    }
    if (tick) tick();
    if (running_.empty()) break;
    // Wakes on a worker's end, on a caught signal (EINTR), or after
    // a quarter second for the progress report.
    const struct timespec pause = {0, 250 * 1000 * 1000};
    sigtimedwait(&chld, nullptr, &pause);
  }
  SignalGuard::check();
}

}  // namespace codonspace::annotate
