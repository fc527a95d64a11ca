// Packed symmetric matrix routines of the normal-integral library: Cholesky
// factor, inverse with determinant, condition number of a correlation
// matrix.  Packed storage: the lower triangle by rows, element (i, j),
// j <= i, at runtime::packed_index(i, j).  No path of the program calls these routines.
#pragma once

#include <array>
#include <span>

#include "runtime/packidx.hpp"

namespace qv::algebra {

constexpr int kPkMaxOrder = 100;

// Scratch of PKCOND: the full correlation matrix and its inverse, packed.
struct Pksta {
  std::array<double, runtime::packed_size(kPkMaxOrder)> R{};
  std::array<double, runtime::packed_size(kPkMaxOrder)> RI{};
  void reset();
};
inline Pksta PKSTA;

// Row-wise Cholesky factor L (A = L L') in place; a pivot that is not
// positive becomes 0 and the column below it 0.
void PKCHL(int N, std::span<double> A);
// The inverse in place (through PKCHL) and the determinant, the squared
// product of the factor's diagonal.  With a zero pivot the determinant is 0
// and the rows and columns of that pivot in the result are 0.
void PKINV(int N, std::span<double> A, double& DET);
// The 1-norm condition number (largest absolute row sum of the matrix times
// that of its inverse) of the correlation matrix with unit diagonal and the
// strict lower triangle RHO by rows; -1 when N is outside 1..100 or RHO is
// shorter than N(N-1)/2 (nothing is read).
double PKCOND(int N, std::span<const double> RHO);

}  // namespace qv::algebra
