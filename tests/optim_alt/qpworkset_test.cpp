// The edition's working-set routines called directly, the uncalled ones
// (E4MOVE, E4ADDS, E4BNDS) among them, against closed forms and the
// invariants of the factorization: the working-set rows over the free
// variables times Q are (0 T), and R'R is the Hessian in the order of kx.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim_alt/qp_fixture.hpp"
#include "optim_alt/qpsolve.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;
using test::kInf;

// H = R'R over the first nrank rows of R (n x n, column-major).
std::vector<double> hessian(const std::vector<double>& r, int n, int nrank) {
  std::vector<double> h(static_cast<std::size_t>(n * n), 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < nrank; ++k) h[i + j * n] += r[k + i * n] * r[k + j * n];
  return h;
}

// The rows a(wslist(k)) over the free variables (kx order) times column l of
// Q (ldq = n).
double row_times_q(const std::vector<double>& a, int lda, int row, const std::vector<int>& kx, int nfree,
                   const std::vector<double>& zy, int n, int l) {
  double s = 0.0;
  for (int k = 0; k < nfree; ++k) s += a[(row - 1) + (kx[k] - 1) * lda] * zy[k + (l - 1) * n];
  return s;
}

TEST(E4MOVE, StepsAlongPAndLandsExactlyOnTheBoundHit) {
  struct Case {
    const char* name;
    double alfa;
    bool ishit;
    std::vector<double> x;
  };
  const double bu2 = 1.0000000001;  // 0.5 * 2 falls just short of it
  const Case cases[] = {
      {"a bound hit with a positive step", 0.5, true, {0.5, bu2}},
      {"no bound hit", 0.5, false, {0.5, 1.0}},
      {"a negative step never lands on the bound", -0.5, true, {-0.5, -1.0}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<double> x = {0, 0}, px = {1, 2}, ap = {3}, ax = {1}, bl = {-kInf, -kInf}, bu = {kInf, bu2};
    std::vector<double> gq(2, 0.0), hz(2, 0.0), res(2, 0.0), r(4, 0.0), wrk(3, 0.0);
    double ctx = 1.0, xnorm = 0.0;
    E4MOVE(k.ishit, false, true, false, 1, 0, 0, 2, 2, 2, 0, k.alfa, 4.0, ctx, xnorm, ap, ax, bl, bu, gq, hz, px, res,
           r, x, wrk);
    EXPECT_EQ(x, k.x);
    EXPECT_DOUBLE_EQ(ctx, 1.0 + 4.0 * k.alfa);
    EXPECT_DOUBLE_EQ(ax[0], 1.0 + 3.0 * k.alfa);
    EXPECT_DOUBLE_EQ(xnorm, std::hypot(k.x[0], k.x[1]));
  }
}

// Rows (1, 1, 0), (2, 2, 0) and (0, 0, 1): the second depends on the first.
TEST(E4ADDS, RejectsADependentRowAndMovesTheAcceptedOnesForward) {
  const int n = 3, nclin = 3;
  const std::vector<double> a = {1, 2, 0, 1, 2, 0, 0, 0, 1};
  std::vector<int> istate = {0, 0, 0, 1, 1, 2}, wslist = {1, 2, 3}, kx = {1, 2, 3};
  std::vector<double> r(9, 0.0), t(9, 0.0), zy(9, 0.0), gq(3, 0.0), w(3), c(3), s(3);
  E4QPST.reset();
  E4QPST.asize = 2.0 * std::sqrt(2.0);
  bool unitQ = true;
  int inform = -1, nactiv = 0, nartif = 0, nZ = n, nfree = n, nrej = -1;
  E4ADDS(unitQ, false, inform, 1, nclin, nactiv, nartif, nZ, nfree, 0, nrej, 0, 1, n, n, nclin, n, n, istate, wslist,
         kx, 1e8, a, r, t, {}, gq, zy, w, c, s);
  EXPECT_EQ(nactiv, 2);
  EXPECT_EQ(nrej, 1);
  EXPECT_EQ(nZ, 1);
  EXPECT_EQ(wslist, (std::vector<int>{1, 3, -2}));
  EXPECT_EQ(istate, (std::vector<int>{0, 0, 0, 1, 0, 2}));
  EXPECT_FALSE(unitQ);
  // Rows 1 and 3 vanish on Z (column 1 of Q); their norms are the diagonals
  // of T (sqrt 2 and 1, closed form for orthogonal rows).
  for (int row : {1, 3}) EXPECT_NEAR(row_times_q(a, nclin, row, kx, nfree, zy, n, 1), 0.0, 1e-15) << row;
  EXPECT_NEAR(E4QPST.dtmax, std::sqrt(2.0), 1e-15);
  EXPECT_NEAR(E4QPST.dtmin, 1.0, 1e-15);

  // Asked for a vertex, the free direction left is fixed by a temporary bound.
  std::vector<int> istate2 = {0, 0, 0, 1, 0, 0}, wslist2 = {1, 0, 0};
  std::vector<int> kx2 = {1, 2, 3};
  unitQ = true;
  nactiv = 0;
  nZ = nfree = n;
  nartif = 0;
  E4ADDS(unitQ, true, inform, 1, 1, nactiv, nartif, nZ, nfree, 0, nrej, 0, 1, n, n, nclin, n, n, istate2, wslist2,
         kx2, 1e8, a, r, t, {}, gq, zy, w, c, s);
  EXPECT_EQ(nactiv, 1);
  EXPECT_EQ(nZ, 0);
  EXPECT_EQ(nartif, 2);
  EXPECT_EQ(nfree, 1);
  int temporary = 0;
  for (int j = 0; j < n; ++j) temporary += istate2[j] == 4;
  EXPECT_EQ(temporary, 2);
}

// R of rank nrank; variables 1 and 3 have positive states.
TEST(E4BNDS, FixesTheBoundedVariablesBehindTheFreeOnesKeepingRPrimeR) {
  struct Case {
    const char* name;
    int nrank;
    std::vector<int> istate;
    int nfree;
  };
  const Case cases[] = {
      {"full rank: swapped behind the free ones", 3, {1, 0, 2}, 1},
      {"rank 2 of 3: added as bounds", 2, {1, 0, 2}, 1},
      {"rank 2, one bound", 2, {0, 0, 1}, 2},
  };
  const std::vector<double> r0 = {2, 0, 0, 1, 3, 0, -1, 0.5, 4};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const int n = 3;
    std::vector<double> r = r0;
    for (int j = 0; j < n; ++j)
      for (int i = k.nrank; i < n; ++i) r[i + j * n] = 0.0;
    const std::vector<double> h0 = hessian(r, n, k.nrank);
    std::vector<int> kx = {1, 2, 3};
    std::vector<double> gq(3, 0.0), w(3), c(3), s(3), t(1), zy(1);
    bool unitQ = true;
    int nZ = -1;
    E4QPST.reset();
    E4BNDS(unitQ, n, k.nrank, k.nfree, nZ, 1, 1, n, 1, k.istate, kx, 1e8, std::vector<double>(3, 0.0), r, t, gq, zy,
           w, c, s);
    EXPECT_EQ(nZ, k.nfree);
    for (int p = 0; p < n; ++p) EXPECT_EQ(k.istate[kx[p] - 1] > 0, p >= k.nfree) << "position " << p + 1;
    for (int j = 0; j < n; ++j)
      for (int i = j + 1; i < n; ++i) EXPECT_EQ(r[i + j * n], 0.0) << "R stays upper triangular";
    const std::vector<double> h = hessian(r, n, n);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) EXPECT_NEAR(h[i + j * n], h0[(kx[i] - 1) + (kx[j] - 1) * n], 1e-13);
  }
}

// The row (1, 2, 2) (norm 3) added to an empty working set and deleted again.
TEST(E04NCVAndE04NCT, AddAndDeleteAGeneralRow) {
  const int n = 3;
  const std::vector<double> a = {1, 2, 2};
  std::vector<int> kx = {1, 2, 3}, wslist = {1, 0, 0};
  std::vector<double> r(9, 0.0), t(9, 0.0), zy(9, 0.0), gq(3, 0.0), w(3), c(3), s(3);
  for (int j = 0; j < n; ++j) r[j + j * n] = 1.0;
  E4QPST.reset();
  E4QPST.asize = 3.0;
  bool unitQ = true;
  int inform = -1;
  E04NCV(unitQ, inform, 0, 1, n + 1, 0, n, n, n, 0, 1, n, 1, n, n, n, kx, 1e8, a, r, t, {}, gq, zy, w, c, s);
  EXPECT_EQ(inform, 0);
  EXPECT_FALSE(unitQ);
  EXPECT_NEAR(E4QPST.dtmax, 3.0, 1e-15);
  EXPECT_NEAR(std::abs(t[0 + 2 * n]), 3.0, 1e-15) << "T(1, nfree) = +-|a|";
  for (int l = 1; l <= 2; ++l) EXPECT_NEAR(row_times_q(a, 1, 1, kx, n, zy, n, l), 0.0, 1e-15);
  // R stays the factor of the identity in the new basis.
  const std::vector<double> h = hessian(r, n, n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) EXPECT_NEAR(h[i + j * n], i == j ? 1.0 : 0.0, 1e-15);

  int nactiv = 1, nfree = n, nZ = 2, nZ1 = 2;
  E04NCT(unitQ, n, nactiv, nfree, 0, 1, nZ, nZ1, 1, n, n, n, n, n + 1, 1, wslist, kx, a, {}, r, t, gq, zy, c, s);
  EXPECT_EQ(nactiv, 0);
  EXPECT_EQ(nZ, 3);
  EXPECT_EQ(nZ1, 3);
  EXPECT_EQ(E4QPST.dtmax, 1.0);
  EXPECT_EQ(E4QPST.dtmin, 1.0);
}

TEST(E04NCV, WarnsOfSeriousIllConditioningAndRejectsBeyondTheLimit) {
  const int n = 2;
  const std::vector<double> a = {1, 0};
  struct Case {
    const char* name;
    double condlim;
    int inform;
    std::vector<std::string> lines;
  };
  // cond = Asize / |a| = 1e16, beyond 1/eps^0.9 = 2^50.4.
  const Case cases[] = {
      {"accepted below the limit, with the warning", 1e20, 0,
       {" ", " XXX  Serious ill-conditioning in the working set after adding constraint     3",
        " XXX  Overflow may occur in subsequent iterations.", " ", " "}},
      {"rejected at the limit, silently", 1e16, 1, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<int> kx = {1, 2};
    std::vector<double> r(4, 0.0), t(4, 0.0), zy(4, 7.0), gq(2, 0.0), w(2), c(2), s(2);
    E4QPST.reset();
    E4QPST.asize = 1e16;
    bool unitQ = true;
    int inform = -1;
    UnitCapture cap;
    E04NCV(unitQ, inform, 0, 1, n + 1, 0, n, n, 0, 0, 1, n, 1, n, n, n, kx, k.condlim, a, r, t, {}, gq, zy, w, c, s);
    EXPECT_EQ(inform, k.inform);
    EXPECT_EQ(unitQ, k.inform != 0) << "a rejected row leaves Q as it was";
    EXPECT_EQ(cap.lines(), k.lines);
  }
}

// Rows x1 in [0, 1] at 1.5 (violated above by 0.5), x2 free, the row
// x1 + x2 >= 1 at 3 (satisfied), states 2, 0, 1: residuals (-0.5, 0, -2).
TEST(E04NCR, LargestViolationAmongTheWorkingSet) {
  const std::vector<int> istate = {2, 0, 1};
  const std::vector<double> x = {1.5, 1.5}, ax = {3.0}, bl = {0, -kInf, 1}, bu = {1, kInf, kInf},
                            featol = {1e-8, 1e-8, 1e-8};
  std::vector<double> work(3);
  double cviol = 0, errmax = 0;
  int jmax = 0, nviol = 0;
  E04NCR(2, 1, istate, 1e19, cviol, errmax, jmax, nviol, ax, bl, bu, featol, x, work);
  EXPECT_EQ(jmax, 3);
  EXPECT_DOUBLE_EQ(errmax, 2.0);
  EXPECT_EQ(nviol, 2);
  EXPECT_DOUBLE_EQ(cviol, std::sqrt(0.25 + 4.0));
}

// The row x1 + x2 = 2 in the working set from x = (0.5, 0.5): the refinement
// adds the minimum-norm correction (1 / |a|^2) a, giving (1, 1).
TEST(E04NCH, MovesXOntoTheWorkingSet) {
  const int n = 2;
  const std::vector<double> a = {1, 1}, bl = {-kInf, -kInf, 2}, bu = {kInf, kInf, 2}, featol = {1e-8, 1e-8, 1e-8};
  std::vector<int> istate = {0, 0, 3}, wslist = {1, 0}, kx = {1, 2};
  std::vector<double> r(4, 0.0), t(4, 0.0), zy(4, 0.0), gq(2, 0.0), w(2), c(2), s(2);
  E4QPST.reset();
  E4QPST.asize = std::sqrt(2.0);
  bool unitQ = true;
  int inform = -1;
  E04NCV(unitQ, inform, 0, 1, n + 1, 0, n, n, 0, 0, 1, n, 1, n, n, n, kx, 1e8, a, r, t, {}, gq, zy, w, c, s);
  ASSERT_EQ(inform, 0);
  std::vector<double> x = {0.5, 0.5}, ax(1), p(2), work(3);
  bool rowerr = true;
  int jmax = 0;
  double errmax = -1, ctx = 0, xnorm = 0;
  E04NCH(false, rowerr, unitQ, 1, 1, n, 0, 1, n, 3, n, 1, n, n, istate, wslist, kx, jmax, errmax, ctx, xnorm, a, ax,
         bl, bu, {}, {}, {}, featol, r, t, x, zy, p, work);
  EXPECT_FALSE(rowerr);
  EXPECT_NEAR(x[0], 1.0, 1e-15);
  EXPECT_NEAR(x[1], 1.0, 1e-15);
  EXPECT_NEAR(ax[0], 2.0, 1e-15);
  EXPECT_NEAR(xnorm, std::sqrt(2.0), 1e-15);
}

}  // namespace
}  // namespace qv::optim_alt
