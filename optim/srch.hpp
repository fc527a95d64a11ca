// Step calculators of the line search.
//
// Two safeguarded one-dimensional searches that work by reverse
// communication: each call looks at the value (and slope) the caller found at
// the last trial step and proposes the next trial step, until it reports
// done.  SRCHDG uses values and directional derivatives (cubic and parabolic
// fits); SRCHNG uses values only (parabolic fits through two or three points).
//
// The function values handed in are relative to the start of the search and
// already shifted by the sufficient-decrease line, so that the start point
// has value 0 and a trial "improves" when its value drops below the best one.
// Steps are measured from 0 (the start); inside the calculators the interval
// of uncertainty [a, b] and the points w and v are held relative to the best
// step alfbst.
//
// Result codes (inform, when done): 1 a sufficient step below alfmax; 2 the
// same at alfmax; 3 the best point moved but the search stopped on its
// interval or count tests; 4 alfmax is within the tolerance and nothing
// better was found; 5 (SRCHNG only) the whole interval lies below alfatiny;
// 6 no better point found; 7 evallimit evaluations without a better point;
// 8 bad input (alfmax <= alfatinytol or g0 >= 0).
#pragma once

namespace qv::optim {

// State of the step calculators, kept from the first call of a search to its
// end (one search at a time).  The first call resets every cell.
struct Srchst {
  // Interval of uncertainty relative to the best step, value at its left end.
  double a = 0.0, b = 0.0, fa = 0.0;
  double tol = 0.0, tolmax = 0.0;
  double factor = 0.0;  // growth factor of extrapolation steps
  double xtry = 0.0;    // the last trial relative to the best step
  int nsamea = 0, nsameb = 0;  // evaluations since each end last moved
  bool braktd = false;   // a minimum is bracketed
  bool crampd = false;   // alfmax <= tolabs
  bool extrap = false;   // the points are configured for extrapolation
  bool moved = false;    // the best point is no longer the start
  bool badfun = false;   // bad input: done at the first call
  bool found = false, quitI = false, quitFZ = false, quitS = false;
  // The previous best point w and a third point v (SRCHNG), relative to the
  // best step.
  bool wset = false, vset = false;
  double alfaw = 0.0, fw = 0.0, gw = 0.0;
  double alfav = 0.0, fv = 0.0;

  void reset() { *this = Srchst{}; }
};
inline Srchst SRCHST;

// Values and slopes.  first, done and imprvd are in/out (start a search with
// first = true); numf counts the evaluations; alfa is the initial step on the
// first call and returns the next trial (unchanged when done); alfbst, fbest
// and gbest are the best step and its value and slope (set fbest = 0 and
// gbest = g0 before the first call); ftry and gtry are the value and slope at
// the last trial.  tolabs may be reduced.  With debug on, the traces go to
// unit nout.
void SRCHDG(bool& first, bool debug, bool& done, bool& imprvd, int& inform, int evallimit, int& numf,
            int nout, double alfmax, double epsaf, double g0, double targtg, double ftry, double gtry,
            double& tolabs, double tolrel, double alfatinytol, double& alfa, double& alfbst, double& fbest,
            double& gbest);

// Values only; alfatiny is the step below which the whole search is given up
// (result 5).
void SRCHNG(bool& first, bool debug, bool& done, bool& imprvd, int& inform, int evallimit, int& numf,
            int nout, double alfmax, double alfatiny, double epsaf, double g0, double targtg, double ftry,
            double& tolabs, double tolrel, double alfatinytol, double& alfa, double& alfbst, double& fbest);

}  // namespace qv::optim
