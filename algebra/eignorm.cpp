#include "algebra/eignorm.hpp"

#include <cmath>
#include <cstddef>
#include <span>

#include "algebra/formmach.hpp"
#include "algebra/mvnadp.hpp"
#include "algebra/mvnlattice.hpp"
#include "algebra/mvnsetup.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/syminv.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/distrib.hpp"
#include "numlib/eigen_gen.hpp"
#include "numlib/eigen_sym.hpp"
#include "numlib/quadrature.hpp"
#include "numlib/random.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::algebra {

using jobbase::ERRMSG;
using jobbase::icell;
using jobbase::MAINPR;
using runtime::kStdout;
using runtime::Vec1;
using runtime::write_list;

namespace {

// Correlations at or above this size are reported (0.99 in single precision).
constexpr double kCorrBound = static_cast<double>(0.99f);
// Relative tolerance of MNOR (0.05 in single precision).
constexpr double kMnorRelTol = static_cast<double>(0.05f);
// Point budget of MNOR's lattice integration.
constexpr int kMnorPoints = 210937500;

// Every result of these functions is a full matrix.
void header(Vec1<double> X, int t, int r, int c) {
  X(t) = jobbase::kTypeFull;
  X(t + 1) = r;
  X(t + 2) = c;
}

std::span<double> dspan(Vec1<double> X, int start, int n) {
  return std::span<double>(X.ptr(start), static_cast<std::size_t>(n > 0 ? n : 0));
}
std::span<const double> cspan(Vec1<double> X, int start, int n) { return dspan(X, start, n); }

// n entries of the formula machine's integer scratch from entry `from`.
std::span<int> iscr(int from, int n) {
  if (from + n > kIntScratch) {
    write_list(kStdout, {" Available memory for integers ", kIntScratch});
    write_list(kStdout, {" Problem needs over ", from + n});
    ERRMSG(119);
  }
  return std::span<int>(FMFLAG.ISCR.data() + from, static_cast<std::size_t>(n > 0 ? n : 0));
}

// Only the result's shape is wanted (the compiler's trial or the main
// program's evaluation after the script).
bool shape_only() { return FMFLAG.TRIAL || FMFLAG.SHAPE; }

// Makes the temporary a 1x1 result; an operand without values grows by the
// one value, and the top of the workspace moves on with it.
void scalar_result(Vec1<double> X, int t, int nvals) {
  if (nvals < 1) {
    WSCHK(MAINPR.WSTOP + 1);
    MAINPR.WSTOP += 1;
  }
  header(X, t, 1, 1);
}

// Copies the n x n row-ordered values at v into column order at a.
void to_columns(Vec1<double> X, int v, int a, int n) {
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) X(a + j * n + i) = X(v + i * n + j);
}

// Ascending ranks of the n values at p, in the integer scratch from `from`.
std::span<int> ascending_ranks(Vec1<double> X, int p, int n, int from) {
  auto rk = iscr(from, n);
  int ifail = 0;
  numlib::M01DAF(cspan(X, p, n), 1, n, "A", rk, ifail);
  return rk;
}

void rearrange(Vec1<double> X, int p, int n, std::span<int> rk) {
  int ifail = 0;
  numlib::M01EAF(dspan(X, p, n), 1, n, rk, ifail);
}

// The part of complex eigenvalues or eigenvectors a function gives.
enum class Part { kReal, kImaginary };

// EVAL and IVAL: n x 1.
void eigenvalues(Vec1<double> X, int t, Part part) {
  const int r = icell(X(t + 1)), c = icell(X(t + 2));
  if (r != c) ERRMSG(111);
  const int n = r, v = t + 3;
  header(X, t, n, 1);
  if (n == 0) return;
  const int s = MAINPR.WSTOP;
  if (jobbase::ISSYM(X.from(v), n, n) == 1) {
    // The operand is its own column-order form; F02AAF may overwrite it.
    WSCHK(s + 2 * n);
    int ifail = 0;
    numlib::F02AAF(dspan(X, v, n * n), n, n, dspan(X, s, n), dspan(X, s + n, n), ifail);
    for (int k = 0; k < n; ++k) X(v + k) = (part == Part::kReal) ? X(s + k) : 0.0;
    return;
  }
  const int a = s, rr = s + n * n, ri = rr + n;
  WSCHK(ri + n);
  to_columns(X, v, a, n);
  int ifail = 0;
  numlib::F02AFF(dspan(X, a, n * n), n, n, dspan(X, rr, n), dspan(X, ri, n), iscr(0, n), ifail);
  auto rk = ascending_ranks(X, rr, n, n);
  rearrange(X, rr, n, rk);
  rearrange(X, ri, n, rk);
  const int src = (part == Part::kReal) ? rr : ri;
  for (int k = 0; k < n; ++k) X(v + k) = X(src + k);
}

// EVEC and IVEC: n x n, eigenvector k in column k, the columns in the order
// of EVAL.
void eigenvectors(Vec1<double> X, int t, Part part) {
  const int r = icell(X(t + 1)), c = icell(X(t + 2));
  if (r != c) ERRMSG(112);
  const int n = r, v = t + 3, nn = n * n;
  header(X, t, n, n);
  if (n == 0) return;
  const int s = MAINPR.WSTOP;
  if (jobbase::ISSYM(X.from(v), n, n) == 1) {
    if (part == Part::kImaginary) {
      for (int k = 0; k < nn; ++k) X(v + k) = 0.0;
      return;
    }
    const int vec = s, val = s + nn, e = val + n;
    WSCHK(e + n);
    int ifail = 1;
    numlib::F02ABF(cspan(X, v, nn), n, n, dspan(X, val, n), dspan(X, vec, nn), n, dspan(X, e, n), ifail);
    if (ifail == 1) write_list(kStdout, {" Eigenvectors inaccurate"});
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < n; ++k) X(v + i * n + k) = X(vec + k * n + i);
    return;
  }
  const int a = s, vr = s + nn, vi = vr + nn, rr = vi + nn, ri = rr + n;
  WSCHK(ri + n);
  to_columns(X, v, a, n);
  int ifail = 0;
  numlib::F02AGF(dspan(X, a, nn), n, n, dspan(X, rr, n), dspan(X, ri, n), dspan(X, vr, nn), n,
                 dspan(X, vi, nn), n, iscr(0, n), ifail);
  const int src = (part == Part::kReal) ? vr : vi;
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < n; ++k) X(v + i * n + k) = X(src + k * n + i);
  auto rk = ascending_ranks(X, rr, n, n);
  for (int i = 0; i < n; ++i) rearrange(X, v + i * n, n, rk);
}

void correlation_note(int i, int j, double rho) {
  write_list(kStdout, {" Problem with correlation between variables ", i, "      and ", j});
  write_list(kStdout, {" It is supplied as ", rho, " which has absolute value > .99 "});
}

}  // namespace

// MULN (50): probability of a rectangle of the standard multivariate normal
// with the correlations of rows 1..n; rows n+1..n+3 upper limits, lower
// limits, limit types (0 lower only, 1 upper only, 2 both, 3 none).
void correlated_rectangle_probability(Vec1<double> X, int t) {
  const int r = icell(X(t + 1)), n = icell(X(t + 2)), v = t + 3;
  if (r != n + 3) ERRMSG(149);
  if (n > kMulnMaxVar) {
    write_list(kStdout, {" Too many or too few dimensions: N=", n});
    ERRMSG(150);
  }
  if (shape_only()) {
    scalar_result(X, t, r * n);
    return;
  }
  const int np = runtime::strict_size(n);
  const int lo = MAINPR.WSTOP, up = lo + n, rho = up + n;
  WSCHK(rho + np);
  auto kind = iscr(0, n);
  for (int i = 0; i < n; ++i) {
    X(up + i) = X(v + n * n + i);
    X(lo + i) = X(v + (n + 1) * n + i);
    const int code = icell(X(v + (n + 2) * n + i));
    kind[static_cast<std::size_t>(i)] = code == 0 ? 1 : code == 1 ? 0 : code == 3 ? -1 : code;
  }
  int k = 0;
  for (int i = 1; i < n; ++i)
    for (int j = 0; j < i; ++j) {
      const double c = X(v + i * n + j);
      if (std::fabs(c) >= kCorrBound) correlation_note(i + 1, j + 1, c);
      X(rho + k++) = c;
    }
  if (jobbase::FITOPT.DB == 2) {
    write_list(kStdout, {" Sigma", cspan(X, rho, np)});
    write_list(kStdout, {" upper, lower, type"});
    for (int row = n; row < n + 3; ++row) write_list(kStdout, {cspan(X, v + row * n, n)});
  }
  double value = 1.0;
  if (n > 0) {
    const int npts = 1000 * n;
    double error = 0.0;
    int inform = 0;
    MVNADP(n, cspan(X, lo, n), cspan(X, up, n), kind, cspan(X, rho, np), npts, MAINPR.EPOPT, 1.0, error,
           value, inform);
    if (inform == kMvnBudget) {
      write_list(kStdout, {" Warning: Integral inaccurate with", npts, " points"});
      ++NRMFUN.NINACC;
    } else if (inform == kMvnRange) {
      write_list(kStdout, {" Too many or too few dimensions: N=", n});
      ERRMSG(150);
    } else if (inform == kMvnNotPosDef) {
      write_list(kStdout, {" Correlation matrix not positive definite"});
      ERRMSG(150);
    } else if (inform != kMvnOk) {
      write_list(kStdout, {" Mulnor problem; error code: ", inform});
      write_list(kStdout, {" I'm not sure what this means."});
      ERRMSG(150);
    }
  }
  scalar_result(X, t, r * n);
  X(v) = value;
}

// MNOR (62): the same probability for N(means, covariance); rows 1..n the
// covariance, n+1 means, n+2 upper limits, n+3 lower limits, n+4 limit
// types (0 upper only, 1 lower only, 2 both, 3 or -1 the variable left out).
void normal_rectangle_probability(Vec1<double> X, int t) {
  const int r = icell(X(t + 1)), n = icell(X(t + 2)), v = t + 3;
  if (r != n + 4) ERRMSG(153);
  if (shape_only()) {
    scalar_result(X, t, r * n);
    return;
  }
  auto cov = [&](int i, int j) { return X(v + i * n + j); };
  const int lo = MAINPR.WSTOP, up = lo + n, rho = up + n;
  WSCHK(rho + runtime::strict_size(n));
  auto kind = iscr(0, n);
  auto keep = iscr(n, n);
  int m = 0;
  for (int i = 0; i < n; ++i) {
    const int code = icell(X(v + (n + 3) * n + i));
    if (code == 3 || code == -1) continue;
    const double var = cov(i, i);
    if (!(var > 0.0)) {
      // A limit cannot be standardised by a variance that is not positive.
      write_list(kStdout, {" Error - variance is LE 0 for variable", i + 1});
      write_list(kStdout, {" Variance is ", var});
      ERRMSG(232);
    }
    const double sd = std::sqrt(var);
    const double mean = X(v + n * n + i);
    const double upper = X(v + (n + 1) * n + i);
    const double lower = X(v + (n + 2) * n + i);
    const double su = (upper - mean) / sd;
    const double sl = (lower - mean) / sd;
    // Only a variable limited on both sides reads both limits.
    if (code >= 2 && sl > su) {
      write_list(kStdout, {" Problem with limits on variable #", i + 1});
      write_list(kStdout, {" Limits are:"});
      write_list(kStdout, {" Upper: ", upper, "; Standardized:", su});
      write_list(kStdout, {" Lower: ", lower, "; Standardized:", sl});
      ERRMSG(150);
    }
    X(up + m) = su;
    X(lo + m) = sl;
    kind[static_cast<std::size_t>(m)] = code;
    keep[static_cast<std::size_t>(m)] = i;
    ++m;
  }
  const int np = runtime::strict_size(m);
  int k = 0;
  for (int a = 1; a < m; ++a)
    for (int b = 0; b < a; ++b) {
      const int i = keep[static_cast<std::size_t>(a)], j = keep[static_cast<std::size_t>(b)];
      const double c = cov(i, j) / std::sqrt(cov(i, i) * cov(j, j));
      if (std::fabs(c) >= 1.0) correlation_note(i + 1, j + 1, c);
      X(rho + k++) = c;
    }
  const auto kinds = std::span<const int>(kind.data(), static_cast<std::size_t>(m));
  if (jobbase::FITOPT.DB == 2) {
    write_list(kStdout, {" Sigma", cspan(X, rho, np)});
    write_list(kStdout, {" means, upper, lower, type"});
    write_list(kStdout, {cspan(X, up, m)});
    write_list(kStdout, {cspan(X, lo, m)});
    write_list(kStdout, {cspan(X, v + (n + 3) * n, n)});
    write_list(kStdout, {kinds});
  }
  double value = 1.0;
  if (m > 0) {
    double error = 0.0;
    int inform = 0;
    MVNLAT(m, cspan(X, lo, m), cspan(X, up, m), kinds, cspan(X, rho, np), kMnorPoints, MAINPR.EPOPT,
           kMnorRelTol, error, value, inform);
    if (inform == kMvnBudget) {
      write_list(kStdout, {" Integral inaccurate with ", kMnorPoints, " points"});
    } else if (inform != kMvnOk) {
      write_list(kStdout, {" Mulnor problem; error code: ", inform});
      write_list(kStdout, {" I'm not sure what this means."});
      ERRMSG(150);
    }
  }
  if (jobbase::FITOPT.DB == 2) write_list(kStdout, {" Integral is ", value});
  scalar_result(X, t, r * n);
  X(v) = value;
}

namespace {

// Gauss rule size of MOMNOR from the requested number of points.
int momnor_points(double q) {
  if (q < 1.0) return 16;
  if (q >= 64.0) return 64;
  static constexpr int kCounts[] = {48, 32, 24, 20, 16, 14, 12, 10, 8, 6, 5, 4, 3, 2, 1};
  for (int c : kCounts)
    if (c <= q) return c;
  return 1;
}

// The product-rule integral of MOMINT over the rules of the n variables.
double moment_integral(Vec1<double> X, int n, std::span<const int> pts, int total, int w, int a) {
  static const numlib::D01fbfFun kMomint = jobbase::MOMINT;
  int ifail = 0;
  return numlib::D01FBF(n, pts, total, cspan(X, w, total), cspan(X, a, total), kMomint, ifail);
}

}  // namespace

// MOMNOR (64): means and second moments about the untruncated means of a
// multivariate normal truncated at thresholds.  Rows 1..n the covariance,
// n+1 means, n+2 thresholds in standardised units, n+3 selection (1 above,
// -1 below, 0 none), n+4 quadrature points.  Result (n+1) x n: the second
// moments, then the means.
void truncated_normal_moments(Vec1<double> X, int t) {
  const int r = icell(X(t + 1)), n = icell(X(t + 2)), v = t + 3;
  if (r - 4 != n) ERRMSG(156);
  if (n > kMomnorMaxVar) {
    write_list(kStdout, {" Momnor takes at most", kMomnorMaxVar, " variables; N=", n});
    ERRMSG(150);
  }
  header(X, t, n + 1, n);
  if (shape_only() || n == 0) return;
  auto cov = [&](int i, int j) { return X(v + i * n + j); };
  auto thr = [&](int i) { return X(v + (n + 1) * n + i); };
  auto sel = [&](int i) { return icell(X(v + (n + 2) * n + i)); };

  auto pts = iscr(0, n);
  int total = 0;
  for (int i = 0; i < n; ++i) {
    pts[static_cast<std::size_t>(i)] = momnor_points(X(v + (n + 3) * n + i));
    total += pts[static_cast<std::size_t>(i)];
  }
  for (int i = 0; i < n; ++i)
    if (sel(i) != 0 && !(cov(i, i) > 0.0)) {
      write_list(kStdout, {" Error: threshold cannot be standardized"});
      write_list(kStdout, {" For variable", i + 1, " Variance is", cov(i, i)});
      ERRMSG(211);
    }
  const int sd = MAINPR.WSTOP, mean = sd + n, w = mean + n, a = w + total;
  WSCHK(a + total);
  // One Gauss rule per variable, with adjusted weights (the integrand is the
  // whole density): Hermite about 0 over the whole line for a variable not
  // selected, Laguerre from the threshold upward (scale 0.5) or downward
  // (scale -0.5) for a selected one.
  int off = 0;
  for (int i = 0; i < n; ++i) {
    const int p = pts[static_cast<std::size_t>(i)];
    int ifail = 0;
    if (sel(i) == 0)
      numlib::D01BBF(numlib::GAUSHRM, 0.0, 0.5, 1, p, dspan(X, w + off, p), dspan(X, a + off, p), ifail);
    else
      numlib::D01BBF(numlib::GAUSLAG, thr(i), sel(i) > 0 ? 0.5 : -0.5, 1, p, dspan(X, w + off, p),
                     dspan(X, a + off, p), ifail);
    off += p;
  }
  for (int i = 0; i < n; ++i) {
    X(sd + i) = std::sqrt(cov(i, i));
    X(mean + i) = X(v + n * n + i);
  }
  // The integrand's problem: the standardised normal with the correlations.
  auto& ms = jobbase::MOMSTA;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      ms.S[static_cast<std::size_t>(j * jobbase::kMomMax + i)] = cov(i, j) / std::sqrt(cov(i, i) * cov(j, j));
  for (int i = 0; i < n; ++i) ms.m[static_cast<std::size_t>(i)] = 0.0;
  ms.K.fill(0);
  ms.n = n;
  ms.recompute = true;
  {
    Vec1<double> S(ms.S.data(), static_cast<std::ptrdiff_t>(ms.S.size()));
    const double det = jobbase::MOMDET(S, n);
    if (!(det > 0.0)) {
      // The density does not exist: its integrals would be meaningless.
      write_list(kStdout, {" Momnor: the correlation matrix is not positive definite; determinant", det});
      ERRMSG(150);
    }
  }
  const double i0 = moment_integral(X, n, pts, total, w, a);
  // No probability in the region: the result keeps the untruncated
  // covariance and means (the first n+1 rows of the operand).
  if (!(i0 > 0.0)) return;
  auto K = [&](int i) -> int& { return ms.K[static_cast<std::size_t>(i)]; };
  for (int i = 0; i < n; ++i) {
    K(i) = 1;
    const double i1 = moment_integral(X, n, pts, total, w, a);
    K(i) = 0;
    X(v + n * n + i) = X(sd + i) * i1 / i0 + X(mean + i);
  }
  for (int i = 0; i < n; ++i)
    for (int j = i; j < n; ++j) {
      ++K(i);
      ++K(j);
      const double i2 = moment_integral(X, n, pts, total, w, a);
      K(i) = 0;
      K(j) = 0;
      const double e = X(sd + i) * X(sd + j) * i2 / i0;
      X(v + i * n + j) = e;
      X(v + j * n + i) = e;
    }
}

// PDFNOR (81): the density of x (row n+1) under N(means (row n+2), the
// covariance of rows 1..n).
void normal_density(Vec1<double> X, int t) {
  const int r = icell(X(t + 1)), n = icell(X(t + 2)), v = t + 3;
  if (r != n + 2) {
    write_list(kStdout, {" Pdfnor needs a matrix with 2 more rows than columns:"});
    write_list(kStdout, {" the covariance matrix, then the observed values, then the means"});
    ERRMSG(172);
  }
  if (shape_only()) {
    scalar_result(X, t, r * n);
    return;
  }
  const int p = runtime::packed_size(n);
  const int A = MAINPR.WSTOP, C = A + p, W = C + p, D = W + n;
  WSCHK(D + n);
  int k = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) X(A + k++) = X(v + i * n + j);
  double det = 0.0;
  int nullity = 0, fault = 0;
  jobbase::SYMINV(X.from(A), n, X.from(C), X.from(W), det, 1, nullity, fault);
  if (fault != 0) det = 0.0;
  for (int i = 0; i < n; ++i) X(D + i) = X(v + n * n + i) - X(v + (n + 1) * n + i);
  double q = 0.0;
  k = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) {
      const double term = X(D + i) * X(C + k++) * X(D + j);
      q += (i == j) ? term : 2.0 * term;
    }
  double value = 0.0;
  if (det > 0.0)
    value = std::pow(2.0 * MAINPR.PI, -n / 2.0) * std::pow(det, -0.5) * std::exp(-q / 2.0);
  scalar_result(X, t, r * n);
  X(v) = value;
}

// PCHI (82): each row (x, df) gives the upper tail of the chi-squared
// distribution at x, 1 when x <= 0 or df < 0.
void chi_squared_tail(Vec1<double> X, int t) {
  const int r = icell(X(t + 1)), c = icell(X(t + 2)), v = t + 3;
  if (c != 2) ERRMSG(224);
  header(X, t, r, 1);
  if (shape_only()) return;
  for (int i = 0; i < r; ++i) {
    const double x = X(v + 2 * i), df = X(v + 2 * i + 1);
    double p = 1.0;
    if (!(x <= 0.0 || df < 0.0)) {
      int ifail = 1;
      p = numlib::G01ECF('U', x, df, ifail);
    }
    X(v + i) = p;
  }
}

// EVAL and IVAL (43, 46), EVEC and IVEC (44, 45).
void real_eigenvalues(Vec1<double> X, int t) { eigenvalues(X, t, Part::kReal); }
void imaginary_eigenvalues(Vec1<double> X, int t) { eigenvalues(X, t, Part::kImaginary); }
void real_eigenvectors(Vec1<double> X, int t) { eigenvectors(X, t, Part::kReal); }
void imaginary_eigenvectors(Vec1<double> X, int t) { eigenvectors(X, t, Part::kImaginary); }

}  // namespace qv::algebra
