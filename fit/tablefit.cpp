#include "fit/tablefit.hpp"

#include <cmath>

#include "algebra/bivnor.hpp"
#include "algebra/formmach.hpp"
#include "fit/objcel.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/machconst.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;
using jobbase::icell;
using runtime::Vec1;

namespace {

// Accuracy asked of the bivariate normal integral, in decimal digits.
constexpr int kGridDigits = 6;
// An expected frequency at or below this is taken as none.
constexpr double kNoFrequency = 1e-25;
// What an observed cell without an expected frequency adds.
constexpr double kEmptyCellPenalty = 1e6;
// The expected proportions follow the packed 2 x 2 expected covariance.
constexpr int kProportions = 3;

// The cell probabilities of an (R+1) x (Q+1) table, row by row into p, under
// a standard bivariate normal pair with correlation rho cut at the
// standardised row thresholds h(1..R) and column thresholds k(1..Q).  C is
// scratch for the cumulative grid C(a, b) = P(X < h_a, Y < k_b), a = 0..R+1,
// b = 0..Q+1, with h_0 = k_0 = -infinity and h_{R+1} = k_{Q+1} = +infinity.
void cell_probabilities(int R, int Q, Vec1<double> h, Vec1<double> k, double rho, Vec1<double> C,
                        Vec1<double> p) {
  const int w = Q + 2;
  auto c = [&](int a, int b) -> double& { return C(a * w + b + 1); };
  for (int b = 0; b <= Q + 1; ++b) c(0, b) = 0.0;
  for (int a = 0; a <= R + 1; ++a) c(a, 0) = 0.0;
  c(R + 1, Q + 1) = 1.0;
  for (int a = 1; a <= R; ++a) {
    for (int b = 1; b <= Q; ++b) {
      // P(X > -h, Y > -k) = P(X < h, Y < k); the tails are the margins.
      double below = 0.0, margin_h = 0.0, margin_k = 0.0;
      algebra::BIVNOR(below, margin_h, margin_k, -h(a), -k(b), rho, kGridDigits);
      c(a, b) = below;
      if (b == 1) c(a, Q + 1) = margin_h;
      if (a == 1) c(R + 1, b) = margin_k;
    }
  }
  int cell = 1;
  for (int u = 0; u <= R; ++u)
    for (int v = 0; v <= Q; ++v) p(cell++) = c(u + 1, v + 1) - c(u, v + 1) - c(u + 1, v) + c(u, v);
}

// -2 sum f ln(f / N) over the cells with a count, leaving out those whose
// share is below the smallest safe number.
double saturated_term(Vec1<double> counts, int cells, double N) {
  const double tiny = numlib::SAFEMIN();
  double sat = 0.0;
  for (int e = 1; e <= cells; ++e) {
    const double f = counts(e);
    if (f < 0.0) continue;
    const double share = N == 0.0 ? 0.0 : f / N;
    if (share < tiny) continue;
    sat -= 2.0 * f * std::log(share);
  }
  return sat;
}

}  // namespace

void table_fit(Vec1<double> X, int NG, int g, double& FOBJ) {
  const jobbase::GroupView G{X, NG, g};
  auto& oc = OBJCEL;
  auto& m = jobbase::MAINPR;
  m.IGRP = g;

  // The thresholds, from the means formula.
  {
    auto& fm = algebra::FMFLAG;
    const bool accounting = fm.ACCNT;
    fm.ACCNT = true;
    int status = 0;
    algebra::EVFORM(X, jobbase::fkind::kMeans, g, g, status);
    fm.ACCNT = accounting;
  }
  const int R = G.icol(gcol::kTableRows) - 1;
  const int Q = G.icol(gcol::kTableCols) - 1;
  const int cells = (R + 1) * (Q + 1);
  const int sres = G.icol(gcol::kCovResult);
  const double s11 = X(sres), s21 = X(sres + 1), s22 = X(sres + 2);
  const int thr = G.icol(gcol::kMeansResult);
  const int stride = icell(X(thr - 1));
  const Vec1<double> counts = X.from(G.icol(gcol::kObsData));
  const Vec1<double> prop = X.from(sres + kProportions);
  const double N = G.col(gcol::kNobs);

  // Scratch above the top: the standardised thresholds and the grid.
  const int hs = m.WSTOP;
  const int ks = hs + R;
  const int cs = ks + Q;
  jobbase::check_room(static_cast<long long>(cs) + static_cast<long long>(R + 2) * (Q + 2) - 1);
  const Vec1<double> h = X.from(hs), k = X.from(ks), C = X.from(cs);

  const double sd1 = std::sqrt(s11), sd2 = std::sqrt(s22);
  const double rho = s21 / (sd1 * sd2);
  bool computable = s11 > 0.0 && s22 > 0.0 && std::isfinite(s11) && std::isfinite(s22) && std::isfinite(rho);
  for (int i = 1; i <= R; ++i) {
    h(i) = X(thr + i - 1) / sd1;
    if (std::isnan(h(i))) computable = false;
  }
  for (int j = 1; j <= Q; ++j) {
    k(j) = X(thr + stride + j - 1) / sd2;
    if (std::isnan(k(j))) computable = false;
  }
  // An expected covariance without positive variances (or with values that
  // are not numbers) gives the table no probability anywhere.
  if (computable) {
    cell_probabilities(R, Q, h, k, rho, C, prop);
  } else {
    for (int e = 1; e <= cells; ++e) prop(e) = 0.0;
  }

  double missing = 0.0;
  int observed = 0;
  for (int e = 1; e <= cells; ++e) {
    if (counts(e) < 0.0) missing += prop(e);
    else ++observed;
  }
  if (observed == 0) {
    // Every cell missing: nothing to fit.
    for (int e = 1; e <= cells; ++e) prop(e) = 0.0;
    G.col(gcol::kFitValue) = 0.0;
    return;
  }
  const double total = 1.0 - missing;
  // With no probability left outside the missing cells every observed cell
  // is one without an expected frequency.
  const bool some = total > 0.0;
  const double scale = some ? N / total : 0.0;
  double F = 0.0;
  for (int e = 1; e <= cells; ++e) {
    const double f = counts(e);
    const double p = prop(e);
    const double share = some ? p / total : 0.0;
    if (!some || scale * p <= kNoFrequency) {
      prop(e) = share;
      if (f > 0.0) {
        oc.FMODE = -1;
        ++oc.NNONPD;
        F += kEmptyCellPenalty;
      }
    } else if (f < 0.0) {
      prop(e) = -share;
    } else {
      prop(e) = share;
      F -= 2.0 * f * std::log(share);
    }
  }
  if (!oc.FFIRST) G.col(gcol::kSaturated) = saturated_term(counts, cells, N);
  const double value = F - G.col(gcol::kSaturated);
  G.col(gcol::kFitValue) = value;
  FOBJ += value;
}

}  // namespace qv::fit
