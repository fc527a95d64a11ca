#include "numlib/eigen_sym.hpp"

#include <array>
#include <cmath>

#include "numlib/blas.hpp"
#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"
#include "optkern/rotations.hpp"
#include "runtime/view1.hpp"

namespace qv::numlib {

using runtime::Mat1;
using runtime::Vec1;

namespace {

// The largest |d(k)|, k = 1..l (the first largest), 0 when l = 0.
double largest(const Vec1<double>& d, int l) {
  if (l < 1) return 0.0;
  const int k = idamax_(&l, d.ptr(1), &kOne);
  return std::fabs(d(k));
}

// The Householder step shared by both reductions: scales d(1..l), forms the
// reflection and returns h; e(i) receives scale * g.
double householder(const Vec1<double>& d, const Vec1<double>& e, int i, int l, double scale, double* e2i) {
  for (int k = 1; k <= l; ++k) d(k) = d(k) / scale;
  double h = 0.0;
  for (int k = 1; k <= l; ++k) h += d(k) * d(k);
  if (e2i != nullptr) *e2i = scale * (h * scale);
  const double f = d(l);
  const double g = f >= 0 ? -std::sqrt(h) : std::sqrt(h);
  e(i) = scale * g;
  h = h - f * g;
  d(l) = f - g;
  return h;
}

// e(1..l) := A d / h with A the leading l x l block (lower triangle), then
// e := e - (e.d / 2h) d and A := A - d e^T - e d^T.
void reduce_block(const Mat1<double>& a, int lda, const Vec1<double>& d, const Vec1<double>& e, int l, double h) {
  const double rh = 1.0 / h;
  dsymv_("L", &l, &rh, a.ptr(1, 1), &lda, d.ptr(1), &kOne, &kZero, e.ptr(1), &kOne, 1);
  double ed = 0.0;
  for (int j = 1; j <= l; ++j) ed += e(j) * d(j);
  const double k = ed / (h + h);
  for (int j = 1; j <= l; ++j) e(j) = e(j) - k * d(j);
  dsyr2_("L", &l, &kMinus, d.ptr(1), &kOne, e.ptr(1), &kOne, a.ptr(1, 1), &lda, 1);
}

// QL iterations shared by F02AVF (vectors == nullptr) and F02AMF.
int ql_implicit(int n, double eps, const Vec1<double>& d, const Vec1<double>& e, const Mat1<double>* v, int iv) {
  if (n < 1) return 0;
  for (int i = 2; i <= n; ++i) e(i - 1) = e(i);
  e(n) = 0.0;
  double f = 0.0, b = 0.0;
  long long budget = 30LL * n;  // 64 bits: no overflow for any n
  std::array<double, 128> cb{}, sb{};
  for (int l = 1; l <= n; ++l) {
    double h = eps * (std::fabs(d(l)) + std::fabs(e(l)));
    if (h > b) b = h;
    int m = l;
    while (m < n && !(std::fabs(e(m)) <= b)) ++m;
    if (m > l) {
      do {
        if (budget < 1) return 1;
        budget -= 1;
        double g = d(l);
        double p = d(l + 1) - g;
        double r, s, c;
        if (std::fabs(e(l)) > std::fabs(p)) {
          r = 0.5 * p / e(l);
          s = std::sqrt(r * r + 1.0);
          d(l) = r >= 0 ? e(l) / (r + s) : e(l) / (r - s);
        } else {
          r = 2.0 * e(l) / p;
          d(l) = e(l) * r / (1.0 + std::sqrt(r * r + 1.0));
        }
        h = g - d(l);
        for (int i = l + 1; i <= n; ++i) d(i) = d(i) - h;
        f += h;
        // Sweep from m - 1 down to l.
        p = d(m);
        c = 1.0;
        s = 0.0;
        int hi = m - 1;  // top of the pending batch of rotations
        for (int i = m - 1; i >= l; --i) {
          g = c * e(i);
          h = c * p;
          if (std::fabs(e(i)) > std::fabs(p)) {
            c = p / e(i);
            r = std::sqrt(c * c + 1.0);
            e(i + 1) = s * e(i) * r;
            s = 1.0 / r;
            c = c / r;
          } else {
            c = e(i) / p;
            r = std::sqrt(c * c + 1.0);
            e(i + 1) = s * p * r;
            s = c / r;
            c = 1.0 / r;
          }
          p = c * d(i) - s * g;
          d(i + 1) = h + s * (c * g + s * d(i));
          if (v != nullptr) {
            // Rotation of columns i and i+1, collected (sine negated) for
            // ROTSAP at position i - lo + 1 of a batch of columns lo..hi+1.
            const int lo = std::max(hi - 127, l);
            cb[static_cast<std::size_t>(i - lo)] = c;
            sb[static_cast<std::size_t>(i - lo)] = -s;
            if (i == lo) {
              const int cols = hi + 1 - lo + 1;
              optkern::ROTSAP("Right", "Variable", "Backward", n, cols, 1, cols, cb, sb,
                            std::span<double>(v->ptr(1, lo), static_cast<std::size_t>((cols - 1) * iv + n)), iv);
              hi = lo - 1;
            }
          }
        }
        e(l) = s * p;
        d(l) = c * p;
      } while (!(std::fabs(e(l)) <= b));
    }
    if (v == nullptr) {
      const double pv = d(l) + f;
      int i = l;
      while (i > 1 && pv < d(i - 1)) {
        d(i) = d(i - 1);
        --i;
      }
      d(i) = pv;
    } else {
      d(l) = d(l) + f;
    }
  }
  if (v != nullptr) {
    // Selection sort into ascending order, columns of v with their values.
    for (int i = 1; i <= n; ++i) {
      int k = i;
      for (int j = i + 1; j <= n; ++j)
        if (d(j) < d(k)) k = j;
      if (k != i) {
        std::swap(d(i), d(k));
        dswap_(&n, v->ptr(1, i), &kOne, v->ptr(1, k), &kOne);
      }
    }
  }
  return 0;
}

}  // namespace

void TRIRED(int n, std::span<double> a_, int ia, std::span<double> d_, std::span<double> e_, std::span<double> e2_) {
  Mat1<double> a(a_, ia);
  Vec1<double> d(d_), e(e_), e2(e2_);
  for (int i = 1; i <= n; ++i) {
    d(i) = a(n, i);
    a(n, i) = a(i, i);
  }
  for (int i = n; i >= 1; --i) {
    const int l = i - 1;
    const double scale = largest(d, l);
    if (scale == 0.0) {
      for (int j = 1; j <= l; ++j) {
        d(j) = a(l, j);
        a(l, j) = a(i, j);
        a(i, j) = 0.0;
      }
      e(i) = 0.0;
      e2(i) = 0.0;
      continue;
    }
    double e2i = 0.0;
    const double h = householder(d, e, i, l, scale, &e2i);
    // e and e2 may share storage: e2(i) first, then e(i) as the sub-diagonal.
    const double ei = e(i);
    e2(i) = e2i;
    e(i) = ei;
    reduce_block(a, ia, d, e, l, h);
    for (int j = 1; j <= l; ++j) {
      const double f = d(j);
      d(j) = a(l, j);
      a(l, j) = a(i, j);
      a(i, j) = f * scale;
    }
  }
}

void TRIREDV(int n, std::span<const double> a_, int ia, std::span<double> d_, std::span<double> e_,
             std::span<double> z_, int iz) {
  Mat1<const double> a(a_, ia);
  Mat1<double> z(z_, iz);
  Vec1<double> d(d_), e(e_);
  if (n < 1) return;
  if (n == 1) {
    d(1) = a(1, 1);
    z(1, 1) = 1.0;
    e(1) = 0.0;
    return;
  }
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) z(i, j) = a(i, j);
  for (int i = 1; i <= n; ++i) d(i) = a(n, i);
  for (int i = n; i >= 2; --i) {
    const int l = i - 1;
    double h = 0.0;
    const double scale = l == 1 ? 0.0 : largest(d, l);
    if (l == 1 || scale == 0.0) {
      e(i) = d(l);
      for (int j = 1; j <= l; ++j) {
        d(j) = z(l, j);
        z(i, j) = 0.0;
        z(j, i) = 0.0;
      }
    } else {
      h = householder(d, e, i, l, scale, nullptr);
      for (int j = 1; j <= l; ++j) z(j, i) = d(j);
      reduce_block(z, iz, d, e, l, h);
      for (int j = 1; j <= l; ++j) {
        d(j) = z(l, j);
        z(i, j) = 0.0;
      }
    }
    d(i) = h;
  }
  // Accumulate the transformations.
  for (int i = 2; i <= n; ++i) {
    const int l = i - 1;
    z(n, l) = z(l, l);
    z(l, l) = 1.0;
    const double h = d(i);
    if (h != 0.0) {
      const double rh = 1.0 / h;
      dgemv_("T", &l, &l, &rh, z.ptr(1, 1), &iz, z.ptr(1, i), &kOne, &kZero, d.ptr(1), &kOne, 1);
      dger_(&l, &l, &kMinus, z.ptr(1, i), &kOne, d.ptr(1), &kOne, z.ptr(1, 1), &iz);
    }
    for (int k = 1; k <= l; ++k) z(k, i) = 0.0;
  }
  for (int i = 1; i <= n; ++i) {
    d(i) = z(n, i);
    z(n, i) = 0.0;
  }
  z(n, n) = 1.0;
  e(1) = 0.0;
}

void F02AVF(int n, double eps, std::span<double> d, std::span<double> e, int& ifail) {
  const int err = ql_implicit(n, eps, Vec1<double>(d), Vec1<double>(e), nullptr, 0);
  ifail = ERREXIT(ifail, err, "F02AVF");
}

void F02AMF(int n, double eps, std::span<double> d, std::span<double> e, std::span<double> v, int iv, int& ifail) {
  const Mat1<double> vm(v, iv);
  const int err = ql_implicit(n, eps, Vec1<double>(d), Vec1<double>(e), &vm, iv);
  ifail = ERREXIT(ifail, err, "F02AMF");
}

void F02AAF(std::span<double> a, int ia, int n, std::span<double> r, std::span<double> e, int& ifail) {
  TRIRED(n, a, ia, r, e, e);
  int inner = 1;
  F02AVF(n, EPSMACH(), r, e, inner);
  ifail = ERREXIT(ifail, inner != 0 ? 1 : 0, "F02AAF");
}

void F02ABF(std::span<const double> a, int ia, int n, std::span<double> r, std::span<double> v, int iv,
            std::span<double> e, int& ifail) {
  TRIREDV(n, a, ia, r, e, v, iv);
  int inner = 1;
  F02AMF(n, EPSMACH(), r, e, v, iv, inner);
  ifail = ERREXIT(ifail, inner != 0 ? 1 : 0, "F02ABF");
}

}  // namespace qv::numlib
