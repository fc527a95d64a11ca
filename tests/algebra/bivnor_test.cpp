// Tests of the bivariate normal integral BIVNOR.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "algebra/bivnor.hpp"
#include "mvnref.hpp"
#include "runtime/units.hpp"

namespace qv::algebra {
namespace {

using test::kBvTable;
using test::Qup;

TEST(Bivnor, TableAtFifteenAndSixDigits) {
  for (const auto& c : kBvTable) {
    double p, th, tk;
    BIVNOR(p, th, tk, c.h, c.k, c.r, 15);
    EXPECT_NEAR(p, c.p, 1e-14) << c.h << " " << c.k << " " << c.r;
    EXPECT_NEAR(th, Qup(c.h), 1e-15);
    EXPECT_NEAR(tk, Qup(c.k), 1e-15);
    BIVNOR(p, th, tk, c.h, c.k, c.r, 6);
    EXPECT_NEAR(p, c.p, 1e-6) << c.h << " " << c.k << " " << c.r;
    BIVNOR(p, th, tk, c.h, c.k, c.r, 14);
    EXPECT_NEAR(p, c.p, 1e-13) << c.h << " " << c.k << " " << c.r;
  }
}

// The fit's use: negated thresholds give the lower orthant and the tails the
// marginal cumulative probabilities.
TEST(Bivnor, LowerOrthantAsTheFitUsesIt) {
  double p, m1, m2;
  BIVNOR(p, m1, m2, -0.5, -1.2, 0.35, 6);
  EXPECT_NEAR(p, test::ref_upper(-0.5, -1.2, 0.35), 1e-6);
  EXPECT_NEAR(m1, test::Phi(0.5), 1e-15);
  EXPECT_NEAR(m2, test::Phi(1.2), 1e-15);
}

TEST(Bivnor, ClosedForms) {
  double p, th, tk;
  // rho = 0: exactly the product of the tails.
  BIVNOR(p, th, tk, 0.7, -1.3, 0.0, 6);
  EXPECT_DOUBLE_EQ(p, th * tk);
  // h = k = 0: 1/4 + asin(rho)/(2 pi).
  for (double r : {-0.999, -0.5, 0.2, 0.5, 0.9, 0.999}) {
    BIVNOR(p, th, tk, 0.0, 0.0, r, 6);
    EXPECT_NEAR(p, 0.25 + std::asin(r) / (2.0 * M_PI), 1e-15) << r;
  }
  BIVNOR(p, th, tk, 0.0, 0.0, 0.5, 6);
  EXPECT_NEAR(p, 1.0 / 3.0, 1e-15);
  // rho = 1: the tail of the larger limit; rho = -1: 0 when h + k >= 0, else
  // P(Z > h) + P(Z > k) - 1.
  for (double h : {-1.5, 0.0, 0.4, 2.0})
    for (double k : {-0.7, 0.0, 1.1}) {
      BIVNOR(p, th, tk, h, k, 1.0, 6);
      EXPECT_NEAR(p, Qup(std::fmax(h, k)), 1e-15);
      BIVNOR(p, th, tk, h, k, -1.0, 6);
      EXPECT_NEAR(p, h + k >= 0 ? 0.0 : Qup(h) + Qup(k) - 1.0, 1e-15);
    }
}

TEST(Bivnor, CoarseDigitsStayInRange) {
  double p, th, tk;
  for (int digits : {0, -3, 1, 2}) {
    BIVNOR(p, th, tk, 0.8, -0.4, 0.6, digits);
    EXPECT_GE(p, 0.0);
    EXPECT_LE(p, 1.0);
  }
  BIVNOR(p, th, tk, 0.8, -0.4, 0.6, 2);
  EXPECT_NEAR(p, test::ref_upper(0.8, -0.4, 0.6), 0.05);
  // Digits beyond what doubles hold still end.
  BIVNOR(p, th, tk, 0.8, -0.4, 0.6, 400);
  EXPECT_NEAR(p, test::ref_upper(0.8, -0.4, 0.6), 1e-14);
}

// Infinite limits and limits beyond 1e150 give the exact limiting
// probability; a value that is not a number never hangs the series.
TEST(Bivnor, InfiniteAndHugeLimits) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct {
    double h, k, ref;
  } cases[] = {
      {inf, 0.5, 0.0},     {0.5, inf, 0.0},     {-inf, -inf, 1.0},   {-inf, 0.3, Qup(0.3)},
      {-1.2, -inf, Qup(-1.2)}, {1e200, 1e200, 0.0}, {-1e200, -1e200, 1.0}, {-1e151, 2.0, Qup(2.0)},
      {1e300, -1e300, 0.0}, {inf, -inf, 0.0},   {-inf, inf, 0.0},
  };
  for (double r : {-1.0, -0.999, -0.3, 0.0, 0.4, 0.999, 1.0}) {
    for (const auto& c : cases) {
      double p, th, tk;
      BIVNOR(p, th, tk, c.h, c.k, r, 6);
      EXPECT_NEAR(p, c.ref, 1e-15) << c.h << " " << c.k << " " << r;
      BIVNOR(p, th, tk, c.h, c.k, r, 15);
      EXPECT_NEAR(p, c.ref, 1e-15) << c.h << " " << c.k << " " << r;
    }
  }
  // Large but finite limits with a slope near 1 (the series' exponential
  // underflows): the pass contributes nothing and the call ends.
  double p, th, tk;
  BIVNOR(p, th, tk, 50.0, 50.0 * (0.3 + 0.99999999 * std::sqrt(1 - 0.09)), 0.3, 15);
  EXPECT_EQ(p, 0.0);
  BIVNOR(p, th, tk, -50.0, -60.0, 0.7, 15);
  EXPECT_NEAR(p, 1.0, 1e-15);
  // Not a number: the call ends with a probability of 0.
  BIVNOR(p, th, tk, nan, 0.5, 0.3, 6);
  EXPECT_EQ(p, 0.0);
  BIVNOR(p, th, tk, 0.5, 0.5, nan, 6);
  EXPECT_EQ(p, 0.0);
}

// |rho| > 1: two records on unit 7, result 0, the tails still returned.
TEST(Bivnor, ImpossibleCorrelationWritesTwoRecords) {
  char path[] = "/tmp/qv_bivnor_u7XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  runtime::OpenSpec spec;
  spec.file = path;
  spec.status = "REPLACE";
  runtime::open_unit(runtime::kMsgUnit, spec);
  double p = -1, th, tk;
  BIVNOR(p, th, tk, 0.3, -0.2, 1.0000001, 6);
  runtime::close_unit(runtime::kMsgUnit);
  EXPECT_EQ(p, 0.0);
  EXPECT_NEAR(th, Qup(0.3), 1e-15);
  EXPECT_NEAR(tk, Qup(-0.2), 1e-15);
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string s; std::getline(in, s);) lines.push_back(s);
  std::remove(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind(" BIVNOR correlation is ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("1.0000001"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], " Integral set to zero; error exit");
}

}  // namespace
}  // namespace qv::algebra
