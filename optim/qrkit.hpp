// Householder QR kit and the reset of the Hessian factor.
//
// A factorized m x n matrix A keeps R in its upper triangle and the
// Householder vectors below the diagonal.  Reflector k is I - u u' with
// u(k) = zeta(k) and u(k+1..m) = A(k+1..m, k); zeta(k) = 0 means reflector k
// is the identity.  The zeta are held in a separate array (wherez "S") or in
// the diagonal of A (wherez "I").  An interchange vector perm(k) names the
// column swapped into position k at step k.  Character options are read by
// their first letter, in either case.
#pragma once

#include <span>
#include <string_view>

namespace qv::optim {

// A = Q R without interchanges.  inform 1 when m < n, n < 0 or lda < m
// (nothing is done); n = 0 is success with nothing done.  For a square
// matrix zeta(m) = 0.
void QRAPPQ(int m, int n, std::span<double> a, int lda, std::span<double> zeta, int& inform);

// A P = Q R with column interchanges: pivot "C" takes the column of largest
// remaining norm, "S" the largest ratio of remaining to initial norm (columns
// with a zero initial norm are passed over); the first of equal candidates
// wins.  work holds 2n words (initial and remaining norms).  inform 1 for
// another pivot letter, m < 0, n < 0 or lda < m.
void QRFACT(std::string_view pivot, int m, int n, std::span<double> a, int lda, std::span<double> zeta,
            std::span<int> perm, std::span<double> work, int& inform);

// B := Q B (trans blank or "N") or Q' B (trans "T" or "C") for the ncolb
// columns of B, with the min(m-1, n) reflectors of a factorized A.  When the
// zeta are stored separately each is placed in A(k, k) while reflector k is
// applied and the diagonal is restored afterwards.  work holds ncolb words.
// inform 1 for other letters, m < n, n < 0, lda < m, ncolb < 0 or ldb < m.
void HHAPPQ(std::string_view trans, std::string_view wherez, int m, int n, std::span<double> a, int lda,
            std::span<const double> zeta, int ncolb, std::span<double> b, int ldb, std::span<double> work,
            int& inform);

// Applies the interchanges perm(1..n) to the rows (side "L") or columns
// (side "R") of B, each swap over k entries of the other dimension; the
// order of the swaps is that of IPERMAP.  m is not read.
void PERMIV(std::string_view side, std::string_view trans, int m, int n, std::span<const int> perm, int k,
            std::span<double> b, int ldb);

// Resets the upper-triangular factor R of the quasi-Newton Hessian to a
// well-conditioned form: the leading nZ x nZ block is refactorized with
// column interchanges (applied to the columns of Z, or to kx when unitQ, and
// to gq), trailing columns of the block whose diagonal falls below
// 1/rcndbd of the largest before it are reset, the range-space columns get a
// diagonal derived from the kept block, and rfrobn receives the Frobenius
// norm of the new R.  perm holds nZ integers, work nZ words and qrwork 2nZ.
// rcndbd is the square root of the Hessian condition bound.
void QRPIVT(bool unitQ, int n, int nfree, int nZ, int ldZY, int ldR, std::span<int> perm, std::span<int> kx,
            std::span<double> gq, std::span<double> r, std::span<double> zy, std::span<double> work,
            std::span<double> qrwork, double rcndbd, double& rfrobn);

}  // namespace qv::optim
