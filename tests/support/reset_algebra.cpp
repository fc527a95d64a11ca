// Executables that link the matrix algebra and what lies below it.
#include "algebra/areas.hpp"
#include "support/reset.hpp"

namespace qv::testing_support {

void reset_every_area() { algebra::reset_areas(); }

}  // namespace qv::testing_support
