// Expansion of packed matrix storage to full arrays, the matrix inverse of
// the formula operator "~", the packed Cholesky factorisation under the
// symmetric inverse, and the pattern fill PATPUT.
//
// Full arrays are stored row by row (element (i, j) of an r x c matrix at
// (i-1)*c + j).  Packed triangles run row by row over the lower triangle:
// element (i, j), i >= j, at i(i-1)/2 + j; the strict lower triangle
// (2,1), (3,1), (3,2), ... at (i-1)(i-2)/2 + j.
#pragma once

#include "jobbase/syminv.hpp"
#include "runtime/view1.hpp"

namespace qv::algebra {

using runtime::Vec1;

// Writes the rows x cols array full from the count stored values of a
// matrix of the given type (1..11; 0 is read as symmetric).  A type outside
// 0..11 is error 36.
void EXPMAT(Vec1<double> full, Vec1<double> stored, int type, int rows, int cols, int count);

// The same expansion of specification numbers into integers (each stored
// value truncated); a standardised (ST) matrix has 0 on its diagonal here.
void EXPPAT(Vec1<int> full, Vec1<double> stored, int type, int rows, int cols, int count);

// Inverse of the square matrix A (rows x cols, row by row) into B.  A is
// overwritten by its transpose; B holds the inverse in the layout the caller
// transposes back.  work: at least n(n+1) + n + 1 doubles (the packed
// triangle, its inverse and n words, or the general inverse's pivots and a
// copy of A that it factorises).  A non-square matrix is error 29, a failed
// transposition error 30, a failed inversion error 43 after the matrix
// itself (not its factors) is printed.
void INVMAT(Vec1<double> A, Vec1<double> B, int rows, int cols, Vec1<double> work);

// The packed Cholesky factor CHOLPK lives with SYMINV, its main caller.
using jobbase::CHOLPK;

// For the letters listed at the address in GRPTAB column 37 of group g:
// every stored element whose specification number s is negative takes the
// value X(p + offset), p the position of the first of the n keys
// X(keys), X(keys+1), ... equal to s.  A number not found is error 136.
void PATPUT(Vec1<double> X, int g, int NG, int ignored, int n, int offset, int keys);

}  // namespace qv::algebra
