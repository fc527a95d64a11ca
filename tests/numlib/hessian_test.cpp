// Finite-difference gradients and Hessians on functions whose derivatives are known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "capture.hpp"
#include "numlib/hessian.hpp"
#include "numlib/machconst.hpp"

namespace qv::numlib {
namespace {

// Storage for one call of E04XAF with n variables.
struct Call {
  explicit Call(int n)
      : n(n), hf(n, 0.0), g(n, 0.0), hc(n, 0.0), h(n * n, 0.0), work(n + n * n, 0.0), info(n, -1) {}
  int n;
  std::vector<double> hf, g, hc, h, work;
  std::vector<int> info;
  std::vector<int> iusr = std::vector<int>(1, 0);
  std::vector<double> rusr = std::vector<double>(1, 0.0);
  double fobj = 0.0;
  int iwarn = -1;
  int ifail = 1;
  int calls = 0;
  double H(int i, int j) const { return h[(i - 1) + (j - 1) * n]; }

  void run(int msglvl, double epsrf, std::vector<double>& x, int mode, const E04xafFun& f, int ifail_in = 1) {
    ifail = ifail_in;
    E04XAF(msglvl, n, epsrf, x, mode, f, n, hf, fobj, g, hc, h, iwarn, work, iusr, rusr, info, ifail);
  }
};

// f = 1/2 x'Ax + b'x + 7 with A = [[4, 1, 0], [1, 3, -1], [0, -1, 2]], b = (1, -2, 0.5).
const double kA[3][3] = {{4, 1, 0}, {1, 3, -1}, {0, -1, 2}};
const double kB[3] = {1, -2, 0.5};

E04xafFun quadratic(int* calls) {
  return [calls](int& mode, int n, std::span<double> x, double& f, std::span<double> g, int, std::span<int>,
                 std::span<double>) {
    ++*calls;
    f = 7.0;
    for (int i = 0; i < n; ++i) {
      double ax = 0.0;
      for (int k = 0; k < n; ++k) ax += kA[i][k] * x[k];
      f += 0.5 * x[i] * ax + kB[i] * x[i];
      if (mode == 1) g[i] = ax + kB[i];
    }
  };
}

TEST(E04xaf, QuadraticByFunctionValuesAndByGradients) {
  // From function values the second differences carry the cancellation error
  // that the interval search keeps small (well under its 10% bound); from
  // gradients, which are linear here, the differences are exact up to
  // rounding, and the searches report the gradient as linear (INFO 2).
  struct Expect {
    int mode, info, ifail;
    double tol;
  };
  for (const Expect e : {Expect{2, 0, 0, 1e-3}, Expect{1, 2, 2, 1e-7}}) {
    const int mode = e.mode;
    Call c(3);
    std::vector<double> x = {1.0, 2.0, -1.5};
    const std::vector<double> x0 = x;
    c.run(0, 0.0, x, mode, quadratic(&c.calls));
    SCOPED_TRACE(mode);
    EXPECT_EQ(c.ifail, e.ifail);
    EXPECT_EQ(c.iwarn, 0);
    EXPECT_EQ(x, x0);  // every component restored
    for (int j = 1; j <= 3; ++j) {
      EXPECT_EQ(c.info[j - 1], e.info);
      EXPECT_GT(c.hf[j - 1], 0.0);
      EXPECT_GT(c.hc[j - 1], 0.0);
      for (int i = 1; i <= 3; ++i) {
        EXPECT_NEAR(c.H(i, j), kA[i - 1][j - 1], e.tol * std::max(1.0, std::abs(kA[i - 1][j - 1])))
            << i << "," << j;
        EXPECT_EQ(c.H(i, j), c.H(j, i));
      }
    }
    // Gradient: central estimates in MODE 2, the objective's own in MODE 1.
    for (int i = 0; i < 3; ++i) {
      double ax = 0.0;
      for (int k = 0; k < 3; ++k) ax += kA[i][k] * x0[k];
      EXPECT_NEAR(c.g[i], ax + kB[i], 1e-6);
    }
    std::vector<double> xf = x0, gf(3);
    double want = 0.0;
    int m = 0, dummy = 0;
    quadratic(&dummy)(m, 3, xf, want, gf, 0, c.iusr, c.rusr);
    EXPECT_EQ(c.fobj, want);
  }
}

TEST(E04xaf, ModeZeroGivesGradientAndDiagonalOnly) {
  Call c(3);
  std::vector<double> x = {1.0, 2.0, -1.5};
  c.h.assign(9, -99.0);
  c.run(0, 0.0, x, 0, quadratic(&c.calls));
  EXPECT_EQ(c.ifail, 0);
  for (int j = 1; j <= 3; ++j) EXPECT_NEAR(c.H(j, 1), kA[j - 1][j - 1], 1e-3);
  EXPECT_EQ(c.H(1, 2), -99.0);  // no Hessian beyond column 1
  EXPECT_NEAR(c.g[0], 4 * 1 + 2 - 1.5 * 0 + 1, 1e-5);
  EXPECT_NEAR(c.g[1], 1 + 6 + 1.5 - 2, 1e-5);
  EXPECT_NEAR(c.g[2], -2 - 3 + 0.5, 1e-5);
  // Searches only: one evaluation at x, two per search step.
  EXPECT_LE(c.calls, 1 + 3 * 6);
}

TEST(E04xaf, EvaluationCountOfTheHessian) {
  Call c(3);
  std::vector<double> x = {1.0, 2.0, -1.5};
  c.run(0, 0.0, x, 2, quadratic(&c.calls));
  // One evaluation at x, at most six per search, then exactly 3 N (N + 1) / 2.
  EXPECT_GE(c.calls, 1 + 3 * 2 + 18);
  EXPECT_LE(c.calls, 1 + 3 * 6 + 18);
  EXPECT_EQ((c.calls - 1 - 18) % 2, 0);
}

TEST(E04xaf, ExponentialHessian) {
  // f = exp(x1 + 2 x2) + x1^2 x2: H = e*[[1, 2], [2, 4]] + [[2 x2, 2 x1], [2 x1, 0]].
  const E04xafFun f = [](int& mode, int, std::span<double> x, double& v, std::span<double> g, int, std::span<int>,
                         std::span<double>) {
    const double e = std::exp(x[0] + 2 * x[1]);
    v = e + x[0] * x[0] * x[1];
    if (mode == 1) {
      g[0] = e + 2 * x[0] * x[1];
      g[1] = 2 * e + x[0] * x[0];
    }
  };
  for (int mode : {2, 1}) {
    Call c(2);
    std::vector<double> x = {0.3, -0.4};
    c.run(0, 0.0, x, mode, f);
    const double e = std::exp(0.3 - 0.8);
    const double want[2][2] = {{e + 2 * -0.4, 2 * e + 2 * 0.3}, {2 * e + 2 * 0.3, 4 * e}};
    SCOPED_TRACE(mode);
    EXPECT_EQ(c.ifail, 0);
    for (int i = 1; i <= 2; ++i)
      for (int j = 1; j <= 2; ++j) EXPECT_NEAR(c.H(i, j), want[i - 1][j - 1], 1e-4 * std::abs(want[i - 1][j - 1]) + 1e-6);
  }
}

TEST(E04xaf, StationaryPointGivesSoftFailureTwo) {
  // At the minimum of the quadratic the gradient is zero, so forward and central
  // estimates cannot agree to half of it: INFO 4 and IFAIL 2, but the Hessian is good.
  // Minimum of 1/2 x'Ax + b'x: A x = -b.
  // Solve the 3 x 3 system by Cramer's rule.
  auto det3 = [](const double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  };
  const double d = det3(kA);
  std::vector<double> x(3);
  for (int col = 0; col < 3; ++col) {
    double m[3][3];
    for (int i = 0; i < 3; ++i)
      for (int k = 0; k < 3; ++k) m[i][k] = k == col ? -kB[i] : kA[i][k];
    x[col] = det3(m) / d;
  }
  Call c(3);
  c.run(0, 0.0, x, 2, quadratic(&c.calls), 1);
  EXPECT_EQ(c.ifail, 2);
  for (int j = 0; j < 3; ++j) EXPECT_GT(c.info[j], 0);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(c.H(i, j), kA[i - 1][j - 1], 1e-3 * std::max(1.0, std::abs(kA[i - 1][j - 1])));

  // With IFAIL -1 the soft failure is reported and control returns.
  test::UnitCapture cap;
  Call c2(3);
  std::vector<double> x2 = x;
  c2.run(0, 0.0, x2, 2, quadratic(&c2.calls), -1);
  EXPECT_EQ(c2.ifail, 2);
  const auto lines = cap.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], " One or more variables have a nonzero INFO value");
  EXPECT_EQ(lines[1], " ** ABNORMAL EXIT from Numerical Library routine E04XAF: IFAIL =     2");
  EXPECT_EQ(lines[2], " ** Library soft failure - control returned");
}

TEST(E04xaf, MinimumHuggingABound) {
  // f = x1/a - log(x1) + (x2 - 1)^2 + x1 x2 has its curvature 1/x1^2 = 10^6 at
  // x1 = a = 10^-3, next to the bound x1 > 0.  The steps are positive, so the
  // function is never evaluated outside its domain.
  const double a = 1e-3;
  const E04xafFun f = [a](int&, int, std::span<double> x, double& v, std::span<double>, int, std::span<int>,
                          std::span<double>) {
    v = x[0] / a - std::log(x[0]) + (x[1] - 1) * (x[1] - 1) + x[0] * x[1];
  };
  Call c(2);
  std::vector<double> x = {a, 0.5};
  c.run(0, 0.0, x, 2, f);
  EXPECT_TRUE(c.ifail == 0 || c.ifail == 2);
  // Errors measured on the scale of the curvatures: the cross term is small
  // beside sqrt(H11 H22) and carries the cancellation error of that scale.
  EXPECT_NEAR(c.H(1, 1), 1e6, 1e6 * 1e-3);
  EXPECT_NEAR(c.H(2, 2), 2.0, 2.0 * 1e-3);
  EXPECT_NEAR(c.H(1, 2), 1.0, std::sqrt(2e6) * 1e-3);
  EXPECT_EQ(c.H(1, 2), c.H(2, 1));
  EXPECT_EQ(x[0], a);
}

TEST(E04xaf, ArgumentErrorsEvaluateNothing) {
  struct Case {
    int n, mode, lhes;
    const char* msg;
  };
  const Case cases[] = {
      {0, 2, 1, " Error return from E04XAF because N is less than 1"},
      {2, 3, 2, " Error return from E04XAF because MODE is out of range"},
      {2, -1, 2, " Error return from E04XAF because MODE is out of range"},
      {2, 2, 1, " Error return from E04XAF because LHES is less than N"},
  };
  for (const Case& k : cases) {
    int calls = 0;
    std::vector<double> x(2, 1.0), hf(2), g(2), hc(2), h(4), work(6), rusr(1);
    std::vector<int> info(2), iusr(1);
    double fobj = 0;
    int iwarn = 0;
    test::UnitCapture cap;
    int ifail = -1;
    E04XAF(0, k.n, 0.0, x, k.mode, quadratic(&calls), k.lhes, hf, fobj, g, hc, h, iwarn, work, iusr, rusr, info,
           ifail);
    EXPECT_EQ(ifail, 1);
    EXPECT_EQ(calls, 0);
    const auto lines = cap.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], k.msg);
  }
}

TEST(E04xaf, EpsrfChecks) {
  // f = 10 + small quadratic: FOBJ = 10.
  const E04xafFun f = [](int&, int, std::span<double> x, double& v, std::span<double>, int, std::span<int>,
                         std::span<double>) { v = 10.0 + (x[0] - 1) * (x[0] - 1); };
  const E04xafFun fneg = [](int&, int, std::span<double> x, double& v, std::span<double>, int, std::span<int>,
                            std::span<double>) { v = -10.0 + (x[0] - 1) * (x[0] - 1); };
  struct Case {
    double epsrf;
    bool negative;
    int iwarn;
    const char* msg;  // with MSGLVL 1
  };
  const Case cases[] = {
      {0.0, false, 0, nullptr},
      {1.0, false, 2, " WARNING EPSRF is too large and has been set to default value."},
      {1e-30, false, 1, " WARNING EPSRF is too small and has been set to default value"},
      {1e-8, false, 0, nullptr},
      {1.0, true, 0, nullptr},    // a negative FOBJ skips both checks
      {1e-30, true, 0, nullptr},
  };
  for (const Case& k : cases) {
    Call c(1);
    std::vector<double> x = {2.0};
    {
      test::UnitCapture cap;
      c.run(1, k.epsrf, x, 0, k.negative ? fneg : f);
      const auto lines = cap.lines();
      ASSERT_FALSE(lines.empty());
      if (k.msg) EXPECT_EQ(lines[0], k.msg);
      else EXPECT_EQ(lines[0], " ");
    }
    EXPECT_EQ(c.iwarn, k.iwarn) << k.epsrf;
    // Without messages nothing is written, but IWARN is the same.
    test::UnitCapture quiet;
    Call d(1);
    std::vector<double> y = {2.0};
    d.run(0, k.epsrf, y, 0, k.negative ? fneg : f);
    EXPECT_EQ(d.iwarn, k.iwarn);
    EXPECT_TRUE(quiet.lines().empty());
  }
}

TEST(E04xaf, ObjectiveStopsTheRoutine) {
  // MODE -5 at the first call.
  {
    Call c(2);
    std::vector<double> x = {1.0, 1.0};
    const E04xafFun f = [](int& mode, int, std::span<double>, double& v, std::span<double>, int nstate,
                           std::span<int>, std::span<double>) {
      EXPECT_EQ(nstate, 1);
      v = 0.0;
      mode = -5;
    };
    c.run(0, 0.0, x, 2, f, 1);
    EXPECT_EQ(c.ifail, -5);
  }
  // MODE -3 in the middle of a search: the message is printed with IFAIL -1.
  {
    Call c(2);
    std::vector<double> x = {1.0, 1.0};
    int calls = 0;
    std::vector<int> nstates;
    const E04xafFun f = [&](int& mode, int, std::span<double> xx, double& v, std::span<double>, int nstate,
                            std::span<int>, std::span<double>) {
      nstates.push_back(nstate);
      v = xx[0] * xx[0] + xx[1];
      if (++calls == 4) mode = -3;
    };
    test::UnitCapture cap;
    c.run(0, 0.0, x, 2, f, -1);
    EXPECT_EQ(c.ifail, -3);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(nstates, (std::vector<int>{1, 0, 0, 0}));
    const auto lines = cap.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], " User requested termination by setting MODE negative in routine OBJFUN.");
    EXPECT_EQ(lines[1], " ** ABNORMAL EXIT from Numerical Library routine E04XAF: IFAIL =    -3");
  }
}

TEST(E04xaf, GivenIntervalsAreTheFirstTrial) {
  // A positive HF(j) is the first trial interval: the first evaluation of the
  // search is at x + HF(j) (MODE 2) or x + 10 HF(j) (MODE 0).
  for (int mode : {2, 0}) {
    Call c(1);
    c.hf[0] = 1e-3;
    std::vector<double> x = {1.0};
    std::vector<double> seen;
    const E04xafFun f = [&](int&, int, std::span<double> xx, double& v, std::span<double>, int, std::span<int>,
                            std::span<double>) {
      seen.push_back(xx[0]);
      v = std::exp(xx[0]);
    };
    c.run(0, 0.0, x, mode, f);
    ASSERT_GE(seen.size(), 3u);
    const double step = mode == 0 ? 1e-2 : 1e-3;
    EXPECT_DOUBLE_EQ(seen[1], 1.0 + step);
    EXPECT_DOUBLE_EQ(seen[2], 1.0 + 2 * step);
  }
}

TEST(E04xaf, ResultTable) {
  int calls = 0;
  test::UnitCapture cap;
  std::vector<double> x3 = {1.0, 2.0, -1.5};
  Call c3(3);
  c3.run(1, 0.0, x3, 2, quadratic(&calls));
  const auto lines = cap.lines();
  ASSERT_EQ(lines.size(), 5u + 3u);
  EXPECT_EQ(lines[0], " ");
  EXPECT_EQ(lines[1], " ");
  EXPECT_EQ(lines[2], "Output from routine E04XAF.");
  EXPECT_EQ(lines[3],
            "    J      X(J)   F. dif. int.   C. dif. int.     Error est.     Grad. est. Hess diag est. fun evals.  info(j)");
  EXPECT_EQ(lines[4], " ");
  // Row: (i5,1p,d10.2,1p,5d15.6,i9,i8).
  EXPECT_EQ(lines[5].size(), 5u + 10 + 5 * 15 + 9 + 8);
  EXPECT_EQ(lines[5].substr(0, 15), "    1  1.00D+00");
  EXPECT_EQ(lines[7].substr(0, 15), "    3 -1.50D+00");
  EXPECT_EQ(lines[5].substr(lines[5].size() - 1), "0");

  // MODE 1 heading.
  test::UnitCapture cap1;
  Call c1(3);
  std::vector<double> x1 = {1.0, 2.0, -1.5};
  c1.run(1, 0.0, x1, 1, quadratic(&calls));
  const auto l1 = cap1.lines();
  ASSERT_EQ(l1.size(), 8u);
  EXPECT_EQ(l1[3], "    J      X(J)   F. dif. int.   C. dif. int.     Error est. Hess diag est. fun evals.  info(j)");
  EXPECT_EQ(l1[5].size(), 5u + 10 + 4 * 15 + 9 + 8);
}

TEST(E04xaf, TracesAtMessageLevelTwo) {
  test::UnitCapture cap;
  Call c(1);
  std::vector<double> x = {2.0};
  const E04xafFun f = [](int&, int, std::span<double> xx, double& v, std::span<double>, int, std::span<int>,
                         std::span<double>) { v = xx[0] * xx[0] * xx[0]; };
  c.run(2, 0.0, x, 2, f);
  const std::string text = cap.text();
  EXPECT_NE(text.find(" //E04XAF//  Epsrf and initial function"), std::string::npos);
  EXPECT_NE(text.find(" //E04XAF//  Variable    1 =     2.000000D+00"), std::string::npos);
  EXPECT_NE(text.find(" //E04XAZ//  ITN   1 FX     H"), std::string::npos);
  EXPECT_NE(text.find(" //E04XAZ//  INFORM  HOPT    ERRBND    0"), std::string::npos);
}

}  // namespace
}  // namespace qv::numlib
