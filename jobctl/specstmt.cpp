#include "jobctl/specstmt.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "jobbase/htmlrep.hpp"
#include "jobctl/bounds.hpp"
#include "jobbase/errmsg.hpp"
#include "jobctl/formstmt.hpp"
#include "jobctl/grpstmt.hpp"
#include "jobbase/hashcmd.hpp"
#include "jobbase/lexer.hpp"
#include "jobctl/matdata.hpp"
#include "jobbase/areas.hpp"
#include "jobctl/matdecl.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/stmtaux.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/vlsum.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using runtime::kStdout;
using runtime::write_list;
using namespace jobbase::stmt;

namespace {

// Calls f(spec position, value position) for every stored element of the
// matrices of types DI..LO of groups 1..G, group by group, letter by letter,
// in storage order.
// Numbers of a matrix statement from the data file named on the line, in
// the order given.
void RDMATF(Vec1<double> X, int p, int n) {
  int at = p;
  RDFILE(X, at, n, MAINPR.IGRP, MAINPR.NG, DATFIL.MISVAL, 0, kEltFull);
}

template <class F>
void each_element(Vec1<double> X, int G, F f) {
  const int NG = MAINPR.NG;
  for (int g = 1; g <= std::min(G, NG); ++g) {
    const GroupView grp{X, NG, g};
    if (grp.B() < 1) continue;
    // The raw-data view (%R) has no specification words: the words before
    // the raw data are other data.
    const int raw = grp.icol(gcol::kRawLetter);
    for (int L = 1; L <= 26; ++L) {
      int type = icell(grp.type(L));
      if (!parameter_type(type) || L == raw) continue;
      const int a = icell(grp.addr(L));
      const int n = NELEM(type, icell(grp.rows(L)), icell(grp.cols(L)));
      for (int i = 0; i < n; ++i) f(a + i, a + n + i);
    }
  }
}

// One item of an element list: a single element or a "TO" range, as
// specification positions a1..a2 (a2 = a1 for a single element), with voff
// the distance from an element's specification to its value.
struct Item {
  bool all = false;
  bool range = false;
  int a1 = 0, a2 = 0, voff = 0;
};

// Reads the next item; false at the end of the line.
bool read_item(Vec1<double> X, int G, Item& it) {
  it = Item{};
  int idx = 0;
  RDELEM(X, G, 1, idx, 1);
  if (idx == 0) return false;
  if (idx == -1) {
    it.all = true;
    return true;
  }
  const bool range = CURSOR.RANGFL;
  int vidx = 0;
  RDELEM(X, G, 0, vidx, 0);
  it.a1 = it.a2 = idx;
  it.voff = vidx - idx;
  if (range) {
    int idx2 = 0;
    RDELEM(X, G, 1, idx2, 1);
    if (idx2 > 0) {
      it.range = true;
      it.a2 = idx2;
    }
  }
  return true;
}

// A specification number must lie in the script's integer range (+-2^30,
// kIntCap): it is used as an integer (parameter numbers, the listing).  Out
// of it: the two lines and error 44.
void check_spec_number(double s) {
  if (in_int_range(s)) return;
  write_list(kStdout, {" Specification number out of range:", s});
  write_list(kStdout, {" Specification numbers must lie between -1073741824 and 1073741824"});
  ERRMSG(44);
}

// PA, SP (specification) and MA (values) of a whole matrix.
void whole_matrix(int mode) {
  auto& m = MAINPR;
  auto& c = CURSOR;
  auto X = WORKSP.x();
  if (mode == 1) {
    m.PAFLAG = true;
    if (m.SPFLAG) ERRMSG(12);
  } else if (mode == 2) {
    m.SPFLAG = true;
    if (m.PAFLAG) ERRMSG(12);
  }
  NEXTWD();
  if (m.MULFIT == 1) {
    if (c.NEWLIN) ERRMSG(116);
    RDNUM();
    if (c.NEWLIN) ERRMSG(116);
    if (c.IVALUE < 1 || c.IVALUE > m.NG) ERRMSG(117);
    m.IGRP = c.IVALUE;
  }
  const int g = m.IGRP;
  int flag = 0;
  const int L = LETIDX(cur(), flag);
  if (flag != 0) ERRMSG(5);
  const GroupView G{X, m.NG, g};
  const int type = icell(G.type(L));
  if (type == kTypeUndeclared) ERRMSG(11);
  if (G.icol(gcol::kRawLetter) == L) ERRMSG(mode == 0 ? 91 : 89);
  if (mode == 0 && type == kTypeComputed) ERRMSG(214);
  RDMAT(X, icell(G.addr(L)), type, icell(G.rows(L)), icell(G.cols(L)), mode, group_limit());
}

// Drops parameter k: for k > 0 every element carrying it is fixed at the
// drop value; for k <= 0 the elements carrying k are fixed.
void drop_number(Vec1<double> X, int k, double v, int G) {
  if (k > 0)
    ELEMLST(X, 2, k, v, 0, G);
  else
    ELEMLST(X, 0, k, 0.0, 1, G);
}

}  // namespace

void PARVAL(Vec1<double> X, int G, int NG, int k, double& value, int mode) {
  (void)NG;
  bool done = false;
  each_element(X, G, [&](int s, int v) {
    if (done || X(s) != static_cast<double>(k)) return;
    if (mode != 0) {
      value = X(v);
      done = true;
    } else {
      X(v) = value;
    }
  });
}

void ELEMLST(Vec1<double> X, int test, int q, double w, int part, int G) {
  if (test != 0 && test != 1 && test != -1 && test != 2) ERRMSG(49);
  each_element(X, G, [&](int s, int v) {
    const double sv = X(s);
    bool hit = false;
    switch (test) {
      case 0: hit = sv == q; break;
      case 1: hit = sv > q; break;
      case -1: hit = sv < q; break;
      default:
        hit = sv == q;
        if (hit) X(s) = 0.0;
        break;
    }
    if (hit) X(part == 1 ? s : v) = w;
  });
}

void RDMAT(Vec1<double> X, int a, int type, int rows, int cols, int mode, int G) {
  auto& m = MAINPR;
  auto& c = CURSOR;
  // Fixed types, and the subdiagonal and standardised types of order 1, have
  // no element to change.
  const bool fixed = type < kTypeDiag || type == kTypeUnit;
  const bool no_offdiagonal = (type == kTypeSubdiag || type == kTypeStand) && rows == 1 && cols == 1;
  if (fixed || no_offdiagonal) {
    jobbase::WARNHD();
    write_list(kStdout, {" This type of matrix cannot be changed at all"});
    return;
  }
  int t = type;
  const int n = NELEM(t, rows, cols);
  const int dst = mode == 0 ? a + n : a;
  NEXTWD();
  if (begins("FI") || cur() == '=') {
    RDMATF(X, dst, n);
    if (mode == 2)
      for (int i = 0; i < n; ++i) check_spec_number(X(dst + i));
  } else {
    for (int i = 0; i < n; ++i) {
      RDNUM();
      if (mode == 2) check_spec_number(c.RVALUE);
      X(dst + i) = c.RVALUE;
    }
  }
  if (mode == 1) {
    for (int i = 0; i < n; ++i) X(a + i) = X(a + i) != 0.0 ? ++m.NFREE : 0.0;
  } else if (mode == 2) {
    for (int i = 0; i < n; ++i) m.NFREE = std::max(m.NFREE, static_cast<int>(X(a + i)));
    for (int i = 0; i < n; ++i) {
      if (X(a + i) == 0.0) continue;
      double v = X(a + n + i);
      PARVAL(X, G, m.NG, static_cast<int>(X(a + i)), v, 1);
      X(a + n + i) = v;
    }
  } else {
    for (int i = 0; i < n; ++i) {
      if (X(a + i) <= 0.0) continue;
      double v = X(a + n + i);
      PARVAL(X, G, m.NG, static_cast<int>(X(a + i)), v, 0);
    }
  }
}

void RDFIX(Vec1<double> X, int G) {
  NEXTWD();
  Item it;
  while (read_item(X, G, it)) {
    if (it.all) {
      ELEMLST(X, 1, 0, 0.0, 1, G);
      return;
    }
    for (int p = std::min(it.a1, it.a2); p <= std::max(it.a1, it.a2); ++p) X(p) = 0.0;
  }
}

void RDFREE(Vec1<double> X, int G) {
  auto& m = MAINPR;
  NEXTWD();
  Item it;
  while (read_item(X, G, it)) {
    if (it.all) {
      // Every fixed element of groups 1..G becomes a parameter of its own.
      each_element(X, G, [&](int s, int) {
        if (X(s) == 0.0) X(s) = ++m.NFREE;
      });
      return;
    }
    for (int p = std::min(it.a1, it.a2); p <= std::max(it.a1, it.a2); ++p) X(p) = ++m.NFREE;
  }
}

void RDDROP(Vec1<double> X, int G) {
  auto& c = CURSOR;
  NEXTWD();
  double v = 0.0;
  // What the statement names: parameter numbers or matrix elements, never both.
  enum class Given { kNothing, kNumbers, kElements };
  Given given = Given::kNothing;
  for (;;) {
    skip_seps();
    if (c.ICOL > c.LLEN || c.ICOL < 1) return;
    const char ch = cur();
    if (ch == '@') {
      ++c.ICOL;
      RDNUM();
      v = c.RVALUE;
      continue;
    }
    if (is_digit(ch) || ch == '-' || (is_letter(ch) && at_defined_name())) {
      if (given == Given::kElements) ERRMSG(49);
      given = Given::kNumbers;
      each_number_of_range([&](int k) { drop_number(X, k, v, G); });
      continue;
    }
    if (is_letter(ch)) {
      if (given == Given::kNumbers) ERRMSG(49);
      given = Given::kElements;
      Item it;
      if (!read_item(X, G, it)) return;
      if (it.all) {
        // Every free parameter of groups 1..G is fixed at the drop value.
        each_element(X, G, [&](int s, int val) {
          if (X(s) > 0.0) {
            X(s) = 0.0;
            X(val) = v;
          }
        });
        return;
      }
      for (int p = std::min(it.a1, it.a2); p <= std::max(it.a1, it.a2); ++p)
        drop_number(X, static_cast<int>(X(p)), v, G);
      continue;
    }
    ERRMSG(39);
  }
}

void RDEQU(Vec1<double> X, int G) {
  NEXTWD();
  Item it;
  if (!read_item(X, G, it)) return;
  if (it.all) ERRMSG(21);
  const double s0 = X(it.a1);
  const double v0 = X(it.a1 + it.voff);
  if (s0 == 0.0) {
    jobbase::WARNHD();
    write_list(kStdout, {"  - The first element on this EQ line is fixed"});
    write_list(kStdout, {" Therefore, all subsequent elements on this line will be fixed"});
  }
  auto equate = [&](const Item& e, int from) {
    for (int p = from; p <= std::max(e.a1, e.a2); ++p) {
      X(p) = s0;
      X(p + e.voff) = v0;
    }
  };
  if (it.range) equate(it, std::min(it.a1, it.a2) + 1);
  while (read_item(X, G, it)) {
    if (it.all) ERRMSG(21);
    equate(it, std::min(it.a1, it.a2));
  }
}

void RDSTART(Vec1<double> X, Vec1<int> IX, int G, int NG, int VA) {
  auto& c = CURSOR;
  if (VA == 1) MAINPR.VAFLAG = true;
  NEXTWD();
  if (begins("OBSSD") || begins("OBSMEAN")) {
    const bool sd = begins("OBSSD");
    NEXTWD();
    int flag = 0;
    const int L = LETIDX(cur(), flag);
    if (flag != 0) ERRMSG(sd ? 216 : 219);
    IGRPTB(IX, NG, sd ? igcol::kObsSd : igcol::kObsMean, G) = L;
    if (sd)
      STOBSD(X, G, NG, L);
    else
      STOBSM(X, G, NG, L);
    return;
  }
  RDNUM();
  const double v = c.RVALUE;
  Item it;
  while (read_item(X, G, it)) {
    if (it.all) {
      if (VA == 1)
        ELEMLST(X, 0, 0, v, 0, G);
      else
        ELEMLST(X, 1, 0, v, 0, G);
      return;
    }
    if (!it.range) {
      X(it.a1 + it.voff) = v;
      if (X(it.a1) > 0.0) {
        double w = v;
        PARVAL(X, G, NG, static_cast<int>(X(it.a1)), w, 0);
      }
      continue;
    }
    for (int p = it.a1; p <= it.a2; ++p) {
      if (VA == 1) {
        X(p + it.voff) = v;
        if (X(p) > 0.0) {
          double w = v;
          PARVAL(X, G, NG, static_cast<int>(X(p)), w, 0);
        }
      } else if (X(p) > 0.0) {
        X(p + it.voff) = v;
      }
    }
  }
}

namespace {

// The note that a group has no observed figures to start from: its data are
// not of a kind that has them, or none of its values is present.
void obs_start_note(bool sd) {
  write_list(kStdout, {});
  if (sd) {
    write_list(kStdout, {" Note: Starting values can be set to the observed standard"});
    write_list(kStdout, {" deviations if and only if this is a data group that has CM,"});
    write_list(kStdout, {" or VL or Rectangular data.  Command ignored."});
  } else {
    write_list(kStdout, {" Note: Starting values can be set to the observed means if"});
    write_list(kStdout, {" and only if this is a data group that has CM, or VL"});
    write_list(kStdout, {"  or Rectangular data. Command ignored."});
  }
}

// Start values from observed data need a data group whose fit function
// works on CM, VL or rectangular data.  Returns false after the note.
bool obs_start_allowed(int fc, bool sd) {
  if (fc > 0 && fc != kFitNone && fc != kFitUser && fc != kFitUserRows && fc <= kFitVL) return true;
  obs_start_note(sd);
  return false;
}

// Whether the start values come from the group's own values rather than
// from a matrix or means vector of the script: always for record data (VL,
// RE), whose summary exists only once a fit starts; for raw data (RA) when
// the group gave no observed matrix (sd) or no observed means.
bool from_values(const GroupView& G, bool sd) {
  if (G.col(gcol::kRecords) != 0.0) return true;
  if (G.col(gcol::kRawData) == 0.0) return false;
  return G.col(sd ? gcol::kObsData : gcol::kObsMeans) == 0.0;
}

// The modelled variables of a group that starts from its own values: NI
// after selection, less the definition variables of record data.
int modelled_vars(const GroupView& G) {
  int n = G.icol(gcol::kNvar);
  if (G.col(gcol::kRecords) != 0.0 && G.icol(gcol::kDefVars) != 0) n -= icell(G.X(G.icol(gcol::kDefVars)));
  return n;
}

// Figures of the values present of each of the n modelled variables, read
// from the data as they stand (after selection, select-if and definition
// variables).  Records: variable k takes the values whose code is the k-th
// number of the group's IC or CS list when one was given before, else k.
// Raw data: column k of every case.
std::vector<ValueFigures> observed_figures(const GroupView& G, int n) {
  auto X = G.X;
  if (G.col(gcol::kRecords) != 0.0) {
    const int list = G.B() >= 1 ? icell(MTICCS(X, G.B())) : 0;
    std::vector<double> codes(static_cast<std::size_t>(n));
    for (int k = 1; k <= n; ++k) codes[static_cast<std::size_t>(k - 1)] = list >= 1 ? X(list + k - 1) : k;
    return code_figures(X, G.icol(gcol::kRecords), codes);
  }
  return raw_figures(X, G.icol(gcol::kRawData), G.icol(gcol::kNi), G.icol(gcol::kNobs), n);
}

bool any_present(const std::vector<ValueFigures>& f) {
  return std::any_of(f.begin(), f.end(), [](const ValueFigures& v) { return v.count > 0.0; });
}

// The standard deviation of a variable's values, or 1.0 when it has none:
// no value present, all values equal, or a variance not above 0.
double sd_or_one(const ValueFigures& f) {
  if (f.count <= 0.0 || f.min == f.max) return 1.0;
  const double var = f.variance();
  return var > 0.0 ? std::sqrt(var) : 1.0;
}

}  // namespace

void STOBSD(Vec1<double> X, int g, int NG, int L) {
  const GroupView G{X, NG, g};
  if (G.col(gcol::kKind) != kKindData) ERRMSG(217);
  if (!obs_start_allowed(G.icol(gcol::kFitCode), true)) return;
  const bool values = from_values(G, true);
  const int nvar = values ? modelled_vars(G) : G.icol(gcol::kNvar);
  const int rows = icell(G.rows(L));
  if (icell(G.type(L)) != kTypeDiag || rows != nvar) {
    report_ignored_error(218);
    return;
  }
  const int a = icell(G.addr(L));
  if (values) {
    const auto f = observed_figures(G, nvar);
    if (!any_present(f)) {
      obs_start_note(true);
      return;
    }
    for (int d = 1; d <= rows; ++d) X(a + rows + d - 1) = sd_or_one(f[static_cast<std::size_t>(d - 1)]);
    return;
  }
  const int obs = G.icol(gcol::kObsData);
  const bool unit = obs >= 1 && DIAG1(X.from(obs), rows) == 1;
  for (int d = 1; d <= rows; ++d) {
    const double var = obs >= 1 ? X(obs + runtime::packed_offset(d, d)) : 0.0;
    X(a + rows + d - 1) = var > 0.0 ? std::sqrt(var) : 1.0;
    if (unit) X(a + d - 1) = 0.0;
  }
}

void STOBSM(Vec1<double> X, int g, int NG, int L) {
  const GroupView G{X, NG, g};
  if (G.col(gcol::kKind) != kKindData) ERRMSG(217);
  if (!obs_start_allowed(G.icol(gcol::kFitCode), false)) return;
  const bool values = from_values(G, false);
  const int nvar = values ? modelled_vars(G) : G.icol(gcol::kNvar);
  const int rows = icell(G.rows(L));
  const int cols = icell(G.cols(L));
  if (icell(G.type(L)) != kTypeFull || (rows != nvar && cols != nvar)) {
    report_ignored_error(221);
    return;
  }
  const int a = icell(G.addr(L));
  const int n = rows * cols;
  if (values) {
    const auto f = observed_figures(G, nvar);
    if (!any_present(f)) {
      obs_start_note(false);
      return;
    }
    // A variable without a value present keeps its value.
    for (int i = 0; i < nvar; ++i)
      if (f[static_cast<std::size_t>(i)].count > 0.0) X(a + n + i) = f[static_cast<std::size_t>(i)].mean();
    return;
  }
  const int means = G.icol(gcol::kObsMeans);
  if (means == 0) return;
  for (int i = 0; i < nvar; ++i) X(a + n + i) = X(means + i);
}

bool STMTLN() {
  auto& m = MAINPR;
  auto& c = CURSOR;
  if (c.ICOL == 0) return false;
  auto X = WORKSP.x();
  auto IX = IWORKS.ix();
  const std::string_view w = line_from(c.ICOL).substr(0, 2);
  auto is = [&](std::string_view k) { return w == k; };

  if (is("PA")) {
    whole_matrix(1);
  } else if (is("MO") || is("M2") || is("CO") || is("M1") || is("ME") || is("TH") || is("WE")) {
    FORMST();
    return true;
  } else if (is("BE")) {
    if (next_word().substr(0, 2) == "MA") {
      MATDCL(true);
    } else {
      FORMST();
    }
    return true;
  } else if (is("LA")) {
    LASTMT();
  } else if (is("PO")) {
    POSTMT();
  } else if (is("MA")) {
    whole_matrix(0);
  } else if (is("SP")) {
    whole_matrix(2);
  } else if (is("#D") || is("#G")) {
    int base = 0;
    HASHCMD(X, base);
  } else if (is("FI")) {
    RDFIX(X, group_limit());
  } else if (is("FR")) {
    RDFREE(X, group_limit());
  } else if (is("DR")) {
    RDDROP(X, group_limit());
  } else if (is("ST") || is("VA")) {
    RDSTART(X, IX, group_limit(), m.NG, is("VA") ? 1 : 0);
  } else if (is("EQ")) {
    RDEQU(X, group_limit());
  } else if (is("SA") || is("GE")) {
    // The binary save-file statements take over here.
  } else if (is("BO")) {
    BOSTMT();
  } else if (is("IN")) {
    INSTMT();
  } else if (is("DI")) {
    DISTMT();
  } else if (is("IC") || is("CS")) {
    ICSTMT();
  } else {
    return false;
  }
  RDLINE();
  return true;
}

}  // namespace qv::jobctl
