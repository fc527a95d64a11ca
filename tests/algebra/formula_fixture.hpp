// Test support for the formula translator and machine: a one-group
// calculation job read by the program from a short script (group table,
// matrix table, letters undeclared), matrices of any storage type entered
// into that group's matrix table, formulas translated from a line and
// evaluated, the result read back from its result area.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "algebra/formmach.hpp"
#include "algebra/ftoken.hpp"
#include "jobbase/areas.hpp"
#include "jobctl/job_fixture.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"

namespace qv::algebra::testing_support {

struct Mat {
  int type = 9;
  int r = 0, c = 0;
  std::vector<double> v;  // row by row
};

// The group the fixture's job consists of.
constexpr const char* kOneCalcGroup =
    "Formula fixture\n"
    " Calculation NGroups=1\n"
    " Begin Matrices;\n"
    " End Matrices;\n"
    "End\n";

class FormulaTest : public jobctl::testing_support::JobTest {
 protected:
  void SetUp() override {
    JobTest::SetUp();
    build(kOneCalcGroup);
    jobbase::MAINPR.IGRP = 1;
    base_ = static_cast<int>(col(jobbase::gcol::kMattab));
    ptr_ = jobbase::MAINPR.WSTOP;
    FMFLAG.MTBASE = base_;
    // What the tests rely on: a calculation group (results copied whole).
    ASSERT_EQ(col(jobbase::gcol::kKind), jobbase::kKindCalc);
  }

  // Base of the group's matrix table.
  int base() const { return base_; }

  // Declares matrix L with its stored values (specification numbers 0),
  // storage placed from the free workspace on.
  void add(char L, int type, int r, int c, std::vector<double> stored = {}) {
    auto X = jobbase::WORKSP.x();
    const int k = L - 'A' + 1;
    jobbase::MTTYPE(X, base_, k) = type;
    jobbase::MTROWS(X, base_, k) = r;
    jobbase::MTCOLS(X, base_, k) = c;
    jobbase::MTADDR(X, base_, k) = ptr_;
    const int n = static_cast<int>(stored.size());
    for (int i = 0; i < n; ++i) X(ptr_ + n + i) = stored[static_cast<std::size_t>(i)];
    ptr_ += 2 * n + 1;
  }

  // Makes text the current script line, cursor before its first character.
  static void set_line(const std::string& text) {
    jobbase::LINBUF.LINE = text + std::string(jobbase::LINMAX - text.size(), ' ');
    jobbase::CURSOR.LLEN = static_cast<int>(text.size());
    jobbase::CURSOR.ICOL = 0;
  }

  // Translates a formula (its terminator included) into the code list.
  static std::vector<int> postfix(const std::string& formula) {
    set_line(formula);
    int status = 0, slot = 1;
    POSTFIX(status, jobbase::LABTAB, slot);
    std::vector<int> out;
    for (int k = 1; k < FMSTAK.NOUT; ++k) out.push_back(FMSTAK.val(k));
    return out;
  }

  // Translates and evaluates a formula; the result as a full matrix.
  Mat eval(const std::string& formula) {
    postfix(formula + " /");
    return run();
  }

  // Expects the evaluation of a formula to stop the run (exit code 1) with a
  // report that matches the pattern; in the dying child standard output is
  // sent to standard error, where the death test reads it.
  void expect_dies_with(const std::string& formula, const char* pattern) {
    EXPECT_EXIT(
        {
          ::dup2(2, 1);
          eval(formula);
        },
        ::testing::ExitedWithCode(1), pattern)
        << formula;
  }

  // Evaluates the code list in FMSTAK into a result area above the matrices.
  Mat run(int column = 30) {
    auto X = jobbase::WORKSP.x();
    const int r0 = ptr_ + 3;
    FMFLAG.RESADR = r0;
    jobbase::MAINPR.WSTOP = ptr_ + 20000;
    int status = 0;
    CALCMAT(X, column, status);
    EXPECT_EQ(status, 1);
    Mat m;
    m.type = static_cast<int>(X(r0 - 3));
    m.r = static_cast<int>(X(r0 - 2));
    m.c = static_cast<int>(X(r0 - 1));
    if (!FMFLAG.TRIAL) {
      const int n = m.type == 8 ? m.r * (m.r + 1) / 2 : m.r * m.c;
      for (int k = 0; k < n; ++k) m.v.push_back(X(r0 + k));
    }
    return m;
  }

  int base_ = 0;
  int ptr_ = 0;
};

// Compares a result with the expected shape and values (relative 1e-12).
inline void expect_mat(const Mat& got, int r, int c, const std::vector<double>& v, const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(got.r, r);
  EXPECT_EQ(got.c, c);
  ASSERT_EQ(got.v.size(), v.size());
  for (std::size_t k = 0; k < v.size(); ++k)
    EXPECT_NEAR(got.v[k], v[k], 1e-12 * std::max(1.0, std::fabs(v[k]))) << "element " << k;
}

}  // namespace qv::algebra::testing_support
