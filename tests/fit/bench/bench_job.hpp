// The set-up the objective's benchmarks share: a job read from a script by
// the job layer, counted and laid out by the fit's set-up as a fit would
// have it, with unit 7 a scratch file as in a fit without NA.
#pragma once

#include <cstdio>
#include <fstream>
#include <string>

#include "fit/fitsetup.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/workspace.hpp"
#include "jobctl/mainprog.hpp"
#include "runtime/units.hpp"
#include "support/script_unit.hpp"

namespace qv::fit::bench {

// Writes text to the file path, reads and prepares its first job, removes
// the file and lays out the fit's arrays.
inline void prepare_job_from(const std::string& path, const std::string& text) {
  using qv::testing_support::kScriptUnit;
  std::ofstream(path) << text;
  jobbase::read_script_from(kScriptUnit, path);
  jobbase::MAINPR.ECHOLN = false;
  jobbase::RDLINE();
  jobctl::read_job();
  jobctl::prepare_job();
  runtime::close_unit(kScriptUnit);
  std::remove(path.c_str());
  auto X = jobbase::WORKSP.x();
  auto IX = jobbase::IWORKS.ix();
  FITCNT(X, IX, jobbase::LABTAB, jobbase::MAINPR.LABSLOT);
  FITLAY(X, IX);
  runtime::open_unit(runtime::kMsgUnit, {"", "SCRATCH"});
}

}  // namespace qv::fit::bench
