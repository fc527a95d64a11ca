#include "jobctl/options.hpp"

#include <string>
#include <string_view>

#include "jobbase/htmlrep.hpp"
#include "fit/outreq.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/rdline.hpp"
#include "jobctl/rdnpop.hpp"
#include "jobbase/stmtaux.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/distrib.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using runtime::kStdout;
using runtime::write_list;
using namespace stmt;

namespace {

// Reads the value of the option at the cursor.
double number() {
  RDNUM();
  return CURSOR.RVALUE;
}
int whole() {
  RDNUM();
  return CURSOR.IVALUE;
}

// Column after the "=" that NP and FO look for (further lines are read
// while it is not found).
void find_equals() {
  --CURSOR.ICOL;
  FINDCH('=', 0);
  ++CURSOR.ICOL;
}

// Options word NP: the options file named after "=", as typed, up to the
// first blank; read at once.
void np_option() {
  auto& c = CURSOR;
  find_equals();
  while (c.ICOL <= c.LLEN && cur() == ' ') ++c.ICOL;
  std::string name;
  while (c.ICOL <= c.LLEN && cur() != ' ') {
    name.push_back(LINBUF.RAWLIN[c.ICOL - 1]);
    ++c.ICOL;
  }
  --c.ICOL;  // on the name's last character: the next word follows
  write_list(kStdout, {" Options will be read from file ", name});
  RDNPOP(runtime::fpad(name, 80));
}

// Options word FO: the rest of the line after "=", in its own case.
void fo_option() {
  auto& c = CURSOR;
  find_equals();
  std::string text;
  if (c.ICOL <= c.LLEN) text = LINBUF.RAWLIN.substr(c.ICOL - 1, c.LLEN - c.ICOL + 1);
  MAINPR.USRFMT = runtime::fpad(text, LINMAX);
  c.ICOL = c.LLEN + 1;
}

// Options word ND: decimals of matrix printing and the print format.
void nd_option(int n) {
  if (n < 0) n = 0;
  FITOPT.ND = n;
  if (n < 10)
    MAINPR.PRTFMT = runtime::fpad(runtime::write_internal("(a1,i2,a1,i1)", {"F", n + 6, ".", n}), 80);
  else
    MAINPR.PRTFMT = std::string(80, ' ');
}

// Options word PO: alpha and df, and the critical value of the power test.
void po_option() {
  auto& o = FITOPT;
  const double alpha = number();
  const double df = number();
  int ifail = -1;
  const double crit = numlib::G01FCF(1.0 - alpha, df, ifail);
  if (ifail != 0 && ifail != 4) ERRMSG(147);
  if (ifail == 4) {
    write_list(kStdout, {});
    report::WARNHD();
    write_list(kStdout, {" ** Power figures will be approximate**"});
  }
  o.PO = 1;
  o.POALF = 1.0 - alpha;
  o.PODF = df;
  o.POCRIT = crit;
}

// Acts on the option word at the cursor.  Returns true when a value was
// read, so that the cursor may already stand on the next word.
bool option_word() {
  auto& m = MAINPR;
  auto& o = FITOPT;
  auto& c = CURSOR;
  auto IX = IWORKS.ix();
  const GroupView G = current_group();
  const int NG = G.NG;
  const int g = G.g;
  const std::string_view w = line_from(c.ICOL);
  auto is = [&](std::string_view k) { return w.substr(0, k.size()) == k; };
  // In a continued multiple-fit job the words that change a group need the
  // group chosen with "#G"; ST and DI are then ignored.  Every word that
  // writes a group column needs the current group to be one of the job's.
  const bool cont = m.CONTJOB == 1;
  auto in_job = [&] {
    if (g < 1 || g > NG) ERRMSG(117);
  };
  auto group_word = [&] {
    if (cont) GRPCHK();
    in_job();
  };
  const bool unchosen = cont && m.GRPSEL == 0;

  if (is("LS") || is("UL")) {
    group_word();
    if (G.icol(gcol::kFitCode) == kFitML) {
      G.col(gcol::kFitCode) = kFitLS;
      o.OPTFIT = 0;
      if (is("LSML") || is("ULML")) o.LSML = 1;
    }
  } else if (is("ML")) {
    group_word();
  } else if (is("AW") || is("WL")) {
    group_word();
    if (G.col(gcol::kWeights) == 0.0) ERRMSG(40);
    G.col(gcol::kFitCode) = kFitAWLS;
  } else if (is("DW")) {
    group_word();
    G.col(gcol::kFitCode) = kFitDWLS;
    o.OPTFIT = 2;
  } else if (is("GL")) {
    group_word();
    if (G.icol(gcol::kFitCode) == kFitML) G.col(gcol::kFitCode) = kFitGLS;
  } else if (is("US")) {
    group_word();
    if (G.col(gcol::kKind) != kKindData) ERRMSG(225);
    G.col(gcol::kFitCode) = kFitUser;
    o.OPTFIT = 3;
  } else if (is("RU")) {
    group_word();
    G.col(gcol::kFitCode) = kFitUserRows;
    o.OPTFIT = 3;
  } else if (is("ISCHI")) {
    o.ISCHI = 1;
  } else if (is("RM")) {
    group_word();
    if (G.col(gcol::kMeansFormula) == 0.0 || G.col(gcol::kCovFormula) == 0.0) ERRMSG(93);
    G.col(gcol::kFitCode) = kFitRaw;
    o.OPTFIT = 4;
  } else if (is("NO")) {
    group_word();
    G.col(gcol::kNoReport) = 1;
  } else if (is("HT")) {
    m.HTMLON = 1;
  } else if (is("ST") && !is("STE")) {
    if (!unchosen) {
      in_job();
      if (G.col(gcol::kAsyForm) == 2.0) {
        report::WARNHD();
        write_list(kStdout, {" The standardize option is not available for CM data"});
        write_list(kStdout, {" Option ignored"});
      } else {
        G.col(gcol::kAsyForm) = 1;
      }
    }
  } else if (is("RS")) {
    group_word();
    G.col(gcol::kResiduals) = 1;
  } else if (is("DI")) {
    if (!unchosen) {
      in_job();
      G.col(gcol::kDiOption) = 1;
    }
  } else if (is("NP")) {
    np_option();
  } else if (is("WI")) {
    m.OUTWID = whole();
    return true;
  } else if (is("ND")) {
    nd_option(whole());
    return true;
  } else if (is("QV")) {
    group_word();
    fit::OUTREQ(G.X, IX, NG, g, m.RDPTR, m.LABSLOT);
  } else if (is("FO")) {
    fo_option();
  } else if (is("AP")) {
    o.APPEND = 1;
  } else if (is("DR")) {
    group_word();
    fit::OUTREQ(G.X, IX, NG, g, m.RDPTR, m.LABSLOT);
  } else if (is("TH")) {
    o.TH = whole();
    return true;
  } else if (is("FE")) {
    o.FE = number();
    return true;
  } else if (std::string_view(LINBUF.LINE).substr(c.ICOL - 1, 4) == "FI  ") {
    o.FI = number();
    return true;
  } else if (is("OP")) {
    o.OP = number();
    return true;
  } else if (is("DB")) {
    o.DB = whole();
    return true;
  } else if (is("PE")) {
    o.PE = 1;
  } else if (is("IT")) {
    o.IT = whole();
    return true;
  } else if (is("LI")) {
    o.LI = number();
    return true;
  } else if (is("STE")) {
    o.STE = number();
    return true;
  } else if (is("FU")) {
    o.FU = number();
    return true;
  } else if (is("NA")) {
    o.NA = whole();
    return true;
  } else if (is("ER")) {
    m.EPSRF = number();
    return true;
  } else if (is("EP")) {
    m.EPOPT = number();
    return true;
  } else if (is("DE")) {
    o.DE = 1;
  } else if (is("CH")) {
    o.CH = 1;
  } else if (is("CI")) {
    const double pct = number();
    if (pct < 0.0 || pct > 100.0) ERRMSG(148);
    o.CI = 1;
    o.CIPCT = pct;
    return true;
  } else if (is("NU")) {
    o.NU = 1;
    o.NUCHI = number();
    o.NUDF = number();
    o.NUCALC = 0;  // typed figures replace computed ones
    return true;
  } else if (is("SAT")) {
    o.SAT = 1;
    o.SATFIT = number();
    o.SATDF = number();
    o.SATCALC = 0;
    return true;
  } else if (is("ISSAT")) {
    o.ISSAT = 1;
    o.SAT = 0;
  } else if (is("ISNULL")) {
    o.ISNULL = 1;
    o.NU = 0;
  } else if (is("IGNORE")) {
    FESTAT.MACHOUT = 0;
  } else if (is("PO")) {
    po_option();
    return true;
  } else if (is("DF")) {
    o.DF = whole();
    return true;
  } else if (is("PS")) {
    o.PS = number();
    return true;
  } else if (is("SE")) {
    group_word();
    write_list(kStdout, {" STANDARD ERRORS withdrawn in this version"});
    write_list(kStdout, {" Please use interval command instead"});
  } else if (is("SU")) {
    in_job();
    IGRPTB(IX, NG, igcol::kSuppress, g) = 1;
  } else if (is("MU")) {
    m.MUREQ = 1;
  } else if (is("JI")) {
    o.JI = 1;
  } else if (is("SAMECOV")) {
    in_job();
    IGRPTB(IX, NG, igcol::kSameCov, g) = 1;
  } else if (is("SAMEMEA")) {
    in_job();
    IGRPTB(IX, NG, igcol::kSameMeans, g) = 1;
  } else if (is("SAMEWEI")) {
    in_job();
    IGRPTB(IX, NG, igcol::kSameWeights, g) = 1;
  } else if (is("SA")) {
    report::WARNHD();
    write_list(kStdout, {" SA command misunderstood: use samemea samecov or samewei"});
  }
  return false;
}

// The line ends with a blank and "C": it goes on on the next line.
bool continued() {
  const int n = CURSOR.LLEN;
  return n >= 2 && chr(n - 1) == ' ' && chr(n) == 'C';
}

}  // namespace

bool OPTLIN() {
  auto& m = MAINPR;
  auto& c = CURSOR;
  const bool ends_group = !begins("OP");
  if (ends_group) {
    m.MUREQ = 0;
    m.MULFIT = 0;
  } else {
    FITOPT.OPSEEN = 1;
  }
  m.NOREAD = 1.0;
  LINBUF.PRVLIN = LINBUF.LINE;
  bool skip = true;
  for (;;) {
    if (skip) NEXTWD();
    skip = true;
    if (c.ICOL < 1 || c.ICOL > c.LLEN) {
      if (c.ICOL >= 1 && continued()) {
        RDLINE();
        if (c.ICOL == 0) break;
        skip = false;
        continue;
      }
      break;
    }
    if (option_word()) {
      // A value was read: the cursor stands on the next word when a blank
      // or comma was passed after the number.
      const char before = chr(c.ICOL - 1);
      if (on_line() && (before == ' ' || before == ',')) skip = false;
    }
  }
  m.NOREAD = 0.0;
  return ends_group;
}

}  // namespace qv::jobctl
