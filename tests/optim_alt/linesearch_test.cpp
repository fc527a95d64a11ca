// The edition's line search: its step calculators on one-dimensional
// functions with known minimisers, its bad starts and limits, and the driver
// on small problems whose merit function is worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim_alt/linesearch.hpp"
#include "optim_alt/merit.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;
using Fn = std::function<double(double)>;

struct Search1d {
  int inform = 0, numf = 0, calls = 0;  // calls: evaluations of the function
  double alfbst = 0, fbest = 0, gbest = 0;
};

struct SearchSetup {
  double alfa = 1.0, alfmax = 10.0, epsaf = 1e-12, lstol = 0.9, tolabs = 1e-10, tolrel = 1e-12, tolmax = 1e-30,
         alfsml = 0.0;
};

// Drives a calculator on f (with slope g for E4SRDG) from step 0 until done.
Search1d drive(bool values_only, const Fn& f, const Fn& g, const SearchSetup& su, bool debug = false) {
  Search1d r;
  bool first = true, done = false, imprvd = false;
  double alfa = su.alfa, tolabs = su.tolabs, ftry = 0, gtry = 0;
  const double f0 = f(0.0), g0 = g(0.0);
  for (int guard = 0; guard < 100; ++guard) {
    if (values_only)
      E4SRNG(first, debug, done, imprvd, r.inform, r.numf, su.alfmax, su.alfsml, su.epsaf, f0, g0, su.lstol, ftry,
             tolabs, su.tolrel, su.tolmax, alfa, r.alfbst, r.fbest);
    else
      E4SRDG(first, debug, done, imprvd, r.inform, r.numf, su.alfmax, su.epsaf, f0, g0, su.lstol, ftry, gtry, tolabs,
             su.tolrel, su.tolmax, alfa, r.alfbst, r.fbest, r.gbest);
    if (done) break;
    ftry = f(alfa);
    gtry = g(alfa);
    ++r.calls;
  }
  return r;
}

// Quadratic (a - 1)^2: minimiser 1, f(0) = 1, slope -2.
const Fn kQuad = [](double a) { return (a - 1) * (a - 1); };
const Fn kQuadG = [](double a) { return 2 * (a - 1); };
// Cubic a^3/3 - a: minimiser 1 (slope a^2 - 1), f(0) = 0, slope -1.
const Fn kCubic = [](double a) { return a * a * a / 3 - a; };
const Fn kCubicG = [](double a) { return a * a - 1; };
// Quadratic (a - 3)^2: minimiser 3, beyond alfmax = 2 in the cases below.
const Fn kFar = [](double a) { return (a - 3) * (a - 3); };
const Fn kFarG = [](double a) { return 2 * (a - 3); };
// Linear descent -a: on [0, 2] the lowest point is alfmax, where the slope
// -1 is never small enough for success.
const Fn kLine = [](double a) { return -a; };
const Fn kLineG = [](double) { return -1.0; };

TEST(E4SRDG, FindsTheMinimiserOfQuadraticsAndCubics) {
  struct Case {
    const char* name;
    Fn f, g;
    SearchSetup su;
    int inform;
    double alfbst, tol;  // the expected best step and how close it must be
    double gmax;         // the slope there may be at most lstol |g0| = gmax
  };
  SearchSetup exact;  // the first trial is the minimiser: accepted at once
  SearchSetup tight;
  tight.lstol = 0.01;
  tight.alfa = 0.25;
  SearchSetup cubic_tight = tight;
  SearchSetup from_one;
  from_one.alfmax = 2.0;
  SearchSetup at_max;
  at_max.alfmax = 2.0;
  at_max.alfa = 2.0;
  const Case cases[] = {
      {"quadratic, exact first trial", kQuad, kQuadG, exact, 1, 1.0, 0.0, 0.0},
      {"quadratic, tight tolerance", kQuad, kQuadG, tight, 1, 1.0, 0.01, 0.02},
      {"cubic, tight tolerance", kCubic, kCubicG, cubic_tight, 1, 1.0, 0.005, 0.01},
      {"minimiser beyond alfmax, slope -2 <= 0.9 * 6", kFar, kFarG, at_max, 2, 2.0, 0.0, 5.4},
      {"linear descent: moved to alfmax without success", kLine, kLineG, from_one, 3, 2.0, 0.0, 1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Search1d r = drive(false, c.f, c.g, c.su);
    EXPECT_EQ(r.inform, c.inform);
    EXPECT_NEAR(r.alfbst, c.alfbst, c.tol);
    EXPECT_LE(std::abs(c.g(r.alfbst)), c.gmax + 1e-15);
    EXPECT_EQ(r.numf, r.calls);
    EXPECT_EQ(r.fbest, c.f(r.alfbst));
  }
}

TEST(E4SRNG, FindsTheMinimiserOfQuadraticsAndCubicsFromValues) {
  struct Case {
    const char* name;
    Fn f, g;
    SearchSetup su;
    int inform;
    double alfbst, tol;
  };
  SearchSetup exact;
  SearchSetup tight;
  tight.lstol = 0.01;
  tight.alfa = 0.25;
  SearchSetup at_max;
  at_max.alfmax = 2.0;
  at_max.alfa = 2.0;
  SearchSetup from_one;
  from_one.alfmax = 2.0;
  const Case cases[] = {
      // f(1) = 0: |fa - fbest| = 1 <= 1 * (0.9 - 0.0001) * 2.
      {"quadratic, exact first trial", kQuad, kQuadG, exact, 1, 1.0, 0.0},
      {"quadratic, tight tolerance", kQuad, kQuadG, tight, 1, 1.0, 0.05},
      {"cubic, tight tolerance", kCubic, kCubicG, tight, 1, 1.0, 0.05},
      {"minimiser beyond alfmax", kFar, kFarG, at_max, 2, 2.0, 0.0},
      // From 1 (f = -1) to 2 (f = -2): |fa - fbest| = 1 > 1 * (0.9 - 0.0001).
      // The interval reaches tolabs + tolrel alfmax = 1.02e-10 beyond alfmax,
      // and a values-only search keeps tol from its best point: the last
      // improvement may lie that far beyond.
      {"linear descent: moved to alfmax without success", kLine, kLineG, from_one, 3, 2.0, 1.03e-10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Search1d r = drive(true, c.f, c.g, c.su);
    EXPECT_EQ(r.inform, c.inform);
    EXPECT_NEAR(r.alfbst, c.alfbst, c.tol);
    EXPECT_EQ(r.numf, r.calls);
  }
}

// A slope at 0 that is not negative, or tolmax not below alfmax: code 7 on
// the first call, with no evaluation.
TEST(E4SRDGAndE4SRNG, BadStartEndsAtOnceWithCodeSeven) {
  const Fn up = [](double a) { return a; };
  const Fn one = [](double) { return 1.0; };
  const Fn flat = [](double) { return 0.0; };
  SearchSetup big_tolmax;
  big_tolmax.tolmax = 10.0;
  struct Case {
    const char* name;
    Fn f, g;
    SearchSetup su;
  };
  const Case cases[] = {{"positive slope", up, one, SearchSetup{}},
                        {"zero slope", flat, flat, SearchSetup{}},
                        {"tolmax at alfmax", kQuad, kQuadG, big_tolmax}};
  for (const auto& c : cases) {
    for (bool values_only : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (values_only ? ", values only" : ", with slopes"));
      const Search1d r = drive(values_only, c.f, c.g, c.su);
      EXPECT_EQ(r.inform, 7);
      EXPECT_EQ(r.calls, 0);
      EXPECT_EQ(r.numf, 0);
    }
  }
}

// alfuzz = alfmax unless 0.0001 |g0| alfmax > 2 epsaf; then 2 epsaf/(0.0001 |g0|).
TEST(E4SRDG, AlfuzzLiesBelowTheLargestStepOnlyWhenTheDecreaseLineExceedsTheNoise) {
  struct Case {
    double epsaf, g0, alfmax, alfuzz;
  };
  const Case cases[] = {
      {1e-4, -1.0, 100.0, 2.0},      // 0.01 > 2e-4: 2e-4/1e-4 = 2
      {1.0, -1.0, 100.0, 100.0},     // 0.01 < 2: alfmax
      {0.5e-2, -1.0, 100.0, 100.0},  // 0.01 = 2 epsaf: alfmax (not strictly larger)
  };
  for (const auto& c : cases) {
    bool first = true, done = false, imprvd = false;
    int inform = 0, numf = 0;
    double tolabs = 1e-10, alfa = 1, alfbst = 0, fbest = 0, gbest = 0;
    E4SRDG(first, false, done, imprvd, inform, numf, c.alfmax, c.epsaf, 0.0, c.g0, 0.9, 0, 0, tolabs, 1e-12, 1e-30,
           alfa, alfbst, fbest, gbest);
    EXPECT_DOUBLE_EQ(E4SRST.alfuzz, c.alfuzz);
  }
}

// Beyond alfuzz only no increase beyond the noise is asked for: with epsaf
// 1e-4, g0 = -1 and alfmax 100 (alfuzz 2), a step of 5 with f - f0 = 1e-5 is
// accepted although it misses the decrease line by 0.0005.
TEST(E4SRNG, BeyondAlfuzzAStepWithinTheNoiseIsAnImprovement) {
  bool first = true, done = false, imprvd = false;
  int inform = 0, numf = 0;
  double tolabs = 1e-10, alfa = 5, alfbst = 0, fbest = 0;
  E4SRNG(first, false, done, imprvd, inform, numf, 100.0, 0.0, 1e-4, 1.0, -1.0, 0.9, 0, tolabs, 1e-12, 1e-30, alfa,
         alfbst, fbest);
  ASSERT_FALSE(done);
  ASSERT_EQ(alfa, 5.0);
  E4SRNG(first, false, done, imprvd, inform, numf, 100.0, 0.0, 1e-4, 1.0, -1.0, 0.9, 1.0 - 1e-5, tolabs, 1e-12, 1e-30,
         alfa, alfbst, fbest);
  EXPECT_TRUE(imprvd);
  EXPECT_EQ(alfbst, 5.0);
}

// Fifteen evaluations without a better point (every trial is higher than the
// start): 6, or 4 when cramped (tolabs >= alfmax); values only with a lower
// step limit the interval falls below: 5.
TEST(E4SRDGAndE4SRNG, FifteenEvaluationsWithoutABetterPointEndInFourFiveOrSix) {
  const Fn higher = [](double a) { return a > 0 ? 1.0 : 0.0; };
  const Fn slope = [](double) { return -1.0; };
  SearchSetup plain;
  SearchSetup cramped;
  cramped.alfmax = 1e-3;
  cramped.alfa = 1e-3;
  cramped.tolabs = 1e-3;
  SearchSetup low_limit;
  low_limit.alfsml = 1e-3;
  struct Case {
    const char* name;
    bool values_only;
    SearchSetup su;
    int inform, numf;
  };
  const Case cases[] = {
      {"with slopes", false, plain, 6, 15},
      {"with slopes, cramped", false, cramped, 4, 15},
      {"values only", true, plain, 6, 15},
      {"values only, cramped", true, cramped, 4, 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Search1d r = drive(c.values_only, higher, slope, c.su);
    EXPECT_EQ(r.inform, c.inform);
    EXPECT_EQ(r.numf, c.numf);
    EXPECT_EQ(r.alfbst, 0.0);
  }
  const Search1d r = drive(true, higher, slope, low_limit);
  EXPECT_EQ(r.inform, 5);
  EXPECT_LT(r.numf, 15);
}

// --- the driver --------------------------------------------------------------

struct Problem1 {
  int n = 1, m = 0;
  int objcalls = 0, concalls = 0;
  int objmode = 0, conmode = 0;  // MODE set at the first call (0: none)
  std::function<double(double)> f, g, c, cg;
  optim::Objfun objfun() {
    return [this](int& mode, int, std::span<const double> x, double& fobj, std::span<double> gobj, int,
                  std::span<int>, std::span<double>) {
      ++objcalls;
      if (objmode != 0) {
        mode = objmode;
        return;
      }
      fobj = f(x[0]);
      gobj[0] = g(x[0]);
    };
  }
  optim::Cnlfun cnlfun() {
    return [this](int& mode, int, int, int, std::span<const int>, std::span<const double> x, std::span<double> cv,
                  std::span<double> cj, int, std::span<int>, std::span<double>) {
      ++concalls;
      if (conmode != 0) {
        mode = conmode;
        return;
      }
      cv[0] = c(x[0]);
      cj[0] = cg(x[0]);
    };
  }
};

struct Driver {
  std::vector<int> kneed = {0};
  std::vector<double> c = {0}, ctry = {0}, cjac = {0}, ujac = {0}, cjdx = {0}, cjdxtry = {0}, lambda1 = {0},
                      lambda = {0}, dlambda = {0}, s1 = {0}, s = {0}, ds = {0}, cs1 = {0}, cs = {0}, p = {1},
                      grad = {0}, ugrad = {0}, qpmul = {0}, rho = {0}, x1 = {0}, x = {0}, work = {0}, rusr = {0};
  std::vector<int> iusr = {0};
  int nfun = 0, ngrad = 0, inform = 99;
  double alfa = 1, alfbnd = 1e10, alfmax = 10, gdir = 0, dlag1 = 0, objf = 0, merit = 0;

  void run(Problem1& pr, bool needfd, double grdalf, double dlag0, double qpcurv = 1.0, bool debug = false) {
    E04UCR(needfd, debug, 1, pr.m, 1, 1, nfun, ngrad, kneed, pr.cnlfun(), pr.objfun(), alfa, alfbnd, alfmax, 0.0,
           1.0, 1e-15, 0.9, gdir, grdalf, dlag0, dlag1, objf, merit, qpcurv, 0.0, c, ctry, cjac, ujac, cjdx,
           cjdxtry, lambda1, lambda, dlambda, s1, s, ds, cs1, cs, p, grad, ugrad, qpmul, rho, x1, x, work, 1,
           iusr, rusr, inform);
  }
};

// f(x) = (x - 1)^2 from x = 0 along p = 1: the first trial alfa = 1 is the
// minimiser (f = 0, slope 0), accepted with code 1 after one evaluation.
TEST(E04UCR, AcceptsTheMinimiserOfAnUnconstrainedQuadratic) {
  for (bool needfd : {false, true}) {
    SCOPED_TRACE(needfd ? "values only" : "with gradients");
    Problem1 pr;
    pr.f = kQuad;
    pr.g = kQuadG;
    Driver d;
    d.objf = d.merit = 1.0;
    d.run(pr, needfd, -2.0, -2.0);
    EXPECT_EQ(d.inform, 1);
    EXPECT_EQ(d.alfa, 1.0);
    EXPECT_EQ(d.x[0], 1.0);
    EXPECT_EQ(d.objf, 0.0);
    EXPECT_EQ(d.merit, 0.0);
    EXPECT_EQ(d.nfun, 1);
    EXPECT_EQ(d.ngrad, needfd ? 0 : 1);
    if (!needfd) EXPECT_EQ(d.gdir, 0.0);
  }
}

// One constraint c(x) = x with slack 0, lambda = 0.5, rho = 2, scale 1 and
// f(x) = (x - 1)^2: merit(a) = (a - 1)^2 - 0.5 a + a^2, slope 4a - 2.5,
// minimiser 0.625 where f = 0.140625 and merit = 0.21875; g'p = -0.75 and
// the Lagrangian's slope -0.75 - 1 * 0.5 = -1.25 (QP multiplier 0.5).
TEST(E04UCR, MeritOfTheAugmentedLagrangianAtTheAcceptedStep) {
  E4MERT.reset();
  Problem1 pr;
  pr.m = 1;
  pr.f = kQuad;
  pr.g = kQuadG;
  pr.c = [](double x) { return x; };
  pr.cg = [](double) { return 1.0; };
  Driver d;
  d.lambda1 = {0.5};
  d.lambda = {0.5};
  d.rho = {2.0};
  d.qpmul = {0.5};
  d.cjdx = {1.0};
  d.objf = d.merit = 1.0;
  d.alfa = 0.625;
  d.run(pr, false, -2.5, -2.5);
  EXPECT_EQ(d.inform, 1);
  EXPECT_EQ(d.alfa, 0.625);
  EXPECT_DOUBLE_EQ(d.objf, 0.140625);
  EXPECT_DOUBLE_EQ(d.merit, 0.21875);
  EXPECT_DOUBLE_EQ(d.gdir, -0.75);
  EXPECT_DOUBLE_EQ(d.dlag1, -1.25);
  EXPECT_EQ(d.c[0], 0.625);
  EXPECT_EQ(d.cs[0], 0.625);
  EXPECT_EQ(d.cjac[0], 1.0);
  EXPECT_EQ(d.kneed[0], 1);
}

// The curvature guard on the same problem with alfbnd = 0.5 <= alfa < alfmax:
// CSJDX = cs'(Jp) = 0.625 at the trial, CURVLF = -1.25 - (-2.5) = 1.25.  With
// CS1JDX = 0 the change is far above max(0, 0.1 qpcurv - 1.25) times eps:
// alfmax is cut to the trial step, which then succeeds at alfmax (code 2).
// With CS1JDX = 0.625 (no change) and qpcurv = 20 (0.1 qpcurv - CURVLF =
// 0.75 > 0), alfbnd becomes min(2 * 0.625, 10) = 1.25.
TEST(E04UCR, CurvatureGuardCutsTheLargestStepOrDoublesTheStepBound) {
  struct Case {
    const char* name;
    double cs1, qpcurv;
    int inform;
    double alfbnd, alfmax;
  };
  const Case cases[] = {{"constraint term changes", 0.0, 1.0, 2, 0.5, 0.625},
                        {"constraint term unchanged", 0.625, 20.0, 1, 1.25, 10.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    E4MERT.reset();
    Problem1 pr;
    pr.m = 1;
    pr.f = kQuad;
    pr.g = kQuadG;
    pr.c = [](double x) { return x; };
    pr.cg = [](double) { return 1.0; };
    Driver d;
    d.lambda1 = {0.5};
    d.lambda = {0.5};
    d.rho = {2.0};
    d.qpmul = {0.5};
    d.cjdx = {1.0};
    d.cs1 = {c.cs1};
    d.objf = d.merit = 1.0;
    d.alfa = 0.625;
    d.alfbnd = 0.5;
    UnitCapture cap;
    d.run(pr, false, -2.5, -2.5, c.qpcurv, true);
    EXPECT_EQ(d.inform, c.inform);
    EXPECT_EQ(d.alfbnd, c.alfbnd);
    EXPECT_EQ(d.alfmax, c.alfmax);
    if (c.inform == 2) {
      std::vector<std::string> guard;
      for (const auto& l : cap.lines())
        if (l.rfind(" //E04UCR//", 0) == 0) guard.push_back(l);
      const std::vector<std::string> want = {
          " //E04UCR//         CSJDX        CS1JDX        CURVLF",
          " //E04UCR//      6.25D-01      0.00D+00      1.25D+00",
          " //E04UCR//        ALFBND          ALFA        ALFMAX",
          " //E04UCR//      5.00D-01      6.25D-01      6.25D-01",
          " //E04UCR// INFORM  =    2",
      };
      EXPECT_EQ(guard, want);
    }
  }
}

// Any negative MODE at a trial point, -1 included, ends the search at once
// with that value: one call of each callback (the constraints first).
TEST(E04UCR, ReturnsACallbacksNegativeModeAtOnce) {
  struct Case {
    const char* name;
    int objmode, conmode;
    int objcalls, concalls;
  };
  const Case cases[] = {{"objective -1", -1, 0, 1, 1}, {"objective -3", -3, 0, 1, 1}, {"constraints -1", 0, -1, 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Problem1 pr;
    pr.m = 1;
    pr.f = kQuad;
    pr.g = kQuadG;
    pr.c = [](double x) { return x; };
    pr.cg = [](double) { return 1.0; };
    pr.objmode = c.objmode;
    pr.conmode = c.conmode;
    Driver d;
    d.objf = d.merit = 1.0;
    d.run(pr, false, -2.0, -2.0);
    EXPECT_EQ(d.inform, c.objmode != 0 ? c.objmode : c.conmode);
    EXPECT_EQ(pr.objcalls, c.objcalls);
    EXPECT_EQ(pr.concalls, c.concalls);
  }
}

// A non-negative slope at step 0: code 7 and no evaluation; x stays at x1.
TEST(E04UCR, NonNegativeSlopeGivesSevenWithoutEvaluation) {
  Problem1 pr;
  pr.f = kQuad;
  pr.g = kQuadG;
  Driver d;
  d.x = {3.0};
  d.run(pr, false, 0.0, 0.0);
  EXPECT_EQ(d.inform, 7);
  EXPECT_EQ(pr.objcalls, 0);
  EXPECT_EQ(d.nfun, 0);
  EXPECT_EQ(d.alfa, 0.0);
  EXPECT_EQ(d.x[0], 0.0);
}

// --- traces -----------------------------------------------------------------

// The trace of a search on the cubic a^3/3 - a from alfa = 0.25 (alfmax 2,
// epsaf 1e-10, tolabs 1e-8, tolrel 1e-6): the set-up block (alfuzz =
// 2 epsaf/0.0001 = 2e-6), the first trial (f = 1/192 - 1/4, slope -15/16), a
// cubic fit, exact on a cubic, that lands on the minimiser 1, and success
// there.  Each call's block is closed by 52 hyphens and an empty record.
TEST(E4SRDG, GoldenTraceOfASearchOnACubic) {
  SearchSetup su;
  su.lstol = 0.01;
  su.alfa = 0.25;
  su.alfmax = 2.0;
  su.epsaf = 1e-10;
  su.tolabs = 1e-8;
  su.tolrel = 1e-6;
  UnitCapture cap;
  const Search1d r = drive(false, kCubic, kCubicG, su, true);
  const std::vector<std::string> want = {
      " ALFMAX  OLDF    OLDG    TOLABS   2.0000D+00   0.0000D+00  -1.0000D+00   1.0000D-08",
      " ALFUZZ  EPSAF           TOLREL   2.0000D-06   1.0000D-10                1.0000D-06",
      " CRAMPD                                    F",
      "----------------------------------------------------",
      " ",
      " ALFA    FTRY    GTRY    CTRY     2.5000D-01  -2.4479D-01  -9.3750D-01  -2.4477D-01",
      " A       B       B - A   TOL      0.0000D+00   1.7500D+00   1.7500D+00   2.6000D-07",
      " NSAMEA  NSAMEB  BRAKTD  CLOSEF            0            1            F            F",
      " IMPRVD  CONVRG  EXTRAP                    T            F            T",
      " ALFBST  FBEST   GBEST   CBEST    2.5000D-01  -2.4479D-01  -9.3750D-01  -2.4477D-01",
      " ALFAW   FW                      -2.5000D-01   0.0000D+00",
      " Cubic.",
      " Polynomial fit accepted.  XTRY   7.5000D-01",
      "----------------------------------------------------",
      " ",
      " ALFA    FTRY    GTRY    CTRY     1.0000D+00  -6.6667D-01   8.8818D-16  -6.6657D-01",
      " A       B       B - A   TOL     -7.5000D-01   0.0000D+00   7.5000D-01   1.0100D-06",
      " NSAMEA  NSAMEB  BRAKTD  CLOSEF            1            0            T            F",
      " IMPRVD  CONVRG  EXTRAP                    T            T            F",
      " ALFBST  FBEST   GBEST   CBEST    1.0000D+00  -6.6667D-01   8.8818D-16  -6.6657D-01",
      " ALFAW   FW                      -7.5000D-01  -2.4479D-01",
      "----------------------------------------------------",
      " ",
  };
  EXPECT_EQ(cap.lines(), want);
  EXPECT_EQ(r.inform, 1);
}

// The values-only trace on (a - 1)^2 from alfa = 0.25, same settings: the
// two-point parabola with the start slope lands on 1 (f = 0); three-point
// fits then keep to tol = 1.01e-6 from the best point, with a geometric
// bisection, until the interval closes on success.
TEST(E4SRNG, GoldenTraceOfASearchOnAQuadratic) {
  SearchSetup su;
  su.lstol = 0.01;
  su.alfa = 0.25;
  su.alfmax = 2.0;
  su.epsaf = 1e-10;
  su.tolabs = 1e-8;
  su.tolrel = 1e-6;
  UnitCapture cap;
  const Search1d r = drive(true, kQuad, kQuadG, su, true);
  const std::vector<std::string> want = {
      " ALFMAX  OLDF    OLDG    TOLABS   2.0000D+00   1.0000D+00  -2.0000D+00   1.0000D-08",
      " ALFUZZ  EPSAF           TOLREL   1.0000D-06   1.0000D-10                1.0000D-06",
      " CRAMPD                                    F",
      "----------------------------------------------------",
      " ",
      " ALFA    FTRY    CTRY             2.5000D-01   5.6250D-01  -4.3745D-01",
      " A       B       B - A   TOL     -2.5000D-01   1.7500D+00   2.0000D+00   2.6000D-07",
      " NSAMEA  NSAMEB  BRAKTD  CLOSEF            0            1            F            F",
      " IMPRVD  CONVRG  EXTRAP                    T            F            T",
      " ALFBST  FBEST   CBEST            2.5000D-01   5.6250D-01  -4.3745D-01",
      " ALFAW   FW                      -2.5000D-01   1.0000D+00",
      " ALFAV   FV                       0.0000D+00   0.0000D+00",
      " Parabolic fit,    two points.",
      " Polynomial fit accepted.  XTRY   7.5000D-01",
      "----------------------------------------------------",
      " ",
      " ALFA    FTRY    CTRY             1.0000D+00   0.0000D+00  -9.9980D-01",
      " A       B       B - A   TOL     -7.5000D-01   1.0000D+00   1.7500D+00   1.0100D-06",
      " NSAMEA  NSAMEB  BRAKTD  CLOSEF            0            2            F            F",
      " IMPRVD  CONVRG  EXTRAP                    T            F            T",
      " ALFBST  FBEST   CBEST            1.0000D+00   0.0000D+00  -9.9980D-01",
      " ALFAW   FW                      -7.5000D-01   5.6250D-01",
      " ALFAV   FV                      -1.0000D+00   1.0000D+00",
      " Parabolic fit,  three points.",
      " Polynomial fit accepted.  XTRY   0.0000D+00",
      "----------------------------------------------------",
      " ",
      " ALFA    FTRY    CTRY             1.0000D+00   1.0201D-12  -9.9980D-01",
      " A       B       B - A   TOL     -7.5000D-01   1.0100D-06   7.5000D-01   1.0100D-06",
      " NSAMEA  NSAMEB  BRAKTD  CLOSEF            1            0            T            F",
      " IMPRVD  CONVRG  EXTRAP                    F            F            F",
      " ALFBST  FBEST   CBEST            1.0000D+00   0.0000D+00  -9.9980D-01",
      " ALFAW   FW                       1.0100D-06   1.0201D-12",
      " ALFAV   FV                      -7.5000D-01   5.6250D-01",
      " Parabolic fit,  three points.",
      " Geo. bisection. XTRY,DAUX,DTRY  -4.3517D-04  -7.5000D-01   1.0100D-06",
      " Polynomial fit accepted.  XTRY   0.0000D+00",
      "----------------------------------------------------",
      " ",
      " ALFA    FTRY    CTRY             1.0000D+00   1.0201D-12  -9.9980D-01",
      " A       B       B - A   TOL     -1.0100D-06   1.0100D-06   2.0200D-06   1.0100D-06",
      " NSAMEA  NSAMEB  BRAKTD  CLOSEF            0            1            T            F",
      " IMPRVD  CONVRG  EXTRAP                    F            T            F",
      " ALFBST  FBEST   CBEST            1.0000D+00   0.0000D+00  -9.9980D-01",
      " ALFAW   FW                      -1.0100D-06   1.0201D-12",
      " ALFAV   FV                       1.0100D-06   1.0201D-12",
      "----------------------------------------------------",
      " ",
  };
  EXPECT_EQ(cap.lines(), want);
  EXPECT_EQ(r.inform, 1);
  EXPECT_EQ(r.alfbst, 1.0);
}

// The driver's own trace: the result record (and nothing from the search
// when it ends on the first call).
TEST(E04UCR, TracesItsResult) {
  Problem1 pr;
  pr.f = kQuad;
  pr.g = kQuadG;
  Driver d;
  UnitCapture cap;
  d.run(pr, false, 0.0, 0.0, 1.0, true);
  const auto lines = cap.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), " //E04UCR// INFORM  =    7");
}

}  // namespace
}  // namespace qv::optim_alt
