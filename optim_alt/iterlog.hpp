// The edition's iteration log of the major iterations, on the advisory unit.
//
// From major print level 5 on, each major iteration writes one line under a
// column header (written at iteration 0, and before every line when the
// minor print level is positive).  From level 20 on an iteration heading
// comes before the line, and after it the objective value, the values and
// predicted states of the variables and constraints, and (from level 30)
// the diagonals of the factors T and R.
#pragma once

#include <span>
#include <string>

#include "runtime/view1.hpp"

namespace qv::optim_alt {

// The values of one log line, in the order of its columns.
struct E4logline {
  int majits = 0;         // Itn
  int minits = 0;         // ItQP: QP iterations of this major iteration
  double step = 0.0;      // Step
  int nfun = 0;           // Nfun: function evaluations so far
  double merit = 0.0;     // Objective, or Merit with nonlinear constraints
  int nactiv = 0;         // general constraints in the working set
  int nlnact = 0;         // Nln: nonlinear constraints in the working set
  int nfree = 0;          // free variables (Bnd shows n - nfree)
  int nz = 0;             // Nz
  double gfnorm = 0.0;    // Norm Gf
  double gznorm = 0.0;    // Norm Gz
  double condh = 0.0, condhz = 0.0, condt = 0.0;  // Cond H, Cond Hz, Cond T
  double cvnorm = 0.0;    // Norm C: norm of the nonlinear constraint violations
  double penalty = 0.0;   // Penalty
  bool convpt = false;    // the convergence flag
  bool ktcond[2] = {false, false};  // the two Kuhn-Tucker flags
  double objf = 0.0;      // the objective value of the level-20 block
};

// What the level-20 and level-30 blocks show: the states of the n variables,
// nclin linear and nnlcon nonlinear constraints with their values x, ax and
// c; T (its diagonal T(i, nfree - i + 1) for the nactiv rows) and R (its n
// diagonal elements).
struct E4logdetail {
  int n = 0, nclin = 0, nnlcon = 0;
  std::span<const int> istate;
  std::span<const double> x, ax, c;
  runtime::Mat1<const double> t;
  runtime::Mat1<const double> r;
};

// Writes the log of one major iteration at major print level msglvl and
// minor print level msgqp: the Lin column shows L.nactiv - L.nlnact.
// flags is the five-character summary field, of which the line shows the
// first three; afterwards positions 1, 2, 4 and 5 are blank (3 stays).
void E4PRIT(int msglvl, int msgqp, const E4logline& L, const E4logdetail& d, std::string& flags);

}  // namespace qv::optim_alt
