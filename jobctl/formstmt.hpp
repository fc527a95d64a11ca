// Model formula statements (covariance, means, weight formulas and the
// algebra section), as the statement dispatcher hands them over.
#pragma once

namespace qv::jobctl {

// The current line's first word is a formula word (MO M2 CO M1 ME TH WE) or
// "BE" followed by anything but a word beginning "MA".  Reads the statement
// and then the next line.
void FORMST();

}  // namespace qv::jobctl
