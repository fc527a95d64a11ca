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
  // The first M - 1 steps as the full integrand takes them, then the deviate
  // of variable M; the pair after it is integrated exactly.
  double d = 0.0, e = 0.0;
  const double prod = mvn_conditional_steps(M - 1, W, d, e);
  Y[M - 1] = PHINV(d + W[static_cast<std::size_t>(M - 1)] * (e - d));
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
