// Tests of the multivariate normal set-up, integrand, the one-dimensional
// normal functions and the exact bivariate routines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "algebra/mvnsetup.hpp"
#include "mvnref.hpp"

namespace qv::algebra {
namespace {

using test::kBvTable;
using test::Phi;
using test::ref_upper;

TEST(Phitl, KnownValuesAndTails) {
  EXPECT_EQ(PHITL(0.0), 0.5);
  EXPECT_EQ(PHITL(-38.0), 0.0);
  EXPECT_EQ(PHITL(38.0), 1.0);
  for (double z = -36.0; z <= 8.0; z += 0.037) {
    const double ref = Phi(z);
    // Hart's forms are good to 3e-16 absolute and, in the tails, to about
    // 1e-8 relative (largest near the switch at |z| = 7.07).
    EXPECT_NEAR(PHITL(z), ref, 3e-16) << z;
    EXPECT_NEAR(PHITL(z), ref, 1e-8 * ref) << z;
  }
}

TEST(Phinv, EndsCentreAndInverse) {
  EXPECT_EQ(PHINV(0.0), -9.0);
  EXPECT_EQ(PHINV(1.0), 9.0);
  EXPECT_EQ(PHINV(0.5), 0.0);
  EXPECT_EQ(PHINV(-0.5), -9.0);
  EXPECT_EQ(PHINV(1.5), 9.0);
  // Phi(PHINV(p)) = p across the range, to a few units of rounding of z
  // (a relative change of z^2 * eps in Phi far in the tail).
  for (double lp = -300.0; lp < -0.302; lp += 0.7) {
    const double p = std::pow(10.0, lp);
    const double z = PHINV(p);
    EXPECT_NEAR(Phi(z), p, (5e-15 + 4e-16 * z * z) * p) << p;
  }
  for (double p = 0.01; p < 0.995; p += 0.0173) {
    const double z = PHINV(p);
    EXPECT_NEAR(Phi(z), p, 4e-16) << p;
  }
  EXPECT_NEAR(PHINV(0.975), 1.959963984540054, 1e-15);
  // Exact symmetry where 1 - p is exact.
  for (int i = 1; i < 512; i += 7) EXPECT_EQ(PHINV(i / 1024.0), -PHINV(1.0 - i / 1024.0)) << i;
}

TEST(Bvnupp, MatchesReferenceTable) {
  for (const auto& c : kBvTable) {
    EXPECT_NEAR(BVNUPP(c.h, c.k, c.r), c.p, 2e-15) << c.h << " " << c.k << " " << c.r;
  }
}

TEST(Bvnupp, PerfectCorrelation) {
  for (double h : {-2.0, -0.5, 0.0, 0.7, 3.0})
    for (double k : {-1.5, 0.0, 0.2, 2.0}) {
      EXPECT_NEAR(BVNUPP(h, k, 1.0), Phi(-std::fmax(h, k)), 1e-15);
      EXPECT_NEAR(BVNUPP(h, k, -1.0), std::fmax(0.0, Phi(-h) - Phi(k)), 1e-15);
    }
  EXPECT_NEAR(BVNUPP(0.0, 0.0, 0.5), 1.0 / 3.0, 1e-15);
}

// BVNRECT against inclusion-exclusion of the independent reference.
// An infinite limit gives the exact value: 0 above +infinity, the one-variable
// tail Phi(-k) (or Phi(-h)) when the other limit is -infinity, 1 for both at
// -infinity (they used to give NaN).  Over a grid of finite limits the value
// is never negative nor above 1 (it reached -5.4e-24).  References: closed
// forms; P(X > 1) = 0.15865525393145705 (R 4.2.2 pnorm(-1)).
TEST(Bvnupp, InfiniteLimitsAndRange) {
  const double inf = std::numeric_limits<double>::infinity();
  struct C {
    double h, k, r, want;
  };
  const std::vector<C> cases = {
      {inf, 0.0, 0.5, 0.0},  {0.0, inf, -0.5, 0.0}, {inf, -inf, 0.9, 0.0},
      {-inf, -inf, 0.3, 1.0}, {-inf, 1.0, 0.7, 0.15865525393145705}, {1.0, -inf, -0.95, 0.15865525393145705},
      {-inf, 0.0, 0.0, 0.5},
  };
  for (const auto& c : cases) EXPECT_NEAR(BVNUPP(c.h, c.k, c.r), c.want, 1e-15) << c.h << " " << c.k << " " << c.r;
  for (double h = -9.0; h <= 9.0; h += 0.75)
    for (double k = -9.0; k <= 9.0; k += 0.75)
      for (double r : {-0.999, -0.95, -0.7, -0.3, 0.0, 0.3, 0.7, 0.95, 0.999}) {
        const double p = BVNUPP(h, k, r);
        ASSERT_TRUE(p >= 0.0 && p <= 1.0) << h << " " << k << " " << r << " " << p;
      }
}

TEST(Bvnrect, EveryFlagPair) {
  const double L[2] = {-0.4, 0.3}, U[2] = {1.1, 1.7};
  for (double r : {-0.95, -0.5, 0.0, 0.35, 0.8, 0.97}) {
    auto up = [&](double h, double k) { return ref_upper(h, k, r); };
    struct {
      int f1, f2;
      double ref;
    } cases[] = {
        {2, 2, up(L[0], L[1]) - up(U[0], L[1]) - up(L[0], U[1]) + up(U[0], U[1])},
        {2, 1, up(L[0], L[1]) - up(U[0], L[1])},
        {1, 2, up(L[0], L[1]) - up(L[0], U[1])},
        {2, 0, 0.0},
        {0, 2, 0.0},
        {1, 0, up(L[0], -1e300) - up(L[0], U[1])},
        {0, 1, up(-1e300, L[1]) - up(U[0], L[1])},
        {1, 1, up(L[0], L[1])},
        {0, 0, 1.0 - up(U[0], -1e300) - up(-1e300, U[1]) + up(U[0], U[1])},
        {3, 0, 0.0},
    };
    // The (2,0) and (0,2) rows: P(L1 < X <= U1, Y <= U2) and its mirror.
    cases[3].ref = (up(L[0], -1e300) - up(L[0], U[1])) - (up(U[0], -1e300) - up(U[0], U[1]));
    cases[4].ref = (up(-1e300, L[1]) - up(U[0], L[1])) - (up(-1e300, U[1]) - up(U[0], U[1]));
    for (const auto& c : cases) {
      const int kind[2] = {c.f1, c.f2};
      EXPECT_NEAR(BVNRECT(L, U, kind, r), c.ref, 1e-14) << r << " " << c.f1 << c.f2;
    }
  }
}

// A problem description for the set-up tests.
struct Prob {
  std::vector<double> lo, up, rho;
  std::vector<int> kind;
  int setup(int& ndrop, double& d, double& e) const {
    return MVNSETUP(static_cast<int>(kind.size()), rho, lo, up, kind, ndrop, d, e);
  }
};

TEST(Mvnsetup, NoneOneAndTwoRemaining) {
  int ndrop;
  double d, e;
  // Every variable unbounded: nothing remains, probability 1.
  Prob p0{{0, 0, 0}, {0, 0, 0}, {0.3, 0.2, 0.1}, {-1, -1, -1}};
  EXPECT_EQ(p0.setup(ndrop, d, e), 0);
  EXPECT_EQ(ndrop, 3);
  EXPECT_EQ(e - d, 1.0);
  // One bounded variable among unbounded ones: Phi(b) - Phi(a).
  Prob p1{{-0.5, -1.0, 0}, {1.0, 2.0, 0}, {0.3, 0.2, 0.1}, {-1, 2, -1}};
  EXPECT_EQ(p1.setup(ndrop, d, e), 0);
  EXPECT_EQ(ndrop, 2);
  EXPECT_NEAR(e - d, Phi(2.0) - Phi(-1.0), 1e-15);
  // Two bounded variables with an unbounded one between them: exact value.
  Prob p2{{-0.5, 0, 0.2}, {1.0, 0, 1.3}, {0.3, 0.6, 0.1}, {2, -1, 2}};
  EXPECT_EQ(p2.setup(ndrop, d, e), 0);
  EXPECT_EQ(ndrop, 2);
  const double r = 0.6;  // correlation of variables 1 and 3
  const double ref = ref_upper(-0.5, 0.2, r) - ref_upper(1.0, 0.2, r) - ref_upper(-0.5, 1.3, r) +
                     ref_upper(1.0, 1.3, r);
  EXPECT_NEAR(e - d, ref, 1e-14);
}

// Correlation exactly +-1 with one-sided limits: the exact bivariate case
// must use the correlation +-1, not the one of the unscaled singular row.
TEST(Mvnsetup, PerfectCorrelationTwoVariables) {
  int ndrop;
  double d, e;
  struct {
    double r;
    int k1, k2;
    double l1, u1, l2, u2, ref;
  } cases[] = {
      {1.0, 0, 0, 0, 0, 0, 0, 0.5},            // P(X<0, Y<0), X = Y
      {-1.0, 0, 0, 0, 0, 0, 0, 0.0},           // X = -Y
      {-1.0, 1, 0, 0, 0, 0, 0, 0.5},           // P(X>0, Y<0), X = -Y
      {1.0, 1, 1, -1.0, 0, 0.5, 0, Phi(-0.5)}, // P(X>-1, X>0.5)
      {1.0, 0, 1, 0, 1.0, -1.0, 0, Phi(1.0) - Phi(-1.0)},
      {-1.0, 0, 0, 0, 1.0, 0, 0.5, Phi(1.0) - Phi(-0.5)},
      {1.0, 2, 2, -1.0, 1.0, 0.0, 2.0, Phi(1.0) - Phi(0.0)},
  };
  for (const auto& c : cases) {
    Prob p{{c.l1, c.l2}, {c.u1, c.u2}, {c.r}, {c.k1, c.k2}};
    ASSERT_EQ(p.setup(ndrop, d, e), 0);
    EXPECT_EQ(ndrop, 1);
    EXPECT_NEAR(e - d, c.ref, 1e-15) << c.r << " " << c.k1 << c.k2;
  }
}

TEST(Mvnsetup, NotPositiveSemiDefiniteIsStatus4) {
  int ndrop;
  double d, e;
  Prob bad2{{0, 0}, {0, 0}, {1.5}, {0, 0}};
  EXPECT_EQ(bad2.setup(ndrop, d, e), kMvnNotPosDef);
  Prob bad3{{0, 0, 0}, {0, 0, 0}, {0.9, 0.9, -0.9}, {0, 0, 0}};
  EXPECT_EQ(bad3.setup(ndrop, d, e), kMvnNotPosDef);
  // Singular but consistent (X1 = X2 exactly, X1 = -X3) is accepted.
  Prob sing{{0, 0, 0}, {0, 0, 0}, {1.0, -1.0, -1.0}, {0, 0, 0}};
  EXPECT_EQ(sing.setup(ndrop, d, e), 0);
  // The same inconsistency, with the offending variable dropped, is fine.
  Prob dropped{{0, 0, 0}, {0, 0, 0}, {0.9, 0.9, -0.9}, {0, 0, -1}};
  EXPECT_EQ(dropped.setup(ndrop, d, e), 0);
  Prob nan{{0, 0}, {0, 0}, {std::nan("")}, {0, 0}};
  EXPECT_EQ(nan.setup(ndrop, d, e), kMvnNotPosDef);
}

TEST(Mvnsetup, SizesBeyondTheStoreAreRefused) {
  int ndrop;
  double d, e;
  std::vector<double> lo(101, 0.0), up(101, 1.0), rho(101 * 100 / 2, 0.0);
  std::vector<int> kind(101, 2);
  EXPECT_EQ(MVNSETUP(101, rho, lo, up, kind, ndrop, d, e), kMvnRange);
  EXPECT_EQ(MVNSETUP(-1, rho, lo, up, kind, ndrop, d, e), kMvnRange);
  EXPECT_EQ(MVNSETUP(100, rho, lo, up, kind, ndrop, d, e), 0);
  // Arrays shorter than N are not read past.
  EXPECT_EQ(MVNSETUP(5, std::span<const double>(rho.data(), 9), lo, up, kind, ndrop, d, e),
            kMvnRange);
  EXPECT_EQ(MVNSETUP(5, rho, std::span<const double>(lo.data(), 4), up, kind, ndrop, d, e),
            kMvnRange);
}

// For independent variables the integrand is the same at every point: the
// product of the variables' probabilities.  Flags of every kind, with an
// unbounded variable in the middle.
TEST(Mvnintg, IndependentVariablesGiveTheProduct) {
  Prob p{{-0.3, 0, 0.5, -1.2, 0}, {1.0, 0.4, 0, 0.1, 2.5}, std::vector<double>(10, 0.0),
         {2, 0, 1, -1, 2}};
  int ndrop;
  double d, e;
  ASSERT_EQ(p.setup(ndrop, d, e), 0);
  ASSERT_EQ(ndrop, 1);
  const double ref = (Phi(1.0) - Phi(-0.3)) * Phi(0.4) * (1.0 - Phi(0.5)) * (Phi(2.5) - Phi(0.0));
  for (double w : {0.01, 0.3, 0.5, 0.77, 0.999}) {
    const double W[3] = {w, 1.0 - w, w * w};
    EXPECT_NEAR(MVNINTG(3, W), ref, 1e-15);
  }
}

// The sort takes the variable of smallest probability first; among equal
// values the later one.
TEST(Mvnsort, SmallestProbabilityFirstLaterOnTies) {
  Prob p{{0, 0.0, 0}, {0.0, 0, 1.0}, {0.0, 0.0, 0.0}, {0, 1, 0}};
  int ndrop;
  double d, e;
  ASSERT_EQ(p.setup(ndrop, d, e), 0);
  EXPECT_EQ(MVNSTA.KINDS[0], 1);  // variables 1 and 2 tie at 0.5: variable 2 first
  EXPECT_EQ(MVNSTA.KINDS[1], 0);
  EXPECT_NEAR(MVNSTA.B[2], 1.0, 0.0);
}

// Singular matrix of three variables: X2 = X1 exactly.  The integrand's
// singular step must respect one-sided limits: P(X1 < 0, X2 < 0, X3 < 0)
// with corr(X1, X3) = 0.5 equals P(X1 < 0, X3 < 0) = 1/3.
TEST(Mvnintg, SingularStepWithOneSidedLimits) {
  Prob p{{0, 0, 0}, {0, 0, 0}, {1.0, 0.5, 0.5}, {0, 0, 0}};
  int ndrop;
  double d, e;
  ASSERT_EQ(p.setup(ndrop, d, e), 0);
  ASSERT_EQ(ndrop, 0);
  // Midpoint rule over the 2-cube; the singular factor is 0 or 1.
  const int n = 400;
  double s = 0.0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double W[2] = {(i + 0.5) / n, (j + 0.5) / n};
      s += MVNINTG(2, W);
    }
  EXPECT_NEAR(s / (n * n), 1.0 / 3.0, 2e-3);
}

}  // namespace
}  // namespace qv::algebra
