#include <string>

#include "script_fixture.hpp"

namespace qv::jobbase {
namespace {

using testing_support::capture;
using testing_support::write_file;

class RdlineTest : public testing_support::ScriptTest {};

TEST(RdlineStrings, LentrmCountsTrailingBlanksAndControls) {
  EXPECT_EQ(LENTRM("abc  "), 3);
  EXPECT_EQ(LENTRM("abc\r\t \x01"), 3);
  EXPECT_EQ(LENTRM("    "), 0);
  EXPECT_EQ(LENTRM(""), 0);
  EXPECT_EQ(LENTRM("ab\xe9"), 3);  // bytes above 127 are ordinary characters
}

TEST(RdlineStrings, LjustMovesTextLeftInPlace) {
  std::string s = "   ab c  ";
  const std::string r = LJUST(s);
  EXPECT_EQ(s, "ab c     ");
  EXPECT_EQ(r.size(), 1200u);
  EXPECT_EQ(r.substr(0, 5), "ab c ");
  std::string t = "\tab";  // only the blank counts as leading
  LJUST(t);
  EXPECT_EQ(t, "\tab");
}

TEST(RdlineStrings, UpcaseLettersAndControls) {
  std::string s = "ab\tc!d";
  EXPECT_EQ(UPCASE(s, 4), 0);
  EXPECT_EQ(s, "AB C!d");
  std::string t = "abc";
  UPCASE(t, 0);
  EXPECT_EQ(t, "abc");
}

TEST_F(RdlineTest, LineIsJustifiedUpcasedAndCounted) {
  feed("\n   \n   Title of My Job  \n");
  RDLINE();
  EXPECT_EQ(line(), "TITLE OF MY JOB");
  EXPECT_EQ(LINBUF.RAWLIN.substr(0, 15), "Title of My Job");
  EXPECT_EQ(CURSOR.ICOL, 1);
  EXPECT_EQ(CURSOR.LLEN, 15);
  EXPECT_TRUE(CURSOR.NEWLIN);
  EXPECT_EQ(MAINPR.LINENO, 3);  // the blank lines count
  RDLINE();
  EXPECT_EQ(CURSOR.ICOL, 0);  // end of input
  EXPECT_TRUE(CURSOR.NEWLIN);
  EXPECT_EQ(LINBUF.PRVLIN.substr(0, 15), "TITLE OF MY JOB");
}

TEST_F(RdlineTest, CommentLinesAreShownEvenWithoutEcho) {
  feed("   ! a Comment\nnext\n");
  const std::string out = capture([] { RDLINE(); });
  EXPECT_EQ(out, " ! a Comment\n");
  EXPECT_EQ(line(), "NEXT");
  EXPECT_EQ(MAINPR.LINENO, 2);
}

TEST_F(RdlineTest, TrailingCommentIsBlankedInBothBuffers) {
  MAINPR.ECHOLN = true;
  feed("a b ! Note\n");
  const std::string out = capture([] { RDLINE(); });
  EXPECT_EQ(out, " A B ! NOTE\n");  // the echo shows the line before the comment is cut
  EXPECT_EQ(CURSOR.LLEN, 3);
  EXPECT_EQ(line(), "A B");
  EXPECT_EQ(LINBUF.RAWLIN.substr(0, 10), "a b       ");
}

TEST_F(RdlineTest, LineOfOnlyCommentAfterControlIsEchoedBlankAndSkipped) {
  MAINPR.ECHOLN = true;
  feed("\t! hidden\nnext\n");
  const std::string out = capture([] { RDLINE(); });
  EXPECT_EQ(out, "  ! HIDDEN\n" + std::string(10, ' ') + "\n NEXT\n");
  EXPECT_EQ(line(), "NEXT");
}

TEST_F(RdlineTest, MetaLineKeepsItsExclamationMarks) {
  feed("!@hello there ! not a comment\n");
  const std::string out = capture([] { RDLINE(); });
  EXPECT_TRUE(LINBUF.META);
  EXPECT_EQ(line(), "!@HELLO THERE ! NOT A COMMENT");
  RDLINE();
  EXPECT_EQ(CURSOR.ICOL, 0);
}

TEST_F(RdlineTest, OrdinaryLineClearsTheMetaFlag) {
  feed("!@x\ny\n");
  RDLINE();
  EXPECT_TRUE(LINBUF.META);
  RDLINE();
  EXPECT_FALSE(LINBUF.META);
}

TEST_F(RdlineTest, MixedCaseIncludeIsAnOrdinaryLine) {
  feed("#Include somefile\n");
  RDLINE();
  EXPECT_EQ(line(), "#INCLUDE SOMEFILE");
  EXPECT_EQ(INCSTK.INCDEP, 1);
}

TEST_F(RdlineTest, ControlCharactersBecomeBlanksInLineOnly) {
  feed("a\tb\r\n");
  RDLINE();
  EXPECT_EQ(line(), "A B");
  EXPECT_EQ(LINBUF.RAWLIN.substr(0, 3), "a\tb");
  EXPECT_EQ(CURSOR.LLEN, 3);
}

TEST_F(RdlineTest, LongLinesAreCutAt1200) {
  feed(std::string(1300, 'x') + "\n");
  RDLINE();
  EXPECT_EQ(CURSOR.LLEN, 1200);
  EXPECT_EQ(LINBUF.LINE.size(), 1200u);
}

TEST_F(RdlineTest, EchoFollowsEcholn) {
  feed("one\ntwo\n");
  MAINPR.ECHOLN = true;
  EXPECT_EQ(capture([] { RDLINE(); }), " ONE\n");
  MAINPR.ECHOLN = false;
  EXPECT_EQ(capture([] { RDLINE(); }), "");
}

TEST_F(RdlineTest, NestedIncludesWithNotesAndLineNumbers) {
  const std::string f2 = write_file("inc2.qv", "inner\n");
  const std::string f1 = write_file("inc1.qv", "first\n#include " + f2 + "\nlast of one\n");
  feed("top\n\n#include " + f1 + "\nafter\n");
  auto pad80 = [](const std::string& s) { return s + std::string(80 - s.size(), ' '); };

  RDLINE();
  EXPECT_EQ(line(), "TOP");
  std::string out = capture([] { RDLINE(); });
  EXPECT_EQ(out, "\n Note: Opening #include file   1 " + pad80(f1) + "\n\n");
  EXPECT_EQ(line(), "FIRST");
  EXPECT_EQ(MAINPR.LINENO, 1);
  EXPECT_EQ(INCSTK.INCDEP, 2);
  EXPECT_EQ(INCSTK.INUNIT, 15);
  EXPECT_EQ(runtime::trim_right(INCSTK.INCNAM), f1);

  out = capture([] { RDLINE(); });
  EXPECT_EQ(out, "\n Note: Opening #include file   2 " + pad80(f2) + "\n\n");
  EXPECT_EQ(line(), "INNER");
  EXPECT_EQ(INCSTK.INCDEP, 3);
  EXPECT_EQ(INCSTK.INUNIT, 16);

  out = capture([] { RDLINE(); });
  EXPECT_EQ(out, "\n Note: Closing #include file 2\n\n");
  EXPECT_EQ(line(), "LAST OF ONE");
  EXPECT_EQ(MAINPR.LINENO, 3);  // resumes after the include line

  out = capture([] { RDLINE(); });
  EXPECT_EQ(out, "\n Note: Closing #include file 1\n\n");
  EXPECT_EQ(line(), "AFTER");
  EXPECT_EQ(MAINPR.LINENO, 4);
  EXPECT_EQ(INCSTK.INCDEP, 1);
  EXPECT_EQ(INCSTK.INUNIT, testing_support::kScriptUnit);

  RDLINE();
  EXPECT_EQ(CURSOR.ICOL, 0);
}

TEST_F(RdlineTest, IncludeAtEndOfFileReturnsToParentEnd) {
  const std::string f1 = write_file("inc3.qv", "only\n");
  feed("#include " + f1 + "\n");
  capture([] { RDLINE(); });
  EXPECT_EQ(line(), "ONLY");
  capture([] { RDLINE(); });
  EXPECT_EQ(CURSOR.ICOL, 0);
  EXPECT_EQ(INCSTK.INCDEP, 1);
}

using RdlineDeathTest = RdlineTest;

TEST_F(RdlineDeathTest, IncludeErrors) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Standard output goes to standard error inside the dying child so that
  // the report can be matched.
  feed("#include\n");
  EXPECT_EXIT({ dup2(2, 1); RDLINE(); }, ::testing::ExitedWithCode(1),
              "error code is  199.*filename on the same line when using #include.*STOP 911");
  feed("#include /no/such/file.qv\n");
  EXPECT_EXIT({ dup2(2, 1); RDLINE(); }, ::testing::ExitedWithCode(1),
              "error code is  169.*Error: file not found:\n /no/such/file.qv.*Remember that UNIX");
  const std::string self = testing_support::temp_path("self.qv");
  write_file("self.qv", "#include " + self + "\n");
  feed("#include " + self + "\n");
  EXPECT_EXIT({ dup2(2, 1); for (;;) RDLINE(); }, ::testing::ExitedWithCode(1),
              "error code is  213.*over 100 times");
}

}  // namespace
}  // namespace qv::jobbase
