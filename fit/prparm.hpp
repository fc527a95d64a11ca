// The parameter specifications and estimates listing: PRPARM walks the
// groups and their matrices, PRMAT prints one matrix with its type line and
// PRFORM the formula of a computed matrix.
#pragma once

#include "jobctl/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::fit {

// Listing modes of PRPARM and PRMAT.
namespace prmode {
constexpr int kSpecification = 0;  // specification numbers
constexpr int kEstimates = 1;      // values
constexpr int kStdErrors = 2;      // standard errors (PRMAT only)
}  // namespace prmode

// Lists every group's matrices: specification numbers (mode 0, called by
// FIT before the optimizer runs) or estimates (mode 1, called by the fit
// driver after it), in text or HTML as the report is.  feactv and machout
// are the front-end flags handed on to the group results report.
void PRPARM(runtime::Vec1<double> X, runtime::Vec1<int> IX, jobctl::Labtab& LABTAB, int& mode, int feactv,
            int machout);

}  // namespace qv::fit
