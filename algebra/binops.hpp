// The two-operand operators of the formula machine: element-wise product,
// sum, difference, comparisons and division (in place on the left
// temporary), matrix product, horizontal and vertical adhesion, Kronecker
// product and power, the pair operator that feeds two-argument functions,
// and the quadratic product.
#pragma once

#include "runtime/view1.hpp"

namespace qv::algebra {

// Carries out one operator: the left operand's code is FMSTAK VAL(NOUT-1),
// the right operand's the top of the pending stack and the operator the
// entry below it.  On return VAL(NOUT-1) holds the result's code, two
// pending entries are popped and status is 1.
void MATBINOP(runtime::Vec1<double> X, int& status);

// One element raised to a power (zero to the power zero and a root of a
// negative number are error 152).
double ELPOW(double a, double p);

}  // namespace qv::algebra
