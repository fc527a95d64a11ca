// Gaussian quadrature: fixed Gauss rules in one dimension and the product rule
// over several dimensions.
//
// The rules are stored for 1, 2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 20, 24, 32, 48
// and 64 points.  A rule routine asked for another count delivers the largest
// stored rule below it (IERR 1), its points in positions 1..n and zeros after.
#pragma once

#include <functional>
#include <span>

namespace qv::numlib {

// A rule routine: RULE(A, B, ITYPE, N, WEIGHT, ABSCIS, IERR).
using QuadRule = void (*)(double a, double b, int itype, int n, std::span<double> weight,
                          std::span<double> abscis, int& ierr);

// Gauss-Hermite for the weight exp(-B (x - A)^2), B > 0 (IERR 2 otherwise).
// ITYPE 1 gives the adjusted weights (for integrals of f without the weight
// function); any other ITYPE the plain weights, a weight whose logarithm is
// below ln(SAFEMIN) being 0 with IERR 3.
void GAUSHRM(double a, double b, int itype, int n, std::span<double> weight, std::span<double> abscis,
             int& ierr);
// Gauss-Laguerre for the weight exp(-B (x - A)): B > 0 on [A, infinity), B < 0
// on (-infinity, A]; B = 0 is IERR 2.  Weights are positive in both cases.
void GAUSLAG(double a, double b, int itype, int n, std::span<double> weight, std::span<double> abscis,
             int& ierr);
// Gauss-Legendre, weight 1 on [A, B].
void GAUSLEG(double a, double b, int itype, int n, std::span<double> weight, std::span<double> abscis,
             int& ierr);
// Gauss rational rule for an infinite range: [A, infinity) when A + B > 0,
// (-infinity, A] when A + B < 0 (IERR 2 when A + B = 0); positive weights.
void GAUSRAT(double a, double b, int itype, int n, std::span<double> weight, std::span<double> abscis,
             int& ierr);

// Calls RULE and reports a non-zero IERR as its own error (no message records).
void D01BBF(QuadRule rule, double a, double b, int itype, int n, std::span<double> weight,
            std::span<double> abscis, int& ifail);

// The integrand of the product rule: FUN(NDIM, X).
using D01fbfFun = std::function<double(int ndim, std::span<const double> x)>;

// Product-rule sum over NDIM (1..20) dimensions; WEIGHT and ABSCIS hold the
// rules of the dimensions one after the other, NPTVEC(j) points each, LWA
// entries in all.  Error 1 (result 0): bad NDIM, a count below 1, or LWA too short.
double D01FBF(int ndim, std::span<const int> nptvec, int lwa, std::span<const double> weight,
              std::span<const double> abscis, const D01fbfFun& fun, int& ifail);

// The one-dimensional integrand of D01BAF.
using D01bafFun = std::function<double(double x)>;

// Integral of FUN by RULE with min(NPTS, 64) points (FUN is the whole
// integrand).  Error 1 (the sum is still returned) when NPTS is not a stored
// count or exceeds 64; the rule's errors above 1 give 0.
double D01BAF(QuadRule rule, double a, double b, int npts, const D01bafFun& fun, int& ifail);

}  // namespace qv::numlib
