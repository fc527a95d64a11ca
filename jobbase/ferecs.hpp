// Front-end records that the report and the fit share with the job
// description: the framing tokens, the matrix record (FEMREC with its chunk
// header FEHEAD), the label record (FELAB), the confidence-interval record
// (FECINT), the group title (FETITL) and the small writers (the flag line,
// the group-type record, the postfix-formula record).
//
// Every line is one list-directed item (a leading blank) except the name
// lines, which are written with a format and no leading blank, and the two
// mode tokens, written (a10) and (a8).
#pragma once

#include <string_view>

#include "jobbase/workspace.hpp"

namespace qv::jobbase {

// The token table and its pieces.  "!@machine;" and "!@human;" are written
// with the record formats (a10) and (a8) so that they start in column 1;
// every other token is written list-directed (one leading blank).
inline constexpr std::string_view FETOKS = ";!@machine;!@human;!@debug!@error!@pong;!@ready;";
inline constexpr std::string_view TOKSEP = FETOKS.substr(0, 1);    // ";"
inline constexpr std::string_view TOKMAC = FETOKS.substr(1, 10);   // "!@machine;"
inline constexpr std::string_view TOKHUM = FETOKS.substr(11, 8);   // "!@human;"
inline constexpr std::string_view TOKDBG = FETOKS.substr(19, 7);   // "!@debug"
inline constexpr std::string_view TOKERR = FETOKS.substr(26, 7);   // "!@error"
inline constexpr std::string_view TOKPNG = FETOKS.substr(33, 7);   // "!@pong;"
inline constexpr std::string_view TOKRDY = FETOKS.substr(40, 8);   // "!@ready;"

// "!@machine;" (a10) and "!@human;" (a8) on lines of their own.
void fe_machine();
void fe_human();

// Letter index of a named record (GROUP_FIT, GLOBAL_FIT): the letter F.
inline constexpr int kFeFitLetter = 6;
// Letter index of a record named by its tag, and of a power result.
inline constexpr int kFeTagged = 0;
inline constexpr int kFePower = -999;
// Values per chunk of a matrix record.
inline constexpr int kFeChunk = 100;

// The header of one chunk: the tag line, the group, the name line (no
// leading blank, in double quotes), the type, rows, columns, the offset of
// the chunk's first value and its count.
void FEHEAD(std::string_view tagline, int G, std::string_view name, int TYPE, int ROWS, int COLS, int offset,
            int count);

// One matrix record of COUNT values from X(ADDR) on, for group MAINPR.IGRP,
// in chunks of 100.  L is the letter index (1..26), kFeTagged for a record
// named by its tag or kFePower for a power result.  TYPE 0 is written as 8;
// in a "SPECS" record the caller's TYPE is changed to 8 too, and the values
// are the specification numbers as integers (0 for each when TYPE, as
// passed, is below 1).  LABADR is not read.  TAG's trailing blanks are
// dropped.
void FEMREC(Vec1<double> X, int L, int& TYPE, int ROWS, int COLS, int ADDR, int LABADR, int COUNT,
            std::string_view TAG);

// A label record of the N labels in LABTAB slots SLOT.. : " LABEL", KIND
// ("ROW" or "COLUMN", trailing blanks dropped), G, TAG in double quotes, one
// line per label (trailing blanks and control characters dropped) in
// double quotes, then ";".
void FELAB(int SLOT, int N, int G, std::string_view KIND, std::string_view TAG);

// A confidence-interval record in its own frame.  LABEL's character 2 is
// the matrix letter; characters 4-6, 8-10 and 12-14 hold the group, row and
// column.  The fields are written R1, R2, R3, I1, I3, I2, I4.
void FECINT(std::string_view LABEL, double R1, double R2, double R3, int I1, int I2, int I3, int I4);

// Group g's title, the four 32-character label pieces from SLOT on.  MODE
// non-zero: the record " TITLE", g, then the title without trailing blanks
// between double quotes and a semicolon.  MODE 0: the 128-character title on
// one line, with one blank before it when LEAD is non-zero.
void FETITL(int SLOT, int G, int MODE, int LEAD);

// The flag line: 1 for a non-zero value, else 0.
void FEFLAG(int value);

// The group-type record alone: " GROUP_TYPE", G, KIND, " ;".
void FEGTYP(int G, int KIND);

// The postfix-formula record of formula slot k of group G (matrix table
// base B): " RPNFORMULA", G, the slot's order and letter (k <= 26) or its
// number and name (27, 28), each code of the compiled formula on its own
// line, " ;".  A slot without a formula writes nothing.
void FERPN(Vec1<double> X, int G, int B, int k, int kind);

// The front-end name of formula slot k (27 ExpMean, 28 ExpCov, or ExpCal
// for 28 in a calculation group); "" for a letter slot.
std::string_view formula_name(int k, int kind);

}  // namespace qv::jobbase
