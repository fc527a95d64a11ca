// Line search of the major iterations.
//
// npsrch moves from the current point x1 along the search direction p (with
// the multipliers and slacks of the nonlinear constraints moving along their
// own steps) and chooses the step length alfa by a safeguarded search on the
// merit function: the objective alone without nonlinear constraints, else
// the augmented Lagrangian
//   M(alfa) = f(x) - lambda'(c(x) - s) + (scale/2) sum rho_i (c_i(x) - s_i)^2
// with scale the merit state's penalty scale (NPMERT).  It evaluates the
// callbacks at each trial point and leaves the accepted point with its
// values (and, when all derivatives are supplied, its gradients) in place.
// The trial steps come from SRCHDG when all derivatives are supplied and
// from SRCHNG otherwise (optim/srch.hpp).
//
// A callback that returns MODE -1 at a trial point marks it as outside the
// function's domain: the step and alfmax are cut tenfold and the search
// starts again from x1, its evaluations so far not counted.  Any other
// negative MODE ends the search at once with that value as inform.
#pragma once

#include <span>

#include "optim/nlsqp.hpp"

namespace qv::optim {

// Arrays (all column-major where two-dimensional; m = nnlcon):
//   kneed (m)          constraint-needed flags handed to cnlfun (all set to 1)
//   c (m)              constraint values: in at x1, out at the accepted point
//   ctry (m)           constraint values at the trial point (work)
//   cjac (ldcj x n)    Jacobian: in at x1, out at the accepted point when all
//                      derivatives are supplied
//   ujac (ldcju x n)   the callback's Jacobian array
//   cjdx (m)           Jacobian times p: in at x1, out at the accepted point
//                      when all derivatives are supplied
//   cjdxtry (m)        Jacobian times p at the trial point (work)
//   lambda1, dlambda   multipliers at x1 and their step; lambda (out) the
//                      multipliers at the accepted point (moved only for
//                      steps up to 1)
//   s1, ds, s          slacks at x1, their step, the slacks at the accepted
//                      point
//   cs1, cs            c - s at x1, and at the accepted point (out)
//   p (n)              the search direction; x1 (n) the start; x (n) out
//   grad (n)           objective gradient: in at x1, out at the accepted point
//                      when all derivatives are supplied
//   ugrad (n)          the callback's gradient array
//   qpmul (m)          the QP multipliers of the nonlinear constraints
//   rho (m)            penalty parameters; work (m) work vector
// Scalars: needfd (some derivatives estimated); nfun, ngrad counters
// (updated); alfa (in: initial step, out: accepted step); alfbnd and alfmax
// (may be changed); alfatiny (values-only searches give up below it);
// stepnorm = |p|; fprec the function precision; lstol the linesearch
// tolerance; gdir (g'p, out at the accepted point when all derivatives are
// supplied), grdalf (the merit slope at x1), dlag0 and dlag1 (the slopes of
// the Lagrangian at x1 and, out, at the accepted point); objf and meritalf
// (in at x1, out at the accepted point); qpcurv the QP curvature along p;
// xnorm = |x1|; kfirst the callbacks' first-call flag.  inform returns the
// step calculator's result 1..8 or a callback's negative MODE.  Traces go to
// unit trace_unit when it is positive.
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
            std::span<double> rusr, int& inform, int trace_unit = 0);

}  // namespace qv::optim
