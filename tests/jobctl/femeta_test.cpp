// The front-end commands that the line reader serves: replies and their
// framing, the file transfer of PUT / GET / EXIST, and the lines passed on.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "jobctl/femeta.hpp"
#include "jobbase/script_fixture.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using jobbase::testing_support::capture;
using jobbase::testing_support::temp_path;
using jobbase::testing_support::write_file;

class FemetaTest : public jobbase::testing_support::ScriptTest {
 protected:
  void TearDown() override {
    runtime::close_unit(runtime::kPutUnit);
    ScriptTest::TearDown();
  }
};

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh path that does not exist yet.
std::string fresh_path(const std::string& name) {
  const std::string p = temp_path(name);
  std::filesystem::remove(p);
  return p;
}

TEST(Femode, LettersAndTokens) {
  EXPECT_EQ(capture([] { FEMODE('M'); }), "!@machine;\n");
  EXPECT_EQ(capture([] { FEMODE('H'); }), "!@human;\n");
  EXPECT_EQ(capture([] { FEMODE('D'); }), " !@debug\n");
  EXPECT_EQ(capture([] { FEMODE('x'); }), "");
  EXPECT_EQ(TOKSEP, ";");
  EXPECT_EQ(TOKERR, "!@error");
  EXPECT_EQ(TOKRDY, "!@ready;");
  EXPECT_EQ(TOKPNG, "!@pong;");
}

// The replies of the commands that need no file, one table row each: the
// script (the command and an ordinary line after it), the reply, and what
// the reader hands to its caller next.
TEST_F(FemetaTest, ConsumedCommandsAndTheirReplies) {
  struct Case {
    const char* script;
    const char* reply;
    const char* next;
  };
  const Case cases[] = {
      {"!@ping\nnext\n", "!@machine;\n !@pong;\n!@human;\n", "NEXT"},
      {"   !@PINGPONG\nnext\n", "!@machine;\n !@pong;\n!@human;\n", "NEXT"},  // leading letters only
      {"!@front\nnext\n", " !@ready;\n !@human;\n", "NEXT"},
      {"!@NoAutoDump\nnext\n", "", "NEXT"},
      {"!@dump\nnext\n", "!@human;\n Error: Qv has not yet read a full script\n!@human;\n", "NEXT"},
  };
  for (const Case& c : cases) {
    SetUp();
    MAINPR.ECHOLN = true;
    feed(c.script);
    const std::string out = capture([] { RDLINE(); });
    EXPECT_EQ(out, std::string(c.reply) + " " + c.next + "\n") << c.script;
    EXPECT_EQ(line(), c.next) << c.script;
  }
  SetUp();
  feed("!@Front\n!@noautodump\n");
  capture([] { RDLINE(); });
  EXPECT_TRUE(FESTAT.FEACTV);
  EXPECT_FALSE(FESTAT.AUTODMP);
  EXPECT_EQ(CURSOR.ICOL, 0);
}

TEST_F(FemetaTest, PassedOnLines) {
  MAINPR.ECHOLN = true;
  feed("!@go now ! not a comment\n!@dump\n");
  std::string out = capture([] { RDLINE(); });
  EXPECT_EQ(out, " Note: Meta command not recognized\n !@GO NOW ! NOT A COMMENT\n");
  EXPECT_EQ(line(), "!@GO NOW ! NOT A COMMENT");
  EXPECT_TRUE(LINBUF.META);
  // With a whole script read, DUMP goes on to the main program without a note.
  FESTAT.SCRDONE = true;
  out = capture([] { RDLINE(); });
  EXPECT_EQ(out, " !@DUMP\n");
  EXPECT_EQ(line(), "!@DUMP");
}

TEST_F(FemetaTest, RefusedDumpIsSkippedNotTheEndOfAFile) {
  // At the top level and inside an include file the refused line is passed
  // over and reading goes on in the same file.
  const std::string inc = write_file("dump_inc.qv", "!@DUMP\ninner\n");
  feed("#include " + inc + "\nouter\n");
  capture([] { RDLINE(); });
  EXPECT_EQ(line(), "INNER");
  EXPECT_EQ(INCSTK.INCDEP, 2);
  feed("!@dump\n!@dump\nlast\n");
  capture([] { RDLINE(); });
  EXPECT_EQ(line(), "LAST");
}

TEST_F(FemetaTest, PutSavesLinesUpToTheEndWord) {
  const std::string file = fresh_path("put1.txt");
  feed("!@PUT! " + file + "\n  First line  \nsecond, Line\n!@end of it\nafter\n");
  const std::string out = capture([] { RDLINE(); });
  EXPECT_EQ(out, " Note: Put is saving lines to file " + file +
                     "\nFirst line\nsecond, Line\n Note: Put saved 2 lines to file " + file + "\n");
  EXPECT_EQ(read_file(file), "First line\nsecond, Line\n");
  EXPECT_EQ(line(), "AFTER");
  EXPECT_EQ(MAINPR.LINENO, 5);  // the collected lines count as lines of the script

  // PUT! replaces an existing file, also with no lines at all.
  feed("!@put!," + file + "\n!@END\n");
  capture([] { RDLINE(); });
  EXPECT_EQ(read_file(file), "");
}

TEST_F(FemetaTest, PutInsideAnIncludeFileReadsThatFile) {
  const std::string file = fresh_path("put_inc.txt");
  const std::string inc = write_file("put_inc.qv", "!@put " + file + "\nfrom include\n!@END\ninner\n");
  feed("#include " + inc + "\nouter\n");
  capture([] { RDLINE(); });
  EXPECT_EQ(line(), "INNER");
  EXPECT_EQ(read_file(file), "from include\n");
  capture([] { RDLINE(); });
  EXPECT_EQ(line(), "OUTER");
}

TEST_F(FemetaTest, EndOfInputWhilePutCollectsClosesTheFile) {
  const std::string file = fresh_path("put_eof.txt");
  const std::string inc = write_file("put_eof.qv", "!@put " + file + "\nkept line\n");
  feed("#include " + inc + "\nouter\n");
  const std::string out = capture([] { RDLINE(); });
  EXPECT_NE(out.find("kept line\n *** WARNING! ***\n End of input before !@END: Put closed the file\n"
                     " Note: Put saved 1 lines to file " +
                     file + "\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(read_file(file), "kept line\n");
  EXPECT_FALSE(runtime::unit_is_open(runtime::kPutUnit));
  // The include file ended with it; its parent goes on.
  EXPECT_EQ(line(), "OUTER");
  EXPECT_EQ(INCSTK.INCDEP, 1);
}

TEST_F(FemetaTest, GetCopiesTheFileBack) {
  const std::string file = write_file("get1.txt", "alpha   \n  beta\n");
  feed("!@Get " + file + "\nnext\n");
  const std::string out = capture([] { RDLINE(); });
  EXPECT_EQ(out, "alpha\n  beta\n !@END;\n!@human;\n Note: Get retrieved 2 lines from file\n");
  EXPECT_EQ(line(), "NEXT");
}

TEST_F(FemetaTest, ExistAnswersInMachineForm) {
  const std::string there = write_file("exist1.txt", "x\n");
  const std::string missing = fresh_path("exist_missing.txt");
  feed("!@EXIST " + there + "\n!@exist " + missing + "\n");
  std::string out = capture([] { RDLINE(); });
  EXPECT_EQ(out, "!@machine;\n1\n!@human;\n File " + there + " exists.\n!@machine;\n0\n!@human;\n File " +
                     missing + " doesn't exist.\n");
  EXPECT_EQ(CURSOR.ICOL, 0);
}

TEST_F(FemetaTest, NameKeepsItsCase) {
  const std::string file = fresh_path("MixedCase.TXT");
  feed("!@put " + file + "\nx\n!@end\n");
  capture([] { RDLINE(); });
  EXPECT_TRUE(std::filesystem::exists(file));
}

using FemetaDeathTest = FemetaTest;

TEST_F(FemetaDeathTest, FileErrors) {
  const std::string there = write_file("exists.txt", "x\n");
  const std::string missing = fresh_path("missing_get.txt");
  struct Case {
    std::string script;
    std::string pattern;
  };
  const Case cases[] = {
      {"!@put\n", "error code is  198\n(.*) !@PUT\n"},
      {"!@GET  ,, \n", "error code is  198"},
      {"!@exist\nname.txt\n", "error code is  198"},
      {"!@PUT " + there + "\nline\n!@END\n", "error code is  200\n(.*)File exists; use !@PUT! to overwrite it"},
      // The missing file is named in the error report.
      {"!@get " + missing + "\n", "error code is  169\n(.*)file not found:\n " + missing},
      {"!@put /no/such/dir/f.txt\n", "error code is  223"},
  };
  for (const Case& c : cases) {
    feed(c.script);
    EXPECT_EXIT(
        {
          ::dup2(2, 1);
          RDLINE();
        },
        ::testing::ExitedWithCode(1), c.pattern)
        << c.script;
  }
}

TEST_F(FemetaDeathTest, ByeEndsTheRunAtOnce) {
  feed("!@bye!\nnot read\n");
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        RDLINE();
      },
      ::testing::ExitedWithCode(0), "^!@machine;\n$");
  // Without the blank after "BYE!" the word is passed on.
  feed("!@bye!x\n");
  const std::string out = capture([] { RDLINE(); });
  EXPECT_EQ(out, " Note: Meta command not recognized\n");
  EXPECT_EQ(line(), "!@BYE!X");
}

}  // namespace
}  // namespace qv::jobctl
