// Data statements: the numbers that follow a data keyword, read inline from
// the script or from a data file named on the keyword line (a record format
// in parentheses or "*" for free format on the file's first line, and the
// program's own matrix files with their "FU MATRIX" header).  Variable-length
// and rectangular records are read through the same two entries.
#pragma once

#include <string>

#include "runtime/view1.hpp"

namespace qv::jobctl {

using runtime::Vec1;

// State of the data-statement reader.  FULLIN and VLDATA never outlive the
// read they belong to: both are cleared when RDDATA returns.
struct Datfil {
  bool FULLIN = false;  // the values being read are a full square matrix; only its lower triangle is stored
  bool VLDATA = false;  // the current read is of variable-length records
  std::string FMTLIN = std::string(80, ' ');  // first line of the data file being read
  // The missing-value string of raw records (MI keyword): a period by
  // default, kept for the run.
  std::string MISVAL = std::string(".") + std::string(15, ' ');
  void reset() { *this = Datfil(); }
};
inline Datfil DATFIL;

// Element layouts of a read.
constexpr int kEltSym = 8;   // lower triangle row by row
constexpr int kEltFull = 9;  // values in the order given

// Shape codes KIND of a read.
constexpr int kShapeSym = 0;   // a symmetric matrix (the statement may say SY or FU)
constexpr int kShapeFull = 9;  // a full matrix or vector

// Reads N values after the data keyword at the cursor into X(P)..X(P+N-1).
// KIND kShapeSym (or below): a symmetric matrix; kShapeFull: a full matrix or
// vector; any other kind: full input of which the lower triangle is stored.  For variable-length (DATFIL.VLDATA) or rectangular
// (RECT non-zero) records P is the block pointer and becomes the pointer
// after the records.  The cursor is left after the last number read.
void RDDATA(Vec1<double> X, int NI, int N, int& P, int KIND, int IGRP, int NG, std::string& MISVAL, int RECT);

// Opens the data file named after the "=" of the current line, reads it
// into X(P).. (N values; 0 means no count, taken as 99999) and closes it.
// For variable-length and rectangular records P becomes the pointer after
// the records.
void RDFILE(Vec1<double> X, int& P, int N, int IGRP, int NG, std::string& MISVAL, int RECT, int ELTYP);

}  // namespace qv::jobctl
