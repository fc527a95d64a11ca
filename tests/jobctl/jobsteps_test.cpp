// The job loop's steps called one by one on a short script: the workspace
// they lay out and what preparation evaluates.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "algebra/formmach.hpp"
#include "job_fixture.hpp"
#include "jobbase/tabnames.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using testing_support::JobTest;

// The values of matrix L of group 1 row by row, as the formula machine
// loads it for a formula (a computed matrix from its result), into a
// temporary above everything the job has laid out.
std::vector<double> loaded(char L) {
  auto X = WORKSP.x();
  const int top = MAINPR.WSTOP;
  const int temps = algebra::FMFLAG.NTEMP;
  MAINPR.WSTOP = std::max(MAINPR.WSTOP, MAINPR.RDPTR);
  algebra::FMFLAG.MTBASE = current_group().B();
  const int t = algebra::TMPADR(algebra::UNDEFM(X, L - 'A' + 1));
  const int n = icell(X(t + 1)) * icell(X(t + 2));
  std::vector<double> v;
  for (int k = 0; k < n; ++k) v.push_back(X(t + 3 + k));
  MAINPR.WSTOP = top;
  algebra::FMFLAG.NTEMP = temps;
  return v;
}

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
  EXPECT_FALSE(FESTAT.SCRDONE);
  // Declared matrices: their types, orders and stored values (B symmetric:
  // the lower triangle by rows).
  EXPECT_EQ(type('A'), kTypeFull);
  EXPECT_EQ(type('B'), kTypeSym);
  EXPECT_EQ(rows('A'), 2);
  EXPECT_EQ(cols('A'), 2);
  EXPECT_EQ(rows('B'), 2);
  EXPECT_EQ(val('A', 1), 1.0);
  EXPECT_EQ(val('A', 4), 4.0);
  EXPECT_EQ(val('B', 1), 4.0);
  EXPECT_EQ(val('B', 3), 3.0);
  // The algebra section defines C: a computed matrix, 2 x 2.
  EXPECT_EQ(type('C'), kTypeComputed);
  EXPECT_EQ(rows('C'), 2);
  EXPECT_EQ(cols('C'), 2);

  // The algebra section evaluated C = A*B as it was read:
  // [1 2; 3 4] [4 2; 2 3] = [8 8; 20 18] (multiplied out by hand).
  EXPECT_EQ(loaded('C'), (std::vector<double>{8, 8, 20, 18}));

  // Preparation evaluates it again, from the values A has then:
  // [2 2; 3 4] [4 2; 2 3] = [12 10; 20 18].
  val('A', 1) = 2.0;
  prepare_job();
  EXPECT_TRUE(FESTAT.SCRDONE);
  // The free workspace starts past the job.
  EXPECT_GE(MAINPR.WSTOP, addr('B'));
  EXPECT_EQ(loaded('C'), (std::vector<double>{12, 10, 20, 18}));
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
