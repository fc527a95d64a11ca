// The eigen functions (EVAL, EVEC, IVEC, IVAL) and the normal-distribution
// functions (MULN, MNOR, MOMNOR, PDFNOR, PCHI) of the formula machine.
//
// Each works on the operand temporary and writes its result over it, as the
// other one-operand functions do.  Scratch is taken above WSTOP (checked
// against the workspace limit) and in the formula machine's integer scratch;
// nothing is allocated and nothing is written except the diagnostics.
#pragma once

#include "runtime/view1.hpp"

namespace qv::algebra {

// Largest number of variables of MULN (the adaptive integrator's limit) and
// of MOMNOR (the moment integrand's store and the product rule's limit).
constexpr int kMulnMaxVar = 20;
constexpr int kMomnorMaxVar = 20;

// Cells of the normal-distribution functions kept over the run.
struct Nrmfun {
  int NINACC = 0;  // MULN integrals reported inaccurate (the whole run)
  void reset() { *this = Nrmfun{}; }
};
inline Nrmfun NRMFUN;

// Each function works over the operand temporary at workspace position t
// (X(t) type, X(t+1) rows, X(t+2) columns, then the values row by row) and
// writes its result over it; MATUNOP dispatches to them by function code.
//
// \EVAL (43) and \IVAL (46): the real or imaginary parts of the eigenvalues of
// a square operand, n x 1, in ascending order of the real parts.
void real_eigenvalues(runtime::Vec1<double> X, int t);
void imaginary_eigenvalues(runtime::Vec1<double> X, int t);
// \EVEC (44) and \IVEC (45): the real or imaginary parts of the eigenvectors,
// n x n, vector k in column k in the order of the eigenvalues.
void real_eigenvectors(runtime::Vec1<double> X, int t);
void imaginary_eigenvectors(runtime::Vec1<double> X, int t);
// \MULN (50): probability of a rectangle of the standard multivariate normal
// with the operand's correlations, 1 x 1.
void correlated_rectangle_probability(runtime::Vec1<double> X, int t);
// \MNOR (62): probability of a rectangle of N(means, covariance), 1 x 1.
void normal_rectangle_probability(runtime::Vec1<double> X, int t);
// \MOMNOR (64): the second moments about the untruncated means, then the
// means, of a multivariate normal truncated at thresholds, (n+1) x n.
void truncated_normal_moments(runtime::Vec1<double> X, int t);
// \PDFNOR (81): the multivariate normal density of one point, 1 x 1.
void normal_density(runtime::Vec1<double> X, int t);
// \PCHI (82): the upper tail of the chi-squared distribution for each row
// (value, degrees of freedom), r x 1.
void chi_squared_tail(runtime::Vec1<double> X, int t);

}  // namespace qv::algebra
