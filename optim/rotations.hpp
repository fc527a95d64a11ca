// Rotation and triangular-factor kernels.
//
// Dense kernels on column-major matrices with a leading dimension (element
// (i, j) is word (i-1) + (j-1)*lda, indices from 1).  Character options are
// read by their first letter, in either case.  A plane rotation (c, s) acting
// on a first and second member (x, y) gives x' = c*x + s*y, y' = c*y - s*x.
#pragma once

#include <span>
#include <string_view>

namespace qv::optim {

// Applies the plane rotations (c(k), s(k)), k = k1..k2-1, to the m x n matrix
// a.  side "Left" acts on rows (in every column 1..n), "Right" on columns (in
// every row 1..m).  pivot names the pair of rotation k: "Variable" (k, k+1),
// "Top" (k1, k+1), "Bottom" (k, k2).  direction "Forwards" applies them in
// increasing k, "Backwards" in decreasing k.  On side Right the identity
// rotation (1, 0) is skipped.  Nothing happens unless min(m, n, k1) >= 1,
// k1 < k2 and k2 <= m (Left) or k2 <= n (Right).
void ROTSAP(std::string_view side, std::string_view pivot, std::string_view direction, int m, int n,
            int k1, int k2, std::span<const double> c, std::span<const double> s, std::span<double> a,
            int lda);

}  // namespace qv::optim
