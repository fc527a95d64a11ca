// Matrix declarations of a group: the "Matrices" line and one declaration
// per line (letter, type word, rows, columns, and either an element word or
// one of the "=" forms that share or view other storage).
#pragma once

#include <string_view>

#include "runtime/view1.hpp"

namespace qv::jobctl {

// Two-letter type words, codes 1..12 in this order.
inline constexpr std::string_view TYPLET = "ZEIDIZZIDISDSTSYFULOUNCO";

// Matrix type codes besides 1..12.
constexpr int kTypeUndeclared = 99;   // letter not declared in the group
constexpr int kTypeComputed = -10;    // computed by a formula of the group
constexpr int kTypeCompRef = -11;     // computed matrix of an earlier group
constexpr int kTypeViewSym = 0;       // view of stored data held as symmetric
constexpr int kTypeViewFull = -1;     // view of stored data or results held as full

// Cells of the declaration reader that live for the job.
struct Matdst {
  int MAXDIM = 0;  // largest rows or columns declared so far in the job
  int RAWJOB = 0;  // a raw-data vector (%R) was declared in the job
  int RAWGRP = 0;  // a raw-data vector was declared in the current group
  void reset() { *this = Matdst(); }
};
inline Matdst MATDST;

// Reads the matrix section of the current group.  Entered with the cursor
// on the first word of the line that opens it: a word beginning "MAT", or
// "BE" (which must be followed by a word beginning "MA", else error 170).
// With reopen false the group's matrix table is laid out afresh at the
// storage pointer; with reopen true (a "Begin Matrices" line among the
// statements) the table of the current group is kept and declarations
// replace single letters.  Returns with LINE holding the first line after
// the declarations, not yet taken: a statement line, or the line after
// "End Matrices".
void MATDCL(bool reopen = false);

// Warning of an equated declaration whose type (1), rows (2), columns (3)
// or size (4) differ from the matrix it is set equal to.
void EQWARN(int code);

// Matrix-table words of letter L (1..26) of the group whose table starts at
// base B.
inline double& MTTYPE(runtime::Vec1<double> X, int B, int L) { return X(B + L - 1); }
inline double& MTROWS(runtime::Vec1<double> X, int B, int L) { return X(B + 26 + L - 1); }
inline double& MTCOLS(runtime::Vec1<double> X, int B, int L) { return X(B + 52 + L - 1); }
inline double& MTADDR(runtime::Vec1<double> X, int B, int L) { return X(B + 78 + L - 1); }
inline double& MTLABL(runtime::Vec1<double> X, int B, int L) { return X(B + 104 + L - 1); }
// Formula-text slot k (1..29) of the table.
inline double& MTFSLT(runtime::Vec1<double> X, int B, int k) { return X(B + 131 + k); }

}  // namespace qv::jobctl
