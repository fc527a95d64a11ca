// Products with the working-set factors and modifications of the triangular
// factor.
//
// Q = (Z Y) is the orthogonal factor of the working set (order nfree,
// leading dimension ldQ; with unitQ it is the identity and is not read), kx
// the permutation that puts the nfree free variables first.  R is an upper-
// triangular factor of rank nrank; the nU columns of U (leading dimension n)
// are carried along by every rotation applied to R from the left.  T is the
// reverse-triangular factor of the working set: row j uses T(j, n+1-j) as
// its pivot.
#pragma once

#include <span>

namespace qv::optim {

// Products with Q and the permutation kx; w is workspace of n words.
//   1 Z v, 2 Y v, 3 Q v: v in the kx order (free part first), result a full
//     n-vector (mode 1 leaves the fixed variables 0, modes 2 and 3 carry
//     them over);
//   4 Z' v, 5 Y' v, 6 Q' v: v a full n-vector, result in the kx order
//     (modes 5 and 6 also carry the fixed part);
//   7 Y' v, 8 Q' v: as 5 and 6 without the fixed part.
void FACMUL(int mode, int n, int nZ, int nfree, int ldQ, bool unitQ, std::span<const int> kx,
            std::span<double> v, std::span<const double> q, std::span<double> w);

// R := Q'(R + v w') upper triangular, Q a product of two sweeps of plane
// rotations that are also applied to U.  v(1..min(lenv, nrank)) is used and
// overwritten; w(1..lenw) is read.  c and s hold n words each.  Nothing
// happens when nrank <= 0.
void R1MOD(int n, int nU, int nrank, int ldR, int lenv, int lenw, std::span<double> r, std::span<double> u,
           std::span<double> v, std::span<const double> w, std::span<double> c, std::span<double> s);

// Interchanges columns i < j of R and restores triangular form with plane
// rotations from the left, which are applied to U as well.
void FACMOV(int n, int nU, int nrank, int ldR, int i, int j, std::span<double> r, std::span<double> u,
            std::span<double> c, std::span<double> s);

// Solves with the reverse-triangular T of order n: mode 1 T w = y, any other
// mode T' w = y; y in, w out.
void FACSOL(int mode, int ldT, int n, std::span<const double> t, std::span<double> y);

}  // namespace qv::optim
