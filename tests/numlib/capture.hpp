// Captures what the library writes on its message units: both units are
// pointed at a unit opened on a temporary file, and the records are read back.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "numlib/errexit.hpp"
#include "runtime/units.hpp"

namespace qv::numlib::test {

class UnitCapture {
 public:
  explicit UnitCapture(int unit = 71) : unit_(unit) {
    char tmpl[] = "/tmp/qv_numlib_capXXXXXX";
    const int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    path_ = tmpl;
    runtime::OpenSpec spec;
    spec.file = path_;
    spec.status = "REPLACE";
    runtime::open_unit(unit_, spec);
    LIBUNITS.errunit = unit_;
    LIBUNITS.advunit = unit_;
  }
  ~UnitCapture() {
    runtime::close_unit(unit_);
    std::remove(path_.c_str());
    LIBUNITS.reset();
  }
  // The records written so far (the unit is closed; capture once per object).
  std::vector<std::string> lines() {
    runtime::close_unit(unit_);
    std::vector<std::string> out;
    std::ifstream in(path_);
    for (std::string s; std::getline(in, s);) out.push_back(s);
    return out;
  }
  std::string text() {
    std::string t;
    for (const auto& s : lines()) t += s + "\n";
    return t;
  }

 private:
  int unit_;
  std::string path_;
};

}  // namespace qv::numlib::test

namespace qv::numlib::test {

// The two lines of a soft failure reported under name with error number err.
inline std::vector<std::string> soft_exit(const std::string& name, int err) {
  char num[16];
  std::snprintf(num, sizeof num, "%6d", err);
  return {" ** ABNORMAL EXIT from Numerical Library routine " + name + ": IFAIL =" + num,
          " ** Library soft failure - control returned"};
}

// records followed by the soft-failure lines.
inline std::vector<std::string> soft_report(std::vector<std::string> records, const std::string& name, int err) {
  for (auto& s : soft_exit(name, err)) records.push_back(s);
  return records;
}

}  // namespace qv::numlib::test
