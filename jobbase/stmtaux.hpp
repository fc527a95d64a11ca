// Small cursor helpers shared by the group-statement readers (matrix
// declarations, specification statements, bounds, labels, options line).
#pragma once

#include <string_view>

#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"

namespace qv::jobbase::stmt {

// Character under the cursor (chr: the line reader's).
inline char cur() { return chr(CURSOR.ICOL); }
// The cursor lies inside the line.
inline bool on_line() { return CURSOR.ICOL >= 1 && CURSOR.ICOL <= CURSOR.LLEN; }
inline bool is_letter(char ch) { return ch >= 'A' && ch <= 'Z'; }
inline bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

// The current line from column col to its end.
inline std::string_view line_from(int col) {
  const auto& c = CURSOR;
  if (col < 1 || col > c.LLEN) return {};
  return std::string_view(LINBUF.LINE).substr(static_cast<std::size_t>(col - 1),
                                              static_cast<std::size_t>(c.LLEN - col + 1));
}
// The text at the cursor begins with w.
inline bool begins(std::string_view w) { return line_from(CURSOR.ICOL).substr(0, w.size()) == w; }

// Column of the word after the one at col (past blanks and commas) on the
// same line, or 0 when the line ends first.  Nothing moves.
inline int next_word_col(int col) {
  const auto& c = CURSOR;
  int k = col;
  while (k <= c.LLEN && chr(k) != ' ' && chr(k) != ',') ++k;
  while (k <= c.LLEN && (chr(k) == ' ' || chr(k) == ',')) ++k;
  return k <= c.LLEN ? k : 0;
}
// The word after the one at the cursor on the same line ("" when none).
inline std::string_view next_word() {
  const int k = next_word_col(CURSOR.ICOL);
  if (k == 0) return {};
  std::string_view s = line_from(k);
  std::size_t e = 0;
  while (e < s.size() && s[e] != ' ' && s[e] != ',') ++e;
  return s.substr(0, e);
}

// Moves the cursor past blanks and commas on the current line (a cursor at
// 0, after the end of the input, stays there).
inline void skip_seps() {
  auto& c = CURSOR;
  while (c.ICOL >= 1 && c.ICOL <= c.LLEN && (chr(c.ICOL) == ' ' || chr(c.ICOL) == ',')) ++c.ICOL;
}

// Reads a parameter number with RDNUM, or a range of them ("TO" or "-"
// and a second number, ascending or descending), and calls f(k) for every
// number k from the first to the last.
template <class F>
void each_number_of_range(F&& f) {
  auto& c = CURSOR;
  RDNUM();
  const int first = c.IVALUE;
  int last = first;
  if (c.RANGFL) {
    RDNUM();
    last = c.IVALUE;
  }
  const int step = last >= first ? 1 : -1;
  for (int k = first;; k += step) {
    f(k);
    if (k == last) break;
  }
}

// Group limit of element statements: the current group, or every group in
// multiple-fit mode.
inline int group_limit() { return MAINPR.MULFIT == 1 ? MAINPR.NG : MAINPR.IGRP; }

}  // namespace qv::jobbase::stmt
