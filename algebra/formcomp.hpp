// The formula compiler of a group: CMPFORM compiles one model statement's
// formula into its code list in WORKSP, records the list and its result in
// the group's GRPTAB columns, evaluates it once under the trial flag to learn
// the result's shape, reserves the result's space and checks its element
// count against the group's data.
#pragma once

#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::algebra {

// The mode of the formulas other than a group's covariance formula (means,
// weight and computed matrices): they are laid out as a calculation group's.
constexpr int kModeOtherFormula = jobbase::kKindCalc;

// address (in-out): where the code list starts; on return the first word
// after everything reserved.  mode: the group kind for a covariance
// formula, kModeOtherFormula for means, weight and computed matrices, below
// 0 for shape only.  kind: 0 covariance, 1 means, 2 computed matrix, 9 weight.
// storage: for kind 2 the storage address of the computed matrix whose
// letter is FMFLAG.CMPLET.  slots/slot: label-table slots for the text.
// The cursor stands on the statement's keyword or on an "=" before the
// formula.
void CMPFORM(runtime::Vec1<double> X, runtime::Vec1<int> IX, int& address, int mode, int kind, int storage,
             jobbase::Labtab& slots, int& slot);

// Translates the formula that follows the cursor with POSTFIX and stores its
// code count n at X(1) and its codes at X(2..n+1), as doubles (the cursor
// stands just before the formula's first character; slots/slot as above).
// Nothing calls it: the model statements go through CMPFORM.
void formula_codes(runtime::Vec1<double> X, jobbase::Labtab& slots, int& slot);

}  // namespace qv::algebra
