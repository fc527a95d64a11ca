// The one-operand functions of the formula machine: negation, inverse "~",
// transpose "'" and the backslash functions.  Every function writes its
// result over the operand's own temporary (header rewritten, values from the
// same place); space above WSTOP serves as scratch.
#pragma once

#include "runtime/view1.hpp"

namespace qv::algebra {

// Carries out one function: its code is the top of the pending stack and
// its operand FMSTAK VAL(NOUT-1).  On return VAL(NOUT-1) holds the result's
// code, the pending stack is popped once and status is 1.
void MATUNOP(runtime::Vec1<double> X, int& status);

}  // namespace qv::algebra
