#include "jobctl/defvar.hpp"

#include <algorithm>
#include <string>

#include "jobbase/errmsg.hpp"
#include "jobbase/hashcmd.hpp"
#include "jobctl/labels.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobctl/records.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/fixedstr.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

// Makes label a global variable with value v: a new NAMVAR slot, or the
// slot an earlier DE of the job made for the same label.  A #define'd name
// of the same spelling is error 215.
void define_label(const std::string& label, double v) {
  auto& d = DEFSTA;
  if (d.JOBNO != MAINPR.JOBNO) {
    d.reset();
    d.JOBNO = MAINPR.JOBNO;
  }
  auto& nv = NAMVAR;
  for (int i = 1; i <= nv.NNAMES; ++i) {
    if (runtime::fpad(nv.NAMES[static_cast<std::size_t>(i)], kLabLen) != label) continue;
    if (std::find(d.SLOTS.begin(), d.SLOTS.end(), i) == d.SLOTS.end()) ERRMSG(215);
    nv.VALUES[static_cast<std::size_t>(i)] = v;
    return;
  }
  if (nv.NNAMES >= MAXNAM) ERRMSG(119);
  nv.NNAMES += 1;
  nv.NAMES[static_cast<std::size_t>(nv.NNAMES)] = label;
  nv.VALUES[static_cast<std::size_t>(nv.NNAMES)] = v;
  d.SLOTS.push_back(nv.NNAMES);
}

}  // namespace

void RDDEFV(int NI) {
  auto& m = MAINPR;
  auto& c = CURSOR;
  auto X = WORKSP.x();
  const int NG = m.NG;
  const int g = m.IGRP;
  if (!DATFLG.REC) ERRMSG(222);
  NEXTWD();
  if (c.ICOL == 0) ERRMSG(7);

  const int P = m.RDPTR;
  CHKMEM(P + 2 + NI);
  X(P) = 0;
  X(P + 1) = m.LABSLOT;
  const int D = P + 2;
  const GroupView G{X, NG, g};
  G.col(gcol::kDefVars) = D;
  int k = 0;

  if (chr(c.ICOL) >= '0' && chr(c.ICOL) <= '9') {
    // Numbers, on this line, up to "/" or ";" or NI of them.
    for (;;) {
      const int line = m.LINENO;
      RDNUM();
      const int v = c.IVALUE;
      if (v < 1 || v > NI || v != c.RVALUE) ERRMSG(125);
      for (int i = 1; i <= k; ++i)
        if (static_cast<int>(X(D + i)) == v) ERRMSG(125);
      X(D + (++k)) = v;
      if (k >= NI || m.LINENO != line || number_list_ends()) break;
    }
  } else {
    const int base = G.icol(gcol::kVarLabels);
    if (base == 0) ERRMSG(123);
    for (;;) {
      std::string w;
      while (c.ICOL <= c.LLEN && chr(c.ICOL) != ' ' && chr(c.ICOL) != ';' && chr(c.ICOL) != '/' && w.size() < 31)
        w.push_back(chr(c.ICOL++));
      while (c.ICOL <= c.LLEN && chr(c.ICOL) != ' ' && chr(c.ICOL) != ';' && chr(c.ICOL) != '/') ++c.ICOL;
      const std::string label = runtime::fpad(w, kLabLen);
      int j = 0;
      for (int i = 1; i <= NI && j == 0; ++i)
        if (LABTAB.get(base + i - 1) == label) j = i;
      if (j == 0) ERRMSG(124);
      for (int i = 1; i <= k; ++i)
        if (static_cast<int>(X(D + i)) == j) ERRMSG(125);
      X(D + (++k)) = j;
      CHKLAB(m.LABSLOT);
      LABTAB.put(m.LABSLOT, label);
      m.LABSLOT += 1;
      define_label(label, -k);
      if (k >= NI) break;
      if (c.ICOL > c.LLEN || chr(c.ICOL) == ';' || chr(c.ICOL) == '/') break;
      while (c.ICOL <= c.LLEN && chr(c.ICOL) == ' ') ++c.ICOL;
      if (c.ICOL > c.LLEN || chr(c.ICOL) == ';' || chr(c.ICOL) == '/') break;
    }
  }
  X(D) = k;

  Vec1<double> V = X.from(G.icol(gcol::kRecords) - 1);
  const int longest = longest_vector(V);
  const int slots = D + k + 1;
  const int scratch = slots + 2 * k;
  CHKMEM(scratch + 2 * longest + 2 + k);
  DEFSEL(V, X.from(D + 1), k, X.from(slots), X.from(scratch), 1);
  if (G.col(gcol::kVarLabels) != 0.0) SELLAB(G.icol(gcol::kVarLabels), NI, X.from(D + 1), k, 1);
  G.col(gcol::kNobs) = V(1);
  m.RDPTR = D + 2 * k + 1;
  RDLINE();
}

}  // namespace qv::jobctl
