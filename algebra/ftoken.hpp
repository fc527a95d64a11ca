// The formula tokenizer FTOKEN and the infix-to-postfix translator POSTFIX.
//
// A formula is read from the script reader's current line (LINBUF.LINE with
// the cursor CURSOR.ICOL) and may run over any number of lines; it ends at
// the first "/" or ";".  Each token becomes one formula code:
//   1..26    the matrices A..Z of the current group
//   31, 32   inverse "~" and transpose "'" (written after their operand)
//   33..82   the backslash functions (FNKEYS)
//   110..128 the operators of OPCHRS, 109 + the character's position
//   200      reserved: no token gives it, but the tables treat it as an operator
// POSTFIX reorders the tokens by operator priority into the code list of
// FMSTAK, which the formula compiler copies into the workspace and the
// formula machine evaluates.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "jobbase/workspace.hpp"

namespace qv::algebra {

// Entries of the code list and of the pending (operator) stack.
constexpr int kFmStack = 1000;

// The operator characters; the code of a character is 109 + its position
// (the first match wins, so "-" is always position 2).
inline constexpr std::string_view OPCHRS = "(-.*/+-)|_@\\^%,&=><";

// Function keywords after a backslash, tried in this order (a longer keyword
// stands before a shorter one that is its prefix), with their codes.
struct Fnkey {
  std::string_view key;
  int code;
};
inline constexpr std::array<Fnkey, 49> FNKEYS = {{
    {"DET", 33},    {"TR", 34},      {"EXP", 35},     {"SQRT", 36},    {"LN", 37},      {"V2D", 38},
    {"D2V", 39},    {"M2V", 40},     {"V2S", 41},     {"V2F", 42},     {"EVAL", 43},    {"EVEC", 44},
    {"IVEC", 45},   {"IVAL", 46},    {"STND", 47},    {"VECH", 48},    {"VEC", 49},     {"MULN", 50},
    {"ABS", 51},    {"COSH", 53},    {"COS", 52},     {"SINH", 55},    {"SIN", 54},     {"TANH", 57},
    {"TAN", 56},    {"MAX", 58},     {"MIN", 59},     {"SUM", 60},     {"PROD", 61},    {"MNOR", 62},
    {"MOMNOR", 64}, {"MBESI0", 65},  {"AORDER", 66},  {"DORDER", 67},  {"SORTC", 68},   {"SORTR", 69},
    {"MEAN", 70},   {"COV", 71},     {"SKEW", 72},    {"KURT", 73},    {"PART", 74},    {"VLDATA", 75},
    {"VLID", 76},   {"VLLEN", 77},   {"SELMAT", 78},  {"SELROWS", 79}, {"SELCOLS", 80}, {"PDFNOR", 81},
    {"PCHI", 82},
}};

// The formula code stack shared by the translator and the formula machine:
// the code list VAL(1..NOUT-1) in postfix order (stack 1) and the operator /
// pending stack PEND(1..NOPS-1) (stack 2).  Each counter is 1 when its stack
// is empty.  NCODE is the number of codes of the list being evaluated (for
// the dump).
struct Fmstak {
  std::array<int, kFmStack + 1> VAL{};   // VAL[k], k = 1..1000
  std::array<int, kFmStack + 1> PEND{};  // PEND[k], k = 1..1000
  int NOUT = 1;
  int NOPS = 1;
  int NCODE = 0;
  int& val(int k) { return VAL[static_cast<std::size_t>(k)]; }
  int& pend(int k) { return PEND[static_cast<std::size_t>(k)]; }
  void reset() { *this = Fmstak(); }
};
inline Fmstak FMSTAK;

// Tokenizer state kept between calls, and the watched letter of the main
// program: when a formula names the letter WATLET, POSTFIX sets WATFLG
// (the formula-compiler flag that the formula statements turn into the
// display flags of GRPTAB column 31).
struct Ftksta {
  int PRVCOD = 0;  // code of the previous token (0 at the start, after "(", a unary minus, the end)
  bool LETFLG = false;  // the previous token was a letter
  bool DYAFLG = false;  // the previous token was a dyadic operator
  int WATLET = 0;  // watched letter (1..26; 0: none)
  bool WATFLG = false;  // the watched letter occurred in the formula
  void reset() { *this = Ftksta(); }
};
inline Ftksta FTKSTA;

// Incoming priority of a code (0..200); -1 where none is set.
int PRIIN(int code);
// In-stack priority of a code (0..200); -1 where none is set.
int PRIST(int code);

// Reads the next token after the cursor.  value is always 0; cls is 1
// operand (a letter), 2 operator or function, 3 end of formula.  text and
// length receive the token's characters (left unchanged for the end token).
// On return the cursor stands on the token's last character.
void FTOKEN(double& value, int& code, int& cls, std::string& text, int& length);

// Translates one whole formula, from the character after the cursor up to
// and including its "/" or ";", into FMSTAK.  The formula's text, token by
// token without blanks, is filed in the label table from slot `slot`
// onward (slot moves on as slots fill).  status: 1 success, 2 after a
// reported error.
void POSTFIX(int& status, jobbase::Labtab& slots, int& slot);

}  // namespace qv::algebra
