// The edition's nonlinear working set, constraint violations and the
// range-space step of the major iterations.
//
// Each routine does what the optimizer's routine beside it does (the
// arithmetic is that routine's own core, optim/npwset.hpp); the edition's
// traces go to the advisory unit when debug is on.  Rows j = 1..n are the
// variables, n+1..n+nclin the linear and then the nonlinear constraints;
// the arrays and states are those of the optimizer's routines.
#pragma once

#include <span>

namespace qv::optim_alt {

// The nonlinear constraints of the first working set (npcrsh): on a cold
// start those with equal bounds and then, the nearest first, those whose
// relative residual is below tolact; on any start those already marked
// active, while room is left.  nactiv in: the active linear constraints in
// wslist; out: nactiv and nz = nfree - nactiv.
void E04UCS(bool cold, int n, int nclin, int nnlcon, int nctotl, int& nactiv, int nfree, int& nz,
            std::span<int> istate, std::span<int> wslist, double bigbnd, double tolact, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> c, bool debug);

// The violations of all nctotl rows at x (npfeas): each row's residual into
// work, their norm cviolnorm, the largest errmax in row jmax, and nviol
// rows violated beyond featol.
void E04UCW(int n, int nclin, int nnlcon, std::span<const int> istate, double bigbnd, double& cviolnorm,
            double& errmax, int& jmax, int& nviol, std::span<const double> ax, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> c, std::span<const double> featol,
            std::span<const double> x, std::span<double> work, bool debug);

// The range-space step dx onto the working set (npsetx), its norm, g'dx,
// rstep = -R dx, rstep0 = 0 and adx = aqp dx.
void E04UCM(bool unitq, int ncqp, int nactiv, int nfree, int nz, int n, int nlnx, int nctotl, int ldq, int ldaqp,
            int ldr, int ldt, std::span<const int> istate, std::span<const int> wslist, std::span<const int> kx,
            double& stepnorm, double& gdir, std::span<const double> aqp, std::span<double> adx,
            std::span<const double> bl, std::span<const double> bu, std::span<double> rstep,
            std::span<double> rstep0, std::span<double> dx, std::span<const double> gq, std::span<const double> r,
            std::span<const double> t, std::span<const double> q, std::span<double> work, bool debug);

}  // namespace qv::optim_alt
