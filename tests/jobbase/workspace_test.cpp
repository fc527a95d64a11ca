// Workspace bookkeeping: element counts by matrix type, memory checks, the
// integer group columns, the parameter-matrix list, formula heads and the
// equality-link lists.
#include <gtest/gtest.h>

#include "jobbase/areas.hpp"
#include "jobbase/workspace.hpp"
#include "jobctl_fixture.hpp"

namespace qv::jobbase {
namespace {

using ::testing::ExitedWithCode;

using WorkspaceTest = testing_support::FreshStateTest;

TEST_F(WorkspaceTest, NelemForEveryType) {
  struct Case {
    int type, rows, cols, n, type_after;
  };
  const Case cases[] = {
      {1, 4, 4, 0, 1},     // ZE
      {2, 4, 4, 0, 2},     // ID
      {3, 4, 8, 0, 3},     // IZ
      {4, 4, 8, 0, 4},     // ZI
      {5, 4, 4, 4, 5},     // DI
      {6, 4, 4, 6, 6},     // SD
      {7, 4, 4, 6, 7},     // ST
      {8, 4, 4, 10, 8},    // SY
      {9, 3, 5, 15, 9},    // FU
      {10, 4, 4, 10, 10},  // LO
      {11, 4, 4, 0, 11},   // UN
      {12, 4, 4, 6, 12},   // CO
      {-10, 3, 5, 15, 9},  // computed: counted as full
      {-11, 2, 3, 6, 9},   // computed matrix of an earlier group
      {-1, 2, 3, 6, 9},    // view held as full
      {0, 3, 3, 6, 8},     // view held as symmetric
      {99, 3, 3, 3, 99},   // not declared: the "other types" rule
  };
  for (const Case& c : cases) {
    int t = c.type;
    EXPECT_EQ(NELEM(t, c.rows, c.cols), c.n) << "type " << c.type;
    EXPECT_EQ(t, c.type_after) << "type " << c.type;
  }
}

TEST_F(WorkspaceTest, NelemOfHugeOrderDoesNotWrap) {
  int t = 9;
  EXPECT_EQ(NELEM(t, 100000, 100000), 2147483647);
}

TEST_F(WorkspaceTest, ChkmemAtTheLimitRaisesHighWaterMark) {
  CHKMEM(1234);
  EXPECT_EQ(MAINPR.WSMAXD, 1234);
  CHKMEM(10);
  EXPECT_EQ(MAINPR.WSMAXD, 1234);
  CHKMEM(1000000);
  EXPECT_EQ(MAINPR.WSMAXD, 1000000);
  CHKIMEM(77);
  EXPECT_EQ(MAINPR.WSMAXI, 77);
}

TEST_F(WorkspaceTest, ChkmemPastTheLimitIsError119) {
  EXPECT_EXIT(REPORT_ON_STDERR(CHKMEM(1000001)), ExitedWithCode(1),
              "Available memory \\(double precision words\\) +1000000\n +Problem needs over +1000001"
              "(.|\n)*error code is +119(.|\n)*ran out of workspace(.|\n)*STOP 911");
  EXPECT_EXIT(REPORT_ON_STDERR(CHKIMEM(1000001)), ExitedWithCode(1),
              "Available memory for integers +1000000\n +Problem needs over +1000001(.|\n)*code is +119");
}

TEST_F(WorkspaceTest, RoomCountedIn64BitsReportsTheTrueLastWord) {
  check_room(1000000);
  EXPECT_EQ(MAINPR.WSMAXD, 1000000);
  // 3 x 2^30 + 1: past the integers, quoted as it is.
  EXPECT_EXIT(REPORT_ON_STDERR(check_room(3LL * 1073741824 + 1)), ExitedWithCode(1),
              "Available memory \\(double precision words\\) +1000000\n +Problem needs over +3221225473\n"
              "(.|\n)*error code is +119");
}

TEST_F(WorkspaceTest, InitgpSetsIntegerColumnsAndTop) {
  auto IX = IWORKS.ix();
  IGRPTB(IX, 3, 6, 2) = 55;
  IGRPTB(IX, 3, 7, 3) = 66;
  INITGP(IX, 3);
  for (int g = 1; g <= 3; ++g) {
    EXPECT_EQ(IGRPTB(IX, 3, 1, g), 1);
    EXPECT_EQ(IGRPTB(IX, 3, 6, g), 0);
    EXPECT_EQ(IGRPTB(IX, 3, 7, g), 0);
  }
  EXPECT_EQ(IX(2 + 1 * 3 + 1), 1);  // column 1 of group 1
  EXPECT_EQ(MAINPR.IWSTOP, 36);
}

TEST_F(WorkspaceTest, InitgpWithTooManyGroupsIsError119) {
  EXPECT_EXIT(REPORT_ON_STDERR(INITGP(IWORKS.ix(), 200000)), ExitedWithCode(1), "code is +119");
}

// A one-group job whose matrix table starts at B.
struct OneGroup {
  static constexpr int NG = 1;
  static constexpr int B = 43 * NG + 3;
  Vec1<double> X = WORKSP.x();
  OneGroup() {
    X(1) = NG;
    GRPTAB(X, NG, 7, 1) = B;
  }
  void declare(int L, int type, int rows, int cols, int addr = 0, int fifth = 0) {
    X(B + L - 1) = type;
    X(B + 26 + L - 1) = rows;
    X(B + 52 + L - 1) = cols;
    X(B + 78 + L - 1) = addr;
    X(B + 104 + L - 1) = fifth;
  }
};

TEST_F(WorkspaceTest, MatdscReadsTheFiveWords) {
  OneGroup g;
  g.declare(3, -10, 3, 5, 777, 12);
  int addr, type, rows, cols, nel, fifth;
  MATDSC(g.X, 1, 1, 3, addr, type, rows, cols, nel, fifth, 0);
  EXPECT_EQ(addr, 777);
  EXPECT_EQ(type, -10);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(cols, 5);
  EXPECT_EQ(nel, 15);
  EXPECT_EQ(fifth, 12);
  MATDSC(g.X, 1, 1, 3, addr, type, rows, cols, nel, fifth, 1);
  EXPECT_EQ(type, 9);
}

TEST_F(WorkspaceTest, GrplstListsParameterMatricesButTheLeftOut) {
  OneGroup g;
  for (int L = 1; L <= 26; ++L) g.declare(L, 99, 0, 0);
  g.declare(1, 9, 2, 2);   // A FU
  g.declare(2, 1, 2, 2);   // B ZE
  g.declare(4, 5, 2, 2);   // D DI
  g.declare(5, 10, 2, 2);  // E LO
  g.declare(6, 11, 2, 2);  // F UN
  g.declare(26, 8, 2, 2);  // Z SY
  GRPTAB(g.X, 1, 28, 1) = 5;
  int top = 5000;
  GRPLST(g.X, 1, 1, top);
  EXPECT_EQ(GRPTAB(g.X, 1, 37, 1), 5000);
  EXPECT_EQ(g.X(5000), 3);
  EXPECT_EQ(g.X(5001), 1);
  EXPECT_EQ(g.X(5002), 4);
  EXPECT_EQ(g.X(5003), 26);
  EXPECT_EQ(top, 5004);
}

TEST_F(WorkspaceTest, GrplstOfOnlyZeAndIdStoresZero) {
  OneGroup g;
  for (int L = 1; L <= 26; ++L) g.declare(L, 99, 0, 0);
  g.declare(1, 1, 2, 2);
  g.declare(2, 2, 2, 2);
  int top = 300;
  GRPLST(g.X, 1, 1, top);
  EXPECT_EQ(g.X(300), 0);
  EXPECT_EQ(top, 301);
}

TEST_F(WorkspaceTest, GrplstOfGroupWithoutMatrixTable) {
  auto X = WORKSP.x();
  X(1) = 2;
  int top = 400;
  GRPLST(X, 2, 2, top);
  EXPECT_EQ(X(400), 0);
  EXPECT_EQ(GRPTAB(X, 2, 37, 2), 400);
  EXPECT_EQ(top, 401);
}

TEST_F(WorkspaceTest, AddmatPlacesFormulaHead) {
  OneGroup g;
  int rdptr = 900, where = 0;
  ADDMAT(g.X, 1, 1, rdptr, 17, 28, where);
  EXPECT_EQ(g.X(OneGroup::B + 131 + 28), 900);
  EXPECT_EQ(where, 900);
  EXPECT_EQ(g.X(900), 17);
  EXPECT_EQ(g.X(901), 17);
  EXPECT_EQ(rdptr, 902);
}

TEST_F(WorkspaceTest, EqualityLinksAddReplaceDelete) {
  auto IX = IWORKS.ix();
  const int NG = 2;
  INITGP(IX, NG);
  int top = MAINPR.IWSTOP;  // 25
  ALLOCI(IX, NG, 2, 3, 10, 11, top);
  const int a = IGRPTB(IX, NG, 7, 2);
  EXPECT_EQ(a, 25);
  EXPECT_EQ(top, 25 + 79);  // count and 26 entries of three words
  ALLOCI(IX, NG, 2, 5, 20, 21, top);
  ALLOCI(IX, NG, 2, 7, 30, 31, top);
  ALLOCI(IX, NG, 2, 5, 22, 23, top);  // same key: values replaced in place
  EXPECT_EQ(IX(a), 3);
  EXPECT_EQ(IX(a + 4), 5);
  EXPECT_EQ(IX(a + 5), 22);
  EXPECT_EQ(IX(a + 6), 23);
  DELENT(IX, NG, 2, 3);  // last entry moves into the first place
  EXPECT_EQ(IX(a), 2);
  EXPECT_EQ(IX(a + 1), 7);
  EXPECT_EQ(IX(a + 2), 30);
  DELENT(IX, NG, 2, 99);  // no such key
  DELENT(IX, NG, 1, 7);   // group without a list
  EXPECT_EQ(IX(a), 2);
  EXPECT_EQ(top, 25 + 79);
}

TEST_F(WorkspaceTest, TwentySeventhLinkIsError212) {
  auto IX = IWORKS.ix();
  INITGP(IX, 1);
  int top = MAINPR.IWSTOP;
  for (int k = 1; k <= 26; ++k) ALLOCI(IX, 1, 1, k, k, k, top);
  EXPECT_EQ(IX(IGRPTB(IX, 1, 7, 1)), 26);
  // The 26th entry ends at the last word of the list, not past it.
  EXPECT_EQ(IX(IGRPTB(IX, 1, 7, 1) + 78), 26);
  EXPECT_EXIT(REPORT_ON_STDERR(ALLOCI(IX, 1, 1, 27, 1, 1, top)), ExitedWithCode(1),
              "code is +212(.|\n)*Too many equality links");
}

TEST_F(WorkspaceTest, LabelSlots) {
  LABTAB.put(1, "Title piece");
  LABTAB.put(2, std::string(40, 'x'));
  EXPECT_EQ(LABTAB.get(1), "Title piece" + std::string(21, ' '));
  EXPECT_EQ(LABTAB.get(2), std::string(32, 'x'));
  EXPECT_EQ(LABTAB.get(3), std::string(32, ' '));
  EXPECT_EXIT(REPORT_ON_STDERR(LABTAB.put(kLabSlots + 1, "x")), ExitedWithCode(1),
              "Problem needs over +20001(.|\n)*code is +119");
}

// The table is blanked as far as it is used: after a reset, text stored by
// the job before stays invisible both below and above the next slot stored,
// and the last slot works like any other.
TEST_F(WorkspaceTest, LabelSlotsBlankAfterReset) {
  for (int k = 1; k <= 6; ++k) LABTAB.put(k, "old " + std::to_string(k));
  LABTAB.put(kLabSlots, "last");
  LABTAB.reset();
  for (int k : {1, 5, 6, kLabSlots}) EXPECT_EQ(LABTAB.get(k), std::string(32, ' ')) << k;
  LABTAB.put(4, "new");
  struct Case {
    int slot;
    std::string text;
  };
  const Case cases[] = {{1, ""}, {3, ""}, {4, "new"}, {5, ""}, {6, ""}, {kLabSlots, ""}};
  for (const Case& c : cases)
    EXPECT_EQ(LABTAB.get(c.slot), c.text + std::string(32 - c.text.size(), ' ')) << c.slot;
  LABTAB.put(kLabSlots, "last again");
  EXPECT_EQ(LABTAB.get(kLabSlots), "last again" + std::string(22, ' '));
  EXPECT_EQ(LABTAB.get(6), std::string(32, ' '));
  EXPECT_EQ(LABTAB.get(0), std::string(32, ' '));
}

}  // namespace
}  // namespace qv::jobbase
