#include "jobctl/records.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jobbase/htmlrep.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobctl/matdata.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/fullwrite.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using runtime::kStdout;
using runtime::write_fmt;
using runtime::write_fmt_full;
using runtime::write_list;

namespace {

// The format "(" lead "iw,a)" for the count n of a note whose text runs up
// to the count field Iw.  A count of w digits would fill the field and run
// into the text, so it gets the field Iw-1 instead, which write_fmt_full
// widens to the count with one blank before it; smaller counts keep Iw.
std::string count_format(std::string_view lead, int w, long long n) {
  long long full = 1;
  for (int i = 1; i < w; ++i) full *= 10;
  const int field = n >= full ? w - 1 : w;
  return "(" + std::string(lead) + "i" + std::to_string(field) + ",a)";
}

// Stores the case vector of codes and vals (m each) at X(pos): m, the
// pattern flag, the codes, the values.  The flag is 1 for the first case of
// the block (first) and whenever m or a code differs from the vector at
// X(prev), else 0.  prev becomes pos and pos moves past the vector.
void store_case(Vec1<double> X, int& pos, int& prev, bool first, std::span<const double> codes,
                std::span<const double> vals) {
  const int m = static_cast<int>(codes.size());
  int flag = 1;
  if (!first && static_cast<int>(X(prev)) == m) {
    flag = 0;
    for (int i = 0; i < m; ++i)
      if (X(prev + 2 + i) != codes[static_cast<std::size_t>(i)]) flag = 1;
  }
  X(pos) = m;
  X(pos + 1) = flag;
  for (int i = 0; i < m; ++i) {
    X(pos + 2 + i) = codes[static_cast<std::size_t>(i)];
    X(pos + 2 + m + i) = vals[static_cast<std::size_t>(i)];
  }
  prev = pos;
  pos += 2 * m + 2;
}

// Reads the next record of a data unit; lines of the script advance the
// script's line counter.
struct RecordSource {
  int unit;
  bool script;
  int count = 0;  // records read by this call
  runtime::IoStat next(std::string& rec) {
    const runtime::IoStat st = runtime::read_record(unit, rec, runtime::OnErr::Return);
    if (st != runtime::IoStat::Ok) return st;
    ++count;
    if (script) ++MAINPR.LINENO;
    if (!rec.empty() && rec.back() == '\r') rec.pop_back();
    return st;
  }
  void back() {
    runtime::backspace_unit(unit, runtime::OnErr::Return);
    --count;
    if (script) --MAINPR.LINENO;
  }
};


// The words of a line separated by blanks, tabs and commas.
std::vector<std::string_view> words(std::string_view s, bool commas) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  auto sep = [commas](char ch) { return ch == ' ' || ch == '\t' || (commas && ch == ','); };
  while (i < s.size()) {
    while (i < s.size() && sep(s[i])) ++i;
    const std::size_t b = i;
    while (i < s.size() && !sep(s[i])) ++i;
    if (i > b) out.push_back(s.substr(b, i - b));
  }
  return out;
}

bool contains_en(std::string_view s) {
  for (std::size_t i = 0; i + 1 < s.size(); ++i)
    if ((s[i] == 'E' || s[i] == 'e') && (s[i + 1] == 'N' || s[i + 1] == 'n')) return true;
  return false;
}

// A number of a variable-length line that cannot be read: error 231.
[[noreturn]] void vl_number_error(const std::string& rec, int k, bool script) {
  write_list(kStdout, {rec});
  write_list(kStdout, {" Error encountered at line", k, " of data"});
  if (script) write_list(kStdout, {" which is at line:", MAINPR.LINENO, " of the input file"});
  ERRMSG(231);
}

// The numbers of a variable-length line; every word must be one.
std::vector<double> vl_numbers(const std::string& rec, int k, bool script) {
  std::vector<double> out;
  for (std::string_view w : words(rec, true)) {
    double v = 0.0;
    if (!rect_number(w, v)) vl_number_error(rec, k, script);
    out.push_back(v);
  }
  return out;
}

}  // namespace

int longest_vector(Vec1<double> V) {
  int pos = 2, longest = 0;
  for (int v = 1; v <= static_cast<int>(V(1)); ++v) {
    const int m = static_cast<int>(V(pos));
    longest = std::max(longest, m);
    pos += 2 * m + 2;
  }
  return longest;
}

bool rect_number(std::string_view field, double& value) {
  std::size_t i = 0;
  const std::size_t n = field.size();
  if (i < n && (field[i] == '+' || field[i] == '-')) ++i;
  int digits = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(field[i]))) ++i, ++digits;
  if (i < n && field[i] == '.') {
    ++i;
    while (i < n && std::isdigit(static_cast<unsigned char>(field[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  std::string text(field.substr(0, i));
  if (i < n && (field[i] == 'E' || field[i] == 'e' || field[i] == 'D' || field[i] == 'd')) {
    text.push_back('E');
    ++i;
    if (i < n && (field[i] == '+' || field[i] == '-')) text.push_back(field[i++]);
    int ed = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(field[i]))) {
      text.push_back(field[i++]);
      ++ed;
    }
    if (ed == 0) return false;
  }
  if (i != n) return false;
  value = std::strtod(text.c_str(), nullptr);
  return std::isfinite(value);
}

void RDRAW(Vec1<double> X, int NI, int& NO, int P) {
  auto& c = CURSOR;
  const long long total = static_cast<long long>(NI) * NO;
  NEXTWD();
  auto word_is = [&](std::string_view s) {
    return c.ICOL >= 1 && c.ICOL + static_cast<int>(s.size()) - 1 <= c.LLEN &&
           std::string_view(LINBUF.LINE).substr(static_cast<std::size_t>(c.ICOL - 1), s.size()) == s;
  };
  // A word on the keyword line that cannot start a number is passed over;
  // values that start on the next line are all kept.
  if (c.ICOL != 0 && !c.NEWLIN && !word_is("FI") &&
      std::string_view("0123456789.+-").find(chr(c.ICOL)) ==
          std::string_view::npos) {
    NEXTWD();
  }
  if (c.ICOL != 0 && word_is("FI")) {
    int p = P;
    if (total > MAINPR.WSLIM) CHKMEM(MAINPR.WSLIM + 1);
    RDFILE(X, p, static_cast<int>(total), MAINPR.IGRP, MAINPR.NG, DATFIL.MISVAL, 0, kEltFull);
    return;
  }
  check_room(P + total - 1);
  c.EOFOK = 1;
  for (long long k = 0; k < total; ++k) {
    RDNUM();
    if (c.EOFOK == -1) {
      NO = static_cast<int>(k / NI);
      c.EOFOK = 0;
      write_list(kStdout, {" End of file after reading case ", NO});
      return;
    }
    X(P + k) = c.RVALUE;
  }
  c.EOFOK = 0;
}

void RDVL(Vec1<double> X, int& S, int UNIT, int IGRP, int NG) {
  RecordSource src{UNIT, UNIT == INCSTK.INUNIT && UNIT != MAINPR.DATUNT};
  const int P = S + 1;
  double& nocol = GRPTAB(X, NG, gcol::kNobs, IGRP);
  const int NO = static_cast<int>(nocol);
  int pos = P;
  int prev = 0;
  int count = 0;
  int longest = 0;
  std::string rec;

  // A first line with letters or symbols is a heading.
  if (src.next(rec) == runtime::IoStat::Ok) {
    static constexpr std::string_view kSymbols = "*()/\\|_~#$%^&";
    std::size_t hit = std::string::npos;
    bool letter = false;
    for (std::size_t i = 0; i < rec.size(); ++i) {
      if (rec[i] >= 'A' && rec[i] <= 'Z') {
        hit = i;
        letter = true;
        break;
      }
      if (kSymbols.find(rec[i]) != std::string_view::npos) {
        hit = i;
        break;
      }
    }
    if (hit != std::string::npos) {
      write_list(kStdout, {letter ? " Character data found: " : " Symbol data found: ", std::string(1, rec[hit])});
      write_list(kStdout, {});
      write_list(kStdout, {" NOTE: First line of VL data reads:"});
      write_list(kStdout, {rec.substr(0, std::min<std::size_t>(rec.size(), 80))});
      write_list(kStdout, {" NOTE: It has been ignored."});
      write_list(kStdout, {});
    } else {
      src.back();
    }
  }

  for (;;) {
    if (src.next(rec) != runtime::IoStat::Ok) break;
    if (contains_en(runtime::upper(rec))) break;
    const auto first = words(rec, true);
    if (first.empty()) continue;
    double mv = 0.0;
    if (!rect_number(first[0], mv) || mv != std::trunc(mv) || mv < 0 || mv > 1.0e8)
      vl_number_error(rec, src.count, src.script);
    const int m = static_cast<int>(mv);
    if (m == 0) {
      write_list(kStdout, {" NOTE: Vector of size 0 has been read"});
      write_list(kStdout, {" NOTE: It has been ignored."});
      continue;
    }
    check_room(static_cast<long long>(pos) + 2LL * m + 1);
    // 2m numbers: the codes, then the values, from the following lines.
    std::vector<double> nums;
    bool complete = false;
    while (!complete) {
      if (src.next(rec) != runtime::IoStat::Ok) break;
      const std::vector<double> got = vl_numbers(rec, src.count, src.script);
      const std::size_t need = static_cast<std::size_t>(2 * m) - nums.size();
      const std::size_t take = std::min(need, got.size());
      nums.insert(nums.end(), got.begin(), got.begin() + static_cast<std::ptrdiff_t>(take));
      if (nums.size() == static_cast<std::size_t>(2 * m)) {
        complete = true;
        if (got.size() > take) {
          write_list(kStdout, {" NOTE: Extra numbers found for case number", count + 1});
          write_list(kStdout, {" NOTE: They have been ignored"});
        }
      }
    }
    if (!complete) break;  // the data ended inside the case

    const std::span<const double> codes(nums.data(), static_cast<std::size_t>(m));
    const std::span<const double> vals(nums.data() + m, static_cast<std::size_t>(m));
    for (double code : codes) {
      if (code != std::trunc(code)) {
        write_list(kStdout, {});
        write_list(kStdout, {" Data error: number of individuals =", m});
        write_list(kStdout, {" Identification codes:"});
        write_fmt(kStdout, "(20(1x,f3.0))", {codes});
        write_list(kStdout, {" Data:"});
        write_fmt(kStdout, "(10(1x,f8.2))", {vals});
        ERRMSG(103);
      }
    }
    store_case(X, pos, prev, count == 0, codes, vals);
    ++count;
    longest = std::max(longest, m);

    if (NO > 0 && count >= NO) {
      write_list(kStdout, {" NOTE: Data reading stopped at observation ", count, " due to NO= on data line"});
      if (src.script) {
        RDLINE();
        const auto& cur = CURSOR;
        if (cur.ICOL == 0 || LINBUF.LINE.compare(static_cast<std::size_t>(cur.ICOL - 1), 2, "EN") != 0) ERRMSG(230);
      }
      break;
    }
  }

  X(P - 1) = count;
  X(P - 2) = longest;
  if (NO != 0 && NO != count) {
    write_list(kStdout, {});
    write_fmt_full(kStdout, "(1x,a,i5,a)",
                   {" NOTE: Data reading terminated at observation ", count, "       due to end of file or end vl statement"});
    write_list(kStdout, {" NOTE: sample size altered accordingly"});
    write_list(kStdout, {});
  }
  if (NO == 0) {
    write_list(kStdout, {});
    write_fmt_full(kStdout, count_format("1x,a,", 5, count),
                   {" NOTE: End of vl data after reading case number", count, ""});
    write_list(kStdout, {});
  }
  nocol = count;
  X(P - 3) = pos;
  check_room(static_cast<long long>(pos) + count);
  S = pos + count;
}

void RDRECT(Vec1<double> X, int& S, int UNIT, int IGRP, int NG, std::string& MISVAL, int& STATUS) {
  RecordSource src{UNIT, UNIT == INCSTK.INUNIT && UNIT != MAINPR.DATUNT};
  STATUS = 0;
  // The missing-value string, without the blanks MI keeps around it.
  std::string miss(runtime::trim_right(MISVAL));
  miss.erase(0, std::min(miss.find_first_not_of(' '), miss.size()));
  if (miss.empty()) {
    miss = ".";
    MISVAL = runtime::fpad(".", 16);
  }
  if (miss.find("QQ") != std::string::npos) {
    STATUS = 1;
    ERRMSG(173);
  }

  const int P = S + 1;
  int pos = P;
  int prev = 0;
  int stored = 0;
  int allmiss = 0;
  std::string rec;

  auto blank_record = [&]() {
    write_list(kStdout, {" Error reading data file at record number:", src.count});
    write_list(kStdout, {" Line appears blank"});
    STATUS = 1;
    ERRMSG(174);
  };
  auto check_length = [&]() {
    if (static_cast<int>(rec.size()) > kRectMax) {
      write_list(kStdout, {" Rectangular record number", src.count, " is longer than", kRectMax, " characters"});
      STATUS = 1;
      ERRMSG(175);
    }
  };
  auto read_error = [&]() {
    write_list(kStdout, {" Error in reading rectangular record number:", src.count + 1});
    STATUS = 1;
    ERRMSG(175);
  };

  // Up to the first record with data: headings are passed over.
  for (;;) {
    const runtime::IoStat st = src.next(rec);
    if (st == runtime::IoStat::Error) read_error();
    if (st != runtime::IoStat::Ok || contains_en(rec)) {
      STATUS = 1;
      ERRMSG(177);
    }
    check_length();
    if (rec.find('*') != std::string::npos || rec.find('(') != std::string::npos) {
      jobbase::WARNHD();
      write_list(kStdout, {" A line of this file contains a * or a (", " and has been ignored"});
      continue;
    }
    if (words(rec, false).empty()) blank_record();
    break;
  }

  std::vector<double> codes, vals;
  for (;;) {
    codes.clear();
    vals.clear();
    const auto fields = words(rec, false);
    int f = 0;
    for (std::string_view field : fields) {
      ++f;
      if (field == miss) continue;
      const char ch = field[0];
      if (std::string_view("deqDEQ").find(ch) != std::string_view::npos) {
        write_list(kStdout, {" Bad character found: ", std::string(1, ch)});
        STATUS = 1;
        ERRMSG(176);
      }
      double v = 0.0;
      if (!rect_number(field, v)) {
        write_list(kStdout, {" Error found in rectangular data; record number", src.count, ":"});
        if (src.script) write_list(kStdout, {" which is at line:", MAINPR.LINENO, " of the input file:"});
        write_list(kStdout, {rec});
        if (src.script) write_list(kStdout, {" Make sure you remembered the End Rectangular statement"});
        STATUS = 1;
        ERRMSG(175);
      }
      codes.push_back(f);
      vals.push_back(v);
    }
    const int m = static_cast<int>(codes.size());
    if (m == 0) {
      ++allmiss;
    } else {
      check_room(static_cast<long long>(pos) + 2LL * m + 1);
      store_case(X, pos, prev, stored == 0, codes, vals);
      ++stored;
    }

    const runtime::IoStat st = src.next(rec);
    if (st == runtime::IoStat::Error) read_error();
    if (st != runtime::IoStat::Ok || contains_en(rec)) break;
    check_length();
    if (words(rec, false).empty()) blank_record();
  }

  X(P - 1) = stored;
  X(P - 3) = pos + 1;
  GRPTAB(X, NG, gcol::kNobs, IGRP) = stored;
  check_room(static_cast<long long>(pos) + 1 + stored);
  S = pos + 1 + stored;
  write_fmt_full(kStdout, count_format("a,", 6, stored), {"  NOTE: Rectangular file contained", stored, " records with data"});
  if (allmiss > 0)
    write_fmt_full(kStdout, count_format("a,", 6, allmiss),
                   {"        and", allmiss, " records where all data were missing"});
}

}  // namespace qv::jobctl
