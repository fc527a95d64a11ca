// Multivariate normal problem set-up and integrand.
//
// A probability P(a_i < X_i < b_i, i = 1..n) of a standard multivariate
// normal with correlation matrix R becomes an integral over the unit cube of
// dimension m - 1 (m = the variables not unbounded on both sides) by
// sequential conditioning with variable reordering.  MVNSETUP prepares one
// problem in the static area MVNSTA; MVNINTG samples it.  Only one problem
// can be prepared at a time.
//
// Problem description: LOWER, UPPER and KIND per variable (KIND negative:
// unbounded, the variable is dropped; 0: (-inf, UPPER]; 1: [LOWER, +inf);
// 2: [LOWER, UPPER]); RHO the strict lower triangle of R by rows, the
// correlation of variables i and j (j < i) at runtime::strict_index(i, j).
// Limits that the flags mark as infinite are never read.
#pragma once

#include <array>
#include <span>

#include "runtime/packidx.hpp"

namespace qv::algebra {

// Capacity of the set-up: variables and packed-triangle words.
constexpr int kMvnMaxVar = 100;
constexpr int kMvnMaxFact = runtime::packed_size(kMvnMaxVar);

// Termination codes shared by the multivariate integrators.
constexpr int kMvnOk = 0;         // tolerance met
constexpr int kMvnBudget = 1;     // evaluation budget reached
constexpr int kMvnRange = 2;      // N outside the accepted range
constexpr int kMvnNotPosDef = 4;  // correlation matrix not positive semi-definite

// State of the prepared problem (the sorted variables).
struct Mvnsta {
  std::array<double, kMvnMaxVar> A{};     // lower limits / Cholesky diagonal (0 when infinite)
  std::array<double, kMvnMaxVar> B{};     // upper limits / Cholesky diagonal (0 when infinite)
  std::array<int, kMvnMaxVar> KINDS{};    // flags of the sorted variables, dropped ones last
  std::array<double, kMvnMaxFact> FACT{}; // packed rows: R, then its scaled Cholesky factor
  std::array<double, kMvnMaxVar> Y{};     // conditioning values, then the sample's deviates
  double D = 0.0;                         // Phi of the first variable's lower limit
  double E = 1.0;                         // Phi of the first variable's upper limit
  int NDROP = 0;                          // number of dropped variables
  // Scratch of the semi-definiteness check: a full order-m matrix.
  std::array<double, kMvnMaxVar * kMvnMaxVar> PDWORK{};
  void reset();
};
inline Mvnsta MVNSTA;

// Prepares the problem.  Returns 0, or kMvnNotPosDef when the correlation
// matrix of the kept variables is not positive semi-definite (or holds a
// value that is not a number), or kMvnRange when N is outside 0..100 or an
// array is shorter than N (nothing is read then).  NDROP, D and E as in
// MVNSTA; with two kept variables the exact probability is E - D.
int MVNSETUP(int N, std::span<const double> RHO, std::span<const double> LOWER,
             std::span<const double> UPPER, std::span<const int> KIND, int& NDROP, double& D,
             double& E);

// The integrand at the point W(1..M) of the unit cube, M = N - NDROP - 1.
double MVNINTG(int M, std::span<const double> W);
// The integrand's first steps conditional steps at W: the deviates Y(1..steps)
// of MVNSTA and the limits (d, e) of the variable after them; returns the
// product of the factors so far.  MVNINTG is all M steps.
double mvn_conditional_steps(int steps, std::span<const double> W, double& d, double& e);

// Standard normal distribution function Phi(z).
double PHITL(double z);
// Its inverse; -9 for p <= 0 and 9 for p >= 1.
double PHINV(double p);
// d := 0, e := 1; flag < 0 leaves them; flag != 0: d := Phi(a); flag != 1: e := Phi(b).
void PHILIM(double a, double b, int flag, double& d, double& e);
// Bivariate normal probability of the rectangle given by two limit pairs and flags.
double BVNRECT(std::span<const double> LOWER, std::span<const double> UPPER,
               std::span<const int> KIND, double r);
// P(X > h, Y > k) for the standard bivariate normal with correlation r.
double BVNUPP(double h, double k, double r);

// BVNUPP's quadrature prepared for one correlation r, for many rectangles
// with that correlation: below |r| = 0.925 the rule's sines and weights
// (quad true); otherwise BVNUPP itself is called.
struct BvnRule {
  double r = 0.0;
  bool quad = false;
  int n = 0;
  double asr = 0.0;
  double sn[20] = {};
  double den[20] = {};
  double w[20] = {};
};
void bvn_prepare(double r, BvnRule& P);
// BVNRECT(LOWER, UPPER, KIND, r) with the rule prepared for r: the same
// terms, each limit's normal tail computed once.
double bvn_rect_prepared(const BvnRule& P, std::span<const double> LOWER, std::span<const double> UPPER,
                         std::span<const int> KIND);

// The sort of the set-up: fills MVNSTA from the problem.
void MVNSORT(int N, std::span<const double> LOWER, std::span<const double> UPPER,
             std::span<const double> RHO, std::span<const int> KIND, Mvnsta& S);
// True when the correlation matrix of the variables with KIND >= 0 is
// positive semi-definite (within rounding) and holds numbers only; uses
// MVNSTA.PDWORK as scratch.
bool mvn_kept_psd(int N, std::span<const double> RHO, std::span<const int> KIND);
// Exchanges the sorted variables p < q in the limits, flags and packed triangle.
void MVNSWAP(int p, int q, Mvnsta& S, int N);

// ---- Shared by the integrators MVNADP, MVNLAT, MVNMC and MVNSPH ----------

// Settles what needs no integration once a set-up has returned CODE with M
// kept variables (D and E its Phi values of the first variable's limits):
// a non-zero code gives VALUE 0 and ERROR 1; M = 0 the probability 1 exactly;
// M = 1 the probability E - D with the single-precision 2e-16 as its error.
// Returns true when VALUE and ERROR are final, false (nothing written) when
// M >= 2 and an integration of dimension M - 1 is needed.
bool mvn_settle(int CODE, int M, double D, double E, double& ERROR, double& VALUE);

// A limit that KIND marks as finite but that is NaN: VALUE and ERROR become
// NaN (there is no failure code for it; the integration would treat the limit
// as infinite) and the result is true.
bool mvn_nan_limit(int N, std::span<const double> LOWER, std::span<const double> UPPER,
                   std::span<const int> KIND, double& ERROR, double& VALUE);

// Front of the integrators over MVNSETUP: N outside 1..NMAX gives code
// kMvnRange (nothing read); a NaN finite limit gives
// INFORM 0 with NaN VALUE and ERROR; otherwise INFORM is the code of MVNSETUP, and
// mvn_settle settles the problems that need no integration.  Returns the
// number of kept variables M when an integration is needed, else 0 with
// ERROR, VALUE and INFORM final.
int mvn_prepare(int N, int NMAX, std::span<const double> LOWER, std::span<const double> UPPER,
                std::span<const int> KIND, std::span<const double> RHO, double& ERROR,
                double& VALUE, int& INFORM);

// Adds the s-th value v of a sampling pass to the pass's running mean and
// variance estimate (both 0 before the first value).
inline void mvn_accumulate(double v, int s, double& mean, double& var) {
  const double d = (v - mean) / s;
  mean += d;
  var = (s - 2) * var / s + d * d;
}

// Merges a pass's mean and variance into the running estimate VALUE with
// inverse-variance weighting (WEIGHT, 0 at the start of an integration, is
// the weight of the estimate so far); ERROR becomes three standard errors.
void mvn_merge_pass(double mean, double var, double& WEIGHT, double& VALUE, double& ERROR);

// Samples in the next pass of the Monte Carlo and spherical-radial
// integrators: the count NS * (ERROR/eps)^2 (truncated) that should reach the
// tolerance eps, within the room left in the budget, and at least 10.
int mvn_next_pass(int NS, double ERROR, double eps, long room);

}  // namespace qv::algebra
