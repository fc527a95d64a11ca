// Merit function of the major iterations and its penalty parameters.
//
// With nonlinear constraints the line search measures progress by the
// augmented Lagrangian
//   M(x, lambda, s) = f(x) - lambda'(c(x) - s) + (scale/2) sum rho_i (c_i(x) - s_i)^2
// with one penalty parameter rho_i per constraint.  npmrt completes the merit
// value and its directional derivative at the current point and adjusts rho.
#pragma once

#include <span>

namespace qv::optim {

// Merit state of a run, shared with the line search and the Hessian update.
// Reset at every cold or warm start; kept for a hot start.
struct Npmert {
  double scale = 1.0;    // factor of the whole penalty term
  double rhonrm = 0.0;   // Euclidean norm of rho after the last update
  double rhodmp = 1.0;   // damping factor, doubled at each turn of rhonrm
  bool incrun = true;    // rhonrm is rising

  void reset() { *this = Npmert{}; }
};
inline Npmert NPMERT;

// Completes the merit value meritalf (in: the objective) and its directional
// derivative grdalf (in: g'p) and updates the penalty parameters rho.
// feasqp: the QP subproblem was feasible; qpcurv its curvature along the step;
// istate(n + nclin + i) the states of the nonlinear constraints; jacdir the
// Jacobian times the step, lambda the multipliers, cs = c - s, dlambda the
// multiplier step, nlviol the violations the QP left.  work1, work2 hold
// nnlcon words.  penmax is the largest penalty (1/eps).  Traces go to unit
// trace_unit when it is positive.  Does nothing when nnlcon = 0.
void npmrt(Npmert& st, bool feasqp, int n, int nclin, int nnlcon, double& meritalf, double& grdalf,
           double qpcurv, std::span<const int> istate, std::span<const double> jacdir,
           std::span<const double> lambda, std::span<const double> cs, std::span<const double> dlambda,
           std::span<double> rho, std::span<const double> nlviol, std::span<double> work1,
           std::span<double> work2, double penmax, int trace_unit = 0);

// The three steps of npmrt, cores it shares with the alternative edition's
// merit function, which keeps its own state, constants and traces (each
// caller writes its traces between them); the arguments are npmrt's, with
// m = nnlcon > 0.  npmrt_slope subtracts the multiplier terms from meritalf
// and grdalf and adds the step's constraint direction (left in work1) times
// lambda to grdalf; after it, a feasible QP updates rho by npmrt_penalties;
// npmrt_penalty_term then adds the penalty term, weighted by the caller's
// merit scale (set to penmax for an infeasible QP), to both.  None writes
// anything.
void npmrt_slope(bool feasqp, int n, int nclin, int m, double& meritalf, double& grdalf, std::span<const int> istate,
                 std::span<const double> jacdir, std::span<const double> lambda, std::span<const double> cs,
                 std::span<const double> dlambda, std::span<const double> nlviol, std::span<double> work1);
void npmrt_penalty_term(bool feasqp, int m, double& meritalf, double& grdalf, double penmax, std::span<const double> cs,
                        std::span<const double> rho, std::span<double> work1, double& scale);

// The penalty parameters' update after a feasible QP subproblem, the core of
// npmrt and of the alternative edition's merit function, which keeps its own
// state and constants: each caller passes its merit state's cells (scale,
// rhonrm, rhodmp, incrun), its largest penalty penmax and the residual
// rootmin below which a constraint adds no penalty.  cs holds the nnlcon = m
// residuals c - s, grdalf the directional derivative so far; rho is updated,
// work2 (m words) is left holding the squared residuals.  Writes nothing.
void npmrt_penalties(int m, std::span<const double> cs, double grdalf, double qpcurv, double rootmin,
                     double penmax, std::span<double> rho, std::span<double> work2, double& scale, double& rhonrm,
                     double& rhodmp, bool& incrun);

}  // namespace qv::optim
