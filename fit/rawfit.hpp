// The rectangular raw-data likelihood (fit code 9): minus twice the log-likelihood of each case under the group's means and covariance formulas.
#pragma once

#include "runtime/view1.hpp"

namespace qv::fit {

// Adds group g's value to FOBJ and stores it in the group's column 15.
void raw_fit(runtime::Vec1<double> X, int NG, int g, double& FOBJ);

}  // namespace qv::fit
