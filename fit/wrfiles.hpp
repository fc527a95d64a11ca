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
// of at most width characters.  Not written yet: the call does nothing.
void WRFILES(runtime::Vec1<double> X, runtime::Vec1<int> IX, std::span<const std::string> names, int npieces,
             int width);

}  // namespace qv::fit
