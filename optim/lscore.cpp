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

}  // namespace

void lscore(std::string_view prbtyp, bool named, std::span<const std::string> names, bool linterm, bool& unitQ,
            int& inform, int& iter, int jhard, int nclin, int nctotl, int& nactiv, int& nfree, int nrank, int& nZ,
            int& nZ1, int n, int ldA, int ldR, std::span<int> istates, std::span<int> wslists, std::span<int> kxs,
            double& ctx, double& ssq, double ssq1, double& suminf, int& ninf, double& xnorm,
            std::span<const double> bls, std::span<const double> bus, std::span<const double> as,
            std::span<double> mult, std::span<double> axs, std::span<const double> featols, std::span<double> rs,
            std::span<double> xs, std::span<double> w, const Lsloc& loc, const Lsctl& ctl) {
  const Vec1<int> istate(istates), wslist(wslists), kx(kxs);
  const Vec1<const double> bl(bls), bu(bus), featol(featols);
  const Mat1<double> r(rs, ldR);
  const std::string type(prbtyp.substr(0, std::min<std::size_t>(2, prbtyp.size())));
  const bool fp = type == "FP";

  const double eps = wmach(3);
  const double flmax = wmach(7);
  const double epspt8 = std::pow(eps, 0.8);
  const double epspt9 = std::pow(eps, 0.9);
  const int iprint = NPOPTS.ils(slot::kPrintFile);
  const int ldT = loc.ldt, ldZY = loc.ldzy;

  const int nresv = nrank > 0 ? 2 : 0;
  const int ngvec = linterm ? 2 : 1;
  const int nres = std::max(nrank, 0) > 0 ? n : 0;

  // The vectors of the workspace.
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

  // Set-up.
  iter = 0;
  int itmax = ctl.itmax1;
  int phase = 1;
  int jadd = 0, jdel = 0;
  char kadd = ' ', kdel = ' ';
  int nstuck = 0;
  ninf = -1;
  nZ1 = 0;
  const double condlim = flmax;
  double dRzmax = 1.0, dRzmin = 1.0;
  ssq = 0.0;
  suminf = 0.0;
  bool prnt = true, newgq = true, firstline = true;
  bool firstv = false, singlr = false, unitgZ = false, uncon = false, hitslow = false;
  int irefn = 0;
  int jtiny = 0, jsmlst = 0, ksmlst = 0, jbigst = 0, kbigst = 0;
  double truemult = 0.0, alfa = 0.0, dinky = 0.0;
  int err = 0;

  int msglvl = ctl.msglvl;
  const int msgsav = msglvl;
  if (ctl.idbg > 0 && ctl.idbg <= itmax) {
    msglvl = 0;
    LSPRNT.trace = false;
  }

  for (;;) {
    if (newgq) {
      if (nrank > 0) {
        const double rn = ssq_norm2(nrank, res.data(), 1);
        ssq = 0.5 * (rn * rn + ssq1 * ssq1);
      }
      if (ninf != 0) {
        QPGRAD(type, linterm, singlr, unitgZ, unitQ, n, nclin, nfree, ldA, ldZY, ldR, nrank, nZ, nZ1, istates, kxs,
               ctl.bigbnd, ctl.tolrank, ninf, suminf, bls, bus, as, res, featols, gq, cq, rs, xs, infwt, zy, wrk);
        if (!fp && ninf == 0 && phase == 1) {
          itmax = iter + ctl.itmax2;
          phase = 2;
        }
      }
      newgq = false;
    }

    // Norms of the reduced and free gradients.
    const double gZnorm = ssq_norm2(nZ, gq.data(), 1);
    const double redg1norm = nZ1 == nZ ? gZnorm : ssq_norm2(nZ1, gq.data(), 1);
    const double freegnorm = (nfree > 0 && nactiv > 0) ? ssq_norm2(nfree, gq.data(), 1) : gZnorm;

    // Is Rz singular?
    if (nZ1 == 0) {
      singlr = false;
    } else if (ninf <= 0 && nZ1 <= nrank) {
      AMAXMIN(nZ1, std::span<const double>(r.ptr(), static_cast<std::size_t>(1 + (nZ1 - 1) * (ldR + 1))), ldR + 1,
              dRzmax, dRzmin);
      const double lastrdiag = std::abs(r(nZ1, nZ1));
      const double rownrm = ssq_norm2(n, r.ptr(), ldR);
      singlr = lastrdiag <= dRzmax * ctl.tolrank || rownrm <= ctl.tolrank ||
               std::abs(r(1, 1)) <= rownrm * ctl.tolrank;
    } else {
      singlr = true;
    }
    bool ovf = false;
    const double condzr = SAFDIV(dRzmax, dRzmin, ovf);
    const double condtf = nactiv > 0 ? SAFDIV(LSCOND.dtmax, LSCOND.dtmin, ovf) : 1.0;

    if (prnt) {
      LsLogLine line;
      line.prbtyp = type;
      line.iter = iter;
      line.jdel = jdel;
      line.kdel = kdel;
      line.jadd = jadd;
      line.kadd = kadd;
      line.step = alfa;
      line.ninf = std::max(ninf, 0);
      line.objective = ninf > 0 ? suminf : ssq + ctx;
      line.gznorm = gZnorm;
      line.nzr = nZ1;
      line.nart = nZ - nZ1;
      line.nbnd = n - nfree;
      line.nlin = nactiv;
      line.gfnorm = freegnorm;
      line.condt = condtf;
      line.condrz = condzr;
      LogDetail detail;
      detail.n = n;
      detail.nclin = nclin;
      detail.istate = istates;
      detail.x = xs;
      detail.ax = axs;
      detail.t = Mat1<const double>(t.data(), ldT, static_cast<std::ptrdiff_t>(t.size()));
      detail.nactiv = nactiv;
      detail.nfree = nfree;
      detail.r = Mat1<const double>(rs.data(), ldR, static_cast<std::ptrdiff_t>(rs.size()));
      detail.nrank = nrank;
      LSPRIT(msglvl, firstline, line, detail);
      firstline = false;
      jadd = jdel = 0;
      kadd = kdel = ' ';
      alfa = 0.0;
      prnt = false;
    }

    // Tolerance on the reduced gradient.
    if (ninf <= 0) {
      const double objmag = 1.0 + std::abs(ssq + ctx);
      const double wsmag = nactiv > 0 ? LSCOND.dtmax : 0.0;
      dinky = epspt8 * std::max({wsmag, objmag, freegnorm});
      if (uncon) unitgZ = redg1norm <= dinky;
    } else {
      dinky = 0.0;
    }

    const bool isstat = (!singlr && redg1norm <= dinky) || irefn > 1;

    if (!isstat) {
      if (iter >= itmax) {
        err = 4;
      } else {
        ++irefn;
        ++iter;
        if (iter == ctl.idbg && iprint > 0) {
          msglvl = msgsav;
          LSPRNT.trace = true;
        }

        double lindir = 0.0, dirnorm = 0.0;
        lsgetp(linterm, singlr, unitgZ, unitQ, n, nclin, nfree, ldA, ldZY, ldR, nrank, ninf, nZ1, kxs, lindir,
               dirnorm, as, ap, res, hz, px, gq, cq, rs, zy, wrk);

        const double alfabig = SAFDIV(ctl.bigdx, dirnorm, ovf);
        int infalf = 0;
        double alfhit = 0.0, palfa = 0.0, arowphit = 0.0;
        cmalf(firstv, hitslow, istates, infalf, jadd, n, nctotl, ninf, alfhit, palfa, arowphit, alfabig, ctl.bigbnd,
              dirnorm, rownorm, ap, axs, bls, bus, featols, px, xs);
        firstv = false;

        const bool ishit = singlr || palfa <= 1.0;
        if (!ishit) {
          alfa = 1.0;
          jadd = 0;
        } else {
          alfa = alfhit;
        }

        const bool unbndd = alfa >= alfabig;
        const bool stall = std::abs(alfa * dirnorm) <= epspt9 * xnorm;
        nstuck = stall ? nstuck + 1 : 0;
        if (unbndd) {
          err = 2;
        } else if (nstuck > 50) {
          err = 5;
        } else {
          if (alfa != 0.0)
            QPMOVE(ishit, hitslow, linterm, unitgZ, nclin, nrank, nZ1, n, ldR, jadd, ninf, alfa, lindir, ctx, xnorm, ap,
                   axs, bls, bus, gq, hz, px, res, rs, xs, wrk);
          uncon = !ishit;

          if (ishit && jadd > 0) {
            istate(jadd) = bl(jadd) == bu(jadd) ? 3 : (hitslow ? 1 : 2);
            int ifix = 0, iadd = 0;
            if (jadd <= n) {
              for (int k = 1; k <= nfree; ++k)
                if (kx(k) == jadd) ifix = k;
            } else {
              iadd = jadd - n;
            }
            int infadd = 1;
            if (jadd > n || ifix > 0)
              lsadd(unitQ, infadd, ifix, iadd, jadd, nactiv, nZ, nfree, nrank, nresv, ngvec, n, ldA, ldZY, ldR, ldT,
                    kxs, condlim, as, rs, t, resv, gqv, zy, wrk, px, wsmult);
            if (infadd == 0) {
              kadd = state_letter(istate(jadd));
              --nZ1;
              --nZ;
              if (jadd > n) {
                ++nactiv;
                wslist(nactiv) = iadd;
              } else {
                --nfree;
              }
            } else {
              // A constraint the factors cannot take stays out of the working set.
              istate(jadd) = 0;
            }
            irefn = 0;
          }

          // Move x back onto the working set when it has drifted off.
          double cviol = 0.0, err1 = 0.0;
          int jmax1 = 0, nviol = 0;
          lsfeas(n, nclin, istates, ctl.bigbnd, cviol, err1, jmax1, nviol, axs, bls, bus, featols, xs, wrk);
          bool refined = false;
          if (jmax1 >= 1 && err1 > featol(jmax1)) {
            bool rowerr = false;
            int jmax2 = 0;
            double err2 = 0.0;
            lssetx(linterm, rowerr, unitQ, nclin, nactiv, nfree, nrank, nZ, n, nctotl, ldZY, ldA, ldR, ldT, istates,
                   wslists, kxs, jmax2, err2, ctx, xnorm, as, axs, bls, bus, cq, res, res0, featols, rs, t, xs, zy,
                   px, wrk);
            if (LSPRNT.trace && iprint > 0)
              runtime::write_fmt(iprint,
                                 "(' XXX  Iterative refinement.  Maximum errors before and after refinement are ',"
                                 "1p,2e14.2)",
                                 {err1, err2});
            if (rowerr && iprint > 0)
              runtime::write_fmt(iprint, "(/' XXX  Warning.  Cannot satisfy the constraints to the accuracy requested.')");
            uncon = false;
            irefn = 0;
            ninf = -1;
            refined = true;
          }
          newgq = alfa != 0.0 || refined;
          prnt = true;
          continue;
        }
      }
    }

    // A stationary point, or an error: the multipliers.
    jdel = 0;
    jtiny = jsmlst = ksmlst = jbigst = kbigst = 0;
    if (fp && ninf == 0) {
      for (int k = 1; k <= n - nZ; ++k) wsmult[static_cast<std::size_t>(k - 1)] = 0.0;
    } else {
      lsmuls(type, msglvl, n, nactiv, nfree, ldA, ldT, ninf, nZ, nZ1, istates, wslists, kxs, dinky, jsmlst, ksmlst,
             jhard, jtiny, jbigst, kbigst, truemult, as, rownorm, gq, wsmult, t, infwt);
    }
    if (err != 0) break;

    int kdelpos = 0, newstate = 0;
    bool movedoff = false;
    if (jsmlst > 0) {
      jdel = jsmlst;
      kdelpos = ksmlst;
    } else if (jsmlst < 0) {
      jdel = jsmlst;
    } else if (ninf > 0 && jbigst > 0) {
      jdel = jbigst;
      kdelpos = kbigst;
      newstate = truemult <= 0.0 ? -1 : -2;
      movedoff = true;
    }
    if (jdel != 0 && singlr) {
      jdel = 0;  // no deletion while Rz is singular: a weak minimum
    } else if (jdel != 0) {
      kdel = jdel > 0 ? state_letter(istate(jdel)) : 'A';
      if (jdel > 0) istate(jdel) = newstate;
      if (movedoff) {
        firstv = true;
        ++ninf;
      }
      lsdel(unitQ, n, nactiv, nfree, nresv, ngvec, nZ, nZ1, ldA, ldZY, ldR, ldT, nrank, jdel, kdelpos, wslists, kxs,
            as, resv, rs, t, gqv, zy, px, wrk);
      if (jdel < 0) jdel = -jdel;
    }
    irefn = 0;
    if (jdel == 0) break;
  }

  if (err == 2 || err == 4 || err == 5) {
    inform = (err == 2 && ninf > 0) ? 3 : err;
  } else if (ninf > 0) {
    inform = 3;
  } else if (!fp && (jtiny > 0 || singlr)) {
    inform = 1;
  } else {
    inform = 0;
  }

  msglvl = msgsav;
  if (msglvl > 0 && iprint > 0)
    runtime::write_fmt(iprint, "(/' Exit from ',a2,' problem after ',i4,' iterations.','  inform =',i3)",
                       {type, iter, inform});
  PRSOLN(msglvl, nfree, ldA, n, nclin, nctotl, ctl.bigbnd, named, names, nactiv, istates, wslists, kxs, as, bls, bus,
         std::span<const double>(), mult, wsmult, xs);
}
}  // namespace qv::optim
