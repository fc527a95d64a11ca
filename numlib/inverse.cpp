#include "numlib/inverse.hpp"

#include <algorithm>
#include <cmath>

#include "numlib/blas.hpp"
#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"
#include "runtime/view1.hpp"

namespace qv::numlib {

using runtime::Mat1;
using runtime::Vec1;

namespace {

// A refinement whose correction stops halving has converged when the
// correction is at the rounding level of the residual (n * eps * |S| * |X| in
// the infinity norm, relative to the largest element of X) and that level
// leaves the inverse at least this relative accuracy; otherwise the matrix is
// too ill-conditioned for the arithmetic.
const double kStagnationLimit = 0x1p-20;

// Determinant pair to a plain value, with the library's range checks:
// 0 on success, 2 when the value would overflow, 3 when it would underflow.
int detpair_value(double d1, int id, double& det) {
  const double lim = -std::log(SAFEMIN()) / std::log(2.0);
  if (id > lim) return 2;
  if (id < -lim + 4.0) return 3;
  det = std::ldexp(d1, id);
  return 0;
}

// The end of the determinant routines: error 1 when the factorisation failed
// (inner != 0), otherwise the value of the pair; det is 0 on every error.
void deliver_det(int inner, double d1, int id, double& det, int& ifail, const char* srname) {
  const int err = inner != 0 ? 1 : detpair_value(d1, id, det);
  if (err != 0) det = 0.0;
  ifail = ERREXIT(ifail, err, srname);
}

// Scale of row i of an n-column matrix: 1 / (Euclidean norm of the row), or
// 0 when the row is zero or holds a value that is not finite.  The plain sum
// of squares is used whenever it is a normal number; otherwise the row is
// scaled by its largest element first so that squares neither overflow nor
// underflow.
double row_scale(const Mat1<double>& a, int i, int n) {
  double s = 0.0;
  for (int j = 1; j <= n; ++j) s += a(i, j) * a(i, j);
  if (std::isnormal(s)) return 1.0 / std::sqrt(s);
  double amax = 0.0;
  for (int j = 1; j <= n; ++j) {
    const double v = std::fabs(a(i, j));
    if (!(v <= amax)) amax = v;  // also takes a NaN
  }
  if (amax == 0.0 || !std::isfinite(amax)) return 0.0;
  double t = 0.0;
  for (int j = 1; j <= n; ++j) t += (a(i, j) / amax) * (a(i, j) / amax);
  const double r = 1.0 / (amax * std::sqrt(t));
  return std::isfinite(r) ? r : 0.0;
}

// The three pieces of the inner products of the refinement run over the
// symmetric storage of F01ADF: the matrix S in the upper triangle of rows
// 1..n and the inverse X one row down in the lower triangle.
struct Piece {
  const double* p;
  int step;
};

Piece s_elem(const Mat1<double>& a, int i, int k, int ld) {
  if (k < i) return {a.ptr(k, i), 1};
  return {a.ptr(i, k), ld};
}

Piece x_elem(const Mat1<double>& a, int k, int j, int ld) {
  if (k < j) return {a.ptr(j + 1, k), ld};
  return {a.ptr(k + 1, j), 1};
}

std::span<const double> strip(const double* p, int len, int step) {
  return std::span<const double>(p, static_cast<std::size_t>((len - 1) * step + 1));
}

}  // namespace

void detpair_mul(double& d1, int& id, double factor) {
  // factor = f * 2^e with 0.5 <= |f| < 1; the power of two goes into id in
  // steps of 4 and the rest into d1, all multiplications by powers of two
  // being exact, so the result equals d1 * factor renormalised.
  int e = 0;
  const double f = std::frexp(factor, &e);
  int r = e % 4;
  if (r < 0) r += 4;
  d1 = d1 * std::ldexp(f, r);
  id += e - r;
  while (std::fabs(d1) >= 1.0) {
    d1 *= 0.0625;
    id += 4;
  }
  while (std::fabs(d1) < 0.0625) {
    d1 *= 16.0;
    id -= 4;
  }
}

void F03AFF(int n, double eps, std::span<double> a, int ld, double& d1, int& id, std::span<double> p,
            int& ifail) {
  const int ifail_in = ifail;
  Mat1<double> A(a, ld);
  Vec1<double> P(p);
  for (int i = 1; i <= n; ++i) {
    P(i) = row_scale(A, i, n);
    if (P(i) == 0.0) {
      ifail = ERREXIT(ifail_in, 1, "F03AFF");
      return;
    }
  }
  d1 = 1.0;
  id = 0;
  for (int k = 1; k <= n; ++k) {
    double best = 0.0;
    int r = k;
    for (int i = k; i <= n; ++i) {
      const double v = std::fabs(A(i, k) * P(i));
      if (v > best) {
        best = v;
        r = i;
      }
    }
    if (r != k) {
      d1 = -d1;
      dswap_(&n, A.ptr(k, 1), &ld, A.ptr(r, 1), &ld);
      P(r) = P(k);
    }
    P(k) = r;
    const double piv = A(k, k);
    // A zero or non-finite pivot is singular before it reaches the
    // determinant pair, whose renormalisation could not end on it.
    if (piv == 0.0 || !std::isfinite(piv)) {
      ifail = ERREXIT(ifail_in, 1, "F03AFF");
      return;
    }
    detpair_mul(d1, id, piv);
    if (8.0 * eps > best) {
      ifail = ERREXIT(ifail_in, 1, "F03AFF");
      return;
    }
    if (k < n) {
      dtrsv_("L", "N", "N", &k, A.ptr(1, 1), &ld, A.ptr(1, k + 1), &kOne, 1, 1, 1);
      const int rows = n - k;
      dgemv_("N", &rows, &k, &kMinus, A.ptr(k + 1, 1), &ld, A.ptr(1, k + 1), &kOne, &kPlus,
             A.ptr(k + 1, k + 1), &kOne, 1);
    }
  }
  ifail = 0;
}

void F03AAF(std::span<double> a, int ld, int n, double& det, std::span<double> work, int& ifail) {
  double d1 = 1.0;
  int id = 0;
  int inner = 1;
  F03AFF(n, EPSMACH(), a, ld, d1, id, work, inner);
  deliver_det(inner, d1, id, det, ifail, "F03AAF");
}

void F01AAF(std::span<double> a, int ld, int n, std::span<double> x, int ldx, std::span<double> work,
            int& ifail) {
  double d1 = 1.0;
  int id = 0;
  int inner = 1;
  F03AFF(n, EPSMACH(), a, ld, d1, id, work, inner);
  if (inner != 0) {
    ifail = ERREXIT(ifail, 1, "F01AAF");
    return;
  }
  Mat1<double> A(a, ld);
  Mat1<double> X(x, ldx);
  Vec1<double> P(work);
  // U, unit upper triangular, into x.
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= n; ++i) X(i, j) = i < j ? A(i, j) : (i == j ? 1.0 : 0.0);
  }
  // U^-1 in place, column by column.
  for (int j = 2; j <= n; ++j) {
    const int m = j - 1;
    dtrmv_("U", "N", "U", &m, X.ptr(1, 1), &ldx, X.ptr(1, j), &kOne, 1, 1, 1);
    for (int i = 1; i <= m; ++i) X(i, j) = -X(i, j);
  }
  // Solve X * L = U^-1 from the right.
  for (int j = n; j >= 1; --j) {
    if (j < n) {
      const int cols = n - j;
      dgemv_("N", &n, &cols, &kMinus, X.ptr(1, j + 1), &ldx, A.ptr(j + 1, j), &kOne, &kPlus, X.ptr(1, j),
             &kOne, 1);
    }
    const double rec = 1.0 / A(j, j);
    dscal_(&n, &rec, X.ptr(1, j), &kOne);
  }
  // The row interchanges of the factorisation become column interchanges.
  for (int j = n; j >= 1; --j) {
    const int r = static_cast<int>(P(j) + 0.5);
    if (r != j) dswap_(&n, X.ptr(1, j), &kOne, X.ptr(1, r), &kOne);
  }
  ifail = 0;
}

void F03AEF(int n, std::span<double> a, int ld, std::span<double> p, double& d1, int& id, int& ifail) {
  const int ifail_in = ifail;
  Mat1<double> A(a, ld);
  Vec1<double> P(p);
  d1 = 1.0;
  id = 0;
  for (int j = 1; j <= n; ++j) {
    for (int i = j + 1; i <= n; ++i) A(i, j) = A(j, i);
    const double keep = A(j, j);
    if (j > 1) {
      const int rows = n - j + 1;
      const int cols = j - 1;
      dgemv_("N", &rows, &cols, &kMinus, A.ptr(j, 1), &ld, A.ptr(j, 1), &ld, &kPlus, A.ptr(j, j), &kOne, 1);
    }
    const double d = A(j, j);
    A(j, j) = keep;
    // Not positive definite; a non-finite pivot cannot be judged and fails too.
    if (!(d > 0.0) || !std::isfinite(d)) {
      ifail = ERREXIT(ifail_in, 1, "F03AEF");
      return;
    }
    detpair_mul(d1, id, d);
    P(j) = 1.0 / std::sqrt(d);
    for (int i = j + 1; i <= n; ++i) A(i, j) = A(i, j) * P(j);
  }
  ifail = 0;
}

void F03ABF(std::span<double> a, int ld, int n, double& det, std::span<double> work, int& ifail) {
  double d1 = 1.0;
  int id = 0;
  int inner = 1;
  F03AEF(n, a, ld, work, d1, id, inner);
  deliver_det(inner, d1, id, det, ifail, "F03ABF");
}

void F01ADF(int n, std::span<double> a, int ld, int& ifail) {
  const int ifail_in = ifail;
  Mat1<double> A(a, ld);
  // The working lower triangle: element (i, j), i >= j, at a(i+1, j).
  auto W = [&A](int i, int j) -> double& { return A(i + 1, j); };
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= j; ++i) A(j + 1, i) = A(i, j);
  }
  for (int i = 1; i <= n; ++i) {
    const double d = W(i, i);
    if (!(d > 0.0) || !std::isfinite(d)) {
      ifail = ERREXIT(ifail_in, 1, "F01ADF");
      return;
    }
    const double s = std::sqrt(d);
    W(i, i) = s;
    for (int k = i + 1; k <= n; ++k) W(k, i) = W(k, i) / s;
    if (i < n) {
      const int rows = n - i;
      dgemv_("N", &rows, &i, &kMinus, &W(i + 1, 1), &ld, &W(i + 1, 1), &ld, &kPlus, &W(i + 1, i + 1), &kOne, 1);
    }
  }
  // Invert the factor L in place.
  for (int i = 1; i <= n; ++i) {
    const double t = 1.0 / W(i, i);
    W(i, i) = t;
    if (i < n) {
      for (int k = i + 1; k <= n; ++k) W(k, i) = -t * W(k, i);
      const int m = n - i;
      dtrsv_("L", "N", "N", &m, &W(i + 1, i + 1), &ld, &W(i + 1, i), &kOne, 1, 1, 1);
    }
  }
  // Lower triangle of L^-T L^-1, column i from the trailing block of L^-1.
  for (int i = 1; i <= n; ++i) {
    double diag = W(i, i) * W(i, i);
    for (int k = i + 1; k <= n; ++k) diag += W(k, i) * W(k, i);
    if (i < n) {
      const int m = n - i;
      dtrmv_("L", "T", "N", &m, &W(i + 1, i + 1), &ld, &W(i + 1, i), &kOne, 1, 1, 1);
    }
    W(i, i) = diag;
  }
  ifail = 0;
}

void F01ACF(int n, double eps, std::span<double> a, int ld, std::span<double> b, int ldb,
            std::span<double> z, int& l, int& ifail) {
  const int ifail_in = ifail;
  l = 0;
  int inner = 1;
  F01ADF(n, a, ld, inner);
  if (inner != 0) {
    ifail = ERREXIT(ifail_in, 1, "F01ACF");
    return;
  }
  if (n < 1) {
    // Nothing to refine.
    ifail = 0;
    return;
  }
  Mat1<double> A(a, ld);
  Mat1<double> B(b, ldb);
  Vec1<double> Z(z);
  double prev = 1.0;
  for (;;) {
    // Residual b = I - S X, stored negated from the inner products.
    for (int j = 1; j <= n; ++j) {
      for (int i = 1; i <= n; ++i) {
        double c = i == j ? -1.0 : 0.0;
        const int bounds[4] = {1, std::min(i, j), std::max(i, j), n + 1};
        for (int s = 0; s < 3; ++s) {
          const int k0 = bounds[s];
          const int len = bounds[s + 1] - k0;
          if (len <= 0) continue;
          const Piece px = s_elem(A, i, k0, ld);
          const Piece py = x_elem(A, k0, j, ld);
          const auto sx = strip(px.p, len, px.step);
          const auto sy = strip(py.p, len, py.step);
          double d1 = 0.0, d2 = 0.0;
          int fl = 1;
          X03AAF(sx, static_cast<int>(sx.size()), sy, static_cast<int>(sy.size()), len, px.step, py.step, c,
                 0.0, d1, d2, true, fl);
          c = d1;
        }
        B(i, j) = -c;
      }
    }
    // Correction, row by row, from the old inverse.
    double xmax = 0.0;
    double zmax = 0.0;
    for (int i = 1; i <= n; ++i) {
      for (int w = 1; w <= i; ++w) {
        double c = 0.0;
        const int bounds[3] = {1, i, n + 1};
        for (int s = 0; s < 2; ++s) {
          const int k0 = bounds[s];
          const int len = bounds[s + 1] - k0;
          if (len <= 0) continue;
          const Piece px = x_elem(A, k0, i, ld);  // X(i, k) = X(k, i)
          const auto sx = strip(px.p, len, px.step);
          const auto sy = strip(B.ptr(k0, w), len, 1);
          double d1 = 0.0, d2 = 0.0;
          int fl = 1;
          X03AAF(sx, static_cast<int>(sx.size()), sy, static_cast<int>(sy.size()), len, px.step, 1, c, 0.0, d1,
                 d2, true, fl);
          c = d1;
        }
        Z(w) = c;
      }
      for (int w = 1; w <= i; ++w) {
        xmax = std::max(xmax, std::fabs(A(i + 1, w)));
        zmax = std::max(zmax, std::fabs(Z(w)));
        A(i + 1, w) = A(i + 1, w) + Z(w);
      }
    }
    l += 1;
    const double ratio = zmax / xmax;
    // A NaN ratio (an empty matrix, or an inverse that overflowed) does not
    // halve either: it must end the loop, not keep it going.
    if (!(ratio <= 0.5 * prev)) {
      // Corrections that stop shrinking at the rounding level of the
      // arithmetic mean the inverse is as good as it gets: converged.
      double snorm = 0.0, xnorm = 0.0;
      for (int i = 1; i <= n; ++i) {
        double ss = 0.0, xs = 0.0;
        for (int k = 1; k <= n; ++k) {
          ss += std::fabs(k < i ? A(k, i) : A(i, k));
          xs += std::fabs(k <= i ? A(i + 1, k) : A(k + 1, i));
        }
        snorm = std::max(snorm, ss);
        xnorm = std::max(xnorm, xs);
      }
      const double level = n * eps * snorm * xnorm;
      if (ratio <= level && level <= kStagnationLimit) {
        ifail = 0;
        return;
      }
      ifail = ERREXIT(ifail_in, 2, "F01ACF");
      return;
    }
    prev = ratio;
    // A zero correction cannot shrink further: done, whatever eps (negative or
    // NaN, it would otherwise repeat the pass forever).
    if (ratio <= 2.0 * eps || ratio == 0.0) {
      ifail = 0;
      return;
    }
  }
}

void F01ABF(std::span<double> a, int ld, int n, std::span<double> b, int ldb, std::span<double> z,
            int& ifail) {
  int inner = 1;
  int l = 0;
  F01ACF(n, EPSMACH(), a, ld, b, ldb, z, l, inner);
  if (inner == 1) {
    ifail = ERREXIT(ifail, 1, "F01ABF");
    return;
  }
  // The refined inverse is delivered also when the refinement did not converge.
  Mat1<double> A(a, ld);
  Mat1<double> B(b, ldb);
  for (int j = 1; j <= n; ++j) {
    for (int i = j; i <= n; ++i) B(i, j) = A(i + 1, j);
  }
  ifail = ERREXIT(ifail, inner, "F01ABF");
}

void X03AAF(std::span<const double> x, int sx, std::span<const double> y, int sy, int n, int stepx,
            int stepy, double c1, double c2, double& d1, double& d2, bool sw, int& ifail) {
  int err = 0;
  if (sx < (n - 1) * stepx + 1 || sy < (n - 1) * stepy + 1) err = 2;
  else if (stepx <= 0 || stepy <= 0) err = 1;
  if (err != 0) {
    ifail = ERREXIT(ifail, err, "X03AAF");
    return;
  }
  // The sum is carried in the widest floating type available.
  long double sum = c1;
  for (int k = 0; k < n; ++k) {
    sum += static_cast<long double>(x[static_cast<std::size_t>(k * stepx)]) *
           static_cast<long double>(y[static_cast<std::size_t>(k * stepy)]);
  }
  d1 = static_cast<double>(sum);
  d2 = 0.0;
  ifail = 0;
}

void F01CKF(std::span<double> a, std::span<double> b, std::span<double> c, int n, int p, int m,
            std::span<double> z, int iz, int opt, int& ifail) {
  int err = 0;
  if (m < 1 || n < 1 || p < 1) err = 1;
  else if ((opt == 2 || opt == 3) && iz < m) err = 4;
  else if (opt == 2 && m != p) err = 2;
  else if (opt == 3 && n != m) err = 3;
  if (err != 0) {
    ifail = ERREXIT(ifail, err, "F01CKF");
    return;
  }
  Mat1<double> B(b, n);
  Mat1<double> C(c, m);
  Vec1<double> Z(z);
  if (opt == 2) {
    for (int i = 1; i <= n; ++i) {
      for (int k = 1; k <= m; ++k) {
        double s = 0.0;
        for (int j = 1; j <= m; ++j) s += B(i, j) * C(j, k);
        Z(k) = s;
      }
      for (int k = 1; k <= m; ++k) B(i, k) = Z(k);
    }
  } else if (opt == 3) {
    for (int k = 1; k <= p; ++k) {
      for (int i = 1; i <= n; ++i) {
        double s = 0.0;
        for (int j = 1; j <= m; ++j) s += B(i, j) * C(j, k);
        Z(i) = s;
      }
      for (int i = 1; i <= n; ++i) C(i, k) = Z(i);
    }
  } else {
    const double zero = 0.0;
    dgemm_("N", "N", &n, &p, &m, &kPlus, b.data(), &n, c.data(), &m, &zero, a.data(), &n, 1, 1);
  }
  ifail = 0;
}

}  // namespace qv::numlib
