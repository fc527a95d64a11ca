#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim/nlsqp.hpp"
#include "optim_alt/derivchk.hpp"
#include "optim_alt/options.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;
using Vec = std::vector<double>;

// f(x) = sum_j j x_j^2 / 2 + x_1: gradient g_j = j x_j (+ 1 for j = 1).
double quad(const Vec& x) {
  double f = x[0];
  for (std::size_t j = 0; j < x.size(); ++j) f += static_cast<double>(j + 1) * x[j] * x[j] / 2.0;
  return f;
}
Vec quad_grad(const Vec& x) {
  Vec g(x.size());
  for (std::size_t j = 0; j < x.size(); ++j) g[j] = static_cast<double>(j + 1) * x[j];
  g[0] += 1.0;
  return g;
}

struct Problem {
  int n;
  Vec x, bl, bu, grad, gradu, dx, y;
  std::vector<Vec> points;  // every point the callback was asked for
  int mode_at = -1;         // evaluation count at which MODE is set to -3 (-1: never)
  optim::Objfun objfun;

  explicit Problem(int n_) : n(n_), x(static_cast<std::size_t>(n_)), bl(static_cast<std::size_t>(n_), -1e20),
                             bu(static_cast<std::size_t>(n_), 1e20), dx(static_cast<std::size_t>(n_)),
                             y(static_cast<std::size_t>(n_)) {
    for (int j = 0; j < n; ++j) x[static_cast<std::size_t>(j)] = 0.5 + 0.1 * j;
    grad = quad_grad(x);
    gradu = grad;
    objfun = [this](int& mode, int nn, std::span<const double> xs, double& f, std::span<double>, int,
                    std::span<int>, std::span<double>) {
      points.emplace_back(xs.begin(), xs.begin() + nn);
      if (static_cast<int>(points.size()) == mode_at) mode = -3;
      f = quad(points.back());
    };
  }

  int check(int msglvl) {
    int inform = 99;
    std::vector<int> iusr(1);
    std::vector<double> rusr(1);
    double xnorm = 0.0;
    for (double v : x) xnorm += v * v;
    // The tolerance 1e-3 lets the forward difference of the directional check (error O(h)) pass.
    E4CHKG(inform, msglvl, n, 1e20, 1e-15, 1e-3, 1e-4, quad(x), std::sqrt(xnorm), objfun,
           bl, bu, grad, gradu, dx, x, y, iusr, rusr);
    return inform;
  }
};

void set_verify(int level) {
  E4WORK.reset();
  E4WORK.verify = level;
}

const std::vector<std::string> kTitle = {" ", " ", " Verification of the objective gradients.",
                                         " ----------------------------------------"};

TEST(E4CHKG, ACorrectGradientPassesWithItsSummaryOnTwoRecords) {
  set_verify(1);
  UnitCapture cap;
  Problem p(3);
  EXPECT_EQ(p.check(1), 0);
  const auto lines = cap.lines();
  ASSERT_GE(lines.size(), 14u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4), kTitle);
  EXPECT_EQ(lines[4], " ");
  EXPECT_EQ(lines[5], " The objective gradients seem to be ok.");
  EXPECT_EQ(lines[7].substr(0, 41), " Directional derivative of the objective ");
  EXPECT_NE(lines[7].find('D'), std::string::npos);  // D exponent
  EXPECT_EQ(lines[8].substr(0, 41), " Difference approximation                ");
  EXPECT_EQ(lines[11], "    J    X(J)     DX(J)           G(J)           Difference approxn  Itns");
  // Three rows: element number, its x, the key.
  for (int j = 1; j <= 3; ++j) {
    const std::string& row = lines[static_cast<std::size_t>(12 + j)];
    EXPECT_EQ(row.substr(0, 5), "    " + std::to_string(j)) << row;
    EXPECT_EQ(row.substr(63, 4), "  OK") << row;
  }
  const std::vector<std::string> tail(lines.end() - 6, lines.end());
  EXPECT_EQ(tail[0], " ");
  EXPECT_EQ(tail[1], "      3  Objective gradients out of the     3");
  EXPECT_EQ(tail[2], "         set in cols     1  through     3  seem to be ok.");
  EXPECT_EQ(tail[3], " ");
  EXPECT_EQ(tail[4].substr(0, 31), " The largest relative error was");
  EXPECT_EQ(tail[4].substr(43, 13), "   in element") << tail[4];
  EXPECT_EQ(tail[5], " ");
}

TEST(E4CHKG, OneWrongElementIsBadAndTheSummaryCountsIt) {
  set_verify(1);
  UnitCapture cap;
  Problem p(3);
  p.grad[1] = p.gradu[1] = p.grad[1] / 3.0;  // g_2 = 2 x_2 supplied as x_2 * 2/3: error 2
  EXPECT_EQ(p.check(1), 1);
  const auto lines = cap.lines();
  EXPECT_EQ(lines[5], " XXX  The objective gradients seem to be incorrect.");
  bool bad_row = false;
  for (const auto& l : lines)
    if (l.substr(0, 5) == "    2") bad_row = l.substr(63, 4) == "BAD?";
  EXPECT_TRUE(bad_row);
  const std::vector<std::string> tail(lines.end() - 6, lines.end());
  EXPECT_EQ(tail[1], " XXX  There seem to be     1  incorrect objective gradients out of the     3");
  EXPECT_EQ(tail[2], "        set in cols     1  through     3");
  // Largest error 2 (closed form: |2 x_2 - 2 x_2/3| / (2 x_2/3)) in element 2.
  EXPECT_EQ(tail[4], " The largest relative error was    2.00D+00   in element     2");
}

TEST(E4CHKG, AZeroSuppliedElementWithANonZeroEstimateIsBad) {
  set_verify(1);
  UnitCapture cap;
  Problem p(2);
  p.grad[1] = p.gradu[1] = 0.0;  // g_2 = 2 x_2 = 1.2, supplied 0: divided without "+ 1"
  EXPECT_EQ(p.check(1), 1);
  // Closed forms at x = (0.5, 0.6), dx = (1/2, -0.45): the supplied directional
  // derivative 1.5/2 = 0.75, the true one 0.75 - 0.54 = 0.21 (to O(h)); g = (1.5, 1.2).
  // The intervals (DX(J)) and iteration counts are the search's own; the error
  // of element 2 is the safe division's large value 2^1018.
  const std::vector<std::string> want = {
      " ", " ", " Verification of the objective gradients.", " ----------------------------------------",
      " ", " XXX  The objective gradients seem to be incorrect.",
      " ", " Directional derivative of the objective    7.50000000D-01",
      " Difference approximation                   2.10058329D-01",
      " ", " ", "    J    X(J)     DX(J)           G(J)           Difference approxn  Itns", " ",
      "    1  5.00D-01  8.91D-08    1.50000000D+00    1.50000000D+00    OK     1",
      "    2  6.00D-01  6.30D-08    0.00000000D+00    1.20000000D+00  BAD?     1",
      " ", " XXX  There seem to be     1  incorrect objective gradients out of the     2",
      "        set in cols     1  through     2",
      " ", " The largest relative error was    2.81+306   in element     2", " "};
  EXPECT_EQ(cap.lines(), want);
}

TEST(E4CHKG, TheDirectionUsesPointNineForEveryN) {
  set_verify(0);
  for (int n : {3, 100, 101, 251}) {
    Problem p(n);
    EXPECT_EQ(p.check(0), 0) << n;
    ASSERT_EQ(p.points.size(), 1u) << n;
    const Vec& y = p.points[0];
    const double d1 = y[0] - p.x[0], d2 = y[1] - p.x[1], d3 = y[2] - p.x[2];
    EXPECT_NEAR(d2 / d1, -0.9, 1e-9) << n;
    EXPECT_NEAR(d3 / d2, -0.9, 1e-9) << n;
  }
}

TEST(E4CHKG, PrintLevelZeroWritesNothingButReturnsTheResult) {
  set_verify(3);
  UnitCapture cap;
  Problem p(3);
  p.grad[2] = p.gradu[2] = -p.grad[2];
  EXPECT_EQ(p.check(0), 1);
  EXPECT_TRUE(cap.lines().empty());
}

TEST(E4CHKG, NoAssignedElementsAndOtherVerifyLevels) {
  set_verify(1);
  {
    UnitCapture cap;
    Problem p(2);
    p.grad.assign(2, optim::kDerivUnset);
    EXPECT_EQ(p.check(1), 0);
    auto want = kTitle;
    want.push_back(" ");
    want.push_back(" No gradient elements assigned.");
    EXPECT_EQ(cap.lines(), want);
    EXPECT_TRUE(p.points.empty());
  }
  for (int level : {-1, 2}) {
    set_verify(level);
    UnitCapture cap;
    Problem p(2);
    EXPECT_EQ(p.check(1), 0);
    EXPECT_TRUE(cap.lines().empty());
    EXPECT_TRUE(p.points.empty());
  }
}

TEST(E4CHKG, ANegativeModeEndsTheCheckWithThatValue) {
  set_verify(1);
  for (int at : {1, 3}) {  // at the directional point, inside the element search
    Problem p(2);
    p.mode_at = at;
    const Vec x0 = p.x;
    EXPECT_EQ(p.check(0), -3) << at;
    EXPECT_EQ(static_cast<int>(p.points.size()), at);
    EXPECT_EQ(p.x, x0);
  }
}

}  // namespace
}  // namespace qv::optim_alt
