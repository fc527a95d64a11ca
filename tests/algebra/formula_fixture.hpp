// Test support for the formula translator and machine: a one-group job laid
// out in the workspace by hand (group table, matrix table, matrices of any
// storage type), formulas translated from a line and evaluated, the result
// read back from its result area.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "algebra/formmach.hpp"
#include "algebra/ftoken.hpp"
#include "jobctl/areas.hpp"
#include "jobctl/rdline.hpp"
#include "jobctl/script_fixture.hpp"
#include "jobctl/workspace.hpp"

namespace qv::algebra::testing_support {

struct Mat {
  int type = 9;
  int r = 0, c = 0;
  std::vector<double> v;  // row by row
};

class FormulaTest : public jobctl::testing_support::ScriptTest {
 protected:
  static constexpr int kBase = jobctl::kGrpCols * 1 + 3;  // matrix table of the one group, after the group table

  void SetUp() override {
    ScriptTest::SetUp();
    auto X = jobctl::WORKSP.x();
    X(1) = 1;
    jobctl::MAINPR.NG = 1;
    jobctl::MAINPR.IGRP = 1;
    col(7) = kBase;
    col(11) = 1;   // fit code
    col(18) = 2;   // a calculation group: results are copied whole
    for (int L = 1; L <= 26; ++L) X(kBase + L - 1) = 99;
    jobctl::IGRPTB(jobctl::IWORKS.ix(), 1, 1, 1) = 1;
    ptr_ = kBase + 162;
    FMFLAG.MTBASE = kBase;
  }

  static double& col(int k) { return jobctl::GRPTAB(jobctl::WORKSP.x(), 1, k, 1); }

  // Declares matrix L with its stored values (specification numbers 0).
  void add(char L, int type, int r, int c, std::vector<double> stored = {}) {
    auto X = jobctl::WORKSP.x();
    const int k = L - 'A' + 1;
    X(kBase + k - 1) = type;
    X(kBase + 26 + k - 1) = r;
    X(kBase + 52 + k - 1) = c;
    X(kBase + 78 + k - 1) = ptr_;
    const int n = static_cast<int>(stored.size());
    for (int i = 0; i < n; ++i) X(ptr_ + n + i) = stored[static_cast<std::size_t>(i)];
    ptr_ += 2 * n + 1;
  }

  // Makes text the current script line, cursor before its first character.
  static void set_line(const std::string& text) {
    jobctl::LINBUF.LINE = text + std::string(jobctl::LINMAX - text.size(), ' ');
    jobctl::CURSOR.LLEN = static_cast<int>(text.size());
    jobctl::CURSOR.ICOL = 0;
  }

  // Translates a formula (its terminator included) into the code list.
  static std::vector<int> postfix(const std::string& formula) {
    set_line(formula);
    int status = 0, slot = 1;
    POSTFIX(status, jobctl::LABTAB, slot);
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
    auto X = jobctl::WORKSP.x();
    const int r0 = ptr_ + 3;
    FMFLAG.RESADR = r0;
    jobctl::MAINPR.WSTOP = ptr_ + 20000;
    int status = 0;
    CALCMAT(X, column, status);
    EXPECT_EQ(status, 1);
    Mat m;
    m.type = static_cast<int>(X(r0 - 3));
    m.r = static_cast<int>(X(r0 - 2));
    m.c = static_cast<int>(X(r0 - 1));
    if (FMFLAG.TRIAL == 0) {
      const int n = m.type == 8 ? m.r * (m.r + 1) / 2 : m.r * m.c;
      for (int k = 0; k < n; ++k) m.v.push_back(X(r0 + k));
    }
    return m;
  }

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
