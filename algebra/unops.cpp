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
#include "jobbase/workspace.hpp"
#include "numlib/inverse.hpp"
#include "numlib/random.hpp"
#include "runtime/units.hpp"

namespace qv::algebra {

using jobctl::ERRMSG;
using jobctl::icell;
using jobctl::MAINPR;
using runtime::kStdout;
using runtime::Vec1;
using runtime::write_fmt;
using runtime::write_list;

namespace {

// Smallest safe positive number of the library's machine constants,
// 2^-127 (1 + 2^-51): products of variances below it are not standardised.
constexpr double kStndMin = 5.87747175411144e-39;

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
  const int p = n * (n + 1) / 2;
  if (jobctl::ISSYM(X.from(v), n, n) == 1) {
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
    jobctl::SYMINV(X.from(s), n, X.from(s + p), X.from(s + 2 * p), det, 0, nullity, fault);
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
  jobctl::TRNSPI(X.from(v), n, n, n * n, Vec1<int>(int_scratch(1)), 1, iok);
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

}  // namespace

void MATUNOP(Vec1<double> X, int& status) {
  auto& f = FMSTAK;
  auto& m = FMFLAG;
  const int fn = f.pend(f.NOPS - 1);
  int oc = f.val(f.NOUT - 1);
  if (oc > 0) {
    if (icell(X(m.MTBASE + oc - 1)) >= 12) {
      write_list(kStdout, {});
      write_list(kStdout, {" Error: matrix ", std::string(1, static_cast<char>('A' + oc - 1)), " referenced."});
      ERRMSG(66);
    }
    oc = UNDEFM(X, oc);
  }
  const int t = TMPADR(oc);
  const int r = icell(X(t + 1));
  const int c = icell(X(t + 2));
  const int v = t + 3;
  const int n = r * c;
  const bool trial = m.TRIAL != 0;

  auto each = [&](auto fun) {
    for (int k = 0; k < n; ++k) X(v + k) = fun(X(v + k));
  };

  switch (fn) {
    case 111:  // negation
      each([](double a) { return -a; });
      break;
    case 31:  // inverse
      if (r != c) ERRMSG(29);
      if (!trial) inverse(X, v, r);
      break;
    case 32:  // transpose
      if (icell(X(t)) == 8) break;
      if (r >= 2 && c >= 2) {
        int iok = 0;
        const int iwrk = std::clamp((r + c) / 2, 1, kIntScratch);
        jobctl::TRNSPI(X.from(v), c, r, n, Vec1<int>(int_scratch(iwrk)), iwrk, iok);
        if (iok != 0) ERRMSG(30);
      }
      header(X, t, icell(X(t)), c, r);
      break;
    case 33: {  // determinant
      if (r != c) ERRMSG(78);
      double det = 1.0;
      if (r == 0) {
        empty_note(det);
      } else {
        const int s = MAINPR.WSTOP;
        WSCHK(s + r);
        int ifail = 1;
        numlib::F03AAF(X.from(v).span().first(static_cast<std::size_t>(n)), r, r, det,
                       X.from(s).span().first(static_cast<std::size_t>(r)), ifail);
      }
      X(v) = det;
      header(X, t, 8, 1, 1);
      break;
    }
    case 34: {  // trace
      if (r != c) ERRMSG(79);
      double s = 0.0;
      for (int i = 0; i < r; ++i) s += X(v + i * c + i);
      X(v) = s;
      header(X, t, 9, 1, 1);
      break;
    }
    case 35:
      if (!trial) each([](double a) { return std::exp(a); });
      break;
    case 36:
      if (!trial) {
        for (int k = 0; k < n; ++k)
          if (X(v + k) < 0.0) ERRMSG(107);
        each([](double a) { return std::sqrt(a); });
      }
      break;
    case 37:
      if (!trial) each([](double a) { return std::log(a > 1e-30 ? a : 1e-31); });
      break;
    case 38: {  // vector to diagonal
      if (r != 1 && c != 1) not_vector(r, c);
      const int len = n;
      const int growth = len * len - len;
      WSCHK(MAINPR.WSTOP + growth);
      for (int i = len; i >= 1; --i) {
        const double d = X(v + i - 1);
        for (int j = len; j >= 1; --j) X(v + (i - 1) * len + j - 1) = (i == j) ? d : 0.0;
      }
      MAINPR.WSTOP += growth;
      header(X, t, 9, len, len);
      break;
    }
    case 39: {  // diagonal to vector
      const int k = std::min(r, c);
      for (int i = 0; i < k; ++i) X(v + i) = X(v + i * c + i);
      header(X, t, 9, 1, k);
      break;
    }
    case 40:  // matrix to vector, row by row
      header(X, t, 9, n, 1);
      break;
    case 41: {  // vector to symmetric: the values are the lower triangle by rows
      if (r != 1 && c != 1) not_vector(r, c);
      int order = static_cast<int>((std::sqrt(8.0 * n + 1.0) - 1.0) / 2.0);
      while (order * (order + 1) / 2 < n) ++order;
      while (order > 0 && order * (order + 1) / 2 > n) --order;
      if (order * (order + 1) / 2 != n) ERRMSG(108);
      // Expanded at once to full symmetric storage, the form every later
      // operator, function and result copy reads.
      const int growth = order * order - n;
      const int s = MAINPR.WSTOP + growth;
      WSCHK(s + n);
      for (int k = 0; k < n; ++k) X(s + k) = X(v + k);
      EXPMAT(X.from(v), X.from(s), 8, order, order, n);
      MAINPR.WSTOP += growth;
      header(X, t, 9, order, order);
      break;
    }
    case 42: {  // vector to full, row by row
      if (r != 1 && c != 1) not_vector(r, c);
      int order = static_cast<int>(std::sqrt(static_cast<double>(n)));
      while (order * order < n) ++order;
      while (order > 0 && order * order > n) --order;
      if (order * order != n) ERRMSG(110);
      header(X, t, 9, order, order);
      break;
    }
    case 47: {  // standardise
      if (r != c) ERRMSG(141);
      if (trial) break;
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
      break;
    }
    case 48: {  // lower triangle with diagonal, column by column
      const int s = MAINPR.WSTOP;
      WSCHK(s + n);
      for (int k = 0; k < n; ++k) X(s + k) = X(v + k);
      int k = 0;
      for (int j = 0; j < c; ++j)
        for (int i = j; i < r; ++i) X(v + k++) = X(s + i * c + j);
      header(X, t, 9, k, 1);
      break;
    }
    case 49: {  // column by column
      const int s = MAINPR.WSTOP;
      WSCHK(s + n);
      for (int k = 0; k < n; ++k) X(s + k) = X(v + k);
      int k = 0;
      for (int j = 0; j < c; ++j)
        for (int i = 0; i < r; ++i) X(v + k++) = X(s + i * c + j);
      header(X, t, 9, n, 1);
      break;
    }
    case 51:
      each([](double a) { return std::fabs(a); });
      break;
    case 52:
      each([](double a) { return std::cos(a); });
      break;
    case 53:
      each([](double a) { return std::cosh(a); });
      break;
    case 54:
      each([](double a) { return std::sin(a); });
      break;
    case 55:
      each([](double a) { return std::sinh(a); });
      break;
    case 56:
      each([](double a) { return std::tan(a); });
      break;
    case 57:
      each([](double a) { return std::tanh(a); });
      break;
    case 58:
    case 59: {  // largest and smallest element
      double e = 0.0;
      if (n == 0) {
        empty_note(e);
      } else {
        e = X(v);
        for (int k = 1; k < n; ++k) e = (fn == 58) ? std::max(e, X(v + k)) : std::min(e, X(v + k));
      }
      X(v) = e;
      header(X, t, 9, 1, 1);
      break;
    }
    case 60:
    case 61: {  // sum and product of the elements
      double e = (fn == 60) ? 0.0 : 1.0;
      for (int k = 0; k < n; ++k) e = (fn == 60) ? e + X(v + k) : e * X(v + k);
      X(v) = e;
      header(X, t, 9, 1, 1);
      break;
    }
    case 66:
    case 67: {  // ranks of a column
      if (c != 1) ERRMSG(184);
      if (r >= 1) {
        auto rk = ranks_of(X, v, r, fn == 66 ? "A" : "D");
        for (int i = 0; i < r; ++i) X(v + i) = rk[static_cast<std::size_t>(i)];
      }
      header(X, t, 9, r, 1);
      break;
    }
    case 68: {  // sort the columns by the ranks in the first row
      if (r >= 2) {
        if (!trial && c >= 1) {
          for (int i = 1; i < r; ++i) rearrange(X, v + i * c, c, ranks_from(X, v, c, 1));
          for (int k = 0; k < (r - 1) * c; ++k) X(v + k) = X(v + c + k);
        }
        header(X, t, 9, r - 1, c);
      } else if (r == 1 && !trial && c >= 1) {
        rearrange(X, v, c, ranks_of(X, v, c, "A"));
      }
      break;
    }
    case 69: {  // sort the rows by the ranks in the first column
      if (c >= 2) {
        if (!trial && r >= 1) {
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
        header(X, t, 9, r, c - 1);
      } else if (c == 1 && !trial && r >= 1) {
        rearrange(X, v, r, ranks_of(X, v, r, "A"));
      }
      break;
    }
    case 70: {  // column means
      if (r == 0 && c > 0) empty_note(0.0);
      for (int j = 0; j < c; ++j) {
        double s = 0.0;
        for (int i = 0; i < r; ++i) s += X(v + i * c + j);
        X(v + j) = r > 0 ? s / r : 0.0;
      }
      header(X, t, 9, 1, c);
      break;
    }
    case 71: {  // covariance of the rows taken as observations
      const int growth = r < c ? c * (c - r) : 0;
      WSCHK(MAINPR.WSTOP + growth);
      if (!trial && c >= 1) {
        const int p = c * (c + 1) / 2;
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
        EXPMAT(X.from(v), X.from(ssp), 8, c, c, p);
      }
      MAINPR.WSTOP += growth;
      header(X, t, 9, c, c);
      break;
    }
    case 74: {  // partition of the pair (A,B): B holds first row, first column, last row, last column
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
      if (trial) m.GROWTH *= static_cast<double>(rA * cA) / static_cast<double>(nr * nc);
      header(X, t, 9, nr, nc);
      break;
    }
    case 43: case 44: case 45: case 46: case 50: case 62: case 64: case 81: case 82:
      MATUN7(X, fn, t);
      break;
    case 63:
      if (trial) header(X, t, 9, 1, 1);
      break;
    case 65: case 72: case 73: case 75: case 76: case 77: case 78: case 79: case 80:
      break;
    default:
      write_list(kStdout, {"OPERATION CODE IS ", fn});
      ERRMSG(25);
  }
  f.val(f.NOUT - 1) = oc;
  --f.NOPS;
  status = 1;
}

}  // namespace qv::algebra
