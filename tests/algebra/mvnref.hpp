// Independent reference values for the normal-integral tests, computed here
// by plain one-dimensional Gauss-Legendre quadrature of textbook integrals
// (nothing from the routines under test is used).
#pragma once

#include <cmath>
#include <vector>

namespace qv::algebra::test {

// P(Z > x) and P(Z <= x) from the C library's erfc.
inline double Qup(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }
inline double Phi(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }
inline double dens(double x) { return std::exp(-x * x / 2.0) / std::sqrt(2.0 * M_PI); }

// Nodes and weights of the 20-point Gauss-Legendre rule on [-1, 1], found by
// Newton's method on the Legendre polynomial.
struct Gl20 {
  double x[20], w[20];
  Gl20() {
    const int n = 20;
    for (int i = 1; i <= n; ++i) {
      double z = std::cos(M_PI * (i - 0.25) / (n + 0.5)), dp = 1.0;
      for (int it = 0; it < 100; ++it) {
        double p0 = 1.0, p1 = z;
        for (int k = 2; k <= n; ++k) {
          const double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
          p0 = p1;
          p1 = p2;
        }
        dp = n * (z * p1 - p0) / (z * z - 1.0);
        const double dz = p1 / dp;
        z -= dz;
        if (std::fabs(dz) < 1e-16) break;
      }
      double p0 = 1.0, p1 = z;
      for (int k = 2; k <= n; ++k) {
        const double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      dp = n * (z * p1 - p0) / (z * z - 1.0);
      x[i - 1] = z;
      w[i - 1] = 2.0 / ((1.0 - z * z) * dp * dp);
    }
  }
};

// Composite 20-point rule of f over [a, b] with `panels` panels.
template <class F>
double quad(F f, double a, double b, int panels) {
  static const Gl20 g;
  double s = 0.0;
  const double h = (b - a) / panels;
  for (int p = 0; p < panels; ++p) {
    const double c = a + (p + 0.5) * h;
    for (int i = 0; i < 20; ++i) s += g.w[i] * f(c + h / 2.0 * g.x[i]);
  }
  return s * h / 2.0;
}

// P(X > h, Y > k) for correlation r, |r| < 1: the integral over x > h of
// phi(x) P(Y > k | x).
inline double ref_upper(double h, double k, double r) {
  if (r == 1.0) return Qup(std::fmax(h, k));
  if (r == -1.0) return std::fmax(0.0, Qup(h) - Phi(k));  // P(h < X < -k)
  const double s = std::sqrt(1.0 - r * r);
  const double lo = std::fmax(h, -40.0);
  if (lo >= 40.0) return 0.0;
  return quad([&](double x) { return dens(x) * Qup((k - r * x) / s); }, lo, 40.0, 800);
}

// Box probability of n equicorrelated (rho >= 0) standard normals with flags
// as the integrators take them (<0 none, 0 upper only, 1 lower only, 2 both):
// the integral over z of phi(z) times the product of the conditional
// probabilities given the common factor.
inline double ref_equi(int n, const double* lo, const double* up, const int* kind, double rho) {
  const double a = std::sqrt(rho), s = std::sqrt(1.0 - rho);
  auto f = [&](double z) {
    double p = dens(z);
    for (int i = 0; i < n; ++i) {
      if (kind[i] < 0) continue;
      const double u = kind[i] == 1 ? 1.0 : Phi((up[i] - a * z) / s);
      const double l = kind[i] == 0 ? 0.0 : Phi((lo[i] - a * z) / s);
      p *= u - l;
    }
    return p;
  };
  return quad(f, -40.0, 40.0, 400);
}

}  // namespace qv::algebra::test
