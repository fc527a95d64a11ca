// The edition's option lines, defaults and Parameters table.
#include "optim_alt/options.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include "numlib/errexit.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/records.hpp"
#include "optim_alt/upcase.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::optim_alt {

using runtime::feq;
using runtime::fpad;

const std::array<std::string_view, 40> kE4MainKeys = {
    "BEGIN",      "CENTRAL",    "COLD",       "CONDITION",        "CONSTRAINTS",      "CRASH",
    "DEBUG",      "DEFAULTS",   "DERIVATIVE", "DIFFERENCE",       "END",              "FEASIBILITY",
    "FUNCTION",   "HESSIAN",    "HOT",        "INFINITE",         "IPRMLS",           "ITERATIONS",
    "ITERS:ITERATIONS",         "ITNS :ITERATIONS",               "LINEAR",           "LINESEARCH",
    "LIST",       "LOWER",      "MAJOR",      "MINOR",            "NOLIST",           "NONLINEAR",
    "OPTIMALITY", "PRINT",      "PROBLEM",    "ROW",              "RPRMLS",           "START",
    "STEP",       "STOP",       "UPPER",      "VARIABLES",        "VERIFY",           "WARM",
};

const std::array<std::string_view, 19> kE4SecondKeys = {
    "BOUND",    "CONSTRAINTS", "DEBUG",     "FEASIBILITY", "GRADIENTS", "ITERATIONS", "ITERS:ITERATIONS",
    "ITNS :ITERATIONS",        "JACOBIAN",  "LEVEL",       "NO",        "NO.      :NUMBER", "NUMBER",
    "OBJECTIVE", "PRINT",      "STEP",      "TOLERANCE",   "VARIABLES", "YES",
};

namespace {

constexpr std::size_t kTokLen = 16;
constexpr std::size_t kLineLen = 72;
constexpr std::size_t kRecLen = 80;

bool is_separator(char ch) {
  return ch == ' ' || ch == '(' || ch == ')' || ch == ',' || ch == ':' || ch == '=';
}

// The entry's first word (up to a blank or the ':' of a synonym).
std::string_view entry_word(std::string_view entry) {
  const std::size_t p = entry.find_first_of(" :");
  return p == std::string_view::npos ? entry : entry.substr(0, p);
}

// The long word of a synonym entry, empty for a plain entry.
std::string_view entry_synonym(std::string_view entry) {
  const std::size_t p = entry.find(':');
  if (p == std::string_view::npos) return {};
  std::string_view w = entry.substr(p + 1);
  while (!w.empty() && w.front() == ' ') w.remove_prefix(1);
  return runtime::trim_right(w);
}

// The entry a plain word names exactly (0 when none).
int exact_entry(std::span<const std::string_view> dict, int n, std::string_view word) {
  for (int i = 1; i <= n; ++i)
    if (entry_word(dict[static_cast<std::size_t>(i - 1)]) == word) return i;
  return 0;
}

// The entry a match leads to: a synonym leads to the entry of its long word.
int final_entry(std::span<const std::string_view> dict, int n, int i) {
  for (int hops = 0; hops <= n && i > 0; ++hops) {
    const std::string_view syn = entry_synonym(dict[static_cast<std::size_t>(i - 1)]);
    if (syn.empty()) return i;
    i = exact_entry(dict, n, syn);
  }
  return i;
}

// Reads a token with "(BN, E16.0)".  False when it cannot be read or gives no
// finite number.
bool read_real_token(const std::string& token, double& value) {
  double v = 0.0;
  const runtime::IoStat st = runtime::read_internal(token, "(bn, e16.0)", {v});
  if (st != runtime::IoStat::Ok || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// Reads a token with "(BN, I16)": blanks ignored, an optional sign, then
// digits; a blank token is 0.  False when it cannot be read; range is set
// false when the number lies outside the 32-bit range.
bool read_int_token(const std::string& token, int& value, bool& range) {
  range = true;
  std::string t;
  for (char ch : fpad(token, kTokLen))
    if (ch != ' ') t += ch;
  std::size_t p = 0;
  bool neg = false;
  if (p < t.size() && (t[p] == '+' || t[p] == '-')) {
    neg = t[p] == '-';
    ++p;
  }
  if (p == t.size() && p > 0) return false;  // a sign alone
  long long v = 0;
  for (; p < t.size(); ++p) {
    if (t[p] < '0' || t[p] > '9') return false;
    if (v <= 10'000'000'000LL) v = v * 10 + (t[p] - '0');
  }
  if (neg) v = -v;
  if (v < INT_MIN || v > INT_MAX) {
    range = false;
    return false;
  }
  value = static_cast<int>(v);
  return true;
}

// One message record of the parser: the text and the token as split.
void parser_message(int unit, std::string_view text, std::string_view token) {
  if (unit <= 0) return;
  std::string rec(text);
  rec += token;
  numlib::WRTREC(unit, fpad(rec, kRecLen));
}

// A parsed line: the tokens, the value and the two keywords.
struct Line {
  int unit = 0;
  std::array<std::string, 10> tok;
  double value = 0.0;
  std::string vtoken;  // the token the value was read from
  std::string k1, k2;  // the keywords, expanded when found
  int loc2 = 0;        // the second keyword's entry, 0 not found, -1 ambiguous

  std::string_view kw() const { return runtime::trim_right(k1); }
  std::string_view k2w() const { return loc2 > 0 ? runtime::trim_right(k2) : std::string_view{}; }

  // Keywords whose second keyword must be in the table: one that is not
  // gives a message; an ambiguous one sets nothing silently.
  bool second_unknown() const {
    if (loc2 > 0) return false;
    if (loc2 == 0) parser_message(unit, " XXX  Second keyword not recognized:  ", tok[1]);
    return true;
  }
  // An integer slot takes the value truncated toward zero; a value beyond
  // the 32-bit range is reported and the slot is left alone.
  void set_int(int& s) const {
    const double t = std::trunc(value);
    if (t < static_cast<double>(INT_MIN) || t > static_cast<double>(INT_MAX)) {
      parser_message(unit, " XXX  Value out of integer range:     ", vtoken);
      return;
    }
    s = static_cast<int>(t);
  }
  void set_real(double& s) const { s = value; }
};

// IPRMLS and RPRMLS: the value numbers a QP-solver slot, whose own value is
// the third token.
void set_qp_slot(const Line& p, optim::Npopts& o) {
  const double t = std::trunc(p.value);
  if (t < static_cast<double>(INT_MIN) || t > static_cast<double>(INT_MAX)) {
    parser_message(p.unit, " XXX  Value out of integer range:     ", p.vtoken);
    return;
  }
  const int k = static_cast<int>(t);
  if (k < 1 || k > 30) {
    if (p.unit > 0) put_records(p.unit, "(a, i10)", {" XXX  The PARM subscript is out of range:", k});
    return;
  }
  if (p.kw() == "IPRMLS") {
    int iv = 0;
    bool in_range = true;
    if (!read_int_token(p.tok[2], iv, in_range)) {
      parser_message(p.unit, in_range ? " XXX  Value cannot be read:          " : " XXX  Value out of integer range:     ",
                     p.tok[2]);
      return;
    }
    o.ils(k) = iv;
  } else {
    double rv = 0.0;
    if (!read_real_token(p.tok[2], rv)) {
      parser_message(p.unit, " XXX  Value cannot be read:          ", p.tok[2]);
      return;
    }
    o.rls(k) = rv;
  }
}

// The actions of the keywords.
void act(const Line& p, optim::Npopts& o) {
  namespace sl = optim::slot;
  const std::string_view kw = p.kw();
  const std::string_view k2w = p.k2w();
  if (kw == "CENTRAL") {
    p.set_real(o.rnp(sl::kCentralInterval));
  } else if (kw == "COLD") {
    o.ils(sl::kStart) = 0;
  } else if (kw == "WARM") {
    o.ils(sl::kStart) = 1;
  } else if (kw == "HOT") {
    o.ils(sl::kStart) = 2;
  } else if (kw == "CONDITION") {
    p.set_real(o.rnp(sl::kConditionBound));
  } else if (kw == "CONSTRAINTS") {
    p.set_int(o.inp(sl::kLinearConstraints));
  } else if (kw == "CRASH") {
    p.set_real(o.rls(sl::kCrashTol));
  } else if (kw == "DEBUG") {
    p.set_int(o.inp(sl::kDebugIteration));
  } else if (kw == "DEFAULTS") {
    o.unset_all();
  } else if (kw == "DERIVATIVE") {
    p.set_int(o.inp(sl::kDerivativeLevel));
  } else if (kw == "DIFFERENCE") {
    p.set_real(o.rnp(sl::kDifferenceInterval));
  } else if (kw == "FEASIBILITY") {
    p.set_real(o.rls(sl::kLinearFeasTol));
    p.set_real(o.rnp(sl::kNonlinFeasTol));
  } else if (kw == "FUNCTION") {
    p.set_real(o.rnp(sl::kFunctionPrecision));
  } else if (kw == "HESSIAN") {
    o.inp(sl::kHessian) = (k2w == "NO") ? 0 : 1;
  } else if (kw == "INFINITE") {
    if (p.second_unknown()) return;
    if (k2w == "BOUND") o.rls(sl::kInfiniteBound) = p.value * 0.99999;
    if (k2w == "STEP") p.set_real(o.rls(sl::kInfiniteStep));
  } else if (kw == "IPRMLS" || kw == "RPRMLS") {
    set_qp_slot(p, o);
  } else if (kw == "ITERATIONS") {
    p.set_int(o.inp(sl::kMajorIterations));
  } else if (kw == "LINEAR") {
    if (p.second_unknown()) return;
    if (k2w == "CONSTRAINTS") p.set_int(o.inp(sl::kLinearConstraints));
    if (k2w == "FEASIBILITY") p.set_real(o.rls(sl::kLinearFeasTol));
  } else if (kw == "LINESEARCH") {
    p.set_real(o.rnp(sl::kLinesearchTol));
  } else if (kw == "LOWER") {
    p.set_real(o.rnp(sl::kLowerBound));
  } else if (kw == "UPPER") {
    p.set_real(o.rnp(sl::kUpperBound));
  } else if (kw == "MAJOR") {
    if (p.second_unknown()) return;
    if (k2w == "DEBUG") p.set_int(o.inp(sl::kMajorDebugLevel));
    if (k2w == "ITERATIONS") p.set_int(o.inp(sl::kMajorIterations));
    if (k2w == "PRINT") p.set_int(o.inp(sl::kMajorPrintLevel));
  } else if (kw == "MINOR") {
    if (p.second_unknown()) return;
    if (k2w == "DEBUG") p.set_int(o.ils(sl::kMinorDebugLevel));
    if (k2w == "ITERATIONS") p.set_int(o.ils(sl::kMinorIterations));
    if (k2w == "PRINT") p.set_int(o.ils(sl::kMinorPrintLevel));
  } else if (kw == "NONLINEAR") {
    if (p.second_unknown()) return;
    if (k2w == "CONSTRAINTS") p.set_int(o.inp(sl::kNonlinConstraints));
    if (k2w == "FEASIBILITY") p.set_real(o.rnp(sl::kNonlinFeasTol));
    if (k2w == "JACOBIAN") p.set_int(o.inp(sl::kNonlinJacVars));
    if (k2w == "OBJECTIVE") p.set_int(o.inp(sl::kNonlinObjVars));
    if (k2w == "VARIABLES") p.set_int(o.inp(sl::kNonlinVars));
  } else if (kw == "OPTIMALITY") {
    p.set_real(o.rnp(sl::kOptimalityTol));
  } else if (kw == "PRINT") {
    p.set_int(o.inp(sl::kMajorPrintLevel));
  } else if (kw == "PROBLEM") {
    if (k2w == "NUMBER") p.set_int(o.inp(sl::kProblemNumber));
  } else if (kw == "ROW") {
    if (p.second_unknown()) return;
    if (k2w == "TOLERANCE") p.set_real(o.rnp(sl::kNonlinFeasTol));
  } else if (kw == "START") {
    if (p.second_unknown()) return;
    if (k2w == "CONSTRAINTS") p.set_int(o.inp(sl::kStartConCheck));
    if (k2w == "OBJECTIVE") p.set_int(o.inp(sl::kStartObjCheck));
  } else if (kw == "STOP") {
    if (p.second_unknown()) return;
    if (k2w == "CONSTRAINTS") p.set_int(o.inp(sl::kStopConCheck));
    if (k2w == "OBJECTIVE") p.set_int(o.inp(sl::kStopObjCheck));
  } else if (kw == "STEP") {
    p.set_real(o.rnp(sl::kStepLimit));
  } else if (kw == "VARIABLES") {
    p.set_int(o.inp(sl::kVariables));
  } else if (kw == "VERIFY") {
    int& v = o.inp(sl::kVerifyLevel);
    if (k2w == "OBJECTIVE") {
      v = 1;
    } else if (k2w == "CONSTRAINTS") {
      v = 2;
    } else if (k2w == "NO") {
      v = -1;
    } else if (k2w == "LEVEL") {
      p.set_int(v);
    } else {
      v = 3;  // YES, GRADIENTS, none, or one not in the table
    }
  }
}

}  // namespace

void E4TOKS(std::string_view line, int& max, std::span<std::string> tokens) {
  const int limit = std::min<int>(max, static_cast<int>(tokens.size()));
  int count = 0;
  std::size_t p = 0;
  while (count < limit) {
    while (p < line.size() && is_separator(line[p])) ++p;
    if (p >= line.size()) break;
    std::size_t q = p;
    while (q < line.size() && !is_separator(line[q])) ++q;
    std::string tok = fpad(line.substr(p, std::min(q - p, kTokLen)), kTokLen);
    E4UPCS(tok);
    tokens[static_cast<std::size_t>(count)] = tok;
    ++count;
    p = q;
  }
  for (int i = count; i < limit; ++i) tokens[static_cast<std::size_t>(i)] = std::string(kTokLen, ' ');
  max = count;
}

bool E4ISNM(std::string_view token) {
  const std::string_view t = token.substr(0, token.find(' '));
  int digits = 0, exps = 0, minus = 0, plus = 0, points = 0;
  for (char ch : t) {
    if (ch >= '0' && ch <= '9') {
      ++digits;
    } else if (ch == 'D' || ch == 'E') {
      ++exps;
    } else if (ch == '-') {
      ++minus;
    } else if (ch == '+') {
      ++plus;
    } else if (ch == '.') {
      ++points;
    } else {
      return false;
    }
  }
  return digits >= 1 && exps <= 1 && minus <= 2 && plus <= 2 && points <= 1;
}

void E4KEYL(int n, std::span<const std::string_view> dict, std::string& key, int& index) {
  index = 0;
  n = std::min<int>(n, static_cast<int>(dict.size()));
  const std::string k = fpad(key, kTokLen);
  const std::string_view kw = runtime::trim_right(k);
  if (kw.empty()) return;  // a blank key matches nothing
  int found = 0;
  bool ambiguous = false;
  for (int i = 1; i <= n; ++i) {
    const std::string entry = fpad(dict[static_cast<std::size_t>(i - 1)], kTokLen);
    if (std::string_view(entry).substr(0, kw.size()) != kw) continue;
    const int target = final_entry(dict, n, i);
    if (entry_word(entry) == kw) {  // an exact match wins
      found = target;
      ambiguous = false;
      break;
    }
    if (found == 0) {
      found = target;
    } else if (target != found) {
      ambiguous = true;
    }
  }
  if (ambiguous) {
    index = -1;
    return;
  }
  if (found <= 0) return;
  index = found;
  key = fpad(dict[static_cast<std::size_t>(found - 1)], kTokLen);
}

void E4OPTL(int unit, std::string_view line, std::string& key) {
  E4ostat& st = E4OSTAT;
  optim::Npopts& o = E4OPTS;
  if (st.parser_first) {
    st.parser_first = false;
    o.unset_all();
  }
  key = std::string(kTokLen, ' ');

  // Everything from the first '*' on is a comment.
  const std::size_t star = line.find('*');
  const std::string_view sig = star == std::string_view::npos ? line : line.substr(0, star);
  if (runtime::len_trim(sig) == 0) return;

  Line p;
  p.unit = unit;
  int ntok = 10;
  E4TOKS(sig, ntok, p.tok);
  key = p.tok[0];
  if (feq(key, "") || feq(key, "BEGIN") || feq(key, "LIST") || feq(key, "NOLIST") || feq(key, "END")) return;

  // The value: the first numeric token after the keyword, 0 when none.
  for (std::size_t i = 1; i < p.tok.size(); ++i) {
    if (!E4ISNM(p.tok[i])) continue;
    p.vtoken = p.tok[i];
    if (!read_real_token(p.vtoken, p.value)) {
      parser_message(unit, " XXX  Value cannot be read:          ", p.vtoken);
      return;
    }
    break;
  }

  p.k1 = key;
  p.k2 = p.tok[1];
  int loc1 = 0;
  E4KEYL(static_cast<int>(kE4MainKeys.size()), kE4MainKeys, p.k1, loc1);
  E4KEYL(static_cast<int>(kE4SecondKeys.size()), kE4SecondKeys, p.k2, p.loc2);
  if (loc1 < 0) {
    parser_message(unit, " XXX  Ambiguous keyword:              ", key);
    return;
  }
  if (loc1 == 0) {
    parser_message(unit, " XXX  Keyword not recognized:         ", key);
    return;
  }
  key = p.k1;
  // An ambiguous second keyword sets nothing, silently.
  if (p.loc2 < 0) return;
  act(p, o);
}

void E04UEF(std::string_view line) {
  E4ostat& st = E4OSTAT;
  const int nout = advisory_unit();
  const std::string buffer = fpad(line.substr(0, std::min(line.size(), kLineLen)), kLineLen);
  const std::string echo = "      " + buffer;
  std::string key;

  if (st.newopt) {
    // The first line of a listing: parsed with messages, then the heading
    // and the line unless it is NOLIST.
    st.newopt = false;
    st.listop = true;
    E4OPTL(nout, buffer, key);
    if (feq(key, "NOLIST")) {
      st.listop = false;
      return;
    }
    for (std::string_view rec : {" ", " ", " Calls to E04UEF", " ---------------", " "}) numlib::WRTREC(nout, rec);
    numlib::WRTREC(nout, echo);
    return;
  }

  if (st.listop) numlib::WRTREC(nout, echo);
  E4OPTL(st.listop ? nout : 0, buffer, key);
  if (feq(key, "LIST")) st.listop = true;
  if (feq(key, "NOLIST")) st.listop = false;
}

void E4BANR() {
  const int nout = advisory_unit();
  for (std::string_view rec : {" *** Numerical Library implementation ***", "     DEC VAX range (VAX/VMS)            ",
                               "     C++20 implementation, double precision   ",
                               "     (Implementation code QVNUM14D)    ", "     Level 14B                          "})
    numlib::WRTREC(nout, fpad(rec, kRecLen));
}

namespace {

// The Parameters table on unit nout, from the blocks with their defaults.
void write_parameters(int nout, int n, int nclin, int nnlcon) {
  const E4work& wk = E4WORK;
  const std::string_view words = "ColdWarmHot ";
  const std::string_view cstart = words.substr(static_cast<std::size_t>(4 * std::clamp(wk.start, 0, 2)), 4);
  for (std::string_view rec : {" ", " Parameters", " ----------"}) numlib::WRTREC(nout, rec);
  put_records(nout,
              "(/' Linear constraints.....',i10,7x,'Linear feasibility.....',1p,d10.2/"
              "' Variables..............',i10,7x,'Crash tolerance........',1p,d10.2)",
              {nclin, wk.tolfea, n, wk.tolact});
  put_records(nout,
              "(/' Infinite bound size....',1p,d10.2,7x,a4,' start.............'/"
              "' Infinite step size.....',1p,d10.2,7x,'EPS (machine precision)',1p,d10.2/"
              "' Step limit.............',1p,d10.2)",
              {wk.bigbnd, cstart, wk.bigdx, kEps, wk.dxlim});
  put_records(nout,
              "(/' Nonlinear constraints..',i10,7x,'Nonlinear feasibility..',1p,d10.2/"
              "' Nonlinear objectiv vars',i10,7x,'Optimality tolerance...',1p,d10.2/"
              "' Nonlinear Jacobian vars',i10,7x,'Linesearch tolerance...',1p,d10.2)",
              {nnlcon, wk.tolnlf, wk.nlnf, wk.ftol, wk.nlnj, wk.eta});
  put_records(nout,
              "(/' Derivative level.......',i10,7x,'Function precision.....',1p,d10.2/"
              "' Verify level...........',i10)",
              {wk.lvlder, wk.epsrf, wk.verify});
  put_records(nout,
              "(/' Major iterations limit.',i10,7x,'Major print level......',i10/"
              "' Minor iterations limit.',i10,7x,'Minor print level......',i10)",
              {wk.itmax1, wk.msglvl, wk.itmax2, wk.msgqp});
  if (wk.lvlder < 3) {
    if (wk.dif_class == optim::kDifComputed) {
      put_records(nout, "(/' Difference intervals to be computed.')");
    } else if (wk.dif_class == optim::kDifFixed) {
      put_records(nout, "(/' Difference interval....',1p,d10.2,7x,'Central diffce interval',1p,d10.2)",
                  {wk.fdint, wk.cdint});
    } else {
      put_records(nout, "(/' User-supplied difference intervals.')");
    }
  }
}

}  // namespace

void E4PRMS(int n, int nclin, int nnlcon, std::string_view title) {
  const int nout = advisory_unit();
  std::string key;
  E4OPTL(0, "*", key);  // every slot is initialised even without an E04UEF call

  optim::Npopts& o = E4OPTS;
  o.save();  // the blocks as the lines left them, put back at the run's end
  E4OSTAT.newopt = true;

  namespace sl = optim::slot;
  const double eps = kEps;
  const double big = 9.9999e9;

  int& start = o.ils(sl::kStart);
  if (start < 0 || start > 2) start = 0;
  // A hot start takes the working set and factors of an earlier run.
  if (start == 2 && !E4OSTAT.had_run) start = 1;
  int& lvlder = o.inp(sl::kDerivativeLevel);
  if (lvlder < 0 || lvlder > 3) lvlder = 3;
  int& hess = o.inp(sl::kHessian);
  if (hess < 0 || hess > 1) hess = 0;

  int& itmax1 = o.inp(sl::kMajorIterations);
  int& itmax2 = o.ils(sl::kMinorIterations);
  if (itmax1 < 0) itmax1 = std::max(50, 3 * (n + nclin) + 10 * nnlcon);
  if (itmax2 <= 0) itmax2 = std::max(50, 3 * (n + nclin + nnlcon));

  int& npdbg = o.inp(sl::kMajorDebugLevel);
  int& lsdbg = o.ils(sl::kMinorDebugLevel);
  int& ldbg = o.inp(sl::kDebugIteration);
  if (npdbg < 0) npdbg = 0;
  if (lsdbg < 0) lsdbg = 0;
  if (ldbg < 0 || ldbg > itmax1) ldbg = 0;
  if (npdbg == 0 && lsdbg == 0) ldbg = itmax1 + 1;

  int& msglvl = o.inp(sl::kMajorPrintLevel);
  int& msgqp = o.ils(sl::kMinorPrintLevel);
  if (msglvl == optim::kUnsetInt) msglvl = 10;
  if (msgqp == optim::kUnsetInt) msgqp = 0;

  o.inp(sl::kNonlinObjVars) = n;
  o.inp(sl::kNonlinJacVars) = n;
  o.inp(sl::kNonlinVars) = n;

  // Check ranges: a last variable of 0 stays 0 (no variable is checked).
  int& jobj2 = o.inp(sl::kStopObjCheck);
  int& jobj1 = o.inp(sl::kStartObjCheck);
  if (jobj2 < 0 || jobj2 > n) jobj2 = n;
  if (jobj1 < 0 || jobj1 > jobj2) jobj1 = 1;
  int& jcon2 = o.inp(sl::kStopConCheck);
  int& jcon1 = o.inp(sl::kStartConCheck);
  if (jcon2 < 0 || jcon2 > n) jcon2 = n;
  if (jcon1 < 0 || jcon1 > jcon2) jcon1 = 1;

  int& verify = o.inp(sl::kVerifyLevel);
  if (verify == optim::kUnsetInt || verify > 13) verify = 0;

  double& tolact = o.rls(sl::kCrashTol);
  if (tolact < 0.0) tolact = 0.01;
  double& tolfea = o.rls(sl::kLinearFeasTol);
  if (tolfea < eps) tolfea = std::sqrt(eps);
  double& epsrf = o.rnp(sl::kFunctionPrecision);
  if (epsrf < eps) epsrf = std::pow(eps, 0.9);

  // Difference intervals: 0, below eps or 1 and above are computed.
  const double fdint = o.rnp(sl::kDifferenceInterval);
  double& cdint = o.rnp(sl::kCentralInterval);
  if (fdint >= eps && fdint < 1.0) {
    o.dif_class = optim::kDifFixed;
    if (cdint < eps) cdint = std::pow(epsrf, 0.33);
  } else if (fdint < 0.0 && fdint != optim::kUnsetReal) {
    o.dif_class = optim::kDifUser;
  } else {
    o.dif_class = optim::kDifComputed;
  }

  double& bigbnd = o.rls(sl::kInfiniteBound);
  if (bigbnd <= 0.0) bigbnd = big;
  double& bigdx = o.rls(sl::kInfiniteStep);
  if (bigdx <= 0.0) bigdx = std::min(bigbnd, big);
  double& dxlim = o.rnp(sl::kStepLimit);
  if (dxlim <= 0.0) dxlim = 2.0;
  double& eta = o.rnp(sl::kLinesearchTol);
  if (eta < 0.0) eta = 0.9;
  double& ftol = o.rnp(sl::kOptimalityTol);
  if (ftol < epsrf) ftol = std::pow(epsrf, 0.8);
  double& hcndbd = o.rnp(sl::kConditionBound);
  if (hcndbd < 1.0) hcndbd = std::max(1.0e6, 1.0 / (100.0 * std::max(n, 1) * eps));
  double& tolnlf = o.rnp(sl::kNonlinFeasTol);
  if (tolnlf < eps || tolnlf >= 1.0) tolnlf = (lvlder == 0 || lvlder == 1) ? std::pow(eps, 0.33) : std::sqrt(eps);

  // The five lowest decimal digits of each debug level switch the traces.
  int a = npdbg, b = lsdbg;
  for (std::size_t i = 0; i < 5; ++i) {
    o.npdbg[i] = a % 10;
    o.lsdbg[i] = b % 10;
    a /= 10;
    b /= 10;
  }

  // The working cells of the run.
  E4work& wk = E4WORK;
  wk.nout = nout;
  wk.start = start;
  wk.lvlder = lvlder;
  wk.hess = hess;
  wk.itmax1 = itmax1;
  wk.itmax2 = itmax2;
  wk.msglvl = msglvl;
  wk.msgqp = msgqp;
  wk.ldbg = ldbg;
  wk.npdbg = npdbg;
  wk.lsdbg = lsdbg;
  wk.inpdbg = o.npdbg;
  wk.ilsdbg = o.lsdbg;
  wk.debug = false;
  wk.search_trace = false;
  wk.nlnf = n;
  wk.nlnj = n;
  wk.nlnx = n;
  wk.jobj1 = jobj1;
  wk.jobj2 = jobj2;
  wk.jcon1 = jcon1;
  wk.jcon2 = jcon2;
  wk.verify = verify;
  wk.dif_class = o.dif_class;
  wk.tolact = tolact;
  wk.tolfea = tolfea;
  wk.tolnlf = tolnlf;
  wk.epsrf = epsrf;
  wk.fdint = o.rnp(sl::kDifferenceInterval);
  wk.cdint = cdint;
  wk.bigbnd = bigbnd;
  wk.bigdx = bigdx;
  wk.dxlim = dxlim;
  wk.eta = eta;
  wk.ftol = ftol;
  wk.hcndbd = hcndbd;

  if (msglvl > 0) {
    numlib::WRTREC(nout, " ");
    numlib::WRTREC(nout, title);
    E4BANR();
    write_parameters(nout, n, nclin, nnlcon);
  }
}

}  // namespace qv::optim_alt
