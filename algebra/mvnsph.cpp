// Spherical-radial integrator MVNSPH with its set-up and sample, the radial
// probability, the chi distribution function and the normal deviate.
#include "algebra/mvnsph.hpp"

#include <algorithm>
#include <cmath>

#include "algebra/mvnlattice.hpp"
#include "algebra/mvnsetup.hpp"
#include "algebra/pkmat.hpp"
#include "runtime/packidx.hpp"

namespace qv::algebra {

using runtime::packed_offset;
using runtime::packed_size;
using runtime::strict_offset;
using runtime::strict_size;

namespace {
inline double gauss(double x) { return std::exp(-x * x / 2.0); }

// Builds the 64-strip table: strips of equal area V under exp(-x^2/2), the
// base strip holding the tail beyond R.  R is found by bisection so that
// the 64th strip closes at the top of the curve.
void build_nrmtab(Nrmtab& T) {
  auto layers = [&](double r, bool store) {
    const double v = r * gauss(r) + std::sqrt(M_PI / 2.0) * std::erfc(r / std::sqrt(2.0));
    double x = r;
    if (store) {
      T.X[0] = v / gauss(r);
      T.X[1] = r;
    }
    for (int i = 1; i < 64; ++i) {
      const double y = gauss(x) + v / x;
      if (y >= 1.0) return i;  // closed too early: the strips are too wide
      x = std::sqrt(-2.0 * std::log(y));
      if (store) T.X[static_cast<std::size_t>(i + 1)] = x;
    }
    return 64;
  };
  double lo = 1.0, hi = 6.0;
  for (int it = 0; it < 200; ++it) {
    const double mid = (lo + hi) / 2.0;
    if (layers(mid, false) < 64) lo = mid;
    else hi = mid;
  }
  T.R = hi;
  layers(T.R, true);
  T.X[64] = 0.0;
  for (std::size_t i = 0; i <= 64; ++i) T.F[i] = gauss(T.X[i]);
  T.filled = true;
}
}  // namespace

void Sphsta::reset() {
  M = 0;
  NDIR = 0;
  A.fill(0.0);
  B.fill(0.0);
  KINDS.fill(0);
  L.fill(0.0);
  Q.fill(0.0);
  LQ.fill(0.0);
  V.fill(0.0);
  WEIGHT = 0.0;
}

double NRMDEV() {
  Nrmtab& T = NRMTAB;
  if (!T.filled) build_nrmtab(T);
  for (;;) {
    const double u1 = URAND();
    const int j = std::min(127, static_cast<int>(u1 * 128.0));
    const auto i = static_cast<std::size_t>(j & 63);
    const double sign = j >= 64 ? -1.0 : 1.0;
    const double x = URAND() * T.X[i];
    if (x < T.X[i + 1]) return sign * x;  // inside the strip's rectangle
    if (i == 0) {
      // The tail beyond R (Marsaglia's exponential test).
      double t, y;
      do {
        t = -std::log(URAND()) / T.R;
        y = -std::log(URAND());
      } while (!(2.0 * y > t * t));
      return sign * (T.R + t);
    }
    // The wedge between the rectangle and the curve.
    if (T.F[i] + URAND() * (T.F[i + 1] - T.F[i]) < gauss(x)) return sign * x;
  }
}

double CHICDF(int n, double r) {
  if (r <= 0.0) return 0.0;
  if (n <= 0) return 1.0;
  if (n == 1) return 1.0 - 2.0 * PHITL(-r);
  double s = 1.0;
  for (int b = n - 2; b > 1; b -= 2) s = r * r * s / b + 1.0;
  if (n % 2 == 1) {
    const double ex = std::log(r * s) - r * r / 2.0;
    double p = 1.0 - 2.0 * PHITL(-r);
    if (ex > -40.0) p -= 2.0 * std::exp(ex) / 2.5066282746310002;
    return p;
  }
  const double ex = std::log(s) - r * r / 2.0;
  return ex > -40.0 ? 1.0 - std::exp(ex) : 1.0;
}

double SPHRAD(int NDIM, std::span<const double> LOWER, std::span<const double> UPPER,
              std::span<const int> KIND, std::span<const double> DIR) {
  double rmin = -10.0 * NDIM, rmax = 10.0 * NDIM;
  for (std::size_t i = 0; i < static_cast<std::size_t>(NDIM); ++i) {
    const int fl = KIND[i];
    if (fl < 0) continue;
    const bool haslo = fl != 0, hasup = fl != 1;
    const double c = DIR[i];
    if (c > 0.0) {
      if (haslo) rmin = std::max(rmin, LOWER[i] / c);
      if (hasup) rmax = std::min(rmax, UPPER[i] / c);
    } else if (c < 0.0) {
      if (haslo) rmax = std::min(rmax, LOWER[i] / c);
      if (hasup) rmin = std::max(rmin, UPPER[i] / c);
    } else if ((haslo && LOWER[i] > 0.0) || (hasup && UPPER[i] < 0.0)) {
      return 0.0;  // the line never enters this variable's interval
    }
  }
  if (rmax <= rmin) return 0.0;
  if (rmin >= 0.0) return CHICDF(NDIM, rmax) - CHICDF(NDIM, rmin);
  if (rmax >= 0.0) return CHICDF(NDIM, rmax) + CHICDF(NDIM, -rmin);
  return CHICDF(NDIM, -rmin) - CHICDF(NDIM, -rmax);
}

int SPHSET(int N, std::span<const double> LOWER, std::span<const double> UPPER,
           std::span<const int> KIND, std::span<const double> RHO, int& NDROP, double& D,
           double& E, int& NDIR) {
  Sphsta& S = SPHSTA;
  NDROP = 0;
  D = 0.0;
  E = 1.0;
  NDIR = 0;
  const auto n = static_cast<std::size_t>(std::max(N, 0));
  if (N < 0 || N > kSphMaxVar || LOWER.size() < n || UPPER.size() < n || KIND.size() < n ||
      RHO.size() < strict_size(n))
    return 2;
  if (!mvn_kept_psd(N, RHO, KIND)) return 4;
  // The dropped variables go to the end by the exchanges of the sort.
  int perm[kSphMaxVar + 1];
  for (int i = 1; i <= N; ++i) perm[i] = i;
  for (int i = 1; i <= N; ++i)
    if (KIND[static_cast<std::size_t>(i - 1)] < 0) ++NDROP;
  auto kd = [&](int v) { return KIND[static_cast<std::size_t>(v - 1)]; };
  for (int i = N; i >= N - NDROP + 1; --i) {
    if (kd(perm[i]) >= 0) {
      int j = 1;
      while (j < i && kd(perm[j]) >= 0) ++j;
      if (j < i) std::swap(perm[i], perm[j]);
    }
  }
  const int m = N - NDROP;
  S.M = m;
  auto corr = [&](int a, int b) {  // original variables a != b
    if (a < b) std::swap(a, b);
    return RHO[static_cast<std::size_t>(strict_offset(a, b))];
  };
  for (int i = 1; i <= m; ++i) {
    const int v = perm[i];
    const auto iv = static_cast<std::size_t>(v - 1);
    S.KINDS[static_cast<std::size_t>(i - 1)] = KIND[iv];
    S.A[static_cast<std::size_t>(i - 1)] = KIND[iv] != 0 ? LOWER[iv] : 0.0;
    S.B[static_cast<std::size_t>(i - 1)] = KIND[iv] != 1 ? UPPER[iv] : 0.0;
    for (int j = 1; j < i; ++j) S.L[static_cast<std::size_t>(packed_offset(i, j))] = corr(v, perm[j]);
    S.L[static_cast<std::size_t>(packed_offset(i, i))] = 1.0;
  }
  if (m == 1) {
    PHILIM(S.A[0], S.B[0], S.KINDS[0], D, E);
  } else if (m == 2) {
    // Two variables: their exact value (the directions need three).
    E = BVNRECT(std::span<const double>(S.A.data(), 2), std::span<const double>(S.B.data(), 2),
                std::span<const int>(S.KINDS.data(), 2), S.L[1]);
    D = 0.0;
    NDROP += 1;
  } else if (m >= 3) {
    PKCHL(m, std::span<double>(S.L.data(), static_cast<std::size_t>(packed_size(m))));
    long nd = 1;
    for (int i = 1; i <= 3; ++i) nd = nd * 2 * (m - i + 1) / i;
    NDIR = static_cast<int>(nd);
  }
  S.NDIR = NDIR;
  return 0;
}

double SPHPT() {
  Sphsta& S = SPHSTA;
  const int m = S.M;
  const auto um = static_cast<std::size_t>(m);
  // Q: Gram-Schmidt orthonormalisation of a matrix of normal deviates.
  double* q = S.Q.data();
  for (std::size_t k = 0; k < um * um; ++k) q[k] = NRMDEV();
  for (std::size_t c = 0; c < um; ++c) {
    double* qc = q + c * um;
    for (std::size_t p = 0; p < c; ++p) {
      const double* qp = q + p * um;
      double dot = 0.0;
      for (std::size_t i = 0; i < um; ++i) dot += qp[i] * qc[i];
      for (std::size_t i = 0; i < um; ++i) qc[i] -= dot * qp[i];
    }
    double nrm = 0.0;
    for (std::size_t i = 0; i < um; ++i) nrm += qc[i] * qc[i];
    nrm = std::sqrt(nrm);
    for (std::size_t i = 0; i < um; ++i) qc[i] /= nrm;
  }
  // LQ = L Q, column by column.
  for (std::size_t c = 0; c < um; ++c)
    for (int i = 1; i <= m; ++i) {
      double s = 0.0;
      for (int j = 1; j <= i; ++j)
        s += S.L[static_cast<std::size_t>(packed_offset(i, j))] * q[c * um + static_cast<std::size_t>(j - 1)];
      S.LQ[c * um + static_cast<std::size_t>(i - 1)] = s;
    }
  const double r3 = 1.0 / std::sqrt(3.0);
  const std::span<const double> a(S.A.data(), um), b(S.B.data(), um), v(S.V.data(), um);
  const std::span<const int> kinds(S.KINDS.data(), um);
  double mean = 0.0;
  long count = 0;
  for (std::size_t i = 0; i < um; ++i)
    for (std::size_t j = i + 1; j < um; ++j)
      for (std::size_t k = j + 1; k < um; ++k) {
        const double *ci = &S.LQ[i * um], *cj = &S.LQ[j * um], *ck = &S.LQ[k * um];
        for (int sg = 0; sg < 8; ++sg) {
          const double si = (sg & 1) ? -r3 : r3, sj = (sg & 2) ? -r3 : r3, sk = (sg & 4) ? -r3 : r3;
          for (std::size_t t = 0; t < um; ++t) S.V[t] = si * ci[t] + sj * cj[t] + sk * ck[t];
          ++count;
          mean += (SPHRAD(m, a, b, kinds, v) - mean) / static_cast<double>(count);
        }
      }
  return mean / 2.0;
}

void SPHRND(int NDIM, int NS, double& ERROR, double& VALUE, int RESTART) {
  Sphsta& S = SPHSTA;
  if (RESTART <= 0) {
    VALUE = 0.0;
    S.WEIGHT = 0.0;
  }
  double mean = 0.0, var = 0.0;
  for (int m = 1; m <= NS; ++m) mvn_accumulate(SPHPT(), m, mean, var);
  mvn_merge_pass(mean, var, S.WEIGHT, VALUE, ERROR);
}

void MVNSPH(int N, std::span<const double> LOWER, std::span<const double> UPPER,
            std::span<const int> KIND, std::span<const double> RHO, int NPTS, double ABSTOL,
            double RELTOL, double& ERROR, double& VALUE, int& INFORM) {
  // Only N above 100 is refused here (N = 0 is a problem with nothing kept).
  int ndrop = 0, ndir = 0;
  double d = 0.0, e = 1.0;
  if (N >= 0 && N <= kSphMaxVar && mvn_nan_limit(N, LOWER, UPPER, KIND, ERROR, VALUE)) {
    INFORM = kMvnOk;
    return;
  }
  INFORM = (N < 0 || N > kSphMaxVar) ? kMvnRange
                                      : SPHSET(N, LOWER, UPPER, KIND, RHO, ndrop, d, e, ndir);
  const int m = N - ndrop;
  if (mvn_settle(INFORM, m, d, e, ERROR, VALUE)) return;
  const long n3 = static_cast<long>(N) * N * N;
  int ns = static_cast<int>(ndir / n3 + 25);
  SPHRND(m, ns, ERROR, VALUE, 0);
  long used = static_cast<long>(ns) * ndir;
  for (;;) {
    const double eps = std::max(ABSTOL, RELTOL * std::fabs(VALUE));
    if (!(ERROR > eps) || used >= NPTS) break;
    ns = mvn_next_pass(ns, ERROR, eps, (NPTS - used) / ndir);
    SPHRND(m, ns, ERROR, VALUE, 1);
    used += static_cast<long>(ns) * ndir;
  }
  INFORM = ERROR > std::max(ABSTOL, RELTOL * std::fabs(VALUE)) ? 1 : 0;
}

}  // namespace qv::algebra
