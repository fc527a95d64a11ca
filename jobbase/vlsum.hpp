// What the fit needs from a job before its first evaluation: the count of
// observed statistics, the summary table of each group's case-vector data
// (variable-length or rectangular records) with the size check of an ordinal
// group's threshold formula, the list of distinct free parameters with the
// map from parameters to matrix elements, and each group's map from
// definition-variable numbers to matrix elements.
//
// Parameter list PARLST: NPAR words of WORKSP, the distinct positive
// specification numbers in order of first occurrence (groups 1..NG, letters
// A..Z, elements in storage order).
//
// Parameter map in IWORKS, at the position p held in IX(1): IX(p) the number
// of pairs c, then c pairs (IX(p+2k-1), IX(p+2k)) = (index of the parameter
// in PARLST, WORKSP word of the element's value).  Each element occurs once.
//
// Definition map of group g in IWORKS, at the position held in IX(g+1): a
// count, then pairs (definition number k, WORKSP word of the value of an
// element whose specification number is -k).
#pragma once

#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::jobbase {

using runtime::Vec1;

// Fit-state cells that the summary fills when a fit starts (the fit keeps
// its own cells beside them).
struct Fitsta {
  int PARLST = 0;  // WORKSP position of the parameter list
  long long NSTTOT = 0;  // observed statistics of the job as counted here,
                         // plus the DF adjustment (beyond the int range
                         // with one of +-2^30)
  int DEFSW = 0;   // pairs in all definition maps: 0 when no matrix element
                   // takes a definition value
  void reset() { *this = Fitsta(); }
};
inline Fitsta FITSTA;

// Column labels of the summary table (8 characters each).
inline constexpr const char* kVlColLabels[6] = {"Code    ", "Number  ", "Mean    ",
                                                "Variance", "Minimum ", "Maximum "};

// Prepares a job for its fit: counts the observed statistics into NSTAT
// (and FITSTA.NSTTOT), prints the summary table of every data or constraint
// group with case-vector data and stores the means of its codes, checks the
// threshold formula of raw ordinal data (error 61), builds the parameter
// list (NPAR words at WSTOP, FITSTA.PARLST) and the parameter and
// definition maps (IWORKS from IWSTOP).  LABNXT is the first free label
// slot: the table's row labels are copied to the slots from there on for
// printing (the slot counter itself is not advanced).  Sets IGRP as it goes
// and raises WSTOP and IWSTOP; every work area is checked first (error 119).
void VLSUMM(Vec1<double> X, Vec1<int> IX, Labtab& LABTAB, int LABNXT, int& NPAR, int& NSTAT);

// Number of observed values in the record block at P (X(P-1) records, each
// its count m, a word, m codes and m values): the sum of the records' m.
// The summary above and the fit statistics both count a group's values by it.
long long VLNVAL(Vec1<double> X, int P);

// Number of used cells (those not negative) of the contingency table of a
// table group: the table takes one statistic fewer.  The summary above and
// the fit statistics both count a table by it.
long long used_table_cells(const GroupView& G);

}  // namespace qv::jobbase
