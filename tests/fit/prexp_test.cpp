// The group results report on hand-built groups: constraint and calculation
// groups, covariance-structure groups with means, residuals and labels, the
// raw-data and user-defined notes, the diagonal part of AWLS, contingency
// tables, component models, and an observed matrix held inverted.
#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "fit/prexp.hpp"
#include "fit_fixture.hpp"
#include "jobbase/areas.hpp"

namespace qv::fit {
namespace {

using testing_support::FitJobTest;
using testing_support::jobctl_capture;
using testing_support::library_units;
using testing_support::lines;
namespace gcol = jobbase::gcol;

class ReportTest : public FitJobTest {
 protected:
  void SetUp() override {
    FitJobTest::SetUp();
    library_units(6);
  }
  // Values stored at a new address.
  int store(const std::vector<double>& v) {
    const int a = take(static_cast<int>(v.size()));
    for (std::size_t k = 0; k < v.size(); ++k) X()(a + static_cast<int>(k)) = v[k];
    return a;
  }
  // An evaluated result: its head (type, rows, columns), then the values;
  // returns the address of the values.
  int result(int type, int r, int c, const std::vector<double>& v) {
    store({static_cast<double>(type), static_cast<double>(r), static_cast<double>(c)});
    return store(v);
  }
  // Group g's covariance formula (a code list of count codes) and result.
  void cov(int g, int count, int res) {
    col(gcol::kCovFormula, g) = store({static_cast<double>(count), 1.0});
    col(gcol::kCovResult, g) = res;
  }
  std::string report(int g = 1) {
    return jobctl_capture([&] { PREXP(X(), g, jobbase::MAINPR.NG, 0, 0, 1); });
  }
  // A data group of two variables with an observed covariance matrix
  // [2 .5; .5 1] and an expected [1.8 .4; .4 1.1] (fit code given).
  void two_variables(int code) {
    job(1);
    col(gcol::kFitCode, 1) = code;
    col(gcol::kNvar, 1) = 2;
    col(gcol::kObsData, 1) = store({2, 0.5, 1});
    cov(1, 2, result(jobbase::kTypeSym, 2, 2, {1.8, 0.4, 1.1}));
    col(gcol::kFitValue, 1) = 0.125;
  }
};

// A data group under ML: observed and expected means (row label "Mean"),
// the observed, expected and residual covariance matrices, the function
// value and the fit function's name.
TEST_F(ReportTest, CovarianceGroupWithMeans) {
  two_variables(jobbase::kFitML);
  col(gcol::kObsMeans, 1) = store({3, 4});
  col(gcol::kMeansResult, 1) = result(jobbase::kTypeFull, 1, 2, {3.5, 4.5});
  close();
  EXPECT_EQ(report(), lines({"",
 " Vector of OBSERVED means",
 "                1          2",
 " Mean      3.0000     4.0000",
 "",
 " Vector of EXPECTED means",
 "                1          2",
 " Mean      3.5000     4.5000",
 " OBSERVED COVARIANCE MATRIX",
 "             1          2",
 " 1      2.0000",
 " 2      0.5000     1.0000",
 " EXPECTED COVARIANCE MATRIX",
 "             1          2",
 " 1      1.8000",
 " 2      0.4000     1.1000",
 " RESIDUAL MATRIX",
 "          1       2",
 " 1   0.2000",
 " 2   0.1000 -0.1000",
 " Function value of this group:   0.1250",
 " Where the fit function is Maximum Likelihood                 "}));
}

// The group's variable labels name the columns (and the rows of square
// matrices).
TEST_F(ReportTest, VariableLabels) {
  two_variables(jobbase::kFitLS);
  jobbase::LABTAB.put(50, "height");
  jobbase::LABTAB.put(51, "weight");
  col(gcol::kVarLabels, 1) = 50;
  close();
  const std::string out = report();
  EXPECT_NE(out.find(lines({" OBSERVED COVARIANCE MATRIX", "             height     weight", " height      2.0000",
                            " weight      0.5000     1.0000"})),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(lines({" RESIDUAL MATRIX", "          height  weight", " height   0.2000", " weight   0.1000 -0.1000"})),
            std::string::npos)
      << out;
}

// Constraint groups head their values by the direction; any other
// direction prints the values alone.  Calculation groups head their matrix.
TEST_F(ReportTest, ConstraintAndCalculationGroups) {
  struct Case {
    int kind;
    double direction;
    const char* heading;
  } const cases[] = {
      {jobbase::kKindConstraint, 0, " CONSTRAINT VALUES (should be near zero)"},
      {jobbase::kKindConstraint, -1, " CONSTRAINT VALUES (should be negative)"},
      {jobbase::kKindConstraint, 1, " CONSTRAINT VALUES (should be positive)"},
      {jobbase::kKindConstraint, 2, nullptr},
      {jobbase::kKindCalc, 0, " EXPECTED MATRIX of this CALCULATION group"},
      {jobbase::kKindSim, 0, " EXPECTED MATRIX of this CALCULATION group"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.heading ? c.heading : "no heading");
    SetUp();
    job(1);
    col(gcol::kKind, 1) = c.kind;
    col(gcol::kConDirection, 1) = c.direction;
    cov(1, 3, result(jobbase::kTypeFull, 1, 2, {0.5, -1}));
    close();
    std::string want = "\n";
    if (c.heading) want += std::string(c.heading) + "\n";
    want += lines({"          1       2", " 1   0.5000 -1.0000"});
    EXPECT_EQ(report(), want);
    TearDown();
  }
}

// A calculation group's full matrix is printed whole, row by row as stored.
TEST_F(ReportTest, CalculationMatrixIsPrintedInRows) {
  job(1);
  col(gcol::kKind, 1) = jobbase::kKindCalc;
  cov(1, 3, result(jobbase::kTypeFull, 2, 3, {1, 2, 3, 4, 5, 6}));
  close();
  EXPECT_EQ(report(), lines({"",
 " EXPECTED MATRIX of this CALCULATION group",
 "             1          2          3",
 " 1      1.0000     2.0000     3.0000",
 " 2      4.0000     5.0000     6.0000"}));
}

// Without a formula, or with an empty result, the matrix is "Not supplied";
// without an evaluated result nothing follows the heading.
TEST_F(ReportTest, MissingMatrices) {
  const std::string head = lines({"", " EXPECTED MATRIX of this CALCULATION group"});
  const std::string none = lines({"", " Not supplied for this group"});
  job(1);
  col(gcol::kKind, 1) = jobbase::kKindCalc;
  cov(1, 0, result(jobbase::kTypeFull, 1, 1, {1}));
  close();
  EXPECT_EQ(report(), head + none);
  SetUp();
  job(1);
  col(gcol::kKind, 1) = jobbase::kKindCalc;
  cov(1, 2, result(jobbase::kTypeFull, 0, 3, {}));
  close();
  EXPECT_EQ(report(), head + none);
  SetUp();
  job(1);
  col(gcol::kKind, 1) = jobbase::kKindCalc;
  close();
  EXPECT_EQ(report(), head);
}

// Raw data: the note instead of the observed matrix, and no residuals.
TEST_F(ReportTest, RawDataGroup) {
  two_variables(jobbase::kFitRaw);
  col(gcol::kMeansResult, 1) = result(jobbase::kTypeFull, 1, 2, {3.5, 4.5});
  close();
  EXPECT_EQ(report(), lines({"",
 " Vector of EXPECTED means",
 "                1          2",
 " Mean      3.5000     4.5000",
 " (OBSERVED MATRIX is nonexistent for raw data)",
 " EXPECTED COVARIANCE MATRIX",
 "             1          2",
 " 1      1.8000",
 " 2      0.4000     1.1000",
 " Function value of this group:   0.1250",
 " Where the fit function is Raw data Maximum Likelihood        "}));
}

// User-defined functions: the note instead of the expected and residual
// matrices; code 8 still shows the observed matrix, code 7 does not.
TEST_F(ReportTest, UserDefinedFunctions) {
  two_variables(jobbase::kFitUserRows);
  close();
  EXPECT_EQ(report(), lines({"",
 " OBSERVED COVARIANCE MATRIX",
 "             1          2",
 " 1      2.0000",
 " 2      0.5000     1.0000",
 " Expected matrix and residuals don't exist for user-defined  fit functions",
 " Function value of this group:   0.1250",
 " Where the fit function is User-defined, summed over data rows"}));
  SetUp();
  two_variables(jobbase::kFitUser);
  close();
  EXPECT_EQ(report(), lines({"", " Expected matrix and residuals don't exist for user-defined  fit functions",
                             " Function value of this group:   0.1250",
                             " Where the fit function is User-defined                       "}));
}

// AWLS adds the part of the function value due to the diagonal of S.
TEST_F(ReportTest, AsymptoticWeightsAddTheDiagonalPart) {
  two_variables(jobbase::kFitAWLS);
  col(gcol::kDiagPenalty, 1) = 0.03125;
  close();
  EXPECT_EQ(report(), lines({"",
 " OBSERVED COVARIANCE MATRIX",
 "             1          2",
 " 1      2.0000",
 " 2      0.5000     1.0000",
 " EXPECTED COVARIANCE MATRIX",
 "             1          2",
 " 1      1.8000",
 " 2      0.4000     1.1000",
 " RESIDUAL MATRIX",
 "          1       2",
 " 1   0.2000",
 " 2   0.1000 -0.1000",
 " Function value of this group:   0.1250",
 " Where the fit function is Asymptotic Weighted Least Squares  ",
 "",
 " Part due to diagonal of S is   0.0312"}));
}

// A contingency table: thresholds, the observed counts, the expected
// proportions times N and their difference, then the 2 x 2 expected matrix.
TEST_F(ReportTest, ContingencyTable) {
  job(1);
  col(gcol::kFitCode, 1) = jobbase::kFitTable;
  col(gcol::kTableRows, 1) = 2;
  col(gcol::kTableCols, 1) = 2;
  col(gcol::kNobs, 1) = 100;
  col(gcol::kObsData, 1) = store({12, 18, 30, 40});
  col(gcol::kMeansResult, 1) = result(jobbase::kTypeFull, 2, 1, {0.1, -0.2});
  cov(1, 2, result(jobbase::kTypeSym, 2, 2, {1, 0.3, 1, 0.1, 0.2, 0.3, 0.4}));
  col(gcol::kFitValue, 1) = 2;
  close();
  EXPECT_EQ(report(), lines({"",
 " Expected ROW thresholds",
 "          1",
 " t   0.1000",
 " Expected COLUMN thresholds",
 "          1",
 " t  -0.2000",
 " Observed frequencies",
 "             1          2",
 " 1     12.0000    18.0000",
 " 2     30.0000    40.0000",
 " Expected frequencies",
 "             1          2",
 " 1     10.0000    20.0000",
 " 2     30.0000    40.0000",
 " Residual frequencies",
 "             1          2",
 " 1      2.0000    -2.0000",
 " 2      0.0000     0.0000",
 " EXPECTED COVARIANCE MATRIX",
 "          1       2",
 " 1   1.0000",
 " 2   0.3000  1.0000",
 " Function value of this group:      2.0000",
 " Where the fit function is Contingency table ML               "}));
}

// Variable-length records with a definition variable and two component
// models: the observed means after the definition variable, each model's
// means and covariance matrix under its number.
TEST_F(ReportTest, ComponentModels) {
  job(1);
  col(gcol::kFitCode, 1) = jobbase::kFitVL;
  col(gcol::kNvar, 1) = 3;
  col(gcol::kDefVars, 1) = store({1});
  jobbase::IGRPTB(IX(), 1, jobbase::igcol::kModels, 1) = 2;
  col(gcol::kObsMeans, 1) = store({9, 3, 4});
  col(gcol::kMeansResult, 1) = result(jobbase::kTypeFull, 1, 2, {1, 2, 5, 6});
  cov(1, 2, result(jobbase::kTypeSym, 2, 2, {1, 0, 1, 2, 0, 2}));
  close();
  EXPECT_EQ(report(), lines({"",
 " Vector of OBSERVED means",
 "                1          2",
 " Mean      3.0000     4.0000",
 "",
 " Vector of EXPECTED means",
 "",
 " Model number: 1",
 "",
 "                1          2",
 " Mean      1.0000     2.0000",
 "",
 " Model number: 2",
 "",
 "                1          2",
 " Mean      5.0000     6.0000",
 " (OBSERVED MATRIX is nonexistent for raw data)",
 " EXPECTED COVARIANCE MATRIX",
 "",
 " Model number: 1",
 "",
 "          1       2",
 " 1   1.0000",
 " 2   0.0000  1.0000",
 "",
 " Model number: 2",
 "",
 "             1          2",
 " 1      2.0000",
 " 2      0.0000     2.0000",
 " Function value of this group:   0.0000",
 " Where the fit function is Variable-length records ML         "}));
}

// The formula machine's header of stacked blocks counts all their rows
// (here 4 for two models of order 2): each model still prints as a square
// block of its own.
TEST_F(ReportTest, StackedComponentModelsPrintOneSquareBlockEach) {
  job(1);
  col(gcol::kFitCode, 1) = jobbase::kFitVL;
  col(gcol::kNvar, 1) = 2;
  jobbase::IGRPTB(IX(), 1, jobbase::igcol::kModels, 1) = 2;
  col(gcol::kMeansResult, 1) = result(jobbase::kTypeFull, 1, 4, {1, 2, 5, 6});
  cov(1, 2, result(jobbase::kTypeSym, 4, 2, {1, 0.5, 1, 2, -0.5, 2}));
  close();
  const std::string out = report();
  EXPECT_NE(out.find(lines({" EXPECTED COVARIANCE MATRIX", "", " Model number: 1", "", "          1       2",
                            " 1   1.0000", " 2   0.5000  1.0000", "", " Model number: 2", "",
                            "             1          2", " 1      2.0000", " 2     -0.5000     2.0000"})),
            std::string::npos)
      << out;
}

// Ordinal mixtures show their expected thresholds, rows "Threshold  k".
TEST_F(ReportTest, OrdinalThresholds) {
  job(1);
  col(gcol::kFitCode, 1) = jobbase::kFitOrdMix;
  col(gcol::kNvar, 1) = 2;
  col(gcol::kObsMeans, 1) = store({9, 9});
  col(gcol::kMeansResult, 1) = result(jobbase::kTypeFull, 2, 2, {-1, -2, 1, 2});
  cov(1, 2, result(jobbase::kTypeSym, 2, 2, {1, 0.5, 1}));
  close();
  const std::string out = report();
  EXPECT_EQ(out.find("OBSERVED means"), std::string::npos) << out;
  EXPECT_NE(out.find(lines({" Matrix of EXPECTED thresholds", "                        1          2",
                            " Threshold  1     -1.0000    -2.0000", " Threshold  2      1.0000     2.0000"})),
            std::string::npos)
      << out;
}

// An observed matrix held inverted (GLS) is inverted back before it is
// shown, and is no longer marked; one that cannot be inverted stops the job
// with error 54.
TEST_F(ReportTest, ObservedMatrixHeldInverted) {
  two_variables(jobbase::kFitGLS);
  const int obs = col(gcol::kObsData, 1);
  X()(obs) = 0.5;
  X()(obs + 1) = 0.0;
  X()(obs + 2) = 0.25;
  col(gcol::kObsInverted, 1) = 1;
  close();
  const std::string out = report();
  EXPECT_NE(out.find(lines({" OBSERVED COVARIANCE MATRIX", "             1          2", " 1      2.0000",
                            " 2      0.0000     4.0000"})),
            std::string::npos)
      << out;
  EXPECT_EQ(col(gcol::kObsInverted, 1), 0.0);
  EXPECT_DOUBLE_EQ(X()(obs), 2.0);
  EXPECT_DOUBLE_EQ(X()(obs + 2), 4.0);
  SetUp();
  two_variables(jobbase::kFitGLS);
  const int bad = col(gcol::kObsData, 1);
  X()(bad + 1) = 3.0;  // [2 3; 3 1] is indefinite
  col(gcol::kObsInverted, 1) = 1;
  close();
  EXPECT_FIT_ERROR(PREXP(X(), 1, 1, 0, 0, 1), 54, " OBSERVED COVARIANCE MATRIX");
}

// Record mode prints nothing.
TEST_F(ReportTest, RecordModePrintsNothing) {
  two_variables(jobbase::kFitML);
  close();
  const std::string out = jobctl_capture([&] { PREXP(X(), 1, 1, 0, 1, 0); });
  EXPECT_EQ(out, "\n");
}

// The fit functions' names: 35 characters each, blank for unknown codes.
TEST_F(ReportTest, FitFunctionNames) {
  const char* const names[] = {"Least Squares",
                               "Maximum Likelihood",
                               "Asymptotic Weighted Least Squares",
                               "Diagonally Weighted Least Squares",
                               "Generalised Least Squares",
                               "No fit function",
                               "User-defined",
                               "User-defined, summed over data rows",
                               "Raw data Maximum Likelihood",
                               "Variable-length records ML",
                               "Contingency table ML",
                               "Ordinal variable-length records ML",
                               "Ordinal variable-length records ML",
                               "Ordinal records, mixture of models"};
  for (int code = 1; code <= 14; ++code) {
    const std::string n = FITNAM(code);
    EXPECT_EQ(n.size(), 35u);
    EXPECT_EQ(n.substr(0, n.find_last_not_of(' ') + 1), names[code - 1]);
  }
  EXPECT_EQ(FITNAM(0), std::string(35, ' '));
  EXPECT_EQ(FITNAM(99), std::string(35, ' '));
}

}  // namespace
}  // namespace qv::fit

namespace qv::fit {
namespace {

// The front-end records of the report's record mode, read back: each
// matrix record as "name type rows x cols: values" and each label record as
// "KIND tag: labels", frame tokens as they are.
std::vector<std::string> records(const std::string& out) {
  std::vector<std::string> v, got;
  std::size_t p = 0;
  while (p < out.size()) {
    const std::size_t e = out.find('\n', p);
    v.push_back(out.substr(p, e - p));
    p = e + 1;
  }
  auto num = [](const std::string& s) {
    std::ostringstream o;
    o << std::stod(s);
    return o.str();
  };
  for (std::size_t i = 0; i < v.size();) {
    const std::string& l = v[i];
    if (l == "!@machine;" || l == "!@human;") {
      got.push_back(l);
      ++i;
    } else if (l == " VALUE") {
      const int n = std::stoi(v[i + 7]);
      std::string r = v[i + 2] + v[i + 3] + " " + v[i + 4].substr(1) + "x" + v[i + 5].substr(1) + ":";
      for (int k = 0; k < n; ++k) r += " " + num(v[i + 8 + static_cast<std::size_t>(k)]);
      got.push_back(r);
      i += 9 + static_cast<std::size_t>(n);
    } else if (l == " LABEL") {
      std::string r = v[i + 1].substr(1) + " " + v[i + 3] + ":";
      i += 4;
      while (v[i] != " ;") r += " " + v[i++];
      got.push_back(r);
      ++i;
    } else {
      got.push_back("?" + l);
      ++i;
    }
  }
  return got;
}

class RecordTest : public ReportTest {
 protected:
  std::vector<std::string> recs(int g = 1, int front = 1, int dump = 1) {
    jobbase::MAINPR.IGRP = g;
    return records(jobctl_capture([&] { PREXP(X(), g, jobbase::MAINPR.NG, front, 1, dump); }));
  }
};

using V = std::vector<std::string>;

// A labelled covariance group: ObsCov with its row and column labels,
// ExpCov, and ResCov as a packed symmetric matrix (observed minus expected,
// the residuals of the report test above), each in a frame of its own,
// after the data section's blank line.
TEST_F(RecordTest, CovarianceGroupSendsObservedExpectedAndResiduals) {
  two_variables(jobbase::kFitML);
  jobbase::LABTAB.put(50, "height");
  jobbase::LABTAB.put(51, "weight");
  col(gcol::kVarLabels, 1) = 50;
  close();
  EXPECT_EQ(recs(), (V{"?",
                       "!@machine;",
                       "\"ObsCov\" 9 2x2: 2 0.5 0.5 1",
                       "ROW \"ObsCov\": \"height\" \"weight\"",
                       "COLUMN \"ObsCov\": \"height\" \"weight\"",
                       "!@human;",
                       "!@machine;",
                       "\"ExpCov\" 9 2x2: 1.8 0.4 0.4 1.1",
                       "!@human;",
                       "!@machine;",
                       "\"ResCov\" 8 2x2: 0.2 0.1 -0.1",
                       "!@human;"}));
}

// Nothing is sent unless the front-end and dump flags are both set.
TEST_F(RecordTest, RecordsNeedTheFrontEndAndDumpFlags) {
  two_variables(jobbase::kFitML);
  close();
  EXPECT_EQ(recs(1, 0, 1), V{"?"});
  EXPECT_EQ(recs(1, 1, 0), V{"?"});
}

// Observed and expected means share one frame, each with its column labels.
TEST_F(RecordTest, MeansShareOneFrame) {
  two_variables(jobbase::kFitML);
  col(gcol::kObsMeans, 1) = store({3, 4});
  col(gcol::kMeansResult, 1) = result(jobbase::kTypeFull, 1, 2, {2.5, 4.5});
  jobbase::LABTAB.put(50, "a");
  jobbase::LABTAB.put(51, "b");
  col(gcol::kVarLabels, 1) = 50;
  close();
  const V got = recs();
  ASSERT_GE(got.size(), 7u);
  EXPECT_EQ(V(got.begin(), got.begin() + 7),
            (V{"?", "!@machine;", "\"ObsMean\" 9 1x2: 3 4", "COLUMN \"ObsMean\": \"a\" \"b\"",
               "\"ExpMean\" 9 1x2: 2.5 4.5", "COLUMN \"ExpMean\": \"a\" \"b\"", "!@human;"}));
}

// A contingency table: each block in a frame of its own, the tables in
// column order (the counts of the report test above), then the expected
// 2 x 2 matrix; no residual covariance for fit code 11.
TEST_F(RecordTest, ContingencyTableSendsThresholdsAndFrequencies) {
  job(1);
  col(gcol::kFitCode, 1) = jobbase::kFitTable;
  col(gcol::kTableRows, 1) = 2;
  col(gcol::kTableCols, 1) = 2;
  col(gcol::kNobs, 1) = 100;
  col(gcol::kObsData, 1) = store({12, 18, 30, 40});
  col(gcol::kMeansResult, 1) = result(jobbase::kTypeFull, 2, 1, {0.1, -0.2});
  cov(1, 2, result(jobbase::kTypeSym, 2, 2, {1, 0.3, 1, 0.1, 0.2, 0.3, 0.4}));
  close();
  EXPECT_EQ(recs(), (V{"?",
                       "!@machine;", "\"ExpRowThre\" 9 1x1: 0.1", "!@human;",
                       "!@machine;", "\"ExpColThre\" 9 1x1: -0.2", "!@human;",
                       "!@machine;", "\"ObsFreq\" 9 2x2: 12 30 18 40", "!@human;",
                       "!@machine;", "\"ExpFreq\" 9 2x2: 10 30 20 40", "!@human;",
                       "!@machine;", "\"ResFreq\" 9 2x2: 2 0 -2 0", "!@human;",
                       "!@machine;", "\"ExpCov\" 9 2x2: 1 0.3 0.3 1", "!@human;"}));
}

// A calculation group sends its matrix as stored, under ExpCal.
TEST_F(RecordTest, CalculationGroupSendsExpCal) {
  job(1);
  col(gcol::kKind, 1) = jobbase::kKindCalc;
  cov(1, 2, result(jobbase::kTypeSym, 2, 2, {1, 2, 3}));
  close();
  EXPECT_EQ(recs(), (V{"!@machine;", "\"ExpCal\" 8 2x2: 1 2 3", "!@human;"}));
}

}  // namespace
}  // namespace qv::fit
