// The bounded-error multivariate normal routine for up to 7 variables with
// its factorisation and deviate, and the single-precision bivariate upper
// probabilities.  No path of the program calls these routines.
#pragma once

#include <array>
#include <span>

#include "runtime/packidx.hpp"

namespace qv::algebra {

constexpr int kNorMaxVar = 7;
constexpr int kNorMaxPk = runtime::packed_size(kNorMaxVar);

struct Norsta {
  int IERR = 0;  // NORINT2's error flag: 999 after an impossible correlation
  std::array<double, kNorMaxPk> R{}, F1{}, F2{};  // NORINT1's matrix and factor outputs
  std::array<double, kNorMaxVar> LO{}, UP{};      // its clipped limits
  std::array<int, kNorMaxVar> KD{};               // their flags for the integrator
  void reset() { *this = Norsta{}; }
};
inline Norsta NORSTA;

// P(LOWER < X < UPPER) for N = 1..7 unit-variance normals with correlations
// RHO (strict lower triangle by rows) to within TOL; KIND(i) 0 means
// [LOWER(i), +inf), 1 (-inf, UPPER(i)], 2 [LOWER(i), UPPER(i)].  FAULT: 0;
// 1 the truncation deviate failed; 2 TOL <= 1e-8; 3 N outside 1..7;
// 4 correlation matrix not positive definite; 100 + i reversed limits of
// variable i (the last such).  BOUND: TOL, or the larger error bound reached.
void NORINT1(std::span<const double> UPPER, std::span<const double> LOWER,
             std::span<const double> RHO, double TOL, int N, std::span<const int> KIND,
             double& VALUE, double& BOUND, int& FAULT);

// Factorises the packed symmetric matrix A of order N from its last row
// upward (A = U U', U upper triangular).  FAULT 4 when a pivot is at most
// 5e-8 (then the outputs are incomplete), else 0 with DET the product of
// the pivots.  OUT1(k) = 1 / the k-th pivot counted from the last; OUT2 the
// packed U' by rows.
void PKFACT(std::span<const double> A, std::span<double> OUT1, std::span<double> OUT2, int N,
            double& DET, int& FAULT);

// The normal deviate of probability p (lower tail); 0 with FAULT 1 when
// min(p, 1-p) < 1e-20.
double NORDEV(double p, int& FAULT);

// P(X > h, Y > k) for correlation r in single precision to `digits` digits;
// |r| > 1 sets NORSTA.IERR to 999 and returns 0.
float NORINT2(double h, double k, double r, int digits);
// The same, but |r| > 1 stops the program.
float NORINT3(double h, double k, double r, int digits);

}  // namespace qv::algebra
