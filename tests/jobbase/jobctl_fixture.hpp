// Small test support shared by the job-control tests that work on the
// program state directly (without the script fixture): a fresh state, a
// script fed on a unit of its own, and reports sent where death tests can
// match them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"
#include "support/reset.hpp"

// Runs a statement whose report goes to standard output with that output
// sent to standard error, so that a death test can match it.
#define REPORT_ON_STDERR(stmt) \
  do {                         \
    ::dup2(2, 1);              \
    stmt;                      \
  } while (0)

namespace qv::jobbase::testing_support {

// A test that starts from the state of a fresh run: every area reset, so
// the workspaces and the label table are empty.
class FreshStateTest : public ::testing::Test {
 protected:
  void SetUp() override { ::qv::testing_support::reset_every_area(); }
};

// Writes text to a new temporary file (its name begins with prefix) and
// makes it the script that the line reader reads next, on unit, with the
// reader's cursor and buffers fresh.
inline void feed_script_on(int unit, const std::string& prefix, const std::string& text) {
  static int n = 0;
  const std::string path = ::testing::TempDir() + prefix + "_" + std::to_string(::getpid()) + "_" +
                           std::to_string(++n) + ".qv";
  std::ofstream(path) << text;
  runtime::close_unit(unit);
  runtime::OpenSpec spec;
  spec.file = path;
  spec.status = "OLD";
  runtime::open_unit(unit, spec);
  INCSTK.reset();
  INCSTK.INUNIT = unit;
  CURSOR.reset();
  LINBUF.reset();
}

}  // namespace qv::jobbase::testing_support
