// Intervals on the fit statistics and the power table: the non-centrality
// bounds and their AIC and RMSEA intervals, the power of the test and the
// sample sizes of its levels, the searches without output (NCXLIM) and the
// objectives.
//
// References: R 4.2's pchisq and qchisq with a non-centrality, roots by
// uniroot to 1e-13, as computed by tests/fit/refs/fitci_refs.R (values in
// fitci_refs.txt).
#include <gtest/gtest.h>

#include "support/reset.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "fit/fitci.hpp"
#include "fit/fitstat.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/format.hpp"

using namespace qv::fit;
using qv::jobbase::FITOPT;
using qv::jobbase::GRPTAB;
using qv::jobbase::WORKSP;

namespace {

// R: bound(x, df, 0.5 + p/200) and bound(x, df, 0.5 - p/200) of fitci_refs.R
// (uniroot on pchisq(x, df, ncp)).
struct BoundRef { double x, df, p, lo, hi; };
constexpr BoundRef kBounds[] = {
    { 85.022114722134575 , 24 , 90 ,  36.61804122165595 , 93.016098061719447 },
    { 85.022114722134575 , 24 , 95 , 32.420372551892207 ,  99.60730300945302 },
    {                 30 , 12 , 90 ,  5.571562303832768 , 38.097116734928449 },
    {                 30 , 12 , 95 , 3.7059560569311434 , 42.419626768062479 },
    {                 25 , 20 , 90 ,                  0 , 21.939150328323286 },
    {                 10 , 20 , 90 ,                  0 ,                  0 },
    {               5000 , 10 , 90 , 4761.1933322572322 , 5226.2187789939771 },
    {                3.5 , 1 , 95 ,                  0 , 14.674971763413341 },
};

// R: 1 - pchisq(qchisq(1 - alpha, df), df, ncp = F).
struct PowerRef { double alpha, df, F, crit, power; };
constexpr PowerRef kPowers[] = {
    { 0.05 , 2 ,                 10 , 5.9914645471079799 , 0.81542137871066322 },
    { 0.05 , 24 , 85.022114722134575 , 36.415028501807313 , 0.99999884311678955 },
    { 0.01 , 1 ,                  3 , 6.6348966010212127 , 0.19940483841018231 },
    { 0.05 , 5 , 0.69999999999999996 , 11.070497693516351 , 0.08285894356502288 },
};

// R: the ncp whose power is the level (uniroot), times Npow / F.
struct SizeRef { double alpha, df, F, Npow, level, n; };
constexpr SizeRef kSizes[] = {
    { 0.05 , 2 ,                 10 , 300 ,               0.25 , 67.662954708953393 },
    { 0.05 , 2 ,                 10 , 300 ,                0.5 , 148.70207531780338 },
    { 0.05 , 2 ,                 10 , 300 ,               0.75 , 257.72310306560252 },
    { 0.05 , 2 ,                 10 , 300 , 0.80000001192092896 , 289.04067423515556 },
    { 0.05 , 2 ,                 10 , 300 , 0.89999997615814209 ,  379.6180513904518 },
    { 0.05 , 2 ,                 10 , 300 , 0.94999998807907104 , 463.29704087663896 },
    { 0.05 , 2 ,                 10 , 300 , 0.99000000953674316 , 641.87592112064908 },
    { 0.05 , 24 , 85.022114722134575 , 301 ,               0.25 , 24.894816898159942 },
    { 0.05 , 24 , 85.022114722134575 , 301 ,                0.5 , 46.934120181847568 },
    { 0.05 , 24 , 85.022114722134575 , 301 ,               0.75 ,   72.6700584889834 },
    { 0.05 , 24 , 85.022114722134575 , 301 , 0.80000001192092896 , 79.606548257055181 },
    { 0.05 , 24 , 85.022114722134575 , 301 , 0.89999997615814209 , 98.912567490832103 },
    { 0.05 , 24 , 85.022114722134575 , 301 , 0.94999998807907104 , 115.99067715070315 },
    { 0.05 , 24 , 85.022114722134575 , 301 , 0.99000000953674316 , 150.76527485128327 },
    { 0.01 , 1 ,                  3 , 1000 ,               0.25 , 1205.0156125185902 },
    { 0.01 , 1 ,                  3 , 1000 ,                0.5 , 2211.6316446530868 },
    { 0.01 , 1 ,                  3 , 1000 ,               0.75 , 3521.5246310404814 },
    { 0.01 , 1 ,                  3 , 1000 , 0.80000001192092896 , 3892.9894798681739 },
    { 0.01 , 1 ,                  3 , 1000 , 0.89999997615814209 , 4959.7953728113998 },
    { 0.01 , 1 ,                  3 , 1000 , 0.94999998807907104 , 5938.0544745612533 },
    { 0.01 , 1 ,                  3 , 1000 , 0.99000000953674316 , 8010.4481962301979 },
    { 0.05 , 5 , 0.69999999999999996 , 800 ,               0.25 , 3889.6393523209958 },
    { 0.05 , 5 , 0.69999999999999996 , 800 ,                0.5 , 7990.0218865335428 },
    { 0.05 , 5 , 0.69999999999999996 , 800 ,               0.75 , 13199.955651736174 },
    { 0.05 , 5 , 0.69999999999999996 , 800 , 0.80000001192092896 , 14660.122177441934 },
    { 0.05 , 5 , 0.69999999999999996 , 800 , 0.89999997615814209 , 18822.243490598285 },
    { 0.05 , 5 , 0.69999999999999996 , 800 , 0.94999998807907104 , 22605.866602445174 },
    { 0.05 , 5 , 0.69999999999999996 , 800 , 0.99000000953674316 , 30543.748961928672 },
    { 0.05 , 5 ,              0.001 , 800 ,               0.25 , 2722747.5466246968 },
    { 0.05 , 5 ,              0.001 , 800 ,                0.5 , 5593015.3205734799 },
    { 0.05 , 5 ,              0.001 , 800 ,               0.75 ,  9239968.956215322 },
    { 0.05 , 5 ,              0.001 , 800 , 0.80000001192092896 , 10262085.524209352 },
    { 0.05 , 5 ,              0.001 , 800 , 0.89999997615814209 , 13175570.443418797 },
    { 0.05 , 5 ,              0.001 , 800 , 0.94999998807907104 , 15824106.621711619 },
    { 0.05 , 5 ,              0.001 , 800 , 0.99000000953674316 , 21380624.273350067 },
};

// Relative closeness, absolute for a reference of 0.
void expect_rel(double got, double want, double tol) {
  if (want == 0.0)
    EXPECT_EQ(got, 0.0);
  else
    EXPECT_NEAR(got, want, tol * std::abs(want));
}

class FitciTest : public ::testing::Test {
 protected:
  void SetUp() override { qv::testing_support::reset_every_area(); }
  qv::runtime::Vec1<double> X = WORKSP.x();
  // One ML data group: N observations, p variables, s statistics, fit F.
  void one_group(double N, int p, int s, double F, int code = 2) {
    X(1) = 1;
    GRPTAB(X, 1, 11, 1) = code;
    GRPTAB(X, 1, 18, 1) = 0;
    GRPTAB(X, 1, 1, 1) = N;
    GRPTAB(X, 1, 2, 1) = p;
    GRPTAB(X, 1, 3, 1) = s;
    GRPTAB(X, 1, 15, 1) = F;
  }
  struct Bounds {
    double chiLo = 0, chiHi = 0, aicLo = 0, aicHi = 0, rmLo = 0, rmHi = 0;
  };
  std::string fitci(double p, double F, int DF, int NPAR, Bounds& b) {
    testing::internal::CaptureStdout();
    FITCI(X, 1, p, F, DF, 0.0, NPAR, b.chiLo, b.chiHi, b.aicLo, b.aicHi, b.rmLo, b.rmHi);
    return testing::internal::GetCapturedStdout();
  }
  std::string power(double alpha, double df, double crit, double F) {
    auto& o = FITOPT;
    o.PO = true;
    o.POALF = 1.0 - alpha;
    o.PODF = df;
    o.POCRIT = crit;
    testing::internal::CaptureStdout();
    POWER(X, F);
    return testing::internal::GetCapturedStdout();
  }
};

std::string record(std::string_view fmt, std::vector<qv::runtime::Out> items) {
  return qv::runtime::format_records(fmt, items).at(0);
}

bool has(const std::string& out, const std::string& line) { return out.find(line + "\n") != std::string::npos; }

}  // namespace

TEST_F(FitciTest, NoncentralityBoundsMatchTheRootsOfR) {
  for (const auto& r : kBounds) {
    SCOPED_TRACE(testing::Message() << "x " << r.x << " df " << r.df << " p " << r.p);
    double lo = -1, hi = -1;
    int ifail = -1;
    NCXLIM(lo, hi, 1, r.p, r.x, r.df, ifail);
    EXPECT_EQ(ifail, 0);
    expect_rel(lo, r.lo, 1e-6);
    expect_rel(hi, r.hi, 1e-6);
  }
}

TEST_F(FitciTest, SampleSizeSearchMatchesTheRootsOfR) {
  for (const auto& r : kSizes) {
    SCOPED_TRACE(testing::Message() << "df " << r.df << " F " << r.F << " level " << r.level);
    for (const auto& p : kPowers)
      if (p.alpha == r.alpha && p.df == r.df) PWRCEL.CRIT = p.crit;
    PWRCEL.DF = r.df;
    PWRCEL.TARGET = r.level;
    double lambda = -1, hi = -7;
    int ifail = -1;
    NCXLIM(lambda, hi, 0, 0, 0, 0, ifail);
    EXPECT_EQ(ifail, 0);
    EXPECT_EQ(hi, -7);
    expect_rel(lambda, r.n * r.F / r.Npow, 1e-6);
  }
}

TEST_F(FitciTest, ObjectivesAreTheSquaredDistanceToTheTarget) {
  NCXCEL = {30, 12, 0.95};
  double f = -1;
  NCXOBJ(kBounds[2].lo, f);
  EXPECT_LT(f, 1e-16);
  NCXOBJ(0.0, f);
  // R: pchisq(30, 12) = 0.99720757066729904
  EXPECT_NEAR(f, (0.95 - 0.99720757066729904) * (0.95 - 0.99720757066729904), 1e-10);
  NCXCEL.X = -1;  // no probability below a negative value: the failure value
  NCXOBJ(1.0, f);
  EXPECT_EQ(f, 2.0);
  PWRCEL = {kPowers[0].crit, 2, 0.5};
  PWROBJ(kPowers[0].F, f);
  EXPECT_NEAR(f, (0.5 - kPowers[0].power) * (0.5 - kPowers[0].power), 1e-8);
}

// The interval of a one-group model: the non-centrality bounds printed on
// chi-squared, the AIC bounds b - DF and the RMSEA bounds sqrt(b / (N DF)).
TEST_F(FitciTest, IntervalLinesAndCellsOfOneGroup) {
  for (const auto& r : kBounds) {
    if (r.df != 24 && r.df != 12) continue;
    SCOPED_TRACE(testing::Message() << "x " << r.x << " df " << r.df << " p " << r.p);
    const int DF = static_cast<int>(r.df);
    const int NPAR = 9;
    one_group(301, 8, DF + NPAR, r.x);
    Bounds b;
    const std::string out = fitci(r.p, r.x, DF, NPAR, b);
    expect_rel(b.chiLo, r.lo, 1e-6);
    expect_rel(b.chiHi, r.hi, 1e-6);
    EXPECT_DOUBLE_EQ(b.aicLo, b.chiLo - DF);
    EXPECT_DOUBLE_EQ(b.aicHi, b.chiHi - DF);
    expect_rel(b.rmLo, std::sqrt(r.lo / (301.0 * DF)), 1e-6);
    expect_rel(b.rmHi, std::sqrt(r.hi / (301.0 * DF)), 1e-6);
    // The point estimates (F >= DF here) lie inside their intervals.
    const double rmsea = std::sqrt((r.x - DF) / (301.0 * DF));
    EXPECT_LT(b.rmLo, rmsea);
    EXPECT_GT(b.rmHi, rmsea);
    EXPECT_LT(b.aicLo, r.x - 2 * DF);
    EXPECT_GT(b.aicHi, r.x - 2 * DF);
    EXPECT_LT(b.chiLo, r.x - DF);
    EXPECT_GT(b.chiHi, r.x - DF);
    const int ip = static_cast<int>(r.p);
    const std::string expected =
        "\n" + record("(3x,i2,a)", {ip, "% confidence intervals on Chi-squared:"}) + "\n" +
        record("(2x,a,f7.3,a,f7.3)", {" from ", r.lo, " to ", r.hi}) + "\n" +
        record("(3x,i2,a)", {ip, "% confidence intervals on AIC:"}) + "\n" +
        record("(2x,a,f7.3,a,f7.3)", {" from ", r.lo - DF, " to ", r.hi - DF}) + "\n" +
        record("(3x,i2,a)", {ip, "% confidence intervals on RMSEA:"}) + "\n" +
        record("(2x,a,f7.3,a,f7.3)", {" from ", b.rmLo, " to ", b.rmHi}) + "\n";
    EXPECT_EQ(out, expected);
  }
}

TEST_F(FitciTest, FitBelowItsDegreesOfFreedomHasRmseaLowerBoundZero) {
  one_group(200, 6, 21, 25);  // DF 20 with one parameter
  Bounds b;
  const std::string out = fitci(90, 25, 20, 1, b);
  EXPECT_EQ(b.chiLo, 0.0);
  expect_rel(b.chiHi, kBounds[4].hi, 1e-6);
  EXPECT_EQ(b.rmLo, 0.0);
  EXPECT_EQ(b.aicLo, -20.0);
  expect_rel(b.rmHi, std::sqrt(kBounds[4].hi / (200.0 * 20)), 1e-6);
  EXPECT_TRUE(has(out, "   90% confidence intervals on Chi-squared:")) << out;
}

TEST_F(FitciTest, UpperBoundOfAThousandOrMorePrintsInExponentFormat) {
  one_group(1000, 5, 15 + 5, 5000);
  Bounds b;
  const std::string out = fitci(90, 5000, 10, 5, b);
  expect_rel(b.chiHi, kBounds[6].hi, 1e-6);
  EXPECT_GT(b.chiHi, 5000.0);
  EXPECT_TRUE(has(out, record("(2x,a,e12.5,a,e12.5)", {" from ", b.chiLo, " to ", b.chiHi}))) << out;
  EXPECT_TRUE(has(out, record("(2x,a,e12.5,a,e12.5)", {" from ", b.chiLo - 10, " to ", b.chiHi - 10}))) << out;
}

TEST_F(FitciTest, NoDegreesOfFreedomSearchesNothing) {
  one_group(100, 3, 6, 0);
  Bounds b;
  const std::string out = fitci(95, 0, 0, 6, b);
  EXPECT_EQ(out, "\n No intervals on the fit statistics: the model has no degrees of freedom\n");
  EXPECT_EQ(b.chiLo, -1);
  EXPECT_EQ(b.chiHi, -1);
  EXPECT_EQ(b.aicLo, -99999);
  EXPECT_EQ(b.aicHi, -99999);
  EXPECT_EQ(b.rmLo, -1);
  EXPECT_EQ(b.rmHi, -1);
}

TEST_F(FitciTest, BoundThatCannotBeComputedGivesTheTroubleHeading) {
  one_group(100, 3, 6, -2);
  Bounds b;
  const std::string out = fitci(95, -2, 3, 3, b);
  EXPECT_EQ(out.rfind("\n  I had some trouble calculating them, but perhaps\n"
                      "   95% confidence intervals on Chi-squared could be:\n",
                      0),
            0u)
      << out;
}

TEST_F(FitciTest, PowerMatchesR) {
  for (const auto& r : kPowers) {
    SCOPED_TRACE(testing::Message() << "df " << r.df << " F " << r.F);
    one_group(300, 4, 10, r.F);
    const std::string out = power(r.alpha, r.df, r.crit, r.F);
    expect_rel(FITRES.PROB, r.power, 1e-5);
    EXPECT_TRUE(has(out, record("(a,f6.4,a)", {" Power of this test, at the ", r.alpha, " significance level"})))
        << out;
    EXPECT_TRUE(has(out, record("(a,f4.0,a,f8.6)", {" with ", r.df, " df is ", r.power}))) << out;
  }
}

// Each printed sample size is R's n as the line's format prints it, with
// " (approximately)" below a total of 500.
TEST_F(FitciTest, SampleSizeLinesPrintTheSizesOfR) {
  for (const auto& p : kPowers) {
    SCOPED_TRACE(testing::Message() << "df " << p.df << " F " << p.F);
    double N = 0;
    for (const auto& s : kSizes)
      if (s.df == p.df && s.F == p.F) N = s.Npow;
    one_group(N, 4, 10, p.F);
    const std::string out = power(p.alpha, p.df, p.crit, p.F);
    EXPECT_TRUE(has(out, record("(a,f12.0)", {" Based on your combined observed sample size of ", N}))) << out;
    EXPECT_TRUE(has(out, " The following sample sizes would be required to reject the hypothesis:\n\n Power         Total N"))
        << out;
    int k = 0;
    for (const auto& s : kSizes) {
      if (s.df != p.df || s.F != p.F) continue;
      const char* tail = N < 500 ? " (approximately)" : "";
      const std::string line = s.n >= 1e6 ? record("(2x,f3.2,5x,e12.6,a)", {s.level, s.n, tail})
                                          : record("(2x,f3.2,10x,f7.0,a)", {s.level, s.n, tail});
      EXPECT_TRUE(has(out, line)) << line << "\n" << out;
      EXPECT_EQ(PWRTAB.PAIRS[2 * k], s.level);
      expect_rel(PWRTAB.PAIRS[2 * k + 1], s.n, 1e-6);
      ++k;
    }
    EXPECT_EQ(k, kPowerLevels);
  }
}

TEST_F(FitciTest, PowerOfAZeroOrNegativeFitOrNoSampleSize) {
  one_group(300, 4, 10, 0);
  EXPECT_EQ(power(0.05, 2, kPowers[0].crit, 0.0),
            "\n The fit function is zero so power is zero.\n Required sample sizes would be infinite.\n");
  EXPECT_EQ(power(0.05, 2, kPowers[0].crit, -1.0),
            "\n The fit function is less than zero; power cannot be computed.\n"
            " Required sample sizes would be infinite or more.\n");
  one_group(0, 4, 10, 10);
  const std::string out = power(0.05, 2, kPowers[0].crit, 10.0);
  EXPECT_TRUE(has(out, " Which is zero or less, so I can't compute the sample sizes required for given levels of power"))
      << out;
  EXPECT_EQ(out.find("Total N"), std::string::npos);
}

// Two groups: each RMSEA bound is the mean of the groups' shares with the
// fit values scaled to b + DF (each group's df 10 - 10 * 8 / 20 = 6).
TEST_F(FitciTest, RmseaIntervalOfTwoGroupsScalesEachGroupsFit) {
  X(1) = 2;
  const double N[2] = {200, 300}, Fg[2] = {20, 10};
  for (int g = 1; g <= 2; ++g) {
    GRPTAB(X, 2, 11, g) = 2;
    GRPTAB(X, 2, 18, g) = 0;
    GRPTAB(X, 2, 1, g) = N[g - 1];
    GRPTAB(X, 2, 2, g) = 4;
    GRPTAB(X, 2, 3, g) = 10;
    GRPTAB(X, 2, 15, g) = Fg[g - 1];
  }
  const auto& r = kBounds[2];  // x 30, df 12, 90 per cent
  double cl, ch, al, ah, rl, rh;
  testing::internal::CaptureStdout();
  FITCI(X, 2, 90, 30, 12, 500, 8, cl, ch, al, ah, rl, rh);
  testing::internal::GetCapturedStdout();
  auto rmsea = [&](double b) {
    const double s = (b + 12) / 30;
    double sum = 0;
    for (int g = 0; g < 2; ++g) sum += std::sqrt(std::max(s * Fg[g] - 6, 0.0) / (N[g] * 6));
    return sum / 2;
  };
  expect_rel(rl, rmsea(r.lo), 1e-6);
  expect_rel(rh, rmsea(r.hi), 1e-6);
}

// The statistics block runs the intervals under CI and the power under PO
// and keeps their results in FITRES.
TEST_F(FitciTest, StatisticsBlockFillsTheIntervalCellsAndThePower) {
  const auto& r = kBounds[0];  // x 85.02, df 24, 90 per cent
  const auto& pw = kPowers[1];
  one_group(301, 9, 45, r.x);
  auto& o = FITOPT;
  o.OPTFIT = 1;
  o.CI = true;
  o.CIPCT = 90;
  o.PO = true;
  o.POALF = 1 - pw.alpha;
  o.PODF = pw.df;
  o.POCRIT = pw.crit;
  Statin in;
  in.F = r.x;
  in.NPAR = 21;
  in.NSTAT = 45;
  testing::internal::CaptureStdout();
  FITSTS(X, in);
  const std::string out = testing::internal::GetCapturedStdout();
  expect_rel(FITRES.CHILO, r.lo, 1e-6);
  expect_rel(FITRES.CHIHI, r.hi, 1e-6);
  EXPECT_DOUBLE_EQ(FITRES.AICLO, FITRES.CHILO - 24);
  expect_rel(FITRES.RMSHI, std::sqrt(r.hi / (301.0 * 24)), 1e-6);
  expect_rel(FITRES.PROB, pw.power, 1e-5);
  const auto ci = out.find("   90% confidence intervals on Chi-squared:");
  const auto power = out.find(" Power of this test");
  ASSERT_NE(ci, std::string::npos) << out;
  ASSERT_NE(power, std::string::npos) << out;
  EXPECT_LT(out.find(" RMSEA >>>"), ci);
  EXPECT_LT(ci, power);
}
