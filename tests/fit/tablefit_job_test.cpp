// The contingency-table fit function (code 11) on jobs laid out by the
// program.  References: tests/fit/refs/tablefit_refs.R (R 4.2, mvtnorm 1.1:
// the bivariate normal cell probabilities from pmvnorm's TVPACK, the
// likelihood maximised by nlminb and polished by optim; its output is
// tablefit_refs.txt beside it), closed forms for the saturated term, and the
// function's own definition for the cases worked by hand.
//
// The cumulative grid comes from the bivariate normal integral at 6 digits
// (its series cut when a term falls below about 3e-6 / 2 pi).  Measured
// here: estimates within 1.2e-7 of R's, -2 ln L within 2e-9 relative, the
// value less the saturated term within 2e-6 absolute (8e-7 at given
// parameters).  The tests hold the estimates to 1e-5 relative and -2 ln L to
// 1e-8 relative; the value less the saturated term, a small difference of
// two large sums, to 1e-5 absolute.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "algebra/formmach.hpp"
#include "fit/fitstat.hpp"
#include "fit/objcel.hpp"
#include "fit/tablefit.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "jobctl/job_fixture.hpp"

namespace qv::fit {
namespace {

namespace gcol = jobbase::gcol;

class TableFitTest : public jobctl::testing_support::JobInDirTest {
 protected:
  TableFitTest() : JobInDirTest("tablefit_") {}
  // The covariance formula evaluated as the objective's evaluation step
  // does, then the fit function; returns what it added to a total of
  // `before`.
  static double value(double before = 0.0, int g = 1) {
    auto& m = jobbase::MAINPR;
    m.IGRP = g;
    algebra::FMFLAG.NMODEL = 1;
    int status = 1;
    algebra::EVCOMP(X(), 0, status);
    algebra::EVFORM(X(), jobbase::fkind::kCov, g, g, status);
    double fobj = before;
    table_fit(X(), m.NG, g, fobj);
    return fobj - before;
  }
  static int cells(int g = 1) { return static_cast<int>(col(gcol::kTableRows, g) * col(gcol::kTableCols, g)); }
  static double& count(int e, int g = 1) { return X()(static_cast<int>(col(gcol::kObsData, g)) + e - 1); }
  static double proportion(int e, int g = 1) { return X()(static_cast<int>(col(gcol::kCovResult, g)) + 3 + e - 1); }
  // Sets the model: row thresholds, column thresholds (T's rows) and rho.
  static void set(const std::vector<double>& rowt, const std::vector<double>& colt, double rho) {
    const int c = cols('T');
    for (std::size_t i = 0; i < rowt.size(); ++i) val('T', static_cast<int>(i) + 1) = rowt[i];
    for (std::size_t j = 0; j < colt.size(); ++j) val('T', c + static_cast<int>(j) + 1) = colt[j];
    val('R', 1) = rho;
  }
  // First call of a run (the saturated term is computed) or a later one.
  static void first_call(bool first) {
    OBJCEL.FFIRST = !first;
    OBJCEL.FMODE = 0;
    OBJCEL.NNONPD = 0;
  }
};

// Relative error within tol.
::testing::AssertionResult within(double actual, double expected, double tol) {
  if (std::fabs(actual - expected) <= tol * std::fabs(expected)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actual << " vs " << expected << ", relative error "
                                       << std::fabs(actual - expected) / std::fabs(expected);
}

// A table of r x c counts (row by row) under free thresholds (T, 2 rows:
// row thresholds, then column thresholds; unused places fixed at 0) and a
// free correlation, with unit variances.
std::string table_job(int r, int c, const std::string& counts, const std::string& pattern,
                      const std::string& starts) {
  const int t = std::max(r, c) - 1;
  return "Contingency table\n Data NGroups=1 NInputvars=2 NObservations=1\n CTable " + std::to_string(r) + " " +
         std::to_string(c) + "\n" + counts + " Begin Matrices;\n  T FU 2 " + std::to_string(t) +
         "\n  R ST 2 2 Free\n End Matrices;\n Pattern T\n" + pattern + starts + " Start 0.3 R 2 1\n"
         " Thresholds T /\n Covariance R /\n Options RS\nEnd\n";
}

const std::string k33 = table_job(3, 3, "  40 25 10\n  20 45 30\n   8 22 50\n", "  1 1\n  1 1\n",
                                  " Start -0.5 T 1 1\n Start 0.5 T 1 2\n Start -0.5 T 2 1\n Start 0.5 T 2 2\n");
// Cell (2, 1) missing.
const std::string k24 = table_job(2, 4, "  50 30 21 12\n  -1 35 45 39\n", "  1 0 0\n  1 1 1\n",
                                  " Start -0.8 T 2 1\n Start 0.8 T 2 3\n");

struct Reference {
  const char* name;
  const std::string* script;
  std::vector<double> rowt, colt;
  double rho, m2lnl, sat, fit;
  std::vector<double> proportions;  // p / total, row by row (the missing cell's as R gives it)
};

// Rows from tests/fit/refs/tablefit_refs.txt.
const std::vector<Reference> kFits = {
    {"3x3", &k33,
     {-0.52185659549477958, 0.46679613824114463},
     {-0.60479224753370708, 0.35708407118514141},
     0.5621216936968354, 1033.3583699103654, 1031.6446184200418, 1.7137514903236024,
     {0.15586836218087224, 0.10759439311916968, 0.037422335209862101, 0.091504349750068381,
      0.16242817882171834, 0.12485951140142121, 0.025285810752533167, 0.096804470970263401,
      0.19823258779409147}},
    {"2x4 missing cell", &k24,
     {-0.18652503073950757},
     {-0.48523340399866927, 0.14941627584216857, 0.87071067761418341},
     0.37824569713859474, 867.60106640517017, 867.27249824962792, 0.32856815554225705,
     {0.21524363286580556, 0.12538766609474322, 0.09802067907116449, 0.048520057320608372,
      0.14355196537030127, 0.15550531370951226, 0.18633096321185366, 0.17099168772631251}},
};

// The fitted job's estimates, value and expected proportions against the
// maximum-likelihood fit in R; the saturated term, a closed form of the
// counts alone, to the last digits.
TEST_F(TableFitTest, FittedTablesAgreeWithTheBivariateNormalLikelihoodInR) {
  for (const Reference& ref : kFits) {
    SCOPED_TRACE(ref.name);
    const std::string out = run(*ref.script);
    const int c = cols('T');
    for (std::size_t i = 0; i < ref.rowt.size(); ++i)
      EXPECT_TRUE(within(val('T', static_cast<int>(i) + 1), ref.rowt[i], 1e-5)) << "row threshold " << i + 1;
    for (std::size_t j = 0; j < ref.colt.size(); ++j)
      EXPECT_TRUE(within(val('T', c + static_cast<int>(j) + 1), ref.colt[j], 1e-5)) << "column threshold " << j + 1;
    EXPECT_TRUE(within(val('R', 1), ref.rho, 1e-5));
    EXPECT_TRUE(within(col(gcol::kSaturated), ref.sat, 1e-14));
    EXPECT_TRUE(within(col(gcol::kFitValue) + col(gcol::kSaturated), ref.m2lnl, 1e-8));
    EXPECT_NEAR(col(gcol::kFitValue), ref.fit, 1e-5);
    EXPECT_NEAR(FITRES.F, ref.fit, 1e-5);
    for (int e = 1; e <= cells(); ++e) {
      // The missing cell's proportion is stored negated.
      const double sign = count(e) < 0.0 ? -1.0 : 1.0;
      EXPECT_NEAR(proportion(e), sign * ref.proportions[static_cast<std::size_t>(e - 1)], 1e-5) << e;
    }
    if (HasFailure()) ADD_FAILURE() << out;
  }
}

TEST_F(TableFitTest, ValueAtGivenParametersAgreesWithTheLikelihoodInR) {
  build(k33);
  set({-0.4, 0.6}, {-0.7, 0.2}, 0.45);
  first_call(true);
  const double added = value(5.0);
  // tablefit_refs.R, "3x3 at fixed values".
  EXPECT_NEAR(added, 16.211104289522609, 1e-5);
  EXPECT_TRUE(within(added + col(gcol::kSaturated), 1047.8557227095644, 1e-8));
  EXPECT_EQ(col(gcol::kFitValue), added);
  EXPECT_EQ(OBJCEL.FMODE, 0);
  double sum = 0.0;
  for (int e = 1; e <= cells(); ++e) sum += proportion(e);
  EXPECT_NEAR(sum, 1.0, 1e-12);
}

// Counts equal to N times the model's proportions are the saturated model:
// the value less the saturated term is 0.
TEST_F(TableFitTest, ExpectedTableEqualToTheObservedProportionsGivesZero) {
  build(k33);
  set({-0.4, 0.6}, {-0.7, 0.2}, 0.45);
  first_call(true);
  value();
  const double N = 1000.0;
  for (int e = 1; e <= cells(); ++e) count(e) = N * proportion(e);
  col(gcol::kNobs) = N;
  first_call(true);
  EXPECT_NEAR(value(), 0.0, 1e-9);
  EXPECT_NEAR(col(gcol::kFitValue), 0.0, 1e-9);
}

TEST_F(TableFitTest, EveryCountMissingStoresZeroAndAddsNothing) {
  build(k33);
  for (int e = 1; e <= cells(); ++e) count(e) = -1.0;
  col(gcol::kFitValue) = 99.0;
  first_call(true);
  EXPECT_EQ(value(7.0), 0.0);
  EXPECT_EQ(col(gcol::kFitValue), 0.0);
  EXPECT_EQ(OBJCEL.FMODE, 0);
}

// The missing cells' probability is taken out: the others' proportions sum
// to 1, the missing cells' are stored negated, and a missing cell adds
// nothing to the value.
TEST_F(TableFitTest, MissingCellsAreLeftOutAndTheRestRescaled) {
  build(k33);
  set({-0.4, 0.6}, {-0.7, 0.2}, 0.45);
  first_call(true);
  const double full = value();
  std::vector<double> p(static_cast<std::size_t>(cells()));
  for (int e = 1; e <= cells(); ++e) p[static_cast<std::size_t>(e - 1)] = proportion(e);
  // Cell (1, 3) of count 10 becomes missing.
  count(3) = -1.0;
  col(gcol::kNobs) = 240.0;
  first_call(true);
  value();
  const double total = 1.0 - p[2];
  double observed = 0.0, by_hand = 0.0, sat = 0.0;
  for (int e = 1; e <= cells(); ++e) {
    if (e == 3) continue;
    observed += proportion(e);
    EXPECT_NEAR(proportion(e), p[static_cast<std::size_t>(e - 1)] / total, 1e-15) << e;
    by_hand -= 2.0 * count(e) * std::log(p[static_cast<std::size_t>(e - 1)] / total);
    sat -= 2.0 * count(e) * std::log(count(e) / 240.0);
  }
  EXPECT_NEAR(proportion(3), -p[2] / total, 1e-15);
  EXPECT_NEAR(observed, 1.0, 1e-12);
  EXPECT_NEAR(col(gcol::kSaturated), sat, 1e-12 * sat);
  EXPECT_NEAR(col(gcol::kFitValue), by_hand - sat, 1e-9);
  EXPECT_NE(col(gcol::kFitValue), full);
}

// A row whose probability underflows: each of its observed cells adds 1e6
// and is counted, the value is not computable (MODE -1); a cell of count 0
// there adds nothing.
TEST_F(TableFitTest, ObservedCellWithoutExpectedFrequencyAddsThePenalty) {
  build(k33);
  count(8) = 0.0;  // cells 7, 8, 9 form the last row: 8, 0, 50
  col(gcol::kNobs) = 228.0;
  set({-0.4, 40.0}, {-0.7, 0.2}, 0.45);
  first_call(true);
  const double added = value();
  EXPECT_EQ(OBJCEL.FMODE, -1);
  EXPECT_EQ(OBJCEL.NNONPD, 2);
  double rest = 0.0;
  for (int e = 1; e <= 6; ++e) rest -= 2.0 * count(e) * std::log(proportion(e));
  EXPECT_NEAR(added, rest + 2e6 - col(gcol::kSaturated), 1e-6);
  for (int e = 7; e <= 9; ++e) EXPECT_EQ(proportion(e), 0.0) << e;
}

// An expected covariance without positive variances gives no probability:
// every observed cell with a count takes the penalty.
TEST_F(TableFitTest, ExpectedVarianceNotPositiveGivesThePenaltyForEveryObservedCell) {
  build(k33);
  set({-0.4, 0.6}, {-0.7, 0.2}, 0.45);
  first_call(true);
  value();
  // The variance comes from R's diagonal, 1: make it 0 through the result.
  const int s = static_cast<int>(col(gcol::kCovResult));
  X()(s) = 0.0;
  double fobj = 0.0;
  first_call(false);
  jobbase::MAINPR.IGRP = 1;
  table_fit(X(), 1, 1, fobj);
  EXPECT_EQ(OBJCEL.FMODE, -1);
  EXPECT_EQ(OBJCEL.NNONPD, 9);
  EXPECT_TRUE(std::isfinite(fobj));
  EXPECT_NEAR(fobj, 9e6 - col(gcol::kSaturated), 1e-6);
}

// The saturated term belongs to the run: computed at its first call only.
TEST_F(TableFitTest, SaturatedTermIsComputedAtTheFirstCallOfARun) {
  build(k33);
  set({-0.4, 0.6}, {-0.7, 0.2}, 0.45);
  first_call(true);
  value();
  const double sat = col(gcol::kSaturated);
  // -2 sum f ln(f / N) over the nine counts, N = 250.
  const double counts[] = {40, 25, 10, 20, 45, 30, 8, 22, 50};
  double by_hand = 0.0;
  for (const double f : counts) by_hand -= 2.0 * f * std::log(f / 250.0);
  EXPECT_NEAR(sat, by_hand, 1e-12 * by_hand);
  col(gcol::kSaturated) = 3.0;
  first_call(false);
  const double later = value();
  EXPECT_EQ(col(gcol::kSaturated), 3.0);
  first_call(true);
  EXPECT_NEAR(value(), later + 3.0 - sat, 1e-9);
  EXPECT_EQ(col(gcol::kSaturated), sat);
}

}  // namespace
}  // namespace qv::fit

namespace qv::fit {
namespace {

// The expected proportions are written after the 2 x 2 result, where the
// group's preparation reserved room for them: whichever formula comes
// first, and with a group after the table, nothing the program keeps lies
// in that room, and a call leaves everything after it as it was.
TEST_F(TableFitTest, ProportionsHaveTheirOwnRoomAfterTheExpectedMatrix) {
  const std::string counts = "  5 6 7 8 9\n  4 3 2 1 1\n  9 8 7 6 5\n  1 2 3 4 5\n";
  const std::string model = " Begin Matrices;\n  T FU 2 4\n  R ST 2 2 Free\n End Matrices;\n"
                            " Matrix T -1 0 1 0  -1 -0.3 0.3 1\n Start 0.3 R 2 1\n";
  const std::string thresholds = " Thresholds T /\n", covariance = " Covariance R /\n";
  const std::string next = "Second group\n Data NInputvars=2 NObservations=50\n CMatrix\n 1 .3 1\n"
                           " Begin Matrices;\n  S SY 2 2 Free\n End Matrices;\n Start 1 S 1 1 S 2 2\n"
                           " Covariance S /\nEnd\n";
  for (const bool thresholds_first : {false, true}) {
    SCOPED_TRACE(thresholds_first ? "thresholds first" : "covariance first");
    build("Table\n Data NGroups=2 NInputvars=2 NObservations=1\n CTable 4 5\n" + counts + model +
          (thresholds_first ? thresholds + covariance : covariance + thresholds) + "End\n" + next);
    ASSERT_EQ(col(gcol::kFitCode), jobbase::kFitTable);
    const int first = static_cast<int>(col(gcol::kCovResult)) + 3;
    const int last = first + cells() - 1;
    ASSERT_EQ(cells(), 20);
    // Every address the groups' tables hold lies outside the room.
    for (int g = 1; g <= 2; ++g)
      for (const int k : {gcol::kObsData, gcol::kMattab, gcol::kCovFormula, gcol::kCovResult, gcol::kMeansFormula,
                          gcol::kMeansResult}) {
        const int a = static_cast<int>(col(k, g));
        if (a > 0) EXPECT_TRUE(a <= first - 3 || a > last) << "column " << k << " of group " << g << ": " << a;
      }
    EXPECT_GT(static_cast<int>(col(gcol::kModelEnd, 1)), last);
    EXPECT_GE(jobbase::MAINPR.WSMAXD, last);
    // Everything from the room's end to the end of the model keeps its
    // words when new proportions are written (the formulas' results in
    // place after a first call).
    first_call(true);
    value();
    const int end = static_cast<int>(col(gcol::kModelEnd, 1));
    const std::vector<double> before(X().ptr(last + 1), X().ptr(end));
    const double old = proportion(1);
    val('R', 1) = -0.6;
    value();
    EXPECT_NE(proportion(1), old);
    const std::vector<double> after(X().ptr(last + 1), X().ptr(end));
    EXPECT_EQ(before, after);
    double sum = 0.0;
    for (int e = 1; e <= cells(); ++e) sum += proportion(e);
    EXPECT_NEAR(sum, 1.0, 1e-12);
  }
}

}  // namespace
}  // namespace qv::fit
