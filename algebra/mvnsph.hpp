// Spherical-radial integration of multivariate normal probabilities: random
// orthogonal directions, the radial chi probability along each, averaged in
// passes.  No path of the program calls these routines.
#pragma once

#include <array>
#include <span>

#include "runtime/packidx.hpp"

namespace qv::algebra {

constexpr int kSphMaxVar = 100;

// State of the prepared problem, the sample's scratch, and the pass weight.
struct Sphsta {
  int M = 0;                                    // variables kept
  int NDIR = 0;                                 // directions per sample
  std::array<double, kSphMaxVar> A{}, B{};      // limits of the kept variables
  std::array<int, kSphMaxVar> KINDS{};          // their flags
  std::array<double, runtime::packed_size(kSphMaxVar)> L{};  // packed Cholesky factor
  std::array<double, kSphMaxVar * kSphMaxVar> Q{};   // random orthogonal matrix (by columns)
  std::array<double, kSphMaxVar * kSphMaxVar> LQ{};  // L Q (by columns)
  std::array<double, kSphMaxVar> V{};           // the current direction, transformed
  double WEIGHT = 0.0;                          // variance weight of SPHRND
  void reset();
};
inline Sphsta SPHSTA;

// Strip table of NRMDEV, built on the first call.
struct Nrmtab {
  std::array<double, 65> X{};  // strip edges, X(0) the base strip's virtual width
  std::array<double, 65> F{};  // exp(-x^2/2) at the edges
  double R = 0.0;              // start of the tail
  bool filled = false;
};
inline Nrmtab NRMTAB;

// As MVNLAT, but only N > 100 (and N < 0) is refused with code 2; N = 0
// gives VALUE 1.  INFORM 4 for a correlation matrix that is not positive
// semi-definite.
void MVNSPH(int N, std::span<const double> LOWER, std::span<const double> UPPER,
            std::span<const int> KIND, std::span<const double> RHO, int NPTS, double ABSTOL,
            double RELTOL, double& ERROR, double& VALUE, int& INFORM);

// Set-up: returns 0 (or 4), the number of dropped variables, D, E (Phi of the
// limits of a single remaining variable; two remaining are reduced to their
// exact value E - D) and the number of directions per sample.
int SPHSET(int N, std::span<const double> LOWER, std::span<const double> UPPER,
           std::span<const int> KIND, std::span<const double> RHO, int& NDROP, double& D,
           double& E, int& NDIR);
// One randomized sample: half the mean of SPHRAD over all directions
// (+-q_i +- q_j +- q_k)/sqrt(3) of a random orthogonal matrix Q.
double SPHPT();
// Radial probability of the line through the origin along direction DIR of
// the transformed box given by the limits and flags, for NDIM variables.
double SPHRAD(int NDIM, std::span<const double> LOWER, std::span<const double> UPPER,
              std::span<const int> KIND, std::span<const double> DIR);
// P(chi_n <= r), r the radius (not its square).
double CHICDF(int n, double r);
// A standard normal deviate from URAND (64-strip rejection method).
double NRMDEV();
// NS samples of SPHPT merged into VALUE by variance weighting (RESTART <= 0
// starts afresh); ERROR three standard errors.
void SPHRND(int NDIM, int NS, double& ERROR, double& VALUE, int RESTART);

}  // namespace qv::algebra
