// HTML report elements: anchors, PRE switching, warning headings, job
// headers, group links and the footer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobbase/htmlrep.hpp"
#include "jobbase/areas.hpp"

using namespace qv::jobbase;

namespace {

class HtmlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MAINPR.reset();
    HTMLST.reset();
    testing::internal::CaptureStdout();
  }
  std::string out() { return testing::internal::GetCapturedStdout(); }
};

}  // namespace

TEST_F(HtmlTest, AnchorIds) {
  MAINPR.JOBNO = 1;
  EXPECT_EQ(HTANCH(3, 1), "XXXX1XXXX3");
  EXPECT_EQ(HTANCH(1, 0), "XXXXXXXXX1");
  MAINPR.JOBNO = 12;
  EXPECT_EQ(HTANCH(345, 1), "XXX12XX345");
  EXPECT_EQ(HTMLST.ANCHID, "XXX12XX345");
  // The tenth character is never replaced.
  EXPECT_EQ(HTANCH(10, 0), "XXXXXXXX10");
  EXPECT_EQ(out(), "");
}

TEST_F(HtmlTest, PreBlockOpensAndClosesOnce) {
  HTPRE(1);
  HTPRE(1);
  HTPRE(0);
  HTPRE(0);
  HTPRE(7);
  EXPECT_EQ(out(), " <PRE>\n </PRE>\n");
  EXPECT_FALSE(HTMLST.PRESTA);
}

TEST_F(HtmlTest, WarningHeadingsNumberedThroughTheRun) {
  MAINPR.HTMLON = true;
  MAINPR.JOBNO = 2;
  MAINPR.NWARN = 4;  // warnings of earlier jobs
  WARNHD();
  MAINPR.HTMLON = false;
  WARNHD();
  EXPECT_EQ(out(),
            " <A NAME=WarningXXXX2XXXX5> <H3> *** Warning! ***</H3></A>\n"
            " *** WARNING! ***\n");
  EXPECT_EQ(MAINPR.NWARN, 6);
}

TEST_F(HtmlTest, JobHeaderAndIndexEntry) {
  HTJOB(1, 1);
  HTJOB(2, 1);
  HTJOB(2, 0);
  const std::string links2 =
      " <UL> \n"
      " <LI> <A HREF=\"#JobXXXXXXXXX2\"> Input Stream</A>\n"
      " <LI> <A HREF=\"#SpecificationXXXXXXXXX2\"> Parameter Specification</A>\n"
      " <LI> <A HREF=\"#EstimatesXXXXXXXXX2\"> Parameter Estimates</A>\n"
      " <LI> <A HREF=\"#FitXXXXXXXXX2\"> Fit Statistics</A>\n"
      " <LI> <A HREF=\"#WarningXXXXXXXXX2\"> Warnings</A>\n"
      " <LI> <A HREF=\"#Index\"> Index of all jobs</A>\n"
      " </UL> \n";
  const std::string expected =
      // Job 1: no Previous link.
      " <BR> <HR> \n"
      " <H1> <A NAME=JobXXXXXXXXX1> Job number 1</A>\n"
      "  <A HREF=\"#JobXXXXXXXXX2\"> Next </H1></A>\n"
      " <UL> \n"
      " <LI> <A HREF=\"#JobXXXXXXXXX1\"> Input Stream</A>\n"
      " <LI> <A HREF=\"#SpecificationXXXXXXXXX1\"> Parameter Specification</A>\n"
      " <LI> <A HREF=\"#EstimatesXXXXXXXXX1\"> Parameter Estimates</A>\n"
      " <LI> <A HREF=\"#FitXXXXXXXXX1\"> Fit Statistics</A>\n"
      " <LI> <A HREF=\"#WarningXXXXXXXXX1\"> Warnings</A>\n"
      " <LI> <A HREF=\"#Index\"> Index of all jobs</A>\n"
      " </UL> \n"
      " <PRE>\n"
      // Job 2 closes the open PRE block first.
      " </PRE>\n"
      " <BR> <HR> \n"
      " <H1> <A NAME=JobXXXXXXXXX2> Job number 2</A>\n"
      " <A HREF=\"#JobXXXXXXXXX1\"> Previous </A>\n"
      "  <A HREF=\"#JobXXXXXXXXX3\"> Next </H1></A>\n" +
      links2 +
      " <PRE>\n"
      // Index entry.
      " </PRE>\n"
      " <BR> <HR> \n"
      " <H4> Job number 2</H4></A>\n" +
      links2 + " <PRE>\n";
  EXPECT_EQ(out(), expected);
  EXPECT_TRUE(HTMLST.PRESTA);
}

TEST_F(HtmlTest, GroupLinksSkipSuppressedGroups) {
  // Group table of 3 groups: X(1) = NG, column 12 of group g at X(1 + 12*NG + g).
  const int NG = 3;
  std::vector<double> x(1 + 43 * NG, 0.0);
  x[0] = NG;
  x[12 * NG + 2] = 1.0;  // group 2 suppressed
  x[12 * NG + 3] = 1.0;  // group 3 suppressed
  MAINPR.JOBNO = 1;
  HTGRP(x, 1, NG, true, "est");
  HTGRP(x, 1, NG, false, "spe");
  x[12 * NG + 3] = 0.0;
  HTGRP(x, 1, NG, true, "spe");
  HTGRP(x, 3, NG, false, "est");
  EXPECT_EQ(out(),
            " <STRONG> (Remaining groups have output suppressed)</STRONG>\n"
            " <STRONG> (Previous groups have output suppressed)</STRONG>\n"
            " <A HREF=\"#speXXXX1XXXX3\"><STRONG>Next     Group </STRONG></A>\n"
            " <A HREF=\"#estXXXX1XXXX1\"><STRONG>Previous Group </STRONG></A>\n");
}

TEST_F(HtmlTest, FooterEndsTheDocument) {
  HTFOOT();
  const std::string s = out();
  EXPECT_EQ(s.rfind(" <address> <b> ", 0), 0u);
  EXPECT_NE(s.find(" Qv: the Qv maintainers</b>"), std::string::npos);
  EXPECT_NE(s.find(" Please report bugs, comments, questions etc. to"), std::string::npos);
  EXPECT_NE(s.find("</b> </address><HR></body></HTML>\n"), std::string::npos);
}
