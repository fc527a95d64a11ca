#include "optim/lsqps.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

#include "optkern/blas.hpp"
#include "optim/facutil.hpp"
#include "optkern/kernels.hpp"
#include "optkern/machine.hpp"
#include "optim/options.hpp"
#include "optim/qrkit.hpp"
#include "optim/workset.hpp"
#include "optim/wsutil.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

extern "C" {
void dsyr_(const char* uplo, const int* n, const double* alpha, const double* x, const int* incx, double* a,
           const int* lda, std::size_t);
}

namespace qv::optim {
namespace {

using runtime::Mat1;
using runtime::Vec1;

constexpr std::string_view kTitle = "SOL/LSQPS  ---  Version 1.05-2  April 93";

// The two-character type of the iterations for a type index 1..10.
std::string_view iteration_type(int itype) {
  if (itype == 1) return "FP";
  if (itype == 2) return "LP";
  if (itype <= 6) return "QP";
  return "LS";
}

bool has_linear_term(int itype) { return itype % 2 == 0; }
bool is_qp(int itype) { return itype >= 3 && itype <= 6; }
bool is_ls(int itype) { return itype >= 7; }

// Orders of the working-set factors: whether a vertex is asked for, the
// leading dimensions of Q and T and the columns of T.
struct QpDims {
  bool vertex = false;
  int ldzy = 1, ldt = 1, tcols = 1;
};

QpDims qp_dims(int itype, int n, int nclin) {
  QpDims d;
  if (nclin == 0) return d;
  d.vertex = itype <= 2 && nclin < n;
  const int maxfree = d.vertex ? nclin + 1 : n;
  const int maxact = std::max(1, std::min(n, nclin));
  d.ldzy = std::max(1, maxfree);
  d.ldt = std::max(maxact, maxfree);
  d.tcols = maxfree;
  return d;
}

// Sum of the violations of the bounds and general constraints beyond their
// tolerances.
double sum_infeasibilities(int n, int nclin, double bigbnd, std::span<const double> bls,
                           std::span<const double> bus, std::span<const double> featols, std::span<const double> xs,
                           std::span<const double> axs) {
  const Vec1<const double> bl(bls), bu(bus), featol(featols), x(xs), ax(axs);
  double sum = 0.0;
  for (int j = 1; j <= n + nclin; ++j) {
    const double con = j <= n ? x(j) : ax(j - n);
    if (bl(j) > -bigbnd && bl(j) - con > featol(j))
      sum += bl(j) - con;
    else if (bu(j) < bigbnd && con - bu(j) > featol(j))
      sum += con - bu(j);
  }
  return sum;
}

}  // namespace

void QPWSPC(int itype, int n, int nclin, int& litotl, int& lwtotl) {
  Lsloc& l = LSQPST.loc;
  const QpDims d = qp_dims(itype, n, nclin);
  const int lenq = is_qp(itype) || is_ls(itype) ? n : 0;
  const int lenc = has_linear_term(itype) ? n : 0;

  l.wslist = litotl + 1;
  litotl += n;

  int next = lwtotl + 1;
  auto take = [&next](int len) {
    const int at = next;
    next += std::max(len, 0);
    return at;
  };
  l.rownorm = take(nclin);
  l.ap = take(nclin);
  l.px = take(n);
  l.gq = take(n);
  l.cq = take(lenc);
  l.res = take(lenq);
  l.res0 = take(lenq);
  l.hz = take(lenq);
  l.wsmult = take(n);
  l.t = take(nclin > 0 ? d.ldt * d.tcols : 0);
  l.zy = take(nclin > 0 ? d.ldzy * d.ldzy : 0);
  l.infwt = take(n + nclin);
  l.wrk = take(n + nclin);
  l.featol = take(n + nclin);
  l.ax = take(nclin);
  l.ldt = d.ldt;
  l.ldzy = d.ldzy;
  l.tcols = d.tcols;
  lwtotl = next - 1;
}

void PIVCHOL(int ldH, int n, int& nrank, double ranktol, std::span<int> kxs, std::span<double> hs, int& inform) {
  const Mat1<double> h(hs, ldH);
  const Vec1<int> kx(kxs);
  inform = 0;
  nrank = 0;
  if (n <= 0) return;

  double dmax = 0.0;
  bool stopped = false;
  for (int j = 1; j <= n; ++j) {
    // The largest remaining diagonal element, first on ties.
    int kmax = j;
    dmax = h(j, j);
    for (int k = j + 1; k <= n; ++k)
      if (h(k, k) > dmax) {
        dmax = h(k, k);
        kmax = k;
      }
    if (kmax != j) {
      // Symmetric interchange of rows and columns j and kmax in the upper
      // triangle (the rows already factorized swap their columns).
      const int p = kmax;
      for (int i = 1; i < j; ++i) std::swap(h(i, j), h(i, p));
      for (int i = j + 1; i < p; ++i) std::swap(h(j, i), h(i, p));
      for (int i = p + 1; i <= n; ++i) std::swap(h(j, i), h(p, i));
      std::swap(h(j, j), h(p, p));
      std::swap(kx(j), kx(p));
    }
    if (dmax <= ranktol * std::abs(h(1, 1))) {
      stopped = true;
      break;
    }
    const double d = std::sqrt(dmax);
    h(j, j) = d;
    const int m = n - j;
    if (m > 0) {
      const double rd = 1.0 / d;
      dscal_(&m, &rd, h.ptr(j, j + 1), &ldH);
      const char uplo = 'U';
      const double minus = -1.0;
      dsyr_(&uplo, &m, &minus, h.ptr(j, j + 1), &ldH, h.ptr(j + 1, j + 1), &ldH, 1);
    }
    ++nrank;
  }

  if (stopped) {
    double offmax = 0.0;
    for (int jj = nrank + 2; jj <= n; ++jj)
      for (int i = nrank + 1; i < jj; ++i) offmax = std::max(offmax, std::abs(h(i, jj)));
    if (offmax > ranktol * std::abs(h(1, 1))) {
      inform = 1;
      const int iprint = NPOPTS.ils(slot::kPrintFile);
      if (iprint > 0)
        runtime::write_fmt(iprint,
                           "(/' XXX  Hessian appears to be indefinite.'"
                           "/' XXX  Maximum diagonal and off-diagonal ignored in the Cholesky factorization:'"
                           "/1p,2e22.14)",
                           {dmax, offmax});
    }
  }
}

void QPDEFS(int mm, int n, int nclin, std::string_view title) {
  std::string key;
  LSOPTL(0, "*", key);  // the first-call reset of the QP solver's slots has happened

  Npopts& o = NPOPTS;
  namespace sl = slot;
  LSQPST.iprmls = o.iprmls;
  LSQPST.rprmls = o.rprmls;

  const double eps = wmach(3);
  const double big = 9.9999e19;

  int& iprint = o.ils(sl::kPrintFile);
  int& isumm = o.ils(sl::kSummaryFile);
  if (iprint < 0) iprint = runtime::kStdout;
  if (isumm < 0) isumm = runtime::kStdout;
  if (isumm == iprint) isumm = 0;

  int& itype = o.ils(sl::kProblemType);
  if (itype < 1 || itype > 10) itype = 7;
  int& start = o.ils(sl::kStart);
  if (start < 0 || start > 2) start = 0;

  int& itmax1 = o.ils(sl::kFeasPhaseIterations);
  int& itmax2 = o.ils(sl::kMinorIterations);
  const int itdef = std::max(50, 5 * (n + nclin));
  if (itmax1 < 0) itmax1 = itdef;
  if (itmax2 < 0) itmax2 = itdef;

  int& msglvl = o.ils(sl::kMinorPrintLevel);
  if (msglvl == kUnsetInt) msglvl = 10;
  int& lsdbg = o.ils(sl::kMinorDebugLevel);
  if (lsdbg < 0) lsdbg = 0;
  int& idbg = o.ils(sl::kLsDebugIteration);
  if (idbg < 0 || (idbg > itmax1 && idbg > itmax2)) idbg = 0;
  if (lsdbg == 0) idbg = itmax1 + itmax2 + 1;

  double& tolact = o.rls(sl::kCrashTol);
  if (tolact <= 0.0) tolact = 0.01;
  double& tolfea = o.rls(sl::kLinearFeasTol);
  if (tolfea <= 0.0) tolfea = std::sqrt(eps);
  double& tolrank = o.rls(sl::kRankTol);
  if (tolrank <= 0.0) tolrank = (itype == 5 || itype == 7 || itype == 9) ? 100.0 * eps : 10.0 * std::sqrt(eps);
  double& bigbnd = o.rls(sl::kInfiniteBound);
  if (bigbnd <= 0.0) bigbnd = big;
  double& bigdx = o.rls(sl::kInfiniteStep);
  if (bigdx <= 0.0) bigdx = std::max(bigbnd, big);

  int b = lsdbg;
  for (int i = 0; i < 5; ++i) {
    o.lsdbg[static_cast<std::size_t>(i)] = b % 10;
    b /= 10;
  }

  if (msglvl > 0 && iprint > 0) {
    const std::size_t nblank = (81 - std::min<std::size_t>(title.size(), 80)) / 2 + 1;
    runtime::write_fmt(iprint, "(/a/)", {std::string(nblank, ' ') + std::string(title)});
    const std::string_view words = "coldwarmhot ";
    const std::string_view sw = words.substr(static_cast<std::size_t>(4 * start), 4);
    const std::string_view tw = kLsTypeWords.substr(static_cast<std::size_t>(3 * (itype - 1)), 3);
    runtime::write_fmt(iprint, "(//' Parameters'/' ----------')");
    runtime::write_fmt(iprint, "(/' Problem type...........',7x,a3)", {tw});
    runtime::write_fmt(iprint,
                       "(/' Linear constraints.....',i10,6x,' Feasibility tolerance..',1p,e10.2,6x,1x,a4,"
                       "' start.............'/' Variables..............',i10,6x,' Infinite bound size....',"
                       "1p,e10.2,6x,' Crash tolerance........',e10.2/' Objective matrix rows..',i10,6x,"
                       "' Infinite step size.....',1p,e10.2,6x,' Rank tolerance.........',e10.2)",
                       {nclin, tolfea, sw, n, bigbnd, tolact, mm, bigdx, tolrank});
    runtime::write_fmt(iprint,
                       "(/' Print level............',i10,6x,' Print file.............',i10,6x,"
                       "' Feasibility phase itns.',i10/' eps (machine precision)',1p,e10.2,6x,"
                       "' Summary file...........',i10,6x,' Optimality  phase itns.',i10)",
                       {msglvl, iprint, itmax1, eps, isumm, itmax2});
  }
}

void LSQPS(int mm, int n, int nclin, int ldA, int ldR, std::span<const double> as, std::span<const double> bls,
           std::span<const double> bus, std::span<const double> cvecs, std::span<int> istates, std::span<int> kxs,
           std::span<double> xs, std::span<double> rs, std::span<double> bs, int& inform, int& iter, double& obj,
           std::span<double> mult, std::span<int> iw, int leniw, std::span<double> w, int lenw) {
  MCHSET();
  const double eps = wmach(3);
  const double epspt5 = wmach(4);
  inform = 0;
  iter = 0;
  obj = 0.0;
  const double condlim = std::max(1.0 / epspt5, 100.0);

  QPDEFS(mm, n, nclin, kTitle);
  Npopts& o = NPOPTS;
  namespace sl = slot;
  const int itype = o.ils(sl::kProblemType);
  const std::string_view prbtyp = iteration_type(itype);
  const bool linterm = has_linear_term(itype);
  const int iprint = o.ils(sl::kPrintFile);
  const int isumm = o.ils(sl::kSummaryFile);
  const int msglvl = o.ils(sl::kMinorPrintLevel);
  const int start = o.ils(sl::kStart);
  const int lsdbg = o.ils(sl::kMinorDebugLevel);
  const int idbg = o.ils(sl::kLsDebugIteration);
  const double tolfea = o.rls(sl::kLinearFeasTol);
  const double tolrank = o.rls(sl::kRankTol);
  const double tolact = o.rls(sl::kCrashTol);
  const double bigbnd = o.rls(sl::kInfiniteBound);
  const double bigdx = o.rls(sl::kInfiniteStep);
  LSPRNT.iprint = iprint;
  LSPRNT.trace = lsdbg != 0 && idbg == 0;

  auto restore_options = [&o]() {
    o.iprmls = LSQPST.iprmls;
    o.rprmls = LSQPST.rprmls;
  };
  auto both = [iprint, isumm](std::string_view fmt, std::initializer_list<runtime::Out> items) {
    for (int unit : {iprint, isumm})
      if (unit > 0) runtime::write_fmt(unit, fmt, items);
  };

  // Workspace and input checks.
  const QpDims dims = qp_dims(itype, n, nclin);
  int litotl = 0, lwtotl = 0;
  QPWSPC(itype, n, nclin, litotl, lwtotl);
  const Lsloc& loc = LSQPST.loc;
  const int nctotl = n + nclin;
  // A length beyond the array given counts as the array's own length.
  leniw = std::min<int>(leniw, static_cast<int>(iw.size()));
  lenw = std::min<int>(lenw, static_cast<int>(w.size()));
  int nerror = 0;
  CHKINP(nerror, msglvl, start, false, leniw, lenw, litotl, lwtotl, n, nclin, 0, istates, kxs, false, {}, bigbnd, bls,
         bus);
  const int ldrneed = std::max({1, is_ls(itype) ? mm : 0, (is_qp(itype) || is_ls(itype)) ? n : 0});
  if (ldA < std::max(1, nclin) || ldR < ldrneed || (is_ls(itype) && mm < 1)) {
    ++nerror;
    if (iprint > 0)
      runtime::write_fmt(iprint, "(/' XXX  The dimensions of A or R are too small:  ldA =',i8,'   ldR =',i8,'   mm =',i8)",
                         {ldA, ldR, mm});
  }
  if (nerror > 0) {
    inform = 6;
    if (msglvl > 0)
      both("(/' Exit LSQPS - ',i10,' errors found in the input parameters.  Problem abandoned.')", {nerror});
    restore_options();
    return;
  }

  const Vec1<int> kx(kxs);
  const Vec1<double> x(xs), b(bs);
  const Mat1<double> r(rs, ldR);
  const Mat1<const double> a(as, ldA);
  const std::span<int> wslist = iw.subspan(static_cast<std::size_t>(loc.wslist - 1), static_cast<std::size_t>(n));
  const std::span<double> rownorm = wspart(w, loc.rownorm, nclin);
  const std::span<double> px = wspart(w, loc.px, n);
  const std::span<double> gqv = wspart(w, loc.gq, (linterm ? 2 : 1) * n);
  const std::span<double> cq = linterm ? wspart(w, loc.cq, n) : std::span<double>();
  const int nq = (is_qp(itype) || is_ls(itype)) ? n : 0;
  const std::span<double> resv = wspart(w, loc.res, 2 * nq);
  const std::span<double> res = wspart(w, loc.res, nq);
  const std::span<double> res0 = wspart(w, loc.res0, nq);
  const std::span<double> hz = wspart(w, loc.hz, nq);
  const std::span<double> wsmult = wspart(w, loc.wsmult, n);
  const std::span<double> t = w.subspan(static_cast<std::size_t>(loc.t - 1));
  const std::span<double> zy = w.subspan(static_cast<std::size_t>(loc.zy - 1));
  const std::span<double> infwt = wspart(w, loc.infwt, nctotl);
  const std::span<double> wrk = wspart(w, loc.wrk, nctotl);
  const std::span<double> featol = wspart(w, loc.featol, nctotl);
  const std::span<double> ax = wspart(w, loc.ax, nclin);

  // Tolerances, weights and the row norms of A.
  std::fill(featol.begin(), featol.end(), tolfea);
  std::fill(infwt.begin(), infwt.end(), 1.0);
  for (int i = 1; i <= nclin; ++i) rownorm[static_cast<std::size_t>(i - 1)] = ssq_norm2(n, a.ptr(i, 1), ldA);
  if (nclin > 0) {
    double amax = 0.0, amin = 0.0;
    AMAXMIN(nclin, rownorm, 1, amax, amin);
    LSCOND.asize = amax;
    LSCOND.dtmax = amax;
    LSCOND.dtmin = amin;
  } else {
    LSCOND.asize = 0.0;
    LSCOND.dtmax = 1.0;
    LSCOND.dtmin = 1.0;
  }

  // The objective's factor; the variables are taken in the order of kx.
  for (int k = 1; k <= n; ++k) kx(k) = k;
  int nrank = 0;
  double ssq1 = 0.0;
  if (is_qp(itype)) {
    for (int j = 1; j <= n; ++j)
      for (int i = j + 1; i <= n; ++i) r(i, j) = 0.0;
    int infchol = 0;
    PIVCHOL(ldR, n, nrank, tolrank, kxs, rs, infchol);
    for (int j = 1; j <= n; ++j)
      for (int i = nrank + 1; i <= j; ++i) r(i, j) = 0.0;
    for (int i = 1; i <= nrank; ++i) res0[static_cast<std::size_t>(i - 1)] = 0.0;
  } else if (is_ls(itype)) {
    const std::span<int> perm = wslist;  // free until the working set is chosen
    const std::span<double> zeta = wsmult;
    const std::span<double> qrwork = wspart(w, loc.px, 2 * n);  // px and gq
    int infqr = 0;
    QRFACT("Column iterchanges", mm, n, rs, ldR, zeta, perm, qrwork, infqr);
    const int kmax = std::min(mm, n);
    for (int k = 1; k <= kmax; ++k) {
      const int p = perm[static_cast<std::size_t>(k - 1)];
      if (p != k) std::swap(kx(k), kx(p));
    }
    HHAPPQ("Transpose", "Separate", mm, kmax, rs, ldR, zeta, 1, bs, std::max(1, mm), hz, infqr);
    double dmax = 0.0;
    for (int k = 1; k <= kmax; ++k) dmax = std::max(dmax, std::abs(r(k, k)));
    while (nrank < kmax && std::abs(r(nrank + 1, nrank + 1)) > tolrank * dmax) ++nrank;
    // Keep the leading nrank rows of the triangle; the rest is dropped.
    for (int j = 1; j <= n; ++j)
      for (int i = nrank + 1; i <= std::min(ldR, std::max(mm, n)); ++i)
        if (i <= ldR) r(i, j) = 0.0;
    for (int i = 1; i <= nrank; ++i) res0[static_cast<std::size_t>(i - 1)] = b(i);
    ssq1 = ssq_norm2(mm - nrank, b.ptr(nrank + 1), 1);
  }
  if (msglvl > 0 && iprint > 0 && nrank < n && (is_qp(itype) || is_ls(itype)))
    runtime::write_fmt(iprint, "(/' Rank of the objective function data matrix = ',i5)", {nrank});
  for (int i = 1; i <= nrank; ++i) res[static_cast<std::size_t>(i - 1)] = res0[static_cast<std::size_t>(i - 1)];
  const int nresv = nrank > 0 ? 2 : 0;

  // The working set.
  int nactiv = 0, nartif = 0, nfree = n;
  lscrsh(start == 0, dims.vertex, nclin, nctotl, nactiv, nartif, nfree, n, ldA, istates, wslist, bigbnd, tolact, as, ax,
         bls, bus, xs, px, wsmult);
  const int ngen = nactiv;
  bool unitQ = true;
  nfree = n;
  int nZ = n;
  const Vec1<int> istate(istates);
  for (int j = n; j >= 1; --j) {
    if (istate(j) < 1 || istate(j) > 4) continue;
    int pos = 0;
    for (int k = 1; k <= nfree; ++k)
      if (kx(k) == j) pos = k;
    if (pos == 0) continue;
    if (ngen > 0) {
      int infadd = 0;
      lsadd(unitQ, infadd, pos, 0, j, 0, nZ, nfree, nrank, nresv, 0, n, ldA, dims.ldzy, ldR, dims.ldt, kxs, condlim,
            as, rs, t, resv, gqv, zy, wrk, px, wsmult);
    } else if (pos < nfree) {
      std::swap(kx(pos), kx(nfree));
      if (nrank > 0) FACMOV(n, nresv, nrank, ldR, pos, nfree, rs, resv, px, wsmult);
    }
    --nfree;
    --nZ;
  }
  std::fill(gqv.begin(), gqv.end(), 0.0);
  if (linterm) {
    std::copy(cvecs.begin(), cvecs.begin() + n, cq.begin());
    FACMUL(6, n, nZ, nfree, dims.ldzy, unitQ, kxs, cq, zy, wrk);
  }
  nactiv = 0;
  int infws = 0, nrej = 0;
  WSFACT(unitQ, dims.vertex, infws, 1, ngen, nactiv, nartif, nZ, nfree, nrank, nrej, nresv, linterm ? 2 : 1, n,
         dims.ldzy, ldA, ldR, dims.ldt, istates, wslist, kxs, condlim, as, rs, t, resv, gqv, zy, wrk, px, wsmult);

  bool rowerr = false;
  int jmax = 0;
  double errmax = 0.0, ctx = 0.0, xnorm = 0.0;
  lssetx(linterm, rowerr, unitQ, nclin, nactiv, nfree, nrank, nZ, n, nctotl, dims.ldzy, ldA, ldR, dims.ldt, istates,
         wslist, kxs, jmax, errmax, ctx, xnorm, as, ax, bls, bus, cq, res, res0, featol, rs, t, xs, zy, px, wrk);

  bool feasible = true;
  if (rowerr) {
    if (iprint > 0)
      runtime::write_fmt(iprint, "(/' XXX  Cannot satisfy the working-set constraints to the accuracy requested.')");
    inform = 3;
    feasible = false;
    obj = sum_infeasibilities(n, nclin, bigbnd, bls, bus, featol, xs, ax);
  } else {
    Lsctl ctl;
    ctl.itmax1 = o.ils(sl::kFeasPhaseIterations);
    ctl.itmax2 = o.ils(sl::kMinorIterations);
    ctl.msglvl = msglvl;
    ctl.idbg = idbg;
    ctl.bigbnd = bigbnd;
    ctl.bigdx = bigdx;
    ctl.tolrank = tolrank;
    int nZ1 = 0, ninf = 0;
    double ssq = 0.0, suminf = 0.0;
    lscore(prbtyp, false, {}, linterm, unitQ, inform, iter, nctotl, nclin, nctotl, nactiv, nfree, nrank, nZ, nZ1, n,
           ldA, ldR, istates, wslist, kxs, ctx, ssq, ssq1, suminf, ninf, xnorm, bls, bus, as, mult, ax, featol, rs, xs, w,
           loc, ctl);
    feasible = ninf <= 0;
    obj = feasible ? ssq + ctx : suminf;
    if (is_ls(itype))
      for (int i = 1; i <= nrank; ++i) b(i) = res[static_cast<std::size_t>(i - 1)];
  }

  if (msglvl > 0) {
    const std::string type(prbtyp);
    switch (inform) {
      case 0:
        if (prbtyp == "FP")
          both("(/' Exit LSQPS - Feasible point found.     ')", {});
        else
          both("(/' Exit LSQPS - Optimal ',a2,' solution.')", {type});
        break;
      case 1: both("(/' Exit LSQPS - Weak ',a2,' solution.')", {type}); break;
      case 2: both("(/' Exit LSQPS - ',a2,' solution is unbounded.')", {type}); break;
      case 3: both("(/' Exit LSQPS - Cannot satisfy the linear constraints. ')", {}); break;
      case 4: both("(/' Exit LSQPS - Too many iterations.')", {}); break;
      default: both("(/' Exit LSQPS - Too many iterations without changing X.')", {}); break;
    }
    if (feasible) {
      if (prbtyp != "FP") both("(/' Final ',a2,' objective value =',g16.7)", {type, obj});
    } else if (inform == 3) {
      both("(/' Minimum sum of infeasibilities =',g16.7)", {obj});
    } else {
      both("(/' Final sum of infeasibilities =',g16.7)", {obj});
    }
  }
  (void)eps;
  restore_options();
}

}  // namespace qv::optim
