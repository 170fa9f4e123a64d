// The protein-likeness decision for one translated candidate: a stop rule,
// then a points score built from sliding windows over the residues'
// coordinates (residue_tables.h), from how the windows fall into eight
// octants compared with a fixed expectation, and from a count of
// disfavoured tripeptides.
//
// The score is single-precision arithmetic with every operation rounded to
// float (the build disables fused multiply-add); the sums and differences
// of the last rows are formed in double from the stored float values.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "evaluator/residue_tables.h"

namespace codonspace {

// Window length and shortest scored sequence: windows of 11 residues and a
// minimum of 25 for sequences of more than 24 residues, else 3 and 4.
struct WindowParams {
  long nmin;
  int lword;
};
WindowParams window_params(long nres);

// The number of stops the sequence is rejected for. A stop ("Z") is
// tolerated only when it lies at least nmin residues after the first "M"
// since the last counted stop; a counted stop forgets that "M".
long count_stops(std::string_view residues, long nmin);

// A score of this many points or more means "likely to code for a protein".
inline constexpr int PROTEIN_THRESHOLD = 36;
inline constexpr int SCORE_ROWS = 22;
// Points of rows 1..22 (element 0 is row 1).
inline constexpr std::array<int, SCORE_ROWS> ROW_POINTS = {1, 1, 1, 1, 2, 4, 2, 3, 11, 1, 1,
                                                           1, 7, 2, 1, 1, 1, 1, 1, 1, 1, 1};

// Every intermediate figure of one score, for checking and tests.
struct ScoreDetails {
  long nwin = 0;                      // number of windows
  std::array<long, 8> noct{};         // windows per octant 1..8
  std::array<long, 8> nexp{};         // expected windows per octant
  std::array<long, 8> nexc{};         // noct - nexp
  long nbad = 0;                      // disfavoured tripeptides seen 4 or more times
  long nbal = 0;                      // g + s - 2d - l over the window centres
  float gdev = 0, ddev = 0, sdev = 0, ldev = 0;  // 100 x (mean centre coordinate - reference)
  // Mean norms of coordinate pairs of the window centres.
  float gdnrm = 0, gsnrm = 0, glnrm = 0, dsnrm = 0, dlnrm = 0, slnrm = 0;
  // Mean squared window sums (scaled by 100 / nwin) and the unscaled pair sums.
  float gsq = 0, dsq = 0, ssq = 0, lsq = 0;
  float gdsq = 0, gssq = 0, glsq = 0, dssq = 0, dlsq = 0, slsq = 0;
  float rng4 = 0, rng6 = 0;           // spread of the four squares and of the six pair sums
  std::array<bool, SCORE_ROWS> rows{};  // which rows hold (element 0 is row 1)
  int iscore = 0;
};

// Scores sequences one after the other, reusing its buffers.
class ProteinScorer {
 public:
  ProteinScorer();
  // Scores residues (at least lword + 1 letters; letters outside the
  // alphabet count as the origin and in no tripeptide) with windows of
  // lword residues (11 or 3).
  ScoreDetails score(std::string_view residues, int lword);

 private:
  // Per tripeptide slot: the place of the tripeptide in the disfavoured
  // list, or -1; only those tripeptides are counted.
  std::vector<signed char> disfavoured_place_;
  std::array<int, DISFAVOURED_COUNT> limit_{};  // tolerated occurrences per listed tripeptide
  std::array<int, DISFAVOURED_COUNT> seen_{};   // occurrences in the sequence being scored
  std::vector<int> index_;                      // residue index of every position
};

}  // namespace codonspace
