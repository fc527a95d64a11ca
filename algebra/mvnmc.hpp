// Crude Monte Carlo integration of multivariate normal probabilities with
// antithetic variates.  No path of the program calls these routines.
#pragma once

#include <array>
#include <span>

#include "algebra/mvnadp.hpp"

namespace qv::algebra {

// The running estimate's variance weight and the point arrays of MCRUDE.
struct Mcrsta {
  double WEIGHT = 0.0;
  std::array<double, 100> X{};   // the point
  std::array<double, 100> XA{};  // its antithetic partner 1 - X
  void reset() { *this = Mcrsta{}; }
};
inline Mcrsta MCRSTA;

// As MVNLAT: N in 1..100, INFORM 0, 1, 2 or 4 (correlation matrix not
// positive semi-definite); random numbers from URAND.
void MVNMC(int N, std::span<const double> LOWER, std::span<const double> UPPER,
           std::span<const int> KIND, std::span<const double> RHO, int NPTS, double ABSTOL,
           double RELTOL, double& ERROR, double& VALUE, int& INFORM);

// One pass of NS/2 antithetic pairs over the unit cube of dimension NDIM
// (0..100), merged into VALUE by variance weighting; RESTART <= 0 starts a
// new estimate.  ERROR is three standard errors.
void MCRUDE(int NDIM, int NS, MvnIntegrand F, double& ERROR, double& VALUE, int RESTART);

}  // namespace qv::algebra
