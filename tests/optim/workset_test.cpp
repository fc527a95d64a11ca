// Working set: the TQ factorization invariants after every addition,
// deletion and factorization, the crash, and the refinement of x.
//
// References are closed forms: with M = Pi diag(Q, I) the map from the Q
// basis (kx order) to the natural variables, every update must keep
//   Af Q = (0 T) with T reverse-triangular, Q'Q = I,
//   M R'R M' = H (the Hessian the factor started with),
//   gq = M' g, and M R' res unchanged,
// and dTmax, dTmin must be the extremes of |diag T|.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "optkern/kernels.hpp"
#include "optkern/machine.hpp"
#include "optim/workset.hpp"
#include "optim/wsutil.hpp"

namespace qv::optim {
namespace {

using Matrix = std::vector<double>;  // column-major

struct Problem {
  int n, nclin;
  Matrix a;  // nclin x n, rows as listed
};

// 4 variables with 4 rows, and 4 variables with 6 rows (row 6 = row 1 + row 2,
// a dependent row once both are in the working set).
Problem problem4x4() {
  const double rows[4][4] = {{1, 1, 0, 0}, {0, 2, 1, -1}, {1, -1, 3, 0.5}, {0.5, 0, -1, 2}};
  Problem p{4, 4, Matrix(16)};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) p.a[static_cast<std::size_t>(i + 4 * j)] = rows[i][j];
  return p;
}
Problem problem6x4() {
  const double rows[6][4] = {{1, 2, 0, -1}, {0, 1, 1, 1}, {2, 0, 1, 0}, {-1, 1, 0, 3}, {1, 1, 1, 1}, {1, 3, 1, 0}};
  Problem p{4, 6, Matrix(24)};
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 4; ++j) p.a[static_cast<std::size_t>(i + 6 * j)] = rows[i][j];
  return p;
}

struct State {
  Problem pb;
  int n = 0, ldA = 0, ldZY = 0, ldR = 0, ldT = 0;
  bool unitQ = true;
  int nactiv = 0, nfree = 0, nZ = 0, nZ1 = 0, nrank = 0, nartif = 0;
  std::vector<int> kx, wslist, istate;
  Matrix zy, t, r, res, gq;
  std::vector<double> w, c, s;

  double A(int i, int j) const { return pb.a[static_cast<std::size_t>((i - 1) + (j - 1) * ldA)]; }
  double& ZY(int i, int j) { return zy[static_cast<std::size_t>((i - 1) + (j - 1) * ldZY)]; }
  double& T(int i, int j) { return t[static_cast<std::size_t>((i - 1) + (j - 1) * ldT)]; }
  double& R(int i, int j) { return r[static_cast<std::size_t>((i - 1) + (j - 1) * ldR)]; }
  double Q(int i, int j) { return unitQ ? (i == j ? 1.0 : 0.0) : ZY(i, j); }
};

State make_state(const Problem& pb, bool unitQ) {
  State st;
  st.pb = pb;
  const int n = pb.n;
  st.n = n;
  st.ldA = pb.nclin;
  st.ldZY = n + 1;
  st.ldR = n + 2;
  st.ldT = std::max(1, pb.nclin) + 1;
  st.unitQ = unitQ;
  st.nfree = st.nZ = n;
  st.nrank = n;
  st.kx.resize(static_cast<std::size_t>(n));
  std::iota(st.kx.begin(), st.kx.end(), 1);
  st.wslist.assign(static_cast<std::size_t>(std::max(1, pb.nclin)), 0);
  st.istate.assign(static_cast<std::size_t>(n + pb.nclin), 0);
  st.zy.assign(static_cast<std::size_t>(st.ldZY * n), 0.0);
  st.t.assign(static_cast<std::size_t>(st.ldT * n), 0.0);
  st.r.assign(static_cast<std::size_t>(st.ldR * n), 0.0);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= j; ++i) st.R(i, j) = i == j ? 2.0 + 0.5 * i : 0.3 * i - 0.2 * j + 0.1;
  st.res.assign(static_cast<std::size_t>(n), 0.0);
  for (int i = 0; i < n; ++i) st.res[static_cast<std::size_t>(i)] = 1.0 - 0.7 * i;
  st.gq.assign(static_cast<std::size_t>(n), 0.0);
  st.w.assign(static_cast<std::size_t>(n), 0.0);
  st.c.assign(static_cast<std::size_t>(n), 0.0);
  st.s.assign(static_cast<std::size_t>(n), 0.0);
  if (!unitQ) {
    // An explicit orthogonal Q: the product of three plane rotations.
    for (int i = 1; i <= n; ++i) st.ZY(i, i) = 1.0;
    auto rot = [&](int p, int q, double th) {
      const double cs = std::cos(th), sn = std::sin(th);
      for (int i = 1; i <= n; ++i) {
        const double x = st.ZY(i, p), y = st.ZY(i, q);
        st.ZY(i, p) = cs * x + sn * y;
        st.ZY(i, q) = cs * y - sn * x;
      }
    };
    rot(1, 2, 0.4);
    rot(3, 4, -1.1);
    rot(2, 3, 0.7);
  }
  return st;
}

// The map M from the Q basis to the natural variables, n x n.
Matrix basis(State& st) {
  const int n = st.n;
  Matrix m(static_cast<std::size_t>(n * n), 0.0);
  for (int k = 1; k <= n; ++k) {
    const int row = st.kx[static_cast<std::size_t>(k - 1)];
    for (int l = 1; l <= n; ++l) {
      double v = 0.0;
      if (k <= st.nfree && l <= st.nfree) v = st.Q(k, l);
      else if (k == l) v = 1.0;
      m[static_cast<std::size_t>((row - 1) + (l - 1) * n)] = v;
    }
  }
  return m;
}

struct Invariants {
  Matrix h;              // M R'R M'
  std::vector<double> g;  // natural gradient
  std::vector<double> mr;  // M R' res
};

Invariants invariants(State& st) {
  const int n = st.n;
  const Matrix m = basis(st);
  Invariants inv;
  Matrix mr(static_cast<std::size_t>(n * n), 0.0);  // M R'
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= st.nrank; ++j) {
      double sum = 0.0;
      for (int k = j; k <= n; ++k) sum += m[static_cast<std::size_t>((i - 1) + (k - 1) * n)] * st.R(j, k);
      mr[static_cast<std::size_t>((i - 1) + (j - 1) * n)] = sum;
    }
  inv.h.assign(static_cast<std::size_t>(n * n), 0.0);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      double sum = 0.0;
      for (int k = 1; k <= st.nrank; ++k)
        sum += mr[static_cast<std::size_t>((i - 1) + (k - 1) * n)] * mr[static_cast<std::size_t>((j - 1) + (k - 1) * n)];
      inv.h[static_cast<std::size_t>((i - 1) + (j - 1) * n)] = sum;
    }
  inv.g.assign(static_cast<std::size_t>(n), 0.0);
  inv.mr.assign(static_cast<std::size_t>(n), 0.0);
  for (int i = 1; i <= n; ++i) {
    for (int k = 1; k <= n; ++k) inv.g[static_cast<std::size_t>(i - 1)] += m[static_cast<std::size_t>((i - 1) + (k - 1) * n)] * st.gq[static_cast<std::size_t>(k - 1)];
    for (int k = 1; k <= st.nrank; ++k)
      inv.mr[static_cast<std::size_t>(i - 1)] += mr[static_cast<std::size_t>((i - 1) + (k - 1) * n)] * st.res[static_cast<std::size_t>(k - 1)];
  }
  return inv;
}

void check(State& st, const Invariants& ref, const std::string& step) {
  SCOPED_TRACE(step);
  const int n = st.n;
  const double tol = 1e-12;
  // kx is a permutation; the fixed variables are the bounds in the working set.
  {
    std::vector<int> kx = st.kx;
    int inform = -1;
    LSPRNT.iprint = 0;
    cmperm(kx, 1, n, inform);
    EXPECT_EQ(inform, 0);
    for (int k = st.nfree + 1; k <= n; ++k)
      EXPECT_GT(st.istate[static_cast<std::size_t>(st.kx[static_cast<std::size_t>(k - 1)] - 1)], 0);
  }
  EXPECT_EQ(st.nZ, st.nfree - st.nactiv);
  // Q'Q = I.
  for (int i = 1; i <= st.nfree; ++i)
    for (int j = 1; j <= st.nfree; ++j) {
      double sum = 0.0;
      for (int k = 1; k <= st.nfree; ++k) sum += st.Q(k, i) * st.Q(k, j);
      EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, tol) << "Q'Q " << i << "," << j;
    }
  // Af Q = (0 T), T reverse-triangular.
  double dmax = 0.0, dmin = 0.0;
  for (int i = 1; i <= st.nactiv; ++i) {
    const int row = st.wslist[static_cast<std::size_t>(i - 1)];
    for (int j = 1; j <= st.nfree; ++j) {
      double sum = 0.0;
      for (int k = 1; k <= st.nfree; ++k) sum += st.A(row, st.kx[static_cast<std::size_t>(k - 1)]) * st.Q(k, j);
      const int diag = st.nfree - i + 1;
      if (j < diag)
        EXPECT_NEAR(sum, 0.0, tol) << "Af Q " << i << "," << j;
      else
        EXPECT_NEAR(sum, st.T(i, j), tol) << "T " << i << "," << j;
    }
    const double d = std::abs(st.T(i, st.nfree - i + 1));
    dmax = i == 1 ? d : std::max(dmax, d);
    dmin = i == 1 ? d : std::min(dmin, d);
  }
  if (st.nactiv > 0) {
    EXPECT_DOUBLE_EQ(LSCOND.dtmax, dmax);
    EXPECT_DOUBLE_EQ(LSCOND.dtmin, dmin);
  }
  const Invariants now = invariants(st);
  for (std::size_t k = 0; k < ref.h.size(); ++k) EXPECT_NEAR(now.h[k], ref.h[k], tol * 10) << "R'R " << k;
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(now.g[static_cast<std::size_t>(i)], ref.g[static_cast<std::size_t>(i)], tol) << "gq " << i + 1;
    EXPECT_NEAR(now.mr[static_cast<std::size_t>(i)], ref.mr[static_cast<std::size_t>(i)], tol * 10) << "res " << i + 1;
  }
}

int add_bound(State& st, int var, double condlim) {
  int ifix = 0;
  for (int k = 1; k <= st.nfree; ++k)
    if (st.kx[static_cast<std::size_t>(k - 1)] == var) ifix = k;
  EXPECT_GT(ifix, 0);
  int inform = -1;
  lsadd(st.unitQ, inform, ifix, 0, var, st.nactiv, st.nZ, st.nfree, st.nrank, 1, 1, st.n, st.ldA, st.ldZY, st.ldR,
        st.ldT, st.kx, condlim, st.pb.a, st.r, st.t, st.res, st.gq, st.zy, st.w, st.c, st.s);
  if (inform == 0) {
    --st.nfree;
    --st.nZ;
    st.istate[static_cast<std::size_t>(var - 1)] = 1;
  }
  return inform;
}

int add_general(State& st, int row, double condlim) {
  int inform = -1;
  lsadd(st.unitQ, inform, 0, row, st.n + row, st.nactiv, st.nZ, st.nfree, st.nrank, 1, 1, st.n, st.ldA, st.ldZY,
        st.ldR, st.ldT, st.kx, condlim, st.pb.a, st.r, st.t, st.res, st.gq, st.zy, st.w, st.c, st.s);
  if (inform == 0) {
    ++st.nactiv;
    --st.nZ;
    st.wslist[static_cast<std::size_t>(st.nactiv - 1)] = row;
    st.istate[static_cast<std::size_t>(st.n + row - 1)] = 1;
  }
  return inform;
}

void delete_general(State& st, int row) {
  int kdel = 0;
  for (int k = 1; k <= st.nactiv; ++k)
    if (st.wslist[static_cast<std::size_t>(k - 1)] == row) kdel = k;
  ASSERT_GT(kdel, 0);
  st.nZ1 = st.nZ;
  lsdel(st.unitQ, st.n, st.nactiv, st.nfree, 1, 1, st.nZ, st.nZ1, st.ldA, st.ldZY, st.ldR, st.ldT, st.nrank,
        st.n + row, kdel, st.wslist, st.kx, st.pb.a, st.res, st.r, st.t, st.gq, st.zy, st.c, st.s);
  st.istate[static_cast<std::size_t>(st.n + row - 1)] = 0;
}

void delete_bound(State& st, int var) {
  int ir = 0;
  for (int k = st.nfree + 1; k <= st.n; ++k)
    if (st.kx[static_cast<std::size_t>(k - 1)] == var) ir = k;
  ASSERT_GT(ir, 0);
  st.nZ1 = st.nZ;
  lsdel(st.unitQ, st.n, st.nactiv, st.nfree, 1, 1, st.nZ, st.nZ1, st.ldA, st.ldZY, st.ldR, st.ldT, st.nrank, var,
        ir - st.nZ, st.wslist, st.kx, st.pb.a, st.res, st.r, st.t, st.gq, st.zy, st.c, st.s);
  st.istate[static_cast<std::size_t>(var - 1)] = 0;
}

enum class Op { AddBound, AddGeneral, DelGeneral, DelBound };
struct Step {
  Op op;
  int index;  // variable or row
};

struct SequenceCase {
  const char* name;
  Problem (*problem)();
  bool unitQ;
  std::vector<Step> steps;
};

constexpr double kCondlim = 1e8;

TEST(WorkingSet, FactorInvariantsAfterEachUpdate) {
  LSPRNT.reset();
  const std::vector<SequenceCase> cases = {
      {"4x4, unit Q", problem4x4, true,
       {{Op::AddBound, 2}, {Op::AddGeneral, 1}, {Op::AddGeneral, 3}, {Op::AddBound, 4}, {Op::DelGeneral, 1},
        {Op::DelBound, 2}, {Op::AddGeneral, 2}, {Op::DelBound, 4}, {Op::DelGeneral, 3}, {Op::DelGeneral, 2}}},
      {"4x4, explicit Q", problem4x4, false,
       {{Op::AddGeneral, 4}, {Op::AddGeneral, 2}, {Op::AddBound, 1}, {Op::DelGeneral, 4}, {Op::AddBound, 3},
        {Op::DelBound, 1}, {Op::DelGeneral, 2}, {Op::DelBound, 3}}},
      {"6x4, unit Q, bounds first", problem6x4, true,
       {{Op::AddBound, 4}, {Op::AddBound, 1}, {Op::DelBound, 4}, {Op::AddGeneral, 5}, {Op::AddGeneral, 3},
        {Op::DelBound, 1}, {Op::AddGeneral, 1}, {Op::AddBound, 4}, {Op::DelGeneral, 3}, {Op::DelGeneral, 5},
        {Op::DelGeneral, 1}}},
      {"6x4, explicit Q", problem6x4, false,
       {{Op::AddGeneral, 1}, {Op::AddGeneral, 2}, {Op::AddGeneral, 4}, {Op::AddBound, 3}, {Op::DelGeneral, 2},
        {Op::DelBound, 3}, {Op::AddBound, 2}, {Op::DelGeneral, 1}, {Op::DelGeneral, 4}}},
  };
  for (const SequenceCase& c : cases) {
    SCOPED_TRACE(c.name);
    LSCOND.reset();
    LSCOND.asize = 4.0;
    State st = make_state(c.problem(), c.unitQ);
    const std::vector<double> g = {1.0, -2.0, 0.5, 3.0};
    // gq = M' g at the start.
    const Matrix m = basis(st);
    for (int k = 1; k <= st.n; ++k) {
      double sum = 0.0;
      for (int i = 1; i <= st.n; ++i) sum += m[static_cast<std::size_t>((i - 1) + (k - 1) * st.n)] * g[static_cast<std::size_t>(i - 1)];
      st.gq[static_cast<std::size_t>(k - 1)] = sum;
    }
    const Invariants ref = invariants(st);
    int stepno = 0;
    for (const Step& step : c.steps) {
      ++stepno;
      const std::string what = "step " + std::to_string(stepno);
      switch (step.op) {
        case Op::AddBound: EXPECT_EQ(add_bound(st, step.index, kCondlim), 0) << what; break;
        case Op::AddGeneral: EXPECT_EQ(add_general(st, step.index, kCondlim), 0) << what; break;
        case Op::DelGeneral: delete_general(st, step.index); break;
        case Op::DelBound: delete_bound(st, step.index); break;
      }
      check(st, ref, what);
      if (step.op == Op::DelGeneral && st.nactiv == 0) {
        EXPECT_EQ(LSCOND.dtmax, 1.0) << what;
        EXPECT_EQ(LSCOND.dtmin, 1.0) << what;
      }
    }
    EXPECT_EQ(st.nactiv, 0);
  }
}

TEST(WorkingSet, DependentRowIsRejectedAndNothingChanges) {
  LSPRNT.reset();
  struct Case {
    const char* name;
    bool unitQ;
    std::vector<Step> before;
    Step dependent;
  };
  // Row 6 of the 6x4 problem is row 1 + row 2; with rows 1 and 2 (or row 2
  // and a bound making it dependent) the new row has no component in Z.
  const std::vector<Case> cases = {
      {"row 1 + row 2, unit Q start", true, {{Op::AddGeneral, 1}, {Op::AddGeneral, 2}}, {Op::AddGeneral, 6}},
      {"row 1 + row 2, explicit Q", false, {{Op::AddGeneral, 2}, {Op::AddBound, 3}, {Op::AddGeneral, 1}},
       {Op::AddGeneral, 6}},
      {"no room: bound with nZ = 0", false,
       {{Op::AddGeneral, 1}, {Op::AddGeneral, 2}, {Op::AddGeneral, 3}, {Op::AddGeneral, 4}}, {Op::AddBound, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LSCOND.reset();
    LSCOND.asize = 4.0;
    State st = make_state(problem6x4(), c.unitQ);
    for (const Step& step : c.before) {
      if (step.op == Op::AddGeneral) { ASSERT_EQ(add_general(st, step.index, kCondlim), 0); }
      if (step.op == Op::AddBound) { ASSERT_EQ(add_bound(st, step.index, kCondlim), 0); }
    }
    const State before = st;
    const Lscond cond_before = LSCOND;
    const int inform = c.dependent.op == Op::AddGeneral ? add_general(st, c.dependent.index, kCondlim)
                                                        : add_bound(st, c.dependent.index, kCondlim);
    EXPECT_EQ(inform, 1);
    EXPECT_EQ(st.unitQ, before.unitQ);
    EXPECT_EQ(st.kx, before.kx);
    EXPECT_EQ(st.zy, before.zy);
    EXPECT_EQ(st.t, before.t);
    EXPECT_EQ(st.r, before.r);
    EXPECT_EQ(st.gq, before.gq);
    EXPECT_EQ(st.res, before.res);
    EXPECT_EQ(LSCOND.dtmax, cond_before.dtmax);
    EXPECT_EQ(LSCOND.dtmin, cond_before.dtmin);
  }
}

struct CrashCase {
  const char* name;
  bool cold;
  bool unitQ;
  std::vector<double> x;
  std::vector<int> istate;  // warm start states (cold: ignored)
  std::vector<double> bl, bu;
  // Expected after lscrsh.
  std::vector<int> istate_after;
  int nactiv, nfree;
};

TEST(WorkingSet, CrashThenFactorize) {
  LSPRNT.reset();
  const double big = 1e20;
  // 6x4 problem: Ax at x = (1, 0, 0, 0) is (1, 0, 2, -1, 1, 1).
  const std::vector<CrashCase> cases = {
      // Cold: x4 within tolerance of its lower bound 0, x3 fixed by equal
      // bounds; rows 3 (Ax = 2, bl = 2) and 1 (Ax = 1, bu = 1) are at bounds,
      // row 3 with the smaller relative residual first.
      {"cold", true, true, {1, 0, 0, 1e-9}, {}, {-big, -5, 0, 0, -big, -big, 2, -big, -big, -big},
       {big, 5, 0, big, 1, big, big, big, big, big}, {0, 0, 3, 1, 2, 0, 1, 0, 0, 0}, 2, 2},
      // Warm: the given states, out-of-range ones cleared.
      {"warm", false, false, {1, 0, 0, 0}, {0, 2, 7, 0, 0, 1, 0, -1, 1, 0},
       {-big, -5, -big, -big, -big, -big, -big, -big, -1, -big}, {big, 0, big, big, big, 0, big, big, big, big},
       {0, 2, 0, 0, 0, 1, 0, 0, 1, 0}, 2, 3},
  };
  for (const CrashCase& c : cases) {
    SCOPED_TRACE(c.name);
    LSCOND.reset();
    LSCOND.asize = 4.0;
    State st = make_state(problem6x4(), c.unitQ);
    const int n = st.n, nclin = st.pb.nclin, nctotl = n + nclin;
    std::vector<double> x = c.x, wx(static_cast<std::size_t>(n)), ax(static_cast<std::size_t>(nclin)),
                        work(static_cast<std::size_t>(n));
    st.istate = c.cold ? std::vector<int>(static_cast<std::size_t>(nctotl), 0) : c.istate;
    int nactiv = 0, nartif = 0, nfree = 0;
    lscrsh(c.cold, false, nclin, nctotl, nactiv, nartif, nfree, n, st.ldA, st.istate, st.wslist, big, 1e-6,
           st.pb.a, ax, c.bl, c.bu, x, wx, work);
    EXPECT_EQ(st.istate, c.istate_after);
    EXPECT_EQ(nactiv, c.nactiv);
    EXPECT_EQ(nfree, c.nfree);
    EXPECT_EQ(nartif, 0);

    const std::vector<double> g = {0.5, 1.0, -1.0, 2.0};
    st.gq = g;
    if (!st.unitQ) {
      const Matrix m = basis(st);
      for (int k = 1; k <= n; ++k) {
        double sum = 0.0;
        for (int i = 1; i <= n; ++i) sum += m[static_cast<std::size_t>((i - 1) + (k - 1) * n)] * g[static_cast<std::size_t>(i - 1)];
        st.gq[static_cast<std::size_t>(k - 1)] = sum;
      }
    }
    const Invariants ref = invariants(st);
    // The fixed variables enter from the last one backwards, then the rows.
    for (int j = n; j >= 1; --j) {
      const int is = st.istate[static_cast<std::size_t>(j - 1)];
      if (is >= 1 && is <= 3) {
        int ifix = 0;
        for (int k = 1; k <= st.nfree; ++k)
          if (st.kx[static_cast<std::size_t>(k - 1)] == j) ifix = k;
        int inform = -1;
        lsadd(st.unitQ, inform, ifix, 0, j, st.nactiv, st.nZ, st.nfree, st.nrank, 1, 1, n, st.ldA, st.ldZY, st.ldR,
              st.ldT, st.kx, kCondlim, st.pb.a, st.r, st.t, st.res, st.gq, st.zy, st.w, st.c, st.s);
        ASSERT_EQ(inform, 0);
        --st.nfree;
        --st.nZ;
      }
    }
    ASSERT_EQ(st.nfree, nfree);
    check(st, ref, "bounds added");
    int inform = -1, nrej = -1;
    WSFACT(st.unitQ, false, inform, 1, nactiv, st.nactiv, st.nartif, st.nZ, st.nfree, st.nrank, nrej, 1, 1, n, st.ldZY,
           st.ldA, st.ldR, st.ldT, st.istate, st.wslist, st.kx, kCondlim, st.pb.a, st.r, st.t, st.res, st.gq, st.zy,
           st.w, st.c, st.s);
    EXPECT_EQ(nrej, 0);
    EXPECT_EQ(st.nactiv, nactiv);
    check(st, ref, "WSFACT");
    // A vertex: the rest of Z filled with temporary bounds.
    WSFACT(st.unitQ, true, inform, 1, 0, st.nactiv, st.nartif, st.nZ, st.nfree, st.nrank, nrej, 1, 1, n, st.ldZY,
           st.ldA, st.ldR, st.ldT, st.istate, st.wslist, st.kx, kCondlim, st.pb.a, st.r, st.t, st.res, st.gq, st.zy,
           st.w, st.c, st.s);
    EXPECT_EQ(st.nZ, 0);
    EXPECT_EQ(st.nartif, nfree - nactiv);
    check(st, ref, "vertex");
  }
}

TEST(WorkingSet, WsfactTakesRejectedRowsOut) {
  LSPRNT.reset();
  LSCOND.reset();
  LSCOND.asize = 4.0;
  State st = make_state(problem6x4(), true);
  // Rows 1, 6 (= 1 + 2), 2: row 6 is accepted before row 2, which is then
  // dependent; rows 6 and 1 stay in order, row 2 goes behind negated.
  st.wslist = {1, 6, 2, 0, 0, 0};
  for (int r : {1, 6, 2}) st.istate[static_cast<std::size_t>(st.n + r - 1)] = 1;
  const Invariants ref = invariants(st);
  int inform = -1, nrej = -1;
  WSFACT(st.unitQ, false, inform, 1, 3, st.nactiv, st.nartif, st.nZ, st.nfree, st.nrank, nrej, 1, 1, st.n, st.ldZY,
         st.ldA, st.ldR, st.ldT, st.istate, st.wslist, st.kx, kCondlim, st.pb.a, st.r, st.t, st.res, st.gq, st.zy, st.w,
         st.c, st.s);
  EXPECT_EQ(st.nactiv, 2);
  EXPECT_EQ(nrej, 1);
  EXPECT_EQ(st.wslist[0], 1);
  EXPECT_EQ(st.wslist[1], 6);
  EXPECT_EQ(st.wslist[2], -2);
  EXPECT_EQ(st.istate[static_cast<std::size_t>(st.n + 2 - 1)], 0);
  check(st, ref, "after WSFACT");
}

TEST(WorkingSet, FeasibilityAndRefinement) {
  LSPRNT.reset();
  LSCOND.reset();
  LSCOND.asize = 4.0;
  const double big = 1e20;
  State st = make_state(problem4x4(), true);
  // Rows 1 (x1 + x2 = 2) and 3 (x1 - x2 + 3x3 + 0.5x4 >= 1) at their lower
  // bounds, x4 fixed at its upper bound 0.5.
  const std::vector<double> bl = {-big, -big, -big, -big, 2, -big, 1, -big};
  const std::vector<double> bu = {big, big, big, 0.5, 2, big, big, big};
  const std::vector<double> featol(8, 1e-10);
  st.istate[3] = 2;
  int ifix = 4, inform = 0;
  lsadd(st.unitQ, inform, ifix, 0, 4, 0, 4, 4, 4, 1, 1, 4, st.ldA, st.ldZY, st.ldR, st.ldT, st.kx, kCondlim, st.pb.a,
        st.r, st.t, st.res, st.gq, st.zy, st.w, st.c, st.s);
  st.nfree = st.nZ = 3;
  ASSERT_EQ(add_general(st, 1, kCondlim), 0);
  ASSERT_EQ(add_general(st, 3, kCondlim), 0);
  std::vector<double> x = {0.3, 0.1, 0.2, 0.9};
  std::vector<double> ax(4), p(4), work(4), res(4), res0(4, 1.0), cq = {1, 2, 3, 4};
  bool rowerr = true;
  int jmax = -1;
  double errmax = -1, ctx = -1, xnorm = -1;
  lssetx(true, rowerr, st.unitQ, 4, st.nactiv, st.nfree, st.nrank, st.nZ, 4, 8, st.ldZY, st.ldA, st.ldR, st.ldT,
         st.istate, st.wslist, st.kx, jmax, errmax, ctx, xnorm, st.pb.a, ax, bl, bu, cq, res, res0, featol, st.r, st.t,
         x, st.zy, p, work);
  EXPECT_FALSE(rowerr);
  EXPECT_EQ(x[3], 0.5);
  EXPECT_NEAR(x[0] + x[1], 2.0, 1e-14);
  EXPECT_NEAR(x[0] - x[1] + 3 * x[2] + 0.5 * x[3], 1.0, 1e-14);
  // The correction lies in the range of Y: the part in Z (x3 direction
  // orthogonal to the rows) is the one x had.
  EXPECT_NEAR(xnorm, std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2] + x[3] * x[3]), 1e-14);
  // ctx = cq'(Q'x) and res = res0 - R Q'x, with Q'x from the factors.
  std::vector<double> qx = x;
  const Matrix m = basis(st);
  for (int k = 1; k <= 4; ++k) {
    double sum = 0.0;
    for (int i = 1; i <= 4; ++i) sum += m[static_cast<std::size_t>((i - 1) + (k - 1) * 4)] * x[static_cast<std::size_t>(i - 1)];
    qx[static_cast<std::size_t>(k - 1)] = sum;
  }
  double want_ctx = 0.0;
  for (int k = 0; k < 4; ++k) want_ctx += cq[static_cast<std::size_t>(k)] * qx[static_cast<std::size_t>(k)];
  EXPECT_NEAR(ctx, want_ctx, 1e-13);
  for (int i = 1; i <= 4; ++i) {
    double sum = 0.0;
    for (int k = i; k <= 4; ++k) sum += st.R(i, k) * qx[static_cast<std::size_t>(k - 1)];
    EXPECT_NEAR(res[static_cast<std::size_t>(i - 1)], 1.0 - sum, 1e-13);
  }

  // lsfeas: x3 violated above a bound of 0.1 by more than featol; row 3 at
  // its bound; a temporary bound is not measured.
  std::vector<double> bu2 = bu;
  bu2[2] = 0.1;
  std::vector<int> istate = {0, 0, 0, 4, 1, 0, 1, 0};
  double cviol = -1;
  int nviol = -1;
  std::vector<double> resid(8);
  lsfeas(4, 4, istate, big, cviol, errmax, jmax, nviol, ax, bl, bu2, featol, x, resid);
  EXPECT_EQ(nviol, 1);
  EXPECT_EQ(jmax, 3);
  EXPECT_NEAR(errmax, x[2] - 0.1, 1e-14);
  EXPECT_NEAR(cviol, errmax, 1e-13);
}

}  // namespace
}  // namespace qv::optim
