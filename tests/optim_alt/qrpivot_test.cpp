#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "optim_alt/qrpivot.hpp"

namespace qv::optim_alt {
namespace {

using Vec = std::vector<double>;

// An n x n column-major factor with its refactorisation's inputs.
struct Factor {
  int n, nz;
  Vec r, q, gq, zeta, work;
  std::vector<int> kx, perm;
  double rfrobn = -1.0;

  Factor(int n_, int nz_, Vec r_) : n(n_), nz(nz_), r(std::move(r_)) {
    const auto un = static_cast<std::size_t>(n);
    q.assign(un * un, 0.0);
    for (std::size_t k = 0; k < un * un; ++k) q[k] = 1.0 + static_cast<double>(k);  // labelled columns
    gq.assign(un, 0.0);
    for (std::size_t j = 0; j < un; ++j) gq[j] = 10.0 * static_cast<double>(j + 1);
    zeta.assign(un, 0.0);
    work.assign(2 * un, 0.0);
    kx.resize(un);
    for (std::size_t j = 0; j < un; ++j) kx[j] = static_cast<int>(j + 1);
    perm.assign(un, 0);
  }
  double& R(int i, int j) { return r[static_cast<std::size_t>((i - 1) + (j - 1) * n)]; }
  void run(bool unitq, double rcndbd) {
    E4QRPV(unitq, n, n, nz, n, n, kx, perm, gq, r, q, zeta, work, rcndbd, rfrobn);
  }
  // (R'R)(i, j) over the upper triangle.
  double rtr(int i, int j) {
    double s = 0.0;
    for (int k = 1; k <= std::min(i, j); ++k) s += R(k, i) * R(k, j);
    return s;
  }
};

const Vec kR3 = {1.0, 0.0, 0.0, 2.0, 3.0, 0.0, 0.5, 1.0, 4.0};  // [[1 2 .5] [0 3 1] [0 0 4]]

TEST(E4QRPV, AWellConditionedFactorKeepsRtRWithItsColumnsInterchanged) {
  Factor f(3, 3, kR3);
  Factor orig(3, 3, kR3);
  f.run(true, 1e3);
  // The columns of the largest remaining norm come first: column 3 has norm sqrt(17.25).
  EXPECT_EQ(f.kx[0], 3);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_DOUBLE_EQ(f.gq[static_cast<std::size_t>(i - 1)], 10.0 * f.kx[static_cast<std::size_t>(i - 1)]);
    for (int j = 1; j <= 3; ++j)
      EXPECT_NEAR(f.rtr(i, j), orig.rtr(f.kx[static_cast<std::size_t>(i - 1)], f.kx[static_cast<std::size_t>(j - 1)]),
                  1e-12)
          << i << "," << j;
  }
  // The Frobenius norm is invariant: 1 + 4 + 0.25 + 9 + 1 + 16 = 31.25.
  EXPECT_NEAR(f.rfrobn, std::sqrt(31.25), 1e-12);
}

TEST(E4QRPV, TheBasisColumnsFollowTheInterchangesWhenQIsNotTheIdentity) {
  Factor byperm(3, 3, kR3);
  byperm.run(true, 1e3);
  Factor f(3, 3, kR3);
  const Vec q0 = f.q;
  f.run(false, 1e3);
  EXPECT_EQ(f.kx, (std::vector<int>{1, 2, 3}));
  for (int j = 1; j <= 3; ++j) {
    const int from = byperm.kx[static_cast<std::size_t>(j - 1)];
    for (int i = 1; i <= 3; ++i)
      EXPECT_EQ(f.q[static_cast<std::size_t>((i - 1) + (j - 1) * 3)], q0[static_cast<std::size_t>((i - 1) + (from - 1) * 3)]);
    EXPECT_EQ(f.gq[static_cast<std::size_t>(j - 1)], 10.0 * from);
  }
}

TEST(E4QRPV, RangeSpaceColumnsGetHalfTheGeometricMeanOfTheExtremeDiagonals) {
  // nz = 2 of n = 3: R(1:2, 1:2) = [[2 1] [0 8]] refactorised; column 3 cleared.
  Factor f(3, 2, {2.0, 0.0, 0.0, 1.0, 8.0, 0.0, 5.0, 6.0, 7.0});
  f.run(true, 1e3);
  const double d = 0.5 * std::sqrt(std::abs(f.R(1, 1) * f.R(2, 2)));
  EXPECT_EQ(f.R(1, 3), 0.0);
  EXPECT_EQ(f.R(2, 3), 0.0);
  EXPECT_EQ(f.R(3, 3), d);
  // |det| of the null-space block is kept: 2 * 8 = 16, so d = 0.5 * sqrt(16) = 2.
  EXPECT_NEAR(d, 2.0, 1e-12);
  // Frobenius norm: the 2 x 2 block (4 + 1 + 64) and d^2.
  EXPECT_NEAR(f.rfrobn, std::sqrt(69.0 + 4.0), 1e-12);
}

TEST(E4QRPV, DiagonalsBeyondTheRankAreRaisedToTheBound) {
  // diag(1, 1e-8) with sqrt(condition limit) 1e3: rank 1, R(2,2) := 1e-3; d = 0.5.
  Factor f(3, 2, {1.0, 0.0, 0.0, 0.0, 1e-8, 0.0, 0.0, 0.0, 9.0});
  f.run(true, 1e3);
  EXPECT_EQ(f.R(1, 1), 1.0);
  EXPECT_EQ(f.R(1, 2), 0.0);
  EXPECT_EQ(f.R(2, 2), 1e-3);
  EXPECT_EQ(f.R(3, 3), 0.5);
  EXPECT_NEAR(f.rfrobn, std::sqrt(1.0 + 1e-6 + 0.25), 1e-12);
}

TEST(E4QRPV, AZeroLeadingDiagonalGivesAUnitDiagonalNotASingularFactor) {
  // R(1,1) = 0 after the refactorisation (a zero null-space block): rank 0.
  Factor f(3, 2, {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 3.0, 4.0, 5.0});
  f.run(true, 1e3);
  for (int j = 1; j <= 3; ++j) {
    EXPECT_EQ(f.R(j, j), 1.0) << j;
    for (int i = 1; i < j; ++i) EXPECT_EQ(f.R(i, j), 0.0);
  }
  EXPECT_NEAR(f.rfrobn, std::sqrt(3.0), 1e-12);
}

TEST(E4QRPV, WithoutANullSpaceEveryDiagonalIsOne) {
  Factor f(2, 0, {5.0, 0.0, 2.0, 7.0});
  f.run(true, 1e3);
  EXPECT_EQ(f.r, (Vec{1.0, 0.0, 0.0, 1.0}));
  EXPECT_EQ(f.kx, (std::vector<int>{1, 2}));
  EXPECT_NEAR(f.rfrobn, std::sqrt(2.0), 1e-15);
}

}  // namespace
}  // namespace qv::optim_alt
