// Dense linear algebra of real square matrices: Crout LU with implicit row
// equilibration, Cholesky, determinants carried as (d1, id) with value
// d1 * 2^id, inverses (general, and symmetric positive definite with
// iterative refinement), an inner product and a matrix product.
//
// Arrays are stored column after column with the leading dimension given;
// IFAIL follows the library convention (see errexit.hpp).
#pragma once

#include <span>

namespace qv::numlib {

// Crout LU factors of the row-equilibrated matrix in a, pivots in p, determinant pair (d1, id).
void F03AFF(int n, double eps, std::span<double> a, int ld, double& d1, int& id, std::span<double> p,
            int& ifail);
// Determinant of a general matrix (a is overwritten by its factors).
void F03AAF(std::span<double> a, int ld, int n, double& det, std::span<double> work, int& ifail);
// Inverse x of a general matrix through its LU factors.
void F01AAF(std::span<double> a, int ld, int n, std::span<double> x, int ldx, std::span<double> work,
            int& ifail);
// Cholesky factor of a symmetric positive-definite matrix (upper triangle in), determinant pair.
void F03AEF(int n, std::span<double> a, int ld, std::span<double> p, double& d1, int& id, int& ifail);
// Determinant of a symmetric positive-definite matrix through its Cholesky factor.
void F03ABF(std::span<double> a, int ld, int n, double& det, std::span<double> work, int& ifail);
// In-place inverse of a symmetric positive-definite matrix, lower triangle one row down.
void F01ADF(int n, std::span<double> a, int ld, int& ifail);
// F01ADF's inverse improved by iterative refinement to tolerance eps; l iterations done.
void F01ACF(int n, double eps, std::span<double> a, int ld, std::span<double> b, int ldb,
            std::span<double> z, int& l, int& ifail);
// Refined inverse of a symmetric positive-definite matrix into the lower triangle of b.
void F01ABF(std::span<double> a, int ld, int n, std::span<double> b, int ldb, std::span<double> z,
            int& ifail);
// d1 = c1 + the strided inner product of x and y over n elements; d2 = 0.
void X03AAF(std::span<const double> x, int sx, std::span<const double> y, int sy, int n, int stepx,
            int stepy, double c1, double c2, double& d1, double& d2, bool sw, int& ifail);
// Matrix product b c into a (opt 1), or in place into b (opt 2) or c (opt 3).
void F01CKF(std::span<double> a, std::span<double> b, std::span<double> c, int n, int p, int m,
            std::span<double> z, int iz, int opt, int& ifail);

// Multiplies one factor into the determinant pair and brings |d1| back into [1/16, 1).
// The factor must be finite and non-zero.
void detpair_mul(double& d1, int& id, double factor);

}  // namespace qv::numlib
