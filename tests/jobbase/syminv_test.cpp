// Symmetric inverses (packed, LAPACK and full-storage forms) and the moment
// integrand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "jobbase/syminv.hpp"
#include "runtime/packidx.hpp"

namespace qv::jobbase {
namespace {

using runtime::packed_offset;
using runtime::packed_offset_sym;
using runtime::packed_size;

Vec1<double> v1(std::vector<double>& v) { return Vec1<double>(v.data(), static_cast<std::ptrdiff_t>(v.size())); }

TEST(Syminv, OneByOneWithDeterminant) {
  std::vector<double> a = {4}, c(1), w(1);
  double det = 0;
  int nullity = -1, fault = -1;
  SYMINV(v1(a), 1, v1(c), v1(w), det, 1, nullity, fault);
  EXPECT_EQ(fault, 0);
  EXPECT_EQ(nullity, 0);
  EXPECT_DOUBLE_EQ(c[0], 0.25);
  EXPECT_DOUBLE_EQ(det, 4.0);
  EXPECT_EQ(a[0], 4.0);  // A is not changed
}

TEST(Syminv, ThreeByThreeAgainstProduct) {
  // A = [[4,2,0.6],[2,5,1],[0.6,1,3]] packed.
  std::vector<double> a = {4, 2, 5, 0.6, 1, 3}, c(6), w(3);
  double det = 0;
  int nullity = -1, fault = -1;
  SYMINV(v1(a), 3, v1(c), v1(w), det, 1, nullity, fault);
  ASSERT_EQ(fault, 0);
  auto el = [](const std::vector<double>& p, int i, int j) {
    return p[static_cast<std::size_t>(packed_offset_sym(i, j))];
  };
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      double s = 0;
      for (int k = 1; k <= 3; ++k) s += el(a, i, k) * el(c, k, j);
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
    }
  const double d = 4 * (5 * 3 - 1) - 2 * (2 * 3 - 0.6) + 0.6 * (2 * 1 - 5 * 0.6);
  EXPECT_NEAR(det, d, 1e-12);
  // In place (C the same array as A) gives the same result.
  std::vector<double> b = a;
  SYMINV(v1(b), 3, v1(b), v1(w), det, 0, nullity, fault);
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(b[k], c[k], 1e-14);
}

TEST(Syminv, SingularGivesGeneralisedInverseIndefiniteFaults) {
  std::vector<double> ones = {1, 1, 1}, c(3), w(2);
  double det = 0;
  int nullity = -1, fault = -1;
  SYMINV(v1(ones), 2, v1(c), v1(w), det, 0, nullity, fault);
  EXPECT_EQ(fault, 0);
  EXPECT_EQ(nullity, 1);
  EXPECT_EQ(c, (std::vector<double>{1, 0, 0}));

  std::vector<double> ind = {1, 2, 1};
  SYMINV(v1(ind), 2, v1(c), v1(w), det, 0, nullity, fault);
  EXPECT_EQ(fault, 2);
  EXPECT_EQ(c[0], 1.0);  // the partial factor
  SYMINV(v1(ind), 0, v1(c), v1(w), det, 0, nullity, fault);
  EXPECT_EQ(fault, 1);
}

// A zero diagonal element: [[0,1],[1,0]] is not positive semi-definite and
// is refused (it used to pass as a zero "inverse" with nullity 0); [[0,0],
// [0,4]] is singular and gives the generalised inverse with its zero pivot
// counted.
TEST(Syminv, ZeroDiagonalElement) {
  std::vector<double> swap = {0, 1, 0}, c(3), w(2);
  double det = -1;
  int nullity = -1, fault = -1;
  SYMINV(v1(swap), 2, v1(c), v1(w), det, 1, nullity, fault);
  EXPECT_EQ(fault, 2);
  EXPECT_EQ(det, 0.0);

  std::vector<double> z = {0, 0, 4};
  SYMINV(v1(z), 2, v1(c), v1(w), det, 0, nullity, fault);
  EXPECT_EQ(fault, 0);
  EXPECT_EQ(nullity, 1);
  EXPECT_EQ(c, (std::vector<double>{0, 0, 0.25}));

  // In place, as the data checks call it through the full-storage wrapper.
  std::vector<double> a = {0, 1, 99, 1, 0, 99}, ainv(6, 0.0), cp(3);
  SYMINF(v1(a), v1(ainv), 3, det, 0, 2, v1(cp), nullity, fault);
  EXPECT_EQ(fault, 2);
}

// Semi-definite and indefinite pivots.  A zero pivot whose column below is
// zero, or zero to rounding, is a semi-definite pivot: nullity + 1 and a zero
// row and column in the generalised inverse.  A zero pivot with a column that
// is plainly not zero, or a negative pivot, shows an indefinite matrix
// (fault 2).  Expected inverses worked by hand: the inverse of the block of
// the non-zero pivots, padded with zeros.
TEST(Syminv, SemiDefiniteAndIndefinitePivots) {
  const double e = 1e-12;
  struct Case {
    const char* what;
    int n;
    std::vector<double> a;  // packed lower triangle by rows
    int fault, nullity;
    std::vector<double> inv;  // packed; empty when refused
  };
  const std::vector<Case> cases = {
      {"all ones 2x2", 2, {1, 1, 1}, 0, 1, {1, 0, 0}},
      {"all ones, (2,2) + 1e-12", 2, {1, 1, 1 + e}, 0, 1, {1, 0, 0}},
      {"all ones, (2,2) - 1e-12", 2, {1, 1, 1 - e}, 0, 1, {1, 0, 0}},
      {"all ones, (2,1) + 1e-12", 2, {1, 1 + e, 1}, 0, 1, {1, 0, 0}},
      {"rank one v v', v = (1,2,3)", 3, {1, 2, 4, 3, 6, 9}, 0, 2, {1, 0, 0, 0, 0, 0}},
      {"rank one, (3,2) + 1e-12", 3, {1, 2, 4, 3, 6 + e, 9}, 0, 2, {1, 0, 0, 0, 0, 0}},
      {"rank one, every element + 1e-12", 3, {1 + e, 2 + e, 4 + e, 3 + e, 6 + e, 9 + e}, 0, 2,
       {1 / (1 + e), 0, 0, 0, 0, 0}},
      // [[4,0,2],[0,0,0],[2,0,5]]: inverse of [[4,2],[2,5]] is [[5,-2],[-2,4]]/16.
      {"zero row and column", 3, {4, 0, 0, 2, 0, 5}, 0, 1, {5.0 / 16, 0, 0, -2.0 / 16, 0, 4.0 / 16}},
      {"zero first row and column", 2, {0, 0, 2}, 0, 1, {0, 0, 0.5}},
      {"[[0,1],[1,0]]", 2, {0, 1, 0}, 2, -1, {}},
      {"[[1,1],[1,1 - 1e-6]]", 2, {1, 1, 1 - 1e-6}, 2, -1, {}},
      {"[[1,2],[2,1]]", 2, {1, 2, 1}, 2, -1, {}},
      {"rank one with (3,2) + 0.1", 3, {1, 2, 4, 3, 6.1, 9}, 2, -1, {}},
  };
  for (const Case& c : cases) {
    std::vector<double> a = c.a, inv(c.a.size(), -9.0), w(static_cast<std::size_t>(c.n));
    double det = -1;
    int nullity = -1, fault = -1;
    SYMINV(v1(a), c.n, v1(inv), v1(w), det, 1, nullity, fault);
    EXPECT_EQ(fault, c.fault) << c.what;
    if (c.fault != 0) continue;
    EXPECT_EQ(nullity, c.nullity) << c.what;
    EXPECT_EQ(det, 0.0) << c.what;
    for (std::size_t k = 0; k < inv.size(); ++k) EXPECT_NEAR(inv[k], c.inv[k], 1e-9) << c.what << " element " << k;
  }
}

// The factor of a separate L is formed column by column, the factor in place
// row by row; both must be the same to the last bit, with the same fault and
// nullity, and SYMINV's inverse must equal the plain Healy loop bit for bit.
// Matrices: random positive definite ones of orders 1 to 20 (B B' + I with
// B uniform on (-1, 1), fixed seed), and semi-definite and indefinite ones.
TEST(Syminv, FactorByColumnsEqualsFactorInPlace) {
  std::vector<std::pair<int, std::vector<double>>> mats = {
      {2, {1, 1, 1}}, {3, {1, 2, 4, 3, 6, 9}}, {3, {4, 0, 0, 2, 0, 5}}, {2, {0, 0, 2}},
      {2, {0, 1, 0}}, {2, {1, 2, 1}},          {3, {1, 2, 4, 3, 6.1, 9}},
  };
  unsigned seed = 12345;
  auto uniform = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<double>((seed >> 8) & 0xFFFF) / 32768.0 - 1.0;
  };
  for (int n = 1; n <= 20; ++n) {
    std::vector<double> b(static_cast<std::size_t>(n * n));
    for (double& x : b) x = uniform();
    std::vector<double> a(static_cast<std::size_t>(packed_size(n)));
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= i; ++j) {
        double s = i == j ? 1.0 : 0.0;
        for (int k = 0; k < n; ++k) s += b[(i - 1) * n + k] * b[(j - 1) * n + k];
        a[packed_offset_sym(i, j)] = s;
      }
    mats.emplace_back(n, a);
  }
  for (const auto& [n, a0] : mats) {
    SCOPED_TRACE(n);
    std::vector<double> a = a0, l(a0.size(), -7.0), inplace = a0;
    int null1 = -1, fault1 = -1, null2 = -1, fault2 = -1;
    CHOLPK(v1(a), n, v1(l), null1, fault1);
    CHOLPK(v1(inplace), n, v1(inplace), null2, fault2);
    ASSERT_EQ(fault1, fault2);
    EXPECT_EQ(a, a0);  // A is not changed
    if (fault1 != 0) continue;
    EXPECT_EQ(null1, null2);
    EXPECT_EQ(l, inplace);
    // The inverse against the plain loop on the same factor.
    std::vector<double> inv(a0.size()), w(static_cast<std::size_t>(n));
    double det = 0;
    SYMINV(v1(a), n, v1(inv), v1(w), det, 1, null1, fault1);
    std::vector<double> ref = inplace;
    for (int r = n; r >= 1; --r) {
      if (ref[packed_offset_sym(r, r)] == 0.0) {
        for (int k = 1; k <= n; ++k) ref[packed_offset_sym(r, k)] = 0.0;
        continue;
      }
      for (int k = r; k <= n; ++k) w[k - 1] = ref[packed_offset_sym(k, r)];
      for (int c = n; c >= r; --c) {
        double s = c == r ? 1.0 / w[r - 1] : 0.0;
        for (int k = r + 1; k <= n; ++k) s -= w[k - 1] * ref[packed_offset_sym(k, c)];
        ref[packed_offset_sym(c, r)] = s / w[r - 1];
      }
    }
    EXPECT_EQ(inv, ref);
  }
}

TEST(Cholinv, InverseAndRefusedFactorisation) {
  std::vector<double> a = {4, 2, 2, 5};
  int info = -1;
  CHOLINV(v1(a), 2, info);
  EXPECT_EQ(info, 0);
  EXPECT_NEAR(a[0], 5.0 / 16, 1e-15);
  EXPECT_NEAR(a[1], -2.0 / 16, 1e-15);
  EXPECT_NEAR(a[3], 4.0 / 16, 1e-15);
  // Indefinite: the factorisation's failure is returned, no inverse is formed.
  std::vector<double> b = {1, 2, 2, 1};
  CHOLINV(v1(b), 2, info);
  EXPECT_EQ(info, 2);
}

TEST(Syminf, FullStorageWrapper) {
  // lda 3 holding a 2x2 matrix.
  std::vector<double> a = {4, 2, 99, 2, 5, 99}, ainv(6, 0.0), c(3);
  double det = 0;
  int nullity = -1, fault = -1;
  SYMINF(v1(a), v1(ainv), 3, det, 0, 2, v1(c), nullity, fault);
  EXPECT_EQ(fault, 0);
  EXPECT_NEAR(ainv[0], 5.0 / 16, 1e-15);
  EXPECT_NEAR(ainv[1], -2.0 / 16, 1e-15);
  EXPECT_NEAR(ainv[3], -2.0 / 16, 1e-15);
  EXPECT_NEAR(ainv[4], 4.0 / 16, 1e-15);
}

TEST(Momint, DensityAndPowers) {
  MOMSTA.reset();
  MOMSTA.S[0] = 1.0;
  MOMSTA.recompute = true;
  std::vector<double> x = {0.0};
  EXPECT_NEAR(MOMINT(1, x), 1.0 / std::sqrt(2.0 * M_PI), 1e-15);
  EXPECT_FALSE(MOMSTA.recompute);

  // Two variables, correlation 0.5, x = (1, -1), power 1 on the first, 2 on
  // the second, centred at m = (0.5, 0).
  MOMSTA.reset();
  MOMSTA.S[0] = 1.0;
  MOMSTA.S[1] = 0.5;
  MOMSTA.S[kMomMax] = 0.5;
  MOMSTA.S[kMomMax + 1] = 1.0;
  MOMSTA.m[0] = 0.5;
  MOMSTA.K[0] = 1;
  MOMSTA.K[1] = 2;
  MOMSTA.K[kMomMax] = 1;
  MOMSTA.recompute = true;
  std::vector<double> y = {1.0, -1.0};
  const double z1 = 0.5, z2 = -1.0, d = 0.75;
  const double q = (z1 * z1 - 2 * 0.5 * z1 * z2 + z2 * z2) / d;
  const double f = std::exp(-q / 2) / (2 * M_PI * std::sqrt(d)) * z1 * z2 * z2;
  EXPECT_NEAR(MOMINT(2, y), f, 1e-14);
  // S keeps its values.
  EXPECT_EQ(MOMSTA.S[1], 0.5);
  EXPECT_EQ(MOMSTA.S[kMomMax], 0.5);
  EXPECT_NEAR(MOMSTA.d, d, 1e-14);
}

// Positive definiteness by the Cholesky factor, with the log-determinant
// where the determinant itself lies beyond the range of a double.
TEST(PositiveDefinite, LogDeterminantAtAnyScaleAndRefusals) {
  struct Case {
    const char* name;
    int n;
    double diag, off;  // diagonal elements, and (2k, 2k-1) elements
    bool pd;
    double logdet;  // closed form: n ln(diag) + (n/2) ln(1 - (off/diag)^2)
  };
  const Case cases[] = {
      {"3 x 3 identity", 3, 1.0, 0.0, true, 0.0},
      {"80 variances 1e4, det 1e320", 80, 1e4, 0.0, true, 80 * std::log(1e4)},
      {"80 variances 1e4 in correlated pairs", 80, 1e4, 5e3, true, 80 * std::log(1e4) + 40 * std::log(0.75)},
      {"80 variances 1e-5, det 1e-400", 80, 1e-5, 0.0, true, 80 * std::log(1e-5)},
      {"negative variances, det > 0", 2, -1.0, 0.0, false, 0.0},
      {"singular pair", 2, 1.0, 1.0, false, 0.0},
      {"pair with |r| > 1", 2, 1.0, 2.0, false, 0.0},
  };
  for (const Case& c : cases) {
    std::vector<double> a(static_cast<std::size_t>(packed_size(c.n)), 0.0), l(a.size());
    for (int i = 1; i <= c.n; ++i) {
      a[static_cast<std::size_t>(packed_offset(i, i))] = c.diag;
      if (i % 2 == 0) a[static_cast<std::size_t>(packed_offset(i, i - 1))] = c.off;
    }
    const std::vector<double> kept = a;
    double logdet = -7.0;
    EXPECT_EQ(positive_definite(v1(a), c.n, v1(l), logdet), c.pd) << c.name;
    EXPECT_EQ(a, kept) << c.name;
    if (c.pd) {
      EXPECT_NEAR(logdet, c.logdet, 1e-12 * std::max(1.0, std::fabs(c.logdet))) << c.name;
    } else {
      EXPECT_EQ(logdet, -7.0) << c.name;
    }
  }
}

}  // namespace
}  // namespace qv::jobbase
