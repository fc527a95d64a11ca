// The error routine: numbered messages for script, data and model errors.
#pragma once

#include <string>
#include <vector>

namespace qv::jobbase {

// Reports error CODE where it was met and its message.  Returns only for the
// non-fatal codes (22, 55, 138, 179, 218, 221); every other code ends the run
// with the stop code 911.
void ERRMSG(int CODE);

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
