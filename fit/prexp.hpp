// The group results report: what the fitted model implies for one group
// (observed and expected means, thresholds, covariance matrices, residuals,
// contingency-table frequencies, the group's fit-function value), the
// constraint values of a constraint group and the matrix of a calculation
// group.
#pragma once

#include <string>

#include "runtime/view1.hpp"

namespace qv::fit {

// Names of the fit functions by code 1..14, 35 characters each.
constexpr int kFitNameLen = 35;
// The name of fit code code, blank-padded to 35 characters (all blanks for
// a code outside 1..14).
std::string FITNAM(int code);

// Reports group g of the NG groups in the workspace X.  Report mode
// (printoff 0) prints everything on the report.  Record mode (printoff not
// 0) prints nothing; its front-end records (written where frontflag,
// printoff and dumpflag are all non-zero) come with the front-end job
// description, so that mode only restores an observed matrix held inverted.
// An observed matrix held inverted (fit code 5) is inverted back in place
// first; when that fails the job stops with error 54.
void PREXP(runtime::Vec1<double> X, int g, int NG, int frontflag, int printoff, int dumpflag);

}  // namespace qv::fit
