#include "jobctl/fejob.hpp"

#include <string>
#include <string_view>

#include "fit/femats.hpp"
#include "fit/outreq.hpp"
#include "fit/prexp.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/ferecs.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/tabnames.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using runtime::kStdout;
using runtime::write_fmt;
using runtime::write_list;

namespace {

constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
std::string_view letter(int L) { return kLetters.substr(static_cast<std::size_t>(L - 1), 1); }

// Formula slots the description lists: the computed matrices and the means
// and covariance formulas.
constexpr int kFormSlotsShown = fslot::kCov;
// Longest pedigree-statistics file name of the global options.
constexpr int kFeFileName = 80;

// The defaults of the optimizer's tolerances as the single-precision
// constants they are, widened to double.
constexpr double kDefFE = static_cast<double>(1.05E-08f);
constexpr int kDefIT = 1000;
constexpr double kDefLI = static_cast<double>(0.9f);
constexpr double kDefOP = static_cast<double>(3.26E-12f);
constexpr double kDefSTE = static_cast<double>(1.0E+20f);
constexpr double kDefFU = static_cast<double>(4.37E-15f);

bool suppressed(Vec1<int> IX, int NG, int g) { return IGRPTB(IX, NG, igcol::kSuppress, g) == 1; }

// The text of the formula whose head is at h: X(h) pieces from slot X(h+1),
// the last without its trailing blanks.
std::string formula_text(Vec1<double> X, const Labtab& L, int h) {
  const int n = icell(X(h));
  const int first = icell(X(h + 1));
  std::string text;
  for (int i = 0; i < n; ++i) text += L.get(first + i);
  text.resize(runtime::len_trim(text));
  return text;
}

// The name of the first %P (pedigree statistics) output file of any group,
// at most 80 characters; "" when there is none.
std::string pedigree_file(Vec1<double> X, const Labtab& L, int NG) {
  for (int g = 1; g <= NG; ++g) {
    const fit::RequestList list(GroupView{X, NG, g});
    for (int k = 1; k <= list.count(); ++k) {
      const fit::OutRequest r = list(k);
      if (r.number != fit::kReqPed) continue;
      std::string name;
      for (int i = 0; i < r.slots; ++i) name += L.get(r.slot + i);
      if (name.size() > kFeFileName) name.resize(kFeFileName);
      name.resize(runtime::len_trim(name));
      return name;
    }
  }
  return "";
}

}  // namespace

void FESAMP(Vec1<double> X, int G, int NG) {
  const GroupView g{X, NG, G};
  const int kind = g.icol(gcol::kKind);
  int nobs = 0, ni = 0;
  if (kind < kKindCalc) {
    nobs = kind == kKindData ? g.icol(gcol::kNobs) : 0;
    ni = g.icol(gcol::kNi);
  }
  write_list(kStdout, {" SAMPLE"});
  write_list(kStdout, {G});
  write_list(kStdout, {nobs});
  write_list(kStdout, {ni});
  write_list(kStdout, {" ;"});
}

void FEFORM(Vec1<double> X, int G, int NG, Labtab& LABTAB) {
  const GroupView g{X, NG, G};
  fe_machine();
  const int B = g.B();
  for (int k = 1; B >= 1 && k <= kFormSlotsShown; ++k) {
    const int h = icell(MTFSLT(X, B, k));
    if (h == 0) continue;
    write_list(kStdout, {" FORMULA"});
    write_list(kStdout, {G});
    if (k <= 26) {
      write_list(kStdout, {icell(X(h + 2))});
      write_fmt(kStdout, "(3a)", {"\"", letter(k), "\""});
    } else {
      write_list(kStdout, {k});
      write_fmt(kStdout, "(3a)", {"\"", formula_name(k, g.icol(gcol::kKind)), "\""});
    }
    write_fmt(kStdout, "(3a)", {"\"", formula_text(X, LABTAB, h), "\";"});
  }
  fe_human();
}

void FELINK(Vec1<double> X, Vec1<int> IX, int G, int NG) {
  fe_machine();
  const int a = IGRPTB(IX, NG, igcol::kLinks, G);
  const int n = a > 0 ? IX(a) : 0;
  for (int e = 1; e <= n; ++e) {
    const int here = IX(a + 3 * e - 2);
    const int other = IX(a + 3 * e - 1);
    const int there = IX(a + 3 * e);
    std::string_view name;
    if (there <= 26)
      name = letter(there);
    else
      name = formula_name(there, icell(GRPTAB(X, NG, gcol::kKind, other)));
    write_list(kStdout, {" LINK", G, " \"" + std::string(letter(here)) + "\"", other,
                         " \"" + std::string(name) + "\";"});
  }
  fe_human();
}

void FEOPT(Vec1<double> X, int G, int NG) {
  const GroupView g{X, NG, G};
  write_list(kStdout, {" OPTIONS"});
  write_list(kStdout, {G});
  write_list(kStdout, {g.icol(gcol::kResiduals)});
  write_list(kStdout, {g.icol(gcol::kNoReport)});
  write_list(kStdout, {g.icol(gcol::kStdErrors)});
  write_list(kStdout, {" ;"});
}

void FEGLOB(Vec1<double> X, Labtab& LABTAB, int /*G*/, int NG) {
  const Fitopt& o = FITOPT;
  const auto& m = MAINPR;
  write_list(kStdout, {" GLOBAL_OPTIONS"});
  write_list(kStdout, {m.OUTWID});
  write_list(kStdout, {o.ND});
  write_list(kStdout, {o.PO ? o.PODF : 0.0});
  write_list(kStdout, {o.PO ? o.POCRIT : 0.0});
  write_list(kStdout, {o.CI ? o.CIPCT : 0.0});
  FEFLAG(o.CH);
  write_list(kStdout, {o.TH});
  FEFLAG(o.JI);
  write_list(kStdout, {o.DE});
  write_list(kStdout, {o.FE != 0.0 ? o.FE : kDefFE});
  write_list(kStdout, {o.IT != -1 ? o.IT : kDefIT});
  write_list(kStdout, {o.LI != 0.0 ? o.LI : kDefLI});
  write_list(kStdout, {o.OP != 0.0 ? o.OP : kDefOP});
  write_list(kStdout, {o.STE != 0.0 ? o.STE : kDefSTE});
  write_list(kStdout, {o.FU != 0.0 ? o.FU : kDefFU});
  write_list(kStdout, {o.NA});
  write_list(kStdout, {o.DB});
  // The fit driver's two-stage flag (LSML, ULML) is the one a job start
  // clears; it counts while non-zero.
  write_list(kStdout, {o.LSML != 0 ? 1 : (o.NU ? 2 : 0)});
  FEFLAG(o.PO);
  FEFLAG(m.HTMLON);
  write_list(kStdout, {0});
  write_list(kStdout, {o.DF});
  write_list(kStdout, {icell(o.NUDF)});
  write_list(kStdout, {o.NUCHI});
  write_fmt(kStdout, "(a2,a,a1)", {" \"", pedigree_file(X, LABTAB, NG), "\""});
  write_list(kStdout, {});
  write_list(kStdout, {" ;"});
}

void FEJOB(Vec1<double> X, Vec1<int> IX, Labtab& LABTAB, int NG, int /*FEACTV*/, int MACHOUT) {
  auto& m = MAINPR;
  fit::FEMATS(X, IX, fit::femode::kSpecs);
  fit::FEMATS(X, IX, fit::femode::kFit);
  fe_machine();
  for (int g = 1; g <= NG; ++g) {
    if (suppressed(IX, NG, g)) continue;
    m.IGRP = g;
    const GroupView G{X, NG, g};
    FEGTYP(g, G.icol(gcol::kKind));
    FETITL(G.icol(gcol::kTitle), g, 1, 0);
    FESAMP(X, g, NG);
    FEFORM(X, g, NG, LABTAB);
    FELINK(X, IX, g, NG);
    fit::PREXP(X, g, NG, 1, 1, MACHOUT);
    fe_machine();
    FEOPT(X, g, NG);
  }
  FEGLOB(X, LABTAB, 1, NG);
  write_list(kStdout, {TOKRDY});
  fe_human();
}

}  // namespace qv::jobctl
