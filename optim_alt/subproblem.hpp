// The QP subproblem of a major iteration of the edition.
//
// At the current point x, E04UCU builds and solves
//   minimise g'p + 1/2 p'Hp  subject to  qplo <= (p, A p, J p) <= qphi,
// where H = R'R is the quasi-Newton approximation held in the basis of the
// working-set factors, A the linear and J the nonlinear constraints'
// Jacobian (the rows of qpmat), by the edition's QP iterations (E04NCZ)
// under the title "QP subproblem".  It does what the optimizer's QP
// subproblem (optim/npiqp.hpp) does, with the edition's cells: its settings
// from E4WORK, the factorization cells of E4QPST, the merit state E4MERT.
#pragma once

#include <span>

#include "optim/lscore.hpp"

namespace qv::optim_alt {

// Solves the QP subproblem of major iteration majits.  The arguments are
// those of the optimizer's npiqp: qpfeasible false marks an infeasible
// subproblem; nqperr is E04NCZ's exit (0..5) and qpiters its iterations;
// linact and nlnact count the final working set's linear and nonlinear
// rows.  On exit dx is the search direction with stepnorm = |dx|, gdir =
// g'dx, qpcurv = dx'Hdx; mult the QP multipliers; cs = c - slackv, dmult and
// dslack the multiplier and slack directions; nlviol the violations of the
// nonlinear rows at x; infwt the weights.  rstep, rstep0, hstep, gq (read:
// Q' times the objective gradient), wsmult, T, Q and the work vectors lie
// in w at the positions of loc (optim::npiqp_loc of the partition).  With
// debug on, the traces go to the advisory unit.
void E04UCU(bool& qpfeasible, bool& unitq, int& nqperr, int majits, int& qpiters, int n, int nclin, int nnlcon,
            int ldjac, int ldqpm, int ldr, int& linact, int& nlnact, int& nactiv, int& nfree, int& nz, int& ninf,
            std::span<int> istate, std::span<int> wslist, std::span<int> kx, double& stepnorm, double& gdir,
            double& qpcurv, std::span<double> qpmat, std::span<double> adir, std::span<double> rownorm,
            std::span<const double> ax, std::span<const double> bl, std::span<const double> bu,
            std::span<const double> c, std::span<const double> cjac, std::span<double> mult,
            std::span<double> nlmult, std::span<double> cs, std::span<double> dmult, std::span<double> dslack,
            std::span<double> dx, std::span<double> qplo, std::span<double> qphi, std::span<const double> qpftol,
            std::span<double> r, std::span<double> rho, std::span<double> slackv, std::span<double> nlviol,
            std::span<const double> x, std::span<double> infwt, std::span<int> iw, std::span<double> w,
            const optim::Lsloc& loc, bool debug);

}  // namespace qv::optim_alt
