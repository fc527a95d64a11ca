#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim/npwset.hpp"
#include "optim_alt/nlwset.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;
using Lines = std::vector<std::string>;

// Two variables (x1 fixed at its upper bound), one linear and three
// nonlinear rows: c1 at its lower bound, c2 near its upper bound, c3 an
// equality.
struct Rows {
  int n = 2, nclin = 1, nnlcon = 3, nctotl = 6;
  std::vector<double> bl{-1.0, -5.0, 0.0, 1.0, -10.0, 2.0}, bu{1.0, 5.0, 4.0, 10.0, 3.0, 2.0};
  std::vector<double> x{1.0, 0.5}, ax{1.5}, c{1.0, 2.999, 2.5}, featol{1e-8, 1e-8, 1e-8, 1e-6, 1e-6, 1e-6};
  std::vector<int> istate{2, 0, 0, 0, 0, 0}, wslist{0, 0};
};

TEST(E04UCS, ChoosesTheTwinsWorkingSetAndTracesIt) {
  Rows a, b;
  int nactivA = 0, nzA = 0, nactivB = 0, nzB = 0;
  optim::npcrsh(true, a.n, a.nclin, a.nnlcon, a.nctotl, nactivA, 1, nzA, a.istate, a.wslist, 1e10, 0.01, a.bl, a.bu,
                a.c, 0);
  UnitCapture cap;
  E04UCS(true, b.n, b.nclin, b.nnlcon, b.nctotl, nactivB, 1, nzB, b.istate, b.wslist, 1e10, 0.01, b.bl, b.bu, b.c,
         true);
  EXPECT_EQ(nactivA, nactivB);
  EXPECT_EQ(nzA, nzB);
  EXPECT_EQ(a.istate, b.istate);
  EXPECT_EQ(a.wslist, b.wslist);
  // One row of room (n - nfixed = 1): the equality c3 (row 4 of the list) takes it.
  EXPECT_EQ(nactivB, 1);
  EXPECT_EQ(b.wslist[0], 4);
  EXPECT_EQ(cap.lines(), (Lines{" ", " //E04UCS//  Working set selected....", " //E04UCS// NFIXED LINACT NLNACT",
                                " //E04UCS//      1      0      1"}));
}

TEST(E04UCW, MeasuresTheViolationsAsTheTwinAndTracesTheLargest) {
  Rows r;
  r.c = {-0.5, 3.5, 2.0};  // c1 below its bound by 1.5, c2 above by 0.5
  std::vector<double> wA(6), wB(6);
  double nA = 0, eA = 0, nB = 0, eB = 0;
  int jA = 0, vA = 0, jB = 0, vB = 0;
  optim::npfeas(r.n, r.nclin, r.nnlcon, r.istate, 1e10, nA, eA, jA, vA, r.ax, r.bl, r.bu, r.c, r.featol, r.x, wA, 0);
  UnitCapture cap;
  E04UCW(r.n, r.nclin, r.nnlcon, r.istate, 1e10, nB, eB, jB, vB, r.ax, r.bl, r.bu, r.c, r.featol, r.x, wB, true);
  EXPECT_EQ(wA, wB);
  EXPECT_EQ(nA, nB);
  EXPECT_EQ(eB, 1.5);
  EXPECT_EQ(jB, 4);
  EXPECT_EQ(vB, 2);
  EXPECT_EQ(cap.lines(), (Lines{" ", " //E04UCW//  The maximum violation is       1.50D+00 in constraint    4"}));
}

TEST(E04UCM, TakesTheTwinsRangeSpaceStepAndTracesIt) {
  // Bounds only, x2 fixed at its upper bound 2: the step puts dx2 = 2.
  const int n = 2;
  std::vector<int> istate{0, 2}, wslist{0}, kx{1, 2};
  std::vector<double> bl{-1.0, -2.0}, bu{1.0, 2.0}, gq{0.5, 3.0}, r{1.0, 0.0, 0.5, 2.0}, aqp{0.0, 0.0};
  std::vector<double> adx(1), rstep(2), rstep0(2), dxA(2), dxB(2), work(2), t(1), q(1);
  double snA = 0, gdA = 0, snB = 0, gdB = 0;
  optim::npsetx(true, 0, 0, 1, 1, n, n, 2, 1, 1, n, 1, istate, wslist, kx, snA, gdA, aqp, adx, bl, bu, rstep, rstep0,
                dxA, gq, r, t, q, work, 0);
  UnitCapture cap;
  E04UCM(true, 0, 0, 1, 1, n, n, 2, 1, 1, n, 1, istate, wslist, kx, snB, gdB, aqp, adx, bl, bu, rstep, rstep0, dxB, gq,
         r, t, q, work, true);
  EXPECT_EQ(dxA, dxB);
  EXPECT_EQ(dxB, (std::vector<double>{0.0, 2.0}));
  EXPECT_EQ(snB, 2.0);
  EXPECT_EQ(gdB, 6.0);
  EXPECT_EQ(cap.lines(), (Lines{" ", " //E04UCM// Variables after E04UCM ...", "    0.00        2.00"}));
}

}  // namespace
}  // namespace qv::optim_alt
