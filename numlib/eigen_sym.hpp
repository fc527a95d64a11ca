// Eigenvalues and eigenvectors of real symmetric matrices: Householder
// reduction to tridiagonal form, then the QL algorithm with implicit shifts.
// Arrays are column-major with the leading dimension given; only the lower
// triangle of a symmetric input is read.  Eigenvalues come back ascending.
#pragma once

#include <span>

namespace qv::numlib {

// r = eigenvalues; the strictly lower triangle of a receives the Householder vectors.
void F02AAF(std::span<double> a, int ia, int n, std::span<double> r, std::span<double> e, int& ifail);
// r = eigenvalues, v = orthonormal eigenvectors (column i for r(i)); a unchanged.
void F02ABF(std::span<const double> a, int ia, int n, std::span<double> r, std::span<double> v, int iv,
            std::span<double> e, int& ifail);

// Tridiagonalisation without vectors: diagonal d, sub-diagonal e(2..n), e2(i) = e(i)^2.
// e and e2 may be the same array (e then holds the sub-diagonal).
void TRIRED(int n, std::span<double> a, int ia, std::span<double> d, std::span<double> e, std::span<double> e2);
// Tridiagonalisation with the orthogonal matrix z (Q^T A Q tridiagonal).
void TRIREDV(int n, std::span<const double> a, int ia, std::span<double> d, std::span<double> e,
             std::span<double> z, int iz);
// QL with implicit shifts on the tridiagonal (d, e(2..n)): eigenvalues ascending in d.
void F02AVF(int n, double eps, std::span<double> d, std::span<double> e, int& ifail);
// The same, carrying the rotations into v (in: the matrix of TRIREDV).
void F02AMF(int n, double eps, std::span<double> d, std::span<double> e, std::span<double> v, int iv,
            int& ifail);

}  // namespace qv::numlib
