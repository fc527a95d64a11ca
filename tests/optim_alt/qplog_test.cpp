// The records of the edition's QP routines: the iteration log, the exit
// line and the final table at each print level, the debug traces, the final
// table's layouts and the input check's messages.  The goldens prove the
// layout; the numbers of the fixture are a closed form:
//
//   min 1/2|x|^2 - 3 x1 - 3 x2,  x2 <= 1,  x1 + 2 x2 <= 4,  2 x1 + x2 <= 4
//
// has its minimum at (1.5, 1) on x2 <= 1 and the second row, where
// x - (3, 3) = (-1.5, -2) = -0.75 (2, 1) - 1.25 (0, 1): multipliers -0.75
// and -1.25, objective -7.5 + 1.625 = -5.875.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim_alt/qp_fixture.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;
using test::kInf;
using test::QpOutcome;
using test::QpProblem;
using test::solve_qp;

std::vector<std::string> golden(const std::string& name) {
  const std::filesystem::path dir = std::filesystem::path(__FILE__).parent_path() / "golden";
  std::ifstream in(dir / name);
  std::vector<std::string> out;
  for (std::string s; std::getline(in, s);) out.push_back(s);
  return out;
}

QpProblem vertex_problem(int msglvl, bool debug) {
  QpProblem p;
  p.n = 2;
  p.nclin = 2;
  p.a = {1, 2, 2, 1};
  p.bl = {-kInf, -kInf, -kInf, -kInf};
  p.bu = {kInf, 1, 4, 4};
  p.c = {-3, -3};
  p.x = {0, 0};
  p.msglvl = msglvl;
  p.debug = debug;
  return p;
}

TEST(E04NCZ, LogExitLineAndTableAtEachPrintLevelMatchTheGoldens) {
  struct Case {
    int msglvl;
    bool debug;
    const char* file;
  };
  const Case cases[] = {
      {5, false, "qp_vertex_print5.txt"},    // heading once, lines, exit line
      {10, false, "qp_vertex_print10.txt"},  // and the final table
      {15, false, "qp_vertex_print15.txt"},  // iteration heading and column heading on every line
      {20, false, "qp_vertex_print20.txt"},  // constraint status and multipliers
      {30, false, "qp_vertex_print30.txt"},  // diagonals of T and R
      {0, true, "qp_vertex_debug.txt"},      // traces alone
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.file);
    UnitCapture cap;
    const QpOutcome r = solve_qp(vertex_problem(k.msglvl, k.debug));
    EXPECT_EQ(r.inform, 0);
    EXPECT_NEAR(r.x[0], 1.5, 1e-14);
    EXPECT_NEAR(r.x[1], 1.0, 1e-14);
    EXPECT_NEAR(r.objective, -5.875, 1e-14);
    EXPECT_NEAR(r.mult[1], -1.25, 1e-14);
    EXPECT_NEAR(r.mult[3], -0.75, 1e-14);
    EXPECT_EQ(cap.lines(), golden(k.file));
  }
}

TEST(E4LSPR, KindLettersAndTheRankColumn) {
  E4lsline line;
  line.iter = 7;
  line.jdel = -3;  // an artificial constraint: its column with Z
  line.jadd = 5;
  line.kadd = 3;   // an equality
  line.alfa = 0.5;
  line.obj = 2.0;
  line.nZ = 1;
  std::vector<int> istate(2, 0);
  std::vector<double> x(2, 0.0), none;
  {
    UnitCapture cap;
    E4LSPR("QP", false, line, 5, 2, 0, 2, 0, 1, 2, istate, x, none, none, std::vector<double>(4, 1.0));
    const std::vector<std::string> want = {
        "    7    3Z    5E  5.0D-01    0    2.000000D+00    0    0     1     0  0.00D+00  0.00D+00  0.0D+00"};
    EXPECT_EQ(cap.lines(), want);
  }
  {
    UnitCapture cap;
    line.jdel = 4;
    line.kdel = 2;
    E4LSPR("FP", false, line, 4, 2, 0, 2, 0, 1, 2, istate, x, none, none, std::vector<double>(4, 1.0));
    EXPECT_TRUE(cap.lines().empty()) << "print level 4 writes no log";
  }
}

// Rows: x1 in [-1, 2] (LL), x2 >= 0 (FR, no upper bound), x3 <= 5 (UL, no
// lower bound), x4 free (TB), the row x1 + x2 = 3 (EQ), a nonlinear row
// with no bounds violated below (--).
TEST(E4PRSL, SpreadsTheMultipliersAndLaysOutEveryKindOfRow) {
  const int n = 4, nclin = 1, nctotl = 6;
  const std::vector<double> a = {1, 1, 0, 0};
  const std::vector<double> bl = {-1, 0, -kInf, -kInf, 3, 1}, bu = {2, kInf, 5, kInf, 3, kInf};
  const std::vector<double> x = {-1, 4, 5, 0.25}, c = {0.5};
  const std::vector<int> istate = {1, 0, 2, 4, 3, -2};
  // Working set: the row, then the fixed variables x1, x3, x4 behind x2.
  const std::vector<int> wslist = {1}, kx = {2, 1, 3, 4};
  const std::vector<double> rlamda = {0.5, 1.5, -2.0, 0.0};
  std::vector<double> mult(nctotl, 9.0);
  {
    UnitCapture cap;
    E4PRSL(10, 1, 1, n, nclin, nctotl, 1e20, false, {}, 1, istate, wslist, kx, a, bl, bu, c, mult, rlamda, x);
    const std::vector<std::string> want = {
        " ",
        " ",
        " Varbl State     Value     Lower Bound   Upper Bound    Lagr Mult   Residual",
        " ",
        " V  1   LL  -1.00000      -1.00000       2.00000       1.500       0.000",
        " V  2   FR   4.00000       0.00000              None   0.000       4.000",
        " V  3   UL   5.00000              None   5.00000      -2.000       0.000",
        " V  4   TB  0.250000              None          None   0.000      1.0000E+20",
        " ",
        " ",
        " L Con State     Value     Lower Bound   Upper Bound    Lagr Mult   Residual",
        " ",
        " L  1   EQ   3.00000       3.00000       3.00000      0.5000       0.000",
        " ",
        " ",
        " N Con State     Value     Lower Bound   Upper Bound    Lagr Mult   Residual",
        " ",
        " N  1   --  0.500000       1.00000              None   0.000     -0.5000",
    };
    EXPECT_EQ(cap.lines(), want);
  }
  EXPECT_EQ(mult, (std::vector<double>{1.5, 0.0, -2.0, 0.0, 0.5, 0.0}));

  // Named rows: the first four characters of the name; a row without an
  // upper bound has its multiplier and residual in the wider fields.
  const std::vector<std::string> names = {"ALPHA123", "BETA", "GAMMA", "DELTA", "ROWONE", "NONLIN"};
  {
    UnitCapture cap;
    E4PRSL(1, 1, 1, n, nclin, nctotl, 1e20, true, names, 1, istate, wslist, kx, a, bl, bu, c, mult, rlamda, x);
    const std::vector<std::string> lines = cap.lines();
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[4], " ALPH   LL  -1.00000      -1.00000       2.00000       1.500       0.000");
    EXPECT_EQ(lines[5], " BETA   FR   4.00000       0.00000              None   0.00000       4.00000");
    EXPECT_EQ(lines[17], " NONL   --  0.500000       1.00000              None   0.00000     -0.500000");
  }
  {
    UnitCapture cap;
    E4PRSL(5, 1, 1, n, nclin, nctotl, 1e20, false, {}, 1, istate, wslist, kx, a, bl, bu, c, mult, rlamda, x);
    EXPECT_TRUE(cap.lines().empty()) << "print level 5 prints no table";
  }
}

TEST(E4CHKI, CountsAndReportsEachInputError) {
  const std::vector<std::string> names = {"X1", "X2", "ROW1", "NLROW1"};
  struct Case {
    const char* name;
    int msglvl;
    bool cold, userkx, named;
    int liwork, lwork;
    std::vector<int> kx, istate;
    std::vector<double> bl, bu;
    int nerror;
    std::vector<std::string> lines;
  };
  const std::vector<double> bl = {0, 0, 0, 0}, bu = {1, 1, 1, 1};
  const Case cases[] = {
      {"all well, print level 0", 0, true, false, false, 10, 20, {1, 2}, {0, 0, 0, 0}, bl, bu, 0, {}},
      {"all well, print level 1: the workspace lines alone", 1, true, false, false, 10, 20, {1, 2}, {0, 0, 0, 0},
       bl, bu, 0,
       {" ", " Workspace provided is     IW(    10),  W(    20).", " To solve problem we need  IW(    10),  W(    20)."}},
      {"short workspace", 0, true, false, false, 9, 20, {1, 2}, {0, 0, 0, 0}, bl, bu, 1,
       {" ", " Workspace provided is     IW(     9),  W(    20).", " To solve problem we need  IW(    10),  W(    20).",
        " ", " XXX  Not enough workspace to solve problem."}},
      {"short workspace at a negative print level: counted, not written", -1, true, false, false, 10, 19, {1, 2},
       {0, 0, 0, 0}, bl, bu, 1, {}},
      {"kx with a duplicate", 0, true, true, false, 10, 20, {2, 2}, {0, 0, 0, 0}, bl, bu, 1,
       {" ", " XXX  KX has not been supplied as a valid  permutation."}},
      {"kx not checked when not supplied", 0, true, false, false, 10, 20, {2, 2}, {0, 0, 0, 0}, bl, bu, 0, {}},
      {"inconsistent bounds even at print level -1", -1, true, false, false, 10, 20, {1, 2}, {0, 0, 0, 0},
       {0, 0, 2, 0}, {1, 1, 1, -1.5}, 2,
       {" ", " XXX  The bounds on  LNCON  1  are inconsistent.", "BL =    2.000000       BU =    1.000000",
        " ", " XXX  The bounds on  NLCON  1  are inconsistent.", "BL =    0.000000       BU =   -1.500000"}},
      {"inconsistent bounds of a named row", 0, true, false, true, 10, 20, {1, 2}, {0, 0, 0, 0}, {0, 3, 0, 0},
       {1, 1, 1, 1}, 1,
       {" ", " XXX  The bounds on  X2        are inconsistent.", "BL =    3.000000       BU =    1.000000"}},
      {"states out of range on a warm start", 0, false, false, false, 10, 20, {1, 2}, {5, 0, -3, 4}, bl, bu, 2,
       {" ", " XXX  Component    1  of  ISTATE  is out of range...         5", " ",
        " XXX  Component    3  of  ISTATE  is out of range...        -3"}},
      {"states ignored on a cold start", 0, true, false, false, 10, 20, {1, 2}, {5, 0, -3, 4}, bl, bu, 0, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<int> kx = k.kx;
    int nerror = -1;
    UnitCapture cap;
    E4CHKI(nerror, k.msglvl, k.cold, k.userkx, k.liwork, k.lwork, 10, 20, 2, 1, 1, k.istate, kx, k.named, names, k.bl,
           k.bu);
    EXPECT_EQ(nerror, k.nerror);
    EXPECT_EQ(cap.lines(), k.lines);
    EXPECT_EQ(kx, k.kx) << "kx is left as it came";
  }
}

}  // namespace
}  // namespace qv::optim_alt
