// The objective function of the fit: FITFUN copies a trial parameter vector
// into the model's matrices, has the formula machine evaluate the groups,
// sums the groups' fit functions by their codes and returns the sum scaled
// (the control and result cells are OBJCEL in fit/objcel.hpp).
//
// The fit functions of codes 7 to 14 (user-defined, raw-data, contingency
// table and ordinal) are reached through OTHFIT, the one place that knows
// they are not built yet.
#pragma once

#include <span>

#include "runtime/view1.hpp"

namespace qv::fit {

// The objective in the optimizer's calling convention: MODE in/out (set to
// -1 when a fit function met a value it cannot use, else left as passed), N
// the number of parameters, X the point to evaluate (copied into the
// parameters' elements; it may lie anywhere, in the workspace or not), FOBJ
// the value returned (0 in constraint mode), GOBJ and KFIRST not used, IUSR
// the integer workspace, RUSR the workspace (word 1 is NG).  Allocates
// nothing.
void FITFUN(int& mode, int n, std::span<const double> x, double& fobj, std::span<double> gobj, int kfirst,
            std::span<int> iusr, std::span<double> rusr);

// The fit functions that come with a later change: codes 7 (user-defined
// value), 8 (per data row), 9 and 10 (raw-data likelihoods), 11
// (contingency table) and 12 to 14 (ordinal data).  Meanwhile a job that
// asks for one stops as a code the program does not have: the record "Fit
// function code is " with the code, then error 37.
void OTHFIT(int code, runtime::Vec1<double> X, int NG, int g, double& FOBJ);

}  // namespace qv::fit
