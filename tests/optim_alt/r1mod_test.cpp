#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "optim_alt/r1mod.hpp"

namespace qv::optim_alt {
namespace {

using Vec = std::vector<double>;

TEST(ROTVEC, ReflectsPairsAsWorkedByHand) {
  struct Case {
    const char* name;
    int n, incx, incy;
    double c, s;
    Vec x, y;
    Vec xout, yout;  // hand-worked: (c x + s y, s x - c y), reversed walk for a negative increment
  };
  const std::vector<Case> cases = {
      {"s = 0 changes nothing", 2, 1, 1, 0.3, 0.0, {1, 2}, {3, 4}, {1, 2}, {3, 4}},
      {"(0, 1) swaps", 2, 1, 1, 0.0, 1.0, {1, 2}, {3, 4}, {3, 4}, {1, 2}},
      {"(0, -1) gives (-y, -x)", 2, 1, 1, 0.0, -1.0, {1, 2}, {3, 4}, {-3, -4}, {-1, -2}},
      {"(0.6, 0.8) on one pair", 1, 1, 1, 0.6, 0.8, {1}, {2}, {0.6 + 1.6}, {0.8 - 1.2}},
      {"equal strides of 2", 2, 2, 2, 0.0, 1.0, {1, 9, 2}, {3, 8, 4}, {3, 9, 4}, {1, 8, 2}},
      // x walked forwards (1, 2), y backwards from its end: pairs (1, 4) and (2, 3).
      {"negative increment", 2, 1, -1, 0.0, 1.0, {1, 2}, {3, 4}, {4, 3}, {2, 1}},
      {"both negative", 2, -1, -1, 0.0, 1.0, {1, 2}, {3, 4}, {3, 4}, {1, 2}},
      {"n = 0", 0, 1, 1, 0.0, 1.0, {1}, {2}, {1}, {2}},
  };
  for (auto c : cases) {
    ROTVEC(c.n, c.x, c.incx, c.y, c.incy, c.c, c.s);
    for (std::size_t i = 0; i < c.x.size(); ++i) EXPECT_NEAR(c.x[i], c.xout[i], 1e-15) << c.name << " x" << i;
    for (std::size_t i = 0; i < c.y.size(); ++i) EXPECT_NEAR(c.y[i], c.yout[i], 1e-15) << c.name << " y" << i;
  }
}

// (R + u v')' (R + u v') and R' R of an n x n column-major upper triangle.
Vec gram(const Vec& r, int n) {
  Vec g(static_cast<std::size_t>(n * n), 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < n; ++k)
        g[static_cast<std::size_t>(i + j * n)] +=
            r[static_cast<std::size_t>(k + i * n)] * r[static_cast<std::size_t>(k + j * n)];
  return g;
}

Vec plus_outer(Vec r, const Vec& u, const Vec& v, int n) {
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) r[static_cast<std::size_t>(i + j * n)] += u[static_cast<std::size_t>(i)] * v[static_cast<std::size_t>(j)];
  return r;
}

TEST(E4R1MD, NewFactorHasTheGramMatrixOfTheUpdate) {
  struct Case {
    const char* name;
    int n;
    Vec r, u, v;
  };
  const std::vector<Case> cases = {
      {"3x3", 3, {2, 0, 0, 1, 3, 0, -1, 0.5, 1.5}, {0.3, -0.2, 0.7}, {1.0, 0.4, -0.6}},
      {"4x4 negative update", 4, {4, 0, 0, 0, 1, 3, 0, 0, 0, 1, 2, 0, 1, 1, 1, 1}, {-1, 0.5, 0.25, 2},
       {0.5, -0.5, 1, 0.1}},
      {"1x1", 1, {2}, {3}, {0.5}},
  };
  for (const auto& c : cases) {
    const int n = c.n;
    const Vec want = gram(plus_outer(c.r, c.u, c.v, n), n);
    Vec r = c.r;
    Vec u = c.u;
    Vec q(static_cast<std::size_t>(n * n), 0.0);
    for (int i = 0; i < n; ++i) q[static_cast<std::size_t>(i + i * n)] = 1.0;
    E4R1MD(n, n, n, n, n, n, r, q, u, c.v);
    for (int j = 0; j < n; ++j)
      for (int i = j + 1; i < n; ++i) EXPECT_EQ(r[static_cast<std::size_t>(i + j * n)], 0.0) << c.name;
    const Vec got = gram(r, n);
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-13) << c.name << " " << i;
    // With Q = I on entry, Q (R + u v') is the new factor.
    const Vec m = plus_outer(c.r, c.u, c.v, n);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        double s = 0.0;
        for (int k = 0; k < n; ++k) s += q[static_cast<std::size_t>(i + k * n)] * m[static_cast<std::size_t>(k + j * n)];
        EXPECT_NEAR(s, r[static_cast<std::size_t>(i + j * n)], 1e-13) << c.name << " QM(" << i << "," << j << ")";
      }
  }
}

TEST(E4R1MD, AsTheEditionCallsItWithoutQ) {
  Vec r = {2, 0, 0, 1, 3, 0, -1, 0.5, 1.5};
  const Vec u0 = {0.3, -0.2, 0.7};
  const Vec v = {1.0, 0.4, -0.6};
  const Vec want = gram(plus_outer(r, u0, v, 3), 3);
  Vec u = u0;
  Vec q;
  E4R1MD(3, 0, 3, 3, 3, 3, r, q, u, v);
  const Vec got = gram(r, 3);
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-13) << i;
}

TEST(E4R1MD, ZeroRankDoesNothing) {
  Vec r = {2, 0, 1, 3};
  Vec u = {1, 1};
  const Vec v = {1, 1};
  Vec q;
  E4R1MD(2, 0, 0, 2, 2, 2, r, q, u, v);
  EXPECT_EQ(r, (Vec{2, 0, 1, 3}));
  EXPECT_EQ(u, (Vec{1, 1}));
}

}  // namespace
}  // namespace qv::optim_alt
