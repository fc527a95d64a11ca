#include <string>

#include "model_fixture.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using jobbase::testing_support::capture;

class SpecstmtTest : public testing_support::ModelTest {
 protected:
  // One group with a full 2x2 A, a symmetric 2x2 S and a diagonal D, all fixed.
  void one_group() {
    job(1);
    declare("Matrices\n A FU 2 2\n S SY 2 2\n D DI 2 2\nEnd Matrices\n");
  }
};

TEST_F(SpecstmtTest, PatternNumbersNonZeroEntries) {
  one_group();
  MAINPR.NFREE = 4;
  statements("Pattern A\n 1 0\n 0 1\nnext\n");
  EXPECT_EQ(line(), "NEXT");
  EXPECT_EQ(spec('A', 1), 5);
  EXPECT_EQ(spec('A', 2), 0);
  EXPECT_EQ(spec('A', 3), 0);
  EXPECT_EQ(spec('A', 4), 6);
  EXPECT_TRUE(MAINPR.PAFLAG);
}

TEST_F(SpecstmtTest, SpecificationSharesNumberAndValue) {
  one_group();
  statements("Pattern A 1 0 0 1\n");  // A: 1 and 2
  MAINPR.PAFLAG = false;
  X()(addr('A') + 4) = 0.7;  // value of A(1,1), parameter 1
  statements("Specification S 1 1 5\n");
  EXPECT_EQ(spec('S', 1), 1);
  EXPECT_EQ(spec('S', 2), 1);
  EXPECT_EQ(spec('S', 3), 5);
  EXPECT_EQ(val('S', 1), 0.7);  // parameter 1 brings A(1,1)'s value
  EXPECT_EQ(val('S', 2), 0.7);
  EXPECT_EQ(MAINPR.NFREE, 5);
}

// A specification number is used as an integer: one beyond the script's
// integer range (+-2^30) is error 44 after two lines naming it, whether it
// is typed or read from a file; the ends of the range are taken.
TEST_F(SpecstmtTest, SpecificationNumberOutOfRangeIsRefused) {
  const char* refused[] = {"1E90", "-1E90", "1073741825", "-1073741825", "2147483648", "1D999"};
  for (const char* number : refused) {
    one_group();
    EXPECT_EXIT(
        {
          ::dup2(2, 1);
          statements(std::string("Specification A 1 ") + number + " 2 3\n");
        },
        ::testing::ExitedWithCode(1),
        ::testing::ContainsRegex(" Specification number out of range: .*\n"
                                 " Specification numbers must lie between -1073741824 and 1073741824\n"
                                 "(.|\n)*error code is +44\n(.*)STOP 911"))
        << number;
    reset_all();
  }
  one_group();
  const std::string path = jobbase::testing_support::write_file("specrange.dat", "*\n1 2\n1E90 4\n");
  EXPECT_QV_ERROR(statements("Specification A File=" + path + "\n"), 44);

  statements("Specification A 1073741824 -1073741824 0 1\n");
  EXPECT_EQ(spec('A', 1), 1073741824.0);
  EXPECT_EQ(spec('A', 2), -1073741824.0);
  EXPECT_EQ(MAINPR.NFREE, 1073741824);
}

TEST_F(SpecstmtTest, PatternAfterSpecificationIsRefused) {
  one_group();
  statements("Specification A 1 0 0 0\n");
  EXPECT_QV_ERROR(statements("Pattern S 1 1 1\n"), 12);
}

TEST_F(SpecstmtTest, MatrixValuesSpreadOverSharedParameter) {
  one_group();
  statements("Specification A 2 0 0 0\nSpecification S 0 0 2\n");
  statements("Matrix A 1.5 2 3 4\n");
  EXPECT_EQ(val('A', 1), 1.5);
  EXPECT_EQ(val('A', 4), 4);
  EXPECT_EQ(val('S', 3), 1.5);  // S(2,2) carries parameter 2 too
}

TEST_F(SpecstmtTest, StartSetsFreeOnlyValueSetsAll) {
  one_group();
  statements("Specification A 1 0 2 0\n");
  statements("Start 0.5 A 1 1 TO A 2 2\n");
  EXPECT_EQ(val('A', 1), 0.5);
  EXPECT_EQ(val('A', 2), 0.0);
  EXPECT_EQ(val('A', 3), 0.5);
  EXPECT_EQ(val('A', 4), 0.0);
  statements("Value 0.25 A 1 1 TO A 2 2\n");
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(val('A', i), 0.25);
  // A reversed range changes nothing.
  statements("Value 9 A 2 2 TO A 1 1\n");
  EXPECT_EQ(val('A', 1), 0.25);
  statements("Start 3 ALL\n");
  EXPECT_EQ(val('A', 1), 3.0);
  EXPECT_EQ(val('A', 2), 0.25);
  statements("Value 4 ALL\n");
  EXPECT_EQ(val('A', 2), 4.0);
  EXPECT_EQ(val('A', 1), 3.0);
}

TEST_F(SpecstmtTest, SingleStartSpreadsToSharedElements) {
  one_group();
  statements("Specification A 7 0 0 7\n");
  statements("Start 1.25 A 1 1\n");
  EXPECT_EQ(val('A', 4), 1.25);
}

TEST_F(SpecstmtTest, FixFreeAndRanges) {
  one_group();
  MAINPR.NFREE = 2;
  statements("Free A 1 1 TO A 2 1 S 2 2\n");
  EXPECT_EQ(spec('A', 1), 3);
  EXPECT_EQ(spec('A', 2), 4);
  EXPECT_EQ(spec('A', 3), 5);
  EXPECT_EQ(spec('A', 4), 0);
  EXPECT_EQ(spec('S', 3), 6);
  statements("Fix A 2 1 TO A 1 2\n");  // put in ascending order
  EXPECT_EQ(spec('A', 2), 0);
  EXPECT_EQ(spec('A', 3), 0);
  EXPECT_EQ(spec('A', 1), 3);
  statements("Fix ALL\n");
  EXPECT_EQ(spec('A', 1), 0);
  EXPECT_EQ(spec('S', 3), 0);
  statements("Free ALL\n");
  EXPECT_EQ(spec('A', 1), 7);
  EXPECT_EQ(spec('D', 2), 12);  // every fixed element of DI..LO gets its own number, letter by letter
  EXPECT_EQ(spec('S', 3), 15);
}

TEST_F(SpecstmtTest, EquateWithFixedFirstWarns) {
  one_group();
  statements("Specification A 0 1 2 3\nValue 0.5 A 1 1\n");
  const std::string out = capture([&] { statements("Equate A 1 1 A 1 2 A 2 1\n"); });
  EXPECT_NE(out.find("  - The first element on this EQ line is fixed"), std::string::npos);
  EXPECT_EQ(spec('A', 2), 0);
  EXPECT_EQ(val('A', 3), 0.5);
  statements("Equate A 2 2 S 1 1 TO S 2 2\n");
  EXPECT_EQ(spec('S', 1), 3);
  EXPECT_EQ(spec('S', 3), 3);
}

TEST_F(SpecstmtTest, DropFixesParametersAtValue) {
  one_group();
  statements("Specification A 7 7 8 9\nSpecification S 7 0 9\n");
  statements("Drop @1 7\n");
  EXPECT_EQ(spec('A', 1), 0);
  EXPECT_EQ(spec('A', 2), 0);
  EXPECT_EQ(val('A', 1), 1.0);
  EXPECT_EQ(val('S', 1), 1.0);
  EXPECT_EQ(spec('A', 3), 8);
  statements("Drop @2 A 2 2\n");  // the element's own number, 9, everywhere
  EXPECT_EQ(spec('S', 3), 0);
  EXPECT_EQ(val('S', 3), 2.0);
  statements("Drop 8 TO 6\n");
  EXPECT_EQ(spec('A', 3), 0);
  EXPECT_QV_ERROR(statements("Drop 3 A 1 1\n"), 49);
  EXPECT_QV_ERROR(statements("Drop ?\n"), 39);
}

TEST_F(SpecstmtTest, WholeMatrixRefusals) {
  one_group();
  EXPECT_QV_ERROR(statements("Pattern Q 1\n"), 11);
  EXPECT_QV_ERROR(statements("Pattern 1\n"), 5);
  col(28, 1) = 1;  // A is the raw-data vector
  EXPECT_QV_ERROR(statements("Pattern A 1 1 1 1\n"), 89);
  EXPECT_QV_ERROR(statements("Matrix A 1 1 1 1\n"), 91);
  col(28, 1) = 0;
  MTTYPE(X(), base(1), 3) = kTypeComputed;
  EXPECT_QV_ERROR(statements("Matrix C 1\n"), 214);
}

TEST_F(SpecstmtTest, UnchangeableTypesWarn) {
  job(1);
  declare("Matrices\n I ID 2 2\n T ST 1 1\nEnd Matrices\n");
  const std::string out = capture([&] { statements("Matrix I 1 2\nPattern T 1\n"); });
  EXPECT_EQ(out, " *** WARNING! ***\n This type of matrix cannot be changed at all\n"
                 " *** WARNING! ***\n This type of matrix cannot be changed at all\n");
}

TEST_F(SpecstmtTest, MultipleFitStatementsNameTheGroup) {
  job(2);
  declare("Matrices\n A FU 1 1\nEnd Matrices\n");
  declare("Matrices\n A FU 1 2\nEnd Matrices\n", 2);
  MAINPR.MULFIT = 1;
  MAINPR.IGRP = 1;
  statements("Matrix 2 A 5 6\n");
  EXPECT_EQ(MAINPR.IGRP, 2);
  EXPECT_EQ(val('A', 2, 2), 6.0);
  EXPECT_QV_ERROR(statements("Matrix 3 A 5 6\n"), 117);
  EXPECT_QV_ERROR(statements("Matrix 0 A 5 6\n"), 117);  // group 0's columns are group NG's
  EXPECT_QV_ERROR(statements("Specification -1 A 5 6\n"), 117);
  EXPECT_QV_ERROR(statements("Matrix\n 2 A 5 6\n"), 116);
  EXPECT_QV_ERROR(statements("Free A 1 1\n"), 118);  // two numbers need the group in this mode
}

TEST_F(SpecstmtTest, ObservedStartValues) {
  job(1);
  col(2, 1) = 2;
  col(11, 1) = 1;
  col(4, 1) = 3000;
  X()(3000) = 4.0;  // packed observed matrix: 4, .5, 9
  X()(3001) = 0.5;
  X()(3002) = 9.0;
  col(21, 1) = 3100;
  X()(3100) = 1.5;
  X()(3101) = -2.5;
  declare("Matrices\n D DI 2 2 FR\n M FU 1 2 FR\n F FU 1 3\nEnd Matrices\n");
  statements("Start OBSSD D\nStart OBSMEAN M\n");
  EXPECT_EQ(val('D', 1), 2.0);
  EXPECT_EQ(val('D', 2), 3.0);
  EXPECT_EQ(spec('D', 1), 1.0);
  EXPECT_EQ(val('M', 1), 1.5);
  EXPECT_EQ(val('M', 2), -2.5);
  EXPECT_EQ(IGRPTB(IX(), 1, 9, 1), 4);
  EXPECT_EQ(IGRPTB(IX(), 1, 10, 1), 13);
  // A correlation matrix: the standard deviations are 1 and fixed.
  X()(3000) = 1.0;
  X()(3002) = 1.0;
  statements("Start OBSSD D\n");
  EXPECT_EQ(val('D', 2), 1.0);
  EXPECT_EQ(spec('D', 2), 0.0);
  // Wrong shapes are reported and ignored.
  const std::string out = capture([&] { statements("Start OBSMEAN F\nnext\n"); });
  EXPECT_NE(out.find("error code is  221"), std::string::npos);
  EXPECT_EQ(line(), "NEXT");
  col(11, 1) = 6;
  const std::string note = capture([&] { statements("Start OBSSD D\n"); });
  EXPECT_NE(note.find(" Note: Starting values can be set to the observed standard"), std::string::npos);
  EXPECT_QV_ERROR(statements("Start OBSSD 1\n"), 216);
  EXPECT_QV_ERROR(statements("Start OBSMEAN 1\n"), 219);
  col(18, 1) = 2;
  EXPECT_QV_ERROR(statements("Start OBSSD D\n"), 217);
}

TEST_F(SpecstmtTest, UnknownWordIsLeftToTheJobLoop) {
  one_group();
  start("Options RS\n");
  EXPECT_FALSE(STMTLN());
  EXPECT_EQ(line(), "OPTIONS RS");
}

}  // namespace
}  // namespace qv::jobctl
