// The set-up of a fit: counting the free parameters and the observed
// statistics, and laying out the optimizer's argument block FITARR in the two
// workspaces with the start values, the default bounds, the bounds of the
// constraint rows and the user's bound records.
//
// A fit runs FITCNT, then the specification listing, then FITLAY, then the
// fit driver with the arrays FITARR names.
#pragma once

#include "jobbase/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::fit {

using runtime::Vec1;

// Counts and positions of one fit (job-wide, set by FITCNT and FITLAY).
struct Fitarr {
  // Counts.
  int NPAR = 0;    // distinct free parameters (may be 0)
  int N = 1;       // the optimizer's variables: NPAR, or 1 when NPAR is 0
  bool FREEP = false;  // free-parameter flag: NPAR > 0
  int NCLIN = 0;   // general linear constraints: always 0
  int NNLCON = 0;  // nonlinear constraints: the values of the constraint groups
  int NCTOTL = 0;  // rows of the bound vectors: N + NCLIN + NNLCON
  int LDA = 1;     // leading dimension of ALIN
  int LDJAC = 1;   // leading dimension of CNLJAC: max(1, NNLCON)
  int LDRFAC = 1;  // leading dimension of RFAC: N
  int NIW = 0;     // length of the optimizer's integer work array
  int NW = 0;      // length of the optimizer's real work array
  // WORKSP positions of the real arrays, in layout order.
  int ALIN = 0, BLOW = 0, BUPP = 0, CNLVAL = 0, CNLJAC = 0, XMULT = 0, GOBJ = 0, RFAC = 0;
  int W = 0;       // the optimizer's real work array
  int X = 0;       // the parameter vector (also OBJCEL.XBASE)
  // IWORKS positions of the integer arrays.
  int ISTATE = 0;  // NCTOTL words
  int IW = 0;      // NIW words
  void reset() { *this = Fitarr(); }
};
inline Fitarr FITARR;

// Bound of the start values moved away from zero, and the value they are
// moved to: the single-precision 0.01, widened.
constexpr double kStartMin = static_cast<double>(0.01f);
// Default bounds of a parameter and the open side of a ">" or "<" row (the
// single-precision 1e20, widened).
constexpr double kParBound = 10000.0;
constexpr double kConBound = static_cast<double>(1.0e20f);

// Start value of a parameter from its matrix element's value: a value
// strictly inside (-0.01, 0.01) becomes +0.01 whatever its sign, so that no
// parameter starts at (or next to) zero.
double start_value(double v);

// Counts the job: VLSUMM (parameter list, statistics, case-vector summaries;
// NS is the first free label slot), the statistics total NSTAT plus the DF
// adjustment, NPAR, N and the free-parameter flag.
void FITCNT(Vec1<double> X, Vec1<int> IX, jobbase::Labtab& LABTAB, int NS);

// Lays out FITARR from WSTOP and IWSTOP (both checked and advanced), fills
// the start values and the bounds, sets OBJCEL.XBASE and arms the constraint
// callback's first call.  A free parameter that the parameter list lacks is
// error 136.
void FITLAY(Vec1<double> X, Vec1<int> IX);

// Real work-array length NW for n variables, nclin linear and nnlcon
// nonlinear constraints (in 64 bits: it passes the integers for large n).
long long fit_nw(long long n, long long nclin, long long nnlcon);

}  // namespace qv::fit
