// Line search of the major iterations.
#include "optim/npsrch.hpp"

#include <algorithm>
#include <cmath>

#include "optkern/kernels.hpp"
#include "optkern/machine.hpp"
#include "optim/npmrt.hpp"
#include "optim/srch.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

namespace qv::optim {

using runtime::Mat1;
using runtime::Vec1;

namespace {

constexpr double kSufdec = 0.0001;  // sufficient-decrease factor
constexpr double kSlopeKept = 0.9999;  // 1 - sufdec: slope kept for the first comparison

double dot(int n, const Vec1<const double>& a, const Vec1<const double>& b) {
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) sum += a(i) * b(i);
  return sum;
}

// y := A p for an m x n column-major A.
void matvec(int m, int n, const Mat1<const double>& a, const Vec1<const double>& p, const Vec1<double>& y) {
  for (int i = 1; i <= m; ++i) y(i) = 0.0;
  for (int j = 1; j <= n; ++j) {
    const double pj = p(j);
    if (pj == 0.0) continue;
    for (int i = 1; i <= m; ++i) y(i) += a(i, j) * pj;
  }
}

}  // namespace

void npsrch(bool needfd, int n, int nnlcon, int ldcj, int ldcju, int& nfun, int& ngrad, std::span<int> kneed,
            const Cnlfun& cnlfun, const Objfun& objfun, double& alfa, double& alfbnd, double& alfmax,
            double alfatiny, double stepnorm, double fprec, double lstol, double& gdir, double grdalf,
            double dlag0, double& dlag1, double& objf, double& meritalf, double qpcurv, double xnorm,
            std::span<double> c, std::span<double> ctry, std::span<double> cjac, std::span<double> ujac,
            std::span<double> cjdx, std::span<double> cjdxtry, std::span<const double> lambda1,
            std::span<double> lambda, std::span<const double> dlambda, std::span<const double> s1,
            std::span<double> s, std::span<const double> ds, std::span<const double> cs1, std::span<double> cs,
            std::span<const double> p, std::span<double> grad, std::span<double> ugrad,
            std::span<const double> qpmul, std::span<const double> rho, std::span<const double> x1,
            std::span<double> x, std::span<double> work, int kfirst, std::span<int> iusr,
            std::span<double> rusr, int& inform, int trace_unit) {
  const int m = nnlcon;
  const Vec1<double> cv(c), ctryv(ctry), cjdxv(cjdx), cjdxtryv(cjdxtry), lamv(lambda), sv(s), csv(cs);
  const Vec1<double> gradv(grad), ugradv(ugrad), xv(x), wv(work);
  const Vec1<const double> lam1v(lambda1), dlamv(dlambda), s1v(s1), dsv(ds), cs1v(cs1), pv(p), qpmulv(qpmul),
      rhov(rho), x1v(x1);
  const Vec1<int> kneedv(kneed);
  const Mat1<double> cjacm(cjac, ldcj), ujacm(ujac, ldcju);
  const bool debug = trace_unit > 0;
  const double eps = wmach(3);
  const double scale = NPMERT.scale;

  // Start value of the constraint term of the curvature guard.
  double cs1jdx = 0.0;
  if (!needfd && m > 0) cs1jdx = dot(m, cs1v, Vec1<const double>(cjdx));

  // Tolerances of the search.
  const int evallimit = needfd ? 15 : 10;
  const double epsaf = fprec * (1.0 + std::abs(meritalf));
  const double alfaabstol = NPPREC.epspt8;
  const double alfareltol = NPPREC.epspt8;
  bool overflow = false;
  double tolabs = std::min(alfmax, SAFDIV(alfareltol * xnorm + alfaabstol, stepnorm, overflow));
  const double tolrel = std::max(alfareltol, eps);
  double t = 0.0;
  for (int j = 1; j <= n; ++j) t = std::max(t, std::abs(pv(j)) / (alfareltol * std::abs(x1v(j)) + alfaabstol));
  const double alfatinytol = t * tolabs > 1.0 ? 1.0 / t : tolabs;
  const double fprev = meritalf;
  const double oldg = grdalf;

  // Whether the kept values were replaced in a search abandoned after MODE -1.
  bool stale = false;

  bool restart = true;
  while (restart) {
    // (Re)start of the search from x1.
    restart = false;
    const double g0 = kSlopeKept * oldg;
    const double targtg = (kSufdec - lstol) * oldg;
    double alfbst = 0.0, fbest = 0.0, gbest = g0;
    for (int i = 1; i <= m; ++i) kneedv(i) = 1;
    int mode = needfd ? 0 : 2;
    bool first = true, done = false, imprvd = false, copied = false;
    int numf = 0;
    double ftry = 0.0, gtry = 0.0;
    double objtry = 0.0, merit = 0.0, gdirtry = 0.0, dirderiv = 0.0;

    while (!done) {
      if (needfd)
        SRCHNG(first, debug, done, imprvd, inform, evallimit, numf, trace_unit, alfmax, alfatiny, epsaf, g0,
               targtg, ftry, tolabs, tolrel, alfatinytol, alfa, alfbst, fbest);
      else
        SRCHDG(first, debug, done, imprvd, inform, evallimit, numf, trace_unit, alfmax, epsaf, g0, targtg,
               ftry, gtry, tolabs, tolrel, alfatinytol, alfa, alfbst, fbest, gbest);

      if (imprvd) {
        // The last trial is the new best point: keep its values.
        copied = true;
        objf = objtry;
        meritalf = merit;
        for (int i = 1; i <= m; ++i) cv(i) = ctryv(i);
        if (!needfd) {
          for (int j = 1; j <= n; ++j) gradv(j) = ugradv(j);
          gdir = gdirtry;
          dlag1 = dirderiv;
          for (int i = 1; i <= m; ++i) cjdxv(i) = cjdxtryv(i);
          for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= m; ++i) cjacm(i, j) = ujacm(i, j);
        }
      }
      if (done) continue;

      // The trial point.
      for (int j = 1; j <= n; ++j) xv(j) = x1v(j) + alfa * pv(j);
      double penalty = 0.0;
      if (m > 0) {
        if (alfa <= 1.0)
          for (int i = 1; i <= m; ++i) lamv(i) = lam1v(i) + alfa * dlamv(i);
        for (int i = 1; i <= m; ++i) sv(i) = s1v(i) + alfa * dsv(i);
        cnlfun(mode, m, n, ldcju, kneed, x, ctry, ujac, kfirst, iusr, rusr);
        if (mode < 0) break;
        double ssq = 0.0;
        for (int i = 1; i <= m; ++i) {
          csv(i) = ctryv(i) - sv(i);
          ssq += rhov(i) * csv(i) * csv(i);
        }
        penalty = dot(m, Vec1<const double>(lambda), Vec1<const double>(cs)) - 0.5 * scale * ssq;
      }
      objfun(mode, n, x, objtry, ugrad, kfirst, iusr, rusr);
      if (mode < 0) break;

      merit = m > 0 ? objtry - penalty : objtry;
      ftry = (merit - fprev) - kSufdec * oldg * alfa;

      if (!needfd) {
        gdirtry = dot(n, Vec1<const double>(ugrad), pv);
        gtry = gdirtry;
        dirderiv = gdirtry;
        if (m > 0) {
          matvec(m, n, Mat1<const double>(ujacm.ptr(), ldcju, ujacm.extent()), pv, cjdxtryv);
          for (int i = 1; i <= m; ++i) wv(i) = cjdxtryv(i) - dsv(i);
          gtry -= dot(m, Vec1<const double>(lambda), Vec1<const double>(work));
          if (alfa <= 1.0) gtry -= dot(m, dlamv, Vec1<const double>(cs));
          DIAGSC(m, rho, 1, work, 1);
          gtry += scale * dot(m, Vec1<const double>(work), Vec1<const double>(cs));
          dirderiv = gdirtry - dot(m, Vec1<const double>(cjdxtry), qpmulv);
          if (alfbnd <= alfa && alfa < alfmax) {
            // Curvature guard: a step along which the constraint term changes
            // the curvature of the Lagrangian is not extended.
            const double csjdx = dot(m, Vec1<const double>(cs), Vec1<const double>(cjdxtry));
            const double curvlf = dirderiv - dlag0;
            const double curvtest = std::abs(csjdx - cs1jdx);
            const double penbfgs = std::max(0.1 * qpcurv - curvlf, 0.0);
            if (curvtest / eps < penbfgs)
              alfbnd = std::min(2.0 * alfa, alfmax);
            else
              alfmax = alfa;
          }
        }
        gtry -= kSufdec * oldg;
      }
    }

    if (!done) {
      // A callback returned a negative MODE at the trial point.
      if (mode == -1) {
        // Outside the function's domain: a tenfold shorter step, and a new
        // search whose counts start afresh.
        alfa = 0.1 * alfa;
        alfmax = alfa;
        stale = stale || copied;
        restart = true;
        continue;
      }
      inform = mode;
      return;
    }

    // Finish.
    nfun += numf;
    if (!needfd) ngrad += numf;
    alfa = alfbst;
    if (!imprvd) {
      for (int j = 1; j <= n; ++j) xv(j) = x1v(j) + alfa * pv(j);
      if (m > 0) {
        if (alfa <= 1.0)
          for (int i = 1; i <= m; ++i) lamv(i) = lam1v(i) + alfa * dlamv(i);
        for (int i = 1; i <= m; ++i) {
          sv(i) = s1v(i) + alfa * dsv(i);
          csv(i) = cv(i) - sv(i);
        }
      }
    }
    if (stale && !copied) {
      // The kept values belong to a trial of a search abandoned after MODE
      // -1, and this search never moved: evaluate x1 again so that the
      // values returned are those of the point returned.
      mode = needfd ? 0 : 2;
      if (m > 0) {
        cnlfun(mode, m, n, ldcju, kneed, x, c, ujac, kfirst, iusr, rusr);
        if (mode < 0) {
          inform = mode;
          return;
        }
      }
      objfun(mode, n, x, objf, ugrad, kfirst, iusr, rusr);
      if (mode < 0) {
        inform = mode;
        return;
      }
      nfun += 1;
      meritalf = fprev;
      if (!needfd) {
        ngrad += 1;
        for (int j = 1; j <= n; ++j) gradv(j) = ugradv(j);
        gdir = dot(n, Vec1<const double>(grad), pv);
        dlag1 = gdir;
        if (m > 0) {
          matvec(m, n, Mat1<const double>(ujacm.ptr(), ldcju, ujacm.extent()), pv, cjdxv);
          dlag1 -= dot(m, Vec1<const double>(cjdx), qpmulv);
          for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= m; ++i) cjacm(i, j) = ujacm(i, j);
        }
      }
      for (int i = 1; i <= m; ++i) csv(i) = cv(i) - sv(i);
    }
    if (debug) runtime::write_fmt(trace_unit, "(a, i4)", {" //npsrch// inform  = ", inform});
  }
}

}  // namespace qv::optim
