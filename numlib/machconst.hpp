// Machine constants of the library, for IEEE double precision on this machine.
//
// The relative precision is 2^-53 (the unit round-off of IEEE double), the
// smallest safe number 2^-1022 (the smallest normalised double, whose
// reciprocal is finite) and the largest number the largest finite double.
#pragma once

#include <array>

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

// The machine-constant table that MCHCON fills: base, digits, eps, sqrt(eps),
// safe minimum, its root, largest number, its root, 0, input unit, advisory unit.
struct Mchtab {
  std::array<double, 11> v{};
  bool filled = false;       // entries 1..9 are computed on the first call only
  double& operator()(int i) { return v[static_cast<std::size_t>(i - 1)]; }
  void reset() { *this = Mchtab{}; }
};
inline Mchtab MCHTAB;

void MCHCON();

}  // namespace qv::numlib
