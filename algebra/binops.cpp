#include "algebra/binops.hpp"

#include <cmath>
#include <cstddef>

#include "algebra/formmach.hpp"
#include "algebra/ftoken.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"

namespace qv::algebra {

using jobbase::ERRMSG;
using jobbase::icell;
using jobbase::MAINPR;
using runtime::kStdout;
using runtime::Vec1;
using runtime::write_fmt;
using runtime::write_list;

namespace {

void both_shapes(int rA, int cA, int rB, int cB) {
  write_fmt(kStdout, "(a,i3,a,i3)", {" Rows of First matrix   =", rA, " Columns of First matrix =", cA});
  write_fmt(kStdout, "(a,i3,a,i3)", {" Rows of Second matrix   =", rB, " Columns of Second matrix =", cB});
}

// C := A * B for row-major A (rA x cA), B (cA x cB) and C (rA x cB), C apart
// from A and B.  Each element is summed over k in order from 0.0, as the
// plain triple loop sums it, so the values are the same to the last bit;
// four columns are summed side by side, four independent chains that the
// processor overlaps (the objective evaluates these products thousands of
// times per fit, on matrices too small for anything cleverer).
void matmul(const double* A, const double* B, double* C, int rA, int cA, int cB) {
  for (int i = 0; i < rA; ++i) {
    const double* a = A + static_cast<std::ptrdiff_t>(i) * cA;
    double* c = C + static_cast<std::ptrdiff_t>(i) * cB;
    int j = 0;
    for (; j + 4 <= cB; j += 4) {
      double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
      const double* b = B + j;
      for (int k = 0; k < cA; ++k, b += cB) {
        const double aik = a[k];
        s0 += aik * b[0];
        s1 += aik * b[1];
        s2 += aik * b[2];
        s3 += aik * b[3];
      }
      c[j] = s0;
      c[j + 1] = s1;
      c[j + 2] = s2;
      c[j + 3] = s3;
    }
    for (; j < cB; ++j) {
      double s = 0.0;
      const double* b = B + j;
      for (int k = 0; k < cA; ++k, b += cB) s += a[k] * *b;
      c[j] = s;
    }
  }
}

}  // namespace

double ELPOW(double a, double p) {
  if (a > 0.0) return std::pow(a, p);
  if (a == 0.0) {
    if (p != 0.0) return 0.0;
    write_list(kStdout, {" ***ERROR***"});
    write_list(kStdout, {" You attempted to raise zero to the power zero"});
    ERRMSG(152);
  }
  if (p == std::trunc(p)) {
    const double v = std::pow(-a, p);
    return std::fmod(p, 2.0) != 0.0 ? -v : v;
  }
  write_list(kStdout, {" You attempted to take a root of a negative number"});
  write_list(kStdout, {" Value is", a, " Power is", p});
  ERRMSG(152);
}

void MATBINOP(Vec1<double> X, int& status) {
  auto& f = FMSTAK;
  auto& m = FMFLAG;
  int lc = f.val(f.NOUT - 1);
  int rc = f.pend(f.NOPS - 1);
  const int op = f.pend(f.NOPS - 2);
  if (lc > 0) lc = UNDEFM(X, lc);
  if (rc > 0) rc = UNDEFM(X, rc);
  const int ta = TMPADR(lc);
  const int tb = TMPADR(rc);
  const int rA = icell(X(ta + 1)), cA = icell(X(ta + 2));
  const int rB = icell(X(tb + 1)), cB = icell(X(tb + 2));
  const int a0 = ta + 3;  // A(i,j) at a0 + (i-1)*cA + (j-1)
  const int b0 = tb + 3;
  const int nA = rA * cA;
  int res = lc;
  int t = 0;

  switch (op) {
    case 112:  // element-wise product
      if (rA != rB || cA != cB) {
        both_shapes(rA, cA, rB, cB);
        ERRMSG(74);
      }
      for (int k = 0; k < nA; ++k) X(a0 + k) *= X(b0 + k);
      break;
    case 115:  // sum
      if (rA != rB || cA != cB) {
        both_shapes(rA, cA, rB, cB);
        ERRMSG(34);
      }
      for (int k = 0; k < nA; ++k) X(a0 + k) += X(b0 + k);
      break;
    case 116:  // difference, and the comparisons of constraint groups
    case 126:
    case 127:
    case 128:
      if (rA != rB || cA != cB) {
        both_shapes(rA, cA, rB, cB);
        ERRMSG(63);
      }
      for (int k = 0; k < nA; ++k) X(a0 + k) -= X(b0 + k);
      break;
    case 123:  // element-wise division
      if (rA != rB || cA != cB) {
        write_list(kStdout, {});
        both_shapes(rA, cA, rB, cB);
        ERRMSG(191);
      }
      for (int k = 0; k < nA; ++k) {
        const double d = X(b0 + k);
        X(a0 + k) = d == 0.0 ? 1e35 : X(a0 + k) / d;
      }
      break;
    case 113: {  // matrix product
      if (cA != rB) {
        write_fmt(kStdout, "(a,i3,a,i3)", {" Columns of First matrix =", cA, " Rows of Second matrix   =", rB});
        ERRMSG(35);
      }
      res = NEWTMP(X, rA, cB, t);
      if (rA > 0 && cB > 0) matmul(X.ptr(a0), X.ptr(b0), X.ptr(t + 3), rA, cA, cB);
      break;
    }
    case 118: {  // adhere left to right
      if (rA != rB) ERRMSG(56);
      const int c = cA + cB;
      res = NEWTMP(X, rA, c, t);
      for (int i = 0; i < rA; ++i) {
        for (int j = 0; j < cA; ++j) X(t + 3 + i * c + j) = X(a0 + i * cA + j);
        for (int j = 0; j < cB; ++j) X(t + 3 + i * c + cA + j) = X(b0 + i * cB + j);
      }
      break;
    }
    case 119: {  // adhere top to bottom
      if (cA != cB) {
        write_list(kStdout, {});
        write_list(kStdout, {"Columns in matrix 1:", cA, " and matrix 2:", cB});
        ERRMSG(57);
      }
      res = NEWTMP(X, rA + rB, cA, t);
      for (int k = 0; k < nA; ++k) X(t + 3 + k) = X(a0 + k);
      for (int k = 0; k < rB * cB; ++k) X(t + 3 + nA + k) = X(b0 + k);
      break;
    }
    case 120:    // Kronecker product
    case 122: {  // Kronecker power
      // The order in 64 bits: a product past the workspace is error 119, not a
      // wrapped count.
      const long long r64 = static_cast<long long>(rA) * rB, c64 = static_cast<long long>(cA) * cB;
      if (r64 > MAINPR.WSLIM || c64 > MAINPR.WSLIM) jobbase::check_room(MAINPR.WSTOP + r64 + c64);
      const int r = static_cast<int>(r64), c = static_cast<int>(c64);
      res = NEWTMP(X, r, c, t);
      if (op == 122 && m.TRIAL) break;
      for (int i = 0; i < rA; ++i)
        for (int j = 0; j < cA; ++j) {
          const double a = X(a0 + i * cA + j);
          for (int k = 0; k < rB; ++k)
            for (int l = 0; l < cB; ++l) {
              const double b = X(b0 + k * cB + l);
              X(t + 3 + (i * rB + k) * c + j * cB + l) = op == 120 ? a * b : ELPOW(a, b);
            }
        }
      break;
    }
    case 124: {  // pair: values of A, values of B, then the two shapes
      const int nB = rB * cB;
      res = NEWTMP(X, 1, nA + nB + 4, t);
      for (int k = 0; k < nA; ++k) X(t + 3 + k) = X(a0 + k);
      for (int k = 0; k < nB; ++k) X(t + 3 + nA + k) = X(b0 + k);
      X(t + 3 + nA + nB) = rA;
      X(t + 4 + nA + nB) = cA;
      X(t + 5 + nA + nB) = rB;
      X(t + 6 + nA + nB) = cB;
      break;
    }
    case 125: {  // quadratic product A*B*A'
      if (rB != cA || rB != cB) ERRMSG(187);
      res = NEWTMP(X, rA, rA, t);
      // A*B behind the result.
      const int p = MAINPR.WSTOP;
      WSCHK(p + rA * cB);
      if (rA > 0 && cB > 0) matmul(X.ptr(a0), X.ptr(b0), X.ptr(p), rA, cA, cB);
      for (int i = 0; i < rA; ++i)
        for (int k = 0; k < rA; ++k) {
          double s = 0.0;
          for (int j = 0; j < cB; ++j) s += X(p + i * cB + j) * X(a0 + k * cA + j);
          X(t + 3 + i * rA + k) = s;
        }
      break;
    }
    default:
      write_list(kStdout, {" Operator value is ", op});
      ERRMSG(32);
  }
  f.val(f.NOUT - 1) = res;
  f.NOPS -= 2;
  status = 1;
}

}  // namespace qv::algebra
