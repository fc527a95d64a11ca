#include "optim/npiqp.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "optim/facutil.hpp"
#include "optkern/kernels.hpp"
#include "optim/npmrt.hpp"
#include "optim/npwset.hpp"
#include "optim/options.hpp"
#include "optkern/rotations.hpp"
#include "optim/workset.hpp"
#include "optim/wsutil.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

namespace qv::optim {

using namespace optkern;
using runtime::Mat1;
using runtime::Vec1;

Lsloc npiqp_loc(const Npwloc& wl, int n) {
  Lsloc loc;
  loc.rownorm = wl.anorm;
  loc.ap = wl.vc2;
  loc.px = wl.vn3[0];
  loc.gq = wl.vn1[1];
  loc.cq = wl.vn1[2];
  loc.res = wl.vn2[0];
  loc.res0 = wl.vn2[1];
  loc.hz = wl.vn2[2];
  loc.wsmult = wl.vn2[3];
  loc.t = wl.t;
  loc.zy = wl.zy;
  loc.infwt = wl.vt1[0];
  loc.wrk = wl.vt1[1];
  loc.featol = wl.vt1[2];
  loc.ax = wl.vc1;
  loc.ldt = wl.ldt;
  loc.ldzy = wl.ldzy;
  loc.tcols = n;
  return loc;
}

namespace {

// The nonlinear variables: n unless the option slot holds a count in 0..n.
int nonlinear_variables(int n) {
  const int nlnx = NPOPTS.inp(slot::kNonlinVars);
  return nlnx >= 0 && nlnx <= n ? nlnx : n;
}

// One call of npiqp, shared by its steps: its arguments (the caller's
// counts and scalars by reference), the sizes and settings taken from them,
// and views of the arrays and of the QP vectors in w.
struct QpSub {
  // The arguments, in the order of npiqp's.
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
  const Lsloc& loc;
  const int trace_unit;

  // Sizes and settings.
  const int nplin = n + nclin;       // bounds and linear rows
  const int nctotl = nplin + nnlcon;  // all constraint indices
  const int ncqp = nclin + nnlcon;    // rows of qpmat
  const int nrank = n;
  const int ldT = loc.ldt, ldZY = loc.ldzy;
  const int nlnx = nonlinear_variables(n);
  const double bigbnd = NPOPTS.rls(slot::kInfiniteBound);
  const double biglow = -bigbnd, bigupp = bigbnd;
  const bool trace = trace_unit > 0;

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

// The header of the major iteration's QP log, at a positive minor print
// level.
void write_major_header(int majits) {
  const int nprint = NPOPTS.ils(slot::kPrintFile);
  const int nsumm = NPOPTS.ils(slot::kSummaryFile);
  if (NPOPTS.ils(slot::kMinorPrintLevel) <= 0) return;
  const std::string dashes = " " + std::string(128, '-');
  if (nprint > 0) runtime::write_fmt(nprint, "(a/a,i4)", {dashes, " Start of major itn", majits});
  if (nsumm > 0) runtime::write_fmt(nsumm, "(/a/a,i4)", {" " + std::string(64, '-'), " Start of major itn", majits});
}

// Bounds of the QP on p, violations of the nonlinear rows and the weights of
// the infeasibilities (scaled by the largest weight of a violated row, and
// kept above eps^0.9 times the largest weight).
void set_qp_bounds(QpSub& s) {
  const Npprec& prec = NPPREC;
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
  for (int j = 1; j <= s.nctotl; ++j) s.infwt(j) = std::max(s.infwt(j), prec.epspt9 * infwtmax);
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
  LSCOND.asize = asize;
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
  int inform = 0, nartif = 0, nrej = 0;
  WSFACT(s.unitQ, false, inform, k1, k2, s.nactiv, nartif, s.nZ, s.nfree, s.nrank, nrej, 0, 1, s.n, s.ldZY, s.ldqpm,
         s.ldR, s.ldT, s.istates, s.wslists, s.kxs, condlim, s.qpmats, s.rs, s.ts, s.rsteps, s.gqs, s.zys,
         wspart(s.w, s.loc.px, s.n), wspart(s.w, s.loc.hz, s.n), wspart(s.w, s.loc.wsmult, s.n));
}

// The range-space step onto the working set.
void range_step(QpSub& s) {
  npsetx(s.unitQ, s.ncqp, s.nactiv, s.nfree, s.nZ, s.n, s.nlnx, s.nctotl, s.ldZY, s.ldqpm, s.ldR, s.ldT, s.istates,
         s.wslists, s.kxs, s.stepnorm, s.gdir, s.qpmats, s.adirs, s.qplos, s.qphis, s.rsteps, s.rstep0s, s.dxs, s.gqs,
         s.rs, s.ts, s.zys, s.wrks, s.trace_unit);
}

// The QP iterations; a bound or linear row left violated restarts them once
// from an empty working set.  Returns the QP's ssq.
double solve_qp(QpSub& s) {
  Lsctl ctl;
  ctl.itmax1 = NPOPTS.ils(slot::kMinorIterations);
  ctl.itmax2 = ctl.itmax1;
  ctl.msglvl = NPOPTS.ils(slot::kMinorPrintLevel);
  ctl.idbg = 0;
  ctl.bigbnd = s.bigbnd;
  ctl.bigdx = NPOPTS.rls(slot::kInfiniteStep);
  ctl.tolrank = NPOPTS.rls(slot::kRankTol);
  // lscore carries g'p and |p| along as its ctx and xnorm, from the values
  // npsetx gives the range-space step.
  double ssq = 0.0, suminf = 0.0;
  int nZ1 = 0;
  s.qpiters = 0;
  for (int tries = 1; tries <= 2;) {
    lscore("QP subproblem", false, {}, true, s.unitQ, s.nQPerr, s.qpiters, s.nplin, s.ncqp, s.nctotl, s.nactiv,
           s.nfree, s.nrank, s.nZ, nZ1, s.n, s.ldqpm, s.ldR, s.istates, s.wslists, s.kxs, s.gdir, ssq, 0.0, suminf,
           s.ninf, s.stepnorm, s.qplos, s.qphis, s.qpmats, s.mults, s.adirs, s.qpftols, s.rs, s.dxs, s.w, s.loc, ctl);
    if (s.trace) runtime::write_fmt(s.trace_unit, "(/a/a,i6)", {" //npiqp // nQPerr", " //npiqp // ", s.nQPerr});
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
    runtime::write_fmt(s.trace_unit, "(/a/(5g12.3))",
                       {" //npiqp // dx recomputed with null space portion...",
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
  const double scale = NPMERT.scale;
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
  if (!s.qpfeasible) NPMERT.rhonrm = ssq_norm2(s.nnlcon, s.rho.ptr(), 1);
  if (s.trace) {
    runtime::write_fmt(s.trace_unit, "(/a/(1p,5e15.6))",
                       {" //npiqp // Violations = ",
                        std::span<const double>(s.nlviol.ptr(), static_cast<std::size_t>(s.nnlcon))});
    runtime::write_fmt(s.trace_unit, "(/a/(1p,5e15.6))",
                       {" //npiqp // Slacks     = ",
                        std::span<const double>(s.slackv.ptr(), static_cast<std::size_t>(s.nnlcon))});
  }
}

}  // namespace

void npiqp(bool& qpfeasible, bool& unitQ, int& nQPerr, int majits, int& qpiters, int n, int nclin, int nnlcon,
           int ldjac, int ldqpm, int ldR, int& linact, int& nlnact, int& nactiv, int& nfree, int& nZ, int& ninf,
           std::span<int> istates, std::span<int> wslists, std::span<int> kxs, double& stepnorm, double& gdir,
           double& qpcurv, std::span<double> qpmats, std::span<double> adirs, std::span<double> rownorms,
           std::span<const double> axs, std::span<const double> bls, std::span<const double> bus,
           std::span<const double> cs_, std::span<const double> cjacs, std::span<double> mults,
           std::span<double> nlmults, std::span<double> css, std::span<double> dmults, std::span<double> dslacks,
           std::span<double> dxs, std::span<double> qplos, std::span<double> qphis,
           std::span<const double> qpftols, std::span<double> rs, std::span<double> rhos,
           std::span<double> slackvs, std::span<double> nlviols, std::span<const double> xs,
           std::span<double> infwts, std::span<int> iw, std::span<double> w, const Lsloc& loc, int trace_unit) {
  (void)iw;
  QpSub s{.qpfeasible = qpfeasible, .unitQ = unitQ, .nQPerr = nQPerr, .qpiters = qpiters, .n = n, .nclin = nclin,
          .nnlcon = nnlcon, .ldjac = ldjac, .ldqpm = ldqpm, .ldR = ldR, .linact = linact, .nlnact = nlnact,
          .nactiv = nactiv, .nfree = nfree, .nZ = nZ, .ninf = ninf, .istates = istates, .wslists = wslists,
          .kxs = kxs, .stepnorm = stepnorm, .gdir = gdir, .qpcurv = qpcurv, .qpmats = qpmats, .adirs = adirs,
          .rownorms = rownorms, .axs = axs, .bls = bls, .bus = bus, .cvals = cs_, .cjacs = cjacs, .mults = mults,
          .nlmults = nlmults, .css = css, .dmults = dmults, .dslacks = dslacks, .dxs = dxs, .qplos = qplos,
          .qphis = qphis, .qpftols = qpftols, .rs = rs, .rhos = rhos, .slackvs = slackvs, .nlviols = nlviols,
          .xs = xs, .infwts = infwts, .w = w, .loc = loc, .trace_unit = trace_unit};

  // Settings of this call.
  qpfeasible = true;
  write_major_header(majits);
  LSPRNT.iprint = NPOPTS.ils(slot::kPrintFile);
  LSPRNT.trace = s.trace;

  // Bounds of the QP and the weights of the infeasibilities.
  set_qp_bounds(s);

  // With nonlinear rows, their factors are rebuilt under the condition
  // limit of the factor updates; otherwise the factors of the previous
  // subproblem stand.
  if (nnlcon > 0) refactorize_nonlinear_rows(s, std::max(1.0 / NPPREC.epspt3, 100.0));

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

}  // namespace qv::optim
