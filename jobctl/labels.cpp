#include "jobctl/labels.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "jobbase/errmsg.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using runtime::kStdout;
using runtime::write_fmt;
using runtime::write_list;

namespace {

// The characters of the word at the cursor up to the first blank, at most
// max of them; the cursor stays on the word.
std::string word_at_cursor(std::size_t max) {
  const auto& c = CURSOR;
  std::string w;
  for (int col = c.ICOL; col >= 1 && col <= c.LLEN && chr(col) != ' ' && w.size() < max; ++col) w.push_back(chr(col));
  return w;
}

// The two notes that end a rewrite of the case vectors.
void yield_notes(const char* what, int count, long long total) {
  write_list(kStdout, {});
  write_fmt(kStdout, count < 10000 ? "(A,I5,A)" : "(A,I10,A)", {what, count, " data vectors for analysis"});
  write_fmt(kStdout, total < 10000 ? "(A,I5,A)" : "(A,I10,A)",
            {"  NOTE: Vectors contain a total of ", total, " observations"});
  write_list(kStdout, {});
}

}  // namespace

void RDLAB(int base, int N) {
  auto& c = CURSOR;
  for (int i = 1; i <= N; ++i) {
    NEXTWD();
    if (c.ICOL == 0) ERRMSG(7);
    if (chr(c.ICOL) >= '0' && chr(c.ICOL) <= '9') ERRMSG(122);
    CHKLAB(base + i - 1);
    LABTAB.put(base + i - 1, word_at_cursor(kLabLen));
  }
}

void SELLAB(int base, int NI, Vec1<double> SEL, int NSEL, int MODE) {
  if (NSEL > NI) ERRMSG(8);
  std::vector<std::string> work(static_cast<std::size_t>(NI) + 1);
  if (MODE == 0) {
    for (int i = 1; i <= NSEL; ++i) work[static_cast<std::size_t>(i)] = LABTAB.get(base + static_cast<int>(SEL(i)) - 1);
    for (int i = 1; i <= NSEL; ++i) LABTAB.put(base + i - 1, work[static_cast<std::size_t>(i)]);
    return;
  }
  int front = 0, back = NI + 1;
  for (int i = 1; i <= NI; ++i) {
    bool listed = false;
    for (int k = 1; k <= NSEL; ++k)
      if (static_cast<int>(SEL(k)) == i) listed = true;
    work[static_cast<std::size_t>(listed ? --back : ++front)] = LABTAB.get(base + i - 1);
  }
  for (int i = 1; i <= NI; ++i) LABTAB.put(base + i - 1, work[static_cast<std::size_t>(i)]);
}

void DEFSEL(Vec1<double> V, Vec1<double> SEL, int NSEL, Vec1<double> D, Vec1<double> W, int MODE) {
  const int nvec = static_cast<int>(V(1));
  int rd = 2, wr = 2;
  int kept = 0;
  long long total = 0;
  std::vector<double> cur, codes, vals;
  for (int v = 1; v <= nvec; ++v) {
    const int m = static_cast<int>(V(rd));
    cur.assign(V.ptr(rd), V.ptr(rd) + 2 * m + 2);
    rd += 2 * m + 2;
    codes.clear();
    vals.clear();
    if (MODE == 0) {
      for (int e = 0; e < m; ++e) {
        const double code = cur[static_cast<std::size_t>(2 + e)];
        for (int k = 1; k <= NSEL; ++k)
          if (SEL(k) == code) {
            codes.push_back(k);
            vals.push_back(cur[static_cast<std::size_t>(2 + m + e)]);
            break;
          }
      }
    } else {
      for (int k = 1; k <= 2 * NSEL; ++k) D(k) = kDefAbsent;
      for (int e = 0; e < m; ++e) {
        const double code = cur[static_cast<std::size_t>(2 + e)];
        const double val = cur[static_cast<std::size_t>(2 + m + e)];
        int slot = 0, below = 0;
        for (int k = 1; k <= NSEL; ++k) {
          if (SEL(k) == code && slot == 0) slot = k;
          if (SEL(k) < code) ++below;
        }
        if (slot != 0) {
          D(2 * slot - 1) = -slot;
          D(2 * slot) = val;
        } else {
          codes.push_back(code - below);
          vals.push_back(val);
        }
      }
      bool filled = true;
      for (int k = 1; k <= NSEL; ++k)
        if (D(2 * k - 1) == kDefAbsent) filled = false;
      if (!filled) continue;
    }
    if (codes.empty()) continue;

    const int n = static_cast<int>(codes.size());
    const int ndef = MODE == 0 ? 0 : NSEL;
    const int mm = n + ndef;
    // The new codes: -1..-NSEL first in definition mode.
    auto newcode = [&](int i) { return i <= ndef ? -static_cast<double>(i) : codes[static_cast<std::size_t>(i - ndef - 1)]; };
    int flag = 1;
    if (kept > 0 && static_cast<int>(W(1)) == mm) {
      flag = 0;
      for (int i = 1; i <= mm; ++i)
        if (W(1 + i) != newcode(i)) flag = 1;
    }
    if (ndef > 0) {
      bool differ = kept == 0;
      for (int k = 1; k <= ndef && !differ; ++k)
        if (W(1 + mm + k) != D(2 * k)) differ = true;
      if (differ) flag += 2;
    }
    W(1) = mm;
    for (int i = 1; i <= mm; ++i) W(1 + i) = newcode(i);
    for (int k = 1; k <= ndef; ++k) W(1 + mm + k) = D(2 * k);

    V(wr) = mm;
    V(wr + 1) = flag;
    for (int i = 1; i <= mm; ++i) V(wr + 1 + i) = newcode(i);
    for (int k = 1; k <= ndef; ++k) V(wr + 1 + mm + k) = D(2 * k);
    for (int i = 1; i <= n; ++i) V(wr + 1 + mm + ndef + i) = vals[static_cast<std::size_t>(i - 1)];
    wr += 2 * mm + 2;
    ++kept;
    total += n;
  }
  V(1) = kept;
  yield_notes(MODE == 0 ? "  NOTE: Selection yields" : "  NOTE: Definition yields", kept, total);
}

void SELCNT(Vec1<double> V, int K, Rel REL, double VALUE, int MISS, Vec1<double> W) {
  const int nvec = static_cast<int>(V(1));
  int rd = 2, wr = 2, prev = 0;
  int kept = 0;
  long long total = 0;
  for (int v = 1; v <= nvec; ++v) {
    const int m = static_cast<int>(V(rd));
    int at_k = 0;
    for (int e = 0; e < m; ++e)
      if (V(rd + 2 + e) == K) {
        at_k = e + 1;
        break;
      }
    bool keep = false;
    if (MISS != 0) {
      keep = (at_k != 0) != (REL == Rel::EQ);
    } else if (at_k != 0) {
      const double x = V(rd + 1 + m + at_k);
      switch (REL) {
        case Rel::EQ: keep = x == VALUE; break;
        case Rel::NE: keep = x != VALUE; break;
        case Rel::LT: keep = x < VALUE; break;
        case Rel::LE: keep = x <= VALUE; break;
        case Rel::GT: keep = x > VALUE; break;
        case Rel::GE: keep = x >= VALUE; break;
      }
    }
    if (keep) {
      // Written back in place (never ahead of where it is read).
      for (int i = 0; i < 2 * m + 2; ++i) V(wr + i) = V(rd + i);
      int flag = 1;
      if (kept > 0 && static_cast<int>(V(prev)) == m) {
        flag = 0;
        for (int e = 0; e < m; ++e)
          if (V(prev + 2 + e) != V(wr + 2 + e)) flag = 1;
      }
      V(wr + 1) = flag;
      prev = wr;
      wr += 2 * m + 2;
      ++kept;
      // Observations: the elements other than definition values.
      for (int e = 0; e < m; ++e)
        if (V(wr - 2 * m + e) > 0.0) ++total;
    }
    rd += 2 * m + 2;
  }
  V(1) = kept;
  yield_notes("  NOTE: Select if yields", kept, total);
}

void RDSELIF(Vec1<double> X, int base, int P, int NI, int IGRP, int NG, int HAVLAB, int CASDAT) {
  auto& c = CURSOR;
  if (HAVLAB == 0) ERRMSG(202);
  if (CASDAT != 1) ERRMSG(203);
  NEXTWD();
  if (c.ICOL == 0) ERRMSG(7);
  const std::string name = runtime::fpad(word_at_cursor(kLabLen), kLabLen);
  int k = 0;
  for (int i = 1; i <= NI && k == 0; ++i)
    if (LABTAB.get(base + i - 1) == name) k = i;
  if (k == 0) ERRMSG(204);
  NEXTWD();
  if (c.ICOL == 0) ERRMSG(7);
  Rel rel = Rel::EQ;
  const char c1 = chr(c.ICOL);
  const char c2 = c.ICOL < c.LLEN ? chr(c.ICOL + 1) : ' ';
  int len = 1;
  if (c1 == '^' && c2 == '=') {
    rel = Rel::NE, len = 2;
  } else if (c1 == '^' && c2 == '>') {
    rel = Rel::LE, len = 2;
  } else if (c1 == '^' && c2 == '<') {
    rel = Rel::GE, len = 2;
  } else if (c1 == '=') {
    rel = Rel::EQ;
  } else if (c1 == '>') {
    rel = Rel::GT;
  } else if (c1 == '<') {
    rel = Rel::LT;
  } else {
    ERRMSG(205);
  }
  c.ICOL += len;
  // The constant: the first non-blank character here or on a later line.
  for (;;) {
    while (c.ICOL <= c.LLEN && chr(c.ICOL) == ' ') ++c.ICOL;
    if (c.ICOL <= c.LLEN) break;
    RDLINE();
    if (c.ICOL == 0) ERRMSG(50);
  }
  int miss = 0;
  double value = 0.0;
  if (LINBUF.LINE.compare(static_cast<std::size_t>(c.ICOL - 1), 4, "MISS") == 0) {
    miss = 1;
    value = kSelMiss;
    c.ICOL += 4;
  } else {
    RDNUM();
    value = c.RVALUE;
  }
  const int first = icell(GRPTAB(X, NG, gcol::kRecords, IGRP));
  Vec1<double> V = X.from(first - 1);
  // The previous retained vector is compared in place; W is not needed
  // beyond its first word.
  CHKMEM(P + 1);
  SELCNT(V, k, rel, value, miss, X.from(P));
  // The analysed cases are the ones kept.
  GRPTAB(X, NG, gcol::kNobs, IGRP) = V(1);
}

}  // namespace qv::jobctl
