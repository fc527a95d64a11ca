// Fit statistics: the counts of observed statistics, the RMSEA, and the
// statistics block with its null-model indices and saturated comparison.
//
// References: closed forms, R's pchisq, and lavaan's fit measures of the
// three-factor Holzinger-Swineford CFA (ML, likelihood = "wishart", N = 301,
// 21 parameters, 45 statistics), as computed by
// tests/fit/refs/fitstat_refs.R (R 4.2, lavaan 0.6.14).
#include <gtest/gtest.h>

#include "support/reset.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "fit/fitstat.hpp"
#include "jobbase/htmlrep.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/workspace.hpp"

using namespace qv::fit;
using qv::jobbase::FESTAT;
using qv::jobbase::FITOPT;
using qv::jobbase::GRPTAB;
using qv::jobbase::MAINPR;
using qv::jobbase::WORKSP;

namespace {

// lavaan: fitMeasures(fit, "chisq") and the baseline model's chi-squared and df.
constexpr double kChisq = 85.022114722134575;
constexpr double kBaseChisq = 915.79892620503358;
constexpr double kBaseDf = 36;

class StatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qv::testing_support::reset_every_area();
    X(1) = 0.0;
  }
  qv::runtime::Vec1<double> X = WORKSP.x();
  // Group g of NG (the table is laid out for NG groups; call with the same NG).
  double& col(int NG, int k, int g) { return GRPTAB(X, NG, k, g); }
  // A covariance group: code, kind, N, p, statistics, fit value.
  void cov_group(int NG, int g, int code, int kind, double N, int p, int f, double F = 0.0) {
    X(1) = NG;
    col(NG, 11, g) = code;
    col(NG, 18, g) = kind;
    col(NG, 1, g) = N;
    col(NG, 2, g) = p;
    col(NG, 3, g) = f;
    col(NG, 15, g) = F;
  }
  // The Holzinger-Swineford model as one ML group at lavaan's chi-squared.
  Statin hs_model() {
    cov_group(1, 1, 2, 0, 301, 9, 45, kChisq);
    Statin in;
    in.F = kChisq;
    in.NPAR = 21;
    in.NSTAT = 45;
    return in;
  }
  std::string block(const Statin& in) {
    testing::internal::CaptureStdout();
    FITSTS(X, in);
    return testing::internal::GetCapturedStdout();
  }
};

bool has(const std::string& out, const std::string& line) { return out.find(line) != std::string::npos; }

}  // namespace

// NOBS by group kind and fit code; each expected count is the rule's sum
// worked by hand.
TEST_F(StatTest, ObservedStatisticsByCode) {
  struct Case {
    const char* name;
    int code, kind;
    double N;
    int p, f;
    bool means;
    int stats;      // statistics counted
    double nobsv;   // observations counted
    int ncon;       // constraint values counted
  };
  const Case cases[] = {
      {"ML covariances", 2, 0, 100, 3, 6, false, 6, 100, 0},
      {"ML with a means model: + p", 2, 0, 100, 3, 6, true, 9, 100, 0},
      {"LS", 1, 0, 50, 4, 10, false, 10, 50, 0},
      {"no fit function: statistics, no observations", 6, 0, 40, 2, 3, false, 3, 0, 0},
      {"user value: no statistics, observations", 7, 0, 40, 2, 3, false, 0, 40, 0},
      {"user value per row: statistics, no observations", 8, 0, 40, 2, 3, false, 3, 0, 0},
      {"raw data: p N - col 3 = 4*10 - 2", 9, 0, 10, 4, 2, false, 38, 0, 0},
      {"constraint group", 2, 1, 0, 1, 2, false, 0, 0, 2},
      {"calculation group", 2, 2, 30, 3, 6, false, 0, 30, 0},
      {"ordinal records: nothing", 12, 0, 30, 3, 6, false, 0, 30, 0},
  };
  for (const auto& c : cases) {
    SetUp();
    cov_group(1, 1, c.code, c.kind, c.N, c.p, c.f);
    if (c.means) {
      col(1, 21, 1) = 500;
      col(1, 29, 1) = 600;
    }
    double nobsv = -1;
    int ncon = -1;
    EXPECT_EQ(NOBS(X, 1, 1, 1, nobsv, ncon), c.stats) << c.name;
    EXPECT_EQ(nobsv, c.nobsv) << c.name;
    EXPECT_EQ(ncon, c.ncon) << c.name;
  }
}

// Contingency tables count their used cells less one; variable-length
// records count the sum of their values (records of 2 and 3 values).
TEST_F(StatTest, ObservedStatisticsOfTablesAndRecords) {
  cov_group(2, 1, 11, 0, 60, 2, 3);  // 2 x 3 table at 1001, one cell unused (-1)
  col(2, 4, 1) = 1001;
  const double cells[6] = {10, 5, -1, 20, 15, 10};
  for (int k = 0; k < 6; ++k) X(1001 + k) = cells[k];
  cov_group(2, 2, 10, 0, 2, 3, 0);
  // Record block at 2001: 2 records; each m, a word, m codes, m values.
  X(2000) = 2;
  const double recs[] = {2, 0, 1, 2, 1.5, 2.5, 3, 0, 1, 2, 3, 0.5, 0.25, 0.125};
  for (int k = 0; k < 14; ++k) X(2001 + k) = recs[k];
  col(2, 34, 2) = 2001;
  double nobsv = 0;
  int ncon = 0;
  EXPECT_EQ(NOBS(X, 2, 1, 1, nobsv, ncon), 4);  // 5 used cells - 1
  EXPECT_EQ(NOBS(X, 2, 2, 2, nobsv, ncon), 5);  // 2 + 3 values
  EXPECT_EQ(NOBS(X, 2, 1, 2, nobsv, ncon), 9);
  EXPECT_EQ(nobsv, 62.0);
  // No records: the message, nothing counted.
  X(2000) = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(NOBS(X, 2, 2, 2, nobsv, ncon), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\n VL data contains no observations, perhaps because of selection?\n");
}

// RMSEA: the mean over data groups of sqrt(h/(N df)), h = r F - df,
// df = c + K - c NPAR / S.  References in closed form.
TEST_F(StatTest, Rmsea) {
  struct Group {
    int code, kind;
    double N;
    int f;
    double F;
  };
  struct Case {
    const char* name;
    std::vector<Group> groups;
    int npar;
    double r;
    double want;
    const char* source;
  };
  const Case cases[] = {
      {"one group", {{2, 0, 200, 21, 30}}, 9, 1.0, std::sqrt(18.0 / (200 * 12)), "sqrt(18/(200*12)) = 0.0866"},
      {"HS model", {{2, 0, 301, 45, kChisq}}, 21, 1.0, 0.091908305334407997, "R: sqrt((chisq - 24)/(301*24))"},
      {"scaled by r", {{2, 0, 200, 21, 30}}, 9, 2.0, std::sqrt(48.0 / (200 * 12)), "sqrt((60-12)/(200*12))"},
      {"fit below df adds 0", {{2, 0, 200, 21, 10}}, 9, 1.0, 0.0, "h < 0"},
      {"two groups, one below its df",
       {{2, 0, 100, 6, 20}, {2, 0, 300, 6, 1}},
       4,
       1.0,
       (std::sqrt(16.0 / (100 * 4)) + 0.0) / 2,
       "df_g = 6 - 6*4/12 = 4: (sqrt(16/400) + 0)/2"},
      {"constraint values add to every group's df",
       {{2, 0, 100, 6, 20}, {2, 1, 0, 2, 0}},
       3,
       1.0,
       std::sqrt((20.0 - 5.0) / (100 * 5.0)),
       "df = 6 + 2 - 6*3/6 = 5: sqrt(15/500), the constraint group not averaged"},
      {"raw data group has no N", {{9, 0, 100, 0, 50}}, 1, 1.0, 0.0, "N_g = 0"},
  };
  for (const auto& c : cases) {
    SetUp();
    const int NG = static_cast<int>(c.groups.size());
    for (int g = 1; g <= NG; ++g) {
      const auto& gr = c.groups[g - 1];
      cov_group(NG, g, gr.code, gr.kind, gr.N, 3, gr.f, gr.F);
      col(NG, 2, g) = gr.code == 9 ? 0 : 3;
    }
    double rmsea = -1;
    DFOBS(X, NG, c.npar, c.r, rmsea);
    EXPECT_NEAR(rmsea, c.want, 1e-12) << c.name << " [" << c.source << "]";
  }
}

TEST_F(StatTest, FitTypeCode) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> groups;  // (code, kind)
    int want;
  };
  const Case cases[] = {
      {"ML", {{2, 0}}, 1},
      {"GLS", {{5, 0}}, 2},
      {"LS", {{1, 0}}, 3},
      {"AWLS", {{3, 0}}, 4},
      {"DWLS", {{4, 0}}, 5},
      {"raw VL", {{10, 0}}, 6},
      {"user", {{7, 0}}, 7},
      {"ML and GLS", {{2, 0}, {5, 0}}, 7},
      {"ML twice, a constraint group between", {{2, 0}, {1, 1}, {2, 0}}, 1},
      {"raw and table", {{9, 0}, {11, 0}}, 6},
  };
  for (const auto& c : cases) {
    SetUp();
    const int NG = static_cast<int>(c.groups.size());
    for (int g = 1; g <= NG; ++g) cov_group(NG, g, c.groups[g - 1].first, c.groups[g - 1].second, 10, 2, 3);
    EXPECT_EQ(FITTYP(X, NG), c.want) << c.name;
  }
}

// The ML model: chi-squared, df, probability, AIC, RMSEA against R.
TEST_F(StatTest, ChiSquaredBlockAgainstR) {
  const std::string out = block(hs_model());
  EXPECT_EQ(out,
            " Your model has       21 estimated parameters and         45 Observed statistics\n"
            "\n"
            " Chi-squared fit of model >>>>>>>    85.022\n"
            " Degrees of freedom >>>>>>>>>>>>>        24\n"
            " Probability >>>>>>>>>>>>>>>>>>>>     0.000\n"
            " Akaike's Information Criterion >    37.022\n"
            " RMSEA >>>>>>>>>>>>>>>>>>>>>>>>>>     0.092\n");
  EXPECT_EQ(FITRES.F, kChisq);
  EXPECT_EQ(FITRES.DF, 24.0);
  // R: pchisq(chisq, 24, lower.tail = FALSE)
  EXPECT_NEAR(FITRES.PROB, 9.4549344225667708e-09, 1e-5 * 9.45e-9);
  EXPECT_NEAR(FITRES.AIC, kChisq - 48.0, 1e-12);
  // R: sqrt((chisq - 24) / (301 * 24))
  EXPECT_NEAR(FITRES.RMSEA, 0.091908305334407997, 1e-14);
  // No CI, NU or SAT: the marker values.
  EXPECT_EQ(FITRES.CHILO, -1.0);
  EXPECT_EQ(FITRES.AICHI, -99999.0);
  EXPECT_EQ(FITRES.RMSHI, -1.0);
  EXPECT_EQ(FITRES.NFI, -1.0);
  EXPECT_EQ(FITRES.CI, -1.0);
  EXPECT_EQ(FITOPT.NUCHI, -1.0);
  EXPECT_EQ(FITOPT.SATFIT, -1.0);
  EXPECT_EQ(FITCMP.DIFCHI, -1.0);
}

// Probabilities of the block against R's pchisq over a range of values, to
// 1e-5 relative (the library's incomplete gamma works to 5e-6).
TEST_F(StatTest, ProbabilityAgainstR) {
  struct Case {
    double F;
    int npar, nstat;
    double want;
    const char* source;
  };
  const Case cases[] = {
      {3.5, 5, 6, 0.061368829139401948, "pchisq(3.5, 1, lower.tail = FALSE)"},
      {12.5, 3, 10, 0.08526927515826925, "pchisq(12.5, 7, lower.tail = FALSE)"},
      {kChisq, 21, 45, 9.4549344225667708e-09, "pchisq(chisq, 24, lower.tail = FALSE)"},
  };
  for (const auto& c : cases) {
    SetUp();
    Statin in = hs_model();
    in.F = c.F;
    in.NPAR = c.npar;
    in.NSTAT = c.nstat;
    block(in);
    EXPECT_NEAR(FITRES.PROB, c.want, 1e-5 * c.want) << c.source;
  }
}

// DF = 0 with F = 0: incalculable, probability 1, AIC 0.  A negative fit is
// incalculable too.
TEST_F(StatTest, IncalculableProbability) {
  Statin in = hs_model();
  in.F = 0.0;
  in.NSTAT = 21;
  const std::string out = block(in);
  EXPECT_TRUE(has(out, " Degrees of freedom >>>>>>>>>>>>>         0\n Probability incalculable\n"
                       " Akaike's Information Criterion >     0.000\n"));
  EXPECT_EQ(FITRES.PROB, 1.0);
  EXPECT_EQ(FITRES.AIC, 0.0);
  in.F = -0.5;
  in.NSTAT = 30;
  FITRES.PROB = 0.3;
  EXPECT_TRUE(has(block(in), " Probability incalculable\n"));
  EXPECT_EQ(FITRES.PROB, 1.0);
}

// F above 1,000,000: every value line in (A,D16.8).
TEST_F(StatTest, LargeFitUsesExponentFormat) {
  Statin in = hs_model();
  in.F = 1.5e6;
  FITOPT.SAT = true;
  FITOPT.SATFIT = 20.0;
  FITOPT.SATDF = 10.0;
  const std::string out = block(in);
  EXPECT_TRUE(has(out, " Chi-squared fit of model >>>>>>>  0.15000000D+07\n"));
  EXPECT_TRUE(has(out, " Akaike's Information Criterion >  0.14999520D+07\n"));
  EXPECT_TRUE(has(out, " Saturated model fit* >>>>>>>>>>>  0.20000000D+02\n"));
  EXPECT_TRUE(has(out, " Degrees of freedom >>>>>>>>>>>>>        24\n"));
}

// Each job fit code's lines.
TEST_F(StatTest, LinesOfEachFitCode) {
  struct Case {
    int optfit, ischi;
    std::string want;
  };
  const Case cases[] = {
      {0, 0, "\n The Least Squares function value is     12.500\n"},
      {2, 0,
       "\n Chi-squared fit of model >>>>>>>    12.500\n Degrees of freedom >>>>>>>>>>>>>         7\n"
       " Probability >>>>>>>>>>>>>>>>>>>>     0.085\n Akaike's Information Criterion >    -1.500\n"
       "\n Please note that under DWLS this is approximate\n RMSEA >>>>>>>>>>>>>>>>>>>>>>>>>>     0.051\n"},
      {4, 0, "\n -2 times log-likelihood of data >>>    12.500\n Degrees of freedom >>>>>>>>>>>>>>>>         7\n"},
      {3, 0, "\n User defined function value =    12.500\n 'Degrees of freedom' >>>>>>>>>>>>>>>>         7\n"},
      {3, 1,
       "\n User defined function value =    12.500\n 'Degrees of freedom' >>>>>>>>>>>>>>>>         7\n"
       " Probability >>>>>>>>>>>>>>>>>>>>     0.085\n Akaike's Information Criterion >    -1.500\n"},
  };
  for (const auto& c : cases) {
    SetUp();
    Statin in = hs_model();
    in.F = 12.5;
    in.NPAR = 3;
    in.NSTAT = 10;
    // The group: 10 statistics, F = 12.5, so df 7 and RMSEA sqrt(5.5/(301*7)) = 0.0511.
    col(1, 3, 1) = 10;
    col(1, 15, 1) = 12.5;
    FITOPT.OPTFIT = c.optfit;
    FITOPT.ISCHI = c.ischi;
    const std::string head = " Your model has        3 estimated parameters and         10 Observed statistics\n";
    EXPECT_EQ(block(in), head + c.want) << "fit code " << c.optfit;
  }
}

// User-defined function as chi-squared, incalculable: the stored
// probability is left as it was.
TEST_F(StatTest, UserFunctionIncalculableKeepsProbability) {
  Statin in = hs_model();
  in.NSTAT = 21;
  FITOPT.OPTFIT = 3;
  FITOPT.ISCHI = true;
  FITRES.PROB = 0.25;
  EXPECT_TRUE(has(block(in), " Probability incalculable\n"));
  EXPECT_EQ(FITRES.PROB, 0.25);
}

// Counts lines: nonlinear constraints and the DF adjustment.
TEST_F(StatTest, CountLines) {
  Statin in = hs_model();
  in.NNLCON = 2;
  FITOPT.DF = -3;
  const std::string out = block(in);
  EXPECT_EQ(out.substr(0, out.find("\n\n") + 1),
            " Your model has       21 estimated parameters and         45 Observed statistics\n"
            " Observed statistics include   2 constraints.\n"
            " Note that Observed statistics includes your DF= adjustment of -3\n");
}

// Null-model indices of the HS model against lavaan's baseline model:
// NFI = nfi, TLI = tli, RNI = rni, PFI = pnfi, NFI2 = ifi; PFI2 and CI in
// closed form (lavaan's mfi divides by N - 1, the centrality index here by N).
TEST_F(StatTest, NullModelIndicesAgainstLavaan) {
  FITOPT.NU = true;
  FITOPT.NUCHI = kBaseChisq;
  FITOPT.NUDF = kBaseDf;
  const std::string out = block(hs_model());
  struct Row {
    const char* name;
    double got, want;
    const char* source;
  };
  const Row rows[] = {
      {"NFI", FITRES.NFI, 0.90716071804707554, "lavaan nfi"},
      {"NFI2", FITRES.NFI2, 0.93157413299227843, "lavaan ifi"},
      {"TLI", FITRES.TLI, 0.89596125960504935, "lavaan tli"},
      {"PFI", FITRES.PFI, 0.6047738120313837, "lavaan pnfi"},
      {"PFI2", FITRES.PFI2, 2.0 * 24 / (20.0 * 21) * 0.93157413299227843, "2 d/((npar-1) npar) * ifi"},
      {"RNI", FITRES.RNI, 0.93064083973669953, "lavaan rni"},
      {"CI", FITRES.CI, 0.90360258006629535, "R: exp(-0.5 * (chisq - 24) / 301)"},
  };
  for (const auto& r : rows) EXPECT_NEAR(r.got, r.want, 1e-12) << r.name << " [" << r.source << "]";
  EXPECT_TRUE(has(out,
                  " RMSEA >>>>>>>>>>>>>>>>>>>>>>>>>>     0.092\n"
                  "\n"
                  " Fit statistic                     Estimate\n"
                  " Tested Model fit >>>>>>>>>>>>>     85.0221\n"
                  " Tested Model df >>>>>>>>>>>>>>     24.0000\n"
                  " Null Model fit* >>>>>>>>>>>>>>    915.7989\n"
                  " Null Model df* >>>>>>>>>>>>>>>     36.0000\n"
                  " Normed fit Index >>>>>>>>>>>>>      0.9072\n"
                  " Normed fit Index 2 >>>>>>>>>>>      0.9316\n"
                  " Tucker Lewis Index >>>>>>>>>>>      0.8960\n"
                  " Parsimonious Fit Index>>>>>>>>      0.6048\n"
                  " Parsimonious Fit Index 2 >>>>>      0.1065\n"
                  " Relative Non-centrality Index>      0.9306\n"
                  " Centrality Index >>>>>>>>>>>>>      0.9036\n"
                  "\n"
                  " * User-supplied null-model statistic\n"))
      << out;
}

// The guarded divisions: their messages and zeros.
TEST_F(StatTest, NullModelGuards) {
  struct Simple {
    const char* name;
    double F0, d0;
    int npar, nstat;
    double N;
    const char* message;
  };
  const Simple cases[] = {
      {"F0 = 0", 0.0, 10, 3, 10, 100, " Null Model fit is zero; NFI not computed\n"},
      {"F0 = d", 7.0, 10, 3, 10, 100, " Null Model fit equals Null Model df; RNFI, TLI & RNI not computed\n"},
      {"d0 = 0", 50.0, 0, 3, 10, 100, " Null Model df equals zero; PFI not computed\n"},
      {"one parameter", 50.0, 10, 1, 8, 100, " True model has less than two parameters; PFI2 not computed\n"},
      {"no sample", 50.0, 10, 3, 10, 0, " Sample size appears to be zero; CI not computed\n"},
  };
  for (const auto& c : cases) {
    SetUp();
    Statin in = hs_model();
    col(1, 1, 1) = c.N;
    in.F = 12.5;
    in.NPAR = c.npar;
    in.NSTAT = c.nstat;
    FITOPT.NU = true;
    FITOPT.NUCHI = c.F0;
    FITOPT.NUDF = c.d0;
    const std::string out = block(in);
    EXPECT_TRUE(has(out, c.message)) << c.name << "\n" << out;
    for (double v : {FITRES.NFI, FITRES.NFI2, FITRES.TLI, FITRES.PFI, FITRES.PFI2, FITRES.RNI, FITRES.CI})
      EXPECT_TRUE(std::isfinite(v)) << c.name;
  }
  // F0 = d0 (and not d): TLI and RNI 0 without a message; NFI2 computed.
  SetUp();
  Statin in = hs_model();
  in.F = 12.5;
  in.NPAR = 3;
  in.NSTAT = 10;
  FITOPT.NU = true;
  FITOPT.NUCHI = 10.0;
  FITOPT.NUDF = 10.0;
  const std::string out = block(in);
  EXPECT_FALSE(has(out, "not computed"));
  EXPECT_EQ(FITRES.TLI, 0.0);
  EXPECT_EQ(FITRES.RNI, 0.0);
  EXPECT_DOUBLE_EQ(FITRES.NFI2, (10.0 - 12.5) / (10.0 - 7.0));
  // A tested model without df: TLI has no ratio F/d and is 0, not NaN.
  SetUp();
  in = hs_model();
  in.F = 0.0;
  in.NSTAT = 21;
  FITOPT.NU = true;
  FITOPT.NUCHI = kBaseChisq;
  FITOPT.NUDF = kBaseDf;
  block(in);
  EXPECT_EQ(FITRES.TLI, 0.0);
  EXPECT_DOUBLE_EQ(FITRES.RNI, 1.0);  // ((F0-d0) - 0)/(F0-d0)
}

// A job flagged as the null model keeps its fit; a later job (here a
// continuation, whose options are not reset) compares with it and says so.
// Typed null figures clear the flag.
TEST_F(StatTest, NullModelFromAnEarlierJob) {
  FITOPT.ISNULL = true;
  Statin null = hs_model();
  null.F = kBaseChisq;
  null.NPAR = 9;
  const std::string out1 = block(null);
  EXPECT_FALSE(has(out1, "Fit statistic"));
  EXPECT_TRUE(FITOPT.NU);
  EXPECT_FALSE(FITOPT.ISNULL);
  EXPECT_EQ(FITOPT.NUCHI, kBaseChisq);
  EXPECT_EQ(FITOPT.NUDF, kBaseDf);
  EXPECT_TRUE(FITOPT.NUCALC);
  const std::string out2 = block(hs_model());
  EXPECT_NEAR(FITRES.NFI, 0.90716071804707554, 1e-12);  // lavaan nfi
  EXPECT_TRUE(has(out2, "* Automatically calculated null-model statistic\n"));
}

// Saturated comparison: difference, its df and probability (R), AIC; and
// the guard on the difference df and the difference.
TEST_F(StatTest, SaturatedComparison) {
  struct Case {
    const char* name;
    double Fs, ds;
    double prob;     // difference probability
    bool incalculable;
    const char* source;
  };
  const Case cases[] = {
      {"df 14", 20.0, 10.0, 1.5159675424213e-08, false, "R: pchisq(chisq - 20, 14, lower.tail = FALSE)"},
      {"difference df 0", 20.0, 24.0, 1.0, true, "guard: df < 1"},
      {"difference df negative", 20.0, 30.0, 1.0, true, "guard: df < 1"},
      {"difference negative", 90.0, 10.0, 1.0, true, "guard: difference < 0"},
  };
  for (const auto& c : cases) {
    SetUp();
    FITOPT.SAT = true;
    FITOPT.SATFIT = c.Fs;
    FITOPT.SATDF = c.ds;
    const std::string out = block(hs_model());
    const double prob_tested = FITRES.PROB;
    EXPECT_EQ(FITCMP.DIFCHI, kChisq - c.Fs) << c.name;
    EXPECT_EQ(FITCMP.DIFDF, 24.0 - c.ds) << c.name;
    EXPECT_NEAR(FITCMP.DIFPRB, c.prob, 1e-5 * c.prob) << c.name << " [" << c.source << "]";
    EXPECT_EQ(FITCMP.DIFAIC, (kChisq - c.Fs) - 2.0 * (24.0 - c.ds)) << c.name;
    // The tested model's probability is its own.
    EXPECT_NEAR(prob_tested, 9.4549344225667708e-09, 1e-5 * 9.45e-9) << c.name;
    EXPECT_EQ(has(out, "\n Probability incalculable\n"), c.incalculable) << c.name;
    EXPECT_TRUE(has(out, "* Saturated model statistic supplied by user\n")) << c.name;
  }
  // The first case's lines.
  SetUp();
  FITOPT.SAT = true;
  FITOPT.SATFIT = 20.0;
  FITOPT.SATDF = 10.0;
  const std::string out = block(hs_model());
  EXPECT_TRUE(has(out,
                  "\n\n Saturated model fit* >>>>>>>>>>>    20.000\n"
                  " Saturated model df*  >>>>>>>>>>>        10\n"
                  " Difference Chi-squared  >>>>>>>>    65.022\n"
                  " Difference d.f.  >>>>>>>>>>>>>>>        14\n"
                  " Probability >>>>>>>>>>>>>>>>>>>>     0.000\n"
                  " Akaike's Information Criterion >    37.022\n"))
      << out;
}

// Whether the block printed a number that is not one (NaN, an infinity).
bool prints_non_number(const std::string& out) {
  if (has(out, "NaN") || has(out, "Infinity")) return true;
  for (std::size_t p = out.find("Inf"); p != std::string::npos; p = out.find("Inf", p + 1))
    if (out.compare(p, 11, "Information") != 0) return true;
  return false;
}

// A fit value, group value or index that is not finite is printed as
// incalculable, as the probability is; its probability is incalculable
// (1.0), and an index that is not finite is 0 in the table and its cell.
TEST_F(StatTest, StatisticsThatAreNotFiniteAreIncalculable) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double F : {nan, inf}) {
    SetUp();
    Statin in = hs_model();
    in.F = F;
    col(1, 15, 1) = inf;  // the group's value, read by the RMSEA
    FITOPT.NU = true;
    FITOPT.NUCHI = kBaseChisq;
    FITOPT.NUDF = kBaseDf;
    FITOPT.SAT = true;
    FITOPT.SATFIT = 20.0;
    FITOPT.SATDF = 10.0;
    FITRES.PROB = 0.3;
    const std::string out = block(in);
    EXPECT_FALSE(prints_non_number(out)) << out;
    EXPECT_TRUE(has(out,
                    "\n Chi-squared fit of model incalculable\n"
                    " Degrees of freedom >>>>>>>>>>>>>        24\n"
                    " Probability incalculable\n"
                    " Akaike's Information Criterion incalculable\n"
                    " RMSEA incalculable\n"))
        << out;
    EXPECT_EQ(FITRES.PROB, 1.0);
    // The indices that depend on F, and F itself, in the table.
    EXPECT_TRUE(has(out, " Tested Model fit incalculable\n")) << out;
    EXPECT_TRUE(has(out, " Normed fit Index incalculable\n")) << out;
    // exp(-0.5 (F - d) / N) is 0 at F = +infinity, a number.
    EXPECT_EQ(has(out, " Centrality Index incalculable\n"), std::isnan(F)) << out;
    for (double v : {FITRES.NFI, FITRES.NFI2, FITRES.PFI, FITRES.PFI2, FITRES.RNI, FITRES.CI})
      EXPECT_EQ(v, 0.0);
    // The saturated comparison.
    EXPECT_TRUE(has(out,
                    " Difference Chi-squared incalculable\n"
                    " Difference d.f.  >>>>>>>>>>>>>>>        14\n"
                    " Probability incalculable\n"
                    " Akaike's Information Criterion incalculable\n"))
        << out;
    EXPECT_EQ(FITCMP.DIFPRB, 1.0);
  }
  // Each fit code's value line.
  struct Case {
    int optfit;
    const char* line;
  };
  const Case cases[] = {{0, " The Least Squares function value is incalculable\n"},
                        {4, " -2 times log-likelihood of data incalculable\n"},
                        {3, " User defined function value incalculable\n"}};
  for (const Case& c : cases) {
    SetUp();
    Statin in = hs_model();
    in.F = nan;
    FITOPT.OPTFIT = c.optfit;
    const std::string out = block(in);
    EXPECT_TRUE(has(out, c.line)) << out;
    EXPECT_FALSE(prints_non_number(out)) << out;
  }
}

// A job flagged as the saturated model keeps its fit for the next.
TEST_F(StatTest, SaturatedModelFromAnEarlierJob) {
  FITOPT.ISSAT = true;
  Statin sat = hs_model();
  sat.F = 20.0;
  sat.NSTAT = 31;  // df 10
  block(sat);
  EXPECT_TRUE(FITOPT.SAT);
  EXPECT_FALSE(FITOPT.ISSAT);
  EXPECT_EQ(FITOPT.SATFIT, 20.0);
  EXPECT_EQ(FITOPT.SATDF, 10.0);
  const std::string out = block(hs_model());
  EXPECT_NEAR(FITCMP.DIFPRB, 1.5159675424213e-08, 1e-5 * 1.5e-8);  // R, as above
  EXPECT_TRUE(has(out, "* Saturated model statistic computed earlier in this job\n"));
}

// The figures of a job that was the null or the saturated model hold for
// every later job (each starting with the per-job reset of the options) until
// a job types its own, which hold for that job only, or is itself the null
// or saturated model.  Each step is one job: its options, then its block.
TEST_F(StatTest, NullAndSaturatedFiguresOfAJobHoldUntilReplaced) {
  struct Step {
    const char* name;
    const char* options;  // "ISNULL", "ISSAT", "NU", "SAT" or ""
    bool table;           // the null-model indices are printed
    const char* nullnote;
    bool comparison;      // the saturated comparison is printed
    const char* satnote;
  };
  const char* const kAuto = "* Automatically calculated null-model statistic\n";
  const char* const kTyped = "* User-supplied null-model statistic\n";
  const char* const kEarlier = "* Saturated model statistic computed earlier in this job\n";
  const char* const kUser = "* Saturated model statistic supplied by user\n";
  const Step steps[] = {
      {"the null model", "ISNULL", false, nullptr, false, nullptr},
      {"the next job", "", true, kAuto, false, nullptr},
      {"the job after it", "", true, kAuto, false, nullptr},
      {"the saturated model", "ISSAT", true, kAuto, false, nullptr},
      {"after both", "", true, kAuto, true, kEarlier},
      {"typed null figures", "NU", true, kTyped, true, kEarlier},
      {"after the typed figures", "", false, nullptr, true, kEarlier},
      {"typed saturated figures", "SAT", false, nullptr, true, kUser},
      {"after those", "", false, nullptr, false, nullptr},
  };
  for (const Step& st : steps) {
    FITOPT.newjob();
    const std::string opt = st.options;
    Statin in = hs_model();
    if (opt == "ISNULL") {
      FITOPT.ISNULL = true;
      FITOPT.NU = false;
      in.F = kBaseChisq;
      in.NPAR = 9;
    } else if (opt == "ISSAT") {
      FITOPT.ISSAT = true;
      FITOPT.SAT = false;
      in.F = 20.0;
      in.NSTAT = 31;  // df 10
    } else if (opt == "NU") {
      FITOPT.NU = true;
      FITOPT.NUCHI = 700.0;
      FITOPT.NUDF = 30.0;
      FITOPT.NUCALC = false;
    } else if (opt == "SAT") {
      FITOPT.SAT = true;
      FITOPT.SATFIT = 5.0;
      FITOPT.SATDF = 3.0;
      FITOPT.SATCALC = false;
    }
    const std::string out = block(in);
    EXPECT_EQ(has(out, "Fit statistic"), st.table) << st.name << "\n" << out;
    if (st.nullnote != nullptr) {
      EXPECT_TRUE(has(out, st.nullnote)) << st.name << "\n" << out;
    }
    EXPECT_EQ(FITRES.NFI != -1.0, st.table) << st.name;
    EXPECT_EQ(has(out, " Saturated model fit*"), st.comparison) << st.name << "\n" << out;
    if (st.satnote != nullptr) {
      EXPECT_TRUE(has(out, st.satnote)) << st.name << "\n" << out;
    }
    EXPECT_EQ(FITCMP.DIFCHI != -1.0, st.comparison) << st.name;
  }
}

// A later job compares with the null model's own figures: lavaan's indices.
TEST_F(StatTest, AJobAfterTheNullModelGetsItsIndices) {
  FITOPT.ISNULL = true;
  Statin null = hs_model();
  null.F = kBaseChisq;
  null.NPAR = 9;
  block(null);
  FITOPT.newjob();
  block(hs_model());
  EXPECT_NEAR(FITRES.NFI, 0.90716071804707554, 1e-12);  // lavaan nfi
  EXPECT_EQ(FITOPT.NUCHI, kBaseChisq);
  EXPECT_EQ(FITOPT.NUDF, kBaseDf);
}

// Counts too wide for their fields are printed in full: a raw-data fit of
// 11,200 records of 10 variables has more than 100,000 df; so may the
// saturated model.
TEST_F(StatTest, DegreesOfFreedomBeyondTheirFieldArePrintedInFull) {
  cov_group(1, 1, 9, 0, 11200, 10, 0);
  FITOPT.OPTFIT = 4;
  FITOPT.SAT = true;
  FITOPT.SATFIT = 287000.25;
  FITOPT.SATDF = 111935;
  Statin in;
  in.F = 288000.5;
  in.NPAR = 30;
  in.NSTAT = 112000;
  const std::string out = block(in);
  EXPECT_TRUE(has(out, " Your model has       30 estimated parameters and     112000 Observed statistics\n")) << out;
  EXPECT_TRUE(has(out, "\n -2 times log-likelihood of data >>>288000.500\n")) << out;
  EXPECT_TRUE(has(out, "\n Degrees of freedom >>>>>>>>>>>>>>>>      111970\n")) << out;
  EXPECT_TRUE(has(out, "\n Saturated model df*  >>>>>>>>>>>      111935\n")) << out;
  EXPECT_TRUE(has(out, "\n Difference d.f.  >>>>>>>>>>>>>>>        35\n")) << out;
  EXPECT_FALSE(has(out, "*****")) << out;
}

// HTML: the heading with links to the neighbouring jobs.
TEST_F(StatTest, HtmlHeading) {
  MAINPR.HTMLON = true;
  MAINPR.JOBNO = 2;
  qv::jobbase::HTMLST.PRESTA = true;
  const std::string out = block(hs_model());
  EXPECT_EQ(out.substr(0, out.find(" Your model")),
            " </PRE>\n"
            " <A NAME=FitXXXXXXXXX2><H2> Fit Statistics </A>\n"
            " <A HREF=\"#FitXXXXXXXXX1\"> Previous </A>\n"
            " <A HREF=\"#FitXXXXXXXXX3\"> Next </A></H2>\n"
            " <PRE>\n");
}

// The front end's fit-type code and its records after the counts, before
// the statistics of the fit code.
TEST_F(StatTest, FrontEndWritesTheFitRecordsAfterTheCounts) {
  FESTAT.FEACTV = true;
  // The records' scratch words, above the hand-built groups.
  MAINPR.WSTOP = 900000;
  Statin in = hs_model();
  in.INFORM = 4;
  const std::string out = block(in);
  EXPECT_EQ(FITRES.FITTYP, 1);
  EXPECT_EQ(FITRES.INFORM, 4);
  const auto mac = out.find("!@machine;\n GROUP_FIT\n");
  const auto glob = out.find(" GLOBAL_FIT\n");
  const auto hum = out.find(";\n!@human;\n");
  const auto chi = out.find(" Chi-squared fit of model");
  ASSERT_NE(mac, std::string::npos);
  EXPECT_LT(out.find(" Observed statistics"), mac);
  EXPECT_LT(mac, glob);
  EXPECT_LT(glob, hum);
  EXPECT_LT(hum, chi);
}

TEST_F(StatTest, FrontEndWithoutMachineOutputWritesNoRecords) {
  FESTAT.FEACTV = true;
  FESTAT.MACHOUT = false;
  EXPECT_EQ(block(hs_model()).find("!@machine;"), std::string::npos);
}

// A job reports a block after each of its passes (the least-squares stage
// of ULML, each Try Hard run); a job marked ISNULL or ISSAT keeps the fit of
// its last pass, not its first, and no pass of it is compared with the
// model it is becoming.  Each row is one job's passes, then the next job.
TEST_F(StatTest, ANullOrSaturatedJobKeepsTheFitOfItsLastPass) {
  struct Case {
    const char* name;
    bool null;                // ISNULL, else ISSAT
    std::vector<double> fits; // F of each pass; the last is the final fit
  };
  const Case cases[] = {
      // The independence model of the nine tests: its least-squares stage,
      // then its ML chi-squared (lavaan's baseline).
      {"the null model by ULML", true, {1880.1516, kBaseChisq}},
      // Improvement runs ending at lavaan's baseline.
      {"the null model with Try Hard runs", true, {965.394, 941.874, 930.843, kBaseChisq}},
      {"the null model in one pass", true, {kBaseChisq}},
      {"the saturated model by ULML", false, {72.098, 20.0}},
      {"the saturated model with Try Hard runs", false, {232.051, 100.933, 20.0}},
  };
  for (const Case& c : cases) {
    SetUp();
    FITOPT.newjob();
    if (c.null)
      FITOPT.ISNULL = true;
    else
      FITOPT.ISSAT = true;
    for (std::size_t k = 0; k < c.fits.size(); ++k) {
      Statin pass = hs_model();
      pass.F = c.fits[k];
      if (c.null)
        pass.NPAR = 9;  // df 36
      else
        pass.NSTAT = 31;  // df 10
      pass.FINAL = k + 1 == c.fits.size();
      const std::string out = block(pass);
      EXPECT_FALSE(has(out, "Fit statistic")) << c.name << " pass " << k + 1 << "\n" << out;
      EXPECT_FALSE(has(out, " Saturated model fit*")) << c.name << " pass " << k + 1 << "\n" << out;
      // Until the last pass the job is the model of nothing yet.
      EXPECT_EQ(c.null ? FITOPT.ISNULL : FITOPT.ISSAT, !pass.FINAL) << c.name << " pass " << k + 1;
      EXPECT_EQ(c.null ? FITOPT.NUCALC : FITOPT.SATCALC, pass.FINAL) << c.name << " pass " << k + 1;
    }
    FITOPT.newjob();
    const std::string out = block(hs_model());
    if (c.null) {
      EXPECT_EQ(FITOPT.NUCHI, kBaseChisq) << c.name;
      EXPECT_EQ(FITOPT.NUDF, kBaseDf) << c.name;
      EXPECT_NEAR(FITRES.NFI, 0.90716071804707554, 1e-12) << c.name;  // lavaan nfi
      EXPECT_TRUE(has(out, "* Automatically calculated null-model statistic\n")) << c.name;
    } else {
      EXPECT_EQ(FITOPT.SATFIT, 20.0) << c.name;
      EXPECT_EQ(FITOPT.SATDF, 10.0) << c.name;
      EXPECT_NEAR(FITCMP.DIFPRB, 1.5159675424213e-08, 1e-5 * 1.5e-8) << c.name;  // R, as above
      EXPECT_TRUE(has(out, "* Saturated model statistic computed earlier in this job\n")) << c.name;
    }
  }
}

// The saturated comparison's counts beyond the int range: the df of each
// model with a DF adjustment of -2^30 or +2^30, a typed saturated df of
// -3e9.  The difference df is DF - ds and its AIC the difference less twice
// it, each worked by hand (closed forms); nothing wraps round.
TEST_F(StatTest, SaturatedComparisonCountsBeyondTheIntRange) {
  struct Case {
    const char* name;
    long long nstat;  // the tested model's statistics with its adjustment
    int npar;
    double Fs, ds;    // the saturated model's figures
    const char* dfline, *dsline, *difline, *aicline;
    double difdf;
  };
  const Case cases[] = {
      // Job 1: three statistics, three parameters, DF=-1073741824: df
      // -2^30.  Job 2: three statistics, two parameters, DF=1073741824: df
      // 2^30 + 1.  Difference 2^31 + 1.
      {"DF adjustments of -2^30 and +2^30", 3LL + 1073741824LL, 2, 0.0, -1073741824.0,
       " Degrees of freedom >>>>>>>>>>>>>      1073741825\n", " Saturated model df*  >>>>>>>>>>>      -1073741824\n",
       " Difference d.f.  >>>>>>>>>>>>>>>      2147483649\n", " Akaike's Information Criterion > -4294967212.978\n",
       2147483649.0},
      // A typed saturated df of -3e9 against the CFA's 24: 3000000024.
      {"a typed saturated df of -3e9", 45, 21, 0.0, -3e9, " Degrees of freedom >>>>>>>>>>>>>        24\n",
       " Saturated model df*  >>>>>>>>>>>      -3000000000\n", " Difference d.f.  >>>>>>>>>>>>>>>      3000000024\n",
       " Akaike's Information Criterion > -5999999962.978\n", 3000000024.0},
  };
  for (const Case& c : cases) {
    SetUp();
    FITOPT.SAT = true;
    FITOPT.SATFIT = c.Fs;
    FITOPT.SATDF = c.ds;
    Statin in = hs_model();
    in.NSTAT = c.nstat;
    in.NPAR = c.npar;
    const std::string out = block(in);
    EXPECT_EQ(FITCMP.DIFDF, c.difdf) << c.name;
    EXPECT_EQ(FITCMP.DIFCHI, kChisq - c.Fs) << c.name;
    EXPECT_EQ(FITCMP.DIFAIC, (kChisq - c.Fs) - 2.0 * c.difdf) << c.name;
    for (const char* line : {c.dfline, c.dsline, c.difline, c.aicline})
      EXPECT_TRUE(has(out, line)) << c.name << ": " << line << "\n" << out;
  }
}
