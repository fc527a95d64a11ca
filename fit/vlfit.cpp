#include "fit/vlfit.hpp"

#include "fit/fitfun.hpp"
#include "jobbase/tabnames.hpp"

namespace qv::fit {

void vl_fit(runtime::Vec1<double> X, runtime::Vec1<int> /*IX*/, int NG, int g, double& FOBJ) {
  OTHFIT(jobbase::kFitVL, X, NG, g, FOBJ);
}

}  // namespace qv::fit
