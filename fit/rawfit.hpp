// The rectangular raw-data likelihood (fit code 9): minus twice the log-likelihood of each case under the group's means and covariance formulas.
#pragma once

#include "runtime/view1.hpp"

namespace qv::fit {

// Where the raw-data likelihood keeps its scratch while OBJCEL.RAWALC is
// set: the first word (a packed inverse, the full inverse and a residual
// vector, in that order) and the number of words reserved.  Run cells: the
// driver clears RAWALC before each run and before the Hessian, and the next
// evaluation reserves afresh at WSTOP.
struct Rawcel {
  int ADDR = 0;
  int WORDS = 0;
  void reset() { *this = Rawcel(); }
};
inline Rawcel RAWCEL;

// Adds group g's value, -2 ln L summed over its cases, to FOBJ and stores it
// in the group's column 15.  With OBJCEL.PEDOUT set each case writes one
// line of statistics on the output-file unit.
void raw_fit(runtime::Vec1<double> X, int NG, int g, double& FOBJ);

}  // namespace qv::fit
