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

std::vector<QpCase> closed_form_cases() {
  QpProblem lp_unbounded = two_vars({}, {-kInf, 0}, {kInf, 1}, {-1, 0});
  lp_unbounded.nrank = 0;
  QpProblem lp_weak = two_vars({}, {0, 0}, {kInf, 1}, {1, 0});
  lp_weak.nrank = 0;
  lp_weak.x = {2.0, 0.5};
  QpProblem warm = two_vars({1, 1}, {-kInf, -kInf, 2}, {kInf, kInf, kInf}, {0, 0});
  warm.istate = {0, 0, 1};
  return {
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
}

TEST(E04NCZ, SolvesSmallQpsToTheirClosedForms) {
  for (const QpCase& k : closed_form_cases()) {
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

// min 1/2 x^2 with 2x >= 2 as a row within jhard and x <= 0 as a row beyond
// it: no point satisfies both.  On x <= 0 the scaled multiplier of that row
// is 2 (the violated row's gradient over its own), above 1, so it is moved
// off (state -1, violated above) and x reaches 1; the sum of
// infeasibilities is then the violation of x <= 0, 1.  (With the row x >= 1
// the multiplier would be 1, not above 1, and nothing would move.)
TEST(E04NCZ, OnlyRowsBeyondJhardAreMovedOffWhileInfeasible) {
  QpProblem p;
  p.n = 1;
  p.nclin = 2;
  p.a = {2, 1};
  p.bl = {-kInf, 2, -kInf};
  p.bu = {kInf, kInf, 0};
  p.c = {0};
  p.x = {0};
  p.jhard = 2;
  const QpOutcome r = solve_qp(p);
  EXPECT_EQ(r.inform, 3);
  EXPECT_NEAR(r.x[0], 1.0, 1e-15);
  EXPECT_EQ(r.istate, (std::vector<int>{0, 1, -1}));
  EXPECT_NEAR(r.objective, 1.0, 1e-15);
}

// Until the debug-start iteration the print level is 0 and the traces are
// off; from it on, both run.
TEST(E04NCZ, TracesAndLogStartAtTheDebugStartIteration) {
  QpProblem p;
  p.n = 2;
  p.nclin = 2;
  p.a = {1, 2, 2, 1};
  p.bl = {-kInf, -kInf, -kInf, -kInf};
  p.bu = {kInf, 1, 4, 4};
  p.c = {-3, -3};
  p.x = {0, 0};
  p.msglvl = 5;
  p.idbg = 2;
  UnitCapture cap;
  const QpOutcome r = solve_qp(p);
  EXPECT_EQ(r.inform, 0);
  const std::vector<std::string> lines = cap.lines();
  std::size_t first_trace = lines.size(), first_line = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (first_trace == lines.size() && lines[i].rfind(" //E04NC", 0) == 0) first_trace = i;
    if (first_line == lines.size() && lines[i].rfind("    ", 0) == 0 && lines[i].size() > 105) first_line = i;
  }
  ASSERT_LT(first_line, lines.size());
  EXPECT_EQ(lines[first_line].substr(0, 5), "    2") << "the lines of iterations 0 and 1 are not written";
  EXPECT_LT(first_trace, first_line) << "the traces of iteration 2 come before its line";
  for (std::size_t i = 0; i < first_trace; ++i) EXPECT_EQ(lines[i].find("//"), std::string::npos) << lines[i];
}

// The same problems through the optimizer's own QP routines: the edition
// follows them step for step, so it takes as many iterations to the same
// point, states and multipliers (eps, which differs, does not decide any
// step on these problems).
TEST(E04NCZ, FollowsTheOptimizersIterationsStepForStep) {
  std::vector<QpCase> cases = closed_form_cases();
  QpProblem stuck;
  stuck.n = 52;
  stuck.bl.assign(52, -kInf);
  stuck.bu.assign(52, 0.5);
  stuck.c.assign(52, -1.0);
  stuck.x.assign(52, 0.0);
  stuck.itmax = 200;
  cases.push_back({"52 bounds reached by tiny steps", stuck, 5, {}, {}, {}, kNaN});
  QpProblem hard;
  hard.n = 1;
  hard.nclin = 2;
  hard.a = {2, 1};
  hard.bl = {-kInf, 2, -kInf};
  hard.bu = {kInf, kInf, 0};
  hard.c = {0};
  hard.x = {0};
  hard.jhard = 2;
  cases.push_back({"a row beyond jhard moved off", hard, 3, {}, {}, {}, kNaN});
  for (const QpCase& k : cases) {
    SCOPED_TRACE(k.name);
    const QpOutcome e = solve_qp(k.p);
    const QpOutcome t = solve_qp(k.p, true);
    EXPECT_EQ(e.inform, t.inform);
    EXPECT_EQ(e.iter, t.iter);
    EXPECT_EQ(e.istate, t.istate);
    EXPECT_EQ(e.kx, t.kx);
    for (std::size_t j = 0; j < e.x.size(); ++j) EXPECT_NEAR(e.x[j], t.x[j], 1e-14) << j;
    for (std::size_t j = 0; j < e.mult.size(); ++j) EXPECT_NEAR(e.mult[j], t.mult[j], 1e-14) << j;
    EXPECT_NEAR(e.objective, t.objective, 1e-14);
  }
}

}  // namespace
}  // namespace qv::optim_alt
