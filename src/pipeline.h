// The command line, the stage order of each method and the clean-up of the
// working files. The executable is a thin wrapper around run_codonspace().
#pragma once

#include <string>
#include <vector>

namespace codonspace {

// Writes the usage text to standard output.
void printUsage();
// True when the file can be opened for reading.
bool FileExists(const char* FileName);
// Removes the file if it exists; a failed removal is reported on standard
// error as "Error deleting file: reason". Always 0.
int rmvFile(const char* fileName);

// The working files a run of this method leaves behind, in removal order.
std::vector<const char*> working_files(int option);
void remove_working_files(int option);
// Removes the seven result files (after a failure while writing them).
void remove_result_files();

// Runs the stages of the method in order. Returns 0 when all succeeded, or
// -1 as soon as one fails; throws Error from a stage that throws.
int run_method(int option);

// The whole program: arguments as given to main. Returns the exit status:
// 0 for a completed run (and for -h/--help and --version), 1 otherwise.
int run_codonspace(int argc, char** argv);

}  // namespace codonspace
