// The two-operand operators over formula temporaries: results against values
// worked out by hand (the quadratic product by python3 with fractions,
// outside the project), conformability errors with their codes.
#include <gtest/gtest.h>

#include "algebra/binops.hpp"
#include "formula_fixture.hpp"

namespace qv::algebra {
namespace {

using testing_support::expect_mat;
using testing_support::FormulaTest;
using testing_support::Mat;

class BinopTest : public FormulaTest {
 protected:
  void SetUp() override {
    FormulaTest::SetUp();
    add('A', 9, 2, 2, {1, 2, 3, 4});
    add('B', 9, 2, 2, {5, 6, 7, 8});
    add('C', 9, 2, 3, {1, 2, 3, 4, 5, 6});
    add('D', 9, 1, 1, {2});
    add('E', 9, 2, 1, {1, 2});
    add('F', 9, 1, 3, {1, 2, 3});
    add('G', 8, 2, 2, {4, 2, 3});             // SY: (4 2; 2 3)
    add('H', 5, 2, 2, {2, 5});                // DI
    add('I', 2, 2, 2);                        // ID
    add('J', 1, 2, 3);                        // ZE
    add('K', 3, 2, 3);                        // IZ
    add('L', 10, 2, 2, {1, 2, 3});            // LO: (1 0; 2 3)
    add('M', 6, 3, 3, {1, 2, 3});             // SD
    add('N', 7, 3, 3, {0.5, 0.2, 0.1});       // ST
    add('O', 11, 2, 2);                       // UN
    add('P', 4, 2, 3);                        // ZI
    add('R', 9, 3, 3, {2, 1, 0, 1, 3, 1, 0, 1, 4});
    add('S', 9, 1, 1, {-8});
    add('T', 9, 1, 1, {1.0 / 3.0});
    add('U', 9, 1, 1, {3});
    add('V', 9, 1, 1, {0});
    add('W', 9, 1, 1, {-1});
    add('Y', 9, 2, 2, {0, 1, 2, 0});
  }
};

TEST_F(BinopTest, Results) {
  struct Case {
    const char* f;
    int r, c;
    std::vector<double> v;
  };
  const std::vector<Case> cases = {
      {"A+B", 2, 2, {6, 8, 10, 12}},
      {"A-B", 2, 2, {-4, -4, -4, -4}},
      {"A.B", 2, 2, {5, 12, 21, 32}},
      {"A*B", 2, 2, {19, 22, 43, 50}},
      {"A%B", 2, 2, {0.2, 2.0 / 6.0, 3.0 / 7.0, 0.5}},
      {"A%Y", 2, 2, {1e35, 2, 1.5, 1e35}},              // division by zero gives 1e35
      {"-A%Y", 2, 2, {1e35, -2, -1.5, 1e35}},           // whatever the sign
      {"A=B", 2, 2, {-4, -4, -4, -4}},
      {"A>B", 2, 2, {-4, -4, -4, -4}},
      {"A<B", 2, 2, {-4, -4, -4, -4}},
      {"A|E", 2, 3, {1, 2, 1, 3, 4, 2}},
      {"E|E", 2, 2, {1, 1, 2, 2}},
      {"A_B", 4, 2, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"F_C", 3, 3, {1, 2, 3, 1, 2, 3, 4, 5, 6}},
      {"A@B", 4, 4, {5, 6, 10, 12, 7, 8, 14, 16, 15, 18, 20, 24, 21, 24, 28, 32}},
      {"E@F", 2, 3, {1, 2, 3, 2, 4, 6}},
      {"A^D", 2, 2, {1, 4, 9, 16}},
      {"D^E", 2, 1, {2, 4}},
      {"S^U", 1, 1, {-512}},
      {"V^W", 1, 1, {0}},
      {"W^D", 1, 1, {1}},
      {"A,F", 1, 11, {1, 2, 3, 4, 1, 2, 3, 2, 2, 1, 3}},
      {"C&R", 2, 2, {66, 150, 150, 351}},
      {"A&B", 2, 2, {63, 145, 143, 329}},
      // Every storage type as an operand.
      {"G+H", 2, 2, {6, 2, 2, 8}},
      {"L*I", 2, 2, {1, 0, 2, 3}},
      {"J+K+P", 2, 3, {1, 1, 0, 0, 1, 1}},
      {"O.A", 2, 2, {1, 2, 3, 4}},
      {"M+N", 3, 3, {1, 0.5, 0.2, 1.5, 1, 0.1, 2.2, 3.1, 1}},
      {"A+B+A", 2, 2, {7, 10, 13, 16}},
      {"(A+B)*(A-B)", 2, 2, {-56, -56, -88, -88}},
  };
  for (const auto& c : cases) expect_mat(eval(c.f), c.r, c.c, c.v, c.f);
}

// The product sums each element over k from 0.0 in order, four columns side
// by side: on non-integer values of every sign its results must equal the
// plain triple loop bit for bit, through the blocks of four columns and the
// columns left over, and in the quadratic product's first half.
TEST_F(BinopTest, ProductsEqualThePlainLoopBitForBit) {
  unsigned seed = 2024;
  auto values = [&seed](int n) {
    std::vector<double> v(static_cast<std::size_t>(n));
    for (double& x : v) {
      seed = seed * 1103515245u + 12345u;
      x = (static_cast<double>((seed >> 8) & 0xFFFFF) - 524288.0) / 3.7e4;
    }
    return v;
  };
  const std::vector<double> q = values(35), x = values(63), z = values(49);
  add('Q', 9, 5, 7, q);
  add('X', 9, 7, 9, x);
  add('Z', 9, 7, 7, z);
  // Row-major a (r x m) times b (m x c), summed in k order from 0.0.
  auto plain = [](const std::vector<double>& a, const std::vector<double>& b, int r, int m, int c) {
    std::vector<double> out(static_cast<std::size_t>(r * c));
    for (int i = 0; i < r; ++i)
      for (int j = 0; j < c; ++j) {
        double s = 0.0;
        for (int k = 0; k < m; ++k) s += a[static_cast<std::size_t>(i * m + k)] * b[static_cast<std::size_t>(k * c + j)];
        out[static_cast<std::size_t>(i * c + j)] = s;
      }
    return out;
  };
  const Mat qx = eval("Q*X");
  EXPECT_EQ(qx.v, plain(q, x, 5, 7, 9)) << "Q*X: two blocks and one column over";
  const Mat qz = eval("Q*Z");
  EXPECT_EQ(qz.v, plain(q, z, 5, 7, 7)) << "Q*Z: one block and three columns over";
  // Q&Z = (Q*Z)*Q': the second half sums each element over j in order.
  const std::vector<double> p = plain(q, z, 5, 7, 7);
  std::vector<double> qt(35);
  for (int i = 0; i < 5; ++i)
    for (int k = 0; k < 7; ++k) qt[static_cast<std::size_t>(k * 5 + i)] = q[static_cast<std::size_t>(i * 7 + k)];
  const Mat quad = eval("Q&Z");
  EXPECT_EQ(quad.v, plain(p, qt, 5, 7, 5)) << "Q&Z";
}

TEST_F(BinopTest, ElementOperatorsWorkInPlace) {
  // A chain of sums creates one temporary per loaded letter and none for the sums.
  eval("A+B+A");
  EXPECT_EQ(FMFLAG.NTEMP, 3);
  eval("A*B");
  EXPECT_EQ(FMFLAG.NTEMP, 3);
}

TEST_F(BinopTest, TrialSkipsPowerValues) {
  FMFLAG.TRIAL = true;
  const auto m = eval("S^T");  // would be the root of a negative number
  EXPECT_EQ(m.r, 1);
  EXPECT_EQ(m.c, 1);
  FMFLAG.TRIAL = false;
}

TEST_F(BinopTest, ConformabilityErrors) {
  EXPECT_QV_ERROR(eval("A.C"), 74);
  EXPECT_QV_ERROR(eval("A+C"), 34);
  EXPECT_QV_ERROR(eval("A-C"), 63);
  EXPECT_QV_ERROR(eval("A=C"), 63);
  EXPECT_QV_ERROR(eval("A%C"), 191);
  EXPECT_QV_ERROR(eval("C*A"), 35);
  EXPECT_QV_ERROR(eval("A|F"), 56);
  EXPECT_QV_ERROR(eval("A_C"), 57);
  EXPECT_QV_ERROR(eval("C&C"), 187);
  EXPECT_QV_ERROR(eval("S^T"), 152);
  EXPECT_QV_ERROR(eval("V^V"), 152);
}

TEST_F(BinopTest, Messages) {
  expect_dies_with("A+C", " Rows of First matrix   =  2 Columns of First matrix =  2\n"
                          " Rows of Second matrix   =  2 Columns of Second matrix =  3\n");
  expect_dies_with("C*A", " Columns of First matrix =  3 Rows of Second matrix   =  2\n");
  expect_dies_with("A_C", "\n Columns in matrix 1: 2 and matrix 2: 3\n");
  expect_dies_with("V^V", " \\*\\*\\*ERROR\\*\\*\\*\n You attempted to raise zero to the power zero\n");
  expect_dies_with("S^T", " You attempted to take a root of a negative number\n Value is -8.00000000 Power is 0.333333333");
}

TEST_F(BinopTest, UnknownOperator) {
  FMSTAK.val(1) = 1;
  FMSTAK.val(2) = 2;
  FMSTAK.val(3) = 200;
  FMSTAK.NOUT = 4;
  FMSTAK.NOPS = 1;
  FMSTAK.NCODE = 3;
  EXPECT_QV_ERROR(run(), 32);
}

TEST_F(BinopTest, KroneckerPastTheWorkspaceIsAnError) {
  std::vector<double> v(100, 1.0);
  add('Z', 9, 10, 10, v);
  EXPECT_QV_ERROR(eval("Z@Z@Z"), 119);
}

}  // namespace
}  // namespace qv::algebra
