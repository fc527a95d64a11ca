// The edition's Householder QR factorisations.
//
// A factorised M x N matrix A holds R in its upper triangle and the vector of
// reflector k below the diagonal of column k; its scalar part is ZETA(k).
// Reflector k is I - u u' with u(k) = ZETA(k), u(k+1..M) = A(k+1..M, k);
// ZETA(k) = 0 means the reflector is the identity.  Both routines follow the
// library's failure convention: IFAIL on entry selects hard or soft failure
// (0 stops, 1 silent, -1 messages and return); on return it holds 0 or -1
// (invalid parameters, each reported on the error unit).
#pragma once

#include <span>
#include <string_view>

namespace qv::optim_alt {

// A = Q R for M >= N.  For a square matrix ZETA(N) = 0.
void F01QCF(int m, int n, std::span<double> a, int lda, std::span<double> zeta, int& ifail);

// A P = Q R with column interchanges: PIVOT "C" takes the column of largest
// remaining norm, "S" the largest ratio of remaining to initial norm (the
// first step keeps column 1 unless it is zero).  PERM(k) is the column
// exchanged with column k at step k; WORK holds 2N words.
void F01QFF(std::string_view pivot, int m, int n, std::span<double> a, int lda, std::span<double> zeta,
            std::span<int> perm, std::span<double> work, int& ifail);

}  // namespace qv::optim_alt
