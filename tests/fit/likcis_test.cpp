// The pieces of the likelihood-based interval search: the element test, the
// table of finished intervals and the offset of start values near zero.
#include "fit/likcis.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <span>

#include <string>
#include <vector>

#include "fit_fixture.hpp"

namespace qv::fit {
namespace {

using testing_support::FitJobTest;
using testing_support::Mat;
using testing_support::jobctl_capture;

// A request label as the request reader writes it: the letter in character
// 2, group, row and column in columns 4-6, 8-10 and 12-14.
std::string label(char letter, int g, int i, int j) {
  char buf[40];
  std::snprintf(buf, sizeof buf, " %c %3d %3d %3d", letter, g, i, j);
  std::string s(buf);
  s.resize(32, ' ');
  return s;
}

class LikcisTest : public FitJobTest {
 protected:
  void SetUp() override {
    FitJobTest::SetUp();
    job(1);
    matrices(1, {{'A', jobbase::kTypeFull, 2, 2, {1, 0, 2, 3}},
                 {'D', jobbase::kTypeDiag, 2, 2, {4, 0}},
                 {'S', jobbase::kTypeSym, 2, 2, {5, 6, 0}},
                 {'L', jobbase::kTypeLower, 2, 2, {7, 8, 9}},
                 {'B', jobbase::kTypeSubdiag, 2, 2, {10}},
                 {'T', jobbase::kTypeStand, 2, 2, {11}},
                 {'Z', jobbase::kTypeZero, 2, 2, {}},
                 {'U', jobbase::kTypeUnit, 2, 2, {}},
                 {'C', jobbase::kTypeComputed, 2, 2, {0, 0, 0, 0}}});
    close();
  }
};

TEST_F(LikcisTest, ElementTestAcceptsFreeParametersAndComputedElementsOnly) {
  struct Case {
    char letter;
    int i, j, want;
  } cases[] = {
      {'A', 1, 1, 1}, {'A', 1, 2, 0},  // free, fixed
      {'A', 2, 2, 1}, {'D', 1, 1, 1}, {'D', 2, 2, 0}, {'D', 1, 2, 0},  // DI off the diagonal
      {'S', 2, 1, 1}, {'S', 2, 2, 0}, {'L', 2, 2, 1}, {'L', 1, 2, 0},  // LO above the diagonal
      {'B', 2, 1, 1}, {'B', 1, 1, 0}, {'B', 1, 2, 0},                  // SD on or above
      {'T', 2, 1, 1}, {'T', 2, 2, 0},                                  // ST on the diagonal
      {'Z', 1, 1, 0}, {'U', 1, 1, 0}, {'C', 2, 2, 1},                  // constant, UN, computed
  };
  for (const auto& c : cases)
    EXPECT_EQ(CIELEM(X(), 1, 1, label(c.letter, 1, c.i, c.j)), c.want) << c.letter << c.i << c.j;
}

TEST_F(LikcisTest, RepeatedRequestIsPrintedFromTheTable) {
  const std::string lab = label('A', 1, 2, 1);  // specification 2
  EXPECT_EQ(CILIST(X(), 1, 1, lab, 95.0, 0.5, 0.25, 99.0, 0, 1, 99, 5, false, true, 0), 0);
  EXPECT_EQ(CILIST(X(), 1, 1, lab, 95.0, 0.5, 0.25, 0.75, 0, 1, 99, 5, false, true, 1), 1);
  EXPECT_EQ(CITAB.NCI, 1);
  // The same parameter under another label is found; another percentage is not.
  std::string out = jobctl_capture([&] {
    EXPECT_EQ(CILIST(X(), 1, 1, lab, 95.0, 0, 0, 0, 0, 0, 0, 0, false, true, 0), 1);
    EXPECT_EQ(CILIST(X(), 1, 1, lab, 90.0, 0, 0, 0, 0, 0, 0, 0, false, true, 0), 0);
  });
  EXPECT_EQ(out, "  A   1   2   1  95.0        0.5000        0.2500        0.7500  0 1   * 5\n");
  // Computed elements are never stored or found.
  const std::string comp = label('C', 1, 1, 1);
  EXPECT_EQ(CILIST(X(), 1, 1, comp, 95.0, 1, 0, 2, 0, 0, 0, 0, false, true, 1), 1);
  EXPECT_EQ(CITAB.NCI, 1);
  EXPECT_EQ(CILIST(X(), 1, 1, comp, 95.0, 0, 0, 0, 0, 0, 0, 0, false, true, 0), 0);
}

TEST_F(LikcisTest, FullTableWarnsAndStoresNoMore) {
  const std::string lab = label('A', 1, 1, 1);
  for (int k = 0; k < Cilist::kMax; ++k)
    CILIST(X(), 1, 1, lab, 50.0 + 0.1 * k, 1, 0, 2, 0, 0, 0, 0, false, true, 1);
  EXPECT_EQ(CITAB.NCI, 200);
  const std::string out =
      jobctl_capture([&] { EXPECT_EQ(CILIST(X(), 1, 1, lab, 99.0, 1, 0, 2, 0, 0, 0, 0, false, true, 1), 1); });
  EXPECT_EQ(CITAB.NCI, 200);
  EXPECT_EQ(jobbase::MAINPR.NWARN, 1);
  EXPECT_EQ(out,
            " *** WARNING! ***\n No further confidence intervals will be\n checked for duplicates\n"
            " Inefficiency may result\n");
  EXPECT_EQ(CILIST(X(), 1, 1, lab, 99.0, 0, 0, 0, 0, 0, 0, 0, false, true, 0), 0);
}

TEST_F(LikcisTest, OffsetMovesValuesNearZeroToOneHundredth) {
  const double off = static_cast<double>(0.01f);
  struct Case {
    double in, out;
  } cases[] = {
      {0.0, off}, {0.005, off}, {-0.005, -off}, {-1e-12, -off},
      {off, off}, {-off, -off}, {0.5, 0.5},     {-2.0, -2.0},
  };
  std::vector<double> x;
  for (const auto& c : cases) x.push_back(c.in);
  OFFZER(Vec1<double>(std::span<double>(x)), static_cast<int>(x.size()));
  for (std::size_t k = 0; k < x.size(); ++k) EXPECT_EQ(x[k], cases[k].out) << cases[k].in;
  const std::string u7 = unit7();
  EXPECT_NE(u7.find(" Parameter 1 has been offset to 9.99999978E-03\n"), std::string::npos) << u7;
  EXPECT_EQ(u7.find("Parameter 5 "), std::string::npos) << u7;
}

}  // namespace
}  // namespace qv::fit
