#include "numlib/hessian.hpp"

#include <cmath>
#include <string>

#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"
#include "optkern/chcore.hpp"
#include "optkern/kernels.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

namespace qv::numlib {

using runtime::Mat1;
using runtime::Vec1;

namespace {

constexpr const char* kName = "E04XAF";

void record(int unit, std::string_view fmt, std::initializer_list<runtime::Out> items) {
  WRTREC(unit, runtime::write_internal(fmt, items));
}

}  // namespace

void E04XAZ(bool debug, bool& done, bool& first, double epsa, double epsr, double fx, double /*x*/,
            int& inform, int& iter, int itmax, double& cdest, double& fdest, double& sdest,
            double& errbnd, double f1, double f2, double& h, double& hopt, double& hphi) {
  int unit = -1;
  if (debug) {
    MCHCON();
    unit = static_cast<int>(optkern::MCHTAB.advunit);
  }
  optkern::chcore(debug, done, first, epsa, epsr, fx, inform, iter, itmax, cdest, fdest, sdest, errbnd,
                f1, f2, h, hopt, hphi, unit, optkern::ChcoreTrace::Library);
}

namespace {

// Iterations of each interval search.
constexpr int kItmax = 3;

// One call of E04XAF, shared by its steps: its arguments (FOBJ and IFAIL by
// reference), views of its arrays, and the working precision of the call.
struct E04xafRun {
  // The arguments, in the order of E04XAF's.
  const int msglvl, n;
  const std::span<double> xs;
  const int mode;
  const E04xafFun& objfun;
  const int lhes;
  const std::span<double> hfs;
  double& fobj;
  const std::span<double> gobjs, hcs, hs, works;
  const std::span<int> iusr;
  const std::span<double> rusr;
  const std::span<int> infos;
  int& ifail;

  // Views, the message unit and the trace switch.
  const Vec1<double> x{xs}, hf{hfs}, gobj{gobjs}, hc{hcs}, work{works};
  const Vec1<int> info{infos};
  const Mat1<double> h{hs, lhes};
  const std::span<double> grad = works.first(static_cast<std::size_t>(n));  // the gradient of every later call
  const int nout = static_cast<int>(optkern::MCHTAB.advunit);                // the advisory unit
  const bool debug = msglvl == 2;                                           // the traces of both routines

  // The working precision.
  double epsrf = 0.0;  // relative precision of the objective
  double epsa = 0.0;   // absolute error level
};

// The message of the first invalid argument; empty when all are valid.
std::string_view argument_error(int n, int mode, int lhes) {
  if (n < 1) return " Error return from E04XAF because N is less than 1";
  if (mode < 0 || mode > 2) return " Error return from E04XAF because MODE is out of range";
  if (lhes < n) return " Error return from E04XAF because LHES is less than N";
  return {};
}

// A negative MODE from the objective ends the routine with that MODE as IFAIL.
void user_stop(E04xafRun& s, int m) {
  const std::string rec[] = {" User requested termination by setting MODE negative in routine OBJFUN."};
  s.ifail = ERREXIT(s.ifail, m, kName, rec);
}

// Every evaluation after the first: F at the current X, a gradient into
// WORK; false (IFAIL set) when the objective asked to stop.
bool evaluate(E04xafRun& s, double& f) {
  int m = s.mode;
  s.objfun(m, s.n, s.xs, f, s.grad, 0, s.iusr, s.rusr);
  if (m >= 0) return true;
  user_stop(s, m);
  return false;
}

// The relative precision of the objective: EPSRF when it suits FOBJ,
// otherwise the default eps^0.9 (with a warning when EPSRF was given too
// large or too small); then the absolute error level.
void choose_precision(E04xafRun& s, double epsrf_in, int& iwarn) {
  const double eps = optkern::MCHTAB(3);
  const double epsdef = std::pow(eps, 0.9);
  const double eps23 = std::pow(eps, 2.0 / 3.0);
  iwarn = 0;
  double epsrf = epsrf_in;
  if (epsrf <= 0.0) {
    epsrf = epsdef;
  } else if (s.fobj >= eps23) {
    if (epsrf * s.fobj >= 1.0) {
      iwarn = 2;
      if (s.msglvl > 0) WRTREC(s.nout, " WARNING EPSRF is too large and has been set to default value.");
      epsrf = epsdef;
    }
    if (eps > epsrf_in * s.fobj) {
      iwarn = 1;
      if (s.msglvl > 0) WRTREC(s.nout, " WARNING EPSRF is too small and has been set to default value");
      epsrf = epsdef;
    }
  }
  s.epsrf = epsrf;
  s.epsa = epsrf * (1.0 + std::abs(s.fobj));
  if (s.debug) record(s.nout, "(' //E04XAF//  Epsrf and initial function',1p,2d16.6)", {epsrf, s.fobj});
}

void write_table_header(const E04xafRun& s) {
  WRTREC(s.nout, " ");
  WRTREC(s.nout, " ");
  WRTREC(s.nout, "Output from routine E04XAF.");
  if (s.mode == 1)
    WRTREC(s.nout, "    J      X(J)   F. dif. int.   C. dif. int.     Error est. Hess diag est. fun evals.  info(j)");
  else
    WRTREC(s.nout, "    J      X(J)   F. dif. int.   C. dif. int.     Error est.     Grad. est. Hess diag est. fun evals.  info(j)");
  WRTREC(s.nout, " ");
}

// The row of variable j in the result table.
void write_table_row(const E04xafRun& s, int j, double errbnd, int nev) {
  if (s.mode == 1)
    record(s.nout, "(i5,1p,d10.2,1p,4d15.6,i9,i8)", {j, s.x(j), s.hf(j), s.hc(j), errbnd, s.h(j, 1), nev, s.info(j)});
  else
    record(s.nout, "(i5,1p,d10.2,1p,5d15.6,i9,i8)",
           {j, s.x(j), s.hf(j), s.hc(j), errbnd, s.gobj(j), s.h(j, 1), nev, s.info(j)});
}

// The interval search of variable j (pairs of values at x + h and x + 2h,
// one E04XAZ step per pair, until it is done), then its intervals, its
// first and diagonal second derivative and its row of the table.  False
// when the objective asked to stop (X(j) is left displaced).
bool search_interval(E04xafRun& s, int j) {
  const int mode = s.mode;
  const double xj = s.x(j);
  bool first = true;
  bool done = false;
  int iter = 0;
  int inform = 0;
  double cdest = 0.0, sdest = 0.0, fdest = 0.0, errbnd = 0.0, hphi = 0.0;
  if (s.debug) record(s.nout, "(' //E04XAF//  Variable',i5,' = ',1p,d16.6)", {j, xj});

  // MODE 1 differences the gradient component g(j), the others f itself.
  double fx = s.fobj;
  if (mode == 1) {
    fx = s.gobj(j);
    s.epsa = s.epsrf * (std::abs(s.gobj(j)) + 1.0);
  }

  double hopt = 0.0;
  double step = 0.0;
  if (s.hf(j) > 0.0) {
    hopt = s.hf(j);
    step = mode == 0 ? 10.0 * s.hf(j) : s.hf(j);
  } else {
    const double sq = mode == 2 ? std::pow(s.epsrf, 0.25) : std::sqrt(s.epsrf);
    hopt = 2.0 * sq * (1.0 + std::abs(xj));
    step = mode == 0 ? 10.0 * hopt : hopt;
  }

  int nev = 0;
  while (!done) {
    double f1 = 0.0, f2 = 0.0, f = 0.0;
    s.x(j) = xj + step;
    if (!evaluate(s, f)) return false;
    f1 = mode == 1 ? s.work(j) : f;
    s.x(j) = xj + 2.0 * step;
    if (!evaluate(s, f)) return false;
    f2 = mode == 1 ? s.work(j) : f;
    nev += 2;
    E04XAZ(s.debug, done, first, s.epsa, s.epsrf, fx, xj, inform, iter, kItmax, cdest, fdest, sdest, errbnd, f1, f2,
           step, hopt, hphi);
  }

  s.info(j) = inform;
  s.hf(j) = hopt;
  s.hc(j) = hphi;
  s.x(j) = xj;
  if (mode == 1) {
    s.h(j, 1) = cdest;
  } else {
    s.gobj(j) = cdest;
    s.h(j, 1) = sdest;
  }
  if (s.msglvl > 0) write_table_row(s, j, errbnd, nev);
  return true;
}

// MODE 1: differences of gradients, column i for a step in variable i
// (kept in WORK after the gradient), then symmetrised.  False when the
// objective asked to stop.
bool hessian_from_gradients(E04xafRun& s) {
  const int n = s.n;
  bool overflow = false;  // the guarded quotient is used as it stands
  for (int i = 1; i <= n; ++i) {
    const double xi = s.x(i);
    s.x(i) = xi + s.hf(i);
    double f = 0.0;
    if (!evaluate(s, f)) return false;
    s.x(i) = xi;
    for (int k = 1; k <= n; ++k)
      s.work(n + (i - 1) * n + k) = optkern::SAFDIV(s.work(k) - s.gobj(k), s.hf(i), overflow);
  }
  Mat1<double> w(s.work.from(n + 1).span(), n);
  for (int k = 1; k <= n; ++k)
    for (int i = k; i <= n; ++i) {
      const double v = (w(i, k) + w(k, i)) / 2.0;
      s.h(i, k) = v;
      s.h(k, i) = v;
    }
  return true;
}

// MODE 2: second differences of function values with the central
// intervals, three evaluations for every pair.  False when the objective
// asked to stop.
bool hessian_from_values(E04xafRun& s) {
  const Vec1<double>& x = s.x;
  bool overflow = false;  // the guarded quotient is used as it stands
  for (int i = 1; i <= s.n; ++i) {
    for (int k = i; k <= s.n; ++k) {
      const double hi = s.hc(i);
      const double hk = s.hc(k);
      const double xi = x(i);
      const double xk = x(k);
      double fik = 0.0, fk = 0.0, fi = 0.0;
      if (i == k) {
        x(i) = xi + 2.0 * hi;
      } else {
        x(i) = xi + hi;
        x(k) = xk + hk;
      }
      if (!evaluate(s, fik)) return false;
      x(i) = xi;
      x(k) = xk + hk;
      if (!evaluate(s, fk)) return false;
      x(k) = xk;
      x(i) = xi + hi;
      if (!evaluate(s, fi)) return false;
      x(i) = xi;
      const double v = optkern::SAFDIV(fik - fk - fi + s.fobj, hi * hk, overflow);
      s.h(i, k) = v;
      s.h(k, i) = v;
    }
  }
  return true;
}

}  // namespace

void E04XAF(int msglvl, int n, double epsrf_in, std::span<double> x_s, int mode,
            const E04xafFun& objfun, int lhes, std::span<double> hf_s, double& fobj,
            std::span<double> gobj_s, std::span<double> hc_s, std::span<double> h_s, int& iwarn,
            std::span<double> work_s, std::span<int> iusr, std::span<double> rusr,
            std::span<int> info_s, int& ifail) {
  MCHCON();

  // Argument checks, first failure only; nothing is evaluated.
  const std::string_view bad = argument_error(n, mode, lhes);
  if (!bad.empty()) {
    const std::string rec[] = {std::string(bad)};
    ifail = ERREXIT(ifail, 1, kName, rec);
    return;
  }

  E04xafRun s{.msglvl = msglvl, .n = n, .xs = x_s, .mode = mode, .objfun = objfun, .lhes = lhes, .hfs = hf_s,
              .fobj = fobj, .gobjs = gobj_s, .hcs = hc_s, .hs = h_s, .works = work_s, .iusr = iusr, .rusr = rusr,
              .infos = info_s, .ifail = ifail};

  // The first evaluation, with its gradient into GOBJ.
  int m = mode;
  objfun(m, n, x_s, fobj, gobj_s, 1, iusr, rusr);
  if (m < 0) {
    user_stop(s, m);
    return;
  }

  choose_precision(s, epsrf_in, iwarn);
  if (msglvl > 0) write_table_header(s);

  // Difference intervals, first and diagonal second derivatives, variable by variable.
  for (int j = 1; j <= n; ++j)
    if (!search_interval(s, j)) return;

  if (mode == 1 && !hessian_from_gradients(s)) return;
  if (mode == 2 && !hessian_from_values(s)) return;

  bool any = false;
  for (int j = 1; j <= n; ++j) any = any || s.info(j) > 0;
  if (any) {
    const std::string rec[] = {" One or more variables have a nonzero INFO value"};
    ifail = ERREXIT(ifail, 2, kName, rec);
  } else {
    ifail = 0;
  }
}

}  // namespace qv::numlib
