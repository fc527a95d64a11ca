// Labels of a group's variables, selection of variables and cases, and the
// rewriting of case vectors for definition variables.
#pragma once

#include <string>

#include "runtime/view1.hpp"

namespace qv::jobctl {

using runtime::Vec1;

// Value of a definition slot whose variable is absent from a vector.
constexpr double kDefAbsent = -99987.0;
// The constant word MISS of a select-if condition.
constexpr double kSelMiss = -99999.0;

// Reads N labels from the script into the label-table slots base..base+N-1.
void RDLAB(int base, int N);

// Keeps the NI labels at slot base in step with a selection (MODE 0: the
// labels of the selected variables in selection order) or with definition
// variables (MODE non-zero: the definition variables move to the end, in
// reverse order of their numbers).
void SELLAB(int base, int NI, Vec1<double> SEL, int NSEL, int MODE);

// Applies a selection list (MODE 0) or a definition-variable list (MODE 1)
// to the case vectors of the block V (V(1) the number of vectors, then the
// vectors).  D: 2*NSEL words of definition slots; W: scratch for the
// previous retained vector (2*longest + 2 words).
void DEFSEL(Vec1<double> V, Vec1<double> SEL, int NSEL, Vec1<double> D, Vec1<double> W, int MODE);

// Relations of a select-if condition.
enum class Rel { EQ, NE, LT, LE, GT, GE };

// Reads "variable relation constant" after SE IF and applies it to the
// group's case vectors (found through GRPTAB column 34); P is free
// workspace used as scratch.
void RDSELIF(Vec1<double> X, int base, int P, int NI, int IGRP, int NG, int HAVLAB, int CASDAT);

// Keeps the vectors of V whose variable K stands in the relation to VALUE
// (or, with MISS non-zero, that have or lack the variable).
void SELCNT(Vec1<double> V, int K, Rel REL, double VALUE, int MISS, Vec1<double> W);

}  // namespace qv::jobctl
