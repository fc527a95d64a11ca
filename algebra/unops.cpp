#include "algebra/unops.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "algebra/eignorm.hpp"
#include "algebra/formmach.hpp"
#include "algebra/ftoken.hpp"
#include "algebra/packed.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/syminv.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/inverse.hpp"
#include "numlib/random.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::algebra {

using jobbase::ERRMSG;
using jobbase::icell;
using jobbase::kTypeCo;
using jobbase::kTypeFull;
using jobbase::kTypeSym;
using jobbase::MAINPR;
using runtime::kStdout;
using runtime::Vec1;
using runtime::write_fmt;
using runtime::write_list;

namespace {

// Smallest safe positive number of the library's machine constants,
// 2^-127 (1 + 2^-51): products of variances below it are not standardised.
constexpr double kStndMin = 5.87747175411144e-39;

// Rewrites the header of the temporary at t: the result's type, rows and columns.
void header(Vec1<double> X, int t, int type, int r, int c) {
  X(t) = type;
  X(t + 1) = r;
  X(t + 2) = c;
}

// A function of an empty matrix: its defined result is noted.
void empty_note(double value) {
  write_list(kStdout, {" NOTE: function of an empty matrix; its result is set to", value});
}

// Integer scratch of n entries.
std::span<int> int_scratch(int n) {
  if (n > kIntScratch) {
    write_list(kStdout, {" Available memory for integers ", kIntScratch});
    write_list(kStdout, {" Problem needs over ", n});
    ERRMSG(119);
  }
  return std::span<int>(FMFLAG.ISCR.data(), static_cast<std::size_t>(std::max(n, 1)));
}

void not_vector(int r, int c) {
  write_fmt(kStdout, "(a,i3,a,i3,a)", {"Matrix has ", r, " rows and ", c, " columns"});
  ERRMSG(96);
}

// The general inverse of the n x n array at v (column order; the caller
// has made sure the matrix is its own transpose) into B, with the
// diagnostic of a failure.
void general_inverse(Vec1<double> X, int v, int n, int B, int work) {
  int ifail = 1;
  const auto nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  // The factorisation works on a copy, so that a failure shows the matrix itself.
  WSCHK(work + n * n + n + 1);
  for (int k = 0; k < n * n; ++k) X(work + k) = X(v + k);
  numlib::F01AAF(X.from(work).span().first(nn), n, n, X.from(B).span().first(nn), n,
                 X.from(work + n * n).span().first(static_cast<std::size_t>(n) + 1), ifail);
  if (ifail != 0) {
    write_list(kStdout, {});
    write_list(kStdout, {" Failure to invert matrix of order", n});
    write_list(kStdout, {" Matrix itself is"});
    for (int i = 0; i < n; ++i)
      write_fmt(kStdout, "(6(1x,e12.4))",
                {std::span<const double>(X.ptr(v + i * n), static_cast<std::size_t>(n))});
    ERRMSG(43);
  }
}

// Inverse of the n x n operand whose values start at v, in place.
void inverse(Vec1<double> X, int v, int n) {
  const int s = MAINPR.WSTOP;
  const int p = runtime::packed_size(n);
  if (jobbase::ISSYM(X.from(v), n, n) == 1) {
    // Symmetric: through the packed Cholesky inverse.  A positive
    // semi-definite matrix gives its generalised inverse there (zero rows
    // and columns for the zero pivots); a matrix that is not positive
    // semi-definite goes to the general inverse, whose failure is reported.
    WSCHK(s + 2 * p + n + n * n + 1);
    int k = 0;
    for (int i = 0; i < n; ++i)
      for (int j = 0; j <= i; ++j) X(s + k++) = X(v + i * n + j);
    double det = 0.0;
    int nullity = 0, fault = 0;
    jobbase::SYMINV(X.from(s), n, X.from(s + p), X.from(s + 2 * p), det, 0, nullity, fault);
    if (fault == 0) {
      k = 0;
      for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) {
          const double a = X(s + p + k++);
          X(v + i * n + j) = a;
          X(v + j * n + i) = a;
        }
      return;
    }
    general_inverse(X, v, n, s, s + n * n);
    for (int k2 = 0; k2 < n * n; ++k2) X(v + k2) = X(s + k2);
    return;
  }
  WSCHK(s + n * n + n * (n + 1) + n + 1);
  INVMAT(X.from(v), X.from(s), n, n, X.from(s + n * n));
  for (int k = 0; k < n * n; ++k) X(v + k) = X(s + k);
  int iok = 0;
  jobbase::TRNSPI(X.from(v), n, n, n * n, Vec1<int>(int_scratch(1)), 1, iok);
  if (iok != 0) ERRMSG(30);
}

// Ranks (M01DAF) of the n values at v in the order given, into the integer scratch.
std::span<int> ranks_of(Vec1<double> X, int v, int n, const char* order) {
  auto rk = int_scratch(n);
  int ifail = 0;
  numlib::M01DAF(X.from(v).span().first(static_cast<std::size_t>(n)), 1, n, order, rk, ifail);
  return rk;
}

// Rearranges the n values at v by the ranks (M01EAF: value k moves to rank k).
void rearrange(Vec1<double> X, int v, int n, std::span<int> rk) {
  int ifail = 0;
  numlib::M01EAF(X.from(v).span().first(static_cast<std::size_t>(n)), 1, n, rk, ifail);
}

// Ranks taken from n stored values (truncated) at v with stride step.
std::span<int> ranks_from(Vec1<double> X, int v, int n, int step) {
  auto rk = int_scratch(n);
  for (int k = 0; k < n; ++k) rk[static_cast<std::size_t>(k)] = icell(X(v + k * step));
  return rk;
}

// The operand of a function: the temporary at t with the type, rows r and
// columns c of its header and its n = r*c values from v.
struct Operand {
  Vec1<double> X;
  int t, type, r, c, v, n;
  // Replaces every value x by fun(x).
  template <class F>
  void each(F fun) const {
    for (int k = 0; k < n; ++k) X(v + k) = fun(X(v + k));
  }
};

Operand operand_at(Vec1<double> X, int t) {
  const int r = icell(X(t + 1));
  const int c = icell(X(t + 2));
  return {X, t, icell(X(t)), r, c, t + 3, r * c};
}

// The compiler's trial evaluation: the functions that may fail on the
// values, or cost much, give only the result's shape.
bool trial() { return FMFLAG.TRIAL; }

// Each function below works on the operand temporary and leaves its result
// there.

// Negation (the unary minus).
void negate(const Operand& a) {
  a.each([](double x) { return -x; });
}

// "~": the inverse.
void invert(const Operand& a) {
  if (a.r != a.c) ERRMSG(29);
  if (!trial()) inverse(a.X, a.v, a.r);
}

// "'": the transpose; a symmetric operand (a DET result) is left as it is.
void transpose(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  if (a.type == kTypeSym) return;
  if (a.r >= 2 && a.c >= 2) {
    int iok = 0;
    const int iwrk = std::clamp((a.r + a.c) / 2, 1, kIntScratch);
    jobbase::TRNSPI(X.from(a.v), a.c, a.r, a.n, Vec1<int>(int_scratch(iwrk)), iwrk, iok);
    if (iok != 0) ERRMSG(30);
  }
  header(X, t, a.type, a.c, a.r);
}

// \DET: the determinant, a symmetric 1 x 1.
void determinant(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  if (a.r != a.c) ERRMSG(78);
  double det = 1.0;
  if (a.r == 0) {
    empty_note(det);
  } else {
    const int s = MAINPR.WSTOP;
    WSCHK(s + a.r);
    int ifail = 1;
    numlib::F03AAF(X.from(a.v).span().first(static_cast<std::size_t>(a.n)), a.r, a.r, det,
                   X.from(s).span().first(static_cast<std::size_t>(a.r)), ifail);
  }
  X(a.v) = det;
  header(X, t, kTypeSym, 1, 1);
}

// \TR: the sum of the diagonal.
void trace(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  if (a.r != a.c) ERRMSG(79);
  double s = 0.0;
  for (int i = 0; i < a.r; ++i) s += X(a.v + i * a.c + i);
  X(a.v) = s;
  header(X, t, kTypeFull, 1, 1);
}

// \EXP, \SQRT and \LN element by element (below 1e-30 the logarithm of 1e-31).
void exponential(const Operand& a) {
  if (!trial()) a.each([](double x) { return std::exp(x); });
}
void square_root(const Operand& a) {
  if (trial()) return;
  for (int k = 0; k < a.n; ++k)
    if (a.X(a.v + k) < 0.0) ERRMSG(107);
  a.each([](double x) { return std::sqrt(x); });
}
void logarithm(const Operand& a) {
  if (!trial()) a.each([](double x) { return std::log(x > 1e-30 ? x : 1e-31); });
}

// \V2D: a vector of length n on the diagonal of an n x n matrix.
void vector_to_diagonal(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  if (a.r != 1 && a.c != 1) not_vector(a.r, a.c);
  const int len = a.n;
  const int growth = len * len - len;
  WSCHK(MAINPR.WSTOP + growth);
  for (int i = len; i >= 1; --i) {
    const double d = X(a.v + i - 1);
    for (int j = len; j >= 1; --j) X(a.v + (i - 1) * len + j - 1) = (i == j) ? d : 0.0;
  }
  MAINPR.WSTOP += growth;
  header(X, t, kTypeFull, len, len);
}

// \D2V: the diagonal as a row.
void diagonal_to_vector(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  const int k = std::min(a.r, a.c);
  for (int i = 0; i < k; ++i) X(a.v + i) = X(a.v + i * a.c + i);
  header(X, t, kTypeFull, 1, k);
}

// \M2V: the elements row by row as a column.
void matrix_to_vector(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  header(X, t, kTypeFull, a.n, 1);
}

// \V2S: a vector holding the lower triangle by rows, as a symmetric matrix.
void vector_to_symmetric(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  const int n = a.n;
  if (a.r != 1 && a.c != 1) not_vector(a.r, a.c);
  int order = static_cast<int>((std::sqrt(8.0 * n + 1.0) - 1.0) / 2.0);
  while (runtime::packed_size(order) < n) ++order;
  while (order > 0 && runtime::packed_size(order) > n) --order;
  if (runtime::packed_size(order) != n) ERRMSG(108);
  // Expanded at once to full symmetric storage, the form every later
  // operator, function and result copy reads.
  const int growth = order * order - n;
  const int s = MAINPR.WSTOP + growth;
  WSCHK(s + n);
  for (int k = 0; k < n; ++k) X(s + k) = X(a.v + k);
  EXPMAT(X.from(a.v), X.from(s), kTypeSym, order, order, n);
  MAINPR.WSTOP += growth;
  header(X, t, kTypeFull, order, order);
}

// \V2F: a vector of length n*n as an n x n matrix, row by row.
void vector_to_full(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  const int n = a.n;
  if (a.r != 1 && a.c != 1) not_vector(a.r, a.c);
  int order = static_cast<int>(std::sqrt(static_cast<double>(n)));
  while (order * order < n) ++order;
  while (order > 0 && order * order > n) --order;
  if (order * order != n) ERRMSG(110);
  header(X, t, kTypeFull, order, order);
}

// \STND: element (i, j) over the root of the product of the diagonal
// elements i and j; a product too small to divide by leaves the element and
// is reported once.
void standardise(const Operand& a) {
  const Vec1<double> X = a.X;
  const int r = a.r, c = a.c, v = a.v;
  if (r != c) ERRMSG(141);
  if (trial()) return;
  const int s = MAINPR.WSTOP;
  WSCHK(s + r);
  for (int i = 0; i < r; ++i) X(s + i) = X(v + i * c + i);
  bool told = false;
  for (int i = 0; i < r && !told; ++i)
    for (int j = 0; j < r && !told; ++j) {
      const double prod = X(s + i) * X(s + j);
      if (prod < kStndMin) {
        told = true;
        write_list(kStdout, {" How am I supposed to take the square root of", prod, "?"});
        write_list(kStdout, {" Diagonal elements are:", X(s + i), X(s + j)});
        write_list(kStdout, {" Matrix is"});
        for (int i2 = 0; i2 < r; ++i2)
          write_fmt(kStdout, "(6(1x,d12.4))",
                    {std::span<const double>(X.ptr(v + i2 * c), static_cast<std::size_t>(c))});
        write_list(kStdout, {" Matrix not fully standardized"});
      }
    }
  for (int i = 0; i < r; ++i)
    for (int j = 0; j < r; ++j) {
      const double prod = X(s + i) * X(s + j);
      if (prod >= kStndMin) X(v + i * c + j) /= std::sqrt(prod);
    }
}

// \VECH: the lower triangle with the diagonal, column by column, as a column.
void lower_triangle_to_vector(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  const int s = MAINPR.WSTOP;
  WSCHK(s + a.n);
  for (int k = 0; k < a.n; ++k) X(s + k) = X(a.v + k);
  int k = 0;
  for (int j = 0; j < a.c; ++j)
    for (int i = j; i < a.r; ++i) X(a.v + k++) = X(s + i * a.c + j);
  header(X, t, kTypeFull, k, 1);
}

// \VEC: the elements column by column as a column.
void columns_to_vector(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  const int s = MAINPR.WSTOP;
  WSCHK(s + a.n);
  for (int k = 0; k < a.n; ++k) X(s + k) = X(a.v + k);
  int k = 0;
  for (int j = 0; j < a.c; ++j)
    for (int i = 0; i < a.r; ++i) X(a.v + k++) = X(s + i * a.c + j);
  header(X, t, kTypeFull, a.n, 1);
}

// \ABS and the run-time library's \COS, \COSH, \SIN, \SINH, \TAN, \TANH,
// element by element.
void absolute_value(const Operand& a) {
  a.each([](double x) { return std::fabs(x); });
}
void cosine(const Operand& a) {
  a.each([](double x) { return std::cos(x); });
}
void hyperbolic_cosine(const Operand& a) {
  a.each([](double x) { return std::cosh(x); });
}
void sine(const Operand& a) {
  a.each([](double x) { return std::sin(x); });
}
void hyperbolic_sine(const Operand& a) {
  a.each([](double x) { return std::sinh(x); });
}
void tangent(const Operand& a) {
  a.each([](double x) { return std::tan(x); });
}
void hyperbolic_tangent(const Operand& a) {
  a.each([](double x) { return std::tanh(x); });
}

// \MAX and \MIN: the largest and the smallest element, 1 x 1 (0 for an
// empty operand).
template <class Pick>
void extreme_element(const Operand& a, Pick pick) {
  const Vec1<double> X = a.X;
  double e = 0.0;
  if (a.n == 0) {
    empty_note(e);
  } else {
    e = X(a.v);
    for (int k = 1; k < a.n; ++k) e = pick(e, X(a.v + k));
  }
  X(a.v) = e;
  header(X, a.t, kTypeFull, 1, 1);
}
void largest_element(const Operand& a) {
  extreme_element(a, [](double e, double x) { return std::max(e, x); });
}
void smallest_element(const Operand& a) {
  extreme_element(a, [](double e, double x) { return std::min(e, x); });
}

// \SUM and \PROD: the elements combined in storage order, 1 x 1.
template <class Combine>
void combine_elements(const Operand& a, double start, Combine combine) {
  const Vec1<double> X = a.X;
  double e = start;
  for (int k = 0; k < a.n; ++k) e = combine(e, X(a.v + k));
  X(a.v) = e;
  header(X, a.t, kTypeFull, 1, 1);
}
void sum_of_elements(const Operand& a) {
  combine_elements(a, 0.0, [](double e, double x) { return e + x; });
}
void product_of_elements(const Operand& a) {
  combine_elements(a, 1.0, [](double e, double x) { return e * x; });
}

// \AORDER and \DORDER: the rank of each element of a column, in ascending
// ("A") or descending ("D") order.
void ranks_of_column(const Operand& a, const char* order) {
  const Vec1<double> X = a.X;
  if (a.c != 1) ERRMSG(184);
  if (a.r >= 1) {
    auto rk = ranks_of(X, a.v, a.r, order);
    for (int i = 0; i < a.r; ++i) X(a.v + i) = rk[static_cast<std::size_t>(i)];
  }
  header(X, a.t, kTypeFull, a.r, 1);
}
void ascending_ranks(const Operand& a) { ranks_of_column(a, "A"); }
void descending_ranks(const Operand& a) { ranks_of_column(a, "D"); }

// \SORTC: the columns rearranged by the ranks in the first row, which is
// dropped; a single row is sorted ascending.
void sort_columns(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  const int r = a.r, c = a.c, v = a.v;
  if (r >= 2) {
    if (!trial() && c >= 1) {
      for (int i = 1; i < r; ++i) rearrange(X, v + i * c, c, ranks_from(X, v, c, 1));
      for (int k = 0; k < (r - 1) * c; ++k) X(v + k) = X(v + c + k);
    }
    header(X, t, kTypeFull, r - 1, c);
  } else if (r == 1 && !trial() && c >= 1) {
    rearrange(X, v, c, ranks_of(X, v, c, "A"));
  }
}

// \SORTR: the rows rearranged by the ranks in the first column, which is
// dropped; a single column is sorted ascending.
void sort_rows(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  const int r = a.r, c = a.c, v = a.v;
  if (c >= 2) {
    if (!trial() && r >= 1) {
      const int s = MAINPR.WSTOP;
      WSCHK(s + r * (c - 1));
      for (int j = 1; j < c; ++j) {
        const int col = s + (j - 1) * r;
        for (int i = 0; i < r; ++i) X(col + i) = X(v + i * c + j);
        rearrange(X, col, r, ranks_from(X, v, r, c));
      }
      for (int i = 0; i < r; ++i)
        for (int j = 1; j < c; ++j) X(v + i * (c - 1) + j - 1) = X(s + (j - 1) * r + i);
    }
    header(X, t, kTypeFull, r, c - 1);
  } else if (c == 1 && !trial() && r >= 1) {
    rearrange(X, v, r, ranks_of(X, v, r, "A"));
  }
}

// \MEAN: the mean of each column, 1 x c.
void column_means(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  const int r = a.r, c = a.c, v = a.v;
  if (r == 0 && c > 0) empty_note(0.0);
  for (int j = 0; j < c; ++j) {
    double s = 0.0;
    for (int i = 0; i < r; ++i) s += X(v + i * c + j);
    X(v + j) = r > 0 ? s / r : 0.0;
  }
  header(X, t, kTypeFull, 1, c);
}

// \COV: the covariance matrix of the rows taken as observations, c x c.
void covariance_of_rows(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  const int r = a.r, c = a.c, v = a.v;
  const int growth = r < c ? c * (c - r) : 0;
  WSCHK(MAINPR.WSTOP + growth);
  if (!trial() && c >= 1) {
    const int p = runtime::packed_size(c);
    const int xbar = MAINPR.WSTOP + growth;
    const int ssp = xbar + c;
    WSCHK(ssp + p);
    for (int k = 0; k < c + p; ++k) X(xbar + k) = 0.0;
    double sw = 0.0;
    for (int i = 0; i < r; ++i) {
      int ifail = 1;
      numlib::G02BTF("M", c, 1.0, X.from(v + i * c).span().first(static_cast<std::size_t>(c)), 1, sw,
                     X.from(xbar).span().first(static_cast<std::size_t>(c)),
                     X.from(ssp).span().first(static_cast<std::size_t>(p)), ifail);
    }
    if (sw > 1.0)
      for (int k = 0; k < p; ++k) X(ssp + k) *= 1.0 / (r - 1);
    EXPMAT(X.from(v), X.from(ssp), kTypeSym, c, c, p);
  }
  MAINPR.WSTOP += growth;
  header(X, t, kTypeFull, c, c);
}

// \PART of the pair (A,B): the sub-matrix of A from row B1, column B2 to
// row B3, column B4.
void partition(const Operand& a) {
  const Vec1<double> X = a.X;
  const int t = a.t;
  const int r = a.r, c = a.c, v = a.v, n = a.n;
  const int rA = n >= 4 ? icell(X(v + n - 4)) : 0;
  const int cA = n >= 4 ? icell(X(v + n - 3)) : 0;
  const int rB = n >= 4 ? icell(X(v + n - 2)) : 0;
  const int cB = n >= 4 ? icell(X(v + n - 1)) : 0;
  const int expect = rA * cA + rB * cB + 4;
  if (r != 1 || n < 4 || n != expect || n == 4) {
    if (r == 1 && n == 4) ERRMSG(189);
    write_list(kStdout, {" Matrix has ", r, " rows and ", c, " columns"});
    write_list(kStdout, {" But it should have 1 row and ", expect, " columns"});
    ERRMSG(185);
  }
  if (rB * cB != 4) {
    write_list(kStdout, {});
    write_list(kStdout, {" Second matrix has ", rB, " rows and ", cB, " columns"});
    ERRMSG(186);
  }
  const int b = v + rA * cA;
  int r1 = icell(X(b)), c1 = icell(X(b + 1)), r2 = icell(X(b + 2)), c2 = icell(X(b + 3));
  if (r1 < 1 || r1 > rA || r2 < 1 || r2 > rA || c1 < 1 || c1 > cA || c2 < 1 || c2 > cA) {
    write_list(kStdout, {" Attempted partition from ", r1, c1, " to ", r2, c2});
    write_list(kStdout, {" From a matrix with ", rA, " rows and ", cA, " columns"});
    ERRMSG(188);
  }
  if (r2 < r1) std::swap(r1, r2);
  if (c2 < c1) std::swap(c1, c2);
  const int nr = r2 - r1 + 1, nc = c2 - c1 + 1;
  for (int i = 0; i < nr; ++i)
    for (int j = 0; j < nc; ++j) X(v + i * nc + j) = X(v + (r1 - 1 + i) * cA + (c1 - 1 + j));
  // The coordinates may change at run time: the compiler reserves room
  // for the largest partition of A.
  if (trial()) FMFLAG.GROWTH *= static_cast<double>(rA * cA) / static_cast<double>(nr * nc);
  header(X, t, kTypeFull, nr, nc);
}

// Code 63 (no keyword): a 1 x 1 shape under the trial flag, the operand
// itself otherwise.
void scalar_shape_in_trial(const Operand& a) {
  if (trial()) header(a.X, a.t, kTypeFull, 1, 1);
}

// \MBESI0, \SKEW, \KURT, \VLDATA, \VLID, \VLLEN, \SELMAT, \SELROWS and
// \SELCOLS: the operand itself.
void unchanged(const Operand&) {}

// The unary minus; the other codes are those of "~", "'" and the backslash
// keywords (FNKEYS).
constexpr int kNegation = 111;

// Carries out the function of a code: the table of one function per code.
// Returns false for a code that names none.  (A switch rather than an array
// of function pointers: the compiler then calls each function directly and
// may inline it, which keeps the dispatch as cheap as one switch.)
bool apply_function(int code, const Operand& a) {
  switch (code) {
    case kNegation: negate(a); break;                           // -
    case 31: invert(a); break;                                  // ~
    case 32: transpose(a); break;                               // '
    case 33: determinant(a); break;                             // DET
    case 34: trace(a); break;                                   // TR
    case 35: exponential(a); break;                             // EXP
    case 36: square_root(a); break;                             // SQRT
    case 37: logarithm(a); break;                               // LN
    case 38: vector_to_diagonal(a); break;                      // V2D
    case 39: diagonal_to_vector(a); break;                      // D2V
    case 40: matrix_to_vector(a); break;                        // M2V
    case 41: vector_to_symmetric(a); break;                     // V2S
    case 42: vector_to_full(a); break;                          // V2F
    case 43: real_eigenvalues(a.X, a.t); break;                 // EVAL
    case 44: real_eigenvectors(a.X, a.t); break;                // EVEC
    case 45: imaginary_eigenvectors(a.X, a.t); break;           // IVEC
    case 46: imaginary_eigenvalues(a.X, a.t); break;            // IVAL
    case 47: standardise(a); break;                             // STND
    case 48: lower_triangle_to_vector(a); break;                // VECH
    case 49: columns_to_vector(a); break;                       // VEC
    case 50: correlated_rectangle_probability(a.X, a.t); break; // MULN
    case 51: absolute_value(a); break;                          // ABS
    case 52: cosine(a); break;                                  // COS
    case 53: hyperbolic_cosine(a); break;                       // COSH
    case 54: sine(a); break;                                    // SIN
    case 55: hyperbolic_sine(a); break;                         // SINH
    case 56: tangent(a); break;                                 // TAN
    case 57: hyperbolic_tangent(a); break;                      // TANH
    case 58: largest_element(a); break;                         // MAX
    case 59: smallest_element(a); break;                        // MIN
    case 60: sum_of_elements(a); break;                         // SUM
    case 61: product_of_elements(a); break;                     // PROD
    case 62: normal_rectangle_probability(a.X, a.t); break;     // MNOR
    case 63: scalar_shape_in_trial(a); break;                   // (no keyword)
    case 64: truncated_normal_moments(a.X, a.t); break;         // MOMNOR
    case 65: unchanged(a); break;                               // MBESI0
    case 66: ascending_ranks(a); break;                         // AORDER
    case 67: descending_ranks(a); break;                        // DORDER
    case 68: sort_columns(a); break;                            // SORTC
    case 69: sort_rows(a); break;                               // SORTR
    case 70: column_means(a); break;                            // MEAN
    case 71: covariance_of_rows(a); break;                      // COV
    case 72: unchanged(a); break;                               // SKEW
    case 73: unchanged(a); break;                               // KURT
    case 74: partition(a); break;                               // PART
    case 75: unchanged(a); break;                               // VLDATA
    case 76: unchanged(a); break;                               // VLID
    case 77: unchanged(a); break;                               // VLLEN
    case 78: unchanged(a); break;                               // SELMAT
    case 79: unchanged(a); break;                               // SELROWS
    case 80: unchanged(a); break;                               // SELCOLS
    case 81: normal_density(a.X, a.t); break;                   // PDFNOR
    case 82: chi_squared_tail(a.X, a.t); break;                 // PCHI
    default: return false;
  }
  return true;
}

}  // namespace

void MATUNOP(Vec1<double> X, int& status) {
  auto& f = FMSTAK;
  const int fn = f.pend(f.NOPS - 1);
  int oc = f.val(f.NOUT - 1);
  if (oc > 0) {
    // A type from CO upward (CO itself, or a letter the group has not
    // declared) has nothing to load.
    if (icell(X(FMFLAG.MTBASE + oc - 1)) >= kTypeCo) {
      write_list(kStdout, {});
      write_list(kStdout, {" Error: matrix ", std::string(1, static_cast<char>('A' + oc - 1)), " referenced."});
      ERRMSG(66);
    }
    oc = UNDEFM(X, oc);
  }
  if (!apply_function(fn, operand_at(X, TMPADR(oc)))) {
    write_list(kStdout, {"OPERATION CODE IS ", fn});
    ERRMSG(25);
  }
  f.val(f.NOUT - 1) = oc;
  --f.NOPS;
  status = 1;
}

}  // namespace qv::algebra
