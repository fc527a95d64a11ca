// The reset of every area of the matrix algebra.
#pragma once

namespace qv::algebra {

// Resets the areas of this library (the formula translator and machine, the
// normal integrals and their random streams) and, through the job-control
// base, of every library below it: the state of a fresh run.  The strip
// table of NRMDEV is left alone: it is built once and never changes.
void reset_areas();

}  // namespace qv::algebra
