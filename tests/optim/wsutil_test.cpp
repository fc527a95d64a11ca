// Working-set utilities: the permutation check, the input check, the step to
// the nearest constraint and the solution table.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "optim/wsutil.hpp"
#include "runtime/units.hpp"

namespace qv::optim {
namespace {

// The print file on unit 9, connected to a temporary file read back by the
// tests.
class WsutilTest : public ::testing::Test {
 protected:
  static constexpr int kUnit = 9;
  void SetUp() override {
    LSPRNT.reset();
    LSPRNT.iprint = kUnit;
    path_ = (std::filesystem::temp_directory_path() / ("qv_wsutil_" + std::to_string(::getpid()) + ".txt")).string();
    open();
  }
  void TearDown() override {
    runtime::close_unit(kUnit, "DELETE");
    LSPRNT.reset();
  }
  void open() {
    runtime::OpenSpec spec;
    spec.file = path_;
    spec.status = "REPLACE";
    runtime::open_unit(kUnit, spec);
  }
  std::vector<std::string> printed() {
    runtime::close_unit(kUnit);
    std::vector<std::string> lines;
    std::ifstream in(path_);
    for (std::string s; std::getline(in, s);) lines.push_back(s);
    open();
    return lines;
  }
  std::string path_;
};

struct PermCase {
  std::vector<int> kx;
  int m1, m2;
  int inform;
  std::vector<std::string> lines;
};

TEST_F(WsutilTest, CmpermReportsAndRestores) {
  const std::vector<PermCase> cases = {
      {{2, 3, 1}, 1, 3, 0, {}},
      {{1, 2, 3, 4}, 2, 3, 0, {}},
      {{2, 2, 3}, 1, 3, 3, {"", " XXX  kx contains a duplicate value =               2"}},
      {{3, 1, 3, 5}, 1, 4, 2, {"", " XXX  kx(     4) contains an out-of-range value =               5"}},
      {{1, 0, 2}, 1, 3, 2, {"", " XXX  kx(     2) contains an out-of-range value =               0"}},
      {{1, 2}, 0, 2, 1, {}},
      {{1, 2}, 2, 1, 1, {}},
  };
  for (const PermCase& c : cases) {
    std::vector<int> kx = c.kx;
    int inform = -1;
    cmperm(kx, c.m1, c.m2, inform);
    EXPECT_EQ(inform, c.inform);
    EXPECT_EQ(kx, c.kx) << "kx restored";
    EXPECT_EQ(printed(), c.lines);
  }
}

TEST_F(WsutilTest, CmpermTraceOfABadRange) {
  LSPRNT.trace = true;
  std::vector<int> kx = {1, 2};
  int inform = 0;
  cmperm(kx, 3, 1, inform);
  EXPECT_EQ(inform, 1);
  EXPECT_EQ(printed(), (std::vector<std::string>{"", " //cmperm//  Illegal parameter values,", " //cmperm//    m1    m1",
                                                 " //cmperm//     3     1"}));
}

TEST_F(WsutilTest, ChkinpMessages) {
  const double big = 1e20;
  // Two variables, one linear and one nonlinear constraint.
  struct Case {
    const char* name;
    int lprint, start;
    bool checkkx;
    int liw, lw;
    std::vector<int> kx;
    std::vector<int> istate;
    std::vector<double> bl, bu;
    bool named;
    int nerror;
    std::vector<std::string> lines;
  };
  const std::vector<std::string> names = {"ALPHA   ", "BETA    ", "LIN1    ", "NONLIN1 "};  // 8-character names
  const std::vector<Case> cases = {
      {"all good, silent", 0, 0, true, 10, 100, {1, 2}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}, false, 0, {}},
      {"all good, workspace shown", 1, 0, true, 10, 100, {2, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}, false, 0,
       {"", " Workspace provided is     iw(      10),  w(     100).",
        " To solve problem we need  iw(       8),  w(      50)."}},
      {"short workspace", 0, 0, false, 7, 100, {1, 2}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}, false, 1,
       {"", " Workspace provided is     iw(       7),  w(     100).",
        " To solve problem we need  iw(       8),  w(      50).", "", " XXX  Not enough workspace to solve problem."}},
      {"bad permutation", 0, 0, true, 10, 100, {2, 2}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}, false, 1,
       {"", " XXX  kx contains a duplicate value =               2", "",
        " XXX  kx has not been supplied as a valid  permutation."}},
      {"bounds, unnamed", 0, 0, false, 10, 100, {1, 2}, {0, 0, 0, 0}, {2, 0, big, 0}, {1, 1, big, 1}, false, 2,
       {"", " XXX  The bounds on  varbl  1  are inconsistent.   bl =    2.000000       bu =    1.000000    ",
        "", " XXX  The equal bounds on  lncon  1  are infinite.   Bounds =   0.1000000E+21  bigbnd =   0.1000000E+21"}},
      {"bounds, named", 0, 0, false, 10, 100, {1, 2}, {0, 0, 0, 0}, {0, 0, 0, -big}, {1, 1, 1, -big}, true, 1,
       {"", " XXX  The equal bounds on  NONLIN1   are infinite.   Bounds =  -0.1000000E+21  bigbnd =   0.1000000E+21"}},
      {"warm start states", 0, 1, false, 10, 100, {1, 2}, {0, 5, -3, 4}, {0, 0, 0, 0}, {1, 1, 1, 1}, false, 2,
       {"", " XXX  Component    2  of  istate  is out of range...         5", "",
        " XXX  Component    3  of  istate  is out of range...        -3"}},
      {"cold start ignores states", 0, 0, false, 10, 100, {1, 2}, {0, 5, -3, 4}, {0, 0, 0, 0}, {1, 1, 1, 1}, false,
       0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> kx = c.kx;
    int nerror = -1;
    CHKINP(nerror, c.lprint, c.start, c.checkkx, c.liw, c.lw, 8, 50, 2, 1, 1, c.istate, kx, c.named, names, big,
           c.bl, c.bu);
    EXPECT_EQ(nerror, c.nerror);
    EXPECT_EQ(kx, c.kx);
    EXPECT_EQ(printed(), c.lines);
  }
}

TEST_F(WsutilTest, PrsolnTableLayouts) {
  // Reference records: gfortran 12 running the same FORMAT statements on the
  // same values.  Rows: x1 with both bounds, x2 with a lower bound only, a
  // linear row with an upper bound only, a nonlinear row with neither.
  const std::vector<std::string> named_table = {
      "",
      "",
      " Variable        State      Value       Lower bound     Upper bound  Lagr multiplier     Residual",
      "",
      " X1                fr    1.500000        0.000000        2.000000        0.000000          0.5000    ",
      " X2                ll   -2.000000       -3.000000          None         -1.250000           1.000    ",
      "",
      "",
      " Linear constr   State      Value       Lower bound     Upper bound  Lagr multiplier     Residual",
      "",
      " LIN1              ul   -2.500000          None          1.000000       0.5000000           3.500    ",
      "",
      "",
      " Nonlnr constr   State      Value       Lower bound     Upper bound  Lagr multiplier     Residual",
      "",
      " NL1               ++   0.7500000          None            None          0.000000          0.1000E+21"};
  const std::vector<std::string> unnamed_table = {
      "",
      "",
      " Variable        State      Value       Lower bound     Upper bound  Lagr multiplier     Residual",
      "",
      " varbl  1          fr    1.500000        0.000000        2.000000        0.000000          0.5000    ",
      " varbl  2          ll   -2.000000       -3.000000          None         -1.250000           1.000    ",
      "",
      "",
      " Linear constr   State      Value       Lower bound     Upper bound  Lagr multiplier     Residual",
      "",
      " lncon  1          ul   -2.500000          None          1.000000       0.5000000           3.500    ",
      "",
      "",
      " Nonlnr constr   State      Value       Lower bound     Upper bound  Lagr multiplier     Residual",
      "",
      " nlcon  1          ++   0.7500000          None            None          0.000000          0.1000E+21"};
  const double big = 1e20;
  const std::vector<std::string> names = {"X1      ", "X2      ", "LIN1    ", "NL1     "};
  const std::vector<int> istate = {0, 1, 2, -1};
  const std::vector<int> wslist = {1};
  const std::vector<int> kx = {1, 2};
  const std::vector<double> a = {1.0, 2.0};
  const std::vector<double> bl = {0, -3, -big, -big}, bu = {2, big, 1, big};
  const std::vector<double> c = {0.75}, rlamda = {0.5, -1.25}, x = {1.5, -2.0};
  struct Case {
    int lprint;
    bool named;
    const std::vector<std::string>* lines;
  };
  const std::vector<std::string> none;
  const Case cases[] = {{1, true, &named_table},  {1, false, &unnamed_table}, {5, true, &none},
                        {9, false, &none},        {10, true, &named_table},  {10, false, &unnamed_table},
                        {2, false, &none},        {20, false, &unnamed_table}};
  for (const Case& cs : cases) {
    SCOPED_TRACE(::testing::Message() << "print level " << cs.lprint << (cs.named ? " named" : " unnamed"));
    std::vector<double> mult(4, 99.0);
    PRSOLN(cs.lprint, 1, 1, 2, 1, 4, big, cs.named, names, 1, istate, wslist, kx, a, bl, bu, c, mult, rlamda, x);
    EXPECT_EQ(mult, (std::vector<double>{0.0, -1.25, 0.5, 0.0}));
    EXPECT_EQ(printed(), *cs.lines);
  }
  // Without a print file only the multipliers are formed.
  LSPRNT.iprint = 0;
  std::vector<double> mult(4, 99.0);
  PRSOLN(10, 1, 1, 2, 1, 4, big, false, names, 1, istate, wslist, kx, a, bl, bu, c, mult, rlamda, x);
  EXPECT_EQ(mult, (std::vector<double>{0.0, -1.25, 0.5, 0.0}));
  EXPECT_TRUE(printed().empty());
}

struct AlfCase {
  const char* name;
  std::vector<double> x, p, bl, bu, featol;  // 2 variables, then the rows
  std::vector<double> ax, ap;                // rows
  std::vector<int> istate;
  int ninf;
  bool firstv;
  int inform, jadd;
  double alfa;
  bool hitslow;
};

TEST_F(WsutilTest, CmalfStepToTheNearestConstraint) {
  LSPRNT.iprint = 0;
  const double big = 1e20, alfabig = 1e10;
  // Closed forms: the step to row j is (bound - value)/rate.
  const std::vector<AlfCase> cases = {
      // x2's upper bound is 1e-3 away, but p(2) is far below eps^0.9 |p|:
      // the row counts as parallel and x1's upper bound (2) is hit.
      {"parallel row skipped", {0, 0}, {1, 1e-30}, {-big, -big}, {2, 1e-3}, {1e-9, 1e-9}, {}, {}, {0, 0}, 0, false, 0,
       1, 2.0, false},
      // Row 1 is reached at 1, row 2 at 1.00000001, within the relaxed step
      // of row 1 (1 + 1e-6): row 2 has the larger pivot (10 against 1).
      {"largest pivot within palfa1", {0, 0}, {1, 0}, {-big, -big, -big, -big}, {big, big, 1.0, 10.0000001},
       {1e-6, 1e-6, 1e-6, 1e-6}, {0, 0}, {1, 10}, {0, 0, 0, 0}, 0, false, 0, 4, 1.00000001, false},
      // Moving down onto a lower bound: hitslow.
      {"lower bound", {3, 0}, {-2, 0}, {1, -big}, {big, big}, {1e-9, 1e-9}, {}, {}, {0, 0}, 0, false, 0, 1, 1.0, true},
      // x1 already 1e-7 beyond its upper bound (within featol would be
      // 1e-9): the step is negative, limited along -p by row 1 (5.1e-8).
      {"negative step", {1.0000001, 0}, {1, 0}, {-big, -big, -big}, {1, big, 5e-8}, {1e-9, 1e-9, 1e-9}, {0}, {-1},
       {0, 0, 0}, 0, false, 0, 1, -5.1e-8, false},
      {"unbounded", {0, 0}, {1, -1}, {-big, -big}, {big, big}, {1e-9, 1e-9}, {}, {}, {0, 0}, 0, false, 3, 0, 1e10,
       false},
  };
  for (const AlfCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = 2;
    const int nctotl = static_cast<int>(c.istate.size());
    std::vector<double> rownorm(c.ax.size(), 1.0);
    double dirnorm = 0.0;
    for (double v : c.p) dirnorm += v * v;
    dirnorm = std::sqrt(dirnorm);
    bool hitslow = !c.hitslow;
    int inform = -1, jadd = -1;
    double alfa = 0, palfa = 0, arowphit = 0;
    cmalf(c.firstv, hitslow, c.istate, inform, jadd, n, nctotl, c.ninf, alfa, palfa, arowphit, alfabig, big, dirnorm,
          rownorm, c.ap, c.ax, c.bl, c.bu, c.featol, c.p, c.x);
    EXPECT_EQ(inform, c.inform);
    EXPECT_EQ(jadd, c.jadd);
    EXPECT_NEAR(alfa, c.alfa, 1e-15 * std::max(1.0, std::abs(c.alfa)));
    if (jadd > 0) {
      EXPECT_EQ(hitslow, c.hitslow);
    }
  }
}

}  // namespace
}  // namespace qv::optim
