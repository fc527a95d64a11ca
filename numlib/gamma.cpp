#include "numlib/gamma.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "numlib/distrib.hpp"
#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"
#include "runtime/units.hpp"

namespace qv::numlib {

namespace {

// Gamma(1 + u) for u in [0, 1] as a polynomial in t = 2u - 1.
constexpr std::array<double, 24> kG = {
    0.886226925452758,      0.01616919872444251,    0.10370336342207545,    -0.013411850570596776,
    0.00904033494028102,    -0.002422595384362682,  9.157859972889331e-4,   -2.968901216332e-4,
    1.0092814882336512e-4,  -3.363758332402688e-5,  1.125246429755904e-5,   -3.75499034136576e-6,
    1.25281466396672e-6,    -4.1780877635584e-7,    1.3938352259072e-7,     -4.647749271552e-8,
    1.538352152576e-8,      -5.1196133376e-9,       1.8224316416e-9,        -6.1351395328e-10,
    1.2767985664e-10,       -4.014997504e-11,       4.265607168e-11,        -1.463812096e-11};

double gpoly(double t) {
  double g = kG[23];
  for (int k = 22; k >= 0; --k) g = g * t + kG[static_cast<std::size_t>(k)];
  return g;
}

// Gamma(x) for 0 < x <= 34 from the polynomial and the recurrence.
double gamma_pos(double x) {
  const int n = static_cast<int>(x);
  const double u = x - n;
  double g = gpoly(2.0 * u - 1.0);
  if (n == 0) return g / x;
  for (int k = 1; k <= n - 1; ++k) g *= x - k;
  return g;
}

// Taylor coefficients of C0(eta) = 1/(lambda - 1) - 1/eta, the leading
// function of Temme's expansion.  Computed outside the project in exact
// rational arithmetic (Python fractions) by reverting eta(mu), mu = lambda - 1,
// eta^2/2 = mu - ln(1 + mu); the first ones are -1/3, 1/12, -2/135, 1/864,
// 1/2835, -139/777600.
constexpr std::array<double, 25> kTemme = {
    -0.3333333333333333,     0.08333333333333333,    -0.014814814814814815,  0.0011574074074074073,
    0.0003527336860670194,   -0.0001787551440329218, 3.919263178522438e-05,  -2.185448510679992e-06,
    -1.85406221071516e-06,   8.296711340953087e-07,  -1.7665952736826078e-07, 6.707853543401498e-09,
    1.0261809784240309e-08,  -4.382036018453353e-09, 9.14769958223679e-10,   -2.5514193994946248e-11,
    -5.830772132550426e-11,  2.4361948020667415e-11, -5.0276692801141755e-12, 1.1004392031956135e-13,
    3.371763262400985e-13,   -1.392388722418162e-13, 2.8534893807047445e-14, -5.139111834242572e-16,
    -1.9752288294349442e-15};

std::string d13(double v) { return runtime::write_internal("(1P,D13.5)", {v}); }

}  // namespace

double stirling_tail(double a) {
  const double r = 1.0 / a;
  const double r2 = r * r;
  return r * (1.0 / 12 - r2 * (1.0 / 360 - r2 * (1.0 / 1260 - r2 * (1.0 / 1680 - r2 * (1.0 / 1188 -
                                     r2 * (691.0 / 360360 - r2 * 0.00641025641025641))))));
}

double S14AAF(double x, int& ifail) {
  if (std::isnan(x)) {  // no value and no error: NaN passes through
    ifail = 0;
    return x;
  }
  int err = 0;
  double result = 0.0;
  const double ax = std::fabs(x);
  if (ax > 34.0) {
    if (x < 0) {
      err = 2;
      result = 0.0;
    } else {
      err = 1;
      result = 8.6e36;
    }
  } else if (ax <= 1e-17) {
    if (ax < 5.9e-39) {
      err = 3;
      result = std::copysign(1.0 / 5.9e-39, x);
      if (x == 0.0) result = 1.0 / 5.9e-39;
    } else {
      result = 1.0 / x;
    }
  } else if (x > 0) {
    result = gamma_pos(x);
  } else {
    const int n = static_cast<int>(x);  // toward zero
    const double u = x - (n - 1);
    if (u == 1.0) {
      err = 4;
      result = 8.6e36;
    } else {
      // Gamma(x) = Gamma(1 + u) / (x (x+1) ... (x - n + 1)), since 1 + u = x - n + 2.
      double den = 1.0;
      for (int k = 0; k <= 1 - n; ++k) den *= x + k;
      result = gpoly(2.0 * u - 1.0) / den;
    }
  }
  ifail = ERREXIT(ifail, err, "S14AAF");
  return result;
}

double S14ABF(double x, int& ifail) {
  if (std::isnan(x)) {
    ifail = 0;
    return x;
  }
  int err = 0;
  double result = 0.0;
  if (x <= 1e-17) {
    if (x <= 0) err = 1;
    else result = -std::log(x);
  } else if (x <= 15.0) {
    result = std::log(gamma_pos(x));
  } else if (x <= 7.7e7) {
    const double t = 450.0 / (x * x) - 1.0;
    const double c = 0.08332716440657865 +
                     t * (-6.16502049453717e-6 +
                          t * (3.899788998764847e-9 +
                               t * (-6.451019757796537e-12 + t * (2.0020192733798237e-14 + t * -9.945610647281594e-17))));
    result = (x - 0.5) * std::log(x) - x + 0.9189385332046728 + c / x;
  } else if (x <= 2.03e36) {
    result = (x - 0.5) * std::log(x) - x + 0.9189385332046728;
  } else {
    err = 2;
    result = 1.68e38;
  }
  ifail = ERREXIT(ifail, err, "S14ABF");
  return result;
}

double TEMMEETA(double lambda) {
  const double mu = lambda - 1.0;
  if (std::fabs(mu) >= 0.25) return mu - std::log(lambda);
  // mu - ln(1 + mu) = mu^2/2 - mu^3/3 + mu^4/4 - ..., summed from the small end.
  double s = 0.0;
  for (int k = 40; k >= 2; --k) s = s * mu + ((k % 2 == 0) ? 1.0 : -1.0) / k;
  return s * mu * mu;
}

void TEMMEGI(double a, double x, double tol, double& p, double& q) {
  const double lambda = x / a;
  const double h = TEMMEETA(lambda);  // eta^2 / 2
  double eta = std::sqrt(2.0 * h);
  if (x < a) eta = -eta;
  // Leading term: the tail on the side of x.
  const double s = x >= a ? 1.0 : -1.0;
  int ef = 0;
  const double lead = 0.5 * ERFCOMP(s * eta * std::sqrt(0.5 * a), ef);
  double corr = 0.0;
  if (a * h <= -std::log(SAFEMIN())) {
    // beta(k-2) = beta(k) k / a + d(k-2), from the top of the table down.
    std::array<double, 27> beta{};
    for (int k = 24; k >= 0; --k)
      beta[static_cast<std::size_t>(k)] = kTemme[static_cast<std::size_t>(k)] + (k + 2) * beta[static_cast<std::size_t>(k + 2)] / a;
    double sum = 0.0;
    double pw = 1.0;
    for (int k = 0; k <= 24; ++k) {
      const double term = beta[static_cast<std::size_t>(k)] * pw;
      sum += term;
      if (std::fabs(term) < tol * std::fabs(sum) && k >= 1) break;
      pw *= eta;
    }
    // The expansion carries 1/Gamma*(a), Gamma*(a) = Gamma(a) / (sqrt(2 pi / a) a^a e^-a).
    corr = std::exp(-a * h - stirling_tail(a)) / std::sqrt(2.0 * PICONST() * a) * sum;
  }
  if (x >= a) {
    q = lead + corr;
    p = 1.0 - q;
  } else {
    p = lead - corr;
    q = 1.0 - p;
  }
}

void S14BAF(double a, double x, double tol, double& p, double& q, int& ifail) {
  p = 0.0;
  q = 0.0;
  if (a <= 0) {
    ifail = ERREXIT(ifail, 1, "S14BAF", std::vector<std::string>{" ** On entry, A.le.0.0 : A =" + d13(a)});
    return;
  }
  if (x < 0) {
    ifail = ERREXIT(ifail, 2, "S14BAF", std::vector<std::string>{" ** On entry, X.lt.0.0 : X =" + d13(x)});
    return;
  }
  if (x == 0) {
    q = 1.0;
    ifail = 0;
    return;
  }
  double t = std::max(EPSMACH(), 1e-18);
  if (tol > t && tol <= 1.0) t = tol;
  constexpr int kMaxTerms = 600;
  bool done = true;
  if (a >= 20.0 && x >= 0.7 * a && x <= 1.4 * a) {
    TEMMEGI(a, x, t, p, q);
  } else {
    const double alpha = x >= 0.25 ? x + 0.25 : std::log(0.5) / std::log(x);
    int f = 1;
    if (a > alpha) {
      // Power series of P.
      const double lead = a * std::log(x) - x - S14ABF(a + 1.0, f);
      double term = 1.0, sum = 1.0;
      int k = 1;
      for (; k <= kMaxTerms; ++k) {
        term *= x / (a + k);
        sum += term;
        if (term <= t * sum) break;
      }
      done = k <= kMaxTerms;
      p = std::exp(lead) * sum;
      q = 1.0 - p;
    } else if (x > 1.5) {
      // Legendre's continued fraction for Q, summed as a series.
      double pp = 0.0, qq = (x - 1.0 - a) * (x + 1.0 - a), r = 4.0 * (x + 1.0 - a), s = 1.0 - a;
      double rho = 0.0, term = 1.0, sum = 1.0;
      int k = 1;
      for (; k <= kMaxTerms; ++k) {
        pp += s;
        qq += r;
        r += 8.0;
        s += 2.0;
        const double tau = pp * (1.0 + rho);
        rho = tau / (qq - tau);
        term *= rho;
        sum += term;
        if (std::fabs(term) <= t * sum) break;
      }
      done = k <= kMaxTerms;
      q = std::exp(a * std::log(x) - x - S14ABF(a, f)) / (x + 1.0 - a) * sum;
      p = 1.0 - q;
    } else {
      // Taylor series: P = x^a / Gamma(a) * sum (-x)^n / (n! (a + n)).
      double term = 1.0, sum = 1.0 / a;
      int k = 1;
      for (; k <= kMaxTerms; ++k) {
        term *= -x / k;
        const double add = term / (a + k);
        sum += add;
        if (std::fabs(add) <= t * std::fabs(sum)) break;
      }
      done = k <= kMaxTerms;
      p = std::exp(a * std::log(x)) / S14AAF(a, f) * sum;
      q = 1.0 - p;
    }
  }
  if (!done) {
    ifail = ERREXIT(ifail, 3, "S14BAF",
                    std::vector<std::string>{" ** Algorithm fails to terminate in " +
                                             runtime::write_internal("(I4)", {kMaxTerms}) + " iterations"});
    return;
  }
  // A probability: the difference of two rounded terms (Temme's leading
  // term and its correction, or 1 less a computed tail) may fall a little
  // outside [0, 1], for instance where the leading term has underflowed to 0.
  p = std::clamp(p, 0.0, 1.0);
  q = std::clamp(q, 0.0, 1.0);
  ifail = 0;
}

double S21BAF(double x, double y, int& ifail) {
  if (x < 0) {
    ifail = ERREXIT(ifail, 1, "S21BAF", std::vector<std::string>{" ** On entry, X is less than zero: X =" + d13(x)});
    return 0.0;
  }
  if (y == 0) {
    ifail = ERREXIT(ifail, 2, "S21BAF", std::vector<std::string>{" ** On entry, Y is equal to zero"});
    return 0.0;
  }
  // The rescaling below can neither shrink an infinity nor grow a zero beside
  // a NaN: a NaN argument gives NaN, and an infinite one (the other finite or
  // infinite) gives the limit of RC there, 0.
  if (std::isnan(x) || std::isnan(y)) {
    ifail = 0;
    return std::numeric_limits<double>::quiet_NaN();
  }
  if (std::isinf(x) || std::isinf(y)) {
    ifail = 0;
    return 0.0;
  }
  double factor = 1.0;
  if (y < 0) {
    factor = std::sqrt(x / (x - y));
    const double xn = x - y;
    y = -y;
    x = xn;
  }
  // Keep the arguments inside the safe range by powers of 16 (RC scales as 1/sqrt).
  const double lo = 16.0 * SMALLN(), hi = HUGENUM() / 16.0;
  while (std::max(x, y) > hi) {
    x /= 16.0;
    y /= 16.0;
    factor *= 0.25;
  }
  while (std::max(x, y) < lo) {
    x *= 16.0;
    y *= 16.0;
    factor *= 4.0;
  }
  double mu = (x + 2.0 * y) / 3.0;
  double s = (y + mu) / mu - 2.0;
  while (std::fabs(s) >= 0.00092) {
    const double l = 2.0 * std::sqrt(x) * std::sqrt(y) + y;
    x = (x + l) * 0.25;
    y = (y + l) * 0.25;
    mu = (x + 2.0 * y) / 3.0;
    s = (y + mu) / mu - 2.0;
  }
  const double rc = (1.0 + s * s * (0.3 + s * (1.0 / 7.0 + s * (0.375 + s * 9.0 / 22.0)))) / std::sqrt(mu);
  ifail = 0;
  return rc * factor;
}

double LOG1PRC(double x) {
  if (x >= 1.0) return std::log(1.0 + x);
  // ln(1 + x) = x RC((1 + x/2)^2, 1 + x).
  int f = 0;
  const double h = 1.0 + 0.5 * x;
  return x * S21BAF(h * h, 1.0 + x, f);
}

}  // namespace qv::numlib
