// Model formula statements: the covariance, means (thresholds) and weight
// formulas and the algebra section with its computed matrices, handed to the
// formula compiler; and the formula part of the job's preparation.
#pragma once

namespace qv::jobctl {

// The current line's first word is a formula word (MO M2 CO M1 ME TH WE) or
// "BE" followed by a word beginning "AL" (a word beginning "MA" reopens the
// matrix declarations; anything else is error 159).  Compiles the statement
// and then reads the next line.
void FORMST();

// The algebra section, from the word after "Begin Algebra;" up to
// "End Algebra".
void RDFORM();

// One named formula of the algebra section (or a formula statement) with
// the cursor on its keyword: code 2 covariance, 1 means, 0 weight.
void THRFRM(int code);

// The formula part of preparing group g after the last group: its computed
// matrices and covariance formula are evaluated once (shape-only flag on),
// and the order of the expected matrix of a data group is checked against
// its NI (error 61).
void FMPREP(int g);

}  // namespace qv::jobctl
