// The edition's step limits against closed forms: the step to row j is
// (bound - value)/rate (the same fixtures as the optimizer's own step limits:
// eps enters only through the parallel tolerance, which they clear).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim_alt/steplim.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;
constexpr double kBig = 1e20;

// Rows: x1, x2 (bounds), one linear row (value ax, step adx, row norm 1), one
// nonlinear slack.  Steps from x = 0: dx = (1, dx2), adx = 1, dslack = 1.
TEST(E04UDT, LargestStepToTheNearestNonlinearConstraintOrBound) {
  struct AlfCase {
    const char* name;
    std::vector<double> bl, bu;
    double dx2;
    double alfalow, alfmax;
    double alfa;
    int info;
  };
  const double inf = kBig;
  const AlfCase cases[] = {
      {"no finite bound along the step", {-inf, -inf, -inf, -inf}, {inf, inf, inf, inf}, -2, 0, 10, 10, 1},
      {"bounds behind the step only", {-inf, -inf, -inf, -inf}, {inf, inf, inf, inf}, 2, 0, 10, 10, 1},
      {"moving away from finite bounds", {-1, -inf, -1, -1}, {inf, 1, inf, inf}, -2, 0, 10, 10, 1},
      {"upper bound of x1: 3/1", {-inf, -inf, -inf, -inf}, {3, inf, inf, inf}, -2, 0, 10, 3, 0},
      {"lower bound of x2: 1/2", {-inf, -1, -inf, -inf}, {3, inf, inf, inf}, -2, 0, 10, 0.5, 0},
      {"linear row: 0.25/1", {-inf, -1, -inf, -inf}, {3, inf, 0.25, inf}, -2, 0, 10, 0.25, 0},
      {"nonlinear slack: 0.1/1", {-inf, -1, -inf, -inf}, {3, inf, 0.25, 0.1}, -2, 0, 10, 0.1, 0},
      {"row already at its bound", {-inf, -inf, -inf, -inf}, {0, inf, inf, inf}, -2, 0, 10, 10, 1},
      {"row beyond its bound", {-inf, -inf, -inf, -inf}, {-1, inf, inf, inf}, -2, 0, 10, 10, 1},
      {"alfmax below every limit", {-inf, -1, -inf, -inf}, {inf, inf, inf, inf}, -2, 0, 0.3, 0.3, 1},
      {"alfalow above the limit", {-inf, -1, -inf, -inf}, {inf, inf, inf, inf}, -2, 0.8, 10, 0.8, 0},
      {"negligible component", {-inf, -1e-30, -inf, -inf}, {inf, inf, inf, inf}, -1e-20, 0, 10, 10, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> dx = {1.0, c.dx2}, x = {0, 0}, anorm = {0.0}, adx = {1.0}, ax = {0.0}, slack = {0.0},
                        dslack = {1.0};
    const double stepnorm = std::sqrt(1.0 + c.dx2 * c.dx2);
    double alfa = -1;
    int info = -1;
    E04UDT(info, 2, 1, 1, alfa, c.alfalow, c.alfmax, kBig, stepnorm, anorm, adx, ax, c.bl, c.bu, dslack, dx, slack,
           x, false);
    EXPECT_DOUBLE_EQ(alfa, c.alfa);
    EXPECT_EQ(info, c.info);
  }
}

TEST(E04UDT, TracesItsRowsAndNoFiniteStep) {
  std::vector<double> bl = {-kBig}, bu = {kBig}, x = {0}, dx = {1}, none;
  double alfa = 0;
  int info = 0;
  UnitCapture cap;
  E04UDT(info, 1, 0, 0, alfa, 0.0, 5.0, kBig, 1.0, none, none, none, bl, bu, none, dx, none, x, true);
  const std::vector<std::string> want = {
      " ",
      " E04UDT entered",
      "    J            RES             AP           ALFA",
      "    1    -1.0000         1.0000         5.0000",
      " ",
      " //E04UDT//  No finite step.",
      "  ALFA    5.00000D+00",
  };
  EXPECT_EQ(cap.lines(), want);
}

struct UcgCase {
  const char* name;
  std::vector<double> x, p, bl, bu, featol;  // 2 variables, then the rows
  std::vector<double> ax, ap;                // rows
  std::vector<int> istate;
  int ninf;
  bool firstv;
  int inform, jadd;
  double alfa;
  bool hitslow;
};

void run_ucg(const UcgCase& c, int& inform, int& jadd, double& alfa, bool& hitslow, bool debug) {
  const int nctotl = static_cast<int>(c.istate.size());
  std::vector<double> rownorm(c.ax.size(), 1.0);
  double dirnorm = 0.0;
  for (double v : c.p) dirnorm += v * v;
  dirnorm = std::sqrt(dirnorm);
  double palfa = 0, arowphit = 0;
  E04UCG(c.firstv, hitslow, c.istate, inform, jadd, 2, nctotl, c.ninf, alfa, palfa, arowphit, 1e10, kBig, dirnorm,
         rownorm, c.ap, c.ax, c.bl, c.bu, c.featol, c.p, c.x, debug);
}

TEST(E04UCG, StepToTheNearestBoundOrLinearConstraint) {
  const double big = kBig;
  const std::vector<UcgCase> cases = {
      // x2's upper bound is 1e-3 away, but p(2) is far below eps^0.9 |p|: the
      // row counts as parallel and x1's upper bound (2) is hit.
      {"parallel row skipped", {0, 0}, {1, 1e-30}, {-big, -big}, {2, 1e-3}, {1e-9, 1e-9}, {}, {}, {0, 0}, 0, false, 0,
       1, 2.0, false},
      // Row 1 is reached at 1, row 2 at 1.00000001, within the widened step of
      // row 1 (1 + 1e-6): row 2 has the larger pivot (10 against 1).
      {"largest pivot within palfa1", {0, 0}, {1, 0}, {-big, -big, -big, -big}, {big, big, 1.0, 10.0000001},
       {1e-6, 1e-6, 1e-6, 1e-6}, {0, 0}, {1, 10}, {0, 0, 0, 0}, 0, false, 0, 4, 1.00000001, false},
      // Moving down onto a lower bound, (3 - 1)/2: hitslow.
      {"lower bound", {3, 0}, {-2, 0}, {1, -big}, {big, big}, {1e-9, 1e-9}, {}, {}, {0, 0}, 0, false, 0, 1, 1.0, true},
      // x1 already 1e-7 beyond its upper bound: the step is negative, limited
      // along -p by row 1 at (0 + 5e-8 + 1e-9)/1 = 5.1e-8.
      {"negative step", {1.0000001, 0}, {1, 0}, {-big, -big, -big}, {1, big, 5e-8}, {1e-9, 1e-9, 1e-9}, {0}, {-1},
       {0, 0, 0}, 0, false, 0, 1, -5.1e-8, false},
      {"unbounded", {0, 0}, {1, -1}, {-big, -big}, {big, big}, {1e-9, 1e-9}, {}, {}, {0, 0}, 0, false, 3, 0, 1e10,
       false},
  };
  for (const UcgCase& c : cases) {
    SCOPED_TRACE(c.name);
    bool hitslow = !c.hitslow;
    int inform = -1, jadd = -1;
    double alfa = 0;
    run_ucg(c, inform, jadd, alfa, hitslow, false);
    EXPECT_EQ(inform, c.inform);
    EXPECT_EQ(jadd, c.jadd);
    EXPECT_NEAR(alfa, c.alfa, 1e-15 * std::max(1.0, std::abs(c.alfa)));
    if (jadd > 0) EXPECT_EQ(hitslow, c.hitslow);
  }
}

TEST(E04UCG, TracesBothPassesAndTheUnboundedStep) {
  const UcgCase c{"unbounded", {0}, {1}, {-kBig}, {kBig}, {1e-9}, {}, {}, {0}, 0, false, 3, 0, 1e10, false};
  bool hitslow = false;
  int inform = -1, jadd = -1;
  double alfa = 0;
  UnitCapture cap;
  const int nctotl = 1;
  double palfa = 0, arowphit = 0;
  std::vector<double> none;
  E04UCG(c.firstv, hitslow, c.istate, inform, jadd, 1, nctotl, 0, alfa, palfa, arowphit, 1e10, kBig, 1.0, none, none,
         none, c.bl, c.bu, c.featol, c.p, c.x, true);
  const std::vector<std::string> want = {
      " ",
      "    J  JS         FEATOL        RES             AP     JADD1       PALFA1     JADD2       PALFA2",
      " ",
      "    1   0    0.10000E-08    -1.0000         1.0000         0    0.1000000E+11     0     0.000000",
      " ",
      " E04UCG  entered",
      "    J  JS         FEATOL        RES             AP     JADD1        ALFA1     JADD2        ALFA2",
      " ",
      "    1   0    0.10000E-08    -1.0000         1.0000         0    0.1000000E+11     0     0.000000",
      " ",
      " //E04UCG //  Unbounded step.",
      " //E04UCG //  JADD           ALFA",
      " //E04UCG //     0     0.1000E+11",
  };
  EXPECT_EQ(cap.lines(), want);
  EXPECT_EQ(inform, 3);
}

TEST(E04UCG, TracesTheNegativeStep) {
  const UcgCase c{"negative step", {1.0000001}, {1}, {-kBig}, {1}, {1e-9}, {}, {}, {0}, 0, false, 0, 1, -1e-7, false};
  bool hitslow = false;
  int inform = -1, jadd = -1;
  double alfa = 0, palfa = 0, arowphit = 0;
  std::vector<double> none;
  UnitCapture cap;
  E04UCG(c.firstv, hitslow, c.istate, inform, jadd, 1, 1, 0, alfa, palfa, arowphit, 1e10, kBig, 1.0, none, none, none,
         c.bl, c.bu, c.featol, c.p, c.x, true);
  const auto lines = cap.lines();
  ASSERT_GE(lines.size(), 4u);
  const std::vector<std::string> tail(lines.end() - 4, lines.end());
  // alfa = (1 - 1.0000001)/1 = -1e-7; along -p nothing limits: palfa 1e10.
  const std::vector<std::string> want = {
      " ",
      " //E04UCG //  Negative step",
      " //E04UCG //           ALFA          PALFA",
      " //E04UCG //    -0.1000E-06     0.1000E+11",
  };
  EXPECT_EQ(tail, want);
  EXPECT_NEAR(alfa, 1.0 - 1.0000001, 1e-22);
}

}  // namespace
}  // namespace qv::optim_alt
