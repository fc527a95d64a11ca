// Fit functions that read data, in a group that has none: the raw-data
// likelihood (code 9), the record likelihoods (10, and the ordinal 12 to
// 14) and the contingency table (11) stop with a line naming what is
// missing and error 220 before they read anything, instead of fitting a
// value made of no data.
#include <gtest/gtest.h>

#include <string>

#include "jobbase/tabnames.hpp"
#include "jobctl/job_fixture.hpp"
#include "jobctl/mainprog.hpp"
#include "support/expect_stop.hpp"

namespace qv::fit {
namespace {

namespace gcol = jobbase::gcol;
using qv::testing_support::error_stop_regex;

const std::string kRawLine = " This group's fit needs raw data \\(RAw, Rectangular or VLength\\) and it has none\n";
const std::string kRecordLine =
    " This group's fit needs case records \\(VLength, Rectangular or ORdinal\\) and it has none\n";
const std::string kTableLine = " This group's fit needs a contingency table \\(CTable\\) and it has none\n";

// A group of two variables with a covariance and a means formula; data
// holds its data lines (none, or data that leave no record).
std::string job(const std::string& data, const std::string& options = "") {
  return "No data to fit\n Data NGroups=1 NInputvars=2 NObservations=2\n" + data +
         " Begin Matrices;\n  S SY 2 2 Free\n  M FU 1 2 Free\n End Matrices;\n"
         " Start 1 S 1 1 S 2 2\n Covariance S /\n Means M /\n" +
         options + "End\n";
}

class NoDataJobTest : public jobctl::testing_support::JobInDirTest {
 protected:
  NoDataJobTest() : JobInDirTest("qv_nodata_") {}
};

using NoDataJobDeathTest = NoDataJobTest;

// The codes a script selects: RM without raw data, RM beside a covariance
// matrix only, and records that a selection drops to the last one.
TEST_F(NoDataJobDeathTest, ScriptsWhoseFitHasNoDataStopWithError220) {
  struct Case {
    std::string script;
    int code;
    std::string line;
  };
  const Case cases[] = {
      {job("", " Options RM\n"), jobbase::kFitRaw, kRawLine},
      {job(" CMatrix\n 1 .5 1\n", " Options RM\n"), jobbase::kFitRaw, kRawLine},
      {job(" Labels a b\n VLength\n 2\n 1 2 0.5 1.5\n 2\n 1 2 0.7 1.1\n End VLength\n Select if a > 5\n"),
       jobbase::kFitVL, kRecordLine},
      {job(" Labels a b\n Rectangular\n 0.5 1.5\n 0.7 1.1\n End Rectangular\n Select if a > 5\n"),
       jobbase::kFitVL, kRecordLine},
  };
  for (const Case& c : cases) {
    build(c.script);
    ASSERT_EQ(col(gcol::kFitCode), c.code) << c.script;
    EXPECT_QV_STOP(jobctl::run_job(), c.line + "(.|\n)*" + error_stop_regex(220)) << c.script;
  }
}

TEST_F(NoDataJobDeathTest, OrdinalRecordsThatTheSelectionDropsStopWithError220) {
  build("Two ordinal items\n Data NGroups=1 NInputvars=2 NObservations=4\n Labels a b\n Ordinal\n"
        "0 0\n0 1\n1 0\n1 1\nEnd\n Select if a > 5\n"
        " Begin Matrices;\n  R ST 2 2 Free\n  T FU 1 2 Free\n End Matrices;\n"
        " Start .4 R 2 1\n Start .1 T 1 1 T 1 2\n Covariance R /\n Thresholds T /\nEnd\n");
  ASSERT_EQ(col(gcol::kFitCode), jobbase::kFitOrdMix);
  EXPECT_QV_STOP(jobctl::run_job(), kRecordLine + "(.|\n)*" + error_stop_regex(220));
}

// A contingency table whose cells are all 0 or missing (negative) has no
// count to fit: it used to be fitted, with -1 observed statistics when all
// were missing, chi-squared 0 and a green code.
TEST_F(NoDataJobDeathTest, ContingencyTablesWithoutCountsStopWithError220) {
  const std::string line = " This group's contingency table \\(CTable\\) has no counts: every cell is 0 or missing\n";
  struct Case {
    int cols;           // of a table of 2 rows
    std::string cells;  // row by row
  };
  const Case cases[] = {{2, "0 0\n 0 0"}, {2, "-1 -1\n -1 -1"}, {2, "0 -1\n -1 0"}, {3, "0 0 0\n -1 0 -2"}};
  for (const Case& c : cases) {
    const std::string cols = std::to_string(c.cols);
    // The thresholds: 2 rows, max(rows, columns) - 1 columns.
    build("Empty table\n Data NGroups=1 NInputvars=2 NObservations=100\n CTable 2 " + cols + "\n " + c.cells +
          "\n Begin Matrices;\n  T FU 2 " + std::to_string(c.cols - 1) +
          " Free\n  R ST 2 2 Free\n End Matrices;\n Start .3 R 2 1\n Thresholds T /\n Covariance R /\nEnd\n");
    ASSERT_EQ(col(gcol::kFitCode), jobbase::kFitTable) << c.cells;
    EXPECT_QV_STOP(jobctl::run_job(), line + "(.|\n)*" + error_stop_regex(220)) << c.cells;
  }
}

// Every code that reads data, given to a group that has none at all.
TEST_F(NoDataJobDeathTest, EveryCodeThatReadsDataStopsInAGroupWithoutAny) {
  struct Case {
    int code;
    std::string line;
  };
  const Case cases[] = {
      {jobbase::kFitRaw, kRawLine},         {jobbase::kFitVL, kRecordLine},    {jobbase::kFitTable, kTableLine},
      {jobbase::kFitOrd12, kRecordLine},    {jobbase::kFitOrd13, kRecordLine}, {jobbase::kFitOrdMix, kRecordLine},
  };
  for (const Case& c : cases) {
    build(job(""));
    col(gcol::kFitCode) = c.code;
    EXPECT_QV_STOP(jobctl::run_job(), c.line + "(.|\n)*" + error_stop_regex(220)) << "code " << c.code;
  }
}

}  // namespace
}  // namespace qv::fit
