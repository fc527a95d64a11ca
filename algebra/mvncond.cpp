#include "algebra/mvncond.hpp"

#include <cmath>

#include "algebra/mvnadp.hpp"
#include "algebra/mvnsetup.hpp"
#include "runtime/packidx.hpp"

namespace qv::algebra {

double mvn_conditional_integrand(int M, std::span<const double> W) {
  const Mvnsta& S = MVNSTA;
  const double* F = S.FACT.data();
  double* Y = MVNSTA.Y.data();
  double d = S.D, e = S.E;
  double prod = e - d;
  int pos = 1;  // 0-based start of row i+1 of the packed triangle
  for (int i = 0; i < M; ++i) {
    Y[i] = PHINV(d + W[static_cast<std::size_t>(i)] * (e - d));
    if (i + 1 == M) break;  // variable M is the pair's first
    double sum = 0.0;
    for (int j = 0; j <= i; ++j) sum += F[pos + j] * Y[j];
    const double diag = F[pos + i + 1];
    const double a = S.A[static_cast<std::size_t>(i + 1)] - sum;
    const double b = S.B[static_cast<std::size_t>(i + 1)] - sum;
    const int fl = S.KINDS[static_cast<std::size_t>(i + 1)];
    if (diag > 0.0) {
      PHILIM(a, b, fl, d, e);
    } else {
      // Singular step, as in MVNINTG: 1 inside the limits, 0 outside.
      d = (fl != 0 && a >= 0.0) ? 1.0 : 0.0;
      e = (fl == 1 || b >= 0.0) ? 1.0 : 0.0;
    }
    prod *= e - d;
    pos += i + 2;
  }
  // The pair: variables M and M + 1 (from 0), rows at M(M+1)/2 and
  // (M+1)(M+2)/2 of the packed factor, each scaled to a unit diagonal.
  // Given the deviates, the first is z1 in (a1, b1) and the second
  // c z1 + z2 in (a2, b2), z1 and z2 independent standard normal: the
  // rectangle of (z1, (c z1 + z2) / sqrt(1 + c^2)) with correlation
  // c / sqrt(1 + c^2).
  const int rp = M * (M + 1) / 2, rq = (M + 1) * (M + 2) / 2;
  double sp = 0.0, sq = 0.0;
  for (int j = 0; j < M; ++j) {
    sp += F[rp + j] * Y[j];
    sq += F[rq + j] * Y[j];
  }
  const auto p = static_cast<std::size_t>(M);
  const double lower[2] = {S.A[p] - sp, (S.A[p + 1] - sq) / MVNCND.SCALE};
  const double upper[2] = {S.B[p] - sp, (S.B[p + 1] - sq) / MVNCND.SCALE};
  const int kinds[2] = {S.KINDS[p], S.KINDS[p + 1]};
  return prod * bvn_rect_prepared(MVNCND.RULE, lower, upper, kinds);
}

void mvn_conditional_box(int N, std::span<const double> LOWER, std::span<const double> UPPER,
                         std::span<const int> KIND, std::span<const double> RHO, int NPTS, double ABSTOL,
                         double RELTOL, double& ERROR, double& VALUE, int& INFORM) {
  const int m = mvn_prepare(N, kAdpMaxVar, LOWER, UPPER, KIND, RHO, ERROR, VALUE, INFORM);
  if (m == 0) return;
  // The set-up settles two kept variables exactly, so m >= 3 here.  The
  // pair needs positive conditional variances (scaled diagonals of 1).
  const Mvnsta& S = MVNSTA;
  const auto at = [](int i, int j) { return static_cast<std::size_t>(runtime::packed_index(i, j) - 1); };
  if (m < 3 || !(S.FACT[at(m - 1, m - 1)] > 0.0) || !(S.FACT[at(m, m)] > 0.0)) {
    adp_integrate(m - 1, MVNINTG, NPTS, ABSTOL, RELTOL, ERROR, VALUE, INFORM);
    return;
  }
  const double c = S.FACT[at(m, m - 1)];
  MVNCND.SCALE = std::sqrt(1.0 + c * c);
  MVNCND.R = c / MVNCND.SCALE;
  bvn_prepare(MVNCND.R, MVNCND.RULE);
  adp_integrate(m - 2, mvn_conditional_integrand, NPTS, ABSTOL, RELTOL, ERROR, VALUE, INFORM);
}

}  // namespace qv::algebra
