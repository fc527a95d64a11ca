// Prototypes of the reference BLAS routines that the optimizer calls
// (Fortran calling convention: every argument by address).
#pragma once

#include <cstddef>

extern "C" {
void dscal_(const int* n, const double* a, double* x, const int* incx);
double ddot_(const int* n, const double* x, const int* incx, const double* y, const int* incy);
void daxpy_(const int* n, const double* a, const double* x, const int* incx, double* y, const int* incy);
void dcopy_(const int* n, const double* x, const int* incx, double* y, const int* incy);
int idamax_(const int* n, const double* x, const int* incx);
void dgemv_(const char* trans, const int* m, const int* n, const double* alpha, const double* a,
            const int* lda, const double* x, const int* incx, const double* beta, double* y,
            const int* incy, std::size_t ltrans);
}
