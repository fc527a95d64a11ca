#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim_alt/qrfact.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::soft_report;
using numlib::test::UnitCapture;
using Matrix = std::vector<double>;  // column-major, leading dimension m

// Q R rebuilt from a factorised m x n matrix: [R; 0] with the reflectors
// applied from the last to the first.
Matrix rebuild(const Matrix& f, const std::vector<double>& zeta, int m, int n) {
  Matrix b(static_cast<std::size_t>(m * n), 0.0);
  auto at = [m](const Matrix& x, int i, int j) { return x[static_cast<std::size_t>((i - 1) + (j - 1) * m)]; };
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= std::min(j, m); ++i) b[static_cast<std::size_t>((i - 1) + (j - 1) * m)] = at(f, i, j);
  for (int k = std::min(m, n); k >= 1; --k) {
    const double z = zeta[static_cast<std::size_t>(k - 1)];
    if (z == 0.0) continue;
    std::vector<double> u(static_cast<std::size_t>(m), 0.0);
    u[static_cast<std::size_t>(k - 1)] = z;
    for (int i = k + 1; i <= m; ++i) u[static_cast<std::size_t>(i - 1)] = at(f, i, k);
    for (int j = 1; j <= n; ++j) {
      double w = 0.0;
      for (int i = k; i <= m; ++i) w += u[static_cast<std::size_t>(i - 1)] * at(b, i, j);
      for (int i = k; i <= m; ++i) b[static_cast<std::size_t>((i - 1) + (j - 1) * m)] -= w * u[static_cast<std::size_t>(i - 1)];
    }
  }
  return b;
}

// A with the interchanges perm(1..min(m, n)) applied to its columns in order.
Matrix permuted(Matrix a, const std::vector<int>& perm, int m) {
  const std::size_t steps = std::min(perm.size(), static_cast<std::size_t>(m));
  for (std::size_t k = 0; k < steps; ++k) {
    const int p = perm[k];
    for (int i = 0; i < m; ++i)
      std::swap(a[k * static_cast<std::size_t>(m) + static_cast<std::size_t>(i)],
                a[static_cast<std::size_t>((p - 1) * m + i)]);
  }
  return a;
}

void expect_near_all(const Matrix& got, const Matrix& want, double tol, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tol) << what << " element " << i;
}

// |R(i, j)| for i <= j against a reference's upper triangle (rows may differ in sign).
void expect_abs_r(const Matrix& f, int m, int n, const Matrix& ref, double tol, const std::string& what) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= std::min(j, m); ++i)
      EXPECT_NEAR(std::abs(f[static_cast<std::size_t>((i - 1) + (j - 1) * m)]),
                  std::abs(ref[static_cast<std::size_t>((i - 1) + (j - 1) * std::min(m, n))]), tol)
          << what << " R(" << i << "," << j << ")";
}

const Matrix kA53 = {1, 2, 3, 4, 5, 2, 0, 1, 7, 1, 9, 1, 1, 0, 2};  // 5 x 3
const Matrix kB33 = {2, 1, 1, 1, 3, 2, 1, 0, 0};                    // 3 x 3
const Matrix kC43 = {1, 2, 0, 1, 0, 1, 1, 3, 1, 4, 2, 7};           // 4 x 3, column 3 = 1 + 2 x column 2

TEST(F01QCF, RebuildsTheMatrixAndMatchesAnIndependentR) {
  struct Case {
    const char* name;
    Matrix a;
    int m, n;
    Matrix r;  // reference R (min(m,n) x n, column-major); R 4.x qr(A, LAPACK = FALSE)
  };
  const std::vector<Case> cases = {
      {"5x3", kA53, 5, 3,
       {-7.416198487095663, 0, 0, -5.1239189547206401, 5.3614787648049624, 0, -3.2361593398235602,
        0.82406030350892401, 8.7090870556823301}},
      {"3x3", kB33, 3, 3,
       {-2.4494897427831779, 0, 0, -2.8577380332470423, -2.4152294576982389, 0, -0.81649658092772626,
        0.55205244747388349, -0.1690308509457033}},
      // Hand-worked: a1 = (3, 4), a2 = (1, 2): R(1,1) = -5, R(1,2) = -11/5, R(2,2) = det/5 = 0.4.
      {"2x2 by hand", {3, 4, 1, 2}, 2, 2, {-5, 0, -2.2, 0.4}},
  };
  for (const auto& c : cases) {
    Matrix f = c.a;
    std::vector<double> zeta(static_cast<std::size_t>(c.n), -7.0);
    int ifail = 0;
    F01QCF(c.m, c.n, f, c.m, zeta, ifail);
    EXPECT_EQ(ifail, 0) << c.name;
    expect_near_all(rebuild(f, zeta, c.m, c.n), c.a, 1e-13, c.name);
    expect_abs_r(f, c.m, c.n, c.r, 1e-13, c.name);
    if (c.m == c.n) {
      EXPECT_EQ(zeta[static_cast<std::size_t>(c.n - 1)], 0.0) << c.name;
    }
  }
  // The hand-worked case's signs as well: the reflector gives R(1,1) = -5.
  Matrix f = {3, 4, 1, 2};
  std::vector<double> zeta(2);
  int ifail = 0;
  F01QCF(2, 2, f, 2, zeta, ifail);
  EXPECT_NEAR(f[0], -5.0, 1e-15);
  EXPECT_NEAR(f[2], -2.2, 1e-15);
  EXPECT_NEAR(f[3], 0.4, 1e-15);
}

TEST(F01QCF, NoColumnsSucceedsAtOnce) {
  Matrix f = {1.0};
  std::vector<double> zeta(1, 5.0);
  int ifail = -1;
  F01QCF(1, 0, f, 1, zeta, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(zeta[0], 5.0);
}

TEST(F01QCF, InvalidParametersAreReportedAndReturnMinusOne) {
  UnitCapture cap;
  Matrix f(6, 1.0);
  std::vector<double> zeta(3);
  int ifail = -1;
  F01QCF(2, 3, f, 1, zeta, ifail);
  EXPECT_EQ(ifail, -1);
  EXPECT_EQ(cap.lines(), soft_report({" ", " *****  Parameter  M  is invalid in routine  F01QCF  *****",
                                      "        Value supplied is      2", " ",
                                      " *****  Parameter  LDA  is invalid in routine  F01QCF  *****",
                                      "        Value supplied is      1",
                                      "    The input parameters contained  2 error(s)"},
                                     "F01QCF", -1));
  EXPECT_EQ(f, Matrix(6, 1.0));
}

TEST(F01QCFDeathTest, HardFailureStops) {
  UnitCapture cap;
  Matrix f(6, 1.0);
  std::vector<double> zeta(3);
  int ifail = 0;
  EXPECT_EXIT(F01QCF(3, -1, f, 3, zeta, ifail), testing::ExitedWithCode(1), "");
}

TEST(F01QFF, PivotsAndRebuildsAPAgainstIndependentR) {
  struct Case {
    const char* name;
    const char* pivot;
    Matrix a;
    int m, n;
    std::vector<int> perm;  // expected interchanges
    Matrix r;               // R 4.x qr(A, LAPACK = TRUE) (column pivoting by norm)
    double tol;
  };
  const std::vector<Case> cases = {
      {"5x3", "C", kA53, 5, 3, {3, 2, 3},
       {-9.3273790530888157, 0, 0, -2.2514363231593695, 7.0661895306281313, 0, -2.5730700836107077,
        4.5578874458609651, -5.2540434310814943},
       1e-13},
      {"3x3", "c", kB33, 3, 3, {2, 2, 3},
       {-3.7416573867739413, 0, 0, -1.87082869338697, 1.5811388300841893, 0, -0.26726124191242429,
        0.94868329805051388, -0.1690308509457033},
       1e-13},
      // Rank 2: the last diagonal vanishes to rounding.
      {"rank-deficient 4x3", "C", kC43, 4, 3, {3, 3, 3},
       {-8.3666002653407556, 0, 0, -1.9123657749350298, -1.530639455540443, 0, -3.2271172452028631,
        0.76531972777022106, 0},
       1e-13},
  };
  for (const auto& c : cases) {
    Matrix f = c.a;
    std::vector<double> zeta(static_cast<std::size_t>(c.n));
    std::vector<int> perm(static_cast<std::size_t>(c.n));
    std::vector<double> work(static_cast<std::size_t>(2 * c.n));
    int ifail = 0;
    F01QFF(c.pivot, c.m, c.n, f, c.m, zeta, perm, work, ifail);
    EXPECT_EQ(ifail, 0) << c.name;
    EXPECT_EQ(perm, c.perm) << c.name;
    expect_near_all(rebuild(f, zeta, c.m, c.n), permuted(c.a, perm, c.m), 1e-13, c.name);
    expect_abs_r(f, c.m, c.n, c.r, c.tol, c.name);
  }
}

TEST(F01QFF, EqualLargestNormsPickTheFirstColumn) {
  // Columns 2 and 3 have the same norm 5, column 1 norm 1.
  Matrix a = {1, 0, 0, 3, 4, 0, 0, 4, 3};
  Matrix f = a;
  std::vector<double> zeta(3), work(6);
  std::vector<int> perm(3);
  int ifail = 0;
  F01QFF("C", 3, 3, f, 3, zeta, perm, work, ifail);
  EXPECT_EQ(perm[0], 2);
  expect_near_all(rebuild(f, zeta, 3, 3), permuted(a, perm, 3), 1e-14, "ties");
}

TEST(F01QFF, ScaledPivotingKeepsColumnOneUnlessItIsZero) {
  struct Case {
    const char* name;
    Matrix a;
    int first;  // expected PERM(1)
  };
  const std::vector<Case> cases = {
      {"small column 1 kept", {1e-3, 0, 0, 3, 4, 0, 0, 4, 30}, 1},
      {"zero column 1 passed over", {0, 0, 0, 3, 4, 0, 0, 4, 30}, 2},
  };
  for (const auto& c : cases) {
    Matrix f = c.a;
    std::vector<double> zeta(3), work(6);
    std::vector<int> perm(3);
    int ifail = 0;
    F01QFF("s", 3, 3, f, 3, zeta, perm, work, ifail);
    EXPECT_EQ(ifail, 0) << c.name;
    EXPECT_EQ(perm[0], c.first) << c.name;
    expect_near_all(rebuild(f, zeta, 3, 3), permuted(c.a, perm, 3), 1e-13, c.name);
  }
}

TEST(F01QFF, ACancelledNormDowndateIsRecomputed) {
  // a2 = a1/2 + 1e-9 e3 loses all but 1e-9 of its norm at step 1; the
  // downdate cancels to 0, so the norm is recomputed and a2 (1e-9) beats
  // a3 (1e-10) at step 2.  Without the recomputation a3 would be taken.
  Matrix a = {6, 8, 0, 0, 3, 4, 1e-9, 0, 0, 0, 0, 1e-10};
  Matrix f = a;
  std::vector<double> zeta(3), work(6);
  std::vector<int> perm(3);
  int ifail = 0;
  F01QFF("C", 4, 3, f, 4, zeta, perm, work, ifail);
  EXPECT_EQ(perm, (std::vector<int>{1, 2, 3}));
  EXPECT_NEAR(std::abs(f[5]), 1e-9, 1e-15);  // |R(2,2)|
  EXPECT_NEAR(std::abs(f[10]), 1e-10, 1e-15);  // |R(3,3)|
}

TEST(F01QFF, WideAndEmptyMatrices) {
  // 2 x 3: the last step has no reflector and ZETA(M) = 0.
  Matrix a = {1, 2, 3, 4, 5, 6};
  Matrix f = a;
  std::vector<double> zeta(3, -1.0), work(6);
  std::vector<int> perm(3);
  int ifail = 0;
  F01QFF("C", 2, 3, f, 2, zeta, perm, work, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(zeta[1], 0.0);
  expect_near_all(rebuild(f, zeta, 2, 3), permuted(a, perm, 2), 1e-13, "2x3");
  ifail = 0;
  F01QFF("C", 0, 3, f, 1, zeta, perm, work, ifail);
  EXPECT_EQ(ifail, 0);
}

TEST(F01QFF, InvalidPivotAndSizesAreReported) {
  UnitCapture cap;
  Matrix f(4);
  std::vector<double> zeta(2), work(4);
  std::vector<int> perm(2);
  int ifail = -1;
  F01QFF("x", -1, 2, f, 1, zeta, perm, work, ifail);
  EXPECT_EQ(ifail, -1);
  EXPECT_EQ(cap.lines(), soft_report({" ", " *****  Parameter  PIVOT  is invalid in routine  F01QFF  *****",
                                      "        Value supplied is", "        x", " ",
                                      " *****  Parameter  M  is invalid in routine  F01QFF  *****",
                                      "        Value supplied is     -1",
                                      "    The input parameters contained  2 error(s)"},
                                     "F01QFF", -1));
}

TEST(F01QFF, SilentSoftFailureWritesNothing) {
  UnitCapture cap;
  Matrix f(4);
  std::vector<double> zeta(2), work(4);
  std::vector<int> perm(2);
  int ifail = 1;
  F01QFF("C", 2, -2, f, 2, zeta, perm, work, ifail);
  EXPECT_EQ(ifail, -1);
  EXPECT_TRUE(cap.lines().empty());
}

}  // namespace
}  // namespace qv::optim_alt
