// FORMAT interpreter: compiles a format text into a flat list of nodes and
// runs that list against the items of a write or a read.
//
// The editing rules, and the choices made where conventional formatted I/O
// leaves room, are listed in runtime/README.md ("FORMAT interpreter").

#include "runtime/format.hpp"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

namespace qv::runtime {

namespace {

enum class Op : unsigned char {
  Data,     // I F E D G L A: code, rep, w, d, e, m
  Lit,      // quoted literal or Hollerith text
  Skip,     // nX (w = n)
  Tab,      // Tn
  TabLeft,  // TLn
  TabRight, // TRn
  Slash,    // rep slashes
  Colon,
  Scale,    // kP (k)
  BlankNull,
  BlankZero,
  Open,     // group start: rep, partner = index of its Close
  Close,    // group end: partner = index of its Open
};

struct Node {
  Op op = Op::Data;
  char code = 0;  // upper-case descriptor letter for Data
  int rep = 1;
  int w = -1;     // -1: not given
  int d = -1;
  int e = -1;
  int m = -1;
  int k = 0;
  int partner = -1;
  std::string text;
};

// Default output width of an I descriptor written without a width.
constexpr int kDefaultIntWidth = 12;

}  // namespace

struct Format::Impl {
  std::string source;
  std::vector<Node> nodes;
  std::size_t revert = 0;        // node where reversion resumes
  bool has_data = false;         // any data descriptor at all
  bool revert_has_data = false;  // any data descriptor from revert to the end
};

namespace {

// ---------------------------------------------------------------------------
// Compilation

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  Format::Impl compile() {
    Format::Impl f;
    f.source = std::string(s_);
    skip_blanks();
    if (i_ >= s_.size()) fail("the format text is empty");
    if (s_[i_] != '(') fail("a format must begin with '('");
    ++i_;
    std::vector<std::size_t> top_groups;
    parse_list(f.nodes, 0, top_groups);
    // Anything after the closing parenthesis is ignored.
    for (const Node& n : f.nodes) {
      if (n.op == Op::Data) f.has_data = true;
    }
    f.revert = top_groups.empty() ? 0 : top_groups.back();
    for (std::size_t j = f.revert; j < f.nodes.size(); ++j) {
      if (f.nodes[j].op == Op::Data) f.revert_has_data = true;
    }
    return f;
  }

 private:
  std::string_view s_;
  std::size_t i_ = 0;

  [[noreturn]] void fail(const std::string& what) const {
    throw FormatError("format error: " + what + " at column " + std::to_string(i_ + 1) + " of \"" +
                      std::string(s_) + "\"");
  }

  void skip_blanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t')) ++i_;
  }

  // Next significant character (0 at the end), without consuming it.
  char peek() {
    skip_blanks();
    return i_ < s_.size() ? s_[i_] : '\0';
  }

  static char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
  static bool is_digit(char c) { return c >= '0' && c <= '9'; }

  // Unsigned number; blanks between its digits are ignored.
  int read_uint() {
    skip_blanks();
    if (i_ >= s_.size() || !is_digit(s_[i_])) fail("a number is expected");
    long v = 0;
    while (true) {
      skip_blanks();
      if (i_ >= s_.size() || !is_digit(s_[i_])) break;
      v = v * 10 + (s_[i_] - '0');
      if (v > 100000000) fail("number too large");
      ++i_;
    }
    return static_cast<int>(v);
  }

  bool digit_next() { return is_digit(peek()); }

  void parse_list(std::vector<Node>& out, int depth, std::vector<std::size_t>& top_groups) {
    bool expect_item = false;  // after a comma an item must follow
    bool any_item = false;
    while (true) {
      char c = peek();
      if (c == '\0') fail("missing ')'");
      if (c == ')') {
        if (expect_item) fail("a descriptor is expected before ')'");
        ++i_;
        return;
      }
      if (c == ',') {
        if (expect_item || !any_item) fail("a descriptor is expected before ','");
        ++i_;
        expect_item = true;
        continue;
      }
      parse_item(out, depth, top_groups);
      expect_item = false;
      any_item = true;
    }
  }

  void parse_literal(std::vector<Node>& out, char quote) {
    ++i_;  // opening quote
    Node n;
    n.op = Op::Lit;
    while (true) {
      if (i_ >= s_.size()) fail("unterminated quoted text");
      char c = s_[i_++];
      if (c == quote) {
        if (i_ < s_.size() && s_[i_] == quote) {
          n.text.push_back(quote);
          ++i_;
          continue;
        }
        break;
      }
      n.text.push_back(c);
    }
    out.push_back(std::move(n));
  }

  void parse_item(std::vector<Node>& out, int depth, std::vector<std::size_t>& top_groups) {
    char c = peek();
    if (c == '\'' || c == '"') {
      parse_literal(out, c);
      return;
    }
    if (c == ':') {
      ++i_;
      Node n;
      n.op = Op::Colon;
      out.push_back(n);
      return;
    }
    if (c == '/') {
      ++i_;
      Node n;
      n.op = Op::Slash;
      out.push_back(n);
      return;
    }
    if (c == '(') {
      parse_group(out, 1, depth, top_groups);
      return;
    }
    bool have_num = false;
    bool negative = false;
    bool signed_num = false;
    int num = 0;
    if (c == '+' || c == '-') {
      signed_num = true;
      negative = c == '-';
      ++i_;
      if (!digit_next()) fail("a number is expected after the sign");
    }
    if (digit_next()) {
      num = read_uint();
      have_num = true;
    }
    c = upper(peek());
    if (c == '\0') fail("missing ')'");
    if (c == 'P') {
      ++i_;
      if (!have_num) fail("a scale factor needs a number before P");
      Node n;
      n.op = Op::Scale;
      n.k = negative ? -num : num;
      out.push_back(n);
      return;
    }
    if (signed_num) fail("a sign is allowed only before P");
    if (have_num && num == 0) fail("a repeat count or count must be positive");
    switch (c) {
      case 'X': {
        ++i_;
        Node n;
        n.op = Op::Skip;
        n.w = have_num ? num : 1;
        out.push_back(n);
        return;
      }
      case 'H': {
        if (!have_num) fail("Hollerith text needs a count before H");
        ++i_;
        if (i_ + static_cast<std::size_t>(num) > s_.size()) fail("Hollerith text runs past the end");
        Node n;
        n.op = Op::Lit;
        n.text = std::string(s_.substr(i_, static_cast<std::size_t>(num)));
        i_ += static_cast<std::size_t>(num);
        out.push_back(std::move(n));
        return;
      }
      case '(':
        parse_group(out, have_num ? num : 1, depth, top_groups);
        return;
      case '/': {
        ++i_;
        Node n;
        n.op = Op::Slash;
        n.rep = have_num ? num : 1;
        out.push_back(n);
        return;
      }
      case 'T': {
        if (have_num) fail("T takes no repeat count");
        ++i_;
        Node n;
        n.op = Op::Tab;
        char t = upper(peek());
        if (t == 'L') {
          n.op = Op::TabLeft;
          ++i_;
        } else if (t == 'R') {
          n.op = Op::TabRight;
          ++i_;
        }
        if (!digit_next()) fail("T, TL and TR need a column count");
        n.w = read_uint();
        if (n.w == 0) fail("a tab count must be positive");
        out.push_back(n);
        return;
      }
      case 'B': {
        if (have_num) fail("BN and BZ take no repeat count");
        ++i_;
        char t = upper(peek());
        Node n;
        if (t == 'N') {
          n.op = Op::BlankNull;
        } else if (t == 'Z') {
          n.op = Op::BlankZero;
        } else {
          fail("BN or BZ expected");
        }
        ++i_;
        out.push_back(n);
        return;
      }
      case 'I':
      case 'F':
      case 'E':
      case 'D':
      case 'G':
      case 'L':
      case 'A':
        parse_data(out, c, have_num ? num : 1);
        return;
      default:
        fail(std::string("unknown descriptor '") + s_[i_] + "'");
    }
  }

  void parse_group(std::vector<Node>& out, int rep, int depth, std::vector<std::size_t>& top_groups) {
    ++i_;  // '('
    std::size_t open = out.size();
    if (depth == 0) top_groups.push_back(open);
    Node o;
    o.op = Op::Open;
    o.rep = rep;
    out.push_back(o);
    parse_list(out, depth + 1, top_groups);
    Node cl;
    cl.op = Op::Close;
    cl.partner = static_cast<int>(open);
    out[open].partner = static_cast<int>(out.size());
    out.push_back(cl);
  }

  void parse_data(std::vector<Node>& out, char code, int rep) {
    ++i_;  // letter
    Node n;
    n.op = Op::Data;
    n.code = code;
    n.rep = rep;
    if (digit_next()) {
      n.w = read_uint();
      if (n.w == 0) fail(std::string("a field width must be positive for ") + code);
    }
    if (code != 'A' && code != 'L' && peek() == '.') {
      ++i_;
      if (!digit_next()) fail("a number is expected after '.'");
      int v = read_uint();
      if (code == 'I') {
        n.m = v;
      } else {
        n.d = v;
      }
    }
    if ((code == 'E' || code == 'G') && n.d >= 0 && upper(peek()) == 'E') {
      std::size_t save = i_;
      ++i_;
      if (digit_next()) {
        n.e = read_uint();
        if (n.e == 0) fail("an exponent width must be positive");
      } else {
        i_ = save;
      }
    }
    if (n.w < 0 && code != 'I' && code != 'A') fail(std::string(1, code) + " needs a field width");
    if (code == 'I' && n.m >= 0 && n.w < 0) fail("Iw.m needs a width");
    if (code == 'I' && n.m > n.w) fail("in Iw.m the minimum digits exceed the width");
    if ((code == 'F' || code == 'E' || code == 'D' || code == 'G') && n.d < 0) n.d = 0;
    out.push_back(std::move(n));
  }
};

// ---------------------------------------------------------------------------
// Number editing for output

std::string stars(int w) { return std::string(static_cast<std::size_t>(w > 0 ? w : 0), '*'); }

std::string right_justify(const std::string& body, int w) {
  if (static_cast<int>(body.size()) > w) return stars(w);
  return std::string(static_cast<std::size_t>(w) - body.size(), ' ') + body;
}

// printf-style conversion of one double with a precision.
std::string cformat(const char* spec, int prec, double v) {
  int n = std::snprintf(nullptr, 0, spec, prec, v);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(s.data(), s.size(), spec, prec, v);
  s.resize(static_cast<std::size_t>(n));
  return s;
}

// NaN and infinities: "NaN", "Infinity"/"Inf" with a minus sign when negative.
std::string edit_special(double x, int w) {
  if (std::isnan(x)) return right_justify("NaN", w);
  std::string sign = x < 0 ? "-" : "";
  if (w >= static_cast<int>(sign.size()) + 8) return right_justify(sign + "Infinity", w);
  return right_justify(sign + "Inf", w);
}

std::string edit_int(long long v, int w, int m) {
  bool neg = v < 0;
  unsigned long long mag = neg ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  std::string digits = std::to_string(mag);
  if (m >= 0) {
    if (mag == 0 && m == 0) digits.clear();
    if (static_cast<int>(digits.size()) < m) digits.insert(0, static_cast<std::size_t>(m) - digits.size(), '0');
  }
  std::string body = (neg ? "-" : "") + digits;
  if (w < 0) w = kDefaultIntWidth;
  return right_justify(body, w);
}

bool any_nonzero_digit(const std::string& s) {
  for (char c : s) {
    if (c >= '1' && c <= '9') return true;
  }
  return false;
}

// Fw.d with scale factor k (the value is multiplied by 10**k).
std::string edit_f(double x, int w, int d, int k) {
  if (!std::isfinite(x)) return edit_special(x, w);
  double v = k != 0 ? x * std::pow(10.0, k) : x;
  if (!std::isfinite(v)) return stars(w);
  std::string s = cformat("%#.*f", d, std::fabs(v));  // "123.4560", "3."
  std::size_t dot = s.find('.');
  std::string ipart = s.substr(0, dot);
  std::string frac = s.substr(dot + 1);
  bool neg = std::signbit(v) && any_nonzero_digit(s);
  bool zero_int = ipart == "0";
  std::string body = neg ? "-" : "";
  // A zero before the point is optional, unless no digit would be left.
  bool zero_needed = zero_int && d == 0;
  if (!zero_int || zero_needed) body += ipart;
  body += "." + frac;
  if (zero_int && !zero_needed && static_cast<int>(body.size()) < w) {
    body.insert(neg ? 1 : 0, "0");
  }
  return right_justify(body, w);
}

// Ew.d, Ew.dEe and Dw.d with scale factor k; letter is 'E' or 'D'.
std::string edit_e(double x, int w, int d, int e, int k, char letter) {
  if (!std::isfinite(x)) return edit_special(x, w);
  if (k <= -d || k >= d + 2) return stars(w);  // no valid digit layout
  int p = k > 0 ? d + 1 : d + k;              // significant digits shown
  std::string s = cformat("%.*e", p - 1, std::fabs(x));  // "d.ddde+XX"
  std::size_t epos = s.find('e');
  std::string digits;
  for (std::size_t j = 0; j < epos; ++j) {
    if (s[j] != '.') digits.push_back(s[j]);
  }
  int x10 = std::atoi(s.c_str() + epos + 1);
  bool zero = x == 0.0;
  int expo = zero ? 0 : x10 + 1 - k;

  std::string mant;
  bool optional_zero = false;
  if (k <= 0) {
    mant = "." + std::string(static_cast<std::size_t>(-k), '0') + digits;
    optional_zero = true;
  } else {
    mant = digits.substr(0, static_cast<std::size_t>(k)) + "." + digits.substr(static_cast<std::size_t>(k));
  }

  int ae = expo < 0 ? -expo : expo;
  char esign = expo < 0 ? '-' : '+';
  std::string ex;
  if (e > 0) {
    std::string ed = std::to_string(ae);
    if (static_cast<int>(ed.size()) > e) return stars(w);
    ex = std::string(1, letter) + esign + std::string(static_cast<std::size_t>(e) - ed.size(), '0') + ed;
  } else if (ae <= 99) {
    ex = std::string(1, letter) + esign + (ae < 10 ? "0" : "") + std::to_string(ae);
  } else if (ae <= 999) {
    ex = std::string(1, esign) + std::to_string(ae);
  } else {
    return stars(w);
  }

  bool neg = std::signbit(x) && !zero;
  std::string body = (neg ? "-" : "") + mant + ex;
  if (optional_zero && static_cast<int>(body.size()) < w) body.insert(neg ? 1 : 0, "0");
  return right_justify(body, w);
}

// Gw.d and Gw.dEe for a real value.
std::string edit_g(double x, int w, int d, int e, int k) {
  if (!std::isfinite(x)) return edit_special(x, w);
  int n = e > 0 ? e + 2 : 4;  // trailing blanks of the F form
  int fw = w - n;
  auto f_form = [&](int decimals) {
    if (fw <= 0) return stars(w);
    std::string f = edit_f(x, fw, decimals, 0);
    if (f.find('*') != std::string::npos) return stars(w);
    return f + std::string(static_cast<std::size_t>(n), ' ');
  };
  if (d < 1) return edit_e(x, w, d, e, k, 'E');
  if (x == 0.0) return f_form(d - 1);
  std::string s = cformat("%.*e", d - 1, std::fabs(x));
  int x10 = std::atoi(s.c_str() + s.find('e') + 1);
  int digits_before = x10 + 1;  // of the value rounded to d significant digits
  if (digits_before >= 0 && digits_before <= d) return f_form(d - digits_before);
  return edit_e(x, w, d, e, k, 'E');
}

// ---------------------------------------------------------------------------
// Item cursors

struct OutElem {
  Out::Kind kind = Out::Kind::Int;  // Int, Real, Logical or Text
  long long i = 0;
  double r = 0.0;
  std::string_view s;
};

class OutCursor {
 public:
  explicit OutCursor(std::span<const Out> items) : items_(items) {}

  bool more() {
    while (i_ < items_.size()) {
      const Out& it = items_[i_];
      std::size_t n = it.kind() == Out::Kind::IntArray    ? it.ints().size()
                      : it.kind() == Out::Kind::RealArray ? it.reals().size()
                                                          : 1;
      if (j_ < n) return true;
      ++i_;
      j_ = 0;
    }
    return false;
  }

  OutElem next() {
    const Out& it = items_[i_];
    OutElem e;
    e.kind = it.kind();
    switch (it.kind()) {
      case Out::Kind::IntArray:
        e.kind = Out::Kind::Int;
        e.i = it.ints()[j_];
        break;
      case Out::Kind::RealArray:
        e.kind = Out::Kind::Real;
        e.r = it.reals()[j_];
        break;
      case Out::Kind::Int:
      case Out::Kind::Logical:
        e.i = it.int_value();
        break;
      case Out::Kind::Real:
        e.r = it.real_value();
        break;
      case Out::Kind::Text:
        e.s = it.text();
        break;
    }
    ++j_;
    return e;
  }

 private:
  std::span<const Out> items_;
  std::size_t i_ = 0;
  std::size_t j_ = 0;
};

struct InElem {
  In::Kind kind = In::Kind::Int;  // Int, Real, Logical or Text
  int* ip = nullptr;
  double* rp = nullptr;
  bool* bp = nullptr;
  std::string* sp = nullptr;
};

class InCursor {
 public:
  explicit InCursor(std::span<const In> items) : items_(items) {}

  bool more() {
    while (i_ < items_.size()) {
      const In& it = items_[i_];
      std::size_t n = it.kind() == In::Kind::IntArray    ? it.ints().size()
                      : it.kind() == In::Kind::RealArray ? it.reals().size()
                                                         : 1;
      if (j_ < n) return true;
      ++i_;
      j_ = 0;
    }
    return false;
  }

  InElem next() {
    const In& it = items_[i_];
    InElem e;
    e.kind = it.kind();
    switch (it.kind()) {
      case In::Kind::IntArray:
        e.kind = In::Kind::Int;
        e.ip = &it.ints()[j_];
        break;
      case In::Kind::RealArray:
        e.kind = In::Kind::Real;
        e.rp = &it.reals()[j_];
        break;
      case In::Kind::Int:
        e.ip = it.int_ptr();
        break;
      case In::Kind::Real:
        e.rp = it.real_ptr();
        break;
      case In::Kind::Logical:
        e.bp = it.logical_ptr();
        break;
      case In::Kind::Text:
        e.sp = it.text_ptr();
        break;
    }
    ++j_;
    return e;
  }

 private:
  std::span<const In> items_;
  std::size_t i_ = 0;
  std::size_t j_ = 0;
};

// ---------------------------------------------------------------------------
// The walk over the compiled nodes, shared by output and input.  The engine
// receives one call per data descriptor use and per control descriptor.

template <class Engine>
void run(const Format::Impl& f, Engine& eng) {
  if (eng.more() && !f.has_data) {
    throw FormatError("format error: no data descriptor for the items in \"" + f.source + "\"");
  }
  struct Frame {
    std::size_t open;
    int left;
  };
  std::vector<Frame> stack;
  const std::vector<Node>& n = f.nodes;
  std::size_t pc = 0;
  while (true) {
    if (pc == n.size()) {
      if (!eng.more()) return;
      if (!f.revert_has_data) {
        throw FormatError("format error: items remain but the repeated part of \"" + f.source +
                          "\" has no data descriptor");
      }
      eng.new_record();
      pc = f.revert;
      continue;
    }
    const Node& x = n[pc];
    switch (x.op) {
      case Op::Data:
        for (int r = 0; r < x.rep; ++r) {
          if (!eng.more()) return;
          eng.data(x);
        }
        ++pc;
        break;
      case Op::Colon:
        if (!eng.more()) return;
        ++pc;
        break;
      case Op::Open:
        stack.push_back({pc, x.rep});
        ++pc;
        break;
      case Op::Close:
        if (--stack.back().left > 0) {
          pc = stack.back().open + 1;
        } else {
          stack.pop_back();
          ++pc;
        }
        break;
      case Op::Slash:
        for (int r = 0; r < x.rep; ++r) eng.new_record();
        ++pc;
        break;
      case Op::Scale:
        eng.scale = x.k;
        ++pc;
        break;
      case Op::BlankNull:
        eng.blank_zero = false;
        ++pc;
        break;
      case Op::BlankZero:
        eng.blank_zero = true;
        ++pc;
        break;
      case Op::Lit:
        eng.literal(x.text);
        ++pc;
        break;
      case Op::Skip:
      case Op::TabRight:
        eng.pos += static_cast<std::size_t>(x.w);
        ++pc;
        break;
      case Op::TabLeft:
        eng.pos = eng.pos > static_cast<std::size_t>(x.w) ? eng.pos - static_cast<std::size_t>(x.w) : 0;
        ++pc;
        break;
      case Op::Tab:
        eng.pos = static_cast<std::size_t>(x.w) - 1;
        ++pc;
        break;
    }
  }
}

// ---------------------------------------------------------------------------
// Output

class Writer {
 public:
  Writer(std::span<const Out> items, const std::function<void(std::string_view)>& sink, Overflow overflow)
      : items_(items), sink_(sink), overflow_(overflow) {}

  int scale = 0;
  bool blank_zero = false;
  std::size_t pos = 0;  // column of the next character (0-based)

  bool more() { return items_.more(); }

  void new_record() {
    sink_(std::string_view(buf_).substr(0, end_));
    buf_.clear();
    end_ = 0;
    pos = 0;
  }

  void finish() { new_record(); }

  void literal(std::string_view t) { put(t); }

  void data(const Node& x) {
    OutElem v = items_.next();
    std::string t = edit(x, v);
    if (overflow_ == Overflow::Widen && overflowed(x, v, t)) t = widened(x, v);
    put(t);
  }

 private:
  OutCursor items_;
  const std::function<void(std::string_view)>& sink_;
  Overflow overflow_;

  // A number edited as asterisks only: its field was too narrow.
  static bool overflowed(const Node& x, const OutElem& v, const std::string& t) {
    if (v.kind != Out::Kind::Int && v.kind != Out::Kind::Real) return false;
    if (x.code != 'I' && x.code != 'F' && x.code != 'E' && x.code != 'D' && x.code != 'G') return false;
    return !t.empty() && t.find_first_not_of('*') == std::string::npos;
  }

  // The number in the narrowest field that holds it, with one blank before
  // it.  A value that no width can show (an exponent too long for its
  // digits, a real beyond the integers) keeps its asterisks.
  std::string widened(const Node& x, const OutElem& v) {
    Node wide = x;
    const int from = x.w < 0 ? kDefaultIntWidth : x.w;
    for (wide.w = from + 1; wide.w <= from + kMaxWidening; ++wide.w) {
      const std::string t = edit(wide, v);
      if (t.find('*') == std::string::npos) return " " + t;
    }
    return stars(from);
  }
  static constexpr int kMaxWidening = 400;
  std::string buf_;
  std::size_t end_ = 0;  // length of the record: one past the last character written

  // Characters skipped over by X or T and never written stay out of the
  // record when they are at its end, and are blanks otherwise.
  void put(std::string_view t) {
    if (buf_.size() < pos + t.size()) buf_.resize(pos + t.size(), ' ');
    buf_.replace(pos, t.size(), t);
    pos += t.size();
    if (pos > end_) end_ = pos;
  }

  [[noreturn]] static void mismatch(const Node& x, const char* what) {
    // A write has no status to return: the mismatch is reported like a bad
    // format, which the unit layer turns into its I/O error report.
    throw FormatError(std::string("format: ") + what + " item cannot be written with the " + x.code +
                      " descriptor");
  }

  static const char* kind_name(Out::Kind k) {
    switch (k) {
      case Out::Kind::Int:
        return "an integer";
      case Out::Kind::Real:
        return "a real";
      case Out::Kind::Logical:
        return "a logical";
      default:
        return "a text";
    }
  }

  std::string edit(const Node& x, const OutElem& v) {
    char code = x.code;
    if (code == 'G') {
      // G edits an integer as Iw, a logical as Lw and a text as Aw.
      if (v.kind == Out::Kind::Int) return edit_int(v.i, x.w, -1);
      if (v.kind == Out::Kind::Logical) code = 'L';
      if (v.kind == Out::Kind::Text) code = 'A';
    }
    switch (code) {
      case 'I':
        if (v.kind == Out::Kind::Int) return edit_int(v.i, x.w, x.m);
        if (v.kind == Out::Kind::Real) {
          int w = x.w < 0 ? kDefaultIntWidth : x.w;
          // A real under I is rounded to the nearest integer.
          if (!std::isfinite(v.r) || std::fabs(v.r) >= 9.2e18) return stars(w);
          return edit_int(std::llround(v.r), w, x.m);
        }
        mismatch(x, kind_name(v.kind));
      case 'F':
      case 'E':
      case 'D':
      case 'G': {
        double r;
        if (v.kind == Out::Kind::Real) {
          r = v.r;
        } else if (v.kind == Out::Kind::Int) {
          r = static_cast<double>(v.i);  // an integer under a real descriptor is converted
        } else {
          mismatch(x, kind_name(v.kind));
        }
        if (code == 'F') return edit_f(r, x.w, x.d, scale);
        if (code == 'G') return edit_g(r, x.w, x.d, x.e, scale);
        return edit_e(r, x.w, x.d, code == 'D' ? -1 : x.e, scale, code);
      }
      case 'L':
        if (v.kind != Out::Kind::Logical) mismatch(x, kind_name(v.kind));
        return std::string(static_cast<std::size_t>(x.w - 1), ' ') + (v.i != 0 ? 'T' : 'F');
      case 'A': {
        if (v.kind != Out::Kind::Text) mismatch(x, kind_name(v.kind));
        if (x.w < 0) return std::string(v.s);
        std::size_t w = static_cast<std::size_t>(x.w);
        if (v.s.size() >= w) return std::string(v.s.substr(0, w));
        return std::string(w - v.s.size(), ' ') + std::string(v.s);
      }
      default:
        mismatch(x, kind_name(v.kind));
    }
  }
};

// ---------------------------------------------------------------------------
// Input

struct EndOfInput {};

class Reader {
 public:
  Reader(std::span<const In> items, const std::function<bool(std::string&)>& next)
      : items_(items), next_(next) {}

  int scale = 0;
  bool blank_zero = false;  // blanks in numeric fields are ignored unless BZ
  std::size_t pos = 0;

  bool more() { return items_.more(); }

  void start() { new_record(); }

  void new_record() {
    rec_.clear();
    if (!next_(rec_)) throw EndOfInput{};
    pos = 0;
  }

  // Text on input is passed over.
  void literal(std::string_view t) { pos += t.size(); }

  void data(const Node& x) {
    InElem v = items_.next();
    char code = x.code;
    if (code == 'A' || (code == 'G' && v.kind == In::Kind::Text)) {
      read_a(x, v);
      return;
    }
    if (code == 'L' || (code == 'G' && v.kind == In::Kind::Logical)) {
      if (v.kind != In::Kind::Logical) mismatch(x);
      *v.bp = parse_logical(field(x.w));
      return;
    }
    if (code == 'I' || (code == 'G' && v.kind == In::Kind::Int)) {
      std::string f = x.w < 0 ? token() : field(x.w);
      long long n = parse_int(f);
      if (v.kind == In::Kind::Int) {
        if (n < INT_MIN || n > INT_MAX) bad(f, "integer out of range");
        *v.ip = static_cast<int>(n);
      } else if (v.kind == In::Kind::Real) {
        *v.rp = static_cast<double>(n);
      } else {
        mismatch(x);
      }
      return;
    }
    // F, E, D, G
    std::string f = field(x.w);
    if (v.kind == In::Kind::Real) {
      *v.rp = parse_real(f, x.d);
    } else if (v.kind == In::Kind::Int) {
      double r = parse_real(f, x.d);
      if (r != std::trunc(r) || r < INT_MIN || r > INT_MAX) bad(f, "not a whole number for an integer item");
      *v.ip = static_cast<int>(r);
    } else {
      mismatch(x);
    }
  }

 private:
  InCursor items_;
  const std::function<bool(std::string&)>& next_;
  std::string rec_;

  [[noreturn]] static void mismatch(const Node& x) {
    throw ConversionError(std::string("format: the item cannot be read with the ") + x.code + " descriptor");
  }

  [[noreturn]] static void bad(const std::string& f, const char* why) {
    throw ConversionError("format: cannot read \"" + f + "\": " + why);
  }

  // The next w characters of the record; a short record reads as blanks.
  std::string field(int w) {
    std::string f(static_cast<std::size_t>(w), ' ');
    if (pos < rec_.size()) {
      std::size_t n = std::min(static_cast<std::size_t>(w), rec_.size() - pos);
      f.replace(0, n, rec_, pos, n);
    }
    pos += static_cast<std::size_t>(w);
    return f;
  }

  // A blank-delimited token (for I without a width); a following comma is
  // passed over.  An empty rest of record gives an empty token.
  std::string token() {
    while (pos < rec_.size() && (rec_[pos] == ' ' || rec_[pos] == '\t')) ++pos;
    std::size_t b = pos;
    while (pos < rec_.size() && rec_[pos] != ' ' && rec_[pos] != '\t' && rec_[pos] != ',') ++pos;
    std::string t = rec_.substr(std::min(b, rec_.size()), pos - std::min(b, pos));
    if (pos < rec_.size() && rec_[pos] == ',') ++pos;
    return t;
  }

  // Field with blanks removed (BN) or non-leading blanks made zeros (BZ).
  std::string squeeze(const std::string& f) const {
    std::string t;
    for (char c : f) {
      if (c == ' ' || c == '\t') {
        if (blank_zero && !t.empty()) t.push_back('0');
      } else {
        t.push_back(c);
      }
    }
    return t;
  }

  long long parse_int(const std::string& f) const {
    std::string t = squeeze(f);
    if (t.empty()) return 0;
    std::size_t i = 0;
    bool neg = false;
    if (t[i] == '+' || t[i] == '-') neg = t[i++] == '-';
    if (i >= t.size()) bad(f, "no digits");
    long long v = 0;
    for (; i < t.size(); ++i) {
      if (t[i] < '0' || t[i] > '9') bad(f, "not an integer");
      if (v > (LLONG_MAX - 9) / 10) bad(f, "integer out of range");
      v = v * 10 + (t[i] - '0');
    }
    return neg ? -v : v;
  }

  double parse_real(const std::string& f, int d) const {
    std::string t = squeeze(f);
    if (t.empty()) return 0.0;
    std::size_t i = 0;
    bool neg = false;
    if (t[i] == '+' || t[i] == '-') neg = t[i++] == '-';
    std::string mant;
    int frac_digits = 0;
    bool point = false;
    auto is_digit = [&](std::size_t j) { return j < t.size() && t[j] >= '0' && t[j] <= '9'; };
    while (is_digit(i)) mant.push_back(t[i++]);
    if (i < t.size() && t[i] == '.') {
      point = true;
      ++i;
      while (is_digit(i)) {
        mant.push_back(t[i++]);
        ++frac_digits;
      }
    }
    if (mant.empty()) bad(f, "no digits");
    bool has_exp = false;
    long exp = 0;
    if (i < t.size()) {
      char c = t[i];
      if (c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q') {
        ++i;
        has_exp = true;
      } else if (c == '+' || c == '-') {
        has_exp = true;  // the "1.5+3" form
      } else {
        bad(f, "not a number");
      }
      bool eneg = false;
      if (i < t.size() && (t[i] == '+' || t[i] == '-')) eneg = t[i++] == '-';
      if (!is_digit(i)) bad(f, "exponent without digits");
      while (is_digit(i)) {
        if (exp < 100000) exp = exp * 10 + (t[i] - '0');
        ++i;
      }
      if (i != t.size()) bad(f, "not a number");
      if (eneg) exp = -exp;
    }
    long shift = exp - (point ? frac_digits : d) - (has_exp ? 0 : scale);
    std::string text = mant + "e" + std::to_string(shift);
    errno = 0;
    double r = std::strtod(text.c_str(), nullptr);
    if (std::isinf(r)) bad(f, "value out of range");
    return neg ? -r : r;
  }

  bool parse_logical(const std::string& f) const {
    std::size_t i = 0;
    while (i < f.size() && (f[i] == ' ' || f[i] == '\t')) ++i;
    if (i < f.size() && f[i] == '.') ++i;
    if (i < f.size()) {
      char c = static_cast<char>(std::toupper(static_cast<unsigned char>(f[i])));
      if (c == 'T') return true;
      if (c == 'F') return false;
    }
    bad(f, "not a logical value");
  }

  void read_a(const Node& x, const InElem& v) {
    if (v.kind != In::Kind::Text) mismatch(x);
    std::string& s = *v.sp;
    std::size_t len = s.size();
    if (x.w < 0) {
      s = field(static_cast<int>(len));
      return;
    }
    std::string f = field(x.w);
    std::size_t w = static_cast<std::size_t>(x.w);
    if (w >= len) {
      s = f.substr(w - len);
    } else {
      s = f + std::string(len - w, ' ');
    }
  }
};

}  // namespace

// ---------------------------------------------------------------------------

Format::Format(std::string_view text) : impl_(std::make_unique<Impl>(Parser(text).compile())) {}
Format::~Format() = default;
Format::Format(Format&&) noexcept = default;
Format& Format::operator=(Format&&) noexcept = default;

const Format& Format::cached(std::string_view text) {
  // The runtime's own cache of compiled formats, kept for the whole run.
  static std::map<std::string, std::unique_ptr<Format>, std::less<>> cache;
  auto it = cache.find(text);
  if (it != cache.end()) return *it->second;
  auto f = std::make_unique<Format>(text);
  const Format& ref = *f;
  cache.emplace(std::string(text), std::move(f));
  return ref;
}

void Format::write(std::span<const Out> items, const std::function<void(std::string_view)>& sink,
                   Overflow overflow) const {
  Writer w(items, sink, overflow);
  run(*impl_, w);
  w.finish();
}

IoStat Format::read(std::span<const In> items, const std::function<bool(std::string&)>& next_record) const {
  Reader r(items, next_record);
  try {
    r.start();
    run(*impl_, r);
  } catch (const EndOfInput&) {
    return IoStat::End;
  } catch (const ConversionError&) {
    return IoStat::Error;
  }
  return IoStat::Ok;
}

std::vector<std::string> format_records(std::string_view fmt, std::span<const Out> items, Overflow overflow) {
  std::vector<std::string> out;
  Format::cached(fmt).write(items, [&](std::string_view r) { out.emplace_back(r); }, overflow);
  return out;
}

}  // namespace qv::runtime
