// The unit numbers of the program, each named once.
//
// The standard streams are connected at start; every other unit is the
// program's own assignment of a unit to one kind of file.  Code passes these
// names to the unit routines of units.hpp, never the numbers.
#pragma once

namespace qv::runtime {

// The standard streams.
constexpr int kStderr = 0;
constexpr int kStdin = 5;
constexpr int kStdout = 6;

// The program's files.
constexpr int kOutFileUnit = 1;    // the output files a group requests (QV, DR)
constexpr int kMsgUnit = 7;        // the optimizer's messages: a scratch file, or OPTDUMP.OUT
constexpr int kOptionsUnit = 9;    // the optimizer's options file
constexpr int kDataUnit = 11;      // data files (the first value of MAINPR.DATUNT)
constexpr int kPutUnit = 12;       // the PUT/GET file
constexpr int kFirstIncUnit = 15;  // the include file read at depth 2; each level deeper takes the next unit
constexpr int kLastIncUnit = 98;   // the last unit an include file may take
constexpr int kSaveUnit = 99;      // the binary save file

}  // namespace qv::runtime
