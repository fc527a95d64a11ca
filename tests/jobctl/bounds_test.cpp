#include <cmath>
#include <string>

#include "model_fixture.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using jobbase::testing_support::capture;

class BoundsTest : public testing_support::ModelTest {
 protected:
  void one_group() {
    job(1);
    declare("Matrices\n A FU 2 2 FR\n S SY 2 2\nEnd Matrices\n");
    MAINPR.NBOUND = 0;
  }
  // Record k (0-based) of the group's bound records.
  double rec(int k, int w) { return X()(static_cast<int>(col(14, 1)) + 3 * k + w); }
};

TEST_F(BoundsTest, ParameterRangeAndElements) {
  one_group();
  statements("Bound 0 1 3 TO 5\nBound -1 2 S 1 1 A 1 1 TO A 1 2\n");
  ASSERT_EQ(col(13, 1), 6);
  const double want[6][3] = {{3, 0, 1}, {4, 0, 1}, {5, 0, 1}, {0, -1, 2}, {1, -1, 2}, {2, -1, 2}};
  for (int k = 0; k < 6; ++k)
    for (int w = 0; w < 3; ++w) EXPECT_EQ(rec(k, w), want[k][w]) << k << " " << w;
}

TEST_F(BoundsTest, DescendingRangeAndAll) {
  one_group();
  statements("Bound 0 9 2 TO 1\nBound .1 .2 ALL\n");
  ASSERT_EQ(col(13, 1), 6);
  EXPECT_EQ(rec(0, 0), 2);
  EXPECT_EQ(rec(1, 0), 1);
  EXPECT_EQ(rec(2, 0), 1);
  EXPECT_EQ(rec(5, 0), 4);
  EXPECT_EQ(rec(5, 1), 0.1);
}

TEST_F(BoundsTest, RecordsStayTogetherAcrossOtherStorage) {
  one_group();
  statements("Bound 0 1 1\nInterval A 1 1 1\nBound 0 2 2\n");
  ASSERT_EQ(col(13, 1), 2);
  EXPECT_EQ(rec(0, 0), 1);
  EXPECT_EQ(rec(0, 2), 1);
  EXPECT_EQ(rec(1, 0), 2);
  EXPECT_EQ(rec(1, 2), 2);
}

TEST_F(BoundsTest, Refusals) {
  one_group();
  EXPECT_QV_ERROR(statements("Bound 0\n 1 2\n"), 38);
  EXPECT_QV_ERROR(statements("Bound 0 1 1 A 1 1\n"), 49);
  EXPECT_QV_ERROR(statements("Bound 0 1 A 1 1 1 1\n"), 14);
  EXPECT_QV_ERROR(statements("Bound 0 1 ?\n"), 39);
  FITOPT.OPSEEN = true;
  EXPECT_QV_ERROR(statements("Bound 0 1 1\n"), 144);
  MAINPR.MULFIT = 1;
  EXPECT_QV_ERROR(statements("Bound 0 1 1\n"), 115);
}

TEST_F(BoundsTest, IntervalRequests) {
  one_group();
  const int slot0 = MAINPR.LABSLOT;
  statements("Interval @90 A 1 1 A 1 2\nInterval S 1 1 TO S 2 2\n");
  const int blk = IGRPTB(IX(), 1, 6, 1);
  ASSERT_GT(blk, 0);
  ASSERT_EQ(X()(blk), 5);
  EXPECT_EQ(X()(blk + 1), addr('A') + 4);
  EXPECT_NEAR(X()(blk + 2), 2.705543454095404, 1e-4);
  EXPECT_NEAR(X()(blk + 3), 90.0, 1e-12);
  EXPECT_EQ(X()(blk + 4), slot0);
  EXPECT_EQ(LABTAB.get(slot0), " A   1   1   1                  ");
  EXPECT_EQ(LABTAB.get(slot0 + 1), " A   1   1   2                  ");
  // The default: alpha 0.05 held in single precision, the 95% quantile.
  EXPECT_EQ(X()(blk + 4 * 2 + 1), addr('S') + 3);
  EXPECT_EQ(X()(blk + 4 * 2 + 2), 3.841458820694124);
  EXPECT_EQ(X()(blk + 4 * 2 + 3), 100.0 - 100.0 * static_cast<double>(0.05f));
  EXPECT_EQ(LABTAB.get(slot0 + 2), " S   1   1   1                  ");
  EXPECT_EQ(LABTAB.get(slot0 + 3), " S   1   2   1                  ");
  EXPECT_EQ(LABTAB.get(slot0 + 4), " S   1   2   2                  ");
  EXPECT_EQ(MAINPR.LABSLOT, slot0 + 5);
  EXPECT_FALSE(CURSOR.CMPOK);
}

TEST_F(BoundsTest, IntervalRefusals) {
  one_group();
  EXPECT_QV_ERROR(statements("Interval @100 A 1 1\n"), 206);
  EXPECT_QV_ERROR(statements("Interval @0.5 A 1 1\n"), 206);
  EXPECT_QV_ERROR(statements("Interval 3 A 1 1\n"), 207);
  EXPECT_QV_ERROR(statements("Interval ALL\n"), 208);
  EXPECT_QV_ERROR(statements("Interval A 2 2 TO A 1 1\n"), 210);
  EXPECT_QV_ERROR(statements("Interval ?\n"), 39);
}

TEST_F(BoundsTest, IntervalBlockHoldsThreeHundred) {
  job(1);
  declare("Matrices\n A FU 20 20 FR\nEnd Matrices\n");
  statements("Interval A 1 1 1 TO A 1 15 20\n");
  EXPECT_EQ(X()(IGRPTB(IX(), 1, 6, 1)), 300);
  EXPECT_QV_ERROR(statements("Interval A 1 16 1\n"), 209);
}

TEST(IntervalLabel, Columns) {
  EXPECT_EQ(INTLAB(26, 12, 100, 7), " Z  12 100   7                  ");
}

}  // namespace
}  // namespace qv::jobctl
