// The command line, the stage order of each method and the clean-up of the
// working files. The executable is a thin wrapper around run_codonspace().
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/genetic_code.h"

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

// One stage of a method: its name in error messages, its function (0 on
// success; every failure throws) and whether it writes the result files.
struct Stage {
  const char* name;
  int (*run)();
  bool writes_results;
};
// The stages of method 1, 2 or 3 that follow the ORF scan, in order; throws
// Error for any other method.
std::vector<Stage> method_stages(int method);

// A run from the genome intake to the result files: the intake of the open
// genome (closed), the ORF scan and the method's stages. Throws Error whose
// message starts with the failing stage's name; a failure while the result
// files are written removes them first. Leaves the working files in place.
void run_pipeline(FILE* genome, const std::string& genome_name, int method, int min_length,
                  const std::vector<std::string>& start_codons,
                  const std::vector<std::string>& stop_codons = standard_stop_codons());

// The whole program: arguments as given to main. Returns the exit status:
// 0 for a completed run (and for -h/--help and --version), 1 otherwise.
int run_codonspace(int argc, char** argv);

}  // namespace codonspace
