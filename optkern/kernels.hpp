// Vector and scalar kernels of the optimizer.
//
// Small kernels used beside the BLAS by the optimizer and by some routines of
// the numerical library: guarded division and norms that never overflow,
// plane rotations and elementary reflectors, strided fills and copies,
// diagonal scaling, a scaled sum of squares, extreme magnitudes and a
// leading-element count.
//
// Vectors are spans with an element count n and an increment: element i of x
// is x(1 + (i-1)*incx).  For the copy and scaling kernels a negative increment
// starts from the far end, as in the BLAS.  The fill, sum-of-squares and
// magnitude kernels need an increment of at least 1 (they do nothing
// otherwise).  n <= 0 makes every kernel return at once (norms return 0).
//
// Machine constants come from the optimizer's table (optkern/machine.hpp).
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace qv::optkern {

// Plane rotation (c, s) with c*a + s*b = r and -s*a + c*b = 0; a := r, b := 0.
void ROTGEN(double& a, double& b, double& c, double& s);

// The n rotations that reduce (alpha, x) to a multiple of one element; pivot
// ("Variable"/"Fixed") and direction ("Forwards"/"Backwards") are read by their
// first letter.  c and s receive rotations 1..n.
void ROTSEQ(std::string_view pivot, std::string_view direction, int n, double& alpha,
            std::span<double> x, int incx, std::span<double> c, std::span<double> s);

// Elementary reflector P = I - (zeta; z)(zeta z') with P*(alpha; x) = (beta; 0):
// z overwrites x, beta overwrites alpha; zeta = 0 when P is the identity.
void HHGEN(int n, double& alpha, std::span<double> x, int incx, double tol, double& zeta);

// a/b without overflow; fail tells whether the quotient was replaced.
double SAFDIV(double a, double b, bool& fail);

// scale*sqrt(ssq), or rmax when that would overflow.
double SSQNRM(double scale, double ssq);

// Updates (scale, ssq) so that scale^2*ssq grows by the sum of x(i)^2.  Start
// with scale 0 and ssq 1.
void SSQUPD(int n, std::span<const double> x, int incx, double& scale, double& ssq);

// Euclidean norm of n elements spaced inc apart (inc >= 1), by the scaled sum
// of squares; 0 when n <= 0.
double ssq_norm2(int n, const double* x, int inc);

// Largest and smallest |x(i)| (both 0 when n <= 0).
void AMAXMIN(int n, std::span<const double> x, int incx, double& xmax, double& xmin);

// Number of leading elements that stand out against the ones before them
// (tol < 0 means eps).
int NLEAD(int n, std::span<const double> x, int incx, double tol);

// x(i) := d(i)*x(i).
void DIAGSC(int n, std::span<const double> d, int incd, std::span<double> x, int incx);
// x(i) := x(i)/d(i).
void DIAGDV(int n, std::span<const double> d, int incd, std::span<double> x, int incx);

// Integer copy y := x.
void ICOPYV(int n, std::span<const int> x, int incx, std::span<int> y, int incy);
// Integer fill.
void IVFILL(int n, int value, std::span<int> x, int incx);
// Real fill.
void DVFILL(int n, double value, std::span<double> x, int incx);

// sqrt of the sum of w(i)*x(i)^2 without overflow.
double WTNRM2(int n, std::span<const double> w, int incw, std::span<const double> x, int incx);

// Rotation from a tangent t.
void ROTTAN(double t, double& c, double& s);

// Parameter-error record of the level-2 and level-3 BLAS.  The record is only
// formed (and returned here for inspection); nothing is written and the run
// goes on.
std::string PARERR(std::string_view name, int param);

}  // namespace qv::optkern
