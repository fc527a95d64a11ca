// Globally adaptive subregion integration of multivariate normal
// probabilities (1 to 20 variables) with a degree-7 fully symmetric rule.
#pragma once

#include <array>
#include <span>

#include "runtime/view1.hpp"

namespace qv::algebra {

// An integrand over the unit cube of dimension M.
using MvnIntegrand = double (*)(int M, std::span<const double> W);

// Length of the engine's work array.
constexpr int kAdpWorkLen = 8000;
// Most variables MVNADP accepts.
constexpr int kAdpMaxVar = 20;

// The engine's static area: the work array (subregions, heap, rule, current
// region and scratch; its last word carries the subregion count between
// calls), the split-axis counter, and what MVNADP keeps between its engine
// calls.
struct Adpsta {
  std::array<double, kAdpWorkLen> WORK{};
  int AXIS = 0;      // split axis chosen last
  int NRULE = 0;     // points of the basic rule of the current problem
  int BUDGET = 0;    // evaluation budget of the current engine call
  int TOTAL = 0;     // evaluations used so far
  double PREV = 0.0; // value before the current refinement pass
  void reset();
};
inline Adpsta ADPSTA;

// Probability of the box for N = 1..20 variables (problem description as
// MVNSETUP).  INFORM 0: ERROR <= max(ABSTOL, RELTOL*|VALUE|); 1: NPTS ran
// out first (also when NPTS is below the rule's point count: VALUE 0,
// ERROR 1); 2: N outside 1..20 (VALUE 0, ERROR 1); 4: correlation matrix not
// positive semi-definite (VALUE 0, ERROR 1).
void MVNADP(int N, std::span<const double> LOWER, std::span<const double> UPPER,
            std::span<const int> KIND, std::span<const double> RHO, int NPTS, double ABSTOL,
            double RELTOL, double& ERROR, double& VALUE, int& INFORM);

// MVNADP's steps after the set-up (steps 4 to 6): the engine's first call
// and its refinement passes over the integrand F of dimension NDIM, within
// NPTS evaluations.
void adp_integrate(int NDIM, MvnIntegrand F, int NPTS, double ABSTOL, double RELTOL, double& ERROR,
                   double& VALUE, int& INFORM);

// The engine over the unit cube of dimension NDIM.  MINEVAL in: the minimum
// number of evaluations, or negative to continue the previous integration;
// out: evaluations used (NRULE when it fails with 2).  INFORM 0 tolerance
// met, 1 budget reached, 2 bad budget or work length, or a continuation with
// no subregions kept.
void ADPDRV(int NDIM, int& MINEVAL, int MAXEVAL, MvnIntegrand F, double ABSTOL, double RELTOL,
            int WORKLEN, std::span<double> WORK, double& ERROR, double& VALUE, int& INFORM);

// Restores the max-heap HEAP(1..COUNT) of subregion numbers (held as doubles)
// ordered by ERRORS after REGION got a new error: sifted down when it is the
// top, otherwise inserted at COUNT and sifted up.
void HEAPUP(int REGION, int COUNT, runtime::Vec1<double> HEAP, runtime::Vec1<const double> ERRORS);

// Number of points of the basic rule in dimension NDIM.
int adp_rule_points(int NDIM);

}  // namespace qv::algebra
