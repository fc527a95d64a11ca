// Tests of the further normal-integral routines: Monte Carlo and
// spherical-radial integrators, packed-matrix routines, the bounded-error
// routine and the single-precision bivariate routines.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <vector>

#include "algebra/mvnlattice.hpp"
#include "algebra/mvnmc.hpp"
#include "algebra/mvnsph.hpp"
#include "algebra/norint.hpp"
#include "algebra/pkmat.hpp"
#include "runtime/packidx.hpp"
#include "mvnref.hpp"

namespace qv::algebra {
namespace {

using qv::runtime::packed_offset;
using qv::runtime::packed_offset_sym;
using test::equi;
using test::Phi;
using test::ref_equi;
using test::ref_upper;

// ---- Monte Carlo ---------------------------------------------------------

TEST(Mvnmc, RangeExactCasesAndStatus4) {
  test::expect_n_refused(MVNMC, {0, 101});
  std::vector<double> lo(101, -1.0), up(101, 1.0), rho(101 * 50, 0.0);
  std::vector<int> kind(101, 2);
  double err, val;
  int inf;
  // Independent variables: the integrand is constant.
  MVNMC(5, lo, up, kind, rho, 10000, 1e-6, 0.0, err, val, inf);
  EXPECT_EQ(inf, 0);
  EXPECT_NEAR(val, std::pow(Phi(1.0) - Phi(-1.0), 5), 1e-14);
  std::vector<int> one{-1, 2, -1};
  MVNMC(3, lo, up, one, rho, 10000, 1e-6, 0.0, err, val, inf);
  EXPECT_NEAR(val, Phi(1.0) - Phi(-1.0), 1e-15);
  EXPECT_EQ(err, 2.000000033724767e-16);
  MVNMC(3, lo, up, kind, std::vector<double>{0.9, 0.9, -0.9}, 10000, 1e-3, 0.0, err, val, inf);
  EXPECT_EQ(inf, 4);
}

TEST(Mvnmc, EquicorrelatedWithinItsError) {
  const int n = 4;
  std::vector<double> lo(n, -1.0), up(n, 1.5);
  std::vector<int> kind{2, 0, 1, 2};
  const double ref = ref_equi(n, lo.data(), up.data(), kind.data(), 0.5);
  double err, val;
  int inf;
  URNSTA.reset();
  MVNMC(n, lo, up, kind, equi(n, 0.5), 400000, 1e-3, 0.0, err, val, inf);
  EXPECT_EQ(inf, 0);
  EXPECT_LE(err, 1e-3);
  EXPECT_NEAR(val, ref, 1e-3);
  // A budget too small for the tolerance: code 1 with the estimate.
  MVNMC(n, lo, up, kind, equi(n, 0.5), 200, 1e-6, 0.0, err, val, inf);
  EXPECT_EQ(inf, 1);
  EXPECT_NEAR(val, ref, std::max(err, 0.02));
  // Repeatable from the seeds.
  double v1, v2;
  URNSTA.reset();
  MVNMC(n, lo, up, kind, equi(n, 0.5), 5000, 1e-3, 0.0, err, v1, inf);
  URNSTA.reset();
  MVNMC(n, lo, up, kind, equi(n, 0.5), 5000, 1e-3, 0.0, err, v2, inf);
  EXPECT_EQ(v1, v2);
}

double prod2(int m, std::span<const double> w) { return w[0] * w[1]; }

TEST(Mcrude, AntitheticPassAndContinuation) {
  double err, val = 0;
  MCRUDE(2, 20000, prod2, err, val, 0);
  EXPECT_NEAR(val, 0.25, std::max(err, 1e-3));
  const double first = val;
  MCRUDE(2, 20000, prod2, err, val, 1);
  EXPECT_NE(val, first);
  EXPECT_NEAR(val, 0.25, std::max(err, 1e-3));
  MCRUDE(101, 10, prod2, err, val, 0);  // beyond the point arrays: refused
  EXPECT_EQ(err, 1.0);
}

// ---- Spherical-radial --------------------------------------------------

// The chi distribution function against the integral of its density.
TEST(Chicdf, AgainstTheDensity) {
  for (int n = 1; n <= 9; ++n) {
    const double c = std::pow(2.0, n / 2.0 - 1.0) * std::tgamma(n / 2.0);
    for (double r : {0.3, 1.0, 2.2, 4.0, 7.5}) {
      const double ref = test::quad(
          [&](double x) { return std::pow(x, n - 1) * std::exp(-x * x / 2.0) / c; }, 0.0, r, 200);
      EXPECT_NEAR(CHICDF(n, r), ref, 1e-13) << n << " " << r;
    }
    EXPECT_EQ(CHICDF(n, 0.0), 0.0);
    EXPECT_EQ(CHICDF(n, -1.0), 0.0);
    EXPECT_EQ(CHICDF(n, 40.0), 1.0);
  }
}

TEST(Nrmdev, MomentsAndDistribution) {
  URNSTA.reset();
  const int n = 200000;
  double s = 0, s2 = 0;
  int below1 = 0, below_m2 = 0, above3 = 0;
  for (int i = 0; i < n; ++i) {
    const double z = NRMDEV();
    s += z;
    s2 += z * z;
    below1 += z < 1.0;
    below_m2 += z < -2.0;
    above3 += z > 3.0;
  }
  EXPECT_NEAR(s / n, 0.0, 0.01);
  EXPECT_NEAR(s2 / n, 1.0, 0.01);
  EXPECT_NEAR(below1 / double(n), Phi(1.0), 0.003);
  EXPECT_NEAR(below_m2 / double(n), Phi(-2.0), 0.0015);
  EXPECT_NEAR(above3 / double(n), Phi(-3.0), 0.0005);
}

TEST(Sphrad, LineThroughTheBox) {
  const double dir[3] = {1.0, 0.0, 0.0};
  const double lo[3] = {-1.0, -5.0, -5.0}, up[3] = {2.0, 5.0, 5.0};
  const int all[3] = {2, -1, -1};
  // Radius interval [-1, 2]: P(chi3 <= 2) + P(chi3 <= 1).
  EXPECT_NEAR(SPHRAD(3, lo, up, all, dir), CHICDF(3, 2.0) + CHICDF(3, 1.0), 1e-15);
  // A variable the line never enters (component 0, interval above 0).
  const double lo2[3] = {-1.0, 0.5, 0.0};
  const int k2[3] = {2, 1, -1};
  EXPECT_EQ(SPHRAD(3, lo2, up, k2, dir), 0.0);
  // Unbounded: both half-lines whole within the cap of 10 NDIM.
  const int none[3] = {-1, -1, -1};
  EXPECT_NEAR(SPHRAD(3, lo, up, none, dir), 2.0, 1e-15);
}

TEST(Mvnsph, RangeExactCasesAndAccuracy) {
  double err, val;
  int inf;
  std::vector<double> lo(101, -1.0), up(101, 1.0), rho(101 * 50, 0.0);
  std::vector<int> kind(101, 2);
  test::expect_n_refused(MVNSPH, {101});
  MVNSPH(0, lo, up, kind, rho, 1000, 1e-3, 0.0, err, val, inf);  // accepted
  EXPECT_EQ(inf, 0);
  EXPECT_EQ(val, 1.0);
  // Two variables: exact.
  MVNSPH(2, lo, up, kind, std::vector<double>{0.4}, 1000, 1e-3, 0.0, err, val, inf);
  EXPECT_NEAR(val, ref_upper(-1, -1, 0.4) - 2 * ref_upper(1, -1, 0.4) + ref_upper(1, 1, 0.4),
              1e-14);
  MVNSPH(3, lo, up, kind, std::vector<double>{0.9, 0.9, -0.9}, 1000, 1e-3, 0.0, err, val, inf);
  EXPECT_EQ(inf, 4);
  // Four and six equicorrelated variables against the one-dimensional integral.
  for (int n : {4, 6}) {
    std::vector<double> l(n, -1.2), u(n, 1.4);
    std::vector<int> k(n, 2);
    k[1] = 0;
    k[2] = 1;
    const double ref = ref_equi(n, l.data(), u.data(), k.data(), 0.4);
    URNSTA.reset();
    MVNSPH(n, l, u, k, equi(n, 0.4), 2000000, 1e-3, 0.0, err, val, inf);
    EXPECT_EQ(inf, 0) << n;
    EXPECT_NEAR(val, ref, std::max(err, 1e-3)) << n;
  }
}

// ---- Packed-matrix routines ----------------------------------------------

TEST(Pkmat, CholeskyInverseDeterminantCondition) {
  // A = [4 2 2; 2 5 3; 2 3 6], packed by rows.
  const std::vector<double> a{4, 2, 5, 2, 3, 6};
  std::vector<double> l = a;
  PKCHL(3, l);
  auto L = [&](int i, int j) { return j <= i ? l[packed_offset(i, j)] : 0.0; };
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= i; ++j) {
      double s = 0;
      for (int k = 1; k <= 3; ++k) s += L(i, k) * L(j, k);
      EXPECT_NEAR(s, a[packed_offset(i, j)], 1e-14);
    }
  std::vector<double> inv = a;
  double det;
  PKINV(3, inv, det);
  EXPECT_NEAR(det, 4 * (5 * 6 - 9) - 2 * (2 * 6 - 6) + 2 * (6 - 10), 1e-12);  // 64
  auto S = [&](const std::vector<double>& m, int i, int j) {
    return m[packed_offset_sym(i, j)];
  };
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      double s = 0;
      for (int k = 1; k <= 3; ++k) s += S(a, i, k) * S(inv, k, j);
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-14);
    }
  // A pivot that is not positive becomes 0.
  std::vector<double> sing{1, 1, 1};
  PKCHL(2, sing);
  EXPECT_EQ(sing[2], 0.0);
  // Condition numbers: identity 1; 2x2 correlation (1+|r|)/(1-|r|).
  EXPECT_NEAR(PKCOND(4, equi(4, 0.0)), 1.0, 1e-15);
  EXPECT_NEAR(PKCOND(2, std::vector<double>{-0.6}), 1.6 / 0.4, 1e-13);
  EXPECT_EQ(PKCOND(101, std::vector<double>(101 * 50, 0.0)), -1.0);
  EXPECT_EQ(PKCOND(5, std::vector<double>(3, 0.0)), -1.0);  // too short: not read
}

// ---- Bounded-error routine -----------------------------------------------

TEST(Nordev, ValuesAndFaults) {
  int f = -1;
  EXPECT_EQ(NORDEV(1e-21, f), 0.0);
  EXPECT_EQ(f, 1);
  EXPECT_EQ(NORDEV(0.5, f), 0.0);
  EXPECT_EQ(f, 0);
  EXPECT_NEAR(NORDEV(0.975, f), 1.959963984540054, 1e-14);
  EXPECT_NEAR(NORDEV(0.025, f), -1.959963984540054, 1e-14);
  EXPECT_NEAR(Phi(NORDEV(1e-10, f)), 1e-10, 1e-23);
}

TEST(Pkfact, DeterminantAndFault) {
  const std::vector<double> a{4, 2, 5, 2, 3, 6};
  std::vector<double> o1(3), o2(6);
  double det;
  int fault;
  PKFACT(a, o1, o2, 3, det, fault);
  EXPECT_EQ(fault, 0);
  EXPECT_NEAR(det, 64.0, 1e-12);
  EXPECT_NEAR(o1[0], 1.0 / 6.0, 1e-15);  // the reciprocal of the last diagonal
  const std::vector<double> s{1, 1, 1};
  std::vector<double> p1(2), p2(3);
  PKFACT(s, p1, p2, 2, det, fault);
  EXPECT_EQ(fault, 4);
}

TEST(Norint1, FaultsAndValues) {
  double val = -1, bound = -1;
  int fault = -1;
  std::vector<double> lo(8, -1.0), up(8, 1.0);
  std::vector<int> kind(8, 2);
  NORINT1(up, lo, equi(8, 0.0), 1e-6, 8, kind, val, bound, fault);
  EXPECT_EQ(fault, 3);
  NORINT1(up, lo, equi(3, 0.0), 1e-9, 3, kind, val, bound, fault);
  EXPECT_EQ(fault, 2);
  std::vector<double> lo2{-1.0, 2.0, 3.0}, up2{1.0, 1.0, 0.0};
  NORINT1(up2, lo2, equi(3, 0.0), 1e-6, 3, kind, val, bound, fault);
  EXPECT_EQ(fault, 103);  // the last reversed pair
  NORINT1(up, lo, std::vector<double>{0.9, 0.9, -0.9}, 1e-6, 3, kind, val, bound, fault);
  EXPECT_EQ(fault, 4);
  // One variable; flags 0 = [L, inf), 1 = (-inf, U].
  std::vector<int> k0{0};
  NORINT1(up, std::vector<double>{0.3}, {}, 1e-6, 1, k0, val, bound, fault);
  EXPECT_EQ(fault, 0);
  EXPECT_NEAR(val, 1.0 - Phi(0.3), 1e-6);
  // Two variables: upper orthant via the single-precision routine.
  std::vector<int> k2{0, 0};
  NORINT1(up, std::vector<double>{0.2, -0.4}, std::vector<double>{0.5}, 1e-6, 2, k2, val, bound,
          fault);
  EXPECT_EQ(fault, 0);
  EXPECT_NEAR(val, ref_upper(0.2, -0.4, 0.5), 2e-6);
  // Three and five equicorrelated variables, mixed flags.
  for (int n : {3, 5}) {
    std::vector<double> l(n, -0.8), u(n, 1.2);
    std::vector<int> kn(n, 2), km(n, 2);
    kn[0] = 0;  // [L, inf)
    kn[1] = 1;  // (-inf, U]
    km[0] = 1;  // the integrators' flags for the same intervals
    km[1] = 0;
    const double ref = ref_equi(n, l.data(), u.data(), km.data(), 0.3);
    NORINT1(u, l, equi(n, 0.3), 1e-5, n, kn, val, bound, fault);
    EXPECT_EQ(fault, 0) << n;
    EXPECT_NEAR(val, ref, 1e-5) << n;
    EXPECT_GE(bound, 1e-5);
  }
}

// ---- Single-precision bivariate routines --------------------------------

TEST(Norint2, SinglePrecisionOrthants) {
  for (double r : {-0.9, -0.3, 0.0, 0.5, 0.95, 1.0, -1.0})
    for (double h : {-1.5, 0.0, 0.7})
      for (double k : {-0.2, 0.0, 0.7, 2.0}) {
        EXPECT_NEAR(NORINT2(h, k, r, 7), ref_upper(h, k, r), 2e-7) << h << " " << k << " " << r;
        EXPECT_NEAR(NORINT3(h, k, r, 7), ref_upper(h, k, r), 2e-7);
      }
  NORSTA.IERR = 0;
  EXPECT_EQ(NORINT2(0.1, 0.2, 1.5, 6), 0.0f);
  EXPECT_EQ(NORSTA.IERR, 999);
  EXPECT_EQ(NORINT2(HUGE_VAL, 0.2, 0.5, 6), 0.0f);
  EXPECT_NEAR(NORINT2(-HUGE_VAL, 0.2, 0.5, 6), 1.0 - Phi(0.2), 1e-7);
}

TEST(Norint3Death, ImpossibleCorrelationStops) {
  EXPECT_EXIT(NORINT3(0.1, 0.2, 1.5, 6), [](int st) { return WIFEXITED(st); }, "");
}

}  // namespace
}  // namespace qv::algebra
