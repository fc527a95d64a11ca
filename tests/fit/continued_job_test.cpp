// Continued multiple fits ("Options MUltiple", then jobs that edit the
// stored model) of record groups: the continued job's fit lays its record
// areas out afresh, and what a continued job stores (an IC list, a label
// block, a power-transform word, an interval block) is kept when formulas
// or matrices follow it.  The models are fixed, so every job's -2 ln L is
// the likelihood at the given values.  References: closed forms of the
// univariate normal, -2 ln L = ln(2 pi v) + (x - mu)^2 / v per one-member
// record, given beside each; the ordinal records' value is the mvtnorm
// reference of tests/fit/refs/idlist_refs.R (idlist_refs.txt, "ordinal").
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "fit/fitstat.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "jobctl/job_fixture.hpp"
#include "ref_check.hpp"

namespace qv::fit {
namespace {

namespace gcol = jobbase::gcol;
namespace igcol = jobbase::igcol;
using jobbase::icell;

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Three one-member records of code 1 (0.3, -0.4, 1.7), variance S(1,1) = 1,
// mean M(1) = 0: the sum of ln(2 pi) + x^2.
const double kSinglesF = 3.0 * std::log(kTwoPi) + 0.3 * 0.3 + 0.4 * 0.4 + 1.7 * 1.7;
// One record of code 1 (0.5) with S = diag(1, 4) and M = (0, 3).  Code 1 in
// row 1 (no list, or the list 1 2): ln(2 pi) + 0.5^2.
const double kRow1F = std::log(kTwoPi) + 0.5 * 0.5;
// The list 2 1 (code 1 is row 2): ln(2 pi 4) + (0.5 - 3)^2 / 4.
const double kRow2F = std::log(kTwoPi * 4.0) + 2.5 * 2.5 / 4.0;
// Row 1 with the power transform (lambda, c) = (0.5, 1.5): the residual
// r = ((0.5 + 1.5)^0.5 - 1) / 0.5 - 0 = 2 (sqrt 2 - 1) and the Jacobian
// (lambda - 1) ln(y + c) = -0.5 ln 2, so -2 ln L = ln(2 pi) + r^2 + ln 2.
const double kPowerR = 2.0 * (std::numbers::sqrt2 - 1.0);
const double kPowerF = std::log(kTwoPi) + kPowerR * kPowerR + std::log(2.0);
// idlist_refs.txt ("ordinal", mvtnorm): two binary items, correlation
// 0.35, thresholds -0.3 and 0.4.
constexpr double kOrdinalF = 29.990256693349764;

// The first job's lines after its data: S (3 x 3) and M fixed.
const std::string kSinglesModel =
    " Begin Matrices;\n  S SY 3 3\n  M FU 1 3\n End Matrices;\n"
    " Matrix S 1 .5 2 .2 .3 1\n Matrix M 0 2 1\n Covariance S /\n Means M /\n Options MUltiple\nEnd\n";
const std::string kSinglesNext = "#Group 1\n Covariance S /\n Means M /\n Output\n";

const std::string kVlSingles =
    "Three one-member records\n Data NGroups=1 NInputvars=3 NObservations=3\n"
    " VLength\n 1\n 1 0.3\n 1\n 1 -0.4\n 1\n 1 1.7\n End VLength\n" +
    kSinglesModel + kSinglesNext;
const std::string kRectSingles =
    "Three rectangular records of one value\n Data NGroups=1 NInputvars=3 NObservations=3\n"
    " Rectangular\n 0.3 . .\n -0.4 . .\n 1.7 . .\n End Rectangular\n" +
    kSinglesModel + kSinglesNext;
// The continued job declares a matrix of 15 elements, which moves its
// formulas so that their words fall on the header of the area the first job
// laid out, where they read as a header of the second job.
const std::string kOrdinal =
    "Two binary items\n Data NGroups=1 NInputvars=2 NObservations=10\n Ordinal\n"
    "0 0\n0 0\n0 0\n0 1\n0 1\n1 0\n1 1\n1 1\n1 1\n1 1\nEnd\n"
    " Begin Matrices;\n  R ST 2 2\n  T FU 1 2\n End Matrices;\n Matrix R .35\n Matrix T -.3 .4\n"
    " Covariance R /\n Thresholds T /\n Options MUltiple\nEnd\n"
    "#Group 1\n Begin Matrices;\n  Z FU 3 5\n End Matrices;\n Covariance R /\n Thresholds T /\n Output\n";

// One record of code 1; S = diag(1, 4), M = (0, 3), P = (0.5, 1.5) (a power
// transform's lambda and c, used only where a PO statement names it).
// next: the continued jobs' lines.
std::string one_record(const std::string& next) {
  return "One record\n Data NGroups=1 NInputvars=2 NObservations=1\n VLength\n 1\n 1 0.5\n End VLength\n"
         " Begin Matrices;\n  S SY 2 2\n  M FU 1 2\n  P FU 1 2\n End Matrices;\n"
         " Matrix S 1 0 4\n Matrix M 0 3\n Matrix P .5 1.5\n Covariance S /\n Means M /\n Options MUltiple\nEnd\n" +
         next;
}

class ContinuedJobTest : public jobctl::testing_support::JobInDirTest {
 protected:
  ContinuedJobTest() : JobInDirTest("qv_contjob_") {}
  void SetUp() override {
    JobInDirTest::SetUp();
    qv::testing_support::set_startup_constants();
  }
  // Runs the jobs of text one after another, as the job loop does, from a
  // fresh start of the program; F of each job in Fs, the report returned.
  std::string run_jobs(const std::string& text, int jobs, std::vector<double>& Fs) {
    reset_all();
    qv::testing_support::set_startup_constants();
    Fs.clear();
    return JobInDirTest::run_jobs(text, jobs, [&] { Fs.push_back(FITRES.F); });
  }
};

TEST_F(ContinuedJobTest, AContinuedJobFitsItsRecordsWithAnAreaLaidOutForIt) {
  struct Case {
    const char* what;
    std::string script;
    double F;
    double tol;
  };
  // The ordinal integrals are good to about 1e-6 each.
  const Case cases[] = {
      {"variable-length records", kVlSingles, kSinglesF, 1e-9},
      {"rectangular records", kRectSingles, kSinglesF, 1e-9},
      {"ordinal records, a new matrix before the formulas", kOrdinal, kOrdinalF, 1e-6},
  };
  for (const Case& c : cases) {
    std::vector<double> Fs;
    const std::string report = run_jobs(c.script, 2, Fs);
    ASSERT_EQ(Fs.size(), 2u) << c.what << "\n" << report;
    EXPECT_TRUE(qv::testing_support::near_ref(Fs[0], c.F, c.tol)) << c.what << ": the first job";
    EXPECT_TRUE(qv::testing_support::near_ref(Fs[1], c.F, c.tol)) << c.what << ": the continued job\n" << report;
    EXPECT_TRUE(qv::testing_support::near_ref(col(gcol::kFitValue), c.F, c.tol)) << c.what;
  }
}

TEST_F(ContinuedJobTest, AnIcListOfAContinuedJobHoldsWhateverIsStoredAfterIt) {
  struct Case {
    const char* what;
    std::string next;  // the continued jobs
    int jobs;
    double F;  // the last job's
  };
  const std::string nm = " Begin Matrices;\n  N FU 1 2\n End Matrices;\n Matrix 1 N 0 3\n";
  const Case cases[] = {
      {"no list: code 1 is row 1", "#Group 1\n Covariance S /\nEnd\n", 2, kRow1F},
      {"a formula after the list", "#Group 1\n IC 2 1\n Covariance S /\nEnd\n", 2, kRow2F},
      {"a new matrix after the list", "#Group 1\n IC 2 1\n" + nm + " Covariance S /\n Means N /\nEnd\n", 2, kRow2F},
      {"a CS list between two formulas", "#Group 1\n Covariance S /\n CS 2 1\n Means M /\nEnd\n", 2, kRow2F},
      {"an algebra section after the list",
       "#Group 1\n IC 2 1\n Begin Algebra;\n  C = S ;\n End Algebra;\n Covariance C /\nEnd\n", 2, kRow2F},
      {"the list 2 1, then 1 2 in a third job",
       "#Group 1\n IC 2 1\n Covariance S /\n Options MUltiple\nEnd\n#Group 1\n IC 1 2\n Means M /\nEnd\n", 3, kRow1F},
      {"a formula in a third job after the list",
       "#Group 1\n IC 2 1\n Options MUltiple\nEnd\n#Group 1\n Covariance S /\n Means M /\nEnd\n", 3, kRow2F},
  };
  for (const Case& c : cases) {
    std::vector<double> Fs;
    const std::string report = run_jobs(one_record(c.next), c.jobs, Fs);
    ASSERT_EQ(Fs.size(), static_cast<std::size_t>(c.jobs)) << c.what << "\n" << report;
    EXPECT_TRUE(qv::testing_support::near_ref(Fs[0], kRow1F, 1e-12)) << c.what << ": the first job";
    EXPECT_TRUE(qv::testing_support::near_ref(Fs.back(), c.F, 1e-12)) << c.what << "\n" << report;
  }
}

TEST_F(ContinuedJobTest, WhatAContinuedJobStoresHoldsWhenAFormulaOrMatrixFollows) {
  // Each statement's words, checked after the continued job has run.
  struct Case {
    const char* what;
    std::string next;
    double F;
    std::function<::testing::AssertionResult()> kept;
  };
  const auto labels = [] {
    const auto X = jobbase::WORKSP.x();
    const int blk = icell(jobbase::GroupView{X, jobbase::MAINPR.NG, 1}.label(13));  // M
    if (blk < 1) return ::testing::AssertionFailure() << "M has no label block";
    const int first = icell(X(blk + 2));
    const std::string b = jobbase::LABTAB.get(first + 2);
    if (X(blk) != 0.0 || X(blk + 1) != 1.0 || b.substr(0, 1) != "B")
      return ::testing::AssertionFailure() << "block " << X(blk) << " " << X(blk + 1) << " " << X(blk + 2)
                                           << ", second column label \"" << b << "\"";
    return ::testing::AssertionSuccess();
  };
  const auto interval = [] {
    const auto X = jobbase::WORKSP.x();
    const int blk = jobbase::IGRPTB(jobbase::IWORKS.ix(), jobbase::MAINPR.NG, igcol::kIntervals, 1);
    if (blk < 1) return ::testing::AssertionFailure() << "no interval block";
    // One request, for the value of S(2, 2) = 4.
    const int at = icell(X(blk + 1));
    if (X(blk) != 1.0 || at < 1 || X(at) != 4.0)
      return ::testing::AssertionFailure() << "block " << X(blk) << " " << X(blk + 1);
    return ::testing::AssertionSuccess();
  };
  const auto none = [] { return ::testing::AssertionSuccess(); };
  const Case cases[] = {
      {"column labels, then a formula", "#Group 1\n Labels Columns M a b\n Covariance S /\nEnd\n", kRow1F, labels},
      {"column labels, then a new matrix",
       "#Group 1\n Labels Columns M a b\n Begin Matrices;\n  N FU 1 2\n End Matrices;\n Covariance S /\nEnd\n", kRow1F,
       labels},
      {"a power transform, then a formula", "#Group 1\n Power P\n Covariance S /\n Means M /\nEnd\n", kPowerF, none},
      {"an interval, then a formula", "#Group 1\n Interval S 1 2 2\n Covariance S /\nEnd\n", kRow1F, interval},
  };
  for (const Case& c : cases) {
    std::vector<double> Fs;
    const std::string report = run_jobs(one_record(c.next), 2, Fs);
    ASSERT_EQ(Fs.size(), 2u) << c.what << "\n" << report;
    EXPECT_TRUE(qv::testing_support::near_ref(Fs[1], c.F, 1e-12)) << c.what << "\n" << report;
    EXPECT_TRUE(c.kept()) << c.what;
  }
}

}  // namespace
}  // namespace qv::fit
