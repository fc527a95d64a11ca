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

using namespace optkern;
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

// The arguments of one call of npsrch, for the phases of the search: the
// callbacks and the arrays as npsrch was given them, the step bounds, the
// values the search returns, and the constants of its start point.
struct Line {
  bool needfd;
  int n, m, ldcj, ldcju, kfirst, trace_unit;
  const Cnlfun& cnlfun;
  const Objfun& objfun;
  std::span<int> kneed;
  std::span<double> c, ctry, cjac, ujac, cjdx, cjdxtry, lambda, s, cs, grad, ugrad, x, work;
  std::span<const double> lambda1, dlambda, s1, ds, cs1, p, qpmul, rho, x1;
  std::span<int> iusr;
  std::span<double> rusr;
  // The step bounds, and the values at the accepted point.
  double& alfbnd;
  double& alfmax;
  double alfatiny;
  double& gdir;
  double& dlag1;
  double& objf;
  double& meritalf;
  int& nfun;
  int& ngrad;
  // Settings, and the start point's values.
  double dlag0, qpcurv, lstol;
  double scale;         // the penalty scale of the merit function
  double eps;
  double fprev = 0.0;   // the merit value at x1
  double oldg = 0.0;    // its slope along p
  double cs1jdx = 0.0;  // (c - s)'(J p) at x1, with all derivatives supplied
};

// The tolerances of the search on alfa and on the merit function.
struct Tolerances {
  int evallimit = 0;
  double epsaf = 0.0, tolabs = 0.0, tolrel = 0.0, alfatinytol = 0.0;
};

// One search from x1 (a new one after MODE -1): what npsrch keeps of the
// step calculator's state, the values at the last trial, and the callbacks'
// MODE.
struct Search {
  double alfbst = 0.0, fbest = 0.0, gbest = 0.0;
  int numf = 0;
  int mode = 0;
  bool first = true, done = false, imprvd = false;
  bool copied = false;  // a trial's values were kept
  double ftry = 0.0, gtry = 0.0;
  double objtry = 0.0, merit = 0.0, gdirtry = 0.0, dirderiv = 0.0;
};

// The tolerances of the search, from the start point and the step bounds.
Tolerances search_tolerances(const Line& ln, double stepnorm, double fprec, double xnorm) {
  const Vec1<const double> p(ln.p), x1(ln.x1);
  Tolerances tol;
  tol.evallimit = ln.needfd ? 15 : 10;
  tol.epsaf = fprec * (1.0 + std::abs(ln.meritalf));
  const double alfaabstol = NPPREC.epspt8;
  const double alfareltol = NPPREC.epspt8;
  bool overflow = false;
  tol.tolabs = std::min(ln.alfmax, SAFDIV(alfareltol * xnorm + alfaabstol, stepnorm, overflow));
  tol.tolrel = std::max(alfareltol, ln.eps);
  double t = 0.0;
  for (int j = 1; j <= ln.n; ++j) t = std::max(t, std::abs(p(j)) / (alfareltol * std::abs(x1(j)) + alfaabstol));
  tol.alfatinytol = t * tol.tolabs > 1.0 ? 1.0 / t : tol.tolabs;
  return tol;
}

// The next trial step from the step calculator: SRCHNG on values alone,
// SRCHDG with the slopes.
void next_trial_step(const Line& ln, Tolerances& tol, double g0, double targtg, double& alfa, Search& sr,
                     int& inform) {
  const bool debug = ln.trace_unit > 0;
  if (ln.needfd)
    SRCHNG(sr.first, debug, sr.done, sr.imprvd, inform, tol.evallimit, sr.numf, ln.trace_unit, ln.alfmax,
           ln.alfatiny, tol.epsaf, g0, targtg, sr.ftry, tol.tolabs, tol.tolrel, tol.alfatinytol, alfa, sr.alfbst,
           sr.fbest);
  else
    SRCHDG(sr.first, debug, sr.done, sr.imprvd, inform, tol.evallimit, sr.numf, ln.trace_unit, ln.alfmax,
           tol.epsaf, g0, targtg, sr.ftry, sr.gtry, tol.tolabs, tol.tolrel, tol.alfatinytol, alfa, sr.alfbst,
           sr.fbest, sr.gbest);
}

// The Jacobian of the callbacks' array into the kept one.
void keep_jacobian(const Line& ln) {
  const Mat1<double> cjac(ln.cjac, ln.ldcj), ujac(ln.ujac, ln.ldcju);
  for (int j = 1; j <= ln.n; ++j)
    for (int i = 1; i <= ln.m; ++i) cjac(i, j) = ujac(i, j);
}

// The last trial is the new best point: its objective, merit and constraint
// values are kept, and with all derivatives supplied its gradient, slopes,
// Jacobian times p and Jacobian.
void keep_improved_trial(Line& ln, const Search& sr) {
  const int n = ln.n, m = ln.m;
  const Vec1<double> c(ln.c), grad(ln.grad), cjdx(ln.cjdx);
  const Vec1<const double> ctry(ln.ctry), ugrad(ln.ugrad), cjdxtry(ln.cjdxtry);
  ln.objf = sr.objtry;
  ln.meritalf = sr.merit;
  for (int i = 1; i <= m; ++i) c(i) = ctry(i);
  if (!ln.needfd) {
    for (int j = 1; j <= n; ++j) grad(j) = ugrad(j);
    ln.gdir = sr.gdirtry;
    ln.dlag1 = sr.dirderiv;
    for (int i = 1; i <= m; ++i) cjdx(i) = cjdxtry(i);
    keep_jacobian(ln);
  }
}

// x at step alfa from x1, and with nonlinear constraints the multipliers
// (for steps up to 1) and the slacks.
void move_along_step(const Line& ln, double alfa) {
  const Vec1<double> x(ln.x), lambda(ln.lambda), s(ln.s);
  const Vec1<const double> x1(ln.x1), p(ln.p), lambda1(ln.lambda1), dlambda(ln.dlambda), s1(ln.s1), ds(ln.ds);
  for (int j = 1; j <= ln.n; ++j) x(j) = x1(j) + alfa * p(j);
  if (ln.m > 0) {
    if (alfa <= 1.0)
      for (int i = 1; i <= ln.m; ++i) lambda(i) = lambda1(i) + alfa * dlambda(i);
    for (int i = 1; i <= ln.m; ++i) s(i) = s1(i) + alfa * ds(i);
  }
}

// The callbacks at the trial point alfa, and its merit value.  Returns false
// when a callback set MODE negative.
bool evaluate_trial(const Line& ln, double alfa, Search& sr) {
  const int n = ln.n, m = ln.m;
  move_along_step(ln, alfa);
  double penalty = 0.0;
  if (m > 0) {
    ln.cnlfun(sr.mode, m, n, ln.ldcju, ln.kneed, ln.x, ln.ctry, ln.ujac, ln.kfirst, ln.iusr, ln.rusr);
    if (sr.mode < 0) return false;
    const Vec1<double> cs(ln.cs);
    const Vec1<const double> ctry(ln.ctry), s(ln.s), rho(ln.rho);
    double ssq = 0.0;
    for (int i = 1; i <= m; ++i) {
      cs(i) = ctry(i) - s(i);
      ssq += rho(i) * cs(i) * cs(i);
    }
    penalty = dot(m, Vec1<const double>(ln.lambda), Vec1<const double>(ln.cs)) - 0.5 * ln.scale * ssq;
  }
  ln.objfun(sr.mode, n, ln.x, sr.objtry, ln.ugrad, ln.kfirst, ln.iusr, ln.rusr);
  if (sr.mode < 0) return false;
  sr.merit = m > 0 ? sr.objtry - penalty : sr.objtry;
  return true;
}

// The curvature guard: a step along which the constraint term changes the
// curvature of the Lagrangian is not extended.
void curvature_guard(Line& ln, double alfa, double dirderiv) {
  const double csjdx = dot(ln.m, Vec1<const double>(ln.cs), Vec1<const double>(ln.cjdxtry));
  const double curvlf = dirderiv - ln.dlag0;
  const double curvtest = std::abs(csjdx - ln.cs1jdx);
  const double penbfgs = std::max(0.1 * ln.qpcurv - curvlf, 0.0);
  if (curvtest / ln.eps < penbfgs)
    ln.alfbnd = std::min(2.0 * alfa, ln.alfmax);
  else
    ln.alfmax = alfa;
}

// With all derivatives supplied: the slope of the merit function at the
// trial point, g'p and the slope of the Lagrangian there, and the curvature
// guard on the step bounds.
void slope_at_trial(Line& ln, double alfa, Search& sr) {
  const int n = ln.n, m = ln.m;
  const Vec1<const double> p(ln.p);
  sr.gdirtry = dot(n, Vec1<const double>(ln.ugrad), p);
  sr.gtry = sr.gdirtry;
  sr.dirderiv = sr.gdirtry;
  if (m > 0) {
    const Vec1<double> cjdxtry(ln.cjdxtry), w(ln.work);
    const Vec1<const double> ds(ln.ds), lambda(ln.lambda), cs(ln.cs);
    matvec(m, n, Mat1<const double>(std::span<const double>(ln.ujac), ln.ldcju), p, cjdxtry);
    for (int i = 1; i <= m; ++i) w(i) = cjdxtry(i) - ds(i);
    sr.gtry -= dot(m, lambda, Vec1<const double>(ln.work));
    if (alfa <= 1.0) sr.gtry -= dot(m, Vec1<const double>(ln.dlambda), cs);
    DIAGSC(m, ln.rho, 1, ln.work, 1);
    sr.gtry += ln.scale * dot(m, Vec1<const double>(ln.work), cs);
    sr.dirderiv = sr.gdirtry - dot(m, Vec1<const double>(ln.cjdxtry), Vec1<const double>(ln.qpmul));
    if (ln.alfbnd <= alfa && alfa < ln.alfmax) curvature_guard(ln, alfa, sr.dirderiv);
  }
  sr.gtry -= kSufdec * ln.oldg;
}

// One search from x1 until the step calculator is done.  Returns false when
// a callback set MODE negative at a trial point (sr.mode holds it).
bool search_from_start(Line& ln, Tolerances& tol, double& alfa, Search& sr, int& inform) {
  const double g0 = kSlopeKept * ln.oldg;
  const double targtg = (kSufdec - ln.lstol) * ln.oldg;
  sr.gbest = g0;
  for (int i = 1; i <= ln.m; ++i) ln.kneed[static_cast<std::size_t>(i - 1)] = 1;
  sr.mode = ln.needfd ? 0 : 2;
  while (!sr.done) {
    next_trial_step(ln, tol, g0, targtg, alfa, sr, inform);
    if (sr.imprvd) {
      sr.copied = true;
      keep_improved_trial(ln, sr);
    }
    if (sr.done) break;
    if (!evaluate_trial(ln, alfa, sr)) return false;
    sr.ftry = (sr.merit - ln.fprev) - kSufdec * ln.oldg * alfa;
    if (!ln.needfd) slope_at_trial(ln, alfa, sr);
  }
  return true;
}

// c - s from the kept constraint values and slacks.
void constraints_less_slacks(const Line& ln) {
  const Vec1<double> cs(ln.cs);
  const Vec1<const double> c(ln.c), s(ln.s);
  for (int i = 1; i <= ln.m; ++i) cs(i) = c(i) - s(i);
}

// x1 evaluated again, for a search that never moved after an abandoned one
// had kept values of one of its trials: the values returned are then those
// of the point returned.  Returns false when a callback set MODE negative
// (in mode).
bool evaluate_start_again(Line& ln, int& mode) {
  const int n = ln.n, m = ln.m;
  mode = ln.needfd ? 0 : 2;
  if (m > 0) {
    ln.cnlfun(mode, m, n, ln.ldcju, ln.kneed, ln.x, ln.c, ln.ujac, ln.kfirst, ln.iusr, ln.rusr);
    if (mode < 0) return false;
  }
  ln.objfun(mode, n, ln.x, ln.objf, ln.ugrad, ln.kfirst, ln.iusr, ln.rusr);
  if (mode < 0) return false;
  ln.nfun += 1;
  ln.meritalf = ln.fprev;
  if (!ln.needfd) {
    const Vec1<double> grad(ln.grad);
    const Vec1<const double> ugrad(ln.ugrad), p(ln.p);
    ln.ngrad += 1;
    for (int j = 1; j <= n; ++j) grad(j) = ugrad(j);
    ln.gdir = dot(n, Vec1<const double>(ln.grad), p);
    ln.dlag1 = ln.gdir;
    if (m > 0) {
      matvec(m, n, Mat1<const double>(std::span<const double>(ln.ujac), ln.ldcju), p, Vec1<double>(ln.cjdx));
      ln.dlag1 -= dot(m, Vec1<const double>(ln.cjdx), Vec1<const double>(ln.qpmul));
      keep_jacobian(ln);
    }
  }
  constraints_less_slacks(ln);
  return true;
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
  Line ln{.needfd = needfd, .n = n, .m = nnlcon, .ldcj = ldcj, .ldcju = ldcju, .kfirst = kfirst,
          .trace_unit = trace_unit, .cnlfun = cnlfun, .objfun = objfun, .kneed = kneed,
          .c = c, .ctry = ctry, .cjac = cjac, .ujac = ujac, .cjdx = cjdx, .cjdxtry = cjdxtry,
          .lambda = lambda, .s = s, .cs = cs, .grad = grad, .ugrad = ugrad, .x = x, .work = work,
          .lambda1 = lambda1, .dlambda = dlambda, .s1 = s1, .ds = ds, .cs1 = cs1, .p = p, .qpmul = qpmul,
          .rho = rho, .x1 = x1, .iusr = iusr, .rusr = rusr,
          .alfbnd = alfbnd, .alfmax = alfmax, .alfatiny = alfatiny, .gdir = gdir, .dlag1 = dlag1,
          .objf = objf, .meritalf = meritalf, .nfun = nfun, .ngrad = ngrad,
          .dlag0 = dlag0, .qpcurv = qpcurv, .lstol = lstol, .scale = NPMERT.scale, .eps = wmach(3)};

  // The start values: the constraint term of the curvature guard, the merit
  // value and its slope.
  if (!needfd && nnlcon > 0) ln.cs1jdx = dot(nnlcon, Vec1<const double>(cs1), Vec1<const double>(cjdx));
  Tolerances tol = search_tolerances(ln, stepnorm, fprec, xnorm);
  ln.fprev = meritalf;
  ln.oldg = grdalf;

  // Whether the kept values were replaced in a search abandoned after MODE -1.
  bool stale = false;
  Search sr;
  while (!search_from_start(ln, tol, alfa, sr, inform)) {
    // A callback returned a negative MODE at the trial point.
    if (sr.mode != -1) {
      inform = sr.mode;
      return;
    }
    // Outside the function's domain: a tenfold shorter step, and a new search
    // whose counts start afresh.
    alfa = 0.1 * alfa;
    alfmax = alfa;
    stale = stale || sr.copied;
    sr = Search{};
  }

  // Finish.
  nfun += sr.numf;
  if (!needfd) ngrad += sr.numf;
  alfa = sr.alfbst;
  if (!sr.imprvd) {
    // The accepted step was not the last trial: the point, its multipliers
    // and slacks, and c - s from the kept constraint values.
    move_along_step(ln, alfa);
    constraints_less_slacks(ln);
  }
  if (stale && !sr.copied && !evaluate_start_again(ln, sr.mode)) {
    inform = sr.mode;
    return;
  }
  if (trace_unit > 0) runtime::write_fmt(trace_unit, "(a, i4)", {" //npsrch// inform  = ", inform});
}

}  // namespace qv::optim
