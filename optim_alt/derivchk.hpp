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

}  // namespace qv::optim_alt
