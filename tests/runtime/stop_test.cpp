// Stops under a StopSeam unwind with the status the process would end with;
// without one they end the process as before.
#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "runtime/stop.hpp"

namespace qv::runtime {
namespace {

TEST(StopSeam, StopsUnwindWithTheirStatusAndText) {
  const StopSeam seam;
  struct Case {
    void (*stop_fn)();
    int status;
    const char* text;
  };
  const Case cases[] = {
      {[] { stop(); }, 0, ""},
      {[] { stop(911); }, 1, "STOP 911 statement executed\n"},
      {[] { stop(""); }, 1, "STOP statement executed\n"},
      {[] { abort_run(); }, 1, ""},
  };
  for (const Case& c : cases) {
    ::testing::internal::CaptureStderr();
    int status = -1;
    try {
      c.stop_fn();
    } catch (const RunStopped& s) {
      status = s.status;
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.text);
    EXPECT_EQ(status, c.status);
  }
}

TEST(StopSeam, NotCaughtAsAStandardException) {
  const StopSeam seam;
  bool unwound = false;
  try {
    try {
      stop(1);
    } catch (const std::exception&) {
      FAIL() << "a stop must pass handlers of library errors";
    }
  } catch (const RunStopped&) {
    unwound = true;
  }
  EXPECT_TRUE(unwound);
}

TEST(StopSeam, WithoutASeamTheProcessEnds) {
  EXPECT_EXIT(stop(911), ::testing::ExitedWithCode(1), "STOP 911 statement executed");
  EXPECT_EXIT(stop(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qv::runtime
