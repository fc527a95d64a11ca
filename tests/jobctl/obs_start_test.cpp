// "Start OBSMEAN" and "Start OBSSD" on the data a group holds when the
// statement is read: the means and the standard deviations (divisor n) of
// the values present of each variable for raw and record data, the note
// where there are none, and later statements over them.
// A saturated model of raw and of rectangular records far from zero, which
// stops with error 97 at the default start values of its means, fits from
// them: its estimates are the maximum-likelihood ones.
// References: closed forms by hand where the figures are few; otherwise
// refs/obs_start_refs.R (R, and lavaan for the records with missing values;
// its output is refs/obs_start_refs.txt beside it).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "job_fixture.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "numlib/machconst.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using testing_support::JobInDirTest;
using testing_support::JobTest;

// Ten cases of three variables; "." is a missing value.
constexpr const char* kRecords =
    "165.3 54.8 27.3\n170.2 . 29.9\n157.9 44.8 28.2\n159.1 58.1 .\n179.4 57.3 30.3\n"
    ". 62.1 30.0\n180.6 67.0 29.2\n175.0 75.9 26.9\n169.6 58.9 29.1\n162.0 55.2 26.1\n";
// The same cases complete, as raw data.
constexpr const char* kRaw =
    "165.3 54.8 27.3\n170.2 61.6 29.9\n157.9 44.8 28.2\n159.1 58.1 31.4\n179.4 57.3 30.3\n"
    "162.5 62.1 30.0\n180.6 67.0 29.2\n175.0 75.9 26.9\n169.6 58.9 29.1\n162.0 55.2 26.1\n";

// A group of ni variables with the data section data, a means matrix M
// (1 x nm, all 7) and a diagonal D (nm x nm, all 7), then the statements.
std::string job(int ni, const std::string& data, int nm, const std::string& statements) {
  const std::string n = std::to_string(nm);
  std::string values, labels;
  for (int k = 0; k < nm; ++k) values += " 7";
  for (int k = 0; k < ni; ++k) labels += std::string(" ") + static_cast<char>('a' + k);
  return "Start values from the data\n Data NGroups=1 NInputvars=" + std::to_string(ni) + " NObservations=10\n Labels" +
         labels + "\n" + data + " Begin Matrices;\n  M FU 1 " + n + " Free\n  D DI " + n + " " + n +
         " Free\n End Matrices;\n Matrix M" + values + "\n Matrix D" + values + "\n" + statements +
         " Means M /\n Covariance D*D /\nEnd\n";
}
std::string rectangular(const std::string& extra = "") {
  return std::string(" Rectangular\n") + kRecords + " End Rectangular\n" + extra;
}

struct Case {
  const char* name;
  std::string script;
  std::vector<double> means;  // M after the statements
  std::vector<double> sds;    // D after the statements
  int notes;                  // notes written (0, 1 or 2)
};

TEST_F(JobTest, ObservedStartValuesComeFromTheValuesPresent) {
  const std::string both = " Start OBSMEAN M\n Start OBSSD D\n";
  const std::vector<Case> cases = {
      // obs_start_refs.R, "rectangular".
      {"rectangular records with missing values", job(3, rectangular(), 3, both),
       {168.788888888889, 59.3444444444444, 28.5555555555556},
       {7.91643079570648, 8.13485110307102, 1.419006781842}, 0},
      // obs_start_refs.R, "raw".
      {"raw records", job(3, std::string(" Raw\n") + kRaw, 3, both), {168.16, 59.57, 28.84},
       {7.74353924249112, 7.74700587323903, 1.59386323127174}, 0},
      // By hand: code 1 holds 5 and 8 (mean 6.5, sd 1.5), code 3 holds 2 and
      // 4 (mean 3, sd 1), code 2 nothing (the mean stays 7, the sd is 1.0).
      {"variable-length records", job(3, " VLength\n 2\n 3 1 2 5\n 2\n 3 1 4 8\n End VLength\n", 3, both),
       {6.5, 7, 3}, {1.5, 1, 1}, 0},
      // obs_start_refs.R, "rectangular": variables 3 and 1 in that order.
      {"a selection", job(3, rectangular(" Select 3 1 ;\n"), 2, both), {28.5555555555556, 168.788888888889},
       {1.419006781842, 7.91643079570648}, 0},
      // obs_start_refs.R, "definition": records lacking variable 2 dropped.
      {"a definition variable", job(3, rectangular(" Definition 2 ;\n"), 2, both), {168.6125, 28.3875},
       {8.37995189425333, 1.41813037129877}, 0},
      // By hand: both twins carry code 1: 3, 5 and 4, mean 4, sd sqrt(2/3).
      {"an IC list given first", job(2, " VLength\n 2\n 1 1 3 5\n 1\n 1 4\n End VLength\n", 2, " IC 1 1\n" + both),
       {4, 4}, {std::sqrt(2.0 / 3.0), std::sqrt(2.0 / 3.0)}, 0},
      // By hand: one value each, or the same value twice: sd 1.0.
      {"equal values", job(2, " Rectangular\n0.1 2\n0.1 .\n0.1 .\n End Rectangular\n", 2, both),
       {0.1, 2}, {1, 1}, 0},
      // The later statement wins over the figure; the earlier one loses.
      {"a later start value", job(3, rectangular(), 3, " Start 5 M 1 1\n" + both + " Start 5 M 1 2 D 3 3\n"),
       {168.788888888889, 5, 28.5555555555556}, {7.91643079570648, 8.13485110307102, 5}, 0},
      // No value of any variable is left: the note, and nothing changes.
      {"records that select-if removes", job(3, rectangular(" Select if a = 1\n"), 3, both), {7, 7, 7},
       {7, 7, 7}, 2},
      {"records whose codes are no variable", job(2, " VLength\n 1\n 5 1.5\n End VLength\n", 2, both), {7, 7},
       {7, 7}, 2},
      {"ordinal records", job(2, " Ordinal\n0 1\n1 1\n1 0\nEnd\n", 2, both), {7, 7}, {7, 7}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = build(c.script, false);
    for (std::size_t k = 0; k < c.means.size(); ++k)
      EXPECT_NEAR(val('M', static_cast<int>(k) + 1), c.means[k], 1e-12 * std::fabs(c.means[k])) << k;
    for (std::size_t k = 0; k < c.sds.size(); ++k)
      EXPECT_NEAR(val('D', static_cast<int>(k) + 1), c.sds[k], 1e-12 * std::fabs(c.sds[k])) << k;
    int notes = 0;
    for (const char* first : {" Note: Starting values can be set to the observed standard\n"
                              " deviations if and only if this is a data group that has CM,\n"
                              " or VL or Rectangular data.  Command ignored.\n",
                              " Note: Starting values can be set to the observed means if\n"
                              " and only if this is a data group that has CM, or VL\n"
                              "  or Rectangular data. Command ignored.\n"})
      if (out.find(first) != std::string::npos) ++notes;
    EXPECT_EQ(notes, c.notes) << out;
    // The letters stay recorded in the integer group columns.
    EXPECT_EQ(IGRPTB(IWORKS.ix(), 1, igcol::kObsSd, 1), 'D' - 'A' + 1);
    EXPECT_EQ(IGRPTB(IWORKS.ix(), 1, igcol::kObsMean, 1), 'M' - 'A' + 1);
    reset_all();
  }
}

// The matrix must have one row (OBSSD) or one row or column (OBSMEAN) per
// modelled variable: with a definition variable that is NI less one.
TEST_F(JobTest, ObservedStartValuesCheckTheOrderAgainstTheModelledVariables) {
  const std::string out = build(std::string("Order of the start matrices\n"
                                            " Data NGroups=1 NInputvars=3 NObservations=10\n") +
                                    rectangular(" Definition 2 ;\n") +
                                    " Begin Matrices;\n  M FU 1 3\n  D DI 3 3\n  N FU 1 2\n  E DI 2 2\n End Matrices;\n"
                                    " Matrix M 7 7 7\n Matrix D 7 7 7\n"
                                    " Start OBSMEAN M\n Start OBSSD D\n Start OBSMEAN N\n Start OBSSD E\n"
                                    " Means N /\n Covariance E*E /\nEnd\n",
                                false);
  EXPECT_NE(out.find("error code is  221"), std::string::npos) << out;
  EXPECT_NE(out.find("error code is  218"), std::string::npos) << out;
  EXPECT_EQ(val('M', 1), 7.0);
  EXPECT_EQ(val('D', 1), 7.0);
  // obs_start_refs.R, "definition".
  EXPECT_NEAR(val('N', 2), 28.3875, 1e-12 * 28.3875);
  EXPECT_NEAR(val('E', 1), 8.37995189425333, 1e-12 * 8.4);
}

class ObsStartFitTest : public JobInDirTest {
 protected:
  ObsStartFitTest() : JobInDirTest("obsstart_") {}
  // The start-up constants the record likelihoods read, as the program's
  // start-up sets them.
  static void startup_constants() {
    auto& m = MAINPR;
    m.PI = numlib::PICONST();
    m.SAFMIN = numlib::SAFEMIN();
    m.MLNSAF = -std::log(m.SAFMIN);
    m.LN1E30 = std::log(1.0E30);
  }
};

struct FitCase {
  const char* name;
  std::string data;
  std::vector<double> means, sds, correlations;  // M, D and R(2,1), R(3,1), R(3,2)
  double m2ll;                                   // -2 ln L
};

TEST_F(ObsStartFitTest, SaturatedModelFitsFromTheObservedFiguresToItsMaximum) {
  const std::vector<FitCase> cases = {
      // obs_start_refs.R, "rectangular fiml" (lavaan, missing = "ml").
      {"rectangular records with missing values", rectangular(),
       {169.763714643056, 58.5709969537309, 28.2940519192289},
       {8.09654126976668, 8.125702258505, 1.56975095221679},
       {0.621831548986866, 0.66931888539153, -0.0816602898533131}, 142.204103086566},
      // obs_start_refs.R, "raw": the sample means, standard deviations and
      // correlations (divisor n), and -2 ln L at them.
      {"raw records", std::string(" Raw\n") + kRaw, {168.16, 59.57, 28.84},
       {7.74353924249112, 7.74700587323903, 1.59386323127174},
       {0.62159143071461, 0.0668117388399421, -0.019420671467365}, 171.353369390526},
  };
  for (const FitCase& c : cases) {
    SCOPED_TRACE(c.name);
    startup_constants();
    const std::string out =
        run("Saturated model\n Data NGroups=1 NInputvars=3 NObservations=10\n" + c.data +
            " Begin Matrices;\n  M FU 1 3 Free\n  D DI 3 3 Free\n  R ST 3 3 Free\n End Matrices;\n"
            " Start OBSMEAN M\n Start OBSSD D\n Means M /\n Covariance D*R*D' /\nEnd\n");
    for (int k = 1; k <= 3; ++k) {
      EXPECT_NEAR(val('M', k), c.means[k - 1], 1e-4 * c.means[k - 1]) << k;
      EXPECT_NEAR(val('D', k), c.sds[k - 1], 1e-4 * c.sds[k - 1]) << k;
      EXPECT_NEAR(val('R', k), c.correlations[k - 1], 1e-4) << k;
    }
    EXPECT_NEAR(col(gcol::kFitValue), c.m2ll, 1e-7 * c.m2ll) << out;
    reset_all();
  }
}

}  // namespace
}  // namespace qv::jobctl
