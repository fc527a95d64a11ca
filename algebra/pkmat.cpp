// Packed Cholesky factor, inverse and condition number.
#include "algebra/pkmat.hpp"

#include <algorithm>
#include <cmath>

#include "runtime/packidx.hpp"
#include "runtime/view1.hpp"

namespace qv::algebra {

using runtime::packed_index;
using runtime::packed_index_sym;
using runtime::packed_size;
using runtime::strict_index;
using runtime::strict_size;
using runtime::Vec1;

void Pksta::reset() {
  R.fill(0.0);
  RI.fill(0.0);
}

void PKCHL(int N, std::span<double> A) {
  Vec1<double> a(A);
  for (int i = 1; i <= N; ++i) {
    for (int j = 1; j <= i; ++j) {
      double s = a(packed_index(i, j));
      for (int k = 1; k < j; ++k) s -= a(packed_index(i, k)) * a(packed_index(j, k));
      if (j < i) {
        const double d = a(packed_index(j, j));
        a(packed_index(i, j)) = d > 0.0 ? s / d : 0.0;
      } else {
        a(packed_index(i, i)) = s > 0.0 ? std::sqrt(s) : 0.0;
      }
    }
  }
}

void PKINV(int N, std::span<double> A, double& DET) {
  Vec1<double> a(A);
  PKCHL(N, A);
  double p = 1.0;
  for (int i = 1; i <= N; ++i) p *= a(packed_index(i, i));
  DET = p * p;
  // Inverse of the triangular factor in place: M = L^-1, row by row.
  for (int i = 1; i <= N; ++i) {
    const double d = a(packed_index(i, i));
    if (d <= 0.0) {
      for (int j = 1; j <= i; ++j) a(packed_index(i, j)) = 0.0;
      continue;
    }
    for (int j = 1; j < i; ++j) {
      // M(i,j) = -(sum_{k=j}^{i-1} L(i,k) M(k,j)) / L(i,i); L(i,k) still held
      // in row i for k >= j as the loop runs over j upwards.
      double s = 0.0;
      for (int k = j; k < i; ++k) s += a(packed_index(i, k)) * a(packed_index(k, j));
      a(packed_index(i, j)) = -s / d;
    }
    a(packed_index(i, i)) = 1.0 / d;
  }
  // A^-1 = M' M: element (i, j), j <= i, is sum_{k>=i} M(k,i) M(k,j); the
  // rows are taken in increasing order so that M(k, .) for k > i is intact.
  for (int i = 1; i <= N; ++i) {
    for (int j = 1; j <= i; ++j) {
      double s = 0.0;
      for (int k = i; k <= N; ++k) s += a(packed_index(k, i)) * a(packed_index(k, j));
      a(packed_index(i, j)) = s;
    }
  }
}

double PKCOND(int N, std::span<const double> RHO) {
  if (N < 1 || N > kPkMaxOrder) return -1.0;
  const auto need = strict_size(static_cast<std::size_t>(N));
  if (RHO.size() < need) return -1.0;
  Pksta& S = PKSTA;
  Vec1<const double> rho(RHO);
  Vec1<double> r(S.R.data(), static_cast<std::ptrdiff_t>(S.R.size()));
  Vec1<double> ri(S.RI.data(), static_cast<std::ptrdiff_t>(S.RI.size()));
  for (int i = 1; i <= N; ++i) {
    for (int j = 1; j < i; ++j) r(packed_index(i, j)) = rho(strict_index(i, j));
    r(packed_index(i, i)) = 1.0;
  }
  const int len = packed_size(N);
  for (int k = 1; k <= len; ++k) ri(k) = r(k);
  double det;
  PKINV(N, std::span<double>(S.RI.data(), static_cast<std::size_t>(len)), det);
  auto rownorm = [&](Vec1<double> m) {
    double best = 0.0;
    for (int i = 1; i <= N; ++i) {
      double s = 0.0;
      for (int j = 1; j <= N; ++j) s += std::fabs(m(packed_index_sym(i, j)));
      best = std::max(best, s);
    }
    return best;
  };
  return rownorm(r) * rownorm(ri);
}

}  // namespace qv::algebra
