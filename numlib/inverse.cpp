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

// The largest residual norm ||I - S X||1 at which a refinement step is taken:
// below 1 the step squares the residual, and at 1/2 it at least quarters it.
const double kMaxResidual = 0.5;

// An inner product carried in doubled precision: each product is split
// exactly into its rounded value and its error (by a fused multiply-add), and
// each addition into its rounded sum and its error; the errors are summed
// apart and added at the end.  The result is as accurate as a plain sum in
// twice the working precision, then rounded once.
struct DotAcc {
  double hi = 0.0;
  double lo = 0.0;
  void add(double v) {
    const double t = hi + v;
    const double bv = t - hi;
    lo += (hi - (t - bv)) + (v - bv);
    hi = t;
  }
  void add_product(double x, double y) {
    const double p = x * y;
    lo += std::fma(x, y, -p);
    add(p);
  }
  double value() const { return hi + lo; }
};

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

// The pieces of the inner products of the refinement's correction run over
// the inverse X of F01ADF's storage, one row down in the lower triangle.
struct Piece {
  const double* p;
  int step;
};

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
  // X(i, k) of the symmetric inverse, stored one row down in the lower triangle.
  auto X = [&A](int i, int k) -> double& { return i >= k ? A(i + 1, k) : A(k + 1, i); };
  double prev = 1.0;
  for (;;) {
    // Column w of the residual R = I - S X goes into z, formed in doubled
    // precision (the cancellation in S X loses about log10 of the condition
    // number in digits, so a working-precision residual carries no
    // information about the error of X); then column w of the correction
    // X R, from its diagonal down, into the lower triangle of b.  Nothing
    // of X changes before the whole correction is known.
    double rnorm = 0.0;
    for (int w = 1; w <= n; ++w) {
      double colsum = 0.0;
      for (int k = 1; k <= n; ++k) {
        DotAcc acc;
        acc.add(k == w ? -1.0 : 0.0);
        for (int m = 1; m <= n; ++m) acc.add_product(k <= m ? A(k, m) : A(m, k), X(m, w));
        Z(k) = -acc.value();
        colsum += std::fabs(Z(k));
      }
      if (!(colsum <= rnorm)) rnorm = colsum;  // also takes a NaN
      for (int i = w; i <= n; ++i) {
        double c = 0.0;
        const int bounds[3] = {1, i, n + 1};
        for (int s = 0; s < 2; ++s) {
          const int k0 = bounds[s];
          const int len = bounds[s + 1] - k0;
          if (len <= 0) continue;
          const Piece px = x_elem(A, k0, i, ld);  // X(i, k) = X(k, i)
          const auto sx = strip(px.p, len, px.step);
          const auto sy = strip(Z.ptr(k0), len, 1);
          double d1 = 0.0, d2 = 0.0;
          int fl = 1;
          X03AAF(sx, static_cast<int>(sx.size()), sy, static_cast<int>(sy.size()), len, px.step, 1, c, 0.0, d1,
                 d2, true, fl);
          c = d1;
        }
        B(i, w) = c;
      }
    }
    double xmax = 0.0;
    double zmax = 0.0;
    for (int w = 1; w <= n; ++w) {
      for (int i = w; i <= n; ++i) {
        if (!(std::fabs(X(i, w)) <= xmax)) xmax = std::fabs(X(i, w));
        if (!(std::fabs(B(i, w)) <= zmax)) zmax = std::fabs(B(i, w));
      }
    }
    l += 1;
    // With ||R||1 <= 1/2 the corrected inverse has residual R^2 (plus the
    // rounding of its elements): the step is an improvement and is taken.
    // A larger (or NaN) residual may make the step worse than no step, so the
    // inverse is kept as it stands and the refinement has failed.
    const bool contracts = rnorm <= kMaxResidual;
    if (contracts) {
      for (int w = 1; w <= n; ++w)
        for (int i = w; i <= n; ++i) X(i, w) += B(i, w);
    }
    const double ratio = zmax / xmax;
    // A correction at the rounding level of the inverse: converged.  A zero
    // correction cannot shrink further, whatever eps (negative or NaN, it
    // would otherwise repeat the pass forever).
    if (contracts && (ratio <= 2.0 * eps || ratio == 0.0)) {
      ifail = 0;
      return;
    }
    // Corrections that stop halving (a NaN ratio does not halve either) end
    // the refinement as not convergent.
    if (!contracts || !(ratio <= 0.5 * prev)) {
      ifail = ERREXIT(ifail_in, 2, "F01ACF");
      return;
    }
    prev = ratio;
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
