// Jobs one after another in one script, run in-process by the main program
// as qvt runs them: a job's report is the same whether it runs alone or after
// other jobs (the optimizer's option lines of one job never hold for the
// next), while a multiple-fit continuation keeps the options of the job it
// continues; the iteration-limit advice names the limit the optimizer ran
// under.
//
// References: the fit values of the one-factor model of HS x1..x6 are those
// of the model families (lavaan ML, families_refs.R); the two-factor model of
// the same tests is refs/job_state_refs.R (R 4.2, lavaan 0.6.14).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
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

using testing_support::kScriptUnit;

std::string read_family(const std::string& name) {
  std::ifstream in(std::string(QV_FAMILIES_DIR) + "/" + name + ".qv");
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The two-factor model of HS x1..x6 (x1..x3 on the first factor, x4..x6 on
// the second, unit factor variances, their correlation free).
std::string two_factor_job() {
  std::string text = read_family("f1x6_ml");
  text.replace(0, text.find('\n'), "Two factors, six indicators, by ML");
  const std::size_t b = text.find("  L FU 6 1\n");
  const std::size_t e = text.find(" Start 0.5 ALL\n");
  text.replace(b, e - b,
               "  L FU 6 2\n  P ST 2 2 Free\n  E DI 6 6 Free\n End Matrices;\n"
               " Pattern L\n  1 0\n  1 0\n  1 0\n  0 1\n  0 1\n  0 1\n");
  const std::size_t c = text.find(" Covariance L*L' + E /");
  text.replace(c, std::string(" Covariance L*L' + E /").size(), " Covariance L*P*L' + E /");
  return text;
}

// A one-parameter job whose options line is `options`.
std::string one_variance_job(const std::string& options) {
  return "One variance\n"
         " Data NGroups=1 NInputvars=1 NObservations=301\n"
         " CMatrix\n  1.3628977449977859\n"
         " Begin Matrices;\n  A SY 1 1 Free\n End Matrices;\n"
         " Start 0.5 ALL\n"
         " Covariance A /\n"
         " Options " + options + "\nEnd\n";
}

// Equal to 1e-5 relative.
::testing::AssertionResult near(double actual, double expected) {
  return qv::testing_support::near_ref(actual, expected, 1e-5);
}

class JobStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::current_path();
    dir_ = ::testing::TempDir() + "qv_job_state_" + std::to_string(::getpid()) + "_" + std::to_string(++ndir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(dir_);
    qv::testing_support::reset_every_area();
  }

  // The report of the whole script, the main program run from its start.
  static std::string run_script(const std::string& text) {
    std::ofstream("job.qv") << text;
    ::testing::internal::CaptureStdout();
    jobctl::run_script_file("job.qv", kScriptUnit, false);
    return ::testing::internal::GetCapturedStdout();
  }

  // The report of each job, without the start-up lines, with the elapsed
  // times and the running total of warnings (which counts earlier jobs')
  // masked.  Each job's report ends with the rule line.
  static std::vector<std::string> jobs(const std::string& report) {
    static const std::regex times(R"(( (Reading script & data|Execution|TOTAL) +).{15}\n)");
    static const std::regex warnings(R"(( Total number of warnings issued:).*\n)");
    std::string r = std::regex_replace(report, times, "$1<elapsed time>\n");
    r = std::regex_replace(r, warnings, "$1 <count>\n");
    const std::string banner = "\n ** Qv startup successful **\n\n  **QV-Linux version 1.45**\n";
    if (r.compare(0, banner.size(), banner) == 0) r.erase(0, banner.size());
    const std::string rule = " " + std::string(78, '_') + "\n";
    std::vector<std::string> out;
    for (std::size_t p = r.find(rule); p != std::string::npos; p = r.find(rule)) {
      out.push_back(r.substr(0, p + rule.size()));
      r.erase(0, p + rule.size());
    }
    return out;  // the end-of-input rule gives a last, empty job
  }

  std::filesystem::path home_, dir_;
  static inline int ndir_ = 0;
};

TEST_F(JobStateTest, AJobRunsWithTheDefaultsOfTheOptionsItDoesNotSet) {
  // Each first job sends option lines that stop a fit far from its minimum;
  // the job after it sets none and must run, and report, as it does alone.
  std::ofstream("npopt.txt") << "Optimality tolerance 0.1\n";
  const char* firsts[] = {"OP=0.1", "FU=0.01", "STE=0.01", "NP=npopt.txt", "DE IT=2", "IT=3 JI TH=-1"};
  struct Second {
    std::string script;
    double F;
    const char* source;
  };
  const Second seconds[] = {
      {read_family("f1x6_ml"), 102.88660283192455, "one factor: lavaan ML wishart polished by nlminb, families_refs.R"},
      {two_factor_job(), 24.2803692841, "two factors: lavaan 0.6.14 ML wishart, job_state_refs.R"},
  };
  for (const Second& s : seconds) {
    const std::vector<std::string> alone = jobs(run_script(s.script));
    ASSERT_EQ(alone.size(), 2u) << s.source;
    EXPECT_TRUE(near(FITRES.F, s.F)) << s.source;
    for (const char* first : firsts) {
      const std::vector<std::string> both = jobs(run_script(one_variance_job(first) + s.script));
      ASSERT_EQ(both.size(), 3u) << first;
      EXPECT_EQ(both[1], alone[0]) << "after a job with " << first << " (" << s.source << ")";
      EXPECT_TRUE(near(FITRES.F, s.F)) << "after a job with " << first << " (" << s.source << ")";
    }
  }
}

TEST_F(JobStateTest, AContinuationKeepsTheOptionsOfTheJobItContinues) {
  // The options file's loose tolerance stops the first fit early; the
  // continuation (which only restores the start values) keeps it and stops
  // at the same point; the fresh job after it runs with the defaults.
  std::ofstream("npopt.txt") << "Optimality tolerance 0.1\n";
  const std::string f1x6 = read_family("f1x6_ml");
  std::string first = f1x6;
  first.replace(first.rfind("End\n"), 4, " Output MU NP=npopt.txt\n");
  const std::string report = run_script(first + " #Group 1\n Start 0.5 ALL\n Output\n" + f1x6);
  std::vector<std::string> chi;
  static const std::regex line(R"( Chi-squared fit of model >>>>>>> +([0-9.]+)\n)");
  for (std::sregex_iterator it(report.begin(), report.end(), line), end; it != end; ++it) chi.push_back((*it)[1]);
  ASSERT_EQ(chi.size(), 3u) << report;
  EXPECT_NE(report.find(" Multiple fit option in effect."), std::string::npos);
  EXPECT_GT(std::stod(chi[0]), 102.887 + 1.0) << "the options file's tolerance stops the fit early";
  EXPECT_EQ(chi[1], chi[0]) << "the continuation keeps the options file's lines";
  EXPECT_EQ(chi[2], "102.887");
  EXPECT_TRUE(near(FITRES.F, 102.88660283192455));
}

TEST_F(JobStateTest, IterationAdviceUnderDefaultsNamesTheOptimizersOwnLimit) {
  // Under DE the optimizer's default limit holds: max(50, 3n) for n free
  // parameters and no constraints, 63 for the 21 of the three-factor model,
  // which from a far start needs more.
  std::string text = read_family("hs3f_ml");
  text.replace(text.find(" Start 0.5 ALL"), 14, " Start 10 ALL");
  text.replace(text.rfind("End\n"), 4, " Options DE\nEnd\n");
  const std::string report = run_script(text);
  EXPECT_NE(report.find(" IT=n on the OU line.  Current value is 63\n"), std::string::npos) << report;
  EXPECT_NE(report.find(" CODE BLUE - not enough iterations\n"), std::string::npos);
}

}  // namespace
}  // namespace qv::fit
