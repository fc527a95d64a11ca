// Matrix labels and the other short group statements: LA (row or column
// labels of a matrix), PO (the matrix of a power transformation), DI
// (display flags) and IC / CS (one number per variable of the group).
#pragma once

namespace qv::jobctl {

// Where two group-table uses that would share a column live instead: the
// power-transformation address of a PO statement and the numbers of an
// IC/CS statement are kept in integer group columns of IWORKS
// (IGRPTB(IX, NG, k, g)), so that GRPTAB column 32 is the options word DI
// alone and column 33 the record-data list alone.
constexpr int kIcolPower = 2;  // address of the word holding the power-transformation values' address
constexpr int kIcolIcCs = 0;   // address of the IC/CS numbers

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
