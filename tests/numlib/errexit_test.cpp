#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "capture.hpp"
#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"

namespace qv::numlib {
namespace {

using test::UnitCapture;

const std::string kExit2 = " ** ABNORMAL EXIT from Numerical Library routine G01ECF: IFAIL =     2";
const std::string kSoft = " ** Library soft failure - control returned";
const std::string kHard = " ** Library hard failure - execution terminated";

struct ExitCase {
  int ifail;
  int ierror;
  std::vector<std::string> expect;  // records written
};

TEST(ErrExit, DecodesIfailDigits) {
  const std::vector<std::string> rec = {" ** first record   ", "    "};
  const std::vector<ExitCase> cases = {
      {0, 0, {}},                                         // no error: nothing, whatever IFAIL says
      {1, 2, {}},                                         // silent soft
      {-1, 2, {" ** first record", " ", kExit2, kSoft}},  // print, soft
      {11, 2, {" ** first record", " ", kExit2, kSoft}},  // tens digit set, units 1
      {-13, 2, {" ** first record", " "}},                // records only
      {-2, 2, {}},                                        // other negatives: silent
      {5, 2, {}},
      {101, 2, {}},
      {111, 2, {" ** first record", " ", kExit2, kSoft}},
  };
  for (const auto& c : cases) {
    UnitCapture cap;
    EXPECT_EQ(ERREXIT(c.ifail, c.ierror, "G01ECF", rec), c.ierror) << c.ifail;
    EXPECT_EQ(cap.lines(), c.expect) << "IFAIL " << c.ifail;
  }
}

TEST(ErrExitDeathTest, HardFailureStopsWithStatusOne) {
  for (int ifail : {0, 10, 12}) {
    UnitCapture cap;
    EXPECT_EXIT(ERREXIT(ifail, 2, "G01ECF", std::vector<std::string>{" ** rec"}),
                testing::ExitedWithCode(1), "");
    EXPECT_EQ(cap.lines(), (std::vector<std::string>{" ** rec", kExit2, kHard})) << ifail;
  }
}

TEST(ErrExit, UnitsAndRecords) {
  int u = 0;
  ERRUNIT(0, u);
  EXPECT_EQ(u, 6);
  ADVUNIT(0, u);
  EXPECT_EQ(u, 6);
  u = 9;
  ERRUNIT(2, u);  // other modes do nothing
  EXPECT_EQ(LIBUNITS.errunit, 6);
  {
    UnitCapture cap;
    WRTREC(-1, "never");
    WRTREC(LIBUNITS.errunit, "   ");
    WRTREC(LIBUNITS.errunit, " text   ");
    std::vector<std::string> recs = {"a", "b", "c"};
    WRTRECS(LIBUNITS.errunit, 2, recs);
    WRTRECS(LIBUNITS.errunit, 0, recs);
    EXPECT_EQ(cap.lines(), (std::vector<std::string>{" ", " text", "a", "b"}));
  }
}

TEST(ErrExit, ParameterReports) {
  {
    UnitCapture cap;
    int nerr = 0;
    PARREP3("  1.5", "TOL", 1, nerr, "E04XAF");  // silent
    PARREP2(7, "N", 101, nerr, "E04XAF");        // silent
    EXPECT_EQ(nerr, 2);
    EXPECT_TRUE(cap.lines().empty());
  }
  UnitCapture cap;
  int nerr = 0;
  PARREP3("  1.5", "TOL", -1, nerr, "E04XAF");
  PARREP2(-7, "N", 0, nerr, "E04XAF");
  EXPECT_EQ(nerr, 2);
  const std::string head = " *****  Parameter  TOL  is invalid in routine  E04XAF  *****";
  const std::string headn = " *****  Parameter  N  is invalid in routine  E04XAF  *****";
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{" ", head, "        Value supplied is", "          1.5", " ", headn,
                                                   "        Value supplied is     -7"}));
}

TEST(ErrExit, TextSpan) {
  int f = -1, l = -1;
  TXTSPAN("  ab c  ", f, l);
  EXPECT_EQ(f, 3);
  EXPECT_EQ(l, 6);
  TXTSPAN("    ", f, l);
  EXPECT_EQ(f, 0);
  EXPECT_EQ(l, 0);
}

// The constants of IEEE double (values from <cfloat>, written out here).
TEST(MachineConstants, IeeeDouble) {
  EXPECT_EQ(EPSMACH(), std::ldexp(1.0, -53));
  EXPECT_EQ(SAFEMIN(), std::ldexp(1.0, -1022));
  EXPECT_EQ(SMALLN(), std::ldexp(1.0, -1022));
  EXPECT_EQ(HUGENUM(), 1.7976931348623157e308);
  EXPECT_EQ(PICONST(), 3.141592653589793);
  EXPECT_EQ(MAXINTG(), 2147483647);
  EXPECT_EQ(MBASE(), 2);
  EXPECT_EQ(MDIGITS(), 53);
  EXPECT_EQ(MZERO(), 0.0);
  EXPECT_TRUE(std::isfinite(1.0 / SAFEMIN()));
}

// The library reads the one machine-constant table of the process; its own
// cells (largest number, advisory unit) sit beside the optimizer's entries.
TEST(MachineConstants, TableKeepsFirstValuesAndFollowsAdvisoryUnit) {
  optkern::Mchtab& t = optkern::MCHTAB;
  t.reset();
  LIBUNITS.reset();
  MCHCON();
  // Entries shared with the optimizer: the scalar routines' values.
  EXPECT_EQ(t(1), 2.0);
  EXPECT_EQ(t(2), 53.0);
  EXPECT_EQ(t(3), EPSMACH());
  EXPECT_EQ(t(3), std::ldexp(1.0, -53));
  EXPECT_EQ(t(4), std::sqrt(std::ldexp(1.0, -53)));
  EXPECT_EQ(t(5), SAFEMIN());
  EXPECT_EQ(t(9), 0.0);
  EXPECT_EQ(t(10), 5.0);
  // The library's own cells.
  EXPECT_EQ(t.largest, HUGENUM());
  EXPECT_EQ(t.rtlargest, std::sqrt(HUGENUM()));
  EXPECT_EQ(t.advunit, 6.0);
  t.w[2] = 99.0;  // entries 1-11 are not recomputed
  int u = 7;
  ADVUNIT(1, u);
  MCHCON();
  EXPECT_EQ(t(3), 99.0);
  EXPECT_EQ(t.advunit, 7.0);
  t.reset();
  LIBUNITS.reset();
}

}  // namespace
}  // namespace qv::numlib
