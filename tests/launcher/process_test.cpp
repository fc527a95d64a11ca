// qvrun as a process: each test runs the built program in a fresh temporary
// directory, with stub qvt and qvh first on PATH.  A stub records which
// program ran, its arguments and its standard input, prints three lines (or
// the file named by STUB_OUT), may delete a file (STUB_RM) and exits with
// STUB_STATUS ("kill" ends it by SIGTERM).  The last test runs the real qvt.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using qv::launcher::testing::ChildProcess;

const std::string kBinDir = QV_BIN_DIR;
const std::string kStubOutput = "one\ntwo\nthree\n";
const std::string kStubEcho = "one\n\ntwo\n\nthree\n\n!QvEnded!\n";
const std::string kIn = "_qv#Input#.qv";
const std::string kOut = "_qv#Output#.qvl";

std::string read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void write_file(const fs::path& p, const std::string& text) {
  std::ofstream f(p, std::ios::binary);
  f << text;
}

std::vector<std::string> list_dir(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

struct Env {
  std::string name, value;
};

struct RunResult {
  bool completed = false;
  int status = -1;
  std::string out, err;
};

class QvrunProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "qvrun-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
    bin_ = root_ / "bin";
    log_ = root_ / "log";
    run_ = root_ / "run";
    fs::create_directory(bin_);
    fs::create_directory(log_);
    fs::create_directory(run_);
    write_stub("qvt");
    write_stub("qvh");
  }

  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void write_stub(const std::string& name) {
    const std::string log = log_.string();
    std::string text =
        "#!/bin/sh\n"
        "printf '%s\\n' " + name + " > '" + log + "/name'\n"
        ": > '" + log + "/args'\n"
        "for a in \"$@\"; do printf '<%s>\\n' \"$a\" >> '" + log + "/args'; done\n"
        "cat > '" + log + "/stdin'\n"
        "if [ -n \"$STUB_OUT\" ]; then cat \"$STUB_OUT\"; else printf 'one\\ntwo\\nthree\\n'; fi\n"
        "if [ -n \"$STUB_RM\" ]; then rm -f \"$STUB_RM\"; fi\n"
        "if [ \"$STUB_STATUS\" = kill ]; then kill -TERM $$; fi\n"
        "exit ${STUB_STATUS:-0}\n";
    fs::path p = bin_ / name;
    write_file(p, text);
    fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  }

  // The environment of this process with PATH replaced and `extra` added.
  std::vector<std::string> environment(const std::string& path, const std::vector<Env>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      std::string_view s(*e);
      if (s.starts_with("PATH=") || s.starts_with("STUB_")) continue;
      env.emplace_back(s);
    }
    env.push_back("PATH=" + path);
    for (const Env& x : extra) env.push_back(x.name + "=" + x.value);
    return env;
  }

  std::string stub_path() const { return bin_.string() + ":/usr/bin:/bin"; }

  void start(ChildProcess& child, const std::vector<std::string>& args,
             const std::vector<Env>& extra = {}, const std::string& path = "") {
    std::vector<std::string> argv{kBinDir + "/qvrun"};
    argv.insert(argv.end(), args.begin(), args.end());
    ASSERT_TRUE(child.start(argv, environment(path.empty() ? stub_path() : path, extra),
                            run_.string()));
  }

  RunResult run(const std::vector<std::string>& args, const std::string& input,
                const std::vector<Env>& extra = {}, const std::string& path = "") {
    ChildProcess child;
    RunResult r;
    start(child, args, extra, path);
    // A child that stops early (a file it cannot open) may close its input
    // before the whole of it is written: the write then fails with EPIPE,
    // and what counts is still how the child ends.
    (void)child.send(input);
    if (child.finish()) r.completed = true;
    r.status = child.status;
    r.out = child.out;
    r.err = child.err;
    return r;
  }

  bool stub_ran() const { return fs::exists(log_ / "name"); }
  std::string stub_name() const { return read_file(log_ / "name"); }
  std::string stub_args() const { return read_file(log_ / "args"); }
  std::string stub_stdin() const { return read_file(log_ / "stdin"); }

  fs::path root_, bin_, log_, run_;
};

// ---------------------------------------------------------------------------
// Direct mode: which program ran, with what, where its input and output went,
// and the status passed back.

struct DirectCase {
  const char* name;
  std::vector<std::string> args;
  std::string stub_status;      // "" for 0
  std::string qvrun_input;      // written into qvrun's standard input
  std::string program;          // "qvt\n" or "qvh\n"
  std::string program_args;     // one "<arg>" line each
  std::string program_stdin;
  std::string qvrun_out;        // qvrun's own standard output
  std::string out_file;         // contents of "out", "" when it must not exist
  int status;
};

const std::string kScript = "title\nend\n";

const DirectCase kDirectCases[] = {
    {"no arguments: own input and output", {}, "", "piped script\n", "qvt\n", "", "piped script\n",
     kStubOutput, "", 0},
    {"two files", {"in", "out"}, "", "", "qvt\n", "", kScript, "", kStubOutput, 0},
    {"third file ignored", {"in", "out", "extra"}, "", "", "qvt\n", "", kScript, "", kStubOutput, 0},
    {"input file only", {"in"}, "", "", "qvt\n", "", kScript, kStubOutput, "", 0},
    {"-h and an option", {"-h", "-x", "in", "out"}, "", "", "qvh\n", "<-x>\n", kScript, "",
     kStubOutput, 0},
    {"-H drops earlier options", {"-x", "-H", "-y", "in", "out"}, "", "", "qvh\n", "<-y>\n", kScript,
     "", kStubOutput, 0},
    {"option between the files", {"in", "-q", "out"}, "", "", "qvt\n", "<-q>\n", kScript, "",
     kStubOutput, 0},
    {"-hx and - passed on", {"-hx", "-", "in", "out"}, "", "", "qvt\n", "<-hx>\n<->\n", kScript, "",
     kStubOutput, 0},
    {"exit status passed back", {"in", "out"}, "3", "", "qvt\n", "", kScript, "", kStubOutput, 3},
    {"killed program: 128 + SIGTERM", {"in", "out"}, "kill", "", "qvt\n", "", kScript, "",
     kStubOutput, 128 + SIGTERM},
};

class DirectTable : public QvrunProcess, public ::testing::WithParamInterface<DirectCase> {};

TEST_P(DirectTable, RunsTheProgramWithItsFiles) {
  const DirectCase& c = GetParam();
  write_file(run_ / "in", kScript);
  std::vector<Env> env;
  if (!c.stub_status.empty()) env.push_back({"STUB_STATUS", c.stub_status});
  RunResult r = run(c.args, c.qvrun_input, env);
  ASSERT_TRUE(r.completed) << "timed out";
  EXPECT_EQ(r.status, c.status) << r.err;
  ASSERT_TRUE(stub_ran()) << r.err;
  EXPECT_EQ(stub_name(), c.program);
  EXPECT_EQ(stub_args(), c.program_args);
  EXPECT_EQ(stub_stdin(), c.program_stdin);
  EXPECT_EQ(r.out, c.qvrun_out);
  if (c.out_file.empty())
    EXPECT_FALSE(fs::exists(run_ / "out"));
  else
    EXPECT_EQ(read_file(run_ / "out"), c.out_file);
  EXPECT_FALSE(fs::exists(run_ / "extra"));
}

std::string case_name(const char* s) {
  std::string n;
  for (char ch : std::string_view(s)) n.push_back(std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_');
  return n;
}

INSTANTIATE_TEST_SUITE_P(Launcher, DirectTable, ::testing::ValuesIn(kDirectCases),
                         [](const auto& info) { return case_name(info.param.name); });

TEST_F(QvrunProcess, ProgramNotFoundIsAFailure) {
  write_file(run_ / "in", kScript);
  RunResult r = run({"in", "out"}, "", {}, "/usr/bin:/bin");
  ASSERT_TRUE(r.completed) << "timed out";
  EXPECT_EQ(r.status, 127) << r.err;
}

// ---------------------------------------------------------------------------
// Hostile arguments reach the program as they stand and run nothing.

struct HostileCase {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::string> files;  // created in the run directory, holding kScript
  bool runs;                       // whether the program is started
  std::string program_args;
  std::vector<std::string> created;  // new names in the run directory afterwards
};

const std::string kLong = "-" + std::string(150, 'L') + " ;$(x)`y`'z'#" + std::string(136, 'M');

const HostileCase kHostileCases[] = {
    {"command separator", {"a; touch P", "b"}, {"a; touch P"}, true, "", {"b"}},
    {"command substitution", {"$(touch X)", "b"}, {"$(touch X)"}, true, "", {"b"}},
    {"backquotes", {"`touch Y`", "b"}, {"`touch Y`"}, true, "", {"b"}},
    {"separator in an option", {"-x;touch Z", "in", "out"}, {"in"}, true, "<-x;touch Z>\n",
     {"out"}},
    {"comment sign", {"#a", "out"}, {"#a"}, true, "", {"out"}},
    {"comment sign in the output", {"in", "#b"}, {"in"}, true, "", {"#b"}},
    {"empty argument", {"", "out"}, {}, false, "", {}},
    {"300 characters", {kLong, "in", "out"}, {"in"}, true, "<" + kLong + ">\n", {"out"}},
    {"quote in an option", {"-it's", "in", "out"}, {"in"}, true, "<-it's>\n", {"out"}},
    {"variable and glob", {"-$HOME", "-*", "in", "out"}, {"in"}, true, "<-$HOME>\n<-*>\n",
     {"out"}},
    {"blank and redirection in names", {"my in", "out >x"}, {"my in"}, true, "", {"out >x"}},
    {"newline in an option", {"-a\ntouch N", "in", "out"}, {"in"}, true, "<-a\ntouch N>\n",
     {"out"}},
    {"pipe and background", {"-x|touch Q&", "in", "out"}, {"in"}, true, "<-x|touch Q&>\n",
     {"out"}},
};

class HostileTable : public QvrunProcess, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileTable, CreatesNothing) {
  const HostileCase& c = GetParam();
  for (const std::string& f : c.files) write_file(run_ / f, kScript);
  RunResult r = run(c.args, "");
  ASSERT_TRUE(r.completed) << "timed out";
  std::vector<std::string> expected = c.files;
  expected.insert(expected.end(), c.created.begin(), c.created.end());
  EXPECT_EQ(list_dir(run_), sorted(expected));
  EXPECT_EQ(stub_ran(), c.runs) << r.err;
  if (c.runs) {
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(stub_args(), c.program_args);
    EXPECT_EQ(stub_stdin(), kScript);
    EXPECT_EQ(read_file(run_ / c.created.front()), kStubOutput);
  } else {
    EXPECT_NE(r.status, 0);
  }
  // Nothing landed beside the run directory either.
  EXPECT_EQ(list_dir(root_), sorted({"bin", "log", "run"}));
  std::vector<std::string> logs = list_dir(log_);
  for (const std::string& l : logs) EXPECT_TRUE(l == "name" || l == "args" || l == "stdin") << l;
}

INSTANTIATE_TEST_SUITE_P(Launcher, HostileTable, ::testing::ValuesIn(kHostileCases),
                         [](const auto& info) { return case_name(info.param.name); });

// ---------------------------------------------------------------------------
// Remote relay: the input file's bytes, the "!QvStarted!" answers, the echo.

struct RelayCase {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  std::string started;  // the answers before the echo
  std::string script;   // bytes of the input file
  std::string program;
  std::string program_args;
};

const std::string kS = "!QvStarted!\n";
const std::string kLongLine(5000, 'w');

const RelayCase kRelayCases[] = {
    {"front line first", {"-r"}, "!@front\nA\n!@bye!\n", "", "!@front\r\nA\r\n!@bye!\r\n", "qvt\n",
     ""},
    {"lines before the front line answered", {"-r"}, "x\ny\n!@front\nA\n!@bye!\n", kS + kS,
     "!@front\r\nA\r\n!@bye!\r\n", "qvt\n", ""},
    {"lines after the bye line not read", {"-r"}, "!@front\n!@bye!\nafter\n", "",
     "!@front\r\n!@bye!\r\n", "qvt\n", ""},
    {"Front and BYE", {"-r"}, "!@Front\nB\n!@BYE!\n", "", "!@Front\r\nB\r\n!@BYE!\r\n", "qvt\n",
     ""},
    {"FRONT and Bye", {"-r"}, "!@FRONT\nC\n!@Bye!\n", "", "!@FRONT\r\nC\r\n!@Bye!\r\n", "qvt\n",
     ""},
    {"near misses", {"-r"},
     "!@fRONT\n!@front \n!@front\r\n!@FRONT\nA\n!@bye\n!@bye! \n!@bye!\r\n!@bYE!\nB\n!@Bye!\n",
     kS + kS + kS,
     "!@FRONT\r\nA\r\n!@bye\r\n!@bye! \r\n!@bye!\r\r\n!@bYE!\r\nB\r\n!@Bye!\r\n", "qvt\n", ""},
    {"second front line copied", {"-r"}, "!@front\n!@FRONT\n!@bye!\n", "",
     "!@front\r\n!@FRONT\r\n!@bye!\r\n", "qvt\n", ""},
    {"bye line before any front line", {"-r"}, "x\n!@bye!\n!@front\nA\n!@bye!\n", kS + kS, "",
     "qvt\n", ""},
    {"end of input without a bye line", {"-r"}, "q\n!@front\nA\nB", kS, "!@front\r\nA\r\nB\r\n",
     "qvt\n", ""},
    {"empty input", {"-r"}, "", "", "", "qvt\n", ""},
    {"empty lines copied", {"-r"}, "\n!@front\n\n\n!@bye!\n", kS, "!@front\r\n\r\n\r\n!@bye!\r\n",
     "qvt\n", ""},
    {"long line copied whole", {"-r"}, "!@front\n" + kLongLine + "\n!@bye!\n", "",
     "!@front\r\n" + kLongLine + "\r\n!@bye!\r\n", "qvt\n", ""},
    {"file arguments ignored", {"-r", "a", "b"}, "!@front\n!@bye!\n", "", "!@front\r\n!@bye!\r\n",
     "qvt\n", ""},
    {"-h and an option", {"-r", "-h", "-x"}, "!@front\n!@bye!\n", "", "!@front\r\n!@bye!\r\n",
     "qvh\n", "<-x>\n"},
    {"-r last", {"-x", "in", "-r"}, "!@front\n!@bye!\n", "", "!@front\r\n!@bye!\r\n", "qvt\n",
     "<-x>\n"},
};

class RelayTable : public QvrunProcess, public ::testing::WithParamInterface<RelayCase> {};

TEST_P(RelayTable, CopiesTheScriptAndEchoesTheReport) {
  const RelayCase& c = GetParam();
  RunResult r = run(c.args, c.input);
  ASSERT_TRUE(r.completed) << "timed out";
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, c.started + kStubEcho);
  EXPECT_EQ(read_file(run_ / kIn), c.script);
  ASSERT_TRUE(stub_ran()) << r.err;
  EXPECT_EQ(stub_stdin(), c.script);
  EXPECT_EQ(stub_name(), c.program);
  EXPECT_EQ(stub_args(), c.program_args);
  EXPECT_EQ(read_file(run_ / kOut), kStubOutput);
  EXPECT_EQ(list_dir(run_), sorted({kIn, kOut}));
}

INSTANTIATE_TEST_SUITE_P(Launcher, RelayTable, ::testing::ValuesIn(kRelayCases),
                         [](const auto& info) { return case_name(info.param.name); });

TEST_F(QvrunProcess, RelayIgnoresTheProgramsStatus) {
  for (const char* status : {"5", "kill"}) {
    RunResult r = run({"-r"}, "!@front\n!@bye!\n", {{"STUB_STATUS", status}});
    ASSERT_TRUE(r.completed) << "timed out";
    EXPECT_EQ(r.status, 0) << status;
    EXPECT_EQ(r.out, kStubEcho) << status;
  }
}

TEST_F(QvrunProcess, RelayWithoutTheProgramEchoesNothing) {
  RunResult r = run({"-r"}, "!@front\n!@bye!\n", {}, "/usr/bin:/bin");
  ASSERT_TRUE(r.completed) << "timed out";
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "!QvEnded!\n");
}

// ---------------------------------------------------------------------------
// Echo: pieces of at most 79 characters, each followed by a newline.

struct EchoCase {
  const char* name;
  std::string report;
  std::string echo;  // before "!QvEnded!"
};

const std::string k78(78, 'a'), k79(79, 'b'), k21(21, 'c');

const EchoCase kEchoCases[] = {
    {"three short lines give six", "a\nb\nc\n", "a\n\nb\n\nc\n\n"},
    {"78 characters", k78 + "\n", k78 + "\n\n"},
    {"79 characters then two empty lines", k79 + "\n", k79 + "\n\n\n"},
    {"100 characters in pieces of 79 and 21", k79 + k21 + "\n", k79 + "\n" + k21 + "\n\n"},
    {"158 characters", k79 + k79 + "\n", k79 + "\n" + k79 + "\n\n\n"},
    {"last line without a newline", "a\nlast", "a\n\nlast\n"},
    {"long last line without a newline", k79 + k21, k79 + "\n" + k21 + "\n"},
    {"empty line", "\n", "\n\n"},
    {"empty report", "", ""},
    {"CR kept", "a\r\n", "a\r\n\n"},
};

class EchoTable : public QvrunProcess, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(EchoTable, EchoesInPieces) {
  const EchoCase& c = GetParam();
  write_file(root_ / "report", c.report);
  RunResult r = run({"-r"}, "!@front\n!@bye!\n", {{"STUB_OUT", (root_ / "report").string()}});
  ASSERT_TRUE(r.completed) << "timed out";
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, c.echo + "!QvEnded!\n");
}

INSTANTIATE_TEST_SUITE_P(Launcher, EchoTable, ::testing::ValuesIn(kEchoCases),
                         [](const auto& info) { return case_name(info.param.name); });

// ---------------------------------------------------------------------------
// Failures: a remote file that cannot be opened.

TEST_F(QvrunProcess, InputFileCannotBeOpened) {
  fs::create_directory(run_ / kIn);
  RunResult r = run({"-r"}, "x\n!@front\n!@bye!\n");
  ASSERT_TRUE(r.completed) << "timed out";
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "can't open file in remote\n!QvError!\n");
  EXPECT_FALSE(stub_ran());
}

TEST_F(QvrunProcess, OutputFileCannotBeOpened) {
  RunResult r = run({"-r"}, "x\n!@front\n!@bye!\n", {{"STUB_RM", kOut}});
  ASSERT_TRUE(r.completed) << "timed out";
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kS + "can't open file in remote\n!QvError!\n");
  EXPECT_TRUE(stub_ran());
  EXPECT_EQ(read_file(run_ / kIn), "!@front\r\n!@bye!\r\n");
}

// ---------------------------------------------------------------------------
// Interactivity: each answer reaches the pipe while the input is still open.

TEST_F(QvrunProcess, AnswersEachLineBeforeInputCloses) {
  ChildProcess child;
  start(child, {"-r"});
  ASSERT_TRUE(child.send("hello\n"));
  ASSERT_TRUE(child.wait_for_output(kS)) << "no answer to the first line: " << child.out;
  EXPECT_EQ(child.out, kS);
  ASSERT_TRUE(child.send("again\n"));
  ASSERT_TRUE(child.wait_for_output(kS + kS)) << "no answer to the second line: " << child.out;
  ASSERT_TRUE(child.send("!@front\nA\n!@bye!\n"));
  ASSERT_TRUE(child.wait_for_output("!QvEnded!\n")) << child.out;
  ASSERT_TRUE(child.finish());
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.out, kS + kS + kStubEcho);
}

// ---------------------------------------------------------------------------
// End to end with the real qvt.

TEST_F(QvrunProcess, RelaysAFrontEndSessionThroughQvt) {
  RunResult r = run({"-r"}, "!@front\n!@ping\n!@bye!\n", {}, kBinDir + ":/usr/bin:/bin");
  ASSERT_TRUE(r.completed) << "timed out";
  EXPECT_EQ(r.status, 0) << r.err;
  // qvt's banner and its closing reply surround the answer to the ping.
  EXPECT_NE(r.out.find("!@machine;\n\n !@pong;\n\n!@human;\n\n"), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("\n\n!QvEnded!\n")) << r.out;
  EXPECT_EQ(read_file(run_ / kIn), "!@front\r\n!@ping\r\n!@bye!\r\n");
  // The echo is qvt's report with every line followed by an empty one.
  std::string report = read_file(run_ / kOut), echo;
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_LT(line.size(), 79u);
    echo += line + "\n\n";
  }
  EXPECT_EQ(r.out, echo + "!QvEnded!\n");
}

}  // namespace
