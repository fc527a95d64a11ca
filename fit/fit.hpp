// FIT: the model fitting of one job.
#pragma once

#include "jobbase/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::fit {

// Fits the job prepared in the workspace X (size words) and IX, with the
// label table and its slot counter, and writes the job's results.  The main
// program calls it once per job after the model is prepared.
void FIT(runtime::Vec1<double> X, int size, runtime::Vec1<int> IX, jobbase::Labtab& LABTAB, int& nslots);

}  // namespace qv::fit
