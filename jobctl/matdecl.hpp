// Matrix declarations of a group: the "Matrices" line and one declaration
// per line (letter, type word, rows, columns, and either an element word or
// one of the "=" forms that share or view other storage).
#pragma once

#include <string_view>

#include "jobbase/tabnames.hpp"
#include "runtime/view1.hpp"

namespace qv::jobctl {

// Two-letter type words, codes 1..12 in this order (kTypeZero..kTypeCo).
inline constexpr std::string_view TYPLET = "ZEIDIZZIDISDSTSYFULOUNCO";

// Cells of the declaration reader that live for the job.
struct Matdst {
  int MAXDIM = 0;  // largest rows or columns declared so far in the job
  bool RAWJOB = false;  // a raw-data vector (%R) was declared in the job
  bool RAWGRP = false;  // a raw-data vector was declared in the current group
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

// Where a continued multiple fit stores new formulas and matrices: past
// everything the job has stored so far, that is past the end of the stored
// model (GRPTAB column 6 of group 1, which formulas and matrices move) and
// past RDPTR (which the IC/CS, LA, PO and IN statements and the output
// requests move).
int continued_storage(runtime::Vec1<double> X, int NG);
// Records that a continued job has stored up to word p - 1: the model's end
// and RDPTR both move to p (neither moves back).
void continued_stored(runtime::Vec1<double> X, int NG, int p);

// Warning of an equated declaration whose type (1), rows (2), columns (3)
// or size (4) differ from the matrix it is set equal to.
void EQWARN(int code);

}  // namespace qv::jobctl
