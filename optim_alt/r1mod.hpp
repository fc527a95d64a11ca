// The edition's rank-one update of its upper-triangular Hessian factor and
// the plane transformation it applies to pairs of rows.
#pragma once

#include <span>

namespace qv::optim_alt {

// Replaces each pair (x, y) of the two strided vectors by
// (cs x + sn y, sn x - cs y), a symmetric plane reflection.  Nothing is done
// when n <= 0 or sn = 0.  A negative increment starts its vector from the far
// end.
void ROTVEC(int n, std::span<double> x, int incx, std::span<double> y, int incy, double cs, double sn);

// R := the upper-triangular factor of R + U V' (R is n x n with leading
// dimension ldr, U and V hold n words; U is overwritten).  When nq > 0 the
// rows of Q (n x nq, leading dimension n) are transformed alike, so that with
// Q = I on entry Q (R + U V') equals the new R.  Nothing is done when
// nrank <= 0.
void E4R1MD(int n, int nq, int nrank, int ldr, int lenv, int lenw, std::span<double> r, std::span<double> q,
            std::span<double> u, std::span<const double> v);

}  // namespace qv::optim_alt
