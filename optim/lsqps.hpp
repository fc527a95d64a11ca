// The stand-alone least-squares and quadratic programming solver.
//
// LSQPS solves linear programs, quadratic programs and linearly constrained
// least-squares problems over bounds and general linear constraints with the
// active-set iterations of optim/lscore.hpp.  It is configured through the
// QP solver's option lines (LSOPLN, optim/options.hpp).  No routine of the
// system calls it; it is part of the delivered optimizer unit.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "optim/lscore.hpp"

namespace qv::optim {

namespace slot {
// QP solver integer slot of the iteration from which the traces run (set by
// an IPRMLS line; no keyword names it).
constexpr int kLsDebugIteration = 10;
}  // namespace slot

// Problem types, option "Problem type": 1 FP, 2 LP, 3..6 QP1..QP4, 7..10
// LS1..LS4.  An even index has a linear term.
constexpr std::string_view kLsTypeWords = " FP LPQP1QP2QP3QP4LS1LS2LS3LS4";

// State of LSQPS between its defaults routine and its exit: the QP solver's
// option slots as they were before the defaults were filled in (restored on
// exit, so that defaults derived for one call do not persist), and the
// locations of the workspace arrays laid out by QPWSPC.
struct Lsqpst {
  std::array<int, 30> iprmls{};
  std::array<double, 30> rprmls{};
  Lsloc loc;

  void reset() { *this = Lsqpst{}; }
};
inline Lsqpst LSQPST;

// Solves one problem.  R (ldR x n) holds the upper triangle of the Hessian
// (QP types) or the mm x n data matrix (LS types) and returns its factor; b
// (mm) the right-hand side, returning the residuals of the LS types; cvec
// the linear term.  A is nclin x n (leading dimension ldA).  inform: 0 to 5
// as the iterations' exit code, 6 input errors.  obj is the final objective
// value, or the sum of infeasibilities when no feasible point was found.
// mult receives the multipliers by row (bounds first).
void LSQPS(int mm, int n, int nclin, int ldA, int ldR, std::span<const double> a, std::span<const double> bl,
           std::span<const double> bu, std::span<const double> cvec, std::span<int> istate, std::span<int> kx,
           std::span<double> x, std::span<double> r, std::span<double> b, int& inform, int& iter, double& obj,
           std::span<double> mult, std::span<int> iw, int leniw, std::span<double> w, int lenw);

// Cholesky factorization with symmetric interchanges of the symmetric matrix
// whose upper triangle H holds (leading dimension ldH); the interchanges are
// applied to kx as well.  It stops at the first pivot at or below
// ranktol |H(1,1)|; nrank counts the pivots taken.  inform 1 when the part
// left over has an off-diagonal element beyond that bound (the matrix
// appears indefinite; the message goes to the print file).
void PIVCHOL(int ldH, int n, int& nrank, double ranktol, std::span<int> kx, std::span<double> h, int& inform);

// Fills in the unset options of the QP solver (after saving them in LSQPST)
// and prints the title and the Parameters table.
void QPDEFS(int mm, int n, int nclin, std::string_view title);

// Lays out the workspaces for a problem of type itype (1..10) into
// LSQPST.loc.  litotl and lwtotl come in as the words already used and go
// out as the last word used.
void QPWSPC(int itype, int n, int nclin, int& litotl, int& lwtotl);

}  // namespace qv::optim
