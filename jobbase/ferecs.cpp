#include "jobbase/ferecs.hpp"

#include <algorithm>
#include <string>

#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/listdir.hpp"
#include "runtime/units.hpp"

namespace qv::jobbase {

using runtime::kStdout;
using runtime::write_fmt;
using runtime::write_list;

namespace {
// Pieces of a group title.
constexpr int kTitlePieces = 4;
constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// A name line: the text between double quotes, no leading blank.
void name_line(std::string_view text) { write_fmt(kStdout, "(3a)", {"\"", text, "\""}); }

// The ";" that ends a record.
void end_line() { write_list(kStdout, {TOKSEP}); }

// A label without its trailing blanks and control characters.
std::string clean_label(std::string text) {
  std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; });
  text.resize(runtime::len_trim(text));
  return text;
}

// The letter of index L (1..26); "" for any other index.
// The value lines of a matrix record: the list-directed form of one item
// with its leading blank (what write_list makes of a single number), built
// in a buffer that the record keeps from line to line.  The number's text
// fits a string's small buffer, so the values cost no allocation each.
void value_line(std::string& line, double x) {
  line.assign(1, ' ');
  line += runtime::list_real(x);
  runtime::write_record(kStdout, line);
}
void value_line(std::string& line, int v) {
  line.assign(1, ' ');
  line += runtime::list_int(v);
  runtime::write_record(kStdout, line);
}

std::string_view letter(int L) {
  return L >= 1 && L <= 26 ? kLetters.substr(static_cast<std::size_t>(L - 1), 1) : std::string_view();
}

// The integer in columns first..first+2 of a label (an (I3) field), 0 when
// the field holds no number.
int i3_field(std::string_view label, int first) {
  if (label.size() < static_cast<std::size_t>(first + 2)) return 0;
  const std::string_view f = label.substr(static_cast<std::size_t>(first - 1), 3);
  int v = 0;
  bool neg = false, any = false;
  for (char c : f) {
    if (c == '-') neg = true;
    else if (c >= '0' && c <= '9') {
      v = v * 10 + (c - '0');
      any = true;
    }
  }
  return any ? (neg ? -v : v) : 0;
}
}  // namespace

void fe_machine() { write_fmt(kStdout, "(a10)", {TOKMAC}); }
void fe_human() { write_fmt(kStdout, "(a8)", {TOKHUM}); }

void FEHEAD(std::string_view tagline, int G, std::string_view name, int TYPE, int ROWS, int COLS, int offset,
            int count) {
  write_list(kStdout, {tagline});
  write_list(kStdout, {G});
  name_line(name);
  write_list(kStdout, {TYPE});
  write_list(kStdout, {ROWS});
  write_list(kStdout, {COLS});
  write_list(kStdout, {offset});
  write_list(kStdout, {count});
}

void FEMREC(Vec1<double> X, int L, int& TYPE, int ROWS, int COLS, int ADDR, int /*LABADR*/, int COUNT,
            std::string_view TAG) {
  const std::string_view tag = TAG.substr(0, runtime::len_trim(TAG));
  const bool specs = tag == "SPECS";
  // The zero test of a SPECS record reads the type as passed: a view of
  // stored data (type 0 or below) has no specification numbers.
  const bool no_specs = TYPE <= kTypeViewSym;
  if (TYPE == kTypeViewSym) {
    if (specs) TYPE = kTypeSym;
  }
  const int shown = TYPE == kTypeViewSym ? kTypeSym : TYPE;
  const std::string_view tagline = L > 0 ? tag : std::string_view("VALUE");
  const std::string_view name = L > 0 ? letter(L) : (L == kFePower ? std::string_view("POWER") : tag);
  const int G = MAINPR.IGRP;
  std::string line;
  line.reserve(32);
  int offset = 0;
  do {
    const int n = std::min(kFeChunk, COUNT - offset);
    FEHEAD(tagline, G, name, shown, ROWS, COLS, offset, n);
    for (int i = 0; i < n; ++i) {
      if (specs)
        value_line(line, no_specs ? 0 : icell(X(ADDR + offset + i)));
      else
        value_line(line, X(ADDR + offset + i));
    }
    end_line();
    offset += n;
  } while (offset < COUNT);
}

void FELAB(int SLOT, int N, int G, std::string_view KIND, std::string_view TAG) {
  write_list(kStdout, {" LABEL"});
  write_list(kStdout, {KIND.substr(0, runtime::len_trim(KIND))});
  write_list(kStdout, {G});
  name_line(TAG.substr(0, runtime::len_trim(TAG)));
  for (int i = 0; i < N; ++i) name_line(clean_label(LABTAB.get(SLOT + i)));
  end_line();
}

void FECINT(std::string_view LABEL, double R1, double R2, double R3, int I1, int I2, int I3, int I4) {
  fe_machine();
  write_list(kStdout, {"CONFIDENCE"});
  write_list(kStdout, {i3_field(LABEL, 4)});
  name_line(LABEL.size() >= 2 ? LABEL.substr(1, 1) : std::string_view(" "));
  write_list(kStdout, {i3_field(LABEL, 8)});
  write_list(kStdout, {i3_field(LABEL, 12)});
  write_list(kStdout, {R1});
  write_list(kStdout, {R2});
  write_list(kStdout, {R3});
  write_list(kStdout, {I1});
  write_list(kStdout, {I3});
  write_list(kStdout, {I2});
  write_list(kStdout, {I4});
  end_line();
  fe_human();
}

void FETITL(int SLOT, int G, int MODE, int LEAD) {
  std::string title;
  for (int k = 0; k < kTitlePieces; ++k) title += LABTAB.get(SLOT + k);
  if (MODE != 0) {
    write_list(kStdout, {" TITLE"});
    write_list(kStdout, {G});
    const std::string text = title.substr(0, runtime::len_trim(title));
    write_fmt(kStdout, "(3a)", {"\"", text, "\";"});
  } else {
    write_fmt(kStdout, "(3a)", {LEAD != 0 ? " " : "", title});
  }
}

void FEFLAG(int value) { write_list(kStdout, {value != 0 ? 1 : 0}); }

void FEGTYP(int G, int KIND) {
  write_list(kStdout, {" GROUP_TYPE"});
  write_list(kStdout, {G});
  write_list(kStdout, {KIND});
  write_list(kStdout, {" ;"});
}

std::string_view formula_name(int k, int kind) {
  if (k == fslot::kMeans) return "ExpMean";
  if (k == fslot::kCov) return kind == kKindCalc ? "ExpCal" : "ExpCov";
  return "";
}

void FERPN(Vec1<double> X, int G, int B, int k, int kind) {
  const int h = icell(MTFSLT(X, B, k));
  if (h <= 0) return;
  write_list(kStdout, {" RPNFORMULA"});
  write_list(kStdout, {G});
  // The head: the text's slot count and first slot, then, for a computed
  // matrix, its evaluation order; the code list follows.
  int a = h + 2;
  if (k <= 26) {
    write_list(kStdout, {icell(X(a))});
    name_line(letter(k));
    ++a;
  } else {
    write_list(kStdout, {k});
    name_line(formula_name(k, kind));
  }
  const int n = icell(X(a));
  for (int i = 1; i <= n; ++i) write_list(kStdout, {X(a + i)});
  write_list(kStdout, {" ;"});
}

}  // namespace qv::jobbase
