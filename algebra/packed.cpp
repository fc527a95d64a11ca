#include "algebra/packed.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <string>

#include "jobbase/errmsg.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/syminv.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/inverse.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::algebra {

using runtime::kStdout;
using runtime::write_fmt;
using runtime::write_list;

namespace {

using jobbase::kTypeDiag;
using jobbase::kTypeFull;
using jobbase::kTypeIdent;
using jobbase::kTypeIdZero;
using jobbase::kTypeLower;
using jobbase::kTypeStand;
using jobbase::kTypeSubdiag;
using jobbase::kTypeSym;
using jobbase::kTypeUnit;
using jobbase::kTypeViewSym;
using jobbase::kTypeZero;
using jobbase::kTypeZeroId;

// The types the expansion knows: the declared types up to UN, and stored
// data held as symmetric.
bool expandable(int type) { return type >= kTypeViewSym && type <= kTypeUnit; }

// Fills the rows x cols array (row by row) from the stored values of a
// matrix; value(k) gives stored element k, fixed(v) turns a fixed entry
// into the array's element type.
template <class T, class Get>
void expand(Vec1<T> full, int type, int rows, int cols, Get value, bool st_diag_one) {
  const int r = rows, c = cols;
  auto at = [&](int i, int j) -> T& { return full((i - 1) * c + j); };
  for (int i = 1; i <= r; ++i)
    for (int j = 1; j <= c; ++j) at(i, j) = T(0);
  switch (type) {
    case kTypeZero:
      break;
    case kTypeIdent:
    case kTypeIdZero:  // identity on the left, zeros to the right
      for (int i = 1; i <= r; ++i)
        if (i <= c) at(i, i) = T(1);
      break;
    case kTypeZeroId:  // zeros on the left, identity on the right
      for (int i = 1; i <= r; ++i)
        for (int j = 1; j <= c; ++j)
          if (j - i == c - r) at(i, j) = T(1);
      break;
    case kTypeDiag:
      for (int i = 1; i <= r && i <= c; ++i) at(i, i) = value(i);
      break;
    case kTypeSubdiag:  // strict lower triangle, zero on and above the diagonal
    case kTypeStand:    // strict lower triangle mirrored, unit diagonal
    {
      int k = 0;
      for (int i = 2; i <= r; ++i)
        for (int j = 1; j < i && j <= c; ++j) {
          at(i, j) = value(++k);
          if (type == kTypeStand && i <= c && j <= r) at(j, i) = at(i, j);
        }
      if (type == kTypeStand && st_diag_one)
        for (int i = 1; i <= r && i <= c; ++i) at(i, i) = T(1);
      break;
    }
    case kTypeViewSym:
    case kTypeSym:    // lower triangle mirrored
    case kTypeLower:  // lower triangle, zero above
    {
      int k = 0;
      for (int i = 1; i <= r; ++i)
        for (int j = 1; j <= i && j <= c; ++j) {
          at(i, j) = value(++k);
          if (type != kTypeLower && i <= c && j <= r) at(j, i) = at(i, j);
        }
      break;
    }
    case kTypeFull:
      for (int k = 1; k <= r * c; ++k) full(k) = value(k);
      break;
    case kTypeUnit:
      for (int k = 1; k <= r * c; ++k) full(k) = T(1);
      break;
    default:
      break;
  }
}

}  // namespace

void EXPMAT(Vec1<double> full, Vec1<double> stored, int type, int rows, int cols, int count) {
  if (!expandable(type)) jobbase::ERRMSG(36);
  expand<double>(full, type, rows, cols, [&](int k) { return stored(k); }, true);
}

void EXPPAT(Vec1<int> full, Vec1<double> stored, int type, int rows, int cols, int count) {
  if (!expandable(type)) jobbase::ERRMSG(36);
  expand<int>(full, type, rows, cols, [&](int k) { return static_cast<int>(stored(k)); }, false);
}

void INVMAT(Vec1<double> A, Vec1<double> B, int rows, int cols, Vec1<double> work) {
  if (rows != cols) jobbase::ERRMSG(29);
  const int n = rows;
  // A square matrix is transposed by swapping, so the cycle marks are not
  // needed; TRNSPI still wants a positive count of them.
  std::array<int, 1> move{};
  int iok = 0;
  jobbase::TRNSPI(A, n, n, n * n, Vec1<int>(move.data(), 1), std::max((rows + cols) / 2, 1), iok);
  if (iok != 0) jobbase::ERRMSG(30);

  if (jobbase::ISSYM(A, n, n) == 1) {
    const int p = runtime::packed_size(n);
    Vec1<double> P = work;
    Vec1<double> C = work.from(p + 1);
    Vec1<double> W = work.from(2 * p + 1);
    int k = 0;
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= i; ++j) P(++k) = A((j - 1) * n + i);
    double det = 0.0;
    int nullity = 0, fault = 0;
    jobbase::SYMINV(P, n, C, W, det, 0, nullity, fault);
    if (fault == 0) {
      k = 0;
      for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= i; ++j) {
          ++k;
          B((i - 1) * n + j) = C(k);
          B((j - 1) * n + i) = C(k);
        }
      return;
    }
  }

  // The factorisation overwrites its matrix with the LU factors, so it works
  // on a copy in the work space (pivots in work(1..n+1), the copy after them)
  // and A stays the matrix that a failure shows.
  const auto nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  Vec1<double> F = work.from(n + 2);
  for (int k = 1; k <= n * n; ++k) F(k) = A(k);
  int ifail = 1;
  numlib::F01AAF(F.span().first(nn), n, n, B.span().first(nn), n,
                 work.span().first(static_cast<std::size_t>(n) + 1), ifail);
  if (ifail != 0) {
    write_list(kStdout, {});
    write_list(kStdout, {" Failure to invert matrix of order", n});
    write_list(kStdout, {" Matrix itself is"});
    // Each row of the matrix (column-major in A here) in one record; B is
    // free as scratch.
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) B(j) = A((j - 1) * n + i);
      write_fmt(kStdout, "(6(1x,e12.4))", {std::span<const double>(B.ptr(1), static_cast<std::size_t>(n))});
    }
    jobbase::ERRMSG(43);
  }
}

void PATPUT(Vec1<double> X, int g, int NG, int ignored, int n, int offset, int keys) {
  const int list = jobbase::icell(jobbase::GRPTAB(X, NG, jobbase::gcol::kParList, g));
  if (list < 1) return;
  const int count = static_cast<int>(X(list));
  for (int m = 1; m <= count; ++m) {
    const int L = static_cast<int>(X(list + m));
    int addr = 0, type = 0, rows = 0, cols = 0, nel = 0, fifth = 0;
    jobbase::MATDSC(X, g, NG, L, addr, type, rows, cols, nel, fifth, 1);
    for (int e = 0; e < nel; ++e) {
      const double s = X(addr + e);
      if (s >= 0.0) continue;
      int found = 0;
      for (int k = 0; k < n; ++k) {
        if (X(keys + k) == s) {
          found = keys + k;
          break;
        }
      }
      if (found == 0) {
        write_list(kStdout, {" Subroutine PATPUT confused"});
        jobbase::ERRMSG(136);
      }
      X(addr + nel + e) = X(found + offset);
    }
  }
}

}  // namespace qv::algebra
