// The least-squares and QP solver end to end: linear programs, quadratic
// programs and least-squares problems with their exit lines, solutions,
// objective values and multiplier signs (>= 0 at a lower bound, <= 0 at an
// upper one); the rank and indefinite-Hessian messages; input errors; a warm
// re-solve.
//
// Reference solutions are closed forms worked by hand from the optimality
// conditions (the active constraints solved as equations, the multipliers
// from the gradient = A' lambda), noted beside each case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "log_fixture.hpp"
#include "optim/lsqps.hpp"
#include "optim/options.hpp"

namespace qv::optim {
namespace {

constexpr double kInf = 1e20;

struct Problem {
  const char* name;
  const char* type;               // the "Problem type" option line
  int mm = 0, n = 0, nclin = 0;
  std::vector<double> arows{};    // nclin x n, row by row
  std::vector<double> bl{}, bu{}; // n + nclin
  std::vector<double> c{};        // linear term (n)
  std::vector<double> rrows{};    // Hessian (n x n) or data matrix (mm x n), row by row
  std::vector<double> b{};        // right-hand side (mm)
  std::vector<double> x0{};       // start point
};

struct Result {
  int inform = -1, iter = -1;
  double obj = 0.0;
  std::vector<double> x, mult;
  std::vector<int> istate;
  std::vector<std::string> print;
};

class Lsqps : public testing::LogUnits {
 protected:
  void SetUp() override {
    LogUnits::SetUp();
    LSQPST.reset();
    LSOPLN("Print file 7");
    LSOPLN("Summary file 8");
  }

  // Solves p (the options given before as lines); istate and x may carry a
  // warm start.
  Result solve(const Problem& p, std::vector<int> istate = {}, std::vector<double> x = {}) {
    LSOPLN(std::string("Problem type ") + p.type);
    const int n = p.n, nclin = p.nclin, nctotl = n + nclin;
    const int lda = std::max(1, nclin);
    const int ldr = std::max({1, n, p.mm});
    std::vector<double> a(static_cast<std::size_t>(lda * n), 0.0);
    for (int i = 0; i < nclin; ++i)
      for (int j = 0; j < n; ++j) a[i + j * lda] = p.arows[i * n + j];
    const int rrows = p.mm > 0 ? p.mm : n;
    std::vector<double> r(static_cast<std::size_t>(ldr * n), 0.0);
    for (int i = 0; i < rrows && !p.rrows.empty(); ++i)
      for (int j = 0; j < n; ++j) r[i + j * ldr] = p.rrows[i * n + j];
    std::vector<double> b = p.b;
    if (b.empty()) b.assign(1, 0.0);
    std::vector<double> c = p.c;
    if (c.empty()) c.assign(n, 0.0);
    if (istate.empty()) istate.assign(nctotl, 0);
    if (x.empty()) x = p.x0.empty() ? std::vector<double>(n, 0.0) : p.x0;
    std::vector<int> kx(n), iw(1000);
    std::vector<double> w(10000, 0.0);
    Result res;
    res.mult.assign(nctotl, 0.0);
    LSQPS(p.mm, n, nclin, lda, ldr, a, p.bl, p.bu, c, istate, kx, x, r, b, res.inform, res.iter, res.obj, res.mult, iw,
          static_cast<int>(iw.size()), w, static_cast<int>(w.size()));
    res.x = x;
    res.istate = istate;
    res.print = records(kPrint);
    return res;
  }

  static bool has(const std::vector<std::string>& lines, const std::string& s) {
    return std::find(lines.begin(), lines.end(), s) != lines.end();
  }
};

// Problems with a unique solution: x, objective, exit line and the expected
// multipliers of the active rows.
struct SolvedCase {
  Problem p;
  int inform;
  const char* exit_line;
  std::vector<double> x;
  double obj;
  std::vector<double> mult;  // by row; checked where the state is active
  const char* source;
};

std::vector<SolvedCase> solved_cases() {
  return {
      {{"lp_two_rows", "LP", 0, 2, 2, {1, 2, 3, 1}, {0, 0, -kInf, -kInf}, {kInf, kInf, 4, 6}, {-1, -1}},
       0,
       " Exit LSQPS - Optimal LP solution.",
       {1.6, 1.2},
       -2.8,
       {0, 0, -0.4, -0.2},
       "both rows active: x1 + 2x2 = 4, 3x1 + x2 = 6; (-1,-1) = -0.4 (1,2) - 0.2 (3,1)"},
      {{"qp2_simplex", "QP2", 0, 3, 1, {1, 1, 2}, {0, 0, 0, -kInf}, {kInf, kInf, kInf, 3}, {-8, -6, -4},
        {4, 2, 2, 2, 4, 0, 2, 0, 2}},
       0,
       " Exit LSQPS - Optimal QP solution.",
       {4.0 / 3, 7.0 / 9, 4.0 / 9},
       -80.0 / 9,
       {0, 0, 0, -2.0 / 9},
       "row active: Hx + c = (-2/9)(1,1,2) with x1 + x2 + 2x3 = 3; objective 1/2 x'Hx + c'x"},
      {{"ls1_free", "LS1", 3, 2, 0, {}, {-kInf, -kInf}, {kInf, kInf}, {}, {1, 0, 0, 1, 1, 1}, {1, 1, 3}},
       0,
       " Exit LSQPS - Optimal LS solution.",
       {4.0 / 3, 4.0 / 3},
       1.0 / 6,
       {0, 0},
       "normal equations [[2,1],[1,2]] x = (4,4); residual (-1/3,-1/3,1/3)"},
      {{"ls1_upper_bounds", "LS1", 3, 2, 0, {}, {-kInf, -kInf}, {1, 1}, {}, {1, 0, 0, 1, 1, 1}, {1, 1, 3}},
       0,
       " Exit LSQPS - Optimal LS solution.",
       {1, 1},
       0.5,
       {-1, -1},
       "both upper bounds active: A'(Ax - b) = A'(0,0,-1) = (-1,-1)"},
  };
}

TEST_F(Lsqps, SolvedProblems) {
  for (const SolvedCase& k : solved_cases()) {
    SCOPED_TRACE(std::string(k.p.name) + ": " + k.source);
    const Result r = solve(k.p);
    EXPECT_EQ(r.inform, k.inform);
    EXPECT_TRUE(has(r.print, k.exit_line));
    for (std::size_t j = 0; j < k.x.size(); ++j) EXPECT_NEAR(r.x[j], k.x[j], 1e-10) << "x" << j + 1;
    EXPECT_NEAR(r.obj, k.obj, 1e-10);
    for (std::size_t j = 0; j < k.mult.size(); ++j) {
      const int is = r.istate[j];
      if (is == 1) {
        EXPECT_GE(r.mult[j], 0.0) << "row " << j + 1;
      }
      if (is == 2) {
        EXPECT_LE(r.mult[j], 0.0) << "row " << j + 1;
      }
      if (is >= 1 && is <= 3) {
        EXPECT_NEAR(r.mult[j], k.mult[j], 1e-10) << "row " << j + 1;
      }
    }
  }
}

TEST_F(Lsqps, UpperBoundsActiveInLeastSquares) {
  const SolvedCase k = solved_cases()[3];
  const Result r = solve(k.p);
  EXPECT_EQ(r.istate[0], 2);
  EXPECT_EQ(r.istate[1], 2);
}

// Exit lines and result lines of the other outcomes.
TEST_F(Lsqps, Outcomes) {
  struct Case {
    Problem p;
    int inform;
    std::vector<std::string> lines;
    const char* why;
  };
  const std::vector<Case> cases = {
      {{"lp_unbounded", "LP", 0, 1, 0, {}, {0}, {kInf}, {-1}},
       2,
       {" Exit LSQPS - LP solution is unbounded."},
       "min -x1 over x1 >= 0 has no minimum"},
      {{"lp_infeasible", "LP", 0, 2, 1, {1, 1}, {0, 0, 3}, {1, 1, kInf}, {-1, -1}},
       3,
       {" Exit LSQPS - Cannot satisfy the linear constraints. ", " Minimum sum of infeasibilities =    1.000000    "},
       "x1 + x2 <= 2 on the box, so the row falls short of 3 by at least 1"},
      {{"fp_feasible", "FP", 0, 2, 1, {1, 1}, {0, 0, 1}, {2, 2, kInf}, {}},
       0,
       {" Exit LSQPS - Feasible point found.     "},
       "the box [0,2]^2 meets x1 + x2 >= 1"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.p.name) + ": " + k.why);
    const Result r = solve(k.p);
    EXPECT_EQ(r.inform, k.inform);
    for (const std::string& s : k.lines) EXPECT_TRUE(has(r.print, s)) << s;
    if (k.inform == 0) {  // the point found satisfies the constraints
      for (int j = 0; j < k.p.n; ++j) {
        EXPECT_GE(r.x[j], k.p.bl[j] - 1e-8);
        EXPECT_LE(r.x[j], k.p.bu[j] + 1e-8);
      }
      EXPECT_GE(r.x[0] + r.x[1], 1.0 - 1e-8);
    }
  }
}

// Two equal columns: rank 1, and the minimum is not unique (x1 + x2 = 2,
// the mean of b).
TEST_F(Lsqps, RankDeficientLeastSquaresIsWeak) {
  const Problem p{"ls_equal_columns", "LS1", 3, 2, 0, {}, {-kInf, -kInf}, {kInf, kInf}, {}, {1, 1, 1, 1, 1, 1},
                  {1, 2, 3}};
  const Result r = solve(p);
  EXPECT_EQ(r.inform, 1);
  EXPECT_TRUE(has(r.print, " Rank of the objective function data matrix =     1"));
  EXPECT_TRUE(has(r.print, " Exit LSQPS - Weak LS solution."));
  EXPECT_NEAR(r.x[0] + r.x[1], 2.0, 1e-10);  // mean of (1, 2, 3)
  EXPECT_NEAR(r.obj, 1.0, 1e-10);            // 1/2 ((1-2)^2 + 0 + (3-2)^2)
}

TEST_F(Lsqps, IndefiniteHessianMessage) {
  // H = [[1,0,0],[0,0,1],[0,1,0]]: after the first pivot the remaining
  // diagonal is 0 while the off-diagonal element is 1.
  const Problem p{"qp_indefinite", "QP1", 0, 3, 0, {}, {0, 0, 0}, {1, 1, 1}, {}, {1, 0, 0, 0, 0, 1, 0, 1, 0}};
  const Result r = solve(p);
  EXPECT_TRUE(has(r.print, " XXX  Hessian appears to be indefinite."));
  EXPECT_TRUE(has(r.print, " XXX  Maximum diagonal and off-diagonal ignored in the Cholesky factorization:"));
  EXPECT_TRUE(has(r.print, "  0.00000000000000E+00  1.00000000000000E+00"));
}

TEST_F(Lsqps, InputErrorAbandonsTheProblem) {
  const Problem p{"bad_bounds", "LP", 0, 2, 0, {}, {0, 2}, {1, 1}, {1, 1}};
  const Result r = solve(p);
  EXPECT_EQ(r.inform, 6);
  EXPECT_EQ(r.iter, 0);
  EXPECT_TRUE(has(r.print, " Exit LSQPS -          1 errors found in the input parameters.  Problem abandoned."));
}

TEST_F(Lsqps, WarmResolveTakesNoIteration) {
  const SolvedCase k = solved_cases()[1];
  const Result first = solve(k.p);
  ASSERT_EQ(first.inform, 0);
  EXPECT_GT(first.iter, 0);
  LSOPLN("Warm start");
  const Result again = solve(k.p, first.istate, first.x);
  EXPECT_EQ(again.inform, 0);
  EXPECT_EQ(again.iter, 0);
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(again.x[j], k.x[j], 1e-10);
}

TEST_F(Lsqps, BannerParametersAndOptionsRestored) {
  const SolvedCase k = solved_cases()[0];
  LSOPLN("Rank tolerance 0");  // unset: filled in for the call only
  const Result r = solve(k.p);
  EXPECT_TRUE(has(r.print, std::string(21, ' ') + "SOL/LSQPS  ---  Version 1.05-2  April 93"));
  EXPECT_TRUE(has(r.print, " Parameters"));
  EXPECT_TRUE(has(r.print, " Problem type...........        LP"));
  EXPECT_TRUE(has(r.print, " Final LP objective value =   -2.800000    "));
  EXPECT_EQ(NPOPTS.rls(slot::kRankTol), 0.0);
  EXPECT_EQ(NPOPTS.ils(slot::kMinorPrintLevel), kUnsetInt);
}

}  // namespace
}  // namespace qv::optim
