// Box probabilities of the multivariate normal with the last pair of the
// sorted variables integrated exactly: after MVNSETUP's sort and scaled
// Cholesky factor, the probability that the last two variables fall in
// their limits, given the deviates of the ones before, is a bivariate normal
// rectangle (BVNRECT), so the integral over the unit cube loses a dimension
// and its integrand is smoother.  The ordinal record fit uses it: it reaches
// a given accuracy with far fewer points than MVNADP's full integrand.
#pragma once

#include <span>

#include "algebra/mvnsetup.hpp"

namespace qv::algebra {

// The pair's constants for the integrand (set by mvn_conditional_box before
// it integrates): the correlation of the pair's rectangle and the scale of
// the second variable's limits.
struct Mvncnd {
  double R = 0.0;
  double SCALE = 1.0;
  BvnRule RULE{};  // the rectangle's quadrature, prepared for R
  void reset() { *this = Mvncnd(); }
};
inline Mvncnd MVNCND;

// The probability of the box for N = 1..20 variables, with the arguments and
// results of MVNADP.  With three or more kept variables whose last two have
// positive conditional variances, the adaptive engine integrates
// mvn_conditional_integrand over M - 2 dimensions (M kept variables);
// otherwise it is MVNADP's integration.
void mvn_conditional_box(int N, std::span<const double> LOWER, std::span<const double> UPPER,
                         std::span<const int> KIND, std::span<const double> RHO, int NPTS, double ABSTOL,
                         double RELTOL, double& ERROR, double& VALUE, int& INFORM);

// The integrand at W(1..M), M = the kept variables less 2: MVNINTG's
// product over the first M variables times the bivariate probability of the
// last two given the deviates.
double mvn_conditional_integrand(int M, std::span<const double> W);

}  // namespace qv::algebra
