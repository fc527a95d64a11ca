#include "jobctl/matdata.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "jobbase/htmlrep.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobctl/records.hpp"
#include "jobbase/stmtaux.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using runtime::kStdout;
using runtime::write_list;

namespace {

// The word at the cursor begins with s.
using stmt::begins;

// A value no read produces, marking the words not yet filled.
constexpr std::uint64_t kUnreadBits = 0x7ff4dead0000beefULL;
double unread() { return std::bit_cast<double>(kUnreadBits); }
bool is_unread(double v) { return std::bit_cast<std::uint64_t>(v) == kUnreadBits; }

// Reads n values from the data unit into dest, free-format (fmt empty) or
// with the record format fmt.  Returns the number read before an end of
// file or a read error (n on success).
int read_values(std::span<double> dest, const std::string& fmt) {
  for (double& d : dest) d = unread();
  const int unit = MAINPR.DATUNT;
  const runtime::In item(dest);
  const runtime::IoStat st = fmt.empty() ? runtime::read_list(unit, std::span<const runtime::In>(&item, 1),
                                                              runtime::OnErr::Return)
                                         : runtime::read_fmt(unit, fmt, std::span<const runtime::In>(&item, 1),
                                                             runtime::OnErr::Return);
  if (st == runtime::IoStat::Ok) return static_cast<int>(dest.size());
  int k = 0;
  while (k < static_cast<int>(dest.size()) && !is_unread(dest[static_cast<std::size_t>(k)])) ++k;
  return k == static_cast<int>(dest.size()) ? k - 1 : k;
}

// The data file ended (or could not be read) after `got` values: the report
// with the file's line count, then error 139 (free format) or 140.
[[noreturn]] void early_end(int got, bool free) {
  const int unit = MAINPR.DATUNT;
  runtime::rewind_unit(unit, runtime::OnErr::Return);
  write_list(kStdout, {"End of file after element #", got});
  int lines = 0;
  std::string rec;
  while (runtime::read_record(unit, rec, runtime::OnErr::Return) == runtime::IoStat::Ok) ++lines;
  write_list(kStdout, {});
  write_list(kStdout, {" Your file contains ", lines, " lines, including the format"});
  ERRMSG(free ? 139 : 140);
}

// The record format that starts at column c of the first line: from the
// "(" to its matching ")" (the rest of the line is not part of it).
std::string format_at(const std::string& line, std::size_t c) {
  int depth = 0;
  for (std::size_t k = c; k < line.size(); ++k) {
    if (line[k] == '(') ++depth;
    if (line[k] == ')' && --depth == 0) return line.substr(c, k - c + 1);
  }
  return line.substr(c);
}

// Full input: the n*n values are read into scratch words after the
// destination's n(n+1)/2 words, and their lower triangle is copied to X(P)..
void read_full_file(Vec1<double> X, int P, int n, const std::string& fmt) {
  const long long stored = runtime::packed_size<long long>(n);
  const long long all = static_cast<long long>(n) * n;
  const long long scratch = P + stored;
  check_room(scratch + all - 1);
  std::span<double> dest(X.ptr(static_cast<int>(scratch)), static_cast<std::size_t>(all));
  const int got = read_values(dest, fmt);
  if (got < all) early_end(got, fmt.empty());
  int k = P;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= i; ++j) X(k++) = dest[static_cast<std::size_t>((i - 1) * n + j - 1)];
  DATFIL.FULLIN = false;
}

}  // namespace

void RDFILE(Vec1<double> X, int& P, int N, int IGRP, int NG, std::string& MISVAL, int RECT, int ELTYP) {
  auto& c = CURSOR;
  auto& f = DATFIL;
  auto& m = MAINPR;
  if (N == 0) N = 99999;

  // The "=" of the file form, from the current word on.
  int eq = 0;
  for (int col = std::max(c.ICOL, 1); col <= c.LLEN; ++col) {
    if (chr(col) == '=') {
      eq = col;
      break;
    }
  }
  if (eq == 0) ERRMSG(45);
  c.ICOL = eq;

  std::string name(runtime::trim_right(std::string_view(LINBUF.RAWLIN).substr(static_cast<std::size_t>(eq),
                                                                              static_cast<std::size_t>(c.LLEN - eq))));
  const std::size_t lead = name.find_first_not_of(' ');
  name = lead == std::string::npos ? std::string() : name.substr(lead);
  INCSTK.FILNAM = runtime::fpad(name, 80);
  if (name.size() > 80 || name.empty() || !runtime::file_exists(name)) {
    write_list(kStdout, {});
    ERRMSG(169);
  }
  runtime::OpenSpec spec;
  spec.file = name;
  spec.status = "OLD";
  if (runtime::open_unit(m.DATUNT, spec, runtime::OnErr::Return) != runtime::IoStat::Ok) ERRMSG(46);

  if (f.VLDATA) {
    int s = P - 1;
    RDVL(X, s, m.DATUNT, IGRP, NG);
    P = s;
    runtime::close_unit(m.DATUNT);
    return;
  }
  if (RECT != 0) {
    int s = P - 1;
    int status = 0;
    RDRECT(X, s, m.DATUNT, IGRP, NG, MISVAL, status);
    if (status != 0) write_list(kStdout, {"Error in rectangular read"});
    P = s;
    runtime::close_unit(m.DATUNT);
    return;
  }

  std::string first;
  if (runtime::read_record(m.DATUNT, first, runtime::OnErr::Return) != runtime::IoStat::Ok) first.clear();
  f.FMTLIN = runtime::fpad(first, 80);
  const std::string& line = f.FMTLIN;
  bool free = false;
  std::string fmt;
  for (std::size_t k = 0; k < 80; ++k) {
    const char ch = line[k];
    if (ch == ' ') continue;
    if (line.compare(k, 3, "(*)") == 0 || ch == '*') {
      free = true;
      break;
    }
    if (ch == '(') {
      fmt = format_at(line, k);
      break;
    }
    if (std::string_view("1234567890.+-").find(ch) != std::string_view::npos) ERRMSG(60);
  }
  if (!free && fmt.empty()) ERRMSG(46);

  if (!free && line.compare(20, 9, "FU MATRIX") == 0 && ELTYP == kEltSym && !f.FULLIN) {
    jobbase::WARNHD();
    write_list(kStdout, {" Qv data file indicates full format, not symmetric"});
    const int n = static_cast<int>(std::lround((std::sqrt(8.0 * N + 1.0) - 1.0) / 2.0));
    f.FULLIN = true;
    write_list(kStdout, {" Will read", n * n, " elements, and store", N});
    read_full_file(X, P, n, fmt);
  } else if (f.FULLIN) {
    read_full_file(X, P, N, fmt);
  } else {
    check_room(static_cast<long long>(P) + N - 1);
    std::span<double> dest(X.ptr(P), static_cast<std::size_t>(N));
    const int got = read_values(dest, fmt);
    if (got < N) early_end(got, free);
  }
  runtime::close_unit(m.DATUNT);
}

void RDDATA(Vec1<double> X, int NI, int N, int& P, int KIND, int IGRP, int NG, std::string& MISVAL, int RECT) {
  auto& c = CURSOR;
  auto& f = DATFIL;
  int eltyp = kEltSym;
  if (KIND == kShapeFull) {
    eltyp = kEltFull;
  } else if (KIND > kShapeSym) {
    f.FULLIN = true;
  }

  NEXTWD();
  const bool records = f.VLDATA || RECT != 0;
  bool file = false;
  bool full_inline = f.FULLIN;
  if (c.ICOL == 0) {
    // The input ended after the keyword: the values are sought and missed.
  } else if (c.NEWLIN) {
    // The keyword ended its line: the data are on the lines that follow.
  } else if (begins("FI") || begins("=")) {
    file = true;
  } else if (begins("SY")) {
    NEXTWD();
    file = !c.NEWLIN && begins("FI");
  } else if (begins("FU")) {
    if (eltyp == kEltFull) ERRMSG(101);
    f.FULLIN = true;
    full_inline = true;
    NEXTWD();
    if (!c.NEWLIN && begins("FI")) {
      file = true;
      N = NI;
    }
  }

  if (file) {
    RDFILE(X, P, N, IGRP, NG, MISVAL, RECT, eltyp);
  } else if (records) {
    // Records on the script: the line already fetched (when the keyword
    // ended its line) is read again by the record reader.
    write_list(kStdout, {f.VLDATA ? " Note: further VL records not printed"
                                       : " Note: further rectangular records not printed"});
    write_list(kStdout, {});
    if (c.NEWLIN && c.ICOL != 0) {
      runtime::backspace_unit(INCSTK.INUNIT, runtime::OnErr::Return);
      MAINPR.LINENO -= 1;
    }
    int s = P - 1;
    if (f.VLDATA) {
      RDVL(X, s, INCSTK.INUNIT, IGRP, NG);
    } else {
      int status = 0;
      RDRECT(X, s, INCSTK.INUNIT, IGRP, NG, MISVAL, status);
    }
    P = s;
  } else if (full_inline) {
    // NI x NI values row by row; the elements with column <= row are kept.
    check_room(static_cast<long long>(P) + runtime::packed_size<long long>(NI) - 1);
    int k = P;
    for (int i = 1; i <= NI; ++i)
      for (int j = 1; j <= NI; ++j) {
        RDNUM();
        if (j <= i) X(k++) = c.RVALUE;
      }
  } else {
    check_room(static_cast<long long>(P) + N - 1);
    for (int k = 0; k < N; ++k) {
      RDNUM();
      X(P + k) = c.RVALUE;
    }
  }
  f.FULLIN = false;
  f.VLDATA = false;
}

}  // namespace qv::jobctl
