// Inverses of symmetric positive (semi-)definite matrices and the integrand
// of the truncated multivariate normal moments.
//
// Packed symmetric storage is the lower triangle row by row: element (i, j),
// i >= j, at i(i-1)/2 + j, n(n+1)/2 words for order n.
#pragma once

#include <array>
#include <span>

#include "runtime/view1.hpp"

namespace qv::jobbase {

using runtime::Vec1;

// Lower Cholesky factor L (packed by rows; L may be A itself) of the packed
// symmetric positive semi-definite A of order n.  Pivots below 1e-9 of
// their diagonal, and pivots of exactly 0, count as zero (nullity).
// fault: 0 success, 1 n <= 0, 2 not positive semi-definite: a negative
// pivot, or a zero pivot whose column below is not (nearly) zero.
void CHOLPK(Vec1<double> A, int n, Vec1<double> L, int& nullity, int& fault);

// Whether the packed symmetric A of order n is positive definite: its
// Cholesky factor, formed in L (n(n+1)/2 words, not A itself), has only
// positive finite pivots, with no tolerance (a scale of the variables alone
// never makes a pivot zero).  When it is, logdet := ln det A, the sum of the
// logarithms of the pivots, which holds where det A itself lies beyond the
// range of a double.
bool positive_definite(Vec1<double> A, int n, Vec1<double> L, double& logdet);

// Inverse of the packed symmetric matrix A of order n into C (packed; C may
// be A itself), through its Cholesky factor.  W: n doubles of work.  With
// wantdet non-zero det := the determinant of A (the squared diagonal of the
// factor).  nullity: the number of zero pivots, whose rows and columns are
// zero in the result (a generalised inverse).  fault: 0 success, 1 n <= 0,
// 2 A not positive semi-definite (C then holds the partial factor).
void SYMINV(Vec1<double> A, int n, Vec1<double> C, Vec1<double> W, double& det, int wantdet, int& nullity,
            int& fault);

// Inverse of the n x n positive-definite matrix A (full storage, leading
// dimension n) by LAPACK: the lower triangle of A becomes the lower triangle
// of the inverse.  info: 0 success; otherwise the factorisation's failure
// (LAPACK's code), and then A holds no inverse.
void CHOLINV(Vec1<double> A, int n, int& info);

// Full-storage form of SYMINV: the lower triangle of the n x n A (leading
// dimension lda) is packed into C and inverted there; Ainv (leading
// dimension lda) receives the inverse as a full symmetric matrix.
void SYMINF(Vec1<double> A, Vec1<double> Ainv, int lda, double& det, int unused, int n, Vec1<double> C,
            int& nullity, int& fault);

// Largest order of a moment problem.
constexpr int kMomMax = 20;

// State of the moment integrand, set by the moment function before it calls
// the quadrature: S the correlation matrix (column stride 20), R its
// inverse, d its determinant, m the means, K(1..20) the power of each
// variable, K(21) = 1 when the variables are centred at m, and the flag that
// S changed.
struct Momsta {
  std::array<double, kMomMax * kMomMax> S{};
  std::array<double, kMomMax * kMomMax> R{};
  double d = 1.0;
  std::array<double, kMomMax> m{};
  std::array<int, kMomMax + 1> K{};
  bool recompute = true;
  int n = 0;
  // Scratch of the determinant and the inverse (no allocation per point).
  std::array<double, kMomMax * kMomMax> T{};
  std::array<double, (kMomMax + 1) * kMomMax> U{};
  std::array<double, kMomMax> Z{};
  void reset() { *this = Momsta(); }
};
inline Momsta MOMSTA;

// The integrand at the point x (n coordinates): the multivariate normal
// density of MOMSTA's problem times the powers K of the (centred) coordinates.
double MOMINT(int n, std::span<const double> x);

// Determinant of the leading n x n block of S (column stride 20); S is left
// as it was.
double MOMDET(Vec1<double> S, int n);

// Inverse of the leading n x n block of S into R (column stride 20), made
// symmetric.
void MOMINV(Vec1<double> S, int n, Vec1<double> R);

}  // namespace qv::jobbase
