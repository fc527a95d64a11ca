#include "fit/rawfit.hpp"

#include "fit/fitfun.hpp"
#include "jobbase/tabnames.hpp"

namespace qv::fit {

void raw_fit(runtime::Vec1<double> X, int NG, int g, double& FOBJ) {
  OTHFIT(jobbase::kFitRaw, X, NG, g, FOBJ);
}

}  // namespace qv::fit
