#include <string>
#include <vector>

#include "model_fixture.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using jobbase::testing_support::capture;

class GrpstmtTest : public testing_support::ModelTest {};

TEST_F(GrpstmtTest, RowAndColumnLabelsShareOneBlock) {
  job(1);
  declare("Matrices\n A FU 3 2\n I ID 2 2\nEnd Matrices\n");
  const int slot0 = MAINPR.LABSLOT;
  statements("Label Row A r1 r2\n r3\nLabel Col A c1,c2\n");
  const int blk = static_cast<int>(MTLABL(X(), base(1), 1));
  ASSERT_GT(blk, 0);
  EXPECT_EQ(X()(blk), 1.0);
  EXPECT_EQ(X()(blk + 1), 1.0);
  EXPECT_EQ(X()(blk + 2), slot0);
  EXPECT_EQ(MAINPR.LABSLOT, slot0 + 5);
  EXPECT_EQ(runtime::len_trim(LABTAB.get(slot0)), 2u);
  EXPECT_EQ(LABTAB.get(slot0 + 2).substr(0, 3), "R3 ");
  EXPECT_EQ(LABTAB.get(slot0 + 3).substr(0, 6), "C1,C2 ");
  EXPECT_EQ(LABTAB.get(slot0 + 4).substr(0, 3), "C2 ");
  const std::string out = capture([&] { statements("Label Row I a b\n"); });
  EXPECT_EQ(out, " *** WARNING! ***\n I won't use labels for a matrix without free elements\n");
  EXPECT_QV_ERROR(statements("Label Both A x y z\n"), 120);
  EXPECT_QV_ERROR(statements("Label Row Q x\n"), 121);
  EXPECT_QV_ERROR(statements("Label Row 1 x\n"), 5);
  EXPECT_QV_ERROR(statements("Label Row A x 2y z\n"), 122);
}

TEST_F(GrpstmtTest, RedefinedMatrixGetsNewLabelBlock) {
  job(1);
  declare("Matrices\n A FU 2 2\nEnd Matrices\n");
  statements("Label Row A a b\n");
  const int old = static_cast<int>(MTLABL(X(), base(1), 1));
  capture([&] { declare("Matrices\n A FU 2 2\n A FU 3 3\nEnd Matrices\n"); });
  EXPECT_EQ(MTLABL(X(), base(1), 1), 0.0);
  statements("Label Col A a b c\n");
  EXPECT_NE(static_cast<int>(MTLABL(X(), base(1), 1)), old);
}

TEST_F(GrpstmtTest, PowerTransformationMatrix) {
  job(1);
  declare("Matrices\n P FU 1 2 FR\n Q FU 2 1\nEnd Matrices\n");
  statements("Power P\n");
  const int word = IGRPTB(IX(), 1, kIcolPower, 1);
  ASSERT_GT(word, 0);
  EXPECT_EQ(X()(word), addr('P') + 2);
  EXPECT_EQ(col(32, 1), 0.0);  // column 32 belongs to the options word DI
  EXPECT_QV_ERROR(statements("Power Q\n"), 145);
  EXPECT_QV_ERROR(statements("Power R\n"), 145);
  EXPECT_QV_ERROR(statements("Power 1\n"), 145);
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        statements("Power Q\n");
      },
      ::testing::ExitedWithCode(1), " Matrix Q has 2 rows and 1 columns\n");
}

TEST_F(GrpstmtTest, DisplayFlags) {
  job(1);
  declare("Matrices\n A FU 1 1\nEnd Matrices\n");
  statements("Display Means Cov other\n");
  EXPECT_EQ(col(31, 1), 3.0);
}

// IC/CS numbers of each group of a two-group job.  Their address is kept in
// the group's matrix table: the integer group table is left as it was, in
// particular the words IWORKS(1..NG+1) that the parameter lists take over
// when the fit starts.
TEST_F(GrpstmtTest, IcNumbersPerVariable) {
  job(2);
  col(2, 1) = 3;
  col(2, 2) = 2;
  declare("Matrices\n A FU 1 1\nEnd Matrices\n", 1);
  declare("Matrices\n A FU 1 1\nEnd Matrices\n", 2);
  const int top = 11 * 2 + 2;  // last word of the integer group table
  std::vector<int> table;
  for (int k = 1; k <= top; ++k) table.push_back(IX()(k));

  MAINPR.IGRP = 1;
  statements("IC 1 2\n 3\n");
  MAINPR.IGRP = 2;
  statements("CS 4 5\n");
  const int a1 = static_cast<int>(MTICCS(X(), base(1)));
  const int a2 = static_cast<int>(MTICCS(X(), base(2)));
  ASSERT_GT(a1, 0);
  ASSERT_GT(a2, a1 + 2);
  EXPECT_EQ(X()(a1), 1);
  EXPECT_EQ(X()(a1 + 2), 3);
  EXPECT_EQ(X()(a2), 4);
  EXPECT_EQ(X()(a2 + 1), 5);
  EXPECT_EQ(col(33, 1), 0.0);  // column 33 is the record-data list
  EXPECT_EQ(col(33, 2), 0.0);
  EXPECT_TRUE(GRPSTM.ICREAD);
  for (int k = 1; k <= top; ++k) EXPECT_EQ(IX()(k), table[static_cast<std::size_t>(k - 1)]) << "IWORKS(" << k << ")";
}

}  // namespace
}  // namespace qv::jobctl
