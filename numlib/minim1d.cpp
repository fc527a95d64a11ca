#include "numlib/minim1d.hpp"

#include <cmath>

#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"

namespace qv::numlib {

namespace {
constexpr double kGolden = 0.3819660112501051;  // (3 - sqrt(5))/2
}  // namespace

int MINCORE(double fu) {
  Minsta& s = MINSTA;
  const double u = s.u;

  // Take the new point into the bracket and the three retained points.
  if (s.state == 1) {
    s.state = 2;
  }
  if (fu <= s.fx) {
    if (u < s.x) s.b = s.x;
    else s.a = s.x;
    s.v = s.w;
    s.fv = s.fw;
    s.w = s.x;
    s.fw = s.fx;
    s.x = u;
    s.fx = fu;
  } else {
    if (u < s.x) s.a = u;
    else s.b = u;
    if (fu <= s.fw || s.w == s.x) {
      s.v = s.w;
      s.fv = s.fw;
      s.w = u;
      s.fw = fu;
    } else if (fu <= s.fv || s.v == s.x || s.v == s.w) {
      s.v = u;
      s.fv = fu;
    }
  }

  // Converged when the bracket about x is within twice the tolerance.
  const double xm = 0.5 * (s.a + s.b);
  const double tol1 = s.e1 * std::abs(s.x) + s.e2;
  const double tol2 = 2.0 * tol1;
  if (std::abs(s.x - xm) <= tol2 - 0.5 * (s.b - s.a)) {
    s.result = 2;
    return s.result;
  }

  bool golden = true;
  if (std::abs(s.e) > tol1) {
    // Minimiser of the parabola through x, w and v.
    double r = (s.x - s.w) * (s.fx - s.fv);
    double q = (s.x - s.v) * (s.fx - s.fw);
    double p = (s.x - s.v) * q - (s.x - s.w) * r;
    q = 2.0 * (q - r);
    if (q > 0.0) p = -p;
    q = std::abs(q);
    const double eold = s.e;
    // Accept it when it is a step smaller than half the one before last and
    // falls inside the bracket.
    if (std::abs(p) < std::abs(0.5 * q * eold) && p > q * (s.a - s.x) && p < q * (s.b - s.x)) {
      s.e = s.d;
      s.d = p / q;
      const double t = s.x + s.d;
      if (t - s.a < tol2 || s.b - t < tol2) s.d = std::copysign(tol1, xm - s.x);
      golden = false;
    }
  }
  if (golden) {
    s.e = s.x >= xm ? s.a - s.x : s.b - s.x;
    s.d = kGolden * s.e;
  }
  // Never closer than tol1 to x.
  s.u = s.x + (std::abs(s.d) >= tol1 ? s.d : std::copysign(tol1, s.d));
  s.result = 1;
  return s.result;
}

void E04ABF(const E04abfFun& funct, double& e1, double& e2, double& a, double& b, int& maxcal, double& x,
            double& f, int& ifail) {
  const double eps = EPSMACH();
  // A NaN accuracy is replaced as a small one is: it could never be met.
  if (!(e1 >= eps)) e1 = std::sqrt(eps);
  if (!(e2 >= eps)) e2 = std::sqrt(eps);
  // An interval with a NaN or infinite end, or too long to measure, is as
  // bad as an empty one: no point of it could be trusted.
  if (!(a + e2 < b) || !std::isfinite(b - a) || maxcal < 3) {
    ifail = ERREXIT(ifail, 1, "E04ABF");
    return;
  }

  Minsta& s = MINSTA;
  s.reset();
  s.e1 = e1;
  s.e2 = e2;
  const double len = b - a;
  double fu = 0.0, fv = 0.0;
  const double pu = a + 0.4 * len;
  const double pv = b - 0.4 * len;
  funct(pu, fu);
  funct(pv, fv);
  if (fv < fu) {
    // The minimum lies right of u.
    s.x = pv;
    s.fx = fv;
    s.w = s.v = pu;
    s.fw = s.fv = fu;
    s.a = pu;
    s.b = b + e1 * std::abs(b) + e2;
    s.u = s.x + 0.2 * len;
  } else {
    s.x = pu;
    s.fx = fu;
    s.w = s.v = pv;
    s.fw = s.fv = fv;
    s.a = a;
    s.b = pv;
    s.u = s.x - 0.2 * len;
  }
  s.d = s.u - s.x;
  s.e = 0.2 * len;
  double ft = 0.0;
  funct(s.u, ft);
  s.ncall = 3;
  s.state = 1;

  int err = 0;
  while (true) {
    if (MINCORE(ft) != 1) break;
    if (s.ncall >= maxcal) {
      err = 2;
      break;
    }
    funct(s.u, ft);
    ++s.ncall;
  }
  maxcal = s.ncall;
  a = s.a;
  b = s.b;
  x = s.x;
  f = s.fx;
  ifail = ERREXIT(ifail, err, "E04ABF");
}

}  // namespace qv::numlib
