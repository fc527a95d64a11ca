#include "fit/fitci.hpp"

#include <cmath>
#include <functional>
#include <limits>

#include "fit/femats.hpp"
#include "fit/fitstat.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/distrib.hpp"
#include "runtime/fullwrite.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;
using jobbase::icell;
using runtime::kStdout;
using runtime::Vec1;
using runtime::write_fmt_full;
using runtime::write_list;

namespace {

// The searches ask the non-central chi-squared probability for far more
// accuracy than the bounds are printed with, and allow enough terms for
// non-centralities of many thousands.
constexpr double kSearchTol = 1e-12;
constexpr int kSearchTerms = 100000;

// P(chi2(df, lambda) <= x); ok false when it cannot be computed.
double ncx_cdf(double x, double df, double lambda, int maxit, bool& ok) {
  int ifail = 1;
  const double P = numlib::G01GCF(x, df, lambda, kSearchTol, maxit, ifail);
  ok = ifail == 0;
  return P;
}

// A function of the non-centrality that falls as it grows, and whether it
// could be computed there.
using Falling = std::function<double(double lambda, bool& ok)>;

// The non-centrality lambda >= 0 where g crosses zero: 0 when g(0) <= 0;
// otherwise the bracket [0, start] is doubled upwards until g is no longer
// positive at its top (there is no cap), then halved until its ends are
// neighbours in double precision.  Returns false when g cannot be computed
// at a point the search needs; root then holds the highest point known to
// lie below the crossing.
bool falling_root(const Falling& g, double start, double& root) {
  bool ok = true;
  root = 0.0;
  if (g(0.0, ok) <= 0.0) return ok;
  if (!ok) return false;
  double lo = 0.0, hi = start > 1.0 ? start : 1.0;
  for (;;) {
    const double gh = g(hi, ok);
    if (!ok) {
      root = lo;
      return false;
    }
    if (gh <= 0.0) break;
    lo = hi;
    hi *= 2.0;
    if (!std::isfinite(hi)) {
      root = lo;
      return false;
    }
  }
  constexpr double eps = std::numeric_limits<double>::epsilon();
  for (int it = 0; it < 4000 && hi - lo > 2.0 * eps * hi; ++it) {
    const double mid = 0.5 * (lo + hi);
    if (mid <= lo || mid >= hi) break;
    const double gm = g(mid, ok);
    if (!ok) {
      root = lo;
      return false;
    }
    (gm > 0.0 ? lo : hi) = mid;
  }
  root = 0.5 * (lo + hi);
  return true;
}

// The interval's two searches with the NCXCEL cells: the lower bound at
// the target p/200 + 0.5 and the upper at 0.5 - p/200.  A lower search that
// fails gives 0; upper_ok tells whether the upper bound was reached.
void interval_searches(double p, double& lo, double& hi, bool& upper_ok) {
  auto& c = NCXCEL;
  auto below = [&c](double lambda, bool& ok) { return ncx_cdf(c.X, c.DF, lambda, kSearchTerms, ok) - c.TARGET; };
  const double start = c.X > 0.0 ? c.X : 1.0;
  c.TARGET = p / 200.0 + 0.5;
  if (!falling_root(below, start, lo)) lo = 0.0;
  c.TARGET = 0.5 - p / 200.0;
  upper_ok = falling_root(below, start, hi);
}

// The sample-size search with the PWRCEL cells: the non-centrality whose
// power is the target.
bool power_search(double& lambda) {
  const auto& c = PWRCEL;
  auto short_of = [&c](double l, bool& ok) {
    return c.TARGET - (1.0 - ncx_cdf(c.CRIT, c.DF, l, kSearchTerms, ok));
  };
  return falling_root(short_of, 10.0, lambda);
}

// A bound line: fixed, or E format when the upper value is 1000 or more.
void bound_line(double lo, double hi) {
  if (hi >= 1000.0)
    write_fmt_full(kStdout, "(2x,a,e12.5,a,e12.5)", {" from ", lo, " to ", hi});
  else
    write_fmt_full(kStdout, "(2x,a,f7.3,a,f7.3)", {" from ", lo, " to ", hi});
}

void percent_line(int ip, const char* text) { write_fmt_full(kStdout, "(3x,i2,a)", {ip, text}); }

}  // namespace

void NCXOBJ(double lambda, double& f) {
  const auto& c = NCXCEL;
  bool ok = true;
  const double P = ncx_cdf(c.X, c.DF, lambda, 500, ok);
  f = ok ? (c.TARGET - P) * (c.TARGET - P) : 2.0;
}

void PWROBJ(double lambda, double& f) {
  const auto& c = PWRCEL;
  bool ok = true;
  const double d = c.TARGET - (1.0 - ncx_cdf(c.CRIT, c.DF, lambda, 50, ok));
  f = d * d;
}

void FITCI(Vec1<double> X, int NG, double p, double F, double DF, double /*Ntot*/, int NPAR, double& chiLo,
           double& chiHi, double& aicLo, double& aicHi, double& rmseaLo, double& rmseaHi) {
  write_list(kStdout, {});
  if (DF <= 0.0) {
    chiLo = chiHi = -1.0;
    aicLo = aicHi = -99999.0;
    rmseaLo = rmseaHi = -1.0;
    write_list(kStdout, {" No intervals on the fit statistics: the model has no degrees of freedom"});
    return;
  }
  auto& c = NCXCEL;
  c.X = F;
  c.DF = DF;
  bool upper_ok = true;
  interval_searches(p, chiLo, chiHi, upper_ok);

  const int ip = static_cast<int>(std::floor(p));
  if (!upper_ok) {
    write_list(kStdout, {"  I had some trouble calculating them, but perhaps"});
    percent_line(ip, "% confidence intervals on Chi-squared could be:");
  } else {
    percent_line(ip, "% confidence intervals on Chi-squared:");
  }
  bound_line(chiLo, chiHi);

  // A non-centrality b stands for a fit of b + DF, as the fit F stands for
  // the non-centrality F - DF: the AIC bound is b - DF, the RMSEA bound that
  // of the fit values scaled to b + DF.
  aicLo = chiLo - DF;
  aicHi = chiHi - DF;
  percent_line(ip, "% confidence intervals on AIC:");
  bound_line(aicLo, aicHi);

  percent_line(ip, "% confidence intervals on RMSEA:");
  auto rmsea = [&](double b) {
    if (b <= 0.0) return 0.0;
    const double r = F > 0.0 ? (b + DF) / F : 1e15;
    double v = 0.0;
    DFOBS(X, NG, NPAR, r, v);
    return v;
  };
  rmseaLo = rmsea(chiLo);
  rmseaHi = rmsea(chiHi);
  write_fmt_full(kStdout, "(2x,a,f7.3,a,f7.3)", {" from ", rmseaLo, " to ", rmseaHi});
}

void PWRSIZ(double power, double df, double c, double F, double Npow, double& n) {
  auto& cel = PWRCEL;
  cel.DF = df;
  cel.TARGET = power;
  cel.CRIT = c;
  double lambda = 0.0;
  if (!power_search(lambda)) {
    write_list(kStdout, {" Power not calculated"});
    return;
  }
  n = lambda * Npow / F;
  const char* tail = Npow < 500.0 ? " (approximately)" : "";
  if (n >= 1.0e6)
    write_fmt_full(kStdout, "(2x,f3.2,5x,e12.6,a)", {power, n, tail});
  else
    write_fmt_full(kStdout, "(2x,f3.2,10x,f7.0,a)", {power, n, tail});
}

void POWER(Vec1<double> X, double F) {
  const auto& o = jobbase::FITOPT;
  auto& tab = PWRTAB;
  tab.reset();
  write_list(kStdout, {});
  if (F == 0.0) {
    write_list(kStdout, {" The fit function is zero so power is zero."});
    write_list(kStdout, {" Required sample sizes would be infinite."});
    return;
  }
  if (!(F > 0.0)) {
    write_list(kStdout, {" The fit function is less than zero; power cannot be computed."});
    write_list(kStdout, {" Required sample sizes would be infinite or more."});
    return;
  }
  int ifail = -1;
  const double P = numlib::G01GCF(o.POCRIT, o.PODF, F, kSearchTol, kSearchTerms, ifail);
  FITRES.PROB = 1.0 - P;
  if (ifail != 0) {
    write_list(kStdout, {" Fault number ", ifail});
    write_list(kStdout, {" I'm embarassed.  I can't calculate power for    you.  So sorry. "});
    write_list(kStdout, {" Try reducing your sample size a bit."});
    return;
  }
  write_fmt_full(kStdout, "(a,f6.4,a)", {" Power of this test, at the ", 1.0 - o.POALF, " significance level"});
  write_fmt_full(kStdout, "(a,f4.0,a,f8.6)", {" with ", o.PODF, " df is ", FITRES.PROB});
  const int NG = icell(X(1));
  double Npow = 0.0;
  for (int g = 1; g <= NG; ++g) {
    const int code = icell(jobbase::GRPTAB(X, NG, gcol::kFitCode, g));
    if (code < jobbase::kFitNone || code == jobbase::kFitUser || code == jobbase::kFitTable)
      Npow += jobbase::GRPTAB(X, NG, gcol::kNobs, g);
  }
  write_fmt_full(kStdout, "(a,f12.0)", {" Based on your combined observed sample size of ", Npow});
  if (Npow > 0.0) {
    write_list(kStdout, {" The following sample sizes would be required to reject the hypothesis:"});
    write_list(kStdout, {});
    write_list(kStdout, {" Power         Total N"});
    for (int k = 0; k < kPowerLevels; ++k) {
      double n = 0.0;
      PWRSIZ(kPowerLevel[k], o.PODF, o.POCRIT, F, Npow, n);
      tab.PAIRS[2 * k] = kPowerLevel[k];
      tab.PAIRS[2 * k + 1] = n;
    }
  } else {
    write_list(kStdout,
               {" Which is zero or less, so I can't compute the sample sizes required for given levels of power"});
  }
  if (jobbase::FESTAT.FEACTV && jobbase::FESTAT.MACHOUT) FEMATS(X, jobbase::IWORKS.ix(), femode::kPower, tab.PAIRS);
}

void NCXLIM(double& lo, double& hi, int mode, double p, double x, double df, int& IFAIL) {
  if (mode == 0) {
    IFAIL = power_search(lo) ? 0 : 1;
    return;
  }
  auto& c = NCXCEL;
  c.X = x;
  c.DF = df;
  bool upper_ok = true;
  interval_searches(p, lo, hi, upper_ok);
  IFAIL = upper_ok ? 0 : 1;
}

}  // namespace qv::fit
