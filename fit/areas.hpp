// The reset of every area of the fit.
#pragma once

namespace qv::fit {

// Resets the areas of this library (the objective-function cells and the
// fit results) and, through the matrix algebra, of every library below it:
// the state of a fresh run.
void reset_areas();

}  // namespace qv::fit
