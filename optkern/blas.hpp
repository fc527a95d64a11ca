// Prototypes of the reference BLAS routines that the optimizer calls
// (Fortran calling convention: every argument by address).
#pragma once

#include <cstddef>

extern "C" {
// x := a x.
void dscal_(const int* n, const double* a, double* x, const int* incx);
// Inner product of x and y.
double ddot_(const int* n, const double* x, const int* incx, const double* y, const int* incy);
// y := a x + y.
void daxpy_(const int* n, const double* a, const double* x, const int* incx, double* y, const int* incy);
// y := x.
void dcopy_(const int* n, const double* x, const int* incx, double* y, const int* incy);
// Index of the element of largest absolute value.
int idamax_(const int* n, const double* x, const int* incx);
// y := alpha op(A) x + beta y.
void dgemv_(const char* trans, const int* m, const int* n, const double* alpha, const double* a,
            const int* lda, const double* x, const int* incx, const double* beta, double* y,
            const int* incy, std::size_t ltrans);
}
