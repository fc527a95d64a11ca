// Prototypes of the reference BLAS routines the edition calls (Fortran
// calling convention: every argument by address, hidden lengths for the
// one-character option arguments).  The same declarations as the optimizer's
// and the library's, so the headers may meet in one file.
#pragma once

#include <cstddef>

extern "C" {
// y := a x + y.
void daxpy_(const int* n, const double* a, const double* x, const int* incx, double* y, const int* incy);
// y := x.
void dcopy_(const int* n, const double* x, const int* incx, double* y, const int* incy);
// Exchanges x and y.
void dswap_(const int* n, double* x, const int* incx, double* y, const int* incy);
// Euclidean norm of x.
double dnrm2_(const int* n, const double* x, const int* incx);
// y := alpha op(A) x + beta y.
void dgemv_(const char* trans, const int* m, const int* n, const double* alpha, const double* a,
            const int* lda, const double* x, const int* incx, const double* beta, double* y,
            const int* incy, std::size_t ltrans);
// A := alpha x y' + A.
void dger_(const int* m, const int* n, const double* alpha, const double* x, const int* incx,
           const double* y, const int* incy, double* a, const int* lda);
}
