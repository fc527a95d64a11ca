// Options files: blocks of option lines between BEGIN and END, read from a
// unit and handed line by line to an option parser; and the open and close
// routines for such units.
//
// A file may hold several blocks; each call reads one.  Lines before BEGIN
// are passed over (the first of them, unless it is SKIP, BEGIN or ENDRUN, is
// reported once), an ENDRUN line before BEGIN ends the search.  Inside a
// block every line goes to the parser; LIST and NOLIST switch the echo.
#pragma once

#include <string>
#include <string_view>

namespace qv::optim {

// An option parser: NPOPTL or LSOPTL.
using OptionParser = void (*)(int unit, std::string_view line, std::string& key);

// Reads one options block from unit and passes each line to parser, with
// printunit for its messages (0: none).  inform: 0 END found, 1 unit is 100
// or more (nothing read), 2 end of file inside the block, 3 end of file
// before BEGIN, 4 ENDRUN.
void OPTFIL(int unit, int printunit, int& inform, OptionParser parser);

// NLSQP's options-file entry: machine constants and print unit on the first
// call, a new " Calls to Option Routine" list for the next option line, then
// OPTFIL with NPOPTL on the print unit.
void NPOPFL(int unit, int& inform);
// The same for the QP solver, with LSOPTL.
void LSOPFL(int unit, int& inform);

// Opens unit under its default file name: mode "IN " with status OLD,
// rewound; mode "OUT" with status UNKNOWN; any other mode does nothing.
void UNOPEN(int unit, std::string_view mode);
// Closes unit.
void UNCLOS(int unit);

}  // namespace qv::optim
