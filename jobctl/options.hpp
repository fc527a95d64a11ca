// The options line of a group (first word Options, Output or EXit): fit
// function, optimizer tolerances, reports and statistics, output files and
// output formats, and the option cells FITOPT that the fit, the optimizer
// option lines and the report read.
#pragma once

#include "jobbase/fitopt.hpp"

namespace qv::jobctl {

// Parses the options line at the cursor (first word OP, OU or EX) with its
// continuation lines (a line ending with a blank and "C").  Returns true
// when the line ends the group (OU, EX); after OP the line is still current
// and the caller reads the next one.
bool OPTLIN();

}  // namespace qv::jobctl
