#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "capture.hpp"
#include "numlib/distrib.hpp"

namespace qv::numlib {
namespace {

using test::soft_report;
using test::UnitCapture;

// erfc from mpmath at 40 digits (run outside the project).
TEST(Normal, Erfc) {
  struct C {
    double x, want;
  };
  const std::vector<C> cases = {
      {-6.4, 2.0},
      {-1.5, 1.9661051464753108},
      {-0.3, 1.3286267594591274},
      {0.0, 1.0},
      {0.2, 0.77729741078952153},
      {1.0, 0.15729920705028513},
      {2.5, 0.00040695201744495892},
      {5.0, 1.5374597944280349e-12},
      {9.4, 2.5212336392626998e-40},
  };
  for (const auto& c : cases) {
    int f = 5;
    EXPECT_NEAR(ERFCOMP(c.x, f), c.want, c.want * 1e-14) << c.x;
    EXPECT_EQ(f, 0);
  }
  int f = 0;
  EXPECT_EQ(ERFCOMP(9.5, f), 0.0);
  EXPECT_EQ(ERFCOMP(30, f), 0.0);
  EXPECT_EQ(ERFCOMP(-6.5, f), 2.0);
  EXPECT_EQ(PNORMLO(0, f), 0.5);
  EXPECT_EQ(PNORMUP(0, f), 0.5);
  // P(|Z| > 1) = erfc(1/sqrt 2) = 0.31731050786291409.
  EXPECT_NEAR(PNORMUP(1, f) * 2, 0.31731050786291409, 3e-16);
  EXPECT_NEAR(PNORMLO(-1, f) * 2, 0.31731050786291409, 3e-16);
  EXPECT_NEAR(PNORMLO(1, f), 1 - 0.31731050786291409 / 2, 3e-16);
}

// Normal deviates: roots of the 40-digit normal integral (mpmath), on each
// side of the region boundaries |P - 0.5| = 0.3 and 0.42.
TEST(Normal, Deviates) {
  struct C {
    double p, z;
  };
  const std::vector<C> cases = {
      {0.5, 0.0},
      {0.6, 0.25334710313579972},
      {0.79, 0.80642124701824036},
      {0.8, 0.84162123357291441},
      {0.2, -0.84162123357291418},
      {0.85, 1.0364333894937894},
      {0.92, 1.4050715603096329},
      {0.08, -1.4050715603096327},
      {0.925, 1.4395314709384561},
      {0.975, 1.9599639845400538},
      {0.05, -1.6448536269514726},
      {0.999, 3.0902323061678132},
      {1e-5, -4.2648907939228247},
      {1e-20, -9.262340089798407},
      {1e-100, -21.273453560965326},
      {1e-300, -37.047096299361201},
  };
  for (const auto& c : cases) {
    int f = 1;
    const double tol = std::fabs(c.p) < 1e-50 ? 1e-10 : 4e-15;
    EXPECT_NEAR(G01CEF(c.p, f), c.z, std::fabs(c.z) * tol + 1e-16) << c.p;
    EXPECT_EQ(f, 0);
  }
  for (double p : {0.0, 1.0, -0.5, 1.5}) {
    UnitCapture cap;
    int f = -1;
    EXPECT_EQ(G01CEF(p, f), 0.0);
    EXPECT_EQ(f, 1);
    EXPECT_EQ(cap.lines(), soft_report({}, "G01CEF", 1)) << p;  // no record
  }
}

// Chi-squared tails: P(DF/2, X/2) from mpmath, taken through every method of
// the incomplete gamma function; the routine works to 5e-6.
TEST(ChiSquared, Tails) {
  struct C {
    double x, df, p;
  };
  const std::vector<C> cases = {
      {2, 2, 0.63212055882855767},      // power series
      {4.0, 1, 0.95449973610364158},    // continued fraction
      {2.8, 1, 0.90573569315878966},    // Taylor series
      {3.0, 2.4, 0.71106860777948278},  // Taylor at X/2 = 1.5
      {20, 10, 0.97074731192303898},    // continued fraction
      {28, 40, 0.076504940241857056},   // Temme, x = 0.7a
      {56, 40, 0.95219289082856584},    // Temme, x = 1.4a
      {50, 50, 0.52660153144365063},    // Temme
      {1800, 2000, 0.00054990226571178288},
  };
  for (const auto& c : cases) {
    int f = 1;
    EXPECT_NEAR(G01ECF('L', c.x, c.df, f), c.p, 1e-5 * c.p) << c.x << " " << c.df;
    EXPECT_NEAR(G01ECF('u', c.x, c.df, f), 1 - c.p, 1e-5 * (1 - c.p)) << c.x << " " << c.df;
    EXPECT_EQ(f, 0);
  }
  int f = 1;
  EXPECT_EQ(G01ECF('U', 0, 2, f), 1.0);
  EXPECT_EQ(G01ECF('l', 0, 2, f), 0.0);
}

// Probabilities stay in [0, 1] and are never NaN for finite arguments,
// also where the complementary error function has run out to 0 inside
// Temme's large-parameter branch (these used to be about -1e-58 and
// -2e-80).  References: R 4.2.2 pchisq(x, df) and pchisq(x, df,
// lower.tail = FALSE); within the routine's tolerance 5e-6.
TEST(ChiSquared, TailsStayProbabilities) {
  struct C {
    double x, df, lower, upper;
  };
  const std::vector<C> cases = {
      {5600, 4000, 1, 1.4686585399623995e-57},
      {24000, 20000, 1, 3.3272024923451783e-79},
      {2800, 4000, 1.7553139104223592e-51, 1},
      {1, 1, 0.68268949213708596, 0.31731050786291415},
      {100000, 100000, 0.50059470810479334, 0.49940529189520672},
      {130000, 100000, 1, 0},
      {700, 1000, 2.8903599395611937e-14, 0.99999999999997113},
      {1500, 1000, 1, 1.0454640385979652e-22},
      {3e-300, 0.5, 1.2209608288974107e-75, 1},
      {1e300, 3, 1, 0},
  };
  for (const auto& c : cases) {
    for (char tail : {'L', 'U'}) {
      int f = 1;
      const double v = G01ECF(tail, c.x, c.df, f);
      const double want = tail == 'L' ? c.lower : c.upper;
      EXPECT_FALSE(std::isnan(v)) << c.x << " " << c.df << " " << tail;
      EXPECT_GE(v, 0.0) << c.x << " " << c.df << " " << tail;
      EXPECT_LE(v, 1.0) << c.x << " " << c.df << " " << tail;
      EXPECT_NEAR(v, want, 5e-6) << c.x << " " << c.df << " " << tail;
    }
  }
}

TEST(ChiSquared, TailErrors) {
  struct E {
    char tail;
    double x, df;
    int err;
    std::string rec;
  };
  const std::vector<E> cases = {
      {'L', -1, 2, 2, " ** On entry, X.lt.0.0: X =  -1.00000D+00"},
      {'L', 1, 0, 3, " ** On entry, DF.le.0.0: DF =   0.00000D+00"},
      {'X', 1, 2, 1, " ** On entry, TAIL is not valid: TAIL = X"},
      {'X', -1, -1, 2, " ** On entry, X.lt.0.0: X =  -1.00000D+00"},  // X is tested first
      {'L', std::nan(""), 2, 4, " ** Full accuracy has not been achieved."},
  };
  for (const auto& e : cases) {
    UnitCapture cap;
    int f = -1;
    const double r = G01ECF(e.tail, e.x, e.df, f);
    EXPECT_EQ(f, e.err);
    if (e.err != 4) {
      EXPECT_EQ(r, 0.0);
    }
    EXPECT_EQ(cap.lines(), soft_report({e.rec}, "G01ECF", e.err));
  }
}

// Chi-squared deviates: roots found by bisection of the 30-digit regularised
// incomplete gamma function (mpmath); DF = 2 has the closed form -2 ln(1 - P).
// Each start of the iteration is taken: small shape (DF < -1.24 ln P), DF <=
// 0.32, Wilson-Hilferty and its logarithmic reset, and the direct
// Wilson-Hilferty form above DF = 1e5.
TEST(ChiSquared, Deviates) {
  struct C {
    double p, df, x;
  };
  const std::vector<C> cases = {
      {0.95, 1, 3.8414588206941245},
      {0.95, 2, -2 * std::log(0.05)},
      {0.5, 10, 9.3418177655919674},
      {0.05, 3, 0.35184631774927139},
      {0.1, 0.5, 0.00013500124771267933},  // small shape
      {0.01, 0.1, 1.1689264114573063e-40}, // small shape, tiny deviate
      {0.99, 0.3, 3.8611867548333678},     // DF <= 0.32
      {0.5, 0.3, 0.012469611517980433},    // small shape: 0.3 < -1.24 ln 0.5
      {0.999, 1, 10.827566170662731},      // Wilson-Hilferty reset to the logarithmic form
      {0.999999, 4, 33.37684158165888},
      {0.5, 1e5, 99999.333334123468},      // iteration, at the limit
      {0.95, 200000, 201041.43256313179},  // direct Wilson-Hilferty
  };
  for (const auto& c : cases) {
    int f = 1;
    const double tol = c.df > 1e5 ? 1e-6 : 1e-5;
    EXPECT_NEAR(G01FCF(c.p, c.df, f), c.x, c.x * tol) << c.p << " " << c.df;
    EXPECT_EQ(f, 0) << c.p << " " << c.df;
  }
  int f = 1;
  EXPECT_EQ(G01FCF(0, 5, f), 0.0);
  EXPECT_EQ(f, 0);
}

// Deviates far in the lower tail at many degrees of freedom: the series
// correction used to step below 0 and fail in the incomplete gamma function
// (error 5).  G01FCF and G01FFF (shape df/2, scale 2) must both give the
// deviate to the tolerance 5e-6 (relative) with IFAIL 0.  References:
// R 4.2.2 qchisq(p, df).
TEST(ChiSquared, DeviatesFarInLowerTail) {
  struct C {
    double p, df, want;
  };
  const std::vector<C> cases = {
      {1e-20, 50, 3.4467154612762343},  {1e-20, 100, 18.611349164449138}, {1e-25, 60, 3.7564028860898855},
      {1e-30, 200, 48.370508013241},    {1e-20, 1000, 640.37429773450083}, {1e-40, 80, 3.2824442339458302},
      {1e-12, 50, 7.831891714119779},   {0.95, 1, 3.841458820694124},      {0.5, 50, 49.334936733976846},
      // once refused with error 5 as the step left the range
      {1e-100, 200, 7.901597617080129},
  };
  for (const auto& c : cases) {
    int f = 1;
    EXPECT_NEAR(G01FCF(c.p, c.df, f), c.want, 5e-6 * c.want) << c.p << " " << c.df;
    EXPECT_EQ(f, 0) << c.p << " " << c.df;
    f = 1;
    EXPECT_NEAR(G01FFF(c.p, c.df / 2, 2.0, 5e-6, f), c.want, 5e-6 * c.want) << c.p << " " << c.df;
    EXPECT_EQ(f, 0) << c.p << " " << c.df;
  }
}

TEST(ChiSquared, DeviateErrors) {
  struct E {
    double p, df;
    int err;
    std::vector<std::string> rec;
  };
  const std::vector<E> cases = {
      {-0.1, 2, 1, {" ** On entry, P.lt.0 .OR. P.gt.1: P =  -1.00000D-01"}},
      {1.5, 2, 1, {" ** On entry, P.lt.0 .OR. P.gt.1: P =   1.50000D+00"}},
      // P = 1 has no finite deviate, on either path.
      {1.0, 2, 1, {" ** On entry, P.lt.0 .OR. P.gt.1: P =   1.00000D+00"}},
      {1.0, 2e5, 1, {" ** On entry, P.lt.0 .OR. P.gt.1: P =   1.00000D+00"}},
      {0.5, 0, 2, {" ** On entry, DF.le.0.0 : DF =   0.00000D+00"}},
      // the start underflows: ln x = 2 ln P + ... for DF = 1
      // (the record's trailing blank is cut when written)
      {1e-300, 1, 3, {" ** P is too close to 0.0 or 1.0"}},
      {std::nan(""), 2, 1, {" ** On entry, P.lt.0 .OR. P.gt.1: P =           NaN"}},
  };
  for (const auto& e : cases) {
    UnitCapture cap;
    int f = -1;
    EXPECT_EQ(G01FCF(e.p, e.df, f), 0.0);
    EXPECT_EQ(f, e.err) << e.p << " " << e.df;
    EXPECT_EQ(cap.lines(), soft_report(e.rec, "G01FCF", e.err)) << e.p << " " << e.df;
  }
  // The iteration stalls above its tolerance: error 4 with the last value.
  UnitCapture cap;
  int f = -1;
  EXPECT_GT(G01FCF(1e-300, 31622.776601683792, f), 20000.0);
  EXPECT_EQ(f, 4);
  EXPECT_EQ(cap.lines(), soft_report({" ** Solution has failed to converge"}, "G01FCF", 4));
}

TEST(GammaDeviate, Errors) {
  struct E {
    double p, a, b;
    int err;
    std::string rec;
  };
  const std::vector<E> cases = {
      {1.0, 1, 1, 1, " ** On entry, P.lt.0.0 .OR. P.ge.1.0: P =   0.10000D+01"},
      {0.5, 0, 1, 2, " ** On entry, A.le.0.0 : A =   0.00000D+00"},
      {0.5, 2e6, 1, 2, " ** On entry, A is too large: A =   0.20000D+07"},
      {0.5, 1, -1, 2, " ** On entry, B .le. 0.0 : B =  -0.10000D+01"},
      {1e-300, 0.5, 1, 3, " ** P is too close to 0.0 or 1.0"},
  };
  for (const auto& e : cases) {
    UnitCapture cap;
    int f = -1;
    EXPECT_EQ(G01FFF(e.p, e.a, e.b, 0, f), 0.0);
    EXPECT_EQ(f, e.err);
    EXPECT_EQ(cap.lines(), soft_report({e.rec}, "G01FFF", e.err));
  }
  {
    // At the default tolerance (50 eps) the correction stalls in rounding.
    UnitCapture cap;
    int f = -1;
    EXPECT_GT(G01FFF(0.99, 0.001, 1, 0, f), 0.0);
    EXPECT_EQ(f, 4);
    EXPECT_EQ(cap.lines(), soft_report({" ** Solution fails to converge."}, "G01FFF", 4));
  }
  // Shape 3, scale 2 is chi-squared on 6 DF: the median 5.3481206274471...
  int f = 1;
  EXPECT_NEAR(G01FFF(0.5, 3, 2, 0, f), 5.3481206274471333, 1e-12);
  EXPECT_EQ(f, 0);
}

// Non-central chi-squared: the Poisson mixture of central ones summed to
// 2000 terms in 40-digit arithmetic (mpmath).
TEST(NonCentral, Values) {
  struct C {
    double x, df, lam, p;
  };
  const std::vector<C> cases = {
      {3, 2, 1, 0.62064365321954362},   {10, 5, 4, 0.64078836567039521},   {1, 1, 0.5, 0.57129701038674585},
      {20, 4, 15, 0.59319506844287817}, {50, 10, 30, 0.80809496162872629}, {1, 3, 0.01, 0.19794308504481492},
      {2, 0, 3, 0.51205431668379597},   {0.5, 0, 2, 0.45426290113775819},
      // Larger non-centralities: the terms around the mode, 800 of them
      {2004, 4, 2000, 0.5044568755263813}, {650, 10, 600, 0.79391889373342717},
  };
  for (const auto& c : cases) {
    int f = 1;
    EXPECT_NEAR(G01GCF(c.x, c.df, c.lam, 1e-12, 500, f), c.p, 1e-10) << c.x << " " << c.df << " " << c.lam;
    EXPECT_EQ(f, 0);
    EXPECT_NEAR(G01GCF(c.x, c.df, c.lam, 5e-6, 500, f), c.p, 5e-5) << c.x << " " << c.df << " " << c.lam;
  }
  int f = 1;
  // RLAMDA = 0: the central value P(DF/2, X/2).
  EXPECT_NEAR(G01GCF(2, 2, 0, 1e-12, 50, f), 0.63212055882855767, 1e-14);
  // X = 0: nothing below, except the point mass exp(-lambda/2) when DF = 0.
  EXPECT_EQ(G01GCF(0, 3, 2, 1e-12, 50, f), 0.0);
  EXPECT_EQ(G01GCF(0, 0, 2, 1e-12, 50, f), std::exp(-1.0));
  EXPECT_EQ(f, 0);
}

// Against R 4.2.2: each reference is the Poisson mixture
// sum(dpois(j, ncp/2) * pchisq(x, df + 2j)) over j within 60 standard
// deviations of the mode, which agrees with R's pchisq(x, df, ncp) to
// 1.8e-13 at every point.  A grid of df 0.5..1000 and non-centrality 0.1..500
// at x = mean - 2 sd, mean and mean + 2.5 sd; the value must be within the
// tolerance asked, at the fit's 5e-6 and at 1e-12 (with 2e-13 for the
// reference itself).
TEST(NonCentral, WithinToleranceAgainstR) {
  struct C {
    double x, df, ncp, p;
  };
  const std::vector<C> cases = {
      {911.01257, 1000, 0.5, 0.020283671012424159},
      {0.01, 0.5, 0.1, 0.27884283230904022},
      {0.6, 0.5, 0.1, 0.74165434547015574},
      {3.5580399, 0.5, 0.1, 0.9661078885610932},
      {0.01, 0.5, 1, 0.17811763913862899},
      {1.5, 0.5, 1, 0.68142825579857291},
      {7.0901699, 0.5, 1, 0.96578911420292002},
      {0.01, 0.5, 10, 0.0020144080972790217},
      {10.5, 0.5, 10, 0.56259146261492687},
      {26.507811, 0.5, 10, 0.97973525947480256},
      {22.145106, 0.5, 50, 0.010117666562303455},
      {50.5, 0.5, 50, 0.52816313706039886},
      {85.943617, 0.5, 50, 0.98713868144339056},
      {143.89611, 0.5, 200, 0.016698665646099689},
      {200.5, 0.5, 200, 0.5140988835782303},
      {271.25486, 0.5, 200, 0.99046239586460971},
      {411.03492, 0.5, 500, 0.01899593632151508},
      {500.5, 0.5, 500, 0.50891913593042304},
      {612.33135, 0.5, 500, 0.99169608766565243},
      {0.01, 1, 0.1, 0.075783433734816455},
      {1.1, 1, 0.1, 0.68197224235954779},
      {4.9729833, 1, 0.1, 0.96673214711026623},
      {0.01, 1, 1, 0.048394064400376816},
      {2, 1, 1, 0.65275653668227029},
      {8.1237244, 1, 1, 0.9677996944463747},
      {0.01, 1, 10, 0.00054569380145351616},
      {11, 1, 10, 0.56133198095297265},
      {27.201852, 1, 10, 0.97997640385881835},
      {22.574659, 1, 50, 0.010176171853710591},
      {51, 1, 50, 0.52804668156727075},
      {86.531676, 1, 50, 0.98716514968773961},
      {144.36079, 1, 200, 0.016705384596716704},
      {201, 1, 200, 0.5140842256424677},
      {271.79901, 1, 200, 0.99046583266343002},
      {411.51257, 1, 500, 0.018997569329232418},
      {501, 1, 500, 0.50891542250918675},
      {612.85929, 1, 500, 0.99169695982923423},
      {0.01, 2, 0.1, 0.0047448691122826819},
      {2.1, 2, 0.1, 0.63190765281754147},
      {7.3440442, 2, 0.1, 0.96981020121310169},
      {0.01, 2, 1, 0.0030288640637451195},
      {3, 2, 1, 0.62064365321954373},
      {10.071068, 2, 1, 0.97084796927673378},
      {0.01, 2, 10, 3.4027123185877797e-05},
      {12, 2, 10, 0.55899208290034363},
      {28.583124, 2, 10, 0.98042899347334367},
      {23.434286, 2, 50, 0.010291152896941857},
      {52, 2, 50, 0.52781735688787657},
      {87.707142, 2, 50, 0.98721731416426206},
      {145.29021, 2, 200, 0.016718756106818233},
      {202, 2, 200, 0.51405502453948992},
      {272.88723, 2, 200, 0.99047268183398718},
      {412.46788, 2, 500, 0.01900082231161572},
      {502, 2, 500, 0.50890800733698593},
      {613.91515, 2, 500, 0.99169870186644926},
      {0.01, 5, 0.1, 5.0421328446612614e-07},
      {5.1, 5, 0.1, 0.58408640059063066},
      {13.162258, 5, 0.1, 0.9757268701645605},
      {0.01, 5, 1, 3.2170724627806075e-07},
      {6, 5, 1, 0.58178452203451714},
      {15.354143, 5, 1, 0.97612531925127699},
      {0.85786438, 5, 10, 0.00031682845585776685},
      {15, 5, 10, 0.55314055329522671},
      {32.67767, 5, 10, 0.9815890417952442},
      {26.017247, 5, 50, 0.010620717419279094},
      {55, 5, 50, 0.52715677304833464},
      {91.228442, 5, 50, 0.98736790494893534},
      {148.079, 5, 200, 0.016758436730634828},
      {205, 5, 200, 0.51396832848708685},
      {276.15125, 5, 200, 0.99049303342258121},
      {415.33395, 5, 500, 0.019010546095383957},
      {505, 5, 500, 0.50888585473529768},
      {617.08256, 5, 500, 0.99170390501746442},
      {1.0667282, 10, 0.1, 0.00022098296204892641},
      {10.1, 10, 0.1, 0.55949958848981196},
      {21.39159, 10, 0.1, 0.98013105668761535},
      {1.202041, 10, 1, 0.00025325729637104902},
      {11, 10, 1, 0.55893431630479684},
      {23.247449, 10, 1, 0.98025674654262662},
      {4.5080666, 10, 10, 0.0026142379893060756},
      {20, 10, 10, 0.54607056600316017},
      {39.364917, 10, 10, 0.98304962994616973},
      {30.335206, 10, 50, 0.011123774794353379},
      {60, 10, 50, 0.52613921180124956},
      {97.080992, 10, 50, 0.98760082291759377},
      {152.72872, 10, 200, 0.016823143262760531},
      {210, 10, 200, 0.51382678842848628},
      {281.58911, 10, 200, 0.99052626589405346},
      {420.11118, 10, 500, 0.019026616008483248},
      {510, 10, 500, 0.50884924049704339},
      {622.36103, 10, 500, 0.9917125090685559},
      {30.06004, 50, 0.1, 0.011164840902736424},
      {50.1, 50, 0.1, 0.5266013794694564},
      {75.14995, 50, 0.1, 0.98740330048364755},
      {30.603922, 50, 1, 0.011170507990914048},
      {51, 50, 1, 0.52658715382263821},
      {76.495098, 50, 1, 0.98740707189703703},
      {36.335681, 50, 10, 0.011531277609988191},
      {60, 50, 10, 0.52571177894576249},
      {89.580399, 50, 10, 0.98763127687181473},
      {65.358984, 50, 50, 0.013824145139022227},
      {100, 50, 50, 0.52049927064161117},
      {143.30127, 50, 50, 0.98891222591359074},
      {190, 50, 200, 0.017283792332167716},
      {250, 50, 200, 0.51281232700303225},
      {325, 50, 200, 0.99076492362466506},
      {458.34849, 50, 500, 0.01914916821853169},
      {550, 50, 500, 0.5085694577309462},
      {664.56439, 50, 500, 0.99177826898978005},
      {160.08, 200, 0.1, 0.017108302805459458},
      {200.1, 200, 0.1, 0.51329879335393735},
      {250.12499, 200, 0.1, 0.99062086552927009},
      {160.8005, 200, 1, 0.017108523084335126},
      {201, 200, 1, 0.51329831294079886},
      {251.24938, 200, 1, 0.99062099600199882},
      {168.04765, 200, 10, 0.017126118913530605},
      {210, 200, 10, 0.51325663100240471},
      {262.44044, 200, 10, 0.99063169997136302},
      {201.01021, 200, 50, 0.017376602184498446},
      {250, 200, 50, 0.51267076338730111},
      {311.23724, 200, 50, 0.99077904014436913},
      {330.71797, 200, 200, 0.018429786649348003},
      {400, 200, 200, 0.51024004736018203},
      {486.60254, 200, 200, 0.99137340214906255},
      {602.02041, 200, 500, 0.019530858682322162},
      {700, 200, 500, 0.50769242517634516},
      {822.47449, 200, 500, 0.99198472026857609},
      {910.64834, 1000, 0.1, 0.020283674371026468},
      {1000.1, 1000, 0.1, 0.50594714608177682},
      {1111.9146, 1000, 0.1, 0.99239301990088802},
      {911.46788, 1000, 1, 0.020283671281228693},
      {1001, 1000, 1, 0.5059471372989286},
      {1112.9151, 1000, 1, 0.99239299246766022},
      {919.66728, 1000, 10, 0.020284027239967965},
      {1010, 1000, 10, 0.50594628485978477},
      {1122.9159, 1000, 10, 0.99239322339613878},
      {956.19168, 1000, 50, 0.020291574990658836},
      {1050, 1000, 50, 0.50592815879415654},
      {1167.2604, 1000, 50, 0.99239767060302775},
      {1094.1699, 1000, 200, 0.020368344031445718},
      {1200, 1000, 200, 0.50574448914594006},
      {1332.2876, 1000, 200, 0.99244232947470234},
      {1373.5089, 1000, 500, 0.020573014378638146},
      {1500, 1000, 500, 0.50525687723858503},
      {1658.1139, 1000, 500, 0.99255952621742771},
  };
  for (const auto& c : cases) {
    for (double tol : {5e-6, 1e-12}) {
      int f = 1;
      const double v = G01GCF(c.x, c.df, c.ncp, tol, 500, f);
      EXPECT_EQ(f, 0) << c.x << " " << c.df << " " << c.ncp << " tol " << tol;
      EXPECT_NEAR(v, c.p, tol + 2e-13) << c.x << " " << c.df << " " << c.ncp << " tol " << tol;
    }
  }
}

TEST(NonCentral, Errors) {
  struct E {
    double x, df, lam;
    int maxit, err;
    std::string rec;
  };
  const std::vector<E> cases = {
      {1, -1, 1, 50, 1, " ** On entry, DF.lt.0.0 : DF =  -1.00000D+00"},
      {1, 1, -1, 50, 1, " ** On entry, RLAMDA.lt.0.0 : RLAMDA =  -1.00000D+00"},
      {-1, 1, 1, 50, 1, " ** On entry, X.lt.0.0 : X =  -1.00000D+00"},
      {1, 0, 0, 50, 1, " ** On entry, DF.eq.0.0 and RLAMDA.eq.0.0"},
      {1, 1, 1, 0, 1, " ** On entry, MAXIT.lt.1 : MAXIT =                0"},
      {1, 1, 1e37, 50, 2, " ** Poisson weight too small to calculate."},
      {400, 4, 300, 1, 3, " ** Convergence has not been achieved in MAXIT steps: MAXIT =                1"},
      {2e37, 2e37, 4, 50, 4, " ** The values of X and RLAMDA are too large for accurate evaluation."},
      {1, std::nan(""), 1, 50, 5, " ** Central Chi squared function fails to converge."},
  };
  for (const auto& e : cases) {
    UnitCapture cap;
    int f = -1;
    EXPECT_EQ(G01GCF(e.x, e.df, e.lam, 1e-12, e.maxit, f), 0.0);
    EXPECT_EQ(f, e.err) << e.rec;
    EXPECT_EQ(cap.lines(), soft_report({e.rec}, "G01GCF", e.err));
  }
}

// Poisson probabilities summed in 40-digit arithmetic (mpmath).  The tail
// series stop at a term of 5e-7, so the tails are good to about 1e-6.
TEST(Poisson, Values) {
  struct C {
    double lam;
    int k;
    double pl, pu, pe;
  };
  const std::vector<C> cases = {
      {0.5, 0, 0.60653065971263342, 0.39346934028736658, 0.60653065971263342},
      {0.5, 2, 0.98561232203302929, 0.014387677966970687, 0.075816332464079178},
      {3.2, 1, 0.17120125670913808, 0.82879874329086189, 0.13043905273077186},
      {3.2, 5, 0.89459189453082255, 0.10540810546917743, 0.11397938346351823},
      {10, 10, 0.58303975019298548, 0.41696024980701452, 0.1251100357211333},
      {100, 80, 0.02264917664225561, 0.97735082335774437, 0.0051978541259801803},
      {100, 130, 0.99829315962949849, 0.0017068403705014924, 0.00057525268381546297},
      {2, 50, 1.0, 2.043224251179504e-52, 5.0099794781992175e-51},
  };
  for (const auto& c : cases) {
    double pl, pu, pe;
    int f = 1;
    G01BKF(c.lam, c.k, pl, pu, pe, f);
    EXPECT_EQ(f, 0);
    EXPECT_NEAR(pe, c.pe, c.pe * 1e-12) << c.lam << " " << c.k;
    EXPECT_NEAR(pl, c.pl, 2e-6 * c.pl) << c.lam << " " << c.k;
    EXPECT_NEAR(pu, c.pu, 2e-6 * c.pu) << c.lam << " " << c.k;
  }
  double pl, pu, pe;
  int f = 1;
  G01BKF(1e-200, 0, pl, pu, pe, f);
  EXPECT_EQ(pl, 1.0);
  EXPECT_EQ(pu, 1e-200);
  EXPECT_EQ(pe, 1.0);
  G01BKF(5, 1100001, pl, pu, pe, f);
  EXPECT_EQ(pl, 1.0);
  EXPECT_EQ(pu, 0.0);
  struct E {
    double lam;
    int k, err;
    std::string rec;
  };
  for (const E& e : std::vector<E>{{0, 1, 1, " ** On entry, RLAMDA.le.0: RLAMDA =  0.00000D+00"},
                                   {1, -2, 2, " ** On entry, K.lt.0: K =              -2"},
                                   {2e6, 1, 3, " ** On entry, RLAMDA exceeds   1.0D+06: RLAMDA = 0.200000D+07"}}) {
    UnitCapture cap;
    f = -1;
    G01BKF(e.lam, e.k, pl, pu, pe, f);
    EXPECT_EQ(f, e.err);
    EXPECT_EQ(cap.lines(), soft_report({e.rec}, "G01BKF", e.err));
  }
}

// Upper chi-squared tails for integer DF (mpmath); Wilson-Hilferty from DF 120.
TEST(ChiSquaredInteger, UpperTails) {
  struct C {
    double x;
    int df;
    double q, tol;
  };
  const std::vector<C> cases = {
      {1, 1, 0.31731050786291409, 1e-14},   {3, 2, 0.22313016014842982, 1e-14},
      {4, 3, 0.26146412994911061, 1e-14},   {7.5, 6, 0.27706844336610731, 1e-14},
      {10, 7, 0.18857346751345008, 1e-14},  {60, 40, 0.021873468441390854, 1e-12},  // logarithmic sum
      {80, 51, 0.0058513246937660825, 1e-12}, {130, 120, 0.25106239697664567, 2e-3},
      {100, 150, 0.99942224547378999, 1e-3},
  };
  for (const auto& c : cases) {
    int f = 1;
    EXPECT_NEAR(G01BCF(c.x, c.df, f), c.q, c.q * c.tol) << c.x << " " << c.df;
    EXPECT_EQ(f, 0);
  }
  for (auto [x, df, err] : std::vector<std::tuple<double, int, int>>{{-1, 2, 1}, {1, 0, 2}, {-1, -1, 3}}) {
    UnitCapture cap;
    int f = -1;
    EXPECT_EQ(G01BCF(x, df, f), 0.0);
    EXPECT_EQ(f, err);
    EXPECT_EQ(cap.lines(), soft_report({}, "G01BCF", err));
  }
}

}  // namespace
}  // namespace qv::numlib

namespace qv::numlib {
namespace {

// A hard failure (IFAIL 0) reports and ends the run with status 1.
TEST(DistributionsDeathTest, HardFailureEndsTheRun) {
  test::UnitCapture cap;
  EXPECT_EXIT(
      {
        int f = 0;
        G01ECF('X', 1, 2, f);
      },
      testing::ExitedWithCode(1), "");
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{" ** On entry, TAIL is not valid: TAIL = X",
                                                   " ** ABNORMAL EXIT from Numerical Library routine G01ECF: IFAIL =     1",
                                                   " ** Library hard failure - execution terminated"}));
}

}  // namespace
}  // namespace qv::numlib
