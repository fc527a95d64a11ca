// The group title in its plain form (a report line, with or without a
// leading blank) and in its front-end form (a TITLE record).
#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "jobbase/areas.hpp"
#include "jobbase/ferecs.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"
#include "support/reset.hpp"

namespace qv::jobbase {
namespace {

template <class F>
std::string captured(F f) {
  ::testing::internal::CaptureStdout();
  f();
  return ::testing::internal::GetCapturedStdout();
}

TEST(FetitlTest, PlainAndFrontEndForms) {
  ::qv::testing_support::reset_every_area();
  // A title over two of its four pieces.
  const std::string first(32, 'a');
  LABTAB.put(7, first);
  LABTAB.put(8, "tail");
  const std::string title = runtime::fpad(first + "tail", 128);
  struct Case {
    int mode, lead;
    std::string out;
  } const cases[] = {
      {0, 1, " " + title + "\n"},
      {0, 0, title + "\n"},
      {1, 0, " TITLE\n 3\n\"" + first + "tail\";\n"},
      {2, 1, " TITLE\n 3\n\"" + first + "tail\";\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode * 10 + c.lead);
    EXPECT_EQ(captured([&] { FETITL(7, 3, c.mode, c.lead); }), c.out);
  }
}

}  // namespace
}  // namespace qv::jobbase

namespace qv::jobbase {
namespace {

// Splits an output into its lines.
std::vector<std::string> lines_of(const std::string& out) {
  std::vector<std::string> v;
  std::size_t p = 0;
  while (p < out.size()) {
    const std::size_t e = out.find('\n', p);
    v.push_back(out.substr(p, e - p));
    p = e + 1;
  }
  return v;
}

struct FeRecTest : ::testing::Test {
  void SetUp() override {
    ::qv::testing_support::reset_every_area();
    MAINPR.IGRP = 2;
  }
  Vec1<double> X = WORKSP.x();
};

// A record of COUNT values splits into chunks of at most 100: each chunk its
// header (tag, group, name, type, rows, columns, offset, count), its values
// and ";".  A multiple of 100 ends without an empty chunk; no values give one
// empty chunk.
TEST_F(FeRecTest, MatrixRecordsSplitIntoChunksOfAHundred) {
  struct Case {
    int count;
    std::vector<std::pair<int, int>> chunks;  // offset, count
  } const cases[] = {
      {0, {{0, 0}}},
      {78, {{0, 78}}},
      {100, {{0, 100}}},
      {200, {{0, 100}, {100, 100}}},
      {225, {{0, 100}, {100, 100}, {200, 25}}},
  };
  for (int i = 0; i < 225; ++i) X(1000 + i) = i + 0.5;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    int type = kTypeFull;
    const auto v = lines_of(captured([&] { FEMREC(X, 3, type, 15, 15, 1000, 0, c.count, "VALUE     "); }));
    std::size_t at = 0;
    for (const auto& [off, n] : c.chunks) {
      ASSERT_LE(at + 9 + n, v.size());
      EXPECT_EQ(v[at], " VALUE");
      EXPECT_EQ(v[at + 1], " 2");
      EXPECT_EQ(v[at + 2], "\"C\"");
      EXPECT_EQ(v[at + 3], " 9");
      EXPECT_EQ(v[at + 4], " 15");
      EXPECT_EQ(v[at + 5], " 15");
      EXPECT_EQ(v[at + 6], " " + std::to_string(off));
      EXPECT_EQ(v[at + 7], " " + std::to_string(n));
      if (n > 0) EXPECT_EQ(std::stod(v[at + 8]), off + 0.5);
      if (n > 0) EXPECT_EQ(std::stod(v[at + 7 + n]), off + n - 1 + 0.5);
      EXPECT_EQ(v[at + 8 + n], " ;");
      at += 9 + n;
    }
    EXPECT_EQ(at, v.size());
  }
}

// The tag and name lines by letter index: a letter names itself, a tagged
// record (0) and a power result (-999) are VALUE records named by their tag
// or POWER.  Type 0 is written as 8.
TEST_F(FeRecTest, TagAndNameLinesFollowTheLetterIndex) {
  struct Case {
    int L;
    const char* tag;
    const char* tagline;
    const char* name;
  } const cases[] = {
      {6, "GROUP_FIT ", " GROUP_FIT", "\"F\""},
      {26, "SPECS", " SPECS", "\"Z\""},
      {0, "ObsCov    ", " VALUE", "\"ObsCov\""},
      {-999, "POWER", " VALUE", "\"POWER\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.L);
    int type = kTypeViewSym;
    const auto v = lines_of(captured([&] { FEMREC(X, c.L, type, 1, 1, 1000, 0, 0, c.tag); }));
    ASSERT_EQ(v.size(), 9u);
    EXPECT_EQ(v[0], c.tagline);
    EXPECT_EQ(v[2], c.name);
    EXPECT_EQ(v[3], " 8");
  }
}

// SPECS records hold the specification numbers as integers; for a view of
// stored data (type 0, %O) every value is 0, read before the type becomes 8,
// and the caller's type becomes 8.  A VALUE record leaves the type alone.
TEST_F(FeRecTest, SpecsRecordsHoldIntegersAndZerosForAView) {
  X(1000) = 3.0;
  X(1001) = 0.0;
  X(1002) = 17.0;
  int type = kTypeSym;
  auto v = lines_of(captured([&] { FEMREC(X, 1, type, 2, 2, 1000, 0, 3, "SPECS"); }));
  EXPECT_EQ(std::vector<std::string>(v.begin() + 8, v.end()), (std::vector<std::string>{" 3", " 0", " 17", " ;"}));
  type = kTypeViewSym;
  v = lines_of(captured([&] { FEMREC(X, 1, type, 2, 2, 1000, 0, 3, "SPECS"); }));
  EXPECT_EQ(std::vector<std::string>(v.begin() + 8, v.end()), (std::vector<std::string>{" 0", " 0", " 0", " ;"}));
  EXPECT_EQ(type, kTypeSym);
  type = kTypeViewSym;
  v = lines_of(captured([&] { FEMREC(X, 1, type, 2, 2, 1000, 0, 3, "VALUE"); }));
  EXPECT_EQ(v[3], " 8");
  EXPECT_EQ(type, kTypeViewSym);
}

// Each value line is what a list-directed write of the value alone gives.
TEST_F(FeRecTest, ValueLinesAreListDirected) {
  const double values[] = {0.0, -0.0, 1.0, -2.5, 4199.99999, 4.68380890e-11, -4.68380890e-11, 1.0e20, 123456789.0,
                           std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
  const int n = static_cast<int>(std::size(values));
  std::string want;
  for (int i = 0; i < n; ++i) {
    X(1000 + i) = values[i];
    want += captured([&] { runtime::write_list(runtime::kStdout, {values[i]}); });
  }
  int type = kTypeFull;
  const auto v = lines_of(captured([&] { FEMREC(X, 1, type, 1, n, 1000, 0, n, "VALUE"); }));
  std::string got;
  for (int i = 0; i < n; ++i) got += v[8 + static_cast<std::size_t>(i)] + "\n";
  EXPECT_EQ(got, want);
  X(1000) = -7.0;
  EXPECT_EQ(lines_of(captured([&] { FEMREC(X, 1, type, 1, 1, 1000, 0, 1, "SPECS"); }))[8],
            captured([] { runtime::write_list(runtime::kStdout, {-7}); }).substr(0, 3));
}

TEST_F(FeRecTest, LabelRecordsQuoteEachLabelWithoutTrailingBlanksOrControls) {
  LABTAB.put(50, "age");
  LABTAB.put(51, std::string("we\tight  "));
  EXPECT_EQ(captured([] { FELAB(50, 2, 3, "ROW   ", "ObsCov    "); }),
            " LABEL\n ROW\n 3\n\"ObsCov\"\n\"age\"\n\"weight\"\n ;\n");
  EXPECT_EQ(captured([] { FELAB(50, 0, 1, "COLUMN", "B"); }), " LABEL\n COLUMN\n 1\n\"B\"\n ;\n");
}

// The group, row and column come from columns 4-6, 8-10 and 12-14 of the
// label; the fields go out R1, R2, R3, I1, I3, I2, I4.
TEST_F(FeRecTest, ConfidenceRecordDecodesItsLabelAndOrdersItsFields) {
  const std::string label = runtime::fpad(" K   2  11 103", 32);
  const auto v = lines_of(captured([&] { FECINT(label, 0.5, 0.25, 0.75, 1, 2, 3, 4); }));
  ASSERT_EQ(v.size(), 15u);
  EXPECT_EQ(v[0], "!@machine;");
  EXPECT_EQ(v[1], " CONFIDENCE");
  EXPECT_EQ(v[2], " 2");
  EXPECT_EQ(v[3], "\"K\"");
  EXPECT_EQ(v[4], " 11");
  EXPECT_EQ(v[5], " 103");
  EXPECT_EQ(std::stod(v[6]), 0.5);
  EXPECT_EQ(std::stod(v[7]), 0.25);
  EXPECT_EQ(std::stod(v[8]), 0.75);
  EXPECT_EQ((std::vector<std::string>(v.begin() + 9, v.end())),
            (std::vector<std::string>{" 1", " 3", " 2", " 4", " ;", "!@human;"}));
}

TEST_F(FeRecTest, FlagAndGroupTypeWriters) {
  EXPECT_EQ(captured([] { FEFLAG(0); FEFLAG(-3); FEFLAG(1); }), " 0\n 1\n 1\n");
  EXPECT_EQ(captured([] { FEGTYP(4, kKindCalc); }), " GROUP_TYPE\n 4\n 2\n ;\n");
}

// The postfix-formula record: a computed matrix's order and letter, or the
// covariance formula's number and name, then each code.
TEST_F(FeRecTest, PostfixFormulaRecordListsTheCodes) {
  const int B = 200;
  MTFSLT(X, B, 3) = 500;  // head: pieces, slot, order, then the code list
  X(500) = 1; X(501) = 9; X(502) = 2; X(503) = 2; X(504) = 1.0; X(505) = -3.0;
  MTFSLT(X, B, fslot::kCov) = 600;
  X(600) = 1; X(601) = 9; X(602) = 1; X(603) = 7.0;
  const auto a = lines_of(captured([&] { FERPN(X, 1, B, 3, kKindData); }));
  ASSERT_EQ(a.size(), 7u);
  EXPECT_EQ(a[0], " RPNFORMULA");
  EXPECT_EQ(a[2], " 2");
  EXPECT_EQ(a[3], "\"C\"");
  EXPECT_EQ(std::stod(a[4]), 1.0);
  EXPECT_EQ(std::stod(a[5]), -3.0);
  EXPECT_EQ(a[6], " ;");
  const auto b = lines_of(captured([&] { FERPN(X, 1, B, fslot::kCov, kKindCalc); }));
  ASSERT_EQ(b.size(), 6u);
  EXPECT_EQ(b[2], " 28");
  EXPECT_EQ(b[3], "\"ExpCal\"");
  EXPECT_EQ(captured([&] { FERPN(X, 1, B, 4, kKindData); }), "");
}

}  // namespace
}  // namespace qv::jobbase
