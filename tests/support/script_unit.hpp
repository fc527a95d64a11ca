// The unit on which the tests, the benchmarks and the fuzzing entry feed a
// script file to the program in place of standard input: free of every unit
// the program assigns (runtime/unitnames.hpp) and of the include files'
// first levels.
#pragma once

namespace qv::testing_support {

constexpr int kScriptUnit = 40;

}  // namespace qv::testing_support
