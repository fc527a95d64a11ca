#include "jobctl/matdecl.hpp"

#include <algorithm>
#include <string>

#include "jobbase/htmlrep.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/hashcmd.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/stmtaux.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using runtime::kStdout;
using runtime::write_list;
using namespace stmt;

void EQWARN(int code) {
  report::WARNHD();
  switch (code) {
    case 1:
      write_list(kStdout, {" The type of this matrix is not the same as the type of the "});
      write_list(kStdout, {"  matrix you want it to equal"});
      write_list(kStdout, {" I'm ignoring your mistake and keeping previous type"});
      break;
    case 2:
      write_list(kStdout, {" The number of rows in this matrix is not the same as in the"});
      write_list(kStdout, {"  matrix you want it to equal"});
      write_list(kStdout, {" I'm ignoring your mistake and keeping previous size"});
      break;
    case 3:
      write_list(kStdout, {" The number of columns in this matrix is not the same as in "});
      write_list(kStdout, {"  the matrix you want it to equal"});
      write_list(kStdout, {" I'm ignoring your mistake and keeping previous sIze"});
      break;
    default:
      write_list(kStdout, {" The size of this matrix is not the same as the size"});
      write_list(kStdout, {"  of the matrix you want it to equal"});
      break;
  }
}

namespace {

// Skips blanks from the cursor on, reading further lines while a line is
// used up.  The end of the input leaves nothing to equate to (error 41).
void skip_blanks_across_lines() {
  auto& c = CURSOR;
  for (;;) {
    while (c.ICOL >= 1 && c.ICOL <= c.LLEN && cur() == ' ') ++c.ICOL;
    if (c.ICOL >= 1 && c.ICOL <= c.LLEN) return;
    RDLINE();
    if (c.ICOL == 0) ERRMSG(41);
  }
}

// The "=" that a CO declaration needs: searched from the cursor, reading
// further lines with a warning; found only on a later line is error 193, not
// found before the input ends is error 160.
void find_co_equals() {
  if (seek_char_warned('=')) ERRMSG(193);
}

// Group number after a letter or a "%" form (no new line is read).
int group_number() {
  RDVAL();
  return CURSOR.IVALUE;
}

struct Decl {
  int g = 0, NG = 0, B = 0, L = 0;
  int type = 0, rows = 0, cols = 0;
};

// Takes the attributes of letter Lr of group n (the letter form and CO).
void equate_letter(runtime::Vec1<double> X, Decl& d, int Lr, int n) {
  auto& m = MAINPR;
  const int Bn = GroupView{X, d.NG, n}.B();
  int rtype = static_cast<int>(MTTYPE(X, Bn, Lr));
  if (rtype == kTypeUndeclared) ERRMSG(47);
  const int rrows = static_cast<int>(MTROWS(X, Bn, Lr));
  const int rcols = static_cast<int>(MTCOLS(X, Bn, Lr));
  const int shown = rtype == kTypeComputed ? kTypeCompRef : rtype;
  if (d.type != shown && d.type != rtype) EQWARN(1);
  if (d.rows != rrows) EQWARN(2);
  if (d.cols != rcols) EQWARN(3);
  MTTYPE(X, d.B, d.L) = shown;
  MTROWS(X, d.B, d.L) = rrows;
  MTCOLS(X, d.B, d.L) = rcols;
  MTADDR(X, d.B, d.L) = MTADDR(X, Bn, Lr);
  MTLABL(X, d.B, d.L) = MTLABL(X, Bn, Lr);
  MTFSLT(X, d.B, d.L) = MTFSLT(X, Bn, Lr);
  ALLOCI(IWORKS.ix(), d.NG, d.g, d.L, n, Lr, m.IWSTOP);
}

// The "%" forms: views of observed data, expected matrices, proportions,
// fit-function values and the raw-data vector.  The cursor is on "%".
void equate_percent(runtime::Vec1<double> X, Decl& d) {
  auto& c = CURSOR;
  const int NG = d.NG;
  const int g = d.g;
  if (d.type != kTypeSym && d.type != kTypeFull) ERRMSG(70);
  ++c.ICOL;
  const char form = cur();
  ++c.ICOL;
  const GroupView G{X, NG, g};
  int type = d.type;
  int rows = d.rows;
  int cols = d.cols;
  int addr = 0;
  switch (form) {
    case 'O': {
      const int n = group_number();
      const GroupView N{X, NG, n};
      if (n < 1 || n > g) ERRMSG(42);
      if (N.col(gcol::kKind) > 0.0) ERRMSG(81);
      type = kTypeViewSym;
      if (N.col(gcol::kObsData) == 0.0) ERRMSG(190);
      const int nvar = N.icol(gcol::kNvar);
      if (nvar < rows) {
        write_list(kStdout, {" Order of model expected matrix =", nvar});
        ERRMSG(71);
      }
      // The view is the leading rows x rows part of the packed observed
      // matrix: its values begin at the observed matrix itself.
      int t = type;
      addr = N.icol(gcol::kObsData) - NELEM(t, rows, cols);
      break;
    }
    case 'C': {
      if (d.type != kTypeFull) ERRMSG(70);
      const int n = group_number();
      const GroupView N{X, NG, n};
      if (n < 1 || n > g) ERRMSG(42);
      if (N.col(gcol::kKind) > 0.0) ERRMSG(81);
      type = kTypeViewFull;
      if (N.icol(gcol::kFitCode) != kFitTable) ERRMSG(191);
      const int tr = N.icol(gcol::kTableRows);
      const int tc = N.icol(gcol::kTableCols);
      if (tr != rows || tc != cols) {
        write_list(kStdout, {" Dimensions of contingency table in referenced group are", tr, " rows by ", tc,
                             " columns."});
        ERRMSG(191);
      }
      addr = N.icol(gcol::kObsData) - rows * cols;
      break;
    }
    case 'E': {
      const int n = group_number();
      const GroupView N{X, NG, n};
      if (n < 1 || n >= g) ERRMSG(42);
      int er = 0, ec = 0;
      if (N.col(gcol::kKind) < 1.0) {
        if (N.icol(gcol::kFitCode) == kFitTable) {
          er = ec = 2;
          addr = N.icol(gcol::kCovResult) - 3;
        } else {
          er = ec = N.icol(gcol::kNvar);
          addr = N.icol(gcol::kCovResult) - N.icol(gcol::kNstat);
        }
        type = kTypeViewSym;
      } else {
        const int p = N.icol(gcol::kCovResult);
        if (p < 4) ERRMSG(196);
        int ptype = static_cast<int>(X(p - 3));
        er = static_cast<int>(X(p - 2));
        ec = static_cast<int>(X(p - 1));
        if (ptype == 0 || er == 0 || ec == 0) ERRMSG(196);
        addr = p - NELEM(ptype, er, ec);
        type = kTypeViewFull;
      }
      if (er != rows || ec != cols) {
        write_list(kStdout, {" Order of model matrix =", er, " By", ec});
        ERRMSG(72);
      }
      // A data group without a covariance formula has no expected matrix to
      // view (its result column still 0): the address would fall before the workspace.
      if (N.col(gcol::kCovResult) == 0.0) ERRMSG(196);
      ALLOCI(IWORKS.ix(), NG, g, d.L, n, fslot::kCov, MAINPR.IWSTOP);
      break;
    }
    case 'P': {
      const int n = group_number();
      const GroupView N{X, NG, n};
      if (n < 1 || n > NG) ERRMSG(42);
      const int fc = N.icol(gcol::kFitCode);
      if (fc != kFitTable) {
        write_list(kStdout, {"Group", n, " is of class", fc});
        ERRMSG(135);
      }
      addr = N.icol(gcol::kCovResult) + 3 - N.icol(gcol::kTableRows) * N.icol(gcol::kTableCols);
      type = kTypeViewFull;
      break;
    }
    case 'F': {
      const int n = group_number();
      if (n < 1 || n >= g) ERRMSG(42);
      if (rows != 1 || cols != 1) {
        report::WARNHD();
        write_list(kStdout, {" Matrix order set to 1x1 for %F equality"});
        write_list(kStdout, {});
        rows = cols = 1;
      }
      // One value: the group's fit-function value, the word after addr.
      addr = gcol::kFitValue * NG + n;
      type = kTypeViewFull;
      break;
    }
    case 'R': {
      const int ni = G.icol(gcol::kNi);
      if (rows != 1 || cols > ni) ERRMSG(90);
      // Without raw data in this group there is nothing to view: the address
      // would fall before the start of the workspace.
      if (G.col(gcol::kRawData) == 0.0) ERRMSG(81);
      MATDST.RAWJOB = 1;
      MATDST.RAWGRP = 1;
      int t = type;
      addr = G.icol(gcol::kRawData) - NELEM(t, rows, cols);
      G.col(gcol::kRawLetter) = d.L;
      break;
    }
    default:
      ERRMSG(68);
  }
  MTTYPE(X, d.B, d.L) = type;
  MTROWS(X, d.B, d.L) = rows;
  MTCOLS(X, d.B, d.L) = cols;
  MTADDR(X, d.B, d.L) = addr;
}

}  // namespace

void MATDCL(bool reopen) {
  auto& m = MAINPR;
  auto& c = CURSOR;
  auto X = WORKSP.x();
  auto IX = IWORKS.ix();
  const int NG = m.NG;
  const int g = m.IGRP;

  if (begins("BE")) {
    const int k = next_word_col(c.ICOL);
    if (k == 0 || line_from(k).substr(0, 2) != "MA") {
      if (k != 0) c.ICOL = k;
      ERRMSG(170);
    }
  }

  // The group's table, and where its new matrices are stored.
  int B = 0;
  int base = 0;
  if (!reopen) {
    B = m.RDPTR;
    CHKMEM(B + kMattabWords - 1);
    GRPTAB(X, NG, gcol::kMattab, g) = B;
    for (int L = 1; L <= 26; ++L) {
      MTTYPE(X, B, L) = kTypeUndeclared;
      MTROWS(X, B, L) = 0.0;
      MTCOLS(X, B, L) = 0.0;
      MTADDR(X, B, L) = 0.0;
      MTLABL(X, B, L) = 0.0;
    }
    for (int k = 1; k <= fslot::kCount; ++k) MTFSLT(X, B, k) = 0.0;
    base = B + kMattabWords;
    if (g == 1 && m.MULFIT == 0) MATDST.reset();
    MATDST.RAWGRP = 0;
  } else {
    B = GroupView{X, NG, g}.B();
    base = m.MULFIT == 1 ? icell(GRPTAB(X, NG, gcol::kModelEnd, 1)) : m.RDPTR;
  }
  int offset = 0;

  // "Matrices = Group n": all matrices of an earlier group.
  if (!reopen && g >= 2) {
    int k = c.ICOL;
    while (k <= c.LLEN && chr(k) != '=') ++k;
    if (k <= c.LLEN) {
      c.ICOL = k + 1;
      for (;;) {
        while (c.ICOL <= c.LLEN && cur() == ' ') ++c.ICOL;
        if (c.ICOL <= c.LLEN) break;
        RDLINE();
        if (c.ICOL == 0) ERRMSG(182);
      }
      if (cur() == 'G') {
        while (c.ICOL <= c.LLEN && cur() != ' ' && !is_digit(cur())) ++c.ICOL;
        while (c.ICOL <= c.LLEN && cur() == ' ') ++c.ICOL;
      }
      if (c.ICOL > c.LLEN) ERRMSG(182);
      RDNUM();
      const int n = c.IVALUE;
      if (n < 1 || n >= g) ERRMSG(42);
      const int Bn = GroupView{X, NG, n}.B();
      for (int L = 1; L <= 26; ++L) {
        const int t = static_cast<int>(MTTYPE(X, Bn, L));
        if (t == kTypeUndeclared) continue;
        MTTYPE(X, B, L) = t == kTypeComputed ? kTypeCompRef : t;
        MTROWS(X, B, L) = MTROWS(X, Bn, L);
        MTCOLS(X, B, L) = MTCOLS(X, Bn, L);
        MTADDR(X, B, L) = MTADDR(X, Bn, L);
        MTLABL(X, B, L) = MTLABL(X, Bn, L);
        MTFSLT(X, B, L) = MTFSLT(X, Bn, L);
        ALLOCI(IX, NG, g, L, n, L, m.IWSTOP);
      }
    }
  }

  for (;;) {
    RDLINE();
    if (c.ICOL == 0) break;  // the statement reader reports the missing End
    if (begins("#D")) {
      int unused = 0;
      HASHCMD(X, unused);
      continue;
    }
    const std::string_view w2 = line_from(c.ICOL).substr(0, 2);
    if (w2 == "MO" || w2 == "M2" || w2 == "CO" || w2 == "M1" || w2 == "ME" || w2 == "TH" || w2 == "BE" ||
        w2 == "WE")
      break;
    if (w2 == "EN") {
      const int k = next_word_col(c.ICOL);
      if (k == 0 || line_from(k).substr(0, 2) != "MA") {
        if (k != 0) c.ICOL = k;
        ERRMSG(171);
      }
      RDLINE();
      break;
    }

    // Letter and type word.
    int flag = 0;
    Decl d;
    d.g = g;
    d.NG = NG;
    d.B = B;
    d.L = LETIDX(cur(), flag);
    if (flag != 0) ERRMSG(5);
    if (static_cast<int>(MTTYPE(X, B, d.L)) != kTypeUndeclared) {
      report::WARNHD();
      write_list(kStdout, {" Matrix was previously defined for this group.  Qv will redefine"});
      DELENT(IX, NG, g, d.L);
      // The old label block has the old shape; a new one is made on demand.
      MTLABL(X, B, d.L) = 0.0;
    }
    NEXTWD();
    const std::string_view tw = line_from(c.ICOL).substr(0, 2);
    int type = 0;
    for (int t = 1; t <= 12; ++t)
      if (tw.size() == 2 && TYPLET.substr(static_cast<std::size_t>(2 * (t - 1)), 2) == tw) type = t;
    if (type == 0) ERRMSG(6);
    d.type = type;

    // The order is read after the type word, so that a defined name may
    // stand for the first number as well.  An order below zero has no rows
    // or columns to store: refused here, as its negative element count would
    // run the storage offset backwards.
    while (is_letter(cur())) ++c.ICOL;
    RDNUM();
    d.rows = c.IVALUE;
    if (d.rows < 0) ERRMSG(99);
    RDNUM();
    d.cols = c.IVALUE;
    if (d.cols < 0) ERRMSG(100);
    MATDST.MAXDIM = std::max({MATDST.MAXDIM, d.rows, d.cols});
    MTTYPE(X, B, d.L) = type;
    MTROWS(X, B, d.L) = d.rows;
    MTCOLS(X, B, d.L) = d.cols;
    const int addr = base + offset;
    MTADDR(X, B, d.L) = addr;

    if (type == kTypeCo) {
      // A reference to a computed matrix of an earlier group.
      d.type = kTypeCompRef;
      MTTYPE(X, B, d.L) = kTypeCompRef;
      find_co_equals();
      ++c.ICOL;
      skip_blanks_across_lines();
      if (cur() == '/' || cur() == ';' || !is_letter(cur())) ERRMSG(195);
      const int Lr = LETIDX(cur(), flag);
      ++c.ICOL;
      const int n = group_number();
      if (n < 1 || n >= g) ERRMSG(42);
      if (icell(GroupView{X, NG, n}.type(Lr)) != kTypeComputed) ERRMSG(194);
      equate_letter(X, d, Lr, n);
      continue;
    }

    if (!(on_line() && cur() == '=')) {
      // The matrix owns its storage: specification numbers, then values.
      int t = type;
      const int n = NELEM(t, d.rows, d.cols);
      check_room(static_cast<long long>(addr) + 2LL * n - 1);
      const bool fr = begins("FR");
      const bool un = begins("UN");
      for (int i = 0; i < n; ++i) {
        double s = 0.0;
        if (fr)
          s = ++m.NFREE;
        else if (un)
          s = ++m.NUNCNT;
        X(addr + i) = s;
        X(addr + n + i) = 0.0;
      }
      offset += 2 * n;
      continue;
    }

    // "=" forms: the matrix shares or views other storage.
    ++c.ICOL;
    skip_blanks_across_lines();
    if (cur() == '/' || cur() == ';') ERRMSG(41);
    if (cur() == '%') {
      equate_percent(X, d);
    } else if (is_letter(cur())) {
      const int Lr = LETIDX(cur(), flag);
      ++c.ICOL;
      const int n = group_number();
      if (n < 1 || n >= g) ERRMSG(42);
      equate_letter(X, d, Lr, n);
    } else {
      ERRMSG(41);
    }
  }

  if (!reopen) {
    m.RDPTR = B + kMattabWords + offset;
  } else if (m.MULFIT == 1) {
    GRPTAB(X, NG, gcol::kModelEnd, 1) = base + offset;
    m.RDPTR = std::max(m.RDPTR, base + offset);
  } else {
    m.RDPTR = base + offset;
  }
}

}  // namespace qv::jobctl
