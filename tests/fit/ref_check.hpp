// What the whole-job tests of the fit share: the comparison of a value with
// its stored reference, reading a script or data file whole, and the
// start-up constants that the record likelihoods read.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "jobbase/areas.hpp"
#include "numlib/machconst.hpp"

namespace qv::testing_support {

// Success when actual lies within rel·|expected| of expected, or within
// floor where that is larger (values near zero); the message gives both
// values to full precision and their difference.
inline ::testing::AssertionResult near_ref(double actual, double expected, double rel, double floor = 0.0) {
  const double tol = std::max(rel * std::fabs(expected), floor);
  if (std::fabs(actual - expected) <= tol) return ::testing::AssertionSuccess();
  std::ostringstream s;
  s.precision(17);
  s << actual << " differs from the reference " << expected << " by " << actual - expected;
  return ::testing::AssertionFailure() << s.str();
}

// The whole file as text (empty when it cannot be read).
inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The start-up constants the record likelihoods read, as the program's
// start-up sets them.
inline void set_startup_constants() {
  auto& m = jobbase::MAINPR;
  m.PI = numlib::PICONST();
  m.SAFMIN = numlib::SAFEMIN();
  m.MLNSAF = -std::log(m.SAFMIN);
  m.LN1E30 = std::log(1.0E30);
}

}  // namespace qv::testing_support
