// The edition's merit function against hand-derived closed forms (the same
// fixtures as the optimizer's own merit function: eps does not enter them).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/merit.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;

struct MrtCall {
  bool feasqp;
  std::vector<double> cs, lambda, dlambda, jacdir, nlviol;
  std::vector<int> istate;  // states of the nonlinear rows (n = 1, nclin = 0 before them)
  double merit, grd, qpcurv;
};

void run(const MrtCall& c, std::vector<double>& rho, double& merit, double& grd, bool debug = false) {
  const int m = static_cast<int>(c.cs.size());
  std::vector<int> istate = {0};
  istate.insert(istate.end(), c.istate.begin(), c.istate.end());
  std::vector<double> w1(m), w2(m);
  merit = c.merit;
  grd = c.grd;
  E04UCN(c.feasqp, 1, 0, m, merit, grd, c.qpcurv, istate, c.jacdir, c.lambda, c.cs, c.dlambda, rho, c.nlviol, w1,
         w2, debug);
}

// Feasible QP from rho = 0: penscale = (grdalf + qpcurv/2)/||cs^2|| makes the
// new slope exactly -qpcurv/2.  cs = (1, 2), lambda = (0.5, 0.5): merit
// 10 - 1.5 = 8.5, slope -1 + 1.5 = 0.5, penscale = 2.5/sqrt(17),
// rho_i = cs_i^2 * 2.5/17 = (2.5/17, 10/17), penalty 2.5, merit 8.5 + 1.25 =
// 9.75, slope 0.5 - 2.5 = -2, ||rho|| = sqrt(106.25)/17 = 0.6063.
TEST(E04UCN, FeasibleQpFromZeroPenaltyGivesTheClosedFormAndItsTrace) {
  E4MERT.reset();
  std::vector<double> rho = {0.0, 0.0};
  double merit = 0, grd = 0;
  UnitCapture cap;
  run({true, {1, 2}, {0.5, 0.5}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, 10.0, -1.0, 4.0}, rho, merit, grd, true);
  EXPECT_DOUBLE_EQ(rho[0], 2.5 / 17);
  EXPECT_DOUBLE_EQ(rho[1], 10.0 / 17);
  EXPECT_DOUBLE_EQ(merit, 9.75);
  EXPECT_DOUBLE_EQ(grd, -2.0);
  EXPECT_DOUBLE_EQ(E4MERT.rhonrm, std::sqrt(106.25) / 17);
  EXPECT_EQ(E4MERT.scale, 1.0);
  const std::vector<std::string> want = {
      " //E04UCN //        QPCURV        GRDALF",
      "                 4.00D+00      5.00D-01",
      " //E04UCN //  Penalty parameters =",
      "   1.470588D-01   5.882353D-01",
      " //E04UCN //         SCALE        RHONRM        GRDALF",
      "                 1.00D+00      6.06D-01     -2.00D+00",
  };
  EXPECT_EQ(cap.lines(), want);
}

TEST(E04UCN, WritesNothingWithTheDebugSwitchOff) {
  E4MERT.reset();
  std::vector<double> rho = {0.0, 0.0};
  double merit = 0, grd = 0;
  UnitCapture cap;
  run({true, {1, 2}, {0.5, 0.5}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, 10.0, -1.0, 4.0}, rho, merit, grd);
  EXPECT_TRUE(cap.lines().empty());
}

// Edge cases of the update, each with the rho it must leave:
//  - |c - s| <= sqrt(rmin): peni = 0, the penalty can only fall (t = sqrt(rho) = 2 < 8 for rho 16);
//  - grdalf + qpcurv/2 < 0: every peni = 0, rho 16 -> 4 and rho 1 stays (t = 1 is not below 0.5);
//  - qnorm = 0: the guarded division fails, rho and scale stay.
TEST(E04UCN, EdgeCasesOfThePenaltyUpdate) {
  struct EdgeCase {
    const char* name;
    MrtCall call;
    std::vector<double> rho_in, rho_out;
    double scale_in, scale_out;
  };
  const EdgeCase cases[] = {
      {"tiny residual", {true, {1e-300, 1.0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, 0.0, 1.0, 0.0},
       {16.0, 0.0}, {4.0, 1.0}, 1.0, 1.0},  // second row: peni = 1 * 1/1
      {"negative penscale", {true, {1.0, 1.0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, 0.0, -5.0, 2.0},
       {16.0, 1.0}, {4.0, 1.0}, 1.0, 1.0},
      {"qnorm zero", {true, {0.0, 1e-300}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, 0.0, 1.0, 2.0},
       {16.0, 1.0}, {16.0, 1.0}, 7.0, 7.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    E4MERT.reset();
    E4MERT.scale = c.scale_in;
    std::vector<double> rho = c.rho_in;
    double merit = 0, grd = 0;
    run(c.call, rho, merit, grd);
    EXPECT_DOUBLE_EQ(rho[0], c.rho_out[0]);
    EXPECT_DOUBLE_EQ(rho[1], c.rho_out[1]);
    EXPECT_EQ(E4MERT.scale, c.scale_out);
  }
}

// Infeasible QP, one violated constraint (state -1): cs = 2, lambda = 1,
// dlambda = 0.5, Jdx = 3, rho = 0.25: merit 5 - 2 = 3, slope 1 - 1 - 3 = -3,
// pencs = 0.25 (-3) 2 = -1.5, scale = 1/eps = 2^56, penalty 0.25 * 4 = 1:
// merit 3 + 2^55, slope -3 + 1.5 * 2^56.  A feasible QP after it sets scale
// back to 1.
TEST(E04UCN, InfeasibleQpWeighsThePenaltyByOneOverTheEditionsEps) {
  E4MERT.reset();
  std::vector<double> rho = {0.25};
  double merit = 0, grd = 0;
  run({false, {2.0}, {1.0}, {0.5}, {3.0}, {0.0}, {-1}, 5.0, 1.0, 0.0}, rho, merit, grd);
  EXPECT_EQ(E4MERT.scale, 0x1p56);
  EXPECT_DOUBLE_EQ(merit, 3.0 + 0x1p55);
  EXPECT_DOUBLE_EQ(grd, -3.0 + 1.5 * 0x1p56);
  EXPECT_EQ(rho[0], 0.25);
  run({true, {1.0}, {0.0}, {0.0}, {0.0}, {0.0}, {0}, 0.0, 1.0, 0.0}, rho, merit, grd);
  EXPECT_EQ(E4MERT.scale, 1.0);
}

// The damping factor doubles at each turn of ||rho||: rise (no turn), fall
// (x2, now falling), rise (x2 again), rise (no turn).
TEST(E04UCN, DampingDoublesAtEachTurnOfThePenaltyNorm) {
  E4MERT.reset();
  std::vector<double> rho = {0.0};
  double merit = 0, grd = 0;
  const MrtCall up{true, {1.0}, {0}, {0}, {0}, {0}, {0}, 0.0, 10.0, 0.0};     // peni = 10
  const MrtCall down{true, {1.0}, {0}, {0}, {0}, {0}, {0}, 0.0, -1.0, 0.0};   // peni = 0
  const MrtCall up2{true, {1.0}, {0}, {0}, {0}, {0}, {0}, 0.0, 100.0, 0.0};   // peni = 100
  const MrtCall up3{true, {1.0}, {0}, {0}, {0}, {0}, {0}, 0.0, 1000.0, 0.0};  // peni = 1000
  run(up, rho, merit, grd);
  EXPECT_EQ(rho[0], 10.0);
  EXPECT_EQ(E4MERT.rhodmp, 1.0);
  run(down, rho, merit, grd);  // t = sqrt(1 * 10) = 3.16 < 5: rho falls
  EXPECT_DOUBLE_EQ(rho[0], std::sqrt(10.0));
  EXPECT_EQ(E4MERT.rhodmp, 2.0);
  EXPECT_FALSE(E4MERT.incrun);
  run(up2, rho, merit, grd);
  EXPECT_EQ(rho[0], 100.0);
  EXPECT_EQ(E4MERT.rhodmp, 4.0);
  EXPECT_TRUE(E4MERT.incrun);
  run(up3, rho, merit, grd);
  EXPECT_EQ(E4MERT.rhodmp, 4.0);
}

TEST(E04UCN, NoNonlinearConstraintsChangeNothing) {
  E4MERT.reset();
  double merit = 3.0, grd = -1.0;
  std::vector<int> istate = {0};
  std::vector<double> none;
  E04UCN(true, 1, 0, 0, merit, grd, 1.0, istate, none, none, none, none, none, none, none, none, false);
  EXPECT_EQ(merit, 3.0);
  EXPECT_EQ(grd, -1.0);
}

}  // namespace
}  // namespace qv::optim_alt
