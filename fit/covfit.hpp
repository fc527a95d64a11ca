// Fit functions of covariance-structure data: least squares (code 1),
// maximum likelihood (2), asymptotically weighted least squares (3),
// diagonally weighted least squares (4) and generalised least squares (5).
//
// Each comes twice: a kernel over spans (observed matrix S and expected
// matrix E packed, the lower triangle by rows, element (i, j), j <= i, at
// packed_index(i, j) of runtime/packidx.hpp; weights; means; N; p) that
// computes the value, and the adapter COVFIT that reads one group's table
// entries, supplies scratch above WSTOP (without moving it), raises the
// errors and writes the messages.  Nothing here allocates.
#pragma once

#include <span>

#include "runtime/packidx.hpp"
#include "runtime/view1.hpp"

namespace qv::fit {

// Least squares: (N - 1) times the sum of squared differences of the first
// S.size() packed elements (each off-diagonal element counted once).
double ls_fit(std::span<const double> S, std::span<const double> E, double N);

// Maximum likelihood without means.
struct MlResult {
  double F = 0.0;        // the value (the penalty value in the penalty case)
  bool penalty = false;  // E not positive definite, det E / det S below 1e-30, det S <= 0, or a
                         // value that is not finite
  bool inverted = false; // E was inverted: its packed inverse is in scratch[0, p(p+1)/2)
};
// Scratch words the kernel needs for order p.
constexpr int ml_scratch(int p) { return runtime::packed_size(p) + p; }
// detS is the observed matrix's determinant; prev the group's previous value
// (read only by the penalty).  The penalty value is 100 p^2 + prev +
// (1e-30 - ratio) x 1e33 (a ratio that is not finite, and a previous value
// that is not finite, count as 0); otherwise
// F = (ln(det E / det S) + tr(E^-1 S) - p)(N - 1).  Where det E, det S or
// their ratio lies beyond the range of a double (an infinite or subnormal
// det S from the data check, a determinant of E that overflows), ln(det E /
// det S) is ln det E - ln det S, each from a Cholesky factor's diagonal
// (formed in the inverse's words, E then inverted again), so that the scale
// of the variables alone never gives the penalty.  A value that is not
// finite is the penalty case too.
MlResult ml_fit(std::span<const double> S, std::span<const double> E, int p, double detS, double N,
                double prev, std::span<double> scratch);
// The means term N ln(1 + q), q = d' E^-1 d, d = observed - expected means,
// from the packed inverse; 0 when q <= 0.  work: p words.
double ml_means_term(std::span<const double> Einv, std::span<const double> obs, std::span<const double> expct,
                     int p, double N, std::span<double> work);

// Asymptotically weighted least squares: r' W r over the residuals of the
// packed elements (the diagonal ones only when withdiag), W packed of order
// m = the residual count; r: m words of scratch.
double awls_fit(std::span<const double> S, std::span<const double> E, std::span<const double> W, int p,
                bool withdiag, std::span<double> r);
// The diagonal penalty (N - 1)/2 x sum (1 - E_ii)^2 of correlation data.
double awls_penalty(std::span<const double> E, int p, double N);

// Diagonally weighted least squares: sum of c (S_k - E_k)^2 / W_k over the
// packed elements, c = 2 off the diagonal and 1 on it.
double dwls_fit(std::span<const double> S, std::span<const double> E, std::span<const double> W, int p);

// Generalised least squares from the inverse of S (packed):
// (N - 1) x 0.5 x tr[(I - E S^-1)^2].  scratch: 3p^2 words.
constexpr int gls_scratch(int p) { return 3 * p * p; }
double gls_fit(std::span<const double> Sinv, std::span<const double> E, int p, double N,
               std::span<double> scratch);

// Fit function `code` (1 to 5) of group g of the workspace X (NG groups):
// the group's value F goes to its fit-value column and is added to FOBJ.
// A group without an observed matrix is error 220 for every code, raised
// before anything is read; diagonally weighted least squares without its
// weights is error 40.  Maximum likelihood: the penalty case sets
// OBJCEL.FMODE to -1 and counts the group in OBJCEL.NNONPD, with the warning
// lines at the first call of a run; det S = 0 is error 220, det S < 0 at the
// first call error 155.  Generalised least squares inverts S in place at its
// first call (error 54 when S is not positive definite).  A value of any
// code that is not finite is replaced by the maximum-likelihood penalty at a
// ratio of 0 (100 p^2 + previous value + 1e-30 x 1e33), with FMODE -1 and
// the group counted in NNONPD.
void COVFIT(int code, runtime::Vec1<double> X, int NG, int g, double& FOBJ);

}  // namespace qv::fit
