#include "numlib/quadrature.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"
#include "numlib/quadrature_rules.hpp"
#include "runtime/view1.hpp"

namespace qv::numlib {

using runtime::Vec1;

namespace {

constexpr int kNumCounts = static_cast<int>(rules::kCounts.size());

// Index of the largest stored count not above n (-1 when n is below every
// count), and IERR 0 when n is itself a count, 1 otherwise.
int pick_rule(int n, int& ierr) {
  int c = -1;
  for (int k = 0; k < kNumCounts && rules::kCounts[static_cast<std::size_t>(k)] <= n; ++k) c = k;
  ierr = (c >= 0 && rules::kCounts[static_cast<std::size_t>(c)] == n) ? 0 : 1;
  return c;
}

// Offset of rule c in a half-stored (symmetric) table and in a full table.
int half_offset(int c) {
  int off = 0;
  for (int k = 0; k < c; ++k) off += (rules::kCounts[static_cast<std::size_t>(k)] + 1) / 2;
  return off;
}
int full_offset(int c) {
  int off = 0;
  for (int k = 0; k < c; ++k) off += rules::kCounts[static_cast<std::size_t>(k)];
  return off;
}

// The start of every rule routine.  A bad parameter (bad) is IERR 2 with
// nothing set; otherwise WEIGHT and ABSCIS are set to 0 for 1..n and the rule
// to deliver is picked as pick_rule does.  -1: nothing to fill in.
int start_rule(bool bad, int n, const Vec1<double>& weight, const Vec1<double>& abscis, int& ierr) {
  if (bad) {
    ierr = 2;
    return -1;
  }
  for (int i = 1; i <= n; ++i) {
    weight(i) = 0.0;
    abscis(i) = 0.0;
  }
  return pick_rule(n, ierr);
}

// Unfolds a half-stored symmetric rule: position i and n+1-i get +t and -t,
// the middle position of an odd rule its t = 0.
template <class Put>
void unfold(const double (*table)[2], int c, Put put) {
  const int n = rules::kCounts[static_cast<std::size_t>(c)];
  const int off = half_offset(c);
  for (int i = 1; i <= n / 2; ++i) {
    const double t = table[off + i - 1][0];
    const double w = table[off + i - 1][1];
    put(i, t, w);
    put(n + 1 - i, -t, w);
  }
  if (n % 2 == 1) {
    const int mid = (n + 1) / 2;
    put(mid, table[off + mid - 1][0], table[off + mid - 1][1]);
  }
}

// Plain weights from adjusted ones: w exp(-e), zero (IERR 3) when too small.
void unadjust(int n, const Vec1<double>& weight, const Vec1<double>& abscis, double a, double b, bool hermite,
              int& ierr) {
  const double lmin = std::log(SAFEMIN());
  for (int i = 1; i <= n; ++i) {
    const double d = abscis(i) - a;
    const double lw = std::log(weight(i)) - (hermite ? b * d * d : b * d);
    if (lw < lmin) {
      weight(i) = 0.0;
      ierr = 3;
    } else {
      weight(i) = std::exp(lw);
    }
  }
}

}  // namespace

void GAUSHRM(double a, double b, int itype, int n, std::span<double> weight_s, std::span<double> abscis_s,
             int& ierr) {
  const Vec1<double> weight(weight_s), abscis(abscis_s);
  const int c = start_rule(b <= 0.0, n, weight, abscis, ierr);
  if (c < 0) return;
  const double s = std::sqrt(b);
  unfold(rules::kHermite, c, [&](int i, double t, double w) {
    abscis(i) = a + t / s;
    weight(i) = w / s;
  });
  if (itype != 1) unadjust(rules::kCounts[static_cast<std::size_t>(c)], weight, abscis, a, b, true, ierr);
}

void GAUSLAG(double a, double b, int itype, int n, std::span<double> weight_s, std::span<double> abscis_s,
             int& ierr) {
  const Vec1<double> weight(weight_s), abscis(abscis_s);
  const int c = start_rule(b == 0.0, n, weight, abscis, ierr);
  if (c < 0) return;
  const int nn = rules::kCounts[static_cast<std::size_t>(c)];
  const int off = full_offset(c);
  // For B < 0 the points lie below A; x = A + t/B runs the other way, which
  // the absolute value of the Jacobian 1/|B| accounts for.
  for (int i = 1; i <= nn; ++i) {
    abscis(i) = a + rules::kLaguerre[off + i - 1][0] / b;
    weight(i) = rules::kLaguerre[off + i - 1][1] / std::abs(b);
  }
  if (itype != 1) unadjust(nn, weight, abscis, a, b, false, ierr);
}

void GAUSLEG(double a, double b, int /*itype*/, int n, std::span<double> weight_s, std::span<double> abscis_s,
             int& ierr) {
  const Vec1<double> weight(weight_s), abscis(abscis_s);
  const int c = start_rule(false, n, weight, abscis, ierr);
  if (c < 0) return;
  const double h = (b - a) / 2.0;
  const double mid = (a + b) / 2.0;
  unfold(rules::kLegendre, c, [&](int i, double t, double w) {
    abscis(i) = mid + h * t;
    weight(i) = h * w;
  });
}

void GAUSRAT(double a, double b, int /*itype*/, int n, std::span<double> weight_s, std::span<double> abscis_s,
             int& ierr) {
  const double apb = a + b;
  const Vec1<double> weight(weight_s), abscis(abscis_s);
  const int c = start_rule(apb == 0.0, n, weight, abscis, ierr);
  if (c < 0) return;
  // x = 2 (A + B)/(t + 1) - B maps (-1, 1] onto the infinite range ending at
  // A; |dx/dt| = 2 |A + B|/(t + 1)^2.
  unfold(rules::kLegendre, c, [&](int i, double t, double w) {
    const double tp1 = t + 1.0;
    weight(i) = 2.0 * w * std::abs(apb) / (tp1 * tp1);
    abscis(i) = 2.0 * apb / tp1 - b;
  });
}

void D01BBF(QuadRule rule, double a, double b, int itype, int n, std::span<double> weight,
            std::span<double> abscis, int& ifail) {
  int ierr = 0;
  rule(a, b, itype, n, weight, abscis, ierr);
  ifail = ERREXIT(ifail, ierr, "D01BBF");
}

double D01FBF(int ndim, std::span<const int> nptvec_s, int lwa, std::span<const double> weight_s,
              std::span<const double> abscis_s, const D01fbfFun& fun, int& ifail) {
  constexpr int kMaxDim = 20;
  bool bad = ndim < 1 || ndim > kMaxDim;
  if (!bad) {
    const Vec1<const int> nptvec(nptvec_s);
    long long total = 0;  // the counts may be as large as the integer range
    for (int j = 1; j <= ndim; ++j) {
      bad = bad || nptvec(j) < 1;
      total += nptvec(j);
    }
    bad = bad || lwa < total;
  }
  if (bad) {
    ifail = ERREXIT(ifail, 1, "D01FBF");
    return 0.0;
  }
  const Vec1<const int> nptvec(nptvec_s);
  const Vec1<const double> weight(weight_s), abscis(abscis_s);

  // Index, rule offset and partial sum per dimension; level ndim + 1 collects the result.
  std::array<int, kMaxDim + 2> idx{}, off{};
  std::array<double, kMaxDim + 2> psum{};
  std::array<double, kMaxDim> x{};
  int o = 0;
  for (int j = 1; j <= ndim; ++j) {
    idx[j] = 1;
    off[j] = o;
    o += nptvec(j);
  }
  const std::span<const double> xs(x.data(), static_cast<std::size_t>(ndim));
  while (true) {
    double prod = 1.0;
    for (int j = 1; j <= ndim; ++j) {
      x[static_cast<std::size_t>(j - 1)] = abscis(off[j] + idx[j]);
      prod *= weight(off[j] + idx[j]);
    }
    psum[1] += prod * fun(ndim, xs);
    int j = 1;
    ++idx[1];
    while (j <= ndim && idx[j] > nptvec(j)) {
      idx[j] = 1;
      psum[j + 1] += psum[j];
      psum[j] = 0.0;
      ++j;
      if (j <= ndim) ++idx[j];
    }
    if (j > ndim) break;
  }
  ifail = 0;
  return psum[ndim + 1];
}

double D01BAF(QuadRule rule, double a, double b, int npts, const D01bafFun& fun, int& ifail) {
  constexpr int kMaxPts = 64;
  std::array<double, kMaxPts> w{}, x{};
  const int n = std::min(npts, kMaxPts);
  const std::size_t len = static_cast<std::size_t>(std::max(n, 0));
  int inner = 1;
  D01BBF(rule, a, b, 1, n, std::span<double>(w.data(), len), std::span<double>(x.data(), len), inner);
  if (inner > 1) {
    ifail = ERREXIT(ifail, inner, "D01BAF");
    return 0.0;
  }
  double sum = 0.0;
  for (std::size_t i = 0; i < len; ++i)
    if (w[i] != 0.0) sum += w[i] * fun(x[i]);
  ifail = ERREXIT(ifail, (inner == 1 || npts > kMaxPts) ? 1 : 0, "D01BAF");
  return sum;
}

}  // namespace qv::numlib
