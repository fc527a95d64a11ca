// Iteration logs of the optimizer: one line per SQP major iteration
// (NPPRIT) and per QP minor iteration (LSPRIT).
//
// Both logs go to the print file and the summary file held in the QP
// solver's option slots (optim/options.hpp); a unit of 0 or below gets
// nothing.  At print level 5 and above each iteration writes one line, under
// a column header that is repeated when the caller asks for it (the first
// line of a run or of a QP call), at print level 20 and above, and after 40
// lines on the print file or 5 lines on the summary file.  At print level 20
// and above an iteration heading comes before the line and a block with the
// values and states of the variables and constraints and the diagonals of the
// factors T and R after it (print file only).
//
// The counts of the lines are shown modulo 10000, so that they keep their
// columns in long runs.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "runtime/view1.hpp"

namespace qv::optim {

// Lines written since the last column header, per log and file.  Reset at
// the start of a process (tests); a new header is requested by the callers'
// first-line flags.
struct Nplogs {
  int np_print = 0;  // NPPRIT lines on the print file
  int np_summ = 0;   // NPPRIT lines on the summary file
  int ls_print = 0;  // LSPRIT lines on the print file
  int ls_summ = 0;   // LSPRIT lines on the summary file

  void reset() { *this = Nplogs{}; }
};
inline Nplogs NPLOGS;

// The values and states shown by the detail block at print level 20 and
// above.  istate covers the n variables, nclin linear and nnlcon nonlinear
// constraints; x, ax and cnl their values.  T is the reverse-triangular
// working-set factor: row i of the nactiv rows has its diagonal element in
// column nfree - i + 1.  R is the upper-triangular factor; its first nrank
// diagonal elements are shown.
struct LogDetail {
  int n = 0;
  int nclin = 0;
  int nnlcon = 0;
  std::span<const int> istate;
  std::span<const double> x;
  std::span<const double> ax;
  std::span<const double> cnl;
  runtime::Mat1<const double> t;
  int nactiv = 0;
  int nfree = 0;
  runtime::Mat1<const double> r;
  int nrank = 0;
};

// One line of the major-iteration log, in the order of its columns.
struct NpLogLine {
  int majits = 0;          // Maj
  int minits = 0;          // Mnr: minor iterations of this major iteration
  double step = 0.0;       // Step
  int nfun = 0;            // Fun: function evaluations so far
  double merit = 0.0;      // Merit function (with nonlinear constraints) or Objective
  double violtn = 0.0;     // Violtn: norm of the nonlinear constraint violations
  double gznorm = 0.0;     // Norm gZ
  int nz = 0;              // nZ
  int nbnd = 0;            // Bnd: bounds in the working set
  int nlin = 0;            // Lin: linear constraints in the working set
  int nnl = 0;             // Nln: nonlinear constraints in the working set
  double penalty = 0.0;    // Penalty
  double gfnorm = 0.0;     // Norm Gf
  double condh = 0.0;      // Cond H
  double condhz = 0.0;     // Cond Hz
  double condt = 0.0;      // Cond T
  // Conv: step converged, reduced gradient small, no violated constraint.
  bool step_converged = false;
  bool gradient_small = false;
  bool feasible = false;
  double fobj = 0.0;       // the objective value shown in the detail block
};

// Logs one major iteration.  msg and msgqp are the major and minor print
// levels in force; first marks the run's first major iteration.  flags is the
// five-character status field shown at the end of the line; positions 1, 2, 4
// and 5 are cleared on return whatever the print level, position 3 stays.
void NPPRIT(int msg, int msgqp, bool first, const NpLogLine& line, const LogDetail& detail, std::string& flags);

// One line of the QP-iteration log, in the order of its columns.
struct LsLogLine {
  std::string_view prbtyp;  // "FP", "LP", "QP" or "LS"
  int iter = 0;             // Itn
  int jdel = 0;             // Jdel and the character shown after it
  char kdel = ' ';
  int jadd = 0;             // Jadd and the character shown after it
  char kadd = ' ';
  double step = 0.0;        // Step
  int ninf = 0;             // Ninf
  double objective = 0.0;   // Sinf/Objective
  double gznorm = 0.0;      // Norm gZ
  int nzr = 0;              // Zr
  int nart = 0;             // Art
  int nbnd = 0;             // Bnd
  int nlin = 0;             // Lin
  double gfnorm = 0.0;      // Norm gf
  double condt = 0.0;       // Cond T
  double condrz = 0.0;      // Cond Rz
};

// Logs one QP iteration at print level msg; first marks the first line of a
// QP call (the column header is written before it).
void LSPRIT(int msg, bool first, const LsLogLine& line, const LogDetail& detail);

}  // namespace qv::optim
