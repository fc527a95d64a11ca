// Published test problems for the constrained optimizer, defined once and
// shared by its tests, its benchmark and the comparison program.
//
// HSn is problem n of the classic published collection of test examples for
// nonlinear programming codes (Hock and Schittkowski, 1981); "R" is
// Rosenbrock's function 100(x2 - x1^2)^2 + (1 - x1)^2.  Each problem gives
// its objective with gradient, its nonlinear constraints with their Jacobian
// (values c(x) with bounds bl <= c(x) <= bu, as the fit passes constraints),
// optionally the same constraints as linear rows, the bounds of the
// variables, the published start, the published solution x* and f*.
#pragma once

#include <cmath>
#include <string>
#include <vector>

namespace qv::optim::hs {

// No bound: the optimizer's default infinite bound size is 1e20.
constexpr double kInf = 1.0e20;

// Objective: f(x) and its gradient g (length n).
using ObjFn = void (*)(const double* x, double& f, double* g);
// Constraints: values c (length m) and Jacobian J, column-major with leading
// dimension ldj (J[i + j*ldj] = dc_i/dx_j).
using ConFn = void (*)(const double* x, double* c, double* J, int ldj);

struct Problem {
  std::string name;
  int n = 0;
  ObjFn obj = nullptr;
  // Nonlinear form: m constraints through con, bounds bl/bu after the n
  // bounds of the variables.
  int m = 0;
  ConFn con = nullptr;
  std::vector<double> bl, bu;  // n + m (nonlinear form)
  // Linear form (when nlin > 0): the same constraints as rows of A
  // (row-major nlin x n) with bounds linbl/linbu.
  int nlin = 0;
  std::vector<double> A, linbl, linbu;
  std::vector<double> x0;      // published start
  std::vector<double> xstar;   // published solution
  double fstar = 0.0;          // published optimal value
  bool has_alt = false;        // a second KKT point the run may end at
  std::vector<double> xalt;
  double falt = 0.0;
  int major_limit = 0;         // "Major iterations" line when non-zero
};

inline constexpr double kPi = 3.14159265358979323846;

// ---- objectives --------------------------------------------------------

inline void f_rosen(const double* x, double& f, double* g) {
  const double a = x[1] - x[0] * x[0], b = 1.0 - x[0];
  f = 100.0 * a * a + b * b;
  g[0] = -400.0 * a * x[0] - 2.0 * b;
  g[1] = 200.0 * a;
}
inline void f_hs3(const double* x, double& f, double* g) {
  const double d = x[1] - x[0];
  f = x[1] + 1.0e-5 * d * d;
  g[0] = -2.0e-5 * d;
  g[1] = 1.0 + 2.0e-5 * d;
}
inline void f_hs4(const double* x, double& f, double* g) {
  const double a = x[0] + 1.0;
  f = a * a * a / 3.0 + x[1];
  g[0] = a * a;
  g[1] = 1.0;
}
inline void f_hs5(const double* x, double& f, double* g) {
  const double s = std::sin(x[0] + x[1]), c = std::cos(x[0] + x[1]), d = x[0] - x[1];
  f = s + d * d - 1.5 * x[0] + 2.5 * x[1] + 1.0;
  g[0] = c + 2.0 * d - 1.5;
  g[1] = c - 2.0 * d + 2.5;
}
inline void f_hs6(const double* x, double& f, double* g) {
  const double b = 1.0 - x[0];
  f = b * b;
  g[0] = -2.0 * b;
  g[1] = 0.0;
}
inline void f_hs7(const double* x, double& f, double* g) {
  const double q = 1.0 + x[0] * x[0];
  f = std::log(q) - x[1];
  g[0] = 2.0 * x[0] / q;
  g[1] = -1.0;
}
inline void f_hs8(const double*, double& f, double* g) {
  f = -1.0;
  g[0] = 0.0;
  g[1] = 0.0;
}
inline void f_hs9(const double* x, double& f, double* g) {
  const double a = kPi * x[0] / 12.0, b = kPi * x[1] / 16.0;
  f = std::sin(a) * std::cos(b);
  g[0] = kPi / 12.0 * std::cos(a) * std::cos(b);
  g[1] = -kPi / 16.0 * std::sin(a) * std::sin(b);
}
inline void f_hs10(const double* x, double& f, double* g) {
  f = x[0] - x[1];
  g[0] = 1.0;
  g[1] = -1.0;
}
inline void f_hs11(const double* x, double& f, double* g) {
  const double a = x[0] - 5.0;
  f = a * a + x[1] * x[1] - 25.0;
  g[0] = 2.0 * a;
  g[1] = 2.0 * x[1];
}
inline void f_hs12(const double* x, double& f, double* g) {
  f = 0.5 * x[0] * x[0] + x[1] * x[1] - x[0] * x[1] - 7.0 * x[0] - 7.0 * x[1];
  g[0] = x[0] - x[1] - 7.0;
  g[1] = 2.0 * x[1] - x[0] - 7.0;
}
inline void f_hs13(const double* x, double& f, double* g) {
  const double a = x[0] - 2.0;
  f = a * a + x[1] * x[1];
  g[0] = 2.0 * a;
  g[1] = 2.0 * x[1];
}
inline void f_hs14(const double* x, double& f, double* g) {
  const double a = x[0] - 2.0, b = x[1] - 1.0;
  f = a * a + b * b;
  g[0] = 2.0 * a;
  g[1] = 2.0 * b;
}
inline void f_hs28(const double* x, double& f, double* g) {
  const double a = x[0] + x[1], b = x[1] + x[2];
  f = a * a + b * b;
  g[0] = 2.0 * a;
  g[1] = 2.0 * a + 2.0 * b;
  g[2] = 2.0 * b;
}
inline void f_hs35(const double* x, double& f, double* g) {
  f = 9.0 - 8.0 * x[0] - 6.0 * x[1] - 4.0 * x[2] + 2.0 * x[0] * x[0] + 2.0 * x[1] * x[1] +
      x[2] * x[2] + 2.0 * x[0] * x[1] + 2.0 * x[0] * x[2];
  g[0] = -8.0 + 4.0 * x[0] + 2.0 * x[1] + 2.0 * x[2];
  g[1] = -6.0 + 4.0 * x[1] + 2.0 * x[0];
  g[2] = -4.0 + 2.0 * x[2] + 2.0 * x[0];
}
inline void f_hs71(const double* x, double& f, double* g) {
  const double s = x[0] + x[1] + x[2];
  f = x[0] * x[3] * s + x[2];
  g[0] = x[3] * s + x[0] * x[3];
  g[1] = x[0] * x[3];
  g[2] = x[0] * x[3] + 1.0;
  g[3] = x[0] * s;
}
inline void f_hs76(const double* x, double& f, double* g) {
  f = x[0] * x[0] + 0.5 * x[1] * x[1] + x[2] * x[2] + 0.5 * x[3] * x[3] - x[0] * x[2] +
      x[2] * x[3] - x[0] - 3.0 * x[1] + x[2] - x[3];
  g[0] = 2.0 * x[0] - x[2] - 1.0;
  g[1] = x[1] - 3.0;
  g[2] = 2.0 * x[2] - x[0] + x[3] + 1.0;
  g[3] = x[3] + x[2] - 1.0;
}

// ---- constraints -------------------------------------------------------

inline void c_hs6(const double* x, double* c, double* J, int ldj) {
  c[0] = 10.0 * (x[1] - x[0] * x[0]);
  J[0] = -20.0 * x[0];
  J[ldj] = 10.0;
}
inline void c_hs7(const double* x, double* c, double* J, int ldj) {
  const double q = 1.0 + x[0] * x[0];
  c[0] = q * q + x[1] * x[1];
  J[0] = 4.0 * q * x[0];
  J[ldj] = 2.0 * x[1];
}
inline void c_hs8(const double* x, double* c, double* J, int ldj) {
  c[0] = x[0] * x[0] + x[1] * x[1];
  c[1] = x[0] * x[1];
  J[0] = 2.0 * x[0];
  J[1] = x[1];
  J[ldj] = 2.0 * x[1];
  J[ldj + 1] = x[0];
}
inline void c_hs9(const double* x, double* c, double* J, int ldj) {
  c[0] = 4.0 * x[0] - 3.0 * x[1];
  J[0] = 4.0;
  J[ldj] = -3.0;
}
inline void c_hs10(const double* x, double* c, double* J, int ldj) {
  c[0] = -3.0 * x[0] * x[0] + 2.0 * x[0] * x[1] - x[1] * x[1] + 1.0;
  J[0] = -6.0 * x[0] + 2.0 * x[1];
  J[ldj] = 2.0 * x[0] - 2.0 * x[1];
}
inline void c_hs11(const double* x, double* c, double* J, int ldj) {
  c[0] = x[1] - x[0] * x[0];
  J[0] = -2.0 * x[0];
  J[ldj] = 1.0;
}
inline void c_hs12(const double* x, double* c, double* J, int ldj) {
  c[0] = 4.0 * x[0] * x[0] + x[1] * x[1];
  J[0] = 8.0 * x[0];
  J[ldj] = 2.0 * x[1];
}
inline void c_hs13(const double* x, double* c, double* J, int ldj) {
  const double a = 1.0 - x[0];
  c[0] = a * a * a - x[1];
  J[0] = -3.0 * a * a;
  J[ldj] = -1.0;
}
inline void c_hs14(const double* x, double* c, double* J, int ldj) {
  c[0] = x[0] - 2.0 * x[1] + 1.0;
  c[1] = x[0] * x[0] / 4.0 + x[1] * x[1];
  J[0] = 1.0;
  J[1] = x[0] / 2.0;
  J[ldj] = -2.0;
  J[ldj + 1] = 2.0 * x[1];
}
inline void c_hs28(const double* x, double* c, double* J, int ldj) {
  c[0] = x[0] + 2.0 * x[1] + 3.0 * x[2];
  J[0] = 1.0;
  J[ldj] = 2.0;
  J[2 * ldj] = 3.0;
}
inline void c_hs35(const double* x, double* c, double* J, int ldj) {
  c[0] = x[0] + x[1] + 2.0 * x[2];
  J[0] = 1.0;
  J[ldj] = 1.0;
  J[2 * ldj] = 2.0;
}
inline void c_hs71(const double* x, double* c, double* J, int ldj) {
  c[0] = x[0] * x[1] * x[2] * x[3];
  c[1] = x[0] * x[0] + x[1] * x[1] + x[2] * x[2] + x[3] * x[3];
  J[0] = x[1] * x[2] * x[3];
  J[ldj] = x[0] * x[2] * x[3];
  J[2 * ldj] = x[0] * x[1] * x[3];
  J[3 * ldj] = x[0] * x[1] * x[2];
  for (int j = 0; j < 4; ++j) J[1 + j * ldj] = 2.0 * x[j];
}
inline void c_hs76(const double* x, double* c, double* J, int ldj) {
  static constexpr double a[3][4] = {{1, 2, 1, 1}, {3, 1, 2, -1}, {0, 1, 4, 0}};
  for (int i = 0; i < 3; ++i) {
    c[i] = 0.0;
    for (int j = 0; j < 4; ++j) {
      c[i] += a[i][j] * x[j];
      J[i + j * ldj] = a[i][j];
    }
  }
}

// ---- the table ---------------------------------------------------------
// f* and x* as published in the collection (HS2's second KKT point, HS5's
// value -sqrt(3)/2 - pi/3, HS7's -sqrt(3), HS14's 9 - 2.875 sqrt(7), HS76's
// -103/22 in closed form).

inline Problem make(const char* name, int n, ObjFn obj, int m = 0, ConFn con = nullptr) {
  Problem p;
  p.name = name;
  p.n = n;
  p.obj = obj;
  p.m = m;
  p.con = con;
  return p;
}

inline const std::vector<Problem>& problems() {
  static const std::vector<Problem> table = [] {
    const double I = kInf;
    std::vector<Problem> t;
    auto add = [&](Problem p) { t.push_back(std::move(p)); };
    {
      Problem p = make("Rosenbrock", 2, f_rosen);
      p.bl = {-I, -I}; p.bu = {I, I};
      p.x0 = {-1.2, 1.0}; p.xstar = {1.0, 1.0}; p.fstar = 0.0; p.major_limit = 200;
      add(p);
    }
    {
      Problem p = make("HS1", 2, f_rosen);
      p.bl = {-I, -1.5}; p.bu = {I, I};
      p.x0 = {-2.0, 1.0}; p.xstar = {1.0, 1.0}; p.fstar = 0.0;
      add(p);
    }
    {
      Problem p = make("HS2", 2, f_rosen);
      p.bl = {-I, 1.5}; p.bu = {I, I};
      p.x0 = {-2.0, 1.0};
      p.xstar = {1.2243707487363527, 1.5}; p.fstar = 0.0504261879;
      p.has_alt = true; p.xalt = {-1.2210262, 1.5}; p.falt = 4.9412293180;
      add(p);
    }
    {
      Problem p = make("HS3", 2, f_hs3);
      p.bl = {-I, 0.0}; p.bu = {I, I};
      p.x0 = {10.0, 1.0}; p.xstar = {0.0, 0.0}; p.fstar = 0.0;
      add(p);
    }
    {
      Problem p = make("HS4", 2, f_hs4);
      p.bl = {1.0, 0.0}; p.bu = {I, I};
      p.x0 = {1.125, 0.125}; p.xstar = {1.0, 0.0}; p.fstar = 8.0 / 3.0;
      add(p);
    }
    {
      Problem p = make("HS5", 2, f_hs5);
      p.bl = {-1.5, -3.0}; p.bu = {4.0, 3.0};
      p.x0 = {0.0, 0.0};
      p.xstar = {-kPi / 3.0 + 0.5, -kPi / 3.0 - 0.5};
      p.fstar = -std::sqrt(3.0) / 2.0 - kPi / 3.0;  // -1.9132229550
      add(p);
    }
    {
      Problem p = make("HS6", 2, f_hs6, 1, c_hs6);
      p.bl = {-I, -I, 0.0}; p.bu = {I, I, 0.0};
      p.x0 = {-1.2, 1.0}; p.xstar = {1.0, 1.0}; p.fstar = 0.0;
      add(p);
    }
    {
      Problem p = make("HS7", 2, f_hs7, 1, c_hs7);
      p.bl = {-I, -I, 4.0}; p.bu = {I, I, 4.0};
      p.x0 = {2.0, 2.0}; p.xstar = {0.0, std::sqrt(3.0)}; p.fstar = -std::sqrt(3.0);
      add(p);
    }
    {
      Problem p = make("HS8", 2, f_hs8, 2, c_hs8);
      p.bl = {-I, -I, 25.0, 9.0}; p.bu = {I, I, 25.0, 9.0};
      p.x0 = {2.0, 1.0};
      // x1^2 = (25 + sqrt(301))/2, x2 = 9/x1.
      const double x1 = std::sqrt((25.0 + std::sqrt(301.0)) / 2.0);
      p.xstar = {x1, 9.0 / x1}; p.fstar = -1.0;
      add(p);
    }
    {
      Problem p = make("HS9", 2, f_hs9, 1, c_hs9);
      p.bl = {-I, -I, 0.0}; p.bu = {I, I, 0.0};
      p.x0 = {0.0, 0.0}; p.xstar = {-3.0, -4.0}; p.fstar = -0.5;
      add(p);
    }
    {
      Problem p = make("HS10", 2, f_hs10, 1, c_hs10);
      p.bl = {-I, -I, 0.0}; p.bu = {I, I, I};
      p.x0 = {-10.0, 10.0}; p.xstar = {0.0, 1.0}; p.fstar = -1.0;
      add(p);
    }
    {
      Problem p = make("HS11", 2, f_hs11, 1, c_hs11);
      p.bl = {-I, -I, 0.0}; p.bu = {I, I, I};
      p.x0 = {4.9, 0.1};
      p.xstar = {1.2347728, 1.5246640}; p.fstar = -8.4984642232;
      add(p);
    }
    {
      Problem p = make("HS12", 2, f_hs12, 1, c_hs12);
      p.bl = {-I, -I, -I}; p.bu = {I, I, 25.0};
      p.x0 = {0.0, 0.0}; p.xstar = {2.0, 3.0}; p.fstar = -30.0;
      add(p);
    }
    {
      Problem p = make("HS13", 2, f_hs13, 1, c_hs13);
      p.bl = {0.0, 0.0, 0.0}; p.bu = {I, I, I};
      p.x0 = {-2.0, -2.0}; p.xstar = {1.0, 0.0}; p.fstar = 1.0;
      add(p);
    }
    {
      Problem p = make("HS14", 2, f_hs14, 2, c_hs14);
      p.bl = {-I, -I, 0.0, -I}; p.bu = {I, I, 0.0, 1.0};
      p.x0 = {2.0, 2.0};
      p.xstar = {0.5 * (std::sqrt(7.0) - 1.0), 0.25 * (std::sqrt(7.0) + 1.0)};
      p.fstar = 9.0 - 2.875 * std::sqrt(7.0);  // 1.3934649807
      add(p);
    }
    {
      Problem p = make("HS28", 3, f_hs28, 1, c_hs28);
      p.bl = {-I, -I, -I, 1.0}; p.bu = {I, I, I, 1.0};
      p.nlin = 1; p.A = {1, 2, 3}; p.linbl = {1.0}; p.linbu = {1.0};
      p.x0 = {-4.0, 1.0, 1.0}; p.xstar = {0.5, -0.5, 0.5}; p.fstar = 0.0;
      add(p);
    }
    {
      Problem p = make("HS35", 3, f_hs35, 1, c_hs35);
      p.bl = {0.0, 0.0, 0.0, -I}; p.bu = {I, I, I, 3.0};
      p.nlin = 1; p.A = {1, 1, 2}; p.linbl = {-I}; p.linbu = {3.0};
      p.x0 = {0.5, 0.5, 0.5}; p.xstar = {4.0 / 3.0, 7.0 / 9.0, 4.0 / 9.0}; p.fstar = 1.0 / 9.0;
      add(p);
    }
    {
      Problem p = make("HS71", 4, f_hs71, 2, c_hs71);
      p.bl = {1.0, 1.0, 1.0, 1.0, 25.0, 40.0}; p.bu = {5.0, 5.0, 5.0, 5.0, I, 40.0};
      p.x0 = {1.0, 5.0, 5.0, 1.0};
      p.xstar = {1.0, 4.7429994, 3.8211503, 1.3794082}; p.fstar = 17.0140173;
      add(p);
    }
    {
      Problem p = make("HS76", 4, f_hs76, 3, c_hs76);
      p.bl = {0.0, 0.0, 0.0, 0.0, -I, -I, 1.5}; p.bu = {I, I, I, I, 5.0, 4.0, I};
      p.nlin = 3; p.A = {1, 2, 1, 1, 3, 1, 2, -1, 0, 1, 4, 0};
      p.linbl = {-I, -I, 1.5}; p.linbu = {5.0, 4.0, I};
      p.x0 = {0.5, 0.5, 0.5, 0.5};
      p.xstar = {0.27272727, 2.0909091, 0.0, 0.54545455}; p.fstar = -103.0 / 22.0;
      add(p);
    }
    return t;
  }();
  return table;
}

}  // namespace qv::optim::hs
