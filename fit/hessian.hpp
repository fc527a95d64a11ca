// The Hessian of the fit function at the solution, the identification check
// on its eigenvalues (options word CH), the covariance matrix of the
// estimates, and the standard errors of one matrix's elements.
//
// Unit 7 (the message unit of the fit) gets the listings; unit 6 (the report)
// gets the verdicts.
#pragma once

#include <functional>

#include "fit/fitcb.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::fit {

using runtime::Vec1;

// Covariance matrix of the estimates and the Hessian's scratch (job-wide,
// reset when a job's fit starts).  Both are reserved by the job's first
// Hessian and used again by the later passes of its restarts (the order N
// and the groups do not change within a job), so that the workspace does not
// grow with the number of passes.
struct Secov {
  int ADDR = 0;    // WORKSP position of the N x N matrix, (i, j) at ADDR + (i-1)N + j - 1 (0: not reserved)
  int NORD = 0;    // its order N
  bool NOSE = false;  // no standard errors in this job
  int SCRADR = 0;  // WORKSP position of the Hessian's scratch (0: not reserved)
  void reset() { *this = Secov(); }
};
inline Secov SECOV;

// Limit of the eigenvalue ratio that flags ill-conditioning (the
// single-precision 0.001, widened).
constexpr double kIllRatio = static_cast<double>(0.001f);

// True when some group of the job asks for standard errors.
bool stderr_wanted(Vec1<double> X);

// Estimates the Hessian of F/2 at the estimates FITARR.X into FITARR.RFAC by
// E04XAF on fitfun (through HESFUN) with the ER tolerance; restores the
// estimates, the objective scale and each group's fit value afterwards and
// copies the estimates back into every group's matrices.  Its scratch
// (N^2 + 5N + NG words) is reserved at WSTOP by the job's first call and
// stays reserved for the job; later calls use it again.
void HESCMP(Vec1<double> X, Vec1<int> IX, const Fitobj& fitfun);

// The identification diagnostics on the Hessian in RFAC: its listing and
// eigenvectors on unit 7, the verdict on unit 6 (with the likeliest
// culprits when it flags ill-conditioning), the determinant.  No covariance
// matrix is formed: SECOV.NOSE is set.
void IDCHEK(Vec1<double> X, Vec1<int> IX);

// Inverts the Hessian in RFAC into the covariance matrix of the estimates,
// named by SECOV: kept at WSTOP (raised by N^2) by the job's first call, in
// the same place by later ones.
void SECALC(Vec1<double> X);

// The whole section: HESCMP, then IDCHEK when the options word CH is set,
// else SECALC.
void HESSEC(Vec1<double> X, Vec1<int> IX, const Fitobj& fitfun);

// Standard errors of the stored elements of matrix L (1..26) of group g into
// X(o...): the square root of the estimate's variance for a free element
// (-100, with a warning, when it is not positive), 0 for a fixed one.
// NOSE := 1 (nothing written) when the job has no standard errors.
void STDERR(Vec1<double> X, int g, int NG, int L, int o, int& NOSE);

// Prints the prepared standard errors of a matrix: called with the WORKSP
// position of its n stored values (in the estimates listing this is the
// matrix printer in its standard-error mode).
using Seprint = std::function<void(int address)>;

// The standard-error block of matrix L of group g in the estimates listing:
// when the group asks for standard errors, the matrix is declared with a
// positive type and is not the raw-data matrix, the heading, then, when
// standard errors exist, STDERR into scratch at WSTOP (held while print
// runs).
void PRSTER(Vec1<double> X, int g, int NG, int L, const Seprint& print);

}  // namespace qv::fit
