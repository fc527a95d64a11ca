// Print and summary units on temporary files whose records a test reads
// back, for the optimizer's logs and file routines.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "optim/nplog.hpp"
#include "optim/options.hpp"
#include "runtime/units.hpp"

namespace qv::optim::testing {

// Units 7 (print file) and 8 (summary file) on temporary files, connected
// through the QP solver's option slots.
class LogUnits : public ::testing::Test {
 protected:
  void SetUp() override {
    NPOPTS.reset();
    NPOSTAT.reset();
    LSOSTAT.reset();
    NPLOGS.reset();
    for (int u : {kPrint, kSumm}) open(u);
    NPOPTS.ils(slot::kPrintFile) = kPrint;
    NPOPTS.ils(slot::kSummaryFile) = kSumm;
  }
  void TearDown() override {
    for (int u : {kPrint, kSumm}) runtime::close_unit(u, "DELETE");
    NPOPTS.reset();
    NPOSTAT.reset();
    LSOSTAT.reset();
    NPLOGS.reset();
  }
  static std::string path(int unit) {
    return (std::filesystem::temp_directory_path() /
            ("qv_optim_u" + std::to_string(unit) + "_" + std::to_string(::getpid()) + ".txt"))
        .string();
  }
  static void open(int unit) {
    runtime::OpenSpec spec;
    spec.file = path(unit);
    spec.status = "REPLACE";
    runtime::open_unit(unit, spec);
  }
  // The records written on unit so far; the unit starts again empty.
  static std::vector<std::string> records(int unit) {
    runtime::close_unit(unit);
    std::vector<std::string> lines;
    std::ifstream in(path(unit));
    for (std::string s; std::getline(in, s);) lines.push_back(s);
    open(unit);
    return lines;
  }
  static constexpr int kPrint = 7;
  static constexpr int kSumm = 8;
};

}  // namespace qv::optim::testing
