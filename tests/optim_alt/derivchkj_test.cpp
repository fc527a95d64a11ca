#include <gtest/gtest.h>

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

// Constraints c1 = x1^2 + x2 and c2 = x1 x2 (further variables enter neither).
// Jacobian (closed form): row 1 (2 x1, 1, 0...), row 2 (x2, x1, 0...).
struct Jac {
  int n, m = 2;
  Vec x, bl, bu, c, c1, cjac, cjacu, cjdx, dx, err, y;
  std::vector<int> kneed;
  std::vector<Vec> points;
  bool sets_jacobian = true;  // false: the callback leaves the Jacobian alone
  optim::Cnlfun cnlfun;

  explicit Jac(int n_) : n(n_) {
    const auto un = static_cast<std::size_t>(n);
    x.resize(un);
    for (int j = 0; j < n; ++j) x[static_cast<std::size_t>(j)] = 0.5 + 0.1 * j;
    bl.assign(un, -1e20);
    bu.assign(un, 1e20);
    c = values(x);
    c1.resize(2);
    cjdx.resize(2);
    err.resize(2);
    dx.resize(un);
    y.resize(un);
    kneed.assign(2, 1);
    cjac.assign(2 * un, 0.0);
    cjac[0] = 2 * x[0];
    cjac[1] = x[1];
    cjac[2] = 1.0;
    cjac[3] = x[0];
    cjacu = cjac;
    cnlfun = [this](int& mode, int, int nn, int ld, std::span<const int>, std::span<const double> xs,
                    std::span<double> cv, std::span<double> cj, int, std::span<int>, std::span<double>) {
      points.emplace_back(xs.begin(), xs.begin() + nn);
      const Vec v = values(points.back());
      if (mode == 0 || mode == 2) {
        cv[0] = v[0];
        cv[1] = v[1];
      }
      if ((mode == 1 || mode == 2) && sets_jacobian) {
        cj[0] = 2 * xs[0];
        cj[1] = xs[1];
        cj[static_cast<std::size_t>(ld)] = 1.0;
        cj[static_cast<std::size_t>(ld) + 1] = xs[0];
      }
    };
  }
  static Vec values(const Vec& x) { return {x[0] * x[0] + x[1], x[0] * x[1]}; }

  int check(int msglvl, int lvlder = 1) {
    int inform = 99;
    std::vector<int> iusr(1);
    std::vector<double> rusr(1);
    // The tolerance 1e-3 lets the forward difference of the directional check (error O(h)) pass.
    E4CHKJ(inform, lvlder, msglvl, 2 * n, n, m, m, m, 1e20, 1e-15, 1e-3, 1e-4, 1.0, cnlfun, kneed, bl, bu, c, c1,
           cjac, cjacu, cjdx, dx, err, x, y, iusr, rusr);
    return inform;
  }
};

void set_verify(int level) {
  E4WORK.reset();
  E4WORK.verify = level;
}

TEST(E4CHKJ, ACorrectJacobianPassesWithItsSummaryOnTwoRecords) {
  set_verify(2);
  UnitCapture cap;
  Jac p(2);
  EXPECT_EQ(p.check(1), 0);
  const auto lines = cap.lines();
  ASSERT_GE(lines.size(), 10u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
            (std::vector<std::string>{" ", " ", " Verification of the constraint gradients.",
                                      " -----------------------------------------", " ",
                                      " The Jacobian seems to be ok."}));
  EXPECT_EQ(lines[7].substr(0, 31), " The largest relative error was");
  EXPECT_EQ(lines[7].substr(43), "  in constraint    1") << lines[7];
  const std::vector<std::string> tail(lines.end() - 6, lines.end());
  EXPECT_EQ(tail[1], "      4  Jacobian elements out of the     4");
  EXPECT_EQ(tail[2], "         set in cols     1  through     2  seem to be ok.");
  EXPECT_EQ(tail[4].substr(43, 9), "  in row ") << tail[4];
  EXPECT_EQ(p.cjacu, p.cjac);
}

TEST(E4CHKJ, AWrongElementIsBadWithTheTableLaidOut) {
  set_verify(2);
  UnitCapture cap;
  Jac p(2);
  p.cjac[2] = p.cjacu[2] = 0.0;  // dc1/dx2 = 1 supplied as 0: error 1/(0 + 1) = 1
  EXPECT_EQ(p.check(1), 1);
  // Closed forms at x = (0.5, 0.6), dx = (1/2, -0.45): supplied directional
  // derivative of c1 0.5, true 0.5 - 0.45 = 0.05, error |0.05 - 0.5|/(0.5 + 1)
  // = 0.3 (the "+ 1" kept); element (1, 2) error |1 - 0|/(0 + 1) = 1; the
  // Jacobian values 1, 0.6, 0.5 as given above.  Intervals, iteration counts
  // and the verdict comment are the search's own.
  const std::vector<std::string> want = {
      " ", " ", " Verification of the constraint gradients.", " -----------------------------------------",
      " ", " XXX  The Jacobian seems to be incorrect.",
      " ", " The largest relative error was    3.00D-01  in constraint    1", " ",
      " ", " ", " Column    X(J)     DX(J)    Row    Jacobian Value      Difference Approxn  Itns", " ",
      "      1  5.00D-01  6.08D-08    1    1.00000000D+00    1.00000000D+00    OK     1",
      "                   9.49D-07    2    6.00000000D-01    6.00000000D-01    OK     3",
      " ", " ", " Column    X(J)     DX(J)    Row    Jacobian Value      Difference Approxn  Itns", " ",
      "      2  6.00D-01  1.01D-06    1    0.00000000D+00    1.00000000D+00  BAD?     3  Linear or odd?",
      "                   1.01D-06    2    5.00000000D-01    5.00000000D-01    OK     3",
      " ", " XXX  There seem to be     1  incorrect Jacobian elements out of the     4",
      "        set in cols     1  through     2",
      " ", " The largest relative error was    1.00D+00  in row    1,  column    2", " "};
  EXPECT_EQ(cap.lines(), want);
}

TEST(E4CHKJ, TheDirectionUsesPointNineForEveryN) {
  set_verify(0);
  for (int n : {3, 101, 251}) {
    Jac p(n);
    EXPECT_EQ(p.check(0), 0) << n;
    ASSERT_EQ(p.points.size(), 1u) << n;
    const Vec& y = p.points[0];
    EXPECT_NEAR((y[1] - p.x[1]) / (y[0] - p.x[0]), -0.9, 1e-9) << n;
    EXPECT_NEAR((y[2] - p.x[2]) / (y[1] - p.x[1]), -0.9, 1e-9) << n;
  }
}

TEST(E4CHKJ, PrintLevelZeroWritesNothingButReturnsTheResult) {
  set_verify(3);
  UnitCapture cap;
  Jac p(2);
  p.cjac[3] = p.cjacu[3] = -5.0;
  EXPECT_EQ(p.check(0), 1);
  EXPECT_TRUE(cap.lines().empty());
}

TEST(E4CHKJ, EveryColumnWithAMissingElementSkipsTheDirectionalCheck) {
  set_verify(0);
  UnitCapture cap;
  Jac p(2);
  p.cjac[0] = p.cjac[3] = optim::kDerivUnset;
  EXPECT_EQ(p.check(1), 0);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{" ", " ", " Verification of the constraint gradients.",
                                                   " -----------------------------------------", " ",
                                                   " Every column contains a constant or missing element."}));
  EXPECT_TRUE(p.points.empty());
}

TEST(E4CHKJ, ElementsLeftUnsetAtLevelThreeAreConstantAndNotChecked) {
  set_verify(2);
  UnitCapture cap;
  Jac p(2);
  p.cjac[0] = p.cjac[1] = p.cjac[2] = p.cjac[3] = 0.0;  // all claimed; the callback sets none of them
  p.cjacu = p.cjac;
  p.sets_jacobian = false;
  EXPECT_EQ(p.check(1, 3), 0);
  const auto lines = cap.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), " All     4   assigned Jacobian elements are constant.");
  EXPECT_EQ(p.cjacu, p.cjac);  // copied back over the markers
}

}  // namespace
}  // namespace qv::optim_alt
