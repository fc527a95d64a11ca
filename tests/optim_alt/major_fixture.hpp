// A cold start of the edition's major iterations for a test problem with
// bounds and nonlinear constraints (no linear rows): the steps the driver
// takes before E04UCZ (defaults, workspace, crash, feasibility phase,
// derivative set-up, nonlinear working set), then E04UCZ itself.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "../optim/hsproblems.hpp"
#include "optim/facutil.hpp"
#include "optim/lscore.hpp"
#include "optim/npiqp.hpp"
#include "optim_alt/derivset.hpp"
#include "optim_alt/major.hpp"
#include "optim_alt/merit.hpp"
#include "optim_alt/nlwset.hpp"
#include "optim_alt/options.hpp"
#include "optim_alt/qpsolve.hpp"
#include "optim_alt/wksp.hpp"
#include "optkern/kernels.hpp"
#include "optkern/rotations.hpp"

namespace qv::optim_alt::testing {

// Option lines for a run: print level, derivative level, no checks unless
// asked, and the problem's iteration limit.
inline void alt_options(int msglvl, int level, int major_limit, const std::vector<std::string>& extra = {}) {
  E04UEF("Nolist");
  E04UEF("Defaults");
  E04UEF("Major print level " + std::to_string(msglvl));
  E04UEF("Derivative level " + std::to_string(level));
  E04UEF("Verify No");
  if (major_limit > 0) E04UEF("Major iterations " + std::to_string(major_limit));
  for (const auto& l : extra) E04UEF(l);
}

struct AltRun {
  const optim::hs::Problem& p;
  int level;
  int n, m, nctotl;
  std::vector<double> bl, bu, alin, c, cjac, xmult, gobj, rfac, x, w, rusr;
  std::vector<int> istate, iw, iusr;
  std::vector<double> gwork, cwork, jwork;
  optim::Objfun objfun;
  optim::Cnlfun cnlfun;
  int nevals = 0;
  int negate_at = 0;  // the objective returns MODE -1 at this evaluation (0: never)

  int inform = 99, majits = 0, inflp = 0, derinfo = 0;
  double fobj = 0.0;
  E4major rec;

  AltRun(const optim::hs::Problem& prob, int lvl) : p(prob), level(lvl) {
    n = p.n;
    m = p.m;
    nctotl = n + m;
    bl.assign(p.bl.begin(), p.bl.begin() + nctotl);
    bu.assign(p.bu.begin(), p.bu.begin() + nctotl);
    alin.assign(static_cast<std::size_t>(n), 0.0);
    istate.assign(static_cast<std::size_t>(nctotl), 0);
    xmult.assign(static_cast<std::size_t>(nctotl), 0.0);
    c.assign(static_cast<std::size_t>(std::max(m, 1)), 0.0);
    cjac.assign(static_cast<std::size_t>(std::max(m, 1) * n), 0.0);
    gobj.assign(static_cast<std::size_t>(n), 0.0);
    rfac.assign(static_cast<std::size_t>(n * n), 0.0);
    x = p.x0;
    gwork.assign(static_cast<std::size_t>(n), 0.0);
    cwork.assign(static_cast<std::size_t>(std::max(m, 1)), 0.0);
    jwork.assign(static_cast<std::size_t>(std::max(m, 1) * n), 0.0);
    iusr.assign(1, 0);
    rusr.assign(1, 0.0);
    objfun = [this](int& mode, int nn, std::span<const double> xs, double& f, std::span<double> g, int,
                    std::span<int>, std::span<double>) {
      ++nevals;
      if (nevals == negate_at) {
        mode = -1;
        return;
      }
      double fv = 0.0;
      p.obj(xs.data(), fv, gwork.data());
      if (mode == 0 || mode == 2) f = fv;
      if (level == 3 && mode > 0) std::copy(gwork.begin(), gwork.begin() + nn, g.begin());
    };
    cnlfun = [this](int& mode, int mm, int nn, int ldj, std::span<const int> kneed, std::span<const double> xs,
                    std::span<double> cv, std::span<double> jac, int, std::span<int>, std::span<double>) {
      p.con(xs.data(), cwork.data(), jwork.data(), mm);
      for (int i = 0; i < mm; ++i) {
        if (kneed[static_cast<std::size_t>(i)] != 1) continue;
        if (mode == 0 || mode == 2) cv[static_cast<std::size_t>(i)] = cwork[static_cast<std::size_t>(i)];
        if (level == 3 && mode > 0)
          for (int j = 0; j < nn; ++j)
            jac[static_cast<std::size_t>(i + j * ldj)] = jwork[static_cast<std::size_t>(i + j * mm)];
      }
    };
  }

  // The set-up of a cold start and the major iterations.
  void solve() {
    const int nclin = 0, nplin = n;
    E4PRMS(n, nclin, m, " *** E04UCF");
    E4work& wk = E4WORK;
    wk.tolrank = 1.0 / wk.hcndbd;
    wk.rcndbd = std::sqrt(wk.hcndbd);
    int litotl = 0, lwtotl = 0;
    E4WKSP(n, nclin, m, nctotl, litotl, lwtotl);
    const optim::Npwloc L = E4WLOC;
    iw.assign(static_cast<std::size_t>(litotl), 0);
    w.assign(static_cast<std::size_t>(lwtotl), 0.0);
    auto ws = [&](int at, int len) { return optim::wspart(w, at, len); };
    auto is = [&](int at, int len) {
      return std::span<int>(iw).subspan(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(len));
    };
    const int ldt = L.ldt, ldzy = L.ldzy;
    const int tlen = m > 0 ? ldt * n : 0;

    // Feasibility tolerances and the weights of the infeasibilities.
    std::span<double> featol = ws(L.vt1[2], nctotl);
    for (int j = 0; j < nplin; ++j) featol[static_cast<std::size_t>(j)] = wk.tolfea;
    for (int j = nplin; j < nctotl; ++j) featol[static_cast<std::size_t>(j)] = wk.tolnlf;
    std::span<double> infwt = ws(L.vt1[0], nctotl);
    for (int j = 0; j < nplin; ++j) infwt[static_cast<std::size_t>(j)] = 1.0;
    E4QPST.asize = 0.0;

    // Crash, the factors of a cold start and the feasibility phase.
    int nactiv = 0, nartif = 0, nfree = n;
    E04NCU(true, false, nclin, nplin, nactiv, nartif, nfree, n, 1, istate, is(L.kactiv, n), wk.bigbnd, wk.tolact,
           alin, ws(L.ax, 0), bl, bu, x, ws(L.vn1[0], n), ws(L.vn3[1], n));
    std::span<int> kx = is(L.kx, n);
    for (int j = 0; j < n; ++j) kx[static_cast<std::size_t>(j)] = j + 1;
    optkern::MATSET("Upper-triangular", n, n, 0.0, 1.0, rfac, n);
    E4MERT.reset();
    // The fixed variables behind the free ones.
    int nf = n;
    for (int j = n; j >= 1; --j) {
      if (istate[static_cast<std::size_t>(j - 1)] <= 0) continue;
      int k = 0;
      for (int l = 1; l <= nf; ++l)
        if (kx[static_cast<std::size_t>(l - 1)] == j) k = l;
      std::swap(kx[static_cast<std::size_t>(k - 1)], kx[static_cast<std::size_t>(nf - 1)]);
      --nf;
    }
    int nz = nfree;
    bool unitq = true, rowerr = false;
    int jmax = 0;
    double errmax = 0.0, ctx = 0.0, xnorm = 0.0;
    E04NCH(false, rowerr, unitq, nclin, 0, nfree, 0, nz, n, nplin, ldzy, 1, n, ldt, istate, is(L.kactiv, n), kx, jmax,
           errmax, ctx, xnorm, alin, ws(L.ax, 0), bl, bu, ws(L.vn1[2], n), ws(L.vn2[0], n), ws(L.vn2[1], n), featol,
           rfac, ws(L.t, tlen), x, ws(L.zy, tlen), ws(L.vn1[0], n), ws(L.vn3[1], n));
    optim::Lsloc loc = optim::npiqp_loc(L, n);
    loc.wslist = L.kactiv;
    E4QPST.itmax1 = wk.itmax2;
    E4QPST.itmax2 = wk.itmax2;
    E4QPST.msglvl = wk.msgqp;
    E4QPST.idbg = wk.itmax2 + 1;
    E4QPST.bigbnd = wk.bigbnd;
    E4QPST.bigdx = wk.bigdx;
    E4QPST.tolrank = wk.tolrank;
    int iter = 0, nz1 = 0, ninf = 0;
    double ssq = 0.0, suminf = 0.0;
    E04NCZ("FP problem", false, {}, false, unitq, inflp, iter, nplin, nclin, nplin, nactiv, nfree, 0, nz, nz1, n, 1,
           n, istate, is(L.kactiv, n), kx, ctx, ssq, 0.0, suminf, ninf, xnorm, bl, bu, alin, ws(L.vt3, nctotl),
           ws(L.ax, 0), featol, rfac, x, w, loc);
    if (inflp > 0) return;

    // The derivatives at the start.
    int lvlder = wk.lvlder, nfun = 0, ngrad = 0;
    double fdnorm = 0.0;
    const int ldcj = std::max(1, m);
    E4DERV(derinfo, wk.msglvl, 1, lvlder, nfun, ngrad, ldcj, std::max(1, m), n, m, cnlfun, objfun, is(L.kneed, m),
           wk.bigbnd, wk.epsrf, wk.cdint, wk.fdint, std::sqrt(wk.epsrf), fdnorm, fobj, xnorm, bl, bu, c,
           ws(L.vt2[0], m), ws(L.cjac, ldcj * n), cjac, ws(L.vt2[1], m), ws(L.vn1[0], n), ws(L.grad, n), gobj,
           ws(L.hforwd, n), ws(L.hcntrl, n), x, ws(L.vn3[1], n), ws(L.vt1[1], nctotl), w, static_cast<int>(w.size()),
           iusr, rusr);
    if (derinfo != 0) return;

    // The projected gradient and the nonlinear working set.
    std::span<double> gq = ws(L.vn1[2], n);
    std::copy_n(w.begin() + (L.grad - 1), n, gq.begin());
    optim::FACMUL(6, n, nz, nfree, ldzy, unitq, kx, gq, ws(L.zy, tlen), ws(L.vt1[1], n));
    std::span<double> aqp = m > 0 ? ws(L.qpmat, m * n) : std::span<double>(alin);
    if (m > 0)
      E04UCS(true, n, nclin, m, nctotl, nactiv, nfree, nz, istate, is(L.kactiv, n), wk.bigbnd, wk.tolact, bl, bu, c,
             false);

    rec.n = n;
    rec.nclin = nclin;
    rec.nnlcon = m;
    rec.ldcju = std::max(1, m);
    rec.ldr = n;
    rec.ldaqp = std::max(1, m);
    rec.unitq = unitq;
    rec.nactiv = nactiv;
    rec.nfree = nfree;
    rec.nz = nz;
    rec.nfun = nfun;
    rec.ngrad = ngrad;
    rec.lvlder = lvlder;
    rec.fdnorm = fdnorm;
    rec.xnorm = xnorm;
    rec.rfrobn = std::sqrt(static_cast<double>(n));
    rec.bl = bl;
    rec.bu = bu;
    rec.istate = istate;
    rec.cnlval = c;
    rec.cnljac = cjac;
    rec.xmult = xmult;
    rec.gobj = gobj;
    rec.rfac = rfac;
    rec.x = x;
    rec.iusr = iusr;
    rec.rusr = rusr;
    rec.aqp = aqp;
    rec.iw = iw;
    rec.w = w;
    rec.loc = L;
    majits = 0;
    E04UCZ(rec, cnlfun, objfun, inform, majits, fobj);
    E4OPTS.restore_saved();
  }
};

}  // namespace qv::optim_alt::testing
