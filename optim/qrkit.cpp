// Householder QR kit and the reset of the Hessian factor.
#include "optim/qrkit.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "optkern/kernels.hpp"
#include "optkern/rotations.hpp"
#include "runtime/view1.hpp"

namespace qv::optim {

using namespace optkern;
using runtime::Mat1;
using runtime::Vec1;

namespace {

inline char letter(std::string_view opt) {
  return opt.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(opt[0])));
}

// Applies the reflector I - u u' held in A(k..m, k) (with A(k, k) already
// holding zeta) to columns j1..j2 of B, rows k..m: w := B' u, B := B - u w'.
// w receives j2 - j1 + 1 words.
void reflect(const Mat1<double>& A, int m, int k, const Mat1<double>& B, int j1, int j2, const Vec1<double>& w) {
  for (int j = j1; j <= j2; ++j) {
    double t = 0.0;
    for (int i = k; i <= m; ++i) t += A(i, k) * B(i, j);
    w(j - j1 + 1) = t;
  }
  for (int j = j1; j <= j2; ++j) {
    const double t = w(j - j1 + 1);
    if (t == 0.0) continue;
    for (int i = k; i <= m; ++i) B(i, j) -= A(i, k) * t;
  }
}

// The reflector of A(k..m, k) applied to the later columns k+1..n of A, with
// zeta placed in A(k, k) for the duration.  w holds n - k words.
void reflect_rest(const Mat1<double>& A, int m, int n, int k, double zeta, const Vec1<double>& w) {
  if (zeta <= 0.0 || k >= n) return;
  const double diag = A(k, k);
  A(k, k) = zeta;
  reflect(A, m, k, A, k + 1, n, w);
  A(k, k) = diag;
}

// The scaled 2-norm of rows i1..m of column j.
double column_norm(const Mat1<double>& A, int i1, int m, int j) {
  if (i1 > m) return 0.0;
  double scale = 0.0;
  double ssq = 1.0;
  SSQUPD(m - i1 + 1, A.col(j).from(i1).span(), 1, scale, ssq);
  return SSQNRM(scale, ssq);
}

void swap_columns(const Mat1<double>& A, int m, int j, int k) {
  for (int i = 1; i <= m; ++i) std::swap(A(i, j), A(i, k));
}

}  // namespace

void QRAPPQ(int m, int n, std::span<double> a, int lda, std::span<double> zeta, int& inform) {
  inform = 0;
  if (m < n || n < 0 || lda < m) {
    inform = 1;
    return;
  }
  if (n == 0) return;
  const Mat1<double> A(a, lda);
  const Vec1<double> Z(zeta);
  const int kmax = std::min(m - 1, n);
  for (int k = 1; k <= kmax; ++k) {
    HHGEN(m - k, A(k, k), A.col(k).from(k + 1).span(), 1, 0.0, Z(k));
    // The later zeta are not formed yet: their words hold w.
    if (k < n) reflect_rest(A, m, n, k, Z(k), Z.from(k + 1));
  }
  if (n == m) Z(m) = 0.0;
}

void QRFACT(std::string_view pivot, int m, int n, std::span<double> a, int lda, std::span<double> zeta,
            std::span<int> perm, std::span<double> work, int& inform) {
  inform = 0;
  const char piv = letter(pivot);
  if ((piv != 'C' && piv != 'S') || m < 0 || n < 0 || lda < m) {
    inform = 1;
    return;
  }
  if (n == 0) return;
  const Mat1<double> A(a, lda);
  const Vec1<double> Z(zeta);
  const Vec1<int> P(perm);
  const Vec1<double> W(work);
  for (int j = 1; j <= n; ++j) {
    W(n + j) = column_norm(A, 1, m, j);
    W(j) = W(n + j);
  }
  const int kmax = std::min(m, n);
  for (int k = 1; k <= kmax; ++k) {
    int jmax = k;
    if (piv == 'C') {
      double best = W(n + k);
      for (int j = k + 1; j <= n; ++j)
        if (W(n + j) > best) {
          best = W(n + j);
          jmax = j;
        }
    } else {
      double best = -1.0;
      for (int j = k; j <= n; ++j) {
        if (W(j) <= 0.0) continue;
        const double ratio = W(n + j) / W(j);
        if (ratio > best) {
          best = ratio;
          jmax = j;
        }
      }
    }
    P(k) = jmax;
    if (jmax != k) {
      swap_columns(A, m, k, jmax);
      std::swap(W(k), W(jmax));
      std::swap(W(n + k), W(n + jmax));
    }
    if (k < m) {
      HHGEN(m - k, A(k, k), A.col(k).from(k + 1).span(), 1, 0.0, Z(k));
      // zeta(k+1..n) are not formed yet: their words hold w.
      if (k < n) reflect_rest(A, m, n, k, Z(k), Z.from(k + 1));
    }
    // Downdate the remaining norms; recompute one that has collapsed.
    for (int j = k + 1; j <= n; ++j) {
      if (W(n + j) <= 0.0) continue;
      const double t = std::abs(A(k, j)) / W(n + j);
      const double temp = std::max(0.0, (1.0 - t) * (1.0 + t));
      const double ratio = W(n + j) / W(j);
      if (1.0 + 0.01 * temp * ratio * ratio <= 1.0) {
        W(n + j) = column_norm(A, k + 1, m, j);
      } else {
        W(n + j) *= std::sqrt(temp);
      }
    }
  }
  if (m <= n && m > 0) Z(m) = 0.0;
}

void HHAPPQ(std::string_view trans, std::string_view wherez, int m, int n, std::span<double> a, int lda,
            std::span<const double> zeta, int ncolb, std::span<double> b, int ldb, std::span<double> work,
            int& inform) {
  inform = 0;
  const char tr = letter(trans);
  const char wz = letter(wherez);
  if ((tr != ' ' && tr != 'N' && tr != 'T' && tr != 'C') || (wz != 'I' && wz != 'S') || m < n || n < 0 ||
      lda < m || ncolb < 0 || ldb < m) {
    inform = 1;
    return;
  }
  const int kmax = std::min(m - 1, n);
  if (kmax < 1 || ncolb == 0) return;
  const Mat1<double> A(a, lda);
  const Mat1<double> B(b, ldb);
  const Vec1<const double> Z(zeta);
  const Vec1<double> W(work);
  const bool transpose = tr == 'T' || tr == 'C';
  for (int step = 1; step <= kmax; ++step) {
    const int k = transpose ? step : kmax + 1 - step;
    const double z = wz == 'S' ? Z(k) : A(k, k);
    if (z <= 0.0) continue;
    const double diag = A(k, k);
    A(k, k) = z;
    reflect(A, m, k, B, 1, ncolb, W);
    A(k, k) = diag;
  }
}

void PERMIV(std::string_view side, std::string_view trans, int /*m*/, int n, std::span<const int> perm, int k,
            std::span<double> b, int ldb) {
  IPERMAP(side, trans, n, perm, k, b, ldb);
}

void QRPIVT(bool unitQ, int n, int nfree, int nZ, int ldZY, int ldR, std::span<int> perm, std::span<int> kx,
            std::span<double> gq, std::span<double> r, std::span<double> zy, std::span<double> work,
            std::span<double> qrwork, double rcndbd, double& rfrobn) {
  const Mat1<double> R(r, ldR);
  const Vec1<int> P(perm);
  const Vec1<int> KX(kx);
  const Vec1<double> GQ(gq);

  if (nZ > 1) {
    for (int j = 1; j <= nZ - 1; ++j)
      for (int i = j + 1; i <= nZ; ++i) R(i, j) = 0.0;
    int inform = 0;
    QRFACT("Column iterchanges", nZ, nZ, r, ldR, work, perm, qrwork, inform);
    const Mat1<double> ZY(zy, ldZY);
    for (int j = 1; j <= nZ; ++j) {
      const int k = P(j);
      if (k <= j) continue;
      if (unitQ) {
        std::swap(KX(j), KX(k));
      } else {
        for (int i = 1; i <= nfree; ++i) std::swap(ZY(i, j), ZY(i, k));
      }
      std::swap(GQ(j), GQ(k));
    }
  }

  double rdiagm = 1.0;
  if (nZ > 0) {
    const int nrank = NLEAD(nZ, r, ldR + 1, 1.0 / rcndbd);
    double rdiags = 1.0;
    if (nrank > 0) {
      rdiagm = 0.5 * std::sqrt(std::abs(R(1, 1) * R(nrank, nrank)));
      rdiags = std::abs(R(1, 1)) / rcndbd;
    }
    for (int j = nrank + 1; j <= nZ; ++j) {
      for (int i = 1; i <= j - 1; ++i) R(i, j) = 0.0;
      R(j, j) = rdiags;
    }
  }
  for (int j = nZ + 1; j <= n; ++j) {
    for (int i = 1; i <= j - 1; ++i) R(i, j) = 0.0;
    R(j, j) = rdiagm;
  }

  // The range-space columns contribute (n - nZ) rdiagm^2; the null-space
  // block is added column by column.
  double scale = std::sqrt(static_cast<double>(n - nZ)) * rdiagm;
  double ssq = 1.0;
  for (int j = 1; j <= nZ; ++j) SSQUPD(j, R.col(j).span(), 1, scale, ssq);
  rfrobn = SSQNRM(scale, ssq);
}

}  // namespace qv::optim
