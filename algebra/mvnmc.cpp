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
    const double d = (v - mean) / m;
    mean += d;
    var = (m - 2) * var / m + d * d;
  }
  const double product = S.WEIGHT * var;
  VALUE = VALUE + (mean - VALUE) / (1.0 + product);
  if (var > 0.0) S.WEIGHT = (1.0 + product) / var;
  ERROR = 3.0 * std::sqrt(var / (1.0 + product));
}

void MVNMC(int N, std::span<const double> LOWER, std::span<const double> UPPER,
           std::span<const int> KIND, std::span<const double> RHO, int NPTS, double ABSTOL,
           double RELTOL, double& ERROR, double& VALUE, int& INFORM) {
  if (N < 1 || N > 100) {
    INFORM = 2;
    VALUE = 0.0;
    ERROR = 1.0;
    return;
  }
  int ndrop = 0;
  double d = 0.0, e = 1.0;
  INFORM = MVNSETUP(N, RHO, LOWER, UPPER, KIND, ndrop, d, e);
  if (INFORM != 0) {
    VALUE = 0.0;
    ERROR = 1.0;
    return;
  }
  const int m = N - ndrop;
  if (m == 0) {
    VALUE = 1.0;
    ERROR = 0.0;
    return;
  }
  if (m == 1) {
    VALUE = e - d;
    ERROR = static_cast<double>(2e-16f);
    return;
  }
  int ns = 10 * N + 25;
  MCRUDE(m - 1, ns, MVNINTG, ERROR, VALUE, 0);
  long total = ns;
  for (;;) {
    const double eps = std::max(ABSTOL, RELTOL * std::fabs(VALUE));
    if (!(ERROR > eps) || total >= NPTS) break;
    const long room = NPTS - total;
    // The pass size that should reach the tolerance, within the budget.
    const double want = eps > 0.0 ? ns * (ERROR / eps) * (ERROR / eps) : static_cast<double>(room);
    const long want_l = want < static_cast<double>(room) ? static_cast<long>(want) : room;
    ns = static_cast<int>(std::max(10L, want_l));
    MCRUDE(m - 1, ns, MVNINTG, ERROR, VALUE, 1);
    total += ns;
  }
  INFORM = ERROR > std::max(ABSTOL, RELTOL * std::fabs(VALUE)) ? 1 : 0;
}

}  // namespace qv::algebra
