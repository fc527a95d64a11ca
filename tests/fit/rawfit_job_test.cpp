// The rectangular raw-data likelihood (fit code 9) in whole jobs, read and
// prepared through the job loop's steps, against independent references:
// closed forms, and R 4.2 with lavaan 0.6.14 (likelihood "normal") or a
// direct case-by-case computation in R.  The data (300 cases of four
// indicators of one factor, generated with a fixed seed) are
// tests/fit/families/raw_f1x4.dat; it and the numbers below were written by
// tests/fit/refs/rawfit_refs.R (its output is rawfit_refs.txt beside it).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "fit/fitstat.hpp"
#include "fit/objcel.hpp"
#include "fit/rawfit.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "jobctl/job_fixture.hpp"
#include "runtime/unitnames.hpp"
#include "runtime/units.hpp"
#include "support/expect_stop.hpp"
#include "ref_check.hpp"

namespace qv::fit {
namespace {

namespace gcol = jobbase::gcol;

// The 300 cases as the script's RA lines.
std::string raw_lines() {
  std::ifstream in(std::string(QV_FAMILIES_DIR) + "/raw_f1x4.dat");
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A job of one group of the raw data with the matrices, values and formulas
// given (one statement per line).
std::string script(const std::string& title, const std::string& model, const std::string& options = "") {
  return title + "\n Data NGroups=1 NInputvars=4 NObservations=300\n Raw\n" + raw_lines() + model +
         " Options RM" + options + "\nEnd\n";
}

const std::string kSaturated =
    " Begin Matrices;\n  M FU 1 4 Free\n  S SY 4 4 Free\n End Matrices;\n"
    " Start 0.2 ALL\n Start 1 S 1 1 S 2 2 S 3 3 S 4 4\n Means M /\n Covariance S /\n";
const std::string kOneFactor =
    " Begin Matrices;\n  L FU 4 1 Free\n  E DI 4 4 Free\n  M FU 1 4 Free\n End Matrices;\n"
    " Start 0.5 ALL\n Start 1 E 1 1 E 2 2 E 3 3 E 4 4\n"
    " Means M /\n Covariance L*L' + E /\n";
// The fixed matrices of the raw-vector models: S0 with variances 1 and
// covariances 0.3, means M0 = (1, 2, 3, 4), and R the current case.
const std::string kFixed =
    " Begin Matrices;\n  S SY 4 4\n  M FU 1 4\n  R FU 1 4 = %R\n End Matrices;\n"
    " Matrix S 1 .3 1 .3 .3 1 .3 .3 .3 1\n Matrix M 1 2 3 4\n";

// rawfit_refs.txt, the rows marked ROW.
constexpr double kSaturatedF = 3143.1449740663579;  // closed form n p ln 2pi + n ln|S| + n p
const std::vector<double> kSatMeans = {0.95993832583325078, 2.0055604555123216, 3.0732613164250284, 4.046495518581394};
const std::vector<double> kSatCov = {1.0520444758915328, 0.58115902260469776, 1.0371291534583049,
                                     0.53280051806074713, 0.47574390066700345, 1.0249251507827397,
                                     0.4571126209540487,  0.39008849035669313, 0.38080014092270087,
                                     1.0243209070524215};
constexpr double kSelectedF = 2366.0107925068196;  // the same for variables 1 to 3
constexpr double kOneFactorF = 3143.3379172291625;  // lavaan -2 logLik
const std::vector<double> kL = {0.81047786459042148, 0.71366851264207221, 0.66333592403779773, 0.56127363095134641};
const std::vector<double> kE = {0.39517011749941217, 0.52780641033090392, 0.58491060631006797, 0.70929281483871376};
const std::vector<double> kM = kSatMeans;
constexpr double kRawMeansF = 2077.0011959980739;  // n (p ln 2pi + ln|S0|)
constexpr double kRawCovF = 3777.4600416288977;    // sum over cases with S0 + x x'
// The one-factor model at L = 0.5, E = I, M = 0: case 1's -2 ln L and
// sqrt(q), and the total.
constexpr double kStartCase1 = 23.48118109769926;
constexpr double kStartCase1Root = 3.9289344167982665;
constexpr double kStartF = 8703.0342972749804;

// Equal to tol relative.
::testing::AssertionResult near(double actual, double expected, double tol = 1e-5) {
  return qv::testing_support::near_ref(actual, expected, tol);
}

class RawFitTest : public jobctl::testing_support::JobInDirTest {
 protected:
  RawFitTest() : JobInDirTest("qvraw9_") {}
  void SetUp() override {
    JobInDirTest::SetUp();
    runtime::OpenSpec spec;
    spec.file = "fort.7";
    spec.status = "REPLACE";
    runtime::open_unit(runtime::kMsgUnit, spec);
  }
  // The group's value by the fit function alone, at the matrices' present
  // values, with the objective's cells as a run's later call has them.
  static double value(bool at_start = false) {
    OBJCEL.FFIRST = true;
    OBJCEL.FMODE = 0;
    OBJCEL.NNONPD = 0;
    if (!at_start && col(gcol::kFitValue) == 0.0) col(gcol::kFitValue) = 1.0;
    double fobj = 0.0;
    raw_fit(X(), jobbase::MAINPR.NG, 1, fobj);
    EXPECT_EQ(fobj, col(gcol::kFitValue));
    return fobj;
  }
  static void set(char L, const std::vector<double>& v) {
    for (std::size_t i = 0; i < v.size(); ++i) val(L, static_cast<int>(i) + 1) = v[i];
  }
  static std::string file(const std::string& name) {
    std::ifstream in(name);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
};

TEST_F(RawFitTest, SaturatedModelReachesTheClosedFormWithDivisorNCovariances) {
  const std::string report = run(script("Saturated means and covariance", kSaturated));
  EXPECT_TRUE(near(FITRES.F, kSaturatedF));
  // Statistics n p - p(p+1)/2 = 1190, 14 parameters.
  EXPECT_EQ(FITRES.DF, 1176);
  for (int i = 1; i <= 4; ++i) EXPECT_TRUE(near(val('M', i), kSatMeans[static_cast<std::size_t>(i - 1)])) << i;
  for (int i = 1; i <= 10; ++i) EXPECT_TRUE(near(val('S', i), kSatCov[static_cast<std::size_t>(i - 1)])) << i;
  EXPECT_NE(report.find(" -2 times log-likelihood of data >>>  3143.145"), std::string::npos) << report;
}

// Selected variables: the raw records hold the selected values only, and
// the cases follow each other at that length.
TEST_F(RawFitTest, SelectedVariablesAreTheCasesOfTheModel) {
  const std::string text = "Selected raw data\n Data NGroups=1 NInputvars=4 NObservations=300\n Raw\n" +
                           raw_lines() + " Select 1 2 3 ;\n"
                           " Begin Matrices;\n  M FU 1 3 Free\n  S SY 3 3 Free\n End Matrices;\n"
                           " Start 0.2 ALL\n Start 1 S 1 1 S 2 2 S 3 3\n Means M /\n Covariance S /\n"
                           " Options RM\nEnd\n";
  run(text);
  EXPECT_EQ(col(gcol::kNi), 3.0);
  EXPECT_TRUE(near(FITRES.F, kSelectedF));
  for (int i = 1; i <= 3; ++i) EXPECT_TRUE(near(val('M', i), kSatMeans[static_cast<std::size_t>(i - 1)])) << i;
}

TEST_F(RawFitTest, OneFactorModelEqualsLavaan) {
  const std::string report = run(script("One factor, raw data", kOneFactor, " OP=1E-14"));
  EXPECT_TRUE(near(FITRES.F, kOneFactorF));
  EXPECT_TRUE(near(col(gcol::kFitValue), kOneFactorF));
  EXPECT_EQ(FITRES.DF, 1190 - 12);
  for (int i = 1; i <= 4; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    EXPECT_TRUE(near(std::fabs(val('L', i)), kL[k])) << "L " << i;
    EXPECT_TRUE(near(val('E', i), kE[k])) << "E " << i;
    EXPECT_TRUE(near(val('M', i), kM[k])) << "M " << i;
  }
  if (HasFailure()) ADD_FAILURE() << report;
}

TEST_F(RawFitTest, FunctionAtTheSaturatedEstimatesGivesTheClosedForm) {
  build(script("Saturated", kSaturated));
  set('M', kSatMeans);
  set('S', kSatCov);
  EXPECT_TRUE(near(value(), kSaturatedF, 1e-12));
  EXPECT_EQ(OBJCEL.FMODE, 0);
}

TEST_F(RawFitTest, FunctionAtLavaansEstimatesGivesLavaansValue) {
  build(script("One factor", kOneFactor));
  set('L', kL);
  set('E', kE);
  set('M', kM);
  EXPECT_TRUE(near(value(), kOneFactorF, 1e-12));
}

// The raw-data letter's values are the current case: a means formula of the
// letter leaves q = 0 for every case; a covariance formula of it changes
// per case.
TEST_F(RawFitTest, MeansFormulaOfTheRawVectorSeesTheCurrentCase) {
  build(script("Means are the case", kFixed + " Means R /\n Covariance S /\n"));
  EXPECT_EQ(col(gcol::kCaseDepend), 1.0);
  EXPECT_TRUE(near(value(), kRawMeansF, 1e-12));
}

TEST_F(RawFitTest, CovarianceFormulaOfTheRawVectorSeesTheCurrentCase) {
  build(script("Covariance of the case", kFixed + " Means M /\n Covariance S + R'*R /\n"));
  EXPECT_EQ(col(gcol::kCaseDepend), 2.0);
  EXPECT_TRUE(near(value(), kRawCovF, 1e-12));
}

TEST_F(RawFitTest, WholeJobOfTheRawVectorMeansGivesTheReferenceValue) {
  run(script("Means are the case", kFixed + " Means R /\n Covariance S /\n"));
  EXPECT_TRUE(near(FITRES.F, kRawMeansF, 1e-12));
}

TEST_F(RawFitTest, WholeJobOfTheRawVectorCovarianceGivesTheReferenceValue) {
  run(script("Covariance of the case", kFixed + " Means M /\n Covariance S + R'*R /\n"));
  EXPECT_TRUE(near(FITRES.F, kRawCovF, 1e-12));
}

// With the flag set each case writes (-2 ln L, sqrt(q), case, p) as one
// list-directed record, and the first items sum to the group's value.
TEST_F(RawFitTest, StatisticsLinesWithTheFlagSet) {
  build(script("One factor", kOneFactor));
  set('L', {0.5, 0.5, 0.5, 0.5});
  set('E', {1, 1, 1, 1});
  set('M', {0, 0, 0, 0});
  runtime::OpenSpec spec;
  spec.file = "ped.out";
  spec.status = "REPLACE";
  runtime::open_unit(runtime::kOutFileUnit, spec);
  OBJCEL.PEDOUT = true;
  const double F = value();
  OBJCEL.PEDOUT = false;
  runtime::close_unit(runtime::kOutFileUnit);
  EXPECT_TRUE(near(F, kStartF, 1e-12));

  std::istringstream in(file("ped.out"));
  std::string line;
  int count = 0;
  double sum = 0.0;
  while (std::getline(in, line)) {
    ++count;
    std::istringstream fields(line);
    double m2ll = 0.0, root = 0.0;
    int c = 0, p = 0;
    ASSERT_TRUE(fields >> m2ll >> root >> c >> p) << line;
    std::string rest;
    EXPECT_FALSE(fields >> rest) << line;
    EXPECT_EQ(c, count);
    EXPECT_EQ(p, 4);
    if (count == 1) {
      EXPECT_TRUE(near(m2ll, kStartCase1, 1e-8)) << line;
      EXPECT_TRUE(near(root, kStartCase1Root, 1e-8)) << line;
    }
    sum += m2ll;
  }
  EXPECT_EQ(count, 300);
  EXPECT_TRUE(near(sum, kStartF, 1e-8));
}

// A small group written in the script: two variables, the cases given.
std::string small(const std::string& cases, const std::string& model) {
  return "Small raw data\n Data NGroups=1 NInputvars=2 NObservations=3\n Raw\n" + cases +
         " Begin Matrices;\n  S SY 2 2\n  M FU 1 2\n  R FU 1 2 = %R\n End Matrices;\n Matrix S 1 0 1\n" + model +
         " Options RM\nEnd\n";
}

// A case at or below the floor after the start adds -2 ln(1e-33) and makes
// the call not computable; at the start values it is error 97.
TEST_F(RawFitTest, CaseAtTheFloorAddsItsConstantAfterTheStart) {
  build(small("0 0\n100 0\n0 0\n", " Means M /\n Covariance S /\n"));
  const double ln2pi = std::log(2.0 * std::numbers::pi);
  const double F = value();
  EXPECT_TRUE(near(F, 2.0 * 2.0 * ln2pi + 151.970616137607, 1e-14));
  EXPECT_EQ(OBJCEL.FMODE, -1);
}

TEST_F(RawFitTest, CaseAtTheFloorAtTheStartIsError97) {
  build(small("0 0\n100 0\n0 0\n", " Means M /\n Covariance S /\n"));
  EXPECT_QV_STOP(value(true), " Statistics for STRANGE observation # 2\n\n"
                              "   Variable         Observed            Expected             \\(x-mu\\)/sd\n"
                              "     1          0.1000D\\+03          0.0000D\\+00          0.1000D\\+03\n"
                              "     2          0.0000D\\+00          0.0000D\\+00          0.0000D\\+00\n\n"
                              " Expected Covariance Matrix\n"
                              "   0.1000D\\+01\n   0.0000D\\+00   0.1000D\\+01\n\n(.*)error code is +97");
}

// Variables of very small variance: the determinant (1e-400) lies below the
// range of a double, and the likelihood is taken in logarithms:
// -2 ln L = sum of 2 ln 2pi + ln|S| + q, with q = 1, 1, 0.
TEST_F(RawFitTest, DeterminantBeyondTheRangeOfADoubleGivesTheValueInLogarithms) {
  build(small("1E-100 0\n0 1E-100\n0 0\n", " Matrix S 1E-200 0 1E-200\n Means M /\n Covariance S /\n"));
  const double ln2pi = std::log(2.0 * std::numbers::pi);
  const double F = value(true);
  EXPECT_TRUE(near(F, 3.0 * (2.0 * ln2pi - 400.0 * std::log(10.0)) + 2.0, 1e-12));
  EXPECT_EQ(OBJCEL.FMODE, 0);
}

// An expected matrix without an inverse at a later case: the penalty
// (lambda_min^2 p + 1 + z) FSCALE / n replaces what the earlier cases added.
TEST_F(RawFitTest, InversionFailureReplacesTheValueByThePenalty) {
  build(small("0 0\n1 0\n0 0\n", " Means M /\n Covariance S - R'*R /\n"));
  OBJCEL.FSCALE = 6.0;
  const double F = value();
  // S - x x' at case 2 is diag(0, 1): one zero pivot, smallest eigenvalue 0.
  EXPECT_NEAR(F, (0.0 + 1.0 + 1.0) * 6.0 / 3.0, 1e-14);
  EXPECT_EQ(OBJCEL.FMODE, -1);
  EXPECT_EQ(OBJCEL.NNONPD, 1);
  runtime::close_unit(runtime::kMsgUnit);
  const std::string msg = file("fort.7");
  EXPECT_NE(msg.find("\n Expected Covariance Matrix\n   0.0000D+00\n   0.0000D+00   0.1000D+01\n\n Penalty is"),
            std::string::npos)
      << msg;
}

// The scratch is reserved once per run at WSTOP and used again by later calls.
TEST_F(RawFitTest, ScratchIsReservedOncePerRun) {
  build(script("Saturated", kSaturated));
  set('M', kSatMeans);
  set('S', kSatCov);
  OBJCEL.RAWALC = false;
  const int top = jobbase::MAINPR.WSTOP;
  const double F1 = value();
  EXPECT_TRUE(OBJCEL.RAWALC);
  EXPECT_EQ(RAWCEL.ADDR, top);
  EXPECT_EQ(jobbase::MAINPR.WSTOP, top + 10 + 4 * 5);
  const double F2 = value();
  EXPECT_EQ(jobbase::MAINPR.WSTOP, top + 10 + 4 * 5);
  EXPECT_EQ(F1, F2);
}

// Two groups of different orders: the larger one reserves scratch of its
// own size, and later calls reserve nothing more.
TEST_F(RawFitTest, GroupOfMoreVariablesReservesLargerScratch) {
  const std::string model =
      " Begin Matrices;\n  M FU 1 %d\n  S SY %d %d\n End Matrices;\n Means M /\n Covariance S /\n Options RM\nEnd\n";
  auto group = [&](int p, const std::string& select) {
    char text[256];
    std::snprintf(text, sizeof text, model.c_str(), p, p, p);
    return "Group of " + std::to_string(p) + "\n Data NGroups=2 NInputvars=4 NObservations=300\n Raw\n" + raw_lines() +
           select + text;
  };
  build(group(3, " Select 1 2 3 ;\n") + group(4, ""));
  for (int i = 1; i <= 3; ++i) val('M', i, 1) = kSatMeans[static_cast<std::size_t>(i - 1)];
  for (int i = 1; i <= 6; ++i) val('S', i, 1) = kSatCov[static_cast<std::size_t>(i - 1)];
  for (int i = 1; i <= 4; ++i) val('M', i, 2) = kSatMeans[static_cast<std::size_t>(i - 1)];
  for (int i = 1; i <= 10; ++i) val('S', i, 2) = kSatCov[static_cast<std::size_t>(i - 1)];
  OBJCEL.RAWALC = false;
  OBJCEL.FFIRST = true;
  const int top = jobbase::MAINPR.WSTOP;
  for (int pass = 1; pass <= 2; ++pass) {
    double fobj = 0.0;
    raw_fit(X(), 2, 1, fobj);
    EXPECT_TRUE(near(fobj, kSelectedF, 1e-12));
    raw_fit(X(), 2, 2, fobj);
    EXPECT_TRUE(near(fobj - kSelectedF, kSaturatedF, 1e-11));
    EXPECT_EQ(jobbase::MAINPR.WSTOP, top + (6 + 3 * 4) + (10 + 4 * 5)) << pass;
    EXPECT_EQ(RAWCEL.WORDS, 10 + 4 * 5);
  }
}

}  // namespace
}  // namespace qv::fit
