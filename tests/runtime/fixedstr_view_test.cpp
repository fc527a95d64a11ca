// Blank-padded text helpers and the 1-based views.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/fixedstr.hpp"
#include "runtime/view1.hpp"

using namespace qv::runtime;

TEST(FixedStr, PaddingAndComparison) {
  EXPECT_EQ(fpad("ab", 4), "ab  ");
  EXPECT_EQ(fpad("abcdef", 3), "abc");
  std::string d(5, 'x');
  fassign(d, "hi");
  EXPECT_EQ(d, "hi   ");
  fassign(d, "toolongtext");
  EXPECT_EQ(d, "toolo");
  std::string e(8, '.');
  fassign_sub(e, 3, 5, "abcd");
  EXPECT_EQ(e, "..abc...");
  EXPECT_TRUE(feq("AB", "AB   "));
  EXPECT_FALSE(feq("AB", "AB  C"));
  EXPECT_LT(fcompare("AB", "AB C"), 0);
  EXPECT_EQ(len_trim("ab  "), 2u);
  EXPECT_EQ(len_trim("   "), 0u);
  EXPECT_EQ(findex("hello", "ll"), 3u);
  EXPECT_EQ(findex("hello", "z"), 0u);
  EXPECT_EQ(fsub("abcdef", 2, 4), "bcd");
  EXPECT_EQ(fsub("abc", 3, 2), "");
  EXPECT_EQ(upper("aBc1!"), "ABC1!");
}

TEST(View1, VectorAndColumnMajorMatrix) {
  std::vector<double> s{1, 2, 3, 4, 5, 6};
  Vec1<double> v{std::span<double>(s)};
  EXPECT_EQ(v(1), 1);
  EXPECT_EQ(v(6), 6);
  EXPECT_EQ(v.from(3)(1), 3);
  // 2 x 3 matrix with leading dimension 2: a(i, j) = s[(i-1) + (j-1)*2].
  Mat1<double> a{std::span<double>(s), 2};
  EXPECT_EQ(a(1, 1), 1);
  EXPECT_EQ(a(2, 1), 2);
  EXPECT_EQ(a(1, 3), 5);
  EXPECT_EQ(a(2, 3), 6);
  EXPECT_EQ(a.col(2)(2), 4);
  EXPECT_EQ(a.from(2, 2)(1, 1), 4);
  a(2, 2) = 40;
  EXPECT_EQ(s[3], 40);
}

#ifdef QV_CHECK_BOUNDS
TEST(View1DeathTest, IndexOutsideStorageIsCaught) {
  std::vector<int> s(3);
  Vec1<int> v{std::span<int>(s)};
  EXPECT_DEATH(v(4), "outside storage");
  EXPECT_DEATH(v(0), "outside storage");
}
#endif
