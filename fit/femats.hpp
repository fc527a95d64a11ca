// The front end's matrix dump: every matrix of the job with its
// specifications, labels and values (mode 1), the values of the matrices
// that carry parameters or are computed (mode 2), the fit records after the
// fit statistics (mode 3) and the power record after the power table
// (mode 4).
#pragma once

#include <span>

#include "runtime/view1.hpp"

namespace qv::fit {

// Modes of FEMATS.
namespace femode {
constexpr int kSpecs = 1;   // specifications, labels and values
constexpr int kValues = 2;  // values of the parameter-carrying and computed matrices
constexpr int kFit = 3;     // GROUP_FIT records and the GLOBAL_FIT record
constexpr int kPower = 4;   // the POWER record
}  // namespace femode

// Rows of the POWER record: the power table's (level, total N) pairs.
inline constexpr int kPowerRows = 7;

// Writes "!@machine;" and the records of MODE for the groups of the job in
// X (attribute kSuppress of IX leaves a group out).  Modes 1 and 2 end
// without a closing token; modes 3 and 4 close with "!@human;"; any other
// mode writes the opening token only.  Sets MAINPR.IGRP group by group (it
// is left at NG + 1, or 1 after mode 3).  Mode 3 reads FITRES and uses 25
// words from WSTOP as scratch; mode 4 writes the 2 * kPowerRows values of
// power (the pairs in order) from WSTOP.
void FEMATS(runtime::Vec1<double> X, runtime::Vec1<int> IX, int MODE, std::span<const double> power = {});

}  // namespace qv::fit
