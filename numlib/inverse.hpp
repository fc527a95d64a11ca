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

void F03AFF(int n, double eps, std::span<double> a, int ld, double& d1, int& id, std::span<double> p,
            int& ifail);
void F03AAF(std::span<double> a, int ld, int n, double& det, std::span<double> work, int& ifail);
void F01AAF(std::span<double> a, int ld, int n, std::span<double> x, int ldx, std::span<double> work,
            int& ifail);
void F03AEF(int n, std::span<double> a, int ld, std::span<double> p, double& d1, int& id, int& ifail);
void F03ABF(std::span<double> a, int ld, int n, double& det, std::span<double> work, int& ifail);
void F01ADF(int n, std::span<double> a, int ld, int& ifail);
void F01ACF(int n, double eps, std::span<double> a, int ld, std::span<double> b, int ldb,
            std::span<double> z, int& l, int& ifail);
void F01ABF(std::span<double> a, int ld, int n, std::span<double> b, int ldb, std::span<double> z,
            int& ifail);
void X03AAF(std::span<const double> x, int sx, std::span<const double> y, int sy, int n, int stepx,
            int stepy, double c1, double c2, double& d1, double& d2, bool sw, int& ifail);
void F01CKF(std::span<double> a, std::span<double> b, std::span<double> c, int n, int p, int m,
            std::span<double> z, int iz, int opt, int& ifail);

// Multiplies one factor into the determinant pair and brings |d1| back into [1/16, 1).
// The factor must be finite and non-zero.
void detpair_mul(double& d1, int& id, double factor);

}  // namespace qv::numlib
