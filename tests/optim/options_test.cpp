// Option lines: keywords, abbreviations, values, their effect on the slots,
// the echo on the print unit, the defaults and the Parameters table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "optkern/machine.hpp"
#include "optim/options.hpp"
#include "runtime/units.hpp"

namespace qv::optim {
namespace {

namespace sl = slot;

const double kEps = std::ldexp(1.0, -53);

std::string pad(std::string s, std::size_t n) {
  s.resize(n, ' ');
  return s;
}

// Fresh option state, and the print unit 7 connected to a temporary file
// whose records the test reads back.
class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NPOPTS.reset();
    NPOSTAT.reset();
    path_ = (std::filesystem::temp_directory_path() /
             ("qv_optim_print_" + std::to_string(::getpid()) + ".txt"))
                .string();
    runtime::OpenSpec spec;
    spec.file = path_;
    spec.status = "REPLACE";
    runtime::open_unit(runtime::kMsgUnit, spec);
  }
  void TearDown() override {
    runtime::close_unit(runtime::kMsgUnit, "DELETE");
    NPOPTS.reset();
    NPOSTAT.reset();
  }
  // The records written on unit 7 so far (the unit is closed and reopened
  // empty).
  std::vector<std::string> printed() {
    runtime::close_unit(runtime::kMsgUnit);
    std::vector<std::string> lines;
    std::ifstream in(path_);
    for (std::string s; std::getline(in, s);) lines.push_back(s);
    runtime::OpenSpec spec;
    spec.file = path_;
    spec.status = "REPLACE";
    runtime::open_unit(runtime::kMsgUnit, spec);
    return lines;
  }
  std::string path_;
};

struct SlotCase {
  const char* line;
  const char* key;  // expected key (trimmed)
  std::function<double()> slot;
  double expected;
};

TEST_F(OptionsTest, KeywordsAbbreviationsAndValuesSetTheirSlots) {
  auto I = [](int k) { return [k] { return static_cast<double>(NPOPTS.inp(k)); }; };
  auto R = [](int k) { return [k] { return NPOPTS.rnp(k); }; };
  auto QI = [](int k) { return [k] { return static_cast<double>(NPOPTS.ils(k)); }; };
  auto QR = [](int k) { return [k] { return NPOPTS.rls(k); }; };
  const SlotCase cases[] = {
      {"Major iterations=1000", "MAJOR", I(sl::kMajorIterations), 1000},
      {"Iters 200", "ITERATIONS", I(sl::kMajorIterations), 200},
      {"Itns 201", "ITERATIONS", I(sl::kMajorIterations), 201},
      {"Iter 202", "ITERATIONS", I(sl::kMajorIterations), 202},
      {"Iterations 203", "ITERATIONS", I(sl::kMajorIterations), 203},
      {"Major Iters 204", "MAJOR", I(sl::kMajorIterations), 204},
      {"Major iterations 2.7", "MAJOR", I(sl::kMajorIterations), 2},  // truncated toward zero
      {"Major iterations -2.7", "MAJOR", I(sl::kMajorIterations), -2},
      {"Major iterations limit 2147483647", "MAJOR", I(sl::kMajorIterations), 2147483647},
      {"Major print level 20", "MAJOR", I(sl::kMajorPrintLevel), 20},
      {"Print level = 5 * comment", "PRINT", I(sl::kMajorPrintLevel), 5},
      {"Major debug level 12", "MAJOR", I(sl::kMajorDebugLevel), 12},
      {"Minor iterations 77", "MINOR", QI(sl::kMinorIterations), 77},
      {"Minor print level 1", "MINOR", QI(sl::kMinorPrintLevel), 1},
      {"minor debug 3", "MINOR", QI(sl::kMinorDebugLevel), 3},
      {"Infinite Bound Size       = 1.0e+15", "INFINITE", QR(sl::kInfiniteBound),
       1.0e15 * static_cast<double>(0.99999f)},
      {"Infinite step size 1e21", "INFINITE", QR(sl::kInfiniteStep), 1e21},
      {"Hessian=No", "HESSIAN", I(sl::kHessian), 0},
      {"Hessian Yes", "HESSIAN", I(sl::kHessian), 1},
      {"Hessian", "HESSIAN", I(sl::kHessian), 1},
      {"Verify", "VERIFY", I(sl::kVerifyLevel), 3},
      {"Verify level=3", "VERIFY", I(sl::kVerifyLevel), 3},
      {"Verify level 12", "VERIFY", I(sl::kVerifyLevel), 12},
      {"Verify No", "VERIFY", I(sl::kVerifyLevel), -1},
      {"Verify objective gradients", "VERIFY", I(sl::kVerifyLevel), 1},
      {"Verify constraint gradients", "VERIFY", I(sl::kVerifyLevel), 2},
      {"Verify Yes", "VERIFY", I(sl::kVerifyLevel), 3},
      {"Verify gradients", "VERIFY", I(sl::kVerifyLevel), 3},
      {"Verify whatever", "VERIFY", I(sl::kVerifyLevel), 3},
      {"Derivative level=0", "DERIVATIVE", I(sl::kDerivativeLevel), 0},
      {"deriv 2", "DERIVATIVE", I(sl::kDerivativeLevel), 2},
      {"Function precision 1e-10", "FUNCTION", R(sl::kFunctionPrecision), 1e-10},
      {"Optimality tolerance 1.5D-6", "OPTIMALITY", R(sl::kOptimalityTol), 1.5e-6},
      {"Linesearch tolerance 0.1", "LINESEARCH", R(sl::kLinesearchTol), 0.1},
      {"Linear feasibility tolerance 1e-8", "LINEAR", QR(sl::kLinearFeasTol), 1e-8},
      {"Linear constraints 3", "LINEAR", I(sl::kLinearConstraints), 3},
      {"Constraints 4", "CONSTRAINTS", I(sl::kLinearConstraints), 4},
      {"Nonlinear feasibility 1e-5", "NONLINEAR", R(sl::kNonlinFeasTol), 1e-5},
      {"Row tolerance 1e-4", "ROW", R(sl::kNonlinFeasTol), 1e-4},
      {"Nonlinear constraints 2", "NONLINEAR", I(sl::kNonlinConstraints), 2},
      {"Nonlinear Jacobian variables 4", "NONLINEAR", I(sl::kNonlinJacVars), 4},
      {"Nonlinear objective variables 5", "NONLINEAR", I(sl::kNonlinObjVars), 5},
      {"Nonlinear variables 6", "NONLINEAR", I(sl::kNonlinVars), 6},
      {"Crash tolerance 0.5", "CRASH", QR(sl::kCrashTol), 0.5},
      {"Step limit 3", "STEP", R(sl::kStepLimit), 3},
      {"Difference interval 1e-6", "DIFFERENCE", R(sl::kDifferenceInterval), 1e-6},
      {"Central difference interval 1e-4", "CENTRAL", R(sl::kCentralInterval), 1e-4},
      {"C 2e-4", "CENTRAL", R(sl::kCentralInterval), 2e-4},  // "C" selects the first C entry
      {"CON 1e8", "CONDITION", R(sl::kConditionBound), 1e8},
      {"Cold start", "COLD", QI(sl::kStart), 0},
      {"Warm start", "WARM", QI(sl::kStart), 1},
      {"Hot start", "HOT", QI(sl::kStart), 2},
      {"Print file 9", "PRINT", QI(sl::kPrintFile), 9},
      {"Summary file 0", "SUMMARY", QI(sl::kSummaryFile), 0},
      {"Load file 4", "LOAD", I(sl::kLoadFile), 4},
      {"Save run 8", "SAVE", I(sl::kSaveRun), 8},
      {"Save frequency 5", "SAVE", I(sl::kSaveFrequency), 5},
      {"Debug 3", "DEBUG", I(sl::kDebugIteration), 3},
      {"Start objective check at variable 2", "START", I(sl::kStartObjCheck), 2},
      {"Stop objective check at variable 3", "STOP", I(sl::kStopObjCheck), 3},
      {"Start constraint check at variable 1", "START", I(sl::kStartConCheck), 1},
      {"Stop constraint check at variable 4", "STOP", I(sl::kStopConCheck), 4},
      {"Problem number 7", "PROBLEM", I(sl::kProblemNumber), 7},
      {"Problem no. 8", "PROBLEM", I(sl::kProblemNumber), 8},
      {"Variables 9", "VARIABLES", I(sl::kVariables), 9},
      {"Lower bound -5", "LOWER", R(sl::kLowerBound), -5},
      {"Upper bound 5", "UPPER", R(sl::kUpperBound), 5},
      {"IPRMLS 5 123", "IPRMLS", QI(5), 123},
      {"RPRMLS 3 0.25", "RPRMLS", QR(3), 0.25},
      {"Feasibility tolerance 1e-7", "FEASIBILITY", QR(sl::kLinearFeasTol), 1e-7},
      {"Feasibility tolerance 1e-7", "FEASIBILITY", R(sl::kNonlinFeasTol), 1e-7},
      {"Major, iterations: 1500", "MAJOR", I(sl::kMajorIterations), 1500},  // separators
      {"\tMajor\titerations\t1600", "MAJOR", I(sl::kMajorIterations), 1600},
  };
  for (const SlotCase& c : cases) {
    std::string key;
    NPOPTL(7, c.line, key);
    EXPECT_EQ(key, pad(c.key, 16)) << c.line;
    EXPECT_EQ(c.slot(), c.expected) << c.line;
  }
  EXPECT_TRUE(printed().empty());  // no message for any of them
}

TEST_F(OptionsTest, LinesThatSetNothing) {
  const char* lines[] = {"", "   ", "* Major iterations 5", "   *", "BEGIN", "End", "List", "NOLIST 5",
                         "Problem type 3", "Save as 4", "Major level 3", "Hessian"};
  std::string key;
  NPOPTL(0, "*", key);  // the first-call reset
  NPOPTS.inp(sl::kHessian) = 1;
  const Npopts before = NPOPTS;
  for (const char* l : lines) {
    NPOPTL(7, l, key);
    EXPECT_EQ(NPOPTS.iprmnp, before.iprmnp) << l;
    EXPECT_EQ(NPOPTS.rprmnp, before.rprmnp) << l;
    EXPECT_EQ(NPOPTS.iprmls, before.iprmls) << l;
    EXPECT_EQ(NPOPTS.rprmls, before.rprmls) << l;
  }
  NPOPTL(7, "End", key);
  EXPECT_EQ(key, pad("END", 16));
  NPOPTL(7, "* comment", key);
  EXPECT_EQ(key, pad("", 16));
  EXPECT_TRUE(printed().empty());
}

TEST_F(OptionsTest, MessagesForUnusableLines) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {"Bogus 3", " XXX  Keyword not recognized:         BOGUS           "},
      {"Major bogus 3", " XXX  Second keyword not recognized:  BOGUS           "},
      {"Infinite 5", " XXX  Second keyword not recognized:  5               "},
      {"Print", " XXX  Second keyword not recognized:                  "},
      {"IPRMLS 31 5", " XXX  The parm subscript is out of range:        31"},
      {"RPRMLS 0 5", " XXX  The parm subscript is out of range:         0"},
      // Rulings: an unreadable value, or an integer beyond 32 bits, is
      // reported and the line ignored.
      {"Major iterations --5", " XXX  Value cannot be read:          --5             "},
      {"Major iterations 1+-2", " XXX  Value cannot be read:          1+-2            "},
      {"Major iterations 3e9", " XXX  Value out of integer range:     3E9             "},
      {"Major iterations -2147483649", " XXX  Value out of integer range:     -2147483649     "},
      {"IPRMLS 2 99999999999", " XXX  Value out of integer range:     99999999999     "},
      {"IPRMLS 2 12x", " XXX  Value cannot be read:          12X             "},
      {"RPRMLS 2 1.2.3", " XXX  Value cannot be read:          1.2.3           "},
      {"IPRMLS 1e12 5", " XXX  Value out of integer range:     1E12            "},
  };
  std::string key;
  for (const Case& c : cases) {
    NPOPTS.reset();
    NPOSTAT.reset();
    NPOPTL(7, c.line, key);
    const Npopts fresh;
    EXPECT_EQ(NPOPTS.iprmnp, fresh.iprmnp) << c.line;
    EXPECT_EQ(NPOPTS.iprmls, fresh.iprmls) << c.line;
    EXPECT_EQ(NPOPTS.rprmls, fresh.rprmls) << c.line;
    EXPECT_EQ(printed(), std::vector<std::string>{c.message}) << c.line;
  }
  // Unit 0: no messages at all.
  NPOPTL(0, "Bogus 3", key);
  EXPECT_TRUE(printed().empty());
}

TEST(Tokens, SplitScanAndNumericTest) {
  std::vector<std::string> tok(4);
  int max = 4;
  TOKSPLT("  major, Iterations=1000 extra more", max, tok);
  EXPECT_EQ(max, 4);
  EXPECT_EQ(tok[0], pad("MAJOR", 16));
  EXPECT_EQ(tok[1], pad("ITERATIONS", 16));
  EXPECT_EQ(tok[2], pad("1000", 16));
  EXPECT_EQ(tok[3], pad("EXTRA", 16));
  max = 4;
  TOKSPLT("averyveryverylongkeyword x", max, tok);
  EXPECT_EQ(max, 2);
  EXPECT_EQ(tok[0], "AVERYVERYVERYLON");
  EXPECT_EQ(tok[2], pad("", 16));
  EXPECT_EQ(tok[3], pad("", 16));

  int first = 1, last = 12, tokend = -1;
  TOKSCAN(" ab= cd ,:  ", first, last, tokend);
  EXPECT_EQ(first, 2);
  EXPECT_EQ(tokend, 3);
  EXPECT_EQ(last, 7);
  first = 1;
  last = 5;
  TOKSCAN(" =,: ", first, last, tokend);
  EXPECT_EQ(tokend, 0);

  struct Num {
    const char* token;
    bool numeric;
  };
  const Num nums[] = {{"1000", true},   {"1.0E+15", true}, {"-2.5D-3", true}, {"1-2", true},    {"--5", true},
                      {"1E5E", false},  {"1.2.3", false},  {"---1", false},   {"+++1", false},  {"E", false},
                      {"ABC", false},   {"1.5 X", true},   {"", false},       {"1e5", false},   {".", false}};
  for (const Num& n : nums) EXPECT_EQ(NUMTOK(n.token), n.numeric) << n.token;

  std::string s = "aBz{1";
  UPCASE(s);
  EXPECT_EQ(s, "ABZ{1");
}

TEST(Tokens, DictionaryLookup) {
  struct Case {
    const char* key;
    bool main;
    int index;
    const char* result;
  };
  const Case cases[] = {
      {"CON", true, 4, "CONDITION"},       {"C", true, 2, "CENTRAL"},         {"ITERS", true, 18, "ITERATIONS"},
      {"ITNS", true, 18, "ITERATIONS"},    {"ITER", true, 18, "ITERATIONS"},  {"NOL", true, 28, "NOLIST"},
      {"NON", true, 29, "NONLINEAR"},      {"WARM", true, 43, "WARM"},        {"ZZZ", true, 0, "ZZZ"},
      {"MAJORX", true, 0, "MAJORX"},       {"NO", false, 13, "NO"},           {"NO.", false, 15, "NUMBER"},
      {"NUM", false, 15, "NUMBER"},        {"ITNS", false, 8, "ITERATIONS"},  {"", false, 0, ""},
  };
  for (const Case& c : cases) {
    std::string key = pad(c.key, 16);
    int index = -99;
    if (c.main) {
      DICTLK(43, kNpMainDict, true, key, index);
    } else {
      DICTLK(22, kNpSecondDict, true, key, index);
    }
    EXPECT_EQ(index, c.index) << c.key;
    EXPECT_EQ(key, pad(c.result, 16)) << c.key;
  }
  // Unsorted: an exact match wins, two partial matches are ambiguous.
  const std::string_view dict[] = {"NOLIST", "NORTH", "NO"};
  std::string key = pad("NO", 16);
  int index = 0;
  DICTLK(3, dict, false, key, index);
  EXPECT_EQ(index, 3);
  key = pad("NO", 16);
  DICTLK(2, dict, false, key, index);
  EXPECT_EQ(index, -2);
  EXPECT_EQ(key, pad("NO", 16));
  key = pad("NOR", 16);
  DICTLK(3, dict, false, key, index);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(key, pad("NORTH", 16));
}

TEST_F(OptionsTest, EchoUnderHeadingAndListingSwitch) {
  NPOPLN("Major iterations=1000");
  NPOPLN("Bogus");
  NPOPLN("Nolist");
  NPOPLN("Print level 5");
  NPOPLN("Bogus2");
  NPOPLN("list");
  NPOPLN("Verify");
  const std::vector<std::string> expected = {
      "",
      "",
      " Calls to Option Routine",
      " -----------------------",
      "",
      "      " + pad("Major iterations=1000", 72),
      "      " + pad("Bogus", 72),
      " XXX  Keyword not recognized:         BOGUS           ",
      "      " + pad("Nolist", 72),
      "      " + pad("Verify", 72),
  };
  EXPECT_EQ(printed(), expected);
  EXPECT_EQ(NPOPTS.inp(sl::kMajorIterations), 1000);
  EXPECT_EQ(NPOPTS.inp(sl::kMajorPrintLevel), 5);  // set while not listed
  EXPECT_EQ(NPOPTS.inp(sl::kVerifyLevel), 3);
}

TEST_F(OptionsTest, FirstLineMessagesPrecedeTheHeading) {
  const std::string longline = "Major iterations 12" + std::string(60, ' ') + "Bogus";  // cut at 72
  NPOPLN("Bogus 1");
  NPOPLN(longline);
  const std::vector<std::string> expected = {
      " XXX  Keyword not recognized:         BOGUS           ",
      "",
      "",
      " Calls to Option Routine",
      " -----------------------",
      "",
      "      " + pad("Bogus 1", 72),
      "      " + pad("Major iterations 12", 72),
  };
  EXPECT_EQ(printed(), expected);
  EXPECT_EQ(NPOPTS.inp(sl::kMajorIterations), 12);
}

TEST_F(OptionsTest, NolistFirstLineSuppressesTheList) {
  NPOPLN("Nolist");
  NPOPLN("Major iterations 7");
  NPOPLN("Bogus");
  EXPECT_TRUE(printed().empty());
  EXPECT_EQ(NPOPTS.inp(sl::kMajorIterations), 7);
  // After a run's defaults, the next line opens a new list.
  NPOPTS.inp(sl::kMajorPrintLevel) = 0;
  NPPRMS(2, 0, 0, "NLSQP  ---  Version 4.06-2     Nov  1992");
  NPOPLN("Hessian No");
  const std::vector<std::string> expected = {
      "", "", " Calls to Option Routine", " -----------------------", "", "      " + pad("Hessian No", 72),
  };
  EXPECT_EQ(printed(), expected);
}

TEST_F(OptionsTest, DefaultsParametersTableAndTitle) {
  NPOPLN("Derivative level=0");
  (void)printed();
  NPPRMS(4, 0, 2, "NLSQP  ---  Version 4.06-2     Nov  1992");
  const std::string b21(21, ' ');
  const std::string s6(6, ' ');
  const std::vector<std::string> expected = {
      "",
      "",
      "",
      "",
      "",
      b21 + "NLSQP  ---  Version 4.06-2     Nov  1992",
      b21 + std::string(40, '='),
      "",
      "",
      " Parameters",
      " ----------",
      "",
      " Linear constraints.....         0" + s6 + " Linear feasibility.....  1.05E-08" + s6 +
          " cold start.............",
      " Variables..............         4" + s6 + " Infinite bound size....  1.00E+20" + s6 +
          " Crash tolerance........  1.00E-02",
      " Step limit.............  2.00E+00" + s6 + " Infinite step size.....  1.00E+20",
      "",
      " Nonlinear constraints..         2" + s6 + " Optimality tolerance...  3.26E-12" + s6 +
          " Function precision.....  4.37E-15",
      " Nonlinear Jacobian vars         4" + s6 + " Nonlinear feasibility..  5.43E-06" + s6 +
          " eps (machine precision)  1.11E-16",
      " Nonlinear objectiv vars         4" + s6 + " Linesearch tolerance...  9.00E-01" + s6 +
          " Print file.............         7",
      " Derivative level.......         0" + s6 + " Verify level...........         0" + s6 +
          " Summary file...........         0",
      "",
      " Major iterations limit.        50" + s6 + " Major print level......        10",
      " Minor iterations limit.        50" + s6 + " Minor print level......         0",
      " RUN loaded from file...         0" + s6 + " RUN to be saved on file         0" + s6 +
          " Save frequency.........        51",
      "",
      " Difference intervals to be computed.",
  };
  EXPECT_EQ(printed(), expected);

  // The defaults were written into the slots.
  const Npopts& o = NPOPTS;
  Npopts& w = NPOPTS;
  EXPECT_EQ(w.ils(sl::kPrintFile), 7);
  EXPECT_EQ(w.ils(sl::kSummaryFile), 0);  // equal to the print file
  EXPECT_EQ(w.ils(sl::kStart), 0);
  EXPECT_EQ(w.inp(sl::kHessian), 0);
  EXPECT_EQ(w.inp(sl::kDebugIteration), 51);
  EXPECT_EQ(w.inp(sl::kStartObjCheck), 1);
  EXPECT_EQ(w.inp(sl::kStopObjCheck), 4);
  EXPECT_EQ(w.inp(sl::kStartConCheck), 1);
  EXPECT_EQ(w.inp(sl::kStopConCheck), 4);
  EXPECT_EQ(w.inp(sl::kNonlinVars), 4);
  EXPECT_EQ(w.rnp(sl::kFunctionPrecision), std::pow(kEps, 0.9));
  EXPECT_EQ(w.rnp(sl::kOptimalityTol), std::pow(std::pow(kEps, 0.9), 0.8));
  EXPECT_EQ(w.rnp(sl::kNonlinFeasTol), std::pow(kEps, 0.33));
  EXPECT_EQ(w.rnp(sl::kConditionBound), 1.0 / (100.0 * kEps * 4));
  EXPECT_EQ(w.rls(sl::kLinearFeasTol), std::sqrt(kEps));
  EXPECT_EQ(o.dif_class, kDifComputed);
}

TEST_F(OptionsTest, DefaultsPersistFromRunToRunUntilDefaultsLine) {
  NPOPLN("Major print level 0");
  NPPRMS(30, 0, 2, "");
  EXPECT_EQ(NPOPTS.inp(sl::kMajorIterations), 110);  // 3*30 + 10*2
  EXPECT_EQ(NPOPTS.ils(sl::kMinorIterations), 96);   // 3*(30+2)
  NPPRMS(4, 0, 2, "");
  EXPECT_EQ(NPOPTS.inp(sl::kMajorIterations), 110);  // kept from the first run
  NPOPLN("Defaults");
  NPOPLN("Major print level 0");
  NPPRMS(4, 0, 2, "");
  EXPECT_EQ(NPOPTS.inp(sl::kMajorIterations), 50);
  EXPECT_EQ(NPOPTS.inp(sl::kVerifyLevel), 0);
}

// NPPRMS keeps the slots as the lines left them; the end of a run puts that
// copy back, so a line's value outlives the run and a derived default does
// not.
TEST_F(OptionsTest, CopyTakenBeforeTheDefaultsIsPutBackAtTheRunsEnd) {
  NPOPLN("Major print level 0");
  NPOPLN("Minor iterations 77");
  NPPRMS(30, 0, 2, "");
  EXPECT_EQ(NPOPTS.inp(sl::kMajorIterations), 110);  // 3*30 + 10*2
  NPOPTS.restore_saved();
  EXPECT_EQ(NPOPTS.inp(sl::kMajorIterations), kUnsetInt);
  EXPECT_EQ(NPOPTS.ils(sl::kMinorIterations), 77);
  EXPECT_EQ(NPOPTS.inp(sl::kMajorPrintLevel), 0);
  EXPECT_EQ(NPOPTS.rnp(sl::kConditionBound), kUnsetReal);
  NPPRMS(4, 0, 2, "");
  EXPECT_EQ(NPOPTS.inp(sl::kMajorIterations), 50);  // derived again from this run's n
}

TEST_F(OptionsTest, RangeRulesOfTheDefaults) {
  struct Case {
    std::vector<const char*> lines;
    std::function<void()> check;
  };
  const Case cases[] = {
      {{"Hot start"}, [] { EXPECT_EQ(NPOPTS.ils(sl::kStart), 0); }},  // no load file
      {{"Hot start", "Load file 4"},
       [] {
         EXPECT_EQ(NPOPTS.ils(sl::kStart), 2);
         EXPECT_EQ(NPOPTS.inp(sl::kLoadFile), 4);
       }},
      {{"Warm start", "Load file 4"}, [] { EXPECT_EQ(NPOPTS.inp(sl::kLoadFile), 0); }},
      {{"Derivative level 7", "Hessian yes", "Verify level 14"},
       [] {
         EXPECT_EQ(NPOPTS.inp(sl::kDerivativeLevel), 3);
         EXPECT_EQ(NPOPTS.inp(sl::kHessian), 1);
         EXPECT_EQ(NPOPTS.inp(sl::kVerifyLevel), 0);
         EXPECT_EQ(NPOPTS.rnp(sl::kNonlinFeasTol), std::sqrt(kEps));
       }},
      {{"Verify no"}, [] { EXPECT_EQ(NPOPTS.inp(sl::kVerifyLevel), -1); }},
      {{"Major iterations 0", "Debug 5"},
       [] {
         EXPECT_EQ(NPOPTS.inp(sl::kMajorIterations), 0);
         EXPECT_EQ(NPOPTS.inp(sl::kDebugIteration), 1);
       }},
      {{"Major debug level 12345678", "Debug 3"},
       [] {
         EXPECT_EQ(NPOPTS.inp(sl::kDebugIteration), 3);
         EXPECT_EQ(NPOPTS.npdbg, (std::array<int, 5>{8, 7, 6, 5, 4}));
         EXPECT_EQ(NPOPTS.lsdbg, (std::array<int, 5>{0, 0, 0, 0, 0}));
       }},
      {{"Save run 8", "Save frequency 0"}, [] { EXPECT_EQ(NPOPTS.inp(sl::kSaveFrequency), 51); }},
      {{"Save frequency 5"}, [] { EXPECT_EQ(NPOPTS.inp(sl::kSaveFrequency), 51); }},  // no save file
      {{"Save run 8", "Save frequency 5"}, [] { EXPECT_EQ(NPOPTS.inp(sl::kSaveFrequency), 5); }},
      {{"Stop objective check 9", "Start objective check 3", "Stop constraint check 2",
        "Start constraint check 3"},
       [] {
         EXPECT_EQ(NPOPTS.inp(sl::kStopObjCheck), 4);
         EXPECT_EQ(NPOPTS.inp(sl::kStartObjCheck), 3);
         EXPECT_EQ(NPOPTS.inp(sl::kStopConCheck), 2);
         EXPECT_EQ(NPOPTS.inp(sl::kStartConCheck), 1);
       }},
      {{"Infinite bound 0", "Infinite step -1"},
       [] {
         EXPECT_EQ(NPOPTS.rls(sl::kInfiniteBound), 9.9999e19);
         EXPECT_EQ(NPOPTS.rls(sl::kInfiniteStep), 9.9999e19);
       }},
      {{"Infinite bound 1e25"},
       [] { EXPECT_EQ(NPOPTS.rls(sl::kInfiniteStep), 1e25 * static_cast<double>(0.99999f)); }},
      {{"Crash tolerance 1", "Linesearch tolerance -1", "Step limit 0", "Function precision 1",
        "Optimality tolerance 1e-20", "Condition 0.5", "Linear feasibility 1e-17"},
       [] {
         EXPECT_EQ(NPOPTS.rls(sl::kCrashTol), 0.01);
         EXPECT_EQ(NPOPTS.rnp(sl::kLinesearchTol), 0.9);
         EXPECT_EQ(NPOPTS.rnp(sl::kStepLimit), 2.0);
         EXPECT_EQ(NPOPTS.rnp(sl::kFunctionPrecision), std::pow(kEps, 0.9));
         EXPECT_EQ(NPOPTS.rnp(sl::kOptimalityTol), std::pow(std::pow(kEps, 0.9), 0.8));
         EXPECT_EQ(NPOPTS.rnp(sl::kConditionBound), 1.0 / (100.0 * kEps * 4));
         EXPECT_EQ(NPOPTS.rls(sl::kLinearFeasTol), std::sqrt(kEps));
       }},
      {{"Linesearch tolerance 0", "Crash tolerance 0"},  // 0 lies inside [0, 1)
       [] {
         EXPECT_EQ(NPOPTS.rnp(sl::kLinesearchTol), 0.0);
         EXPECT_EQ(NPOPTS.rls(sl::kCrashTol), 0.0);
       }},
      {{"Function precision 1e-10", "Optimality tolerance 1e-6", "Linear feasibility 1e-9"},
       [] {
         EXPECT_EQ(NPOPTS.rnp(sl::kFunctionPrecision), 1e-10);
         EXPECT_EQ(NPOPTS.rnp(sl::kOptimalityTol), 1e-6);
         EXPECT_EQ(NPOPTS.rls(sl::kLinearFeasTol), 1e-9);
       }},
      {{"Difference interval 1e-6"},
       [] {
         EXPECT_EQ(NPOPTS.dif_class, kDifFixed);
         EXPECT_EQ(NPOPTS.rnp(sl::kCentralInterval), std::pow(std::pow(kEps, 0.9), 0.33));
       }},
      {{"Difference interval 1e-6", "Central difference interval 1e-3"},
       [] { EXPECT_EQ(NPOPTS.rnp(sl::kCentralInterval), 1e-3); }},
      {{"Difference interval -1"}, [] { EXPECT_EQ(NPOPTS.dif_class, kDifUser); }},
      {{"Difference interval 0"}, [] { EXPECT_EQ(NPOPTS.dif_class, kDifComputed); }},
      {{"Difference interval -11111"}, [] { EXPECT_EQ(NPOPTS.dif_class, kDifComputed); }},
      {{"Summary file 3", "Print file 0"},
       [] {
         EXPECT_EQ(NPOPTS.ils(sl::kSummaryFile), 3);
         EXPECT_EQ(NPOPTS.ils(sl::kPrintFile), 0);
       }},
  };
  for (const Case& c : cases) {
    NPOPTS.reset();
    NPOSTAT.reset();
    std::string key;
    for (const char* l : c.lines) NPOPTL(0, l, key);
    NPOPTS.inp(sl::kMajorPrintLevel) = 0;  // nothing printed
    NPPRMS(4, 0, 0, "");
    c.check();
  }
  EXPECT_TRUE(printed().empty());
}

TEST_F(OptionsTest, ParametersTableDifferenceRowsAndStartWord) {
  auto table_tail = [&](std::vector<const char*> lines, bool upper) {
    NPOPTS.reset();
    NPOSTAT.reset();
    std::string key;
    for (const char* l : lines) NPOPTL(0, l, key);
    NPOPTS.inp(sl::kMajorPrintLevel) = 0;
    NPPRMS(3, 1, 0, "");
    (void)printed();
    write_parameters_table(3, 1, 0, upper);
    return printed();
  };
  std::vector<std::string> t = table_tail({"Derivative level 1", "Difference interval 1e-6",
                                           "Central difference interval 1e-3", "Warm start"},
                                          false);
  ASSERT_EQ(t.size(), 19u);
  EXPECT_EQ(t[17], "");
  EXPECT_EQ(t[18], " Difference interval....  1.00E-06       Central diffce interval  1.00E-03");
  EXPECT_EQ(t[5].substr(81), "warm start.............");
  t = table_tail({"Derivative level 2", "Difference interval -1"}, true);
  EXPECT_EQ(t.back(), " User-supplied difference intervals.");
  EXPECT_EQ(t[5].substr(81), "COLD start.............");
  t = table_tail({"Derivative level 3"}, false);
  EXPECT_EQ(t.back(), " RUN loaded from file...         0       RUN to be saved on file         0       "
                      "Save frequency.........        51");
}

TEST_F(OptionsTest, HotStartPrintsTitleButNoTable) {
  std::string key;
  NPOPTL(0, "Hot start", key);
  NPOPTL(0, "Load file 4", key);
  NPOPTL(0, "Major print level 1", key);
  NPPRMS(2, 0, 0, "NLSQP  ---  Version 4.06-2     Nov  1992");
  const std::vector<std::string> lines = printed();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[6], std::string(21, ' ') + std::string(40, '='));
}

TEST_F(OptionsTest, QpSolverParserAndItsDictionaries) {
  LSOSTAT.reset();
  auto QI = [](int k) { return [k] { return static_cast<double>(NPOPTS.ils(k)); }; };
  auto QR = [](int k) { return [k] { return NPOPTS.rls(k); }; };
  auto I = [](int k) { return [k] { return static_cast<double>(NPOPTS.inp(k)); }; };
  const SlotCase cases[] = {
      {"Feasibility phase iterations 40", "FEASIBILITY", QI(sl::kFeasPhaseIterations), 40},
      {"Feasibility tolerance 1e-6", "FEASIBILITY", QR(sl::kLinearFeasTol), 1e-6},
      {"Iterations 60", "ITERATIONS", QI(sl::kMinorIterations), 60},
      {"Optimality phase iterations 70", "OPTIMALITY", QI(sl::kMinorIterations), 70},
      {"Debug 2", "DEBUG", QI(sl::kMinorDebugLevel), 2},
      {"Print level 4", "PRINT", QI(sl::kMinorPrintLevel), 4},
      {"Print file 12", "PRINT", QI(sl::kPrintFile), 12},
      {"Rank tolerance 1e-9", "RANK", QR(sl::kRankTol), 1e-9},
      {"Start 3", "START", QI(sl::kQpStartSlot), 3},
      {"Linear anything 5", "LINEAR", I(sl::kLinearConstraints), 5},
      {"Problem type QP", "PROBLEM", QI(sl::kProblemType), 4},
      {"Problem type Least", "PROBLEM", QI(sl::kProblemType), 7},
      {"Problem type LP", "PROBLEM", QI(sl::kProblemType), 2},
      {"Problem type Linear", "PROBLEM", QI(sl::kProblemType), 2},
      {"Problem type FP", "PROBLEM", QI(sl::kProblemType), 1},
      {"Problem type LS4", "PROBLEM", QI(sl::kProblemType), 10},
      {"Problem type QP1", "PROBLEM", QI(sl::kProblemType), 3},
      {"Infinite bound 1e10", "INFINITE", QR(sl::kInfiniteBound), 1e10 * static_cast<double>(0.99999f)},
      {"Warm start", "WARM", QI(sl::kStart), 1},
      {"IPRMLS 9 6", "IPRMLS", QI(9), 6},
  };
  for (const SlotCase& c : cases) {
    std::string key;
    LSOPTL(7, c.line, key);
    EXPECT_EQ(key, pad(c.key, 16)) << c.line;
    EXPECT_EQ(c.slot(), c.expected) << c.line;
  }
  EXPECT_TRUE(printed().empty());

  std::string key;
  LSOPTL(7, "Problem type XYZ", key);
  LSOPTL(7, "Major iterations 5", key);  // not an LS keyword
  const std::vector<std::string> messages = {
      " XXX  Third  keyword not recognized:  XYZ             ",
      " XXX  Keyword not recognized:         MAJOR           ",
  };
  EXPECT_EQ(printed(), messages);

  // Defaults resets only the QP solver's slots.
  NPOPTS.inp(sl::kMajorIterations) = 99;
  LSOPTL(0, "Defaults", key);
  EXPECT_EQ(NPOPTS.inp(sl::kMajorIterations), 99);
  EXPECT_EQ(NPOPTS.iprmls, Npopts{}.iprmls);
  EXPECT_EQ(NPOPTS.rprmls, Npopts{}.rprmls);

  // The option routine lists the same way as NPOPLN.
  LSOPLN("Rank tolerance 1e-8");
  LSOPLN("NOLIST");
  LSOPLN("Crash tolerance 0.2");
  const std::vector<std::string> listed = {
      "", "", " Calls to Option Routine", " -----------------------", "",
      "      " + pad("Rank tolerance 1e-8", 72), "      " + pad("NOLIST", 72),
  };
  EXPECT_EQ(printed(), listed);
  EXPECT_EQ(NPOPTS.rls(sl::kCrashTol), 0.2);
  LSOSTAT.reset();
}

// The QP solver's parser shares the NLSQP parser's front and messages; lines
// it cannot use change no slot.
TEST_F(OptionsTest, QpSolverParserMessages) {
  struct Case {
    const char* line;
    const char* message;  // nullptr: none
  };
  const Case cases[] = {
      {"Hessian yes", " XXX  Keyword not recognized:         HESSIAN         "},
      {"Feasibility zz 3", " XXX  Second keyword not recognized:  ZZ              "},
      {"Infinite 5", " XXX  Second keyword not recognized:  5               "},
      {"Print", " XXX  Second keyword not recognized:                  "},
      {"RPRMLS 31 1", " XXX  The parm subscript is out of range:        31"},
      {"Iterations --5", " XXX  Value cannot be read:          --5             "},
      {"Iterations 3e9", " XXX  Value out of integer range:     3E9             "},
      {"IPRMLS 2 12x", " XXX  Value cannot be read:          12X             "},
      {"Problem zz 3", nullptr},
      {"* Iterations 5", nullptr},
  };
  std::string key;
  for (const Case& c : cases) {
    NPOPTS.reset();
    LSOSTAT.reset();
    LSOPTL(7, c.line, key);
    EXPECT_EQ(NPOPTS.iprmnp, Npopts{}.iprmnp) << c.line;
    EXPECT_EQ(NPOPTS.rprmnp, Npopts{}.rprmnp) << c.line;
    EXPECT_EQ(NPOPTS.iprmls, Npopts{}.iprmls) << c.line;
    EXPECT_EQ(NPOPTS.rprmls, Npopts{}.rprmls) << c.line;
    const std::vector<std::string> expected =
        c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{};
    EXPECT_EQ(printed(), expected) << c.line;
  }
  LSOSTAT.reset();
}

}  // namespace
}  // namespace qv::optim
