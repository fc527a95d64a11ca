// Rotation sequences applied to rows and columns of a matrix.
#include <gtest/gtest.h>

#include <vector>

#include "optkern/rotations.hpp"

namespace qv::optkern {
namespace {

// Two rotations (c, s) = (0, 1) on the vector (1, 2, 3): each maps the pair
// (x, y) to (y, -x), so the order and the pairs chosen show in the result.
TEST(Rotsap, PivotAndDirectionOnBothSides) {
  struct Case {
    const char* pivot;
    const char* direction;
    std::vector<double> expected;
  };
  const Case cases[] = {
      {"Variable", "Forwards", {2.0, 3.0, 1.0}},  {"Variable", "Backwards", {3.0, -1.0, -2.0}},
      {"Top", "Forwards", {3.0, -1.0, -2.0}},     {"Top", "Backwards", {2.0, -3.0, -1.0}},
      {"Bottom", "Forwards", {3.0, -1.0, -2.0}},  {"bottom", "backwards", {-2.0, 3.0, -1.0}},
  };
  const std::vector<double> c = {0.0, 0.0};
  const std::vector<double> s = {1.0, 1.0};
  for (const Case& k : cases) {
    // Left: a 3 x 1 column, rotations act on rows.
    std::vector<double> col = {1.0, 2.0, 3.0};
    ROTSAP("Left", k.pivot, k.direction, 3, 1, 1, 3, c, s, col, 3);
    EXPECT_EQ(col, k.expected) << "Left " << k.pivot << " " << k.direction;
    // Right: a 1 x 3 row, rotations act on columns.
    std::vector<double> row = {1.0, 2.0, 3.0};
    ROTSAP("right", k.pivot, k.direction, 1, 3, 1, 3, c, s, row, 1);
    EXPECT_EQ(row, k.expected) << "Right " << k.pivot << " " << k.direction;
  }
}

// The form the symmetric tridiagonal eigensolver uses: Right, Variable,
// Backward on every row of a matrix with a leading dimension above m.  The
// rotations are the 3-4-5 triangles (c, s) = (0.6, 0.8) in the plane of
// columns 1 and 2 and (0.8, 0.6) in that of columns 2 and 3, applied last
// pair first, each to (x, y) = (column j, column j+1) as x' = c x + s y,
// y' = c y - s x.  By hand, row (1, 3, 5):
//   columns 2, 3: (0.8*3 + 0.6*5, 0.8*5 - 0.6*3) = (5.4, 2.2)
//   columns 1, 2: (0.6*1 + 0.8*5.4, 0.6*5.4 - 0.8*1) = (4.92, 2.44)
// giving (4.92, 2.44, 2.2); row (2, 4, 6) gives (6.64, 2.48, 2.4) the same
// way.  Each row keeps its length: 35 and 56.
TEST(Rotsap, RightVariableBackwardMatchesHandWorkedRows) {
  const int m = 2, n = 3, lda = 3;
  const std::vector<double> c = {0.6, 0.8};
  const std::vector<double> s = {0.8, 0.6};
  // Column-major with a third row outside the m rows.
  std::vector<double> a = {1.0, 2.0, 99.0, 3.0, 4.0, 99.0, 5.0, 6.0, 99.0};
  ROTSAP("Right", "Variable", "Backward", m, n, 1, 3, c, s, a, lda);
  const double want[2][3] = {{4.92, 2.44, 2.2}, {6.64, 2.48, 2.4}};
  for (int i = 0; i < m; ++i) {
    double length = 0.0;
    for (int j = 0; j < n; ++j) {
      const double got = a[static_cast<std::size_t>(i + j * lda)];
      EXPECT_NEAR(got, want[i][j], 1e-14) << "row " << i + 1 << ", column " << j + 1;
      length += got * got;
    }
    EXPECT_NEAR(length, i == 0 ? 35.0 : 56.0, 1e-13) << "row " << i + 1;
  }
  // Row 3 lies outside the m rows and is never touched.
  EXPECT_EQ(a[2], 99.0);
  EXPECT_EQ(a[5], 99.0);
  EXPECT_EQ(a[8], 99.0);
}

TEST(Rotsap, NothingHappensOutsideTheValidRanges) {
  const std::vector<double> c = {0.0, 0.0, 0.0};
  const std::vector<double> s = {1.0, 1.0, 1.0};
  const std::vector<double> orig = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};  // 2 x 3
  struct Case {
    const char* side;
    int m, n, k1, k2;
  };
  const Case cases[] = {
      {"Right", 2, 3, 0, 2},  // k1 < 1
      {"Right", 2, 3, 2, 2},  // k1 >= k2
      {"Right", 2, 3, 1, 4},  // k2 > n on side Right
      {"Left", 2, 3, 1, 3},   // k2 > m on side Left
      {"Left", 0, 3, 1, 2},   // m < 1
      {"Right", 2, 0, 1, 2},  // n < 1
      {"Up", 2, 3, 1, 2},     // unknown side
  };
  for (const Case& k : cases) {
    std::vector<double> a = orig;
    ROTSAP(k.side, "Variable", "Forwards", k.m, k.n, k.k1, k.k2, c, s, a, 2);
    EXPECT_EQ(a, orig) << k.side << " " << k.m << " " << k.n << " " << k.k1 << " " << k.k2;
  }
  // Side Right with identity rotations leaves A unchanged.
  std::vector<double> a = orig;
  const std::vector<double> one = {1.0, 1.0};
  const std::vector<double> zero = {0.0, 0.0};
  ROTSAP("Right", "Variable", "Backwards", 2, 3, 1, 3, one, zero, a, 2);
  EXPECT_EQ(a, orig);
}

}  // namespace
}  // namespace qv::optkern
