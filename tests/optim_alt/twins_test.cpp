// The edition's step limits and merit function beside the optimizer's own on
// the same inputs: where the edition's eps does not enter, both give the same
// numbers to the last bit.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "optim/nlsqp.hpp"
#include "optim/npmrt.hpp"
#include "optim/npwset.hpp"
#include "optim/wsutil.hpp"
#include "optim_alt/merit.hpp"
#include "optim_alt/steplim.hpp"

namespace qv::optim_alt {
namespace {

constexpr double kBig = 1e20;

TEST(Twins, E04UCNGivesTheNumbersOfTheOptimizersMeritFunction) {
  // Two updates in a row, so that the damping state is compared as well.
  struct Call {
    bool feasqp;
    std::vector<double> cs, lambda, dlambda, jacdir, nlviol;
    double merit, grd, qpcurv;
  };
  const Call calls[] = {{true, {0.3, -1.7, 2.2}, {0.5, -0.25, 1.5}, {0.1, 0.2, -0.3}, {1, 2, 3}, {0, 0, 0}, 4.0, -1.3, 2.5},
                        {true, {0.1, 0.4, -0.2}, {0.4, 0.1, 1.0}, {0.0, 0.3, 0.1}, {1, 2, 3}, {0, 0, 0}, 2.0, -0.2, 0.7},
                        {true, {1.1, -0.4, 0.6}, {0.2, 0.3, 0.1}, {0.5, 0.0, 0.1}, {1, 2, 3}, {0, 0, 0}, 1.0, 3.0, 1.5}};
  optim::Npmert st;
  E4MERT.reset();
  std::vector<double> rho1 = {0.5, 0.0, 2.0}, rho2 = rho1, w1(3), w2(3);
  const std::vector<int> istate = {0, 0, 0, 0};
  for (const Call& c : calls) {
    double m1 = c.merit, g1 = c.grd, m2 = c.merit, g2 = c.grd;
    optim::npmrt(st, c.feasqp, 1, 0, 3, m1, g1, c.qpcurv, istate, c.jacdir, c.lambda, c.cs, c.dlambda, rho1,
                 c.nlviol, w1, w2, 1e10);
    E04UCN(c.feasqp, 1, 0, 3, m2, g2, c.qpcurv, istate, c.jacdir, c.lambda, c.cs, c.dlambda, rho2, c.nlviol, w1, w2,
           false);
    EXPECT_EQ(m1, m2);
    EXPECT_EQ(g1, g2);
    EXPECT_EQ(rho1, rho2);
    EXPECT_EQ(st.rhonrm, E4MERT.rhonrm);
    EXPECT_EQ(st.rhodmp, E4MERT.rhodmp);
    EXPECT_EQ(st.incrun, E4MERT.incrun);
  }
}

TEST(Twins, E04UDTGivesTheStepOfTheOptimizersStepLimit) {
  optim::set_precision(optim::NPPREC, 3);
  // x1, x2, x3, one linear row, two slacks, with bounds on both sides.
  const std::vector<double> x = {0.2, -0.4, 1.0}, dx = {1.5, -0.7, 0.3}, ax = {0.1}, adx = {2.0}, anorm = {1.7},
                            slack = {0.0, 0.5}, dslack = {-1.0, 0.25};
  const std::vector<double> bl = {-1, -1, 0, -0.5, -0.3, -kBig}, bu = {1.3, 1, 1.2, 0.9, kBig, 0.6};
  const double stepnorm = std::sqrt(1.5 * 1.5 + 0.7 * 0.7 + 0.3 * 0.3);
  for (double alfmax : {10.0, 0.1}) {
    double a1 = 0, a2 = 0;
    int i1 = -1, i2 = -2;
    optim::npalf(i1, 3, 1, 2, a1, 0.0, alfmax, kBig, stepnorm, anorm, adx, ax, bl, bu, dslack, dx, slack, x);
    E04UDT(i2, 3, 1, 2, a2, 0.0, alfmax, kBig, stepnorm, anorm, adx, ax, bl, bu, dslack, dx, slack, x, false);
    EXPECT_EQ(a1, a2);
    EXPECT_EQ(i1, i2);
    // By hand: the first slack reaches -0.3 at 0.3/1, before every other row
    // (x3 at 0.2/0.3, the linear row at 0.8/2, the second slack at 0.1/0.25).
    EXPECT_DOUBLE_EQ(a2, alfmax == 10.0 ? 0.3 : 0.1);
    EXPECT_EQ(i2, alfmax == 10.0 ? 0 : 1);
  }
}

TEST(Twins, E04UCGGivesTheStepOfTheOptimizersTwoPassStep) {
  optim::LSPRNT.reset();
  // Two variables and three general rows; the third lies 0.2 above its upper
  // bound (state -1) and falls at rate 1.1.  By hand: without infeasibilities
  // the first row's upper bound is hit at (0.5 - 0.1)/0.8 = 0.5; with one, the
  // violated row becomes satisfied first, at 0.2/1.1.
  const std::vector<double> x = {0.3, -0.2}, p = {1.0, 0.5}, ax = {0.1, 0.7, 0.3}, ap = {0.8, -0.3, -1.1},
                            rownorm = {1.2, 0.9, 1.5}, featol = {1e-6, 1e-6, 1e-6, 1e-6, 1e-6};
  const std::vector<double> bl = {-1, -1, -0.5, 0.0, -0.6}, bu = {1.1, 0.9, 0.5, 0.75, 0.1};
  const std::vector<int> istate = {0, 0, 0, 0, -1};
  for (int ninf : {0, 1}) {
    for (bool firstv : {false, true}) {
      bool h1 = false, h2 = false;
      int inf1 = -1, inf2 = -2, j1 = -1, j2 = -2;
      double a1 = 0, a2 = 0, pa1 = 0, pa2 = 0, r1 = 0, r2 = 0;
      const double dirnorm = std::sqrt(1.25);
      optim::cmalf(firstv, h1, istate, inf1, j1, 2, 5, ninf, a1, pa1, r1, 1e10, kBig, dirnorm, rownorm, ap, ax, bl, bu,
                   featol, p, x);
      E04UCG(firstv, h2, istate, inf2, j2, 2, 5, ninf, a2, pa2, r2, 1e10, kBig, dirnorm, rownorm, ap, ax, bl, bu,
             featol, p, x, false);
      EXPECT_EQ(inf1, inf2);
      EXPECT_EQ(j1, j2);
      EXPECT_EQ(a1, a2);
      EXPECT_EQ(pa1, pa2);
      EXPECT_EQ(r1, r2);
      EXPECT_EQ(h1, h2);
      EXPECT_EQ(j2, ninf == 0 ? 3 : 5);
      EXPECT_DOUBLE_EQ(a2, ninf == 0 ? 0.5 : 0.2 / 1.1);
    }
  }
}

}  // namespace
}  // namespace qv::optim_alt
