// Case-level data of a group: raw records (RA), variable-length records
// (VL) and rectangular records (RE, OR).
//
// Variable-length and rectangular records are stored as case vectors of
// 2m + 2 words: m, a pattern flag (1 when the codes differ from the previous
// case's or for the first case, else 0), m codes, m values.  The block of a
// group's vectors, with P the pointer the dispatcher passes: X(P-3) the index
// of the per-case area after the vectors, X(P-2) the largest m (VL only),
// X(P-1) the number of cases, X(P).. the vectors, then one word per case.
#pragma once

#include <string>

#include "runtime/view1.hpp"

namespace qv::jobctl {

using runtime::Vec1;

// Length of the record buffer of rectangular reads.
constexpr int kRectMax = 2000;

// Reads NI*NO raw values into X(P).. from the script (or a file named with
// FI).  When the script ends first, NO becomes the number of whole cases read.
void RDRAW(Vec1<double> X, int NI, int& NO, int P);

// Reads variable-length records from UNIT into the block whose words start
// after S (S = P - 1); S becomes the pointer after the per-case area.  The
// group's NO (GRPTAB column 1) is the limit (0: none) and becomes the count.
void RDVL(Vec1<double> X, int& S, int UNIT, int IGRP, int NG);

// Reads rectangular records from UNIT, fields equal to MISVAL being missing.
// S as for RDVL; STATUS := 1 on failure.
void RDRECT(Vec1<double> X, int& S, int UNIT, int IGRP, int NG, std::string& MISVAL, int& STATUS);

// Largest m of the case vectors of block V (V(1) the number of vectors,
// then the vectors).
int longest_vector(Vec1<double> V);

// Strict reading of one rectangular field as a number (optional sign,
// digits with at most one point, an optional exponent with E or D).
bool rect_number(std::string_view field, double& value);

}  // namespace qv::jobctl
