// Tests of the randomized lattice integrator, its table and URAND.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "algebra/mvnlattice.hpp"
#include "mvnref.hpp"

namespace qv::algebra {
namespace {

using test::equi;
using test::Phi;
using test::ref_equi;

TEST(Latgen, TableShape) {
  const int c1[20] = {42,   64,   111,  151,  229,   264,   505,   468,   1189,  1764,
                      2872, 4309, 6610, 9861, 13482, 13482, 34566, 31929, 73726, 103650};
  const int c2[20] = {54,   34,   67,   168,  40,   402,  220,   635,   1423,  1349,
                      1238, 2339, 1658, 7101, 5629, 5629, 38838, 40295, 16352, 50089};
  for (int r = 1; r <= 20; ++r) {
    EXPECT_EQ(LATGEN(r, 2), c1[r - 1]);
    EXPECT_EQ(LATGEN(r, 3), c2[r - 1]);
    for (int d = 2; d <= 100; ++d) {
      EXPECT_GT(LATGEN(r, d), 0);
      EXPECT_LT(LATGEN(r, d), kLatPrime[static_cast<std::size_t>(r - 1)]);
    }
  }
}

// URAND against the two recurrences evaluated directly in 64-bit integers.
TEST(Urand, StreamFromTheSeeds) {
  URNSTA.reset();
  std::int64_t a[3] = {11111111, 22222223, 33333335}, b[3] = {44444447, 55555559, 66666661};
  const std::int64_t m1 = 2147483647, m2 = 2145483479;
  for (int i = 0; i < 2000; ++i) {
    std::int64_t x = (63308 * a[1] - 183326 * a[0]) % m1;
    if (x < 0) x += m1;
    std::int64_t y = (86098 * b[2] - 539608 * b[0]) % m2;
    if (y < 0) y += m2;
    a[0] = a[1];
    a[1] = a[2];
    a[2] = x;
    b[0] = b[1];
    b[1] = b[2];
    b[2] = y;
    std::int64_t z = x - y;
    if (z <= 0) z += m1;
    const double u = URAND();
    ASSERT_EQ(u, static_cast<double>(z) / 2147483648.0) << i;
    ASSERT_GT(u, 0.0);
    ASSERT_LT(u, 1.0);
  }
}

TEST(Mvnlat, NOutsideRange) {
  test::expect_n_refused(MVNLAT, {0, 101});
  std::vector<double> lo(101, -1.0), up(101, 1.0);
  std::vector<int> kind(101, 2);
  std::vector<double> rho(101 * 100 / 2, 0.0);
  double err, val;
  int inf;
  // 100 independent variables: the integrand is constant, the product exact.
  MVNLAT(100, lo, up, kind, rho, 100000, 1e-6, 0.0, err, val, inf);
  EXPECT_EQ(inf, 0);
  EXPECT_NEAR(val, std::pow(Phi(1.0) - Phi(-1.0), 100), 1e-12 * val);
}

TEST(Mvnlat, ExactSmallCasesAndStatus4) {
  double err, val;
  int inf;
  std::vector<double> lo{0, -0.5}, up{0, 1.5};
  MVNLAT(2, lo, up, std::vector<int>{-1, 2}, std::vector<double>{0.5}, 1000, 1e-6, 0.0, err, val,
         inf);
  EXPECT_EQ(inf, 0);
  EXPECT_NEAR(val, Phi(1.5) - Phi(-0.5), 1e-15);
  EXPECT_EQ(err, 2.000000033724767e-16);
  MVNLAT(2, lo, up, std::vector<int>{-1, -1}, std::vector<double>{0.5}, 1000, 1e-6, 0.0, err, val,
         inf);
  EXPECT_EQ(val, 1.0);
  EXPECT_EQ(err, 0.0);
  MVNLAT(3, std::vector<double>(3, 0.0), std::vector<double>(3, 1.0), std::vector<int>(3, 2),
         std::vector<double>{0.9, 0.9, -0.9}, 100000, 1e-6, 0.0, err, val, inf);
  EXPECT_EQ(inf, 4);
  EXPECT_EQ(val, 0.0);
  EXPECT_EQ(err, 1.0);
}

// Equicorrelated problems against the one-dimensional integral.
TEST(Mvnlat, EquicorrelatedAgainstOneDimensionalIntegral) {
  struct {
    int n;
    double rho, tol;
    int npts;
  } cases[] = {{3, 0.5, 1e-5, 5000000},  {4, 0.3, 1e-5, 5000000},  {10, 0.5, 1e-5, 5000000},
               {20, 0.25, 1e-4, 1000000}, {50, 0.6, 2e-4, 1000000}};
  for (const auto& c : cases) {
    std::vector<double> lo(c.n), up(c.n);
    std::vector<int> kind(c.n);
    for (int i = 0; i < c.n; ++i) {
      kind[i] = i % 3;
      lo[i] = -1.8 + 0.01 * i;
      up[i] = 1.5 + 0.02 * i;
    }
    const double ref = ref_equi(c.n, lo.data(), up.data(), kind.data(), c.rho);
    double err, val;
    int inf;
    MVNLAT(c.n, lo, up, kind, equi(c.n, c.rho), c.npts, c.tol, 0.0, err, val, inf);
    EXPECT_EQ(inf, 0) << c.n;
    EXPECT_LE(err, c.tol);
    EXPECT_NEAR(val, ref, std::max(err, c.tol)) << c.n;
  }
}

// A budget below one pass of the smallest rule still runs that pass (6
// shifts of the 113-point rule, 1356 evaluations) and stops with code 1.
double bumpy(int m, std::span<const double> w) {
  double p = 1.0;
  for (int i = 0; i < m; ++i) p *= 1.0 + 0.5 * std::sin(7.0 * w[static_cast<std::size_t>(i)]);
  return p;
}

TEST(Latrul, SmallBudgetAndContinuation) {
  int mineval = 0;
  double err, val;
  int inf;
  LATRUL(4, mineval, 100, bumpy, 0.0, 0.0, err, val, inf);
  EXPECT_EQ(inf, 1);
  EXPECT_EQ(mineval, 1356);
  EXPECT_EQ(LATSTA.RN, 2);
  // A continuation goes on from the next rule with the kept estimate.
  const double first = val;
  mineval = -1;
  LATRUL(4, mineval, 5000, bumpy, 0.0, 0.0, err, val, inf);
  EXPECT_EQ(mineval, 2 * 6 * 173);
  EXPECT_NE(val, first);
  // Dimensions beyond the table are refused before anything is read.
  mineval = 0;
  LATRUL(101, mineval, 100000, bumpy, 0.0, 0.0, err, val, inf);
  EXPECT_EQ(inf, 2);
  LATRUL(0, mineval, 100000, bumpy, 0.0, 0.0, err, val, inf);
  EXPECT_EQ(inf, 2);
}

// The stream is seeded at load and never reseeded: from the same state a
// run repeats exactly, and a later call in the same run continues it.
TEST(Mvnlat, RepeatableFromTheSeeds) {
  const int n = 6;
  std::vector<double> lo(n, -1.0), up(n, 1.0);
  std::vector<int> kind(n, 2);
  double e1, v1, e2, v2, e3, v3;
  int i1, i2, i3;
  URNSTA.reset();
  MVNLAT(n, lo, up, kind, equi(n, 0.5), 200000, 1e-4, 0.0, e1, v1, i1);
  MVNLAT(n, lo, up, kind, equi(n, 0.5), 200000, 1e-4, 0.0, e3, v3, i3);
  URNSTA.reset();
  MVNLAT(n, lo, up, kind, equi(n, 0.5), 200000, 1e-4, 0.0, e2, v2, i2);
  EXPECT_EQ(v1, v2);
  EXPECT_EQ(e1, e2);
  EXPECT_NE(v1, v3);  // the second call drew new shifts
}

}  // namespace
}  // namespace qv::algebra
