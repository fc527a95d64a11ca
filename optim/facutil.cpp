// Products with the working-set factors and modifications of the triangular
// factor.
#include "optim/facutil.hpp"

#include <algorithm>

#include "optkern/kernels.hpp"
#include "optkern/rotations.hpp"
#include "runtime/view1.hpp"

namespace qv::optim {

using namespace optkern;
using runtime::Mat1;
using runtime::Vec1;

void FACMUL(int mode, int n, int nZ, int nfree, int ldQ, bool unitQ, std::span<const int> kx,
            std::span<double> v, std::span<const double> q, std::span<double> w) {
  int j1 = 1;
  int j2 = nfree;
  if (mode == 1 || mode == 4) {
    j2 = nZ;
  } else if (mode == 2 || mode == 5 || mode == 7) {
    j1 = nZ + 1;
  }
  const Vec1<const int> KX(kx);
  const Vec1<double> V(v);
  const Vec1<double> W(w);
  const Mat1<const double> Q(q, ldQ);
  const int lenv = j2 - j1 + 1;

  if (mode <= 3) {
    // w(1..nfree) := Q(:, j1..j2) v(j1..j2), then scatter by kx.
    for (int k = 1; k <= nfree; ++k) W(k) = 0.0;
    if (mode >= 2)
      for (int k = nfree + 1; k <= n; ++k) W(k) = V(k);
    if (lenv > 0) {
      if (unitQ) {
        for (int k = j1; k <= j2; ++k) W(k) = V(k);
      } else {
        for (int j = j1; j <= j2; ++j) {
          const double t = V(j);
          if (t == 0.0) continue;
          for (int i = 1; i <= nfree; ++i) W(i) += Q(i, j) * t;
        }
      }
    }
    for (int k = 1; k <= n; ++k) V(k) = 0.0;
    for (int k = 1; k <= nfree; ++k) V(KX(k)) = W(k);
    if (mode >= 2)
      for (int k = nfree + 1; k <= n; ++k) V(KX(k)) = W(k);
    return;
  }

  // Modes 4 to 8: gather by kx, then v(j1..j2) := Q(:, j1..j2)' w(1..nfree).
  const bool fixed_part = mode == 5 || mode == 6;
  if (fixed_part)
    for (int k = nfree + 1; k <= n; ++k) W(k) = V(KX(k));
  for (int k = 1; k <= nfree; ++k) W(k) = V(KX(k));
  if (lenv > 0) {
    if (unitQ) {
      for (int k = j1; k <= j2; ++k) V(k) = W(k);
    } else {
      for (int j = j1; j <= j2; ++j) {
        double t = 0.0;
        for (int i = 1; i <= nfree; ++i) t += Q(i, j) * W(i);
        V(j) = t;
      }
    }
  }
  if (fixed_part)
    for (int k = nfree + 1; k <= n; ++k) V(k) = W(k);
}

void R1MOD(int n, int nU, int nrank, int ldR, int lenv, int lenw, std::span<double> r, std::span<double> u,
           std::span<double> v, std::span<const double> w, std::span<double> c, std::span<double> s) {
  if (nrank <= 0) return;
  const int j = std::min(lenv, nrank);
  if (j <= 0) return;
  const Mat1<double> R(r, ldR);
  const Vec1<double> V(v);
  const Vec1<const double> W(w);
  const Vec1<double> S(s);

  // Backward sweep: v(1..j) becomes a multiple of e(j).
  ROTSEQ("Fixed", "Backwards", j - 1, V(j), v, 1, c, s);
  if (nU > 0) ROTSAP("Left", "Bottom", "Backwards", j, nU, 1, j, c, s, u, n);
  ROTUP6("Left", n, 1, j, c, s, r, ldR);

  // Row j gains v(j) w': columns before j go to the spike.
  const double vj = V(j);
  const int nspike = std::min(lenw, j - 1);
  for (int k = 1; k <= nspike; ++k) S(k) += vj * W(k);
  for (int k = j; k <= lenw; ++k) R(j, k) += vj * W(k);

  // Forward sweep restores the triangle.
  ROTUP3("Left", n, 1, j, c, s, r, ldR);
  if (nU > 0) ROTSAP("Left", "Bottom", "Forwards", j, nU, 1, j, c, s, u, n);
}

void FACMOV(int n, int nU, int nrank, int ldR, int i, int j, std::span<double> r, std::span<double> u,
            std::span<double> c, std::span<double> s) {
  const Mat1<double> R(r, ldR);
  const Vec1<double> S(s);
  const int top = std::min(nrank, i);
  for (int k = 1; k <= top; ++k) std::swap(R(k, i), R(k, j));
  const int collen = std::min(nrank, j);
  if (collen <= i) return;

  // Rows i+1..collen of column j (the part of the moved column below its new
  // diagonal) are swept into row collen.
  ROTSEQ("Fixed", "Backwards", collen - i - 1, R(collen, j), R.col(j).from(i + 1).span(), 1,
         c.subspan(static_cast<std::size_t>(i)), s.subspan(static_cast<std::size_t>(i)));
  if (nU > 0) ROTSAP("Left", "Bottom", "Backwards", n, nU, i + 1, collen, c, s, u, n);

  S(i) = R(collen, j);
  for (int k = i + 1; k <= collen; ++k) R(k, j) = 0.0;
  ROTUP6("Left", n, i + 1, collen, c, s, r, ldR);
  ROTUP3("Left", n, i, collen, c, s, r, ldR);
  if (nU > 0) ROTSAP("Left", "Bottom", "Forwards", collen, nU, i, collen, c, s, u, n);
}

void FACSOL(int mode, int ldT, int n, std::span<const double> t, std::span<double> y) {
  const Mat1<const double> T(t, ldT);
  const Vec1<double> Y(y);
  for (int j = 1; j <= n; ++j) {
    const int jt = n + 1 - j;
    if (mode == 1) {
      Y(j) /= T(j, jt);
      if (jt > 1 && Y(j) != 0.0)
        for (int i = j + 1; i <= n; ++i) Y(i) -= Y(j) * T(i, jt);
    } else {
      Y(j) /= T(jt, j);
      if (jt > 1 && Y(j) != 0.0)
        for (int i = j + 1; i <= n; ++i) Y(i) -= Y(j) * T(jt, i);
    }
  }
  for (int j = 1; j <= n / 2; ++j) std::swap(Y(j), Y(n + 1 - j));
}

}  // namespace qv::optim
