#include "jobctl/grpline.hpp"

#include <climits>
#include <string_view>

#include "jobbase/errmsg.hpp"
#include "jobbase/hashcmd.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobctl/savefile.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/packidx.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

// The two characters at the cursor (blanks past the end of the line).
std::string_view two_at_cursor() {
  const auto& c = CURSOR;
  if (c.ICOL < 1 || c.ICOL > LINMAX - 1) return "  ";
  return std::string_view(LINBUF.LINE).substr(static_cast<std::size_t>(c.ICOL - 1), 2);
}

bool at_line_end() { return CURSOR.ICOL < 1 || CURSOR.ICOL > CURSOR.LLEN; }

// Moves to the next word of the current line without fetching another line.
// Returns false when the line has no further word.
bool next_word_on_line() {
  auto& m = MAINPR;
  const double saved = m.NOREAD;
  m.NOREAD = 1.0;
  NEXTWD();
  m.NOREAD = saved;
  return !at_line_end();
}

}  // namespace

bool NUMONL(int& value) {
  auto& m = MAINPR;
  const double saved = m.NOREAD;
  m.NOREAD = 1.0;
  SKIPDL();
  m.NOREAD = saved;
  if (CURSOR.NEWLIN || at_line_end()) return false;
  RDNUM();
  value = CURSOR.IVALUE;
  return true;
}

namespace {

// NG given on a group line.  In the first group while word 1 of WORKSP is
// still 0 it fixes the job's NG; anywhere else a different value is error
// 55 (which returns) and the job's NG stays.
void group_count(int n) {
  auto& m = MAINPR;
  auto X = WORKSP.x();
  if (m.IGRP == 1 && X(1) == 0.0) {
    SETNG(n);
  } else if (n != m.NG) {
    report_ignored_error(55);
  }
}

// A CO or CA word in the first group while NG is not yet known must be
// followed by NGroups.
void ng_after_kind() {
  if (WORKSP.x()(1) != 0.0) return;
  if (!next_word_on_line() || two_at_cursor() != "NG") ERRMSG(73);
  int n = 0;
  if (!NUMONL(n)) ERRMSG(73);
  group_count(n);
}

// Data line words; returns when the set-up is to begin.
void data_line() {
  auto& m = MAINPR;
  if (!next_word_on_line()) {
    // Nothing after DA.
  }
  for (;;) {
    if (at_line_end()) {
      if ((m.NIGRP == 0 && m.GRPKIND < 2) || (m.NOGRP == 0 && m.GRPKIND == 0)) ERRMSG(2);
      return;
    }
    const std::string w(two_at_cursor());  // a copy: reading a number may fetch the next line
    int v = 0;
    if (w == "CO") {
      m.GRPKIND = 1;
      return;
    }
    if (w == "CA") {
      m.GRPKIND = 2;
      ng_after_kind();
      return;
    }
    if (w == "SI") {
      m.GRPKIND = 3;
      next_word_on_line();
      continue;
    }
    if (w == "NI" || w == "NO" || w == "NM") {
      if (!NUMONL(v)) continue;  // the line ended: the checks above apply
      // Counts must be sensible: a negative NI or NO, or NM below 1, is
      // reported and ignored.
      const int least = w == "NM" ? 1 : 0;
      if (v < least) {
        report_ignored_error(22);
        continue;
      }
      (w == "NI" ? m.NIGRP : w == "NO" ? m.NOGRP : m.NMGRP) = v;
      continue;
    }
    if (w == "MA") {
      SKIPEQ();
      const std::string_view k = two_at_cursor();
      if (k == "CM") {
        m.MAGRP = 0;
      } else if (k == "PM") {
        m.MAGRP = 1;
      } else if (k == "KM") {
        m.MAGRP = 2;
      } else if (k == "CT") {
        m.MAGRP = 3;
      } else {
        ERRMSG(84);
      }
      next_word_on_line();
      continue;
    }
    if (w == "NG") {
      if (!NUMONL(v)) continue;
      group_count(v);
      continue;
    }
    // Any other word: the rest of the line is ignored.
    if (CURSOR.ICOL < CURSOR.LLEN) report_ignored_error(22);
    return;
  }
}

// Group set-up for every kind of group.
void group_setup() {
  auto& m = MAINPR;
  auto X = WORKSP.x();
  auto IX = IWORKS.ix();
  const int g = m.IGRP;
  if (m.NG < 1 || !m.NGSET) ERRMSG(210);
  const int NG = m.NG;

  // The group's material starts after the group table and the groups read
  // so far; the table columns must fit before they are written.
  const long long start = static_cast<long long>(kGrpCols) * NG + 3 + m.USEDWS;
  CHKMEM(static_cast<int>(std::min<long long>(start, INT_MAX)));
  const long long stats = runtime::packed_size<long long>(m.NIGRP);
  if (start + stats > m.WSLIM) CHKMEM(static_cast<int>(std::min<long long>(start + stats, INT_MAX)));

  X(1) = NG;
  const GroupView G{X, NG, g};
  G.col(gcol::kNi) = m.NIGRP;
  G.col(gcol::kNobs) = m.NOGRP;
  G.col(gcol::kNvar) = m.NIGRP;
  G.col(gcol::kNstat) = static_cast<double>(stats);
  if (m.MAGRP >= 0) G.col(gcol::kObsKind) = m.MAGRP;
  G.col(gcol::kFitCode) = kFitML;
  G.col(gcol::kKind) = m.GRPKIND;

  m.RDPTR = static_cast<int>(start);
  if (g == 1) m.IWSTOP = 11 * NG + 3;
  IGRPTB(IX, NG, igcol::kModels, g) = m.NMGRP;
  IGRPTB(IX, NG, igcol::kSuppress, g) = 0;
  IGRPTB(IX, NG, igcol::kObsSd, g) = 0;
  IGRPTB(IX, NG, igcol::kObsMean, g) = 0;
  m.WSTOP = m.RDPTR;

  G.col(gcol::kVarLabels) = 0;
  G.col(gcol::kTitle) = m.LABSLOT;
  for (int k = 0; k < 4; ++k)
    LABTAB.put(m.LABSLOT + k, std::string_view(m.GRPTTL).substr(static_cast<std::size_t>(32 * k), 32));
  m.LABSLOT += 4;

  RDLINE();
  m.NASTAT = 0;
}

}  // namespace

void SETNG(int n) {
  auto& m = MAINPR;
  if (n < 1) ERRMSG(210);
  m.NG = n;
  WORKSP.x()(1) = n;
  m.NGSET = true;
  if (m.IGRP <= 1) INITGP(IWORKS.ix(), n);
}

void BINGET() {
  auto& m = MAINPR;
  BINOPN(WORKSP.x(), m.WSTOP, IWORKS.ix(), m.IWSTOP, 0, m.MULFIT, m.IGRP, m.NG, m.LABSLOT, m.RDPTR);
}

GrpNext GRPLIN() {
  auto& m = MAINPR;
  RDLINE();
  for (;;) {
    if (CURSOR.ICOL == 0) ERRMSG(7);
    const std::string w(two_at_cursor());  // a copy: reading a number may fetch the next line
    if (w == "DA") {
      data_line();
      break;
    }
    if (w == "GE") {
      BINGET();
      return GrpNext::Get;
    }
    if (w == "CO" || w == "CA") {
      m.GRPKIND = w == "CO" ? 1 : 2;
      ng_after_kind();
      break;
    }
    if (w == "SI") {
      m.GRPKIND = 3;
      break;
    }
    if (w == "NG") {
      int n = 0;
      if (!NUMONL(n)) ERRMSG(210);
      group_count(n);
      RDLINE();
      continue;
    }
    if (w == "#D") {
      int unused = 0;
      HASHCMD(WORKSP.x(), unused);
      RDLINE();
      continue;
    }
    ERRMSG(1);
  }
  group_setup();
  return m.GRPKIND == 0 ? GrpNext::Data : GrpNext::Model;
}

}  // namespace qv::jobctl
