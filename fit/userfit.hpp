// The user-defined fit functions: the value of the group's covariance formula (code 7), or its sum over the rows of a data matrix (code 8).
#pragma once

#include "runtime/view1.hpp"

namespace qv::fit {

// Adds group g's value to FOBJ and stores it in the group's column 15.
void user_fit(int code, runtime::Vec1<double> X, int NG, int g, double& FOBJ);

}  // namespace qv::fit
