// A small QP solved by the edition's QP routines as a whole: the crash
// (E04NCU), the fixed variables (E4BNDS), the general rows of the working
// set (E4ADDS), the move onto the working set (E04NCH) and the iterations
// (E04NCZ), with the workspace laid out as the optimizer's stand-alone QP
// solver lays out its own.
//
//   minimise c'x + 1/2 |R x|^2  subject to  bl <= (x, A x) <= bu,
//
// R upper triangular of order n and rank nrank (0: a linear program).
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "optim/facutil.hpp"
#include "optim/lscore.hpp"
#include "optim/workset.hpp"
#include "optim/wsutil.hpp"
#include "optim_alt/qpsolve.hpp"

namespace qv::optim_alt::test {

inline constexpr double kInf = 1e20;

struct QpProblem {
  int n = 0, nclin = 0;
  std::vector<double> a;       // nclin x n, column-major (leading dimension max(1, nclin))
  std::vector<double> bl, bu;  // n + nclin
  std::vector<double> c;       // linear term (n)
  std::vector<double> r;       // n x n upper triangular, column-major; empty: the identity
  int nrank = -1;              // -1: n
  std::vector<double> x;       // start point
  std::vector<int> istate;     // start states (n + nclin); empty: cold start
  double featol = 1e-8;
  int msglvl = 0;
  int itmax = 100;
  bool debug = false;          // the QP routines' debug switch with both debug levels
  int idbg = 0;                // the iteration from which the traces run (with both debug levels)
  int jhard = -1;              // rows beyond jhard may be moved off while infeasible; -1: none
  bool named = false;
  std::vector<std::string> names;
};

struct QpOutcome {
  int inform = -1, iter = -1;
  std::vector<double> x, mult, ax;
  std::vector<int> istate, kx;
  double objective = 0.0;  // ssq + ctx when feasible, else the sum of infeasibilities
  int nactiv = 0, nfree = 0, ninf = 0;
  bool rowerr = false;
};

// twin: the optimizer's own routines (lscrsh, WSFACT, lssetx, lscore) in
// place of the edition's, from the same start (the fixed variables placed by
// E4BNDS in both).
inline QpOutcome solve_qp(QpProblem p, bool twin = false) {
  const int n = p.n, nclin = p.nclin, nctotl = n + nclin;
  const int ldA = std::max(1, nclin);
  const int nrank = p.nrank < 0 ? n : p.nrank;
  if (p.r.empty()) {
    p.r.assign(static_cast<std::size_t>(n * n), 0.0);
    for (int j = 0; j < n; ++j) p.r[static_cast<std::size_t>(j + j * n)] = 1.0;
  }
  if (p.a.empty()) p.a.assign(static_cast<std::size_t>(ldA * n), 0.0);

  // The workspace, block after block.
  optim::Lsloc loc;
  const int ldzy = nclin > 0 ? n : 1;
  loc.ldt = ldzy;
  loc.ldzy = ldzy;
  loc.tcols = ldzy;
  int next = 1;
  auto take = [&next](int len) {
    const int at = next;
    next += std::max(len, 0);
    return at;
  };
  loc.rownorm = take(nclin);
  loc.ap = take(nclin);
  loc.px = take(n);
  loc.gq = take(n);
  loc.cq = take(n);
  loc.res = take(n);
  loc.res0 = take(n);
  loc.hz = take(n);
  loc.wsmult = take(n);
  loc.t = take(nclin > 0 ? ldzy * ldzy : 0);
  loc.zy = take(nclin > 0 ? ldzy * ldzy : 0);
  loc.infwt = take(nctotl);
  loc.wrk = take(nctotl);
  loc.featol = take(nctotl);
  std::vector<double> w(static_cast<std::size_t>(next + 1), 0.0);
  auto part = [&w](int at, int len) {
    return std::span<double>(w).subspan(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(std::max(len, 0)));
  };
  for (int j = 0; j < nctotl; ++j) {
    w[static_cast<std::size_t>(loc.featol - 1 + j)] = p.featol;
    w[static_cast<std::size_t>(loc.infwt - 1 + j)] = 1.0;
  }
  double asize = 0.0;
  for (int i = 0; i < nclin; ++i) {
    double s = 0.0;
    for (int k = 0; k < n; ++k) s += p.a[static_cast<std::size_t>(i + k * ldA)] * p.a[static_cast<std::size_t>(i + k * ldA)];
    w[static_cast<std::size_t>(loc.rownorm - 1 + i)] = std::sqrt(s);
    asize = std::max(asize, std::sqrt(s));
  }

  E4QPST.reset();
  E4QPST.msglvl = p.msglvl;
  E4QPST.itmax1 = p.itmax;
  E4QPST.itmax2 = p.itmax;
  E4QPST.bigbnd = 9.9999e19;
  E4QPST.bigdx = 9.9999e19;
  E4QPST.tolrank = 1e-10;
  E4QPST.asize = asize;
  E4QPST.debug = p.debug;
  E4QPST.dbg1 = p.debug || p.idbg > 0 ? 1 : 0;
  E4QPST.dbg2 = p.debug || p.idbg > 0 ? 1 : 0;
  E4QPST.idbg = p.idbg;
  optim::LSCOND.reset();
  optim::LSCOND.asize = asize;
  optim::LSPRNT.reset();

  QpOutcome out;
  const bool cold = p.istate.empty();
  std::vector<int> istate = cold ? std::vector<int>(static_cast<std::size_t>(nctotl), 0) : p.istate;
  std::vector<int> kx(static_cast<std::size_t>(n)), wslist(static_cast<std::size_t>(n) + 1, 0);
  for (int j = 0; j < n; ++j) kx[static_cast<std::size_t>(j)] = j + 1;
  std::vector<double> ax(static_cast<std::size_t>(std::max(1, nclin)), 0.0);
  std::vector<double> x = p.x;

  int nactiv = 0, nartif = 0, nfree = n;
  (twin ? optim::lscrsh : E04NCU)(cold, false, nclin, nctotl, nactiv, nartif, nfree, n, ldA, istate, wslist, E4QPST.bigbnd, 0.01, p.a, ax,
         p.bl, p.bu, x, part(loc.px, n), part(loc.wsmult, n));

  bool unitQ = true;
  int nZ = n;
  const std::span<double> t = part(loc.t, nclin > 0 ? ldzy * ldzy : 0);
  const std::span<double> zy = part(loc.zy, nclin > 0 ? ldzy * ldzy : 0);
  E4BNDS(unitQ, n, nrank, nfree, nZ, ldA, ldzy, n, ldzy, istate, kx, 1e8, p.a, p.r, t, part(loc.gq, 2 * n), zy,
         part(loc.wrk, n), part(loc.px, n), part(loc.wsmult, n));

  // cq := Q'c; res0 = 0, so that ssq = 1/2 |R Q'x|^2.
  const std::span<double> cq = part(loc.cq, n);
  std::copy(p.c.begin(), p.c.end(), cq.begin());
  optim::FACMUL(6, n, nZ, nfree, ldzy, unitQ, kx, cq, zy, part(loc.wrk, n));

  const int ngen = nactiv;
  nactiv = 0;
  int inform = 0, nrej = 0;
  (twin ? optim::WSFACT : E4ADDS)(unitQ, false, inform, 1, ngen, nactiv, nartif, nZ, nfree, nrank, nrej, nrank > 0 ? 2 : 0, 2, n, ldzy, ldA,
         n, ldzy, istate, wslist, kx, 1e8, p.a, p.r, t, part(loc.res, 2 * n), part(loc.gq, 2 * n), zy,
         part(loc.wrk, n), part(loc.px, n), part(loc.wsmult, n));

  int jmax = 0;
  double errmax = 0.0, ctx = 0.0, xnorm = 0.0;
  (twin ? optim::lssetx : E04NCH)(true, out.rowerr, unitQ, nclin, nactiv, nfree, nrank, nZ, n, nctotl, ldzy, ldA, n, ldzy, istate, wslist, kx,
         jmax, errmax, ctx, xnorm, p.a, ax, p.bl, p.bu, cq, part(loc.res, n), part(loc.res0, n),
         part(loc.featol, nctotl), p.r, t, x, zy, part(loc.px, n), part(loc.wrk, nctotl));

  int nZ1 = 0, ninf = 0;
  double ssq = 0.0, suminf = 0.0;
  out.mult.assign(static_cast<std::size_t>(nctotl), 0.0);
  const int jhard = p.jhard < 0 ? nctotl : p.jhard;
  if (twin) {
    optim::Lsctl ctl;
    ctl.itmax1 = E4QPST.itmax1;
    ctl.itmax2 = E4QPST.itmax2;
    ctl.bigbnd = E4QPST.bigbnd;
    ctl.bigdx = E4QPST.bigdx;
    ctl.tolrank = E4QPST.tolrank;
    optim::lscore("QP", false, {}, true, unitQ, out.inform, out.iter, jhard, nclin, nctotl, nactiv, nfree, nrank, nZ,
                  nZ1, n, ldA, n, istate, wslist, kx, ctx, ssq, 0.0, suminf, ninf, xnorm, p.bl, p.bu, p.a, out.mult,
                  ax, part(loc.featol, nctotl), p.r, x, w, loc, ctl);
  } else {
    E04NCZ("QP", p.named, p.names, true, unitQ, out.inform, out.iter, jhard, nclin, nctotl, nactiv, nfree, nrank, nZ,
           nZ1, n, ldA, n, istate, wslist, kx, ctx, ssq, 0.0, suminf, ninf, xnorm, p.bl, p.bu, p.a, out.mult, ax,
           part(loc.featol, nctotl), p.r, x, w, loc);
  }
  out.x = x;
  out.ax = ax;
  out.istate = istate;
  out.kx = kx;
  out.objective = ninf > 0 ? suminf : ssq + ctx;
  out.nactiv = nactiv;
  out.nfree = nfree;
  out.ninf = ninf;
  return out;
}

}  // namespace qv::optim_alt::test
