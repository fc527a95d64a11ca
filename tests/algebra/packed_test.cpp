// Expansion of packed storage, the packed Cholesky factor and the matrix
// inverse of the "~" operator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "algebra/packed.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/workspace.hpp"

namespace qv::algebra {
namespace {

template <class T>
Vec1<T> v1(std::vector<T>& v) {
  return Vec1<T>(v.data(), static_cast<std::ptrdiff_t>(v.size()));
}

std::vector<double> expand(int type, int r, int c, std::vector<double> stored) {
  std::vector<double> full(static_cast<std::size_t>(r * c), -7.0);
  if (stored.empty()) stored.push_back(0.0);
  EXPMAT(v1(full), v1(stored), type, r, c, static_cast<int>(stored.size()));
  return full;
}

TEST(Expmat, EveryType) {
  struct Case {
    int type, r, c;
    std::vector<double> stored, full;
  };
  const std::vector<Case> cases = {
      {1, 2, 2, {}, {0, 0, 0, 0}},
      {2, 2, 2, {}, {1, 0, 0, 1}},
      {3, 2, 3, {}, {1, 0, 0, 0, 1, 0}},
      {4, 2, 3, {}, {0, 1, 0, 0, 0, 1}},
      {5, 3, 3, {4, 5, 6}, {4, 0, 0, 0, 5, 0, 0, 0, 6}},
      {6, 3, 3, {0.5, 0.2, 0.1}, {0, 0, 0, 0.5, 0, 0, 0.2, 0.1, 0}},
      {7, 3, 3, {0.5, 0.2, 0.1}, {1, 0.5, 0.2, 0.5, 1, 0.1, 0.2, 0.1, 1}},
      {8, 3, 3, {1, 2, 3, 4, 5, 6}, {1, 2, 4, 2, 3, 5, 4, 5, 6}},
      {0, 2, 2, {1, 2, 3}, {1, 2, 2, 3}},
      {9, 2, 3, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
      {10, 3, 3, {1, 2, 3, 4, 5, 6}, {1, 0, 0, 2, 3, 0, 4, 5, 6}},
      {11, 2, 2, {}, {1, 1, 1, 1}},
  };
  for (const Case& c : cases) EXPECT_EQ(expand(c.type, c.r, c.c, c.stored), c.full) << "type " << c.type;
}

TEST(Exppat, StandardisedHasZeroDiagonalAndValuesTruncate) {
  std::vector<double> st = {3.9, 4.0, 5.2};
  std::vector<int> full(9, -1);
  EXPPAT(v1(full), v1(st), 7, 3, 3, 3);
  EXPECT_EQ(full, (std::vector<int>{0, 3, 4, 3, 0, 5, 4, 5, 0}));
  std::vector<double> none = {0};
  std::vector<int> id(4, -1);
  EXPPAT(v1(id), v1(none), 2, 2, 2, 0);
  EXPECT_EQ(id, (std::vector<int>{1, 0, 0, 1}));
}

TEST(Expmat, UnknownTypeIsError36) {
  jobbase::MAINPR.reset();
  std::vector<double> full(4), st(4);
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        EXPMAT(v1(full), v1(st), 12, 2, 2, 1);
      },
      ::testing::ExitedWithCode(1), "error code is +36\n(.*)unknown matrix type");
}

TEST(Cholpk, FactorSingularAndIndefinite) {
  // 4 2 / 2 5: L = 2, 1, 2.
  std::vector<double> a = {4, 2, 5}, l(3);
  int nullity = -1, fault = -1;
  CHOLPK(v1(a), 2, v1(l), nullity, fault);
  EXPECT_EQ(fault, 0);
  EXPECT_EQ(nullity, 0);
  EXPECT_EQ(l, (std::vector<double>{2, 1, 2}));

  // The all-ones 2x2 matrix: the second pivot is zero, counted in nullity;
  // the factor may overwrite A.
  std::vector<double> ones = {1, 1, 1};
  CHOLPK(v1(ones), 2, v1(ones), nullity, fault);
  EXPECT_EQ(fault, 0);
  EXPECT_EQ(nullity, 1);
  EXPECT_EQ(ones, (std::vector<double>{1, 1, 0}));

  // A negative pivot well above the tolerance.
  std::vector<double> ind = {1, 2, 1}, li(3);
  CHOLPK(v1(ind), 2, v1(li), nullity, fault);
  EXPECT_EQ(fault, 2);

  CHOLPK(v1(ind), 0, v1(li), nullity, fault);
  EXPECT_EQ(fault, 1);
}

// A zero pivot whose column below is not zero shows a matrix that is not
// positive semi-definite; a zero pivot with a zero column (also from a zero
// diagonal element) is counted in nullity.  Rounding in a singular positive
// semi-definite matrix does not count as a fault.
TEST(Cholpk, ZeroPivotsAndZeroDiagonal) {
  struct Case {
    const char* what;
    int n;
    std::vector<double> a;
    int fault, nullity;
  };
  const std::vector<Case> cases = {
      {"[[0,1],[1,0]]", 2, {0, 1, 0}, 2, -1},
      {"[[1,1,0],[1,1,1],[0,1,1]]", 3, {1, 1, 1, 0, 1, 1}, 2, -1},
      {"[[1,0,0],[0,0,1],[0,1,1]]", 3, {1, 0, 0, 0, 1, 1}, 2, -1},
      {"[[0,0],[0,4]]", 2, {0, 0, 4}, 0, 1},
      {"zero 2x2", 2, {0, 0, 0}, 0, 2},
      {"all-ones 3x3", 3, {1, 1, 1, 1, 1, 1}, 0, 2},
      // v v' with v = (0.1, 0.3, 0.7): rank 1, inexact in binary.
      {"rank one", 3, {0.01, 0.03, 0.09, 0.07, 0.21, 0.49}, 0, 2},
  };
  for (const Case& c : cases) {
    for (bool in_place : {false, true}) {
      std::vector<double> a = c.a, l(c.a.size(), -9.0);
      int nullity = -1, fault = -1;
      CHOLPK(v1(a), c.n, in_place ? v1(a) : v1(l), nullity, fault);
      EXPECT_EQ(fault, c.fault) << c.what << (in_place ? " in place" : "");
      if (c.fault == 0) {
        EXPECT_EQ(nullity, c.nullity) << c.what << (in_place ? " in place" : "");
      }
    }
  }
  // [[0,0],[0,4]]: the zero row and column stay zero, the rest is factored.
  std::vector<double> z = {0, 0, 4}, lz(3);
  int nullity = -1, fault = -1;
  CHOLPK(v1(z), 2, v1(lz), nullity, fault);
  EXPECT_EQ(lz, (std::vector<double>{0, 0, 2}));
}

TEST(Invmat, SymmetricGeneralAndSingular) {
  std::vector<double> work(64);
  // Symmetric positive definite: 4 2 / 2 5, inverse 1/16 * (5 -2 / -2 4).
  std::vector<double> a = {4, 2, 2, 5}, b(4);
  INVMAT(v1(a), v1(b), 2, 2, v1(work));
  EXPECT_DOUBLE_EQ(b[0], 5.0 / 16);
  EXPECT_DOUBLE_EQ(b[1], -2.0 / 16);
  EXPECT_DOUBLE_EQ(b[2], -2.0 / 16);
  EXPECT_DOUBLE_EQ(b[3], 4.0 / 16);

  // Not symmetric: rows (1 2), (3 4); the result is the inverse in the
  // layout the caller transposes back (column after column).
  std::vector<double> g = {1, 2, 3, 4}, gi(4);
  INVMAT(v1(g), v1(gi), 2, 2, v1(work));
  // inverse = (-2 1 / 1.5 -0.5); column-major: -2, 1.5, 1, -0.5.
  EXPECT_NEAR(gi[0], -2.0, 1e-12);
  EXPECT_NEAR(gi[1], 1.5, 1e-12);
  EXPECT_NEAR(gi[2], 1.0, 1e-12);
  EXPECT_NEAR(gi[3], -0.5, 1e-12);

  // The symmetric singular all-ones matrix: a generalised inverse, no message.
  std::vector<double> ones = {1, 1, 1, 1}, oi(4);
  testing::internal::CaptureStdout();
  INVMAT(v1(ones), v1(oi), 2, 2, v1(work));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(oi, (std::vector<double>{1, 0, 0, 0}));

  // Symmetric with a zero diagonal, [[0,1],[1,0]], is its own inverse: the
  // packed Cholesky inverse refuses it and the general inverse finds it.
  std::vector<double> swap = {0, 1, 1, 0}, si(4);
  testing::internal::CaptureStdout();
  INVMAT(v1(swap), v1(si), 2, 2, v1(work));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(si, (std::vector<double>{0, 1, 1, 0}));
}

// The general inverse needs n(n+1) + n + 1 words of work, no more.
TEST(Invmat, GeneralInverseWithinItsWork) {
  // rows (2 1 0), (0 1 0), (1 0 1): not symmetric.
  std::vector<double> a = {2, 1, 0, 0, 1, 0, 1, 0, 1}, b(9), work(3 * 4 + 3 + 1);
  INVMAT(v1(a), v1(b), 3, 3, v1(work));
  // The inverse comes back column after column (the caller transposes it).
  const std::vector<double> op = {2, 1, 0, 0, 1, 0, 1, 0, 1};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      // (operand * inverse)(i,j), the inverse column-major in b.
      double s = 0;
      for (int k = 0; k < 3; ++k) s += op[static_cast<std::size_t>(i * 3 + k)] * b[static_cast<std::size_t>(k + j * 3)];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-14) << i << "," << j;
    }
}

TEST(Invmat, ErrorsStopTheRun) {
  jobbase::MAINPR.reset();
  std::vector<double> work(64), a = {1, 2, 3, 4, 5, 6}, b(6);
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        INVMAT(v1(a), v1(b), 2, 3, v1(work));
      },
      ::testing::ExitedWithCode(1), "error code is +29\n");
  // A singular matrix that is not symmetric: the report and error 43.
  std::vector<double> s = {1, 2, 3, 2, 4, 6, 1, 1, 1};
  std::vector<double> si(9);
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        INVMAT(v1(s), v1(si), 3, 3, v1(work));
      },
      ::testing::ExitedWithCode(1),
      "Failure to invert matrix of order 3\n Matrix itself is\n"
      "   0.1000E\\+01   0.2000E\\+01   0.3000E\\+01\n"
      "   0.2000E\\+01   0.4000E\\+01   0.6000E\\+01\n"
      "   0.1000E\\+01   0.1000E\\+01   0.1000E\\+01\n(.*)error code is +43\n");
  // Symmetric, singular and not positive semi-definite: the Cholesky inverse
  // refuses it, the general inverse fails, and the rows shown are the
  // matrix's own, not its factors.
  std::vector<double> z = {0, 1, 0, 1, 0, 0, 0, 0, 0}, zi(9);
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        INVMAT(v1(z), v1(zi), 3, 3, v1(work));
      },
      ::testing::ExitedWithCode(1),
      "Failure to invert matrix of order 3\n Matrix itself is\n"
      "   0.0000E\\+00   0.1000E\\+01   0.0000E\\+00\n"
      "   0.1000E\\+01   0.0000E\\+00   0.0000E\\+00\n"
      "   0.0000E\\+00   0.0000E\\+00   0.0000E\\+00\n(.*)error code is +43\n");
}

TEST(Patput, NegativeNumbersTakeKeyedValues) {
  using jobbase::WORKSP;
  jobbase::MAINPR.reset();
  WORKSP.reset();
  auto X = WORKSP.x();
  const int NG = 1;
  X(1) = NG;
  const int B = 100;
  jobbase::GRPTAB(X, NG, 7, 1) = B;
  // Letter A: FU 1x3 at 300: numbers 1, -5, -6; values 0.
  X(B + 0) = 9;
  X(B + 26) = 1;
  X(B + 52) = 3;
  X(B + 78) = 300;
  X(300) = 1;
  X(301) = -5;
  X(302) = -6;
  jobbase::GRPTAB(X, NG, 37, 1) = 400;
  X(400) = 1;
  X(401) = 1;
  // Keys at 500: -6, -5; values at key + 10.
  X(500) = -6;
  X(501) = -5;
  X(510) = 60;
  X(511) = 50;
  PATPUT(X, 1, NG, 0, 2, 10, 500);
  EXPECT_EQ(X(303), 0.0);
  EXPECT_EQ(X(304), 50.0);
  EXPECT_EQ(X(305), 60.0);
  X(302) = -7;
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        PATPUT(X, 1, NG, 0, 2, 10, 500);
      },
      ::testing::ExitedWithCode(1), "Subroutine PATPUT confused\n(.*)error code is +136\n");
}

}  // namespace
}  // namespace qv::algebra
