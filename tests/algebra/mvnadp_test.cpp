// Tests of the adaptive subregion integrator: the degree-7 rule, the heap,
// the engine's codes and multivariate normal probabilities against exact
// products, the exact low-dimensional cases and one-dimensional integrals.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "algebra/mvnadp.hpp"
#include "algebra/mvnsetup.hpp"
#include "mvnref.hpp"

namespace qv::algebra {
namespace {

using test::equi;
using test::Phi;
using test::ref_equi;
using test::ref_upper;

const double kTol = static_cast<double>(1e-6f);  // the fit's absolute tolerance

TEST(Mvnadp, NOutsideRange) { test::expect_n_refused(MVNADP, {0, 21, -3}); }

TEST(Mvnadp, ExactSmallCases) {
  double err, val;
  int inf;
  // Every variable unbounded.
  std::vector<double> lo{0, 0, 0}, up{0, 0, 0};
  std::vector<int> none{-1, -1, -1};
  MVNADP(3, lo, up, none, equi(3, 0.3), 15000, kTol, 1.0, err, val, inf);
  EXPECT_EQ(inf, 0);
  EXPECT_EQ(val, 1.0);
  EXPECT_EQ(err, 0.0);
  // One bounded variable.
  std::vector<double> lo1{0, -1.0, 0}, up1{0, 0.5, 0};
  std::vector<int> one{-1, 2, -1};
  MVNADP(3, lo1, up1, one, equi(3, 0.3), 15000, kTol, 1.0, err, val, inf);
  EXPECT_EQ(inf, 0);
  EXPECT_NEAR(val, Phi(0.5) - Phi(-1.0), 1e-15);
  EXPECT_EQ(err, 2.000000033724767e-16);
  // Two bounded variables: the exact bivariate value.
  std::vector<int> two{1, -1, 0};
  std::vector<double> lo2{0.3, 0, 0}, up2{0, 0, 1.1};
  MVNADP(3, lo2, up2, two, equi(3, -0.4), 15000, kTol, 1.0, err, val, inf);
  EXPECT_EQ(inf, 0);
  EXPECT_NEAR(val, ref_upper(0.3, -1.1, 0.4), 1e-14);  // P(X > 0.3, Y <= 1.1), r = -0.4
  // Correlation exactly 1 and -1 with upper limits only (the standard case).
  std::vector<double> z{0, 0};
  std::vector<int> up0{0, 0};
  MVNADP(2, z, z, up0, std::vector<double>{1.0}, 10000, kTol, 1.0, err, val, inf);
  EXPECT_EQ(inf, 0);
  EXPECT_NEAR(val, 0.5, 1e-15);
  MVNADP(2, z, z, up0, std::vector<double>{-1.0}, 10000, kTol, 1.0, err, val, inf);
  EXPECT_NEAR(val, 0.0, 1e-15);
}

TEST(Mvnadp, RulePointCounts) {
  EXPECT_EQ(adp_rule_points(1), 9);
  EXPECT_EQ(adp_rule_points(2), 21);  // three variables
  EXPECT_EQ(adp_rule_points(11), 2048 + 2 * 11 * 13 + 1);
  EXPECT_EQ(adp_rule_points(12), 601);  // thirteen variables
  // The engine reports the count when the budget is below it.
  for (int ndim : {1, 2, 12, 19}) {
    int mineval = 1;
    double err, val;
    int inf;
    ADPDRV(ndim, mineval, 0, MVNINTG, kTol, 1.0, kAdpWorkLen, ADPSTA.WORK, err, val, inf);
    EXPECT_EQ(inf, 2);
    EXPECT_EQ(mineval, adp_rule_points(ndim));
  }
}

// A polynomial of total degree 7 over the unit cube: the basic rule is exact
// on one region.  f = (x1 - 0.3)^4 (x2 + 0.1)^3 (other axes not used), or
// x1^7 for one dimension.
double poly(int m, std::span<const double> w) {
  if (m == 1) return std::pow(w[0], 7);
  return std::pow(w[0] - 0.3, 4) * std::pow(w[1] + 0.1, 3);
}
// (0.7^5 + 0.3^5)/5 * (1.1^4 - 0.1^4)/4
const double kPolyInt = (std::pow(0.7, 5) + std::pow(0.3, 5)) / 5.0 *
                        (std::pow(1.1, 4) - std::pow(0.1, 4)) / 4.0;

TEST(Adpdrv, DegreeSevenRuleIsExact) {
  for (int ndim : {1, 2, 3, 6, 11, 12, 15}) {
    int mineval = 0;
    double err, val;
    int inf;
    // A loose tolerance: one region after the first rule application.
    ADPDRV(ndim, mineval, 1000000, poly, 1.0, 1.0, kAdpWorkLen, ADPSTA.WORK, err, val, inf);
    EXPECT_EQ(inf, 0) << ndim;
    const double ref = ndim == 1 ? 0.125 : kPolyInt;
    EXPECT_NEAR(val, ref, 1e-14) << ndim;
  }
}

TEST(Adpdrv, ContinuationWithoutSubregionsIsRefused) {
  ADPSTA.reset();
  int mineval = -1;
  double err = 0, val = 0;
  int inf = -1;
  ADPDRV(3, mineval, 100000, poly, 1e-6, 0.0, kAdpWorkLen, ADPSTA.WORK, err, val, inf);
  EXPECT_EQ(inf, 2);
  // Too short a work array is refused.
  mineval = 0;
  ADPDRV(3, mineval, 100000, poly, 1e-6, 0.0, 40, ADPSTA.WORK, err, val, inf);
  EXPECT_EQ(inf, 2);
}

TEST(Heapup, SiftUpAndDown) {
  std::vector<double> errs{0.0, 5.0, 3.0, 9.0, 1.0, 7.0};  // errors of regions 1..6
  std::vector<double> heap(6, 0.0);
  runtime::Vec1<double> H(heap.data(), 6);
  runtime::Vec1<const double> E(errs.data(), 6);
  for (int r = 1; r <= 6; ++r) HEAPUP(r, r, H, E);
  EXPECT_EQ(H(1), 4.0);  // the largest error (9) on top
  // Region 4's error drops: it sifts down and region 6 (7) comes up.
  errs[3] = 0.5;
  HEAPUP(4, 6, H, E);
  EXPECT_EQ(H(1), 6.0);
  for (int p = 2; p <= 6; ++p)
    EXPECT_LE(errs[static_cast<int>(H(p)) - 1], errs[static_cast<int>(H(p / 2)) - 1]);
  // Equal errors do not move a child above its parent.
  std::vector<double> eq{2.0, 2.0};
  std::vector<double> h2(2, 0.0);
  runtime::Vec1<double> H2(h2.data(), 2);
  HEAPUP(1, 1, H2, runtime::Vec1<const double>(eq.data(), 2));
  HEAPUP(2, 2, H2, runtime::Vec1<const double>(eq.data(), 2));
  EXPECT_EQ(H2(1), 1.0);
  EXPECT_EQ(H2(2), 2.0);
}

// Independent variables: the probability is the product of the
// one-dimensional ones, for every N from 3 to 20, with mixed flags and
// infinite limits on either side.
TEST(Mvnadp, IndependentVariablesGiveProducts) {
  for (int n = 3; n <= 20; ++n) {
    std::vector<double> lo(n), up(n);
    std::vector<int> kind(n);
    double ref = 1.0;
    for (int i = 0; i < n; ++i) {
      kind[i] = i % 3;  // 0 upper only, 1 lower only, 2 both
      lo[i] = -1.5 + 0.1 * i;
      up[i] = lo[i] + 2.0;
      ref *= (kind[i] == 1 ? 1.0 : Phi(up[i])) - (kind[i] == 0 ? 0.0 : Phi(lo[i]));
    }
    double err, val;
    int inf;
    MVNADP(n, lo, up, kind, equi(n, 0.0), 5000 * n, kTol, 1.0, err, val, inf);
    EXPECT_EQ(inf, 0) << n;
    EXPECT_NEAR(val, ref, 1e-12 + 1e-12 * ref) << n;
    EXPECT_LE(err, kTol) << n;
  }
}

// Equicorrelated variables against the one-dimensional integral over the
// common factor, at the fit's budget and absolute tolerance.  (The fit's
// relative tolerance of 1.0 is met by any estimate, so the accuracy is
// tested with a relative tolerance of 0.)
TEST(Mvnadp, EquicorrelatedAgainstOneDimensionalIntegral) {
  struct {
    int n;
    double rho;
  } cases[] = {{3, 0.5}, {4, 0.3}, {5, 0.7}, {6, 0.5}, {8, 0.2}, {10, 0.5}};
  for (const auto& c : cases) {
    std::vector<double> lo(c.n), up(c.n);
    std::vector<int> kind(c.n);
    for (int i = 0; i < c.n; ++i) {
      kind[i] = (i % 4 == 3) ? 1 : (i % 2 == 0 ? 0 : 2);
      lo[i] = -1.0 + 0.15 * i;
      up[i] = 0.4 + 0.1 * i;
    }
    const double ref = ref_equi(c.n, lo.data(), up.data(), kind.data(), c.rho);
    double err, val;
    int inf;
    MVNADP(c.n, lo, up, kind, equi(c.n, c.rho), 5000 * c.n, kTol, 0.0, err, val, inf);
    EXPECT_EQ(inf, 0) << c.n;
    EXPECT_LE(err, kTol) << c.n;
    EXPECT_NEAR(val, ref, 3.0 * kTol) << c.n << " rho " << c.rho;
  }
}

// Twenty variables: the result is within its error estimate, whatever the
// code (the budget may run out at this size).
TEST(Mvnadp, TwentyVariables) {
  const int n = 20;
  std::vector<double> lo(n, -0.5), up(n, 2.0);
  std::vector<int> kind(n, 2);
  const double ref = ref_equi(n, lo.data(), up.data(), kind.data(), 0.4);
  double err, val;
  int inf;
  MVNADP(n, lo, up, kind, equi(n, 0.4), 5000 * n, kTol, 0.0, err, val, inf);
  EXPECT_TRUE(inf == 0 || inf == 1);
  EXPECT_NEAR(val, ref, std::max(3.0 * err, 3.0 * kTol));
}

TEST(Mvnadp, TerminationCodes) {
  const int n = 5;
  std::vector<double> lo(n, -1.0), up(n, 1.0);
  std::vector<int> kind(n, 2);
  const double ref = ref_equi(n, lo.data(), up.data(), kind.data(), 0.6);
  double err, val;
  int inf;
  // Tolerance met.
  MVNADP(n, lo, up, kind, equi(n, 0.6), 5000 * n, 1e-5, 0.0, err, val, inf);
  EXPECT_EQ(inf, 0);
  EXPECT_LE(err, 1e-5);
  EXPECT_NEAR(val, ref, 3e-5);
  // A tolerance out of reach: the budget runs out, the estimate is kept.
  MVNADP(n, lo, up, kind, equi(n, 0.6), 2000, 1e-14, 0.0, err, val, inf);
  EXPECT_EQ(inf, 1);
  EXPECT_GT(err, 1e-14);
  EXPECT_NEAR(val, ref, std::max(3.0 * err, 1e-6));
  // A budget below the rule's point count computes nothing.
  MVNADP(n, lo, up, kind, equi(n, 0.6), 50, 1e-6, 0.0, err, val, inf);
  EXPECT_EQ(inf, 1);
  EXPECT_EQ(val, 0.0);
  EXPECT_EQ(err, 1.0);
  // The relative tolerance of the fit (1.0) is met at once.
  MVNADP(n, lo, up, kind, equi(n, 0.6), 5000 * n, 0.0, 1.0, err, val, inf);
  EXPECT_EQ(inf, 0);
}

TEST(Mvnadp, NotPositiveDefiniteIsStatus4) {
  std::vector<double> lo(3, -1.0), up(3, 1.0);
  std::vector<int> kind(3, 2);
  double err, val;
  int inf;
  MVNADP(3, lo, up, kind, std::vector<double>{0.9, 0.9, -0.9}, 15000, kTol, 1.0, err, val, inf);
  EXPECT_EQ(inf, 4);
  EXPECT_EQ(val, 0.0);
  EXPECT_EQ(err, 1.0);
  MVNADP(2, lo, up, kind, std::vector<double>{1.2}, 10000, kTol, 1.0, err, val, inf);
  EXPECT_EQ(inf, 4);
}

// A singular matrix with one-sided limits: X2 = X1, corr(X1, X3) = 0.5, all
// below 0: the probability is that of (X1, X3), 1/3.
TEST(Mvnadp, SingularMatrixOneSidedLimits) {
  std::vector<double> lo(3, 0.0), up(3, 0.0);
  std::vector<int> kind(3, 0);
  double err, val;
  int inf;
  MVNADP(3, lo, up, kind, std::vector<double>{1.0, 0.5, 0.5}, 15000, kTol, 0.0, err, val, inf);
  EXPECT_NEAR(val, 1.0 / 3.0, std::max(3.0 * err, 1e-5));
  // Four variables, X4 = -X1: P(X1 < 0, X2 < 0, X3 < 0, X4 < 0) = 0.
  std::vector<double> lo4(4, 0.0), up4(4, 0.0);
  std::vector<int> kind4(4, 0);
  MVNADP(4, lo4, up4, kind4, std::vector<double>{0.3, 0.2, 0.4, -1.0, -0.3, -0.2}, 20000, kTol,
         1.0, err, val, inf);
  EXPECT_NEAR(val, 0.0, 1e-6);
}

// The same problem twice gives the same value: no state leaks between calls.
TEST(Mvnadp, Repeatable) {
  const int n = 6;
  std::vector<double> lo(n, -0.8), up(n, 1.3);
  std::vector<int> kind(n, 2);
  double e1, v1, e2, v2;
  int i1, i2;
  MVNADP(n, lo, up, kind, equi(n, 0.45), 5000 * n, kTol, 1.0, e1, v1, i1);
  MVNADP(3, lo, up, kind, equi(3, 0.1), 15000, kTol, 1.0, e2, v2, i2);
  MVNADP(n, lo, up, kind, equi(n, 0.45), 5000 * n, kTol, 1.0, e2, v2, i2);
  EXPECT_EQ(v1, v2);
  EXPECT_EQ(e1, e2);
  EXPECT_EQ(i1, i2);
}

}  // namespace
}  // namespace qv::algebra
