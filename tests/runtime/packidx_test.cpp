// Positions in packed triangular storage: one table of elements with their
// words, counted by hand from the layout (the lower triangle by rows:
// (1,1) (2,1) (2,2) (3,1) (3,2) (3,3) (4,1) ...; the strict lower triangle
// by rows: (2,1) (3,1) (3,2) (4,1) ...), and the whole layout walked in order.
#include <gtest/gtest.h>

#include <cstddef>

#include "runtime/packidx.hpp"

namespace {

using namespace qv::runtime;

// Element (i, j) of a lower triangle, its word counted from 1 with the
// diagonal, and from 1 without it (0 for a diagonal element, which the strict
// triangle does not hold).
struct Element {
  int i, j;
  int word;
  int strict_word;
};
constexpr Element kTable[] = {
    {1, 1, 1, 0},   {2, 1, 2, 1},   {2, 2, 3, 0},  {3, 1, 4, 2},   {3, 2, 5, 3},   {3, 3, 6, 0},
    {4, 1, 7, 4},   {4, 3, 9, 6},   {4, 4, 10, 0}, {5, 1, 11, 7},  {5, 4, 14, 10}, {9, 9, 45, 0},
    {10, 1, 46, 37}, {10, 9, 54, 45}, {10, 10, 55, 0},
    // The largest order whose triangle an int still counts: 46340 x 46341 / 2.
    {46340, 46340, 1073720970, 0},
};

// The words of a triangle of order n: with and without the diagonal.
struct Order {
  int n;
  int words;
  int strict_words;
};
constexpr Order kOrders[] = {{0, 0, 0},   {1, 1, 0},   {2, 3, 1},   {3, 6, 3},
                             {4, 10, 6},  {9, 45, 36}, {10, 55, 45}, {46340, 1073720970, 1073674630}};

static_assert(packed_index(3, 2) == 5 && packed_offset(3, 2) == 4 && packed_size(3) == 6);

TEST(PackedIndex, EachElementOfTheTableIsAtItsWord) {
  for (const Element& e : kTable) {
    EXPECT_EQ(packed_index(e.i, e.j), e.word) << e.i << "," << e.j;
    EXPECT_EQ(packed_offset(e.i, e.j), e.word - 1) << e.i << "," << e.j;
    EXPECT_EQ(packed_index_sym(e.i, e.j), e.word) << e.i << "," << e.j;
    EXPECT_EQ(packed_index_sym(e.j, e.i), e.word) << e.j << "," << e.i;
    EXPECT_EQ(packed_offset_sym(e.j, e.i), e.word - 1) << e.j << "," << e.i;
    if (e.i > e.j) {
      EXPECT_EQ(strict_index(e.i, e.j), e.strict_word) << e.i << "," << e.j;
      EXPECT_EQ(strict_offset(e.i, e.j), e.strict_word - 1) << e.i << "," << e.j;
    }
  }
  for (const Order& o : kOrders) {
    EXPECT_EQ(packed_size(o.n), o.words) << o.n;
    EXPECT_EQ(strict_size(o.n), o.strict_words) << o.n;
    // The last word of a triangle is its last diagonal element.
    if (o.n > 0) {
      EXPECT_EQ(packed_index(o.n, o.n), o.words) << o.n;
    }
  }
}

TEST(PackedIndex, TheLayoutIsTheTriangleByRowsWithNoGapOrOverlap) {
  constexpr int n = 12;
  int word = 0, strict = 0;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= i; ++j) {
      EXPECT_EQ(packed_index(i, j), ++word);
      if (j < i) {
        EXPECT_EQ(strict_index(i, j), ++strict);
      }
    }
  EXPECT_EQ(word, packed_size(n));
  EXPECT_EQ(strict, strict_size(n));
}

TEST(PackedIndex, AWiderTypeCountsBeyondTheRangeOfAnInt) {
  // 100000 x 99999 / 2 + 1 = 4999950001 passes 2^31.
  EXPECT_EQ(packed_index<std::ptrdiff_t>(100000, 1), 4999950001);
  EXPECT_EQ(packed_offset<std::ptrdiff_t>(100000, 100000), 5000049999);
  EXPECT_EQ(packed_size<long long>(100000), 5000050000LL);
}

}  // namespace
