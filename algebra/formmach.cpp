#include "algebra/formmach.hpp"

#include <algorithm>
#include <string>

#include "algebra/binops.hpp"
#include "algebra/ftoken.hpp"
#include "algebra/packed.hpp"
#include "algebra/unops.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/packidx.hpp"
#include "runtime/stop.hpp"
#include "runtime/units.hpp"

namespace qv::algebra {

using jobbase::ERRMSG;
using jobbase::GroupView;
using jobbase::icell;
namespace gcol = jobbase::gcol;
using jobbase::MAINPR;
using runtime::kStdout;
using runtime::write_list;

namespace {

std::string letter_text(int L) { return std::string(1, static_cast<char>('A' + L - 1)); }

// A mistake in the shape of the code list: the dump and error 59.
[[noreturn]] void list_error() {
  write_list(kStdout, {});
  write_list(kStdout, {" Dump of formula being calculated:"});
  write_list(kStdout, {});
  FMDUMP(1);
  ERRMSG(59);
}

// Moves the code c at the end of the code list onto the pending stack; the
// list error when no operand is left in the list.
void shift_pending(int c) {
  auto& f = FMSTAK;
  if (f.NOPS > kFmStack) ERRMSG(62);
  f.pend(f.NOPS) = c;
  ++f.NOPS;
  --f.NOUT;
  if (f.NOUT == 1) list_error();
}

}  // namespace

void WSCHK(int top) {
  if (top > MAINPR.WSLIM) jobbase::CHKMEM(top);
  if (top > FMFLAG.WSHIGH) FMFLAG.WSHIGH = top;
}

int TMPADR(int code) {
  // Checked before negating: a code from a damaged list may be the most negative integer.
  if (code > -1 || code < -FMFLAG.NTEMP) runtime::stop("190");
  return FMFLAG.tmppos(-code);
}

int NEWTMP(Vec1<double> X, int rows, int cols, int& t) {
  auto& m = FMFLAG;
  if (m.NTEMP >= kMaxTemp) ERRMSG(62);
  t = MAINPR.WSTOP;
  // The size in 64 bits: a temporary of a huge order is refused as workspace
  // exhaustion rather than wrapped into a small or negative count.
  const long long last = t + static_cast<long long>(rows) * cols + 2;
  if (last > MAINPR.WSLIM) jobbase::check_room(last);
  WSCHK(static_cast<int>(last));
  X(t) = jobbase::kTypeFull;
  X(t + 1) = rows;
  X(t + 2) = cols;
  ++m.NTEMP;
  m.tmppos(m.NTEMP) = t;
  MAINPR.WSTOP = t + rows * cols + 3;
  return -m.NTEMP;
}

int UNDEFM(Vec1<double> X, int letter) {
  const int B = FMFLAG.MTBASE;
  const int y = icell(jobbase::MTTYPE(X, B, letter));
  // While its definition is compiled, the computed matrix being defined has
  // no value yet: a formula that uses it would read whatever its old storage
  // holds.
  const bool being_defined = y == jobbase::kTypeComputed && FMFLAG.TRIAL && letter == FMFLAG.CMPLET;
  if (y == jobbase::kTypeUndeclared || being_defined) {
    write_list(kStdout, {});
    write_list(kStdout, {" Error: matrix ", letter_text(letter), " referenced."});
    ERRMSG(66);
  }
  const int r = icell(jobbase::MTROWS(X, B, letter));
  const int c = icell(jobbase::MTCOLS(X, B, letter));
  const int a = icell(jobbase::MTADDR(X, B, letter));
  int t = 0;
  const int code = NEWTMP(X, r, c, t);
  if (y == jobbase::kTypeCompRef || y == jobbase::kTypeComputed) {
    const int n = icell(X(a + 1));
    const int src = a + n + 5;
    for (int k = 0; k < r * c; ++k) X(t + 3 + k) = X(src + k);
  } else {
    const int type =
        (y == jobbase::kTypeViewFull) ? jobbase::kTypeFull : (y == jobbase::kTypeViewSym ? jobbase::kTypeSym : y);
    int e = 0;
    if (type == jobbase::kTypeDiag) e = r;
    else if (type == jobbase::kTypeSym || type == jobbase::kTypeLower) e = runtime::packed_size(r);
    else if (type == jobbase::kTypeFull) e = r * c;
    else if (type == jobbase::kTypeSubdiag || type == jobbase::kTypeStand || type == jobbase::kTypeCo)
      e = runtime::strict_size(r);
    // Fixed types store nothing; their expansion reads no stored value.
    const Vec1<double> stored = e > 0 ? X.from(a + e) : X.from(t);
    EXPMAT(X.from(t + 3), stored, type, r, c, e);
  }
  X(t) = jobbase::kTypeFull;
  X(t + 1) = r;
  X(t + 2) = c;
  return code;
}

void CALCMAT(Vec1<double> X, int column, int& status) {
  auto& f = FMSTAK;
  auto& m = FMFLAG;
  status = 1;
  m.NTEMP = 0;
  if (f.NOUT < 2 || (f.NOUT == 2 && f.val(1) > 30)) list_error();
  // Runs while codes remain to combine or operators are pending.
  while (f.NOUT > 2 || f.NOPS > 1) {
    const int c = f.val(f.NOUT - 1);
    if (c > 30) {
      shift_pending(c);
      continue;
    }
    if (f.NOPS == 1) list_error();
    const int o = f.pend(f.NOPS - 1);
    int st = 1;
    if ((o >= 31 && o <= 82) || o == 111) {
      MATUNOP(X, st);
      if (st == 2) {
        status = 2;
        return;
      }
      if (st != 1) runtime::stop("190");
      continue;
    }
    if ((o >= 110 && o <= 128) || o == 200) {
      shift_pending(c);
      if (f.val(f.NOUT - 1) > 30) continue;
    } else if (o > 30) {
      ERRMSG(154);
    }
    MATBINOP(X, st);
    if (st == 3) {
      status = 2;
      return;
    }
    if (st != 1) runtime::stop("180");
  }

  // The result.
  if (f.val(1) > 0) f.val(1) = UNDEFM(X, f.val(1));
  const int t = TMPADR(f.val(1));
  int type = icell(X(t));
  const int r = icell(X(t + 1));
  const int c = icell(X(t + 2));
  const int r0 = m.RESADR;
  if (m.TRIAL) {
    X(r0 - 3) = X(t);
    X(r0 - 2) = X(t + 1);
    X(r0 - 1) = X(t + 2);
    return;
  }
  const GroupView G{X, MAINPR.NG, MAINPR.IGRP};
  const int fitcod = G.icol(gcol::kFitCode);
  if ((fitcod == jobbase::kFitUser || fitcod == jobbase::kFitUserRows) && !m.INFIT && (r != 1 || c != 1)) {
    write_list(kStdout, {});
    write_list(kStdout, {" Calculated matrix is order ", r, " by", c});
    ERRMSG(76);
  }
  const int kind = G.icol(gcol::kKind);
  if (kind >= jobbase::kKindConstraint || column == gcol::kMeansResult || column == gcol::kWeightResult) {
    X(r0 - 3) = X(t);
    X(r0 - 2) = X(t + 1);
    X(r0 - 1) = X(t + 2);
    int ty = type;
    const int e = jobbase::NELEM(ty, r, c);
    for (int k = 0; k < e; ++k) X(r0 + k) = X(t + 3 + k);
    return;
  }

  // The covariance of a data group: the lower triangle of each block,
  // packed by rows, one block after the other.
  const int b = std::max(m.NMODEL, 1);
  const int v = G.icol(gcol::kDefVars);
  const int k0 = ((fitcod == jobbase::kFitVL || fitcod == jobbase::kFitOrdMix) && v != 0) ? icell(X(v)) : 0;
  const int n = G.icol(gcol::kNvar) - k0;
  const int rb = r / b;
  const int tri = runtime::packed_size(n);
  // The values are stored as a symmetric matrix's, so the header says so:
  // readers expand the result by its type.
  X(r0 - 3) = jobbase::kTypeSym;
  X(r0 - 2) = X(t + 1);
  X(r0 - 1) = X(t + 2);
  if (type == jobbase::kTypeSym) {
    if (rb != n || c != n) ERRMSG(26);
    for (int k = 0; k < tri; ++k) X(r0 + k) = X(t + 3 + k);
  } else if (type == jobbase::kTypeFull) {
    // A result of another order fills only the triangle of its own order.
    const int order = std::min({rb, c, n});
    for (int j = 0; j < b; ++j) {
      const int src = t + 3 + j * rb * c;
      const int dst = r0 + j * tri;
      for (int i = 1; i <= order; ++i)
        for (int jj = 1; jj <= i; ++jj) X(dst + runtime::packed_offset(i, jj)) = X(src + (i - 1) * c + jj - 1);
    }
  } else {
    ERRMSG(28);
  }
  (void)type;
}

namespace {

// Copies the n codes at X(a+1..a+n) into the code list.
void load_codes(Vec1<double> X, int a, int n) {
  auto& f = FMSTAK;
  if (n > kFmStack) ERRMSG(64);
  for (int k = 1; k <= n; ++k) f.val(k) = icell(X(a + k));
  f.NOUT = n + 1;
  f.NOPS = 1;
  f.NCODE = n;
}

// Evaluates the computed matrix of letter L stored at a.
void eval_computed(Vec1<double> X, int a, int& status) {
  auto& m = FMFLAG;
  const jobbase::RestoreCell top(MAINPR.WSTOP);
  const int save = top.saved();
  const int n = icell(X(a + 1));
  load_codes(X, a + 1, n);
  m.RESADR = a + n + 5;
  m.WSHIGH = save;
  CALCMAT(X, gcol::kMeansResult, status);
  if (m.ACCNT && m.WSHIGH > MAINPR.WSMAXD) jobbase::CHKMEM(m.WSHIGH);
}

}  // namespace

void EVFORM(Vec1<double> X, int kind, int first, int last, int& status) {
  auto& m = FMFLAG;
  // A computed matrix is no group formula.
  const jobbase::FormulaColumns fc =
      kind == jobbase::fkind::kComputed ? jobbase::FormulaColumns{0, 0} : jobbase::formula_columns(kind);
  if (fc.code == 0) ERRMSG(172);
  const int fcol = fc.code, rcol = fc.result;
  status = 1;
  const int NG = MAINPR.NG;
  const jobbase::RestoreCell group(MAINPR.IGRP);
  for (int g = first; g <= last; ++g) {
    MAINPR.IGRP = g;
    const jobbase::RestoreCell top(MAINPR.WSTOP);
    const int save = top.saved();
    const GroupView G{X, NG, g};
    m.MTBASE = G.B();
    m.RESADR = G.icol(rcol);
    const int a = G.icol(fcol);
    const int n = a > 0 ? icell(X(a)) : 0;
    if (n == 0 && G.icol(gcol::kKind) > jobbase::kKindConstraint) continue;
    load_codes(X, a, n);
    m.WSHIGH = save;
    CALCMAT(X, rcol, status);
    if (m.ACCNT && m.WSHIGH > MAINPR.WSMAXD) jobbase::CHKMEM(m.WSHIGH);
  }
}

void EVCOMP(Vec1<double> X, int /*ignored*/, int& status) {
  auto& m = FMFLAG;
  status = 1;
  const int B = jobbase::current_group().B();
  if (B < 1) return;
  m.MTBASE = B;
  // The computed letters in the order of their evaluation numbers.
  std::array<int, 26> letters{};
  std::array<double, 26> order{};
  int count = 0;
  for (int L = 1; L <= 26; ++L) {
    if (icell(jobbase::MTTYPE(X, B, L)) != jobbase::kTypeComputed) continue;
    const double o = X(icell(jobbase::MTADDR(X, B, L)));
    int k = count++;
    while (k > 0 && order[static_cast<std::size_t>(k - 1)] > o) {
      order[static_cast<std::size_t>(k)] = order[static_cast<std::size_t>(k - 1)];
      letters[static_cast<std::size_t>(k)] = letters[static_cast<std::size_t>(k - 1)];
      --k;
    }
    order[static_cast<std::size_t>(k)] = o;
    letters[static_cast<std::size_t>(k)] = L;
  }
  m.INFIT = true;
  for (int k = 0; k < count; ++k) {
    const int L = letters[static_cast<std::size_t>(k)];
    eval_computed(X, icell(jobbase::MTADDR(X, B, L)), status);
  }
  m.INFIT = false;
}

void EVONEC(Vec1<double> X, int letter, int& status) {
  auto& m = FMFLAG;
  status = 1;
  const int B = jobbase::current_group().B();
  m.MTBASE = B;
  m.INFIT = true;
  eval_computed(X, icell(jobbase::MTADDR(X, B, letter)), status);
  m.INFIT = false;
}

const char* FMNAME(int code) {
  switch (code) {
    case 31: return "Inverse         ";
    case 32: return "Transpose       ";
    case 33: return "Determinant     ";
    case 34: return "Trace           ";
    case 35: return "Exp             ";
    case 36: return "Sqrt            ";
    case 37: return "Ln              ";
    case 38: return "Vector->Diagonal";
    case 39: return "Diagonal->Vector";
    case 40: return "Matrix->Vector  ";
    case 41: return "Vector->Symmet  ";
    case 42: return "Vector->Full    ";
    case 43: return "Eigenvalues     ";
    case 44: return "Eigenvectors    ";
    case 45: return "ImagEigenvectors";
    case 46: return "ImagEigenvalues ";
    case 47: return "Standardize     ";
    case 48: return "Vech            ";
    case 49: return "Vec             ";
    case 50: return "Mulnor_pdf      ";
    case 51: return "Absolute_value  ";
    case 52: return "Cos             ";
    case 53: return "Cosh            ";
    case 54: return "Sin             ";
    case 55: return "Sinh            ";
    case 56: return "Tan             ";
    case 57: return "Tanh            ";
    case 58: return "Maximum         ";
    case 59: return "Minimum         ";
    case 60: return "Sum             ";
    case 61: return "Prod            ";
    case 62: return "Mulnor_Pdf      ";
    case 63: return "Unassigned      ";
    case 64: return "Moments_Normal  ";
    case 65: return "Modif Bessel I0 ";
    case 66: return "Ascending order ";
    case 67: return "Descending order";
    case 68: return "Sort Columns    ";
    case 69: return "Sort Rows       ";
    case 110: return "Left(           ";
    case 111: return "Negative        ";
    case 112: return "DotProduct      ";
    case 113: return "Product         ";
    case 114: return "Terminate       ";
    case 115: return "Plus            ";
    case 116: return "Minus           ";
    case 117: return "Right)          ";
    case 118: return "AdhereLeftRight ";
    case 119: return "AdhereTopBottom ";
    case 120: return "Kronecker       ";
    case 121: return "GenericFunction ";
    case 122: return "Power           ";
    case 123: return "ElementDivide   ";
    case 124: return "Concatenate     ";
    case 125: return "Quadratic       ";
    case 70: return "Unassigned70    ";
    case 73: return "Unassigned73    ";
    case 76: return "Unassigned76    ";
    case 79: return "Unassigned79    ";
    case 82: return "Unassigned82    ";
    case 85: return "Unassigned85    ";
    case 88: return "Unassigned88    ";
    case 91: return "Unassigned91    ";
    case 94: return "Unassigned94    ";
    case 97: return "Unassigned97    ";
    case 100: return "Unassigned100   ";
    case 103: return "Unassigned103   ";
    case 106: return "Unassigned106   ";
    case 109: return "Unassigned109   ";
    case 127: return "Unassigned127   ";
    case 130: return "Unassigned130   ";
    default: return "Unassigned      ";
  }
}

void FMDUMP(int mark) {
  auto& f = FMSTAK;
  const int n = f.NCODE;
  if (n == 0) {
    write_list(kStdout, {" Formula of zero length found.  Make sure you have a covariance"});
    write_list(kStdout, {" statement in data groups."});
    return;
  }
  for (int k = 1; k <= n; ++k) {
    const int code = f.val(k);
    const bool here = mark != 0 && k == f.NOUT;
    if (code >= 1 && code <= 26) {
      if (here)
        write_list(kStdout, {letter_text(code), " <- Error here"});
      else
        write_list(kStdout, {letter_text(code)});
    } else if (code == -1) {
      if (here)
        write_list(kStdout, {" Result Matrix", " <- Error here"});
      else
        write_list(kStdout, {" Result Matrix"});
    } else if (code <= 30) {
      if (here)
        write_list(kStdout, {" Unidentified code:", code, " <- Error here"});
      else
        write_list(kStdout, {" Unidentified code:", code});
    } else {
      if (here)
        write_list(kStdout, {FMNAME(code), " <- Error here"});
      else
        write_list(kStdout, {FMNAME(code)});
    }
  }
}

}  // namespace qv::algebra
