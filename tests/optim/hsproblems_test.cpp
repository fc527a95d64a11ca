// Checks of the shared test-problem table itself: gradients and Jacobians
// against central differences, the published solutions feasible with the
// published optimal values, and the linear form equal to the nonlinear one.
#include "hsproblems.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using qv::optim::hs::kInf;
using qv::optim::hs::Problem;
using qv::optim::hs::problems;

// Central-difference derivative of component k of v(x) along x_j.
template <class F>
double central(F v, std::vector<double> x, int j) {
  const double h = 1e-6 * std::max(1.0, std::fabs(x[j]));
  x[j] += h;
  const double up = v(x);
  x[j] -= 2.0 * h;
  const double down = v(x);
  return (up - down) / (2.0 * h);
}

void check_derivatives(const Problem& p, const std::vector<double>& x) {
  std::vector<double> g(p.n);
  double f = 0.0;
  p.obj(x.data(), f, g.data());
  for (int j = 0; j < p.n; ++j) {
    auto fv = [&](const std::vector<double>& y) {
      double fy = 0.0;
      std::vector<double> gy(p.n);
      p.obj(y.data(), fy, gy.data());
      return fy;
    };
    EXPECT_NEAR(g[j], central(fv, x, j), 1e-5 * std::max(1.0, std::fabs(g[j])))
        << p.name << " gradient " << j;
  }
  if (p.m == 0) return;
  std::vector<double> c(p.m), J(p.m * p.n);
  p.con(x.data(), c.data(), J.data(), p.m);
  for (int i = 0; i < p.m; ++i)
    for (int j = 0; j < p.n; ++j) {
      auto cv = [&](const std::vector<double>& y) {
        std::vector<double> cy(p.m), Jy(p.m * p.n);
        p.con(y.data(), cy.data(), Jy.data(), p.m);
        return cy[i];
      };
      const double d = J[i + j * p.m];
      EXPECT_NEAR(d, central(cv, x, j), 1e-5 * std::max(1.0, std::fabs(d)))
          << p.name << " Jacobian " << i << "," << j;
    }
}

TEST(HsTable, DerivativesMatchDifferencesAtStartAndSolution) {
  for (const Problem& p : problems()) {
    check_derivatives(p, p.x0);
    check_derivatives(p, p.xstar);
  }
}

// The published x* (given to 7 or 8 digits where not in closed form) is
// feasible and gives the published f*.
TEST(HsTable, PublishedSolutionsFeasibleWithPublishedValues) {
  for (const Problem& p : problems()) {
    std::vector<double> g(p.n);
    double f = 0.0;
    p.obj(p.xstar.data(), f, g.data());
    EXPECT_NEAR(f, p.fstar, 1e-6 * std::max(1.0, std::fabs(p.fstar))) << p.name;
    for (int j = 0; j < p.n; ++j) {
      EXPECT_GE(p.xstar[j], p.bl[j] - 1e-7) << p.name;
      EXPECT_LE(p.xstar[j], p.bu[j] + 1e-7) << p.name;
    }
    if (p.m > 0) {
      std::vector<double> c(p.m), J(p.m * p.n);
      p.con(p.xstar.data(), c.data(), J.data(), p.m);
      for (int i = 0; i < p.m; ++i) {
        const double tol = 1e-6 * std::max(1.0, std::fabs(c[i]));
        if (p.bl[p.n + i] > -kInf) {
          EXPECT_GE(c[i], p.bl[p.n + i] - tol) << p.name << " row " << i;
        }
        if (p.bu[p.n + i] < kInf) {
          EXPECT_LE(c[i], p.bu[p.n + i] + tol) << p.name << " row " << i;
        }
      }
    }
    if (p.has_alt) {
      double fa = 0.0;
      p.obj(p.xalt.data(), fa, g.data());
      EXPECT_NEAR(fa, p.falt, 1e-6 * std::max(1.0, std::fabs(p.falt))) << p.name << " alt";
    }
  }
}

TEST(HsTable, LinearFormEqualsNonlinearForm) {
  for (const Problem& p : problems()) {
    if (p.nlin == 0) continue;
    ASSERT_EQ(p.nlin, p.m) << p.name;
    std::vector<double> c(p.m), J(p.m * p.n);
    p.con(p.x0.data(), c.data(), J.data(), p.m);
    for (int i = 0; i < p.m; ++i) {
      for (int j = 0; j < p.n; ++j) EXPECT_EQ(p.A[i * p.n + j], J[i + j * p.m]) << p.name;
      EXPECT_EQ(p.linbl[i], p.bl[p.n + i]) << p.name;
      EXPECT_EQ(p.linbu[i], p.bu[p.n + i]) << p.name;
    }
  }
}

}  // namespace
