#include "fit/rawfit.hpp"

#include <cmath>
#include <limits>
#include <numbers>
#include <span>

#include "algebra/formmach.hpp"
#include "fit/objcel.hpp"
#include "fit/packedmat.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/syminv.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/eigen_sym.hpp"
#include "runtime/packidx.hpp"
#include "runtime/unitnames.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;
using jobbase::GroupView;
using jobbase::icell;
using runtime::Out;
using runtime::packed_offset;
using runtime::packed_size;
using runtime::Vec1;

namespace {

// A case likelihood at or below this cannot be logged; a later one counts
// as -2 ln(1e-33).
constexpr double kFloor = 1.0e-32;
const double kFloorTerm = -2.0 * std::log(1.0e-33);  // 151.970616137607
const double kLnFloor = std::log(kFloor);
// Below this a quadratic form's square root is written as 0.
constexpr double kSafeMin = 5.87747175411144e-39;

// A positive number in the normal range of a double.
bool representable(double v) {
  return v >= std::numeric_limits<double>::min() && v <= std::numeric_limits<double>::max();
}

// The scratch: need words below WSTOP, reserved at WSTOP on the run's first
// use and raised for a larger group.  A scratch that no longer lies below
// WSTOP (a caller lowered it since) is reserved again.
int scratch(int need) {
  auto& oc = OBJCEL;
  auto& r = RAWCEL;
  auto& m = jobbase::MAINPR;
  if (!oc.RAWALC || r.WORDS < need || r.ADDR < 1 || r.ADDR + r.WORDS > m.WSTOP) {
    jobbase::check_room(static_cast<long long>(m.WSTOP) + need - 1);
    r.ADDR = m.WSTOP;
    r.WORDS = need;
    m.WSTOP += need;
    oc.RAWALC = true;
  }
  return r.ADDR;
}

// The report on a case whose likelihood is at or below the floor at the
// starting values; error 97 ends the program.
[[noreturn]] void strange(Vec1<double> X, int i, int a, int mu, int E, int p) {
  using runtime::kStdout;
  runtime::write_list(kStdout, {});
  runtime::write_list(kStdout, {" Statistics for STRANGE observation #", i + 1});
  runtime::write_list(kStdout, {});
  runtime::write_list(kStdout, {"   Variable         Observed            Expected             (x-mu)/sd"});
  for (int j = 1; j <= p; ++j) {
    const double x = X(a + j - 1);
    const double m = X(mu + j - 1);
    runtime::write_fmt(kStdout, "(1x,i5,8x,d12.4,8x,d12.4,8x,d12.4)",
                       {j, x, m, (x - m) / std::sqrt(X(E + packed_offset(j, j)))});
  }
  runtime::write_list(kStdout, {});
  runtime::write_list(kStdout, {" Expected Covariance Matrix"});
  write_lower_triangle(kStdout, X, E, p);
  runtime::write_list(kStdout, {});
  jobbase::ERRMSG(97);
}

// The penalty that replaces the group's value when the expected matrix at E
// has no inverse: (lambda_min^2 p + 1 + z) FSCALE / n, lambda_min its
// smallest eigenvalue (worked out above the workspace top) and z the zero
// pivots.
double penalty(Vec1<double> X, int E, int p, int n, int z) {
  const int u = runtime::kMsgUnit;
  runtime::write_list(u, {});
  runtime::write_list(u, {" Expected Covariance Matrix"});
  write_lower_triangle(u, X, E, p);
  runtime::write_list(u, {});
  // An eigenvalue that is not a number (an expected matrix with undefined
  // elements) adds nothing, so that the penalty stays finite.
  const double lmin = smallest_eigenvalue(X, E, p, jobbase::MAINPR.WSTOP);
  const double l2 = std::isfinite(lmin * lmin) ? lmin * lmin : 0.0;
  const double P = (l2 * p + 1.0 + z) * OBJCEL.FSCALE / n;
  OBJCEL.FMODE = -1;
  runtime::write_list(u, {" Penalty is", P});
  return P;
}

}  // namespace

void raw_fit(Vec1<double> X, int NG, int g, double& FOBJ) {
  const GroupView G{X, NG, g};
  auto& oc = OBJCEL;
  auto& fm = algebra::FMFLAG;
  const int k = G.icol(gcol::kNi);
  const int n = G.icol(gcol::kNobs);
  const int p = G.icol(gcol::kNvar);
  const int np = packed_size(p);
  const int first = G.icol(gcol::kRawData);
  const int dep = G.icol(gcol::kCaseDepend);
  const bool pedout = oc.PEDOUT;
  const bool at_start = G.col(gcol::kFitValue) == 0.0;

  // The raw-data letter: its storage address is set so that its values are
  // the current case (a declared matrix's values follow its specification
  // numbers, one per stored element).
  const int L = G.icol(gcol::kRawLetter);
  const bool letter = L >= 1 && L <= 26;
  int lcount = 0;
  if (letter) {
    int t = icell(G.type(L));
    lcount = jobbase::NELEM(t, icell(G.rows(L)), icell(G.cols(L)));
  }

  // The formulas' temporaries count towards the job's workspace share.
  const bool accnt = fm.ACCNT;
  fm.ACCNT = true;
  int status = 0;
  algebra::EVFORM(X, jobbase::fkind::kMeans, g, g, status);
  algebra::EVFORM(X, jobbase::fkind::kCov, g, g, status);

  const double twopi = std::pow(2.0 * std::numbers::pi, p / 2.0);
  const double ln_twopi = p / 2.0 * std::log(2.0 * std::numbers::pi);
  const int E = G.icol(gcol::kCovResult);
  const int mu = G.icol(gcol::kMeansResult);
  double F = 0.0;
  int inv = 0, full = 0, res = 0;
  double det = 0.0, c = 0.0, lnc = 0.0;
  bool logform = false;
  int nullity = 0, fault = 0;
  bool failed = false;
  for (int i = 0; i < n; ++i) {
    const int a = first + k * i;
    if (letter) G.addr(L) = a - lcount;
    if (i == 0 || dep == 1 || dep == 3) algebra::EVFORM(X, jobbase::fkind::kMeans, g, g, status);
    if (i == 0 || dep == 2 || dep == 3) {
      algebra::EVFORM(X, jobbase::fkind::kCov, g, g, status);
      inv = scratch(np + p * (p + 1));
      full = inv + np;
      res = full + p * p;
      jobbase::SYMINV(X.from(E), p, X.from(inv), X.from(full), det, 1, nullity, fault);
      if (fault != 0 || nullity != 0) {
        failed = true;
        break;
      }
      // The normalising constant.  Where it or the determinant lies beyond
      // the range of a double (many variables, or variables of small or
      // large variance) it is taken in logarithms, the determinant's from
      // the factor's diagonal, so that the scale of the variables alone
      // never makes a case's likelihood 0 or infinite.
      c = 1.0 / (std::sqrt(det) * twopi);
      logform = !representable(det) || !representable(c);
      if (logform) {
        double lndet = 0.0;
        if (representable(det)) {
          lndet = std::log(det);
        } else if (!jobbase::positive_definite(X.from(E), p, X.from(full), lndet)) {
          failed = true;
          break;
        }
        lnc = -0.5 * lndet - ln_twopi;
      }
      for (int jc = 1; jc <= p; ++jc)
        for (int ir = 1; ir <= p; ++ir) X(full + (jc - 1) * p + ir - 1) = X(inv + runtime::packed_offset_sym(ir, jc));
    }
    // q := d' E^-1 d with d the case less the expected means.
    for (int j = 0; j < p; ++j) X(res + j) = X(a + j) - X(mu + j);
    double q = 0.0;
    for (int jc = 0; jc < p; ++jc) {
      double s = 0.0;
      const int col = full + jc * p;
      for (int ir = 0; ir < p; ++ir) s += X(col + ir) * X(res + ir);
      q += X(res + jc) * s;
    }
    double term = 0.0;
    bool low = false;
    if (logform) {
      const double lnL = lnc - q / 2.0;
      low = !(lnL > kLnFloor);
      term = -2.0 * lnL;
    } else {
      const double Lk = std::exp(-q / 2.0) * c;
      low = !(Lk > kFloor);
      term = -2.0 * std::log(Lk);
    }
    const double root = q > kSafeMin ? std::sqrt(q) : 0.0;
    if (low) {
      oc.FMODE = -1;
      if (at_start) strange(X, i, a, mu, E, p);
      if (pedout) runtime::write_list(runtime::kOutFileUnit, {kFloorTerm, root, i + 1, p});
      F += kFloorTerm;
    } else {
      if (pedout) runtime::write_list(runtime::kOutFileUnit, {term, root, i + 1, p});
      F += term;
    }
  }
  fm.ACCNT = accnt;

  if (failed) {
    // The expected matrix has no inverse: its penalty replaces what the
    // cases before added.
    F = penalty(X, E, p, n, nullity);
    ++oc.NNONPD;
  }
  G.col(gcol::kFitValue) = F;
  FOBJ += F;
}

}  // namespace qv::fit
