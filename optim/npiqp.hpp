// The QP subproblem of a major iteration.
//
// At the current point x, npiqp builds and solves
//   minimise g'p + 1/2 p'Hp  subject to  qplo <= (p, A p, J p) <= qphi,
// where H = R'R is the quasi-Newton approximation held in the basis of the
// working-set factors, A the linear and J the nonlinear constraints'
// Jacobian (the rows of qpmat).  When no p satisfies all rows the weighted
// sum of infeasibilities is minimised, and only nonlinear rows may leave
// their bounds to lower it.  The working set of the previous subproblem is
// the starting working set: the linear rows keep their factors, the
// nonlinear rows are re-added, the most violated first.
#pragma once

#include <span>

#include "optim/lscore.hpp"
#include "optim/nlsqp.hpp"

namespace qv::optim {

// Where the QP vectors lie in NLSQP's real workspace, for lscore and npiqp:
// the work blocks of the partition wl (NPWKSP) assigned to them.
//   vn1[0] dx (the step, npiqp's dx)        vn3[0] px (direction of the QP iterations)
//   vn1[1] hstep (the QP gradient, then Hp)  vc1    adir (qpmat dx)
//   vn1[2] gq (the projected gradient)       vc2    A times the QP direction
//   vn2[0] rstep, vn2[1] rstep0              vt1[0] infwt, vt1[1] work of the QP iterations
//   vn2[2] hz, vn2[3] wsmult                 anorm  rownorm
// and T, Q with their leading dimensions.  NLSQP passes npiqp's arrays
// rownorm, adir, dx and infwt from these blocks.
Lsloc npiqp_loc(const Npwloc& wl, int n);

// Solves the QP subproblem of major iteration majits.  Arguments as named
// in the optimizer's description of the subproblem: qpfeasible false marks
// an infeasible subproblem; nQPerr is lscore's exit (0..5) and qpiters its
// iterations; linact and nlnact count the final working set's linear and
// nonlinear rows.  On exit dx is the search direction with stepnorm = |dx|,
// gdir = g'dx, qpcurv = dx'Hdx; mult the QP multipliers; cs = c - slackv,
// dmult and dslack the multiplier and slack directions; nlviol the
// violations of the nonlinear rows at x; infwt the weights.  The vectors
// rstep, rstep0, hstep, gq (read: Q' times the objective gradient), wsmult,
// T, Q and the work vectors lie in w at the positions of loc (npiqp_loc).
// Reads the option slots (print and summary files, minor print level and
// iterations limit, infinite bound and step sizes, rank tolerance,
// nonlinear variables), NPPREC and NPMERT (scale; rhonrm is set after an
// infeasible subproblem) and sets LSCOND.asize.  Traces of npiqp and of the
// QP machinery go to unit trace_unit when it is positive (the print file
// while the debug switch is on).
void npiqp(bool& qpfeasible, bool& unitQ, int& nQPerr, int majits, int& qpiters, int n, int nclin, int nnlcon,
           int ldjac, int ldqpm, int ldR, int& linact, int& nlnact, int& nactiv, int& nfree, int& nZ, int& ninf,
           std::span<int> istate, std::span<int> wslist, std::span<int> kx, double& stepnorm, double& gdir,
           double& qpcurv, std::span<double> qpmat, std::span<double> adir, std::span<double> rownorm,
           std::span<const double> ax, std::span<const double> bl, std::span<const double> bu,
           std::span<const double> c, std::span<const double> cjac, std::span<double> mult,
           std::span<double> nlmult, std::span<double> cs, std::span<double> dmult, std::span<double> dslack,
           std::span<double> dx, std::span<double> qplo, std::span<double> qphi, std::span<const double> qpftol,
           std::span<double> r, std::span<double> rho, std::span<double> slackv, std::span<double> nlviol,
           std::span<const double> x, std::span<double> infwt, std::span<int> iw, std::span<double> w,
           const Lsloc& loc, int trace_unit = 0);

}  // namespace qv::optim
