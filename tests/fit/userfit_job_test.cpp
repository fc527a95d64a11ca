// The user-defined fit functions on jobs laid out by the program: code 7
// (the value of the group's covariance formula) and code 8 (that value summed
// over the rows of the raw data, the raw letter following the row).  The
// references are the formulas worked by hand.
#include <gtest/gtest.h>

#include <string>

#include "algebra/formmach.hpp"
#include "fit/fitcb.hpp"
#include "fit/fitsetup.hpp"
#include "fit/fitstat.hpp"
#include "fit/objcel.hpp"
#include "fit/userfit.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "jobctl/job_fixture.hpp"

namespace qv::fit {
namespace {

namespace gcol = jobbase::gcol;

class UserFitTest : public jobctl::testing_support::JobInDirTest {
 protected:
  UserFitTest() : JobInDirTest("userfit_") {}
  // Group g's value by its fit function, added to a total that starts at
  // `before`; returns the total.
  static double value(int code, double before, int g = 1) {
    jobbase::MAINPR.IGRP = g;
    double fobj = before;
    user_fit(code, X(), jobbase::MAINPR.NG, g, fobj);
    return fobj;
  }
  // The covariance formula evaluated as the objective's evaluation step does
  // for every code but 7.
  static void evaluate(int g = 1) {
    jobbase::MAINPR.IGRP = g;
    algebra::FMFLAG.NMODEL = 1;
    int status = 1;
    algebra::EVCOMP(X(), 0, status);
    algebra::EVFORM(X(), jobbase::fkind::kCov, g, g, status);
  }
};

// (a - 3)^2 + 3 through a computed matrix: code 7 evaluates the computed
// matrices itself, so a new value of A reaches the value without any other
// evaluation.
const std::string kUser =
    "User-defined value\n Data NGroups=1 NInputvars=1 NObservations=10\n"
    " Begin Matrices;\n  A FU 1 1 Free\n  K FU 1 1\n End Matrices;\n Matrix K 3\n Start 1 A 1 1\n"
    " Begin Algebra;\n  C = (A-K)*(A-K);\n End Algebra;\n Covariance C + K /\n Options US RS\nEnd\n";

TEST_F(UserFitTest, CodeSevenIsTheFormulasValueAddedOnce) {
  build(kUser);
  ASSERT_EQ(col(gcol::kFitCode), jobbase::kFitUser);
  for (const double a : {1.0, 3.0, -2.5, 1e3}) {
    val('A', 1) = a;
    const double expected = (a - 3.0) * (a - 3.0) + 3.0;  // by hand
    EXPECT_EQ(value(jobbase::kFitUser, 10.0), 10.0 + expected) << a;
    EXPECT_EQ(col(gcol::kFitValue), expected) << a;
  }
}

TEST_F(UserFitTest, CodeSevenFitFindsTheMinimumOfTheUsersFunction) {
  const std::string out = run(kUser);
  EXPECT_NEAR(val('A', 1), 3.0, 1e-4);
  EXPECT_NEAR(col(gcol::kFitValue), 3.0, 1e-8);
  EXPECT_NEAR(FITRES.F, 3.0, 1e-8);
  EXPECT_NE(out.find(" User defined function value ="), std::string::npos) << out;
  EXPECT_NE(out.find(" Expected matrix and residuals don't exist for user-defined  fit functions"),
            std::string::npos)
      << out;
}

// Raw data of n rows of k = 2 values; R views the current row.
std::string rows_job(const std::string& view, const std::string& formula) {
  return "User-defined value per row\n Data NGroups=1 NInputvars=2 NObservations=3\n RAwdata\n"
         "  1 10\n  2 20\n  3 30\n Begin Matrices;\n  R " + view + " = %R\n  W FU 2 1\n  A FU 1 1 Free\n"
         " End Matrices;\n Matrix W 0 1\n Start 0 A 1 1\n Means W' /\n Covariance " + formula +
         " /\n Options RU\nEnd\n";
}

// Each row is seen once, in place: row i of the data when the formula is
// evaluated for row i, whatever part of the row the raw letter views.
TEST_F(UserFitTest, CodeEightSumsTheFormulaOverTheRowsEachRowSeenInPlace) {
  struct Case {
    const char* view;
    const char* formula;
    double sum;  // by hand over the rows (1, 10), (2, 20), (3, 30)
  };
  const Case cases[] = {
      {"FU 1 1", "R + A", 1 + 2 + 3},      // the first value of each row
      {"FU 1 2", "R*W + A", 10 + 20 + 30},  // the second value
      {"FU 1 2", "R*R' + A", 101 + 404 + 909},
  };
  for (const Case& c : cases) {
    build(rows_job(c.view, c.formula));
    ASSERT_EQ(col(gcol::kFitCode), jobbase::kFitUserRows);
    evaluate();
    EXPECT_EQ(value(jobbase::kFitUserRows, 0.5), 0.5 + c.sum) << c.view << " " << c.formula;
    EXPECT_EQ(col(gcol::kFitValue), c.sum) << c.view << " " << c.formula;
    // A second call sees the same rows.
    EXPECT_EQ(value(jobbase::kFitUserRows, 0.0), c.sum) << c.view << " " << c.formula;
    // Afterwards the letter views the first row again, and the means formula
    // (W', 1 x 2) holds its value for the report.
    EXPECT_EQ(val('R', 1), 1.0);
    const int means = static_cast<int>(col(gcol::kMeansResult));
    EXPECT_EQ(X()(means), 0.0);
    EXPECT_EQ(X()(means + 1), 1.0);
  }
}

TEST_F(UserFitTest, CodeEightOfOneColumnOneTwoThreeIsSix) {
  build("Rows 1, 2, 3\n Data NGroups=1 NInputvars=1 NObservations=3\n RAwdata\n 1\n 2\n 3\n"
        " Begin Matrices;\n  R FU 1 1 = %R\n  A FU 1 1 Free\n End Matrices;\n Means R /\n"
        " Covariance R + A*A /\n Options RU\nEnd\n");
  evaluate();
  EXPECT_EQ(value(jobbase::kFitUserRows, 0.0), 6.0);
  EXPECT_EQ(col(gcol::kFitValue), 6.0);
}

// Without a raw letter every row evaluates the same formula.
TEST_F(UserFitTest, CodeEightWithoutARawLetterCountsTheFormulaOncePerRow) {
  build("No raw letter\n Data NGroups=1 NInputvars=1 NObservations=3\n RAwdata\n 1\n 2\n 3\n"
        " Begin Matrices;\n  A FU 1 1 Free\n End Matrices;\n Start 2 A 1 1\n Means A /\n"
        " Covariance A*A /\n Options RU\nEnd\n");
  ASSERT_EQ(col(gcol::kRawLetter), 0.0);
  evaluate();
  EXPECT_EQ(value(jobbase::kFitUserRows, 0.0), 12.0);
}

TEST_F(UserFitTest, CodeEightFitMinimisesTheSumOverTheRows) {
  // sum over rows of (x_i - a)^2 is least at the mean, 2, where it is 2.
  const std::string out = run(
      "Least squares by rows\n Data NGroups=1 NInputvars=1 NObservations=3\n RAwdata\n 1\n 2\n 3\n"
      " Begin Matrices;\n  R FU 1 1 = %R\n  A FU 1 1 Free\n End Matrices;\n Start 0.5 A 1 1\n Means R /\n"
      " Covariance (R-A)*(R-A) /\n Options RU\nEnd\n");
  EXPECT_NEAR(val('A', 1), 2.0, 1e-4);
  EXPECT_NEAR(FITRES.F, 2.0, 1e-8);
  EXPECT_NE(out.find(" User defined function value ="), std::string::npos) << out;
}

}  // namespace
}  // namespace qv::fit

namespace qv::fit {
namespace {

// Data read before the raw data (here an observed matrix, which code 8 still
// reports) lie in the words where the raw letter's specification numbers
// would be; they are no parameters, and the rows keep their values.
TEST_F(UserFitTest, CodeEightRowsAfterOtherDataKeepTheirValues) {
  const std::string out = run(
      "Least squares by rows\n Data NGroups=1 NInputvars=1 NObservations=3\n CMatrix\n 1\n RAwdata\n 1\n 2\n 3\n"
      " Begin Matrices;\n  R FU 1 1 = %R\n  A FU 1 1 Free\n End Matrices;\n Start 0.5 A 1 1\n Means A /\n"
      " Covariance (R-A)*(R-A) /\n Options RU RS\nEnd\n");
  const int first = static_cast<int>(col(gcol::kRawData));
  EXPECT_EQ(X()(first), 1.0);
  EXPECT_EQ(X()(first + 1), 2.0);
  EXPECT_EQ(X()(first + 2), 3.0);
  EXPECT_NEAR(val('A', 1), 2.0, 1e-4);
  EXPECT_NEAR(FITRES.F, 2.0, 1e-8);
  EXPECT_NE(out.find(" OBSERVED COVARIANCE MATRIX"), std::string::npos) << out;
}

}  // namespace
}  // namespace qv::fit

namespace qv::fit {
namespace {

// The same layout: the fit's start vector takes A's start value, not the
// first raw value that follows the observed matrix.
TEST_F(UserFitTest, StartValuesComeFromTheParametersNotTheRawRows) {
  build("Start values\n Data NGroups=1 NInputvars=1 NObservations=3\n CMatrix\n 1\n RAwdata\n 7\n 8\n 9\n"
        " Begin Matrices;\n  R FU 1 1 = %R\n  A FU 1 1 Free\n End Matrices;\n Start 0.5 A 1 1\n Means A /\n"
        " Covariance (R-A)*(R-A) /\n Options RU\nEnd\n");
  jobbase::testing_support::capture([] {
    FITCNT(X(), jobbase::IWORKS.ix(), jobbase::LABTAB, jobbase::MAINPR.LABSLOT);
    FITCB.FCFIRST = false;
    FITLAY(X(), jobbase::IWORKS.ix());
  });
  EXPECT_EQ(X()(FITARR.X), 0.5);
  EXPECT_EQ(X()(static_cast<int>(col(gcol::kRawData))), 7.0);
}

}  // namespace
}  // namespace qv::fit
