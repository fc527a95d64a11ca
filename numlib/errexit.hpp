// The library's failure convention, its error exit and its two message units.
//
// Every routine takes IFAIL from its caller: 0 prints the messages and stops
// the program, 1 returns silently, -1 prints and returns (other values are
// decoded digit by digit in ERREXIT).  Messages go to the error unit and the
// matrix printers write on the advisory unit; both start at standard output
// and may be pointed elsewhere (the fit sends them to unit 7 while it runs).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "runtime/unitnames.hpp"

namespace qv::numlib {

// Message units of the library.
struct Libunits {
  int errunit = runtime::kStdout;
  int advunit = runtime::kStdout;
  void reset() { *this = Libunits{}; }
};
inline Libunits LIBUNITS;

// The error unit: MODE 0 returns it in UNIT, MODE 1 sets it from UNIT; other modes do nothing.
void ERRUNIT(int mode, int& unit);
// The advisory unit, in the same way.
void ADVUNIT(int mode, int& unit);

// One record without its trailing blanks (at least one character); nothing on a negative unit.
void WRTREC(int unit, std::string_view record);
// Records 1..n of recs, as WRTREC.
void WRTRECS(int unit, int n, std::span<const std::string> recs);

// Ends the program after a hard library failure (exit status 1, nothing more written).
[[noreturn]] void HARDSTOP();

// Reports error IERROR of routine SRNAME as IFAIL asks and returns IERROR.
int ERREXIT(int ifail, int ierror, std::string_view srname, std::span<const std::string> rec = {});

// Reports one invalid parameter given as text; nerr is always increased by one.
void PARREP3(std::string_view value, std::string_view pname, int ifail, int& nerr,
             std::string_view srname);
// The same for a parameter given as an integer.
void PARREP2(int ivalue, std::string_view pname, int ifail, int& nerr, std::string_view srname);

// Positions (1-based) of the first and last non-blank characters; both 0 for a blank text.
void TXTSPAN(std::string_view text, int& first, int& last);

}  // namespace qv::numlib
