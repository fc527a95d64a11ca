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

}  // namespace
}  // namespace qv::fit
