// Death-test support: a statement that must stop the run with exit status 1
// and a report that matches.  In the dying child standard output is sent to
// standard error, where the death test reads it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace qv::testing_support {

// What a report ends with after error `code`: the error line, then the stop.
inline std::string error_stop_regex(int code) {
  return "error code is +" + std::to_string(code) + "\n(.*)STOP 911";
}

}  // namespace qv::testing_support

// Expects stmt to stop the run with a report that contains regex.
#define EXPECT_QV_STOP(stmt, regex)     \
  EXPECT_EXIT(                          \
      {                                 \
        ::dup2(2, 1);                   \
        stmt;                           \
      },                                \
      ::testing::ExitedWithCode(1), ::testing::ContainsRegex(regex))
