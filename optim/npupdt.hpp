// Quasi-Newton update of the Hessian factor.
//
// After a successful line search the upper-triangular factor R of the
// approximate Hessian of the Lagrangian H = R'R (in the variables transformed
// by the working-set factor Q) takes a BFGS update, written as a rank-one
// modification of R.  With too little curvature along the step the update is
// modified: with nonlinear constraints by extra penalty weights omega that
// augment the Lagrangian, otherwise by raising the curvature to a floor; and
// R is self-scaled when the curvature lies below the floor times the step.
#pragma once

#include <span>

namespace qv::optim {

// flag: position 1 of the iteration log's flag field; set to 'm' for a
// modified update without penalty weights, to ' ' when the penalty weights
// are used, untouched otherwise.  rfrobn: the estimate of the Frobenius norm
// of R, updated in place.
// Arrays (m = nnlcon): kx (n) the variable permutation; cjac1 (ldcj1 x n) and
// cjac (ldcj x n) the Jacobians at the start and end of the step; cjdx1,
// cjdx (m) the Jacobians times the step; cs1, cs (m) c - s at the start and
// end; gq1 (n) the projected gradient at the start (updated and then used as
// work space); gq (n) at the end; hstep = H p and rstep = R p (n, scaled
// here; rstep is overwritten by the update); qpmul (m) the QP multipliers;
// r (ldr x n) the factor; omega (m) the penalty weights of this update (out);
// q (ldq x nfree) the orthogonal factor (not read when unitq); work1 of
// max(n, m) words and work2 of n words.
// alfa: the step taken; dlag0, dlag1 the directional derivatives of the
// Lagrangian at the start and end; qpcurv = p' hstep.  Traces go to unit
// trace_unit when it is positive.
void npupdt(char& flag, bool unitq, int n, int nnlcon, int nfree, int nz, int ldcj1, int ldcj, int ldq, int ldr,
            std::span<const int> kx, double alfa, double dlag0, double dlag1, double qpcurv,
            std::span<const double> cjac1, std::span<const double> cjac, std::span<const double> cjdx1,
            std::span<const double> cjdx, std::span<const double> cs1, std::span<const double> cs,
            std::span<double> gq1, std::span<const double> gq, std::span<double> hstep, std::span<double> rstep,
            std::span<const double> qpmul, std::span<double> r, std::span<double> omega, std::span<const double> q,
            std::span<double> work1, std::span<double> work2, double& rfrobn, int trace_unit = 0);

// The penalty weights omega (m = nnlcon > 0 words) that raise the curvature
// curvl of the update to the floor tinycurv, on the constraints whose term
// c_i(x) - s_i grew along the step; false (omega untouched, curvl as it was)
// when a weight would reach penmax.  work1 holds the growths on return.  A
// core of npupdt and of the alternative edition's update, which keep their
// own flags, traces and penmax.  Writes nothing and keeps no state.
bool npupdt_penalty_weights(int m, double tinycurv, double penmax, std::span<const double> cjdx1,
                            std::span<const double> cjdx, std::span<const double> cs1, std::span<const double> cs,
                            std::span<double> omega, std::span<double> work1, double& curvl);

// The change of the constraint terms of the Lagrangian along the step (m =
// nnlcon > 0 rows, penalty weights omega), moved into the projected gradient
// at the start of the step: gq1 += Q'v with
// v = J1'(omega cs1 - qpmul) + J2'(qpmul - omega cs).  A core of npupdt and of
// the alternative edition's update; the arguments are npupdt's.  Writes
// nothing and keeps no state.
void npupdt_constraint_terms(bool unitq, int n, int m, int nfree, int nz, int ldcj1, int ldcj, int ldq,
                             std::span<const int> kx, std::span<const double> cjac1, std::span<const double> cjac,
                             std::span<const double> cs1, std::span<const double> cs, std::span<const double> qpmul,
                             std::span<const double> omega, std::span<const double> q, std::span<double> gq1,
                             std::span<double> work1, std::span<double> work2);

// The terms of the BFGS update once the curvature curvl along the step is
// final, the core of npupdt and of the alternative edition's update, each of
// which then applies its own rank-one modification R + rstep v'.  Sets
// gq1 := v = y/sqrt(alfa curvl) - sscale hstep/sqrt(qpcurv) with
// y = gq - gq1, divides hstep and rstep by sqrt(qpcurv), updates rfrobn, and
// for a self-scaled update (ssbfgs) scales the upper triangle of r
// (ldr x n) by sscale.  Writes nothing and keeps no state.
void npupdt_bfgs_terms(int n, int ldr, bool ssbfgs, double alfa, double curvl, double qpcurv,
                       std::span<const double> gq, std::span<double> gq1, std::span<double> hstep,
                       std::span<double> rstep, std::span<double> r, double& rfrobn);

}  // namespace qv::optim
