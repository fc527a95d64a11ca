// The edition's merit function: penalty parameters of the augmented
// Lagrangian
//   M(x, lambda, s) = f(x) - lambda'(c(x) - s) + (scale/2) sum rho_i (c_i(x) - s_i)^2
// and their update after each QP subproblem.
#pragma once

#include <span>

namespace qv::optim_alt {

// The edition's merit state of a run, shared by the line search and the
// Hessian update.  Reset at every cold or warm start; kept for a hot start.
struct E4mert {
  double scale = 1.0;   // factor of the whole penalty term
  double rhonrm = 0.0;  // Euclidean norm of rho after the last update
  double rhodmp = 1.0;  // damping factor, doubled at each turn of rhonrm
  bool incrun = true;   // rhonrm is rising

  void reset() { *this = E4mert{}; }
};
inline E4mert E4MERT;

// Completes the merit value meritalf (in: the objective) and its directional
// derivative grdalf (in: g'p) and updates the penalty parameters rho, in
// E4MERT.  feasqp: the QP subproblem was feasible; qpcurv its curvature along
// the step; istate(n + nclin + i) the states of the nonlinear constraints;
// jacdir the Jacobian times the step, lambda the multipliers, cs = c - s,
// dlambda the multiplier step, nlviol the violations the QP left.  work1,
// work2 hold nnlcon words.  The largest penalty is 1/eps.  With debug on,
// traces go to the advisory unit.  Does nothing when nnlcon = 0.
void E04UCN(bool feasqp, int n, int nclin, int nnlcon, double& meritalf, double& grdalf, double qpcurv,
            std::span<const int> istate, std::span<const double> jacdir, std::span<const double> lambda,
            std::span<const double> cs, std::span<const double> dlambda, std::span<double> rho,
            std::span<const double> nlviol, std::span<double> work1, std::span<double> work2, bool debug);

}  // namespace qv::optim_alt
