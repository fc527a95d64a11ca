// The variable-length record likelihood (fit code 10): minus twice the log-likelihood of each record under the group's models.
#pragma once

#include "runtime/view1.hpp"

namespace qv::fit {

// Adds group g's value to FOBJ and stores it in the group's column 15.
void vl_fit(runtime::Vec1<double> X, runtime::Vec1<int> IX, int NG, int g, double& FOBJ);

}  // namespace qv::fit
