// Finite-difference gradient and Hessian of a function of several variables.
//
// E04XAF chooses for every variable a forward-difference interval adapted to
// the noise level of the function (the interval search E04XAZ, one step per
// pair of function values) and then estimates the Hessian from differences of
// function values (MODE 2) or of gradients (MODE 1); MODE 0 stops after the
// gradient and the diagonal second derivatives.
#pragma once

#include <functional>
#include <span>

namespace qv::numlib {

// The objective: OBJFUN(MODE, N, X, F, G, NSTATE, IUSR, RUSR) sets F (and the
// gradient G when MODE is 1); it may set MODE negative to stop the routine.
// NSTATE is 1 on the very first call and 0 afterwards.
using E04xafFun = std::function<void(int& mode, int n, std::span<double> x, double& f,
                                     std::span<double> g, int nstate, std::span<int> iusr,
                                     std::span<double> rusr)>;

// Finite-difference Hessian.  X is displaced and restored variable by
// variable.  HF(j) > 0 on entry is the first trial interval of variable j; on
// exit HF holds the forward intervals, HC the central ones.  H(LHES, N) gets
// the Hessian (MODE 1 and 2) or, in column 1, the diagonal second derivatives
// (MODE 0).  WORK needs N entries (N + N*N in MODE 1).  INFO(j) is the verdict
// of variable j's interval search.  IFAIL: 0 success; 1 bad N, MODE or LHES;
// 2 some INFO(j) > 0 (all outputs complete); negative: the MODE set by OBJFUN.
void E04XAF(int msglvl, int n, double epsrf, std::span<double> x, int mode, const E04xafFun& objfun,
            int lhes, std::span<double> hf, double& fobj, std::span<double> gobj,
            std::span<double> hc, std::span<double> h, int& iwarn, std::span<double> work,
            std::span<int> iusr, std::span<double> rusr, std::span<int> info, int& ifail);

// One step of the interval search for one variable (the optimizer's chcore
// under the library's name, with the library's trace on its advisory unit).
// X is not used.
void E04XAZ(bool debug, bool& done, bool& first, double epsa, double epsr, double fx, double x,
            int& inform, int& iter, int itmax, double& cdest, double& fdest, double& sdest,
            double& errbnd, double f1, double f2, double& h, double& hopt, double& hphi);

}  // namespace qv::numlib
