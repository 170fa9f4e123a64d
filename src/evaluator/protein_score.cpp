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

}  // namespace

ProteinScorer::ProteinScorer() : disfavoured_(build_tripeptide_table()) {}

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
  tripep_.assign(TRIPEPTIDE_SLOTS, 0);
  for (size_t n = 0; n + 2 < index_.size(); ++n) {
    const int i = index_[n], j = index_[n + 1], k = index_[n + 2];
    if (i != 0 && j != 0 && k != 0) ++tripep_[tripeptide_slot(i, j, k)];
  }
  for (size_t s = 0; s < TRIPEPTIDE_SLOTS; ++s)
    if (disfavoured_[s] != 0 && disfavoured_[s] < tripep_[s]) ++r.nbad;

  // Windows, one per centre.
  const long ihalf = lword / 2;
  r.nwin = nres - lword + 1;
  float gcen = 0, dcen = 0, scen = 0, lcen = 0;
  float gdnrm = 0, gsnrm = 0, glnrm = 0, dsnrm = 0, dlnrm = 0, slnrm = 0;
  float gsq = 0, dsq = 0, ssq = 0, lsq = 0;
  float gdsq = 0, gssq = 0, glsq = 0, dssq = 0, dlsq = 0, slsq = 0;
  const float inverse = 1.0f / static_cast<float>(lword);
  const float q = inverse * inverse;
  for (long n = ihalf; n < nres - ihalf; ++n) {
    float gsum = 0, dsum = 0, ssum = 0, lsum = 0;
    for (long j = n - ihalf; j <= n + ihalf; ++j) {
      const std::array<int, 4>& c = residue_coordinates(index_[static_cast<size_t>(j)]);
      gsum = gsum + static_cast<float>(c[0]);
      dsum = dsum + static_cast<float>(c[1]);
      ssum = ssum + static_cast<float>(c[2]);
      lsum = lsum + static_cast<float>(c[3]);
    }
    const std::array<int, 4>& centre = residue_coordinates(index_[static_cast<size_t>(n)]);
    const float g = static_cast<float>(centre[0]);
    const float d = static_cast<float>(centre[1]);
    const float s = static_cast<float>(centre[2]);
    const float l = static_cast<float>(centre[3]);
    gcen = gcen + g;
    dcen = dcen + d;
    scen = scen + s;
    lcen = lcen + l;
    gdnrm = gdnrm + std::sqrt(g * g + d * d);
    gsnrm = gsnrm + std::sqrt(g * g + s * s);
    glnrm = glnrm + std::sqrt(g * g + l * l);
    dsnrm = dsnrm + std::sqrt(d * d + s * s);
    dlnrm = dlnrm + std::sqrt(d * d + l * l);
    slnrm = slnrm + std::sqrt(s * s + l * l);

    const float G = gsum * gsum, D = dsum * dsum, S = ssum * ssum, L = lsum * lsum;
    gsq = gsq + G * q;
    dsq = dsq + D * q;
    ssq = ssq + S * q;
    lsq = lsq + L * q;
    const float gdsum = G + D, gssum = G + S, glsum = G + L;
    const float dssum = D + S, dlsum = D + L, slsum = S + L;
    gdsq = gdsq + gdsum * q;
    gssq = gssq + gssum * q;
    glsq = glsq + glsum * q;
    dssq = dssq + dssum * q;
    dlsq = dlsq + dlsum * q;
    slsq = slsq + slsum * q;

    // Octant 1 + 4*(A fails) + 2*(B fails) + (C fails); a tie puts the
    // window in no octant.
    if (dssum == glsum || slsum == gdsum || dlsum == gssum) continue;
    const int m = (dssum < glsum ? 0 : 4) + (slsum < gdsum ? 0 : 2) + (dlsum < gssum ? 0 : 1);
    ++r.noct[static_cast<size_t>(m)];
  }

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
