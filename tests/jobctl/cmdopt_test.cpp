// The command-line option parser: recognised options, their notes, what is
// left of the argument string, and the workspace count.
#include <string>

#include "jobctl/cmdopt.hpp"
#include "jobbase/script_fixture.hpp"

namespace qv::jobctl {
namespace {

using jobbase::testing_support::capture;

TEST(Cmdopt, OptionsNotesAndRest) {
  struct Case {
    const char* args;
    int html, front, words;
    const char* notes;
    const char* rest;
  };
  const Case cases[] = {
      {"", 0, 0, 100000, "", ""},
      {"-h my-house.qv", 1, 0, 100000, " HTML option in effect\n", " my-house.qv"},
      // The blanks between the words stay.
      {"-F -k 100 myfile.qv myfile.qvo", 0, 1, 100000,
       " Frontend QVGUI option in effect\n Workspace available : 100000\n", "  myfile.qv myfile.qvo"},
      {"in.qv -K20 -H", 1, 0, 50000, " Workspace available : 50000\n HTML option in effect\n", "in.qv"},
      {"-k 2000", 0, 0, 2000000, " Workspace available : 2000000\n", ""},
      {"a-h -hx", 0, 0, 100000, "", "a-h -hx"},  // not words of their own
  };
  for (const Case& c : cases) {
    std::string args = c.args;
    int html = 0, front = 0, words = 0;
    const std::string out = capture([&] { CMDOPT(args, html, front, words); });
    EXPECT_EQ(out, c.notes) << c.args;
    EXPECT_EQ(html, c.html) << c.args;
    EXPECT_EQ(front, c.front) << c.args;
    EXPECT_EQ(words, c.words) << c.args;
    EXPECT_EQ(args.size(), static_cast<std::size_t>(ARGLEN));
    EXPECT_EQ(std::string(runtime::trim_right(args)), c.rest) << c.args;
  }
}

TEST(CmdoptDeathTest, NumberErrors) {
  for (const char* a : {"-k x", "-k 12a", "-k"}) {
    std::string args = a;
    int html = 0, front = 0, words = 0;
    EXPECT_QV_ERROR(CMDOPT(args, html, front, words), 197) << a;
  }
}

}  // namespace
}  // namespace qv::jobctl
