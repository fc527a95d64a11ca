// Gauss rules against closed forms and moments, product quadrature.
//
// Reference values are independent of the stored tables: the nodes and
// weights of the small rules are the closed forms (roots of the low-degree
// orthogonal polynomials), and every stored rule of n points is checked to
// integrate the monomials x^k, k = 0..2n-1, exactly against their moments
// (2/(k+1) on [-1, 1]; Gamma((k+1)/2) for exp(-x^2); k! for exp(-x)).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "capture.hpp"
#include "numlib/quadrature.hpp"

namespace qv::numlib {
namespace {

const int kCounts[] = {1, 2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 20, 24, 32, 48, 64};
const double kSqrtPi = std::sqrt(std::numbers::pi);

struct Rule {
  std::vector<double> w, x;
  int ierr = -1;
};

Rule make(QuadRule rule, double a, double b, int itype, int n, int room = 0) {
  Rule r;
  r.w.assign(static_cast<std::size_t>(std::max(n, room)), -5.0);
  r.x.assign(r.w.size(), -5.0);
  rule(a, b, itype, n, r.w, r.x, r.ierr);
  return r;
}

double moment(const Rule& r, int k, double shift = 0.0) {
  double s = 0.0;
  for (std::size_t i = 0; i < r.w.size(); ++i) s += r.w[i] * std::pow(r.x[i] - shift, k);
  return s;
}

TEST(GaussRules, ClosedFormsOfSmallRules) {
  struct Node {
    double x, w;
  };
  struct Case {
    QuadRule rule;
    int itype, n;
    std::vector<Node> nodes;  // in any order
  };
  const double s35 = std::sqrt(3.0 / 5.0);
  const double a5 = std::sqrt(5.0 - 2.0 * std::sqrt(10.0 / 7.0)) / 3.0;
  const double b5 = std::sqrt(5.0 + 2.0 * std::sqrt(10.0 / 7.0)) / 3.0;
  const double wa5 = (322.0 + 13.0 * std::sqrt(70.0)) / 900.0;
  const double wb5 = (322.0 - 13.0 * std::sqrt(70.0)) / 900.0;
  const double h4a = std::sqrt((3.0 - std::sqrt(6.0)) / 2.0);
  const double h4b = std::sqrt((3.0 + std::sqrt(6.0)) / 2.0);
  const double hw4a = kSqrtPi / (4.0 * (3.0 - std::sqrt(6.0)));
  const double hw4b = kSqrtPi / (4.0 * (3.0 + std::sqrt(6.0)));
  const double r2 = std::sqrt(2.0);
  const Case cases[] = {
      {GAUSLEG, 0, 1, {{0.0, 2.0}}},
      {GAUSLEG, 0, 2, {{-1 / std::sqrt(3.0), 1.0}, {1 / std::sqrt(3.0), 1.0}}},
      {GAUSLEG, 0, 3, {{-s35, 5.0 / 9}, {0.0, 8.0 / 9}, {s35, 5.0 / 9}}},
      {GAUSLEG, 0, 5, {{-b5, wb5}, {-a5, wa5}, {0.0, 128.0 / 225}, {a5, wa5}, {b5, wb5}}},
      // Hermite, plain weights (ITYPE 0) and adjusted (ITYPE 1).
      {GAUSHRM, 0, 1, {{0.0, kSqrtPi}}},
      {GAUSHRM, 1, 1, {{0.0, kSqrtPi}}},
      {GAUSHRM, 0, 2, {{-1 / r2, kSqrtPi / 2}, {1 / r2, kSqrtPi / 2}}},
      {GAUSHRM, 1, 2, {{-1 / r2, kSqrtPi / 2 * std::exp(0.5)}, {1 / r2, kSqrtPi / 2 * std::exp(0.5)}}},
      {GAUSHRM, 0, 3,
       {{-std::sqrt(1.5), kSqrtPi / 6}, {0.0, 2 * kSqrtPi / 3}, {std::sqrt(1.5), kSqrtPi / 6}}},
      {GAUSHRM, 0, 4, {{-h4b, hw4b}, {-h4a, hw4a}, {h4a, hw4a}, {h4b, hw4b}}},
      // Laguerre: roots 2 -+ sqrt 2, weights (2 +- sqrt 2)/4.
      {GAUSLAG, 0, 1, {{1.0, 1.0}}},
      {GAUSLAG, 1, 1, {{1.0, std::exp(1.0)}}},
      {GAUSLAG, 0, 2, {{2 - r2, (2 + r2) / 4}, {2 + r2, (2 - r2) / 4}}},
      {GAUSLAG, 1, 2, {{2 - r2, (2 + r2) / 4 * std::exp(2 - r2)}, {2 + r2, (2 - r2) / 4 * std::exp(2 + r2)}}},
  };
  for (const Case& c : cases) {
    const Rule r = make(c.rule, 0.0, c.rule == GAUSLEG ? 0.0 : 1.0, c.itype, c.n);
    // GAUSLEG on [-1, 1].
    const Rule q = c.rule == GAUSLEG ? make(GAUSLEG, -1.0, 1.0, 0, c.n) : r;
    EXPECT_EQ(q.ierr, 0);
    for (const Node& nd : c.nodes) {
      bool found = false;
      for (int i = 0; i < c.n; ++i)
        if (std::abs(q.x[i] - nd.x) < 1e-14) {
          found = true;
          EXPECT_NEAR(q.w[i], nd.w, 1e-14 * std::max(1.0, nd.w)) << c.n << " x=" << nd.x;
        }
      EXPECT_TRUE(found) << c.n << " x=" << nd.x;
    }
  }
}

TEST(GaussRules, EveryStoredRuleIntegratesItsPolynomialsExactly) {
  for (int n : kCounts) {
    const Rule leg = make(GAUSLEG, -1.0, 1.0, 0, n);
    const Rule her = make(GAUSHRM, 0.0, 1.0, 0, n);
    const Rule lag = make(GAUSLAG, 0.0, 1.0, 0, n);
    ASSERT_EQ(leg.ierr, 0);
    ASSERT_EQ(her.ierr, 0);
    ASSERT_EQ(lag.ierr, 0);
    for (int i = 0; i < n; ++i) {
      EXPECT_GT(leg.w[i], 0.0);
      EXPECT_GT(her.w[i], 0.0);
      EXPECT_GT(lag.w[i], 0.0);
    }
    for (int k = 0; k <= 2 * n - 1; ++k) {
      const double wl = k % 2 == 0 ? 2.0 / (k + 1) : 0.0;
      EXPECT_NEAR(moment(leg, k), wl, 1e-14) << "Legendre n=" << n << " k=" << k;
      const double wh = k % 2 == 0 ? std::tgamma((k + 1) / 2.0) : 0.0;
      // Odd moments cancel between terms of size up to the even ones'.
      const double sh = std::tgamma((k + 2) / 2.0) + 1.0;
      EXPECT_NEAR(moment(her, k), wh, 1e-13 * std::max(wh, sh)) << "Hermite n=" << n << " k=" << k;
      const double wg = std::tgamma(k + 1.0);
      EXPECT_NEAR(moment(lag, k), wg, 1e-12 * wg) << "Laguerre n=" << n << " k=" << k;
    }
  }
}

TEST(GaussRules, ShiftedAndScaledRules) {
  // Hermite for exp(-B (x - A)^2): integral of exp(-4 (x - 1)^2) (x - 1)^2 is sqrt(pi)/16.
  const Rule h = make(GAUSHRM, 1.0, 4.0, 0, 10);
  EXPECT_NEAR(moment(h, 2, 1.0), kSqrtPi / 16, 1e-15);
  EXPECT_NEAR(moment(h, 0, 0.0), kSqrtPi / 2, 1e-15);
  // Adjusted weights: the integral of f itself, here exp(-(x-1)^2) over the
  // real line with the rule for B = 1 and A = 1.
  const Rule ha = make(GAUSHRM, 1.0, 1.0, 1, 20);
  double s = 0;
  for (int i = 0; i < 20; ++i) s += ha.w[i] * std::exp(-(ha.x[i] - 1) * (ha.x[i] - 1));
  EXPECT_NEAR(s, kSqrtPi, 1e-14);
  // Legendre on [2, 5]: integral of x^3 is (625 - 16)/4.
  const Rule l = make(GAUSLEG, 2.0, 5.0, 0, 2);
  EXPECT_NEAR(moment(l, 3), (625.0 - 16.0) / 4, 1e-12);
  // Laguerre for exp(-2 (x - 3)) on [3, infinity): integral of (x - 3) is 1/4.
  const Rule g = make(GAUSLAG, 3.0, 2.0, 0, 4);
  for (int i = 0; i < 4; ++i) EXPECT_GT(g.x[i], 3.0);
  EXPECT_NEAR(moment(g, 1, 3.0), 0.25, 1e-15);
}

TEST(GaussRules, LaguerreBelowAHasPositiveWeights) {
  // B = -1: the rule for exp(x - A) on (-infinity, A].  The integral of 1 is 1
  // and of (A - x) is 1, so the weights are positive.
  for (int itype : {0, 1}) {
    const Rule g = make(GAUSLAG, 2.0, -1.0, itype, 8);
    EXPECT_EQ(g.ierr, 0);
    double s0 = 0, s1 = 0;
    for (int i = 0; i < 8; ++i) {
      EXPECT_LT(g.x[i], 2.0);
      EXPECT_GT(g.w[i], 0.0);
      const double f = itype == 1 ? std::exp(g.x[i] - 2.0) : 1.0;  // adjusted: f is the whole integrand
      s0 += g.w[i] * f;
      s1 += g.w[i] * f * (2.0 - g.x[i]);
    }
    EXPECT_NEAR(s0, 1.0, 1e-14);
    EXPECT_NEAR(s1, 1.0, 1e-13);
  }
  // B = -3: scaled by 1/|B|.
  const Rule g = make(GAUSLAG, 0.0, -3.0, 0, 4);
  EXPECT_NEAR(moment(g, 0), 1.0 / 3, 1e-15);
}

TEST(GaussRules, RationalRuleOnBothInfiniteRanges) {
  struct Case {
    double a, b;
    double (*f)(double);
    double want;
  };
  // 1/x^2 on [1, inf) and on (-inf, -1]: 1; 1/(x+1)^2 on [2, inf): 1/3;
  // 1/(1 + x^2) on [0, inf): pi/2 (not exact; 64 points).
  const Case cases[] = {
      {1.0, 0.0, [](double x) { return 1 / (x * x); }, 1.0},
      {-1.0, 0.0, [](double x) { return 1 / (x * x); }, 1.0},
      {2.0, 1.0, [](double x) { return 1 / ((x + 1) * (x + 1)); }, 1.0 / 3},
      {-2.0, -1.0, [](double x) { return 1 / ((x - 1) * (x - 1)); }, 1.0 / 3},
      {0.0, 1.0, [](double x) { return 1 / (1 + x * x); }, std::numbers::pi / 2},
  };
  for (const Case& c : cases) {
    const Rule r = make(GAUSRAT, c.a, c.b, 0, 64);
    EXPECT_EQ(r.ierr, 0);
    double s = 0;
    for (int i = 0; i < 64; ++i) {
      EXPECT_GT(r.w[i], 0.0);
      if (c.a + c.b > 0) EXPECT_GE(r.x[i], c.a);
      else EXPECT_LE(r.x[i], c.a);
      s += r.w[i] * c.f(r.x[i]);
    }
    EXPECT_NEAR(s, c.want, 1e-12) << c.a << " " << c.b;
  }
}

TEST(GaussRules, CountsAndErrors) {
  // N = 7: the 6-point rule, IERR 1, position 7 zero.
  const Rule r7 = make(GAUSLEG, -1.0, 1.0, 0, 7);
  EXPECT_EQ(r7.ierr, 1);
  EXPECT_EQ(r7.w[6], 0.0);
  EXPECT_EQ(r7.x[6], 0.0);
  EXPECT_NEAR(moment(r7, 10), 2.0 / 11, 1e-15);
  // N = 100: the 64-point rule, IERR 1.
  const Rule r100 = make(GAUSHRM, 0.0, 1.0, 0, 100);
  EXPECT_EQ(r100.ierr, 1);
  for (int i = 64; i < 100; ++i) EXPECT_EQ(r100.w[i], 0.0);
  EXPECT_NE(r100.w[63], 0.0);
  // N = 0: no rule at all.
  const Rule r0 = make(GAUSLEG, 0.0, 1.0, 0, 0, 2);
  EXPECT_EQ(r0.ierr, 1);
  EXPECT_EQ(r0.w[0], -5.0);  // nothing written
  // Invalid scale parameters.
  EXPECT_EQ(make(GAUSHRM, 0.0, 0.0, 0, 4).ierr, 2);
  EXPECT_EQ(make(GAUSHRM, 0.0, -1.0, 0, 4).ierr, 2);
  EXPECT_EQ(make(GAUSLAG, 0.0, 0.0, 0, 4).ierr, 2);
  EXPECT_EQ(make(GAUSRAT, 1.0, -1.0, 0, 4).ierr, 2);
  // Weights too small to represent: IERR 3 and zero weights.
  const Rule tiny = make(GAUSLAG, 0.0, 1e250, 0, 64);
  EXPECT_EQ(tiny.ierr, 3);
  EXPECT_EQ(tiny.w[63], 0.0);
  EXPECT_GT(tiny.w[0], 0.0);
}

TEST(GaussRules, D01bbfReportsTheRuleError) {
  std::vector<double> w(7), x(7);
  int ifail = 1;
  D01BBF(GAUSHRM, 0.0, 1.0, 0, 7, w, x, ifail);
  EXPECT_EQ(ifail, 1);
  D01BBF(GAUSHRM, 0.0, 1.0, 0, 6, w, x, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_NEAR(w[0] + w[1] + w[2] + w[3] + w[4] + w[5], kSqrtPi, 1e-14);
  test::UnitCapture cap;
  ifail = -1;
  D01BBF(GAUSHRM, 0.0, -1.0, 0, 6, w, x, ifail);
  EXPECT_EQ(ifail, 2);
  const auto lines = cap.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], " ** ABNORMAL EXIT from Numerical Library routine D01BBF: IFAIL =     2");
}

TEST(ProductRule, SumsOverAllCombinations) {
  // Legendre 2 points on [0, 1] by Legendre 3 points on [-1, 2]:
  // integral of x y^2 + x^3 y over the rectangle.
  std::vector<double> w(5), x(5);
  int ierr = 0;
  GAUSLEG(0.0, 1.0, 0, 2, std::span<double>(w).first(2), std::span<double>(x).first(2), ierr);
  GAUSLEG(-1.0, 2.0, 0, 3, std::span<double>(w).subspan(2), std::span<double>(x).subspan(2), ierr);
  int calls = 0;
  std::vector<std::vector<double>> seen;
  const D01fbfFun f = [&](int ndim, std::span<const double> p) {
    EXPECT_EQ(ndim, 2);
    ++calls;
    seen.push_back({p[0], p[1]});
    return p[0] * p[1] * p[1] + p[0] * p[0] * p[0] * p[1];
  };
  const std::vector<int> npt = {2, 3};
  int ifail = 1;
  const double s = D01FBF(2, npt, 5, w, x, f, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(calls, 6);
  // The first dimension runs fastest.
  EXPECT_EQ(seen[0][1], seen[1][1]);
  EXPECT_NE(seen[0][0], seen[1][0]);
  EXPECT_EQ(seen[2][1], x[3]);
  // int_0^1 x dx int_-1^2 y^2 dy + int_0^1 x^3 dx int_-1^2 y dy = 1/2 * 3 + 1/4 * 3/2.
  EXPECT_NEAR(s, 1.5 + 0.375, 1e-14);
}

TEST(ProductRule, ThreeDimensionsOfHermite) {
  // Integral over R^3 of exp(-|x|^2) x1^2 x2^2 x3^2 = (sqrt(pi)/2)^3.
  std::vector<double> w(12), x(12);
  int ierr = 0;
  for (int d = 0; d < 3; ++d)
    GAUSHRM(0.0, 1.0, 0, 4, std::span<double>(w).subspan(4 * d, 4), std::span<double>(x).subspan(4 * d, 4), ierr);
  const std::vector<int> npt = {4, 4, 4};
  int calls = 0;
  int ifail = 0;
  const double s = D01FBF(
      3, npt, 12, w, x,
      [&](int, std::span<const double> p) {
        ++calls;
        return p[0] * p[0] * p[1] * p[1] * p[2] * p[2];
      },
      ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(calls, 64);
  EXPECT_NEAR(s, std::pow(kSqrtPi / 2, 3), 1e-14);
}

TEST(ProductRule, Errors) {
  std::vector<double> w(30, 1.0), x(30, 0.0);
  int calls = 0;
  const D01fbfFun f = [&](int, std::span<const double>) {
    ++calls;
    return 1.0;
  };
  struct Case {
    int ndim;
    std::vector<int> npt;
    int lwa;
  };
  const Case cases[] = {
      {21, std::vector<int>(21, 1), 30},
      {0, {1}, 30},
      {2, {2, 3}, 4},   // LWA shorter than the rules
      {2, {2, 0}, 30},  // a dimension without points
  };
  for (const Case& c : cases) {
    int ifail = 1;
    EXPECT_EQ(D01FBF(c.ndim, c.npt, c.lwa, w, x, f, ifail), 0.0);
    EXPECT_EQ(ifail, 1);
  }
  EXPECT_EQ(calls, 0);
}

TEST(D01baf, OneDimensionalIntegrals) {
  struct Case {
    QuadRule rule;
    double a, b;
    int npts;
    double (*f)(double);
    double want;
    int err;
  };
  const Case cases[] = {
      {GAUSLEG, 0.0, 1.0, 3, [](double x) { return std::pow(x, 5); }, 1.0 / 6, 0},
      {GAUSLEG, 0.0, 1.0, 7, [](double x) { return std::pow(x, 11); }, 1.0 / 12, 1},  // 6 points used
      {GAUSLEG, 0.0, 2.0, 100, [](double x) { return std::exp(x); }, std::exp(2.0) - 1, 1},
      // Adjusted weights: FUN is the whole integrand.
      {GAUSLAG, 0.0, 1.0, 16, [](double x) { return x * std::exp(-x); }, 1.0, 0},
      {GAUSHRM, 0.0, 1.0, 20, [](double x) { return std::exp(-x * x) * x * x; }, kSqrtPi / 2, 0},
      {GAUSRAT, 1.0, 0.0, 8, [](double x) { return 1 / (x * x * x); }, 0.5, 0},
      {GAUSHRM, 0.0, -1.0, 8, [](double) { return 1.0; }, 0.0, 2},
  };
  for (const Case& c : cases) {
    int ifail = 1;
    const double s = D01BAF(c.rule, c.a, c.b, c.npts, c.f, ifail);
    EXPECT_EQ(ifail, c.err) << c.npts;
    EXPECT_NEAR(s, c.want, 1e-12 * std::max(1.0, std::abs(c.want))) << c.npts;
  }
}

}  // namespace
}  // namespace qv::numlib
