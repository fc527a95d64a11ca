// Test support for the model statements: a job of NG groups laid out in the
// workspace, a script fed line by line, and the stored words read back.
#pragma once

#include <string>

#include "jobctl/bounds.hpp"
#include "jobctl/grpstmt.hpp"
#include "jobctl/matdecl.hpp"
#include "jobctl/options.hpp"
#include "jobctl/specstmt.hpp"
#include "jobbase/workspace.hpp"
#include "jobbase/script_fixture.hpp"

namespace qv::jobctl::testing_support {

class ModelTest : public jobbase::testing_support::ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
  }

  // A new job of ng groups; group 1 current, storage after the group table.
  void job(int ng) {
    jobbase::MAINPR.NG = ng;
    X()(1) = ng;
    jobbase::INITGP(jobbase::IWORKS.ix(), ng);
    jobbase::MAINPR.RDPTR = jobbase::kGrpCols * ng + 3;  // storage starts after the group table
    jobbase::MAINPR.IGRP = 1;
    jobbase::MAINPR.NFREE = 0;
    jobbase::MAINPR.NUNCNT = 10000;
  }

  static Vec1<double> X() { return jobbase::WORKSP.x(); }
  static Vec1<int> IX() { return jobbase::IWORKS.ix(); }
  static double& col(int k, int g) { return jobbase::GRPTAB(X(), jobbase::MAINPR.NG, k, g); }
  static int base(int g) { return static_cast<int>(col(7, g)); }
  static int type(char L, int g = 0) { return static_cast<int>(jobbase::MTTYPE(X(), base(grp(g)), L - 'A' + 1)); }
  static int rows(char L, int g = 0) { return static_cast<int>(jobbase::MTROWS(X(), base(grp(g)), L - 'A' + 1)); }
  static int cols(char L, int g = 0) { return static_cast<int>(jobbase::MTCOLS(X(), base(grp(g)), L - 'A' + 1)); }
  static int addr(char L, int g = 0) { return static_cast<int>(jobbase::MTADDR(X(), base(grp(g)), L - 'A' + 1)); }
  static int grp(int g) { return g == 0 ? jobbase::MAINPR.IGRP : g; }
  // Stored element i (1-based, packed order): specification and value.
  static double spec(char L, int i, int g = 0) { return X()(addr(L, g) + i - 1); }
  static double val(char L, int i, int g = 0) {
    int t = type(L, g);
    const int n = jobbase::NELEM(t, rows(L, g), cols(L, g));
    return X()(addr(L, g) + n + i - 1);
  }

  // Feeds text and reads its first line.
  void start(const std::string& text) {
    feed(text);
    jobbase::RDLINE();
  }
  // Group g's matrix section from a script that begins with its "Matrices" line.
  void declare(const std::string& text, int g = 1) {
    jobbase::MAINPR.IGRP = g;
    start(text);
    MATDCL();
  }
  // Runs the statement lines of text through the statement dispatcher.
  void statements(const std::string& text) {
    start(text);
    while (STMTLN()) {
    }
  }
};

}  // namespace qv::jobctl::testing_support

