// The gamma function, its logarithm, the regularised incomplete gamma
// functions and Carlson's elementary elliptic integral RC.  IFAIL follows the
// library convention (errexit.hpp).
#pragma once

namespace qv::numlib {

double S14AAF(double x, int& ifail);  // Gamma(x)
double S14ABF(double x, int& ifail);  // ln Gamma(x), x > 0
// P = P(a, x), the regularised lower incomplete gamma function, and Q = 1 - P.
void S14BAF(double a, double x, double tol, double& p, double& q, int& ifail);
double S21BAF(double x, double y, int& ifail);  // RC(x, y); principal value for y < 0

// lambda - 1 - ln(lambda) = eta^2 / 2, accurate also near lambda = 1.
double TEMMEETA(double lambda);
// Temme's uniform expansion of P(a, x) and Q(a, x) for large a and x near a.
void TEMMEGI(double a, double x, double tol, double& p, double& q);
// ln(1 + x) through RC, for x > -1.
double LOG1PRC(double x);

// ln Gamma*(a) = ln Gamma(a) - ((a - 1/2) ln a - a + ln sqrt(2 pi)), by its
// Stirling series (seven terms, for a of about 10 and more).
double stirling_tail(double a);

}  // namespace qv::numlib
