// The edition's working set of the QP iterations: crash, TQ factorization
// updates and refinement, with the edition's cells and traces.
#include "optim_alt/qpsolve.hpp"

#include <algorithm>
#include <cmath>

#include "optim/facutil.hpp"
#include "optim/lscore.hpp"
#include "optkern/kernels.hpp"
#include "optkern/machine.hpp"
#include "optkern/rotations.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/records.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

using optim::FACMOV;
using optim::FACMUL;
using optim::FACSOL;

using namespace optkern;
using runtime::Mat1;
using runtime::Vec1;

namespace {

// The scalar traces need the debug switch and the first debug level, the
// vector listings the switch and the second level.
bool tracing() { return E4QPST.debug && E4QPST.dbg1 > 0; }
bool listing() { return E4QPST.debug && E4QPST.dbg2 > 0; }

std::span<double> tail(std::span<double> v, std::ptrdiff_t from1) {
  return v.subspan(static_cast<std::size_t>(from1 - 1));
}

// Column j of a matrix with leading dimension ld, as the start of a span.
std::span<double> column(std::span<double> a, int ld, int j) {
  return a.subspan(static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(ld));
}
std::span<const double> column(std::span<const double> a, int ld, int j) {
  return a.subspan(static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(ld));
}

// Largest and smallest |diagonal of T|: T(i, nfree - i + 1), i = 1..nactiv.
void diag_extremes(const Mat1<double>& T, int nactiv, int nfree, double& dmax, double& dmin) {
  dmax = 0.0;
  dmin = 0.0;
  for (int i = 1; i <= nactiv; ++i) {
    const double d = std::abs(T(i, nfree - i + 1));
    if (i == 1) {
      dmax = dmin = d;
    } else {
      dmax = std::max(dmax, d);
      dmin = std::min(dmin, d);
    }
  }
}

// A title record and the n values of v five to a record.
void print_vector(int unit, std::string_view title, std::span<const double> v, int n) {
  put_records(unit, "(/a)", {title});
  if (n > 0) put_records(unit, "(5g12.3)", {v.first(static_cast<std::size_t>(n))});
}

// The trace of an added bound (ifix its position in kx) or general row
// (iadd its row number).
void trace_added(int nout, bool bound, int nactiv, int nZ, int nfree, int ifix_or_iadd, int jadd, bool unitQ) {
  if (bound)
    put_records(nout, "(/a/a/' //E04NCV //  ',5i6,l6)",
                {" //E04NCV //  Simple bound added.", " //E04NCV //  NACTIV    NZ NFREE  IFIX  JADD UNITQ", nactiv,
                 nZ, nfree, ifix_or_iadd, jadd, unitQ});
  else
    put_records(nout, "(/a/a/' //E04NCV //  ',5i6,l6)",
                {" //E04NCV //  General constraint added.           ",
                 " //E04NCV //  NACTIV    NZ NFREE  IADD  JADD UNITQ", nactiv, nZ, nfree, ifix_or_iadd, jadd, unitQ});
}

}  // namespace

void E04NCU(bool cold, bool vertex, int nclin, int nctotl, int& nactiv, int& nartif, int& nfree, int n, int ldA,
            std::span<int> istate, std::span<int> wslist, double bigbnd, double acttol, std::span<const double> a,
            std::span<double> ax, std::span<const double> bl, std::span<const double> bu, std::span<double> x,
            std::span<double> wx, std::span<double> work) {
  const Vec1<int> IS(istate), WS(wslist);
  const Vec1<const double> BL(bl), BU(bu);
  const Vec1<double> X(x), WX(wx), AX(ax), WK(work);
  const Mat1<const double> A(a, ldA);
  const bool trace = tracing();
  const int nout = advisory_unit();
  if (trace) put_records(nout, "(/a/' //E04NCU// ',l4,2i6)", {" //E04NCU// COLD NCLIN NCTOTL", cold, nclin, nctotl});
  if (listing()) print_vector(nout, " //E04NCU// Variables before crash... ", x, n);

  for (int j = 1; j <= n; ++j) {
    if (BL(j) > -bigbnd && X(j) < BL(j)) X(j) = BL(j);
    if (BU(j) < bigbnd && X(j) > BU(j)) X(j) = BU(j);
    WX(j) = X(j);
  }

  int nfixed = 0;
  nactiv = 0;
  nartif = 0;
  for (int j = 1; j <= nctotl; ++j) {
    if (cold) {
      IS(j) = BL(j) == BU(j) ? 3 : 0;
    } else if (IS(j) > 3 || IS(j) < 0) {
      IS(j) = 0;
    }
  }

  for (int j = 1; j <= nctotl; ++j) {
    if (nfixed + nactiv == n) {
      IS(j) = 0;
      continue;
    }
    if (IS(j) <= 0) continue;
    if (j > n) {
      ++nactiv;
      WS(nactiv) = j - n;
    } else {
      ++nfixed;
      WX(j) = IS(j) == 1 ? BL(j) : BU(j);
    }
  }

  if (cold) {
    // Bounds within the crash tolerance, last variable first.
    for (int j = n; j >= 1 && nfixed + nactiv < n; --j) {
      if (IS(j) != 0) continue;
      const double b1 = BL(j), b2 = BU(j);
      int state = 0;
      if (WX(j) - b1 <= (1.0 + std::abs(b1)) * acttol) state = 1;
      if (b2 - WX(j) <= (1.0 + std::abs(b2)) * acttol) state = 2;
      if (state == 0) continue;
      IS(j) = state;
      WX(j) = state == 1 ? b1 : b2;
      ++nfixed;
    }
    // General constraints with the smallest relative residuals.
    if (nclin > 0 && nfixed + nactiv < n) {
      for (int i = 1; i <= nclin; ++i) {
        if (IS(n + i) != 0) continue;
        double sum = 0.0;
        for (int k = 1; k <= n; ++k) sum += A(i, k) * WX(k);
        AX(i) = sum;
      }
      while (nfixed + nactiv < n) {
        int imin = 0;
        double resmin = 0.0;
        bool toupper = false;
        for (int i = 1; i <= nclin; ++i) {
          const int j = n + i;
          if (IS(j) != 0) continue;
          const double b1 = BL(j), b2 = BU(j);
          const double resl = b1 > -bigbnd ? std::abs(AX(i) - b1) / (1.0 + std::abs(b1)) : 2.0 * acttol;
          const double resu = b2 < bigbnd ? std::abs(AX(i) - b2) / (1.0 + std::abs(b2)) : 2.0 * acttol;
          const double r = std::min(resl, resu);
          if (imin == 0 || r < resmin) {
            imin = i;
            resmin = r;
            toupper = resu < resl;
          }
        }
        if (imin == 0 || resmin >= acttol) break;
        IS(n + imin) = toupper ? 2 : 1;
        ++nactiv;
        WS(nactiv) = imin;
      }
    }
  }

  if (vertex && nfixed + nactiv + nartif < n) {
    for (int j = 1; j <= n; ++j) {
      if (IS(j) != 0) continue;
      double sum = 0.0;
      for (int k = 1; k <= nactiv; ++k) sum += std::abs(A(WS(k), j));
      WK(j) = sum;
    }
    while (nfixed + nactiv + nartif < n) {
      int jmin = 0;
      for (int j = 1; j <= n; ++j) {
        if (IS(j) != 0) continue;
        if (jmin == 0 || WK(j) < WK(jmin)) jmin = j;
      }
      if (jmin == 0) break;
      IS(jmin) = 4;
      ++nartif;
    }
  }

  nfree = n - nfixed;
  if (trace)
    put_records(nout, "(/a/a/' //E04NCU// ',3i7)",
                {" //E04NCU// Working set selected ...             ", " //E04NCU// NFIXED NACTIV NARTIF      ",
                 nfixed, nactiv, nartif});
  if (listing()) print_vector(nout, " //E04NCU// Variables after  crash... ", wx, n);
}

void E04NCV(bool& unitQ, int& inform, int ifix, int iadd, int jadd, int nactiv, int nZ, int nfree, int nrank,
           int nresv, int ngvec, int n, int ldA, int ldZY, int ldR, int ldT, std::span<int> kx, double condlim,
           std::span<const double> a, std::span<double> r, std::span<double> t, std::span<double> res,
           std::span<double> gq, std::span<double> zy, std::span<double> w, std::span<double> c,
           std::span<double> s) {
  const Vec1<int> KX(kx);
  const Vec1<double> W(w), S(s), C(c);
  const Mat1<double> T(t, ldT);
  const Mat1<double> ZY(zy, ldZY);
  const Mat1<double> R(r, ldR);
  const Mat1<double> GQ(gq, n);
  const Mat1<const double> A(a, ldA);
  const bool bound = jadd <= n;
  const bool trace = tracing();
  const int nout = advisory_unit();
  inform = 0;

  // Bound with Q the identity: a permutation of kx, gq and R.
  if (bound && unitQ) {
    for (int k = 1; k <= n; ++k) W(k) = k;
    for (int k = ifix; k <= nfree - 1; ++k) W(k) = k + 1;
    for (int k = ifix; k <= nfree - 1; ++k) KX(k) = KX(k + 1);
    KX(nfree) = jadd;
    PERMAP("Left", "Transpose", nfree, w, ngvec, gq, n);
    if (nrank > 0) {
      const int nzr = std::min(nfree, nrank);
      ROTUP1("Right", n, ifix, nzr, s, r, ldR);
      if (nrank < nfree) {
        for (int k = 1; k <= n; ++k) W(k) = k;
        for (int k = std::max(ifix, nzr); k <= nfree - 1; ++k) W(k) = k + 1;
        PERMAP("Right", "Normal", nfree, w, nrank, r, ldR);
      }
      ROTUP2("Left ", n, ifix, nzr, c, s, r, ldR);
      if (nresv > 0) ROTSAP("Left", "Variable", "Forwards", n, nresv, ifix, nzr, c, s, res, n);
    }
    if (trace) trace_added(nout, true, nactiv, nZ, nfree, ifix, jadd, unitQ);
    return;
  }

  double dtmax = E4QPST.dtmax;
  double dtmin = E4QPST.dtmin;
  double cond = 0.0;
  bool overflow = false;
  double dtnew = 0.0;
  int h = 0;

  if (bound) {
    // The bound's row in the Q basis.
    for (int k = 1; k <= nfree; ++k) W(k) = ZY(ifix, k);
    h = nfree;
  } else {
    for (int k = 1; k <= n; ++k) W(k) = A(iadd, k);
    FACMUL(8, n, nZ, nfree, ldZY, unitQ, kx, w, zy, c);
    double scale = 0.0, ssq = 1.0;
    SSQUPD(nZ, w, 1, scale, ssq);
    dtnew = SSQNRM(scale, ssq);
    if (nactiv == 0) {
      cond = SAFDIV(E4QPST.asize, dtnew, overflow);
      dtmax = dtmin = dtnew;
    } else {
      dtmax = std::max(dtmax, dtnew);
      dtmin = std::min(dtmin, dtnew);
      cond = SAFDIV(dtmax, dtmin, overflow);
    }
    h = nZ;
  }

  // Rotations in planes (k, k+1), k = 1..h-1, that reduce w(1..h) to a
  // multiple of w(h).  They are formed before anything changes, so that a
  // bound can be judged by the new diagonal of T first.
  if (h >= 2) ROTSEQ("Varble", "Forwrds", h - 1, W(h), w, 1, c, s);

  if (bound && nactiv > 0 && nZ < 1) {
    // No room: the bound depends on the working set.
    overflow = true;
  } else if (bound && nactiv > 0) {
    // Row i of T gets the diagonal s(nfree - i) times its old diagonal.
    for (int i = 1; i <= nactiv; ++i) {
      const double d = std::abs(S(nfree - i) * T(i, nfree - i + 1));
      if (i == 1) {
        dtmax = dtmin = d;
      } else {
        dtmax = std::max(dtmax, d);
        dtmin = std::min(dtmin, d);
      }
    }
    cond = SAFDIV(dtmax, dtmin, overflow);
  }

  if ((!bound || nactiv > 0) && (cond >= condlim || overflow)) {
    inform = 1;
    if (trace) {
      put_records(nout, "(/a)", {" //E04NCV //  Dependent constraint rejected."});
      if (bound)
        put_records(nout, "(a/' //E04NCV //  ',1p,3d10.2)",
                    {" //E04NCV //     ASIZE     DTMAX     DTMIN        ", E4QPST.asize, dtmax, dtmin});
      else if (nactiv == 0)
        put_records(nout, "(a/' //E04NCV //  ',1p,2d10.2)", {" //E04NCV //     ASIZE     DTNEW", E4QPST.asize, dtnew});
      else
        put_records(nout, "(a/' //E04NCV //  ',1p,4d10.2)",
                    {" //E04NCV //     ASIZE     DTMAX     DTMIN     DTNEW", E4QPST.asize, dtmax, dtmin, dtnew});
    }
    return;
  }

  if (!bound && unitQ) {
    MATSET("General", nfree, nfree, 0.0, 1.0, zy, ldZY);
    unitQ = false;
  }

  if (bound) {
    // Row nfree of Q moves into row ifix; the bound's variable goes last.
    if (ifix < nfree) {
      for (int k = 1; k <= nfree; ++k) ZY(ifix, k) = ZY(nfree, k);
      KX(ifix) = KX(nfree);
    }
    KX(nfree) = jadd;
  }

  if (h >= 2) {
    ROTSAP("Left ", "Variable", "Forwards", n, ngvec, 1, h, c, s, gq, n);
    ROTSAP("Right", "Variable", "Forwards", nfree, nfree, 1, h, c, s, zy, ldZY);
    if (bound && nactiv > 0) {
      // The rotation (nZ, nZ+1) creates the new diagonal of the last row;
      // the later ones create those of the rows above (returned in s, which
      // is kept in w(1..nfree-1) for R).
      const double y = T(nactiv, nZ + 1);
      T(nactiv, nZ) = S(nZ) * y;
      T(nactiv, nZ + 1) = C(nZ) * y;
      for (int k = nZ + 1; k <= nfree - 1; ++k) W(k) = S(k);
      ROTCRM("Create", nactiv, 1, nactiv, tail(c, nZ + 1), tail(s, nZ + 1), column(t, ldT, nZ + 1), ldT);
      for (int k = 1; k <= nactiv - 1; ++k) {
        T(nactiv - k, nZ + k) = S(nZ + k);
        S(nZ + k) = W(nZ + k);
      }
    }
    if (nrank > 0) {
      const int nzr = std::min(h, nrank);
      ROTUP5("Right", n, 1, nzr, c, s, r, ldR);
      if (nzr < h) ROTSAP("Right", "Variable", "Forwards", nzr, h, nzr, h, c, s, r, ldR);
      ROTUP2("Left ", n, 1, nzr, c, s, r, ldR);
      if (nresv > 0) ROTSAP("Left ", "Variable", "Forwards", n, nresv, 1, nzr, c, s, res, n);
    }
  }

  if (!bound) {
    for (int k = nZ; k <= nfree; ++k) T(nactiv + 1, k) = W(k);
  } else {
    if (W(nfree) < 0.0) {
      const int top = std::min(nfree, nrank);
      for (int i = 1; i <= top; ++i) R(i, nfree) = -R(i, nfree);
      for (int k = 1; k <= ngvec; ++k) GQ(nfree, k) = -GQ(nfree, k);
    }
  }

  E4QPST.dtmax = dtmax;
  E4QPST.dtmin = dtmin;
  if (bound && nactiv == 0) cond = 0.0;
  if (cond >= 1.0 / std::pow(kEps, 0.9))
    put_records(nout, "(/a,i5/a//)",
                {" XXX  Serious ill-conditioning in the working set after adding constraint ", jadd,
                 " XXX  Overflow may occur in subsequent iterations."});
  if (trace) trace_added(nout, bound, nactiv, nZ, nfree, bound ? ifix : iadd, jadd, unitQ);
}

void E4ADDS(bool& unitQ, bool vertex, int& inform, int k1, int k2, int& nactiv, int& nartif, int& nZ, int& nfree,
            int nrank, int& nrej, int nresv, int ngvec, int n, int ldZY, int ldA, int ldR, int ldT,
            std::span<int> istate, std::span<int> wslist, std::span<int> kx, double condlim,
            std::span<const double> a, std::span<double> r, std::span<double> t, std::span<double> res,
            std::span<double> gq, std::span<double> zy, std::span<double> w, std::span<double> c,
            std::span<double> s) {
  const Vec1<int> IS(istate), WS(wslist), KX(kx);
  const Mat1<double> T(t, ldT);
  const Mat1<double> ZY(zy, ldZY);
  inform = 0;

  if (nactiv == 0) {
    E4QPST.dtmax = 0.0;
    E4QPST.dtmin = 1.0;
  } else {
    diag_extremes(T, nactiv, nfree, E4QPST.dtmax, E4QPST.dtmin);
  }

  for (int k = k1; k <= k2; ++k) {
    if (nactiv >= nfree) continue;
    const int iadd = WS(k);
    const int jadd = n + iadd;
    int info = 0;
    E04NCV(unitQ, info, 0, iadd, jadd, nactiv, nZ, nfree, nrank, nresv, ngvec, n, ldA, ldZY, ldR, ldT, kx, condlim,
          a, r, t, res, gq, zy, w, c, s);
    if (info == 0) {
      ++nactiv;
      --nZ;
    } else {
      IS(jadd) = 0;
      WS(k) = -WS(k);
    }
  }

  if (nactiv < k2) {
    // The kept rows move forward in their order; the rejected ones go behind.
    int next = k1;
    for (int k = k1; k <= k2; ++k) {
      if (WS(k) >= 0) {
        std::swap(WS(next), WS(k));
        ++next;
      }
    }
  }

  if (vertex && nZ > 0) {
    const double tolbig = std::sqrt(optkern::wmach(7));
    while (nZ > 0) {
      int ifix = nfree;
      if (!unitQ) {
        double best = -1.0;
        for (int i = 1; i <= nfree; ++i) {
          double scale = 0.0, ssq = 1.0;
          for (int j = 1; j <= nZ; ++j) SSQUPD(1, std::span<const double>(&ZY(i, j), 1), 1, scale, ssq);
          const double rn = SSQNRM(scale, ssq);
          if (rn > best) {
            best = rn;
            ifix = i;
          }
        }
      }
      const int jadd = KX(ifix);
      int info = 0;
      if (!unitQ || ifix != nfree) {
        E04NCV(unitQ, info, ifix, 0, jadd, nactiv, nZ, nfree, nrank, nresv, ngvec, n, ldA, ldZY, ldR, ldT, kx,
              tolbig, a, r, t, res, gq, zy, w, c, s);
        if (info != 0) break;
      }
      IS(jadd) = 4;
      --nfree;
      --nZ;
      ++nartif;
    }
  }

  nrej = k2 - nactiv;
}

void E04NCT(bool unitQ, int n, int& nactiv, int& nfree, int nresv, int ngvec, int& nZ, int& nZ1, int ldA, int ldZY,
           int ldR, int ldT, int nrank, int jdel, int kdel, std::span<int> wslist, std::span<int> kx,
           std::span<const double> a, std::span<double> res, std::span<double> r, std::span<double> t,
           std::span<double> gq, std::span<double> zy, std::span<double> c, std::span<double> s) {
  const Vec1<int> WS(wslist), KX(kx);
  const Vec1<double> C(c), S(s);
  const Mat1<double> T(t, ldT);
  const Mat1<double> ZY(zy, ldZY);
  const Mat1<double> GQ(gq, n);
  const Mat1<const double> A(a, ldA);
  const bool trace = tracing();
  int irdel = 0;  // position of a deleted bound in kx (for the trace)

  if (jdel > 0) {
    int firstfix = 1;
    if (jdel > n) {
      --nactiv;
      for (int i = kdel; i <= nactiv; ++i) {
        WS(i) = WS(i + 1);
        for (int j = nfree - i; j <= nfree; ++j) T(i, j) = T(i + 1, j);
      }
      firstfix = kdel;
    } else {
      const int ir = nZ + kdel;
      irdel = ir;
      ++nfree;
      if (nfree < ir) {
        KX(ir) = KX(nfree);
        KX(nfree) = jdel;
        FACMOV(n, nresv, nrank, ldR, nfree, ir, r, res, c, s);
        for (int k = 1; k <= ngvec; ++k) std::swap(GQ(nfree, k), GQ(ir, k));
      }
      if (!unitQ) {
        for (int i = 1; i <= nactiv; ++i) T(i, nfree) = A(WS(i), jdel);
        for (int k = 1; k <= nfree - 1; ++k) {
          ZY(nfree, k) = 0.0;
          ZY(k, nfree) = 0.0;
        }
        ZY(nfree, nfree) = 1.0;
      }
    }

    ++nZ;
    if (nactiv == 0) {
      E4QPST.dtmax = 1.0;
      E4QPST.dtmin = 1.0;
    } else {
      const int nsup = nactiv - firstfix + 1;
      const int npiv = nfree - firstfix + 1;
      if (nsup >= 1) {
        if (nsup > 1) {
          // Elements left of the reverse diagonal of rows firstfix..nactiv-1.
          for (int k = 1; k <= nsup - 1; ++k) {
            S(nZ + k) = T(nactiv - k, nZ + k);
            T(nactiv - k, nZ + k) = 0.0;
          }
          ROTCRM("Remove", nactiv, 1, nsup, tail(c, nZ + 1), tail(s, nZ + 1), column(t, ldT, nZ + 1), ldT);
        }
        double cs = 0.0, sn = 0.0;
        double b = T(nactiv, nZ);
        ROTGEN(T(nactiv, nZ + 1), b, cs, sn);
        T(nactiv, nZ) = 0.0;
        C(nZ) = cs;
        S(nZ) = -sn;

        ROTSAP("Right", "Variable", "Backwards", nfree, nfree, nZ, npiv, c, s, zy, ldZY);
        ROTSAP("Left ", "Variable", "Backwards", n, ngvec, nZ, npiv, c, s, gq, n);
        const int nrz = std::min(nrank, npiv);
        if (nrz > 0) {
          if (nrz < npiv)
            ROTSAP("Right", "Variable", "Backwards", nrz, npiv, std::max(nZ, nrz), npiv, c, s, r, ldR);
          if (nZ < nrz) {
            ROTUP4("Right", n, nZ, nrz, c, s, r, ldR);
            if (nresv > 0) ROTSAP("Left ", "Variable", "Backwards", n, nresv, nZ, nrz, c, s, res, n);
          }
        }
      }
      diag_extremes(T, nactiv, nfree, E4QPST.dtmax, E4QPST.dtmin);
    }
  }

  if (nZ1 < nZ) {
    int jart = 0;
    if (jdel <= 0) {
      jart = -jdel;
    } else {
      double best = -1.0;
      for (int j = nZ1 + 1; j <= nZ; ++j) {
        const double g = std::abs(GQ(j, 1));
        if (g > best) {
          best = g;
          jart = j;
        }
      }
    }
    const int j1 = nZ1 + 1;
    if (jart > j1) {
      if (unitQ) {
        std::swap(KX(j1), KX(jart));
      } else {
        for (int i = 1; i <= nfree; ++i) std::swap(ZY(i, j1), ZY(i, jart));
      }
      for (int k = 1; k <= ngvec; ++k) std::swap(GQ(j1, k), GQ(jart, k));
      FACMOV(n, nresv, nrank, ldR, j1, jart, r, res, c, s);
    }
    ++nZ1;
  }

  if (trace) {
    const int nout = advisory_unit();
    if (jdel > n)
      put_records(nout, "(/a/a/' //E04NCT //  ',5i6,l6)",
                  {" //E04NCT //  General constraint deleted.         ",
                   " //E04NCT //  NACTIV    NZ NFREE  KDEL  JDEL UNITQ", nactiv, nZ, nfree, kdel, jdel, unitQ});
    else if (jdel > 0)
      put_records(nout, "(/a/a/' //E04NCT //  ',5i6,l6)",
                  {" //E04NCT //  Simple bound deleted.               ",
                   " //E04NCT //  NACTIV    NZ NFREE    IR  JDEL UNITQ", nactiv, nZ, nfree, irdel, jdel, unitQ});
    else
      put_records(nout, "(/a/a/' //E04NCT //  ',3i6)",
                  {" //E04NCT //  Artificial constraint deleted.      ",
                   " //E04NCT //      NZ   NRZ   JART                 ", nZ, nZ1, -jdel});
  }
}

void E04NCR(int n, int nclin, std::span<const int> istate, double bigbnd, double& cviolnorm, double& errmax,
            int& jmax, int& nviol, std::span<const double> ax, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> featol, std::span<const double> x,
            std::span<double> work) {
  const Vec1<const int> IS(istate);
  const Vec1<const double> AX(ax), BL(bl), BU(bu), FT(featol), X(x);
  const Vec1<double> WK(work);
  nviol = 0;
  for (int j = 1; j <= n + nclin; ++j) {
    const int is = IS(j);
    double resid = 0.0;
    if (is >= 0 && is <= 3) {
      const double con = j <= n ? X(j) : AX(j - n);
      const double tol = FT(j);
      if (BL(j) > -bigbnd && BL(j) - con > tol) {
        resid = BL(j) - con;
      } else if (BU(j) < bigbnd && BU(j) - con < -tol) {
        resid = BU(j) - con;
      } else if (is == 1) {
        resid = BL(j) - con;
      } else if (is >= 2) {
        resid = BU(j) - con;
      }
      if (std::abs(resid) > tol) ++nviol;
    }
    WK(j) = resid;
  }
  jmax = 0;
  errmax = 0.0;
  for (int j = 1; j <= n + nclin; ++j) {
    if (jmax == 0 || std::abs(WK(j)) > errmax) {
      jmax = j;
      errmax = std::abs(WK(j));
    }
  }
  double scale = 0.0, ssq = 1.0;
  SSQUPD(n + nclin, work, 1, scale, ssq);
  cviolnorm = SSQNRM(scale, ssq);
  if (tracing())
    put_records(advisory_unit(), "(/a,1p,d14.2,a,i5)",
                {" //E04NCR//  The maximum violation is ", errmax, " in constraint", jmax});
}

void E04NCH(bool linterm, bool& rowerr, bool unitQ, int nclin, int nactiv, int nfree, int nrank, int nZ, int n,
            int /*nctotl*/, int ldZY, int ldA, int ldR, int ldT, std::span<const int> istate,
            std::span<const int> wslist, std::span<const int> kx, int& jmax, double& errmax, double& ctx,
            double& xnorm, std::span<const double> a, std::span<double> ax, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> cq, std::span<double> res,
            std::span<const double> res0, std::span<const double> featol, std::span<const double> r,
            std::span<const double> t, std::span<double> x, std::span<const double> zy, std::span<double> p,
            std::span<double> work) {
  const Vec1<const int> IS(istate), WS(wslist), KX(kx);
  const Vec1<const double> BL(bl), BU(bu), FT(featol), CQ(cq), RES0(res0);
  const Vec1<double> X(x), AX(ax), P(p), WK(work), RES(res);
  const Mat1<const double> A(a, ldA);
  const Mat1<const double> R(r, ldR);

  for (int k = nfree + 1; k <= n; ++k) {
    const int j = KX(k);
    const int is = IS(j);
    if (is == 4) continue;
    X(j) = is <= 1 ? BL(j) : BU(j);
  }

  auto row_value = [&](int i) {
    double sum = 0.0;
    for (int k = 1; k <= n; ++k) sum += A(i, k) * X(k);
    return sum;
  };

  jmax = 0;
  errmax = 0.0;
  for (int pass = 1; pass <= 2; ++pass) {
    if (nactiv > 0) {
      for (int i = 1; i <= nactiv; ++i) {
        const int k = WS(i);
        const int j = n + k;
        const double bnd = IS(j) == 2 ? BU(j) : BL(j);
        WK(i) = bnd - row_value(k);
      }
      FACSOL(1, ldT, nactiv, column(t, ldT, nZ + 1), work);
      for (int k = 1; k <= n; ++k) P(k) = 0.0;
      for (int i = 1; i <= nactiv; ++i) P(nZ + i) = WK(i);
      FACMUL(2, n, nZ, nfree, ldZY, unitQ, kx, p, zy, work);
      for (int k = 1; k <= n; ++k) X(k) += P(k);
    }
    double scale = 0.0, ssq = 1.0;
    SSQUPD(n, x, 1, scale, ssq);
    xnorm = SSQNRM(scale, ssq);
    for (int i = 1; i <= nclin; ++i) AX(i) = row_value(i);
    jmax = 0;
    errmax = 0.0;
    for (int i = 1; i <= nactiv; ++i) {
      const int k = WS(i);
      const int j = n + k;
      const double resid = std::abs((IS(j) == 1 ? BL(j) : BU(j)) - AX(k));
      if (resid > errmax) {
        errmax = resid;
        jmax = j;
      }
    }
    if (jmax == 0 || errmax <= FT(jmax)) break;
  }
  rowerr = jmax > 0 && errmax > FT(jmax);

  if (nrank > 0 || linterm) {
    for (int k = 1; k <= n; ++k) P(k) = X(k);
    FACMUL(6, n, nZ, nfree, ldZY, unitQ, kx, p, zy, work);
    ctx = 0.0;
    if (linterm)
      for (int k = 1; k <= n; ++k) ctx += CQ(k) * P(k);
    if (nrank > 0) {
      for (int i = 1; i <= nrank; ++i) {
        double sum = 0.0;
        for (int k = i; k <= n; ++k) sum += R(i, k) * P(k);
        RES(i) = RES0(i) - sum;
      }
    }
  }
  if (listing()) print_vector(advisory_unit(), " //E04NCH// Variables after refinement ... ", x, n);
}

void E4BNDS(bool& unitQ, int n, int nrank, int nfree, int& nZ, int ldA, int ldZY, int ldR, int ldT,
            std::span<const int> istate, std::span<int> kx, double condlim, std::span<const double> a,
            std::span<double> r, std::span<double> t, std::span<double> gq, std::span<double> zy,
            std::span<double> w, std::span<double> c, std::span<double> s) {
  const Vec1<const int> IS(istate);
  const Vec1<int> KX(kx);
  nZ = nfree;
  if (nfree >= n) return;
  if (nrank > 0 && nrank < n) {
    // All variables free, then each fixed one added as a bound (R takes the
    // rotations), from the last variable down.
    int nf = n;
    int nz = n;
    for (int j = n; j >= 1 && nf > nfree; --j) {
      if (IS(j) <= 0) continue;
      int ifix = 0;
      for (int k = 1; k <= nf; ++k)
        if (KX(k) == j) ifix = k;
      if (ifix == 0) continue;  // not among the free positions: already fixed
      int info = 0;
      E04NCV(unitQ, info, ifix, 0, j, 0, nz, nf, nrank, 0, 1, n, ldA, ldZY, ldR, ldT, kx, condlim, a, r, t, {}, gq,
             zy, w, c, s);
      --nf;
      --nz;
    }
    nZ = nz;
  } else {
    // Each fixed variable among the free positions changes places with the
    // next free variable behind it; R follows the interchange.
    for (int k = 1; k <= nfree; ++k) {
      if (IS(KX(k)) <= 0) continue;
      int l = k + 1;
      while (l <= n && IS(KX(l)) > 0) ++l;
      if (l > n) break;
      if (nrank > 0) FACMOV(n, 0, nrank, ldR, k, l, r, {}, c, s);
      std::swap(KX(k), KX(l));
    }
  }
}

}  // namespace qv::optim_alt
