// The edition's line search of the major iterations.
//
// E04UCR moves from the start point x1 along the search direction p (the
// multipliers and slacks of the nonlinear constraints moving along their own
// steps) and chooses the step by a safeguarded search on the merit function:
// the objective alone without nonlinear constraints, else the augmented
// Lagrangian of the edition's merit state (E4MERT).  The trial steps come
// from E4SRDG when gradients are supplied and from E4SRNG when they are
// differenced.  The step calculators work by reverse communication on the
// merit values as they are (not shifted): a trial has sufficient decrease
// when f - f0 - 0.0001 alfa g0 <= epsaf up to alfuzz, and f - f0 <= epsaf
// beyond it.
//
// Result codes of the step calculators (inform, when done): 1 the best point
// moved and succeeded below alfmax; 2 the same at alfmax; 3 the best point
// moved without success; 4 not moved and the search was cramped
// (tolabs >= alfmax); 5 (E4SRNG only) the interval lies below the lower step
// limit; 6 not moved, otherwise; 7 bad start (g0 >= 0 or tolmax >= alfmax).
#pragma once

#include <span>

#include "optim/nlsqp.hpp"

namespace qv::optim_alt {

// State of the step calculators, kept from the first call of a search to its
// end (one search at a time).  The first call resets every cell.
struct E4srst {
  // Interval of uncertainty relative to the best step, value at its left end.
  double a = 0.0, b = 0.0, fa = 0.0;
  double tol = 0.0;
  double tolpad = 0.0;  // tolabs + tolrel alfmax: the room beyond alfmax
  double alfuzz = 0.0;  // beyond it a decrease cannot be told from noise
  double factor = 0.0;  // growth factor of extrapolation steps
  double xtry = 0.0;    // the last trial relative to the best step
  int nsamea = 0, nsameb = 0;  // evaluations since each end last moved
  bool braktd = false;  // a minimum is bracketed
  bool crampd = false;  // tolabs >= alfmax
  bool extrap = false;  // the points are configured for extrapolation
  bool moved = false;   // the best point is no longer the start
  bool badfun = false;  // bad start: done at the first call
  bool closef = false;
  bool convrg = false, quitI = false, quitFZ = false, quitS = false;
  // The previous best point w and a third point v (E4SRNG), relative to the
  // best step.
  bool wset = false, vset = false;
  double alfaw = 0.0, fw = 0.0, gw = 0.0;
  double alfav = 0.0, fv = 0.0;

  void reset() { *this = E4srst{}; }
};
inline E4srst E4SRST;

// The evaluation limit of both step calculators.
inline constexpr int kSearchMaxf = 15;

// Values and slopes.  first, done and imprvd are in/out (start a search with
// first = true); numf counts the evaluations; alfa is the initial step on the
// first call and returns the next trial (unchanged when done); alfbst, fbest
// and gbest are the best step with its merit value and slope (set by the first
// call to 0, oldf and oldg); ftry and gtry are the value and slope at the last
// trial.  oldf and oldg are the merit value and slope at step 0; lstol the
// line search tolerance; tolmax the smallest step worth trying.  tolabs may be
// reduced.  With debug on, the traces go to the advisory unit.
void E4SRDG(bool& first, bool debug, bool& done, bool& imprvd, int& inform, int& numf, double alfmax, double epsaf,
            double oldf, double oldg, double lstol, double ftry, double gtry, double& tolabs, double tolrel,
            double tolmax, double& alfa, double& alfbst, double& fbest, double& gbest);

// Values only; alfsml is the lower step limit: a search whose interval lies
// below it is given up (result 5).
void E4SRNG(bool& first, bool debug, bool& done, bool& imprvd, int& inform, int& numf, double alfmax, double alfsml,
            double epsaf, double oldf, double oldg, double lstol, double ftry, double& tolabs, double tolrel,
            double tolmax, double& alfa, double& alfbst, double& fbest);

// The line search.  Arrays (all column-major where two-dimensional;
// m = nnlcon):
//   kneed (m)          constraint-needed flags handed to cnlfun (all set to 1)
//   c (m)              constraint values: in at x1, out at the accepted point
//   ctry (m)           constraint values at the trial point (work)
//   cjac (ldcj x n)    Jacobian: in at x1, out at the accepted point when
//                      gradients are supplied
//   ujac (ldcju x n)   the callback's Jacobian array
//   cjdx (m)           Jacobian times p: in at x1, out at the accepted point
//   cjdxtry (m)        Jacobian times p at the trial point (work)
//   lambda1, dlambda   multipliers at x1 and their step; lambda (out) the
//                      multipliers at the accepted point (moved only for
//                      steps up to 1)
//   s1, ds, s          slacks at x1, their step, the slacks at the accepted
//                      point
//   cs1, cs            c - s at x1, and at the accepted point (out)
//   p (n)              the search direction; x1 (n) the start; x (n) out
//   grad (n)           objective gradient: in at x1, out at the accepted point
//                      when gradients are supplied
//   ugrad (n)          the callback's gradient array
//   qpmul (m)          the QP multipliers of the nonlinear constraints
//   rho (m)            penalty parameters; work (m) work vector
// Scalars: needfd (gradients are differenced); nfun, ngrad counters
// (updated); alfa (in: the trial step, out: the accepted step); alfbnd and
// alfmax (may be changed); alfsml the lower step limit of E4SRNG; pnorm =
// |p|; fprec the function precision; lstol the line search tolerance; gdir
// (g'p, out at the accepted point when gradients are supplied); grdalf the
// merit slope at x1; dlag0 and dlag1 the slopes of the Lagrangian at x1 and,
// out, at the accepted point; objf and merit (in at x1, out at the accepted
// point); qpcurv the QP curvature along p; xnorm = |x1|; kfirst the
// callbacks' first-call flag.  inform returns the step calculator's result 1
// to 7, or a callback's negative MODE, which ends the search at once.  With
// debug on, traces go to the advisory unit.
void E04UCR(bool needfd, bool debug, int n, int nnlcon, int ldcj, int ldcju, int& nfun, int& ngrad,
            std::span<int> kneed, const optim::Cnlfun& cnlfun, const optim::Objfun& objfun, double& alfa,
            double& alfbnd, double& alfmax, double alfsml, double pnorm, double fprec, double lstol, double& gdir,
            double grdalf, double dlag0, double& dlag1, double& objf, double& merit, double qpcurv, double xnorm,
            std::span<double> c, std::span<double> ctry, std::span<double> cjac, std::span<double> ujac,
            std::span<double> cjdx, std::span<double> cjdxtry, std::span<const double> lambda1,
            std::span<double> lambda, std::span<const double> dlambda, std::span<const double> s1,
            std::span<double> s, std::span<const double> ds, std::span<const double> cs1, std::span<double> cs,
            std::span<const double> p, std::span<double> grad, std::span<double> ugrad,
            std::span<const double> qpmul, std::span<const double> rho, std::span<const double> x1,
            std::span<double> x, std::span<double> work, int kfirst, std::span<int> iusr, std::span<double> rusr,
            int& inform);

}  // namespace qv::optim_alt
