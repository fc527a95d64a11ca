// Prototypes of the reference BLAS routines the library calls (Fortran
// calling convention: every argument by address, hidden lengths for the
// one-character option arguments).
#pragma once

#include <cstddef>

extern "C" {
// Inner product of x and y.
double ddot_(const int* n, const double* x, const int* incx, const double* y, const int* incy);
// x := a x.
void dscal_(const int* n, const double* a, double* x, const int* incx);
// Exchanges x and y.
void dswap_(const int* n, double* x, const int* incx, double* y, const int* incy);
// Index of the element of largest absolute value.
int idamax_(const int* n, const double* x, const int* incx);
// y := alpha op(A) x + beta y.
void dgemv_(const char* trans, const int* m, const int* n, const double* alpha, const double* a,
            const int* lda, const double* x, const int* incx, const double* beta, double* y,
            const int* incy, std::size_t ltrans);
// A := alpha x y' + A.
void dger_(const int* m, const int* n, const double* alpha, const double* x, const int* incx,
           const double* y, const int* incy, double* a, const int* lda);
// y := alpha A x + beta y, A symmetric (one triangle stored).
void dsymv_(const char* uplo, const int* n, const double* alpha, const double* a, const int* lda,
            const double* x, const int* incx, const double* beta, double* y, const int* incy,
            std::size_t luplo);
// A := alpha x y' + alpha y x' + A, A symmetric (one triangle stored).
void dsyr2_(const char* uplo, const int* n, const double* alpha, const double* x, const int* incx,
            const double* y, const int* incy, double* a, const int* lda, std::size_t luplo);
// Solves op(A) x = b for triangular A, x overwriting b.
void dtrsv_(const char* uplo, const char* trans, const char* diag, const int* n, const double* a,
            const int* lda, double* x, const int* incx, std::size_t luplo, std::size_t ltrans,
            std::size_t ldiag);
// x := op(A) x for triangular A.
void dtrmv_(const char* uplo, const char* trans, const char* diag, const int* n, const double* a,
            const int* lda, double* x, const int* incx, std::size_t luplo, std::size_t ltrans,
            std::size_t ldiag);
// C := alpha op(A) op(B) + beta C.
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
            const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
            const double* beta, double* c, const int* ldc, std::size_t ltransa, std::size_t ltransb);
}

namespace qv::numlib {

// The constant scalar arguments of the BLAS calls (every argument goes by address).
inline constexpr int kOne = 1;
inline constexpr double kZero = 0.0;
inline constexpr double kPlus = 1.0;
inline constexpr double kMinus = -1.0;

}  // namespace qv::numlib
