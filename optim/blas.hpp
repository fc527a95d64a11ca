// Prototypes of the reference BLAS routines that the optimizer calls
// (Fortran calling convention: every argument by address).
#pragma once

extern "C" {
void dscal_(const int* n, const double* a, double* x, const int* incx);
}
