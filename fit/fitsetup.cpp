#include "fit/fitsetup.hpp"

#include "fit/fitcb.hpp"
#include "fit/objcel.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/vlsum.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;
using jobbase::GroupView;
using jobbase::icell;

namespace {

// Code of the comparison operators in a compiled formula.
constexpr double kOpGreater = 127;
constexpr double kOpLess = 128;

// Index i (1..npar) with PARLST(i) = s; 0 when the list does not hold s.
int par_index(Vec1<double> X, int parlst, int npar, double s) {
  for (int i = 1; i <= npar; ++i)
    if (X(parlst + i - 1) == s) return i;
  return 0;
}

// Checks that IWORKS words up to last exist (sizes computed in 64 bits).
void check_iroom(long long last) {
  const int lim = jobbase::MAINPR.WSLIM;
  jobbase::CHKIMEM(last > lim ? lim + 1 : static_cast<int>(last));
}

}  // namespace

double start_value(double v) {
  if (v > -kStartMin && v < kStartMin) return kStartMin;
  return v;
}

long long fit_nw(long long n, long long nclin, long long nnlcon) {
  if (nclin == 0 && nnlcon == 0) return 20 * n;
  if (nnlcon == 0) return 2 * n * n + 20 * n + 11 * nclin;
  return 2 * n * n + 20 * n + 11 * nclin + 21 * nnlcon + n * nclin + 2 * n * nnlcon;
}

void FITCNT(Vec1<double> X, Vec1<int> IX, jobbase::Labtab& LABTAB, int NS) {
  auto& f = FITARR;
  int npar = 0, nstat = 0;
  jobbase::VLSUMM(X, IX, LABTAB, NS, npar, nstat);
  jobbase::FITSTA.NSTTOT = static_cast<long long>(nstat) + jobbase::FITOPT.DF;
  f.NPAR = npar;
  f.FREEP = npar > 0;
  f.N = npar > 0 ? npar : 1;
}

void FITLAY(Vec1<double> X, Vec1<int> IX) {
  auto& f = FITARR;
  auto& m = jobbase::MAINPR;
  const int NG = icell(X(1));
  const int N = f.N;
  const int NPAR = f.NPAR;
  const int PARLST = jobbase::FITSTA.PARLST;

  // Constraint count and the dimensions of the optimizer's arrays.
  f.NNLCON = 0;
  for (int g = 1; g <= NG; ++g) {
    const GroupView G{X, NG, g};
    if (G.icol(gcol::kKind) == jobbase::kKindConstraint) f.NNLCON += G.icol(gcol::kNstat);
  }
  f.NCLIN = 0;
  f.LDA = 1;
  f.LDJAC = f.NNLCON > 1 ? f.NNLCON : 1;
  f.LDRFAC = N;
  f.NCTOTL = N + f.NCLIN + f.NNLCON;
  f.NIW = 3 * N + f.NCLIN + 2 * f.NNLCON;
  // In 64 bits: for a large N the length passes the integers long before the
  // workspace check below refuses it.
  const long long nw = fit_nw(N, f.NCLIN, f.NNLCON);

  // The real arrays from WSTOP, each after the previous one.
  long long top = m.WSTOP;
  auto take = [&top](long long words) {
    const long long at = top;
    top += words;
    return at;
  };
  const long long alin = take(static_cast<long long>(f.LDA) * N);
  const long long blow = take(f.NCTOTL);
  const long long bupp = take(f.NCTOTL);
  const long long cnlval = take(f.LDJAC);
  const long long cnljac = take(static_cast<long long>(f.LDJAC) * N);
  const long long xmult = take(f.NCTOTL);
  const long long gobj = take(N);
  const long long rfac = take(static_cast<long long>(N) * N);
  take(1);
  const long long w = take(nw);
  const long long x = take(N);
  take(1);
  jobbase::check_room(top - 1);
  f.NW = static_cast<int>(nw);
  f.ALIN = static_cast<int>(alin);
  f.BLOW = static_cast<int>(blow);
  f.BUPP = static_cast<int>(bupp);
  f.CNLVAL = static_cast<int>(cnlval);
  f.CNLJAC = static_cast<int>(cnljac);
  f.XMULT = static_cast<int>(xmult);
  f.GOBJ = static_cast<int>(gobj);
  f.RFAC = static_cast<int>(rfac);
  f.W = static_cast<int>(w);
  f.X = static_cast<int>(x);
  m.WSTOP = static_cast<int>(top);

  // The integer arrays from IWSTOP.
  const long long itop = static_cast<long long>(m.IWSTOP) + f.NCTOTL + f.NIW;
  check_iroom(itop - 1);
  f.ISTATE = m.IWSTOP;
  f.IW = m.IWSTOP + f.NCTOTL;
  m.IWSTOP = static_cast<int>(itop);

  OBJCEL.XBASE = f.X;
  FITCB.FCFIRST = true;

  // Start values: the last element visited that carries a parameter gives
  // its value.
  for (int g = 1; g <= NG; ++g) {
    const GroupView G{X, NG, g};
    if (G.B() < 1) continue;
    // The raw-data view (%R) carries no parameters.
    const int raw = G.icol(gcol::kRawLetter);
    for (int L = 1; L <= 26; ++L) {
      int type = icell(G.type(L));
      if (!jobbase::parameter_type(type) || L == raw) continue;
      const int n = jobbase::NELEM(type, icell(G.rows(L)), icell(G.cols(L)));
      const int a = icell(G.addr(L));
      if (a < 1) continue;
      for (int k = 1; k <= n; ++k) {
        const double s = X(a + k - 1);
        if (s <= 0.0) continue;
        const int i = par_index(X, PARLST, NPAR, s);
        if (i == 0) {
          runtime::write_list(runtime::kStdout, {" Subroutine FIT confused"});
          jobbase::ERRMSG(136);
        }
        X(f.X + i - 1) = start_value(X(a + n + k - 1));
      }
    }
  }

  // Default bounds.
  for (int i = 1; i <= f.NCTOTL; ++i) {
    const bool par = i <= N;
    X(f.BLOW + i - 1) = par ? -kParBound : 0.0;
    X(f.BUPP + i - 1) = par ? kParBound : 0.0;
  }

  // Constraint rows by the comparison in each constraint group's formula.
  // The rows follow the N variable rows (N = NPAR whenever there is anything
  // to optimise; a job without free parameters keeps its one dummy variable
  // row apart from them).
  int o = 0;
  for (int g = 1; g <= NG; ++g) {
    const GroupView G{X, NG, g};
    if (G.icol(gcol::kKind) != jobbase::kKindConstraint) continue;
    G.col(gcol::kConDirection) = 0;
    const int mv = G.icol(gcol::kNstat);
    const int fa = G.icol(gcol::kCovFormula);
    int op = 0;
    if (fa >= 1) {
      const int ncode = icell(X(fa));
      for (int k = 1; k <= ncode && op == 0; ++k) {
        const double code = X(fa + k);
        if (code == kOpGreater || code == kOpLess) op = icell(code);
      }
    }
    for (int r = N + o + 1; r <= N + o + mv; ++r) {
      if (op == kOpGreater) X(f.BUPP + r - 1) = kConBound;
      if (op == kOpLess) X(f.BLOW + r - 1) = -kConBound;
    }
    if (op == kOpGreater) G.col(gcol::kConDirection) = 1;
    if (op == kOpLess) G.col(gcol::kConDirection) = -1;
    o += mv;
  }

  // The user's bound records, later ones over earlier ones.
  for (int g = 1; g <= NG; ++g) {
    const GroupView G{X, NG, g};
    const int nrec = G.icol(gcol::kBoundCount);
    const int ra = G.icol(gcol::kBounds);
    for (int r = 0; r < nrec; ++r) {
      const int at = ra + 3 * r;
      const double t = X(at), lo = X(at + 1), hi = X(at + 2);
      int row = 0;
      if (t < 0.0) {
        const int k = icell(-t);
        if (k >= 1 && k <= f.NNLCON) row = N + k;
      } else {
        row = par_index(X, PARLST, NPAR, t);
      }
      if (row == 0) continue;
      X(f.BLOW + row - 1) = lo;
      X(f.BUPP + row - 1) = hi;
    }
  }
}

}  // namespace qv::fit
