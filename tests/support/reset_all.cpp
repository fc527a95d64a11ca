// Executables that link the whole program.
#include "jobctl/mainprog.hpp"
#include "support/reset.hpp"

namespace qv::testing_support {

void reset_every_area() { jobctl::reset_all_areas(); }

}  // namespace qv::testing_support
