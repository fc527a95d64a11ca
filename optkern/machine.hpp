// Machine constants of the optimizer, and the table the numerical library
// reads them from.
//
// The optimizer does not take its floating-point constants from a platform
// header: on the first request it finds the base, the number of digits, the
// rounding and the smallest exponent of double arithmetic by experiment and
// fills an eleven-entry table that every optimizer routine reads.
#pragma once

#include <array>

namespace qv::optkern {

// The machine-constant table of the process, one for the optimizer and the
// numerical library.  Entries 1..11, filled once by MCHSET:
//   1 base, 2 base digits, 3 eps, 4 sqrt(eps), 5 rmin, 6 sqrt(rmin),
//   7 rmax = 1/(rmin*base^4), 8 sqrt(rmax), 9 underflow flag (0),
//   10 input unit (5), 11 output unit (7).
// The library reads entries 1-6, 9 and 10 as they are.  Where its meaning
// differs (its largest number is the largest finite double, not the safe
// bound rmax; its message unit is the advisory unit of the moment, not the
// optimizer's print unit 7) it reads the named cells below, which its MCHCON
// fills.
struct Mchtab {
  std::array<double, 11> w{};
  bool first = true;  // MCHSET has not filled the table yet
  double largest = 0.0;    // largest finite number (the library's HUGENUM)
  double rtlargest = 0.0;  // its square root
  double advunit = 0.0;    // the library's advisory unit, as a real, at the last MCHCON

  double operator()(int i) const { return w[static_cast<std::size_t>(i - 1)]; }
  void reset() { *this = Mchtab{}; }
};
inline Mchtab MCHTAB;

// Results that MCENVN and MCENV1 keep for their later calls.
struct Mcenvs {
  bool envn_first = true;
  int base = 0, digits = 0, emin = 0;
  double eps = 0.0, rmin = 0.0;
  bool env1_first = true;
  int base1 = 0, digits1 = 0;
  bool rounds1 = false;

  void reset() { *this = Mcenvs{}; }
};
inline Mcenvs MCENVS;

// Fills MCHTAB on its first call; later calls do nothing.
void MCHSET();
// Base, digits, eps, smallest exponent and rmin of the arithmetic.
void MCENVN(int& base, int& digits, double& eps, int& emin, double& rmin);
// Base, digits and whether the arithmetic rounds.
void MCENV1(int& base, int& digits, bool& rounds);
// Smallest exponent reached by repeated division of start by the base.
void MCENV4(int& emin, double start, int base);
// a + b, forced through a stored double.
double MCADD(double a, double b);

// Entry i of the table, filling it first when needed.
inline double wmach(int i) {
  if (MCHTAB.first) MCHSET();
  return MCHTAB(i);
}

}  // namespace qv::optkern
