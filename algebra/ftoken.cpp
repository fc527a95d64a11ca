#include "algebra/ftoken.hpp"

#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "runtime/stop.hpp"
#include "runtime/units.hpp"

namespace qv::algebra {

using jobbase::CURSOR;
using jobbase::ERRMSG;
using jobbase::LINBUF;
using runtime::kStdout;
using runtime::write_list;

namespace {

// Character in column col (1-based) of the current line; a blank outside it.
using jobbase::chr;

// The priority tables, built once.
struct Priorities {
  std::array<int, 201> in{};
  std::array<int, 201> st{};
  Priorities() {
    in.fill(-1);
    st.fill(-1);
    auto set = [&](int c, int i, int s) {
      in[static_cast<std::size_t>(c)] = i;
      st[static_cast<std::size_t>(c)] = s;
    };
    set(31, 44, 45);
    set(32, 44, 45);
    for (int c = 33; c <= 90; ++c) set(c, 70, 45);
    set(110, 70, 15);
    set(111, 50, 49);
    set(112, 40, 38);
    for (int c : {113, 114, 120, 123, 125}) set(c, 30, 31);
    set(115, 20, 21);
    set(116, 20, 21);
    set(117, 10, -1);
    set(118, 18, 19);
    set(119, 17, 18);
    set(122, 40, 39);
    set(124, 16, 17);
    for (int c : {126, 127, 128}) set(c, 11, 12);
    set(200, 10, 10);
  }
};
const Priorities& prio() {
  static const Priorities p;
  return p;
}

// End of the input inside a formula: named, then the "character not found" error.
[[noreturn]] void formula_eof() {
  write_list(kStdout, {" End of input inside a formula: could not find its / or ;"});
  ERRMSG(160);
}

bool is_dyadic(int code) {
  switch (code) {
    case 112: case 113: case 115: case 116: case 118: case 119: case 120: case 122: case 123: case 124:
      return true;
    default:
      return false;
  }
}

}  // namespace

int PRIIN(int code) { return (code >= 0 && code <= 200) ? prio().in[static_cast<std::size_t>(code)] : -1; }
int PRIST(int code) { return (code >= 0 && code <= 200) ? prio().st[static_cast<std::size_t>(code)] : -1; }

void FTOKEN(double& value, int& code, int& cls, std::string& text, int& length) {
  auto& c = CURSOR;
  auto& s = FTKSTA;
  value = 0.0;
  for (;;) {
    // Step 1: the next non-blank character, reading lines as needed.
    ++c.ICOL;
    if (c.ICOL > c.LLEN) {
      jobbase::RDLINE();
      if (c.ICOL == 0) formula_eof();
    }
    if (c.ICOL < 1) c.ICOL = 1;
    for (;;) {
      while (c.ICOL <= c.LLEN && chr(c.ICOL) == ' ') ++c.ICOL;
      if (c.ICOL <= c.LLEN) break;
      jobbase::RDLINE();
      if (c.ICOL == 0) formula_eof();
      if (c.ICOL < 1) c.ICOL = 1;
    }
    const int first = c.ICOL;
    const char ch = chr(first);

    // Step 2: the end of the formula.
    if (ch == '/' || ch == ';') {
      s.LETFLG = false;
      s.DYAFLG = false;
      jobbase::MAINPR.ECHOLN = true;
      s.PRVCOD = 0;
      code = 0;
      cls = 3;
      return;
    }

    // Step 3: a matrix letter.
    if (ch >= 'A' && ch <= 'Z') {
      if (s.LETFLG) ERRMSG(67);
      s.LETFLG = true;
      code = ch - 'A' + 1;
      cls = 1;
      s.PRVCOD = code;
      s.DYAFLG = false;
      text.assign(1, ch);
      length = 1;
      return;
    }

    // Step 4: operators, functions, inverse and transpose.
    s.LETFLG = false;
    const auto pos = OPCHRS.find(ch);
    if (pos == std::string_view::npos) {
      if (ch == '\'') {
        code = 32;
      } else if (ch == '~') {
        code = 31;
      } else {
        ERRMSG(58);
      }
      s.PRVCOD = code;
    } else if (ch == '\\') {
      code = 0;
      const std::string_view rest = std::string_view(LINBUF.LINE).substr(static_cast<std::size_t>(first));
      for (const auto& k : FNKEYS) {
        if (rest.substr(0, k.key.size()) == k.key) {
          code = k.code;
          c.ICOL = first + static_cast<int>(k.key.size());
          break;
        }
      }
      if (code == 0) ERRMSG(77);
      s.PRVCOD = code;
    } else if (ch == '-') {
      const int p = s.PRVCOD;
      if (p == 0 || (p >= 110 && p <= 116) || (p >= 118 && p <= 124) || p == 200) {
        code = 111;
        s.PRVCOD = 0;
      } else {
        code = 116;
        s.PRVCOD = 116;
      }
    } else if (ch == '+') {
      const int p = s.PRVCOD;
      if ((p >= 1 && p <= 100) || p == 117) {
        code = 115;
        s.PRVCOD = 115;
      } else {
        continue;  // a leading or unary plus gives no token
      }
    } else {
      code = 109 + static_cast<int>(pos) + 1;
      s.PRVCOD = (code == 110) ? 0 : code;
    }
    cls = 2;

    // Step 5: two dyadic operators in a row.
    if (is_dyadic(code)) {
      if (s.DYAFLG) ERRMSG(161);
      s.DYAFLG = true;
    } else {
      s.DYAFLG = false;
    }

    // Step 6: the token's text.
    length = c.ICOL - first + 1;
    text = std::string(LINBUF.LINE.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(length)));
    return;
  }
}

void POSTFIX(int& status, jobbase::Labtab& slots, int& slot) {
  auto& f = FMSTAK;
  status = 1;
  f.NOUT = 1;
  f.NOPS = 1;
  FTKSTA.PRVCOD = 0;
  int column = 1;
  int nleft = 0, nright = 0;
  jobbase::CHKLAB(slot);
  std::string cur(jobbase::kLabLen, ' ');
  slots.put(slot, cur);

  auto to_output = [&](int code) {
    if (f.NOUT > kFmStack) ERRMSG(64);
    f.val(f.NOUT) = code;
    ++f.NOUT;
  };
  auto file_text = [&](const std::string& text, int length) {
    const int L = jobbase::kLabLen;
    if (column + length <= L) {
      cur.replace(static_cast<std::size_t>(column - 1), static_cast<std::size_t>(length), text);
    } else {
      const int fits = L - column + 1;
      if (fits > 0) cur.replace(static_cast<std::size_t>(column - 1), static_cast<std::size_t>(fits), text, 0,
                                static_cast<std::size_t>(fits));
      slots.put(slot, cur);
      ++slot;
      jobbase::CHKLAB(slot);
      cur.assign(static_cast<std::size_t>(L), ' ');
      const int rest = length - std::max(fits, 0);
      cur.replace(0, static_cast<std::size_t>(rest), text, static_cast<std::size_t>(std::max(fits, 0)),
                  static_cast<std::size_t>(rest));
      column = 1 - std::max(fits, 0);
    }
    column += length;
    slots.put(slot, cur);
  };

  std::string text;
  int length = 0;
  for (;;) {
    double value = 0.0;
    int code = 0, cls = 0;
    FTOKEN(value, code, cls, text, length);
    if (cls == 1 || cls == 2) {
      file_text(text, length);
      if (code == 110) ++nleft;
      if (code == 117) ++nright;
    }
    if (cls == 1) {
      if (FTKSTA.WATLET != 0 && code == FTKSTA.WATLET) FTKSTA.WATFLG = true;
      to_output(code);
    } else if (cls == 2) {
      for (;;) {
        if (f.NOPS == 1) {
          f.pend(f.NOPS) = code;
          ++f.NOPS;
          break;
        }
        const int t = f.pend(f.NOPS - 1);
        if (PRIST(t) <= PRIIN(code)) {
          if (f.NOPS > kFmStack) ERRMSG(65);
          f.pend(f.NOPS) = code;
          ++f.NOPS;
          break;
        }
        --f.NOPS;
        if (t == 110) break;  // the "(" is removed and the arriving code dropped
        to_output(t);
      }
    } else if (cls == 3) {
      while (f.NOPS > 1) {
        --f.NOPS;
        const int t = f.pend(f.NOPS);
        if (t != 110) to_output(t);
      }
      break;
    } else if (cls == 4) {
      status = 2;
      break;
    } else {
      runtime::stop("50");
    }
  }
  f.NCODE = f.NOUT - 1;
  if (nleft != nright) {
    write_list(kStdout, {});
    write_list(kStdout, {" Parentheses don't match.  Your formula contains"});
    write_list(kStdout, {nleft, " left (, and ", nright, " right )'s."});
    ERRMSG(183);
  }
}

}  // namespace qv::algebra
