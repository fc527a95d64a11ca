// The ordinal record kernel: the box a record's categories give, one box
// integral against mvtnorm (tests/fit/refs/ordfit_refs.R, "boxes": GenzBretz
// at absolute error 1e-13) and the normal distribution function, and what
// each status of the integrator means for the evaluation.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fit/objcel.hpp"
#include "fit/ordfit.hpp"
#include "jobbase/tabnames.hpp"
#include "support/expect_stop.hpp"
#include "runtime/units.hpp"
#include "support/reset.hpp"

namespace qv::fit {
namespace {

class OrdfitTest : public ::testing::Test {
 protected:
  // Unit 7 on a file of its own, read back by msg().
  void SetUp() override {
    qv::testing_support::reset_every_area();
    path_ = ::testing::TempDir() + "qvord_msg_" + std::to_string(::getpid());
    runtime::OpenSpec spec;
    spec.file = path_;
    spec.status = "REPLACE";
    runtime::open_unit(runtime::kMsgUnit, spec);
  }
  void TearDown() override {
    runtime::close_unit(runtime::kMsgUnit);
    std::remove(path_.c_str());
  }
  std::string msg() {
    runtime::close_unit(runtime::kMsgUnit);
    std::ifstream in(path_);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string path_;
};

TEST_F(OrdfitTest, CategoriesGiveTheBoxBelowBetweenOrAboveTheirThresholds) {
  // Four members with 3, 3, 2 and 3 thresholds; T = 3, stride 4.
  const std::vector<double> thr = {-1.0, -2.0, -3.0, -4.0,   // threshold 1
                                   0.5,  0.25, 0.125, 0.0625,  // threshold 2
                                   1.5,  2.5,  0.0,  3.5};     // threshold 3
  const std::vector<int> counts = {3, 3, 2, 3};
  struct Row {
    std::vector<double> cats;
    std::vector<int> kinds;
    std::vector<double> lower, upper;
  } rows[] = {
      // lowest category: below threshold 1
      {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {-1.0, -2.0, -3.0, -4.0}},
      // highest category: above the variable's last threshold (member 3 has two)
      {{3, 3, 2, 3}, {1, 1, 1, 1}, {1.5, 2.5, 0.125, 3.5}, {0, 0, 0, 0}},
      // category c between threshold c and c + 1
      {{1, 2, 1, 1}, {2, 2, 2, 2}, {-1.0, 0.25, -3.0, -4.0}, {0.5, 2.5, 0.125, 0.0625}},
  };
  for (const auto& r : rows) {
    std::vector<double> lo(4, 9.0), up(4, 9.0);
    std::vector<int> kinds(4, 9);
    ordinal_box(4, r.cats, counts, thr, lo, up, kinds);
    EXPECT_EQ(kinds, r.kinds);
    EXPECT_EQ(lo, r.lower);
    EXPECT_EQ(up, r.upper);
  }
}

TEST_F(OrdfitTest, BoxIntegralsMatchTheReference) {
  struct Box {
    int J;
    std::vector<double> lower, upper;
    std::vector<int> kinds;
    std::vector<double> rho;
    double want;
  } boxes[] = {
      // one member: Phi(0.8) - Phi(-0.3), closed form
      {1, {-0.3}, {0.8}, {2}, {}, 0.40605602360555604},
      // ordfit_refs.txt "two"
      {2, {-0.3, 0.0}, {0.8, 0.4}, {2, 0}, {0.5}, 0.254967209682589},
      // ordfit_refs.txt "three"
      {3, {-1.0, 0.2, 0.0}, {0.5, 0.0, 0.7}, {2, 1, 0}, {0.3, -0.2, 0.4}, 0.123417376184219},
  };
  for (const auto& b : boxes) {
    const OrdinalIntegral r = ordinal_integral(b.J, b.lower, b.upper, b.kinds, b.rho);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.points, 5000 * b.J);
    // The settings in use: relative 3e-6 of the probability.
    EXPECT_NEAR(r.value, b.want, kOrdRelTight * b.want) << b.J;
  }
}

TEST_F(OrdfitTest, TooFewPointsIsStatusOne) {
  Ordcel few;
  few.PTSPER = 1;
  const std::vector<double> lo = {-1.0, 0.2, -0.5}, up = {0.5, 1.0, 0.7}, rho = {0.3, -0.2, 0.4};
  const std::vector<int> kinds = {2, 2, 2};
  EXPECT_EQ(ordinal_integral(3, lo, up, kinds, rho, few).status, 1);
}

TEST_F(OrdfitTest, APatternOfManyRecordsIsIntegratedMoreTightly) {
  Ordcel s;
  s.RELERR = 3e-6;
  s.PATREL = 3e-5;
  const struct {
    double count, relerr;
  } rows[] = {
      {1.0, 3e-6},      // one record: the base tolerance
      {10.0, 3e-6},     // PATREL / count equals it
      {11.0, 3e-5 / 11.0},
      {1000.0, 3e-8},
  };
  for (const auto& r : rows) EXPECT_DOUBLE_EQ(ordinal_pattern_relerr(s, r.count), r.relerr) << r.count;
}

TEST_F(OrdfitTest, BudgetShortfallsWithinTheSpecifiedAbsoluteErrorAreAccepted) {
  struct Row {
    int status;
    double error;
    int acted;
  } rows[] = {
      {0, 0.5, 0},                      // tolerance met: whatever the estimate
      {1, 1e-9, 0},                     // short of the tighter tolerances only
      {1, kOrdAbsSingle, 0},            // at the specified absolute error
      {1, 1.0000001 * kOrdAbsSingle, 1},  // beyond it: a shortfall
      {1, 1.0, 1},                      // nothing computed
      {4, 1.0, 4},                      // not positive definite
      {2, 1.0, 2},
  };
  for (const auto& r : rows) {
    OrdinalIntegral in;
    in.status = r.status;
    in.error = r.error;
    EXPECT_EQ(ordinal_shortfall_status(in), r.acted) << r.status << " " << r.error;
  }
}

// Status 1 and 4 are counted at every record; the note of an inaccurate
// integral is written only when asked (at its pattern's first record of the
// evaluation), and status 4 writes nothing itself: the report's line is
// ordinal_npd_note's, once an evaluation.
TEST_F(OrdfitTest, StatusOneAndFourAreCountedAndAccepted) {
  ::testing::internal::CaptureStdout();
  ordinal_status(0, 10000);
  EXPECT_EQ(MVNCNT.ACCMVN, 0);
  EXPECT_EQ(MVNCNT.NPDMVN, 0);
  EXPECT_EQ(OBJCEL.FMODE, 0);
  ordinal_status(1, 10000);
  ordinal_status(1, 10000, false);
  ordinal_status(1, 15000);
  EXPECT_EQ(MVNCNT.ACCMVN, 3);
  EXPECT_EQ(OBJCEL.FMODE, 0);
  ordinal_status(4, 10000);
  ordinal_status(4, 10000, false);
  EXPECT_EQ(MVNCNT.NPDMVN, 2);
  EXPECT_EQ(OBJCEL.FMODE, -1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(msg(), " Integral inaccurate with 10000 points\n Integral inaccurate with 15000 points\n");
}

TEST_F(OrdfitTest, NonPositiveDefiniteNoteCountsTheEvaluationsRecords) {
  struct Row {
    int records;
    std::string line;
  };
  const Row rows[] = {
      {0, ""},
      {1, " Correlation matrix not positive definite for 1 record\n"},
      {45, " Correlation matrix not positive definite for 45 records\n"},
  };
  for (const Row& r : rows) {
    ::testing::internal::CaptureStdout();
    ordinal_npd_note(r.records);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), r.line) << r.records;
  }
}

TEST_F(OrdfitTest, NonPositiveDefiniteCorrelationsGiveStatusFour) {
  const std::vector<double> lo = {0.0, 0.0, 0.0}, up = {1.0, 1.0, 1.0}, rho = {0.9, 0.9, -0.9};
  const std::vector<int> kinds = {2, 2, 2};
  EXPECT_EQ(ordinal_integral(3, lo, up, kinds, rho).status, 4);
}

TEST_F(OrdfitTest, AnyOtherStatusIsError150) {
  EXPECT_QV_STOP(ordinal_status(2, 10000), " Mulnor problem; error code: +2\n I'm not sure what this means\\.\n(.*)" +
                                               qv::testing_support::error_stop_regex(150));
}

}  // namespace
}  // namespace qv::fit
