// The Hessian at the estimates, the covariance matrix of the estimates and
// its standard errors, the identification check, and the standard-error
// block of the estimates listing (a group asking for standard errors is set
// up by hand: no script statement asks for them).
#include "fit/hessian.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "fit/fitcb.hpp"
#include "fit/objcel.hpp"
#include "fit_fixture.hpp"

namespace qv::fit {
namespace {

using testing_support::FitJobTest;
using testing_support::Mat;
using testing_support::jobctl_capture;
namespace gcol = jobbase::gcol;
using jobbase::kTypeFull;
using jobbase::kTypeSym;

// The frame of the fit's objective around a closed-form raw function F of
// the workspace: the point given copied into the matrices, the group's value
// in its fit-value column, the scale fixed by the first call after FFIRST
// is cleared, and F/2 unscaled while the Hessian is estimated.
Fitobj frame(std::function<double(Vec1<double>)> raw, std::vector<int>* hesflg_seen = nullptr) {
  return [raw, hesflg_seen](int&, int, std::span<const double> x, double& fobj, std::span<double>, int,
                            std::span<int> iu, std::span<double> ru) {
    const Vec1<double> W(ru);
    const int NG = jobbase::icell(W(1));
    CPYPAR(W, Vec1<int>(iu), x);
    const double f = raw(W);
    jobbase::GRPTAB(W, NG, gcol::kFitValue, 1) = f;
    if (hesflg_seen) hesflg_seen->push_back(OBJCEL.HESFLG);
    if (!OBJCEL.FFIRST) {
      OBJCEL.FSCALE = std::max(1.0, std::abs(f));
      OBJCEL.FSIGN = f < 0 ? -1.0 : 1.0;
      OBJCEL.FFIRST = true;
    }
    fobj = OBJCEL.HESFLG ? 0.5 * f : f / OBJCEL.FSCALE;
  };
}

// A = the Hessian of F/2 for F = (x - c)' A (x - c); its inverse from R
// (solve(A), R 4.x, printed with digits = 15).
constexpr double kA[3][3] = {{4, 2, 0.5}, {2, 3, 1}, {0.5, 1, 2}};
constexpr double kAinv[3][3] = {{0.3773584905660378, -0.264150943396226, 0.0377358490566038},
                                {-0.2641509433962264, 0.584905660377358, -0.2264150943396226},
                                {0.0377358490566038, -0.226415094339623, 0.6037735849056604}};

class HessianTest : public FitJobTest {
 protected:
  // A job of one group with A FULL 1 x n whose elements carry the given
  // specification numbers and values, set up for the fit.
  void params(const std::vector<double>& specs, const std::vector<double>& values) {
    job(1);
    matrices(1, {{'A', kTypeFull, 1, static_cast<int>(specs.size()), specs, values}});
    close();
    setup();
  }
  // The N x N matrix h (rows) into RFAC.
  void set_rfac(const std::vector<std::vector<double>>& h) {
    const int n = static_cast<int>(h.size());
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) X()(FITARR.RFAC + i + j * n) = h[i][j];
  }
  double rfac(int i, int j) { return X()(FITARR.RFAC + (i - 1) + (j - 1) * FITARR.N); }
  // The quadratic of kA about c, read from the values of A.
  static double quadratic(Vec1<double> W, const std::vector<double>& c) {
    const jobbase::GroupView G{W, 1, 1};
    const int v = jobbase::icell(G.addr(1)) + 3;
    double d[3], f = 0;
    for (int i = 0; i < 3; ++i) d[i] = W(v + i) - c[i];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) f += d[i] * kA[i][j] * d[j];
    return f;
  }
};

// E04XAF on the objective's F/2 at the estimates gives A; the estimates, the
// scale and the group's fit value are as before, the matrices hold the
// estimates again, and the scratch stays reserved.
TEST_F(HessianTest, HessianOfAQuadraticIsItsMatrix) {
  const std::vector<double> c = {0.5, -1.0, 2.0};
  params({1, 2, 3}, c);
  const int wstop = jobbase::MAINPR.WSTOP;
  OBJCEL.FSCALE = 3.5;
  OBJCEL.FSIGN = -1;
  OBJCEL.FFIRST = true;
  OBJCEL.RAWALC = true;
  col(gcol::kFitValue, 1) = 7.25;
  std::vector<int> seen;
  HESCMP(X(), IX(), frame([&c](Vec1<double> W) { return quadratic(W, c); }, &seen));
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(rfac(i, j), kA[i - 1][j - 1], 1e-5 * 4) << i << "," << j;
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int h) { return h == 1; }));
  EXPECT_FALSE(OBJCEL.HESFLG);
  EXPECT_FALSE(OBJCEL.RAWALC);
  EXPECT_EQ(OBJCEL.FSCALE, 3.5);
  EXPECT_EQ(OBJCEL.FSIGN, -1);
  EXPECT_EQ(col(gcol::kFitValue, 1), 7.25);
  const int v = jobbase::icell(jobbase::GroupView{X(), 1, 1}.addr(1)) + 3;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(X()(FITARR.X + i), c[i]);
    EXPECT_EQ(X()(v + i), c[i]);
  }
  EXPECT_EQ(jobbase::MAINPR.WSTOP, wstop + 9 + 15 + 1);  // N^2 + 5N + NG
}

// Away from the minimum the Hessian of a quadratic is the same.
TEST_F(HessianTest, HessianAwayFromTheMinimum) {
  const std::vector<double> c = {0.5, -1.0, 2.0};
  params({1, 2, 3}, {1.5, 0.25, -3.0});
  HESCMP(X(), IX(), frame([&c](Vec1<double> W) { return quadratic(W, c); }));
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(rfac(i, j), kA[i - 1][j - 1], 1e-5 * 4) << i << "," << j;
}

// An objective that stops E04XAF part way (a negative MODE at a displaced
// point) still leaves the estimates, in the vector and in the matrices.
TEST_F(HessianTest, StoppedHessianStillRestoresTheEstimates) {
  const std::vector<double> c = {0.5, -1.0, 2.0};
  params({1, 2, 3}, c);
  int calls = 0;
  const Fitobj inner = frame([&c](Vec1<double> W) { return quadratic(W, c); });
  const Fitobj stopping = [&](int& mode, int n, std::span<const double> x, double& f, std::span<double> g,
                              int k, std::span<int> iu, std::span<double> ru) {
    inner(mode, n, x, f, g, k, iu, ru);
    if (++calls == 4) mode = -1;
  };
  HESCMP(X(), IX(), stopping);
  EXPECT_EQ(calls, 4);
  EXPECT_FALSE(OBJCEL.HESFLG);
  const int v = jobbase::icell(jobbase::GroupView{X(), 1, 1}.addr(1)) + 3;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(X()(FITARR.X + i), c[i]);
    EXPECT_EQ(X()(v + i), c[i]);
  }
  EXPECT_NE(unit7().find("E04XAF"), std::string::npos);
}

// The inverse of a known Hessian, kept by rows with both triangles, and its
// two listings on unit 7.
TEST_F(HessianTest, CovarianceIsTheInverseOfTheHessian) {
  params({1, 2, 3}, {1, 1, 1});
  set_rfac({{4, 2, 0.5}, {2, 3, 1}, {0.5, 1, 2}});
  const int wstop = jobbase::MAINPR.WSTOP;
  const std::string out = jobctl_capture([] { SECALC(X()); });
  EXPECT_EQ(out, "");
  EXPECT_FALSE(SECOV.NOSE);
  EXPECT_EQ(SECOV.ADDR, wstop);
  EXPECT_EQ(SECOV.NORD, 3);
  EXPECT_EQ(jobbase::MAINPR.WSTOP, wstop + 9);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_NEAR(X()(wstop + 3 * i + j), kAinv[i][j], 1e-14) << i << "," << j;
  EXPECT_EQ(unit7(),
            " Hessian\n"
            " 4.00000000\n"
            " 2.00000000 3.00000000\n"
            " 0.500000000 1.00000000 2.00000000\n"
            " Covariance matrix of parameters\n"
            " 0.377358491\n"
            " -0.264150943 0.584905660\n"
            " 3.77358491E-02 -0.226415094 0.603773585\n");
}

// A Hessian that is not positive definite: no standard errors, and the
// messages on both units.
TEST_F(HessianTest, HessianThatCannotBeInverted) {
  params({1, 2}, {1, 1});
  set_rfac({{1, 2}, {2, 1}});
  const std::string out = jobctl_capture([] { SECALC(X()); });
  EXPECT_EQ(out, "\n HESSIAN cannot be inverted, Standard errors will not be computed\n");
  EXPECT_TRUE(SECOV.NOSE);
  EXPECT_NE(unit7().find(" Ifail from Inver: 2\n"), std::string::npos);
  int nose = 0;
  STDERR(X(), 1, 1, 1, jobbase::MAINPR.WSTOP, nose);
  EXPECT_EQ(nose, 1);
}

// Identification verdicts on known Hessians of three parameters numbered 5,
// 2 and 9.  Eigenvalues and eigenvectors in closed form: the singular matrix
// has the null vector (1, 2, 0)/sqrt(5), so parameter 2 ranks first and 5
// second; the diagonal ones have the first axis for their smallest
// eigenvalue (ties rank in parameter order).  Determinants by hand.
TEST_F(HessianTest, IdentificationTable) {
  const std::string flagged_head =
      " *** WARNING! ***\n"
      " Eigenvalue check indicates ill-conditioning\n"
      " Check your model for underidentification\n"
      "\n"
      " Most likely culprits are parameters specified as\n";
  const std::string flagged_tail =
      " Please check your model for underidentification\n"
      " and note that this message may be caused by \n"
      " parameters hitting actual or effective bounds.\n"
      " More complete diagnostic data may be found in the\n"
      " OPTDUMP.OUT file if you use OPTION NA=5 or more.\n";
  const std::string identified = "\n Eigenvalue test suggests model is identified\n";
  const std::string nonpos = " Determinant is non-positive: model underidentified\n";
  struct Case {
    const char* name;
    std::vector<std::vector<double>> h;
    std::string out;
  };
  const Case cases[] = {
      {"positive definite", {{4, 2, 0.5}, {2, 3, 1}, {0.5, 1, 2}}, identified},
      {"singular", {{4, -2, 0}, {-2, 1, 0}, {0, 0, 1}}, flagged_head + " 2 and 5\n" + flagged_tail + nonpos},
      {"ratio 1e-4", {{1e-4, 0, 0}, {0, 1, 0}, {0, 0, 2}}, flagged_head + " 5 and 2\n" + flagged_tail},
      // The limit is the single-precision 0.001: 0.00100000002 lies below it.
      {"ratio just under the limit", {{1.00000002e-3, 0, 0}, {0, 0.5, 0}, {0, 0, 1}},
       flagged_head + " 5 and 2\n" + flagged_tail},
      {"ratio just over the limit", {{1.0000001e-3, 0, 0}, {0, 0.5, 0}, {0, 0, 1}}, identified},
      {"negative eigenvalue", {{2, 0, 0}, {0, -1, 0}, {0, 0, 3}}, flagged_head + " 2 and 5\n" + flagged_tail + nonpos},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    params({5, 2, 9}, {1, 1, 1});
    set_rfac(c.h);
    const std::string out = jobctl_capture([this] { IDCHEK(X(), IX()); });
    EXPECT_EQ(out, c.out);
    EXPECT_TRUE(SECOV.NOSE);
    TearDown();
  }
}

// One parameter: the ratio is 1, so only a non-positive eigenvalue flags,
// and the culprit line names that parameter alone.
TEST_F(HessianTest, IdentificationOfOneParameter) {
  params({4}, {1});
  set_rfac({{5}});
  EXPECT_EQ(jobctl_capture([this] { IDCHEK(X(), IX()); }), "\n Eigenvalue test suggests model is identified\n");
  SetUp();
  params({4}, {1});
  set_rfac({{-2}});
  const std::string out = jobctl_capture([this] { IDCHEK(X(), IX()); });
  EXPECT_NE(out.find(" Most likely culprits are parameters specified as\n 4\n Please check"), std::string::npos)
      << out;
  EXPECT_NE(out.find(" Determinant is non-positive: model underidentified\n"), std::string::npos);
}

// The listings of the identification check on unit 7: the Hessian by rows,
// the parameter order, the eigenvectors one per record, the determinant.
TEST_F(HessianTest, IdentificationListings) {
  params({5, 2}, {1, 1});
  set_rfac({{2, 0}, {0, 3}});
  jobctl_capture([this] { IDCHEK(X(), IX()); });
  EXPECT_EQ(unit7(),
            " Estimated covariance matrix of the 2parameters:\n"
            " 2.00000000 0.00000000\n"
            " 0.00000000 3.00000000\n"
            " Order of parameters by specification numbers\n"
            " 5.00000000 2.00000000\n"
            " Eigenvectors of est. cov matrix of parameters\n"
            " NB these are printed by ROWS unlike Qv output\n"
            " Columns correspond to parameter order printed above\n"
            " 1.00000000 0.00000000\n"
            " 0.00000000 1.00000000\n"
            " Determinant of estimated cov matrix of parameters 6.00000000\n");
}

// Standard errors of one matrix from a covariance matrix set by hand:
// square roots of the variances, 0 for fixed elements (and for definition
// variables, whose numbers are negative), -100 with a warning for a
// variance that is not positive.
TEST_F(HessianTest, StderrTable) {
  job(1);
  matrices(1, {{'A', kTypeFull, 1, 6, {3, 0, 7, 5, -2, 7}}});
  const int parlst = take(3);
  const int cov = take(9);
  close();
  const double plist[3] = {7, 3, 5};
  const double diag[3] = {0.25, -0.5, 0.0};
  for (int i = 0; i < 3; ++i) {
    X()(parlst + i) = plist[i];
    X()(cov + 4 * i) = diag[i];
  }
  jobbase::FITSTA.PARLST = parlst;
  SECOV.ADDR = cov;
  SECOV.NORD = 3;
  SECOV.NOSE = false;
  struct Element {
    double spec, se;
  } const expect[] = {{3, -100}, {0, 0}, {7, 0.5}, {5, -100}, {-2, 0}, {7, 0.5}};
  const int o = jobbase::MAINPR.WSTOP;
  for (int k = 0; k < 6; ++k) X()(o + k) = 123;
  int nose = -1;
  const int nwarn = jobbase::MAINPR.NWARN;
  const std::string out = jobctl_capture([&] { STDERR(X(), 1, 1, 1, o, nose); });
  EXPECT_EQ(nose, 0);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(X()(o + k), expect[k].se) << "element " << k + 1;
  const std::string warning = " *** WARNING! ***\n Problem with standard errors; set to -100\n";
  EXPECT_EQ(out, warning + warning);
  EXPECT_EQ(jobbase::MAINPR.NWARN, nwarn + 2);
}

TEST_F(HessianTest, StderrWithAParameterMissingFromTheListIsError136) {
  job(1);
  matrices(1, {{'A', kTypeFull, 1, 2, {1, 4}}});
  const int parlst = take(2);
  const int cov = take(4);
  close();
  X()(parlst) = 1;
  X()(parlst + 1) = 2;
  jobbase::FITSTA.PARLST = parlst;
  SECOV.ADDR = cov;
  SECOV.NORD = 2;
  int nose = 0;
  EXPECT_FIT_ERROR(STDERR(X(), 1, 1, 1, jobbase::MAINPR.WSTOP, nose), 136, " Subroutine STDERR confused\n");
}

// The ML fit function of a 2 x 2 covariance matrix, saturated: A SYMMETRIC
// holds sigma11, sigma21, sigma22 (parameters 1, 2, 3) at the estimates S.
class SaturatedMlTest : public HessianTest {
 protected:
  static constexpr double kN = 201;
  static constexpr double kS[3] = {2.0, 0.6, 1.5};
  // Wishart standard errors at the saturated estimates: sqrt(2 s_ii^2/(N-1))
  // and sqrt((s11 s22 + s21^2)/(N-1)), closed form; lavaan 0.6-14 (sem() on
  // the same matrix, sample.nobs = 201, likelihood = "wishart", information =
  // "observed") gives 0.199999989, 0.129614809 and 0.149999998.
  static constexpr double kSe[3] = {0.2, 0.12961481396815720, 0.15};

  static double ml(Vec1<double> W) {
    const jobbase::GroupView G{W, 1, 1};
    const int v = jobbase::icell(G.addr(1)) + 3;
    const double a = W(v), b = W(v + 1), c = W(v + 2);
    const double det = a * c - b * b;
    const double dets = kS[0] * kS[2] - kS[1] * kS[1];
    const double tr = (kS[0] * c - 2 * kS[1] * b + kS[2] * a) / det;
    return (kN - 1) * (std::log(det) + tr - std::log(dets) - 2);
  }

  void model() {
    job(1);
    matrices(1, {{'A', kTypeSym, 2, 2, {1, 2, 3}, {kS[0], kS[1], kS[2]}}});
    close();
    setup();
  }
};

// Standard errors through the whole section, with the group asking for them;
// the block of the estimates listing prints them.  The Hessian is a forward
// second difference of F at E04XAF's central intervals, which follow the ER
// tolerance: at the default 1e-10 they are about 2e-4 here, the truncation
// error h F'''/F'' is a few parts in 10^4 and the standard errors come within
// 3e-4 of the exact ones (the same differences done by hand in Python give
// the same Hessian); told that F is good to 1e-14 the intervals shrink and
// the errors fall below 1e-4.
TEST_F(SaturatedMlTest, StandardErrorsOfTheSaturatedModel) {
  struct Case {
    double er;   // options word ER
    double rel;  // relative tolerance on each standard error
  } const cases[] = {{1.0E-10f, 5e-4}, {1e-14, 1e-4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.er);
    SetUp();
    model();
    jobbase::MAINPR.EPSRF = c.er;
    col(gcol::kStdErrors, 1) = 1;
    ASSERT_TRUE(stderr_wanted(X()));
    HESSEC(X(), IX(), frame(ml));
    ASSERT_FALSE(SECOV.NOSE);
    std::vector<double> printed;
    int during = 0;
    const int wstop = jobbase::MAINPR.WSTOP;
    const std::string out = jobctl_capture([&] {
      PRSTER(X(), 1, 1, 1, [&](int a) {
        during = jobbase::MAINPR.WSTOP;
        for (int k = 0; k < 3; ++k) printed.push_back(X()(a + k));
      });
    });
    EXPECT_EQ(out, "\n MATRIX A (Rough) STANDARD ERRORS\n");
    ASSERT_EQ(printed.size(), 3u);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(printed[k], kSe[k], c.rel * kSe[k]) << "element " << k + 1;
    EXPECT_EQ(during, wstop + 3);
    EXPECT_EQ(jobbase::MAINPR.WSTOP, wstop);
    TearDown();
  }
}

// With CH set the section checks identification and forms no covariance
// matrix: the block prints its heading and no standard errors.
TEST_F(SaturatedMlTest, IdentificationCheckLeavesNoStandardErrors) {
  model();
  col(gcol::kStdErrors, 1) = 1;
  jobbase::FITOPT.CH = true;
  const std::string out = jobctl_capture([this] { HESSEC(X(), IX(), frame(ml)); });
  EXPECT_EQ(out, "\n Eigenvalue test suggests model is identified\n");
  EXPECT_TRUE(SECOV.NOSE);
  bool printed = false;
  const std::string block = jobctl_capture([&] { PRSTER(X(), 1, 1, 1, [&](int) { printed = true; }); });
  EXPECT_EQ(block, "\n MATRIX A (Rough) STANDARD ERRORS\n");
  EXPECT_FALSE(printed);
}

// The block appears only for a group asking for standard errors, a matrix of
// a declared type and not the raw-data matrix.
TEST_F(HessianTest, StandardErrorBlockTable) {
  struct Case {
    const char* name;
    double stderrs;
    int type;
    int rawletter;
    bool block;
  } const cases[] = {
      {"requested", 1, kTypeFull, 0, true},
      {"not requested", 0, kTypeFull, 0, false},
      {"computed matrix", 1, jobbase::kTypeComputed, 0, false},
      {"constrained symmetric view", 1, jobbase::kTypeViewSym, 0, false},
      {"undeclared letter", 1, jobbase::kTypeUndeclared, 0, false},
      {"raw-data matrix", 1, kTypeFull, 1, false},
      {"identity", 1, jobbase::kTypeIdent, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    job(1);
    matrices(1, {{'A', kTypeFull, 1, 2, {0, 0}}});
    close();
    jobbase::GroupView{X(), 1, 1}.type(1) = c.type;
    col(gcol::kStdErrors, 1) = c.stderrs;
    col(gcol::kRawLetter, 1) = c.rawletter;
    jobbase::FITSTA.PARLST = jobbase::MAINPR.WSTOP;
    bool printed = false;
    const std::string out = jobctl_capture([&] { PRSTER(X(), 1, 1, 1, [&](int) { printed = true; }); });
    EXPECT_EQ(out, c.block ? "\n MATRIX A (Rough) STANDARD ERRORS\n" : "");
    EXPECT_EQ(printed, c.block);
    TearDown();
  }
}

}  // namespace
}  // namespace qv::fit
