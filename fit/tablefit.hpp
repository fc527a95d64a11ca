// The contingency-table fit function (fit code 11): a two-way table of counts under a bivariate normal model with thresholds.
#pragma once

#include "runtime/view1.hpp"

namespace qv::fit {

// Adds group g's value less its saturated term to FOBJ and stores it in the group's column 15.
void table_fit(runtime::Vec1<double> X, int NG, int g, double& FOBJ);

}  // namespace qv::fit
