// Products with the working-set factors, the rank-one modification and the
// column interchange of R, and solves with the reverse-triangular T, each
// checked against the explicit matrix product.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "optim/facutil.hpp"

namespace qv::optim {
namespace {

using Matrix = std::vector<double>;  // column-major

double& at(Matrix& a, int ld, int i, int j) { return a[static_cast<std::size_t>((i - 1) + (j - 1) * ld)]; }
double at(const Matrix& a, int ld, int i, int j) { return a[static_cast<std::size_t>((i - 1) + (j - 1) * ld)]; }

constexpr double kLower = 777.0;  // marks the strictly lower triangle, which must stay untouched

// An n x n upper-triangular R (leading dimension ld) with the lower
// triangle marked.
Matrix upper(int n, int ld, int nrank) {
  Matrix r(static_cast<std::size_t>(ld * n), 0.0);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= ld; ++i) {
      if (i > j && i <= n)
        at(r, ld, i, j) = kLower;
      else if (i <= std::min(j, nrank))
        at(r, ld, i, j) = (i == j ? 2.0 + i : 0.3 * i - 0.7 * j + 1.1 * std::sin(i * j));
    }
  return r;
}

// A'B over the upper triangles of A and B (n columns, rows 1..nrows).
Matrix gram(const Matrix& a, int lda, const Matrix& b, int ldb, int nrows, int n, bool a_upper, bool b_upper) {
  Matrix g(static_cast<std::size_t>(n * n), 0.0);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      double s = 0.0;
      for (int k = 1; k <= nrows; ++k) {
        const double x = (a_upper && k > i) ? 0.0 : at(a, lda, k, i);
        const double y = (b_upper && k > j) ? 0.0 : at(b, ldb, k, j);
        s += x * y;
      }
      at(g, n, i, j) = s;
    }
  return g;
}

void expect_lower_untouched(const Matrix& r, int ld, int n) {
  for (int j = 1; j <= n; ++j)
    for (int i = j + 1; i <= n; ++i) EXPECT_EQ(at(r, ld, i, j), kLower) << i << "," << j;
}

struct R1Case {
  const char* name;
  int n, nrank, lenv, lenw, nU;
};

TEST(FactorUpdates, R1modKeepsTheProductOfTheModifiedFactor) {
  // Closed form: with R1 = Q'(R + v w'), R1'R1 = (R + v w')'(R + v w') and
  // U1'R1 = U'(R + v w'), v cut to its first min(lenv, nrank) elements and
  // w to lenw.
  const R1Case cases[] = {
      {"full rank", 5, 5, 5, 5, 2},
      {"rank 3 of 5", 5, 3, 5, 5, 1},
      {"short v and w", 6, 6, 4, 3, 0},
      {"one element", 4, 4, 1, 4, 1},
  };
  for (const R1Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = c.n, ldR = n + 1;
    Matrix r = upper(n, ldR, c.nrank);
    const Matrix r0 = r;
    std::vector<double> v(static_cast<std::size_t>(n)), w(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      v[static_cast<std::size_t>(i)] = 0.5 - 0.25 * i + 0.1 * i * i;
      w[static_cast<std::size_t>(i)] = 1.0 - 0.4 * i;
    }
    // The modified matrix M = R + v w' in the product's terms.
    const int j = std::min(c.lenv, c.nrank);
    Matrix m(static_cast<std::size_t>(n * n), 0.0);
    for (int col = 1; col <= n; ++col)
      for (int row = 1; row <= n; ++row) {
        double x = row <= col ? at(r0, ldR, row, col) : 0.0;
        if (row <= j && col <= c.lenw) x += v[static_cast<std::size_t>(row - 1)] * w[static_cast<std::size_t>(col - 1)];
        at(m, n, row, col) = x;
      }
    Matrix u(static_cast<std::size_t>(n * std::max(c.nU, 1)), 0.0);
    for (int k = 1; k <= c.nU; ++k)
      for (int i = 1; i <= n; ++i) at(u, n, i, k) = 1.0 / (i + k);
    const Matrix u0 = u;
    std::vector<double> cs(static_cast<std::size_t>(n)), sn(static_cast<std::size_t>(n));
    R1MOD(n, c.nU, c.nrank, ldR, c.lenv, c.lenw, r, u, v, w, cs, sn);

    expect_lower_untouched(r, ldR, n);
    const Matrix want = gram(m, n, m, n, n, n, false, false);
    const Matrix got = gram(r, ldR, r, ldR, n, n, true, true);
    for (std::size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(got[k], want[k], 1e-12 * (1 + std::abs(want[k]))) << k;
    if (c.nU > 0) {
      const Matrix want_u = gram(u0, n, m, n, n, c.nU, false, false);
      for (int a = 1; a <= c.nU; ++a)
        for (int b = 1; b <= n; ++b) {
          double s = 0.0;
          for (int k = 1; k <= b; ++k) s += at(u, n, k, a) * at(r, ldR, k, b);
          double t = 0.0;
          for (int k = 1; k <= n; ++k) t += at(u0, n, k, a) * at(m, n, k, b);
          EXPECT_NEAR(s, t, 1e-12 * (1 + std::abs(t))) << a << "," << b;
        }
      (void)want_u;
    }
  }
}

TEST(FactorUpdates, FacmovInterchangesColumnsAndKeepsTheTriangle) {
  // Closed form: R1 = Q' R P with P the interchange of columns i and j, so
  // R1'R1 = P'R'R P and U1'R1 = U'R P.
  struct Case {
    int n, nrank, i, j, nU;
  };
  const Case cases[] = {{5, 5, 2, 4, 2}, {5, 5, 1, 5, 1}, {5, 3, 2, 5, 1}, {4, 4, 3, 4, 0}, {5, 2, 2, 4, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "n " << c.n << " nrank " << c.nrank << " i " << c.i << " j " << c.j);
    const int n = c.n, ldR = n;
    Matrix r = upper(n, ldR, c.nrank);
    Matrix rp(static_cast<std::size_t>(n * n), 0.0);  // R P, full
    for (int col = 1; col <= n; ++col) {
      const int src = col == c.i ? c.j : col == c.j ? c.i : col;
      for (int row = 1; row <= n; ++row) at(rp, n, row, col) = row <= src ? at(r, ldR, row, src) : 0.0;
    }
    Matrix u(static_cast<std::size_t>(n * std::max(c.nU, 1)), 0.0);
    for (int k = 1; k <= c.nU; ++k)
      for (int i = 1; i <= n; ++i) at(u, n, i, k) = 0.5 * i - k;
    const Matrix u0 = u;
    std::vector<double> cs(static_cast<std::size_t>(n)), sn(static_cast<std::size_t>(n));
    FACMOV(n, c.nU, c.nrank, ldR, c.i, c.j, r, u, cs, sn);
    expect_lower_untouched(r, ldR, n);
    const Matrix want = gram(rp, n, rp, n, n, n, false, false);
    const Matrix got = gram(r, ldR, r, ldR, n, n, true, true);
    for (std::size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(got[k], want[k], 1e-12 * (1 + std::abs(want[k]))) << k;
    for (int a = 1; a <= c.nU; ++a)
      for (int b = 1; b <= n; ++b) {
        double s = 0.0, t = 0.0;
        for (int k = 1; k <= b; ++k) s += at(u, n, k, a) * at(r, ldR, k, b);
        for (int k = 1; k <= n; ++k) t += at(u0, n, k, a) * at(rp, n, k, b);
        EXPECT_NEAR(s, t, 1e-12 * (1 + std::abs(t))) << a << "," << b;
      }
  }
}

TEST(FactorUpdates, FacmulEachModeAgainstTheExplicitProduct) {
  // n = 5 with nfree = 4 free variables (kx order 3 1 5 2 | 4), nZ = 2.
  // The reference maps v through the permutation matrix and the explicit
  // block diag(Q, I) directly.
  const int n = 5, nfree = 4, nZ = 2, ldQ = 6;
  const std::vector<int> kx = {3, 1, 5, 2, 4};
  Matrix q(static_cast<std::size_t>(ldQ * nfree), 0.0);
  for (int j = 1; j <= nfree; ++j)
    for (int i = 1; i <= nfree; ++i) at(q, ldQ, i, j) = 0.1 * i + 0.37 * j * j - 0.2 * i * j;
  const std::vector<double> vin = {1.5, -2.0, 0.25, 3.0, -1.0};
  const double kUntouched = -55.0;

  for (const bool unitQ : {false, true}) {
    auto Q = [&](int i, int j) { return unitQ ? (i == j ? 1.0 : 0.0) : at(q, ldQ, i, j); };
    for (int mode = 1; mode <= 8; ++mode) {
      SCOPED_TRACE(::testing::Message() << "mode " << mode << (unitQ ? " unit Q" : " explicit Q"));
      int j1 = 1, j2 = nfree;
      if (mode == 1 || mode == 4) j2 = nZ;
      if (mode == 2 || mode == 5 || mode == 7) j1 = nZ + 1;
      std::vector<double> want(static_cast<std::size_t>(n), kUntouched);
      std::vector<double> v = vin;
      if (mode <= 3) {
        // Input in kx order; output full: v_out(kx(k)) = (Q(:, j1..j2) v(j1..j2))(k), fixed carried for 2, 3.
        std::vector<double> full(static_cast<std::size_t>(n), 0.0);
        for (int k = 1; k <= nfree; ++k) {
          double s = 0.0;
          for (int l = j1; l <= j2; ++l) s += Q(k, l) * vin[static_cast<std::size_t>(l - 1)];
          full[static_cast<std::size_t>(kx[static_cast<std::size_t>(k - 1)] - 1)] = s;
        }
        for (int k = nfree + 1; k <= n; ++k)
          full[static_cast<std::size_t>(kx[static_cast<std::size_t>(k - 1)] - 1)] =
              mode == 1 ? 0.0 : vin[static_cast<std::size_t>(k - 1)];
        want = full;
      } else {
        // Input full; output in kx order: v_out(l) = (Q(:, l)' P'v) for l in j1..j2.
        for (int k = 1; k <= n; ++k) want[static_cast<std::size_t>(k - 1)] = vin[static_cast<std::size_t>(k - 1)];
        for (int l = j1; l <= j2; ++l) {
          double s = 0.0;
          for (int k = 1; k <= nfree; ++k) s += Q(k, l) * vin[static_cast<std::size_t>(kx[static_cast<std::size_t>(k - 1)] - 1)];
          want[static_cast<std::size_t>(l - 1)] = s;
        }
        if (mode == 5 || mode == 6)
          for (int k = nfree + 1; k <= n; ++k)
            want[static_cast<std::size_t>(k - 1)] = vin[static_cast<std::size_t>(kx[static_cast<std::size_t>(k - 1)] - 1)];
      }
      std::vector<double> w(static_cast<std::size_t>(n));
      FACMUL(mode, n, nZ, nfree, ldQ, unitQ, kx, v, unitQ ? std::span<const double>() : std::span<const double>(q),
             w);
      for (int k = 0; k < n; ++k) EXPECT_NEAR(v[static_cast<std::size_t>(k)], want[static_cast<std::size_t>(k)], 1e-14) << k + 1;
    }
  }
}

TEST(FactorUpdates, FacsolSolvesWithTAndItsTranspose) {
  // A 4 x 4 reverse-triangular T stored at column 3 of a 6-row array
  // (row i has its pivot in column 5 - i and elements to the right of it).
  const int n = 4, ldT = 6;
  Matrix store(static_cast<std::size_t>(ldT * (n + 2)), 99.0);
  auto T = [&](int i, int j) -> double& { return at(store, ldT, i, j + 2); };
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) T(i, j) = j >= n + 1 - i ? (j == n + 1 - i ? 2.0 + i : 0.5 * i - 0.3 * j) : 0.0;
  const std::vector<double> y = {1.0, -2.0, 0.5, 4.0};
  const std::span<const double> t = std::span<const double>(store).subspan(static_cast<std::size_t>(2 * ldT));
  for (const int mode : {1, 2}) {
    SCOPED_TRACE(mode == 1 ? "T w = y" : "T' w = y");
    std::vector<double> w = y;
    FACSOL(mode, ldT, n, t, w);
    for (int i = 1; i <= n; ++i) {
      double s = 0.0;
      for (int j = 1; j <= n; ++j) s += (mode == 1 ? T(i, j) : T(j, i)) * w[static_cast<std::size_t>(j - 1)];
      EXPECT_NEAR(s, y[static_cast<std::size_t>(i - 1)], 1e-14) << i;
    }
  }
}

}  // namespace
}  // namespace qv::optim
