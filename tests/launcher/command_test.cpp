// The command qvrun builds from its arguments, the quoting of arguments for
// /bin/sh, and the whole-line markers of the remote relay.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/launcher.hpp"

namespace {

using qv::launcher::build_command;
using qv::launcher::shell_quote;

struct CommandCase {
  const char* name;
  std::vector<std::string_view> args;
  std::string command;
  bool remote;
};

const CommandCase kCommandCases[] = {
    {"no arguments", {}, "qvt ", false},
    {"-h drops earlier options", {"-x", "-h", "a", "b"}, "qvh  < a > b", false},
    {"-h keeps later options", {"-h", "-x", "a", "b"}, "qvh  -x < a > b", false},
    {"third file ignored", {"a", "b", "c"}, "qvt  < a > b", false},
    {"-H as -h", {"-H", "a"}, "qvh  < a", false},
    {"-hx is an option", {"-hx", "a", "b"}, "qvt  -hx < a > b", false},
    {"lone dash is an option", {"-", "a"}, "qvt  - < a", false},
    {"option between the files", {"a", "-x", "b"}, "qvt  -x < a > b", false},
    {"options in order", {"-x", "a", "-y", "b", "-z"}, "qvt  -x -y -z < a > b", false},
    {"input file alone", {"in.qv"}, "qvt  < in.qv", false},
    {"-h twice", {"-x", "-h", "-y", "-H", "-z"}, "qvh  -z", false},
    {"-r selects remote, files ignored", {"-r", "a", "b"},
     "qvt  < _qv#Input#.qv > _qv#Output#.qvl", true},
    {"-r with -h and an option", {"-r", "-h", "-x"},
     "qvh  -x < _qv#Input#.qv > _qv#Output#.qvl", true},
    {"-r after the files", {"a", "-x", "-r"},
     "qvt  -x < _qv#Input#.qv > _qv#Output#.qvl", true},
    {"-R is an option", {"-R", "a"}, "qvt  -R < a", false},
    {"-rh is an option", {"-rh"}, "qvt  -rh", false},
    {"safe characters as they stand", {"-a_b.c/d+e,f:g=h@i%j-k", "dir/in.qv", "out.qvl"},
     "qvt  -a_b.c/d+e,f:g=h@i%j-k < dir/in.qv > out.qvl", false},
    {"file with a blank quoted", {"my job.qv", "out"}, "qvt  < 'my job.qv' > out", false},
    {"command separator quoted", {"a; touch P", "b"}, "qvt  < 'a; touch P' > b", false},
    {"substitution quoted", {"$(touch X)", "b"}, "qvt  < '$(touch X)' > b", false},
    {"backquotes quoted", {"`touch Y`", "b"}, "qvt  < '`touch Y`' > b", false},
    {"option with separator quoted", {"-x;touch Z"}, "qvt  '-x;touch Z'", false},
    {"comment sign quoted", {"#a", "b"}, "qvt  < '#a' > b", false},
    {"empty argument is an empty word", {"", "b"}, "qvt  < '' > b", false},
    {"quote inside an option", {"-it's"}, "qvt  '-it'\\''s'", false},
};

class CommandTable : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandTable, BuildsTheShellCommand) {
  const CommandCase& c = GetParam();
  qv::launcher::Command cmd = build_command(c.args);
  EXPECT_EQ(cmd.text, c.command);
  EXPECT_EQ(cmd.remote, c.remote);
}

INSTANTIATE_TEST_SUITE_P(Launcher, CommandTable, ::testing::ValuesIn(kCommandCases),
                         [](const auto& info) {
                           std::string n;
                           for (char ch : std::string_view(info.param.name))
                             n.push_back(std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_');
                           return n;
                         });

TEST(CommandLength, LongArgumentsAreKeptWhole) {
  std::string opt = "-" + std::string(299, 'o');
  std::string file(400, 'f');
  std::vector<std::string_view> args{opt, file, "out"};
  EXPECT_EQ(build_command(args).text, "qvt  " + opt + " < " + file + " > out");
}

struct QuoteCase {
  std::string arg;
  std::string quoted;
};

TEST(ShellQuote, SafeArgumentsStandAndOthersAreSingleQuoted) {
  const QuoteCase cases[] = {
      {"abcXYZ019", "abcXYZ019"},
      {"_./+,:=@%-", "_./+,:=@%-"},
      {"", "''"},
      {"a b", "'a b'"},
      {"a;b", "'a;b'"},
      {"a&b|c", "'a&b|c'"},
      {"$HOME", "'$HOME'"},
      {"$(id)", "'$(id)'"},
      {"`id`", "'`id`'"},
      {"#x", "'#x'"},
      {"a#x", "'a#x'"},
      {"*", "'*'"},
      {"?", "'?'"},
      {"[a]", "'[a]'"},
      {"~", "'~'"},
      {"{a,b}", "'{a,b}'"},
      {"a\\b", "'a\\b'"},
      {"\"x\"", "'\"x\"'"},
      {"it's", "'it'\\''s'"},
      {"'", "''\\'''"},
      {"''", "''\\'''\\'''"},
      {"a\nb", "'a\nb'"},
      {"a\tb", "'a\tb'"},
      {"<in", "'<in'"},
      {">out", "'>out'"},
      {"!x", "'!x'"},
      {"\xc3\xa9", "'\xc3\xa9'"},
  };
  for (const QuoteCase& c : cases) EXPECT_EQ(shell_quote(c.arg), c.quoted) << c.arg;
}

TEST(Markers, WholeLinesInThreeSpellingsOnly) {
  struct MarkerCase {
    std::string_view line;
    bool front;
    bool bye;
  };
  const MarkerCase cases[] = {
      {"!@front", true, false},   {"!@Front", true, false},  {"!@FRONT", true, false},
      {"!@fRONT", false, false},  {"!@front ", false, false}, {" !@front", false, false},
      {"!@front\r", false, false}, {"!@frontx", false, false}, {"!@fron", false, false},
      {"!@bye!", false, true},    {"!@BYE!", false, true},   {"!@Bye!", false, true},
      {"!@bye", false, false},    {"!@bYE!", false, false},  {"!@bye! ", false, false},
      {"!@bye!\r", false, false}, {"", false, false},        {"!@", false, false},
  };
  for (const MarkerCase& c : cases) {
    EXPECT_EQ(qv::launcher::is_front_line(c.line), c.front) << c.line;
    EXPECT_EQ(qv::launcher::is_bye_line(c.line), c.bye) << c.line;
  }
}

}  // namespace
