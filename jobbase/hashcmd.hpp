// Global variables (#define) and the '#' directives of the script.
#pragma once

#include <array>
#include <string>

#include "runtime/view1.hpp"

namespace qv::jobbase {

constexpr int MAXNAM = 500;

// Names given to numbers by "#define" lines, job-wide.
struct Namvar {
  std::array<std::string, MAXNAM + 1> NAMES;  // NAMES[i], i from 1: 32 characters, upper case
  std::array<double, MAXNAM + 1> VALUES{};    // VALUES[i] belongs to NAMES[i]
  int NNAMES = 0;                             // slots in use
  void reset() { *this = Namvar(); }
};
inline Namvar NAMVAR;

// Handles the '#' line at the cursor: "#G n" (group choice in multiple-fit
// mode; RESULT := the group's matrix-table base), "#PATH" (ignored) and
// "#define name value".
void HASHCMD(runtime::Vec1<double> X, int& RESULT);

// First slot whose 32 characters equal name: value and found = 1, else found = 0.
void NAMLUK(const std::string& name, double& value, int& found);

}  // namespace qv::jobbase
