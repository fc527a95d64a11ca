// The error routine: numbered messages for script, data and model errors.
#pragma once

#include <string>
#include <vector>

namespace qv::jobbase {

// Reports error CODE where it was met and its message, and ends the run with
// the stop code 911 (under a runtime::StopSeam the stop unwinds to main).
// For every code but the six that only warn (see report_ignored_error); one
// of those six passed here is reported as a fatal error (without the group
// line) and ends the run too, after stopping the checked builds at once.
[[noreturn]] void ERRMSG(int CODE);

// Reports warning CODE (22, 55, 138, 179, 218 or 221) as ERRMSG does, adds
// " I'm just going to ignore it, OK?" and returns: the caller goes on.  Any
// other code is the caller's mistake: the checked builds stop at once, the
// others pass it on to ERRMSG.
void report_ignored_error(int CODE);

// True for the six codes that only warn.
bool ERRNFT(int CODE);

// The message records of CODE, each without the leading column of the
// record format (so a text " x" prints as "  x").  An unknown code gives
// the "unidentified error" record.
std::vector<std::string> ERRTXT(int CODE);

// True when the error report of CODE carries the " Problem occurred in
// group #" line.
bool ERRGRP(int CODE);

}  // namespace qv::jobbase
