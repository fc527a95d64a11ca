// Matrix labels and the other short group statements: LA (row or column
// labels of a matrix), PO (the matrix of a power transformation), DI
// (display flags) and IC / CS (one number per variable of the group).
#pragma once

#include "jobbase/tabnames.hpp"
#include "runtime/view1.hpp"

namespace qv::jobctl {

// Where two group-table uses that would share a column live instead, so
// that gcol::kDiOption (32) is the options word DI alone and gcol::kIdCodes
// (33) the record-data list alone:
// - the power-transformation address of a PO statement is kept in integer
//   group column igcol::kPower (2) of IWORKS;
// - the address of the numbers of an IC/CS statement is kept in the group's
//   matrix table, in word mtab::kIcCs (B + 130), which no other use takes
//   (the label blocks end at B + 129, the formula-text slots begin at
//   B + 132).  Every
//   integer group column already has a user, and column 0 of group g is the
//   word IWORKS(g + 2) where the parameter lists keep the start of group
//   g + 1's definition map.
constexpr int kIcolPower = jobbase::igcol::kPower;

// Cells of the group statements that live for the job.
struct Grpstm {
  bool ICREAD = false;  // an IC or CS statement was read in the job
  void reset() { *this = Grpstm(); }
};
inline Grpstm GRPSTM;

// Each reads its statement from the keyword at the cursor (current group
// MAINPR.IGRP, storage pointer MAINPR.RDPTR).
void LASTMT();  // LA: row or column labels of a matrix
void POSTMT();  // PO: the 1 x 2 matrix of a power transformation
void DISTMT();  // DI: the display flags ME and CO
void ICSTMT();  // IC or CS: one number per variable of the group

}  // namespace qv::jobctl
