// The one-operand functions: results against values worked out by hand or
// with python3 (fractions for the inverses, math for the element functions),
// outside the project; the errors with their codes and the diagnostics.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "algebra/unops.hpp"
#include "formula_fixture.hpp"

namespace qv::algebra {
namespace {

using testing_support::expect_mat;
using testing_support::FormulaTest;
using testing_support::Mat;

class UnopTest : public FormulaTest {
 protected:
  void SetUp() override {
    FormulaTest::SetUp();
    add('A', 9, 2, 2, {1, 2, 3, 4});
    add('C', 9, 2, 3, {1, 2, 3, 4, 5, 6});
    add('D', 9, 1, 1, {2});
    add('E', 9, 2, 1, {1, 2});
    add('F', 9, 1, 3, {1, 2, 3});
    add('G', 8, 2, 2, {4, 2, 3});
    add('H', 5, 2, 2, {2, 5});
    add('J', 1, 2, 3);
    add('L', 10, 2, 2, {1, 2, 3});
    add('Q', 9, 1, 4, {1, 1, 2, 2});
    add('R', 9, 3, 3, {2, 1, 0, 1, 3, 1, 0, 1, 4});
    add('T', 9, 3, 3, {1, 2, 0, 0, 1, 3, 4, 0, 1});
    add('U', 9, 1, 6, {1, 2, 3, 4, 5, 6});
    add('V', 9, 3, 1, {3, 1, 2});
    add('W', 9, 2, 3, {2, 3, 1, 10, 20, 30});
    add('X', 9, 3, 2, {1, 2, 2, 4, 3, 7});
    add('Y', 9, 2, 2, {1, 1, 1, 1});
    add('Z', 9, 1, 5, {1, 2, 3, 4, 5});
    add('K', 9, 2, 2, {0, 1, 1, 0});  // symmetric, not positive definite, invertible
    add('S', 9, 2, 2, {4, 0, 0, 0});  // covariance with a zero variance
    add('N', 9, 2, 2, {0, 0, 0, -1});  // symmetric, singular, not positive semi-definite
    add('P', 9, 2, 2, {1, 2, 1, 2});   // not symmetric, singular
  }
};

TEST_F(UnopTest, Results) {
  struct Case {
    const char* f;
    int r, c;
    std::vector<double> v;
  };
  const std::vector<Case> cases = {
      {"-A", 2, 2, {-1, -2, -3, -4}},
      {"A'", 2, 2, {1, 3, 2, 4}},
      {"C'", 3, 2, {1, 4, 2, 5, 3, 6}},
      {"F'", 3, 1, {1, 2, 3}},
      {"A~", 2, 2, {-2, 1, 1.5, -0.5}},
      {"G~", 2, 2, {0.375, -0.25, -0.25, 0.5}},
      {"H~", 2, 2, {0.5, 0, 0, 0.2}},
      {"L~", 2, 2, {1, 0, -2.0 / 3.0, 1.0 / 3.0}},
      {"K~", 2, 2, {0, 1, 1, 0}},
      // Positive semi-definite and singular: the generalised inverse, with a
      // zero row and column for the zero pivot (hand: 1/1 padded with zeros).
      {"Y~", 2, 2, {1, 0, 0, 0}},
      {"S~", 2, 2, {0.25, 0, 0, 0}},
      {"R~", 3, 3, {0.6111111111111112, -0.2222222222222222, 0.05555555555555555, -0.2222222222222222,
                    0.4444444444444444, -0.1111111111111111, 0.05555555555555555, -0.1111111111111111,
                    0.2777777777777778}},
      {"T~", 3, 3, {0.04, -0.08, 0.24, 0.48, 0.04, -0.12, -0.16, 0.32, 0.04}},
      {"T*T~", 3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
      {"\\DET(A)", 1, 1, {-2}},
      {"\\DET(T)", 1, 1, {25}},
      {"\\DET(G)", 1, 1, {8}},
      {"\\TR(A)", 1, 1, {5}},
      {"\\EXP(D)", 1, 1, {7.38905609893065}},
      {"\\SQRT(A)", 2, 2, {1, std::sqrt(2.0), std::sqrt(3.0), 2}},
      {"\\LN(D)", 1, 1, {std::log(2.0)}},
      {"\\LN(J)", 2, 3, std::vector<double>(6, -71.38013788281542)},
      {"\\V2D(F)", 3, 3, {1, 0, 0, 0, 2, 0, 0, 0, 3}},
      {"\\V2D(F')", 3, 3, {1, 0, 0, 0, 2, 0, 0, 0, 3}},
      {"\\D2V(C)", 1, 2, {1, 5}},
      {"\\M2V(C)", 6, 1, {1, 2, 3, 4, 5, 6}},
      {"\\V2S(U)", 3, 3, {1, 2, 4, 2, 3, 5, 4, 5, 6}},
      {"\\V2S(U)*F'", 3, 1, {17, 23, 32}},
      {"\\V2F(Q)", 2, 2, {1, 1, 2, 2}},
      {"\\STND(G)", 2, 2, {1, 0.5773502691896258, 0.5773502691896258, 1}},
      {"\\VECH(R)", 6, 1, {2, 1, 0, 3, 1, 4}},
      {"\\VECH(T)", 6, 1, {1, 0, 4, 1, 0, 1}},
      {"\\VEC(C)", 6, 1, {1, 4, 2, 5, 3, 6}},
      {"\\ABS(-A)", 2, 2, {1, 2, 3, 4}},
      {"\\COS(D)", 1, 1, {-0.4161468365471424}},
      {"\\COSH(D)", 1, 1, {3.7621956910836314}},
      {"\\SIN(D)", 1, 1, {0.9092974268256817}},
      {"\\SINH(D)", 1, 1, {3.626860407847019}},
      {"\\TAN(D)", 1, 1, {-2.185039863261519}},
      {"\\TANH(D)", 1, 1, {0.9640275800758169}},
      {"\\MAX(C)", 1, 1, {6}},
      {"\\MIN(C)", 1, 1, {1}},
      {"\\SUM(C)", 1, 1, {21}},
      {"\\PROD(C)", 1, 1, {720}},
      {"\\AORDER(V)", 3, 1, {3, 1, 2}},
      {"\\DORDER(V)", 3, 1, {1, 3, 2}},
      {"\\SORTC(W)", 1, 3, {30, 10, 20}},
      {"\\SORTR(W')", 3, 1, {30, 10, 20}},
      {"\\SORTC(V')", 1, 3, {1, 2, 3}},
      {"\\SORTR(V)", 3, 1, {1, 2, 3}},
      {"\\MEAN(X)", 1, 2, {2, 13.0 / 3.0}},
      {"\\COV(X)", 2, 2, {1, 2.5, 2.5, 19.0 / 3.0}},
      {"\\COV(F)", 3, 3, std::vector<double>(9, 0.0)},
      {"\\PART(T,Q)", 2, 2, {1, 2, 0, 1}},
      {"\\PART(T,\\V2F(Q)')", 1, 1, {2}},  // coordinates 1, 2, 1, 2
      {"\\TR(\\V2D(F))@A", 2, 2, {6, 12, 18, 24}},
  };
  for (const auto& c : cases) expect_mat(eval(c.f), c.r, c.c, c.v, c.f);
}

TEST_F(UnopTest, PartitionCoordinatesInEitherOrder) {
  add('B', 9, 1, 4, {3, 2, 2, 3});
  expect_mat(eval("\\PART(T,B)"), 2, 2, {1, 3, 0, 1}, "rows 2..3, columns 2..3");
}

TEST_F(UnopTest, DeterminantIsSymmetricTypeAndTransposeLeavesIt) {
  const auto m = eval("\\DET(A)'");
  EXPECT_EQ(m.type, 8);
  EXPECT_EQ(m.v, (std::vector<double>{-2}));
}

TEST_F(UnopTest, GrowingFunctionsMoveTheTop) {
  eval("\\V2D(F)");
  // F loaded (3 values + header), grown by 9 - 3.
  EXPECT_EQ(jobbase::MAINPR.WSTOP, ptr_ + 20000 + 6 + 6);
}

TEST_F(UnopTest, TrialSkipsRiskyValues) {
  FMFLAG.TRIAL = true;
  EXPECT_EQ(eval("\\SQRT(-A)").r, 2);
  EXPECT_EQ(eval("Y~").c, 2);
  const auto m = eval("\\COV(X)");
  EXPECT_EQ(m.r, 2);
  EXPECT_EQ(m.c, 2);
  FMFLAG.TRIAL = false;
}

TEST_F(UnopTest, StandardiseWithZeroVarianceWarnsOnce) {
  const std::string out = jobbase::testing_support::capture([&] {
    expect_mat(eval("\\STND(S)"), 2, 2, {1, 0, 0, 0}, "zero variance left as it is");
  });
  EXPECT_NE(out.find(" How am I supposed to take the square root of"), std::string::npos) << out;
  EXPECT_NE(out.find(" Matrix not fully standardized"), std::string::npos) << out;
  EXPECT_EQ(out.find(" How am I", out.find(" How am I") + 1), std::string::npos) << out;
}

TEST_F(UnopTest, EmptyMatrixFunctionsAreDefined) {
  add('B', 9, 0, 0);
  const std::string out = jobbase::testing_support::capture([&] {
    expect_mat(eval("\\MAX(B)"), 1, 1, {0}, "max");
    expect_mat(eval("\\DET(B)"), 1, 1, {1}, "det");
    expect_mat(eval("\\SUM(B)"), 1, 1, {0}, "sum");
  });
  EXPECT_NE(out.find(" NOTE: function of an empty matrix"), std::string::npos) << out;
}

TEST_F(UnopTest, Errors) {
  EXPECT_QV_ERROR(eval("C~"), 29);
  EXPECT_QV_ERROR(eval("N~"), 43);  // singular and not positive semi-definite
  EXPECT_QV_ERROR(eval("P~"), 43);  // singular and not symmetric
  EXPECT_QV_ERROR(eval("\\DET(C)"), 78);
  EXPECT_QV_ERROR(eval("\\TR(C)"), 79);
  EXPECT_QV_ERROR(eval("\\V2D(A)"), 96);
  EXPECT_QV_ERROR(eval("\\V2S(A)"), 96);
  EXPECT_QV_ERROR(eval("\\V2F(A)"), 96);
  EXPECT_QV_ERROR(eval("\\SQRT(-A)"), 107);
  EXPECT_QV_ERROR(eval("\\V2S(Z)"), 108);
  EXPECT_QV_ERROR(eval("\\V2F(F)"), 110);
  EXPECT_QV_ERROR(eval("\\STND(C)"), 141);
  EXPECT_QV_ERROR(eval("\\AORDER(A)"), 184);
  EXPECT_QV_ERROR(eval("\\PART(A)"), 185);
  EXPECT_QV_ERROR(eval("\\PART(T,F)"), 186);
  EXPECT_QV_ERROR(eval("\\PART(T,W)"), 186);
  EXPECT_QV_ERROR(eval("\\PART(A,Q@D)"), 188);
  add('B', 9, 0, 0);
  EXPECT_QV_ERROR(eval("\\PART(B,B)"), 189);
  EXPECT_QV_ERROR(eval("\\TR(M)"), 66);  // M is not declared
}

// The keywords that name no computation give their operand back unchanged.
TEST_F(UnopTest, KeywordsWithoutAComputationGiveTheOperand) {
  for (const char* f : {"\\MBESI0(A)", "\\SKEW(A)", "\\KURT(A)", "\\VLDATA(A)", "\\VLID(A)", "\\VLLEN(A)",
                        "\\SELMAT(A)", "\\SELROWS(A)", "\\SELCOLS(A)"})
    expect_mat(eval(f), 2, 2, {1, 2, 3, 4}, f);
}

// MATUNOP called with the operand A and a function code of its own choosing
// on the pending stack; the header of the result temporary.
class UnopCodeTest : public UnopTest {
 protected:
  Mat apply(int code) {
    auto X = jobbase::WORKSP.x();
    jobbase::MAINPR.WSTOP = ptr_ + 100;
    FMFLAG.NTEMP = 0;
    FMSTAK.val(1) = 1;  // the letter A
    FMSTAK.NOUT = 2;
    FMSTAK.pend(1) = code;
    FMSTAK.NOPS = 2;
    int status = 0;
    MATUNOP(X, status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(FMSTAK.NOPS, 1);
    const int t = TMPADR(FMSTAK.val(1));
    return Mat{static_cast<int>(X(t)), static_cast<int>(X(t + 1)), static_cast<int>(X(t + 2)), {}};
  }
};

// Code 63 has no keyword: a 1 x 1 shape in the compiler's trial, the operand
// itself otherwise.
TEST_F(UnopCodeTest, CodeWithoutKeywordIsScalarOnlyInTrial) {
  Mat m = apply(63);
  EXPECT_EQ(m.r, 2);
  EXPECT_EQ(m.c, 2);
  FMFLAG.TRIAL = true;
  m = apply(63);
  FMFLAG.TRIAL = false;
  EXPECT_EQ(m.type, jobbase::kTypeFull);
  EXPECT_EQ(m.r, 1);
  EXPECT_EQ(m.c, 1);
}

// Codes beside 31..82 and the unary minus 111 name no function.
TEST_F(UnopCodeTest, CodesOutsideTheTableAreRefused) {
  for (int code : {30, 83, 110, 112}) {
    EXPECT_EXIT(
        {
          ::dup2(2, 1);
          apply(code);
        },
        ::testing::ExitedWithCode(1), "OPERATION CODE IS +" + std::to_string(code) + "\n(.*)error code is +25\n")
        << code;
  }
}

TEST_F(UnopTest, Diagnostics) {
  expect_dies_with("P~", " Failure to invert matrix of order 2\n Matrix itself is\n   0.1000E\\+01   0.2000E\\+01\n"
                         "   0.1000E\\+01   0.2000E\\+01\n");
  expect_dies_with("\\V2D(A)", "Matrix has   2 rows and   2 columns\n");
  expect_dies_with("\\PART(A)", " Matrix has 2 rows and 2 columns\n But it should have 1 row and 18 columns\n");
  expect_dies_with("\\PART(A,Q@D)",
                   " Attempted partition from 2 2 to 4 4\n From a matrix with 2 rows and 2 columns\n");
  expect_dies_with("\\TR(M)", "\n Error: matrix M referenced.\n");
}

}  // namespace
}  // namespace qv::algebra
