// Machine constants of the library, for IEEE double precision on this machine.
//
// The relative precision is 2^-53 (the unit round-off of IEEE double), the
// smallest safe number 2^-1022 (the smallest normalised double, whose
// reciprocal is finite) and the largest number the largest finite double.
#pragma once

#include "optkern/machine.hpp"

namespace qv::numlib {

double PICONST();   // pi
double EPSMACH();   // relative machine precision, 2^-53
double SMALLN();    // smallest positive normalised number, 2^-1022
double SAFEMIN();   // smallest safe positive number, 2^-1022
int MAXINTG();      // largest integer, 2147483647
int MBASE();        // floating-point base, 2
int MDIGITS();      // base digits, 53
int MEMIN();        // smallest exponent, -1021
int MEMAX();        // largest exponent, 1024
double MZERO();     // 0
double HUGENUM();   // largest finite number

// Makes the machine-constant table (optkern::MCHTAB, optkern/machine.hpp) ready
// for the library: entries 1..11 are filled on the first call only (MCHSET);
// the library's own cells are stored on every call: the largest number
// HUGENUM and its root, and the current advisory unit (ADVUNIT mode 0), so
// that a redirection made between calls reaches the table.
void MCHCON();

}  // namespace qv::numlib
