// Test support for the fit's set-up, callbacks and Hessian: a job laid out
// by hand in the workspaces (groups, matrix tables with specification numbers
// and values, constraint formulas, bound records) and the message unit 7 on
// a file of its own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fit/fitcb.hpp"
#include "fit/fitsetup.hpp"
#include "fit/hessian.hpp"
#include "jobbase/htmlrep.hpp"
#include "fit/objcel.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/vlsum.hpp"
#include "jobbase/workspace.hpp"
#include "report_text.hpp"
#include "support/expect_stop.hpp"
#include "support/reset.hpp"
#include "runtime/units.hpp"

namespace qv::fit::testing_support {

namespace gcol = jobbase::gcol;

// A matrix of a hand-built matrix table: specification numbers and values in
// storage order.
struct Mat {
  char letter;
  int type, rows, cols;
  std::vector<double> specs;
  std::vector<double> values = {};
};

// Runs f and returns what it wrote on standard output.
template <class F>
std::string jobctl_capture(F f) {
  ::testing::internal::CaptureStdout();
  f();
  return ::testing::internal::GetCapturedStdout();
}

class FitJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qv::testing_support::reset_every_area();
    msg_path_ = ::testing::TempDir() + "qvfit_msg_" + std::to_string(::getpid()) + "_" +
                std::to_string(++nmsg_);
    runtime::OpenSpec spec;
    spec.file = msg_path_;
    spec.status = "REPLACE";
    runtime::open_unit(runtime::kMsgUnit, spec);
    // The fit sends the library's messages to unit 7 while it runs.
    library_units(7);
  }
  void TearDown() override { runtime::close_unit(runtime::kMsgUnit); }

  static Vec1<double> X() { return jobbase::WORKSP.x(); }
  static Vec1<int> IX() { return jobbase::IWORKS.ix(); }
  static double& col(int k, int g) { return jobbase::GRPTAB(X(), jobbase::MAINPR.NG, k, g); }

  // A job of ng data groups (fit code ML); storage after the group table.
  void job(int ng) {
    jobbase::MAINPR.NG = ng;
    X()(1) = ng;
    jobbase::INITGP(IX(), ng);
    next_ = jobbase::kGrpCols * ng + 3;
    for (int g = 1; g <= ng; ++g) {
      col(gcol::kFitCode, g) = jobbase::kFitML;
      col(gcol::kKind, g) = jobbase::kKindData;
    }
  }
  int take(int n) {
    const int a = next_;
    next_ += n;
    return a;
  }
  // WSTOP after everything stored.
  void close() { jobbase::MAINPR.WSTOP = next_; }

  // Group g's matrix table and its matrices' storage.
  void matrices(int g, const std::vector<Mat>& mats) {
    const int B = take(jobbase::kMattabWords);
    col(gcol::kMattab, g) = B;
    const jobbase::GroupView G{X(), jobbase::MAINPR.NG, g};
    for (int L = 1; L <= 26; ++L) G.type(L) = jobbase::kTypeUndeclared;
    for (const Mat& mt : mats) {
      const int L = mt.letter - 'A' + 1;
      G.type(L) = mt.type;
      G.rows(L) = mt.rows;
      G.cols(L) = mt.cols;
      int t = mt.type;
      const int n = jobbase::NELEM(t, mt.rows, mt.cols);
      const int a = take(2 * n);
      for (int k = 0; k < n; ++k) {
        const auto i = static_cast<std::size_t>(k);
        X()(a + k) = i < mt.specs.size() ? mt.specs[i] : 0.0;
        X()(a + n + k) = i < mt.values.size() ? mt.values[i] : 0.5 + k;
      }
      G.addr(L) = a;
    }
  }

  // Group g becomes a constraint group of m values whose compiled formula
  // holds the codes given; its result area holds the values.
  void constraint(int g, int m, const std::vector<double>& codes, const std::vector<double>& result = {}) {
    col(gcol::kKind, g) = jobbase::kKindConstraint;
    col(gcol::kNstat, g) = m;
    const int f = take(1 + static_cast<int>(codes.size()));
    X()(f) = static_cast<double>(codes.size());
    for (std::size_t k = 0; k < codes.size(); ++k) X()(f + 1 + static_cast<int>(k)) = codes[k];
    col(gcol::kCovFormula, g) = f;
    const int r = take(m);
    for (int k = 0; k < m; ++k) X()(r + k) = k < static_cast<int>(result.size()) ? result[k] : 0.0;
    col(gcol::kCovResult, g) = r;
  }

  // Group g's bound records (target, lower, upper).
  void bounds(int g, const std::vector<std::vector<double>>& recs) {
    const int a = take(3 * static_cast<int>(recs.size()));
    for (std::size_t r = 0; r < recs.size(); ++r)
      for (int k = 0; k < 3; ++k) X()(a + 3 * static_cast<int>(r) + k) = recs[r][static_cast<std::size_t>(k)];
    col(gcol::kBounds, g) = a;
    col(gcol::kBoundCount, g) = static_cast<double>(recs.size());
  }

  // FITCNT then FITLAY, standard output captured and returned.
  std::string setup() {
    ::testing::internal::CaptureStdout();
    FITCNT(X(), IX(), jobbase::LABTAB, jobbase::MAINPR.LABSLOT);
    FITLAY(X(), IX());
    return ::testing::internal::GetCapturedStdout();
  }

  // Everything written on unit 7 so far.
  std::string unit7() {
    runtime::close_unit(runtime::kMsgUnit);
    std::ifstream in(msg_path_);
    std::stringstream ss;
    ss << in.rdbuf();
    runtime::OpenSpec spec;
    spec.file = msg_path_;
    spec.status = "APPEND";
    runtime::open_unit(runtime::kMsgUnit, spec);
    return ss.str();
  }

  int next_ = 0;
  std::string msg_path_;
  static inline int nmsg_ = 0;
};

}  // namespace qv::fit::testing_support

// Expects stmt to stop the run with error `code` after a report that
// contains text (a regex).
#define EXPECT_FIT_ERROR(stmt, code, text) \
  EXPECT_QV_STOP(stmt, std::string(text) + "(.|\n)*" + ::qv::testing_support::error_stop_regex(code))
