// The edition's QP routines solving small QPs and LPs whose solutions are
// known in closed form (the Karush-Kuhn-Tucker conditions solved by hand,
// written beside each case), through the chain crash - fixed variables -
// general rows - refinement - iterations of qp_fixture.hpp.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim_alt/qp_fixture.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;
using test::kInf;
using test::QpOutcome;
using test::QpProblem;
using test::solve_qp;

struct QpCase {
  const char* name;
  QpProblem p;
  int inform;
  std::vector<double> x;       // empty: not checked
  std::vector<int> istate;     // empty: not checked
  std::vector<double> mult;    // empty: not checked
  double objective;            // NaN: not checked
};

const double kNaN = std::nan("");

QpProblem two_vars(std::vector<double> a, std::vector<double> bl, std::vector<double> bu, std::vector<double> c) {
  QpProblem p;
  p.n = 2;
  p.nclin = static_cast<int>(a.size()) / 2;
  p.a = a;
  p.bl = bl;
  p.bu = bu;
  p.c = c;
  p.x = {0.0, 0.0};
  return p;
}

TEST(E04NCZ, SolvesSmallQpsToTheirClosedForms) {
  QpProblem lp_unbounded = two_vars({}, {-kInf, 0}, {kInf, 1}, {-1, 0});
  lp_unbounded.nrank = 0;
  QpProblem lp_weak = two_vars({}, {0, 0}, {kInf, 1}, {1, 0});
  lp_weak.nrank = 0;
  lp_weak.x = {2.0, 0.5};
  QpProblem warm = two_vars({1, 1}, {-kInf, -kInf, 2}, {kInf, kInf, kInf}, {0, 0});
  warm.istate = {0, 0, 1};
  const QpCase cases[] = {
      // x = lambda (1, 1) on x1 + x2 = 2: lambda = 1, f = 1.
      {"distance to a half-plane", two_vars({1, 1}, {-kInf, -kInf, 2}, {kInf, kInf, kInf}, {0, 0}), 0, {1, 1},
       {0, 0, 1}, {0, 0, 1}, 1.0},
      {"the same from a warm start on the row", warm, 0, {1, 1}, {0, 0, 1}, {0, 0, 1}, 1.0},
      // x = lambda (1, 1) on x1 + x2 = 1: lambda = 0.5, f = 0.25.
      {"an equality row", two_vars({1, 1}, {-kInf, -kInf, 1}, {kInf, kInf, 1}, {0, 0}), 0, {0.5, 0.5}, {0, 0, 3},
       {0, 0, 0.5}, 0.25},
      // grad = x - (3, 1) = (-2, 0) at x1 = 1 (upper bound): f = 1 - 4 = -3.
      {"an upper bound", two_vars({}, {-kInf, -kInf}, {1, kInf}, {-3, -1}), 0, {1, 1}, {2, 0}, {-2, 0}, -3.0},
      // x - (3, 3) = lambda1 (1, 2) + lambda2 (2, 1) at the vertex (4/3, 4/3):
      // lambda = -5/9 each, f = -8 + 16/9 = -56/9.
      {"a vertex of two rows",
       two_vars({1, 2, 2, 1}, {-kInf, -kInf, -kInf, -kInf}, {kInf, kInf, 4, 4}, {-3, -3}), 0, {4.0 / 3, 4.0 / 3},
       {0, 0, 2, 2}, {0, 0, -5.0 / 9, -5.0 / 9}, -56.0 / 9},
      // x1 + x2 <= 2 on the box: no point reaches 3.
      {"rows no point satisfies", two_vars({1, 1}, {0, 0, 3}, {1, 1, kInf}, {0, 0}), 3, {}, {}, {}, kNaN},
      {"an LP unbounded below", lp_unbounded, 2, {}, {}, {}, kNaN},
      // min x1 over x1 >= 0: any x2 in [0, 1] is a minimum.
      {"an LP with a weak minimum", lp_weak, 1, {0, 0.5}, {1, 0}, {}, 0.0},
  };
  for (const QpCase& k : cases) {
    SCOPED_TRACE(k.name);
    const QpOutcome r = solve_qp(k.p);
    EXPECT_EQ(r.inform, k.inform);
    for (std::size_t j = 0; j < k.x.size(); ++j) EXPECT_NEAR(r.x[j], k.x[j], 1e-12) << j;
    if (!k.istate.empty()) {
      EXPECT_EQ(r.istate, k.istate);
    }
    for (std::size_t j = 0; j < k.mult.size(); ++j) EXPECT_NEAR(r.mult[j], k.mult[j], 1e-12) << j;
    if (!std::isnan(k.objective)) {
      EXPECT_NEAR(r.objective, k.objective, 1e-12);
    }
  }
}

TEST(E04NCZ, WritesNothingAtPrintLevelZeroWithoutTheDebugSwitch) {
  UnitCapture cap;
  const QpOutcome r = solve_qp(two_vars({1, 2, 2, 1}, {-kInf, -kInf, -kInf, -kInf}, {kInf, kInf, 4, 4}, {-3, -3}));
  EXPECT_EQ(r.inform, 0);
  EXPECT_TRUE(cap.lines().empty());
}

// min 1/2|x|^2 - sum(x), x <= 0.5 from x = 0 (unconstrained minimum x = 1):
// the first step reaches every bound; each of the n - 1 later bounds is
// added by a step of length 0.
TEST(E04NCZ, FiftyTinyStepsGoOnTheFiftyFirstEndsWithFive) {
  struct Case {
    int n, inform, iter;
  };
  for (const Case& k : {Case{51, 0, 51}, Case{52, 5, 52}}) {
    SCOPED_TRACE(k.n);
    QpProblem p;
    p.n = k.n;
    const std::size_t n = static_cast<std::size_t>(k.n);
    p.bl.assign(n, -kInf);
    p.bu.assign(n, 0.5);
    p.c.assign(n, -1.0);
    p.x.assign(n, 0.0);
    p.itmax = 200;
    const QpOutcome r = solve_qp(p);
    EXPECT_EQ(r.inform, k.inform);
    EXPECT_EQ(r.iter, k.iter);
    for (double v : r.x) EXPECT_EQ(v, 0.5);
  }
}

// min -x1 on 0 <= x1 <= 1 (LP): the artificial constraint is released and
// one step reaches x1 = 1; without an iteration allowed the limit ends first.
TEST(E04NCZ, IterationLimitGivesFour) {
  struct Case {
    int itmax, inform;
    double x;
  };
  for (const Case& k : {Case{0, 4, 0.0}, Case{1, 0, 1.0}}) {
    SCOPED_TRACE(k.itmax);
    QpProblem p;
    p.n = 1;
    p.bl = {0.0};
    p.bu = {1.0};
    p.c = {-1.0};
    p.x = {0.0};
    p.nrank = 0;
    p.istate = {1};
    p.itmax = k.itmax;
    const QpOutcome r = solve_qp(p);
    EXPECT_EQ(r.inform, k.inform);
    EXPECT_EQ(r.x[0], k.x);
  }
}

}  // namespace
}  // namespace qv::optim_alt
