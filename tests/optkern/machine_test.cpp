// Machine constants of the optimizer on IEEE double arithmetic.
#include <gtest/gtest.h>

#include <cmath>

#include "optkern/machine.hpp"

namespace qv::optkern {
namespace {

TEST(MachineConstants, TableHoldsIeeeDoubleValues) {
  MCHSET();
  struct Row {
    int entry;
    double value;
  };
  const Row rows[] = {
      {1, 2.0},
      {2, 53.0},
      {3, std::ldexp(1.0, -53)},
      {4, std::sqrt(std::ldexp(1.0, -53))},
      {5, std::ldexp(1.0, -1022)},
      {6, std::ldexp(1.0, -511)},
      {7, std::ldexp(1.0, 1018)},
      {8, std::ldexp(1.0, 509)},
      {9, 0.0},
      {10, 5.0},
      {11, 7.0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(MCHTAB(r.entry), r.value) << "entry " << r.entry;
    EXPECT_EQ(wmach(r.entry), r.value) << "entry " << r.entry;
  }
  // Entries 5 and 7 are not reciprocals: rmax = 1/(rmin*base^4).
  EXPECT_EQ(MCHTAB(7) * MCHTAB(5), 1.0 / 16.0);
}

TEST(MachineConstants, ExperimentsFindBaseDigitsRoundingAndEmin) {
  int base = 0, digits = 0, emin = 0;
  bool rounds = false;
  MCENV1(base, digits, rounds);
  EXPECT_EQ(base, 2);
  EXPECT_EQ(digits, 53);
  EXPECT_TRUE(rounds);

  double eps = 0.0, rmin = 0.0;
  MCENVN(base, digits, eps, emin, rmin);
  EXPECT_EQ(emin, -1021);
  EXPECT_EQ(eps, std::ldexp(1.0, -53));
  EXPECT_EQ(rmin, std::ldexp(1.0, -1022));
  // The first-call flag stays cleared: no warning asked for a repeat.
  EXPECT_FALSE(MCENVS.envn_first);

  // Division by 2 from 1 can be undone down to the last subnormal; from
  // 1 + 1/8 the low bits are lost three halvings earlier (gradual underflow).
  int e1 = 0, e2 = 0;
  MCENV4(e1, 1.0, 2);
  MCENV4(e2, 1.125, 2);
  EXPECT_EQ(e1, -1073);
  EXPECT_EQ(e2 - e1, 3);
}

TEST(MachineConstants, SecondCallLeavesTableUnchanged) {
  MCHSET();
  const auto before = MCHTAB.w;
  MCHSET();
  EXPECT_EQ(MCHTAB.w, before);
  EXPECT_EQ(MCADD(0.5, 0.25), 0.75);
}

}  // namespace
}  // namespace qv::optkern
