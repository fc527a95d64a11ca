// The QP subproblem of a major iteration at fixture points whose QP is
// solved by hand (KKT conditions of small problems).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "log_fixture.hpp"
#include "optim/nlsqp.hpp"
#include "optim/npiqp.hpp"
#include "optim/npmrt.hpp"
#include "optim/options.hpp"
#include "optim/workset.hpp"
#include "optim/wsutil.hpp"

namespace qv::optim {
namespace {

constexpr double kBig = 1e20;

// One problem laid out in NLSQP's workspace.  The factors start as a cold
// start leaves them: Q the identity, kx = 1..n, no working set.
struct Qp {
  int n, nclin, nnlcon, nctotl, ncqp;
  std::vector<int> iw;
  std::vector<double> w;
  Lsloc loc;
  std::vector<int> istate, wslist, kx;
  std::vector<double> qpmat, ax, bl, bu, c, cjac, mult, nlmult, cs, dmult, dslack, qplo, qphi, qpftol, R, rho, slackv,
      nlviol, x;
  bool unitQ = true;
  int nactiv = 0, nfree = 0, nZ = 0, ninf = 0;
  // Results.
  bool feasible = false;
  int nqperr = -1, iters = -1, linact = -1, nlnact = -1;
  double stepnorm = 0, gdir = 0, qpcurv = 0;

  Qp(int n_, int nclin_, int nnlcon_) : n(n_), nclin(nclin_), nnlcon(nnlcon_) {
    nctotl = n + nclin + nnlcon;
    ncqp = nclin + nnlcon;
    int li = 0, lw = 0;
    NPWKSP(n, nclin, nnlcon, nctotl, li, lw);
    iw.assign(static_cast<std::size_t>(li), 0);
    w.assign(static_cast<std::size_t>(lw), 0.0);
    loc = npiqp_loc(NPWLOC, n);
    istate.assign(nctotl, 0);
    wslist.assign(n, 0);
    kx.resize(n);
    for (int k = 0; k < n; ++k) kx[k] = k + 1;
    qpmat.assign(static_cast<std::size_t>(std::max(1, ncqp) * n), 0.0);
    ax.assign(std::max(1, nclin), 0.0);
    bl.assign(nctotl, -kBig);
    bu.assign(nctotl, kBig);
    c.assign(std::max(1, nnlcon), 0.0);
    cjac.assign(static_cast<std::size_t>(std::max(1, nnlcon) * n), 0.0);
    for (auto* v : {&nlmult, &cs, &dmult, &dslack, &rho, &slackv, &nlviol}) v->assign(std::max(1, nnlcon), 0.0);
    mult.assign(nctotl, 0.0);
    qplo.assign(nctotl, 0.0);
    qphi.assign(nctotl, 0.0);
    qpftol.assign(nctotl, 1e-8);
    R.assign(static_cast<std::size_t>(n * n), 0.0);
    for (int k = 0; k < n; ++k) R[k * n + k] = 1.0;
    x.assign(n, 0.0);
    nfree = n;
    nZ = n;
  }
  std::span<double> part(int pos, int len) {
    return std::span<double>(w).subspan(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(len));
  }
  std::span<double> dx() { return part(NPWLOC.vn1[0], n); }
  std::span<double> gq() { return part(loc.cq, n); }
  std::span<double> hstep() { return part(loc.gq, n); }
  std::span<double> rstep() { return part(loc.res, n); }
  std::span<double> infwt() { return part(loc.infwt, nctotl); }
  std::span<double> rownorm() { return part(loc.rownorm, ncqp); }
  std::span<double> adir() { return part(NPWLOC.vc1, ncqp); }
  double& T(int i, int j) { return w[static_cast<std::size_t>(loc.t - 1 + (i - 1) + (j - 1) * loc.ldt)]; }
  double& Q(int i, int j) { return w[static_cast<std::size_t>(loc.zy - 1 + (i - 1) + (j - 1) * loc.ldzy)]; }
  // The linear rows of qpmat (ldqpm = ncqp) and, for NNLCON = 0, in place.
  void set_row(int i, std::vector<double> row) {
    for (int k = 0; k < n; ++k) qpmat[static_cast<std::size_t>((i - 1) + k * ncqp)] = row[k];
  }
  void set_jac(int i, std::vector<double> row) {
    for (int k = 0; k < n; ++k) cjac[static_cast<std::size_t>((i - 1) + k * nnlcon)] = row[k];
  }
  void set_R(std::vector<double> colmajor) { R = std::move(colmajor); }
  void set_gradient(std::vector<double> g) {
    for (int k = 0; k < n; ++k) gq()[k] = g[k];
  }

  void solve(int majits = 1, int trace_unit = 0) {
    npiqp(feasible, unitQ, nqperr, majits, iters, n, nclin, nnlcon, std::max(1, nnlcon), std::max(1, ncqp), n,
          linact, nlnact, nactiv, nfree, nZ, ninf, istate, wslist, kx, stepnorm, gdir, qpcurv, qpmat, adir(),
          rownorm(), ax, bl, bu, c, cjac, mult, nlmult, cs, dmult, dslack, dx(), qplo, qphi, qpftol, R, rho, slackv,
          nlviol, x, infwt(), iw, w, loc, trace_unit);
  }
};

double norm(std::span<const double> v) {
  double s = 0;
  for (double e : v) s += e * e;
  return std::sqrt(s);
}

// The subproblem's options in these tests: minor print level as given, 50
// minor iterations, infinite bound and step kBig, rank tolerance 1e-10.
void set_qp_options(int minor_print_level) {
  NPOPTS.ils(slot::kMinorPrintLevel) = minor_print_level;
  NPOPTS.ils(slot::kMinorIterations) = 50;
  NPOPTS.rls(slot::kInfiniteBound) = kBig;
  NPOPTS.rls(slot::kInfiniteStep) = kBig;
  NPOPTS.rls(slot::kRankTol) = 1e-10;
}

// Precision constants and the count of nonlinear variables for n variables.
void prepare(int n) {
  set_precision(NPPREC, n);
  NPOPTS.inp(slot::kNonlinVars) = n;
}

class Npiqp : public ::testing::Test {
 protected:
  void SetUp() override {
    NPOPTS.reset();
    NPMERT.reset();
    LSCOND.reset();
    LSPRNT.reset();
    NPOPTS.ils(slot::kPrintFile) = 0;
    NPOPTS.ils(slot::kSummaryFile) = 0;
    set_qp_options(0);
  }
  void TearDown() override {
    NPOPTS.reset();
    NPMERT.reset();
    LSCOND.reset();
    LSPRNT.reset();
  }
};

// Bounds only.  H = R'R with R = [[1,1],[0,2]], so H = [[1,1],[1,5]];
// g = (-3, -2); x = 0 with -1 <= x <= (1, 1).  The free minimiser
// H^-1 (3, 2) = (13/4, -1/4) passes the upper bound of p1; with p1 = 1 the
// second condition -2 + 1 + 5 p2 = 0 gives p2 = 0.2, inside its bounds.
// The multiplier of the upper bound is g1 + (Hp)1 = -3 + 1.2 = -1.8.
// gdir = g'p = -3.4, qpcurv = p'Hp = 1.6, Hp = (1.2, 2).
TEST_F(Npiqp, BoundsOnly) {
  prepare(2);
  Qp qp(2, 0, 0);
  qp.set_R({1, 0, 1, 2});
  qp.set_gradient({-3, -2});
  qp.bl = {-1, -1};
  qp.bu = {1, 1};
  qp.solve();
  EXPECT_EQ(qp.nqperr, 0);
  EXPECT_TRUE(qp.feasible);
  EXPECT_NEAR(qp.dx()[0], 1.0, 1e-14);
  EXPECT_NEAR(qp.dx()[1], 0.2, 1e-14);
  EXPECT_NEAR(qp.stepnorm, std::sqrt(1.04), 1e-14);
  EXPECT_NEAR(qp.gdir, -3.4, 1e-14);
  EXPECT_NEAR(qp.qpcurv, 1.6, 1e-14);
  EXPECT_NEAR(norm(qp.hstep()), std::hypot(1.2, 2.0), 1e-14);
  EXPECT_NEAR(qp.mult[0], -1.8, 1e-14);
  EXPECT_EQ(qp.mult[1], 0.0);
  EXPECT_EQ(qp.istate[0], 2);
  EXPECT_EQ(qp.istate[1], 0);
  EXPECT_EQ(qp.nfree, 1);
  EXPECT_EQ(qp.linact, 0);
  EXPECT_EQ(qp.nlnact, 0);
}

// One nonlinear row J = (1, 1) with c(x) = 0 and c <= 1, H = I,
// g = (-2, -2).  The free minimiser (2, 2) gives Jp = 4 > 1; on the row,
// p + g + mu J' = 0 with p1 + p2 = 1 gives mu = 1.5, p = (0.5, 0.5), and the
// multiplier of the upper bound is -1.5.  Slack with lambda = -3, rho = 2,
// scale 1: -lambda/(scale rho) = 1.5 >= qphi = 1, so the slack is the bound
// 1, cs = -1, dslack = cs + Jp = 0; dmult = -1.5 + 3 = 1.5 and
// dmult cs < 0 keeps lambda.  Cold (empty working set) and warm (the row
// already active at its upper bound: it is taken out and added again); the
// nonlinear-variables slot set to n or unset (which counts as n).
TEST_F(Npiqp, OneActiveNonlinearRow) {
  for (bool warm : {false, true})
  for (int nlnx : {2, kUnsetInt}) {
    SCOPED_TRACE(warm ? "warm" : "cold");
    SCOPED_TRACE(nlnx);
    prepare(2);
    NPOPTS.inp(slot::kNonlinVars) = nlnx;
    NPMERT.reset();
    Qp qp(2, 0, 1);
    qp.set_gradient({-2, -2});
    qp.set_jac(1, {1, 1});
    qp.bu[2] = 1.0;
    qp.nlmult = {-3.0};
    qp.rho = {2.0};
    if (warm) {
      qp.istate[2] = 2;
      qp.wslist[0] = 1;
      qp.nactiv = 1;
      qp.nZ = 1;
    }
    qp.solve();
    EXPECT_EQ(qp.nqperr, 0);
    EXPECT_TRUE(qp.feasible);
    EXPECT_NEAR(qp.dx()[0], 0.5, 1e-14);
    EXPECT_NEAR(qp.dx()[1], 0.5, 1e-14);
    EXPECT_NEAR(qp.gdir, -2.0, 1e-14);
    EXPECT_NEAR(qp.qpcurv, 0.5, 1e-14);
    EXPECT_NEAR(qp.adir()[0], 1.0, 1e-14);
    EXPECT_NEAR(qp.mult[2], -1.5, 1e-14);
    EXPECT_EQ(qp.istate[2], 2);
    EXPECT_EQ(qp.nactiv, 1);
    EXPECT_EQ(qp.nlnact, 1);
    EXPECT_EQ(qp.linact, 0);
    EXPECT_NEAR(qp.rownorm()[0], std::sqrt(2.0), 1e-15);
    EXPECT_EQ(qp.nlviol[0], 0.0);
    EXPECT_EQ(qp.slackv[0], 1.0);
    EXPECT_EQ(qp.cs[0], -1.0);
    EXPECT_NEAR(qp.dslack[0], 0.0, 1e-14);
    EXPECT_NEAR(qp.dmult[0], 1.5, 1e-14);
    EXPECT_EQ(qp.nlmult[0], -3.0);
    for (double v : qp.infwt()) EXPECT_EQ(v, 1.0);
  }
}

// Two contradictory nonlinear rows J = (1, 0): c >= 1 and c <= -1 at
// c(x) = 0.  Both are violated by 1 with weight 1, so the weighted
// infeasibility gradient vanishes and the QP ends infeasible at p = 0 with
// nZ = 2.  The step is then the minimiser over the whole null space:
// p = -H^-1 g with H = [[1,1],[1,5]], g = (-3, -2): p = (13/4, -1/4),
// gdir = g'p = -9.25 = -qpcurv, Hp = -g = (3, 2).  Multipliers are 0, rho
// becomes 1 for both violated rows (rhonrm sqrt2), slacks sit on the
// violated bounds and the slack steps of violated rows are 0.
TEST_F(Npiqp, InfeasibleRecomputesNullSpaceStep) {
  prepare(2);
  Qp qp(2, 0, 2);
  qp.set_R({1, 0, 1, 2});
  qp.set_gradient({-3, -2});
  qp.set_jac(1, {1, 0});
  qp.set_jac(2, {1, 0});
  qp.bl[2] = 1.0;
  qp.bu[3] = -1.0;
  qp.solve();
  EXPECT_EQ(qp.nqperr, 3);
  EXPECT_FALSE(qp.feasible);
  EXPECT_GT(qp.ninf, 0);
  EXPECT_EQ(qp.nZ, 2);
  EXPECT_NEAR(qp.dx()[0], 3.25, 1e-13);
  EXPECT_NEAR(qp.dx()[1], -0.25, 1e-13);
  EXPECT_NEAR(qp.stepnorm, std::hypot(3.25, 0.25), 1e-13);
  EXPECT_NEAR(qp.gdir, -9.25, 1e-13);
  EXPECT_NEAR(qp.qpcurv, 9.25, 1e-13);
  EXPECT_NEAR(qp.adir()[0], 3.25, 1e-13);
  EXPECT_NEAR(qp.adir()[1], 3.25, 1e-13);
  EXPECT_NEAR(qp.hstep()[0], 3.0, 1e-13);
  EXPECT_NEAR(qp.hstep()[1], 2.0, 1e-13);
  for (double v : qp.mult) EXPECT_EQ(v, 0.0);
  EXPECT_EQ(qp.nlviol[0], 1.0);
  EXPECT_EQ(qp.nlviol[1], -1.0);
  EXPECT_EQ(qp.rho[0], 1.0);
  EXPECT_EQ(qp.rho[1], 1.0);
  EXPECT_NEAR(NPMERT.rhonrm, std::sqrt(2.0), 1e-15);
  EXPECT_EQ(qp.slackv[0], 1.0);
  EXPECT_EQ(qp.slackv[1], -1.0);
  EXPECT_EQ(qp.cs[0], -1.0);
  EXPECT_EQ(qp.cs[1], 1.0);
  EXPECT_EQ(qp.dslack[0], 0.0);
  EXPECT_EQ(qp.dslack[1], 0.0);
  EXPECT_EQ(qp.dmult[0], 0.0);
  EXPECT_EQ(qp.dmult[1], 0.0);
}

// The same contradictory rows on p2 alone (J = (0, 1)), with x1's lower
// bound in the working set (p1 = 0.5; kx = (2, 1), one free variable).  R
// is held in the kx order: R = [[2, 1], [0, 1]], so H(2,2) = 4,
// H(2,1) = 2, H(1,1) = 2; g = (1, -3).  The null-space part minimises the
// QP over p2 with p1 fixed: 4 p2 + 2 * 0.5 - 3 = 0, p2 = 0.5.  Then
// gdir = g'p = -1, qpcurv = p'Hp = 2.5 and Hp = (2, 3) (kept in the kx
// order as hstep = (3, 2)).
TEST_F(Npiqp, InfeasibleWithFixedVariable) {
  prepare(2);
  Qp qp(2, 0, 2);
  qp.set_R({2, 0, 1, 1});
  qp.kx = {2, 1};
  qp.nfree = 1;
  qp.nZ = 1;
  qp.istate[0] = 1;
  qp.bl[0] = 0.5;
  qp.bu[0] = 2.0;
  qp.set_gradient({-3, 1});
  qp.set_jac(1, {0, 1});
  qp.set_jac(2, {0, 1});
  qp.bl[2] = 1.0;
  qp.bu[3] = -1.0;
  qp.solve();
  EXPECT_EQ(qp.nqperr, 3);
  EXPECT_FALSE(qp.feasible);
  EXPECT_EQ(qp.istate[0], 1);
  EXPECT_EQ(qp.nZ, 1);
  EXPECT_NEAR(qp.dx()[0], 0.5, 1e-14);
  EXPECT_NEAR(qp.dx()[1], 0.5, 1e-14);
  EXPECT_NEAR(qp.gdir, -1.0, 1e-14);
  EXPECT_NEAR(qp.qpcurv, 2.5, 1e-14);
  EXPECT_NEAR(qp.stepnorm, std::sqrt(0.5), 1e-14);
  EXPECT_NEAR(qp.hstep()[0], 3.0, 1e-14);
  EXPECT_NEAR(qp.hstep()[1], 2.0, 1e-14);
  EXPECT_NEAR(qp.adir()[0], 0.5, 1e-14);
}

// Weights of the infeasibilities: violations times rho (or the violation
// when rho is 0), scaled by the largest, then floored at eps^0.9 times the
// largest weight.  Rows (c = 0): below bl = 2 with rho 3 (weight 6), above
// bu = -1 with rho 0 (weight 1), satisfied (weight 1); scaled: 1, 1/6, 1/6;
// the bounds of the variables get 1/6 as well.
TEST_F(Npiqp, InfeasibilityWeights) {
  prepare(3);
  Qp qp(3, 0, 3);
  qp.set_jac(1, {1, 0, 0});
  qp.set_jac(2, {0, 1, 0});
  qp.set_jac(3, {0, 0, 1});
  qp.bl[3] = 2.0;
  qp.bu[4] = -1.0;
  qp.rho = {3.0, 0.0, 0.5};
  qp.solve();
  const double want[] = {1.0 / 6, 1.0 / 6, 1.0 / 6, 1.0, 1.0 / 6, 1.0 / 6};
  for (int j = 0; j < 6; ++j) EXPECT_DOUBLE_EQ(qp.infwt()[j], want[j]) << j;
  EXPECT_EQ(qp.nlviol[0], 2.0);
  EXPECT_EQ(qp.nlviol[1], -1.0);
  EXPECT_EQ(qp.nlviol[2], 0.0);
}

// Bounds of the QP on p: a bound or linear row within its tolerance of 0 is
// set to exactly 0; an absent bound is passed on as it is; a nonlinear row
// on its bound is not violated (weight 1) and keeps its other distance
// unrounded.  x = 0.5, Ax = 1, c = 3; tolerances 1e-8.
TEST_F(Npiqp, QpBounds) {
  prepare(1);
  Qp qp(1, 1, 1);
  qp.set_row(1, {1.0});
  qp.set_jac(1, {1.0});
  qp.x = {0.5};
  qp.ax = {1.0};
  qp.c = {3.0};
  qp.bl = {0.5 + 1e-9, -kBig, 2.5};
  qp.bu = {2.0, 1.0 - 5e-9, 3.0};
  qp.solve();
  EXPECT_EQ(qp.qplo[0], 0.0);
  EXPECT_EQ(qp.qphi[0], 1.5);
  EXPECT_EQ(qp.qplo[1], -kBig);
  EXPECT_EQ(qp.qphi[1], 0.0);
  EXPECT_EQ(qp.qplo[2], -0.5);
  EXPECT_EQ(qp.qphi[2], 0.0);
  EXPECT_EQ(qp.nlviol[0], 0.0);
  for (double v : qp.infwt()) EXPECT_EQ(v, 1.0);
  EXPECT_TRUE(qp.feasible);
  EXPECT_EQ(qp.dx()[0], 0.0);
}

// The working set (linear row L and nonlinear rows N1, N2, N3 as qpmat rows
// 1..4) given in the order N1, L, N2, N3, all equalities.  The linear row
// moves to the front and the nonlinear rows follow by descending violation
// |b - c|: N2 (2) before N1 (0.5) before N3 (0.5), the equal ones in their
// order.  The rows fix p = (0.5, -2, 0.5, 0.25).
TEST_F(Npiqp, NonlinearRowsReaddedByViolation) {
  prepare(4);
  Qp qp(4, 1, 3);
  qp.set_row(1, {0, 0, 0, 1});
  qp.set_jac(1, {1, 0, 0, 0});
  qp.set_jac(2, {0, 1, 0, 0});
  qp.set_jac(3, {0, 0, 1, 0});
  const double b[] = {0.25, 0.5, -2.0, 0.5};
  for (int i = 0; i < 4; ++i) {
    qp.bl[4 + i] = qp.bu[4 + i] = b[i];
    qp.istate[4 + i] = 3;
  }
  qp.wslist = {2, 1, 3, 4};
  qp.rownorm()[0] = 1.0;
  qp.nactiv = 4;
  qp.nZ = 0;
  qp.solve();
  EXPECT_EQ(qp.nactiv, 4);
  EXPECT_EQ(qp.wslist, (std::vector<int>{1, 3, 2, 4}));
  EXPECT_EQ(qp.linact, 1);
  EXPECT_EQ(qp.nlnact, 3);
  const double p[] = {0.5, -2.0, 0.5, 0.25};
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(qp.dx()[k], p[k], 1e-14) << k;
  EXPECT_NEAR(LSCOND.asize, 1.0, 1e-15);
}

// NNLCON = 0: the linear constraints are used in place and the factors of
// the working set are reused as they stand.  Row (1, 1) <= 1 active at its
// upper bound, factorized with Q = (Z Y), Z = (1, -1)/sqrt2,
// Y = (1, 1)/sqrt2, T = [sqrt2]; H = I, g = (-2, -2) (projected gradient
// Q'g = (0, -2 sqrt2)).  The range-space step (0.5, 0.5) is optimal, with
// multiplier -1.5.  Nothing is refactorized: the stored row norm (a
// sentinel), Asize, T and Q stay, and every weight is 1.
TEST_F(Npiqp, NoNonlinearRowsReuseFactors) {
  prepare(2);
  Qp qp(2, 1, 0);
  const double r2 = std::sqrt(2.0);
  qp.set_row(1, {1, 1});
  qp.bu[2] = 1.0;
  qp.istate[2] = 2;
  qp.wslist[0] = 1;
  qp.nactiv = 1;
  qp.nZ = 1;
  qp.unitQ = false;
  qp.Q(1, 1) = 1 / r2;
  qp.Q(2, 1) = -1 / r2;
  qp.Q(1, 2) = 1 / r2;
  qp.Q(2, 2) = 1 / r2;
  qp.T(1, 2) = r2;
  qp.set_gradient({0.0, -2 * r2});
  qp.rownorm()[0] = 7.0;
  LSCOND.asize = 123.0;
  qp.solve();
  EXPECT_EQ(qp.nqperr, 0);
  EXPECT_TRUE(qp.feasible);
  EXPECT_NEAR(qp.dx()[0], 0.5, 1e-14);
  EXPECT_NEAR(qp.dx()[1], 0.5, 1e-14);
  EXPECT_NEAR(qp.mult[2], -1.5, 1e-14);
  EXPECT_EQ(qp.rownorm()[0], 7.0);
  EXPECT_EQ(LSCOND.asize, 123.0);
  EXPECT_EQ(qp.T(1, 2), r2);
  EXPECT_EQ(qp.Q(1, 2), 1 / r2);
  EXPECT_EQ(qp.nlnact, 0);
  EXPECT_EQ(qp.linact, 1);
  for (double v : qp.infwt()) EXPECT_EQ(v, 1.0);
}

// The header of the subproblem on the print and summary files.
class NpiqpLog : public testing::LogUnits {};

TEST_F(NpiqpLog, StartOfMajorIterationHeader) {
  NPMERT.reset();
  LSCOND.reset();
  set_qp_options(1);
  prepare(1);
  Qp qp(1, 0, 0);
  qp.set_gradient({-1});
  qp.solve(37);
  const auto print = records(kPrint);
  const auto summ = records(kSumm);
  ASSERT_GE(print.size(), 2u);
  EXPECT_EQ(print[0], " " + std::string(128, '-'));
  EXPECT_EQ(print[1], " Start of major itn  37");
  ASSERT_GE(summ.size(), 3u);
  EXPECT_EQ(summ[0], "");
  EXPECT_EQ(summ[1], " " + std::string(64, '-'));
  EXPECT_EQ(summ[2], " Start of major itn  37");
  LSPRNT.reset();
  NPMERT.reset();
}

// Contradictory linear rows (p1 + p2 >= 1 and p1 + p2 <= -1 at Ax = 0):
// the QP ends infeasible with linear rows violated, is restarted once from
// an empty working set, fails again, and is handed back with the working set
// emptied, every state 0 and the range-space step of the empty set (0).
// lscore runs exactly twice (two nQPerr traces).
TEST_F(NpiqpLog, LinearInfeasibleRestartsOnce) {
  NPMERT.reset();
  LSCOND.reset();
  set_qp_options(0);
  prepare(2);
  Qp qp(2, 2, 0);
  qp.set_row(1, {1, 1});
  qp.set_row(2, {1, 1});
  qp.rownorm()[0] = qp.rownorm()[1] = std::sqrt(2.0);
  qp.set_gradient({-1, -2});
  qp.ax = {0.0, 0.0};
  qp.bl[2] = 1.0;
  qp.bu[3] = -1.0;
  qp.solve(1, kPrint);
  EXPECT_EQ(qp.nqperr, 3);
  EXPECT_GT(qp.ninf, 0);
  EXPECT_TRUE(qp.feasible);
  EXPECT_TRUE(qp.unitQ);
  EXPECT_EQ(qp.nactiv, 0);
  EXPECT_EQ(qp.nfree, 2);
  EXPECT_EQ(qp.nZ, 2);
  for (int v : qp.istate) EXPECT_EQ(v, 0);
  EXPECT_EQ(qp.dx()[0], 0.0);
  EXPECT_EQ(qp.dx()[1], 0.0);
  EXPECT_EQ(qp.stepnorm, 0.0);
  int traces = 0;
  for (const auto& line : records(kPrint))
    if (line == " //npiqp // nQPerr") ++traces;
  EXPECT_EQ(traces, 2);
  LSPRNT.reset();
}

}  // namespace
}  // namespace qv::optim
