// The edition's QP machinery: the active-set iterations of the QP
// subproblem, its working set (crash, TQ factorization updates,
// refinement), the iteration log, the final table and the input check.
//
// Every routine does what the optimizer's routine of the same family does
// (optim/lscore.hpp, optim/workset.hpp, optim/wsutil.hpp) with the same
// arguments in the same order; the working set, the TQ factors, R and the
// state codes (0 free, 1 lower, 2 upper, 3 equality, 4 temporary bound,
// -2 below, -1 above) are as there.  What differs: the settings come from
// the edition's cells E4QPST (not from arguments or the optimizer's option
// slots), the cells of the factorization are the edition's own, the step to
// the nearest constraint is the edition's E04UCG, and every message, trace
// and log record is the edition's own text on the advisory unit.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "optim/lscore.hpp"

namespace qv::optim_alt {

// Settings of the QP routines (run cells, set by the driver from its option
// cells before it calls them; tests set them directly) and the cells the
// working-set routines share with the iterations and the log.
struct E4qpst {
  // Run cells.
  int msglvl = 0;            // minor print level
  int idbg = 0;              // iteration of E04NCZ from which its traces run (0: as the switch stands)
  int itmax1 = 50;           // feasibility-phase iteration limit
  int itmax2 = 50;           // optimality-phase iteration limit (counted from the end of phase 1)
  double tolrank = 1.0e-8;   // rank tolerance
  double bigbnd = 9.9999e9;  // infinite bound size
  double bigdx = 9.9999e9;   // infinite step size
  bool debug = false;        // debug switch of the QP routines
  int dbg1 = 0;              // first debug level: the scalar traces (with the switch)
  int dbg2 = 0;              // second debug level: the vector listings (with the switch)

  // Cells of the factorization: the largest row norm of the working-set
  // constraints (set by the caller) and the extreme |diagonals| of T.
  double asize = 0.0;
  double dtmax = 1.0;
  double dtmin = 1.0;

  void reset() { *this = E4qpst{}; }
};
inline E4qpst E4QPST;

// ---- Active-set iterations (the optimizer's lscore family) -------------

// The iterations: feasibility phase, then optimality phase (lscore).  The
// workspace vectors lie in w at the positions of loc (optim::Lsloc, the
// same layout as the optimizer's).  Settings from E4QPST.  inform: 0
// optimal, 1 weak minimum, 2 unbounded, 3 infeasible, 4 iteration limit,
// 5 too many tiny steps.  Prints the log (E4LSPR), the exit line and the
// final table (E4PRSL) by the minor print level.
void E04NCZ(std::string_view prbtyp, bool named, std::span<const std::string> names, bool linterm, bool& unitQ,
            int& inform, int& iter, int jhard, int nclin, int nctotl, int& nactiv, int& nfree, int nrank, int& nZ,
            int& nZ1, int n, int ldA, int ldR, std::span<int> istate, std::span<int> wslist, std::span<int> kx,
            double& ctx, double& ssq, double ssq1, double& suminf, int& ninf, double& xnorm,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> a,
            std::span<double> mult, std::span<double> ax, std::span<const double> featol, std::span<double> r,
            std::span<double> x, std::span<double> w, const optim::Lsloc& loc);

// Search direction in the subspace of the first nZ1 columns of Z (lsgetp).
void E04NCQ(bool linterm, bool singlr, bool unitgZ, bool unitQ, int n, int nclin, int nfree, int ldA, int ldZY,
            int ldR, int nrank, int ninf, int nZ1, std::span<const int> kx, double& lindir, double& dirnorm,
            std::span<const double> a, std::span<double> ap, std::span<const double> res, std::span<double> hz,
            std::span<double> px, std::span<const double> gq, std::span<const double> cq,
            std::span<const double> r, std::span<const double> zy, std::span<double> wrk);

// Multipliers of the working set and the constraint to delete (lsmuls).
void E04NCK(std::string_view prbtyp, int msglvl, int n, int nactiv, int nfree, int ldA, int ldT, int ninf, int nZ,
            int nZ1, std::span<const int> istate, std::span<const int> wslist, std::span<const int> kx,
            double dinky, int& jsmlst, int& ksmlst, int jhard, int& jtiny, int& jbigst, int& kbigst,
            double& truemult, std::span<const double> a, std::span<const double> rownorm,
            std::span<const double> gq, std::span<double> wsmult, std::span<const double> t,
            std::span<const double> infwt);

// Infeasibilities, their weighted sum and the transformed gradient (QPGRAD).
void E4GRAD(std::string_view prbtyp, bool linterm, bool& singlr, bool& unitgZ, bool unitQ, int n, int nclin,
            int nfree, int ldA, int ldZY, int ldR, int nrank, int nZ, int& nZ1, std::span<int> istate,
            std::span<const int> kx, double bigbnd, double tolrank, int& ninf, double& suminf,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> a,
            std::span<const double> res, std::span<const double> featol, std::span<double> gq,
            std::span<const double> cq, std::span<const double> r, std::span<const double> x,
            std::span<const double> infwt, std::span<const double> zy, std::span<double> wrk);

// Takes a step of length alfa (QPMOVE); no caller in the edition.
void E4MOVE(bool ishit, bool hitslow, bool linterm, bool unitgZ, int nclin, int nrank, int nZ1, int n, int ldR,
            int jadd, int ninf, double alfa, double lindir, double& ctx, double& xnorm, std::span<const double> ap,
            std::span<double> ax, std::span<const double> bl, std::span<const double> bu, std::span<double> gq,
            std::span<const double> hz, std::span<const double> px, std::span<double> res,
            std::span<const double> r, std::span<double> x, std::span<double> wrk);

// ---- Working set (the optimizer's workset family) ---------------------

// Crash: the initial working set (lscrsh).
void E04NCU(bool cold, bool vertex, int nclin, int nctotl, int& nactiv, int& nartif, int& nfree, int n, int ldA,
            std::span<int> istate, std::span<int> wslist, double bigbnd, double acttol, std::span<const double> a,
            std::span<double> ax, std::span<const double> bl, std::span<const double> bu, std::span<double> x,
            std::span<double> wx, std::span<double> work);

// Adds a bound or general constraint to the TQ factorization (lsadd);
// reads E4QPST.asize, sets E4QPST.dtmax/dtmin.
void E04NCV(bool& unitQ, int& inform, int ifix, int iadd, int jadd, int nactiv, int nZ, int nfree, int nrank,
            int nresv, int ngvec, int n, int ldA, int ldZY, int ldR, int ldT, std::span<int> kx, double condlim,
            std::span<const double> a, std::span<double> r, std::span<double> t, std::span<double> res,
            std::span<double> gq, std::span<double> zy, std::span<double> w, std::span<double> c,
            std::span<double> s);

// Deletes a bound, general or artificial constraint (lsdel).
void E04NCT(bool unitQ, int n, int& nactiv, int& nfree, int nresv, int ngvec, int& nZ, int& nZ1, int ldA,
            int ldZY, int ldR, int ldT, int nrank, int jdel, int kdel, std::span<int> wslist, std::span<int> kx,
            std::span<const double> a, std::span<double> res, std::span<double> r, std::span<double> t,
            std::span<double> gq, std::span<double> zy, std::span<double> c, std::span<double> s);

// Largest violation among the working-set constraints (lsfeas).
void E04NCR(int n, int nclin, std::span<const int> istate, double bigbnd, double& cviolnorm, double& errmax,
            int& jmax, int& nviol, std::span<const double> ax, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> featol, std::span<const double> x,
            std::span<double> work);

// Moves x back onto the working set, at most two refinement passes (lssetx).
void E04NCH(bool linterm, bool& rowerr, bool unitQ, int nclin, int nactiv, int nfree, int nrank, int nZ, int n,
            int nctotl, int ldZY, int ldA, int ldR, int ldT, std::span<const int> istate,
            std::span<const int> wslist, std::span<const int> kx, int& jmax, double& errmax, double& ctx,
            double& xnorm, std::span<const double> a, std::span<double> ax, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> cq, std::span<double> res,
            std::span<const double> res0, std::span<const double> featol, std::span<const double> r,
            std::span<const double> t, std::span<double> x, std::span<const double> zy, std::span<double> p,
            std::span<double> work);

// Adds wslist(k1..k2) to the factorization through E04NCV, rejecting
// dependent rows, then temporary bounds when vertex (WSFACT); no caller in
// the edition.
void E4ADDS(bool& unitQ, bool vertex, int& inform, int k1, int k2, int& nactiv, int& nartif, int& nZ, int& nfree,
            int nrank, int& nrej, int nresv, int ngvec, int n, int ldZY, int ldA, int ldR, int ldT,
            std::span<int> istate, std::span<int> wslist, std::span<int> kx, double condlim,
            std::span<const double> a, std::span<double> r, std::span<double> t, std::span<double> res,
            std::span<double> gq, std::span<double> zy, std::span<double> w, std::span<double> c,
            std::span<double> s);

// Makes every variable with a positive state a fixed variable (no caller in
// the edition).  nfree in: the number of free variables the working set
// leaves (n minus the variables with a positive state); nZ out.  With
// 1 <= nrank <= n-1 the variables are added as bounds through E04NCV (with
// condlim), from the last one down; otherwise each is swapped behind the
// free ones in kx, R kept triangular with FACMOV.  w, c and s hold n words.
void E4BNDS(bool& unitQ, int n, int nrank, int nfree, int& nZ, int ldA, int ldZY, int ldR, int ldT,
            std::span<const int> istate, std::span<int> kx, double condlim, std::span<const double> a,
            std::span<double> r, std::span<double> t, std::span<double> gq, std::span<double> zy,
            std::span<double> w, std::span<double> c, std::span<double> s);

// ---- Log, final table and input check (the edition's own) -------------

// One line of the QP iteration log and its detail blocks.
struct E4lsline {
  int iter = 0;
  int jdel = 0;      // constraint deleted (negative: artificial)
  int kdel = 0;      // its state before the deletion (0..5)
  int jadd = 0;      // constraint added
  int kadd = 0;      // its new state
  double alfa = 0.0;
  int ninf = 0;
  double obj = 0.0;  // sum of infeasibilities (ninf > 0) or objective
  int nfixed = 0;    // n - nfree
  int nactiv = 0;
  int nZ = 0, nZ1 = 0;
  double gfnorm = 0.0, gz1norm = 0.0;
  double condt = 0.0, condrz = 0.0;
};

// The QP iteration log (LSPRIT's role): heading when header or msglvl > 14,
// the line, and at msglvl >= 20 / 30 the constraint-status and diagonal
// blocks.  nrank decides the Cond Rz1 column.  ax holds nclin values; T and
// R with their leading dimensions (diagonals of T in columns nZ+1..nfree).
void E4LSPR(std::string_view prbtyp, bool header, const E4lsline& line, int msglvl, int n, int nclin, int nfree,
            int nrank, int ldT, int ldR, std::span<const int> istate, std::span<const double> x,
            std::span<const double> ax, std::span<const double> t, std::span<const double> r);

// The final table (PRSOLN's role): spreads rlamda into mult (by row) and,
// when lprint is 1 or above 9, prints the variables and constraints.
void E4PRSL(int lprint, int nfree, int ldA, int n, int nclin, int nctotl, double bigbnd, bool named,
            std::span<const std::string> names, int nactiv, std::span<const int> istate,
            std::span<const int> wslist, std::span<const int> kx, std::span<const double> a,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> c,
            std::span<double> mult, std::span<const double> rlamda, std::span<const double> x);

// Input check (CHKINP's role): workspace, kx (when userkx, with M01ZBF),
// bounds, and istate on a warm start (cold false).  nerror counts errors.
void E4CHKI(int& nerror, int msglvl, bool cold, bool userkx, int liwork, int lwork, int litotl, int lwtotl, int n,
            int nclin, int ncnln, std::span<const int> istate, std::span<int> kx, bool named,
            std::span<const std::string> names, std::span<const double> bl, std::span<const double> bu);

}  // namespace qv::optim_alt
