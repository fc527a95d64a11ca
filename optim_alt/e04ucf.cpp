// The edition's driver E04UCF: set-up, start, major iterations and exit.
#include "optim_alt/e04ucf.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string_view>

#include "numlib/errexit.hpp"
#include "optim/facutil.hpp"
#include "optim/lscore.hpp"
#include "optim/npiqp.hpp"
#include "optim/options.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/derivset.hpp"
#include "optim_alt/major.hpp"
#include "optim_alt/merit.hpp"
#include "optim_alt/nlwset.hpp"
#include "optim_alt/options.hpp"
#include "optim_alt/qpsolve.hpp"
#include "optim_alt/qrfact.hpp"
#include "optim_alt/qrpivot.hpp"
#include "optim_alt/records.hpp"
#include "optim_alt/wksp.hpp"
#include "optkern/kernels.hpp"
#include "optkern/rotations.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

using namespace optkern;
using runtime::Mat1;

namespace {

constexpr std::string_view kTitle = " *** E04UCF";

// The caller's arguments.
struct Args {
  int n, nclin, nnlcon, lda, ldjac, ldrfac;
  std::span<const double> alin, blow, bupp;
  const optim::Cnlfun& cnlfun;
  const optim::Objfun& objfun;
  std::span<int> istate;
  std::span<double> cnlval, cnljac, xmult;
  double& fobj;
  std::span<double> gobj, rfac, x;
  std::span<int> iw;
  int niw;
  std::span<double> w;
  int nw;
  std::span<int> iusr;
  std::span<double> rusr;
};

// One run: sizes, the state of the set-up and the working set it leaves.
struct Run {
  int n = 0, nclin = 0, nnlcon = 0;
  int nplin = 0, nctotl = 0, ncqp = 0, ldaqp = 1, ldcj = 1;
  int nout = 0;
  int nerror = 0;
  int inflp = 0;        // result of the linear feasibility phase
  double suminf = 0.0;  // its sum of infeasibilities
  bool checked = false;     // the derivatives were checked before the start
  bool derivs_set = false;  // the internal gradient and Jacobian hold values
  bool ws_formed = false;   // the working set and its factors are in the workspace
  int kfirst = 1;
  double dxchk = 0.0;
  // The working set.
  bool unitq = true;
  int nactiv = 0, nfree = 0, nz = 0, nrank = 0;
  // Derivatives and counters.
  int lvlder = 3, nfun = 0, ngrad = 0;
  double fdnorm = 0.0, xnorm = 0.0;
  double rfrobn = 0.0;
  // Layout of the workspaces.
  optim::Npwloc loc;
  int tlen = 0, zylen = 0;  // words of T and Q

  bool cold() const { return E4WORK.start == 0; }
  bool hot() const { return E4WORK.start == 2; }
};

// The len words of w from its 1-based word at.
std::span<double> wsp(const Args& a, int at, int len) {
  return a.w.subspan(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(std::max(len, 0)));
}
std::span<int> isp(const Args& a, int at, int len) {
  return a.iw.subspan(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(std::max(len, 0)));
}

// Dimensions and array lengths that would make the run read outside its
// arrays: each is one input error, reported before any array is read.
int check_sizes(int nout, int msglvl, const Args& a) {
  const int n = a.n, nclin = a.nclin, nnlcon = a.nnlcon;
  int nerror = 0;
  auto bad = [&](std::string_view what, long long value) {
    ++nerror;
    if (msglvl >= 0) put_records(nout, "(/' XXX  ',a,' is out of range...',i16)", {what, value});
  };
  if (n < 1) bad("N     ", n);
  if (nclin < 0) bad("NCLIN ", nclin);
  if (nnlcon < 0) bad("NCNLN ", nnlcon);
  if (a.lda < std::max(1, nclin)) bad("LDA   ", a.lda);
  if (a.ldjac < std::max(1, nnlcon)) bad("LDCJ  ", a.ldjac);
  if (a.ldrfac < n) bad("LDR   ", a.ldrfac);
  if (a.niw < 0) bad("LIWORK", a.niw);
  if (a.nw < 0) bad("LWORK ", a.nw);
  if (nerror > 0) return nerror;

  auto shortarr = [&](std::string_view what, std::size_t have, long long need) {
    if (need > 0 && static_cast<long long>(have) < need) {
      ++nerror;
      if (msglvl >= 0) put_records(nout, "(/' XXX  Array ',a,' is shorter than required...',i16)", {what, need});
    }
  };
  const long long nn = n;
  const long long nctotl = nn + nclin + nnlcon;
  shortarr("A     ", a.alin.size(), nclin > 0 ? static_cast<long long>(a.lda) * nn : 0);
  shortarr("BL    ", a.blow.size(), nctotl);
  shortarr("BU    ", a.bupp.size(), nctotl);
  shortarr("ISTATE", a.istate.size(), nctotl);
  shortarr("C     ", a.cnlval.size(), nnlcon);
  shortarr("CJAC  ", a.cnljac.size(), nnlcon > 0 ? static_cast<long long>(a.ldjac) * nn : 0);
  shortarr("CLAMDA", a.xmult.size(), nctotl);
  shortarr("OBJGRD", a.gobj.size(), nn);
  shortarr("R     ", a.rfac.size(), static_cast<long long>(a.ldrfac) * nn);
  shortarr("X     ", a.x.size(), nn);
  shortarr("IWORK ", a.iw.size(), a.niw);
  shortarr("WORK  ", a.w.size(), a.nw);
  return nerror;
}

// A hot start takes the working set of the last run: it must be of the same
// problem sizes, and its list of general constraints must name rows of the
// QP matrix.
int check_hot_working_set(const Run& r, const Args& a) {
  const E4hot& h = E4HOT;
  if (h.n != r.n || h.nclin != r.nclin || h.nnlcon != r.nnlcon) return 1;
  if (h.nactiv < 0 || h.nactiv > r.n || h.nfree < 0 || h.nfree > r.n || h.nz < 0 || h.nz > h.nfree) return 1;
  const std::span<const int> ws = isp(a, r.loc.kactiv, r.n);
  for (int k = 0; k < h.nactiv; ++k)
    if (ws[static_cast<std::size_t>(k)] < 1 || ws[static_cast<std::size_t>(k)] > r.ncqp) return 1;
  return 0;
}

// The layout of the workspaces (E4WKSP) and the input checks (E4CHKI, and
// for a hot start kx and the working set kept from the last run).  Returns
// 0, or 9 after input errors.
int partition_and_check(Run& r, const Args& a) {
  const int n = a.n;
  r.nplin = n + a.nclin;
  r.nctotl = r.nplin + a.nnlcon;
  r.ncqp = a.nclin + a.nnlcon;
  r.ldaqp = std::max(1, r.ncqp);
  if (a.nnlcon == 0 && a.nclin > 0) r.ldaqp = a.lda;
  r.ldcj = std::max(1, a.nnlcon);
  int litotl = 0, lwtotl = 0;
  E4WKSP(n, a.nclin, a.nnlcon, r.nctotl, litotl, lwtotl);
  r.loc = E4WLOC;
  r.tlen = r.ncqp > 0 ? n * n : 0;
  r.zylen = r.tlen;
  const bool room = a.niw >= litotl && a.nw >= lwtotl;
  std::span<int> kx = room ? isp(a, r.loc.kx, n) : std::span<int>{};
  E4CHKI(r.nerror, E4WORK.msglvl, r.cold(), r.hot() && room, a.niw, a.nw, litotl, lwtotl, n, a.nclin, a.nnlcon,
         a.istate, kx, false, {}, a.blow, a.bupp);
  if (r.nerror == 0 && r.hot()) r.nerror += check_hot_working_set(r, a);
  return r.nerror > 0 ? 9 : 0;
}

// Feasibility tolerances, the interval of the derivative checks and the
// factorization tolerances of the run.
void set_tolerances(Run& r, const Args& a) {
  E4work& wk = E4WORK;
  const std::span<double> featol = wsp(a, r.loc.vt1[2], r.nctotl);
  if (wk.tolfea > 0.0) DVFILL(r.nplin, wk.tolfea, featol, 1);
  if (wk.tolnlf > 0.0 && r.nnlcon > 0) DVFILL(r.nnlcon, wk.tolnlf, featol.subspan(static_cast<std::size_t>(r.nplin)), 1);
  if (wk.dif_class == optim::kDifComputed) {
    r.dxchk = std::sqrt(wk.epsrf);
  } else if (wk.dif_class == optim::kDifFixed) {
    r.dxchk = wk.fdint;
  } else {
    r.dxchk = a.w[static_cast<std::size_t>(r.loc.hforwd - 1)];
  }
  wk.tolrank = 1.0 / wk.hcndbd;
  wk.rcndbd = std::sqrt(wk.hcndbd);
  r.lvlder = wk.lvlder;
}

// The derivative set-up and checks (E4DERV) at x with the verify level
// given.  Returns 7 for large errors, a callback's negative MODE, or 0.
int set_up_derivatives(Run& r, const Args& a, int level) {
  const int n = a.n, nnlcon = a.nnlcon;
  const optim::Npwloc& L = r.loc;
  E4WORK.verify = level;
  r.xnorm = std::sqrt(std::inner_product(a.x.begin(), a.x.begin() + n, a.x.begin(), 0.0));
  int info = 0;
  E4DERV(info, E4WORK.msglvl, r.kfirst, r.lvlder, r.nfun, r.ngrad, r.ldcj, a.ldjac, n, nnlcon, a.cnlfun, a.objfun,
         isp(a, L.kneed, nnlcon), E4WORK.bigbnd, E4WORK.epsrf, E4WORK.cdint, E4WORK.fdint, r.dxchk, r.fdnorm, a.fobj,
         r.xnorm, a.blow, a.bupp, a.cnlval, wsp(a, L.vt2[0], nnlcon), wsp(a, L.cjac, r.ldcj * n), a.cnljac,
         wsp(a, L.vt2[1], nnlcon), wsp(a, L.vn1[0], n), wsp(a, L.grad, n), a.gobj, wsp(a, L.hforwd, n),
         wsp(a, L.hcntrl, n), a.x, wsp(a, L.vn3[1], n), wsp(a, L.vt1[1], r.nctotl), a.w, a.nw, a.iusr, a.rusr);
  r.kfirst = 0;
  if (info >= 0) r.derivs_set = true;
  return info > 0 ? 7 : info;
}

// The row norms of ALIN, the largest as the size of the working-set rows,
// and the infeasibility weights of the feasibility phase.
void linear_constraint_scales(Run& r, const Args& a) {
  const int n = a.n, nclin = a.nclin;
  const Mat1<const double> A(a.alin, a.lda);
  const std::span<double> anorm = wsp(a, r.loc.anorm, r.ncqp);
  double asize = 0.0;
  for (int i = 1; i <= nclin; ++i) {
    double scale = 0.0, ssq = 1.0;
    for (int j = 1; j <= n; ++j) {
      const double v = A(i, j);
      SSQUPD(1, std::span<const double>(&v, 1), 1, scale, ssq);
    }
    double& an = anorm[static_cast<std::size_t>(i - 1)];
    an = n == 1 ? std::abs(A(i, 1)) : SSQNRM(scale, ssq);
    asize = std::max(asize, an);
  }
  E4QPST.asize = nclin > 0 ? asize : 0.0;
  const std::span<double> featol = wsp(a, r.loc.vt1[2], r.nplin);
  const std::span<double> infwt = wsp(a, r.loc.vt1[0], r.nplin);
  double tmax = 0.0, tmin = 0.0;
  AMAXMIN(r.nplin, featol, 1, tmax, tmin);
  for (int j = 0; j < r.nplin; ++j) infwt[static_cast<std::size_t>(j)] = featol[static_cast<std::size_t>(j)] / tmin;
}

// The condition limit of the start-up factorizations.
double start_condition_limit() { return std::max(1.0 / std::sqrt(kEps), 100.0); }

// The start of the factors: Q the identity and the variables in their
// natural order; R the identity with no multipliers (cold) or R as given
// with the nonlinear multipliers from XMULT (warm, hot); the merit state and
// the penalty parameters reset.
void start_factors(Run& r, const Args& a) {
  const int n = a.n, nnlcon = a.nnlcon;
  const optim::Npwloc& L = r.loc;
  const std::span<double> nlmult = wsp(a, L.nlmult, nnlcon);
  if (r.cold()) {
    MATSET("Upper-triangular", n, n, 0.0, 1.0, a.rfac, a.ldrfac);
    r.rfrobn = std::sqrt(static_cast<double>(n));
    r.nrank = 0;
    DVFILL(nnlcon, 0.0, nlmult, 1);
  } else {
    r.nrank = E4WORK.nlnx;
    for (int i = 0; i < nnlcon; ++i)
      nlmult[static_cast<std::size_t>(i)] = a.xmult[static_cast<std::size_t>(r.nplin + i)];
  }
  E4MERT.reset();
  DVFILL(nnlcon, 0.0, wsp(a, L.rho, nnlcon), 1);
}

// The first working set of bounds and linear constraints (E04NCU), its
// factors and x on it (E04NCV, E04NCH), then the feasibility phase
// (E04NCZ on the "FP problem").  Returns 0, or 2 when no point satisfies
// the bounds and linear constraints.
int cold_or_warm_start(Run& r, const Args& a) {
  const int n = a.n, nclin = a.nclin, nplin = r.nplin;
  const optim::Npwloc& L = r.loc;
  const std::span<int> istate = a.istate.first(static_cast<std::size_t>(r.nctotl));
  const std::span<int> wslist = isp(a, L.kactiv, n);
  const std::span<int> kx = isp(a, L.kx, n);
  const std::span<double> ax = wsp(a, L.ax, nclin);
  const std::span<double> t = wsp(a, L.t, r.tlen), zy = wsp(a, L.zy, r.zylen);
  const std::span<double> gq = wsp(a, L.vn1[2], n), dx = wsp(a, L.vn1[0], n);
  const std::span<double> x1 = wsp(a, L.vn3[1], n), gq1 = wsp(a, L.vn4, n);
  const std::span<double> featol = wsp(a, L.vt1[2], nplin);

  int nartif = 0;
  E04NCU(r.cold(), false, nclin, nplin, r.nactiv, nartif, r.nfree, n, a.lda, istate, wslist, E4WORK.bigbnd,
         E4WORK.tolact, a.alin, ax, a.blow, a.bupp, a.x, dx, x1);

  r.unitq = true;
  for (int j = 1; j <= n; ++j) kx[static_cast<std::size_t>(j - 1)] = j;
  start_factors(r, a);

  // The fixed variables into the factors: added as bounds one at a time
  // from the last when R has a rank below n, else moved behind the free
  // variables (FACMOV keeps R triangular).
  const double condmx = start_condition_limit();
  const int nfixed = n - r.nfree;
  r.nz = r.nfree;
  if (nfixed > 0) {
    if (r.nrank > 0 && r.nrank < n) {
      int nfree = n, nz = n;
      for (int j = n; j >= 1 && nfree > r.nfree; --j) {
        if (istate[static_cast<std::size_t>(j - 1)] <= 0) continue;
        int ifix = 0;
        for (int k = 1; k <= nfree; ++k)
          if (kx[static_cast<std::size_t>(k - 1)] == j) ifix = k;
        int info = 0;
        E04NCV(r.unitq, info, ifix, 0, j, 0, nz, nfree, r.nrank, 0, 1, n, a.lda, L.ldzy, a.ldrfac, L.ldt, kx, condmx,
               a.alin, a.rfac, t, {}, gq, zy, dx, x1, gq1);
        --nfree;
        --nz;
      }
      r.nz = nz;
    } else {
      int nfree = n;
      for (int j = n; j >= 1; --j) {
        if (istate[static_cast<std::size_t>(j - 1)] <= 0) continue;
        int k = 0;
        for (int l = 1; l <= nfree; ++l)
          if (kx[static_cast<std::size_t>(l - 1)] == j) k = l;
        if (k != nfree) {
          if (r.nrank > 0) optim::FACMOV(n, 0, r.nrank, a.ldrfac, k, nfree, a.rfac, {}, dx, x1);
          std::swap(kx[static_cast<std::size_t>(k - 1)], kx[static_cast<std::size_t>(nfree - 1)]);
        }
        --nfree;
      }
    }
  }

  // The general constraints of the working set into the factors; a
  // dependent row is taken out of the working set.
  const int k2 = r.nactiv;
  r.nactiv = 0;
  E4QPST.dtmax = 0.0;
  E4QPST.dtmin = 1.0;
  for (int k = 1; k <= k2; ++k) {
    if (r.nactiv >= r.nfree) continue;
    const int iadd = wslist[static_cast<std::size_t>(k - 1)];
    int info = 0;
    E04NCV(r.unitq, info, 0, iadd, n + iadd, r.nactiv, r.nz, r.nfree, r.nrank, 0, 1, n, a.lda, L.ldzy, a.ldrfac,
           L.ldt, kx, condmx, a.alin, a.rfac, t, {}, gq, zy, dx, x1, gq1);
    if (info == 0) {
      ++r.nactiv;
      --r.nz;
    } else {
      istate[static_cast<std::size_t>(n + iadd - 1)] = 0;
      wslist[static_cast<std::size_t>(k - 1)] = -iadd;
    }
  }
  if (r.nactiv < k2) {
    int next = 1;
    for (int k = 1; k <= k2; ++k) {
      if (wslist[static_cast<std::size_t>(k - 1)] >= 0) {
        std::swap(wslist[static_cast<std::size_t>(next - 1)], wslist[static_cast<std::size_t>(k - 1)]);
        ++next;
      }
    }
  }
  r.ws_formed = true;

  bool rowerr = false;
  int jmax = 0;
  double errmax = 0.0, ctx = 0.0;
  E04NCH(false, rowerr, r.unitq, nclin, r.nactiv, r.nfree, 0, r.nz, n, nplin, L.ldzy, a.lda, a.ldrfac, L.ldt, istate,
         wslist, kx, jmax, errmax, ctx, r.xnorm, a.alin, ax, a.blow, a.bupp, gq, wsp(a, L.vn2[0], n),
         wsp(a, L.vn2[1], n), featol, a.rfac, t, a.x, zy, dx, x1);

  // The feasibility phase: both iteration limits the minor limit, its
  // traces not before that limit.
  E4qpst& qp = E4QPST;
  qp.msglvl = E4WORK.msgqp;
  qp.idbg = E4WORK.itmax2 + 1;
  qp.itmax1 = E4WORK.itmax2;
  qp.itmax2 = E4WORK.itmax2;
  qp.tolrank = E4WORK.tolrank;
  qp.bigbnd = E4WORK.bigbnd;
  qp.bigdx = E4WORK.bigdx;
  qp.debug = false;
  qp.dbg1 = E4WORK.ilsdbg[0];
  qp.dbg2 = E4WORK.ilsdbg[1];
  optim::Lsloc lsl = optim::npiqp_loc(L, n);
  lsl.wslist = L.kactiv;
  int iter = 0, nz1 = 0, ninf = 0;
  double ssq = 0.0;
  E04NCZ("FP", false, {}, false, r.unitq, r.inflp, iter, nplin, nclin, nplin, r.nactiv, r.nfree, 0, r.nz, nz1, n,
         a.lda, a.ldrfac, istate, wslist, kx, ctx, ssq, 0.0, r.suminf, ninf, r.xnorm, a.blow, a.bupp, a.alin,
         wsp(a, L.vt3, r.nctotl), ax, featol, a.rfac, a.x, a.w, lsl);
  return r.inflp > 0 ? 2 : 0;
}

// A hot start: the working set and factors the last run left in iw and w,
// the linear constraint values A x.
void hot_start(Run& r, const Args& a) {
  const E4hot& h = E4HOT;
  r.unitq = h.unitq;
  r.nactiv = h.nactiv;
  r.nfree = h.nfree;
  r.nz = h.nz;
  r.ws_formed = true;
  const Mat1<const double> A(a.alin, a.lda);
  const std::span<double> ax = wsp(a, r.loc.ax, a.nclin);
  for (int i = 1; i <= a.nclin; ++i) {
    double s = 0.0;
    for (int j = 1; j <= a.n; ++j) s += A(i, j) * a.x[static_cast<std::size_t>(j - 1)];
    ax[static_cast<std::size_t>(i - 1)] = s;
  }
  start_factors(r, a);
}

// A given R (warm or hot start) is measured and refactorised when it is
// ill-conditioned.
void test_given_r(Run& r, const Args& a) {
  const int n = a.n;
  const Mat1<const double> R(a.rfac, a.ldrfac);
  r.rfrobn = MATNRM("F", "U", n, n, a.rfac, a.ldrfac);
  double drmax = 0.0, drmin = 0.0;
  for (int j = 1; j <= n; ++j) {
    const double d = std::abs(R(j, j));
    if (j == 1 || d > drmax) drmax = d;
    if (j == 1 || d < drmin) drmin = d;
  }
  bool fail = false;
  const double cond = SAFDIV(drmax, drmin, fail);
  if (cond > E4WORK.rcndbd || r.rfrobn > 100.0 * std::sqrt(static_cast<double>(n)) * drmax) {
    const optim::Npwloc& L = r.loc;
    E4QRPV(r.unitq, n, r.nfree, r.nz, L.ldzy, a.ldrfac, isp(a, L.kx, n), isp(a, L.iperm, r.nctotl),
           wsp(a, L.vn1[2], n), a.rfac, wsp(a, L.zy, r.zylen), wsp(a, L.vt1[1], r.nctotl), wsp(a, L.vt2[0], 2 * n),
           E4WORK.rcndbd, r.rfrobn);
  }
}

// R as a factor of the Hessian in the problem's own variables: each row of
// R transformed by the working-set factors, then triangularised (F01QCF).
void hessian_in_natural_variables(const Run& r, const Args& a) {
  const int n = a.n;
  const optim::Npwloc& L = r.loc;
  Mat1<double> R(a.rfac, a.ldrfac);
  const std::span<double> v = wsp(a, L.vn1[0], n);
  const std::span<double> wrk = wsp(a, L.vt1[1], n);
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i < j; ++i) v[static_cast<std::size_t>(i - 1)] = 0.0;
    for (int i = j; i <= n; ++i) v[static_cast<std::size_t>(i - 1)] = R(j, i);
    optim::FACMUL(3, n, r.nz, r.nfree, L.ldzy, r.unitq, isp(a, L.kx, n), v, wsp(a, L.zy, r.zylen), wrk);
    for (int i = 1; i <= n; ++i) R(j, i) = v[static_cast<std::size_t>(i - 1)];
  }
  int ifail = 1;
  F01QCF(n, n, a.rfac, a.ldrfac, wrk, ifail);
}

// The major iterations from the start: the QP matrix and the nonlinear
// working set (E04UCS), E04UCZ, then R in the problem's variables when the
// Hessian option asks for it.  Returns inform.
int iterate(Run& r, const Args& a, int& majits) {
  const int n = a.n, nclin = a.nclin, nnlcon = a.nnlcon;
  const optim::Npwloc& L = r.loc;
  // The projected gradient: Q' times the gradient.
  const std::span<double> gq = wsp(a, L.vn1[2], n);
  std::copy_n(wsp(a, L.grad, n).begin(), n, gq.begin());
  optim::FACMUL(6, n, r.nz, r.nfree, L.ldzy, r.unitq, isp(a, L.kx, n), gq, wsp(a, L.zy, r.zylen),
                wsp(a, L.vt1[1], n));
  std::span<double> aqp;
  if (nnlcon > 0) {
    aqp = wsp(a, L.qpmat, r.ldaqp * n);
    MATCPY("General", nclin, n, a.alin, a.lda, aqp, r.ldaqp);
    E04UCS(r.cold(), n, nclin, nnlcon, r.nctotl, r.nactiv, r.nfree, r.nz, a.istate, isp(a, L.kactiv, n),
           E4WORK.bigbnd, E4WORK.tolact, a.blow, a.bupp, a.cnlval, E4WORK.debug);
  } else if (nclin > 0) {
    aqp = std::span<double>(const_cast<double*>(a.alin.data()), a.alin.size());
  }

  E4major p;
  p.n = n;
  p.nclin = nclin;
  p.nnlcon = nnlcon;
  p.ldcju = a.ldjac;
  p.ldr = a.ldrfac;
  p.ldaqp = r.ldaqp;
  p.unitq = r.unitq;
  p.nactiv = r.nactiv;
  p.nfree = r.nfree;
  p.nz = r.nz;
  p.nfun = r.nfun;
  p.ngrad = r.ngrad;
  p.lvlder = r.lvlder;
  p.fdnorm = r.fdnorm;
  p.xnorm = r.xnorm;
  p.rfrobn = r.rfrobn;
  p.bl = a.blow;
  p.bu = a.bupp;
  p.istate = a.istate;
  p.cnlval = a.cnlval;
  p.cnljac = a.cnljac;
  p.xmult = a.xmult;
  p.gobj = a.gobj;
  p.rfac = a.rfac;
  p.x = a.x;
  p.iusr = a.iusr;
  p.rusr = a.rusr;
  p.aqp = aqp;
  p.iw = a.iw.first(static_cast<std::size_t>(a.niw));
  p.w = a.w.first(static_cast<std::size_t>(a.nw));
  p.loc = L;
  int inform = 0;
  E04UCZ(p, a.cnlfun, a.objfun, inform, majits, a.fobj);
  r.unitq = p.unitq;
  r.nactiv = p.nactiv;
  r.nfree = p.nfree;
  r.nz = p.nz;
  if (E4WORK.hess == 1) hessian_in_natural_variables(r, a);
  return inform;
}

// A run past its input checks.  Returns inform.
int set_up_and_iterate(Run& r, const Args& a, int& majits) {
  set_tolerances(r, a);
  E4WORK.nmissg = 0;
  E4WORK.nmissj = 0;
  const int verify = E4WORK.verify;
  if (verify >= 10) {
    r.checked = true;
    if (const int inform = set_up_derivatives(r, a, verify - 10); inform != 0) return inform;
  }
  linear_constraint_scales(r, a);
  if (r.hot()) {
    hot_start(r, a);
  } else if (const int inform = cold_or_warm_start(r, a); inform != 0) {
    return inform;
  }
  if (const int inform = set_up_derivatives(r, a, r.checked ? -1 : verify); inform != 0) return inform;
  if (!r.cold()) test_given_r(r, a);
  return iterate(r, a, majits);
}

// The exit message of inform and the final value, when the major print level
// is positive.
void write_exit_messages(const Run& r, int inform, double fobj) {
  if (E4WORK.msglvl <= 0) return;
  const int nout = r.nout;
  switch (inform) {
    case 0:
      put_records(nout, "(/' Exit E04UCF - Optimal solution found.')");
      break;
    case 1:
      put_records(nout, "(/' Exit E04UCF - Optimal solution found,  but requested accuracy not achieved.')");
      break;
    case 2:
      put_records(nout, "(/' Exit E04UCF - No feasible point for the linear constraints.')");
      break;
    case 3:
      put_records(nout, "(/' Exit E04UCF - No feasible point for the nonlinear constraints.')");
      break;
    case 4:
      put_records(nout, "(/' Exit E04UCF - Too many major iterations.')");
      break;
    case 6:
      put_records(nout, "(/' Exit E04UCF - Current point cannot be improved upon.')");
      break;
    case 7:
      put_records(nout, "(/' Exit E04UCF - Large errors found in the derivatives.')");
      break;
    case 9:
      put_records(nout, "(/' Exit E04UCF - ',i7,' errors found in the input parameters.  Problem abandoned.')",
                  {r.nerror});
      break;
    default:
      if (inform < 0) put_records(nout, "(/' Exit E04UCF - User requested termination.')");
      break;
  }
  if (inform >= 0 && inform <= 6) {
    if (r.inflp == 0) {
      put_records(nout, "(/' Final nonlinear objective value =',g16.7)", {fobj});
    } else if (r.inflp == 3) {
      put_records(nout, "(/' Minimum sum of infeasibilities =',g16.7)", {r.suminf});
    } else {
      put_records(nout, "(/' Final sum of infeasibilities =',g16.7)", {r.suminf});
    }
  }
}

}  // namespace

void E04UCF(int n, int nclin, int nnlcon, int lda, int ldjac, int ldrfac, std::span<const double> alin,
            std::span<const double> blow, std::span<const double> bupp, const optim::Cnlfun& cnlfun,
            const optim::Objfun& objfun, int& majits, std::span<int> istate, std::span<double> cnlval,
            std::span<double> cnljac, std::span<double> xmult, double& fobj, std::span<double> gobj,
            std::span<double> rfac, std::span<double> x, std::span<int> iw, int niw, std::span<double> w, int nw,
            std::span<int> iusr, std::span<double> rusr, int& ifail) {
  const Args a{n,      nclin, nnlcon, lda,  ldjac, ldrfac, alin, blow, bupp, cnlfun, objfun, istate, cnlval,
               cnljac, xmult, fobj,   gobj, rfac,  x,      iw,   niw,  w,    nw,     iusr,   rusr};
  const int ifail_in = ifail;
  Run r;
  r.n = n;
  r.nclin = nclin;
  r.nnlcon = nnlcon;
  r.nout = advisory_unit();
  int inform = 0;
  majits = 0;
  E4PRMS(n, nclin, nnlcon, kTitle);
  // A later hot start needs this run to leave a working set.
  E4OSTAT.had_run = false;

  r.nerror = check_sizes(r.nout, E4WORK.msglvl, a);
  if (r.nerror > 0) {
    inform = 9;
  } else {
    inform = partition_and_check(r, a);
    if (inform == 0) inform = set_up_and_iterate(r, a, majits);
  }

  write_exit_messages(r, inform, fobj);
  // The option blocks as they were before the run.
  E4OPTS.restore_saved();
  E4WORK.debug = false;
  if (r.ws_formed && inform != 9) {
    E4OSTAT.had_run = true;
    E4HOT = E4hot{n, nclin, nnlcon, r.unitq, r.nactiv, r.nfree, r.nz};
  }
  if (inform != 9 && r.derivs_set) {
    const optim::Npwloc& L = r.loc;
    if (nnlcon > 0) MATCPY("General", nnlcon, n, wsp(a, L.cjac, r.ldcj * n), r.ldcj, cnljac, ldjac);
    std::copy_n(wsp(a, L.grad, n).begin(), n, gobj.begin());
  }
  ifail = numlib::ERREXIT(ifail_in, inform, "E04UCF");
}

}  // namespace qv::optim_alt
