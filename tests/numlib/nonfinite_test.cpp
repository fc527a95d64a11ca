// Non-finite and extreme arguments: every routine here once hung, read past
// its arrays, overflowed an integer or reported a failure as a hard stop when
// a script fed it infinity, NaN or a huge count.  Each must now end with its
// documented failure code, or with a NaN or limit value where it has none.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "numlib/distrib.hpp"
#include "numlib/eigen_gen.hpp"
#include "numlib/gamma.hpp"
#include "numlib/inverse.hpp"
#include "numlib/minim1d.hpp"
#include "numlib/quadrature.hpp"

namespace qv::numlib {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// RC with an infinite argument is its limit 0, with a NaN argument NaN; the
// rescaling loop once ran forever on both.
TEST(NonFinite, S21BAF) {
  struct Case {
    double x, y, want;  // want NaN: a NaN result
  };
  const Case cases[] = {
      {kInf, 1.0, 0.0}, {1.0, kInf, 0.0},  {kInf, kInf, 0.0}, {1.0, -kInf, 0.0},
      {kInf, -1.0, 0.0}, {0.0, kNaN, kNaN}, {kNaN, 1.0, kNaN}, {1.0, kNaN, kNaN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + ", " + std::to_string(c.y));
    int ifail = 1;
    const double r = S21BAF(c.x, c.y, ifail);
    EXPECT_EQ(ifail, 0);
    if (std::isnan(c.want)) EXPECT_TRUE(std::isnan(r));
    else EXPECT_EQ(r, c.want);
  }
  // The extreme finite range still rescales and converges.
  int ifail = 1;
  EXPECT_NEAR(S21BAF(0.0, 1e-320, ifail) * std::sqrt(1e-320), std::acos(-1.0) / 2, 1e-12);
  EXPECT_EQ(ifail, 0);
  EXPECT_TRUE(std::isnan(LOG1PRC(-kInf)));
}

// G01GCF: a NaN non-centrality or X fails in the incomplete gamma function
// (error 5; the central term's call once ran with the IFAIL 0 that an earlier
// call had left, a hard stop); a non-centrality so large that the Poisson
// weight's logarithm loses its accuracy is error 4 (it summed to values like
// 2e5 reported as probabilities); a backward sum of billions of terms is
// error 3 (it ran for hours).
TEST(NonFinite, G01GCF) {
  struct Case {
    double x, df, rlamda;
    int maxit, err;
  };
  const Case cases[] = {
      {kNaN, 2.0, 1.0, 500, 5},    {1.0, kNaN, 1.0, 500, 5},    {1.0, 2.0, kNaN, 500, 5},
      {1.0, 2.0, kInf, 500, 2},    {1e16, 2.0, 1e16, 500, 4},   {2e16, 2.0, 1e16, 500, 4},
      {1e300, 2.0, 1e300, 500, 2}, {5e9, 2.0, 1e10, 500, 3},    {5e9, 2.0, 1e10, INT_MAX, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + " " + std::to_string(c.df) + " " + std::to_string(c.rlamda));
    int ifail = 1;
    EXPECT_EQ(G01GCF(c.x, c.df, c.rlamda, 5e-6, c.maxit, ifail), 0.0);
    EXPECT_EQ(ifail, c.err);
  }
  // Inside the range the large non-centrality still works: chi2(1e6, 1e10)
  // at its non-centrality is Phi(-1e6 / sqrt(2 (1e6 + 2e10))), about 2.85e-7.
  int ifail = 1;
  EXPECT_NEAR(G01GCF(1e10, 1e6, 1e10, 5e-6, 500, ifail), 2.85e-7, 0.02e-7);
  EXPECT_EQ(ifail, 0);
}

// F01ACF: the refinement ratio of an empty matrix, or of an inverse that
// overflowed, is NaN, which neither converged nor stopped shrinking, so the
// loop never ended.
TEST(NonFinite, F01ABFRefinement) {
  {
    std::vector<double> a(2), b(1), z(1);
    int ifail = 1;
    F01ABF(a, 2, 0, b, 1, z, ifail);
    EXPECT_EQ(ifail, 0);
  }
  {
    // 1 / 1e-320 overflows: the refinement cannot converge.
    std::vector<double> a = {1e-320, 0.0}, b(1), z(1);
    int ifail = 1;
    F01ABF(a, 2, 1, b, 1, z, ifail);
    EXPECT_EQ(ifail, 2);
  }
  {
    std::vector<double> a = {4.0, 0.0}, b(1), z(1);
    int l = 0, ifail = 1;
    F01ACF(1, kNaN, a, 2, b, 1, z, l, ifail);
    EXPECT_EQ(ifail, 0);
    EXPECT_DOUBLE_EQ(a[1], 0.25);
  }
}

// E04ABF: a NaN accuracy is replaced like one below EPSMACH; an interval with
// a NaN or infinite end, or one too long to measure, is error 1 (the search
// ran until MAXCAL, which may be as large as the integer range).
TEST(NonFinite, E04ABF) {
  auto quad = [](double xc, double& fc) { fc = (xc - 0.5) * (xc - 0.5); };
  struct Case {
    double a, b;
  };
  const Case bad[] = {{kNaN, 1.0}, {0.0, kNaN}, {-kInf, 1.0}, {0.0, kInf}, {-1e308, 1e308}};
  for (const auto& c : bad) {
    double e1 = 0.0, e2 = 0.0, a = c.a, b = c.b, x = 0.0, f = 0.0;
    int maxcal = INT_MAX, ifail = 1;
    E04ABF(quad, e1, e2, a, b, maxcal, x, f, ifail);
    EXPECT_EQ(ifail, 1) << c.a << " " << c.b;
  }
  double e1 = kNaN, e2 = kNaN, a = 0.0, b = 2.0, x = 0.0, f = 0.0;
  int maxcal = INT_MAX, ifail = 1;
  E04ABF(quad, e1, e2, a, b, maxcal, x, f, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(e1, std::sqrt(0x1p-53));
  EXPECT_NEAR(x, 0.5, 1e-6);
  EXPECT_LT(maxcal, 100);
}

// Integer sizes at the ends of the range: the point-count total of D01FBF and
// the iteration budget and element count of the eigenvalue routines overflowed.
TEST(NonFinite, HugeSizes) {
  const std::vector<int> np = {INT_MAX, INT_MAX};
  std::vector<double> w(4), x(4);
  int ifail = 1;
  EXPECT_EQ(D01FBF(2, np, 4, w, x, [](int, std::span<const double>) { return 1.0; }, ifail), 0.0);
  EXPECT_EQ(ifail, 1);

  std::vector<double> a(4), rr(2), ri(2), vr(4), vi(4);
  std::vector<int> cnt(2);
  ifail = 1;
  F02AFF(a, 2, INT_MIN, rr, ri, cnt, ifail);
  EXPECT_EQ(ifail, 0);
  ifail = 1;
  F02AGF(a, 2, INT_MIN, rr, ri, vr, 2, vi, 2, cnt, ifail);
  EXPECT_EQ(ifail, 0);
}

// F02AGF on a matrix with a NaN: the QR iteration ends with NaN roots, whose
// imaginary parts are neither zero nor of either sign; the unpacking of the
// complex pairs took the first for the second member of a pair and read
// column 0 of the vectors (the sanitizer build's bounds check catches it).
TEST(NonFinite, F02AGFNaNRoots) {
  for (int pos = 0; pos < 4; ++pos) {
    std::vector<double> a = {1.0, 3.0, 2.0, 4.0}, rr(2), ri(2), vr(4), vi(4);
    a[static_cast<std::size_t>(pos)] = kNaN;
    std::vector<int> cnt(2);
    int ifail = 1;
    F02AGF(a, 2, 2, rr, ri, vr, 2, vi, 2, cnt, ifail);
    EXPECT_TRUE(ifail == 0 || ifail == 1) << pos;
  }
}

}  // namespace
}  // namespace qv::numlib
