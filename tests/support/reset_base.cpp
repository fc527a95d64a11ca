// Executables that link the job-control base and what lies below it.
#include "jobbase/areas.hpp"
#include "support/reset.hpp"

namespace qv::testing_support {

void reset_every_area() { jobbase::reset_base_areas(); }

}  // namespace qv::testing_support
