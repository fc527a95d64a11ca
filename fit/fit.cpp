#include "fit/fit.hpp"

namespace qv::fit {

// Stand-in until the optimizer and the results report are in place: the job
// is read and prepared, and no results are reported.
void FIT(runtime::Vec1<double> /*X*/, int /*size*/, runtime::Vec1<int> /*IX*/, jobctl::Labtab& /*LABTAB*/,
         int& /*nslots*/) {}

}  // namespace qv::fit
