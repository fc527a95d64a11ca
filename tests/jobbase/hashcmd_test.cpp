#include <string>
#include <vector>

#include "jobbase/workspace.hpp"
#include "script_fixture.hpp"

namespace qv::jobbase {
namespace {

using testing_support::capture;

class HashcmdTest : public testing_support::ScriptTest {
 protected:
  std::vector<double> store = std::vector<double>(2000, 0.0);
  runtime::Vec1<double> X{store.data(), static_cast<std::ptrdiff_t>(store.size())};
  int result = -7;

  void run(const std::string& text) {
    feed(text);
    RDLINE();
    HASHCMD(X, result);
  }
};
using HashcmdDeathTest = HashcmdTest;

TEST_F(HashcmdTest, DefineAndRedefine) {
  run("#define Alpha 2.5\n");
  ASSERT_EQ(NAMVAR.NNAMES, 1);
  EXPECT_EQ(NAMVAR.NAMES[1], runtime::fpad("ALPHA", 32));
  EXPECT_EQ(NAMVAR.VALUES[1], 2.5);
  run("#define beta -3\n");
  EXPECT_EQ(NAMVAR.NNAMES, 2);
  const std::string out = capture([this] { run("#DEFINE ALPHA 7\n"); });
  EXPECT_EQ(out, " *** WARNING! ***\n Global variable previously defined.  Updated\n");
  EXPECT_EQ(NAMVAR.NNAMES, 2);
  EXPECT_EQ(NAMVAR.VALUES[1], 7.0);
  EXPECT_EQ(result, -7);  // left alone

  double v = 0;
  int found = 0;
  NAMLUK(runtime::fpad("BETA", 32), v, found);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(v, -3.0);
  NAMLUK("GAMMA", v, found);
  EXPECT_EQ(found, 0);
}

TEST_F(HashcmdTest, PathIsIgnored) {
  run("#PATH /some/where\nnext\n");
  EXPECT_EQ(NAMVAR.NNAMES, 0);
  EXPECT_EQ(line(), "#PATH /SOME/WHERE");
  run("#path\nnext line\n");  // a bare #PATH does not take the next line
  EXPECT_EQ(line(), "#PATH");
  EXPECT_EQ(result, -7);
}

TEST_F(HashcmdTest, GroupChoiceInMultipleFitMode) {
  MAINPR.MULFIT = 1;
  MAINPR.NG = 2;
  X(1) = 2;
  GRPTAB(X, 2, 7, 1) = 100;
  GRPTAB(X, 2, 7, 2) = 400;
  run("#G 2\n");
  EXPECT_EQ(result, 400);
  EXPECT_EQ(MAINPR.IGRP, 2);
  EXPECT_TRUE(MAINPR.GRPSEL);
}

TEST_F(HashcmdDeathTest, Errors) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_QV_ERROR(run("#G 1\n"), 163);
  MAINPR.MULFIT = 1;
  MAINPR.NG = 2;
  EXPECT_QV_ERROR(run("#G 3\n"), 117);
  EXPECT_QV_ERROR(run("#G 0\n"), 117);
  EXPECT_QV_ERROR(run("#define " + std::string(33, 'N') + " 1\n"), 165);
  for (int i = 1; i <= MAXNAM; ++i) {
    NAMVAR.NAMES[i] = runtime::fpad("N" + std::to_string(i), 32);
    NAMVAR.VALUES[i] = i;
  }
  NAMVAR.NNAMES = MAXNAM;
  EXPECT_QV_ERROR(run("#define ONEMORE 1\n"), 164);
}

TEST_F(HashcmdTest, FullTableStillUpdatesAKnownName) {
  for (int i = 1; i <= MAXNAM; ++i) NAMVAR.NAMES[i] = runtime::fpad("N" + std::to_string(i), 32);
  NAMVAR.NNAMES = MAXNAM;
  capture([this] { run("#define N500 9\n"); });
  EXPECT_EQ(NAMVAR.VALUES[MAXNAM], 9.0);
  EXPECT_EQ(NAMVAR.NNAMES, MAXNAM);
}

}  // namespace
}  // namespace qv::jobbase
