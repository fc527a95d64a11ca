#include "optim/lscore.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

#include "optkern/blas.hpp"
#include "optim/facutil.hpp"
#include "optkern/kernels.hpp"
#include "optkern/machine.hpp"
#include "optim/nplog.hpp"
#include "optim/options.hpp"
#include "optim/workset.hpp"
#include "optim/wsutil.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

extern "C" {
void dtrsv_(const char* uplo, const char* trans, const char* diag, const int* n, const double* a, const int* lda,
            double* x, const int* incx, std::size_t, std::size_t, std::size_t);
}

namespace qv::optim {

using namespace optkern;

namespace {

using runtime::Mat1;
using runtime::Vec1;

constexpr int kOne = 1;

double dot(int n, const double* x, int incx, const double* y, int incy) {
  if (n <= 0) return 0.0;
  return ddot_(&n, x, &incx, y, &incy);
}

void axpy(int n, double a, const double* x, int incx, double* y, int incy) {
  if (n <= 0) return;
  daxpy_(&n, &a, x, &incx, y, &incy);
}

// Solves the upper-triangular system of order n held in R (leading dimension
// ldR) with R (trans 'N') or R' (trans 'T'), x in place.
void trsv(char trans, int n, const double* r, int ldR, double* x) {
  if (n <= 0) return;
  const char uplo = 'U', diag = 'N';
  dtrsv_(&uplo, &trans, &diag, &n, r, &ldR, x, &kOne, 1, 1, 1);
}

bool is_type(std::string_view prbtyp, std::string_view t) { return prbtyp.substr(0, 2) == t; }

}  // namespace

void QPGRAD(std::string_view prbtyp, bool linterm, bool& singlr, bool& unitgZ, bool unitQ, int n, int nclin,
            int nfree, int ldA, int ldZY, int ldR, int nrank, int nZ, int& nZ1, std::span<int> istates,
            std::span<const int> kx, double bigbnd, double tolrank, int& ninf, double& suminf,
            std::span<const double> bls, std::span<const double> bus, std::span<const double> as,
            std::span<const double> ress, std::span<const double> featols, std::span<double> gqs,
            std::span<const double> cqs, std::span<const double> rs, std::span<const double> xs,
            std::span<const double> infwts, std::span<const double> zy, std::span<double> wrk) {
  const Vec1<int> istate(istates);
  const Vec1<const double> bl(bls), bu(bus), featol(featols), x(xs), infwt(infwts), res(ress), cq(cqs);
  const Vec1<double> gq(gqs);
  const Mat1<const double> a(as, ldA), r(rs, ldR);

  singlr = false;
  unitgZ = true;
  ninf = 0;
  suminf = 0.0;
  for (int j = 1; j <= n; ++j) gq(j) = 0.0;

  const double biglow = -bigbnd, bigupp = bigbnd;
  for (int j = 1; j <= n + nclin; ++j) {
    if (istate(j) > 0) continue;
    const double con = j <= n ? x(j) : dot(n, a.ptr(j - n, 1), ldA, x.ptr(), 1);
    istate(j) = 0;
    double weight = 0.0, viol = 0.0;
    if (bl(j) > biglow && bl(j) - con > featol(j)) {
      istate(j) = -2;
      weight = -infwt(j);
      viol = bl(j) - con;
    } else if (bu(j) < bigupp && con - bu(j) > featol(j)) {
      istate(j) = -1;
      weight = infwt(j);
      viol = con - bu(j);
    } else {
      continue;
    }
    ++ninf;
    suminf += std::abs(weight) * viol;
    if (j <= n)
      gq(j) = weight;
    else
      axpy(n, weight, a.ptr(j - n, 1), ldA, gq.ptr(), 1);
  }

  if (ninf > 0) {
    FACMUL(6, n, nZ, nfree, ldZY, unitQ, kx, gqs, zy, wrk);
    return;
  }
  if (is_type(prbtyp, "FP")) return;  // gq is already 0

  if (nrank == 0) {
    if (linterm)
      for (int j = 1; j <= n; ++j) gq(j) = cq(j);
    nZ1 = 0;
    return;
  }

  // gq := -R'res over the leading nrank rows, plus cq.
  for (int i = 1; i <= nrank; ++i) gq(i) = res(i);
  // Upper-triangular product R(1..nrank,1..nrank)' res, element by element
  // from the last so that gq can hold res on entry.
  for (int j = nrank; j >= 1; --j) gq(j) = dot(j, r.ptr(1, j), 1, gq.ptr(), 1);
  if (nrank < n) {
    for (int j = nrank + 1; j <= n; ++j) gq(j) = dot(nrank, r.ptr(1, j), 1, res.ptr(), 1);
  }
  for (int j = 1; j <= n; ++j) gq(j) = -gq(j);
  if (linterm)
    for (int j = 1; j <= n; ++j) gq(j) += cq(j);
  unitgZ = false;

  const double rownrm = ssq_norm2(n, r.ptr(1, 1), ldR);
  if (rownrm <= tolrank || std::abs(r(1, 1)) <= rownrm * tolrank) {
    nZ1 = 0;
  } else {
    const int m = std::min(nrank, nZ);
    nZ1 = m <= 0 ? 0
                 : NLEAD(m, std::span<const double>(r.ptr(1, 1), static_cast<std::size_t>(1 + (m - 1) * (ldR + 1))),
                         ldR + 1, tolrank);
  }
}

void lsgetp(bool linterm, bool singlr, bool unitgZ, bool unitQ, int n, int nclin, int nfree, int ldA, int ldZY,
            int ldR, int nrank, int ninf, int nZ1, std::span<const int> kx, double& lindir, double& dirnorm,
            std::span<const double> as, std::span<double> aps, std::span<const double> ress, std::span<double> hzs,
            std::span<double> pxs, std::span<const double> gqs, std::span<const double> cqs,
            std::span<const double> rs, std::span<const double> zy, std::span<double> wrk) {
  const Vec1<double> p(pxs), hz(hzs), ap(aps);
  const Vec1<const double> gq(gqs), cq(cqs), res(ress);
  const Mat1<const double> r(rs, ldR);

  for (int j = 1; j <= n; ++j) p(j) = 0.0;
  if (nrank > 0)
    for (int i = 1; i <= nrank; ++i) hz(i) = 0.0;

  if (singlr) {
    // A direction of zero (or least) curvature: the first nZ1 - 1 rows of
    // Rz p vanish and p(nZ1) = -1, turned downhill.
    for (int i = 1; i <= nZ1 - 1; ++i) p(i) = r(i, nZ1);
    trsv('N', nZ1 - 1, r.ptr(), ldR, p.ptr());
    p(nZ1) = -1.0;
    if (dot(nZ1, gq.ptr(), 1, p.ptr(), 1) > 0.0)
      for (int i = 1; i <= nZ1; ++i) p(i) = -p(i);
    if (nZ1 <= nrank) {
      if (ninf == 0) {
        if (unitgZ) hz(nZ1) = r(nZ1, nZ1) * p(nZ1);
      } else {
        hz(1) = r(1, 1) * p(1);
      }
    }
  } else {
    if (!linterm) {
      for (int i = 1; i <= nZ1; ++i) hz(i) = res(i);
    } else if (!unitgZ) {
      for (int i = 1; i <= nZ1; ++i) hz(i) = -gq(i);
      trsv('T', nZ1, r.ptr(), ldR, hz.ptr());
    } else {
      hz(nZ1) = -gq(nZ1) / r(nZ1, nZ1);
    }
    for (int i = 1; i <= nZ1; ++i) p(i) = hz(i);
    trsv('N', nZ1, r.ptr(), ldR, p.ptr());
  }

  lindir = linterm ? dot(nZ1, cq.ptr(), 1, p.ptr(), 1) : 0.0;
  dirnorm = ssq_norm2(nZ1, p.ptr(), 1);

  // p := Z p, back in the natural order of the variables.
  const int nZ = std::max(nZ1, 0);
  FACMUL(1, n, nZ, nfree, ldZY, unitQ, kx, pxs, zy, wrk);
  if (nclin > 0) {
    const char t = 'N';
    const double one = 1.0, zero = 0.0;
    dgemv_(&t, &nclin, &n, &one, as.data(), &ldA, p.ptr(), &kOne, &zero, ap.ptr(), &kOne, 1);
  }

  if (LSPRNT.trace && LSPRNT.iprint > 0) {
    runtime::write_fmt(LSPRNT.iprint, "(/' //lsgetp//   p ... '/(1p,5e15.5))", {std::span<const double>(pxs.first(static_cast<std::size_t>(n)))});
    if (nclin > 0)
      runtime::write_fmt(LSPRNT.iprint, "(/' //lsgetp//  Ap ... '/(1p,5e15.5))",
                         {std::span<const double>(aps.first(static_cast<std::size_t>(nclin)))});
  }
}


void QPMOVE(bool ishit, bool hitslow, bool linterm, bool unitgZ, int nclin, int nrank, int nZ1, int n, int ldR,
            int jadd, int ninf, double alfa, double lindir, double& ctx, double& xnorm, std::span<const double> aps,
            std::span<double> axs, std::span<const double> bls, std::span<const double> bus, std::span<double> gqs,
            std::span<const double> hzs, std::span<const double> pxs, std::span<double> ress,
            std::span<const double> rs, std::span<double> xs, std::span<double> /*wrk*/) {
  const Vec1<double> x(xs), ax(axs), gq(gqs), res(ress);
  const Vec1<const double> ap(aps), hz(hzs), px(pxs), bl(bls), bu(bus);
  const Mat1<const double> r(rs, ldR);

  axpy(n, alfa, px.ptr(), 1, x.ptr(), 1);
  if (linterm) ctx += alfa * lindir;
  if (ishit && jadd >= 1 && jadd <= n && alfa >= 0.0) x(jadd) = hitslow ? bl(jadd) : bu(jadd);
  xnorm = ssq_norm2(n, x.ptr(), 1);
  if (nclin > 0) axpy(nclin, alfa, ap.ptr(), 1, ax.ptr(), 1);

  if (nZ1 >= 1 && nZ1 <= nrank) {
    if (unitgZ)
      res(nZ1) -= alfa * hz(nZ1);
    else
      axpy(nrank, -alfa, hz.ptr(), 1, res.ptr(), 1);
    if (ninf == 0) {
      if (unitgZ) {
        axpy(n - nZ1 + 1, alfa * hz(nZ1), r.ptr(nZ1, nZ1), ldR, gq.ptr(nZ1), 1);
      } else {
        const char t = 'T';
        const double one = 1.0;
        dgemv_(&t, &nrank, &n, &alfa, r.ptr(), &ldR, hz.ptr(), &kOne, &one, gq.ptr(), &kOne, 1);
      }
    }
  }
}

void lsmuls(std::string_view prbtyp, int msglvl, int n, int nactiv, int nfree, int ldA, int ldT, int ninf, int nZ,
            int nZ1, std::span<const int> istates, std::span<const int> wslists, std::span<const int> kxs,
            double dinky, int& jsmlst, int& ksmlst, int jhard, int& jtiny, int& jbigst, int& kbigst,
            double& truemult, std::span<const double> as, std::span<const double> rownorms,
            std::span<const double> gqs, std::span<double> wsmults, std::span<const double> ts,
            std::span<const double> infwts) {
  const Vec1<const int> istate(istates), wslist(wslists), kx(kxs);
  const Vec1<const double> rownorm(rownorms), gq(gqs), infwt(infwts);
  const Vec1<double> wsmult(wsmults);
  const Mat1<const double> a(as, ldA);
  const int iprint = NPOPTS.ils(slot::kPrintFile);
  const std::string type(prbtyp.substr(0, 2));

  const int nfixed = n - nfree;
  double smllst = -dinky, tinylm = dinky, biggst = 1.0 + dinky;
  jsmlst = ksmlst = jtiny = jbigst = kbigst = 0;
  truemult = 0.0;

  // Artificial constraints: the columns nZ1+1..nZ of Z outside the subspace.
  for (int j = nZ1 + 1; j <= nZ; ++j) {
    const double rlam = -std::abs(gq(j));
    if (rlam < smllst) {
      smllst = rlam;
      jsmlst = -j;
    } else if (rlam < tinylm) {
      tinylm = rlam;
      jtiny = j;
    }
  }
  if (msglvl >= 20 && iprint > 0 && nZ1 < nZ) {
    std::vector<runtime::Out> items;
    for (int j = nZ1 + 1; j <= nZ; ++j) items.emplace_back(-std::abs(gq(j)));
    runtime::write_fmt(iprint, "(/' Multipliers for the artificial constraints        ')");
    runtime::write_fmt(iprint, "(4(5x,1p,e11.2))", std::span<const runtime::Out>(items));
  }

  // Multipliers of the general constraints, then of the fixed variables.
  const int nlam = n - nZ;
  for (int k = 1; k <= nlam; ++k) wsmult(k) = gq(nZ + k);
  if (nactiv > 0) FACSOL(2, ldT, nactiv, ts.subspan(static_cast<std::size_t>(nZ) * ldT), wsmults);
  for (int l = 1; l <= nfixed; ++l) {
    const int j = kx(nfree + l);
    double sum = 0.0;
    for (int k = 1; k <= nactiv; ++k) sum += a(wslist(k), j) * wsmult(k);
    wsmult(nactiv + l) -= sum;
  }

  for (int k = 1; k <= nlam; ++k) {
    const int j = k <= nactiv ? n + wslist(k) : kx(nZ + k);
    const double anormj = j > n ? rownorm(j - n) : 1.0;
    const int is = istate(j);
    double rlam = wsmult(k);
    if (is == 2) rlam = -rlam;
    if (is == 3) rlam = std::abs(rlam);
    if (is == 4) rlam = -std::abs(rlam);
    if (is != 3) {
      const double scaled = rlam * anormj;
      if (scaled < smllst) {
        smllst = scaled;
        jsmlst = j;
        ksmlst = k;
      } else if (scaled < tinylm) {
        tinylm = scaled;
        jtiny = j;
      }
    }
    if (ninf > 0 && j > jhard) {
      const double scaled = rlam / infwt(j);
      if (scaled > biggst) {
        biggst = scaled;
        truemult = wsmult(k);
        jbigst = j;
        kbigst = k;
      }
    }
  }

  if (msglvl >= 20 && iprint > 0) {
    std::vector<runtime::Out> items;
    for (int l = 1; l <= nfixed; ++l) {
      items.emplace_back(kx(nfree + l));
      items.emplace_back(wsmult(nactiv + l));
    }
    runtime::write_fmt(iprint, "(/' Multipliers for the ',a2,' bound  constraints   ')", {type});
    if (!items.empty()) runtime::write_fmt(iprint, "(4(i5,1p,e11.2))", std::span<const runtime::Out>(items));
    items.clear();
    for (int k = 1; k <= nactiv; ++k) {
      items.emplace_back(wslist(k));
      items.emplace_back(wsmult(k));
    }
    runtime::write_fmt(iprint, "(/' Multipliers for the ',a2,' linear constraints   ')", {type});
    if (!items.empty()) runtime::write_fmt(iprint, "(4(i5,1p,e11.2))", std::span<const runtime::Out>(items));
  }
  if (LSPRNT.trace && iprint > 0) {
    runtime::write_fmt(iprint,
                       "(/' //lsmuls//  jsmlst     smllst     ksmlst (scaled) '/' //lsmuls//  ',i6,1p,e11.2,5x,i6)",
                       {jsmlst, smllst, ksmlst});
    runtime::write_fmt(iprint, "(' //lsmuls//  jbigst     biggst     kbigst (scaled) '/' //lsmuls//  ',i6,1p,e11.2,5x,i6)",
                       {jbigst, biggst, kbigst});
    runtime::write_fmt(iprint, "(' //lsmuls//   jtiny     tinylm                  '/' //lsmuls//  ',i6,1p,e11.2)",
                       {jtiny, tinylm});
  }
}

namespace {

// The letter shown after a constraint number in the iteration log: the
// state it is added with or leaves.
char state_letter(int is) {
  switch (is) {
    case 1: return 'L';
    case 2: return 'U';
    case 3: return 'E';
    case 4: return 'T';
    case -1:
    case -2: return 'V';
    default: return ' ';
  }
}

// One call of lscore, shared by its steps: its arguments (the caller's
// counts and point by reference), the settings and workspace vectors taken
// from them, and the scalars the iterations carry from one to the next.
struct LsRun {
  // The arguments, in the order of lscore's.
  const std::string_view prbtyp;
  const bool named;
  const std::span<const std::string> names;
  const bool linterm;
  bool& unitQ;
  int& iter;
  const int jhard, nclin, nctotl;
  int& nactiv;
  int& nfree;
  const int nrank;
  int& nZ;
  int& nZ1;
  const int n, ldA, ldR;
  const std::span<int> istates, wslists, kxs;
  double& ctx;
  double& ssq;
  const double ssq1;
  double& suminf;
  int& ninf;
  double& xnorm;
  const std::span<const double> bls, bus, as;
  const std::span<double> mult, axs;
  const std::span<const double> featols;
  const std::span<double> rs, xs, w;
  const Lsloc& loc;
  const Lsctl& ctl;

  // Settings of the call.
  const std::string type{prbtyp.substr(0, 2)};  // "FP", "LP", "QP" or "LS"
  const bool fp = type == "FP";
  const int ldT = loc.ldt, ldZY = loc.ldzy;
  const int nresv = nrank > 0 ? 2 : 0;  // residual vectors the factor updates carry along
  const int ngvec = linterm ? 2 : 1;    // gradient vectors the factor updates carry along
  const double epspt8 = std::pow(wmach(3), 0.8);
  const double epspt9 = std::pow(wmach(3), 0.9);
  const double condlim = wmach(7);  // condition limit of additions: the largest number, so none
  const int iprint = NPOPTS.ils(slot::kPrintFile);

  // Views of the caller's arrays.
  const Vec1<int> istate{istates}, wslist{wslists}, kx{kxs};
  const Vec1<const double> bl{bls}, bu{bus}, featol{featols};
  const Mat1<double> r{rs, ldR};

  // The vectors of the workspace: gq and cq follow each other in gqv, res
  // and res0 in resv.
  const int nres = nrank > 0 ? n : 0;
  const std::span<double> rownorm = wspart(w, loc.rownorm, nclin);
  const std::span<double> ap = wspart(w, loc.ap, nclin);
  const std::span<double> px = wspart(w, loc.px, n);
  const std::span<double> gqv = wspart(w, loc.gq, ngvec * n);
  const std::span<double> gq = gqv.first(static_cast<std::size_t>(n));
  const std::span<double> cq = linterm ? wspart(w, loc.cq, n) : std::span<double>();
  const std::span<double> resv = wspart(w, loc.res, nresv > 0 ? 2 * n : 0);
  const std::span<double> res = wspart(w, loc.res, nres);
  const std::span<double> res0 = wspart(w, loc.res0, nres);
  const std::span<double> hz = wspart(w, loc.hz, nres);
  const std::span<double> wsmult = wspart(w, loc.wsmult, n);
  const std::span<double> t = w.subspan(static_cast<std::size_t>(loc.t - 1));
  const std::span<double> zy = w.subspan(static_cast<std::size_t>(loc.zy - 1));
  const std::span<double> infwt = wspart(w, loc.infwt, nctotl);
  const std::span<double> wrk = wspart(w, loc.wrk, nctotl);

  // Carried from one iteration to the next.
  int itmax = ctl.itmax1;    // iteration limit of the phase
  int phase = 1;             // 1 feasibility, 2 optimality
  int jadd = 0, jdel = 0;    // constraint added, deleted (for the log)
  char kadd = ' ', kdel = ' ';
  int nstuck = 0;            // consecutive steps that do not move x
  double dRzmax = 1.0, dRzmin = 1.0;
  bool prnt = true, newgq = true, firstline = true;
  bool firstv = false, singlr = false, unitgZ = false, uncon = false, hitslow = false;
  int irefn = 0;             // consecutive iterations without a working-set change
  int jtiny = 0, jsmlst = 0, ksmlst = 0, jbigst = 0, kbigst = 0;
  double truemult = 0.0, alfa = 0.0, dinky = 0.0;
  int err = 0;               // 2 unbounded, 4 iteration limit, 5 stuck
  int msglvl = ctl.msglvl;   // print level in force (0 before the debug-start iteration)
  const int msgsav = ctl.msglvl;
};

// The norms of the reduced gradient, of its part in the subspace of Rz and
// of the free gradient.
struct GradNorms {
  double gZnorm, redg1norm, freegnorm;
};

// The direction of one iteration: c'p and |p| in the subspace.
struct Direction {
  double lindir, dirnorm;
};

// Whether the step along p hits a constraint, and the largest step allowed.
struct Step {
  bool ishit;
  double alfabig;
};

// The residual sum of squares and, while feasibility is untested or lost,
// the infeasibilities and the gradient; the optimality phase starts when the
// point is first found feasible.
void recompute_gradient(LsRun& s) {
  if (s.nrank > 0) {
    const double rn = ssq_norm2(s.nrank, s.res.data(), 1);
    s.ssq = 0.5 * (rn * rn + s.ssq1 * s.ssq1);
  }
  if (s.ninf != 0) {
    QPGRAD(s.type, s.linterm, s.singlr, s.unitgZ, s.unitQ, s.n, s.nclin, s.nfree, s.ldA, s.ldZY, s.ldR, s.nrank,
           s.nZ, s.nZ1, s.istates, s.kxs, s.ctl.bigbnd, s.ctl.tolrank, s.ninf, s.suminf, s.bls, s.bus, s.as, s.res,
           s.featols, s.gq, s.cq, s.rs, s.xs, s.infwt, s.zy, s.wrk);
    if (!s.fp && s.ninf == 0 && s.phase == 1) {
      s.itmax = s.iter + s.ctl.itmax2;
      s.phase = 2;
    }
  }
  s.newgq = false;
}

GradNorms gradient_norms(const LsRun& s) {
  GradNorms g;
  g.gZnorm = ssq_norm2(s.nZ, s.gq.data(), 1);
  g.redg1norm = s.nZ1 == s.nZ ? g.gZnorm : ssq_norm2(s.nZ1, s.gq.data(), 1);
  g.freegnorm = (s.nfree > 0 && s.nactiv > 0) ? ssq_norm2(s.nfree, s.gq.data(), 1) : g.gZnorm;
  return g;
}

// Is Rz singular?  While feasible, the extreme diagonals of Rz decide it.
void test_rz_singular(LsRun& s) {
  const Mat1<double>& r = s.r;
  if (s.nZ1 == 0) {
    s.singlr = false;
  } else if (s.ninf <= 0 && s.nZ1 <= s.nrank) {
    AMAXMIN(s.nZ1, std::span<const double>(r.ptr(), static_cast<std::size_t>(1 + (s.nZ1 - 1) * (s.ldR + 1))),
            s.ldR + 1, s.dRzmax, s.dRzmin);
    const double lastrdiag = std::abs(r(s.nZ1, s.nZ1));
    const double rownrm = ssq_norm2(s.n, r.ptr(), s.ldR);
    s.singlr = lastrdiag <= s.dRzmax * s.ctl.tolrank || rownrm <= s.ctl.tolrank ||
               std::abs(r(1, 1)) <= rownrm * s.ctl.tolrank;
  } else {
    s.singlr = true;
  }
}

// The iteration's log line; the constraints added and deleted and the step
// are cleared once shown.
void write_log_line(LsRun& s, const GradNorms& g) {
  bool ovf = false;
  const double condzr = SAFDIV(s.dRzmax, s.dRzmin, ovf);
  const double condtf = s.nactiv > 0 ? SAFDIV(LSCOND.dtmax, LSCOND.dtmin, ovf) : 1.0;
  LsLogLine line;
  line.prbtyp = s.type;
  line.iter = s.iter;
  line.jdel = s.jdel;
  line.kdel = s.kdel;
  line.jadd = s.jadd;
  line.kadd = s.kadd;
  line.step = s.alfa;
  line.ninf = std::max(s.ninf, 0);
  line.objective = s.ninf > 0 ? s.suminf : s.ssq + s.ctx;
  line.gznorm = g.gZnorm;
  line.nzr = s.nZ1;
  line.nart = s.nZ - s.nZ1;
  line.nbnd = s.n - s.nfree;
  line.nlin = s.nactiv;
  line.gfnorm = g.freegnorm;
  line.condt = condtf;
  line.condrz = condzr;
  LogDetail detail;
  detail.n = s.n;
  detail.nclin = s.nclin;
  detail.istate = s.istates;
  detail.x = s.xs;
  detail.ax = s.axs;
  detail.t = Mat1<const double>(s.t.data(), s.ldT, static_cast<std::ptrdiff_t>(s.t.size()));
  detail.nactiv = s.nactiv;
  detail.nfree = s.nfree;
  detail.r = Mat1<const double>(s.rs.data(), s.ldR, static_cast<std::ptrdiff_t>(s.rs.size()));
  detail.nrank = s.nrank;
  LSPRIT(s.msglvl, s.firstline, line, detail);
  s.firstline = false;
  s.jadd = s.jdel = 0;
  s.kadd = s.kdel = ' ';
  s.alfa = 0.0;
  s.prnt = false;
}

// The tolerance below which the reduced gradient counts as zero (0 while
// infeasible); after a full step, whether only the last element of Z'g is
// left.
void set_optimality_tolerance(LsRun& s, const GradNorms& g) {
  if (s.ninf <= 0) {
    const double objmag = 1.0 + std::abs(s.ssq + s.ctx);
    const double wsmag = s.nactiv > 0 ? LSCOND.dtmax : 0.0;
    s.dinky = s.epspt8 * std::max({wsmag, objmag, g.freegnorm});
    if (s.uncon) s.unitgZ = g.redg1norm <= s.dinky;
  } else {
    s.dinky = 0.0;
  }
}

Direction search_direction(LsRun& s) {
  Direction d{0.0, 0.0};
  lsgetp(s.linterm, s.singlr, s.unitgZ, s.unitQ, s.n, s.nclin, s.nfree, s.ldA, s.ldZY, s.ldR, s.nrank, s.ninf,
         s.nZ1, s.kxs, d.lindir, d.dirnorm, s.as, s.ap, s.res, s.hz, s.px, s.gq, s.cq, s.rs, s.zy, s.wrk);
  return d;
}

// The step along p: to the nearest constraint when one blocks the way to
// the minimiser on the subspace (always while Rz is singular), else the
// full step 1 with nothing added.
Step step_to_nearest_constraint(LsRun& s, const Direction& d) {
  bool ovf = false;
  const double alfabig = SAFDIV(s.ctl.bigdx, d.dirnorm, ovf);
  int infalf = 0;
  double alfhit = 0.0, palfa = 0.0, arowphit = 0.0;
  cmalf(s.firstv, s.hitslow, s.istates, infalf, s.jadd, s.n, s.nctotl, s.ninf, alfhit, palfa, arowphit, alfabig,
        s.ctl.bigbnd, d.dirnorm, s.rownorm, s.ap, s.axs, s.bls, s.bus, s.featols, s.px, s.xs);
  s.firstv = false;

  const bool ishit = s.singlr || palfa <= 1.0;
  if (!ishit) {
    s.alfa = 1.0;
    s.jadd = 0;
  } else {
    s.alfa = alfhit;
  }
  return {ishit, alfabig};
}

// The constraint the step hit joins the working set at the bound it hit
// (a general row at the end of wslist, a bound by fixing its variable).
void add_to_working_set(LsRun& s) {
  const int jadd = s.jadd;
  s.istate(jadd) = s.bl(jadd) == s.bu(jadd) ? 3 : (s.hitslow ? 1 : 2);
  int ifix = 0, iadd = 0;
  if (jadd <= s.n) {
    for (int k = 1; k <= s.nfree; ++k)
      if (s.kx(k) == jadd) ifix = k;
  } else {
    iadd = jadd - s.n;
  }
  int infadd = 1;
  if (jadd > s.n || ifix > 0)
    lsadd(s.unitQ, infadd, ifix, iadd, jadd, s.nactiv, s.nZ, s.nfree, s.nrank, s.nresv, s.ngvec, s.n, s.ldA, s.ldZY,
          s.ldR, s.ldT, s.kxs, s.condlim, s.as, s.rs, s.t, s.resv, s.gqv, s.zy, s.wrk, s.px, s.wsmult);
  if (infadd == 0) {
    s.kadd = state_letter(s.istate(jadd));
    --s.nZ1;
    --s.nZ;
    if (jadd > s.n) {
      ++s.nactiv;
      s.wslist(s.nactiv) = iadd;
    } else {
      --s.nfree;
    }
  } else {
    // A constraint the factors cannot take stays out of the working set.
    s.istate(jadd) = 0;
  }
  s.irefn = 0;
}

// Moves x back onto the working set when it has drifted off; true when it
// did (feasibility is then tested again).
bool refine_onto_working_set(LsRun& s) {
  double cviol = 0.0, err1 = 0.0;
  int jmax1 = 0, nviol = 0;
  lsfeas(s.n, s.nclin, s.istates, s.ctl.bigbnd, cviol, err1, jmax1, nviol, s.axs, s.bls, s.bus, s.featols, s.xs,
         s.wrk);
  if (jmax1 < 1 || err1 <= s.featol(jmax1)) return false;
  bool rowerr = false;
  int jmax2 = 0;
  double err2 = 0.0;
  lssetx(s.linterm, rowerr, s.unitQ, s.nclin, s.nactiv, s.nfree, s.nrank, s.nZ, s.n, s.nctotl, s.ldZY, s.ldA, s.ldR,
         s.ldT, s.istates, s.wslists, s.kxs, jmax2, err2, s.ctx, s.xnorm, s.as, s.axs, s.bls, s.bus, s.cq, s.res,
         s.res0, s.featols, s.rs, s.t, s.xs, s.zy, s.px, s.wrk);
  if (LSPRNT.trace && s.iprint > 0)
    runtime::write_fmt(s.iprint,
                       "(' XXX  Iterative refinement.  Maximum errors before and after refinement are ',"
                       "1p,2e14.2)",
                       {err1, err2});
  if (rowerr && s.iprint > 0)
    runtime::write_fmt(s.iprint, "(/' XXX  Warning.  Cannot satisfy the constraints to the accuracy requested.')");
  s.uncon = false;
  s.irefn = 0;
  s.ninf = -1;
  return true;
}

// One iteration away from a stationary point: the direction, the step along
// it, the working-set change and the refinement.  0 once the step is taken,
// otherwise the error that ends the iterations.
int take_step(LsRun& s) {
  if (s.iter >= s.itmax) return 4;
  ++s.irefn;
  ++s.iter;
  if (s.iter == s.ctl.idbg && s.iprint > 0) {
    s.msglvl = s.msgsav;
    LSPRNT.trace = true;
  }

  const Direction d = search_direction(s);
  const Step st = step_to_nearest_constraint(s, d);

  const bool unbndd = s.alfa >= st.alfabig;
  const bool stall = std::abs(s.alfa * d.dirnorm) <= s.epspt9 * s.xnorm;
  s.nstuck = stall ? s.nstuck + 1 : 0;
  if (unbndd) return 2;
  if (s.nstuck > 50) return 5;

  if (s.alfa != 0.0)
    QPMOVE(st.ishit, s.hitslow, s.linterm, s.unitgZ, s.nclin, s.nrank, s.nZ1, s.n, s.ldR, s.jadd, s.ninf, s.alfa,
           d.lindir, s.ctx, s.xnorm, s.ap, s.axs, s.bls, s.bus, s.gq, s.hz, s.px, s.res, s.rs, s.xs, s.wrk);
  s.uncon = !st.ishit;
  if (st.ishit && s.jadd > 0) add_to_working_set(s);
  const bool refined = refine_onto_working_set(s);
  s.newgq = s.alfa != 0.0 || refined;
  s.prnt = true;
  return 0;
}

// The multipliers at a stationary point (all 0 at a feasible point of an FP
// problem) and the constraints they nominate for deletion.
void working_set_multipliers(LsRun& s) {
  s.jdel = 0;
  s.jtiny = s.jsmlst = s.ksmlst = s.jbigst = s.kbigst = 0;
  if (s.fp && s.ninf == 0) {
    for (int k = 1; k <= s.n - s.nZ; ++k) s.wsmult[static_cast<std::size_t>(k - 1)] = 0.0;
  } else {
    lsmuls(s.type, s.msglvl, s.n, s.nactiv, s.nfree, s.ldA, s.ldT, s.ninf, s.nZ, s.nZ1, s.istates, s.wslists, s.kxs,
           s.dinky, s.jsmlst, s.ksmlst, s.jhard, s.jtiny, s.jbigst, s.kbigst, s.truemult, s.as, s.rownorm, s.gq,
           s.wsmult, s.t, s.infwt);
  }
}

// The multiplier test: a constraint with a multiplier of the wrong sign, an
// artificial constraint, or (while infeasible) the row whose release lowers
// the sum of infeasibilities leaves the working set, unless Rz is singular.
// True when one left.
bool delete_from_working_set(LsRun& s) {
  int kdelpos = 0, newstate = 0;
  bool movedoff = false;
  if (s.jsmlst > 0) {
    s.jdel = s.jsmlst;
    kdelpos = s.ksmlst;
  } else if (s.jsmlst < 0) {
    s.jdel = s.jsmlst;
  } else if (s.ninf > 0 && s.jbigst > 0) {
    s.jdel = s.jbigst;
    kdelpos = s.kbigst;
    newstate = s.truemult <= 0.0 ? -1 : -2;
    movedoff = true;
  }
  if (s.jdel != 0 && s.singlr) {
    s.jdel = 0;  // no deletion while Rz is singular: a weak minimum
  } else if (s.jdel != 0) {
    s.kdel = s.jdel > 0 ? state_letter(s.istate(s.jdel)) : 'A';
    if (s.jdel > 0) s.istate(s.jdel) = newstate;
    if (movedoff) {
      s.firstv = true;
      ++s.ninf;
    }
    lsdel(s.unitQ, s.n, s.nactiv, s.nfree, s.nresv, s.ngvec, s.nZ, s.nZ1, s.ldA, s.ldZY, s.ldR, s.ldT, s.nrank, s.jdel,
          kdelpos, s.wslists, s.kxs, s.as, s.resv, s.rs, s.t, s.gqv, s.zy, s.px, s.wrk);
    if (s.jdel < 0) s.jdel = -s.jdel;
  }
  s.irefn = 0;
  return s.jdel != 0;
}

// The exit code of the iterations.
int exit_code(const LsRun& s) {
  if (s.err == 2 || s.err == 4 || s.err == 5) return (s.err == 2 && s.ninf > 0) ? 3 : s.err;
  if (s.ninf > 0) return 3;
  if (!s.fp && (s.jtiny > 0 || s.singlr)) return 1;
  return 0;
}

// The exit line and the solution table, at the print level of the call.
void write_exit(LsRun& s, int inform) {
  s.msglvl = s.msgsav;
  if (s.msglvl > 0 && s.iprint > 0)
    runtime::write_fmt(s.iprint, "(/' Exit from ',a2,' problem after ',i4,' iterations.','  inform =',i3)",
                       {s.type, s.iter, inform});
  PRSOLN(s.msglvl, s.nfree, s.ldA, s.n, s.nclin, s.nctotl, s.ctl.bigbnd, s.named, s.names, s.nactiv, s.istates,
         s.wslists, s.kxs, s.as, s.bls, s.bus, std::span<const double>(), s.mult, s.wsmult, s.xs);
}

}  // namespace

void lscore(std::string_view prbtyp, bool named, std::span<const std::string> names, bool linterm, bool& unitQ,
            int& inform, int& iter, int jhard, int nclin, int nctotl, int& nactiv, int& nfree, int nrank, int& nZ,
            int& nZ1, int n, int ldA, int ldR, std::span<int> istates, std::span<int> wslists, std::span<int> kxs,
            double& ctx, double& ssq, double ssq1, double& suminf, int& ninf, double& xnorm,
            std::span<const double> bls, std::span<const double> bus, std::span<const double> as,
            std::span<double> mult, std::span<double> axs, std::span<const double> featols, std::span<double> rs,
            std::span<double> xs, std::span<double> w, const Lsloc& loc, const Lsctl& ctl) {
  LsRun s{.prbtyp = prbtyp, .named = named, .names = names, .linterm = linterm, .unitQ = unitQ, .iter = iter,
           .jhard = jhard, .nclin = nclin, .nctotl = nctotl, .nactiv = nactiv, .nfree = nfree, .nrank = nrank,
           .nZ = nZ, .nZ1 = nZ1, .n = n, .ldA = ldA, .ldR = ldR, .istates = istates, .wslists = wslists, .kxs = kxs,
           .ctx = ctx, .ssq = ssq, .ssq1 = ssq1, .suminf = suminf, .ninf = ninf, .xnorm = xnorm, .bls = bls,
           .bus = bus, .as = as, .mult = mult, .axs = axs, .featols = featols, .rs = rs, .xs = xs, .w = w,
           .loc = loc, .ctl = ctl};

  // Set-up: feasibility is untested (ninf -1) and the subspace of Rz empty.
  iter = 0;
  ninf = -1;
  nZ1 = 0;
  ssq = 0.0;
  suminf = 0.0;
  if (ctl.idbg > 0 && ctl.idbg <= s.itmax) {
    s.msglvl = 0;
    LSPRNT.trace = false;
  }

  for (;;) {
    if (s.newgq) recompute_gradient(s);
    const GradNorms g = gradient_norms(s);
    test_rz_singular(s);
    if (s.prnt) write_log_line(s, g);
    set_optimality_tolerance(s, g);

    // Stationary on this working set; two iterations in a row without a
    // working-set change count as stationary too.
    const bool isstat = (!s.singlr && g.redg1norm <= s.dinky) || s.irefn > 1;
    if (!isstat) {
      s.err = take_step(s);
      if (s.err == 0) continue;
    }

    // A stationary point, or an error: the multipliers, then the multiplier
    // test unless the iterations ended in an error.
    working_set_multipliers(s);
    if (s.err != 0 || !delete_from_working_set(s)) break;
  }

  inform = exit_code(s);
  write_exit(s, inform);
}
}  // namespace qv::optim
