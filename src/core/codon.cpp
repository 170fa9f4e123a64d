#include "core/codon.h"

#include <algorithm>
#include <cstdio>

#include "io/file_io.h"

namespace codonspace {

const char* HBOND_ENERGY_FILE = "data/HBondEnergies_MDmapped3.dat";
const char* STACKING_ENERGY_FILE = "data/StackingEnergies_MD.dat";
const char* Z_VALUES_FILE = "data/z.dat";
const char* HBOND_NUMBERS_FILE = "data/HBondNos.dat";
const char* STACKING_ORIGINAL_FILE = "data/StackingEnergies_Original.dat";

int p(int power) {
  if (power == 0) return 1;
  if (power == 1) return 4;
  return 16;
}

std::string str_rep(int i) {
  static const char letters[4] = {'C', 'G', 'T', 'A'};
  std::string s(3, 'C');
  for (int k = 2; k >= 0; --k) {
    s[k] = letters[i % 4];
    i /= 4;
  }
  return s;
}

namespace {
File open_table(const std::string& path) {
  File f(path, "r");
  if (!f.is_open()) throw Error("cannot open reference table " + file_reason(path, f.open_error()));
  return f;
}

bool is_codon_token(const std::string& w) {
  if (w.size() != 3) return false;
  for (char c : w)
    if (c != 'A' && c != 'C' && c != 'G' && c != 'T') return false;
  return true;
}
}  // namespace

void load_codon_value_list(const std::string& path, float* arr) {
  File f = open_table(path);
  Scanner in(f);
  std::string token;
  float values[NUMBER_OF_CODONS];
  int times_named[NUMBER_OF_CODONS] = {};
  for (int pair = 1; pair <= NUMBER_OF_CODONS; ++pair) {
    if (!in.next_word(token))
      throw Error("'" + path + "': holds " + std::to_string(pair - 1) + " codon-value pairs, 64 are needed");
    if (!is_codon_token(token))
      throw Error("'" + path + "': entry " + std::to_string(pair) + ": '" + token +
                  "' is not a codon of three letters A, C, G, T");
    float value;
    if (!in.next_float(value))
      throw Error("'" + path + "': entry " + std::to_string(pair) + " (" + token + ") has no value");
    const int codon = codon_srno(token.c_str());
    values[codon] = value;
    ++times_named[codon];
  }
  // 64 pairs name every codon exactly once: a codon named twice hides one
  // that is missing.
  std::string missing, repeated;
  for (int i = 0; i < NUMBER_OF_CODONS; ++i) {
    if (times_named[i] == 0) missing += (missing.empty() ? "" : ", ") + str_rep(i);
    if (times_named[i] > 1) repeated += (repeated.empty() ? "" : ", ") + str_rep(i);
  }
  if (!missing.empty())
    throw Error("'" + path + "': no value for the codon(s) " + missing + " (named more than once: " + repeated +
                ")");
  std::copy(values, values + NUMBER_OF_CODONS, arr);
}

void load_index_ordered_list(const std::string& path, float* arr) {
  File f = open_table(path);
  Scanner in(f);
  for (int i = 0; i < NUMBER_OF_CODONS; ++i) {
    float value;
    if (!in.next_float(value))
      throw Error("'" + path + "': holds " + std::to_string(i) + " numbers, 64 are needed");
    arr[i] = value;
  }
}

void intHBEnergy(float* arr) { load_codon_value_list(HBOND_ENERGY_FILE, arr); }
void intSEnergy(float* arr) { load_codon_value_list(STACKING_ENERGY_FILE, arr); }
void load_optimized_zvalues(float* arr) { load_index_ordered_list(Z_VALUES_FILE, arr); }
void intHBEnergy_original(float* arr) { load_codon_value_list(HBOND_NUMBERS_FILE, arr); }
void intSEnergy_original(float* arr) { load_codon_value_list(STACKING_ORIGINAL_FILE, arr); }

void decypher(const float* arr) {
  for (int i = 0; i < NUMBER_OF_CODONS; ++i) std::printf("%s\t%f\n", str_rep(i).c_str(), arr[i]);
}

}  // namespace codonspace
