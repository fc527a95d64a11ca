// Strided vector kernels: y := alpha x, and the scaled sum of squares and
// Euclidean norm of a complex vector.  Element i (1-based) of a vector with
// increment inc > 0 is at 1 + (i-1) inc; with inc < 0 the vector is read from
// the far end, element i at 1 + (n-i) |inc|.
#pragma once

#include <complex>
#include <span>

namespace qv::numlib {

// y := alpha x over n strided elements.
void VSCALE(int n, double alpha, std::span<const double> x, int incx, std::span<double> y, int incy);
// Updates (scale, ssq), standing for scale^2 ssq, with the real and imaginary
// parts of the n elements of x.
void CSSQ(int n, std::span<const std::complex<double>> x, int incx, double& scale, double& ssq);
// Euclidean norm of a complex vector.
double CNORM2(int n, std::span<const std::complex<double>> x, int incx);

}  // namespace qv::numlib
