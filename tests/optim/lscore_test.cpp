// The QP iterations called directly on problems with bounds only, the
// variables all free at the start and Q the identity: the count of steps
// that do not move x, the iteration limit, and equalities at a stationary
// point.
//
// Reference points are closed forms: min 1/2|x|^2 - sum(x) has its
// unconstrained minimum at x = 1, so under x <= 0.5 every bound is reached
// by the first step and each later step has length 0.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "log_fixture.hpp"
#include "optim/lscore.hpp"
#include "optim/lsqps.hpp"
#include "optkern/machine.hpp"
#include "optim/options.hpp"
#include "optim/workset.hpp"
#include "optim/wsutil.hpp"

namespace qv::optim {
namespace {

constexpr double kInf = 1e20;

// A problem over bounds only: R (I unless given, column by column) for a
// QP or none (LP), linear term c.
struct Outcome {
  int inform = -1, iter = -1;
  std::vector<double> x, mult;
  std::vector<int> istate;
  double objective = 0.0;  // ssq + ctx at the end
};

Outcome run_bounds(bool qp, std::vector<double> bl, std::vector<double> bu, std::vector<double> c, std::vector<double> x,
               std::vector<int> istate, int itmax2, std::vector<double> rfac = {}) {
  const int n = static_cast<int>(x.size());
  int li = 0, lw = 0;
  QPWSPC(qp ? 4 : 2, n, 0, li, lw);
  const Lsloc loc = LSQPST.loc;
  std::vector<double> w(static_cast<std::size_t>(lw), 0.0), r(static_cast<std::size_t>(n * n), 0.0);
  if (!rfac.empty()) r = rfac;
  for (int j = 0; j < n; ++j) {
    if (rfac.empty()) r[j + j * n] = 1.0;
    w[loc.cq - 1 + j] = c[j];
    w[loc.featol - 1 + j] = 1e-8;
    w[loc.infwt - 1 + j] = 1.0;
  }
  // Fixed variables go to the end of kx; x = 0 on the free ones gives res = 0.
  std::vector<int> kx, wslist(n);
  for (int j = 1; j <= n; ++j)
    if (istate[j - 1] == 0) kx.push_back(j);
  int nfree = static_cast<int>(kx.size());
  for (int j = 1; j <= n; ++j)
    if (istate[j - 1] != 0) kx.push_back(j);
  LSCOND.reset();
  bool unitQ = true;
  int nactiv = 0, nZ = nfree, nZ1 = 0, ninf = 0;
  double ctx = 0, ssq = 0, suminf = 0, xnorm = 0;
  for (double v : x) xnorm += v * v;
  xnorm = std::sqrt(xnorm);
  Lsctl ctl;
  ctl.itmax1 = 100;
  ctl.itmax2 = itmax2;
  ctl.msglvl = 0;
  ctl.bigbnd = 9.9999e19;
  ctl.bigdx = 9.9999e19;
  ctl.tolrank = 1e-10;
  Outcome out;
  out.mult.assign(n, 0.0);
  std::vector<double> ax(1);
  for (int j = 1; j <= n; ++j) {
    const int is = istate[j - 1];
    if (is == 1 || is == 3) x[j - 1] = bl[j - 1];
    if (is == 2) x[j - 1] = bu[j - 1];
  }
  if (qp) {  // res = -R Q'x over the free and fixed variables
    for (int i = 1; i <= n; ++i) {
      double s = 0.0;
      for (int k = i; k <= n; ++k) s += r[(i - 1) + (k - 1) * n] * x[kx[k - 1] - 1];
      w[loc.res - 1 + i - 1] = -s;
    }
  }
  lscore(qp ? "QP" : "LP", false, {}, true, unitQ, out.inform, out.iter, n, 0, n, nactiv, nfree, qp ? n : 0, nZ, nZ1,
         n, 1, n, istate, wslist, kx, ctx, ssq, 0.0, suminf, ninf, xnorm, bl, bu, std::vector<double>(1), out.mult, ax,
         std::span<const double>(w).subspan(static_cast<std::size_t>(loc.featol - 1), static_cast<std::size_t>(n)), r,
         x, w, loc, ctl);
  out.x = x;
  out.istate = istate;
  out.objective = ssq + ctx;
  return out;
}

class Lscore : public testing::LogUnits {
 protected:
  void SetUp() override {
    LogUnits::SetUp();
    LSPRNT.reset();
  }
};

// min 1/2|x|^2 - sum(x), x <= 0.5 from x = 0: the first step reaches every
// bound; each of the n - 1 later bounds is added by a step of length 0.
TEST_F(Lscore, StepsThatDoNotMoveX) {
  struct Case {
    int n;
    int inform;
    int iter;
    const char* why;
  };
  const Case cases[] = {
      {51, 0, 51, "50 steps of length 0 in a row go on"},
      {52, 5, 52, "the 51st ends the iterations"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.why);
    const std::size_t n = static_cast<std::size_t>(k.n);
    const Outcome r = run_bounds(true, std::vector<double>(n, -kInf), std::vector<double>(n, 0.5),
                             std::vector<double>(n, -1.0), std::vector<double>(n, 0.0), std::vector<int>(n, 0), 200);
    EXPECT_EQ(r.inform, k.inform);
    EXPECT_EQ(r.iter, k.iter);
    for (double v : r.x) EXPECT_EQ(v, 0.5);
  }
}

// min -x1 on 0 <= x1 <= 1 from x1 = 0: releasing the artificial constraint
// and one step reach x1 = 1; with no optimality-phase iteration allowed the
// limit ends the call first.
TEST_F(Lscore, IterationLimit) {
  struct Case {
    int itmax2;
    int inform;
    double x;
  };
  const Case cases[] = {{0, 4, 0.0}, {1, 0, 1.0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.itmax2);
    const Outcome r = run_bounds(false, {0.0}, {1.0}, {-1.0}, {0.0}, {0}, k.itmax2);
    EXPECT_EQ(r.inform, k.inform);
    EXPECT_EQ(r.x[0], k.x);
  }
}

// min -x1 with x1 held at 1: as an equality (bl = bu) its multiplier -1
// never makes it leave the working set; as a lower bound on [1, 2] it
// leaves and x1 moves to its upper bound.
TEST_F(Lscore, EqualityStaysInTheWorkingSet) {
  struct Case {
    double bu;
    int state;
    int inform;
    double x;
    int final_state;
    double mult;
  };
  const Case cases[] = {
      {1.0, 3, 0, 1.0, 3, -1.0},  // gradient -1 = lambda * 1
      {2.0, 1, 0, 2.0, 2, -1.0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.state);
    const Outcome r = run_bounds(false, {1.0}, {k.bu}, {-1.0}, {1.0}, {k.state}, 50);
    EXPECT_EQ(r.inform, k.inform);
    EXPECT_EQ(r.x[0], k.x);
    EXPECT_EQ(r.istate[0], k.final_state);
    EXPECT_EQ(r.mult[0], k.mult);
  }
}

// min c'x + 1/2|Rx|^2 with no constraint and c = R'v: the minimum is
// -|v|^2/2 = -0.31 at Rx = -v (closed form, by back substitution:
// x3 = -0.2, x2 = 0.7 + 2e4 * 0.2 = 4000.7, x1 = -0.3 - 1e4 x2 + 3e4 * 0.2
// = -40001000.3).  R's large off-diagonal elements leave the reduced
// gradient after the first full step above the optimality tolerance (a
// limit of one optimality-phase iteration then ends the call with 4); a
// second full step follows, and two full steps without a working-set change
// are a stationary point: the call ends there (0) whatever limit is left.
// x and the objective hold to the accuracy R's condition (about 1e9)
// allows.
TEST_F(Lscore, TwoFullStepsAreStationary) {
  const std::vector<double> R = {1.0, 0.0, 0.0, 1e4, 1.0, 0.0, 3e4, 2e4, 1.0};
  const double xstar[] = {-40001000.3, 4000.7, -0.2};
  const std::vector<double> v = {0.3, -0.7, 0.2};
  std::vector<double> c(3, 0.0);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i <= j; ++i) c[j] += R[i + j * 3] * v[i];
  struct Case {
    int itmax2;
    int inform;
    int iter;
  };
  const Case cases[] = {{1, 4, 1}, {2, 0, 2}, {50, 0, 2}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.itmax2);
    const Outcome r = run_bounds(true, std::vector<double>(3, -kInf), std::vector<double>(3, kInf), c,
                                 std::vector<double>(3, 0.0), std::vector<int>(3, 0), k.itmax2, R);
    EXPECT_EQ(r.inform, k.inform);
    EXPECT_EQ(r.iter, k.iter);
    for (int s : r.istate) EXPECT_EQ(s, 0);
    if (k.inform == 0) {
      EXPECT_NEAR(r.objective, -0.31, 1e-8);
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(r.x[j], xstar[j], 1e-6 * std::abs(xstar[j])) << j;
    }
  }
}

}  // namespace
}  // namespace qv::optim
