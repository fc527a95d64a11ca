// Eigenvalues and eigenvectors of a general real matrix.
//
// The matrix is balanced (MATBAL, exchanges by BALSWAP), reduced to upper
// Hessenberg form by stabilised elementary similarity transformations
// (HESRED), and its eigenvalues found by the Francis double-shift QR
// algorithm (F02APF; F02AQF also builds the eigenvectors from the reducing
// transformation that HESACC forms and EVBKBAL takes back through the
// balancing).  Matrices are stored column after column with a leading
// dimension; eigenvalue i is rr(i) + i ri(i), a complex pair in two
// consecutive places with the positive imaginary part first.
#pragma once

#include <span>

namespace qv::numlib {

// Eigenvalues of A (destroyed).  intger returns the iteration count of each
// eigenvalue (a pair: the count on the first, its negative on the second; 0
// for an eigenvalue isolated by balancing).  Error 1: QR did not converge in
// 30 n iterations (the eigenvalues found so far stand in rr, ri).
void F02AFF(std::span<double> a, int ia, int n, std::span<double> rr, std::span<double> ri,
            std::span<int> intger, int& ifail);

// Eigenvalues and eigenvectors of A (destroyed): eigenvector i is
// vr(., i) + i vi(., i), of Euclidean length 1 with its (first) component of
// largest modulus real and positive.  Error 1 as F02AFF.
void F02AGF(std::span<double> a, int ia, int n, std::span<double> rr, std::span<double> ri,
            std::span<double> vr, int ivr, std::span<double> vi, int ivi, std::span<int> intger,
            int& ifail);

// Balancing: rows and columns that isolate eigenvalues are moved to the
// bottom and to the left, the rest scaled by powers of base.  Returns
// low <= high; d(i) is the scale of row and column i for i in low..high and
// the index exchanged with i outside.
void MATBAL(int n, double base, std::span<double> a, int ia, int& low, int& high, std::span<double> d);

// d(j) := m; when j != m exchanges columns j and m over rows 1..l and rows j
// and m over columns k..n.
void BALSWAP(int j, std::span<double> a, int ia, std::span<double> d, int l, int k, int n, int m);

// Reduction to upper Hessenberg form with row interchanges; the multipliers
// stay below the sub-diagonal, the pivot rows in intger(low+1..high).
void HESRED(int n, int low, int high, std::span<double> a, int ia, std::span<int> intger);

// v := the transformation matrix of the reduction.
void HESACC(int n, int low, int high, std::span<const int> intger, std::span<const double> a, int ia,
            std::span<double> v, int iv);

// Takes m columns of z back through the balancing.
void EVBKBAL(int n, int low, int high, int m, std::span<const double> d, std::span<double> z, int iz);

// Eigenvalues of the upper Hessenberg matrix h (destroyed).  Error 1: more
// than 30 n iterations.
void F02APF(int n, double eps, std::span<double> h, int ih, std::span<double> wr, std::span<double> wi,
            std::span<int> cnt, int& ifail);

// Eigenvalues and eigenvectors of the upper Hessenberg matrix h (destroyed);
// v holds the transformation on entry and the eigenvectors on exit (a complex
// pair's vector as the two columns of its real and imaginary parts).
void F02AQF(int n, int low, int upp, double eps, std::span<double> h, int ih, std::span<double> v, int iv,
            std::span<double> wr, std::span<double> wi, std::span<int> cnt, int& ifail);

// sqrt(a^2 + b^2) without overflow.
double CMODUL(double a, double b);
// e + i f := (a + i b)/(c + i d).
void CDIVID(double a, double b, double c, double d, double& e, double& f);

}  // namespace qv::numlib
