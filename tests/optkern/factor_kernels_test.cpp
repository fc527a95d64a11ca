// Triangular-factor kernels: copies, norms, fills, interchanges, and the
// rotation kernels checked against the same rotations applied to the full
// matrix by ROTSAP.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "optkern/rotations.hpp"

namespace qv::optkern {
namespace {

constexpr int kN = 5;
constexpr int kLd = 6;  // leading dimension above the order

// A full kLd x kN matrix with distinct entries; upper() keeps only the upper
// triangle of the first kN rows.
std::vector<double> full_matrix() {
  std::vector<double> a(kLd * kN);
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kLd; ++i) a[(i - 1) + (j - 1) * kLd] = 1.0 + i + 0.37 * j * j - 0.11 * i * j;
  return a;
}
std::vector<double> upper(std::vector<double> a) {
  for (int j = 1; j <= kN; ++j)
    for (int i = j + 1; i <= kN; ++i) a[(i - 1) + (j - 1) * kLd] = 0.0;
  return a;
}
double& at(std::vector<double>& a, int i, int j) { return a[(i - 1) + (j - 1) * kLd]; }

std::vector<double> angles_c(int n) {
  std::vector<double> c(n);
  for (int k = 0; k < n; ++k) c[k] = std::cos(0.4 + 0.5 * k);
  return c;
}
std::vector<double> angles_s(int n) {
  std::vector<double> s(n);
  for (int k = 0; k < n; ++k) s[k] = std::sin(0.4 + 0.5 * k);
  return s;
}

// The upper triangle of got equals that of want, and want is zero below it
// (the kernels never touch the strictly lower triangle).
void expect_upper_equal(const std::vector<double>& got, const std::vector<double>& want, const char* what) {
  for (int j = 1; j <= kN; ++j) {
    for (int i = 1; i <= kN; ++i) {
      const double w = want[(i - 1) + (j - 1) * kLd];
      if (i <= j) {
        EXPECT_NEAR(got[(i - 1) + (j - 1) * kLd], w, 1e-12) << what << " (" << i << "," << j << ")";
      } else {
        EXPECT_NEAR(w, 0.0, 1e-12) << what << " below the diagonal (" << i << "," << j << ")";
      }
    }
  }
}

TEST(Matcpy, ShapesAndUnknownLetter) {
  const std::vector<double> a = full_matrix();
  std::vector<double> b(a.size(), 0.0);
  MATCPY("Upper-triangular", 3, kN, a, kLd, b, kLd);
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kLd; ++i)
      EXPECT_EQ(b[(i - 1) + (j - 1) * kLd], (i <= std::min(j, 3)) ? a[(i - 1) + (j - 1) * kLd] : 0.0);
  std::fill(b.begin(), b.end(), 0.0);
  MATCPY("lower", 4, 2, a, kLd, b, kLd);
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kLd; ++i)
      EXPECT_EQ(b[(i - 1) + (j - 1) * kLd], (j <= 2 && i >= j && i <= 4) ? a[(i - 1) + (j - 1) * kLd] : 0.0);
  std::fill(b.begin(), b.end(), 0.0);
  MATCPY("General", kLd, kN, a, kLd, b, kLd);
  EXPECT_EQ(b, a);
  std::vector<double> c(a.size(), 0.0);
  MATCPY("Xyz", kLd, kN, a, kLd, c, kLd);
  EXPECT_EQ(c, std::vector<double>(a.size(), 0.0));
}

TEST(Matnrm, NormsOfEachShape) {
  // 3 x 3: [1 -2 3; -4 5 -6; 7 -8 9] by columns.
  const std::vector<double> a = {1, -4, 7, -2, 5, -8, 3, -6, 9};
  struct Case {
    const char* norm;
    const char* shape;
    double expected;
  };
  const Case cases[] = {
      {"1", "G", 18.0},              // column 3: 3 + 6 + 9
      {"One", "U", 18.0},            // upper: column 3 = 18
      {"O", "L", 13.0},              // lower: column 2 = 5 + 8
      {"1", "S", 18.0},              // symmetric from the upper triangle: (1,3),(2,3),(3,3) col 3 = 3+6+9
      {"1", "Y", 24.0},              // from the lower: row 3 and column 3 = 7 + 8 + 9
      {"M", "G", 9.0},
      {"M", "U", 9.0},
      {"M", "L", 9.0},
      {"Frobenius norm", "General", std::sqrt(285.0)},
      {"F", "Upper", std::sqrt(1 + 4 + 25 + 9 + 36 + 81.0)},
      {"E", "L", std::sqrt(1 + 16 + 49 + 25 + 64 + 81.0)},
      {"F", "S", std::sqrt(2 * (4 + 9 + 36) + 1 + 25 + 81.0)},
      {"F", "E", std::sqrt(2 * (16 + 49 + 64) + 1 + 25 + 81.0)},
      {"F", "Q", 0.0},  // unknown shape
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(MATNRM(c.norm, c.shape, 3, 3, a, 3), c.expected) << c.norm << c.shape;
  // Empty matrices, zeros and values near overflow.
  EXPECT_EQ(MATNRM("F", "G", 0, 3, a, 3), 0.0);
  EXPECT_EQ(MATNRM("1", "G", 3, 0, a, 3), 0.0);
  const std::vector<double> zero(9, 0.0);
  EXPECT_EQ(MATNRM("Frobenius norm", "Upper", 3, 3, zero, 3), 0.0);
  const std::vector<double> big(9, 1e306);
  const double flmax = std::ldexp(1.0, 1018);
  const double r = MATNRM("F", "G", 3, 3, big, 3);
  EXPECT_TRUE(std::isfinite(r));
  EXPECT_LE(r, flmax);
  EXPECT_EQ(r, flmax);
  const std::vector<double> half = {1e300, 0, 0, 1e300};
  EXPECT_DOUBLE_EQ(MATNRM("F", "G", 2, 2, half, 2), 1e300 * std::sqrt(2.0));
}

TEST(Matset, DiagonalOnlyWhenDifferent) {
  std::vector<double> a(12, 7.0);
  MATSET("Upper", 3, 4, 0.0, 0.0, a, 3);
  EXPECT_EQ(a, (std::vector<double>{0, 7, 7, 0, 0, 7, 0, 0, 0, 0, 0, 0}));
  std::vector<double> b(12, 7.0);
  MATSET("General", 4, 3, 0.0, 1.0, b, 4);  // diagonal of min(4, 3) = 3 elements
  EXPECT_EQ(b, (std::vector<double>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}));
  std::vector<double> c(9, 7.0);
  MATSET("Lower", 3, 2, 2.0, 5.0, c, 3);
  EXPECT_EQ(c, (std::vector<double>{5, 2, 2, 7, 5, 2, 7, 7, 7}));
}

TEST(Permap, InterchangesAndTheirInverse) {
  const std::vector<double> b0 = full_matrix();
  std::vector<double> b = b0;
  const std::vector<double> ident = {1, 2, 3, 4, 5};
  PERMAP("Left", "Transpose", 5, ident, kN, b, kLd);
  EXPECT_EQ(b, b0);
  // Left/Transpose then Left/Normal with the same list restores B; so does
  // Right/Transpose then Right/Normal.
  const std::vector<double> perm = {3, 3, 5, 4, 5};
  PERMAP("L", "T", 5, perm, kN, b, kLd);
  EXPECT_NE(b, b0);
  // Row 1 went to row 3 first: check one swap by hand.
  EXPECT_EQ(b[0], b0[2]);
  PERMAP("L", "N", 5, perm, kN, b, kLd);
  EXPECT_EQ(b, b0);
  const std::vector<int> iperm = {2, 5, 3, 5, 5};
  IPERMAP("Right", "T", 5, iperm, kLd, b, kLd);
  EXPECT_NE(b, b0);
  IPERMAP("Right", "Normal", 5, iperm, kLd, b, kLd);
  EXPECT_EQ(b, b0);
  IPERMAP("Right", "Normal", 0, iperm, kLd, b, kLd);
  IPERMAP("Up", "Normal", 5, iperm, kLd, b, kLd);
  EXPECT_EQ(b, b0);
}

TEST(RotationKernels, GuardsLeaveEverythingUnchanged) {
  const std::vector<double> a0 = upper(full_matrix());
  const std::vector<double> c0 = angles_c(kN), s0 = angles_s(kN);
  struct Range {
    int n, k1, k2;
  };
  const Range ranges[] = {{kN, 3, 3}, {kN, 4, 2}, {kN, 2, 6}, {0, 1, 2}, {kN, 0, 2}};
  using Kernel = void (*)(std::string_view, int, int, int, std::span<double>, std::span<double>, std::span<double>,
                          int);
  const Kernel kernels[] = {ROTUP2, ROTUP3, ROTUP4, ROTUP5, ROTUP6, ROTCRM};
  for (const Range& r : ranges) {
    for (Kernel k : kernels) {
      for (const char* side : {"Left", "Right", "Create", "Remove"}) {
        std::vector<double> a = a0, c = c0, s = s0;
        k(side, r.n, r.k1, r.k2, c, s, a, kLd);
        EXPECT_EQ(a, a0);
        EXPECT_EQ(c, c0);
        EXPECT_EQ(s, s0);
      }
    }
    std::vector<double> a = a0, s = s0;
    ROTUP1("Left", r.n, r.k1, r.k2, s, a, kLd);
    ROTUP1("Right", r.n, r.k1, r.k2, s, a, kLd);
    EXPECT_EQ(a, a0);
    EXPECT_EQ(s, s0);
  }
}

TEST(RotationKernels, CyclicShiftOfRowsAndColumns) {
  const std::vector<double> a0 = upper(full_matrix());
  // Left, rows 2..4: row 4 moves to row 2, rows 2, 3 move down.
  std::vector<double> a = a0, s(kN, -1.0);
  ROTUP1("Left", kN, 2, 4, s, a, kLd);
  std::vector<double> full = a;
  for (int j = 1; j <= 3; ++j) at(full, j + 1, j) = (j >= 2) ? s[j - 1] : 0.0;
  std::vector<double> want = a0;
  for (int j = 1; j <= kN; ++j) {
    at(want, 2, j) = at(const_cast<std::vector<double>&>(a0), 4, j);
    at(want, 3, j) = at(const_cast<std::vector<double>&>(a0), 2, j);
    at(want, 4, j) = at(const_cast<std::vector<double>&>(a0), 3, j);
  }
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN; ++i)
      EXPECT_EQ(at(full, i, j), at(want, i, j)) << "Left (" << i << "," << j << ")";
  // Right, columns 2..4: column 2 moves to position 4, columns 3, 4 move left.
  a = a0;
  ROTUP1("Right", kN, 2, 4, s, a, kLd);
  full = a;
  for (int k = 2; k <= 3; ++k) at(full, k + 1, k) = s[k - 1];
  want = a0;
  for (int i = 1; i <= kN; ++i) {
    at(want, i, 2) = a0[(i - 1) + 2 * kLd];
    at(want, i, 3) = a0[(i - 1) + 3 * kLd];
    at(want, i, 4) = a0[(i - 1) + 1 * kLd];
  }
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN; ++i)
      EXPECT_EQ(at(full, i, j), at(want, i, j)) << "Right (" << i << "," << j << ")";
}

// ROTUP5 and ROTUP6 apply given rotations (checked against ROTSAP on the full
// matrix); ROTUP2 and ROTUP3 then restore the upper-triangular form with
// rotations that ROTSAP reproduces.
TEST(RotationKernels, HessenbergAndSpikeRoundTrips) {
  const int k1 = 2, k2 = 5;
  const std::vector<double> a0 = upper(full_matrix());
  for (const char* side : {"Left", "Right"}) {
    const bool left = side[0] == 'L';
    // ROTUP5: upper Hessenberg with the sub-diagonal in SV.
    std::vector<double> a = a0, c = angles_c(kN), s = angles_s(kN);
    std::vector<double> want = a0;
    ROTSAP(side, "Variable", left ? "Backwards" : "Forwards", kN, kN, k1, k2, c, s, want, kLd);
    ROTUP5(side, kN, k1, k2, c, s, a, kLd);
    std::vector<double> h = a;
    for (int j = k1; j <= k2 - 1; ++j) at(h, j + 1, j) = s[j - 1];
    for (int j = 1; j <= kN; ++j)
      for (int i = 1; i <= kN; ++i) EXPECT_NEAR(at(h, i, j), at(want, i, j), 1e-12) << "ROTUP5 " << side;

    // ROTUP2 restores the triangle; its rotations applied to the full
    // Hessenberg matrix give the same triangle.
    std::vector<double> c2(kN, -9.0), s2 = s;
    ROTUP2(side, kN, k1, k2, c2, s2, a, kLd);
    std::vector<double> back = h;
    ROTSAP(side, "Variable", left ? "Forwards" : "Backwards", kN, kN, k1, k2, c2, s2, back, kLd);
    expect_upper_equal(a, back, "ROTUP2");

    // ROTUP6: a spike in row k2 (Left) or column k1 (Right).
    a = a0;
    c = angles_c(kN);
    s = angles_s(kN);
    want = a0;
    ROTSAP(side, left ? "Bottom" : "Top", left ? "Backwards" : "Forwards", kN, kN, k1, k2, c, s, want, kLd);
    ROTUP6(side, kN, k1, k2, c, s, a, kLd);
    std::vector<double> sp = a;
    for (int j = k1; j <= k2 - 1; ++j) {
      if (left) {
        at(sp, k2, j) = s[j - 1];
      } else {
        at(sp, j + 1, k1) = s[j - 1];
      }
    }
    for (int j = 1; j <= kN; ++j)
      for (int i = 1; i <= kN; ++i) EXPECT_NEAR(at(sp, i, j), at(want, i, j), 1e-12) << "ROTUP6 " << side;

    // ROTUP3 removes the spike.
    std::vector<double> c3(kN, -9.0), s3 = s;
    ROTUP3(side, kN, k1, k2, c3, s3, a, kLd);
    back = sp;
    ROTSAP(side, left ? "Bottom" : "Top", left ? "Forwards" : "Backwards", kN, kN, k1, k2, c3, s3, back, kLd);
    expect_upper_equal(a, back, "ROTUP3");
  }
}

// ROTUP4: the given rotations on one side and the generated ones on the other
// give the same upper-triangular matrix as both applied to the full matrix.
TEST(RotationKernels, TwoSidedUpdateKeepsTheTriangle) {
  const int k1 = 1, k2 = 4;
  const std::vector<double> a0 = upper(full_matrix());
  for (const char* side : {"Left", "Right"}) {
    const bool left = side[0] == 'L';
    std::vector<double> a = a0, c = angles_c(kN), s = angles_s(kN);
    const std::vector<double> cg = c, sg = s;
    ROTUP4(side, kN, k1, k2, c, s, a, kLd);
    std::vector<double> full = a0;
    if (left) {
      ROTSAP("Left", "Variable", "Forwards", kN, kN, k1, k2, cg, sg, full, kLd);
      ROTSAP("Right", "Variable", "Forwards", kN, kN, k1, k2, c, s, full, kLd);
    } else {
      ROTSAP("Right", "Variable", "Backwards", kN, kN, k1, k2, cg, sg, full, kLd);
      ROTSAP("Left", "Variable", "Backwards", kN, kN, k1, k2, c, s, full, kLd);
    }
    expect_upper_equal(a, full, side);
  }
}

// ROTCRM on a reverse-triangular matrix: Create returns the fill-in that the
// rotations make, Remove generates rotations that take it out again.
TEST(RotationKernels, ReverseTriangularCreateAndRemove) {
  const int k1 = 1, k2 = 4;
  std::vector<double> t0 = full_matrix();
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN - j; ++i) at(t0, i, j) = 0.0;  // column j holds rows n-j+1..n
  std::vector<double> t = t0, c = angles_c(kN), s = angles_s(kN);
  std::vector<double> want = t0;
  ROTSAP("Right", "Variable", "Forwards", kN, kN, k1, k2, c, s, want, kLd);
  ROTCRM("Create", kN, k1, k2, c, s, t, kLd);
  std::vector<double> filled = t;
  for (int k = k1; k <= k2 - 1; ++k) at(filled, kN - k, k) = s[k - 1];
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN; ++i) EXPECT_NEAR(at(filled, i, j), at(want, i, j), 1e-12) << "Create";

  std::vector<double> c2(kN, -9.0), s2 = s;
  ROTCRM("Remove", kN, k1, k2, c2, s2, t, kLd);
  std::vector<double> back = filled;
  ROTSAP("Right", "Variable", "Backwards", kN, kN, k1, k2, c2, s2, back, kLd);
  for (int j = 1; j <= kN; ++j) {
    for (int i = 1; i <= kN; ++i) {
      if (i > kN - j) {
        EXPECT_NEAR(at(t, i, j), at(back, i, j), 1e-12) << "Remove (" << i << "," << j << ")";
      } else {
        EXPECT_NEAR(at(back, i, j), 0.0, 1e-12) << "Remove fill (" << i << "," << j << ")";
      }
    }
  }
}

}  // namespace
}  // namespace qv::optkern
