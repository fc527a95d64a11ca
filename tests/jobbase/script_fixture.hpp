// Test support for the line reader, lexer and error routine: script text
// fed on a unit of its own, the program state reset between tests, and the
// report captured from standard output.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "jobbase/htmlrep.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/hashcmd.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"
#include "support/expect_stop.hpp"
#include "support/reset.hpp"
#include "support/script_unit.hpp"

namespace qv::jobbase::testing_support {

// Unit on which the tests feed the script (in place of standard input).
using ::qv::testing_support::kScriptUnit;

inline std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + "qvjc1_" + std::to_string(::getpid()) + "_" + name;
}

inline std::string write_file(const std::string& name, const std::string& text) {
  const std::string path = temp_path(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_all(); }
  void TearDown() override {
    for (int u = runtime::kFirstIncUnit; u < runtime::kFirstIncUnit + 10; ++u) runtime::close_unit(u);
    runtime::close_unit(kScriptUnit);
  }

  static void reset_all() {
    ::qv::testing_support::reset_every_area();
    MAINPR.ECHOLN = false;
    MAINPR.PI = 3.141592653589793;
  }

  // Makes text the script being read (depth 1).
  void feed(const std::string& text) {
    const std::string path = write_file("script_" + std::to_string(++nfeed_), text);
    runtime::close_unit(kScriptUnit);
    read_script_from(kScriptUnit, path);
  }

  // The current line as the parsers see it, up to its length.
  static std::string line() { return LINBUF.LINE.substr(0, CURSOR.LLEN); }

  int nfeed_ = 0;
};

// Runs f and returns what it wrote on standard output.
template <class F>
std::string capture(F f) {
  ::testing::internal::CaptureStdout();
  f();
  return ::testing::internal::GetCapturedStdout();
}

}  // namespace qv::jobbase::testing_support

// Expects stmt to stop the run with error `code`, an int known at compile or
// run time.
#define EXPECT_QV_ERROR(stmt, code) EXPECT_QV_STOP(stmt, ::qv::testing_support::error_stop_regex(code))
