// Working-set utilities and the solution table.
//
// Rows j = 1..n are the variables, n+1..n+nclin the general linear
// constraints (rows of A), then the nonlinear constraints.  istate(j):
// -2 below its lower bound, -1 above its upper bound, 0 free, 1 at its lower
// bound, 2 at its upper bound, 3 an equality, 4 a temporary bound of the
// crash.  A bound at or beyond bigbnd (or at or below -bigbnd) is absent.
#pragma once

#include <span>
#include <string>

namespace qv::optim {

// The print file of the QP machinery and its trace switch.  The QP solver
// (and NLSQP, before its input check) sets them on entry; messages go to
// the print file when iprint > 0, traces only while trace is on as well.
struct Lsprnt {
  int iprint = 0;      // print file unit; 0 or negative: none
  bool trace = false;  // the debug traces of the working-set routines

  void reset() { *this = Lsprnt{}; }
};
inline Lsprnt LSPRNT;

// The step along p to the nearest bound or general constraint: the first
// pass (STEPB1) finds the steps to the bounds relaxed by featol, the second
// takes, among the rows reached within the relaxed step, the one with the
// largest scaled pivot.  firstv: a violated row may be the one hit first.
// inform 3 when the step is unbounded (alfa >= alfabig); jadd 0 when no row
// is hit.
void cmalf(bool firstv, bool& hitslow, std::span<const int> istate, int& inform, int& jadd, int n, int nctotl,
           int ninf, double& alfa, double& palfa, double& arowphit, double alfabig, double bigbnd,
           double dirnorm, std::span<const double> rownorm, std::span<const double> ap,
           std::span<const double> ax, std::span<const double> bl, std::span<const double> bu,
           std::span<const double> featol, std::span<const double> p, std::span<const double> x);

// The first pass of cmalf; negstp reverses the direction.
void STEPB1(bool firstv, bool negstp, double alfabig, double bigbnd, double dirnorm, int& jadd1, int& jadd2,
            double& palfa1, double& palfa2, std::span<const int> istate, int n, int nctotl,
            std::span<const double> rownorm, std::span<const double> ap, std::span<const double> ax,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> featol,
            std::span<const double> p, std::span<const double> x);

// Writes the trace record of row j of a pass of cmalf: its state js, its
// feasibility tolerance, the room res (-1 when none), the rate arowp along p
// and the two candidates (row, step) so far.  ctx is the caller's own.
using StepPassTrace = void (*)(void* ctx, int j, int js, double featol, double res, double arowp, int jadd1,
                               double alfa1, int jadd2, double alfa2);

// The rows of STEPB1 and of the second pass of cmalf, the cores they share
// with the alternative edition's step to the nearest constraint, which keeps
// its own tolerance and traces: the arguments are theirs, tolpar the
// relative size under which a row counts as parallel to p, and row_trace,
// when not null, is called after each row examined with ctx.  cmalf_search
// takes the first pass's results (jsave1, jsave2, palfa1, palfa2), chooses
// the row hit and returns true when it is the first candidate (a row leaving
// the feasible region), whose step may be negative.  Neither writes anything
// itself nor keeps state.
void stepb1_pass(bool firstv, bool negstp, double alfabig, double bigbnd, double dirnorm, double tolpar, int& jadd1,
                 int& jadd2, double& palfa1, double& palfa2, std::span<const int> istate, int n, int nctotl,
                 std::span<const double> rownorm, std::span<const double> ap, std::span<const double> ax,
                 std::span<const double> bl, std::span<const double> bu, std::span<const double> featol,
                 std::span<const double> p, std::span<const double> x, StepPassTrace row_trace, void* ctx);
bool cmalf_search(bool firstv, bool& hitslow, std::span<const int> istate, int& jadd, int n, int nctotl, int ninf,
                  double& alfa, double& palfa, double& arowphit, double alfabig, double bigbnd, double dirnorm,
                  double tolpar, int jsave1, int jsave2, double palfa1, double palfa2,
                  std::span<const double> rownorm, std::span<const double> ap, std::span<const double> ax,
                  std::span<const double> bl, std::span<const double> bu, std::span<const double> featol,
                  std::span<const double> p, std::span<const double> x, StepPassTrace row_trace, void* ctx);

// Checks the optimizer's input: workspace lengths, the permutation kx (when
// checkkx), the bounds of every row and, for a warm start (start 1), the
// states.  nerror counts the errors; each is reported on the print file.
// names holds 8-character row names when named.  kx is marked while it is
// checked and restored.
void CHKINP(int& nerror, int lprint, int start, bool checkkx, int liwork, int lwork, int litotl, int lwtotl,
            int n, int nclin, int nnlcon, std::span<const int> istate, std::span<int> kx, bool named,
            std::span<const std::string> names, double bigbnd, std::span<const double> bl,
            std::span<const double> bu);

// Is kx(m1..m2) a permutation of m1..m2?  inform 0 yes, 1 bad range,
// 2 an entry out of range, 3 a duplicate; kx is as it was on return.
void cmperm(std::span<int> kx, int m1, int m2, int& inform);

// Spreads the working-set multipliers rlamda into mult (by row) and, when
// the print file is set and lprint is 1 or at least 10, prints the table of
// variables and constraints.  c holds the nonlinear constraint values.
void PRSOLN(int lprint, int nfree, int ldA, int n, int nclin, int nctotl, double bigbnd, bool named,
            std::span<const std::string> names, int nactiv, std::span<const int> istate,
            std::span<const int> wslist, std::span<const int> kx, std::span<const double> a,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> c,
            std::span<double> mult, std::span<const double> rlamda, std::span<const double> x);

}  // namespace qv::optim
