// The job loop's steps called one by one on a short script: the workspace
// they lay out and what preparation evaluates.
#include <gtest/gtest.h>

#include "job_fixture.hpp"

namespace qv::jobctl {
namespace {

using testing_support::JobTest;

constexpr const char* kCalc =
    "Steps of a calculation job\n"
    " Calculation NGroups=1\n"
    " Begin Matrices;\n"
    "  A FU 2 2\n"
    "  B SY 2 2\n"
    " End Matrices;\n"
    " Matrix A 1 2 3 4\n"
    " Matrix B 4 2 3\n"
    " Begin Algebra;\n"
    "  C = A*B ;\n"
    " End Algebra;\n"
    "End\n";

TEST_F(JobTest, ReadingLaysOutTheGroupAndPreparationEvaluatesItsFormulas) {
  build(kCalc, false);
  EXPECT_EQ(MAINPR.NG, 1);
  EXPECT_EQ(X()(1), 1.0);
  EXPECT_EQ(FESTAT.SCRDONE, 0);
  // Declared matrices: types FU (3) and SY (8), their orders and values.
  EXPECT_EQ(rows('A'), 2);
  EXPECT_EQ(cols('A'), 2);
  EXPECT_EQ(rows('B'), 2);
  EXPECT_EQ(val('A', 1), 1.0);
  EXPECT_EQ(val('A', 4), 4.0);
  EXPECT_EQ(val('B', 1), 4.0);
  EXPECT_EQ(val('B', 3), 3.0);

  prepare_job();
  EXPECT_EQ(FESTAT.SCRDONE, 1);
  // The free workspace starts past the job.
  EXPECT_GE(MAINPR.WSTOP, addr('B'));
}

TEST_F(JobTest, TwoJobsInARowStartFromTheirOwnState) {
  build(kCalc);
  const int first_top = MAINPR.WSTOP;
  reset_all();
  build(kCalc);
  EXPECT_EQ(MAINPR.WSTOP, first_top);
  EXPECT_EQ(val('B', 2), 2.0);
}

}  // namespace
}  // namespace qv::jobctl
