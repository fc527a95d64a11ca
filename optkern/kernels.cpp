// Vector and scalar kernels of the optimizer.
#include "optkern/kernels.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>

#include "optkern/blas.hpp"
#include "optkern/machine.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

namespace qv::optkern {

using runtime::Vec1;

namespace {

// First index of a strided vector of n elements: the far end for a negative
// increment, as in the BLAS.
inline std::ptrdiff_t first_index(int n, int inc) {
  return inc < 0 ? 1 - static_cast<std::ptrdiff_t>(n - 1) * inc : 1;
}

inline double sign1(double x) { return x >= 0.0 ? 1.0 : -1.0; }

}  // namespace

void ROTGEN(double& a, double& b, double& c, double& s) {
  const double eps = wmach(3);
  const double rtmin = wmach(6);

  if (b == 0.0) {
    c = 1.0;
    s = 0.0;
  } else if (a == 0.0) {
    c = 0.0;
    s = 1.0;
    a = b;
  } else {
    const double absa = std::abs(a);
    const double absb = std::abs(b);
    if (std::max(absa, absb) <= rtmin) {
      c = 1.0;
      s = 0.0;
    } else {
      double r = 0.0;
      bool done = false;
      if (absb >= absa) {
        if (absa <= eps * absb) {
          c = 0.0;
          s = 1.0;
          a = b;
          done = true;
        } else {
          const double q = absa / absb;
          r = absb * std::sqrt(1.0 + q * q);
        }
      } else {
        if (absb <= eps * absa) {
          c = 1.0;
          s = 0.0;
          done = true;
        } else {
          const double q = absb / absa;
          r = absa * std::sqrt(1.0 + q * q);
        }
      }
      if (!done) {
        if (a < 0.0) r = -r;
        c = a / r;
        s = b / r;
        a = r;
      }
    }
  }
  b = 0.0;
}

void ROTSEQ(std::string_view pivot, std::string_view direction, int n, double& alpha,
            std::span<double> x, int incx, std::span<double> c, std::span<double> s) {
  if (n <= 0 || incx < 1 || pivot.empty() || direction.empty()) return;
  const Vec1<double> xv(x);
  const Vec1<double> cv(c);
  const Vec1<double> sv(s);
  auto X = [&](int i) -> double& { return xv(1 + static_cast<std::ptrdiff_t>(i - 1) * incx); };
  const char piv = static_cast<char>(std::toupper(static_cast<unsigned char>(pivot[0])));
  const char dir = static_cast<char>(std::toupper(static_cast<unsigned char>(direction[0])));

  if (dir == 'B') {
    if (piv == 'V') {
      for (int i = n; i >= 2; --i) ROTGEN(X(i - 1), X(i), cv(i), sv(i));
      ROTGEN(alpha, X(1), cv(1), sv(1));
    } else if (piv == 'F') {
      for (int i = n; i >= 1; --i) {
        ROTGEN(alpha, X(i), cv(i), sv(i));
        sv(i) = -sv(i);
      }
    }
  } else if (dir == 'F') {
    if (piv == 'V') {
      for (int i = 1; i <= n - 1; ++i) {
        ROTGEN(X(i + 1), X(i), cv(i), sv(i));
        sv(i) = -sv(i);
      }
      ROTGEN(alpha, X(n), cv(n), sv(n));
      sv(n) = -sv(n);
    } else if (piv == 'F') {
      for (int i = 1; i <= n; ++i) ROTGEN(alpha, X(i), cv(i), sv(i));
    }
  }
}

void HHGEN(int n, double& alpha, std::span<double> x, int incx, double tol, double& zeta) {
  const double eps = wmach(3);
  if (n < 1) {
    zeta = 0.0;
    return;
  }
  const Vec1<double> xv(x);
  if (n == 1) {
    double& x1 = xv(1);
    if (x1 == 0.0) {
      zeta = 0.0;
    } else if (alpha == 0.0) {
      zeta = 1.0;
      alpha = std::abs(x1);
      x1 = -sign1(x1);
    } else if (std::abs(x1) > std::max(tol, eps * std::abs(alpha))) {
      const double absa = std::abs(alpha);
      const double absx = std::abs(x1);
      double beta;
      if (absa >= absx) {
        const double q = absx / absa;
        beta = absa * std::sqrt(1.0 + q * q);
      } else {
        const double q = absa / absx;
        beta = absx * std::sqrt(1.0 + q * q);
      }
      zeta = std::sqrt((absa + beta) / beta);
      if (alpha > 0.0) beta = -beta;
      x1 = -x1 / (zeta * beta);
      alpha = beta;
    } else {
      zeta = 0.0;
    }
    return;
  }

  if (incx < 1) {
    zeta = 0.0;
    return;
  }
  double scale = 0.0;
  double ssq = 1.0;
  SSQUPD(n, x, incx, scale, ssq);
  if (scale == 0.0 || scale <= std::max(tol, eps * std::abs(alpha))) {
    zeta = 0.0;
    return;
  }
  // Touch the last element through the view so that a short span is caught
  // in checked builds before DSCAL runs over it.
  (void)xv(1 + static_cast<std::ptrdiff_t>(n - 1) * incx);
  if (alpha == 0.0) {
    zeta = 1.0;
    alpha = scale * std::sqrt(ssq);
    const double f = -1.0 / alpha;
    dscal_(&n, &f, xv.ptr(1), &incx);
  } else {
    const double absa = std::abs(alpha);
    double beta;
    if (scale < absa) {
      const double q = scale / alpha;
      beta = absa * std::sqrt(1.0 + ssq * (q * q));
    } else {
      const double q = alpha / scale;
      beta = scale * std::sqrt(ssq + q * q);
    }
    zeta = std::sqrt((absa + beta) / beta);
    if (alpha > 0.0) beta = -beta;
    const double f = -1.0 / (zeta * beta);
    dscal_(&n, &f, xv.ptr(1), &incx);
    alpha = beta;
  }
}

double SAFDIV(double a, double b, bool& fail) {
  const double rmin = wmach(5);
  const double rmax = wmach(7);
  if (a == 0.0) {
    fail = (b == 0.0);
    return 0.0;
  }
  if (b == 0.0) {
    fail = true;
    return std::copysign(rmax, a);
  }
  const double absa = std::abs(a);
  const double absb = std::abs(b);
  if (absb < 1.0) {
    if (absa <= absb * rmax) {
      fail = false;
      return a / b;
    }
    fail = true;
    return ((a < 0.0) != (b < 0.0)) ? -rmax : rmax;
  }
  fail = false;
  if (absa < absb * rmin) return 0.0;
  return a / b;
}

double SSQNRM(double scale, double ssq) {
  const double rmax = wmach(7);
  const double sqt = std::sqrt(ssq);
  if (scale < rmax / sqt) return scale * sqt;
  return rmax;
}

double ssq_norm2(int n, const double* x, int inc) {
  if (n <= 0) return 0.0;
  double scale = 0.0, ssq = 1.0;
  SSQUPD(n, std::span<const double>(x, static_cast<std::size_t>(1 + (n - 1) * inc)), inc, scale, ssq);
  return SSQNRM(scale, ssq);
}

void SSQUPD(int n, std::span<const double> x, int incx, double& scale, double& ssq) {
  if (n <= 0 || incx < 1) return;
  const Vec1<const double> xv(x);
  for (int i = 1; i <= n; ++i) {
    const double xi = xv(1 + static_cast<std::ptrdiff_t>(i - 1) * incx);
    if (xi == 0.0) continue;
    const double absxi = std::abs(xi);
    if (scale < absxi) {
      const double q = scale / absxi;
      ssq = 1.0 + ssq * (q * q);
      scale = absxi;
    } else {
      const double q = absxi / scale;
      ssq = ssq + q * q;
    }
  }
}

void AMAXMIN(int n, std::span<const double> x, int incx, double& xmax, double& xmin) {
  xmax = 0.0;
  xmin = 0.0;
  if (n <= 0 || incx < 1) return;
  const Vec1<const double> xv(x);
  xmax = std::abs(xv(1));
  xmin = xmax;
  for (int i = 2; i <= n; ++i) {
    const double v = std::abs(xv(1 + static_cast<std::ptrdiff_t>(i - 1) * incx));
    xmax = std::max(xmax, v);
    xmin = std::min(xmin, v);
  }
}

int NLEAD(int n, std::span<const double> x, int incx, double tol) {
  if (n <= 0 || incx < 1) return 0;
  if (tol < 0.0) tol = wmach(3);
  const Vec1<const double> xv(x);
  double xmax = std::abs(xv(1));
  int k = 0;
  for (int i = 1; i <= n; ++i) {
    const double v = std::abs(xv(1 + static_cast<std::ptrdiff_t>(i - 1) * incx));
    if (v <= tol * xmax) break;
    ++k;
    xmax = std::max(xmax, v);
  }
  return k;
}

namespace {

template <bool Divide>
void diag_apply(int n, std::span<const double> d, int incd, std::span<double> x, int incx) {
  if (n <= 0) return;
  const Vec1<const double> dv(d);
  const Vec1<double> xv(x);
  if (incd == 0 && incx != 0) {
    const double f = Divide ? 1.0 / dv(1) : dv(1);
    const int inc = std::abs(incx);
    (void)xv(1 + static_cast<std::ptrdiff_t>(n - 1) * inc);
    dscal_(&n, &f, xv.ptr(1), &inc);
    return;
  }
  if (incd == incx && incx > 0) {
    for (std::ptrdiff_t i = 1; i <= 1 + static_cast<std::ptrdiff_t>(n - 1) * incx; i += incx) {
      if constexpr (Divide) {
        xv(i) = xv(i) / dv(i);
      } else {
        xv(i) = dv(i) * xv(i);
      }
    }
    return;
  }
  std::ptrdiff_t id = first_index(n, incd);
  std::ptrdiff_t ix = first_index(n, incx);
  for (int k = 1; k <= n; ++k) {
    if constexpr (Divide) {
      xv(ix) = xv(ix) / dv(id);
    } else {
      xv(ix) = dv(id) * xv(ix);
    }
    id += incd;
    ix += incx;
  }
}

}  // namespace

void DIAGSC(int n, std::span<const double> d, int incd, std::span<double> x, int incx) {
  diag_apply<false>(n, d, incd, x, incx);
}

void DIAGDV(int n, std::span<const double> d, int incd, std::span<double> x, int incx) {
  diag_apply<true>(n, d, incd, x, incx);
}

void ICOPYV(int n, std::span<const int> x, int incx, std::span<int> y, int incy) {
  if (n <= 0) return;
  const Vec1<const int> xv(x);
  const Vec1<int> yv(y);
  std::ptrdiff_t ix = first_index(n, incx);
  std::ptrdiff_t iy = first_index(n, incy);
  for (int k = 1; k <= n; ++k) {
    yv(iy) = xv(ix);
    ix += incx;
    iy += incy;
  }
}

void IVFILL(int n, int value, std::span<int> x, int incx) {
  if (n <= 0 || incx < 1) return;
  const Vec1<int> xv(x);
  for (int i = 1; i <= n; ++i) xv(1 + static_cast<std::ptrdiff_t>(i - 1) * incx) = value;
}

void DVFILL(int n, double value, std::span<double> x, int incx) {
  if (n <= 0 || incx < 1) return;
  const Vec1<double> xv(x);
  for (int i = 1; i <= n; ++i) xv(1 + static_cast<std::ptrdiff_t>(i - 1) * incx) = value;
}

double WTNRM2(int n, std::span<const double> w, int incw, std::span<const double> x, int incx) {
  if (n <= 0 || incw < 1 || incx < 1) return 0.0;
  const Vec1<const double> wv(w);
  const Vec1<const double> xv(x);
  if (n == 1) return std::sqrt(wv(1)) * std::abs(xv(1));
  double scale = 0.0;
  double ssq = 1.0;
  for (int i = 1; i <= n; ++i) {
    const double wi = wv(1 + static_cast<std::ptrdiff_t>(i - 1) * incw);
    const double xi = xv(1 + static_cast<std::ptrdiff_t>(i - 1) * incx);
    if (wi == 0.0 || xi == 0.0) continue;
    const double t = std::sqrt(wi) * std::abs(xi);
    SSQUPD(1, std::span<const double>(&t, 1), 1, scale, ssq);
  }
  return SSQNRM(scale, ssq);
}

void ROTTAN(double t, double& c, double& s) {
  const double rteps = wmach(4);
  const double abst = std::abs(t);
  if (abst < rteps) {
    c = 1.0;
    s = t;
  } else if (abst > 1.0 / rteps) {
    c = 1.0 / abst;
    s = sign1(t);
  } else {
    c = 1.0 / std::sqrt(1.0 + abst * abst);
    s = c * t;
  }
}

std::string PARERR(std::string_view name, int param) {
  const std::string rec = runtime::write_internal(
      "(' ** On entry to ',a13,' parameter number ',i2,' had an illegal value')",
      {runtime::fpad(name, 13), param});
  return runtime::fpad(rec, 80);
}

}  // namespace qv::optkern
