// The edition's checks of the derivatives the callbacks supply.
//
// Supplied elements are compared with difference estimates; a table of
// verdicts goes to the library's advisory unit when the print level is
// positive.  The element marker of the optimizer (an element the callback
// did not set holds optim::kDerivUnset) is used unchanged.
#pragma once

#include <span>

#include "optim/nlsqp.hpp"

namespace qv::optim_alt {

// Difference intervals hforwd and hcntrl (relative to 1 + |x(j)|) for each
// variable whose column has a missing element, and first central estimates
// of the missing elements into cjac and grad; elements that look constant
// are confirmed at a second point.  lvlder is raised when no element of a
// kind is left missing; E4WORK.nmissj and nmissg are corrected.  fdnorm
// returns the largest forward interval.  c1 and cwrk are work vectors of
// nnlcon, dx of n.  inform: 0 or the negative MODE of a callback.
void E4FDIV(int& inform, int msglvl, int& lvlder, int n, int nnlcon, int ldcj, int ldcju, double bigbnd,
            double epsrf, double& fdnorm, double fobj, const optim::Objfun& objfun, const optim::Cnlfun& cnlfun,
            std::span<int> kneed, std::span<const double> bl, std::span<const double> bu,
            std::span<const double> c, std::span<double> c1, std::span<double> cwrk, std::span<double> cjac,
            std::span<double> cjacu, std::span<double> grad, std::span<double> gradu, std::span<double> hforwd,
            std::span<double> hcntrl, std::span<double> x, std::span<double> dx, std::span<int> iusr,
            std::span<double> rusr);

// Check of the supplied objective gradient at x (verify levels 0, 1 and 3 of
// E4WORK): a directional check along a fixed direction, then with levels 1
// and 3 an element check of variables jobj1..jobj2.  inform: 0, 1 (an error
// of 0.9 or more) or the negative MODE of the callback.  grad holds the
// supplied gradient (markers included), gradu is the callback's array; dx
// and y are work vectors of n.
void E4CHKG(int& inform, int msglvl, int n, double bigbnd, double epsrf, double oktol, double dxchk,
            double fobj, double xnorm, const optim::Objfun& objfun, std::span<const double> bl,
            std::span<const double> bu, std::span<double> grad, std::span<double> gradu,
            std::span<double> dx, std::span<double> x, std::span<double> y, std::span<int> iusr,
            std::span<double> rusr);

// Check of the supplied constraint Jacobian at x (verify levels 0 with
// constraints, 2 and 3): a directional check, then with levels 2 and 3 an
// element check of the columns jcon1..jcon2.  ncset is the number of
// elements set; lvlder 3 means every element is claimed, so those the
// callback leaves unset are constant and not checked.  c holds the
// constraint values at x; c1, cjdx and err are work vectors of nnlcon, dx
// and y of n.  cjac is the supplied Jacobian (markers included), cjacu the
// callback's array, which is copied back from cjac at the end.
void E4CHKJ(int& inform, int lvlder, int msglvl, int ncset, int n, int nnlcon, int ldcj, int ldcju,
            double bigbnd, double epsrf, double oktol, double dxchk, double xnorm, const optim::Cnlfun& cnlfun,
            std::span<int> kneed, std::span<const double> bl, std::span<const double> bu,
            std::span<const double> c, std::span<double> c1, std::span<double> cjac, std::span<double> cjacu,
            std::span<double> cjdx, std::span<double> dx, std::span<double> err, std::span<double> x,
            std::span<double> y, std::span<int> iusr, std::span<double> rusr);

}  // namespace qv::optim_alt
