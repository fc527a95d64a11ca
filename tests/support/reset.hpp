// The fixtures' reset of every area.
#pragma once

namespace qv::testing_support {

// Resets every area of the libraries that this test executable links to the
// state of a fresh run.  Each test executable links one definition (a file
// of tests/support/ named in tests/CMakeLists.txt), the reset of the highest
// library it tests, so every fixture calls this one function.
void reset_every_area();

}  // namespace qv::testing_support
