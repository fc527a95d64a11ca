// Matrix labels and the other short group statements: LA (row or column
// labels of a matrix), PO (the matrix of a power transformation), DI
// (display flags) and IC / CS (one number per variable of the group).
#pragma once

#include "runtime/view1.hpp"

namespace qv::jobctl {

// Where two group-table uses that would share a column live instead, so
// that GRPTAB column 32 is the options word DI alone and column 33 the
// record-data list alone:
// - the power-transformation address of a PO statement is kept in integer
//   group column 2 of IWORKS (IGRPTB(IX, NG, kIcolPower, g));
// - the address of the numbers of an IC/CS statement is kept in the group's
//   matrix table, in word B + 130, which no other use takes (the label
//   blocks end at B + 129, the formula-text slots begin at B + 132).  Every
//   integer group column already has a user, and column 0 of group g is the
//   word IWORKS(g + 2) where the parameter lists keep the start of group
//   g + 1's definition map.
constexpr int kIcolPower = 2;  // address of the word holding the power-transformation values' address
constexpr int kMattabIcCs = 130;  // offset in the matrix table of the IC/CS numbers' address
inline double& MTICCS(runtime::Vec1<double> X, int B) { return X(B + kMattabIcCs); }

// Cells of the group statements that live for the job.
struct Grpstm {
  int ICREAD = 0;  // an IC or CS statement was read in the job
  void reset() { *this = Grpstm(); }
};
inline Grpstm GRPSTM;

// Each reads its statement from the keyword at the cursor (current group
// MAINPR.IGRP, storage pointer MAINPR.RDPTR).
void LASTMT();
void POSTMT();
void DISTMT();
void ICSTMT();

}  // namespace qv::jobctl
