// The codon-space arithmetic of the vector and plane stages, shared with the
// training replay so that both decide every ORF the same way: the weighted
// codon totals, their modulus, the unit vector printed with six decimals and
// read back, and the plane's value at that point.
#pragma once

#include <cstddef>

namespace codonspace {

// An ORF's totals sum(count * table value) over the 64 codons, each rounded
// to single precision after every addition, and their modulus.
struct CodonVector {
  float x = 0, y = 0, z = 0;
  float modulus = 0;
};
CodonVector codon_vector(const int* counts, const float* x_table, const float* y_table, const float* z_table);

// Appends " x y z" with each total divided by the modulus (in double),
// printed as "%f"; returns the number of characters (at most 1023).
size_t format_unit_vector(const CodonVector& v, char* out);

// A word of the vector file as a float: strtof on the whole word, finite
// values only; false for anything else.
bool parse_component(const char* word, size_t n, float& value);

// The unit vector as the plane stage reads it from the vector file (the
// six-decimal text read back); false when the modulus is zero, where the
// vector stage writes no line.
bool printed_unit_vector(const CodonVector& v, float out[3]);

// Plane coefficients a, b, c, d of a*x + b*y + c*z + d = 0.
struct Plane {
  float a = 0, b = 0, c = 0, d = 0;
};
// The plane value, formed in double and rounded once to single precision; an
// ORF passes where it is positive.
float plane_value(const Plane& plane, float x, float y, float z);

}  // namespace codonspace
