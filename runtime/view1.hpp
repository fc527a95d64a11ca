// One-based views of contiguous storage.
//
// The program's arrays (workspace words, group-table columns, column-major
// matrices with a leading dimension) are indexed from 1.  These views keep that
// indexing in one place so that the numerical code reads as its algorithms are
// written.  In builds with QV_CHECK_BOUNDS every index is checked against the
// extent of the underlying storage.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace qv::runtime {

[[noreturn]] inline void view_index_fault(std::ptrdiff_t index, std::ptrdiff_t extent) {
  std::fprintf(stderr, "Index %td outside storage of %td elements\n", index, extent);
  std::abort();
}

// Vector view: v(1) is the first element of the storage.
template <class T>
class Vec1 {
 public:
  Vec1() = default;
  Vec1(T* data, std::ptrdiff_t extent) : p_(data), n_(extent) {}
  template <class U>
  Vec1(std::span<U> s) : p_(s.data()), n_(static_cast<std::ptrdiff_t>(s.size())) {}

  T& operator()(std::ptrdiff_t i) const {
#ifdef QV_CHECK_BOUNDS
    if (i < 1 || i > n_) view_index_fault(i, n_);
#endif
    return p_[i - 1];
  }
  // The view starting at element i (as an argument X(I) passed on to a routine).
  Vec1 from(std::ptrdiff_t i) const {
#ifdef QV_CHECK_BOUNDS
    if (i < 1 || i > n_ + 1) view_index_fault(i, n_);
#endif
    return Vec1(p_ + (i - 1), n_ - (i - 1));
  }
  // Address of element i, for calls into BLAS and LAPACK.
  T* ptr(std::ptrdiff_t i = 1) const { return p_ + (i - 1); }
  std::ptrdiff_t extent() const { return n_; }
  std::span<T> span() const { return std::span<T>(p_, static_cast<std::size_t>(n_)); }

 private:
  T* p_ = nullptr;
  std::ptrdiff_t n_ = 0;
};

// Column-major matrix view with leading dimension ld: a(i, j) is element
// (i - 1) + (j - 1) * ld of the storage.  Only the storage extent is checked,
// so a view may be used as the arrays of the numerical routines are, with the
// last dimension open.
template <class T>
class Mat1 {
 public:
  Mat1() = default;
  Mat1(T* data, std::ptrdiff_t ld, std::ptrdiff_t extent) : p_(data), ld_(ld), n_(extent) {}
  template <class U>
  Mat1(std::span<U> s, std::ptrdiff_t ld)
      : p_(s.data()), ld_(ld), n_(static_cast<std::ptrdiff_t>(s.size())) {}

  T& operator()(std::ptrdiff_t i, std::ptrdiff_t j) const {
    const std::ptrdiff_t k = (i - 1) + (j - 1) * ld_;
#ifdef QV_CHECK_BOUNDS
    if (i < 1 || j < 1 || k >= n_) view_index_fault(k + 1, n_);
#endif
    return p_[k];
  }
  T* ptr(std::ptrdiff_t i = 1, std::ptrdiff_t j = 1) const { return p_ + (i - 1) + (j - 1) * ld_; }
  // Column j as a vector view.
  Vec1<T> col(std::ptrdiff_t j) const { return Vec1<T>(ptr(1, j), n_ - (j - 1) * ld_); }
  // The submatrix view whose (1, 1) is element (i, j).
  Mat1 from(std::ptrdiff_t i, std::ptrdiff_t j) const {
    const std::ptrdiff_t k = (i - 1) + (j - 1) * ld_;
    return Mat1(p_ + k, ld_, n_ - k);
  }
  std::ptrdiff_t ld() const { return ld_; }
  std::ptrdiff_t extent() const { return n_; }

 private:
  T* p_ = nullptr;
  std::ptrdiff_t ld_ = 1;
  std::ptrdiff_t n_ = 0;
};

}  // namespace qv::runtime
