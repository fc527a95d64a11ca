#include "fit/femats.hpp"

#include <algorithm>

#include "fit/fitstat.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/ferecs.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/vlsum.hpp"
#include "jobbase/workspace.hpp"

namespace qv::fit {

using namespace jobbase;
using runtime::Vec1;

namespace {

constexpr int kGlobalFitValues = 25;
constexpr int kGroupFitValues = 2;
// The GROUP_FIT pair of a calculation group.
constexpr double kCalcGroupFitCode = 6.0;

bool suppressed(Vec1<int> IX, int NG, int g) { return IGRPTB(IX, NG, igcol::kSuppress, g) == 1; }

// Label records of letter L (label block at a, r x c): rows, then columns.
void label_records(Vec1<double> X, int a, int L, int g, int r, int c) {
  static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const std::string_view name = kLetters.substr(static_cast<std::size_t>(L - 1), 1);
  const int slot = icell(X(a + 2));
  if (X(a) != 0.0) FELAB(slot, r, g, "ROW", name);
  if (X(a + 1) != 0.0) FELAB(slot + r, c, g, "COLUMN", name);
}

// Modes 1 and 2 for group g.
void matrix_records(Vec1<double> X, int NG, int g, int MODE) {
  const GroupView G{X, NG, g};
  const int B = G.B();
  if (B < 1) return;
  for (int L = 1; L <= 26; ++L) {
    int type = icell(MTTYPE(X, B, L));
    if (type >= kTypeCo || type == kTypeCompRef) continue;
    const int rows = icell(MTROWS(X, B, L));
    const int cols = icell(MTCOLS(X, B, L));
    int addr = icell(MTADDR(X, B, L));
    const int labels = icell(MTLABL(X, B, L));
    int counted = type;
    const int count = NELEM(counted, rows, cols);
    const bool computed = type == kTypeComputed || type == kTypeCompRef;
    if (L == G.icol(gcol::kRawLetter)) {
      type = kTypeRawShown;
      addr = G.icol(gcol::kRawData) - G.icol(gcol::kNi);
    }
    const int values = computed ? addr + icell(X(addr + 1)) + 5 : addr + count;
    if (MODE == femode::kSpecs) {
      FEMREC(X, L, type, rows, cols, addr, labels, count, "SPECS");
      if (labels != 0) label_records(X, labels, L, g, rows, cols);
      FEMREC(X, L, type, rows, cols, values, labels, count, "VALUE");
    } else {
      if (type >= kTypeZero && type <= kTypeZeroId) continue;
      bool wanted = type <= kTypeViewSym;
      for (int i = 0; i < count && !wanted; ++i) wanted = X(addr + i) != 0.0;
      if (wanted) FEMREC(X, L, type, rows, cols, values, labels, count, "VALUE");
    }
  }
}

void fit_records(Vec1<double> X, Vec1<int> IX, int NG) {
  auto& m = MAINPR;
  const int s = m.WSTOP;
  CHKMEM(s + kGlobalFitValues - 1);
  for (int g = 1; g <= NG; ++g) {
    m.IGRP = g;
    if (suppressed(IX, NG, g)) continue;
    const GroupView G{X, NG, g};
    if (G.icol(gcol::kKind) == kKindCalc) {
      X(s) = kCalcGroupFitCode;
      X(s + 1) = 0.0;
    } else {
      X(s) = G.icol(gcol::kFitCode);
      X(s + 1) = G.col(gcol::kFitValue);
    }
    int type = kTypeFull;
    FEMREC(X, kFeFitLetter, type, 1, kGroupFitValues, s, 0, kGroupFitValues, "GROUP_FIT");
  }
  m.IGRP = 1;
  const Fitres& r = FITRES;
  const Fitopt& o = FITOPT;
  const double v[kGlobalFitValues] = {
      static_cast<double>(r.NPAR), static_cast<double>(FITSTA.NSTTOT), static_cast<double>(r.NNLCON),
      static_cast<double>(r.INFORM), r.F, r.DF, r.PROB, r.AIC, static_cast<double>(r.FITTYP), r.RMSEA,
      r.CHILO, r.CHIHI, r.AICLO, r.AICHI, r.RMSLO, r.RMSHI, o.NUCHI, o.NUDF,
      r.NFI, r.NFI2, r.TLI, r.PFI, r.PFI2, r.RNI, r.CI};
  for (int i = 0; i < kGlobalFitValues; ++i) X(s + i) = v[i];
  int type = kTypeFull;
  FEMREC(X, kFeFitLetter, type, 1, kGlobalFitValues, s, 0, kGlobalFitValues, "GLOBAL_FIT");
}

void power_record(Vec1<double> X, std::span<const double> power) {
  auto& m = MAINPR;
  const int n = 2 * kPowerRows;
  const int s = m.WSTOP;
  CHKMEM(s + n - 1);
  for (int i = 0; i < n; ++i) X(s + i) = i < static_cast<int>(power.size()) ? power[static_cast<std::size_t>(i)] : 0.0;
  int type = kTypeFull;
  FEMREC(X, kFePower, type, kPowerRows, 2, s, 0, n, "POWER");
}

}  // namespace

void FEMATS(Vec1<double> X, Vec1<int> IX, int MODE, std::span<const double> power) {
  auto& m = MAINPR;
  const int NG = icell(X(1));
  fe_machine();
  if (MODE == femode::kSpecs || MODE == femode::kValues) {
    for (int g = 1; g <= NG; ++g) {
      m.IGRP = g;
      if (!suppressed(IX, NG, g)) matrix_records(X, NG, g, MODE);
    }
    m.IGRP = NG + 1;
  } else if (MODE == femode::kFit) {
    fit_records(X, IX, NG);
    fe_human();
  } else if (MODE == femode::kPower) {
    power_record(X, power);
    fe_human();
  }
}

}  // namespace qv::fit
