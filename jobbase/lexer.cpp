#include "jobbase/lexer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "jobbase/htmlrep.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/hashcmd.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/stmtaux.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::jobbase {

using runtime::kStdout;
using runtime::write_list;

namespace {

using stmt::is_digit;
using stmt::is_letter;
bool is_delim(char ch) { return DELIMS.find(ch) != std::string_view::npos; }
bool fetch_allowed() { return MAINPR.NOREAD != 1.0; }

// The text at the cursor begins with s (inside the line).
using stmt::begins;

// Integer result of a real: truncated towards zero, capped at +-2^30 (0
// for a value that is not a number).
int to_ivalue(double v) {
  if (std::isnan(v)) return 0;
  if (v > kIntCap) return static_cast<int>(kIntCap);
  if (v < -kIntCap) return -static_cast<int>(kIntCap);
  return static_cast<int>(std::trunc(v));
}

// After a number: the range marks "TO" and "- ".
void range_marks() {
  auto& c = CURSOR;
  if (begins("TO")) {
    c.RANGFL = true;
    c.ICOL += 2;
  }
  if (begins("- ")) {
    c.RANGFL = true;
    c.ICOL += 1;
  }
}

// Skips blanks on the current line only.  A cursor at 0 (the input has
// ended) stays there.
void skip_blanks_in_line() {
  auto& c = CURSOR;
  while (c.ICOL >= 1 && c.ICOL <= c.LLEN && chr(c.ICOL) == ' ') ++c.ICOL;
}

}  // namespace

void NEXTWD() {
  auto& c = CURSOR;
  c.SEPSEN = false;
  c.NEWLIN = false;
  for (;;) {
    ++c.ICOL;
    if (c.ICOL > c.LLEN) break;
    const char ch = chr(c.ICOL);
    if (ch == ' ' || ch == ',')
      c.SEPSEN = true;
    else if (c.SEPSEN)
      return;
  }
  if (fetch_allowed()) RDLINE();
  c.NEWLIN = true;
}

void SKIPDL() {
  auto& c = CURSOR;
  c.NEWLIN = false;
  for (;;) {
    ++c.ICOL;
    if (c.ICOL > c.LLEN) {
      if (fetch_allowed()) RDLINE();
      c.NEWLIN = true;
      return;
    }
    if (is_delim(chr(c.ICOL))) break;
  }
  do {
    ++c.ICOL;
  } while (c.ICOL <= c.LLEN && chr(c.ICOL) == ' ');
  if (c.ICOL > c.LLEN) ERRMSG(167);
}

void SKIPEQ() {
  auto& c = CURSOR;
  for (;;) {
    ++c.ICOL;
    if (c.ICOL > c.LLEN) ERRMSG(83);
    if (chr(c.ICOL) == '=') break;
  }
  ++c.ICOL;
}

void RDWORD(std::string& W, int MODE) {
  auto& c = CURSOR;
  W.clear();
  if (c.ICOL >= 1 && c.ICOL <= c.LLEN) {
    W.push_back(chr(c.ICOL));
    for (;;) {
      ++c.ICOL;
      if (c.ICOL > c.LLEN) break;
      const char ch = chr(c.ICOL);
      if (MODE == 0) {
        if (static_cast<unsigned char>(ch) <= 32) break;
        if (is_delim(ch)) {
          ++c.ICOL;
          break;
        }
      } else if (ch == ' ') {
        ++c.ICOL;
        break;
      }
      if (W.size() == 32) ERRMSG(165);
      W.push_back(ch);
    }
  }
  W = runtime::fpad(W, 32);
  const int save = c.ICOL;
  skip_blanks_in_line();
  if (c.ICOL > c.LLEN) c.ICOL = save;
}

void RDNUM() {
  auto& c = CURSOR;
  c.IVALUE = 0;
  c.RANGFL = false;
  c.NEWLIN = false;

  for (;;) {
    // Blanks, and further lines when this one is used up.
    for (;;) {
      if (c.ICOL >= 1 && c.ICOL <= c.LLEN && chr(c.ICOL) != ' ') break;
      if (c.ICOL >= 1 && c.ICOL <= c.LLEN) {
        ++c.ICOL;
        continue;
      }
      RDLINE();
      if (c.ICOL == 0) break;
    }
    if (c.ICOL == 0) {
      if (c.EOFOK == 1) {
        c.EOFOK = -1;
        return;
      }
      ERRMSG(50);
    }

    char ch = chr(c.ICOL);
    double sign = 1.0;
    if (ch == '+' || ch == '-') {
      if (ch == '-') sign = -1.0;
      ++c.ICOL;
      if (c.ICOL > c.LLEN) ERRMSG(51);
      ch = chr(c.ICOL);
      if (!(is_digit(ch) || ch == '.' || ch == '\\')) {
        // A sign may stand before a defined name; anything else lacks its number.
        double v = 0.0;
        if (is_letter(ch) && read_defined_name(v)) {
          c.RVALUE = sign * v;
          c.IVALUE = to_ivalue(c.RVALUE);
          range_marks();
          return;
        }
        ERRMSG(51);
      }
    }

    if (ch == '\\') {
      if (begins("\\PI")) {
        c.ICOL += 3;
        c.RVALUE = sign * MAINPR.PI;
        if (MAINPR.PI == 0.0) c.RVALUE = sign * 4.0 * std::atan(1.0);
        c.IVALUE = static_cast<int>(sign) * 3;
      } else if (begins("\\E")) {
        c.ICOL += 2;
        c.RVALUE = sign * std::exp(1.0);
        c.IVALUE = static_cast<int>(sign) * 2;
      } else {
        ERRMSG(86);
      }
    } else if (is_digit(ch) || ch == '.') {
      // The number is taken whole: mantissa, optional exponent, then a
      // terminator; it is converted in one step so that every digit counts.
      std::string text;
      int ndig = 0;
      bool point = false;
      while (c.ICOL <= c.LLEN) {
        ch = chr(c.ICOL);
        if (is_digit(ch)) {
          ++ndig;
        } else if (ch == '.' && !point) {
          point = true;
        } else {
          break;
        }
        text.push_back(ch);
        ++c.ICOL;
      }
      if (ndig == 0) ERRMSG(50);
      if (c.ICOL <= c.LLEN && (chr(c.ICOL) == 'D' || chr(c.ICOL) == 'E')) {
        text.push_back('E');
        ++c.ICOL;
        if (c.ICOL <= c.LLEN && (chr(c.ICOL) == '+' || chr(c.ICOL) == '-')) {
          text.push_back(chr(c.ICOL));
          ++c.ICOL;
        }
        int nexp = 0;
        while (c.ICOL <= c.LLEN && is_digit(chr(c.ICOL))) {
          text.push_back(chr(c.ICOL));
          ++c.ICOL;
          ++nexp;
        }
        if (nexp == 0) ERRMSG(44);
      }
      // What follows must end the number: a letter or a point joined to the
      // digits makes it malformed ("TO" directly after it is a range mark).
      if (c.ICOL <= c.LLEN) {
        ch = chr(c.ICOL);
        if ((is_letter(ch) && !begins("TO")) || ch == '.' || ch == '\\') ERRMSG(44);
      }
      c.RVALUE = sign * std::strtod(text.c_str(), nullptr);
      c.IVALUE = to_ivalue(c.RVALUE);
    } else {
      // A word: a defined name stands for its number; any other word is
      // passed over up to the next character that can start a number.
      const int start = c.ICOL;
      double v = 0.0;
      if (read_defined_name(v)) {
        c.RVALUE = v;
        c.IVALUE = to_ivalue(v);
        range_marks();
        return;
      }
      c.ICOL = start;
      for (;;) {
        ++c.ICOL;
        while (c.ICOL <= c.LLEN && std::string_view("0123456789.+-").find(chr(c.ICOL)) == std::string_view::npos)
          ++c.ICOL;
        if (c.ICOL <= c.LLEN) break;
        WARNHD();
        write_list(kStdout, {" Non-numeric characters found when trying to read a ", " number"});
        RDLINE();
        if (c.ICOL == 0) ERRMSG(50);
        --c.ICOL;  // the search goes on from the first column of the new line
      }
      continue;
    }

    // The end of the number: blank, comma and semicolon are passed over with
    // the blanks after them; other characters stay under the cursor.
    if (c.ICOL <= c.LLEN) {
      ch = chr(c.ICOL);
      if (ch == ' ' || ch == ',' || ch == ';') {
        ++c.ICOL;
        skip_blanks_in_line();
      }
    }
    range_marks();
    return;
  }
}

bool number_list_ends() {
  const auto& c = CURSOR;
  int back = c.ICOL - 1;
  while (back >= 1 && chr(back) == ' ') --back;
  if (back >= 1 && chr(back) == ';') return true;
  return c.ICOL > c.LLEN || chr(c.ICOL) == '/' || chr(c.ICOL) == ';';
}

void RDVAL() {
  auto& c = CURSOR;
  c.RANGFL = false;
  c.IVALUE = 0;
  skip_blanks_in_line();

  bool got = false;
  while (c.ICOL <= c.LLEN) {
    const char ch = chr(c.ICOL);
    if (is_digit(ch)) {
      c.IVALUE = c.IVALUE * 10 + (ch - '0');
      if (c.IVALUE > 100000000) ERRMSG(99);  // no matrix has this many rows or columns
      got = true;
      ++c.ICOL;
      continue;
    }
    if (got) break;
    const int save = c.ICOL;
    double v = 0.0;
    if (read_defined_name(v)) {
      c.IVALUE = to_ivalue(v);
      break;
    }
    c.ICOL = save + 1;
  }

  // Up to the next item: a digit or a letter ends the scan; a range mark is
  // noted and passed with its blanks; anything else is passed over.
  while (c.ICOL <= c.LLEN) {
    if (is_digit(chr(c.ICOL))) break;
    if (begins("TO") || chr(c.ICOL) == '-') {
      c.RANGFL = true;
      c.ICOL += (chr(c.ICOL) == '-') ? 1 : 2;
      skip_blanks_in_line();
      if (c.ICOL > c.LLEN) break;
    }
    if (is_letter(chr(c.ICOL))) break;
    ++c.ICOL;
  }
}

void RDELEM(runtime::Vec1<double> X, int G, int SPEC, int& IDX, int PARSE) {
  auto& c = CURSOR;
  auto& last = LASTEL;
  int nrow = 0, ncol = 0, itype = 0;
  if (PARSE == 0) {
    int i = last.I, j = last.J;
    IDX = ELADDR(X, last.G, last.L, i, j, SPEC, nrow, ncol, itype);
    return;
  }
  if (c.ICOL > c.LLEN) {
    IDX = 0;
    return;
  }
  int flag = 0;
  const int letter = LETIDX(chr(c.ICOL), flag);
  if (flag != 0) ERRMSG(13);
  if (begins("ALL")) {
    IDX = -1;
    return;
  }
  ++c.ICOL;

  int vals[3] = {0, 0, 0};
  int n = 0;
  for (;;) {
    if (n == 3) {
      c.ICOL -= 4;
      ERRMSG(14);
    }
    RDVAL();
    vals[n++] = c.IVALUE;
    if (c.ICOL > c.LLEN) break;
    if (is_letter(chr(c.ICOL)) && !at_defined_name()) break;
  }

  int g = G, i = 0, j = 0;
  if (n == 3) {
    g = vals[0];
    i = vals[1];
    j = vals[2];
  } else if (n == 2) {
    if (MAINPR.MULFIT == 1) ERRMSG(118);
    i = vals[0];
    j = vals[1];
  } else {
    ERRMSG(20);
  }
  const int ng = static_cast<int>(X(1));
  if (g < 1 || g > ng) ERRMSG(117);
  // A group whose matrices have not been read yet has no matrix table to
  // address: referring to it is as wrong as referring to a group beyond NG.
  if (GRPTAB(X, ng, gcol::kMattab, g) == 0.0) ERRMSG(117);
  last.G = g;
  last.L = letter;
  last.I = i;
  last.J = j;
  IDX = ELADDR(X, g, letter, i, j, SPEC, nrow, ncol, itype);
}

int ELADDR(runtime::Vec1<double> X, int G, int L, int& I, int& J, int SPEC, int& NROW, int& NCOL,
           int& ITYPE) {
  auto& c = CURSOR;
  const int ng = static_cast<int>(X(1));
  const GroupView grp{X, ng, G};
  const int type = icell(grp.type(L));
  const int rows = icell(grp.rows(L));
  const int cols = icell(grp.cols(L));
  const int a = icell(grp.addr(L));

  // Rows and columns count from 1: a 0 is as wrong as one past the end.
  NROW = rows;
  if (I > rows || I < 1) ERRMSG(99);
  NCOL = cols;
  if (J < 1) ERRMSG(99);
  if (J > cols) ERRMSG(100);
  ITYPE = type;
  if (type == kTypeUndeclared) ERRMSG(15);
  const bool computed = type <= kTypeComputed;
  if (type <= kTypeZeroId && !(computed && c.CMPOK)) ERRMSG(16);

  int k = 0;
  if (computed) {
    k = cols * (I - 1) + J;
    const int n = static_cast<int>(X(a + 1));
    c.ELOFF = k;
    return a + n + 4 + k;
  }
  switch (type) {
    case kTypeDiag:
      if (J != I) ERRMSG(17);
      k = I;
      break;
    case kTypeSubdiag:
      if (J >= I) ERRMSG(18);
      k = runtime::strict_index(I, J);
      break;
    case kTypeStand:
      if (I == J) ERRMSG(19);
      if (I < J) std::swap(I, J);
      k = runtime::strict_index(I, J);
      break;
    case kTypeSym:
      if (I < J) std::swap(I, J);
      k = runtime::packed_index(I, J);
      break;
    case kTypeLower:
      if (I < J) ERRMSG(127);
      k = runtime::packed_index(I, J);
      break;
    case kTypeFull:
      k = cols * (I - 1) + J;
      break;
    case kTypeUnit:
    case kTypeCo:
      k = 1;  // no element position: the slot is the storage start
      break;
    default:
      ERRMSG(36);
  }
  // UN and CO matrices have no element position: 0 for the specification
  // slot, the number of stored elements for the value slot.
  const bool noslot = type == kTypeUnit || type == kTypeCo;
  if (SPEC == 1) {
    c.ELOFF = noslot ? 0 : k;
    return noslot ? 0 : a + k - 1;
  }
  int t = type;
  const int nel = NELEM(t, rows, cols);
  c.ELOFF = nel;
  return noslot ? nel : a + k - 1 + nel;
}

int LETIDX(char CH, int& FLAG) {
  if (is_letter(CH)) {
    FLAG = 0;
    return CH - 'A' + 1;
  }
  FLAG = 1;
  return 0;
}

int NWORDS(std::string_view s) {
  const int n = LENTRM(s);
  int count = 0;
  bool inword = false;
  for (int i = 0; i < n; ++i) {
    const bool blank = s[i] == ' ';
    if (!blank && !inword) ++count;
    inword = !blank;
  }
  return count;
}

bool read_defined_name(double& v) {
  std::string w;
  RDWORD(w, 0);
  int found = 0;
  NAMLUK(w, v, found);
  return found == 1;
}

bool at_defined_name() {
  auto& c = CURSOR;
  const int save = c.ICOL;
  double v = 0.0;
  const bool found = read_defined_name(v);
  c.ICOL = save;
  return found;
}

void FINDCH(char CH, int VERBOSE) {
  auto& c = CURSOR;
  for (;;) {
    ++c.ICOL;
    while (c.ICOL <= c.LLEN && chr(c.ICOL) != CH) ++c.ICOL;
    if (c.ICOL <= c.LLEN) return;
    if (VERBOSE != 0) {
      write_list(kStdout, {" Searching for character", std::string(1, CH)});
      write_list(kStdout, {" Character not found; reading next line"});
    }
    RDLINE();
    if (c.ICOL == 0) {
      write_list(kStdout, {" Could not find ", std::string(1, CH)});
      ERRMSG(160);
    }
    --c.ICOL;
  }
}

bool seek_char_warned(char CH) {
  auto& c = CURSOR;
  bool later = false;
  for (;;) {
    while (c.ICOL >= 1 && c.ICOL <= c.LLEN && chr(c.ICOL) != CH) ++c.ICOL;
    if (c.ICOL >= 1 && c.ICOL <= c.LLEN) return later;
    WARNHD();
    write_list(kStdout, {" Searching for character", std::string(1, CH)});
    write_list(kStdout, {" Character not found; reading next line"});
    RDLINE();
    if (c.ICOL == 0) {
      write_list(kStdout, {" Could not find ", std::string(1, CH)});
      ERRMSG(160);
    }
    later = true;
  }
}

void SKIPNUM() {
  auto& c = CURSOR;
  for (;;) {
    while (c.ICOL >= 1 && c.ICOL <= c.LLEN &&
           std::string_view("0123456789+-.").find(chr(c.ICOL)) == std::string_view::npos)
      ++c.ICOL;
    if (c.ICOL >= 1 && c.ICOL <= c.LLEN) return;
    RDLINE();
    if (c.ICOL == 0) ERRMSG(50);
  }
}

int DIGIDX(char CH, int& FLAG) {
  if (is_digit(CH)) {
    FLAG = 0;
    return CH - '0';
  }
  FLAG = 1;
  return 0;
}

void SHIFTL(std::string& S, int I, int K, int N) {
  if (K <= 0 || I < 1 || N > static_cast<int>(S.size())) return;
  for (int p = I; p <= N - K; ++p) S[p - 1] = S[p + K - 1];
  for (int p = std::max(I, N - K + 1); p <= N; ++p) S[p - 1] = ' ';
}

int MAXLEN(std::span<const std::string> S, int N) {
  int longest = 0;
  const int n = std::min(N, static_cast<int>(S.size()));
  for (int i = 0; i < n; ++i) longest = std::max(longest, LENTRM(S[static_cast<std::size_t>(i)]));
  return longest;
}

void LSTDEL(runtime::Vec1<double> X, int LIST, int CODE) {
  const int n = std::max(icell(X(LIST)), 0);
  int at = 0;
  for (int i = 1; i <= n && at == 0; ++i)
    if (icell(X(LIST + i)) == CODE) at = i;
  int count = n;
  if (at != 0) {
    for (int i = at; i < n; ++i) X(LIST + i) = X(LIST + i + 1);
    X(LIST + n) = 0.0;
    count = n - 1;
    X(LIST) = count;
  }
  for (int i = 1; i <= count; ++i) write_list(kStdout, {" A(LIST+I)=", i, X(LIST + i)});
}

}  // namespace qv::jobbase
