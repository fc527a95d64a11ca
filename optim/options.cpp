// Optimizer option lines, defaults and the Parameters table.
#include "optim/options.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "optkern/machine.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::optim {

using namespace optkern;
using runtime::feq;
using runtime::fpad;
using runtime::Out;

const std::array<std::string_view, 43> kNpMainDict = {
    "BEGIN",      "CENTRAL",  "COLD",        "CONDITION",        "CONSTRAINTS",      "CRASH",     "DEBUG",
    "DEFAULTS",   "DERIVATIVE", "DIFFERENCE", "END",             "FEASIBILITY",      "FUNCTION",  "HESSIAN",
    "HOT",        "INFINITE", "IPRMLS",      "ITERATIONS",       "ITERS:ITERATIONS", "ITNS :ITERATIONS",
    "LINEAR",     "LINESEARCH", "LIST",      "LOAD",             "LOWER",            "MAJOR",     "MINOR",
    "NOLIST",     "NONLINEAR", "OPTIMALITY", "PRINT",            "PROBLEM",          "ROW",       "RPRMLS",
    "SAVE",       "START",    "STEP",        "STOP",             "SUMMARY",          "UPPER",     "VARIABLES",
    "VERIFY",     "WARM",
};

const std::array<std::string_view, 22> kNpSecondDict = {
    "BOUND",     "CONSTRAINTS", "DEBUG",  "FEASIBILITY",      "FILE",   "FREQUENCY", "GRADIENTS", "ITERATIONS",
    "ITERS:ITERATIONS", "ITNS :ITERATIONS", "JACOBIAN", "LEVEL", "NO", "NO.      :NUMBER", "NUMBER", "OBJECTIVE",
    "PRINT",     "RUN",         "STEP",   "TOLERANCE",        "VARIABLES", "YES",
};

const std::array<std::string_view, 28> kLsMainDict = {
    "BEGIN",  "COLD",   "CONSTRAINTS",      "CRASH",  "DEBUG",      "DEFAULTS", "END",     "FEASIBILITY",
    "HOT",    "INFINITE", "IPRMLS",         "ITERATIONS", "ITERS:ITERATIONS", "ITNS :ITERATIONS", "LINEAR",
    "LIST",   "LOWER",  "NOLIST",           "OPTIMALITY", "PRINT",      "PROBLEM",  "RANK",    "RPRMLS",
    "START",  "SUMMARY", "UPPER",           "VARIABLES",  "WARM",
};

const std::array<std::string_view, 12> kLsSecondDict = {
    "BOUND", "CONSTRAINTS", "FILE", "LEVEL", "NO", "NO.      :NUMBER", "NUMBER", "PHASE", "STEP", "TOLERANCE",
    "TYPE",  "YES",
};

const std::array<std::string_view, 16> kLsTypeDict = {
    "FP",  "LEAST       :LS1", "LINEAR       :LP", "LP",  "LS          :LS1", "LS1", "LS2", "LS3",
    "LS4", "LSQ         :LS1", "QP          :QP2", "QP1", "QP2", "QP3",             "QP4", "QUADRATIC   :QP2",
};

namespace {

constexpr std::size_t kTokLen = 16;
constexpr std::size_t kLineLen = 72;

bool is_separator(char ch) { return ch == ' ' || ch == ',' || ch == ':' || ch == '=' || ch == '\t'; }

// Length of the first word of a 16-character key (up to the first blank).
std::size_t first_word_length(std::string_view key) {
  const std::size_t p = key.find(' ');
  return std::min(p == std::string_view::npos ? key.size() : p, kTokLen);
}

// Length of an entry's first word (up to a blank or the ':' of a synonym).
std::size_t entry_word_length(std::string_view entry) {
  const std::size_t p = entry.find_first_of(" :");
  return p == std::string_view::npos ? entry.size() : p;
}

// The entry's second word (after ':'), or empty.
std::string_view entry_second_word(std::string_view entry) {
  const std::size_t p = entry.find(':');
  if (p == std::string_view::npos) return {};
  std::string_view w = entry.substr(p + 1);
  while (!w.empty() && w.front() == ' ') w.remove_prefix(1);
  return runtime::trim_right(w);
}

// Reads a token with the real edit "(bn, e16.0)".  False when it cannot be
// read or gives no finite number.
bool read_real_token(const std::string& token, double& value) {
  double v = 0.0;
  const runtime::IoStat st = runtime::read_internal(token, "(bn, e16.0)", {v});
  if (st != runtime::IoStat::Ok || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// Reads a token with the integer edit "(bn, i16)": blanks are ignored, an
// optional sign, then digits; a blank field is 0.  False when it cannot be
// read; range is set false when the number lies outside the 32-bit range.
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

}  // namespace

void UPCASE(std::string& text) {
  for (char& ch : text)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
}

void TOKSCAN(std::string_view text, int& first, int& last, int& tokend) {
  const int len = static_cast<int>(text.size());
  if (last > len) last = len;
  if (first < 1) first = 1;
  auto sep_at = [&](int pos) { return is_separator(text[static_cast<std::size_t>(pos - 1)]); };
  int e = last;
  while (e >= first && sep_at(e)) --e;
  last = e;
  int p = first;
  while (p <= e && sep_at(p)) ++p;
  if (p > e) {
    tokend = 0;
    return;
  }
  first = p;
  int q = p;
  while (q < e && !sep_at(q + 1)) ++q;
  tokend = q;
}

void TOKSPLT(std::string_view line, int& max, std::span<std::string> tokens) {
  const int len = static_cast<int>(line.size());
  const int limit = std::min<int>(max, static_cast<int>(tokens.size()));
  int count = 0;
  int first = 1;
  while (count < limit && first <= len) {
    int last = len;
    int tokend = 0;
    TOKSCAN(line, first, last, tokend);
    if (tokend == 0) break;
    std::string tok = fpad(line.substr(static_cast<std::size_t>(first - 1),
                                       static_cast<std::size_t>(tokend - first + 1)),
                           kTokLen);
    UPCASE(tok);
    tokens[static_cast<std::size_t>(count)] = tok;
    ++count;
    first = tokend + 1;
  }
  for (int i = count; i < limit; ++i) tokens[static_cast<std::size_t>(i)] = std::string(kTokLen, ' ');
  max = count;
}

bool NUMTOK(std::string_view token) {
  const std::size_t blank = token.find(' ');
  const std::string_view t = token.substr(0, blank);
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

void DICTLK(int n, std::span<const std::string_view> dict, bool sorted, std::string& key, int& index) {
  index = 0;
  n = std::min<int>(n, static_cast<int>(dict.size()));
  std::string k = fpad(key, kTokLen);
  // A synonym restarts the lookup with its second word; a chain can be no
  // longer than the dictionary.
  for (int hops = 0; hops <= n; ++hops) {
    const std::size_t len = first_word_length(k);
    if (len == 0) return;  // a blank key matches nothing
    const std::string_view kw = std::string_view(k).substr(0, len);
    int found = 0;
    int second = 0;
    for (int i = 1; i <= n; ++i) {
      const std::string entry = fpad(dict[static_cast<std::size_t>(i - 1)], kTokLen);
      const std::string_view head = std::string_view(entry).substr(0, len);
      if (head == kw) {
        if (sorted) {
          found = i;
          break;
        }
        if (entry_word_length(entry) == len) {  // exact match ends the search
          found = i;
          second = 0;
          break;
        }
        if (found == 0) {
          found = i;
        } else if (second == 0) {
          second = i;
        }
      } else if (sorted && head > kw) {
        break;
      }
    }
    if (second != 0) {
      index = -second;
      return;
    }
    if (found == 0) return;
    const std::string_view entry = dict[static_cast<std::size_t>(found - 1)];
    const std::string_view syn = entry_second_word(entry);
    if (!syn.empty()) {
      k = fpad(syn, kTokLen);
      continue;
    }
    index = found;
    key = fpad(entry, kTokLen);
    return;
  }
}

namespace {

// An option line after the steps both parsers share: the tokens, the value
// and the first two keywords looked up in the parser's dictionaries.
struct OptionLine {
  int unit = 0;                     // message unit, 0 for none
  std::array<std::string, 10> tok;  // the tokens, upper-cased, 16 characters each
  double value = 0.0;               // the first numeric token after the keyword, 0 when none
  std::string vtoken;               // the token the value was read from
  std::string k1;                   // the keyword, expanded to its dictionary entry
  std::string k2;                   // the second keyword, expanded when found
  int loc2 = 0;                     // the second keyword's entry number, 0 when not found

  std::string_view kw() const { return runtime::trim_right(k1); }
  // The second keyword, empty when it is not in the dictionary.
  std::string_view k2w() const { return loc2 > 0 ? runtime::trim_right(k2) : std::string_view{}; }

  void message(std::string_view text, std::string_view what) const {
    if (unit > 0) runtime::write_fmt(unit, "(a, a)", {text, what});
  }
  // For keywords that need a second keyword: reports one that is not in the
  // dictionary.
  bool second_unknown() const {
    if (loc2 > 0) return false;
    message(" XXX  Second keyword not recognized:  ", tok[1]);
    return true;
  }
  // Integer slots take the value truncated toward zero; a value beyond the
  // 32-bit range is reported and the slot is left alone.
  void set_int(int& s) const {
    const double t = std::trunc(value);
    if (t < static_cast<double>(INT_MIN) || t > static_cast<double>(INT_MAX)) {
      message(" XXX  Value out of integer range:     ", vtoken);
      return;
    }
    s = static_cast<int>(t);
  }
  void set_real(double& s) const { s = value; }
};

// The front of both parsers: strips the comment, splits the line into
// tokens, reads the value and looks the keyword up in main_dict and the second
// keyword in second_dict.  key returns the first keyword, expanded when found.
// False when the line sets nothing: no significant characters, a first word
// the option routine acts on itself (blank, BEGIN, LIST, NOLIST, END), a value
// that cannot be read or a keyword not in the dictionary (the last two with a
// message).
bool parse_option_line(int unit, std::string_view line, std::span<const std::string_view> main_dict,
                       std::span<const std::string_view> second_dict, std::string& key, OptionLine& p) {
  p.unit = unit;
  key = std::string(kTokLen, ' ');

  // Everything from the first '*' on is a comment.
  const std::size_t star = line.find('*');
  const std::string_view sig = star == std::string_view::npos ? line : line.substr(0, star);
  if (runtime::len_trim(sig) == 0) return false;

  int ntok = 10;
  TOKSPLT(sig, ntok, p.tok);
  key = p.tok[0];
  if (feq(key, "") || feq(key, "BEGIN") || feq(key, "LIST") || feq(key, "NOLIST") || feq(key, "END")) return false;

  // The value: the first numeric token after the keyword, 0 when none.
  for (std::size_t i = 1; i < p.tok.size(); ++i) {
    if (NUMTOK(p.tok[i])) {
      p.vtoken = p.tok[i];
      if (!read_real_token(p.vtoken, p.value)) {
        p.message(" XXX  Value cannot be read:          ", p.vtoken);
        return false;
      }
      break;
    }
  }

  p.k1 = key;
  p.k2 = p.tok[1];
  int loc1 = 0;
  DICTLK(static_cast<int>(main_dict.size()), main_dict, true, p.k1, loc1);
  DICTLK(static_cast<int>(second_dict.size()), second_dict, true, p.k2, p.loc2);
  if (loc1 <= 0) {
    p.message(" XXX  Keyword not recognized:         ", key);
    return false;
  }
  key = p.k1;
  return true;
}

// IPRMLS and RPRMLS: the value is the number of a QP-solver slot, and the
// slot's own value is the third token.
void set_qp_slot(const OptionLine& p, Npopts& o) {
  const double t = std::trunc(p.value);
  if (t < static_cast<double>(INT_MIN) || t > static_cast<double>(INT_MAX)) {
    p.message(" XXX  Value out of integer range:     ", p.vtoken);
    return;
  }
  const int idx = static_cast<int>(t);
  if (idx < 1 || idx > 30) {
    if (p.unit > 0) runtime::write_fmt(p.unit, "(a, i10)", {" XXX  The parm subscript is out of range:", idx});
    return;
  }
  if (p.kw() == "IPRMLS") {
    int iv = 0;
    bool in_range = true;
    if (!read_int_token(p.tok[2], iv, in_range)) {
      p.message(in_range ? " XXX  Value cannot be read:          " : " XXX  Value out of integer range:     ",
                p.tok[2]);
      return;
    }
    o.ils(idx) = iv;
  } else {
    double rv = 0.0;
    if (!read_real_token(p.tok[2], rv)) {
      p.message(" XXX  Value cannot be read:          ", p.tok[2]);
      return;
    }
    o.rls(idx) = rv;
  }
}

// The keywords both parsers act on alike.  False when kw is not one of them.
bool shared_action(const OptionLine& p, Npopts& o) {
  namespace sl = slot;
  const std::string_view kw = p.kw();
  const std::string_view k2w = p.k2w();
  if (kw == "COLD") {
    o.ils(sl::kStart) = 0;
  } else if (kw == "CONSTRAINTS") {
    p.set_int(o.inp(sl::kLinearConstraints));
  } else if (kw == "CRASH") {
    p.set_real(o.rls(sl::kCrashTol));
  } else if (kw == "HOT") {
    o.ils(sl::kStart) = 2;
  } else if (kw == "INFINITE") {
    if (p.second_unknown()) return true;
    if (k2w == "BOUND") o.rls(sl::kInfiniteBound) = p.value * static_cast<double>(0.99999f);
    if (k2w == "STEP") p.set_real(o.rls(sl::kInfiniteStep));
  } else if (kw == "IPRMLS" || kw == "RPRMLS") {
    set_qp_slot(p, o);
  } else if (kw == "LOWER") {
    p.set_real(o.rnp(sl::kLowerBound));
  } else if (kw == "SUMMARY") {
    p.set_int(o.ils(sl::kSummaryFile));
  } else if (kw == "UPPER") {
    p.set_real(o.rnp(sl::kUpperBound));
  } else if (kw == "VARIABLES") {
    p.set_int(o.inp(sl::kVariables));
  } else if (kw == "WARM") {
    o.ils(sl::kStart) = 1;
  } else {
    return false;
  }
  return true;
}

// The option routine's listing around its parser, the same for NPOPLN and
// LSOPLN.  routine_first is the routine's own first-call flag.
template <class State>
void take_option_line(State& st, bool& routine_first, void (*parse)(int, std::string_view, std::string&),
                      std::string_view line) {
  if (routine_first) {
    routine_first = false;
    MCHSET();
    st.nout = static_cast<int>(MCHTAB(11));
  }
  const std::string buffer = fpad(line, kLineLen);
  std::string key;

  if (st.newopt) {
    // The first line of a list: parsed with messages, then the heading and
    // the line unless it is NOLIST.
    st.newopt = false;
    parse(st.nout, buffer, key);
    st.listop = !feq(key, "NOLIST");
    if (st.listop) {
      runtime::write_fmt(st.nout, "(// a / a /)", {" Calls to Option Routine", " -----------------------"});
      runtime::write_fmt(st.nout, "( 6x, a )", {buffer});
    }
    return;
  }

  if (st.listop) runtime::write_fmt(st.nout, "( 6x, a )", {buffer});
  parse(st.listop ? st.nout : 0, buffer, key);
  if (feq(key, "LIST")) st.listop = true;
  if (feq(key, "NOLIST")) st.listop = false;
}

}  // namespace

void NPOPTL(int unit, std::string_view line, std::string& key) {
  Npostat& st = NPOSTAT;
  Npopts& o = NPOPTS;
  if (st.parser_first) {
    st.parser_first = false;
    o.unset_all();
  }
  OptionLine p;
  if (!parse_option_line(unit, line, kNpMainDict, kNpSecondDict, key, p)) return;
  if (shared_action(p, o)) return;

  namespace sl = slot;
  const std::string_view kw = p.kw();
  const std::string_view k2w = p.k2w();
  if (kw == "CENTRAL") {
    p.set_real(o.rnp(sl::kCentralInterval));
  } else if (kw == "CONDITION") {
    p.set_real(o.rnp(sl::kConditionBound));
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
  } else if (kw == "ITERATIONS") {
    p.set_int(o.inp(sl::kMajorIterations));
  } else if (kw == "LINEAR") {
    if (p.second_unknown()) return;
    if (k2w == "CONSTRAINTS") p.set_int(o.inp(sl::kLinearConstraints));
    if (k2w == "FEASIBILITY") p.set_real(o.rls(sl::kLinearFeasTol));
  } else if (kw == "LINESEARCH") {
    p.set_real(o.rnp(sl::kLinesearchTol));
  } else if (kw == "LOAD") {
    p.set_int(o.inp(sl::kLoadFile));
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
    if (p.second_unknown()) return;
    if (k2w == "FILE") p.set_int(o.ils(sl::kPrintFile));
    if (k2w == "LEVEL") p.set_int(o.inp(sl::kMajorPrintLevel));
  } else if (kw == "PROBLEM") {
    if (k2w == "NUMBER") p.set_int(o.inp(sl::kProblemNumber));
  } else if (kw == "ROW") {
    if (p.second_unknown()) return;
    if (k2w == "TOLERANCE") p.set_real(o.rnp(sl::kNonlinFeasTol));
  } else if (kw == "SAVE") {
    if (k2w == "RUN") p.set_int(o.inp(sl::kSaveRun));
    if (k2w == "FREQUENCY") p.set_int(o.inp(sl::kSaveFrequency));
  } else if (kw == "START") {
    if (p.second_unknown()) return;
    if (k2w == "CONSTRAINTS") p.set_int(o.inp(sl::kStartConCheck));
    if (k2w == "OBJECTIVE") p.set_int(o.inp(sl::kStartObjCheck));
  } else if (kw == "STEP") {
    p.set_real(o.rnp(sl::kStepLimit));
  } else if (kw == "STOP") {
    if (p.second_unknown()) return;
    if (k2w == "CONSTRAINTS") p.set_int(o.inp(sl::kStopConCheck));
    if (k2w == "OBJECTIVE") p.set_int(o.inp(sl::kStopObjCheck));
  } else if (kw == "VERIFY") {
    int& v = o.inp(sl::kVerifyLevel);
    if (p.loc2 <= 0) {
      v = 3;
    } else if (k2w == "OBJECTIVE") {
      v = 1;
    } else if (k2w == "CONSTRAINTS") {
      v = 2;
    } else if (k2w == "NO") {
      v = -1;
    } else if (k2w == "YES" || k2w == "GRADIENTS") {
      v = 3;
    } else if (k2w == "LEVEL") {
      p.set_int(v);
    }
  }
}

void NPOPLN(std::string_view line) { take_option_line(NPOSTAT, NPOSTAT.npopln_first, NPOPTL, line); }

void LSOPTL(int unit, std::string_view line, std::string& key) {
  Lsostat& st = LSOSTAT;
  Npopts& o = NPOPTS;
  if (st.parser_first) {
    st.parser_first = false;
    o.unset_qp();
  }
  OptionLine p;
  if (!parse_option_line(unit, line, kLsMainDict, kLsSecondDict, key, p)) return;
  if (shared_action(p, o)) return;

  namespace sl = slot;
  const std::string_view kw = p.kw();
  const std::string_view k2w = p.k2w();
  if (kw == "DEBUG") {
    p.set_int(o.ils(sl::kMinorDebugLevel));
  } else if (kw == "DEFAULTS") {
    o.unset_qp();
  } else if (kw == "FEASIBILITY") {
    if (p.second_unknown()) return;
    if (k2w == "PHASE") p.set_int(o.ils(sl::kFeasPhaseIterations));
    if (k2w == "TOLERANCE") p.set_real(o.rls(sl::kLinearFeasTol));
  } else if (kw == "ITERATIONS" || kw == "OPTIMALITY") {
    p.set_int(o.ils(sl::kMinorIterations));
  } else if (kw == "LINEAR") {
    p.set_int(o.inp(sl::kLinearConstraints));
  } else if (kw == "PRINT") {
    if (p.second_unknown()) return;
    if (k2w == "FILE") p.set_int(o.ils(sl::kPrintFile));
    if (k2w == "LEVEL") p.set_int(o.ils(sl::kMinorPrintLevel));
  } else if (kw == "PROBLEM") {
    if (k2w == "NUMBER") p.set_int(o.inp(sl::kProblemNumber));
    if (k2w == "TYPE") {
      std::string k3 = p.tok[2];
      int loc3 = 0;
      DICTLK(static_cast<int>(kLsTypeDict.size()), kLsTypeDict, true, k3, loc3);
      if (loc3 <= 0) {
        p.message(" XXX  Third  keyword not recognized:  ", p.tok[2]);
        return;
      }
      const std::string_view t3 = runtime::trim_right(k3);
      int type = 0;
      if (t3 == "FP") type = 1;
      if (t3 == "LP") type = 2;
      if (t3.size() == 3 && t3.substr(0, 2) == "QP") type = 3 + (t3[2] - '1');
      if (t3.size() == 3 && t3.substr(0, 2) == "LS") type = 7 + (t3[2] - '1');
      if (type > 0) o.ils(sl::kProblemType) = type;
    }
  } else if (kw == "RANK") {
    p.set_real(o.rls(sl::kRankTol));
  } else if (kw == "START") {
    p.set_int(o.ils(sl::kQpStartSlot));
  }
}

void LSOPLN(std::string_view line) { take_option_line(LSOSTAT, LSOSTAT.lsopln_first, LSOPTL, line); }

void write_parameters_table(int n, int nclin, int nnlcon, bool upper) {
  Npopts& o = NPOPTS;
  namespace sl = slot;
  const int nprint = o.ils(sl::kPrintFile);
  const double eps = wmach(3);
  const std::string_view words = upper ? "COLDWARMHOT " : "coldwarmhot ";
  const int start = std::clamp(o.ils(sl::kStart), 0, 2);
  const std::string_view cstart = words.substr(static_cast<std::size_t>(4 * start), 4);

  runtime::write_fmt(nprint, "(//' Parameters'/' ----------')");
  runtime::write_fmt(nprint,
                     "(/' Linear constraints.....',i10,6x,' Linear feasibility.....',1p,e10.2,6x,1x,a4,"
                     "' start.............'/' Variables..............',i10,6x,' Infinite bound size....',"
                     "1p,e10.2,6x,' Crash tolerance........',e10.2/' Step limit.............',1p,e10.2,6x,"
                     "' Infinite step size.....',e10.2)",
                     {nclin, o.rls(sl::kLinearFeasTol), cstart, n, o.rls(sl::kInfiniteBound), o.rls(sl::kCrashTol),
                      o.rnp(sl::kStepLimit), o.rls(sl::kInfiniteStep)});
  runtime::write_fmt(nprint,
                     "(/' Nonlinear constraints..',i10,6x,' Optimality tolerance...',1p,e10.2,6x,"
                     "' Function precision.....',e10.2/' Nonlinear Jacobian vars',i10,6x,"
                     "' Nonlinear feasibility..',1p,e10.2,6x,' eps (machine precision)',1p,e10.2/"
                     "' Nonlinear objectiv vars',i10,6x,' Linesearch tolerance...',1p,e10.2,6x,"
                     "' Print file.............',i10/' Derivative level.......',i10,6x,"
                     "' Verify level...........',i10,6x,' Summary file...........',i10)",
                     {nnlcon, o.rnp(sl::kOptimalityTol), o.rnp(sl::kFunctionPrecision), o.inp(sl::kNonlinJacVars),
                      o.rnp(sl::kNonlinFeasTol), eps, o.inp(sl::kNonlinObjVars), o.rnp(sl::kLinesearchTol), nprint,
                      o.inp(sl::kDerivativeLevel), o.inp(sl::kVerifyLevel), o.ils(sl::kSummaryFile)});
  runtime::write_fmt(nprint,
                     "(/' Major iterations limit.',i10,6x,' Major print level......',i10/"
                     "' Minor iterations limit.',i10,6x,' Minor print level......',i10/"
                     "' RUN loaded from file...',i10,6x,' RUN to be saved on file',i10,6x,"
                     "' Save frequency.........',i10)",
                     {o.inp(sl::kMajorIterations), o.inp(sl::kMajorPrintLevel), o.ils(sl::kMinorIterations),
                      o.ils(sl::kMinorPrintLevel), o.inp(sl::kLoadFile), o.inp(sl::kSaveRun),
                      o.inp(sl::kSaveFrequency)});
  if (o.inp(sl::kDerivativeLevel) < 3) {
    if (o.dif_class == kDifComputed) {
      runtime::write_fmt(nprint, "(/' Difference intervals to be computed.')");
    } else if (o.dif_class == kDifFixed) {
      runtime::write_fmt(nprint, "(/' Difference interval....',1p,e10.2,6x,' Central diffce interval',e10.2)",
                         {o.rnp(sl::kDifferenceInterval), o.rnp(sl::kCentralInterval)});
    } else {
      runtime::write_fmt(nprint, "(/' User-supplied difference intervals.')");
    }
  }
}

void NPPRMS(int n, int nclin, int nnlcon, std::string_view title) {
  std::string key;
  NPOPTL(0, "*", key);  // the first-call reset of the slots has happened

  Npopts& o = NPOPTS;
  o.save();  // the slots as the lines left them, put back at the run's end
  namespace sl = slot;
  const double eps = wmach(3);
  const int nout = static_cast<int>(wmach(11));
  const double big = 9.9999e19;

  // Print and summary files.
  int& nprint = o.ils(sl::kPrintFile);
  int& nsumm = o.ils(sl::kSummaryFile);
  if (nprint < 0) nprint = nout;
  if (nsumm < 0) nsumm = nout;
  if (nsumm == nprint) nsumm = 0;

  // Start; a hot start needs a load file.
  int& start = o.ils(sl::kStart);
  int& load = o.inp(sl::kLoadFile);
  if (start < 0 || start > 2) start = 0;
  if (start == 2 && load <= 0) start = 0;

  int& lvlder = o.inp(sl::kDerivativeLevel);
  if (lvlder < 0 || lvlder > 3) lvlder = 3;
  int& hess = o.inp(sl::kHessian);
  if (hess < 0 || hess > 1) hess = 0;

  // Iteration limits.
  int& itmax1 = o.inp(sl::kMajorIterations);
  int& itmax2 = o.ils(sl::kMinorIterations);
  if (itmax1 < 0) itmax1 = std::max(50, 3 * (n + nclin) + 10 * nnlcon);
  if (itmax2 <= 0) itmax2 = std::max(50, 3 * (n + nclin + nnlcon));

  // Debug settings.
  int& npdbg = o.inp(sl::kMajorDebugLevel);
  int& lsdbg = o.ils(sl::kMinorDebugLevel);
  int& ldbg = o.inp(sl::kDebugIteration);
  if (npdbg < 0) npdbg = 0;
  if (lsdbg < 0) lsdbg = 0;
  if (ldbg < 0 || ldbg > itmax1) ldbg = 0;
  if (npdbg == 0 && lsdbg == 0) ldbg = itmax1 + 1;

  // Print levels.
  int& msg1 = o.inp(sl::kMajorPrintLevel);
  int& msg2 = o.ils(sl::kMinorPrintLevel);
  if (msg1 == kUnsetInt) msg1 = 10;
  if (msg2 == kUnsetInt) msg2 = 0;

  // Derivative check ranges.
  int& jvrfy2 = o.inp(sl::kStopObjCheck);
  int& jvrfy1 = o.inp(sl::kStartObjCheck);
  if (jvrfy2 < 1 || jvrfy2 > n) jvrfy2 = n;
  if (jvrfy1 < 1 || jvrfy1 > jvrfy2) jvrfy1 = 1;
  int& jvrfy4 = o.inp(sl::kStopConCheck);
  int& jvrfy3 = o.inp(sl::kStartConCheck);
  if (jvrfy4 < 1 || jvrfy4 > n) jvrfy4 = n;
  if (jvrfy3 < 1 || jvrfy3 > jvrfy4) jvrfy3 = 1;

  int& verify = o.inp(sl::kVerifyLevel);
  if (verify == kUnsetInt || verify > 13) verify = 0;

  // Save and load settings.
  int& save = o.inp(sl::kSaveRun);
  int& freq = o.inp(sl::kSaveFrequency);
  if (save < 0) save = 0;
  if (load < 0) load = 0;
  if (start == 0 || start == 1) load = 0;
  if (freq <= 0 || save <= 0) freq = itmax1 + 1;

  // Tolerances.
  auto outside = [](double v, double a, double b) { return v < a || v >= b; };
  double& tolfea = o.rls(sl::kLinearFeasTol);
  if (outside(tolfea, eps, 1.0)) tolfea = std::sqrt(eps);
  double& tolnlf = o.rnp(sl::kNonlinFeasTol);
  if (outside(tolnlf, eps, 1.0)) tolnlf = (lvlder >= 2) ? std::sqrt(eps) : std::pow(eps, 0.33);
  double& bigbnd = o.rls(sl::kInfiniteBound);
  if (bigbnd <= 0.0) bigbnd = big;
  double& bigdx = o.rls(sl::kInfiniteStep);
  if (bigdx <= 0.0) bigdx = std::max(bigbnd, big);
  double& tolcrash = o.rls(sl::kCrashTol);
  if (outside(tolcrash, 0.0, 1.0)) tolcrash = 0.01;
  double& steplim = o.rnp(sl::kStepLimit);
  if (steplim <= 0.0) steplim = 2.0;
  double& fprec = o.rnp(sl::kFunctionPrecision);
  if (outside(fprec, eps, 1.0)) fprec = std::pow(eps, 0.9);
  double& lstol = o.rnp(sl::kLinesearchTol);
  if (outside(lstol, 0.0, 1.0)) lstol = 0.9;

  // Difference intervals.
  const double fdint = o.rnp(sl::kDifferenceInterval);
  double& cdint = o.rnp(sl::kCentralInterval);
  if (fdint >= eps && fdint < 1.0) {
    o.dif_class = kDifFixed;
    if (outside(cdint, eps, 1.0)) cdint = std::pow(fprec, 0.33);
  } else if (fdint < 0.0 && fdint != kUnsetReal) {
    o.dif_class = kDifUser;
  } else {
    o.dif_class = kDifComputed;
  }

  double& opttol = o.rnp(sl::kOptimalityTol);
  if (outside(opttol, fprec, 1.0)) opttol = std::pow(fprec, 0.8);
  double& hcndbd = o.rnp(sl::kConditionBound);
  if (hcndbd < 1.0) hcndbd = std::max(1.0e6, 1.0 / (100.0 * eps * n));

  o.inp(sl::kNonlinObjVars) = n;
  o.inp(sl::kNonlinJacVars) = n;
  o.inp(sl::kNonlinVars) = n;

  // The five lowest decimal digits of each debug level switch the traces.
  int a = npdbg, b = lsdbg;
  for (int i = 0; i < 5; ++i) {
    o.npdbg[static_cast<std::size_t>(i)] = a % 10;
    o.lsdbg[static_cast<std::size_t>(i)] = b % 10;
    a /= 10;
    b /= 10;
  }

  NPOSTAT.newopt = true;

  if (msg1 > 0) {
    // The title centred over a row of '=', one character per item.
    const std::string head = fpad(title, 40);
    const std::size_t lenT = head.size();
    const std::size_t nblank = (81 - lenT) / 2 + 1;
    const std::string line1 = std::string(nblank, ' ') + head;
    const std::string line2 = std::string(nblank, ' ') + std::string(lenT, '=');
    std::vector<Out> items1, items2;
    items1.reserve(line1.size());
    items2.reserve(line2.size());
    for (std::size_t i = 0; i < line1.size(); ++i) items1.emplace_back(std::string_view(line1).substr(i, 1));
    for (std::size_t i = 0; i < line2.size(); ++i) items2.emplace_back(std::string_view(line2).substr(i, 1));
    for (int unit : {nprint, nsumm}) {
      if (unit <= 0) continue;
      runtime::write_fmt(unit, "(///// (80a1) )", std::span<const Out>(items1));
      runtime::write_fmt(unit, "(80a1 //)", std::span<const Out>(items2));
    }
  }

  if (nprint > 0 && (start == 0 || start == 1) && msg1 > 0) write_parameters_table(n, nclin, nnlcon, false);
}

}  // namespace qv::optim
