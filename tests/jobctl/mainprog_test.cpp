// The main program's own pieces: the duration format and the job summary.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "jobbase/htmlrep.hpp"
#include "fit/fitsetup.hpp"
#include "jobctl/mainprog.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "jobbase/jobctl_fixture.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

TEST(Fmttim, FieldsRightAlignedWithColons) {
  struct Case {
    double t;
    const char* text;
  };
  const Case cases[] = {
      {75.27, "  0: 0: 1:15.27"},
      {0.0, "  0: 0: 0: 0.00"},
      {3600.0, "  0: 1: 0: 0.00"},
      {86400.0 + 2 * 3600 + 3 * 60 + 4.5, "  1: 2: 3: 4.50"},
      {59.994, "  0: 0: 0:59.99"},
      {123.0 * 86400.0, "123: 0: 0: 0.00"},
  };
  for (const Case& c : cases) EXPECT_EQ(FMTTIM(c.t), c.text) << c.t;
}

std::string summary_of(int wsmaxd, int html, int nwarn0, int nwarn) {
  MAINPR.reset();
  MAINPR.WSMAXD = wsmaxd;
  MAINPR.HTMLON = html;
  MAINPR.JOBNO = 2;
  MAINPR.NWARN0 = nwarn0;
  MAINPR.NWARN = nwarn;
  MAINPR.TSTART = WALLSEC();
  MAINPR.TREAD = 0.0;
  jobbase::HTMLST.reset();
  ::testing::internal::CaptureStdout();
  JOBSUM();
  return ::testing::internal::GetCapturedStdout();
}

TEST(JobSummary, WorkspaceShareField) {
  EXPECT_NE(summary_of(2345, 0, 0, 0).find("\n This problem used  0.2% of my workspace\n"), std::string::npos);
  EXPECT_NE(summary_of(123456, 0, 0, 0).find("\n This problem used 12.3% of my workspace\n"), std::string::npos);
  EXPECT_NE(summary_of(1000000, 0, 0, 0).find("\n This problem used  100.0% of my workspace\n"), std::string::npos);
}

TEST(JobSummary, TimingTableAndWarnings) {
  const std::string out = summary_of(100, 0, 0, 3);
  const std::string want =
      "\n This problem used  0.0% of my workspace\n"
      "\n Task                     Time elapsed (DD:HH:MM:SS)\n"
      " Reading script & data      0: 0: 0: 0.00\n";
  EXPECT_EQ(out.substr(0, want.size()), want);
  EXPECT_NE(out.find("\n Execution                  0: 0: 0:"), std::string::npos);
  EXPECT_NE(out.find("\n TOTAL                      0: 0: 0:"), std::string::npos);
  EXPECT_NE(out.find("\n\n Total number of warnings issued: 3\n " + std::string(78, '_') + "\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("<A"), std::string::npos);
  EXPECT_EQ(MAINPR.NWARN0, 3);
}

TEST(JobSummary, HtmlWarningLinksOfThisJob) {
  const std::string out = summary_of(100, 1, 1, 3);
  EXPECT_NE(out.find(" <A NAME=WarningXXXXXXXXX2><H4>\n Total number of warnings issued: 3\n"
                     " </H4></A> Warnings issued this job:\n"
                     " <A HREF=\"#WarningXXXX2XXXX2\"> 2</A>\n"
                     " <A HREF=\"#WarningXXXX2XXXX3\"> 3</A>\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(MAINPR.NWARN0, 3);
}

TEST(Restart, LeavesMultipleFitMode) {
  MAINPR.reset();
  MAINPR.MULFIT = 1;
  ::testing::internal::CaptureStdout();
  RESTRT();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), " ** Qv will restart for new script **\n");
  EXPECT_EQ(MAINPR.MULFIT, 0);
}

}  // namespace
}  // namespace qv::jobctl

namespace qv::jobctl {
namespace {

// Runs the main program on a script read from a file unit and returns the
// report.
std::string run_script(const std::string& text) {
  jobbase::testing_support::feed_script_on(15, "mainprog", text);
  WORKSP.reset();
  IWORKS.reset();
  ::testing::internal::CaptureStdout();
  MAINPROG(false);
  return ::testing::internal::GetCapturedStdout();
}

double col(int k, int g) { return GRPTAB(WORKSP.x(), MAINPR.NG, k, g); }

// The smallest matrix section a group can have, and a data group's smallest
// model: an identity matrix of order n (no stored elements) as the covariance,
// fitted to an identity observed matrix (the fit runs, at the solution).
#define NO_MATRICES " Matrices\n End Matrices\n"
#define IDENTITY_DATA_2 " 1\n 0 1\n"
#define IDENTITY_DATA_3 " 1\n 0 1\n 0 0 1\n"
#define IDENTITY_DATA_4 " 1\n 0 1\n 0 0 1\n 0 0 0 1\n"
#define IDENTITY_MODEL(n) " CMatrix\n" IDENTITY_DATA_##n " Matrices\n A Iden " #n " " #n "\n Covariance A;\n"

TEST(JobLoop, TrailingCalculationGroupsAreNotFitted) {
  run_script(
      "Calc first\n Calculation NG=4\n" NO_MATRICES "End\n"
      "Data\n Data NI=2 NO=10\n" IDENTITY_MODEL(2) "End\n"
      "Calc 3\n Calculation\n" NO_MATRICES "End\n"
      "Calc 4\n Calculation\n" NO_MATRICES "End\n");
  EXPECT_EQ(MAINPR.JOBNO, 1);
  EXPECT_EQ(MAINPR.NG, 4);
  EXPECT_EQ(col(11, 1), 2);  // followed by a data group: keeps its code
  EXPECT_EQ(col(11, 2), 2);
  // The trailing calculation groups (code 99 while they are read) are left
  // out of the fit, which then gives them code 6.
  EXPECT_EQ(col(11, 3), 6);
  EXPECT_EQ(col(11, 4), 6);
  EXPECT_EQ(col(18, 1), 2);
  EXPECT_EQ(col(18, 2), 0);
}

TEST(JobLoop, GroupMaterialAndParameterLists) {
  run_script("G1\n Data NG=2 NI=3 NO=10\n" IDENTITY_MODEL(3) "End\nG2\n Data NI=2 NO=5\n" IDENTITY_MODEL(2) "End\n");
  const int base = 43 * 2 + 3;
  // Each group's observed matrix (n(n+1)/2 words) comes first.
  const int data1 = 6, data2 = 3;
  // Material of a group with NI = n: the matrix table (162 words, the identity
  // stores nothing), the formula head (2), the code count and the one code (2),
  // the result header (3), the n*n values of the full result, and n(n+1)/2
  // words more.
  const int g1 = 162 + 2 + 2 + 3 + 9 + 6;
  const int g2 = 162 + 2 + 2 + 3 + 4 + 3;
  // Each group ends one word past its material; the second starts there.
  EXPECT_EQ(col(7, 1), base + data1);
  EXPECT_EQ(col(7, 2), base + data1 + g1 + 1 + data2);
  EXPECT_EQ(MAINPR.USEDWS, data1 + g1 + 1 + data2 + g2 + 1);
  EXPECT_EQ(MAINPR.RDPTR, base + data1 + g1 + 1 + data2 + g2 + 1);
  // After the last group: the parameter-matrix lists (empty), then the end
  // of the model, where the fit lays out its arrays (31 words without free
  // parameters) and leaves WSTOP past them.
  const int lists = base + data1 + g1 + 1 + data2 + g2 + 1;
  EXPECT_EQ(col(37, 1), lists);
  EXPECT_EQ(col(37, 2), lists + 1);
  EXPECT_EQ(col(6, 1), lists + 2);
  EXPECT_EQ(fit::FITARR.ALIN, lists + 2);
  const int fit_end = lists + 2 + 31;
  EXPECT_EQ(MAINPR.WSTOP, fit_end);
  // Group 1's title fills label slots 1-4 and its formula text slot 5.
  EXPECT_EQ(col(27, 2), 6);
  EXPECT_TRUE(FESTAT.SCRDONE);
  // The covariance formulas are evaluated above WSTOP (in the fit, above its
  // arrays): the largest result, group 1's full 3x3 matrix with its header,
  // marks the high water.
  EXPECT_EQ(MAINPR.WSMAXD, fit_end + 3 + 9 - 1);
}

TEST(JobLoop, NgroupsDirectiveBeforeTheFirstTitle) {
  const std::string out = run_script("#NGroups=2\nG1\n Data NI=2 NO=10\n" IDENTITY_MODEL(2) "End\nG2\n Data NI=2 NO=5\n"
                                     IDENTITY_MODEL(2) "End\n");
  EXPECT_NE(out.find(" Note: #NGroup set number of groups to 2\n"), std::string::npos) << out;
  EXPECT_EQ(MAINPR.NG, 2);
  // The integer group table was set up although no group title had been read.
  EXPECT_EQ(IGRPTB(IWORKS.ix(), 2, 1, 2), 1);
}

TEST(JobLoop, NewJobClearsWhatThePreviousJobUsed) {
  run_script("Job one\n Data NG=3 NI=2 NO=10\n" IDENTITY_MODEL(2) "End\nG2\n Data NI=2 NO=10\n" IDENTITY_MODEL(2)
             "End\nG3\n Data NI=2 NO=10\n" IDENTITY_MODEL(2) "End\n"
             "Job two\n Data NG=1 NI=4 NO=10\n" IDENTITY_MODEL(4) "End\n");
  EXPECT_EQ(MAINPR.JOBNO, 2);
  EXPECT_EQ(MAINPR.NG, 1);
  // Job two: its group (observed matrix, matrix table, formula head, code
  // count and code, result header, 16 values, 10 words more) ends one word
  // before its list; the fit's arrays (31 words) follow the model's end.
  EXPECT_EQ(col(6, 1), 43 + 3 + (10 + 162 + 2 + 2 + 3 + 16 + 10) + 1 + 1);
  EXPECT_EQ(MAINPR.WSTOP, static_cast<int>(col(6, 1)) + 31);
  // Words of job one's material that job two does not use read 0: from above
  // job two's high-water mark to the end of job one's third group.
  const int job_one_end = 43 * 3 + 3 + 3 * (3 + 162 + 2 + 2 + 3 + 4 + 3 + 1) - 1;
  EXPECT_LT(MAINPR.WSMAXD, job_one_end);
  for (int k = MAINPR.WSMAXD + 1; k <= job_one_end; ++k) EXPECT_EQ(WORKSP.x()(k), 0.0) << k;
  EXPECT_EQ(col(0, 1), 4);
}

// The fit walks the groups through the current-group cell (the constraint
// function leaves it one past the last group).  A multiple fit's next job
// goes on with the group current before the fit, so an options word of a
// later continuation writes that group's column, not group NG + 1's (which
// is group 1's bound count: the fit would then read a bound record at
// address 0).
TEST(JobLoop, ContinuedMultipleFitWritesTheChosenGroup) {
  const std::string out = run_script(
      "T\n Data NG=1 NI=0 Constraint\n Matrices\n A SY 2 2 Free\n Constraint A;\n Output Multiple\n"
      " #Group 1\n End\n"
      " Output NO\n");
  EXPECT_EQ(MAINPR.JOBNO, 3);
  EXPECT_EQ(MAINPR.IGRP, 1);
  EXPECT_EQ(col(gcol::kBoundCount, 1), 0.0);
  EXPECT_EQ(col(gcol::kNoReport, 1), 1.0);
  // The third job's report leaves the group out of the listings.
  const std::size_t third = out.rfind(" OUTPUT NO\n");
  ASSERT_NE(third, std::string::npos);
  EXPECT_EQ(out.find(" GROUP NUMBER: 1", third), std::string::npos) << out.substr(third);
}

// A group number on a statement line of a multiple fit must name one of the
// job's groups: 0 and NG + 1 are refused.
TEST(JobLoopDeathTest, MultipleFitStatementRefusesAGroupOutsideTheJob) {
  for (const char* g : {"0", "-1", "2"}) {
    const std::string script = std::string(
                                   "T\n Data NG=1 NI=2 NO=10\n CMatrix 1 0 1\n Matrices\n A SY 2 2 Free\n"
                                   " Covariance A;\n Output MU\n Matrix ") +
                               g + " A 1 0 1\n End\n";
    auto run = [&] {
      jobbase::testing_support::feed_script_on(15, "mainprog", script);
      WORKSP.reset();
      IWORKS.reset();
      MAINPROG(false);
    };
    EXPECT_EXIT(REPORT_ON_STDERR(run()), ::testing::ExitedWithCode(1),
                ::testing::ContainsRegex("error code is +117\n(.*)STOP 911"))
        << g;
  }
}

}  // namespace
}  // namespace qv::jobctl

namespace qv::jobctl {
namespace {

// The group material of a one-group calculation job, up to its End line.
#define CALC_GROUP " Calculation NG=1\n Begin Matrices;\n A Full 1 1\n End Matrices;\n"

// The job loop in front-end mode, started after the start-up lines.
std::string run_front_end(const std::string& text, int autodump, bool capture = true) {
  jobbase::testing_support::feed_script_on(15, "frontend", text);
  WORKSP.reset();
  IWORKS.reset();
  if (capture) ::testing::internal::CaptureStdout();
  STARTUP(false);
  FESTAT.FEACTV = true;
  FESTAT.AUTODMP = autodump;
  JOBLOOP();
  return capture ? ::testing::internal::GetCapturedStdout() : std::string();
}

TEST(FrontEnd, JobsAreAnnouncedAndFramed) {
  const std::string out = run_front_end(
      "Job one\n" CALC_GROUP " Output MU\n"
      "Option IT=10\n Output\n"
      "Job three\n" CALC_GROUP "End\n",
      1);
  const std::string rule = " " + std::string(78, '_') + "\n";
  // No ready line before the first job has run: the first is the end of
  // its automatic description, before the job's summary.
  EXPECT_GT(out.find(" !@ready"), out.find(" Your model has")) << out;
  EXPECT_NE(out.find(" ;\n !@ready;\n!@human;\n\n This problem used"), std::string::npos) << out;
  EXPECT_NE(out.find(rule + " !@ready; !@human;\n\n!@machine;\n !@SUBJOB\n!@human;\n Multiple fit option in effect.\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(" !@ready; !@human;\n!@machine;\n !@NEWJOB\n!@human;\n\n\n The following QV script"),
            std::string::npos)
      << out;
  // The end of input closes with the machine token.
  EXPECT_EQ(out.substr(out.size() - 11), "!@machine;\n");
}

TEST(FrontEnd, PreparedJobWaitsForGo) {
  const std::string out = run_front_end(
      "Job one\n" CALC_GROUP "End\n"
      "!@GO\n",
      0);
  // The reader passes "!@GO" on with its note; then the job runs.
  EXPECT_NE(out.find(" END\n Note: Meta command not recognized\n !@GO\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" Your model has        0 estimated parameters"), std::string::npos) << out;
}

TEST(FrontEnd, GoBeforeTheEndAndUnsavedQuit) {
  const std::string out = run_front_end(
      "Job one\n" CALC_GROUP " !@GO\nEnd\n"
      "!@BYE\n!@NEW\nJob two\n" CALC_GROUP "End\n!@GO\n",
      0);
  EXPECT_NE(out.find(" !@GO\n Cannot !@go yet because last end statement not yet read\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find(" !@BYE\n *** WARNING! ***\n Unsaved changes exist.  Use !@BYE! to quit without saving\n"
                     " Note: Meta command not recognized\n !@NEW\n ** Qv will restart for new script **\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(MAINPR.JOBNO, 2);
  EXPECT_NE(out.find(" This problem used"), std::string::npos);
}

TEST(FrontEnd, QuitWithoutSaving) {
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        run_front_end("Job one\n" CALC_GROUP "End\n!@EXIT!\n", 0, false);
      },
      ::testing::ExitedWithCode(0), " !@EXIT!\n \\*\\* Qv quitting \\*\\*\n!@machine;\n$");
}

}  // namespace
}  // namespace qv::jobctl

namespace qv::jobctl {
namespace {

TEST(JobStartRoutine, ReadsTheNextLineOrEndsWithTheRule) {
  jobbase::testing_support::feed_script_on(15, "jobstart", "\n   \nTitle of the next job\n");
  MAINPR.reset();
  MAINPR.ECHOLN = false;  // as the job loop leaves it between jobs
  FESTAT.reset();
  bool done = true;
  ::testing::internal::CaptureStdout();
  wait_for_job(done);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(done);
  EXPECT_EQ(std::string(LINBUF.LINE.substr(0, 21)), "TITLE OF THE NEXT JOB");
  EXPECT_EQ(CURSOR.ICOL, 1);

  // After a job has run the front end is told that the program is ready; at
  // the end of the input the rule closes the report.
  FESTAT.FEACTV = true;
  FESTAT.JOBRUN = true;
  FESTAT.MACHOUT = true;
  ::testing::internal::CaptureStdout();
  wait_for_job(done);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), " !@ready; !@human;\n " + std::string(78, '_') + "\n");
  EXPECT_TRUE(done);
  EXPECT_EQ(CURSOR.ICOL, 0);
  FESTAT.reset();
}

}  // namespace
}  // namespace qv::jobctl
