#include "optim_alt/r1mod.hpp"

#include <algorithm>
#include <cstddef>

#include "optim_alt/blas.hpp"
#include "optkern/kernels.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

using runtime::Mat1;
using runtime::Vec1;

namespace {
constexpr int kIncOne = 1;
}  // namespace

void ROTVEC(int n, std::span<double> x, int incx, std::span<double> y, int incy, double cs, double sn) {
  if (n <= 0 || sn == 0.0) return;
  const Vec1<double> X(x);
  const Vec1<double> Y(y);
  if (incx == incy && incx > 0) {
    for (std::ptrdiff_t i = 1, k = 0; k < n; ++k, i += incx) {
      const double t = X(i);
      X(i) = cs * t + sn * Y(i);
      Y(i) = sn * t - cs * Y(i);
    }
    return;
  }
  std::ptrdiff_t ix = incx < 0 ? 1 + static_cast<std::ptrdiff_t>(1 - n) * incx : 1;
  std::ptrdiff_t iy = incy < 0 ? 1 + static_cast<std::ptrdiff_t>(1 - n) * incy : 1;
  for (int k = 0; k < n; ++k, ix += incx, iy += incy) {
    const double t = X(ix);
    X(ix) = cs * t + sn * Y(iy);
    Y(iy) = sn * t - cs * Y(iy);
  }
}

void E4R1MD(int n, int nq, int nrank, int ldr, int lenv, int lenw, std::span<double> r, std::span<double> q,
            std::span<double> u, std::span<const double> v) {
  if (nrank <= 0) return;
  const Mat1<double> R(r, ldr);
  const Mat1<double> Q(q, n);
  const Vec1<double> U(u);
  const Vec1<const double> V(v);
  const int j = std::min(nrank, lenv);
  // Row i of R from column col, and row i of Q, as strided spans to the end of their storage.
  auto row_of_r = [&](int i, int col) {
    const std::ptrdiff_t off = (i - 1) + static_cast<std::ptrdiff_t>(col - 1) * ldr;
    return std::span<double>(R.ptr(i, col), static_cast<std::size_t>(R.extent() - off));
  };
  auto row_of_q = [&](int i) {
    return std::span<double>(Q.ptr(i, 1), static_cast<std::size_t>(Q.extent() - (i - 1)));
  };

  // U becomes the working row j; t keeps U(j).
  double t = U(j);
  const int len = n - j + 1;
  dcopy_(&len, R.ptr(j, j), &ldr, U.ptr(j), &kIncOne);

  // Reduce U(1..j-1) into t, moving each fill-in into the working row.
  for (int i = j - 1; i >= 1; --i) {
    double c = 0.0;
    double s = 0.0;
    optkern::ROTGEN(t, U(i), c, s);
    ROTVEC(n - i + 1, U.from(i).span(), 1, row_of_r(i, i), ldr, c, s);
    if (nq > 0) ROTVEC(nq, row_of_q(j), n, row_of_q(i), n, c, s);
  }

  daxpy_(&lenw, &t, V.ptr(1), &kIncOne, U.ptr(1), &kIncOne);

  // Eliminate the working row's entries left of j against the diagonal.
  for (int i = 1; i <= j - 1; ++i) {
    double c = 0.0;
    double s = 0.0;
    optkern::ROTGEN(R(i, i), U(i), c, s);
    ROTVEC(n - i, row_of_r(i, i + 1), ldr, U.from(i + 1).span(), 1, c, s);
    if (nq > 0) ROTVEC(nq, row_of_q(i), n, row_of_q(j), n, c, s);
  }
  dcopy_(&len, U.ptr(j), &kIncOne, R.ptr(j, j), &ldr);
}

}  // namespace qv::optim_alt
