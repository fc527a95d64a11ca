#include "jobbase/workspace.hpp"

#include <algorithm>
#include <climits>

#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::jobbase {

using runtime::kStdout;
using runtime::write_list;

std::string Labtab::get(int k) const {
  if (k < 1 || k > NFILL) return std::string(kLabLen, ' ');
  return std::string(T.data() + static_cast<std::size_t>(k - 1) * kLabLen, kLabLen);
}

void Labtab::put(int k, std::string_view text) {
  CHKLAB(k);
  if (k > NFILL) {
    // Slots NFILL+1..k-1 may hold text of an earlier job: blank them now
    // that they become valid.
    std::fill(T.begin() + static_cast<std::ptrdiff_t>(NFILL) * kLabLen,
              T.begin() + static_cast<std::ptrdiff_t>(k - 1) * kLabLen, ' ');
    NFILL = k;
  }
  char* p = T.data() + static_cast<std::size_t>(k - 1) * kLabLen;
  for (int i = 0; i < kLabLen; ++i)
    p[i] = static_cast<std::size_t>(i) < text.size() ? text[static_cast<std::size_t>(i)] : ' ';
}

void CHKLAB(int k) {
  if (k >= 1 && k <= kLabSlots) return;
  write_list(kStdout, {" Available label slots", kLabSlots});
  write_list(kStdout, {" Problem needs over ", k});
  ERRMSG(119);
}

void CHKMEM(int top) {
  auto& m = MAINPR;
  if (top > m.WSLIM) {
    write_list(kStdout, {" Available memory (double precision words)", m.WSLIM});
    write_list(kStdout, {" Problem needs over ", top});
    ERRMSG(119);
  }
  m.WSMAXD = std::max(m.WSMAXD, top);
}

void check_room(long long last) {
  if (last > MAINPR.WSLIM) {
    write_list(kStdout, {" Available memory (double precision words)", MAINPR.WSLIM});
    write_list(kStdout, {" Problem needs over ", last});
    ERRMSG(119);
  }
  if (last >= 1) CHKMEM(static_cast<int>(last));
}

void CHKIMEM(int top) {
  auto& m = MAINPR;
  if (top > m.WSLIM) {
    write_list(kStdout, {" Available memory for integers ", m.WSLIM});
    write_list(kStdout, {" Problem needs over ", top});
    ERRMSG(119);
  }
  m.WSMAXI = std::max(m.WSMAXI, top);
}

void INITGP(Vec1<int> IX, int NG) {
  // The integer group table ends at IX(2 + 10*NG + NG); refuse a count of
  // groups whose table would not fit before writing any of it.
  const long long top = 11LL * NG + 3;
  CHKIMEM(static_cast<int>(std::min<long long>(top, INT_MAX)));
  for (int g = 1; g <= NG; ++g) {
    IGRPTB(IX, NG, igcol::kIntervals, g) = 0;
    IGRPTB(IX, NG, igcol::kLinks, g) = 0;
    IGRPTB(IX, NG, igcol::kModels, g) = 1;
  }
  MAINPR.IWSTOP = static_cast<int>(top);
}

int NELEM(int& type, int rows, int cols) {
  if (type == kTypeCompRef || type == kTypeComputed || type == kTypeViewFull) type = kTypeFull;
  if (type == kTypeViewSym) type = kTypeSym;
  const long long r = rows;
  long long n;
  if (type < kTypeDiag) {
    n = 0;
  } else if (type == kTypeDiag) {
    n = r;
  } else if (type == kTypeSym || type == kTypeLower) {
    n = runtime::packed_size(r);
  } else if (type == kTypeFull) {
    n = r * cols;
  } else if (type == kTypeUnit) {
    n = 0;
  } else {
    n = runtime::strict_size(r);
  }
  // A count beyond the integer range cannot fit the workspace anyway; the
  // largest integer makes the caller's CHKMEM refuse it.
  return static_cast<int>(std::clamp<long long>(n, INT_MIN, INT_MAX));
}

GroupView current_group() { return GroupView{WORKSP.x(), MAINPR.NG, MAINPR.IGRP}; }

namespace {
// Base of group g's matrix table, 0 when the group has none yet.
int mattab_base(Vec1<double> X, int g, int NG) {
  return GroupView{X, NG, g}.B();
}
}  // namespace

void MATDSC(Vec1<double> X, int g, int NG, int L, int& addr, int& type, int& rows, int& cols,
            int& nel, int& fifth, int keep) {
  const int B = mattab_base(X, g, NG);
  if (B < 1) {
    // A group without a matrix table has no matrices.
    addr = 0;
    type = kTypeUndeclared;
    rows = 0;
    cols = 0;
    nel = 0;
    fifth = 0;
    return;
  }
  const int stored = icell(MTTYPE(X, B, L));
  type = stored;
  rows = icell(MTROWS(X, B, L));
  cols = icell(MTCOLS(X, B, L));
  addr = icell(MTADDR(X, B, L));
  fifth = icell(MTLABL(X, B, L));
  nel = NELEM(type, rows, cols);
  if (keep == 0) type = stored;
}

void GRPLST(Vec1<double> X, int g, int NG, int& WSTOP) {
  const int B = mattab_base(X, g, NG);
  const int left_out = GroupView{X, NG, g}.icol(gcol::kRawLetter);
  std::array<int, 26> letters{};
  int count = 0;
  if (B >= 1) {
    for (int L = 1; L <= 26; ++L) {
      const int type = icell(MTTYPE(X, B, L));
      if (parameter_type(type) && L != left_out) letters[static_cast<std::size_t>(count++)] = L;
    }
  }
  CHKMEM(WSTOP + count);
  GRPTAB(X, NG, gcol::kParList, g) = WSTOP;
  X(WSTOP) = count;
  for (int i = 1; i <= count; ++i) X(WSTOP + i) = letters[static_cast<std::size_t>(i - 1)];
  WSTOP += count + 1;
}

void ADDMAT(Vec1<double> X, int g, int NG, int& RDPTR, int slot, int code, int& where) {
  const int B = mattab_base(X, g, NG);
  CHKMEM(RDPTR + 1);
  MTFSLT(X, B, code) = RDPTR;
  where = RDPTR;
  X(RDPTR) = slot;
  X(RDPTR + 1) = slot;
  RDPTR += 2;
}

void ALLOCI(Vec1<int> IX, int NG, int g, int key, int v1, int v2, int& IWSTOP) {
  int& head = IGRPTB(IX, NG, igcol::kLinks, g);
  if (head == 0) {
    // The list holds its count and 26 entries of three words.
    CHKIMEM(IWSTOP + kLinkWords - 1);
    head = IWSTOP;
    IX(head) = 0;
    IWSTOP += kLinkWords;
  }
  const int a = head;
  const int n = IX(a);
  for (int e = 1; e <= n; ++e) {
    const int p = a + 3 * (e - 1) + 1;
    if (IX(p) == key) {
      IX(p + 1) = v1;
      IX(p + 2) = v2;
      return;
    }
  }
  if (n >= kMaxLinks) {
    ERRMSG(212);
  }
  const int p = a + 3 * n + 1;
  IX(p) = key;
  IX(p + 1) = v1;
  IX(p + 2) = v2;
  IX(a) = n + 1;
}

void DELENT(Vec1<int> IX, int NG, int g, int key) {
  const int a = IGRPTB(IX, NG, igcol::kLinks, g);
  if (a == 0) return;
  const int n = IX(a);
  for (int e = 1; e <= n; ++e) {
    const int p = a + 3 * (e - 1) + 1;
    if (IX(p) == key) {
      const int last = a + 3 * (n - 1) + 1;
      IX(p) = IX(last);
      IX(p + 1) = IX(last + 1);
      IX(p + 2) = IX(last + 2);
      IX(a) = n - 1;
      return;
    }
  }
}

}  // namespace qv::jobbase
