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
  const Vec1<int> istate(istates), wslist(wslists);
  const Vec1<const double> ax(axs), bl(bls), bu(bus), c(cs_), qpftol(qpftols), x(xs);
  const Vec1<double> adir(adirs), rownorm(rownorms), mult(mults), nlmult(nlmults), cs(css), dmult(dmults),
      dslack(dslacks), dx(dxs), qplo(qplos), qphi(qphis), rho(rhos), slackv(slackvs), nlviol(nlviols),
      infwt(infwts);
  const Mat1<double> qpmat(qpmats, ldqpm), R(rs, ldR);
  const Mat1<const double> cjac(cjacs, ldjac);

  const int nplin = n + nclin;
  const int nctotl = nplin + nnlcon;
  const int ncqp = nclin + nnlcon;
  const int nrank = n;
  const int ldT = loc.ldt, ldZY = loc.ldzy;
  // The nonlinear variables: n unless the slot holds a count in 0..n.
  const int nlnx_slot = NPOPTS.inp(slot::kNonlinVars);
  const int nlnx = nlnx_slot >= 0 && nlnx_slot <= n ? nlnx_slot : n;
  const double bigbnd = NPOPTS.rls(slot::kInfiniteBound);
  const double biglow = -bigbnd, bigupp = bigbnd;
  const int nprint = NPOPTS.ils(slot::kPrintFile);
  const int nsumm = NPOPTS.ils(slot::kSummaryFile);
  const int msgqp = NPOPTS.ils(slot::kMinorPrintLevel);
  const Npprec& prec = NPPREC;
  const bool trace = trace_unit > 0;

  // The QP vectors in w.
  const Vec1<double> rstep(wspart(w, loc.res, n)), hstep(wspart(w, loc.gq, n)), gq(wspart(w, loc.cq, n));
  const std::span<double> rsteps = wspart(w, loc.res, n), rstep0s = wspart(w, loc.res0, n);
  const std::span<double> gqs = wspart(w, loc.cq, n), wrks = wspart(w, loc.wrk, nctotl);
  const std::span<double> ts = w.subspan(static_cast<std::size_t>(loc.t - 1));
  const std::span<double> zys = w.subspan(static_cast<std::size_t>(loc.zy - 1));

  // 1. Settings of this call.
  qpfeasible = true;
  if (msgqp > 0) {
    const std::string dashes = " " + std::string(128, '-');
    if (nprint > 0) runtime::write_fmt(nprint, "(a/a,i4)", {dashes, " Start of major itn", majits});
    if (nsumm > 0)
      runtime::write_fmt(nsumm, "(/a/a,i4)", {" " + std::string(64, '-'), " Start of major itn", majits});
  }
  LSPRNT.iprint = nprint;
  LSPRNT.trace = trace;

  // 2. Bounds of the QP on p, violations of the nonlinear rows and the
  // weights of the infeasibilities.
  double infscale = -1.0;
  for (int j = 1; j <= nctotl; ++j) {
    const double con = j <= n ? x(j) : j <= nplin ? ax(j - n) : c(j - nplin);
    double lodist = bl(j) > biglow ? bl(j) - con : bl(j);
    double hidist = bu(j) < bigupp ? bu(j) - con : bu(j);
    double weight = 1.0;
    if (j <= nplin) {
      if (std::abs(lodist) <= qpftol(j)) lodist = 0.0;
      if (std::abs(hidist) <= qpftol(j)) hidist = 0.0;
    } else {
      const int i = j - nplin;
      double viol = 0.0;
      if (bl(j) > biglow && lodist > 0.0) {
        viol = lodist;
        weight = rho(i) > 0.0 ? rho(i) * lodist : lodist;
      } else if (bu(j) < bigupp && hidist < 0.0) {
        viol = hidist;
        weight = rho(i) > 0.0 ? -hidist * rho(i) : -hidist;
      }
      if (viol != 0.0) infscale = std::max(infscale, weight);
      nlviol(i) = viol;
    }
    infwt(j) = weight;
    qplo(j) = lodist;
    qphi(j) = hidist;
  }
  if (infscale > 0.0)
    for (int j = 1; j <= nctotl; ++j) infwt(j) *= 1.0 / infscale;
  double infwtmax = 0.0;
  for (int j = 1; j <= nctotl; ++j) infwtmax = std::max(infwtmax, std::abs(infwt(j)));
  for (int j = 1; j <= nctotl; ++j) infwt(j) = std::max(infwt(j), prec.epspt9 * infwtmax);

  // 3. Condition limit of the factor updates.
  const double condlim = std::max(1.0 / prec.epspt3, 100.0);

  // 4. The nonlinear rows of the working set are taken out of the factors
  // and added again, the most violated first.
  if (nnlcon > 0) {
    MATCPY("General", nnlcon, n, cjacs, ldjac, qpmats.subspan(static_cast<std::size_t>(nclin)), ldqpm);
    for (int i = nclin + 1; i <= ncqp; ++i) rownorm(i) = ssq_norm2(n, qpmat.ptr(i, 1), ldqpm);

    double asize = 0.0;
    int k1 = 0;
    linact = 0;
    for (int k = 1; k <= nactiv; ++k) {
      const int i = wslist(k);
      asize = std::max(asize, rownorm(i));
      if (i > nclin) {
        if (k1 == 0) k1 = k;
      } else {
        ++linact;
        if (linact != k) std::swap(wslist(k), wslist(linact));
      }
    }
    if (k1 == 0) k1 = nactiv + 1;
    if (nactiv <= 1)
      for (int i = 1; i <= ncqp; ++i) asize = std::max(asize, rownorm(i));
    LSCOND.asize = asize;

    // Straight insertion by descending violation: a row moves left only
    // past strictly smaller violations, so equal ones keep their order.
    for (int k = linact + 1; k <= nactiv; ++k) {
      const int j = n + wslist(k);
      dx(k) = istate(j) == 1 ? std::abs(qplo(j)) : istate(j) >= 2 ? std::abs(qphi(j)) : 0.0;
    }
    for (int k = linact + 2; k <= nactiv; ++k) {
      const double v = dx(k);
      const int row = wslist(k);
      int i = k - 1;
      while (i > linact && dx(i) < v) {
        dx(i + 1) = dx(i);
        wslist(i + 1) = wslist(i);
        --i;
      }
      dx(i + 1) = v;
      wslist(i + 1) = row;
    }

    const int k2 = nactiv;
    nactiv = k1 - 1;
    nZ = nfree - nactiv;
    int inform = 0, nartif = 0, nrej = 0;
    WSFACT(unitQ, false, inform, k1, k2, nactiv, nartif, nZ, nfree, nrank, nrej, 0, 1, n, ldZY, ldqpm, ldR, ldT,
           istates, wslists, kxs, condlim, qpmats, rs, ts, rsteps, gqs, zys, wspart(w, loc.px, n),
           wspart(w, loc.hz, n), wspart(w, loc.wsmult, n));
  }

  // 5. The range-space step onto the working set.
  auto range_step = [&] {
    npsetx(unitQ, ncqp, nactiv, nfree, nZ, n, nlnx, nctotl, ldZY, ldqpm, ldR, ldT, istates, wslists, kxs, stepnorm,
           gdir, qpmats, adirs, qplos, qphis, rsteps, rstep0s, dxs, gqs, rs, ts, zys, wrks, trace_unit);
  };
  range_step();

  // 6. The QP iterations; a bound or linear row left violated restarts
  // them once from an empty working set.
  Lsctl ctl;
  ctl.itmax1 = NPOPTS.ils(slot::kMinorIterations);
  ctl.itmax2 = ctl.itmax1;
  ctl.msglvl = msgqp;
  ctl.idbg = 0;
  ctl.bigbnd = bigbnd;
  ctl.bigdx = NPOPTS.rls(slot::kInfiniteStep);
  ctl.tolrank = NPOPTS.rls(slot::kRankTol);
  // lscore carries g'p and |p| along as its ctx and xnorm, from the values
  // npsetx gives the range-space step.
  double ssq = 0.0, suminf = 0.0;
  int nZ1 = 0;
  qpiters = 0;
  for (int tries = 1; tries <= 2;) {
    lscore("QP subproblem", false, {}, true, unitQ, nQPerr, qpiters, nplin, ncqp, nctotl, nactiv, nfree, nrank, nZ,
           nZ1, n, ldqpm, ldR, istates, wslists, kxs, gdir, ssq, 0.0, suminf, ninf, stepnorm, qplos, qphis, qpmats,
           mults, adirs, qpftols, rs, dxs, w, loc, ctl);
    if (trace) runtime::write_fmt(trace_unit, "(/a/a,i6)", {" //npiqp // nQPerr", " //npiqp // ", nQPerr});
    if (ninf <= 0) break;
    int nviol = 0;
    for (int j = 1; j <= nplin; ++j)
      if (istate(j) < 0) ++nviol;
    if (nviol == 0) break;
    ++tries;
    unitQ = true;
    nactiv = 0;
    nfree = n;
    nZ = n;
    for (int j = 1; j <= nctotl; ++j) istate(j) = 0;
    range_step();
  }

  // 7. Signs of the nonlinear multipliers; the products with the step.
  nlnact = 0;
  for (int k = 1; k <= nactiv; ++k) {
    const int row = wslist(k);
    if (row <= nclin) continue;
    ++nlnact;
    const int j = n + row;
    if (istate(j) == 1) mult(j) = std::max(0.0, mult(j));
    if (istate(j) == 2) mult(j) = std::min(0.0, mult(j));
  }
  linact = nactiv - nlnact;
  for (int k = 1; k <= n; ++k) {
    rstep(k) = -rstep(k);
    hstep(k) -= gq(k);
  }
  qpcurv = 2.0 * ssq;

  // 8. An infeasible subproblem: no multipliers, and the step takes the
  // null-space part that minimises the QP with its range-space part fixed.
  if (nnlcon > 0 && ninf > 0) {
    qpfeasible = false;
    for (int j = 1; j <= nctotl; ++j) mult(j) = 0.0;
    if (nZ > 0) {
      FACMUL(6, n, nZ, nfree, ldZY, unitQ, kxs, dxs, zys, wrks);
      // Rz' v = gz, then Rz u = -(v + rstep_z).
      for (int k = 1; k <= nZ; ++k) dx(k) = gq(k);
      for (int k = 1; k <= nZ; ++k) {
        double s = dx(k);
        for (int i = 1; i < k; ++i) s -= R(i, k) * dx(i);
        dx(k) = s / R(k, k);
      }
      for (int k = 1; k <= nZ; ++k) dx(k) += rstep(k);
      for (int k = nZ; k >= 1; --k) {
        double s = dx(k);
        for (int i = k + 1; i <= nZ; ++i) s -= R(k, i) * dx(i);
        dx(k) = s / R(k, k);
      }
      for (int k = 1; k <= nZ; ++k) dx(k) = -dx(k);

      for (int i = 1; i <= nlnx; ++i) {
        double s = 0.0;
        for (int k = i; k <= n; ++k) s += R(i, k) * dx(k);
        rstep(i) = s;
      }
      gdir = 0.0;
      for (int k = 1; k <= n; ++k) gdir += gq(k) * dx(k);
      qpcurv = 0.0;
      for (int i = 1; i <= nlnx; ++i) qpcurv += rstep(i) * rstep(i);

      FACMUL(3, n, nZ, nfree, ldZY, unitQ, kxs, dxs, zys, wrks);
      stepnorm = ssq_norm2(n, dx.ptr(), 1);
      for (int i = 1; i <= ncqp; ++i) {
        double s = 0.0;
        for (int k = 1; k <= n; ++k) s += qpmat(i, k) * dx(k);
        adir(i) = s;
      }
      if (trace)
        runtime::write_fmt(trace_unit, "(/a/(5g12.3))",
                           {" //npiqp // dx recomputed with null space portion...",
                            std::span<const double>(dx.ptr(), static_cast<std::size_t>(n))});
    }
    for (int k = 1; k <= n; ++k) {
      double s = 0.0;
      const int last = std::min(k, nlnx);
      for (int i = 1; i <= last; ++i) s += R(i, k) * rstep(i);
      hstep(k) = s;
    }
  }

  // 9. Slacks and the slack and multiplier directions.
  if (nnlcon > 0) {
    const double scale = NPMERT.scale;
    for (int i = 1; i <= nnlcon; ++i) {
      const int j = nplin + i;
      const double con = c(i);
      if (!qpfeasible && nlviol(i) != 0.0 && rho(i) <= 0.0) rho(i) = 1.0;
      bool overflow = false;
      const double ratioq = SAFDIV(nlmult(i), scale * rho(i), overflow);
      if (bl(j) > biglow && qplo(j) >= -ratioq)
        slackv(i) = bl(j);
      else if (bu(j) < bigupp && qphi(j) <= -ratioq)
        slackv(i) = bu(j);
      else
        slackv(i) = con - ratioq;
      cs(i) = con - slackv(i);
      dslack(i) = cs(i) + adir(nclin + i);
      if (qpfeasible) {
        dmult(i) = mult(j) - nlmult(i);
        if (dmult(i) * cs(i) >= 0.0) {
          nlmult(i) = mult(j);
          dmult(i) = 0.0;
        }
      } else {
        dmult(i) = 0.0;
        if (istate(j) < 0 || nlviol(i) != 0.0) dslack(i) = 0.0;
      }
    }
    if (!qpfeasible) NPMERT.rhonrm = ssq_norm2(nnlcon, rho.ptr(), 1);
    if (trace) {
      runtime::write_fmt(trace_unit, "(/a/(1p,5e15.6))",
                         {" //npiqp // Violations = ",
                          std::span<const double>(nlviol.ptr(), static_cast<std::size_t>(nnlcon))});
      runtime::write_fmt(trace_unit, "(/a/(1p,5e15.6))",
                         {" //npiqp // Slacks     = ",
                          std::span<const double>(slackv.ptr(), static_cast<std::size_t>(nnlcon))});
    }
  }
}

}  // namespace qv::optim
