#include <cstdio>

#include "file_io.h"
#include "stages.h"

namespace codonspace {

Plane read_plane(const std::string& path) {
  File fp1(path, "r");
  if (!fp1.is_open()) throw Error("cannot open reference table " + file_reason(path, fp1.open_error()));
  Scanner in(fp1);
  Plane plane;
  int count = 0;
  float v;
  while (in.next_float(v)) {
    switch (count % 4) {
      case 0: plane.a = v; break;
      case 1: plane.b = v; break;
      case 2: plane.c = v; break;
      default: plane.d = v; break;
    }
    ++count;
  }
  if (count == 0 || count % 4 != 0)
    throw Error("'" + path + "': holds " + std::to_string(count) +
                " numbers; the plane needs whole groups of four (a b c d)");
  return plane;
}

float plane_value(const Plane& plane, float x, float y, float z) {
  const double decide = static_cast<double>(x) * plane.a + static_cast<double>(y) * plane.b +
                        static_cast<double>(z) * plane.c + plane.d;
  return static_cast<float>(decide);
}

int final_output_prediction() {
  // The plane is read and checked in every run, also when no ORF reaches it.
  const Plane plane = read_plane(PLANE_FILE);

  File fp(UNIT_GENE_VECTORS, "r");
  File fp_signal(SIGNAL, "w+");
  if (!fp.is_open() || !fp_signal.is_open()) {
    all_open({&fp, &fp_signal});
    return -1;
  }
  Scanner in(fp);
  FILE* out = fp_signal.get();
  long m, n, j, k;
  float x, y, z;
  unsigned long lines = 0;
  while (in.next_long(m)) {
    ++lines;
    if (!in.next_long(n) || !in.next_long(j) || !in.next_long(k) || !in.next_float(x) || !in.next_float(y) ||
        !in.next_float(z))
      throw Error("'" + std::string(UNIT_GENE_VECTORS) + "': line " + std::to_string(lines) + " is cut short");
    if (plane_value(plane, x, y, z) > 0.0f) std::fprintf(out, "%ld %ld \n", j, k);
    if (lines % 4096 == 0) fp_signal.check_write();
  }
  fp_signal.close_output();
  return 0;
}

}  // namespace codonspace
