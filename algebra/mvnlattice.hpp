// Randomized Korobov lattice integration of multivariate normal
// probabilities (1 to 100 variables) with antithetic points, and the
// run-long uniform generator URAND.
#pragma once

#include <array>
#include <span>

#include "algebra/mvnadp.hpp"

namespace qv::algebra {

constexpr int kLatRules = 20;     // lattice rules (primes)
constexpr int kLatMaxDim = 100;   // integration dimensions the table serves

// Number of points of each lattice rule.
extern const std::array<int, kLatRules> kLatPrime;
// Korobov multiplier of rule r (1..20) for integration dimension d (2..100).
int LATGEN(int r, int d);

// The lattice driver's state kept for a continuation, and its point arrays.
struct Latsta {
  int RN = 0;          // current rule
  int SAMPLES = 0;     // random shifts per pass
  double WEIGHT = 0.0; // variance weight of the running estimate
  std::array<double, kLatMaxDim> LV{};     // lattice vector
  std::array<double, kLatMaxDim> SHIFT{};  // random shift
  std::array<double, kLatMaxDim> X{};      // the point
  void reset();
};
inline Latsta LATSTA;

// State of URAND: the last three values of each component, oldest first.
// Seeded at load; the program never reseeds it, so every call in a run
// continues one stream (reset() restores the load-time seeds, for tests).
struct Urnsta {
  std::array<int, 3> X1{11111111, 22222223, 33333335};
  std::array<int, 3> X2{44444447, 55555559, 66666661};
  void reset() { *this = Urnsta{}; }
};
inline Urnsta URNSTA;

// Probability of the box for N = 1..100 variables (problem description as
// MVNSETUP).  INFORM 0 ERROR <= max(ABSTOL, RELTOL*|VALUE|); 1 NPTS reached
// first; 2 N outside 1..100 (VALUE 0, ERROR 1); 4 correlation matrix not
// positive semi-definite (VALUE 0, ERROR 1).
void MVNLAT(int N, std::span<const double> LOWER, std::span<const double> UPPER,
            std::span<const int> KIND, std::span<const double> RHO, int NPTS, double ABSTOL,
            double RELTOL, double& ERROR, double& VALUE, int& INFORM);

// Lattice driver over the unit cube of dimension NDIM (1..100; outside that
// INFORM 2, nothing read).  MINEVAL in: negative continues the previous
// integration (VALUE then carries its estimate); out: evaluations used.
void LATRUL(int NDIM, int& MINEVAL, int MAXEVAL, MvnIntegrand F, double ABSTOL, double RELTOL,
            double& ERROR, double& VALUE, int& INFORM);

// Mean of f over the 2*PRIME antithetic points of one randomly shifted
// lattice with the baker's transformation.
void LATSUM(int NDIM, double& SUM, int PRIME, std::span<const double> LV, MvnIntegrand F,
            std::span<double> SHIFT, std::span<double> X);

// Uniform deviate in (0, 1): L'Ecuyer's combined multiple recursive generator.
double URAND();

}  // namespace qv::algebra
