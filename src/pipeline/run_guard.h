// Protection of the user's directory during a run of `codonspace`.
//
// A run writes working and result files with fixed names in the current
// directory. Before anything is written, RunGuard::start
//  - takes an exclusive lock on the directory, so that a second run there is
//    refused at once instead of corrupting the first one;
//  - refuses the run when a file (or link, or directory) already carries the
//    name of one of the method's working files: the run would overwrite it
//    and then delete it;
//  - refuses the run when a result name is a symbolic link or not a regular
//    file, or when an earlier result file cannot be opened for writing (a
//    failure half-way through the results would otherwise cost the other
//    result files of the earlier run);
//  - installs handlers for SIGINT, SIGTERM, SIGHUP, SIGQUIT and SIGPIPE that
//    remove the working files (and results being written) and end the
//    process with the signal's usual status, 128 + the signal number.
#pragma once

#include <signal.h>

#include <string>
#include <vector>

namespace codonspace {

// The names of the method's working files that exist in the current
// directory in any form (file, link, directory), in working_files() order.
std::vector<std::string> existing_working_files(int option);

// One sentence per result name that a run could not safely replace: a
// symbolic link, something other than a regular file, or a file that cannot
// be opened for writing. Empty when all seven can be written.
std::vector<std::string> result_file_problems();

// The signals whose arrival removes the run's files.
inline constexpr int GUARDED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

class RunGuard {
 public:
  RunGuard() = default;
  // Restores the earlier signal dispositions and releases the lock.
  ~RunGuard();
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

  // Locks the current directory, checks the names of method `option`, then
  // arms the signal handlers. Returns false, with the reasons written to
  // standard error and nothing written to the directory, when the run must
  // not go ahead.
  bool start(int option);

 private:
  int lock_fd_ = -1;
  bool armed_ = false;
  struct sigaction old_actions_[sizeof GUARDED_SIGNALS / sizeof GUARDED_SIGNALS[0]] = {};
};

// Marks the span in which the result files are written: a signal arriving
// then removes them as well, so that no half-written result is left.
void set_results_being_written(bool on);

}  // namespace codonspace
