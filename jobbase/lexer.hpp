// The lexer: the word and delimiter skips, words, numbers, element
// references and the element address rule.  Every operation moves the
// shared cursor (CURSOR in rdline.hpp) through LINBUF.LINE.
#pragma once

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <string_view>

#include "jobbase/rdline.hpp"
#include "runtime/view1.hpp"

namespace qv::jobbase {

// The 21 delimiter characters of the word and delimiter skips.
inline constexpr std::string_view DELIMS = " ,=()[]{}<>+-:/|*#`;\"";

// The integer range of the script: an integer read from a number is capped
// at this magnitude (2^30), and a specification number beyond it is refused.
inline constexpr double kIntCap = 1073741824.0;
// True when v is a number (not NaN) of magnitude at most kIntCap.
inline bool in_int_range(double v) { return v >= -kIntCap && v <= kIntCap; }

// The range of the whole reals (2^53): every whole number of magnitude at
// most this is a double.  A count typed as a real (a saturated model's df)
// must lie in it, and is used as a 64-bit integer.
inline constexpr double kWholeCap = 9007199254740992.0;
// True when v is a number (not NaN) of magnitude at most kWholeCap.
inline bool in_whole_range(double v) { return v >= -kWholeCap && v <= kWholeCap; }
// The count v truncated towards zero, in 64 bits (0 for a value that is not
// a number, capped at +-kWholeCap, so that the conversion is defined).
inline long long whole_count(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<long long>(std::trunc(std::clamp(v, -kWholeCap, kWholeCap)));
}

// Moves past the current word and the blanks and commas after it; running
// off the line fetches the next one (unless MAINPR.NOREAD is 1.0).
void NEXTWD();
// Moves past the next delimiter and the blanks after it.
void SKIPDL();
// Moves past the next "=" on the line (error 83 when there is none).
void SKIPEQ();
// Copies the word at the cursor into W (32 characters, blank-padded).
void RDWORD(std::string& W, int MODE);
// Reads a number into CURSOR.IVALUE / CURSOR.RVALUE.
void RDNUM();
// After a number of a list read by RDNUM: the list ends there when the
// number's terminator was ";" (RDNUM passes it with the blanks after it),
// when the line ends, or at a "/" or ";" under the cursor.
bool number_list_ends();
// Reads an unsigned integer or a defined name into CURSOR.IVALUE (no new line).
void RDVAL();
// Reads an element reference; IDX := its storage index in X (0 past the
// line, -1 for "ALL").  PARSE = 0 addresses the last element again.
void RDELEM(runtime::Vec1<double> X, int G, int SPEC, int& IDX, int PARSE);
// Storage index of element (I, J) of matrix L (1..26) of group G.
int ELADDR(runtime::Vec1<double> X, int G, int L, int& I, int& J, int SPEC, int& NROW, int& NCOL,
           int& ITYPE);
// 1..26 for A..Z with FLAG 0; 0 with FLAG 1 otherwise.
int LETIDX(char CH, int& FLAG);
// Number of blank-separated words of s up to its trimmed length.
int NWORDS(std::string_view s);
// Reads the word at the cursor (RDWORD mode 0, the cursor moving past it)
// and looks it up among the #define'd names: true, with its value in v, when
// it is one.
bool read_defined_name(double& v);
// The word at the cursor is a #define'd name (the cursor does not move).
bool at_defined_name();
// Moves the cursor to the next CH, fetching lines (error 160 at end of input).
void FINDCH(char CH, int VERBOSE);
// Moves the cursor onto the next CH from the cursor on.  Each time the line
// runs out first: the warning heading, " Searching for character" CH and
// " Character not found; reading next line", then the next line; at the end
// of input " Could not find " CH and error 160.  Returns true when CH was
// found only on a later line.
bool seek_char_warned(char CH);
// Moves the cursor to the next digit, sign or point (error 50 at end of input).
void SKIPNUM();
// Value 0..9 of a digit; FLAG := 1 when CH is not a digit.
int DIGIDX(char CH, int& FLAG);
// Moves S(I+K..N) to S(I..N-K) and blanks the last K positions (1-based).
void SHIFTL(std::string& S, int I, int K, int N);
// The largest trimmed length (LENTRM) among the strings S(1..N); 0 when N < 1.
int MAXLEN(std::span<const std::string> S, int N);
// Removes the first entry equal to the letter code CODE from the counted list
// at X(LIST) (X(LIST) the count, the entries after it), moving the later
// entries down one place, clearing the freed word and lowering the count; a
// code not in the list changes nothing.  Writes one trace line
// " A(LIST+I)=" I, X(LIST+I) for each entry I the list then holds.
void LSTDEL(runtime::Vec1<double> X, int LIST, int CODE);

// The element last parsed by RDELEM (group, letter, row, column).
struct Lastel {
  int G = 0, L = 0, I = 0, J = 0;
  void reset() { *this = Lastel(); }
};
inline Lastel LASTEL;

}  // namespace qv::jobbase
