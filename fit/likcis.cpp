#include "fit/likcis.hpp"

#include <cmath>

#include "jobbase/areas.hpp"
#include "jobbase/ferecs.hpp"
#include "jobbase/htmlrep.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/tabnames.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

using jobbase::GroupView;
using jobbase::icell;
using runtime::kStdout;
using runtime::write_list;

namespace {

// An (I3) field: digits with an optional sign, blanks ignored.
int i3_field(std::string_view s) {
  int v = 0, sign = 1;
  for (const char ch : s) {
    if (ch == '-') sign = -1;
    if (ch >= '0' && ch <= '9') v = 10 * v + (ch - '0');
  }
  return sign * v;
}

// The label's field at 1-based columns first..first+2, blank past its end.
std::string_view field(std::string_view label, std::size_t first) {
  if (label.size() < first) return {};
  return label.substr(first - 1, 3);
}

// Type, rows and columns of the labelled matrix.
struct Matinfo {
  int type = 0, rows = 0, cols = 0;
};
Matinfo matinfo(Vec1<double> X, int NG, const Cilabel& c) {
  const GroupView G{X, NG, c.g};
  return {icell(G.type(c.L)), icell(G.rows(c.L)), icell(G.cols(c.L))};
}

bool computed(int type) { return type == jobbase::kTypeComputed || type == jobbase::kTypeCompRef; }

// The type tests: false for a matrix without elements of its own (the
// constant types, UN and CO) and for a position that the matrix's type does
// not store.
bool has_element(int type, int i, int j) {
  if (type <= jobbase::kTypeZeroId || type == jobbase::kTypeUnit || type == jobbase::kTypeCo ||
      type == jobbase::kTypeUndeclared)
    return false;
  if (type == jobbase::kTypeDiag && i != j) return false;
  if (type == jobbase::kTypeSubdiag && j >= i) return false;
  if (type == jobbase::kTypeStand && i == j) return false;
  if (type == jobbase::kTypeLower && i < j) return false;
  return true;
}

}  // namespace

Cilabel cilabel(std::string_view label) {
  Cilabel c;
  c.L = label.size() >= 2 ? label[1] - 64 : 0;
  c.g = i3_field(field(label, 4));
  c.i = i3_field(field(label, 8));
  c.j = i3_field(field(label, 12));
  return c;
}

int CIELEM(Vec1<double> X, int /*IGRP*/, int NG, std::string_view label) {
  const Cilabel c = cilabel(label);
  const Matinfo m = matinfo(X, NG, c);
  if (computed(m.type)) return 1;
  if (!has_element(m.type, c.i, c.j)) return 0;
  int i = c.i, j = c.j, rows = 0, cols = 0, type = 0;
  return jobbase::ELPOSV(X, c.g, 0, c.L, i, j, rows, cols, type);
}

void cirow(std::string_view label, double p, double estimate, double lower, double upper, int Lfail,
           int Lcount, int Ufail, int Ucount) {
  std::string lab(label.substr(0, 14));
  lab.resize(14, ' ');
  runtime::write_fmt(kStdout, "(1x,a14,2x,f4.1,2x,3(f12.4,2x),i1,1x,i1,3x,i1,1x,i1)",
                     {lab, p, estimate, lower, upper, Lfail, Lcount, Ufail, Ucount});
}

int CILIST(Vec1<double> X, int /*IGRP*/, int NG, std::string_view label, double p, double estimate,
           double lower, double upper, int Lfail, int Lcount, int Ufail, int Ucount, bool FEACTV,
           bool MACHOUT, int mode) {
  auto& t = CITAB;
  const Cilabel c = cilabel(label);
  const Matinfo m = matinfo(X, NG, c);
  if (computed(m.type)) return mode == 0 ? 0 : 1;
  int spec = 0;
  bool eligible = false;
  if (has_element(m.type, c.i, c.j)) {
    int i = c.i, j = c.j, rows = 0, cols = 0, type = 0;
    const int pos = jobbase::ELADDR(X, c.g, c.L, i, j, 1, rows, cols, type);
    eligible = pos >= 1;
    if (eligible) spec = icell(X(pos));
  }

  if (mode == 0) {
    if (!eligible) return 0;
    for (int k = 0; k < t.NCI; ++k) {
      const auto& e = t.E[static_cast<std::size_t>(k)];
      if (e.spec != spec || e.pct != p) continue;
      cirow(label, e.pct, e.est, e.lower, e.upper, e.lfail, e.lcount, e.ufail, e.ucount);
      if (FEACTV && MACHOUT) jobbase::FECINT(label, e.est, e.lower, e.upper, e.lfail, e.lcount, e.ufail, e.ucount);
      return 1;
    }
    return 0;
  }

  if (t.NCI < Cilist::kMax) {
    if (eligible) t.E[static_cast<std::size_t>(t.NCI++)] = {spec, p, estimate, lower, upper, Lfail, Lcount, Ufail, Ucount};
  } else {
    jobbase::WARNHD();
    write_list(kStdout, {" No further confidence intervals will be"});
    write_list(kStdout, {" checked for duplicates"});
    write_list(kStdout, {" Inefficiency may result"});
  }
  return 1;
}

void OFFZER(Vec1<double> x, int N) {
  constexpr double kOff = static_cast<double>(0.01f);
  for (int i = 1; i <= N; ++i) {
    double& v = x(i);
    if (v > -kOff && v < kOff) {
      v = v < 0.0 ? -kOff : kOff;
      write_list(runtime::kMsgUnit, {" Parameter ", i, " has been offset to", v});
    }
  }
}

}  // namespace qv::fit
