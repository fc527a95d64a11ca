// The variable-length record likelihood (fit code 10) on whole jobs read
// from rectangular records, with the estimates and the fit value read at
// full precision from the workspace after the fit, against independent
// references written by tests/fit/refs/vlfit_refs.R (R 4.2, lavaan 0.6,
// mvtnorm; its output is vlfit_refs.txt beside it).  The scripts and their
// data files (written by the same R script) are tests/fit/vlfit/.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fit/fitfun.hpp"
#include "fit/fitsetup.hpp"
#include "fit/fitstat.hpp"
#include "fit/objcel.hpp"
#include "fit/recwalk.hpp"
#include "fit/vlfit.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "jobctl/job_fixture.hpp"
#include "numlib/machconst.hpp"
#include "ref_check.hpp"

namespace qv::fit {
namespace {

namespace gcol = jobbase::gcol;
namespace fs = std::filesystem;

const fs::path kDir = fs::path(QV_FAMILIES_DIR) / ".." / "vlfit";

using qv::testing_support::read_file;

// Equal to 1e-5 relative, or 1e-7 absolute near zero.
::testing::AssertionResult near(double actual, double expected) {
  return qv::testing_support::near_ref(actual, expected, 1e-5, 1e-7);
}

class VlFitJobTest : public jobctl::testing_support::JobInDirTest {
 protected:
  VlFitJobTest() : JobInDirTest("qv_vlfit_") {}
  // The start-up constants the record likelihood reads, as the program's
  // start-up sets them.
  void SetUp() override {
    JobInDirTest::SetUp();
    qv::testing_support::set_startup_constants();
  }
  void TearDown() override {
    RECCEL.reset();
    JobInDirTest::TearDown();
  }
  // Copies the data files next to the job and runs the script.
  std::string job(const std::string& name) {
    for (const auto& e : fs::directory_iterator(kDir))
      if (e.path().extension() == ".dat") fs::copy_file(e.path(), dir_ / e.path().filename());
    const std::string text = read_file(kDir / (name + ".qv"));
    EXPECT_FALSE(text.empty()) << name;
    return run(text);
  }
  // Group 1's value by the record likelihood at the matrices' present
  // values, as the first evaluation of a run (the area laid out afresh).
  static double group_value() {
    OBJCEL.FFIRST = false;
    double f = 0.0;
    jobbase::MAINPR.IGRP = 1;
    vl_fit(X(), jobbase::IWORKS.ix(), jobbase::MAINPR.NG, 1, f);
    return f;
  }
  // Group 1's value as a later evaluation of the same run.
  static double later_value() {
    OBJCEL.FFIRST = true;
    double f = 0.0;
    jobbase::MAINPR.IGRP = 1;
    vl_fit(X(), jobbase::IWORKS.ix(), jobbase::MAINPR.NG, 1, f);
    return f;
  }
  // The value again with the pattern cache, then the reuse of equal
  // records, switched off: each the same to the last bit.
  void expect_switches_change_nothing() {
    const double on = group_value();
    RECCEL.CACHE = false;
    const double nocache = group_value();
    RECCEL.REUSE = false;
    const double noreuse = group_value();
    RECCEL.reset();
    EXPECT_EQ(on, nocache);
    EXPECT_EQ(on, noreuse);
    EXPECT_EQ(on, group_value());
  }
};

// lavaan's cfa(missing = "ml", std.lv = TRUE, meanstructure = TRUE), one
// factor on y1..y4, 200 cases with 15% of the values missing (fiml4.dat).
TEST_F(VlFitJobTest, FimlOneFactorWithFreeMeansEqualsLavaan) {
  const std::string report = job("fiml");
  const std::vector<double> L{0.8007644820367199, 0.68248401128675718, 0.65548216413955318, 0.99271681511273535};
  const std::vector<double> E{0.5920100211523277, 0.69201387700951267, 0.84505180818372228, 0.38205760724683985};
  const std::vector<double> M{0.90665647303377206, 1.9794863151596163, 3.0363701671010546, 3.9715560166540556};
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(near(val('L', i + 1), L[static_cast<std::size_t>(i)])) << "L " << i + 1;
    EXPECT_TRUE(near(val('E', i + 1), E[static_cast<std::size_t>(i)])) << "E " << i + 1;
    EXPECT_TRUE(near(val('M', i + 1), M[static_cast<std::size_t>(i)])) << "M " << i + 1;
  }
  // -2 logLik of lavaan.
  EXPECT_TRUE(near(col(gcol::kFitValue), 1933.8241581401537));
  EXPECT_TRUE(near(FITRES.F, 1933.8241581401537));
  // Statistics: the 691 observed values, the 10 of the covariance formula
  // and the 4 of the means formula; 12 parameters.
  EXPECT_EQ(FITRES.DF, 691 + 10 + 4 - 12);
  if (HasFailure()) ADD_FAILURE() << report;
  expect_switches_change_nothing();
}

// Later evaluations of a run, where the patterns' inverses are kept while
// only means move and built again when the covariance moves: each value
// the same to the last bit as without the cache.
TEST_F(VlFitJobTest, KeptPatternInversesChangeNothing) {
  job("fiml");
  const double start = group_value();
  struct Step {
    char matrix;
    int element;
    double change;
  };
  const Step steps[] = {{'M', 2, 0.25}, {'M', 3, -0.5}, {'L', 1, 0.1}, {'M', 1, 0.125}, {'E', 4, 0.2}};
  for (const Step& st : steps) {
    val(st.matrix, st.element) += st.change;
    const double cached = later_value();
    const double again = later_value();
    RECCEL.CACHE = false;
    const double nocache = later_value();
    RECCEL.reset();
    EXPECT_EQ(cached, nocache) << st.matrix << " " << st.element;
    EXPECT_EQ(cached, again) << st.matrix << " " << st.element;
    EXPECT_NE(cached, start) << st.matrix << " " << st.element;
  }
}

// y = b0 + b1 x + e with x a definition variable: the ML regression in
// closed form (OLS b, sigma^2 = RSS/n, -2 ln L = n ln(2 pi sigma^2) + n).
TEST_F(VlFitJobTest, DefinitionVariableRegressionEqualsTheClosedForm) {
  const std::string report = job("defreg");
  EXPECT_TRUE(near(val('B', 1), 0.61630759663007662));
  EXPECT_TRUE(near(val('C', 1), 0.71210101981391472));
  EXPECT_TRUE(near(val('V', 1), 0.48892546192703534));
  EXPECT_TRUE(near(col(gcol::kFitValue), 84.893273427457757));
  if (HasFailure()) ADD_FAILURE() << report;
  expect_switches_change_nothing();
}

// SAMECOV (integer column 4) says the covariance formula does not use the
// definition values: the covariance is not re-evaluated per record and the
// pattern cache serves the group, while the means (SAMEMEA, column 3, not
// set) still follow x record by record.
TEST_F(VlFitJobTest, SameCovKeepsTheCovarianceAndStillReevaluatesTheMeans) {
  std::string text = read_file(kDir / "defreg.qv");
  text.replace(text.find(" Start 1 V 1 1"), 0, " Options SAMECOV\n");
  fs::copy_file(kDir / "defreg.dat", dir_ / "defreg.dat");
  const std::string report = run(text);
  EXPECT_EQ(jobbase::IGRPTB(jobbase::IWORKS.ix(), 1, jobbase::igcol::kSameCov, 1), 1);
  EXPECT_TRUE(near(val('B', 1), 0.61630759663007662));
  EXPECT_TRUE(near(val('C', 1), 0.71210101981391472));
  EXPECT_TRUE(near(col(gcol::kFitValue), 84.893273427457757)) << report;
  expect_switches_change_nothing();
}

// Two groups of the same records and model: each group's value is the
// one-group value, and the groups' workspace areas stay where they are from
// evaluation to evaluation and from run to run (WSTOP does not creep).
TEST_F(VlFitJobTest, TwoRecordGroupsKeepTheirAreasFromCallToCall) {
  const std::string report = job("two");
  EXPECT_TRUE(near(col(gcol::kFitValue, 1), 1933.8241581401537)) << report;
  EXPECT_TRUE(near(col(gcol::kFitValue, 2), 1933.8241581401537));
  const auto& f = FITARR;
  auto X = jobctl::testing_support::JobTest::X();
  std::vector<double> x(X.ptr(f.X), X.ptr(f.X) + f.N);
  std::vector<double> g(static_cast<std::size_t>(f.N), 0.0);
  int top = 0;
  for (int k = 0; k < 6; ++k) {
    OBJCEL.FFIRST = k % 3 != 0;  // a new run at the first and fourth call
    int mode = 0;
    double fobj = 0.0;
    FITFUN(mode, f.N, x, fobj, g, 0, jobbase::IWORKS.ix().span(), X.span());
    if (k == 0) top = jobbase::MAINPR.WSTOP;
    EXPECT_EQ(jobbase::MAINPR.WSTOP, top) << "call " << k;
    EXPECT_EQ(col(gcol::kFitValue, 1), col(gcol::kFitValue, 2)) << "call " << k;
  }
}

// A record whose log-likelihood lies below -ln(safe minimum) adds 2 FSCALE,
// for at most 50 records of an evaluation: 60 such records add 100 at a
// scale of 1, and one ordinary record its -2 ln L.  MODE is -1.
TEST_F(VlFitJobTest, OutOfRangeRecordsAddTwiceTheScaleFiftyTimesAtMost) {
  std::string text =
      "Sixty records far beyond the model\n Data NGroups=1 NInputvars=1 NObservations=1000\n Rectangular\n";
  for (int i = 0; i < 60; ++i) text += " 60.0\n";
  text += " 0.5\n End Rectangular\n Begin Matrices;\n  V SY 1 1\n  M FU 1 1\n End Matrices;\n"
          " Matrix V 1\n Matrix M 0\n Covariance V /\n Means M /\nEnd\n";
  const std::string report = run(text);
  OBJCEL.FSCALE = 1.0;
  OBJCEL.FMODE = 0;
  const double f = group_value();
  // The ordinary record: ln(2 pi) + 0.25 (R: -2 * dnorm(0.5, log = TRUE)).
  EXPECT_NEAR(f, 100.0 + 2.0878770664093453, 1e-12) << report;
  EXPECT_EQ(OBJCEL.FMODE, -1);
}

// Two models weighted 0.3 and 0.7, no free parameters: the sum of
// -2 ln(0.3 f1 + 0.7 f2) over the records' observed values (mvtnorm).
TEST_F(VlFitJobTest, MixtureOfTwoModelsEqualsTheDirectSum) {
  const std::string report = job("mix");
  EXPECT_TRUE(near(col(gcol::kFitValue), 140.10473796302412)) << report;
  expect_switches_change_nothing();
}

// Box-Cox transform (lambda 0.5, c 1) with its Jacobian (mvtnorm).
TEST_F(VlFitJobTest, PowerTransformWithItsJacobianEqualsTheDirectSum) {
  const std::string report = job("power");
  EXPECT_TRUE(near(col(gcol::kFitValue), 135.22470649027892)) << report;
  expect_switches_change_nothing();
}

}  // namespace
}  // namespace qv::fit
