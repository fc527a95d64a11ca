// Step calculators of the line search, driven by hand on functions of one
// variable whose minimisers are known in closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "optim/srch.hpp"

namespace qv::optim {
namespace {

constexpr double kSufdec = 1e-4;

struct Phi {
  std::function<double(double)> f;
  std::function<double(double)> g;  // phi'
};

// The quadratic (a - 2)^2: phi'(a) = 2(a - 2), minimiser 2 (closed form).
const Phi kQuad{[](double a) { return (a - 2) * (a - 2); }, [](double a) { return 2 * (a - 2); }};
// The cubic a^3 - 3a^2 - 9a: phi'(a) = 3(a - 3)(a + 1), local minimiser 3
// (closed form).
const Phi kCubic{[](double a) { return a * a * a - 3 * a * a - 9 * a; },
                 [](double a) { return 3 * a * a - 6 * a - 9; }};
// The quartic (a - 0.5)^4 - a: phi'(a) = 4(a - 0.5)^3 - 1, minimiser
// 0.5 + 4^(-1/3) (closed form).
const Phi kQuartic{[](double a) { return std::pow(a - 0.5, 4) - a; },
                   [](double a) { return 4 * std::pow(a - 0.5, 3) - 1; }};
// A function that claims a descent direction (slope -1 at 0) but is higher
// everywhere beyond the start: no trial can improve.
const Phi kWall{[](double a) { return a > 0 ? 1.0 : 0.0; }, [](double a) { return a > 0 ? 1.0 : -1.0; }};

struct Settings {
  double alfa0 = 1.0;
  double alfmax = 10.0;
  double lstol = 0.9;
  int evallimit = 10;
  double tolabs = 1e-10;
  double tolrel = 1e-13;
  double alfatinytol = 1e-12;
  double alfatiny = 0.0;  // values-only search
  double fprec = 1e-15;
};

struct Outcome {
  int inform = -1;
  int numf = 0;
  int calls = 0;  // evaluations made by the driver
  double alfbst = 0.0;
  double tol_after = 0.0;
  std::vector<double> trials;
  bool kept_tol_from_best = true;  // every trial at least tol from the best step
};

// Runs one search the way the line search does: values relative to phi(0)
// and shifted by the sufficient-decrease line, slopes shifted likewise.
Outcome search(bool with_slopes, const Phi& phi, const Settings& st) {
  Outcome out;
  const double f0 = phi.f(0.0);
  const double oldg = phi.g(0.0);
  const double g0 = (1.0 - kSufdec) * oldg;
  const double targtg = (kSufdec - st.lstol) * oldg;
  const double epsaf = st.fprec * (1.0 + std::abs(f0));
  double tolabs = st.tolabs;
  double alfa = st.alfa0, alfbst = 0.0, fbest = 0.0, gbest = g0, ftry = 0.0, gtry = 0.0;
  bool first = true, done = false, imprvd = false;
  int numf = 0;
  for (int guard = 0; guard < 100; ++guard) {
    if (with_slopes)
      SRCHDG(first, false, done, imprvd, out.inform, st.evallimit, numf, -1, st.alfmax, epsaf, g0, targtg,
             ftry, gtry, tolabs, st.tolrel, st.alfatinytol, alfa, alfbst, fbest, gbest);
    else
      SRCHNG(first, false, done, imprvd, out.inform, st.evallimit, numf, -1, st.alfmax, st.alfatiny, epsaf,
             g0, targtg, ftry, tolabs, st.tolrel, st.alfatinytol, alfa, alfbst, fbest);
    if (done) break;
    if (std::abs(alfa - alfbst) < SRCHST.tol * (1 - 1e-12)) out.kept_tol_from_best = false;
    out.trials.push_back(alfa);
    ++out.calls;
    ftry = (phi.f(alfa) - f0) - kSufdec * oldg * alfa;
    gtry = phi.g(alfa) - kSufdec * oldg;
  }
  out.numf = numf;
  out.alfbst = alfbst;
  out.tol_after = tolabs;
  return out;
}

// Successful searches: the accepted step satisfies the slope test
// |phi'(alfbst)| <= lstol |phi'(0)| (up to the sufficient-decrease shift), and
// with a tight tolerance lies next to the closed-form minimiser.
TEST(Srch, SuccessfulSearchesReachTheMinimiser) {
  struct Case {
    const char* name;
    bool slopes;
    const Phi* phi;
    double alfa0, alfmax, lstol;
    int code;
    double minimiser;  // closed form
    double within;
  };
  const Case cases[] = {
      {"quadratic, slopes, loose", true, &kQuad, 1.0, 10.0, 0.9, 1, 2.0, 1.9},
      {"quadratic, slopes, tight", true, &kQuad, 1.0, 10.0, 0.01, 1, 2.0, 0.03},
      {"quadratic, slopes, from far", true, &kQuad, 7.0, 10.0, 0.01, 1, 2.0, 0.03},
      {"cubic, slopes, tight", true, &kCubic, 1.0, 10.0, 0.01, 1, 3.0, 0.03},
      {"cubic, slopes, from short step", true, &kCubic, 0.01, 10.0, 0.1, 1, 3.0, 0.3},
      {"quartic, slopes, tight", true, &kQuartic, 0.1, 10.0, 0.01, 1, 0.5 + std::cbrt(0.25), 0.1},
      {"quadratic, values, loose", false, &kQuad, 1.0, 10.0, 0.9, 1, 2.0, 1.9},
      {"quadratic, values, tight", false, &kQuad, 1.0, 10.0, 0.01, 1, 2.0, 0.05},
      {"quadratic, values, from far", false, &kQuad, 7.0, 10.0, 0.01, 1, 2.0, 0.05},
      {"cubic, values, tight", false, &kCubic, 1.0, 10.0, 0.01, 1, 3.0, 0.05},
      {"cubic, values, from short step", false, &kCubic, 0.01, 10.0, 0.1, 1, 3.0, 0.5},
      {"quartic, values", false, &kQuartic, 0.1, 10.0, 0.1, 1, 0.5 + std::cbrt(0.25), 0.3},
  };
  for (const Case& c : cases) {
    Settings st;
    st.alfa0 = c.alfa0;
    st.alfmax = c.alfmax;
    st.lstol = c.lstol;
    st.evallimit = c.slopes ? 10 : 15;
    const Outcome o = search(c.slopes, *c.phi, st);
    EXPECT_EQ(o.inform, c.code) << c.name;
    EXPECT_NEAR(o.alfbst, c.minimiser, c.within) << c.name;
    EXPECT_EQ(o.numf, o.calls) << c.name;
    EXPECT_LE(o.numf, st.evallimit) << c.name;
    if (c.slopes) {
      // Slope test of the accepted step, shifted as the calculator sees it.
      const double oldg = c.phi->g(0.0);
      EXPECT_LE(std::abs(c.phi->g(o.alfbst) - kSufdec * oldg), (kSufdec - c.lstol) * oldg) << c.name;
    }
    EXPECT_LT(c.phi->f(o.alfbst), c.phi->f(0.0)) << c.name;
  }
}

// A minimiser beyond alfmax: an initial step at or above alfmax - tolmax is
// replaced by alfmax, which counts as bracketed; the search ends there with
// code 2 when alfmax passes the slope test.
TEST(Srch, InitialStepAtAlfmaxIsBracketed) {
  struct Case {
    bool slopes;
    double alfa0, alfmax;
  };
  const Case cases[] = {
      {true, 1.9, 1.9}, {true, 5.0, 1.9}, {true, 1.9 - 1e-12, 1.9},
      {false, 1.9, 1.9}, {false, 5.0, 1.9}, {false, 1.9 - 1e-12, 1.9},
  };
  for (const Case& c : cases) {
    Settings st;
    st.alfa0 = c.alfa0;
    st.alfmax = c.alfmax;
    st.tolabs = 1e-10;
    st.tolrel = 1e-10;
    st.evallimit = c.slopes ? 10 : 15;
    // First call only: the trial becomes alfmax and the search is bracketed.
    double tolabs = st.tolabs, alfa = c.alfa0, alfbst = 0, fbest = 0, gbest = -4 * (1 - kSufdec);
    bool first = true, done = false, imprvd = false;
    int inform = -1, numf = 0;
    if (c.slopes)
      SRCHDG(first, false, done, imprvd, inform, st.evallimit, numf, -1, c.alfmax, 1e-15, gbest, 0.9 * 4,
             0.0, 0.0, tolabs, st.tolrel, 1e-12, alfa, alfbst, fbest, gbest);
    else
      SRCHNG(first, false, done, imprvd, inform, st.evallimit, numf, -1, c.alfmax, 0.0, 1e-15, gbest, 0.9 * 4,
             0.0, tolabs, st.tolrel, 1e-12, alfa, alfbst, fbest);
    EXPECT_FALSE(done);
    EXPECT_EQ(alfa, c.alfmax) << c.alfa0;
    EXPECT_TRUE(SRCHST.braktd) << c.alfa0;
    // The whole search on (a - 2)^2, whose minimiser 2 lies beyond alfmax.
    const Outcome o = search(c.slopes, kQuad, st);
    EXPECT_EQ(o.inform, 2) << c.alfa0;
    EXPECT_EQ(o.alfbst, c.alfmax) << c.alfa0;
    ASSERT_FALSE(o.trials.empty());
    EXPECT_EQ(o.trials.front(), c.alfmax);
  }
  // A step just below alfmax - tolmax is tried as given.
  for (bool slopes : {true, false}) {
    double tolabs = 1e-10, alfa = 1.5, alfbst = 0, fbest = 0, gbest = -4;
    bool first = true, done = false, imprvd = false;
    int inform = -1, numf = 0;
    if (slopes)
      SRCHDG(first, false, done, imprvd, inform, 10, numf, -1, 1.9, 1e-15, gbest, 3.6, 0.0, 0.0, tolabs, 1e-10,
             1e-12, alfa, alfbst, fbest, gbest);
    else
      SRCHNG(first, false, done, imprvd, inform, 15, numf, -1, 1.9, 0.0, 1e-15, gbest, 3.6, 0.0, tolabs, 1e-10,
             1e-12, alfa, alfbst, fbest);
    EXPECT_EQ(alfa, 1.5);
    EXPECT_FALSE(SRCHST.braktd);
  }
}

// Searches that end without success, with the code of each way of ending.
TEST(Srch, FailureCodes) {
  struct Case {
    const char* name;
    bool slopes;
    const Phi* phi;
    double alfa0, alfmax, lstol, tolabs, alfatinytol, alfatiny;
    int evallimit;
    int code;
    int numf;  // -1: not checked
  };
  const Case cases[] = {
      // Every trial is worse and the tolerance can shrink far: the count ends it.
      {"wall, slopes, count", true, &kWall, 1.0, 1.0, 0.9, 1e-3, 1e-300, 0.0, 10, 7, 10},
      {"wall, values, count", false, &kWall, 1.0, 1.0, 0.9, 1e-3, 1e-300, 0.0, 15, 7, 15},
      {"wall, slopes, short limit", true, &kWall, 1.0, 1.0, 0.9, 1e-3, 1e-300, 0.0, 4, 7, 4},
      // The interval shrinks to the tolerance before the count: nothing better.
      {"wall, slopes, interval", true, &kWall, 1.0, 1.0, 0.9, 1e-3, 1e-5, 0.0, 10, 6, -1},
      {"wall, values, interval", false, &kWall, 1.0, 1.0, 0.9, 1e-3, 1e-5, 0.0, 15, 6, -1},
      // alfmax within the tolerance (cramped) and nothing better.
      {"wall, slopes, cramped", true, &kWall, 1e-3, 1e-3, 0.9, 1e-3, 1e-5, 0.0, 10, 4, -1},
      {"wall, values, cramped", false, &kWall, 1e-3, 1e-3, 0.9, 1e-3, 1e-5, 0.0, 15, 4, -1},
      // The whole interval lies below alfatiny (values only).
      {"quadratic, values, below alfatiny", false, &kQuad, 0.5, 1.0, 0.01, 1e-10, 1e-12, 5.0, 15, 5, 1},
      // A zero target slope can never be met: the best point moves, the
      // interval or the count ends the search.
      {"quadratic, slopes, unreachable target", true, &kQuad, 1.0, 10.0, kSufdec, 1e-10, 1e-12, 0.0, 10, 3, -1},
      {"cubic, slopes, unreachable target", true, &kCubic, 0.5, 10.0, kSufdec, 1e-10, 1e-12, 0.0, 10, 3, -1},
      {"quadratic, values, unreachable target", false, &kQuad, 1.0, 10.0, kSufdec, 1e-10, 1e-12, 0.0, 15, 3, -1},
      {"cubic, values, unreachable target", false, &kCubic, 0.5, 10.0, kSufdec, 1e-10, 1e-12, 0.0, 15, 3, -1},
  };
  for (const Case& c : cases) {
    Settings st;
    st.alfa0 = c.alfa0;
    st.alfmax = c.alfmax;
    st.lstol = c.lstol;
    st.tolabs = c.tolabs;
    st.alfatinytol = c.alfatinytol;
    st.alfatiny = c.alfatiny;
    st.evallimit = c.evallimit;
    const Outcome o = search(c.slopes, *c.phi, st);
    EXPECT_EQ(o.inform, c.code) << c.name;
    EXPECT_EQ(o.numf, o.calls) << c.name;
    EXPECT_LE(o.numf, c.evallimit) << c.name;
    if (c.numf >= 0) {
      EXPECT_EQ(o.numf, c.numf) << c.name;
    }
    if (c.code == 5) {
      EXPECT_LE(o.alfbst, c.alfatiny) << c.name;
    } else if (c.code >= 4) {
      EXPECT_EQ(o.alfbst, 0.0) << c.name;
    } else {
      EXPECT_GT(o.alfbst, 0.0) << c.name;
    }
  }
}

// Bad input: done on the first call, code 8, no trial.
TEST(Srch, BadInputEndsAtOnce) {
  struct Case {
    double g0, alfmax, alfatinytol;
  };
  const Case cases[] = {
      {0.0, 1.0, 1e-10},    // zero slope
      {1.0, 1.0, 1e-10},    // ascent direction
      {-1.0, 1e-10, 1e-10}, // alfmax at alfatinytol
      {-1.0, 1e-11, 1e-10}, // alfmax below it
  };
  for (bool slopes : {true, false}) {
    for (const Case& c : cases) {
      double tolabs = 1e-12, alfa = 0.5, alfbst = 7, fbest = 0, gbest = c.g0;
      bool first = true, done = false, imprvd = true;
      int inform = -1, numf = 3;
      if (slopes)
        SRCHDG(first, false, done, imprvd, inform, 10, numf, -1, c.alfmax, 1e-15, c.g0, 0.5, 0.0, 0.0, tolabs,
               1e-13, c.alfatinytol, alfa, alfbst, fbest, gbest);
      else
        SRCHNG(first, false, done, imprvd, inform, 15, numf, -1, c.alfmax, 0.0, 1e-15, c.g0, 0.5, 0.0, tolabs,
               1e-13, c.alfatinytol, alfa, alfbst, fbest);
      EXPECT_FALSE(first);
      EXPECT_TRUE(done);
      EXPECT_FALSE(imprvd);
      EXPECT_EQ(inform, 8);
      EXPECT_EQ(numf, 0);
      EXPECT_EQ(alfbst, 0.0);
      EXPECT_EQ(alfa, 0.5);  // unchanged when done
    }
  }
}

// The values-only search never tries a step closer than tol to its best
// step; both calculators count every evaluation they are given.
TEST(Srch, ValuesOnlyKeepsToleranceFromBestStep) {
  const Phi* phis[] = {&kQuad, &kCubic, &kQuartic};
  for (const Phi* phi : phis) {
    for (double alfa0 : {0.01, 0.3, 1.0, 4.0}) {
      Settings st;
      st.alfa0 = alfa0;
      st.lstol = kSufdec;  // run until the interval or the count ends it
      st.tolabs = 1e-4;
      st.evallimit = 15;
      const Outcome o = search(false, *phi, st);
      EXPECT_TRUE(o.kept_tol_from_best) << alfa0;
      EXPECT_EQ(o.numf, o.calls);
      EXPECT_GE(o.inform, 1);
      EXPECT_LE(o.inform, 3);
    }
  }
}

// On a falling line no fit applies: while nothing is bracketed each move is
// five times the one before it, and the factor itself grows fivefold (steps
// 1, 5, 125 from alfa = 1), until alfmax is tried.
TEST(Srch, UnbracketedStepsGrowUntilAlfmax) {
  const Phi line{[](double a) { return -a; }, [](double) { return -1.0; }};
  for (bool slopes : {true, false}) {
    Settings st;
    st.alfmax = 1000.0;
    st.lstol = 0.5;
    st.evallimit = slopes ? 10 : 15;
    const Outcome o = search(slopes, line, st);
    ASSERT_GE(o.trials.size(), 4u);
    EXPECT_DOUBLE_EQ(o.trials[0], 1.0);
    EXPECT_DOUBLE_EQ(o.trials[1], 6.0);
    EXPECT_DOUBLE_EQ(o.trials[2], 131.0);
    EXPECT_EQ(o.trials[3], 1000.0);
    EXPECT_EQ(o.alfbst, 1000.0);
    // The slope stays -1: the test |slope| <= 0.5 can never hold, so the
    // moved search ends on its interval at alfmax with result 3.
    EXPECT_EQ(o.inform, 3);
  }
}

// A cut of alfmax by the caller between trials (the curvature guard of the
// line search) moves the right end of an unbracketed interval.
TEST(Srch, LoweredAlfmaxMovesTheRightEnd) {
  double tolabs = 1e-10, alfa = 0.1, alfbst = 0, fbest = 0, gbest = -4 * (1 - kSufdec);
  const double g0 = gbest, oldg = -4.0;
  bool first = true, done = false, imprvd = false;
  int inform = -1, numf = 0;
  SRCHDG(first, false, done, imprvd, inform, 10, numf, -1, 10.0, 1e-15, g0, 1e-8, 0.0, 0.0, tolabs, 1e-13, 1e-12,
         alfa, alfbst, fbest, gbest);
  ASSERT_EQ(alfa, 0.1);
  const double ftry = (kQuad.f(alfa) - kQuad.f(0)) - kSufdec * oldg * alfa;
  const double gtry = kQuad.g(alfa) - kSufdec * oldg;
  SRCHDG(first, false, done, imprvd, inform, 10, numf, -1, 0.5, 1e-15, g0, 1e-8, ftry, gtry, tolabs, 1e-13, 1e-12,
         alfa, alfbst, fbest, gbest);
  EXPECT_TRUE(imprvd);
  EXPECT_EQ(alfbst, 0.1);
  // Relative to the best step the interval now ends at 0.5 - 0.1 + tolmax,
  // so the next trial is alfmax itself.
  EXPECT_NEAR(SRCHST.b, 0.4 + SRCHST.tolmax, 1e-15);
  EXPECT_EQ(alfa, 0.5);
  EXPECT_TRUE(SRCHST.braktd);
}

}  // namespace
}  // namespace qv::optim
