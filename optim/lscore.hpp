// Active-set iterations of a quadratic or least-squares problem.
//
// lscore minimises ssq + ctx, with ssq = 1/2 (|res(1..nrank)|^2 + ssq1^2) and
// ctx = c'x (when linterm), subject to bl <= (x, A x) <= bu over the
// nctotl = n + nclin bounds and general constraints (bounds first).  A
// feasibility phase first minimises the weighted sum of infeasibilities; the
// optimality phase then minimises the objective on a working set of
// constraints held at their bounds, adding the nearest blocking constraint
// after each step and deleting one with a multiplier of the wrong sign at
// each stationary point.  The working set and its TQ factorization are kept
// by the working-set routines; R is the upper-triangular factor of the
// objective in the basis of Q, res its residuals.
//
// Exit codes (inform): 0 optimal (a feasible point for "FP"), 1 weak minimum,
// 2 unbounded, 3 the constraints cannot be satisfied, 4 iteration limit,
// 5 more than 50 consecutive steps that do not move x.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace qv::optim {

// Start words (1-based) of the vectors the iterations use in the caller's
// real workspace w, and of the working-set list in its integer workspace.
// res, res0 and hz follow each other (the factor updates carry res and res0
// along as two columns of leading dimension n), and so do gq and cq.
struct Lsloc {
  int wslist = 1;   // working-set list (n), integer workspace
  int rownorm = 1;  // row norms of A (nclin)
  int ap = 1;       // A p (nclin)
  int px = 1;       // search direction p (n)
  int gq = 1;       // Q' times the gradient (n)
  int cq = 1;       // Q' c (n with a linear term)
  int res = 1;      // residuals (n)
  int res0 = 1;     // residuals at x = 0 (n)
  int hz = 1;       // work vector of the direction solve (n)
  int wsmult = 1;   // multipliers of the working set (n)
  int t = 1;        // reverse-triangular factor T (ldt x tcols)
  int zy = 1;       // orthogonal factor Q = (Z Y) (ldzy x ldzy)
  int infwt = 1;    // weights of the infeasibilities (n + nclin)
  int wrk = 1;      // work vector (n + nclin)
  int featol = 1;   // feasibility tolerances (n + nclin)
  int ax = 1;       // A x (nclin)
  int ldt = 1;      // leading dimension of T
  int ldzy = 1;     // leading dimension of Q
  int tcols = 1;    // columns of T

  void reset() { *this = Lsloc{}; }
};

// The len words (none when len <= 0) of the workspace w from its 1-based
// word at.
inline std::span<double> wspart(std::span<double> w, int at, int len) {
  return w.subspan(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(len > 0 ? len : 0));
}

// Settings of one call of lscore, given by its caller.
struct Lsctl {
  int itmax1 = 0;        // feasibility-phase iteration limit
  int itmax2 = 0;        // optimality-phase iteration limit (counted from the end of phase 1)
  int msglvl = 0;        // print level of the iterations
  int idbg = 0;          // iteration from which the traces run; at most 0: as the caller set them
  double bigbnd = 0.0;   // infinite bound size
  double bigdx = 0.0;    // infinite step size
  double tolrank = 0.0;  // rank tolerance
};

// The QP iterations.  prbtyp's first two characters ("FP", "LP", "QP", "LS")
// are the problem type; names (8 characters each) label the solution table
// when named.  jhard: while infeasible, only a constraint beyond jhard may be
// moved off its bound.  On exit x, ax, the working set (istate, wslist, kx,
// nactiv, nfree, nZ, nZ1), the factors, ssq, ctx, suminf, ninf and xnorm
// describe the final point, and mult holds the multipliers by row.  A, R
// are column-major with leading dimensions ldA, ldR.  Output goes to the QP
// solver's print file (optim/options.hpp).
void lscore(std::string_view prbtyp, bool named, std::span<const std::string> names, bool linterm, bool& unitQ,
            int& inform, int& iter, int jhard, int nclin, int nctotl, int& nactiv, int& nfree, int nrank, int& nZ,
            int& nZ1, int n, int ldA, int ldR, std::span<int> istate, std::span<int> wslist, std::span<int> kx,
            double& ctx, double& ssq, double ssq1, double& suminf, int& ninf, double& xnorm,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> a,
            std::span<double> mult, std::span<double> ax, std::span<const double> featol, std::span<double> r,
            std::span<double> x, std::span<double> w, const Lsloc& loc, const Lsctl& ctl);

// Infeasibilities and the transformed gradient gq (the weighted sum of the
// violations while any, otherwise the objective's).  istate of every row not
// in the working set becomes 0, -2 (below bl) or -1 (above bu).  nZ1 is reset
// to the leading columns of Z on which R is well conditioned.
void QPGRAD(std::string_view prbtyp, bool linterm, bool& singlr, bool& unitgZ, bool unitQ, int n, int nclin,
            int nfree, int ldA, int ldZY, int ldR, int nrank, int nZ, int& nZ1, std::span<int> istate,
            std::span<const int> kx, double bigbnd, double tolrank, int& ninf, double& suminf,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> a,
            std::span<const double> res, std::span<const double> featol, std::span<double> gq,
            std::span<const double> cq, std::span<const double> r, std::span<const double> x,
            std::span<const double> infwt, std::span<const double> zy, std::span<double> wrk);

// Search direction p in the subspace of the first nZ1 columns of Z, returned
// in the natural order of the variables; ap := A p, lindir := c'p, dirnorm :=
// |p| in the subspace.  hz receives R times the direction in that subspace.
void lsgetp(bool linterm, bool singlr, bool unitgZ, bool unitQ, int n, int nclin, int nfree, int ldA, int ldZY,
            int ldR, int nrank, int ninf, int nZ1, std::span<const int> kx, double& lindir, double& dirnorm,
            std::span<const double> a, std::span<double> ap, std::span<const double> res, std::span<double> hz,
            std::span<double> px, std::span<const double> gq, std::span<const double> cq,
            std::span<const double> r, std::span<const double> zy, std::span<double> wrk);

// Takes the step alfa along px and updates ctx, xnorm, ax, the residuals and
// (when feasible) gq.  With ishit and a bound jadd, x(jadd) lands exactly on
// the bound (bl when hitslow).
void QPMOVE(bool ishit, bool hitslow, bool linterm, bool unitgZ, int nclin, int nrank, int nZ1, int n, int ldR,
            int jadd, int ninf, double alfa, double lindir, double& ctx, double& xnorm, std::span<const double> ap,
            std::span<double> ax, std::span<const double> bl, std::span<const double> bu, std::span<double> gq,
            std::span<const double> hz, std::span<const double> px, std::span<double> res,
            std::span<const double> r, std::span<double> x, std::span<double> wrk);

// Multipliers of the working set (general constraints first, then the fixed
// variables) and the constraints they nominate: jsmlst/ksmlst the most
// negative scaled multiplier below -dinky (negative: an artificial
// constraint), jtiny one within dinky, and, while infeasible, jbigst/kbigst
// the row beyond jhard whose release lowers the sum of infeasibilities most
// (truemult its multiplier).  Equalities are never nominated by sign.
void lsmuls(std::string_view prbtyp, int msglvl, int n, int nactiv, int nfree, int ldA, int ldT, int ninf, int nZ,
            int nZ1, std::span<const int> istate, std::span<const int> wslist, std::span<const int> kx,
            double dinky, int& jsmlst, int& ksmlst, int jhard, int& jtiny, int& jbigst, int& kbigst,
            double& truemult, std::span<const double> a, std::span<const double> rownorm,
            std::span<const double> gq, std::span<double> wsmult, std::span<const double> t,
            std::span<const double> infwt);

}  // namespace qv::optim
