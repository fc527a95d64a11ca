// The fit driver's option lines and its advice on the optimizer's result
// codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fit/fitdrv.hpp"
#include "jobbase/fitopt.hpp"
#include "support/reset.hpp"

namespace qv::fit {
namespace {

using jobbase::FITOPT;

// The lines FITOPL sends with the option cells as the setter leaves them.
template <class Set>
std::vector<std::string> lines(Set set, int warm = 0) {
  qv::testing_support::reset_every_area();
  set();
  std::vector<std::string> out;
  FITOPL(warm, [&out](std::string_view l) { out.emplace_back(l); });
  return out;
}

// Keyword padded to 40 columns, then the value field.
std::string kw(const std::string& key, const std::string& value) { return key + std::string(40 - key.size(), ' ') + value; }

TEST(Fitopl, FixedLinesThenTheCellsInOrder) {
  const std::vector<std::string> head = {"Infinite Bound Size       = 1.0e+15", "Minor print level=0", "Hessian=No"};
  struct Case {
    const char* name;
    void (*set)();
    int warm;
    std::vector<std::string> tail;  // after the three fixed lines
  };
  const Case cases[] = {
      {"defaults", [] {}, 0,
       {"Derivative level=0", "Cold start", "Verify level=3", "Major iterations=1000 ", "Major print level=0"}},
      {"warm start", [] {}, 1,
       {"Derivative level=0", "Warm start", "Verify level=3", "Major iterations=1000 ", "Major print level=0"}},
      {"IT=200 right-justified in columns 41-50", [] { FITOPT.IT = 200; }, 0,
       {"Derivative level=0", "Cold start", "Verify level=3", kw("Major Iterations=", "       200"),
        "Major print level=0"}},
      {"DE without IT: no iteration line", [] { FITOPT.DE = 1; }, 0,
       {"Default", "Derivative level=0", "Cold start", "Verify level=3", "Major print level=0"}},
      {"DE with IT", [] { FITOPT.DE = 1; FITOPT.IT = 5; }, 0,
       {"Default", "Derivative level=0", "Cold start", "Verify level=3", kw("Major Iterations=", "         5"),
        "Major print level=0"}},
      {"NA=5", [] { FITOPT.NA = 5; }, 0,
       {"Derivative level=0", "Cold start", "Verify level=3", "Major iterations=1000 ",
        kw("Major print level=", "   5")}},
      // D10.4 fields; a negative value is sent as given.
      {"tolerances", [] {
         FITOPT.FU = 1.0e-4; FITOPT.FE = -0.5; FITOPT.OP = 1.0e-8; FITOPT.LI = 0.9; FITOPT.STE = 1.0e10;
         FITOPT.FI = 2.5e-3;
       }, 0,
       {"Derivative level=0", "Cold start", "Verify level=3", kw("Function precision=", "0.1000D-03"),
        kw("Feasibility tolerance=", "-.5000D+00"), "Major iterations=1000 ", "Major print level=0",
        kw("Optimality tolerance=       ", "0.1000D-07"), kw("Linesearch tolerance=         ", "0.9000D+00"),
        kw("Infinite step size =         ", "0.1000D+11"), kw("Difference interval =        ", "0.2500D-02")}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> want = head;
    want.insert(want.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(lines(c.set, c.warm), want) << c.name;
  }
}

// OPTMSG's report for inform after a run held to itmax iterations (the
// cells as set leaves them).
template <class Set>
std::string advice(int inform, int itmax, Set set) {
  qv::testing_support::reset_every_area();
  set();
  ::testing::internal::CaptureStdout();
  OPTMSG(inform, itmax);
  return ::testing::internal::GetCapturedStdout();
}

TEST(Optmsg, HeadingThenTheAdviceOfTheCode) {
  const std::string head =
      " *** WARNING! ***\n\n"
      " I am not sure I have found a solution that satisfies\n"
      "          Kuhn-Tucker conditions for a minimum.\n";
  EXPECT_EQ(advice(1, 1000, [] {}),
            head +
                "          The IFAIL parameter is 1\n\n"
                " We probably have a minimum here, but you might consider trying different\n"
                " starting values.  You can randomize these with TH=n on  the OU line, where\n"
                " n is the number of times you wish to do this.\n"
                " I STRONGLY recommend BOundaries to be set if you use TH\n\n");
  struct Case {
    int inform, itmax;
    void (*set)();
    const char* text;  // a line that must be there
  };
  // The limit named is the one the run was held to, whatever the cells say
  // (under DE the optimizer's own default, 50 for a small problem).
  const Case cases[] = {
      {4, 1000, [] {}, " IT=n on the OU line.  Current value is 1000\n\n"},
      {4, 250, [] { FITOPT.IT = 250; }, " IT=n on the OU line.  Current value is 250\n\n"},
      {4, 250, [] { FITOPT.DE = 1; FITOPT.IT = 250; }, " IT=n on the OU line.  Current value is 250\n\n"},
      {4, 50, [] { FITOPT.DE = 1; }, " IT=n on the OU line.  Current value is 50\n\n"},
      {6, 3, [] {}, " Looks like I got stuck here.  Check the following:\n"
                    " 1. The model is correctly specified\n"
                    " 2. Starting values are good\n"
                    " 3. You are not already at the solution \n\n"},
      {6, 3, [] {}, " and examine the file OPTDUMP.OUT and the optimizer manual \n\n\n"},
      {9, 3, [] {}, " Something went wrong - perhaps you made a mistake with the BOundary line or STarting values?\n"
                    " I recommend that you put NA=30 on the OU line and then examine the OPTDUMP.OUT file\n\n"},
      {-1, 3, [] {}, "          The IFAIL parameter is -1\n\n"
                     " Somehow your fit function cannot be computed for these parameter estimates\n"},
      {-1, 3, [] {}, " Try different starting values is the best I can offer for now.\n\n"},
      {7, 3, [] {}, " This is an unusual error.  Please look in the optimizer manual for assistance.\n"},
      {2, 3, [] {}, " I'm incredibly sorry I can't be of more help.\n\n"},
  };
  for (const Case& c : cases) {
    const std::string out = advice(c.inform, c.itmax, c.set);
    EXPECT_EQ(out.substr(0, head.size()), head) << c.inform;
    EXPECT_NE(out.find(c.text), std::string::npos) << c.inform << "\n" << out;
  }
}

}  // namespace
}  // namespace qv::fit
