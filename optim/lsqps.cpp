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

using namespace optkern;

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

namespace {

// The options of one call, once QPDEFS has filled in the unset ones.
struct LsqpsOptions {
  int itype;                // problem type 1..10
  std::string_view prbtyp;  // "FP", "LP", "QP" or "LS"
  bool linterm;
  int iprint, isumm, msglvl, start, lsdbg, idbg, itmax1, itmax2;
  double tolfea, tolrank, tolact, bigbnd, bigdx;
};

LsqpsOptions read_options() {
  Npopts& o = NPOPTS;
  namespace sl = slot;
  LsqpsOptions r;
  r.itype = o.ils(sl::kProblemType);
  r.prbtyp = iteration_type(r.itype);
  r.linterm = has_linear_term(r.itype);
  r.iprint = o.ils(sl::kPrintFile);
  r.isumm = o.ils(sl::kSummaryFile);
  r.msglvl = o.ils(sl::kMinorPrintLevel);
  r.start = o.ils(sl::kStart);
  r.lsdbg = o.ils(sl::kMinorDebugLevel);
  r.idbg = o.ils(sl::kLsDebugIteration);
  r.itmax1 = o.ils(sl::kFeasPhaseIterations);
  r.itmax2 = o.ils(sl::kMinorIterations);
  r.tolfea = o.rls(sl::kLinearFeasTol);
  r.tolrank = o.rls(sl::kRankTol);
  r.tolact = o.rls(sl::kCrashTol);
  r.bigbnd = o.rls(sl::kInfiniteBound);
  r.bigdx = o.rls(sl::kInfiniteStep);
  return r;
}

// Puts back the QP solver's option slots as they were before QPDEFS.
void restore_options() {
  NPOPTS.iprmls = LSQPST.iprmls;
  NPOPTS.rprmls = LSQPST.rprmls;
}

// One record to the print file and to the summary file (those open).
void write_both(const LsqpsOptions& o, std::string_view fmt, std::initializer_list<runtime::Out> items) {
  for (int unit : {o.iprint, o.isumm})
    if (unit > 0) runtime::write_fmt(unit, fmt, items);
}

// The problem as the caller gives it.
struct LsqpsProblem {
  int mm, n, nclin, ldA, ldR;
  std::span<const double> a, bl, bu, cvec;
  std::span<int> istate, kx;
  std::span<double> x, r, b;
};

// The errors in the input: those CHKINP finds (it reports them), and
// leading dimensions of A or R too small for the problem.
int count_input_errors(const LsqpsOptions& o, const LsqpsProblem& p, int leniw, int lenw, int litotl, int lwtotl) {
  int nerror = 0;
  CHKINP(nerror, o.msglvl, o.start, false, leniw, lenw, litotl, lwtotl, p.n, p.nclin, 0, p.istate, p.kx, false, {},
         o.bigbnd, p.bl, p.bu);
  const int ldrneed = std::max({1, is_ls(o.itype) ? p.mm : 0, (is_qp(o.itype) || is_ls(o.itype)) ? p.n : 0});
  if (p.ldA < std::max(1, p.nclin) || p.ldR < ldrneed || (is_ls(o.itype) && p.mm < 1)) {
    ++nerror;
    if (o.iprint > 0)
      runtime::write_fmt(o.iprint,
                         "(/' XXX  The dimensions of A or R are too small:  ldA =',i8,'   ldR =',i8,'   mm =',i8)",
                         {p.ldA, p.ldR, p.mm});
  }
  return nerror;
}

// One call past its checks, shared by its steps: the options, the problem
// and the workspaces, views of the caller's arrays and of the workspace
// vectors, the objective's factor and the working set.
struct LsqpsRun {
  const LsqpsOptions& o;
  const LsqpsProblem& p;
  const std::span<int> iw;
  const std::span<double> w;
  const double condlim;  // condition limit of the factor updates

  const int n = p.n, nclin = p.nclin, nctotl = n + nclin;
  const QpDims dims = qp_dims(o.itype, n, nclin);
  const Vec1<int> kx{p.kx};
  const Vec1<double> b{p.b};
  const Mat1<double> r{p.r, p.ldR};
  const Mat1<const double> a{p.a, p.ldA};

  // The workspace as QPWSPC laid it out: gq (and cq with a linear term)
  // follow each other in gqv, res and res0 in resv, and px and gq serve
  // the QR factorization together as pxgq.
  const Lsloc& loc = LSQPST.loc;
  const int nq = (is_qp(o.itype) || is_ls(o.itype)) ? n : 0;
  const std::span<int> wslist = iw.subspan(static_cast<std::size_t>(loc.wslist - 1), static_cast<std::size_t>(n));
  const std::span<double> rownorm = wspart(w, loc.rownorm, nclin);
  const std::span<double> px = wspart(w, loc.px, n);
  const std::span<double> pxgq = wspart(w, loc.px, 2 * n);
  const std::span<double> gqv = wspart(w, loc.gq, (o.linterm ? 2 : 1) * n);
  const std::span<double> cq = o.linterm ? wspart(w, loc.cq, n) : std::span<double>();
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

  // The objective's factor.
  int nrank = 0;
  double ssq1 = 0.0;  // norm of the residuals beyond the rank (LS types)
  int nresv = 0;

  // The working set.
  int nactiv = 0, nartif = 0, nfree = 0, nZ = 0;
  bool unitQ = true;
  double ctx = 0.0, xnorm = 0.0;
};

// Feasibility tolerances, unit weights and the row norms of A, with Asize
// and the extreme diagonals of T taken from them.
void set_tolerances(LsqpsRun& s) {
  std::fill(s.featol.begin(), s.featol.end(), s.o.tolfea);
  std::fill(s.infwt.begin(), s.infwt.end(), 1.0);
  for (int i = 1; i <= s.nclin; ++i)
    s.rownorm[static_cast<std::size_t>(i - 1)] = ssq_norm2(s.n, s.a.ptr(i, 1), s.p.ldA);
  if (s.nclin > 0) {
    double amax = 0.0, amin = 0.0;
    AMAXMIN(s.nclin, s.rownorm, 1, amax, amin);
    LSCOND.asize = amax;
    LSCOND.dtmax = amax;
    LSCOND.dtmin = amin;
  } else {
    LSCOND.asize = 0.0;
    LSCOND.dtmax = 1.0;
    LSCOND.dtmin = 1.0;
  }
}

// QP types: the Hessian in the upper triangle of R is factorized in place
// with symmetric interchanges, up to its rank.
void factorize_hessian(LsqpsRun& s) {
  const int n = s.n;
  const Mat1<double>& r = s.r;
  for (int j = 1; j <= n; ++j)
    for (int i = j + 1; i <= n; ++i) r(i, j) = 0.0;
  int infchol = 0;
  PIVCHOL(s.p.ldR, n, s.nrank, s.o.tolrank, s.p.kx, s.p.r, infchol);
  for (int j = 1; j <= n; ++j)
    for (int i = s.nrank + 1; i <= j; ++i) r(i, j) = 0.0;
  for (int i = 1; i <= s.nrank; ++i) s.res0[static_cast<std::size_t>(i - 1)] = 0.0;
}

// LS types: the data matrix in R is factorized by QR with column
// interchanges and Q' applied to b; the rank is the count of leading
// diagonals above the rank tolerance relative to the largest.
void factorize_data_matrix(LsqpsRun& s) {
  const int mm = s.p.mm, n = s.n, ldR = s.p.ldR;
  const Mat1<double>& r = s.r;
  const std::span<int> perm = s.wslist;  // free until the working set is chosen
  const std::span<double> zeta = s.wsmult;
  int infqr = 0;
  QRFACT("Column iterchanges", mm, n, s.p.r, ldR, zeta, perm, s.pxgq, infqr);
  const int kmax = std::min(mm, n);
  for (int k = 1; k <= kmax; ++k) {
    const int pk = perm[static_cast<std::size_t>(k - 1)];
    if (pk != k) std::swap(s.kx(k), s.kx(pk));
  }
  HHAPPQ("Transpose", "Separate", mm, kmax, s.p.r, ldR, zeta, 1, s.p.b, std::max(1, mm), s.hz, infqr);
  double dmax = 0.0;
  for (int k = 1; k <= kmax; ++k) dmax = std::max(dmax, std::abs(r(k, k)));
  while (s.nrank < kmax && std::abs(r(s.nrank + 1, s.nrank + 1)) > s.o.tolrank * dmax) ++s.nrank;
  // Keep the leading nrank rows of the triangle; the rest is dropped.
  for (int j = 1; j <= n; ++j)
    for (int i = s.nrank + 1; i <= std::min(ldR, std::max(mm, n)); ++i)
      if (i <= ldR) r(i, j) = 0.0;
  for (int i = 1; i <= s.nrank; ++i) s.res0[static_cast<std::size_t>(i - 1)] = s.b(i);
  s.ssq1 = ssq_norm2(mm - s.nrank, s.b.ptr(s.nrank + 1), 1);
}

// The objective's factor (none for FP and LP); the variables are taken in
// the order of kx.
void factorize_objective(LsqpsRun& s) {
  const int itype = s.o.itype;
  for (int k = 1; k <= s.n; ++k) s.kx(k) = k;
  if (is_qp(itype))
    factorize_hessian(s);
  else if (is_ls(itype))
    factorize_data_matrix(s);
  if (s.o.msglvl > 0 && s.o.iprint > 0 && s.nrank < s.n && (is_qp(itype) || is_ls(itype)))
    runtime::write_fmt(s.o.iprint, "(/' Rank of the objective function data matrix = ',i5)", {s.nrank});
  for (int i = 1; i <= s.nrank; ++i) s.res[static_cast<std::size_t>(i - 1)] = s.res0[static_cast<std::size_t>(i - 1)];
  s.nresv = s.nrank > 0 ? 2 : 0;
}

// The variables the crash put on a bound leave the free set, from the last
// to the first: by a factor update while general rows are to follow,
// otherwise by moving them to the end of the free variables.
void fix_bounded_variables(LsqpsRun& s, int ngen) {
  const int n = s.n;
  const Vec1<int> istate(s.p.istate);
  for (int j = n; j >= 1; --j) {
    if (istate(j) < 1 || istate(j) > 4) continue;
    int pos = 0;
    for (int k = 1; k <= s.nfree; ++k)
      if (s.kx(k) == j) pos = k;
    if (pos == 0) continue;
    if (ngen > 0) {
      int infadd = 0;
      lsadd(s.unitQ, infadd, pos, 0, j, 0, s.nZ, s.nfree, s.nrank, s.nresv, 0, n, s.p.ldA, s.dims.ldzy, s.p.ldR,
            s.dims.ldt, s.p.kx, s.condlim, s.p.a, s.p.r, s.t, s.resv, s.gqv, s.zy, s.wrk, s.px, s.wsmult);
    } else if (pos < s.nfree) {
      std::swap(s.kx(pos), s.kx(s.nfree));
      if (s.nrank > 0) FACMOV(n, s.nresv, s.nrank, s.p.ldR, pos, s.nfree, s.p.r, s.resv, s.px, s.wsmult);
    }
    --s.nfree;
    --s.nZ;
  }
}

// The working set: the crash chooses it, the bounds are fixed, cq := Q'c,
// the general rows are factorized and x is moved onto the working set.
// True when the working-set constraints cannot be satisfied.
bool start_working_set(LsqpsRun& s) {
  const LsqpsOptions& o = s.o;
  const LsqpsProblem& p = s.p;
  const int n = s.n;
  s.nfree = n;
  lscrsh(o.start == 0, s.dims.vertex, s.nclin, s.nctotl, s.nactiv, s.nartif, s.nfree, n, p.ldA, p.istate, s.wslist,
         o.bigbnd, o.tolact, p.a, s.ax, p.bl, p.bu, p.x, s.px, s.wsmult);
  const int ngen = s.nactiv;
  s.unitQ = true;
  s.nfree = n;
  s.nZ = n;
  fix_bounded_variables(s, ngen);
  std::fill(s.gqv.begin(), s.gqv.end(), 0.0);
  if (o.linterm) {
    std::copy(p.cvec.begin(), p.cvec.begin() + n, s.cq.begin());
    FACMUL(6, n, s.nZ, s.nfree, s.dims.ldzy, s.unitQ, p.kx, s.cq, s.zy, s.wrk);
  }
  s.nactiv = 0;
  int infws = 0, nrej = 0;
  WSFACT(s.unitQ, s.dims.vertex, infws, 1, ngen, s.nactiv, s.nartif, s.nZ, s.nfree, s.nrank, nrej, s.nresv,
         o.linterm ? 2 : 1, n, s.dims.ldzy, p.ldA, p.ldR, s.dims.ldt, p.istate, s.wslist, p.kx, s.condlim, p.a, p.r,
         s.t, s.resv, s.gqv, s.zy, s.wrk, s.px, s.wsmult);

  bool rowerr = false;
  int jmax = 0;
  double errmax = 0.0;
  lssetx(o.linterm, rowerr, s.unitQ, s.nclin, s.nactiv, s.nfree, s.nrank, s.nZ, n, s.nctotl, s.dims.ldzy, p.ldA,
         p.ldR, s.dims.ldt, p.istate, s.wslist, p.kx, jmax, errmax, s.ctx, s.xnorm, p.a, s.ax, p.bl, p.bu, s.cq, s.res,
         s.res0, s.featol, p.r, s.t, p.x, s.zy, s.px, s.wrk);
  return rowerr;
}

// The active-set iterations from the working set; obj is the final
// objective (ssq + c'x), or the sum of infeasibilities when none is
// feasible, and b receives the residuals of the LS types.  True when the
// final point is feasible.
bool run_iterations(LsqpsRun& s, int& inform, int& iter, double& obj, std::span<double> mult) {
  const LsqpsOptions& o = s.o;
  const LsqpsProblem& p = s.p;
  Lsctl ctl;
  ctl.itmax1 = o.itmax1;
  ctl.itmax2 = o.itmax2;
  ctl.msglvl = o.msglvl;
  ctl.idbg = o.idbg;
  ctl.bigbnd = o.bigbnd;
  ctl.bigdx = o.bigdx;
  ctl.tolrank = o.tolrank;
  int nZ1 = 0, ninf = 0;
  double ssq = 0.0, suminf = 0.0;
  lscore(o.prbtyp, false, {}, o.linterm, s.unitQ, inform, iter, s.nctotl, s.nclin, s.nctotl, s.nactiv, s.nfree,
         s.nrank, s.nZ, nZ1, s.n, p.ldA, p.ldR, p.istate, s.wslist, p.kx, s.ctx, ssq, s.ssq1, suminf, ninf, s.xnorm,
         p.bl, p.bu, p.a, mult, s.ax, s.featol, p.r, p.x, s.w, s.loc, ctl);
  const bool feasible = ninf <= 0;
  obj = feasible ? ssq + s.ctx : suminf;
  if (is_ls(o.itype))
    for (int i = 1; i <= s.nrank; ++i) s.b(i) = s.res[static_cast<std::size_t>(i - 1)];
  return feasible;
}

// The exit lines, to the print and summary files.
void write_exit_lines(const LsqpsOptions& o, int inform, bool feasible, double obj) {
  const std::string type(o.prbtyp);
  switch (inform) {
    case 0:
      if (o.prbtyp == "FP")
        write_both(o, "(/' Exit LSQPS - Feasible point found.     ')", {});
      else
        write_both(o, "(/' Exit LSQPS - Optimal ',a2,' solution.')", {type});
      break;
    case 1: write_both(o, "(/' Exit LSQPS - Weak ',a2,' solution.')", {type}); break;
    case 2: write_both(o, "(/' Exit LSQPS - ',a2,' solution is unbounded.')", {type}); break;
    case 3: write_both(o, "(/' Exit LSQPS - Cannot satisfy the linear constraints. ')", {}); break;
    case 4: write_both(o, "(/' Exit LSQPS - Too many iterations.')", {}); break;
    default: write_both(o, "(/' Exit LSQPS - Too many iterations without changing X.')", {}); break;
  }
  if (feasible) {
    if (o.prbtyp != "FP") write_both(o, "(/' Final ',a2,' objective value =',g16.7)", {type, obj});
  } else if (inform == 3) {
    write_both(o, "(/' Minimum sum of infeasibilities =',g16.7)", {obj});
  } else {
    write_both(o, "(/' Final sum of infeasibilities =',g16.7)", {obj});
  }
}

}  // namespace

void LSQPS(int mm, int n, int nclin, int ldA, int ldR, std::span<const double> as, std::span<const double> bls,
           std::span<const double> bus, std::span<const double> cvecs, std::span<int> istates, std::span<int> kxs,
           std::span<double> xs, std::span<double> rs, std::span<double> bs, int& inform, int& iter, double& obj,
           std::span<double> mult, std::span<int> iw, int leniw, std::span<double> w, int lenw) {
  MCHSET();
  const double epspt5 = wmach(4);
  inform = 0;
  iter = 0;
  obj = 0.0;

  QPDEFS(mm, n, nclin, kTitle);
  const LsqpsOptions o = read_options();
  LSPRNT.iprint = o.iprint;
  LSPRNT.trace = o.lsdbg != 0 && o.idbg == 0;

  // Workspace and input checks.
  const LsqpsProblem p{mm, n, nclin, ldA, ldR, as, bls, bus, cvecs, istates, kxs, xs, rs, bs};
  int litotl = 0, lwtotl = 0;
  QPWSPC(o.itype, n, nclin, litotl, lwtotl);
  // A length beyond the array given counts as the array's own length.
  leniw = std::min<int>(leniw, static_cast<int>(iw.size()));
  lenw = std::min<int>(lenw, static_cast<int>(w.size()));
  const int nerror = count_input_errors(o, p, leniw, lenw, litotl, lwtotl);
  if (nerror > 0) {
    inform = 6;
    if (o.msglvl > 0)
      write_both(o, "(/' Exit LSQPS - ',i10,' errors found in the input parameters.  Problem abandoned.')", {nerror});
    restore_options();
    return;
  }

  // The tolerances, the objective's factor and the working set, then the
  // iterations from it.
  LsqpsRun s{.o = o, .p = p, .iw = iw, .w = w, .condlim = std::max(1.0 / epspt5, 100.0)};
  set_tolerances(s);
  factorize_objective(s);
  bool feasible = true;
  if (start_working_set(s)) {
    if (o.iprint > 0)
      runtime::write_fmt(o.iprint, "(/' XXX  Cannot satisfy the working-set constraints to the accuracy requested.')");
    inform = 3;
    feasible = false;
    obj = sum_infeasibilities(n, nclin, o.bigbnd, bls, bus, s.featol, xs, s.ax);
  } else {
    feasible = run_iterations(s, inform, iter, obj, mult);
  }

  if (o.msglvl > 0) write_exit_lines(o, inform, feasible, obj);
  restore_options();
}

}  // namespace qv::optim
