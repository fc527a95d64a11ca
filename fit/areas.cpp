#include "fit/areas.hpp"

#include "algebra/areas.hpp"
#include "fit/fitcb.hpp"
#include "fit/fitdrv.hpp"
#include "fit/fitsetup.hpp"
#include "fit/fitstat.hpp"
#include "fit/hessian.hpp"
#include "fit/objcel.hpp"

namespace qv::fit {

void reset_areas() {
  algebra::reset_areas();
  OBJCEL.reset();
  FITRES.reset();
  FITCMP.reset();
  FITARR.reset();
  FITCB.reset();
  SECOV.reset();
  FITDRVC.reset();
  MVNCNT.reset();
}

}  // namespace qv::fit
