// The script line reader: line buffers, cursor cells, #include nesting and
// the small string operations the reader shares with the rest of the program.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "runtime/unitnames.hpp"

namespace qv::jobbase {

// Length of every script line buffer.
constexpr int LINMAX = 1200;
// Deepest include nesting the reader accepts (the script itself is depth 1).
constexpr int MAXINC = 100;
// The three line buffers, each exactly LINMAX characters (column c is [c-1]).
struct Linbuf {
  std::string PRVLIN = std::string(LINMAX, ' ');  // LINE before the last RDLINE
  std::string LINE = std::string(LINMAX, ' ');    // current line: upper case, controls blanked, comment blanked
  std::string RAWLIN = std::string(LINMAX, ' ');  // current line as read (own case), comment blanked
  std::string WORK = std::string(LINMAX, ' ');    // left-justified line before upper-casing
  bool META = false;                              // the current line is a "!@" meta line
  void reset() { *this = Linbuf(); }
};
inline Linbuf LINBUF;

// Cursor cells shared by the reader and the lexer.
struct Cursor {
  int ICOL = 0;         // 1-based column of the current character in LINE; 0 after end of input
  int LLEN = 0;         // trimmed length of LINE
  bool NEWLIN = false;  // right after a new line was fetched
  bool SEPSEN = false;  // word skip: a blank or comma has been passed
  int IVALUE = 0;       // integer result of the last number
  double RVALUE = 0;    // real result of the last number
  bool RANGFL = false;  // the number just read was followed by a range mark
  int EOFOK = 0;        // caller accepts end of input while a number is sought (-1 when it happened)
  bool CMPOK = false;   // ELADDR accepts computed matrices
  int ELOFF = 0;        // ELADDR: element position, or the matrix's number of stored elements
  void reset() { *this = Cursor(); }
};
inline Cursor CURSOR;

// Include state.  The line number itself is MAINPR.LINENO.
struct Incstk {
  int INUNIT = runtime::kStdin;          // unit being read
  int INCDEP = 1;                        // files open for reading (1 = the script)
  std::array<int, MAXINC + 2> UNITS{};   // UNITS[k]: unit read at depth k (k from 1)
  std::array<int, MAXINC + 2> LINSAV{};  // LINSAV[k]: parent's line number saved when depth k opened
  std::string FILNAM = std::string(80, ' ');  // scratch name of the last OPEN
  std::string INCNAM = std::string(80, ' ');  // name of the include file opened last
  Incstk() { UNITS[1] = runtime::kStdin; }
  void reset() { *this = Incstk(); }
};
inline Incstk INCSTK;

// The character in column col (1-based) of the current line LINE; a blank
// for any column outside 1..LLEN, so that a cursor at 0 after the end of
// the input, or past the line's end, never reads outside the line.  Every
// reader of the line's characters at a cursor column goes through it.
inline char chr(int col) {
  return (col >= 1 && col <= CURSOR.LLEN) ? LINBUF.LINE[static_cast<std::size_t>(col - 1)] : ' ';
}

// What the reader does with a "!@" line after the front-end command handler
// has seen it.
enum class MetaAct {
  Consumed,  // answered here: the reader fetches the next line
  PassOn,    // passed to the caller as an ordinary line (meta flag set)
  Refused,   // a "!@DUMP" before a whole script: answered here, the line is skipped
};

// The handler of "!@" lines.  It is called for every line beginning "!@";
// the first 32 characters of LINBUF.WORK are already upper-cased,
// LINBUF.LINE and LINBUF.RAWLIN hold the left-justified line and CURSOR.LLEN
// its length.
using MetaHandler = MetaAct (*)();

// The reader's link to the front-end commands, registered by the job layer
// at start-up (the reader does not know the front end).  Without a handler
// every "!@" line is passed on.  Lives for the run.
struct Rdhook {
  MetaHandler META = nullptr;
  void reset() { *this = Rdhook(); }
};
inline Rdhook RDHOOK;

// Registers the handler of "!@" lines (nullptr: pass every one on).
void set_meta_handler(MetaHandler handler);

// Fetches the next interpretable line into LINBUF; CURSOR.ICOL >= 1 on the
// first non-blank column, or 0 at end of input.  NEWLIN := 1.
void RDLINE();

// Opens the file at path (which must exist) on unit and makes it the script,
// read at depth 1 in place of standard input.  For harnesses that run a
// script in-process: tests, benchmarks, the fuzzing entry.
void read_script_from(int unit, const std::string& path);

// Opens the file named on the current "#include" line as the next input level.
void OPENINC(int& INUNIT, std::array<int, MAXINC + 2>& UNITS, int& INCDEP);

// Length of s without its trailing blanks and control characters (codes 0-31).
int LENTRM(std::string_view s);

// Removes the leading blanks of s in place (the freed tail becomes blanks) and
// returns the result padded or cut to LINMAX characters.
std::string LJUST(std::string& s);

// Upper-cases positions 1..N of s in place and turns control characters into
// blanks; returns 0.
int UPCASE(std::string& s, int N);

}  // namespace qv::jobbase
