// Rotation and triangular-factor kernels.
#include "optkern/rotations.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "optkern/kernels.hpp"
#include "optkern/machine.hpp"
#include "runtime/view1.hpp"

namespace qv::optkern {

using runtime::Mat1;
using runtime::Vec1;

namespace {

inline char letter(std::string_view opt) {
  return opt.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(opt[0])));
}

// The common guard of the rotation kernels.
inline bool out_of_range(int n, int k1, int k2) { return std::min(n, k1) < 1 || k1 >= k2 || k2 > n; }

// ROTGEN of (a, b): a becomes r, and c and s are returned.  It works on
// copies, so that c or s may be the array element b came from.
inline void generate(double& a, double b, double& c, double& s) {
  double r = a, cc = 0.0, ss = 0.0;
  ROTGEN(r, b, cc, ss);
  a = r;
  c = cc;
  s = ss;
}

// ROTGEN of (a, b) with the rotation stored for use from the right: cs := c,
// sn := -s.  b is taken by value, so sn may be the element b came from.
inline void generate_for_right(double& a, double b, double& cs, double& sn) {
  double c = 0.0, s = 0.0;
  generate(a, b, c, s);
  cs = c;
  sn = -s;
}

// The identity rotation (1, 0), by exact comparison: the kernels skip it.
inline bool is_identity(double c, double s) { return c == 1.0 && s == 0.0; }

// The rotation (c, s) of the pair (x, y): x' = c*x + s*y, y' = c*y - s*x.
inline void rotate(double c, double s, double& x, double& y) {
  const double x0 = x;
  const double y0 = y;
  x = c * x0 + s * y0;
  y = c * y0 - s * x0;
}

// The rotation (c, s) from the right on columns p (first member) and q, in
// rows i1..i2.
inline void rotate_columns(const Mat1<double>& A, int i1, int i2, int p, int q, double c, double s) {
  for (int i = i1; i <= i2; ++i) rotate(c, s, A(i, p), A(i, q));
}

// Carries the element `carried` of column j upward through the rotations
// i = top down to k1 on rows (i, i+1), and stores what remains in A(k1, j).
inline void carry_up(const Mat1<double>& A, const Vec1<double>& C, const Vec1<double>& S, int j, int k1, int top,
                     double carried) {
  for (int i = top; i >= k1; --i) {
    const double x = A(i, j);
    A(i + 1, j) = C(i) * carried - S(i) * x;
    carried = C(i) * x + S(i) * carried;
  }
  A(k1, j) = carried;
}

template <class PermAt>
void permute(char sd, char tr, int n, int k, const Mat1<double>& B, PermAt perm_at) {
  if (std::min(n, k) == 0) return;
  auto swap_rows = [&](int r1, int r2) {
    for (int j = 1; j <= k; ++j) std::swap(B(r1, j), B(r2, j));
  };
  auto swap_cols = [&](int c1, int c2) {
    for (int i = 1; i <= k; ++i) std::swap(B(i, c1), B(i, c2));
  };
  if (sd == 'L' && tr == 'T') {
    for (int i = 1; i <= n; ++i) {
      const int p = perm_at(i);
      if (p != i) swap_rows(i, p);
    }
  } else if (sd == 'L' && tr == 'N') {
    for (int i = n; i >= 1; --i) {
      const int p = perm_at(i);
      if (p != i) swap_rows(p, i);
    }
  } else if (sd == 'R' && tr == 'T') {
    for (int i = n; i >= 1; --i) {
      const int p = perm_at(i);
      if (p != i) swap_cols(i, p);
    }
  } else if (sd == 'R' && tr == 'N') {
    for (int i = 1; i <= n; ++i) {
      const int p = perm_at(i);
      if (p != i) swap_cols(p, i);
    }
  }
}

}  // namespace

void MATCPY(std::string_view shape, int m, int n, std::span<const double> a, int lda, std::span<double> b,
            int ldb) {
  const char sh = letter(shape);
  const Mat1<const double> A(a, lda);
  const Mat1<double> B(b, ldb);
  if (sh == 'G') {
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= m; ++i) B(i, j) = A(i, j);
  } else if (sh == 'U') {
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= std::min(j, m); ++i) B(i, j) = A(i, j);
  } else if (sh == 'L') {
    for (int j = 1; j <= std::min(m, n); ++j)
      for (int i = j; i <= m; ++i) B(i, j) = A(i, j);
  }
}

double MATNRM(std::string_view norm, std::string_view shape, int m, int n, std::span<const double> a, int lda) {
  if (std::min(m, n) <= 0) return 0.0;
  const char nm = letter(norm);
  const char sh = letter(shape);
  const bool upper_sym = sh == 'S' || sh == 'H';
  const bool lower_sym = sh == 'E' || sh == 'Y';
  if (sh != 'G' && sh != 'U' && sh != 'L' && !upper_sym && !lower_sym) return 0.0;
  const Mat1<const double> A(a, lda);

  if (nm == '1' || nm == 'O') {
    double best = 0.0;
    for (int j = 1; j <= n; ++j) {
      double sum = 0.0;
      if (sh == 'G') {
        for (int i = 1; i <= m; ++i) sum += std::abs(A(i, j));
      } else if (sh == 'U') {
        for (int i = 1; i <= std::min(j, m); ++i) sum += std::abs(A(i, j));
      } else if (sh == 'L') {
        if (j <= std::min(m, n))
          for (int i = j; i <= m; ++i) sum += std::abs(A(i, j));
      } else if (upper_sym) {
        for (int i = 1; i <= j; ++i) sum += std::abs(A(i, j));
        for (int k = j + 1; k <= n; ++k) sum += std::abs(A(j, k));
      } else {
        for (int k = 1; k <= j - 1; ++k) sum += std::abs(A(j, k));
        for (int i = j; i <= n; ++i) sum += std::abs(A(i, j));
      }
      best = std::max(best, sum);
    }
    return best;
  }

  if (nm == 'M') {
    double best = 0.0;
    if (sh == 'G') {
      for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= m; ++i) best = std::max(best, std::abs(A(i, j)));
    } else if (sh == 'L' || lower_sym) {
      for (int j = 1; j <= std::min(m, n); ++j)
        for (int i = j; i <= m; ++i) best = std::max(best, std::abs(A(i, j)));
    } else {
      for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= std::min(j, m); ++i) best = std::max(best, std::abs(A(i, j)));
    }
    return best;
  }

  if (nm == 'E' || nm == 'F') {
    // The scaled sum of squares of the vector kernels, rows i1..i2 of column j at a time.
    double scale = 0.0;
    double sum = 1.0;
    auto add = [&](int j, int i1, int i2) {
      if (i1 <= i2) SSQUPD(i2 - i1 + 1, A.col(j).from(i1).span(), 1, scale, sum);
    };
    if (sh == 'G') {
      for (int j = 1; j <= n; ++j) add(j, 1, m);
    } else if (sh == 'U') {
      for (int j = 1; j <= n; ++j) add(j, 1, std::min(j, m));
    } else if (sh == 'L') {
      for (int j = 1; j <= std::min(m, n); ++j) add(j, j, m);
    } else {
      if (upper_sym) {
        for (int j = 2; j <= n; ++j) add(j, 1, j - 1);
      } else {
        for (int j = 1; j <= n - 1; ++j) add(j, j + 1, n);
      }
      sum = 2.0 * sum;
      SSQUPD(n, a, lda + 1, scale, sum);  // the diagonal
    }
    return SSQNRM(scale, sum);
  }
  return 0.0;
}

void MATSET(std::string_view shape, int m, int n, double cnst, double diag, std::span<double> a, int lda) {
  const char sh = letter(shape);
  const Mat1<double> A(a, lda);
  if (sh == 'G') {
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= m; ++i) A(i, j) = cnst;
  } else if (sh == 'U') {
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= std::min(j, m); ++i) A(i, j) = cnst;
  } else if (sh == 'L') {
    for (int j = 1; j <= std::min(m, n); ++j)
      for (int i = j; i <= m; ++i) A(i, j) = cnst;
  }
  if (diag != cnst)
    for (int i = 1; i <= std::min(m, n); ++i) A(i, i) = diag;
}

void IPERMAP(std::string_view side, std::string_view trans, int n, std::span<const int> perm, int k,
             std::span<double> b, int ldb) {
  const Vec1<const int> P(perm);
  permute(letter(side), letter(trans), n, k, Mat1<double>(b, ldb), [&](int i) { return P(i); });
}

void PERMAP(std::string_view side, std::string_view trans, int n, std::span<const double> perm, int k,
            std::span<double> b, int ldb) {
  const Vec1<const double> P(perm);
  permute(letter(side), letter(trans), n, k, Mat1<double>(b, ldb), [&](int i) { return static_cast<int>(P(i)); });
}

void ROTUP1(std::string_view side, int n, int k1, int k2, std::span<double> sv, std::span<double> a, int lda) {
  if (out_of_range(n, k1, k2)) return;
  const char sd = letter(side);
  const Vec1<double> S(sv);
  const Mat1<double> A(a, lda);
  if (sd == 'L') {
    for (int i = n; i >= k1; --i) {
      if (i >= k2) {
        const double t = A(k2, i);
        for (int r = k2; r >= k1 + 1; --r) A(r, i) = A(r - 1, i);
        A(k1, i) = t;
      } else {
        S(i) = A(i, i);
        for (int r = i; r >= k1 + 1; --r) A(r, i) = A(r - 1, i);
        A(k1, i) = 0.0;
      }
    }
  } else if (sd == 'R') {
    for (int i = k1; i <= k2 - 1; ++i) {
      for (int r = 1; r <= i; ++r) std::swap(A(r, i), A(r, i + 1));
      S(i) = A(i + 1, i + 1);
      A(i + 1, i + 1) = 0.0;
    }
  }
}

void ROTUP2(std::string_view side, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda) {
  if (out_of_range(n, k1, k2)) return;
  const char sd = letter(side);
  const Vec1<double> C(cv);
  const Vec1<double> S(sv);
  const Mat1<double> A(a, lda);
  if (sd == 'L') {
    for (int j = k1; j <= n; ++j) {
      double carried = A(k1, j);
      for (int i = k1; i <= std::min(k2, j) - 1; ++i) {
        const double x = carried;
        const double y = A(i + 1, j);
        A(i, j) = C(i) * x + S(i) * y;
        carried = C(i) * y - S(i) * x;
      }
      if (j < k2) {
        generate(carried, S(j), C(j), S(j));
        A(j, j) = carried;
      } else {
        A(k2, j) = carried;
      }
    }
  } else if (sd == 'R') {
    for (int l = k2 - 1; l >= k1; --l) {
      generate_for_right(A(l + 1, l + 1), S(l), C(l), S(l));
      if (is_identity(C(l), S(l))) continue;
      rotate_columns(A, 1, l, l, l + 1, C(l), S(l));
    }
  }
}

void ROTUP3(std::string_view side, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda) {
  if (out_of_range(n, k1, k2)) return;
  const char sd = letter(side);
  const Vec1<double> C(cv);
  const Vec1<double> S(sv);
  const Mat1<double> A(a, lda);
  if (sd == 'L') {
    for (int l = k1; l <= k2 - 1; ++l) {
      double spike = S(l);
      for (int i = k1; i <= l - 1; ++i) rotate(C(i), S(i), A(i, l), spike);
      generate(A(l, l), spike, C(l), S(l));
    }
    for (int j = k2; j <= n; ++j)
      for (int i = k1; i <= k2 - 1; ++i) rotate(C(i), S(i), A(i, j), A(k2, j));
  } else if (sd == 'R') {
    for (int m = k2; m >= k1 + 1; --m) {
      generate_for_right(A(m, m), S(m - 1), C(m - 1), S(m - 1));
      const double c = C(m - 1);
      const double t = S(m - 1);
      if (is_identity(c, t)) continue;
      // Rows below k1 hold the spike element S(b-1) in place of A(b, k1).
      for (int b = m - 1; b >= k1 + 1; --b) rotate(c, t, S(b - 1), A(b, m));
      rotate_columns(A, 1, k1, k1, m, c, t);
    }
  }
}

void ROTUP4(std::string_view side, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda) {
  if (out_of_range(n, k1, k2)) return;
  const char sd = letter(side);
  const Vec1<double> C(cv);
  const Vec1<double> S(sv);
  const Mat1<double> A(a, lda);
  if (sd == 'L') {
    // The given rotations from the left on the columns to the right of k1.
    for (int j = k1 + 1; j <= n; ++j)
      for (int i = k1; i <= std::min(k2 - 1, j - 1); ++i) rotate(C(i), S(i), A(i, j), A(i + 1, j));
    // Each created sub-diagonal element is removed from the right.
    for (int k = k1; k <= k2 - 1; ++k) {
      const double created = -S(k) * A(k, k);
      A(k, k) = C(k) * A(k, k);
      generate_for_right(A(k + 1, k + 1), created, C(k), S(k));
      if (is_identity(C(k), S(k))) continue;
      rotate_columns(A, 1, k, k, k + 1, C(k), S(k));
    }
  } else if (sd == 'R') {
    for (int k = k2 - 1; k >= k1; --k) {
      if (is_identity(C(k), S(k))) continue;
      rotate_columns(A, 1, k, k, k + 1, C(k), S(k));
      const double created = S(k) * A(k + 1, k + 1);
      A(k + 1, k + 1) = C(k) * A(k + 1, k + 1);
      generate(A(k, k), created, C(k), S(k));
    }
    for (int j = n; j >= k1 + 1; --j) {
      const int top = std::min(j, k2) - 1;
      carry_up(A, C, S, j, k1, top, A(top + 1, j));
    }
  }
}

void ROTUP5(std::string_view side, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda) {
  if (out_of_range(n, k1, k2)) return;
  const char sd = letter(side);
  const Vec1<double> C(cv);
  const Vec1<double> S(sv);
  const Mat1<double> A(a, lda);
  if (sd == 'L') {
    for (int j = n; j >= k1; --j) {
      double carried;
      if (j < k2) {
        carried = C(j) * A(j, j);
        S(j) = -S(j) * A(j, j);
      } else {
        carried = A(k2, j);
      }
      carry_up(A, C, S, j, k1, std::min(j, k2) - 1, carried);
    }
  } else if (sd == 'R') {
    for (int k = k1; k <= k2 - 1; ++k) {
      if (is_identity(C(k), S(k))) continue;
      rotate_columns(A, 1, k, k, k + 1, C(k), S(k));
      S(k) = S(k) * A(k + 1, k + 1);
      A(k + 1, k + 1) = C(k) * A(k + 1, k + 1);
    }
  }
}

void ROTUP6(std::string_view side, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda) {
  if (out_of_range(n, k1, k2)) return;
  const char sd = letter(side);
  const Vec1<double> C(cv);
  const Vec1<double> S(sv);
  const Mat1<double> A(a, lda);
  if (sd == 'L') {
    for (int j = n; j >= k2; --j)
      for (int i = k2 - 1; i >= k1; --i) rotate(C(i), S(i), A(i, j), A(k2, j));
    for (int k = k2 - 1; k >= k1; --k) {
      double spike = -S(k) * A(k, k);
      A(k, k) = C(k) * A(k, k);
      for (int i = k - 1; i >= k1; --i) rotate(C(i), S(i), A(i, k), spike);
      S(k) = spike;
    }
  } else if (sd == 'R') {
    for (int j = k1 + 1; j <= k2; ++j) {
      const double c = C(j - 1);
      const double s = S(j - 1);
      if (is_identity(c, s)) continue;
      rotate_columns(A, 1, k1, k1, j, c, s);
      // Rows below k1 hold the spike element S(i-1) in place of A(i, k1).
      for (int i = k1 + 1; i <= j - 1; ++i) rotate(c, s, S(i - 1), A(i, j));
      S(j - 1) = s * A(j, j);
      A(j, j) = c * A(j, j);
    }
  }
}

void ROTCRM(std::string_view mode, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda) {
  if (out_of_range(n, k1, k2)) return;
  const char md = letter(mode);
  const Vec1<double> C(cv);
  const Vec1<double> S(sv);
  const Mat1<double> A(a, lda);
  if (md == 'C') {
    for (int k = k1; k <= k2 - 1; ++k) {
      const double c = C(k);
      const double s = S(k);
      if (is_identity(c, s)) continue;
      S(k) = s * A(n - k, k + 1);
      A(n - k, k + 1) = c * A(n - k, k + 1);
      rotate_columns(A, n - k + 1, n, k, k + 1, c, s);
    }
  } else if (md == 'R') {
    for (int k = k2 - 1; k >= k1; --k) {
      generate_for_right(A(n - k, k + 1), S(k), C(k), S(k));
      if (is_identity(C(k), S(k))) continue;
      rotate_columns(A, n - k + 1, n, k, k + 1, C(k), S(k));
    }
  }
}

void ROTSAP(std::string_view side, std::string_view pivot, std::string_view direction, int m, int n,
            int k1, int k2, std::span<const double> c, std::span<const double> s, std::span<double> a,
            int lda) {
  const char sd = letter(side);
  const char pv = letter(pivot);
  const char dr = letter(direction);
  if (std::min({m, n, k1}) < 1 || k1 >= k2) return;
  if (sd == 'L') {
    if (k2 > m) return;
  } else if (sd == 'R') {
    if (k2 > n) return;
  } else {
    return;
  }
  if (pv != 'V' && pv != 'T' && pv != 'B') return;
  if (dr != 'F' && dr != 'B') return;

  const Vec1<const double> cv(c);
  const Vec1<const double> sv(s);
  const Mat1<double> A(a, lda);

  // The pair (first, second member) that rotation k acts on.
  auto pair_of = [&](int k, int& p, int& q) {
    if (pv == 'V') {
      p = k;
      q = k + 1;
    } else if (pv == 'T') {
      p = k1;
      q = k + 1;
    } else {
      p = k;
      q = k2;
    }
  };
  const int kfirst = dr == 'F' ? k1 : k2 - 1;
  const int kstep = dr == 'F' ? 1 : -1;
  const int count = k2 - k1;

  if (sd == 'L') {
    // Rows p and q of every column; every rotation is applied.
    for (int j = 1; j <= n; ++j) {
      int k = kfirst;
      for (int t = 0; t < count; ++t, k += kstep) {
        int p, q;
        pair_of(k, p, q);
        rotate(cv(k), sv(k), A(p, j), A(q, j));
      }
    }
  } else {
    // Columns p and q of every row; the identity rotation is skipped.
    int k = kfirst;
    for (int t = 0; t < count; ++t, k += kstep) {
      const double ck = cv(k);
      const double sk = sv(k);
      if (is_identity(ck, sk)) continue;
      int p, q;
      pair_of(k, p, q);
      rotate_columns(A, 1, m, p, q, ck, sk);
    }
  }
}

}  // namespace qv::optkern
