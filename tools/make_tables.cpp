// Writes the physico-chemical reference tables of data/ from published
// values, so that every number in them can be traced to its source (see
// data/README.md). Usage: make_tables OUTDIR
//
// Codon-value lists are written in codon-index order (CCC, CCG, ... AAA),
// one "CODON value" pair per line.
#include <cstdio>
#include <map>
#include <string>

#include "core/codon.h"
#include "io/file_io.h"
#include "core/table_files.h"

using codonspace::File;
using codonspace::NUMBER_OF_CODONS;
using codonspace::str_rep;

namespace {

// Watson-Crick pair interaction energies, kcal/mol (CCSD(T)/CBS, JSCH-2005
// benchmark; Jurecka, Sponer, Cerny & Hobza, PCCP 8:1985, 2006).
double pair_energy(char base) { return base == 'A' || base == 'T' ? -16.86 : -32.06; }

// Watson-Crick hydrogen bonds of the base's pair.
double hbond_count(char base) { return base == 'A' || base == 'T' ? 2 : 3; }

// Stacking free energies dG_ST at 37 C, kcal/mol (Protozanova, Yakovchuk &
// Frank-Kamenetskii, J Mol Biol 342:775, 2004, Table 1). A step and its
// reverse complement share one value.
const std::map<std::string, double> kStacking = {
    {"AA", -1.11}, {"TT", -1.11}, {"AC", -1.81}, {"GT", -1.81}, {"AG", -1.06}, {"CT", -1.06},
    {"AT", -1.34}, {"CA", -0.55}, {"TG", -0.55}, {"CC", -1.44}, {"GG", -1.44}, {"CG", -0.91},
    {"GA", -1.43}, {"TC", -1.43}, {"GC", -2.17}, {"TA", -0.19}};

// Nearest-neighbour free energies dG37, kcal/mol (SantaLucia, PNAS 95:1460, 1998).
const std::map<std::string, double> kNearestNeighbour = {
    {"AA", -1.00}, {"AC", -1.44}, {"AG", -1.28}, {"AT", -0.88}, {"CA", -1.45}, {"CC", -1.84},
    {"CG", -2.17}, {"CT", -1.28}, {"GA", -1.30}, {"GC", -2.24}, {"GG", -1.84}, {"GT", -1.44},
    {"TA", -0.58}, {"TC", -1.30}, {"TG", -1.45}, {"TT", -1.00}};

// UniProtKB/Swiss-Prot amino-acid composition, release 2013_04, percent, in
// the slot order of the composition filter.
const double kSwissProt[20] = {4.70, 5.53, 9.66, 2.27, 3.93, 8.25, 7.07, 6.87, 5.45, 6.75,
                               6.56, 1.37, 1.08, 3.86, 2.92, 5.34, 5.96, 2.42, 4.06, 5.84};

double per_base(const std::string& codon, double (*f)(char)) { return f(codon[0]) + f(codon[1]) + f(codon[2]); }

double per_step(const std::string& codon, const std::map<std::string, double>& steps) {
  return steps.at(codon.substr(0, 2)) + steps.at(codon.substr(1, 2));
}

template <typename F>
void write_codon_table(const std::string& path, F value) {
  File out(path, "w");
  if (!out.is_open()) throw codonspace::Error("cannot create " + codonspace::file_reason(path, out.open_error()));
  for (int i = 0; i < NUMBER_OF_CODONS; ++i) {
    const std::string codon = str_rep(i);
    std::fprintf(out.get(), "%s %.2f\n", codon.c_str(), value(codon));
  }
  out.close_output();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_tables OUTDIR\n");
    return 1;
  }
  const std::string dir = argv[1];
  try {
    write_codon_table(dir + "/" + codonspace::table_files::X_VALUES,
                      [](const std::string& c) { return per_base(c, pair_energy); });
    write_codon_table(dir + "/" + codonspace::table_files::Y_VALUES,
                      [](const std::string& c) { return per_step(c, kStacking); });
    write_codon_table(dir + "/HBondNos.dat", [](const std::string& c) { return per_base(c, hbond_count); });
    write_codon_table(dir + "/StackingEnergies_Original.dat",
                      [](const std::string& c) { return per_step(c, kNearestNeighbour); });
    File out(dir + "/" + codonspace::table_files::REFERENCE_COMPOSITION, "w");
    if (!out.is_open()) throw codonspace::Error("cannot create " + codonspace::file_reason(out.name(), out.open_error()));
    for (double v : kSwissProt) std::fprintf(out.get(), "%.2f\n", v);
    out.close_output();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_tables: %s\n", e.what());
    return 1;
  }
  return 0;
}
