#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "capture.hpp"
#include "numlib/eigen_sym.hpp"

namespace qv::numlib {
namespace {

using test::soft_exit;
using test::UnitCapture;

struct Sym {
  int n;
  std::vector<double> a;  // column-major, lower triangle meaningful
};

// Column-major full symmetric matrix from a function; the strictly upper
// triangle is filled with rubbish, which must never be read.
Sym make(int n, const std::function<double(int, int)>& f) {
  Sym s{n, std::vector<double>(static_cast<std::size_t>(n * n))};
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) s.a[static_cast<std::size_t>((j - 1) * n + i - 1)] = i >= j ? f(i, j) : 1e30;
  return s;
}

double at(const std::vector<double>& a, int ld, int i, int j) { return a[static_cast<std::size_t>((j - 1) * ld + i - 1)]; }

// Eigenvalues in closed form, with eigenvectors where the check needs them.
struct EigCase {
  const char* what;
  Sym s;
  std::vector<double> values;
  std::vector<std::vector<double>> vectors;  // normalised, up to sign; empty: residual check only
};

std::vector<EigCase> cases() {
  const double r2 = std::sqrt(2.0);
  std::vector<EigCase> c;
  c.push_back({"1x1", make(1, [](int, int) { return -3.5; }), {-3.5}, {{1.0}}});
  // (2 1; 1 2): 1 and 3 with (1,-1)/sqrt2 and (1,1)/sqrt2.
  c.push_back({"2x2", make(2, [](int i, int j) { return i == j ? 2.0 : 1.0; }), {1, 3},
               {{1 / r2, -1 / r2}, {1 / r2, 1 / r2}}});
  // A diagonal matrix: sorted diagonal, columns of the identity.
  c.push_back({"diagonal", make(3, [](int i, int j) { return i == j ? (i == 1 ? 5.0 : i == 2 ? -1.0 : 2.0) : 0.0; }),
               {-1, 2, 5}, {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}});
  // Second differences of order 3: 2 - sqrt2, 2, 2 + sqrt2.
  c.push_back({"tridiag 3", make(3, [](int i, int j) { return i == j ? 2.0 : (i - j == 1 ? -1.0 : 0.0); }),
               {2 - r2, 2, 2 + r2}, {{0.5, r2 / 2, 0.5}, {1 / r2, 0, -1 / r2}, {0.5, -r2 / 2, 0.5}}});
  // All ones of order 3: 0, 0, 3 (the last vector (1,1,1)/sqrt3).
  c.push_back({"ones", make(3, [](int, int) { return 1.0; }), {0, 0, 3}, {}});
  // Second differences of order 8: 2 - 2 cos(k pi / 9).
  std::vector<double> v8;
  for (int k = 8; k >= 1; --k) v8.push_back(2 - 2 * std::cos((9 - k) * M_PI / 9));
  std::sort(v8.begin(), v8.end());
  c.push_back({"tridiag 8", make(8, [](int i, int j) { return i == j ? 2.0 : (i - j == 1 ? -1.0 : 0.0); }), v8, {}});
  // Q diag(1..5) Q^T with the Householder reflection Q = I - 2 u u^T / u^T u, u = (1,2,3,4,5).
  {
    const int n = 5;
    const double uu = 55;
    auto q = [&](int i, int k) { return (i == k ? 1.0 : 0.0) - 2.0 * i * k / uu; };
    std::vector<std::vector<double>> vec;
    for (int k = 1; k <= n; ++k) {
      std::vector<double> col;
      for (int i = 1; i <= n; ++i) col.push_back(q(i, k));
      vec.push_back(col);
    }
    c.push_back({"reflected diag", make(n, [&](int i, int j) {
                   double s = 0;
                   for (int k = 1; k <= n; ++k) s += q(i, k) * k * q(j, k);
                   return s;
                 }),
                 {1, 2, 3, 4, 5}, vec});
  }
  // Order 200 (more than one batch of 128 rotations per sweep):
  // second differences, 2 - 2 cos(k pi / 201).
  std::vector<double> v200;
  for (int k = 1; k <= 200; ++k) v200.push_back(2 - 2 * std::cos(k * M_PI / 201));
  std::sort(v200.begin(), v200.end());
  c.push_back({"tridiag 200", make(200, [](int i, int j) { return i == j ? 2.0 : (i - j == 1 ? -1.0 : 0.0); }), v200, {}});
  return c;
}

TEST(SymmetricEigen, ValuesOnly) {
  for (auto c : cases()) {
    const int n = c.s.n;
    std::vector<double> r(n), e(n);
    std::vector<double> a = c.s.a;
    int f = 1;
    F02AAF(a, n, n, r, e, f);
    ASSERT_EQ(f, 0) << c.what;
    for (int i = 0; i < n; ++i) EXPECT_NEAR(r[i], c.values[i], 1e-13 * n) << c.what << " " << i;
    // Diagonal and upper triangle unchanged.
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= j; ++i) EXPECT_EQ(at(a, n, i, j), at(c.s.a, n, i, j)) << c.what;
  }
}

TEST(SymmetricEigen, ValuesAndVectors) {
  for (auto c : cases()) {
    const int n = c.s.n, iv = n + 2;
    std::vector<double> r(n), e(n), v(static_cast<std::size_t>(iv * n));
    const std::vector<double> a = c.s.a;
    int f = 1;
    F02ABF(a, n, n, r, v, iv, e, f);
    ASSERT_EQ(f, 0) << c.what;
    for (int i = 0; i < n; ++i) EXPECT_NEAR(r[i], c.values[i], 1e-13 * n) << c.what << " " << i;
    // Known vectors up to sign.
    for (std::size_t k = 0; k < c.vectors.size(); ++k) {
      const int col = static_cast<int>(k) + 1;
      double dot = 0;
      for (int i = 1; i <= n; ++i) dot += at(v, iv, i, col) * c.vectors[k][i - 1];
      const double sign = dot < 0 ? -1 : 1;
      for (int i = 1; i <= n; ++i) EXPECT_NEAR(at(v, iv, i, col), sign * c.vectors[k][i - 1], 1e-14) << c.what;
    }
    // A v = lambda v and V^T V = I.
    double res = 0, orth = 0;
    for (int k = 1; k <= n; ++k) {
      for (int i = 1; i <= n; ++i) {
        double s = 0;
        for (int j = 1; j <= n; ++j) s += (i >= j ? at(a, n, i, j) : at(a, n, j, i)) * at(v, iv, j, k);
        res = std::max(res, std::fabs(s - r[k - 1] * at(v, iv, i, k)));
      }
      for (int l = 1; l <= n; ++l) {
        double s = 0;
        for (int i = 1; i <= n; ++i) s += at(v, iv, i, k) * at(v, iv, i, l);
        orth = std::max(orth, std::fabs(s - (k == l ? 1.0 : 0.0)));
      }
    }
    EXPECT_LT(res, 1e-13 * n) << c.what;
    EXPECT_LT(orth, 1e-13 * n) << c.what;
  }
}

TEST(SymmetricEigen, EqualValuesKeepOrder) {
  // diag(3, 1, 1): the first smallest is taken first, so e1-direction columns stay in order.
  Sym s = make(3, [](int i, int j) { return i == j ? (i == 1 ? 3.0 : 1.0) : 0.0; });
  std::vector<double> r(3), e(3), v(9);
  int f = 1;
  F02ABF(s.a, 3, 3, r, v, 3, e, f);
  EXPECT_EQ(r, (std::vector<double>{1, 1, 3}));
  EXPECT_EQ(v, (std::vector<double>{0, 1, 0, 0, 0, 1, 1, 0, 0}));
}

TEST(SymmetricEigen, Tridiagonal) {
  // The QL routines alone on the tridiagonal of second differences of order 4
  // (sub-diagonal in e(2..n)): 2 - 2 cos(k pi / 5).
  std::vector<double> d = {2, 2, 2, 2}, e = {0, -1, -1, -1};
  int f = 1;
  F02AVF(4, std::ldexp(1.0, -53), d, e, f);
  EXPECT_EQ(f, 0);
  for (int k = 1; k <= 4; ++k) EXPECT_NEAR(d[k - 1], 2 - 2 * std::cos(k * M_PI / 5), 1e-15);
}

TEST(SymmetricEigen, NoConvergence) {
  // A NaN never passes the convergence test: the 30 n iterations run out.
  for (bool vectors : {false, true}) {
    Sym s = make(3, [](int i, int j) { return i == 2 && j == 1 ? std::nan("") : (i == j ? 1.0 : 0.5); });
    std::vector<double> r(3), e(3), v(9);
    UnitCapture cap;
    int f = -1;
    if (vectors) F02ABF(s.a, 3, 3, r, v, 3, e, f);
    else F02AAF(s.a, 3, 3, r, e, f);
    EXPECT_EQ(f, 1);
    EXPECT_EQ(cap.lines(), soft_exit(vectors ? "F02ABF" : "F02AAF", 1));
  }
  for (bool vectors : {false, true}) {
    std::vector<double> d = {1, std::nan(""), 1}, e = {0, 1, 1}, v = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    UnitCapture cap;
    int f = -1;
    if (vectors) F02AMF(3, 1e-16, d, e, v, 3, f);
    else F02AVF(3, 1e-16, d, e, f);
    EXPECT_EQ(f, 1);
    EXPECT_EQ(cap.lines(), soft_exit(vectors ? "F02AMF" : "F02AVF", 1));
  }
}

}  // namespace
}  // namespace qv::numlib
