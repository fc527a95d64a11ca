// The objective function of the fit: FITFUN copies a trial parameter vector
// into the model's matrices, has the formula machine evaluate the groups,
// sums the groups' fit functions by their codes and returns the sum scaled
// (the control and result cells are OBJCEL in fit/objcel.hpp).
//
// The fit functions of codes 7 to 14 live in their families' files:
// userfit (7, 8), rawfit (9), vlfit (10), tablefit (11), ordfit (12-14).
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

}  // namespace qv::fit
