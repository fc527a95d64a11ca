// Merit function and penalty parameters against hand-derived closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "optim/npmrt.hpp"

namespace qv::optim {
namespace {

struct MrtCall {
  bool feasqp;
  std::vector<double> cs, lambda, dlambda, jacdir, nlviol;
  std::vector<int> istate;  // states of the nonlinear rows (n = 1, nclin = 0 before them)
  double merit, grd, qpcurv;
};

void run(Npmert& st, const MrtCall& c, std::vector<double>& rho, double& merit, double& grd,
         double penmax = 1e10) {
  const int m = static_cast<int>(c.cs.size());
  std::vector<int> istate = {0};
  istate.insert(istate.end(), c.istate.begin(), c.istate.end());
  std::vector<double> w1(m), w2(m);
  merit = c.merit;
  grd = c.grd;
  npmrt(st, c.feasqp, 1, 0, m, merit, grd, c.qpcurv, istate, c.jacdir, c.lambda, c.cs, c.dlambda, rho, c.nlviol,
        w1, w2, penmax);
}

// Feasible QP from rho = 0: penscale = (grdalf + qpcurv/2)/||cs^2|| makes
// the new slope exactly -qpcurv/2.  cs = (1, 2), lambda = (0.5, 0.5):
// merit 10 - 1.5 = 8.5, slope -1 + 1.5 = 0.5, penscale = 2.5/sqrt(17),
// rho_i = cs_i^2 * 2.5/17 = (2.5/17, 10/17), penalty 2.5,
// merit 8.5 + 1.25 = 9.75, slope 0.5 - 2.5 = -2.
TEST(Npmrt, FeasibleFromZeroPenalty) {
  Npmert st;
  std::vector<double> rho = {0.0, 0.0};
  double merit = 0, grd = 0;
  run(st, {true, {1, 2}, {0.5, 0.5}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, 10.0, -1.0, 4.0}, rho, merit, grd);
  EXPECT_DOUBLE_EQ(rho[0], 2.5 / 17);
  EXPECT_DOUBLE_EQ(rho[1], 10.0 / 17);
  EXPECT_DOUBLE_EQ(merit, 9.75);
  EXPECT_DOUBLE_EQ(grd, -2.0);
  EXPECT_DOUBLE_EQ(st.rhonrm, std::sqrt(106.25) / 17);
  EXPECT_EQ(st.scale, 1.0);
  EXPECT_EQ(st.rhodmp, 1.0);
  EXPECT_TRUE(st.incrun);
}

// Edge cases of the update, each with the rho it must leave:
//  - |c - s| <= sqrt(rmin): peni = 0, the penalty can only fall (t = sqrt(rho) = 2 < 8 for rho 16);
//  - grdalf + qpcurv/2 < 0: every peni = 0, rho 16 -> 4 and rho 1 stays (t = 1 is not below 0.5);
//  - qnorm = 0: the guarded division fails, rho and scale stay.
struct EdgeCase {
  const char* name;
  MrtCall call;
  std::vector<double> rho_in, rho_out;
  double scale_in, scale_out;
};

TEST(Npmrt, EdgeCases) {
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
    Npmert st;
    st.scale = c.scale_in;
    std::vector<double> rho = c.rho_in;
    double merit = 0, grd = 0;
    run(st, c.call, rho, merit, grd);
    EXPECT_DOUBLE_EQ(rho[0], c.rho_out[0]);
    EXPECT_DOUBLE_EQ(rho[1], c.rho_out[1]);
    EXPECT_EQ(st.scale, c.scale_out);
  }
}

// Infeasible QP, one violated constraint (state -1): cs = 2, lambda = 1,
// dlambda = 0.5, Jdx = 3, rho = 0.25: merit 5 - 2 = 3, slope 1 - 1 - 3 = -3,
// pencs = 0.25 (-3) 2 = -1.5, scale = penmax, penalty 0.25 * 4 = 1:
// merit 3 + penmax/2, slope -3 + 1.5 penmax.  A feasible QP after it sets
// scale back to 1.
TEST(Npmrt, InfeasibleThenFeasible) {
  Npmert st;
  std::vector<double> rho = {0.25};
  double merit = 0, grd = 0;
  run(st, {false, {2.0}, {1.0}, {0.5}, {3.0}, {0.0}, {-1}, 5.0, 1.0, 0.0}, rho, merit, grd, 1e10);
  EXPECT_EQ(st.scale, 1e10);
  EXPECT_DOUBLE_EQ(merit, 3.0 + 0.5e10);
  EXPECT_DOUBLE_EQ(grd, -3.0 + 1.5e10);
  EXPECT_EQ(rho[0], 0.25);
  run(st, {true, {1.0}, {0.0}, {0.0}, {0.0}, {0.0}, {0}, 0.0, 1.0, 0.0}, rho, merit, grd, 1e10);
  EXPECT_EQ(st.scale, 1.0);
}

// The damping factor doubles at each turn of ||rho||: rise (no turn), fall
// (x2, now falling), rise (x2 again), rise (no turn).
TEST(Npmrt, DampingDoublesAtEachTurn) {
  Npmert st;
  std::vector<double> rho = {0.0};
  double merit = 0, grd = 0;
  const MrtCall up{true, {1.0}, {0}, {0}, {0}, {0}, {0}, 0.0, 10.0, 0.0};     // peni = 10
  const MrtCall down{true, {1.0}, {0}, {0}, {0}, {0}, {0}, 0.0, -1.0, 0.0};   // peni = 0
  const MrtCall up2{true, {1.0}, {0}, {0}, {0}, {0}, {0}, 0.0, 100.0, 0.0};   // peni = 100
  const MrtCall up3{true, {1.0}, {0}, {0}, {0}, {0}, {0}, 0.0, 1000.0, 0.0};  // peni = 1000
  run(st, up, rho, merit, grd);
  EXPECT_EQ(rho[0], 10.0);
  EXPECT_EQ(st.rhodmp, 1.0);
  run(st, down, rho, merit, grd);  // t = sqrt(1 * 10) = 3.16 < 5: rho falls
  EXPECT_DOUBLE_EQ(rho[0], std::sqrt(10.0));
  EXPECT_EQ(st.rhodmp, 2.0);
  EXPECT_FALSE(st.incrun);
  run(st, up2, rho, merit, grd);
  EXPECT_EQ(rho[0], 100.0);
  EXPECT_EQ(st.rhodmp, 4.0);
  EXPECT_TRUE(st.incrun);
  run(st, up3, rho, merit, grd);
  EXPECT_EQ(st.rhodmp, 4.0);
}

TEST(Npmrt, NoConstraintsNoChange) {
  Npmert st;
  double merit = 3.0, grd = -1.0;
  std::vector<int> istate = {0};
  std::vector<double> none;
  npmrt(st, true, 1, 0, 0, merit, grd, 1.0, istate, none, none, none, none, none, none, none, none, 1e10);
  EXPECT_EQ(merit, 3.0);
  EXPECT_EQ(grd, -1.0);
}

}  // namespace
}  // namespace qv::optim
