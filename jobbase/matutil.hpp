// Small matrix and workspace utilities shared by the main program, the
// formula functions and the fit: products and transposes, identities,
// selection of variables, copies, tests, element stepping and the pattern
// records of raw ordinal data.
//
// Matrices are column-major (element (i, j) with leading dimension ld at
// (j-1)*ld + i) or packed symmetric (lower triangle by rows, element (i, j),
// i >= j, at i(i-1)/2 + j).  Nothing here allocates.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "jobbase/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::jobbase {

using runtime::Vec1;

// C (m x p, ld m) := B (m x k, ld m) * A (k x p, ld lda).
void MPROD(Vec1<double> A, int p, int lda, Vec1<double> B, int k, int m, Vec1<double> C);
// C (m x p, ld m) := B' * A with B of k x m (ld k) and A of k x p (ld lda).
void MTPROD(Vec1<double> A, int p, int lda, Vec1<double> B, int m, int k, Vec1<double> C);
// A holds an n x m matrix (ld n); on return its m x n transpose (ld m).
// W: n*m words of work.
void DTRNSP(Vec1<double> A, int m, int n, Vec1<double> W);
// The same for an integer matrix.
void ITRNSP(Vec1<int> A, int m, int n, Vec1<int> W);
// In-place transposition of the m x n matrix A (ld m) into its n x m
// transpose (ld n) by following the permutation's cycles.  move (iwrk
// entries) marks cycles already done.  iok: 0 done, 1 mn differs from m*n,
// 2 iwrk <= 0, negative when a cycle cannot be completed.
void TRNSPI(Vec1<double> A, int m, int n, int mn, Vec1<int> move, int iwrk, int& iok);

// A (n x n) := identity.
void IDENT(Vec1<double> A, int n);
// The m*n words of A, outer index f = 1..m, inner l = 1..n, := 1.0 where
// l - f = n - m, else 0.0.
void IDNULL(Vec1<double> A, int m, int n);

// Selection of variables; sel holds variable numbers as doubles.
void REORD(Vec1<double> v, int n, Vec1<double> sel, int m, Vec1<double> W);
// Packed n x n P := packed m x m of the selected rows and columns; W: n*n.
void SYMUNP(Vec1<double> P, int n, Vec1<double> sel, int m, Vec1<double> W);
// Reduces the packed matrix P over the statistics of n variables (with
// withdiag 1: the n(n+1)/2 cells of a covariance matrix; with 0: the n(n-1)/2
// off-diagonal cells of a correlation matrix) to the statistics of the m
// selected variables.  W1: n*n + 1 words; W2: q*q words, q the statistics of
// n variables.
void SYMPAK(Vec1<double> P, int n, Vec1<double> sel, int m, Vec1<double> W1, Vec1<double> W2,
            int withdiag);

// Copies, conversions and tests.
void CPYVEC(Vec1<double> a, Vec1<double> b, int n);  // a(1..n) := b(1..n)
void DTOI(Vec1<int> iv, Vec1<double> dv, int n);     // iv := dv, n values truncated to integers
void ZEROD(Vec1<double> v, int n);                   // v(1..n) := 0.0
void ZEROI(Vec1<int> v, int n);                      // v(1..n) := 0
// k := INT(SQRT(n)); flag := 1 when n is not divisible by k; returns flag.
int ISQRT(int n, int& k, int& flag);
// n := INT(SQRT(8p + 1)) / 2; flag := 1 when 8p + 1 is not divisible by
// INT(SQRT(8p + 1)).  For p = n(n+1)/2 this gives n.
int TRIORD(int p, int& n, int& flag);
// Packed covariance matrix of order n at X(a) := correlations (formed at X(w)).
void COVCOR(Vec1<double> X, int n, int a, int w);
// 1 when A (ld n) is exactly symmetric in columns 1..m, else 0.
int ISSYM(Vec1<double> A, int n, int m);
// 1 when every diagonal element of the packed n x n P is 1.0.
int DIAG1(Vec1<double> P, int n);
// Number of i = 1..n with x > v(i).
int CNTGT(double x, Vec1<double> v, int n);
// Orders the two integers so that a <= b.
void ORD2(int& a, int& b);
// 1 when element (i, j) of matrix L of group g is a free parameter.
int ELPOSV(Vec1<double> X, int g, int unused, int L, int& i, int& j, int& rows, int& cols, int& type);
// Steps (i, j) to the next element of a matrix of the type in an n x m range;
// stepping past the range is error 209.
void NXTELM(int& i, int& j, int n, int m, int type);

// Writes n blank lines.
void BLANKS(int n);
// Marks the pattern records of a raw ordinal data group whose thresholds
// change from the record before (P is the word before the record data).
void PATUPD(Vec1<double> P);

// Kept for completeness; the program does not call them.
double NDENS(double x, double c);
// m*n words, outer index 1..m, inner 1..n: 1.0 where the indices agree.
void IDROWS(Vec1<double> A, int m, int n);
// Writes i and X(i) for i = first..last, four pairs a line.
void PRPAIR(Vec1<double> X, int first, int last);
// Copies the a x b matrix A row by row into W, then back column by column.
void RESHAP(Vec1<double> A, int a, int b, Vec1<double> W);
// Error 215 when name equals one of the n 32-character names.
void NAMCLS(std::span<const std::string> names, std::string_view name, int n);
// Appends the upper triangle of the n x n A (ld n) column by column to v;
// m different from n is error 29.  count runs on across calls.
void PAKTRI(Vec1<double> A, int n, int m, Vec1<double> v, int& count);
// Error 162 when no group was chosen with "#G"; error 117 when the current
// group is not one of the job's groups.
void GRPCHK();

// The upper (upper non-zero) or lower tail probability of the standard
// normal distribution at x, in single precision.
float normal_tail(double x, int upper);
// Transposes the m x n A (ld m) and the p x q B (ld p) in place with DTRNSP
// (W, at least the larger of m*n and p*q words, as their work) and leaves
// the product A'B' (n x p, ld n) in W.  B' must have m rows (q = m); a
// product that does not conform, or that the library refuses, is error 33.
void transposed_product(Vec1<double> A, int m, int n, Vec1<double> B, int p, int q, Vec1<double> W);
// Copies the matrix stored at X(source) (type, rows, cols: its specification
// numbers, then its values) to the matrix stored at X(target).  The same
// type needs the same dimensions (error 26); a full source goes to a
// symmetric or lower-triangular target of its own order as its lower
// triangle (error 26 for other dimensions); any other pair of types is
// error 28.
void copy_matrix_storage(Vec1<double> X, int type, int rows, int cols, int source, int type2, int rows2,
                         int cols2, int target);
// Copies values(k) to the workspace word of each pair (k, word) of group g's
// definition map (its start at IX(g + 1): a count, then the pairs); a group
// outside 1..NG, or a number outside values, is passed over.
void copy_group_parameters(Vec1<double> X, Vec1<int> IX, int g, int NG, Vec1<const double> values);
// Moves the cursor onto the next non-blank character from the cursor on,
// reading further lines; pos := its column and kind := 2 for "/" or ";",
// else 1.  At the end of the input pos := 0 and kind := 0.
void delimiter_class(int& pos, int& kind);
// Returns its argument.
int same_value(int a);
// The second word of a two-word record.
double second_word(Vec1<const double> record);
// The bitwise AND of two integers.
int bit_and(int a, int b);

// The flag that set_flag raises (nothing reads it).
struct SetFlagArea {
  int FLAG = 0;
  void reset() { *this = SetFlagArea(); }
};
inline SetFlagArea SETFLG;
// SETFLG.FLAG := 1.
void set_flag();
// Does nothing.
void do_nothing();

}  // namespace qv::jobbase
