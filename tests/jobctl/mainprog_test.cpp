// The main program's own pieces: the duration format and the job summary.
#include <gtest/gtest.h>

#include <string>

#include "fit/htmlrep.hpp"
#include "jobctl/mainprog.hpp"

namespace qv::jobctl {
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
  fit::HTMLST.reset();
  ::testing::internal::CaptureStdout();
  JOBSUM();
  return ::testing::internal::GetCapturedStdout();
}

TEST(JobSummary, WorkspaceShareField) {
  EXPECT_NE(summary_of(2345, 0, 0, 0).find("\n This problem used  0.2% of my workspace\n"), std::string::npos);
  EXPECT_NE(summary_of(123456, 0, 0, 0).find("\n This problem used 12.3% of my workspace\n"), std::string::npos);
  EXPECT_NE(summary_of(1000000, 0, 0, 0).find("\n This problem used ****% of my workspace\n"), std::string::npos);
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
