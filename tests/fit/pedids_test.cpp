// A record's matrices taken from the model's through the members' codes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "fit/pedids.hpp"
#include "support/expect_stop.hpp"

namespace qv::fit {
namespace {

// A workspace with the identification codes at 1, the model covariance
// (order 4, element (i, j) = 10 i + j below the diagonal, variances i^2)
// at 11, the model means or thresholds at 31, the record's codes at 51, the
// record covariance at 61 and the record means at 81.
struct Ped {
  std::vector<double> w = std::vector<double>(120, 0.0);
  Vec1<double> X{w.data(), static_cast<std::ptrdiff_t>(w.size())};
  std::array<int, 8> pos{};
  static constexpr int kIds = 1, kCov = 11, kMeans = 31, kCodes = 51, kRcov = 61, kRmeans = 81, kP = 4;
  explicit Ped(std::vector<double> ids) {
    for (std::size_t i = 0; i < ids.size(); ++i) X(kIds + static_cast<int>(i)) = ids[i];
    int k = kCov;
    for (int i = 1; i <= kP; ++i)
      for (int j = 1; j <= i; ++j) X(k++) = i == j ? i * i : 10.0 * i + j;
    for (int i = 1; i <= 8; ++i) X(kMeans + i - 1) = 100.0 + i;  // 4 x 2 thresholds column by column
  }
  void members(std::vector<double> c) {
    for (std::size_t j = 0; j < c.size(); ++j) X(kCodes + static_cast<int>(j)) = c[j];
  }
  void run(int J, int stdz, int T = 0) { PEDIDS(X, kIds, kCov, kRcov, kMeans, kRmeans, J, kP, kCodes, 6, T, stdz, pos); }
};

TEST(Pedids, MembersTakeTheRowsOfTheirCodesAndTheRecordMeansFollow) {
  Ped t({1, 2, 3, 4});
  t.members({3, 1});
  t.run(2, 0);
  // Record (1,1) = model (3,3), (2,1) = model (1,3) = 31, (2,2) = model (1,1).
  EXPECT_EQ(t.X(Ped::kRcov), 9.0);
  EXPECT_EQ(t.X(Ped::kRcov + 1), 31.0);
  EXPECT_EQ(t.X(Ped::kRcov + 2), 1.0);
  EXPECT_EQ(t.X(Ped::kRmeans), 103.0);
  EXPECT_EQ(t.X(Ped::kRmeans + 1), 101.0);
}

TEST(Pedids, RepeatedMemberCodesTakeSuccessivePositionsOfTheirCode) {
  // Codes 1 2 2 3: two children of code 2 at positions 2 and 3.
  Ped t({1, 2, 2, 3});
  t.members({2, 2, 1});
  t.run(3, 0);
  // Both children's variances are the first position's (2,2) = 4; their
  // covariance is (2,3) = 32; child and parent (1,2) = 21.
  const std::array<double, 6> want{4.0, 32.0, 4.0, 21.0, 21.0, 1.0};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(t.X(Ped::kRcov + k), want[static_cast<std::size_t>(k)]) << k;
  EXPECT_EQ(t.X(Ped::kRmeans), 102.0);
  EXPECT_EQ(t.X(Ped::kRmeans + 1), 102.0);
}

TEST(Pedids, StandardisingGivesCorrelationsAndStandardisedThresholds) {
  Ped t({1, 2, 3, 4});
  t.members({4, 2});
  t.run(2, 1, 2);
  // One correlation: model (4,2) = 42 over sqrt(16 x 4).
  EXPECT_DOUBLE_EQ(t.X(Ped::kRcov), 42.0 / std::sqrt(16.0 * 4.0));
  // Thresholds (member, t) at member + (t - 1) J: model (4, t) / 4, (2, t) / 2.
  EXPECT_DOUBLE_EQ(t.X(Ped::kRmeans), 104.0 / 4.0);
  EXPECT_DOUBLE_EQ(t.X(Ped::kRmeans + 1), 102.0 / 2.0);
  EXPECT_DOUBLE_EQ(t.X(Ped::kRmeans + 2), 108.0 / 4.0);
  EXPECT_DOUBLE_EQ(t.X(Ped::kRmeans + 3), 106.0 / 2.0);
}

TEST(Pedids, StandardisingThreeMembersClosesUpTheStrictLowerTriangle) {
  Ped t({1, 2, 3, 4});
  t.members({1, 3, 4});
  t.run(3, 1, 1);
  EXPECT_DOUBLE_EQ(t.X(Ped::kRcov), 31.0 / std::sqrt(9.0 * 1.0));
  EXPECT_DOUBLE_EQ(t.X(Ped::kRcov + 1), 41.0 / std::sqrt(16.0 * 1.0));
  EXPECT_DOUBLE_EQ(t.X(Ped::kRcov + 2), 43.0 / std::sqrt(16.0 * 9.0));
}

TEST(PedidsDeathTest, ACodeNotInTheListIsError105WithThePermittedCodes) {
  Ped t({1, 2, 3, 4});
  t.members({2, 7});
  EXPECT_QV_STOP(t.run(2, 0), " ID first person = +7\n I think that the permissible values for ID are:\n"
                              " +1 +2 +3 +4\n Observation number: +7\n(.|\n)*error code is +105");
}

TEST(PedidsDeathTest, ARepeatedCodeWithoutASecondPositionIsError106) {
  Ped t({1, 2, 3, 4});
  t.members({3, 3});
  EXPECT_QV_STOP(t.run(2, 0), " ID first person  = +3\n ID second person = +3\n Observation number: +7\n"
                              "(.|\n)*error code is +106");
}

// Codes beyond the int range, and codes that are not whole, are quoted at
// their value in the messages of errors 105 and 106, never cut to an int.
TEST(PedidsDeathTest, CodesBeyondTheIntRangeAreQuotedAtTheirValue) {
  struct Case {
    const char* name;
    std::vector<double> ids, members;
    int J;
    const char* report;
  };
  const Case cases[] = {
      {"a ten-digit family code missing from the list", {1, 2, 3, 4}, {2, 1234567890123.0}, 2,
       " ID first person = +1234567890123\n I think that the permissible values for ID are:\n"
       " +1 +2 +3 +4\n Observation number: +7\n(.|\n)*error code is +105"},
      {"IC 1e10 and a code missing from the list", {1e10, 1, 2, 3}, {4, 1}, 2,
       " ID first person = +4\n I think that the permissible values for ID are:\n"
       " +10000000000 +1 +2 +3\n Observation number: +7\n(.|\n)*error code is +105"},
      {"a code that is not whole", {1, 2, 3, 4}, {2.5, 1}, 2,
       " ID first person = +2\\.5[0-9]*\n(.|\n)*error code is +105"},
      {"a repeated code of 1e10 without a second position", {1e10, 1, 2, 3}, {1e10, 1e10}, 2,
       " ID first person  = +10000000000\n ID second person = +10000000000\n Observation number: +7\n"
       "(.|\n)*error code is +106"},
  };
  for (const Case& c : cases) {
    Ped t(c.ids);
    t.members(c.members);
    EXPECT_QV_STOP(t.run(c.J, 0), c.report) << c.name;
  }
}

}  // namespace
}  // namespace qv::fit
