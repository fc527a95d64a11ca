// Vector and scalar kernels: guarded arithmetic at its edges, rotations,
// reflectors, strided fills, copies and scalings.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "optkern/kernels.hpp"
#include "optkern/machine.hpp"

namespace qv::optkern {
namespace {

const double kRmax = std::ldexp(1.0, 1018);
const double kRmin = std::ldexp(1.0, -1022);
const double kEps = std::ldexp(1.0, -53);

TEST(Safdiv, GuardedQuotientAndFailFlag) {
  struct Case {
    double a, b, result;
    bool fail;
  };
  const Case cases[] = {
      {0.0, 0.0, 0.0, true},          // 0/0: zero, failed
      {0.0, 5.0, 0.0, false},         // zero numerator
      {0.0, 1e-300, 0.0, false},
      {1.0, 0.0, kRmax, true},        // division by zero keeps the sign of a
      {-1.0, 0.0, -kRmax, true},
      {-1.0, 1e-320, -kRmax, true},   // overflow, opposite signs
      {1.0, -1e-320, -kRmax, true},
      {-1.0, -1e-320, kRmax, true},   // overflow, equal signs
      {1.0, 0.5, 2.0, false},         // |b| < 1, quotient representable
      {kRmax, 0.5, kRmax, true},      // |a| just above |b|*rmax
      {kRmax / 2, 0.5, kRmax, false}, // |a| equal to |b|*rmax: still divided
      {6.0, 3.0, 2.0, false},         // |b| >= 1
      {-6.0, 1.0, -6.0, false},
      {1e-310, 2.0, 0.0, false},      // underflow below |b|*rmin gives 0
      {kRmin, 1.0, kRmin, false},     // |a| equal to |b|*rmin: divided
  };
  for (const Case& c : cases) {
    bool fail = !c.fail;
    const double r = SAFDIV(c.a, c.b, fail);
    EXPECT_EQ(r, c.result) << c.a << " / " << c.b;
    EXPECT_EQ(fail, c.fail) << c.a << " / " << c.b;
  }
}

TEST(Ssqnrm, ScaledNormCappedAtRmax) {
  EXPECT_EQ(SSQNRM(3.0, 1.0), 3.0);
  EXPECT_EQ(SSQNRM(2.0, 4.0), 4.0);
  EXPECT_EQ(SSQNRM(0.0, 1.0), 0.0);
  EXPECT_EQ(SSQNRM(std::ldexp(1.0, 1015), 4.0), std::ldexp(1.0, 1016));
  // scale not below rmax/sqrt(ssq): the cap.
  EXPECT_EQ(SSQNRM(std::ldexp(1.0, 1016), 4.0), std::ldexp(1.0, 1017));
  EXPECT_EQ(SSQNRM(std::ldexp(1.0, 1017), 4.0), kRmax);
  EXPECT_EQ(SSQNRM(std::ldexp(1.0, 1016), 16.0), kRmax);
  EXPECT_EQ(SSQNRM(1e308, 1.0), kRmax);
}

TEST(Ssqupd, ScaledSumOfSquaresNeverOverflows) {
  const std::vector<double> x = {3.0, 0.0, -4.0, 99.0};
  double scale = 0.0, ssq = 1.0;
  SSQUPD(3, x, 1, scale, ssq);
  EXPECT_EQ(scale, 4.0);
  EXPECT_DOUBLE_EQ(scale * scale * ssq, 25.0);

  // Stride 2 over (3, -4) skips the zero and the 99.
  scale = 0.0;
  ssq = 1.0;
  SSQUPD(2, x, 2, scale, ssq);
  EXPECT_DOUBLE_EQ(scale * std::sqrt(ssq), 5.0);

  const std::vector<double> big = {1e300, -1e300};
  scale = 0.0;
  ssq = 1.0;
  SSQUPD(2, big, 1, scale, ssq);
  EXPECT_EQ(scale, 1e300);
  EXPECT_EQ(ssq, 2.0);

  // n <= 0 leaves the pair alone.
  scale = 7.0;
  ssq = 3.0;
  SSQUPD(0, x, 1, scale, ssq);
  EXPECT_EQ(scale, 7.0);
  EXPECT_EQ(ssq, 3.0);
}

TEST(Fill, RealAndIntegerFillsWithStride) {
  std::vector<double> x(6, -1.0);
  DVFILL(3, 2.5, x, 2);
  EXPECT_EQ(x, (std::vector<double>{2.5, -1.0, 2.5, -1.0, 2.5, -1.0}));
  DVFILL(6, 0.0, x, 1);
  EXPECT_EQ(x, std::vector<double>(6, 0.0));
  DVFILL(0, 9.0, x, 1);
  DVFILL(-2, 9.0, x, 1);
  EXPECT_EQ(x, std::vector<double>(6, 0.0));

  std::vector<int> ix(5, 0);
  IVFILL(2, 7, ix, 3);
  EXPECT_EQ(ix, (std::vector<int>{7, 0, 0, 7, 0}));
  IVFILL(0, 1, ix, 1);
  EXPECT_EQ(ix, (std::vector<int>{7, 0, 0, 7, 0}));
}

TEST(Rotgen, RotationEdges) {
  struct Case {
    double a, b;
    double r, c, s;
  };
  const Case cases[] = {
      {0.0, -3.0, -3.0, 0.0, 1.0},   // a = 0
      {-3.0, 4.0, -5.0, 0.6, -0.8},  // r takes the sign of a
      {3.0, 4.0, 5.0, 0.6, 0.8},
      {5.0, 0.0, 5.0, 1.0, 0.0},     // b = 0
      {1.0, 1e-20, 1.0, 1.0, 0.0},   // |b| negligible against |a|
      {1e-20, -2.0, -2.0, 0.0, 1.0}, // |a| negligible against |b|
      {1e-160, 1e-160, 1e-160, 1.0, 0.0},  // both below sqrt(rmin)
  };
  for (const Case& k : cases) {
    double a = k.a, b = k.b, c = -9.0, s = -9.0;
    ROTGEN(a, b, c, s);
    EXPECT_DOUBLE_EQ(a, k.r) << k.a << ", " << k.b;
    EXPECT_EQ(b, 0.0);
    EXPECT_DOUBLE_EQ(c, k.c) << k.a << ", " << k.b;
    EXPECT_DOUBLE_EQ(s, k.s) << k.a << ", " << k.b;
  }
}

TEST(Rotseq, EveryCombinationReducesTheVector) {
  const char* pivots[] = {"Variable", "fixed"};
  const char* dirs[] = {"Backwards", "forwards"};
  for (const char* p : pivots) {
    for (const char* d : dirs) {
      double alpha = 1.0;
      std::vector<double> x = {2.0, 0.0, -2.0, 4.0};
      std::vector<double> c(4, -9.0), s(4, -9.0);
      ROTSEQ(p, d, 4, alpha, x, 1, c, s);
      const bool fixed = p[0] == 'f';
      if (fixed) {
        // Every element is reduced into alpha.
        EXPECT_DOUBLE_EQ(std::abs(alpha), 5.0) << p << " " << d;
        for (double v : x) EXPECT_EQ(v, 0.0) << p << " " << d;
      } else {
        // The vector collapses onto alpha through its neighbours.
        EXPECT_DOUBLE_EQ(std::abs(alpha), 5.0) << p << " " << d;
        for (double v : x) EXPECT_EQ(v, 0.0) << p << " " << d;
      }
      for (int i = 0; i < 4; ++i) EXPECT_NEAR(c[i] * c[i] + s[i] * s[i], 1.0, 1e-15);
    }
  }
  // Unknown letters do nothing.
  double alpha = 1.0;
  std::vector<double> x = {2.0, 3.0};
  std::vector<double> c(2, -9.0), s(2, -9.0);
  ROTSEQ("Xvar", "Backwards", 2, alpha, x, 1, c, s);
  ROTSEQ("Variable", "Sideways", 2, alpha, x, 1, c, s);
  EXPECT_EQ(alpha, 1.0);
  EXPECT_EQ(x, (std::vector<double>{2.0, 3.0}));
}

TEST(Rotseq, BackwardsFixedStoresNegatedSine) {
  // One rotation of (alpha, x1) = (3, 4): ROTGEN gives c 0.6, s 0.8, and the
  // Fixed/Backwards form stores the sine negated.
  double alpha = 3.0;
  std::vector<double> x = {4.0};
  std::vector<double> c(1), s(1);
  ROTSEQ("F", "B", 1, alpha, x, 1, c, s);
  EXPECT_DOUBLE_EQ(alpha, 5.0);
  EXPECT_DOUBLE_EQ(c[0], 0.6);
  EXPECT_DOUBLE_EQ(s[0], -0.8);
}

// P*(alpha; x) with P = I - u u', u = (zeta; z).
std::vector<double> apply_reflector(double zeta, const std::vector<double>& z, double alpha,
                                    const std::vector<double>& x) {
  double dot = zeta * alpha;
  for (std::size_t i = 0; i < x.size(); ++i) dot += z[i] * x[i];
  std::vector<double> out(x.size() + 1);
  out[0] = alpha - zeta * dot;
  for (std::size_t i = 0; i < x.size(); ++i) out[i + 1] = x[i] - z[i] * dot;
  return out;
}

TEST(Hhgen, ReflectorMapsVectorOntoFirstAxis) {
  struct Case {
    double alpha;
    std::vector<double> x;
  };
  const Case cases[] = {
      {3.0, {4.0}}, {-3.0, {4.0}}, {1.0, {2.0, -2.0, 4.0}}, {-1e-3, {1e200, 3e199}}, {0.0, {1.0, 2.0, 2.0}},
  };
  for (const Case& k : cases) {
    double alpha = k.alpha, zeta = -1.0;
    std::vector<double> z = k.x;
    HHGEN(static_cast<int>(z.size()), alpha, z, 1, 0.0, zeta);
    ASSERT_GE(zeta, 1.0);
    ASSERT_LE(zeta, std::sqrt(2.0) * (1 + 1e-15));
    double uu = zeta * zeta;
    for (double v : z) uu += v * v;
    EXPECT_NEAR(uu, 2.0, 1e-14) << k.alpha;
    const std::vector<double> px = apply_reflector(zeta, z, k.alpha, k.x);
    EXPECT_NEAR(px[0] / alpha, 1.0, 1e-14);
    for (std::size_t i = 1; i < px.size(); ++i) EXPECT_NEAR(px[i] / alpha, 0.0, 1e-14);
  }
}

TEST(Hhgen, IdentityAndSpecialCases) {
  // n = 1, alpha = 0, x = -2.
  double alpha = 0.0, zeta = -1.0;
  std::vector<double> x = {-2.0};
  HHGEN(1, alpha, x, 1, 0.0, zeta);
  EXPECT_EQ(zeta, 1.0);
  EXPECT_EQ(alpha, 2.0);
  EXPECT_EQ(x[0], 1.0);

  // n = 1 with x = 0, and x below the tolerance: identity, nothing changes.
  alpha = 5.0;
  x = {0.0};
  HHGEN(1, alpha, x, 1, 0.0, zeta);
  EXPECT_EQ(zeta, 0.0);
  EXPECT_EQ(alpha, 5.0);
  x = {1e-3};
  HHGEN(1, alpha, x, 1, 1e-2, zeta);
  EXPECT_EQ(zeta, 0.0);
  EXPECT_EQ(x[0], 1e-3);

  // n > 1: all zero, or the largest element at or below eps*|alpha|.
  x = {0.0, 0.0};
  zeta = -1.0;
  HHGEN(2, alpha, x, 1, 0.0, zeta);
  EXPECT_EQ(zeta, 0.0);
  alpha = 1.0;
  x = {kEps / 2, kEps};
  HHGEN(2, alpha, x, 1, 0.0, zeta);
  EXPECT_EQ(zeta, 0.0);
  EXPECT_EQ(alpha, 1.0);

  // n < 1.
  zeta = -1.0;
  HHGEN(0, alpha, x, 1, 0.0, zeta);
  EXPECT_EQ(zeta, 0.0);

  // n > 1 with alpha = 0: alpha becomes the norm, x is scaled by -1/alpha.
  alpha = 0.0;
  x = {3.0, -4.0};
  HHGEN(2, alpha, x, 1, 0.0, zeta);
  EXPECT_EQ(zeta, 1.0);
  EXPECT_DOUBLE_EQ(alpha, 5.0);
  EXPECT_DOUBLE_EQ(x[0], -0.6);
  EXPECT_DOUBLE_EQ(x[1], 0.8);
}

TEST(Amaxmin, ExtremeMagnitudes) {
  const std::vector<double> x = {-3.0, 1.0, 7.0, -0.5, 2.0};
  double xmax = -1, xmin = -1;
  AMAXMIN(5, x, 1, xmax, xmin);
  EXPECT_EQ(xmax, 7.0);
  EXPECT_EQ(xmin, 0.5);
  AMAXMIN(3, x, 2, xmax, xmin);  // -3, 7, 2
  EXPECT_EQ(xmax, 7.0);
  EXPECT_EQ(xmin, 2.0);
  AMAXMIN(0, x, 1, xmax, xmin);
  EXPECT_EQ(xmax, 0.0);
  EXPECT_EQ(xmin, 0.0);
}

TEST(Nlead, LeadingElementCount) {
  struct Case {
    std::vector<double> x;
    double tol;
    int expected;
  };
  const Case cases[] = {
      {{4.0, 2.0, 1e-20, 5.0}, 1e-10, 2},
      {{0.0, 2.0, 3.0}, 1e-10, 0},       // x(1) = 0 does not count
      {{4.0, 5.0}, 1.0, 0},              // tol >= 1
      {{1.0, 1e-17, 1.0}, -1.0, 1},      // tol < 0 means eps
      {{1.0, 1e-15, 1.0}, -1.0, 3},
      {{-2.0, 3.0, -4.0}, 0.5, 3},       // the running maximum grows
      {{-2.0, 3.0, -1.0}, 0.5, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NLEAD(static_cast<int>(c.x.size()), c.x, 1, c.tol), c.expected);
  }
  const std::vector<double> x = {1.0};
  EXPECT_EQ(NLEAD(0, x, 1, 0.1), 0);
}

TEST(Diagonal, ScaleAndDivideWithAllIncrementForms) {
  const std::vector<double> d = {2.0, 3.0, 4.0};
  // incd = incx > 0: one index.
  std::vector<double> x = {1.0, 1.0, 1.0};
  DIAGSC(3, d, 1, x, 1);
  EXPECT_EQ(x, (std::vector<double>{2.0, 3.0, 4.0}));
  DIAGDV(3, d, 1, x, 1);
  EXPECT_EQ(x, (std::vector<double>{1.0, 1.0, 1.0}));
  // incd = 0: the whole of x by d(1), over |incx|.
  x = {1.0, 5.0, 2.0, 5.0};
  DIAGSC(2, d, 0, x, -2);
  EXPECT_EQ(x, (std::vector<double>{2.0, 5.0, 4.0, 5.0}));
  DIAGDV(2, d, 0, x, 2);
  EXPECT_EQ(x, (std::vector<double>{1.0, 5.0, 2.0, 5.0}));
  // Own increments; a negative increment starts from the far end.
  x = {1.0, 10.0, 100.0};
  DIAGSC(3, d, 1, x, -1);
  EXPECT_EQ(x, (std::vector<double>{4.0, 30.0, 200.0}));
  x = {1.0, 0.0, 1.0, 0.0, 1.0};
  DIAGSC(3, d, 1, x, 2);
  EXPECT_EQ(x, (std::vector<double>{2.0, 0.0, 3.0, 0.0, 4.0}));
}

TEST(Icopyv, CopiesWithIncrements) {
  const std::vector<int> x = {1, 2, 3};
  std::vector<int> y(3, 0);
  ICOPYV(3, x, 1, y, 1);
  EXPECT_EQ(y, x);
  ICOPYV(3, x, 1, y, -1);
  EXPECT_EQ(y, (std::vector<int>{3, 2, 1}));
  std::vector<int> z(4, 0);
  ICOPYV(2, x, 2, z, 3);
  EXPECT_EQ(z, (std::vector<int>{1, 0, 0, 3}));
  ICOPYV(0, x, 1, z, 1);
  EXPECT_EQ(z, (std::vector<int>{1, 0, 0, 3}));
}

TEST(Wtnrm2, WeightedNormWithoutOverflow) {
  const std::vector<double> w1 = {4.0};
  const std::vector<double> x1 = {-3.0};
  EXPECT_EQ(WTNRM2(1, w1, 1, x1, 1), 6.0);
  const std::vector<double> w = {1.0, 4.0, 0.0};
  const std::vector<double> x = {3.0, 2.0, 100.0};
  EXPECT_DOUBLE_EQ(WTNRM2(3, w, 1, x, 1), 5.0);
  const std::vector<double> ones = {1.0, 1.0};
  const std::vector<double> big = {1e300, 1e300};
  EXPECT_DOUBLE_EQ(WTNRM2(2, ones, 1, big, 1), 1e300 * std::sqrt(2.0));
  const std::vector<double> huge = {1e308, 1e308};
  EXPECT_EQ(WTNRM2(2, ones, 1, huge, 1), kRmax);
  EXPECT_EQ(WTNRM2(0, w, 1, x, 1), 0.0);
}

TEST(Rottan, RotationFromTangent) {
  struct Case {
    double t, c, s;
  };
  const Case cases[] = {
      {0.0, 1.0, 0.0}, {1e-10, 1.0, 1e-10}, {1e10, 1e-10, 1.0}, {-1e10, 1e-10, -1.0}, {0.75, 0.8, 0.6},
      {-0.75, 0.8, -0.6},
  };
  for (const Case& k : cases) {
    double c = 0, s = 0;
    ROTTAN(k.t, c, s);
    EXPECT_DOUBLE_EQ(c, k.c) << k.t;
    EXPECT_DOUBLE_EQ(s, k.s) << k.t;
  }
}

TEST(Parerr, FormsTheRecordOnly) {
  const std::string rec = PARERR("DGEMV", 3);
  EXPECT_EQ(rec.size(), 80u);
  EXPECT_EQ(rec, std::string(" ** On entry to DGEMV         parameter number  3 had an illegal value") +
                     std::string(10, ' '));
}

}  // namespace
}  // namespace qv::optkern
