// Ordinal record fits (fit code 14) of whole jobs run in-process through the
// job loop's steps, the value and the estimates read at full precision from
// the workspace after the job, against independent references: one variable
// in closed form, two and three variables maximised in R on a likelihood of
// mvtnorm box probabilities (tests/fit/refs/ordfit_refs.R, R 4.2 with
// r-cran-mvtnorm; its output, with the data as pattern counts, is
// ordfit_refs.txt).  The tolerances are those of the accuracy ruling: -2 ln L
// within 1e-3, estimates within 1e-3 relative.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <ostream>
#include <string>
#include <vector>

#include "fit/objcel.hpp"
#include "fit/ordfit.hpp"
#include "fit/recwalk.hpp"
#include "jobbase/tabnames.hpp"
#include "jobctl/job_fixture.hpp"

namespace qv::fit {
namespace {

using jobctl::testing_support::JobTest;
namespace gcol = jobbase::gcol;

struct Pattern {
  std::vector<int> cats;
  int n;
};

// One record per case, the patterns in the order given.
std::string records(const std::vector<Pattern>& pats) {
  std::string s;
  for (const auto& p : pats)
    for (int k = 0; k < p.n; ++k) {
      for (std::size_t j = 0; j < p.cats.size(); ++j) s += (j ? " " : "") + std::to_string(p.cats[j]);
      s += "\n";
    }
  return s;
}

// ordfit_refs.txt, "one variable".
const std::vector<Pattern> kOne = {{{0}, 131}, {{1}, 176}, {{2}, 93}};
// ordfit_refs.txt, "two variables".
const std::vector<Pattern> kTwo = {{{0, 0}, 95}, {{0, 1}, 42}, {{1, 0}, 69}, {{1, 1}, 76},
                                   {{1, 2}, 24}, {{2, 0}, 17}, {{2, 1}, 43}, {{2, 2}, 34}};
// ordfit_refs.txt, "three variables".
const std::vector<Pattern> kThree = {
    {{0, 0, 0}, 59}, {{0, 0, 1}, 15}, {{0, 0, 2}, 4},  {{0, 1, 0}, 24}, {{0, 1, 1}, 7},  {{0, 1, 2}, 3},
    {{0, 2, 1}, 3},  {{1, 0, 0}, 38}, {{1, 0, 1}, 25}, {{1, 0, 2}, 4},  {{1, 1, 0}, 41}, {{1, 1, 1}, 22},
    {{1, 1, 2}, 11}, {{1, 2, 0}, 9},  {{1, 2, 1}, 10}, {{1, 2, 2}, 7},  {{2, 0, 0}, 12}, {{2, 0, 1}, 7},
    {{2, 0, 2}, 4},  {{2, 1, 0}, 10}, {{2, 1, 1}, 19}, {{2, 1, 2}, 15}, {{2, 2, 0}, 14}, {{2, 2, 1}, 16},
    {{2, 2, 2}, 21}};

std::string one_script() {
  return "One ordinal variable\n Data NGroups=1 NInputvars=1 NObservations=400\n Ordinal\n" + records(kOne) +
         "End\n Begin Matrices;\n  I ID 1 1\n  T FU 2 1 Free\n End Matrices;\n Start -.2 T 1 1\n"
         " Start .5 T 2 1\n Covariance I /\n Thresholds T /\nEnd\n";
}
std::string two_script() {
  return "Two ordinal variables\n Data NGroups=1 NInputvars=2 NObservations=400\n Ordinal\n" + records(kTwo) +
         "End\n Begin Matrices;\n  R ST 2 2 Free\n  T FU 2 2 Free\n End Matrices;\n Start .4 R 2 1\n"
         " Start -.5 T 1 1 T 1 2\n Start .6 T 2 1 T 2 2\n Covariance R /\n Thresholds T /\nEnd\n";
}
std::string three_script(const std::vector<Pattern>& pats = kThree) {
  return "One factor, three ordinal items\n Data NGroups=1 NInputvars=3 NObservations=400\n Ordinal\n" +
         records(pats) +
         "End\n Begin Matrices;\n  F FU 3 1 Free\n  I ID 3 3\n  T FU 2 3 Free\n End Matrices;\n"
         " Start 1 F 1 1 - F 3 1\n Start -.6 T 1 1 T 1 2 T 1 3\n Start .8 T 2 1 T 2 2 T 2 3\n"
         " Covariance F*F' + I /\n Thresholds T /\nEnd\n";
}

struct Estimate {
  char letter;
  int index;  // storage order, from 1
  double value;
};
struct Case {
  const char* name;
  std::string script;
  double m2ll;
  std::vector<Estimate> estimates;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    // Closed form: T = qnorm(131/400), qnorm(307/400); -2 sum n_k ln(n_k/400).
    {"one", one_script(), 852.7960670277, {{'T', 1, -0.446826965386}, {'T', 2, 0.730638482599}}},
    // ordfit_refs.txt "two variables": r, then T in storage order (row by row).
    {"two",
     two_script(),
     1568.7921863297,
     {{'R', 1, 0.565793120372},
      {'T', 1, -0.407325299629},
      {'T', 2, -0.123874294788},
      {'T', 3, 0.723170748304},
      {'T', 4, 1.060887457120}}},
    // ordfit_refs.txt "three variables".
    {"three",
     three_script(),
     2363.3887742682,
     {{'F', 1, 1.298246846450},
      {'F', 2, 0.955724804022},
      {'F', 3, 0.676869659208},
      {'T', 1, -0.920983034749},
      {'T', 2, -0.287626005860},
      {'T', 3, 0.049540418853},
      {'T', 4, 0.879241081182},
      {'T', 5, 1.164622868988},
      {'T', 6, 1.138944010955}}},
};

class OrdfitJobTest : public JobTest {
 protected:
  // Reads, prepares and runs the script's job, as the job loop does.
  std::string run_script(const std::string& text) { return run_jobs(text); }
};

class OrdfitReference : public OrdfitJobTest, public ::testing::WithParamInterface<Case> {};

TEST_P(OrdfitReference, MinusTwoLogLikelihoodAndEstimatesMatchTheReference) {
  const Case& c = GetParam();
  run_script(c.script);
  EXPECT_NEAR(col(gcol::kFitValue), c.m2ll, 1e-3);
  for (const auto& e : c.estimates)
    EXPECT_NEAR(val(e.letter, e.index), e.value, 1e-3 * std::abs(e.value)) << e.letter << " " << e.index;
}

INSTANTIATE_TEST_SUITE_P(Ordinal, OrdfitReference, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The three-variable model with every parameter fixed at the reference
// estimates.
std::string fixed_three(const std::vector<Pattern>& pats) {
  return "One factor, fixed at the reference\n Data NGroups=1 NInputvars=3 NObservations=400\n Ordinal\n" +
         records(pats) +
         "End\n Begin Matrices;\n  F FU 3 1\n  I ID 3 3\n  T FU 2 3\n End Matrices;\n"
         " Matrix F 1.298246846450 0.955724804022 0.676869659208\n"
         " Matrix T -0.920983034749 -0.287626005860 0.049540418853 0.879241081182 1.164622868988"
         " 1.138944010955\n Covariance F*F' + I /\n Thresholds T /\nEnd\n";
}

// The patterns interleaved, so that few records repeat the one before.
std::vector<Pattern> interleaved() {
  std::vector<Pattern> out;
  std::vector<int> left;
  for (const auto& p : kThree) left.push_back(p.n);
  for (bool any = true; any;) {
    any = false;
    for (std::size_t k = 0; k < kThree.size(); ++k)
      if (left[k] > 0) {
        out.push_back({kThree[k].cats, 1});
        --left[k];
        any = true;
      }
  }
  return out;
}

// At the reference estimates the integrals give the reference's -2 ln L
// to 1e-3 whatever the order of the records.
TEST_F(OrdfitJobTest, ValueAtTheReferenceEstimatesMatchesTheReference) {
  run_script(fixed_three(kThree));
  const double sorted = col(gcol::kFitValue);
  EXPECT_NEAR(sorted, 2363.3887742682, 1e-3);
}

// The (y, x) cases of ordfit_refs.txt "definition variable", one record each.
std::string probit_records() {
  std::ifstream in(std::string(QV_FAMILIES_DIR) + "/../refs/ordfit_refs.txt");
  std::string line, out;
  while (std::getline(in, line))
    if (line.rfind("data ", 0) == 0) {
      std::istringstream f(line.substr(5));
      std::string y, x, bar;
      while (f >> y >> x) {
        out += y + " " + x + "\n";
        f >> bar;
      }
    }
  return out;
}

// A definition variable x moves the thresholds: t_k - b x, the ordinal
// probit regression of MASS::polr (ordfit_refs.txt "definition variable").
// The covariance is a symmetric matrix of the order of the modelled
// variables, one less than the group's variables.
TEST_F(OrdfitJobTest, DefinitionVariableGivesTheOrdinalProbitRegression) {
  const std::string recs = probit_records();
  ASSERT_EQ(std::count(recs.begin(), recs.end(), '\n'), 300);
  run_script("Ordinal probit regression\n Data NGroups=1 NInputvars=2 NObservations=300\n Ordinal\n" + recs +
             "End\n Definition 2 /\n Begin Matrices;\n  I SY 1 1\n  T FU 2 1 Free\n  B FU 1 1 Free\n"
             "  X FU 1 1\n  U UN 2 1\n End Matrices;\n Matrix I 1\n Specification X -1\n Start -.2 T 1 1\n"
             " Start .8 T 2 1\n Start .3 B 1 1\n Covariance I /\n Thresholds T - U*B*X /\nEnd\n");
  EXPECT_NEAR(col(gcol::kFitValue), 579.5286975521, 1e-3);
  EXPECT_NEAR(val('T', 1), -0.2305742703, 1e-3 * 0.2305742703);
  EXPECT_NEAR(val('T', 2), 0.8807505187, 1e-3 * 0.8807505187);
  EXPECT_NEAR(val('B', 1), 0.5987740085, 1e-3 * 0.5987740085);
}

// Two component models with the definition variable and no free
// parameters: each model's covariance and thresholds are found in their own
// block (ordfit_refs.txt "mixture with definition variable", closed form).
TEST_F(OrdfitJobTest, MixtureWithADefinitionVariableMatchesTheClosedForm) {
  run_script("Mixture with a definition variable\n Data NGroups=1 NInputvars=2 NObservations=300 NModels=2\n"
             " Ordinal\n" + probit_records() +
             "End\n Definition 2 /\n Begin Matrices;\n  I SY 1 1\n  S SY 1 1\n  T FU 2 1\n  V FU 2 1\n"
             "  B FU 1 1\n  X FU 1 1\n  U UN 2 1\n  W FU 2 1\n End Matrices;\n Matrix I 1\n Matrix S 2\n"
             " Matrix T -0.2 0.9\n Matrix V -0.5 0.5\n Matrix B 0.6\n Matrix W 0.6 0.4\n"
             " Specification X -1\n Covariance I _ S /\n Thresholds T - U*B*X _ V - U*B*X /\n Weights W /\nEnd\n");
  EXPECT_NEAR(col(gcol::kFitValue), 587.9300207335, 1e-6);
}

// Code 14 with two component models and no free parameters: F is
// -2 sum ln(0.7 P1 + 0.3 P2) (ordfit_refs.txt "mixture", the box
// probabilities by mvtnorm).
TEST_F(OrdfitJobTest, MixtureOfTwoModelsMatchesADirectComputation) {
  run_script("Mixture of two models\n Data NGroups=1 NInputvars=2 NObservations=400 NModels=2\n Ordinal\n" +
             records(kTwo) +
             "End\n Begin Matrices;\n  R ST 2 2\n  S ST 2 2\n  T FU 2 2\n  U FU 2 2\n  W FU 2 1\n"
             " End Matrices;\n Matrix R 0.5\n Matrix S -0.2\n Matrix T -0.4 -0.1 0.7 1.1\n"
             " Matrix U -0.1 0.2 1.0 1.4\n Matrix W 0.7 0.3\n Covariance R _ S /\n Thresholds T _ U /\n"
             " Weights W /\nEnd\n");
  EXPECT_NEAR(col(gcol::kFitValue), 1594.2744826844, 1e-4);
}

// Reusing the integrals of the record before gives the same value, to the
// last bit, as integrating every record.
TEST_F(OrdfitJobTest, ReusingTheRecordBeforesIntegralsChangesNoBit) {
  const std::vector<Pattern> orders[] = {kThree, interleaved()};
  for (const auto& pats : orders) {
    reset_all();
    run_script(fixed_three(pats));
    const double with = col(gcol::kFitValue);
    reset_all();
    RECCEL.REUSE = false;
    run_script(fixed_three(pats));
    const double without = col(gcol::kFitValue);
    RECCEL.REUSE = true;
    EXPECT_EQ(with, without);
    EXPECT_NEAR(with, 2363.3887742682, 1e-3);
  }
}

// Each distinct record is integrated once per evaluation and the value sums
// the patterns in an order of their own, so the records sorted, interleaved
// or reversed give the same value to the last bit, with reuse on or off.
TEST_F(OrdfitJobTest, AnyOrderOfTheRecordsGivesTheSameValueToTheLastBit) {
  std::vector<Pattern> reversed = interleaved();
  std::reverse(reversed.begin(), reversed.end());
  const std::vector<Pattern> orders[] = {kThree, interleaved(), reversed};
  std::vector<double> values;
  for (const auto& pats : orders) {
    reset_all();
    run_script(fixed_three(pats));
    values.push_back(col(gcol::kFitValue));
  }
  reset_all();
  RECCEL.REUSE = false;
  run_script(fixed_three(reversed));
  values.push_back(col(gcol::kFitValue));
  RECCEL.REUSE = true;
  for (std::size_t k = 1; k < values.size(); ++k) EXPECT_EQ(values[k], values[0]) << k;
  EXPECT_NEAR(values[0], 2363.3887742682, 1e-3);
}

// An integral the integrator leaves short of tolerances it cannot reach,
// with an error estimate within the specified absolute 1e-6, is no
// shortfall: no count and no warning.  One that is genuinely inaccurate
// (too few points for any value) is counted at every record and warned of.
TEST_F(OrdfitJobTest, OnlyShortfallsBeyondTheSpecifiedAccuracyAreCounted) {
  const std::string warning = " routine gave less than requested accuracy";
  ORDCEL.ABSERR = 0.0;
  ORDCEL.RELERR = 1e-17;
  ORDCEL.PTSPER = 500;
  std::string out = run_script(fixed_three(interleaved()));
  EXPECT_EQ(MVNCNT.ACCMVN, 0);
  EXPECT_EQ(out.find(warning), std::string::npos);
  EXPECT_NEAR(col(gcol::kFitValue), 2363.3887742682, 1e-3);
  reset_all();
  ORDCEL.reset();
  ORDCEL.PTSPER = 1;
  out = run_script(fixed_three(interleaved()));
  // Every record of every evaluation (the job evaluates more than once).
  EXPECT_GT(MVNCNT.ACCMVN, 0);
  EXPECT_EQ(MVNCNT.ACCMVN % 400, 0);
  EXPECT_NE(out.find(warning), std::string::npos);
  ORDCEL.reset();
}

// A correlation beyond one makes every record's integral fail: the report
// says so once an evaluation, with the count of records (45 records of three
// patterns wrote 10 MB, a line a record at each of the search's evaluations).
TEST_F(OrdfitJobTest, NonPositiveDefiniteCorrelationsAreNotedOnceAnEvaluation) {
  const std::vector<Pattern> pats = {{{0, 0}, 15}, {{1, 2}, 15}, {{2, 1}, 15}};
  const std::string out = run_script(
      "Correlation beyond one\n Data NGroups=1 NInputvars=2 NObservations=45\n Ordinal\n" + records(pats) +
      "End\n Begin Matrices;\n  R SY 2 2\n  T FU 2 2 Free\n End Matrices;\n Matrix R 1 1.5 1\n"
      " Matrix T -0.4 -0.1 0.7 1.1\n Covariance R /\n Thresholds T /\nEnd\n");
  const std::string line = " Correlation matrix not positive definite";
  int lines = 0;
  for (std::size_t at = out.find(line); at != std::string::npos; at = out.find(line, at + 1)) {
    ++lines;
    EXPECT_EQ(out.substr(at, out.find('\n', at) - at), line + " for 45 records");
  }
  EXPECT_GE(lines, 1);
  // Still counted at every record of every evaluation.
  EXPECT_EQ(MVNCNT.NPDMVN, 45 * lines);
}

// Twelve response patterns of four ordinal items (one record each) under the
// one-factor model of the ordinal benchmark fixed at its estimates, and -2 ln L
// of one copy of them: tests/fit/refs/ordfit_repeat_refs.R, mvtnorm's Miwa
// algorithm at 4096 steps (ordfit_repeat_refs.txt; the Genz-Bretz rule at
// abseps 1e-10 gives 116.196292668, within its own error).
const std::vector<std::vector<int>> kFourItems = {{0, 0, 0, 0}, {2, 2, 2, 2}, {1, 1, 1, 1}, {0, 1, 2, 2},
                                                  {2, 1, 0, 0}, {1, 0, 2, 1}, {0, 2, 0, 2}, {1, 2, 1, 0},
                                                  {2, 0, 1, 1}, {0, 0, 1, 2}, {2, 2, 2, 0}, {1, 1, 0, 2}};
constexpr double kFourItemsOneCopy = 116.196293206082;

// The patterns written round-robin, copies times over.
std::string fixed_four(int copies) {
  std::vector<Pattern> pats;
  for (int r = 0; r < copies; ++r)
    for (const auto& c : kFourItems) pats.push_back({c, 1});
  return "Four ordinal items, fixed\n Data NGroups=1 NInputvars=4 NObservations=" +
         std::to_string(copies * static_cast<int>(kFourItems.size())) + "\n Ordinal\n" + records(pats) +
         "End\n Begin Matrices;\n  L FU 4 1\n  I ID 4 4\n  T FU 2 4\n End Matrices;\n"
         " Matrix L 0.5921667904 0.6437800150 0.9679173597 1.2123786498\n"
         " Matrix T -0.5219769130 -0.5832808969 -0.6012335267 -0.8501684838 0.7832376402 0.8623713238"
         " 0.9301197000 1.1629041358\n Covariance L*L' + I /\n Thresholds T /\nEnd\n";
}

// A pattern repeated by many records is integrated more tightly, so the error
// of -2 ln L does not grow with the number of copies: a thousand copies of
// the records give a thousand times the value of one, to 1e-3 (at the
// tolerance of a single record the error was 0.014).
TEST_F(OrdfitJobTest, ManyCopiesOfTheRecordsGiveTheValueOfOneTimesTheirNumber) {
  for (const int copies : {1, 1000}) {
    reset_all();
    run_script(fixed_four(copies));
    EXPECT_NEAR(col(gcol::kFitValue), copies * kFourItemsOneCopy, 1e-3) << copies << " copies";
  }
}

}  // namespace
}  // namespace qv::fit
