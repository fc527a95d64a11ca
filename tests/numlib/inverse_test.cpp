#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "capture.hpp"
#include "numlib/inverse.hpp"

namespace qv::numlib {
namespace {

using test::soft_exit;
using test::UnitCapture;

// Column-major storage of a matrix given row by row.
std::vector<double> colmajor(int n, std::initializer_list<double> rows, int ld = 0) {
  if (ld == 0) ld = n;
  std::vector<double> a(static_cast<std::size_t>(ld * n), 0.0);
  int k = 0;
  for (double v : rows) {
    const int i = k / n, j = k % n;
    a[static_cast<std::size_t>(j * ld + i)] = v;
    ++k;
  }
  return a;
}

// Determinant pairs of small matrices, values by hand: det = d1 * 2^id.
struct DetCase {
  const char* what;
  int n;
  std::vector<double> a;  // column-major
  double d1;
  int id;
  std::vector<double> pivots;
};

TEST(Crout, DeterminantPairs) {
  const std::vector<DetCase> cases = {
      // one interchange: det -1 = -0.0625 * 2^4
      {"swap", 2, colmajor(2, {0, 1, 1, 0}), -0.0625, 4, {2, 2}},
      // rows (4,3),(6,3): scaled pivots 4/5 < 6/sqrt(45), det -6 = -0.375 * 2^4
      {"pivoted", 2, colmajor(2, {4, 3, 6, 3}), -0.375, 4, {2, 2}},
      // second-difference matrix, det 4 = 0.25 * 2^4, no interchange
      {"tridiag", 3, colmajor(3, {2, -1, 0, -1, 2, -1, 0, -1, 2}), 0.25, 4, {1, 2, 3}},
      // det 1/2 = 0.5 * 2^0
      {"half", 1, {0.5}, 0.5, 0, {1}},
      // det 1/32 = 0.5 * 2^-4
      {"small", 2, colmajor(2, {0.25, 0, 0, 0.125}), 0.5, -4, {1, 2}},
  };
  for (auto c : cases) {
    double d1 = 0;
    int id = 99, ifail = 1;
    std::vector<double> p(static_cast<std::size_t>(c.n));
    F03AFF(c.n, std::ldexp(1.0, -53), c.a, c.n, d1, id, p, ifail);
    EXPECT_EQ(ifail, 0) << c.what;
    EXPECT_NEAR(d1, c.d1, 1e-15) << c.what;
    EXPECT_EQ(id, c.id) << c.what;
    EXPECT_EQ(p, c.pivots) << c.what;
  }
}

TEST(Crout, DeterminantRangeChecks) {
  // Diagonal matrices 2^a, 2^b: det = 2^(a+b); delivered for -1016 <= id <= 1020.
  struct R {
    int a, b, err;
    double det;
  };
  const std::vector<R> cases = {
      {500, 519, 0, std::ldexp(1.0, 1019)},    // 0.5 * 2^1020: the largest id delivered
      {500, 520, 2, 0.0},                      // 0.0625 * 2^1024: overflow
      {600, 500, 2, 0.0},                      // id 1104
      {-500, -520, 0, std::ldexp(1.0, -1020)}, // 0.0625 * 2^-1016: the smallest id delivered
      {-500, -521, 3, 0.0},                    // 0.5 * 2^-1020: underflow
      {-600, -500, 3, 0.0},
  };
  for (const auto& c : cases) {
    for (bool chol : {false, true}) {
      std::vector<double> a = {std::ldexp(1.0, c.a), 0.0, 0.0, std::ldexp(1.0, c.b)};
      std::vector<double> w(2);
      double det = 123.0;
      int ifail = 1;
      if (chol) F03ABF(a, 2, 2, det, w, ifail);
      else F03AAF(a, 2, 2, det, w, ifail);
      EXPECT_EQ(ifail, c.err) << c.a << " " << c.b << " chol " << chol;
      EXPECT_EQ(det, c.det) << c.a << " " << c.b << " chol " << chol;
    }
  }
}

TEST(Crout, SingularMatrices) {
  struct S {
    const char* what;
    int n;
    std::vector<double> a;
  };
  const double nan = std::nan("");
  const std::vector<S> cases = {
      {"zero row", 3, colmajor(3, {1, 2, 3, 0, 0, 0, 4, 5, 7})},
      {"column 2 = 2 * column 1", 3, colmajor(3, {1, 2, 3, 2, 4, 5, 3, 6, 7})},
      {"rank one 2x2", 2, colmajor(2, {1, 2, 2, 4})},
      {"NaN element", 2, colmajor(2, {1, nan, 2, 3})},
      {"infinite element", 2, colmajor(2, {1, 2, INFINITY, 3})},
  };
  for (auto c : cases) {
    std::vector<double> w(static_cast<std::size_t>(c.n));
    double det = 5.0;
    int ifail = 1;
    F03AAF(c.a, c.n, c.n, det, w, ifail);
    EXPECT_EQ(ifail, 1) << c.what;
    EXPECT_EQ(det, 0.0) << c.what;
  }
}

// The exactly singular 2x2 once made the determinant pair loop for ever.
TEST(CroutDeathTest, ZeroPivotEndsQuickly) {
  EXPECT_EXIT(
      {
        alarm(5);
        std::vector<double> a = colmajor(2, {1, 2, 2, 4});
        std::vector<double> w(2);
        double det = 0;
        int ifail = 1;
        F03AAF(a, 2, 2, det, w, ifail);
        _exit(ifail == 1 ? 42 : 43);
      },
      testing::ExitedWithCode(42), "");
}

TEST(Crout, LargeRowsAreNotSingular) {
  // Rows (1e200, 3e200) and (2e-200, 4e-200): the squares overflow and
  // underflow, yet the rows have scales; det = 4 - 6 = -2.
  std::vector<double> a = colmajor(2, {1e200, 3e200, 2e-200, 4e-200});
  std::vector<double> p(2);
  double d1 = 0;
  int id = 0, ifail = 1;
  F03AFF(2, std::ldexp(1.0, -53), a, 2, d1, id, p, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_NEAR(std::ldexp(d1, id), -2.0, 1e-14);
}

TEST(Inverse, GeneralInverses) {
  struct I {
    const char* what;
    int n;
    std::vector<double> a, inv;
  };
  const std::vector<I> cases = {
      {"identity", 3, colmajor(3, {1, 0, 0, 0, 1, 0, 0, 0, 1}), colmajor(3, {1, 0, 0, 0, 1, 0, 0, 0, 1})},
      {"permutation", 3, colmajor(3, {0, 1, 0, 0, 0, 1, 1, 0, 0}), colmajor(3, {0, 0, 1, 1, 0, 0, 0, 1, 0})},
      // (4 7; 2 6)^-1 = (6 -7; -2 4)/10
      {"2x2", 2, colmajor(2, {4, 7, 2, 6}), colmajor(2, {0.6, -0.7, -0.2, 0.4})},
      // second-difference matrix: inverse (3 2 1; 2 4 2; 1 2 3)/4
      {"tridiag", 3, colmajor(3, {2, -1, 0, -1, 2, -1, 0, -1, 2}),
       colmajor(3, {0.75, 0.5, 0.25, 0.5, 1, 0.5, 0.25, 0.5, 0.75})},
  };
  for (auto c : cases) {
    const int ldx = c.n + 1;
    std::vector<double> x(static_cast<std::size_t>(ldx * c.n), -9.0), w(static_cast<std::size_t>(c.n));
    int ifail = 1;
    F01AAF(c.a, c.n, c.n, x, ldx, w, ifail);
    ASSERT_EQ(ifail, 0) << c.what;
    for (int j = 0; j < c.n; ++j)
      for (int i = 0; i < c.n; ++i)
        EXPECT_NEAR(x[static_cast<std::size_t>(j * ldx + i)], c.inv[static_cast<std::size_t>(j * c.n + i)], 1e-15)
            << c.what << " (" << i + 1 << "," << j + 1 << ")";
  }
}

TEST(Cholesky, FactorAndDeterminant) {
  // (4 2; 2 5) = L L^T with L = (2 0; 1 2); det 16 = 0.0625 * 2^8.
  std::vector<double> a = colmajor(2, {4, 2, -77, 5});  // lower triangle rubbish: not read
  std::vector<double> p(2);
  double d1 = 0;
  int id = 0, ifail = 1;
  F03AEF(2, a, 2, p, d1, id, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(d1, 0.0625);
  EXPECT_EQ(id, 8);
  EXPECT_EQ(p[0], 0.5);
  EXPECT_EQ(p[1], 0.5);
  EXPECT_EQ(a[1], 1.0);  // L(2,1)
  EXPECT_EQ(a[0], 4.0);  // diagonal and upper triangle unchanged
  EXPECT_EQ(a[2], 2.0);
  EXPECT_EQ(a[3], 5.0);

  // The same determinant whatever the lower triangle holds.
  for (double junk : {0.0, 1e10, -3.0}) {
    std::vector<double> t = colmajor(3, {2, -1, 0, junk, 2, -1, junk, junk, 2});
    std::vector<double> w(3);
    double det = 0;
    int f = 1;
    F03ABF(t, 3, 3, det, w, f);
    EXPECT_EQ(f, 0);
    EXPECT_NEAR(det, 4.0, 1e-14);
  }
  // Not positive definite, and a NaN diagonal: error 1, det 0.
  for (auto m : {colmajor(2, {1, 2, 2, 1}), colmajor(2, {-1, 0, 0, 1}), colmajor(2, {std::nan(""), 0, 0, 1})}) {
    std::vector<double> w(2);
    double det = 7;
    int f = 1;
    F03ABF(m, 2, 2, det, w, f);
    EXPECT_EQ(f, 1);
    EXPECT_EQ(det, 0.0);
  }
}

// Hilbert matrix H(i,j) = 1/(i+j-1) and its exact integer inverse
// (-1)^(i+j) (i+j-1) C(n+i-1, n-j) C(n+j-1, n-i) C(i+j-2, i-1)^2.
double binom(int n, int k) {
  double r = 1;
  for (int i = 1; i <= k; ++i) r = r * (n - k + i) / i;
  return r;
}
double hilbert_inv(int n, int i, int j) {
  const double s = ((i + j) % 2 == 0) ? 1.0 : -1.0;
  const double c = binom(i + j - 2, i - 1);
  return s * (i + j - 1) * binom(n + i - 1, n - j) * binom(n + j - 1, n - i) * c * c;
}

// Symmetric positive-definite inverse with refinement, in the layout of
// F01ABF: input in the upper triangle of rows 1..n, ld = n + 1.
int spd_inverse(int n, const std::function<double(int, int)>& s, std::vector<double>& b, std::vector<double>& a) {
  const int ld = n + 1;
  a.assign(static_cast<std::size_t>(ld * n), -1e30);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= j; ++i) a[static_cast<std::size_t>((j - 1) * ld + i - 1)] = s(i, j);
  b.assign(static_cast<std::size_t>(n * n), 0.0);
  std::vector<double> z(static_cast<std::size_t>(n));
  int ifail = 1;
  F01ABF(a, ld, n, b, n, z, ifail);
  return ifail;
}

TEST(RefinedInverse, ClosedForms) {
  std::vector<double> a, b;
  // 1x1 (4): 0.25, the first correction is zero.
  EXPECT_EQ(spd_inverse(1, [](int, int) { return 4.0; }, b, a), 0);
  EXPECT_EQ(b[0], 0.25);
  EXPECT_EQ(a[0], 4.0);
  EXPECT_EQ(a[1], 0.25);  // the inverse one row down
  {
    std::vector<double> z(1), bb(1);
    std::vector<double> aa = {4.0, 0.0};
    int l = -1, f = 1;
    F01ACF(1, std::ldexp(1.0, -53), aa, 2, bb, 1, z, l, f);
    EXPECT_EQ(f, 0);
    EXPECT_EQ(l, 1);
  }
  // Hilbert matrices of order 3 to 6 (condition up to 1.5e7): the refined
  // inverse matches the exact integers to a relative 1e-16 * condition.
  for (int n = 3; n <= 6; ++n) {
    ASSERT_EQ(spd_inverse(n, [](int i, int j) { return 1.0 / (i + j - 1); }, b, a), 0) << n;
    const double cond[] = {748, 28375, 943656, 2.9e7};  // infinity-norm condition numbers
    const double tol = n * 1e-16 * cond[n - 3];
    for (int j = 1; j <= n; ++j)
      for (int i = j; i <= n; ++i) {
        const double want = hilbert_inv(n, i, j);
        EXPECT_NEAR(b[static_cast<std::size_t>((j - 1) * n + i - 1)], want, std::fabs(want) * tol)
            << n << ": " << i << "," << j;
      }
  }
  // Second-difference matrix of order 4: inverse min(i,j)(5-max(i,j))/5.
  ASSERT_EQ(spd_inverse(4, [](int i, int j) { return i == j ? 2.0 : (std::abs(i - j) == 1 ? -1.0 : 0.0); }, b, a), 0);
  for (int j = 1; j <= 4; ++j)
    for (int i = j; i <= 4; ++i)
      EXPECT_NEAR(b[static_cast<std::size_t>((j - 1) * 4 + i - 1)], j * (5.0 - i) / 5.0, 1e-15);
}

TEST(RefinedInverse, Failures) {
  std::vector<double> a, b;
  // Not positive definite.
  EXPECT_EQ(spd_inverse(2, [](int i, int j) { return i == j ? 1.0 : 2.0; }, b, a), 1);
  // So ill-conditioned that the correction grows: Hilbert of order 13 passes
  // the Cholesky test but its refinement cannot converge; the inverse is
  // still delivered (finite values in b).
  const int err = spd_inverse(13, [](int i, int j) { return 1.0 / (i + j - 1); }, b, a);
  EXPECT_EQ(err, 2);
  EXPECT_TRUE(std::isfinite(b[0]));
  EXPECT_NE(b[0], 0.0);
  // Order 9 (condition 5e11) converges: the residual is formed well enough
  // to drive the refinement.  The elements 1/(i+j-1) are rounded, so the
  // inverse is that of a matrix a relative 1e-16 away; it stays within 1%
  // of the Hilbert inverse.
  EXPECT_EQ(spd_inverse(9, [](int i, int j) { return 1.0 / (i + j - 1); }, b, a), 0);
  EXPECT_NEAR(b[0], hilbert_inv(9, 1, 1), 81 * 1e-2);
}

// ---------------------------------------------------------------------------
// Refinement of ill-conditioned inverses.  A symmetric matrix is given by a
// function of (i, j); exact inverses, where known, by another.

using Entry = std::function<double(int, int)>;

// Exact integer binomial coefficient.
std::int64_t choose(int n, int k) {
  if (k < 0 || k > n) return 0;
  std::int64_t r = 1;
  for (int i = 1; i <= k; ++i) r = r * (n - k + i) / i;
  return r;
}

// Symmetric Pascal matrix P(i, j) = C(i+j-2, i-1) = L L^T with L(i, j) =
// C(i-1, j-1); L^-1(i, j) = (-1)^(i+j) C(i-1, j-1), so P^-1(i, j) =
// (-1)^(i+j) sum_{k >= max(i,j)} C(k-1, i-1) C(k-1, j-1) (exact integers).
double pascal(int i, int j) { return static_cast<double>(choose(i + j - 2, i - 1)); }
double pascal_inv(int n, int i, int j) {
  std::int64_t s = 0;
  for (int k = std::max(i, j); k <= n; ++k) s += choose(k - 1, i - 1) * choose(k - 1, j - 1);
  return static_cast<double>((i + j) % 2 == 0 ? s : -s);
}

// The Hilbert matrix scaled by lcm(1..2n-1), so that every element is an
// integer held exactly; its inverse is the integer inverse of the Hilbert
// matrix divided by the same factor.
double lcm_upto(int m) {
  std::int64_t l = 1;
  for (std::int64_t k = 2; k <= m; ++k) l = l / std::gcd(l, k) * k;
  return static_cast<double>(l);
}

// A random symmetric positive definite matrix with integer elements and an
// integer inverse: S = U^T U with U unit upper triangular of random integers
// in [-m, m], so S^-1 = V V^T with V = U^-1 (integer, by back substitution).
struct Unimodular {
  int n;
  std::vector<std::int64_t> s, inv;  // row-major n x n
  Unimodular(int n_, int m, std::uint64_t seed) : n(n_), s(n_ * n_), inv(n_ * n_) {
    std::mt19937_64 gen(seed);
    std::vector<std::int64_t> u(n * n, 0), v(n * n, 0);
    for (int i = 0; i < n; ++i) {
      u[i * n + i] = 1;
      for (int j = i + 1; j < n; ++j) u[i * n + j] = static_cast<std::int64_t>(gen() % (2 * m + 1)) - m;
    }
    // V = U^-1, column by column: V(i, j) = -sum_{k > i} U(i, k) V(k, j).
    for (int j = 0; j < n; ++j) {
      v[j * n + j] = 1;
      for (int i = j - 1; i >= 0; --i) {
        std::int64_t t = 0;
        for (int k = i + 1; k <= j; ++k) t -= u[i * n + k] * v[k * n + j];
        v[i * n + j] = t;
      }
    }
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        std::int64_t a = 0, b = 0;
        for (int k = 0; k < n; ++k) {
          a += u[k * n + i] * u[k * n + j];
          b += v[i * n + k] * v[j * n + k];
        }
        s[i * n + j] = a;
        inv[i * n + j] = b;
      }
  }
  double S(int i, int j) const { return static_cast<double>(s[(i - 1) * n + j - 1]); }
  double Inv(int i, int j) const { return static_cast<double>(inv[(i - 1) * n + j - 1]); }
};

// A random symmetric positive definite matrix Q D Q^T of the given condition:
// Q a product of n random Householder reflections, D geometric from 1 down
// to 1/cond.  Uniform deviates from the raw 64-bit output of the generator
// (whose sequence the C++ standard fixes), so every platform sees the same matrix.
std::vector<double> random_spd(int n, double cond, std::uint64_t seed) {
  std::mt19937_64 gen(seed);
  auto uni = [&gen] { return static_cast<double>(gen() >> 11) * 0x1p-53 - 0.5; };
  std::vector<double> q(n * n, 0.0);
  for (int i = 0; i < n; ++i) q[i * n + i] = 1.0;
  std::vector<double> v(n);
  for (int r = 0; r < n; ++r) {
    double vv = 0.0;
    for (double& x : v) {
      x = uni();
      vv += x * x;
    }
    for (int j = 0; j < n; ++j) {  // Q := Q (I - 2 v v^T / v^T v)
      double t = 0.0;
      for (int k = 0; k < n; ++k) t += q[j * n + k] * v[k];
      for (int k = 0; k < n; ++k) q[j * n + k] -= 2.0 * t / vv * v[k];
    }
  }
  std::vector<double> s(n * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double t = 0.0;
      for (int k = 0; k < n; ++k) t += q[i * n + k] * std::pow(cond, -static_cast<double>(k) / (n - 1)) * q[j * n + k];
      s[i * n + j] = t;
    }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j) s[i * n + j] = s[j * n + i];  // exactly symmetric
  return s;
}

// The infinity norm of I - S X, summed in long double from the elements.
double residual(int n, const Entry& s, const Entry& x) {
  double worst = 0.0;
  for (int i = 1; i <= n; ++i) {
    long double row = 0.0L;
    for (int j = 1; j <= n; ++j) {
      long double r = i == j ? 1.0L : 0.0L;
      for (int k = 1; k <= n; ++k) r -= static_cast<long double>(s(i, k)) * x(k, j);
      row += std::fabs(r);
    }
    worst = std::max(worst, static_cast<double>(row));
  }
  return worst;
}

// Largest error relative to the largest element of the exact inverse.
double rel_error(int n, const Entry& x, const Entry& exact) {
  double err = 0.0, big = 0.0;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      err = std::max(err, std::fabs(x(i, j) - exact(i, j)));
      big = std::max(big, std::fabs(exact(i, j)));
    }
  return err / big;
}

// The unrefined (F01ADF) and refined (F01ABF) inverses of one matrix.
struct Inverses {
  int n;
  std::vector<double> plain, refined;  // full n x n, column-major
  int ifail = -1;
  Entry x0() const { return [this](int i, int j) { return plain[(j - 1) * n + i - 1]; }; }
  Entry x1() const { return [this](int i, int j) { return refined[(j - 1) * n + i - 1]; }; }
};

Inverses both_inverses(int n, const Entry& s) {
  Inverses r{n, std::vector<double>(n * n), std::vector<double>(n * n)};
  const int ld = n + 1;
  std::vector<double> a(ld * n, 0.0);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= j; ++i) a[(j - 1) * ld + i - 1] = s(i, j);
  std::vector<double> a0 = a, b(n * n), z(n);
  int f = 1;
  F01ADF(n, a0, ld, f);
  EXPECT_EQ(f, 0);
  r.ifail = 1;
  F01ABF(a, ld, n, b, n, z, r.ifail);
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) {
      r.plain[(j - 1) * n + i - 1] = r.plain[(i - 1) * n + j - 1] = a0[(j - 1) * ld + i];
      r.refined[(j - 1) * n + i - 1] = r.refined[(i - 1) * n + j - 1] = b[(j - 1) * n + i - 1];
    }
  return r;
}

// The largest error of a refined inverse that has converged, relative to
// the largest element of the exact inverse: a few units of the working
// precision (the exact inverse rounded to double has at most one half).
const double kRoundingLevel = 4 * 0x1p-53;

// Matrices with exact inverses.  References: the closed forms above (the
// integer inverses of the Pascal and Hilbert matrices, and V V^T for
// S = U^T U), divided by the factor that scales the matrix.  The factor 3
// keeps the Cholesky factor from being exact, so the unrefined inverse has
// rounding errors to refine away.  Every refinement that converges gives the
// exact inverse to the rounding level; none gives an inverse further from the
// exact one, or with a larger residual, than the unrefined one; the two whose
// condition is beyond the working precision (Hilbert 12 and 13, 4e16 and
// 1e18) do not converge, IFAIL 2, and return the unrefined inverse.
TEST(RefinedInverse, ExactInverses) {
  struct C {
    std::string what;
    int n;
    Entry s, inv;
    int ifail;
  };
  std::vector<C> cases;
  // Condition (infinity norm) 4e7, 8e9, 2e12, 3e13.
  for (int n : {8, 10, 12, 13})
    cases.push_back({"3 Pascal " + std::to_string(n), n, [](int i, int j) { return 3 * pascal(i, j); },
                     [n](int i, int j) { return pascal_inv(n, i, j) / 3; }, 0});
  // Condition 3e4, 3e7, 3e10, 1e12, 4e13, 1e15, 4e16, 1e18.
  for (int n : {4, 6, 8, 9, 10, 11, 12, 13}) {
    const double l = lcm_upto(2 * n - 1);
    cases.push_back({"lcm Hilbert " + std::to_string(n), n, [l](int i, int j) { return l / (i + j - 1); },
                     [n, l](int i, int j) { return hilbert_inv(n, i, j) / l; }, n <= 11 ? 0 : 2});
  }
  // Random U (seeded), condition 3e3, 1e5, 1e7, 1e9, 4e7, 6e9.
  static const std::vector<Unimodular> uni = [] {
    std::vector<Unimodular> v;
    for (auto [n, m, seed] : std::vector<std::tuple<int, int, int>>{{5, 3, 1}, {6, 5, 2}, {8, 4, 3}, {10, 3, 4}, {12, 3, 5}, {7, 9, 6}})
      v.emplace_back(n, m, seed);
    return v;
  }();
  for (const auto& u : uni)
    cases.push_back({"3 U^T U " + std::to_string(u.n), u.n, [&u](int i, int j) { return 3 * u.S(i, j); },
                     [&u](int i, int j) { return u.Inv(i, j) / 3; }, 0});
  for (const auto& c : cases) {
    const Inverses r = both_inverses(c.n, c.s);
    const double e0 = rel_error(c.n, r.x0(), c.inv), e1 = rel_error(c.n, r.x1(), c.inv);
    const double r0 = residual(c.n, c.s, r.x0()), r1 = residual(c.n, c.s, r.x1());
    EXPECT_EQ(r.ifail, c.ifail) << c.what;
    if (c.ifail == 0) {
      EXPECT_LE(e1, kRoundingLevel) << c.what;
    }
    EXPECT_LE(e1, e0) << c.what;
    EXPECT_LE(r1, r0) << c.what;
  }
}

// Random matrices Q D Q^T of condition 1e4 to 1e13 (seeded).  Reference: the
// residual ||I - S X|| (infinity norm, summed in long double) of the
// unrefined inverse of F01ADF; the refinement converges and its residual is
// no larger.  Beyond the working precision (1e17) Cholesky still succeeds, the
// refinement cannot converge (IFAIL 2), and the inverse is the unrefined one.
TEST(RefinedInverse, RandomConditions) {
  struct C {
    int n;
    double cond;
    std::uint64_t seed;
    int ifail;
  };
  for (const C& c : std::vector<C>{{2, 1e8, 11, 0}, {5, 1e4, 1, 0}, {8, 1e6, 2, 0}, {10, 1e8, 3, 0}, {12, 1e10, 4, 0},
                                   {15, 1e12, 5, 0}, {6, 1e13, 6, 0}, {20, 1e13, 7, 0}, {3, 1e13, 8, 0}, {2, 1e13, 9, 0},
                                   {8, 1e17, 10, 2}, {16, 1e17, 12, 2}}) {
    const auto s = random_spd(c.n, c.cond, c.seed);
    const int n = c.n;
    Entry S = [&s, n](int i, int j) { return s[(i - 1) * n + j - 1]; };
    const Inverses r = both_inverses(n, S);
    const double r0 = residual(n, S, r.x0()), r1 = residual(n, S, r.x1());
    EXPECT_EQ(r.ifail, c.ifail) << n << " " << c.cond;
    EXPECT_LE(r1, r0) << n << " " << c.cond;
    if (c.ifail == 2) {
      EXPECT_EQ(r.refined, r.plain) << n << " " << c.cond;
    }
  }
}

TEST(InnerProduct, SumsAndChecks) {
  std::vector<double> x = {1, 2, 3, 4, 5, 6}, y = {1, 10, 100};
  double d1 = 0, d2 = 9;
  int f = 1;
  X03AAF(x, 6, y, 3, 3, 2, 1, 0.5, 0, d1, d2, false, f);  // 1*1 + 3*10 + 5*100 + 0.5
  EXPECT_EQ(f, 0);
  EXPECT_EQ(d1, 531.5);
  EXPECT_EQ(d2, 0.0);
  X03AAF(x, 6, y, 3, 0, 1, 1, 2.5, 0, d1, d2, false, f);  // n = 0: c1
  EXPECT_EQ(d1, 2.5);
  // Extended accumulation: 1e16 + 1 - 1e16 survives.
  std::vector<double> u = {1e16, 1, -1e16}, v = {1, 1, 1};
  X03AAF(u, 3, v, 3, 3, 1, 1, 0.0, 0, d1, d2, false, f);
  if (sizeof(long double) > sizeof(double)) {
    EXPECT_EQ(d1, 1.0);
  }
  struct E {
    int sx, sy, n, stepx, stepy, err;
  };
  // steps <= 0: error 1; arrays too short: error 2, which wins over error 1.
  for (const E& e : std::vector<E>{{6, 3, 3, 0, 1, 1}, {6, 3, 3, 1, -1, 1}, {4, 3, 3, 2, 1, 2}, {6, 2, 3, 1, 1, 2},
                                   {1, 3, 3, 0, 2, 2}}) {
    f = 1;
    X03AAF(x, e.sx, y, e.sy, e.n, e.stepx, e.stepy, 0, 0, d1, d2, false, f);
    EXPECT_EQ(f, e.err) << e.sx << " " << e.stepx;
  }
}

TEST(MatrixProduct, OptionsAndErrors) {
  // b (2x2) = (1 2; 3 4), c (2x2) = (5 6; 7 8): b*c = (19 22; 43 50).
  const std::vector<double> want = colmajor(2, {19, 22, 43, 50});
  for (int opt : {1, 2, 3, 7}) {
    std::vector<double> a(4, 0), b = colmajor(2, {1, 2, 3, 4}), c = colmajor(2, {5, 6, 7, 8}), z(2);
    int f = 1;
    F01CKF(a, b, c, 2, 2, 2, z, 2, opt, f);
    EXPECT_EQ(f, 0);
    EXPECT_EQ(opt == 2 ? b : opt == 3 ? c : a, want) << opt;
  }
  struct E {
    int n, p, m, iz, opt, err;
  };
  for (const E& e : std::vector<E>{{0, 2, 2, 2, 1, 1}, {2, 2, 0, 2, 2, 1}, {2, 2, 2, 1, 2, 4}, {2, 2, 2, 1, 1, 0},
                                   {2, 3, 2, 2, 2, 2}, {3, 2, 2, 2, 3, 3}}) {
    std::vector<double> a(9, 0), b(9, 1), c(9, 1), z(3);
    int f = 1;
    F01CKF(a, b, c, e.n, e.p, e.m, z, e.iz, e.opt, f);
    EXPECT_EQ(f, e.err) << e.n << e.p << e.m << e.iz << e.opt;
  }
}

// Every error of these routines with its report in soft mode (no records).
TEST(InverseErrors, SoftReports) {
  struct R {
    std::string name;
    int err;
    std::function<int(int)> call;  // returns IFAIL after calling with the given IFAIL
  };
  auto sing = [] { return colmajor(2, {1, 2, 2, 4}); };
  auto notpd = [] { return colmajor(3, {1, 2, 0, 2, 1, 0, 0, 0, 0}); };
  const std::vector<R> cases = {
      {"F03AFF", 1, [&](int f) { auto a = sing(); std::vector<double> p(2); double d1; int id; F03AFF(2, 1e-16, a, 2, d1, id, p, f); return f; }},
      {"F03AAF", 1, [&](int f) { auto a = sing(); std::vector<double> w(2); double d; F03AAF(a, 2, 2, d, w, f); return f; }},
      {"F03AAF", 2, [&](int f) { std::vector<double> a = {1e300, 0, 0, 1e300}, w(2); double d; F03AAF(a, 2, 2, d, w, f); return f; }},
      {"F03AAF", 3, [&](int f) { std::vector<double> a = {1e-300, 0, 0, 1e-300}, w(2); double d; F03AAF(a, 2, 2, d, w, f); return f; }},
      {"F01AAF", 1, [&](int f) { auto a = sing(); std::vector<double> x(4), w(2); F01AAF(a, 2, 2, x, 2, w, f); return f; }},
      {"F03AEF", 1, [&](int f) { auto a = notpd(); std::vector<double> p(3); double d1; int id; F03AEF(2, a, 3, p, d1, id, f); return f; }},
      {"F03ABF", 1, [&](int f) { auto a = notpd(); std::vector<double> w(3); double d; F03ABF(a, 3, 2, d, w, f); return f; }},
      {"F03ABF", 2, [&](int f) { std::vector<double> a = {1e300, 0, 0, 1e300}, w(2); double d; F03ABF(a, 2, 2, d, w, f); return f; }},
      {"F03ABF", 3, [&](int f) { std::vector<double> a = {1e-300, 0, 0, 1e-300}, w(2); double d; F03ABF(a, 2, 2, d, w, f); return f; }},
      {"F01ADF", 1, [&](int f) { auto a = notpd(); F01ADF(2, a, 3, f); return f; }},
      {"F01ACF", 1, [&](int f) { auto a = notpd(); std::vector<double> b(4), z(2); int l; F01ACF(2, 1e-16, a, 3, b, 2, z, l, f); return f; }},
      {"F01ABF", 1, [&](int f) { auto a = notpd(); std::vector<double> b(4), z(2); F01ABF(a, 3, 2, b, 2, z, f); return f; }},
      {"X03AAF", 1, [&](int f) { std::vector<double> x(3); double d1, d2; X03AAF(x, 3, x, 3, 2, 0, 1, 0, 0, d1, d2, false, f); return f; }},
      {"X03AAF", 2, [&](int f) { std::vector<double> x(3); double d1, d2; X03AAF(x, 3, x, 3, 3, 2, 1, 0, 0, d1, d2, false, f); return f; }},
      {"F01CKF", 1, [&](int f) { std::vector<double> v(4); F01CKF(v, v, v, 0, 1, 1, v, 4, 1, f); return f; }},
      {"F01CKF", 2, [&](int f) { std::vector<double> v(9); F01CKF(v, v, v, 1, 2, 1, v, 4, 2, f); return f; }},
      {"F01CKF", 3, [&](int f) { std::vector<double> v(9); F01CKF(v, v, v, 2, 1, 1, v, 4, 3, f); return f; }},
      {"F01CKF", 4, [&](int f) { std::vector<double> v(9); F01CKF(v, v, v, 2, 2, 2, v, 1, 2, f); return f; }},
  };
  for (const auto& c : cases) {
    UnitCapture cap;
    EXPECT_EQ(c.call(-1), c.err) << c.name;
    EXPECT_EQ(cap.lines(), soft_exit(c.name, c.err)) << c.name;
  }
  // F01ACF error 2 under its own name, and F01ABF passing it on.
  std::vector<double> a, b;
  const int n = 13, ld = n + 1;
  for (const std::string name : {"F01ACF", "F01ABF"}) {
    a.assign(static_cast<std::size_t>(ld * n), 0.0);
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= j; ++i) a[static_cast<std::size_t>((j - 1) * ld + i - 1)] = 1.0 / (i + j - 1);
    b.assign(static_cast<std::size_t>(n * n), 0.0);
    std::vector<double> z(n);
    UnitCapture cap;
    int f = -1, l = 0;
    if (name == "F01ACF") F01ACF(n, std::ldexp(1.0, -53), a, ld, b, n, z, l, f);
    else F01ABF(a, ld, n, b, n, z, f);
    EXPECT_EQ(f, 2) << name;
    EXPECT_EQ(cap.lines(), soft_exit(name, 2)) << name;
  }
}

}  // namespace
}  // namespace qv::numlib
