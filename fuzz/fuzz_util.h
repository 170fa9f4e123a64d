// Helpers shared by the fuzz targets, and their LLVMFuzzerInitialize.
//
// The stages read and write working files with fixed names in the current
// directory, so every target that runs stages first moves into a private
// temporary directory (removed at exit) holding a copy of the shipped tables
// under data/. Standard output, where stages print their messages, goes to
// /dev/null: the fuzzer reports on standard error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "annotate/fasta.h"

namespace codonspace::fuzz {

// Once per process (every target's LLVMFuzzerInitialize calls it): makes the private directory, copies the tables into its
// data/ and makes it the current directory. Aborts when any of it fails.
void enter_private_dir();

// Writes the bytes to the file (created or emptied); aborts on failure.
void write_file(const char* name, std::string_view bytes);

// The whole file; empty, with found set to false, when it cannot be opened.
std::string read_file(const char* name, bool* found = nullptr);

// Splits the input at NUL bytes into at most parts pieces; the last piece
// keeps the rest of the input, NUL bytes included. Missing pieces are empty.
std::vector<std::string_view> split_input(const uint8_t* data, size_t size, size_t parts);

// What a FASTA reading gives, as text: each record's name, line and
// sequence, or "error: " and the message of the Error it throws.
std::string fasta_outcome(const std::function<std::vector<annotate::FastaRecord>()>& read);

// Prints the reason on standard error and aborts, so the fuzzer records the
// input as a failure.
[[noreturn]] void fail(const std::string& reason);

}  // namespace codonspace::fuzz
