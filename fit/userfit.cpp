#include "fit/userfit.hpp"

#include "fit/fitfun.hpp"

namespace qv::fit {

void user_fit(int code, runtime::Vec1<double> X, int NG, int g, double& FOBJ) {
  OTHFIT(code, X, NG, g, FOBJ);
}

}  // namespace qv::fit
