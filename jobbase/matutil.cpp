#include "jobbase/matutil.hpp"

#include <cmath>
#include <span>
#include <vector>

#include "jobbase/errmsg.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/workspace.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/packidx.hpp"
#include "numlib/distrib.hpp"
#include "numlib/inverse.hpp"
#include "runtime/units.hpp"

namespace qv::jobbase {

using runtime::kStdout;
using runtime::packed_index;
using runtime::packed_offset;
using runtime::packed_size;

namespace {
// A selected variable number must name one of the n variables.
int selected(double s, int n) {
  const int v = static_cast<int>(s);
  if (v < 1 || v > n) ERRMSG(125);
  return v;
}
}  // namespace

void MPROD(Vec1<double> A, int p, int lda, Vec1<double> B, int k, int m, Vec1<double> C) {
  for (int l = 1; l <= p; ++l) {
    for (int i = 1; i <= m; ++i) {
      double& c = C((l - 1) * m + i);
      c = 0.0;
      for (int j = 1; j <= k; ++j) c += B((j - 1) * m + i) * A((l - 1) * lda + j);
    }
  }
}

void MTPROD(Vec1<double> A, int p, int lda, Vec1<double> B, int m, int k, Vec1<double> C) {
  for (int l = 1; l <= p; ++l) {
    for (int i = 1; i <= m; ++i) {
      double& c = C((l - 1) * m + i);
      c = 0.0;
      for (int j = 1; j <= k; ++j) c += B((i - 1) * k + j) * A((l - 1) * lda + j);
    }
  }
}

namespace {
template <class T>
void transpose_through(Vec1<T> A, int m, int n, Vec1<T> W) {
  // A: n x m with ld n.  W receives the m x n transpose with ld m.
  for (int c = 1; c <= m; ++c)
    for (int r = 1; r <= n; ++r) W((r - 1) * m + c) = A((c - 1) * n + r);
  for (int k = 1; k <= m * n; ++k) A(k) = W(k);
}
}  // namespace

void DTRNSP(Vec1<double> A, int m, int n, Vec1<double> W) { transpose_through(A, m, n, W); }
void ITRNSP(Vec1<int> A, int m, int n, Vec1<int> W) { transpose_through(A, m, n, W); }

void TRNSPI(Vec1<double> A, int m, int n, int mn, Vec1<int> move, int iwrk, int& iok) {
  iok = 0;
  if (m < 2 || n < 2) return;  // a vector has the same layout either way
  if (mn != m * n) {
    iok = 1;
    return;
  }
  if (iwrk <= 0) {
    iok = 2;
    return;
  }
  if (m == n) {
    for (int j = 1; j <= n; ++j)
      for (int i = j + 1; i <= n; ++i) std::swap(A((j - 1) * n + i), A((i - 1) * n + j));
    return;
  }
  // A small matrix goes through a copy on the stack: element (i, j) of the
  // m x n matrix, word i + j*m, moves to word j + i*n of the transpose, the
  // same permutation as the cycles below without their modulus arithmetic
  // (the formula machine transposes such matrices at every evaluation).
  constexpr int kOnStack = 1024;
  if (mn <= kOnStack) {
    double copy[kOnStack];
    for (int q = 0; q < mn; ++q) copy[q] = A(q + 1);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < m; ++i) A(j + i * n + 1) = copy[i + j * m];
    return;
  }
  // Word q (0-based, 0 < q < mn-1) of the m x n matrix holds element
  // (q mod m, q div m); in the n x m transpose that element lies at
  // (q * n) mod (mn - 1).  Each cycle of this permutation is rotated once,
  // starting from its smallest word; move(s) marks cycles started at s <= iwrk.
  const long long last = static_cast<long long>(mn) - 1;
  for (int s = 1; s <= iwrk; ++s) move(s) = 0;
  auto dest = [&](long long q) { return (q * n) % last; };
  for (long long s = 1; s < last; ++s) {
    if (s <= iwrk && move(static_cast<int>(s)) != 0) continue;
    // Is s the smallest word of its cycle?  (Only needed past the marks.)
    long long q = dest(s);
    bool first = true;
    long long len = 1;
    while (q != s) {
      if (q < s) {
        first = false;
        break;
      }
      q = dest(q);
      if (++len > last) {
        iok = -1;
        return;
      }
    }
    if (!first) continue;
    // Rotate the cycle: the value at s goes to dest(s), and so on.
    double carried = A(static_cast<int>(s) + 1);
    q = s;
    do {
      const long long to = dest(q);
      std::swap(carried, A(static_cast<int>(to) + 1));
      if (to <= iwrk) move(static_cast<int>(to)) = 1;
      q = to;
    } while (q != s);
  }
}

void IDENT(Vec1<double> A, int n) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) A((j - 1) * n + i) = i == j ? 1.0 : 0.0;
}

void IDNULL(Vec1<double> A, int m, int n) {
  for (int f = 1; f <= m; ++f)
    for (int l = 1; l <= n; ++l) A((f - 1) * n + l) = (l - f == n - m) ? 1.0 : 0.0;
}

void REORD(Vec1<double> v, int n, Vec1<double> sel, int m, Vec1<double> W) {
  if (m > n) ERRMSG(8);
  for (int i = 1; i <= m; ++i) W(i) = v(selected(sel(i), n));
  for (int i = 1; i <= m; ++i) v(i) = W(i);
}

void SYMUNP(Vec1<double> P, int n, Vec1<double> sel, int m, Vec1<double> W) {
  if (m > n) ERRMSG(8);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) W((j - 1) * n + i) = P(runtime::packed_index_sym(i, j));
  for (int i = 1; i <= m; ++i) {
    const int si = selected(sel(i), n);
    for (int j = 1; j <= i; ++j) {
      const int sj = selected(sel(j), n);
      P(packed_index(i, j)) = W((sj - 1) * n + si);
    }
  }
}

void SYMPAK(Vec1<double> P, int n, Vec1<double> sel, int m, Vec1<double> W1, Vec1<double> W2,
            int withdiag) {
  if (m <= 1 && withdiag == 0) ERRMSG(9);
  // Number the statistics of the n variables in packed order.
  int num = 0;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= i; ++j) W1(packed_index(i, j)) = (i == j && withdiag != 1) ? 0.0 : ++num;
  const int q = num;
  // The numbers of the statistics that the selected variables keep.
  SYMUNP(W1, n, sel, m, W2);
  int c = 0;
  for (int k = 1; k <= packed_size(m); ++k)
    if (W1(k) != 0.0) W1(++c) = W1(k);
  SYMUNP(P, q, W1, c, W2);
}

void CPYVEC(Vec1<double> a, Vec1<double> b, int n) {
  for (int i = 1; i <= n; ++i) a(i) = b(i);
}

void DTOI(Vec1<int> iv, Vec1<double> dv, int n) {
  for (int i = 1; i <= n; ++i) iv(i) = static_cast<int>(dv(i));
}

void ZEROD(Vec1<double> v, int n) {
  for (int i = 1; i <= n; ++i) v(i) = 0.0;
}

void ZEROI(Vec1<int> v, int n) {
  for (int i = 1; i <= n; ++i) v(i) = 0;
}

int ISQRT(int n, int& k, int& flag) {
  if (n < 1) {
    // No positive root to divide by.
    k = 0;
    flag = 1;
    return flag;
  }
  k = static_cast<int>(std::sqrt(static_cast<double>(n)));
  flag = n % k != 0 ? 1 : 0;
  return flag;
}

int TRIORD(int p, int& n, int& flag) {
  const long long t = 8LL * p + 1;
  if (t < 1) {
    n = 0;
    flag = 1;
    return flag;
  }
  const long long k = static_cast<long long>(std::sqrt(static_cast<double>(t)));
  flag = t % k != 0 ? 1 : 0;
  n = static_cast<int>(k / 2);
  return flag;
}

void COVCOR(Vec1<double> X, int n, int a, int w) {
  for (int i = 1; i <= n; ++i) {
    const double di = X(a + packed_offset(i, i));
    for (int j = 1; j <= i; ++j) {
      const double dj = X(a + packed_offset(j, j));
      X(w + packed_offset(i, j)) = X(a + packed_offset(i, j)) / std::sqrt(di * dj);
    }
  }
  for (int k = 0; k < packed_size(n); ++k) X(a + k) = X(w + k);
}

int ISSYM(Vec1<double> A, int n, int m) {
  for (int j = 1; j <= m; ++j)
    for (int i = j + 1; i <= n; ++i)
      if (A((j - 1) * n + i) != A((i - 1) * n + j)) return 0;
  return 1;
}

int DIAG1(Vec1<double> P, int n) {
  for (int i = 1; i <= n; ++i)
    if (P(packed_index(i, i)) != 1.0) return 0;
  return 1;
}

int CNTGT(double x, Vec1<double> v, int n) {
  int c = 0;
  for (int i = 1; i <= n; ++i)
    if (x > v(i)) ++c;
  return c;
}

void ORD2(int& a, int& b) {
  if (b < a) std::swap(a, b);
}

int ELPOSV(Vec1<double> X, int g, int /*unused*/, int L, int& i, int& j, int& rows, int& cols,
           int& type) {
  const int idx = ELADDR(X, g, L, i, j, 1, rows, cols, type);
  return X(idx) > 0.0 ? 1 : 0;
}

void NXTELM(int& i, int& j, int n, int m, int type) {
  auto next_row_after = [&](int lastcol) {
    j += 1;
    if (j > lastcol) {
      i += 1;
      j = 1;
    }
  };
  // Full and computed matrices run over whole rows, diagonal ones along the
  // diagonal, the triangles over the row up to the diagonal.
  if (type == kTypeFull || type <= kTypeComputed) {
    next_row_after(m);
  } else if (type == kTypeDiag) {
    i += 1;
    j += 1;
  } else if (type == kTypeSubdiag || type == kTypeStand) {
    next_row_after(i - 1);
  } else if (type == kTypeSym || type == kTypeLower) {
    next_row_after(i);
  }
  if (i > n || j > m) ERRMSG(209);
}

void BLANKS(int n) {
  for (int k = 1; k <= n; ++k) runtime::write_list(kStdout, {});
}

void PATUPD(Vec1<double> P) {
  const int r = static_cast<int>(P(1));
  int pos = 2;  // record k
  for (int k = 1; k < r; ++k) {
    const int c = static_cast<int>(P(pos));
    const int next = pos + 2 * c + 2;  // record k+1
    const int c1 = static_cast<int>(P(next));
    double& flag1 = P(next + 1);
    if (flag1 == 0.0 || flag1 == 2.0) {
      // Only variables that both records hold can be compared.
      const int cc = std::min(c, c1);
      for (int v = 1; v <= cc; ++v) {
        const double code = P(pos + 1 + v);
        if (code > 0.0 && P(pos + 1 + c + v) != P(next + 1 + c1 + v)) {
          flag1 += 1.0;
          break;
        }
      }
    }
    pos = next;
  }
}

double NDENS(double x, double c) {
  const double e = -x * x / 2.0 - 0.9189385332046728 - c;
  return e > -87.0 ? std::exp(e) : 0.0;
}

void IDROWS(Vec1<double> A, int m, int n) {
  for (int f = 1; f <= m; ++f)
    for (int l = 1; l <= n; ++l) A((f - 1) * n + l) = f == l ? 1.0 : 0.0;
}

void PRPAIR(Vec1<double> X, int first, int last) {
  std::vector<runtime::Out> items;
  for (int i = first; i <= last; ++i) {
    items.emplace_back(i);
    items.emplace_back(X(i));
  }
  if (!items.empty()) runtime::write_fmt(kStdout, "(4(1x,i4,1x,d13.6))", std::span<const runtime::Out>(items));
}

void RESHAP(Vec1<double> A, int a, int b, Vec1<double> W) {
  int k = 0;
  for (int i = 1; i <= a; ++i)
    for (int j = 1; j <= b; ++j) W(++k) = A((j - 1) * a + i);
  k = 0;
  for (int j = 1; j <= b; ++j)
    for (int i = 1; i <= a; ++i) A((j - 1) * a + i) = W(++k);
}

void NAMCLS(std::span<const std::string> names, std::string_view name, int n) {
  for (int k = 0; k < n && static_cast<std::size_t>(k) < names.size(); ++k)
    if (runtime::feq(runtime::fpad(names[static_cast<std::size_t>(k)], 32), runtime::fpad(name, 32)))
      ERRMSG(215);
}

void PAKTRI(Vec1<double> A, int n, int m, Vec1<double> v, int& count) {
  if (m != n) ERRMSG(29);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= j; ++i) v(++count) = A((j - 1) * n + i);
}

void GRPCHK() {
  if (!MAINPR.GRPSEL) ERRMSG(162);
  // The chosen group must be one of the job's: its columns are about to be
  // written.
  if (MAINPR.IGRP < 1 || MAINPR.IGRP > MAINPR.NG) ERRMSG(117);
}

float normal_tail(double x, int upper) {
  int ifail = 1;
  const double p = upper != 0 ? numlib::PNORMUP(x, ifail) : numlib::PNORMLO(x, ifail);
  return static_cast<float>(p);
}

void transposed_product(Vec1<double> A, int m, int n, Vec1<double> B, int p, int q, Vec1<double> W) {
  if (m < 1 || n < 1 || p < 1 || q < 1 || q != m) ERRMSG(33);
  DTRNSP(A, n, m, W);
  DTRNSP(B, q, p, W);
  const auto words = [](Vec1<double> v, int count) {
    return std::span<double>(v.ptr(1), static_cast<std::size_t>(count));
  };
  double unused = 0.0;
  int ifail = 1;
  numlib::F01CKF(words(W, n * p), words(A, n * m), words(B, q * p), n, p, m, std::span<double>(&unused, 1), 1, 1,
                 ifail);
  if (ifail != 0) ERRMSG(33);
}

void copy_matrix_storage(Vec1<double> X, int type, int rows, int cols, int source, int type2, int rows2,
                         int cols2, int target) {
  if (type == type2) {
    if (rows != rows2 || cols != cols2) ERRMSG(26);
    int t = type;
    const int e = NELEM(t, rows, cols);
    // Specification numbers and values, a word at a time (the two may overlap).
    if (target < source) {
      for (int k = 0; k < 2 * e; ++k) X(target + k) = X(source + k);
    } else {
      for (int k = 2 * e - 1; k >= 0; --k) X(target + k) = X(source + k);
    }
    return;
  }
  if (type == kTypeFull && (type2 == kTypeSym || type2 == kTypeLower)) {
    if (rows != cols || rows2 != rows || cols2 != cols) ERRMSG(26);
    int t = type2;
    const int e2 = NELEM(t, rows2, cols2);
    t = type;
    const int e = NELEM(t, rows, cols);
    // The full matrix is stored row by row, the triangle by rows too.
    for (int i = 1; i <= rows; ++i) {
      for (int j = 1; j <= i; ++j) {
        const int from = (i - 1) * cols + j - 1;
        const int to = packed_index(i, j) - 1;
        X(target + to) = X(source + from);
        X(target + e2 + to) = X(source + e + from);
      }
    }
    return;
  }
  ERRMSG(28);
}

void copy_group_parameters(Vec1<double> X, Vec1<int> IX, int g, int NG, Vec1<const double> values) {
  if (g < 1 || g > NG) return;
  const int map = IX(g + 1);
  const int pairs = map >= 1 ? IX(map) : 0;
  for (int k = 1; k <= pairs; ++k) {
    const int number = IX(map + 2 * k - 1);
    const int word = IX(map + 2 * k);
    if (number >= 1 && number <= values.extent()) X(word) = values(number);
  }
}

void delimiter_class(int& pos, int& kind) {
  auto& c = CURSOR;
  for (;;) {
    if (c.ICOL == 0) {
      pos = 0;
      kind = 0;
      return;
    }
    while (c.ICOL <= c.LLEN && chr(c.ICOL) == ' ') ++c.ICOL;
    if (c.ICOL <= c.LLEN) break;
    RDLINE();
  }
  pos = c.ICOL;
  const char ch = chr(c.ICOL);
  kind = (ch == '/' || ch == ';') ? 2 : 1;
}

int same_value(int a) { return a; }

double second_word(Vec1<const double> record) { return record(2); }

int bit_and(int a, int b) { return a & b; }

void set_flag() { SETFLG.FLAG = 1; }

void do_nothing() {}

}  // namespace qv::jobbase
