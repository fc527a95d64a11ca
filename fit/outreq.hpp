// Output-file requests of a group's options line (QV with a matrix letter,
// %E, %M, %V, %P or %D, and the path-diagram word DR), recorded in the
// group's request list for the writing of the files after the fit.
#pragma once

#include "runtime/view1.hpp"

namespace qv::fit {

// Request numbers besides the matrix letters 1..26.
constexpr int kReqExpCov = 27;   // %E expected covariance matrix
constexpr int kReqPath = 28;     // %D or DR path-diagram commands
constexpr int kReqExpMean = 29;  // %M expected means
constexpr int kReqVl = 30;       // %V variable-length data
constexpr int kReqPed = 31;      // %P pedigree statistics

// Room of a group's request list: a count and up to 30 requests of three
// words (request number, first LABTAB slot of the file name, slots used).
constexpr int kMaxReq = 30;
constexpr int kReqWords = 90;

// Parses the request at the cursor (a word beginning "QV" or "DR") of group
// g and appends it to the group's list (GRPTAB column 26; created at RDPTR
// on first use).  The file name goes to LABTAB from slot LABSLOT on; the
// cursor is left on the last character of the name.
void OUTREQ(runtime::Vec1<double> X, runtime::Vec1<int> IX, int NG, int g, int& RDPTR, int& LABSLOT);

}  // namespace qv::fit
