#include "jobbase/syminv.hpp"

#include <cmath>
#include <cstddef>

#include "numlib/inverse.hpp"
#include "numlib/machconst.hpp"
#include "runtime/packidx.hpp"

extern "C" {
void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info, std::size_t uplo_len);
void dpotri_(const char* uplo, const int* n, double* a, const int* lda, int* info, std::size_t uplo_len);
}

namespace qv::jobbase {

using runtime::packed_index;
using runtime::packed_index_sym;

namespace {

// The factorisation of CHOLPK column by column, for an L apart from A: the
// same operations on the same values in the same order for every element
// (each sum over k in increasing k), so the factor is the same to the last
// bit, but the elements of a column are independent of one another and the
// processor overlaps their sums and divisions, where row by row each
// element waits for the one before it.  Returns false, with L partly
// written, where the matrix is not positive semi-definite; the caller then
// factors row by row, which finds the same fault and leaves the partial
// factor its callers expect.
bool cholpk_by_columns(const double* a, double* l, int n, int& nullity) {
  auto at = [](int i, int j) { return runtime::packed_offset<std::ptrdiff_t>(i, j); };
  nullity = 0;
  for (int j = 1; j <= n; ++j) {
    const double* lj = l + at(j, 1);
    const double ajj0 = a[at(j, j)];
    double w = ajj0;
    for (int k = 0; k < j - 1; ++k) w -= lj[k] * lj[k];
    double d;
    if (std::fabs(w) < std::fabs(1e-9 * ajj0) || w == 0.0) {
      d = 0.0;
      nullity += 1;
    } else if (!(w > 0.0)) {
      return false;
    } else {
      d = std::sqrt(w);
    }
    l[at(j, j)] = d;
    if (d != 0.0) {
      for (int i = j + 1; i <= n; ++i) {
        const double* li = l + at(i, 1);
        double v = a[at(i, j)];
        for (int k = 0; k < j - 1; ++k) v -= li[k] * lj[k];
        l[at(i, j)] = v / d;
      }
    } else {
      double ajj = 0.0;
      for (int k = 0; k < j - 1; ++k) ajj += lj[k] * lj[k];
      for (int i = j + 1; i <= n; ++i) {
        const double* li = l + at(i, 1);
        double v = a[at(i, j)];
        for (int k = 0; k < j - 1; ++k) v -= li[k] * lj[k];
        if (v * v > 2e-9 * std::fabs(a[at(i, i)]) * ajj) return false;
        l[at(i, j)] = 0.0;
      }
    }
  }
  return true;
}

}  // namespace

void CHOLPK(Vec1<double> A, int n, Vec1<double> L, int& nullity, int& fault) {
  if (n <= 0) {
    fault = 1;
    return;
  }
  if (A.ptr(1) != L.ptr(1) && cholpk_by_columns(A.ptr(1), L.ptr(1), n, nullity)) {
    fault = 0;
    return;
  }
  fault = 2;
  nullity = 0;
  for (int i = 1; i <= n; ++i) {
    // A(i,i) is still A's own until the diagonal of row i is written (L may be A).
    const double aii = A(packed_index(i, i));
    for (int j = 1; j <= i; ++j) {
      double w = A(packed_index(i, j));
      for (int k = 1; k < j; ++k) w -= L(packed_index(i, k)) * L(packed_index(j, k));
      if (j < i) {
        const double d = L(packed_index(j, j));
        if (d != 0.0) {
          L(packed_index(i, j)) = w / d;
          continue;
        }
        // Column j had a zero pivot.  In a positive semi-definite matrix the
        // remaining column below it is then (nearly) zero as well:
        // w^2 <= (pivot j) * A(i,i), the pivot below 1e-9 of A(j,j), and A(j,j)
        // equals the squared row j of the factor to within that tolerance
        // (A(j,j) itself may be overwritten).  A larger w, such as the 1 of
        // [[0,1],[1,0]], shows that A is not positive semi-definite: fault 2
        // rather than a zero row that would make a wrong inverse.
        double ajj = 0.0;
        for (int k = 1; k < j; ++k) ajj += L(packed_index(j, k)) * L(packed_index(j, k));
        if (w * w > 2e-9 * std::fabs(aii) * ajj) return;
        L(packed_index(i, j)) = 0.0;
      } else {
        // A zero pivot is also one whose diagonal element is itself 0.
        if (std::fabs(w) < std::fabs(1e-9 * aii) || w == 0.0) {
          L(packed_index(i, i)) = 0.0;
          nullity += 1;
        } else if (!(w > 0.0)) {
          return;  // negative, or NaN: not positive semi-definite
        } else {
          L(packed_index(i, i)) = std::sqrt(w);
        }
      }
    }
  }
  fault = 0;
}

bool positive_definite(Vec1<double> A, int n, Vec1<double> L, double& logdet) {
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= i; ++j) {
      double w = A(packed_index(i, j));
      for (int k = 1; k < j; ++k) w -= L(packed_index(i, k)) * L(packed_index(j, k));
      if (j < i) {
        L(packed_index(i, j)) = w / L(packed_index(j, j));
      } else {
        // A pivot that is not positive, or not a number: not positive definite.
        if (!(w > 0.0) || !std::isfinite(w)) return false;
        L(packed_index(i, i)) = std::sqrt(w);
        sum += std::log(w);
      }
    }
  }
  logdet = sum;
  return true;
}

void SYMINV(Vec1<double> A, int n, Vec1<double> C, Vec1<double> W, double& det, int wantdet, int& nullity,
            int& fault) {
  if (n <= 0) {
    fault = 1;
    return;
  }
  fault = 0;
  CHOLPK(A, n, C, nullity, fault);
  if (wantdet != 0) {
    det = 1.0;
    for (int i = 1; i <= n; ++i) {
      const double d = C(packed_index(i, i));
      det *= d * d;
    }
  }
  if (fault != 0) return;

  // Healy's inversion of the factor, last row first: element (c, r) of the
  // inverse, c = n down to r, from the rows already formed below row r.
  for (int r = n; r >= 1; --r) {
    if (C(packed_index(r, r)) == 0.0) {
      for (int k = 1; k <= n; ++k) C(packed_index_sym(r, k)) = 0.0;
      continue;
    }
    for (int k = r; k <= n; ++k) W(k) = C(packed_index(k, r));
    // Element (k, c) of the inverse for k = r+1..n, in that order: along row
    // c of the packed triangle while k < c, then down column c.  Two columns
    // c and c-1 are summed side by side (independent sums the processor
    // overlaps), each in the same order as alone.
    const double* w = W.ptr(1);  // w[k - 1] is W(k)
    const double* c1 = C.ptr(1);
    // row(i)[k - 1] is element (i, k) of the packed triangle, k <= i.
    auto row = [c1](int i) { return c1 + runtime::packed_offset<std::ptrdiff_t>(i, 1); };
    const double wr = w[r - 1];
    int c = n;
    for (; c - 1 > r; c -= 2) {
      const double* ra = row(c);
      const double* rb = row(c - 1);
      double sa = 0.0, sb = 0.0;
      int k = r + 1;
      for (; k < c - 1; ++k) {
        sa -= w[k - 1] * ra[k - 1];
        sb -= w[k - 1] * rb[k - 1];
      }
      sa -= w[k - 1] * ra[k - 1];  // k = c-1: still along row c
      sb -= w[k - 1] * rb[k - 1];  // k = c-1: the diagonal of c-1
      for (++k; k <= n; ++k) {
        const double* rk = row(k);
        sa -= w[k - 1] * rk[c - 1];
        sb -= w[k - 1] * rk[c - 2];
      }
      C(packed_index(c, r)) = sa / wr;
      C(packed_index(c - 1, r)) = sb / wr;
    }
    for (; c >= r; --c) {
      double s = c == r ? 1.0 / wr : 0.0;
      const double* rc = row(c);
      int k = r + 1;
      for (; k < c; ++k) s -= w[k - 1] * rc[k - 1];
      for (; k <= n; ++k) s -= w[k - 1] * row(k)[c - 1];
      C(packed_index(c, r)) = s / wr;
    }
  }
}

void CHOLINV(Vec1<double> A, int n, int& info) {
  info = 0;
  dpotrf_("L", &n, A.ptr(1), &n, &info, 1);
  // A failed factorisation leaves no inverse to form.
  if (info != 0) return;
  dpotri_("L", &n, A.ptr(1), &n, &info, 1);
}

void SYMINF(Vec1<double> A, Vec1<double> Ainv, int lda, double& det, int unused, int n, Vec1<double> C,
            int& nullity, int& fault) {
  int k = 0;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= i; ++j) C(++k) = A((j - 1) * lda + i);
  double d = 0.0;
  SYMINV(C, n, C, Ainv, d, 0, nullity, fault);
  k = 0;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= i; ++j) {
      ++k;
      Ainv((j - 1) * lda + i) = C(k);
      Ainv((i - 1) * lda + j) = C(k);
    }
}

double MOMDET(Vec1<double> S, int n) {
  // The factorisation works on a copy, so S keeps its values and symmetry.
  auto& st = MOMSTA;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      const double v = S((j - 1) * kMomMax + i);
      st.T[static_cast<std::size_t>((j - 1) * kMomMax + i - 1)] = v;
    }
  double det = 0.0;
  int ifail = 1;
  numlib::F03ABF(std::span<double>(st.T), kMomMax, n, det, std::span<double>(st.Z), ifail);
  return det;
}

void MOMINV(Vec1<double> S, int n, Vec1<double> R) {
  auto& st = MOMSTA;
  const int ld = kMomMax + 1;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) st.U[static_cast<std::size_t>((j - 1) * ld + i - 1)] = S((j - 1) * kMomMax + i);
  int ifail = 1;
  numlib::F01ABF(std::span<double>(st.U), ld, n, R.span(), kMomMax, std::span<double>(st.Z), ifail);
  for (int j = 1; j <= n; ++j)
    for (int i = j + 1; i <= n; ++i) R((i - 1) * kMomMax + j) = R((j - 1) * kMomMax + i);
}

double MOMINT(int n, std::span<const double> x) {
  auto& st = MOMSTA;
  if (st.recompute) {
    Vec1<double> S(st.S.data(), static_cast<std::ptrdiff_t>(st.S.size()));
    Vec1<double> R(st.R.data(), static_cast<std::ptrdiff_t>(st.R.size()));
    st.d = MOMDET(S, n);
    MOMINV(S, n, R);
    st.recompute = false;
  }
  const bool centred = st.K[kMomMax] == 1;
  for (int i = 0; i < n; ++i)
    st.Z[static_cast<std::size_t>(i)] = centred ? x[static_cast<std::size_t>(i)] - st.m[static_cast<std::size_t>(i)]
                                                : x[static_cast<std::size_t>(i)];
  double q = 0.0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      q += st.Z[static_cast<std::size_t>(i)] * st.R[static_cast<std::size_t>(j * kMomMax + i)] *
           st.Z[static_cast<std::size_t>(j)];
  const double v = -q / 2.0 - std::log(st.d) / 2.0 - (n / 2.0) * std::log(2.0 * numlib::PICONST());
  double f = std::exp(v);
  for (int i = 0; i < n; ++i) {
    const double z = st.Z[static_cast<std::size_t>(i)];
    const int k = st.K[static_cast<std::size_t>(i)];
    if (k == 1)
      f *= z;
    else if (k == 2)
      f *= z * z;
  }
  return f;
}

}  // namespace qv::jobbase
