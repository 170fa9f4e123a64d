#include "evaluator/protein_score.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace codonspace {

WindowParams window_params(long nres) {
  if (nres > 24) return {25, 11};
  return {4, 3};
}

long count_stops(std::string_view residues, long nmin) {
  long mstart = 0;  // 1-based place of the first "M" since the last counted stop
  long nstop = 0;
  const long nres = static_cast<long>(residues.size());
  for (long k = 1; k <= nres; ++k) {
    const char c = residues[static_cast<size_t>(k - 1)];
    if (c == 'M' && mstart == 0) mstart = k;
    if (c == 'Z' && (mstart == 0 || k - mstart < nmin)) {
      ++nstop;
      mstart = 0;
    }
  }
  return nstop;
}

namespace {

// Spread of a set of values, measured from a maximum that starts at 0 and a
// minimum that starts at 10000.
template <size_t N>
float spread(const std::array<float, N>& values) {
  float hi = 0.0f;
  float lo = 10000.0f;
  for (float v : values) {
    if (v > hi) hi = v;
    if (v < lo) lo = v;
  }
  return hi - lo;
}

// Four single-precision (or integer) lanes. Lane-wise additions and
// multiplications round every lane exactly as the same scalar operation
// does, so a lane holding one of the score's running sums gives the same
// float as a scalar loop adding the same terms in the same order.
typedef float Lanes __attribute__((vector_size(16)));
typedef int IntLanes __attribute__((vector_size(16)));

// Per residue index: the coordinates g d s l (as integers, and as floats)
// and the norms of the six coordinate pairs gd gs gl ds | dl sl, each
// computed as the per-window formula does (sqrtf of a sum of exact small
// squares), so a lookup gives the same float.
struct ResidueFigures {
  IntLanes coordinates;
  Lanes centre;
  Lanes norms_a;  // gd gs gl ds
  Lanes norms_b;  // dl sl 0 0
};

std::array<ResidueFigures, RESIDUE_COUNT + 1> make_residue_figures() {
  std::array<ResidueFigures, RESIDUE_COUNT + 1> t{};
  for (int i = 0; i <= RESIDUE_COUNT; ++i) {
    const std::array<int, 4>& c = residue_coordinates(i);
    const float g = static_cast<float>(c[0]), d = static_cast<float>(c[1]);
    const float s = static_cast<float>(c[2]), l = static_cast<float>(c[3]);
    ResidueFigures& f = t[static_cast<size_t>(i)];
    f.coordinates = IntLanes{c[0], c[1], c[2], c[3]};
    f.centre = Lanes{g, d, s, l};
    f.norms_a = Lanes{std::sqrt(g * g + d * d), std::sqrt(g * g + s * s), std::sqrt(g * g + l * l),
                      std::sqrt(d * d + s * s)};
    f.norms_b = Lanes{std::sqrt(d * d + l * l), std::sqrt(s * s + l * l), 0.0f, 0.0f};
  }
  return t;
}

const std::array<ResidueFigures, RESIDUE_COUNT + 1> kFigures = make_residue_figures();

}  // namespace

ProteinScorer::ProteinScorer() : disfavoured_place_(TRIPEPTIDE_SLOTS, -1) {
  const TripeptideTable table = build_tripeptide_table();
  int place = 0;
  for (size_t s = 0; s < TRIPEPTIDE_SLOTS; ++s)
    if (table[s] != 0) {
      disfavoured_place_[s] = static_cast<signed char>(place);
      limit_[static_cast<size_t>(place)] = table[s];
      ++place;
    }
}

ScoreDetails ProteinScorer::score(std::string_view residues, int lword) {
  const long nres = static_cast<long>(residues.size());
  if (lword < 1 || lword % 2 == 0 || nres < lword)
    throw std::invalid_argument("protein score: " + std::to_string(nres) +
                                " residues cannot be scored with windows of " + std::to_string(lword));
  ScoreDetails r;

  index_.resize(residues.size());
  for (size_t k = 0; k < residues.size(); ++k) index_[k] = residue_index(residues[k]);

  // Disfavoured tripeptides occurring more often than tolerated; overlapping
  // occurrences all count.
  seen_.fill(0);
  for (size_t n = 0; n + 2 < index_.size(); ++n) {
    const int i = index_[n], j = index_[n + 1], k = index_[n + 2];
    if (i == 0 || j == 0 || k == 0) continue;
    const int place = disfavoured_place_[tripeptide_slot(i, j, k)];
    if (place >= 0) ++seen_[static_cast<size_t>(place)];
  }
  for (size_t p = 0; p < DISFAVOURED_COUNT; ++p)
    if (limit_[p] < seen_[p]) ++r.nbad;

  // Windows, one per centre. The window sums are sums of small integers,
  // exact in single precision whatever the order, so they slide: add the
  // residue entering, subtract the one leaving. The twenty running sums sit
  // in lanes (see Lanes), each adding its terms in centre order.
  const long ihalf = lword / 2;
  r.nwin = nres - lword + 1;
  Lanes cen = {}, nrm_a = {}, nrm_b = {}, sq = {}, pair_a = {}, pair_b = {};
  const float inverse = 1.0f / static_cast<float>(lword);
  const float qs = inverse * inverse;
  const Lanes q = {qs, qs, qs, qs};
  const Lanes zero = {};
  const int* idx = index_.data();
  IntLanes window = {};
  for (long j = 0; j < lword - 1; ++j) window += kFigures[static_cast<size_t>(idx[j])].coordinates;
  for (long n = ihalf; n < nres - ihalf; ++n) {
    window += kFigures[static_cast<size_t>(idx[n + ihalf])].coordinates;
    const Lanes sums = __builtin_convertvector(window, Lanes);  // gsum dsum ssum lsum
    window -= kFigures[static_cast<size_t>(idx[n - ihalf])].coordinates;

    const ResidueFigures& centre = kFigures[static_cast<size_t>(idx[n])];
    cen = cen + centre.centre;
    nrm_a = nrm_a + centre.norms_a;
    nrm_b = nrm_b + centre.norms_b;

    const Lanes squares = sums * sums;  // G D S L
    sq = sq + squares * q;
    // G+D G+S G+L D+S | D+L S+L 0 0
    const Lanes pairs_a = __builtin_shufflevector(squares, squares, 0, 0, 0, 1) +
                          __builtin_shufflevector(squares, squares, 1, 2, 3, 2);
    const Lanes pairs_b = __builtin_shufflevector(squares, zero, 1, 2, 4, 4) +
                          __builtin_shufflevector(squares, zero, 3, 3, 4, 4);
    pair_a = pair_a + pairs_a * q;
    pair_b = pair_b + pairs_b * q;

    // Octant 1 + 4*(A fails) + 2*(B fails) + (C fails); a tie puts the
    // window in no octant.
    const float gdsum = pairs_a[0], gssum = pairs_a[1], glsum = pairs_a[2], dssum = pairs_a[3];
    const float dlsum = pairs_b[0], slsum = pairs_b[1];
    if (dssum == glsum || slsum == gdsum || dlsum == gssum) continue;
    const int m = (dssum < glsum ? 0 : 4) + (slsum < gdsum ? 0 : 2) + (dlsum < gssum ? 0 : 1);
    ++r.noct[static_cast<size_t>(m)];
  }
  const float gcen = cen[0], dcen = cen[1], scen = cen[2], lcen = cen[3];
  const float gdnrm = nrm_a[0], gsnrm = nrm_a[1], glnrm = nrm_a[2], dsnrm = nrm_a[3];
  const float dlnrm = nrm_b[0], slnrm = nrm_b[1];
  const float gsq = sq[0], dsq = sq[1], ssq = sq[2], lsq = sq[3];
  const float gdsq = pair_a[0], gssq = pair_a[1], glsq = pair_a[2], dssq = pair_a[3];
  const float dlsq = pair_b[0], slsq = pair_b[1];

  // Summaries.
  const float nwin = static_cast<float>(r.nwin);
  const float W = 100.0f / nwin;
  const float E = reference_mean() * nwin;
  r.gdev = (gcen - E) * W;
  r.ddev = (dcen - E) * W;
  r.sdev = (scen - E) * W;
  r.ldev = (lcen - E) * W;
  r.gdnrm = gdnrm * W;
  r.gsnrm = gsnrm * W;
  r.glnrm = glnrm * W;
  r.dsnrm = dsnrm * W;
  r.dlnrm = dlnrm * W;
  r.slnrm = slnrm * W;
  r.gsq = gsq * W;
  r.dsq = dsq * W;
  r.ssq = ssq * W;
  r.lsq = lsq * W;
  r.gdsq = gdsq;
  r.gssq = gssq;
  r.glsq = glsq;
  r.dssq = dssq;
  r.dlsq = dlsq;
  r.slsq = slsq;
  r.nbal = static_cast<long>(gcen + scen - 2.0f * dcen - lcen);
  const std::array<int, 8>& expect = lword == 11 ? OCTANT_EXPECT_11 : OCTANT_EXPECT_3;
  for (size_t m = 0; m < 8; ++m) {
    const float product = static_cast<float>(expect[m]) * nwin;
    const float share = product / 1000.0f;
    r.nexp[m] = std::lround(share);  // halves away from zero
    r.nexc[m] = r.noct[m] - r.nexp[m];
  }
  r.rng4 = spread(std::array<float, 4>{r.gsq, r.dsq, r.ssq, r.lsq});
  r.rng6 = spread(std::array<float, 6>{r.gdsq, r.gssq, r.glsq, r.dssq, r.dlsq, r.slsq});

  // Points. Rows 15 to 22 combine the stored values in double.
  const double gdev = r.gdev, ddev = r.ddev, sdev = r.sdev, ldev = r.ldev;
  const double gdn = r.gdnrm, gsn = r.gsnrm, gln = r.glnrm, dsn = r.dsnrm, dln = r.dlnrm, sln = r.slnrm;
  std::array<bool, SCORE_ROWS>& row = r.rows;
  row[0] = r.ddev < r.sdev && r.ddev < r.ldev && r.ddev < r.gdev;
  row[1] = r.ldev < r.gdev && r.ldev < r.ddev && r.ldev < r.sdev;
  row[2] = r.gdev > r.sdev && r.gdev > r.ldev && r.gdev > r.ddev;
  row[3] = r.sdev > r.gdev && r.sdev > r.ddev && r.sdev > r.ldev;
  row[4] = r.nexc[5] <= 0;
  row[5] = r.nexc[7] <= 0;
  row[6] = r.nexc[2] > 0;
  row[7] = r.nexc[0] + r.nexc[2] + r.nexc[4] + r.nexc[6] > 0;
  row[8] = r.rng4 > 15.0f && r.rng6 > 25.0f;
  row[9] = r.rng4 < 90.0f;
  row[10] = r.rng6 > 30.0f;
  row[11] = r.rng6 < 380.0f;
  row[12] = r.nbad == 0;
  row[13] = r.nbal >= 0;
  row[14] = sdev + gdev > 0;
  row[15] = sdev + ldev > 0;
  row[16] = gdev + ddev < 0;
  row[17] = ddev - ldev < 0;
  row[18] = gdev + ddev - sdev - ldev < 0;
  row[19] = gsn - gln > 0;
  row[20] = gdn - sln < 0;
  row[21] = gsn - dln > gdn - sln || gsn - dln > gln - dsn;
  for (size_t i = 0; i < SCORE_ROWS; ++i)
    if (row[i]) r.iscore += ROW_POINTS[i];
  return r;
}

}  // namespace codonspace
