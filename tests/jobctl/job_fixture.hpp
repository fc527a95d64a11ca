// Test support that lays out a job in the workspace from a short script, the
// way the program does: the script is read through the job loop's steps
// (read_job, then prepare_job), so the group table, matrix tables, storage
// and formulas are where the program puts them, and a test looks at them
// through the group's columns instead of placing numbers by hand.
#pragma once

#include <filesystem>
#include <string>
#include <utility>

#include "jobctl/mainprog.hpp"
#include "jobctl/matdecl.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/workspace.hpp"
#include "jobbase/script_fixture.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl::testing_support {

class JobTest : public jobbase::testing_support::ScriptTest {
 protected:
  // Reads the job in text (its report captured and returned) and, unless
  // prepare is false, prepares it.
  std::string build(const std::string& text, bool prepare = true) {
    feed(text);
    return jobbase::testing_support::capture([&] {
      jobbase::RDLINE();
      ASSERT_TRUE(read_job());
      if (prepare) prepare_job();
    });
  }

  // Reads, prepares and runs the first `jobs` jobs of text one after
  // another, as the job loop does, calling after_job() after each (to note
  // what the job left); returns the report.
  template <class AfterJob>
  std::string run_jobs(const std::string& text, int jobs, AfterJob after_job) {
    feed(text);
    return jobbase::testing_support::capture([&] {
      for (int k = 0; k < jobs; ++k) {
        jobbase::RDLINE();
        ASSERT_TRUE(read_job());
        prepare_job();
        run_job();
        after_job();
      }
    });
  }
  std::string run_jobs(const std::string& text, int jobs = 1) {
    return run_jobs(text, jobs, [] {});
  }

  static runtime::Vec1<double> X() { return jobbase::WORKSP.x(); }
  // Column k of group g's row of the group table.
  static double& col(int k, int g = 1) { return jobbase::GRPTAB(X(), jobbase::MAINPR.NG, k, g); }
  // Word w (1-based) of group g's matrix table.
  static double& mattab(int w, int g = 1) { return X()(static_cast<int>(col(7, g)) + w - 1); }
  // Type, rows, columns and storage address of matrix L of group g.
  static int type(char L, int g = 1) { return static_cast<int>(jobbase::MTTYPE(X(), static_cast<int>(col(7, g)), L - 'A' + 1)); }
  static int rows(char L, int g = 1) { return static_cast<int>(jobbase::MTROWS(X(), static_cast<int>(col(7, g)), L - 'A' + 1)); }
  static int cols(char L, int g = 1) { return static_cast<int>(jobbase::MTCOLS(X(), static_cast<int>(col(7, g)), L - 'A' + 1)); }
  static int addr(char L, int g = 1) { return static_cast<int>(jobbase::MTADDR(X(), static_cast<int>(col(7, g)), L - 'A' + 1)); }
  // Value i (1-based, storage order) of matrix L of group g.
  static double& val(char L, int i, int g = 1) {
    int t = type(L, g);
    const int n = jobbase::NELEM(t, rows(L, g), cols(L, g));
    return X()(addr(L, g) + n + i - 1);
  }
};

// Whole jobs run in a directory of their own (the fit writes its message
// file and dumps in the current directory), made afresh for each test and
// removed after it; prefix names the directories.
class JobInDirTest : public JobTest {
 protected:
  explicit JobInDirTest(std::string prefix) : prefix_(std::move(prefix)) {}
  void SetUp() override {
    JobTest::SetUp();
    home_ = std::filesystem::current_path();
    dir_ = jobbase::testing_support::temp_path(prefix_ + std::to_string(++ndir_));
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    runtime::close_unit(runtime::kMsgUnit);
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(dir_);
    JobTest::TearDown();
  }
  // Reads, prepares and runs one job; returns its report.
  std::string run(const std::string& text) {
    std::string out = build(text);
    out += jobbase::testing_support::capture([] { run_job(); });
    return out;
  }

  std::string prefix_;
  std::filesystem::path home_, dir_;
  static inline int ndir_ = 0;
};

}  // namespace qv::jobctl::testing_support
