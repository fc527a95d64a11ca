// Workspace partition and precision constants of an optimizer run.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "optkern/machine.hpp"
#include "optim/nlsqp.hpp"

namespace qv::optim {
namespace {

// Required lengths by the closed forms of the partition:
//   integers 2N + m + nctotl;
//   reals    20N + 11mL + 21m + mN, + 2N^2 when mL + m > 0, + (mL + m)N when m > 0.
struct LengthCase {
  int n, nclin, nnlcon;
  int liw, lw;  // hand-evaluated closed forms
};

const LengthCase kLengths[] = {
    {1, 0, 0, 3, 20},          // 20N
    {5, 0, 0, 15, 100},        // 20N
    {4, 0, 2, 16, 170},        // 2N^2 + 20N + 21m + 2mN = 32 + 80 + 42 + 16
    {10, 0, 3, 36, 523},       // 200 + 200 + 63 + 60
    {3, 2, 0, 11, 100},        // 20N + 11mL + 2N^2 = 60 + 22 + 18
    {3, 2, 1, 13, 133},        // 60 + 22 + 21 + 3 + 18 + 9
    {1, 1, 1, 6, 57},          // 20 + 11 + 21 + 1 + 2 + 2
};

TEST(Npwksp, RequiredLengths) {
  for (const auto& c : kLengths) {
    SCOPED_TRACE(testing::Message() << "N=" << c.n << " mL=" << c.nclin << " m=" << c.nnlcon);
    int liw = 0, lw = 0;
    NPWKSP(c.n, c.nclin, c.nnlcon, c.n + c.nclin + c.nnlcon, liw, lw);
    EXPECT_EQ(liw, c.liw);
    EXPECT_EQ(lw, c.lw);
  }
}

// The lengths come in as words already used and the blocks follow them.
TEST(Npwksp, StartsAfterWordsAlreadyUsed) {
  int liw = 7, lw = 11;
  NPWKSP(4, 0, 2, 6, liw, lw);
  EXPECT_EQ(liw, 7 + 16);
  EXPECT_EQ(lw, 11 + 170);
  EXPECT_EQ(NPWLOC.kactiv, 8);
  EXPECT_EQ(NPWLOC.hforwd, 12);
}

// Every block starts where the one before it ends, in the stated order, and
// the user-supplied intervals are w(1..N) forward and w(N+1..2N) central.
TEST(Npwksp, BlocksAreConsecutiveInOrder) {
  const int n = 6, ml = 2, m = 3, nct = n + ml + m;
  int liw = 0, lw = 0;
  NPWKSP(n, ml, m, nct, liw, lw);
  const Npwloc& L = NPWLOC;
  EXPECT_EQ(L.kactiv, 1);
  EXPECT_EQ(L.kx, 1 + n);
  EXPECT_EQ(L.kneed, 1 + 2 * n);
  EXPECT_EQ(L.iperm, 1 + 2 * n + m);
  EXPECT_EQ(liw, 2 * n + m + nct);

  const std::vector<std::pair<int, int>> blocks = {
      {L.hforwd, n}, {L.hcntrl, n}, {L.anorm, ml + m}, {L.vn1[0], n}, {L.vn1[1], n}, {L.vn1[2], n},
      {L.t, n * n}, {L.zy, n * n}, {L.vc1, ml + m}, {L.vn2[0], n}, {L.vn2[1], n}, {L.vn2[2], n},
      {L.vn2[3], n}, {L.vt1[0], nct}, {L.vt1[1], nct}, {L.vt1[2], nct}, {L.qpmat, (ml + m) * n},
      {L.vc2, ml + m}, {L.vt2[0], nct}, {L.vt2[1], nct}, {L.vn3[0], n}, {L.vn3[1], n}, {L.vt3, nct},
      {L.vn4, n}, {L.vt4, nct}, {L.nlmult, m}, {L.dmult, m}, {L.slack, m}, {L.dslack, m}, {L.rho, m},
      {L.vm[0], m}, {L.vm[1], m}, {L.vm[2], m}, {L.vm[3], m}, {L.vm[4], m}, {L.vm[5], m},
      {L.cjac, m * n}, {L.grad, n}, {L.ax, ml}};
  int expect = 1;
  for (std::size_t k = 0; k < blocks.size(); ++k) {
    SCOPED_TRACE(testing::Message() << "block " << k);
    EXPECT_EQ(blocks[k].first, expect);
    expect += blocks[k].second;
  }
  EXPECT_EQ(lw, expect - 1);
  EXPECT_EQ(L.hforwd, 1);
  EXPECT_EQ(L.hcntrl, n + 1);
  EXPECT_EQ(L.ldt, n);
  EXPECT_EQ(L.ldzy, n);
}

// Without general constraints Q and T take no room and their leading
// dimension is 1; without nonlinear constraints the QP matrix takes none.
TEST(Npwksp, FactorsAndQpMatrixVanish) {
  int liw = 0, lw = 0;
  NPWKSP(5, 0, 0, 5, liw, lw);
  EXPECT_EQ(NPWLOC.ldt, 1);
  EXPECT_EQ(NPWLOC.ldzy, 1);
  EXPECT_EQ(NPWLOC.t, NPWLOC.zy);
  EXPECT_EQ(NPWLOC.zy, NPWLOC.vc1);
  liw = lw = 0;
  NPWKSP(5, 2, 0, 7, liw, lw);
  EXPECT_EQ(NPWLOC.qpmat, NPWLOC.vc2);
  EXPECT_EQ(NPWLOC.ldt, 5);
}

// Precision constants against the IEEE double eps 2^-53 (independent values
// from R: sprintf("%.17g", (2^-53)^p)).
TEST(Npprec, ConstantsOfARun) {
  Npprec p;
  set_precision(p, 9);
  const double eps = std::ldexp(1.0, -53);
  EXPECT_DOUBLE_EQ(p.epspt3, 5.4323203872568932e-06);   // (2^-53)^0.33 (R)
  EXPECT_NE(p.epspt3, std::cbrt(eps));                // 0.33, not one third
  EXPECT_DOUBLE_EQ(p.epspt5, std::sqrt(eps));
  EXPECT_DOUBLE_EQ(p.epspt8, 1.7231702332883237e-13);   // (2^-53)^0.8 (R)
  EXPECT_DOUBLE_EQ(p.epspt9, 4.3739035978692982e-15);   // (2^-53)^0.9 (R)
  EXPECT_DOUBLE_EQ(p.epsinv, 9007199254740992.0);     // 2^53
  EXPECT_DOUBLE_EQ(p.sqrtn, 3.0);
  EXPECT_EQ(p.nout, 7);
}

}  // namespace
}  // namespace qv::optim
