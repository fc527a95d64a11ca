// The edition's derivative set-up and its finite-difference gradient.
//
// The callbacks may set all, some or none of the gradient and Jacobian
// elements; an element still holding the marker optim::kDerivUnset after a
// callback is missing and is estimated by differences at every new point.
// The markers stay in the callbacks' arrays (cjacu, gradu); estimates go
// into the edition's own gradient and Jacobian (cjac, grad).  The run state
// is the edition's working cells E4WORK (verify level, check ranges, class
// of the difference intervals, missing counts); messages go to the
// library's advisory unit.
#pragma once

#include <span>

#include "optim/nlsqp.hpp"

namespace qv::optim_alt {

// Derivative set-up at x: the constraint and objective callbacks once with
// MODE 2 (kfirst is their first-call flag), the counts of the elements left
// missing (into E4WORK.nmissj and nmissg), the derivative level raised when
// the callbacks set every element of a kind, the checks of the supplied
// elements (E4CHKJ, E4CHKG) when E4WORK.verify >= 0, and the difference
// intervals and first estimates of the missing elements (E4FDIV, then
// E4FDGR for given intervals).  inform: 0, positive (the number of checks
// with large errors) or the negative MODE of a callback.  nfun and ngrad
// grow by 1.  cdint and fdint are the given central and forward intervals,
// dxchk the check interval, fprec the function precision; fdnorm returns the
// largest forward step used.  Work: wrk1, wrk2, wrk4 (nnlcon), dx and wrk3
// (n), w (lenw).
void E4DERV(int& inform, int msglvl, int kfirst, int& lvlder, int& nfun, int& ngrad, int ldcj, int ldcju, int n,
            int nnlcon, const optim::Cnlfun& cnlfun, const optim::Objfun& objfun, std::span<int> kneed,
            double bigbnd, double fprec, double cdint, double fdint, double dxchk, double& fdnorm, double& fobj,
            double xnorm, std::span<const double> bl, std::span<const double> bu, std::span<double> c,
            std::span<double> wrk1, std::span<double> cjac, std::span<double> cjacu, std::span<double> wrk2,
            std::span<double> dx, std::span<double> grad, std::span<double> gradu, std::span<double> hforwd,
            std::span<double> hcntrl, std::span<double> x, std::span<double> wrk3, std::span<double> wrk4,
            std::span<double> w, int lenw, std::span<int> iusr, std::span<double> rusr);

// Difference estimates at x of every missing element into cjac and grad:
// the optimizer's NPFDGR, run on the edition's state (the class of the
// difference intervals and the missing Jacobian count of E4WORK).  c and
// fobj must be the values at x; central: one-sided central estimates from
// x + delta and x + 2 delta.  inform: 0 or the negative MODE of a callback.
void E4FDGR(bool central, int& inform, int ldcj, int ldcju, int n, int nnlcon, double bigbnd, double cdint,
            double fdint, double& fdnorm, double fobj, const optim::Cnlfun& cnlfun, const optim::Objfun& objfun,
            std::span<int> kneed, std::span<const double> bl, std::span<const double> bu, std::span<const double> c,
            std::span<double> c1, std::span<double> c2, std::span<double> cjac, std::span<double> cjacu,
            std::span<double> grad, std::span<double> gradu, std::span<const double> hforwd,
            std::span<const double> hcntrl, std::span<double> x, std::span<double> w, int lenw, std::span<int> iusr,
            std::span<double> rusr);

}  // namespace qv::optim_alt
