#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim/nlsqp.hpp"
#include "optim/options.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/options.hpp"
#include "optim_alt/wksp.hpp"
#include "runtime/fixedstr.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;
using Lines = std::vector<std::string>;
namespace sl = optim::slot;

// Fresh option cells of the edition (and of the optimizer, to see that
// nothing reaches them); the records written go to a capture.
class E4Options : public ::testing::Test {
 protected:
  void SetUp() override { fresh(); }
  void TearDown() override { fresh(); }
  static void fresh() {
    E4OPTS.reset();
    E4OSTAT.reset();
    E4WORK.reset();
    optim::NPOPTS.reset();
    optim::NPOSTAT.reset();
  }
  // The lines through E04UEF, with what was written.
  static Lines lines_of(const std::vector<std::string>& lines) {
    UnitCapture cap;
    for (const auto& l : lines) E04UEF(l);
    return cap.lines();
  }
  static void set(const std::string& line) {
    UnitCapture cap;
    E04UEF(line);
  }
};

TEST_F(E4Options, TokensSplitAtBlanksParenthesesCommasColonsAndEqualsButNotTabs) {
  std::vector<std::string> tok(10);
  int max = 10;
  E4TOKS("Major Iterations (100)", max, tok);
  ASSERT_EQ(max, 3);
  EXPECT_EQ(tok[0], "MAJOR           ");
  EXPECT_EQ(tok[1], "ITERATIONS      ");
  EXPECT_EQ(tok[2], "100             ");
  EXPECT_EQ(tok[3], std::string(16, ' '));

  max = 10;
  E4TOKS("a,b:c=d\te", max, tok);
  ASSERT_EQ(max, 4);
  EXPECT_EQ(tok[3], "D\tE             ");

  // A token longer than 16 characters is cut; at most max tokens are taken.
  max = 2;
  E4TOKS("abcdefghijklmnopqrstuvwxyz x y", max, tok);
  ASSERT_EQ(max, 2);
  EXPECT_EQ(tok[0], "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(tok[1], "X               ");
}

TEST_F(E4Options, NumericTokensFollowTheCharacterCounts) {
  struct Case {
    const char* token;
    bool numeric;
  };
  const Case cases[] = {
      {"100", true},      {"1.0E+15", true}, {"1.0D-3", true}, {"--5", true},  {"+-1", true},
      {"1E2E3", false},   {"1.2.3", false},  {"E", false},     {"---1", false}, {"1X", false},
      {"12 XY", true},    {"", false},       {"+", false},     {"1D2E", false},
  };
  for (const Case& c : cases) EXPECT_EQ(E4ISNM(c.token), c.numeric) << c.token;
}

TEST_F(E4Options, KeyLookupTakesExactMatchesAndSynonymsAndRefusesDifferentEntries) {
  struct Case {
    const char* key;
    int index;           // > 0 found, 0 not found, -1 ambiguous
    const char* result;  // the key afterwards
  };
  const Case cases[] = {
      {"ITERS", 18, "ITERATIONS"},   {"ITNS", 18, "ITERATIONS"},  {"IT", 18, "ITERATIONS"},
      {"ITER", 18, "ITERATIONS"},    {"CO", -1, "CO"},            {"C", -1, "C"},
      {"CON", -1, "CON"},            {"COND", 4, "CONDITION"},    {"MAJOR", 25, "MAJOR"},
      {"MA", 25, "MAJOR"},           {"MAJORS", 0, "MAJORS"},     {"LOAD", 0, "LOAD"},
      {"LIST", 23, "LIST"},          {"LI", -1, "LI"},            {"", 0, ""},
  };
  for (const Case& c : cases) {
    std::string key = c.key;
    int index = 99;
    E4KEYL(static_cast<int>(kE4MainKeys.size()), kE4MainKeys, key, index);
    EXPECT_EQ(index, c.index) << c.key;
    EXPECT_EQ(runtime::trim_right(key), c.result) << c.key;
  }
  // The second table: NO is exact, NO. a synonym of NUMBER, N ambiguous.
  const Case second[] = {{"NO", 11, "NO"}, {"NO.", 13, "NUMBER"}, {"N", -1, "N"}, {"NU", 13, "NUMBER"},
                         {"FILE", 0, "FILE"}, {"I", 6, "ITERATIONS"}};
  for (const Case& c : second) {
    std::string key = c.key;
    int index = 99;
    E4KEYL(static_cast<int>(kE4SecondKeys.size()), kE4SecondKeys, key, index);
    EXPECT_EQ(index, c.index) << c.key;
    EXPECT_EQ(runtime::trim_right(key), c.result) << c.key;
  }
}

TEST_F(E4Options, LinesSetTheirSlots) {
  struct Case {
    const char* line;
    bool integer;
    int slot;
    bool qp;  // the QP-solver block
    double value;
  };
  const Case cases[] = {
      {"Iters 100", true, sl::kMajorIterations, false, 100},
      {"Itns 100", true, sl::kMajorIterations, false, 100},
      {"It 100", true, sl::kMajorIterations, false, 100},
      {"Major Iterations (100)", true, sl::kMajorIterations, false, 100},
      {"Major iterations=1000", true, sl::kMajorIterations, false, 1000},
      {"Print file 9", true, sl::kMajorPrintLevel, false, 9},
      {"Print level = 5 * comment", true, sl::kMajorPrintLevel, false, 5},
      {"Minor print level 3", true, sl::kMinorPrintLevel, true, 3},
      {"Minor iterations 77", true, sl::kMinorIterations, true, 77},
      {"Step limit 1E2E3", false, sl::kStepLimit, false, 0.0},
      {"Step limit 0.5", false, sl::kStepLimit, false, 0.5},
      {"Verify", true, sl::kVerifyLevel, false, 3},
      {"Verify No", true, sl::kVerifyLevel, false, -1},
      {"Verify Level 12", true, sl::kVerifyLevel, false, 12},
      {"Verify Objective gradients", true, sl::kVerifyLevel, false, 1},
      {"Verify Constraints", true, sl::kVerifyLevel, false, 2},
      {"Verify Yes", true, sl::kVerifyLevel, false, 3},
      {"Verify Bound", true, sl::kVerifyLevel, false, 3},
      {"Hessian Yes", true, sl::kHessian, false, 1},
      {"Hessian", true, sl::kHessian, false, 1},
      {"Hessian = No", true, sl::kHessian, false, 0},
      {"Warm start", true, sl::kStart, true, 1},
      {"Hot start", true, sl::kStart, true, 2},
      {"Cold start", true, sl::kStart, true, 0},
      {"Derivative level 0", true, sl::kDerivativeLevel, false, 0},
      {"Stop objective check at variable 0", true, sl::kStopObjCheck, false, 0},
      {"Start constraint check at variable 2", true, sl::kStartConCheck, false, 2},
      {"Infinite step size 1.0e+15", false, sl::kInfiniteStep, true, 1.0e15},
      {"Linear feasibility tolerance 1.0D-6", false, sl::kLinearFeasTol, true, 1.0e-6},
      {"Nonlinear feasibility 1.0e-7", false, sl::kNonlinFeasTol, false, 1.0e-7},
      {"Row tolerance 1.0e-5", false, sl::kNonlinFeasTol, false, 1.0e-5},
      {"Function precision 1e-10", false, sl::kFunctionPrecision, false, 1e-10},
      {"Optimality tolerance 1e-8", false, sl::kOptimalityTol, false, 1e-8},
      {"Linesearch tolerance 0.1", false, sl::kLinesearchTol, false, 0.1},
      {"Condition 1e8", false, sl::kConditionBound, false, 1e8},
      {"Crash tolerance 0.2", false, sl::kCrashTol, true, 0.2},
      {"Difference interval 1e-6", false, sl::kDifferenceInterval, false, 1e-6},
      {"Central difference interval 1e-4", false, sl::kCentralInterval, false, 1e-4},
      {"Major debug level 11", true, sl::kMajorDebugLevel, false, 11},
      {"Debug iteration 4", true, sl::kDebugIteration, false, 4},
      {"Problem number 12", true, sl::kProblemNumber, false, 12},
      {"IPRMLS 5 7", true, 5, true, 7},
      {"RPRMLS 2 0.5", false, 2, true, 0.5},
  };
  for (const Case& c : cases) {
    fresh();
    const Lines out = lines_of({c.line});
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), std::string("      ") + c.line) << c.line;  // the echo, no message
    optim::Npopts& o = E4OPTS;
    if (c.integer) {
      EXPECT_EQ(c.qp ? o.ils(c.slot) : o.inp(c.slot), static_cast<int>(c.value)) << c.line;
    } else {
      EXPECT_DOUBLE_EQ(c.qp ? o.rls(c.slot) : o.rnp(c.slot), c.value) << c.line;
    }
  }
}

TEST_F(E4Options, InfiniteBoundIsScaledByTheDouble099999) {
  set("Infinite bound size = 1.0e+10");
  EXPECT_EQ(E4OPTS.rls(sl::kInfiniteBound), 1.0e10 * 0.99999);
  EXPECT_DOUBLE_EQ(E4OPTS.rls(sl::kInfiniteBound), 9.9999e9);
}

TEST_F(E4Options, LinesThatCannotBeUsedAreReportedAndChangeNothing) {
  struct Case {
    const char* line;
    const char* message;  // "" for none
  };
  const Case cases[] = {
      {"Co 1", " XXX  Ambiguous keyword:              CO"},
      {"Major\titerations 100", " XXX  Keyword not recognized:         MAJOR\tITERATIONS"},
      {"Load file 9", " XXX  Keyword not recognized:         LOAD"},
      {"Major 100", " XXX  Second keyword not recognized:  100"},
      {"Infinite size 5", " XXX  Second keyword not recognized:  SIZE"},
      {"Start 3", " XXX  Second keyword not recognized:  3"},
      {"IPRMLS 31 5", " XXX  The PARM subscript is out of range:        31"},
      {"IPRMLS 0 5", " XXX  The PARM subscript is out of range:         0"},
      {"IPRMLS 3 X5", " XXX  Value cannot be read:          X5"},
      {"IPRMLS 3 9999999999", " XXX  Value out of integer range:     9999999999"},
      {"Iterations --5", " XXX  Value cannot be read:          --5"},
      {"Iterations 3000000000", " XXX  Value out of integer range:     3000000000"},
      {"Verify N", ""},
      {"Problem type 3", ""},
  };
  for (const Case& c : cases) {
    fresh();
    const Lines out = lines_of({"Nonlinear feasibility 0.5", c.line});
    const std::string echo = std::string("      ") + c.line;
    ASSERT_GE(out.size(), 7u) << c.line;
    EXPECT_EQ(out[6], echo) << c.line;
    if (*c.message == '\0') {
      EXPECT_EQ(out.size(), 7u) << c.line;
    } else {
      ASSERT_EQ(out.size(), 8u) << c.line;
      EXPECT_EQ(out[7], c.message) << c.line;
    }
    // Nothing is set: every slot but the first line's is unset.
    optim::Npopts fresh_blocks;
    fresh_blocks.rnp(sl::kNonlinFeasTol) = 0.5;
    EXPECT_EQ(E4OPTS.iprmnp, fresh_blocks.iprmnp) << c.line;
    EXPECT_EQ(E4OPTS.rprmnp, fresh_blocks.rprmnp) << c.line;
    EXPECT_EQ(E4OPTS.iprmls, fresh_blocks.iprmls) << c.line;
    EXPECT_EQ(E4OPTS.rprmls, fresh_blocks.rprmls) << c.line;
  }
}

TEST_F(E4Options, ListingHasItsHeadingOnceAndAgainAfterEachRun) {
  const Lines first = lines_of({"Major print level 0", "List", "Major iterations 7"});
  const Lines expect = {" ", " ", " Calls to E04UEF", " ---------------", " ", "      Major print level 0",
                        "      List", "      Major iterations 7"};
  EXPECT_EQ(first, expect);

  {
    UnitCapture cap;
    E4PRMS(2, 0, 0, " *** E04UCF");  // print level 0: nothing written
    E4OPTS.restore_saved();
    EXPECT_TRUE(cap.lines().empty());
  }
  const Lines again = lines_of({"Derivative level 3"});
  const Lines expect2 = {" ", " ", " Calls to E04UEF", " ---------------", " ", "      Derivative level 3"};
  EXPECT_EQ(again, expect2);
}

TEST_F(E4Options, AFirstNolistWritesNothingUntilList) {
  const Lines out = lines_of({"Nolist", "Major iterations 7", "Co 1", "List", "Co 1", "Nolist", "Iters 9"});
  // "List" itself is not listed: it switches the listing on from the next line.
  const Lines expect = {"      Co 1", " XXX  Ambiguous keyword:              CO", "      Nolist"};
  EXPECT_EQ(out, expect);
  EXPECT_EQ(E4OPTS.inp(sl::kMajorIterations), 9);
}

TEST_F(E4Options, AnEmptyLineIsOneBlankRecord) {
  const Lines out = lines_of({"* only a comment", ""});
  const Lines expect = {" ", " ", " Calls to E04UEF", " ---------------", " ", "      * only a comment", " "};
  EXPECT_EQ(out, expect);
}

TEST_F(E4Options, OnlyTheFirst72CharactersOfALineCount) {
  // "5" in column 72, "0" in column 73: the value is 5, not 50.
  const std::string line = "Iters" + std::string(66, ' ') + "50";
  const Lines out = lines_of({line});
  EXPECT_EQ(out.back(), "      " + line.substr(0, 72));
  EXPECT_EQ(E4OPTS.inp(sl::kMajorIterations), 5);
}

TEST_F(E4Options, DefaultsDependOnTheProblemAndDoNotPersist) {
  set("Major print level 0");
  E4PRMS(2, 0, 0, " *** E04UCF");
  EXPECT_EQ(E4WORK.itmax1, 50);
  EXPECT_EQ(E4WORK.itmax2, 50);
  E4OPTS.restore_saved();
  EXPECT_EQ(E4OPTS.inp(sl::kMajorIterations), optim::kUnsetInt);
  E4PRMS(20, 0, 0, " *** E04UCF");
  EXPECT_EQ(E4WORK.itmax1, 60);
  EXPECT_EQ(E4WORK.itmax2, 60);
  E4OPTS.restore_saved();
  E4PRMS(5, 2, 3, " *** E04UCF");
  EXPECT_EQ(E4WORK.itmax1, 51);  // 3 (5 + 2) + 10 * 3
  EXPECT_EQ(E4WORK.itmax2, 50);
  E4OPTS.restore_saved();

  // A line's value persists from run to run.
  set("Major iterations 7");
  for (int run = 0; run < 2; ++run) {
    E4PRMS(20, 0, 0, " *** E04UCF");
    EXPECT_EQ(E4WORK.itmax1, 7);
    E4OPTS.restore_saved();
  }
  EXPECT_EQ(E4OPTS.inp(sl::kMajorIterations), 7);
  // Defaults clears every slot.
  set("Defaults");
  UnitCapture cap;
  E4PRMS(20, 0, 0, " *** E04UCF");
  EXPECT_EQ(E4WORK.itmax1, 60);
  EXPECT_EQ(E4WORK.msglvl, 10);
  E4OPTS.restore_saved();
}

TEST_F(E4Options, DefaultsReplaceUnsetAndInvalidValues) {
  const double eps = kEps;
  set("Major print level 0");
  E4PRMS(2, 0, 0, " *** E04UCF");
  const E4work& w = E4WORK;
  EXPECT_EQ(w.start, 0);
  EXPECT_EQ(w.lvlder, 3);
  EXPECT_EQ(w.hess, 0);
  EXPECT_EQ(w.msgqp, 0);
  EXPECT_EQ(w.verify, 0);
  EXPECT_EQ(w.ldbg, 51);  // no debug level: the limit + 1
  EXPECT_EQ(w.jobj1, 1);
  EXPECT_EQ(w.jobj2, 2);
  EXPECT_EQ(w.jcon1, 1);
  EXPECT_EQ(w.jcon2, 2);
  EXPECT_EQ(w.nlnx, 2);
  EXPECT_DOUBLE_EQ(w.tolact, 0.01);
  EXPECT_DOUBLE_EQ(w.tolfea, std::sqrt(eps));
  EXPECT_DOUBLE_EQ(w.tolnlf, std::sqrt(eps));  // derivative level 3
  EXPECT_DOUBLE_EQ(w.epsrf, std::pow(eps, 0.9));
  EXPECT_DOUBLE_EQ(w.ftol, std::pow(std::pow(eps, 0.9), 0.8));
  EXPECT_DOUBLE_EQ(w.bigbnd, 9.9999e9);
  EXPECT_DOUBLE_EQ(w.bigdx, 9.9999e9);
  EXPECT_DOUBLE_EQ(w.dxlim, 2.0);
  EXPECT_DOUBLE_EQ(w.eta, 0.9);
  EXPECT_DOUBLE_EQ(w.hcndbd, 1.0 / (100.0 * 2 * eps));
  EXPECT_EQ(w.dif_class, optim::kDifComputed);
  E4OPTS.restore_saved();

  // Values the defaults replace, and one that they keep.
  for (const char* line : {"Step limit 1E2E3", "Stop objective check at variable 0", "Derivative level 1",
                           "Infinite bound size 1e12", "Start 9", "Verify level 14", "Hot start"})
    set(line);
  UnitCapture cap;
  E4PRMS(3, 0, 0, " *** E04UCF");
  EXPECT_DOUBLE_EQ(w.dxlim, 2.0);
  EXPECT_EQ(w.jobj2, 0);
  EXPECT_EQ(w.jobj1, 1);
  EXPECT_DOUBLE_EQ(w.tolnlf, std::pow(eps, 0.33));  // derivative level 1
  EXPECT_DOUBLE_EQ(w.bigbnd, 1e12 * 0.99999);
  EXPECT_DOUBLE_EQ(w.bigdx, 9.9999e9);  // the smaller of the bound and 9.9999e9
  EXPECT_EQ(w.verify, 0);
  EXPECT_EQ(w.start, 1);  // hot without an earlier run: warm
  E4OPTS.restore_saved();
  E4OSTAT.had_run = true;
  E4PRMS(3, 0, 0, " *** E04UCF");
  EXPECT_EQ(w.start, 2);
  E4OPTS.restore_saved();
}

TEST_F(E4Options, DifferenceIntervalClasses) {
  const double eps = kEps;
  struct Case {
    const char* line;
    int cls;
  };
  const Case cases[] = {
      {"Difference interval 0", optim::kDifComputed},     {"Difference interval 1e-18", optim::kDifComputed},
      {"Difference interval 1", optim::kDifComputed},     {"Difference interval 2", optim::kDifComputed},
      {"Difference interval 1e-5", optim::kDifFixed},     {"Difference interval -1", optim::kDifUser},
      {"Major print level 0", optim::kDifComputed},
  };
  for (const Case& c : cases) {
    fresh();
    set(c.line);
    UnitCapture cap;
    E4PRMS(2, 0, 0, " *** E04UCF");
    EXPECT_EQ(E4WORK.dif_class, c.cls) << c.line;
    if (c.cls == optim::kDifFixed) {
      EXPECT_DOUBLE_EQ(E4WORK.fdint, 1e-5);
      EXPECT_DOUBLE_EQ(E4WORK.cdint, std::pow(std::pow(eps, 0.9), 0.33));
    }
    E4OPTS.restore_saved();
  }
}

// The Parameters table with the defaults for N = 2, one linear and one
// nonlinear constraint.  Values: eps = 2^-56, sqrt(eps) = 3.73e-9,
// eps^0.9 = 6.73e-16, (eps^0.9)^0.8 = 7.29e-13 (closed forms).
TEST_F(E4Options, ParametersTableGolden) {
  UnitCapture cap;
  E4PRMS(2, 1, 1, " *** E04UCF");
  E4OPTS.restore_saved();
  const Lines expect = {
      " ",
      " *** E04UCF",
      " *** Numerical Library implementation ***",
      "     DEC VAX range (VAX/VMS)",
      "     C++20 implementation, double precision",
      "     (Implementation code QVNUM14D)",
      "     Level 14B",
      " ",
      " Parameters",
      " ----------",
      " ",
      " Linear constraints.....         1       Linear feasibility.....  3.73D-09",
      " Variables..............         2       Crash tolerance........  1.00D-02",
      " ",
      " Infinite bound size....  1.00D+10       Cold start.............",
      " Infinite step size.....  1.00D+10       EPS (machine precision)  1.39D-17",
      " Step limit.............  2.00D+00",
      " ",
      " Nonlinear constraints..         1       Nonlinear feasibility..  3.73D-09",
      " Nonlinear objectiv vars         2       Optimality tolerance...  7.29D-13",
      " Nonlinear Jacobian vars         2       Linesearch tolerance...  9.00D-01",
      " ",
      " Derivative level.......         3       Function precision.....  6.73D-16",
      " Verify level...........         0",
      " ",
      " Major iterations limit.        50       Major print level......        10",
      " Minor iterations limit.        50       Minor print level......         0",
  };
  EXPECT_EQ(cap.lines(), expect);
}

TEST_F(E4Options, DifferenceRowsOfTheTable) {
  struct Case {
    const char* line;
    Lines tail;
  };
  const Case cases[] = {
      {"Derivative level 0", {" ", " Difference intervals to be computed."}},
      {"Difference interval 1e-5",
       {" ", " Difference interval....  1.00D-05       Central diffce interval  9.85D-06"}},
      {"Difference interval -1", {" ", " User-supplied difference intervals."}},
  };
  for (const Case& c : cases) {
    fresh();
    set("Derivative level 2");
    set(c.line);
    UnitCapture cap;
    E4PRMS(2, 0, 0, " *** E04UCF");
    E4OPTS.restore_saved();
    const Lines out = cap.lines();
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(Lines(out.end() - 2, out.end()), c.tail) << c.line;
  }
}

TEST_F(E4Options, TheBannerIsFiveRecords) {
  UnitCapture cap;
  E4BANR();
  EXPECT_EQ(cap.lines().size(), 5u);
}

TEST_F(E4Options, TheOptimizersCellsAreUntouched) {
  for (const char* line : {"Major iterations 7", "Infinite bound 1e5", "Defaults", "Iters 3"}) set(line);
  UnitCapture cap;
  E4PRMS(4, 0, 0, " *** E04UCF");
  optim::Npopts fresh_blocks;
  EXPECT_EQ(optim::NPOPTS.iprmnp, fresh_blocks.iprmnp);
  EXPECT_EQ(optim::NPOPTS.rprmls, fresh_blocks.rprmls);
  EXPECT_TRUE(optim::NPOSTAT.newopt);
  EXPECT_TRUE(optim::NPOSTAT.parser_first);
  E4OPTS.restore_saved();
}

TEST(E4Workspace, LaysOutAsTheOptimizerInItsOwnCells) {
  const int sizes[][3] = {{1, 0, 0}, {3, 0, 0}, {3, 2, 0}, {3, 0, 2}, {4, 1, 3}};
  for (const auto& s : sizes) {
    const int n = s[0], nclin = s[1], nnlcon = s[2], nctotl = n + nclin + nnlcon;
    optim::NPWLOC.reset();
    E4WLOC.reset();
    int li = 0, lw = 0;
    E4WKSP(n, nclin, nnlcon, nctotl, li, lw);
    EXPECT_EQ(optim::NPWLOC.grad, 0);  // the optimizer's cells stay as they were
    int li2 = 0, lw2 = 0;
    optim::NPWKSP(n, nclin, nnlcon, nctotl, li2, lw2);
    EXPECT_EQ(li, li2);
    EXPECT_EQ(lw, lw2);
    EXPECT_EQ(E4WLOC.grad, optim::NPWLOC.grad);
    EXPECT_EQ(E4WLOC.cjac, optim::NPWLOC.cjac);
    EXPECT_EQ(E4WLOC.ax, optim::NPWLOC.ax);
    EXPECT_EQ(E4WLOC.iperm, optim::NPWLOC.iperm);
    // The lengths of the calling contract.
    const int m = nnlcon, ml = nclin;
    int need = 20 * n + 11 * ml + 21 * m + m * n;
    if (ml + m > 0) need += 2 * n * n;
    if (m > 0) need += (ml + m) * n;
    EXPECT_EQ(lw, need);
    EXPECT_EQ(li, 2 * n + m + nctotl);
  }
  optim::NPWLOC.reset();
  E4WLOC.reset();
}

}  // namespace
}  // namespace qv::optim_alt
