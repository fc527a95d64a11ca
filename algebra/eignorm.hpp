// The eigen functions (EVAL, EVEC, IVEC, IVAL) and the normal-distribution
// functions (MULN, MNOR, MOMNOR, PDFNOR, PCHI) of the formula machine.
#pragma once

#include "runtime/view1.hpp"

namespace qv::algebra {

// Function code f (43..46, 50, 62, 64, 81, 82) over the operand temporary at
// workspace position t (X(t) type, X(t+1) rows, X(t+2) columns, then the
// values row by row); the result is written over it.
void MATUN7(runtime::Vec1<double> X, int f, int t);

}  // namespace qv::algebra
