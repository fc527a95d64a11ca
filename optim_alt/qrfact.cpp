#include "optim_alt/qrfact.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"
#include "optim_alt/blas.hpp"
#include "optkern/kernels.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

using runtime::Mat1;
using runtime::Vec1;

namespace {

constexpr int kInc = 1;
constexpr double kUnit = 1.0;
constexpr double kNought = 0.0;
constexpr double kMinusUnit = -1.0;

// Reports nerr parameter errors of routine name through the error exit.
int parameter_failure(int ifail, int nerr, std::string_view name) {
  char num[16];
  std::snprintf(num, sizeof num, "%2d", nerr);
  const std::string rec[1] = {std::string("    The input parameters contained ") + num + " error(s)"};
  return numlib::ERREXIT(ifail, -1, name, rec);
}

// Applies reflector k (scalar part z > 0) to columns k+1..n of A, rows k..m.
// The words w(1..n-k) take the products u' A(k..m, j) on the way.
void reflect_columns(const Mat1<double>& A, int m, int n, int k, double z, const Vec1<double>& w) {
  const double diag = A(k, k);
  A(k, k) = z;
  const int rows = m - k + 1;
  const int cols = n - k;
  const int lda = static_cast<int>(A.ld());
  dgemv_("Transpose", &rows, &cols, &kUnit, A.ptr(k, k + 1), &lda, A.ptr(k, k), &kInc, &kNought, w.ptr(1),
         &kInc, 1);
  dger_(&rows, &cols, &kMinusUnit, A.ptr(k, k), &kInc, w.ptr(1), &kInc, A.ptr(k, k + 1), &lda);
  A(k, k) = diag;
}

// Euclidean norm of A(i1..m, j).
double tail_norm(const Mat1<double>& A, int i1, int m, int j) {
  const int len = m - i1 + 1;
  if (len <= 0) return 0.0;
  return dnrm2_(&len, A.ptr(i1, j), &kInc);
}

}  // namespace

void F01QCF(int m, int n, std::span<double> a, int lda, std::span<double> zeta, int& ifail) {
  int nerr = 0;
  if (m < n) numlib::PARREP2(m, "M", ifail, nerr, "F01QCF");
  if (n < 0) numlib::PARREP2(n, "N", ifail, nerr, "F01QCF");
  if (lda < m) numlib::PARREP2(lda, "LDA", ifail, nerr, "F01QCF");
  if (nerr > 0) {
    ifail = parameter_failure(ifail, nerr, "F01QCF");
    return;
  }
  if (n == 0) {
    ifail = 0;
    return;
  }
  const Mat1<double> A(a, lda);
  const Vec1<double> Z(zeta);
  const int kmax = std::min(m - 1, n);
  for (int k = 1; k <= kmax; ++k) {
    optkern::HHGEN(m - k, A(k, k), A.col(k).from(k + 1).span(), 1, 0.0, Z(k));
    // ZETA(k+1..n) are not formed yet: their words hold the products.
    if (Z(k) > 0.0 && k < n) reflect_columns(A, m, n, k, Z(k), Z.from(k + 1));
  }
  if (m == n) Z(n) = 0.0;
  ifail = 0;
}

void F01QFF(std::string_view pivot, int m, int n, std::span<double> a, int lda, std::span<double> zeta,
            std::span<int> perm, std::span<double> work, int& ifail) {
  const char piv =
      pivot.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(pivot[0])));
  int nerr = 0;
  if (piv != 'C' && piv != 'S') numlib::PARREP3(pivot.substr(0, 1), "PIVOT", ifail, nerr, "F01QFF");
  if (m < 0) numlib::PARREP2(m, "M", ifail, nerr, "F01QFF");
  if (n < 0) numlib::PARREP2(n, "N", ifail, nerr, "F01QFF");
  if (lda < m) numlib::PARREP2(lda, "LDA", ifail, nerr, "F01QFF");
  if (nerr > 0) {
    ifail = parameter_failure(ifail, nerr, "F01QFF");
    return;
  }
  if (std::min(m, n) == 0) {
    ifail = 0;
    return;
  }
  const double eps = numlib::EPSMACH();
  const Mat1<double> A(a, lda);
  const Vec1<double> Z(zeta);
  const Vec1<int> P(perm);
  const Vec1<double> W(work);
  // W(j): initial norm of column j; W(n+j): norm of its part not yet reduced.
  for (int j = 1; j <= n; ++j) {
    W(j) = tail_norm(A, 1, m, j);
    W(n + j) = W(j);
  }
  const int kmax = std::min(m, n);
  for (int k = 1; k <= kmax; ++k) {
    int p = k;
    if (piv == 'C') {
      double best = 0.0;
      for (int j = k; j <= n; ++j)
        if (W(n + j) > best) {
          best = W(n + j);
          p = j;
        }
    } else if (k == 1) {
      for (int j = 1; j <= n; ++j)
        if (W(j) > 0.0) {
          p = j;
          break;
        }
    } else {
      double best = 0.0;
      for (int j = k; j <= n; ++j) {
        if (W(j) <= 0.0) continue;
        const double ratio = W(n + j) / W(j);
        if (ratio > best) {
          best = ratio;
          p = j;
        }
      }
    }
    P(k) = p;
    if (p > k) {
      dswap_(&m, A.ptr(1, k), &kInc, A.ptr(1, p), &kInc);
      std::swap(W(k), W(p));
      std::swap(W(n + k), W(n + p));
    }
    if (k < m) {
      optkern::HHGEN(m - k, A(k, k), A.col(k).from(k + 1).span(), 1, eps * W(k), Z(k));
      if (k < n && Z(k) > 0.0) reflect_columns(A, m, n, k, Z(k), Z.from(k + 1));
      // Downdate the remaining norms; recompute one whose downdate would cancel.
      for (int j = k + 1; j <= n; ++j) {
        if (W(n + j) <= 0.0) continue;
        const double t = std::abs(A(k, j)) / W(n + j);
        const double t2 = std::max(0.0, (1.0 + t) * (1.0 - t));
        const double ratio = W(n + j) / W(j);
        const double test = 1.0 + 0.01 * t2 * ratio * ratio;
        if (test > 1.0) {
          W(n + j) *= std::sqrt(t2);
        } else {
          W(n + j) = tail_norm(A, k + 1, m, j);
        }
      }
    }
  }
  if (n >= m) Z(m) = 0.0;
  ifail = 0;
}

}  // namespace qv::optim_alt
