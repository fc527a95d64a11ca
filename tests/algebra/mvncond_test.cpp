// Box probabilities with the last pair of sorted variables integrated
// exactly: the prepared rectangle against BVNRECT, boxes of three and four
// variables against mvtnorm (R 4.2, r-cran-mvtnorm; the script is in the
// comments beside the values) and the fallback of a singular pair.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "algebra/mvnadp.hpp"
#include "algebra/mvncond.hpp"
#include "algebra/mvnsetup.hpp"

namespace qv::algebra {
namespace {

TEST(Mvncond, PreparedRectangleIsBvnrectToTheLastBit) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> lim(-3.0, 3.0), cor(-0.99, 0.99);
  for (int t = 0; t < 3000; ++t) {
    const double r = cor(gen);
    BvnRule rule;
    bvn_prepare(r, rule);
    const double lo[2] = {lim(gen), lim(gen)}, up[2] = {lim(gen), lim(gen)};
    for (int f1 = 0; f1 < 3; ++f1)
      for (int f2 = 0; f2 < 3; ++f2) {
        const int kinds[2] = {f1, f2};
        ASSERT_EQ(bvn_rect_prepared(rule, lo, up, kinds), BVNRECT(lo, up, kinds, r)) << r << " " << f1 << f2;
      }
  }
}

// The one-factor correlations l_i l_j of loadings 0.5, 0.6, 0.7, 0.8.
std::vector<double> one_factor() {
  const double l[4] = {0.5, 0.6, 0.7, 0.8};
  std::vector<double> rho;
  for (int i = 1; i < 4; ++i)
    for (int j = 0; j < i; ++j) rho.push_back(l[i] * l[j]);
  return rho;
}

TEST(Mvncond, BoxesMatchMvtnorm) {
  struct Box {
    int n;
    std::vector<double> lower, upper;
    std::vector<int> kinds;
    std::vector<double> rho;
    double want;
  } boxes[] = {
      // pmvnorm(lower = c(-1, 0.2, -Inf), upper = c(0.5, Inf, 0.7), corr = R3), GenzBretz at
      // abseps 1e-13 (tests/fit/refs/ordfit_refs.txt "three")
      {3, {-1.0, 0.2, 0.0}, {0.5, 0.0, 0.7}, {2, 1, 0}, {0.3, -0.2, 0.4}, 0.123417376184219},
      // l <- c(.5, .6, .7, .8); R <- l %*% t(l); diag(R) <- 1; Miwa(steps = 4096):
      // pmvnorm(upper = rep(-0.5, 4), corr = R)
      {4, {0, 0, 0, 0}, {-0.5, -0.5, -0.5, -0.5}, {0, 0, 0, 0}, one_factor(), 0.0604568815329635},
      // pmvnorm(lower = rep(0.7, 4), corr = R)
      {4, {0.7, 0.7, 0.7, 0.7}, {0, 0, 0, 0}, {1, 1, 1, 1}, one_factor(), 0.0360390952791358},
      // pmvnorm(lower = c(0.7, -Inf, -Inf, -Inf), upper = c(Inf, -.5, -.5, -.5), corr = R)
      {4, {0.7, 0, 0, 0}, {0, -0.5, -0.5, -0.5}, {1, 0, 0, 0}, one_factor(), 0.00669676960154805},
  };
  for (const auto& b : boxes) {
    double err = 0.0, val = 0.0;
    int inf = -1;
    // The ordinal fit's settings: relative 1e-6, absolute 1e-12, 5000 points per variable.
    mvn_conditional_box(b.n, b.lower, b.upper, b.kinds, b.rho, 5000 * b.n, 1e-12, 1e-6, err, val, inf);
    EXPECT_EQ(inf, 0);
    EXPECT_NEAR(val, b.want, 1e-6 * b.want) << b.n;
    EXPECT_LE(std::fabs(val - b.want), std::max(err, 1e-12)) << b.n;
    // Tighter: the integrand itself is right to far below the tolerance in use.
    mvn_conditional_box(b.n, b.lower, b.upper, b.kinds, b.rho, 400000, 0.0, 1e-10, err, val, inf);
    EXPECT_NEAR(val, b.want, 1e-8 * b.want) << b.n;
  }
}

TEST(Mvncond, FewVariablesAndSingularPairsAreMvnadps) {
  struct Box {
    int n;
    std::vector<double> lower, upper;
    std::vector<int> kinds;
    std::vector<double> rho;
  } boxes[] = {
      {1, {-0.3}, {0.8}, {2}, {}},
      {2, {-0.3, 0.0}, {0.8, 0.4}, {2, 0}, {0.5}},
      // Variables 2 and 3 perfectly correlated: a singular pair after the sort.
      {3, {-1.0, -0.5, -0.5}, {0.5, 0.7, 0.7}, {2, 2, 2}, {0.3, 0.3, 1.0}},
      {21, std::vector<double>(21, 0.0), std::vector<double>(21, 1.0), std::vector<int>(21, 2),
       std::vector<double>(210, 0.0)},
  };
  for (const auto& b : boxes) {
    double e1 = 0.0, v1 = 0.0, e2 = 0.0, v2 = 0.0;
    int i1 = -1, i2 = -1;
    MVNADP(b.n, b.lower, b.upper, b.kinds, b.rho, 5000 * b.n, 1e-12, 1e-6, e1, v1, i1);
    mvn_conditional_box(b.n, b.lower, b.upper, b.kinds, b.rho, 5000 * b.n, 1e-12, 1e-6, e2, v2, i2);
    EXPECT_EQ(i2, i1) << b.n;
    EXPECT_EQ(v2, v1) << b.n;
    EXPECT_EQ(e2, e1) << b.n;
  }
}

}  // namespace
}  // namespace qv::algebra
