// Workspace cells that hold integers (codes, counts, shapes) are doubles;
// icell reads one back as an int.
#pragma once

#include <cmath>

namespace qv::algebra {

// A cell read as an integer (truncated); values beyond the integers, and
// values that are not numbers, are clamped so that the conversion is defined.
inline int icell(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

}  // namespace qv::algebra
