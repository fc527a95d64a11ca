// The fit's set-up: counts and array sizes, the layout of the optimizer's
// arrays, start values, default and constraint bounds, bound records, and
// its two stops (a parameter the list lacks, an exhausted workspace).
#include "fit/fitsetup.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fit/fitcb.hpp"
#include "fit/objcel.hpp"
#include "fit_fixture.hpp"

namespace qv::fit {
namespace {

using testing_support::FitJobTest;
using testing_support::Mat;
namespace gcol = jobbase::gcol;
using jobbase::kTypeDiag;
using jobbase::kTypeFull;
using jobbase::kTypeSym;

// Formula codes of a constraint group: a matrix, an operator, a matrix.
constexpr double kGreater = 127, kLess = 128, kMinus = 111;

class FitSetupTest : public FitJobTest {
 public:
  // One data group, A FULL 2 x 2 with three free elements.
  void job_three() {
    job(1);
    matrices(1, {{'A', kTypeFull, 2, 2, {1, 2, 0, 3}}});
    close();
  }
  // No free element.
  void job_none() {
    job(1);
    matrices(1, {{'A', kTypeFull, 1, 1, {0}}});
    close();
  }
  // A data group with A DIAG 2 x 2 (parameters 5 and 2, in that order), a
  // constraint group "A>B" of 2 values, a constraint group "A<B" of 1 value.
  void job_constrained() {
    job(3);
    matrices(1, {{'A', kTypeDiag, 2, 2, {5, 2}, {0.25, 0.75}}});
    constraint(2, 2, {1, kGreater, 2});
    constraint(3, 1, {1, kLess, 2});
    close();
  }
  // A data group with one parameter and a constraint group "A-B" of 1 value.
  void job_equality() {
    job(2);
    matrices(1, {{'A', kTypeSym, 1, 1, {4}}});
    constraint(2, 1, {1, kMinus, 2});
    close();
  }
};

// Sizes the optimizer's calling contract asks for, worked by hand from its
// minimum lengths: NW = 20N without constraints, else 2N^2 + 20N + 11 nclin
// + 21 NNLCON + N nclin + 2N NNLCON; NIW = 3N + nclin + 2 NNLCON.
TEST_F(FitSetupTest, CountsAndSizesTable) {
  struct Case {
    const char* name;
    void (FitSetupTest::*build)();
    int npar, n, freep, nnlcon, nctotl, ldjac, ldrfac, niw, nw;
  };
  const Case cases[] = {
      {"three free, no constraints", &FitSetupTest::job_three, 3, 3, 1, 0, 3, 1, 3, 9, 60},
      {"no free parameters", &FitSetupTest::job_none, 0, 1, 0, 0, 1, 1, 1, 3, 20},
      {"two free, 2 + 1 constraint values", &FitSetupTest::job_constrained, 2, 2, 1, 3, 5, 3, 2, 12, 123},
      {"one free, one equality", &FitSetupTest::job_equality, 1, 1, 1, 1, 2, 1, 1, 5, 45},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    (this->*c.build)();
    setup();
    const Fitarr& f = FITARR;
    EXPECT_EQ(f.NPAR, c.npar);
    EXPECT_EQ(f.N, c.n);
    EXPECT_EQ(f.FREEP, c.freep);
    EXPECT_EQ(f.NCLIN, 0);
    EXPECT_EQ(f.NNLCON, c.nnlcon);
    EXPECT_EQ(f.NCTOTL, c.nctotl);
    EXPECT_EQ(f.LDA, 1);
    EXPECT_EQ(f.LDJAC, c.ldjac);
    EXPECT_EQ(f.LDRFAC, c.ldrfac);
    EXPECT_EQ(f.NIW, c.niw);
    EXPECT_EQ(f.NW, c.nw);
    TearDown();
  }
}

// The work-array length with linear constraints only (no caller has them,
// the formula is kept whole): 2N^2 + 20N + 11 nclin.
TEST_F(FitSetupTest, WorkLengthFormulaTable) {
  struct Case {
    int n, nclin, nnlcon;
    long long nw;  // worked by hand
  } const cases[] = {{3, 0, 0, 60},   {1, 0, 0, 20},  {2, 1, 0, 59},
                     {2, 1, 1, 86},   {4, 0, 2, 170}, {40000, 0, 1, 3200880021LL}};
  for (const Case& c : cases) EXPECT_EQ(fit_nw(c.n, c.nclin, c.nnlcon), c.nw) << c.n << " " << c.nclin << " " << c.nnlcon;
}

// The real arrays follow one another from WSTOP in the contract's order, with
// a spare word after RFAC and after X; the integer arrays from IWSTOP.
TEST_F(FitSetupTest, LayoutFromTheWorkspaceTops) {
  job_constrained();
  ::testing::internal::CaptureStdout();
  FITCNT(X(), IX(), jobbase::LABTAB, jobbase::MAINPR.LABSLOT);
  ::testing::internal::GetCapturedStdout();
  const int w0 = jobbase::MAINPR.WSTOP;
  const int i0 = jobbase::MAINPR.IWSTOP;
  FITCB.FCFIRST = false;
  FITLAY(X(), IX());
  const Fitarr& f = FITARR;  // N 2, NCTOTL 5, LDJAC 3, NW 123, NIW 12
  EXPECT_EQ(f.ALIN, w0);
  EXPECT_EQ(f.BLOW, w0 + 2);
  EXPECT_EQ(f.BUPP, w0 + 7);
  EXPECT_EQ(f.CNLVAL, w0 + 12);
  EXPECT_EQ(f.CNLJAC, w0 + 15);
  EXPECT_EQ(f.XMULT, w0 + 21);
  EXPECT_EQ(f.GOBJ, w0 + 26);
  EXPECT_EQ(f.RFAC, w0 + 28);
  EXPECT_EQ(f.W, w0 + 33);
  EXPECT_EQ(f.X, w0 + 156);
  EXPECT_EQ(jobbase::MAINPR.WSTOP, w0 + 159);
  EXPECT_EQ(f.ISTATE, i0);
  EXPECT_EQ(f.IW, i0 + 5);
  EXPECT_EQ(jobbase::MAINPR.IWSTOP, i0 + 17);
  // XBASE names where the job's parameters lie; the constraint callback's
  // first call is armed.
  EXPECT_EQ(OBJCEL.XBASE, f.X);
  EXPECT_TRUE(FITCB.FCFIRST);
}

// Observed statistics plus the DF adjustment.
TEST_F(FitSetupTest, StatisticsTotalTakesTheDfAdjustment) {
  job_three();
  col(gcol::kNstat, 1) = 3;
  jobbase::FITOPT.DF = -2;
  setup();
  EXPECT_EQ(jobbase::FITSTA.NSTTOT, 1);
}

// Start values: a value strictly inside (-0.01, 0.01), the single-precision
// bound, moves to +0.01 whatever its sign; 0.01 exactly (either sign) stays.
TEST_F(FitSetupTest, StartValuesTable) {
  const double f01 = static_cast<double>(0.01f);  // 0.009999999776482582
  struct Case {
    double value, start;
  } const cases[] = {
      {-0.004, f01},        {0.004, f01},         {0.0, f01},
      {-0.0, f01},          {0.01, 0.01},         {-0.01, -0.01},
      {f01, f01},           {-f01, -f01},         {0.0099999, f01},
      {-0.0099999, f01},    {0.5, 0.5},           {-2.0, -2.0},
      {1e-300, f01},        {-1e-300, f01},       {12345.0, 12345.0},
  };
  const int k = static_cast<int>(std::size(cases));
  std::vector<double> specs, values;
  for (int i = 0; i < k; ++i) {
    specs.push_back(i + 1);
    values.push_back(cases[i].value);
  }
  job(1);
  matrices(1, {{'A', kTypeFull, 1, k, specs, values}});
  close();
  setup();
  for (int i = 0; i < k; ++i) EXPECT_EQ(X()(FITARR.X + i), cases[i].start) << "value " << cases[i].value;
  for (const Case& c : cases) EXPECT_EQ(start_value(c.value), c.start) << c.value;
}

// A parameter in several elements starts from the last one visited: latest
// group, then latest letter, then latest element.
TEST_F(FitSetupTest, LastElementVisitedGivesTheStartValue) {
  job(2);
  matrices(1, {{'A', kTypeFull, 1, 2, {1, 2}, {0.2, 0.3}}, {'C', kTypeFull, 1, 3, {1, 3, 3}, {0.4, 0.5, 0.6}}});
  matrices(2, {{'B', kTypeDiag, 1, 1, {2}, {0.9}}});
  close();
  setup();
  ASSERT_EQ(FITARR.NPAR, 3);  // PARLST 1, 2, 3
  EXPECT_EQ(X()(FITARR.X), 0.4);      // C after A in group 1
  EXPECT_EQ(X()(FITARR.X + 1), 0.9);  // group 2 after group 1
  EXPECT_EQ(X()(FITARR.X + 2), 0.6);  // the later element of C
}

// Default bounds, the rows of ">" and "<" groups, and the group's direction.
TEST_F(FitSetupTest, DefaultAndConstraintBounds) {
  job_constrained();
  col(gcol::kConDirection, 2) = 7;  // overwritten
  setup();
  const double big = static_cast<double>(1.0e20f);
  EXPECT_EQ(big, 1.0000000200408773e20);
  struct Row {
    double lo, hi;
  } const rows[] = {{-10000, 10000}, {-10000, 10000}, {0, big}, {0, big}, {-big, 0}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(X()(FITARR.BLOW + i), rows[i].lo) << "row " << i + 1;
    EXPECT_EQ(X()(FITARR.BUPP + i), rows[i].hi) << "row " << i + 1;
  }
  EXPECT_EQ(col(gcol::kConDirection, 2), 1);
  EXPECT_EQ(col(gcol::kConDirection, 3), -1);
  // The start values by the PARLST order (5, then 2).
  EXPECT_EQ(X()(FITARR.X), 0.25);
  EXPECT_EQ(X()(FITARR.X + 1), 0.75);
}

// Only the first comparison of a formula counts; a formula without one
// leaves the rows at [0, 0] and the direction 0.
TEST_F(FitSetupTest, FirstComparisonDecidesAndNoneIsEquality) {
  job(3);
  matrices(1, {{'A', kTypeDiag, 1, 1, {1}}});
  constraint(2, 1, {1, kLess, 2, kGreater, 3});
  constraint(3, 2, {1, kMinus, 2});
  col(gcol::kConDirection, 3) = 5;
  close();
  setup();
  EXPECT_EQ(X()(FITARR.BLOW + 1), -static_cast<double>(1.0e20f));
  EXPECT_EQ(X()(FITARR.BUPP + 1), 0.0);
  for (int r = 2; r <= 3; ++r) {
    EXPECT_EQ(X()(FITARR.BLOW + r), 0.0);
    EXPECT_EQ(X()(FITARR.BUPP + r), 0.0);
  }
  EXPECT_EQ(col(gcol::kConDirection, 2), -1);
  EXPECT_EQ(col(gcol::kConDirection, 3), 0);
}

// Bound records: a parameter by its specification number (found through the
// parameter list), a constraint row by -k, later records over earlier ones
// and over the comparison rows; unknown targets ignored silently.
TEST_F(FitSetupTest, BoundRecordsTable) {
  job_constrained();
  bounds(1, {{2, 0, 1},        // parameter 2: PARLST index 2
             {-2, -5, 5},      // constraint row 2 (a ">" row)
             {9, 0, 1},        // no parameter 9: ignored
             {-4, -1, 1},      // no constraint row 4: ignored
             {0, -3, 3},       // target 0: no parameter
             {2, -1, 3}});     // overrides the first
  bounds(3, {{5, 0.5, 0.6},    // parameter 5: PARLST index 1
             {-3.7, -2, 2}});  // -3.7 names row 3
  close();
  const std::string out = setup();
  EXPECT_EQ(out, "");
  const double big = static_cast<double>(1.0e20f);
  struct Row {
    double lo, hi;
  } const rows[] = {{0.5, 0.6}, {-1, 3}, {0, big}, {-5, 5}, {-2, 2}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(X()(FITARR.BLOW + i), rows[i].lo) << "row " << i + 1;
    EXPECT_EQ(X()(FITARR.BUPP + i), rows[i].hi) << "row " << i + 1;
  }
}

// A record naming constraint row 2 in a job with one constraint value
// changes nothing.
TEST_F(FitSetupTest, RecordPastTheConstraintRowsIsIgnored) {
  job_equality();
  bounds(2, {{-2, -7, 7}, {-1, -0.5, 0.5}});
  close();
  setup();
  EXPECT_EQ(X()(FITARR.BLOW), -10000.0);
  EXPECT_EQ(X()(FITARR.BUPP), 10000.0);
  EXPECT_EQ(X()(FITARR.BLOW + 1), -0.5);
  EXPECT_EQ(X()(FITARR.BUPP + 1), 0.5);
}

// Without free parameters the dummy variable keeps its default bounds and
// the constraint row follows it.
TEST_F(FitSetupTest, NoFreeParametersKeepsTheDummyRowApart) {
  job(2);
  matrices(1, {{'A', kTypeFull, 1, 1, {0}}});
  constraint(2, 1, {1, kGreater, 2});
  close();
  setup();
  ASSERT_EQ(FITARR.N, 1);
  EXPECT_EQ(X()(FITARR.BLOW), -10000.0);
  EXPECT_EQ(X()(FITARR.BUPP), 10000.0);
  EXPECT_EQ(X()(FITARR.BLOW + 1), 0.0);
  EXPECT_EQ(X()(FITARR.BUPP + 1), static_cast<double>(1.0e20f));
}

TEST_F(FitSetupTest, ParameterMissingFromTheListIsError136) {
  job_three();
  ::testing::internal::CaptureStdout();
  FITCNT(X(), IX(), jobbase::LABTAB, jobbase::MAINPR.LABSLOT);
  ::testing::internal::GetCapturedStdout();
  const jobbase::GroupView G{X(), 1, 1};
  X()(jobbase::icell(G.addr(1)) + 1) = 99;  // element 2 of A now carries a number never listed
  EXPECT_FIT_ERROR(FITLAY(X(), IX()), 136, " Subroutine FIT confused\n");
}

TEST_F(FitSetupTest, ExhaustedWorkspaceStops) {
  job_three();
  ::testing::internal::CaptureStdout();
  FITCNT(X(), IX(), jobbase::LABTAB, jobbase::MAINPR.LABSLOT);
  ::testing::internal::GetCapturedStdout();
  jobbase::MAINPR.WSLIM = jobbase::MAINPR.WSTOP + 50;  // the arrays need 3+3+3+1+3+3+3+9+1+60+3+1
  EXPECT_FIT_ERROR(FITLAY(X(), IX()), 119, " Problem needs over ");
}

// A parameter count whose arrays pass the integers stops on the workspace
// check instead of wrapping round into a layout that overlaps itself.
TEST_F(FitSetupTest, HugeParameterCountStops) {
  job(2);
  matrices(1, {{'A', kTypeFull, 1, 1, {0}}});
  constraint(2, 1, {1});
  close();
  ::testing::internal::CaptureStdout();
  FITCNT(X(), IX(), jobbase::LABTAB, jobbase::MAINPR.LABSLOT);
  ::testing::internal::GetCapturedStdout();
  FITARR.NPAR = FITARR.N = 40000;
  // The report quotes the true last word, past the integers.
  EXPECT_FIT_ERROR(FITLAY(X(), IX()), 119, " Problem needs over +4801160282\n");
}

TEST_F(FitSetupTest, ExhaustedIntegerWorkspaceStops) {
  job_three();
  ::testing::internal::CaptureStdout();
  FITCNT(X(), IX(), jobbase::LABTAB, jobbase::MAINPR.LABSLOT);
  ::testing::internal::GetCapturedStdout();
  jobbase::MAINPR.WSLIM = jobbase::MAINPR.WSTOP + 100;
  jobbase::MAINPR.IWSTOP = jobbase::MAINPR.WSLIM - 5;  // ISTATE 3 and IW 9 do not fit
  EXPECT_FIT_ERROR(FITLAY(X(), IX()), 119, " Available memory for integers ");
}

}  // namespace
}  // namespace qv::fit
