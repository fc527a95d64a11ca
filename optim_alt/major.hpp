// The edition's major iterations E04UCZ.
//
// Each major iteration solves a QP subproblem for a search direction
// (E04UCU), tests for convergence, adjusts the penalty parameters of the
// merit function (E04UCN), searches along the direction (E04UCR) within the
// step limits (E04UDT) and updates the factor R of the approximate Hessian
// of the Lagrangian (E04UCL), refactorising it when it becomes
// ill-conditioned (E4QRPV).  The iterations are those of the optimizer's own
// major iterations, with the edition's routines, cells and texts: one log
// line per iteration on the advisory unit (E4PRIT), the final table of the
// edition (E4PRSL), no run file.
#pragma once

#include <span>

#include "optim/nlsqp.hpp"

namespace qv::optim_alt {

// What the driver hands to the major iterations once the set-up is done:
// the sizes, the working set and the counters it leaves, the caller's arrays
// and the workspaces with their layout (the optimizer's partition, laid out
// for the edition by E4WKSP).  E04UCZ updates the working set, the counters,
// xnorm and rfrobn in place.
struct E4major {
  // Sizes: n variables, nclin linear and nnlcon nonlinear constraints;
  // ldcju the leading dimension of CNLJAC, ldr of RFAC, ldaqp of the QP
  // matrix aqp (max(1, nclin + nnlcon), or LDA when nnlcon = 0 and
  // nclin > 0, where aqp is ALIN itself).
  int n = 0, nclin = 0, nnlcon = 0;
  int ldcju = 1, ldr = 1, ldaqp = 1;

  // The working set left by the set-up: Q only a permutation (unitq), the
  // active general constraints, the free variables and the null-space
  // dimension.
  bool unitq = true;
  int nactiv = 0, nfree = 0, nz = 0;

  // Counters of the callback calls, the derivative level after the set-up
  // (E4DERV may raise it), the largest difference interval used and the
  // norm of x.
  int nfun = 0, ngrad = 0;
  int lvlder = 3;
  double fdnorm = 0.0, xnorm = 0.0;

  // The estimate of the Frobenius norm of R: in after the start (sqrt(n) for
  // the identity, measured for a given RFAC), out after the last update.
  double rfrobn = 0.0;

  // The caller's arrays: bounds and states of the variables, linear and
  // nonlinear constraints; the nonlinear constraint values, the callbacks'
  // Jacobian and gradient arrays CNLJAC (ldcju x n) and GOBJ; the
  // multipliers XMULT (the nonlinear ones are returned in it); RFAC; X.
  std::span<const double> bl, bu;
  std::span<int> istate;
  std::span<double> cnlval, cnljac, xmult, gobj, rfac, x;
  std::span<int> iusr;
  std::span<double> rusr;

  // The QP constraint matrix: the linear rows first, then the Jacobian.
  std::span<double> aqp;

  // The workspaces and the start words of their blocks.
  std::span<int> iw;
  std::span<double> w;
  optim::Npwloc loc;
};

// The major iterations from the working set and derivatives of the set-up.
// inform: 0 optimal, 1 optimal without the requested accuracy, 3 no feasible
// point for the nonlinear constraints, 4 the major iterations limit, 6 no
// improvement possible, or the negative MODE of a callback.  majits counts
// the major iterations (in: the first iteration number); fobj is the
// objective at the last point.  Options are read from the edition's working
// cells E4WORK.
void E04UCZ(E4major& p, const optim::Cnlfun& cnlfun, const optim::Objfun& objfun, int& inform, int& majits,
            double& fobj);

}  // namespace qv::optim_alt
