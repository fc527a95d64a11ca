// Placeholder until the eigen and normal-distribution functions are built:
// they are refused as an unknown operation.
#include "algebra/eignorm.hpp"

#include "jobctl/errmsg.hpp"
#include "runtime/units.hpp"

namespace qv::algebra {

void MATUN7(runtime::Vec1<double> /*X*/, int f, int /*t*/) {
  runtime::write_list(runtime::kStdout, {"OPERATION CODE IS ", f});
  jobctl::ERRMSG(25);
}

}  // namespace qv::algebra
