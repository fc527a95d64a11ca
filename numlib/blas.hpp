// Prototypes of the reference BLAS routines the library calls (Fortran
// calling convention: every argument by address, hidden lengths for the
// one-character option arguments).
#pragma once

#include <cstddef>

extern "C" {
double ddot_(const int* n, const double* x, const int* incx, const double* y, const int* incy);
void dscal_(const int* n, const double* a, double* x, const int* incx);
void dswap_(const int* n, double* x, const int* incx, double* y, const int* incy);
int idamax_(const int* n, const double* x, const int* incx);
void dgemv_(const char* trans, const int* m, const int* n, const double* alpha, const double* a,
            const int* lda, const double* x, const int* incx, const double* beta, double* y,
            const int* incy, std::size_t ltrans);
void dger_(const int* m, const int* n, const double* alpha, const double* x, const int* incx,
           const double* y, const int* incy, double* a, const int* lda);
void dsymv_(const char* uplo, const int* n, const double* alpha, const double* a, const int* lda,
            const double* x, const int* incx, const double* beta, double* y, const int* incy,
            std::size_t luplo);
void dsyr2_(const char* uplo, const int* n, const double* alpha, const double* x, const int* incx,
            const double* y, const int* incy, double* a, const int* lda, std::size_t luplo);
void dtrsv_(const char* uplo, const char* trans, const char* diag, const int* n, const double* a,
            const int* lda, double* x, const int* incx, std::size_t luplo, std::size_t ltrans,
            std::size_t ldiag);
void dtrmv_(const char* uplo, const char* trans, const char* diag, const int* n, const double* a,
            const int* lda, double* x, const int* incx, std::size_t luplo, std::size_t ltrans,
            std::size_t ldiag);
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
