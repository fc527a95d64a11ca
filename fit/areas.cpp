#include "fit/areas.hpp"

#include "algebra/areas.hpp"
#include "fit/fitcb.hpp"
#include "fit/fitci.hpp"
#include "fit/fitdrv.hpp"
#include "fit/fitsetup.hpp"
#include "fit/fitstat.hpp"
#include "fit/hessian.hpp"
#include "fit/likcis.hpp"
#include "fit/objcel.hpp"
#include "fit/ordfit.hpp"
#include "fit/rawfit.hpp"
#include "fit/recwalk.hpp"
#include "fit/vlfit.hpp"
#include "fit/wrfiles.hpp"

namespace qv::fit {

void reset_areas() {
  algebra::reset_areas();
  OBJCEL.reset();
  FITRES.reset();
  FITCMP.reset();
  NCXCEL.reset();
  PWRCEL.reset();
  PWRTAB.reset();
  FITARR.reset();
  FITCB.reset();
  SECOV.reset();
  WRFCEL.reset();
  FITDRVC.reset();
  MVNCNT.reset();
  CITAB.reset();
  RAWCEL.reset();
  ORDCEL.reset();
  RECCEL.reset();
  VLCEL.reset();
}

}  // namespace qv::fit
