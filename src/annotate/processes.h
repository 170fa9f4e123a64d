// Process-level helpers of the annotation run: signal handling, private
// temporary directories and worker processes.
//
// The pipeline stages use fixed file names in the current directory and the
// current directory belongs to the whole process, so records run in
// parallel in worker processes, each in a directory of its own.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace codonspace::annotate {

// Thrown when one of the signals that end a run (SignalGuard) arrived; the
// run unwinds (removing its temporary directories and unfinished outputs)
// and ends with 128 + signal.
struct Interrupted {
  int signal;
};

// Catches SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM and
// SIGXCPU for its lifetime (without restarting interrupted system calls) and
// ignores SIGXFSZ and SIGPIPE (a file-size limit or a closed pipe then shows
// as a write error); restores the previous handlers afterwards.
class SignalGuard {
 public:
  // The signals caught.
  static const std::vector<int>& signals();

  SignalGuard();
  ~SignalGuard();
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

  // Throws Interrupted when a signal was caught.
  static void check();
};

// The directories that may hold the working files, in order of preference:
// $TMPDIR alone when it is set (made absolute: the workers change
// directory); else /dev/shm, then /tmp. The stages create and delete some
// twenty files per record; on a memory file system that costs next to
// nothing, on ext4 it costs more than the prediction (its inode allocator
// skips every inode deleted in the last minutes).
std::vector<std::string> work_dir_candidates();

// Bytes that files may still take in dir: its free space for unprivileged
// users, less a reserve of 5% of the file system (a directory in memory,
// /dev/shm, also keeps a quarter of the memory free for the programs); 0
// when dir is not a writable directory.
unsigned long long work_dir_room(const std::string& dir);

// A directory made with mkdtemp in base_dir, removed with all its content
// by the destructor.
class TempDir {
 public:
  TempDir(const std::string& base_dir, const std::string& name_prefix);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Child processes that each run one function in a directory of their own,
// with standard output sent to /dev/null (the stages print progress there)
// and standard error kept. A function ends its process with status 0; an
// exception ends it with status 1, its message kept for the parent.
class Workers {
 public:
  // Messages of failed workers are kept in files under message_dir.
  explicit Workers(std::string message_dir);
  // Kills and reaps every worker still running.
  ~Workers();
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  void spawn(const std::string& dir, const std::function<void()>& fn);
  // Waits for every worker, calling tick at least every quarter second. Throws
  // Interrupted when a signal arrives and Error when a worker fails (with
  // the worker's own message); the other workers are stopped first.
  void wait_all(const std::function<void()>& tick = {});

 private:
  void stop_all() noexcept;
  std::string message_dir_;
  std::vector<pid_t> running_;
  std::vector<int> slots_;  // message file number of each running worker
  int spawned_ = 0;
};

}  // namespace codonspace::annotate
