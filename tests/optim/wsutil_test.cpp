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

}  // namespace
}  // namespace qv::optim
