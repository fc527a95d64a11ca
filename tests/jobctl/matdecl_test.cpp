#include <string>

#include "model_fixture.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using jobbase::testing_support::capture;

class MatdeclTest : public testing_support::ModelTest {};

TEST_F(MatdeclTest, OwnStorageFreeUnitAndFixed) {
  job(1);
  const std::string out = capture([&] {
    declare("Matrices\n A Full 2 3 Free\n B Symm 2 2 Unit\n C Symm 3 3\n I Iden 2 2\nEnd Matrices\nnext\n");
  });
  EXPECT_EQ(out, "");
  EXPECT_EQ(line(), "NEXT");  // the line after End Matrices is left for the statements
  const int B = base(1);
  EXPECT_EQ(B, 43 + 3);
  EXPECT_EQ(type('A'), 9);
  EXPECT_EQ(addr('A'), B + 162);
  for (int i = 1; i <= 6; ++i) {
    EXPECT_EQ(spec('A', i), i);
    EXPECT_EQ(val('A', i), 0.0);
  }
  EXPECT_EQ(addr('B'), B + 162 + 12);
  EXPECT_EQ(spec('B', 1), 10001);
  EXPECT_EQ(spec('B', 3), 10003);
  EXPECT_EQ(addr('C'), B + 162 + 18);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(spec('C', i), 0.0);
  EXPECT_EQ(type('I'), 2);
  EXPECT_EQ(rows('I'), 2);
  EXPECT_EQ(type('D'), kTypeUndeclared);
  // 12 words for A, 6 for B, 12 for C, none for I.
  EXPECT_EQ(MAINPR.RDPTR, B + 162 + 30);
  EXPECT_EQ(MAINPR.NFREE, 6);
  EXPECT_EQ(MAINPR.NUNCNT, 10003);
  EXPECT_EQ(MATDST.MAXDIM, 3);
}

TEST_F(MatdeclTest, AllTwelveTypeWords) {
  job(1);
  declare(
      "Matrices\n A ZE 2 2\n B ID 2 2\n C IZ 3 2\n D ZI 3 2\n E DI 3 3 FR\n F SD 3 3 FR\n G ST 3 3 FR\n"
      " H SY 3 3 FR\n I FU 2 3 FR\n J LO 3 3 FR\n K UN 2 2\nEnd Matrices\n");
  const int want[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  for (int k = 0; k < 11; ++k) EXPECT_EQ(type(static_cast<char>('A' + k)), want[k]);
  // DI 3, SD 3, ST 3, SY 6, FU 6, LO 6 free elements.
  EXPECT_EQ(MAINPR.NFREE, 27);
  EXPECT_EQ(spec('J', 6), 27.0);
}

TEST_F(MatdeclTest, RedefinitionWarnsAndDropsLinkAndLabels) {
  job(2);
  declare("Matrices\n A SY 2 2 FR\nEnd Matrices\n");
  col(7, 2) = 0;
  MAINPR.IGRP = 2;
  const std::string out = capture([&] {
    declare("Matrices\n A FU 2 2 = A1\n A FU 3 1 FR\nEnd Matrices\n", 2);
  });
  EXPECT_NE(out.find(" Matrix was previously defined for this group.  Qv will redefine"), std::string::npos);
  EXPECT_EQ(type('A', 2), 9);
  EXPECT_EQ(rows('A', 2), 3);
  EXPECT_EQ(MTLABL(X(), base(2), 1), 0.0);
  // The link to group 1 recorded by the first declaration is gone.
  const int list = IGRPTB(IX(), 2, 7, 2);
  ASSERT_GT(list, 0);
  EXPECT_EQ(IX()(list), 0);
}

TEST_F(MatdeclTest, EquateToEarlierGroupWarnsAndShares) {
  job(2);
  declare("Matrices\n B SY 3 3 FR\nEnd Matrices\n");
  const std::string out = capture([&] { declare("Matrices\n A FU 2 2 = B 1\nEnd Matrices\n", 2); });
  EXPECT_NE(out.find("keeping previous type"), std::string::npos);
  EXPECT_NE(out.find("keeping previous size"), std::string::npos);
  EXPECT_NE(out.find("keeping previous sIze"), std::string::npos);
  EXPECT_EQ(type('A', 2), 8);
  EXPECT_EQ(rows('A', 2), 3);
  EXPECT_EQ(addr('A', 2), addr('B', 1));
  const int list = IGRPTB(IX(), 2, 7, 2);
  ASSERT_GT(list, 0);
  EXPECT_EQ(IX()(list), 1);
  EXPECT_EQ(IX()(list + 1), 1);  // key: letter A
  EXPECT_EQ(IX()(list + 2), 1);  // group 1
  EXPECT_EQ(IX()(list + 3), 2);  // letter B
  // Nothing reserved for the equated matrix.
  EXPECT_EQ(MAINPR.RDPTR, base(2) + 162);
}

TEST_F(MatdeclTest, MatricesEqualGroupCopiesAllAndComputedBecomesReference) {
  job(2);
  declare("Matrices\n A FU 2 2 FR\n B DI 2 2\nEnd Matrices\n");
  MTTYPE(X(), base(1), 3) = kTypeComputed;  // C computed by a formula of group 1
  MTROWS(X(), base(1), 3) = 2;
  MTFSLT(X(), base(1), 3) = 777;
  declare("Matrices = Group 1\n D FU 1 1\nEnd Matrices\n", 2);
  EXPECT_EQ(type('A', 2), 9);
  EXPECT_EQ(addr('A', 2), addr('A', 1));
  EXPECT_EQ(type('B', 2), 5);
  EXPECT_EQ(type('C', 2), kTypeCompRef);
  EXPECT_EQ(MTFSLT(X(), base(2), 3), 777);
  EXPECT_EQ(type('D', 2), 9);
  EXPECT_EQ(IX()(IGRPTB(IX(), 2, 7, 2)), 3);  // three links
}

TEST_F(MatdeclTest, ComputedReferenceWithCo) {
  job(2);
  declare("Matrices\n A FU 2 2\nEnd Matrices\n");
  MTTYPE(X(), base(1), 3) = kTypeComputed;
  MTROWS(X(), base(1), 3) = 2;
  MTCOLS(X(), base(1), 3) = 2;
  MTADDR(X(), base(1), 3) = 5000;
  declare("Matrices\n K CO 2 2 = C 1\nEnd Matrices\n", 2);
  EXPECT_EQ(type('K', 2), kTypeCompRef);
  EXPECT_EQ(addr('K', 2), 5000);
}

TEST_F(MatdeclTest, PercentForms) {
  job(3);
  col(18, 1) = 2;  // group 1: a calculation group with a computed covariance result
  declare("Matrices\n A FU 2 2\nEnd Matrices\n");
  X()(4000) = 9;  // type, rows, columns in front of the result
  X()(4001) = 2;
  X()(4002) = 3;
  col(9, 1) = 4003;
  // Group 2: a data group with 3 observed variables.
  col(2, 2) = 3;
  col(3, 2) = 6;
  col(4, 2) = 6000;
  col(9, 2) = 7000;
  col(0, 2) = 3;
  col(24, 2) = 8000;
  col(0, 3) = 4;
  col(24, 3) = 9000;
  const std::string out =
      capture([&] { declare("Matrices\n O SY 2 2 = %O2\n E FU 2 3 = %E1\n F FU 2 2 = %F1\nEnd Matrices\n", 2); });
  EXPECT_EQ(out, " *** WARNING! ***\n Matrix order set to 1x1 for %F equality\n\n");
  EXPECT_EQ(type('O', 2), kTypeViewSym);
  EXPECT_EQ(addr('O', 2), 6000 - 3);  // the declared order's 3 stored elements
  EXPECT_EQ(type('E', 2), kTypeViewFull);
  EXPECT_EQ(addr('E', 2), 4003 - 6);
  EXPECT_EQ(type('F', 2), kTypeViewFull);
  EXPECT_EQ(rows('F', 2), 1);
  EXPECT_EQ(addr('F', 2), 15 * 3 + 1);
  declare("Matrices\n S SY 3 3 = %E2\n R FU 1 3 = %R\nEnd Matrices\n", 3);
  EXPECT_EQ(type('S', 3), kTypeViewSym);
  EXPECT_EQ(addr('S', 3), 7000 - 6);
  EXPECT_EQ(addr('R', 3), 9000 - 3);
  EXPECT_EQ(col(28, 3), 18);
  EXPECT_TRUE(MATDST.RAWJOB);
}

TEST_F(MatdeclTest, EndOfSectionAtFormulaWord) {
  job(1);
  declare("Matrices\n A FU 1 1\nCovariance A;\n");
  EXPECT_EQ(line(), "COVARIANCE A;");
  // A PA line straight after the declarations is a declaration of P.
  EXPECT_QV_ERROR(declare("Matrices\n A FU 1 1\nPattern A\n"), 6);
}

TEST_F(MatdeclTest, ExpectedViewRefusals) {
  job(2);
  declare("Matrices\n A FU 1 1\nEnd Matrices\n");
  col(2, 1) = 2;
  col(3, 1) = 3;
  col(9, 1) = 500;
  EXPECT_QV_ERROR(declare("Matrices\n A FU 3 3 = %E1\n", 2), 72);
  col(9, 1) = 0;  // a data group without a covariance formula
  EXPECT_QV_ERROR(declare("Matrices\n A FU 2 2 = %E1\n", 2), 196);
  col(18, 1) = 2;
  col(9, 1) = 0;
  EXPECT_QV_ERROR(declare("Matrices\n A FU 2 2 = %E1\n", 2), 196);
}

struct ErrCase {
  const char* script;
  int group;
  int code;
};

class MatdeclErrors : public testing_support::ModelTest, public ::testing::WithParamInterface<ErrCase> {};

TEST_P(MatdeclErrors, Refused) {
  const ErrCase& e = GetParam();
  job(2);
  col(2, 1) = 2;
  col(3, 1) = 3;
  col(4, 1) = 5000;
  col(0, 2) = 2;
  MAINPR.IGRP = 1;
  start("Matrices\n A FU 2 2\n B SY 2 2\nEnd Matrices\n");
  MATDCL();
  EXPECT_QV_ERROR(declare(e.script, e.group), e.code);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, MatdeclErrors,
    ::testing::Values(ErrCase{"Matrices\n 1 FU 2 2\n", 1, 5}, ErrCase{"Matrices\n A XX 2 2\n", 1, 6},
                      ErrCase{"Matrices\n A FU 2 2 = ;\n", 1, 41}, ErrCase{"Matrices\n A FU 2 2 = A 2\n", 2, 42},
                      ErrCase{"Matrices\n C FU 2 2 = C 1\n", 2, 47}, ErrCase{"Matrices\n A FU 2 2 = %Q1\n", 2, 68},
                      ErrCase{"Matrices\n A DI 2 2 = %O1\n", 2, 70}, ErrCase{"Matrices\n A SY 3 3 = %O1\n", 2, 71},
                      ErrCase{"Matrices\n A SY 2 2 = %O3\n", 2, 42}, ErrCase{"Matrices\n A FU 2 2 = %R\n", 2, 90},
                      ErrCase{"Matrices\n R FU 1 2 = %R\n", 2, 81},  // no raw data in the group
                      ErrCase{"Matrices\n A FU 2 2 = %P1\n", 2, 135}, ErrCase{"Matrices\n K CO 2 2\n", 2, 160},
                      ErrCase{"Begin Algebra\n", 1, 170}, ErrCase{"Matrices\n A FU 1 1\nEnd\n", 1, 171},
                      ErrCase{"Matrices =\n", 2, 182}, ErrCase{"Matrices\n A SY 2 2 = %O2\n", 2, 190},
                      ErrCase{"Matrices\n A FU 2 3 = %C1\n", 2, 191}, ErrCase{"Matrices\n K CO 2 2\n = A 1\n", 2, 193},
                      ErrCase{"Matrices\n K CO 2 2 = A 1\n", 2, 194}, ErrCase{"Matrices\n K CO 2 2 = 1\n", 2, 195},
                      ErrCase{"Matrices\n A FU 2 2 = %C3\n", 2, 42}, ErrCase{"Matrices\n A FU -2 2\n", 1, 99},
                      ErrCase{"Matrices\n A SY 2 -1\n", 1, 100}, ErrCase{"Matrices\n A ID -1E308 2\n", 1, 99}));

}  // namespace
}  // namespace qv::jobctl
