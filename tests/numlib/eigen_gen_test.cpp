// Eigenvalues and eigenvectors of non-symmetric matrices against known cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "capture.hpp"
#include "numlib/eigen_gen.hpp"
#include "numlib/machconst.hpp"

namespace qv::numlib {
namespace {

using cplx = std::complex<double>;

// Column-major n x n from rows.
std::vector<double> from_rows(const std::vector<std::vector<double>>& rows) {
  const std::size_t n = rows.size();
  std::vector<double> a(n * n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) a[i + j * n] = rows[i][j];
  return a;
}

// MATBAL (base 2) of the matrix given by its rows.  d starts at -1 and the
// limits at -5, so that what MATBAL leaves unset shows.
struct Balanced {
  std::vector<double> a, d;
  int low = -5, high = -5;
};

Balanced balance(const std::vector<std::vector<double>>& rows) {
  const int n = static_cast<int>(rows.size());
  Balanced b{from_rows(rows), std::vector<double>(rows.size(), -1.0)};
  MATBAL(n, 2.0, b.a, n, b.low, b.high, b.d);
  return b;
}

struct Eig {
  std::vector<double> rr, ri, vr, vi;
  std::vector<int> cnt;
  int ifail = -9;
};

Eig values(std::vector<double> a, int n) {
  Eig e;
  e.rr.assign(n, 0);
  e.ri.assign(n, 0);
  e.cnt.assign(n, -99);
  e.ifail = 1;
  F02AFF(a, n, n, e.rr, e.ri, e.cnt, e.ifail);
  return e;
}

Eig vectors(std::vector<double> a, int n) {
  Eig e;
  e.rr.assign(n, 0);
  e.ri.assign(n, 0);
  e.vr.assign(n * n, 0);
  e.vi.assign(n * n, 0);
  e.cnt.assign(n, -99);
  e.ifail = 1;
  F02AGF(a, n, n, e.rr, e.ri, e.vr, n, e.vi, n, e.cnt, e.ifail);
  return e;
}

// Sorted eigenvalues for comparison with a known list.
std::vector<cplx> sorted(const Eig& e) {
  std::vector<cplx> v;
  for (std::size_t i = 0; i < e.rr.size(); ++i) v.emplace_back(e.rr[i], e.ri[i]);
  std::sort(v.begin(), v.end(), [](cplx a, cplx b) { return a.real() != b.real() ? a.real() < b.real() : a.imag() < b.imag(); });
  return v;
}

void expect_values(const Eig& e, std::vector<cplx> want, double tol) {
  std::sort(want.begin(), want.end(), [](cplx a, cplx b) { return a.real() != b.real() ? a.real() < b.real() : a.imag() < b.imag(); });
  const std::vector<cplx> got = sorted(e);
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_LE(std::abs(got[i] - want[i]), tol) << got[i] << " vs " << want[i];
}

// Pairs stand in consecutive places, the positive imaginary part first.
void expect_pair_layout(const Eig& e) {
  const std::size_t n = e.rr.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (e.ri[i] > 0) {
      ASSERT_LT(i + 1, n);
      EXPECT_EQ(e.rr[i + 1], e.rr[i]);
      EXPECT_EQ(e.ri[i + 1], -e.ri[i]);
      EXPECT_EQ(e.cnt[i + 1], -e.cnt[i]);
      ++i;
    } else {
      EXPECT_EQ(e.ri[i], 0.0) << i;
    }
  }
}

// A v = lambda v, |v| = 1, the first component of largest modulus real and positive.
void expect_vectors(const std::vector<double>& a, int n, const Eig& e, double tol) {
  for (int j = 0; j < n; ++j) {
    const cplx lam(e.rr[j], e.ri[j]);
    std::vector<cplx> v(n);
    double len = 0.0;
    for (int k = 0; k < n; ++k) {
      v[k] = cplx(e.vr[k + j * n], e.vi[k + j * n]);
      len += std::norm(v[k]);
    }
    EXPECT_NEAR(len, 1.0, 1e-14) << j;
    // Among the components of largest modulus (equal up to rounding) one is
    // real and positive.
    double vmax = 0.0;
    for (int k = 0; k < n; ++k) vmax = std::max(vmax, std::abs(v[k]));
    bool real_positive = false;
    for (int k = 0; k < n; ++k)
      if (std::abs(v[k]) >= vmax * (1 - 1e-12) && v[k].imag() == 0.0 && v[k].real() > 0.0) real_positive = true;
    EXPECT_TRUE(real_positive) << j;
    double scale = 0.0;
    for (int i = 0; i < n * n; ++i) scale = std::max(scale, std::abs(a[i]));
    for (int i = 0; i < n; ++i) {
      cplx av = 0.0;
      for (int k = 0; k < n; ++k) av += a[i + k * n] * v[k];
      EXPECT_LT(std::abs(av - lam * v[i]), tol * std::max(1.0, scale)) << "vector " << j << " row " << i;
    }
  }
}

TEST(GeneralEigen, ComplexHelpers) {
  EXPECT_EQ(CMODUL(3.0, -4.0), 5.0);
  EXPECT_EQ(CMODUL(0.0, -2.5), 2.5);
  EXPECT_EQ(CMODUL(0.0, 0.0), 0.0);
  EXPECT_DOUBLE_EQ(CMODUL(1e200, 1e200), std::sqrt(2.0) * 1e200);  // no overflow
  double e = 0, f = 0;
  CDIVID(1, 2, 3, 4, e, f);  // (1 + 2i)/(3 + 4i) = (11 + 2i)/25
  EXPECT_DOUBLE_EQ(e, 11.0 / 25);
  EXPECT_DOUBLE_EQ(f, 2.0 / 25);
  CDIVID(1, 2, 4, 3, e, f);  // (1 + 2i)/(4 + 3i) = (10 + 5i)/25
  EXPECT_DOUBLE_EQ(e, 10.0 / 25);
  EXPECT_DOUBLE_EQ(f, 5.0 / 25);
}

TEST(GeneralEigen, TriangularMatrixIsSplitByBalancing) {
  for (bool upper : {true, false}) {
    std::vector<std::vector<double>> rows = {{4, 1, -2, 3}, {0, -1, 5, 2}, {0, 0, 2.5, 7}, {0, 0, 0, 9}};
    if (!upper)
      for (int i = 0; i < 4; ++i)
        for (int j = 0; j < i; ++j) std::swap(rows[i][j], rows[j][i]);
    const std::vector<double> a = from_rows(rows);
    const Eig e = values(a, 4);
    EXPECT_EQ(e.ifail, 0);
    expect_values(e, {4, -1, 2.5, 9}, 0.0);
    for (int c : e.cnt) EXPECT_EQ(c, 0);
    const Eig v = vectors(a, 4);
    EXPECT_EQ(v.ifail, 0);
    expect_vectors(a, 4, v, 1e-14);
  }
}

TEST(GeneralEigen, RotationGivesPairWithoutIterations) {
  const std::vector<double> a = from_rows({{0, -1}, {1, 0}});
  const Eig e = values(a, 2);
  EXPECT_EQ(e.ifail, 0);
  EXPECT_EQ(e.rr, (std::vector<double>{0, 0}));
  EXPECT_EQ(e.ri, (std::vector<double>{1, -1}));
  EXPECT_EQ(e.cnt, (std::vector<int>{0, 0}));
  const Eig v = vectors(a, 2);
  EXPECT_EQ(v.ri, (std::vector<double>{1, -1}));
  expect_vectors(a, 2, v, 1e-15);
  // (1, -i)/sqrt(2) for +i: largest component first, real.
  EXPECT_NEAR(v.vr[0], std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(v.vi[1], -std::sqrt(0.5), 1e-15);
  // The conjugate vector for -i.
  EXPECT_NEAR(v.vr[2], std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(v.vi[3], std::sqrt(0.5), 1e-15);
}

TEST(GeneralEigen, DefectiveAndEqualDiagonal) {
  // Split by balancing: 1 twice.
  const Eig e = values(from_rows({{1, 0}, {1, 1}}), 2);
  EXPECT_EQ(e.ifail, 0);
  EXPECT_EQ(e.rr, (std::vector<double>{1, 1}));
  EXPECT_EQ(e.ri, (std::vector<double>{0, 0}));
  // A 2 x 2 block with equal diagonal elements and w = 0 that balancing does
  // not split would return x + t twice; a Hessenberg block [[3, 0], [2, 3]]
  // handed to the QR routine directly shows it.
  std::vector<double> h = from_rows({{3, 0}, {2, 3}});
  std::vector<double> wr(2), wi(2);
  std::vector<int> cnt(2);
  int ifail = 1;
  F02APF(2, EPSMACH(), h, 2, wr, wi, cnt, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(wr, (std::vector<double>{3, 3}));
  EXPECT_EQ(wi, (std::vector<double>{0, 0}));
}

TEST(GeneralEigen, ZeroRowIsIsolatedAtTheBottom) {
  const std::vector<std::vector<double>> rows = {{2, 1, 3}, {0, 0, 0}, {1, 4, -1}};
  const std::vector<double> a0 = from_rows(rows);
  const Balanced b = balance(rows);
  EXPECT_EQ(b.high, 2);
  EXPECT_EQ(b.low, 1);
  EXPECT_EQ(b.d[2], 2.0);  // row and column 2 went to position 3
  EXPECT_EQ(b.a[2 + 0 * 3], 0.0);
  EXPECT_EQ(b.a[2 + 1 * 3], 0.0);
  EXPECT_EQ(b.a[2 + 2 * 3], 0.0);  // the eigenvalue 0 stands at the bottom
  const Eig e = values(a0, 3);
  EXPECT_EQ(e.cnt[2], 0);
  EXPECT_EQ(e.rr[2], 0.0);
  // 2x2 block [[2, 3], [1, -1]]: eigenvalues (1 +- sqrt(21))/2.
  expect_values(e, {0.0, (1 + std::sqrt(21.0)) / 2, (1 - std::sqrt(21.0)) / 2}, 1e-14);
  const Eig v = vectors(a0, 3);
  expect_vectors(a0, 3, v, 1e-14);
}

TEST(GeneralEigen, BalancingNeverReturnsHighBelowLow) {
  struct Case {
    int n;
    std::vector<std::vector<double>> rows;
  };
  const Case cases[] = {
      {1, {{5}}},
      {2, {{1, 2}, {0, 3}}},
      {2, {{0, 0}, {0, 0}}},
      {3, {{1, 0, 0}, {1, 2, 0}, {1, 1, 3}}},
      {3, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
      {3, {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}}},
  };
  for (const Case& c : cases) {
    const Balanced b = balance(c.rows);
    EXPECT_GE(b.low, 1);
    EXPECT_LE(b.low, b.high) << c.n;
    EXPECT_LE(b.high, c.n);
    const Eig e = values(from_rows(c.rows), c.n);
    EXPECT_EQ(e.ifail, 0);
  }
  // The 1 x 1 matrix.
  const Eig e = values({5.0}, 1);
  EXPECT_EQ(e.rr[0], 5.0);
  EXPECT_EQ(e.cnt[0], 0);
}

TEST(GeneralEigen, BalancingScalesByPowersOfTwo) {
  // A badly scaled matrix: balancing scales rows and columns by powers of 2;
  // the similarity D^-1 A D keeps the eigenvalues.
  const std::vector<std::vector<double>> rows = {{1, 1e6, 0}, {1e-6, 2, 1e6}, {0, 1e-6, 3}};
  const std::vector<double> a0 = from_rows(rows);
  const Balanced b = balance(rows);
  EXPECT_EQ(b.low, 1);
  EXPECT_EQ(b.high, 3);
  for (int i = 0; i < 3; ++i) {
    int ex = 0;
    EXPECT_EQ(std::frexp(b.d[i], &ex), 0.5);
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_DOUBLE_EQ(b.a[i + 3 * j], a0[i + 3 * j] * b.d[j] / b.d[i]);
  EXPECT_LT(std::abs(b.a[0 + 3 * 1]), 1e3);  // the off-diagonal weights are brought together
  const Eig v = vectors(a0, 3);
  EXPECT_EQ(v.ifail, 0);
  expect_vectors(a0, 3, v, 1e-13);
}

TEST(GeneralEigen, BalancingEndsOnInfiniteNaNAndHugeWeights) {
  // Rows or columns whose weight is infinite, NaN or overflows when scaled
  // are left as they stand instead of being scaled forever.
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double big = std::numeric_limits<double>::max();
  const std::vector<std::vector<std::vector<double>>> cases = {
      {{1, 2, 0}, {0, 1, 3}, {4, inf, 1}},
      {{1, 2, 0}, {0, 1, 3}, {4, nan, 1}},
      {{1, big, 0}, {big / 3, 1, 3}, {4, 1, 1}},
  };
  for (const auto& rows : cases) {
    const Balanced b = balance(rows);
    EXPECT_EQ(b.low, 1);
    EXPECT_EQ(b.high, 3);
    // The whole eigenvalue routine ends too, with or without roots.
    const Eig v = values(from_rows(rows), 3);
    EXPECT_TRUE(v.ifail == 0 || v.ifail == 1);
  }
}

TEST(GeneralEigen, ReductionAndItsTransformation) {
  // H = V^-1 A V with V from HESACC: A V = V H, H upper Hessenberg.
  const int n = 5;
  const std::vector<double> a0 = from_rows(
      {{4, -2, 1, 3, 0.5}, {1, 0, 2, -1, 2}, {3, 1, -1, 2, 1}, {-2, 2, 1, 1, 3}, {0.5, -1, 4, 2, -3}});
  std::vector<double> a = a0;
  std::vector<int> piv(n, 0);
  HESRED(n, 1, n, a, n, piv);
  std::vector<double> v(n * n);
  HESACC(n, 1, n, piv, a, n, v, n);
  std::vector<double> h = a;
  for (int j = 0; j < n; ++j)
    for (int i = j + 2; i < n; ++i) h[i + j * n] = 0.0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double av = 0, vh = 0;
      for (int k = 0; k < n; ++k) {
        av += a0[i + k * n] * v[k + j * n];
        vh += v[i + k * n] * h[k + j * n];
      }
      EXPECT_NEAR(av, vh, 1e-13) << i << "," << j;
    }
  for (int r = 2; r <= n; ++r) {
    EXPECT_GE(piv[r - 1], r);
    EXPECT_LE(piv[r - 1], n);
  }
}

TEST(GeneralEigen, CompanionMatrixWithRealsAndAPair) {
  // x^5 - 6x^4 + 12x^3 - 12x^2 + 11x - 6 = (x - 1)(x - 2)(x - 3)(x^2 + 1).
  const std::vector<double> a = from_rows({{0, 0, 0, 0, 6},
                                           {1, 0, 0, 0, -11},
                                           {0, 1, 0, 0, 12},
                                           {0, 0, 1, 0, -12},
                                           {0, 0, 0, 1, 6}});
  const Eig e = values(a, 5);
  EXPECT_EQ(e.ifail, 0);
  expect_values(e, {1, 2, 3, cplx(0, 1), cplx(0, -1)}, 1e-12);
  expect_pair_layout(e);
  int iterations = 0;
  for (int c : e.cnt) iterations += std::abs(c);
  EXPECT_GT(iterations, 0);
  const Eig v = vectors(a, 5);
  EXPECT_EQ(v.ifail, 0);
  expect_values(v, {1, 2, 3, cplx(0, 1), cplx(0, -1)}, 1e-12);
  expect_pair_layout(v);
  expect_vectors(a, 5, v, 1e-12);
}

TEST(GeneralEigen, SimilarityTransformOfKnownBlocks) {
  // A = S B S^-1 with B = diag(-1, 5) + the block [[2, 3], [-3, 2]] (2 +- 3i)
  // and a 2 x 2 block [[7, 1], [-1, 7]] (7 +- i); S unit lower triangular
  // times a permutation, so S^-1 is exact.
  const int n = 6;
  const std::vector<std::vector<double>> b = {{-1, 0, 0, 0, 0, 0}, {0, 2, 3, 0, 0, 0},  {0, -3, 2, 0, 0, 0},
                                              {0, 0, 0, 5, 0, 0},  {0, 0, 0, 0, 7, 1},  {0, 0, 0, 0, -1, 7}};
  std::vector<std::vector<double>> s(n, std::vector<double>(n, 0.0)), si(n, std::vector<double>(n, 0.0));
  // S = I + e_i e_j' (i > j) products: use S = I + L with L strictly lower
  // integer; S^-1 by forward substitution, exact in double.
  const double l[6][6] = {{0}, {1, 0}, {-2, 1, 0}, {0, 3, -1, 0}, {1, 0, 2, 1, 0}, {-1, 2, 0, 1, -2, 0}};
  for (int i = 0; i < n; ++i) {
    s[i][i] = 1;
    for (int j = 0; j < i; ++j) s[i][j] = l[i][j];
  }
  for (int c = 0; c < n; ++c)
    for (int i = 0; i < n; ++i) {
      double v = i == c ? 1.0 : 0.0;
      for (int k = 0; k < i; ++k) v -= s[i][k] * si[k][c];
      si[i][c] = v;
    }
  std::vector<std::vector<double>> rows(n, std::vector<double>(n, 0.0));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double v = 0;
      for (int p = 0; p < n; ++p)
        for (int q = 0; q < n; ++q) v += s[i][p] * b[p][q] * si[q][j];
      rows[i][j] = v;
    }
  const std::vector<double> a = from_rows(rows);
  const std::vector<cplx> want = {-1, 5, cplx(2, 3), cplx(2, -3), cplx(7, 1), cplx(7, -1)};
  const Eig e = values(a, n);
  EXPECT_EQ(e.ifail, 0);
  expect_values(e, want, 1e-10);
  expect_pair_layout(e);
  const Eig v = vectors(a, n);
  EXPECT_EQ(v.ifail, 0);
  expect_values(v, want, 1e-10);
  expect_pair_layout(v);
  expect_vectors(a, n, v, 1e-12);
  // Counts: each found eigenvalue's iterations, the total within the budget.
  int total = 0;
  for (int c : v.cnt) total += std::max(c, 0);
  EXPECT_LE(total, 30 * n);
}

TEST(GeneralEigen, BackTransformationThroughBalancing) {
  // EVBKBAL undoes scaling and exchanges: the vectors of the balanced matrix
  // taken back are vectors of the original.
  const std::vector<std::vector<double>> rows = {{3, 0, 1e4}, {2, 5, 4}, {1e-4, 0, 1}};
  const std::vector<double> a0 = from_rows(rows);
  const Balanced b = balance(rows);
  // Column 2 has no off-diagonal element: it goes to the left.
  EXPECT_EQ(b.low, 2);
  EXPECT_EQ(b.high, 3);
  EXPECT_EQ(b.d[0], 2.0);
  const Eig e = vectors(a0, 3);
  EXPECT_EQ(e.ifail, 0);
  expect_vectors(a0, 3, e, 1e-12);
}

TEST(GeneralEigen, TiesInTheLargestComponentTakeTheFirst) {
  // Eigenvector of 3 for [[2, 1], [1, 2]] is (1, 1)/sqrt(2): both components
  // equal, the first is the one made real and positive.
  const Eig v = vectors(from_rows({{2, 1}, {1, 2}}), 2);
  EXPECT_EQ(v.ifail, 0);
  for (int j = 0; j < 2; ++j) {
    if (std::abs(v.rr[j] - 3.0) < 1e-12) {
      EXPECT_NEAR(v.vr[0 + 2 * j], std::sqrt(0.5), 1e-15);
      EXPECT_NEAR(v.vr[1 + 2 * j], std::sqrt(0.5), 1e-15);
    } else {
      EXPECT_NEAR(v.vr[0 + 2 * j], std::sqrt(0.5), 1e-15);
      EXPECT_NEAR(v.vr[1 + 2 * j], -std::sqrt(0.5), 1e-15);
    }
  }
}

TEST(GeneralEigen, HessenbergRoutineWithIsolatedRoots) {
  // Rows 1 and 4 lie outside low..upp = 2..3: their roots are the diagonal
  // with count 0; the vectors still satisfy H v = lambda v.
  const int n = 4;
  const std::vector<double> h0 = from_rows({{1, 2, -1, 3}, {0, 4, -5, 1}, {0, 2, -2, 2}, {0, 0, 0, 6}});
  std::vector<double> h = h0;
  std::vector<double> v(n * n, 0.0), wr(n), wi(n);
  for (int i = 0; i < n; ++i) v[i + i * n] = 1.0;
  std::vector<int> cnt(n, -9);
  int ifail = 1;
  F02AQF(n, 2, 3, EPSMACH(), h, n, v, n, wr, wi, cnt, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(wr[0], 1.0);
  EXPECT_EQ(wr[3], 6.0);
  EXPECT_EQ(cnt[0], 0);
  EXPECT_EQ(cnt[3], 0);
  // The block [[4, -5], [2, -2]]: 1 +- i.
  EXPECT_NEAR(wr[1], 1.0, 1e-14);
  EXPECT_NEAR(wi[1], 1.0, 1e-14);
  EXPECT_NEAR(wi[2], -1.0, 1e-14);
  // Real vectors in columns 1 and 4; the pair's vector is v(., 2) + i v(., 3).
  for (int j : {0, 3}) {
    for (int i = 0; i < n; ++i) {
      double hv = 0.0;
      for (int k = 0; k < n; ++k) hv += h0[i + k * n] * v[k + j * n];
      EXPECT_NEAR(hv, wr[j] * v[i + j * n], 1e-13) << j << " " << i;
    }
  }
  const cplx lam(wr[1], wi[1]);
  for (int i = 0; i < n; ++i) {
    cplx hv = 0.0;
    for (int k = 0; k < n; ++k) hv += h0[i + k * n] * cplx(v[k + 1 * n], v[k + 2 * n]);
    EXPECT_LT(std::abs(hv - lam * cplx(v[i + 1 * n], v[i + 2 * n])), 1e-13) << i;
  }
}

}  // namespace
}  // namespace qv::numlib
