// Nonlinear working set, violations, step to the nearest constraint and the
// range-space step, on small fixtures whose answers are worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "log_fixture.hpp"
#include "optim/nlsqp.hpp"
#include "optim/npwset.hpp"

namespace qv::optim {
namespace {

constexpr double kBig = 1e20;  // the infinite bound size of these fixtures

// --- npfeas ----------------------------------------------------------------

// One row under test, placed after a feasible free variable x1 = 0 in
// [-1, 1]: a bound (the variable x2), a linear row or a nonlinear row.
enum class Kind { Bound, Linear, Nonlinear };

struct FeasRow {
  const char* name;
  Kind kind;
  double bl, bu, value;
  int state;
  double res;  // expected residual (hand-applied row rules)
  int nviol;   // expected count
};

TEST(Npfeas, RowRules) {
  const double tol = 1e-3;
  const FeasRow cases[] = {
      {"bound below lower", Kind::Bound, 1, 2, 0.5, 0, 0.5, 1},
      {"bound below lower within tol", Kind::Bound, 1, 2, 0.9995, 0, 0.0, 0},
      {"bound above upper", Kind::Bound, 1, 2, 2.5, 0, -0.5, 1},
      {"bound state 1 off its bound", Kind::Bound, 1, 2, 1.5, 1, -0.5, 1},
      {"bound state 2 off its bound", Kind::Bound, 1, 2, 1.5, 2, 0.5, 1},
      {"bound state 3 on its bound", Kind::Bound, 1, 1, 1.0, 3, 0.0, 0},
      {"bound state 4 uses upper", Kind::Bound, 1, 2, 1.5, 4, 0.5, 1},
      {"bound state -1 uses upper", Kind::Bound, 1, 2, 1.5, -1, 0.5, 1},
      {"bound state -2 uses lower", Kind::Bound, 1, 2, 1.5, -2, -0.5, 1},
      {"bound free state inside", Kind::Bound, 1, 2, 1.5, 0, 0.0, 0},
      {"no bounds at all", Kind::Bound, -kBig, kBig, 7.0, 0, 0.0, 0},
      {"linear above within tol", Kind::Linear, 1, 2, 2.0005, 0, 0.0, 0},
      {"linear below beyond tol", Kind::Linear, 1, 2, 0.9, 0, 0.1, 1},
      {"nonlinear below within tol", Kind::Nonlinear, 1, 2, 0.9995, 0, 0.0005, 0},
      {"nonlinear below beyond tol", Kind::Nonlinear, 1, 2, 0.5, 0, 0.5, 1},
      {"nonlinear above within tol", Kind::Nonlinear, 1, 2, 2.0005, 0, -0.0005, 0},
      {"nonlinear upper only, above", Kind::Nonlinear, -kBig, 3, 4.0, 0, -1.0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = c.kind == Kind::Bound ? 2 : 1;
    const int nclin = c.kind == Kind::Linear ? 1 : 0;
    const int nnl = c.kind == Kind::Nonlinear ? 1 : 0;
    std::vector<double> bl = {-1, c.bl}, bu = {1, c.bu}, featol = {tol, tol}, x = {0.0, c.value};
    std::vector<double> ax = {c.value}, cv = {c.value}, work(2);
    std::vector<int> istate = {0, c.state};
    double norm = -1, errmax = -1;
    int jmax = -1, nviol = -1;
    npfeas(n, nclin, nnl, istate, kBig, norm, errmax, jmax, nviol, ax, bl, bu, cv, featol, x, work);
    EXPECT_NEAR(work[1], c.res, 1e-15);
    EXPECT_EQ(work[0], 0.0);
    EXPECT_EQ(nviol, c.nviol);
    EXPECT_NEAR(errmax, std::abs(c.res), 1e-15);
    EXPECT_NEAR(norm, std::abs(c.res), 1e-15);
    EXPECT_EQ(jmax, c.res != 0.0 ? 2 : 1);
  }
}

// Five rows together: residuals (0, -1, 0.0005, 0.0005, -1).  The largest
// magnitude 1 occurs twice; the first (row 2) is reported.  Norm by hand:
// sqrt(2 + 2 * 0.0005^2).
TEST(Npfeas, WholeProblem) {
  const int n = 2, nclin = 1, nnl = 2;
  std::vector<double> bl = {0, -kBig, 5.0005, 1, -kBig}, bu = {1, 2, 10, 2, 3};
  std::vector<double> featol(5, 1e-3), x = {0.5, 3.0}, ax = {5.0}, cv = {0.9995, 4.0}, work(5);
  std::vector<int> istate = {0, 0, 1, 0, 0};
  double norm = 0, errmax = 0;
  int jmax = 0, nviol = 0;
  npfeas(n, nclin, nnl, istate, kBig, norm, errmax, jmax, nviol, ax, bl, bu, cv, featol, x, work);
  const double want[] = {0.0, -1.0, 0.0005, 0.0005, -1.0};
  for (int j = 0; j < 5; ++j) EXPECT_NEAR(work[j], want[j], 1e-15) << j;
  EXPECT_EQ(nviol, 2);
  EXPECT_EQ(jmax, 2);
  EXPECT_DOUBLE_EQ(errmax, 1.0);
  EXPECT_NEAR(norm, std::sqrt(2.0 + 2 * 0.0005 * 0.0005), 1e-15);
}

// --- npalf -----------------------------------------------------------------

// Rows: x1, x2 (bounds), one linear row (value ax, step adx, row norm 1),
// one nonlinear slack.  Steps from x = 0: dx = (1, -2), adx = 1, dslack = 1;
// stepnorm = sqrt(5).  Each case sets the bounds that matter; the expected
// step is the smallest res/|component| over rows moving towards a finite
// bound with res > 0, cut to [alfalow, alfmax].
struct AlfCase {
  const char* name;
  std::vector<double> bl, bu;
  std::vector<double> x;  // x1, x2 (the linear value and slack are 0)
  double dx2;
  double alfalow, alfmax;
  double alfa;
  int info;
};

TEST(Npalf, Table) {
  const double inf = kBig;
  const AlfCase cases[] = {
      {"no finite bound along the step", {-inf, -inf, -inf, -inf}, {inf, inf, inf, inf}, {0, 0}, -2, 0, 10, 10, 1},
      {"bounds behind the step only", {-inf, -inf, -inf, -inf}, {inf, inf, inf, inf}, {0, 0}, 2, 0, 10, 10, 1},
      {"moving away from finite bounds", {-1, -inf, -1, -1}, {inf, 1, inf, inf}, {0, 0}, -2, 0, 10, 10, 1},
      {"upper bound of x1", {-inf, -inf, -inf, -inf}, {3, inf, inf, inf}, {0, 0}, -2, 0, 10, 3, 0},
      {"lower bound of x2", {-inf, -1, -inf, -inf}, {3, inf, inf, inf}, {0, 0}, -2, 0, 10, 0.5, 0},
      {"linear row", {-inf, -1, -inf, -inf}, {3, inf, 0.25, inf}, {0, 0}, -2, 0, 10, 0.25, 0},
      {"nonlinear slack", {-inf, -1, -inf, -inf}, {3, inf, 0.25, 0.1}, {0, 0}, -2, 0, 10, 0.1, 0},
      {"row already at its bound", {-inf, -inf, -inf, -inf}, {0, inf, inf, inf}, {0, 0}, -2, 0, 10, 10, 1},
      {"row beyond its bound", {-inf, -inf, -inf, -inf}, {-1, inf, inf, inf}, {0, 0}, -2, 0, 10, 10, 1},
      {"alfmax below every limit", {-inf, -1, -inf, -inf}, {inf, inf, inf, inf}, {0, 0}, -2, 0, 0.3, 0.3, 1},
      {"alfalow above the limit", {-inf, -1, -inf, -inf}, {inf, inf, inf, inf}, {0, 0}, -2, 0.8, 10, 0.8, 0},
      {"negligible component", {-inf, -1e-30, -inf, -inf}, {inf, inf, inf, inf}, {0, 0}, -1e-20, 0, 10, 10, 1},
  };
  set_precision(NPPREC, 2);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> dx = {1.0, c.dx2}, x = c.x, anorm = {0.0}, adx = {1.0}, ax = {0.0}, slack = {0.0},
                        dslack = {1.0};
    const double stepnorm = std::sqrt(1.0 + c.dx2 * c.dx2);
    double alfa = -1;
    int info = -1;
    npalf(info, 2, 1, 1, alfa, c.alfalow, c.alfmax, kBig, stepnorm, anorm, adx, ax, c.bl, c.bu, dslack, dx, slack,
          x);
    EXPECT_DOUBLE_EQ(alfa, c.alfa);
    EXPECT_EQ(info, c.info);
  }
}

// --- npcrsh ----------------------------------------------------------------

struct CrshCase {
  const char* name;
  bool cold;
  int n, nfree, linact;
  std::vector<double> bl, bu, c;  // the nonlinear rows only
  std::vector<int> state_in, state_out;
  std::vector<int> wslist_out;  // the appended nonlinear rows (nclin = 0)
};

TEST(Npcrsh, Table) {
  const double inf = kBig;
  const double tolact = 0.01;
  const CrshCase cases[] = {
      // Equal bounds enter first; then the smallest relative residual:
      // row 3 |2 - 2.001|/3.001 = 3.3e-4 (lower), row 2 |5 - 5.02|/6.02 =
      // 3.3e-3 (upper); row 4 |1.25 - 1.2|/2.2 = 0.023 is above tolact.
      {"cold start by residual", true, 4, 4, 0, {1, -inf, 2.001, 1.2}, {1, 5.02, inf, inf}, {1, 5, 2, 1.25},
       {0, 0, 0, 0}, {3, 2, 1, 0}, {1, 3, 2}},
      // Two rows with the same residual: the first wins; room for one only.
      {"equal residuals, first wins", true, 2, 2, 1, {1, 1}, {inf, inf}, {1.001, 1.001}, {0, 0}, {1, 0}, {1}},
      // Both bounds equally near: the lower one.
      {"tie between bounds", true, 1, 1, 0, {-1}, {1}, {0.0}, {0}, {0}, {}},
      {"tie between bounds near", true, 1, 1, 0, {-0.001}, {0.001}, {0.0}, {0}, {1}, {1}},
      {"upper strictly nearer", true, 1, 1, 0, {-0.002}, {0.001}, {0.0}, {0}, {2}, {1}},
      // A warm start keeps the states it is given and adds no row by
      // residual, although row 2 sits on its bound.
      {"warm start adds no row by residual", false, 3, 3, 0, {1, 1}, {2, 2}, {1.5, 1.0}, {2, 0}, {2, 0}, {1}},
      // No room: every nonlinear state is cleared, nothing enters.
      {"no room", false, 3, 2, 2, {1, 1}, {2, 2}, {1.0, 1.0}, {1, 2}, {0, 0}, {}},
      {"no room cold", true, 3, 3, 3, {1, 1}, {1, 2}, {1.0, 1.0}, {0, 0}, {0, 0}, {}},
      // Room for one: the first positive state enters, the second is cleared.
      {"room for one", false, 3, 3, 2, {1, 1}, {2, 2}, {1.0, 1.0}, {1, 2}, {1, 0}, {1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int m = static_cast<int>(c.c.size());
    const int nctotl = c.n + m;
    std::vector<double> bl(c.n, -inf), bu(c.n, inf);
    bl.insert(bl.end(), c.bl.begin(), c.bl.end());
    bu.insert(bu.end(), c.bu.begin(), c.bu.end());
    std::vector<int> istate(c.n, 0);
    istate.insert(istate.end(), c.state_in.begin(), c.state_in.end());
    // The linear working set is stood in for by marker rows -7 in wslist.
    std::vector<int> wslist(c.n, -7);
    int nactiv = c.linact, nZ = -1;
    npcrsh(c.cold, c.n, 0, m, nctotl, nactiv, c.nfree, nZ, istate, wslist, inf, tolact, bl, bu, c.c);
    for (int i = 0; i < m; ++i) EXPECT_EQ(istate[c.n + i], c.state_out[i]) << "row " << i + 1;
    EXPECT_EQ(nactiv, c.linact + static_cast<int>(c.wslist_out.size()));
    EXPECT_EQ(nZ, c.nfree - nactiv);
    for (int k = 0; k < c.linact; ++k) EXPECT_EQ(wslist[k], -7);
    for (std::size_t k = 0; k < c.wslist_out.size(); ++k) EXPECT_EQ(wslist[c.linact + k], c.wslist_out[k]);
  }
}

// --- npsetx ----------------------------------------------------------------

// Q = I (variables only permuted), n = 3: x3 fixed (state 1 at 0.5, or 2 at
// -0.5, or 4), x1 and x2 free, one active row a = (0, 2, 1) with lower bound
// 3.  The working-set row over the free variables is (0, 2), so T = [2] in
// column nZ + 1 = 2.  By hand: dx3 = target, 2 dx2 = 3 - dx3, dx1 = 0.
// R upper triangular [[1,2,3],[0,4,5],[0,0,6]], gq = (1, 1, 1):
// gdir = dx2 + dx3, rstep = -R dx (no null-space part), adx = a'dx = 3.
struct SetxCase {
  const char* name;
  int state3;
  double dx2, dx3;
};

TEST(Npsetx, UnitQ) {
  const SetxCase cases[] = {
      {"fixed at lower", 1, 1.25, 0.5},
      {"fixed at upper", 2, 1.75, -0.5},
      {"temporarily fixed", 4, 1.5, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = 3, nfree = 2, nactiv = 1, nZ = 1, ncqp = 1;
    std::vector<int> istate = {0, 0, c.state3, 1}, wslist = {1, 0, 0}, kx = {1, 2, 3};
    std::vector<double> bl = {-kBig, -kBig, 0.5, 3.0}, bu = {kBig, kBig, -0.5, kBig};
    std::vector<double> aqp = {0, 2, 1};  // ld 1
    std::vector<double> T(9, 0.0);
    T[(2 - 1) * 3 + 0] = 2.0;  // T(1, 2)
    std::vector<double> R = {1, 0, 0, 2, 4, 0, 3, 5, 6};
    std::vector<double> gq = {1, 1, 1}, Q(1), adx(1), rstep(3, 9), rstep0(3, 9), dx(3, 9), work(3);
    double stepnorm = 0, gdir = 0;
    npsetx(true, ncqp, nactiv, nfree, nZ, n, n, n + 1, 1, 1, 3, 3, istate, wslist, kx, stepnorm, gdir, aqp, adx,
           bl, bu, rstep, rstep0, dx, gq, R, T, Q, work);
    EXPECT_EQ(dx[0], 0.0);
    EXPECT_DOUBLE_EQ(dx[1], c.dx2);
    EXPECT_DOUBLE_EQ(dx[2], c.dx3);
    EXPECT_DOUBLE_EQ(adx[0], c.state3 == 4 ? 3.0 : 3.0);
    EXPECT_DOUBLE_EQ(gdir, c.dx2 + c.dx3);
    EXPECT_DOUBLE_EQ(stepnorm, std::hypot(c.dx2, c.dx3));
    EXPECT_DOUBLE_EQ(rstep[0], -(2 * c.dx2 + 3 * c.dx3));
    EXPECT_DOUBLE_EQ(rstep[1], -(4 * c.dx2 + 5 * c.dx3));
    EXPECT_DOUBLE_EQ(rstep[2], -(6 * c.dx3));
    for (double v : rstep0) EXPECT_EQ(v, 0.0);
  }
}

// A rotated basis: n = 2, both free, one active row a = (1, 1) >= 2.
// Q = (Z Y) with Z = (1, -1)/sqrt2, Y = (1, 1)/sqrt2, so a'Q = (0, sqrt2)
// and T = [sqrt2].  Minimum-norm step (1, 1); with g = (3, 1) the projected
// gradient is Q'g = (sqrt2, 2 sqrt2) and gdir = g'dx = 4.  R = [[2,1],[0,3]]
// in the Q basis: the transformed step is (0, sqrt2), rstep = -R (0, sqrt2).
// Only the first row of R (nlnx = 1) takes part below the null space.
TEST(Npsetx, RotatedBasis) {
  const double r2 = std::sqrt(2.0);
  std::vector<int> istate = {0, 0, 1}, wslist = {1, 0}, kx = {1, 2};
  std::vector<double> bl = {-kBig, -kBig, 2.0}, bu = {kBig, kBig, kBig};
  std::vector<double> aqp = {1, 1};
  std::vector<double> T = {0, 0, r2, 0};  // T(1, 2) = sqrt2
  std::vector<double> Q = {1 / r2, -1 / r2, 1 / r2, 1 / r2};
  std::vector<double> R = {2, 0, 1, 3};
  std::vector<double> gq = {r2, 2 * r2}, adx(1), rstep(2, 9), rstep0(2, 9), dx(2), work(2);
  for (int nlnx : {2, 1}) {
    SCOPED_TRACE(nlnx);
    double stepnorm = 0, gdir = 0;
    npsetx(false, 1, 1, 2, 1, 2, nlnx, 3, 2, 1, 2, 2, istate, wslist, kx, stepnorm, gdir, aqp, adx, bl, bu, rstep,
           rstep0, dx, gq, R, T, Q, work);
    EXPECT_NEAR(dx[0], 1.0, 1e-15);
    EXPECT_NEAR(dx[1], 1.0, 1e-15);
    EXPECT_NEAR(gdir, 4.0, 1e-14);
    EXPECT_NEAR(stepnorm, r2, 1e-15);
    EXPECT_NEAR(adx[0], 2.0, 1e-15);
    EXPECT_NEAR(rstep[0], -r2, 1e-15);
    EXPECT_NEAR(rstep[1], nlnx == 2 ? -3 * r2 : 0.0, 1e-14);
  }
}

// No active constraint and nothing fixed: the step is zero.
TEST(Npsetx, EmptyWorkingSet) {
  std::vector<int> istate = {0, 0}, wslist = {0, 0}, kx = {2, 1};
  std::vector<double> bl = {-1, -1}, bu = {1, 1}, aqp(1), adx(1), T(1), Q(1), R = {1, 0, 0, 1}, gq = {1, 1};
  std::vector<double> rstep(2, 9), rstep0(2, 9), dx(2, 9), work(2);
  double stepnorm = -1, gdir = -1;
  npsetx(true, 0, 0, 2, 2, 2, 2, 2, 1, 1, 2, 1, istate, wslist, kx, stepnorm, gdir, aqp, adx, bl, bu, rstep, rstep0,
         dx, gq, R, T, Q, work);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(dx[k], 0.0);
    EXPECT_EQ(rstep[k], 0.0);
    EXPECT_EQ(rstep0[k], 0.0);
  }
  EXPECT_EQ(stepnorm, 0.0);
  EXPECT_EQ(gdir, 0.0);
}

// --- traces ----------------------------------------------------------------

using NpwsetTrace = testing::LogUnits;

TEST_F(NpwsetTrace, Texts) {
  set_precision(NPPREC, 1);
  std::vector<double> bl = {-kBig}, bu = {kBig}, x = {0}, dx = {1}, none;
  double alfa = 0;
  int info = 0;
  npalf(info, 1, 0, 0, alfa, 0.0, 5.0, kBig, 1.0, none, none, none, bl, bu, none, dx, none, x, kPrint);
  std::vector<double> featol = {1e-6}, work(1), xv = {-2};
  std::vector<double> bl2 = {-1}, bu2 = {1};
  std::vector<int> istate = {0};
  double norm = 0, errmax = 0;
  int jmax = 0, nviol = 0;
  npfeas(1, 0, 0, istate, kBig, norm, errmax, jmax, nviol, none, bl2, bu2, none, featol, xv, work, kPrint);
  const auto lines = records(kPrint);
  const std::vector<std::string> want = {
      "",
      " npalf  entered",
      "    j            res             Ap           alfa ",
      "    1    -1.0000         1.0000         5.0000    ",
      "",
      " //npalf //  No finite step.    5.00000E+00",
      "",
      " //npfeas//  The maximum violation is       1.00E+00 in constraint    1",
  };
  EXPECT_EQ(lines, want);
}

}  // namespace
}  // namespace qv::optim
