#include "numlib/errexit.hpp"

#include <cstdio>

#include "runtime/fixedstr.hpp"
#include "runtime/stop.hpp"
#include "runtime/units.hpp"

namespace qv::numlib {

void ERRUNIT(int mode, int& unit) {
  if (mode == 0) unit = LIBUNITS.errunit;
  else if (mode == 1) LIBUNITS.errunit = unit;
}

void ADVUNIT(int mode, int& unit) {
  if (mode == 0) unit = LIBUNITS.advunit;
  else if (mode == 1) LIBUNITS.advunit = unit;
}

void WRTREC(int unit, std::string_view record) {
  if (unit < 0) return;
  std::string_view r = runtime::trim_right(record);
  if (r.empty()) r = " ";
  runtime::write_record(unit, r);
}

void WRTRECS(int unit, int n, std::span<const std::string> recs) {
  if (unit < 0) return;
  for (int i = 0; i < n && i < static_cast<int>(recs.size()); ++i) WRTREC(unit, recs[static_cast<std::size_t>(i)]);
}

void HARDSTOP() { runtime::abort_run(); }

int ERREXIT(int ifail, int ierror, std::string_view srname, std::span<const std::string> rec) {
  if (ierror == 0) return 0;
  const bool print = ifail == 0 || ifail == -1 || ifail == -13 || (ifail > 0 && (ifail / 10) % 10 != 0);
  if (!print) return ierror;
  int unit = 0;
  ERRUNIT(0, unit);
  for (const std::string& r : rec) WRTREC(unit, r);
  if (ifail == -13) return ierror;
  char num[32];
  std::snprintf(num, sizeof num, "%6d", ierror);
  std::string line = " ** ABNORMAL EXIT from Numerical Library routine ";
  line += srname;
  line += ": IFAIL =";
  line += num;
  WRTREC(unit, runtime::fpad(line, 72));
  // The remainder takes the sign of IFAIL, as C++'s % does.
  if (ifail % 10 != 1 && ifail % 10 != -1) {
    WRTREC(unit, " ** Library hard failure - execution terminated");
    HARDSTOP();
  }
  WRTREC(unit, " ** Library soft failure - control returned");
  return ierror;
}

namespace {

// The start of both parameter reports: counts the error and, unless IFAIL
// silences the report (units digit 1, tens digit 0), writes its blank record
// and heading on the error unit and returns true with that unit.
bool parrep_begin(std::string_view pname, int ifail, int& nerr, std::string_view srname, int& unit) {
  nerr += 1;
  if (ifail >= 0 && ifail % 10 == 1 && (ifail / 10) % 10 == 0) return false;
  ERRUNIT(0, unit);
  std::string head = " *****  Parameter  ";
  head += pname;
  head += "  is invalid in routine  ";
  head += srname;
  head += "  ***** ";
  WRTREC(unit, " ");
  WRTREC(unit, runtime::fpad(head, 65));
  return true;
}

}  // namespace

void PARREP3(std::string_view value, std::string_view pname, int ifail, int& nerr,
             std::string_view srname) {
  int unit = 0;
  if (!parrep_begin(pname, ifail, nerr, srname, unit)) return;
  WRTREC(unit, runtime::fpad("        Value supplied is", 65));
  WRTREC(unit, runtime::fpad(std::string("        ") + std::string(value), 65));
}

void PARREP2(int ivalue, std::string_view pname, int ifail, int& nerr, std::string_view srname) {
  int unit = 0;
  if (!parrep_begin(pname, ifail, nerr, srname, unit)) return;
  char num[32];
  std::snprintf(num, sizeof num, "%6d", ivalue);
  std::string v = std::string("        Value supplied is ") + (std::string(num).size() > 6 ? "******" : num);
  WRTREC(unit, runtime::fpad(v, 65));
}

void TXTSPAN(std::string_view text, int& first, int& last) {
  first = 0;
  last = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != ' ') {
      if (first == 0) first = static_cast<int>(i) + 1;
      last = static_cast<int>(i) + 1;
    }
  }
}

}  // namespace qv::numlib
