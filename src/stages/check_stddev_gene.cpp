#include <cstdio>
#include <string>

#include "io/file_io.h"
#include "io/fixed_format.h"
#include "stages/protein_stages.h"

namespace codonspace {

namespace {
// A deviation below this passes; exactly 3.5 and not-a-number do not.
constexpr double STD_DEV_THRESHOLD = 3.5;
}  // namespace

// Keeps the pairs of "seq_std_dev" whose deviation, read as a float (nan and
// -nan included) and compared as a double, lies strictly below 3.5.
int check_stddev_gene() {
  File fp(SEQ_STD_DEV, "r", 1 << 16);
  File fp_write(STD_CHECK, "w", 1 << 16);
  require_open({&fp, &fp_write});
  Scanner in(fp);
  FILE* out = fp_write.get();
  long b1, b2;
  float std_dev;
  unsigned long record = 0;
  while (in.next_long(b1)) {
    ++record;
    if (!in.next_long(b2) || !in.next_float(std_dev, true))
      throw Error("'" + std::string(SEQ_STD_DEV) + "': record " + std::to_string(record) +
                  " is cut short (expected two integers and a deviation)");
    if (static_cast<double>(std_dev) < STD_DEV_THRESHOLD) {
      // "%ld %ld\n"
      char line[48];
      size_t n = format_long(b1, line);
      line[n++] = ' ';
      n += format_long(b2, line + n);
      line[n++] = '\n';
      std::fwrite(line, 1, n, out);
    }
    if (record % 4096 == 0) fp_write.check_write();
  }
  fp_write.close_output();
  return 0;
}

}  // namespace codonspace
