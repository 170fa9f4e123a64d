// The trained model as tables, and the exact decisions the program makes
// with them.
//
// For an ORF with codon counts c[n], the vector stage forms
// X = sum c[n]*X[n], Y = sum c[n]*Y[n], Z = sum c[n]*Z[n], and the plane
// test is a*x + b*y + c*z + d > 0 on the unit vector. With d = 0 the test is
// the sign of a*X + b*Y + c*Z, a sum over the ORF's codons of the per-codon
// weight w[n] = a*X[n] + b*Y[n] + c*Z[n]. Every ORF holds exactly one stop
// codon (its last), so the Z values of the stop codons add a constant per
// ORF: the prior log-odds. The training fits Z so that w[n] is a codon
// log-likelihood ratio, gene against non-gene, and the test becomes
// "log-likelihood ratio of the ORF plus prior > 0", which favours long ORFs
// of a given composition as it should.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/codon.h"
#include "training/orf_scan.h"

namespace codonspace::training {

// The three tables and the plane as the program reads them.
struct ModelTables {
  std::array<float, NUMBER_OF_CODONS> x{}, y{}, z{};
  std::array<float, 4> plane{};  // a b c d
};

// The vector stage's unit vector of the counts as the plane stage reads it
// back (codon_vector.h); false when the stage writes no line for it.
bool unit_vector(const int* counts, const ModelTables& t, float out[3]);
// The plane stage's decision for an ORF with these codon counts.
bool passes_plane(const int* counts, const ModelTables& t);

// The tables of a tables directory (X, Y, Z and the plane); throws Error
// naming the file when one cannot be read.
ModelTables load_model_tables(const std::string& dir);

// A value as it is written with "%.6f" and read back as float.
float rounded6(double v);

// The tables of a weight vector: plane 0 0 1 0, so that the plane test is
// the sign of the ORF's Z sum, and Z = w scaled so that its largest value
// is 100 in magnitude (the scale does not change the sign; it keeps the
// printed unit-vector components well resolved), rounded as written. x and
// y must already hold the X and Y tables.
void set_model(ModelTables& t, const double* w);

// The predictions of the written tables for one record, exactly as the
// program makes them: per stop group the longest ORF that passes the plane.
std::vector<Orf> exact_predictions(const ScannedRecord& r, const ModelTables& t);

// Writes dir/z.dat (64 lines "%.6f") and dir/best_plane_fixed.dat
// ("%.6f %.6f %.6f %.6f"); throws Error naming the file on failure.
void write_trained_tables(const std::string& dir, const ModelTables& t);

}  // namespace codonspace::training
