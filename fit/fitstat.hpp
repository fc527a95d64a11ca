// Fit statistics and comparison indices: the counts of observed statistics
// (NOBS) and the RMSEA (DFOBS), the fit-statistics block of the report with
// its null-model indices and saturated-model comparison, and the job's
// fit-results record FITRES.
#pragma once

#include "runtime/view1.hpp"

namespace qv::fit {

// The job-wide record of fit results, in the order the front end reads it.
struct Fitres {
  double F = 0.0;        // fit value
  double DF = 0.0;       // degrees of freedom
  double PROB = 0.0;     // probability (or power)
  double AIC = 0.0;
  double RMSEA = 0.0;
  double CHILO = 0.0, CHIHI = 0.0;  // interval on chi-squared
  double AICLO = 0.0, AICHI = 0.0;  // interval on AIC
  double RMSLO = 0.0, RMSHI = 0.0;  // interval on RMSEA
  double NFI = 0.0, NFI2 = 0.0, TLI = 0.0, PFI = 0.0, PFI2 = 0.0, RNI = 0.0, CI = 0.0;
  int INFORM = 0;        // the optimizer's result code
  int NPAR = 0;          // free parameters of the fit
  int NNLCON = 0;        // nonlinear constraint values
  int FITTYP = 0;        // fit-type code of the front end
  void reset() { *this = Fitres(); }
};
inline Fitres FITRES;

// The saturated-model comparison of the last block: difference
// chi-squared, its df, probability and AIC (-1 when there was none).
struct Fitcmp {
  double DIFCHI = -1.0, DIFDF = -1.0, DIFPRB = -1.0, DIFAIC = -1.0;
  void reset() { *this = Fitcmp(); }
};
inline Fitcmp FITCMP;

// Number of observed statistics of groups first..last of the workspace X
// (NG groups); NOBSV receives their observations, NCON their constraint
// values.
int NOBS(runtime::Vec1<double> X, int NG, int first, int last, double& NOBSV, int& NCON);

// RMSEA of the model whose group fit values are multiplied by r (1 for the
// point estimate): the mean over the data groups of each group's share.
void DFOBS(runtime::Vec1<double> X, int NG, int NPAR, double r, double& RMSEA);

// Fit-type codes of the front end (FITRES.FITTYP): the class of the fit
// functions of a job's data groups.
namespace fitclass {
constexpr int kNone = 0;     // no data group
constexpr int kML = 1;       // maximum likelihood
constexpr int kGLS = 2;      // generalised least squares
constexpr int kLS = 3;       // least squares
constexpr int kAWLS = 4;     // asymptotically weighted least squares
constexpr int kDWLS = 5;     // diagonally weighted least squares
constexpr int kRecords = 6;  // raw data, variable-length records, contingency table
constexpr int kOther = 7;    // any other fit code, or data groups of different classes
}  // namespace fitclass

// Fit-type code of the front end from the data groups' fit codes: ML 1,
// GLS 2, LS 3, AWLS 4, DWLS 5, raw data 6; 7 for any other code or for
// data groups whose types differ (the fitclass:: codes).
int FITTYP(runtime::Vec1<double> X, int NG);

// What the block needs from the fit driver.
struct Statin {
  double F = 0.0;   // unscaled fit value at the solution
  int NPAR = 0;     // free parameters
  long long NSTAT = 0;  // observed statistics plus the DF adjustment
  int NNLCON = 0;   // nonlinear constraint values
  int INFORM = 0;   // the optimizer's result code
  bool FINAL = true;  // the job's last pass: a null or saturated model keeps this fit
};

// Writes the fit-statistics block on the report and fills FITRES, the null
// and saturated cells of FITOPT and FITCMP; a job flagged as the null or
// saturated model keeps the fit of its last pass (in.FINAL) for the jobs
// that follow, and until then is compared with neither.
void FITSTS(runtime::Vec1<double> X, const Statin& in);

}  // namespace qv::fit
