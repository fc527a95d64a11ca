// The callbacks on the boundary between the fit and the optimizer or the
// finite-difference Hessian: FITCON (the nonlinear constraints), HESFUN (the
// objective handed to E04XAF) and CPYPAR (a parameter vector into their
// matrix elements).
//
// The objective itself is passed in (Fitobj, the optimizer's objective
// contract); a fit binds FITCON and HESFUN to its objective when it hands
// them on.
#pragma once

#include <functional>
#include <span>

#include "runtime/view1.hpp"

namespace qv::fit {

using runtime::Vec1;

// The objective: F(MODE, N, X, FOBJ, GOBJ, KFIRST, IUSR, RUSR), IUSR the
// integer workspace and RUSR the workspace (its word 1 is NG).
using Fitobj = std::function<void(int& mode, int n, std::span<const double> x, double& fobj,
                                  std::span<double> gobj, int kfirst, std::span<int> iusr,
                                  std::span<double> rusr)>;

// Cells of the constraint callback.
struct Fitcb {
  // Set when the next FITCON call is the first of a fit: every fit's set-up
  // arms it, so each fit (continuation jobs included) gets a fresh slot.
  bool FCFIRST = true;
  // WORKSP position of the N-word gradient slot handed to the objective.
  int GRDSLT = 0;
  void reset() { *this = Fitcb(); }
};
inline Fitcb FITCB;

// The nonlinear constraints in the optimizer's calling convention: C gets the
// formula results of the constraint groups in group order (their stored
// elements in order), evaluated by the objective in constraint mode.  MODE,
// NEEDC and CJAC are left as they are.  The first call of a fit reserves the
// gradient slot at WSTOP (checked).
void FITCON(const Fitobj& fitfun, int& mode, int ncnln, int n, int ldcj, std::span<const int> needc,
            std::span<const double> x, std::span<double> c, std::span<double> cjac, int nstate,
            std::span<int> iusr, std::span<double> rusr);

// The objective of E04XAF: the arguments passed unchanged to fitfun.
void HESFUN(const Fitobj& fitfun, int& mode, int n, std::span<double> x, double& objf,
            std::span<double> objgrd, int nstate, std::span<int> iuser, std::span<double> user);

// Copies the parameter vector x (the point being evaluated, wherever it
// lies) into the matrix elements of the parameter map (IX(1) its position:
// a count, then pairs of PARLST index j and WORKSP word w; X(w) := x(j)).
void CPYPAR(Vec1<double> X, Vec1<int> IX, std::span<const double> x);

}  // namespace qv::fit
