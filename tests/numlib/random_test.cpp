// Random numbers, ranking and rearranging, weighted cross-products.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "capture.hpp"
#include "numlib/machconst.hpp"
#include "numlib/random.hpp"

namespace qv::numlib {
namespace {

// Reference deviates, computed independently with python3's integers: the
// seed's first product in 32-bit wrap-around limb arithmetic (the seed limbs
// are wider than 15 bits), every later term as 13^13 x mod 2^60 with exact
// integers, each deviate formed as (x4 2^15 + x3) 2^-30 + (x2 2^15 + x1) 2^-60.
struct Ref {
  int n;
  double u;
};
const Ref kRef[] = {
    {1, 0.932388129438077},    {2, 0.9679570837389243}, {3, 0.06080790665929604},
    {63, 0.12450121246531508}, {64, 0.04272248383970293}, {65, 0.8319171523842018},
    {126, 0.7903851912114942}, {127, 0.564303608895321},
};

TEST(Rng, FirstDeviatesOfARun) {
  RNGSTA.reset();
  std::vector<double> u(128);
  for (int i = 1; i <= 127; ++i) u[i] = RNGNEXT();
  for (const Ref& r : kRef) EXPECT_EQ(u[r.n], r.u) << r.n;
  for (int i = 1; i <= 127; ++i) {
    EXPECT_GE(u[i], 0.0);
    EXPECT_LT(u[i], 1.0);
  }
  // The same stream in every run: a reset state gives it again.
  RNGSTA.reset();
  EXPECT_EQ(RNGNEXT(), kRef[0].u);
  // RNGINIT after the first seeding only clears its flag.
  int flag = 5;
  RNGINIT(flag);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(RNGNEXT(), kRef[1].u);
}

TEST(Rng, LargestDeviateIsBelowOne) {
  // 2^60 - 1 would give a deviate that rounds to 1.0; it is held to 1 - EPSMACH.
  const double top = (32767 * 32768.0 + 32767) * 0x1p-30 + (32767 * 32768.0 + 32767) * 0x1p-60;
  EXPECT_EQ(top, 1.0);
  // Entry 1 = -(13^(13*63))^-1 mod 2^60 (python3 pow(A, -1, 2**60)) becomes
  // 2^60 - 1 at the next refill.
  RNGSTA.reset();
  int flag = 1;
  RNGINIT(flag);
  RNGSTA.x1[1] = 771;
  RNGSTA.x2[1] = 26165;
  RNGSTA.x3[1] = 5920;
  RNGSTA.x4[1] = 12545;
  RNGFILL(0);
  EXPECT_EQ(RNGSTA.x1[1], 0x7fff);
  EXPECT_EQ(RNGSTA.x4[1], 0x7fff);
  EXPECT_EQ(RNGSTA.u[1], 1.0 - EPSMACH());
  EXPECT_LT(RNGSTA.u[1], 1.0);
  RNGSTA.reset();
}

TEST(Rng, UniformBetweenBoundsInEitherOrder) {
  RNGSTA.reset();
  for (int i = 0; i < 200; ++i) {
    const double r = RNDUAB(5.0, 2.0);
    EXPECT_GE(r, 2.0);
    EXPECT_LE(r, 5.0);
  }
  RNGSTA.reset();
  EXPECT_DOUBLE_EQ(RNDUAB(2.0, 5.0), (1 - kRef[0].u) * 2.0 + kRef[0].u * 5.0);
  RNGSTA.reset();
}

std::vector<int> ranks(const std::vector<double>& v, const char* order, int& ifail, int m1 = 1, int m2 = 0) {
  if (m2 == 0) m2 = static_cast<int>(v.size());
  std::vector<int> r(v.size(), -7);
  ifail = 1;
  M01DAF(v, m1, m2, order, r, ifail);
  return r;
}

TEST(M01daf, RanksWithTiesInIndexOrder) {
  struct Case {
    std::vector<double> v;
    const char* order;
    std::vector<int> want;
  };
  const Case cases[] = {
      {{3, 1, 3, 2}, "A", {3, 1, 4, 2}},
      {{3, 1, 3, 2}, "D", {1, 4, 2, 3}},
      {{3, 1, 3, 2}, "a", {3, 1, 4, 2}},
      {{3, 1, 3, 2}, "d", {1, 4, 2, 3}},
      {{7}, "A", {1}},
      {{2, 2, 2}, "D", {1, 2, 3}},
      {{5, 4, 3, 2, 1}, "A", {5, 4, 3, 2, 1}},
      {{-1, 0.5, -2, 0.5, 9, -1}, "A", {2, 4, 1, 5, 6, 3}},
      {{-1, 0.5, -2, 0.5, 9, -1}, "D", {4, 2, 6, 3, 1, 5}},
  };
  for (const Case& c : cases) {
    int ifail = -1;
    EXPECT_EQ(ranks(c.v, c.order, ifail), c.want) << c.order;
    EXPECT_EQ(ifail, 0);
  }
}

TEST(M01daf, LongVectorsAgainstStableSort) {
  // Long enough for several runs and merge passes; many ties.
  for (int n : {11, 12, 37, 100, 1000}) {
    std::vector<double> v(n);
    unsigned s = 12345u + n;
    for (int i = 0; i < n; ++i) {
      s = s * 1103515245u + 12345u;
      v[i] = static_cast<double>((s >> 16) % 23) - 11.0;
    }
    for (const char* order : {"A", "D"}) {
      int ifail = -1;
      const std::vector<int> r = ranks(v, order, ifail);
      ASSERT_EQ(ifail, 0);
      // Expected rank of i: elements before it in the order, +1.
      const bool asc = order[0] == 'A';
      for (int i = 0; i < n; ++i) {
        int before = 0;
        for (int j = 0; j < n; ++j) {
          const bool ahead = asc ? v[j] < v[i] : v[j] > v[i];
          if (ahead || (v[j] == v[i] && j < i)) ++before;
        }
        ASSERT_EQ(r[i], before + 1) << n << order << i;
      }
    }
  }
}

TEST(M01daf, SubrangeRanksRunFromM1) {
  std::vector<double> v = {9, 3, 1, 2, 9};
  std::vector<int> r(5, -7);
  int ifail = 1;
  M01DAF(v, 2, 4, "A", r, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(r, (std::vector<int>{-7, 4, 2, 3, -7}));
  M01DAF(v, 3, 3, "D", r, ifail);
  EXPECT_EQ(r[2], 3);
}

TEST(M01daf, Errors) {
  struct Case {
    int m1, m2;
    const char* order;
    int err;
    std::vector<std::string> recs;
  };
  const Case cases[] = {
      {0, 3, "A", 1,
       {" ** On entry, one or more of the following parameter values is illegal",
        "    M1 =               0  M2 =               3"}},
      {3, 2, "A", 1,
       {" ** On entry, one or more of the following parameter values is illegal",
        "    M1 =               3  M2 =               2"}},
      {1, 0, "Q", 1,
       {" ** On entry, one or more of the following parameter values is illegal",
        "    M1 =               1  M2 =               0"}},
      {1, 3, "Q", 2, {" ** On entry, ORDER has an illegal value: ORDER = Q"}},
  };
  for (const Case& c : cases) {
    std::vector<double> v = {1, 2, 3};
    std::vector<int> r(3, -7);
    test::UnitCapture cap;
    int ifail = -1;
    M01DAF(v, c.m1, c.m2, c.order, r, ifail);
    EXPECT_EQ(ifail, c.err);
    const auto lines = cap.lines();
    ASSERT_EQ(lines.size(), c.recs.size() + 2);
    for (std::size_t i = 0; i < c.recs.size(); ++i) EXPECT_EQ(lines[i], c.recs[i]);
    EXPECT_EQ(lines[c.recs.size()], " ** ABNORMAL EXIT from Numerical Library routine M01DAF: IFAIL =     " +
                                        std::to_string(c.err));
  }
}

TEST(M01eaf, RearrangesByRank) {
  std::vector<double> v = {3, 1, 3.5, 2};
  int ifail = 1;
  std::vector<int> r = ranks(v, "A", ifail);
  M01EAF(v, 1, 4, r, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(v, (std::vector<double>{1, 2, 3, 3.5}));
  EXPECT_EQ(r, (std::vector<int>{3, 1, 4, 2}));  // ranks come back positive
  // A subrange with several cycles.
  std::vector<double> w = {0, 10, 20, 30, 40, 50, 60, 0};
  std::vector<int> q = {99, 3, 2, 6, 7, 4, 5, 99};
  M01EAF(w, 2, 7, q, ifail);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(w, (std::vector<double>{0, 20, 10, 50, 60, 30, 40, 0}));
}

TEST(M01eaf, Errors) {
  struct Case {
    std::vector<int> irank;
    int m1, m2, err;
    std::vector<std::string> recs;
  };
  const Case cases[] = {
      {{2, 2, 1}, 1, 3, 3,
       {" ** IRANK(M1:M2) does not contain a permutation of the integers M1 to M2",
        "    IRANK contains a repeated value               2"}},
      {{1, 4, 2}, 1, 3, 2,
       {" ** IRANK(M1:M2) does not contain a permutation of the integers M1 to M2",
        "    IRANK(     2) contains an out-of-range value               4"}},
      {{1, 2, 3}, 2, 1, 1,
       {" ** On entry, one or more of the following parameter values is illegal",
        "    M1 =               2  M2 =               1"}},
  };
  for (const Case& c : cases) {
    std::vector<double> v = {1, 2, 3};
    std::vector<int> r = c.irank;
    test::UnitCapture cap;
    int ifail = -1;
    M01EAF(v, c.m1, c.m2, r, ifail);
    EXPECT_EQ(ifail, c.err);
    EXPECT_EQ(r, c.irank);  // signs restored
    const auto lines = cap.lines();
    ASSERT_EQ(lines.size(), c.recs.size() + 2);
    for (std::size_t i = 0; i < c.recs.size(); ++i) EXPECT_EQ(lines[i], c.recs[i]);
  }
}

TEST(G02btf, WeightedMeansAndCrossProducts) {
  // Observations (1, 2), (3, 0), (2, 5) with weights 1, 2, 0.5, added with
  // stride 2 from an interleaved array.
  const double obs[3][2] = {{1, 2}, {3, 0}, {2, 5}};
  const double wts[3] = {1, 2, 0.5};
  for (const char* mean : {"M", "z"}) {
    double sw = 0.0;
    std::vector<double> xbar(2, -1.0), ssp(3, -1.0);
    for (int k = 0; k < 3; ++k) {
      const std::vector<double> x = {obs[k][0], 99.0, obs[k][1]};
      int ifail = 0;
      G02BTF(mean, 2, wts[k], x, 2, sw, xbar, ssp, ifail);
      ASSERT_EQ(ifail, 0);
    }
    const double W = 3.5;
    double m[2] = {0, 0};
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 2; ++i) m[i] += wts[k] * obs[k][i] / W;
    EXPECT_DOUBLE_EQ(sw, W);
    EXPECT_NEAR(xbar[0], m[0], 1e-14);
    EXPECT_NEAR(xbar[1], m[1], 1e-14);
    // Packed (1,1), (1,2), (2,2).
    const int pi[3] = {0, 0, 1}, pj[3] = {0, 1, 1};
    for (int p = 0; p < 3; ++p) {
      double want = 0;
      for (int k = 0; k < 3; ++k) {
        if (mean[0] == 'M') want += wts[k] * (obs[k][pi[p]] - m[pi[p]]) * (obs[k][pj[p]] - m[pj[p]]);
        else want += wts[k] * obs[k][pi[p]] * obs[k][pj[p]];
      }
      EXPECT_NEAR(ssp[p], want, 1e-13) << mean << p;
    }
  }
}

TEST(G02btf, FirstObservationZeroWeightAndRemoval) {
  // MEAN "M", SW = 0, WT = 2: XBAR is the observation, SSP zero.
  {
    double sw = 0.0;
    std::vector<double> xbar(2, -1), ssp(3, -1);
    const std::vector<double> x = {4, 5};
    int ifail = 1;
    G02BTF("m", 2, 2.0, x, 1, sw, xbar, ssp, ifail);
    EXPECT_EQ(ifail, 0);
    EXPECT_EQ(sw, 2.0);
    EXPECT_EQ(xbar, x);
    EXPECT_EQ(ssp, (std::vector<double>{0, 0, 0}));
    // Taking the observation away again (weight -2) leaves nothing.
    G02BTF("M", 2, -2.0, x, 1, sw, xbar, ssp, ifail);
    EXPECT_EQ(ifail, 0);
    EXPECT_EQ(sw, 0.0);
    EXPECT_EQ(xbar, (std::vector<double>{0, 0}));
    EXPECT_EQ(ssp, (std::vector<double>{0, 0, 0}));
  }
  // WT = 0 changes nothing and does not look at MEAN.
  {
    double sw = 1.5;
    std::vector<double> xbar = {1, 2}, ssp = {3, 4, 5};
    const std::vector<double> x = {9, 9};
    int ifail = -1;
    G02BTF("Q", 2, 0.0, x, 1, sw, xbar, ssp, ifail);
    EXPECT_EQ(ifail, 0);
    EXPECT_EQ(sw, 1.5);
    EXPECT_EQ(xbar, (std::vector<double>{1, 2}));
    EXPECT_EQ(ssp, (std::vector<double>{3, 4, 5}));
  }
}

TEST(G02btf, Errors) {
  struct Case {
    const char* mean;
    int m, incx;
    double sw, wt;
    int err;
    const char* rec;
  };
  const Case cases[] = {
      {"M", 2, 0, 0.0, 1.0, 1, " ** On entry, INCX.lt.1 : INCX =                0"},
      {"M", 0, 1, 0.0, 1.0, 1, " ** On entry, M.lt.1 : M =                0"},
      {"M", 2, 1, -1.0, 1.0, 2, " ** On entry, SW.lt.0.0 : SW =  -0.10000D+01"},
      {"M", 2, 1, 1.0, -3.0, 3, " ** On entry, (SW+WT).lt.0.0 : (SW+WT) =  -0.20000D+01"},
      {"Q", 2, 1, 1.0, 1.0, 4, " ** On entry, MEAN is not valid : MEAN = Q"},
  };
  for (const Case& c : cases) {
    double sw = c.sw;
    std::vector<double> xbar(2), ssp(3);
    const std::vector<double> x = {1, 2};
    test::UnitCapture cap;
    int ifail = -1;
    G02BTF(c.mean, c.m, c.wt, x, c.incx, sw, xbar, ssp, ifail);
    EXPECT_EQ(ifail, c.err);
    const auto lines = cap.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], c.rec);
  }
}

}  // namespace
}  // namespace qv::numlib
