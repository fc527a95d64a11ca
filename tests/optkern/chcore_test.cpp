// The difference-interval search on functions whose derivatives are known.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "optkern/chcore.hpp"
#include "optkern/machine.hpp"
#include "runtime/units.hpp"

namespace qv::optkern {
namespace {

struct Search {
  int inform = -1;
  int iter = 0;
  double fdest = 0, cdest = 0, sdest = 0, errbnd = 0, hopt = 0, hcint = 0;
  int calls = 0;
};

// Runs a whole search for f at x the way the optimizer's interval routine
// does: start from hopt = 2(1+|x|)sqrt(fprec), h = 10 hopt.
Search run(const std::function<double(double)>& f, double x, double fprec, int unit = -1,
           ChcoreTrace style = ChcoreTrace::Optimizer, bool debug = false) {
  Search s;
  const double fx = f(x);
  const double absacc = fprec * (1.0 + std::abs(fx));
  s.hopt = 2.0 * (1.0 + std::abs(x)) * std::sqrt(fprec);
  double h = 10.0 * s.hopt;
  bool first = true, done = false;
  while (!done) {
    const double f1 = f(x + h);
    const double f2 = f((x + h) + h);
    s.calls += 2;
    chcore(debug, done, first, absacc, fprec, fx, s.inform, s.iter, 3, s.cdest, s.fdest, s.sdest,
           s.errbnd, f1, f2, h, s.hopt, s.hcint, unit, style);
  }
  return s;
}

TEST(Chcore, QuadraticGivesGoodInterval) {
  const double fprec = 1e-15;
  // f = 3x^2 - 2x + 1: f'(2) = 10, f''= 6.
  const Search s = run([](double x) { return 3 * x * x - 2 * x + 1; }, 2.0, fprec);
  EXPECT_EQ(s.inform, 0);
  EXPECT_NEAR(s.cdest, 10.0, 1e-6);
  EXPECT_NEAR(s.fdest, 10.0, 1e-3);
  EXPECT_NEAR(s.sdest, 6.0, 6e-3);
  EXPECT_GT(s.hopt, 0.0);
  EXPECT_GT(s.hcint, 0.0);
  EXPECT_LE(s.calls, 6);
  EXPECT_GE(s.errbnd, std::abs(s.fdest - s.cdest));
}

TEST(Chcore, VerdictsAfterThreeSteps) {
  const double fprec = 1e-15;
  // Constant: verdict 1, zero estimates, the central interval is the entry hopt.
  {
    const double hopt0 = 2.0 * (1.0 + 1.0) * std::sqrt(fprec);
    const Search s = run([](double) { return 5.0; }, 1.0, fprec);
    EXPECT_EQ(s.inform, 1);
    EXPECT_EQ(s.iter, 3);
    EXPECT_EQ(s.calls, 6);
    EXPECT_EQ(s.fdest, 0.0);
    EXPECT_EQ(s.cdest, 0.0);
    EXPECT_EQ(s.sdest, 0.0);
    EXPECT_EQ(s.errbnd, 0.0);
    EXPECT_DOUBLE_EQ(s.hcint, hopt0);
  }
  // Linear: verdict 2, the saved slope, no second derivative.
  {
    const Search s = run([](double x) { return 3.0 * x + 1.0; }, 1.0, fprec);
    EXPECT_EQ(s.inform, 2);
    EXPECT_EQ(s.iter, 3);
    EXPECT_NEAR(s.fdest, 3.0, 1e-6);
    EXPECT_NEAR(s.cdest, 3.0, 1e-6);
    EXPECT_EQ(s.sdest, 0.0);
    EXPECT_EQ(s.hcint, s.hopt);
    EXPECT_DOUBLE_EQ(s.errbnd, 2.0 * fprec * 5.0 / s.hopt);
  }
  // Very strong curvature for the noise level: the interval keeps shrinking
  // and the search settles for its best estimate (verdict 3).
  {
    const Search s = run([](double x) { return 1.0 + 1e14 * x * x; }, 0.0, fprec);
    EXPECT_EQ(s.inform, 3);
    EXPECT_EQ(s.iter, 3);
    EXPECT_NEAR(s.sdest, 2e14, 2e14 * 1e-6);
    EXPECT_EQ(s.hcint, s.hopt);
  }
}

TEST(Chcore, TooSmallStartIntervalIsEnlarged) {
  // A start interval so small that cancellation dominates: h grows.
  const double fprec = 1e-15;
  const double x = 1.0;
  const auto f = [](double t) { return std::exp(t); };
  const double fx = f(x);
  const double absacc = fprec * (1.0 + fx);
  double h = 1e-12, hopt = 1e-13, hcint = 0, cdest = 0, sdest = 0, fdest = 0, errbnd = 0;
  bool first = true, done = false;
  int inform = -1, iter = 0;
  chcore(false, done, first, absacc, fprec, fx, inform, iter, 3, cdest, fdest, sdest, errbnd, f(x + h),
         f(x + h + h), h, hopt, hcint, -1);
  EXPECT_FALSE(first);
  EXPECT_FALSE(done);
  EXPECT_TRUE(CHCSTA.ce2big);
  EXPECT_DOUBLE_EQ(h, 1e-12 * std::pow(fprec, -0.16) / 4.0);
}

TEST(Chcore, NegativeStepsForAVariableAtItsUpperBound) {
  // The caller may search with a negative h; the intervals come back positive.
  const double fprec = 1e-15;
  const double x = 2.0;
  const auto f = [](double t) { return t * t * t; };
  const double fx = f(x);
  const double absacc = fprec * (1.0 + fx);
  double hopt = 2.0 * 3.0 * std::sqrt(fprec);
  double h = -10.0 * hopt, hcint = 0, cdest = 0, sdest = 0, fdest = 0, errbnd = 0;
  bool first = true, done = false;
  int inform = -1, iter = 0;
  while (!done)
    chcore(false, done, first, absacc, fprec, fx, inform, iter, 3, cdest, fdest, sdest, errbnd,
           f(x + h), f((x + h) + h), h, hopt, hcint, -1);
  EXPECT_EQ(inform, 0);
  EXPECT_NEAR(cdest, 12.0, 1e-5);
  EXPECT_GT(hopt, 0.0);
  EXPECT_GT(hcint, 0.0);
}

std::vector<std::string> read_lines(const std::string& path) {
  std::vector<std::string> out;
  std::ifstream in(path);
  for (std::string s; std::getline(in, s);) out.push_back(s);
  return out;
}

TEST(Chcore, TraceLayouts) {
  char tmpl[] = "/tmp/qv_chcore_XXXXXX";
  const int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  close(fd);
  const std::string path = tmpl;
  const int unit = 73;
  const auto f = [](double t) { return t * t; };
  for (ChcoreTrace style : {ChcoreTrace::Optimizer, ChcoreTrace::Library}) {
    runtime::OpenSpec spec;
    spec.file = path;
    spec.status = "REPLACE";
    runtime::open_unit(unit, spec);
    run(f, 1.0, 1e-15, unit, style, true);
    runtime::close_unit(unit);
    const std::vector<std::string> lines = read_lines(path);
    ASSERT_GE(lines.size(), 8u);
    if (style == ChcoreTrace::Optimizer) {
      EXPECT_EQ(lines[0], "");
      EXPECT_EQ(lines[1].substr(0, 56), std::string(" //chcore//  Itn   1 fx     h      ") + std::string(5, ' ') +
                                            "    1.000000D+00");
      EXPECT_EQ(lines[2].substr(0, 40), " //chcore//  f1      fdest              ");
      EXPECT_EQ(lines[6], " //chcore//  ce1big  ce2big  te2big      F F F");
      EXPECT_EQ(lines[7].substr(0, 40), " //chcore//  inform  hopt    errbnd    0");
    } else {
      EXPECT_EQ(lines[0], " ");
      EXPECT_EQ(lines[1].substr(0, 45), " //E04XAZ//  ITN   1 FX     H    1.000000D+00");
      EXPECT_EQ(lines[5].substr(0, 27), " //E04XAZ//  FDCERR  SDCERR");
      EXPECT_EQ(lines[6], " //E04XAZ//  CE1BIG  CE2BIG  TE2BIG F F F");
      EXPECT_EQ(lines[7].substr(0, 40), " //E04XAZ//  INFORM  HOPT    ERRBND    0");
    }
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace qv::optkern
