// Whole jobs of the model families run in-process through the job loop's
// steps, with the estimates, the fit value and the statistics read at full
// precision from the workspace and FITRES after the job, against independent
// references: closed forms, and R 4.2 with lavaan 0.6.14 or R's nlminb on the
// same function.  The scripts are tests/fit/families/*.qv; they and the
// numbers of the table below were written by tests/fit/refs/families_refs.R
// (its output, with the cross-checks against lavaan, is families_refs.txt
// beside it).
//
// Data: HS is Holzinger & Swineford (1939), the nine tests x1..x9 of the
// 301 pupils as shipped with lavaan (covariances with divisor N - 1; by
// school for the two-group family); the WLS and DWLS weights come from the
// distribution-free asymptotic covariance matrix of those covariances; the
// twin matrices are a stated small data set (MZ N = 120: 1.10, 0.68, 1.05;
// DZ N = 110: 1.02, 0.40, 1.12), see the R script's header.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "algebra/formmach.hpp"
#include "fit/covfit.hpp"
#include "fit/fitstat.hpp"
#include "jobctl/job_fixture.hpp"
#include "jobbase/tabnames.hpp"
#include "ref_check.hpp"

namespace qv::fit {
namespace {

using jobctl::testing_support::JobTest;
namespace gcol = jobbase::gcol;

// A statistic the job's fit code does not compute (least squares has no
// probability, AIC or RMSEA).
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// The expected values of one matrix of one group, in storage order (free
// and fixed elements alike).
struct Est {
  char letter;
  int group;
  std::vector<double> values;
};

struct Family {
  const char* script;   // tests/fit/families/<script>.qv
  const char* source;   // tool, data and R script of the reference
  std::vector<Est> est;
  std::vector<double> groupF;  // each group's fit value
  double F;                    // the job's fit value (chi-squared)
  int DF;
  double P, AIC, RMSEA;
  // The elements' signs are not identified (paths of a twin model): their
  // absolute values are compared.
  bool sign_free = false;
};

// Failures name the family by its script.
void PrintTo(const Family& f, std::ostream* os) { *os << f.script; }

// Rows pasted from refs/families_refs.txt (the lines marked ROW).
const std::vector<Family> kFamilies = {
    {"f1x3_ml", "closed form (F = 0); HS x1..x3; families_refs.R",
     {{'L', 1, {0.72489499055000095, 0.56384612932202627, 0.80264359344432423}},
      {'E', 1, {0.83742499767329992, 1.0684673541872178, 0.6348776722017857}}},
     {0}, 0, 0, 1, 0, 0},
    {"f1x6_ml", "lavaan ML wishart polished by nlminb; HS x1..x6; families_refs.R",
     {{'L', 1, {0.48915458668953338, 0.25013651326710501, 0.22904664062169189, 0.99205689384422246, 1.0926741381263123, 0.92071783950881314}},
      {'E', 1, {1.1236255353342675, 1.323821536558679, 1.2266520467801965, 0.37098984247804612, 0.4713816112934136, 0.3526248995138716}}},
     {102.88660283192455}, 102.88660283192455, 9, 4.0966841802666661e-18, 84.886602831924549, 0.18616468934381949},
    {"hs3f_ml", "lavaan ML wishart polished by nlminb; HS x1..x9; families_refs.R",
     {{'L', 1, {0.90111770762791699, 0, 0, 0.49876881854159061, 0, 0, 0.65724872813261548, 0, 0, 0, 0.99134078295005956, 0, 0, 1.1034381415865948, 0, 0, 0.91812650273866103, 0, 0, 0, 0.62050546383852234, 0, 0, 0.73216555290221053, 0, 0, 0.67109539356351433}},
      {'P', 1, {0.45850933803935146, 0.47053475215221996, 0.28298481925667529}},
      {'E', 1, {0.55088462208258404, 1.1376194776486266, 0.8471385197358926, 0.37241017509055191, 0.44774265102702154, 0.35738996440354331, 0.80205623188485653, 0.4893230273472951, 0.56801818900859102}}},
     {85.022114720725568}, 85.022114720725568, 24, 9.454934427554827e-09, 37.022114720725568, 0.091908305333346915},
    {"f1x3_ls", "closed form (F = 0); HS x1..x3; families_refs.R",
     {{'L', 1, {0.72489499055000095, 0.56384612932202627, 0.80264359344432423}},
      {'E', 1, {0.83742499767329992, 1.0684673541872178, 0.6348776722017857}}},
     {0}, 0, 0, kNone, kNone, kNone},
    {"f1x6_ls", "lavaan ULS polished by nlminb; HS x1..x6; families_refs.R",
     {{'L', 1, {0.54763531249307329, 0.31067379204445938, 0.30777201946275629, 0.98777275456548586, 1.0200140307085273, 0.92859340636944943}},
      {'E', 1, {1.0629933095093387, 1.2898716066755902, 1.1843907943361682, 0.37947170822275317, 0.62488976032344601, 0.33806052493465305}}},
     {138.04159579907773}, 138.04159579907773, 9, kNone, kNone, kNone},
    {"hs3f_ls", "lavaan ULS polished by nlminb; HS x1..x9; families_refs.R",
     {{'L', 1, {0.97798364835861462, 0, 0, 0.48966199398630816, 0, 0, 0.61529474571041387, 0, 0, 0, 1.0079062021870715, 0, 0, 1.0627926081336496, 0, 0, 0.94237513279946317, 0, 0, 0, 0.48832949513550772, 0, 0, 0.63224701824300411, 0, 0, 0.86832971601244069}},
      {'P', 1, {0.42972346839605169, 0.46508851020802361, 0.29155422908683931}},
      {'E', 1, {0.40644572854199618, 1.1466209433832275, 0.9005267862008548, 0.33929181047801799, 0.53579025526434332, 0.31227534836663012, 0.94861756672230657, 0.62565313206356665, 0.26439072048372936}}},
     {72.098219633265828}, 72.098219633265828, 24, kNone, kNone, kNone},
    {"f1x3_gls", "closed form (F = 0); HS x1..x3; families_refs.R",
     {{'L', 1, {0.72489499055000095, 0.56384612932202627, 0.80264359344432423}},
      {'E', 1, {0.83742499767329992, 1.0684673541872178, 0.6348776722017857}}},
     {0}, 0, 0, 1, 0, 0},
    {"f1x6_gls", "lavaan GLS polished by nlminb; HS x1..x6; families_refs.R",
     {{'L', 1, {0.51650190478333136, 0.26606983215224256, 0.25243753502277699, 0.98753413518025079, 1.1043737506697344, 0.91607023670152588}},
      {'E', 1, {0.80039333090017972, 1.0985241468834537, 0.78086687535579091, 0.37447802186371576, 0.40463050156709074, 0.35937509974804727}}},
     {57.950097952444217}, 57.950097952444217, 9, 3.3227108816827507e-09, 39.950097952444217, 0.13442259653835101},
    {"hs3f_gls", "lavaan GLS polished by nlminb; HS x1..x9; families_refs.R",
     {{'L', 1, {0.7824981805401634, 0, 0, 0.3764807308173172, 0, 0, 0.549507795496047, 0, 0, 0, 0.9687449462185127, 0, 0, 1.0751849006585845, 0, 0, 0.90424538560628653, 0, 0, 0, 0.64047248870819773, 0, 0, 0.7120460381970739, 0, 0, 0.71431935268817448}},
      {'P', 1, {0.52999630086345606, 0.60204276666869927, 0.31734111017279248}},
      {'E', 1, {0.54947777955978971, 1.0472189718973597, 0.74882876049968516, 0.33449524591323737, 0.38553141424725407, 0.35547755373767059, 0.59425798555781983, 0.481392611742335, 0.45506350424477754}}},
     {77.470723393127699}, 77.470723393127699, 24, 1.530768785715517e-07, 29.470723393127699, 0.086033811016540812},
    {"f1x3_wls", "closed form (F = 0); HS x1..x3 with ADF Gamma; families_refs.R",
     {{'L', 1, {0.72489499055000095, 0.56384612932202627, 0.80264359344432423}},
      {'E', 1, {0.83742499767329992, 1.0684673541872178, 0.6348776722017857}}},
     {0}, 0, 0, 1, 0, 0},
    {"f1x6_wls", "nlminb on the WLS function, lavaan WLS with the same W agrees; HS x1..x6 with ADF Gamma; families_refs.R",
     {{'L', 1, {0.59416115327587049, 0.41856269142961905, 0.4089317442536034, 0.97572487505396421, 1.0687325392467399, 0.88232768222653124}},
      {'E', 1, {0.70509992639818242, 0.92893981905861256, 0.8793538797353182, 0.34457585185783501, 0.39885538212175498, 0.35933760889848027}}},
     {66.049996706079611}, 66.049996706079611, 9, 9.0107626789538724e-11, 48.049996706079611, 0.14511867663615993},
    {"hs3f_wls", "nlminb on the WLS function, lavaan WLS with the same W agrees; HS x1..x9 with ADF Gamma; families_refs.R",
     {{'L', 1, {0.78622864484632204, 0, 0, 0.40493977402473136, 0, 0, 0.64713377896061897, 0, 0, 0, 1.0038201857080071, 0, 0, 1.0672457901866537, 0, 0, 0.91784937514076526, 0, 0, 0, 0.6608585857967908, 0, 0, 0.73314312242371205, 0, 0, 0.74778783535440807}},
      {'P', 1, {0.48404977786206438, 0.61093835081957404, 0.29240186561133991}},
      {'E', 1, {0.57118538611086145, 1.0446949039164632, 0.78727283645875823, 0.3069477956751589, 0.37692017945960937, 0.30323029448569261, 0.63201817120571213, 0.43533189107810005, 0.41218027705126936}}},
     {83.318579740054858}, 83.318579740054858, 24, 1.7855012610691016e-08, 35.318579740054858, 0.090616337169536362},
    {"f1x3_dwls", "closed form (F = 0); HS x1..x3 with ADF Gamma; families_refs.R",
     {{'L', 1, {0.72489499055000095, 0.56384612932202627, 0.80264359344432423}},
      {'E', 1, {0.83742499767329992, 1.0684673541872178, 0.6348776722017857}}},
     {0}, 0, 0, 1, 0, 0},
    {"f1x6_dwls", "nlminb on the DWLS function, lavaan WLS with the same W agrees; HS x1..x6 with ADF Gamma; families_refs.R",
     {{'L', 1, {0.57528294328137175, 0.31904608281697472, 0.31946788303100826, 0.96014783280955351, 1.0029359925185131, 0.9327309788613678}},
      {'E', 1, {1.0319472801665297, 1.2845994087784911, 1.1770546820139056, 0.43328286203649746, 0.65943777807887016, 0.33035916035936891}}},
     {134.98683353921282}, 134.98683353921282, 9, 1.115626868709035e-24, 116.98683353921282, 0.21565427804916237},
    {"hs3f_dwls", "nlminb on the DWLS function, lavaan WLS with the same W agrees; HS x1..x9 with ADF Gamma; families_refs.R",
     {{'L', 1, {0.96959968844830891, 0, 0, 0.48462325093304903, 0, 0, 0.62978875704468107, 0, 0, 0, 1.0013648088574421, 0, 0, 1.0580003015333099, 0, 0, 0.95191136693331624, 0, 0, 0, 0.49030136442860295, 0, 0, 0.62458961288096637, 0, 0, 0.8549817976150943}},
      {'P', 1, {0.42387927971764383, 0.47588002458102729, 0.29419228411307757}},
      {'E', 1, {0.42277418915982695, 1.1515301163942659, 0.8824805318006993, 0.35243524246673252, 0.5459537451223091, 0.29421098878969038, 0.94668783458202332, 0.63527723962325344, 0.28739334194022537}}},
     {88.097251250551324}, 88.097251250551324, 24, 2.9700256497131642e-09, 40.097251250551324, 0.094195647142277808},
    {"saturated_ml", "closed form (estimates = S, F = 0); HS x1..x3; families_refs.R",
     {{'S', 1, {1.3628977449977859, 0.40872923458654481, 1.3863898117386491, 0.5818323200848422, 0.45256748338870434, 1.2791144102990033}}},
     {0}, 0, 0, 1, 0, 0},
    {"nofree_ml", "closed form (ML function at the fixed matrix); HS x1..x3; families_refs.R",
     {{'A', 1, {1.3, 0.40000000000000002, 1.3999999999999999, 0.5, 0.40000000000000002, 1.3}}},
     {2.5456648437228946}, 2.5456648437228946, 6, 0.86332244396356317, -9.4543351562771054, 0},
    {"twogroup_ml", "lavaan ML wishart on the pooled (N-1)-weighted matrix polished by nlminb; HS by school; families_refs.R",
     {{'L', 1, {0.87609212748826382, 0, 0, 0.51842769436092395, 0, 0, 0.68509266982620953, 0, 0, 0, 0.96180002832940403, 0, 0, 1.0463929646453856, 0, 0, 0.8789637427013649, 0, 0, 0, 0.62116222700853418, 0, 0, 0.7369527346091731, 0, 0, 0.66008025304911422}},
      {'P', 1, {0.49450634105578045, 0.45241184607052787, 0.33569108708473422}},
      {'E', 1, {0.59988611362015898, 1.1105301703147963, 0.75332709737782966, 0.37315765167949194, 0.446785086551022, 0.35663527112017757, 0.73947008776038559, 0.48431080033931756, 0.58402729237917239}}},
     {79.370444872917886, 67.559868917974967}, 146.93031379089285, 69, 1.4503562061372865e-07, 8.9303137908928534, 0.086300810231734554},
    {"ace_ml", "nlminb on the two-group ML function; stated MZ/DZ matrices (header); families_refs.R",
     {{'X', 1, {0.74305328236486756}},
      {'Y', 1, {0.3542344044712944}},
      {'Z', 1, {0.62828636875319244}}},
     {0.10785363426451822, 0.27749095627345222}, 0.38534459053797043, 3, 0.94325304015082923, -5.6146554094620296, 0, true},
    {"constraint_ml", "nlminb on the ML function with l4 = l1 l2 / l3 (lavaan with the constraint agrees); HS x1..x4; families_refs.R",
     {{'A', 1, {0.87599984827290878}},
      {'B', 1, {0.43098211677509529}},
      {'C', 1, {0.68547573982522014}},
      {'D', 1, {0.55077116077015975}},
      {'E', 1, {0.57260338070924965, 1.1544375030441589, 0.84297787488123188, 1.0956724870140222}}},
     {13.982515657342631}, 13.982515657342631, 3, 0.0029290488121543031, 7.9825156573426312, 0.1102826111726969}
};

// Equal to 1e-5 relative, or 1e-7 absolute near zero.
::testing::AssertionResult near(double actual, double expected) {
  return qv::testing_support::near_ref(actual, expected, 1e-5, 1e-7);
}

std::string read_script(const std::string& name) {
  std::ifstream in(std::string(QV_FAMILIES_DIR) + "/" + name + ".qv");
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class FamiliesTest : public JobTest, public ::testing::WithParamInterface<Family> {
 protected:
  // Reads and prepares the script without fitting it.
  std::string prepare(const std::string& text) {
    feed(text);
    return jobbase::testing_support::capture([&] {
      jobbase::RDLINE();
      ASSERT_TRUE(jobctl::read_job());
      jobctl::prepare_job();
    });
  }
  // Value i (1-based, storage order) of matrix L of group g, to write.
  static double& value(char L, int i, int g) {
    int t = type(L, g);
    const int n = jobbase::NELEM(t, rows(L, g), cols(L, g));
    return X()(addr(L, g) + n + i - 1);
  }
  // Evaluates group g's computed matrices and covariance (or constraint)
  // formula at the matrices' present values.
  static void evaluate(int g) {
    auto& m = jobbase::MAINPR;
    const int saved = m.IGRP;
    m.IGRP = g;
    algebra::FMFLAG.NMODEL = 1;
    int status = 1;
    algebra::EVCOMP(X(), 0, status);
    algebra::EVFORM(X(), 0, g, g, status);
    m.IGRP = saved;
    ASSERT_EQ(status, 1);
  }
  // Reads, prepares and runs the script's job, as the job loop does.
  std::string run(const std::string& text) { return run_jobs(text); }
};

TEST_P(FamiliesTest, EstimatesFitAndStatisticsEqualTheReference) {
  const Family& f = GetParam();
  const std::string text = read_script(f.script);
  ASSERT_FALSE(text.empty()) << f.script;
  const std::string report = run(text);
  SCOPED_TRACE(std::string(f.script) + ": " + f.source);
  for (const Est& e : f.est)
    for (std::size_t i = 0; i < e.values.size(); ++i) {
      double v = val(e.letter, static_cast<int>(i) + 1, e.group);
      if (f.sign_free) v = std::fabs(v);
      EXPECT_TRUE(near(v, e.values[i])) << e.letter << " of group " << e.group << ", element " << i + 1;
    }
  for (std::size_t g = 0; g < f.groupF.size(); ++g)
    EXPECT_TRUE(near(col(gcol::kFitValue, static_cast<int>(g) + 1), f.groupF[g])) << "fit value of group " << g + 1;
  EXPECT_TRUE(near(FITRES.F, f.F)) << "F";
  EXPECT_EQ(FITRES.DF, f.DF);
  if (!std::isnan(f.P)) {
    EXPECT_TRUE(near(FITRES.PROB, f.P)) << "probability";
  }
  if (!std::isnan(f.AIC)) {
    EXPECT_TRUE(near(FITRES.AIC, f.AIC)) << "AIC";
  }
  if (!std::isnan(f.RMSEA)) {
    EXPECT_TRUE(near(FITRES.RMSEA, f.RMSEA)) << "RMSEA";
  }
  if (HasFailure()) ADD_FAILURE() << "report of the job:\n" << report;
}

// Without the optimizer: the job's own fit functions, evaluated with the
// reference estimates written into its matrices, give the reference fit
// values, so the scripts, their data and weights, and the functions the
// references minimise are those of the program; a constraint group's value
// is 0 there.  The statistics block at those values gives the reference
// probability, AIC and RMSEA.
TEST_P(FamiliesTest, FunctionsAndStatisticsAtTheReferenceEstimatesGiveTheReferenceValues) {
  const Family& f = GetParam();
  const std::string text = read_script(f.script);
  ASSERT_FALSE(text.empty()) << f.script;
  prepare(text);
  SCOPED_TRACE(std::string(f.script) + ": " + f.source);
  for (const Est& e : f.est)
    for (std::size_t i = 0; i < e.values.size(); ++i) value(e.letter, static_cast<int>(i) + 1, e.group) = e.values[i];
  const int NG = jobbase::MAINPR.NG;
  double total = 0.0;
  std::size_t data_group = 0;
  for (int g = 1; g <= NG; ++g) {
    evaluate(g);
    if (col(gcol::kKind, g) == jobbase::kKindConstraint) {
      const int r = static_cast<int>(col(gcol::kCovResult, g));
      EXPECT_NEAR(X()(r), 0.0, 1e-12) << "constraint value of group " << g;
      continue;
    }
    double F = 0.0;
    COVFIT(static_cast<int>(col(gcol::kFitCode, g)), X(), NG, g, F);
    ASSERT_LT(data_group, f.groupF.size());
    EXPECT_TRUE(near(F, f.groupF[data_group])) << "fit value of group " << g;
    ++data_group;
    total += F;
  }
  EXPECT_TRUE(near(total, f.F));

  // The statistics block at that value: the job's statistics (constraint
  // values included) less the reference df are the parameters.
  double nobsv = 0.0;
  int ncon = 0;
  Statin in;
  in.NSTAT = NOBS(X(), NG, 1, NG, nobsv, ncon) + ncon;
  in.NNLCON = ncon;
  in.NPAR = in.NSTAT - f.DF;
  in.F = total;
  jobbase::testing_support::capture([&] { FITSTS(X(), in); });
  EXPECT_EQ(FITRES.DF, f.DF);
  if (!std::isnan(f.P)) {
    EXPECT_TRUE(near(FITRES.PROB, f.P)) << "probability";
  }
  if (!std::isnan(f.AIC)) {
    EXPECT_TRUE(near(FITRES.AIC, f.AIC)) << "AIC";
  }
  if (!std::isnan(f.RMSEA)) {
    EXPECT_TRUE(near(FITRES.RMSEA, f.RMSEA)) << "RMSEA";
  }
}

INSTANTIATE_TEST_SUITE_P(Families, FamiliesTest, ::testing::ValuesIn(kFamilies),
                         [](const ::testing::TestParamInfo<Family>& info) { return std::string(info.param.script); });

}  // namespace
}  // namespace qv::fit
