// Adaptive subregion integrator: driver MVNADP, engine ADPDRV/ADPMAIN, the
// degree-7 rule (RULINIT, NULNORM, RGNRULE, SYMSUM), the split-axis choice
// FOURDIF and the subregion heap HEAPUP.
#include "algebra/mvnadp.hpp"

#include <algorithm>
#include <cmath>

#include "algebra/mvnsetup.hpp"

namespace qv::algebra {

using runtime::Vec1;

namespace {

constexpr int kMaxGen = 6;

// The split of the work array for one dimension (all views 1-based).
struct Layout {
  int ndim = 0, ngen = 0, maxrg = 0, nrule = 0;
  Vec1<double> err, val, heap;  // per subregion
  double* lo = nullptr;         // lower corners, NDIM per subregion
  double* up = nullptr;         // upper corners
  double* ms = nullptr;         // meshes
  double* wt = nullptr;         // weights W(k, j) at wt[(k-1) + (j-1)*ngen]
  double* gen = nullptr;        // generators, NDIM per generator
  double* clo = nullptr;        // current region: lower, upper, width, mesh
  double* cup = nullptr;
  double* cwd = nullptr;
  double* cms = nullptr;
  double* ctr = nullptr;        // scratch: cell centre, point, axis totals
  double* x = nullptr;
  double* dif = nullptr;
  int pts[kMaxGen] = {};        // points per generator slot
  int nz[kMaxGen] = {};         // nonzero entries per generator slot

  double* rlo(int r) const { return lo + static_cast<std::ptrdiff_t>(r - 1) * ndim; }
  double* rup(int r) const { return up + static_cast<std::ptrdiff_t>(r - 1) * ndim; }
  double* rms(int r) const { return ms + static_cast<std::ptrdiff_t>(r - 1) * ndim; }
  double& W(int k, int j) const { return wt[(k - 1) + (j - 1) * ngen]; }
};

int ngen_of(int ndim) { return ndim == 1 ? 5 : 6; }

Layout make_layout(int ndim, int worklen, double* work) {
  Layout L;
  L.ndim = ndim;
  L.ngen = ngen_of(ndim);
  L.nrule = adp_rule_points(ndim);
  L.maxrg = (worklen - L.ngen * (ndim + 4) - 7 * ndim) / (3 * ndim + 3);
  const int m = L.maxrg;
  double* p = work;
  L.err = Vec1<double>(p, m);
  p += m;
  L.val = Vec1<double>(p, m);
  p += m;
  L.heap = Vec1<double>(p, m);
  p += m;
  L.lo = p;
  p += ndim * m;
  L.up = p;
  p += ndim * m;
  L.ms = p;
  p += ndim * m;
  L.wt = p;
  p += L.ngen * 4;
  L.gen = p;
  p += ndim * L.ngen;
  L.clo = p;
  L.cup = p + ndim;
  L.cwd = p + 2 * ndim;
  L.cms = p + 3 * ndim;
  L.ctr = p + 4 * ndim;
  L.x = p + 5 * ndim;
  L.dif = p + 6 * ndim;
  return L;
}

// The degree-7 rule with its comparison rules: generators, weights and
// point counts.  For NDIM = 1 the two-entry generator has no points and its
// slot is taken by the all-entries generator.
void RULINIT(Layout& L) {
  const int n = L.ndim;
  const double lp = static_cast<double>(0.85f);
  const double l3 = static_cast<double>(0.4707f);
  const double l2 = 4.0 / (15.0 - 5.0 / l3);
  double w[kMaxGen + 1][5] = {};
  int pts[kMaxGen + 1] = {0, 1, 2 * n, 2 * n, 2 * n, 2 * n * (n - 1), 0};
  pts[6] = n < 12 ? (1 << n) : 2 * n * (n - 1);
  w[5][1] = (3.0 - 5.0 * l3) / (180.0 * (l2 - l3) * l2 * l2);
  double l1;
  if (n < 12) {
    l1 = 8.0 * l3 * (31.0 * l3 - 15.0) / ((3.0 * l3 - 1.0) * (5.0 * l3 - 3.0) * 35.0);
    w[6][1] = 1.0 / std::pow(3.0 * l3, 3) / std::pow(2.0, n);
  } else {
    w[6][1] = 1.0 / (4.0 * std::pow(3.0 * l3, 3));
    l1 = (l3 * (15.0 - 21.0 * l2) + 35.0 * (n - 1) * (l2 - l3) / 9.0) /
         (l3 * (21.0 - 35.0 * l2) + 35.0 * (n - 1) * (l2 / l3 - 1.0) / 9.0);
  }
  w[3][1] = (15.0 - 21.0 * (l3 + l1) + 35.0 * l3 * l1) / (210.0 * l2 * (l2 - l3) * (l2 - l1)) -
            2.0 * (n - 1) * w[5][1];
  w[2][1] = (15.0 - 21.0 * (l3 + l2) + 35.0 * l3 * l2) / (210.0 * l1 * (l1 - l3) * (l1 - l2));
  if (n > 1) {
    w[5][2] = 1.0 / ((6.0 * l2) * (6.0 * l2));
    w[5][3] = w[5][2];
  }
  w[3][2] = (3.0 - 5.0 * l1) / (30.0 * l2 * (l2 - l1)) - 2.0 * (n - 1) * w[5][2];
  w[2][2] = (3.0 - 5.0 * l2) / (30.0 * l1 * (l1 - l2));
  w[4][3] = (3.0 - 5.0 * l2) / (30.0 * lp * (lp - l2));
  w[3][3] = (3.0 - 5.0 * lp) / (30.0 * l2 * (l2 - lp)) - 2.0 * (n - 1) * w[5][3];
  w[2][4] = 1.0 / (6.0 * l1);
  for (int j = 1; j <= 4; ++j) {
    double s = 0.0;
    for (int k = 2; k <= kMaxGen; ++k) s += pts[k] * w[k][j];
    w[1][j] = 1.0 - s;
  }
  // Generator values: the nonzero entries lead and are equal.
  const double gval[kMaxGen + 1] = {0.0, 0.0, std::sqrt(l1), std::sqrt(l2), std::sqrt(lp),
                                    std::sqrt(l2), std::sqrt(l3)};
  const int gnz[kMaxGen + 1] = {0, 0, 1, 1, 1, 2, n < 12 ? n : 2};

  // Slots: generators 1..6, or 1..4 and 6 for NDIM = 1.
  int map[kMaxGen] = {1, 2, 3, 4, 5, 6};
  if (L.ngen == 5) map[4] = 6;
  for (int s = 1; s <= L.ngen; ++s) {
    const int g = map[s - 1];
    for (int j = 1; j <= 4; ++j) L.W(s, j) = w[g][j];
    L.pts[s - 1] = pts[g];
    L.nz[s - 1] = gnz[g];
    double* gv = L.gen + (s - 1) * n;
    for (int i = 0; i < n; ++i) gv[i] = i < gnz[g] ? gval[g] : 0.0;
  }

  // NULNORM: the comparison rules become null rules (differences from the
  // basic rule), orthogonal to each other in the point-weighted inner
  // product and of the basic rule's norm; then halved.
  double nrm = 0.0;
  for (int k = 1; k <= L.ngen; ++k) nrm += L.pts[k - 1] * L.W(k, 1) * L.W(k, 1);
  for (int j = 2; j <= 4; ++j) {
    for (int k = 1; k <= L.ngen; ++k) L.W(k, j) -= L.W(k, 1);
    for (int i = 2; i < j; ++i) {
      double dot = 0.0;
      for (int k = 1; k <= L.ngen; ++k) dot += L.pts[k - 1] * L.W(k, i) * L.W(k, j);
      for (int k = 1; k <= L.ngen; ++k) L.W(k, j) -= dot / nrm * L.W(k, i);
    }
    double sq = 0.0;
    for (int k = 1; k <= L.ngen; ++k) sq += L.pts[k - 1] * L.W(k, j) * L.W(k, j);
    const double sc = std::sqrt(nrm / sq);
    for (int k = 1; k <= L.ngen; ++k) L.W(k, j) *= sc;
  }
  for (int j = 2; j <= 4; ++j)
    for (int k = 1; k <= L.ngen; ++k) L.W(k, j) /= 2.0;
}

// Sum of f over the fully symmetric orbit of generator slot s about the
// centre: every choice of positions for its nz equal nonzero entries and
// every sign pattern of them.
double SYMSUM(const Layout& L, int s, MvnIntegrand F) {
  const int n = L.ndim;
  const int nz = L.nz[s - 1];
  const double g = L.gen[(s - 1) * n];
  double* x = L.x;
  const std::span<const double> xs(x, static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) x[i] = L.ctr[i];
  if (nz == 0) return F(n, xs);
  int pos[kMvnMaxVar];
  for (int i = 0; i < nz; ++i) pos[i] = i;
  double sum = 0.0;
  for (;;) {
    // All sign patterns for these positions.
    for (unsigned long sg = 0; sg < (1ul << nz); ++sg) {
      for (int t = 0; t < nz; ++t) {
        const int i = pos[t];
        const double d = L.cwd[i] * g;
        x[i] = ((sg >> t) & 1ul) ? L.ctr[i] - d : L.ctr[i] + d;
      }
      sum += F(n, xs);
    }
    for (int t = 0; t < nz; ++t) x[pos[t]] = L.ctr[pos[t]];
    // Next combination of positions.
    int t = nz - 1;
    while (t >= 0 && pos[t] == n - nz + t) --t;
    if (t < 0) break;
    ++pos[t];
    for (int u = t + 1; u < nz; ++u) pos[u] = pos[u - 1] + 1;
  }
  return sum;
}

// Steps the cell centre to the next mesh cell of the current region; false
// after the last cell.
bool next_cell(const Layout& L) {
  for (int i = 0; i < L.ndim; ++i) {
    L.ctr[i] += 2.0 * L.cwd[i];
    if (L.ctr[i] < L.cup[i]) return true;
    L.ctr[i] = L.clo[i] + L.cwd[i];
  }
  return false;
}

void first_cell(const Layout& L) {
  for (int i = 0; i < L.ndim; ++i) L.ctr[i] = L.clo[i] + L.cwd[i];
}

// Basic rule and error estimate over the current region (all its cells).
void RGNRULE(const Layout& L, MvnIntegrand F, double& value, double& error) {
  double vol = 1.0;
  for (int i = 0; i < L.ndim; ++i) vol *= 2.0 * L.cwd[i];
  value = 0.0;
  error = 0.0;
  first_cell(L);
  do {
    double R[5] = {};
    for (int s = 1; s <= L.ngen; ++s) {
      const double f = SYMSUM(L, s, F);
      for (int j = 1; j <= 4; ++j) R[j] += L.W(s, j) * f;
    }
    double e = std::sqrt(R[3] * R[3] + R[2] * R[2]);
    const double c = std::sqrt(R[4] * R[4] + R[3] * R[3]);
    if (c > 4.0 * e) e = e / 2.0;
    if (c < 2.0 * e) e = std::max(e, c);
    error += vol * e;
    value += vol * R[1];
  } while (next_cell(L));
}

// Chooses the split axis of the current region from fourth differences;
// adds its evaluations to used.
void FOURDIF(const Layout& L, MvnIntegrand F, int& axis, long& used) {
  const int n = L.ndim;
  axis = axis % n + 1;
  if (n == 1) return;
  for (int i = 0; i < n; ++i) L.dif[i] = 0.0;
  double* x = L.x;
  const std::span<const double> xs(x, static_cast<std::size_t>(n));
  first_cell(L);
  do {
    for (int i = 0; i < n; ++i) x[i] = L.ctr[i];
    const double f0 = F(n, xs);
    for (int i = 0; i < n; ++i) {
      const double w = L.cwd[i] / 5.0;
      const double c = L.ctr[i];
      x[i] = c - 4.0 * w;
      double d = F(n, xs);
      x[i] = c - 2.0 * w;
      d -= 4.0 * F(n, xs);
      x[i] = c + 2.0 * w;
      const double fp2 = F(n, xs);
      x[i] = c + 4.0 * w;
      const double fp4 = F(n, xs);
      x[i] = c;
      d = d + 6.0 * f0 - 4.0 * fp2 + fp4;
      if (f0 + d / 8.0 != f0) L.dif[i] += std::fabs(d) * L.cwd[i];
    }
    used += 4 * n + 1;
  } while (next_cell(L));
  int best = axis;
  for (int i = 1; i <= n; ++i)
    if (L.dif[i - 1] > L.dif[best - 1]) best = i;
  axis = best;
}

// Loads subregion r into the current region (width = cell half-widths).
void load_region(const Layout& L, int r) {
  const double *lo = L.rlo(r), *up = L.rup(r), *ms = L.rms(r);
  for (int i = 0; i < L.ndim; ++i) {
    L.clo[i] = lo[i];
    L.cup[i] = up[i];
    L.cms[i] = ms[i];
    L.cwd[i] = (up[i] - lo[i]) / (2.0 * ms[i]);
  }
}

void store_region(const Layout& L, int r) {
  double *lo = L.rlo(r), *up = L.rup(r), *ms = L.rms(r);
  for (int i = 0; i < L.ndim; ++i) {
    lo[i] = L.clo[i];
    up[i] = L.cup[i];
    ms[i] = L.cms[i];
  }
}

void ADPMAIN(Layout& L, int& MINEVAL, int MAXEVAL, MvnIntegrand F, double ABSTOL, double RELTOL,
             double& ERROR, double& VALUE, int& INFORM, int& count) {
  const int n = L.ndim;
  INFORM = 2;
  long used = 0;
  RULINIT(L);
  int& axis = ADPSTA.AXIS;
  if (MINEVAL >= 0) {
    for (int i = 0; i < n; ++i) {
      L.clo[i] = 0.0;
      L.cup[i] = 1.0;
      L.cms[i] = 1.0;
      L.cwd[i] = 0.5;
    }
    long factor = L.nrule, newreg = 1;
    axis = 0;
    for (;;) {
      FOURDIF(L, F, axis, used);
      const double m = L.cms[axis - 1];
      if (static_cast<double>(used) + static_cast<double>(factor) * (m + 1.0) / m <=
          static_cast<double>(MINEVAL)) {
        const long mi = static_cast<long>(m);
        factor = factor * (mi + 1) / mi;
        newreg = newreg * (mi + 1) / mi;
        L.cms[axis - 1] = m + 1.0;
        L.cwd[axis - 1] = 1.0 / (2.0 * L.cms[axis - 1]);
      } else {
        break;
      }
    }
    count = 0;
    if (newreg <= L.maxrg) {
      // Every mesh cell becomes a subregion of mesh 1.
      double cell[kMvnMaxVar];
      for (int i = 0; i < n; ++i) cell[i] = 0.0;  // cell index per axis
      for (;;) {
        ++count;
        double *lo = L.rlo(count), *up = L.rup(count), *ms = L.rms(count);
        for (int i = 0; i < n; ++i) {
          lo[i] = 2.0 * L.cwd[i] * cell[i];
          up[i] = lo[i] + 2.0 * L.cwd[i];
          ms[i] = 1.0;
        }
        int i = 0;
        while (i < n) {
          cell[i] += 1.0;
          if (cell[i] < L.cms[i]) break;
          cell[i] = 0.0;
          ++i;
        }
        if (i == n) break;
      }
    } else {
      count = 1;
      store_region(L, 1);
    }
    for (int r = 1; r <= count; ++r) {
      load_region(L, r);
      RGNRULE(L, F, L.val(r), L.err(r));
      HEAPUP(r, r, L.heap, Vec1<const double>(L.err.ptr(), L.maxrg));
    }
    used += static_cast<long>(count) * L.nrule;
  }
  for (;;) {
    double value = 0.0, error = 0.0;
    for (int r = 1; r <= count; ++r) {
      value += L.val(r);
      error += L.err(r);
    }
    VALUE = value;
    ERROR = error;
    if (error <= std::max(ABSTOL, RELTOL * std::fabs(value)) && used >= MINEVAL) {
      INFORM = 0;
      break;
    }
    const int top = static_cast<int>(L.heap(1));
    load_region(L, top);
    double cost = L.nrule;
    for (int i = 0; i < n; ++i) cost *= L.cms[i];
    FOURDIF(L, F, axis, used);
    const int a = axis - 1;
    cost = cost * (L.cms[a] + 1.0) / L.cms[a];
    if (static_cast<double>(used) + cost > static_cast<double>(MAXEVAL)) {
      INFORM = 1;
      break;
    }
    int newr = 0;
    if (count + 1 <= L.maxrg) {
      L.cwd[a] /= 2.0;
      newr = count + 1;
      store_region(L, newr);
      const double cut = L.clo[a] + 2.0 * L.cwd[a];
      L.rup(top)[a] = cut;
      L.rlo(newr)[a] = cut;
    } else {
      L.cwd[a] = L.cwd[a] * L.cms[a] / (L.cms[a] + 1.0);
      L.rms(top)[a] = L.cms[a] + 1.0;
    }
    used += static_cast<long>(cost);
    load_region(L, top);
    RGNRULE(L, F, L.val(top), L.err(top));
    HEAPUP(top, count, L.heap, Vec1<const double>(L.err.ptr(), L.maxrg));
    if (newr != 0) {
      load_region(L, newr);
      RGNRULE(L, F, L.val(newr), L.err(newr));
      count = newr;
      HEAPUP(newr, count, L.heap, Vec1<const double>(L.err.ptr(), L.maxrg));
    }
  }
  MINEVAL = static_cast<int>(std::min<long>(used, 2147483647L));
}

}  // namespace

void Adpsta::reset() {
  WORK.fill(0.0);
  AXIS = 0;
  NRULE = 0;
  BUDGET = 0;
  TOTAL = 0;
  PREV = 0.0;
}

int adp_rule_points(int NDIM) {
  if (NDIM == 1) return 9;
  if (NDIM <= 11) return (1 << NDIM) + 2 * NDIM * (NDIM + 2) + 1;
  return 1 + 2 * NDIM * (1 + 2 * NDIM);
}

void HEAPUP(int REGION, int COUNT, Vec1<double> HEAP, Vec1<const double> ERRORS) {
  const double e = ERRORS(REGION);
  int p;
  if (COUNT >= 1 && static_cast<int>(HEAP(1)) == REGION) {
    p = 1;
    for (;;) {
      int c = 2 * p;
      if (c > COUNT) break;
      if (c < COUNT && ERRORS(static_cast<int>(HEAP(c + 1))) > ERRORS(static_cast<int>(HEAP(c))))
        ++c;
      if (ERRORS(static_cast<int>(HEAP(c))) > e) {
        HEAP(p) = HEAP(c);
        p = c;
      } else {
        break;
      }
    }
  } else {
    p = COUNT;
    while (p > 1) {
      const int q = p / 2;
      if (e > ERRORS(static_cast<int>(HEAP(q)))) {
        HEAP(p) = HEAP(q);
        p = q;
      } else {
        break;
      }
    }
  }
  HEAP(p) = REGION;
}

void ADPDRV(int NDIM, int& MINEVAL, int MAXEVAL, MvnIntegrand F, double ABSTOL, double RELTOL,
            int WORKLEN, std::span<double> WORK, double& ERROR, double& VALUE, int& INFORM) {
  INFORM = 2;
  if (NDIM < 1 || NDIM > kMvnMaxVar || WORKLEN < 1 || WORK.size() < static_cast<std::size_t>(WORKLEN)) {
    MINEVAL = 0;
    return;
  }
  const int ngen = ngen_of(NDIM);
  const int nrule = adp_rule_points(NDIM);
  if (MINEVAL > MAXEVAL || nrule > MAXEVAL || WORKLEN < ngen * (NDIM + 4) + 10 * NDIM + 3) {
    MINEVAL = nrule;
    return;
  }
  Layout L = make_layout(NDIM, WORKLEN, WORK.data());
  double& last = WORK[static_cast<std::size_t>(WORKLEN - 1)];
  int count = 0;
  if (MINEVAL < 0) {
    // A continuation needs the subregions of an earlier integration of this
    // dimension: a count outside 1..MAXRG is refused, never used.
    const double c = last;
    if (!(c >= 1.0 && c <= L.maxrg)) {
      MINEVAL = 0;
      return;
    }
    count = static_cast<int>(c);
  }
  ADPMAIN(L, MINEVAL, MAXEVAL, F, ABSTOL, RELTOL, ERROR, VALUE, INFORM, count);
  last = count;
}

void adp_integrate(int NDIM, MvnIntegrand F, int NPTS, double ABSTOL, double RELTOL, double& ERROR,
                   double& VALUE, int& INFORM) {
  Adpsta& S = ADPSTA;
  std::span<double> work(S.WORK);
  int mineval = 1;
  ADPDRV(NDIM, mineval, 0, F, ABSTOL, RELTOL, kAdpWorkLen, work, ERROR, VALUE, INFORM);
  S.NRULE = mineval;
  S.BUDGET = std::min(10 * S.NRULE, NPTS);
  S.TOTAL = 0;
  ADPDRV(NDIM, S.TOTAL, S.BUDGET, F, ABSTOL, RELTOL, kAdpWorkLen, work, ERROR, VALUE, INFORM);
  if (INFORM == 2) {
    // The budget is below the rule's point count: nothing was computed.
    INFORM = 1;
    VALUE = 0.0;
    ERROR = 1.0;
    return;
  }
  if (ERROR <= std::max(ABSTOL, RELTOL * std::fabs(VALUE))) return;
  for (;;) {
    S.PREV = VALUE;
    S.BUDGET = std::max(2 * S.NRULE, std::min(3 * S.BUDGET / 2, NPTS - S.TOTAL));
    int used = -1;
    ADPDRV(NDIM, used, S.BUDGET, F, ABSTOL, RELTOL, kAdpWorkLen, work, ERROR, VALUE, INFORM);
    S.TOTAL += used;
    ERROR = std::fabs(VALUE - S.PREV) + std::sqrt(S.NRULE * ERROR * ERROR / static_cast<double>(S.TOTAL));
    if (ERROR <= std::max(ABSTOL, RELTOL * std::fabs(VALUE))) {
      INFORM = 0;
      return;
    }
    if (!(NPTS - S.TOTAL > 2 * S.NRULE)) return;
  }
}

void MVNADP(int N, std::span<const double> LOWER, std::span<const double> UPPER,
            std::span<const int> KIND, std::span<const double> RHO, int NPTS, double ABSTOL,
            double RELTOL, double& ERROR, double& VALUE, int& INFORM) {
  const int m = mvn_prepare(N, kAdpMaxVar, LOWER, UPPER, KIND, RHO, ERROR, VALUE, INFORM);
  if (m == 0) return;
  adp_integrate(m - 1, MVNINTG, NPTS, ABSTOL, RELTOL, ERROR, VALUE, INFORM);
}

}  // namespace qv::algebra
