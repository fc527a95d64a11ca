#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include "numlib/veckern.hpp"

namespace qv::numlib {
namespace {

TEST(VectorScale, Strides) {
  const std::vector<double> x = {1, 2, 3, 4, 5, 6};
  struct C {
    int n;
    double alpha;
    int incx, incy;
    std::vector<double> want;  // y, starting from all 9
  };
  const std::vector<C> cases = {
      {3, 2, 1, 1, {2, 4, 6, 9, 9, 9}},
      {3, 2, 2, 2, {2, 9, 6, 9, 10, 9}},
      {3, 2, 1, -1, {6, 4, 2, 9, 9, 9}},   // y(3) = a x(1), y(2) = a x(2), y(1) = a x(3)
      {3, 2, -2, 1, {10, 6, 2, 9, 9, 9}},  // x read from its far end
      {3, 2, 0, 1, {2, 2, 2, 9, 9, 9}},    // every y gets a x(1)
      {3, 0, 1, -2, {0, 9, 0, 9, 0, 9}},   // zeros with increment 2 from y(1)
      {3, 0, 7, 1, {0, 0, 0, 9, 9, 9}},    // x not read
      {0, 2, 1, 1, {9, 9, 9, 9, 9, 9}},
      {-1, 2, 1, 1, {9, 9, 9, 9, 9, 9}},
  };
  for (const auto& c : cases) {
    std::vector<double> y(6, 9.0);
    VSCALE(c.n, c.alpha, x, c.incx, y, c.incy);
    EXPECT_EQ(y, c.want) << c.n << " " << c.incx << " " << c.incy;
  }
}

TEST(ComplexNorm, ScaledSumOfSquares) {
  using Z = std::complex<double>;
  const std::vector<Z> one = {Z(3, 4)};
  EXPECT_EQ(CNORM2(1, one, 1), 5.0);
  const std::vector<Z> zeros(4, Z(0, 0));
  EXPECT_EQ(CNORM2(4, zeros, 1), 0.0);
  EXPECT_EQ(CNORM2(0, one, 1), 0.0);
  // (1,2), skip, (2,4): 1 + 4 + 4 + 16 = 25.
  const std::vector<Z> v = {Z(1, 2), Z(100, 100), Z(2, 4)};
  EXPECT_DOUBLE_EQ(CNORM2(2, v, 2), 5.0);
  EXPECT_DOUBLE_EQ(CNORM2(2, v, -2), 5.0);
  // Large parts do not overflow: |(3e200, 4e200)| = 5e200.
  const std::vector<Z> big = {Z(3e200, 4e200)};
  EXPECT_DOUBLE_EQ(CNORM2(1, big, 1), 5e200);
  // The pair is updated in order: scale the largest part, ssq relative to it.
  double scale = 0, ssq = 1;
  CSSQ(1, one, 1, scale, ssq);
  EXPECT_EQ(scale, 4.0);
  EXPECT_DOUBLE_EQ(ssq, 1.0 + 9.0 / 16.0);
}

}  // namespace
}  // namespace qv::numlib
