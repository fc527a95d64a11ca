// The edition's driver E04UCF: one run of the sequential quadratic
// programming method, its result returned through IFAIL.
#pragma once

#include <span>

#include "optim/nlsqp.hpp"

namespace qv::optim_alt {

// The working set the last run left in its workspaces, for a hot start of
// the next: the problem sizes, whether Q is a permutation, the active
// general constraints, the free variables and the null-space dimension.
// Valid while E4OSTAT.had_run is set.
struct E4hot {
  int n = 0, nclin = 0, nnlcon = 0;
  bool unitq = true;
  int nactiv = 0, nfree = 0, nz = 0;

  void reset() { *this = E4hot{}; }
};
inline E4hot E4HOT;

// Minimises OBJFUN under the bounds BLOW/BUPP on the variables, the linear
// rows of ALIN (LDA, N) and the nonlinear constraints of CNLFUN, as the
// optimizer's NLSQP does, with the edition's options (E04UEF) and output on
// the advisory unit.  The callbacks have NLSQP's argument lists.  IFAIL on
// entry: 0 a failure stops the program, 1 returns silently, -1 returns after
// the error exit's messages; on exit 0 (optimal), 1, 2, 3, 4, 6, 7, 9 (input
// errors) or the negative MODE a callback set.
void E04UCF(int n, int nclin, int nnlcon, int lda, int ldjac, int ldrfac, std::span<const double> alin,
            std::span<const double> blow, std::span<const double> bupp, const optim::Cnlfun& cnlfun,
            const optim::Objfun& objfun, int& majits, std::span<int> istate, std::span<double> cnlval,
            std::span<double> cnljac, std::span<double> xmult, double& fobj, std::span<double> gobj,
            std::span<double> rfac, std::span<double> x, std::span<int> iw, int niw, std::span<double> w, int nw,
            std::span<int> iusr, std::span<double> rusr, int& ifail);

}  // namespace qv::optim_alt
