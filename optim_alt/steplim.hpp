// The edition's step limits: the largest step along the search direction
// before a bound, a linear constraint or a nonlinear slack reaches a limit.
#pragma once

#include <span>

namespace qv::optim_alt {

// The largest step alfa in [alfalow, alfmax] along the search direction of
// the major iteration.  Bounds move by dx from x, linear rows by adx from ax
// (their row norms in anorm), nonlinear rows by dslack from slack.
// Components within eps^0.9 * (rownorm) * stepnorm of zero are ignored, as
// are rows already at or beyond their limit.  info 1 when nothing limits the
// step below alfmax, else 0.  With debug on, traces go to the advisory unit.
void E04UDT(int& info, int n, int nclin, int nnlcon, double& alfa, double alfalow, double alfmax, double bigbnd,
            double stepnorm, std::span<const double> anorm, std::span<const double> adx, std::span<const double> ax,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> dslack,
            std::span<const double> dx, std::span<const double> slack, std::span<const double> x, bool debug);

// The first pass of E04UCG: the steps to the bounds widened by featol.  jadd1
// and palfa1 the row and step that leave the feasible region; jadd2 and
// palfa2 (firstv or not) the row and step at which a violated row becomes
// satisfied.  negstp reverses the direction.
void E4STB1(bool firstv, bool negstp, double alfabig, double bigbnd, double dirnorm, int& jadd1, int& jadd2,
            double& palfa1, double& palfa2, std::span<const int> istate, int n, int nctotl,
            std::span<const double> rownorm, std::span<const double> ap, std::span<const double> ax,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> featol,
            std::span<const double> p, std::span<const double> x, bool debug);

// The step along p to the nearest bound or general constraint of the QP
// subproblem: E4STB1 finds the steps to the widened bounds, the second pass
// takes, among the rows reached within the widened step, the one with the
// largest scaled pivot.  firstv: a violated row may be the one hit first.
// inform 3 when the step is unbounded (alfa >= alfabig); jadd 0 when no row is
// hit; hitslow when the row hit is at its lower bound.
void E04UCG(bool firstv, bool& hitslow, std::span<const int> istate, int& inform, int& jadd, int n, int nctotl,
            int ninf, double& alfa, double& palfa, double& arowphit, double alfabig, double bigbnd, double dirnorm,
            std::span<const double> rownorm, std::span<const double> ap, std::span<const double> ax,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> featol,
            std::span<const double> p, std::span<const double> x, bool debug);

}  // namespace qv::optim_alt
