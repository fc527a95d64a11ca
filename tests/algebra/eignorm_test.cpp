// The eigen and normal-distribution functions of formulas.  Reference values
// come from closed forms evaluated with python3's math module (erfc, asin,
// exp, sqrt), outside the project:
//   Phi(z) = erfc(-z/sqrt 2)/2, phi(z) = exp(-z^2/2)/sqrt(2 pi);
//   P(X<0, Y<0) with correlation r = 1/4 + asin(r)/(2 pi);
//   P(X1<0, X2<0, X3<0) = 1/8 + (asin r12 + asin r13 + asin r23)/(4 pi);
//   truncated normal moments E[X | X > a] = phi(a)/(1 - Phi(a)),
//   E[X^2 | X > a] = 1 + a phi(a)/(1 - Phi(a)) (and the mirror for X < a);
//   chi-squared tails Q(x; 1) = erfc(sqrt(x/2)), Q(x; 2) = exp(-x/2),
//   Q(x; 3) = erfc(sqrt(x/2)) + sqrt(2x/pi) exp(-x/2);
//   eigenvalues from the characteristic polynomials worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "algebra/eignorm.hpp"
#include "formula_fixture.hpp"
#include "jobctl/options.hpp"

namespace qv::algebra {
namespace {

using testing_support::expect_mat;
using testing_support::FormulaTest;
using testing_support::Mat;

constexpr double kPi = 3.141592653589793;

class EigNormTest : public FormulaTest {
 protected:
  void TearDown() override {
    jobbase::FITOPT.reset();
    FMFLAG.TRIAL = false;
    FMFLAG.SHAPE = false;
    FormulaTest::TearDown();
  }
  // Element (i, j), 1-based, of a full result.
  static double at(const Mat& m, int i, int j) { return m.v[static_cast<std::size_t>((i - 1) * m.c + j - 1)]; }
};

// --- Eigen functions ----------------------------------------------------

// Checks that column k of (VR + i VI) is an eigenvector of the n x n A
// (row by row) for the eigenvalue LR(k) + i LI(k), of length 1.
void expect_eigenpairs(const std::vector<double>& A, int n, const Mat& lr, const Mat& li, const Mat& vr,
                       const Mat& vi) {
  for (int k = 0; k < n; ++k) {
    SCOPED_TRACE("eigenpair " + std::to_string(k + 1));
    const double a = lr.v[static_cast<std::size_t>(k)], b = li.v[static_cast<std::size_t>(k)];
    auto x = [&](int i) { return vr.v[static_cast<std::size_t>(i * n + k)]; };
    auto y = [&](int i) { return vi.v[static_cast<std::size_t>(i * n + k)]; };
    double len = 0.0;
    for (int i = 0; i < n; ++i) {
      double ax = 0.0, ay = 0.0;
      for (int j = 0; j < n; ++j) {
        ax += A[static_cast<std::size_t>(i * n + j)] * x(j);
        ay += A[static_cast<std::size_t>(i * n + j)] * y(j);
      }
      EXPECT_NEAR(ax, a * x(i) - b * y(i), 1e-12);
      EXPECT_NEAR(ay, a * y(i) + b * x(i), 1e-12);
      len += x(i) * x(i) + y(i) * y(i);
    }
    EXPECT_NEAR(len, 1.0, 1e-12);
  }
}

TEST_F(EigNormTest, SymmetricEigenvaluesAndVectors) {
  add('A', 9, 2, 2, {2, 1, 1, 2});
  add('R', 9, 3, 3, {2, 1, 0, 1, 3, 1, 0, 1, 4});
  expect_mat(eval("\\EVAL(A)"), 2, 1, {1, 3}, "EVAL of (2 1; 1 2)");
  expect_mat(eval("\\IVAL(A)"), 2, 1, {0, 0}, "IVAL of a symmetric matrix");
  expect_mat(eval("\\IVEC(A)"), 2, 2, {0, 0, 0, 0}, "IVEC of a symmetric matrix");
  const Mat v2 = eval("\\EVEC(A)");
  const double h = std::sqrt(0.5);
  ASSERT_EQ(v2.v.size(), 4u);
  EXPECT_NEAR(std::fabs(at(v2, 1, 1)), h, 1e-14);  // (1, -1)/sqrt 2 for 1
  EXPECT_NEAR(at(v2, 1, 1), -at(v2, 2, 1), 1e-14);
  EXPECT_NEAR(at(v2, 1, 2), at(v2, 2, 2), 1e-14);  // (1, 1)/sqrt 2 for 3
  // Characteristic polynomial (3 - l)(l^2 - 6 l + 6): 3 - sqrt 3, 3, 3 + sqrt 3.
  const Mat l3 = eval("\\EVAL(R)");
  expect_mat(l3, 3, 1, {3 - std::sqrt(3.0), 3, 3 + std::sqrt(3.0)}, "EVAL of R, ascending");
  const Mat v3 = eval("\\EVEC(R)");
  expect_eigenpairs({2, 1, 0, 1, 3, 1, 0, 1, 4}, 3, l3, eval("\\IVAL(R)"), v3, eval("\\IVEC(R)"));
  for (int i = 1; i <= 3; ++i)  // the vector of 3 is (1, 1, -1)/sqrt 3
    EXPECT_NEAR(std::fabs(at(v3, i, 2)), 1 / std::sqrt(3.0), 1e-14);
  for (int j = 1; j <= 3; ++j)
    for (int k = 1; k <= 3; ++k) {
      double d = 0.0;
      for (int i = 1; i <= 3; ++i) d += at(v3, i, j) * at(v3, i, k);
      EXPECT_NEAR(d, j == k ? 1.0 : 0.0, 1e-14) << j << "," << k;
    }
}

TEST_F(EigNormTest, GeneralEigenvaluesFollowAscendingRealParts) {
  add('P', 9, 2, 2, {0, -1, 1, 0});  // rotation: +-i
  add('U', 9, 2, 2, {3, 1, 0, 2});   // upper triangular: 3, 2
  add('C', 9, 2, 2, {1, -2, 1, 3});  // 2 +- i
  add('T', 9, 3, 3, {1, 2, 0, 0, 1, 3, 4, 0, 1});
  expect_mat(eval("\\EVAL(P)"), 2, 1, {0, 0}, "EVAL of the rotation");
  expect_mat(eval("\\IVAL(P)"), 2, 1, {1, -1}, "IVAL of the rotation, the pair as the library gives it");
  expect_mat(eval("\\EVAL(U)"), 2, 1, {2, 3}, "real eigenvalues in ascending order");
  expect_mat(eval("\\IVAL(U)"), 2, 1, {0, 0}, "no imaginary parts");
  // Vectors of unit length with the largest component real and positive:
  // (1, -1)/sqrt 2 for 2, (1, 0) for 3, in the order of EVAL.
  const double h = std::sqrt(0.5);
  expect_mat(eval("\\EVEC(U)"), 2, 2, {h, 1, -h, 0}, "EVEC columns follow EVAL");
  expect_mat(eval("\\IVEC(U)"), 2, 2, {0, 0, 0, 0}, "IVEC of real eigenvectors");
  // (A - (2+i) I) v = 0 gives v = (-1+i, 1), scaled: (sqrt 2, (-1-i)/sqrt 2)/sqrt 3.
  const double a = std::sqrt(2.0 / 3.0), b = 1 / std::sqrt(6.0);
  expect_mat(eval("\\EVEC(C)"), 2, 2, {a, a, -b, -b}, "EVEC of a complex pair");
  expect_mat(eval("\\IVEC(C)"), 2, 2, {0, 0, -b, b}, "IVEC of a complex pair");
  // (1 - l)^3 = -24: 1 + c and 1 - c/2 -+ i c sqrt(3)/2 with c = 24^(1/3).
  const double c = std::cbrt(24.0);
  const Mat lr = eval("\\EVAL(T)"), li = eval("\\IVAL(T)");
  expect_mat(lr, 3, 1, {1 - c / 2, 1 - c / 2, 1 + c}, "EVAL of T");
  expect_mat(li, 3, 1, {c * std::sqrt(3.0) / 2, -c * std::sqrt(3.0) / 2, 0}, "IVAL of T");
  expect_eigenpairs({1, 2, 0, 0, 1, 3, 4, 0, 1}, 3, lr, li, eval("\\EVEC(T)"), eval("\\IVEC(T)"));
}

TEST_F(EigNormTest, EigenFunctionsOfAnEmptyMatrix) {
  add('B', 9, 0, 0);
  expect_mat(eval("\\EVAL(B)"), 0, 1, {}, "EVAL");
  expect_mat(eval("\\EVEC(B)"), 0, 0, {}, "EVEC");
}

TEST_F(EigNormTest, EigenErrors) {
  add('C', 9, 2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_QV_ERROR(eval("\\EVAL(C)"), 111);
  EXPECT_QV_ERROR(eval("\\IVAL(C)"), 111);
  EXPECT_QV_ERROR(eval("\\EVEC(C)"), 112);
  EXPECT_QV_ERROR(eval("\\IVEC(C)"), 112);
}

// --- MULN ----------------------------------------------------------------

TEST_F(EigNormTest, MulnProbabilities) {
  // One variable: limit types 0 lower only, 1 upper only, 2 both, 3 none.
  add('A', 9, 4, 1, {1, 1, -1, 0});
  add('B', 9, 4, 1, {1, 1, -1, 1});
  add('C', 9, 4, 1, {1, 1, -1, 2});
  add('D', 9, 4, 1, {1, 1, -1, 3});
  expect_mat(eval("\\MULN(A)"), 1, 1, {0.8413447460685429}, "P(X > -1)");
  expect_mat(eval("\\MULN(B)"), 1, 1, {0.8413447460685429}, "P(X < 1)");
  expect_mat(eval("\\MULN(C)"), 1, 1, {0.6826894921370859}, "P(-1 < X < 1)");
  expect_mat(eval("\\MULN(D)"), 1, 1, {1}, "no limit");
  // Two variables, correlation 0.5 (the upper triangle is not read).
  add('E', 9, 5, 2, {1, 9, 0.5, 1, 0, 0, 0, 0, 1, 1});
  expect_mat(eval("\\MULN(E)"), 1, 1, {0.33333333333333337}, "orthant, r = .5");
  // Three independent variables: Phi(.5) Phi(-.3) (Phi(1.2) - Phi(-.7)).
  add('F', 9, 6, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0.5, -0.3, 1.2, 0, 0, -0.7, 1, 1, 2});
  const Mat f = eval("\\MULN(F)");
  ASSERT_EQ(f.v.size(), 1u);
  EXPECT_NEAR(f.v[0], 0.16987173733871858, 1e-5);
  // Three variables, all correlations 0.5: 1/8 + 3 asin(.5)/(4 pi) = 1/4.
  add('G', 9, 6, 3, {1, 0, 0, 0.5, 1, 0, 0.5, 0.5, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1});
  const Mat g = eval("\\MULN(G)");
  EXPECT_NEAR(g.v[0], 0.25, 1e-4);
  // No variables: 1, from an operand that held no value.
  add('H', 9, 3, 0);
  expect_mat(eval("\\MULN(H)"), 1, 1, {1}, "no variables");
  EXPECT_EQ(jobbase::MAINPR.WSTOP, ptr_ + 20000 + 3 + 1);  // header of H, then its one value
}

TEST_F(EigNormTest, MulnReportsLargeCorrelationsAndGoesOn) {
  add('A', 9, 5, 2, {1, 0, 0.995, 1, 0, 0, 0, 0, 1, 1});
  Mat m;
  const std::string out = jobbase::testing_support::capture([&] { m = eval("\\MULN(A)"); });
  EXPECT_EQ(out,
            " Problem with correlation between variables 2      and 1\n"
            " It is supplied as 0.995000000 which has absolute value > .99 \n")
      << out;
  expect_mat(m, 1, 1, {0.48407786676333964}, "orthant, r = .995");
}

TEST_F(EigNormTest, MulnDebugListing) {
  jobbase::FITOPT.DB = 2;
  add('A', 9, 5, 2, {1, 0, 0.5, 1, 1, 2, -1, -2, 1, 2});
  const std::string out = jobbase::testing_support::capture([&] { eval("\\MULN(A)"); });
  EXPECT_EQ(out,
            " Sigma 0.500000000\n upper, lower, type\n 1.00000000 2.00000000\n"
            " -1.00000000 -2.00000000\n 1.00000000 2.00000000\n")
      << out;
}

TEST_F(EigNormTest, MulnUnderTheTrialBuildsTheShapeOnly) {
  add('A', 9, 5, 2, {1, 0, 0.995, 1, 0, 0, 0, 0, 1, 1});
  for (bool* flag : {&FMFLAG.TRIAL, &FMFLAG.SHAPE}) {
    *flag = true;
    Mat m;
    const std::string out = jobbase::testing_support::capture([&] { m = eval("\\MULN(A)"); });
    *flag = false;
    EXPECT_EQ(m.r, 1);
    EXPECT_EQ(m.c, 1);
    EXPECT_EQ(out, "");
  }
}

TEST_F(EigNormTest, MulnErrors) {
  add('A', 9, 4, 2, {1, 0, 0, 1, 0, 0, 0, 0});
  EXPECT_QV_ERROR(eval("\\MULN(A)"), 149);
  // Beyond the integrator's 20 variables: refused, also in the trial.
  add('B', 9, 24, 21, std::vector<double>(24 * 21, 0.0));
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        FMFLAG.TRIAL = true;
        eval("\\MULN(B)");
      },
      ::testing::ExitedWithCode(1), " Too many or too few dimensions: N= 21\n(.*)error code is +150\n");
  // Correlations that no matrix can have: reported, never integrated.
  add('C', 9, 6, 3, {1, 0, 0, 0.9, 1, 0, 0.9, -0.9, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1});
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        eval("\\MULN(C)");
      },
      ::testing::ExitedWithCode(1), " Correlation matrix not positive definite\n(.*)error code is +150\n");
}

// --- MNOR ----------------------------------------------------------------

TEST_F(EigNormTest, MnorProbabilities) {
  // Variance 4, mean 1, limits 3 and -1: standardised 1 and -1.
  add('A', 9, 5, 1, {4, 1, 3, -1, 2});
  add('B', 9, 5, 1, {4, 1, 3, -1, 0});
  add('C', 9, 5, 1, {4, 1, 3, -1, 1});
  add('D', 9, 5, 1, {4, 1, 3, -1, 3});
  expect_mat(eval("\\MNOR(A)"), 1, 1, {0.6826894921370859}, "both limits");
  expect_mat(eval("\\MNOR(B)"), 1, 1, {0.8413447460685429}, "upper only");
  expect_mat(eval("\\MNOR(C)"), 1, 1, {0.8413447460685429}, "lower only");
  expect_mat(eval("\\MNOR(D)"), 1, 1, {1}, "left out: nothing to integrate");
  // Three variables, the second left out (-1); the other two have
  // correlation 1/(2*1) = .5 and standardised upper limits 0.  The second's
  // variance is never read.
  add('E', 9, 7, 3, {4, 7, 1, 7, -5, 7, 1, 7, 1, 1, 0, 2, 1, 0, 2, 0, 0, 0, 0, -1, 0});
  expect_mat(eval("\\MNOR(E)"), 1, 1, {0.33333333333333337}, "orthant of the kept pair");
  // Three independent variables of variances 1, 4, 9 and means 0, 1, 2.
  add('F', 9, 7, 3,
      {1, 0, 0, 0, 4, 0, 0, 0, 9, 0, 1, 2, 0.5, 0.4, 2 + 3 * 1.2, 0, 0, 2 - 3 * 0.7, 0, 0, 2});
  const Mat f = eval("\\MNOR(F)");
  ASSERT_EQ(f.v.size(), 1u);
  EXPECT_NEAR(f.v[0], 0.16987173733871858, 2e-3);
  // A one-sided limit never reads the other one.
  add('G', 9, 5, 1, {1, 0, -1, 5, 0});
  expect_mat(eval("\\MNOR(G)"), 1, 1, {0.15865525393145707}, "upper only, lower above it");
}

TEST_F(EigNormTest, MnorReportsCorrelationsOfOneAndDebugListing) {
  jobbase::FITOPT.DB = 2;
  add('A', 9, 6, 2, {1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0});
  Mat m;
  const std::string out = jobbase::testing_support::capture([&] { m = eval("\\MNOR(A)"); });
  EXPECT_EQ(out,
            " Problem with correlation between variables 2      and 1\n"
            " It is supplied as 1.00000000 which has absolute value > .99 \n"
            " Sigma 1.00000000\n means, upper, lower, type\n 0.00000000 0.00000000\n"
            " 0.00000000 0.00000000\n 0.00000000 0.00000000\n 0 0\n"
            " Integral is 0.500000000\n")
      << out;
  expect_mat(m, 1, 1, {0.5}, "identical variables");
}

TEST_F(EigNormTest, MnorErrors) {
  add('A', 9, 4, 1, {1, 0, 1, 0});
  EXPECT_QV_ERROR(eval("\\MNOR(A)"), 153);
  add('B', 9, 5, 1, {4, 1, -1, 3, 2});
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        eval("\\MNOR(B)");
      },
      ::testing::ExitedWithCode(1),
      " Problem with limits on variable # 1\n Limits are:\n Upper: -1.00000000; Standardized: -1.00000000\n"
      " Lower: 3.00000000; Standardized: 1.00000000\n(.*)error code is +150\n");
  add('C', 9, 5, 1, {0, 1, 2, 0, 2});
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        eval("\\MNOR(C)");
      },
      ::testing::ExitedWithCode(1),
      " Error - variance is LE 0 for variable 1\n Variance is 0.00000000\n(.*)error code is +232\n");
}

// --- MOMNOR --------------------------------------------------------------

// A one-variable MOMNOR operand: variance, mean, threshold, selection, points.
std::vector<double> mom1(double var, double mean, double thr, double sel, double pts) {
  return {var, mean, thr, sel, pts};
}

TEST_F(EigNormTest, MomnorOfOneVariable) {
  // Standardised threshold .5, variance 4, mean 1; the 64-point Laguerre
  // rule reaches about 1e-6 (16 points about 1e-2).
  const double up_m = 1.1410777703680648, up_m2 = 1.5705388851840323;
  const double dn_m = -0.5091604338370336, dn_m2 = 0.7454197830814833;
  add('A', 9, 5, 1, mom1(4, 1, 0.5, 1, 64));
  add('B', 9, 5, 1, mom1(4, 1, 0.5, -1, 64));
  add('C', 9, 5, 1, mom1(4, 1, 0.5, 0, 0));
  const Mat a = eval("\\MOMNOR(A)");
  ASSERT_EQ(a.r, 2);
  ASSERT_EQ(a.c, 1);
  EXPECT_NEAR(a.v[0], 4 * up_m2, 2e-6);
  EXPECT_NEAR(a.v[1], 2 * up_m + 1, 2e-6);
  const Mat b = eval("\\MOMNOR(B)");
  EXPECT_NEAR(b.v[0], 4 * dn_m2, 2e-6);
  EXPECT_NEAR(b.v[1], 2 * dn_m + 1, 2e-6);
  // Not selected: the Hermite rule is exact, the untruncated moments.
  expect_mat(eval("\\MOMNOR(C)"), 2, 1, {4, 1}, "not selected");
}

TEST_F(EigNormTest, MomnorOfTwoCorrelatedVariables) {
  // Selection X1 > .5 on a pair with correlation .5 (variances 1, 4; means
  // 0, 3): E[X2 | .] = r m1, E[X2^2 | .] = 1 - r^2 + r^2 m2, E[X1 X2 | .] = r m2
  // in standardised units.
  const double m1 = 1.1410777703680648, m2 = 1.5705388851840323, r = 0.5;
  add('A', 9, 6, 2, {1, 1, 1, 4, 0, 3, 0.5, 0, 1, 0, 48, 48});
  const Mat a = eval("\\MOMNOR(A)");
  ASSERT_EQ(a.r, 3);
  ASSERT_EQ(a.c, 2);
  EXPECT_NEAR(at(a, 1, 1), m2, 1e-5);
  EXPECT_NEAR(at(a, 1, 2), 2 * r * m2, 1e-5);
  EXPECT_NEAR(at(a, 2, 1), 2 * r * m2, 1e-5);
  EXPECT_NEAR(at(a, 2, 2), 4 * (1 - r * r + r * r * m2), 1e-5);
  EXPECT_NEAR(at(a, 3, 1), m1, 1e-5);
  EXPECT_NEAR(at(a, 3, 2), 3 + 2 * r * m1, 1e-5);
}

TEST_F(EigNormTest, MomnorRuleSizes) {
  // Selected variable: the rules of 10, 12, 16, 48 and 64 points all differ
  // in the last digits, so equal results show the same rule.
  auto run = [&](double q) {
    add('A', 9, 5, 1, mom1(1, 0, 0.3, 1, q));
    return eval("\\MOMNOR(A)").v;
  };
  EXPECT_EQ(run(11), run(10));
  EXPECT_NE(run(11), run(12));
  EXPECT_EQ(run(0), run(16));
  EXPECT_EQ(run(-3), run(16));
  EXPECT_NE(run(0), run(14));
  EXPECT_EQ(run(100), run(64));
  EXPECT_NE(run(100), run(48));
  // Below 2 points: one point at 0 for a variable not selected, so its
  // second moment is 0; 2 points are exact.
  add('B', 9, 5, 1, mom1(1, 0, 0, 0, 1.5));
  expect_mat(eval("\\MOMNOR(B)"), 2, 1, {0, 0}, "one-point rule");
  add('C', 9, 5, 1, mom1(1, 0, 0, 0, 2));
  expect_mat(eval("\\MOMNOR(C)"), 2, 1, {1, 0}, "two-point rule");
}

TEST_F(EigNormTest, MomnorWithoutProbabilityKeepsTheUntruncatedMoments) {
  // Beyond the threshold 50 the density underflows: nothing is computed.
  add('A', 9, 5, 1, mom1(4, 1, 50, 1, 16));
  expect_mat(eval("\\MOMNOR(A)"), 2, 1, {4, 1}, "empty region");
}

TEST_F(EigNormTest, MomnorUnderTheTrialBuildsTheShapeOnly) {
  add('A', 9, 6, 2, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0});  // zero variances
  FMFLAG.TRIAL = true;
  const Mat m = eval("\\MOMNOR(A)");
  FMFLAG.TRIAL = false;
  EXPECT_EQ(m.r, 3);
  EXPECT_EQ(m.c, 2);
}

TEST_F(EigNormTest, MomnorErrors) {
  add('A', 9, 5, 2, std::vector<double>(10, 1.0));
  EXPECT_QV_ERROR(eval("\\MOMNOR(A)"), 156);
  add('B', 9, 5, 1, mom1(0, 0, 0, 1, 0));
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        eval("\\MOMNOR(B)");
      },
      ::testing::ExitedWithCode(1),
      " Error: threshold cannot be standardized\n For variable 1 Variance is 0.00000000\n(.*)error code is +211\n");
  // More variables than the moment integrand holds: refused, also in the trial.
  add('C', 9, 25, 21, std::vector<double>(25 * 21, 0.0));
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        FMFLAG.TRIAL = true;
        eval("\\MOMNOR(C)");
      },
      ::testing::ExitedWithCode(1), " Momnor takes at most 20 variables; N= 21\n(.*)error code is +150\n");
  // A singular correlation matrix has no density.
  add('D', 9, 6, 2, {1, 1, 1, 1, 0, 0, 0, 0, 1, 0, 4, 4});
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        eval("\\MOMNOR(D)");
      },
      ::testing::ExitedWithCode(1), " Momnor: the correlation matrix is not positive definite(.*)error code is +150\n");
}

// --- PDFNOR --------------------------------------------------------------

TEST_F(EigNormTest, PdfnorDensities) {
  add('A', 9, 3, 1, {1, 0.7, 0.7});
  expect_mat(eval("\\PDFNOR(A)"), 1, 1, {0.3989422804014327}, "x at the mean");
  // Covariance (2 .5; .5 1), x = (1, 0), mean (0, 1).
  add('B', 9, 4, 2, {2, 0.5, 0.5, 1, 1, 0, 0, 1});
  expect_mat(eval("\\PDFNOR(B)"), 1, 1, {0.03836759318252469}, "two variables");
  add('C', 9, 4, 2, {1, 1, 1, 1, 0, 0, 0, 0});  // singular
  expect_mat(eval("\\PDFNOR(C)"), 1, 1, {0}, "singular covariance");
  add('D', 9, 4, 2, {1, 2, 2, 1, 0, 0, 0, 0});  // not positive definite
  expect_mat(eval("\\PDFNOR(D)"), 1, 1, {0}, "indefinite covariance");
  FMFLAG.SHAPE = true;
  const Mat s = eval("\\PDFNOR(B)");
  FMFLAG.SHAPE = false;
  EXPECT_EQ(s.r * s.c, 1);
}

TEST_F(EigNormTest, PdfnorErrors) {
  add('A', 9, 3, 2, std::vector<double>(6, 1.0));
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        eval("\\PDFNOR(A)");
      },
      ::testing::ExitedWithCode(1),
      " Pdfnor needs a matrix with 2 more rows than columns:\n"
      " the covariance matrix, then the observed values, then the means\n(.*)error code is +172\n");
}

// --- PCHI ----------------------------------------------------------------

TEST_F(EigNormTest, PchiTails) {
  add('A', 9, 6, 2, {3.84, 1, 0, 1, 2, -1, 4, 2, 5, 3, -1, 3});
  const Mat m = eval("\\PCHI(A)");
  ASSERT_EQ(m.r, 6);
  ASSERT_EQ(m.c, 1);
  // The library's incomplete gamma function works to a relative 5e-6.
  const std::vector<double> want = {0.05004352124870509, 1, 1, 0.1353352832366127, 0.17179714429673315, 1};
  for (std::size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(m.v[k], want[k], 1e-5 * want[k]) << k;
  FMFLAG.TRIAL = true;
  const Mat t = eval("\\PCHI(A)");
  FMFLAG.TRIAL = false;
  EXPECT_EQ(t.r, 6);
  EXPECT_EQ(t.c, 1);
}

TEST_F(EigNormTest, PchiErrors) {
  add('A', 9, 1, 3, {1, 2, 3});
  EXPECT_QV_ERROR(eval("\\PCHI(A)"), 224);
  FMFLAG.TRIAL = true;
  EXPECT_QV_ERROR(eval("\\PCHI(A)"), 224);
  FMFLAG.TRIAL = false;
}

TEST_F(EigNormTest, CodesAndValuesOutsideTheIntegers) {
  // A type code beyond the integers is clamped (read as a code above 2:
  // both limits); one that is not a number as 0 (lower limit only for MULN).
  add('A', 9, 4, 1, {1, 1, -1, 1e300});
  add('B', 9, 4, 1, {1, 1, -1, std::nan("")});
  expect_mat(eval("\\MULN(A)"), 1, 1, {0.6826894921370859}, "huge code");
  expect_mat(eval("\\MULN(B)"), 1, 1, {0.8413447460685429}, "code not a number");
  // Values that are not numbers come back as such, without hanging.
  add('C', 9, 1, 2, {std::nan(""), 1});
  add('D', 9, 3, 1, {1, std::nan(""), 0});
  EXPECT_TRUE(std::isnan(eval("\\PCHI(C)").v.at(0)));
  EXPECT_TRUE(std::isnan(eval("\\PDFNOR(D)").v.at(0)));
}

}  // namespace
}  // namespace qv::algebra
