#include "optim_alt/subproblem.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "optim/facutil.hpp"
#include "optim/lscore.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/merit.hpp"
#include "optim_alt/nlwset.hpp"
#include "optim_alt/options.hpp"
#include "optim_alt/qpsolve.hpp"
#include "optim_alt/records.hpp"
#include "optkern/kernels.hpp"
#include "optkern/rotations.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

using namespace optkern;
using optim::FACMUL;
using optim::wspart;
using runtime::Mat1;
using runtime::Vec1;

namespace {

// The nonlinear variables: n unless the working cell holds a count in 0..n.
int nonlinear_variables(int n) {
  const int nlnx = E4WORK.nlnx;
  return nlnx >= 0 && nlnx <= n ? nlnx : n;
}

// One call of E04UCU, shared by its steps: its arguments (the caller's
// counts and scalars by reference), the sizes and settings taken from them,
// and views of the arrays and of the QP vectors in w.
struct QpSub {
  // The arguments, in the order of E04UCU's.
  bool& qpfeasible;
  bool& unitQ;
  int& nQPerr;
  int& qpiters;
  const int n, nclin, nnlcon, ldjac, ldqpm, ldR;
  int& linact;
  int& nlnact;
  int& nactiv;
  int& nfree;
  int& nZ;
  int& ninf;
  const std::span<int> istates, wslists, kxs;
  double& stepnorm;
  double& gdir;
  double& qpcurv;
  const std::span<double> qpmats, adirs, rownorms;
  const std::span<const double> axs, bls, bus, cvals, cjacs;
  const std::span<double> mults, nlmults, css, dmults, dslacks, dxs, qplos, qphis;
  const std::span<const double> qpftols;
  const std::span<double> rs, rhos, slackvs, nlviols;
  const std::span<const double> xs;
  const std::span<double> infwts, w;
  const optim::Lsloc& loc;
  const bool trace;

  // Sizes and settings.
  const int nplin = n + nclin;       // bounds and linear rows
  const int nctotl = nplin + nnlcon;  // all constraint indices
  const int ncqp = nclin + nnlcon;    // rows of qpmat
  const int nrank = n;
  const int ldT = loc.ldt, ldZY = loc.ldzy;
  const int nlnx = nonlinear_variables(n);
  const double bigbnd = E4WORK.bigbnd;
  const double biglow = -bigbnd, bigupp = bigbnd;

  // Views of the caller's arrays.
  const Vec1<int> istate{istates}, wslist{wslists};
  const Vec1<const double> ax{axs}, bl{bls}, bu{bus}, c{cvals}, qpftol{qpftols}, x{xs};
  const Vec1<double> adir{adirs}, rownorm{rownorms}, mult{mults}, nlmult{nlmults}, cs{css}, dmult{dmults},
      dslack{dslacks}, dx{dxs}, qplo{qplos}, qphi{qphis}, rho{rhos}, slackv{slackvs}, nlviol{nlviols},
      infwt{infwts};
  const Mat1<double> qpmat{qpmats, ldqpm}, R{rs, ldR};

  // The QP vectors in w.
  const std::span<double> rsteps = wspart(w, loc.res, n), rstep0s = wspart(w, loc.res0, n);
  const std::span<double> hsteps = wspart(w, loc.gq, n), gqs = wspart(w, loc.cq, n);
  const std::span<double> wrks = wspart(w, loc.wrk, nctotl);
  const std::span<double> ts = w.subspan(static_cast<std::size_t>(loc.t - 1));
  const std::span<double> zys = w.subspan(static_cast<std::size_t>(loc.zy - 1));
  const Vec1<double> rstep{rsteps}, hstep{hsteps}, gq{gqs};
};

// Bounds of the QP on p, violations of the nonlinear rows and the weights of
// the infeasibilities (scaled by the largest weight of a violated row, and
// kept above eps^0.9 times the largest weight).
void set_qp_bounds(QpSub& s) {
  double infscale = -1.0;
  for (int j = 1; j <= s.nctotl; ++j) {
    const double con = j <= s.n ? s.x(j) : j <= s.nplin ? s.ax(j - s.n) : s.c(j - s.nplin);
    double lodist = s.bl(j) > s.biglow ? s.bl(j) - con : s.bl(j);
    double hidist = s.bu(j) < s.bigupp ? s.bu(j) - con : s.bu(j);
    double weight = 1.0;
    if (j <= s.nplin) {
      if (std::abs(lodist) <= s.qpftol(j)) lodist = 0.0;
      if (std::abs(hidist) <= s.qpftol(j)) hidist = 0.0;
    } else {
      const int i = j - s.nplin;
      double viol = 0.0;
      if (s.bl(j) > s.biglow && lodist > 0.0) {
        viol = lodist;
        weight = s.rho(i) > 0.0 ? s.rho(i) * lodist : lodist;
      } else if (s.bu(j) < s.bigupp && hidist < 0.0) {
        viol = hidist;
        weight = s.rho(i) > 0.0 ? -hidist * s.rho(i) : -hidist;
      }
      if (viol != 0.0) infscale = std::max(infscale, weight);
      s.nlviol(i) = viol;
    }
    s.infwt(j) = weight;
    s.qplo(j) = lodist;
    s.qphi(j) = hidist;
  }
  if (infscale > 0.0)
    for (int j = 1; j <= s.nctotl; ++j) s.infwt(j) *= 1.0 / infscale;
  double infwtmax = 0.0;
  for (int j = 1; j <= s.nctotl; ++j) infwtmax = std::max(infwtmax, std::abs(s.infwt(j)));
  for (int j = 1; j <= s.nctotl; ++j) s.infwt(j) = std::max(s.infwt(j), std::pow(kEps, 0.9) * infwtmax);
}

// Moves the linear rows of the working set to its front, in their order,
// and sets Asize from the row norms.  Returns the position of the first
// nonlinear row (nactiv + 1 when there is none).
int linear_rows_first(QpSub& s) {
  double asize = 0.0;
  int k1 = 0;
  s.linact = 0;
  for (int k = 1; k <= s.nactiv; ++k) {
    const int i = s.wslist(k);
    asize = std::max(asize, s.rownorm(i));
    if (i > s.nclin) {
      if (k1 == 0) k1 = k;
    } else {
      ++s.linact;
      if (s.linact != k) std::swap(s.wslist(k), s.wslist(s.linact));
    }
  }
  if (k1 == 0) k1 = s.nactiv + 1;
  if (s.nactiv <= 1)
    for (int i = 1; i <= s.ncqp; ++i) asize = std::max(asize, s.rownorm(i));
  E4QPST.asize = asize;
  return k1;
}

// Orders the nonlinear rows of the working set by descending violation
// (held in dx), by straight insertion: a row moves left only past strictly
// smaller violations, so equal ones keep their order.
void sort_by_violation(QpSub& s) {
  for (int k = s.linact + 1; k <= s.nactiv; ++k) {
    const int j = s.n + s.wslist(k);
    s.dx(k) = s.istate(j) == 1 ? std::abs(s.qplo(j)) : s.istate(j) >= 2 ? std::abs(s.qphi(j)) : 0.0;
  }
  for (int k = s.linact + 2; k <= s.nactiv; ++k) {
    const double v = s.dx(k);
    const int row = s.wslist(k);
    int i = k - 1;
    while (i > s.linact && s.dx(i) < v) {
      s.dx(i + 1) = s.dx(i);
      s.wslist(i + 1) = s.wslist(i);
      --i;
    }
    s.dx(i + 1) = v;
    s.wslist(i + 1) = row;
  }
}

// The rows wslist(k1..k2) added to the factors one at a time (E04NCV);
// a row the factors refuse leaves the working set (state 0), and the rows
// kept move forward in their order.
void add_rows(QpSub& s, int k1, int k2, double condlim) {
  const Mat1<double> T(s.ts, s.ldT);
  E4QPST.dtmax = 0.0;
  E4QPST.dtmin = 1.0;
  for (int i = 1; i <= s.nactiv; ++i) {
    const double d = std::abs(T(i, s.nfree - i + 1));
    E4QPST.dtmax = i == 1 ? d : std::max(E4QPST.dtmax, d);
    E4QPST.dtmin = i == 1 ? d : std::min(E4QPST.dtmin, d);
  }
  for (int k = k1; k <= k2; ++k) {
    if (s.nactiv >= s.nfree) continue;
    const int iadd = s.wslist(k);
    const int jadd = s.n + iadd;
    int info = 0;
    E04NCV(s.unitQ, info, 0, iadd, jadd, s.nactiv, s.nZ, s.nfree, s.nrank, 0, 1, s.n, s.ldqpm, s.ldZY, s.ldR, s.ldT,
           s.kxs, condlim, s.qpmats, s.rs, s.ts, s.rsteps, s.gqs, s.zys, wspart(s.w, s.loc.px, s.n),
           wspart(s.w, s.loc.hz, s.n), wspart(s.w, s.loc.wsmult, s.n));
    if (info == 0) {
      ++s.nactiv;
      --s.nZ;
    } else {
      s.istate(jadd) = 0;
      s.wslist(k) = -s.wslist(k);
    }
  }
  if (s.nactiv < k2) {
    int next = k1;
    for (int k = k1; k <= k2; ++k)
      if (s.wslist(k) >= 0) {
        std::swap(s.wslist(next), s.wslist(k));
        ++next;
      }
  }
}

// The Jacobian rows of qpmat are reloaded, and the nonlinear rows of the
// working set are taken out of the factors and added again, the most
// violated first (rows the factors cannot take leave the working set).
void refactorize_nonlinear_rows(QpSub& s, double condlim) {
  MATCPY("General", s.nnlcon, s.n, s.cjacs, s.ldjac, s.qpmats.subspan(static_cast<std::size_t>(s.nclin)), s.ldqpm);
  for (int i = s.nclin + 1; i <= s.ncqp; ++i) s.rownorm(i) = ssq_norm2(s.n, s.qpmat.ptr(i, 1), s.ldqpm);

  const int k1 = linear_rows_first(s);
  sort_by_violation(s);

  const int k2 = s.nactiv;
  s.nactiv = k1 - 1;
  s.nZ = s.nfree - s.nactiv;
  add_rows(s, k1, k2, condlim);
}

// The range-space step onto the working set.
void range_step(QpSub& s) {
  E04UCM(s.unitQ, s.ncqp, s.nactiv, s.nfree, s.nZ, s.n, s.nlnx, s.nctotl, s.ldZY, s.ldqpm, s.ldR, s.ldT, s.istates,
         s.wslists, s.kxs, s.stepnorm, s.gdir, s.qpmats, s.adirs, s.qplos, s.qphis, s.rsteps, s.rstep0s, s.dxs, s.gqs,
         s.rs, s.ts, s.zys, s.wrks, s.trace);
}

// The QP iterations; a bound or linear row left violated restarts them once
// from an empty working set.  Returns the QP's ssq.
double solve_qp(QpSub& s) {
  E4qpst& q = E4QPST;
  q.itmax1 = E4WORK.itmax2;
  q.itmax2 = E4WORK.itmax2;
  q.msglvl = E4WORK.msgqp;
  q.idbg = 0;
  q.bigbnd = s.bigbnd;
  q.bigdx = E4WORK.bigdx;
  q.tolrank = E4WORK.tolrank;
  // E04NCZ carries g'p and |p| along as its ctx and xnorm, from the values
  // E04UCM gives the range-space step.
  double ssq = 0.0, suminf = 0.0;
  int nZ1 = 0;
  s.qpiters = 0;
  for (int tries = 1; tries <= 2;) {
    E04NCZ("QP subproblem", false, {}, true, s.unitQ, s.nQPerr, s.qpiters, s.nplin, s.ncqp, s.nctotl, s.nactiv,
           s.nfree, s.nrank, s.nZ, nZ1, s.n, s.ldqpm, s.ldR, s.istates, s.wslists, s.kxs, s.gdir, ssq, 0.0, suminf,
           s.ninf, s.stepnorm, s.qplos, s.qphis, s.qpmats, s.mults, s.adirs, s.qpftols, s.rs, s.dxs, s.w, s.loc);
    if (s.trace) put_records(advisory_unit(), "(/a,i6)", {" //E04UCU // NQPERR", s.nQPerr});
    if (s.ninf <= 0) break;
    int nviol = 0;
    for (int j = 1; j <= s.nplin; ++j)
      if (s.istate(j) < 0) ++nviol;
    if (nviol == 0) break;
    ++tries;
    s.unitQ = true;
    s.nactiv = 0;
    s.nfree = s.n;
    s.nZ = s.n;
    for (int j = 1; j <= s.nctotl; ++j) s.istate(j) = 0;
    range_step(s);
  }
  return ssq;
}

// Signs of the nonlinear multipliers (>= 0 at a lower bound, <= 0 at an
// upper one) and the counts of the final working set's rows; the products
// with the step change to R p and H p - g.
void sign_multipliers(QpSub& s, double ssq) {
  s.nlnact = 0;
  for (int k = 1; k <= s.nactiv; ++k) {
    const int row = s.wslist(k);
    if (row <= s.nclin) continue;
    ++s.nlnact;
    const int j = s.n + row;
    if (s.istate(j) == 1) s.mult(j) = std::max(0.0, s.mult(j));
    if (s.istate(j) == 2) s.mult(j) = std::min(0.0, s.mult(j));
  }
  s.linact = s.nactiv - s.nlnact;
  for (int k = 1; k <= s.n; ++k) {
    s.rstep(k) = -s.rstep(k);
    s.hstep(k) -= s.gq(k);
  }
  s.qpcurv = 2.0 * ssq;
}

// The null-space part of the step of an infeasible subproblem: in the basis
// of Q, the first nZ elements of dx minimise the QP with the range-space
// part fixed (Rz' v = gz, then Rz u = -(v + rstep_z)); rstep, g'dx, dx'Hdx,
// |dx| and qpmat dx follow.
void null_space_step(QpSub& s) {
  const Vec1<double>& dx = s.dx;
  const Mat1<double>& R = s.R;
  const int nZ = s.nZ;
  FACMUL(6, s.n, nZ, s.nfree, s.ldZY, s.unitQ, s.kxs, s.dxs, s.zys, s.wrks);
  for (int k = 1; k <= nZ; ++k) dx(k) = s.gq(k);
  for (int k = 1; k <= nZ; ++k) {
    double t = dx(k);
    for (int i = 1; i < k; ++i) t -= R(i, k) * dx(i);
    dx(k) = t / R(k, k);
  }
  for (int k = 1; k <= nZ; ++k) dx(k) += s.rstep(k);
  for (int k = nZ; k >= 1; --k) {
    double t = dx(k);
    for (int i = k + 1; i <= nZ; ++i) t -= R(k, i) * dx(i);
    dx(k) = t / R(k, k);
  }
  for (int k = 1; k <= nZ; ++k) dx(k) = -dx(k);

  for (int i = 1; i <= s.nlnx; ++i) {
    double t = 0.0;
    for (int k = i; k <= s.n; ++k) t += R(i, k) * dx(k);
    s.rstep(i) = t;
  }
  s.gdir = 0.0;
  for (int k = 1; k <= s.n; ++k) s.gdir += s.gq(k) * dx(k);
  s.qpcurv = 0.0;
  for (int i = 1; i <= s.nlnx; ++i) s.qpcurv += s.rstep(i) * s.rstep(i);

  FACMUL(3, s.n, nZ, s.nfree, s.ldZY, s.unitQ, s.kxs, s.dxs, s.zys, s.wrks);
  s.stepnorm = ssq_norm2(s.n, dx.ptr(), 1);
  for (int i = 1; i <= s.ncqp; ++i) {
    double t = 0.0;
    for (int k = 1; k <= s.n; ++k) t += s.qpmat(i, k) * dx(k);
    s.adir(i) = t;
  }
  if (s.trace)
    put_records(advisory_unit(), "(/a/(5g12.3))",
                {" //E04UCU // DX recomputed with null space portion...",
                        std::span<const double>(dx.ptr(), static_cast<std::size_t>(s.n))});
}

// An infeasible subproblem: no multipliers, and the step takes the
// null-space part that minimises the QP with its range-space part fixed;
// hstep := R' rstep over the nonlinear variables.
void infeasible_step(QpSub& s) {
  s.qpfeasible = false;
  for (int j = 1; j <= s.nctotl; ++j) s.mult(j) = 0.0;
  if (s.nZ > 0) null_space_step(s);
  for (int k = 1; k <= s.n; ++k) {
    double t = 0.0;
    const int last = std::min(k, s.nlnx);
    for (int i = 1; i <= last; ++i) t += s.R(i, k) * s.rstep(i);
    s.hstep(k) = t;
  }
}

// Slacks of the nonlinear rows and the slack and multiplier directions
// (penalties raised to 1 where an infeasible subproblem violates a row
// without one).
void slacks_and_directions(QpSub& s) {
  const double scale = E4MERT.scale;
  for (int i = 1; i <= s.nnlcon; ++i) {
    const int j = s.nplin + i;
    const double con = s.c(i);
    if (!s.qpfeasible && s.nlviol(i) != 0.0 && s.rho(i) <= 0.0) s.rho(i) = 1.0;
    bool overflow = false;
    const double ratioq = SAFDIV(s.nlmult(i), scale * s.rho(i), overflow);
    if (s.bl(j) > s.biglow && s.qplo(j) >= -ratioq)
      s.slackv(i) = s.bl(j);
    else if (s.bu(j) < s.bigupp && s.qphi(j) <= -ratioq)
      s.slackv(i) = s.bu(j);
    else
      s.slackv(i) = con - ratioq;
    s.cs(i) = con - s.slackv(i);
    s.dslack(i) = s.cs(i) + s.adir(s.nclin + i);
    if (s.qpfeasible) {
      s.dmult(i) = s.mult(j) - s.nlmult(i);
      if (s.dmult(i) * s.cs(i) >= 0.0) {
        s.nlmult(i) = s.mult(j);
        s.dmult(i) = 0.0;
      }
    } else {
      s.dmult(i) = 0.0;
      if (s.istate(j) < 0 || s.nlviol(i) != 0.0) s.dslack(i) = 0.0;
    }
  }
  if (!s.qpfeasible) E4MERT.rhonrm = ssq_norm2(s.nnlcon, s.rho.ptr(), 1);
  if (s.trace) {
    put_records(advisory_unit(), "(/a/(1p,5d15.6))",
                {" //E04UCU // Violations = ",
                        std::span<const double>(s.nlviol.ptr(), static_cast<std::size_t>(s.nnlcon))});
    put_records(advisory_unit(), "(/a/(1p,5d15.6))",
                {" //E04UCU // Slacks     = ",
                        std::span<const double>(s.slackv.ptr(), static_cast<std::size_t>(s.nnlcon))});
  }
}

}  // namespace

void E04UCU(bool& qpfeasible, bool& unitQ, int& nQPerr, int majits, int& qpiters, int n, int nclin, int nnlcon,
           int ldjac, int ldqpm, int ldR, int& linact, int& nlnact, int& nactiv, int& nfree, int& nZ, int& ninf,
           std::span<int> istates, std::span<int> wslists, std::span<int> kxs, double& stepnorm, double& gdir,
           double& qpcurv, std::span<double> qpmats, std::span<double> adirs, std::span<double> rownorms,
           std::span<const double> axs, std::span<const double> bls, std::span<const double> bus,
           std::span<const double> cs_, std::span<const double> cjacs, std::span<double> mults,
           std::span<double> nlmults, std::span<double> css, std::span<double> dmults, std::span<double> dslacks,
           std::span<double> dxs, std::span<double> qplos, std::span<double> qphis,
           std::span<const double> qpftols, std::span<double> rs, std::span<double> rhos,
           std::span<double> slackvs, std::span<double> nlviols, std::span<const double> xs,
           std::span<double> infwts, std::span<int> iw, std::span<double> w, const optim::Lsloc& loc, bool debug) {
  (void)iw;
  QpSub s{.qpfeasible = qpfeasible, .unitQ = unitQ, .nQPerr = nQPerr, .qpiters = qpiters, .n = n, .nclin = nclin,
          .nnlcon = nnlcon, .ldjac = ldjac, .ldqpm = ldqpm, .ldR = ldR, .linact = linact, .nlnact = nlnact,
          .nactiv = nactiv, .nfree = nfree, .nZ = nZ, .ninf = ninf, .istates = istates, .wslists = wslists,
          .kxs = kxs, .stepnorm = stepnorm, .gdir = gdir, .qpcurv = qpcurv, .qpmats = qpmats, .adirs = adirs,
          .rownorms = rownorms, .axs = axs, .bls = bls, .bus = bus, .cvals = cs_, .cjacs = cjacs, .mults = mults,
          .nlmults = nlmults, .css = css, .dmults = dmults, .dslacks = dslacks, .dxs = dxs, .qplos = qplos,
          .qphis = qphis, .qpftols = qpftols, .rs = rs, .rhos = rhos, .slackvs = slackvs, .nlviols = nlviols,
          .xs = xs, .infwts = infwts, .w = w, .loc = loc, .trace = debug};

  // Settings of this call.
  qpfeasible = true;
  (void)majits;
  E4QPST.debug = s.trace;

  // Bounds of the QP and the weights of the infeasibilities.
  set_qp_bounds(s);

  // With nonlinear rows, their factors are rebuilt under the condition
  // limit of the factor updates; otherwise the factors of the previous
  // subproblem stand.
  if (nnlcon > 0) refactorize_nonlinear_rows(s, std::max(1.0 / std::pow(kEps, 0.33), 100.0));

  // The range-space step onto the working set, then the QP iterations.
  range_step(s);
  const double ssq = solve_qp(s);

  // Signs of the nonlinear multipliers; the products with the step.
  sign_multipliers(s, ssq);

  // An infeasible subproblem: no multipliers, and a step with a null-space part.
  if (nnlcon > 0 && ninf > 0) infeasible_step(s);

  // Slacks and the slack and multiplier directions.
  if (nnlcon > 0) slacks_and_directions(s);
}

}  // namespace qv::optim_alt
