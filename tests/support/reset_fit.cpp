// Executables that link the fit and what lies below it.
#include "fit/areas.hpp"
#include "support/reset.hpp"

namespace qv::testing_support {

void reset_every_area() { fit::reset_areas(); }

}  // namespace qv::testing_support
