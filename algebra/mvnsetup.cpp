// Multivariate normal problem set-up, integrand and the exact bivariate case.
#include "algebra/mvnsetup.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "runtime/packidx.hpp"
#include "runtime/view1.hpp"

namespace qv::algebra {

using runtime::packed_index;
using runtime::strict_index;
using runtime::strict_size;
using runtime::Vec1;

namespace {

constexpr double kSqrt2Pi = 2.506628274631001;  // the constant of the density
constexpr double kTwoPi = 6.283185307179586;

// Single-precision thresholds of BVNUPP, widened to double.
constexpr double kBvnLow = static_cast<double>(0.3f);
constexpr double kBvnHigh = static_cast<double>(0.925f);

// Gauss-Legendre rules of 6, 12 and 20 points: the nodes of one sign with
// their weights.
constexpr double kGl6[3][2] = {
    {-9.32469514203152050e-01, 1.71324492379170357e-01},
    {-6.61209386466264482e-01, 3.60761573048138606e-01},
    {-2.38619186083196905e-01, 4.67913934572691037e-01},
};
constexpr double kGl12[6][2] = {
    {-9.81560634246719244e-01, 4.71753363865118278e-02},
    {-9.04117256370474909e-01, 1.06939325995318427e-01},
    {-7.69902674194304693e-01, 1.60078328543346221e-01},
    {-5.87317954286617483e-01, 2.03167426723065925e-01},
    {-3.67831498998180184e-01, 2.33492536538354806e-01},
    {-1.25233408511468913e-01, 2.49147045813402773e-01},
};
constexpr double kGl20[10][2] = {
    {-9.93128599185094885e-01, 1.76140071391521179e-02},
    {-9.63971927277913809e-01, 4.06014298003869387e-02},
    {-9.12234428251325946e-01, 6.26720483341090678e-02},
    {-8.39116971822218782e-01, 8.32767415767047547e-02},
    {-7.46331906460150796e-01, 1.01930119817240442e-01},
    {-6.36053680726515025e-01, 1.18194531961518412e-01},
    {-5.10867001950827126e-01, 1.31688638449176637e-01},
    {-3.73706088715419549e-01, 1.42096109318382041e-01},
    {-2.27785851141645068e-01, 1.49172986472603741e-01},
    {-7.65265211334973383e-02, 1.52753387130725837e-01},
};

// Largest |value| of a diagonal of the semi-definiteness check that still
// counts as zero; values of a correlation matrix carry rounding far below it.
constexpr double kPsdTol = 1e-10;

// Checks that the correlation matrix of the kept (flag >= 0) variables is
// positive semi-definite: symmetric Gaussian elimination with the largest
// remaining diagonal as pivot.  When every remaining diagonal is at most the
// tolerance, a semi-definite remainder has all its elements within it.
bool kept_matrix_is_psd(int N, Vec1<const double> rho, Vec1<const int> kind, Mvnsta& S) {
  int idx[kMvnMaxVar];
  int m = 0;
  for (int i = 1; i <= N; ++i)
    if (kind(i) >= 0) idx[m++] = i;
  if (m <= 1) return true;
  double* a = S.PDWORK.data();  // a[i + j*m], 0-based, full symmetric
  for (int c = 0; c < m; ++c) {
    a[c + c * m] = 1.0;
    for (int r = c + 1; r < m; ++r) {
      const int vi = idx[r], vj = idx[c];  // vi > vj
      const double v = rho(strict_index(vi, vj));
      if (!std::isfinite(v)) return false;
      a[r + c * m] = v;
      a[c + r * m] = v;
    }
  }
  for (int k = 0; k < m; ++k) {
    int p = k;
    for (int i = k + 1; i < m; ++i)
      if (a[i + i * m] > a[p + p * m]) p = i;
    if (a[p + p * m] <= kPsdTol) {
      for (int c = k; c < m; ++c) {
        if (a[c + c * m] < -kPsdTol) return false;
        for (int r = c + 1; r < m; ++r)
          if (std::fabs(a[r + c * m]) > kPsdTol) return false;
      }
      return true;
    }
    if (p != k) {  // symmetric exchange of k and p
      for (int j = 0; j < m; ++j) std::swap(a[k + j * m], a[p + j * m]);
      for (int i = 0; i < m; ++i) std::swap(a[i + k * m], a[i + p * m]);
    }
    const double piv = a[k + k * m];
    for (int c = k + 1; c < m; ++c) {
      const double f = a[c + k * m] / piv;
      for (int r = c; r < m; ++r) {
        a[r + c * m] -= f * a[r + k * m];
        a[c + r * m] = a[r + c * m];
      }
    }
  }
  return true;
}

}  // namespace

bool mvn_kept_psd(int N, std::span<const double> RHO, std::span<const int> KIND) {
  return kept_matrix_is_psd(N, Vec1<const double>(RHO), Vec1<const int>(KIND), MVNSTA);
}

void Mvnsta::reset() {
  A.fill(0.0);
  B.fill(0.0);
  KINDS.fill(0);
  FACT.fill(0.0);
  Y.fill(0.0);
  D = 0.0;
  E = 1.0;
  NDROP = 0;
  PDWORK.fill(0.0);
}

double PHITL(double z) {
  const double t = std::fabs(z);
  double tail;
  if (t > 37.0) {
    tail = 0.0;
  } else {
    const double ex = std::exp(-t * t / 2.0);
    if (t < 7.071067811865475) {
      const double p =
          ((((((0.03526249659989109 * t + 0.7003830644436881) * t + 6.37396220353165) * t +
              33.912866078383) * t + 112.0792914978709) * t + 221.2135961699311) * t +
           220.2068679123761);
      const double q =
          (((((((0.08838834764831845 * t + 1.755667163182642) * t + 16.06417757920695) * t +
               86.78073220294608) * t + 296.5642487796737) * t + 637.3336333788311) * t +
            793.8265125199484) * t + 440.4137358247522);
      tail = ex * p / q;
    } else {
      tail = ex / (t + 1.0 / (t + 2.0 / (t + 3.0 / (t + 4.0 / (t + 0.65))))) / kSqrt2Pi;
    }
  }
  return z > 0.0 ? 1.0 - tail : tail;
}

// The inverse is computed to working precision: a starting value with an
// absolute error below 5e-4 (the classical rational form in
// t = sqrt(-2 log r)) refined by two Halley steps on Phi(z) = r, the
// correction written relative to r so that it stays finite far in the tail.
double PHINV(double p) {
  const double q = (2.0 * p - 1.0) / 2.0;
  if (q == 0.0) return 0.0;
  if (std::isnan(q)) return q;
  const double r = std::min(p, 1.0 - p);
  if (!(r > 0.0)) return q < 0.0 ? -9.0 : 9.0;
  const double lr = std::log(r);
  const double t = std::sqrt(-2.0 * lr);
  double z = -(t - (2.515517 + (0.802853 + 0.010328 * t) * t) /
                       (1.0 + (1.432788 + (0.189269 + 0.001308 * t) * t) * t));
  for (int it = 0; it < 2; ++it) {
    const double rel = 0.5 * std::erfc(-z * 0.7071067811865476) / r - 1.0;
    const double u = rel * std::exp(lr + z * z / 2.0) * kSqrt2Pi;
    z -= u / (1.0 + z * u / 2.0);
  }
  return q < 0.0 ? z : -z;
}

void PHILIM(double a, double b, int flag, double& d, double& e) {
  d = 0.0;
  e = 1.0;
  if (flag < 0) return;
  if (flag != 0) d = PHITL(a);
  if (flag != 1) e = PHITL(b);
}

namespace {

// P(X > h, Y > k) by Drezner and Wesolowsky's quadrature, for finite h and k.
double bvn_upper(double h, double k, double r) {
  const double(*rule)[2];
  int ng;
  const double ar = std::fabs(r);
  if (ar < kBvnLow) {
    rule = kGl6;
    ng = 3;
  } else if (ar < 0.75) {
    rule = kGl12;
    ng = 6;
  } else {
    rule = kGl20;
    ng = 10;
  }
  double hk = h * k;
  double bvn = 0.0;
  if (ar < kBvnHigh) {
    const double hs = (h * h + k * k) / 2.0;
    const double asr = std::asin(r);
    for (int i = 0; i < ng; ++i) {
      const double x = rule[i][0], w = rule[i][1];
      double sn = std::sin(asr * (x + 1.0) / 2.0);
      bvn += w * std::exp((sn * hk - hs) / (1.0 - sn * sn));
      sn = std::sin(asr * (1.0 - x) / 2.0);
      bvn += w * std::exp((sn * hk - hs) / (1.0 - sn * sn));
    }
    return bvn * asr / (2.0 * kTwoPi) + PHITL(-h) * PHITL(-k);
  }
  if (r < 0.0) {
    k = -k;
    hk = -hk;
  }
  if (ar < 1.0) {
    const double as = (1.0 - r) * (1.0 + r);
    double a = std::sqrt(as);
    const double bs = (h - k) * (h - k);
    const double c = (4.0 - hk) / 8.0;
    const double d = (12.0 - hk) / 16.0;
    bvn = a * std::exp(-(bs / as + hk) / 2.0) *
          (1.0 - c * (bs - as) * (1.0 - d * bs / 5.0) / 3.0 + c * d * as * as / 5.0);
    if (hk > -160.0) {
      const double b = std::sqrt(bs);
      bvn -= std::exp(-hk / 2.0) * std::sqrt(kTwoPi) * PHITL(-b / a) * b *
             (1.0 - c * bs * (1.0 - d * bs / 5.0) / 3.0);
    }
    a /= 2.0;
    for (int i = 0; i < ng; ++i) {
      const double x = rule[i][0], w = rule[i][1];
      double xs = (a * (x + 1.0)) * (a * (x + 1.0));
      double rs = std::sqrt(1.0 - xs);
      bvn += a * w *
             (std::exp(-bs / (2.0 * xs) - hk / (1.0 + rs)) / rs -
              std::exp(-(bs / xs + hk) / 2.0) * (1.0 + c * xs * (1.0 + d * xs)));
      xs = as * (1.0 - x) * (1.0 - x) / 4.0;
      rs = std::sqrt(1.0 - xs);
      bvn += a * w * std::exp(-(bs / xs + hk) / 2.0) *
             (std::exp(-hk * (1.0 - rs) / (2.0 * (1.0 + rs))) / rs - (1.0 + c * xs * (1.0 + d * xs)));
    }
    bvn = -bvn / kTwoPi;
  }
  if (r > 0.0) return bvn + PHITL(-std::max(h, k));
  return -bvn + std::max(0.0, PHITL(-h) - PHITL(-k));
}

}  // namespace

double BVNUPP(double h, double k, double r) {
  // An infinite limit leaves the exact value: no mass above +infinity, the
  // one-variable tail when the other limit is -infinity.
  constexpr double inf = std::numeric_limits<double>::infinity();
  if (h == inf || k == inf) return 0.0;
  if (h == -inf && k == -inf) return 1.0;
  if (h == -inf) return PHITL(-k);
  if (k == -inf) return PHITL(-h);
  // The quadrature's rounding may leave a value a little outside [0, 1].
  const double p = bvn_upper(h, k, r);
  return p < 0.0 ? 0.0 : (p > 1.0 ? 1.0 : p);
}

void bvn_prepare(double r, BvnRule& P) {
  P.r = r;
  const double ar = std::fabs(r);
  P.quad = ar < kBvnHigh;
  if (!P.quad) return;
  const double(*rule)[2] = ar < kBvnLow ? kGl6 : (ar < 0.75 ? kGl12 : kGl20);
  const int ng = ar < kBvnLow ? 3 : (ar < 0.75 ? 6 : 10);
  const double asr = std::asin(r);
  P.n = 2 * ng;
  for (int i = 0; i < ng; ++i) {
    const double x = rule[i][0], w = rule[i][1];
    double sn = std::sin(asr * (x + 1.0) / 2.0);
    P.sn[2 * i] = sn;
    P.den[2 * i] = 1.0 - sn * sn;
    P.w[2 * i] = w;
    sn = std::sin(asr * (1.0 - x) / 2.0);
    P.sn[2 * i + 1] = sn;
    P.den[2 * i + 1] = 1.0 - sn * sn;
    P.w[2 * i + 1] = w;
  }
  P.asr = asr;
}

namespace {

// BVNUPP(h, k, r) with the rule prepared for r; tail(h) = PHITL(-h) given.
double bvn_upper_prepared(const BvnRule& P, double h, double k, double th, double tk) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  if (h == inf || k == inf) return 0.0;
  if (h == -inf && k == -inf) return 1.0;
  if (h == -inf) return tk;
  if (k == -inf) return th;
  if (!P.quad) return BVNUPP(h, k, P.r);
  const double hk = h * k;
  const double hs = (h * h + k * k) / 2.0;
  double bvn = 0.0;
  for (int i = 0; i < P.n; ++i) bvn += P.w[i] * std::exp((P.sn[i] * hk - hs) / P.den[i]);
  const double p = bvn * P.asr / (2.0 * kTwoPi) + th * tk;
  return p < 0.0 ? 0.0 : (p > 1.0 ? 1.0 : p);
}

}  // namespace

double bvn_rect_prepared(const BvnRule& P, std::span<const double> LOWER, std::span<const double> UPPER,
                         std::span<const int> KIND) {
  const double L1 = LOWER[0], L2 = LOWER[1], U1 = UPPER[0], U2 = UPPER[1];
  const int f1 = KIND[0], f2 = KIND[1];
  if (!P.quad) return BVNRECT(LOWER, UPPER, KIND, P.r);
  // The same combinations as BVNRECT; each limit's tail is taken once.
  const auto up = [&](double h, double k) { return bvn_upper_prepared(P, h, k, PHITL(-h), PHITL(-k)); };
  if (f1 == 2 && f2 == 2) {
    const double tl1 = PHITL(-L1), tu1 = PHITL(-U1), tl2 = PHITL(-L2), tu2 = PHITL(-U2);
    return bvn_upper_prepared(P, L1, L2, tl1, tl2) - bvn_upper_prepared(P, U1, L2, tu1, tl2) -
           bvn_upper_prepared(P, L1, U2, tl1, tu2) + bvn_upper_prepared(P, U1, U2, tu1, tu2);
  }
  if (f1 == 2 && f2 == 1) {
    const double tl2 = PHITL(-L2);
    return bvn_upper_prepared(P, L1, L2, PHITL(-L1), tl2) - bvn_upper_prepared(P, U1, L2, PHITL(-U1), tl2);
  }
  if (f1 == 1 && f2 == 2) {
    const double tl1 = PHITL(-L1);
    return bvn_upper_prepared(P, L1, L2, tl1, PHITL(-L2)) - bvn_upper_prepared(P, L1, U2, tl1, PHITL(-U2));
  }
  if (f1 == 2 && f2 == 0) {
    const double tu2 = PHITL(U2);
    return bvn_upper_prepared(P, -U1, -U2, PHITL(U1), tu2) - bvn_upper_prepared(P, -L1, -U2, PHITL(L1), tu2);
  }
  if (f1 == 0 && f2 == 2) {
    const double tu1 = PHITL(U1);
    return bvn_upper_prepared(P, -U1, -U2, tu1, PHITL(U2)) - bvn_upper_prepared(P, -U1, -L2, tu1, PHITL(L2));
  }
  if (f1 == 1 && f2 == 0) return BVNUPP(L1, -U2, -P.r);
  if (f1 == 0 && f2 == 1) return BVNUPP(-U1, L2, -P.r);
  if (f1 == 1 && f2 == 1) return up(L1, L2);
  if (f1 == 0 && f2 == 0) return up(-U1, -U2);
  return 0.0;
}

double BVNRECT(std::span<const double> LOWER, std::span<const double> UPPER,
               std::span<const int> KIND, double r) {
  const double L1 = LOWER[0], L2 = LOWER[1], U1 = UPPER[0], U2 = UPPER[1];
  const int f1 = KIND[0], f2 = KIND[1];
  if (f1 == 2 && f2 == 2)
    return BVNUPP(L1, L2, r) - BVNUPP(U1, L2, r) - BVNUPP(L1, U2, r) + BVNUPP(U1, U2, r);
  if (f1 == 2 && f2 == 1) return BVNUPP(L1, L2, r) - BVNUPP(U1, L2, r);
  if (f1 == 1 && f2 == 2) return BVNUPP(L1, L2, r) - BVNUPP(L1, U2, r);
  if (f1 == 2 && f2 == 0) return BVNUPP(-U1, -U2, r) - BVNUPP(-L1, -U2, r);
  if (f1 == 0 && f2 == 2) return BVNUPP(-U1, -U2, r) - BVNUPP(-U1, -L2, r);
  if (f1 == 1 && f2 == 0) return BVNUPP(L1, -U2, -r);
  if (f1 == 0 && f2 == 1) return BVNUPP(-U1, L2, -r);
  if (f1 == 1 && f2 == 1) return BVNUPP(L1, L2, r);
  if (f1 == 0 && f2 == 0) return BVNUPP(-U1, -U2, r);
  return 0.0;
}

void MVNSWAP(int p, int q, Mvnsta& S, int N) {
  Vec1<double> A(S.A.data(), kMvnMaxVar), B(S.B.data(), kMvnMaxVar);
  Vec1<int> K(S.KINDS.data(), kMvnMaxVar);
  Vec1<double> F(S.FACT.data(), kMvnMaxFact);
  std::swap(A(p), A(q));
  std::swap(B(p), B(q));
  std::swap(K(p), K(q));
  std::swap(F(packed_index(p, p)), F(packed_index(q, q)));
  for (int k = 1; k < p; ++k) std::swap(F(packed_index(p, k)), F(packed_index(q, k)));
  for (int k = p + 1; k < q; ++k) std::swap(F(packed_index(k, p)), F(packed_index(q, k)));
  for (int k = q + 1; k <= N; ++k) std::swap(F(packed_index(k, p)), F(packed_index(k, q)));
}

void MVNSORT(int N, std::span<const double> LOWER, std::span<const double> UPPER,
             std::span<const double> RHO, std::span<const int> KIND, Mvnsta& S) {
  Vec1<const double> lo(LOWER), up(UPPER), rho(RHO);
  Vec1<const int> kind(KIND);
  Vec1<double> A(S.A.data(), kMvnMaxVar), B(S.B.data(), kMvnMaxVar), Y(S.Y.data(), kMvnMaxVar);
  Vec1<int> K(S.KINDS.data(), kMvnMaxVar);
  Vec1<double> F(S.FACT.data(), kMvnMaxFact);

  // 1. Limits, flags and the rows of R.
  int ndrop = 0;
  for (int i = 1; i <= N; ++i) {
    K(i) = kind(i);
    A(i) = 0.0;
    B(i) = 0.0;
    if (K(i) < 0) {
      ++ndrop;
    } else {
      if (K(i) != 0) A(i) = lo(i);
      if (K(i) != 1) B(i) = up(i);
    }
    for (int j = 1; j < i; ++j) F(packed_index(i, j)) = rho(strict_index(i, j));
    F(packed_index(i, i)) = 1.0;
  }
  S.NDROP = ndrop;

  // 2. The dropped variables go behind the others.
  if (ndrop < N) {
    for (int i = N; i >= N - ndrop + 1; --i) {
      if (K(i) >= 0) {
        int j = 1;
        while (j < i && K(j) >= 0) ++j;
        if (j < i) MVNSWAP(j, i, S, N);
      }
    }
  }

  // 3-5. Choose each next variable by its smallest conditional probability,
  // factorise and compute its conditioning value.
  const int m = N - ndrop;
  for (int i = 1; i <= m; ++i) {
    double best = 1.0;
    int win = 0;
    double ws = 0.0, wa = 0.0, wb = 0.0, wd = 0.0, we = 1.0;
    for (int j = i; j <= m; ++j) {
      double sum = 0.0, ss = 0.0;
      for (int k = 1; k < i; ++k) {
        const double f = F(packed_index(j, k));
        sum += f * Y(k);
        ss += f * f;
      }
      double s2 = F(packed_index(j, j)) - ss;
      if (!(s2 > 0.0)) s2 = 0.0;  // also a value that is not a number
      const double s = std::sqrt(s2);
      if (s > 0.0) {
        const double aj = (A(j) - sum) / s, bj = (B(j) - sum) / s;
        double d = 0.0, e = 1.0;
        if (K(j) >= 0) {
          if (K(j) != 0) d = PHITL(aj);
          if (K(j) != 1) e = PHITL(bj);
        }
        if (e - d <= best) {
          best = e - d;
          win = j;
          ws = s;
          wa = aj;
          wb = bj;
          wd = d;
          we = e;
        }
      }
    }
    double s = 0.0;
    if (win != 0) {
      s = ws;
      if (win != i) MVNSWAP(i, win, S, N);
    }
    F(packed_index(i, i)) = s;
    for (int j = i + 1; j <= N; ++j) {
      if (s > 0.0) {
        double sum = F(packed_index(j, i));
        for (int k = 1; k < i; ++k) sum -= F(packed_index(i, k)) * F(packed_index(j, k));
        F(packed_index(j, i)) = sum / s;
      } else {
        F(packed_index(j, i)) = 0.0;
      }
    }
    if (s > 0.0) {
      const int fl = K(i);
      if (we > wd + 1e-8) {
        const double pa = (fl == 0) ? 0.0 : std::exp(-wa * wa / 2.0) / kSqrt2Pi;
        const double pb = (fl == 1) ? 0.0 : std::exp(-wb * wb / 2.0) / kSqrt2Pi;
        Y(i) = (pa - pb) / (we - wd);
      } else {
        Y(i) = fl == 0 ? wb : (fl == 1 ? wa : (wa + wb) / 2.0);
      }
      for (int k = 1; k <= i; ++k) F(packed_index(i, k)) /= s;
      if (fl != 0) A(i) /= s;
      if (fl != 1) B(i) /= s;
    } else {
      Y(i) = 0.0;
    }
  }

  // 6. Limits of the first variable.
  S.D = 0.0;
  S.E = 1.0;
  if (N >= 1 && K(1) >= 0) {
    if (K(1) != 0) S.D = PHITL(A(1));
    if (K(1) != 1) S.E = PHITL(B(1));
  }
}

int MVNSETUP(int N, std::span<const double> RHO, std::span<const double> LOWER,
             std::span<const double> UPPER, std::span<const int> KIND, int& NDROP, double& D,
             double& E) {
  Mvnsta& S = MVNSTA;
  const auto n = static_cast<std::size_t>(N < 0 ? 0 : N);
  if (N < 0 || N > kMvnMaxVar || LOWER.size() < n || UPPER.size() < n || KIND.size() < n ||
      RHO.size() < strict_size(n)) {
    NDROP = 0;
    D = 0.0;
    E = 0.0;
    return kMvnRange;
  }
  if (!kept_matrix_is_psd(N, Vec1<const double>(RHO), Vec1<const int>(KIND), S)) {
    NDROP = 0;
    D = 0.0;
    E = 0.0;
    return kMvnNotPosDef;
  }
  MVNSORT(N, LOWER, UPPER, RHO, KIND, S);
  if (N - S.NDROP == 2) {
    // The exact bivariate case.  The correlation of the two sorted variables
    // is the factor's (2,1) over the length of its row; a singular second
    // variable (stored diagonal 0, row unscaled) has correlation +-1.
    const double f2 = S.FACT[1], f3 = S.FACT[2];
    const double s = std::sqrt(f3 * f3 + f2 * f2);
    const double r = s > 0.0 ? f2 / s : 0.0;
    if (s > 0.0) {
      S.A[1] /= s;
      S.B[1] /= s;
    }
    S.E = BVNRECT(std::span<const double>(S.A.data(), 2), std::span<const double>(S.B.data(), 2),
                  std::span<const int>(S.KINDS.data(), 2), r);
    S.D = 0.0;
    S.NDROP += 1;
  }
  NDROP = S.NDROP;
  D = S.D;
  E = S.E;
  return kMvnOk;
}

double mvn_conditional_steps(int steps, std::span<const double> W, double& d, double& e) {
  const Mvnsta& S = MVNSTA;
  const double* F = S.FACT.data();
  double* Y = MVNSTA.Y.data();
  d = S.D;
  e = S.E;
  double prod = e - d;
  int pos = 1;  // 0-based start of row i+1 of the packed triangle
  for (int i = 0; i < steps; ++i) {
    Y[i] = PHINV(d + W[static_cast<std::size_t>(i)] * (e - d));
    double sum = 0.0;
    for (int j = 0; j <= i; ++j) sum += F[pos + j] * Y[j];
    const double diag = F[pos + i + 1];
    const double a = S.A[static_cast<std::size_t>(i + 1)] - sum;
    const double b = S.B[static_cast<std::size_t>(i + 1)] - sum;
    const int fl = S.KINDS[static_cast<std::size_t>(i + 1)];
    if (diag > 0.0) {
      PHILIM(a, b, fl, d, e);
    } else {
      // Singular step: the variable is fixed by the earlier ones, so the
      // factor is 1 inside its limits and 0 outside; an infinite side (by
      // its flag) never excludes.
      d = (fl != 0 && a >= 0.0) ? 1.0 : 0.0;
      e = (fl == 1 || b >= 0.0) ? 1.0 : 0.0;
    }
    prod *= e - d;
    pos += i + 2;
  }
  return prod;
}

double MVNINTG(int M, std::span<const double> W) {
  double d = 0.0, e = 0.0;
  return mvn_conditional_steps(M, W, d, e);
}

// ---- Shared by the integrators --------------------------------------------

bool mvn_settle(int CODE, int M, double D, double E, double& ERROR, double& VALUE) {
  if (CODE != 0) {
    VALUE = 0.0;
    ERROR = 1.0;
  } else if (M == 0) {
    VALUE = 1.0;
    ERROR = 0.0;
  } else if (M == 1) {
    VALUE = E - D;
    ERROR = static_cast<double>(2e-16f);
  } else {
    return false;
  }
  return true;
}

bool mvn_nan_limit(int N, std::span<const double> LOWER, std::span<const double> UPPER,
                   std::span<const int> KIND, double& ERROR, double& VALUE) {
  const auto n = static_cast<std::size_t>(N < 0 ? 0 : N);
  if (LOWER.size() < n || UPPER.size() < n || KIND.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const int fl = KIND[i];
    if (fl < 0) continue;
    if ((fl != 0 && std::isnan(LOWER[i])) || (fl != 1 && std::isnan(UPPER[i]))) {
      VALUE = std::numeric_limits<double>::quiet_NaN();
      ERROR = VALUE;
      return true;
    }
  }
  return false;
}

int mvn_prepare(int N, int NMAX, std::span<const double> LOWER, std::span<const double> UPPER,
                std::span<const int> KIND, std::span<const double> RHO, double& ERROR,
                double& VALUE, int& INFORM) {
  int ndrop = 0;
  double d = 0.0, e = 1.0;
  if (N >= 1 && N <= NMAX && mvn_nan_limit(N, LOWER, UPPER, KIND, ERROR, VALUE)) {
    INFORM = kMvnOk;
    return 0;
  }
  INFORM = (N < 1 || N > NMAX) ? kMvnRange : MVNSETUP(N, RHO, LOWER, UPPER, KIND, ndrop, d, e);
  const int m = N - ndrop;
  return mvn_settle(INFORM, m, d, e, ERROR, VALUE) ? 0 : m;
}

void mvn_merge_pass(double mean, double var, double& WEIGHT, double& VALUE, double& ERROR) {
  const double product = WEIGHT * var;
  VALUE = VALUE + (mean - VALUE) / (1.0 + product);
  if (var > 0.0) WEIGHT = (1.0 + product) / var;
  ERROR = 3.0 * std::sqrt(var / (1.0 + product));
}

int mvn_next_pass(int NS, double ERROR, double eps, long room) {
  const double want = eps > 0.0 ? NS * (ERROR / eps) * (ERROR / eps) : static_cast<double>(room);
  const long want_l = want < static_cast<double>(room) ? static_cast<long>(want) : room;
  return static_cast<int>(std::max(10L, want_l));
}

}  // namespace qv::algebra
