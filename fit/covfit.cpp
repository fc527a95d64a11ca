#include "fit/covfit.hpp"

#include <cmath>
#include <limits>

#include "algebra/formmach.hpp"
#include "fit/objcel.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/syminv.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;
using jobbase::icell;
using jobbase::kFitAWLS;
using jobbase::kFitDWLS;
using jobbase::kFitGLS;
using jobbase::kFitLS;
using jobbase::kFitML;
using runtime::packed_offset;
using runtime::packed_offset_sym;
using runtime::packed_size;
using runtime::strict_size;

namespace {

using runtime::Vec1;

// The constants of the maximum-likelihood penalty are single-precision
// literals widened to double.
constexpr double kTinyRatio = static_cast<double>(1.0e-30f);
constexpr double kPenaltyScale = static_cast<double>(1.0e33f);
// The logarithm of the smallest ratio that is not penalised.
const double kLnTinyRatio = std::log(kTinyRatio);

// A positive number whose logarithm is that of a double in the normal
// range: neither 0, subnormal, infinite nor NaN.
bool representable(double v) {
  return v >= std::numeric_limits<double>::min() && v <= std::numeric_limits<double>::max();
}

// A read-only span as the 1-based view the workspace routines take; those
// routines only read the matrix passed as their first argument.
Vec1<double> view(std::span<const double> s) {
  return Vec1<double>(const_cast<double*>(s.data()), static_cast<std::ptrdiff_t>(s.size()));
}
Vec1<double> view(std::span<double> s) { return Vec1<double>(s.data(), static_cast<std::ptrdiff_t>(s.size())); }

// Expands a packed symmetric matrix of order p into a full p x p array.
void unpack(std::span<const double> P, int p, double* full) {
  for (int j = 1; j <= p; ++j)
    for (int i = 1; i <= p; ++i) full[(j - 1) * p + (i - 1)] = P[packed_offset_sym(i, j)];
}

// ln det A of the packed symmetric A of order p from its Cholesky factor,
// formed in L (p(p+1)/2 words).  NaN when A is not positive definite.
double log_det(std::span<const double> A, int p, std::span<double> L) {
  double logdet = 0.0;
  return jobbase::positive_definite(view(A), p, view(L), logdet) ? logdet : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

double ls_fit(std::span<const double> S, std::span<const double> E, double N) {
  double s = 0.0;
  for (std::size_t k = 0; k < S.size(); ++k) {
    const double d = S[k] - E[k];
    s += d * d;
  }
  return (N - 1.0) * s;
}

MlResult ml_fit(std::span<const double> S, std::span<const double> E, int p, double detS, double N,
                double prev, std::span<double> scratch) {
  MlResult res;
  const int np = packed_size(p);
  auto inv = view(scratch.first(static_cast<std::size_t>(np)));
  auto work = view(scratch.subspan(static_cast<std::size_t>(np), static_cast<std::size_t>(p)));
  double detE = 0.0;
  int nullity = 0, fault = 0;
  jobbase::SYMINV(view(E), p, inv, work, detE, 1, nullity, fault);
  res.inverted = fault == 0;
  if (fault != 0) detE = 0.0;

  // tr(E^-1 S): the diagonal once, each off-diagonal pair twice.
  double t = 0.0;
  if (res.inverted) {
    for (int i = 1; i <= p; ++i) {
      const int r = packed_offset(i, 1);
      for (int j = 1; j < i; ++j) t += 2.0 * inv(r + j) * S[r + j - 1];
      t += inv(r + i) * S[r + i - 1];
    }
  }
  double ratio = detE / detS;
  double lnratio = 0.0;
  bool computable = false;
  if (res.inverted && detS > 0.0 && nullity == 0 &&
      !(representable(detE) && representable(detS) && ratio <= std::numeric_limits<double>::max())) {
    // A determinant (or their ratio) beyond the range of a double: the
    // ratio's logarithm from the logarithms of the determinants, each from
    // a Cholesky factor's diagonal where the determinant itself is out of
    // range.  The factors take the inverse's words, and E is inverted again
    // after them (this path is rare: it costs two factorisations more).
    const auto factor = scratch.first(static_cast<std::size_t>(np));
    const double lnE = representable(detE) ? std::log(detE) : log_det(E, p, factor);
    const double lnS = representable(detS) ? std::log(detS) : log_det(S, p, factor);
    double det = 0.0;
    jobbase::SYMINV(view(E), p, inv, work, det, 0, nullity, fault);
    lnratio = lnE - lnS;
    computable = lnratio >= kLnTinyRatio;
    ratio = computable ? 1.0 : std::exp(lnratio);
  } else {
    computable = ratio >= kTinyRatio && res.inverted && detS > 0.0;
    if (computable) lnratio = std::log(ratio);
  }
  if (computable) {
    res.F = (lnratio + t - p) * (N - 1.0);
    // A value that is not finite (an inverse too large for the trace) is
    // not computable either.
    if (!std::isfinite(res.F)) {
      computable = false;
      ratio = 0.0;
    }
  }
  if (!computable) {
    // The penalty; a ratio that is not finite counts as 0, and so does a
    // previous value that is not finite.
    res.penalty = true;
    if (!std::isfinite(ratio)) ratio = 0.0;
    res.F = 100.0 * p * p + (std::isfinite(prev) ? prev : 0.0) + (kTinyRatio - ratio) * kPenaltyScale;
  }
  return res;
}

double ml_means_term(std::span<const double> Einv, std::span<const double> obs, std::span<const double> expct,
                     int p, double N, std::span<double> work) {
  // work := d, then q := d' E^-1 d row by row of the packed inverse.
  for (int i = 0; i < p; ++i) work[i] = obs[i] - expct[i];
  double q = 0.0;
  for (int i = 1; i <= p; ++i) {
    double s = 0.0;
    for (int j = 1; j <= p; ++j) s += Einv[packed_offset_sym(i, j)] * work[j - 1];
    q += work[i - 1] * s;
  }
  return q > 0.0 ? N * std::log(1.0 + q) : 0.0;
}

double awls_fit(std::span<const double> S, std::span<const double> E, std::span<const double> W, int p,
                bool withdiag, std::span<double> r) {
  int m = 0;
  for (int i = 1; i <= p; ++i)
    for (int j = 1; j <= i; ++j) {
      if (j == i && !withdiag) continue;
      const int k = packed_offset(i, j);
      r[m++] = S[k] - E[k];
    }
  // r' W r with W packed of order m.
  double f = 0.0;
  for (int i = 1; i <= m; ++i) {
    const int row = packed_offset(i, 1);
    double s = 0.0;
    for (int j = 1; j < i; ++j) s += W[row + j - 1] * r[j - 1];
    f += r[i - 1] * (2.0 * s + W[row + i - 1] * r[i - 1]);
  }
  return f;
}

double awls_penalty(std::span<const double> E, int p, double N) {
  double s = 0.0;
  for (int i = 1; i <= p; ++i) {
    const double d = 1.0 - E[packed_offset(i, i)];
    s += d * d;
  }
  return (N - 1.0) / 2.0 * s;
}

double dwls_fit(std::span<const double> S, std::span<const double> E, std::span<const double> W, int p) {
  double f = 0.0;
  for (int i = 1; i <= p; ++i)
    for (int j = 1; j <= i; ++j) {
      const int k = packed_offset(i, j);
      const double d = S[k] - E[k];
      f += (j == i ? 1.0 : 2.0) * d * d / W[k];
    }
  return f;
}

double gls_fit(std::span<const double> Sinv, std::span<const double> E, int p, double N,
               std::span<double> scratch) {
  const std::size_t pp = static_cast<std::size_t>(p) * static_cast<std::size_t>(p);
  double* Ef = scratch.data();
  double* Sf = Ef + pp;
  double* M = Sf + pp;
  unpack(E, p, Ef);
  unpack(Sinv, p, Sf);
  // M := E S^-1, column-major.
  for (int j = 0; j < p; ++j)
    for (int i = 0; i < p; ++i) {
      double s = 0.0;
      for (int k = 0; k < p; ++k) s += Ef[k * p + i] * Sf[j * p + k];
      M[j * p + i] = s;
    }
  // The sum over i, j of (delta_ij - M_ij)(delta_ji - M_ji) is tr[(I - M)^2].
  double f = 0.0;
  for (int j = 0; j < p; ++j)
    for (int i = 0; i < p; ++i) {
      const double dij = (i == j ? 1.0 : 0.0) - M[j * p + i];
      const double dji = (i == j ? 1.0 : 0.0) - M[i * p + j];
      f += dij * dji;
    }
  return (N - 1.0) * 0.5 * f;
}

namespace {

// Scratch of n words from WSTOP upward, checked against the workspace
// limit; WSTOP itself is not moved.
std::span<double> scratch_at(Vec1<double> X, int first, long long n) {
  if (n <= 0) return {};
  jobbase::check_room(first + n - 1);
  return std::span<double>(X.ptr(first), static_cast<std::size_t>(n));
}

std::span<double> packed_at(Vec1<double> X, int addr, int n) {
  return std::span<double>(X.ptr(addr), static_cast<std::size_t>(n));
}

double ml_group(Vec1<double> X, int NG, int g) {
  const jobbase::GroupView G{X, NG, g};
  auto& oc = OBJCEL;
  const double N = G.col(gcol::kNobs);
  const int p = G.icol(gcol::kNvar);
  const int np = packed_size(p);
  const double detS = G.col(gcol::kObsDet);
  const auto S = packed_at(X, G.icol(gcol::kObsData), np);
  const auto E = packed_at(X, G.icol(gcol::kCovResult), np);
  const int W = jobbase::MAINPR.WSTOP;
  // The inverse and its work words, then p words for the means term.
  const auto scratch = scratch_at(X, W, ml_scratch(p) + p);

  const MlResult res = ml_fit(S, E, p, detS, N, G.col(gcol::kFitValue), scratch);
  double F = res.F;
  if (res.penalty) {
    if (detS == 0.0) jobbase::ERRMSG(220);
    ++oc.NNONPD;
    oc.FMODE = -1;
    if (!oc.FFIRST) {
      if (detS > 0.0) {
        runtime::write_list(runtime::kStdout, {});
        runtime::write_list(runtime::kStdout,
                            {" At the starting values, expected matrix of group", g, " is not positive definite"});
        runtime::write_list(runtime::kStdout, {" Minimization may be impaired by penalty function"});
        oc.NPDWRN = true;
      } else if (detS < 0.0) {
        runtime::write_list(runtime::kStdout, {});
        runtime::write_list(runtime::kStdout, {" Observed covariance matrix for group", g});
        for (int i = 1; i <= p; ++i) {
          const std::span<const double> row = S.subspan(static_cast<std::size_t>(packed_offset(i, 1)),
                                                        static_cast<std::size_t>(i));
          runtime::write_list(runtime::kStdout, {runtime::Out(row)});
        }
        jobbase::ERRMSG(155);
      }
    }
  }

  // Means: the expected means are evaluated above the inverse, which the
  // term reads.  Without an inverse (E could not be factored) there is no
  // term to add to the penalty value.
  if (G.col(gcol::kObsMeans) != 0.0 && G.col(gcol::kMeansFormula) != 0.0 && res.inverted) {
    auto& m = jobbase::MAINPR;
    const int saved = m.WSTOP;
    m.WSTOP = W + ml_scratch(p) + p;
    int status = 0;
    algebra::EVFORM(X, 1, g, g, status);
    m.WSTOP = saved;
    const auto obs = packed_at(X, G.icol(gcol::kObsMeans), p);
    const auto expct = packed_at(X, G.icol(gcol::kMeansResult), p);
    F += ml_means_term(scratch.first(static_cast<std::size_t>(np)), obs, expct, p, N,
                       scratch.subspan(static_cast<std::size_t>(ml_scratch(p)), static_cast<std::size_t>(p)));
  }
  return F;
}

double awls_group(Vec1<double> X, int NG, int g) {
  const jobbase::GroupView G{X, NG, g};
  const double N = G.col(gcol::kNobs);
  const int p = G.icol(gcol::kNvar);
  const int np = packed_size(p);
  const int form = G.icol(gcol::kAsyForm);
  const bool withdiag = form == 2;
  const int m = withdiag ? np : strict_size(p);
  const int Eaddr = G.icol(gcol::kCovResult);
  const int W = jobbase::MAINPR.WSTOP;
  if (form == 1) {
    jobbase::check_room(static_cast<long long>(W) + np - 1);
    jobbase::COVCOR(X, p, Eaddr, W);
  }
  const auto S = packed_at(X, G.icol(gcol::kObsData), np);
  const auto E = packed_at(X, Eaddr, np);
  const auto Wt = packed_at(X, G.icol(gcol::kWeights), packed_size(m));
  double F = awls_fit(S, E, Wt, p, withdiag, scratch_at(X, W, m));
  const double P = (form == 0 && G.icol(gcol::kDiOption) != 1) ? awls_penalty(E, p, N) : 0.0;
  G.col(gcol::kDiagPenalty) = P;
  return F + P;
}

double gls_group(Vec1<double> X, int NG, int g) {
  const jobbase::GroupView G{X, NG, g};
  const double N = G.col(gcol::kNobs);
  const int p = G.icol(gcol::kNvar);
  const int np = packed_size(p);
  const int Saddr = G.icol(gcol::kObsData);
  const int W = jobbase::MAINPR.WSTOP;
  const auto scratch = scratch_at(X, W, gls_scratch(p));
  if (G.icol(gcol::kObsInverted) != 1) {
    // Once per fit the observed matrix is replaced by its inverse.  A
    // singular matrix (zero pivots) has no inverse either.
    double det = 0.0;
    int nullity = 0, fault = 0;
    jobbase::SYMINV(X.from(Saddr), p, X.from(Saddr), view(scratch.subspan(static_cast<std::size_t>(p) * p)), det,
                   0, nullity, fault);
    if (fault != 0 || nullity != 0) jobbase::ERRMSG(54);
    G.col(gcol::kObsInverted) = 1.0;
  }
  return gls_fit(packed_at(X, Saddr, np), packed_at(X, G.icol(gcol::kCovResult), np), p, N, scratch);
}

}  // namespace

void COVFIT(int code, Vec1<double> X, int NG, int g, double& FOBJ) {
  const jobbase::GroupView G{X, NG, g};
  auto& oc = OBJCEL;
  switch (code) {
    case kFitLS:
    case kFitML:
    case kFitAWLS:
    case kFitDWLS:
    case kFitGLS:
      break;
    default:
      return;
  }
  // Every one of these functions reads the observed matrix: a group without
  // one (no CM, PM or KM) stops before anything is read from address 0.
  if (G.icol(gcol::kObsData) < 1) jobbase::ERRMSG(220);
  const int troubled = oc.NNONPD;
  double F = 0.0;
  switch (code) {
    case kFitLS: {
      const int f = G.icol(gcol::kNstat);
      F = ls_fit(packed_at(X, G.icol(gcol::kObsData), f), packed_at(X, G.icol(gcol::kCovResult), f),
                 G.col(gcol::kNobs));
      break;
    }
    case kFitML:
      F = ml_group(X, NG, g);
      break;
    case kFitAWLS:
      F = awls_group(X, NG, g);
      break;
    case kFitDWLS: {
      // The diagonal weights come from AV; without them there is nothing to
      // weight by (the error of weighted least squares without its weights).
      if (G.icol(gcol::kWeights) < 1) {
        runtime::write_list(runtime::kStdout, {});
        runtime::write_list(runtime::kStdout, {" Diagonally weighted least squares needs AV weights in group", g});
        jobbase::ERRMSG(40);
      }
      const int np = packed_size(G.icol(gcol::kNvar));
      F = dwls_fit(packed_at(X, G.icol(gcol::kObsData), np), packed_at(X, G.icol(gcol::kCovResult), np),
                   packed_at(X, G.icol(gcol::kWeights), np), G.icol(gcol::kNvar));
      break;
    }
    case kFitGLS:
      F = gls_group(X, NG, g);
      break;
    default:
      return;
  }
  if (!std::isfinite(F)) {
    // A value that is not finite (an expected matrix with infinite or
    // undefined elements, an overflow, a zero weight) cannot be computed:
    // the penalty of maximum likelihood at a ratio of 0, and MODE -1.
    const double prev = G.col(gcol::kFitValue);
    const int p = G.icol(gcol::kNvar);
    F = 100.0 * p * p + (std::isfinite(prev) ? prev : 0.0) + kTinyRatio * kPenaltyScale;
    if (oc.NNONPD == troubled) ++oc.NNONPD;
    oc.FMODE = -1;
  }
  G.col(gcol::kFitValue) = F;
  FOBJ += F;
}

}  // namespace qv::fit
