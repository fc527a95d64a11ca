// Bounded-error routine NORINT1 with PKFACT and NORDEV; single-precision
// bivariate routines NORINT2 and NORINT3.
#include "algebra/norint.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "algebra/bivnor.hpp"
#include "algebra/mvnadp.hpp"
#include "algebra/mvnsetup.hpp"
#include "numlib/distrib.hpp"
#include "numlib/machconst.hpp"
#include "runtime/packidx.hpp"
#include "runtime/stop.hpp"

namespace qv::algebra {

using runtime::packed_offset;
using runtime::packed_offset_sym;
using runtime::packed_size;
using runtime::strict_offset;
using runtime::strict_size;

namespace {

// The orthant in single precision, or -1 for an impossible correlation.
double norint_orthant(double h, double k, double r, int digits) {
  if (r != 0.0 && 1.0 - r * r < 0.0) return -1.0;
  int ifail = -1;
  const float th = static_cast<float>(numlib::PNORMUP(h, ifail));
  float tk = th;
  if (k != h) {
    ifail = -1;
    tk = static_cast<float>(numlib::PNORMUP(k, ifail));
  }
  const double eps = 2.0 * numlib::PICONST() * 0.5 / std::pow(10.0, digits);
  double b = bivnor_orthant(h, k, r, 0.5 * th, 0.5 * tk, eps);
  if (b < 0.0 || std::isnan(b)) b = 0.0;
  if (b > 1.0) b = 1.0;
  return static_cast<float>(b);
}

}  // namespace

float NORINT2(double h, double k, double r, int digits) {
  const double b = norint_orthant(h, k, r, digits);
  if (b < 0.0) {
    NORSTA.IERR = 999;
    return 0.0f;
  }
  return static_cast<float>(b);
}

float NORINT3(double h, double k, double r, int digits) {
  const double b = norint_orthant(h, k, r, digits);
  if (b < 0.0) runtime::stop("");
  return static_cast<float>(b);
}

double NORDEV(double p, int& FAULT) {
  FAULT = 0;
  const double q = std::min(p, 1.0 - p);
  if (!(q >= 1e-20)) {
    FAULT = 1;
    return 0.0;
  }
  if (q == 0.5) return 0.0;
  // The deviate of the smaller tail to working precision, signed by p.
  const double t = -PHINV(q);
  return p < 0.5 ? -t : t;
}

void PKFACT(std::span<const double> A, std::span<double> OUT1, std::span<double> OUT2, int N,
            double& DET, int& FAULT) {
  FAULT = 4;
  DET = 1.0;
  const auto len = static_cast<std::size_t>(packed_size(std::max(N, 0)));
  if (N < 1 || A.size() < len || OUT1.size() < static_cast<std::size_t>(N) || OUT2.size() < len)
    return;
  const double tiny = static_cast<double>(5e-8f);
  auto U = [&](int i, int j) -> double& {  // u(i, j), i <= j, held as U'(j, i)
    return OUT2[static_cast<std::size_t>(packed_offset(j, i))];
  };
  auto a = [&](int i, int j) { return A[static_cast<std::size_t>(packed_offset_sym(i, j))]; };
  for (int i = N; i >= 1; --i) {
    double piv = a(i, i);
    for (int k = i + 1; k <= N; ++k) piv -= U(i, k) * U(i, k);
    if (!(piv > tiny)) return;
    DET *= piv;
    OUT1[static_cast<std::size_t>(N - i)] = 1.0 / piv;
    const double d = std::sqrt(piv);
    U(i, i) = d;
    for (int j = i - 1; j >= 1; --j) {
      double s = a(j, i);
      for (int k = i + 1; k <= N; ++k) s -= U(j, k) * U(i, k);
      U(j, i) = s / d;
    }
  }
  FAULT = 0;
}

void NORINT1(std::span<const double> UPPER, std::span<const double> LOWER,
             std::span<const double> RHO, double TOL, int N, std::span<const int> KIND,
             double& VALUE, double& BOUND, int& FAULT) {
  Norsta& S = NORSTA;
  FAULT = 0;
  if (TOL <= 1e-8) {
    FAULT = 2;
    return;
  }
  const auto n = static_cast<std::size_t>(N);
  if (N < 1 || N > kNorMaxVar || UPPER.size() < n || LOWER.size() < n || KIND.size() < n ||
      RHO.size() < strict_size(n)) {
    FAULT = 3;
    return;
  }
  for (std::size_t i = 0; i < n; ++i)
    if (KIND[i] == 2 && LOWER[i] > UPPER[i]) FAULT = 100 + static_cast<int>(i) + 1;
  if (FAULT != 0) return;
  BOUND = TOL;
  int nf = 0;
  const double t = static_cast<double>(1e-8f) -
                   NORDEV(static_cast<double>(0.15f) * TOL / N, nf);
  if (nf != 0) {
    FAULT = 1;
    return;
  }
  int ifail = -1;
  const double q = static_cast<float>(numlib::PNORMUP(t, ifail));
  if (N > 2) {
    for (int i = 1; i <= N; ++i) {
      for (int j = 1; j < i; ++j)
        S.R[static_cast<std::size_t>(packed_offset(i, j))] = RHO[static_cast<std::size_t>(strict_offset(i, j))];
      S.R[static_cast<std::size_t>(packed_offset(i, i))] = 1.0;
    }
    double det;
    int pf;
    PKFACT(S.R, S.F1, S.F2, N, det, pf);
    if (pf != 0) {
      FAULT = pf;
      return;
    }
  }
  VALUE = 0.0;
  // Clip every interval to [-T, T]; each side cut off adds its tail to the
  // error account.
  const double inf = std::numeric_limits<double>::infinity();
  double account = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    double lo = KIND[i] == 1 ? -inf : LOWER[i];
    double up = KIND[i] == 0 ? inf : UPPER[i];
    if (!(std::fabs(lo) <= t)) {
      account += q;
      lo = std::clamp(lo, -t, t);
    }
    if (!(std::fabs(up) <= t)) {
      account += q;
      up = std::clamp(up, -t, t);
    }
    if (up <= lo) return;
    S.LO[i] = lo;
    S.UP[i] = up;
    S.KD[i] = 2;
  }
  double err = 0.0;
  if (N == 1) {
    VALUE = static_cast<double>(static_cast<float>(PHITL(S.UP[0]))) -
            static_cast<double>(static_cast<float>(PHITL(S.LO[0])));
  } else if (N == 2) {
    const double r = RHO[0];
    if (r != 0.0 && 1.0 - r * r < 0.0) {
      FAULT = 4;
      return;
    }
    VALUE = static_cast<double>(NORINT3(S.LO[0], S.LO[1], r, 15)) -
            static_cast<double>(NORINT3(S.UP[0], S.LO[1], r, 15)) -
            static_cast<double>(NORINT3(S.LO[0], S.UP[1], r, 15)) +
            static_cast<double>(NORINT3(S.UP[0], S.UP[1], r, 15));
    err = 4.0 * std::numeric_limits<float>::epsilon();
  } else {
    // The leading dimensions by the adaptive integrator over the clipped box.
    int inform;
    MVNADP(N, std::span<const double>(S.LO.data(), n), std::span<const double>(S.UP.data(), n),
           std::span<const int>(S.KD.data(), n), RHO, 1000000, 0.5 * TOL, 0.0, err, VALUE, inform);
  }
  BOUND = std::max(TOL, account + err);
}

}  // namespace qv::algebra
