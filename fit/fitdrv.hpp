// The fit driver: FITDRV runs a job's fit from the arrays that the set-up laid
// out (FITARR) to the end of its report: the message unit, the option lines
// (FITOPL), the optimizer run, the advice on its result code (OPTMSG), the
// Hessian section, the estimates listing, the run's warnings and code line,
// the fit statistics, the two-stage and Try Hard restarts and the
// likelihood-based confidence intervals.
#pragma once

#include <functional>
#include <string_view>

#include "jobbase/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::fit {

using runtime::Vec1;

// Cells of the driver.
struct Fitdrv {
  // Run: set once a fit of the run has started OPTDUMP.OUT (later fits add
  // to it).
  bool DUMPED = false;
  // Job: the warm-start flag ("Warm start" when set, else "Cold start"), the
  // optimizer's result code and major iterations, the objective value (after
  // a run the unscaled fit function) and the mode cell of the driver's own
  // evaluations.
  bool WARM = false;
  int INFORM = 0;
  int MAJITS = 0;
  double FOBJ = 0.0;
  int MODE = 0;
  void reset_job() {
    WARM = false;
    INFORM = MAJITS = MODE = 0;
    FOBJ = 0.0;
  }
  void reset() { *this = Fitdrv(); }
};
inline Fitdrv FITDRVC;

// Receives one option line.
using Optsink = std::function<void(std::string_view line)>;

// Sends the fit's option lines, in order, to sink (the driver sends them to
// NPOPLN): the fixed lines, "Default" with DE, the warm or cold start by
// warm, and the lines of the FU, FE, IT, NA, OP, LI, STE and FI cells.
void FITOPL(int warm, const Optsink& sink);

// The advice on an optimizer result code other than 0, under the warning
// heading, on the report.  itmax is the major iterations limit the run was
// held to (the advice on code 4 names it).
void OPTMSG(int inform, int itmax);

// Runs the fit of the job whose arrays FITARR names.
void FITDRV(Vec1<double> X, Vec1<int> IX, jobbase::Labtab& LABTAB);

// The likelihood-based confidence intervals after the last restart: for each
// group's requests, the report rows of each element's lower and upper limit,
// each found by penalty runs of the optimizer.  Leaves the estimates, the
// fit value FOBJ and every matrix as they were at the solution.
void LIKCIS(Vec1<double> X, Vec1<int> IX, jobbase::Labtab& LABTAB);

}  // namespace qv::fit
