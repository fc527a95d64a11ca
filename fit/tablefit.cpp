#include "fit/tablefit.hpp"

#include "fit/fitfun.hpp"
#include "jobbase/tabnames.hpp"

namespace qv::fit {

void table_fit(runtime::Vec1<double> X, int NG, int g, double& FOBJ) {
  OTHFIT(jobbase::kFitTable, X, NG, g, FOBJ);
}

}  // namespace qv::fit
