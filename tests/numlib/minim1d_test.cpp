// One-dimensional minimisation on an interval.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "capture.hpp"
#include "numlib/machconst.hpp"
#include "numlib/minim1d.hpp"

namespace qv::numlib {
namespace {

struct Search1d {
  Search1d(double e1, double e2, double a, double b, double x, double f, int maxcal, int ifail)
      : e1(e1), e2(e2), a(a), b(b), x(x), f(f), maxcal(maxcal), ifail(ifail) {}
  double e1, e2, a, b, x, f;
  int maxcal, ifail;
  int calls = 0;
  std::vector<double> points;
};

void run(Search1d& r, double (*g)(double)) {
  const E04abfFun fn = [&](double xc, double& fc) {
    ++r.calls;
    r.points.push_back(xc);
    fc = g(xc);
  };
  E04ABF(fn, r.e1, r.e2, r.a, r.b, r.maxcal, r.x, r.f, r.ifail);
}

TEST(E04abf, ArgumentErrorsEvaluateNothing) {
  struct Case {
    double a, b, e2;
    int maxcal;
  };
  const Case cases[] = {{0, 1, 0, 2}, {1, 1, 0, 10}, {2, 1, 0, 10}, {0, 1e-3, 1e-2, 10}};
  for (const Case& c : cases) {
    Search1d r{0, c.e2, c.a, c.b, 0, 0, c.maxcal, 1};
    run(r, [](double x) { return x * x; });
    EXPECT_EQ(r.ifail, 1);
    EXPECT_EQ(r.calls, 0);
  }
  // With IFAIL -1 the failure is reported, no records before the exit line.
  test::UnitCapture cap;
  Search1d r{0, 0, 0, 1, 0, 0, 2, -1};
  run(r, [](double x) { return x; });
  EXPECT_EQ(r.ifail, 1);
  const auto lines = cap.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], " ** ABNORMAL EXIT from Numerical Library routine E04ABF: IFAIL =     1");
}

TEST(E04abf, DefaultAccuraciesAreReturned) {
  Search1d r{0, 0, 0, 1, 0, 0, 100, 1};
  run(r, [](double x) { return (x - 0.3) * (x - 0.3); });
  EXPECT_EQ(r.e1, std::sqrt(EPSMACH()));
  EXPECT_EQ(r.e2, std::sqrt(EPSMACH()));
  // A value at or above EPSMACH is kept.
  Search1d q{1e-6, 1e-7, 0, 1, 0, 0, 100, 1};
  run(q, [](double x) { return (x - 0.3) * (x - 0.3); });
  EXPECT_EQ(q.e1, 1e-6);
  EXPECT_EQ(q.e2, 1e-7);
}

TEST(E04abf, ConvergesWithTheIntervalAroundTheMinimum) {
  struct Case {
    double (*g)(double);
    double a, b, xmin, e1, e2;
  };
  // The accuracies asked for stay above the width over which the function is
  // flat to rounding (about sqrt(eps) relative at a smooth minimum).
  const Case cases[] = {
      {[](double x) { return (x - 0.3) * (x - 0.3); }, 0, 1, 0.3, 1e-8, 1e-10},
      {[](double x) { return (x - 0.3) * (x - 0.3) + 5; }, 0, 1, 0.3, 0, 0},
      {[](double x) { return std::abs(x - 0.77); }, 0, 1, 0.77, 1e-8, 1e-10},
      {[](double x) { return -std::cos(x); }, -2, 5, 0.0, 1e-6, 1e-6},
      {[](double x) { return x; }, 0, 1, 0.0, 1e-7, 1e-9},    // at the left end
      {[](double x) { return -x; }, 0, 1, 1.0, 1e-7, 1e-9},   // at the right end
      {[](double x) { return std::exp(x) - 4 * x; }, 0, 3, std::log(4.0), 1e-6, 1e-9},
      // A squared discrepancy, as the power calculations minimise.
      {[](double x) { return std::pow(1 - std::exp(-x / 10) - 0.8, 2); }, 0, 100, -10 * std::log(0.2), 1e-8, 1e-8},
  };
  for (const Case& c : cases) {
    Search1d r{c.e1, c.e2, c.a, c.b, 0, 0, 200, 1};
    run(r, c.g);
    SCOPED_TRACE(c.xmin);
    EXPECT_EQ(r.ifail, 0);
    EXPECT_EQ(r.maxcal, r.calls);
    EXPECT_GE(r.calls, 3);
    // The interval holds the minimum up to the tolerance (where the function
    // is flat to rounding, ties may move an end past the exact minimiser).
    const double tol = r.e1 * std::abs(r.x) + r.e2;
    EXPECT_LE(r.a, c.xmin + tol);
    EXPECT_GE(r.b, c.xmin - tol);
    EXPECT_LE(r.a, r.x);
    EXPECT_GE(r.b, r.x);
    EXPECT_LE(r.b - r.a, 4 * tol + 1e-15);
    // Smooth minima are located to the tolerance, non-smooth ones too here.
    EXPECT_NEAR(r.x, c.xmin, std::sqrt(tol) + 4 * tol);
    EXPECT_EQ(r.f, c.g(r.x));
  }
}

TEST(E04abf, FirstThreePoints) {
  // f(0.6) < f(0.4): the third point is at A + 0.8 L; otherwise at A + 0.2 L.
  {
    Search1d r{1e-6, 1e-6, 0, 1, 0, 0, 3, 1};
    run(r, [](double x) { return (x - 0.9) * (x - 0.9); });
    ASSERT_EQ(r.points.size(), 3u);
    EXPECT_DOUBLE_EQ(r.points[0], 0.4);
    EXPECT_DOUBLE_EQ(r.points[1], 0.6);
    EXPECT_DOUBLE_EQ(r.points[2], 0.8);
  }
  {
    Search1d r{1e-6, 1e-6, 0, 1, 0, 0, 3, 1};
    run(r, [](double x) { return (x - 0.5) * (x - 0.5); });  // a tie takes u
    ASSERT_EQ(r.points.size(), 3u);
    EXPECT_DOUBLE_EQ(r.points[2], 0.2);
  }
}

TEST(E04abf, CallLimitGivesErrorTwo) {
  Search1d r{1e-8, 1e-10, 0, 1, 0, 0, 3, 1};
  run(r, [](double x) { return (x - 0.9) * (x - 0.9); });
  EXPECT_EQ(r.ifail, 2);
  EXPECT_EQ(r.calls, 3);
  EXPECT_EQ(r.maxcal, 3);
  // The best of the three points and the interval about it.
  EXPECT_DOUBLE_EQ(r.x, 0.8);
  EXPECT_DOUBLE_EQ(r.f, (0.8 - 0.9) * (0.8 - 0.9));
  EXPECT_LE(r.a, 0.9);
  EXPECT_GE(r.b, 0.9);

  Search1d q{1e-8, 1e-10, 0, 1, 0, 0, 6, 1};
  run(q, [](double x) { return std::cosh(x - 0.123); });
  EXPECT_EQ(q.ifail, 2);
  EXPECT_EQ(q.calls, 6);
}

}  // namespace
}  // namespace qv::numlib
