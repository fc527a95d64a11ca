// Bivariate normal upper-orthant probability with its one-dimensional tails.
#pragma once

namespace qv::algebra {

// result := P(X > h, Y > k) for a standard bivariate normal pair with
// correlation rho, to about `digits` correct decimal digits, clamped to
// [0, 1]; tailh := P(Z > h), tailk := P(Z > k).  |rho| > 1 writes two
// records on unit 7 and gives result 0.  A limit that is infinite or beyond
// 1e150 in size gives the exact limiting probability.
void BIVNOR(double& result, double& tailh, double& tailk, double h, double k, double rho,
            int digits);

// The orthant from given half tails th = P(Z > h)/2, tk = P(Z > k)/2 and the
// series accuracy constant eps, for |rho| <= 1 (the method of BIVNOR, shared
// with its single-precision companions); not clamped.
double bivnor_orthant(double h, double k, double rho, double th, double tk, double eps);

}  // namespace qv::algebra
