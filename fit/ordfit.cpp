#include "fit/ordfit.hpp"

#include "fit/fitfun.hpp"
#include "jobbase/tabnames.hpp"

namespace qv::fit {

void ordinal_fit(runtime::Vec1<double> X, runtime::Vec1<int> /*IX*/, int NG, int g, double& FOBJ) {
  OTHFIT(jobbase::GroupView{X, NG, g}.icol(jobbase::gcol::kFitCode), X, NG, g, FOBJ);
}

}  // namespace qv::fit
