// The front end's job description: after a run while automatic dumps are
// on, and on "!@DUMP" while a prepared job waits for "!@GO", every matrix
// of the job (specifications, labels, values), the fit records and, group
// by group, its type, title, sample, formulas, links, results and options,
// then the job's global options.
#pragma once

#include "jobbase/workspace.hpp"

namespace qv::jobctl {

// The whole description of the NG groups of the job in X and IX.  FEACTV is
// not read; MACHOUT is passed on to the group results report.
void FEJOB(jobbase::Vec1<double> X, jobbase::Vec1<int> IX, jobbase::Labtab& LABTAB, int NG, int FEACTV,
           int MACHOUT);

// " SAMPLE", G, the observations (data groups; 0 for a constraint group) and
// NI, " ;".  Calculation and simulation groups send 0 and 0.
void FESAMP(jobbase::Vec1<double> X, int G, int NG);

// In its own frame, a " FORMULA" record for each formula slot 1..28 of
// group G that holds one: the computed matrix's evaluation order and letter,
// or the slot number and ExpMean, ExpCov or ExpCal, then the formula text.
void FEFORM(jobbase::Vec1<double> X, int G, int NG, jobbase::Labtab& LABTAB);

// In its own frame, one " LINK" record per equality link of group G.
void FELINK(jobbase::Vec1<double> X, jobbase::Vec1<int> IX, int G, int NG);

// " OPTIONS", G, the group's options words RS, NO and its standard-error
// flag, " ;".
void FEOPT(jobbase::Vec1<double> X, int G, int NG);

// " GLOBAL_OPTIONS" and the job's option cells, one per line, then the
// pedigree-statistics file name, an empty line and " ;".
void FEGLOB(jobbase::Vec1<double> X, jobbase::Labtab& LABTAB, int G, int NG);

}  // namespace qv::jobctl
