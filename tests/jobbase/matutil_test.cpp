// Matrix and workspace utilities: products, transposes, identities,
// selection of variables, tests and conversions, element stepping and the
// pattern records of raw ordinal data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "jobbase/areas.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/tabnames.hpp"
#include "runtime/packidx.hpp"
#include "jobctl_fixture.hpp"

namespace qv::jobbase {
namespace {

using ::testing::ExitedWithCode;

template <class T>
Vec1<T> v1(std::vector<T>& v) {
  return Vec1<T>(v.data(), static_cast<std::ptrdiff_t>(v.size()));
}

TEST(MatUtil, MprodAndMtprodAgree) {
  // B is 2x3 (ld 2), A is 3x1.
  std::vector<double> B = {1, 4, 2, 5, 3, 6};  // rows (1 2 3) and (4 5 6)
  std::vector<double> A = {1, 0, -1};
  std::vector<double> C(2, 99.0);
  MPROD(v1(A), 1, 3, v1(B), 3, 2, v1(C));
  EXPECT_EQ(C, (std::vector<double>{-2, -2}));
  // Bt is the 3x2 transpose of B (ld 3); B't A is the same product.
  std::vector<double> Bt = {1, 2, 3, 4, 5, 6};
  std::vector<double> C2(2, 99.0);
  MTPROD(v1(A), 1, 3, v1(Bt), 2, 3, v1(C2));
  EXPECT_EQ(C2, C);
  // A with a leading dimension larger than its rows.
  std::vector<double> A2 = {1, 0, -1, 7, 2, 2, 2, 7};  // 3x2 in ld 4
  std::vector<double> C3(4);
  MPROD(v1(A2), 2, 4, v1(B), 3, 2, v1(C3));
  EXPECT_EQ(C3, (std::vector<double>{-2, -2, 12, 30}));
}

TEST(MatUtil, TransposesThroughWork) {
  // A holds a 2x3 matrix (n=2 rows, m=3 columns, ld 2).
  std::vector<double> A = {1, 4, 2, 5, 3, 6};
  std::vector<double> W(6);
  DTRNSP(v1(A), 3, 2, v1(W));
  EXPECT_EQ(A, (std::vector<double>{1, 2, 3, 4, 5, 6}));
  std::vector<int> I = {1, 4, 2, 5, 3, 6};
  std::vector<int> IW(6);
  ITRNSP(v1(I), 3, 2, v1(IW));
  EXPECT_EQ(I, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST(MatUtil, TrnspiInPlace) {
  struct Case {
    int m, n, mn, iwrk, iok;
  };
  const Case cases[] = {
      {2, 3, 6, 4, 0}, {3, 2, 6, 4, 0}, {4, 7, 28, 3, 0}, {5, 9, 45, 1, 0},
      {3, 3, 9, 1, 0}, {1, 5, 5, 1, 0}, {2, 3, 5, 4, 1},  {2, 3, 6, 0, 2},
      // Beyond the small-matrix copy: the permutation's cycles.
      {33, 40, 1320, 10, 0}, {40, 33, 1320, 1, 0}, {32, 33, 1056, 600, 0},
  };
  for (const Case& c : cases) {
    const int size = std::max(c.mn, c.m * c.n);
    std::vector<double> A(static_cast<std::size_t>(size));
    for (int k = 0; k < size; ++k) A[static_cast<std::size_t>(k)] = k + 1;
    const std::vector<double> before = A;
    std::vector<int> move(static_cast<std::size_t>(std::max(c.iwrk, 1)));
    int iok = -9;
    TRNSPI(v1(A), c.m, c.n, c.mn, v1(move), c.iwrk, iok);
    EXPECT_EQ(iok, c.iok) << c.m << "x" << c.n;
    if (c.iok != 0 || c.m == 1 || c.n == 1) {
      EXPECT_EQ(A, before);
      continue;
    }
    // Element (i, j) of the m x n original is element (j, i) of the n x m result.
    for (int i = 1; i <= c.m; ++i)
      for (int j = 1; j <= c.n; ++j)
        EXPECT_EQ(A[static_cast<std::size_t>((i - 1) * c.n + (j - 1))],
                  before[static_cast<std::size_t>((j - 1) * c.m + (i - 1))])
            << c.m << "x" << c.n << " (" << i << "," << j << ")";
  }
}

TEST(MatUtil, IdentityAndPartitionedIdentity) {
  std::vector<double> A(9, 5.0);
  IDENT(v1(A), 3);
  EXPECT_EQ(A, (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
  // m = 2, n = 3: ones where l - f = 1.
  std::vector<double> B(6, 5.0);
  IDNULL(v1(B), 2, 3);
  EXPECT_EQ(B, (std::vector<double>{0, 1, 0, 0, 0, 1}));
  // m = 3, n = 2: ones where l - f = -1.
  std::vector<double> C(6, 5.0);
  IDNULL(v1(C), 3, 2);
  EXPECT_EQ(C, (std::vector<double>{0, 0, 1, 0, 0, 1}));
  std::vector<double> D(6, 5.0);
  IDROWS(v1(D), 2, 3);
  EXPECT_EQ(D, (std::vector<double>{1, 0, 0, 0, 1, 0}));
}

TEST(MatUtil, SelectionOfVariables) {
  std::vector<double> v = {10, 20, 30, 40};
  std::vector<double> sel = {4, 2};
  std::vector<double> W(4);
  REORD(v1(v), 4, v1(sel), 2, v1(W));
  EXPECT_EQ(v[0], 40);
  EXPECT_EQ(v[1], 20);

  // Packed 3x3: a11 a21 a22 a31 a32 a33.
  std::vector<double> P = {11, 21, 22, 31, 32, 33};
  std::vector<double> s2 = {3, 1};
  std::vector<double> W9(9);
  SYMUNP(v1(P), 3, v1(s2), 2, v1(W9));
  EXPECT_EQ(P[0], 33);
  EXPECT_EQ(P[1], 31);  // a13 = a31
  EXPECT_EQ(P[2], 11);
}

TEST(MatUtil, SelectionErrors) {
  std::vector<double> v = {1, 2};
  std::vector<double> sel = {1, 2, 1};
  std::vector<double> W(9);
  EXPECT_EXIT(REPORT_ON_STDERR(REORD(v1(v), 2, v1(sel), 3, v1(W))), ExitedWithCode(1),
              "code is +8\n");
  std::vector<double> bad = {3};
  EXPECT_EXIT(REPORT_ON_STDERR(REORD(v1(v), 2, v1(bad), 1, v1(W))), ExitedWithCode(1),
              "code is +125\n");
  std::vector<double> P = {1, 2, 3, 4, 5, 6};
  std::vector<double> one = {1};
  EXPECT_EXIT(REPORT_ON_STDERR(SYMPAK(v1(P), 3, v1(one), 1, v1(W), v1(W), 0)), ExitedWithCode(1),
              "code is +9\n");
}

TEST(MatUtil, SympakReducesWeightMatrix) {
  // Covariance statistics of 3 variables: s11 s21 s22 s31 s32 s33 (q = 6).
  // P(k, l) of the packed 6x6 weight matrix holds 10*k + l.
  const int q = 6;
  std::vector<double> P(qv::runtime::packed_size(q));
  for (int k = 1; k <= q; ++k)
    for (int l = 1; l <= k; ++l) P[static_cast<std::size_t>(qv::runtime::packed_offset(k, l))] = 10 * k + l;
  std::vector<double> sel = {1, 3};  // keep s11, s31, s33: statistics 1, 4, 6
  std::vector<double> W1(16), W2(36);
  SYMPAK(v1(P), 3, v1(sel), 2, v1(W1), v1(W2), 1);
  EXPECT_EQ(P[0], 11);
  EXPECT_EQ(P[1], 41);
  EXPECT_EQ(P[2], 44);
  EXPECT_EQ(P[3], 61);
  EXPECT_EQ(P[4], 64);
  EXPECT_EQ(P[5], 66);

  // Correlation statistics of 3 variables: r21 r31 r32 (q = 3).
  std::vector<double> R = {11, 21, 22, 31, 32, 33};
  std::vector<double> sel2 = {3, 2};  // keeps r32 only
  SYMPAK(v1(R), 3, v1(sel2), 2, v1(W1), v1(W2), 0);
  EXPECT_EQ(R[0], 33);
}

TEST(MatUtil, CopiesAndConversions) {
  std::vector<double> a(3), b = {1.5, -2.7, 3};
  CPYVEC(v1(a), v1(b), 3);
  EXPECT_EQ(a, b);
  std::vector<int> iv(3);
  DTOI(v1(iv), v1(b), 3);
  EXPECT_EQ(iv, (std::vector<int>{1, -2, 3}));
  ZEROD(v1(a), 2);
  EXPECT_EQ(a, (std::vector<double>{0, 0, 3}));
  ZEROI(v1(iv), 3);
  EXPECT_EQ(iv, (std::vector<int>{0, 0, 0}));
}

TEST(MatUtil, IsqrtAndTriord) {
  struct Case {
    int arg, k, flag;
  };
  const Case isq[] = {{6, 2, 0}, {9, 3, 0}, {10, 3, 1}, {1, 1, 0}, {0, 0, 1}};
  for (const Case& c : isq) {
    int k = -1, flag = -1;
    EXPECT_EQ(ISQRT(c.arg, k, flag), c.flag) << c.arg;
    EXPECT_EQ(k, c.k) << c.arg;
    EXPECT_EQ(flag, c.flag) << c.arg;
  }
  const Case tri[] = {{6, 3, 0}, {5, 3, 1}, {1, 1, 0}, {0, 0, 0}, {55, 10, 0}, {-1, 0, 1}};
  for (const Case& c : tri) {
    int n = -1, flag = -1;
    EXPECT_EQ(TRIORD(c.arg, n, flag), c.flag) << c.arg;
    EXPECT_EQ(n, c.k) << c.arg;
  }
}

TEST(MatUtil, CovcorAndTests) {
  std::vector<double> X = {4, 2, 9, 0, 0, 0};
  COVCOR(v1(X), 2, 1, 4);
  EXPECT_EQ(X[0], 1.0);
  EXPECT_DOUBLE_EQ(X[1], 1.0 / 3.0);
  EXPECT_EQ(X[2], 1.0);

  std::vector<double> S = {1, 2, 3, 2, 5, 6, 3, 6, 9};
  EXPECT_EQ(ISSYM(v1(S), 3, 3), 1);
  S[5] = 6.5;  // (3, 2) differs from (2, 3)
  EXPECT_EQ(ISSYM(v1(S), 3, 3), 0);
  EXPECT_EQ(ISSYM(v1(S), 3, 1), 1);  // only column 1 is compared

  std::vector<double> P = {1, 0.5, 1, 0.2, 0.3, 1};
  EXPECT_EQ(DIAG1(v1(P), 3), 1);
  P[2] = 0.999;
  EXPECT_EQ(DIAG1(v1(P), 3), 0);

  std::vector<double> t = {-1, 0, 0.5, 2};
  EXPECT_EQ(CNTGT(0.5, v1(t), 4), 2);
  EXPECT_EQ(CNTGT(-5, v1(t), 4), 0);

  int a = 5, b = 2;
  ORD2(a, b);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 5);
  ORD2(a, b);
  EXPECT_EQ(a, 2);
}

TEST(MatUtil, NxtelmStepsByType) {
  struct Case {
    int type, n, m, i, j, i2, j2;
  };
  const Case cases[] = {
      {9, 2, 3, 1, 3, 2, 1},   {9, 2, 3, 1, 1, 1, 2},   {-10, 2, 3, 1, 3, 2, 1},
      {5, 3, 3, 1, 1, 2, 2},   {6, 3, 3, 2, 1, 3, 1},   {7, 4, 4, 3, 1, 3, 2},
      {8, 3, 3, 2, 2, 3, 1},   {8, 3, 3, 2, 1, 2, 2},   {10, 3, 3, 1, 1, 2, 1},
      {1, 3, 3, 2, 2, 2, 2},   {11, 3, 3, 1, 1, 1, 1},
  };
  for (const Case& c : cases) {
    int i = c.i, j = c.j;
    NXTELM(i, j, c.n, c.m, c.type);
    EXPECT_EQ(i, c.i2) << "type " << c.type;
    EXPECT_EQ(j, c.j2) << "type " << c.type;
  }
  int i = 3, j = 3;
  EXPECT_EXIT(REPORT_ON_STDERR(NXTELM(i, j, 3, 3, 8)), ExitedWithCode(1), "code is +209\n");
}

TEST(MatUtil, PatupdMarksChangedRecords) {
  // Three records of two variables: c, flag, codes, values.
  std::vector<double> P = {
      3,                 // records
      2, 0, 1, 0, 5, 6,  // record 1: code of variable 1 positive
      2, 0, 1, 0, 5, 7,  // record 2: variable 1 same value, variable 2 differs (code 0)
      2, 2, 1, 0, 4, 7,  // record 3: variable 1 differs; flag 2 -> 3
  };
  PATUPD(v1(P));
  EXPECT_EQ(P[8], 0);   // record 2 unchanged
  EXPECT_EQ(P[14], 3);  // record 3 raised once
  // A flag that is neither 0 nor 2 is left alone.
  P[14] = 1;
  PATUPD(v1(P));
  EXPECT_EQ(P[14], 1);
}

TEST(MatUtil, ElposvTellsFreeElements) {
  WORKSP.reset();
  auto X = WORKSP.x();
  const int B = 43 + 3;
  const int a = B + 162;
  X(1) = 1;
  GRPTAB(X, 1, 7, 1) = B;
  X(B + 0) = 9;       // A: FU 2 x 2
  X(B + 26) = 2;
  X(B + 52) = 2;
  X(B + 78) = a;
  X(a + 1) = 3;       // element (1, 2) is free parameter 3
  X(a + 2) = -1;      // element (2, 1) carries a non-positive number
  int i = 1, j = 2, rows = 0, cols = 0, type = 0;
  EXPECT_EQ(ELPOSV(X, 1, 0, 1, i, j, rows, cols, type), 1);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(cols, 2);
  EXPECT_EQ(type, 9);
  i = 2;
  j = 1;
  EXPECT_EQ(ELPOSV(X, 1, 0, 1, i, j, rows, cols, type), 0);
  i = 1;
  j = 1;
  EXPECT_EQ(ELPOSV(X, 1, 0, 1, i, j, rows, cols, type), 0);
}

TEST(MatUtil, UncalledHelpers) {
  EXPECT_DOUBLE_EQ(NDENS(0.0, 0.0), 1.0 / std::sqrt(2.0 * 3.141592653589793));
  EXPECT_EQ(NDENS(20.0, 0.0), 0.0);

  std::vector<double> A = {1, 2, 3, 4, 5, 6};  // 2x3, ld 2
  std::vector<double> W(6);
  RESHAP(v1(A), 2, 3, v1(W));
  EXPECT_EQ(W, (std::vector<double>{1, 3, 5, 2, 4, 6}));
  EXPECT_EQ(A, (std::vector<double>{1, 3, 5, 2, 4, 6}));

  std::vector<double> T = {1, 2, 3, 4};  // 2x2
  std::vector<double> v(6);
  int count = 0;
  PAKTRI(v1(T), 2, 2, v1(v), count);
  PAKTRI(v1(T), 2, 2, v1(v), count);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(v, (std::vector<double>{1, 3, 4, 1, 3, 4}));
  EXPECT_EXIT(REPORT_ON_STDERR(PAKTRI(v1(T), 2, 3, v1(v), count)), ExitedWithCode(1),
              "code is +29\n");

  const std::vector<std::string> names = {"ALPHA", "BETA"};
  NAMCLS(names, "GAMMA", 2);
  EXPECT_EXIT(REPORT_ON_STDERR(NAMCLS(names, "BETA", 2)), ExitedWithCode(1), "code is +215\n");

  MAINPR.GRPSEL = true;
  MAINPR.NG = 2;
  MAINPR.IGRP = 2;
  GRPCHK();
  // The chosen group must be one of the job's.
  for (int g : {0, 3}) {
    MAINPR.IGRP = g;
    EXPECT_EXIT(REPORT_ON_STDERR(GRPCHK()), ExitedWithCode(1), "code is +117\n") << g;
  }
  MAINPR.GRPSEL = false;
  MAINPR.IGRP = 1;
  EXPECT_EXIT(REPORT_ON_STDERR(GRPCHK()), ExitedWithCode(1), "code is +162\n");
}

TEST(MatUtil, NormalTailBySide) {
  // Closed form: the tails are erfc(-+x / sqrt 2) / 2.
  for (double x : {-2.5, 0.0, 1.0, 3.0}) {
    const float upper = normal_tail(x, 1);
    const float lower = normal_tail(x, 0);
    EXPECT_EQ(upper, static_cast<float>(0.5 * std::erfc(x / std::sqrt(2.0)))) << x;
    EXPECT_EQ(lower, static_cast<float>(0.5 * std::erfc(-x / std::sqrt(2.0)))) << x;
  }
  EXPECT_EQ(normal_tail(1.0, -7), normal_tail(1.0, 1));  // any non-zero flag is the upper tail
}

TEST(MatUtil, ProductOfTransposes) {
  // A is 2x3 (rows 1 2 3 and 4 5 6), B is 1x2 (7 8): A'B' is 3x1.
  std::vector<double> A = {1, 4, 2, 5, 3, 6};
  std::vector<double> B = {7, 8};
  std::vector<double> W(6, 99.0);
  transposed_product(v1(A), 2, 3, v1(B), 1, 2, v1(W));
  EXPECT_EQ(std::vector<double>(W.begin(), W.begin() + 3), (std::vector<double>{39, 54, 69}));
  EXPECT_EQ(A, (std::vector<double>{1, 2, 3, 4, 5, 6}));  // left transposed
  // A 2x2 B: the 3x2 product, column by column.
  std::vector<double> A2 = {1, 4, 2, 5, 3, 6};
  std::vector<double> B2 = {1, 0, 2, 1};  // rows (1 2) and (0 1)
  transposed_product(v1(A2), 2, 3, v1(B2), 2, 2, v1(W));
  EXPECT_EQ(W, (std::vector<double>{9, 12, 15, 4, 5, 6}));
  // B' must have as many rows as A has.
  std::vector<double> B3 = {1, 2, 3};
  EXPECT_EXIT(REPORT_ON_STDERR(transposed_product(v1(A), 2, 3, v1(B3), 1, 3, v1(W))), ExitedWithCode(1),
              "code is +33\n");
}

TEST(MatUtil, CopyOfMatrixStorage) {
  std::vector<double> X(40, 0.0);
  // A full 2x2 at 10 (stored by rows): numbers 1..4, values .1 .. .4.
  const std::vector<double> full = {1, 2, 3, 4, .1, .2, .3, .4};
  std::copy(full.begin(), full.end(), X.begin() + 9);
  copy_matrix_storage(v1(X), kTypeFull, 2, 2, 10, kTypeFull, 2, 2, 20);
  EXPECT_EQ(std::vector<double>(X.begin() + 19, X.begin() + 27), full);
  // Its lower triangle into a symmetric and a lower-triangular matrix.
  for (int type : {kTypeSym, kTypeLower}) {
    std::fill(X.begin() + 29, X.end(), 0.0);
    copy_matrix_storage(v1(X), kTypeFull, 2, 2, 10, type, 2, 2, 30);
    EXPECT_EQ(std::vector<double>(X.begin() + 29, X.begin() + 36), (std::vector<double>{1, 3, 4, .1, .3, .4, 0}))
        << type;
  }
  // Overlapping storage, one word up: the words are those of the source.
  copy_matrix_storage(v1(X), kTypeFull, 2, 2, 10, kTypeFull, 2, 2, 11);
  EXPECT_EQ(std::vector<double>(X.begin() + 10, X.begin() + 18), full);
  copy_matrix_storage(v1(X), kTypeFull, 2, 2, 11, kTypeFull, 2, 2, 10);
  EXPECT_EQ(std::vector<double>(X.begin() + 9, X.begin() + 17), full);

  struct Refused {
    int type, rows, cols, type2, rows2, cols2, code;
  };
  const Refused refused[] = {
      {kTypeFull, 2, 2, kTypeFull, 2, 3, 26},  // same type, other dimensions
      {kTypeSym, 2, 2, kTypeSym, 3, 3, 26},
      {kTypeFull, 2, 3, kTypeSym, 2, 2, 26},   // not square
      {kTypeFull, 2, 2, kTypeSym, 3, 3, 26},   // another order
      {kTypeDiag, 2, 2, kTypeFull, 2, 2, 28},  // other pairs of types
      {kTypeSym, 2, 2, kTypeFull, 2, 2, 28},
  };
  for (const Refused& r : refused)
    EXPECT_EXIT(REPORT_ON_STDERR(copy_matrix_storage(v1(X), r.type, r.rows, r.cols, 10, r.type2, r.rows2, r.cols2, 30)),
                ExitedWithCode(1), "code is +" + std::to_string(r.code) + "\n")
        << r.type << " " << r.type2;
}

TEST(MatUtil, ParameterCopyByGroupLists) {
  std::vector<double> X(60, 0.0);
  std::vector<int> IX(30, 0);
  // Group 2's map at IX(10): three pairs (1, 50), (2, 52), (3, 51).
  IX[2] = 10;
  const std::vector<int> map = {3, 1, 50, 2, 52, 3, 51};
  std::copy(map.begin(), map.end(), IX.begin() + 9);
  std::vector<double> values = {7.5, -1.0};
  copy_group_parameters(v1(X), v1(IX), 2, 2, Vec1<const double>(values.data(), 2));
  EXPECT_EQ(X[49], 7.5);
  EXPECT_EQ(X[51], -1.0);
  EXPECT_EQ(X[50], 0.0);  // number 3 has no value: passed over
  // Group 1 has no map; a group past NG is passed over.
  X.assign(60, 0.0);
  copy_group_parameters(v1(X), v1(IX), 1, 2, Vec1<const double>(values.data(), 2));
  copy_group_parameters(v1(X), v1(IX), 2, 1, Vec1<const double>(values.data(), 2));
  EXPECT_EQ(X, std::vector<double>(60, 0.0));
}

TEST(MatUtil, IdentityFlagAndEmptyRoutines) {
  EXPECT_EQ(same_value(-17), -17);
  const std::vector<double> record = {3.0, 4.5};
  EXPECT_EQ(second_word(Vec1<const double>(record.data(), 2)), 4.5);
  EXPECT_EQ(bit_and(12, 10), 8);
  EXPECT_EQ(bit_and(-1, 5), 5);
  SETFLG.reset();
  do_nothing();
  EXPECT_EQ(SETFLG.FLAG, 0);
  set_flag();
  EXPECT_EQ(SETFLG.FLAG, 1);
  SETFLG.reset();
}

}  // namespace
}  // namespace qv::jobbase
