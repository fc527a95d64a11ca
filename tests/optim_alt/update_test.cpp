// The edition's update of the Hessian factor: R'R after the update against the
// BFGS formula written out with plain matrix products (the same fixtures as
// the optimizer's own update: eps enters only through the largest penalty
// weight, which they stay far below).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <string>

#include "numlib/capture.hpp"
#include "optim_alt/update.hpp"

namespace qv::optim_alt {
namespace {

constexpr int kN = 3;
using Vec = std::array<double, kN>;
using Mat = std::array<std::array<double, kN>, kN>;  // [row][col]

// The fixture's factor R (upper triangular) and step p, in the transformed
// variables.
const Mat kR = {{{2.0, 0.5, -0.3}, {0.0, 1.5, 0.2}, {0.0, 0.0, 1.0}}};
const Vec kP = {1.0, -0.5, 0.25};
const Vec kGq1 = {0.3, -0.2, 0.1};

Mat rtr(const Mat& r) {
  Mat h{};
  for (int i = 0; i < kN; ++i)
    for (int j = 0; j < kN; ++j)
      for (int k = 0; k < kN; ++k) h[i][j] += r[k][i] * r[k][j];
  return h;
}

struct Case {
  const char* name;
  double alfa;
  double curvl;   // dlag1 - dlag0
  Vec y;          // gq - gq1
  int m;          // nonlinear constraints (0 or 2)
  bool unitq;
  std::array<double, 2> cjdx1, cjdx, cs1, cs, mu;
  char flag_out;  // flag position 1 after the update (entered blank)
};

TEST(E04UCL, FactorMatchesTheBfgsFormula) {
  // Constraint Jacobians of the fixture (2 x 3), at the start and the end.
  const double j1[2][kN] = {{1.0, 0.0, 2.0}, {0.5, -1.0, 0.0}};
  const double j2[2][kN] = {{1.2, 0.1, 1.8}, {0.4, -0.9, 0.3}};
  // An orthogonal Q: a rotation by 30 degrees in the (1, 2) plane times one
  // by 45 degrees in the (2, 3) plane.
  const double c30 = std::sqrt(3.0) / 2, s30 = 0.5, c45 = std::sqrt(0.5), s45 = std::sqrt(0.5);
  const Mat q = {{{c30, -s30 * c45, s30 * s45}, {s30, c30 * c45, -c30 * s45}, {0.0, s45, c45}}};

  const Mat h = rtr(kR);
  Vec hp{}, rp{};
  double qpcurv = 0;
  for (int i = 0; i < kN; ++i)
    for (int j = 0; j < kN; ++j) {
      hp[i] += h[i][j] * kP[j];
      rp[i] += kR[i][j] * kP[j];
    }
  for (int i = 0; i < kN; ++i) qpcurv += kP[i] * hp[i];
  const double tiny = 0.1 * qpcurv;  // about 0.70 for this fixture

  const Case cases[] = {
      // Curvature above the floor and above alfa times it: plain BFGS.
      {"plain", 0.8, 2.0, {0.9, -0.2, 0.4}, 0, true, {}, {}, {}, {}, {}, ' '},
      // Below the floor without constraints: 'M', curvature raised, self-scaled.
      {"modified", 1.0, 0.05, {0.01, 0.3, 0.2}, 0, true, {}, {}, {}, {}, {}, 'M'},
      // Above the floor but below alfa times it: self-scaled only.
      {"self-scaled", 2.0, 0.5, {0.5, 0.1, -0.2}, 0, true, {}, {}, {}, {}, {}, ' '},
      // Constraints, every t_i <= 0: no penalty weights, 'M' stays.
      {"no weights", 1.0, 0.05, {0.2, 0.0, 0.1}, 2, true, {1.0, 0.5}, {0.5, -0.5}, {0.4, 0.2}, {0.2, 0.1},
       {0.3, -0.4}, 'M'},
      // Constraints, some t_i > 0: penalty weights bring the curvature to the
      // floor and the flag is blank.
      {"weights", 1.0, 0.05, {0.2, 0.0, 0.1}, 2, true, {0.5, 1.0}, {1.0, -0.5}, {0.1, 0.2}, {0.4, 0.3},
       {0.3, -0.4}, ' '},
      {"weights, general Q", 0.7, 0.05, {0.2, 0.0, 0.1}, 2, false, {0.5, 1.0}, {1.0, 2.0}, {0.1, 0.2},
       {0.4, 0.3}, {0.3, -0.4}, ' '},
      // Constraints with enough curvature: only the multiplier terms move y.
      {"constraints, plain", 0.8, 2.0, {0.9, -0.2, 0.4}, 2, false, {0.5, 1.0}, {1.0, 2.0}, {0.1, 0.2},
       {0.4, 0.3}, {0.3, -0.4}, ' '},
  };

  for (const Case& c : cases) {
    const int m = c.m;
    const int mm = std::max(m, 1);
    std::vector<double> r(kN * kN, 0.0), hstep(hp.begin(), hp.end()), rstep(rp.begin(), rp.end());
    for (int i = 0; i < kN; ++i)
      for (int j = i; j < kN; ++j) r[i + j * kN] = kR[i][j];
    std::vector<double> gq1(kGq1.begin(), kGq1.end()), gq(kN);
    for (int i = 0; i < kN; ++i) gq[i] = kGq1[i] + c.y[i];
    std::vector<double> cjac1(mm * kN), cjac(mm * kN), qv(kN * kN);
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < kN; ++j) {
        cjac1[i + j * mm] = j1[i][j];
        cjac[i + j * mm] = j2[i][j];
      }
    for (int i = 0; i < kN; ++i)
      for (int j = 0; j < kN; ++j) qv[i + j * kN] = q[i][j];
    std::vector<double> cjdx1(c.cjdx1.begin(), c.cjdx1.begin() + mm), cjdx(c.cjdx.begin(), c.cjdx.begin() + mm),
        cs1(c.cs1.begin(), c.cs1.begin() + mm), cs(c.cs.begin(), c.cs.begin() + mm),
        mu(c.mu.begin(), c.mu.begin() + mm), omega(mm, 9.0), work1(std::max(kN, mm)), work2(kN);
    const std::vector<int> kx = {1, 2, 3};
    double rfrobn = 0;
    for (int i = 0; i < kN; ++i)
      for (int j = 0; j < kN; ++j) rfrobn += kR[i][j] * kR[i][j];
    rfrobn = std::sqrt(rfrobn);
    char flag = ' ';
    const double dlag0 = -1.0, dlag1 = dlag0 + c.curvl;

    E04UCL(flag, c.unitq, kN, m, kN, kN, mm, mm, kN, kN, kx, c.alfa, dlag0, dlag1, qpcurv, cjac1, cjac, cjdx1,
           cjdx, cs1, cs, gq1, gq, hstep, rstep, mu, r, omega, qv, work1, work2, rfrobn, false);

    // Expected weights: omega_i = diff t_i+ / |t+|^2 when some t_i > 0 and the
    // curvature is below the floor, else 0.
    std::array<double, 2> tplus{};
    double tt = 0;
    for (int i = 0; i < m; ++i) {
      const double t = c.cjdx[i] * c.cs[i] - c.cjdx1[i] * c.cs1[i];
      tplus[i] = std::max(t, 0.0);
      tt += tplus[i] * tplus[i];
    }
    std::array<double, 2> om{};
    double curvl = c.curvl;
    if (c.curvl < tiny && tt > 0) {
      for (int i = 0; i < m; ++i) om[i] = (tiny - c.curvl) * tplus[i] / tt;
      curvl = tiny;
    }
    for (int i = 0; i < m; ++i) EXPECT_NEAR(omega[i], om[i], 1e-14) << c.name;
    curvl = std::max(curvl, tiny);
    EXPECT_EQ(flag, c.flag_out) << c.name;

    // y with the change of the constraint terms, taken through Q'.
    Vec v{}, y = c.y;
    for (int j = 0; j < kN; ++j)
      for (int i = 0; i < m; ++i)
        v[j] += j1[i][j] * (om[i] * c.cs1[i] - c.mu[i]) + j2[i][j] * (c.mu[i] - om[i] * c.cs[i]);
    for (int j = 0; j < kN; ++j) {
      double qtv = 0;
      for (int k = 0; k < kN; ++k) qtv += (c.unitq ? (k == j ? 1.0 : 0.0) : q[k][j]) * v[k];
      y[j] -= qtv;
    }

    // BFGS: s^2 (H - (Hp)(Hp)'/(p'Hp)) + y y'/(alfa curvl), s the self-scaling
    // factor sqrt(alfa curvl)/(sqrt(p'Hp) alfa) when curvl <= alfa 0.1 p'Hp.
    const bool ss = c.curvl <= c.alfa * tiny;
    const double sscale = ss ? std::sqrt(c.alfa * curvl) / (std::sqrt(qpcurv) * c.alfa) : 1.0;
    Mat expect{};
    double trace = 0;
    for (int i = 0; i < kN; ++i)
      for (int j = 0; j < kN; ++j) {
        expect[i][j] = sscale * sscale * (h[i][j] - hp[i] * hp[j] / qpcurv) + y[i] * y[j] / (c.alfa * curvl);
        if (i == j) trace += expect[i][j];
      }
    Mat rnew{};
    for (int i = 0; i < kN; ++i)
      for (int j = 0; j < kN; ++j) rnew[i][j] = r[i + j * kN];
    for (int i = 1; i < kN; ++i)
      for (int j = 0; j < i; ++j) EXPECT_EQ(rnew[i][j], 0.0) << c.name;  // lower triangle untouched
    const Mat got = rtr(rnew);
    for (int i = 0; i < kN; ++i)
      for (int j = 0; j < kN; ++j) EXPECT_NEAR(got[i][j], expect[i][j], 1e-12) << c.name << " " << i << j;
    // The norm estimate follows the trace identity |R|_F^2 = trace(R'R).
    EXPECT_NEAR(rfrobn, std::sqrt(trace), 1e-12) << c.name;
  }
}

// No step or no curvature along it: nothing is updated (the update would
// divide by zero).
TEST(E04UCL, NoUpdateWithoutStepOrCurvature) {
  struct Case {
    double alfa, qpcurv;
  };
  const Case cases[] = {{0.0, 3.0}, {1.0, 0.0}, {0.5, -1.0}};
  for (const Case& c : cases) {
    std::vector<double> r(kN * kN, 0.0);
    for (int i = 0; i < kN; ++i)
      for (int j = i; j < kN; ++j) r[i + j * kN] = kR[i][j];
    const std::vector<double> r0 = r;
    std::vector<double> gq1(kGq1.begin(), kGq1.end()), gq = {1.0, 1.0, 1.0}, hstep = {1.0, 2.0, 3.0},
                                                       rstep = {1.0, 1.0, 1.0}, omega(1, 5.0), work1(kN),
                                                       work2(kN), one(1, 0.0), q(1, 0.0);
    const std::vector<int> kx = {1, 2, 3};
    double rfrobn = 2.5;
    char flag = ' ';
    E04UCL(flag, true, kN, 1, kN, kN, 1, 1, 1, kN, kx, c.alfa, -1.0, -0.9, c.qpcurv, one, one, one, one, one, one,
           gq1, gq, hstep, rstep, one, r, omega, q, work1, work2, rfrobn, false);
    EXPECT_EQ(r, r0);
    EXPECT_EQ(rfrobn, 2.5);
    EXPECT_EQ(flag, ' ');
    EXPECT_EQ(omega[0], 0.0);
  }
}

// The traces of a modified update with penalty weights.  Fixture: R = I (3 x 3),
// p = (1, 0, 0), so Hp = Rp = p and qpcurv = 1, floor 0.1; alfa = 1, curvl =
// 0.05: self-scaled.  One constraint with t = cjdx cs - cjdx1 cs1 = 1*1 - 0 =
// 1: omega = (0.1 - 0.05)/1 = 0.05 and curvl reaches the floor 0.1.
TEST(E04UCL, TracesTheModifiedUpdate) {
  std::vector<double> r = {1, 0, 0, 0, 1, 0, 0, 0, 1}, hstep = {1, 0, 0}, rstep = {1, 0, 0}, gq1 = {0, 0, 0},
                      gq = {0.05, 0, 0}, cjac(3, 0.0), one0 = {0.0}, one1 = {1.0}, omega = {9.0}, work1(3),
                      work2(3), q;
  const std::vector<int> kx = {1, 2, 3};
  double rfrobn = std::sqrt(3.0);
  char flag = '.';
  numlib::test::UnitCapture cap;
  E04UCL(flag, true, 3, 1, 3, 3, 1, 1, 1, 3, kx, 1.0, -1.0, -0.95, 1.0, cjac, cjac, one0, one1, one0, one1, gq1, gq,
         hstep, rstep, one0, r, omega, q, work1, work2, rfrobn, true);
  EXPECT_EQ(flag, ' ');
  EXPECT_NEAR(omega[0], 0.05, 1e-15);
  const std::vector<std::string> want = {
      " //E04UCL// SSBFGS    min. CURVL         CURVL",
      " //E04UCL//   T      1.00D-01      5.00D-02",
      " //E04UCL//   OMEGA(IMAX)      5.00D-02",
      " //E04UCL//  Penalty parameters =",
      "   5.000000D-02",
      " //E04UCL//          ALFA         CURVL",
      " //E04UCL//      1.00D+00      1.00D-01",
  };
  EXPECT_EQ(cap.lines(), want);
}

}  // namespace
}  // namespace qv::optim_alt
