// The group line: kinds, keywords, the number of groups, the set-up of the
// group's table columns and title, and the errors of the group line.
#include <gtest/gtest.h>

#include <string>

#include "jobctl/grpline.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/workspace.hpp"
#include "jobbase/jobctl_fixture.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using ::testing::ExitedWithCode;

// Makes text the script that the line reader reads next.
void feed(const std::string& text) { jobbase::testing_support::feed_script_on(15, "grpline", text); }

// State of a new job about to read group g.
void new_group(int g, const std::string& title = "A title") {
  auto& m = MAINPR;
  m.IGRP = g;
  m.NMGRP = 1;
  m.NOGRP = 0;
  m.GRPKIND = 0;
  m.MAGRP = -1;
  m.ECHOLN = false;
  m.GRPTTL = std::string(128, ' ');
  m.GRPTTL.replace(0, title.size(), title);
}

class GroupLine : public jobbase::testing_support::FreshStateTest {
 protected:
  void SetUp() override {
    FreshStateTest::SetUp();
    new_group(1);
  }
};

double col(int k, int g = 1) { return GRPTAB(WORKSP.x(), MAINPR.NG, k, g); }

TEST_F(GroupLine, FirstDataLineSetsTheGroup) {
  feed("Data NGroups=2 NInputvars=3 NObservations=100\nnext line\n");
  EXPECT_EQ(GRPLIN(), GrpNext::Data);
  const auto& m = MAINPR;
  EXPECT_EQ(m.NG, 2);
  EXPECT_TRUE(m.NGSET);
  EXPECT_EQ(WORKSP.x()(1), 2.0);
  EXPECT_EQ(col(0), 3);
  EXPECT_EQ(col(1), 100);
  EXPECT_EQ(col(2), 3);
  EXPECT_EQ(col(3), 6);
  EXPECT_EQ(col(11), 2);
  EXPECT_EQ(col(18), 0);
  EXPECT_EQ(col(25), 0);
  EXPECT_EQ(col(27), 1);
  EXPECT_EQ(m.RDPTR, 43 * 2 + 3);
  EXPECT_EQ(m.WSTOP, m.RDPTR);
  EXPECT_EQ(m.IWSTOP, 11 * 2 + 3);
  EXPECT_EQ(m.LABSLOT, 5);
  EXPECT_EQ(IGRPTB(IWORKS.ix(), 2, 1, 1), 1);  // NM default
  EXPECT_EQ(IGRPTB(IWORKS.ix(), 2, 1, 2), 1);  // set for every group by INITGP
  EXPECT_EQ(LABTAB.get(1), "A title" + std::string(25, ' '));
  // The first line after the group line has been read.
  EXPECT_EQ(LINBUF.LINE.substr(0, 9), "NEXT LINE");
}

TEST_F(GroupLine, KeywordsAndValueForms) {
  struct Case {
    const char* line;
    int ni, no, nm, kind, ma;
  };
  const Case cases[] = {
      {"DA NG=1 NI=4 NO=50 NM=3", 4, 50, 3, 0, 0},
      {"DATA NG 1 NI 2 NO 7", 2, 7, 1, 0, 0},
      {"da ng=1,ni=2,no=7,ma=km", 2, 7, 1, 0, 2},
      {"DA NG=1 NI=2 NO=7 MA=PM", 2, 7, 1, 0, 1},
      {"DA NG=1 NI=2 NO=7 MA=CT", 2, 7, 1, 0, 3},
      {"DA NG=1 NI=2 NO=7 MA=CM", 2, 7, 1, 0, 0},
      {"DA NM=2 NI=2 NO=7 NG=1", 2, 7, 2, 0, 0},  // NM before NG is kept
      {"DA NG=1 SI NI=5", 5, 0, 1, 3, 0},
      {"DA NG=1 NI=2 CO", 2, 0, 1, 1, 0},
      {"DA NI=2 CA NG=1 NO=9", 2, 0, 1, 2, 0},      // the rest after CA NG is not read
      {"DATA NGROUPS=1 NI=3 NO=10 XX NM=4", 3, 10, 1, 0, 0},  // error 22: rest ignored
  };
  for (const Case& c : cases) {
    SetUp();
    feed(std::string(c.line) + "\n");
    GRPLIN();
    SCOPED_TRACE(c.line);
    EXPECT_EQ(MAINPR.NG, 1);
    EXPECT_EQ(col(0), c.ni);
    EXPECT_EQ(col(1), c.no);
    EXPECT_EQ(col(5), c.ma);
    EXPECT_EQ(col(18), c.kind);
    EXPECT_EQ(IGRPTB(IWORKS.ix(), 1, 1, 1), c.nm);
  }
}

TEST_F(GroupLine, OtherKinds) {
  feed("Calculation NGroups=1\n");
  EXPECT_EQ(GRPLIN(), GrpNext::Model);
  EXPECT_EQ(MAINPR.NG, 1);
  EXPECT_EQ(col(18), 2);

  SetUp();
  feed("Constraint NGroups=2 NI=2\n");
  EXPECT_EQ(GRPLIN(), GrpNext::Model);
  EXPECT_EQ(col(18), 1);
  EXPECT_EQ(col(0), 0);  // the rest of a constraint line is not read
  EXPECT_EQ(col(3), 0);

  SetUp();
  feed("NGroups 3\n#define x 2\nSimulate NI=4\n");
  EXPECT_EQ(GRPLIN(), GrpNext::Model);
  EXPECT_EQ(MAINPR.NG, 3);
  EXPECT_EQ(col(18), 3);

  // A get group restores the file it names (a missing one is error 169).
  SetUp();
  feed("Get model.bin\n");
  EXPECT_EXIT(REPORT_ON_STDERR(GRPLIN()), ExitedWithCode(1), "error code is  169(.*)model.bin");
}

TEST_F(GroupLine, SecondGroupKeepsTheJobsNg) {
  feed("DA NG=2 NI=3 NO=10\n");
  GRPLIN();
  MAINPR.USEDWS = 200;
  new_group(2, std::string(128, 'T'));
  feed("DA NI=2 NO=5\n");
  GRPLIN();
  EXPECT_EQ(MAINPR.NG, 2);
  EXPECT_EQ(col(0, 2), 2);
  EXPECT_EQ(col(1, 2), 5);
  EXPECT_EQ(col(27, 2), 5);
  EXPECT_EQ(MAINPR.RDPTR, 43 * 2 + 3 + 200);
  for (int k = 5; k <= 8; ++k) EXPECT_EQ(LABTAB.get(k), std::string(32, 'T'));
  EXPECT_EQ(MAINPR.LABSLOT, 9);

  // NG=3 in a two-group job: error 55 returns and the first NG stays.
  new_group(2);
  feed("DA NG=3 NI=2 NO=5\n");
  ::testing::internal::CaptureStdout();
  GRPLIN();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("error code is   55"), std::string::npos) << out;
  EXPECT_NE(out.find("ignore it, OK?"), std::string::npos);
  EXPECT_EQ(MAINPR.NG, 2);
  EXPECT_EQ(WORKSP.x()(1), 2.0);

  // An NG line in a later group is no silent change of NG either.
  new_group(2);
  feed("NG 5\nDA NI=2 NO=5\n");
  ::testing::internal::CaptureStdout();
  GRPLIN();
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("error code is   55"), std::string::npos);
  EXPECT_EQ(MAINPR.NG, 2);
}

TEST_F(GroupLine, BadCountsAreReportedAndIgnored) {
  feed("DA NG=1 NI=-3 NI=2 NO=-1 NO=4 NM=0\n");
  ::testing::internal::CaptureStdout();
  GRPLIN();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("error code is   22"), std::string::npos) << out;
  EXPECT_EQ(col(0), 2);
  EXPECT_EQ(col(1), 4);
  EXPECT_EQ(IGRPTB(IWORKS.ix(), 1, 1, 1), 1);
}

TEST_F(GroupLine, Errors) {
  struct Case {
    int igrp;
    const char* script;
    const char* pattern;
  };
  const Case cases[] = {
      {1, "", "code is +7\n"},
      {1, "Matrices\n", "code is +1\n"},
      {1, "DA NG=1 NI=3\n", "code is +2\n"},
      {1, "DA NG=1 NO=3\n", "code is +2\n"},
      {1, "Calculation\n", "code is +73\n"},
      {1, "Constraint NI=2\n", "code is +73\n"},
      {1, "DA NI=2 CA\n", "code is +73\n"},
      {1, "DA NG=1 NI=2 NO=3 MA=XX\n", "code is +84\n"},
      {1, "DA NI=2 NO=3\n", "code is +210\n"},
      {1, "DA NG=0 NI=2 NO=3\n", "code is +210\n"},
      {1, "Simulate NI=3\n", "code is +210\n"},
      {1, "NG 2\n", "code is +7\n"},
      // Sizes that cannot fit the workspace stop with error 119.
      {1, "DA NG=30000 NI=2 NO=3\n", "Problem needs over(.|\n)*code is +119\n"},
      {1, "DA NG=1 NI=2000 NO=3\n", "Problem needs over(.|\n)*code is +119\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EXIT(REPORT_ON_STDERR({
                  feed(c.script);
                  new_group(c.igrp);
                  GRPLIN();
                }),
                ExitedWithCode(1), c.pattern);
  }
}

}  // namespace
}  // namespace qv::jobctl
