// Householder QR kit: factorizations rebuilt as explicit products, and the
// reset of the Hessian factor.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "optim/qrkit.hpp"

namespace qv::optim {
namespace {

using Matrix = std::vector<double>;  // column-major

double at(const Matrix& a, int ld, int i, int j) { return a[static_cast<std::size_t>((i - 1) + (j - 1) * ld)]; }
double& at(Matrix& a, int ld, int i, int j) { return a[static_cast<std::size_t>((i - 1) + (j - 1) * ld)]; }

// The explicit Q of a factorized m x n matrix: Q I through HHAPPQ.
Matrix explicit_q(int m, int n, Matrix a, int lda, const std::vector<double>& zeta) {
  Matrix q(static_cast<std::size_t>(m * m), 0.0);
  for (int i = 1; i <= m; ++i) at(q, m, i, i) = 1.0;
  std::vector<double> work(static_cast<std::size_t>(m));
  int inform = -1;
  HHAPPQ("No transpose", "Separate", m, n, a, lda, zeta, m, q, m, work, inform);
  EXPECT_EQ(inform, 0);
  return q;
}

// The column order produced by the interchange record perm(1..n).
std::vector<int> column_order(const std::vector<int>& perm, int n) {
  std::vector<int> order(static_cast<std::size_t>(n));
  std::iota(order.begin(), order.end(), 1);
  for (int k = 1; k <= static_cast<int>(perm.size()) && k <= n; ++k)
    std::swap(order[static_cast<std::size_t>(k - 1)], order[static_cast<std::size_t>(perm[k - 1] - 1)]);
  return order;
}

// Checks Q'Q = I and Q R = A(:, order) for a factorized matrix.
void expect_reconstructs(int m, int n, const Matrix& a0, const Matrix& f, int lda, const std::vector<double>& zeta,
                         const std::vector<int>& order, double tol) {
  const Matrix q = explicit_q(m, n, f, lda, zeta);
  for (int i = 1; i <= m; ++i)
    for (int j = 1; j <= m; ++j) {
      double s = 0.0;
      for (int k = 1; k <= m; ++k) s += at(q, m, k, i) * at(q, m, k, j);
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, tol) << "Q'Q at " << i << "," << j;
    }
  for (int i = 1; i <= m; ++i)
    for (int j = 1; j <= n; ++j) {
      double s = 0.0;
      for (int k = 1; k <= std::min(j, m); ++k) s += at(q, m, i, k) * at(f, lda, k, j);
      EXPECT_NEAR(s, at(a0, m, i, order[static_cast<std::size_t>(j - 1)]), tol) << "QR at " << i << "," << j;
    }
}

struct QrCase {
  const char* name;
  int m, n;
  Matrix a;                     // m x n, column-major
  std::vector<int> pivots;      // column order of A P (empty: not checked)
  std::vector<double> absdiag;  // |diag R| with interchanges
  std::vector<double> absdiag_plain;  // |diag R| without interchanges (empty: not checked)
};

// References: R 4.x, qr(A, LAPACK = TRUE) (largest remaining column norm
// pivoting) for the pivots and |diag R| with interchanges, qr(A) for the
// plain factorization of the full-rank fixtures.
const std::vector<QrCase>& qr_cases() {
  static const std::vector<QrCase> cases = {
      {"square 3x3", 3, 3, {2, 1, 0, -1, 3, 1, 0, 1, 4}, {3, 2, 1},
       {4.12310562561766, 2.8491484796029, 2.21326697997275},
       {2.23606797749979, 3.286335345031, 3.53815185068681}},
      {"tall 5x3", 5, 3, {1, 2, 3, 4, 5, 2, -1, 0, 1, 3, -3, 1, 2, 0, 1}, {1, 3, 2},
       {7.41619848709566, 3.63067737231197, 2.05443171100244},
       {7.41619848709566, 2.90454189784958, 2.56803963875305}},
      {"rank-deficient 4x3 (col3 = col1 + col2)", 4, 3, {1, 2, 0, 1, 0, 1, 1, 3, 1, 3, 1, 4}, {3, 2, 1},
       {5.19615242270663, 1.23228183404549, 0.0}, {}},
      // Column 1's remaining norm after the first step (1e-9) is lost to
      // cancellation when downdated, so it is recomputed; the small third
      // column then comes before it.
      {"cancellation recomputes the norm", 3, 3, {1, 1e-9, 0, 1, 0, 0, 0, 0, 5e-9}, {1, 3, 2},
       {1, 5e-9, 1e-9}, {}},
      // Columns 1 and 2 both have norm 5: the first is kept.
      {"equal norms keep the first", 3, 3, {3, 4, 0, 0, 0, 5, 1, 0, 0}, {1, 2, 3}, {5, 5, 0.8}, {}},
  };
  return cases;
}

TEST(QrKit, FactorizationsRebuildTheMatrix) {
  for (const QrCase& c : qr_cases()) {
    SCOPED_TRACE(c.name);
    const int lda = c.m + 2;  // a leading dimension larger than m
    Matrix a(static_cast<std::size_t>(lda * c.n), -99.0);
    for (int j = 1; j <= c.n; ++j)
      for (int i = 1; i <= c.m; ++i) at(a, lda, i, j) = at(c.a, c.m, i, j);
    const double scale = std::abs(c.absdiag[0]);

    // With column interchanges.
    {
      Matrix f = a;
      std::vector<double> zeta(static_cast<std::size_t>(c.n), -1.0);
      std::vector<int> perm(static_cast<std::size_t>(c.n), 0);
      std::vector<double> work(static_cast<std::size_t>(2 * c.n));
      int inform = -1;
      QRFACT("Column interchanges", c.m, c.n, f, lda, zeta, perm, work, inform);
      ASSERT_EQ(inform, 0);
      const std::vector<int> order = column_order(perm, c.n);
      if (!c.pivots.empty()) { EXPECT_EQ(order, c.pivots); }
      for (int k = 1; k <= c.n; ++k)
        EXPECT_NEAR(std::abs(at(f, lda, k, k)), c.absdiag[static_cast<std::size_t>(k - 1)], 1e-13 * scale) << k;
      if (c.m == c.n) { EXPECT_EQ(zeta[static_cast<std::size_t>(c.m - 1)], 0.0); }
      expect_reconstructs(c.m, c.n, c.a, f, lda, zeta, order, 1e-13 * scale);
    }
    // Without interchanges.
    {
      Matrix f = a;
      std::vector<double> zeta(static_cast<std::size_t>(c.n), -1.0);
      int inform = -1;
      QRAPPQ(c.m, c.n, f, lda, zeta, inform);
      ASSERT_EQ(inform, 0);
      if (c.m == c.n) { EXPECT_EQ(zeta[static_cast<std::size_t>(c.m - 1)], 0.0); }
      std::vector<int> order(static_cast<std::size_t>(c.n));
      std::iota(order.begin(), order.end(), 1);
      expect_reconstructs(c.m, c.n, c.a, f, lda, zeta, order, 1e-13 * scale);
      for (std::size_t k = 0; k < c.absdiag_plain.size(); ++k)
        EXPECT_NEAR(std::abs(at(f, lda, static_cast<int>(k + 1), static_cast<int>(k + 1))), c.absdiag_plain[k],
                    1e-13 * scale);
      // Q' A = R: the reflectors applied to the original columns.
      Matrix b = c.a;
      std::vector<double> work(static_cast<std::size_t>(c.n));
      HHAPPQ("Transpose", "Separate", c.m, c.n, f, lda, zeta, c.n, b, c.m, work, inform);
      ASSERT_EQ(inform, 0);
      for (int j = 1; j <= c.n; ++j)
        for (int i = 1; i <= c.m; ++i)
          EXPECT_NEAR(at(b, c.m, i, j), i <= j ? at(f, lda, i, j) : 0.0, 1e-13 * scale) << i << "," << j;
    }
  }
}

TEST(QrKit, ZetaInTheDiagonal) {
  // The same reflectors with each zeta held in A(k, k) give the same Q B.
  const QrCase& c = qr_cases()[1];
  Matrix f = c.a;
  std::vector<double> zeta(3);
  int inform = -1;
  QRAPPQ(c.m, c.n, f, c.m, zeta, inform);
  Matrix g = f;
  for (int k = 1; k <= 3; ++k) at(g, c.m, k, k) = zeta[static_cast<std::size_t>(k - 1)];
  Matrix b1 = {1, 2, 3, 4, 5, -1, 0, 2, 0, 1};
  Matrix b2 = b1;
  std::vector<double> work(2);
  HHAPPQ("N", "Separate", 5, 3, f, 5, zeta, 2, b1, 5, work, inform);
  ASSERT_EQ(inform, 0);
  HHAPPQ(" ", "In place", 5, 3, g, 5, {}, 2, b2, 5, work, inform);
  ASSERT_EQ(inform, 0);
  for (std::size_t i = 0; i < b1.size(); ++i) EXPECT_DOUBLE_EQ(b1[i], b2[i]);
}

TEST(QrKit, InvalidArgumentsGiveInformOne) {
  Matrix a(16, 1.0);
  std::vector<double> zeta(4), work(8);
  std::vector<int> perm(4);
  Matrix b(16, 2.0);
  struct Bad {
    const char* what;
    std::function<int()> call;
  };
  const std::vector<Bad> bad = {
      {"QRAPPQ m < n", [&] { int i = 0; QRAPPQ(2, 3, a, 4, zeta, i); return i; }},
      {"QRAPPQ n < 0", [&] { int i = 0; QRAPPQ(2, -1, a, 4, zeta, i); return i; }},
      {"QRAPPQ lda < m", [&] { int i = 0; QRAPPQ(4, 2, a, 3, zeta, i); return i; }},
      {"QRFACT pivot letter", [&] { int i = 0; QRFACT("Xpivot", 3, 3, a, 4, zeta, perm, work, i); return i; }},
      {"QRFACT m < 0", [&] { int i = 0; QRFACT("C", -1, 3, a, 4, zeta, perm, work, i); return i; }},
      {"QRFACT n < 0", [&] { int i = 0; QRFACT("s", 3, -1, a, 4, zeta, perm, work, i); return i; }},
      {"QRFACT lda < m", [&] { int i = 0; QRFACT("c", 4, 2, a, 3, zeta, perm, work, i); return i; }},
      {"HHAPPQ trans letter", [&] { int i = 0; HHAPPQ("Q", "S", 3, 2, a, 4, zeta, 1, b, 4, work, i); return i; }},
      {"HHAPPQ wherez letter", [&] { int i = 0; HHAPPQ("T", "X", 3, 2, a, 4, zeta, 1, b, 4, work, i); return i; }},
      {"HHAPPQ m < n", [&] { int i = 0; HHAPPQ("T", "S", 2, 3, a, 4, zeta, 1, b, 4, work, i); return i; }},
      {"HHAPPQ n < 0", [&] { int i = 0; HHAPPQ("T", "S", 2, -1, a, 4, zeta, 1, b, 4, work, i); return i; }},
      {"HHAPPQ lda < m", [&] { int i = 0; HHAPPQ("C", "S", 4, 2, a, 3, zeta, 1, b, 4, work, i); return i; }},
      {"HHAPPQ ncolb < 0", [&] { int i = 0; HHAPPQ("N", "S", 3, 2, a, 4, zeta, -1, b, 4, work, i); return i; }},
      {"HHAPPQ ldb < m", [&] { int i = 0; HHAPPQ("N", "S", 4, 2, a, 4, zeta, 1, b, 3, work, i); return i; }},
  };
  const Matrix a0 = a, b0 = b;
  for (const Bad& c : bad) {
    EXPECT_EQ(c.call(), 1) << c.what;
    EXPECT_EQ(a, a0) << c.what;
    EXPECT_EQ(b, b0) << c.what;
  }
  int inform = -1;
  QRAPPQ(3, 0, a, 4, zeta, inform);
  EXPECT_EQ(inform, 0) << "n = 0 is success";
}

TEST(QrKit, PermivAppliesTheInterchangeRecord) {
  // perm = (3, 3, 3) moves the columns 1 2 3 to the order 3 1 2 (A P);
  // the transpose undoes it.
  Matrix b = {1, 10, 2, 20, 3, 30};  // 2 x 3
  const std::vector<int> perm = {3, 3, 3};
  PERMIV("Right", "Normal", 2, 3, perm, 2, b, 2);
  EXPECT_EQ(b, (Matrix{3, 30, 1, 10, 2, 20}));
  PERMIV("Right", "Transpose", 2, 3, perm, 2, b, 2);
  EXPECT_EQ(b, (Matrix{1, 10, 2, 20, 3, 30}));
}

struct PivtCase {
  const char* name;
  bool unitQ;
  int n, nZ;
  Matrix r;  // n x n, upper triangle used (ldR = n + 1 in the call)
  double rcndbd;
  Matrix r_expected;  // upper triangle, up to the sign of each row
  std::vector<int> kx_expected;
  std::vector<double> gq_expected;
  std::vector<int> zy_columns;  // column order of Z after the call (not unitQ)
  double rfrobn;
};

// Closed forms: nZ = 0 gives the identity; a diagonal block whose third
// element is below 1/rcndbd of the first is cut to rank 2 with diagonal
// |R(1,1)|/rcndbd, and the range space gets 0.5 sqrt(|R(1,1) R(2,2)|); the
// 2 x 2 block ((1 3),(0 4)) pivots its second column first: QR of
// ((3 1),(4 0)) has |R| = ((5 3/5),(0 4/5)), and rdiagm = 0.5 sqrt(5 * 4/5) = 1.
const std::vector<PivtCase>& pivt_cases() {
  static const std::vector<PivtCase> cases = {
      {"nZ = 0: the identity", true, 3, 0, {2, 0, 0, 1, 3, 0, 4, 5, 6}, 1e4, {1, 0, 0, 0, 1, 0, 0, 0, 1},
       {1, 2, 3}, {10, 20, 30}, {}, std::sqrt(3.0)},
      {"rank truncated", true, 4, 3, {4, 0, 0, 0, 1, 2, 0, 0, 0, 0, 1e-9, 0, 5, 6, 7, 9}, 1e4,
       {4, 0, 0, 0, 1, 2, 0, 0, 0, 0, 4e-4, 0, 0, 0, 0, std::sqrt(2.0)}, {1, 2, 3, 4}, {10, 20, 30, 40}, {},
       std::sqrt(16 + 1 + 4 + 1.6e-7 + 2)},
      {"pivoted, unit Q", true, 3, 2, {1, 0, 0, 3, 4, 0, 7, 8, 9}, 1e4, {5, 0, 0, 0.6, 0.8, 0, 0, 0, 1},
       {2, 1, 3}, {20, 10, 30}, {}, std::sqrt(27.0)},
      {"pivoted, explicit Q", false, 3, 2, {1, 0, 0, 3, 4, 0, 7, 8, 9}, 1e4, {5, 0, 0, 0.6, 0.8, 0, 0, 0, 1},
       {1, 2, 3}, {20, 10, 30}, {2, 1, 3}, std::sqrt(27.0)},
  };
  return cases;
}

TEST(QrKit, QrpivtResetsTheHessianFactor) {
  for (const PivtCase& c : pivt_cases()) {
    SCOPED_TRACE(c.name);
    const int n = c.n;
    const int ldR = n + 1;
    Matrix r(static_cast<std::size_t>(ldR * n), 0.0);
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i) at(r, ldR, i, j) = i <= j ? at(c.r, n, i, j) : 55.0;  // junk below
    std::vector<int> kx(static_cast<std::size_t>(n));
    std::iota(kx.begin(), kx.end(), 1);
    std::vector<double> gq(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) gq[static_cast<std::size_t>(i)] = 10.0 * (i + 1);
    Matrix zy(static_cast<std::size_t>(n * n));
    for (std::size_t i = 0; i < zy.size(); ++i) zy[i] = static_cast<double>(i + 1);
    const Matrix zy0 = zy;
    std::vector<int> perm(static_cast<std::size_t>(n));
    std::vector<double> work(static_cast<std::size_t>(n)), qrwork(static_cast<std::size_t>(2 * n));
    double rfrobn = -1.0;
    QRPIVT(c.unitQ, n, n, c.nZ, n, ldR, perm, kx, gq, r, zy, work, qrwork, c.rcndbd, rfrobn);

    for (int i = 1; i <= n; ++i) {
      const double sign = at(r, ldR, i, i) < 0 ? -1.0 : 1.0;
      for (int j = i; j <= n; ++j)
        EXPECT_NEAR(sign * at(r, ldR, i, j), at(c.r_expected, n, i, j), 1e-14) << i << "," << j;
    }
    EXPECT_EQ(kx, c.kx_expected);
    EXPECT_EQ(gq, c.gq_expected);
    if (!c.zy_columns.empty()) {
      for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i)
          EXPECT_EQ(at(zy, n, i, j), at(zy0, n, i, c.zy_columns[static_cast<std::size_t>(j - 1)]));
    } else {
      EXPECT_EQ(zy, zy0);
    }
    EXPECT_NEAR(rfrobn, c.rfrobn, 1e-14 * c.rfrobn);
  }
}

}  // namespace
}  // namespace qv::optim
