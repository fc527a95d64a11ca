// The output files a group asks for on its options line (matrices, expected
// covariances and means, variable-length data, pedigree statistics, path
// diagrams), written after the fit by the estimates listing.
#pragma once

#include <span>
#include <string>

#include "runtime/view1.hpp"

namespace qv::fit {

// The request being served: its number (a matrix letter 1..26, or one of
// the kReq* numbers of outreq.hpp), placed here by the caller of WRFILES.
struct Wrfcel {
  int REQNUM = 0;
  void reset() { *this = Wrfcel(); }
};
inline Wrfcel WRFCEL;

// Writes the request WRFCEL.REQNUM of the current group MAINPR.IGRP to the
// file named by the npieces 32-character pieces of names (unit 1), records
// of at most width characters.  With the options word AP the file is
// appended to (and an existing file gets no second header); otherwise it is
// written anew.  A file that cannot be opened stops the job (error 223).
void WRFILES(runtime::Vec1<double> X, runtime::Vec1<int> IX, std::span<const std::string> names, int npieces,
             int width);

// The header line of a matrix file (500 characters, blank-padded): the
// format (6D13.6) followed by the group, type word, letter, rows and columns.
std::string matrix_header(int g, int type, char letter, int rows, int cols);

// The path-diagram commands of the current group (its matrices F, A and S)
// on unit 1; a warning and nothing written when they do not fit together.
void RAMOUT(runtime::Vec1<double> X);

// The path records of one matrix: kind 1 for A, 2 for S, 0 for F; the
// rows x cols specification numbers (a packed triangle when type is
// symmetric) are followed by the values at address.
void RAMPTH(runtime::Vec1<double> X, int kind, int address, int labelref, int rows, int cols, int type);

}  // namespace qv::fit
