#include "fit/areas.hpp"

#include "algebra/areas.hpp"
#include "fit/fitstat.hpp"
#include "fit/objcel.hpp"

namespace qv::fit {

void reset_areas() {
  algebra::reset_areas();
  OBJCEL.reset();
  FITRES.reset();
  FITCMP.reset();
}

}  // namespace qv::fit
