#include "algebra/formcomp.hpp"

#include <algorithm>
#include <cmath>

#include "algebra/formmach.hpp"
#include "algebra/ftoken.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"

namespace qv::algebra {

using jobbase::CURSOR;
using jobbase::ERRMSG;
using jobbase::icell;
using jobbase::GroupView;
namespace gcol = jobbase::gcol;
using jobbase::LINBUF;
using jobbase::MAINPR;
using runtime::kStdout;
using runtime::Vec1;
using runtime::write_list;

namespace {

using jobbase::chr;

// Puts the cursor just before the formula's first character.
void position_cursor() {
  auto& c = CURSOR;
  if (chr(c.ICOL) == '=') {
    ++c.ICOL;
    for (;;) {
      while (c.ICOL <= c.LLEN && chr(c.ICOL) == ' ') ++c.ICOL;
      if (c.ICOL <= c.LLEN) break;
      jobbase::RDLINE();
      if (c.ICOL == 0) return;  // the tokenizer reports the end of the input
    }
  } else {
    while (c.ICOL <= c.LLEN && chr(c.ICOL) != ' ' && chr(c.ICOL) != ',') ++c.ICOL;
    for (;;) {
      while (c.ICOL <= c.LLEN && (chr(c.ICOL) == ' ' || chr(c.ICOL) == ',')) ++c.ICOL;
      if (c.ICOL <= c.LLEN || MAINPR.NOREAD == 1.0) break;
      jobbase::RDLINE();
      if (c.ICOL == 0) return;
    }
  }
  --c.ICOL;
}

}  // namespace

void CMPFORM(Vec1<double> X, Vec1<int> IX, int& address, int mode, int kind, int storage,
             jobbase::Labtab& slots, int& slot) {
  auto& m = FMFLAG;
  auto& f = FMSTAK;
  const GroupView G = jobbase::current_group();
  const int NG = G.NG;
  const int g = G.g;

  // Step 1: the group-table columns of the kind.
  const jobbase::FormulaColumns fc = jobbase::formula_columns(kind);
  if (fc.code == 0) ERRMSG(172);
  const int fcol = fc.code, rcol = fc.result;
  G.col(fcol) = address;
  m.WSHIGH = 0;
  // The trial's temporaries lie above the new material; the top is given back.
  const jobbase::RestoreCell top(MAINPR.WSTOP);  // put back on every way out

  // Steps 2 and 3: translate and store the code list.
  position_cursor();
  int status = 1;
  POSTFIX(status, slots, slot);
  const int n = f.NOUT - 1;
  jobbase::CHKMEM(address + n + 3);
  X(address) = n;
  for (int k = 1; k <= n; ++k) X(address + k) = f.val(k);
  const int r = address + n + 1;
  G.col(rcol) = r;

  // Step 4: the trial evaluation for the result's shape.
  const int fitcod = G.icol(gcol::kFitCode);
  int nm = jobbase::IGRPTB(IX, NG, jobbase::igcol::kModels, g);
  if (mode < 0 || n > 0) {
    m.TRIAL = true;
    G.col(rcol) = r + 3;
    MAINPR.WSTOP = mode >= 0 ? r + 3 : r + 6;
    m.MTBASE = G.B();
    for (int k = 1; k <= n; ++k) f.val(k) = icell(X(address + k));
    f.NOUT = n + 1;
    f.NOPS = 1;
    f.NCODE = n;
    m.RESADR = r + 3;
    m.GROWTH = 1.0;
    m.WSHIGH = MAINPR.WSTOP;
    CALCMAT(X, rcol, status);

    // Step 5: shape only.
    if (mode < 0) {
      G.col(rcol) = r;
      if (m.WSHIGH > MAINPR.WSMAXD) jobbase::CHKMEM(m.WSHIGH);
      m.TRIAL = false;
      address = r;
      return;
    }

    // Step 6: reserve the result (with room for partitions that may grow).
    int type = icell(X(r));
    const int e = jobbase::NELEM(type, icell(X(r + 1)), icell(X(r + 2)));
    double room = static_cast<double>(e) * m.GROWTH;
    room = std::min(room, static_cast<double>(MAINPR.WSLIM));
    const int reserve = std::max(e, static_cast<int>(std::ceil(room)));
    address = r + reserve + 3;
    if (mode == jobbase::kKindConstraint) G.col(gcol::kNstat) = e;
    if (nm == 0) {
      jobbase::IGRPTB(IX, NG, jobbase::igcol::kModels, g) = 1;
      nm = 1;
    }

    // Step 7: the element count the group's data imply.
    const int ni = G.icol(gcol::kNvar);
    // Column 10 is the definition-variable list only for record data (fit
    // codes 10 and 14); for matrix data it holds the determinant, no address.
    const bool records = fitcod == jobbase::kFitVL || fitcod == jobbase::kFitOrdMix;
    const int v = records ? G.icol(gcol::kDefVars) : 0;
    const int k0 = v != 0 ? icell(X(v)) : 0;
    // Counted in 64 bits: NI and NM are each up to 2^30, and a count that
    // wrapped round could pass the check or be quoted wrong.
    const long long nv = static_cast<long long>(ni) - k0;
    long long x = e;
    if (mode == jobbase::kKindData && kind == jobbase::fkind::kCov) {
      if (fitcod == jobbase::kFitTable)
        x = 4;
      else if (records)
        x = nv * nv * nm;
    } else if (mode == kModeOtherFormula && kind == jobbase::fkind::kMeans) {
      if (fitcod == jobbase::kFitTable) {
        x = 2LL * (std::max(ni, G.icol(gcol::kTableCols)) - 1);
      } else if (fitcod == jobbase::kFitVL) {
        x = nv * nm;
      } else if (fitcod == jobbase::kFitOrdMix) {
        // Raw ordinal data: the summary area at column 42 holds the
        // category-count position, the largest category, then this count.
        const int w = G.icol(gcol::kRecordBlock);
        if (w >= 1) X(w + 2) = e;
      } else {
        x = static_cast<long long>(ni) * nm;
      }
    }
    if (e != x && fitcod != jobbase::kFitOrdMix) {
      write_list(kStdout, {});
      write_list(kStdout, {" Elements implied by NI:", x});
      write_list(kStdout, {" Elements in the result of this formula: ", e});
      ERRMSG(61);
    }
  } else {
    address = r;
  }

  // Step 8: the computed matrix takes the result's shape.
  m.TRIAL = false;
  if (kind == jobbase::fkind::kComputed && m.CMPLET >= 1) {
    const int L = m.CMPLET;
    G.type(L) = jobbase::kTypeComputed;
    G.rows(L) = X(r + 1);
    G.cols(L) = X(r + 2);
    G.addr(L) = storage;
  }

  // Step 9: the extra space after the result.
  // Also counted in 64 bits; room past the workspace is error 119.
  long long next = address;
  if (fitcod == jobbase::kFitTable) {
    next += 3 + static_cast<long long>(G.icol(gcol::kTableCols)) * G.icol(gcol::kTableRows);
  } else {
    const int vv = kind == jobbase::fkind::kCov ? G.icol(gcol::kNstat) : G.icol(gcol::kNvar);
    next += std::max(1LL, static_cast<long long>(vv) * std::max(nm, 1));
  }
  jobbase::check_room(next);
  address = static_cast<int>(next);

  // Step 10: the high-water mark.
  jobbase::CHKMEM(std::max(m.WSHIGH, address));
}

void formula_codes(Vec1<double> X, jobbase::Labtab& slots, int& slot) {
  auto& f = FMSTAK;
  int status = 1;
  POSTFIX(status, slots, slot);
  const int n = f.NOUT - 1;
  X(1) = n;
  for (int k = 1; k <= n; ++k) X(1 + k) = f.val(k);
}

}  // namespace qv::algebra
