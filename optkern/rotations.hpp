// Rotation and triangular-factor kernels.
//
// Dense kernels on column-major matrices with a leading dimension (element
// (i, j) is word (i-1) + (j-1)*lda, indices from 1).  Character options are
// read by their first letter, in either case.  A plane rotation (c, s) acting
// on a first and second member (x, y) gives x' = c*x + s*y, y' = c*y - s*x.
#pragma once

#include <span>
#include <string_view>

namespace qv::optkern {

// Copies the G (general), U (upper trapezoidal) or L (lower trapezoidal) part
// of the m x n matrix a into b.  Another shape letter copies nothing.
void MATCPY(std::string_view shape, int m, int n, std::span<const double> a, int lda, std::span<double> b,
            int ldb);

// A norm of a general, trapezoidal or symmetric matrix: norm "1"/"O"
// (largest column sum), "E"/"F" (Frobenius, scaled against overflow and
// capped at rmax), "M" (largest magnitude); shape G, U, L, S/H (symmetric,
// upper triangle stored, order n) or E/Y (symmetric, lower triangle stored).
// 0 when min(m, n) = 0, for an unknown shape and for an unknown norm letter.
double MATNRM(std::string_view norm, std::string_view shape, int m, int n, std::span<const double> a, int lda);

// Sets the G, U or L part of a to cnst; then, when diag differs from cnst,
// a(i, i) := diag for i = 1..min(m, n).
void MATSET(std::string_view shape, int m, int n, double cnst, double diag, std::span<double> a, int lda);

// Interchanges rows (side L) or columns (side R) of b by the list perm(1..n);
// k is the number of columns (L) or rows (R).  trans "T"/"N" fixes the order
// of the swaps.  PERMAP holds the list as reals, truncated to integers.
void IPERMAP(std::string_view side, std::string_view trans, int n, std::span<const int> perm, int k,
             std::span<double> b, int ldb);
void PERMAP(std::string_view side, std::string_view trans, int n, std::span<const double> perm, int k,
            std::span<double> b, int ldb);

// The rotation kernels of an n x n upper-triangular matrix between indices k1
// and k2.  Each returns at once, changing nothing, when min(n, k1) < 1,
// k1 >= k2 or k2 > n.  Sub-diagonal and spike elements created outside the
// upper triangle travel in sv; the strictly lower triangle of a is never
// read or written.
//
// Cyclic shift of rows (L) or columns (R) k1..k2 into upper Hessenberg form.
void ROTUP1(std::string_view side, int n, int k1, int k2, std::span<double> sv, std::span<double> a, int lda);
// Restores upper-triangular form of an upper Hessenberg matrix, generating
// the rotations.
void ROTUP2(std::string_view side, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda);
// Restores upper-triangular form of a spiked matrix, generating the rotations.
void ROTUP3(std::string_view side, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda);
// Applies a given rotation sequence on one side and generates the sequence on
// the other side that keeps a upper triangular.
void ROTUP4(std::string_view side, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda);
// Applies a given rotation sequence, giving upper Hessenberg form.
void ROTUP5(std::string_view side, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda);
// Applies a given rotation sequence, giving a spiked matrix.
void ROTUP6(std::string_view side, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda);
// The rotation kernel of a reverse-triangular matrix (column j holds rows
// n-j+1..n): mode "Create" applies the rotations and returns the fill-in in
// sv, "Remove" generates the rotations that remove it.
void ROTCRM(std::string_view mode, int n, int k1, int k2, std::span<double> cv, std::span<double> sv,
            std::span<double> a, int lda);

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

}  // namespace qv::optkern
