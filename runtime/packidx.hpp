// Positions in packed triangular storage.
//
// A symmetric (or lower-triangular) matrix of order n is kept as its lower
// triangle stored by rows, n(n+1)/2 words: (1,1), (2,1), (2,2), (3,1), ...
// Element (i, j), i >= j, counted from 1 as the 1-based views count, is word
// i(i-1)/2 + j.  A list of correlations keeps the strict lower triangle the
// same way without the diagonal: (2,1), (3,1), (3,2), ..., n(n-1)/2 words.
//
// There is one convention: row and column always count from 1.  Every
// position comes as an index from 1 (for Vec1 and the workspace addresses)
// or as the offset from 0 of the same word (for spans and pointers); no
// caller writes the formula or a "- 1" of its own.
//
// The arithmetic is done in the type of the arguments (int unless the
// caller asks for a wider one, as packed_offset<std::ptrdiff_t>(i, j)).
#pragma once

#include <concepts>

namespace qv::runtime {

// Index from 1 of element (i, j), i >= j >= 1, of a packed lower triangle.
template <std::integral I>
constexpr I packed_index(I i, I j) {
  return i * (i - 1) / 2 + j;
}

// Offset from 0 of the same word: packed_index(i, j) - 1.  packed_offset(i, 1)
// is where row i begins.
template <std::integral I>
constexpr I packed_offset(I i, I j) {
  return i * (i - 1) / 2 + j - 1;
}

// Index from 1 of element (i, j) of a packed symmetric matrix, from either
// triangle: (i, j) and (j, i) are the same word.
template <std::integral I>
constexpr I packed_index_sym(I i, I j) {
  return i >= j ? packed_index(i, j) : packed_index(j, i);
}

// Offset from 0 of the same word: packed_index_sym(i, j) - 1.
template <std::integral I>
constexpr I packed_offset_sym(I i, I j) {
  return i >= j ? packed_offset(i, j) : packed_offset(j, i);
}

// Words of a packed triangle of order n: n(n+1)/2.
template <std::integral I>
constexpr I packed_size(I n) {
  return n * (n + 1) / 2;
}

// Index from 1 of element (i, j), i > j >= 1, of a strict lower triangle
// stored by rows without its diagonal (a correlation list): (i-1)(i-2)/2 + j,
// the word packed_index(i - 1, j) of the triangle one order smaller.
template <std::integral I>
constexpr I strict_index(I i, I j) {
  return (i - 1) * (i - 2) / 2 + j;
}

// Offset from 0 of the same word: strict_index(i, j) - 1.
template <std::integral I>
constexpr I strict_offset(I i, I j) {
  return (i - 1) * (i - 2) / 2 + j - 1;
}

// Words of a strict lower triangle of order n: n(n-1)/2.
template <std::integral I>
constexpr I strict_size(I n) {
  return n * (n - 1) / 2;
}

}  // namespace qv::runtime
