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

using namespace jobbase;
using runtime::kStdout;
using runtime::write_list;
using namespace jobbase::stmt;

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
    jobbase::WARNHD();
    write_list(kStdout, {" ** Power figures will be approximate**"});
  }
  o.PO = true;
  o.POALF = 1.0 - alpha;
  o.PODF = df;
  o.POCRIT = crit;
}

// What the handlers of the option words share: the word's text, the
// current group, and whether a continued multiple-fit job has chosen one.
struct OptionContext {
  std::string_view word;  // the line from the word on
  GroupView G;
  bool cont;      // a continued multiple-fit job
  bool unchosen;  // ... in which no group was chosen with "#G"
  // Every word that writes a group column needs the current group to be
  // one of the job's.
  void in_job() const {
    if (G.g < 1 || G.g > G.NG) ERRMSG(117);
  }
  // In a continued multiple-fit job the words that change a group need the
  // group chosen with "#G".
  void group_word() const {
    if (cont) GRPCHK();
    in_job();
  }
  bool begins(std::string_view k) const { return word.substr(0, k.size()) == k; }
};

// A handler returns whether it read a value after its word.
constexpr bool kValueRead = true;
constexpr bool kNoValue = false;
using OptionHandler = bool (*)(const OptionContext&);

// LS and UL: least squares in place of maximum likelihood; LSML and ULML
// ask for maximum likelihood after it.
bool least_squares(const OptionContext& x) {
  x.group_word();
  if (x.G.icol(gcol::kFitCode) == kFitML) {
    x.G.col(gcol::kFitCode) = kFitLS;
    FITOPT.OPTFIT = 0;
    if (x.begins("LSML") || x.begins("ULML")) FITOPT.LSML = 1;
  }
  return kNoValue;
}
// ML: the default fit function; only the group's choice is checked.
bool maximum_likelihood(const OptionContext& x) {
  x.group_word();
  return kNoValue;
}
// AW and WL: asymptotically weighted least squares, which needs the weights.
bool weighted_least_squares(const OptionContext& x) {
  x.group_word();
  if (x.G.col(gcol::kWeights) == 0.0) ERRMSG(40);
  x.G.col(gcol::kFitCode) = kFitAWLS;
  return kNoValue;
}
bool diagonal_least_squares(const OptionContext& x) {
  x.group_word();
  x.G.col(gcol::kFitCode) = kFitDWLS;
  FITOPT.OPTFIT = 2;
  return kNoValue;
}
// GL: generalised least squares in place of maximum likelihood.
bool generalised_least_squares(const OptionContext& x) {
  x.group_word();
  if (x.G.icol(gcol::kFitCode) == kFitML) x.G.col(gcol::kFitCode) = kFitGLS;
  return kNoValue;
}
// US: the user's fit function, for a data group only.
bool user_function(const OptionContext& x) {
  x.group_word();
  if (x.G.col(gcol::kKind) != kKindData) ERRMSG(225);
  x.G.col(gcol::kFitCode) = kFitUser;
  FITOPT.OPTFIT = 3;
  return kNoValue;
}
// RU: the user's fit function summed over the rows of a data matrix.
bool user_function_by_rows(const OptionContext& x) {
  x.group_word();
  x.G.col(gcol::kFitCode) = kFitUserRows;
  FITOPT.OPTFIT = 3;
  return kNoValue;
}
// RM: raw-data likelihood, which needs a means and a covariance formula.
bool raw_likelihood(const OptionContext& x) {
  x.group_word();
  if (x.G.col(gcol::kMeansFormula) == 0.0 || x.G.col(gcol::kCovFormula) == 0.0) ERRMSG(93);
  x.G.col(gcol::kFitCode) = kFitRaw;
  FITOPT.OPTFIT = 4;
  return kNoValue;
}
bool no_report(const OptionContext& x) {
  x.group_word();
  x.G.col(gcol::kNoReport) = 1;
  return kNoValue;
}
// ST: standardise the observed matrix (not with covariances and diagonal).
bool standardise(const OptionContext& x) {
  if (x.unchosen) return kNoValue;
  x.in_job();
  if (x.G.col(gcol::kAsyForm) == 2.0) {
    jobbase::WARNHD();
    write_list(kStdout, {" The standardize option is not available for CM data"});
    write_list(kStdout, {" Option ignored"});
  } else {
    x.G.col(gcol::kAsyForm) = 1;
  }
  return kNoValue;
}
bool residuals(const OptionContext& x) {
  x.group_word();
  x.G.col(gcol::kResiduals) = 1;
  return kNoValue;
}
bool no_diagonal_penalty(const OptionContext& x) {
  if (!x.unchosen) {
    x.in_job();
    x.G.col(gcol::kDiOption) = 1;
  }
  return kNoValue;
}
// QV and DR: an output-file request of the group.
bool output_request(const OptionContext& x) {
  x.group_word();
  fit::OUTREQ(x.G.X, IWORKS.ix(), x.G.NG, x.G.g, MAINPR.RDPTR, MAINPR.LABSLOT);
  return kNoValue;
}
// CI: the percentage of the confidence intervals, 0 to 100.
bool confidence_intervals(const OptionContext&) {
  const double pct = number();
  if (pct < 0.0 || pct > 100.0) ERRMSG(148);
  FITOPT.CI = true;
  FITOPT.CIPCT = pct;
  return kValueRead;
}
// A typed figure that the option cannot hold (beyond its range, or not a
// number) is refused, never capped: the two lines quoting it and its range,
// then error 44, as for a specification number out of range.
void out_of_range(double v, const char* what, const char* range) {
  write_list(kStdout, {what, v});
  write_list(kStdout, {range});
  ERRMSG(44);
}
// DF: the adjustment of the statistics count, a whole number of the script's
// integer range.
bool df_adjustment(const OptionContext&) {
  const double v = number();
  if (!in_int_range(v))
    out_of_range(v, " DF= adjustment out of range:", " The DF= adjustment must lie between -1073741824 and 1073741824");
  FITOPT.DF = CURSOR.IVALUE;
  return kValueRead;
}
// NU and SAT: the null and the saturated model's fit and df, typed; they
// replace figures computed by an earlier job.  The saturated df is a count
// (truncated to a whole number), held in the range of the whole reals.
bool null_model(const OptionContext&) {
  auto& o = FITOPT;
  o.NU = true;
  o.NUCHI = number();
  o.NUDF = number();
  o.NUCALC = false;
  return kValueRead;
}
bool saturated_model(const OptionContext&) {
  auto& o = FITOPT;
  o.SAT = true;
  o.SATFIT = number();
  o.SATDF = number();
  if (!in_whole_range(o.SATDF))
    out_of_range(o.SATDF, " Saturated model df out of range:",
                 " The saturated model df must lie between -9007199254740992 and 9007199254740992");
  o.SATCALC = false;
  return kValueRead;
}
// SE: no longer offered.
bool standard_errors(const OptionContext& x) {
  x.group_word();
  write_list(kStdout, {" STANDARD ERRORS withdrawn in this version"});
  write_list(kStdout, {" Please use interval command instead"});
  return kNoValue;
}
// SA alone: none of SAMECOV, SAMEMEA, SAMEWEI.
bool same_misunderstood(const OptionContext&) {
  jobbase::WARNHD();
  write_list(kStdout, {" SA command misunderstood: use samemea samecov or samewei"});
  return kNoValue;
}
// A cell of the group's integer row set to 1.
template <int column>
bool group_flag(const OptionContext& x) {
  x.in_job();
  IGRPTB(IWORKS.ix(), x.G.NG, column, x.G.g) = 1;
  return kNoValue;
}

// How an entry's word is found at the cursor.
enum class Match {
  kBegins,     // the text at the cursor begins with the word (and not with `unless`)
  kPaddedLine  // the blank-padded line holds the word at the cursor, blanks included
};

struct OptionWord {
  std::string_view word;
  OptionHandler act;
  Match match = Match::kBegins;
  std::string_view unless = {};
};

// The option words in the order they are tried: the first entry whose word
// begins the text at the cursor acts, so a word stands before any longer
// word it begins unless `unless` tells them apart (ST and STE), and the
// order decides what an abbreviation means.
constexpr OptionWord kOptionWords[] = {
    {"LS", least_squares},
    {"UL", least_squares},
    {"ML", maximum_likelihood},
    {"AW", weighted_least_squares},
    {"WL", weighted_least_squares},
    {"DW", diagonal_least_squares},
    {"GL", generalised_least_squares},
    {"US", user_function},
    {"RU", user_function_by_rows},
    {"ISCHI", [](const OptionContext&) { FITOPT.ISCHI = true; return kNoValue; }},
    {"RM", raw_likelihood},
    {"NO", no_report},
    {"HT", [](const OptionContext&) { MAINPR.HTMLON = true; return kNoValue; }},
    {"ST", standardise, Match::kBegins, "STE"},
    {"RS", residuals},
    {"DI", no_diagonal_penalty},
    {"NP", [](const OptionContext&) { np_option(); return kNoValue; }},
    {"WI", [](const OptionContext&) { MAINPR.OUTWID = whole(); return kValueRead; }},
    {"ND", [](const OptionContext&) { nd_option(whole()); return kValueRead; }},
    {"QV", output_request},
    {"FO", [](const OptionContext&) { fo_option(); return kNoValue; }},
    {"AP", [](const OptionContext&) { FITOPT.APPEND = true; return kNoValue; }},
    {"DR", output_request},
    {"TH", [](const OptionContext&) { FITOPT.TH = whole(); return kValueRead; }},
    {"FE", [](const OptionContext&) { FITOPT.FE = number(); return kValueRead; }},
    // FI only as a word of its own followed by a blank: FI=... is no option.
    {"FI  ", [](const OptionContext&) { FITOPT.FI = number(); return kValueRead; }, Match::kPaddedLine},
    {"OP", [](const OptionContext&) { FITOPT.OP = number(); return kValueRead; }},
    {"DB", [](const OptionContext&) { FITOPT.DB = whole(); return kValueRead; }},
    {"PE", [](const OptionContext&) { FITOPT.PE = true; return kNoValue; }},
    {"IT", [](const OptionContext&) { FITOPT.IT = whole(); return kValueRead; }},
    {"LI", [](const OptionContext&) { FITOPT.LI = number(); return kValueRead; }},
    {"STE", [](const OptionContext&) { FITOPT.STE = number(); return kValueRead; }},
    {"FU", [](const OptionContext&) { FITOPT.FU = number(); return kValueRead; }},
    {"NA", [](const OptionContext&) { FITOPT.NA = whole(); return kValueRead; }},
    {"ER", [](const OptionContext&) { MAINPR.EPSRF = number(); return kValueRead; }},
    {"EP", [](const OptionContext&) { MAINPR.EPOPT = number(); return kValueRead; }},
    {"DE", [](const OptionContext&) { FITOPT.DE = 1; return kNoValue; }},
    {"CH", [](const OptionContext&) { FITOPT.CH = true; return kNoValue; }},
    {"CI", confidence_intervals},
    {"NU", null_model},
    {"SAT", saturated_model},
    {"ISSAT", [](const OptionContext&) { FITOPT.ISSAT = true; FITOPT.SAT = false; return kNoValue; }},
    {"ISNULL", [](const OptionContext&) { FITOPT.ISNULL = true; FITOPT.NU = false; return kNoValue; }},
    {"IGNORE", [](const OptionContext&) { FESTAT.MACHOUT = false; return kNoValue; }},
    {"PO", [](const OptionContext&) { po_option(); return kValueRead; }},
    {"DF", df_adjustment},
    {"PS", [](const OptionContext&) { FITOPT.PS = number(); return kValueRead; }},
    {"SE", standard_errors},
    {"SU", group_flag<igcol::kSuppress>},
    {"MU", [](const OptionContext&) { MAINPR.MUREQ = true; return kNoValue; }},
    {"JI", [](const OptionContext&) { FITOPT.JI = true; return kNoValue; }},
    {"SAMECOV", group_flag<igcol::kSameCov>},
    {"SAMEMEA", group_flag<igcol::kSameMeans>},
    {"SAMEWEI", group_flag<igcol::kSameWeights>},
    {"SA", same_misunderstood},
};

bool matches(const OptionWord& o, const OptionContext& x) {
  if (o.match == Match::kPaddedLine)
    return std::string_view(LINBUF.LINE).substr(CURSOR.ICOL - 1, o.word.size()) == o.word;
  return x.begins(o.word) && (o.unless.empty() || !x.begins(o.unless));
}

// Acts on the option word at the cursor; an unknown word is passed over.
// Returns true when a value was read, so that the cursor may already stand
// on the next word.
bool option_word() {
  const GroupView G = current_group();
  const bool cont = MAINPR.CONTJOB;
  const OptionContext x{line_from(CURSOR.ICOL), G, cont, cont && !MAINPR.GRPSEL};
  for (const OptionWord& o : kOptionWords)
    if (matches(o, x)) return o.act(x);
  return kNoValue;
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
    m.MUREQ = false;
    m.MULFIT = 0;
  } else {
    FITOPT.OPSEEN = true;
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
