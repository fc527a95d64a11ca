// Front-end records that the report shares with the job description: the
// group title, in its front-end form (a TITLE record) and in its plain form
// (a report line).
#pragma once

#include "jobbase/workspace.hpp"

namespace qv::jobbase {

// Group g's title, the four 32-character label pieces from SLOT on.  MODE
// non-zero: the record " TITLE", g, then the title without trailing blanks
// between double quotes and a semicolon.  MODE 0: the 128-character title on
// one line, with one blank before it when LEAD is non-zero.
void FETITL(int SLOT, int G, int MODE, int LEAD);

}  // namespace qv::jobbase
