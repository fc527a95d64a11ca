// Packed symmetric matrices in the workspace as the raw-data fit functions
// report and penalise them: the lower triangle written row by row, and the
// smallest eigenvalue of a matrix that could not be inverted.
#pragma once

#include "runtime/view1.hpp"

namespace qv::fit {

// The lower triangle of the packed matrix of order n at a, one record per
// row in (6(1x,d12.4)), on the given unit.
void write_lower_triangle(int unit, runtime::Vec1<double> X, int a, int n);

// The smallest eigenvalue of the packed matrix of order n at a, worked out
// in the n^2 + 2n words from top (their room is checked).  NaN when the
// eigenvalues are not numbers.
double smallest_eigenvalue(runtime::Vec1<double> X, int a, int n, int top);

}  // namespace qv::fit
