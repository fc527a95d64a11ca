#include "numlib/veckern.hpp"

#include <cmath>
#include <cstdlib>

#include "optkern/kernels.hpp"
#include "runtime/view1.hpp"

namespace qv::numlib {

using runtime::Vec1;

void VSCALE(int n, double alpha, std::span<const double> x_, int incx, std::span<double> y_, int incy) {
  if (n <= 0) return;
  if (alpha == 0.0 && incy != 0) {
    optkern::DVFILL(n, 0.0, y_, std::abs(incy));
    return;
  }
  Vec1<const double> x(x_);
  Vec1<double> y(y_);
  if (incx == incy && incx > 0) {
    for (int k = 1; k <= 1 + (n - 1) * incx; k += incx) y(k) = alpha * x(k);
    return;
  }
  int iy = incy < 0 ? 1 - (n - 1) * incy : 1;
  int ix = incx <= 0 ? 1 - (n - 1) * incx : 1;
  for (int k = 0; k < n; ++k) {
    y(iy) = alpha * x(ix);
    ix += incx;
    iy += incy;
  }
}

void CSSQ(int n, std::span<const std::complex<double>> x_, int incx, double& scale, double& ssq) {
  if (n <= 0) return;
  Vec1<const std::complex<double>> x(x_);
  auto add = [&](double v) {
    if (v == 0.0) return;
    const double av = std::fabs(v);
    if (av > scale) {
      ssq = 1.0 + ssq * (scale / av) * (scale / av);
      scale = av;
    } else {
      ssq += (av / scale) * (av / scale);
    }
  };
  for (int i = 1; i <= n; ++i) {
    // A negative increment reads the vector from its far end; 0 repeats x(1).
    const int pos = incx >= 0 ? 1 + (i - 1) * incx : 1 + (n - i) * (-incx);
    add(x(pos).real());
    add(x(pos).imag());
  }
}

double CNORM2(int n, std::span<const std::complex<double>> x, int incx) {
  if (n <= 0) return 0.0;
  double scale = 0.0, ssq = 1.0;
  CSSQ(n, x, incx, scale, ssq);
  return optkern::SSQNRM(scale, ssq);
}

}  // namespace qv::numlib
