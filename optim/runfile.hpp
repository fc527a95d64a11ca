// OLD RUN files: a run of NLSQP saved as text, and loaded again so that a
// later run starts hot from it.
//
// The file holds the iteration count, the working set (permutation and
// states of the variables and constraints), the point, the nonlinear
// constraint values and multipliers with the merit state, the factors Q and R
// and, where they are known, the difference intervals.  The penalty
// parameters are not in the file: a hot start keeps those that the real
// workspace already holds, so it needs the workspace of the saved run.
//
// Each save replaces the file's contents.  A load checks every count, index
// and state it reads against the problem and refuses the whole file on the
// first mismatch, leaving the caller's arrays and state as they were.
#pragma once

#include <span>

#include "optim/npmrt.hpp"
#include "runtime/view1.hpp"

namespace qv::optim {

// What a run file holds, and where it comes from or goes to.  n, nclin and
// nnlcon describe the problem; the rest is written by NPSAVE and filled by
// NPLOAD.
struct OldRun {
  int n = 0;
  int nclin = 0;
  int nnlcon = 0;

  int majits = 0;     // major iterations so far
  int nfree = 0;      // free variables: the order of Q
  int dif_class = 0;  // class of the difference intervals (kDifComputed, kDifUser, kDifFixed)
  int lvlder = 0;     // derivative level
  bool unitq = true;  // Q is the identity (not stored)

  std::span<int> kx;          // variable permutation (n)
  std::span<int> istate;      // states of the variables and constraints (n + nclin + nnlcon)
  std::span<double> x;        // the point (n)
  std::span<double> cnl;      // nonlinear constraint values (nnlcon)
  std::span<double> nlmult;   // their multipliers (nnlcon)
  runtime::Mat1<double> zy;   // Q, order nfree
  runtime::Mat1<double> r;    // R, upper triangle of order n
  std::span<double> hforwd;   // forward difference intervals (n)
  std::span<double> hcntrl;   // central difference intervals (n)
};

// Writes the run on unit (1..99) and reports it on the print file.  merit is
// the merit state of the run, penmax the largest penalty (1/eps).
void NPSAVE(int unit, const OldRun& run, const Npmert& merit, double penmax);

// Loads the run from unit into run and merit (n, nclin, nnlcon and the views
// given by the caller).  nerror returns 0, or 1 when the file does not match
// the problem or cannot be read (the " Exit NLSQP - The OLD RUN file
// dimensions do not match this problem." message is then on the print file).
// The unit is closed afterwards.
void NPLOAD(int unit, OldRun& run, Npmert& merit, int& nerror);

}  // namespace qv::optim
