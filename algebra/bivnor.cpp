// Bivariate normal integral by Owen's T-function series (after Donnelly's
// algorithm): the upper orthant P(X > h, Y > k) is put together from the two
// one-dimensional tails and one T-function value per nonzero limit.
#include "algebra/bivnor.hpp"

#include <cmath>

#include "numlib/distrib.hpp"
#include "numlib/machconst.hpp"
#include "runtime/units.hpp"

namespace qv::algebra {

namespace {

// A limit beyond this size is taken as infinite: its tail is exactly 0 or 1
// and the series would overflow.
constexpr double kHugeLimit = 1e150;

// Safety bound on the series terms.  A pass with a finite slope below 1 and
// a nonzero exp(-x^2/2) stops within about x^2/2 + 100 terms; the bound only
// guards against an accuracy constant of 0 (digits beyond about 320).
constexpr int kMaxTerms = 100000;

// Owen's T(x, a) times 2 pi by its series, for |a| <= 1.
double owen_series(double x, double a, double eps) {
  const double u = x * x / 2.0;
  const double e = std::exp(-u);
  // With exp(-u) = 0 the series sums to atan(a)/a exactly: T is 0.  (The
  // loop would otherwise meet w = 0 * u, or inf * 0, and crawl or never end.)
  if (e == 0.0) return 0.0;
  double w = u * e;
  double c = 1.0 - e;
  double m = 1.0;
  double i = 1.0, iprev = 0.0;
  double sum = 0.0;
  const double bound = std::fabs(eps / a);
  for (int n = 0; n < kMaxTerms; ++n) {
    const double term = m * c / (iprev + i);
    sum += term;
    if (!(std::fabs(term) > bound)) break;  // a value that is not a number ends it too
    iprev = i;
    c -= w;
    w = w * u / (i + 1.0);
    m = -m * a * a;
    i += 1.0;
  }
  return std::atan(a) - a * sum;
}

}  // namespace

double bivnor_orthant(double h, double k, double rho, double th, double tk, double eps) {
  const double twopi = 2.0 * numlib::PICONST();
  double b = 0.0;

  // One pass of the T-function: x the negated limit, a the slope, q twice
  // the half tail of the limit.
  auto pass = [&](double x, double a, double q) {
    double sign = -1.0;
    double t = 0.0;
    if (a == 0.0) return;
    if (std::fabs(a) == 1.0) {
      t = 0.5 * (1.0 - q) * a * q;
    } else {
      if (std::fabs(a) > 1.0) {
        sign = 1.0;
        x = x * a;
        int ig = 0;
        const double g = numlib::PNORMLO(x, ig);
        a = 1.0 / a;
        if (a < 0.0) b += 0.5;
        b = b - 0.5 * (q + g) + q * g;
      }
      t = owen_series(x, a, eps) / twopi;
    }
    b += sign * t;
  };

  if (rho == 0.0) return 4.0 * th * tk;
  const double v = 1.0 - rho * rho;
  const bool hpos = h > kHugeLimit, hneg = h < -kHugeLimit;
  const bool kpos = k > kHugeLimit, kneg = k < -kHugeLimit;
  if (hpos || hneg || kpos || kneg) {
    // Exact limits: an upper bound of +inf empties the orthant, -inf leaves
    // the other variable's tail.
    if (hpos || kpos) return 0.0;
    if (hneg && kneg) return 1.0;
    return hneg ? 2.0 * tk : 2.0 * th;
  }
  if (v == 0.0) {
    if (rho > 0.0) return (h - k >= 0.0) ? 2.0 * th : 2.0 * tk;
    return (h + k >= 0.0) ? 0.0 : 2.0 * (th + tk) - 1.0;
  }
  const double sv = std::sqrt(v);
  if (h == 0.0 && k == 0.0) return 0.25 + std::atan(rho / sv) / twopi;
  if (h != 0.0) {
    b = th;
    const double hk = h * k;
    if (hk < 0.0) b -= 0.5;
    if (hk != 0.0) b += tk;
    pass(-h, (k / h - rho) / sv, 2.0 * th);
    if (k != 0.0) pass(-k, (h / k - rho) / sv, 2.0 * tk);
  } else {
    b = tk;
    pass(-k, (h / k - rho) / sv, 2.0 * tk);
  }
  return b;
}

void BIVNOR(double& result, double& tailh, double& tailk, double h, double k, double rho,
            int digits) {
  const double twopi = 2.0 * numlib::PICONST();
  int ifail = 0;
  const double th = numlib::PNORMLO(-h, ifail) * 0.5;
  ifail = 0;
  const double tk = numlib::PNORMLO(-k, ifail) * 0.5;
  tailh = 2.0 * th;
  tailk = 2.0 * tk;
  if (rho != 0.0 && 1.0 - rho * rho < 0.0) {
    runtime::write_list(runtime::kMsgUnit, {" BIVNOR correlation is ", rho});
    runtime::write_list(runtime::kMsgUnit, {" Integral set to zero; error exit"});
    result = 0.0;
    return;
  }
  double eps;
  if (digits == 15) {
    eps = twopi * 1e-15 * 0.5;
  } else {
    eps = twopi * 0.5;
    for (int i = 1; i <= digits && eps != 0.0; ++i) eps /= 10.0;
  }
  double b = bivnor_orthant(h, k, rho, th, tk, eps);
  if (b < 0.0 || std::isnan(b)) b = 0.0;
  if (b > 1.0) b = 1.0;
  result = b;
}

}  // namespace qv::algebra
