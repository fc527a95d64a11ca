#include "jobctl/bounds.hpp"

#include <algorithm>
#include <string>

#include "jobbase/errmsg.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobctl/matdecl.hpp"
#include "jobbase/matutil.hpp"
#include "jobctl/options.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/stmtaux.hpp"
#include "jobbase/tabnames.hpp"
#include "numlib/distrib.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using namespace jobbase::stmt;

namespace {

void add_bound(Vec1<double> X, int& RDPTR, int& NBOUND, double target, double lo, double hi) {
  CHKMEM(RDPTR + 2);
  X(RDPTR) = target;
  X(RDPTR + 1) = lo;
  X(RDPTR + 2) = hi;
  RDPTR += 3;
  NBOUND += 1;
}

}  // namespace

void RDBOND(Vec1<double> X, int G, int& RDPTR, int& NBOUND) {
  auto& c = CURSOR;
  NEXTWD();
  if (c.NEWLIN) ERRMSG(38);
  RDNUM();
  if (c.NEWLIN) ERRMSG(38);
  const double lo = c.RVALUE;
  RDNUM();
  if (c.NEWLIN) ERRMSG(38);
  const double hi = c.RVALUE;

  // What the statement names: parameter numbers or matrix elements, never both.
  enum class Given { kNothing, kNumbers, kElements };
  Given given = Given::kNothing;
  for (;;) {
    skip_seps();
    if (c.ICOL < 1 || c.ICOL > c.LLEN) return;
    const char ch = cur();
    if (is_digit(ch) || ch == '-') {
      if (given == Given::kElements) ERRMSG(49);
      given = Given::kNumbers;
      each_number_of_range([&](int k) { add_bound(X, RDPTR, NBOUND, k, lo, hi); });
    } else if (is_letter(ch)) {
      if (given == Given::kNumbers) ERRMSG(49);
      given = Given::kElements;
      int a1 = 0;
      RDELEM(X, G, 1, a1, 1);
      if (a1 == 0) return;
      if (a1 == -1) {
        for (int k = 1; k <= MAINPR.NFREE; ++k) add_bound(X, RDPTR, NBOUND, k, lo, hi);
        return;
      }
      int a2 = a1;
      if (c.RANGFL) {
        int idx = 0;
        RDELEM(X, G, 1, idx, 1);
        if (idx > 0) a2 = idx;
      }
      for (int p = std::min(a1, a2); p <= std::max(a1, a2); ++p) add_bound(X, RDPTR, NBOUND, X(p), lo, hi);
    } else {
      ERRMSG(39);
    }
  }
}

void BOSTMT() {
  auto& m = MAINPR;
  auto X = WORKSP.x();
  const int NG = m.NG;
  const int g = m.IGRP;
  if (m.MULFIT == 1) ERRMSG(115);
  if (FITOPT.OPSEEN) ERRMSG(144);
  double& first = GRPTAB(X, NG, gcol::kBounds, g);
  // The fit reads the group's records as one run: when other storage was
  // taken since the group's last bound line, the records written so far
  // move up to the storage pointer, so that the new ones follow them.
  if (first != 0.0 && static_cast<int>(first) + 3 * m.NBOUND != m.RDPTR) {
    const int from = static_cast<int>(first);
    CHKMEM(m.RDPTR + 3 * m.NBOUND - 1);
    for (int k = 0; k < 3 * m.NBOUND; ++k) X(m.RDPTR + k) = X(from + k);
    first = m.RDPTR;
    m.RDPTR += 3 * m.NBOUND;
  }
  if (first == 0.0) first = m.RDPTR;
  RDBOND(X, g, m.RDPTR, m.NBOUND);
  GRPTAB(X, NG, gcol::kBoundCount, g) = m.NBOUND;
}

std::string INTLAB(int L, int g, int row, int col) {
  std::string lab(32, ' ');
  lab[1] = static_cast<char>('A' + L - 1);
  lab.replace(3, 3, runtime::write_internal("(I3)", {g}).substr(0, 3));
  lab.replace(7, 3, runtime::write_internal("(I3)", {row}).substr(0, 3));
  lab.replace(11, 3, runtime::write_internal("(I3)", {col}).substr(0, 3));
  return lab;
}

void RDINTV(Vec1<double> X, Vec1<int> IX, Labtab& LAB, int g, int NG, int& RDPTR, int& LABSLOT) {
  auto& c = CURSOR;
  int blk = IGRPTB(IX, NG, igcol::kIntervals, g);
  if (blk == 0) {
    CHKMEM(RDPTR + kIntvWords - 1);
    blk = RDPTR;
    for (int k = 0; k < kIntvWords; ++k) X(blk + k) = 0.0;
    RDPTR += kIntvWords;
    IGRPTB(IX, NG, igcol::kIntervals, g) = blk;
  }

  NEXTWD();
  double alpha = kIntvAlpha;
  double crit = kIntvCrit;
  if (on_line() && cur() == '@') {
    ++c.ICOL;
    RDNUM();
    const double a = c.RVALUE;
    if (a < 1.0 || a > 99.99) ERRMSG(206);
    alpha = (100.0 - a) / 100.0;
    int ifail = -1;
    crit = numlib::G01FCF(1.0 - alpha, 1.0, ifail);
  }
  const double pct = 100.0 - 100.0 * alpha;

  int m = static_cast<int>(X(blk));
  c.CMPOK = true;
  for (;;) {
    skip_seps();
    if (c.ICOL < 1 || c.ICOL > c.LLEN) break;
    const char ch = cur();
    if (is_digit(ch) || ch == '-') ERRMSG(207);
    if (!is_letter(ch)) ERRMSG(39);
    int a1 = 0;
    RDELEM(X, g, 0, a1, 1);
    if (a1 == 0) break;
    if (a1 == -1) ERRMSG(208);
    const Lastel first = LASTEL;
    int a2 = a1;
    if (c.RANGFL) {
      int idx = 0;
      RDELEM(X, g, 0, idx, 1);
      if (idx == -1) ERRMSG(208);
      if (idx > 0) {
        if (idx < a1) ERRMSG(210);
        a2 = idx;
      }
    }
    // Row and column as the element is stored (symmetric types swap them).
    int i = first.I, j = first.J, nr = 0, nc = 0, type = 0;
    ELADDR(X, first.G, first.L, i, j, 0, nr, nc, type);
    for (int p = a1; p <= a2; ++p) {
      if (m >= kMaxIntv) ERRMSG(209);
      LAB.put(LABSLOT, INTLAB(first.L, first.G, i, j));
      const int r = blk + 1 + 4 * m;
      X(r) = p;
      X(r + 1) = crit;
      X(r + 2) = pct;
      X(r + 3) = LABSLOT;
      LABSLOT += 1;
      m += 1;
      if (p < a2) NXTELM(i, j, nr, nc, type);
    }
  }
  c.CMPOK = false;
  X(blk) = m;
}

void INSTMT() {
  auto& m = MAINPR;
  RDINTV(WORKSP.x(), IWORKS.ix(), LABTAB, m.IGRP, m.NG, m.RDPTR, m.LABSLOT);
}

}  // namespace qv::jobctl
