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

using namespace jobbase;
using runtime::kStdout;
using runtime::write_list;
using namespace jobbase::stmt;

void EQWARN(int code) {
  jobbase::WARNHD();
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

// The declaration being read: the group, its matrix table at B, the
// letter L and the attributes given.
struct Decl {
  int g = 0, NG = 0, B = 0, L = 0;
  int type = 0, rows = 0, cols = 0;
};

// The attributes that a declaration's table words receive.
struct View {
  int type, rows, cols, addr;
};

void set_words(runtime::Vec1<double> X, const Decl& d, const View& w) {
  MTTYPE(X, d.B, d.L) = w.type;
  MTROWS(X, d.B, d.L) = w.rows;
  MTCOLS(X, d.B, d.L) = w.cols;
  MTADDR(X, d.B, d.L) = w.addr;
}

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

// The "%" forms, each from the declared attributes to those of the view.
//
// %On: the leading rows x rows part of the packed observed matrix of data
// group n (up to this one): its values begin at the observed matrix itself.
View view_observed(runtime::Vec1<double> X, const Decl& d, View w) {
  const int n = group_number();
  const GroupView N{X, d.NG, n};
  if (n < 1 || n > d.g) ERRMSG(42);
  if (N.col(gcol::kKind) > kKindData) ERRMSG(81);
  w.type = kTypeViewSym;
  if (N.col(gcol::kObsData) == 0.0) ERRMSG(190);
  const int nvar = N.icol(gcol::kNvar);
  if (nvar < w.rows) {
    write_list(kStdout, {" Order of model expected matrix =", nvar});
    ERRMSG(71);
  }
  int t = w.type;
  w.addr = N.icol(gcol::kObsData) - NELEM(t, w.rows, w.cols);
  return w;
}

// %Cn: the counts of the contingency table of data group n (a FU
// declaration of the table's order).
View view_table(runtime::Vec1<double> X, const Decl& d, View w) {
  if (d.type != kTypeFull) ERRMSG(70);
  const int n = group_number();
  const GroupView N{X, d.NG, n};
  if (n < 1 || n > d.g) ERRMSG(42);
  if (N.col(gcol::kKind) > kKindData) ERRMSG(81);
  w.type = kTypeViewFull;
  if (N.icol(gcol::kFitCode) != kFitTable) ERRMSG(191);
  const int tr = N.icol(gcol::kTableRows);
  const int tc = N.icol(gcol::kTableCols);
  if (tr != w.rows || tc != w.cols) {
    write_list(kStdout, {" Dimensions of contingency table in referenced group are", tr, " rows by ", tc,
                         " columns."});
    ERRMSG(191);
  }
  w.addr = N.icol(gcol::kObsData) - w.rows * w.cols;
  return w;
}

// The header type of a formula result that was never written.
constexpr int kNoResult = 0;

// %En: the expected matrix of an earlier group n: a data group's packed
// expected covariance matrix (2 x 2 for a contingency table), or the
// covariance formula's result of any other group as it stands.
View view_expected(runtime::Vec1<double> X, const Decl& d, View w) {
  const int n = group_number();
  const GroupView N{X, d.NG, n};
  if (n < 1 || n >= d.g) ERRMSG(42);
  int er = 0, ec = 0;
  if (N.col(gcol::kKind) < kKindConstraint) {
    if (N.icol(gcol::kFitCode) == kFitTable) {
      er = ec = 2;
      w.addr = N.icol(gcol::kCovResult) - 3;
    } else {
      er = ec = N.icol(gcol::kNvar);
      w.addr = N.icol(gcol::kCovResult) - N.icol(gcol::kNstat);
    }
    w.type = kTypeViewSym;
  } else {
    const int p = N.icol(gcol::kCovResult);
    if (p < 4) ERRMSG(196);
    int ptype = static_cast<int>(X(p - 3));
    er = static_cast<int>(X(p - 2));
    ec = static_cast<int>(X(p - 1));
    if (ptype == kNoResult || er == 0 || ec == 0) ERRMSG(196);
    w.addr = p - NELEM(ptype, er, ec);
    w.type = kTypeViewFull;
  }
  if (er != w.rows || ec != w.cols) {
    write_list(kStdout, {" Order of model matrix =", er, " By", ec});
    ERRMSG(72);
  }
  // A data group without a covariance formula has no expected matrix to
  // view (its result column still 0): the address would fall before the workspace.
  if (N.col(gcol::kCovResult) == 0.0) ERRMSG(196);
  ALLOCI(IWORKS.ix(), d.NG, d.g, d.L, n, fslot::kCov, MAINPR.IWSTOP);
  return w;
}

// %Pn: the expected proportions of the contingency table of group n.
View view_proportions(runtime::Vec1<double> X, const Decl& d, View w) {
  const int n = group_number();
  const GroupView N{X, d.NG, n};
  if (n < 1 || n > d.NG) ERRMSG(42);
  const int fc = N.icol(gcol::kFitCode);
  if (fc != kFitTable) {
    write_list(kStdout, {"Group", n, " is of class", fc});
    ERRMSG(135);
  }
  w.addr = N.icol(gcol::kCovResult) + 3 - N.icol(gcol::kTableRows) * N.icol(gcol::kTableCols);
  w.type = kTypeViewFull;
  return w;
}

// %Fn: the fit-function value of an earlier group n, 1 x 1.
View view_fit_value(const Decl& d, View w) {
  const int n = group_number();
  if (n < 1 || n >= d.g) ERRMSG(42);
  if (w.rows != 1 || w.cols != 1) {
    jobbase::WARNHD();
    write_list(kStdout, {" Matrix order set to 1x1 for %F equality"});
    write_list(kStdout, {});
    w.rows = w.cols = 1;
  }
  // One value: the group's fit-function value, the word after addr.
  w.addr = gcol::kFitValue * d.NG + n;
  w.type = kTypeViewFull;
  return w;
}

// %R: the current case of this group's raw data, one row; its letter is
// recorded so that the parameter list leaves it out.
View view_raw_data(runtime::Vec1<double> X, const Decl& d, View w) {
  const GroupView G{X, d.NG, d.g};
  const int ni = G.icol(gcol::kNi);
  if (w.rows != 1 || w.cols > ni) ERRMSG(90);
  // Without raw data in this group there is nothing to view: the address
  // would fall before the start of the workspace.
  if (G.col(gcol::kRawData) == 0.0) ERRMSG(81);
  MATDST.RAWJOB = true;
  MATDST.RAWGRP = true;
  int t = w.type;
  w.addr = G.icol(gcol::kRawData) - NELEM(t, w.rows, w.cols);
  G.col(gcol::kRawLetter) = d.L;
  return w;
}

// The "%" forms: views of observed data, expected matrices, proportions,
// fit-function values and the raw-data vector.  The cursor is on "%".
void equate_percent(runtime::Vec1<double> X, Decl& d) {
  auto& c = CURSOR;
  if (d.type != kTypeSym && d.type != kTypeFull) ERRMSG(70);
  ++c.ICOL;
  const char form = cur();
  ++c.ICOL;
  View w{d.type, d.rows, d.cols, 0};
  switch (form) {
    case 'O': w = view_observed(X, d, w); break;
    case 'C': w = view_table(X, d, w); break;
    case 'E': w = view_expected(X, d, w); break;
    case 'P': w = view_proportions(X, d, w); break;
    case 'F': w = view_fit_value(d, w); break;
    case 'R': w = view_raw_data(X, d, w); break;
    default: ERRMSG(68);
  }
  set_words(X, d, w);
}

// The matrix table of the group and where its new matrices are stored.
struct Table {
  int B;     // base of the matrix table
  int base;  // storage of the matrices declared now
};

// A "Begin" line must go on with a word beginning "MA".
void check_begin_matrices() {
  auto& c = CURSOR;
  if (!begins("BE")) return;
  const int k = next_word_col(c.ICOL);
  if (k == 0 || line_from(k).substr(0, 2) != "MA") {
    if (k != 0) c.ICOL = k;
    ERRMSG(170);
  }
}

// A new matrix table at the storage pointer, every letter undeclared; the
// matrices follow it.  The job's declaration cells start afresh with its
// first group.
Table lay_out_table(runtime::Vec1<double> X, int NG, int g) {
  auto& m = MAINPR;
  const int B = m.RDPTR;
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
  if (g == 1 && m.MULFIT == 0) MATDST.reset();
  MATDST.RAWGRP = false;
  return {B, B + kMattabWords};
}

// The group's own table, reopened: new matrices go past everything stored
// (multiple fit) or to the storage pointer.
Table reopen_table(runtime::Vec1<double> X, int NG, int g) {
  auto& m = MAINPR;
  const int base = m.MULFIT == 1 ? continued_storage(X, NG) : m.RDPTR;
  return {GroupView{X, NG, g}.B(), base};
}

// "Matrices = Group n" (the "=" anywhere after the first word): every
// declared matrix of the earlier group n, sharing its storage; a computed
// matrix becomes a reference to one.
void copy_earlier_group(runtime::Vec1<double> X, int NG, int g, int B) {
  auto& m = MAINPR;
  auto& c = CURSOR;
  int k = c.ICOL;
  while (k <= c.LLEN && chr(k) != '=') ++k;
  if (k > c.LLEN) return;
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
    ALLOCI(IWORKS.ix(), NG, g, L, n, L, m.IWSTOP);
  }
}

// The line at the cursor ends the declarations: a statement word (left for
// the statement reader), or "End Matrices" (its line taken).
bool ends_declarations() {
  auto& c = CURSOR;
  const std::string_view w2 = line_from(c.ICOL).substr(0, 2);
  if (w2 == "MO" || w2 == "M2" || w2 == "CO" || w2 == "M1" || w2 == "ME" || w2 == "TH" || w2 == "BE" ||
      w2 == "WE")
    return true;
  if (w2 != "EN") return false;
  const int k = next_word_col(c.ICOL);
  if (k == 0 || line_from(k).substr(0, 2) != "MA") {
    if (k != 0) c.ICOL = k;
    ERRMSG(171);
  }
  RDLINE();
  return true;
}

// The type code of a two-letter type word; false for a word that is none.
bool type_of_word(std::string_view tw, int& type) {
  bool found = false;
  for (int t = kTypeZero; t <= kTypeCo; ++t)
    if (tw.size() == 2 && TYPLET.substr(static_cast<std::size_t>(2 * (t - 1)), 2) == tw) {
      type = t;
      found = true;
    }
  return found;
}

// The letter and type word at the cursor.  A letter declared before is
// redefined: its links and label block go.
void read_letter_and_type(runtime::Vec1<double> X, Decl& d) {
  auto& c = CURSOR;
  int flag = 0;
  d.L = LETIDX(cur(), flag);
  if (flag != 0) ERRMSG(5);
  if (static_cast<int>(MTTYPE(X, d.B, d.L)) != kTypeUndeclared) {
    jobbase::WARNHD();
    write_list(kStdout, {" Matrix was previously defined for this group.  Qv will redefine"});
    DELENT(IWORKS.ix(), d.NG, d.g, d.L);
    // The old label block has the old shape; a new one is made on demand.
    MTLABL(X, d.B, d.L) = 0.0;
  }
  NEXTWD();
  if (!type_of_word(line_from(c.ICOL).substr(0, 2), d.type)) ERRMSG(6);
}

// The order, read after the type word, so that a defined name may stand
// for the first number as well.  An order below zero has no rows or columns
// to store: refused here, as its negative element count would run the
// storage offset backwards.
void read_order(Decl& d) {
  auto& c = CURSOR;
  while (is_letter(cur())) ++c.ICOL;
  RDNUM();
  d.rows = c.IVALUE;
  if (d.rows < 0) ERRMSG(99);
  RDNUM();
  d.cols = c.IVALUE;
  if (d.cols < 0) ERRMSG(100);
  MATDST.MAXDIM = std::max({MATDST.MAXDIM, d.rows, d.cols});
}

// CO: a reference to a computed matrix of an earlier group, "= Ln".
void declare_computed_reference(runtime::Vec1<double> X, Decl& d) {
  auto& c = CURSOR;
  d.type = kTypeCompRef;
  MTTYPE(X, d.B, d.L) = kTypeCompRef;
  find_co_equals();
  ++c.ICOL;
  skip_blanks_across_lines();
  if (cur() == '/' || cur() == ';' || !is_letter(cur())) ERRMSG(195);
  int flag = 0;
  const int Lr = LETIDX(cur(), flag);
  ++c.ICOL;
  const int n = group_number();
  if (n < 1 || n >= d.g) ERRMSG(42);
  if (icell(GroupView{X, d.NG, n}.type(Lr)) != kTypeComputed) ERRMSG(194);
  equate_letter(X, d, Lr, n);
}

// The matrix owns its storage at addr: the specification numbers (new free
// parameters after FR, new unconstrained ones after UN, else 0), then the
// values, 0.  Returns the words taken.
int reserve_storage(runtime::Vec1<double> X, const Decl& d, int addr) {
  auto& m = MAINPR;
  int t = d.type;
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
  return 2 * n;
}

// The "=" forms: the matrix shares or views other storage.  The cursor is
// on the "=".
void equate_declaration(runtime::Vec1<double> X, Decl& d) {
  auto& c = CURSOR;
  ++c.ICOL;
  skip_blanks_across_lines();
  if (cur() == '/' || cur() == ';') ERRMSG(41);
  if (cur() == '%') {
    equate_percent(X, d);
  } else if (is_letter(cur())) {
    int flag = 0;
    const int Lr = LETIDX(cur(), flag);
    ++c.ICOL;
    const int n = group_number();
    if (n < 1 || n >= d.g) ERRMSG(42);
    equate_letter(X, d, Lr, n);
  } else {
    ERRMSG(41);
  }
}

// One declaration line of group g, with its storage (if it owns any) at
// addr.  Returns the storage words it took.
int declare_matrix(runtime::Vec1<double> X, int NG, int g, int B, int addr) {
  Decl d;
  d.g = g;
  d.NG = NG;
  d.B = B;
  read_letter_and_type(X, d);
  read_order(d);
  set_words(X, d, View{d.type, d.rows, d.cols, addr});
  if (d.type == kTypeCo) {
    declare_computed_reference(X, d);
    return 0;
  }
  if (!(on_line() && cur() == '=')) return reserve_storage(X, d, addr);
  equate_declaration(X, d);
  return 0;
}

// The storage pointer past the matrices stored now (offset words from the
// table's storage); a reopened multiple-fit model also moves its end.
void move_storage_pointer(runtime::Vec1<double> X, int NG, bool reopen, const Table& table, int offset) {
  auto& m = MAINPR;
  if (!reopen) {
    m.RDPTR = table.B + kMattabWords + offset;
  } else if (m.MULFIT == 1) {
    continued_stored(X, NG, table.base + offset);
  } else {
    m.RDPTR = table.base + offset;
  }
}

}  // namespace

int continued_storage(runtime::Vec1<double> X, int NG) {
  return std::max(icell(GRPTAB(X, NG, gcol::kModelEnd, 1)), MAINPR.RDPTR);
}

void continued_stored(runtime::Vec1<double> X, int NG, int p) {
  double& end = GRPTAB(X, NG, gcol::kModelEnd, 1);
  end = std::max(end, static_cast<double>(p));
  MAINPR.RDPTR = std::max(MAINPR.RDPTR, p);
}

void MATDCL(bool reopen) {
  auto& c = CURSOR;
  auto X = WORKSP.x();
  const int NG = MAINPR.NG;
  const int g = MAINPR.IGRP;

  check_begin_matrices();
  const Table table = reopen ? reopen_table(X, NG, g) : lay_out_table(X, NG, g);
  if (!reopen && g >= 2) copy_earlier_group(X, NG, g, table.B);

  int offset = 0;
  for (;;) {
    RDLINE();
    if (c.ICOL == 0) break;  // the statement reader reports the missing End
    if (begins("#D")) {
      int unused = 0;
      HASHCMD(X, unused);
      continue;
    }
    if (ends_declarations()) break;
    offset += declare_matrix(X, NG, g, table.B, table.base + offset);
  }
  move_storage_pointer(X, NG, reopen, table, offset);
}

}  // namespace qv::jobctl
