#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim_alt/iterlog.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;
using Lines = std::vector<std::string>;

// A problem of 3 variables, 1 linear and (optionally) 1 nonlinear
// constraint, with T's and R's diagonals 2.0 and 3.0, 4.0, 5.0.
struct LogFixture {
  int nnlcon;
  std::vector<int> istate{1, 0, 2, 3, 0};
  std::vector<double> x{1.5, -2.25, 1e-3}, ax{0.5}, c{-1.25};
  std::vector<double> t{0, 0, 0, 2.0, 0, 0, 0, 0, 0};  // T(1, nfree) with nfree = 2
  std::vector<double> r{3.0, 0, 0, 0, 4.0, 0, 0, 0, 5.0};
  E4logline line;
  E4logdetail d;

  explicit LogFixture(int m) : nnlcon(m) {
    line.majits = 0;
    line.minits = 3;
    line.step = 0.5;
    line.nfun = 7;
    line.merit = -12.345678;
    line.nactiv = 1 + m;
    line.nlnact = m;
    line.nfree = 2;
    line.nz = 1;
    line.gfnorm = 1.25e-3;
    line.gznorm = 4.5e-7;
    line.condh = 1.0;
    line.condhz = 2.6e3;
    line.condt = 12.0;
    line.cvnorm = 3.25e-9;
    line.penalty = 0.75;
    line.convpt = false;
    line.ktcond[0] = true;
    line.ktcond[1] = true;
    line.objf = -12.345678;
    d.n = 3;
    d.nclin = 1;
    d.nnlcon = m;
    d.istate = std::span<const int>(istate.data(), static_cast<std::size_t>(4 + m));
    d.x = x;
    d.ax = ax;
    d.c = std::span<const double>(c.data(), static_cast<std::size_t>(m));
    d.t = runtime::Mat1<const double>(std::span<const double>(t), 3);
    d.r = runtime::Mat1<const double>(std::span<const double>(r), 3);
  }
  Lines log(int msglvl, int msgqp, std::string& flags) {
    UnitCapture cap;
    E4PRIT(msglvl, msgqp, line, d, flags);
    return cap.lines();
  }
};

TEST(E4PRIT, PrintLevelTenWritesTheHeaderAtIterationZeroAndOneLine) {
  LogFixture f(0);
  std::string flags = "MIClr";
  EXPECT_EQ(f.log(10, 0, flags),
            (Lines{" ", " ",
                   "  Itn ItQP     Step Nfun   Objective Bnd Lin  Nz  Norm Gf  Norm Gz  Cond H Cond Hz  Cond T Conv",
                   "    0    3  5.0D-01    7 -1.2346D+01   1   1   1  1.3D-03  4.5D-07  1.D+00  3.D+03  1.D+01 F TTMIC"}));
  EXPECT_EQ(flags, "  C  ");
}

TEST(E4PRIT, LaterLinesHaveNoHeaderUnlessTheMinorPrintLevelIsPositive) {
  LogFixture f(0);
  f.line.majits = 12;
  std::string flags = "  C  ";
  EXPECT_EQ(f.log(10, 0, flags),
            (Lines{"   12    3  5.0D-01    7 -1.2346D+01   1   1   1  1.3D-03  4.5D-07  1.D+00  3.D+03  1.D+01 F TT  C"}));
  EXPECT_EQ(f.log(5, 1, flags).size(), 4u);
  EXPECT_TRUE(f.log(4, 1, flags).empty());
  EXPECT_EQ(flags, "  C  ");
}

TEST(E4PRIT, NonlinearConstraintsAddTheirColumns) {
  LogFixture f(1);
  std::string flags = "     ";
  EXPECT_EQ(f.log(10, 0, flags),
            (Lines{" ", " ",
                   "  Itn ItQP     Step Nfun       Merit Bnd Lin Nln  Nz  Norm Gf  Norm Gz  Cond H Cond Hz  Cond T   "
                   "Norm C  Penalty Conv",
                   "    0    3  5.0D-01    7 -1.2346D+01   1   1   1   1  1.3D-03  4.5D-07  1.D+00  3.D+03  1.D+01  "
                   "3.3D-09  7.5D-01 F TT"}));
}

TEST(E4PRIT, PrintLevelTwentyAddsTheIterationHeadingAndTheValues) {
  LogFixture f(1);
  f.line.majits = 2;
  std::string flags = "     ";
  EXPECT_EQ(f.log(20, 0, flags),
            (Lines{" ", " ", " Major iteration    2", " ====================",
                   "    2    3  5.0D-01    7 -1.2346D+01   1   1   1   1  1.3D-03  4.5D-07  1.D+00  3.D+03  1.D+01  "
                   "3.3D-09  7.5D-01 F TT",
                   " Nonlinear objective value =   -1.234568D+01   Norm of the nonlinear constraint violations =    "
                   "3.250000D-09",
                   " Values of the constraints and their predicted status",
                   " ----------------------------------------------------",
                   " Variables",
                   "    1.500000D+00   1  -2.250000D+00   0   1.000000D-03   2",
                   " General linear constraints",
                   "    5.000000D-01   3",
                   " Nonlinear constraints",
                   "   -1.250000D+00   0",
                   " " + std::string(89, '='), " ", " "}));
}

TEST(E4PRIT, PrintLevelThirtyAddsTheDiagonalsOfTAndR) {
  LogFixture f(0);
  f.line.majits = 1;
  std::string flags = "     ";
  const Lines got = f.log(30, 0, flags);
  ASSERT_GE(got.size(), 8u);
  EXPECT_EQ(got[5], " Nonlinear objective value =   -1.234568D+01");
  const Lines tail(got.end() - 8, got.end());
  EXPECT_EQ(tail, (Lines{"    5.000000D-01   3", " Diagonals of  T  =", "   2.000000D+00", " Diagonals of  R  =",
                         "   3.000000D+00   4.000000D+00   5.000000D+00", " " + std::string(89, '='), " ", " "}))
      << got.size();
}

}  // namespace
}  // namespace qv::optim_alt
