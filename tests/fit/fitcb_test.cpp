// The callbacks between the fit and the optimizer: the parameter copy, the
// constraint values in group order with the constraint mode around the
// objective, the gradient slot of each fit, and the Hessian's objective.
#include "fit/fitcb.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "fit/objcel.hpp"
#include "fit_fixture.hpp"

namespace qv::fit {
namespace {

using testing_support::FitJobTest;
namespace gcol = jobbase::gcol;

class FitcbTest : public FitJobTest {
 protected:
  // A parameter map at IWORKS position p: the pairs (PARLST index, word).
  void param_map(int p, const std::vector<std::pair<int, int>>& pairs) {
    IX()(1) = p;
    IX()(p) = static_cast<int>(pairs.size());
    for (std::size_t k = 0; k < pairs.size(); ++k) {
      IX()(p + 2 * static_cast<int>(k) + 1) = pairs[k].first;
      IX()(p + 2 * static_cast<int>(k) + 2) = pairs[k].second;
    }
  }
};

// Each pair copies x(j) of the vector given to its word; one parameter may feed several words;
// words not in the map keep their values.
TEST_F(FitcbTest, CpyparTable) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> pairs;
    std::vector<std::pair<int, double>> after;  // word, value
  };
  const Case cases[] = {
      {"empty map", {}, {{300, -1}, {301, -1}, {302, -1}}},
      {"one pair", {{2, 301}}, {{300, -1}, {301, 20}, {302, -1}}},
      {"parameter 1 twice, parameter 3 once", {{1, 300}, {3, 301}, {1, 302}}, {{300, 10}, {301, 30}, {302, 10}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    job(1);
    const std::vector<double> x = {10, 20, 30};
    for (int w = 300; w <= 302; ++w) X()(w) = -1;
    param_map(50, c.pairs);
    CPYPAR(X(), IX(), x);
    for (const auto& [w, v] : c.after) EXPECT_EQ(X()(w), v) << "word " << w;
    TearDown();
  }
}

// Constraint groups of 2 and 3 values around a data group: C gets the first
// group's two values, then the second group's three, as the objective left
// them in constraint mode.
TEST_F(FitcbTest, FitconCollectsConstraintGroupsInOrder) {
  job(3);
  constraint(1, 2, {1});
  constraint(3, 3, {1});
  col(gcol::kCovResult, 2) = 0;  // a data group: never read
  close();
  const int wstop = jobbase::MAINPR.WSTOP;
  const int n = 2;
  std::vector<double> x = {1.5, -2.5};
  int calls = 0;
  int conmod_seen = -1, mode_seen = -1, n_seen = -1, kfirst_seen = -1;
  double* grad_seen = nullptr;
  std::size_t grad_len = 0;
  const Fitobj objective = [&](int& mode, int nn, std::span<const double> xx, double& f, std::span<double> g,
                               int kfirst, std::span<int>, std::span<double> ru) {
    ++calls;
    conmod_seen = OBJCEL.CONMOD;
    mode_seen = mode;
    n_seen = nn;
    kfirst_seen = kfirst;
    grad_seen = g.data();
    grad_len = g.size();
    const Vec1<double> W(ru);
    const int r1 = jobbase::icell(jobbase::GRPTAB(W, 3, gcol::kCovResult, 1));
    const int r3 = jobbase::icell(jobbase::GRPTAB(W, 3, gcol::kCovResult, 3));
    W(r1) = xx[0];
    W(r1 + 1) = xx[1];
    for (int k = 0; k < 3; ++k) W(r3 + k) = 10 + k;
    f = 99;
    mode = -1;  // ignored by the callback
  };
  std::vector<double> c(5, 0.0), cjac(10, 7.0);
  std::vector<int> needc(5, 1);
  int mode = 2;
  FITCB.FCFIRST = true;
  FITCON(objective, mode, 5, n, 5, needc, x, c, cjac, 0, IX().span(), X().span());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(conmod_seen, 1);
  EXPECT_FALSE(OBJCEL.CONMOD);
  EXPECT_EQ(mode_seen, 0);
  EXPECT_EQ(n_seen, n);
  EXPECT_EQ(kfirst_seen, 0);
  EXPECT_EQ(c, (std::vector<double>{1.5, -2.5, 10, 11, 12}));
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(cjac, std::vector<double>(10, 7.0));
  EXPECT_EQ(jobbase::MAINPR.IGRP, 4);
  // The gradient slot: N words at the old WSTOP, reserved once.
  EXPECT_EQ(FITCB.GRDSLT, wstop);
  EXPECT_EQ(grad_seen, X().ptr(wstop));
  EXPECT_EQ(grad_len, 2u);
  EXPECT_EQ(jobbase::MAINPR.WSTOP, wstop + n);
  EXPECT_FALSE(FITCB.FCFIRST);
  FITCON(objective, mode, 5, n, 5, needc, x, c, cjac, 1, IX().span(), X().span());
  EXPECT_EQ(jobbase::MAINPR.WSTOP, wstop + n);
  EXPECT_EQ(grad_seen, X().ptr(wstop));
  EXPECT_EQ(kfirst_seen, 1);
}

// A values array shorter than the constraint groups' values is filled and
// never passed.
TEST_F(FitcbTest, FitconStaysInsideTheValuesArray) {
  job(2);
  constraint(1, 2, {1}, {1, 2});
  constraint(2, 3, {1}, {3, 4, 5});
  close();
  const Fitobj objective = [](int&, int, std::span<const double>, double& f, std::span<double>, int,
                              std::span<int>, std::span<double>) { f = 0; };
  std::vector<double> store(4, -1.0), x(1), cjac(3);
  std::vector<int> needc(3, 1);
  int mode = 0;
  FITCON(objective, mode, 3, 1, 3, needc, x, std::span<double>(store).first(3), cjac, 1, IX().span(),
         X().span());
  EXPECT_EQ(store, (std::vector<double>{1, 2, 3, -1}));
}

// Every fit's set-up arms the first call again, so a later fit of a job
// (a continuation) gets a slot of its own above its own arrays.
TEST_F(FitcbTest, EachFitGetsAFreshGradientSlot) {
  job(2);
  matrices(1, {{'A', jobbase::kTypeDiag, 2, 2, {1, 2}}});
  constraint(2, 1, {1});
  close();
  setup();
  const Fitobj objective = [](int&, int, std::span<const double>, double& f, std::span<double>, int,
                              std::span<int>, std::span<double>) { f = 0; };
  std::vector<double> x(2), c(1), cjac(2);
  std::vector<int> needc(1, 1);
  int mode = 0;
  const int first = jobbase::MAINPR.WSTOP;
  FITCON(objective, mode, 1, 2, 1, needc, x, c, cjac, 1, IX().span(), X().span());
  EXPECT_EQ(FITCB.GRDSLT, first);
  FITLAY(X(), IX());
  const int second = jobbase::MAINPR.WSTOP;
  EXPECT_GT(second, first);
  FITCON(objective, mode, 1, 2, 1, needc, x, c, cjac, 1, IX().span(), X().span());
  EXPECT_EQ(FITCB.GRDSLT, second);
  EXPECT_EQ(jobbase::MAINPR.WSTOP, second + 2);
}

// The slot is checked against the workspace limit.
TEST_F(FitcbTest, GradientSlotPastTheLimitStops) {
  job(1);
  constraint(1, 1, {1});
  close();
  jobbase::MAINPR.WSLIM = jobbase::MAINPR.WSTOP + 1;
  const Fitobj objective = [](int&, int, std::span<const double>, double& f, std::span<double>, int,
                              std::span<int>, std::span<double>) { f = 0; };
  std::vector<double> x(3), c(1), cjac(3);
  std::vector<int> needc(1, 1);
  int mode = 0;
  EXPECT_FIT_ERROR(FITCON(objective, mode, 1, 3, 1, needc, x, c, cjac, 1, IX().span(), X().span()), 119,
                   " Problem needs over ");
}

// HESFUN hands its eight arguments to the objective as they are, and the
// objective's MODE comes back.
TEST_F(FitcbTest, HesfunPassesEverythingThrough) {
  std::vector<double> x = {1, 2, 3}, g(3), ru(4);
  std::vector<int> iu(2);
  const double* xs = nullptr;
  double* gs = nullptr;
  int* ius = nullptr;
  double* rus = nullptr;
  int nseen = 0, kseen = -1, mseen = -1;
  const Fitobj objective = [&](int& mode, int n, std::span<const double> xx, double& f, std::span<double> gg,
                               int kfirst, std::span<int> iuu, std::span<double> ruu) {
    mseen = mode;
    nseen = n;
    kseen = kfirst;
    xs = xx.data();
    gs = gg.data();
    ius = iuu.data();
    rus = ruu.data();
    f = 4.25;
    mode = -1;
  };
  int mode = 2;
  double f = 0;
  HESFUN(objective, mode, 3, x, f, g, 1, iu, ru);
  EXPECT_EQ(mseen, 2);
  EXPECT_EQ(mode, -1);
  EXPECT_EQ(f, 4.25);
  EXPECT_EQ(nseen, 3);
  EXPECT_EQ(kseen, 1);
  EXPECT_EQ(xs, x.data());
  EXPECT_EQ(gs, g.data());
  EXPECT_EQ(ius, iu.data());
  EXPECT_EQ(rus, ru.data());
}

}  // namespace
}  // namespace qv::fit
