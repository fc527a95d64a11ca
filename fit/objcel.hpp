// Control and result cells of the objective function, shared by the fit
// driver, the constraint callback and the fit functions.
#pragma once

namespace qv::fit {

struct Objcel {
  // Set by the callers around their calls.
  bool CONMOD = false;  // while the constraint callback evaluates
  bool HESFLG = false;  // while the Hessian is estimated
  // Scale of a run: FFIRST is cleared by the driver before each run and set
  // by the first evaluation, which fixes FSCALE and FSIGN.
  bool FFIRST = false;
  double FSCALE = 1.0;
  double FSIGN = 1.0;
  // Results of one evaluation, reset on entry to it.
  int FMODE = 0;       // -1 when a fit function met a value it cannot use
  int NNONPD = 0;      // groups with trouble in this evaluation
  // Set once the warning on a non-positive-definite expected matrix at the
  // starting values has been written.
  bool NPDWRN = false;
  // WORKSP position of the job's parameter vector x (the optimizer's
  // iterate and, after the fit, the estimates), set by the fit set-up.  The
  // objective never reads it: it evaluates the point it is given.
  int XBASE = 0;
  // Set once the raw-data fit functions have reserved their scratch; cleared
  // by the driver before a run and before the Hessian.
  bool RAWALC = false;
  // Evaluations of the current run that returned MODE -1 (a value the fit
  // functions could not compute); cleared by the driver before a run.
  int NBADFN = 0;
  // The likelihood-based interval search: search on, target value, weight,
  // side (0 lower, 1 upper) and WORKSP position of the element whose limit
  // is sought.  Set and cleared by the interval search around its runs.
  int CIMODE = 0;
  double CITARG = 0.0;
  double CIWGT = 0.0;
  int CIUPPR = 0;
  int CIELPOS = 0;
  // While the pedigree-statistics file is written: the raw-data fit
  // functions write one line of statistics per record to unit 1.
  bool PEDOUT = false;
  void reset() { *this = Objcel(); }
};
inline Objcel OBJCEL;

// How often, during the fit of a job, the multivariate normal integration of
// the ordinal fit functions was asked to use a covariance matrix that is not
// positive definite (NPDMVN) and gave less than the requested accuracy
// (ACCMVN).  Cleared at the start of each job's fit.
struct Mvncnt {
  int NPDMVN = 0;
  int ACCMVN = 0;
  void reset() { *this = Mvncnt(); }
};
inline Mvncnt MVNCNT;

}  // namespace qv::fit
