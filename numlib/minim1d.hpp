// Minimum of a function of one variable on an interval, from function values.
//
// E04ABF evaluates the function at two interior points and at a third point
// chosen from them, then hands every further step to the search core MINCORE
// by reverse communication: each call of the core takes the value at the
// point last asked for and either asks for the next point or reports that the
// search has converged.  The core is a safeguarded parabolic search: the
// minimiser of the parabola through the best point and the two retained
// points when that step is acceptable, a golden-section step into the larger
// part of the bracket otherwise, never closer than the tolerance
// E1 |X| + E2 to the best point or the ends of the bracket.
#pragma once

#include <functional>

namespace qv::numlib {

// Search state shared by E04ABF and MINCORE.
struct Minsta {
  double x = 0.0, fx = 0.0;  // best point and its value
  double w = 0.0, fw = 0.0;  // second best point
  double v = 0.0, fv = 0.0;  // the previous value of w
  double a = 0.0, b = 0.0;   // the bracket, as absolute positions
  double u = 0.0;            // the point last asked for
  double d = 0.0;            // the step taken last, from x
  double e = 0.0;            // the step before it
  double e1 = 0.0, e2 = 0.0; // relative and absolute accuracy
  int state = 0;             // 1 first entry (u is the third point), 2 searching
  int result = 0;            // 1 evaluate at u, 2 converged
  int ncall = 0;             // evaluations made
  void reset() { *this = Minsta{}; }
};
inline Minsta MINSTA;

// The function: FUNCT(XC, FC) sets FC to the value at XC.
using E04abfFun = std::function<void(double xc, double& fc)>;

// Finds a minimum of FUNCT on [A, B].  E1 and E2 (relative and absolute
// accuracy) below EPSMACH are replaced by sqrt(EPSMACH) and returned so.
// On exit X is the best point, F its value, [A, B] the final interval known
// to contain the minimum and MAXCAL the number of calls made.  Errors: 1 when
// A + E2 >= B or MAXCAL < 3 (nothing evaluated); 2 when MAXCAL calls were
// made before convergence.
void E04ABF(const E04abfFun& funct, double& e1, double& e2, double& a, double& b, int& maxcal, double& x,
            double& f, int& ifail);

// One step of the search core with the value at MINSTA.u: returns 1 with the
// next point in MINSTA.u, or 2 when the search has converged.
int MINCORE(double fu);

}  // namespace qv::numlib
