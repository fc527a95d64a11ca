// Rotation and triangular-factor kernels.
#include "optim/rotations.hpp"

#include <algorithm>
#include <cctype>

#include "runtime/view1.hpp"

namespace qv::optim {

using runtime::Mat1;
using runtime::Vec1;

namespace {

inline char letter(std::string_view opt) {
  return opt.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(opt[0])));
}

}  // namespace

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
        const double ck = cv(k);
        const double sk = sv(k);
        const double x = A(p, j);
        const double y = A(q, j);
        A(p, j) = ck * x + sk * y;
        A(q, j) = ck * y - sk * x;
      }
    }
  } else {
    // Columns p and q of every row; the identity rotation is skipped.
    int k = kfirst;
    for (int t = 0; t < count; ++t, k += kstep) {
      const double ck = cv(k);
      const double sk = sv(k);
      if (ck == 1.0 && sk == 0.0) continue;
      int p, q;
      pair_of(k, p, q);
      for (int i = 1; i <= m; ++i) {
        const double x = A(i, p);
        const double y = A(i, q);
        A(i, p) = ck * x + sk * y;
        A(i, q) = ck * y - sk * x;
      }
    }
  }
}

}  // namespace qv::optim
