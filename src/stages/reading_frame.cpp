#include <cstdio>

#include "io/file_io.h"
#include "stages/stages.h"

namespace codonspace {

const char* const FRAME_FILES[6] = {"1main_orfs",          "2main_orfs",          "3main_orfs",
                                    "1complementary_orfs", "2complementary_orfs", "3complementary_orfs"};

// Frame of a gene from b1 mod 3 and its strand: the direct strand gives
// +1, +2, +3 for remainders 1, 2, 0; the complementary strand -3, -2, -1.
int reading_frame() {
  File fp_reading(LONGEST_ORFS, "r", 1 << 16);
  File frames[6] = {File(FRAME_FILES[0], "w+"), File(FRAME_FILES[1], "w+"), File(FRAME_FILES[2], "w+"),
                    File(FRAME_FILES[3], "w+"), File(FRAME_FILES[4], "w+"), File(FRAME_FILES[5], "w+")};
  require_open({&fp_reading, &frames[0], &frames[1], &frames[2], &frames[3], &frames[4], &frames[5]});
  static const char* const labels[6] = {"+1", "+2", "+3", "-1", "-2", "-3"};
  // Index into the tables by remainder 0, 1, 2.
  static const int direct[3] = {2, 0, 1};
  static const int complementary[3] = {3, 5, 4};

  Scanner in(fp_reading);
  long b1, b2;
  while (in.next_pair(b1, b2)) {
    if (b1 == b2) continue;
    const int r = static_cast<int>(((b1 % 3) + 3) % 3);
    const int f = b1 < b2 ? direct[r] : complementary[r];
    std::fprintf(frames[f].get(), "%s %ld %ld\n", labels[f], b1, b2);
  }
  for (File& f : frames) f.close_output();
  return 0;
}

}  // namespace codonspace
