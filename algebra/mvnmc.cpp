// Monte Carlo integrator MVNMC and its pass MCRUDE.
#include "algebra/mvnmc.hpp"

#include <algorithm>
#include <cmath>

#include "algebra/mvnlattice.hpp"
#include "algebra/mvnsetup.hpp"

namespace qv::algebra {

void MCRUDE(int NDIM, int NS, MvnIntegrand F, double& ERROR, double& VALUE, int RESTART) {
  Mcrsta& S = MCRSTA;
  if (NDIM < 0 || NDIM > static_cast<int>(S.X.size())) {
    ERROR = 1.0;
    return;
  }
  if (RESTART <= 0) {
    VALUE = 0.0;
    S.WEIGHT = 0.0;
  }
  const auto n = static_cast<std::size_t>(NDIM);
  const std::span<const double> x(S.X.data(), n), xa(S.XA.data(), n);
  double mean = 0.0, var = 0.0;
  for (int m = 1; m <= NS / 2; ++m) {
    for (std::size_t j = 0; j < n; ++j) {
      S.X[j] = URAND();
      S.XA[j] = 1.0 - S.X[j];
    }
    const double v = (F(NDIM, x) + F(NDIM, xa)) / 2.0;
    mvn_accumulate(v, m, mean, var);
  }
  mvn_merge_pass(mean, var, S.WEIGHT, VALUE, ERROR);
}

void MVNMC(int N, std::span<const double> LOWER, std::span<const double> UPPER,
           std::span<const int> KIND, std::span<const double> RHO, int NPTS, double ABSTOL,
           double RELTOL, double& ERROR, double& VALUE, int& INFORM) {
  const int m = mvn_prepare(N, kMvnMaxVar, LOWER, UPPER, KIND, RHO, ERROR, VALUE, INFORM);
  if (m == 0) return;
  int ns = 10 * N + 25;
  MCRUDE(m - 1, ns, MVNINTG, ERROR, VALUE, 0);
  long total = ns;
  for (;;) {
    const double eps = std::max(ABSTOL, RELTOL * std::fabs(VALUE));
    if (!(ERROR > eps) || total >= NPTS) break;
    ns = mvn_next_pass(ns, ERROR, eps, NPTS - total);
    MCRUDE(m - 1, ns, MVNINTG, ERROR, VALUE, 1);
    total += ns;
  }
  INFORM = ERROR > std::max(ABSTOL, RELTOL * std::fabs(VALUE)) ? 1 : 0;
}

}  // namespace qv::algebra
