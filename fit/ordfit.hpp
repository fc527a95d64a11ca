// The ordinal record likelihood (fit codes 12 to 14): minus twice the log of each record's multivariate normal probability.
#pragma once

#include "runtime/view1.hpp"

namespace qv::fit {

// Adds group g's value to FOBJ and stores it in the group's column 15.
void ordinal_fit(runtime::Vec1<double> X, runtime::Vec1<int> IX, int NG, int g, double& FOBJ);

}  // namespace qv::fit
