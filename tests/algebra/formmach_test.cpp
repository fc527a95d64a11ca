// The formula machine: loading letters, the shape errors of a code list and
// its dump, the result copies and the covariance placement, the drivers.
#include <gtest/gtest.h>

#include "algebra/formcomp.hpp"
#include "formula_fixture.hpp"
#include "jobbase/tabnames.hpp"

namespace qv::algebra {
namespace {

namespace gcol = jobbase::gcol;

using testing_support::expect_mat;
using testing_support::FormulaTest;

class MachineTest : public FormulaTest {
 protected:
  void SetUp() override {
    FormulaTest::SetUp();
    add('A', 9, 2, 2, {1, 2, 3, 4});
    add('B', 9, 2, 2, {5, 6, 7, 8});
    add('S', 8, 3, 3, {1, 2, 3, 4, 5, 6});
    add('F', 9, 2, 1, {1, 2});
  }
};

TEST_F(MachineTest, SingleLetterIsExpanded) {
  expect_mat(eval("S"), 3, 3, {1, 2, 4, 2, 3, 5, 4, 5, 6}, "symmetric expanded");
  expect_mat(eval("A"), 2, 2, {1, 2, 3, 4}, "full");
}

TEST_F(MachineTest, ShapeErrorsDumpTheList) {
  EXPECT_QV_ERROR(eval("A*"), 59);
  EXPECT_QV_ERROR(eval("\\EXP-A"), 59);
  EXPECT_QV_ERROR(eval("A & -B"), 59);
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        eval("A*");
      },
      ::testing::ExitedWithCode(1),
      " Dump of formula being calculated:\n\n A <- Error here\n Product         \n");
}

TEST_F(MachineTest, EmptyListDump) {
  FMSTAK.NOUT = 1;
  FMSTAK.NCODE = 0;
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        run();
      },
      ::testing::ExitedWithCode(1), " Formula of zero length found.  Make sure you have a covariance\n"
                                    " statement in data groups.\n(.*)error code is +59");
}

TEST_F(MachineTest, DumpNames) {
  EXPECT_STREQ(FMNAME(31), "Inverse         ");
  EXPECT_STREQ(FMNAME(65), "Modif Bessel I0 ");
  EXPECT_STREQ(FMNAME(125), "Quadratic       ");
  EXPECT_STREQ(FMNAME(127), "Unassigned127   ");
  EXPECT_STREQ(FMNAME(70), "Unassigned70    ");
  EXPECT_STREQ(FMNAME(71), "Unassigned      ");
}

TEST_F(MachineTest, UndeclaredLetter) {
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        eval("A+Q");
      },
      ::testing::ExitedWithCode(1), "\n Error: matrix Q referenced.\n(.*)error code is +66");
}

TEST_F(MachineTest, UserFunctionNeedsOneByOne) {
  col(gcol::kFitCode) = jobbase::kFitUser;
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        eval("F");
      },
      ::testing::ExitedWithCode(1), " Calculated matrix is order 2 by 1\n(.*)error code is +76");
  FMFLAG.INFIT = true;  // computed matrices are exempt
  expect_mat(eval("F"), 2, 1, {1, 2}, "computed");
}

TEST_F(MachineTest, CovariancePlacedAsPackedTriangles) {
  col(gcol::kKind) = jobbase::kKindData;
  col(gcol::kNvar) = 2;
  auto X = jobbase::WORKSP.x();
  const int r0 = ptr_ + 3;
  postfix("A /");
  run(9);
  EXPECT_EQ(X(r0), 1);
  EXPECT_EQ(X(r0 + 1), 3);
  EXPECT_EQ(X(r0 + 2), 4);
  // The header names the stored form: symmetric, of the result's order.
  EXPECT_EQ(X(r0 - 3), jobbase::kTypeSym);
  EXPECT_EQ(X(r0 - 2), 2);
  EXPECT_EQ(X(r0 - 1), 2);
  // Two model blocks stacked: 4 x 2 gives two triangles.
  FMFLAG.NMODEL = 2;
  postfix("A_B /");
  run(9);
  const std::vector<double> want = {1, 3, 4, 5, 7, 8};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(X(r0 + k), want[static_cast<std::size_t>(k)]) << k;
  FMFLAG.NMODEL = 1;
  // A symmetric (DET) result of the wrong order.
  postfix("\\DET(A) /");
  EXPECT_QV_ERROR(run(9), 26);
}

TEST_F(MachineTest, DriversEvaluateComputedMatricesInOrder) {
  auto X = jobbase::WORKSP.x();
  auto IX = jobbase::IWORKS.ix();
  // Compile two computed matrices the way the algebra section does: D = A*B, then C = D+A.
  auto compute = [&](char L, int order, const std::string& f) {
    const int a = ptr_;
    X(a) = order;
    int address = a + 1;
    FMFLAG.CMPLET = L - 'A' + 1;
    set_line("= " + f + ";");
    jobbase::CURSOR.ICOL = 1;
    int slot = 1;
    CMPFORM(X, IX, address, 2, 2, a, jobbase::LABTAB, slot);
    ptr_ = address;
  };
  compute('D', 1, "A*B");
  compute('C', 2, "D+A");
  EXPECT_EQ(jobbase::MTTYPE(X, base(), 3), jobbase::kTypeComputed);
  EXPECT_EQ(jobbase::MTROWS(X, base(), 3), 2);
  jobbase::MAINPR.WSTOP = ptr_ + 100;
  int status = 0;
  EVCOMP(X, 0, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(jobbase::MAINPR.WSTOP, ptr_ + 100);  // temporaries released
  expect_mat(eval("C"), 2, 2, {20, 24, 46, 54}, "C = A*B + A");
  // A covariance formula through EVFORM, skipped when empty in a calculation group.
  col(gcol::kCovFormula) = 0;
  EVFORM(X, 0, 1, 1, status);
  EXPECT_EQ(status, 1);
}

TEST_F(MachineTest, CompilerReservesAndChecksElements) {
  auto X = jobbase::WORKSP.x();
  auto IX = jobbase::IWORKS.ix();
  col(gcol::kKind) = jobbase::kKindData;
  col(gcol::kNvar) = 3;
  col(gcol::kNstat) = 6;
  // Shape only: the address stays at r and only the header is written.
  int address = ptr_;
  set_line("MO A*B /");
  jobbase::CURSOR.ICOL = 1;
  int slot = 1;
  CMPFORM(X, IX, address, -1, 0, 0, jobbase::LABTAB, slot);
  EXPECT_EQ(address, ptr_ + 4);
  EXPECT_EQ(X(address), 9);
  EXPECT_EQ(X(address + 1), 2);
  // Means of a group with NI 3 and NM 2 must have 6 elements.
  col(gcol::kFitCode) = jobbase::kFitML;
  jobbase::IGRPTB(IX, 1, 1, 1) = 2;
  add('M', 9, 2, 3, {1, 2, 3, 4, 5, 6});
  address = ptr_;
  set_line("ME M /");
  jobbase::CURSOR.ICOL = 1;
  CMPFORM(X, IX, address, 2, 1, 0, jobbase::LABTAB, slot);
  EXPECT_EQ(static_cast<int>(col(gcol::kMeansResult)), ptr_ + 2 + 3);
  address = ptr_;
  set_line("ME A /");
  jobbase::CURSOR.ICOL = 1;
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        CMPFORM(X, IX, address, 2, 1, 0, jobbase::LABTAB, slot);
      },
      ::testing::ExitedWithCode(1),
      " Elements implied by NI: 6\n Elements in the result of this formula: 4\n(.*)error code is +61");
}

// Raw ordinal data: the threshold formula's element count goes to the third
// word of the summary area at column 42, after the category counts' position
// and the largest category (which HI may have given); it is not checked here.
TEST_F(MachineTest, CompilerFilesThresholdCountOfOrdinalData) {
  auto X = jobbase::WORKSP.x();
  auto IX = jobbase::IWORKS.ix();
  col(gcol::kKind) = jobbase::kKindData;
  col(gcol::kFitCode) = jobbase::kFitOrdMix;
  col(gcol::kNvar) = 2;
  col(gcol::kNstat) = 3;
  add('T', 9, 1, 6, {1, 2, 3, 4, 5, 6});
  const int w = ptr_;
  ptr_ += 2 * 2 + 3;
  col(gcol::kRecordBlock) = w;
  X(w) = 500;      // position of the category counts
  X(w + 1) = 3;    // largest category
  X(w + 3) = -1;   // first minimum
  int address = ptr_;
  set_line("TH T /");
  jobbase::CURSOR.ICOL = 1;
  int slot = 1;
  CMPFORM(X, IX, address, 2, 1, 0, jobbase::LABTAB, slot);
  EXPECT_EQ(X(w), 500);
  EXPECT_EQ(X(w + 1), 3);
  EXPECT_EQ(X(w + 2), 6);
  EXPECT_EQ(X(w + 3), -1);
}

}  // namespace
}  // namespace qv::algebra
