// The parameter specifications and estimates listing: PRPARM walks the
// groups and their matrices, PRMAT prints one matrix with its type line and
// PRFORM the formula of a computed matrix.
#pragma once

#include "jobbase/workspace.hpp"
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
// are the front-end flags handed on to the group results report.  In
// estimates mode each group's output-file requests are served first, and
// the group ends with its results report when it has one.  mode is 2 while
// a block of standard errors prints, and back to 1 after it.
void PRPARM(runtime::Vec1<double> X, runtime::Vec1<int> IX, jobbase::Labtab& LABTAB, int& mode, int feactv,
            int machout);

// Prints matrix letter (1..26) of the type, order and label record (0:
// none) given: its type line, then, in mode 0 the specification numbers
// stored at address, in modes 1 and 2 the values or standard errors stored
// there.  type is normalised in place (0 becomes 8; -10, -11 and -2 become
// 9); hasfree is cleared for the types that hold no parameters.  Matrices
// without free elements show only their type line in modes 0 and 2, and the
// fixed patterns (ZE, ID, IZ, ZI, UN) in every mode.  The formula of a
// computed matrix is the current group's (MAINPR.IGRP).
void PRMAT(runtime::Vec1<double> X, runtime::Vec1<int> IX, jobbase::Labtab& LABTAB, int& type, int rows, int cols,
           int address, int labelrec, int mode, int& hasfree, int letter);

// Writes the formula of computed matrix letter of group g on one record:
// " [=", its text and "]".  Nothing when the letter has no formula text.
void PRFORM(runtime::Vec1<double> X, int g, int NG, jobbase::Labtab& LABTAB, int letter);

}  // namespace qv::fit
