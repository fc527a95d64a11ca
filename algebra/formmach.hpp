// The formula machine: the evaluator CALCMAT with its operand loader UNDEFM,
// the drivers EVFORM (a group formula), EVCOMP (all computed matrices of a
// group) and EVONEC (one computed matrix), and the dump FMDUMP.
//
// Operand codes during an evaluation: 1..26 a matrix letter of the current
// group not yet loaded; -k the formula temporary number k.  A temporary at
// WORKSP position t holds X(t) type (9 full, 8 after DET), X(t+1) rows,
// X(t+2) columns, then the values row by row.  Temporaries are taken at
// MAINPR.WSTOP and released wholesale by the drivers, which restore WSTOP
// after each formula; nothing is allocated and nothing is written during an
// evaluation except the diagnostics of an error.
#pragma once

#include <array>

#include "runtime/view1.hpp"

namespace qv::algebra {

using runtime::Vec1;

// Most temporaries one evaluation may create.
constexpr int kMaxTemp = 1000;
// Integer scratch of the functions that rank or transpose.
constexpr int kIntScratch = 200000;

// Cells of the formula machine.
struct Fmflag {
  bool TRIAL = false;  // trial evaluation of the compiler: shapes only, risky values skipped
  bool SHAPE = false;  // shape-only evaluation of the main program after the script
  bool INFIT = false;  // computed matrices are being evaluated (lifts the 1x1 check)
  bool ACCNT = false;  // the drivers record the workspace high-water mark
  int NMODEL = 1;   // block count of a covariance result
  int RESADR = 0;   // result address r0 of the evaluation (values; header at r0-3..r0-1)
  int MTBASE = 0;   // matrix-table base of the current group
  int CMPLET = 0;   // letter of the computed matrix being defined
  int NTEMP = 0;    // temporaries of the current evaluation
  int WSHIGH = 0;   // highest workspace word reached by the current evaluation
  double GROWTH = 1.0;  // trial: how much a partition result may grow at run time
  std::array<int, kMaxTemp + 1> TMPPOS{};  // workspace position of temporary k
  std::array<int, kIntScratch> ISCR{};     // integer scratch
  int& tmppos(int k) { return TMPPOS[static_cast<std::size_t>(k)]; }
  // Resets the cells (the scratch arrays need no clearing).
  void reset() {
    TRIAL = SHAPE = INFIT = ACCNT = false;
    NMODEL = 1;
    RESADR = MTBASE = CMPLET = NTEMP = WSHIGH = 0;
    GROWTH = 1.0;
  }
};
inline Fmflag FMFLAG;

// Evaluates the code list in FMSTAK for the current group MAINPR.IGRP and
// leaves the result at FMFLAG.RESADR (header in the three words before it).
// column: the GRPTAB result column (9 covariance, 30 means and computed
// matrices, 41 weight).  status: 1 success, 2 after a reported error.
void CALCMAT(Vec1<double> X, int column, int& status);

// Loads matrix `letter` of the current group (matrix table at FMFLAG.MTBASE)
// as a new full temporary at WSTOP; returns its operand code -k.
int UNDEFM(Vec1<double> X, int letter);

// Workspace position of the temporary with operand code (<= 0).
int TMPADR(int code);

// Takes a new temporary of rows x cols at WSTOP (workspace checked first);
// returns its operand code -k and its position in t.
int NEWTMP(Vec1<double> X, int rows, int cols, int& t);

// Checks that workspace words up to top may be used as scratch or results.
void WSCHK(int top);

// The group formula of kind 0 (covariance, GRPTAB columns 8/9), 1 (means,
// 29/30) or 9 (weight, 40/41) for the groups first..last.
void EVFORM(Vec1<double> X, int kind, int first, int last, int& status);
// Every computed matrix of the current group in its evaluation order.
void EVCOMP(Vec1<double> X, int ignored, int& status);
// The computed matrix of one letter of the current group.
void EVONEC(Vec1<double> X, int letter, int& status);

// Prints the code list in FMSTAK; with mark non-zero the entry at NOUT
// carries " <- Error here".
void FMDUMP(int mark);
// The 16-character dump name of a code above 30.
const char* FMNAME(int code);

}  // namespace qv::algebra
