// Writes in which a number too wide for its field is printed in full: the
// numbers that fit give the records of the FORMAT rules byte for byte, the
// others the narrowest field that holds them with one blank before it.
// Expected records are worked out by hand from the editing rules.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "runtime/format.hpp"
#include "runtime/fullwrite.hpp"
#include "runtime/units.hpp"

using namespace qv::runtime;

namespace {

std::string widened(std::string_view fmt, const std::vector<Out>& items) {
  const auto recs = format_records(fmt, std::span<const Out>(items.data(), items.size()), Overflow::Widen);
  return recs.size() == 1 ? recs[0] : "<" + std::to_string(recs.size()) + " records>";
}

std::string starred(std::string_view fmt, const std::vector<Out>& items) {
  return format_records(fmt, std::span<const Out>(items.data(), items.size()))[0];
}

struct Case {
  const char* fmt;
  std::vector<Out> items;
  const char* expected;
};

TEST(FullWrite, NumbersThatFitKeepTheirFieldsAndOthersArePrintedInFull) {
  const Case cases[] = {
      // Integer lines of the fit statistics.
      {"(A,5X,I5)", {" df >", 99999}, " df >     99999"},
      {"(A,5X,I5)", {" df >", 100000}, " df >      100000"},
      {"(A,5X,I5)", {" df >", -12345}, " df >      -12345"},
      {"(A,5X,I5)", {" df >", -1234}, " df >     -1234"},
      {"(a,i8,a,i8,a)", {" has ", 21, " and ", 45, " stats"}, " has       21 and       45 stats"},
      {"(a,i8,a,i8,a)", {" has ", 21, " and ", 123456789, " stats"}, " has       21 and  123456789 stats"},
      {"(a,i4,a,i4,a)", {" for ", 10000, " cases"}, " for  10000 cases"},
      // Value lines.
      {"(A,F10.3)", {" fit >", 999999.9994}, " fit >999999.999"},
      {"(A,F10.3)", {" fit >", 999999.9996}, " fit > 1000000.000"},
      {"(A,F10.3)", {" AIC >", -224000.5}, " AIC > -224000.500"},
      {"(A,D16.8)", {" fit >", 1.5e6}, " fit >  0.15000000D+07"},
      {"(2x,a,f7.3,a,f7.3)", {" from ", -99.5, " to ", 12.25}, "   from -99.500 to  12.250"},
      {"(2x,a,f7.3,a,f7.3)", {" from ", -150.0, " to ", 12.25}, "   from  -150.000 to  12.250"},
      // The power lines and the sample sizes.
      {"(2x,f3.2,10x,f7.0,a)", {0.25, 999999.4, ""}, "  .25" "          " "999999."},
      {"(2x,f3.2,10x,f7.0,a)", {0.25, 999999.6, ""}, "  .25" "          " " 1000000."},
      {"(a,f4.0,a,f8.6)", {" with ", 1200.0, " df is ", 0.5}, " with  1200. df is 0.500000"},
      {"(a,f12.0)", {" size ", 1.0e12}, " size  1000000000000."},
      {"(3x,i2,a)", {100, "% intervals"}, "    100% intervals"},
  };
  for (const Case& c : cases) EXPECT_EQ(widened(c.fmt, c.items), c.expected) << c.fmt;
}

TEST(FullWrite, AFieldThatFitsIsTheSameAsUnderTheFormatRules) {
  const Case cases[] = {
      {"(A,5X,I5)", {" x", 7}, ""},
      {"(A,F10.3)", {" x", -0.25}, ""},
      {"(2x,f3.2,5x,e12.6,a)", {0.9, 3.5e7, " (approximately)"}, ""},
      {"(1x,a,i5,a)", {" NOTE: case number", 42, ""}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(widened(c.fmt, c.items), starred(c.fmt, c.items)) << c.fmt;
}

TEST(FullWrite, AValueNoWidthCanShowKeepsItsStars) {
  // A three-digit exponent does not fit an E field with a one-digit exponent
  // part, however wide the field.
  EXPECT_EQ(widened("(e10.3e1)", {1.0e100}), "**********");
  EXPECT_EQ(widened("(i5)", {1.0e19}), "*****");
}

TEST(FullWrite, WritesTheRecordsOnTheUnit) {
  ::testing::internal::CaptureStdout();
  write_fmt_full(kStdout, "(A,5X,I5)", {" Degrees of freedom >>>>>>>>>>>>>>>>", 112345});
  write_fmt_full(kStdout, "(A,5X,I5)/(A,5X,I5)", {" a", 1, " b", 2});
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            " Degrees of freedom >>>>>>>>>>>>>>>>      112345\n a         1\n b         2\n");
}

TEST(FullWriteDeathTest, AnItemItsDescriptorCannotWriteIsReportedAsByWriteFmt) {
  EXPECT_EXIT(write_fmt_full(kStdout, "(A,I5)", {" x", "text"}), ::testing::ExitedWithCode(1),
              "Qv I/O error on unit 6.*bad format");
}

}  // namespace
