#include "optim_alt/qrpivot.hpp"

#include <cmath>
#include <utility>

#include "optim_alt/qrfact.hpp"
#include "optkern/kernels.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

using runtime::Mat1;
using runtime::Vec1;

void E4QRPV(bool unitq, int n, int nfree, int nz, int ldq, int ldr, std::span<int> kx, std::span<int> perm,
            std::span<double> gq, std::span<double> r, std::span<double> q, std::span<double> zeta,
            std::span<double> work, double rcndbd, double& rfrobn) {
  const Mat1<double> R(r, ldr);
  const Vec1<int> P(perm);
  const Vec1<int> KX(kx);
  const Vec1<double> GQ(gq);

  // The null-space columns refactorised with interchanges, which the
  // variables (or the basis) and the reduced gradient follow.
  if (nz > 1) {
    for (int j = 1; j <= nz - 1; ++j)
      for (int i = j + 1; i <= nz; ++i) R(i, j) = 0.0;
    int ifail = 1;
    F01QFF("Column iterchanges", nz, nz, r, ldr, zeta, perm, work, ifail);
    const Mat1<double> Q(q, ldq);
    for (int j = 1; j <= nz; ++j) {
      const int k = P(j);
      if (k <= j) continue;
      if (unitq) {
        std::swap(KX(j), KX(k));
      } else {
        for (int i = 1; i <= nfree; ++i) std::swap(Q(i, j), Q(i, k));
      }
      std::swap(GQ(j), GQ(k));
    }
  }

  // The diagonal bounded below: the columns beyond the rank, and those of
  // the range space.  With rank 0 (R(1,1) = 0) the formulas would leave R
  // singular; 1 takes their place.
  double d = 1.0;
  if (nz > 0) {
    const double r11 = std::abs(R(1, 1));
    const double floor = r11 / rcndbd;
    int rank = 0;
    while (rank < nz && std::abs(R(rank + 1, rank + 1)) > floor) ++rank;
    double dbound = 1.0;
    if (rank > 0) {
      d = 0.5 * std::sqrt(std::abs(R(1, 1) * R(rank, rank)));
      dbound = floor;
    }
    for (int j = rank + 1; j <= nz; ++j) {
      for (int i = 1; i <= j - 1; ++i) R(i, j) = 0.0;
      R(j, j) = dbound;
    }
  }
  for (int j = nz + 1; j <= n; ++j) {
    for (int i = 1; i <= j - 1; ++i) R(i, j) = 0.0;
    R(j, j) = d;
  }

  // The Frobenius norm: the range-space columns give (n - nz) d^2, the
  // null-space block is added column by column.
  double scale = std::sqrt(static_cast<double>(n - nz)) * d;
  double ssq = 1.0;
  for (int j = 1; j <= nz; ++j) optkern::SSQUPD(j, R.col(j).span(), 1, scale, ssq);
  rfrobn = optkern::SSQNRM(scale, ssq);
}

}  // namespace qv::optim_alt
