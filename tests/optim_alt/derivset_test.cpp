#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim/npderiv.hpp"
#include "optim_alt/derivset.hpp"
#include "optim_alt/options.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;
using Lines = std::vector<std::string>;
using Vec = std::vector<double>;

// f = x1^2 x2 + exp(x2), c = (x1 x2, x1 + x2^3) at x = (1.5, 0.5).  The
// callbacks set the elements named in their masks (true: set).
struct Problem {
  int n = 2, m = 2;
  std::vector<bool> gset{true, true}, jset{true, true, true, true};  // column-major J
  int stop_at_call = 0;  // a callback returns MODE -3 at this call (0: never)
  int calls = 0;
  Vec x{1.5, 0.5};

  optim::Objfun obj() {
    return [this](int& mode, int, std::span<const double> xs, double& f, std::span<double> g, int, std::span<int>,
                  std::span<double>) {
      if (++calls == stop_at_call) {
        mode = -3;
        return;
      }
      f = xs[0] * xs[0] * xs[1] + std::exp(xs[1]);
      if (mode == 0) return;
      if (gset[0]) g[0] = 2.0 * xs[0] * xs[1];
      if (gset[1]) g[1] = xs[0] * xs[0] + std::exp(xs[1]);
    };
  }
  optim::Cnlfun con() {
    return [this](int& mode, int, int, int ldj, std::span<const int>, std::span<const double> xs, std::span<double> c,
                  std::span<double> j, int, std::span<int>, std::span<double>) {
      if (++calls == stop_at_call) {
        mode = -3;
        return;
      }
      c[0] = xs[0] * xs[1];
      c[1] = xs[0] + xs[1] * xs[1] * xs[1];
      if (mode == 0) return;
      const double el[4] = {xs[1], 1.0, xs[0], 3.0 * xs[1] * xs[1]};
      for (int k = 0; k < 4; ++k)
        if (jset[static_cast<std::size_t>(k)])
          j[static_cast<std::size_t>((k % 2) + (k / 2) * ldj)] = el[k];
    };
  }
};

// One set-up run: arrays of the problem, results in the members.
struct DervRun {
  Vec c = Vec(2), wrk1 = Vec(2), cjac = Vec(4), cjacu = Vec(4), wrk2 = Vec(2), dx = Vec(2), grad = Vec(2),
      gradu = Vec(2), hf = Vec(2), hc = Vec(2), wrk3 = Vec(2), wrk4 = Vec(2), w = Vec(4), rusr = Vec(1);
  Vec bl = Vec(2, -1e10), bu = Vec(2, 1e10);
  std::vector<int> kneed = std::vector<int>(2), iusr = std::vector<int>(1);
  int inform = 99, nfun = 0, ngrad = 0;
  double fdnorm = 0.0, fobj = 0.0;

  void run(Problem& p, int msglvl, int kfirst, int& lvlder) {
    E4DERV(inform, msglvl, kfirst, lvlder, nfun, ngrad, 2, 2, p.n, p.m, p.con(), p.obj(), kneed, 1e10, 1e-15, 0.0, 0.0,
           1e-6, fdnorm, fobj, 1.58, bl, bu, c, wrk1, cjac, cjacu, wrk2, dx, grad, gradu, hf, hc, p.x, wrk3, wrk4, w, 4,
           iusr, rusr);
  }
};

TEST(E4DERV, EveryElementSetRaisesTheLevelWithTwoRecordsEach) {
  E4WORK.reset();
  UnitCapture cap;
  Problem p;
  DervRun s;
  int lvlder = 0;
  s.run(p, 1, 1, lvlder);
  EXPECT_EQ(s.inform, 0);
  EXPECT_EQ(lvlder, 3);
  EXPECT_EQ(s.nfun, 1);
  EXPECT_EQ(s.ngrad, 1);
  EXPECT_EQ(cap.lines(), (Lines{" ", " ", " All Jacobian elements have been set.", " Derivative level increased to    2",
                                " ", " ", " All objective gradient elements have been set.",
                                " Derivative level increased to    3"}));
  // The values and derivatives at x (closed form).
  EXPECT_DOUBLE_EQ(s.fobj, 2.25 * 0.5 + std::exp(0.5));
  EXPECT_EQ(s.grad, (Vec{1.5, 2.25 + std::exp(0.5)}));
  EXPECT_EQ(s.cjac, (Vec{0.5, 1.0, 1.5, 0.75}));
}

TEST(E4DERV, MissingElementsAreCountedAndEstimated) {
  E4WORK.reset();
  UnitCapture cap;
  Problem p;
  p.gset = {true, false};
  p.jset = {true, false, true, true};
  DervRun s;
  int lvlder = 0;
  s.run(p, 1, 1, lvlder);
  EXPECT_EQ(s.inform, 0);
  EXPECT_EQ(lvlder, 0);
  EXPECT_EQ(E4WORK.nmissj, 1);
  EXPECT_EQ(E4WORK.nmissg, 1);
  const Lines got = cap.lines();
  ASSERT_GE(got.size(), 8u);
  EXPECT_EQ(Lines(got.begin(), got.begin() + 8),
            (Lines{" ", " ", " The user sets      3   out of     4   Jacobian elements.",
                   " Each iteration,      1   Jacobian elements will be estimated numerically.", " ", " ",
                   " The user sets      1   out of     2   objective gradient elements.",
                   " Each iteration,      1   gradient elements will be estimated numerically."}));
  // The estimates of the interval search: closed forms 1 and 2.25 + e^0.5.
  EXPECT_NEAR(s.cjac[1], 1.0, 1e-7);
  EXPECT_NEAR(s.grad[1], 2.25 + std::exp(0.5), 1e-6);
  EXPECT_EQ(s.cjacu[1], optim::kDerivUnset);
  EXPECT_EQ(s.gradu[1], optim::kDerivUnset);
}

TEST(E4DERV, LaterCallsAndPrintLevelZeroWriteNothing) {
  E4WORK.reset();
  UnitCapture cap;
  Problem p;
  DervRun s;
  int lvlder = 0;
  s.run(p, 1, 0, lvlder);
  EXPECT_EQ(lvlder, 0);  // not raised after the first call
  DervRun s2;
  lvlder = 0;
  s2.run(p, 0, 1, lvlder);
  EXPECT_EQ(lvlder, 3);
  EXPECT_TRUE(cap.lines().empty());
}

TEST(E4DERV, ANegativeModeIsTheResult) {
  E4WORK.reset();
  for (int at : {1, 2}) {
    Problem p;
    p.stop_at_call = at;
    DervRun s;
    int lvlder = 3;
    s.run(p, 0, 1, lvlder);
    EXPECT_EQ(s.inform, -3) << at;
    EXPECT_EQ(s.nfun, 0);
  }
}

TEST(E4DERV, TheChecksReportAWrongGradient) {
  E4WORK.reset();
  E4WORK.verify = 0;
  Problem p;
  DervRun s;
  int lvlder = 3;
  // A supplied gradient that is wrong in its second element.
  optim::Objfun bad = [&p](int& mode, int n, std::span<const double> xs, double& f, std::span<double> g, int k,
                           std::span<int> iu, std::span<double> ru) {
    p.obj()(mode, n, xs, f, g, k, iu, ru);
    if (mode > 0) g[1] = -g[1];
  };
  E4DERV(s.inform, 0, 1, lvlder, s.nfun, s.ngrad, 2, 2, 2, 2, p.con(), bad, s.kneed, 1e10, 1e-15, 0.0, 0.0, 1e-6,
         s.fdnorm, s.fobj, 1.58, s.bl, s.bu, s.c, s.wrk1, s.cjac, s.cjacu, s.wrk2, s.dx, s.grad, s.gradu, s.hf, s.hc,
         p.x, s.wrk3, s.wrk4, s.w, 4, s.iusr, s.rusr);
  EXPECT_EQ(s.inform, 1);
}

// E4FDGR is NPFDGR: the same estimates, bit for bit, on the edition's state.
TEST(E4FDGR, GivesTheOptimizersEstimatesOnTheEditionsState) {
  for (bool central : {false, true}) {
    for (int cls : {0, 2}) {
      Problem p;
      p.gset = {false, true};
      p.jset = {false, true, true, false};
      // The callbacks' arrays with their markers, values at x.
      Vec c{0.75, 1.625}, c1(2), c2(2), bl(2, -1e10), bu(2, 1e10), hf{1e-6, 2e-6}, hc{1e-4, 3e-4}, w(2), rusr(1);
      std::vector<int> kneed(2), iusr(1);
      const double fobj = 2.25 * 0.5 + std::exp(0.5);
      auto fill = [](Vec& cj, Vec& cju, Vec& g, Vec& gu) {
        cju = {optim::kDerivUnset, 1.0, 1.5, optim::kDerivUnset};
        cj = cju;
        gu = {optim::kDerivUnset, 2.25 + std::exp(0.5)};
        g = gu;
      };
      Vec cjA, cjuA, gA, guA, cjB, cjuB, gB, guB;
      fill(cjA, cjuA, gA, guA);
      fill(cjB, cjuB, gB, guB);
      optim::Npdsta st;
      st.dif_class = cls == 2 ? optim::kDifFixed : optim::kDifComputed;
      st.nmissj = 2;
      int infoA = 9, infoB = 9;
      double fdA = 0, fdB = 0;
      optim::NPFDGR(st, central, infoA, 2, 2, 2, 2, 1e10, 1e-4, 1e-6, fdA, fobj, p.con(), p.obj(), kneed, bl, bu, c,
                    c1, c2, cjA, cjuA, gA, guA, hf, hc, p.x, w, 2, iusr, rusr);
      E4WORK.reset();
      E4WORK.dif_class = cls;
      E4WORK.nmissj = 2;
      E4FDGR(central, infoB, 2, 2, 2, 2, 1e10, 1e-4, 1e-6, fdB, fobj, p.con(), p.obj(), kneed, bl, bu, c, c1, c2, cjB,
             cjuB, gB, guB, hf, hc, p.x, w, 2, iusr, rusr);
      EXPECT_EQ(infoA, 0);
      EXPECT_EQ(infoB, 0);
      EXPECT_EQ(cjA, cjB);
      EXPECT_EQ(gA, gB);
      EXPECT_EQ(fdA, fdB);
      // Closed forms: dc1/dx1 = x2 = 0.5, dc2/dx2 = 3 x2^2 = 0.75, df/dx1 = 2 x1 x2 = 1.5.
      const double tol = central ? 1e-6 : 1e-4;
      EXPECT_NEAR(cjB[0], 0.5, tol) << central << cls;
      EXPECT_NEAR(cjB[3], 0.75, tol) << central << cls;
      EXPECT_NEAR(gB[0], 1.5, tol) << central << cls;
      EXPECT_EQ(p.x, (Vec{1.5, 0.5}));
    }
  }
}

}  // namespace
}  // namespace qv::optim_alt
