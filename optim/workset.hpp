// Working set of the active-set iterations: crash, TQ factorization updates
// and refinement.
//
// The working set: istate (as in optim/wsutil.hpp), wslist(1..nactiv) the
// rows of A in it, kx the variables with the nfree free ones first, nZ =
// nfree - nactiv, nZ1 the leading columns of Z in the current subspace and
// nartif the temporary bounds.
//
// TQ factorization: with Af the working-set rows over the free variables
// (columns in kx order), Af Q = (0 T).  Q = (Z Y) is orthogonal of order
// nfree (ZY, leading dimension ldZY); unitQ says Q is the identity and is not
// stored.  T is reverse-triangular of order nactiv, held in columns
// nZ+1..nfree of the array T (leading dimension ldT): row i has its
// diagonal in column nfree - i + 1 and its other elements to the right.  R
// (order n, rank nrank) is the objective factor in the Q basis; the nresv
// columns of res and the ngvec columns of gq (leading dimension n) are
// transformed with the factors.  The updates change the factors in place,
// never refactorizing them.
#pragma once

#include <span>

namespace qv::optim {

// Cells shared with the QP iterations and the log: the largest row norm of
// the working-set constraints (set by the caller) and the extreme
// magnitudes of the diagonal of T (set here).
struct Lscond {
  double asize = 0.0;
  double dtmax = 1.0;
  double dtmin = 1.0;

  void reset() { *this = Lscond{}; }
};
inline Lscond LSCOND;

// Initial working set of bounds and general constraints, cold (from the
// bounds and the crash tolerance acttol) or warm (from istate); with vertex,
// temporary bounds fill the working set up to n members.  x is moved onto
// its finite bounds; wx receives the point on the working set; Ax the row
// values of the rows not in it.  work holds n words.
void lscrsh(bool cold, bool vertex, int nclin, int nctotl, int& nactiv, int& nartif, int& nfree, int n, int ldA,
            std::span<int> istate, std::span<int> wslist, double bigbnd, double acttol, std::span<const double> a,
            std::span<double> ax, std::span<const double> bl, std::span<const double> bu, std::span<double> x,
            std::span<double> wx, std::span<double> work);

// Adds the rows wslist(k1..k2) to the factors (while nactiv < nfree), taking
// rejected rows out of the working set (istate 0, entry negated and moved
// behind the accepted ones), then with vertex fixes nZ temporary bounds.
// nrej counts the rows not added.  w, c and s hold n words each.
void WSFACT(bool& unitQ, bool vertex, int& inform, int k1, int k2, int& nactiv, int& nartif, int& nZ, int& nfree,
            int nrank, int& nrej, int nresv, int ngvec, int n, int ldZY, int ldA, int ldR, int ldT,
            std::span<int> istate, std::span<int> wslist, std::span<int> kx, double condlim,
            std::span<const double> a, std::span<double> r, std::span<double> t, std::span<double> res,
            std::span<double> gq, std::span<double> zy, std::span<double> w, std::span<double> c,
            std::span<double> s);

// Adds one constraint: the bound on variable jadd (jadd <= n) at position
// ifix of kx, or the general row iadd (jadd = n + iadd).  inform 1 when the
// constraint is dependent or would make the condition of T reach condlim:
// then nothing changes.  The caller updates nactiv, nZ and nfree.
void lsadd(bool& unitQ, int& inform, int ifix, int iadd, int jadd, int nactiv, int nZ, int nfree, int nrank,
           int nresv, int ngvec, int n, int ldA, int ldZY, int ldR, int ldT, std::span<int> kx, double condlim,
           std::span<const double> a, std::span<double> r, std::span<double> t, std::span<double> res,
           std::span<double> gq, std::span<double> zy, std::span<double> w, std::span<double> c,
           std::span<double> s);

// Deletes constraint jdel: a general row at position kdel of wslist (jdel >
// n), a bound at position nZ + kdel of kx (jdel <= n), or, with jdel <= 0,
// only releases the artificial constraint on column -jdel of Z into the
// subspace.  Updates nactiv, nfree, nZ and nZ1.
void lsdel(bool unitQ, int n, int& nactiv, int& nfree, int nresv, int ngvec, int& nZ, int& nZ1, int ldA, int ldZY,
           int ldR, int ldT, int nrank, int jdel, int kdel, std::span<int> wslist, std::span<int> kx,
           std::span<const double> a, std::span<double> res, std::span<double> r, std::span<double> t,
           std::span<double> gq, std::span<double> zy, std::span<double> c, std::span<double> s);

// Violations of the bounds and general constraints with istate 0..3:
// cviolnorm their 2-norm, errmax the largest (first at jmax), nviol the
// count beyond featol; work (n + nclin words) receives the residuals.
void lsfeas(int n, int nclin, std::span<const int> istate, double bigbnd, double& cviolnorm, double& errmax,
            int& jmax, int& nviol, std::span<const double> ax, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> featol, std::span<const double> x,
            std::span<double> work);

// Moves x back onto the working set (fixed variables onto their bounds, up
// to two refinement steps in the range of Y), then recomputes xnorm, Ax,
// ctx = cq'Q'x (with linterm) and res = res0 - R Q'x (nrank > 0).  rowerr
// when a working-set row stays beyond its tolerance.  p and work hold n
// words each.
void lssetx(bool linterm, bool& rowerr, bool unitQ, int nclin, int nactiv, int nfree, int nrank, int nZ, int n,
            int nctotl, int ldZY, int ldA, int ldR, int ldT, std::span<const int> istate,
            std::span<const int> wslist, std::span<const int> kx, int& jmax, double& errmax, double& ctx,
            double& xnorm, std::span<const double> a, std::span<double> ax, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> cq, std::span<double> res,
            std::span<const double> res0, std::span<const double> featol, std::span<const double> r,
            std::span<const double> t, std::span<double> x, std::span<const double> zy, std::span<double> p,
            std::span<double> work);

}  // namespace qv::optim
