// The eigen functions (EVAL, EVEC, IVEC, IVAL) and the normal-distribution
// functions (MULN, MNOR, MOMNOR, PDFNOR, PCHI) of the formula machine.
//
// Each works on the operand temporary and writes its result over it, as the
// other one-operand functions do.  Scratch is taken above WSTOP (checked
// against the workspace limit) and in the formula machine's integer scratch;
// nothing is allocated and nothing is written except the diagnostics.
#pragma once

#include "runtime/view1.hpp"

namespace qv::algebra {

// Largest number of variables of MULN (the adaptive integrator's limit) and
// of MOMNOR (the moment integrand's store and the product rule's limit).
constexpr int kMulnMaxVar = 20;
constexpr int kMomnorMaxVar = 20;

// Cells of the normal-distribution functions kept over the run.
struct Nrmfun {
  int NINACC = 0;  // MULN integrals reported inaccurate (the whole run)
  void reset() { *this = Nrmfun{}; }
};
inline Nrmfun NRMFUN;

// Function code f (43..46, 50, 62, 64, 81, 82) over the operand temporary at
// workspace position t (X(t) type, X(t+1) rows, X(t+2) columns, then the
// values row by row); the result is written over it.
void MATUN7(runtime::Vec1<double> X, int f, int t);

}  // namespace qv::algebra
