// Normal, chi-squared, non-central chi-squared, gamma and Poisson
// probabilities and deviates.  IFAIL follows the library convention
// (errexit.hpp); every routine returns a defined value on error.
#pragma once

namespace qv::numlib {

double ERFCOMP(double x, int& ifail);  // erfc(x)
double PNORMLO(double x, int& ifail);  // P(Z <= x)
double PNORMUP(double x, int& ifail);  // P(Z > x)
// Chi-squared tail probability: tail 'L'/'l' lower, 'U'/'u' upper.
double G01ECF(char tail, double x, double df, int& ifail);
// Chi-squared deviate x with P(chi2(df) <= x) = p.
double G01FCF(double p, double df, int& ifail);
// Standard normal deviate.
double G01CEF(double p, int& ifail);
// Deviate of the gamma distribution with shape a and scale b.
double G01FFF(double p, double a, double b, double tol, int& ifail);
// P(chi2(df, rlamda) <= x), the non-central chi-squared distribution.
double G01GCF(double x, double df, double rlamda, double tol, int maxit, int& ifail);
// Poisson probabilities: pl = P(N <= k), pu = P(N > k), pe = P(N = k).
void G01BKF(double rlamda, int k, double& pl, double& pu, double& pe, int& ifail);
// Upper tail P(chi2(df) > x) for integer df.
double G01BCF(double x, int df, int& ifail);

}  // namespace qv::numlib
