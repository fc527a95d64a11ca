// Covariance fit functions (codes 1 to 5): the kernels and the group adapter
// against reference values computed outside Qv.
//
// Data: the Holzinger-Swineford (1939) mental-ability data as shipped with
// R's lavaan (HolzingerSwineford1939, x1..x9, N = 301).  The references were
// computed by tests/fit/refs/covfit_refs.R (R 4.2, lavaan 0.6.14); each
// table row names the R expression that gave its value.  Packed matrices are
// the lower triangle by rows.
#include <gtest/gtest.h>

#include "support/reset.hpp"
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "fit/covfit.hpp"
#include "fit/objcel.hpp"
#include "hs9_data.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/syminv.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/packidx.hpp"

using namespace qv::fit;
using qv::jobbase::GRPTAB;
using qv::jobbase::MAINPR;
using qv::jobbase::WORKSP;
using qv::runtime::packed_offset;
using qv::runtime::packed_size;
using ::testing::ExitedWithCode;

// Sends standard output to standard error, where a death test matches it.
#define REPORT_ON_STDERR(stmt) \
  do {                         \
    ::dup2(2, 1);              \
    stmt;                      \
  } while (0)

namespace {

using qv::fit::hs9::kDetS9;
using qv::fit::hs9::kMexp9;
using qv::fit::hs9::kMobs9;
using qv::fit::hs9::kS9;
using qv::fit::hs9::kSig9;

// One factor on x1..x4 by lavaan's WLS: the sample covariances, the fitted
// covariances, the weight matrix WLS.V and the diagonal of Gamma, the last
// two permuted from lavaan's column-wise vech order into row-packed order.
const std::vector<double> kS4 = {1.3628977449977859,  0.40872923458654481, 1.3863898117386491, 0.5818323200848422,
                                 0.45256748338870434, 1.2791144102990033,  0.50651777949585941, 0.20961978157045957,
                                 0.20886351162214839, 1.3551667228846569};
const std::vector<double> kSig4 = {1.3578509394143321, 0.47094493778579738, 1.3480667983651937, 0.63982865091307251,
                                   0.35127233606457886, 1.2691507643131799, 0.4238713391716516, 0.23270960950117933,
                                   0.31616068791755431, 1.2953942810859356};
const std::vector<double> kW4 = {
    0.47561697663261554,   -0.052835541952031467, 0.8753645507792196,    -0.010276943136790758, -0.13288199766024883,
    0.33543651488161619,   -0.42587883648144653,  -0.46381090499880884,  0.054877825459510095,  1.4873995575257801,
    -0.050121376546464702, -0.27271404481289424,  -0.18031571007380892,  0.1323403292157726,    0.81056808392687207,
    0.086402387032877476,  0.19886222789448538,   -0.053412317417667138, -0.48552959999421474,  -0.17673707878076853,
    0.79315979345796739,   -0.16198618966854536,  -0.10038759465367346,  0.08837134932143656,   0.071789903150447476,
    0.082242010365618151,  -0.032674410747538546, 0.69991260690976564,   -0.029598352123769746, -0.1072185997545568,
    0.0022745342335562316, 0.1859301714233853,    0.05629515895290161,   -0.03799286347063488,  -0.039655999014148686,
    0.59670994849198655,   0.098580158214308919,  0.22113874689199903,   0.031579149894756284,  -0.45843719048948284,
    -0.17238865675087992,  0.033209351903662587,  -0.25337378544863204,  -0.27938421084981935,  1.0111601957686542,
    -0.041748329495729583, 0.044200315127291424,  -0.049405795702481256, 0.048910192805007691,  -0.012435669583010621,
    0.020254000013361438,  -0.18381022165486297,  -0.011541576310305401, -0.029064351650454442, 0.34388362037440307};
const std::vector<double> kV4 = {4.2985432369139316, 2.2292594733265285, 4.4957901953799393, 1.8838115315384307,
                                 2.0230873542403383, 1.7982860275875796, 2.5385981479656228, 2.0746157081305716,
                                 1.6823276782177883, 3.8322868622970963};
// The off-diagonal rows and columns of WLS.V, row-packed order.
const std::vector<double> kW4off = {
    0.8753645507792196,   -0.46381090499880884,  1.4873995575257801,   -0.27271404481289424, 0.1323403292157726,
    0.81056808392687207,  -0.10038759465367346,  0.071789903150447476, 0.082242010365618151, 0.69991260690976564,
    -0.1072185997545568,  0.1859301714233853,    0.05629515895290161,  -0.039655999014148686, 0.59670994849198655,
    0.22113874689199903,  -0.45843719048948284,  -0.17238865675087992, -0.25337378544863204, -0.27938421084981935,
    1.0111601957686542};
// cov2cor(S4)
const std::vector<double> kR4 = {1, 0.29734551101584739, 1, 0.44066799525607686, 0.3398489810249723, 1,
                                 0.37270626534822338, 0.15293018738168171, 0.1586395668303153, 1};

// A one-group workspace: the group table, then S, E, W and the observed
// means at fixed addresses, scratch from WSTOP.
constexpr int kS = 1001, kE = 2001, kW = 3001, kM = 4001, kTop = 10001;

class CovFitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qv::testing_support::reset_every_area();
    MAINPR.WSTOP = kTop;
    X(1) = 1.0;  // NG
  }
  qv::runtime::Vec1<double> X = WORKSP.x();
  double& col(int k) { return GRPTAB(X, 1, k, 1); }
  void put(int addr, const std::vector<double>& v) {
    for (std::size_t i = 0; i < v.size(); ++i) X(addr + static_cast<int>(i)) = v[i];
  }
  // Lays out group 1 with observed matrix S, expected E and order p.
  void group(int code, const std::vector<double>& S, const std::vector<double>& E, int p, double N,
             double detS = 0.0) {
    put(kS, S);
    put(kE, E);
    col(1) = N;
    col(2) = p;
    col(3) = packed_size(p);
    col(4) = kS;
    col(9) = kE;
    col(10) = detS;
    col(11) = code;
  }
  double run(int code) {
    double fobj = 0.0;
    COVFIT(code, X, 1, 1, fobj);
    EXPECT_EQ(fobj, col(15));
    return fobj;
  }
};

// Relative closeness.
void expect_rel(double got, double want, double tol, const std::string& what) {
  EXPECT_NEAR(got, want, tol * std::max(1.0, std::fabs(want))) << what;
}

}  // namespace

// Each code at lavaan's ML estimates of the three-factor model (and the
// one-factor WLS model for the weighted codes), through the group adapter.
TEST_F(CovFitTest, ValuesAgainstR) {
  struct Case {
    const char* name;
    int code;
    const std::vector<double>* S;
    const std::vector<double>* E;
    int p;
    const std::vector<double>* W;  // weights (codes 3 and 4)
    int form;                      // asymptotic form, column 16 (code 3)
    int di;                        // column 32 (code 3)
    double want;
    double penalty;                // the diagonal penalty left in column 10 (code 3)
    const char* source;
  };
  const Case cases[] = {
      {"ML 9", 2, &kS9, &kSig9, 9, nullptr, 0, 0, 85.0221147221351, 0,
       "R: (log(det(Sig)/det(S)) + tr(solve(Sig) %*% S) - 9) * 300; lavaan chisq 85.022114722134575"},
      {"LS 9", 1, &kS9, &kSig9, 9, nullptr, 0, 0, 91.791476232280303, 0,
       "R: 300 * sum((S - Sig)[lower.tri(S, diag = TRUE)]^2)"},
      {"GLS 9", 5, &kS9, &kSig9, 9, nullptr, 0, 0, 116.50098041748394, 0,
       "R: 300 * 0.5 * tr((I - Sig %*% solve(S)) %*% (I - Sig %*% solve(S)))"},
      {"AWLS 4 covariances", 3, &kS4, &kSig4, 4, &kW4, 2, 0, 0.03633767334125472, 0,
       "R: t(r) %*% WLS.V %*% r, r = lav_matrix_vech(S4 - Sig4)"},
      {"AWLS 4 correlations", 3, &kR4, &kSig4, 4, &kW4off, 1, 0, 0.021092083685980079, 0,
       "R: off-diagonal vech(cov2cor(S4) - cov2cor(Sig4)), WLS.V off-diagonal block"},
      {"AWLS 4 correlations held", 3, &kR4, &kSig4, 4, &kW4off, 0, 0, 0.057749762669556254 + 61.336155928884303,
       61.336155928884303, "R: off-diagonal vech(cov2cor(S4) - Sig4) quadratic form + 300/2 * sum((1 - diag(Sig4))^2)"},
      {"AWLS 4 correlations held, DI", 3, &kR4, &kSig4, 4, &kW4off, 0, 1, 0.057749762669556254, 0,
       "R: off-diagonal vech(cov2cor(S4) - Sig4) quadratic form, no penalty"},
      {"DWLS 4", 4, &kS4, &kSig4, 4, &kV4, 0, 0, 0.038089281077820877, 0,
       "R: sum(c * vech(S4 - Sig4)^2 / diag(Gamma)), c = 2 off the diagonal"},
  };
  for (const auto& c : cases) {
    SetUp();
    group(c.code, *c.S, *c.E, c.p, 301.0, kDetS9);
    if (c.W) {
      put(kW, *c.W);
      col(20) = kW;
    }
    col(16) = c.form;
    col(32) = c.di;
    col(10) = c.code == 3 ? -7.0 : kDetS9;  // code 3 overwrites it with its penalty
    expect_rel(run(c.code), c.want, 1e-10, std::string(c.name) + " [" + c.source + "]");
    if (c.code == 3) {
      EXPECT_NEAR(col(10), c.penalty, 1e-10 * std::max(1.0, c.penalty)) << c.name;
    }
    EXPECT_EQ(OBJCEL.FMODE, 0) << c.name;
    EXPECT_EQ(MAINPR.WSTOP, kTop) << c.name;
  }
}

// The means term of maximum likelihood from the inverse the kernel leaves.
TEST(CovFitKernel, MlMeansTermAgainstR) {
  std::vector<double> scratch(ml_scratch(9) + 9);
  const MlResult r = ml_fit(kS9, kSig9, 9, kDetS9, 301.0, 0.0, scratch);
  ASSERT_TRUE(r.inverted);
  ASSERT_FALSE(r.penalty);
  std::vector<double> work(9);
  const double term = ml_means_term(std::span<const double>(scratch).first(45), kMobs9, kMexp9, 9, 301.0, work);
  // R: N * log(1 + t(d) %*% solve(Sig) %*% d), d = colMeans - shifted means
  EXPECT_NEAR(term, 247.4634537955487, 1e-10 * 247.5);
  // Equal means: q = 0, no term.
  EXPECT_EQ(ml_means_term(std::span<const double>(scratch).first(45), kMobs9, kMobs9, 9, 301.0, work), 0.0);
}

// Small cases in closed form: how each code counts the packed elements, and
// the generalised least squares value being that of the trace (not of the
// squared norm of I - E S^-1).
TEST(CovFitKernel, ClosedForms) {
  // p = 2: S = [2 1; 1 3], E = [1 0; 0 1], N = 11.
  const std::vector<double> S = {2, 1, 3}, E = {1, 0, 1};
  // LS: 10 * ((2-1)^2 + (1-0)^2 + (3-1)^2) = 60, the off-diagonal element once.
  EXPECT_DOUBLE_EQ(ls_fit(S, E, 11.0), 60.0);
  // DWLS with weights 1, 4, 2: 1/1 + 2*1/4 + 4/2 = 3.5, no factor of N.
  EXPECT_DOUBLE_EQ(dwls_fit(S, E, std::vector<double>{1, 4, 2}, 2), 3.5);
  // GLS with S = I, E = [2 1; 1 3]: I - E = [-1 -1; -1 -2]; tr of its square = 1+1+1+4 = 7;
  // 10 * 0.5 * 7 = 35.  (Non-symmetric M below shows the transposed element is used.)
  std::vector<double> scratch(gls_scratch(2));
  EXPECT_DOUBLE_EQ(gls_fit(std::vector<double>{1, 0, 1}, S, 2, 11.0, scratch), 35.0);
  // S^-1 = diag(1, 1/2), E = [1 1; 1 1]: M = E S^-1 = [1 .5; 1 .5], I - M = [0 -.5; -1 .5];
  // sum (I-M)_ij (I-M)_ji = 0 + 2*(-.5)(-1) + .25 = 1.25; 10 * 0.5 * 1.25 = 6.25 (the squared
  // norm would give 10 * 0.5 * 1.5 = 7.5).
  EXPECT_DOUBLE_EQ(gls_fit(std::vector<double>{1, 0, 0.5}, std::vector<double>{1, 1, 1}, 2, 11.0, scratch), 6.25);
  // ML with E = S: ln 1 + tr(I) - p = 0.
  std::vector<double> mls(ml_scratch(2));
  const MlResult r = ml_fit(S, S, 2, 5.0, 11.0, 0.0, mls);
  EXPECT_FALSE(r.penalty);
  EXPECT_NEAR(r.F, 0.0, 1e-14);
  // ML, p = 1: S = 2, E = 4, N = 11: (ln 2 + 1/2 - 1) * 10.
  const MlResult r1 = ml_fit(std::vector<double>{2}, std::vector<double>{4}, 1, 2.0, 11.0, 0.0, mls);
  EXPECT_NEAR(r1.F, (std::log(2.0) - 0.5) * 10.0, 1e-14);
}

// Generalised least squares does not change when the variables are
// rescaled (S -> D S D, E -> D E D), as the discrepancy of a chi-squared
// statistic must not.
TEST(CovFitKernel, GlsScaleInvariant) {
  const double D[9] = {1, 2, 0.5, 3, 1, 0.25, 7, 1, 2};
  std::vector<double> SD(45), ED(45);
  int k = 0;
  for (int i = 1; i <= 9; ++i)
    for (int j = 1; j <= i; ++j, ++k) {
      SD[k] = kS9[k] * D[i - 1] * D[j - 1];
      ED[k] = kSig9[k] * D[i - 1] * D[j - 1];
    }
  std::vector<double> inv(45), w(9), scratch(gls_scratch(9));
  auto invert = [&](const std::vector<double>& A) {
    inv = A;
    double det = 0;
    int nul = 0, fault = 0;
    qv::jobbase::SYMINV(qv::runtime::Vec1<double>(inv.data(), 45), 9, qv::runtime::Vec1<double>(inv.data(), 45),
                       qv::runtime::Vec1<double>(w.data(), 9), det, 0, nul, fault);
    EXPECT_EQ(fault, 0);
    return inv;
  };
  const double f1 = gls_fit(invert(kS9), kSig9, 9, 301.0, scratch);
  const double f2 = gls_fit(invert(SD), ED, 9, 301.0, scratch);
  EXPECT_NEAR(f1, 116.50098041748394, 1e-10 * 116.5);  // R value of the table above
  EXPECT_NEAR(f2, f1, 1e-9 * f1);
}

// One factor with three indicators is just identified: the loadings in
// closed form (l1^2 = s21 s31 / s32, l2 = s21 / l1, l3 = s31 / l1, unique
// variances s_ii - l_i^2) reproduce S, and every code gives F = 0.
TEST_F(CovFitTest, JustIdentifiedOneFactorFitsExactly) {
  const std::vector<double> S(kS9.begin(), kS9.begin() + 6);
  const double l1 = std::sqrt(S[1] * S[3] / S[4]), l2 = S[1] / l1, l3 = S[3] / l1;
  const double l[3] = {l1, l2, l3};
  std::vector<double> E(6);
  int k = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j <= i; ++j, ++k) E[k] = i == j ? S[k] : l[i] * l[j];  // diagonal: l^2 + (s_ii - l^2)
  // det of the 3 x 3 S by cofactors
  const double a = S[0], b = S[1], c = S[2], d = S[3], e = S[4], f = S[5];
  const double detS = a * (c * f - e * e) - b * (b * f - e * d) + d * (b * e - c * d);
  const std::vector<double> W3 = {1, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
  for (int code = 1; code <= 5; ++code) {
    SetUp();
    group(code, S, E, 3, 301.0, detS);
    // Code 3: identity weights of order 6; code 4: unit weights.
    put(kW, code == 4 ? std::vector<double>(6, 1.0) : W3);
    col(20) = kW;
    col(16) = 2;
    EXPECT_NEAR(run(code), 0.0, 1e-10) << "code " << code;
  }
}

// The penalty of maximum likelihood, in closed form from its constants
// (1e-30 and 1e33 as single-precision values): 100 p^2 + previous value +
// (1e-30 - ratio) x 1e33.
TEST_F(CovFitTest, MlPenalty) {
  const double tiny = 1.0000000031710769e-30, scale = 9.999999944957273e+32;
  struct Case {
    const char* name;
    std::vector<double> E;
    double ratio;  // det E / det S as the penalty sees it
  };
  const Case cases[] = {
      {"singular (rank one)", {1, 1, 1, 1, 1, 1}, 0.0},
      {"not positive semi-definite: determinant taken as 0", {-1, 0, -1, 0, 0, -1}, 0.0},
      {"ratio below 1e-30", {1e-11, 0, 1e-11, 0, 0, 1e-11}, 1e-33},
  };
  for (const auto& c : cases) {
    for (int first = 0; first <= 1; ++first) {
      SetUp();
      group(2, {1, 0, 1, 0, 0, 1}, c.E, 3, 50.0, 1.0);
      col(15) = 5.0;  // the previous value
      OBJCEL.FFIRST = first;
      testing::internal::CaptureStdout();
      const double F = run(2);
      const std::string out = testing::internal::GetCapturedStdout();
      EXPECT_NEAR(F, 900.0 + 5.0 + (tiny - c.ratio) * scale, 1e-9) << c.name;
      EXPECT_EQ(OBJCEL.FMODE, -1) << c.name;
      EXPECT_EQ(OBJCEL.NNONPD, 1) << c.name;
      if (first == 0) {
        EXPECT_EQ(out,
                  "\n At the starting values, expected matrix of group 1 is not positive definite\n"
                  " Minimization may be impaired by penalty function\n")
            << c.name;
        EXPECT_TRUE(OBJCEL.NPDWRN) << c.name;
      } else {
        EXPECT_EQ(out, "") << c.name;
        EXPECT_FALSE(OBJCEL.NPDWRN) << c.name;
      }
    }
  }
}

// Fatal data errors: det S = 0 (220, at any call), det S < 0 at the first
// call (the matrix is printed, then 155), S singular for GLS (54).
TEST_F(CovFitTest, FatalDataErrors) {
  group(2, {1, 0, 1}, {1, 0, 1}, 2, 50.0, 0.0);
  OBJCEL.FFIRST = true;
  EXPECT_EXIT(REPORT_ON_STDERR(run(2)), ExitedWithCode(1), "220");

  group(2, {1, 2, 1}, {1, 0, 1}, 2, 50.0, -3.0);
  OBJCEL.FFIRST = false;
  EXPECT_EXIT(REPORT_ON_STDERR(run(2)), ExitedWithCode(1),
              "\n Observed covariance matrix for group 1\n 1.00000000\n 2.00000000 1.00000000\n(.|\n)*155");

  group(5, {1, 1, 1}, {1, 0, 1}, 2, 50.0);
  EXPECT_EXIT(REPORT_ON_STDERR(run(5)), ExitedWithCode(1), "54(.|\n)*positive definite for GLS");
}

// det S < 0 after the first call: the penalty, no lines, no error.
TEST_F(CovFitTest, MlNegativeObservedDeterminantLater) {
  group(2, {1, 2, 1}, {1, 0, 1}, 2, 50.0, -3.0);
  OBJCEL.FFIRST = true;
  testing::internal::CaptureStdout();
  const double F = run(2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  // ratio = 1 / -3
  EXPECT_NEAR(F, 400.0 + (1.0000000031710769e-30 + 1.0 / 3.0) * 9.999999944957273e+32, 1e18);
  EXPECT_EQ(OBJCEL.FMODE, -1);
}

// GLS replaces S by its inverse once; the next call reads the stored
// inverse and gives the same value.
TEST_F(CovFitTest, GlsInvertsTheObservedMatrixOnce) {
  group(5, kS9, kSig9, 9, 301.0);
  const double f1 = run(5);
  EXPECT_EQ(col(19), 1.0);
  EXPECT_NE(X(kS), kS9[0]);  // S now holds its inverse
  const std::vector<double> held(&X(kS), &X(kS) + 45);
  const double f2 = run(5);
  EXPECT_EQ(f1, f2);
  EXPECT_EQ(std::vector<double>(&X(kS), &X(kS) + 45), held);
  EXPECT_NEAR(f1, 116.50098041748394, 1e-10 * 116.5);  // R, as in the table above
}

// Scratch that does not fit below the workspace limit stops the run with
// error 119 before a word past the limit is written.
TEST_F(CovFitTest, ScratchPastTheLimitIsError119) {
  group(5, kS9, kSig9, 9, 301.0);
  MAINPR.WSTOP = MAINPR.WSLIM - 10;  // GLS needs 3 p^2 = 243 words
  EXPECT_EXIT(REPORT_ON_STDERR(run(5)), ExitedWithCode(1), "119");
  group(2, kS9, kSig9, 9, 301.0, kDetS9);
  MAINPR.WSTOP = MAINPR.WSLIM - 10;  // ML needs 45 + 18 words
  EXPECT_EXIT(REPORT_ON_STDERR(run(2)), ExitedWithCode(1), "119");
}

namespace {

// Packed S of order p: variances v, and covariance r v between variables
// 2k - 1 and 2k when pairs is set (40 correlated pairs for p = 80).
std::vector<double> pairs_matrix(int p, double v, double r) {
  std::vector<double> S(static_cast<std::size_t>(packed_size(p)), 0.0);
  for (int i = 1; i <= p; ++i) {
    S[static_cast<std::size_t>(packed_offset(i, i))] = v;
    if (i % 2 == 0) S[static_cast<std::size_t>(packed_offset(i, i - 1))] = r * v;
  }
  return S;
}

}  // namespace

// Maximum likelihood where det E, det S or their ratio lies beyond the range
// of a double: the logarithm of the ratio from the factors, so the value is
// that of the closed form whatever the scale; a ratio that is not a number
// is the penalty, never a value of NaN.
TEST(CovFitKernel, MlBeyondTheRangeOfADouble) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double tiny = 1.0000000031710769e-30, scale = 9.999999944957273e+32;
  struct Case {
    const char* name;
    std::vector<double> S, E;
    int p;
    double detS;  // as the data check stores it
    double N;
    bool penalty;
    double want;
    const char* source;
  };
  const Case cases[] = {
      {"80 variances 1e4, E = S (det 1e320 both)", pairs_matrix(80, 1e4, 0.5), pairs_matrix(80, 1e4, 0.5), 80, inf,
       100.0, false, 0.0, "closed form: E = S gives 0"},
      {"80 variances 1e4 in pairs r = .5, E their diagonal", pairs_matrix(80, 1e4, 0.5), pairs_matrix(80, 1e4, 0.0),
       80, inf, 100.0, false, -99.0 * 40.0 * std::log(0.75),
       "closed form: (ln det E/det S + tr E^-1 S - p)(N - 1) = -(N - 1) 40 ln(1 - r^2)"},
      {"80 variances 1e-5 in pairs (det 1e-400), E their diagonal", pairs_matrix(80, 1e-5, 0.5),
       pairs_matrix(80, 1e-5, 0.0), 80, std::numeric_limits<double>::denorm_min(), 100.0, false,
       -99.0 * 40.0 * std::log(0.75), "closed form as above"},
      {"E = 1e200 I, det E overflows", {2, 1, 3}, {1e200, 0, 1e200}, 2, 5.0, 51.0, false,
       (400.0 * std::log(10.0) - std::log(5.0) + 5e-200 - 2.0) * 50.0,
       "closed form: (ln(1e400 / 5) + tr(S) / 1e200 - 2)(N - 1)"},
      {"det S not a number", {2, 1, 3}, {2, 1, 3}, 2, nan, 51.0, true, 400.0 + 5.0 + tiny * scale,
       "penalty at ratio 0: 100 p^2 + previous + 1e-30 x 1e33"},
      {"det S infinite, E singular", {2, 1, 3}, {1, 1, 1}, 2, inf, 51.0, true, 400.0 + 5.0 + tiny * scale,
       "penalty at ratio 0"},
  };
  for (const Case& c : cases) {
    std::vector<double> scratch(static_cast<std::size_t>(ml_scratch(c.p)));
    const MlResult r = ml_fit(c.S, c.E, c.p, c.detS, c.N, 5.0, scratch);
    EXPECT_EQ(r.penalty, c.penalty) << c.name;
    EXPECT_TRUE(std::isfinite(r.F)) << c.name;
    EXPECT_NEAR(r.F, c.want, 1e-9 * std::max(1.0, std::fabs(c.want))) << c.name << " [" << c.source << "]";
    if (!c.penalty) {
      // The inverse the means term reads is E's: (E^-1 E)(1,1) = 1.
      ASSERT_TRUE(r.inverted) << c.name;
      EXPECT_NEAR(scratch[0] * c.E[0] + scratch[1] * c.E[1], 1.0, 1e-12) << c.name;
    }
  }
}

// A value that is not finite, in any code, is not computable: the penalty
// of maximum likelihood at a ratio of 0 in its place, MODE -1 and the group
// counted, never an infinity or NaN in the group's value or the total.
TEST_F(CovFitTest, ValueThatIsNotFiniteIsThePenalty) {
  const double inf = std::numeric_limits<double>::infinity();
  const double penalty = 400.0 + 5.0 + 1.0000000031710769e-30 * 9.999999944957273e+32;
  struct Case {
    const char* name;
    int code;
    std::vector<double> E;
    std::vector<double> W;  // weights (codes 3 and 4)
  };
  const Case cases[] = {
      {"LS, expected variance infinite", 1, {inf, 0, 1}, {}},
      {"ML, expected element not a number", 2, {1, std::nan(""), 1}, {}},
      {"ML, expected variance infinite", 2, {inf, 0, 1}, {}},
      {"AWLS, expected variance infinite", 3, {inf, 0, 1}, {1, 0, 1, 0, 0, 1}},
      {"DWLS, a zero weight", 4, {1, 0, 1}, {1, 0, 1}},
      {"GLS, expected variance infinite", 5, {inf, 0, 1}, {}},
  };
  for (const Case& c : cases) {
    SetUp();
    group(c.code, {2, 1, 3}, c.E, 2, 51.0, 5.0);
    if (!c.W.empty()) {
      put(kW, c.W);
      col(20) = kW;
      col(16) = 2;
    }
    col(15) = 5.0;  // the previous value
    OBJCEL.FFIRST = true;
    const double F = run(c.code);
    EXPECT_NEAR(F, penalty, 1e-9) << c.name;
    EXPECT_EQ(OBJCEL.FMODE, -1) << c.name;
    EXPECT_EQ(OBJCEL.NNONPD, 1) << c.name;
  }
}

// Every code reads the observed matrix: a group without one is error 220
// before anything is read (not a value computed from address 0); weighted
// least squares by the diagonal without its weights is error 40.
TEST_F(CovFitTest, GroupWithoutObservedMatrixIsError220ForEveryCode) {
  for (int code = 1; code <= 5; ++code) {
    SetUp();
    group(code, {2, 1, 3}, {1, 0, 1}, 2, 51.0, 0.0);
    col(4) = 0.0;
    col(20) = kW;
    EXPECT_EXIT(REPORT_ON_STDERR(run(code)), ExitedWithCode(1), "error code is +220\n") << code;
  }
  SetUp();
  group(4, {2, 1, 3}, {1, 0, 1}, 2, 51.0);
  EXPECT_EXIT(REPORT_ON_STDERR(run(4)), ExitedWithCode(1),
              " Diagonally weighted least squares needs AV weights in group 1\n(.|\n)*error code is +40\n");
}
