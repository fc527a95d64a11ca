#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim_alt/permcheck.hpp"
#include "optim_alt/upcase.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::soft_report;
using numlib::test::UnitCapture;

const std::string kNotPerm = " ** IPERM(M1:M2) does not contain a permutation of the integers M1 to M2";

TEST(M01ZBF, ReportsEachErrorAndLeavesTheVectorAsItCame) {
  struct Case {
    const char* name;
    std::vector<int> iperm;
    int m1, m2;
    int ifail;                         // on return
    std::vector<std::string> records;  // before the exit lines
  };
  const std::vector<Case> cases = {
      {"(2, 1, 3) is a permutation", {2, 1, 3}, 1, 3, 0, {}},
      {"identity", {1, 2, 3}, 1, 3, 0, {}},
      {"a longer cycle", {3, 1, 4, 2}, 1, 4, 0, {}},
      {"a sub-range", {9, 3, 2, 9}, 2, 3, 0, {}},
      {"(1, 1, 3): duplicate 1", {1, 1, 3}, 1, 3, 3,
       {"    IPERM contains a duplicate value =               1", kNotPerm}},
      {"(2, 3, 3): duplicate 3", {2, 3, 3}, 1, 3, 3,
       {"    IPERM contains a duplicate value =               3", kNotPerm}},
      {"(0, 1, 2): out of range", {0, 1, 2}, 1, 3, 2,
       {"    IPERM(     1) contains an out-of-range value =               0", kNotPerm}},
      {"(2, 1, -3): out of range after marks", {2, 1, -3}, 1, 3, 2,
       {"    IPERM(     3) contains an out-of-range value =              -3", kNotPerm}},
      {"M1 > M2", {1, 2}, 2, 1, 1,
       {" ** On entry, one or more of the following parameter values is illegal",
        "    M1 =               2  M2 =               1"}},
      {"M1 < 1", {1, 2}, 0, 2, 1,
       {" ** On entry, one or more of the following parameter values is illegal",
        "    M1 =               0  M2 =               2"}},
  };
  for (const auto& c : cases) {
    UnitCapture cap;
    std::vector<int> iperm = c.iperm;
    int ifail = -1;
    M01ZBF(iperm, c.m1, c.m2, ifail);
    EXPECT_EQ(ifail, c.ifail) << c.name;
    EXPECT_EQ(iperm, c.iperm) << c.name;
    const auto want = c.ifail == 0 ? std::vector<std::string>{} : soft_report(c.records, "M01ZBF", c.ifail);
    EXPECT_EQ(cap.lines(), want) << c.name;
  }
}

TEST(E4UPCS, RaisesOnlyTheLettersAToZ) {
  std::string s = "abc xyz ABC 09 _{}-`é";
  E4UPCS(s);
  EXPECT_EQ(s, "ABC XYZ ABC 09 _{}-`é");
  std::string empty;
  E4UPCS(empty);
  EXPECT_EQ(empty, "");
}

}  // namespace
}  // namespace qv::optim_alt
