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
    unit = static_cast<int>(optim::MCHTAB.advunit);
  }
  optim::chcore(debug, done, first, epsa, epsr, fx, inform, iter, itmax, cdest, fdest, sdest, errbnd,
                f1, f2, h, hopt, hphi, unit, optim::ChcoreTrace::Library);
}

void E04XAF(int msglvl, int n, double epsrf_in, std::span<double> x_s, int mode,
            const E04xafFun& objfun, int lhes, std::span<double> hf_s, double& fobj,
            std::span<double> gobj_s, std::span<double> hc_s, std::span<double> h_s, int& iwarn,
            std::span<double> work_s, std::span<int> iusr, std::span<double> rusr,
            std::span<int> info_s, int& ifail) {
  MCHCON();
  const double eps = optim::MCHTAB(3);
  const int nout = static_cast<int>(optim::MCHTAB.advunit);
  const double epsdef = std::pow(eps, 0.9);
  const double eps23 = std::pow(eps, 2.0 / 3.0);

  // Argument checks, first failure only; nothing is evaluated.
  std::string bad;
  if (n < 1) bad = " Error return from E04XAF because N is less than 1";
  else if (mode < 0 || mode > 2) bad = " Error return from E04XAF because MODE is out of range";
  else if (lhes < n) bad = " Error return from E04XAF because LHES is less than N";
  if (!bad.empty()) {
    const std::string rec[] = {bad};
    ifail = ERREXIT(ifail, 1, kName, rec);
    return;
  }

  Vec1<double> x(x_s), hf(hf_s), gobj(gobj_s), hc(hc_s), work(work_s);
  Vec1<int> info(info_s);
  Mat1<double> h(h_s, lhes);
  const std::span<double> grad = work_s.first(static_cast<std::size_t>(n));

  const int itmax = 3;
  const bool debug = msglvl == 2;

  // A negative MODE from the objective ends the routine with that MODE as IFAIL.
  auto user_stop = [&](int m) {
    const std::string rec[] = {" User requested termination by setting MODE negative in routine OBJFUN."};
    ifail = ERREXIT(ifail, m, kName, rec);
  };

  int m = mode;
  objfun(m, n, x_s, fobj, gobj_s, 1, iusr, rusr);
  if (m < 0) {
    user_stop(m);
    return;
  }
  // Every later evaluation: F at the current X, a gradient into WORK; false
  // (IFAIL set) when the objective asked to stop.
  auto eval = [&](double& f) {
    m = mode;
    objfun(m, n, x_s, f, grad, 0, iusr, rusr);
    if (m >= 0) return true;
    user_stop(m);
    return false;
  };

  // The relative precision of the objective.
  iwarn = 0;
  double epsrf = epsrf_in;
  if (epsrf <= 0.0) {
    epsrf = epsdef;
  } else if (fobj >= eps23) {
    if (epsrf * fobj >= 1.0) {
      iwarn = 2;
      if (msglvl > 0) WRTREC(nout, " WARNING EPSRF is too large and has been set to default value.");
      epsrf = epsdef;
    }
    if (eps > epsrf_in * fobj) {
      iwarn = 1;
      if (msglvl > 0) WRTREC(nout, " WARNING EPSRF is too small and has been set to default value");
      epsrf = epsdef;
    }
  }
  double epsa = epsrf * (1.0 + std::abs(fobj));
  if (debug) record(nout, "(' //E04XAF//  Epsrf and initial function',1p,2d16.6)", {epsrf, fobj});

  if (msglvl > 0) {
    WRTREC(nout, " ");
    WRTREC(nout, " ");
    WRTREC(nout, "Output from routine E04XAF.");
    if (mode == 1)
      WRTREC(nout, "    J      X(J)   F. dif. int.   C. dif. int.     Error est. Hess diag est. fun evals.  info(j)");
    else
      WRTREC(nout, "    J      X(J)   F. dif. int.   C. dif. int.     Error est.     Grad. est. Hess diag est. fun evals.  info(j)");
    WRTREC(nout, " ");
  }

  // Difference intervals, first and diagonal second derivatives, variable by variable.
  for (int j = 1; j <= n; ++j) {
    const double xj = x(j);
    bool first = true;
    bool done = false;
    int iter = 0;
    int inform = 0;
    double cdest = 0.0, sdest = 0.0, fdest = 0.0, errbnd = 0.0, hphi = 0.0;
    if (debug) record(nout, "(' //E04XAF//  Variable',i5,' = ',1p,d16.6)", {j, xj});

    double fx = fobj;
    if (mode == 1) {
      fx = gobj(j);
      epsa = epsrf * (std::abs(gobj(j)) + 1.0);
    }

    double hopt = 0.0;
    double step = 0.0;
    if (hf(j) > 0.0) {
      hopt = hf(j);
      step = mode == 0 ? 10.0 * hf(j) : hf(j);
    } else {
      const double s = mode == 2 ? std::pow(epsrf, 0.25) : std::sqrt(epsrf);
      hopt = 2.0 * s * (1.0 + std::abs(xj));
      step = mode == 0 ? 10.0 * hopt : hopt;
    }

    int nev = 0;
    while (!done) {
      double f1 = 0.0, f2 = 0.0, f = 0.0;
      x(j) = xj + step;
      if (!eval(f)) return;
      f1 = mode == 1 ? work(j) : f;
      x(j) = xj + 2.0 * step;
      if (!eval(f)) return;
      f2 = mode == 1 ? work(j) : f;
      nev += 2;
      E04XAZ(debug, done, first, epsa, epsrf, fx, xj, inform, iter, itmax, cdest, fdest, sdest, errbnd,
             f1, f2, step, hopt, hphi);
    }

    info(j) = inform;
    hf(j) = hopt;
    hc(j) = hphi;
    x(j) = xj;
    if (mode == 1) {
      h(j, 1) = cdest;
    } else {
      gobj(j) = cdest;
      h(j, 1) = sdest;
    }

    if (msglvl > 0) {
      if (mode == 1)
        record(nout, "(i5,1p,d10.2,1p,4d15.6,i9,i8)", {j, x(j), hf(j), hc(j), errbnd, h(j, 1), nev, info(j)});
      else
        record(nout, "(i5,1p,d10.2,1p,5d15.6,i9,i8)",
               {j, x(j), hf(j), hc(j), errbnd, gobj(j), h(j, 1), nev, info(j)});
    }
  }

  bool overflow = false;  // the guarded quotient is used as it stands
  if (mode == 1) {
    // Differences of gradients, column i for a step in variable i, then symmetrised.
    for (int i = 1; i <= n; ++i) {
      const double xi = x(i);
      x(i) = xi + hf(i);
      double f = 0.0;
      if (!eval(f)) return;
      x(i) = xi;
      for (int k = 1; k <= n; ++k)
        work(n + (i - 1) * n + k) = optim::SAFDIV(work(k) - gobj(k), hf(i), overflow);
    }
    Mat1<double> w(work.from(n + 1).span(), n);
    for (int k = 1; k <= n; ++k)
      for (int i = k; i <= n; ++i) {
        const double v = (w(i, k) + w(k, i)) / 2.0;
        h(i, k) = v;
        h(k, i) = v;
      }
  } else if (mode == 2) {
    // Second differences of function values, three evaluations for every pair.
    for (int i = 1; i <= n; ++i) {
      for (int k = i; k <= n; ++k) {
        const double hi = hc(i);
        const double hk = hc(k);
        const double xi = x(i);
        const double xk = x(k);
        double fik = 0.0, fk = 0.0, fi = 0.0;
        if (i == k) {
          x(i) = xi + 2.0 * hi;
        } else {
          x(i) = xi + hi;
          x(k) = xk + hk;
        }
        if (!eval(fik)) return;
        x(i) = xi;
        x(k) = xk + hk;
        if (!eval(fk)) return;
        x(k) = xk;
        x(i) = xi + hi;
        if (!eval(fi)) return;
        x(i) = xi;
        const double v = optim::SAFDIV(fik - fk - fi + fobj, hi * hk, overflow);
        h(i, k) = v;
        h(k, i) = v;
      }
    }
  }

  bool any = false;
  for (int j = 1; j <= n; ++j) any = any || info(j) > 0;
  if (any) {
    const std::string rec[] = {" One or more variables have a nonzero INFO value"};
    ifail = ERREXIT(ifail, 2, kName, rec);
  } else {
    ifail = 0;
  }
}

}  // namespace qv::numlib
