// The edition's refactorisation of the Hessian factor R with column
// interchanges, after which the factor is well enough conditioned for the
// major iterations.
#pragma once

#include <span>

namespace qv::optim_alt {

// Refactorises the leading nz columns of R (ldr x n, upper triangular) by
// Householder QR with column interchanges (F01QFF), carries the
// interchanges over to the free-variable list kx (when unitq) or to the
// columns of the null-space basis in q (ldq x nfree), and to the reduced
// gradient gq; then bounds the diagonal: columns beyond the numerical rank
// r (diagonals above |R(1,1)|/rcndbd) get the diagonal |R(1,1)|/rcndbd and
// columns nz+1..n the diagonal d = sqrt(|R(1,1) R(r,r)|)/2 (1 when nz = 0),
// their upper parts cleared.  When r = 0 (R(1,1) = 0) d and the diagonal of
// columns 1..nz are 1, so R stays nonsingular.  rcndbd is the square root
// of the condition limit; rfrobn returns the Frobenius norm of the new R.
// perm (nz) is a permutation work list, zeta (nz) and work (2 nz) work
// arrays.
void E4QRPV(bool unitq, int n, int nfree, int nz, int ldq, int ldr, std::span<int> kx, std::span<int> perm,
            std::span<double> gq, std::span<double> r, std::span<double> q, std::span<double> zeta,
            std::span<double> work, double rcndbd, double& rfrobn);

}  // namespace qv::optim_alt
