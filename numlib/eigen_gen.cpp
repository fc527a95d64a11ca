#include "numlib/eigen_gen.hpp"

#include <algorithm>
#include <cmath>

#include "numlib/blas.hpp"
#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"
#include "runtime/view1.hpp"

namespace qv::numlib {

using runtime::Mat1;
using runtime::Vec1;

double CMODUL(double a, double b) {
  const double aa = std::abs(a);
  const double ab = std::abs(b);
  const double big = std::max(aa, ab);
  const double small = std::min(aa, ab);
  if (small == 0.0) return big;
  const double q = small / big;
  return big * std::sqrt(1.0 + q * q);
}

void CDIVID(double a, double b, double c, double d, double& e, double& f) {
  if (std::abs(c) > std::abs(d)) {
    const double r = d / c;
    const double t = 1.0 / (c + r * d);
    e = (a + r * b) * t;
    f = (b - r * a) * t;
  } else {
    const double r = c / d;
    const double t = 1.0 / (d + r * c);
    e = (r * a + b) * t;
    f = (r * b - a) * t;
  }
}

void BALSWAP(int j, std::span<double> a_s, int ia, std::span<double> d_s, int l, int k, int n, int m) {
  const Mat1<double> a(a_s, ia);
  const Vec1<double> d(d_s);
  d(j) = m;
  if (j == m) return;
  for (int i = 1; i <= l; ++i) std::swap(a(i, j), a(i, m));
  for (int i = k; i <= n; ++i) std::swap(a(j, i), a(m, i));
}

void MATBAL(int n, double base, std::span<double> a_s, int ia, int& low, int& high, std::span<double> d_s) {
  const Mat1<double> a(a_s, ia);
  const Vec1<double> d(d_s);
  int k = 1;
  int l = n;

  // Rows that isolate an eigenvalue go to the bottom.  The search stops when
  // one row is left, so that high never falls below low.
  bool found = true;
  while (found && l > 1) {
    found = false;
    for (int j = l; j >= 1; --j) {
      double r = 0.0;
      for (int i = 1; i <= l; ++i)
        if (i != j) r += std::abs(a(j, i));
      if (r == 0.0) {
        BALSWAP(l, a_s, ia, d_s, l, k, n, j);
        if (l > 1) --l;
        found = true;
        break;
      }
    }
  }
  // Columns that isolate an eigenvalue go to the left (while two or more are left).
  found = true;
  while (found && k < l) {
    found = false;
    for (int j = k; j <= l; ++j) {
      double c = 0.0;
      for (int i = k; i <= l; ++i)
        if (i != j) c += std::abs(a(i, j));
      if (c == 0.0) {
        BALSWAP(k, a_s, ia, d_s, l, k, n, j);
        ++k;
        found = true;
        break;
      }
    }
  }

  low = k;
  high = l;
  for (int i = k; i <= l; ++i) d(i) = 1.0;

  // Scale rows and columns k..l by powers of the base until their norms balance.
  const double b2 = base * base;
  bool changed = true;
  while (changed) {
    changed = false;
    for (int i = k; i <= l; ++i) {
      double c = 0.0;
      double r = 0.0;
      for (int j = k; j <= l; ++j) {
        if (j == i) continue;
        c += std::abs(a(j, i));
        r += std::abs(a(i, j));
      }
      // A row or column without off-diagonal weight, or with an infinite or
      // NaN weight, cannot be balanced (the loops below would never end).
      if (c == 0.0 || r == 0.0 || !std::isfinite(c) || !std::isfinite(r)) continue;
      double g = r / base;
      double f = 1.0;
      const double s = c + r;
      while (c < g) {
        f *= base;
        c *= b2;
      }
      g = r * base;
      // c may have overflowed above when r is near the largest double.
      while (c >= g && std::isfinite(c)) {
        f /= base;
        c /= b2;
      }
      if ((c + r) / f < 0.95 * s) {
        d(i) *= f;
        for (int j = k; j <= n; ++j) a(i, j) /= f;
        for (int j = 1; j <= l; ++j) a(j, i) *= f;
        changed = true;
      }
    }
  }
}

void HESRED(int n, int low, int high, std::span<double> a_s, int ia, std::span<int> intger_s) {
  const Mat1<double> a(a_s, ia);
  const Vec1<int> intger(intger_s);
  for (int r = low + 1; r <= n; ++r) {
    if (r <= high) {
      int p = r;
      double big = std::abs(a(r, r - 1));
      for (int i = r + 1; i <= high; ++i)
        if (std::abs(a(i, r - 1)) > big) {
          big = std::abs(a(i, r - 1));
          p = i;
        }
      intger(r) = p;
      if (p != r) {
        for (int j = low; j <= n; ++j) std::swap(a(p, j), a(r, j));
        for (int i = 1; i <= high; ++i) std::swap(a(i, p), a(i, r));
      }
      const double pivot = a(r, r - 1);
      if (pivot != 0.0 && r < high) {
        for (int i = r + 1; i <= high; ++i) a(i, r - 1) /= pivot;
        const int m = high;
        const int k = high - r;
        dgemv_("N", &m, &k, &kPlus, a.ptr(1, r + 1), &ia, a.ptr(r + 1, r - 1), &kOne, &kPlus, a.ptr(1, r), &kOne,
               1);
      }
    }
    const int nt = r - low;
    dtrsv_("L", "N", "U", &nt, a.ptr(low + 1, low), &ia, a.ptr(low + 1, r), &kOne, 1, 1, 1);
    if (r < high) {
      const int m = high - r;
      dgemv_("N", &m, &nt, &kMinus, a.ptr(r + 1, low), &ia, a.ptr(low + 1, r), &kOne, &kPlus, a.ptr(r + 1, r), &kOne,
             1);
    }
  }
}

void HESACC(int n, int low, int high, std::span<const int> intger_s, std::span<const double> a_s, int ia,
            std::span<double> v_s, int iv) {
  const Mat1<const double> a(a_s, ia);
  const Vec1<const int> intger(intger_s);
  const Mat1<double> v(v_s, iv);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) v(i, j) = i == j ? 1.0 : 0.0;
  for (int r = high; r >= low + 1; --r) {
    for (int m = low + 1; m <= r - 1; ++m) v(r, m) = a(r, m - 1);
    const int p = intger(r);
    if (p != r)
      for (int j = low + 1; j <= high; ++j) std::swap(v(r, j), v(p, j));
  }
}

void EVBKBAL(int n, int low, int high, int m, std::span<const double> d_s, std::span<double> z_s, int iz) {
  const Vec1<const double> d(d_s);
  const Mat1<double> z(z_s, iz);
  for (int i = low; i <= high; ++i)
    for (int j = 1; j <= m; ++j) z(i, j) *= d(i);
  auto exchange = [&](int i) {
    const int k = static_cast<int>(d(i));
    if (k != i)
      for (int j = 1; j <= m; ++j) std::swap(z(i, j), z(k, j));
  };
  for (int i = low - 1; i >= 1; --i) exchange(i);
  for (int i = high + 1; i <= n; ++i) exchange(i);
}

namespace {

// The sum of the moduli over the Hessenberg part and the number of its elements.
void hessenberg_norm(int n, const Mat1<double>& h, double& norm, double& count) {
  norm = 0.0;
  for (int i = 1; i <= n; ++i)
    for (int j = std::max(1, i - 1); j <= n; ++j) norm += std::abs(h(i, j));
  count = n * (n + 1.0) / 2.0 + n - 1.0;  // in floating point: no overflow for any n
}

// The QR iterations of both routines.  With vectors the transformations also
// reach the columns right of the active block, the rows above it and v, and
// the diagonal keeps each eigenvalue as it is found.
bool francis(int n, int low, int upp, double eps, const Mat1<double>& h, const Mat1<double>* v, const Vec1<double>& wr,
             const Vec1<double>& wi, const Vec1<int>& cnt, double norm, double count) {
  const bool vec = v != nullptr;
  const double tiny = SMALLN() / eps;
  long long budget = 30LL * n;  // 64 bits: no overflow for any n
  double t = 0.0;
  int its = 0;
  int en = upp;
  while (en >= low) {
    // A small sub-diagonal element splits the matrix.
    int l = low;
    for (int ll = en; ll >= low + 1; --ll) {
      double s = std::abs(h(ll - 1, ll - 1)) + std::abs(h(ll, ll));
      if (s < tiny) s = norm / count;
      if (std::abs(h(ll, ll - 1)) <= eps * s) {
        l = ll;
        break;
      }
    }
    double x = h(en, en);
    if (l == en) {
      // One root.
      if (vec) h(en, en) = x + t;
      wr(en) = x + t;
      wi(en) = 0.0;
      cnt(en) = its;
      --en;
      its = 0;
      continue;
    }
    const int na = en - 1;
    double y = h(na, na);
    double w = h(en, na) * h(na, en);
    if (l == na) {
      // Two roots.
      double p = (y - x) / 2.0;
      double q = p * p + w;
      double zz = std::sqrt(std::abs(q));
      cnt(en) = -its;
      cnt(na) = its;
      x = x + t;
      if (vec) {
        h(en, en) = x;
        h(na, na) = y + t;
      }
      if (q >= 0.0) {
        zz = p >= 0.0 ? p + zz : p - zz;
        wr(na) = x + zz;
        wr(en) = zz != 0.0 ? x - w / zz : x + zz;
        wi(na) = 0.0;
        wi(en) = 0.0;
        if (vec) {
          // Rotate the 2 x 2 block to triangular form.
          const double xe = h(en, na);
          const double rr = CMODUL(xe, zz);
          const double pc = xe / rr;
          const double qc = zz / rr;
          for (int j = na; j <= n; ++j) {
            const double z0 = h(na, j);
            h(na, j) = qc * z0 + pc * h(en, j);
            h(en, j) = qc * h(en, j) - pc * z0;
          }
          // The same rotation of columns na and en, in h and in the vectors.
          auto rotate_columns = [&](const Mat1<double>& m, int i0, int i1) {
            for (int i = i0; i <= i1; ++i) {
              const double z0 = m(i, na);
              m(i, na) = qc * z0 + pc * m(i, en);
              m(i, en) = qc * m(i, en) - pc * z0;
            }
          };
          rotate_columns(h, 1, en);
          rotate_columns(*v, low, upp);
        }
      } else {
        wr(na) = x + p;
        wr(en) = x + p;
        wi(na) = zz;
        wi(en) = -zz;
      }
      en -= 2;
      its = 0;
      continue;
    }

    if (budget < 1) return false;
    if (its == 10 || its == 20) {
      // Exceptional shift.
      t += x;
      for (int i = vec ? low : 1; i <= en; ++i) h(i, i) -= x;
      const double s = std::abs(h(en, na)) + std::abs(h(na, en - 2));
      x = 0.75 * s;
      y = x;
      w = -0.4375 * s * s;
    }
    ++its;
    --budget;

    // Two consecutive small sub-diagonal elements.
    int m = en - 2;
    double p = 0.0, q = 0.0, r = 0.0;
    for (; m >= l; --m) {
      const double z = h(m, m);
      r = x - z;
      double s = y - z;
      p = (r * s - w) / h(m + 1, m) + h(m, m + 1);
      q = h(m + 1, m + 1) - z - r - s;
      r = h(m + 2, m + 1);
      s = std::abs(p) + std::abs(q) + std::abs(r);
      p /= s;
      q /= s;
      r /= s;
      if (m == l) break;
      if (std::abs(h(m, m - 1)) * (std::abs(q) + std::abs(r)) <=
          eps * std::abs(p) * (std::abs(h(m - 1, m - 1)) + std::abs(z) + std::abs(h(m + 1, m + 1))))
        break;
    }
    for (int i = m + 2; i <= en; ++i) h(i, i - 2) = 0.0;
    for (int i = m + 3; i <= en; ++i) h(i, i - 3) = 0.0;

    // Double QR step on rows l..en and columns m..en.
    for (int k = m; k <= na; ++k) {
      const bool notlast = k != na;
      if (k != m) {
        p = h(k, k - 1);
        q = h(k + 1, k - 1);
        r = notlast ? h(k + 2, k - 1) : 0.0;
        x = std::abs(p) + std::abs(q) + std::abs(r);
        if (x == 0.0) continue;
        p /= x;
        q /= x;
        r /= x;
      }
      const double s = std::copysign(std::sqrt(p * p + q * q + r * r), p);
      if (k != m) h(k, k - 1) = -s * x;
      else if (l != m) h(k, k - 1) = -h(k, k - 1);
      p += s;
      x = p / s;
      y = q / s;
      const double zz = r / s;
      q /= p;
      r /= p;
      const int jlast = vec ? n : en;
      for (int j = k; j <= jlast; ++j) {
        double pp = h(k, j) + q * h(k + 1, j);
        if (notlast) {
          pp += r * h(k + 2, j);
          h(k + 2, j) -= pp * zz;
        }
        h(k + 1, j) -= pp * y;
        h(k, j) -= pp * x;
      }
      // Column modification, the same in h and in the vectors.
      auto modify_columns = [&](const Mat1<double>& m, int i0, int i1) {
        for (int i = i0; i <= i1; ++i) {
          double pp = x * m(i, k) + y * m(i, k + 1);
          if (notlast) {
            pp += zz * m(i, k + 2);
            m(i, k + 2) -= pp * r;
          }
          m(i, k + 1) -= pp * q;
          m(i, k) -= pp;
        }
      };
      modify_columns(h, vec ? 1 : l, std::min(en, k + 3));
      if (vec) modify_columns(*v, low, upp);
    }
  }
  return true;
}

}  // namespace

void F02APF(int n, double eps, std::span<double> h_s, int ih, std::span<double> wr_s, std::span<double> wi_s,
            std::span<int> cnt_s, int& ifail) {
  const Mat1<double> h(h_s, ih);
  const Vec1<double> wr(wr_s), wi(wi_s);
  const Vec1<int> cnt(cnt_s);
  double norm = 0.0, count = 0.0;
  hessenberg_norm(n, h, norm, count);
  const bool ok = francis(n, 1, n, eps, h, nullptr, wr, wi, cnt, norm, count);
  ifail = ERREXIT(ifail, ok ? 0 : 1, "F02APF");
}

void F02AQF(int n, int low, int upp, double eps, std::span<double> h_s, int ih, std::span<double> v_s, int iv,
            std::span<double> wr_s, std::span<double> wi_s, std::span<int> cnt_s, int& ifail) {
  const Mat1<double> h(h_s, ih);
  const Mat1<double> v(v_s, iv);
  const Vec1<double> wr(wr_s), wi(wi_s);
  const Vec1<int> cnt(cnt_s);

  // Roots isolated by balancing.
  for (int i = 1; i <= n; ++i) {
    if (i >= low && i <= upp) continue;
    wr(i) = h(i, i);
    wi(i) = 0.0;
    cnt(i) = 0;
  }
  double norm = 0.0, count = 0.0;
  hessenberg_norm(n, h, norm, count);
  if (!francis(n, low, upp, eps, h, &v, wr, wi, cnt, norm, count)) {
    ifail = ERREXIT(ifail, 1, "F02AQF");
    return;
  }
  ifail = 0;
  if (norm == 0.0) return;

  // Back-substitution for the vectors of the triangular (quasi-triangular)
  // matrix.  Column en collects, in rows above the component being fixed, the
  // partial sums of the components already fixed.
  const double normp = norm * eps;
  for (int en = n; en >= 1; --en) {
    const double p = wr(en);
    const double q = wi(en);
    const int na = en - 1;
    if (q == 0.0) {
      // Real vector.
      h(en, en) = 1.0;
      double zz = 0.0, s = 0.0;
      for (int i = en - 1; i >= 1; --i) {
        const double w = h(i, i) - p;
        const double r = h(i, en);
        if (wi(i) < 0.0) {
          zz = w;
          s = r;
          continue;
        }
        if (wi(i) == 0.0) {
          if (w != 0.0) {
            h(i, en) = -r / w;
          } else if (std::abs(r) < 10.0 * normp) {
            h(i, en) = -r / normp;
          } else {
            for (int k = 1; k <= en; ++k) h(k, en) *= normp;
            h(i, en) = -r;
          }
          for (int k = 1; k <= i - 1; ++k) h(k, en) += h(i, en) * h(k, i);
        } else {
          // Upper row of a complex pair i, i+1.
          const double x = h(i, i + 1);
          const double y = h(i + 1, i);
          const double qq = (wr(i) - p) * (wr(i) - p) + wi(i) * wi(i);
          const double tt = (x * s - zz * r) / qq;
          h(i, en) = tt;
          h(i + 1, en) = std::abs(x) > std::abs(zz) ? (-r - w * tt) / x : (-s - y * tt) / zz;
          for (int k = 1; k <= i - 1; ++k) h(k, en) += h(i, en) * h(k, i) + h(i + 1, en) * h(k, i + 1);
        }
      }
    } else if (q < 0.0) {
      // Complex vector of the pair na, en: real part in column na, imaginary in en.
      if (std::abs(h(en, na)) > std::abs(h(na, en))) {
        h(na, na) = q / h(en, na);
        h(na, en) = -(h(en, en) - p) / h(en, na);
      } else {
        double e = 0.0, f = 0.0;
        CDIVID(0.0, -h(na, en), h(na, na) - p, q, e, f);
        h(na, na) = e;
        h(na, en) = f;
      }
      h(en, na) = 0.0;
      h(en, en) = 1.0;
      // Partial sums of the two fixed components na and en in rows above.
      for (int k = 1; k <= na - 1; ++k) {
        const double hk = h(k, na);
        h(k, na) = hk * h(na, na);
        h(k, en) = h(k, en) + hk * h(na, en);
      }
      double zz = 0.0, r = 0.0, s = 0.0;
      for (int i = na - 1; i >= 1; --i) {
        const double w = h(i, i) - p;
        const double ra = h(i, na);
        const double sa = h(i, en);
        if (wi(i) < 0.0) {
          zz = w;
          r = ra;
          s = sa;
          continue;
        }
        if (wi(i) == 0.0) {
          double e = 0.0, f = 0.0;
          CDIVID(-ra, -sa, w, q, e, f);
          h(i, na) = e;
          h(i, en) = f;
          for (int k = 1; k <= i - 1; ++k) {
            h(k, na) += h(i, na) * h(k, i);
            h(k, en) += h(i, en) * h(k, i);
          }
        } else {
          const double x = h(i, i + 1);
          const double y = h(i + 1, i);
          double vr = (wr(i) - p) * (wr(i) - p) + wi(i) * wi(i) - q * q;
          const double vi = (wr(i) - p) * 2.0 * q;
          if (vr == 0.0 && vi == 0.0)
            vr = eps * normp * (std::abs(w) + std::abs(q) + std::abs(x) + std::abs(y) + std::abs(zz));
          double e = 0.0, f = 0.0;
          CDIVID(x * r - zz * ra + q * sa, x * s - zz * sa - q * ra, vr, vi, e, f);
          h(i, na) = e;
          h(i, en) = f;
          if (std::abs(x) > std::abs(zz) + std::abs(q)) {
            h(i + 1, na) = (-ra - w * h(i, na) + q * h(i, en)) / x;
            h(i + 1, en) = (-sa - w * h(i, en) - q * h(i, na)) / x;
          } else {
            CDIVID(-r - y * h(i, na), -s - y * h(i, en), zz, q, e, f);
            h(i + 1, na) = e;
            h(i + 1, en) = f;
          }
          for (int k = 1; k <= i - 1; ++k) {
            h(k, na) += h(i, na) * h(k, i) + h(i + 1, na) * h(k, i + 1);
            h(k, en) += h(i, en) * h(k, i) + h(i + 1, en) * h(k, i + 1);
          }
        }
      }
    }
    // q > 0: the first of a pair, done with the second.
  }

  // Vectors of the isolated roots.
  for (int i = 1; i <= n; ++i) {
    if (i >= low && i <= upp) continue;
    for (int j = i; j <= n; ++j) v(i, j) = h(i, j);
  }
  // Multiply by the transformation.
  for (int j = n; j >= low; --j) {
    const int kmax = std::min(j, upp);
    for (int i = low; i <= upp; ++i) {
      double z = 0.0;
      for (int k = low; k <= kmax; ++k) z += v(i, k) * h(k, j);
      v(i, j) = z;
    }
  }
}

void F02AFF(std::span<double> a, int ia, int n, std::span<double> rr, std::span<double> ri, std::span<int> intger,
            int& ifail) {
  const double eps = EPSMACH();
  int low = 0, high = 0;
  // The balancing scale factors are not needed after balancing: rr holds them meanwhile.
  MATBAL(n, MBASE(), a, ia, low, high, rr);
  HESRED(n, low, high, a, ia, intger);
  int inner = 1;
  F02APF(n, eps, a, ia, rr, ri, intger, inner);
  ifail = ERREXIT(ifail, inner == 0 ? 0 : 1, "F02AFF");
}

void F02AGF(std::span<double> a, int ia, int n, std::span<double> rr, std::span<double> ri, std::span<double> vr_s,
            int ivr, std::span<double> vi_s, int ivi, std::span<int> intger, int& ifail) {
  const double eps = EPSMACH();
  int low = 0, high = 0;
  // The scale factors live in ri until EVBKBAL has used them.
  MATBAL(n, MBASE(), a, ia, low, high, ri);
  HESRED(n, low, high, a, ia, intger);
  HESACC(n, low, high, intger, a, ia, vr_s, ivr);
  EVBKBAL(n, low, high, n, ri, vr_s, ivr);
  int inner = 1;
  F02AQF(n, 1, n, eps, a, ia, vr_s, ivr, rr, ri, intger, inner);
  if (inner != 0) {
    ifail = ERREXIT(ifail, 1, "F02AGF");
    return;
  }

  const Mat1<double> vr(vr_s, ivr), vi(vi_s, ivi);
  const Vec1<double> wi(ri);
  // Unpack the complex pairs: vr(., i) + i vr(., i+1) and its conjugate.  A
  // pair is recognised by position (its first member follows a real root or
  // another pair), not by the sign of wi: a NaN wi from a NaN matrix has no
  // sign, and taking it for a second member at i = 1 read column 0.
  bool second = false;
  for (int i = 1; i <= n; ++i) {
    if (second) {
      for (int k = 1; k <= n; ++k) {
        vr(k, i) = vr(k, i - 1);
        vi(k, i) = -vi(k, i - 1);
      }
      second = false;
    } else if (wi(i) == 0.0 || i == n) {
      for (int k = 1; k <= n; ++k) vi(k, i) = 0.0;
    } else {
      for (int k = 1; k <= n; ++k) vi(k, i) = vr(k, i + 1);
      second = true;
    }
  }
  // Length 1, the first component of largest modulus real and positive.
  for (int i = 1; i <= n; ++i) {
    double big = 0.0;
    for (int k = 1; k <= n; ++k) big = std::max({big, std::abs(vr(k, i)), std::abs(vi(k, i))});
    if (big == 0.0) continue;
    for (int k = 1; k <= n; ++k) {
      vr(k, i) /= big;
      vi(k, i) /= big;
    }
    double s = 0.0;
    int kc = 1;
    double cmax = -1.0;
    for (int k = 1; k <= n; ++k) {
      const double m2 = vr(k, i) * vr(k, i) + vi(k, i) * vi(k, i);
      s += m2;
      if (m2 > cmax) {
        cmax = m2;
        kc = k;
      }
    }
    const double cr = vr(kc, i);
    const double ci = vi(kc, i);
    const double scale = CMODUL(cr, ci) * std::sqrt(s);
    const double fr = cr / scale;
    const double fi = -ci / scale;
    for (int k = 1; k <= n; ++k) {
      const double re = vr(k, i);
      const double im = vi(k, i);
      vr(k, i) = re * fr - im * fi;
      vi(k, i) = re * fi + im * fr;
    }
    vi(kc, i) = 0.0;
  }
  ifail = 0;
}

}  // namespace qv::numlib
