// The identification list of a record group in whole jobs: the numbers of
// the group's IC statement give the code of each row of the model, a member
// takes the row of its code, and two members of one code in a record take
// successive rows of that code.  Without an IC statement the list is 1..NI.
// References: the likelihood computed in R with the codes mapped through the
// list (the ordinal records' probabilities by mvtnorm), and its maximum
// (optim) for the twin pairs, written by tests/fit/refs/idlist_refs.R (its
// output is idlist_refs.txt beside it).
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "fit/fitstat.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "jobctl/job_fixture.hpp"
#include "numlib/machconst.hpp"
#include "ref_check.hpp"

namespace qv::fit {
namespace {

namespace gcol = jobbase::gcol;

// Equal to tol relative.
::testing::AssertionResult near(double actual, double expected, double tol = 1e-7) {
  return qv::testing_support::near_ref(actual, expected, tol);
}

// Three records of a fixed model of order 3; ic is the IC statement's line
// (empty: none).
std::string permuted_job(const std::string& ic, const std::string& options = "") {
  return "VL records, fixed model\n"
         " Data NGroups=1 NInputvars=3 NObservations=3\n"
         " VLength\n 3\n 1 2 3  0.3 1.2 0.8\n 2\n 2 3  -0.4 0.9\n 1\n 1 1.7\n End VLength\n"
         " Begin Matrices;\n  S SY 3 3\n  M FU 1 3\n End Matrices;\n"
         " Matrix S 1 .5 2 .2 .3 1\n Matrix M 0 2 1\n" +
         ic + " Covariance S /\n Means M /\n" + options + "End\n";
}

// Four records in which two members share code 2, list 1 2 2.
const std::string kSharedJob =
    "VL records, two members of one code\n"
    " Data NGroups=1 NInputvars=3 NObservations=4\n"
    " VLength\n 3\n 1 2 2  0.3 1.2 0.8\n 2\n 1 2  -0.4 0.9\n 2\n 2 2  1.5 0.2\n 1\n 2  0.7\n End VLength\n"
    " Begin Matrices;\n  S SY 3 3\n  M FU 1 3\n End Matrices;\n"
    " Matrix S 1.2 .5 1 .5 .3 1\n Matrix M .5 1 1\n IC 1 2 2\n Covariance S /\n Means M /\nEnd\n";

// Twelve twin pairs whose members both carry code 1, and three single
// twins (idlist_refs.R); the variance S(1,1), the pair's covariance S(2,1)
// and the mean M(1) free.
const std::string kTwinJob =
    "Twin pairs of one code\n"
    " Data NGroups=1 NInputvars=2 NObservations=15\n"
    " VLength\n"
    " 2\n 1 1 1.78 2.10\n 2\n 1 1 1.25 2.01\n 2\n 1 1 0.12 1.82\n 2\n 1 1 0.21 1.86\n"
    " 2\n 1 1 4.70 4.49\n 2\n 1 1 0.95 1.44\n 2\n 1 1 3.12 2.65\n 2\n 1 1 2.25 1.85\n"
    " 2\n 1 1 2.91 3.29\n 2\n 1 1 2.45 1.64\n 2\n 1 1 2.60 1.42\n 2\n 1 1 2.75 3.57\n"
    " 1\n 1 1.62\n 1\n 1 0.87\n 1\n 1 3.22\n"
    " End VLength\n"
    " Begin Matrices;\n  S SY 2 2\n  M FU 1 2\n End Matrices;\n"
    " Specify S 1 2 0\n Specify M 3 0\n Matrix S 1 .5 9\n Matrix M 1 0\n"
    " IC 1 1\n Covariance S /\n Means M /\nEnd\n";

// Ten records of two binary ordinal items (codes 1 and 2 by field), the
// correlation 0.35 and the thresholds given in t; ic is the IC statement's
// line.
std::string ordinal_job(const std::string& t, const std::string& ic) {
  return "Two binary items\n Data NGroups=1 NInputvars=2 NObservations=10\n Ordinal\n"
         "0 0\n0 0\n0 0\n0 1\n0 1\n1 0\n1 1\n1 1\n1 1\n1 1\nEnd\n"
         " Begin Matrices;\n  R ST 2 2\n  T FU 1 2\n End Matrices;\n Matrix R .35\n Matrix T " +
         t + "\n" + ic + " Covariance R /\n Thresholds T /\nEnd\n";
}

// idlist_refs.txt.
constexpr double kPermutedF = 16.876041956413172;  // list 2 1 3
constexpr double kDefaultF = 18.640030149494123;   // list 1 2 3
constexpr double kSharedF = 16.524633397208227;    // list 1 2 2
constexpr double kTwinF = 74.663168274718714;
constexpr double kOrdinalF = 29.990256693349764;  // item 1 threshold -0.3, item 2 0.4 (mvtnorm)
constexpr double kTwinVar = 1.2006507930047043, kTwinCov = 0.79383503254771981, kTwinMean = 2.1638262892281395;

class IdListJobTest : public jobctl::testing_support::JobInDirTest {
 protected:
  IdListJobTest() : JobInDirTest("qv_idlist_") {}
  // The start-up constants the record likelihood reads, as the program's
  // start-up sets them.
  void SetUp() override {
    JobInDirTest::SetUp();
    qv::testing_support::set_startup_constants();
  }
};

TEST_F(IdListJobTest, TheIcListNamesTheCodeOfEachRowOfTheModel) {
  struct Case {
    std::string script;
    double F;
    double tol;
    const char* what;
  };
  // The ordinal integrals are good to about 1e-6 each.
  const Case cases[] = {
      {permuted_job(" IC 2 1 3\n"), kPermutedF, 1e-7, "list 2 1 3: code 2 is row 1, code 1 row 2"},
      {permuted_job(""), kDefaultF, 1e-7, "no IC statement: the list 1 2 3"},
      {permuted_job(" IC 1 2 3\n"), kDefaultF, 1e-7, "the list 1 2 3 given"},
      {kSharedJob, kSharedF, 1e-7, "list 1 2 2: the two members of code 2 take rows 2 and 3"},
      {ordinal_job("-.3 .4", ""), kOrdinalF, 1e-6, "ordinal records, no IC statement"},
      {ordinal_job(".4 -.3", " IC 2 1\n"), kOrdinalF, 1e-6, "ordinal records, list 2 1: code 1 is row 2"},
  };
  // One job after another, as in one script.
  for (const Case& c : cases) {
    const std::string report = run(c.script);
    EXPECT_TRUE(near(col(gcol::kFitValue), c.F, c.tol)) << c.what << "\n" << report;
    EXPECT_TRUE(near(FITRES.F, c.F, c.tol)) << c.what;
  }
}

TEST_F(IdListJobTest, TwinPairsOfOneCodeFitTheirVarianceCovarianceAndMean) {
  const std::string report = run(kTwinJob);
  EXPECT_TRUE(near(val('S', 1), kTwinVar, 1e-5)) << report;
  EXPECT_TRUE(near(val('S', 2), kTwinCov, 1e-5));
  EXPECT_TRUE(near(val('M', 1), kTwinMean, 1e-5));
  EXPECT_TRUE(near(FITRES.F, kTwinF));
}

TEST_F(IdListJobTest, AContinuedJobTakesANewListOfAnyGroup) {
  // Two groups of the same records with the list 1 2 3; the continued job
  // gives group 1 the list 2 1 3 and then turns to group 2.
  std::string first = permuted_job(" IC 1 2 3\n");
  std::string second = first;
  first.replace(first.find("NGroups=1"), 9, "NGroups=2");
  second.replace(second.find(" NGroups=1"), 10, "");
  second.replace(second.rfind("End\n"), 4, " Options MUltiple\nEnd\n");
  const std::string report = run_jobs(first + second + "#Group 1\n IC 2 1 3\n#Group 2\nEnd\n", 2);
  EXPECT_NE(report.find(" Multiple fit option in effect."), std::string::npos) << report;
  EXPECT_TRUE(near(col(gcol::kFitValue, 1), kPermutedF)) << report;
  EXPECT_TRUE(near(col(gcol::kFitValue, 2), kDefaultF));
  EXPECT_TRUE(near(FITRES.F, kPermutedF + kDefaultF));
}

}  // namespace
}  // namespace qv::fit
