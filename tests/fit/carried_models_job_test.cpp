// A job that is the null or the saturated model keeps its fit for the jobs
// that follow: whole scripts run in-process by the main program, the
// bundled examples after a job that fits the null or the saturated model of
// the same data.
//
// References: lavaan's indices and likelihood-ratio chi-squared on the same
// data, refs/carried_models_refs.R (R 4.2, lavaan 0.6.14), output in
// refs/carried_models_refs.txt.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fit/fitstat.hpp"
#include "jobctl/mainprog.hpp"
#include "support/reset.hpp"
#include "support/script_unit.hpp"
#include "ref_check.hpp"

namespace qv::fit {
namespace {

namespace fs = std::filesystem;
using testing_support::kScriptUnit;

// lavaan, carried_models_refs.txt.
constexpr double kNfi = 0.9071608081;      // cfa_hs9 nfi
constexpr double kTli = 0.8959613911;      // cfa_hs9 tli
constexpr double kCfi = 0.9306409274;      // cfa_hs9 cfi (= rni)
constexpr double kBaseline = 915.7991526066;  // cfa_hs9 baseline.chisq
constexpr double kChisq = 85.0220533090;      // cfa_hs9 chisq
constexpr double kLrChisq = 3.1346875885;  // fiml_1f chisq
constexpr double kLrDf = 2.0;              // fiml_1f df

const fs::path kExamples = fs::path(QV_FAMILIES_DIR) / ".." / ".." / ".." / "examples";

using qv::testing_support::read_file;

// Equal to 1e-5 relative.
::testing::AssertionResult near(double actual, double expected) {
  return qv::testing_support::near_ref(actual, expected, 1e-5);
}

class CarriedModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::current_path();
    dir_ = ::testing::TempDir() + "qv_carried_" + std::to_string(::getpid()) + "_" + std::to_string(++ndir_);
    fs::create_directories(dir_);
    for (const char* f : {"hs9.cov", "fiml_1f.dat"}) fs::copy_file(kExamples / f, dir_ / f);
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(home_);
    fs::remove_all(dir_);
    qv::testing_support::reset_every_area();
  }
  static std::string run_script(const std::string& text) {
    std::ofstream("job.qv") << text;
    ::testing::internal::CaptureStdout();
    jobctl::run_script_file("job.qv", kScriptUnit, false);
    return ::testing::internal::GetCapturedStdout();
  }
  fs::path home_, dir_;
  static inline int ndir_ = 0;
};

// The independence model of the nine tests, the null model of the CFA.
const char* const kIndependence =
    "Independence model of the nine tests, kept as the null model\n"
    " Data NGroups=1 NInputvars=9 NObservations=301\n"
    " CMatrix File=hs9.cov\n"
    " Begin Matrices;\n  E DI 9 9 Free\n End Matrices;\n"
    " Start 1 ALL\n"
    " Covariance E /\n"
    " Options ISNULL\n"
    "End\n";

// Free means and covariances of the four measures, the saturated model of
// the one-factor FIML fit.
const char* const kSaturated =
    "Saturated model of the four measures, kept for the comparison\n"
    " Data NGroups=1 NInputvars=4 NObservations=300\n"
    " Rectangular File=fiml_1f.dat\n"
    " Begin Matrices;\n  S SY 4 4 Free\n  M FU 1 4 Free\n End Matrices;\n"
    " Start 1 S 1 1 S 2 2 S 3 3 S 4 4\n"
    " Start 2.5 M 1 1 TO M 1 4\n"
    " Covariance S /\n"
    " Means M /\n"
    " Options ISSAT\n"
    "End\n";

TEST_F(CarriedModelTest, TheCfaAfterItsNullModelPrintsLavaansIndices) {
  const std::string report = run_script(kIndependence + read_file(kExamples / "cfa_hs9.qv"));
  const std::size_t second = report.find("Holzinger-Swineford: three correlated factors");
  ASSERT_NE(second, std::string::npos) << report;
  const std::string cfa = report.substr(second);
  EXPECT_NE(cfa.find("Fit statistic                     Estimate"), std::string::npos) << cfa;
  EXPECT_NE(cfa.find("* Automatically calculated null-model statistic\n"), std::string::npos) << cfa;
  EXPECT_TRUE(near(jobbase::FITOPT.NUCHI, kBaseline));
  EXPECT_TRUE(near(FITRES.NFI, kNfi));
  EXPECT_TRUE(near(FITRES.TLI, kTli));
  EXPECT_TRUE(near(FITRES.RNI, kCfi));
}

TEST_F(CarriedModelTest, TheFimlFitAfterItsSaturatedModelPrintsLavaansChiSquared) {
  const std::string report = run_script(kSaturated + read_file(kExamples / "fiml_1f.qv"));
  const std::size_t second = report.find("One factor, four measures, values missing at random");
  ASSERT_NE(second, std::string::npos) << report;
  const std::string fiml = report.substr(second);
  EXPECT_NE(fiml.find("* Saturated model statistic computed earlier in this job\n"), std::string::npos) << fiml;
  EXPECT_TRUE(near(FITCMP.DIFCHI, kLrChisq));
  EXPECT_EQ(FITCMP.DIFDF, kLrDf);
}

// The fit values of the lines " Chi-squared fit of model >>>>>>>" of a
// report, one per pass, in order.
std::vector<double> chi_squared_lines(const std::string& report) {
  const std::string key = " Chi-squared fit of model >>>>>>>";
  std::vector<double> v;
  for (std::size_t p = report.find(key); p != std::string::npos; p = report.find(key, p + 1))
    v.push_back(std::stod(report.substr(p + key.size(), 12)));
  return v;
}

// A job that fits in several passes (ULML's least-squares stage, then ML;
// Try Hard improvement runs) is the null model with the fit of its last
// pass, and none of its passes prints indices against itself.  Where the
// last pass reaches the ML minimum the CFA gets lavaan's indices; where the
// iteration limit stops it short, the indices of the job's final figure
// (NFI = (F0 - F)/F0, TLI = (F0/d0 - F/d)/(F0/d0 - 1), closed forms).
TEST_F(CarriedModelTest, ANullModelFittedInSeveralPassesKeepsItsLastPass) {
  struct Case {
    const char* options;
    bool lavaan;  // the last pass reaches lavaan's baseline
    int passes;   // chi-squared lines of the null job
  };
  const Case cases[] = {
      {"ULML ISNULL", true, 1},          // the least-squares stage prints no chi-squared
      {"TH=-6 IT=2 ISNULL", true, 7},    // first pass 925.815
      {"TH=-6 IT=1 ISNULL", false, 7},   // 965.394 first, 918.360 last
  };
  for (const Case& c : cases) {
    std::string null = kIndependence;
    null.replace(null.find("ISNULL"), 6, c.options);
    const std::string report = run_script(null + read_file(kExamples / "cfa_hs9.qv"));
    const std::size_t second = report.find("Holzinger-Swineford: three correlated factors");
    ASSERT_NE(second, std::string::npos) << c.options << "\n" << report;
    const std::string first = report.substr(0, second);
    EXPECT_EQ(first.find("Fit statistic"), std::string::npos) << c.options << "\n" << first;
    const std::vector<double> passes = chi_squared_lines(first);
    ASSERT_EQ(passes.size(), static_cast<std::size_t>(c.passes)) << c.options << "\n" << first;
    // The stored figure is the last pass's (printed to three decimals).
    EXPECT_NEAR(jobbase::FITOPT.NUCHI, passes.back(), 5e-4) << c.options;
    EXPECT_EQ(jobbase::FITOPT.NUDF, 36.0) << c.options;
    const std::string cfa = report.substr(second);
    EXPECT_NE(cfa.find("* Automatically calculated null-model statistic\n"), std::string::npos) << cfa;
    if (c.lavaan) {
      EXPECT_TRUE(near(jobbase::FITOPT.NUCHI, kBaseline)) << c.options;
      EXPECT_TRUE(near(FITRES.NFI, kNfi)) << c.options;
      EXPECT_TRUE(near(FITRES.TLI, kTli)) << c.options;
      EXPECT_TRUE(near(FITRES.RNI, kCfi)) << c.options;
    } else {
      EXPECT_GT(passes.front() - passes.back(), 1.0) << c.options;
      const double F0 = jobbase::FITOPT.NUCHI, d0 = 36.0, F = FITRES.F, d = 24.0;
      EXPECT_DOUBLE_EQ(FITRES.NFI, (F0 - F) / F0) << c.options;
      EXPECT_DOUBLE_EQ(FITRES.TLI, (F0 / d0 - F / d) / (F0 / d0 - 1.0)) << c.options;
    }
  }
}

// The same for the saturated model: the CFA fitted in several passes and
// kept with ISSAT, then the independence model, whose difference from it is
// lavaan's baseline less its chi-squared on 36 - 24 df.  A Try Hard job
// stopped short by its iteration limit keeps its last pass's figure.
TEST_F(CarriedModelTest, ASaturatedModelFittedInSeveralPassesKeepsItsLastPass) {
  struct Case {
    const char* options;
    bool lavaan;  // the last pass reaches lavaan's chi-squared
    int passes;   // chi-squared lines of the saturated job
  };
  const Case cases[] = {
      {"ULML ISSAT", true, 1},
      {"TH=-6 IT=5 ISSAT", true, 7},
      {"TH=-6 IT=1 ISSAT", false, 7},  // 232.051 first, 100.933 last
  };
  std::string indep = kIndependence;
  indep.erase(indep.find(" Options ISNULL\n"), 16);
  for (const Case& c : cases) {
    std::string cfa = read_file(kExamples / "cfa_hs9.qv");
    const std::size_t end = cfa.rfind("End");
    ASSERT_NE(end, std::string::npos);
    cfa.insert(end, std::string(" Options ") + c.options + "\n");
    const std::string report = run_script(cfa + indep);
    const std::size_t second = report.find("Independence model of the nine tests");
    ASSERT_NE(second, std::string::npos) << c.options << "\n" << report;
    const std::string first = report.substr(0, second);
    EXPECT_EQ(first.find(" Saturated model fit*"), std::string::npos) << c.options << "\n" << first;
    const std::vector<double> passes = chi_squared_lines(first);
    ASSERT_EQ(passes.size(), static_cast<std::size_t>(c.passes)) << c.options << "\n" << first;
    EXPECT_NEAR(jobbase::FITOPT.SATFIT, passes.back(), 5e-4) << c.options;
    EXPECT_EQ(jobbase::FITOPT.SATDF, 24.0) << c.options;
    const std::string ind = report.substr(second);
    EXPECT_NE(ind.find("* Saturated model statistic computed earlier in this job\n"), std::string::npos) << ind;
    EXPECT_EQ(FITCMP.DIFDF, 12.0) << c.options;
    if (c.lavaan) {
      EXPECT_TRUE(near(FITCMP.DIFCHI, kBaseline - kChisq)) << c.options;
    } else {
      EXPECT_GT(passes.front() - passes.back(), 1.0) << c.options;
      EXPECT_DOUBLE_EQ(FITCMP.DIFCHI, FITRES.F - jobbase::FITOPT.SATFIT) << c.options;
    }
  }
}

}  // namespace
}  // namespace qv::fit
