// List-directed writes and reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/listdir.hpp"

using namespace qv::runtime;

namespace {

std::vector<std::string> recs(std::initializer_list<Out> items) {
  return list_records(std::span<const Out>(items.begin(), items.size()));
}

// A record source over fixed lines.
struct Lines {
  std::vector<std::string> lines;
  std::size_t next = 0;
  bool operator()(std::string& r) {
    if (next >= lines.size()) return false;
    r = lines[next++];
    return true;
  }
};

}  // namespace

TEST(ListReal, NineSignificantDigits) {
  struct Case {
    double x;
    const char* text;
  } cases[] = {
      {0.0, "0.00000000"},
      {1.0, "1.00000000"},
      {-0.5, "-0.500000000"},
      {0.1, "0.100000000"},
      {123.456, "123.456000"},
      {1.0e8, "100000000."},
      {999999999.4, "999999999."},
      {999999999.6, "1.00000000E+09"},
      {0.099999999999, "0.100000000"},
      {0.0123, "1.23000000E-02"},
      {1.0e10, "1.00000000E+10"},
      {-2.5e-300, "-2.50000000E-300"},
      {1.0e100, "1.00000000E+100"},
      {3.14159265358979, "3.14159265"},
  };
  for (const auto& c : cases) EXPECT_EQ(list_real(c.x), c.text) << c.x;
}

TEST(ListWrite, RecordLayout) {
  struct Case {
    std::vector<std::string> got;
    std::vector<std::string> want;
  } cases[] = {
      // A text that begins with a blank supplies the record's leading blank.
      {recs({" ** Qv startup successful **"}), {" ** Qv startup successful **"}},
      {recs({"<A NAME=Warning", "XXXX1XXXX3", "> <H3>"}), {" <A NAME=WarningXXXX1XXXX3> <H3>"}},
      // Numbers are separated from what precedes them by one blank.
      {recs({"Total number of warnings issued:", 0}), {" Total number of warnings issued: 0"}},
      {recs({" <H4> Job number ", 2, "</H4></A>"}), {" <H4> Job number 2</H4></A>"}},
      {recs({1, 2, -3}), {" 1 2 -3"}},
      {recs({1.5, true}), {" 1.50000000 T"}},
      {recs({}), {""}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(ListWrite, WrapsAtEightyColumns) {
  std::vector<double> v(10, 1.0);
  const auto r = recs({std::span<const double>(v)});
  // " 1.00000000" is 11 characters; seven fit in 80 columns.
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].size(), 7u * 11u);
  EXPECT_EQ(r[1], " 1.00000000 1.00000000 1.00000000");
  for (const auto& s : r) EXPECT_LE(s.size(), 80u);
  // A text too long for the rest of a record starts the next one.
  const auto t = recs({std::string(60, 'a'), std::string(30, 'b')});
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1], " " + std::string(30, 'b'));
}

TEST(ListRead, SeparatorsRepeatsAndSlash) {
  int i = -1, j = -1, k = -1;
  double x = 0, y = 0;
  Lines src{{" 3, 4.5  ", "2*7.25e1 /"}};
  std::vector<double> dv(2, -9.0);
  std::span<double> ds(dv);
  In items[] = {i, x, ds, y};
  EXPECT_EQ(list_read(items, std::ref(src)), IoStat::Ok);
  EXPECT_EQ(i, 3);
  EXPECT_DOUBLE_EQ(x, 4.5);
  EXPECT_DOUBLE_EQ(dv[0], 72.5);
  EXPECT_DOUBLE_EQ(dv[1], 72.5);
  EXPECT_DOUBLE_EQ(y, 0.0);  // the slash ended the read
  (void)j;
  (void)k;
}

TEST(ListRead, NullValuesLeaveItemsUnchanged) {
  int a = 1, b = 2, c = 3;
  Lines src{{"10,,30"}};
  In items[] = {a, b, c};
  EXPECT_EQ(list_read(items, std::ref(src)), IoStat::Ok);
  EXPECT_EQ(a, 10);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 30);
}

TEST(ListRead, ExponentFormsAndText) {
  double a = 0, b = 0, c = 0;
  std::string s(6, ' ');
  Lines src{{"1.5D+02 -2d-1 'it''s' 3.0"}};
  In items[] = {a, b, s, c};
  EXPECT_EQ(list_read(items, std::ref(src)), IoStat::Ok);
  EXPECT_DOUBLE_EQ(a, 150.0);
  EXPECT_DOUBLE_EQ(b, -0.2);
  EXPECT_EQ(s, "it's  ");
  EXPECT_DOUBLE_EQ(c, 3.0);
}

TEST(ListRead, EndAndErrorStatuses) {
  int a = 0, b = 0;
  {
    Lines src{{"1"}};
    In items[] = {a, b};
    EXPECT_EQ(list_read(items, std::ref(src)), IoStat::End);
  }
  {
    Lines src{{"1 x"}};
    In items[] = {a, b};
    EXPECT_EQ(list_read(items, std::ref(src)), IoStat::Error);
  }
  {
    // An integer beyond the 32-bit range is bad input, not a wrapped value.
    Lines src{{"4294967297 1"}};
    In items[] = {a, b};
    EXPECT_EQ(list_read(items, std::ref(src)), IoStat::Error);
  }
  {
    Lines src{{"2.5 1"}};
    In items[] = {a, b};
    EXPECT_EQ(list_read(items, std::ref(src)), IoStat::Error);
  }
}
