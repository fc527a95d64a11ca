// Helpers for tests that compare report text: the expected lines, and the
// library's message units pointed at the unit being written.
#pragma once

#include <initializer_list>
#include <string>

#include "numlib/errexit.hpp"

namespace qv::fit::testing_support {

// The report lines given, each ended.
inline std::string lines(std::initializer_list<std::string> ls) {
  std::string s;
  for (const std::string& l : ls) s += l + "\n";
  return s;
}

// The library's error and advisory messages go to unit u (the fit sends them
// to 7 while it runs; the listings are written with them on the report, 6).
inline void library_units(int u) {
  numlib::ERRUNIT(1, u);
  numlib::ADVUNIT(1, u);
}

}  // namespace qv::fit::testing_support
