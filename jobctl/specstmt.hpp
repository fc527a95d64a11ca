// Group statements after the matrix declarations: the statement dispatcher,
// and the specification statements that decide free parameters, equalities
// and start or fixed values (PA SP MA, VA ST, FI FR DR EQ).
#pragma once

#include "runtime/view1.hpp"

namespace qv::jobctl {

using runtime::Vec1;

// Takes one group-statement line at the cursor and reads the next line.
// Returns false, leaving the line alone, when its first word is none of the
// statement words (the job loop's own words then apply: the options line,
// End, the front-end words), or when the input has ended.
bool STMTLN();

// Reads the stored elements of one matrix into the words from X(p) on:
// mode 1 pattern, 2 specification numbers, 0 values.
void RDMAT(Vec1<double> X, int p, int type, int rows, int cols, int mode, int G);

// Mode not 0: value := the value of the first element carrying parameter k
// (groups 1..G, letters A..Z, storage order, types DI..LO).  Mode 0: every
// such element carrying k takes value.
void PARVAL(Vec1<double> X, int G, int NG, int k, double& value, int mode);

// For every element of types DI..LO in groups 1..G with specification s:
// test 0 s = q, 1 s > q, -1 s < q, 2 s = q (the element is also fixed).  When
// the test holds, w goes into the specification (part 1) or value (part 0).
void ELEMLST(Vec1<double> X, int test, int q, double w, int part, int G);

// FI, FR, DR, EQ with their element lists; ST and VA (VA flag 1).
void RDFIX(Vec1<double> X, int G);    // FI: the listed elements become fixed
void RDFREE(Vec1<double> X, int G);   // FR: the listed elements become free parameters
void RDDROP(Vec1<double> X, int G);   // DR: drops parameters from the model
void RDEQU(Vec1<double> X, int G);    // EQ: the listed elements share the first one's parameter
void RDSTART(Vec1<double> X, Vec1<int> IX, int G, int NG, int VA);  // ST/VA: values of listed elements

// Start values of a diagonal matrix at the observed standard deviations,
// of a full matrix at the observed means, of group g.
void STOBSD(Vec1<double> X, int g, int NG, int L);
void STOBSM(Vec1<double> X, int g, int NG, int L);

}  // namespace qv::jobctl
