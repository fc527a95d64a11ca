// Nonlinear working set, constraint violations, the step to the nearest
// constraint and the range-space step of the major iterations.
//
// Rows j = 1..n are the variables, n+1..n+nclin the linear constraints and
// n+nclin+1..nctotl the nonlinear constraints; bl and bu hold their bounds in
// that order, and a bound at or beyond bigbnd (at or below -bigbnd) is
// absent.  istate(j): 0 not in the working set, 1 at the lower bound, 2 at
// the upper bound, 3 an equality, 4 a temporarily fixed variable; negative
// values come from the QP iterations (-2 below the lower bound, -1 above the
// upper one).  The working-set list holds, for each active general
// constraint, its row among the linear then nonlinear constraints (nonlinear
// constraint i is row nclin + i).
//
// Every routine writes its debug trace on unit trace_unit when that is
// positive (the print file while the major debug switch is on), else none.
#pragma once

#include <span>

namespace qv::optim {

// Chooses the nonlinear constraints of the first working set.  nactiv comes
// in as the number of active linear constraints already in wslist.  Cold
// start: the nonlinear states are reset (3 for equal bounds, else 0), and
// then constraints whose relative residual is below tolact are appended one
// at a time, the smallest first.  Any start: a nonlinear constraint with a
// positive state is appended while room is left; with no room its state is
// cleared.  c holds the nonlinear constraint values.  Out: nactiv, nZ =
// nfree - nactiv, istate and wslist of the nonlinear rows.
void npcrsh(bool cold, int n, int nclin, int nnlcon, int nctotl, int& nactiv, int nfree, int& nZ,
            std::span<int> istate, std::span<int> wslist, double bigbnd, double tolact,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> c,
            int trace_unit = 0);

// Measures the violations of all nctotl rows at x: the residual of each row
// goes to work (nctotl words); cviolnorm is their Euclidean norm, errmax the
// largest magnitude and jmax its row (the first of equals), nviol the number
// of rows violated beyond their feasibility tolerance featol.  A nonlinear
// row reports any violation as its residual but counts only beyond featol.
// ax holds the linear constraint values, c the nonlinear ones.
void npfeas(int n, int nclin, int nnlcon, std::span<const int> istate, double bigbnd, double& cviolnorm,
            double& errmax, int& jmax, int& nviol, std::span<const double> ax, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> c, std::span<const double> featol,
            std::span<const double> x, std::span<double> work, int trace_unit = 0);

// The largest step alfa in [alfalow, alfmax] along the search direction
// before a bound, a linear constraint or a nonlinear slack reaches a limit.
// Bounds move by dx from x, linear rows by adx from ax (their row norms in
// anorm), nonlinear rows by dslack from slack.  Components within
// eps^0.9 * rownorm * stepnorm of zero are ignored, as are rows already at
// or beyond their limit.  info 1 when nothing limits the step below alfmax,
// else 0.
void npalf(int& info, int n, int nclin, int nnlcon, double& alfa, double alfalow, double alfmax, double bigbnd,
           double stepnorm, std::span<const double> anorm, std::span<const double> adx,
           std::span<const double> ax, std::span<const double> bl, std::span<const double> bu,
           std::span<const double> dslack, std::span<const double> dx, std::span<const double> slack,
           std::span<const double> x, int trace_unit = 0);

// Writes the trace record of row j of a step limit: the room res to the
// limit (-1 when none), the rate comp and the limit alfa so far.  ctx is the
// caller's own.
using StepRowTrace = void (*)(void* ctx, int j, double res, double comp, double alfa);

// The search of npalf, the core it shares with the alternative edition's
// step limit, which keeps its own tolerance and traces: the arguments are
// npalf's, tol the relative size under which a component counts as zero
// (npalf's eps^0.9), and row_trace, when not null, is called after each row
// with ctx.  Writes nothing itself and keeps no state.
void npalf_search(int& info, int n, int nclin, int nnlcon, double& alfa, double alfalow, double alfmax,
                  double bigbnd, double stepnorm, double tol, std::span<const double> anorm,
                  std::span<const double> adx, std::span<const double> ax, std::span<const double> bl,
                  std::span<const double> bu, std::span<const double> dslack, std::span<const double> dx,
                  std::span<const double> slack, std::span<const double> x, StepRowTrace row_trace, void* ctx);

// The range-space part of the QP step: the minimum-norm dx that puts the
// fixed variables and the active general constraints on their bounds bl, bu
// (bounds on the step).  With the working-set factors (T in columns
// nZ+1..nfree, leading dimension ldT; Q = (Z Y), leading dimension ldQ,
// unitQ when only permuted; kx the variable order) the step is formed in the
// transformed space, where gdir = gq'dx (gq the projected gradient) and
// rstep = -R dx (over the first nlnx rows of the upper-triangular R), then
// mapped back to the natural variables.  rstep0 := 0.  Out: dx, its norm
// stepnorm, gdir, rstep, rstep0 and adx = aqp dx (ncqp rows, leading
// dimension ldaqp).  work holds n words.
void npsetx(bool unitQ, int ncqp, int nactiv, int nfree, int nZ, int n, int nlnx, int nctotl, int ldQ,
            int ldaqp, int ldR, int ldT, std::span<const int> istate, std::span<const int> wslist,
            std::span<const int> kx, double& stepnorm, double& gdir, std::span<const double> aqp,
            std::span<double> adx, std::span<const double> bl, std::span<const double> bu,
            std::span<double> rstep, std::span<double> rstep0, std::span<double> dx, std::span<const double> gq,
            std::span<const double> r, std::span<const double> t, std::span<const double> q,
            std::span<double> work, int trace_unit = 0);

}  // namespace qv::optim
