#include "jobctl/formstmt.hpp"

#include <algorithm>
#include <string>
#include <string_view>

#include "algebra/formcomp.hpp"
#include "algebra/formmach.hpp"
#include "algebra/ftoken.hpp"
#include "jobbase/htmlrep.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobctl/matdecl.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/stmtaux.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using namespace jobbase::stmt;
using runtime::kStdout;
using runtime::write_list;

namespace {


// The storage pointer of formula statements: RDPTR while a job is read; in
// multiple-fit mode, where a group must have been chosen with "#G", past
// everything the continued job has stored (the end of the stored model and
// RDPTR, which an IC list or a label block before the formula moved), and
// both the end and RDPTR move past the formula, so that later statements,
// and the preparation's group lists, are stored after it.
int get_pointer() {
  if (MAINPR.MULFIT == 1) {
    GRPCHK();
    return continued_storage(WORKSP.x(), MAINPR.NG);
  }
  return MAINPR.RDPTR;
}
void set_pointer(int p) {
  if (MAINPR.MULFIT == 1)
    continued_stored(WORKSP.x(), MAINPR.NG, p);
  else
    MAINPR.RDPTR = p;
}

// Completes a formula's text record: the number of label slots it used.
void finish_text(int where) {
  auto X = WORKSP.x();
  X(where) = MAINPR.LABSLOT - X(where) + 1;
  MAINPR.LABSLOT += 1;
}

// Moves the cursor to the next word, reading lines as needed; the end of
// the input inside the algebra section is an error that names what is missing.
void next_word_any() {
  auto& c = CURSOR;
  ++c.ICOL;
  for (;;) {
    while (c.ICOL <= c.LLEN && (chr(c.ICOL) == ' ' || chr(c.ICOL) == ',')) ++c.ICOL;
    if (c.ICOL >= 1 && c.ICOL <= c.LLEN) return;
    RDLINE();
    if (c.ICOL == 0) {
      write_list(kStdout, {" Could not find ", "End Algebra;"});
      ERRMSG(160);
    }
  }
}

// The word at the cursor, up to a blank, comma, "=" or ";".
std::string word_here() {
  std::string w;
  for (int k = CURSOR.ICOL; k <= CURSOR.LLEN; ++k) {
    const char ch = chr(k);
    if (ch == ' ' || ch == ',' || ch == '=' || ch == ';') break;
    w.push_back(ch);
  }
  return w;
}

// Moves the cursor onto the next occurrence of ch, with the warning of a
// search past the line.
void find_char(char ch) {
  if (line_from(CURSOR.ICOL).find(ch) == std::string_view::npos) jobbase::WARNHD();
  if (chr(CURSOR.ICOL) == ch) return;
  FINDCH(ch, 1);
}

// Compiles one formula statement: code 2 covariance, 1 means, 0 weight.
void compile_statement(int code) {
  auto IX = IWORKS.ix();
  auto& m = MAINPR;
  const GroupView G = current_group();
  auto X = G.X;
  const int NG = G.NG;
  const int g = G.g;
  int p = get_pointer();
  const int grpkind = G.icol(gcol::kKind);
  if (code == 1 && grpkind != kKindData && grpkind != kKindSim) ERRMSG(126);
  const int slotk = code == 2 ? fslot::kCov : (code == 1 ? fslot::kMeans : fslot::kWeight);
  const int kind = code == 2 ? fkind::kCov : (code == 1 ? fkind::kMeans : fkind::kWeight);
  const int mode = code == 2 ? grpkind : algebra::kModeOtherFormula;
  int where = 0;
  CHKMEM(p + 2);
  ADDMAT(X, g, NG, p, m.LABSLOT, slotk, where);
  algebra::FTKSTA.WATFLG = false;
  const int watched = G.icol(gcol::kRawLetter);
  algebra::FTKSTA.WATLET = (watched >= 1 && watched <= 26) ? watched : 0;
  algebra::CMPFORM(X, IX, p, mode, kind, 0, LABTAB, m.LABSLOT);
  finish_text(where);
  if (algebra::FTKSTA.WATFLG) {
    if (code == 2) G.col(gcol::kCaseDepend) += 2;
    if (code == 1) G.col(gcol::kCaseDepend) += 1;
  }
  if (code == 1 && G.icol(gcol::kFitCode) == kFitTable) {
    const int res = G.icol(gcol::kMeansResult);
    const int rr = icell(X(res - 2));
    const int cc = icell(X(res - 1));
    const int r = G.icol(gcol::kTableRows);
    const int c = G.icol(gcol::kTableCols);
    if (rr != 2 || cc < std::max(r, c) - 1) {
      write_list(kStdout, {});
      write_list(kStdout, {" Formula for thresholds creates a matrix with ", r, " rows"});
      write_list(kStdout, {" and ", c, " columns"});
      ERRMSG(131);
    }
  }
  if (code == 0) p += IGRPTB(IX, NG, igcol::kModels, g);
  set_pointer(p);
}

// A computed matrix of the algebra section: letter L, cursor on its name.
void computed_matrix(int L, int& order) {
  auto IX = IWORKS.ix();
  auto& m = MAINPR;
  const GroupView G = current_group();
  auto X = G.X;
  const int NG = G.NG;
  const int g = G.g;
  const int type = icell(G.type(L));
  if (type == kTypeComputed) ERRMSG(157);
  if (type != kTypeUndeclared) {
    jobbase::WARNHD();
    write_list(kStdout, {" Matrix was previously defined for this group. "});
    write_list(kStdout, {" New definition accepted"});
    DELENT(IX, NG, g, L);
  }
  G.type(L) = kTypeComputed;
  find_char('=');
  const double defined = G.col(gcol::kCompFormula);
  const double result = G.col(gcol::kCompResult);
  int p = get_pointer();
  int where = 0;
  CHKMEM(p + 3);
  ADDMAT(X, g, NG, p, m.LABSLOT, L, where);
  const int a = p;
  X(a) = ++order;
  p += 1;
  algebra::FMFLAG.CMPLET = L;
  algebra::FTKSTA.WATFLG = false;
  algebra::CMPFORM(X, IX, p, algebra::kModeOtherFormula, fkind::kComputed, a, LABTAB, m.LABSLOT);
  algebra::FMFLAG.CMPLET = 0;
  finish_text(where);
  G.col(gcol::kCompFormula) = defined + 1;
  G.col(gcol::kCompResult) = result;
  set_pointer(p);
  // Evaluated at once, its temporaries above everything stored.
  const RestoreCell top(m.WSTOP);
  m.WSTOP = std::max(m.WSTOP, p);
  int status = 1;
  algebra::EVONEC(X, L, status);
}

bool starts(const std::string& w, std::string_view key) { return w.size() >= key.size() && w.compare(0, key.size(), key) == 0; }

}  // namespace

void THRFRM(int code) {
  // "KEYWORD = formula": the compiler starts after the "=".
  auto& c = CURSOR;
  int k = c.ICOL;
  while (k <= c.LLEN && is_letter(chr(k))) ++k;
  while (k <= c.LLEN && chr(k) == ' ') ++k;
  if (chr(k) == '=') c.ICOL = k;
  compile_statement(code);
}

void RDFORM() {
  const GroupView G = current_group();
  int order = 0;
  for (int L = 1; L <= 26; ++L)
    if (icell(G.type(L)) == kTypeComputed) ++order;
  for (;;) {
    next_word_any();
    const std::string w = word_here();
    if (starts(w, "EN") && next_word().substr(0, 2) == "AL") return;
    if (w.empty() || !is_letter(w[0])) ERRMSG(158);
    if (starts(w, "MEAN") || starts(w, "THRESHOLD")) {
      THRFRM(1);
    } else if (starts(w, "COVARIANCE") || starts(w, "CONSTRAINT") || starts(w, "COMPUTE")) {
      THRFRM(2);
    } else if (starts(w, "WEIGHT")) {
      THRFRM(0);
    } else {
      computed_matrix(w[0] - 'A' + 1, order);
    }
  }
}

void FORMST() {
  auto& c = CURSOR;
  if (begins("BE")) {
    const std::string_view nw = next_word();
    if (nw.substr(0, 2) == "MA") {
      MATDCL(true);
      return;
    }
    if (nw.substr(0, 2) != "AL") {
      const int k = next_word_col(c.ICOL);
      if (k != 0) c.ICOL = k;
      ERRMSG(159);
    }
    find_char(';');
    RDFORM();
    RDLINE();
    return;
  }
  const std::string_view w = line_from(c.ICOL).substr(0, 2);
  if (w == "MO" || w == "M2" || w == "CO")
    compile_statement(2);
  else if (w == "M1" || w == "ME" || w == "TH")
    compile_statement(1);
  else if (w == "WE")
    compile_statement(0);
  else
    return;
  RDLINE();
}

void FMPREP(int g) {
  auto X = WORKSP.x();
  auto IX = IWORKS.ix();
  auto& m = MAINPR;
  auto& f = algebra::FMFLAG;
  const int NG = m.NG;
  const RestoreCell group(m.IGRP);
  m.IGRP = g;
  const GroupView G{X, NG, g};
  const int fit = G.icol(gcol::kFitCode);
  f.NMODEL = (fit == kFitVL || fit == kFitOrdMix) ? std::max(IGRPTB(IX, NG, igcol::kModels, g), 1) : 1;
  f.SHAPE = true;
  f.ACCNT = true;
  int status = 1;
  algebra::EVCOMP(X, 0, status);
  algebra::EVFORM(X, fkind::kCov, g, g, status);
  f.SHAPE = false;
  f.ACCNT = false;
  const int r9 = G.icol(gcol::kCovResult);
  if (fit < kFitUser && G.icol(gcol::kKind) < kKindConstraint && r9 > 3) {
    const int ni = G.icol(gcol::kNvar);
    const int rows = icell(X(r9 - 2));
    const int cols = icell(X(r9 - 1));
    if (rows != ni || cols != ni) {
      const int order = rows != ni ? rows : cols;
      write_list(kStdout, {});
      write_list(kStdout, {" Number of observed variables (NI after any selection) =  ", ni});
      write_list(kStdout, {" Order of expected matrix resulting from your Cov formula = ", order});
      ERRMSG(61);
    }
  }
}

}  // namespace qv::jobctl
